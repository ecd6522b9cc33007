#include "waveform/WaveformDataLogic.h"

#include "WaveformTestSupport.h"
#include "platform/EventHub.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

using namespace WaveformTest;

namespace {

uWaveformRecordChannel Element(std::int64_t eWaveform, const std::string& sAnswer, std::int64_t iTotalPoints,
                               const std::string& sName = "D") {
    uWaveformRecordChannel c;
    c.eWaveform = eWaveform;
    c.eDataSource = DataSourceMemory;
    c.iTotalPoints = iTotalPoints;
    c.pData = Bytes(sAnswer);
    c.iDataSize = static_cast<std::int64_t>(sAnswer.size());
    c.sFileChannel = sName;
    return c;
}

uWaveformRecord Record() {
    uWaveformRecord r;
    r.Channels.emplace_back();
    r.sLogicChannelName = "Logic channels";
    for (int i = 0; i < 16; ++i) r.LogicLines.push_back({i, 1, ""});
    return r;
}

std::string Merged(const uWaveformRecord& r) {
    EXPECT_EQ(r.Channels.back().eWaveform, WaveformLogic);
    return std::string(r.Channels.back().pData.view());
}

class WaveformDataLogicTest : public LogFixture {
  protected:
    void SetUp() override {
        LogFixture::SetUp();
        recorder.Bind();
    }
    EventRecorder recorder;
    uLooseInstance loose{recorder.Window()};
};

TEST_F(WaveformDataLogicTest, TwoPodsOfTwelveBytesGiveTheElevenByteHeaderTheWordsAndTheLineEnd) {
    uWaveformRecord r = Record();
    const std::string pod1 = "ABCDEFGHIJKL", pod2 = "abcdefghijkl";
    r.Channels.push_back(Element(WaveformLogicPod1, "#3012" + pod1 + "\n", 12));
    r.Channels.push_back(Element(WaveformLogicPod2, "#3012" + pod2 + "\n", 12));
    std::string sError;
    ASSERT_TRUE(WaveformData::CombineLogicChannelsRTB2000(r, loose.instance, sError)) << sError;
    std::string sWords;
    for (int k = 0; k < 12; ++k) sWords += std::string{pod1[k], pod2[k]};
    EXPECT_EQ(Merged(r), "#9000000024" + sWords + "\n");
    const uWaveformRecordChannel& c = r.Channels.back();
    EXPECT_EQ(c.iDataSize, 36);
    EXPECT_EQ(c.iTotalPoints, 12);
    EXPECT_EQ(c.eDataSource, DataSourceMemory);
    EXPECT_EQ(c.sFileChannel, "Logic channels");
    EXPECT_EQ(c.sChannelName, "Logic channels");
    EXPECT_EQ(r.Channels.size(), 4u); // the pods stay
    EventHub::Pump();
    EXPECT_EQ(recorder.Types(), std::vector<std::int64_t>{SaveStatusMergeFinished});
}

TEST_F(WaveformDataLogicTest, OnlyPodTwoGivesZeroLowBytesAndHidesLinesZeroToSeven) {
    uWaveformRecord r = Record();
    r.Channels.push_back(Element(WaveformLogicPod2, Block("\x01\x02\x03"), 3));
    std::string sError;
    ASSERT_TRUE(WaveformData::CombineLogicChannelsRigol(r, loose.instance, sError)) << sError;
    EXPECT_EQ(Merged(r), std::string("#9000000006\0\x01\0\x02\0\x03", 17));
    for (const uWaveformLogicLine& line : r.LogicLines) EXPECT_EQ(line.fShown, line.iLine > 7 ? 1 : 0);
}

TEST_F(WaveformDataLogicTest, WithoutLogicElementsNothingChangesButThePodLinesAreHidden) {
    uWaveformRecord r = Record();
    r.Channels.push_back(Element(WaveformChannel1, Block("xy"), 2));
    std::string sError;
    ASSERT_TRUE(WaveformData::CombineLogicChannelsRTB2000(r, loose.instance, sError));
    EXPECT_EQ(r.Channels.size(), 2u);
    for (const uWaveformLogicLine& line : r.LogicLines) EXPECT_EQ(line.fShown, 0);
    uWaveformRecord s = Record();
    ASSERT_TRUE(WaveformData::CombineLogicChannelsSiglent(s, loose.instance, sError));
    for (const uWaveformLogicLine& line : s.LogicLines) EXPECT_EQ(line.fShown, 1);
    EventHub::Pump();
    EXPECT_TRUE(recorder.Events().empty());
}

struct BadPod {
    std::string sAnswer;
    std::int64_t iTotalPoints;
    std::string sText;
};

TEST_F(WaveformDataLogicTest, FaultyPodsAreRefusedWithoutAnElementOrAFinishEvent) {
    const std::vector<BadPod> cases = {
        {"", 12, "Die Daten für den digitalen Kanal POD2 sind nicht vorhanden."},
        {"12345", 12, "Das SCPI-Blockformat ist für den digitalen Kanal POD2 nicht vorhanden."},
        {"#3020ABCDEFGHIJKL\n", 12, "Die angegebene Größe im Blockformat ist für den Kanal POD2 größer als die vorhandenen Daten."},
    };
    for (const BadPod& c : cases) {
        uWaveformRecord r = Record();
        r.Channels.push_back(Element(WaveformLogicPod1, "#3012ABCDEFGHIJKL\n", c.iTotalPoints, "POD1"));
        r.Channels.push_back(Element(WaveformLogicPod2, c.sAnswer, c.iTotalPoints, "POD2"));
        if (c.sAnswer.empty()) r.Channels.back().pData.release();
        std::string sError;
        EXPECT_FALSE(WaveformData::CombineLogicChannelsRTB2000(r, loose.instance, sError));
        EXPECT_EQ(sError, c.sText);
        EXPECT_EQ(r.Channels.size(), 3u);
    }
    uWaveformRecord r = Record();
    r.Channels.push_back(Element(WaveformLogicPod1, Block("AB"), 0));
    std::string sError;
    EXPECT_FALSE(WaveformData::CombineLogicChannelsRTB2000(r, loose.instance, sError));
    EXPECT_EQ(sError, "Die Anzahl der Samples ist Null.");
    // A size beyond what the buffer holds is refused and logged.
    uWaveformRecord m = Record();
    m.Channels.push_back(Element(WaveformLogicPod1, Block("AB"), 2));
    m.Channels.back().iDataSize = 100;
    EXPECT_FALSE(WaveformData::CombineLogicChannelsSiglent(m, loose.instance, sError) &&
                 WaveformData::CombineLogicChannelsRigol(m, loose.instance, sError));
    EXPECT_EQ(sError, "Der Speicher ist kleiner als die angegebene Datengröße, iDataSize = 100");
    EXPECT_EQ(LogTexts().back(), "Error: WaveformData::CombineLogicChannelsRigol: " + sError);
    EventHub::Pump();
    EXPECT_EQ(recorder.Count(SaveStatusMergeFinished), 0u);
}

TEST_F(WaveformDataLogicTest, TheInstrumentsTotalIsBoundedByTheSamplesAndShortPodsReadZero) {
    uWaveformRecord r = Record();
    r.Channels.push_back(Element(WaveformLogicPod1, Block("ABCD"), 1000000000));
    r.Channels.push_back(Element(WaveformLogicPod2, Block("ab"), 1000000000));
    std::string sError;
    ASSERT_TRUE(WaveformData::CombineLogicChannelsRTB2000(r, loose.instance, sError)) << sError;
    EXPECT_EQ(Merged(r), std::string("#9000000008AaBbC\0D\0", 19));
    EXPECT_EQ(r.Channels.back().iTotalPoints, 4);
}

// Sixteen Siglent lines of 62,500,000 bytes hold 500,000,000 samples: two bytes each would need
// ten digits in the merged block's "#9" header. One line of that size is enough to ask for it;
// its samples are never touched, so the buffer stays untouched memory.
TEST_F(WaveformDataLogicTest, AMergedCountBeyondNineDigitsIsRefusedWithItsText) {
    constexpr std::size_t iLineBytes = 62500000;
    const std::string sHeader = "#9062500000";
    for (const std::int64_t iTotalPoints : {std::int64_t{500000000}, std::int64_t{4000000000}}) {
        SCOPED_TRACE(iTotalPoints);
        uWaveformRecord r = Record();
        uWaveformRecordChannel line = Element(WaveformDigital0, "", iTotalPoints);
        const std::size_t iSize = sHeader.size() + iLineBytes + 1;
        ASSERT_TRUE(line.pData.reserve(iSize) && line.pData.setSize(iSize));
        std::memcpy(line.pData.data(), sHeader.data(), sHeader.size());
        line.pData.data()[iSize - 1] = '\n';
        line.iDataSize = static_cast<std::int64_t>(iSize);
        r.Channels.push_back(std::move(line));
        std::string sError;
        EXPECT_FALSE(WaveformData::CombineLogicChannelsSiglent(r, loose.instance, sError));
        EXPECT_EQ(sError, "Die Anzahl der Samples ist zu groß, iTotalPoints = 500000000");
        ASSERT_EQ(r.Channels.size(), 2u);
        EXPECT_EQ(r.Channels.back().eWaveform, WaveformDigital0);
    }
    EventHub::Pump();
    EXPECT_EQ(recorder.Count(SaveStatusMergeFinished), 0u);
}

TEST_F(WaveformDataLogicTest, PodProgressIsOneFiftyAndHundredAndAStopLeavesZeros) {
    UseSteppingClock(100);
    uWaveformRecord r = Record();
    const std::string pod(1000001, '\x5A');
    r.Channels.push_back(Element(WaveformLogicPod1, Block(pod), 1000001));
    std::string sError;
    ASSERT_TRUE(WaveformData::CombineLogicChannelsRTB2000(r, loose.instance, sError));
    EventHub::Pump();
    const std::vector<std::int64_t> percent = recorder.Data(SaveStatusMergeProgress);
    ASSERT_EQ(percent.size(), 100u);
    for (std::size_t i = 0; i < percent.size(); ++i) EXPECT_EQ(percent[i], static_cast<std::int64_t>(i + 1));

    uWaveformRecord s = Record();
    s.Channels.push_back(Element(WaveformLogicPod1, Block(std::string(30000, '\x5A')), 30000));
    loose.instance.eThreadStatus = ThreadStatusStop;
    ASSERT_TRUE(WaveformData::CombineLogicChannelsRTB2000(s, loose.instance, sError));
    const std::string sMerged = Merged(s);
    EXPECT_EQ(sMerged.substr(11, 20000), [] {
        std::string w;
        for (int k = 0; k < 10000; ++k) w += std::string("\x5A\0", 2);
        return w;
    }());
    EXPECT_EQ(sMerged.substr(11 + 20000), std::string(40000, '\0'));
}

// The merged word of sample k, found bit by bit.
std::uint16_t ReferenceWord(const std::vector<std::string>& lines, std::size_t k) {
    std::uint16_t w = 0;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].empty() || k / 8 >= lines[i].size()) continue;
        if ((static_cast<unsigned char>(lines[i][k / 8]) >> (k % 8)) & 1) w |= static_cast<std::uint16_t>(1u << i);
    }
    return w;
}

