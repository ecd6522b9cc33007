// The screenshot pump's handlers of the instrument's events: task finished and transfer status.
#include "common/EventData.h"
#include "common/NumberText.h"
#include "instrument/TaskRecords.h"
#include "platform/ProgramEvents.h"
#include "platform/WindowRegistry.h"
#include "transport/TransferStatus.h"
#include "windows/capture/ScreenshotPump.h"

#include <algorithm>
#include <string>

namespace ScreenshotPump {

namespace {

constexpr const char* NotSent = "The data could not be sent.";
constexpr const char* NotReceived = "The data could not be received.";
constexpr const char* NoData = "The data is not available, 0 bytes.";

std::string Number(std::int64_t iValue) { return Utility::StrDLocalized(static_cast<double>(iValue), -1); }
std::string Prefix(const uScreenshotPump& pump) { return pump.instrument.sModel + " - "; }

std::string RecordText(const uEventData& record) {
    return record.sModule + "::" + record.sProcedure + ": (" + std::to_string(record.iValue) + ") " + record.sText;
}

bool TakeRecord(const EventHub::uEvent& event, uEventData& record) {
    const std::int64_t* pKey = event.pData.Get<std::int64_t>();
    return pKey && Utility::EventDataTake(std::to_string(*pKey), record);
}

// Per-request lines are left out of automatic readings with an interval under ten minutes.
bool DisplayAllowed(const uScreenshotPump& pump) { return !pump.fAutomatic || pump.iInterval >= QuietInterval; }

bool IsPoll(const uScreenshotPump& pump) {
    return pump.fRequestList && !pump.mRequestList.empty() &&
           pump.mRequestList.front().eKind == RequestScreenshotTrigger;
}

// Whether a type 8 result is the one the current request waits for. A result names its task;
// one without a record belongs to the oldest task still awaiting its result.
bool TakeResultFor(uScreenshotPump& pump, const uTaskResultScpiCommand* pResult) {
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

void ScpiResult(uScreenshotPump& pump, const EventHub::uEvent& event) {
    uTaskResultScpiCommand* pResult = event.pData.Get<uTaskResultScpiCommand>();
    // A late result of an abandoned (cancelled or stopped) task is dropped with its answer.
    if (!TakeResultFor(pump, pResult) || pump.fDiscardResult) return;
    ScreenshotPumpWindow& window = *pump.pWindow;
    bool fAnswer = false;
    if (!pResult) {
        window.SetStatus(NotReceived);
        window.AddError(Prefix(pump) + NotReceived);
    } else if (pResult->fRequestData && (pResult->iRequestTransferred <= 0 || !pResult->requestData.allocated())) {
        window.SetStatus(NoData);
        window.AddError(Prefix(pump) + NoData);
    } else {
        if (pResult->fRequestData) {
            if (DisplayAllowed(pump) && !IsPoll(pump)) {
                pump.iSendTime = WaveformPump::ElapsedMilliseconds() - pump.iSendTime;
                const std::string sText = "Data received, bytes: " + Number(pResult->iRequestTransferred) + " - (" +
                                          Number(pump.iSendTime) + " ms total)";
                window.SetStatus(sText);
                window.AddLine(Prefix(pump) + sText);
            }
            pump.answer = std::move(pResult->requestData);
            // Only the bytes the result counts are the answer.
            const auto iCount = static_cast<std::size_t>(pResult->iRequestTransferred);
            if (iCount < pump.answer.size()) pump.answer.setSize(iCount);
            fAnswer = true;
        }
        pump.fSendFinished = pResult->fSendFinished != 0;
        pump.fRequestFinished = pResult->fRequestFinished != 0;
        pump.iAnswerDate = WaveformPump::Date();
        pump.iAnswerTime = WaveformPump::ElapsedMilliseconds();
    }
    bool fScreen = !pump.fRequestList;
    if (pump.fRequestList && !pump.mRequestList.empty()) {
        uScreenshotRequest& request = pump.mRequestList.front();
        request.fAwaiting = 0;
        request.fArrived = 1;
        request.fSendFinished = pump.fSendFinished ? 1 : 0;
        request.fRequestFinished = pump.fRequestFinished ? 1 : 0;
        fScreen = request.eKind == RequestScreenshot || request.eKind == RequestDisplayDump;
    }
    // Without an answer there is no new picture: nothing is converted, saved or counted (the
    // previous picture would otherwise come back as a new one).
    if (fScreen && fAnswer) window.ScreenArrived(pump, pump.fSaveAutomatically, !pump.fAutomatic);
    if (pump.fAutomatic) {
        if (!pump.fRequestList) pump.pTimers->Start(TimerInterval, static_cast<int>(pump.iInterval));
    } else if (!pump.fRequestList) {
        StopRequestData(pump); // the single screenshot is done
    }
}

void TaskError(uScreenshotPump& pump, const EventHub::uEvent& event) {
    // An error comes before its task's result: it belongs to the oldest task still awaiting one.
    const bool fCurrent =
        pump.iCurrentTask != 0 && !pump.mOutstanding.empty() && pump.mOutstanding.front() == pump.iCurrentTask;
    uEventData record;
    if (TakeRecord(event, record)) pump.pWindow->AddError(RecordText(record));
    if (fCurrent) StopRequestData(pump);
}

} // namespace

void EventDataReceived(uScreenshotPump& pump, const EventHub::uEvent& event) {
    switch (event.iType) {
    case InstrumentTaskScpiCommand: ScpiResult(pump, event); break;
    case InstrumentTaskCancel:
        // The result of the cancel of an earlier stop: it must not unlock the gadgets of a reading
        // started since.
        if (!pump.fAutomatic && !pump.fRequestList && pump.iCurrentTask == 0) pump.pWindow->DisableGadgets(false);
        break;
    case InstrumentTaskError: TaskError(pump, event); break;
    default: break;
    }
}

void EventDataSent(uScreenshotPump& pump, const EventHub::uEvent& event) {
    uEventData record;
    bool fRecord = false;
    if (event.iType == TransferStatus::TransferSendError || event.iType == TransferStatus::TransferReceiveError ||
        event.iType == TransferStatus::TransferEventData)
        fRecord = TakeRecord(event, record); // taken in every case, so that the store does not fill
    // Reports of a transfer this window gave up (or cancelled) are not shown.
    if (pump.fDiscardResult || pump.iCurrentTask == 0) return;
    ScreenshotPumpWindow& window = *pump.pWindow;
    const std::int64_t iData = TransferStatus::Data(event);
    const bool fDisplay = DisplayAllowed(pump);
    switch (event.iType) {
    case TransferStatus::TransferSending:
        if (fDisplay) window.SetStatus("Data sent so far, bytes: " + Number(iData));
        break;
    case TransferStatus::TransferSent:
        if (fDisplay && !IsPoll(pump)) {
            const std::string sText = "Data sent, bytes: " + Number(iData) + " - (" +
                                      Number(WaveformPump::ElapsedMilliseconds() - pump.iSendTime) + " ms)";
            window.SetStatus(sText);
            window.AddLine(Prefix(pump) + sText);
        }
        break;
    case TransferStatus::TransferSendError:
    case TransferStatus::TransferReceiveError: {
        const char* sText = event.iType == TransferStatus::TransferSendError ? NotSent : NotReceived;
        window.SetStatus(sText);
        if (fRecord) window.AddError(Prefix(pump) + sText + " " + RecordText(record));
        break;
    }
    case TransferStatus::TransferReceiving:
        if (fDisplay) window.SetStatus("Data received, bytes: " + Number(iData));
        break;
    case TransferStatus::TransferWaiting:
        window.SetStatus("Wait for the data to be received: " + std::to_string(iData) + " Seconds");
        break;
    default: break;
    }
}

void Bind(uScreenshotPump& pump) {
    uScreenshotPump* pPump = &pump;
    EventHub::Bind(::EventTimer, pump.iWindow, [pPump](const EventHub::uEvent& event) {
        // A timer stopped after it fired leaves its event queued: drop it, or the reading would
        // go on after "Cancel".
        const int iTimer = static_cast<int>(event.iObject);
        if (WindowRegistry::TimerDue(pPump->iWindow, iTimer, event.iType)) ScreenshotPump::EventTimer(*pPump, iTimer);
    });
    EventHub::Bind(EventTaskFinished, pump.iWindow,
                   [pPump](const EventHub::uEvent& event) { EventDataReceived(*pPump, event); });
    EventHub::Bind(EventTransferStatus, pump.iWindow,
                   [pPump](const EventHub::uEvent& event) { EventDataSent(*pPump, event); });
}

void Unbind(uScreenshotPump& pump) {
    EventHub::Unbind(::EventTimer, pump.iWindow);
    EventHub::Unbind(EventTaskFinished, pump.iWindow);
    EventHub::Unbind(EventTransferStatus, pump.iWindow);
}

} // namespace ScreenshotPump
