// The Rigol readers through AddTask against the simulated DS1000Z and DS2000 families over raw
// TCP: the commands as the instrument logged them, the samples it holds, and the checks' texts.
#include "ScopeReadSupport.h"

#include "sim/RawTcpServer.h"
#include "sim/RigolScope.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using Sim::RigolScope;

class RigolReadTest : public ScopeRead::SimulatorTest<RigolScope> {
  protected:

    // Starts the simulated family over raw TCP and connects a session as eModel.
    void Open(RigolScope::eFamily family, std::int64_t eModel) { OpenScope(eModel, family); }
    // The data requests of one source that the instrument received, as "start-stop".
    std::vector<std::string> Parts(const std::string& sSource) const {
        std::vector<std::string> parts;
        const auto commands = pServer->Device().Commands();
        for (std::size_t i = 0; i + 3 < commands.size(); ++i) {
            if (commands[i] == ":WAV:SOUR " + sSource && commands[i + 1].rfind(":WAV:STAR ", 0) == 0 &&
                commands[i + 3] == ":WAV:DATA?") {
                parts.push_back(commands[i + 1].substr(10) + "-" + commands[i + 2].substr(10));
            }
        }
        return parts;
    }
    bool Sent(const std::string& sPrefix) const {
        const auto commands = pServer->Device().Commands();
        return std::any_of(commands.begin(), commands.end(), [&](const std::string& c) { return c.rfind(sPrefix, 0) == 0; });
    }
    static std::vector<std::uint8_t> Expected(int iChannel, std::size_t iPoints) {
        std::vector<std::uint8_t> bytes(iPoints);
        for (std::size_t i = 0; i < iPoints; ++i) bytes[i] = RigolScope::AnalogSample(iChannel, i);
        return bytes;
    }
};

TEST_F(RigolReadTest, MemoryIsReadInPartsOfTheInstrumentsLimit) {
    struct uCase {
        std::int64_t iDepth;
        std::vector<std::string> parts;
        std::int64_t iLastWindow; // the preamble counts the points of the last part's window
    };
    const uCase cases[] = {
        {600000, {"1-250000", "250001-500000", "500001-600000"}, 100000},
        {500000, {"1-250000", "250001-500000"}, 250000},
        {250000, {"1-250000"}, 250000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.iDepth);
        Open(RigolScope::eFamily::DS1000Z, ModelRigolDS1000Z);
        pScope->SetMemoryDepth(c.iDepth);
        const auto result = pSession->Read(ScopeRead::Task(DataSourceMemory, 5));
        ASSERT_TRUE(result.pData) << ::testing::PrintToString(result.errors);
        EXPECT_EQ(Parts("CHAN1"), c.parts);
        ASSERT_EQ(result.pData->AnalogChannels.size(), 1u);
        const auto& channel = result.pData->AnalogChannels.front();
        EXPECT_EQ(channel.eWaveform, WaveformChannel1);
        EXPECT_EQ(channel.eSource, DataSourceMemory);
        EXPECT_EQ(channel.eBits, 4);
        EXPECT_EQ(channel.iPoints, c.iDepth);
        EXPECT_EQ(channel.iBytesPerSample, 1);
        EXPECT_EQ(channel.sUnit, "VOLT");
        EXPECT_EQ(channel.sLabel, "CH1");
        // The parts lie behind each other in one block that was never moved.
        EXPECT_EQ(channel.samples.capacity(), static_cast<std::size_t>(c.iDepth));
        EXPECT_EQ(ScopeRead::Bytes(channel.samples), Expected(1, static_cast<std::size_t>(c.iDepth)));
        const auto* pPreamble = std::get_if<uPreambleRigol>(channel.pPreamble.get());
        ASSERT_NE(pPreamble, nullptr);
        EXPECT_EQ(pPreamble->iType, 2);
        EXPECT_EQ(pPreamble->iPoints, c.iLastWindow);
        // The acquisition stays stopped and the format as set.
        EXPECT_FALSE(pScope->Running());
        EXPECT_EQ(pScope->WaveformMode(), "RAW");
        EXPECT_NE(result.pData->timeStamp[0], 0);
    }
}

