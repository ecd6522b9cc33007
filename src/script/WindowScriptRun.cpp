// The script window's side of the dialogue with the engine: the four buttons, the run-control
// flags and what the engine reports (EventScriptMessage, EventTransferStatus).
#include "common/EventData.h"
#include "common/UtilityGui.h"
#include "common/WindowLog.h"
#include "platform/ProgramEvents.h"
#include "platform/WindowFrame.h"
#include "script/ScriptThread.h"
#include "script/WindowScript.h"

#include <Qsci/qsciscintilla.h>

#include <QDeadlineTimer>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QStringView>
#include <QTimer>

namespace WindowScript {
namespace {

// Enabled states of Check, Run, Pause and Stop: 1 on, 0 off, -1 unchanged.
void SetButtons(uWindowScript& window, int iCheck, int iRun, int iPause, int iStop) {
    auto set = [](QPushButton* pButton, int iState) {
        if (pButton && iState >= 0) pButton->setEnabled(iState != 0);
    };
    set(window.pButtonCheck, iCheck);
    set(window.pButtonRun, iRun);
    set(window.pButtonPause, iPause);
    set(window.pButtonStop, iStop);
}

void AppendMessage(uWindowScript& window, const QString& sText) {
    if (window.pMessages) window.pMessages->appendPlainText(ShownText(sText, MessageAreaChars));
}

void SetMessages(uWindowScript& window, const QString& sText) {
    if (window.pMessages) window.pMessages->setPlainText(ShownText(sText, MessageAreaChars));
}

void QueueFlush(uWindowScript& window);

// Empties the tab: what is gathered goes at once, the tab itself with the next batch.
void ClearOutput(uWindowScript& window) {
    window.sPendingOutput.clear();
    window.iPendingFrom = 0;
    window.iOutputLines = 0;
    window.fClearPending = true;
    QueueFlush(window);
}

int LineCount(const QString& sText) { return static_cast<int>(sText.count('\n')) + 1; }

void Gather(uWindowScript& window, const QString& sText) { Utility::GatherLines(window.sPendingOutput, sText); }

// Time one batch may take; what is left goes with the next turn of the Qt loop.
constexpr int BatchMilliseconds = 4;

// Puts gathered lines into the tab until the deadline; whether all went.
bool FlushSome(uWindowScript& window, const QDeadlineTimer& deadline) {
    if (window.fStatusPending) {
        window.fStatusPending = false;
        SetStatusText(window, 0, window.sPendingStatus);
        window.sPendingStatus.clear();
    }
    QPlainTextEdit* pOutput = window.pOutput;
    if (!pOutput) return true;
    if (window.fClearPending) {
        window.fClearPending = false;
        pOutput->clear();
    }
    // Every gathered line ends in LF; the last LF only ends the last line.
    bool fAll = true;
    if (!window.sPendingOutput.isEmpty()) {
        fAll = Utility::AppendLines(pOutput, QStringView(window.sPendingOutput).chopped(1), window.iPendingFrom, deadline);
        if (fAll) {
            window.sPendingOutput.clear();
            window.iPendingFrom = 0;
        }
    }
    QScrollBar* pBar = pOutput->verticalScrollBar();
    pBar->setValue(pBar->maximum());
    return fAll;
}

void QueueFlush(uWindowScript& window) {
    if (window.fFlushQueued || !window.pFrame) return;
    window.fFlushQueued = true;
    const int iWindow = window.iWindow;
    QTimer::singleShot(0, window.pFrame, [iWindow] {
        uWindowScript* pWindow = nullptr;
        if (!GetInstance(iWindow, &pWindow)) return;
        pWindow->fFlushQueued = false;
        if (!FlushSome(*pWindow, QDeadlineTimer(BatchMilliseconds, Qt::PreciseTimer))) QueueFlush(*pWindow);
    });
}

// Text for the "Output" tab (one line or several); a tab that holds more than MaxOutputLines
// lines is emptied first. Without a text only the limit is looked at.
void AddOutput(uWindowScript& window, const QString* pText) {
    if (window.iOutputLines > MaxOutputLines) {
        ClearOutput(window);
        Gather(window, OutputClearedNotice);
        window.iOutputLines = 1;
    }
    if (pText) {
        Gather(window, *pText);
        window.iOutputLines += LineCount(*pText);
    }
    QueueFlush(window);
}

// The tab's whole text (the parsed script's listing), put in batch by batch.
void SetOutputText(uWindowScript& window, const std::string& sText) {
    ClearOutput(window);
    QString text = QString::fromStdString(sText);
    if (text.endsWith('\n')) text.chop(1);
    if (text.isEmpty()) return;
    window.iOutputLines = LineCount(text);
    Gather(window, text);
}

// A status line of the running script: shown with the next batch, the last one only.
void SetRunningStatus(uWindowScript& window, QString sText) {
    window.sPendingStatus = std::move(sText);
    window.fStatusPending = true;
    QueueFlush(window);
}

void StartRun(uWindowScript& window) {
    std::string sError;
    if (InstrumentScript::RunScript(window.pScriptInstance, sError)) {
        SetButtons(window, 0, 0, 1, 1);
    } else {
        AppendMessage(window, QString::fromStdString(sError));
        SetButtons(window, 1, 1, 0, 0);
    }
}

} // namespace

QString ShownText(const QString& sText, qsizetype iMaxChars) {
    if (sText.size() <= iMaxChars) return sText;
    qsizetype iCut = iMaxChars;
    if (iCut > 0 && sText[iCut - 1].isHighSurrogate()) --iCut; // never half a character
    return sText.first(iCut) + QChar(0x2026);
}

void SetStatusText(uWindowScript& window, int iField, const QString& sText) {
    if (iField == 0) window.fStatusPending = false; // a later text wins over a gathered one
    QLabel* pField = iField == 0 ? window.pStatusField0 : window.pStatusField1;
    if (!pField) return;
    // A script's own words: shown as they are, the beginning of a long one.
    Utility::SetStatusText(pField, ShownText(sText, StatusFieldChars), false);
}

void FlushOutput(uWindowScript& window) { FlushSome(window, QDeadlineTimer(QDeadlineTimer::Forever)); }

bool SetScript(int iWindow) {
    uWindowScript* pWindow = nullptr;
    if (!GetInstance(iWindow, &pWindow)) return false;
    if (pWindow->pMessages) pWindow->pMessages->clear();
    ClearOutput(*pWindow);
    std::string sError;
    if (!pWindow->pScriptInstance) {
        pWindow->pScriptInstance = InstrumentScript::NewInstance(iWindow, sError);
        if (!pWindow->pScriptInstance) return false;
    }
    const std::string sConstants = pWindow->pConstants ? pWindow->pConstants->toPlainText().toStdString() : "";
    const bool fSet = InstrumentScript::SetScript(pWindow->pScriptInstance, ScriptText(*pWindow), sConstants, sError);
    pWindow->iRun = InstrumentScript::CurrentRun(*pWindow->pScriptInstance);
    if (!fSet) {
        AppendMessage(*pWindow, QString::fromStdString(sError));
        return false;
    }
    return true;
}

void OnCheckClick(int iWindow) {
    uWindowScript* pWindow = nullptr;
    if (!GetInstance(iWindow, &pWindow)) return;
    pWindow->fCheckOnly = true;
    if (SetScript(iWindow)) {
        AppendMessage(*pWindow, TextChecked);
        SetButtons(*pWindow, 0, 0, 0, -1);
    } else {
        SetButtons(*pWindow, 1, 1, 0, -1);
    }
}

void OnRunClick(int iWindow) {
    uWindowScript* pWindow = nullptr;
    if (!GetInstance(iWindow, &pWindow)) return;
    pWindow->fCheckOnly = false;
    if (!pWindow->fPaused) {
        SetButtons(*pWindow, 0, 0, 0, -1);
        if (!SetScript(iWindow)) SetButtons(*pWindow, 1, 1, -1, -1);
        return;
    }
    pWindow->fPaused = false;
    SetButtons(*pWindow, -1, 0, -1, -1);
    std::string sError;
    if (InstrumentScript::RunScript(pWindow->pScriptInstance, sError)) {
        AppendMessage(*pWindow, TextGoesOn);
        SetButtons(*pWindow, 0, 0, 1, -1);
    } else {
        AppendMessage(*pWindow, QString::fromStdString(sError));
        SetButtons(*pWindow, 1, 1, 0, -1);
    }
}

void OnPauseClick(int iWindow) {
    uWindowScript* pWindow = nullptr;
    if (!GetInstance(iWindow, &pWindow)) return;
    std::string sError;
    if (InstrumentScript::PauseScript(pWindow->pScriptInstance, sError)) {
        AppendMessage(*pWindow, TextWaiting);
        pWindow->fPaused = true;
        SetButtons(*pWindow, -1, 1, 0, -1);
    } else {
        SetButtons(*pWindow, -1, 1, -1, -1);
    }
}

void OnStopClick(int iWindow) {
    uWindowScript* pWindow = nullptr;
    if (!GetInstance(iWindow, &pWindow)) return;
    std::string sError;
    InstrumentScript::StopScript(pWindow->pScriptInstance, sError);
    pWindow->fPaused = false;
    auto pFinished = std::make_unique<InstrumentScript::uScriptOutput>();
    pFinished->iRun = pWindow->iRun;
    // Object 1: the run was stopped, not finished.
    EventHub::PostEvent(EventScriptMessage, iWindow, 1, InstrumentScript::ScriptMessageFinished,
                        EventHub::Payload::Of(std::move(pFinished)));
}

void OnScriptEvent(int iWindow, const EventHub::uEvent& event) {
    using namespace InstrumentScript;
    uWindowScript* pWindow = nullptr;
    // The record travels with the event and goes with it.
    if (!GetInstance(iWindow, &pWindow) || !pWindow->pFrame) return;
    uWindowScript& window = *pWindow;
    const auto* pOutput = event.pData.Get<uScriptOutput>();
    if (pOutput && pOutput->iRun != 0 && pOutput->iRun != window.iRun) {
        // A stopped run's late word: it must not touch the buttons or texts of the one shown.
        uEventData record;
        if (event.iType == ScriptMessageError) Utility::EventDataTake(std::to_string(pOutput->iData), record);
        return;
    }
    SetStatusText(window, 1, {});
    switch (event.iType) {
    case ScriptMessageStatus:
        // One of a stream (a line per task): it waits for the batch, as output lines do.
        if (pOutput) SetRunningStatus(window, QString::fromStdString(pOutput->sText));
        return;
    case ScriptMessageError: {
        uEventData record;
        if (!pOutput || !Utility::EventDataTake(std::to_string(pOutput->iData), record)) return;
        WindowLog::AddError(record.sText);
        const QString text = QString::fromStdString(record.sText);
        SetMessages(window, text);
        AddOutput(window, &text);
        SetStatusText(window, 0, text);
        SetButtons(window, 1, 1, 0, 0);
        break;
    }
    case ScriptMessageParsed:
        AppendMessage(window, TextNoError);
        SetStatusText(window, 0, TextNoError);
        if (pOutput) SetOutputText(window, pOutput->sText);
        if (window.fCheckOnly) SetButtons(window, 1, 1, 0, 0);
        else StartRun(window);
        break;
    case ScriptMessageOutput: {
        const QString line = pOutput ? QString::fromStdString(pOutput->sText) : QString();
        AddOutput(window, pOutput ? &line : nullptr);
        return;
    }
    case ScriptMessageWaitUser:
        if (pOutput && !pOutput->sText.empty()) {
            SetMessages(window, QString::fromStdString(pOutput->sText));
            AppendMessage(window, TextWaiting);
        } else {
            SetMessages(window, TextWaiting);
        }
        window.fPaused = true;
        SetButtons(window, -1, 1, 0, -1);
        break;
    case ScriptMessageFinished: {
        const char* sText = event.iObject == 1 ? TextStopped : TextFinished;
        AppendMessage(window, sText);
        SetStatusText(window, 0, sText);
        SetButtons(window, 1, 1, 0, 0);
        break;
    }
    default: break;
    }
    // The tab is scrolled to its end when the batch goes in.
    QueueFlush(window);
}

void OnTransferProgress(int iWindow, const EventHub::uEvent& event) {
    uWindowScript* pWindow = nullptr;
    if (!GetInstance(iWindow, &pWindow) || !pWindow->pFrame) return;
    const std::int64_t* pValue = event.pData.Get<std::int64_t>();
    const std::string n = std::to_string(pValue ? *pValue : 0);
    auto drop = [&n] {
        uEventData record;
        Utility::EventDataTake(n, record);
    };
    switch (event.iType) {
    case 4: SetStatusText(*pWindow, 1, QString::fromStdString("Send, Bytes: " + n)); break;
    case 7: SetStatusText(*pWindow, 1, QString::fromStdString("Receive, Bytes: " + n)); break;
    case 11:
    case 14: SetStatusText(*pWindow, 1, QString::fromStdString("Wait: " + n)); break;
    case 6:
    case 10:
    case 13:
    case 16:
        drop();
        SetStatusText(*pWindow, 1, {});
        break;
    case 5:
    case 8:
    case 12:
    case 15: SetStatusText(*pWindow, 1, {}); break;
    default: break;
    }
}

} // namespace WindowScript
