// The SCPI command window's road to the instrument: preparing the command, reading the file that
// follows it, queueing the task, cancelling, following the transfer and taking the answer.
#include "windows/scpi/WindowScpiCommand.h"

#include "app/WindowStart.h"
#include "common/EventData.h"
#include "common/NumberText.h"
#include "common/TextRoutines.h"
#include "common/WindowLog.h"
#include "instrument/ConnectionFailure.h"
#include "instrument/InstrumentObject.h"
#include "instrument/TaskRecords.h"
#include "platform/AllocationFailure.h"
#include "platform/BackgroundThreads.h"
#include "platform/EventHub.h"
#include "platform/ProgramEvents.h"
#include "platform/WindowFrame.h"
#include "transport/BlockHeader.h"
#include "transport/DataBuffers.h"
#include "transport/TransferStatus.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QToolBar>

#include <algorithm>
#include <cctype>
#include <mutex>
#include <system_error>
#include <utility>
#include <thread>

namespace WindowScpiCommand {
namespace {

const char* const MarkerFile = "|FILE|";
const char* const MarkerBlockFile = "|#NM||FILE|";
const char* const CancelledText = "The request was cancelled: no answer of it is shown or kept.";

std::string Number(std::int64_t iValue) { return Utility::StrDLocalized(static_cast<double>(iValue), -1); }

std::string Prefix(const uWindowScpiCommand& window) { return window.info.sModel + " - "; }

// "Module::Procedure: (value) text" of an event-data record, and the failure it reports; false
// when the key holds none.
bool TakeErrorRecord(std::int64_t iKey, std::string& sLine, Failure::uFailure* pFailure = nullptr) {
    uEventData record;
    if (!Utility::EventDataTake(std::to_string(iKey), record)) return false;
    sLine = record.sModule + "::" + record.sProcedure + ": (" + std::to_string(record.iValue) + ") " + record.sText;
    if (pFailure) *pFailure = std::move(record.failure);
    return true;
}

// A wait for an earlier query's answer is said as such, not as sending: ", 2,000 ms of them awaiting
// the answer to :FOO?" (nothing when the send waited for nothing).
std::string AwaitedText(const uWindowScpiCommand& window) {
    if (window.iAwaitedMs <= 0) return {};
    return ", " + Number(window.iAwaitedMs) + " ms of them awaiting " +
           (window.sAwaited.empty() ? std::string("an earlier query's answer") : window.sAwaited);
}

bool EqualsNoCase(const std::string& sText, std::size_t iAt, std::string_view sWord) {
    if (iAt + sWord.size() > sText.size()) return false;
    for (std::size_t i = 0; i < sWord.size(); ++i) {
        if (std::toupper(static_cast<unsigned char>(sText[iAt + i])) != std::toupper(static_cast<unsigned char>(sWord[i]))) {
            return false;
        }
    }
    return true;
}

// Idle without an abort: used where nothing of this window has reached the instrument.
void MakeIdle(uWindowScpiCommand& window) {
    SetBusyState(window.iWindow, false);
    Detail::SetStatus(window, "");
}

// A send that cannot go out as asked: idle, nothing queued, the reason in the log and the status.
void StopSend(uWindowScpiCommand& window, const std::string& sReason) {
    WindowLog::AddError(sReason);
    SetBusyState(window.iWindow, false);
    Detail::SetStatus(window, sReason);
}

// A header has at most nine digits; a larger file would go out without one, and the instrument
// would read its bytes as commands.
std::string TooLargeForHeader(const QString& sFileName) {
    return "The file is too large for a block header: " + sFileName.toStdString();
}

// Notes why the current send failed, from the failure record of one of its reports:
// the last report that names a reason is nearest to how it ended (a dropped connection, then the
// refused connect that tried to open it again). Returns the reason of this report (empty when it
// names none).
std::string NoteFailure(uWindowScpiCommand& window, const Failure::uFailure& failure) {
    std::string sReason = Instrument::ExchangeFailureReason(window.info.pInstrument, failure);
    if (!sReason.empty()) {
        window.sFailure = sReason;
        window.eFailure = failure.eType;
        window.sAnswerCount = Instrument::AnswerCountText(failure);
    }
    return sReason;
}

} // namespace

// A file on its way into the send buffer: a thread of its own reads it (64 MiB read on the GUI
// thread, into pages mapped fresh, would hold it for tens of milliseconds), then it goes out
// with the task made when Send was clicked. The window holds this record while the file is
// read; a cancel, another send or the close lets go of it, and the thread, which holds only a
// weak pointer to it, stops at its next part and frees what it read. So it does when the
// program's exit asks it to stop.
struct uSendFile {
    bool fBlockHeader = false;
    uTaskScpiCommand task;
    std::string sLog; // "|" file name "|", after the command
    QString sFileName;
};

namespace {

constexpr qint64 FileStepBytes = qint64{1} << 20;

// What the reading thread hands back (EventScpiSendFileRead): the file's bytes, or the failure.
struct uSendFileRead {
    std::weak_ptr<uSendFile> pFor;
    std::shared_ptr<const std::atomic<bool>> pStop; // the program's exit
    std::shared_ptr<DataBuffer> pData;
    std::string sFailure;
};

void QueueTask(uWindowScpiCommand& window, uTaskScpiCommand task, const std::string& sLog);

// An answer this large is freed on a thread of its own: giving its pages back to the system
// holds the thread that does it for about 10 ms per 64 MiB.
constexpr std::size_t LargeAnswer = std::size_t{8} << 20;

void LetGoOfAnswer(std::shared_ptr<const DataBuffer> pAnswer) {
    if (pAnswer && pAnswer.use_count() == 1 && pAnswer->size() >= LargeAnswer) {
        try {
            // Counted, so that the exit waits for it (bounded work, nothing to stop).
            std::thread([pLast = std::move(pAnswer), ticket = BackgroundThreads::Enter()]() mutable {
                pLast.reset();
                ticket.Release();
            }).detach();
        } catch (const std::system_error&) {
        }
    }
    pAnswer.reset();
}

// Never destroyed: a reading thread that outlived the exit's wait may still pass by them.
std::mutex& mSeamMutex = *new std::mutex;
auto& mFileReadSeam = *new std::function<void(std::int64_t, std::int64_t)>; // under mSeamMutex

void AfterPart(std::int64_t iRead, std::int64_t iLength) {
    std::function<void(std::int64_t, std::int64_t)> seam;
    {
        std::lock_guard lock(mSeamMutex);
        seam = mFileReadSeam;
    }
    if (seam) seam(iRead, iLength);
}

// The reading thread's work: the whole file, a part at a time while the window still wants it;
// false when it no longer does.
bool ReadSendFile(const QString& sFileName, uSendFileRead& read) {
    QFile file(sFileName);
    if (!file.open(QIODevice::ReadOnly)) {
        read.sFailure = "File could not be opened: " + sFileName.toStdString();
        return true;
    }
    const qint64 iLength = file.size();
    auto pData = std::make_shared<DataBuffer>();
    if (iLength <= 0 || !pData->reserve(static_cast<std::size_t>(iLength))) {
        read.sFailure = "Not enough memory available.";
        return true;
    }
    const auto iWanted = static_cast<std::size_t>(iLength);
    while (pData->size() < iWanted) {
        if (read.pFor.expired() || read.pStop->load()) return false;
        const qint64 iPart = std::min<qint64>(FileStepBytes, static_cast<qint64>(iWanted - pData->size()));
        const qint64 iGot = file.read(reinterpret_cast<char*>(pData->data()) + pData->size(), iPart);
        if (iGot <= 0) {
            read.sFailure = "Error reading the file.";
            return true;
        }
        pData->setSize(pData->size() + static_cast<std::size_t>(iGot));
        AfterPart(static_cast<std::int64_t>(pData->size()), iLength);
    }
    read.pData = std::move(pData);
    return true;
}

void ReadSendFileThread(int iWindow, const QString& sFileName, std::weak_ptr<uSendFile> pFor,
                        std::shared_ptr<const std::atomic<bool>> pStop) {
    uSendFileRead read;
    read.pFor = std::move(pFor);
    read.pStop = std::move(pStop);
    bool fWanted = true;
    if (!AllocationFailure::Run([&] { fWanted = ReadSendFile(sFileName, read); })) {
        read.pData.reset();
        read.sFailure = "Not enough memory available.";
    }
    // A file nobody waits for any more is freed here, not on the GUI thread.
    if (fWanted && !read.pFor.expired() && !read.pStop->load()) {
        EventHub::PostEvent(EventScpiSendFileRead, iWindow, 0, 0, EventHub::Payload::Of(std::move(read)));
    }
}

// GUI thread: the file of the window's send is in; the task goes out, or the failure is logged.
void OnSendFileRead(int iWindow, const EventHub::uEvent& event) {
    uWindowScpiCommand* p = nullptr;
    auto* pRead = event.pData.Get<uSendFileRead>();
    // A cancel, another send or the window's close has let go of this file.
    if (!pRead || !FindInstance(iWindow, &p) || !p->pSendFile || p->pSendFile != pRead->pFor.lock()) return;
    uWindowScpiCommand& window = *p;
    const std::shared_ptr<uSendFile> pSend = std::move(window.pSendFile);
    if (!pRead->pData) {
        WindowLog::AddError(pRead->sFailure);
        MakeIdle(window);
        return;
    }
    uSendFile& send = *pSend;
    if (send.fBlockHeader) {
        std::string sHeader;
        // The file may have grown past what a header counts since its size was looked at.
        if (Instrument::CreateBlockHeader(pRead->pData->size(), sHeader) == 0) {
            StopSend(window, TooLargeForHeader(send.sFileName));
            return;
        }
        send.task.sCommand += sHeader;
    }
    send.sLog = send.task.sCommand + send.sLog;
    send.task.pData = std::move(pRead->pData);
    send.task.fShareData = 1;
    QueueTask(window, std::move(send.task), send.sLog);
}

void OnSendClicked(int iWindow, bool fRequestData) {
    uWindowScpiCommand* p = nullptr;
    if (!FindInstance(iWindow, &p)) return;
    if (!TakesRequests(p->info)) {
        Detail::SetStatus(*p, Instrument::NotConnectedText);
        return;
    }
    if (Detail::PrepareCommand(p->gadgets.pCommand->toPlainText()).empty()) {
        Detail::SetStatus(*p, "No SCPI command available.");
        return;
    }
    Detail::SetStatus(*p, "");
    p->gadgets.pAnswer->clear();
    SendCommand(iWindow, true, fRequestData);
}

void OnCancelClicked(int iWindow) {
    uWindowScpiCommand* p = nullptr;
    if (!FindInstance(iWindow, &p) || !TakesRequests(p->info)) return;
    const bool fUnderWay = p->fBusy;
    p->fCancelled = true;
    CancelTask(iWindow);
    // The request has an outcome on screen too: nothing that still comes of it is shown or kept.
    if (fUnderWay) {
        Detail::SetStatus(*p, CancelledText);
        WindowLog::AddLine(Prefix(*p) + CancelledText);
    }
}

void OnResult(uWindowScpiCommand& window, const EventHub::uEvent& event) {
    auto* pResult = event.pData.Get<uTaskResultScpiCommand>();
    // Results come back in the order of the tasks; one without a record (the instrument was not
    // connected) belongs to the oldest task still out.
    std::int64_t iTask = pResult ? pResult->iTaskNumber : 0;
    if (!pResult && !window.mOutstanding.empty()) iTask = window.mOutstanding.front();
    while (iTask != 0 && !window.mOutstanding.empty() && window.mOutstanding.front() <= iTask) {
        window.mOutstanding.pop_front();
    }
    if (iTask == 0 || iTask != window.iAwaitedTask) return; // not the current send: dropped unseen
    window.iAwaitedTask = 0;
    const std::string sPrefix = Prefix(window);
    if (!pResult) {
        // A task without a result record met an instrument that is not connected (and, when its
        // error said so, could not be connected).
        Detail::SetStatus(window, Instrument::WithReason("The data could not be received.",
                                                         window.sFailure.empty() ? Instrument::NotConnectedText
                                                                                 : window.sFailure));
        WindowLog::AddError(sPrefix + "The data could not be received.");
    } else if (pResult->fRequestData == 0) {
        // "Send": the transfer status said all there is.
    } else if (pResult->iRequestTransferred == 0 || !pResult->requestData.allocated()) {
        // Nothing went out (an earlier answer still arriving): the status keeps why.
        if (window.eFailure != Failure::eKind::Arriving)
            Detail::SetStatus(window, Instrument::WithReason("The data is not available, 0 bytes.", window.sFailure));
        WindowLog::AddError(sPrefix + "The data is not available, 0 bytes.");
    } else {
        // A part that the time-out cut is shown as such: a user reads it, nothing decides by it.
        const std::int64_t iDuration = Detail::ElapsedMilliseconds() - window.info.iStartTime;
        window.info.iStartTime = iDuration;
        const std::string sText =
            (pResult->fRequestFinished ? "Data received, bytes: " : "The time-out cut the answer, bytes received: ") +
            Number(pResult->iRequestTransferred) + (pResult->fRequestFinished ? "" : window.sAnswerCount) + " - (" +
            Number(iDuration) + " ms total" + AwaitedText(window) + ")";
        Detail::SetStatus(window, sText);
        if (pResult->fRequestFinished) WindowLog::AddLine(sPrefix + sText);
        else WindowLog::AddError(sPrefix + sText);
        pResult->requestData.setSize(static_cast<std::size_t>(std::min<std::int64_t>(
            pResult->iRequestTransferred, static_cast<std::int64_t>(pResult->requestData.size()))));
        window.pReceived = std::make_shared<const DataBuffer>(std::move(pResult->requestData));
        window.info.fSendFinished = pResult->fSendFinished != 0;
        window.info.fRequestFinished = pResult->fRequestFinished != 0;
        ShowData(window.iWindow);
    }
    SetBusyState(window.iWindow, false);
}

// An error precedes its task's result, so it belongs to the oldest task still out. Only an
// error of the current send makes the window idle; the failed task has ended, so nothing is
// aborted (an abort now would hit whatever runs next). The status line keeps why it failed: a
// transfer report said so already, or the error itself names the reason (no connection to
// send on).
void OnError(uWindowScpiCommand& window, const EventHub::uEvent& event) {
    std::string sLine;
    Failure::uFailure failure;
    const bool fRecord = TakeErrorRecord(TransferStatus::Data(event), sLine, &failure);
    if (fRecord) WindowLog::AddError(sLine);
    const std::int64_t iOwner = window.mOutstanding.empty() ? 0 : window.mOutstanding.front();
    if (iOwner == 0 || iOwner != window.iAwaitedTask) return;
    const std::string sShown = window.sFailure;
    if (fRecord) NoteFailure(window, failure);
    SetBusyState(window.iWindow, false);
    if (window.sFailure.empty()) Detail::SetStatus(window, "");
    else if (window.sFailure != sShown) Detail::SetStatus(window, "The data could not be sent. " + window.sFailure);
}

} // namespace

void SendCommand(int iWindow, bool fSend, bool fRequestData) {
    uWindowScpiCommand* p = nullptr;
    if (!FindInstance(iWindow, &p)) return;
    uWindowScpiCommand& window = *p;
    InstrumentObject pInstrument = window.info.pInstrument;
    window.fCancelled = false;
    window.pSendFile.reset();
    window.sFailure.clear();
    window.eFailure = Failure::eKind::None;
    window.sAnswerCount.clear();
    window.iAwaitedMs = 0;
    window.sAwaited.clear();
    // The status line's times run from here, the reading of a file included.
    window.info.iStartTime = Detail::ElapsedMilliseconds();
    // A lost instrument takes the request: its worker tries to open it first.
    if (!pInstrument || !pInstrument->pInterface || !TakesRequests(window.info) ||
        (!window.info.fLost && !pInstrument->pInterface->IsConnected(*pInstrument))) {
        MakeIdle(window);
        Detail::SetStatus(window, Instrument::NotConnectedText);
        return;
    }
    SetBusyState(iWindow, true);
    Detail::StopRefreshThread(window, 100);
    Instrument::FreeDataBuffers(window.info.sendData, window.info.receiveData);
    // The earlier answer is let go on the way out, once the file's reading thread has started:
    // the unmapping of a large answer holds the address space for milliseconds, and a thread
    // started meanwhile would wait for it.
    struct uLetGo {
        std::shared_ptr<const DataBuffer> pAnswer;
        ~uLetGo() { LetGoOfAnswer(std::move(pAnswer)); }
    } earlier{std::move(window.pReceived)};

    const uGadgets& g = window.gadgets;
    uTaskScpiCommand task;
    task.head = {InstrumentTaskScpiCommand, 0, iWindow};
    task.fSend = fSend ? 1 : 0;
    task.sCommand = Detail::RemoveMarkers(Detail::PrepareCommand(g.pCommand->toPlainText()));
    task.fRequestData = fRequestData ? 1 : 0;
    task.fVendorSpecific = g.pVendorSpecific->isChecked() ? 1 : 0;
    task.eWait = g.pWaitMav->isChecked() ? 1 : g.pWaitSrq->isChecked() ? 2 : 0;
    const bool fFile = g.pFile->isChecked();
    const QString sFileName = fFile ? g.pFileName->text() : QString();
    if (!fFile || sFileName.isEmpty()) {
        const std::string sLog = task.sCommand;
        QueueTask(window, std::move(task), sLog);
        return;
    }
    // The file goes to the task as a block of its own, handed over whole: a large file is read
    // once and never copied on this thread.
    auto pSend = std::make_shared<uSendFile>();
    pSend->fBlockHeader = g.pBlockFormat->isChecked();
    pSend->sLog = "|" + sFileName.toStdString() + "|";
    pSend->sFileName = sFileName;
    pSend->task = std::move(task);
    if (pSend->fBlockHeader && QFileInfo(sFileName).size() > static_cast<qint64>(Instrument::MaxBlockCount)) {
        StopSend(window, TooLargeForHeader(sFileName));
        return;
    }
    try {
        // Counted: the exit asks it to stop and waits for it. It holds what it uses itself.
        auto pStop = std::make_shared<std::atomic<bool>>(false);
        std::thread([iWindow, sName = QString(sFileName), pFor = std::weak_ptr<uSendFile>(pSend), pStop,
                     ticket = BackgroundThreads::Enter([pStop] { pStop->store(true); })]() mutable {
            // Everything it holds goes before its place in the count.
            ReadSendFileThread(iWindow, std::exchange(sName, QString()), std::move(pFor), std::move(pStop));
            ticket.Release();
        }).detach();
    } catch (const std::system_error&) {
        WindowLog::AddError("Not enough memory available.");
        MakeIdle(window);
        return;
    }
    window.pSendFile = std::move(pSend);
}

namespace {

void QueueTask(uWindowScpiCommand& window, uTaskScpiCommand task, const std::string& sLog) {
    InstrumentObject pInstrument = window.info.pInstrument;
    std::string sError;
    const std::int64_t iTask = pInstrument && pInstrument->pInterface
                                   ? pInstrument->pInterface->AddTask(*pInstrument, task, sError)
                                   : 0;
    if (iTask == 0) {
        WindowLog::AddError("Communication error: " + sError);
        MakeIdle(window);
        return;
    }
    window.iAwaitedTask = iTask;
    window.mOutstanding.push_back(iTask);
    WindowLog::AddLine(window.info.sModel + " - SCPI command sent: " + Detail::CutForLog(sLog));
}

} // namespace

void CancelTask(int iWindow) {
    uWindowScpiCommand* p = nullptr;
    if (!FindInstance(iWindow, &p)) return;
    uWindowScpiCommand& window = *p;
    window.pSendFile.reset(); // a file still being read stays here
    if (InstrumentObject pInstrument = window.info.pInstrument; pInstrument && pInstrument->pInterface) {
        uTaskCancel cancel;
        cancel.head = {InstrumentTaskCancel, 0, iWindow};
        cancel.fClearQueue = 0;
        cancel.fAbort = 1;
        std::string sError;
        if (pInstrument->pInterface->AddTask(*pInstrument, cancel, sError) == 0) {
            WindowLog::AddError("Communication error: " + sError);
        }
    }
    // The cancelled task's answer is not wanted any more.
    window.iAwaitedTask = 0;
    MakeIdle(window);
}

void SetBusyState(int iWindow, bool fBusy) {
    uWindowScpiCommand* p = nullptr;
    if (!FindInstance(iWindow, &p)) return;
    p->fBusy = fBusy;
    const uGadgets& g = p->gadgets;
    const bool fUsb = !fBusy && p->info.eProtocol == ProtocolUsbTmc;
    for (QWidget* pGadget : {static_cast<QWidget*>(g.pVendorSpecific), static_cast<QWidget*>(g.pWaitLabel),
                             static_cast<QWidget*>(g.pWaitMav), static_cast<QWidget*>(g.pWaitSrq)}) {
        if (pGadget) pGadget->setEnabled(fUsb);
    }
    if (g.pCancel) g.pCancel->setEnabled(true);
    for (QWidget* pGadget : {static_cast<QWidget*>(g.pSend), static_cast<QWidget*>(g.pSendReceive),
                             static_cast<QWidget*>(g.pAnswerSaveAs), static_cast<QWidget*>(g.pViewMode),
                             static_cast<QWidget*>(g.pFirst), static_cast<QWidget*>(g.pLast),
                             static_cast<QWidget*>(g.pViewAll)}) {
        if (pGadget) pGadget->setEnabled(!fBusy);
    }
    WindowStart::SetMenuItemEnabled(p->pMenu, WindowStart::MenuSaveAs, !fBusy);
    if (p->pToolBar) {
        for (QAction* pAction : p->pToolBar->actions()) {
            if (!pAction->isSeparator() && pAction->data().toInt() == WindowStart::MenuSaveAs) pAction->setEnabled(!fBusy);
        }
    }
}

namespace Detail {

void SetFileReadSeam(std::function<void(std::int64_t iRead, std::int64_t iLength)> seam) {
    std::lock_guard lock(mSeamMutex);
    mFileReadSeam = std::move(seam);
}

std::int64_t ElapsedMilliseconds() {
    static QElapsedTimer clock = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return clock.elapsed();
}

std::string PrepareCommand(const QString& sEditorText) {
    // The editor ends its lines with LF alone; each counts as CR LF.
    std::string sText;
    const std::string sRaw = sEditorText.toStdString();
    sText.reserve(sRaw.size() + 16);
    for (std::size_t i = 0; i < sRaw.size(); ++i) {
        if (sRaw[i] == '\n' && (i == 0 || sRaw[i - 1] != '\r')) sText += '\r';
        sText += sRaw[i];
    }
    sText = Utility::TrimCharacters(sText, " \t\r\n");
    std::string sOut;
    sOut.reserve(sText.size());
    for (std::size_t i = 0; i < sText.size(); ++i) {
        if (sText[i] == '\r' && i + 1 < sText.size() && sText[i + 1] == '\n') {
            sOut += ';';
            ++i;
        } else {
            sOut += sText[i];
        }
    }
    return sOut;
}

std::string RemoveMarkers(std::string sCommand) {
    std::string sOut;
    sOut.reserve(sCommand.size());
    for (std::size_t i = 0; i < sCommand.size();) {
        if (EqualsNoCase(sCommand, i, MarkerFile)) {
            i += 6;
        } else if (EqualsNoCase(sCommand, i, "|#NM|")) {
            i += 5;
        } else {
            sOut += sCommand[i++];
        }
    }
    return sOut;
}

std::string CutForLog(const std::string& sText) {
    const QString s = QString::fromStdString(sText);
    if (s.size() <= 512) return sText;
    return s.left(512).toStdString() + "...";
}

void OnTaskFinished(int iWindow, const EventHub::uEvent& event) {
    uWindowScpiCommand* p = nullptr;
    if (!FindInstance(iWindow, &p)) return;
    switch (event.iType) {
    case InstrumentTaskScpiCommand: OnResult(*p, event); return;
    case InstrumentTaskCancel:
        if (p->iAwaitedTask == 0) SetBusyState(iWindow, false);
        return;
    case InstrumentTaskError: OnError(*p, event); return;
    default: return;
    }
}

void OnTransferStatus(int iWindow, const EventHub::uEvent& event) {
    uWindowScpiCommand* p = nullptr;
    if (!FindInstance(iWindow, &p)) return;
    uWindowScpiCommand& window = *p;
    const std::int64_t iData = TransferStatus::Data(event);
    std::string sLine;
    if (window.fCancelled) {
        if (event.iType == TransferStatus::TransferSendError || event.iType == TransferStatus::TransferReceiveError ||
            event.iType == TransferStatus::TransferEventData) {
            TakeErrorRecord(iData, sLine);
        }
        return;
    }
    const std::string sPrefix = Prefix(window);
    switch (event.iType) {
    case TransferStatus::TransferSending: SetStatus(window, "Data sent so far, bytes: " + Number(iData)); return;
    case TransferStatus::TransferAwaiting:
        window.sAwaited = TransferStatus::Text(event);
        SetStatus(window, "Awaiting " + window.sAwaited + " ...");
        return;
    case TransferStatus::TransferAwaited:
        window.iAwaitedMs = iData;
        return;
    case TransferStatus::TransferSent: {
        const std::string sText = "Data sent, bytes: " + Number(iData) + " - (" +
                                  Number(ElapsedMilliseconds() - window.info.iStartTime) + " ms" + AwaitedText(window) +
                                  ")";
        SetStatus(window, sText);
        WindowLog::AddLine(sPrefix + sText);
        return;
    }
    case TransferStatus::TransferSendError:
    case TransferStatus::TransferReceiveError: {
        const std::string sText = event.iType == TransferStatus::TransferSendError ? "The data could not be sent."
                                                                                  : "The data could not be received.";
        Failure::uFailure failure;
        const bool fRecord = TakeErrorRecord(iData, sLine, &failure);
        // Why, in plain words (the instrument restarted, did not answer, ...); the log keeps the
        // transport's own text.
        SetStatus(window, Instrument::WithReason(sText, fRecord ? NoteFailure(window, failure) : std::string()));
        if (fRecord) WindowLog::AddError(sPrefix + sText + " " + sLine);
        return;
    }
    case TransferStatus::TransferReceiving: SetStatus(window, "Data received, bytes: " + Number(iData)); return;
    case TransferStatus::TransferWaiting:
        SetStatus(window, "Wait for the data to be received: " + std::to_string(iData) + " Seconds");
        return;
    case TransferStatus::TransferEventData: TakeErrorRecord(iData, sLine); return;
    default: return;
    }
}

void OnFileClicked(uWindowScpiCommand& window) {
    const uGadgets& g = window.gadgets;
    QString sText = g.pCommand->toPlainText();
    const QString sMarker = g.pBlockFormat->isChecked() ? MarkerBlockFile : MarkerFile;
    if (g.pFile->isChecked()) {
        g.pBlockFormat->setEnabled(true);
        g.pCommand->setPlainText(sText + sMarker);
    } else {
        g.pCommand->setPlainText(sText.remove(sMarker));
        g.pBlockFormat->setChecked(false);
        g.pBlockFormat->setEnabled(false);
    }
}

void OnBlockFormatClicked(uWindowScpiCommand& window) {
    const uGadgets& g = window.gadgets;
    QString sText = g.pCommand->toPlainText();
    if (g.pBlockFormat->isChecked()) sText.replace(MarkerFile, MarkerBlockFile);
    else sText.replace(MarkerBlockFile, MarkerFile);
    g.pCommand->setPlainText(sText);
}

void ChooseSendFile(uWindowScpiCommand& window) {
    const int iWindow = window.iWindow;
    QPointer<QFileDialog> pDialog = new QFileDialog(window.pFrame, "Send file");
    pDialog->setFileMode(QFileDialog::ExistingFile);
    pDialog->setNameFilter("All Files (*)");
    pDialog->setOption(QFileDialog::DontUseNativeDialog);
    const int iResult = pDialog->exec();
    if (!pDialog) return; // the window closed meanwhile
    const QStringList mFiles = pDialog->selectedFiles();
    delete pDialog;
    uWindowScpiCommand* p = nullptr;
    if (iResult != QDialog::Accepted || mFiles.isEmpty() || !FindInstance(iWindow, &p)) return;
    const QString sPath = QDir::toNativeSeparators(mFiles.front());
    p->gadgets.pFileName->setText(sPath);
    p->gadgets.pFileName->setToolTip(sPath);
}

void BindSendHandlers(uWindowScpiCommand& window) {
    const int iWindow = window.iWindow;
    const uGadgets& g = window.gadgets;
    const auto on = [iWindow](void (*fn)(uWindowScpiCommand&)) { return OnWindow(iWindow, fn); };
    EventHub::Bind(EventScpiSendFileRead, iWindow, [iWindow](const EventHub::uEvent& e) { OnSendFileRead(iWindow, e); });
    QObject::connect(g.pSend, &QPushButton::clicked, g.pSend, [iWindow] { OnSendClicked(iWindow, false); });
    QObject::connect(g.pSendReceive, &QPushButton::clicked, g.pSendReceive, [iWindow] { OnSendClicked(iWindow, true); });
    QObject::connect(g.pCancel, &QPushButton::clicked, g.pCancel, [iWindow] { OnCancelClicked(iWindow); });
    QObject::connect(g.pOpen, &QPushButton::clicked, g.pOpen, on(ChooseSendFile));
    QObject::connect(g.pFile, &QCheckBox::clicked, g.pFile, on(OnFileClicked));
    QObject::connect(g.pBlockFormat, &QCheckBox::clicked, g.pBlockFormat, on(OnBlockFormatClicked));
    QObject::connect(g.pWaitMav, &QCheckBox::clicked, g.pWaitMav,
                     on([](uWindowScpiCommand& w) { w.gadgets.pWaitSrq->setChecked(false); }));
    QObject::connect(g.pWaitSrq, &QCheckBox::clicked, g.pWaitSrq,
                     on([](uWindowScpiCommand& w) { w.gadgets.pWaitMav->setChecked(false); }));
}

} // namespace Detail

} // namespace WindowScpiCommand
