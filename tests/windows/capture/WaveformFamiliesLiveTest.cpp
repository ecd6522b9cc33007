// The request lists and answer checks end to end: the pump with real timers and the event hub
// drives an instrument object connected over raw TCP to each simulated oscilloscope family;
// "Refresh" fills the channel data, and a read leaves in the record exactly the bytes the
// simulator generated, parts joined under a header rewritten to the total.
#include "PumpTestSupport.h"

#include "waveform/ScopeReadSupport.h"

#include "common/EventData.h"
#include "common/TestApplication.h"
#include "instrument/Instrument.h"
#include "instrument/ModelTable.h"
#include "instrument/TaskRecords.h"
#include "instrument/WaveformSources.h"
#include "platform/EventHub.h"
#include "platform/ProgramEvents.h"
#include "platform/WindowRegistry.h"
#include "sim/HamegScope.h"
#include "sim/RawTcpServer.h"
#include "sim/RigolScope.h"
#include "sim/RtbScope.h"
#include "sim/SiglentScope.h"
#include "transport/BlockHeader.h"
#include "waveform/WaveformDataRTB2000.h"
#include "waveform/WaveformDataSiglent.h"
#include "waveform/WaveformReaders.h"
#include "windows/capture/WaveformChecks.h"
#include "windows/capture/WaveformRequests.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <deque>
#include <fstream>
#include <iostream>
#include <functional>
#include <string>
#include <vector>

namespace {

// A window whose read list is the family's.
class FamilyWindow : public PumpTest::RecordingWindow {
  public:
    std::size_t CreateSendRequestList(uWaveformPump& pump) override {
        return WaveformRequests::CreateSendRequestList(pump, options, eSource, channels);
    }
    void SaveWaveform(uWaveformPump& pump) override {
        mSavedRecords.push_back(pump.pRecord);
        WaveformPump::SaveEnded(pump);
    }
    uWaveformOptionState options;
    std::int64_t eSource = DataSourceScreen;
    std::vector<std::int64_t> channels;
};

class WaveformFamiliesLiveTest : public ::testing::Test {
  public:
    void SetUp() override {
        TestApplication::EnsureCore();
        EventHub::Init();
        WaveformChecks::Install();
        std::string sError;
        ASSERT_TRUE(server.Start(sError)) << sError;
        iWindow = WindowRegistry::NewWindowNumber();
        timers = WaveformWindowTimers(iWindow);
    }
    void Connect(std::int64_t eModel, const std::string& sModel, int iTimeout = 20000) {
        std::string sError;
        pObject = Instrument::Create(sError);
        ASSERT_TRUE(pObject) << sError;
        uTaskPrepare prepare;
        prepare.head = {InstrumentTaskPrepare, 0, WindowNobody};
        prepare.eProtocol = prepare.eInterface = InterfaceRawTcp;
        prepare.rawTcp = {"127.0.0.1", "127.0.0.1", server.Port()};
        // The connection knows its model, as the instrument list's does: its answer end follows it.
        prepare.eModel = eModel;
        ASSERT_NE(pObject->pInterface->AddTask(*pObject, prepare, sError), 0) << sError;
        ASSERT_NE(pObject->pInterface->AddTask(*pObject, uTaskConnect{{InstrumentTaskConnect, 0, WindowNobody}}, sError),
                  0);
        ASSERT_NE(pObject->pInterface->AddTask(*pObject, uTaskTimeout{{InstrumentTaskTimeout, 0, WindowNobody}, iTimeout},
                                               sError),
                  0);
        ASSERT_TRUE(RunUntil([&] { return pObject->pInterface->IsConnected(*pObject); }, 10000));
        pump.iWindow = iWindow;
        pump.pWindow = &window;
        pump.pTimers = &timers;
        WaveformPump::SetInstrument(pump, {pObject, true, true, eModel, "MAKER", sModel});
        WaveformPump::Bind(pump);
        fBound = true;
    }
    void TearDown() override {
        if (HasFailure() || getenv("SHOWLOG"))
            for (const std::string& s : window.mLog) std::cerr << "log: " << s << "\n";
        WaveformPump::SetChecks({});
        if (fBound) {
            WaveformPump::StopRequestData(pump);
            WaveformPump::Unbind(pump);
        }
        WindowRegistry::Release(iWindow);
        std::string sError;
        Instrument::ReleaseAll(true, 0, sError);
        server.Stop();
        Utility::EventDataClear();
    }
    static bool RunUntil(const std::function<bool()>& condition, int iMs) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(iMs);
        while (!condition()) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        }
        return true;
    }
    // The read has ended: worked off, or stopped by an error (which leaves the rest of the list).
    bool Settled() const {
        return !WindowRegistry::TimerActive(iWindow, WaveformPump::TimerPump) && !pump.fAutomatic &&
               EventHub::Pending() == 0 && pump.mOutstanding.empty();
    }
    void Refresh() {
        WaveformRequests::RefreshChannels(pump);
        ASSERT_TRUE(RunUntil([&] { return Settled(); }, 60000));
    }
    // One read; the record it filled.
    std::shared_ptr<uWaveformRecord> Read(std::int64_t eSource, std::vector<std::int64_t> channels) {
        window.eSource = eSource;
        window.channels = std::move(channels);
        WaveformPump::StartReading(pump, {});
        EXPECT_TRUE(RunUntil([&] { return Settled(); }, 120000));
        return pump.pRecord;
    }
    std::string LogText() const {
        std::string s;
        for (const std::string& sLine : window.mLog) s += sLine + "\n";
        return s;
    }
    bool LogHas(const std::string& sPart) const {
        for (const std::string& s : window.mLog)
            if (s.find(sPart) != std::string::npos) return true;
        return false;
    }
    std::vector<std::string> Commands() { return server.Device().Commands(); }
    // One channel of the record written as CSV: its lines from the column line on, without CR LF.
    std::vector<std::string> Written(const WaveformData::WaveformWriter& writer, const uWaveformRecordChannel& channel) {
        WaveformDataInstance instance;
        instance.iWindow = iWindow;
        const std::string sFile = folder.path().toStdString() + "/wave.csv";
        std::string sError;
        EXPECT_TRUE(writer(channel, {}, sFile, 0, 100, "Maker", "Model", 1, instance, sError)) << sError;
        std::ifstream file(sFile);
        std::vector<std::string> rows;
        for (std::string s; std::getline(file, s);)
            if (!rows.empty() || s.rfind("Number", 0) == 0) rows.push_back(s.substr(0, s.find('\r')));
        return rows;
    }
    static std::string Header(std::size_t iCount) {
        const std::string s = std::to_string(iCount);
        return "#9" + std::string(9 - s.size(), '0') + s;
    }

    Sim::RawTcpServer server;
    int iWindow = 0;
    InstrumentObject pObject;
    FamilyWindow window;
    WaveformWindowTimers timers{0};
    uWaveformPump pump;
    bool fBound = false;
    QTemporaryDir folder;
};

