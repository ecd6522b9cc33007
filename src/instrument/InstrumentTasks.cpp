#include "instrument/InstrumentTasks.h"

#include "common/EventData.h"
#include "common/WindowLog.h"
#include "instrument/ConnectionFailure.h"
#include "instrument/InstrumentSearch.h"
#include "instrument/ModelCommands.h"
#include "instrument/ModelTable.h"
#include "instrument/NetworkConnection.h"
#include "instrument/ScreenCopy.h"
#include "instrument/ScreencopyAnswer.h"
#include "instrument/UsbConnection.h"
#include "instrument/WaveformRead.h"
#include "platform/EventHub.h"
#include "platform/ProgramEvents.h"
#include "transport/AbortRequests.h"
#include "transport/ChainedAnswers.h"
#include "transport/InterfaceDefaults.h"
#include "transport/Network.h"
#include "transport/TransferStatus.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <ctime>
#include <memory>
#include <utility>
#include <vector>

namespace InstrumentDefault {
namespace {

bool InSearchChain(const uTaskHead& head) { return head.iEvent == EventSearchFinished; }

// The HAMEG models are the ones that answer a display dump.
bool IsHameg(std::int64_t eModel) { return ScreencopyAnswer::IsDisplayDumpModel(eModel); }

// The local time in the system-time layout: year, month, day of week (0 = Sunday), day, hour,
// minute, second, milliseconds.
void StampLocalTime(std::array<std::uint16_t, 8>& stamp) {
    const auto now = std::chrono::system_clock::now();
    const std::time_t t = std::chrono::system_clock::to_time_t(now);
    std::tm local{};
    localtime_r(&t, &local);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    stamp = {static_cast<std::uint16_t>(local.tm_year + 1900), static_cast<std::uint16_t>(local.tm_mon + 1),
             static_cast<std::uint16_t>(local.tm_wday),        static_cast<std::uint16_t>(local.tm_mday),
             static_cast<std::uint16_t>(local.tm_hour),        static_cast<std::uint16_t>(local.tm_min),
             static_cast<std::uint16_t>(local.tm_sec),         static_cast<std::uint16_t>(ms)};
}

// The common start of the tasks that need a connection: without a transport there is nothing
// to do, and nothing is posted.
bool HasTransport(const uInstance& instance, const char* sProcedure, std::string& sError) {
    if (instance.pTransport) return true;
    sError = std::string("InstrumentDefault::") + sProcedure + ": There is no instance of the instrument.";
    return false;
}

// A request that could not go out because the instrument is not connected (the request block's
// failure record says why): the window hears it as it hears any send that failed.
void PostNotSent(const uInstance& instance, int iWindow, const std::string& sError) {
    TransferStatus::PostError(iWindow, TransferStatus::TransferSendError, "Error while sending the data. - " + sError,
                              "SendRequest", instance.request.failure);
}

// The start of a task that talks to the instrument: true when it is connected (a lost connection
// is opened again first). A lost instrument that could not be opened gets the task's error and
// its result without data, so that every request has an outcome; one that nobody connected
// posts nothing, as before.
bool Reachable(uInstance& instance, const uTaskHead& head, std::int64_t eTaskType, const char* pProcedure,
               std::string& sError) {
    if (EnsureConnected(instance, sError)) return true;
    if (instance.fLost) {
        PostNotSent(instance, static_cast<int>(head.iWindow), sError);
        PostTaskError(head.iWindow, EventObject(instance), sError, pProcedure, instance.request.failure);
        PostTaskResult(instance, head, eTaskType);
    }
    return false;
}

// Queues the next task of the search chain on the same instrument, for the owner of the chain
// task before it: the chain's disconnect gives back the hold its own connect took, whoever
// prepared the instrument meanwhile.
template <class T> void QueueChainTask(uInstrumentObject& object, const uTaskHead& before) {
    T task;
    task.head.iEvent = EventSearchFinished;
    task.head.iWindow = before.iWindow;
    task.head.iOwner = before.iOwner;
    std::string sError;
    AddTask(object, task, sError);
}

// Opens the connection that the description names.
bool OpenByInterface(uInstance& instance, std::string& sError) {
    const uTaskPrepare& connection = instance.uConnection;
    switch (connection.eInterface) {
    case InterfaceUsbTmc:
        if (connection.fLibUsb1) return ConnectUsbTmcLibUsb1(instance, sError);
        if (connection.fLibUsb0) return ConnectUsbTmcLibUsb0(instance, sError);
        sError = "InstrumentDefault::TaskConnect: No USB library was chosen for the instrument.";
        return false;
    case InterfaceVxi11: return ConnectVxi(instance, sError);
    case InterfaceRawTcp: return ConnectRawTcp(instance, sError);
    case InterfaceSerial: return ConnectSerial(instance, sError);
    default:
        sError = "InstrumentDefault::TaskConnect: The interface has no transport. eInterface = " +
                 std::to_string(connection.eInterface);
        return false;
    }
}

// Opens the connection that the description names. A failure leaves its record in
// connectFailure: the transport's kind (Other where it named none) as eConnect too, its step, port
// and time waited, and the transport's text (the whole text where it gave none).
bool OpenConnection(uInstance& instance, std::string& sError) {
    instance.connectFailure = {};
    if (OpenByInterface(instance, sError)) return true;
    Failure::uFailure& failure = instance.connectFailure;
    if (failure.eType == Failure::eKind::None) failure.eType = Failure::eKind::Other;
    failure.eConnect = failure.eType;
    if (failure.eAt == Failure::eStep::Exchange) failure.eAt = Failure::eStep::Connect;
    if (failure.sText.empty()) failure.sText = sError;
    return false;
}

// The record of a request that found its instrument not connected, with the failed connect
// made for it (fConnectFailed) behind it.
Failure::uFailure NotConnectedFailure(const uInstance& instance, const std::string& sError, bool fConnectFailed) {
    Failure::uFailure failure = fConnectFailed ? instance.connectFailure : Failure::uFailure{};
    failure.eType = Failure::eKind::NotConnected;
    failure.iSent = 0;
    failure.sText = sError;
    return failure;
}

// Closes the open connection, whatever kind it is: the one that was opened, even when a later
// Prepare changed the description. Drops an abort request that its transfers never took.
bool CloseConnection(uInstance& instance, std::string& sError) {
    const std::shared_ptr<InstrumentTransport> pTransport = instance.pTransport;
    if (!pTransport) return true;
    const bool fClosed = pTransport->Close(sError);
    SetTransport(instance, nullptr);
    Instrument::TakeAbortRequest(pTransport->AbortId());
    return fClosed;
}

// A manual instrument is identified when it connects: its model's query with a short time-out,
// the model taken from the answer, and the request block set up again for that model.
void IdentifyAtConnect(uInstance& instance) {
    uModelCommands commands;
    Instrument::GetModelCommands(instance.uConnection.eModel, commands);
    uRequest& request = instance.request;
    request.sCommand = commands.sIdnQuery;
    request.iTimeout = 200;
    const std::int64_t eModel = instance.uConnection.eModel;
    if (IsHameg(eModel)) {
        request.iTimeout = 500;
        request.sTermination = Instrument::AnswerEndText(eModel);
    }
    uIdn idn;
    // A failed identification leaves the identification empty with its record: the window that
    // connected tells no answer from an answer that did not end.
    std::string sIgnored;
    if (!GetIdnDefault(instance, WindowNobody, idn, sIgnored)) idn.failure = request.failure;
    SetIdn(instance, idn);
    SetModel(instance, Instrument::GetModelFromIdn(instance.uConnection, instance.idn, 0));
    SetCommunicationDefaults(instance);
}

// The local adapter of a LAN description that names none.
void ChooseLocalAdapter(uTaskPrepare& connection) {
    std::string* pAdapter = nullptr;
    const std::string* pInstrument = nullptr;
    if (connection.eInterface == InterfaceVxi11) {
        pAdapter = &connection.vxi11.sAdapterIp;
        pInstrument = &connection.vxi11.sInstrumentIp;
    } else if (connection.eInterface == InterfaceRawTcp) {
        pAdapter = &connection.rawTcp.sAdapterIp;
        pInstrument = &connection.rawTcp.sInstrumentIp;
    }
    if (!pAdapter || !pAdapter->empty()) return;
    std::vector<Network::uNetworkAdapter> adapters;
    int iCount = 0;
    // Without adapters only an instrument on this PC gets an address; for any other the address
    // stays empty and the connect says so.
    std::string sIgnored;
    if (!Network::GetAdapters(adapters, iCount, sIgnored)) iCount = 0;
    *pAdapter = ChooseAdapter(adapters, iCount, *pInstrument);
}

bool SetLocalOrRemote(uInstance& instance, uTaskElement& element, bool fLocal, std::string& sError) {
    if (!TaskCheckParameter(element, sError)) return false;
    const uTaskHead& head = TaskHeadOf(*element.pTask);
    const char* pProcedure = fLocal ? "TaskLocal" : "TaskRemote";
    const std::int64_t eType = fLocal ? InstrumentTaskLocal : InstrumentTaskRemote;
    if (!Reachable(instance, head, eType, pProcedure, sError)) return false;
    bool fDone = true;
    if (instance.fConnected && instance.uConnection.eInterface == InterfaceVxi11) {
        Failure::uFailure failure;
        fDone = instance.pTransport->SetLocal(fLocal, failure, sError);
        if (!fDone) PostTaskError(head.iWindow, EventObject(instance), sError, pProcedure, failure);
    }
    PostTaskResult(instance, head, eType);
    return fDone;
}

// The stream connections (raw TCP, serial) and USBTMC have nothing that opens them again by
// themselves (VXI-11 does so in its transport, after every failed call).
bool ReopensAfterDrop(const uInstance& instance) {
    const std::int64_t eInterface = instance.uConnection.eInterface;
    return eInterface == InterfaceRawTcp || eInterface == InterfaceSerial || eInterface == InterfaceUsbTmc;
}

// The connection could not be opened again: the instrument is not connected from now on, and
// every main window that holds it learns so at once (once per loss). Its holders keep it; the
// next task that talks to it tries to open it again (EnsureConnected).
void MarkLost(uInstance& instance, const std::string& sReason, const std::string& sOpen) {
    std::string sIgnored;
    CloseConnection(instance, sIgnored);
    if (std::exchange(instance.fLost, true)) return;
    // The holders' lines of the interruption (the cause) come first in the log, in post order.
    EventHub::PostEvent(EventInstrumentLost, 0, EventObject(instance), 0,
                        EventHub::Payload::Of<std::string>(sReason));
    WindowLog::PostError(Instrument::ShownName(instance.uConnection, instance.idn) +
                         ": The connection was interrupted and could not be established again. - " + sOpen);
}

// Opens the connection afresh, closing what is left of the old one; the task's one attempt.
bool Reopen(uInstance& instance, std::string& sOpen) {
    instance.fConnectTried = true;
    std::string sIgnored;
    CloseConnection(instance, sIgnored);
    if (!OpenConnection(instance, sOpen)) return false;
    if (std::exchange(instance.fLost, false)) {
        WindowLog::PostLine(Instrument::ShownName(instance.uConnection, instance.idn) + ": connected again");
        EventHub::PostEvent(EventInstrumentRegained, 0, EventObject(instance), 0);
    }
    return true;
}

// The text of a task that found the instrument not connected, with why it could not be opened.
std::string NotConnectedText(const std::string& sOpen) {
    return "InstrumentDefault::SendRequest: The instrument is not connected. - " + sOpen;
}

// The connection went away under an exchange (the instrument restarted, the cable was pulled):
// it is opened once more, so that the next request finds it, but the failed request is not sent
// again (a command may have reached the instrument before the connection went). When it cannot
// be opened, the instrument is lost (MarkLost).
void ReopenAfterDrop(uInstance& instance, const std::string& sReason) {
    const bool fReopen = ReopensAfterDrop(instance);
    if (!fReopen && instance.pTransport && !instance.pTransport->Gone()) return; // opened again by its transport
    std::string sOpen = "The transport could not open it again.";
    if (instance.fConnectTried) sOpen = sReason; // this task has had its attempt
    else if (fReopen && Reopen(instance, sOpen)) return;
    MarkLost(instance, sReason, sOpen);
}

} // namespace

bool EnsureConnected(uInstance& instance, std::string& sError) {
    if (instance.fConnected && instance.pTransport) return true;
    if (!instance.fLost) {
        sError = "InstrumentDefault::SendRequest: The instrument is not open.";
        instance.request.failure = NotConnectedFailure(instance, sError, false);
        return false;
    }
    std::string sOpen = "The instrument could not be opened again.";
    const bool fTry = !instance.fConnectTried;
    if (fTry && Reopen(instance, sOpen)) return true;
    sError = NotConnectedText(sOpen);
    instance.request.failure = NotConnectedFailure(instance, sError, fTry);
    return false;
}

void SetCommunicationDefaults(uInstance& instance) {
    const std::int64_t eModel = instance.uConnection.eModel;
    const int iInterface = static_cast<int>(instance.uConnection.eInterface);
    Instrument::GetModelCommands(eModel, instance.modelCommands);
    uRequest request;
    request.iTimeout = InterfaceDefaults::Timeout(iInterface);
    request.fTimeoutConfigured = true;
    request.iTermChar = '\n';
    request.fRemoveTermChar = eModel == ModelPicotestM3500A ? 0 : 1;
    request.iProgressStep = InterfaceDefaults::ProgressStep(iInterface);
    request.sTermination = Instrument::AnswerEndText(eModel);
    instance.request = std::move(request);
}

bool SendRequest(uInstance& instance, int iWindow, std::string& sError) {
    uRequest& request = instance.request;
    // The block unit is told for this exchange only.
    struct uUnitReset {
        uRequest& r;
        ~uUnitReset() { r.eBlockUnit = Instrument::eBlockUnit::Bytes; }
    } unitReset{request};
    // The answers the message awaits, one to each of its queries, whoever sent it: an answer
    // short of them is no answer, and a message sent without reading them still owes them. A
    // message without a query (a dialect's command that answers) and every message to a HAMEG
    // model (whose display dump answers a command too) await one.
    const std::int64_t eModel = instance.uConnection.eModel;
    request.iAnswers = IsHameg(eModel) ? 0 : static_cast<std::int64_t>(Instrument::QueryCount(request.sCommand));
    request.blockEnds = Instrument::BlockLineEnds(eModel, request.sCommand);
    // Nothing of an earlier exchange stays: no answer, no counts. Every exchange takes its answer
    // out of the block, so memory found there was lent by the caller for this answer: it is kept,
    // and so are the iKeep bytes a caller puts ahead of the answer.
    request.iSendTransferred = 0;
    request.fSendFinished = 0;
    request.failure = {};
    request.requestData.setSize(
        std::min(static_cast<std::size_t>(std::max<std::int64_t>(request.iKeep, 0)), request.requestData.size()));
    request.iRequestTransferred = 0;
    request.fRequestFinished = 0;
    if (!EnsureConnected(instance, sError)) {
        if (instance.fLost) PostNotSent(instance, iWindow, sError);
        return false;
    }
    // Abort requests left from before this task were dropped when it began; one that arrives
    // between two exchanges of the task stays for the transfer to take. The flag shows a cancel
    // that came before this exchange.
    if (instance.fCancel) {
        sError = "InstrumentDefault::SendRequest: The task has been canceled.";
        request.failure = {Failure::eKind::Canceled, 0, sError};
        return false;
    }
    if (!request.fSend) {
        sError = "InstrumentDefault::SendRequest: There is no command to send.";
        request.failure = {Failure::eKind::Other, 0, sError};
        return false;
    }
    const std::int64_t iKeep = request.iKeep; // the exchange takes it
    std::string sExchange;
    if (instance.pTransport->Exchange(instance, iWindow, sExchange)) return true;
    sError = sExchange.empty() ? "InstrumentDefault::SendRequest: The exchange failed." : sExchange;
    request.failure.sText = sError;
    if (Instrument::SendsAgain(request.failure, instance.fConnectTried)) {
        // Nothing of the request has left: it goes out once more on a new connection.
        std::string sOpen;
        if (!Reopen(instance, sOpen)) {
            MarkLost(instance, sError, sOpen);
            sError = NotConnectedText(sError + " - " + sOpen); // what went, and why it stays away
            request.failure = NotConnectedFailure(instance, sError, true);
            PostNotSent(instance, iWindow, sError);
            return false;
        }
        sExchange.clear();
        request.iKeep = iKeep;
        request.failure = {};
        if (instance.pTransport->Exchange(instance, iWindow, sExchange)) return true;
        sError = sExchange.empty() ? "InstrumentDefault::SendRequest: The exchange failed." : sExchange;
        request.failure.sText = sError;
    }
    if (Instrument::Dropped(request.failure)) ReopenAfterDrop(instance, sError);
    return false;
}

bool SendQuery(uInstance& instance, int iWindow, DataBuffer& answer, std::size_t& iSize, std::string& sError) {
    uRequest& request = instance.request;
    request.fSend = 1;
    request.data.release();
    request.fRequestData = 1;
    request.fVendorSpecific = 0;
    request.eWait = 0;
    const bool fExchanged = SendRequest(instance, iWindow, sError);
    // The answer is the caller's alone: it leaves the request block at every exchange.
    answer = std::move(request.requestData);
    request.requestData.release();
    iSize = request.fRequestFinished ? std::min(answer.size(), static_cast<std::size_t>(std::max<std::int64_t>(
                                                                   request.iRequestTransferred, 0)))
                                     : 0;
    request.iRequestTransferred = 0;
    return fExchanged;
}

bool GetIdnDefault(uInstance& instance, int iWindow, uIdn& idn, std::string& sError) {
    DataBuffer answer;
    std::size_t iSize = 0;
    const bool fExchanged = SendQuery(instance, iWindow, answer, iSize, sError);
    // A part that came before the time-out failed the exchange (its text says so): the
    // instrument stays unidentified, as when nothing came.
    if (!fExchanged) return false;
    idn = Instrument::ParseIdn(answer.view().substr(0, iSize));
    if (idn.failure.eType != Failure::eKind::None) {
        // Noise (even with the end text), an empty line or one that names no maker and no model:
        // no instrument, whatever the bytes say; the record tells which.
        const std::string sWhy =
            idn.failure.fNoText ? "The answer of " + std::to_string(iSize) + " bytes is no text."
            : idn.failure.fNoNames
                ? "The IDN has been read by the instrument, but it names no maker or model."
                : "The IDN has been read by the instrument, but the data is empty.";
        sError = "InstrumentDefault::GetIdnDefault: " + sWhy;
        instance.request.failure = idn.failure;
        instance.request.failure.sText = sError;
        TransferStatus::PostError(iWindow, TransferStatus::TransferReceiveError, sWhy, "GetIdnDefault",
                                  instance.request.failure);
        return false;
    }
    return true;
}

bool TaskPrepare(uInstrumentObject& object, uInstance& instance, uTaskElement& element, std::string& sError) {
    if (!TaskCheckParameter(element, sError)) return false;
    uTaskPrepare connection = std::get<uTaskPrepare>(*element.pTask);
    if (connection.fUserModel) connection.eModel = Instrument::GetModelFromIdn(connection, instance.idn, 0);
    ChooseLocalAdapter(connection);
    const uTaskHead head = connection.head;
    SetConnection(instance, std::move(connection));
    if (InSearchChain(head)) QueueChainTask<uTaskConnect>(object, head);
    else PostTaskFinished(instance, head.iWindow, InstrumentTaskPrepare);
    return true;
}

bool TaskConnect(uInstrumentObject& object, uInstance& instance, uTaskElement& element, std::string& sError) {
    if (!TaskCheckParameter(element, sError)) return false;
    const uTaskHead head = TaskHeadOf(*element.pTask);
    if (!instance.fConnected) {
        // A lost instrument is opened as any request opens it, and its holders hear so.
        const bool fOpened = instance.fLost ? Reopen(instance, sError) : OpenConnection(instance, sError);
        SetCommunicationDefaults(instance);
        if (!fOpened) {
            // The owner holds nothing: its disconnect takes nothing from the others.
            if (InSearchChain(head)) InstrumentSearch::PostNotIdentified(instance.uConnection, sError);
            PostTaskError(head.iWindow, EventObject(instance), sError, "TaskConnect", instance.connectFailure);
            return false;
        }
        if (instance.uConnection.fUserModel) IdentifyAtConnect(instance);
    }
    // The owner holds the connection once, however often it connects. In the search chain the
    // chain goes on, so that its own disconnect follows and lets go of it again.
    SetHolder(instance, TaskOwner(head), true);
    if (InSearchChain(head)) QueueChainTask<uTaskGetIdn>(object, head);
    else PostTaskFinished(instance, head.iWindow, InstrumentTaskConnect);
    return true;
}

bool TaskDisconnect(uInstrumentObject&, uInstance& instance, uTaskElement& element, std::string& sError) {
    if (!TaskCheckParameter(element, sError)) return false;
    const uTaskHead head = TaskHeadOf(*element.pTask);
    const bool fChain = InSearchChain(head);
    // The owner gives back only what it holds: a second disconnect, or one after a failed
    // connect, takes nothing from the others. A lost instrument that nobody holds any more is
    // no longer waited for, and is free for the other main windows' lists.
    SetHolder(instance, TaskOwner(head), false);
    if (instance.holders.empty() && std::exchange(instance.fLost, false) && !fChain)
        EventHub::PostEvent(EventInstrumentFreed, 0, EventObject(instance), 0);
    // The search chain ends here with its outcome, whether or not there was a connection to close.
    const auto finish = [&] {
        if (fChain) SetModel(instance, Instrument::GetModelFromIdn(instance.uConnection, instance.idn, 0));
        PostTaskFinished(instance, head.iWindow, fChain ? InstrumentTaskIdentified : InstrumentTaskDisconnect);
    };
    if (!HasTransport(instance, "TaskDisconnect", sError)) {
        if (fChain) finish();
        return false;
    }
    if (!instance.fConnected) {
        finish();
        return false;
    }
    bool fClosed = true;
    if (instance.holders.empty()) {
        // The last holder let go (or a connection nobody connected, as a test attaches one).
        fClosed = CloseConnection(instance, sError);
        if (!fClosed) PostTaskError(head.iWindow, EventObject(instance), sError, "TaskDisconnect");
        else if (!fChain) EventHub::PostEvent(EventInstrumentFreed, 0, EventObject(instance), 0);
    }
    finish();
    return fClosed;
}

bool TaskGetIdn(uInstrumentObject& object, uInstance& instance, uTaskElement& element, std::string& sError) {
    if (!TaskCheckParameter(element, sError)) return false;
    const uTaskHead head = TaskHeadOf(*element.pTask);
    const bool fChain = InSearchChain(head);
    if (!fChain && !Reachable(instance, head, InstrumentTaskGetIdn, "TaskGetIdn", sError)) return false;
    if (!HasTransport(instance, "TaskGetIdn", sError) || !instance.fConnected) {
        // The connection went away since the chain's connect (another owner's request lost it):
        // the chain ends all the same, and its disconnect gives back the hold of its connect.
        if (!fChain) return false;
        sError = "InstrumentDefault::TaskGetIdn: The instrument is not connected.";
        InstrumentSearch::PostNotIdentified(instance.uConnection, sError);
        QueueChainTask<uTaskDisconnect>(object, head);
        return false;
    }
    uModelCommands commands;
    Instrument::GetModelCommands(instance.uConnection.eModel, commands);
    instance.request.sCommand = commands.sIdnQuery;
    const std::int64_t iTimeout = instance.request.iTimeout;
    if (fChain) instance.request.iTimeout = 500;
    uIdn idn;
    const bool fRead = GetIdnDefault(instance, fChain ? WindowNobody : static_cast<int>(head.iWindow), idn, sError);
    if (fChain) instance.request.iTimeout = iTimeout;
    if (!fRead) PostTaskError(head.iWindow, EventObject(instance), sError, "TaskGetIdn");
    if (!fRead && fChain) {
        const std::string sAnswer =
            Instrument::IdentificationAnswerText(instance.uConnection, instance.request.failure);
        InstrumentSearch::PostNotIdentified(instance.uConnection, sAnswer.empty() ? sError : sAnswer + " - " + sError);
    }
    if (fChain) {
        // An answer that was noise or an empty line keeps its record (the instrument list's row
        // says why); a read that failed otherwise leaves the identification as it was.
        if (fRead || idn.failure.eType != Failure::eKind::None) SetIdn(instance, idn);
        QueueChainTask<uTaskDisconnect>(object, head);
    } else {
        PostTaskFinished(instance, head.iWindow, InstrumentTaskGetIdn,
                         fRead ? EventHub::Payload::Of<uIdn>(std::move(idn)) : EventHub::Payload{});
    }
    return fRead;
}

bool TaskScpiCommand(uInstrumentObject&, uInstance& instance, uTaskElement& element, std::string& sError) {
    if (!TaskCheckParameter(element, sError)) return false;
    const auto& task = std::get<uTaskScpiCommand>(*element.pTask);
    if (!instance.fLost && !HasTransport(instance, "TaskScpiCommand", sError)) return false;
    if (!EnsureConnected(instance, sError) && instance.fLost) {
        // The result without data follows, as for any instrument that is not connected.
        PostNotSent(instance, static_cast<int>(task.head.iWindow), sError);
        PostTaskError(task.head.iWindow, WindowNobody, "Error sending and receiving the data. - " + sError,
                      "TaskScpiCommand", instance.request.failure);
    }
    std::unique_ptr<uTaskResultScpiCommand> pResult;
    if (instance.fConnected) {
        uRequest& request = instance.request;
        if (task.iTimeout != 0) {
            request.iTimeout = task.iTimeout;
            request.fTimeoutConfigured = false;
        }
        if (task.iBlockSize != 0) request.iProgressStep = task.iBlockSize;
        request.fSend = task.fSend;
        request.sCommand = task.sCommand;
        request.data.release();
        if (task.pData && !task.pData->empty()) request.data = *task.pData;
        request.fRequestData = task.fRequestData; // SendRequest clears the counts and the answer
        request.fVendorSpecific = task.fVendorSpecific;
        request.eWait = task.eWait;
        request.eBlockUnit = task.eBlockUnit;
        const bool fExchanged = SendRequest(instance, static_cast<int>(task.head.iWindow), sError);
        request.data.release();
        if (!fExchanged) {
            PostTaskError(task.head.iWindow, WindowNobody, "Error sending and receiving the data. - " + sError,
                          "TaskScpiCommand", request.failure);
        }
        pResult = std::make_unique<uTaskResultScpiCommand>();
        pResult->head = task.head;
        pResult->iTaskNumber = element.iTaskNumber;
        pResult->iSendTransferred = request.iSendTransferred;
        pResult->fSendFinished = request.fSendFinished;
        pResult->fRequestData = request.fRequestData;
        pResult->requestData = std::move(request.requestData);
        pResult->iRequestTransferred = request.iRequestTransferred;
        pResult->fRequestFinished = request.fRequestFinished;
        request.requestData.release();
        request.iRequestTransferred = 0;
    }
    PostTaskResult(instance, task.head, InstrumentTaskScpiCommand,
                   pResult ? EventHub::Payload::Of(std::move(pResult)) : EventHub::Payload{});
    return true;
}

bool TaskScreencopy(uInstrumentObject&, uInstance& instance, uTaskElement& element, std::string& sError) {
    if (!TaskCheckParameter(element, sError)) return false;
    const auto& task = std::get<uTaskScreencopy>(*element.pTask);
    if (!Reachable(instance, task.head, InstrumentTaskScreencopy, "TaskScreencopy", sError)) return false;
    QImage image;
    instance.request.failure = {}; // the kind of this task's failed exchange, if one fails
    const bool fCopied = GetScreencopy(instance, static_cast<int>(task.head.iWindow), task, image, sError);
    if (!fCopied) {
        PostTaskError(task.head.iWindow, EventObject(instance), sError, "TaskScreencopy", instance.request.failure);
    }
    PostTaskResult(instance, task.head, InstrumentTaskScreencopy,
                   fCopied ? EventHub::Payload::Of<QImage>(std::move(image)) : EventHub::Payload{});
    return fCopied;
}

bool TaskWaveform(uInstrumentObject&, uInstance& instance, uTaskElement& element, std::string& sError) {
    if (!TaskCheckParameter(element, sError)) return false;
    auto& task = std::get<uTaskWaveform>(*element.pTask);
    if (!Reachable(instance, task.head, InstrumentTaskWaveform, "TaskWaveform", sError)) return false;
    auto pData = std::make_unique<uWaveformData>();
    instance.request.failure = {}; // the kind of this task's failed exchange, if one fails
    const bool fRead = GetWaveform(instance, static_cast<int>(task.head.iWindow), task, *pData, sError);
    if (fRead) StampLocalTime(pData->timeStamp);
    if (!fRead) {
        PostTaskError(task.head.iWindow, EventObject(instance), sError, "TaskWaveform", instance.request.failure);
        pData.reset();
    }
    PostTaskResult(instance, task.head, InstrumentTaskWaveform,
                   pData ? EventHub::Payload::Of(std::move(pData)) : EventHub::Payload{});
    return fRead;
}

bool TaskLocal(uInstrumentObject&, uInstance& instance, uTaskElement& element, std::string& sError) {
    return SetLocalOrRemote(instance, element, true, sError);
}

bool TaskRemote(uInstrumentObject&, uInstance& instance, uTaskElement& element, std::string& sError) {
    return SetLocalOrRemote(instance, element, false, sError);
}

bool TaskTimeout(uInstrumentObject&, uInstance& instance, uTaskElement& element, std::string& sError) {
    if (!TaskCheckParameter(element, sError)) return false;
    const auto& task = std::get<uTaskTimeout>(*element.pTask);
    // A lost instrument keeps its settings for the connection that opens it again.
    if (!instance.fLost && !HasTransport(instance, "TaskTimeout", sError)) return false;
    const std::int64_t eInterface = instance.uConnection.eInterface;
    if (eInterface >= InterfaceUsbTmc && eInterface <= InterfaceSerial) {
        instance.request.iTimeout = task.iTimeout != 0 ? task.iTimeout : InterfaceDefaults::Timeout(static_cast<int>(eInterface));
        instance.request.fTimeoutConfigured = task.iTimeout == 0;
    }
    PostTaskResult(instance, task.head, InstrumentTaskTimeout);
    return true;
}

bool TaskTerminationChar(uInstrumentObject&, uInstance& instance, uTaskElement& element, std::string& sError) {
    if (!TaskCheckParameter(element, sError)) return false;
    const auto& task = std::get<uTaskTerminationChar>(*element.pTask);
    // A lost instrument keeps its settings for the connection that opens it again.
    if (!instance.fLost && !HasTransport(instance, "TaskTerminationChar", sError)) return false;
    const std::int64_t eInterface = instance.uConnection.eInterface;
    if (eInterface == InterfaceRawTcp || eInterface == InterfaceSerial) {
        instance.request.sTermination = task.sTerminationChar;
    }
    PostTaskResult(instance, task.head, InstrumentTaskTerminationChar);
    return true;
}

} // namespace InstrumentDefault
