// The RTB2000 reader through AddTask against the simulated RTB2002 and RTB2004 over raw TCP,
// and its answer checks on the manual's answers.
#include "ScopeReadSupport.h"

#include "sim/RawTcpServer.h"
#include "sim/RtbScope.h"
#include "waveform/InstrumentWaveformRohdeSchwarz.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using Sim::RtbScope;
using namespace InstrumentWaveform;

class RohdeSchwarzReadTest : public ScopeRead::SimulatorTest<RtbScope> {
  protected:
    void Open(bool fFour) { OpenScope(fFour ? ModelRohdeSchwarzRTB2000Ch4 : ModelRohdeSchwarzRTB2000Ch2, fFour); }
    static std::vector<std::int64_t> Sources(const uWaveformData& data) {
        std::vector<std::int64_t> v;
        for (const auto& c : data.AnalogChannels) v.push_back(c.eWaveform);
        for (const auto& c : data.DigitalChannels) v.push_back(c.eWaveform);
        return v;
    }
    static std::vector<std::uint8_t> Expected(int iSource, std::size_t iValues, int iBits) {
        std::vector<std::uint8_t> v;
        for (std::size_t i = 0; i < iValues; ++i) {
            const std::uint16_t x = RtbScope::Value(iSource, i);
            if (iBits == 8) {
                v.push_back(static_cast<std::uint8_t>(x >> 8));
            } else {
                v.push_back(static_cast<std::uint8_t>(x & 0xFF));
                v.push_back(static_cast<std::uint8_t>(x >> 8));
            }
        }
        return v;
    }
};

TEST_F(RohdeSchwarzReadTest, TwoAndFourChannelModelsAskTheirFields) {
    for (const bool fFour : {false, true}) {
        Open(fFour);
        pScope->ShowChannel(2, true);
        pScope->SetProbeUnit(2, "A"); // each channel asks its own probe
        const auto result = pSession->Read(ScopeRead::Task(DataSourceScreen, 4));
        ASSERT_TRUE(result.pData) << ::testing::PrintToString(result.errors);
        EXPECT_EQ(Sources(*result.pData), (std::vector<std::int64_t>{WaveformChannel1, WaveformChannel2}));
        EXPECT_EQ(Sent(":CHAN4:STAT?"), fFour);
        EXPECT_TRUE(Sent(":CHAN1:DATA?"));
        EXPECT_FALSE(Sent(":STOP"));
        EXPECT_EQ(result.pData->AnalogChannels.front().sUnit, "V");
        const auto& ch2 = result.pData->AnalogChannels.back();
        EXPECT_EQ(ch2.sUnit, "A");
        EXPECT_EQ(ch2.sLabel, "CH2");
        EXPECT_EQ(ch2.iPoints, 1200);
        EXPECT_EQ(ScopeRead::Bytes(ch2.samples), Expected(2, 1200, 8));
        const auto* pHeader = std::get_if<uPreambleRohdeSchwarz>(ch2.pPreamble.get());
        ASSERT_NE(pHeader, nullptr);
        EXPECT_EQ(pHeader->iSamples, 1200);
        EXPECT_DOUBLE_EQ(pHeader->dXIncrement, 1e-8);
    }
}

TEST_F(RohdeSchwarzReadTest, UnknownSourceAndWidthAreRewrittenAndMemoryStops) {
    Open(true);
    pScope->SetPointsAsReal(true);
    auto result = pSession->Read(ScopeRead::Task(7, 9));
    ASSERT_TRUE(result.pData) << ::testing::PrintToString(result.errors);
    EXPECT_TRUE(Sent(":CHAN1:DATA:POIN DEF;:FORM:DATA UINT,8;:FORM:BORD LSBF") ||
                (Sent(":CHAN1:DATA:POIN DEF") && Sent(":FORM:DATA UINT,8")));
    EXPECT_EQ(result.pData->AnalogChannels.front().eSource, DataSourceScreen);
    EXPECT_EQ(result.pData->AnalogChannels.front().eBits, 4);
    EXPECT_EQ(result.pData->AnalogChannels.front().iPoints, 1200); // from "1.2E+03"

    pScope->SetMemoryDepth(20000);
    result = pSession->Read(ScopeRead::Task(DataSourceMemory, 5));
    ASSERT_TRUE(result.pData) << ::testing::PrintToString(result.errors);
    EXPECT_TRUE(Sent(":STOP"));
    EXPECT_TRUE(Sent(":CHAN1:DATA:POIN DMAX"));
    EXPECT_FALSE(pScope->Running());
    EXPECT_EQ(pScope->Format(), "UINT,16");
    const auto& ch1 = result.pData->AnalogChannels.front();
    EXPECT_EQ(ch1.iPoints, 20000);
    EXPECT_EQ(ch1.iBytesPerSample, 2);
    EXPECT_EQ(ch1.eBits, 5);
    EXPECT_EQ(ScopeRead::Bytes(ch1.samples), Expected(1, 20000, 16));
}

