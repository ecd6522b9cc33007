// The Siglent reader through AddTask against the simulated SDS2000X Plus and SDS5000X over raw
// TCP, and its answer checks on hand-made answers.
#include "ScopeReadSupport.h"

#include "sim/RawTcpServer.h"
#include "sim/SiglentScope.h"
#include "waveform/InstrumentWaveformSiglent.h"
#include "waveform/WaveformReaderSiglent.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using Sim::SiglentScope;
using namespace InstrumentWaveform;

uAnswer Answer(const std::string& s, std::int64_t fFinished = 1) {
    return {fFinished, reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

std::string Block(const std::string& sPrefix, std::size_t iCount, std::size_t iBytes) {
    char s[16];
    std::snprintf(s, sizeof s, "#9%09zu", iCount);
    return sPrefix + s + std::string(iBytes, '\x7f');
}

// ---- checks ----

TEST(SiglentChecksTest, VisibleChannelsByModelAndOnExactly) {
    struct uCase {
        std::int64_t eModel;
        std::string sAnswer;
        std::vector<std::int64_t> on;
    };
    const uCase cases[] = {
        {ModelSiglentSDS2000XPlusCh2, "ON;OFF;ON;OFF;ON\n", {WaveformLogic, WaveformChannel1, WaveformFunction1}},
        {ModelSiglentSDS2000XPlusCh4, "OFF;ON;ON;ON;OFF;ON;OFF", {WaveformChannel2, WaveformChannel3, WaveformChannel4, WaveformFunction2}},
        {ModelSiglentSDS2000XPlusCh4, "ON ;on;ON", {WaveformChannel3}}, // a blank before ";" and lower case are off
        {ModelSiglentSDS2000XPlusCh2, "ON;ON;ON;ON;ON;ON;ON;ON", {WaveformLogic, WaveformChannel1, WaveformChannel2, WaveformFunction1, WaveformFunction2}},
        {ModelRigolDS1000Z, "ON;ON", {}},
    };
    for (const uCase& c : cases) {
        uFlagTable flags{};
        std::string sError;
        ASSERT_TRUE(SiglentSDS2000XPlusCheckVisibleChannels(c.eModel, Answer(c.sAnswer), flags, sError));
        std::vector<std::int64_t> on;
        for (std::size_t e = 0; e < flags.size(); ++e) {
            if (flags[e]) on.push_back(static_cast<std::int64_t>(e));
        }
        EXPECT_EQ(on, c.on) << c.sAnswer;
    }
    uFlagTable flags{};
    std::string sError;
    EXPECT_FALSE(SiglentSDS2000XPlusCheckVisibleChannels(ModelSiglentSDS2000XPlusCh2, Answer("ON", 0), flags, sError));
    EXPECT_EQ(sError, "InstrumentWaveform::SiglentSDS2000XPlusCheckVisibleChannels: There are no data available.");
}

TEST(SiglentChecksTest, DigitalLinesAndLabelsWithoutCustomOnes) {
    std::string s;
    for (int n = 0; n < 16; ++n) s += (n % 3 == 0 ? "ON;" : "OFF;");
    for (int n = 0; n < 16; ++n) s += n == 2 ? "\"CUST[1]\";" : "\"L" + std::to_string(n) + "\";";
    s += "EXTRA";
    uFlagTable flags{};
    uLabelTable labels;
    std::string sError;
    ASSERT_TRUE(SiglentSDS2000XPlusCheckVisibleDigitalChannels(0, Answer(s), flags, labels, sError));
    for (int n = 0; n < 16; ++n) {
        EXPECT_EQ(flags[WaveformDigital0 + n], n % 3 == 0 ? 1 : 0) << n;
        EXPECT_EQ(labels[WaveformDigital0 + n], n == 2 ? "" : "L" + std::to_string(n)) << n;
    }
}

TEST(SiglentChecksTest, PointCounts) {
    struct uCase {
        std::string sAnswer;
        std::int64_t iPoints;
        std::string sError;
    };
    const uCase cases[] = {
        {"1.0E+07\n", 10000000, ""},
        {"2.50E+07", 25000000, ""},
        {"1001", 1001, ""},
        {"0", 0, "Die Anzahl ist nicht größer Null. Antwort: >0<"},
        {" \r\n", 0, "Die Anzahl ist nicht größer Null. Antwort: ><"},
        {"Memory", 0, "Die Anzahl ist nicht größer Null. Antwort: >Memory<"},
        {"9.9E37", 0, "Die Anzahl ist ungültig. Antwort: >9.9E37<"},
        {"1.000000001E9", 0, "Die Anzahl ist ungültig. Antwort: >1.000000001E9<"},
    };
    for (const uCase& c : cases) {
        std::int64_t iPoints = -1;
        std::string sError;
        EXPECT_EQ(SiglentSDS2000XPlusCheckAcquirePoints(0, Answer(c.sAnswer), iPoints, sError), c.sError.empty());
        EXPECT_EQ(iPoints, c.iPoints) << c.sAnswer;
        EXPECT_EQ(sError, c.sError);
    }
}

TEST(SiglentChecksTest, DataAndDescriptorAnswers) {
    const std::string T = "InstrumentWaveform::SiglentSDS2000XPlusCheckChannelData: ";
    struct uCase {
        std::int64_t eWaveform;
        std::string sAnswer;
        std::size_t iStored;
        std::string sError;
    };
    const uCase cases[] = {
        {WaveformChannel1, Block("DAT2,", 10, 10) + "\n\n", 10, ""},
        {WaveformChannel1, Block("dat2,", 4, 4), 4, ""},
        {WaveformDigital3, Block("DAT2,", 1001, 126), 126, ""},
        {WaveformChannel1, Block("", 10, 10) + "\n", 10, ""}, // bare, as the current guide shows it
        {WaveformDigital3, Block("", 1001, 126), 126, ""},
        {WaveformChannel1, "#900000", 0, T + "Es sind nicht genügend Daten vorhanden für das SCPI-Blockformat."},
        {WaveformDigital3, Block("DAT2,", 1001, 125), 0,
         T + "Die Datengröße ist kleiner als im SCPI-Blockformat angegeben. Datengröße netto = 125 - Blockformatwert = 126"},
        {WaveformChannel2, "DAT", 0, T + "Es sind nicht genügend Daten vorhanden für den Header 'DAT2,'."},
        {WaveformChannel2, "DATA,#9000000001x", 0, T + "Der Header 'DAT2,' ist nicht vorhanden."},
        {WaveformChannel2, "DAT2,#900000", 0, T + "Es sind nicht genügend Daten vorhanden für das SCPI-Blockformat."},
        {WaveformChannel2, "DAT2,X9000000001x", 0, T + "Es ist kein SCPI-Blockformat vorhanden."},
        {WaveformChannel2, "DAT2,#9000000000\n", 0, T + "Die Angegebene Größe im SCPI-Blockformat ist Null."},
        {56, Block("DAT2,", 1, 1), 0, T + "Der Kanal ist ungültig: eWaveform = 56"},
    };
    for (const uCase& c : cases) {
        uWaveformData data;
        std::string sError;
        EXPECT_EQ(SiglentSDS2000XPlusCheckChannelData(0, Answer(c.sAnswer), c.eWaveform, data, sError), c.sError.empty());
        EXPECT_EQ(sError, c.sError);
        const bool fLine = c.eWaveform >= WaveformDigital0 && c.eWaveform <= WaveformDigital15;
        if (c.eWaveform <= 55) {
            // The element is there even when the answer failed.
            ASSERT_EQ(fLine ? data.DigitalChannels.size() : data.AnalogChannels.size(), 1u) << c.sAnswer;
            EXPECT_EQ(fLine ? data.DigitalChannels.front().samples.size() : data.AnalogChannels.front().samples.size(),
                      c.iStored);
        }
    }
    // Parts land behind each other; the descriptor needs the element and is kept whole.
    uWaveformData data;
    std::string sError;
    ASSERT_TRUE(SiglentSDS2000XPlusCheckChannelData(0, Answer("DAT2,#9000000003abc"), WaveformChannel1, data, sError));
    ASSERT_TRUE(SiglentSDS2000XPlusCheckChannelData(0, Answer("DAT2,#9000000002de\n"), WaveformChannel1, data, sError));
    EXPECT_EQ(ScopeRead::Bytes(data.AnalogChannels.front().samples), (std::vector<std::uint8_t>{'a', 'b', 'c', 'd', 'e'}));
    EXPECT_FALSE(SiglentSDS2000XPlusCheckPreamble(0, Answer(Block("DESC,", 346, 346)), WaveformChannel2, data, sError));
    EXPECT_EQ(sError, "InstrumentWaveform::SiglentSDS2000XPlusCheckPreamble: Der Kanal ist nicht in der "
                      "Waveform-Struktur vorhanden. eWaveform = 5");
    EXPECT_FALSE(SiglentSDS2000XPlusCheckPreamble(0, Answer(Block("DESX,", 346, 346)), WaveformChannel1, data, sError));
    EXPECT_EQ(sError, "InstrumentWaveform::SiglentSDS2000XPlusCheckPreamble: Der Header 'DESC,' ist nicht vorhanden.");
    ASSERT_TRUE(SiglentSDS2000XPlusCheckPreamble(0, Answer(Block("desc,", 100, 100)), WaveformChannel1, data, sError));
    EXPECT_EQ(data.AnalogChannels.front().rawPreamble.size(), 100u);
    // Bare, as the current guide answers :WAV:PRE?.
    ASSERT_TRUE(SiglentSDS2000XPlusCheckPreamble(0, Answer(Block("", 346, 346)), WaveformChannel1, data, sError));
    EXPECT_EQ(data.AnalogChannels.front().rawPreamble.size(), 446u);
    EXPECT_FALSE(data.AnalogChannels.front().pPreamble);
}

TEST(SiglentChecksTest, UnitAndLabel) {
    struct uCase {
        std::int64_t eWaveform;
        std::string sAnswer;
        std::string sUnit, sLabel;
    };
    const uCase cases[] = {
        {WaveformChannel1, "V;ON;\"Clock\"", "V", "Clock"},
        {WaveformChannel2, "A;OFF;\"Clock\"", "A", "CH2"},
        {WaveformChannel3, "V;ON;\"\"", "V", "CH3"},
        {WaveformFunction1, "V;OFF", "V", ""}, // two parts: no display-name fallback
    };
    for (const uCase& c : cases) {
        uWaveformData data;
        InstrumentWaveform::FindOrAddAnalog(data, c.eWaveform);
        std::string sError;
        ASSERT_TRUE(SiglentSDS2000XPlusCheckUnitAndLabel(0, Answer(c.sAnswer), c.eWaveform, data, sError)) << sError;
        EXPECT_EQ(data.AnalogChannels.front().sUnit, c.sUnit);
        EXPECT_EQ(data.AnalogChannels.front().sLabel, c.sLabel);
    }
}

TEST(SiglentChecksTest, RequiredChannels) {
    auto run = [](std::int64_t eModel, std::initializer_list<std::int64_t> shown, std::initializer_list<std::int64_t> asked) {
        uFlagTable flags{};
        for (auto e : shown) flags[e] = 1;
        const uTaskWaveform task = ScopeRead::Task(DataSourceMemory, 4, asked);
        SiglentSDS2000XPlusRequiredChannels(eModel, &task, flags);
        std::vector<std::int64_t> on;
        for (std::size_t e = 0; e < flags.size(); ++e) {
            if (flags[e]) on.push_back(static_cast<std::int64_t>(e));
        }
        return on;
    };
    using V = std::vector<std::int64_t>;
    const std::int64_t Ch2 = ModelSiglentSDS2000XPlusCh2, Ch4 = ModelSiglentSDS2000XPlusCh4;
    EXPECT_EQ(run(Ch4, {WaveformChannel1, WaveformChannel3, WaveformFunction1}, {}),
              (V{WaveformChannel1, WaveformChannel3, WaveformFunction1}));
    EXPECT_EQ(run(Ch2, {WaveformChannel1}, {WaveformChannel3, WaveformChannel4, WaveformAllAnalog}), (V{WaveformChannel1}));
    EXPECT_EQ(run(Ch4, {WaveformChannel1, WaveformLogic, WaveformDigital1}, {WaveformDigital5 + 4, WaveformFunction1}),
              (V{WaveformLogic, WaveformDigital9, WaveformFunction1}));
    EXPECT_EQ(run(Ch4, {WaveformDigital1, WaveformDigital9}, {WaveformLogicPod2}), (V{WaveformDigital9}));
    EXPECT_EQ(run(Ch4, {WaveformChannel2, WaveformFunction2}, {WaveformMath1}), (V{}));
    EXPECT_EQ(run(Ch4, {WaveformChannel2, WaveformFunction2}, {WaveformAllVisible}), (V{WaveformFunction2}));
}

TEST(SiglentChecksTest, NamesAndLogicLabels) {
    EXPECT_EQ(SiglentSDS2000XPlusChannelName(WaveformChannel3, SiglentNameSource), "C3");
    EXPECT_EQ(SiglentSDS2000XPlusChannelName(WaveformChannel3, SiglentNamePrefix), "CHAN3");
    EXPECT_EQ(SiglentSDS2000XPlusChannelName(WaveformChannel3, SiglentNameDisplay), "CH3");
    EXPECT_EQ(SiglentSDS2000XPlusChannelName(WaveformDigital15, SiglentNamePrefix), "D15");
    EXPECT_EQ(SiglentSDS2000XPlusChannelName(WaveformFunction2, SiglentNameSource), "F2");
    EXPECT_EQ(SiglentSDS2000XPlusChannelName(WaveformMath1, SiglentNameSource), "");
    EXPECT_EQ(SiglentSDS2000XPlusChannelName(WaveformChannel1, 4), "");
    uWaveformData data;
    uLabelTable labels;
    labels[WaveformDigital4] = "CLK";
    InstrumentWaveform::FindOrAddDigital(data, WaveformDigital4);
    InstrumentWaveform::FindOrAddDigital(data, WaveformDigital5);
    SiglentSDS2000XPlusSetLogicLabel(WaveformDigital4, &data, labels);
    SiglentSDS2000XPlusSetLogicLabel(WaveformDigital5, &data, labels);
    SiglentSDS2000XPlusSetLogicLabel(WaveformDigital5, nullptr, labels);
    EXPECT_EQ(data.DigitalChannels.front().sLabel, "CLK");
    EXPECT_EQ(data.DigitalChannels.back().sLabel, "D5");
}

// ---- reads through the simulator ----

class SiglentReadTest : public ScopeRead::SimulatorTest<SiglentScope> {
  protected:
    void Open(SiglentScope::eModel model, std::int64_t eModel) { OpenScope(eModel, model); }
    static std::vector<std::uint8_t> Expected(int iSource, std::size_t n, bool fWord) {
        std::vector<std::uint8_t> v;
        for (std::size_t i = 0; i < n; ++i) {
            const auto x = static_cast<std::uint16_t>(SiglentScope::Sample(iSource, i));
            if (fWord) v.push_back(static_cast<std::uint8_t>(x & 0xFF));
            v.push_back(static_cast<std::uint8_t>(x >> 8));
        }
        return v;
    }
    static std::vector<std::uint8_t> ExpectedLine(int iLine, std::size_t n) {
        std::vector<std::uint8_t> v((n + 7) / 8, 0);
        for (std::size_t i = 0; i < n; ++i) {
            if (SiglentScope::LineBit(iLine, i)) v[i / 8] = static_cast<std::uint8_t>(v[i / 8] | (1u << (i % 8)));
        }
        return v;
    }
};

TEST_F(SiglentReadTest, TwoChannelModelsNeverReadChannelsThreeAndFour) {
    // The second model's Channel 1 shows a label holding ";", which separates nothing.
    for (const auto& [model, eModel, sLabel] : {std::tuple{SiglentScope::eModel::SDS2102XPlus, ModelSiglentSDS2000XPlusCh2, "CH1"},
                                                std::tuple{SiglentScope::eModel::SDS5032X, ModelSiglentSDS5000XCh2, "A;B"}}) {
        Open(model, eModel);
        pScope->ShowChannel(2, true);
        if (*sLabel == 'A') pScope->SetChannelLabel(1, sLabel, true);
        const auto result = pSession->Read(ScopeRead::Task(DataSourceScreen, 7, {WaveformChannel1, WaveformChannel3, WaveformChannel4}));
        ASSERT_TRUE(result.pData) << ::testing::PrintToString(result.errors);
        ASSERT_EQ(result.pData->AnalogChannels.size(), 1u);
        const auto& ch1 = result.pData->AnalogChannels.front();
        EXPECT_EQ(ch1.eWaveform, WaveformChannel1);
        EXPECT_EQ(ScopeRead::Bytes(ch1.samples), Expected(1, 10000, false));
        EXPECT_EQ(ch1.rawPreamble.size(), 346u);
        EXPECT_EQ(ch1.sUnit, "V");
        EXPECT_EQ(ch1.sLabel, sLabel);
        EXPECT_EQ(ch1.eSource, DataSourceMemory);
        EXPECT_EQ(ch1.eBits, 4);
        EXPECT_EQ(ch1.iPoints, 10000);
        EXPECT_FALSE(Sent(":CHAN3:VIS?"));
        EXPECT_TRUE(Sent(":TRIG:STOP"));
        EXPECT_TRUE(pScope->Stopped());
        EXPECT_EQ(pScope->DataRequests(), (std::vector<std::string>{"C1 0 10000"}));
        EXPECT_EQ(result.pData->eModel, 0);
    }
}

TEST_F(SiglentReadTest, WordPartsOfFiveMillionAndLineBytePartsOfTenMillionWhateverMaxPointSays) {
    const ScopeRead::PatientTimeouts patient;
    Open(SiglentScope::eModel::SDS2104XPlus, ModelSiglentSDS2000XPlusCh4);
    pScope->SetMemoryDepth(10000000);
    pScope->SetLineDepth(20000000);
    pScope->SetMaxPoint(0, 20000000); // MAXPoint says more than a piece may hold
    pScope->SetPointsAsInteger(true);
    pScope->ShowLogic(true);
    pScope->ShowLine(5, true);
    pScope->SetLineLabel(5, "CUST[2]");
    const auto result = pSession->Read(ScopeRead::Task(DataSourceMemory, 5, {WaveformChannel1, WaveformDigital5}), 300000);
    ASSERT_TRUE(result.pData) << ::testing::PrintToString(result.errors);
    EXPECT_EQ(pScope->DataRequests(),
              (std::vector<std::string>{"C1 0 5000000", "C1 5000000 5000000", "D5 0 10000000", "D5 10000000 10000000"}));
    const auto& ch1 = result.pData->AnalogChannels.front();
    EXPECT_EQ(ch1.iBytesPerSample, 2);
    EXPECT_EQ(ch1.eBits, 5);
    EXPECT_EQ(ScopeRead::Bytes(ch1.samples), Expected(1, 10000000, true));
    ASSERT_EQ(result.pData->DigitalChannels.size(), 1u);
    const auto& d5 = result.pData->DigitalChannels.front();
    EXPECT_EQ(ScopeRead::Bytes(d5.samples), ExpectedLine(5, 20000000));
    EXPECT_EQ(d5.iPoints, 20000000);
    EXPECT_EQ(d5.sLabel, "D5");
    EXPECT_EQ(result.pData->sLabel[WaveformDigital5], "");
    EXPECT_EQ(pScope->Width(), "BYTE");
    EXPECT_TRUE(Sent(":WAV:WIDT WORD"));
}

TEST_F(SiglentReadTest, NothingShownReadsNothing) {
    Open(SiglentScope::eModel::SDS5034X, ModelSiglentSDS5000XCh4);
    pScope->ShowChannel(1, false);
    const auto result = pSession->Read(ScopeRead::Task(DataSourceScreen, 4));
    ASSERT_TRUE(result.pData) << ::testing::PrintToString(result.errors);
    EXPECT_TRUE(result.pData->AnalogChannels.empty());
    EXPECT_TRUE(Sent(":ACQ:POIN?"));
    EXPECT_FALSE(Sent(":DIG:D0?;:DIG:D1?")); // the logic display is off
}

TEST_F(SiglentReadTest, ALineIsReadOnlyWithTheLogicDisplayOn) {
    Open(SiglentScope::eModel::SDS2104XPlus, ModelSiglentSDS2000XPlusCh4);
    pScope->SetMemoryDepth(1001);
    pScope->SetLineDepth(1001);
    pScope->SetPointsAsInteger(true);
    pScope->ShowLine(5, true);
    auto result = pSession->Read(ScopeRead::Task(DataSourceMemory, 4, {WaveformDigital5, WaveformFunction1}));
    ASSERT_TRUE(result.pData) << ::testing::PrintToString(result.errors);
    EXPECT_TRUE(result.pData->DigitalChannels.empty());
    ASSERT_EQ(result.pData->AnalogChannels.size(), 1u); // the function named by the task, although off
    EXPECT_EQ(result.pData->AnalogChannels.front().eWaveform, WaveformFunction1);
    pScope->ShowLogic(true);
    pScope->SetLineLabel(5, "SDA");
    result = pSession->Read(ScopeRead::Task(DataSourceMemory, 4, {WaveformDigital5}));
    ASSERT_TRUE(result.pData) << ::testing::PrintToString(result.errors);
    ASSERT_EQ(result.pData->DigitalChannels.size(), 1u);
    EXPECT_EQ(result.pData->DigitalChannels.front().samples.size(), 126u);
    EXPECT_EQ(result.pData->DigitalChannels.front().sLabel, "SDA");
    EXPECT_EQ(result.pData->sLabel[WaveformDigital5], "SDA");
}

// A line's block announces points, eight to a byte: the raw TCP read ends it behind its bytes.
// With a raw TCP time-out of two minutes, a read that waited for the announced count would not
// finish within the wait.
TEST_F(SiglentReadTest, LinePartsEndBehindTheirPackedBytesNotByTheTimeOut) {
    const ScopeRead::PatientTimeouts patient(120000);
    Open(SiglentScope::eModel::SDS2104XPlus, ModelSiglentSDS2000XPlusCh4);
    pScope->SetMemoryDepth(1001);
    pScope->SetLineDepth(10000001); // two parts: ten million points and one
    pScope->SetPointsAsInteger(true);
    pScope->ShowLogic(true);
    pScope->ShowLine(3, true);
    const auto result = pSession->Read(ScopeRead::Task(DataSourceMemory, 4, {WaveformDigital3}), 90000);
    ASSERT_TRUE(result.fFinished);
    ASSERT_TRUE(result.pData) << ::testing::PrintToString(result.errors);
    EXPECT_EQ(pScope->DataRequests(), (std::vector<std::string>{"D3 0 10000000", "D3 10000000 1"}));
    ASSERT_EQ(result.pData->DigitalChannels.size(), 1u);
    const auto& d3 = result.pData->DigitalChannels.front();
    std::vector<std::uint8_t> expected = ExpectedLine(3, 10000000);
    expected.push_back(static_cast<std::uint8_t>(SiglentScope::LineBit(3, 10000000)));
    EXPECT_EQ(ScopeRead::Bytes(d3.samples), expected);
    EXPECT_EQ(d3.rawPreamble.size(), 346u);
    EXPECT_EQ(d3.iPoints, 10000001);
}

// Data blocks behind "DAT2," and bare give the same samples; a bare line block, too, ends behind
// its packed bytes rather than by the two minutes' time-out.
TEST_F(SiglentReadTest, DataBlocksAreTakenWithAndWithoutTheirPrefix) {
    const ScopeRead::PatientTimeouts patient(120000);
    for (const bool fPrefix : {true, false}) {
        Open(SiglentScope::eModel::SDS2104XPlus, ModelSiglentSDS2000XPlusCh4);
        pScope->SetDataPrefix(fPrefix);
        pScope->SetMemoryDepth(1001);
        pScope->SetLineDepth(1001);
        pScope->SetPointsAsInteger(true);
        pScope->ShowLogic(true);
        pScope->ShowLine(5, true);
        const auto result = pSession->Read(ScopeRead::Task(DataSourceMemory, 4, {WaveformChannel1, WaveformDigital5}), 90000);
        ASSERT_TRUE(result.pData) << fPrefix << ::testing::PrintToString(result.errors);
        ASSERT_EQ(result.pData->AnalogChannels.size(), 1u);
        EXPECT_EQ(ScopeRead::Bytes(result.pData->AnalogChannels.front().samples), Expected(1, 1001, false)) << fPrefix;
        ASSERT_EQ(result.pData->DigitalChannels.size(), 1u);
        EXPECT_EQ(ScopeRead::Bytes(result.pData->DigitalChannels.front().samples), ExpectedLine(5, 1001)) << fPrefix;
    }
}

TEST_F(SiglentReadTest, AFailedSecondPartKeepsTheFirstAndNamesItsRequest) {
    const ScopeRead::PatientTimeouts patient;
    Open(SiglentScope::eModel::SDS2104XPlus, ModelSiglentSDS2000XPlusCh4);
    pScope->SetMemoryDepth(15000000);
    struct uFault {
        SiglentScope::eFault fault;
        std::string sText;
    };
    const std::string R = "InstrumentDefault::GetWaveformSiglentSDS2000XPlus: Error sending and receiving the SCPI command: >"
                          ":WAV:SOUR C1;:WAV:STAR 10000000;:WAV:POIN 5000000;:WAV:DATA?< - InstrumentWaveform::"
                          "SiglentSDS2000XPlusCheckChannelData: ";
    for (const uFault& f : {uFault{SiglentScope::eFault::ZeroCount, R + "Die Angegebene Größe im SCPI-Blockformat ist Null."},
                            uFault{SiglentScope::eFault::NoDataHeader, R + "Der Header 'DAT2,' ist nicht vorhanden."}}) {
        pScope->SetFault(f.fault, 1); // the first data part passes; the fault meets the second
        const auto result = pSession->Read(ScopeRead::Task(DataSourceMemory, 4), 120000);
        EXPECT_FALSE(result.pData);
        ASSERT_FALSE(result.errors.empty());
        EXPECT_NE(result.errors.back().find(f.sText), std::string::npos) << result.errors.back();
    }
}

} // namespace
