// The instrument-control option rows of the capture windows: the actions sent before a read
// (stop, stop complete, single, two waits, wait for the trigger to stop) and after it (trigger
// mode, run, single, local), which of them a model offers, their labels, and the checked rows
// kept per model as a text of ids ("2000,2001,2003,"). The waveform and the screenshot window
// each pass their own command group.
#pragma once

#include "instrument/ModelCommands.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// The option-row state of a window: checked flags, and the commands, waits and trigger answer
// the rows send.
struct uWaveformOptionState {
    std::int64_t fBefore = 0; // row 2000, the switch of the before-rows
    std::int64_t fStop = 0;   // 2001
    std::string sStop;
    std::int64_t fStopComplete = 0; // 2006
    std::string sStopComplete;
    std::int64_t fSingle = 0; // 2002
    std::string sSingle;
    std::int64_t fWaitShort = 0; // 2003
    std::int64_t iWaitShort = 0;
    std::int64_t fWaitLong = 0; // 2004
    std::int64_t iWaitLong = 0;
    std::int64_t fTrigger = 0; // 2005
    std::string sTriggerStatus;
    std::string sTriggerStatusStop;
    std::int64_t fAfter = 0; // row 2020, the switch of the after-rows
    std::int64_t fTriggerAuto = 0; // 2021
    std::string sTriggerAuto;
    std::int64_t fTriggerNormal = 0; // 2022
    std::string sTriggerNormal;
    std::int64_t fRun = 0; // 2023
    std::string sRun;
    std::int64_t fSingleAfter = 0; // 2024
    std::string sSingleAfter;
    std::int64_t fLocal = 0; // 2025
    std::string sLocal;
};

// One row of the option list.
struct uWaveformOptionRow {
    std::int64_t iId = 0;
    std::string sLabel;
    std::string sCommand; // second column; empty for header and wait rows
    bool fChecked = false;
    bool fHeader = false; // 2000 and 2020
};

namespace WaveformOptions {

inline constexpr std::int64_t RowBefore = 2000;
inline constexpr std::int64_t RowAfter = 2020;
inline constexpr std::int64_t RowWaitShort = 2003;
inline constexpr std::int64_t RowWaitLong = 2004;
// Background colour of the header rows when config.ini names none.
inline constexpr std::int64_t DefaultRowBackColor = 0xFFCC99;

// Empties the state (flags and waits 0, texts empty); nothing for a null state. Returns 0.
int ResetOptionState(uWaveformOptionState* pState);

// The preference key of a model's checked rows.
inline std::string OptionsKey(const std::string& sModel) { return "Options_" + sModel; }

// Fills the state from the command group and the saved text of checked rows, and returns the
// rows the model offers, in list order (headers only for groups with rows).
std::vector<uWaveformOptionRow> FillOptionRows(std::int64_t eModel, const uModelControl& group,
                                               const std::string& sSaved, uWaveformOptionState& state);

// Takes the check marks of the list (id, checked; in list order) into the state. sText becomes
// the text to keep (empty: remove the key). True when a flag of the state changed.
bool ApplyChecks(const std::vector<std::pair<std::int64_t, bool>>& rows, uWaveformOptionState& state,
                 std::string& sText);

// The title of the options tab: "Options", with " *" while a header row is checked.
std::string TabTitle(const uWaveformOptionState& state);

} // namespace WaveformOptions
