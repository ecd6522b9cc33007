// Siglent and HAMEG waveform reads through AddTask and the event hub over each front door of the
// simulated oscilloscopes (raw TCP, VXI-11, a pseudo-terminal, USBTMC); answers whose end text
// appears inside a block at a reception boundary; and a 25 M-point Siglent memory in three parts.
#include "ScopeReadSupport.h"

#include "sim/HamegScope.h"
#include "sim/RawTcpServer.h"
#include "sim/SiglentScope.h"
#include "transport/StreamTransfer.h"

#include <gtest/gtest.h>

namespace {

using ScopeRead::eDoor;

class ScopeDoorsTest : public ::testing::TestWithParam<std::tuple<eDoor, bool>> {
  protected:
    void SetUp() override {
        ScopeRead::Start();
        pDevice = std::make_shared<Sim::ScpiDevice>();
        if (Siglent()) {
            pSiglent = std::make_unique<Sim::SiglentScope>(Sim::SiglentScope::eModel::SDS2104XPlus);
            pSiglent->ShowChannel(2, true);
            pSiglent->Attach(*pDevice);
        } else {
            pHameg = std::make_unique<Sim::HamegScope>(Sim::HamegScope::eModel::HM2008);
            pHameg->SetCatalogue("CH1,CH2");
            pHameg->Attach(*pDevice);
        }
    }
    void TearDown() override {
        pSession.reset();
        pDoor.reset();
    }
    bool Siglent() const { return std::get<1>(GetParam()); }
    uTaskPrepare StartDoor() { return pDoor->Start(std::get<0>(GetParam()), pDevice); }
    Sim::StreamPeer* Stream() { return pDoor->Stream(); }