TEST_F(RigolReadTest, TheScreenIsOneRequestAndEntireMemoryReadsAsMemory) {
    Open(RigolScope::eFamily::DS1000Z, ModelRigolDS1000Z);
    auto result = pSession->Read(ScopeRead::Task(DataSourceScreen, 4));
    ASSERT_TRUE(result.pData) << ::testing::PrintToString(result.errors);
    EXPECT_EQ(Parts("CHAN1"), std::vector<std::string>{"1-1200"});
    EXPECT_FALSE(Sent(":STOP"));
    EXPECT_TRUE(Sent(":WAV:MODE NORM"));
    EXPECT_EQ(ScopeRead::Bytes(result.pData->AnalogChannels.front().samples), Expected(1, 1200));
    EXPECT_EQ(result.pData->AnalogChannels.front().eSource, DataSourceScreen);
    EXPECT_TRUE(pScope->Running());

    pScope->SetMemoryDepth(12000);
    result = pSession->Read(ScopeRead::Task(DataSourceEntireMemory, 4));
    ASSERT_TRUE(result.pData) << ::testing::PrintToString(result.errors);
    EXPECT_TRUE(Sent(":STOP"));
    EXPECT_EQ(result.pData->AnalogChannels.front().eSource, DataSourceMemory);
    EXPECT_EQ(result.pData->AnalogChannels.front().iPoints, 12000);
}

TEST_F(RigolReadTest, WhatIsShownAndWhatIsAskedFor) {
    Open(RigolScope::eFamily::DS1000Z, ModelRigolDS1000Z);
    pScope->ShowChannel(1, true);
    pScope->ShowChannel(3, true);
    pScope->SetMathMode("ADD");
    // Nothing asked: every shown source, math only from the screen.
    auto result = pSession->Read(ScopeRead::Task(DataSourceScreen, 4));
    ASSERT_TRUE(result.pData) << ::testing::PrintToString(result.errors);
    std::vector<std::int64_t> read;
    for (const auto& c : result.pData->AnalogChannels) read.push_back(c.eWaveform);
    EXPECT_EQ(read, (std::vector<std::int64_t>{WaveformChannel1, WaveformChannel3, WaveformMath}));
    EXPECT_EQ(result.pData->AnalogChannels.back().sLabel, "Math");
    EXPECT_EQ(ScopeRead::Bytes(result.pData->AnalogChannels.back().samples), Expected(5, 1200));
    EXPECT_FALSE(Sent(":LA")); // a DS1000Z has no logic channels to ask about

    result = pSession->Read(ScopeRead::Task(DataSourceMemory, 4));
    ASSERT_TRUE(result.pData) << ::testing::PrintToString(result.errors);
    read.clear();
    for (const auto& c : result.pData->AnalogChannels) read.push_back(c.eWaveform);
    EXPECT_EQ(read, (std::vector<std::int64_t>{WaveformChannel1, WaveformChannel3}));
    EXPECT_EQ(result.pData->fVisible[WaveformMath], 1); // shown, but memory has no math

    // Channel 2 asked for but hidden is read; channels 1 and 3 shown but not asked are not.
    result = pSession->Read(ScopeRead::Task(DataSourceScreen, 4, {WaveformChannel2}));
    ASSERT_TRUE(result.pData) << ::testing::PrintToString(result.errors);
    ASSERT_EQ(result.pData->AnalogChannels.size(), 1u);
    EXPECT_EQ(result.pData->AnalogChannels.front().eWaveform, WaveformChannel2);
    EXPECT_EQ(ScopeRead::Bytes(result.pData->AnalogChannels.front().samples), Expected(2, 1200));
}

