// The four makers' writers on hand-built answers: header keys and values, columns, sample
// layouts, formulas, record sizes, and the answers they refuse or read around.
#include "waveform/WaveformDataHameg.h"
#include "waveform/WaveformDataRTB2000.h"
#include "waveform/WaveformDataRigol.h"
#include "waveform/WaveformDataSiglent.h"

#include "WaveformTestSupport.h"
#include "WriterTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

using namespace WaveformTest;
using namespace WriterTest;

namespace {

using Lines_t = std::vector<uWaveformLogicLine>;

class WaveformWritersTest : public LogFixture {
  protected:
    void SetUp() override {
        LogFixture::SetUp();
        recorder.Bind();
    }
    bool Save(const WaveformData::WaveformWriter& writer, const uWaveformRecordChannel& channel, std::int64_t iFormat,
              const Lines_t& lines = {}) {
        sError.clear();
        return writer(channel, lines, sFile, 0, 100, "Maker", "Scope", iFormat, loose.instance, sError);
    }
    // The CSV file's lines from the column line on.
    std::vector<std::string> Rows(const std::string& sColumnStart = "Number") {
        std::vector<std::string> lines = Lines(ReadFile(sFile));
        for (std::size_t i = 0; i < lines.size(); ++i)
            if (lines[i].rfind(sColumnStart, 0) == 0) return {lines.begin() + static_cast<long>(i), lines.end()};
        return {};
    }
    EventRecorder recorder;
    uLooseInstance loose{recorder.Window()};
    std::string sFile = Folder() + "/wave.csv";
    std::string sError;
};

// ---- Rigol ----

const std::string RigolPreamble = "0,2,1200,1,1.000000e-09,-6.000000e-07,0,4.000000e-02,0,127;VOLT\n";

TEST_F(WaveformWritersTest, RigolChannelHeaderValuesAndRowsByteForByte) {
    ASSERT_TRUE(Save(WaveformData::SaveWaveformRigol,
                     Channel(WaveformChannel1, Block("\x7F\x98\x66\x7F") + "\n" + RigolPreamble), 1))
        << sError;
    EXPECT_EQ(ReadFile(sFile), "Maker,Scope,CH1\r\n"
                               "Preamble Format,BYTE\r\nPreamble Type,RAW\r\nPreamble Points,1200\r\n"
                               "Preamble Averages Count,1\r\nPreamble XIncrement,0.000000001\r\n"
                               "Preamble XOrigin,-0.0000006\r\nPreamble XReference,0\r\n"
                               "Preamble YIncrement,0.04\r\nPreamble YOrigin,0\r\nPreamble YReference,127\r\n"
                               "Number,Time in s,Sample in VOLT\r\n"
                               "1,-0.0000006,0\r\n2,-0.000000599,1\r\n3,-0.000000598,-1\r\n4,-0.000000597,0\r\n");
}

TEST_F(WaveformWritersTest, RigolOddByteCountGivesEveryRow) {
    const auto channel = Channel(WaveformChannel2, Block("\x7F\x7F\x7F\x7F\x98") + "\n" + RigolPreamble);
    ASSERT_TRUE(Save(WaveformData::SaveWaveformRigol, channel, 2));
    const auto rows = Rows();
    ASSERT_EQ(rows.size(), 6u);
    EXPECT_EQ(rows[5], "5;-0.000000596;1");
    sFile = Folder() + "/wave.bin";
    ASSERT_TRUE(Save(WaveformData::SaveWaveformRigol, channel, 3));
    BinFile bin;
    ASSERT_TRUE(ReadBin(sFile, bin));
    ASSERT_EQ(bin.sRecords.size(), 5u * 20);
    EXPECT_EQ(bin.At<std::int32_t>(4, 20, 0), 5);
    EXPECT_EQ(bin.At<double>(4, 20, 12), 25 * 0.04);
}

TEST_F(WaveformWritersTest, RigolLogicColumnsRecordsAndALoneLastByte) {
    const Lines_t lines = {{0, 1, ""}, {3, 0, "Off"}, {9, 1, "CS"}};
    // Words 0x0201 (D0, D9), 0x0000, then one byte that is no word.
    const auto channel = Channel(WaveformLogic, Block(std::string("\x01\x02\x00\x00\xFF", 5)) + "\n" +
                                                    "0,2,2,1,1.000000e-06,0,0,1,0,0\n");
    ASSERT_TRUE(Save(WaveformData::SaveWaveformRigol, channel, 1, lines));
    EXPECT_EQ(Rows(), (std::vector<std::string>{"Number,Time in s,D0,D9 [CS]", "1,0,1,1", "2,0.000001,0,0"}));
    sFile = Folder() + "/wave.bin";
    ASSERT_TRUE(Save(WaveformData::SaveWaveformRigol, channel, 3, lines));
    BinFile bin;
    ASSERT_TRUE(ReadBin(sFile, bin));
    ASSERT_EQ(bin.sRecords.size(), 2u * 14);
    EXPECT_EQ(bin.sRecords.substr(12, 2), std::string("\1\1", 2));
    EXPECT_EQ(bin.sRecords.substr(26, 2), std::string("\0\0", 2));
}

TEST_F(WaveformWritersTest, RigolIntegerPartsOfUnusualReals) {
    struct Case {
        std::string sField, sText;
    };
    for (const Case& c : std::vector<Case>{{"-2.7", "-2"},
                                           {"0.9", "0"},
                                           {"1e20", "100000000000000000000"},
                                           {"nan", "NaN"},
                                           {"-inf", "-Infinity"},
                                           {"1e999", "+Infinity"}}) {
        const std::string sPreamble = "0,0,1,1,1,0," + c.sField + ",1," + c.sField + "," + c.sField + ";V";
        ASSERT_TRUE(Save(WaveformData::SaveWaveformRigol, Channel(WaveformChannel1, Block("\x01") + "\n" + sPreamble),
                         1));
        const auto lines = Lines(ReadFile(sFile));
        ASSERT_GE(lines.size(), 11u);
        EXPECT_EQ(lines[7], "Preamble XReference," + c.sText) << c.sField;
        EXPECT_EQ(lines[9], "Preamble YOrigin," + c.sText) << c.sField;
        EXPECT_EQ(lines[10], "Preamble YReference," + c.sText) << c.sField;
    }
}

// Every value comes from the preamble: without it, or with a field missing, no file is written
// (never a file of zeros).
TEST_F(WaveformWritersTest, RigolWithoutAWholePreambleWritesNoFile) {
    const struct {
        std::string sTail;
        std::string sPreamble;
    } cases[] = {{"", ""},
                 {"\n0,2,1200,1,1e-09,-6e-07,0,0.04,0;VOLT\n", "0,2,1200,1,1e-09,-6e-07,0,0.04,0"},
                 {";0,2,1200,1,1e-09,,0,0.04,0,127;VOLT\n", "0,2,1200,1,1e-09,,0,0.04,0,127"}};
    for (const auto& c : cases) {
        EXPECT_FALSE(Save(WaveformData::SaveWaveformRigol, Channel(WaveformChannel1, Block("\x10\x20") + c.sTail), 1));
        EXPECT_EQ(sError, "WaveformData::SaveWaveformRigol: Die Preamble der Messkurve ist unvollständig: >" +
                              c.sPreamble + "<");
        EXPECT_FALSE(FileExists(sFile)) << c.sTail;
    }
    const std::vector<std::string> log = LogTexts();
    EXPECT_NE(std::find(log.begin(), log.end(),
                        "Error: WaveformData::SaveWaveformRigol: Es sind keine Beschreibungen bzw. Preamble der "
                        "Messkurve am Ende der Daten vorhanden."),
              log.end());
}

TEST_F(WaveformWritersTest, RigolUnknownFormatAndTypeTexts) {
    ASSERT_TRUE(Save(WaveformData::SaveWaveformRigol,
                     Channel(WaveformChannel1, Block("\x01") + "\n1,1,0,0,0,0,0,0,0,0;V"), 1));
    auto lines = Lines(ReadFile(sFile));
    EXPECT_EQ(lines[1], "Preamble Format,WORD");
    EXPECT_EQ(lines[2], "Preamble Type,MAXIMUM");
    ASSERT_TRUE(Save(WaveformData::SaveWaveformRigol,
                     Channel(WaveformChannel1, Block("\x01") + "\n2,7,0,0,0,0,0,0,0,0;V"), 1));
    lines = Lines(ReadFile(sFile));
    EXPECT_EQ(lines[1], "Preamble Format,ASC");
    EXPECT_EQ(lines[2], "Preamble Type,UNKNOWN");
}

// ---- HAMEG ----

const std::string HamegItems = ":TRAC:TYPE NORMAL;:TRAC:YINC 0.04;:TRAC:YREF 128;:TRAC:YOR 0;:TRAC:XINC 1E-6;"
                               ":TRAC:XREF 0;:TRAC:XOR -0.005;:TRAC:XUN \"s\";:TRAC:YUN \"V\"\n";

std::string Hameg(const std::string& sData, const std::string& sItems) {
    return ":TRAC:DATA " + Block(sData) + "\n" + sItems;
}

TEST_F(WaveformWritersTest, HamegHeaderItemsAndRowsByteForByte) {
    ASSERT_TRUE(Save(WaveformData::SaveWaveformHameg, Channel(WaveformChannel1, Hameg("\x80\x99", HamegItems)), 1))
        << sError;
    EXPECT_EQ(ReadFile(sFile), "Maker,Scope,CH1\r\n:TRAC:DATA,2\r\n:TRAC:TYPE,NORMAL\r\n:TRAC:YINC,0.04\r\n"
                               ":TRAC:YREF,128\r\n:TRAC:YOR,0\r\n:TRAC:XINC,1E-6\r\n:TRAC:XREF,0\r\n"
                               ":TRAC:XOR,-0.005\r\n:TRAC:XUN,\"s\"\r\n:TRAC:YUN,\"V\"\r\n"
                               "Number,Time in s,Sample in V\r\n1,-0.005,0\r\n2,-0.004999,1\r\n");
    sFile = Folder() + "/wave.bin";
    ASSERT_TRUE(Save(WaveformData::SaveWaveformHameg, Channel(WaveformChannel1, Hameg("\x80\x99", HamegItems)), 3));
    BinFile bin;
    ASSERT_TRUE(ReadBin(sFile, bin));
    ASSERT_EQ(bin.sRecords.size(), 2u * 28);
    EXPECT_EQ(bin.At<double>(1, 28, 4), 1e-6 - 0.005);
    EXPECT_EQ(bin.At<double>(1, 28, 20), 0.0); // no maximum
}

TEST_F(WaveformWritersTest, HamegWithoutXUnitHasABareTimeColumn) {
    ASSERT_TRUE(Save(WaveformData::SaveWaveformHameg,
                     Channel(WaveformChannel1, Hameg("\x80", ":TRAC:YUN \"V\";;:TRAC:YINC 1;:TRAC:XINC 1")), 1));
    const auto rows = Rows();
    ASSERT_FALSE(rows.empty());
    EXPECT_EQ(rows[0], "Number,Time in ,Sample in V");
}

TEST_F(WaveformWritersTest, HamegMinMaxPairsAndALoneLastByte) {
    std::string sData;
    for (int i = 0; i < 500; ++i) sData += std::string{'\x10', '\x20'};
    const std::string sItems = ":TRAC:TYPE MINMAX;:TRAC:YINC 1;:TRAC:XINC 1;:TRAC:YUN \"V\";:TRAC:XUN \"s\"";
    for (const std::string& s : {sData, sData + "\x30"}) {
        ASSERT_TRUE(Save(WaveformData::SaveWaveformHameg, Channel(WaveformChannel1, Hameg(s, sItems)), 1));
        const auto rows = Rows();
        ASSERT_EQ(rows.size(), 501u);
        EXPECT_EQ(rows[0], "Number,Time in s,Minima in V,Maxima in V");
        EXPECT_EQ(rows[500], "500,499,16,32");
    }
    sFile = Folder() + "/wave.bin";
    ASSERT_TRUE(Save(WaveformData::SaveWaveformHameg, Channel(WaveformChannel1, Hameg(sData, sItems)), 3));
    BinFile bin;
    ASSERT_TRUE(ReadBin(sFile, bin));
    ASSERT_EQ(bin.sRecords.size(), 500u * 28);
    EXPECT_EQ(bin.At<double>(499, 28, 20), 32.0);
}

TEST_F(WaveformWritersTest, HamegPodRowsHaveFourLinesAndFloatTimes) {
    std::string sData;
    for (int i = 0; i < 100; ++i) sData.push_back(static_cast<char>(i & 0x0F));
    const std::string sItems = ":TRAC:XINC 0.5;:TRAC:XOR 1;:TRAC:XUN \"s\"";
    for (const std::int64_t eWaveform : {WaveformLogicPod1, WaveformZoomLogicPod1}) {
        ASSERT_TRUE(Save(WaveformData::SaveWaveformHameg, Channel(eWaveform, Hameg(sData, sItems)), 1));
        const auto rows = Rows();
        ASSERT_EQ(rows.size(), 101u);
        EXPECT_EQ(rows[0], "Number,Time in s,Logic 0,Logic 1,Logic 2,Logic 3");
        EXPECT_EQ(rows[11], "11,6,0,1,0,1"); // byte 10 = 0b1010
    }
    sFile = Folder() + "/wave.bin";
    ASSERT_TRUE(Save(WaveformData::SaveWaveformHameg, Channel(WaveformLogicPod1, Hameg(sData, sItems)), 3));
    BinFile bin;
    ASSERT_TRUE(ReadBin(sFile, bin));
    ASSERT_EQ(bin.sRecords.size(), 100u * 12);
    EXPECT_EQ(bin.At<float>(99, 12, 4), 50.5f);
    EXPECT_EQ(bin.sRecords.substr(99 * 12 + 8, 4), std::string("\1\1\0\0", 4)); // 99 & 15 = 0b0011
}

TEST_F(WaveformWritersTest, HamegRefusesAnAnswerWithoutItsDataPrefix) {
    for (const std::string& sAnswer : {":TRAC:DATA" + Block("\x80"), std::string(":TRAC"), "#11\x80\n" + HamegItems}) {
        EXPECT_FALSE(Save(WaveformData::SaveWaveformHameg, Channel(WaveformChannel1, sAnswer), 1));
        EXPECT_EQ(sError, "WaveformData::SaveWaveformHameg: Die Länge der Daten z.B. ':TRAC:DATA #42000', ist nicht "
                          "am Anfang der Messkurvendaten vorhanden.");
        EXPECT_FALSE(FileExists(sFile));
    }
    EXPECT_FALSE(Save(WaveformData::SaveWaveformHameg, Channel(WaveformChannel1, ":TRAC:DATA #3999\x80"), 1));
    EXPECT_EQ(sError, "WaveformData::SaveWaveformHameg: Die Messkurvendaten sind weniger, als im SCPI-Blockformat "
                      "angegeben - iTracDataSize = 999 - \\iDataSize = 17");
}

// ---- RTB2000 ----

// Header, y resolution, y origin, y increment, x origin, x increment, unit, arithmetics, type, count.
std::string RtbDescription(const std::string& sArithmetics = "OFF", const std::string& sType = "SAMP") {
    return "\n-0.001,0.002,6,1;8;-1;0.5;0;0.5;V;" + sArithmetics + ";" + sType + ";16\n";
}

TEST_F(WaveformWritersTest, RtbEightBitChannelHeaderAndRowsByteForByte) {
    const auto channel = Channel(WaveformChannel1, Block(std::string("\x00\x01\x02\x03\x04\x05", 6)) + RtbDescription());
    ASSERT_TRUE(Save(WaveformData::SaveWaveformRTB2000, channel, 1)) << sError;
    EXPECT_EQ(ReadFile(sFile), std::string("Maker,Scope,CH1\r\nXStart in s,-0.001\r\nXStop in s,0.002\r\nSamples,6\r\n"
                                           "Values per Samples,1\r\nYResolution,8\r\nYOrigin,-1\r\nYIncrement,0.5\r\n"
                                           "XOrigin,0\r\nXIncrement,0.5\r\nChannel Arithmetics,OFF\r\n"
                                           "Channel Type,Sample\r\nAcquire Average Count,\r\n"
                                           "Number,Time in s,Sample in V\r\n"
                                           "1,0,-1\r\n2,0.5,-0.5\r\n3,1,0\r\n4,1.5,0.5\r\n5,2,1\r\n6,2.5,1.5\r\n"));
}

struct RtbLayout {
    const char* sName;
    std::int64_t eWaveform, eDataSource, eAcquireType;
    std::string sData;
    std::size_t iRows, iRecord;
    std::string sLastRow;
};

TEST_F(WaveformWritersTest, RtbSampleLayouts) {
    const std::vector<RtbLayout> layouts = {
        {"average words", WaveformChannel1, 1, 2, std::string("\x02\x00\x00\x00\x00\x00\x01\x00", 8), 2, 20,
         "2,0.5,32767"},
        {"eight-bit odd count", WaveformChannel1, 1, 1, std::string("\x00\x01\x02\x03\x04", 5), 5, 20, "5,2,1"},
        {"eight-bit envelope", WaveformChannel1, 2, 3, std::string("\x00\x02\x01\x03", 4), 2, 28, "2,0.5,-0.5,0.5"},
        {"ten-bit words", WaveformChannel2, 7, 1, std::string("\x00\x00\x02\x01\xFF", 5), 2, 20, "2,0.5,128"},
        {"ten-bit envelope, cut pair", WaveformChannel1, 6, 3, std::string("\x00\x00\x04\x00\x01\x00", 6), 1, 28,
         "1,0,-1,1"},
    };
    for (const RtbLayout& l : layouts) {
        sFile = Folder() + "/wave.csv";
        const auto channel = Channel(l.eWaveform, Block(l.sData) + RtbDescription(), l.eDataSource, l.eAcquireType);
        ASSERT_TRUE(Save(WaveformData::SaveWaveformRTB2000, channel, 1)) << l.sName;
        const auto rows = Rows();
        ASSERT_EQ(rows.size(), l.iRows + 1) << l.sName;
        EXPECT_EQ(rows.back(), l.sLastRow) << l.sName;
        sFile = Folder() + "/wave.bin";
        ASSERT_TRUE(Save(WaveformData::SaveWaveformRTB2000, channel, 3)) << l.sName;
        BinFile bin;
        ASSERT_TRUE(ReadBin(sFile, bin));
        EXPECT_EQ(bin.sRecords.size(), l.iRows * l.iRecord) << l.sName;
    }
}

TEST_F(WaveformWritersTest, RtbEnvelopeColumnsAndChannelSettings) {
    auto channel = Channel(WaveformChannel1, Block("\x01\x02") + RtbDescription("ENV", "AVER"), 1, 3);
    ASSERT_TRUE(Save(WaveformData::SaveWaveformRTB2000, channel, 1));
    auto lines = Lines(ReadFile(sFile));
    ASSERT_EQ(lines.size(), 15u);
    EXPECT_EQ(lines[10], "Channel Arithmetics,Envelope");
    EXPECT_EQ(lines[11], "Channel Type,AVER");
    EXPECT_EQ(lines[12], "Acquire Average Count,");
    EXPECT_EQ(lines[13], "Number,Time in s,Minima in V,Maxima in V");
    channel = Channel(WaveformChannel1, Block("\x01") + RtbDescription("AVER", "HRES"), 1, 1);
    ASSERT_TRUE(Save(WaveformData::SaveWaveformRTB2000, channel, 1));
    lines = Lines(ReadFile(sFile));
    EXPECT_EQ(lines[10], "Channel Arithmetics,Average");
    EXPECT_EQ(lines[11], "Channel Type,High Resolution");
    EXPECT_EQ(lines[12], "Acquire Average Count,16");
    channel = Channel(WaveformChannel1, Block("\x01") + RtbDescription("XYZ", "PDET"), 1, 1);
    ASSERT_TRUE(Save(WaveformData::SaveWaveformRTB2000, channel, 1));
    lines = Lines(ReadFile(sFile));
    EXPECT_EQ(lines[10], "Channel Arithmetics,XYZ");
    EXPECT_EQ(lines[11], "Channel Type,Peak Detect");
}

TEST_F(WaveformWritersTest, RtbMathAndReferenceChannelsReadNoChannelSettings) {
    for (const std::int64_t eWaveform : {WaveformMath, WaveformReference1}) {
        ASSERT_TRUE(Save(WaveformData::SaveWaveformRTB2000,
                         Channel(eWaveform, Block("\x01") + RtbDescription("AVER"), 1, 1), 1));
        const auto lines = Lines(ReadFile(sFile));
        ASSERT_EQ(lines.size(), 15u);
        EXPECT_EQ(lines[10], "Channel Arithmetics,");
        EXPECT_EQ(lines[11], "Channel Type,");
        EXPECT_EQ(lines[12], "Acquire Average Count,");
        EXPECT_EQ(lines[13], "Number,Time in s,Sample");
    }
    ASSERT_TRUE(Save(WaveformData::SaveWaveformRTB2000,
                     Channel(WaveformMath, Block("\x01\x02") + RtbDescription(), 1, 3), 1));
    EXPECT_EQ(Rows()[0], "Number,Time in s,Minima,Maxima");
}

TEST_F(WaveformWritersTest, RtbLogicColumnsAreTheLabels) {
    const Lines_t lines = {{0, 1, "D0"}, {1, 0, "D1"}, {3, 1, "D3"}};
    const auto channel = Channel(WaveformLogic, Block(std::string("\x09\x00\x08\x00\x01", 5)) + RtbDescription());
    ASSERT_TRUE(Save(WaveformData::SaveWaveformRTB2000, channel, 1, lines));
    EXPECT_EQ(Rows(), (std::vector<std::string>{"Number,Time in s,D0,D3", "1,0,1,1", "2,0.5,0,1"}));
    sFile = Folder() + "/wave.bin";
    ASSERT_TRUE(Save(WaveformData::SaveWaveformRTB2000, channel, 3, lines));
    BinFile bin;
    ASSERT_TRUE(ReadBin(sFile, bin));
    EXPECT_EQ(bin.sRecords.size(), 2u * 14);
}

// A description without the scales of both axes would give a file of zeros: no file, and the
// reason goes up to the save thread. Hameg pods need no vertical scale.
TEST_F(WaveformWritersTest, DescriptionsWithoutTheirScalesGiveNoFile) {
    struct Case {
        WaveformData::WaveformWriter writer;
        std::int64_t eWaveform;
        std::string sAnswer, sError;
    };
    const std::vector<Case> cases = {
        {WaveformData::SaveWaveformRTB2000, WaveformChannel1, Block("\x05"),
         "WaveformData::SaveWaveformRTB2000: Es sind keine Beschreibungen der Messkurve am Ende der Daten vorhanden."},
        {WaveformData::SaveWaveformRTB2000, WaveformChannel1, Block("\x05") + "\n0,1,1,1;8;0;;0;1E-6;V\n",
         "WaveformData::SaveWaveformRTB2000: Die Beschreibung der Messkurve ist unvollständig: >0,1,1,1;8;0;;0;1E-6;V<"},
        {WaveformData::SaveWaveformHameg, WaveformChannel1, Hameg("\x80", ":TRAC:XINC 1;:TRAC:YUN \"V\""),
         "WaveformData::SaveWaveformHameg: Die Beschreibung der Messkurve ist unvollständig: >:TRAC:XINC 1;:TRAC:YUN "
         "\"V\"<"},
        {WaveformData::SaveWaveformHameg, WaveformLogicPod1, Hameg("\x80", ":TRAC:YINC 1"),
         "WaveformData::SaveWaveformHameg: Die Beschreibung der Messkurve ist unvollständig: >:TRAC:YINC 1<"},
    };
    for (const Case& c : cases) {
        EXPECT_FALSE(Save(c.writer, Channel(c.eWaveform, c.sAnswer), 1)) << c.sError;
        EXPECT_EQ(sError, c.sError);
        EXPECT_FALSE(FileExists(sFile)) << c.sError;
    }
}

// ---- Siglent ----

Descriptor SiglentDescriptor() {
    Descriptor d;
    d.Text(0, "WAVEDESC").Text(16, "WAVEACE").Text(76, "SDS2000X Plus");
    d.Set<std::int16_t>(32, 0).Set<std::int16_t>(34, 1).Set<std::int32_t>(60, 4);
    d.Set<float>(156, 2.0f).Set<float>(160, 0.5f).Set<float>(176, 1e-6f).Set<double>(180, 0.0);
    d.Set<std::int16_t>(324, 20).Set<float>(164, 30.0f).Set<float>(168, -127.9f);
    return d;
}

TEST_F(WaveformWritersTest, SiglentDescriptorHeaderAndRowsByteForByte) {
    const auto channel = Channel(WaveformChannel1, SiglentAnswer("\x1E\xE2", SiglentDescriptor(), "V\n"));
    ASSERT_TRUE(Save(WaveformData::SaveWaveformSiglent, channel, 1)) << sError;
    EXPECT_EQ(ReadFile(sFile), "Maker,Scope,CH1\r\nPreamble:\r\nDescriptor,WAVEDESC\r\nTemplate,WAVEACE\r\n"
                               "Instrument,SDS2000X Plus\r\nCommType,0\r\nCommOrder,1\r\nWaveArrayLength,4\r\n"
                               "WaveArrayCount,0\r\nFirstPointOffset,0\r\nSparseFactor,0\r\nVerticalScale,2\r\n"
                               "VerticalOffset,0.5\r\nHorizontalInterval,0.000001\r\nHorizontalOffset,0\r\n"
                               "TimeBase Index,20\r\nTimeBase,1E-3\r\nGridMaxValue,30\r\nGridMinValue,-127\r\n"
                               "VerticalCoupling,DC\r\nProbeAttenuation Index,3\r\nProbeAttenuation,1X\r\n"
                               "FixedVerticalScale Index,0\r\nBandwithLimit,OFF\r\nWaveSource,C1\r\n"
                               "Number,Time in s,Sample in V\r\n1,-0.005,1.5\r\n2,-0.004999,-2.5\r\n");
}

TEST_F(WaveformWritersTest, SiglentTableTextsAndFloatWidening) {
    struct Case {
        std::size_t iOffset;
        float fValue;
        std::size_t iLine;
        std::string sLine;
    };
    // Lines: 19 VerticalCoupling, 20 ProbeAttenuation Index, 21 ProbeAttenuation, 11 VerticalScale.
    const std::vector<Case> cases = {
        // The field holds the probe factor as a float: the header names the factor, never the
        // table entry at the factor's value.
        {328, 10.0f, 20, "ProbeAttenuation Index,6"},
        {328, 10.0f, 21, "ProbeAttenuation,10X"},
        {328, 1.0f, 21, "ProbeAttenuation,1X"},
        {328, 2.5f, 20, "ProbeAttenuation Index,-1"},
        {328, 2.5f, 21, "ProbeAttenuation,2.5X"},
        {328, -1.0f, 21, "ProbeAttenuation,1X"},
        {328, std::nanf(""), 20, "ProbeAttenuation Index,3"},
        {328, std::nanf(""), 21, "ProbeAttenuation,1X"},
        {156, 0.1f, 11, "VerticalScale,0.10000000149"},
        {164, INFINITY, 17, "GridMaxValue,+Infinity"},
    };
    for (const Case& c : cases) {
        Descriptor d;
        d.Set<float>(c.iOffset, c.fValue);
        ASSERT_TRUE(Save(WaveformData::SaveWaveformSiglent, Channel(WaveformChannel1, SiglentAnswer("\x01", d, "V")),
                         1));
        const auto lines = Lines(ReadFile(sFile));
        ASSERT_GT(lines.size(), c.iLine);
        EXPECT_EQ(lines[c.iLine], c.sLine);
    }
    struct Int16Case {
        std::size_t iOffset;
        std::int16_t iValue;
        std::size_t iLine;
        std::string sLine;
    };
    const std::vector<Int16Case> ints = {
        {324, 38, 16, "TimeBase,1000"}, {324, 39, 16, "TimeBase,"},         {324, -1, 16, "TimeBase,"},
        {326, 2, 19, "VerticalCoupling,GND"}, {326, 3, 19, "VerticalCoupling,"}, {334, 2, 23, "BandwithLimit,200 MHz"},
        {334, 3, 23, "BandwithLimit,"},   {344, 3, 24, "WaveSource,C4"},    {344, 4, 24, "WaveSource,"},
    };
    for (const Int16Case& c : ints) {
        Descriptor d;
        d.Set<std::int16_t>(c.iOffset, c.iValue);
        ASSERT_TRUE(Save(WaveformData::SaveWaveformSiglent, Channel(WaveformChannel1, SiglentAnswer("\x01", d, "V")),
                         1));
        const auto lines = Lines(ReadFile(sFile));
        ASSERT_GT(lines.size(), c.iLine);
        EXPECT_EQ(lines[c.iLine], c.sLine);
    }
}

// Volts as the programming guide reconstructs them: code / codes per division x gain x probe
// - offset x probe, with gain 2 and offset 0.5; the fixed 30 codes and a factor of 1 only where
// the descriptor gives none.
TEST_F(WaveformWritersTest, SiglentVoltsFollowTheProbeFactorAndTheCodesPerDivision) {
    struct Case {
        const char* sName;
        float fProbe;
        std::int32_t iProbeIndex; // instead of the float when not 0
        float fCodes;
        std::string sPlus30, sMinus30; // the rows of the codes 30 and -30
    };
    const std::vector<Case> cases = {
        {"1X", 1.0f, 0, 30.0f, "1.5", "-2.5"},
        {"10X", 10.0f, 0, 30.0f, "15", "-25"},
        {"10X as the index of older firmware", 0, 6, 30.0f, "15", "-25"},
        {"100X, 25 codes", 100.0f, 0, 25.0f, "190", "-290"},
        {"no probe field", 0.0f, 0, 30.0f, "1.5", "-2.5"},
        {"a negative probe field", -10.0f, 0, 30.0f, "1.5", "-2.5"},
        {"no codes per division", 1.0f, 0, 0.0f, "1.5", "-2.5"},
        {"codes per division not a number", 1.0f, 0, std::nanf(""), "1.5", "-2.5"},
    };
    for (const Case& c : cases) {
        Descriptor d = SiglentDescriptor();
        d.Set<float>(164, c.fCodes);
        if (c.iProbeIndex != 0) d.Set<std::int32_t>(328, c.iProbeIndex);
        else d.Set<float>(328, c.fProbe);
        ASSERT_TRUE(Save(WaveformData::SaveWaveformSiglent, Channel(WaveformChannel1, SiglentAnswer("\x1E\xE2", d, "V")),
                         1));
        const std::vector<std::string> rows = Rows();
        ASSERT_EQ(rows.size(), 3u) << c.sName;
        EXPECT_EQ(rows[1], "1,-0.005," + c.sPlus30) << c.sName;
        EXPECT_EQ(rows[2], "2,-0.004999," + c.sMinus30) << c.sName;
    }
}

// The first time is minus the horizontal offset minus five divisions; a value is the Y origin
// plus the steps above the reference.
TEST_F(WaveformWritersTest, OffsetsAndOriginsKeepTheirSigns) {
    Descriptor d = SiglentDescriptor();
    d.Set<double>(180, 0.002);
    ASSERT_TRUE(Save(WaveformData::SaveWaveformSiglent, Channel(WaveformChannel1, SiglentAnswer("\x1E\xE2", d, "V")), 1));
    EXPECT_EQ(Rows(), (std::vector<std::string>{"Number,Time in s,Sample in V", "1,-0.007,1.5", "2,-0.006999,-2.5"}));

    const std::string sItems = ":TRAC:TYPE NORMAL;:TRAC:YINC 0.04;:TRAC:YREF 128;:TRAC:YOR 0.3;:TRAC:XINC 1E-6;"
                               ":TRAC:XREF 0;:TRAC:XOR -0.005;:TRAC:XUN \"s\";:TRAC:YUN \"V\"\n";
    ASSERT_TRUE(Save(WaveformData::SaveWaveformHameg, Channel(WaveformChannel1, Hameg("\x80\x99", sItems)), 1));
    EXPECT_EQ(Rows(), (std::vector<std::string>{"Number,Time in s,Sample in V", "1,-0.005,0.3", "2,-0.004999,1.3"}));
}

struct UnusableDescriptor {
    std::string sAfterBlock;
    std::string sLog; // after the prefix
};

// The descriptor comes bare, as the current guide answers :WAV:PRE?, or behind "DESC,": both
// give the same file. One that cannot be read gives no file rather than one of zeros.
TEST_F(WaveformWritersTest, SiglentDescriptorsBareOrBehindDescAndTheUnusableOnesGiveNoFile) {
    const std::string sBlock = Block(std::string("\x1E\xE2", 2));
    const std::string sGood = "\n\nDESC,#9000000346" + SiglentDescriptor().bytes;
    for (const std::string& sAfter : {sGood + ";V\n", "\n;#9000000346" + SiglentDescriptor().bytes + ";V\n",
                                      ";#9000000346" + SiglentDescriptor().bytes + ";V"}) {
        ASSERT_TRUE(Save(WaveformData::SaveWaveformSiglent, Channel(WaveformChannel1, sBlock + sAfter), 1)) << sError;
        EXPECT_EQ(Rows(), (std::vector<std::string>{"Number,Time in s,Sample in V", "1,-0.005,1.5", "2,-0.004999,-2.5"}));
    }
    const std::vector<UnusableDescriptor> cases = {
        {"", "Es sind keine Beschreibungen bzw. Preamble der Messkurve am Ende der Daten vorhanden."},
        {std::string(100, 'x'), "Die Größe der Preamble-Daten ist zu klein. iPreambleSize = 99"},
        {"\n\nDESC,#9000000400" + SiglentDescriptor().bytes + "\nV",
         "Die Kennung der Preamble ist falsch: >DESC,#9000000400<"},
        {"\n;#9000000400" + SiglentDescriptor().bytes + "\nV", "Die Kennung der Preamble ist falsch: >#9000000400WAVED<"},
        {"\n;DESX,#9000000346" + SiglentDescriptor().bytes, "Die Kennung der Preamble ist falsch: >DESX,#9000000346<"},
        {sGood.substr(0, 350), "Es sind nicht genügend Daten für die Preamble vorhanden."},
    };
    std::remove(sFile.c_str());
    for (const UnusableDescriptor& c : cases) {
        EXPECT_FALSE(Save(WaveformData::SaveWaveformSiglent, Channel(WaveformChannel1, sBlock + c.sAfterBlock), 1));
        EXPECT_EQ(sError, "WaveformData::SaveWaveformSiglent: " + c.sLog);
        EXPECT_FALSE(FileExists(sFile)) << c.sLog;
    }
    // Channel 1 with nothing after the descriptor's trailing byte: no unit.
    ASSERT_TRUE(Save(WaveformData::SaveWaveformSiglent, Channel(WaveformChannel1, Block("\x1E") + sGood + "\n"), 1));
    EXPECT_EQ(Rows()[0], "Number,Time in s,Sample");
    const std::vector<std::string> texts = LogTexts(); // the line of the file written comes last
    ASSERT_GE(texts.size(), 2u);
    EXPECT_EQ(texts[texts.size() - 2],
              "Error: WaveformData::SaveWaveformSiglent: Die Einheit des analogen Kanals konnte nicht ermittelt werden.");
    EXPECT_EQ(texts.back(), "The waveform are saved: " + sFile);
}

TEST_F(WaveformWritersTest, SiglentOddCountLogicAndFunctionTraces) {
    const auto channel = Channel(WaveformChannel1, SiglentAnswer("\x01\x02\x03\x04\x05", SiglentDescriptor(), "V"));
    ASSERT_TRUE(Save(WaveformData::SaveWaveformSiglent, channel, 1));
    EXPECT_EQ(Rows().size(), 6u);
    sFile = Folder() + "/wave.bin";
    ASSERT_TRUE(Save(WaveformData::SaveWaveformSiglent, channel, 3));
    BinFile bin;
    ASSERT_TRUE(ReadBin(sFile, bin));
    EXPECT_EQ(bin.sRecords.size(), 5u * 20);

    sFile = Folder() + "/wave.csv";
    const Lines_t lines = {{5, 1, "CLK"}, {6, 1, ""}, {7, 0, "X"}};
    ASSERT_TRUE(Save(WaveformData::SaveWaveformSiglent,
                     Channel(WaveformLogic, SiglentAnswer(std::string("\x20\x00\x40\x00\x01", 5), SiglentDescriptor(), "")),
                     1, lines));
    EXPECT_EQ(Rows(), (std::vector<std::string>{"Number,Time in s,D5 [CLK],D6", "1,-0.005,1,0", "2,-0.004999,0,1"}));

    ASSERT_TRUE(Save(WaveformData::SaveWaveformSiglent,
                     Channel(WaveformFunction1, SiglentAnswer("\x01", SiglentDescriptor(), "V")), 1));
    EXPECT_EQ(Rows()[0], "Number,Time in s,Sample");
}

} // namespace