TEST_F(WaveformFamiliesLiveTest, RigolMemoryReadInPartsIsTheSimulatorsRecord) {
    Sim::RigolScope scope(Sim::RigolScope::eFamily::DS1000ZPlus);
    scope.Attach(server.Device());
    scope.ShowChannel(3, true);
    scope.ShowLogic(true);
    scope.ShowLine(2, true);
    scope.ShowLine(9, true);
    scope.SetLineLabel(2, "CLK");
    scope.SetMemoryDepth(600000);
    Connect(ModelRigolDS1000ZPlus, "MSO1104Z");
    Refresh();
    EXPECT_EQ(pump.mChannelData,
              (std::vector<std::int64_t>{WaveformChannel1, WaveformChannel3, WaveformLogicPod1, WaveformLogicPod2}));
    EXPECT_EQ(pump.sLogicAll, "D2,D9");
    ASSERT_EQ(pump.LogicLines.size(), 16u);
    EXPECT_EQ(pump.LogicLines[2].sLabel, "CLK");

    const auto pRecord = Read(DataSourceMemory, {WaveformChannel1, WaveformChannel3});
    ASSERT_TRUE(pRecord);
    ASSERT_EQ(pRecord->Channels.size(), 3u);
    for (int c : {1, 3}) {
        const uWaveformRecordChannel& channel = pRecord->Channels[c == 1 ? 1 : 2];
        std::string sExpected = Header(600000);
        for (std::size_t i = 0; i < 600000; ++i) sExpected += static_cast<char>(Sim::RigolScope::AnalogSample(c, i));
        const std::string sData(channel.pData.view());
        ASSERT_GT(sData.size(), sExpected.size());
        EXPECT_TRUE(sData.compare(0, sExpected.size(), sExpected) == 0) << c;
        EXPECT_EQ(sData[sExpected.size()], ';'); // the preamble and unit follow the block
        EXPECT_EQ(channel.iTotalPoints, 600000);
        EXPECT_EQ(channel.sFileChannel, "CHAN" + std::to_string(c));
    }
    const std::vector<std::string> commands = Commands();
    EXPECT_NE(std::find(commands.begin(), commands.end(), ":WAV:STAR 500001"), commands.end());
    EXPECT_NE(std::find(commands.begin(), commands.end(), ":WAV:STOP 600000"), commands.end());
    EXPECT_TRUE(LogHas("MSO1104Z - Waveform Points: "));
    EXPECT_FALSE(LogHas("Error"));
}

// A DS1000Z knows no :CALCulate subsystem: its math display state is ":MATH:DISP?". A refresh
// and a screen read get every answer they ask for, joined or one message each, and leave no
// error in the instrument's queue; the time-out of five minutes would not let either settle if
// one answer were waited for.
TEST_F(WaveformFamiliesLiveTest, DS1000ZRefreshAndScreenReadAskOnlyWhatItKnows) {
    Sim::RigolScope scope(Sim::RigolScope::eFamily::DS1000Z);
    scope.Attach(server.Device());
    scope.ShowChannel(3, true);
    scope.SetMathMode("ADD");
    Connect(ModelRigolDS1000Z, "DS1104Z", 300000);
    for (const int iPause : {0, 1}) {
        server.Device().SetSeparateAnswers(iPause);
        Refresh();
        EXPECT_EQ(pump.mChannelData, (std::vector<std::int64_t>{WaveformChannel1, WaveformChannel3, WaveformMath}));
        const auto pRecord = Read(DataSourceScreen, {WaveformChannel3, WaveformMath});
        ASSERT_TRUE(pRecord);
        ASSERT_EQ(pRecord->Channels.size(), 3u) << LogText();
        EXPECT_EQ(pRecord->Channels[2].sFileChannel, "MATH");
        EXPECT_FALSE(LogHas("Error")) << iPause;
        EXPECT_EQ(server.Device().StatusByte() & 4, 0) << "an error is queued";
    }
    const std::vector<std::string> commands = Commands();
    EXPECT_NE(std::find(commands.begin(), commands.end(), ":MATH:DISP?"), commands.end());
    EXPECT_EQ(std::find(commands.begin(), commands.end(), ":CALC:MODE?"), commands.end());
}