TEST_F(RohdeSchwarzReadTest, EnvelopesComeAfterTheChannels) {
    Open(true);
    pScope->ShowChannel(2, true);
    pScope->SetAcquireType("ENV");
    const auto result = pSession->Read(ScopeRead::Task(DataSourceScreen, 5));
    ASSERT_TRUE(result.pData) << ::testing::PrintToString(result.errors);
    EXPECT_EQ(Sources(*result.pData),
              (std::vector<std::int64_t>{WaveformChannel1, WaveformChannel2, WaveformEnvelope1, WaveformEnvelope2}));
    EXPECT_TRUE(Sent(":CHAN2:DATA:ENV?"));
    EXPECT_TRUE(Sent(":CHAN2:DATA:ENV:HEAD?"));
    const auto& env2 = result.pData->AnalogChannels.back();
    EXPECT_EQ(env2.iPoints, 1200);
    EXPECT_EQ(env2.iBytesPerSample, 2);
    EXPECT_EQ(env2.sLabel, "ENV2");
    EXPECT_EQ(ScopeRead::Bytes(env2.samples), Expected(32, 2400, 16));
    EXPECT_EQ(std::get<uPreambleRohdeSchwarz>(*env2.pPreamble).iValuesPerSample, 2);
    EXPECT_EQ(result.pData->fVisible[WaveformEnvelope1], 0); // the record keeps the flags before the type
}

TEST_F(RohdeSchwarzReadTest, PodsOnlyWhenAskedFor) {
    Open(true);
    pScope->EnableProbe(1, true);
    pScope->ShowLine(3, true);
    pScope->SetLineLabel(3, "A;B", true); // a ";" in a label separates nothing
    pScope->SetLineLabel(4, "OFF", false);
    auto result = pSession->Read(ScopeRead::Task(DataSourceScreen, 4));
    ASSERT_TRUE(result.pData) << ::testing::PrintToString(result.errors);
    EXPECT_EQ(Sources(*result.pData), (std::vector<std::int64_t>{WaveformChannel1}));
    EXPECT_FALSE(Sent(":LOG1:DATA?"));

    result = pSession->Read(ScopeRead::Task(DataSourceScreen, 4, {WaveformDigital3}));
    ASSERT_TRUE(result.pData) << ::testing::PrintToString(result.errors);
    EXPECT_EQ(Sources(*result.pData), (std::vector<std::int64_t>{WaveformLogicPod1}));
    const auto& pod = result.pData->DigitalChannels.front();
    EXPECT_EQ(pod.sLabel, "POD1");
    EXPECT_EQ(pod.iPoints, 1200);
    ASSERT_EQ(pod.samples.size(), 1200u);
    for (std::size_t i : {0u, 5u, 1199u}) {
        for (int k = 0; k < 8; ++k) EXPECT_EQ((pod.samples[i] >> k) & 1, RtbScope::LineBit(k, i));
    }
    EXPECT_EQ(result.pData->sLabel[WaveformDigital3], "A;B");
    EXPECT_EQ(result.pData->sLabel[WaveformDigital4], "");
    EXPECT_EQ(result.pData->fVisible[WaveformDigital3], 1);
}

TEST_F(RohdeSchwarzReadTest, AZeroSizeBlockEndsTheRead) {
    Open(true);
    pScope->ShowChannel(2, true);
    pScope->SetDataFault(RtbScope::eDataFault::ZeroSize);
    const auto result = pSession->Read(ScopeRead::Task(DataSourceScreen, 4));
    EXPECT_FALSE(result.pData);
    ASSERT_EQ(result.errors.size(), 1u);
    EXPECT_EQ(result.errors[0], "InstrumentDefault::TaskWaveform | InstrumentDefault::GetWaveformRohdeSchwarzRTB2000: "
                                "Error sending and receiving the SCPI command: >:CHAN1:DATA?< - "
                                "InstrumentWaveform::RohdeSchwarzRTB2000CheckChannelData: Die Angegebene Größe im "
                                "SCPI-Blockformat ist Null.");
    EXPECT_FALSE(Sent(":CHAN2:DATA?"));
}

