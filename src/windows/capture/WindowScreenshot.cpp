#include "windows/capture/WindowScreenshot.h"

#include "app/ChildWindow.h"
#include "app/Window.h"
#include "app/WindowKinds.h"
#include "app/WindowStart.h"
#include "common/Ini.h"
#include "common/UtilityGui.h"
#include "common/WindowLog.h"
#include "icons/VectorIcon.h"
#include "instrument/ModelTable.h"
#include "platform/EventHub.h"
#include "platform/ProgramEvents.h"
#include "platform/WindowFrame.h"
#include "platform/WindowRegistry.h"
#include "windows/capture/OptionList.h"
#include "windows/capture/Template.h"

#include <QAction>
#include <QClipboard>
#include <QComboBox>
#include <QFileDialog>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QToolBar>

#include <algorithm>
#include <map>
#include <utility>

namespace {

constexpr const char* Group = "WindowScreenshot";

// The open screenshot windows by window number; GUI thread only.
std::map<int, std::unique_ptr<WindowScreenshotWindow>> mWindowScreenshot;

uCaptureKind Kind() {
    uCaptureKind kind;
    kind.iKind = WindowKindScreenshot;
    kind.sTitle = "Screenshot";
    kind.sGroup = Group;
    kind.sTemplateGroup = "InputTemplateFilenameScreenshot";
    kind.sDefaultTemplate = "/O /Y/M/D-/H/N/S";
    kind.iWidth = 235;
    kind.iHeight = 400;
    kind.sReadButton = "Screenshot";
    kind.sOptionsColumn = "Select folder";
    kind.iViewerKind = WindowKindScreenshotViewer;
    kind.iOptionsEvent = EventTypeScreenshotOptions;
    kind.sEscapeName = "ScreenshotEscape";
    return kind;
}

bool IsHameg(std::int64_t eModel) {
    return eModel == ModelHamegHM2008 || eModel == ModelHamegHM1508 || eModel == ModelHamegHM1008;
}

bool Checked(const std::vector<std::pair<std::int64_t, bool>>& checks, std::int64_t iId) {
    for (const auto& [iRow, fChecked] : checks)
        if (iRow == iId) return fChecked;
    return false;
}

bool Offered(const std::vector<std::pair<std::int64_t, bool>>& checks, std::int64_t iId) {
    return std::any_of(checks.begin(), checks.end(), [iId](const auto& row) { return row.first == iId; });
}

// The dump and image-processing flags of the check marks.
void TakeImageChecks(const std::vector<std::pair<std::int64_t, bool>>& checks, const uModelCommands& commands,
                     uScreenshotDumpRows& dump, ScreenshotImages::uProcessOptions& processing) {
    dump = {Checked(checks, 2040), Checked(checks, 2041), Checked(checks, 2042), Checked(checks, 2043),
            Checked(checks, 2044)};
    processing.fProcessing = Checked(checks, 1000);
    processing.fCutOffOffered = Offered(checks, 1001);
    processing.fCutOff = Checked(checks, 1001);
    processing.sMargins = commands.sMargins;
    processing.fColorsOffered = Offered(checks, 1011) || Offered(checks, 1012) || Offered(checks, 1013);
    processing.fInvert = Checked(checks, 1011);
    processing.fBlackWhite = Checked(checks, 1012);
    processing.fGrayscale = Checked(checks, 1013);
}

bool SameProcessing(const ScreenshotImages::uProcessOptions& a, const ScreenshotImages::uProcessOptions& b) {
    return a.fProcessing == b.fProcessing && a.fCutOff == b.fCutOff && a.fInvert == b.fInvert &&
           a.fBlackWhite == b.fBlackWhite && a.fGrayscale == b.fGrayscale;
}

std::string PathPart(const std::string& sFile) {
    const std::size_t iSlash = sFile.find_last_of('/');
    return iSlash == std::string::npos ? std::string() : sFile.substr(0, iSlash + 1);
}

} // namespace