TEST_F(WaveformFamiliesLiveTest, SiglentChannelAndShownLinesWithDat2Blocks) {
    Sim::SiglentScope scope(Sim::SiglentScope::eModel::SDS2104XPlus);
    scope.Attach(server.Device());
    scope.ShowChannel(2, true);
    scope.ShowLogic(true);
    scope.ShowLine(5, true);
    scope.SetLineLabel(5, "SDA");
    scope.SetMemoryDepth(30000);
    scope.SetLineDepth(1001);
    scope.SetPointsAsInteger(true);
    // A line block counts points; the pump tells the stream transport so, which ends the answer
    // behind the packed bytes: with a time-out of two minutes a read that waited for 1001 bytes
    // would not settle in time.
    Connect(ModelSiglentSDS2000XPlusCh4, "SDS2104X Plus", 120000);
    Refresh();
    EXPECT_EQ(pump.mChannelData, (std::vector<std::int64_t>{WaveformChannel1, WaveformChannel2, WaveformLogic}));
    EXPECT_EQ(pump.sLogicAll, "D5");
    EXPECT_EQ(pump.LogicLines[5].sLabel, "SDA");

    const auto pRecord = Read(DataSourceMemory, {WaveformChannel2, WaveformLogic});
    ASSERT_TRUE(pRecord);
    ASSERT_EQ(pRecord->Channels.size(), 3u);
    std::string sExpected = Header(30000);
    for (std::size_t i = 0; i < 30000; ++i)
        sExpected += static_cast<char>(static_cast<std::uint16_t>(Sim::SiglentScope::Sample(2, i)) >> 8);
    const std::string sData(pRecord->Channels[1].pData.view());
    ASSERT_GT(sData.size(), sExpected.size());
    EXPECT_TRUE(sData.compare(0, sExpected.size(), sExpected) == 0);
    EXPECT_EQ(sData.substr(sExpected.size(), 13), "\n;#9000000346"); // the descriptor behind the block
    const std::string sLine(pRecord->Channels[2].pData.view());
    EXPECT_EQ(sLine.substr(0, 11), Header(126));
    EXPECT_EQ(pRecord->Channels[2].sFileChannel, "D5");
    EXPECT_EQ(scope.DataRequests(), (std::vector<std::string>{"C2 0 30000", "D5 0 1001"}));
    EXPECT_FALSE(LogHas("Error"));
}

// Data blocks and descriptors behind "DAT2," and "DESC," and bare, and probes other than 1X: the
// file has the volts of the guide's reconstruction, code / codes per division x gain x probe -
// offset x probe.
TEST_F(WaveformFamiliesLiveTest, SiglentFilesHoldTheGuidesVoltsWithAndWithoutDat2AndDesc) {
    struct uCase {
        bool fPrefix, fDescPrefix;
        float fProbe;
        float fCodes;
    };
    Sim::SiglentScope scope(Sim::SiglentScope::eModel::SDS2104XPlus);
    scope.Attach(server.Device());
    scope.ShowChannel(2, true);
    scope.ShowLogic(true);
    scope.ShowLine(5, true);
    scope.SetMemoryDepth(3000);
    scope.SetLineDepth(1001);
    scope.SetPointsAsInteger(true);
    Connect(ModelSiglentSDS2000XPlusCh4, "SDS2104X Plus", 120000); // a line read waiting for its count would not settle
    Refresh();
    for (const uCase& c : {uCase{true, true, 1.0f, 30.0f}, uCase{false, false, 1.0f, 30.0f},
                           uCase{false, true, 10.0f, 30.0f}, uCase{true, false, 100.0f, 25.0f}}) {
        const std::string sCase = "prefix " + std::to_string(c.fPrefix) + ", DESC " + std::to_string(c.fDescPrefix) +
                                  ", probe " + std::to_string(c.fProbe);
        scope.SetDataPrefix(c.fPrefix);
        scope.SetDescriptorPrefix(c.fDescPrefix);
        scope.SetProbe(c.fProbe);
        scope.SetCodesPerDivision(c.fCodes);
        window.mLog.clear();
        const auto pRecord = Read(DataSourceMemory, {WaveformChannel2, WaveformLogic});
        ASSERT_TRUE(pRecord) << sCase;
        ASSERT_EQ(pRecord->Channels.size(), 3u) << sCase;
        EXPECT_EQ(std::string(pRecord->Channels[2].pData.view()).substr(0, 11), Header(126)) << sCase;
        EXPECT_FALSE(LogHas("Error")) << sCase;
        const std::vector<std::uint8_t> d = scope.Descriptor("C2");
        const auto at = [&](std::size_t o) {
            float f;
            std::memcpy(&f, d.data() + o, sizeof f);
            return static_cast<double>(f);
        };
        const std::vector<std::string> rows = Written(WaveformData::SaveWaveformSiglent, pRecord->Channels[1]);
        ASSERT_EQ(rows.size(), 3001u) << sCase;
        for (std::size_t i = 0; i < 3000; ++i) {
            const double dRaw = static_cast<std::int8_t>(static_cast<std::uint16_t>(Sim::SiglentScope::Sample(2, i)) >> 8);
            const double dVolts = dRaw / at(164) * at(156) * at(328) - at(160) * at(328);
            ASSERT_NEAR(std::stod(rows[i + 1].substr(rows[i + 1].rfind(',') + 1)), dVolts, 1e-9) << sCase << ", row " << i;
        }
    }
}

