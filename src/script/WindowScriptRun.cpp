// The script window's side of the dialogue with the engine: the four buttons, the run-control
// flags and what the engine reports (EventScriptMessage, EventTransferStatus).
#include "common/EventData.h"
#include "common/WindowLog.h"
#include "platform/ProgramEvents.h"
#include "platform/WindowFrame.h"
#include "script/ScriptThread.h"
#include "script/WindowScript.h"

#include <Qsci/qsciscintilla.h>

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
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
    if (window.pMessages) window.pMessages->appendPlainText(sText);
}

void ClearOutput(uWindowScript& window) {
    window.mPendingOutput.clear();
    window.iOutputLines = 0;
    if (window.pOutput) window.pOutput->clear();
}

void SetOutputText(uWindowScript& window, const std::string& sText) {
    ClearOutput(window);
    QString text = QString::fromStdString(sText);
    if (text.endsWith('\n')) text.chop(1);
    if (window.pOutput) window.pOutput->setPlainText(text);
    window.iOutputLines = text.isEmpty() ? 0 : static_cast<int>(text.count('\n')) + 1;
}

void QueueFlush(uWindowScript& window) {
    if (window.fFlushQueued || !window.pFrame) return;
    window.fFlushQueued = true;
    const int iWindow = window.iWindow;
    QTimer::singleShot(0, window.pFrame, [iWindow] {
        uWindowScript* pWindow = nullptr;
        if (GetInstance(iWindow, &pWindow)) FlushOutput(*pWindow);
    });
}

// One line for the "Output" tab; a tab that holds more than MaxOutputLines lines is emptied first.
void AddOutputLine(uWindowScript& window, const QString* pLine) {
    if (window.iOutputLines > MaxOutputLines) {
        ClearOutput(window);
        window.mPendingOutput << OutputClearedNotice;
        window.iOutputLines = 1;
    }
    if (pLine) {
        window.mPendingOutput << *pLine;
        ++window.iOutputLines;
    }
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

void SetStatusText(uWindowScript& window, int iField, const QString& sText) {
    QLabel* pField = iField == 0 ? window.pStatusField0 : window.pStatusField1;
    if (pField && pField->text() != sText) pField->setText(sText);
}

void FlushOutput(uWindowScript& window) {
    window.fFlushQueued = false;
    if (!window.pOutput) return;
    if (!window.mPendingOutput.isEmpty()) {
        window.pOutput->appendPlainText(window.mPendingOutput.join('\n'));
        window.mPendingOutput.clear();
    }
    QScrollBar* pBar = window.pOutput->verticalScrollBar();
    pBar->setValue(pBar->maximum());
}

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
    if (!InstrumentScript::SetScript(pWindow->pScriptInstance, ScriptText(*pWindow), sConstants, sError)) {
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
    EventHub::PostEvent(EventScriptMessage, iWindow, 0, InstrumentScript::ScriptMessageFinished);
}

void OnScriptEvent(int iWindow, const EventHub::uEvent& event) {
    using namespace InstrumentScript;
    uWindowScript* pWindow = nullptr;
    // The record travels with the event and goes with it.
    if (!GetInstance(iWindow, &pWindow) || !pWindow->pFrame) return;
    uWindowScript& window = *pWindow;
    const auto* pOutput = event.pData.Get<uScriptOutput>();
    SetStatusText(window, 1, {});
    switch (event.iType) {
    case ScriptMessageStatus:
        if (pOutput) SetStatusText(window, 0, QString::fromStdString(pOutput->sText));
        break;
    case ScriptMessageError: {
        uEventData record;
        if (!pOutput || !Utility::EventDataTake(std::to_string(pOutput->iData), record)) return;
        WindowLog::AddError(record.sText);
        const QString text = QString::fromStdString(record.sText);
        if (window.pMessages) window.pMessages->setPlainText(text);
        FlushOutput(window);
        AddOutputLine(window, &text);
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
        AddOutputLine(window, pOutput ? &line : nullptr);
        return; // the batch scrolls once when it goes into the tab
    }
    case ScriptMessageWaitUser:
        if (window.pMessages) {
            if (pOutput && !pOutput->sText.empty()) {
                window.pMessages->setPlainText(QString::fromStdString(pOutput->sText));
                AppendMessage(window, TextWaiting);
            } else {
                window.pMessages->setPlainText(TextWaiting);
            }
        }
        window.fPaused = true;
        SetButtons(window, -1, 1, 0, -1);
        break;
    case ScriptMessageFinished:
        AppendMessage(window, TextFinished);
        SetStatusText(window, 0, TextFinished);
        SetButtons(window, 1, 1, 0, 0);
        break;
    default: break;
    }
    FlushOutput(window);
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
