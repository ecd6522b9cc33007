// The list gadget of the capture windows' "Options" tab: rows with a check box, the row's id as
// item data, a label and, where a row sends something, its command in the second column. Header
// rows open a group and are tinted. A change of the check marks is not taken at once: the first
// change of a burst arms window timer 15 (100 ms), and the window takes all marks in one go when
// it fires, so that a burst of clicks gives one update and one write of config.ini. Each list
// keeps its own pending flag, so two windows of one kind never swallow each other's changes.
#pragma once

#include "windows/capture/WaveformOptions.h"

#include <QColor>
#include <QTreeWidget>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

struct uIni;

// One row of an option list (the same record for both capture windows).
using uOptionRow = uWaveformOptionRow;

class OptionList : public QTreeWidget {
  public:
    // The timer of the deferred update and its delay.
    static constexpr int TimerOptions = 15;
    static constexpr int DeferMilliseconds = 100;

    // iWindow: the window whose timer 15 a change arms.
    OptionList(int iWindow, const QString& sFirstColumn, QWidget* pParent = nullptr);

    // Replaces the rows; header rows get the background colour (a Windows colour word,
    // 0x00BBGGRR) across all columns. No change event comes of it.
    void SetRows(const std::vector<uOptionRow>& rows, std::int64_t iBackColor);
    // The rows in list order with their check marks: a row counts as checked only when its
    // state is exactly "checked".
    std::vector<std::pair<std::int64_t, bool>> Checks() const;
    // Sets or clears the mark of the row with that id as a click would (arms the update).
    bool SetChecked(std::int64_t iId, bool fChecked);
    QTreeWidgetItem* Row(std::int64_t iId) const;

    // The deferred update: true from the first change of a burst until the window took it.
    bool Pending() const { return fPending; }
    void TakePending() { fPending = false; }

    // A Windows colour word as a colour: red in the low byte, blue in the third.
    static QColor WindowsColor(std::int64_t iColor);

    // config.ini of the group ("WindowWaveform", "WindowScreenshot"): the checked rows of a
    // model ("Options_" + model), written, or removed when empty; the header colour
    // ("OptionListRowBackColor", read only). Without config.ini nothing is read or written.
    static std::string ReadSaved(const std::string& sGroup, const std::string& sModel);
    static void WriteSaved(const std::string& sGroup, const std::string& sModel, const std::string& sText);
    static std::int64_t ReadBackColor(const std::string& sGroup);

  private:
    void Changed();

    int iWindow;
    bool fPending = false;
    bool fFilling = false;
};
