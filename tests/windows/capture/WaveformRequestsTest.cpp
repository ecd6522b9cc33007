// The request lists of a read per oscilloscope family, source and channel set, the option rows
// around them, the visible-channel and logic queries, and the option-row state.
#include "PumpTestSupport.h"

#include "instrument/ModelCommands.h"
#include "instrument/ModelTable.h"
#include "instrument/WaveformSources.h"
#include "windows/capture/WaveformOptions.h"
#include "windows/capture/WaveformRequests.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using PumpTest::Rig;

namespace {

// One request as "kind flags [channel|file|source] command": flags s(end), r(esponse), p(ending),
// l(ogic).
std::string Dump(const uWaveformRequest& r) {
    std::string s = std::to_string(r.eKind) + " ";
    s += r.fSend ? "s" : "-";
    s += r.fResponse ? "r" : "-";
    s += r.fPending ? "p" : "-";
    s += r.fLogic ? "l" : "-";
    if (r.eWaveform != 0 || !r.sChannel.empty())
        s += " [" + std::to_string(r.eWaveform) + "|" + r.sChannelFile + "|" + r.sChannel + "|" +
             std::to_string(r.eDataSource) + "]";
    if (r.iWait != 0) s += " wait " + std::to_string(r.iWait);
    if (!r.sCommand.empty()) s += " " + r.sCommand;
    if (!r.sResponse.empty()) s += " > " + r.sResponse;
    return s;
}

std::vector<std::string> Dump(const uWaveformPump& pump) {
    std::vector<std::string> out;
    for (const uWaveformRequest& r : pump.mRequestList) out.push_back(Dump(r));
    return out;
}

uWaveformLogicLine Line(std::int64_t i, bool fShown) { return {i, fShown ? 1 : 0, ""}; }

struct uCase {
    const char* sName;
    std::int64_t eModel;
    std::int64_t eSource;
    std::vector<std::int64_t> channels;
    std::vector<std::string> expected;
    std::string sLastPartOnly; // of each request that has one, in list order, joined by "|"
    std::string sBitFormat;
};

class WaveformRequestLists : public ::testing::TestWithParam<uCase> {};

TEST_P(WaveformRequestLists, MatchTheFamilysTable) {
    const uCase& c = GetParam();
    Rig rig(c.eModel);
    rig.pump.LogicLines = {Line(0, false), Line(3, true), Line(12, true)};
    rig.pump.sBitFormat = "kept";
    rig.pump.iPartBytes = 99;
    EXPECT_EQ(WaveformRequests::CreateSendRequestList(rig.pump, {}, c.eSource, c.channels), c.expected.size());
    EXPECT_EQ(Dump(rig.pump), c.expected);
    std::string sTails;
    for (const uWaveformRequest& r : rig.pump.mRequestList)
        if (!r.sLastPartOnly.empty()) sTails += (sTails.empty() ? "" : "|") + r.sLastPartOnly;
    EXPECT_EQ(sTails, c.sLastPartOnly);
    EXPECT_EQ(rig.pump.sBitFormat, c.sBitFormat);
    EXPECT_EQ(rig.pump.iPartBytes, 0);
    EXPECT_TRUE(rig.window.mLog.empty());
}

const std::string RtbHead = ":%DATA%:HEAD?;YRES?;YOR?;YINC?;XOR?;XINC?";

INSTANTIATE_TEST_SUITE_P(
    Families, WaveformRequestLists,
    ::testing::Values(
        uCase{"HamegScreenHasNoStop",
              ModelHamegHM2008,
              DataSourceScreen,
              {WaveformChannel1, WaveformLogicPod1},
              {"7 s-p- :TRAC:POIN DEF;:TRAC:FORM BYTE;:TRAC:BORD LSBF",
               "1 srp- [4|CH1|Channel 1|1] :TRAC:SOUR CH1;:TRAC?",
               "1 srp- [11|POD1|Logic pod 1|1] :TRAC:SOUR POD1;:TRAC?", "3 ----"},
              "", "kept"},
        uCase{"HamegEntireMemoryStopsFirst",
              ModelHamegHM1008,
              DataSourceEntireMemory,
              {WaveformChannel2},
              {"7 s-p- :ACQ:STAT STOP", "7 s-p- :TRAC:POIN MAX;:TRAC:FORM BYTE;:TRAC:BORD LSBF",
               "1 srp- [5|CH2|Channel 2|3] :TRAC:SOUR CH2;:TRAC?", "3 ----"},
              "", "kept"},
        uCase{"HamegOtherSourceHasNoPointWord",
              ModelHamegHM1508,
              DataSourceScreen10Bit,
              {},
              {"7 s-p- :ACQ:STAT STOP", "7 s-p- ;:TRAC:FORM BYTE;:TRAC:BORD LSBF", "3 ----"},
              "", "kept"},
        uCase{"RigolScreenDs1000zIs1200Wide",
              ModelRigolDS1000Z,
              DataSourceScreen,
              {WaveformChannel1, WaveformMath},
              {"7 s-p- :WAV:MODE NORM;:WAV:FORM BYTE;:WAV:STAR 1;:WAV:STOP 1200",
               "1 srp- [4|CHAN1|Channel 1|1] :WAV:SOUR CHAN1;:WAV:DATA?;:WAV:PRE?;:CHAN1:UNIT?;:CHAN1:UNIT?",
               "1 srp- [37|MATH|Math|1] :WAV:SOUR MATH;:WAV:DATA?;:WAV:PRE?;:MATH:UNIT?;:MATH:UNIT?", "3 ----"},
              "", "kept"},
        uCase{"RigolMemoryReadsNoMath",
              ModelRigolDS2000,
              DataSourceMemory,
              {WaveformChannel1, WaveformMath, WaveformChannel2},
              {"7 s-p- :STOP", "7 s-p- :WAV:MODE RAW;:WAV:FORM BYTE", "8 srp- :ACQ:MDEP?;:ACQ:SRAT?;:TIM:SCAL?",
               "2 srp- [4|CHAN1|Channel 1|2] :WAV:SOUR CHAN1;:WAV:STAR %START%;:WAV:STOP "
               "%STOP%;:WAV:DATA?;:WAV:PRE?;:CHAN1:UNIT?",
               "2 srp- [5|CHAN2|Channel 2|2] :WAV:SOUR CHAN2;:WAV:STAR %START%;:WAV:STOP "
               "%STOP%;:WAV:DATA?;:WAV:PRE?;:CHAN2:UNIT?",
               "3 ----"},
              ";:WAV:PRE?;:CHAN1:UNIT?|;:WAV:PRE?;:CHAN2:UNIT?", "kept"},
        uCase{"RigolMsoScreenLogicPassInWords",
              ModelRigolMSO2000,
              DataSourceScreen,
              {WaveformLogic, WaveformChannel2},
              {"7 s-p- :WAV:MODE NORM;:WAV:FORM BYTE;:WAV:STAR 1;:WAV:STOP 1400",
               "1 srp- [5|CHAN2|Channel 2|1] :WAV:SOUR CHAN2;:WAV:DATA?;:WAV:PRE?;:CHAN2:UNIT?;:CHAN2:UNIT?",
               "7 s-p- :WAV:MODE NORM;:WAV:FORM WORD;:WAV:STAR 1;:WAV:STOP 1400",
               "1 srpl [3|LA|Logic channels|1] :WAV:SOUR LA;:WAV:DATA?;:WAV:PRE?", "3 ----"},
              "", "kept"},
        uCase{"RigolPlusMemoryBothPodsAfterTheAnalogue",
              ModelRigolDS1000ZPlus,
              DataSourceMemory,
              {WaveformChannel1, WaveformLogicPod1, WaveformLogicPod2},
              {"7 s-p- :STOP", "7 s-p- :WAV:MODE RAW;:WAV:FORM BYTE", "8 srp- :ACQ:MDEP?;:ACQ:SRAT?;:TIM:SCAL?",
               "2 srp- [4|CHAN1|Channel 1|2] :WAV:SOUR CHAN1;:WAV:STAR %START%;:WAV:STOP "
               "%STOP%;:WAV:DATA?;:WAV:PRE?;:CHAN1:UNIT?",
               "7 s-p- :WAV:MODE RAW;:WAV:FORM BYTE", "8 srpl :WAV:SOUR D0;:ACQ:MDEP?;:ACQ:SRAT?;:TIM:SCAL?",
               "2 srpl [11|D0|Logic pod 1|2] :WAV:SOUR D0;:WAV:STAR %START%;:WAV:STOP %STOP%;:WAV:DATA?;:WAV:PRE?",
               "2 srpl [12|D8|Logic pod 2|2] :WAV:SOUR D8;:WAV:STAR %START%;:WAV:STOP %STOP%;:WAV:DATA?;:WAV:PRE?",
               "3 ----"},
              ";:WAV:PRE?;:CHAN1:UNIT?|;:WAV:PRE?|;:WAV:PRE?", "kept"},
        uCase{"SiglentChannelsFunctionsAndShownLines",
              ModelSiglentSDS2000XPlusCh4,
              DataSourceMemory,
              {WaveformChannel2, WaveformFunction1, WaveformLogic},
              {"7 s-p- :TRIG:STOP", "7 s-p- :WAV:WIDT BYTE", "8 srp- :ACQ:POIN?", "10 srp- :WAV:MAXP?",
               "2 srp- [5|C2|Channel 2|2] :WAV:SOUR C2;:WAV:STAR %START%;:WAV:POIN "
               "%STOP%;:WAV:DATA?;:WAV:PRE?;:CHAN2:UNIT?",
               "2 srp- [35|F1|Function 1|2] :WAV:SOUR F1;:WAV:STAR %START%;:WAV:POIN %STOP%;:WAV:DATA?;:WAV:PRE?",
               "7 s-p- :WAV:WIDT BYTE", "8 srpl :DIG:POIN?", "10 srpl :WAV:MAXP?",
               "2 srpl [16|D3|Digital 3|2] :WAV:SOUR D3;:WAV:STAR %START%;:WAV:POIN %STOP%;:WAV:DATA?;:WAV:PRE?",
               "2 srpl [25|D12|Digital 12|2] :WAV:SOUR D12;:WAV:STAR %START%;:WAV:POIN "
               "%STOP%;:WAV:DATA?;:WAV:PRE?",
               "3 ----"},
              ";:WAV:PRE?;:CHAN2:UNIT?|;:WAV:PRE?|;:WAV:PRE?|;:WAV:PRE?", "kept"},
        uCase{"RtbScreen10BitNoStop",
              ModelRohdeSchwarzRTB2000Ch4,
              DataSourceScreen10Bit,
              {WaveformChannel3, WaveformMath2, WaveformReference1},
              {"9 srp- :ACQ:TYPE?", "7 s-p- :CHAN1:DATA:POIN DEF;:FORM:DATA UINT,%BIT%;:FORM:BORD LSBF",
               "8 srp- :CHAN3:DATA:POIN?",
               "1 srp- [6|CH3|Channel 3|6] :CHAN3:%DATA%?;:CHAN3" + RtbHead +
                   ";:PROB3:SET:GAIN:UNIT?;:CHAN3:ARIT?;TYPE?;:ACQ:AVER:COUNT?",
               "8 srp- :CALC:MATH2:DATA:POIN?", "1 srp- [39|MA2|Math 2|6] :CALC:MATH2:DATA?;:MATH2" + RtbHead,
               "8 srp- :REFC1:DATA:POIN?", "1 srp- [43|RE1|Reference 1|6] :REFC1:DATA?;:REFC1" + RtbHead, "3 ----"},
              "", "16"},
        uCase{"RtbSecondPodAloneSetsUpLog1",
              ModelRohdeSchwarzRTB2000Ch2,
              DataSourceEntireMemory,
              {WaveformLogicPod2},
              {"7 s-p- :STOP", "9 srp- :ACQ:TYPE?",
               "7 s-p- :CHAN1:DATA:POIN MAX;:FORM:DATA UINT,%BIT%;:FORM:BORD LSBF",
               "7 s-pl :LOG1:DATA:POIN MAX;:FORM:DATA UINT,8;:FORM:BORD LSBF", "8 srp- :LOG2:DATA:POIN?",
               "1 srpl [12||Logic pod 2|3] :LOG2:DATA?;:LOG2:DATA:HEAD?;YRES?;YOR?;YINC?;XOR?;XINC?", "3 ----"},
              "", "8"}),
    [](const ::testing::TestParamInfo<uCase>& info) { return std::string(info.param.sName); });

TEST(WaveformRequests, SiglentLogicWithoutShownLinesSendsTheSetUpOnly) {
    Rig rig(ModelSiglentSDS5000XCh2);
    rig.pump.LogicLines = {Line(0, false)};
    WaveformRequests::CreateSendRequestList(rig.pump, {}, DataSourceMemory, {WaveformLogic});
    EXPECT_EQ(Dump(rig.pump), (std::vector<std::string>{"7 s-p- :TRIG:STOP", "7 s-p- :WAV:WIDT BYTE",
                                                         "8 srp- :ACQ:POIN?", "10 srp- :WAV:MAXP?", "7 s-p- :WAV:WIDT BYTE",
                                                         "8 srpl :DIG:POIN?", "10 srpl :WAV:MAXP?", "3 ----"}));
}

uWaveformOptionState AllChecked() {
    uWaveformOptionState o;
    o.fBefore = o.fStop = o.fStopComplete = o.fSingle = o.fWaitShort = o.fWaitLong = o.fTrigger = 1;
    o.fAfter = o.fTriggerAuto = o.fTriggerNormal = o.fRun = o.fSingleAfter = o.fLocal = 1;
    o.sStop = "STOP";
    o.sStopComplete = "STOPC";
    o.sSingle = o.sSingleAfter = "SING";
    o.iWaitShort = 100;
    o.iWaitLong = 500;
    o.sTriggerStatus = "TRIG?";
    o.sTriggerStatusStop = "STOP";
    o.sTriggerAuto = "AUTO";
    o.sTriggerNormal = "NORM";
    o.sRun = "RUN";
    o.sLocal = "LOC";
    return o;
}

TEST(WaveformRequests, OptionRowsGoBeforeAndBehindTheEndRequest) {
    Rig rig(ModelHamegHM2008);
    WaveformRequests::CreateSendRequestList(rig.pump, AllChecked(), DataSourceScreen, {});
    EXPECT_EQ(Dump(rig.pump),
              (std::vector<std::string>{"2006 s-p- STOPC", "2001 s-p- STOP", "2002 s-p- SING", "4 --p- wait 100",
                                        "4 --p- wait 500", "2005 srp- TRIG? > STOP",
                                        "7 s-p- :TRAC:POIN DEF;:TRAC:FORM BYTE;:TRAC:BORD LSBF", "3 ----",
                                        "2021 s-p- AUTO", "2022 s-p- NORM", "2023 s-p- RUN", "2024 s-p- SING",
                                        "2025 s-p- LOC"}));
}

TEST(WaveformRequests, RowsWithoutTheirHeaderRowHaveNoEffect) {
    Rig rig(ModelHamegHM2008);
    uWaveformOptionState o = AllChecked();
    o.fBefore = o.fAfter = 0;
    EXPECT_EQ(WaveformRequests::CreateSendRequestList(rig.pump, o, DataSourceScreen, {}), 2u);
}

TEST(WaveformRequests, AModelInNoFamilyLogsAndKeepsTheOptionRows) {
    Rig rig(ModelRigolDG4000);
    uWaveformOptionState o;
    o.fAfter = o.fRun = 1;
    o.sRun = ":RUN";
    rig.pump.iPartBytes = 5;
    EXPECT_EQ(WaveformRequests::CreateSendRequestList(rig.pump, o, DataSourceScreen, {WaveformChannel1}), 1u);
    EXPECT_EQ(rig.window.mLog, std::vector<std::string>{
                                   "Error: WindowWaveform::CreateSendRequestList: Es werden keine Kanäle eingelesen."});
    EXPECT_EQ(rig.pump.iPartBytes, 5);
    Rig bare(ModelRigolDG4000);
    EXPECT_EQ(WaveformRequests::CreateSendRequestList(bare.pump, {}, DataSourceScreen, {WaveformChannel1}), 0u);
}

TEST(WaveformRequests, VisibleChannelQueryPerModel) {
    const std::string sRtb = ";:CALC:MATH1:STAT?;:CALC:MATH2:STAT?;:CALC:MATH3:STAT?;:CALC:MATH4:STAT?;:CALC:MATH5:"
                             "STAT?;:REFC1:STAT?;:REFC2:STAT?;:REFC3:STAT?;:REFC4:STAT?;:LOG1:PROB:ENAB?;:LOG2:PROB:"
                             "ENAB?;:ACQ:TYPE?";
    const std::vector<std::pair<std::int64_t, std::string>> cases = {
        {ModelHamegHM1508, ":TRAC:SOUR:CAT?"},
        {ModelRigolDS1000Z, ":CHAN1:DISP?;:CHAN2:DISP?;:CHAN3:DISP?;:CHAN4:DISP?;:MATH:DISP?"},
        {ModelRigolDS2000, ":CHAN1:DISP?;:CHAN2:DISP?;:CALC:MODE?"},
        {ModelRigolDS1000ZPlus, ":CHAN1:DISP?;:CHAN2:DISP?;:CHAN3:DISP?;:CHAN4:DISP?;:MATH:DISP?;:LA:STAT?"},
        {ModelRigolMSO2000, ":CHAN1:DISP?;:CHAN2:DISP?;:CALC:MODE?;:LA:STAT?"},
        {ModelSiglentSDS5000XCh2, ":CHAN1:VIS?;:CHAN2:VIS?;:FUNC1?;:FUNC2?;:DIG?"},
        {ModelSiglentSDS2000XPlusCh4, ":CHAN1:VIS?;:CHAN2:VIS?;:CHAN3:VIS?;:CHAN4:VIS?;:FUNC1?;:FUNC2?;:DIG?"},
        {ModelRohdeSchwarzRTB2000Ch2, ":CHAN1:STAT?;:CHAN2:STAT?" + sRtb},
        {ModelRohdeSchwarzRTB2000Ch4, ":CHAN1:STAT?;:CHAN2:STAT?;:CHAN3:STAT?;:CHAN4:STAT?" + sRtb}};
    for (const auto& [eModel, sCommand] : cases) {
        Rig rig(eModel);
        rig.pump.mRequestList.push_back({});
        ASSERT_EQ(WaveformRequests::CreateRequestGetVisibleChannels(rig.pump), 1) << eModel;
        EXPECT_EQ(Dump(rig.pump), std::vector<std::string>{"5 srp- " + sCommand}) << eModel;
    }
    Rig none(ModelGeneric);
    none.pump.mRequestList.push_back({});
    EXPECT_EQ(WaveformRequests::CreateRequestGetVisibleChannels(none.pump), 0);
    EXPECT_TRUE(none.pump.mRequestList.empty());
}

TEST(WaveformRequests, RefreshWithoutAQueryReportsAndLeavesThePumpAlone) {
    Rig rig(ModelRigolDP800);
    rig.pump.instrument.sManufacturer = "RIGOL TECHNOLOGIES";
    WaveformRequests::RefreshChannels(rig.pump);
    EXPECT_EQ(rig.window.mStatus.back(), "The data could not be sent.");
    EXPECT_EQ(rig.window.mLog, std::vector<std::string>{"Error: RIGOL TECHNOLOGIES - The data could not be sent."});
    EXPECT_FALSE(rig.timers.Armed(WaveformPump::TimerPump));
    EXPECT_TRUE(rig.window.mGadgets.empty());
    Rig ok(ModelRigolDS1000Z);
    WaveformRequests::RefreshChannels(ok.pump);
    EXPECT_EQ(ok.timers.Period(WaveformPump::TimerPump), 60);
    EXPECT_EQ(ok.window.mGadgets, std::vector<bool>{true});
}

TEST(WaveformRequests, LogicQueryLandsDirectlyBehindTheCurrentRequest) {
    Rig rig(ModelSiglentSDS2000XPlusCh2);
    rig.pump.mRequestList = {PumpTest::Request(RequestVisibleChannels, "V", true),
                             PumpTest::Request(RequestSetup, "A"), PumpTest::End()};
    ASSERT_EQ(WaveformRequests::CreateRequestGetLogicDisplay(rig.pump), 1);
    ASSERT_EQ(rig.pump.mRequestList.size(), 4u);
    const uWaveformRequest& logic = *std::next(rig.pump.mRequestList.begin());
    EXPECT_EQ(logic.eKind, RequestLogicDisplay);
    EXPECT_EQ(logic.sCommand.substr(0, 24), ":DIG:D0?;:DIG:D1?;:DIG:D");
    EXPECT_TRUE(logic.sCommand.ends_with(";:DIG:LAB14?;:DIG:LAB15?"));
    EXPECT_EQ(rig.pump.mRequestList.front().sCommand, "V");
    Rig none(ModelRigolDS1000Z);
    EXPECT_EQ(WaveformRequests::CreateRequestGetLogicDisplay(none.pump), 0);
}

TEST(WaveformRequests, LogicQueryPiecesPerMaker) {
    const std::string sRigol = WaveformRequests::LogicDisplayCommand(ModelRigolMSO2000);
    EXPECT_EQ(sRigol.find(":LA:DIG0:DISP?;:LA:DIG1:DISP?;"), 0u);
    EXPECT_NE(sRigol.find(":LA:DIG15:DISP?;:LA:DIG0:LAB?;"), std::string::npos);
    EXPECT_TRUE(sRigol.ends_with(":LA:DIG14:LAB?;:LA:DIG15:LAB?"));
    const std::string sRtb = WaveformRequests::LogicDisplayCommand(ModelRohdeSchwarzRTB2000Ch2);
    EXPECT_NE(sRtb.find(":DIG15:DISP?;:DIG0:LAB?;"), std::string::npos);
    EXPECT_NE(sRtb.find(":DIG15:LAB?;:DIG0:LAB:STAT?;"), std::string::npos);
    EXPECT_TRUE(sRtb.ends_with(":DIG14:LAB:STAT?;:DIG15:LAB:STAT?"));
    EXPECT_EQ(WaveformRequests::LogicDisplayCommand(ModelHamegHM2008), "");
}

// --- option rows ---

std::vector<std::string> Rows(const std::vector<uWaveformOptionRow>& rows) {
    std::vector<std::string> out;
    for (const uWaveformOptionRow& r : rows)
        out.push_back(std::to_string(r.iId) + (r.fChecked ? "x " : "  ") + r.sLabel +
                      (r.sCommand.empty() ? "" : " | " + r.sCommand));
    return out;
}

uModelControl FullGroup() {
    uModelControl g;
    g.sStop = ":STOP";
    g.sStopComplete = ":STOP;*OPC?";
    g.sSingle = ":SING";
    g.sRun = ":RUN";
    g.iWaitShort = 100;
    g.iWaitLong = 500;
    g.sTriggerStatus = ":TRIG:STAT?";
    g.sTriggerStatusStop = "STOP";
    g.sTriggerAuto = ":TRIG:SWE AUTO";
    g.sTriggerNormal = ":TRIG:SWE NORM";
    g.sLocal = ":SYST:LOC";
    return g;
}

TEST(WaveformOptions, RowsLabelsAndSavedChecks) {
    uWaveformOptionState state;
    const auto rows = WaveformOptions::FillOptionRows(ModelRohdeSchwarzRTB2000Ch4, FullGroup(), "2000,2006,2003,2024,",
                                                      state);
    EXPECT_EQ(Rows(rows), (std::vector<std::string>{
                              "2000x Before Instrument control", "2006x Stop (Complete) | :STOP;*OPC?",
                              "2001  Stop | :STOP", "2002  Single | :SING", "2003x Wait 100 ms",
                              "2004  Wait 500 ms", "2005  Wait for Trigger Status Stop | :TRIG:STAT? > STOP",
                              "2020  After Instrument control", "2021  Trigger Mode Auto | :TRIG:SWE AUTO",
                              "2022  Trigger Mode Normal | :TRIG:SWE NORM", "2023  Run | :RUN",
                              "2024x Single | :SING", "2025  Enable local operation | :SYST:LOC"}));
    EXPECT_EQ(state.fBefore, 1);
    EXPECT_EQ(state.fStopComplete, 1);
    EXPECT_EQ(state.fWaitShort, 1);
    EXPECT_EQ(state.fSingleAfter, 1);
    EXPECT_EQ(state.fAfter, 0);
    EXPECT_EQ(state.iWaitLong, 500);
    EXPECT_EQ(WaveformOptions::TabTitle(state), "Options *");
}

TEST(WaveformOptions, StopCompleteOnlyForTheRtbAndHiddenRows) {
    uModelControl g = FullGroup();
    g.iWaitShort = 0;
    g.sTriggerStatusStop.clear();
    uWaveformOptionState state;
    const auto rows = WaveformOptions::FillOptionRows(ModelRigolDS1000Z, g, "", state);
    EXPECT_EQ(Rows(rows)[1], "2001  Stop | :STOP");
    for (const auto& r : rows) {
        EXPECT_NE(r.iId, 2006);
        EXPECT_NE(r.iId, 2003);
        EXPECT_NE(r.iId, 2005);
    }
    EXPECT_EQ(WaveformOptions::TabTitle(state), "Options");
}

TEST(WaveformOptions, AGroupWithoutRowsHasNoHeader) {
    uModelControl g;
    g.iWaitShort = g.iWaitLong = 0;
    g.sLocal = ":SYST:LOC";
    uWaveformOptionState state;
    const auto rows = WaveformOptions::FillOptionRows(ModelHamegHM2008, g, "2000,2020,", state);
    EXPECT_EQ(Rows(rows), (std::vector<std::string>{"2020x After Instrument control",
                                                     "2025  Enable local operation | :SYST:LOC"}));
    EXPECT_EQ(state.fBefore, 0);
    EXPECT_EQ(state.fAfter, 1);
}

TEST(WaveformOptions, ChecksBecomeTheKeptTextAndReportChanges) {
    uWaveformOptionState state;
    std::string sText;
    EXPECT_TRUE(WaveformOptions::ApplyChecks({{2000, true}, {2001, true}, {2002, false}, {2003, true}}, state, sText));
    EXPECT_EQ(sText, "2000,2001,2003,");
    EXPECT_EQ(state.fStop, 1);
    EXPECT_FALSE(WaveformOptions::ApplyChecks({{2000, true}, {2001, true}, {2003, true}}, state, sText));
    EXPECT_TRUE(WaveformOptions::ApplyChecks({{2000, false}, {2001, false}}, state, sText));
    EXPECT_EQ(sText, ""); // the key goes
    EXPECT_EQ(WaveformOptions::OptionsKey("RTB2004"), "Options_RTB2004");
    state.sRun = "x";
    EXPECT_EQ(WaveformOptions::ResetOptionState(&state), 0);
    EXPECT_EQ(state.sRun, "");
    EXPECT_EQ(WaveformOptions::ResetOptionState(nullptr), 0);
}

} // namespace
