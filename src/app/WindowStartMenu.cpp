// The menus that every window shares, the main window's toolbar, its menu dispatcher and the
// enabled state of its items.
#include "app/ChildWindow.h"
#include "app/Main.h"
#include "app/Window.h"
#include "app/WindowAbout.h"
#include "app/WindowDeleteWorkspace.h"
#include "app/WindowKinds.h"
#include "app/WindowSaveWorkspace.h"
#include "app/WindowStart.h"
#include "common/Ini.h"
#include "common/UtilityGui.h"
#include "common/WindowLog.h"
#include "icons/VectorIcon.h"
#include "platform/EventHub.h"
#include "platform/ProgramEvents.h"
#include "platform/WindowFrame.h"

#include <QAction>
#include <QApplication>
#include <QGuiApplication>
#include <QImage>
#include <QLayout>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPixmap>
#include <QToolBar>

namespace WindowStart {
namespace {

bool CtrlHeld() { return QGuiApplication::keyboardModifiers().testFlag(Qt::ControlModifier); }

// The text of an item as a tooltip: without "&" and without the part after a tab.
QString ToolTip(const QString& sText) {
    QString s = sText.section('\t', 0, 0);
    s.remove('&');
    return s;
}

void ForEachItem(QMenu* pMenu, const std::function<void(QAction*)>& fn) {
    for (QAction* pAction : pMenu->actions()) {
        if (QMenu* pSub = pAction->menu()) ForEachItem(pSub, fn);
        else fn(pAction);
    }
}

// Toggles one of the two check-mark preferences from a window's menu bar.
void TogglePreference(QMenuBar* pBar, int iItem, const char* sKey, bool fValue, void (*fnSet)(bool)) {
    if (!pBar) return;
    fnSet(!fValue);
    SetMenuItemChecked(pBar, iItem, !fValue);
    if (uIni* pIni = Main::ConfigIni()) {
        Ini::SelectSection(pIni, "General");
        Ini::WriteBool(pIni, sKey, fValue ? 0 : 1);
    }
}

void PostToMdiChildren(int iWindow, int iEvent) {
    for (const uChildWindow& child : Children()) {
        if (child.iOwner == iWindow && child.fMdi && ChildWindow::Find(child.iWindow)) {
            EventHub::PostEvent(iEvent, child.iWindow);
        }
    }
}

void PostToMdiChildrenWith(int iWindow, int iItem, bool fDisable) {
    for (const uChildWindow& child : Children()) {
        if (child.iOwner == iWindow && child.fMdi && ChildWindow::Find(child.iWindow)) {
            EventHub::PostEvent(EventUpdateMenuState, child.iWindow, iItem, 0, ChildWindow::Data(fDisable ? 1 : 0));
        }
    }
}

void Forward(uWindowStart* pWindow, int iItem, bool fCtrl) {
    if (pWindow->pMdiArea) {
        QMdiSubWindow* pActive = pWindow->pMdiArea->currentSubWindow();
        auto* pChild = pActive ? qobject_cast<WindowFrame*>(pActive->widget()) : nullptr;
        if (pChild && ChildWindow::Find(pChild->Window())) {
            EventHub::PostEvent(::EventMenu, pChild->Window(), iItem, fCtrl ? 1 : 0);
        }
        return;
    }
    auto* pActive = qobject_cast<WindowFrame*>(QApplication::activeWindow());
    uChildWindow* pEntry = nullptr;
    if (pActive && GetChild(pActive->Window(), &pEntry) && pEntry->iOwner == pWindow->iWindow &&
        ChildWindow::Find(pActive->Window())) {
        EventHub::PostEvent(::EventMenu, pActive->Window(), iItem, fCtrl ? 1 : 0);
    }
}

} // namespace

QAction* AddMenuItem(QMenu* pMenu, int iTarget, int iItem, const QString& sText) {
    QAction* pAction = pMenu->addAction(sText);
    pAction->setData(iItem);
    QObject::connect(pAction, &QAction::triggered, pAction, [iTarget, iItem] {
        EventHub::PostEvent(::EventMenu, iTarget, iItem, CtrlHeld() ? 1 : 0);
    });
    return pAction;
}

QAction* FindMenuItem(QMenuBar* pBar, int iItem) {
    if (!pBar) return nullptr;
    QAction* pFound = nullptr;
    for (QAction* pTitle : pBar->actions()) {
        if (QMenu* pMenu = pTitle->menu()) {
            ForEachItem(pMenu, [&](QAction* p) {
                if (!pFound && !p->isSeparator() && p->data().isValid() && p->data().toInt() == iItem) pFound = p;
            });
        }
    }
    return pFound;
}

void SetMenuItemEnabled(QMenuBar* pBar, int iItem, bool fEnabled) {
    if (QAction* p = FindMenuItem(pBar, iItem)) p->setEnabled(fEnabled);
}

void SetMenuItemChecked(QMenuBar* pBar, int iItem, bool fChecked) {
    if (QAction* p = FindMenuItem(pBar, iItem)) p->setChecked(fChecked);
}

void CreateMenu(QMenuBar* pBar, int iTarget, int iKind, int fMdi) {
    const bool fFull = fMdi == 1 || iKind == WindowKindStart;
    // The script window is a top-level window of its own with a short menu.
    const bool fScript = !fFull && iKind == WindowKindScript;
    const bool fSaves = iKind == WindowKindScpiCommand || iKind == WindowKindScreenshot ||
                        iKind == WindowKindScreenshotViewer;
    auto item = [iTarget](QMenu* pMenu, int iItem, const QString& sText) {
        return AddMenuItem(pMenu, iTarget, iItem, sText);
    };

    QMenu* pMenu = pBar->addMenu("&File");
    if (fScript) {
        item(pMenu, MenuNewScript, "&New Script");
        item(pMenu, MenuCloseWindow, "&Close Window");
        pMenu->addSeparator();
        item(pMenu, MenuExit, "&Exit");
    } else if (fFull) {
        item(pMenu, MenuNewWindow, "&New Window");
        item(pMenu, MenuCloseWindow, "&Close Window");
        item(pMenu, MenuCloseMdiWindow, "Close &MDI-Window");
        item(pMenu, MenuNewScript, "&New Script");
    }
    if (fSaves) {
        pMenu->addSeparator();
        item(pMenu, MenuSaveAs, "&Save As...");
    }
    if (fFull) {
        pMenu->addSeparator();
        item(pMenu, MenuPreferences, "&Preferences...");
        pMenu->addSeparator();
        item(pMenu, MenuExit, "&Exit");
    } else if (!fScript) {
        pMenu->addSeparator();
        item(pMenu, MenuCloseWindow, "&Close Window");
    }

    pMenu = pBar->addMenu("&Edit");
    item(pMenu, MenuCopy, "&Copy");

    if (fFull) {
        pMenu = pBar->addMenu("&Instrument");
        item(pMenu, MenuSelect, "&Select...");
        item(pMenu, MenuDisconnect, "&Disconnect");
    }
    if (iKind == WindowKindSelectInstrument) {
        // Without an "&Instrument" title these follow "&Copy".
        pMenu->addSeparator();
        item(pMenu, MenuList, "&List");
        item(pMenu, MenuIcons, "&Icons");
        pMenu->addSeparator();
        item(pMenu, MenuRefresh, "&Refresh\tCtrl+R, F5");
        item(pMenu, MenuConnect, "&Connect");
    }

    if (fFull) {
        pMenu = pBar->addMenu("F&unction");
        item(pMenu, MenuScpiCommand, "SCPI-&Command...\t(+Ctrl)");
        pMenu->addSeparator();
        item(pMenu, MenuScreenshot, "&Screenshot...\t(+Ctrl)");
        item(pMenu, MenuWaveform, "&Waveform...\t(+Ctrl)");
    }

    if (iKind == WindowKindScreenshot || iKind == WindowKindScreenshotViewer) {
        pMenu = pBar->addMenu("&View");
        if (iKind == WindowKindScreenshot) item(pMenu, MenuShow, "Sh&ow...\t(+Ctrl)");
        item(pMenu, MenuScale, "&Scale");
        item(pMenu, MenuAlignWindow, "&Align window");
        item(pMenu, MenuFullscreen, iKind == WindowKindScreenshotViewer ? "&Fullscreen\tF11" : "&Fullscreen");
    }

    pMenu = pBar->addMenu("&Window");
    if (fFull) {
        item(pMenu, MenuOpenSeparately, "Open &separately")->setCheckable(true);
        item(pMenu, MenuDontCheckPosition, "Don't check position")->setCheckable(true);
        item(pMenu, MenuShowWindows, "Show &Windows");
        QMenu* pWorkspace = pMenu->addMenu("Wor&kspace");
        item(pWorkspace, MenuSaveWorkspace, "&Save Workspace...");
        item(pWorkspace, MenuDeleteWorkspace, "&Delete Workspace...");
        pWorkspace->addSeparator();
        CreateMenuWorkspaces(pWorkspace, iTarget);
        pMenu->addSeparator();
        item(pMenu, MenuMaximize, "Ma&ximize");
        item(pMenu, MenuAdapt, "&Adapt");
        item(pMenu, MenuCascade, "&Cascade");
        item(pMenu, MenuTileVertically, "Tile &vertically");
        item(pMenu, MenuTileHorizontally, "Tile &horizontally");
        item(pMenu, MenuNext, "&Next");
        item(pMenu, MenuPrevious, "&Previous");
    } else if (fScript) {
        item(pMenu, MenuDontCheckPosition, "Don't check position")->setCheckable(true);
    } else {
        item(pMenu, MenuShowMainWindow, "Show &Main Window");
    }

    pMenu = pBar->addMenu("&Help");
    item(pMenu, MenuLog, "&Log...");
    item(pMenu, MenuAbout, "&About...");
}

QMenuBar* RecreateMenu(int iWindow) {
    uWindowStart* pWindow = nullptr;
    if (!GetInstance(iWindow, &pWindow) || !pWindow->pFrame) return nullptr;
    // The frame's visible bar shows the menus of this bar or of the active MDI child.
    auto* pBar = new QMenuBar(pWindow->pFrame);
    pBar->hide();
    CreateMenu(pBar, iWindow, WindowKindStart, 0);
    for (int iItem : {MenuCloseWindow, MenuCloseMdiWindow, MenuCopy, MenuDisconnect}) {
        SetMenuItemEnabled(pBar, iItem, false);
    }
    SetMenuItemChecked(pBar, MenuOpenSeparately, WindowOpenIndependent());
    SetMenuItemChecked(pBar, MenuDontCheckPosition, Main::WindowDontCheckPosition());
    return pBar;
}

namespace {

struct uButton {
    int iItem;
    QImage (*fnIcon)(int);
    const char* sText;
};
// The toolbar's buttons in order; item 0 is a separator.
const uButton mButtons[] = {
        {MenuNewWindow, VectorIcon::IconNewWindow, "&New Window"},
        {MenuNewScript, VectorIcon::IconNewScript, "&New Script"},
        {MenuPreferences, VectorIcon::IconPreferences, "&Preferences..."},
        {0, nullptr, nullptr},
        {MenuSelect, VectorIcon::IconSelectInstrument, "&Select..."},
        {MenuDisconnect, VectorIcon::IconDisconnect, "&Disconnect"},
        {0, nullptr, nullptr},
        {MenuScpiCommand, VectorIcon::IconScpiCommand, "SCPI-&Command..."},
        {MenuScreenshot, VectorIcon::IconScreenshot, "&Screenshot..."},
        {MenuWaveform, VectorIcon::IconWaveform, "&Waveform..."},
        {0, nullptr, nullptr},
        {MenuMaximize, VectorIcon::IconMaximize, "Ma&ximize"},
        {MenuAdapt, VectorIcon::IconAdapt, "&Adapt"},
        {MenuCascade, VectorIcon::IconCascade, "&Cascade"},
        {MenuTileVertically, VectorIcon::IconTileVertically, "Tile &vertically"},
        {MenuTileHorizontally, VectorIcon::IconTileHorizontally, "Tile &horizontally"},
        {0, nullptr, nullptr},
        {MenuShowWindows, VectorIcon::IconShowWindows, "Show &Windows"},
};

// The button's picture drawn at iPixels device pixels; a null icon when it cannot be drawn.
QIcon ButtonIcon(const uButton& button, const QToolBar* pToolBar, int iPixels) {
    const QImage image = button.fnIcon(iPixels);
    if (image.isNull()) return {};
    QPixmap pixmap = QPixmap::fromImage(image);
    pixmap.setDevicePixelRatio(pToolBar->devicePixelRatioF());
    return QIcon(pixmap);
}

} // namespace

QToolBar* CreateToolBar(int iWindow, int iSize) {
    uWindowStart* pWindow = nullptr;
    if (!GetInstance(iWindow, &pWindow) || !pWindow->pFrame) return nullptr;
    auto* pToolBar = pWindow->pFrame->addToolBar("Toolbar");
    pToolBar->setMovable(false);
    pToolBar->setFloatable(false);
    const int iPixels = Utility::SetToolBarIconSize(pToolBar, iSize);
    for (const uButton& button : mButtons) {
        if (button.iItem == 0) {
            pToolBar->addSeparator();
            continue;
        }
        const QIcon icon = ButtonIcon(button, pToolBar, iPixels);
        if (icon.isNull()) continue;
        QAction* pAction = pToolBar->addAction(icon, ToolTip(button.sText));
        pAction->setData(button.iItem);
        pAction->setToolTip(ToolTip(button.sText));
        const int iItem = button.iItem;
        QObject::connect(pAction, &QAction::triggered, pAction, [iWindow, iItem] {
            EventHub::PostEvent(::EventMenu, iWindow, iItem, CtrlHeld() ? 1 : 0);
        });
    }
    return pToolBar;
}

void SetToolBarSize(int iSize) {
    for (int iWindow : Windows()) {
        uWindowStart* pWindow = nullptr;
        if (!GetInstance(iWindow, &pWindow) || !pWindow->pToolBar || pWindow->iToolBarSize == iSize) continue;
        pWindow->iToolBarSize = iSize;
        const int iPixels = Utility::SetToolBarIconSize(pWindow->pToolBar, iSize);
        for (QAction* pAction : pWindow->pToolBar->actions()) {
            for (const uButton& button : mButtons) {
                if (button.iItem == 0 || button.iItem != pAction->data().toInt()) continue;
                const QIcon icon = ButtonIcon(button, pWindow->pToolBar, iPixels);
                if (!icon.isNull()) pAction->setIcon(icon);
            }
        }
        // The area shrinks or grows with the toolbar now, not at the next turn of the loop (the
        // toolbar's layout asks, then the window's); the children it shrank away from stay whole
        // inside it.
        for (int i = 0; i < 3; ++i) QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        if (pWindow->pFrame && pWindow->pFrame->layout()) pWindow->pFrame->layout()->activate();
        KeepChildrenInside(iWindow);
    }
}

void EventMenu(int iWindow, int iItem, bool fCtrl) {
    uWindowStart* pWindow = nullptr;
    if (!GetInstance(iWindow, &pWindow)) return;
    const int fMdiForm = WindowOpenIndependent() || fCtrl ? 0 : 1;
    QMdiArea* pArea = pWindow->pMdiArea;
    switch (iItem) {
    case MenuNewWindow: EventHub::PostEvent(EventOpenMainWindow, iWindow); return;
    case MenuCloseWindow: Close(iWindow); return;
    case MenuNewScript: EventHub::PostEvent(EventOpenScriptWindow, iWindow); return;
    case MenuPreferences: OpenPreferences(iWindow, 0); return;
    case MenuExit: EventHub::PostEvent(fCtrl ? EventQuit : EventCloseAllWindows, iWindow); return;
    case MenuSelect: OpenSelectDevice(iWindow, 1); return;
    case MenuDisconnect: CloseInstrument(iWindow); return;
    case MenuScpiCommand: OpenScpiCommand(iWindow, fMdiForm); return;
    case MenuScreenshot: OpenScreenshot(iWindow, fMdiForm); return;
    case 23:
    case 24: return;
    case MenuWaveform: OpenWaveform(iWindow, fMdiForm); return;
    case MenuOpenSeparately:
        TogglePreference(pWindow->pMenu, iItem, "WindowOpenIndependent", WindowOpenIndependent(),
                         SetWindowOpenIndependent);
        return;
    case MenuDontCheckPosition:
        TogglePreference(pWindow->pMenu, iItem, "WindowDontCheckPosition", Main::WindowDontCheckPosition(),
                         Main::SetWindowDontCheckPosition);
        return;
    case MenuShowWindows: ShowSeparateChildren(iWindow); return;
    case MenuSaveWorkspace: WindowSaveWorkspace::Open(iWindow); return;
    case MenuDeleteWorkspace: WindowDeleteWorkspace::Open(iWindow); return;
    case MenuMaximize: MaximizeChild(iWindow); return;
    case MenuAdapt: AdaptChild(iWindow); return;
    case MenuCascade:
    case MenuTileVertically:
    case MenuTileHorizontally:
        if (!pArea) return;
        if (iItem == MenuCascade) CascadeChildren(iWindow);
        else TileChildren(iWindow, iItem == MenuTileVertically);
        PostToMdiChildren(iWindow, EventSizeWindow);
        return;
    case MenuNext:
    case MenuPrevious:
        if (!pArea) return;
        if (iItem == MenuNext) pArea->activateNextSubWindow();
        else pArea->activatePreviousSubWindow();
        if (QMdiSubWindow* pActive = pArea->currentSubWindow()) {
            if (auto* pChild = qobject_cast<WindowFrame*>(pActive->widget())) {
                EventHub::PostEvent(EventActivateWindow, pChild->Window());
                EventHub::PostEvent(EventSizeWindow, pChild->Window());
            }
        }
        return;
    case MenuLog: WindowLog::Show(iWindow); return;
    case MenuAbout: WindowAbout::Open(iWindow); return;
    default:
        if (iItem >= MenuWorkspaceFirst && iItem <= MenuWorkspaceLast) {
            LoadWorkspace(iWindow, WorkspaceItemName(iWindow, iItem));
            return;
        }
        Forward(pWindow, iItem, fCtrl);
        return;
    }
}

bool TopLevelMenu(int iWindow, QMenuBar* pBar, int iItem, bool fCtrl) {
    switch (iItem) {
    case MenuNewScript: EventHub::PostEvent(EventOpenScriptWindow, iWindow); return true;
    case MenuExit: EventHub::PostEvent(fCtrl ? EventQuit : EventCloseAllWindows, iWindow); return true;
    case MenuDontCheckPosition:
        TogglePreference(pBar, iItem, "WindowDontCheckPosition", Main::WindowDontCheckPosition(),
                         Main::SetWindowDontCheckPosition);
        return true;
    case MenuLog: WindowLog::Show(iWindow); return true;
    case MenuAbout: WindowAbout::Open(iWindow); return true;
    default: return false;
    }
}

void UpdateMenuState(int iWindow) {
    uWindowStart* pWindow = nullptr;
    bool fSeparate = false;
    if (GetInstance(iWindow, &pWindow)) {
        for (const uChildWindow& child : Children()) {
            if (child.iOwner == iWindow && child.fMdi == 0) fSeparate = true;
        }
        auto setItem = [pWindow](int iItem, bool fEnabled, bool fButton) {
            SetMenuItemEnabled(pWindow->pMenu, iItem, fEnabled);
            if (!fButton || !pWindow->pToolBar) return;
            for (QAction* pAction : pWindow->pToolBar->actions()) {
                if (pAction->data().toInt() == iItem) pAction->setEnabled(fEnabled);
            }
        };
        if (pWindow->pMdiArea) {
            const bool fChildren = !pWindow->pMdiArea->subWindowList().isEmpty();
            for (int iItem = MenuMaximize; iItem <= MenuPrevious; ++iItem) {
                setItem(iItem, fChildren, iItem <= MenuTileHorizontally);
            }
        }
        setItem(MenuSelect, !pWindow->info.fConnected, true);
        setItem(MenuDisconnect, pWindow->info.fConnected || pWindow->info.fLost, true);
        setItem(MenuShowWindows, fSeparate, true);
        // The connected model's capability flags: what it cannot do is not offered.
        const uInstrumentWindowInfo& info = pWindow->info;
        const bool fScreenshot = !info.fConnected || info.capabilities.bScreenshot != 0;
        const bool fWaveform = !info.fConnected || info.capabilities.bWaveform != 0;
        setItem(MenuScreenshot, fScreenshot, true);
        setItem(MenuWaveform, fWaveform, true);
        PostToMdiChildrenWith(iWindow, MenuScreenshot, !fScreenshot);
        PostToMdiChildrenWith(iWindow, MenuWaveform, !fWaveform);
    }
    const bool fOnlyOne = Main::CountTopLevelWindows() == 1;
    for (int iMain : Windows()) {
        uWindowStart* pOther = nullptr;
        if (GetInstance(iMain, &pOther)) SetMenuItemEnabled(pOther->pMenu, MenuCloseWindow, !fOnlyOne);
        PostToMdiChildrenWith(iMain, MenuCloseWindow, fOnlyOne);
    }
    if (pWindow) PostToMdiChildrenWith(iWindow, MenuShowWindows, !fSeparate);
}

void RebuildMenus(int) {
    for (int iMain : Windows()) {
        uWindowStart* pWindow = nullptr;
        if (!GetInstance(iMain, &pWindow) || !pWindow->pMenu) continue;
        const bool fShown = pWindow->pShownMenu == pWindow->pMenu;
        QMenuBar* pOld = pWindow->pMenu;
        pWindow->pMenu = RecreateMenu(iMain);
        pWindow->pShownMenu = nullptr;
        delete pOld;
        if (fShown) InstallMenu(pWindow, pWindow->pMenu);
        UpdateMenuState(iMain);
        for (const uChildWindow& child : Children()) {
            if (child.iOwner != iMain || !child.fMdi || !ChildWindow::Find(child.iWindow)) continue;
            if (child.iKind == WindowKindPreferences || child.iKind == WindowKindWaveformViewer) continue;
            WindowKinds::UpdateMenus(child.iKind, child.iWindow);
        }
        if (pWindow->pMdiArea) {
            if (QMdiSubWindow* pActive = pWindow->pMdiArea->currentSubWindow()) {
                if (auto* pChild = qobject_cast<WindowFrame*>(pActive->widget())) {
                    EventHub::PostEvent(EventActivateWindow, pChild->Window());
                }
            }
        }
    }
}

} // namespace WindowStart