WindowScreenshotWindow::WindowScreenshotWindow() : CaptureWindow(Kind()) {}

WindowScreenshotWindow::~WindowScreenshotWindow() = default;

void WindowScreenshotWindow::SetStatus(const std::string& sText) { CaptureWindow::SetStatus(sText); }
void WindowScreenshotWindow::AddLine(const std::string& sText) { WindowLog::AddLine(sText); }
void WindowScreenshotWindow::AddError(const std::string& sText) { WindowLog::AddError(sText); }
void WindowScreenshotWindow::DisableGadgets(bool fDisable) { CaptureWindow::DisableGadgets(fDisable); }
void WindowScreenshotWindow::MessageRequester(const std::string& sText) { CaptureWindow::MessageRequester(sText); }

bool WindowScreenshotWindow::Usable(const uInstrumentWindowInfo& instrument) const {
    return instrument.capabilities.bScreenshot != 0;
}

void WindowScreenshotWindow::BuildToolBarButtons(QToolBar* pBar, int iPixels) {
    AddToolButton(pBar, WindowStart::MenuSaveAs, VectorIcon::IconSaveAs(iPixels), "Save As...");
    pBar->addSeparator();
    AddToolButton(pBar, WindowStart::MenuCopy, VectorIcon::IconCopy(iPixels), "Copy");
    pBar->addSeparator();
    AddToolButton(pBar, WindowStart::MenuScale, VectorIcon::IconScale(iPixels), "Scale", true);
    AddToolButton(pBar, WindowStart::MenuAlignWindow, VectorIcon::IconAlignWindow(iPixels), "Align window");
    AddToolButton(pBar, WindowStart::MenuFullscreen, VectorIcon::IconFullscreen(iPixels), "Fullscreen");
    if (!fMdi) {
        pBar->addSeparator();
        AddToolButton(pBar, WindowStart::MenuShowMainWindow, VectorIcon::IconShowWindows(iPixels), "Show Main Window");
    }
}

void WindowScreenshotWindow::ReadPreferences(uIni* pIni) {
    // Read here, never written by this window: the viewer's setting is the one kept.
    fViewScale = Ini::ReadInteger(pIni, "ViewScale", 1) != 0 ? 1 : 0;
}

void WindowScreenshotWindow::BindKind() {
    pump.iWindow = iWindow;
    pump.pWindow = this;
    pTimers = new WaveformWindowTimers(iWindow);
    pump.pTimers = pTimers;
    pWorker = std::make_unique<ScreenshotWorker>(iWindow);
    ScreenshotPump::Bind(pump);
    const int iSelf = iWindow;
    EventHub::Bind(EventScreenshotProcessed, iWindow, [iSelf](const EventHub::uEvent& event) {
        WindowScreenshotWindow* p = WindowScreenshot::Find(iSelf);
        const uScreenshotResult* pResult = event.pData.Get<uScreenshotResult>();
        if (p && pResult) p->ApplyResult(*pResult);
    });
}

void WindowScreenshotWindow::TakeInstrument() {
    uScreenshotPumpInstrument instrument;
    instrument.pInstrument = info.pInstrument;
    instrument.fConnected = TakesRequests(info);
    instrument.fLost = !info.fConnected && info.fLost;
    instrument.fScreenshot = info.capabilities.bScreenshot != 0;
    instrument.eModel = info.eModel;
    instrument.sManufacturer = info.sManufacturer;
    instrument.sModel = info.sModel;
    instrument.commands = info.commands;
    ScreenshotPump::SetInstrument(pump, std::move(instrument));
}

void WindowScreenshotWindow::Opened() {
    // This window's folder requester is titled "Save as".
    if (QPushButton* pButton = gadgets.pSelectFolder) {
        QObject::disconnect(pButton, &QPushButton::clicked, nullptr, nullptr);
        const int iSelf = iWindow;
        QObject::connect(pButton, &QPushButton::clicked, pButton, [iSelf] {
            if (WindowScreenshotWindow* p = WindowScreenshot::Find(iSelf)) p->SelectFolder();
        });
    }
    TakeInstrument();
    ScreenshotPump::SetScreenshotCommand(pump);
    FillOptionList();
    UpdateMenuState();
}

