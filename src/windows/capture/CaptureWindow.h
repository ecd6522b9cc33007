// What the waveform window and the screenshot window share: the window frame (MDI child or
// separate), menu bar, toolbar and status bar; the scroll area with the two tabs; the button
// column (read, "Cancel", "Show...", "Save...", "Filename..."), the separator and the settings
// column ("Automatically", interval, unit, "Save to folder", "Select folder..."); the option
// list of the "Options" tab; the preferences of the window's group; the instrument the window
// follows; the link to its viewer; Escape as "Cancel"; the gadget lock; title, icon and menu
// state; and closing. A kind derives from CaptureWindow, fills in the hooks and keeps its own
// records; everything runs on the GUI thread.
#pragma once

#include "app/InstrumentWindowInfo.h"
#include "windows/capture/ViewerSync.h"

#include <QPointer>
#include <QString>

#include <cstdint>
#include <string>

class OptionList;
class QAction;
class QCheckBox;
class QComboBox;
class QFrame;
class QLineEdit;
class QMenuBar;
class QPushButton;
class QScrollArea;
class QShortcut;
class QStatusBar;
class QTabWidget;
class QToolBar;
class QImage;
class QWidget;
class WindowFrame;
struct uIni;

namespace EventHub {
struct uEvent;
}

// What a kind tells the shared part; fixed for the kind.
struct uCaptureKind {
    int iKind = 0;                 // eWindow: 6 screenshot window, 9 waveform window
    std::string sTitle;            // "Waveform", "Screenshot"
    std::string sGroup;            // config.ini group: "WindowWaveform"
    std::string sTemplateGroup;    // the template dialog's group: "InputTemplateFilenameWaveform"
    std::string sDefaultTemplate;  // when that group names none
    int iWidth = 235;              // default size
    int iHeight = 455;
    std::string sReadButton;       // "Waveform", "Screenshot"
    std::string sOptionsColumn;    // title of the option list's first column
    int iViewerKind = 0;           // 10 waveform viewer, 7 screenshot viewer
    int iOptionsEvent = 0;         // the deferred option-list event type (0x1002C, 0x1002A)
    std::string sEscapeName;       // object name of the Escape shortcut, unique per kind
};

// The shared gadgets; null when absent.
struct uCaptureGadgets {
    QPointer<QScrollArea> pScrollArea;
    QPointer<QWidget> pInner; // the scroll area's inner area
    QPointer<QTabWidget> pPanel;
    QPointer<QWidget> pMainTab, pOptionsTab;
    QPointer<QPushButton> pRead, pCancel, pShow, pSave, pFilename;
    QPointer<QFrame> pSeparator;
    QPointer<QCheckBox> pAutomatic;
    QPointer<QLineEdit> pInterval;
    QPointer<QComboBox> pUnit;
    QPointer<QCheckBox> pSaveToFolder;
    QPointer<QPushButton> pSelectFolder;
    QPointer<OptionList> pOptionList;
};

class CaptureWindow {
  public:
    // Menu item of the Escape key: acts as "Cancel".
    static constexpr int MenuEscape = 267;
    // Gadget number of the option list in the deferred EventGadget.
    static constexpr int GadgetOptionList = 1;
    // Layout constants of the columns.
    static constexpr int RowHeight = 25;
    static constexpr int RowGap = 10;
    static constexpr int MinButtonWidth = 90;
    // Room the status bar takes beside its text: its margins and the size grip.
    static constexpr int StatusMargin = 30;

    explicit CaptureWindow(uCaptureKind kind);
    virtual ~CaptureWindow();
    CaptureWindow(const CaptureWindow&) = delete;
    CaptureWindow& operator=(const CaptureWindow&) = delete;

    // The capture window of that number, or nullptr.
    static CaptureWindow* Find(int iWindow);

    // Builds the window in the MDI child iChild of the main window, or for -1 as a separate
    // window. Returns the window number, 0 when no window could be made (the caller then drops
    // the object; after success the object lives until Forget).
    int Open(int iMainWindow, int iChild, const uInstrumentWindowInfo* pInfo);
    // Closes the window: every step of closing runs, then Forget drops the record. iClosingOwner
    // is the main window whose own closing caused it (gets its close request back), else 0.
    void Close(int iClosingOwner = 0);
    // Builds the menu bar anew and applies the menu state.
    int UpdateMenus();

