// Every cell of the channel table (display text, mnemonics per maker in short and long form)
// and the data sources each model offers, with the one chosen first.
#include "instrument/ModelCommands.h"
#include "instrument/ModelTable.h"
#include "windows/capture/WaveformChannels.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace {

// Display, HAMEG, Rigol, Siglent short, Siglent long, R&S short, R&S long.
struct uCells {
    std::string sDisplay, sHameg, sRigol, sSiglentShort, sSiglentLong, sRohdeShort, sRohdeLong;
};

std::map<std::int64_t, uCells> ExpectedTable() {
    std::map<std::int64_t, uCells> t;
    t[1] = {"All visible", "", "", "", "", "", ""};
    t[3] = {"Logic channels", "", "LA", "", "", "", ""};
    for (int i = 1; i <= 4; ++i) {
        const std::string n = std::to_string(i);
        t[3 + i] = {"Channel " + n, i <= 2 ? "CH" + n : "", "CHAN" + n, "C" + n, "CHAN" + n, "CH" + n, "CHAN" + n};
    }
    t[8] = {"Add 1", "ADD1", "", "", "", "", ""};
    t[9] = {"Logic bus 1", "", "", "", "", "", ""};
    t[10] = {"Logic bus 2", "", "", "", "", "", ""};
    t[11] = {"Logic pod 1", "POD1", "D0", "", "", "", "LOG1"};
    t[12] = {"Logic pod 2", "", "D8", "", "", "", "LOG2"};
    for (int i = 0; i <= 15; ++i) {
        const std::string n = std::to_string(i);
        t[13 + i] = {"Digital " + n, "", "", "D" + n, "D" + n, "D" + n, "DIG" + n};
    }
    t[29] = {"Zoom-Channel 1", "ZCH1", "", "", "", "", ""};
    t[30] = {"Zoom-Channel 2", "ZCH2", "", "", "", "", ""};
    t[31] = {"Zoom-Add 1", "ZADD1", "", "", "", "", ""};
    t[32] = {"Zoom-Logic pod 1", "ZPOD1", "", "", "", "", ""};
    t[33] = {"FFT", "FFT1", "", "", "", "", ""};
    t[34] = {"FFT", "FFT2", "", "", "", "", ""};
    t[35] = {"Function 1", "", "", "F1", "F1", "", ""};
    t[36] = {"Function 2", "", "", "F2", "F2", "", ""};
    t[37] = {"Math", "", "MATH", "", "", "", ""};
    for (int i = 1; i <= 5; ++i) {
        const std::string n = std::to_string(i);
        t[37 + i] = {"Math " + n, "MA" + n, "", "", "", "MA" + n, "MATH" + n};
        t[42 + i] = {"Reference " + n, "RE" + n, "", "", "", i <= 4 ? "RE" + n : "", i <= 4 ? "REFC" + n : ""};
    }
    return t;
}

const std::vector<std::int64_t> Hameg{ModelHamegHM2008, ModelHamegHM1508, ModelHamegHM1008};
const std::vector<std::int64_t> Rigol{ModelRigolDS1000Z, ModelRigolDS1000ZPlus, ModelRigolDS2000, ModelRigolMSO2000};
const std::vector<std::int64_t> Siglent{ModelSiglentSDS2000XPlusCh2, ModelSiglentSDS2000XPlusCh4,
                                        ModelSiglentSDS5000XCh2, ModelSiglentSDS5000XCh4};
const std::vector<std::int64_t> Rohde{ModelRohdeSchwarzRTB2000Ch2, ModelRohdeSchwarzRTB2000Ch4};

TEST(WaveformChannels, EveryCellOfTheChannelTable) {
    const auto table = ExpectedTable();
    for (std::int64_t e = -2; e <= 60; ++e) {
        const auto it = table.find(e);
        const uCells cells = it != table.end() ? it->second : uCells{};
        SCOPED_TRACE("eWaveform " + std::to_string(e));
        EXPECT_EQ(WaveformChannels::GetChannelTypeName(e), cells.sDisplay);
        for (bool fLong : {false, true}) {
            for (auto m : Hameg) EXPECT_EQ(WaveformChannels::GetChannelName(e, m, fLong), cells.sHameg);
            for (auto m : Rigol) EXPECT_EQ(WaveformChannels::GetChannelName(e, m, fLong), cells.sRigol);
            for (auto m : Siglent)
                EXPECT_EQ(WaveformChannels::GetChannelName(e, m, fLong), fLong ? cells.sSiglentLong : cells.sSiglentShort);
            for (auto m : Rohde)
                EXPECT_EQ(WaveformChannels::GetChannelName(e, m, fLong), fLong ? cells.sRohdeLong : cells.sRohdeShort);
            for (std::int64_t m : {0, 1, 2, 5, 10, 11, 12, 13, 14, 20, 21, 24, 25, 26, 99})
                EXPECT_EQ(WaveformChannels::GetChannelName(e, m, fLong), "") << "model " << m;
        }
    }
}

TEST(WaveformChannels, SourcesOfferedPerModel) {
    using Sources = std::vector<std::int64_t>;
    const Sources all{1, 2, 3, 6, 7, 8};
    struct uRow {
        std::int64_t eModel;
        Sources sources;
        std::size_t iSelected;
    };
    std::vector<uRow> rows;
    for (auto m : Rohde) rows.push_back({m, all, 3});
    for (auto m : Rigol) rows.push_back({m, {1, 2}, 0});
    for (auto m : Hameg) rows.push_back({m, {1, 2, 3}, 0});
    for (auto m : Siglent) rows.push_back({m, {2}, 0});
    for (std::int64_t m : {0, 1, 5, 10, 11, 12, 13, 14, 21, 24, 25, 26}) rows.push_back({m, {}, 0});
    for (const uRow& row : rows) {
        uModelCommands commands;
        Instrument::GetModelCommands(row.eModel, commands);
        const auto list = WaveformChannels::SourceList(commands);
        EXPECT_EQ(list.mSources, row.sources) << "model " << row.eModel;
        EXPECT_EQ(list.iSelected, row.iSelected) << "model " << row.eModel;
    }
    const char* names[] = {"", "Screen", "Memory", "Entire memory", "", "", "Screen 10 bit", "Memory 10 bit",
                           "Entire memory 10 bit", ""};
    for (int e = 0; e <= 9; ++e) EXPECT_EQ(WaveformChannels::DataSourceName(e), names[e]) << e;
}

} // namespace
