#include "windows/capture/WaveformChannels.h"

#include "instrument/ModelTable.h"

#include <array>
#include <utility>

namespace WaveformChannels {

namespace {

// One row per channel: display text and mnemonics (Siglent and R&S short and long).
struct uRow {
    const char* sDisplay;
    const char* sHameg;
    const char* sRigol;
    const char* sSiglentShort;
    const char* sSiglentLong;
    const char* sRohdeShort;
    const char* sRohdeLong;
};

constexpr uRow Empty{"", "", "", "", "", "", ""};

constexpr std::array<uRow, WaveformCount> mRows = [] {
    std::array<uRow, WaveformCount> rows{};
    for (auto& row : rows) row = Empty;
    rows[WaveformAllVisible] = {"All visible", "", "", "", "", "", ""};
    rows[WaveformLogic] = {"Logic channels", "", "LA", "", "", "", ""};
    rows[WaveformChannel1] = {"Channel 1", "CH1", "CHAN1", "C1", "CHAN1", "CH1", "CHAN1"};
    rows[WaveformChannel2] = {"Channel 2", "CH2", "CHAN2", "C2", "CHAN2", "CH2", "CHAN2"};
    rows[WaveformChannel3] = {"Channel 3", "", "CHAN3", "C3", "CHAN3", "CH3", "CHAN3"};
    rows[WaveformChannel4] = {"Channel 4", "", "CHAN4", "C4", "CHAN4", "CH4", "CHAN4"};
    rows[WaveformAdd1] = {"Add 1", "ADD1", "", "", "", "", ""};
    rows[WaveformLogicBus1] = {"Logic bus 1", "", "", "", "", "", ""};
    rows[WaveformLogicBus2] = {"Logic bus 2", "", "", "", "", "", ""};
    rows[WaveformLogicPod1] = {"Logic pod 1", "POD1", "D0", "", "", "", "LOG1"};
    rows[WaveformLogicPod2] = {"Logic pod 2", "", "D8", "", "", "", "LOG2"};
    constexpr const char* sDigital[16][3] = {
        {"Digital 0", "D0", "DIG0"},   {"Digital 1", "D1", "DIG1"},   {"Digital 2", "D2", "DIG2"},
        {"Digital 3", "D3", "DIG3"},   {"Digital 4", "D4", "DIG4"},   {"Digital 5", "D5", "DIG5"},
        {"Digital 6", "D6", "DIG6"},   {"Digital 7", "D7", "DIG7"},   {"Digital 8", "D8", "DIG8"},
        {"Digital 9", "D9", "DIG9"},   {"Digital 10", "D10", "DIG10"}, {"Digital 11", "D11", "DIG11"},
        {"Digital 12", "D12", "DIG12"}, {"Digital 13", "D13", "DIG13"}, {"Digital 14", "D14", "DIG14"},
        {"Digital 15", "D15", "DIG15"}};
    for (int i = 0; i < 16; ++i)
        rows[WaveformDigital0 + i] = {sDigital[i][0], "", "", sDigital[i][1], sDigital[i][1], sDigital[i][1],
                                      sDigital[i][2]};
    rows[WaveformZoomChannel1] = {"Zoom-Channel 1", "ZCH1", "", "", "", "", ""};
    rows[WaveformZoomChannel2] = {"Zoom-Channel 2", "ZCH2", "", "", "", "", ""};
    rows[WaveformZoomAdd1] = {"Zoom-Add 1", "ZADD1", "", "", "", "", ""};
    rows[WaveformZoomLogicPod1] = {"Zoom-Logic pod 1", "ZPOD1", "", "", "", "", ""};
    rows[WaveformFft1] = {"FFT", "FFT1", "", "", "", "", ""};
    rows[WaveformFft2] = {"FFT", "FFT2", "", "", "", "", ""};
    rows[WaveformFunction1] = {"Function 1", "", "", "F1", "F1", "", ""};
    rows[WaveformFunction2] = {"Function 2", "", "", "F2", "F2", "", ""};
    rows[WaveformMath] = {"Math", "", "MATH", "", "", "", ""};
    rows[WaveformMath1] = {"Math 1", "MA1", "", "", "", "MA1", "MATH1"};
    rows[WaveformMath2] = {"Math 2", "MA2", "", "", "", "MA2", "MATH2"};
    rows[WaveformMath3] = {"Math 3", "MA3", "", "", "", "MA3", "MATH3"};
    rows[WaveformMath4] = {"Math 4", "MA4", "", "", "", "MA4", "MATH4"};
    rows[WaveformMath5] = {"Math 5", "MA5", "", "", "", "MA5", "MATH5"};
    rows[WaveformReference1] = {"Reference 1", "RE1", "", "", "", "RE1", "REFC1"};
    rows[WaveformReference2] = {"Reference 2", "RE2", "", "", "", "RE2", "REFC2"};
    rows[WaveformReference3] = {"Reference 3", "RE3", "", "", "", "RE3", "REFC3"};
    rows[WaveformReference4] = {"Reference 4", "RE4", "", "", "", "RE4", "REFC4"};
    rows[WaveformReference5] = {"Reference 5", "RE5", "", "", "", "", ""};
    return rows;
}();

const uRow& Row(std::int64_t eWaveform) {
    if (eWaveform < 0 || eWaveform >= WaveformCount) return Empty;
    return mRows[static_cast<std::size_t>(eWaveform)];
}

} // namespace

eFamily FamilyOf(std::int64_t eModel) {
    switch (eModel) {
    case ModelHamegHM2008:
    case ModelHamegHM1508:
    case ModelHamegHM1008: return FamilyHameg;
    case ModelRigolDS1000Z:
    case ModelRigolDS1000ZPlus:
    case ModelRigolDS2000:
    case ModelRigolMSO2000: return FamilyRigol;
    case ModelSiglentSDS2000XPlusCh2:
    case ModelSiglentSDS2000XPlusCh4:
    case ModelSiglentSDS5000XCh2:
    case ModelSiglentSDS5000XCh4: return FamilySiglent;
    case ModelRohdeSchwarzRTB2000Ch2:
    case ModelRohdeSchwarzRTB2000Ch4: return FamilyRohdeSchwarz;
    default: return FamilyNone;
    }
}

std::string GetChannelTypeName(std::int64_t eWaveform) { return Row(eWaveform).sDisplay; }

std::string GetChannelName(std::int64_t eWaveform, std::int64_t eModel, bool fLongForm) {
    const uRow& row = Row(eWaveform);
    switch (FamilyOf(eModel)) {
    case FamilyHameg: return row.sHameg;
    case FamilyRigol: return row.sRigol;
    case FamilySiglent: return fLongForm ? row.sSiglentLong : row.sSiglentShort;
    case FamilyRohdeSchwarz: return fLongForm ? row.sRohdeLong : row.sRohdeShort;
    case FamilyNone: break;
    }
    return {};
}

std::string DataSourceName(std::int64_t eDataSource) {
    switch (eDataSource) {
    case DataSourceScreen: return "Screen";
    case DataSourceMemory: return "Memory";
    case DataSourceEntireMemory: return "Entire memory";
    case DataSourceScreen10Bit: return "Screen 10 bit";
    case DataSourceMemory10Bit: return "Memory 10 bit";
    case DataSourceEntireMemory10Bit: return "Entire memory 10 bit";
    default: return {};
    }
}

uSourceList SourceList(const uModelCommands& commands) {
    uSourceList list;
    const std::pair<std::int64_t, std::int64_t> offered[] = {
        {commands.fSourceScreen, DataSourceScreen},
        {commands.fSourceMemory, DataSourceMemory},
        {commands.fSourceEntireMemory, DataSourceEntireMemory},
        {commands.fSourceScreen10Bit, DataSourceScreen10Bit},
        {commands.fSourceMemory10Bit, DataSourceMemory10Bit},
        {commands.fSourceEntireMemory10Bit, DataSourceEntireMemory10Bit}};
    for (const auto& [fOffered, eSource] : offered) {
        if (!fOffered) continue;
        list.mSources.push_back(eSource);
        if (eSource == DataSourceScreen10Bit) list.iSelected = list.mSources.size() - 1;
    }
    return list;
}

} // namespace WaveformChannels