void WindowScreenshotWindow::InstrumentConnected(bool fUsable) {
    TakeInstrument();
    if (!fUsable) return;
    ScreenshotPump::SetScreenshotCommand(pump);
    FillOptionList();
}

void WindowScreenshotWindow::InstrumentDisconnected() { TakeInstrument(); }

void WindowScreenshotWindow::FillOptionList() {
    const std::string sSaved = OptionList::ReadSaved(Group, info.sModel);
    mOptionRows = WindowScreenshot::ImageRows(info.eModel, info.commands, sSaved);
    const std::vector<uOptionRow> control =
        WaveformOptions::FillOptionRows(info.eModel, info.commands.screenshot, sSaved, pump.control);
    mOptionRows.insert(mOptionRows.end(), control.begin(), control.end());
    std::vector<std::pair<std::int64_t, bool>> checks;
    bool fStar = false;
    for (const uOptionRow& row : mOptionRows) {
        checks.emplace_back(row.iId, row.fChecked);
        fStar = fStar || (row.fHeader && row.fChecked);
    }
    TakeImageChecks(checks, info.commands, pump.dump, processing);
    if (gadgets.pOptionList) gadgets.pOptionList->SetRows(mOptionRows, OptionList::ReadBackColor(Group));
    SetOptionsTitle(fStar);
}

void WindowScreenshotWindow::OptionsChanged() {
    if (!gadgets.pOptionList) return;
    const std::vector<std::pair<std::int64_t, bool>> checks = gadgets.pOptionList->Checks();
    const uScreenshotDumpRows oldDump = pump.dump;
    const ScreenshotImages::uProcessOptions oldProcessing = processing;
    std::string sText;
    bool fOptions = WaveformOptions::ApplyChecks(checks, pump.control, sText);
    TakeImageChecks(checks, info.commands, pump.dump, processing);
    fOptions = fOptions || oldDump.fDisplayDump != pump.dump.fDisplayDump || oldDump.f1024 != pump.dump.f1024 ||
               oldDump.f768 != pump.dump.f768 || oldDump.f512 != pump.dump.f512 ||
               oldDump.fBlackWhite != pump.dump.fBlackWhite;
    const bool fImage = !SameProcessing(oldProcessing, processing);
    if (fOptions || fImage) OptionList::WriteSaved(Group, info.sModel, sText);
    // An image row applies to the picture at once; a size row waits for the next screenshot.
    if (fImage) ConvertScreenshot(uScreenshotJob::StepProcessAgain);
    bool fStar = false;
    for (std::int64_t iHeader : {2040, 1000, 2000, 2020}) fStar = fStar || Checked(checks, iHeader);
    SetOptionsTitle(fStar);
}

ScreenshotImages::uDecodeOptions WindowScreenshotWindow::DecodeOptions() const {
    ScreenshotImages::uDecodeOptions options;
    options.eModel = info.eModel;
    options.iSizeCode = ScreenshotImages::SizeCode(pump.dump.f1024, pump.dump.f768, pump.dump.f512);
    options.fDisplayDump = pump.dump.fDisplayDump && options.iSizeCode > 0 && !pump.sDisplayDumpCommand.empty();
    options.fBlackWhite = pump.dump.fBlackWhite;
    return options;
}

void WindowScreenshotWindow::Post(uScreenshotJob job) {
    if (!pWorker) return;
    ++iJobs;
    pWorker->Post(std::move(job));
}

void WindowScreenshotWindow::ConvertScreenshot(uScreenshotJob::eStep eWhat) {
    uScreenshotJob job;
    job.eWhat = eWhat;
    job.decode = DecodeOptions();
    job.process = processing;
    Post(std::move(job));
}

