#include "ScopeReadSupport.h"

#include "common/EventData.h"
#include "common/TestApplication.h"
#include "platform/EventHub.h"
#include "platform/ProgramEvents.h"
#include "platform/WindowRegistry.h"
#include "sim/RawTcpServer.h"
#include "sim/SerialDevice.h"
#include "sim/SimUsb.h"
#include "sim/Vxi11Server.h"
#include "transport/InterfaceDefaults.h"
#include "waveform/WaveformReaders.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <gtest/gtest.h>

namespace ScopeRead {

struct Session::uState {
    std::vector<EventHub::uEvent> events;
};

void Start() {
    TestApplication::EnsureCore();
    EventHub::Init();
    WaveformReaders::Register();
}

uTaskPrepare RawPrepare(int iPort) {
    uTaskPrepare prepare;
    prepare.eProtocol = prepare.eInterface = InterfaceRawTcp;
    prepare.rawTcp = {"127.0.0.1", "127.0.0.1", iPort};
    return prepare;
}

uTaskPrepare VxiPrepare(int iPort) {
    uTaskPrepare prepare;
    prepare.eProtocol = prepare.eInterface = InterfaceVxi11;
    prepare.vxi11 = {"127.0.0.1", "127.0.0.1", 111, iPort};
    return prepare;
}

uTaskPrepare SerialPrepare(const std::string& sPort) {
    uTaskPrepare prepare;
    prepare.eProtocol = prepare.eInterface = InterfaceSerial;
    prepare.serial = {sPort, 115200, 8, 1.0F, 0, 0};
    return prepare;
}

uTaskPrepare UsbPrepare(std::int64_t iVendor, std::int64_t iProduct, const std::string& sSerial) {
    uTaskPrepare prepare;
    prepare.eProtocol = prepare.eInterface = InterfaceUsbTmc;
    prepare.fLibUsb1 = 1;
    prepare.usb.iVendorId = iVendor;
    prepare.usb.iProductId = iProduct;
    prepare.usb.sSerialNumber = sSerial;
    return prepare;
}

uTaskWaveform Task(std::int64_t eSource, std::int64_t eBits, std::initializer_list<std::int64_t> requests) {
    uTaskWaveform task;
    task.eSource = eSource;
    task.eBits = eBits;
    for (const std::int64_t e : requests) task.fSource[static_cast<std::size_t>(e)] = 1;
    return task;
}

Session::Session() : pState(std::make_shared<uState>()) {
    iWindow = WindowRegistry::NewWindowNumber();
    std::string sError;
    object = Instrument::Create(sError);
    EXPECT_TRUE(object) << sError;
    auto pKeep = pState;
    EventHub::Bind(EventTaskFinished, iWindow, [pKeep](const EventHub::uEvent& event) { pKeep->events.push_back(event); });
}

Session::~Session() {
    EventHub::Unbind(EventTaskFinished, iWindow);
    std::string sError;
    if (object) {
        Instrument::ReleaseAll(true, 0, sError);
    }
}

std::size_t Session::Count(std::int64_t eType) const {
    std::size_t n = 0;
    for (const auto& event : pState->events) n += event.iType == eType;
    return n;
}

bool Session::WaitFor(std::int64_t eType, std::size_t iCount, int iMs) {
    QElapsedTimer timer;
    timer.start();
    QTimer tick; // wakes the wait below to look at the clock
    tick.start(50);
    EventHub::Pump();
    while (Count(eType) < iCount) {
        if (timer.elapsed() > iMs) return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        EventHub::Pump();
    }
    return true;
}

bool Session::Open(uTaskPrepare prepare, std::int64_t eModel, std::string& sError) {
    prepare.head = {InstrumentTaskPrepare, 0, iWindow};
    prepare.eModel = eModel;
    if (object->pInterface->AddTask(*object, prepare, sError) == 0) return false;
    if (object->pInterface->AddTask(*object, uTaskConnect{{InstrumentTaskConnect, 0, iWindow}}, sError) == 0) return false;
    if (!WaitFor(InstrumentTaskConnect, 1, 20000) || !object->pInterface->IsConnected(*object)) {
        sError = "the connect did not succeed";
        return false;
    }
    return true;
}

std::string Session::Ask(const std::string& sCommand, int iWaitMs) {
    uTaskScpiCommand task;
    task.head = {InstrumentTaskScpiCommand, 0, iWindow};
    task.fSend = 1;
    task.sCommand = sCommand;
    task.fRequestData = 1;
    const std::size_t iBefore = Count(InstrumentTaskScpiCommand);
    std::string sError;
    if (object->pInterface->AddTask(*object, task, sError) == 0 ||
        !WaitFor(InstrumentTaskScpiCommand, iBefore + 1, iWaitMs))
        return {};
    const auto* pResult = pState->events.back().pData.Get<uTaskResultScpiCommand>();
    if (!pResult || !pResult->fRequestFinished) return {};
    const std::string_view sAnswer = pResult->requestData.view();
    return std::string(sAnswer.substr(0, static_cast<std::size_t>(std::max<std::int64_t>(pResult->iRequestTransferred, 0))));
}

uFinished Session::Run(uTask task, int iWaitMs) {
    uFinished finished;
    const std::int64_t eType = std::visit(
        [this](auto& record) {
            record.head.iWindow = iWindow;
            return record.head.eTaskType;
        },
        task);
    const std::size_t iBefore = Count(eType);
    const std::size_t iErrorsBefore = Count(InstrumentTaskError);
    std::string sError;
    if (object->pInterface->AddTask(*object, task, sError) == 0) {
        finished.errors.push_back(sError);
        return finished;
    }
    WaitFor(eType, iBefore + 1, iWaitMs);
    std::size_t iErrors = 0;
    std::size_t iSeen = 0;
    for (auto& event : pState->events) {
        if (event.iType == InstrumentTaskError && iErrors++ >= iErrorsBefore) {
            const auto* pKey = event.pData.Get<std::int64_t>();
            uEventData record;
            if (pKey && Utility::EventDataTake(std::to_string(*pKey), record)) {
                finished.errors.push_back(record.sModule + "::" + record.sProcedure + " | " + record.sText);
            }
        }
        if (event.iType == eType && iSeen++ == iBefore) finished.event = event;
    }
    return finished;
}

uResult Session::Read(const uTaskWaveform& task, int iWaitMs) {
    uResult result;
    uTaskWaveform queued = task;
    queued.head = {InstrumentTaskWaveform, 0, iWindow};
    result.task = queued;
    uFinished finished = Run(queued, iWaitMs);
    result.fFinished = finished.event.iType == InstrumentTaskWaveform;
    result.errors = std::move(finished.errors);
    if (auto* p = finished.event.pData.Get<uWaveformData>()) result.pData = std::make_unique<uWaveformData>(std::move(*p));
    return result;
}

PatientTimeouts::PatientTimeouts(int iMs)
    : iUsbTmc(InterfaceDefaults::Timeout(InterfaceUsbTmc)), iVxi11(InterfaceDefaults::Timeout(InterfaceVxi11)),
      iRawTcp(InterfaceDefaults::Timeout(InterfaceRawTcp)), iSerial(InterfaceDefaults::Timeout(InterfaceSerial)) {
    InterfaceDefaults::SetTimeouts(iMs, iMs, iMs, iMs);
}

PatientTimeouts::~PatientTimeouts() { InterfaceDefaults::SetTimeouts(iUsbTmc, iVxi11, iRawTcp, iSerial); }

std::vector<std::uint8_t> Bytes(const DataBuffer& buffer) { return {buffer.begin(), buffer.end()}; }

struct Door::uState {
    std::unique_ptr<Sim::RawTcpServer> pRaw;
    std::unique_ptr<Sim::Vxi11Server> pVxi;
    std::unique_ptr<Sim::SerialDevice> pSerial;
    std::unique_ptr<SimUsb::Bus> pBus;
};

Door::Door() : pState(std::make_unique<uState>()) {}

Door::~Door() {
    if (pState->pBus) pState->pBus->Uninstall();
}

uTaskPrepare Door::Start(eDoor door, std::shared_ptr<Sim::ScpiDevice> pDevice) {
    std::string sError;
    switch (door) {
    case eDoor::RawTcp:
        pState->pRaw = std::make_unique<Sim::RawTcpServer>(pDevice);
        EXPECT_TRUE(pState->pRaw->Start(sError)) << sError;
        return RawPrepare(pState->pRaw->Port());
    case eDoor::Vxi11: {
        pState->pVxi = std::make_unique<Sim::Vxi11Server>(pDevice);
        Sim::Vxi11Server::uConfig config;
        EXPECT_TRUE(pState->pVxi->Start(config, sError)) << sError;
        return VxiPrepare(pState->pVxi->Port());
    }
    case eDoor::Serial:
        pState->pSerial = std::make_unique<Sim::SerialDevice>(pDevice);
        EXPECT_TRUE(pState->pSerial->Start(sError)) << sError;
        return SerialPrepare(pState->pSerial->PortName());
    case eDoor::Usb:
        pState->pBus = std::make_unique<SimUsb::Bus>();
        pState->pBus->AddDevice({}, pDevice);
        pState->pBus->Install();
        return UsbPrepare(0x1AB1, 0x04CE, "DS1ZA000000001");
    }
    return {};
}

Sim::StreamPeer* Door::Stream() {
    if (pState->pRaw) return pState->pRaw.get();
    if (pState->pSerial) return pState->pSerial.get();
    return nullptr;
}

} // namespace ScopeRead