TEST_F(RigolReadTest, PlusModelReadsPodsFromMemoryAndLinesFromTheScreen) {
    Open(RigolScope::eFamily::DS1000ZPlus, ModelRigolDS1000ZPlus);
    pScope->ShowLogic(true);
    pScope->ShowLine(3, true);
    pScope->ShowLine(9, true);
    pScope->SetLineLabel(3, "CLK");
    pScope->SetMemoryDepth(300000);
    auto result = pSession->Read(ScopeRead::Task(DataSourceMemory, 4, {WaveformAllVisible, WaveformLogic}));
    ASSERT_TRUE(result.pData) << ::testing::PrintToString(result.errors);
    std::vector<std::int64_t> read;
    for (const auto& c : result.pData->DigitalChannels) read.push_back(c.eWaveform);
    EXPECT_EQ(read, (std::vector<std::int64_t>{WaveformLogicPod1, WaveformLogicPod2}));
    EXPECT_EQ(Parts("POD1"), (std::vector<std::string>{"1-125000", "125001-250000", "250001-300000"}));
    const auto& pod2 = result.pData->DigitalChannels.back();
    EXPECT_EQ(pod2.sLabel, "POD2");
    EXPECT_EQ(pod2.iPoints, 300000);
    ASSERT_EQ(pod2.samples.size(), 300000u);
    for (std::size_t i : {0u, 17u, 299999u}) {
        for (int k = 0; k < 8; ++k) EXPECT_EQ((pod2.samples[i] >> k) & 1, RigolScope::LineBit(8 + k, i)) << i;
    }
    EXPECT_EQ(result.pData->sLabel[WaveformDigital3], "CLK");
    EXPECT_EQ(result.pData->sLabel[WaveformDigital4], ""); // "No Label!" is no label

    result = pSession->Read(ScopeRead::Task(DataSourceScreen, 4, {WaveformDigital3, WaveformDigital5}));
    ASSERT_TRUE(result.pData) << ::testing::PrintToString(result.errors);
    read.clear();
    for (const auto& c : result.pData->DigitalChannels) read.push_back(c.eWaveform);
    EXPECT_EQ(read, (std::vector<std::int64_t>{WaveformDigital3, WaveformDigital5}));
    EXPECT_EQ(result.pData->DigitalChannels.front().sLabel, "CLK");
    EXPECT_EQ(result.pData->DigitalChannels.back().sLabel, "D5");
    EXPECT_TRUE(result.pData->AnalogChannels.empty());
    const auto& d5 = result.pData->DigitalChannels.back();
    ASSERT_EQ(d5.samples.size(), 1200u);
    for (std::size_t i = 0; i < 1200; ++i) ASSERT_EQ(d5.samples[i], RigolScope::LineBit(5, i)) << i;
}

TEST_F(RigolReadTest, LogicWordsWithoutAllReadNoLogic) {
    // The words "logic", "pod1" and "bus2" alone clear the logic flag again: only "all" keeps it.
    Open(RigolScope::eFamily::DS1000ZPlus, ModelRigolDS1000ZPlus);
    pScope->ShowLogic(true);
    for (const std::int64_t e : {WaveformLogic, WaveformLogicPod1, WaveformLogicBus2}) {
        const auto result = pSession->Read(ScopeRead::Task(DataSourceScreen, 4, {e}));
        ASSERT_TRUE(result.pData) << ::testing::PrintToString(result.errors);
        EXPECT_TRUE(result.pData->DigitalChannels.empty()) << e;
        EXPECT_EQ(result.pData->fVisible[WaveformLogic], 0) << e;
    }
}

TEST_F(RigolReadTest, Ds2000LogicIsOneSourceOfWords) {
    Open(RigolScope::eFamily::MSO2000, ModelRigolMSO2000);
    pScope->ShowLogic(true);
    pScope->ShowLine(2, true);
    pScope->SetMemoryDepth(200000);
    const auto result = pSession->Read(ScopeRead::Task(DataSourceMemory, 5, {WaveformAllVisible, WaveformDigital2}));
    ASSERT_TRUE(result.pData) << ::testing::PrintToString(result.errors);
    ASSERT_EQ(result.pData->DigitalChannels.size(), 1u);
    const auto& la = result.pData->DigitalChannels.front();
    EXPECT_EQ(la.eWaveform, WaveformLogic);
    EXPECT_EQ(la.sLabel, "LA");
    EXPECT_EQ(la.iPoints, 200000);
    EXPECT_EQ(Parts("LA"), (std::vector<std::string>{"1-125000", "125001-200000"}));
    ASSERT_EQ(la.samples.size(), 400000u);
    for (std::size_t i : {0u, 1234u, 199999u}) {
        const unsigned w = la.samples[2 * i] | (la.samples[2 * i + 1] << 8);
        for (int k = 0; k < 16; ++k) EXPECT_EQ((w >> k) & 1, static_cast<unsigned>(RigolScope::LineBit(k, i)));
    }
    EXPECT_EQ(pScope->WaveformFormat(), "WORD"); // the logic format stays
    EXPECT_TRUE(Sent(":CHAN1:DISP?;:CHAN2:DISP?;:CALC:MODE?;:LA:STAT?") || Sent(":LA:STAT?"));
}