void WindowScreenshotWindow::ScreenArrived(uScreenshotPump& from, bool fSave, bool fLog) {
    uScreenshotJob job;
    job.eWhat = uScreenshotJob::StepNewAnswer;
    // The worker keeps the answer from here on (a later "&Scale" decodes it again).
    job.pAnswer = std::make_shared<const std::vector<std::uint8_t>>(from.answer.begin(), from.answer.end());
    from.answer.release();
    job.decode = DecodeOptions();
    job.process = processing;
    job.fCount = from.fAutomatic;
    job.iRun = from.iRun;
    if (fSave) {
        job.fSave = job.fAutomaticSave = true;
        job.fLog = fLog;
        job.sFolder = sAutomaticFolder;
        job.sName = Template::ExpandSafeFileName(sTemplate, info.sManufacturer, info.sModel, from.iAnswerDate,
                                                 from.iAnswerTime, 0, "");
        job.sNameZ = Template::ExpandSafeFileName(sTemplate + "-/Z", info.sManufacturer, info.sModel,
                                                  from.iAnswerDate, from.iAnswerTime, 0, "");
    }
    Post(std::move(job));
}

void WindowScreenshotWindow::AutomaticStopped(const std::string& sText) { UntickAutomatic(sText); }

bool WindowScreenshotWindow::LateForEndedRun(const uScreenshotResult& result) const {
    return result.fCount && result.iRun == pump.iRun && !pump.fAutomatic;
}

void WindowScreenshotWindow::ApplyResult(const uScreenshotResult& result) {
    if (iJobs > 0) --iJobs;
    const bool fLate = LateForEndedRun(result);
    if (result.fNotConverted) {
        if (!fLate) SetStatus(ScreenshotPump::NotConverted);
        AddError(Prefix() + ScreenshotPump::NotConverted);
        return;
    }
    if (result.fImage && result.eWhat != uScreenshotJob::StepNone) {
        processed = result.image;
        if (result.fCount) ScreenshotPump::ImageCounted(pump, result.iRun, result.fAutomaticSave && result.fSaved);
        if (iViewer != 0 && ChildWindow::Find(iViewer)) {
            const bool fNew = result.eWhat == uScreenshotJob::StepNewAnswer;
            EventHub::PostEvent(
                EventNewScreenshot, iViewer, 0, result.fSizeChanged ? 1 : 0,
                EventHub::Payload::Of(uNewScreenshot{processed, fViewScale, fNew, result.fCount ? pump.iCount : 0}));
        }
    }
    if (!result.fSaveTried) return;
    if (result.fSaved) {
        if (!result.fAutomaticSave && !sSaveFolder.empty()) {
            sFolder = sSaveFolder;
            WritePreference("Folder", sFolder);
        }
        const std::string sSaved = "The screenshot are saved: " + result.sFileName;
        // An earlier failure in the status line is over; a reading's shots show their count.
        if (!result.fCount) SetStatus(sSaved);
        if (!result.fAutomaticSave || result.fLog) AddLine(Prefix() + sSaved);
        return;
    }
    if (result.sFileName.empty()) {
        if (!fLate) SetStatus(ScreenshotPump::NotConverted);
        AddError(Prefix() + ScreenshotPump::NotConverted);
        return;
    }
    // The writer's message names the path and the system's reason.
    const std::string sFailure =
        result.sError.empty() ? "The file could not be created: " + result.sFileName : result.sError;
    if (!fLate) SetStatus(sFailure);
    AddError(Prefix() + sFailure);
    // The failure ends the automatic reading, or a later shot of one it ended fails too.
    if (pump.fAutomatic) ScreenshotPump::StopRequestData(pump, sFailure);
    // One box per reading: the later shots that fail too are in the log (also while the box is open).
    if (result.fCount && result.iRun == iBoxedRun) return;
    if (result.fCount) iBoxedRun = result.iRun;
    MessageRequester("The screenshot could not be saved.\n" + sFailure);
}

