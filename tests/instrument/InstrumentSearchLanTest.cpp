// The LAN part of the instrument search in a network of namespaces: the test process is the
// PC, each simulated instrument a host of its own behind a bridge. Nothing here reaches the
// machine's own adapters.
#include "SearchTestSupport.h"

#include "instrument/Instrument.h"
#include "instrument/InstrumentSearch.h"
#include "platform/ProgramEvents.h"
#include "sim/LanNetwork.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <memory>

namespace {

constexpr int Window = 6160;

// Subnet 0: two VXI-11 instruments behind rpcbind and one raw SCPI instrument.
const Sim::uLanSubnet Lab{"192.168.77.1", 24};
// Subnet 1: scripted portmappers with faulty and repeated answers.
const Sim::uLanSubnet Bench{"192.168.78.1", 24};

// Subnet 2: instruments that answer the broadcasts but cannot be identified: they cannot be
// reached, or their answer is noise that does not end, or an empty line.
const Sim::uLanSubnet Dead{"192.168.79.1", 24};

const std::string IdnRigol = "RIGOL TECHNOLOGIES,DS1104Z,DS1ZA170000001,00.04.04.SP4";
const std::string IdnSiglent = "Siglent Technologies,SDS2104X Plus,SDS2PA0000002,1.3.7R5";
const std::string IdnRohde = "Rohde&Schwarz,RTB2004,1333.1005k04/102345,02.300";
const std::string IdnRepeated = "RIGOL TECHNOLOGIES,DP832,DP8C000003,00.01.14";
constexpr int RepeatedPort = 40000;

std::vector<Sim::uLanInstrument> Instruments() {
    Sim::uLanInstrument rigol;
    rigol.sAddress = "192.168.77.10";
    rigol.sIdn = IdnRigol;
    rigol.fVxi11 = true;
    Sim::uLanInstrument siglent = rigol;
    siglent.sAddress = "192.168.77.11";
    siglent.sIdn = IdnSiglent;
    Sim::uLanInstrument rohde;
    rohde.sAddress = "192.168.77.12";
    rohde.sIdn = IdnRohde;
    rohde.fRawTcp = rohde.fRawUdp = true;

    Sim::uLanInstrument port0;
    port0.iSubnet = 1;
    port0.sAddress = "192.168.78.20";
    // Port 0, a reply that ends before its port, and one whose verifier would reach far
    // beyond the datagram.
    port0.lPortmapReplies = {{0, 0}, {0, 4000, 0, 24}, {0, 4000, 0xFFFFFF00}};
    Sim::uLanInstrument wrongXId = port0;
    wrongXId.sAddress = "192.168.78.21";
    wrongXId.lPortmapReplies = {{1, 1234}};
    // Answers every broadcast twice; its portmapper is UDP only, its raw answer is no
    // identification at all.
    Sim::uLanInstrument repeated;
    repeated.iSubnet = 1;
    repeated.sAddress = "192.168.78.22";
    repeated.sIdn = IdnRepeated;
    repeated.fVxi11 = true;
    repeated.iVxi11Port = RepeatedPort;
    repeated.lPortmapReplies = {{0, RepeatedPort}, {0, RepeatedPort}};
    repeated.fRawTcp = repeated.fRawUdp = true;
    repeated.iRawUdpAnswers = 2;
    repeated.sRawUdpAnswer = "?";
    // A raw datagram responder with no SCPI port behind it, and a portmapper that names a core
    // port where nothing listens.
    Sim::uLanInstrument deadRaw;
    deadRaw.iSubnet = 2;
    deadRaw.sAddress = "192.168.79.30";
    deadRaw.fRawUdp = true;
    Sim::uLanInstrument deadVxi11;
    deadVxi11.iSubnet = 2;
    deadVxi11.sAddress = "192.168.79.31";
    deadVxi11.lPortmapReplies = {{0, 4000}};
    Sim::uLanInstrument noise;
    noise.iSubnet = 2;
    noise.sAddress = "192.168.79.32";
    noise.fRawTcp = noise.fRawUdp = true;
    noise.sIdn = std::string("\x80\xF8\x00\xFE\x78\x80\xE0\x00\xF8\x86\x1E\xFC", 12);
    noise.sAnswerEnd = "";
    Sim::uLanInstrument empty;
    empty.iSubnet = 2;
    empty.sAddress = "192.168.79.33";
    empty.fVxi11 = true;
    empty.sIdn = "";
    return {rigol, siglent, rohde, port0, wrongXId, repeated, deadRaw, deadVxi11, noise, empty};
}

uSearchAddress On(const Sim::uLanSubnet& subnet) {
    uSearchAddress address;
    address.sLocalIp = subnet.sPcAddress;
    address.sDestinationIp = Sim::LanNetwork::Broadcast(subnet);
    address.iTimeout = 1000;
    return address;
}

class InstrumentSearchLanTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        // Before the first thread of the process: the instruments are forked from it.
        pNetwork = new Sim::LanNetwork;
        fNetwork = pNetwork->Start({Lab, Bench, Dead}, Instruments(), sWhyNot);
    }
    static void TearDownTestSuite() {
        delete pNetwork;
        pNetwork = nullptr;
    }
    void SetUp() override {
        if (!fNetwork) GTEST_SKIP() << sWhyNot;
        SearchSupport::Start();
        pRecorder = std::make_unique<SearchSupport::Recorder>(Window);
    }
    void TearDown() override {
        if (pRecorder) recorder().WaitForChains(SearchSupport::Listed());
        SearchSupport::ReleaseAll();
    }
    SearchSupport::Recorder& recorder() { return *pRecorder; }

    // Runs a search and waits for its end and for every chain.
    void Search(uStartSearch order) {
        order.iWindow = Window;
        const int iEnds = recorder().Ends();
        std::string sError;
        ASSERT_TRUE(InstrumentSearch::StartSearch(&order, sError)) << sError;
        ASSERT_TRUE(recorder().WaitForEnds(iEnds + 1));
        ASSERT_TRUE(recorder().WaitForChains(SearchSupport::Listed()));
    }

    // The listed instruments by protocol and address, as "LXI 192.168.77.10".
    static std::map<std::string, InstrumentObject> ByAddress() {
        std::map<std::string, InstrumentObject> found;
        for (const auto& object : SearchSupport::Listed()) {
            const uTaskPrepare p = SearchSupport::InfoOf(object).connection;
            const std::string sKey = std::string(Instrument::ProtocolText(p.eProtocol)) + " " +
                                     (p.eInterface == InterfaceVxi11 ? p.vxi11.sInstrumentIp : p.rawTcp.sInstrumentIp);
            EXPECT_FALSE(found.contains(sKey)) << "listed twice: " << sKey;
            found[sKey] = object;
        }
        return found;
    }

    static inline Sim::LanNetwork* pNetwork = nullptr;
    static inline bool fNetwork = false;
    static inline std::string sWhyNot;
    std::unique_ptr<SearchSupport::Recorder> pRecorder;
};