    // Shared operations of the kinds.
    virtual void SetStatus(const std::string& sText);
    // The main window's instrument is connected, but its model's screen or traces cannot be read
    // here: says so in the status bar and gives true (the read buttons then do nothing else).
    bool SayUnusable();
    std::string Status() const;
    // true: every gadget but "Cancel" and "Show..." locked, and item 1 with its toolbar button.
    virtual void DisableGadgets(bool fDisable);
    virtual void UpdateMenuState();
    void UpdateTitle();
    void UpdateWindowIcon();
    // Asks the main window for the viewer (EventOpenViewer).
    void OpenViewer();
    // Sends the viewer the sync record of the kind.
    void PostViewerSync();
    // Timer 15 fired: the option list's deferred event is posted to the window.
    void PostOptionsEvent();
    // Sets the options tab title ("Options", " *" appended on request).
    void SetOptionsTitle(bool fStar);
    // An automatic run that ended without the user: "Automatically" is unticked, so that the
    // window does not claim a run that no longer goes on, and the status line says sText (that
    // the run stopped, why, and what it kept: PumpSupport::SayStopped).
    void UntickAutomatic(const std::string& sText);
    // The model prefix of log lines: model text + " - ".
    std::string Prefix() const;
    // A message box with the error icon, titled as the window.
    virtual void MessageRequester(const std::string& sText);
    // The folder requester "Select folder" (a non-native dialog); empty when cancelled.
    std::string FolderRequester(const std::string& sStart);
    // Widens a combo box's drop-down list to its widest item text + 10 when that is wider.
    static void WidenDropDown(QComboBox* pBox);
    // Writes one string of the window's group to config.ini.
    void WritePreference(const std::string& sKey, const std::string& sValue);

    // The record, for the kinds and the tests.
    const uCaptureKind kind;
    std::int64_t iCreation = 0;
    int iWindow = 0;
    int iMainWindow = 0;
    int fMdi = 0;
    QPointer<WindowFrame> pFrame;
    QPointer<QMenuBar> pMenu;
    QPointer<QToolBar> pToolBar;
    QPointer<QStatusBar> pStatusBar;
    QPointer<QShortcut> pEscape;
    uCaptureGadgets gadgets;
    int iButtonColumn = 0;   // width of the button column
    int iSettingsColumn = 0; // width of the settings column
    int iMinimumWidth = 0;
    int iMinimumHeight = 0;
    int iViewer = 0;             // the linked viewer, 0 when none
    std::int64_t iViewerFlag = 0; // the event type of the link: 1 when the viewer is an MDI child
    uInstrumentWindowInfo info;
    std::string sUnusableModel; // maker and model of a connected instrument that Usable refused
    bool fAutomaticChecked = false; // "Automatically"
    bool fSaveAutomatically = false; // "Save to folder"
    std::string sTemplate;
    std::string sFolder;          // ends in "/" when not empty
    std::string sAutomaticFolder; // ends in "/" when not empty

  protected:
    // Hooks of the kind.
    // Whether the connected model suits the window (capability flag).
    virtual bool Usable(const uInstrumentWindowInfo& instrument) const = 0;
    // Adds the kind's gadgets to the first tab below the columns; iTop is the first free y.
    // Returns the bottom edge of the lowest gadget (for the minimum height).
    virtual int BuildTab(QWidget* pTab, int iTop, int iWidth);
    // The toolbar's buttons; the default: Save As, Copy, Fullscreen, Show Main Window.
    virtual void BuildToolBarButtons(QToolBar* pToolBar, int iPixels);
    // Lays out the kind's gadgets of the first tab (item area iWidth x iHeight).
    virtual void LayoutTab(int iWidth, int iHeight);
    // The minimum height above the toolbar, menu and status bar; default: BuildTab's bottom edge.
    virtual int ContentHeight(int iBottom) const { return iBottom; }
    // Kind's preferences after the shared ones, and before those written at close.
    virtual void ReadPreferences(uIni* pIni);
    virtual void WritePreferences(uIni* pIni);
    // After the window was built and bound: the kind fills its lists.
    virtual void Opened() {}
    // The kind binds its own events (task results, timers, save status).
    virtual void BindKind() {}
    // Items of the window that the shared part does not take; false when unknown.
    virtual bool MenuCommand(int iItem, bool fCtrl);
    // The buttons.
    virtual void StartReading() = 0;
    virtual void Cancel() = 0;
    virtual void Save() = 0;
    // The window closes: stop all work (first step of closing).
    virtual void StopForClose() {}
    // The main window's instrument: fUsable false leaves the window disconnected.
    virtual void InstrumentConnected(bool fUsable);
    virtual void InstrumentDisconnected() {}
    // The option list's deferred event: the kind takes the check marks.
    virtual void OptionsChanged() {}
    // A viewer sync record arrived from the linked viewer.
    virtual void ViewerSynced(const uViewerSync& sync);
    // What PostViewerSync sends.
    virtual uViewerSync SyncRecord() const;
    // The module drops its record (deletes this); the last thing closing does.
    virtual void Forget() = 0;

    // A toolbar button that posts the item to the window.
    QAction* AddToolButton(QToolBar* pToolBar, int iItem, const QImage& image, const QString& sTip,
                           bool fCheckable = false);
    QAction* ToolButton(int iItem) const;

  private:
    void BuildToolBar();
    void BuildGadgets();
    void Layout();
    void Bind();
    void InstallEscape();
    void Closing();
    void HandleMenu(int iItem, bool fCtrl);
    void LinkViewer(const EventHub::uEvent& event);
    void OnInstrumentConnected(const uInstrumentWindowInfo* pInfo);
    void OnInstrumentDisconnected(std::intptr_t iObject, bool fLost);
    void OnTemplateChosen(const std::string& sTemplate);
    void SelectFolder();
};
