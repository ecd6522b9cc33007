// The child windows of the main windows: their registry, opening (or reusing) them, the menus
// of the active MDI child in the frame, and what the children report.
#include "app/ChildWindow.h"
#include "app/Main.h"
#include "app/Window.h"
#include "app/WindowKinds.h"
#include "app/WindowStart.h"
#include "common/UtilityGui.h"
#include "platform/EventHub.h"
#include "platform/ProgramEvents.h"
#include "platform/WindowFrame.h"
#include "platform/WindowRegistry.h"

#include <QAction>
#include <QActionGroup>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>

#include <algorithm>
#include <cmath>

namespace WindowStart {
namespace {

// The child registry of the whole program, in the order the children were added.
std::vector<uChildWindow> mChildWindow;

const char* MdiTitle(int iKind) {
    switch (iKind) {
    case WindowKindPreferences: return "Child - Preferences";
    case WindowKindSelectInstrument: return "Child - Select Device";
    case WindowKindScpiCommand: return "Child - SCPI-Command";
    case WindowKindScreenshot: return "Child - Screenshot";
    case WindowKindScreenshotViewer: return "Child - ScreenshotViewer";
    case WindowKindWaveform: return "Child - Waveform";
    case WindowKindWaveformViewer: return "Child - WaveformViewer";
    default: return "";
    }
}

// The window of an existing child comes forward.
void Reuse(uWindowStart* pWindow, const uChildWindow& child) {
    WindowFrame* pFrame = ChildWindow::Find(child.iWindow);
    QMdiSubWindow* pMdiFrame = ChildWindow::MdiFrame(child.iWindow);
    if (child.iKind == WindowKindPreferences) {
        if (child.fMdi) {
            Utility::RestoreMinimised(pMdiFrame);
            if (pMdiFrame && pMdiFrame->mdiArea()) pMdiFrame->mdiArea()->setActiveSubWindow(pMdiFrame);
            EventHub::PostEvent(EventActivateWindow, child.iWindow);
        } else {
            Utility::RestoreMinimised(pFrame);
            pFrame->raise();
            pFrame->activateWindow();
        }
        return;
    }
    if (child.fMdi) {
        Utility::RestoreMinimised(pMdiFrame);
        EventHub::PostEvent(EventActivateChild, pWindow->iWindow, 0, 0, ChildWindow::Data(child.iWindow));
    } else {
        Utility::RestoreMinimised(pFrame);
        pFrame->raise();
        pFrame->activateWindow();
    }
}

bool IsViewer(int iKind) { return iKind == WindowKindScreenshotViewer || iKind == WindowKindWaveformViewer; }

// A capture window is paired with the viewer of its kind.
void LinkViewer(int iCapture, int iViewer, int fMdiRequest) {
    if (iCapture != 0 && iViewer != 0 && ChildWindow::Find(iCapture)) {
        EventHub::PostEvent(EventLinkViewer, iCapture, iViewer, fMdiRequest);
    }
}

// Opens or reuses the child of the kind; iCapture is the capture window that asked for a viewer.
int OpenChild(int iWindow, int iKind, int fMdi, int iCapture = 0) {
    uWindowStart* pWindow = nullptr;
    if (!GetInstance(iWindow, &pWindow)) return 0;
    const int iExisting = FindChild(iKind == WindowKindPreferences ? -1 : iWindow, iKind);
    if (iExisting != 0) {
        uChildWindow* pChild = nullptr;
        if (GetChild(iExisting, &pChild) && ChildWindow::Find(iExisting)) {
            Reuse(pWindow, *pChild);
            if (IsViewer(iKind)) LinkViewer(iCapture, iExisting, fMdi);
        }
        return 0;
    }
    int iChild = 0;
    if (fMdi) {
        if (!pWindow->pMdiArea) return 0;
        const int iNew = WindowRegistry::NewWindowNumber();
        if (!ChildWindow::CreateMdiFrame(pWindow->pMdiArea, iNew, MdiTitle(iKind))) {
            WindowRegistry::Release(iNew);
            return 0;
        }
        iChild = WindowKinds::Open(iKind, iWindow, iNew, &pWindow->info);
        // An MDI child that its module did not fill would stay behind empty and unregistered.
        if (iChild == 0) ChildWindow::Discard(iNew);
        else KeepInArea(ChildWindow::MdiFrame(iChild));
    } else {
        iChild = WindowKinds::Open(iKind, iWindow, -1, &pWindow->info);
    }
    if (iChild != 0) {
        mChildWindow.push_back({iChild, iWindow, iKind, fMdi ? 1 : 0});
        const int iViewerKind = iKind == WindowKindScreenshot  ? WindowKindScreenshotViewer
                                : iKind == WindowKindWaveform ? WindowKindWaveformViewer
                                                               : 0;
        const int iViewer = iViewerKind != 0 ? FindChild(iWindow, iViewerKind) : 0;
        if (iViewer != 0 && ChildWindow::Find(iViewer)) LinkViewer(iChild, iViewer, 0);
        if (IsViewer(iKind)) LinkViewer(iCapture, iChild, fMdi);
    }
    UpdateMenuState(iWindow);
    return 0;
}

void ClearWindowList(uWindowStart* pWindow) {
    // An item may be the one being chosen right now: it goes once its signal is done.
    for (const QPointer<QAction>& pItem : pWindow->mWindowList) {
        if (!pItem) continue;
        for (QObject* pOwner : pItem->associatedObjects()) {
            if (auto* pMenu = qobject_cast<QMenu*>(pOwner)) pMenu->removeAction(pItem);
        }
        pItem->deleteLater();
    }
    pWindow->mWindowList.clear();
}

QMenu* WindowListMenu(QMenuBar* pBar) {
    const QList<QAction*> mTitles = pBar ? pBar->actions() : QList<QAction*>();
    return mTitles.size() >= 2 ? mTitles[mTitles.size() - 2]->menu() : nullptr;
}

} // namespace

const std::vector<uChildWindow>& Children() { return mChildWindow; }

int FindChild(int iOwner, int iKind, int) {
    for (const uChildWindow& child : mChildWindow) {
        if ((iOwner == -1 || child.iOwner == iOwner) && (iKind == 0 || child.iKind == iKind)) return child.iWindow;
    }
    return 0;
}

bool GetChild(int iWindow, uChildWindow** ppChild) {
    for (uChildWindow& child : mChildWindow) {
        if (child.iWindow == iWindow) {
            if (ppChild) *ppChild = &child;
            return true;
        }
    }
    return false;
}

int OpenPreferences(int iWindow, int fMdi) { return OpenChild(iWindow, WindowKindPreferences, fMdi); }
int OpenSelectDevice(int iWindow, int fMdi) { return OpenChild(iWindow, WindowKindSelectInstrument, fMdi); }
int OpenScpiCommand(int iWindow, int fMdi) { return OpenChild(iWindow, WindowKindScpiCommand, fMdi); }
int OpenScreenshot(int iWindow, int fMdi) { return OpenChild(iWindow, WindowKindScreenshot, fMdi); }
int OpenWaveform(int iWindow, int fMdi) { return OpenChild(iWindow, WindowKindWaveform, fMdi); }

int OpenScreenshotViewer(int iWindow, int fMdi, int iCapture) {
    return OpenChild(iWindow, WindowKindScreenshotViewer, fMdi, iCapture);
}

int OpenWaveformViewer(int iWindow, int fMdi, int iCapture) {
    return OpenChild(iWindow, WindowKindWaveformViewer, fMdi, iCapture);
}

int ViewerForm(int fCaptureMdi, bool fIndependent, bool fCtrl) {
    if (fCaptureMdi) return fIndependent || fCtrl ? 0 : 1;
    return fCtrl && !fIndependent ? 1 : 0;
}

void OpenViewer(int iWindow, int iKind, int fCaptureMdi, int iCapture, bool fCtrl) {
    const int fMdi = ViewerForm(fCaptureMdi, WindowOpenIndependent(), fCtrl);
    if (iKind == WindowKindScreenshotViewer) OpenScreenshotViewer(iWindow, fMdi, iCapture);
    else if (iKind == WindowKindWaveformViewer) OpenWaveformViewer(iWindow, fMdi, iCapture);
}

int OpenChildByKind(int iWindow, int iKind, int fMdi) {
    uWindowStart* pWindow = nullptr;
    switch (iKind) {
    case WindowKindPreferences:
    case WindowKindScpiCommand:
    case WindowKindScreenshot:
    case WindowKindWaveform: return OpenChild(iWindow, iKind, fMdi);
    case WindowKindScreenshotViewer:
        return OpenScreenshotViewer(iWindow, fMdi, FindChild(iWindow, WindowKindScreenshot));
    case WindowKindWaveformViewer: return OpenWaveformViewer(iWindow, fMdi, FindChild(iWindow, WindowKindWaveform));
    case WindowKindSelectInstrument:
        if (GetInstance(iWindow, &pWindow) && !pWindow->info.fConnected) OpenSelectDevice(iWindow, fMdi);
        return 0;
    default: return 0;
    }
}

void ChildOpened(int iWindow, int iChild) {
    if (!GetInstance(iWindow, nullptr)) return;
    for (const uChildWindow& child : mChildWindow) {
        if (child.iOwner == iWindow && child.fMdi && child.iWindow != iChild && ChildWindow::Find(child.iWindow)) {
            EventHub::PostEvent(EventSizeWindow, child.iWindow);
        }
    }
    uWindowStart* pWindow = nullptr;
    if (GetInstance(iWindow, &pWindow)) RefreshWindowList(pWindow);
}

void ChildActivated(int iWindow, int iChild) {
    uWindowStart* pWindow = nullptr;
    uChildWindow* pChild = nullptr;
    if (!GetInstance(iWindow, &pWindow) || !GetChild(iChild, &pChild)) return;
    if (pChild->iOwner != iWindow || !pChild->fMdi) return;
    WindowFrame* pFrame = ChildWindow::Find(iChild);
    if (!pFrame) return;
    QMenuBar* pBar = pFrame->menuBar();
    InstallMenu(pWindow, pBar);
    SetMenuItemChecked(pBar, MenuOpenSeparately, WindowOpenIndependent());
    SetMenuItemChecked(pBar, MenuDontCheckPosition, Main::WindowDontCheckPosition());
    QMdiSubWindow* pMdiFrame = ChildWindow::MdiFrame(iChild);
    if (pMdiFrame && pMdiFrame->isMaximized()) EventHub::PostEvent(EventSizeWindow, iChild);
    UpdateMenuState(iWindow);
}

void ChildClosed(int iWindow, int iChild) {
    uWindowStart* pWindow = nullptr;
    if (!GetInstance(iWindow, &pWindow)) return;
    std::erase_if(mChildWindow, [iChild](const uChildWindow& c) { return c.iWindow == iChild; });
    const bool fMdiLeft = std::any_of(mChildWindow.begin(), mChildWindow.end(), [iWindow](const uChildWindow& c) {
        return c.iOwner == iWindow && c.fMdi && ChildWindow::Find(c.iWindow);
    });
    if (!fMdiLeft) InstallMenu(pWindow, pWindow->pMenu);
    else RefreshWindowList(pWindow);
    UpdateMenuState(iWindow);
}

void ActivateChild(int iWindow, int iChild) {
    uWindowStart* pWindow = nullptr;
    uChildWindow* pChild = nullptr;
    if (!GetInstance(iWindow, &pWindow) || !GetChild(iChild, &pChild)) return;
    QMdiSubWindow* pMdiFrame = ChildWindow::MdiFrame(iChild);
    if (pChild->iOwner != iWindow || !pChild->fMdi || !pMdiFrame || !pWindow->pMdiArea) return;
    pWindow->pMdiArea->setActiveSubWindow(pMdiFrame);
    if (pMdiFrame->isMaximized()) EventHub::PostEvent(EventSizeWindow, iChild);
    EventHub::PostEvent(EventActivateWindow, iChild);
}

void InstallMenu(uWindowStart* pWindow, QMenuBar* pBar) {
    if (!pWindow || !pWindow->pFrame || !pBar || pWindow->pShownMenu == pBar) return;
    QMenuBar* pShown = pWindow->pFrame->menuBar();
    ClearWindowList(pWindow);
    pShown->clear();
    for (QAction* pTitle : pBar->actions()) pShown->addAction(pTitle);
    pWindow->pShownMenu = pBar;
    RefreshWindowList(pWindow);
    pShown->update();
}

void RefreshWindowList(uWindowStart* pWindow) {
    if (!pWindow || !pWindow->pFrame) return;
    ClearWindowList(pWindow);
    QMenu* pMenu = WindowListMenu(pWindow->pShownMenu);
    QMdiArea* pArea = pWindow->pMdiArea;
    if (!pMenu || !pArea) return;
    QList<QMdiSubWindow*> mFrames;
    for (QMdiSubWindow* pFrame : pArea->subWindowList()) {
        auto* pChild = qobject_cast<WindowFrame*>(pFrame->widget());
        if (pChild && ChildWindow::MainWindow(pChild->Window()) == pWindow->iWindow) mFrames.push_back(pFrame);
    }
    if (mFrames.isEmpty()) return;
    pWindow->mWindowList.emplace_back(pMenu->addSeparator());
    QMdiSubWindow* pCurrent = pArea->currentSubWindow();
    int iItem = MenuWindowListFirst;
    for (QMdiSubWindow* pFrame : mFrames) {
        const int iNumber = iItem - MenuWindowListFirst + 1;
        QAction* pAction = pMenu->addAction(QString("&%1 %2").arg(iNumber).arg(pFrame->widget()->windowTitle()));
        pAction->setData(iItem++);
        pAction->setCheckable(true);
        pAction->setChecked(pFrame == pCurrent);
        QPointer<QMdiArea> pAreaGuard = pArea;
        QPointer<QMdiSubWindow> pFrameGuard = pFrame;
        // A minimised child chosen here comes back (the area alone would activate it minimised).
        QObject::connect(pAction, &QAction::triggered, pAction, [pAreaGuard, pFrameGuard] {
            if (!pAreaGuard || !pFrameGuard) return;
            Utility::RestoreMinimised(pFrameGuard);
            pAreaGuard->setActiveSubWindow(pFrameGuard);
        });
        pWindow->mWindowList.emplace_back(pAction);
    }
}

void KeepInArea(QMdiSubWindow* pMdiFrame) {
    QMdiArea* pArea = pMdiFrame ? pMdiFrame->mdiArea() : nullptr;
    // An area not shown yet has no size of its own to go by.
    if (!pArea || !pArea->isVisible() || pMdiFrame->isMaximized() || pMdiFrame->isMinimized()) return;
    // The area without scroll bars: a bar that children outside it brought (the area was smaller a
    // moment ago) goes once they are inside, and must not push them from their places.
    const QSize area = pArea->contentsRect().size();
    QRect frame = pMdiFrame->geometry();
    frame.setSize(frame.size().boundedTo(area).expandedTo(pMdiFrame->minimumSize()));
    frame.moveLeft(std::clamp(frame.x(), 0, std::max(0, area.width() - frame.width())));
    frame.moveTop(std::clamp(frame.y(), 0, std::max(0, area.height() - frame.height())));
    if (frame != pMdiFrame->geometry()) pMdiFrame->setGeometry(frame);
}

void ShowSeparateChildren(int iWindow) {
    if (!GetInstance(iWindow, nullptr)) return;
    for (const uChildWindow& child : mChildWindow) {
        WindowFrame* pFrame = ChildWindow::Find(child.iWindow);
        if (child.iOwner != iWindow || child.fMdi || !pFrame) continue;
        Utility::RestoreMinimised(pFrame);
        pFrame->raise();
        pFrame->activateWindow();
        // The desktops are measured in device pixels.
        const double d = Utility::DesktopScale();
        auto device = [d](int i) { return static_cast<int>(std::lround(i * d)); };
        const QRect frame = pFrame->frameGeometry();
        Window::uWindowPosition position{device(frame.x()),     device(frame.y()),      device(pFrame->width()),
                                         device(pFrame->height()), device(frame.width()), device(frame.height()),
                                         Window::StateNormal};
        if (!Window::IsOnDesktop(&position)) pFrame->move(10, 10);
    }
}

} // namespace WindowStart