TEST_F(RohdeSchwarzReadTest, PointAnswersThatAreNoCount) {
    Open(true);
    for (const std::string s : {"0", "OFF", "9.9E37", "nan"}) {
        pScope->SetPointsAnswer(s);
        const auto result = pSession->Read(ScopeRead::Task(DataSourceScreen, 4));
        ASSERT_EQ(result.errors.size(), 1u);
        const bool fInvalid = s == "9.9E37" || s == "nan";
        EXPECT_NE(result.errors[0].find(std::string(fInvalid ? "Die Anzahl ist ungültig. Antwort: >"
                                                             : "Die Anzahl ist nicht größer Null. Antwort: >") +
                                        s + "<"),
                  std::string::npos)
            << result.errors[0];
    }
}

struct uHeld {
    std::string s;
    uAnswer Answer() const { return {1, reinterpret_cast<const std::uint8_t*>(s.data()), s.size()}; }
};

TEST(RohdeSchwarzChecksTest, VisibleChannelsLinesAndType) {
    uFlagTable flags{};
    flags[WaveformChannel3] = 1;
    std::string sError;
    uHeld visible{"1;0;1;0;0;0;0;1;0;0;0;1;0\n"};
    ASSERT_TRUE(RohdeSchwarzRTB2000CheckVisibleChannels(3, visible.Answer(), flags, sError));
    std::vector<std::int64_t> set;
    for (std::size_t e = 0; e < flags.size(); ++e) {
        if (flags[e]) set.push_back(static_cast<std::int64_t>(e));
    }
    EXPECT_EQ(set, (std::vector<std::int64_t>{4, 6, 11, 38, 43})); // channel 3 kept its value

    uLabelTable labels;
    std::string sLines;
    for (int n = 0; n < 16; ++n) sLines += "0;";
    for (int n = 0; n < 16; ++n) sLines += n == 3 ? "\"CLK\";" : "\"\";";
    std::string sStates;
    for (int n = 0; n < 16; ++n) sStates += n == 3 ? "1;" : "0;";
    uHeld lines{sLines + sStates + "\n"};
    ASSERT_TRUE(RohdeSchwarzRTB2000CheckVisibleDigitalChannels(4, lines.Answer(), flags, labels, sError));
    EXPECT_EQ(labels[WaveformDigital3], "CLK");
    uHeld off{sLines + "0;0;0;0\n"};
    ASSERT_TRUE(RohdeSchwarzRTB2000CheckVisibleDigitalChannels(4, off.Answer(), flags, labels, sError));
    EXPECT_EQ(labels[WaveformDigital3], "");

    std::int64_t eType = -1;
    for (const auto& [sAnswer, eExpected] : std::vector<std::pair<std::string, std::int64_t>>{
             {"REFR\n", 1}, {"AVER\n", 2}, {"ENV\n", 3}, {"PDET\n", 0}}) {
        uHeld type{sAnswer};
        ASSERT_TRUE(RohdeSchwarzRTB2000CheckAcquireType(4, type.Answer(), eType, sError));
        EXPECT_EQ(eType, eExpected);
    }
    uHeld none{""};
    EXPECT_FALSE(RohdeSchwarzRTB2000CheckAcquireType(4, none.Answer(), eType, sError));
    EXPECT_EQ(sError, "InstrumentWaveform::RohdeSchwarzRTB2000CheckAcquireType: There are no data available.");
}

