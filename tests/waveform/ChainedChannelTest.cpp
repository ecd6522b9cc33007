// A channel's data block chained with its descriptor or preamble and its unit, as the waveform
// window asks for it, through AddTask over every front door of the simulated oscilloscopes, in
// every framing an instrument answers such a chain with: all answers joined by ";", each answer
// a message of its own, and the text answers joined with each block a message of its own (a
// Siglent data block then keeps its own line end, as the guide shows it). A channel in A reads
// every answer of the chain, its file is in A with the joined answer's values, and no byte is
// left behind for the next exchange.
#include "ScopeReadSupport.h"

#include "common/TestApplication.h"
#include "common/WindowLog.h"
#include "platform/EventHub.h"
#include "platform/ProgramEvents.h"
#include "sim/RigolScope.h"
#include "sim/RtbScope.h"
#include "sim/ScpiDevice.h"
#include "sim/SiglentScope.h"
#include "transport/ChainedAnswers.h"
#include "waveform/WaveformDataRTB2000.h"
#include "waveform/WaveformDataRigol.h"
#include "waveform/WaveformDataSiglent.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fstream>

namespace {

using ScopeRead::eDoor;

enum class eFamily { Siglent, Rigol, Rtb };

struct uFamily {
    std::int64_t eModel;
    std::string sChain; // as the waveform window sends it for channel 1
    std::int64_t iAnswers;
    WaveformData::WaveformWriter writer;
    std::string sColumn; // the value column of a channel in A
    std::size_t iRows;
};

uFamily Family(eFamily family) {
    switch (family) {
    case eFamily::Siglent:
        return {ModelSiglentSDS2000XPlusCh4,
                ":WAV:SOUR C1;:WAV:STAR 0;:WAV:POIN 1000;:WAV:DATA?;:WAV:PRE?;:CHAN1:UNIT?",
                3,
                WaveformData::SaveWaveformSiglent,
                "Sample in A",
                1000};
    case eFamily::Rigol:
        return {ModelRigolDS1000ZPlus,
                ":WAV:SOUR CHAN1;:WAV:DATA?;:WAV:PRE?;:CHAN1:UNIT?;:CHAN1:UNIT?",
                4,
                WaveformData::SaveWaveformRigol,
                "Sample in AMP",
                1200};
    case eFamily::Rtb:
        return {ModelRohdeSchwarzRTB2000Ch4,
                ":CHAN1:DATA?;:CHAN1:DATA:HEAD?;YRES?;YOR?;YINC?;XOR?;XINC?;"
                ":PROB1:SET:GAIN:UNIT?;:CHAN1:ARIT?;TYPE?;:ACQ:AVER:COUNT?",
                11,
                WaveformData::SaveWaveformRTB2000,
                "Sample in A",
                1200};
    }
    return {};
}

class ChainedChannelTest : public ::testing::TestWithParam<std::tuple<eDoor, eFamily>> {
  protected:
    void SetUp() override {
        TestApplication::Ensure();
        ScopeRead::Start();
        WindowLog::Create(); // the log's window number: its lines come to the binding below
        EventHub::Bind(EventLogLine, WindowLog::WindowNumber(), [this](const EventHub::uEvent& event) {
            if (const auto* p = event.pData.Get<std::string>()) mLog.push_back(*p);
        });
        pDevice = std::make_shared<Sim::ScpiDevice>();
        switch (std::get<1>(GetParam())) {
        case eFamily::Siglent:
            pSiglent = std::make_unique<Sim::SiglentScope>(Sim::SiglentScope::eModel::SDS2104XPlus);
            pSiglent->SetMemoryDepth(1000);
            pSiglent->SetDataPrefix(false); // the window's part check takes "DAT2," off before the save
            pSiglent->SetChannelUnit(1, "A");
            pSiglent->Attach(*pDevice);
            break;
        case eFamily::Rigol:
            pRigol = std::make_unique<Sim::RigolScope>(Sim::RigolScope::eFamily::DS1000ZPlus);
            pRigol->SetChannelUnit(1, "AMP");
            pRigol->Attach(*pDevice);
            break;
        case eFamily::Rtb:
            pRtb = std::make_unique<Sim::RtbScope>(true);
            pRtb->SetProbeUnit(1, "A");
            pRtb->Attach(*pDevice);
            break;
        }
    }
    void TearDown() override {
        pSession.reset();
        pDoor.reset();
        EventHub::Unbind(EventLogLine, WindowLog::WindowNumber());
    }

