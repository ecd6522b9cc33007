// The screenshot window (kind 6): reads the instrument's screen once or at an interval through
// its pump, has the picture decoded, processed and saved by its worker thread, hands each new
// picture to its linked viewer and keeps the "Display Dump" and "Image processing" rows ahead
// of the instrument-control rows in its "Options" tab. Built on the shared capture window.
#pragma once

#include "windows/capture/CaptureWindow.h"
#include "windows/capture/ScreenshotImages.h"
#include "windows/capture/ScreenshotPump.h"
#include "windows/capture/ScreenshotWorker.h"

#include <QImage>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct uInstrumentWindowInfo;

class WindowScreenshotWindow final : public CaptureWindow, public ScreenshotPumpWindow {
  public:
    WindowScreenshotWindow();
    ~WindowScreenshotWindow() override;

    // ScreenshotPumpWindow.
    void SetStatus(const std::string& sText) override;
    void AddLine(const std::string& sText) override;
    void AddError(const std::string& sText) override;
    void DisableGadgets(bool fDisable) override;
    void MessageRequester(const std::string& sText) override;
    void PostOptionsEvent() override { CaptureWindow::PostOptionsEvent(); }
    void PostViewerSync() override { CaptureWindow::PostViewerSync(); }
    void ScreenArrived(uScreenshotPump& pump, bool fSave, bool fLog) override;
    void Reprocess() override { ConvertScreenshot(uScreenshotJob::StepProcessAgain); }
    void AutomaticStopped(const std::string& sText) override;

    // Hands the worker a conversion: a new answer, the kept answer again, or processing only.
    void ConvertScreenshot(uScreenshotJob::eStep eWhat);
    void CopyToClipboard();
    // The rows of the options list, rebuilt for the model (config.ini "Options_" + model).
    void FillOptionList();
    // The manual save: a requester titled "Options", then the worker writes the file.
    void SaveScreenshot();
    // "Select folder...": the folder requester "Save as"; the answer becomes the automatic folder.
    void SelectFolder();
    // Takes one result of the worker (EventScreenshotProcessed), in the order of the jobs.
    void ApplyResult(const uScreenshotResult& result);

    uScreenshotPump pump;
    std::unique_ptr<ScreenshotWorker> pWorker;
    QImage processed;        // the picture shown, copied and saved (the worker's latest result)
    std::int64_t fViewScale = 1;
    ScreenshotImages::uProcessOptions processing;
    std::vector<uWaveformOptionRow> mOptionRows;
    std::size_t iJobs = 0; // results still to come from the worker
    std::string sSaveFolder; // the folder of the last save by hand, the default once it took the file

  protected:
    bool Usable(const uInstrumentWindowInfo& instrument) const override;
    void BuildToolBarButtons(QToolBar* pToolBar, int iPixels) override;
    int ContentHeight(int iBottom) const override { return iBottom + 50; }
    void ReadPreferences(uIni* pIni) override;
    void Opened() override;
    void BindKind() override;
    bool MenuCommand(int iItem, bool fCtrl) override;
    void StartReading() override;
    void Cancel() override;
    void Save() override { SaveScreenshot(); }
    void StopForClose() override;
    void InstrumentConnected(bool fUsable) override;
    void InstrumentDisconnected() override;
    void OptionsChanged() override;
    void ViewerSynced(const uViewerSync& sync) override;
    uViewerSync SyncRecord() const override;
    void UpdateMenuState() override;
    void Forget() override;

  private:
    // A result of the last automatic reading, which the worker hands back after it ended by itself
    // or by "Cancel": the status line keeps saying how it ended (ScreenshotPump::ImageCounted).
    bool LateForEndedRun(const uScreenshotResult& result) const;
    void Post(uScreenshotJob job);
    ScreenshotImages::uDecodeOptions DecodeOptions() const;
    void TakeInstrument();
    WaveformPumpTimers* pTimers = nullptr;
    std::int64_t iBoxedRun = 0; // the automatic reading whose failed save has shown its box
};

namespace WindowScreenshot {

// Builds the window in the MDI child iChild of the main window, or for -1 as a separate window;
// returns its window number, 0 when it could not be opened.
int Open(int iMainWindow, int iChild, uInstrumentWindowInfo* pInfo);
// Builds the window's menu bar anew.
int UpdateMenus(int iWindow);
// The window of that number, or nullptr (tests and the frame).
WindowScreenshotWindow* Find(int iWindow);
// Enters the window's kind into the frame's window-kind registry (start-up).
void RegisterKind();

// The "Image processing" and "Display Dump" rows the model offers, in list order, checked as the
// saved text says (ids found as substrings).
std::vector<uWaveformOptionRow> ImageRows(std::int64_t eModel, const uModelCommands& commands, const std::string& sSaved);

} // namespace WindowScreenshot
