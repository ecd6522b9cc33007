#include "instrument/ModelCommands.h"
#include "instrument/ModelTable.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct uModelCase {
    std::string sMaker;
    std::string sModel;
    std::int64_t iExpected;
};

std::int64_t ModelOf(const std::string& sMaker, const std::string& sModel, std::int64_t iLimit = 0) {
    uIdn idn;
    idn.sManufacturer = sMaker;
    idn.sModel = sModel;
    return Instrument::GetModelFromIdn(uTaskPrepare{}, idn, iLimit);
}

TEST(ModelTable, FindsTheModelFromMakerAndModel) {
    const std::vector<uModelCase> cases = {
        {"RIGOL TECHNOLOGIES", "DS1104Z Plus", ModelRigolDS1000ZPlus},
        {"RIGOL TECHNOLOGIES", "DS1104Z", ModelRigolDS1000Z},
        {"RIGOL TECHNOLOGIES", "MSO1104Z", ModelRigolDS1000ZPlus},
        {"Rigol Technologies", "DS1054Z Plus", ModelRigolDS1000ZPlus},
        {"Rigol Technologies", "DS1054Z", ModelRigolDS1000Z},
        {"Rigol Technologies", "DS1202Z-E", ModelGeneric}, // the first maker decides alone
        {"Rigol", "dsa815", ModelRigolDSA},
        {"Rigol", "MSO2302A", ModelRigolMSO2000},
        {"Rigol", "DS2302A", ModelRigolDS2000},
        {"Rigol", "MSO5354", ModelRigolMSO5000Ch4},
        {"Rigol", "MSO5352", ModelRigolMSO5000Ch2},
        {"Rigol", "DG4162", ModelRigolDG4000},
        {"Rigol", "DP832A", ModelRigolDP800},
        {"Rigol", "DM3068", ModelRigolDM3068},
        {"Rohde&Schwarz", "RTB2004", ModelRohdeSchwarzRTB2000Ch4},
        {"R&S", "RTB2002", ModelRohdeSchwarzRTB2000Ch2},
        {"Rhode & Schwarz", "RTB2000", ModelRohdeSchwarzRTB2000Ch2},
        {"HAMEG", "HMO1024", ModelGeneric},
        {"HAMEG", "HM1508-2", ModelHamegHM1508},
        {"hameg", "HM1008", ModelHamegHM1008},
        {"HAMEG", "HM2008", ModelHamegHM2008},
        {"Siglent Technologies", "SDS2104X Plus", ModelSiglentSDS2000XPlusCh4},
        {"Siglent Technologies", "SDS2104X", ModelGeneric},
        {"Siglent Technologies", "SDS2352X Plus", ModelSiglentSDS2000XPlusCh2},
        {"Siglent", "SDS5054X", ModelSiglentSDS5000XCh4},
        {"Siglent", "SDS5102X", ModelSiglentSDS5000XCh2},
        {"Siglent", "SVA1032X", ModelSiglentSVA1000X},
        {"Picotest", "M3500A", ModelPicotestM3500A},
        {"Tonghui", "TH1951", ModelTonghuiTH1951},
        {"Halvorsk Elektronik", "PIC18F4550", ModelOwnDevicePIC18F},
        {"", "DS1104Z", ModelGeneric},
        {"Keysight", "DS1104Z", ModelGeneric},
        {"Rigol", "", ModelGeneric},
    };
    for (const auto& c : cases) EXPECT_EQ(ModelOf(c.sMaker, c.sModel), c.iExpected) << c.sMaker << " / " << c.sModel;

    // A non-zero third argument turns results of 20 and more into the generic model.
    EXPECT_EQ(ModelOf("Siglent", "SDS5034X", 1), ModelGeneric);
    EXPECT_EQ(ModelOf("Rigol", "DS2072", 1), ModelRigolDS2000);
    EXPECT_EQ(ModelOf("Siglent", "SDS5034X", 0), ModelSiglentSDS5000XCh4);
}