// A channel in A whose chained answers come joined, each as a message of its own, or each block
// as a message of its own with the data block's own line end (the guide's form): the window's
// file is in A every time.
TEST_F(WaveformFamiliesLiveTest, SiglentChannelKeepsItsUnitInEveryFraming) {
    Sim::SiglentScope scope(Sim::SiglentScope::eModel::SDS2104XPlus);
    scope.Attach(server.Device());
    scope.SetChannelUnit(1, "A");
    scope.SetMemoryDepth(3000);
    scope.SetPointsAsInteger(true);
    Connect(ModelSiglentSDS2000XPlusCh4, "SDS2104X Plus");
    Refresh();
    for (const auto& [iSeparateMs, iBlockMs] : {std::pair{0, 0}, {20, 0}, {0, 20}}) {
        server.Device().SetSeparateAnswers(iSeparateMs);
        server.Device().SetBlockMessages(iBlockMs);
        window.mLog.clear();
        const auto pRecord = Read(DataSourceMemory, {WaveformChannel1});
        ASSERT_TRUE(pRecord) << iSeparateMs << " " << iBlockMs;
        ASSERT_EQ(pRecord->Channels.size(), 2u) << LogText();
        EXPECT_FALSE(LogHas("Error")) << LogText();
        const std::vector<std::string> rows = Written(WaveformData::SaveWaveformSiglent, pRecord->Channels[1]);
        ASSERT_EQ(rows.size(), 3001u) << iSeparateMs << " " << iBlockMs;
        EXPECT_EQ(rows.front(), "Number,Time in s,Sample in A") << iSeparateMs << " " << iBlockMs;
    }
}

TEST_F(WaveformFamiliesLiveTest, RtbWholeTracesWithAcquireTypeAndBitWidth) {
    Sim::RtbScope scope(true);
    scope.Attach(server.Device());
    scope.ShowChannel(2, true);
    scope.SetAcquireType("AVER");
    Connect(ModelRohdeSchwarzRTB2000Ch4, "RTB2004");
    Refresh();
    EXPECT_EQ(pump.mChannelData, (std::vector<std::int64_t>{WaveformChannel1, WaveformChannel2}));
    EXPECT_EQ(pump.iAcquireType, 2);
    const auto pRecord = Read(DataSourceScreen10Bit, {WaveformChannel2});
    ASSERT_TRUE(pRecord);
    ASSERT_EQ(pRecord->Channels.size(), 2u);
    EXPECT_EQ(pRecord->eAcquireType, 2);
    EXPECT_EQ(scope.Format(), "UINT,32"); // the average widens the samples
    const uWaveformRecordChannel& channel = pRecord->Channels[1];
    EXPECT_EQ(channel.iTotalPoints, 1200);
    EXPECT_EQ(channel.eAcquireType, 2);
    const std::string sData(channel.pData.view());
    EXPECT_EQ(sData[0], '#');
    EXPECT_TRUE(LogHas("RTB2004 - Waveform AcquireType: Average"));
    EXPECT_TRUE(scope.Running()); // a screen read does not stop
}

// Each channel names its values in the unit of its own probe.
TEST_F(WaveformFamiliesLiveTest, RtbChannelsTakeTheUnitOfTheirOwnProbe) {
    Sim::RtbScope scope(true);
    scope.Attach(server.Device());
    scope.ShowChannel(2, true);
    scope.ShowChannel(3, true);
    scope.SetProbeUnit(2, "A");
    Connect(ModelRohdeSchwarzRTB2000Ch4, "RTB2004");
    Refresh();
    const auto pRecord = Read(DataSourceScreen, {WaveformChannel1, WaveformChannel2, WaveformChannel3});
    ASSERT_TRUE(pRecord);
    ASSERT_EQ(pRecord->Channels.size(), 4u);
    for (const auto& [iChannel, sUnit] : {std::pair<std::size_t, std::string>{1, "V"}, {2, "A"}, {3, "V"}}) {
        const std::vector<std::string> rows = Written(WaveformData::SaveWaveformRTB2000, pRecord->Channels[iChannel]);
        ASSERT_FALSE(rows.empty()) << "CH" << iChannel;
        EXPECT_EQ(rows.front(), "Number,Time in s,Sample in " + sUnit) << "CH" << iChannel;
    }
}

TEST_F(WaveformFamiliesLiveTest, HamegScreenTraceAndOptionRowsInPlace) {
    Sim::HamegScope scope(Sim::HamegScope::eModel::HM2008);
    scope.Attach(server.Device());
    scope.SetCatalogue("CH1,CH2,POD1");
    Connect(ModelHamegHM2008, "HMO2024");
    Refresh();
    EXPECT_EQ(pump.mChannelData,
              (std::vector<std::int64_t>{WaveformChannel1, WaveformChannel2, WaveformLogicPod1}));
    window.options.fBefore = window.options.fStop = 1;
    window.options.sStop = ":ACQ:STAT STOP";
    window.options.fAfter = window.options.fRun = 1;
    window.options.sRun = ":ACQ:STAT RUN";
    const std::size_t iFirst = Commands().size();
    const auto pRecord = Read(DataSourceScreen, {WaveformChannel2});
    ASSERT_TRUE(pRecord);
    ASSERT_EQ(pRecord->Channels.size(), 2u);
    const std::string sData(pRecord->Channels[1].pData.view());
    const std::string sDescription = scope.Description("CH2");
    ASSERT_GT(sData.size(), sDescription.size());
    EXPECT_EQ(sData.substr(0, 10), ":TRAC:DATA");
    EXPECT_NE(sData.find(sDescription), std::string::npos);
    // The last command has no answer: the read ends when it is sent, maybe before the scope took it.
    RunUntil([&] { return Commands().size() >= iFirst + 7; }, 10000);
    const std::vector<std::string> all = Commands();
    EXPECT_EQ(std::vector<std::string>(all.begin() + static_cast<std::ptrdiff_t>(iFirst), all.end()),
              (std::vector<std::string>{":ACQ:STAT STOP", ":TRAC:POIN DEF", ":TRAC:FORM BYTE", ":TRAC:BORD LSBF",
                                        ":TRAC:SOUR CH2", ":TRAC?", ":ACQ:STAT RUN"}));
}

