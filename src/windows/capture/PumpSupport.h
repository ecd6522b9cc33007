// What the screenshot pump and the waveform pump do alike: the texts both show, the error
// records of the instrument's events, matching a task's result to the request that waits for
// it, the cancel of the window's own transfer and the binding of the window's events. Each pump
// keeps its own rules of what it shows; a pump type here is uScreenshotPump or uWaveformPump.
#pragma once

#include "common/EventData.h"
#include "common/NumberText.h"
#include "instrument/ConnectionFailure.h"
#include "instrument/InstrumentObject.h"
#include "instrument/TaskRecords.h"
#include "platform/EventHub.h"
#include "platform/ProgramEvents.h"
#include "platform/WindowRegistry.h"
#include "transport/TransferStatus.h"
#include "windows/capture/WaveformPump.h"

#include <algorithm>
#include <cstdint>
#include <string>

namespace PumpSupport {

inline constexpr const char* NotSent = "The data could not be sent.";
inline constexpr const char* NotReceived = "The data could not be received.";
inline constexpr const char* NoData = "The data is not available, 0 bytes.";
inline constexpr const char* CommunicationError = "Communication error: ";
inline constexpr const char* AutomaticStopped = "The automatic reading stopped";
inline constexpr const char* AutomaticCancelled = "The automatic reading was cancelled.";

// A byte or millisecond count as the status and log lines show it.
inline std::string Number(std::int64_t iValue) { return Utility::StrDLocalized(static_cast<double>(iValue), -1); }

inline std::string RecordText(const uEventData& record) {
    return record.sModule + "::" + record.sProcedure + ": (" + std::to_string(record.iValue) + ") " + record.sText;
}

// Takes the error record whose key the event carries; false when there is none.
inline bool TakeRecord(const EventHub::uEvent& event, uEventData& record) {
    const std::int64_t* pKey = event.pData.Get<std::int64_t>();
    return pKey && Utility::EventDataTake(std::to_string(*pKey), record);
}

// The record of a transfer-status event that carries one, taken in every case so that the
// store does not fill; false when the event has none.
inline bool TakeTransferRecord(const EventHub::uEvent& event, uEventData& record) {
    if (event.iType != TransferStatus::TransferSendError && event.iType != TransferStatus::TransferReceiveError &&
        event.iType != TransferStatus::TransferEventData)
        return false;
    return TakeRecord(event, record);
}

inline std::string WaitText(std::int64_t iSeconds) {
    return "Wait for the data to be received: " + std::to_string(iSeconds) + " Seconds";
}

// Notes why the current request failed, from the failure record of one of its reports: the last report that names a reason is nearest to how it ended (a dropped connection,
// then the refused connect that tried to open it again). Returns the reason of this report
// (empty: none named).
template <class Pump> std::string NoteFailure(Pump& pump, const uEventData& record) {
    std::string sReason = Instrument::ExchangeFailureReason(pump.instrument.pInstrument, record.failure);
    if (!sReason.empty()) pump.sFailure = sReason;
    return sReason;
}

// The current request's exchange failed (sText: not sent, or not received). The status line and
// the log say why in plain words behind sLabel (the waveform pump's channel), once and again for
// each report that names a new reason; the transport's record follows on a log line of its own.
template <class Pump>
void RequestFailed(Pump& pump, const std::string& sLabel, const char* sText, bool fRecord, const uEventData& record) {
    const std::string sShown = pump.sFailure;
    const bool fNew = fRecord && !NoteFailure(pump, record).empty() && pump.sFailure != sShown;
    if (!pump.sFailedAs || fNew) {
        if (!pump.sFailedAs) pump.sFailedAs = sText;
        const std::string sLine = sLabel + Instrument::WithReason(pump.sFailedAs, pump.sFailure);
        pump.pWindow->SetStatus(sLine);
        pump.pWindow->AddError(pump.instrument.sModel + " - " + sLine);
    }
    if (fRecord) pump.pWindow->AddError(RecordText(record));
}

// What the status line said of the current request's failure, without its label; empty when it
// said nothing.
template <class Pump> std::string FailureSaid(const Pump& pump) {
    return pump.sFailedAs ? Instrument::WithReason(pump.sFailedAs, pump.sFailure) : std::string();
}

// Whether a request's reason is a connect made for it that failed: nothing of the request reached
// the instrument, and a read or run that it stopped says that reason first, before the request.
inline bool ConnectFailed(const std::string& sReason) { return sReason.starts_with(Instrument::ConnectFailedText); }

// Whether a type 8 result is the one the current request waits for. A result names its task;
// one without a record belongs to the oldest task still awaiting its result.
template <class Pump> bool TakeResultFor(Pump& pump, const uTaskResultScpiCommand* pResult) {
    std::int64_t iTask = 0;
    if (pResult) {
        iTask = pResult->iTaskNumber;
        const auto it = std::find(pump.mOutstanding.begin(), pump.mOutstanding.end(), iTask);
        if (it != pump.mOutstanding.end()) pump.mOutstanding.erase(it);
    } else if (!pump.mOutstanding.empty()) {
        iTask = pump.mOutstanding.front();
        pump.mOutstanding.pop_front();
    }
    if (iTask == 0 || iTask != pump.iCurrentTask) return false;
    pump.iCurrentTask = 0;
    return true;
}

// Whether an error that comes now belongs to the current request: an error comes before its
// task's result, so it belongs to the oldest task still awaiting one.
template <class Pump> bool ErrorOfCurrent(const Pump& pump) {
    return pump.iCurrentTask != 0 && !pump.mOutstanding.empty() && pump.mOutstanding.front() == pump.iCurrentTask;
}

// A task error. One of a request given up earlier (a stop, Cancel) is no failure of what runs now:
// its record is kept as a plain log line. One of the current request says why as RequestFailed
// does, and true tells the caller to end the read.
template <class Pump> bool TaskFailed(Pump& pump, const std::string& sLabel, bool fRecord, const uEventData& record) {
    if (!ErrorOfCurrent(pump)) {
        if (fRecord) pump.pWindow->AddLine(RecordText(record));
        return false;
    }
    RequestFailed(pump, sLabel, NotSent, fRecord, record);
    return true;
}

// An automatic run ended by itself (a failure, the instrument gone): the status line says first
// that it stopped, then why (sWhy; when empty, that the instrument is not connected where it is
// not), then sKept (what the run kept). The log keeps the whole text, which a narrow window cuts.
// Returns the text without sKept.
template <class Pump> std::string SayStopped(Pump& pump, std::string sWhy, const std::string& sKept = "") {
    if (sWhy.empty() && !pump.instrument.fConnected) sWhy = Instrument::NotConnectedText;
    const std::string sStopped = AutomaticStopped + (sWhy.empty() ? std::string(".") : ": " + sWhy);
    const std::string sText = sKept.empty() ? sStopped : sStopped + " " + sKept;
    pump.pWindow->AddLine(pump.instrument.sModel + " - " + sText);
    pump.pWindow->AutomaticStopped(sText);
    return sStopped;
}

// The first request's answer has been checked (fMatched: it was what the request waits for).
// A matched request leaves the list and the pump goes on at once (fnContinue). One that did not
// match (a trigger state polled until the instrument stops) is asked again at the next tick of
// the step timer, so that a poll asks once per tick, not as fast as the instrument answers.
// Nothing more when the check stopped the read (the pump's stop count moved past iStops).
template <class Pump, class It>
void AfterCheck(Pump& pump, It itRequest, bool fMatched, std::int64_t iStops, void (*fnContinue)(Pump&),
                int iTimer, int iTick) {
    if (fMatched) {
        pump.mRequestList.erase(itRequest);
    } else {
        itRequest->fPending = 1;
        itRequest->fArrived = 0;
        itRequest->fAwaiting = 0;
    }
    if (pump.iStops != iStops) return;
    if (fMatched)
        fnContinue(pump);
    else
        pump.pTimers->Start(iTimer, iTick);
}

// What the start button checks before a reading starts: the interval of an automatic reading
// (taken into pump.iInterval) and the folder of the automatic save. false, with a message
// requester, when a reading cannot start.
template <class Pump, class Start> bool TakeStart(Pump& pump, const Start& start) {
    if (start.fAutomatically) {
        std::int64_t iMilliseconds = 0;
        if (!WaveformPump::ParseInterval(start.sInterval, start.iUnit, iMilliseconds)) {
            pump.pWindow->MessageRequester("The interval setting is invalid.");
            return false;
        }
        pump.iInterval = iMilliseconds;
    }
    if (pump.fSaveAutomatically && pump.sAutomaticFolder.empty()) {
        pump.pWindow->MessageRequester("No folder was selected.");
        return false;
    }
    return true;
}

// Whether the pump's instrument is there and its interface connected (or lost: the request
// tries to open it).
template <class Pump> bool InterfaceConnected(const Pump& pump) {
    const InstrumentObject& pObject = pump.instrument.pInstrument;
    return pObject && pObject->pInterface && (pump.instrument.fLost || pObject->pInterface->IsConnected(*pObject));
}

// Queues the SCPI task; its number is the one the current request waits for (unless fCurrent
// is false: a task queued ahead). 0 with sError when the task could not be queued.
template <class Pump>
std::int64_t QueueTask(Pump& pump, const uTaskScpiCommand& task, std::string& sError, bool fCurrent = true) {
    const std::int64_t iTask =
        pump.instrument.pInstrument->pInterface->AddTask(*pump.instrument.pInstrument, task, sError);
    if (iTask != 0) {
        pump.mOutstanding.push_back(iTask);
        if (fCurrent) {
            pump.iCurrentTask = iTask;
            pump.sFailure.clear();
            pump.sFailedAs = nullptr;
        }
    }
    return iTask;
}

// Abandons the current request and aborts a transfer of this window still under way, then
// unlocks the window's gadgets. Only this window's transfer: the instance may be working for
// another window or a script, which a cancel would cut off as well.
template <class Pump> void CancelTransfer(Pump& pump) {
    auto& window = *pump.pWindow;
    pump.iCurrentTask = 0;
    if (pump.instrument.pInstrument && pump.instrument.pInstrument->pInterface && !pump.mOutstanding.empty()) {
        uTaskCancel cancel;
        cancel.head = {InstrumentTaskCancel, 0, pump.iWindow};
        cancel.fClearQueue = 0;
        cancel.fAbort = 1;
        std::string sError;
        if (pump.instrument.pInstrument->pInterface->AddTask(*pump.instrument.pInstrument, cancel, sError) == 0) {
            window.SetStatus(CommunicationError + sError);
            window.AddError(CommunicationError + sError);
        }
    }
    window.DisableGadgets(false);
}

// Runs the pump's steps for as long as each lets the next follow at once: a step that goes on
// calls Continue, one that waits (for a result, a wait request or the interval) arms a timer. A
// result that a step waits for continues the pump from its handler; the step timer is only the
// fallback. A Continue from inside a step (a check, a handler run by a nested event loop) only
// asks the running loop for one more step: steps never nest, and the loop ends because each
// step either drops a request or waits.
template <class Pump> void Continue(Pump& pump, void (*fnStep)(Pump&)) {
    if (pump.fStepping) {
        pump.fStepAgain = true;
        return;
    }
    pump.fStepping = true;
    do {
        pump.fStepAgain = false;
        fnStep(pump);
    } while (pump.fStepAgain);
    pump.fStepping = false;
}

// Binds EventTimer, EventTaskFinished and EventTransferStatus of the pump's window to the pump's
// handlers; the pump must outlive the binding (Unbind before it goes).
template <class Pump>
void Bind(Pump& pump, void (*fnTimer)(Pump&, int), void (*fnReceived)(Pump&, const EventHub::uEvent&),
          void (*fnSent)(Pump&, const EventHub::uEvent&)) {
    Pump* pPump = &pump;
    EventHub::Bind(::EventTimer, pump.iWindow, [pPump, fnTimer](const EventHub::uEvent& event) {
        // A timer stopped after it fired leaves its event queued: drop it, or the reading would
        // go on after "Cancel".
        const int iTimer = static_cast<int>(event.iObject);
        if (WindowRegistry::TimerDue(pPump->iWindow, iTimer, event.iType)) fnTimer(*pPump, iTimer);
    });
    EventHub::Bind(EventTaskFinished, pump.iWindow,
                   [pPump, fnReceived](const EventHub::uEvent& event) { fnReceived(*pPump, event); });
    EventHub::Bind(EventTransferStatus, pump.iWindow,
                   [pPump, fnSent](const EventHub::uEvent& event) { fnSent(*pPump, event); });
}

inline void Unbind(int iWindow) {
    EventHub::Unbind(::EventTimer, iWindow);
    EventHub::Unbind(EventTaskFinished, iWindow);
    EventHub::Unbind(EventTransferStatus, iWindow);
}

} // namespace PumpSupport
