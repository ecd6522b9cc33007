// The main window: an MDI frame with one menu bar, toolbar and status bar, the menus that every
// window shares, and the registry of the child windows that each main window owns.
#pragma once

#include "app/InstrumentWindowInfo.h"
#include "instrument/ConnectionDescription.h"
#include "instrument/InstrumentObject.h"

#include <QPointer>
#include <QString>

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class QAction;
class QMdiArea;
class QMdiSubWindow;
class QMenu;
class QMenuBar;
class QStatusBar;
class QToolBar;
class WindowFrame;

namespace WindowStart {

// Menu item numbers shared by every window.
enum eMenuItem {
    MenuSaveAs = 1,
    MenuNewWindow = 3,
    MenuCloseWindow = 4,
    MenuCloseMdiWindow = 5,
    MenuNewScript = 6,
    MenuPreferences = 7,
    MenuExit = 8,
    MenuCopy = 9,
    MenuShow = 11,
    MenuScale = 12,
    MenuAlignWindow = 13,
    MenuFullscreen = 14,
    MenuSelect = 15,
    MenuDisconnect = 16,
    MenuList = 17,
    MenuIcons = 18,
    MenuRefresh = 19,
    MenuConnect = 20,
    MenuScpiCommand = 21,
    MenuScreenshot = 22,
    MenuWaveform = 25,
    MenuOpenSeparately = 27,
    MenuDontCheckPosition = 28,
    MenuShowWindows = 29,
    MenuSaveWorkspace = 31,
    MenuDeleteWorkspace = 32,
    MenuWorkspaceFirst = 34,
    MenuWorkspaceLast = 53,
    MenuMaximize = 54,
    MenuAdapt = 55,
    MenuCascade = 56,
    MenuTileVertically = 57,
    MenuTileHorizontally = 58,
    MenuNext = 59,
    MenuPrevious = 60,
    MenuShowMainWindow = 61,
    MenuWindowListFirst = 62,
    MenuLog = 264,
    MenuAbout = 265,
};

// The title of every main window without an instrument.
inline constexpr const char* Title = "Orvanto v" ORVANTO_VERSION " (Alpha)";

// Timer of a main window that refreshes its instrument list after device changes.
inline constexpr int TimerDeviceChange = 3;
inline constexpr int DeviceChangeDelay = 500;
// Timer of an instrument list window that fills its list afresh; armed by the main windows after a
// connect (100 ms), after a loss (500 ms) and when an instrument's connection was freed (100 ms:
// the instrument is listed again, also in the lists of the other main windows).
inline constexpr int TimerInstrumentListSearch = 4;

// How the instrument events travel between a main window and its children:
// - EventConnectInstrument (list -> main window): type = the list's window, data = the chosen
//   InstrumentObject.
// - EventInstrumentConnected (main window -> child): data = a copy of the main window's
//   uInstrumentWindowInfo (the child keeps what it needs; no address travels).
// - EventInstrumentDisconnected (main window -> child): type = the address of the instrument
//   object, for comparison only; data = the InstrumentObject; object = 1 when the connection
//   was lost (the child keeps the object, shown not connected, so that its next request tries
//   to open it), else 0.
// - EventOpenViewer (capture window -> main window): object = viewer kind 7 or 10, type = the
//   capture window's MDI flag, data = the capture window (std::int64_t, ChildWindow::Data).
// - EventLinkViewer (main window -> capture window): object = the viewer's window, type = the
//   MDI flag of the viewer request (0 when the capture window did not ask for the viewer).

struct uWindowStart {
    std::int64_t iCreation = 0;
    int iWindow = 0;
    QPointer<WindowFrame> pFrame;
    // The main window's own menus; the frame's bar shows them or those of the active MDI child.
    QPointer<QMenuBar> pMenu;
    QPointer<QToolBar> pToolBar;
    QPointer<QStatusBar> pStatusBar;
    QPointer<QMdiArea> pMdiArea;
    int iToolBarSize = 1;
    int iRequestingWindow = 0;
    uInstrumentWindowInfo info;
    // Objects whose connect task this window queued and whose result has not come yet.
    std::vector<InstrumentObject> mPendingConnects;
    // The menu bar whose menus the frame shows now, and the window list put into it.
    QPointer<QMenuBar> pShownMenu;
    std::vector<QPointer<QAction>> mWindowList;
};

// One child window of a main window.
struct uChildWindow {
    int iWindow = 0;
    int iOwner = 0;
    int iKind = 0;
    int fMdi = 0;
};

// Opens a main window; returns its window number, 0 when it could not be opened.
int Open();
// Closes the window's children one at a time, then the window itself.
int Close(int iWindow);
bool GetInstance(int iWindow, uWindowStart** ppWindow);
void BindEvents(int iWindow, bool fBind);
// The open main windows, oldest first.
std::vector<int> Windows();
// "WindowOpenIndependent" of config.ini as the main windows hold it.
bool WindowOpenIndependent();
void SetWindowOpenIndependent(bool fValue);

// Menus (WindowStartMenu.cpp). CreateMenu adds the shared menus of a window of the kind
// (eWindow) in MDI form or not to the bar; every item posts EventMenu to iTarget (the window
// that receives the bar's items: the main window for an MDI child).
void CreateMenu(QMenuBar* pBar, int iTarget, int iKind, int fMdi);
// An item that posts EventMenu to iTarget with the item number, and type 1 when Ctrl is held.
QAction* AddMenuItem(QMenu* pMenu, int iTarget, int iItem, const QString& sText);
// The item of that number in the bar's menus and submenus, or nullptr.
QAction* FindMenuItem(QMenuBar* pBar, int iItem);
void SetMenuItemEnabled(QMenuBar* pBar, int iItem, bool fEnabled);
void SetMenuItemChecked(QMenuBar* pBar, int iItem, bool fChecked);
// Builds the main window's menu bar anew; returns it.
QMenuBar* RecreateMenu(int iWindow);
QToolBar* CreateToolBar(int iWindow, int iSize);
// Gives the toolbars of the open main windows the size (2 large, else small): "Show large
// toolbar" takes effect at once.
void SetToolBarSize(int iSize);
void EventMenu(int iWindow, int iItem, bool fCtrl);
void UpdateMenuState(int iWindow);
void RebuildMenus(int iWindow);

// The instrument (WindowStartInstrument.cpp).
int OpenInstrument(int iWindow, const InstrumentObject& object, int iRequestingWindow);
void InstrumentConnected(int iWindow, const InstrumentObject& object);
// The user's disconnect (also of a lost instrument): the window lets go of its hold, and of
// the connects still on their way.
int CloseInstrument(int iWindow);
// EventTaskFinished at a main window: object = the instrument object's address, type = the task
// type, data per type.
void TaskFinished(int iWindow, std::intptr_t iObject, std::int64_t eTaskType, const std::int64_t* pKey);
// The instrument object's connection went away and could not be opened again: every main window
// connected to it shows it lost (not connected, still held) and says so in its status bar.
void InstrumentLost(std::intptr_t iObject, const std::string& sReason);
// A task opened the lost connection again: every main window that lost that instrument connects
// it once more, as a connect from the instrument list would.
void InstrumentRegained(std::intptr_t iObject);
// An instrument's last user let it go and its connection is closed: every instrument list of the
// program lists it again.
void InstrumentFreed();
// The parameters after "instrument " of the script command that makes the same connection.
std::string ScriptParameters(const uTaskPrepare& connection);
// A device was plugged or pulled: (re)arms timer 3 of the main window.
void DeviceChanged(int iWindow);

// Child windows (WindowStartChild.cpp).
int FindChild(int iOwner, int iKind, int iSpare = 0);
bool GetChild(int iWindow, uChildWindow** ppChild);
int OpenPreferences(int iWindow, int fMdi);
int OpenSelectDevice(int iWindow, int fMdi);
int OpenScpiCommand(int iWindow, int fMdi);
int OpenScreenshot(int iWindow, int fMdi);
int OpenWaveform(int iWindow, int fMdi);
// Viewers, asked for by a capture window (iCapture) or not (0): a viewer that exists is reused;
// the capture window is linked to the viewer in either case.
int OpenScreenshotViewer(int iWindow, int fMdi, int iCapture);
int OpenWaveformViewer(int iWindow, int fMdi, int iCapture);
// EventOpenViewer: the viewer's form from the capture window's form, "WindowOpenIndependent" and
// Ctrl (1 MDI child, 0 separate window).
int ViewerForm(int fCaptureMdi, bool fIndependent, bool fCtrl);
void OpenViewer(int iWindow, int iKind, int fCaptureMdi, int iCapture, bool fCtrl);
int OpenChildByKind(int iWindow, int iKind, int fMdi);
void ChildOpened(int iWindow, int iChild);
void ChildActivated(int iWindow, int iChild);
void ChildClosed(int iWindow, int iChild);
void ActivateChild(int iWindow, int iChild);
// Shows the menus of the bar in the main window's frame, with the window list in the
// second-to-last menu.
void InstallMenu(uWindowStart* pWindow, QMenuBar* pBar);
void RefreshWindowList(uWindowStart* pWindow);
void ShowSeparateChildren(int iWindow);
// Keeps a normal-state MDI child inside the visible part of its area: no larger than it (unless
// the child's minimum size is) and moved in from the right and bottom edges. A child of a new
// main window, or one placed by a workspace saved on a larger screen, thus shows whole.
void KeepInArea(QMdiSubWindow* pMdiFrame);

// Arrangements of the MDI children (WindowStartArrange.cpp). A rectangle with its right and
// bottom edges exclusive.
struct uRect {
    int iLeft = 0;
    int iTop = 0;
    int iRight = 0;
    int iBottom = 0;
    bool operator==(const uRect&) const = default;
};
// "&Adapt": where the active child grows to, from its rectangle, the MDI area's client rectangle
// and those of the other normal-state children; nothing when it stays as it is.
std::optional<uRect> AdaptRect(const uRect& active, const uRect& client, const std::vector<uRect>& others);
void MaximizeChild(int iWindow);
void AdaptChild(int iWindow);
// Side by side (fVertical) or one above the other, in the order the children were opened; each
// child lies wholly inside the area and is at least at its minimum size.
void TileChildren(int iWindow, bool fVertical);
// Where each of the tiled children goes along the tiling direction, as {start, length}: equal
// shares of iLength, but none below its minimum (the others share what is left); when the
// minimums together are longer than iLength, they overlap: the starts spread as if laid end to
// end, the last one at its minimum from the end, and each reaches to the end. A minimum longer
// than iLength counts as iLength.
std::vector<std::pair<int, int>> TileSpans(const std::vector<int>& mMinimum, int iLength);
// One behind the other from the top-left corner; each child keeps its size where that fits from
// its new corner, and never gets smaller than its minimum. A child that would run out of the
// area moves back into it and overlaps more of the others.
void CascadeChildren(int iWindow);
// Brings the normal-state children back inside the area after it shrank (a larger toolbar):
// each gets smaller, down to its minimum, and moves up or left as far as that is not enough.
void KeepChildrenInside(int iWindow);
// The registry entries, in the order they were added.
const std::vector<uChildWindow>& Children();

// Workspaces (WindowStartWorkspace.cpp): named arrangements of a main window and its children in
// workspace.ini, which is opened for each operation and never created.
inline constexpr int MaxWorkspaceItems = MenuWorkspaceLast - MenuWorkspaceFirst + 1;
// The workspaces' names: every section but "Ini-Version", sorted ascending ignoring case; empty
// without workspace.ini.
std::vector<std::string> WorkspaceNames();
// "Ini-Version" in any case: the section that holds no workspace.
bool WorkspaceNameReserved(const std::string& sName);
// Adds items 34 to 53 for the first 20 workspaces to the "Wor&kspace" submenu being built; each
// posts EventMenu to iTarget and keeps its workspace's name.
void CreateMenuWorkspaces(QMenu* pMenu, int iTarget);
// The name of workspace item iItem in the main window's menu; "" when there is none.
std::string WorkspaceItemName(int iWindow, int iItem);
void SaveWorkspace(int iWindow, const std::string& sName);
void LoadWorkspace(int iWindow, const std::string& sName);
void DeleteWorkspace(int iWindow, const std::string& sName);

// A top-level window of its own kind (the script window): fills the frame's menu bar with the
// kind's menus, "&Close Window" and "&Copy" greyed, "Don't check position" checked as set; returns
// the bar. The window's module binds the bar's items (EventMenu) itself.
QMenuBar* SetUpTopLevelFrame(WindowFrame* pFrame, int iKind);
// The items that such a window shares with the others: "&New Script", "&Exit" (EventQuit with
// Ctrl, else EventCloseAllWindows), "Don't check position" (the check mark of the bar and
// config.ini), "&Log..." and "&About...". false for any other item.
bool TopLevelMenu(int iWindow, QMenuBar* pBar, int iItem, bool fCtrl);

} // namespace WindowStart
