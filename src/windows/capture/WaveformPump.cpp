#include "windows/capture/WaveformPump.h"

#include "common/NumberText.h"
#include "common/TextRoutines.h"
#include "instrument/ConnectionFailure.h"
#include "instrument/ModelTable.h"
#include "instrument/TaskRecords.h"
#include "platform/WindowRegistry.h"
#include "transport/BlockHeader.h"
#include "waveform/InstrumentWaveform.h"
#include "windows/capture/PumpSupport.h"
#include "windows/capture/WaveformChannels.h"
#include "windows/capture/WaveformPumpText.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <ctime>
#include <mutex>
#include <string_view>
#include <utility>

void WaveformWindowTimers::Start(int iTimer, int iMilliseconds) {
    WindowRegistry::StartTimer(iWindow, iTimer, iMilliseconds);
}
void WaveformWindowTimers::Stop(int iTimer) { WindowRegistry::StopTimer(iWindow, iTimer); }

namespace WaveformPump {

namespace {

std::mutex mChecksMutex;
uWaveformChecks mChecks; // written at start-up, read on the GUI thread

uWaveformChecks Checks() {
    std::lock_guard lock(mChecksMutex);
    return mChecks;
}

constexpr const char* Placeholders[] = {"%DATA%", "%BIT%", "%START%", "%STOP%"};

// Replaces the first (or every) occurrence of sWhat in s.
void Replace(std::string& s, std::string_view sWhat, std::string_view sBy, bool fAll) {
    if (sWhat.empty()) return;
    std::size_t iAt = 0;
    while ((iAt = s.find(sWhat, iAt)) != std::string::npos) {
        s.replace(iAt, sWhat.size(), sBy);
        iAt += sBy.size();
        if (!fAll) break;
    }
}

bool IsSiglent(std::int64_t eModel) { return WaveformChannels::FamilyOf(eModel) == WaveformChannels::FamilySiglent; }

// Opens a channel element in the record when none is open and returns it.
uWaveformRecordChannel& CurrentChannel(uWaveformPump& pump) {
    uWaveformRecord& record = *pump.pRecord;
    if (record.Channels.empty()) record.Channels.emplace_back(); // the placeholder element
    if (pump.iChannelIndex == 0 || pump.iChannelIndex >= record.Channels.size()) {
        record.Channels.emplace_back();
        pump.iChannelIndex = record.Channels.size() - 1;
    }
    return record.Channels[pump.iChannelIndex];
}

// The request's command with its placeholders put in (rule 4 of the pump step); a part request
// takes the pump's part window.
std::string Substituted(const uWaveformPump& pump, const uWaveformRequest& request) {
    std::string s = request.sCommand;
    const bool fEnvelope = pump.pRecord && pump.pRecord->eAcquireType == 3;
    Replace(s, "%DATA%", fEnvelope ? "DATA:ENV" : "DATA", true);
    if (request.eKind == RequestSetup) Replace(s, "%BIT%", pump.sBitFormat, false);
    if (request.eKind == RequestWaveformPart && pump.iStopPoint > 0) {
        Replace(s, "%START%", std::to_string(pump.iStartPoint), false);
        const std::int64_t iStop =
            IsSiglent(pump.instrument.eModel) ? pump.iStopPoint - pump.iStartPoint : pump.iStopPoint;
        Replace(s, "%STOP%", std::to_string(iStop), false);
        // Only the channel's last part asks what is chained behind its samples.
        if (pump.pRecord && pump.iStopPoint < pump.pRecord->iTotalPoints) Replace(s, request.sLastPartOnly, "", false);
    }
    return s;
}

} // namespace

void QueueNextPart(uWaveformPump& pump, std::list<uWaveformRequest>::iterator itRequest) {
    if (itRequest->eKind != RequestWaveformPart || pump.iStopPoint <= 0 || !pump.pRecord ||
        pump.iStopPoint >= pump.pRecord->iTotalPoints)
        return;
    uWaveformRequest next = *itRequest;
    next.fPending = 1;
    next.fAwaiting = 0;
    next.fArrived = 0;
    next.iAheadTask = 0;
    next.sAheadCommand.clear();
    next.sAheadFailure.clear();
    pump.mRequestList.insert(std::next(itRequest), std::move(next));
}

namespace {

void Substitute(uWaveformPump& pump, std::list<uWaveformRequest>::iterator itRequest) {
    pump.sRequestCommand = Substituted(pump, *itRequest);
    QueueNextPart(pump, itRequest);
}

uTaskScpiCommand CommandTask(const uWaveformPump& pump, const std::string& sCommand, bool fSend, bool fResponse) {
    uTaskScpiCommand task;
    task.head = {InstrumentTaskScpiCommand, 0, pump.iWindow};
    task.fSend = fSend ? 1 : 0;
    if (fSend) task.sCommand = sCommand;
    task.fRequestData = fResponse ? 1 : 0;
    task.eBlockUnit = AnswerBlockUnit(pump);
    return task;
}

void LogSent(uWaveformPump& pump) {
    if (WaveformText::DisplayAllowed(pump) && !WaveformText::IsPoll(pump))
        pump.pWindow->AddLine(WaveformText::Prefix(pump) + "SCPI command sent: " + pump.sRequestCommand);
}

// Parts on their way ahead of the first: as many as the instrument has sent in about
// AheadMicroseconds at the pace of the channel's parts so far (one until two have come), at most
// MostAhead. On a fast link the worker then has parts to read while their results wait for the
// event hub's follow-up turn (about 2 ms); a slow instrument gets one part ahead, so that a cancel
// or a failed part leaves little that is read for nothing.
constexpr std::int64_t AheadMicroseconds = 4000;
constexpr std::int64_t MostAhead = 16;

std::int64_t PartsAhead(uWaveformPump& pump) {
    const std::int64_t iNow = std::chrono::duration_cast<std::chrono::microseconds>(
                                  std::chrono::steady_clock::now().time_since_epoch())
                                  .count();
    if (pump.iPartsTaken++ == 0) pump.iFirstPartTime = iNow;
    if (pump.iPartsTaken < 2) return 1;
    const std::int64_t iPace = std::max<std::int64_t>((iNow - pump.iFirstPartTime) / (pump.iPartsTaken - 1), 1);
    return std::clamp<std::int64_t>(AheadMicroseconds / iPace, 1, MostAhead);
}

// While the first request's part is on its way, copies behind it that read the next parts are
// sent too: the instrument's worker reads them while this thread checks the parts before, so the
// GUI thread's turn between two parts is off the wire's path. Their windows are the ones the part
// checks move to; a result is taken when its part becomes the first request. A part that fails
// its check drops the copies (AbandonChannel), and their results are then dropped as stale ones.
void SendAhead(uWaveformPump& pump) {
    if (pump.mRequestList.size() < 2 || !pump.pRecord || pump.pRecord->iPartPoints <= 0) return;
    const auto itFirst = pump.mRequestList.begin();
    if (itFirst->eKind != RequestWaveformPart || !itFirst->fAwaiting) return;
    // The windows of the parts ahead, as the checks will set them; the pump keeps its own.
    const std::int64_t iStart = pump.iStartPoint, iStop = pump.iStopPoint;
    auto it = std::next(itFirst);
    for (std::int64_t i = PartsAhead(pump); i > 0 && it != pump.mRequestList.end(); --i, ++it) {
        if (it->eKind != RequestWaveformPart || it->sCommand != itFirst->sCommand || it->eWaveform != itFirst->eWaveform ||
            pump.iStopPoint <= 0 || pump.iStopPoint >= pump.pRecord->iTotalPoints)
            break;
        AdvancePart(pump);
        if (it->iAheadTask != 0) continue; // on its way already
        if (!it->fPending) break;
        std::string sCommand = Substituted(pump, *it);
        std::string sError;
        const std::int64_t iTask = PumpSupport::QueueTask(pump, CommandTask(pump, sCommand, true, true), sError, false);
        // A part that could not be sent ahead is sent when its turn comes, and fails then if it must.
        if (iTask == 0) break;
        it->fPending = 0;
        it->fAwaiting = 1;
        it->iAheadTask = iTask;
        it->sAheadCommand = std::move(sCommand);
        QueueNextPart(pump, it);
    }
    pump.iStartPoint = iStart;
    pump.iStopPoint = iStop;
}

// A part sent ahead becomes the request the pump waits for.
void TakeOverAhead(uWaveformPump& pump, uWaveformRequest& request) {
    pump.iCurrentTask = std::exchange(request.iAheadTask, 0);
    pump.sRequestCommand = std::move(request.sAheadCommand);
    request.sAheadCommand.clear();
    pump.fDiscardResult = false;
    pump.answer.release();
    pump.sAnswersMissing = std::exchange(request.sAheadFailure, {});
    pump.sFailure.clear();
    pump.sFailedAs = nullptr;
    pump.iSendTime = ElapsedMilliseconds();
    LogSent(pump);
    SendAhead(pump);
    const auto itKept = std::find_if(pump.AheadResults.begin(), pump.AheadResults.end(),
                                     [&](const auto& pResult) { return pResult->iTaskNumber == pump.iCurrentTask; });
    if (itKept != pump.AheadResults.end()) {
        const std::unique_ptr<uTaskResultScpiCommand> pResult = std::move(*itKept);
        pump.AheadResults.erase(itKept);
        pump.iCurrentTask = 0;
        TakeResult(pump, pResult.get());
    }
}

bool HoldsPlaceholder(const std::string& s) {
    for (const char* sPlaceholder : Placeholders)
        if (s.find(sPlaceholder) != std::string::npos) return true;
    return false;
}

// Starts a read with a fresh record of its own; false when none could be made.
bool BeginRead(uWaveformPump& pump) {
    pump.AheadResults.clear();
    pump.DroppedAhead.clear();
    pump.pRecord = WaveformData::ResetData(std::move(pump.pRecord));
    pump.fRecordWhole = false;
    pump.fReading = true;
    pump.sReadFailure.clear();
    pump.ReadFailures.clear();
    pump.fChannelReached = false;
    pump.iChannelIndex = 0;
    if (!pump.pRecord) return false;
    pump.pRecord->eModel = pump.instrument.eModel;
    pump.pRecord->sManufacturer = pump.instrument.sManufacturer;
    pump.pRecord->sModel = pump.instrument.sModel;
    pump.pRecord->iDate = Date();
    pump.pRecord->iMilliseconds = ElapsedMilliseconds();
    pump.pTimers->Start(TimerPump, 0); // the first step at the loop's next turn
    return true;
}

void NotSent(uWaveformPump& pump) {
    pump.pWindow->SetStatus(WaveformText::NotSent);
    pump.pWindow->AddError(WaveformText::Prefix(pump) + WaveformText::NotSent);
}

// One step of the list (see PumpSupport::Continue). While a request's result is awaited, the
// step timer ticks as a fallback; the result itself continues the pump.
void PumpStep(uWaveformPump& pump) {
    pump.pTimers->Stop(TimerPump);
    if (pump.mRequestList.empty()) {
        if (pump.fAutomatic)
            pump.pTimers->Start(TimerInterval, static_cast<int>(pump.iInterval));
        else
            StopRequestData(pump);
        return;
    }
    auto it = pump.mRequestList.begin();
    uWaveformRequest& request = *it;
    const std::int64_t iStops = pump.iStops;
    if (request.eKind == RequestWait) {
        pump.pTimers->Start(TimerPump, request.iWait > 0 ? static_cast<int>(request.iWait) : PumpTick);
        pump.mRequestList.erase(it);
    } else if (request.eKind == RequestEnd) {
        pump.mRequestList.erase(it);
        EndRequestData(pump);
    } else if (request.fResponse && request.fArrived) {
        const bool fMatched = CheckInstrumentResponse(pump);
        PumpSupport::AfterCheck(pump, it, fMatched, iStops, &Continue, TimerPump, PumpTick);
    } else if (request.fPending && request.eKind == RequestMaxPoint && pump.fMaxPointUnanswered) {
        // Unanswered once in this run: not asked again, the pieces keep the fallback's size.
        pump.mRequestList.erase(it);
        Continue(pump);
    } else if (request.fPending) {
        request.fPending = 0;
        request.fAwaiting = 1;
        if (!request.sChannel.empty()) pump.fChannelReached = true;
        Substitute(pump, it);
        if (request.fSend && HoldsPlaceholder(pump.sRequestCommand)) {
            // A command with a placeholder left in it would reach the instrument as it stands.
            pump.pWindow->AddError(WaveformText::Prefix(pump) + WaveformText::Channel(pump) +
                                   WaveformText::Unresolved + pump.sRequestCommand);
            pump.mRequestList.erase(it);
            Continue(pump);
            return;
        }
        SendRequestData(pump, request.fSend != 0, request.fResponse != 0);
        if (pump.iStops == iStops) {
            SendAhead(pump);
            pump.pTimers->Start(TimerPump, PumpTick);
        }
    } else if (request.fAwaiting) {
        if (request.iAheadTask != 0) TakeOverAhead(pump, request);
        if (pump.iStops == iStops && request.fAwaiting) pump.pTimers->Start(TimerPump, PumpTick);
    } else if (request.fArrived) {
        pump.mRequestList.erase(it);
        Continue(pump);
    }
}

} // namespace

void ChannelFailed(uWaveformPump& pump, const std::string& sReason) {
    const std::string sText = WaveformText::Channel(pump) + sReason;
    pump.pWindow->SetStatus(sText);
    pump.pWindow->AddError(WaveformText::Prefix(pump) + sText);
    const uWaveformChecks checks = Checks();
    if (checks.fnChannelFailed) checks.fnChannelFailed(pump);
}

namespace {

// Logs how many reads in a row repeated sRepeated, when some did.
void LogRepeats(uWaveformPump& pump) {
    if (pump.iRepeats > 0)
        pump.pWindow->AddLine(WaveformText::Prefix(pump) + "The failure before came again in " +
                              Utility::StrDLocalized(static_cast<double>(pump.iRepeats), 0) +
                              (pump.iRepeats == 1 ? " more read: " : " more reads: ") + pump.sRepeated);
    pump.iRepeats = 0;
}

} // namespace

bool NoteReadFailure(uWaveformPump& pump, const std::string& sLogText) {
    if (!pump.fReading) return true;
    const std::string sChannel = WaveformText::Channel(pump);
    if (std::none_of(pump.ReadFailures.begin(), pump.ReadFailures.end(),
                     [&](const uWaveformPump::uReadFailure& f) { return f.sChannel == sChannel; })) {
        const std::string sPrefix = WaveformText::Prefix(pump);
        std::string sText = sLogText.rfind(sPrefix, 0) == 0 ? sLogText.substr(sPrefix.size()) : sLogText;
        if (sText.rfind(sChannel, 0) != 0) sText = sChannel + sText; // a check's line names no channel
        pump.sReadFailure += (pump.sReadFailure.empty() ? "" : " - ") + sText;
        pump.ReadFailures.push_back({sChannel, std::move(sText)});
    }
    if (!pump.fAutomatic) return true;
    const auto has = [&](const std::vector<std::string>& lines) {
        return std::find(lines.begin(), lines.end(), sLogText) != lines.end();
    };
    if (has(pump.ReadFailureLines)) return false;
    pump.ReadFailureLines.push_back(sLogText);
    if (has(pump.RunFailureLines)) return false;
    LogRepeats(pump); // something new: the count of the repeats before goes first
    pump.fLoggedThisRead = true;
    return true;
}

void FlushRepeats(uWaveformPump& pump) {
    LogRepeats(pump);
    pump.RunFailureLines.clear();
    pump.ReadFailureLines.clear();
}

std::string CancelledText(const uWaveformPump& pump) {
    return PumpSupport::AutomaticCancelled + (" " + CountText(pump));
}

bool HasLogicChannels(std::int64_t eModel) {
    switch (eModel) {
    case ModelRohdeSchwarzRTB2000Ch2:
    case ModelRohdeSchwarzRTB2000Ch4:
    case ModelRigolDS1000ZPlus:
    case ModelRigolMSO2000:
    case ModelSiglentSDS2000XPlusCh2:
    case ModelSiglentSDS2000XPlusCh4:
    case ModelSiglentSDS5000XCh2:
    case ModelSiglentSDS5000XCh4: return true;
    default: return false;
    }
}

std::int64_t Date() {
    const std::time_t t = std::time(nullptr);
    std::tm tm{};
    localtime_r(&t, &tm);
    return static_cast<std::int64_t>(t) + tm.tm_gmtoff;
}

std::int64_t ElapsedMilliseconds() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void SetChecks(uWaveformChecks checks) {
    std::lock_guard lock(mChecksMutex);
    mChecks = std::move(checks);
}

void SetInstrument(uWaveformPump& pump, uWaveformPumpInstrument instrument) {
    // The same object connected again or lost (a regain, a loss under a read): the tasks queued
    // for it still report, and the read waits for them. Another object's tasks never will.
    const bool fSame = instrument.pInstrument && instrument.pInstrument == pump.instrument.pInstrument;
    pump.instrument = std::move(instrument);
    if (fSame) return;
    pump.mOutstanding.clear();
    pump.iCurrentTask = 0;
    pump.AheadResults.clear();
    pump.DroppedAhead.clear();
}

bool ParseInterval(const std::string& sText, int iUnit, std::int64_t& iMilliseconds) {
    static constexpr double Factors[] = {1.0, 1000.0, 60000.0, 3600000.0};
    const double dFactor = iUnit >= 0 && iUnit < 4 ? Factors[iUnit] : 1.0;
    const double dValue = std::ceil(Utility::ValLocalized(sText) * dFactor);
    if (!std::isfinite(dValue) || dValue < 1.0 || dValue > 2147483647.0) return false;
    iMilliseconds = static_cast<std::int64_t>(dValue);
    return true;
}

void EventTimer(uWaveformPump& pump, int iTimer) {
    if (iTimer == TimerOptions) {
        // The option list is the user's, connected or not.
        pump.pTimers->Stop(TimerOptions);
        pump.pWindow->PostOptionsEvent();
        return;
    }
    if (!pump.instrument.fConnected) {
        pump.pTimers->Stop(iTimer);
        StopRequestData(pump);
        return;
    }
    switch (iTimer) {
    case TimerInterval:
        pump.pTimers->Stop(TimerInterval);
        if (!pump.fAutomatic) {
            StopRequestData(pump);
        } else if (pump.pWindow->CreateSendRequestList(pump) > 0) {
            BeginRead(pump);
        } else {
            // Going quiet until the user stops would hide the failure: the run ends here.
            NotSent(pump);
            StopRequestData(pump, WaveformText::NotSent);
        }
        break;
    case TimerPump: Continue(pump); break;
    default: pump.pTimers->Stop(iTimer); break;
    }
}

Instrument::eBlockUnit AnswerBlockUnit(const uWaveformPump& pump) {
    return !pump.mRequestList.empty() && pump.mRequestList.front().fLogic != 0 &&
                   WaveformChannels::FamilyOf(pump.instrument.eModel) == WaveformChannels::FamilySiglent
               ? Instrument::eBlockUnit::Bits
               : Instrument::eBlockUnit::Bytes;
}

void SendRequestData(uWaveformPump& pump, bool fSend, bool fResponse) {
    bool ok = PumpSupport::InterfaceConnected(pump);
    pump.fDiscardResult = false;
    ok = ok && pump.instrument.fConnected;
    std::string sRefused;
    if (ok) {
        pump.answer.release();
        pump.sAnswersMissing.clear();
        pump.iSendTime = ElapsedMilliseconds();
        std::string sError;
        if (PumpSupport::QueueTask(pump, CommandTask(pump, pump.sRequestCommand, fSend, fResponse), sError) == 0) {
            ok = false;
            sRefused = WaveformText::CommunicationError + sError;
            pump.pWindow->AddError(sRefused);
        }
    }
    if (ok && fSend) LogSent(pump);
    if (!ok) {
        // A refused task is in the log; otherwise there is no instrument to ask, which the status
        // line says before the stop adds its own words. An automatic run says why it stopped.
        const bool fAutomatic = pump.fAutomatic;
        if (sRefused.empty()) pump.pWindow->SetStatus(Instrument::NotConnectedText);
        StopRequestData(pump, sRefused.empty() ? std::string(Instrument::NotConnectedText) : sRefused);
        if (!sRefused.empty() && !fAutomatic) pump.pWindow->SetStatus("");
    }
}

bool CheckInstrumentResponse(uWaveformPump& pump) {
    if (pump.mRequestList.empty()) return true;
    uWaveformRequest& request = pump.mRequestList.front();
    const std::uint8_t* pAnswer = pump.answer.data();
    const std::size_t iSize = pump.answer.size();
    // A failed channel leaves the record; any other request's failure is logged.
    const bool fChannel = request.eKind == RequestWaveform || request.eKind == RequestWaveformPart;
    const auto fail = [&](const std::string& sReason) {
        if (fChannel) ChannelFailed(pump, sReason);
        else pump.pWindow->AddError(WaveformText::Prefix(pump) + WaveformText::Channel(pump) + sReason);
        return true;
    };
    // A transfer cut short (time-out): its part of the answer is not checked.
    if (request.fRequestFinished == 0) {
        const std::string sReason = pump.sAnswersMissing.empty() ? WaveformText::NotReceived : pump.sAnswersMissing;
        pump.sAnswersMissing.clear();
        return fail(sReason);
    }
    std::size_t iHeader = 0;
    std::uint64_t iCount = 0;
    if (iSize > 0) {
        bool ok = true;
        iHeader = Instrument::ParseBlockHeaderOnly(pAnswer, 0, iSize, &iCount);
        if (iHeader > 0) ok = iSize - iHeader >= Instrument::BlockBytes(iCount, AnswerBlockUnit(pump));
        else if (pAnswer[0] == '#') ok = false; // a block whose header did not arrive whole
        if (!ok) return fail(WaveformText::Incomplete + std::to_string(iSize));
        // A block followed by anything but a separator or the answer's end announced fewer bytes
        // than it holds: the rest of its bytes would be taken for the answers behind it.
        const std::size_t iEnd = iHeader + Instrument::BlockBytes(iCount, AnswerBlockUnit(pump));
        if (iHeader > 0 && !InstrumentWaveform::BlockEnds(pAnswer, iSize, iEnd))
            return fail(WaveformText::BlockTooLong + std::to_string(iEnd - iHeader));
    }
    const std::uint8_t* pBlock = iSize > 0 ? pAnswer + iHeader : nullptr;
    const std::size_t iBlock = iSize - iHeader;
    const uWaveformChecks checks = Checks();
    switch (request.eKind) {
    case RequestVisibleChannels:
        if (checks.fnVisibleChannels) checks.fnVisibleChannels(pump, pBlock, iBlock);
        return true;
    case RequestWaveformPoints:
    case RequestMaxPoint:
        if (pump.pRecord) {
            CurrentChannel(pump);
            if (checks.fnWaveformPoints) checks.fnWaveformPoints(pump, pBlock, iBlock);
        }
        return true;
    case RequestAcquireType:
        if (pump.pRecord && checks.fnAcquireType) checks.fnAcquireType(pump, pBlock, iBlock);
        return true;
    case RequestLogicDisplay:
        if (checks.fnLogicDisplay) checks.fnLogicDisplay(pump, pBlock, iBlock);
        return true;
    case RequestWaveformPart:
    case RequestWaveform: {
        if (!pump.pRecord) return true;
        if (pump.pRecord->iDate == 0) {
            pump.pRecord->iDate = Date();
            pump.pRecord->iMilliseconds = ElapsedMilliseconds();
        }
        uWaveformRecordChannel& channel = CurrentChannel(pump);
        channel.eWaveform = request.eWaveform;
        channel.eDataSource = request.eDataSource;
        channel.sFileChannel = request.sChannelFile;
        channel.sChannelName = request.sChannel;
        if (request.eKind == RequestWaveformPart) {
            if (checks.fnWaveformPart && checks.fnWaveformPart(pump, pAnswer, iSize, iHeader, iCount))
                pump.iChannelIndex = 0;
        } else {
            if (checks.fnWaveform) checks.fnWaveform(pump, pAnswer, iSize);
            pump.iChannelIndex = 0;
        }
        return true;
    }
    case RequestSetup: return true;
    default: {
        std::string sText;
        if (pBlock && iBlock > 0) sText.assign(reinterpret_cast<const char*>(pBlock), iBlock);
        sText = Utility::TrimCharacters(sText, " \t\r\n");
        const std::string sExpected = request.sResponse;
        if (sText.size() != sExpected.size()) return false;
        for (std::size_t i = 0; i < sText.size(); ++i) {
            const auto a = static_cast<unsigned char>(sText[i]);
            const auto b = static_cast<unsigned char>(sExpected[i]);
            if (std::tolower(a) != std::tolower(b)) return false;
        }
        return true;
    }
    }
}

void AdvancePart(uWaveformPump& pump) {
    if (!pump.pRecord) return;
    const uWaveformRecord& record = *pump.pRecord;
    pump.iStartPoint = IsSiglent(pump.instrument.eModel) ? pump.iStopPoint : pump.iStopPoint + 1;
    pump.iStopPoint = std::min(pump.iStopPoint + record.iPartPoints, record.iTotalPoints);
}

void EndRequestData(uWaveformPump& pump) {
    pump.fRecordWhole = true;
    pump.fReading = false;
    if (pump.pRecord && HasLogicChannels(pump.instrument.eModel)) pump.pRecord->LogicLines = pump.LogicLines;
    // A failure of the read replaces what its last answer showed ("Data received, ..."); a read
    // that failed is not counted.
    if (pump.fAutomatic) {
        if (pump.sReadFailure.empty()) {
            ++pump.iCount;
            FlushRepeats(pump);
        } else {
            if (!pump.fLoggedThisRead) {
                // The read before logged its failures: this one repeats them, counted under its
                // first; the count of another failure's repeats goes first.
                if (pump.sReadFailure != pump.sRepeated) LogRepeats(pump);
                pump.sRepeated = pump.sReadFailure;
                ++pump.iRepeats;
            }
            pump.RunFailureLines = std::exchange(pump.ReadFailureLines, {});
        }
        pump.fLoggedThisRead = false;
        // The status tells this read's story: its failures, then its save's.
        pump.sRunFailure = pump.sReadFailure;
        pump.sSaveFailure.clear();
        pump.pWindow->SetStatus(CountText(pump));
    } else if (!pump.sReadFailure.empty()) {
        pump.pWindow->SetStatus(pump.sReadFailure);
    }
    if (pump.fSaveAutomatically) {
        // The end of the save arms the pump again; a save still running holds it until then.
        if (!pump.fSaving) pump.pWindow->SaveWaveform(pump);
    } else {
        Continue(pump);
    }
}

void SaveEnded(uWaveformPump& pump) {
    pump.fSaving = false;
    Continue(pump);
}

void SaveCounted(uWaveformPump& pump, bool fWhole, std::int64_t iFiles, const std::string& sFailure) {
    if (fWhole)
        ++pump.iSaved;
    else
        pump.iPartFiles += iFiles;
    pump.sSaveFailure = sFailure;
}

std::string Counts(const uWaveformPump& pump) {
    const auto number = [](std::int64_t i) { return Utility::StrDLocalized(static_cast<double>(i), -1); };
    std::string sText = "Waveforms: " + number(pump.iCount);
    if (pump.fSaveAutomatically) sText += " - Saved: " + number(pump.iSaved);
    // Files on disk that no saved read holds are counted too: the user knows every file the run left.
    if (pump.fSaveAutomatically && pump.iPartFiles > 0)
        sText += " and " + number(pump.iPartFiles) + (pump.iPartFiles == 1 ? " file" : " files") +
                 " of reads saved in part";
    return sText;
}

std::string CountText(const uWaveformPump& pump) {
    std::string sText = Counts(pump);
    for (const std::string* p : {&pump.sRunFailure, &pump.sSaveFailure})
        if (!p->empty()) sText += " - " + *p;
    return sText;
}

void Continue(uWaveformPump& pump) { PumpSupport::Continue(pump, &PumpStep); }

void StartReading(uWaveformPump& pump, const uWaveformStart& start) {
    // The window of an instrument without waveforms behaves as disconnected.
    if (!pump.instrument.fConnected || !pump.instrument.fWaveform) {
        pump.pWindow->SetStatus(Instrument::NotConnectedText);
        return;
    }
    WaveformPumpWindow& window = *pump.pWindow;
    window.SetStatus("");
    if (!window.ChannelTicked()) {
        window.SetStatus("No channel has been selected.");
        return;
    }
    if (!PumpSupport::TakeStart(pump, start)) return;
    window.DisableGadgets(true);
    pump.fMaxPointUnanswered = false;
    pump.fRunCancelled = false;
    if (start.fAutomatically) {
        pump.fAutomatic = true;
        pump.iCount = 0;
        pump.iSaved = 0;
        pump.iPartFiles = 0;
        pump.sRunFailure.clear();
        pump.sSaveFailure.clear();
        pump.RunFailureLines.clear();
        pump.ReadFailureLines.clear();
        pump.iRepeats = 0;
        pump.fLoggedThisRead = false;
    } else {
        window.SetStatus("");
    }
    if (window.CreateSendRequestList(pump) == 0)
        NotSent(pump);
    else
        BeginRead(pump);
    if (start.fAutomatically) {
        window.AddLine(WaveformText::Prefix(pump) + "The waveforms are read in automatically, every " +
                       Utility::StrDLocalized(static_cast<double>(pump.iInterval), 0) + " Milliseconds");
        if (pump.fSaveAutomatically)
            window.AddLine(WaveformText::Prefix(pump) + "The waveforms are saved in the folder: " +
                           pump.sAutomaticFolder);
    }
}

void Cancel(uWaveformPump& pump) {
    const bool fAutomatic = pump.fAutomatic, fReading = pump.fReading, fSaving = pump.fSaving;
    pump.fRunCancelled = fAutomatic;
    pump.fDiscardResult = true;
    StopRequestData(pump);
    // The status line says what was cancelled and, of an automatic run, what it kept.
    if (fAutomatic) pump.pWindow->SetStatus(CancelledText(pump));
    else if (fReading) pump.pWindow->SetStatus("The reading was cancelled.");
    else if (fSaving) pump.pWindow->SetStatus("The save was cancelled.");
}

void StopRequestData(uWaveformPump& pump, const std::string& sWhy, const std::string& sAlso) {
    WaveformPumpWindow& window = *pump.pWindow;
    ++pump.iStops;
    const bool fEndedByItself = pump.fAutomatic && !pump.fDiscardResult;
    pump.fReading = false;
    if (pump.fSaving && pump.iSaveInstance != 0) {
        std::string sError;
        if (!WaveformData::SetSaveDataThreadStatus(pump.iSaveInstance, ThreadStatusStop, sError)) {
            window.AddError("WindowWaveform::StopRequestData: Beim Abbrechen des Threads für das Speichern der "
                            "Messkurvendaten ist ein Fehler aufgetreten:");
            window.AddError("WindowWaveform::StopRequestData: " + sError);
        }
    }
    pump.fSaveStopped = pump.fSaveStopped || pump.fSaving;
    pump.fSaving = false;
    if (pump.fAutomatic) FlushRepeats(pump);
    if (pump.fAutomatic)
        window.AddLine(WaveformText::Prefix(pump) + "The automatic reading of the waveforms was stopped. Count: " +
                       Utility::StrDLocalized(static_cast<double>(pump.iCount), 0));
    pump.fAutomatic = false;
    pump.pTimers->Stop(TimerInterval);
    pump.pTimers->Stop(TimerPump);
    pump.AheadResults.clear();
    PumpSupport::CancelTransfer(pump);
    // What the run kept, never the story of a read before: the one that stopped it is told.
    if (fEndedByItself) PumpSupport::SayStopped(pump, sWhy, Counts(pump) + (sAlso.empty() ? "" : " - " + sAlso));
}

} // namespace WaveformPump
