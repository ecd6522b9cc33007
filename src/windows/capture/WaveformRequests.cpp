#include "windows/capture/WaveformRequests.h"

#include "instrument/ConnectionFailure.h"
#include "instrument/ModelTable.h"
#include "waveform/InstrumentWaveformRigol.h"
#include "waveform/InstrumentWaveformRohdeSchwarz.h"
#include "waveform/InstrumentWaveformSiglent.h"
#include "windows/capture/WaveformPumpText.h"

#include <iterator>

namespace WaveformRequests {

namespace {

uWaveformRequest Action(std::int64_t eKind, const std::string& sCommand) {
    uWaveformRequest request;
    request.fSend = 1;
    request.fPending = 1;
    request.sCommand = sCommand;
    request.eKind = eKind;
    return request;
}

uWaveformRequest WaitRequest(std::int64_t iWait) {
    uWaveformRequest request;
    request.fPending = 1;
    request.iWait = iWait;
    request.eKind = RequestWait;
    return request;
}

} // namespace

std::size_t CreateSendRequestList(uWaveformPump& pump, const uWaveformOptionState& options,
                                  std::int64_t eDataSource, const std::vector<std::int64_t>& channels) {
    pump.mRequestList.clear();
    pump.iBytesTotal = 0;
    pump.iRequestTime = WaveformPump::ElapsedMilliseconds();
    if (options.fBefore) {
        if (options.fStopComplete) pump.mRequestList.push_back(Action(RequestOptionStopComplete, options.sStopComplete));
        if (options.fStop) pump.mRequestList.push_back(Action(RequestOptionStop, options.sStop));
        if (options.fSingle) pump.mRequestList.push_back(Action(RequestOptionSingle, options.sSingle));
        if (options.fWaitShort) pump.mRequestList.push_back(WaitRequest(options.iWaitShort));
        if (options.fWaitLong) pump.mRequestList.push_back(WaitRequest(options.iWaitLong));
        if (options.fTrigger) {
            uWaveformRequest poll = Action(RequestOptionWaitTrigger, options.sTriggerStatus);
            poll.fResponse = 1;
            poll.sResponse = options.sTriggerStatusStop;
            pump.mRequestList.push_back(std::move(poll));
        }
    }
    if (CreateRequestListModel(pump, eDataSource, channels) == 0) {
        if (pump.pWindow)
            pump.pWindow->AddError("WindowWaveform::CreateSendRequestList: Es werden keine Kanäle eingelesen.");
    } else {
        pump.iPartBytes = 0;
    }
    if (options.fAfter) {
        if (options.fTriggerAuto) pump.mRequestList.push_back(Action(RequestOptionTriggerAuto, options.sTriggerAuto));
        if (options.fTriggerNormal)
            pump.mRequestList.push_back(Action(RequestOptionTriggerNormal, options.sTriggerNormal));
        if (options.fRun) pump.mRequestList.push_back(Action(RequestOptionRun, options.sRun));
        if (options.fSingleAfter) pump.mRequestList.push_back(Action(RequestOptionSingleAfter, options.sSingleAfter));
        if (options.fLocal) pump.mRequestList.push_back(Action(RequestOptionLocal, options.sLocal));
    }
    return pump.mRequestList.size();
}

int CreateRequestListModel(uWaveformPump& pump, std::int64_t eDataSource, const std::vector<std::int64_t>& channels) {
    switch (FamilyOf(pump.instrument.eModel)) {
    case FamilyHameg: return CreateRequestListHameg(pump, eDataSource, channels);
    case FamilyRigol: return CreateRequestListRigol(pump, eDataSource, channels);
    case FamilySiglent: return CreateRequestListSiglent(pump, eDataSource, channels, pump.LogicLines);
    case FamilyRohdeSchwarz: return CreateRequestListRohdeSchwarz(pump, eDataSource, channels, pump.LogicLines);
    case FamilyNone: break;
    }
    return 0;
}

std::string VisibleChannelsCommand(std::int64_t eModel) {
    static const std::string sRohdeSchwarz =
        ";:CALC:MATH1:STAT?;:CALC:MATH2:STAT?;:CALC:MATH3:STAT?;:CALC:MATH4:STAT?;:CALC:MATH5:STAT?;:REFC1:STAT?;"
        ":REFC2:STAT?;:REFC3:STAT?;:REFC4:STAT?;:LOG1:PROB:ENAB?;:LOG2:PROB:ENAB?;:ACQ:TYPE?";
    switch (eModel) {
    case ModelHamegHM2008:
    case ModelHamegHM1508:
    case ModelHamegHM1008: return ":TRAC:SOUR:CAT?";
    case ModelRigolDS1000Z:
    case ModelRigolDS2000:
    case ModelRigolDS1000ZPlus:
    case ModelRigolMSO2000: return InstrumentWaveform::RigolVisibleQuery(eModel);
    case ModelSiglentSDS2000XPlusCh2:
    case ModelSiglentSDS5000XCh2:
    case ModelSiglentSDS2000XPlusCh4:
    case ModelSiglentSDS5000XCh4: return InstrumentWaveform::SiglentVisibleQuery(eModel);
    case ModelRohdeSchwarzRTB2000Ch2: return ":CHAN1:STAT?;:CHAN2:STAT?" + sRohdeSchwarz;
    case ModelRohdeSchwarzRTB2000Ch4: return ":CHAN1:STAT?;:CHAN2:STAT?;:CHAN3:STAT?;:CHAN4:STAT?" + sRohdeSchwarz;
    default: return {};
    }
}

std::string LogicDisplayCommand(std::int64_t eModel) {
    switch (FamilyOf(eModel)) {
    case FamilyRigol:
        return eModel == ModelRigolDS1000ZPlus || eModel == ModelRigolMSO2000 ? InstrumentWaveform::RigolLinesQuery() : "";
    case FamilySiglent: return InstrumentWaveform::SiglentLinesQuery();
    case FamilyRohdeSchwarz: return InstrumentWaveform::RohdeSchwarzLinesQuery();
    default: return {};
    }
}

int CreateRequestGetVisibleChannels(uWaveformPump& pump) {
    pump.mRequestList.clear();
    const std::string sCommand = VisibleChannelsCommand(pump.instrument.eModel);
    if (sCommand.empty()) return 0;
    uWaveformRequest request = Action(RequestVisibleChannels, sCommand);
    request.fResponse = 1;
    pump.mRequestList.push_back(std::move(request));
    return 1;
}

int CreateRequestGetLogicDisplay(uWaveformPump& pump) {
    const std::string sCommand = LogicDisplayCommand(pump.instrument.eModel);
    if (sCommand.empty()) return 0;
    uWaveformRequest request = Action(RequestLogicDisplay, sCommand);
    request.fResponse = 1;
    const auto itBehind = pump.mRequestList.empty() ? pump.mRequestList.end() : std::next(pump.mRequestList.begin());
    pump.mRequestList.insert(itBehind, std::move(request));
    return 1;
}

void RefreshChannels(uWaveformPump& pump) {
    if (!pump.instrument.fConnected || !pump.instrument.fWaveform) {
        pump.pWindow->SetStatus(Instrument::NotConnectedText);
        return;
    }
    pump.pWindow->SetStatus("");
    // The totals of the status line count this exchange's answer, not the read's before.
    pump.iBytesTotal = 0;
    pump.iRequestTime = WaveformPump::ElapsedMilliseconds();
    if (CreateRequestGetVisibleChannels(pump) == 0) {
        pump.pWindow->SetStatus(WaveformText::NotSent);
        pump.pWindow->AddError(pump.instrument.sManufacturer + " - " + WaveformText::NotSent);
        return;
    }
    pump.pWindow->DisableGadgets(true);
    pump.pTimers->Start(WaveformPump::TimerPump, WaveformPump::PumpTick);
}

} // namespace WaveformRequests