    std::shared_ptr<Sim::ScpiDevice> pDevice;
    std::unique_ptr<Sim::SiglentScope> pSiglent;
    std::unique_ptr<Sim::HamegScope> pHameg;
    std::unique_ptr<ScopeRead::Door> pDoor = std::make_unique<ScopeRead::Door>();
    std::unique_ptr<ScopeRead::Session> pSession;
};

TEST_P(ScopeDoorsTest, AReadGivesTheInstrumentsSamples) {
    const uTaskPrepare prepare = StartDoor();
    pSession = std::make_unique<ScopeRead::Session>();
    std::string sError;
    ASSERT_TRUE(pSession->Open(prepare, Siglent() ? ModelSiglentSDS2000XPlusCh4 : ModelHamegHM2008, sError)) << sError;
    const auto result = pSession->Read(ScopeRead::Task(DataSourceMemory, 4));
    ASSERT_TRUE(result.pData) << ::testing::PrintToString(result.errors);
    ASSERT_EQ(result.pData->AnalogChannels.size(), 2u);
    for (const auto& channel : result.pData->AnalogChannels) {
        const int c = static_cast<int>(channel.eWaveform - WaveformChannel1 + 1);
        const std::size_t n = Siglent() ? 10000 : 50000;
        ASSERT_EQ(channel.samples.size(), n);
        for (std::size_t i = 0; i < n; ++i) {
            const std::uint8_t expected = Siglent()
                                              ? static_cast<std::uint8_t>(static_cast<std::uint16_t>(Sim::SiglentScope::Sample(c, i)) >> 8)
                                              : Sim::HamegScope::Sample("CH" + std::to_string(c), i);
            ASSERT_EQ(channel.samples[i], expected) << c << " " << i;
        }
    }
}

// The end text (LF; LF CR for HAMEG) inside a block, just where a reception ends: the answer
// still arrives whole.
TEST_P(ScopeDoorsTest, AnEndTextInsideABlockAtAReceptionBoundary) {
    if (std::get<0>(GetParam()) != eDoor::RawTcp && std::get<0>(GetParam()) != eDoor::Serial) GTEST_SKIP();
    const uTaskPrepare prepare = StartDoor();
    pSession = std::make_unique<ScopeRead::Session>();
    std::string sError;
    ASSERT_TRUE(pSession->Open(prepare, Siglent() ? ModelSiglentSDS2000XPlusCh4 : ModelHamegHM2008, sError)) << sError;
    // Find a sample of channel 1 that is the end text's first byte, and cut the answer behind it.
    const std::string sEnd = Siglent() ? "\n" : "\n\r";
    std::size_t iAt = 0, iPrefix = 0;
    if (Siglent()) {
        while (static_cast<std::uint8_t>(static_cast<std::uint16_t>(Sim::SiglentScope::Sample(1, iAt)) >> 8) != '\n') ++iAt;
        iPrefix = 5 + 11;
    } else {
        while (!(Sim::HamegScope::Sample("CH1", iAt) == '\n' && Sim::HamegScope::Sample("CH1", iAt + 1) == '\r')) ++iAt;
        iAt += 1;
        iPrefix = 11 + 7; // ":TRAC:DATA #550000"
    }
    const std::size_t n = Siglent() ? 30000 : 50000;
    ASSERT_LT(iAt, n);
    if (Siglent()) pSiglent->SetMemoryDepth(static_cast<std::int64_t>(n));
    auto* pStream = Stream();
    ASSERT_TRUE(pStream);
    // Answers before the data: Siglent the visible query and the point count; HAMEG the catalogue.
    const int iSkip = Siglent() ? 2 : 1;
    pStream->AddFault({Sim::eStreamFault::Split, static_cast<int>(iPrefix + iAt + 1), iSkip,
                       [] { return true; }});
    const auto result = pSession->Read(ScopeRead::Task(DataSourceMemory, 4, {WaveformChannel1}));
    ASSERT_TRUE(result.pData) << ::testing::PrintToString(result.errors);
    ASSERT_EQ(result.pData->AnalogChannels.size(), 1u);
    EXPECT_EQ(result.pData->AnalogChannels.front().samples.size(), n);
}

INSTANTIATE_TEST_SUITE_P(Doors, ScopeDoorsTest,
                         ::testing::Combine(::testing::Values(eDoor::RawTcp, eDoor::Vxi11, eDoor::Serial, eDoor::Usb),
                                            ::testing::Bool()));

TEST(ScopeAnswerEndTest, BlocksBehindTextHeadersAndSeveralBlocks) {
    struct uCase {
        std::string sAnswer, sEnd;
        bool fComplete;
    };
    const uCase cases[] = {
        {"DAT2,#9000000003a\nb", "\n", false},
        {"DAT2,#9000000003a\n", "\n", false},
        {"DAT2,#9000000003a\nb\n", "\n", true},
        {"dat2,#9000000003\n\n\n\n", "\n", true},
        {"DAT2,#9000000002\n\n\n;DESC,#9000000004\n\n\n\n", "\n", false},
        {"DAT2,#9000000002\n\n\n;DESC,#9000000004\n\n\n\n;V\n", "\n", true},
        {":TRAC:DATA #14\n\r\n\r", "\n\r", false},
        {":TRAC:DATA #14\n\r\n\r;:TRAC:TYPE NORMAL\n\r", "\n\r", true},
        {":trac:data #14\n\r\n\r\n\r", "\n\r", true},
        {"#14\n\n\n\n", "\n", false},
        {"ON;OFF\n", "\n", true},
        {"DAT2,\n", "\n", true},
    };
    for (const uCase& c : cases) {
        EXPECT_EQ(StreamTransfer::AnswerComplete(reinterpret_cast<const std::uint8_t*>(c.sAnswer.data()), c.sAnswer.size(), c.sEnd),
                  c.fComplete)
            << ::testing::PrintToString(c.sAnswer);
    }
}

TEST(ScopeMemoryTest, TwentyFiveMillionSiglentPointsInThreePartsOverRawTcp) {
    ScopeRead::Start();
    const ScopeRead::PatientTimeouts patient;
    Sim::SiglentScope scope(Sim::SiglentScope::eModel::SDS2102XPlus);
    scope.SetMemoryDepth(25000000);
    Sim::RawTcpServer server;
    scope.Attach(server.Device());
    std::string sError;
    ASSERT_TRUE(server.Start(sError)) << sError;
    ScopeRead::Session session;
    ASSERT_TRUE(session.Open(ScopeRead::RawPrepare(server.Port()), ModelSiglentSDS2000XPlusCh2, sError)) << sError;
    const auto result = session.Read(ScopeRead::Task(DataSourceMemory, 4), 300000);
    ASSERT_TRUE(result.pData) << ::testing::PrintToString(result.errors);
    EXPECT_EQ(scope.DataRequests(),
              (std::vector<std::string>{"C1 0 10000000", "C1 10000000 10000000", "C1 20000000 5000000"}));
    const auto& channel = result.pData->AnalogChannels.front();
    EXPECT_EQ(channel.iPoints, 25000000);
    ASSERT_EQ(channel.samples.size(), 25000000u);
    EXPECT_EQ(channel.samples.capacity(), 25000000u);
    for (std::size_t i = 0; i < channel.samples.size(); ++i) {
        if (channel.samples[i] != static_cast<std::uint8_t>(static_cast<std::uint16_t>(Sim::SiglentScope::Sample(1, i)) >> 8)) {
            FAIL() << "sample " << i;
        }
    }
}

} // namespace
