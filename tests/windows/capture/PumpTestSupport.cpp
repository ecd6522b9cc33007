#include "PumpTestSupport.h"

#include "common/EventData.h"
#include "instrument/TaskRecords.h"
#include "platform/EventHub.h"
#include "platform/ProgramEvents.h"
#include "transport/TransferStatus.h"

namespace PumpTest {

std::size_t RecordingWindow::CreateSendRequestList(uWaveformPump& pump) {
    ++iBuilds;
    pump.mRequestList.clear();
    for (const uWaveformRequest& request : mBuild) pump.mRequestList.push_back(request);
    return mBuild.size();
}

void RecordingWindow::SaveWaveform(uWaveformPump& pump) {
    ++iSaves;
    pump.fSaving = true;
    mSavedRecords.push_back(pump.pRecord);
}

std::int64_t ScriptedInstrument::AddTask(uInstrumentObject&, const uTask& task, std::string& sError) {
    if (!sFail.empty()) {
        sError = sFail;
        return 0;
    }
    const std::int64_t iTask = iNextTask++;
    mTasks.push_back({iTask, task});
    return iTask;
}

std::vector<std::string> ScriptedInstrument::Commands() const {
    std::vector<std::string> commands;
    for (const uSent& sent : mTasks)
        if (const auto* p = std::get_if<uTaskScpiCommand>(&sent.task)) commands.push_back(p->sCommand);
    return commands;
}

int ScriptedInstrument::Cancels() const {
    int iCount = 0;
    for (const uSent& sent : mTasks) iCount += std::holds_alternative<uTaskCancel>(sent.task) ? 1 : 0;
    return iCount;
}

Rig::Rig(std::int64_t eModel, const std::string& sModel) {
    pObject = std::make_shared<uInstrumentObject>();
    pObject->pInterface = &instrument;
    pump.iWindow = 7;
    pump.pWindow = &window;
    pump.pTimers = &timers;
    window.pPump = &pump;
    WaveformPump::SetInstrument(pump, {pObject, true, true, eModel, "RIGOL TECHNOLOGIES", sModel});
}

Rig::~Rig() { Utility::EventDataClear(); }

bool Rig::Fire(int iTimer) {
    if (!timers.Armed(iTimer)) return false;
    WaveformPump::EventTimer(pump, iTimer);
    return true;
}

void Rig::Result(std::int64_t iTask, const std::string& sAnswer, bool fRequestData, bool fFinished) {
    auto pResult = std::make_unique<uTaskResultScpiCommand>();
    pResult->iTaskNumber = iTask;
    pResult->fSendFinished = 1;
    pResult->fRequestData = fRequestData ? 1 : 0;
    if (fRequestData) pResult->requestData = DataBuffer::FromText(sAnswer);
    pResult->iRequestTransferred = fRequestData ? static_cast<std::int64_t>(sAnswer.size()) : 0;
    pResult->fRequestFinished = fFinished ? 1 : 0;
    EventHub::uEvent event{EventTaskFinished, pump.iWindow, 0, InstrumentTaskScpiCommand,
                           EventHub::Payload::Of(std::move(pResult))};
    WaveformPump::EventDataReceived(pump, event);
}

void Rig::ResultWithoutRecord() {
    EventHub::uEvent event{EventTaskFinished, pump.iWindow, 0, InstrumentTaskScpiCommand, {}};
    WaveformPump::EventDataReceived(pump, event);
}

void Rig::TaskError(const std::string& sText, const Failure::uFailure& failure) {
    WaveformPump::EventDataReceived(pump, TaskErrorEvent(pump.iWindow, sText, failure));
}

void Rig::Transfer(int eType, std::int64_t iData) {
    EventHub::uEvent event{EventTransferStatus, pump.iWindow, 0, eType, EventHub::Payload::Of<std::int64_t>(iData)};
    WaveformPump::EventDataSent(pump, event);
}

void Rig::TransferError(int eType, const std::string& sText, const Failure::uFailure& failure) {
    WaveformPump::EventDataSent(pump, TransferErrorEvent(pump.iWindow, eType, sText, failure));
}

std::int64_t Rig::LastTask() const { return instrument.mTasks.empty() ? 0 : instrument.mTasks.back().iTask; }

bool Rig::LogHas(const std::string& sPart) const {
    for (const std::string& s : window.mLog)
        if (s.find(sPart) != std::string::npos) return true;
    return false;
}

EventHub::uEvent TaskErrorEvent(int iWindow, const std::string& sText, const Failure::uFailure& failure) {
    const std::int64_t iKey = Utility::EventDataStore(uEventData{0, sText, "InstrumentDefault", "TaskScpiCommand", failure});
    return {EventTaskFinished, iWindow, 0, InstrumentTaskError, EventHub::Payload::Of<std::int64_t>(iKey)};
}

EventHub::uEvent TransferErrorEvent(int iWindow, int eType, const std::string& sText, const Failure::uFailure& failure) {
    const std::int64_t iKey = Utility::EventDataStore(uEventData{0, sText, "RawTcp", "RequestData", failure});
    return {EventTransferStatus, iWindow, 0, eType, EventHub::Payload::Of<std::int64_t>(iKey)};
}

uWaveformRequest Request(std::int64_t eKind, const std::string& sCommand, bool fResponse) {
    uWaveformRequest request;
    request.eKind = eKind;
    request.sCommand = sCommand;
    request.fSend = 1;
    request.fResponse = fResponse ? 1 : 0;
    return request;
}

uWaveformRequest Wait(std::int64_t iMs) {
    uWaveformRequest request;
    request.eKind = RequestWait;
    request.iWait = iMs;
    return request;
}

uWaveformRequest End() {
    uWaveformRequest request;
    request.eKind = RequestEnd;
    return request;
}

} // namespace PumpTest
