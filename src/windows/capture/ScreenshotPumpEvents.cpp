// The screenshot pump's handlers of the instrument's events: task finished and transfer status.
#include "common/EventData.h"
#include "instrument/ConnectionFailure.h"
#include "instrument/TaskRecords.h"
#include "platform/ProgramEvents.h"
#include "transport/TransferStatus.h"
#include "windows/capture/PumpSupport.h"
#include "windows/capture/ScreenshotPump.h"

#include <string>

namespace ScreenshotPump {

namespace {

using PumpSupport::NoData;
using PumpSupport::NotReceived;
using PumpSupport::Number;

std::string Prefix(const uScreenshotPump& pump) { return pump.instrument.sModel + " - "; }

// Per-request lines are left out of automatic readings with an interval under ten minutes.
bool DisplayAllowed(const uScreenshotPump& pump) { return !pump.fAutomatic || pump.iInterval >= QuietInterval; }

bool IsPoll(const uScreenshotPump& pump) {
    return pump.fRequestList && !pump.mRequestList.empty() &&
           pump.mRequestList.front().eKind == RequestScreenshotTrigger;
}

void ScpiResult(uScreenshotPump& pump, const EventHub::uEvent& event) {
    uTaskResultScpiCommand* pResult = event.pData.Get<uTaskResultScpiCommand>();
    // A late result of an abandoned (cancelled or stopped) task is dropped with its answer.
    if (!PumpSupport::TakeResultFor(pump, pResult) || pump.fDiscardResult) return;
    ScreenshotPumpWindow& window = *pump.pWindow;
    bool fAnswer = false;
    if (!pResult) {
        // A task without a result record met an instrument that is not connected.
        window.SetStatus(
            Instrument::WithReason(NotReceived, pump.sFailure.empty() ? Instrument::NotConnectedText : pump.sFailure));
        window.AddError(Prefix(pump) + NotReceived);
    } else if (pResult->fRequestData && (pResult->iRequestTransferred <= 0 || !pResult->fRequestFinished ||
                                         !pResult->requestData.allocated())) {
        // A part that the time-out cut is no answer: its exchange failed.
        window.SetStatus(Instrument::WithReason(NoData, pump.sFailure));
        window.AddError(Prefix(pump) + NoData);
    } else {
        if (pResult->fRequestData) {
            if (DisplayAllowed(pump) && !IsPoll(pump)) {
                const std::string sText = "Data received, bytes: " + Number(pResult->iRequestTransferred) + " - (" +
                                          Number(WaveformPump::ElapsedMilliseconds() - pump.iRequestTime) +
                                          " ms total)";
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
    if (pump.fRequestList) {
        Continue(pump); // the list goes on at once
    } else if (pump.fAutomatic) {
        pump.pTimers->Start(TimerInterval, static_cast<int>(pump.iInterval));
    } else {
        StopRequestData(pump); // the single screenshot is done
    }
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
    case InstrumentTaskError: {
        uEventData record;
        const bool fRecord = PumpSupport::TakeRecord(event, record);
        if (!PumpSupport::TaskFailed(pump, "", fRecord, record)) break;
        // A run that a refused connect stopped says so first: nothing of the shot was sent.
        StopRequestData(pump, PumpSupport::ConnectFailed(pump.sFailure) ? pump.sFailure : PumpSupport::FailureSaid(pump));
        break;
    }
    default: break;
    }
}

void EventDataSent(uScreenshotPump& pump, const EventHub::uEvent& event) {
    uEventData record;
    const bool fRecord = PumpSupport::TakeTransferRecord(event, record);
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
    case TransferStatus::TransferReceiveError:
        if (!PumpSupport::ErrorOfCurrent(pump)) break; // a transfer given up earlier
        PumpSupport::RequestFailed(pump, "",
                                   event.iType == TransferStatus::TransferSendError ? PumpSupport::NotSent : NotReceived,
                                   fRecord, record);
        break;
    case TransferStatus::TransferReceiving:
        if (fDisplay) window.SetStatus("Data received, bytes: " + Number(iData));
        break;
    case TransferStatus::TransferWaiting:
        window.SetStatus(PumpSupport::WaitText(iData));
        break;
    default: break;
    }
}

void Bind(uScreenshotPump& pump) { PumpSupport::Bind(pump, &EventTimer, &EventDataReceived, &EventDataSent); }

void Unbind(uScreenshotPump& pump) { PumpSupport::Unbind(pump.iWindow); }

} // namespace ScreenshotPump
