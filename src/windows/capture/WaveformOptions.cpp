#include "windows/capture/WaveformOptions.h"

#include "common/NumberText.h"
#include "instrument/ModelTable.h"

#include <array>

namespace WaveformOptions {

namespace {

// The checked flag of a row in the state; null for an unknown id.
std::int64_t* Flag(uWaveformOptionState& state, std::int64_t iId) {
    switch (iId) {
    case 2000: return &state.fBefore;
    case 2001: return &state.fStop;
    case 2002: return &state.fSingle;
    case 2003: return &state.fWaitShort;
    case 2004: return &state.fWaitLong;
    case 2005: return &state.fTrigger;
    case 2006: return &state.fStopComplete;
    case 2020: return &state.fAfter;
    case 2021: return &state.fTriggerAuto;
    case 2022: return &state.fTriggerNormal;
    case 2023: return &state.fRun;
    case 2024: return &state.fSingleAfter;
    case 2025: return &state.fLocal;
    default: return nullptr;
    }
}

constexpr std::array<std::int64_t, 13> Ids = {2000, 2001, 2002, 2003, 2004, 2005, 2006,
                                              2020, 2021, 2022, 2023, 2024, 2025};

std::string WaitLabel(std::int64_t iWait) {
    return "Wait " + Utility::StrDLocalized(static_cast<double>(iWait), -1) + " ms";
}

} // namespace

int ResetOptionState(uWaveformOptionState* pState) {
    if (pState) *pState = uWaveformOptionState{};
    return 0;
}

std::vector<uWaveformOptionRow> FillOptionRows(std::int64_t eModel, const uModelControl& group,
                                               const std::string& sSaved, uWaveformOptionState& state) {
    ResetOptionState(&state);
    const auto saved = [&](std::int64_t iId) { return sSaved.find(std::to_string(iId)) != std::string::npos; };
    std::vector<uWaveformOptionRow> rows;
    auto header = [&](std::int64_t iId, const char* sLabel) {
        rows.push_back({iId, sLabel, "", saved(iId), true});
        *Flag(state, iId) = saved(iId) ? 1 : 0;
        return rows.size();
    };
    auto add = [&](bool fShown, std::int64_t iId, std::string sLabel, std::string sCommand) {
        if (!fShown) return;
        rows.push_back({iId, std::move(sLabel), std::move(sCommand), saved(iId), false});
        *Flag(state, iId) = saved(iId) ? 1 : 0;
    };
    // Drops a header without rows after it, with its flag.
    auto close = [&](std::size_t iHeaderRows, std::int64_t iId) {
        if (rows.size() == iHeaderRows) {
            rows.pop_back();
            *Flag(state, iId) = 0;
        }
    };

    state.sStopComplete = group.sStopComplete;
    state.sStop = group.sStop;
    state.sSingle = group.sSingle;
    state.iWaitShort = group.iWaitShort;
    state.iWaitLong = group.iWaitLong;
    state.sTriggerStatus = group.sTriggerStatus;
    state.sTriggerStatusStop = group.sTriggerStatusStop;
    std::size_t iRows = header(RowBefore, "Before Instrument control");
    const bool fRohdeSchwarz = eModel == ModelRohdeSchwarzRTB2000Ch2 || eModel == ModelRohdeSchwarzRTB2000Ch4;
    add(fRohdeSchwarz && !state.sStopComplete.empty(), 2006, "Stop (Complete)", state.sStopComplete);
    add(!state.sStop.empty(), 2001, "Stop", state.sStop);
    add(!state.sSingle.empty(), 2002, "Single", state.sSingle);
    add(state.iWaitShort != 0, RowWaitShort, WaitLabel(state.iWaitShort), "");
    add(state.iWaitLong != 0, RowWaitLong, WaitLabel(state.iWaitLong), "");
    add(!state.sTriggerStatus.empty() && !state.sTriggerStatusStop.empty(), 2005, "Wait for Trigger Status Stop",
        state.sTriggerStatus + " > " + state.sTriggerStatusStop);
    close(iRows, RowBefore);

    state.sTriggerAuto = group.sTriggerAuto;
    state.sTriggerNormal = group.sTriggerNormal;
    state.sRun = group.sRun;
    state.sSingleAfter = group.sSingle;
    state.sLocal = group.sLocal;
    iRows = header(RowAfter, "After Instrument control");
    add(!state.sTriggerAuto.empty(), 2021, "Trigger Mode Auto", state.sTriggerAuto);
    add(!state.sTriggerNormal.empty(), 2022, "Trigger Mode Normal", state.sTriggerNormal);
    add(!state.sRun.empty(), 2023, "Run", state.sRun);
    add(!state.sSingleAfter.empty(), 2024, "Single", state.sSingleAfter);
    add(!state.sLocal.empty(), 2025, "Enable local operation", state.sLocal);
    close(iRows, RowAfter);
    return rows;
}

bool ApplyChecks(const std::vector<std::pair<std::int64_t, bool>>& rows, uWaveformOptionState& state,
                 std::string& sText) {
    sText.clear();
    for (const auto& [iId, fChecked] : rows)
        if (fChecked) sText += std::to_string(iId) + ",";
    bool fChanged = false;
    for (const std::int64_t iId : Ids) {
        std::int64_t fChecked = 0;
        for (const auto& [iRow, fRow] : rows)
            if (iRow == iId && fRow) fChecked = 1;
        std::int64_t* pFlag = Flag(state, iId);
        if (*pFlag != fChecked) fChanged = true;
        *pFlag = fChecked;
    }
    return fChanged;
}

std::string TabTitle(const uWaveformOptionState& state) {
    return state.fBefore || state.fAfter ? "Options *" : "Options";
}

} // namespace WaveformOptions
