// The pump's handlers of the instrument's events: task finished and transfer status.
#include "common/EventData.h"
#include "common/Failure.h"
#include "instrument/ConnectionFailure.h"
#include "instrument/TaskRecords.h"
#include "platform/ProgramEvents.h"
#include "transport/TransferStatus.h"
#include "windows/capture/PumpSupport.h"
#include "windows/capture/WaveformPump.h"
#include "windows/capture/WaveformPumpText.h"

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

namespace WaveformPump {

namespace {

using PumpSupport::Number;

// The result of a part sent ahead that came before the pump reached that part: it is kept for
// then (see TakeOverAhead).
bool KeepAheadResult(uWaveformPump& pump, uTaskResultScpiCommand& result) {
    const std::int64_t iTask = result.iTaskNumber;
    if (iTask == 0 || iTask == pump.iCurrentTask ||
        std::none_of(pump.mRequestList.begin(), pump.mRequestList.end(),
                     [&](const uWaveformRequest& request) { return request.iAheadTask == iTask; }))
        return false;
    pump.mOutstanding.erase(std::remove(pump.mOutstanding.begin(), pump.mOutstanding.end(), iTask),
                            pump.mOutstanding.end());
    pump.AheadResults.push_back(std::make_unique<uTaskResultScpiCommand>(std::move(result)));
    return true;
}

// The query of the most points of one piece that the instrument left unanswered (a firmware
// without it notes an unknown header and sends nothing): no failure of the read, which goes on
// at the piece plan's fallback; the run does not ask it again. Another failure of it (the
// connection gone) ends the read as any request's does.
bool MaxPointUnanswered(uWaveformPump& pump, const uEventData& record) {
    if (!WaveformText::FirstKindIs(pump, RequestMaxPoint) || record.failure.eType != Failure::eKind::TimedOut ||
        !PumpSupport::ErrorOfCurrent(pump))
        return false;
    pump.fMaxPointUnanswered = true;
    return true;
}

// Why a channel request failed, as the exchange's record tells it (the time-out that cut it, with
// the answers that came).
std::string ChannelReason(const uWaveformPump& pump, const Failure::uFailure& failure) {
    return Instrument::WithReason(WaveformText::NotReceived,
                                  Instrument::ExchangeFailureReason(pump.instrument.pInstrument, failure));
}

// A channel's chained answer that the time-out cut after whole answers (a query of it the
// instrument left unanswered): that channel fails alone when its result comes, and the read
// goes on with the others. Any other failure of a channel ends the read.
bool ChannelAnswersMissing(uWaveformPump& pump, const uEventData& record) {
    const Failure::uFailure& f = record.failure;
    if (!(WaveformText::FirstKindIs(pump, RequestWaveform) || WaveformText::FirstKindIs(pump, RequestWaveformPart)) ||
        f.eType != Failure::eKind::TimedOut || f.iAnswersAwaited == 0 || !PumpSupport::ErrorOfCurrent(pump))
        return false;
    pump.sAnswersMissing = ChannelReason(pump, f);
    return true;
}

// An error of a part sent ahead, which comes before its task's result and so belongs to the oldest
// task still awaited when that is not the current request's: it is never the current request's.
// A part still listed keeps why it failed, and its channel fails with that reason at its turn; one
// dropped with its channel has nothing more to say. false: the error is no such part's.
bool AheadPartError(uWaveformPump& pump, bool fRecord, const uEventData& record) {
    if (pump.mOutstanding.empty() || pump.mOutstanding.front() == pump.iCurrentTask) return false;
    const std::int64_t iTask = pump.mOutstanding.front();
    if (std::find(pump.DroppedAhead.begin(), pump.DroppedAhead.end(), iTask) != pump.DroppedAhead.end()) return true;
    const auto it = std::find_if(pump.mRequestList.begin(), pump.mRequestList.end(),
                                 [&](const uWaveformRequest& request) { return request.iAheadTask == iTask; });
    if (it == pump.mRequestList.end()) return false;
    if (fRecord && it->sAheadFailure.empty()) it->sAheadFailure = ChannelReason(pump, record.failure);
    return true;
}

// The failure that ended the read, said of the request it stopped at (sReason: its latest
// reason): "Channel 2 did not answer within 2000 ms.", "Channel 2 - The connection to the
// instrument was interrupted.", and of a request of no channel by its first command, which a
// longer message follows with ";...": "Request :ACQ:TYPE? - The instrument did not answer ...".
// A connect that failed is said first: "The instrument could not be connected for Channel 2: The
// instrument at ... refused the connection ...".
std::string StoppedAt(const uWaveformPump& pump, const std::string& sReason) {
    const std::string& sChannel = pump.mRequestList.front().sChannel;
    const std::size_t iEnd = pump.sRequestCommand.find(';');
    const std::string sCommand = pump.sRequestCommand.substr(0, iEnd) + (iEnd == std::string::npos ? "" : ";...");
    if (PumpSupport::ConnectFailed(sReason)) {
        const std::string_view sConnect = Instrument::ConnectFailedText; // its words, then ": "
        return std::string(sConnect.substr(0, sConnect.size() - 2)) + " for " +
               (sChannel.empty() ? "request " + sCommand : sChannel) + ": " + sReason.substr(sConnect.size());
    }
    constexpr std::string_view sDidNot = "The instrument did not ";
    if (!sChannel.empty() && sReason.starts_with(sDidNot)) return sChannel + " did not " + sReason.substr(sDidNot.size());
    if (!sChannel.empty()) return sChannel + " - " + sReason;
    return "Request " + sCommand + " - " + sReason;
}

// A failure of the current request ends the read. Its story, in the status line and the log: that
// it stopped, at what and why (the request's latest reason), the channels it did not read (none
// when it stopped before its first channel: nothing was read), then the failures of its other
// channels. An automatic run puts what it kept behind the why (StopRequestData).
void ReadEnded(uWaveformPump& pump) {
    if (!pump.fReading || pump.mRequestList.empty()) {
        StopRequestData(pump);
        return;
    }
    const std::string sChannel = pump.mRequestList.front().sChannel;
    // The request's failure was said (PumpSupport::TaskFailed): its last reason, else its own words.
    std::string sWhy = StoppedAt(pump, pump.sFailure.empty() ? std::string(pump.sFailedAs) : pump.sFailure);
    std::vector<std::string> rest;
    for (const uWaveformRequest& request : pump.mRequestList) {
        if (!pump.fChannelReached || request.sChannel.empty() || request.sChannel == sChannel ||
            std::find(rest.begin(), rest.end(), request.sChannel) != rest.end())
            continue;
        sWhy += (rest.empty() ? " Not read: " : ", ") + request.sChannel;
        rest.push_back(request.sChannel);
    }
    if (!rest.empty()) sWhy += ".";
    std::string sAlso;
    for (const uWaveformPump::uReadFailure& failure : pump.ReadFailures)
        if (failure.sChannel != WaveformText::Channel(pump)) sAlso += (sAlso.empty() ? "" : " - ") + failure.sText;
    pump.sReadFailure = (pump.fAutomatic ? PumpSupport::AutomaticStopped : WaveformText::ReadStopped) + (": " + sWhy) +
                        (sAlso.empty() ? "" : " " + sAlso);
    if (!pump.fAutomatic) {
        pump.pWindow->SetStatus(pump.sReadFailure);
        pump.pWindow->AddLine(WaveformText::Prefix(pump) + pump.sReadFailure);
    }
    StopRequestData(pump, sWhy, sAlso);
}

// The result of the request the pump waits for: the pump goes on at once.
void ScpiResult(uWaveformPump& pump, const EventHub::uEvent& event) {
    uTaskResultScpiCommand* pResult = event.pData.Get<uTaskResultScpiCommand>();
    if (pResult) std::erase(pump.DroppedAhead, pResult->iTaskNumber);
    if (pResult && KeepAheadResult(pump, *pResult)) return;
    // A late result of an abandoned task is dropped with its answer.
    if (!PumpSupport::TakeResultFor(pump, pResult)) return;
    TakeResult(pump, pResult);
}

} // namespace

void TakeResult(uWaveformPump& pump, uTaskResultScpiCommand* pResult) {
    WaveformPumpWindow& window = *pump.pWindow;
    const std::string sLead = WaveformText::Prefix(pump) + WaveformText::Channel(pump);
    if (pump.fMaxPointUnanswered && WaveformText::FirstKindIs(pump, RequestMaxPoint)) {
        window.AddLine(sLead + WaveformText::NoMaxPoint +
                       Number(pump.pRecord ? pump.pRecord->iPartPoints : 0) + " points.");
        pump.mRequestList.pop_front();
        Continue(pump);
        return;
    }
    bool ok = !pump.fDiscardResult;
    if (ok && !pResult) {
        // A task without a result record met an instrument that is not connected.
        window.SetStatus(WaveformText::Channel(pump) +
                         Instrument::WithReason(WaveformText::NotReceived,
                                                pump.sFailure.empty() ? Instrument::NotConnectedText : pump.sFailure));
        window.AddError(sLead + WaveformText::NotReceived);
        ok = false;
    }
    // A part that the time-out cut is no answer: its exchange failed. The check fails a channel
    // short of answers alone.
    if (!pump.sAnswersMissing.empty()) {
        pump.answer.release();
        pump.fRequestFinished = false;
    } else if (ok && pResult->fRequestData &&
        (pResult->iRequestTransferred == 0 || !pResult->fRequestFinished || !pResult->requestData.allocated())) {
        window.SetStatus(WaveformText::Channel(pump) + Instrument::WithReason(WaveformText::NoData, pump.sFailure));
        window.AddError(sLead + WaveformText::NoData);
        ok = false;
    }
    if (ok && pump.sAnswersMissing.empty()) {
        if (WaveformText::DisplayAllowed(pump) && !WaveformText::IsPoll(pump)) {
            const std::string sText = "Data received, bytes: " + Number(pump.iBytesTotal) + " - (" +
                                      Number(ElapsedMilliseconds() - pump.iRequestTime) + " ms total)";
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
    Continue(pump);
}

void EventDataReceived(uWaveformPump& pump, const EventHub::uEvent& event) {
    switch (event.iType) {
    case InstrumentTaskScpiCommand: ScpiResult(pump, event); break;
    case InstrumentTaskCancel: pump.pWindow->DisableGadgets(false); break;
    case InstrumentTaskError: {
        uEventData record;
        const bool fRecord = PumpSupport::TakeRecord(event, record);
        if (AheadPartError(pump, fRecord, record) ||
            (fRecord && (MaxPointUnanswered(pump, record) || ChannelAnswersMissing(pump, record))))
            break;
        if (PumpSupport::TaskFailed(pump, WaveformText::Channel(pump), fRecord, record)) ReadEnded(pump);
        break;
    }
    default: break;
    }
}

void EventDataSent(uWaveformPump& pump, const EventHub::uEvent& event) {
    uEventData record;
    const bool fRecord = PumpSupport::TakeTransferRecord(event, record);
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
    case TransferStatus::TransferReceiveError:
        if (AheadPartError(pump, fRecord, record)) break;
        if (fRecord && event.iType == TransferStatus::TransferReceiveError &&
            (MaxPointUnanswered(pump, record) || ChannelAnswersMissing(pump, record)))
            break;
        if (!PumpSupport::ErrorOfCurrent(pump)) break; // a transfer given up earlier
        PumpSupport::RequestFailed(pump, WaveformText::Channel(pump),
                                   event.iType == TransferStatus::TransferSendError ? WaveformText::NotSent
                                                                                    : WaveformText::NotReceived,
                                   fRecord, record);
        break;
    case TransferStatus::TransferReceiving:
    case TransferStatus::TransferReceived:
        if (fDisplay) window.SetStatus("Data received, bytes: " + Number(fNamed ? iData + pump.iPartBytes : iData));
        if (event.iType == TransferStatus::TransferReceived) pump.iBytesTotal += iData;
        break;
    case TransferStatus::TransferWaiting:
        window.SetStatus(PumpSupport::WaitText(iData));
        break;
    default: break;
    }
}

void Bind(uWaveformPump& pump) { PumpSupport::Bind(pump, &EventTimer, &EventDataReceived, &EventDataSent); }

void Unbind(uWaveformPump& pump) { PumpSupport::Unbind(pump.iWindow); }

} // namespace WaveformPump
