// What every child window of a main window does alike, whether it lives in the main window's MDI
// area or stands alone: the frame it is built in, its shared menus (hidden in MDI form, where the
// main window shows them), telling its main window that it opened, was activated or closed, the
// menu-state and close requests of its main window, and closing when the main window closes.
#pragma once

#include "platform/EventHub.h"

#include <QString>

#include <cstdint>
#include <functional>

class QMdiArea;
class QMdiSubWindow;
class QMenuBar;
class QWidget;
class WindowFrame;

namespace ChildWindow {

// The integer that travels as an event's data.
std::int64_t EventData(const EventHub::uEvent& event);
EventHub::Payload Data(std::int64_t iValue);

// The main window's side: an empty MDI child of that number in the area, for a module to fill;
// Discard drops one that no module filled.
WindowFrame* CreateMdiFrame(QMdiArea* pArea, int iWindow, const QString& sTitle);
void Discard(int iWindow);
// A child window that is open (MDI child or separate window), or nullptr.
WindowFrame* Find(int iWindow);
// The MDI frame around an MDI child, or nullptr.
QMdiSubWindow* MdiFrame(int iWindow);
// Sizes the MDI frame so that the child inside it gets that inner size (title bar and borders
// come on top).
void ResizeMdiFrame(QMdiSubWindow* pMdiFrame, int iInnerWidth, int iInnerHeight);
// Sizes a new child's outer widget (its MDI frame or the window itself): a saved size (fSaved)
// is the inner one, which an MDI frame takes with its title bar and borders on top (taken as the
// frame's, the window would shrink by them at every start); a default size is the outer one,
// widened for a window whose status line shows failure reasons (fReasons) so that one of the
// usual length (Utility::UsualReason) shows whole.
void ResizeNew(QWidget* pOuter, bool fSaved, int iWidth, int iHeight, bool fReasons = false);

// The module's side. Begin gives the frame to build the window in: the MDI child iChild that the
// main window made, or for -1 a new separate top-level window titled sTitle; nullptr when iChild
// is no MDI child waiting to be filled.
WindowFrame* Begin(int iMainWindow, int iChild, int iKind, const QString& sTitle);
// Builds the frame's menu bar anew with the shared menus of the window's kind (items of an MDI
// child go to its main window first) and the check marks of 27 and 28; the module adds its own
// items after. Hidden in MDI form.
QMenuBar* BuildMenu(WindowFrame* pFrame);

struct uHooks {
    // An item that reached the window and that the shared handling does not take; false when
    // the module does not know it either.
    std::function<bool(int iItem, bool fCtrl)> fnMenu;
    // The window lays itself out again (size event).
    std::function<void()> fnLayout;
    // The window is about to be destroyed: the module drops its record.
    std::function<void()> fnClosing;
};

// Binds the shared events, shows the window and tells the main window that it opened. Items
// handled here: 4 and 5 close the window, 61 shows the main window, 264 the log.
void Install(WindowFrame* pFrame, uHooks hooks);
// Begin, BuildMenu (for a window with menus), fnBuild (the module's gadgets and own items) and
// Install in one: the window number, 0 when the window could not be opened.
int Open(int iMainWindow, int iChild, int iKind, const QString& sTitle, bool fMenu,
         const std::function<void(WindowFrame* pFrame, QMenuBar* pBar)>& fnBuild, uHooks hooks);
// Closes the child: saves its place, tells its main window, destroys the window and, when its
// main window asked for it while closing (iClosingOwner), posts that main window's close request.
void Close(int iWindow, int iClosingOwner = 0);
// The main window that the child belongs to; 0 when it is no open child.
int MainWindow(int iWindow);

} // namespace ChildWindow
