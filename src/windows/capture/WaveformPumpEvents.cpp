// The pump's handlers of the instrument's events: task finished and transfer status.
#include "common/EventData.h"
#include "common/NumberText.h"
#include "instrument/TaskRecords.h"
#include "platform/ProgramEvents.h"
#include "platform/WindowRegistry.h"
#include "transport/TransferStatus.h"
#include "windows/capture/WaveformPump.h"
#include "windows/capture/WaveformPumpText.h"

#include <algorithm>
#include <string>

namespace WaveformPump {

namespace {

std::string Number(std::int64_t iValue) { return Utility::StrDLocalized(static_cast<double>(iValue), -1); }

std::string RecordText(const uEventData& record) {
    return record.sModule + "::" + record.sProcedure + ": (" + std::to_string(record.iValue) + ") " + record.sText;
}

// Takes the error record whose key the event carries; false when there is none.
bool TakeRecord(const EventHub::uEvent& event, uEventData& record) {
    const std::int64_t* pKey = event.pData.Get<std::int64_t>();
    return pKey && Utility::EventDataTake(std::to_string(*pKey), record);
}

// Whether a type 8 result is the answer the first request waits for. A result names its task;
// one without a record belongs to the oldest task still awaiting its result.
bool TakeResultFor(uWaveformPump& pump, const uTaskResultScpiCommand* pResult) {
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

void ScpiResult(uWaveformPump& pump, const EventHub::uEvent& event) {
    uTaskResultScpiCommand* pResult = event.pData.Get<uTaskResultScpiCommand>();
    // A late result of an abandoned task is dropped with its answer.
    if (!TakeResultFor(pump, pResult)) return;
    WaveformPumpWindow& window = *pump.pWindow;
    const std::string sLead = WaveformText::Prefix(pump) + WaveformText::Channel(pump);
    bool ok = !pump.fDiscardResult;
    if (ok && !pResult) {
        window.SetStatus(WaveformText::NotReceived);
        window.AddError(sLead + WaveformText::NotReceived);
        ok = false;
    }
    if (ok && pResult->fRequestData &&
        (pResult->iRequestTransferred == 0 || !pResult->requestData.allocated())) {
        window.SetStatus(WaveformText::NoData);
        window.AddError(sLead + WaveformText::NoData);
        ok = false;
    }
    if (ok) {
        if (WaveformText::DisplayAllowed(pump) && !WaveformText::IsPoll(pump)) {
            const std::string sText = "Data received, bytes: " + Number(pump.iBytesTotal) + " - (" +
                                      Number(pump.iMillisecondsTotal) + " ms total)";
            window.SetStatus(sText);
            window.AddLine(sLead + sText);
        }
        if (pResult->fRequestData) {
            pump.answer = std::move(pResult->requestData);
            // Only the bytes the result counts are the answer.
            const auto iCount = static_cast<std::size_t>(std::max<std::int64_t>(pResult->iRequestTransferred, 0));
            if (iCount < pump.answer.size()) pump.answer.setSize(iCount);
        }
        pump.fSendFinished = pResult->fSendFinished != 0;
        pump.fRequestFinished = pResult->fRequestFinished != 0;
        pump.iAnswerDate = Date();
        pump.iAnswerTime = ElapsedMilliseconds();
    }
    if (!pump.mRequestList.empty()) {
        uWaveformRequest& request = pump.mRequestList.front();
        request.fAwaiting = 0;
        request.fArrived = 1;
        request.fSendFinished = pump.fSendFinished ? 1 : 0;
        request.fRequestFinished = pump.fRequestFinished ? 1 : 0;
    }
}

void TaskError(uWaveformPump& pump, const EventHub::uEvent& event) {
    // An error comes before its task's result: it belongs to the oldest task still awaiting one.
    const bool fCurrent =
        pump.iCurrentTask != 0 && !pump.mOutstanding.empty() && pump.mOutstanding.front() == pump.iCurrentTask;
    uEventData record;
    if (TakeRecord(event, record)) pump.pWindow->AddError(RecordText(record));
    if (fCurrent) StopRequestData(pump);
}

} // namespace

void EventDataReceived(uWaveformPump& pump, const EventHub::uEvent& event) {
    switch (event.iType) {
    case InstrumentTaskScpiCommand: ScpiResult(pump, event); break;
    case InstrumentTaskCancel: pump.pWindow->DisableGadgets(false); break;
    case InstrumentTaskError: TaskError(pump, event); break;
    default: break;
    }
}

void EventDataSent(uWaveformPump& pump, const EventHub::uEvent& event) {
    uEventData record;
    bool fRecord = false;
    if (event.iType == TransferStatus::TransferSendError || event.iType == TransferStatus::TransferReceiveError ||
        event.iType == TransferStatus::TransferEventData)
        fRecord = TakeRecord(event, record); // taken in every case, so that the store does not fill
    // Reports of a transfer this window gave up (or cancelled) are not shown.
    if (pump.fDiscardResult || pump.iCurrentTask == 0) return;
    WaveformPumpWindow& window = *pump.pWindow;
    const std::int64_t iData = TransferStatus::Data(event);
    const bool fDisplay = WaveformText::DisplayAllowed(pump);
    const bool fPart = WaveformText::FirstKindIs(pump, RequestWaveformPart);
    const std::string sLead = WaveformText::Prefix(pump) + WaveformText::Channel(pump);
    const std::int64_t iElapsed = ElapsedMilliseconds() - pump.iSendTime;
    const bool fNamed = !pump.mRequestList.empty() && !pump.mRequestList.front().sChannel.empty();
    switch (event.iType) {
    case TransferStatus::TransferSending:
        if (fDisplay && !fPart) window.SetStatus("Data sent so far, bytes: " + Number(iData));
        break;
    case TransferStatus::TransferSent:
        if (fDisplay && !fPart && !WaveformText::IsPoll(pump)) {
            const std::string sText = "Data sent, bytes: " + Number(iData) + " - (" + Number(iElapsed) + " ms)";
            window.SetStatus(sText);
            window.AddLine(sLead + sText);
        }
        break;
    case TransferStatus::TransferSendError:
    case TransferStatus::TransferReceiveError: {
        const char* sText = event.iType == TransferStatus::TransferSendError ? WaveformText::NotSent
                                                                            : WaveformText::NotReceived;
        window.SetStatus(sText);
        if (fRecord) window.AddError(sLead + sText + " " + RecordText(record));
        break;
    }
    case TransferStatus::TransferReceiving:
    case TransferStatus::TransferReceived:
        if (fDisplay) window.SetStatus("Data received, bytes: " + Number(fNamed ? iData + pump.iPartBytes : iData));
        if (event.iType == TransferStatus::TransferReceived) {
            pump.iBytesTotal += iData;
            pump.iMillisecondsTotal += iElapsed;
        }
        break;
    case TransferStatus::TransferWaiting:
        window.SetStatus("Wait for the data to be received: " + std::to_string(iData) + " Seconds");
        break;
    default: break;
    }
}

void Bind(uWaveformPump& pump) {
    uWaveformPump* pPump = &pump;
    EventHub::Bind(::EventTimer, pump.iWindow, [pPump](const EventHub::uEvent& event) {
        // A timer stopped (by a stop of the read) after it fired leaves its event queued: drop it,
        // or the read would go on after "Cancel".
        const int iTimer = static_cast<int>(event.iObject);
        if (WindowRegistry::TimerDue(pPump->iWindow, iTimer, event.iType)) WaveformPump::EventTimer(*pPump, iTimer);
    });
    EventHub::Bind(EventTaskFinished, pump.iWindow,
                   [pPump](const EventHub::uEvent& event) { EventDataReceived(*pPump, event); });
    EventHub::Bind(EventTransferStatus, pump.iWindow,
                   [pPump](const EventHub::uEvent& event) { EventDataSent(*pPump, event); });
}

void Unbind(uWaveformPump& pump) {
    EventHub::Unbind(::EventTimer, pump.iWindow);
    EventHub::Unbind(EventTaskFinished, pump.iWindow);
    EventHub::Unbind(EventTransferStatus, pump.iWindow);
}

} // namespace WaveformPump
