// The HAMEG reader through AddTask against the simulated HM2008, HM1508 and HM1008 over raw
// TCP, its answer checks on hand-made answers, and the script's save of a waveform value.
#include "ScopeReadSupport.h"

#include "sim/HamegScope.h"
#include "sim/RawTcpServer.h"
#include "waveform/InstrumentWaveformHameg.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using Sim::HamegScope;
using namespace InstrumentWaveform;
using V = std::vector<std::int64_t>;

uAnswer Answer(const std::string& s, std::int64_t fFinished = 1) {
    return {fFinished, reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

V On(const uFlagTable& flags) {
    V on;
    for (std::size_t e = 0; e < flags.size(); ++e) {
        if (flags[e]) on.push_back(static_cast<std::int64_t>(e));
    }
    return on;
}

TEST(HamegChecksTest, CatalogueTokensComparedWhole) {
    const std::pair<std::string, V> cases[] = {
        {"CH1,CH2,POD1\r\n", {WaveformChannel1, WaveformChannel2, WaveformLogicPod1}},
        {"ch1,CH2", {WaveformChannel2}},
        {"CH1, CH2", {WaveformChannel1}},
        {"ZADD1", {WaveformZoomAdd1}},
        {"FFT1,RE9,MA5,XX", {WaveformFft1, WaveformMath5, WaveformReference9}},
        {"D0,D1", {}},
    };
    for (const auto& [sAnswer, expected] : cases) {
        uFlagTable flags{};
        std::string sError;
        ASSERT_TRUE(HamegHM2008CheckVisibleChannels(0, Answer(sAnswer), flags, sError));
        EXPECT_EQ(On(flags), expected) << sAnswer;
    }
    uFlagTable flags{};
    std::string sError;
    EXPECT_FALSE(HamegHM2008CheckVisibleChannels(0, Answer(""), flags, sError));
    EXPECT_EQ(sError, "InstrumentWaveform::HamegHM2008CheckVisibleChannels: There are no data available.");
}

TEST(HamegChecksTest, RequiredChannels) {
    struct uCase {
        V shown, asked, expected;
    };
    const uCase cases[] = {
        {{WaveformChannel1, WaveformLogicPod1, WaveformMath1}, {}, {WaveformChannel1, WaveformLogicPod1, WaveformMath1}},
        {{WaveformChannel1, WaveformLogicPod1}, {WaveformLogicPod1}, {}},
        {{WaveformChannel1, WaveformChannel2}, {WaveformDigital2}, {WaveformLogic, WaveformLogicPod1, WaveformDigital2}},
        {{WaveformChannel1}, {WaveformChannel2}, {WaveformChannel2}},
        {{}, {WaveformChannel2}, {WaveformChannel2}},
        {{WaveformChannel1, WaveformLogicPod1, WaveformFft1}, {WaveformAllVisible}, {WaveformLogicPod1, WaveformFft1}},
        {{WaveformMath2}, {WaveformZoomLogicPod1, WaveformReference3},
         {WaveformLogic, WaveformLogicPod1, WaveformZoomLogicPod1, WaveformReference3}},
    };
    for (const uCase& c : cases) {
        uFlagTable flags{};
        for (auto e : c.shown) flags[e] = 1;
        std::vector<std::int64_t> asked(c.asked);
        uTaskWaveform task;
        for (auto e : asked) task.fSource[e] = 1;
        HamegHM2008RequiredChannels(0, &task, flags);
        EXPECT_EQ(On(flags), c.expected) << ::testing::PrintToString(c.asked);
    }
}

TEST(HamegChecksTest, Names) {
    EXPECT_EQ(HamegHM2008ChannelName(WaveformDigital2, HamegNameLabel), "D2");
    EXPECT_EQ(HamegHM2008ChannelName(WaveformDigital2, HamegNameSource), "");
    EXPECT_EQ(HamegHM2008ChannelName(WaveformChannel1, 4), "");
    EXPECT_EQ(HamegHM2008ChannelName(WaveformReference9, HamegNameCatalogue), "RE9");
    EXPECT_EQ(HamegHM2008ChannelName(WaveformZoomLogicPod1, HamegNameSource), "ZPOD1");
    EXPECT_EQ(HamegHM2008ChannelName(WaveformChannel3, HamegNameSource), "");
}

TEST(HamegChecksTest, TraceAnswers) {
    const std::string T = "InstrumentWaveform::HamegHM2008CheckChannelData: ";
    const std::string ten = "0123456789";
    struct uCase {
        std::int64_t eWaveform;
        std::string sAnswer;
        std::size_t iSamples, iRaw;
        std::string sError;
    };
    const uCase cases[] = {
        {WaveformChannel1, ":TRAC:DATA #210" + ten + ";X", 10, 2, ""},
        {WaveformChannel1, ":trac:data #210" + ten + ";X", 10, 2, ""},
        {WaveformLogicPod1, ":TRAC:DATA #13abc;:TRAC:TYPE NORMAL", 3, 18, ""},
        {WaveformChannel1, ":TRAC:DATA #210" + ten, 10, 0, T + "Die Preamble-Daten sind nicht vorhanden."},
        {WaveformChannel1, ":TRAC:DATA", 0, 0, T + "Es sind nicht genügend Daten vorhanden für den Header ':TRAC:DATA '."},
        {WaveformChannel1, ":TRAC:DAT #210" + ten, 0, 0, T + "Der Header ':TRAC:DATA ' ist nicht vorhanden."},
        {WaveformChannel1, ":TRAC:DATA #13ab", 0, 0, T + "Es sind nicht genügend Daten vorhanden für das SCPI-Blockformat."},
        {WaveformChannel1, ":TRAC:DATA X2100123456789", 0, 0, T + "Es ist kein SCPI-Blockformat vorhanden."},
        {WaveformChannel1, ":TRAC:DATA #10;;;;;;;;;;;", 0, 0, T + "Die Angegebene Größe im SCPI-Blockformat ist Null."},
        {WaveformChannel1, ":TRAC:DATA #220" + ten, 0, 0,
         T + "Die Datengröße ist kleiner als im SCPI-Blockformat angegeben. Datengröße netto = 10 - Blockformatwert = 20"},
        {0, ":TRAC:DATA #210" + ten + ";X", 0, 0, T + "Der Kanal ist ungültig: eWaveform = 0"},
    };
    for (const uCase& c : cases) {
        uWaveformData data;
        std::string sError;
        EXPECT_EQ(HamegHM2008CheckChannelData(0, Answer(c.sAnswer), c.eWaveform, &data, sError), c.sError.empty());
        EXPECT_EQ(sError, c.sError);
        if (c.eWaveform == 0) continue;
        const bool fPod = c.eWaveform == WaveformLogicPod1;
        ASSERT_EQ(fPod ? data.DigitalChannels.size() : data.AnalogChannels.size(), 1u);
        const DataBuffer& samples = fPod ? data.DigitalChannels.front().samples : data.AnalogChannels.front().samples;
        const DataBuffer& raw = fPod ? data.DigitalChannels.front().rawPreamble : data.AnalogChannels.front().rawPreamble;
        EXPECT_EQ(samples.size(), c.iSamples) << c.sAnswer;
        EXPECT_EQ(raw.size(), c.iRaw) << c.sAnswer;
    }
    std::string sError;
    EXPECT_FALSE(HamegHM2008CheckChannelData(0, Answer("x"), WaveformChannel1, nullptr, sError));
    EXPECT_EQ(sError, T + "The pointer to the structure is zero: *uWaveformData");
}

TEST(HamegChecksTest, DescriptionFieldsByPosition) {
    uWaveformData data;
    std::string sError;
    const std::string sAnswer = ":TRAC:DATA #11x;A;B;3.9E2;D;1;2.5;-3;4e1;5;J;6;7;8;N;O;P;Q\r\n";
    ASSERT_TRUE(HamegHM2008CheckChannelData(0, Answer(sAnswer), WaveformChannel2, &data, sError)) << sError;
    ASSERT_TRUE(HamegHM2008CreatePreamble(WaveformChannel2, &data, sError)) << sError;
    const auto* p = std::get_if<uPreambleHameg>(data.AnalogChannels.front().pPreamble.get());
    ASSERT_TRUE(p);
    EXPECT_EQ(p->s1, "A");
    EXPECT_EQ(p->s2, "B");
    EXPECT_EQ(p->i3, 390);
    EXPECT_EQ(p->s4, "D");
    EXPECT_DOUBLE_EQ(p->d5, 1.0);
    EXPECT_DOUBLE_EQ(p->d6, 2.5);
    EXPECT_DOUBLE_EQ(p->d7, -3.0);
    EXPECT_DOUBLE_EQ(p->d8, 40.0);
    EXPECT_DOUBLE_EQ(p->d9, 5.0);
    EXPECT_EQ(p->s10, "J");
    EXPECT_DOUBLE_EQ(p->d13, 8.0);
    EXPECT_EQ(p->s16, "P"); // "Q" is the seventeenth item after the empty first: ignored
    // Items that begin with a text header read 0.
    const uPreambleHameg q = ParseHamegDescription(";:TRAC:TYPE NORMAL;:TRAC:POIN 2000;:TRAC:XINC 1E-6");
    EXPECT_EQ(q.s1, ":TRAC:TYPE NORMAL");
    EXPECT_EQ(q.i3, 0);
    const std::string T = "InstrumentWaveform::HamegHM2008CreatePreamble: ";
    EXPECT_FALSE(HamegHM2008CreatePreamble(WaveformChannel1, &data, sError));
    EXPECT_EQ(sError, T + "Der analoge Kanal ist nicht in der Liste vorhanden: eWaveform = 4");
    EXPECT_FALSE(HamegHM2008CreatePreamble(WaveformDigital1, &data, sError));
    EXPECT_EQ(sError, T + "Der digitale Kanal ist nicht in der Liste vorhanden: eWaveform = 14");
    FindOrAddAnalog(data, WaveformChannel1);
    EXPECT_FALSE(HamegHM2008CreatePreamble(WaveformChannel1, &data, sError));
    EXPECT_EQ(sError, T + "Die Raw-Preamble-Daten sind nicht vorhanden.");
    EXPECT_FALSE(HamegHM2008CreatePreamble(WaveformChannel1, nullptr, sError));
    EXPECT_EQ(sError, T + "The pointer to the structure is zero: *uWaveformData");
}

TEST(HamegChecksTest, PointCounts) {
    const std::tuple<std::string, std::int64_t, std::string> cases[] = {
        {"1.2E+04\n", 12000, ""},
        {"2000", 2000, ""},
        {"0", 0, "Die Anzahl ist nicht größer Null. Antwort: >0<"},
        {"points", 0, "Die Anzahl ist nicht größer Null. Antwort: >points<"},
        {"9.9E37", 0, "Die Anzahl ist ungültig. Antwort: >9.9E37<"},
    };
    for (const auto& [sAnswer, iExpected, sExpected] : cases) {
        std::int64_t iPoints = -1;
        std::string sError;
        EXPECT_EQ(HamegHM2008CheckAcquirePoints(0, Answer(sAnswer), iPoints, sError), sExpected.empty());
        EXPECT_EQ(iPoints, iExpected);
        EXPECT_EQ(sError, sExpected);
    }
}

TEST(HamegChecksTest, SavingAScriptWaveformFailsWithItsReason) {
    const std::string T = "InstrumentWaveform::SaveWaveform: ";
    for (const std::int64_t eModel : {0, 15, 16, 17, 18, 3}) {
        uWaveformData data;
        data.eModel = eModel;
        std::string sError;
        EXPECT_FALSE(SaveWaveform(&data, "", "", 0, &sError));
        EXPECT_EQ(sError, T + "The file name is not present.");
        EXPECT_FALSE(SaveWaveform(&data, "/tmp/never-written.csv", "", 0, &sError));
        EXPECT_EQ(sError, T + "Saving the traces of a script waveform as a file is not supported.");
    }
    std::string sError;
    EXPECT_FALSE(SaveWaveform(nullptr, "x", "", 0, &sError));
    EXPECT_EQ(sError, T + "The pointer to the structure is zero: *uWaveform");
    EXPECT_FALSE(SaveWaveform(nullptr, "x", "", 0, nullptr));
    const uWaveformSave save;
    EXPECT_FALSE(HamegHM2008SaveWaveform(nullptr, nullptr, &sError));
    EXPECT_EQ(sError, "InstrumentWaveform::HamegHM2008SaveWaveform: The pointer to the structure is zero: *uWaveformSave");
    EXPECT_FALSE(HamegHM2008SaveWaveform(&save, nullptr, &sError));
    EXPECT_EQ(sError, "InstrumentWaveform::HamegHM2008SaveWaveform: The pointer to the structure is zero: *uWaveform");
}

// ---- reads through the simulator ----

class HamegReadTest : public ScopeRead::SimulatorTest<HamegScope> {
  protected:
    void Open(HamegScope::eModel model, std::int64_t eModel) { OpenScope(eModel, model); }
    static std::vector<std::uint8_t> Expected(const std::string& sTrace, std::size_t n) {
        std::vector<std::uint8_t> v(n);
        for (std::size_t i = 0; i < n; ++i) v[i] = HamegScope::Sample(sTrace, i);
        return v;
    }
    static V Sources(const uWaveformData& data) {
        V v;
        for (const auto& c : data.AnalogChannels) v.push_back(c.eWaveform);
        for (const auto& c : data.DigitalChannels) v.push_back(c.eWaveform);
        return v;
    }
};

TEST_F(HamegReadTest, EveryCataloguedSourceInTableOrderWithItsPointDepth) {
    struct uCase {
        HamegScope::eModel model;
        std::int64_t eModel, eSource, eBits;
        std::string sWord;
        bool fStop;
        std::int64_t eSourceAfter;
    };
    const uCase cases[] = {
        {HamegScope::eModel::HM2008, ModelHamegHM2008, DataSourceScreen, 4, "DEF", false, DataSourceScreen},
        {HamegScope::eModel::HM1508, ModelHamegHM1508, DataSourceMemory, 5, "DMAX", true, DataSourceMemory},
        {HamegScope::eModel::HM1008, ModelHamegHM1008, DataSourceEntireMemory, 4, "MAX", true, DataSourceEntireMemory},
        {HamegScope::eModel::HM2008, ModelHamegHM2008, 4, 4, "DEF", false, DataSourceScreen},
        {HamegScope::eModel::HM2008, ModelHamegHM2008, 0, 4, "DEF", false, DataSourceScreen},
    };
    for (const uCase& c : cases) {
        Open(c.model, c.eModel);
        pScope->SetCatalogue("MA1,POD1,CH2,CH1,FFT1");
        pScope->SetMemoryDepth(40000);
        const auto result = pSession->Read(ScopeRead::Task(c.eSource, c.eBits));
        ASSERT_TRUE(result.pData) << ::testing::PrintToString(result.errors);
        EXPECT_EQ(Sources(*result.pData), (V{WaveformChannel1, WaveformChannel2, WaveformMath1, WaveformLogicPod1}));
        EXPECT_EQ(pScope->PointWord(), c.sWord);
        EXPECT_EQ(pScope->Stopped(), c.fStop);
        EXPECT_EQ(Sent(":ACQ:STAT STOP"), c.fStop);
        EXPECT_TRUE(Sent(":TRAC:POIN " + c.sWord));
        const std::size_t n = static_cast<std::size_t>(pScope->Points());
        for (const auto& ch : result.pData->AnalogChannels) {
            const std::string sTrace = HamegHM2008ChannelName(ch.eWaveform, HamegNameSource);
            EXPECT_EQ(ScopeRead::Bytes(ch.samples), Expected(sTrace, n)) << sTrace;
            EXPECT_EQ(ch.iPoints, static_cast<std::int64_t>(n));
            EXPECT_EQ(ch.eBits, 4);
            EXPECT_EQ(ch.iBytesPerSample, 1);
            EXPECT_EQ(ch.eSource, c.eSourceAfter);
            EXPECT_EQ(ch.sLabel, sTrace);
            EXPECT_EQ(ch.sUnit, "");
            EXPECT_EQ(ch.rawPreamble.view(), ";" + pScope->Description(sTrace) + "\n\r");
            ASSERT_TRUE(std::get_if<uPreambleHameg>(ch.pPreamble.get()));
        }
        const auto& pod = result.pData->DigitalChannels.front();
        EXPECT_EQ(ScopeRead::Bytes(pod.samples), Expected("POD1", n));
        EXPECT_EQ(pod.sLabel, "POD1");
        EXPECT_EQ(pod.iPoints, static_cast<std::int64_t>(n));
    }
}

TEST_F(HamegReadTest, MinMaxTracesAndRealPointCounts) {
    Open(HamegScope::eModel::HM2008, ModelHamegHM2008);
    pScope->SetMinMax(true);
    pScope->SetPointsAsReal(true);
    const auto result = pSession->Read(ScopeRead::Task(DataSourceScreen, 4, {WaveformChannel1}));
    ASSERT_TRUE(result.pData) << ::testing::PrintToString(result.errors);
    const auto& ch = result.pData->AnalogChannels.front();
    EXPECT_EQ(ch.samples.size(), 4000u);
    EXPECT_EQ(ch.iPoints, 2000);
    EXPECT_EQ(ScopeRead::Bytes(ch.samples), Expected("CH1", 4000));
}

TEST_F(HamegReadTest, FailuresNameTheirStep) {
    const std::string R = "InstrumentDefault::GetWaveformHamegHM2008: ";
    const std::string D = R + "Error sending and receiving the SCPI command: >:TRAC:SOUR CH1;:TRAC?< - "
                              "InstrumentWaveform::HamegHM2008CheckChannelData: ";
    struct uCase {
        std::function<void(HamegScope&)> arm;
        std::string sText;
    };
    const uCase cases[] = {
        {[](HamegScope& s) { s.SetFault(HamegScope::eFault::NoTraceHeader); }, D + "Der Header ':TRAC:DATA ' ist nicht vorhanden."},
        {[](HamegScope& s) { s.SetFault(HamegScope::eFault::ZeroCount); }, D + "Die Angegebene Größe im SCPI-Blockformat ist Null."},
        {[](HamegScope& s) { s.SetPointsAnswer("0"); },
         R + "Error sending and receiving the SCPI command: >:TRAC:POIN?< - Die Anzahl ist nicht größer Null. Antwort: >0<"},
        {[](HamegScope& s) { s.SetPointsAnswer("9.9E37"); },
         R + "Error sending and receiving the SCPI command: >:TRAC:POIN?< - Die Anzahl ist ungültig. Antwort: >9.9E37<"},
    };
    for (const uCase& c : cases) {
        Open(HamegScope::eModel::HM2008, ModelHamegHM2008);
        c.arm(*pScope);
        const auto result = pSession->Read(ScopeRead::Task(DataSourceScreen, 4));
        EXPECT_FALSE(result.pData) << c.sText;
        ASSERT_FALSE(result.errors.empty());
        EXPECT_NE(result.errors.back().find(c.sText), std::string::npos) << result.errors.back();
    }
}

} // namespace