TEST(RohdeSchwarzChecksTest, HeaderPointsAndLabels) {
    const uPreambleRohdeSchwarz h = ParseRohdeSchwarzHeader("-6E-05,6E-05,12000,1;8;-0.02;0.0001;0;1E-08\n");
    EXPECT_DOUBLE_EQ(h.dXStart, -0.00006);
    EXPECT_DOUBLE_EQ(h.dXStop, 0.00006);
    EXPECT_EQ(h.iSamples, 12000);
    EXPECT_EQ(h.iValuesPerSample, 1);
    EXPECT_DOUBLE_EQ(h.dYResolution, 8);
    EXPECT_DOUBLE_EQ(h.dYOrigin, -0.02);
    EXPECT_DOUBLE_EQ(h.dYIncrement, 0.0001);
    EXPECT_DOUBLE_EQ(h.dXOrigin, 0);
    EXPECT_DOUBLE_EQ(h.dXIncrement, 0.00000001);
    EXPECT_EQ(ParseRohdeSchwarzHeader("x,1e999,nan").iSamples, 0);

    std::int64_t iPoints = 0;
    std::string sError;
    uHeld real{"1.2E+06\n"};
    ASSERT_TRUE(RohdeSchwarzRTB2000CheckAcquirePoints(4, real.Answer(), iPoints, sError));
    EXPECT_EQ(iPoints, 1200000);
    uHeld huge{"1e999\n"};
    EXPECT_FALSE(RohdeSchwarzRTB2000CheckAcquirePoints(4, huge.Answer(), iPoints, sError));
    EXPECT_EQ(sError, "Die Anzahl ist ungültig. Antwort: >1e999<");
    EXPECT_EQ(iPoints, 0);

    uWaveformData data;
    struct uCase {
        std::int64_t eWaveform;
        std::string sAnswer;
        std::string sUnit;
        std::string sLabel;
    };
    const uCase cases[] = {
        {WaveformChannel1, "V;0;\"Probe\"\n", "V", "CH1"},
        {WaveformChannel2, "A;1;\"Current\"\n", "A", "Current"},
        {WaveformEnvelope2, "V;1;\"\"\n", "V", "ENV2"},
        {WaveformReference3, "\"\"\n", "", "RE3"},
        {WaveformMath2, "1;\"Sum\"\n", "", "Sum"},
        {WaveformChannel3, "V;1\n", "V", ""}, // too few fields: no label, no fallback
    };
    for (const auto& c : cases) {
        FindOrAddAnalog(data, c.eWaveform);
        uHeld answer{c.sAnswer};
        ASSERT_TRUE(RohdeSchwarzRTB2000CheckUnitAndLabel(4, answer.Answer(), c.eWaveform, data, sError)) << sError;
        const auto* p = FindAnalog(data, c.eWaveform);
        EXPECT_EQ(p->sUnit, c.sUnit) << c.eWaveform;
        EXPECT_EQ(p->sLabel, c.sLabel) << c.eWaveform;
    }
    uHeld tooShort{"#41200abcdefgh"};
    EXPECT_FALSE(RohdeSchwarzRTB2000CheckChannelData(4, tooShort.Answer(), WaveformChannel1, data, sError));
    EXPECT_EQ(sError, "InstrumentWaveform::RohdeSchwarzRTB2000CheckChannelData: Die Datengröße ist kleiner als im "
                      "SCPI-Blockformat angegeben. Datengröße netto = 8 - Blockformatwert = 1200");
    uHeld ten{"#210abcdef"};
    EXPECT_FALSE(RohdeSchwarzRTB2000CheckChannelData(4, ten.Answer(), WaveformMath5, data, sError));
    EXPECT_NE(FindAnalog(data, WaveformMath5), nullptr); // the element exists, without data
    EXPECT_NE(sError.find("Es sind nicht genügend Daten vorhanden"), std::string::npos);
    uHeld zero{"#0abcdefghijk"};
    EXPECT_FALSE(RohdeSchwarzRTB2000CheckChannelData(4, zero.Answer(), WaveformMath5, data, sError));
    EXPECT_NE(sError.find("Die Angegebene Größe im SCPI-Blockformat ist Null."), std::string::npos);
}

TEST(RohdeSchwarzChecksTest, RequiredChannels) {
    struct uCase {
        const char* sName;
        std::int64_t eModel;
        std::vector<std::int64_t> shown;
        std::vector<std::int64_t> asked;
        std::vector<std::int64_t> read;
    };
    const uCase cases[] = {
        {"channel 2 alone", 4, {4, 6, 11, 13, 38, 43}, {5}, {5}},
        {"all and logic", 4, {4, 6, 38, 43}, {1, 3}, {3, 11, 12, 38, 43}},
        {"line D3 alone", 4, {13, 14, 21}, {16}, {3, 11, 16}},
        {"nothing asked on a two-channel model", 3, {4, 6, 7, 11}, {}, {4, 11}},
        {"math and reference asked", 4, {}, {40, 45}, {40, 45}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sName);
        uFlagTable flags{};
        for (auto e : c.shown) flags[e] = 1;
        uTaskWaveform task;
        for (auto e : c.asked) task.fSource[e] = 1;
        RohdeSchwarzRTB2000RequiredChannels(c.eModel, task, flags);
        std::vector<std::int64_t> set;
        for (std::size_t e = 0; e < flags.size(); ++e) {
            if (flags[e]) set.push_back(static_cast<std::int64_t>(e));
        }
        EXPECT_EQ(set, c.read);
    }
}

} // namespace