TEST(ModelTable, TakesTheUsersTextsFirst) {
    uTaskPrepare connection;
    uIdn idn;
    idn.sManufacturer = "Rigol Technologies";
    idn.sModel = "SDS2104X Plus";
    connection.fUserModel = 1;
    connection.sUserManufacturer = "Siglent";
    EXPECT_EQ(Instrument::GetModelFromIdn(connection, idn, 0), ModelSiglentSDS2000XPlusCh4);
    connection.sUserModel = "SDS5004X";
    EXPECT_EQ(Instrument::GetModelFromIdn(connection, idn, 0), ModelSiglentSDS5000XCh4);
    connection.fUserModel = 0;
    EXPECT_EQ(Instrument::GetModelFromIdn(connection, idn, 0), ModelGeneric);
    EXPECT_EQ(Instrument::GetModelFromIdn(uTaskPrepare{}, uIdn{}, 0), ModelGeneric);
}

TEST(ModelTable, NormalisesIrregularIdentifications) {
    struct uFixCase {
        std::string sAnswer;
        std::string sFixed;
    };
    const std::vector<uFixCase> cases = {
        {"TH1951 Digital Multimeter,V1.0.3", "Tonghui,TH1951,-,V1.0.3"},
        {"th1951 digital multimeter,V2,extra", "Tonghui,TH1951,-,V2"},
        {" TH1951 Digital Multimeter,V2", " TH1951 Digital Multimeter,V2"},
        {"HAMEG,HM2008,012345678,01.234,05.678", "HAMEG,HM2008,012345678,01.234 05.678"},
        {"HAMEG,HM2008,012345678,01.234", "HAMEG,HM2008,012345678,01.234"},
        {"hameg,HM1008,1,2,3,4", "hameg,HM1008,1,2 3"},
        {"HAMEG", "HAMEG,,,"},
        {"RIGOL TECHNOLOGIES,DS1104Z,DS1ZA1,00.04", "RIGOL TECHNOLOGIES,DS1104Z,DS1ZA1,00.04"},
        {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(Instrument::FixIdnAnswer(c.sAnswer), c.sFixed) << c.sAnswer;
}

TEST(ModelTable, FillsTheIdentificationRecord) {
    uIdn idn = Instrument::ParseIdn("TH1951 Digital Multimeter,V1.0.3\r\n");
    EXPECT_EQ(idn.sIdn, "TH1951 Digital Multimeter,V1.0.3");
    EXPECT_EQ(idn.sManufacturer, "Tonghui");
    EXPECT_EQ(idn.sModel, "TH1951");
    EXPECT_EQ(idn.sSerialNumber, "-");
    EXPECT_EQ(idn.sFirmware, "V1.0.3");
    EXPECT_EQ(Instrument::GetModelFromIdn(uTaskPrepare{}, idn, 0), ModelTonghuiTH1951);

    idn = Instrument::ParseIdn("HAMEG,HM2008,012345678,01.234,05.678\n");
    EXPECT_EQ(idn.sSerialNumber, "012345678");
    EXPECT_EQ(idn.sFirmware, "01.234 05.678");
    EXPECT_EQ(Instrument::GetModelFromIdn(uTaskPrepare{}, idn, 0), ModelHamegHM2008);

    idn = Instrument::ParseIdn("hameg,HM1008,1,2");
    EXPECT_EQ(idn.sManufacturer, "hameg");
    EXPECT_EQ(Instrument::GetModelFromIdn(uTaskPrepare{}, idn, 0), ModelHamegHM1008);

    // Fields are not trimmed; a fifth field of an ordinary answer is dropped.
    idn = Instrument::ParseIdn("Siglent Technologies, SDS2104X Plus,SDS2X,1.2,extra \t");
    EXPECT_EQ(idn.sIdn, "Siglent Technologies, SDS2104X Plus,SDS2X,1.2,extra");
    EXPECT_EQ(idn.sModel, " SDS2104X Plus");
    EXPECT_EQ(idn.sFirmware, "1.2");

    idn = Instrument::ParseIdn(" \r\n\t ");
    EXPECT_EQ(idn.sIdn, "");
    EXPECT_EQ(idn.sManufacturer, "");
    EXPECT_EQ(idn.sFirmware, "");

    idn = Instrument::ParseIdn(std::string_view("Maker\xB5,M", 8));
    EXPECT_EQ(idn.sManufacturer, "Maker\xC2\xB5");
    idn = Instrument::ParseIdn("ACME,X1\x8E,SN1,1.0\n"); // Windows-1252's "Ž"
    EXPECT_EQ(idn.sModel, "X1\xC5\xBD");

    // NULs before a CR LF end pad it.
    idn = Instrument::ParseIdn(std::string_view("ACME,X1,SN1,1.0\0\0\r\n", 19));
    EXPECT_EQ(idn.sModel, "X1");
    EXPECT_EQ(idn.sFirmware, "1.0");
    // Noise: UTF-8 that is mostly not ASCII, a byte that Windows-1252 leaves undefined.
    EXPECT_EQ(Instrument::AnswerText("\xC3\xA9\xC3\xA8x\n"), std::nullopt);
    EXPECT_EQ(Instrument::AnswerText("X1\x81\n"), std::nullopt);
}

void ExpectDefaultControl(const uModelControl& c) {
    EXPECT_EQ(c.sStop, "");
    EXPECT_EQ(c.sSingle, "");
    EXPECT_EQ(c.sTriggerStatus, "");
    EXPECT_EQ(c.sLocal, "");
    EXPECT_EQ(c.iWaitShort, 100);
    EXPECT_EQ(c.iWaitLong, 500);
}

TEST(ModelCommands, GenericAndUnknownModelsHoldTheDefaults) {
    for (std::int64_t iModel : {0, 1, 2, 20, 27, -1}) {
        uModelCapabilities caps{0, 1, 1};
        uModelCommands c;
        c.sScreenCopy = "left over";
        EXPECT_FALSE(Instrument::GetModelCapabilities(iModel, caps));
        EXPECT_EQ(caps.bScpiCommand, 1);
        EXPECT_EQ(caps.bScreenshot, 0);
        EXPECT_EQ(caps.bWaveform, 0);
        EXPECT_FALSE(Instrument::GetModelCommands(iModel, c));
        EXPECT_EQ(c.sIdnQuery, "*IDN?");
        EXPECT_EQ(c.sScreenCopy, "");
        ExpectDefaultControl(c.screenshot);
        ExpectDefaultControl(c.waveform);
    }
    uModelCapabilities caps;
    uModelCommands c;
    EXPECT_TRUE(Instrument::GetModelCapabilities(ModelPicotestM3500A, caps));
    EXPECT_EQ(caps.bScreenshot, 0);
    EXPECT_TRUE(Instrument::GetModelCommands(ModelPicotestM3500A, c));
    EXPECT_EQ(c.sScreenCopy, "");
}

TEST(ModelCommands, SpotChecksOfTheCommandSets) {
    uModelCapabilities caps;
    uModelCommands c;
    ASSERT_TRUE(Instrument::GetModelCommands(ModelRohdeSchwarzRTB2000Ch4, c));
    EXPECT_EQ(c.sScreenCopy, ":HCOP:COL:SCH COL;:HCOP:FORM PNG;:HCOP:DATA?");
    EXPECT_EQ(c.sMargins, "0,24,0,0");
    EXPECT_EQ(c.waveform.sStopComplete, ":ACQ:STAT STOP");
    EXPECT_EQ(c.waveform.sTriggerNormal, ":TRIG:A:MODE NORM");
    EXPECT_EQ(c.fSourceEntireMemory10Bit, 1);

    // A model without waveform reading: no waveform commands, no data source.
    ASSERT_TRUE(Instrument::GetModelCapabilities(ModelRigolMSO5000Ch2, caps));
    EXPECT_EQ(caps.bScreenshot, 1);
    EXPECT_EQ(caps.bWaveform, 0);
    ASSERT_TRUE(Instrument::GetModelCommands(ModelRigolMSO5000Ch2, c));
    EXPECT_EQ(c.screenshot.sTriggerAuto, ":TRIG:SWE AUTO");
    ExpectDefaultControl(c.waveform);
    EXPECT_EQ(c.fSourceScreen + c.fSourceMemory + c.fSourceEntireMemory, 0);
    EXPECT_EQ(c.sIdnQuery, "*IDN?"); // the reset left the identification query

    // Only the inverted-colours option, no control command.
    ASSERT_TRUE(Instrument::GetModelCommands(ModelRigolDM3068, c));
    EXPECT_EQ(c.fInvert, 1);
    EXPECT_EQ(c.fBlackWhite, 0);
    EXPECT_EQ(c.fGrayscale, 0);
    ExpectDefaultControl(c.screenshot);

    // The local command stands only in the screenshot group.
    ASSERT_TRUE(Instrument::GetModelCommands(ModelRigolDP800, c));
    EXPECT_EQ(c.screenshot.sLocal, ":SYST:LOC");
    EXPECT_EQ(c.waveform.sLocal, "");

    ASSERT_TRUE(Instrument::GetModelCommands(ModelHamegHM1508, c));
    EXPECT_EQ(c.sDisplayDump, ":SERV:MODE WEN;:DISP:DUMP? ALL;:TRAC:SOUR:CAT?");
    EXPECT_EQ(c.sTraceSettings, ":TRAC?");
    EXPECT_EQ(c.waveform.sSingle, ":TRIG:A:MODE SING");
    EXPECT_EQ(c.waveform.sStopComplete, "");

    ASSERT_TRUE(Instrument::GetModelCommands(ModelSiglentSDS5000XCh2, c));
    EXPECT_EQ(c.fSourceScreen, 0);
    EXPECT_EQ(c.fSourceMemory, 1);
    EXPECT_EQ(c.waveform.sRun, ":TRIG:RUN");

    // A record that held another model's values is reset first.
    ASSERT_TRUE(Instrument::GetModelCommands(ModelSiglentSVA1000X, c));
    EXPECT_EQ(c.sScreenCopy, "SCDP");
    EXPECT_EQ(c.sDisplayDump, "");
    EXPECT_EQ(c.sTraceSettings, "");
    EXPECT_EQ(c.fSourceMemory, 0);
    ExpectDefaultControl(c.screenshot);
    ExpectDefaultControl(c.waveform);
}

TEST(ModelCommands, TheSiglentOscilloscopesAskForTheirScreenWithTheQueryForm) {
    // ":PRIN BMP" is a command that the instrument never answers; the query is ":PRINt? BMP".
    for (const std::int64_t iModel : {ModelSiglentSDS2000XPlusCh2, ModelSiglentSDS2000XPlusCh4, ModelSiglentSDS5000XCh2,
                                      ModelSiglentSDS5000XCh4}) {
        uModelCommands c;
        ASSERT_TRUE(Instrument::GetModelCommands(iModel, c));
        EXPECT_EQ(c.sScreenCopy, ":PRINt? BMP") << iModel;
        EXPECT_EQ(c.sDisplayDump, "") << iModel;
    }
}

TEST(ModelCommands, CapabilitiesFollowTheModelFamilies) {
    const std::vector<std::pair<std::int64_t, uModelCapabilities>> cases = {
        {ModelRohdeSchwarzRTB2000Ch2, {1, 1, 1}}, {ModelRigolDS1000ZPlus, {1, 1, 1}},
        {ModelHamegHM2008, {1, 1, 1}},           {ModelSiglentSDS5000XCh4, {1, 1, 1}},
        {ModelRigolDSA, {1, 1, 0}},              {ModelRigolDG4000, {1, 1, 0}},
        {ModelSiglentSVA1000X, {1, 1, 0}},       {ModelTonghuiTH1951, {1, 0, 0}},
        {ModelOwnDevicePIC18F, {1, 0, 0}},
    };
    for (const auto& [iModel, expected] : cases) {
        uModelCapabilities caps{0, 0, 0};
        EXPECT_TRUE(Instrument::GetModelCapabilities(iModel, caps)) << iModel;
        EXPECT_EQ(caps.bScreenshot, expected.bScreenshot) << iModel;
        EXPECT_EQ(caps.bWaveform, expected.bWaveform) << iModel;
        EXPECT_EQ(caps.bScpiCommand, 1);
    }
}

} // namespace