// A fault of the simulated instrument or of its device, and the error text it must leave.
template <class Scope> struct uFault {
    const char* sName;
    std::function<void(Scope&, Sim::ScpiDevice&)> apply;
    std::string sError;
};

// One memory read per fault: each must log its error, and no command of the read may carry a
// placeholder or one of the bad texts (an empty part window). Then a sound read of the channel
// of iPoints points shows that the instrument and the pump are fit again.
template <class Scope>
void ExpectFaultsLogged(WaveformFamiliesLiveTest& test, Scope& scope, const std::vector<uFault<Scope>>& faults,
                        const std::vector<std::int64_t>& channels, const std::vector<std::string>& bad,
                        std::int64_t iPoints) {
    for (const uFault<Scope>& fault : faults) {
        test.window.mLog.clear();
        scope.SetPointsAnswer("");
        fault.apply(scope, test.server.Device());
        const std::size_t iFirst = test.Commands().size();
        test.Read(DataSourceMemory, channels);
        EXPECT_TRUE(test.LogHas(fault.sError)) << fault.sName << "\n" << test.LogText();
        const std::vector<std::string> all = test.Commands();
        for (std::size_t i = iFirst; i < all.size(); ++i) {
            EXPECT_EQ(all[i].find('%'), std::string::npos) << fault.sName << ": " << all[i];
            for (const std::string& sBad : bad) EXPECT_NE(all[i], sBad) << fault.sName;
        }
    }
    test.server.Device().SwallowAnswers(0);
    scope.SetPointsAnswer("");
    test.window.mLog.clear();
    const auto pRecord = test.Read(DataSourceMemory, {channels.back()});
    ASSERT_TRUE(pRecord);
    ASSERT_EQ(pRecord->Channels.size(), 2u);
    EXPECT_EQ(pRecord->Channels[1].iTotalPoints, iPoints);
    // Every point is in the block (one byte each), also where the parts came smaller than asked.
    const std::string_view sData = pRecord->Channels[1].pData.view();
    EXPECT_EQ(std::stoll(std::string(sData.substr(2, static_cast<std::size_t>(sData.at(1) - '0')))), iPoints);
    EXPECT_FALSE(test.LogHas("Error")) << test.LogText();
}

// A row that both roads read: the scope's set-up, whether the channel comes whole, the pieces asked.
template <class Scope> struct uRoads {
    const char* sName;
    std::function<void(Scope&)> set;
    bool fWhole;
    std::vector<std::string> asked = {};
};

// Each row read by the window's pump (channel eWindow) and a script's waveform task (eScript), each
// from a scope of its own set up alike: the channel comes whole with the first row's samples or
// not at all, and the pieces asked are the row's (the window's among those it sent ahead).
template <class Scope, class... Args>
void ExpectBothRoads(WaveformFamiliesLiveTest& test, std::int64_t eModel, std::int64_t eSource, std::int64_t eWindow,
                     std::int64_t eScript, const std::vector<uRoads<Scope>>& rows, Args... args) {
    std::deque<Scope> scopes; // each attached to a device for the test's length
    Sim::RawTcpServer other;
    std::string sError, sFirst;
    ASSERT_TRUE(other.Start(sError)) << sError;
    WaveformReaders::Register();
    ScopeRead::Session session;
    for (auto* p : {&test.server, &other}) rows.front().set(scopes.emplace_back(args...)), scopes.back().Attach(p->Device());
    test.Connect(eModel, "MODEL", 3000);
    ASSERT_TRUE(session.Open(ScopeRead::RawPrepare(other.Port()), eModel, sError)) << sError;
    test.Refresh();
    for (const uRoads<Scope>& row : rows) {
        std::string sData[2];
        std::vector<std::string> asked[2];
        for (const int i : {0, 1}) {
            Scope& scope = scopes.emplace_back(args...);
            scope.Attach((i == 0 ? test.server : other).Device());
            row.set(scope);
            if (i == 0) {
                test.window.mStatus.clear();
                const auto pRecord = test.Read(eSource, {eWindow});
                for (const std::string& s : test.window.mStatus) // a whole channel shows no failure
                    EXPECT_TRUE(!row.fWhole || s.find("could not") == std::string::npos) << row.sName << ": " << s;
                const std::string_view v = pRecord && pRecord->Channels.size() > 1 ? pRecord->Channels[1].pData.view() : "";
                std::uint64_t n = 0; // a read that stopped may leave its channel without a block
                if (const std::size_t h = Instrument::ParseBlockHeaderOnly(reinterpret_cast<const std::uint8_t*>(v.data()), 0, v.size(), &n))
                    sData[0] = v.substr(h, n);
            } else if (const auto r = session.Read(ScopeRead::Task(eSource, 4, {eScript, WaveformAllVisible})); r.pData) {
                for (const auto& c : r.pData->AnalogChannels) sData[1] += c.eWaveform == eScript ? c.samples.view() : "";
                for (const auto& c : r.pData->DigitalChannels) sData[1] += c.eWaveform == eScript ? c.samples.view() : "";
            }
            if constexpr (requires { scope.DataRequests(); }) asked[i] = scope.DataRequests();
        }
        if (sFirst.empty()) sFirst = sData[1];
        for (const int i : {0, 1}) {
            const std::string sRow = row.sName + std::string(i == 0 ? " (window)" : " (script)");
            EXPECT_TRUE(sData[i] == (row.fWhole ? sFirst : "")) << sRow << "\n" << test.LogText();
            auto it = asked[i].begin();
            for (const std::string& s : row.asked) EXPECT_NE(it = std::find(it, asked[i].end(), s), asked[i].end()) << sRow;
            if (!row.asked.empty()) EXPECT_EQ(asked[i].empty() ? "" : asked[i][0], row.asked[0]) << sRow;
        }
    }
}

