#include "app/ChildWindow.h"

#include "app/Main.h"
#include "app/Window.h"
#include "app/WindowAbout.h"
#include "app/WindowStart.h"
#include "common/UtilityGui.h"
#include "common/WindowLog.h"
#include "platform/ProgramEvents.h"
#include "platform/WindowFrame.h"
#include "platform/WindowRegistry.h"

#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QPointer>

#include <algorithm>
#include <map>
#include <utility>

namespace ChildWindow {
namespace {

struct uChild {
    QPointer<WindowFrame> pFrame;
    QPointer<QMdiSubWindow> pMdiFrame;
    int iMainWindow = 0;
    int iKind = 0;
    bool fInstalled = false;
    bool fMenu = false;
    uHooks hooks;
};

// The open children by window number; GUI thread only.
std::map<int, uChild> mChild;

uChild* Lookup(int iWindow) {
    const auto it = mChild.find(iWindow);
    if (it == mChild.end() || !it->second.pFrame) return nullptr;
    return &it->second;
}

void PostActivated(int iWindow) {
    const uChild* pChild = Lookup(iWindow);
    if (!pChild || !pChild->pMdiFrame || !pChild->fMenu) return;
    EventHub::PostEvent(EventChildActivated, pChild->iMainWindow,
                        reinterpret_cast<std::intptr_t>(pChild->pFrame->menuBar()), iWindow);
}

void HandleMenu(int iWindow, int iItem, bool fCtrl) {
    uChild* pChild = Lookup(iWindow);
    if (!pChild) return;
    switch (iItem) {
    case WindowStart::MenuCloseWindow:
    case WindowStart::MenuCloseMdiWindow: Close(iWindow); return;
    case WindowStart::MenuShowMainWindow: {
        WindowStart::uWindowStart* pMain = nullptr;
        if (WindowStart::GetInstance(pChild->iMainWindow, &pMain) && pMain->pFrame) {
            QWidget* pMainFrame = pMain->pFrame;
            Utility::RestoreMinimised(pMainFrame);
            pMainFrame->raise();
            pMainFrame->activateWindow();
        }
        return;
    }
    case WindowStart::MenuLog: WindowLog::Show(iWindow); return;
    case WindowStart::MenuAbout: WindowAbout::Open(iWindow); return;
    default:
        if (pChild->hooks.fnMenu) pChild->hooks.fnMenu(iItem, fCtrl);
        return;
    }
}

} // namespace

std::int64_t EventData(const EventHub::uEvent& event) {
    const std::int64_t* p = event.pData.Get<std::int64_t>();
    return p ? *p : 0;
}

EventHub::Payload Data(std::int64_t iValue) { return EventHub::Payload::Of<std::int64_t>(iValue); }

WindowFrame* CreateMdiFrame(QMdiArea* pArea, int iWindow, const QString& sTitle) {
    if (!pArea) return nullptr;
    auto* pFrame = new WindowFrame(iWindow);
    pFrame->setWindowTitle(sTitle);
    pFrame->setAttribute(Qt::WA_DeleteOnClose, false);
    QMdiSubWindow* pMdiFrame = pArea->addSubWindow(pFrame);
    pMdiFrame->setAttribute(Qt::WA_DeleteOnClose, false);
    Utility::KeepMaximisedWhenMinimised(pMdiFrame);
    pMdiFrame->hide();
    uChild& child = mChild[iWindow];
    child.pFrame = pFrame;
    child.pMdiFrame = pMdiFrame;
    return pFrame;
}

void Discard(int iWindow) {
    const auto it = mChild.find(iWindow);
    if (it == mChild.end()) return;
    QPointer<QMdiSubWindow> pMdiFrame = it->second.pMdiFrame;
    QPointer<WindowFrame> pFrame = it->second.pFrame;
    mChild.erase(it);
    if (pMdiFrame) {
        if (QMdiArea* pArea = pMdiFrame->mdiArea()) pArea->removeSubWindow(pMdiFrame);
        pMdiFrame->deleteLater();
    }
    if (pFrame) pFrame->deleteLater();
    WindowRegistry::Release(iWindow);
}

WindowFrame* Find(int iWindow) {
    uChild* pChild = Lookup(iWindow);
    return pChild ? pChild->pFrame.data() : nullptr;
}

QMdiSubWindow* MdiFrame(int iWindow) {
    uChild* pChild = Lookup(iWindow);
    return pChild ? pChild->pMdiFrame.data() : nullptr;
}

void ResizeMdiFrame(QMdiSubWindow* pMdiFrame, int iInnerWidth, int iInnerHeight) {
    const QMargins m = pMdiFrame->contentsMargins();
    pMdiFrame->resize(iInnerWidth + m.left() + m.right(), iInnerHeight + m.top() + m.bottom());
}

void ResizeNew(QWidget* pOuter, bool fSaved, int iWidth, int iHeight, bool fReasons) {
    auto* pMdiFrame = qobject_cast<QMdiSubWindow*>(pOuter);
    if (fSaved && pMdiFrame) {
        ResizeMdiFrame(pMdiFrame, iWidth, iHeight);
        return;
    }
    auto* pWindow = qobject_cast<QMainWindow*>(pMdiFrame ? pMdiFrame->widget() : pOuter);
    if (!fSaved && fReasons && pWindow) {
        const QMargins m = pMdiFrame ? pMdiFrame->contentsMargins() : QMargins();
        iWidth = std::max(iWidth, Utility::StatusBarWidthFor(pWindow->statusBar(), Utility::UsualReason) + m.left() + m.right());
    }
    pOuter->resize(iWidth, iHeight);
}

int MainWindow(int iWindow) {
    uChild* pChild = Lookup(iWindow);
    return pChild && pChild->fInstalled ? pChild->iMainWindow : 0;
}

WindowFrame* Begin(int iMainWindow, int iChild, int iKind, const QString& sTitle) {
    Utility::KeepEscapeForPopups();
    if (iChild == -1) {
        const int iWindow = WindowRegistry::NewWindowNumber();
        auto* pFrame = new WindowFrame(iWindow);
        pFrame->setWindowTitle(sTitle);
        uChild& child = mChild[iWindow];
        child.pFrame = pFrame;
        child.iMainWindow = iMainWindow;
        child.iKind = iKind;
        return pFrame;
    }
    uChild* pChild = Lookup(iChild);
    if (!pChild || pChild->fInstalled || !pChild->pMdiFrame) return nullptr;
    pChild->iMainWindow = iMainWindow;
    pChild->iKind = iKind;
    return pChild->pFrame;
}

QMenuBar* BuildMenu(WindowFrame* pFrame) {
    uChild* pChild = pFrame ? Lookup(pFrame->Window()) : nullptr;
    if (!pChild) return nullptr;
    QMenuBar* pBar = pFrame->menuBar();
    for (QAction* pAction : pBar->actions()) {
        if (QMenu* pMenu = pAction->menu()) pMenu->deleteLater();
    }
    pBar->clear();
    pChild->fMenu = true;
    const int fMdi = pChild->pMdiFrame ? 1 : 0;
    WindowStart::CreateMenu(pBar, fMdi ? pChild->iMainWindow : pFrame->Window(), pChild->iKind, fMdi);
    WindowStart::SetMenuItemChecked(pBar, WindowStart::MenuOpenSeparately, WindowStart::WindowOpenIndependent());
    WindowStart::SetMenuItemChecked(pBar, WindowStart::MenuDontCheckPosition, Main::WindowDontCheckPosition());
    pBar->setVisible(!fMdi);
    return pBar;
}

void Install(WindowFrame* pFrame, uHooks hooks) {
    uChild* pChild = pFrame ? Lookup(pFrame->Window()) : nullptr;
    if (!pChild || pChild->fInstalled) return;
    pChild->fInstalled = true;
    pChild->hooks = std::move(hooks);
    const int iWindow = pFrame->Window();
    using EventHub::uEvent;
    EventHub::Bind(EventMenu, iWindow, [iWindow](const uEvent& e) {
        HandleMenu(iWindow, static_cast<int>(e.iObject), e.iType != 0);
    });
    EventHub::Bind(EventCloseWindowRequest, iWindow, [iWindow](const uEvent&) { Close(iWindow); });
    EventHub::Bind(EventCloseWindow, iWindow, [iWindow](const uEvent& e) {
        Close(iWindow, static_cast<int>(EventData(e)));
    });
    EventHub::Bind(EventActivateWindow, iWindow, [iWindow](const uEvent&) { PostActivated(iWindow); });
    EventHub::Bind(EventSizeWindow, iWindow, [iWindow](const uEvent&) {
        if (uChild* p = Lookup(iWindow); p && p->hooks.fnLayout) p->hooks.fnLayout();
    });
    EventHub::Bind(EventUpdateMenuState, iWindow, [iWindow](const uEvent& e) {
        if (WindowFrame* p = Find(iWindow)) {
            WindowStart::SetMenuItemEnabled(p->menuBar(), static_cast<int>(e.iObject), EventData(e) == 0);
        }
    });

    const int iMain = pChild->iMainWindow;
    if (QMdiSubWindow* pMdiFrame = pChild->pMdiFrame) {
        QMdiArea* pArea = pMdiFrame->mdiArea();
        QObject::connect(pArea, &QMdiArea::subWindowActivated, pFrame, [iWindow, pMdiFrame](QMdiSubWindow* p) {
            if (p && p == pMdiFrame) PostActivated(iWindow);
        });
        QObject::connect(pMdiFrame, &QMdiSubWindow::windowStateChanged, pFrame,
                         [iWindow, iMain](Qt::WindowStates old, Qt::WindowStates now) {
                             const Qt::WindowStates shape = Qt::WindowMinimized | Qt::WindowMaximized;
                             if ((old & shape) != (now & shape)) {
                                 EventHub::PostEvent(EventChildOpened, iMain, 0, 0, Data(iWindow));
                             }
                         });
        pFrame->show();
        pMdiFrame->show();
        pArea->setActiveSubWindow(pMdiFrame);
    } else {
        pFrame->show();
    }
    EventHub::PostEvent(EventChildOpened, iMain, 0, 0, Data(iWindow));
}

int Open(int iMainWindow, int iChild, int iKind, const QString& sTitle, bool fMenu,
         const std::function<void(WindowFrame* pFrame, QMenuBar* pBar)>& fnBuild, uHooks hooks) {
    WindowFrame* pFrame = Begin(iMainWindow, iChild, iKind, sTitle);
    if (!pFrame) return 0;
    QMenuBar* pBar = fMenu ? BuildMenu(pFrame) : nullptr;
    if (fnBuild) fnBuild(pFrame, pBar);
    Install(pFrame, std::move(hooks));
    return pFrame->Window();
}

void Close(int iWindow, int iClosingOwner) {
    uChild* pChild = Lookup(iWindow);
    if (!pChild) return;
    uChild child = std::move(*pChild);
    mChild.erase(iWindow);
    if (child.hooks.fnClosing) child.hooks.fnClosing();
    const int fMdi = child.pMdiFrame ? 1 : 0;
    Window::SavePosition(child.pFrame, child.iKind, fMdi);
    EventHub::UnbindWindow(iWindow);
    WindowRegistry::Release(iWindow);
    if (child.pMdiFrame) {
        QObject::disconnect(child.pMdiFrame, nullptr, child.pFrame, nullptr);
        if (QMdiArea* pArea = child.pMdiFrame->mdiArea()) {
            QObject::disconnect(pArea, nullptr, child.pFrame, nullptr);
            pArea->removeSubWindow(child.pMdiFrame);
        }
        child.pMdiFrame->hide();
        child.pMdiFrame->deleteLater();
    }
    child.pFrame->hide();
    child.pFrame->deleteLater();
    EventHub::PostEvent(EventChildClosed, child.iMainWindow, 0, 0, Data(iWindow));
    if (iClosingOwner != 0) EventHub::PostEvent(EventCloseWindowRequest, iClosingOwner);
}

} // namespace ChildWindow