TEST_F(InstrumentSearchLanTest, FindsAndIdentifiesTwoVxi11AndOneRawInstrument) {
    uStartSearch order;
    order.fLxi = order.fRawTcp = 1;
    order.lAddress = {On(Lab)};
    Search(order);
    auto found = ByAddress();
    ASSERT_EQ(found.size(), 3u);
    for (const std::string sAddress : {"LXI 192.168.77.10", "LXI 192.168.77.11"}) {
        ASSERT_TRUE(found.contains(sAddress)) << sAddress;
        const uTaskPrepare p = SearchSupport::InfoOf(found[sAddress]).connection;
        EXPECT_EQ(p.head.iEvent, EventSearchFinished);
        EXPECT_EQ(p.head.iWindow, Window);
        EXPECT_EQ(p.eProtocol, ProtocolLxi);
        EXPECT_EQ(p.eInterface, InterfaceVxi11);
        EXPECT_EQ(p.vxi11.sAdapterIp, "192.168.77.1");
        EXPECT_EQ(p.vxi11.iPortmapperPort, 111);
        // The simulator's own port, as its portmapper told it.
        EXPECT_GT(p.vxi11.iCorePort, 0);
        EXPECT_NE(p.vxi11.iCorePort, 111);
    }
    ASSERT_TRUE(found.contains("RawTCP 192.168.77.12"));
    const uTaskPrepare raw = SearchSupport::InfoOf(found["RawTCP 192.168.77.12"]).connection;
    EXPECT_EQ(raw.eProtocol, ProtocolRawTcp);
    EXPECT_EQ(raw.eInterface, InterfaceRawTcp);
    EXPECT_EQ(raw.rawTcp.sAdapterIp, "192.168.77.1");
    EXPECT_EQ(raw.rawTcp.iPort, 5025);

    // Each was connected, identified and disconnected by its search chain.
    const std::map<std::string, std::pair<std::string, std::int64_t>> expected = {
        {"LXI 192.168.77.10", {IdnRigol, ModelRigolDS1000Z}},
        {"LXI 192.168.77.11", {IdnSiglent, ModelSiglentSDS2000XPlusCh4}},
        {"RawTCP 192.168.77.12", {IdnRohde, ModelRohdeSchwarzRTB2000Ch4}}};
    for (const auto& [sAddress, idn] : expected) {
        const InstrumentObject& object = found[sAddress];
        EXPECT_EQ(recorder().ErrorsOf(object), std::vector<std::string>{}) << sAddress;
        const auto events = recorder().TasksOf(object);
        ASSERT_EQ(events.size(), 1u) << sAddress;
        EXPECT_EQ(events[0].iType, InstrumentTaskIdentified);
        const uInfo info = SearchSupport::InfoOf(object);
        EXPECT_EQ(info.idn.sIdn, idn.first);
        EXPECT_EQ(info.connection.eModel, idn.second) << sAddress;
        EXPECT_FALSE(object->pInterface->IsConnected(*object));
    }
}