TEST_F(WaveformFamiliesLiveTest, SiglentOddAndFaultyAnswersGiveTheSameRecordOnBothRoads) {
    using S = Sim::SiglentScope;
    const auto most = [](std::int64_t i, std::int64_t a = 0, const char* s = "", S::eFault f = S::eFault::None) {
        return [=](S& x) { x.SetMemoryDepth(10000), x.SetPointsAsInteger(true), x.SetMaxPoint(i, a), x.SetMaxPointText(s), x.SetFault(f); };
    };
    const std::vector<std::string> one = {"C1 0 10000"}, bytes = {"C1 0 4000", "C1 3999 3999", "C1 7998 2002"};
    ExpectBothRoads<S>(*this, ModelSiglentSDS2000XPlusCh4, DataSourceMemory, WaveformChannel1, WaveformChannel1,
                       {{"one piece", most(0), true, one}, {"MAXPoint absent", most(0, 0, "?"), true, one},
                        {"MAXPoint 0", most(0, 0, "0"), true, one}, {"MAXPoint 1", most(0, 0, "1"), true, one},
                        {"MAXPoint 7", most(0, 0, "7"), true, one}, {"MAXPoint beyond", most(0, 20000), true, one},
                        {"2 pieces", most(5000), true, {"C1 0 5000", "C1 5000 5000"}},
                        {"4 pieces", most(2500), true, {"C1 0 2500", "C1 2500 2500", "C1 5000 2500", "C1 7500 2500"}},
                        {"short pieces", most(3000, 4000), true, {"C1 0 4000", "C1 3000 3000", "C1 6000 3000", "C1 9000 1000"}},
                        {"a piece a byte short", most(4000, 0, "", S::eFault::OddBytes), true, bytes},
                        {"a block announcing more than it sends", most(4000, 0, "", S::eFault::ShortBlock), false},
                        {"a block announcing fewer than it sends", most(4000, 0, "", S::eFault::LongBlock), false}},
                       S::eModel::SDS2104XPlus);
    const auto lines = [](std::int64_t i, std::int64_t a) {
        return [=](S& s) { s.SetLineDepth(10001), s.SetPointsAsInteger(true), s.ShowLogic(true), s.ShowLine(5, true), s.SetMaxPoint(i, a); };
    };
    ExpectBothRoads<S>(*this, ModelSiglentSDS2000XPlusCh4, DataSourceMemory, WaveformLogic, WaveformDigital5,
                       {{"lines in one piece", lines(0, 0), true, {"D5 0 10001"}},
                        {"short line pieces", lines(4000, 8000), true, {"D5 0 8000", "D5 4000 4000", "D5 8000 2001"}},
                        {"line pieces in whole bytes", lines(0, 4001), true, {"D5 0 4000", "D5 4000 4000", "D5 8000 2001"}},
                        {"line pieces ending inside a byte", lines(4001, 8000), false}},
                       S::eModel::SDS2104XPlus);
}

TEST_F(WaveformFamiliesLiveTest, RigolAndRtbShortAnswersGiveTheSameRecordOnBothRoads) {
    using R = Sim::RigolScope;
    const auto rigol = [](std::int64_t iDepth, std::int64_t iLimit, R::eDataFault f) {
        return [=](R& s) { s.SetMemoryDepth(iDepth), s.ShowLogic(true), s.SetPieceLimit(iLimit), s.SetDataFault(f); };
    };
    ExpectBothRoads<R>(*this, ModelRigolMSO2000, DataSourceMemory, WaveformLogic, WaveformLogic,
                       {{"words in one piece", rigol(30000, 0, R::eDataFault::None), true},
                        {"short word pieces", rigol(30000, 7000, R::eDataFault::None), true},
                        {"a word piece a byte short", rigol(30000, 0, R::eDataFault::OddBytes), true}},
                       R::eFamily::MSO2000);
    ExpectBothRoads<R>(*this, ModelRigolDS1000Z, DataSourceMemory, WaveformChannel1, WaveformChannel1,
                       {{"one piece", rigol(200000, 0, R::eDataFault::None), true},
                        {"50,000-point pieces", rigol(200000, 50000, R::eDataFault::None), true},
                        {"a block announcing more than it sends", rigol(200000, 0, R::eDataFault::ShortBlock), false},
                        {"a block announcing fewer than it sends", rigol(200000, 0, R::eDataFault::LongBlock), false}},
                       R::eFamily::DS1000Z);
    using T = Sim::RtbScope;
    ExpectBothRoads<T>(*this, ModelRohdeSchwarzRTB2000Ch4, DataSourceScreen, WaveformChannel1, WaveformChannel1,
                       {{"a whole channel", [](T&) {}, true},
                        {"a short channel", [](T& s) { s.SetShortSource(1); }, false},
                        {"a short envelope", [](T& s) { s.SetAcquireType("ENV"), s.SetShortSource(31); }, false}},
                       true);
}