TEST_F(WaveformDataLogicTest, RandomLineBitsMergedAndSplitComeBackUnchanged) {
    std::mt19937 random(7);
    for (std::size_t iBytes : {1u, 3u, 8u, 13u, 64u, 1001u}) {
        std::vector<std::string> lines(16);
        uWaveformRecord r = Record();
        for (std::size_t i = 0; i < 16; ++i) {
            if (i == 5 || i == 12) continue; // absent lines read 0
            for (std::size_t b = 0; b < iBytes; ++b) lines[i].push_back(static_cast<char>(random()));
            r.Channels.push_back(Element(WaveformDigital0 + static_cast<std::int64_t>(i), Block(lines[i]) + "\n",
                                         static_cast<std::int64_t>(8 * iBytes)));
        }
        std::string sError;
        ASSERT_TRUE(WaveformData::CombineLogicChannelsSiglent(r, loose.instance, sError)) << sError;
        const std::string s = Merged(r);
        ASSERT_EQ(s.size(), 11 + 16 * iBytes + 1);
        for (std::size_t k = 0; k < 8 * iBytes; ++k) {
            const auto w = static_cast<std::uint16_t>(static_cast<unsigned char>(s[11 + 2 * k]) |
                                                      static_cast<unsigned char>(s[12 + 2 * k]) << 8);
            ASSERT_EQ(w, ReferenceWord(lines, k)) << "bytes " << iBytes << " sample " << k;
        }
    }
}

