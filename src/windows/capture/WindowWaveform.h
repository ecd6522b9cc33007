// The waveform window: the user picks channels and a data source of the connected oscilloscope,
// reads their traces once or at an interval through the request pump, opens the waveform viewer
// and saves the traces as CSV or BIN files named from a template, by hand or after each read.
// Several may be open at once, each with its own record, pump, option rows and save instance.
#pragma once

#include "windows/capture/CaptureWindow.h"
#include "windows/capture/WaveformOptions.h"
#include "windows/capture/WaveformPump.h"

#include <QPointer>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class QComboBox;
class QPushButton;
class QTreeWidget;

struct uWindowWaveform final : public CaptureWindow, public WaveformPumpWindow {
    uWindowWaveform();
    ~uWindowWaveform() override;

    // The gadgets of the "Waveform" tab below the columns.
    QPointer<QComboBox> pFormat;
    QPointer<QComboBox> pSource;
    QPointer<QTreeWidget> pChannels;
    QPointer<QPushButton> pRefresh;

    WaveformWindowTimers timers{0};
    uWaveformPump pump;
    uWaveformOptionState options;
    // The text named by the log line " - Waveform SCPI Command: ": the visible-channel query.
    std::string sWaveformCommand;
    // The save that runs was started by the end of a read (not by the user).
    bool fSaveAutomatic = false;
    // The expanded name of the last automatic save, to tell two saves in one second apart.
    std::string sLastAutomaticName;
    // The folder of a save by hand, kept as the default only once a file was written there.
    std::string sSaveFolder;
    // The first failure of the running save, shown instead of "saved" at its end, and whether a
    // stop made it (no failure of the disk).
    std::string sSaveFailure;
    bool fSaveFailureStopped = false;
    // Why the read that the running save holds lacks a channel (its failure, which did not end
    // it; empty: the read was whole): named beside the files, and no save of it is whole.
    std::string sReadShort;
    // The files the running save has written, named with its failure, and how many.
    std::string sSavedFiles;
    std::int64_t iSavedFiles = 0;

    // WaveformPumpWindow.
    void SetStatus(const std::string& sText) override { CaptureWindow::SetStatus(sText); }
    void AddLine(const std::string& sText) override;
    void AddError(const std::string& sText) override;
    void DisableGadgets(bool fDisable) override { CaptureWindow::DisableGadgets(fDisable); }
    bool ChannelTicked() override;
    std::size_t CreateSendRequestList(uWaveformPump& pump) override;
    void SaveWaveform(uWaveformPump& pump) override;
    void MessageRequester(const std::string& sText) override { CaptureWindow::MessageRequester(sText); }
    void PostOptionsEvent() override { CaptureWindow::PostOptionsEvent(); }
    void FillChannelList(uWaveformPump& pump) override;
    void AutomaticStopped(const std::string& sText) override { UntickAutomatic(sText); }

    // The eWaveform values of the ticked rows of "Channels", in list order.
    std::vector<std::int64_t> TickedChannels() const;
    // The format chosen (1 CSV ",", 2 CSV ";", 3 BIN) and the data source.
    std::int64_t Format() const;
    std::int64_t DataSource() const;

  protected:
    bool Usable(const uInstrumentWindowInfo& instrument) const override;
    int BuildTab(QWidget* pTab, int iTop, int iWidth) override;
    void LayoutTab(int iWidth, int iHeight) override;
    int ContentHeight(int iBottom) const override;
    void Opened() override;
    void BindKind() override;
    void StartReading() override;
    void Cancel() override;
    void Save() override;
    void StopForClose() override;
    void InstrumentConnected(bool fUsable) override;
    void InstrumentDisconnected() override;
    void OptionsChanged() override;
    uViewerSync SyncRecord() const override;
    void Forget() override;
};

namespace WindowWaveform {

inline constexpr const char* Group = "WindowWaveform";
inline constexpr const char* TemplateGroup = "InputTemplateFilenameWaveform";
inline constexpr const char* DefaultTemplate = "/O /Y/M/D-/H/N/S /U /C";

// Builds the window in the MDI child iChild of the main window, or for -1 as a separate window;
// returns its window number, 0 when it could not be opened.
int Open(int iMainWindow, int iChild, uInstrumentWindowInfo* pInfo);
// Closes the window; iClosingMain: the main window whose own closing caused it, else 0.
void Close(int iWindow, int iClosingMain = 0);
// Builds the window's menu bar anew.
int UpdateMenus(int iWindow);
// Enters the window's kind into the frame's window-kind registry (start-up).
void RegisterKind();
bool GetInstance(int iWindow, uWindowWaveform** ppRecord);

// Operations of the window.
void DisableGadgets(int iWindow, bool fDisable);
void UpdateMenuState(int iWindow);
void UpdateTitle(int iWindow);
void FillChannelList(int iWindow);
void FillSourceList(int iWindow);
int FillOptionList(int iWindow);
void PostViewerSync(int iWindow);
void OpenViewer(int iWindow);
void LogInstrument(int iWindow);
void StopRequestData(int iWindow);
// Saves the last read: fAutomatic 0 with the save requester, 1 into the automatic folder.
// Returns whether the save thread took the record.
bool SaveWaveform(int iWindow, bool fAutomatic);
// The handler of EventWaveformSaveStatus.
void EventSaveProgress(int iWindow, std::intptr_t iType, const EventHub::uEvent& event);

} // namespace WindowWaveform