TEST_F(WaveformFamiliesLiveTest, RigolFaultsEndInALoggedErrorNeverAWrongCommand) {
    Sim::RigolScope scope(Sim::RigolScope::eFamily::DS1000Z);
    scope.Attach(server.Device());
    scope.SetMemoryDepth(300000); // two parts: a fault in the first leaves a second to go wrong
    Connect(ModelRigolDS1000Z, "DS1104Z", 1500);
    using Rigol = Sim::RigolScope;
    const std::vector<uFault<Rigol>> faults = {
        {"points 0", [](Rigol& s, Sim::ScpiDevice&) { s.SetPointsAnswer("0"); }, "still holds a placeholder"},
        {"points 9.9E37", [](Rigol& s, Sim::ScpiDevice&) { s.SetPointsAnswer("9.9E37"); },
         "Die Anzahl ist ungültig. Antwort: >"},
        {"short block", [](Rigol& s, Sim::ScpiDevice&) { s.SetDataFault(Rigol::eDataFault::ShortBlock); },
         "Error while receiving the data. - The time-out (1500 ms) cut the answer after 250010 bytes."},
        {"empty block", [](Rigol& s, Sim::ScpiDevice&) { s.SetDataFault(Rigol::eDataFault::ZeroSize); },
         "Channel 1 - The answer holds no data block, or an empty one."},
        // Parts of 100000 points where 250000 were asked, and a memory that ends before its
        // count (the sound read after the table keeps the smaller parts and is whole).
        {"fewer points than asked, then none", [](Rigol& s, Sim::ScpiDevice&) { s.SetPieceLimit(100000), s.SetPointsAnswer("400000"); },
         "Channel 1 - The record ends short of its count, points received / expected: 300000 / 400000"},
        {"silence", [](Rigol&, Sim::ScpiDevice& d) { d.SwallowAnswers(1); },
         "Error: InstrumentDefault::TaskScpiCommand"}};
    // Rigol counts points from 1: a start or stop of 0 is an empty window.
    ExpectFaultsLogged(*this, scope, faults, {WaveformChannel1}, {":WAV:STAR 0", ":WAV:STOP 0"}, 300000);
}

TEST_F(WaveformFamiliesLiveTest, SiglentFaultsEndInALoggedErrorNeverAWrongCommand) {
    Sim::SiglentScope scope(Sim::SiglentScope::eModel::SDS2104XPlus);
    scope.Attach(server.Device());
    scope.ShowChannel(2, true);
    scope.SetMemoryDepth(30000);
    scope.SetPointsAsInteger(true);
    Connect(ModelSiglentSDS2000XPlusCh4, "SDS2104X Plus", 1500);
    using Siglent = Sim::SiglentScope;
    const std::vector<uFault<Siglent>> faults = {
        {"points 0", [](Siglent& s, Sim::ScpiDevice&) { s.SetPointsAnswer("0"); }, "still holds a placeholder"},
        {"points 9.9E37", [](Siglent& s, Sim::ScpiDevice&) { s.SetPointsAnswer("9.9E37"); },
         "Die Anzahl ist ungültig. Antwort: >9.9E37<"},
        {"no DAT2", [](Siglent& s, Sim::ScpiDevice&) { s.SetFault(Siglent::eFault::NoDataHeader); },
         "Es ist kein Header 'DAT2' vorhanden."},
        // One byte short: the descriptor chained behind would make up the count, and the
        // answers chained behind the block never end.
        {"short block", [](Siglent& s, Sim::ScpiDevice&) { s.SetFault(Siglent::eFault::ShortBlock); },
         "Error while receiving the data. - The time-out (1500 ms) cut the answer after 30375 bytes."},
        // Pieces of 7000 points though MAXPoint says 10 M, and a memory that ends before its count.
        {"fewer points than asked, then none", [](Siglent& s, Sim::ScpiDevice&) { s.SetMaxPoint(7000, 10000000), s.SetPointsAnswer("40000"); },
         "Channel 2 - The record ends short of its count, points received / expected: 30000 / 40000"},
        {"silence", [](Siglent&, Sim::ScpiDevice& d) { d.SwallowAnswers(1); },
         "Error: InstrumentDefault::TaskScpiCommand"}};
    ExpectFaultsLogged(*this, scope, faults, {WaveformChannel1, WaveformChannel2}, {":WAV:POIN 0"}, 30000);
}

TEST_F(WaveformFamiliesLiveTest, RtbFaultsEndInALoggedErrorNeverAWrongCommand) {
    Sim::RtbScope scope(true);
    scope.Attach(server.Device());
    scope.SetMemoryDepth(20000);
    Connect(ModelRohdeSchwarzRTB2000Ch4, "RTB2004", 1500);
    using Rtb = Sim::RtbScope;
    const std::vector<uFault<Rtb>> faults = {
        {"fewer points than its count", [](Rtb& s, Sim::ScpiDevice&) { s.SetPointsAnswer("25000"); },
         "Channel 1 - The record ends short of its count, points received / expected: 20000 / 25000"}};
    ExpectFaultsLogged(*this, scope, faults, {WaveformChannel1}, {}, 20000);
}

