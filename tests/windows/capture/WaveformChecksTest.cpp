// The answer checks: visible channels, logic lines and labels, acquire type, whole traces,
// point counts, and traces assembled from parts with their windows, headers and trailing text.
#include "PumpTestSupport.h"

#include "instrument/ModelTable.h"
#include "instrument/WaveformSources.h"
#include "windows/capture/WaveformChecks.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <utility>
#include <vector>

using PumpTest::Rig;
using namespace WaveformChecks;

namespace {

const std::uint8_t* U(const std::string& s) { return reinterpret_cast<const std::uint8_t*>(s.data()); }

// A rig with a fresh record whose current channel is open, and the request in front.
void Prepare(Rig& rig, uWaveformRequest request = {}) {
    rig.pump.pRecord = std::make_shared<uWaveformRecord>();
    rig.pump.pRecord->Channels.resize(2);
    rig.pump.iChannelIndex = 1;
    rig.pump.mRequestList = {std::move(request)};
}

uWaveformRequest Part(bool fLogic = false) {
    uWaveformRequest r = PumpTest::Request(RequestWaveformPart, "P", true);
    r.eWaveform = WaveformChannel2;
    r.eDataSource = DataSourceMemory;
    r.sChannelFile = "C2";
    r.sChannel = "Channel 2";
    r.fLogic = fLogic ? 1 : 0;
    return r;
}

std::string Block(const std::string& sData, int iDigits = 9) {
    std::string sCount = std::to_string(sData.size());
    sCount = std::string(static_cast<std::size_t>(iDigits) - sCount.size(), '0') + sCount;
    return "#" + std::to_string(iDigits) + sCount + sData;
}

int Points(Rig& rig, const std::string& s) { return CheckInstrumentResponseWaveformPoints(rig.pump, U(s), s.size()); }

// Hands one part answer to the check as the dispatcher does (a leading block parsed).
int GivePart(Rig& rig, const std::string& sAnswer) {
    std::size_t iHeader = 0;
    std::uint64_t iCount = 0;
    if (!sAnswer.empty() && sAnswer[0] == '#') {
        iHeader = 2 + static_cast<std::size_t>(sAnswer[1] - '0');
        iCount = std::stoull(sAnswer.substr(2, iHeader - 2));
    }
    return CheckInstrumentResponseWaveformPart(rig.pump, U(sAnswer), sAnswer.size(), iHeader, iCount);
}

std::string ChannelData(const Rig& rig, std::size_t i = 1) {
    return std::string(rig.pump.pRecord->Channels.at(i).pData.view());
}

// --- parts ---

struct uWindows {
    const char* sName;
    std::int64_t eModel;
    std::string sPointsAnswer;
    bool fLogic;
    std::vector<std::pair<std::int64_t, std::int64_t>> windows; // as sent: start, "%STOP%"
};

class PartWindows : public ::testing::TestWithParam<uWindows> {};

TEST_P(PartWindows, FollowTheMakersRule) {
    const uWindows& c = GetParam();
    Rig rig(c.eModel);
    Prepare(rig, Part(c.fLogic));
    ASSERT_EQ(Points(rig, c.sPointsAnswer), 1);
    const bool fSiglent = c.eModel >= ModelSiglentSDS2000XPlusCh2;
    std::vector<std::pair<std::int64_t, std::int64_t>> sent;
    std::vector<bool> carries;
    std::string sData; // each part whole: the points asked, one byte each (the MSO2000's lines two)
    const std::size_t iPointBytes = c.eModel == ModelRigolMSO2000 && c.fLogic ? 2 : 1;
    for (int i = 0; i < 10; ++i) {
        sent.emplace_back(rig.pump.iStartPoint,
                          fSiglent ? rig.pump.iStopPoint - rig.pump.iStartPoint : rig.pump.iStopPoint);
        carries.push_back(rig.pump.iStopPoint >= rig.pump.pRecord->iTotalPoints); // the part sends its tail
        const auto iAsked = static_cast<std::size_t>(rig.pump.iStopPoint - rig.pump.iStartPoint + (fSiglent ? 0 : 1));
        const std::string sBytes(iAsked * iPointBytes, static_cast<char>('a' + i));
        sData += sBytes;
        const std::string sPart = (fSiglent ? "DAT2," : "") + Block(sBytes) + "\n";
        if (GivePart(rig, sPart) == 1) break;
    }
    EXPECT_EQ(sent, c.windows);
    std::vector<bool> expectCarry(c.windows.size(), false);
    expectCarry.back() = true;
    EXPECT_EQ(carries, expectCarry);
    // Complete: the next channel's window starts again, without its tail unless it is the last.
    EXPECT_EQ(rig.pump.iStopPoint >= rig.pump.pRecord->iTotalPoints, c.windows.size() == 1);
    EXPECT_EQ(rig.pump.iPartBytes, 0);
    EXPECT_EQ(rig.pump.iStartPoint, c.windows.front().first);
    EXPECT_TRUE(ChannelData(rig) == Block(sData));
}

INSTANTIATE_TEST_SUITE_P(
    Makers, PartWindows,
    ::testing::Values(
        uWindows{"RigolExactlyOnePart", ModelRigolDS1000Z, "250000;2.083333e+07;1.000000e-03", false, {{1, 250000}}},
        uWindows{"RigolOnePointMore",
                 ModelRigolDS2000,
                 "250001;1e9;1e-3",
                 false,
                 {{1, 250000}, {250001, 250001}}},
        uWindows{"Rigol600000",
                 ModelRigolDS1000ZPlus,
                 " 600000 ;1e9;1e-3",
                 false,
                 {{1, 250000}, {250001, 500000}, {500001, 600000}}},
        uWindows{"RigolLogicHalfSize", ModelRigolMSO2000, "AUTO;1.785714e+07;1.000000e-03", true, {{1, 125000}, {125001, 250000}}},
        // The DS1000Z Plus shows 12 divisions, as the DS1000Z: 300000 points, not 350000.
        uWindows{"RigolPlusAutoDepthOfTwelveDivisions", ModelRigolDS1000ZPlus, "AUTO;2.5e+07;1.000000e-03", false,
                 {{1, 250000}, {250001, 300000}}},
        uWindows{"Siglent20Million",
                 ModelSiglentSDS2000XPlusCh4,
                 "2.00E+07",
                 false,
                 {{0, 10000000}, {10000000, 10000000}}},
        uWindows{"Siglent25Million",
                 ModelSiglentSDS5000XCh2,
                 "25000000",
                 false,
                 {{0, 10000000}, {10000000, 10000000}, {20000000, 5000000}}}),
    [](const ::testing::TestParamInfo<uWindows>& info) { return std::string(info.param.sName); });

TEST(WaveformParts, SiglentLogicBitCountsRoundUpToBytes) {
    for (const auto& [iBits, iBytes] : {std::pair{1000, 125}, std::pair{1001, 126}}) {
        Rig rig(ModelSiglentSDS2000XPlusCh2);
        Prepare(rig, Part(true));
        ASSERT_EQ(Points(rig, std::to_string(iBits)), 1);
        const std::string sData(static_cast<std::size_t>(iBytes), 'z');
        const std::string sAnswer = "DAT2,#9" + std::string(9 - std::to_string(iBits).size(), '0') +
                                    std::to_string(iBits) + sData + "\n";
        EXPECT_EQ(CheckInstrumentResponseWaveformPart(rig.pump, U(sAnswer), sAnswer.size(), 0, 0), 1);
        // The header now counts the bytes stored; nothing trails the block but the end byte.
        EXPECT_EQ(ChannelData(rig), Block(sData)) << iBits;
        // One bit more than the bytes hold is refused.
        Prepare(rig, Part(true));
        rig.pump.pRecord->iTotalPoints = iBits;
        const std::string sShort = sAnswer.substr(0, sAnswer.size() - 2);
        EXPECT_EQ(CheckInstrumentResponseWaveformPart(rig.pump, U(sShort), sShort.size(), 0, 0), 1);
        EXPECT_EQ(rig.pump.pRecord->Channels.size(), 1u); // the channel leaves the record
        EXPECT_NE(rig.window.mLog.back().find("unvollständig"), std::string::npos);
    }
}

// Taken as samples, the answer's text would stand among them: the channel is not kept.
TEST(WaveformParts, SiglentWithoutAnyBlockEndsTheChannelWithAnError) {
    Rig rig(ModelSiglentSDS2000XPlusCh2);
    Prepare(rig, Part());
    ASSERT_EQ(Points(rig, "4"), 1);
    const std::string sAnswer = "DATA," + Block("abcd") + "\n";
    EXPECT_EQ(GivePart(rig, sAnswer), 1);
    EXPECT_EQ(rig.pump.pRecord->Channels.size(), 1u);
    EXPECT_EQ(rig.window.mLog.back(),
              "Error: WindowWaveform::CheckInstrumentResponseWaveformPart: Es ist kein Header 'DAT2' vorhanden.");
}

TEST(WaveformParts, AnIncompleteBlockBehindDat2EndsTheChannelAndDropsItsNextPart) {
    Rig rig(ModelSiglentSDS5000XCh4);
    Prepare(rig, Part());
    rig.pump.mRequestList.push_back(Part()); // the copy the pump queued
    rig.pump.mRequestList.push_back(PumpTest::End());
    ASSERT_EQ(Points(rig, "30000000"), 1);
    ASSERT_EQ(GivePart(rig, "DAT2," + Block(std::string(10000000, 'a')) + "\n"), 0);
    const std::string sCut = "DAT2,#9000000010abc";
    EXPECT_EQ(GivePart(rig, sCut), 1);
    EXPECT_EQ(rig.pump.pRecord->Channels.size(), 1u); // no file from the first part alone
    EXPECT_EQ(rig.pump.mRequestList.size(), 2u); // the current request and the end
    EXPECT_EQ(rig.pump.iStartPoint, 0);
    EXPECT_EQ(rig.pump.iStopPoint, 10000000);
    EXPECT_EQ(rig.window.mLog.back(), "Error: WindowWaveform::CheckInstrumentResponseWaveformPart: Der Datenblock "
                                      "hinter 'DAT2' ist unvollständig oder ungültig.");
}

// A part one byte short whose chained answers make up the count: the block does not end with
// its LF, and the descriptor behind it must not become samples.
TEST(WaveformParts, ASiglentBlockNotEndingWhereAnnouncedEndsTheChannel) {
    for (const bool fFirst : {true, false}) {
        Rig rig(ModelSiglentSDS2000XPlusCh4);
        Prepare(rig, Part());
        rig.pump.mRequestList.push_back(Part());
        ASSERT_EQ(Points(rig, fFirst ? "8" : "20000008"), 1);
        if (!fFirst) {
            ASSERT_EQ(GivePart(rig, "DAT2," + Block("abcd") + "\n"), 0);
        }
        EXPECT_EQ(GivePart(rig, "DAT2,#9000000008abcdefg;DESC,#9000000004wxyz\n"), 1);
        EXPECT_EQ(rig.pump.pRecord->Channels.size(), 1u);
        EXPECT_EQ(rig.pump.mRequestList.size(), 1u); // the queued part is not sent
        EXPECT_EQ(rig.window.mLog.back(), "Error: WindowWaveform::CheckInstrumentResponseWaveformPart: Der "
                                          "Datenblock hinter 'DAT2' ist unvollständig oder ungültig.");
    }
    // A block ending with its LF, or right at the end of the answer, is taken.
    for (const std::string& sTail : {std::string("\n;DESC"), std::string()}) {
        Rig rig(ModelSiglentSDS2000XPlusCh4);
        Prepare(rig, Part());
        ASSERT_EQ(Points(rig, "4"), 1);
        EXPECT_EQ(GivePart(rig, "DAT2," + Block("abcd") + sTail), 1);
        EXPECT_EQ(ChannelData(rig).substr(0, 15), Block("abcd"));
    }
}

TEST(WaveformParts, AnEmptyPartEndsTheChannelAndReArmsTheWindow) {
    Rig rig(ModelRigolDS1000Z);
    Prepare(rig, Part());
    rig.pump.mRequestList.push_back(Part());
    ASSERT_EQ(Points(rig, "600000;1e9;1e-3"), 1);
    ASSERT_EQ(GivePart(rig, Block(std::string(250000, 'a')) + "\n"), 0);
    EXPECT_EQ(CheckInstrumentResponseWaveformPart(rig.pump, nullptr, 0, 0, 0), 1);
    EXPECT_EQ(rig.window.mLog.back(), "Error: WindowWaveform::CheckInstrumentResponseWaveformPart: Der Zeiger auf die "
                                      "Daten oder die Datengröße ist Null.");
    EXPECT_EQ(rig.pump.mRequestList.size(), 1u);
    EXPECT_EQ(rig.pump.iStartPoint, 1);
    EXPECT_EQ(rig.pump.iStopPoint, 250000);
    EXPECT_EQ(rig.pump.pRecord->Channels.size(), 1u);
    EXPECT_EQ(rig.pump.iChannelIndex, 0u);
}

TEST(WaveformParts, ABytesBeyondTheAnswerAreRefused) {
    Rig rig(ModelRigolDS1000Z);
    Prepare(rig, Part());
    rig.pump.answer = DataBuffer::FromText("#15abcde\n");
    rig.pump.iStopPoint = 7;
    EXPECT_EQ(CheckInstrumentResponseWaveformPart(rig.pump, rig.pump.answer.data(), 20, 0, 0), 0);
    EXPECT_EQ(rig.window.mLog.back(), "Error: WindowWaveform::CheckInstrumentResponseWaveformPart: Der Speicher ist "
                                      "kleiner als die angegebene Datengröße, iDataSize = 20");
    EXPECT_EQ(rig.pump.iStopPoint, 7);
    EXPECT_EQ(CheckInstrumentResponseWaveform(rig.pump, rig.pump.answer.data() + 2, 8), 0);
    EXPECT_EQ(CheckInstrumentResponseGetVisibleChannels(rig.pump, rig.pump.answer.data(), 0), 0);
    EXPECT_EQ(rig.window.mLog.back(), "Error: WindowWaveform::CheckInstrumentResponseGetVisibleChannels: Der Zeiger "
                                      "auf die Daten oder die Datengröße ist Null.");
}

// Pieces of 8 points as the instrument's MAXPoint allows ("16;8"), each with a one-digit count.
TEST(WaveformParts, ACountThatOutgrowsTheFirstHeaderGetsANewHeader) {
    Rig rig(ModelSiglentSDS2000XPlusCh4);
    Prepare(rig, Part());
    ASSERT_EQ(Points(rig, "16;8"), 1);
    ASSERT_EQ(GivePart(rig, Block("abcdefgh", 1) + "\n"), 0);
    ASSERT_EQ(GivePart(rig, Block("ijklmnop", 1) + ";DESC\n"), 1);
    EXPECT_EQ(ChannelData(rig), "#216abcdefghijklmnop;DESC");
}

TEST(WaveformParts, AnAnswerEndingWithItsBlockAppendsNoTrailingText) {
    Rig rig(ModelRigolDS1000Z);
    Prepare(rig, Part());
    ASSERT_EQ(Points(rig, "5;1e9;1e-3"), 1);
    ASSERT_EQ(GivePart(rig, Block("abcde")), 1);
    EXPECT_EQ(ChannelData(rig), Block("abcde"));
    EXPECT_EQ(rig.pump.pRecord->Channels[1].iTotalPoints, 5);
    EXPECT_EQ(rig.pump.pRecord->Channels[1].sFileChannel, "C2");
}

// --- points ---

struct uCount {
    std::string sText;
    bool fValid;
    std::int64_t iCount;
};

TEST(WaveformPoints, OnlyCheckedNumbersBecomeCounts) {
    const std::vector<uCount> cases = {{"1200", true, 1200},      {"2.50E+07", true, 25000000}, {"+7.9", true, 7},
                                       {" 12 ", true, 12},         {"0", true, 0},               {"-3", true, -3},
                                       {"1e9", true, 1000000000}, {"1000000001", false, 0},     {"9.9E37", false, 0},
                                       {"nan", false, 0},          {"inf", false, 0},            {"", false, 0},
                                       {"1e400", false, 0},        {"text", false, 0},           {"+", false, 0}};
    for (const uCount& c : cases) {
        std::int64_t iCount = 0;
        EXPECT_EQ(ParseCount(c.sText, iCount), c.fValid) << c.sText;
        if (c.fValid) {
            EXPECT_EQ(iCount, c.iCount) << c.sText;
        }
    }
}

TEST(WaveformPoints, AnInvalidCountIsLoggedAndLeavesTheWindowShut) {
    for (const std::string s : {"9.9E37", "nan", "", "1e400"}) {
        Rig rig(ModelSiglentSDS2000XPlusCh2);
        Prepare(rig, Part());
        const std::string sAnswer = s.empty() ? std::string("\n") : s;
        EXPECT_EQ(Points(rig, sAnswer), 0);
        EXPECT_EQ(rig.pump.iStopPoint, 0);
        EXPECT_EQ(rig.pump.pRecord->iTotalPoints, 0);
        EXPECT_EQ(rig.window.mLog.back(), "Error: WindowWaveform::CheckInstrumentResponseWaveformPoints: Die Anzahl "
                                          "ist ungültig. Antwort: >" +
                                              s + "<");
    }
    Rig rigol(ModelRigolDS1000Z);
    Prepare(rigol, Part());
    EXPECT_EQ(Points(rigol, "9.9E37;1e9;1e-3"), 0);
    EXPECT_EQ(rigol.pump.iStopPoint, 0);
}

TEST(WaveformPoints, ZeroPointsShutTheWindow) {
    Rig rig(ModelRigolDS1000Z);
    Prepare(rig, Part());
    rig.pump.iStartPoint = 5;
    rig.pump.iStopPoint = 9;
    EXPECT_EQ(Points(rig, "0;1e9;1e-3"), 0); // a memory of no points is no count
    EXPECT_EQ(rig.pump.iStartPoint, 0);
    EXPECT_EQ(rig.pump.iStopPoint, 0);
}

TEST(WaveformPoints, TheLineIsSilentInShortAutomaticRuns) {
    const std::vector<std::tuple<bool, std::int64_t, bool>> cases = {
        {false, 1, true}, {true, 1000, false}, {true, 599999, false}, {true, 600000, true}};
    for (const auto& [fAutomatic, iInterval, fLine] : cases) {
        Rig rig(ModelSiglentSDS2000XPlusCh2, "SDS2104X Plus");
        Prepare(rig, Part());
        rig.pump.fAutomatic = fAutomatic;
        rig.pump.iInterval = iInterval;
        Points(rig, "12");
        EXPECT_EQ(rig.window.mLog.size(), fLine ? 1u : 0u) << iInterval;
        if (fLine) {
            EXPECT_EQ(rig.window.mLog[0], "SDS2104X Plus - Waveform Points: 12");
        }
    }
    Rig logic(ModelSiglentSDS2000XPlusCh2, "SDS2104X Plus");
    Prepare(logic, Part(true));
    Points(logic, "16");
    EXPECT_EQ(logic.window.mLog.back(), "SDS2104X Plus - Logic Points: 16");
}

TEST(WaveformPoints, TheRtbSetsTheTotalOnly) {
    Rig rig(ModelRohdeSchwarzRTB2000Ch2);
    Prepare(rig, PumpTest::Request(RequestWaveformPoints, "Q", true));
    EXPECT_EQ(Points(rig, "1.2E+03\n"), 1);
    EXPECT_EQ(rig.pump.pRecord->iTotalPoints, 1200);
    EXPECT_EQ(rig.pump.iStopPoint, 0);
    EXPECT_TRUE(rig.window.mLog.empty());
    Rig hameg(ModelHamegHM2008);
    Prepare(hameg);
    EXPECT_EQ(Points(hameg, "5"), 0);
}

// --- visible channels, logic lines, acquire type, whole traces ---

struct uVisible {
    std::int64_t eModel;
    std::string sAnswer;
    std::vector<std::int64_t> channels;
    bool fLogicQuery;
};

TEST(WaveformVisible, ChannelsPerMaker) {
    const std::vector<uVisible> cases = {
        {ModelHamegHM2008, "CH1,,CH2,ch1, CH2,POD1,CH1\n", {WaveformChannel1, WaveformChannel2, WaveformLogicPod1,
                                                              WaveformChannel1}, false},
        {ModelRigolDS1000Z, "1;0;1;0;1", {WaveformChannel1, WaveformChannel3, WaveformMath}, false},
        {ModelRigolDS1000Z, "1;0;1;0;", {WaveformChannel1, WaveformChannel3}, false}, // ":MATH:DISP?" is 1 or 0
        {ModelRigolDS1000Z, "0;0;0;1", {WaveformChannel4}, false},
        {ModelRigolDS1000ZPlus, "0;0;0;0;OFF;1\n", {WaveformLogicPod1, WaveformLogicPod2}, true},
        {ModelRigolMSO2000, "1;0;SUB;1", {WaveformChannel1, WaveformMath, WaveformLogic}, true},
        {ModelSiglentSDS2000XPlusCh2, "ON;OFF;ON;ON;ON", {WaveformChannel1, WaveformFunction1, WaveformFunction2,
                                                          WaveformLogic}, true},
        {ModelSiglentSDS5000XCh4, "OFF;OFF;OFF;ON;OFF;OFF;OFF", {WaveformChannel4}, false},
        {ModelRohdeSchwarzRTB2000Ch2, "1;0;0;1;0;0;0;0;0;1;0;0;1;REFR", {WaveformChannel1, WaveformMath2,
                                                                         WaveformReference3, WaveformLogicPod2}, true},
        {ModelRigolDG4000, "1;1", {}, false}};
    for (const uVisible& c : cases) {
        Rig rig(c.eModel);
        rig.pump.mRequestList = {PumpTest::Request(RequestVisibleChannels, "V", true)};
        rig.pump.mChannelData = {99};
        CheckInstrumentResponseGetVisibleChannels(rig.pump, U(c.sAnswer), c.sAnswer.size());
        EXPECT_EQ(rig.pump.mChannelData, c.channels) << c.sAnswer;
        EXPECT_EQ(rig.pump.mRequestList.size(), c.fLogicQuery ? 2u : 1u) << c.sAnswer;
        EXPECT_EQ(rig.timers.Armed(WaveformPump::TimerPump), c.fLogicQuery) << c.sAnswer;
    }
}

TEST(WaveformVisible, TheRtbAcquireTypeField) {
    const std::string sFifteen = "1;0;0;0;0;0;0;0;0;0;0;0;0;0;0";
    const std::vector<std::pair<std::string, std::int64_t>> cases = {
        {sFifteen + ";ENV", 3}, {sFifteen + ";AVER", 2}, {sFifteen + ";REFR", 1}, {sFifteen + ";PEAK", 0},
        {sFifteen, 7}};
    for (const auto& [sAnswer, iType] : cases) {
        Rig rig(ModelRohdeSchwarzRTB2000Ch4);
        rig.pump.iAcquireType = 7;
        EXPECT_EQ(CheckInstrumentResponseGetVisibleChannels(rig.pump, U(sAnswer), sAnswer.size()), 1);
        EXPECT_EQ(rig.pump.iAcquireType, iType) << sAnswer;
    }
}

std::string LogicAnswer(const std::vector<std::string>& shown, const std::vector<std::string>& labels) {
    std::string s;
    for (const auto& v : shown) s += v + ";";
    for (const auto& v : labels) s += v + ";";
    s.pop_back();
    return s + "\n";
}

TEST(WaveformLogic, RigolLabelsAndPodTexts) {
    Rig rig(ModelRigolMSO2000);
    std::vector<std::string> shown(16, "0"), labels(16, "No Label!");
    shown[2] = shown[9] = "1";
    labels[2] = "CLK";
    const std::string s = LogicAnswer(shown, labels);
    EXPECT_EQ(CheckInstrumentResponseGetLogicDisplay(rig.pump, U(s), s.size()), 1);
    EXPECT_EQ(rig.pump.sLogicAll, "D2,D9");
    EXPECT_EQ(rig.pump.sLogicPod1, "D2");
    EXPECT_EQ(rig.pump.sLogicPod2, "D9");
    ASSERT_EQ(rig.pump.LogicLines.size(), 16u);
    EXPECT_EQ(rig.pump.LogicLines[2].sLabel, "CLK");
    EXPECT_EQ(rig.pump.LogicLines[3].sLabel, "");
    EXPECT_EQ(rig.pump.LogicLines[9].fShown, 1);
}

TEST(WaveformLogic, SiglentAndRtbLabels) {
    Rig siglent(ModelSiglentSDS2000XPlusCh4);
    std::vector<std::string> shown(16, "OFF"), labels(16, "\"CUST[3]\"");
    shown[0] = shown[15] = "ON";
    labels[0] = "\"DATA\"";
    std::string s = LogicAnswer(shown, labels);
    EXPECT_EQ(CheckInstrumentResponseGetLogicDisplay(siglent.pump, U(s), s.size()), 1);
    EXPECT_EQ(siglent.pump.sLogicAll, "D0,D15");
    EXPECT_EQ(siglent.pump.sLogicPod1, "");
    EXPECT_EQ(siglent.pump.LogicLines[0].sLabel, "DATA");
    EXPECT_EQ(siglent.pump.LogicLines[1].sLabel, "");

    Rig rtb(ModelRohdeSchwarzRTB2000Ch2);
    std::fill(shown.begin(), shown.end(), "0");
    shown[1] = shown[8] = "1";
    labels.assign(16, "\"CUST[3]\"");
    labels[3] = "\"A;B\""; // a ";" in a label separates nothing
    s = LogicAnswer(shown, labels);
    s.pop_back();
    s += ";1;0\n"; // label states behind the labels are ignored
    EXPECT_EQ(CheckInstrumentResponseGetLogicDisplay(rtb.pump, U(s), s.size()), 1);
    EXPECT_EQ(rtb.pump.sLogicAll, "");
    EXPECT_EQ(rtb.pump.sLogicPod1, "D1");
    EXPECT_EQ(rtb.pump.sLogicPod2, "D8");
    EXPECT_EQ(rtb.pump.LogicLines[3].sLabel, "A;B");
    EXPECT_EQ(rtb.pump.LogicLines[4].sLabel, "CUST[3]");

    Rig none(ModelRigolDS1000Z);
    none.pump.sLogicAll = "x";
    EXPECT_EQ(CheckInstrumentResponseGetLogicDisplay(none.pump, U(s), s.size()), 0);
    EXPECT_EQ(none.pump.sLogicAll, "");
}

TEST(WaveformAcquireType, RtbAnswers) {
    const std::vector<std::tuple<std::string, std::int64_t, std::string, std::string>> cases = {
        {"AVER\n", 2, "Average", "32"}, {"ENV;", 3, "Envelope", "8"}, {"REFR", 1, "Refresh", "8"},
        {"aver", 0, "Error", "8"}};
    for (const auto& [sAnswer, eType, sShown, sBits] : cases) {
        Rig rig(ModelRohdeSchwarzRTB2000Ch4, "RTB2004");
        Prepare(rig);
        rig.pump.sBitFormat = "8";
        EXPECT_EQ(CheckInstrumentResponseWaveformAcquireType(rig.pump, U(sAnswer), sAnswer.size()), 1);
        EXPECT_EQ(rig.pump.pRecord->eAcquireType, eType);
        EXPECT_EQ(rig.pump.sBitFormat, sBits);
        EXPECT_EQ(rig.window.mLog, std::vector<std::string>{"RTB2004 - Waveform AcquireType: " + sShown});
    }
    Rig rigol(ModelRigolDS1000Z);
    Prepare(rigol);
    EXPECT_EQ(CheckInstrumentResponseWaveformAcquireType(rigol.pump, U(std::string("AVER")), 4), 0);
    EXPECT_TRUE(rigol.window.mLog.empty());
}

TEST(WaveformWhole, TheAnswerIsTakenOverIntoEachNewEntry) {
    Rig rig(ModelRohdeSchwarzRTB2000Ch2);
    Prepare(rig, Part());
    rig.pump.pRecord->iTotalPoints = 5;
    rig.pump.pRecord->eAcquireType = 3;
    rig.pump.answer = DataBuffer::FromText("#210abcdefghij;1.0\n"); // an envelope: two values a point
    const std::uint8_t* pBefore = rig.pump.answer.data();
    EXPECT_EQ(CheckInstrumentResponseWaveform(rig.pump, rig.pump.answer.data(), rig.pump.answer.size()), 1);
    const uWaveformRecordChannel& first = rig.pump.pRecord->Channels[1];
    EXPECT_EQ(first.pData.data(), pBefore); // not copied
    EXPECT_EQ(first.pData.view(), "#210abcdefghij;1.0\n");
    EXPECT_EQ(first.iTotalPoints, 5);
    EXPECT_EQ(first.eAcquireType, 3);
    EXPECT_EQ(first.sChannelName, "Channel 2");
    EXPECT_TRUE(rig.pump.answer.empty());
    rig.pump.pRecord->Channels.emplace_back();
    rig.pump.iChannelIndex = 2;
    const std::string sOther = "#210uvwxyzuvwx";
    EXPECT_EQ(CheckInstrumentResponseWaveform(rig.pump, U(sOther), sOther.size()), 1);
    EXPECT_EQ(rig.pump.pRecord->Channels[2].pData.view(), sOther);
    rig.pump.iChannelIndex = 0;
    EXPECT_EQ(CheckInstrumentResponseWaveform(rig.pump, U(sOther), sOther.size()), 0);
}

} // namespace