TEST_F(WaveformDataLogicTest, SiglentTwentyPointsFromThreeBytesGiveTwentyWords) {
    uWaveformRecord r = Record();
    const std::vector<std::string> lines = {"\xFF\x01\x80", "\x0F\xF0\x55"};
    r.Channels.push_back(Element(WaveformDigital0, "#9000000003" + lines[0] + "\n", 20));
    r.Channels.push_back(Element(WaveformDigital1, "#9000000003" + lines[1] + "\n", 20));
    std::string sError;
    ASSERT_TRUE(WaveformData::CombineLogicChannelsSiglent(r, loose.instance, sError));
    const std::string s = Merged(r);
    ASSERT_EQ(s.size(), 11u + 40u + 1u);
    EXPECT_EQ(s.substr(0, 11), "#9000000040");
    for (std::size_t k = 0; k < 20; ++k)
        EXPECT_EQ(static_cast<unsigned char>(s[11 + 2 * k]), ReferenceWord(lines, k)) << k;
}

TEST(TransposeBits, MatchesTheBitByBitTranspose) {
    std::mt19937_64 random(3);
    for (int n = 0; n < 1000; ++n) {
        const std::uint64_t x = random();
        std::uint64_t y = 0;
        for (int r = 0; r < 8; ++r)
            for (int c = 0; c < 8; ++c)
                if ((x >> (8 * r + c)) & 1) y |= std::uint64_t{1} << (8 * c + r);
        ASSERT_EQ(WaveformData::TransposeBits8x8(x), y);
    }
}

} // namespace