TEST_F(InstrumentSearchLanTest, RepeatedAnswersAndASecondAdapterFindTheListedObject) {
    uStartSearch order;
    order.fLxi = order.fRawTcp = 1;
    // The lab twice, as through two adapters, and an instrument that answers everything twice.
    order.lAddress = {On(Lab), On(Lab), On(Bench)};
    Search(order);
    auto found = ByAddress();
    EXPECT_EQ(found.size(), 5u);
    EXPECT_TRUE(found.contains("LXI 192.168.78.22"));
    EXPECT_TRUE(found.contains("RawTCP 192.168.78.22"));
    EXPECT_TRUE(found.contains("LXI 192.168.77.10"));
    EXPECT_TRUE(found.contains("LXI 192.168.77.11"));
    EXPECT_TRUE(found.contains("RawTCP 192.168.77.12"));
    // Each answer was one object (ByAddress checks that none is listed twice); the raw answer
    // "?" counts like any other.
    EXPECT_EQ(SearchSupport::Listed().size(), 5u);
    EXPECT_EQ(SearchSupport::InfoOf(found["RawTCP 192.168.78.22"]).connection.rawTcp.iPort, 5025);
}

TEST_F(InstrumentSearchLanTest, InvalidGetPortAnswersAreLoggedAndCreateNothing) {
    uStartSearch order;
    order.fLxi = 1;
    order.fUdpOnly = 1;
    order.lAddress = {On(Bench)};
    Search(order);
    const auto& log = recorder().LogLines();
    EXPECT_EQ(std::count(log.begin(), log.end(),
                         "InstrumentSearch::SearchLanLxi: Ungültigen Port 0 erhalten von IP-Adresse 192.168.78.20 - "
                         "RpcVxi::CheckRpcDataGetPort: Der empfangene Port ist nicht gültig. Port = 0"),
              1);
    EXPECT_EQ(recorder().CountLog("InstrumentSearch::SearchLanLxi: Ungültigen Port 0 erhalten von IP-Adresse "
                                  "192.168.78.21 - RpcVxi::CheckRpcDataXId: Die XID stimmt nicht mit den empfangenen "
                                  "Daten überein. iXId = $1 - iDataXId = $2"),
              1);
    // Every reply is read only within the bytes that arrived.
    EXPECT_EQ(std::count(log.begin(), log.end(),
                         "InstrumentSearch::SearchLanLxi: Ungültigen Port 0 erhalten von IP-Adresse 192.168.78.20 - "
                         "RpcVxi::CheckRpcDataGetPort: Es sind nicht genügend Daten vorhanden - die Antwort endet vor "
                         "dem erwarteten Wert. iDataLength = 24"),
              1);
    EXPECT_EQ(recorder().CountLog("InstrumentSearch::SearchLanLxi: Ungültigen Port 0 erhalten von IP-Adresse "
                                  "192.168.78.20 - RpcVxi::CheckRpcDataAcceptState: Es sind nicht genügend Daten "
                                  "vorhanden"),
              1);
    EXPECT_EQ(log.size(), 4u) << ::testing::PrintToString(log);
    const auto found = ByAddress();
    ASSERT_EQ(found.size(), 1u);
    EXPECT_TRUE(found.contains("LXI 192.168.78.22"));
}

// A hit whose chain cannot connect stays listed without identification; one log line names
// where it was found and why.
TEST_F(InstrumentSearchLanTest, AHitThatCannotBeIdentifiedIsLoggedOnceWithItsAddress) {
    uStartSearch order;
    order.fLxi = order.fRawTcp = 1;
    order.fUdpOnly = 1;
    order.lAddress = {On(Dead)};
    Search(order);
    EXPECT_EQ(ByAddress().size(), 4u);
    const std::pair<const char*, const char*> aExpected[] = {
        {"192.168.79.30:5025", "InstrumentDefault::ConnectRawTcp: The network connection to the RawTCP instrument "
                               "could not be established. - RawTcp::Connect: The network connection could not be "
                               "created. Network adapter: 192.168.79.1 Instrument: 192.168.79.30:5025 - "
                               "TcpSocket::Connect: Connection refused."},
        {"192.168.79.31 (VXI-11)", "InstrumentDefault::ConnectVxi: The network connection to the LXI instrument could "
                                   "not be established. - Lxi::Connect: The network connection could not be created. "
                                   "Network adapter: 192.168.79.1 Instrument: 192.168.79.31:4000 - "
                                   "TcpSocket::Connect: Connection refused."},
        {"192.168.79.32:5025", "The identification (*IDN?) at 192.168.79.32:5025 got 12 bytes that are no text: "
                               "check the connection's settings (port 5025, end text line feed). - "},
        {"192.168.79.33 (VXI-11)", "The instrument answered the identification (*IDN?) at 192.168.79.33 with an "
                                   "empty line: check the instrument's settings for remote control. - "}};
    for (const auto& [sWhere, sReason] : aExpected) {
        const std::string sLine = std::string("InstrumentSearch: The instrument found at ") + sWhere +
                                  " could not be identified. " + sReason;
        EXPECT_EQ(recorder().CountLog(sLine), 1) << sLine << "\n" << ::testing::PrintToString(recorder().LogLines());
    }
    EXPECT_EQ(recorder().LogLines().size(), 4u);
}

