#include "instrument/ModelCommands.h"

#include "instrument/ModelTable.h"
#include "instrument/ScreencopyAnswer.h"

#include <algorithm>
#include <cctype>
#include <iterator>
#include <vector>

namespace Instrument {
namespace {

// Stop, single, run, trigger-status poll and trigger modes of a control group.
void SetControl(uModelControl& control, const char* sStop, const char* sSingle, const char* sRun,
                const char* sTriggerStatus, const char* sTriggerStatusStop, const char* sTriggerAuto,
                const char* sTriggerNormal) {
    control.sStop = sStop;
    control.sSingle = sSingle;
    control.sRun = sRun;
    control.sTriggerStatus = sTriggerStatus;
    control.sTriggerStatusStop = sTriggerStatusStop;
    control.sTriggerAuto = sTriggerAuto;
    control.sTriggerNormal = sTriggerNormal;
}

void SetImageOptions(uModelCommands& c, const char* sScreenCopy) {
    c.sScreenCopy = sScreenCopy;
    c.fInvert = 1;
    c.fBlackWhite = 1;
    c.fGrayscale = 1;
}

// The Rigol DS1000Z, DS1000Z Plus, DS2000 and MSO2000 oscilloscopes.
void SetRigolScope(uModelCommands& c, const char* sScreenCopy) {
    SetImageOptions(c, sScreenCopy);
    SetControl(c.screenshot, ":STOP", ":SING", ":RUN", ":TRIG:STAT?", "STOP", ":TRIG:SWE AUTO", ":TRIG:SWE NORM");
    c.fSourceScreen = 1;
    c.fSourceMemory = 1;
    c.waveform = c.screenshot;
}

} // namespace

bool GetModelCapabilities(std::int64_t iModel, uModelCapabilities& capabilities) {
    capabilities = uModelCapabilities{1, 0, 0};
    switch (iModel) {
    case ModelRohdeSchwarzRTB2000Ch2:
    case ModelRohdeSchwarzRTB2000Ch4:
    case ModelRigolDS1000Z:
    case ModelRigolDS1000ZPlus:
    case ModelRigolDS2000:
    case ModelRigolMSO2000:
    case ModelHamegHM2008:
    case ModelHamegHM1508:
    case ModelHamegHM1008:
    case ModelSiglentSDS2000XPlusCh2:
    case ModelSiglentSDS2000XPlusCh4:
    case ModelSiglentSDS5000XCh2:
    case ModelSiglentSDS5000XCh4: capabilities = {1, 1, 1}; return true;
    case ModelRigolDSA:
    case ModelRigolMSO5000Ch2:
    case ModelRigolMSO5000Ch4:
    case ModelRigolDG4000:
    case ModelRigolDP800:
    case ModelRigolDM3068:
    case ModelSiglentSVA1000X: capabilities = {1, 1, 0}; return true;
    case ModelPicotestM3500A:
    case ModelTonghuiTH1951:
    case ModelOwnDevicePIC18F: return true;
    default: return false;
    }
}

bool GetModelCommands(std::int64_t iModel, uModelCommands& c) {
    c = uModelCommands{};
    switch (iModel) {
    case ModelRohdeSchwarzRTB2000Ch2:
    case ModelRohdeSchwarzRTB2000Ch4:
        SetImageOptions(c, ":HCOP:COL:SCH COL;:HCOP:FORM PNG;:HCOP:DATA?");
        c.sMargins = "0,24,0,0";
        SetControl(c.screenshot, ":STOP", ":SING", ":RUN", ":ACQ:STAT?", "COMP", ":TRIG:A:MODE AUTO",
                   ":TRIG:A:MODE NORM");
        c.screenshot.sStopComplete = ":ACQ:STAT STOP";
        c.fSourceScreen = c.fSourceMemory = c.fSourceEntireMemory = 1;
        c.fSourceScreen10Bit = c.fSourceMemory10Bit = c.fSourceEntireMemory10Bit = 1;
        c.waveform = c.screenshot;
        return true;
    case ModelRigolDSA:
        SetImageOptions(c, ":PRIV:SNAP? BMP");
        c.screenshot.sLocal = ":KEYB:KEYV ESC";
        return true;
    case ModelRigolDS1000Z:
    case ModelRigolDS1000ZPlus: SetRigolScope(c, ":DISP:DATA? ON,OFF,BMP24"); return true;
    case ModelRigolDS2000:
    case ModelRigolMSO2000: SetRigolScope(c, ":DISP:DATA?"); return true;
    case ModelRigolMSO5000Ch2:
    case ModelRigolMSO5000Ch4:
        SetImageOptions(c, ":DISP:DATA?");
        SetControl(c.screenshot, ":STOP", ":SING", ":RUN", ":TRIG:STAT?", "STOP", ":TRIG:SWE AUTO", ":TRIG:SWE NORM");
        return true;
    case ModelRigolDG4000: SetImageOptions(c, ":HCOP:SDUM:DATA?"); return true;
    case ModelRigolDP800:
        SetImageOptions(c, ":SYST:PRINT? BMP");
        c.screenshot.sLocal = ":SYST:LOC";
        return true;
    case ModelRigolDM3068:
        c.sScreenCopy = ":DISP:DATA?";
        c.fInvert = 1;
        return true;
    case ModelPicotestM3500A:
    case ModelTonghuiTH1951:
    case ModelOwnDevicePIC18F: return true;
    case ModelHamegHM2008:
    case ModelHamegHM1508:
    case ModelHamegHM1008:
        SetImageOptions(c, ":HCOPy:DATA?");
        c.sDisplayDump = ":SERV:MODE WEN;:DISP:DUMP? ALL;:TRAC:SOUR:CAT?";
        c.fDumpBlackWhite = 1;
        c.sMargins = "0,48,0,0";
        SetControl(c.screenshot, ":ACQ:STAT STOP", ":TRIG:A:MODE SING", ":ACQ:STAT RUN", ":ACQ:STAT?", "COMP",
                   ":TRIG:A:MODE AUTO", ":TRIG:A:MODE NORM");
        c.sTraceSettings = ":TRAC?";
        c.fSourceScreen = c.fSourceMemory = c.fSourceEntireMemory = 1;
        c.waveform = c.screenshot;
        return true;
    case ModelSiglentSDS2000XPlusCh2:
    case ModelSiglentSDS2000XPlusCh4:
    case ModelSiglentSDS5000XCh2:
    case ModelSiglentSDS5000XCh4:
        // The query form: ":PRIN BMP" alone is a command the instrument never answers.
        SetImageOptions(c, ":PRINt? BMP");
        SetControl(c.screenshot, ":TRIG:STOP", ":TRIG:MODE SING", ":TRIG:RUN", ":TRIG:STAT?", "STOP",
                   ":TRIG:MODE AUTO", ":TRIG:MODE NORM");
        c.fSourceMemory = 1;
        c.waveform = c.screenshot;
        return true;
    case ModelSiglentSVA1000X: SetImageOptions(c, "SCDP"); return true;
    default: return false;
    }
}

std::string AnswerEndText(std::int64_t iModel) { return ScreencopyAnswer::IsDisplayDumpModel(iModel) ? "\n\r" : "\n"; }

namespace {

// The queries whose block a model ends with more than one line end, by their headers in capitals
// (long and short form, without the leading colon).
struct uBlockEndsRow {
    std::int64_t aModels[4];
    std::string_view aHeaders[2];
    std::size_t iEnds;
};

constexpr uBlockEndsRow BlockEndsRows[] = {
    {{ModelSiglentSDS2000XPlusCh2, ModelSiglentSDS2000XPlusCh4, ModelSiglentSDS5000XCh2, ModelSiglentSDS5000XCh4},
     {"WAVEFORM:DATA?", "WAV:DATA?"},
     2},
};

// A unit's header in capitals, without its leading colon.
std::string Header(std::string_view sUnit) {
    std::string_view sHeader = UnitHeader(sUnit);
    if (sHeader.starts_with(':')) sHeader.remove_prefix(1);
    std::string s(sHeader);
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

} // namespace

uBlockEnds BlockLineEnds(std::int64_t iModel, std::string_view sCommand) {
    std::vector<std::size_t> lEach;
    bool fTold = false;
    for (const std::string_view sUnit : ProgramUnits(sCommand)) {
        const std::string sHeader = Header(sUnit);
        if (!sHeader.ends_with('?')) continue;
        std::size_t iEnds = 1;
        for (const uBlockEndsRow& row : BlockEndsRows) {
            if (std::find(std::begin(row.aModels), std::end(row.aModels), iModel) != std::end(row.aModels) &&
                std::find(std::begin(row.aHeaders), std::end(row.aHeaders), sHeader) != std::end(row.aHeaders))
                iEnds = row.iEnds;
        }
        fTold = fTold || iEnds != 1;
        lEach.push_back(iEnds);
    }
    return fTold ? uBlockEnds(std::move(lEach)) : uBlockEnds();
}

} // namespace Instrument