void WindowScreenshotWindow::CopyToClipboard() {
    if (processed.isNull()) {
        SetStatus(ScreenshotPump::NotConverted);
        AddError(Prefix() + ScreenshotPump::NotConverted);
        return;
    }
    QGuiApplication::clipboard()->setImage(processed);
}

void WindowScreenshotWindow::SaveScreenshot() {
    if (processed.isNull()) {
        SetStatus(ScreenshotPump::NotConverted);
        AddError(Prefix() + ScreenshotPump::NotConverted);
        return;
    }
    const std::string sName = Template::ExpandSafeFileName(sTemplate, info.sManufacturer, info.sModel,
                                                           pump.iAnswerDate, pump.iAnswerTime, 0, "");
    // Titled as the save requester of the waveform window and the menu item that opens it.
    QFileDialog dialog(pFrame, "Save as", QString::fromStdString(ScreenshotImages::JoinPath(sFolder, sName + ".png")),
                       "PNG (*.png);;All Files (*.*)");
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    Utility::ProposeFile(&dialog, ScreenshotImages::JoinPath(sFolder, sName + ".png"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    const std::string sChosen = dialog.selectedFiles().front().toStdString();
    if (sChosen.empty()) return;
    const std::string sFile = ScreenshotImages::WithPngExtension(sChosen);
    // The folder becomes the default once the file is written there (ApplyResult).
    sSaveFolder = PathPart(sFile);
    uScreenshotJob job;
    job.eWhat = uScreenshotJob::StepNone;
    job.fSave = true;
    job.fLog = true;
    job.sFileName = sFile;
    Post(std::move(job));
}

void WindowScreenshotWindow::SelectFolder() {
    QFileDialog dialog(pFrame, "Save as", QString::fromStdString(sAutomaticFolder));
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    std::string sChosen = dialog.selectedFiles().front().toStdString();
    if (sChosen.empty()) return;
    if (sChosen.back() != '/') sChosen += '/';
    sAutomaticFolder = sChosen;
    Utility::AddGadgetToolTip(gadgets.pSelectFolder, sAutomaticFolder, 0, "");
}

bool WindowScreenshotWindow::MenuCommand(int iItem, bool) {
    switch (iItem) {
    case WindowStart::MenuCopy: CopyToClipboard(); return true;
    case WindowStart::MenuScale:
        if (pMenu) {
            fViewScale = fViewScale != 0 ? 0 : 1;
            ConvertScreenshot(uScreenshotJob::StepDecodeAgain);
        }
        UpdateMenuState();
        return true;
    case WindowStart::MenuAlignWindow:
        if (iViewer != 0 && ChildWindow::Find(iViewer)) EventHub::PostEvent(EventMenu, iViewer, iItem);
        return true;
    default: return false;
    }
}

void WindowScreenshotWindow::StartReading() {
    pump.fSaveAutomatically = fSaveAutomatically;
    pump.sAutomaticFolder = sAutomaticFolder;
    uScreenshotStart start;
    start.fAutomatically = fAutomaticChecked;
    start.sInterval = gadgets.pInterval ? gadgets.pInterval->text().toStdString() : "";
    start.iUnit = gadgets.pUnit ? gadgets.pUnit->currentIndex() : 0;
    ScreenshotPump::StartReading(pump, start);
}

void WindowScreenshotWindow::Cancel() { ScreenshotPump::Cancel(pump); }

void WindowScreenshotWindow::StopForClose() {
    ScreenshotPump::StopRequestData(pump);
    ScreenshotPump::Unbind(pump);
    EventHub::Unbind(EventScreenshotProcessed, iWindow);
    for (int iTimer : {ScreenshotPump::TimerInterval, ScreenshotPump::TimerReprocess, ScreenshotPump::TimerPump})
        WindowRegistry::StopTimer(iWindow, iTimer);
    pWorker.reset();
}

void WindowScreenshotWindow::ViewerSynced(const uViewerSync& sync) {
    fViewScale = sync.fScale != 0 ? 1 : 0;
    UpdateMenuState();
}

uViewerSync WindowScreenshotWindow::SyncRecord() const {
    // Sent on every new link too: a viewer that has just been linked gets the current picture
    // when timer 14 fires.
    if (!processed.isNull()) WindowRegistry::StartTimer(iWindow, ScreenshotPump::TimerReprocess, 200);
    return uViewerSync{iWindow, fViewScale, 1, pump.iCount};
}

void WindowScreenshotWindow::UpdateMenuState() {
    CaptureWindow::UpdateMenuState();
    const bool fViewer = iViewer != 0;
    if (pMenu) {
        if (QAction* p = WindowStart::FindMenuItem(pMenu, WindowStart::MenuScale)) p->setCheckable(true);
        WindowStart::SetMenuItemChecked(pMenu, WindowStart::MenuScale, fViewScale != 0);
        WindowStart::SetMenuItemEnabled(pMenu, WindowStart::MenuScale, fViewer);
        WindowStart::SetMenuItemEnabled(pMenu, WindowStart::MenuAlignWindow, fViewer);
    }
    if (QAction* p = ToolButton(WindowStart::MenuScale)) {
        p->setChecked(fViewScale != 0);
        p->setEnabled(fViewer);
    }
    if (QAction* p = ToolButton(WindowStart::MenuAlignWindow)) p->setEnabled(fViewer);
}

void WindowScreenshotWindow::Forget() {
    delete pTimers;
    pTimers = nullptr;
    pump.pTimers = nullptr;
    mWindowScreenshot.erase(iWindow); // deletes this
}

namespace WindowScreenshot {

int Open(int iMainWindow, int iChild, uInstrumentWindowInfo* pInfo) {
    auto pWindow = std::make_unique<WindowScreenshotWindow>();
    WindowScreenshotWindow* p = pWindow.get();
    const int iWindow = p->Open(iMainWindow, iChild, pInfo);
    if (iWindow == 0) return 0;
    // Open already ran the window's first steps; the record is kept from here on.
    mWindowScreenshot[iWindow] = std::move(pWindow);
    return iWindow;
}

int UpdateMenus(int iWindow) {
    if (WindowScreenshotWindow* p = Find(iWindow)) return p->UpdateMenus();
    ChildWindow::BuildMenu(ChildWindow::Find(iWindow));
    return 0;
}

WindowScreenshotWindow* Find(int iWindow) {
    const auto it = mWindowScreenshot.find(iWindow);
    return it == mWindowScreenshot.end() ? nullptr : it->second.get();
}

void RegisterKind() { WindowKinds::Register(WindowKindScreenshot, {Open, UpdateMenus}); }

std::vector<uOptionRow> ImageRows(std::int64_t eModel, const uModelCommands& commands, const std::string& sSaved) {
    const auto saved = [&](std::int64_t iId) { return sSaved.find(std::to_string(iId)) != std::string::npos; };
    std::vector<uOptionRow> rows;
    auto add = [&](std::int64_t iId, const char* sLabel, std::string sSecond = "", bool fHeader = false) {
        rows.push_back({iId, sLabel, std::move(sSecond), saved(iId), fHeader});
    };
    if (IsHameg(eModel) && !commands.sDisplayDump.empty()) {
        add(2040, "Display Dump", "", true);
        add(2041, "1024 x 1024 Pixel");
        add(2042, "768 x 768 Pixel");
        add(2043, "512 x 512 Pixel");
        if (commands.fDumpBlackWhite) add(2044, "Draw in black and white");
    }
    if (!commands.sMargins.empty() || commands.fInvert || commands.fBlackWhite || commands.fGrayscale) {
        add(1000, "Image processing", "", true);
        if (!commands.sMargins.empty()) add(1001, "Cut off serial number", commands.sMargins);
        if (commands.fInvert) add(1011, "Colors inverted");
        if (commands.fBlackWhite) add(1012, "Colors in black and white");
        if (commands.fGrayscale) add(1013, "Colors in grayscale");
    }
    return rows;
}

} // namespace WindowScreenshot
