#include "windows/capture/ViewerFrame.h"

#include "app/ChildWindow.h"
#include "app/Main.h"
#include "app/Window.h"
#include "app/WindowAbout.h"
#include "app/WindowStart.h"
#include "common/Ini.h"
#include "common/UtilityGui.h"
#include "icons/VectorIcon.h"
#include "platform/EventHub.h"
#include "platform/ProgramEvents.h"
#include "platform/WindowFrame.h"

#include <QAction>
#include <QIcon>
#include <QKeySequence>
#include <QLabel>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QPainter>
#include <QPixmap>
#include <QScreen>
#include <QScrollBar>
#include <QShortcut>
#include <QStatusBar>
#include <QToolBar>

#include <cmath>
#include <utility>

namespace ViewerFrame {

Canvas::Canvas(QWidget* pParent) : QWidget(pParent) { setAttribute(Qt::WA_OpaquePaintEvent); }

void Canvas::EnsureSurface() {
    const double dRatio = devicePixelRatioF();
    const QSize pixels(std::max(1, static_cast<int>(std::lround(width() * dRatio))),
                       std::max(1, static_cast<int>(std::lround(height() * dRatio))));
    if (surface.size() == pixels && surface.devicePixelRatio() == dRatio) return;
    surface = QImage(pixels, QImage::Format_RGB32);
    surface.setDevicePixelRatio(dRatio);
    surface.fill(background);
}

QImage& Canvas::Surface() {
    EnsureSurface();
    return surface;
}

void Canvas::Fill(QRgb color) {
    EnsureSurface();
    surface.fill(color);
    update();
}

void Canvas::paintEvent(QPaintEvent*) {
    EnsureSurface();
    QPainter painter(this);
    painter.drawImage(QPoint(0, 0), surface);
}

void Area::resizeEvent(QResizeEvent* pEvent) {
    QScrollArea::resizeEvent(pEvent);
    if (fnResized) fnResized();
}

namespace {

QString Tip(const char* sMenuText) { return QString(sMenuText).remove('&'); }

void AddButton(uViewer& viewer, int iItem, const QImage& icon, const char* sMenuText, bool fToggle = false) {
    if (icon.isNull()) return; // a button without its picture is left out
    QPixmap pixmap = QPixmap::fromImage(icon);
    pixmap.setDevicePixelRatio(viewer.pToolBar->devicePixelRatioF());
    QAction* pAction = viewer.pToolBar->addAction(QIcon(pixmap), Tip(sMenuText));
    pAction->setData(iItem);
    pAction->setToolTip(Tip(sMenuText));
    pAction->setCheckable(fToggle);
    const int iWindow = viewer.iWindow;
    QObject::connect(pAction, &QAction::triggered, pAction,
                     [iWindow, iItem] { EventHub::PostEvent(EventMenu, iWindow, iItem); });
}

void BuildToolBar(uViewer& viewer) {
    int iSize = 1;
    if (uIni* pIni = Main::ConfigIni()) {
        Ini::SelectSection(pIni, "General");
        iSize = Ini::ReadBool(pIni, "ToolBarLarge", 0) != 0 ? 2 : 1;
    }
    viewer.pToolBar = viewer.pFrame->addToolBar("Toolbar");
    viewer.pToolBar->setMovable(false);
    viewer.pToolBar->setFloatable(false);
    const int iPixels = Utility::SetToolBarIconSize(viewer.pToolBar, iSize);
    AddButton(viewer, WindowStart::MenuSaveAs, VectorIcon::IconSaveAs(iPixels), "&Save As...");
    viewer.pToolBar->addSeparator();
    AddButton(viewer, WindowStart::MenuCopy, VectorIcon::IconCopy(iPixels), "&Copy");
    viewer.pToolBar->addSeparator();
    if (viewer.kind.fScaleButtons) {
        AddButton(viewer, WindowStart::MenuScale, VectorIcon::IconScale(iPixels), "&Scale", true);
        AddButton(viewer, WindowStart::MenuAlignWindow, VectorIcon::IconAlignWindow(iPixels), "&Align window");
    }
    AddButton(viewer, WindowStart::MenuFullscreen, VectorIcon::IconFullscreen(iPixels), "&Fullscreen");
    if (!viewer.fMdi) {
        viewer.pToolBar->addSeparator();
        AddButton(viewer, WindowStart::MenuShowMainWindow, VectorIcon::IconShowWindows(iPixels), "Show &Main Window");
    }
}

void BuildGadgets(uViewer& viewer) {
    auto* pArea = new Area(viewer.pFrame);
    pArea->setFrameShape(QFrame::NoFrame);
    pArea->setWidgetResizable(false);
    int iLines = Utility::GetWheelScrollLines();
    if (iLines <= 0) iLines = 3;
    const int iStep = iLines * Utility::GetSystemFontSize(9);
    pArea->verticalScrollBar()->setSingleStep(iStep);
    pArea->horizontalScrollBar()->setSingleStep(iStep);
    auto* pCanvas = new Canvas(nullptr);
    pCanvas->resize(100, 100);
    pCanvas->setEnabled(false); // the canvas takes no input
    pArea->setWidget(pCanvas);
    viewer.pFrame->setCentralWidget(pArea);
    viewer.pArea = pArea;
    viewer.pCanvas = pCanvas;
}

void BuildMenuBar(uViewer& viewer) {
    viewer.pMenu = ChildWindow::BuildMenu(viewer.pFrame);
    if (QAction* pScale = WindowStart::FindMenuItem(viewer.pMenu, WindowStart::MenuScale)) pScale->setCheckable(true);
    WindowStart::SetMenuItemChecked(viewer.pMenu, WindowStart::MenuOpenSeparately, WindowStart::WindowOpenIndependent());
}

void HandleMenu(uViewer& viewer, int iItem) {
    switch (iItem) {
    case WindowStart::MenuFullscreen:
    case MenuF11: ToggleFullscreen(viewer); return;
    case MenuEscape:
        if (viewer.fFullscreen) ToggleFullscreen(viewer);
        return;
    case WindowStart::MenuOpenSeparately:
        WindowStart::SetMenuItemChecked(viewer.pMenu, iItem, WindowStart::WindowOpenIndependent());
        return;
    case WindowStart::MenuDontCheckPosition:
        WindowStart::SetMenuItemChecked(viewer.pMenu, iItem, Main::WindowDontCheckPosition());
        return;
    case WindowStart::MenuAbout: WindowAbout::Open(viewer.iWindow); return;
    default:
        if (viewer.hooks.fnMenu) viewer.hooks.fnMenu(iItem);
        return;
    }
}

void OnConnected(uViewer& viewer, const uInstrumentWindowInfo* pInfo) {
    viewer.info.sendData.release();
    viewer.info.receiveData.release();
    if (!pInfo) return;
    // The same instrument back (a lost connection, or Disconnect and Connect): what the viewer
    // shows is still its own.
    const bool fSame = viewer.info.eModel == pInfo->eModel && viewer.info.sModel == pInfo->sModel &&
                       viewer.info.sManufacturer == pInfo->sManufacturer;
    viewer.info = *pInfo;
    // The main window's exchange buffers are its own.
    viewer.info.sendData.release();
    viewer.info.receiveData.release();
    const bool fServes = viewer.kind.pCapability && viewer.info.capabilities.*viewer.kind.pCapability != 0;
    if (!fServes) {
        viewer.info.fConnected = false;
        return;
    }
    if (viewer.hooks.fnConnected) viewer.hooks.fnConnected(fSame);
    UpdateItemStates(viewer);
    UpdateTitle(viewer);
    UpdateWindowIcon(viewer);
    if (!fSame) SetStatus(viewer, "");
}

void OnDisconnected(uViewer& viewer, std::intptr_t iObject, bool fLost) {
    if (!viewer.info.pInstrument || reinterpret_cast<std::intptr_t>(viewer.info.pInstrument.get()) != iObject) return;
    viewer.info.fLost = fLost;
    if (fLost) {
        // Lost, not disconnected: the main window keeps it, and so does the viewer.
        viewer.info.fConnected = false;
        UpdateTitle(viewer);
        UpdateItemStates(viewer);
        return;
    }
    viewer.info.pInstrument.reset();
    viewer.info.fConnected = false;
    viewer.info.eProtocol = eProtocol{};
    if (viewer.hooks.fnDisconnected) viewer.hooks.fnDisconnected();
    UpdateTitle(viewer);
    UpdateItemStates(viewer);
    UpdateWindowIcon(viewer);
}

QShortcut* AddShortcut(uViewer& viewer, Qt::Key key, int iItem) {
    auto* pShortcut = new QShortcut(QKeySequence(key), viewer.pFrame);
    pShortcut->setContext(viewer.fMdi ? Qt::WidgetWithChildrenShortcut : Qt::WindowShortcut);
    const int iWindow = viewer.iWindow;
    QObject::connect(pShortcut, &QShortcut::activated, pShortcut,
                     [iWindow, iItem] { EventHub::PostEvent(EventMenu, iWindow, iItem); });
    return pShortcut;
}

} // namespace

bool Build(uViewer& viewer, int iMainWindow, int iChild, const uInstrumentWindowInfo* pInfo, const uKind& kind,
           std::int64_t iCreation) {
    const int fMdi = iChild != -1 ? 1 : 0;
    int x = Window::DefaultPosition, y = Window::DefaultPosition, iWidth = 600, iHeight = 400;
    int iState = Window::StateNormal;
    const bool fFound = Window::LoadPosition(kind.iKind, x, y, iWidth, iHeight, iState, fMdi);

    WindowFrame* pFrame = ChildWindow::Begin(iMainWindow, iChild, kind.iKind, kind.sTitle);
    if (!pFrame) return false;
    viewer.iCreation = iCreation;
    viewer.iWindow = pFrame->Window();
    viewer.iMainWindow = iMainWindow;
    viewer.kind = kind;
    viewer.fMdi = fMdi;
    viewer.pFrame = pFrame;
    viewer.fPlacementFound = fFound;
    viewer.iOpenState = iState;
    if (pInfo) {
        viewer.info = *pInfo;
        viewer.info.sendData.release();
        viewer.info.receiveData.release();
    }
    QWidget* pOuter = pFrame;
    if (QMdiSubWindow* pMdiFrame = ChildWindow::MdiFrame(viewer.iWindow)) pOuter = pMdiFrame;
    ChildWindow::ResizeNew(pOuter, fFound, iWidth, iHeight);
    if (fFound && x != Window::DefaultPosition && y != Window::DefaultPosition) pOuter->move(x, y);

    BuildMenuBar(viewer);
    BuildToolBar(viewer);
    viewer.pStatusBar = pFrame->statusBar();
    viewer.pStatus = new QLabel(viewer.pStatusBar);
    viewer.pStatusBar->addWidget(viewer.pStatus, 1);
    BuildGadgets(viewer);
    return true;
}

void Install(uViewer& viewer, std::function<uViewer*(int iWindow)> fnLookup, uHooks hooks) {
    viewer.hooks = std::move(hooks);
    const int iWindow = viewer.iWindow;
    auto with = [iWindow, fnLookup](auto fn) {
        return [iWindow, fnLookup, fn](auto&&... args) {
            if (uViewer* p = fnLookup(iWindow)) fn(*p, args...);
        };
    };

    ChildWindow::uHooks child;
    child.fnMenu = [iWindow, fnLookup](int iItem, bool) {
        uViewer* p = fnLookup(iWindow);
        if (!p) return false;
        HandleMenu(*p, iItem);
        return true;
    };
    child.fnLayout = with([](uViewer& v) { Layout(v); });
    child.fnClosing = with([](uViewer& v) {
        if (v.fFullscreen) ToggleFullscreen(v);
        if (v.iPartner != 0) EventHub::PostEvent(EventLinkViewer, v.iPartner, 0, 0);
        delete v.pEscape;
        delete v.pF11;
        if (v.pArea) v.pArea->fnResized = nullptr;
        if (v.hooks.fnClosing) v.hooks.fnClosing();
    });
    ChildWindow::Install(viewer.pFrame, std::move(child));

    using EventHub::uEvent;
    EventHub::Bind(EventViewerSync, iWindow, with([](uViewer& v, const uEvent& e) {
                       const uViewerSync* pSync = e.pData.Get<uViewerSync>();
                       if (!pSync) return;
                       v.iPartner = static_cast<int>(pSync->iPartner);
                       if (v.hooks.fnSync) v.hooks.fnSync(*pSync);
                       UpdateItemStates(v);
                   }));
    EventHub::Bind(EventViewerFullscreen, iWindow, with([](uViewer& v, const uEvent&) { ToggleFullscreen(v); }));
    EventHub::Bind(EventInstrumentConnected, iWindow, with([](uViewer& v, const uEvent& e) {
                       OnConnected(v, e.pData.Get<uInstrumentWindowInfo>());
                   }));
    EventHub::Bind(EventInstrumentDisconnected, iWindow,
                   with([](uViewer& v, const uEvent& e) { OnDisconnected(v, e.iType, e.iObject != 0); }));
    viewer.pEscape = AddShortcut(viewer, Qt::Key_Escape, MenuEscape);
    viewer.pF11 = AddShortcut(viewer, Qt::Key_F11, MenuF11);
    viewer.pArea->fnResized = [iWindow, fnLookup] {
        if (uViewer* p = fnLookup(iWindow)) Layout(*p);
    };

    UpdateTitle(viewer);
    UpdateWindowIcon(viewer);
    UpdateItemStates(viewer);
    Utility::EnableSmartRefresh(viewer.pFrame);
    if (viewer.fPlacementFound) {
        QWidget* pOuter = viewer.pFrame;
        if (QMdiSubWindow* pMdiFrame = ChildWindow::MdiFrame(iWindow)) pOuter = pMdiFrame;
        if (viewer.iOpenState == Window::StateMaximized) pOuter->showMaximized();
        else if (viewer.iOpenState == Window::StateMinimized) pOuter->showMinimized();
    }
    if (viewer.fMdi) EventHub::PostEvent(EventActivateWindow, iWindow);
    EventHub::PostEvent(EventSizeWindow, iWindow);
}

void RebuildMenu(uViewer& viewer) {
    if (!viewer.pMenu || !viewer.pFrame) return;
    BuildMenuBar(viewer);
    viewer.pMenu->update();
    UpdateItemStates(viewer);
}

void Layout(uViewer& viewer) {
    if (!viewer.pArea || !viewer.pCanvas) return;
    const QSize area = viewer.pArea->size();
    QSize inner = viewer.hooks.fnInnerSize ? viewer.hooks.fnInnerSize(area) : area;
    inner = inner.expandedTo(QSize(1, 1));
    if (viewer.pCanvas->size() == inner) return;
    viewer.pCanvas->resize(inner);
    if (viewer.hooks.fnRedraw) viewer.hooks.fnRedraw();
}

void ToggleFullscreen(uViewer& viewer) {
    if (viewer.fMdi || !viewer.pFrame) return;
    WindowFrame* pFrame = viewer.pFrame;
    const bool fEnter = !viewer.fFullscreen;
    if (fEnter) viewer.saved = pFrame->geometry();
    if (viewer.pMenu) viewer.pMenu->setVisible(!fEnter);
    if (viewer.pToolBar) viewer.pToolBar->setVisible(!fEnter);
    if (viewer.pStatusBar) viewer.pStatusBar->setVisible(!fEnter);
    viewer.fFullscreen = fEnter;
    if (viewer.pCanvas) viewer.pCanvas->SetBackground(fEnter ? CanvasBlack : CanvasGrey);
    if (fEnter) {
        // On the screen that the window is on now; the window also takes the screen's rectangle
        // itself, for desktops whose window manager does not place fullscreen windows.
        QScreen* pScreen = pFrame->screen();
        pFrame->showFullScreen();
        if (pScreen) pFrame->setGeometry(pScreen->geometry());
    } else {
        pFrame->showNormal();
        pFrame->setGeometry(viewer.saved);
    }
    Layout(viewer);
    if (viewer.hooks.fnRedraw) viewer.hooks.fnRedraw();
}

void UpdateItemStates(uViewer& viewer) {
    if (!viewer.pFrame) return;
    if (viewer.pMenu && viewer.fMdi) {
        WindowStart::SetMenuItemEnabled(viewer.pMenu, WindowStart::MenuSelect, !viewer.info.fConnected);
        WindowStart::SetMenuItemEnabled(viewer.pMenu, WindowStart::MenuDisconnect, TakesRequests(viewer.info));
    }
    SetItemEnabled(viewer, WindowStart::MenuFullscreen, !viewer.fMdi);
    if (viewer.hooks.fnItemStates) viewer.hooks.fnItemStates();
}

void UpdateTitle(uViewer& viewer) {
    if (!viewer.pFrame) return;
    QString sTitle = viewer.kind.sTitle;
    if (TakesRequests(viewer.info)) {
        if (!viewer.fMdi) sTitle = QString::fromStdString(viewer.info.sModel) + " - " + sTitle;
    } else {
        sTitle += " (disconnected)";
    }
    viewer.pFrame->setWindowTitle(sTitle);
    if (QMdiSubWindow* pMdiFrame = ChildWindow::MdiFrame(viewer.iWindow)) pMdiFrame->setWindowTitle(sTitle);
}

void UpdateWindowIcon(uViewer& viewer) {
    if (viewer.pFrame) Utility::SetWindowIcon(viewer.pFrame, viewer.fMdi, &viewer.info.icon);
}

void SetStatus(uViewer& viewer, const QString& sText) {
    Utility::SetStatusText(viewer.pStatus, sText);
}

QAction* Button(const uViewer& viewer, int iItem) {
    if (!viewer.pToolBar) return nullptr;
    for (QAction* pAction : viewer.pToolBar->actions()) {
        if (!pAction->isSeparator() && pAction->data().toInt() == iItem) return pAction;
    }
    return nullptr;
}

void SetItemEnabled(uViewer& viewer, int iItem, bool fEnabled, bool fMenu, bool fButton) {
    if (fMenu && viewer.pMenu) WindowStart::SetMenuItemEnabled(viewer.pMenu, iItem, fEnabled);
    if (QAction* pButton = fButton ? Button(viewer, iItem) : nullptr) pButton->setEnabled(fEnabled);
}

void SetItemChecked(uViewer& viewer, int iItem, bool fChecked) {
    if (viewer.pMenu) WindowStart::SetMenuItemChecked(viewer.pMenu, iItem, fChecked);
    if (QAction* pButton = Button(viewer, iItem)) pButton->setChecked(fChecked);
}

double PixelRatio(const uViewer& viewer) { return viewer.pFrame ? viewer.pFrame->devicePixelRatioF() : 1.0; }

} // namespace ViewerFrame
