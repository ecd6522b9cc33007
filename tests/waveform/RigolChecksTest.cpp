// The Rigol answer checks on answers as the instruments send them, the required-channels step,
// and the task road's own checks (GetWaveform on an instance without the worker).
#include "instrument/InstrumentDefault.h"
#include "transport/AbortRequests.h"
#include "waveform/InstrumentWaveformRigol.h"
#include "waveform/WaveformReaders.h"

#include <gtest/gtest.h>

namespace {

using namespace InstrumentWaveform;

struct uHeld {
    std::string sBytes;
    uAnswer Answer() const { return {1, reinterpret_cast<const std::uint8_t*>(sBytes.data()), sBytes.size()}; }
};

std::string Block(std::size_t iAnnounced, std::size_t iSent, bool fEnd = true) {
    char header[16];
    std::snprintf(header, sizeof header, "#9%09zu", iAnnounced);
    std::string s = header;
    for (std::size_t i = 0; i < iSent; ++i) s += static_cast<char>(i * 13);
    if (fEnd) s += '\n';
    return s;
}

TEST(RigolChecksTest, ThePreambleOfTheGuide) {
    const uPreambleRigol p = ParseRigolPreamble("0,2,1200,1,1.000000e-06,-6.000000e-04,0,4.000000e-02,0,127\n");
    EXPECT_EQ(p.iFormat, 0);
    EXPECT_EQ(p.iType, 2);
    EXPECT_EQ(p.iPoints, 1200);
    EXPECT_EQ(p.iAverages, 1);
    EXPECT_DOUBLE_EQ(p.dXIncrement, 0.000001);
    EXPECT_DOUBLE_EQ(p.dXOrigin, -0.0006);
    EXPECT_DOUBLE_EQ(p.dXReference, 0);
    EXPECT_DOUBLE_EQ(p.dYIncrement, 0.04);
    EXPECT_DOUBLE_EQ(p.dYOrigin, 0);
    EXPECT_DOUBLE_EQ(p.dYReference, 127);
    // A real point field, integers out of range or not finite, and missing fields.
    const uPreambleRigol q = ParseRigolPreamble("1,99999999999999999999,1.200000e+03,nan");
    EXPECT_EQ(q.iPoints, 1200);
    EXPECT_EQ(q.iType, 0);
    EXPECT_EQ(q.iAverages, 0);
    EXPECT_EQ(q.dYReference, 0);
    EXPECT_EQ(ParseRigolPreamble("0,0,1e999").iPoints, 0);
}

TEST(RigolChecksTest, DataBlocksAppendTheirPayloadOnly) {
    uWaveformData data;
    std::string sError;
    uHeld whole{Block(1200, 1200)};
    ASSERT_TRUE(RigolDS1000ZCheckChannelData(6, whole.Answer(), WaveformChannel2, data, sError)) << sError;
    ASSERT_EQ(data.AnalogChannels.size(), 1u);
    EXPECT_EQ(data.AnalogChannels.front().samples.size(), 1200u);
    EXPECT_EQ(data.AnalogChannels.front().samples[1199], static_cast<std::uint8_t>(1199 * 13));
    uHeld second{Block(250000, 250000)};
    ASSERT_TRUE(RigolDS1000ZCheckChannelData(6, second.Answer(), WaveformChannel2, data, sError)) << sError;
    EXPECT_EQ(data.AnalogChannels.size(), 1u);
    EXPECT_EQ(data.AnalogChannels.front().samples.size(), 251200u);
    EXPECT_EQ(data.AnalogChannels.front().samples[1200], 0);

    struct uCase {
        std::string sAnswer;
        std::int64_t eWaveform;
        std::string sText;
    };
    const std::string p = "InstrumentWaveform::RigolDS1000ZCheckChannelData: ";
    const uCase cases[] = {
        {Block(1200, 1199, false), 4,
         p + "Die Datengröße ist kleiner als im SCPI-Blockformat angegeben. Datengröße netto = 1199 - Blockformatwert = 1200"},
        {"#9000000000\n", 4, p + "Die Angegebene Größe im SCPI-Blockformat ist Null."},
        {"#900000\n", 4, p + "Es sind nicht genügend Daten vorhanden für das SCPI-Blockformat."},
        {"1,2,3,4,5,6,7,8\n", 4, p + "Es ist kein SCPI-Blockformat vorhanden."},
        {Block(10, 10), 56, p + "Der Kanal ist ungültig: eWaveform = 56"},
        {Block(10, 10), 0, p + "Der Kanal ist ungültig: eWaveform = 0"},
        {"", 4, p + "There are no data available."},
    };
    for (const auto& c : cases) {
        uWaveformData fresh;
        uHeld held{c.sAnswer};
        EXPECT_FALSE(RigolDS1000ZCheckChannelData(6, held.Answer(), c.eWaveform, fresh, sError));
        EXPECT_EQ(sError, c.sText);
    }
    // A data block of a logic source: the DS1000Z keeps pods in the digital list, the DS2000
    // only "LA".
    uWaveformData logic;
    uHeld pod{Block(8, 8)};
    ASSERT_TRUE(RigolDS1000ZCheckChannelData(7, pod.Answer(), WaveformLogicPod1, logic, sError));
    ASSERT_TRUE(RigolDS2000CheckChannelData(9, pod.Answer(), WaveformLogicPod1, logic, sError));
    EXPECT_EQ(logic.DigitalChannels.size(), 1u);
    EXPECT_EQ(logic.AnalogChannels.size(), 1u);
}

TEST(RigolChecksTest, PreambleUnitAndLabelNeedTheirElement) {
    uWaveformData data;
    std::string sError;
    uHeld unit{"VOLT\n"};
    EXPECT_FALSE(RigolDS1000ZCheckUnitAndLabel(6, unit.Answer(), WaveformChannel3, data, sError));
    EXPECT_EQ(sError, "InstrumentWaveform::RigolDS1000ZCheckUnitAndLabel: Der Kanal ist nicht in der Waveform-Struktur "
                      "vorhanden. eWaveform = 6");
    EXPECT_FALSE(RigolDS2000CreatePreamble(WaveformDigital4, data, sError));
    EXPECT_EQ(sError, "InstrumentWaveform::RigolDS2000CreatePreamble: Der digitale Kanal ist nicht in der Liste "
                      "vorhanden: eWaveform = 17");
    InstrumentWaveform::FindOrAddAnalog(data, WaveformChannel3);
    EXPECT_FALSE(RigolDS1000ZCreatePreamble(WaveformChannel3, data, sError));
    EXPECT_EQ(sError, "InstrumentWaveform::RigolDS1000ZCreatePreamble: Die Raw-Preamble-Daten sind nicht vorhanden.");
    uHeld pre{"0,0,1200,1,1e-6,0,0,0.04,0,127\n"};
    ASSERT_TRUE(RigolDS1000ZCheckPreamble(6, pre.Answer(), WaveformChannel3, data, sError));
    ASSERT_TRUE(RigolDS1000ZCreatePreamble(WaveformChannel3, data, sError));
    EXPECT_EQ(std::get<uPreambleRigol>(*data.AnalogChannels.front().pPreamble).iPoints, 1200);
    EXPECT_EQ(data.AnalogChannels.front().rawPreamble.view(), pre.sBytes);
    ASSERT_TRUE(RigolDS1000ZCheckUnitAndLabel(6, unit.Answer(), WaveformChannel3, data, sError));
    EXPECT_EQ(data.AnalogChannels.front().sUnit, "VOLT");
    EXPECT_EQ(data.AnalogChannels.front().sLabel, "CH3");

    FreeWaveformData(data);
    EXPECT_FALSE(data.AnalogChannels.front().samples.allocated());
    EXPECT_FALSE(data.AnalogChannels.front().rawPreamble.allocated());
    EXPECT_FALSE(data.AnalogChannels.front().pPreamble);
    uWaveformData empty;
    FreeWaveformData(empty);
    EXPECT_TRUE(empty.AnalogChannels.empty());
}

TEST(RigolChecksTest, VisibilityAndLineLabels) {
    uFlagTable flags{};
    uLabelTable labels;
    std::string sError;
    uHeld channels{"1;0;1;0;1;1\n"}; // the DS1000Z's ":MATH:DISP?" answers 1 or 0
    ASSERT_TRUE(RigolDS1000ZCheckVisibleChannels(7, channels.Answer(), flags, sError));
    EXPECT_EQ(flags[WaveformChannel1] + flags[WaveformChannel3] + flags[WaveformMath] + flags[WaveformLogic], 4);
    EXPECT_EQ(flags[WaveformChannel2] + flags[WaveformChannel4], 0);
    uHeld off{"1;1;OFF\n"};
    ASSERT_TRUE(RigolDS2000CheckVisibleChannels(8, off.Answer(), flags, sError));
    EXPECT_EQ(flags[WaveformMath], 0);
    EXPECT_EQ(flags[WaveformLogic], 1); // a missing field leaves its flag

    std::string sLines;
    for (int n = 0; n < 16; ++n) sLines += n == 3 ? "1;" : "0;";
    for (int n = 0; n < 16; ++n) sLines += n == 3 ? "No Label!;" : (n == 4 ? "CLK;" : "x;");
    uHeld lines{sLines + "extra\n"};
    ASSERT_TRUE(RigolDS1000ZCheckVisibleDigitalChannels(7, lines.Answer(), flags, labels, sError));
    EXPECT_EQ(flags[WaveformDigital3], 1);
    EXPECT_EQ(flags[WaveformDigital4], 0);
    EXPECT_EQ(labels[WaveformDigital3], "");
    EXPECT_EQ(labels[WaveformDigital4], "CLK");
    EXPECT_EQ(labels[WaveformLogicPod2], "POD2");
    uWaveformData data;
    FindOrAddDigital(data, WaveformDigital3);
    RigolDS1000ZSetLogicLabel(WaveformDigital3, data, labels);
    EXPECT_EQ(data.DigitalChannels.front().sLabel, "D3");
}

TEST(RigolChecksTest, RequiredChannels) {
    struct uCase {
        const char* sName;
        bool fDS2000;
        std::int64_t eModel;
        std::vector<std::int64_t> shown;
        std::vector<std::int64_t> asked;
        std::vector<std::int64_t> read;
    };
    using V = std::vector<std::int64_t>;
    const uCase cases[] = {
        {"nothing asked keeps what is shown", false, 7, {4, 6, 37, 3, 13}, {}, {3, 4, 6, 13, 37}},
        {"a channel alone", false, 7, {4, 6, 37, 3, 13}, {5}, {5}},
        {"analog keeps shown channels", false, 7, {4, 6, 37}, {2}, {4, 6}},
        {"all and logic", false, 7, {4, 37, 13}, {1, 3}, {3, 11, 12, 13, 37}},
        {"logic without all reads none", false, 7, {3, 13}, {3}, {13}},
        {"a line brings its pod", false, 7, {}, {16, 22}, {3, 11, 12, 16, 22}},
        {"math by ma1", false, 6, {}, {38}, {37}},
        {"no logic on model 6", false, 6, {3, 11}, {1, 16}, {}},
        {"DS2000 without pods", true, 9, {4, 5}, {1, 13}, {3, 13}},
        {"DS2000 channel 3 is no channel", true, 8, {4}, {6}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sName);
        uFlagTable flags{};
        for (auto e : c.shown) flags[e] = 1;
        uTaskWaveform task;
        for (auto e : c.asked) task.fSource[e] = 1;
        if (c.fDS2000) {
            RigolDS2000RequiredChannels(c.eModel, task, flags);
        } else {
            RigolDS1000ZRequiredChannels(c.eModel, task, flags);
        }
        V set;
        for (std::size_t e = 0; e < flags.size(); ++e) {
            if (flags[e]) set.push_back(static_cast<std::int64_t>(e));
        }
        EXPECT_EQ(set, c.read);
    }
}

TEST(RigolChecksTest, NameTables) {
    EXPECT_EQ(RigolDS1000ZChannelName(WaveformDigital15, 1), "D15");
    EXPECT_EQ(RigolDS2000ChannelName(WaveformDigital15, 1), "");
    EXPECT_EQ(RigolDS2000ChannelName(WaveformDigital15, 3), "D15");
    EXPECT_EQ(RigolDS2000ChannelName(WaveformChannel3, 1), "");
    EXPECT_EQ(RigolDS1000ZChannelName(WaveformMath, 2), "MATH");
    EXPECT_EQ(RigolDS1000ZChannelName(WaveformMath, 3), "Math");
    EXPECT_EQ(RigolDS1000ZChannelName(WaveformLogicPod1, 4), "");
}

// A connection that answers nothing: the road's checks stop before any exchange.
class SilentTransport final : public InstrumentTransport {
  public:
    bool Exchange(InstrumentDefault::uInstance&, int, std::string& sError) override {
        ++iExchanges;
        sError = "SilentTransport: no answer";
        return false;
    }
    int iExchanges = 0;
};

TEST(WaveformRoadTest, OpenSupportedAndAbortChecks) {
    WaveformReaders::Register();
    InstrumentDefault::uInstance instance;
    uTaskWaveform task;
    uWaveformData data;
    std::string sError;
    EXPECT_FALSE(InstrumentDefault::GetWaveform(instance, 0, task, data, sError));
    EXPECT_EQ(sError, "InstrumentDefault::GetWaveform: The instrument is not open.");
    instance.fConnected = true;
    EXPECT_FALSE(InstrumentDefault::GetWaveform(instance, 0, task, data, sError));
    EXPECT_EQ(sError, "InstrumentDefault::GetWaveform: The instrument is not open.");

    auto pTransport = std::make_shared<SilentTransport>();
    instance.pTransport = pTransport;
    for (std::int64_t eModel : {1, 5, 10, 11, 12, 13, 14, 20, 21, 24, 25, 26}) {
        instance.uConnection.eModel = eModel;
        sError.clear();
        EXPECT_FALSE(InstrumentDefault::GetWaveform(instance, 0, task, data, sError));
        EXPECT_EQ(sError, "The instrument is not supported for reading the traces.") << eModel;
    }
    EXPECT_EQ(pTransport->iExchanges, 0);

    // A request left from an earlier cancel is dropped: the read gets to its first exchange.
    instance.uConnection.eModel = ModelRigolDS1000Z;
    Instrument::RequestAbort(pTransport->AbortId());
    EXPECT_FALSE(InstrumentDefault::GetWaveform(instance, 0, task, data, sError));
    EXPECT_FALSE(Instrument::TakeAbortRequest(pTransport->AbortId()));
    EXPECT_EQ(pTransport->iExchanges, 1);
    EXPECT_EQ(sError, "InstrumentDefault::GetWaveformRigolDS1000Z: The visible channels could not be determined. - "
                      "SilentTransport: no answer");
    EXPECT_FALSE(instance.request.requestData.allocated()); // no answer stays behind
}

} // namespace
