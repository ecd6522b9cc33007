// "*IDN?" round trips through AddTask, the instrument's worker thread and the event hub, over
// raw TCP and over VXI-11 to the simulated instrument, one at a time as a window makes them: the
// next query is queued when the result of the last one has arrived. Prints round trips per second.
//
//   bench_IdnRoundTrips [count]                        simulators of its own on loopback
//   bench_IdnRoundTrips --serve                        only the simulators (VXI-11 registered
//                                                      with rpcbind): prints "raw <port>" and
//                                                      "vxi11 <port>", serves until stdin closes
//   bench_IdnRoundTrips --connect <raw port> <vxi11 port> [count]
//                                                      against simulators served elsewhere
//
// bench/idn-roundtrips.sh runs it beside `lxi benchmark` against the same simulators.
#include "instrument/Instrument.h"
#include "platform/EventHub.h"
#include "platform/ProgramEvents.h"
#include "platform/WindowRegistry.h"
#include "sim/RawTcpServer.h"
#include "sim/Vxi11Server.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

// One instrument object driven from the GUI thread: tasks go in through AddTask, results come
// back as EventTaskFinished to a window of its own.
class Session {
  public:
    Session() : iWindow(WindowRegistry::NewWindowNumber()) {
        std::string sError;
        pObject = Instrument::Create(sError);
        if (!pObject) Fail(sError);
        EventHub::Bind(EventTaskFinished, iWindow, [this](const EventHub::uEvent& event) { OnResult(event); });
    }
    ~Session() {
        EventHub::Unbind(EventTaskFinished, iWindow);
        std::string sError;
        Instrument::Release(pObject, sError);
    }

    // Prepares and connects; exits the program when the connect fails.
    void Connect(uTaskPrepare prepare) {
        prepare.head = {InstrumentTaskPrepare, 0, iWindow};
        Add(prepare);
        Add(uTaskConnect{{InstrumentTaskConnect, 0, iWindow}});
        WaitFor(InstrumentTaskConnect);
    }

    void Disconnect() {
        Add(uTaskDisconnect{{InstrumentTaskDisconnect, 0, iWindow}});
        WaitFor(InstrumentTaskDisconnect);
    }

    // iCount "*IDN?" round trips, one after the other; the rate in round trips per second.
    double RoundTrips(int iCount) {
        iLeft = iCount;
        const Clock::time_point start = Clock::now();
        Add(Query());
        WaitFor(-1);
        const double dSeconds = std::chrono::duration<double>(Clock::now() - start).count();
        return iCount / dSeconds;
    }

  private:
    uTaskScpiCommand Query() const {
        uTaskScpiCommand task;
        task.head.iWindow = iWindow;
        task.fSend = 1;
        task.sCommand = "*IDN?";
        task.fRequestData = 1;
        return task;
    }

    void Add(const uTask& task) {
        std::string sError;
        if (pObject->pInterface->AddTask(*pObject, task, sError) == 0) Fail(sError);
    }

    void OnResult(const EventHub::uEvent& event) {
        if (event.iType == InstrumentTaskError) {
            const auto* pKey = event.pData.Get<std::int64_t>();
            Fail("task error, event-data key " + std::to_string(pKey ? *pKey : 0));
        }
        if (event.iType == InstrumentTaskScpiCommand && iLeft > 0) {
            const auto* pResult = event.pData.Get<uTaskResultScpiCommand>();
            if (!pResult || !pResult->fRequestFinished || pResult->iRequestTransferred < 10) Fail("no identification");
            if (--iLeft > 0) {
                Add(Query());
                return;
            }
            mLoop.quit();
            return;
        }
        if (event.iType == eWaited) mLoop.quit();
    }

    // Runs the event loop until a result of the type (or the last round trip) arrives.
    void WaitFor(std::int64_t eType) {
        eWaited = eType;
        QTimer guard;
        guard.setSingleShot(true);
        QObject::connect(&guard, &QTimer::timeout, [] { Fail("no result within ten minutes"); });
        guard.start(600000);
        mLoop.exec();
    }

    [[noreturn]] static void Fail(const std::string& sWhy) {
        std::fprintf(stderr, "bench_IdnRoundTrips: %s\n", sWhy.c_str());
        std::exit(1);
    }

    int iWindow;
    InstrumentObject pObject;
    QEventLoop mLoop;
    std::int64_t eWaited = 0;
    int iLeft = 0;
};

uTaskPrepare RawTcpInstrument(int iPort) {
    uTaskPrepare prepare;
    prepare.eProtocol = prepare.eInterface = InterfaceRawTcp;
    prepare.rawTcp = {"127.0.0.1", "127.0.0.1", iPort};
    return prepare;
}

// A found instrument: the core port is known, the portmapper is not asked.
uTaskPrepare VxiInstrument(int iCorePort) {
    uTaskPrepare prepare;
    prepare.eProtocol = prepare.eInterface = InterfaceVxi11;
    prepare.vxi11 = {"127.0.0.1", "127.0.0.1", 111, iCorePort};
    return prepare;
}

double Measure(const uTaskPrepare& prepare, int iCount) {
    Session session;
    session.Connect(prepare);
    session.RoundTrips(iCount / 20 + 1); // warm up
    const double dRate = session.RoundTrips(iCount);
    session.Disconnect();
    return dRate;
}

void Report(int iRawPort, int iVxiPort, int iCount) {
    const double dRaw = Measure(RawTcpInstrument(iRawPort), iCount);
    const double dVxi = Measure(VxiInstrument(iVxiPort), iCount);
    std::printf("%d *IDN? round trips through AddTask, one at a time\n", iCount);
    std::printf("raw-tcp %.0f round trips/s\n", dRaw);
    std::printf("vxi-11 %.0f round trips/s\n", dVxi);
}

bool Serve() {
    Sim::RawTcpServer raw;
    Sim::Vxi11Server vxi;
    Sim::Vxi11Server::uConfig config;
    config.fRegister = true;
    std::string sError;
    if (!raw.Start(sError) || !vxi.Start(config, sError)) {
        std::fprintf(stderr, "bench_IdnRoundTrips: %s\n", sError.c_str());
        return false;
    }
    std::printf("raw %d\nvxi11 %d\n", raw.Port(), vxi.Port());
    std::fflush(stdout);
    while (std::fgetc(stdin) != EOF) {
    }
    return true;
}

int Count(int argc, char** argv, int iAt) { return argc > iAt ? std::max(1, std::atoi(argv[iAt])) : 10000; }

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    EventHub::Init();
    if (argc > 1 && std::strcmp(argv[1], "--serve") == 0) return Serve() ? 0 : 1;
    if (argc > 3 && std::strcmp(argv[1], "--connect") == 0) {
        Report(std::atoi(argv[2]), std::atoi(argv[3]), Count(argc, argv, 4));
        return 0;
    }
    Sim::RawTcpServer raw;
    Sim::Vxi11Server vxi;
    std::string sError;
    if (!raw.Start(sError) || !vxi.Start({}, sError)) {
        std::fprintf(stderr, "bench_IdnRoundTrips: %s\n", sError.c_str());
        return 1;
    }
    Report(raw.Port(), vxi.Port(), Count(argc, argv, 1));
    return 0;
}
