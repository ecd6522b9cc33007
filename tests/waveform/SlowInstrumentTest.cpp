// An oscilloscope that answers every query 0.4 s late, over raw TCP and a pseudo-terminal: the
// identification at connect (200 ms) gives up before its answer comes, and that late answer must
// not become the answer to the user's first query. Each exchange after it, the screen copy and
// the waveform read included, gets its own answer.
#include "ScopeReadSupport.h"

#include "common/ImagePluginGdiPlus.h"
#include "sim/ScreenCopyAnswers.h"
#include "sim/SiglentScope.h"
#include "sim/StreamPeer.h"

#include <QImage>

#include <gtest/gtest.h>

namespace {

using ScopeRead::eDoor;

constexpr int LateMs = 400;

class SlowInstrumentTest : public ::testing::TestWithParam<eDoor> {
  protected:
    void SetUp() override {
        ScopeRead::Start();
        ImagePluginGdiPlus::RegisterDecoder(); // the program registers the codec at start-up
        scope.ShowChannel(2, true);
        scope.Attach(*pDevice);
        Sim::AnswerSiglentScreenCopy(*pDevice, screen);
    }
    void TearDown() override {
        pSession.reset();
        pDoor.reset();
    }
    // A command task that reads the answer; its answer text (or what went wrong).
    std::string Query(const std::string& sQuery) {
        uTaskScpiCommand task;
        task.sCommand = sQuery;
        task.fSend = 1;
        task.fRequestData = 1;
        const ScopeRead::uFinished finished = pSession->Run(task);
        if (!finished.errors.empty()) return ::testing::PrintToString(finished.errors);
        const auto* pResult = finished.event.pData.Get<uTaskResultScpiCommand>();
        return pResult ? std::string(pResult->requestData.view()) : "<no result>";
    }

    std::shared_ptr<Sim::ScpiDevice> pDevice = std::make_shared<Sim::ScpiDevice>();
    Sim::SiglentScope scope{Sim::SiglentScope::eModel::SDS2104XPlus};
    const QImage screen = Sim::ScreenPicture(64, 48);
    std::unique_ptr<ScopeRead::Door> pDoor = std::make_unique<ScopeRead::Door>();
    std::unique_ptr<ScopeRead::Session> pSession;
};

TEST_P(SlowInstrumentTest, EveryExchangeGetsItsOwnAnswer) {
    uTaskPrepare prepare = pDoor->Start(GetParam(), pDevice);
    // Given by the user, so that the connect identifies the instrument with its short time-out.
    prepare.fUserModel = 1;
    prepare.sUserManufacturer = "Siglent";
    prepare.sUserModel = "SDS2104X Plus";
    ASSERT_TRUE(pDoor->Stream());
    pDoor->Stream()->SetLateness(LateMs);
    pSession = std::make_unique<ScopeRead::Session>();
    std::string sError;
    ASSERT_TRUE(pSession->Open(prepare, ModelSiglentSDS2000XPlusCh4, sError)) << sError;

    EXPECT_EQ(Query("*OPC?"), "1\n");

    const ScopeRead::uFinished copy = pSession->Run(uTaskScreencopy{{InstrumentTaskScreencopy, 0, 0}, 1, 5, 0});
    EXPECT_TRUE(copy.errors.empty()) << ::testing::PrintToString(copy.errors);
    const QImage* pImage = copy.event.pData.Get<QImage>();
    ASSERT_TRUE(pImage && !pImage->isNull()) << "no picture came";
    EXPECT_EQ(pImage->convertToFormat(QImage::Format_RGB32), screen.convertToFormat(QImage::Format_RGB32));

    const auto result = pSession->Read(ScopeRead::Task(DataSourceScreen, 4));
    ASSERT_TRUE(result.pData) << ::testing::PrintToString(result.errors);
    EXPECT_TRUE(result.errors.empty()) << ::testing::PrintToString(result.errors);
    ASSERT_EQ(result.pData->AnalogChannels.size(), 2u);
    for (const auto& channel : result.pData->AnalogChannels) {
        const int c = static_cast<int>(channel.eWaveform - WaveformChannel1 + 1);
        ASSERT_FALSE(channel.samples.empty());
        for (std::size_t i = 0; i < channel.samples.size(); ++i) {
            ASSERT_EQ(channel.samples[i], static_cast<std::uint8_t>(static_cast<std::uint16_t>(Sim::SiglentScope::Sample(c, i)) >> 8))
                << c << " " << i;
        }
    }

    EXPECT_EQ(Query("*IDN?"), pDevice->Idn() + "\n");
}

INSTANTIATE_TEST_SUITE_P(Doors, SlowInstrumentTest, ::testing::Values(eDoor::RawTcp, eDoor::Serial),
                         [](const ::testing::TestParamInfo<eDoor>& info) {
                             return std::string(info.param == eDoor::RawTcp ? "RawTcp" : "Serial");
                         });

} // namespace