TEST_F(InstrumentSearchLanTest, AnInstrumentFoundOverUdpOnlyKeepsThePortItsPortmapperNamed) {
    for (const bool fUdpOnly : {true, false}) {
        SCOPED_TRACE(fUdpOnly ? "UDP only" : "with the probe over TCP, which this portmapper does not serve");
        uStartSearch order;
        order.fLxi = 1;
        order.fUdpOnly = fUdpOnly;
        order.lAddress = {On(Bench)};
        Search(order);
        const auto found = ByAddress();
        ASSERT_TRUE(found.contains("LXI 192.168.78.22"));
        const InstrumentObject object = found.at("LXI 192.168.78.22");
        const uInfo info = SearchSupport::InfoOf(object);
        EXPECT_EQ(info.connection.vxi11.iPortmapperPort, 111);
        EXPECT_EQ(info.connection.vxi11.iCorePort, RepeatedPort);
        // So its chain reaches the instrument on that port.
        EXPECT_EQ(recorder().ErrorsOf(object), std::vector<std::string>{});
        EXPECT_EQ(info.idn.sIdn, IdnRepeated);
        SearchSupport::ReleaseAll();
    }
}

TEST_F(InstrumentSearchLanTest, ABindFailureEndsOnlyThatAdapter) {
    uStartSearch order;
    order.fLxi = 1;
    uSearchAddress stale = On(Lab);
    stale.sLocalIp = "10.99.99.99"; // an address this PC does not have
    order.lAddress = {stale, On(Lab)};
    Search(order);
    EXPECT_EQ(recorder().LogLines(),
              std::vector<std::string>{"InstrumentSearch::SearchLanLxi: Das UDP-Socket konnte nicht verbunden werden: "
                                       "Code: 99; Cannot assign requested address"});
    const auto found = ByAddress();
    EXPECT_EQ(found.size(), 2u);
    EXPECT_TRUE(found.contains("LXI 192.168.77.10"));
    EXPECT_TRUE(found.contains("LXI 192.168.77.11"));
}

// Runs a program in this process's network and returns what it printed (bounded).
std::string Output(const std::vector<std::string>& args, int iTimeoutMs) {
    // Everything the child needs is made before the fork: other threads may hold locks.
    std::vector<char*> argv;
    for (const std::string& s : args) argv.push_back(const_cast<char*>(s.c_str()));
    argv.push_back(nullptr);
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) return "";
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(out[1], 1);
        dup2(out[1], 2);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(out[1]);
    std::string sText;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(iTimeoutMs);
    pollfd p{out[0], POLLIN, 0};
    char buffer[512];
    for (;;) {
        const auto iLeft =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
        if (iLeft <= 0 || poll(&p, 1, static_cast<int>(iLeft)) <= 0) break;
        const ssize_t n = read(out[0], buffer, sizeof buffer);
        if (n <= 0) break;
        sText.append(buffer, static_cast<std::size_t>(n));
    }
    close(out[0]);
    if (pid > 0) {
        kill(pid, SIGKILL);
        int iStatus = 0;
        waitpid(pid, &iStatus, 0);
    }
    return sText;
}

// This checks the simulators against another VXI-11 client, not the program.
TEST_F(InstrumentSearchLanTest, LxiDiscoverFindsTheSameVxi11Simulators) {
    if (access("/usr/bin/lxi", X_OK) != 0) GTEST_SKIP() << "lxi-tools are not installed (/usr/bin/lxi)";

    const std::string sOutput = Output({"/usr/bin/lxi", "discover", "-t", "2"}, 20000);
    EXPECT_NE(sOutput.find("192.168.77.10"), std::string::npos) << sOutput;
    EXPECT_NE(sOutput.find("192.168.77.11"), std::string::npos) << sOutput;
    EXPECT_NE(sOutput.find("DS1104Z"), std::string::npos) << sOutput;
    EXPECT_NE(sOutput.find("SDS2104X Plus"), std::string::npos) << sOutput;
}

} // namespace