// A count whose end never comes, and a chained query that one unanswered query leaves short (the
// time-out ends the wait for the missing answer), fail the read of every family on both roads,
// and no value is read from them: the window saves nothing and keeps the channels of its last
// Refresh, a script's read fails, each saying why. (HAMEG's window reads no count, and the
// window asks no label.)
struct uCutAnswer {
    const char* sName;
    std::int64_t eModel, eSource;
    std::shared_ptr<void> (*attach)(Sim::ScpiDevice&);
    const char* sQuery; // a count, answered without its end; with fSilent a chain's query, not answered
    bool fSilent, fVisible; // fVisible: the chain of the visible channels, which Refresh asks
    const char* sWindow;    // in the window's status ("": the window's read asks no such query)
    const char* sScript;    // in the script's errors
};
template <class Scope, auto... a> std::shared_ptr<void> Attached(Sim::ScpiDevice& d) {
    auto p = std::make_shared<Scope>(a...);
    return p->Attach(d), p;
}
class CutAnswerTest : public WaveformFamiliesLiveTest, public ::testing::WithParamInterface<uCutAnswer> {};
TEST_P(CutAnswerTest, ACutAnswerFailsTheReadOnBothRoads) {
    const uCutAnswer& row = GetParam();
    const ScopeRead::PatientTimeouts brief(400);
    Sim::RawTcpServer other;
    std::string sError;
    ASSERT_TRUE(other.Start(sError)) << sError;
    const auto pScope = row.attach(server.Device()), pOther = row.attach(other.Device());
    const auto fault = [&](Sim::ScpiDevice& d) {
        row.fSilent ? d.SilenceQuery(row.sQuery) : d.SetBareAnswer(row.sQuery, {'1', '2', '0', '0', '0'});
    };
    const auto has = [](const auto& v, const std::string& s) {
        return std::ranges::any_of(v, [&](const std::string& t) { return t.find(s) != t.npos; });
    };
    if (*row.sWindow) {
        Connect(row.eModel, "MODEL", 400);
        Refresh();
        const std::vector<std::int64_t> channels = pump.mChannelData;
        fault(server.Device());
        row.fVisible ? Refresh() : void(Read(row.eSource, {WaveformChannel1}));
        EXPECT_TRUE(pump.mChannelData == channels && window.mSavedRecords.empty() && has(window.mStatus, row.sWindow))
            << LogText();
    }
    fault(other.Device());
    WaveformReaders::Register();
    ScopeRead::Session session;
    ASSERT_TRUE(session.Open(ScopeRead::RawPrepare(other.Port()), row.eModel, sError)) << sError;
    const auto r = session.Read(ScopeRead::Task(row.eSource, 4, {WaveformChannel1}));
    EXPECT_TRUE(!r.pData && has(r.errors, row.sScript)) << ::testing::PrintToString(r.errors);
}
using Rigol = Sim::RigolScope;
using Siglent = Sim::SiglentScope;
constexpr const char* Cut = "cut the answer";
INSTANTIATE_TEST_SUITE_P(
    Families, CutAnswerTest,
    ::testing::Values(
        uCutAnswer{"RigolCount", ModelRigolDS1000Z, DataSourceMemory, Attached<Rigol, Rigol::eFamily::DS1000Z>, ":ACQ:MDEP?", false, false, Cut, Cut},
        uCutAnswer{"SiglentCount", ModelSiglentSDS2000XPlusCh4, DataSourceMemory, Attached<Siglent, Siglent::eModel::SDS2104XPlus>, ":ACQ:POIN?", false, false, Cut, Cut},
        uCutAnswer{"RohdeSchwarzCount", ModelRohdeSchwarzRTB2000Ch4, DataSourceScreen, Attached<Sim::RtbScope, true>, ":CHAN1:DATA:POIN?", false, false, Cut, Cut},
        uCutAnswer{"HamegCount", ModelHamegHM2008, DataSourceScreen, Attached<Sim::HamegScope, Sim::HamegScope::eModel::HM2008>, ":TRAC:POIN?", false, false, "", Cut},
        uCutAnswer{"RigolVisible", ModelRigolDS1000Z, DataSourceScreen, Attached<Rigol, Rigol::eFamily::DS1000Z>, "CHAN2:DISP?", true, true, "expected: 4 / 5", "expected: 4 / 5"},
        uCutAnswer{"RigolDepth", ModelRigolDS1000Z, DataSourceMemory, Attached<Rigol, Rigol::eFamily::DS1000Z>, "ACQ:SRAT?", true, false, "expected: 2 / 3", "expected: 2 / 3"},
        uCutAnswer{"SiglentVisible", ModelSiglentSDS2000XPlusCh4, DataSourceMemory, Attached<Siglent, Siglent::eModel::SDS2104XPlus>, "CHAN2:VIS?", true, true, "expected: 6 / 7", "expected: 6 / 7"},
        uCutAnswer{"SiglentUnitAndLabel", ModelSiglentSDS2000XPlusCh4, DataSourceMemory, Attached<Siglent, Siglent::eModel::SDS2104XPlus>, "CHAN1:LAB?", true, false, "", "expected: 2 / 3"},
        uCutAnswer{"RohdeSchwarzVisible", ModelRohdeSchwarzRTB2000Ch4, DataSourceScreen, Attached<Sim::RtbScope, true>, "CHAN2:STAT?", true, true, "expected: 15 / 16", "expected: 14 / 15"},
        uCutAnswer{"RohdeSchwarzHeader", ModelRohdeSchwarzRTB2000Ch4, DataSourceScreen, Attached<Sim::RtbScope, true>, "CHAN1:DATA:YOR?", true, false, "expected: 10 / 11", "expected: 5 / 6"}),
    [](const auto& info) { return std::string(info.param.sName); });

} // namespace