TEST_F(RigolReadTest, PointCountsThatAreNoCount) {
    struct uCase {
        std::string sPoints;
        std::string sText;
    };
    const uCase cases[] = {
        {"0", "Die Anzahl ist nicht größer Null. Antwort: >0,0,0,1,1.000000e-06,-6.000000e-04,0,4.000000e-02,0,127<"},
        {"text", "Die Anzahl ist nicht größer Null. Antwort: >0,0,text,1,1.000000e-06,-6.000000e-04,0,4.000000e-02,0,127<"},
        {"9.9E37", "Die Anzahl ist ungültig. Antwort: >0,0,9.9E37,1,1.000000e-06,-6.000000e-04,0,4.000000e-02,0,127<"},
        {"1e999", "Die Anzahl ist ungültig. Antwort: >0,0,1e999,1,1.000000e-06,-6.000000e-04,0,4.000000e-02,0,127<"},
        {"nan", "Die Anzahl ist ungültig. Antwort: >0,0,nan,1,1.000000e-06,-6.000000e-04,0,4.000000e-02,0,127<"},
    };
    Open(RigolScope::eFamily::DS1000Z, ModelRigolDS1000Z);
    for (const auto& c : cases) {
        pScope->SetPointsAnswer(c.sPoints);
        const auto result = pSession->Read(ScopeRead::Task(DataSourceScreen, 4));
        EXPECT_TRUE(result.fFinished);
        EXPECT_FALSE(result.pData);
        ASSERT_EQ(result.errors.size(), 1u);
        EXPECT_EQ(result.errors[0], "InstrumentDefault::TaskWaveform | InstrumentDefault::GetWaveformRigolDS1000Z: Error "
                                    "sending and receiving the SCPI command: >:WAV:SOUR CHAN1;:WAV:STAR 1;:WAV:STOP 1200;:WAV:PRE?< - " +
                                        c.sText);
        EXPECT_FALSE(Sent(":WAV:SOUR CHAN1;:WAV:STAR")) << c.sPoints; // no data request follows
    }
}

TEST_F(RigolReadTest, BrokenDataBlocksEndTheRead) {
    Open(RigolScope::eFamily::DS1000Z, ModelRigolDS1000Z);
    const std::string sPrefix = "InstrumentDefault::TaskWaveform | InstrumentDefault::GetWaveformRigolDS1000Z: Error "
                                "sending and receiving the SCPI command: >:WAV:SOUR CHAN1;:WAV:STAR 1;:WAV:STOP 1200;"
                                ":WAV:DATA?< - InstrumentWaveform::RigolDS1000ZCheckChannelData: ";
    pScope->SetDataFault(RigolScope::eDataFault::ZeroSize);
    auto result = pSession->Read(ScopeRead::Task(DataSourceScreen, 4));
    ASSERT_EQ(result.errors.size(), 1u);
    EXPECT_EQ(result.errors[0], sPrefix + "Die Angegebene Größe im SCPI-Blockformat ist Null.");
    // The next read is whole again: nothing of the failed one stays in the instance.
    result = pSession->Read(ScopeRead::Task(DataSourceScreen, 4));
    ASSERT_TRUE(result.pData) << ::testing::PrintToString(result.errors);
    EXPECT_EQ(ScopeRead::Bytes(result.pData->AnalogChannels.front().samples), Expected(1, 1200));
}

} // namespace