    // The file of the answer as the window's save writes it: its lines from the column line on.
    std::vector<std::string> Written(const uFamily& family, const std::string& sAnswer) {
        uWaveformRecordChannel channel;
        channel.eWaveform = WaveformChannel1;
        channel.eDataSource = DataSourceScreen;
        channel.pData.assign(sAnswer.data(), sAnswer.size());
        channel.iDataSize = static_cast<std::int64_t>(sAnswer.size());
        WaveformDataInstance instance;
        const std::string sFile = folder.path().toStdString() + "/wave.csv";
        std::string sError;
        const bool fWritten = family.writer(channel, {}, sFile, 0, 100, "Maker", "Model", 1, instance, sError);
        EXPECT_TRUE(fWritten) << sError;
        std::ifstream file(sFile);
        std::vector<std::string> rows;
        for (std::string s; std::getline(file, s);)
            if (!rows.empty() || s.rfind("Number", 0) == 0) rows.push_back(s.substr(0, s.find('\r')));
        return rows;
    }
    // The answers of a chain as the window's check counts them, ";"-separated.
    static std::int64_t Answers(const std::string& sAnswer) {
        return static_cast<std::int64_t>(Instrument::AnswerFields(sAnswer).size());
    }
    std::size_t Dropped() {
        EventHub::Pump();
        std::size_t n = 0;
        for (const std::string& s : mLog) n += s.find("that no request was waiting for") != std::string::npos;
        return n;
    }

    std::shared_ptr<Sim::ScpiDevice> pDevice;
    std::unique_ptr<Sim::SiglentScope> pSiglent;
    std::unique_ptr<Sim::RigolScope> pRigol;
    std::unique_ptr<Sim::RtbScope> pRtb;
    std::unique_ptr<ScopeRead::Door> pDoor = std::make_unique<ScopeRead::Door>();
    std::unique_ptr<ScopeRead::Session> pSession;
    std::vector<std::string> mLog;
    QTemporaryDir folder;
};

TEST_P(ChainedChannelTest, EveryFramingReadsTheUnitAndValuesOfTheJoinedAnswer) {
    const uFamily family = Family(std::get<1>(GetParam()));
    const ScopeRead::PatientTimeouts patient(20000); // an answer left unread costs a time-out, not a failure
    pSession = std::make_unique<ScopeRead::Session>();
    std::string sError;
    ASSERT_TRUE(pSession->Open(pDoor->Start(std::get<0>(GetParam()), pDevice), family.eModel, sError)) << sError;
    const std::string sIdn = pSession->Ask("*IDN?");
    ASSERT_EQ(sIdn.substr(0, pDevice->Idn().size()), pDevice->Idn());

    const std::string sJoined = pSession->Ask(family.sChain);
    ASSERT_EQ(Answers(sJoined), family.iAnswers) << sJoined.size() << " bytes";
    const std::vector<std::string> joined = Written(family, sJoined);
    ASSERT_EQ(joined.size(), family.iRows + 1) << sJoined.substr(0, 40);
    EXPECT_EQ(joined.front(), "Number,Time in s," + family.sColumn);

    const struct {
        const char* pName;
        int iSeparatePauseMs; // each answer a message of its own
        int iBlockPauseMs;    // each block a message of its own, the texts joined
    } framings[] = {{"each answer a message", 20, 0}, {"each block a message", 0, 20}};
    for (const auto& f : framings) {
        pDevice->SetSeparateAnswers(f.iSeparatePauseMs);
        pDevice->SetBlockMessages(f.iBlockPauseMs);
        const std::string sAnswer = pSession->Ask(family.sChain);
        EXPECT_EQ(Answers(sAnswer), family.iAnswers) << f.pName << ": " << sAnswer.size() << " bytes";
        const std::vector<std::string> rows = Written(family, sAnswer);
        EXPECT_TRUE(rows == joined) << f.pName << ": " << (rows.empty() ? std::string() : rows.front());
        // The next exchange gets its own answer, and nothing of the chain was left for it.
        EXPECT_EQ(pSession->Ask("*IDN?"), sIdn) << f.pName;
        EXPECT_EQ(Dropped(), 0u) << f.pName;
    }
    for (const std::string& s : mLog) EXPECT_EQ(s.find("Einheit"), std::string::npos) << s;
}

// The core's own reads chain their queries too (the visible channels, a unit with its label, a
// header with its scales): in every framing the record is that of the joined answers.
TEST_P(ChainedChannelTest, TheCoresReadTakesEveryAnswerOfItsChains) {
    const eFamily eWhich = std::get<1>(GetParam());
    const uFamily family = Family(eWhich);
    const ScopeRead::PatientTimeouts patient(20000);
    pSession = std::make_unique<ScopeRead::Session>();
    std::string sError;
    ASSERT_TRUE(pSession->Open(pDoor->Start(std::get<0>(GetParam()), pDevice), family.eModel, sError)) << sError;
    const uTaskWaveform task =
        ScopeRead::Task(eWhich == eFamily::Siglent ? DataSourceMemory : DataSourceScreen, 4);
    const auto joined = pSession->Read(task);
    ASSERT_TRUE(joined.pData) << ::testing::PrintToString(joined.errors);
    ASSERT_EQ(joined.pData->AnalogChannels.size(), 1u);
    const uWaveformAnalogChannel& expected = joined.pData->AnalogChannels.front();
    EXPECT_EQ(expected.sUnit, eWhich == eFamily::Rigol ? "AMP" : "A");
    for (const auto& [iSeparateMs, iBlockMs] : {std::pair{20, 0}, {0, 20}}) {
        pDevice->SetSeparateAnswers(iSeparateMs);
        pDevice->SetBlockMessages(iBlockMs);
        const auto result = pSession->Read(task);
        ASSERT_TRUE(result.pData) << iSeparateMs << ": " << ::testing::PrintToString(result.errors);
        ASSERT_EQ(result.pData->AnalogChannels.size(), 1u) << iSeparateMs;
        const uWaveformAnalogChannel& channel = result.pData->AnalogChannels.front();
        EXPECT_EQ(channel.sUnit, expected.sUnit) << iSeparateMs;
        EXPECT_EQ(channel.sLabel, expected.sLabel) << iSeparateMs;
        EXPECT_TRUE(channel.samples.view() == expected.samples.view()) << iSeparateMs;
        EXPECT_TRUE(channel.rawPreamble.view() == expected.rawPreamble.view()) << iSeparateMs;
        EXPECT_EQ(Dropped(), 0u) << iSeparateMs;
    }
}

std::string CaseName(const ::testing::TestParamInfo<std::tuple<eDoor, eFamily>>& info) {
    static const char* Doors[] = {"RawTcp", "Vxi11", "Serial", "Usb"};
    static const char* Families[] = {"Siglent", "Rigol", "Rtb"};
    return std::string(Doors[static_cast<int>(std::get<0>(info.param))]) +
           Families[static_cast<int>(std::get<1>(info.param))];
}

INSTANTIATE_TEST_SUITE_P(Doors, ChainedChannelTest,
                         ::testing::Combine(::testing::Values(eDoor::RawTcp, eDoor::Serial, eDoor::Vxi11, eDoor::Usb),
                                            ::testing::Values(eFamily::Siglent, eFamily::Rigol, eFamily::Rtb)),
                         CaseName);

} // namespace
