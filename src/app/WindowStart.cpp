#include "app/WindowStart.h"

#include "app/ChildWindow.h"
#include "app/DeviceChanges.h"
#include "app/Main.h"
#include "app/Window.h"
#include "common/Ini.h"
#include "common/UtilityGui.h"
#include "common/WindowLog.h"
#include "platform/EventHub.h"
#include "platform/ProgramEvents.h"
#include "platform/WindowFrame.h"
#include "platform/WindowRegistry.h"

#include <QGuiApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QScreen>
#include <QStyle>
#include <QStatusBar>
#include <QToolBar>

#include <algorithm>
#include <map>
#include <memory>

namespace WindowStart {
namespace {

// The open main windows by window number; GUI thread only.
std::map<int, std::unique_ptr<uWindowStart>> mWindowStart;
std::int64_t iCreationCounter = 0;
bool fWindowOpenIndependent = false;

void OnTimer(int iWindow, int iTimer) {
    WindowRegistry::StopTimer(iWindow, iTimer);
    if (iTimer != TimerDeviceChange || !GetInstance(iWindow, nullptr)) return;
    const int iList = FindChild(iWindow, WindowKindSelectInstrument);
    if (iList != 0 && ChildWindow::Find(iList)) EventHub::PostEvent(EventRefreshInstrumentList, iList, 1);
}

// A new main window never lies exactly on an open one, where the user would take the two for
// one: from the place it would share it moves a title bar's height right and down, to the top-left
// corner of the screen's free area where it would run out of that.
void AvoidOpenMainWindows(QWidget* pFrame) {
    std::vector<QPoint> mTaken;
    for (const auto& [iWindow, pWindow] : mWindowStart) {
        if (pWindow->pFrame && pWindow->pFrame != pFrame && pWindow->pFrame->isVisible()) mTaken.push_back(pWindow->pFrame->pos());
    }
    auto taken = [&mTaken](const QPoint& at) { return std::find(mTaken.begin(), mTaken.end(), at) != mTaken.end(); };
    const QScreen* pScreen = QGuiApplication::primaryScreen();
    const QRect free = pScreen ? pScreen->availableGeometry() : QRect();
    const int iStep = std::max(20, pFrame->style()->pixelMetric(QStyle::PM_TitleBarHeight));
    for (std::size_t i = 0; i <= mTaken.size() && taken(pFrame->pos()); ++i) {
        QPoint next = pFrame->pos() + QPoint(iStep, iStep);
        if (free.isValid() && !free.contains(QRect(next, pFrame->size())) && !taken(free.topLeft())) next = free.topLeft();
        pFrame->move(next);
    }
}

} // namespace

bool GetInstance(int iWindow, uWindowStart** ppWindow) {
    const auto it = mWindowStart.find(iWindow);
    if (it == mWindowStart.end()) return false;
    if (ppWindow) *ppWindow = it->second.get();
    return true;
}

std::vector<int> Windows() {
    std::vector<std::pair<std::int64_t, int>> mOrder;
    for (const auto& [iWindow, pWindow] : mWindowStart) mOrder.emplace_back(pWindow->iCreation, iWindow);
    std::sort(mOrder.begin(), mOrder.end());
    std::vector<int> mWindows;
    for (const auto& entry : mOrder) mWindows.push_back(entry.second);
    return mWindows;
}

bool WindowOpenIndependent() { return fWindowOpenIndependent; }

void SetWindowOpenIndependent(bool fValue) { fWindowOpenIndependent = fValue; }

void BindEvents(int iWindow, bool fBind) {
    static const int mEvents[] = {EventCloseWindowRequest, ::EventMenu,         EventTimer,
                                  EventWindowListChanged,  EventChildActivated, EventChildClosed,
                                  EventChildOpened,        EventActivateChild,  EventConnectInstrument,
                                  EventOpenViewer,         EventTaskFinished,   EventDeviceChange,
                                  EventSaveWorkspace,      EventDeleteWorkspace};
    if (!fBind) {
        for (int iEvent : mEvents) EventHub::Unbind(iEvent, iWindow);
        return;
    }
    using EventHub::uEvent;
    EventHub::Bind(EventCloseWindowRequest, iWindow, [iWindow](const uEvent&) { Close(iWindow); });
    EventHub::Bind(::EventMenu, iWindow, [iWindow](const uEvent& e) {
        EventMenu(iWindow, static_cast<int>(e.iObject), e.iType != 0);
    });
    EventHub::Bind(EventTimer, iWindow, [iWindow](const uEvent& e) { OnTimer(iWindow, static_cast<int>(e.iObject)); });
    EventHub::Bind(EventWindowListChanged, iWindow, [iWindow](const uEvent&) { UpdateMenuState(iWindow); });
    EventHub::Bind(EventChildActivated, iWindow, [iWindow](const uEvent& e) {
        ChildActivated(iWindow, static_cast<int>(e.iType));
    });
    EventHub::Bind(EventChildClosed, iWindow, [iWindow](const uEvent& e) {
        ChildClosed(iWindow, static_cast<int>(ChildWindow::EventData(e)));
    });
    EventHub::Bind(EventChildOpened, iWindow, [iWindow](const uEvent& e) {
        ChildOpened(iWindow, static_cast<int>(ChildWindow::EventData(e)));
    });
    EventHub::Bind(EventActivateChild, iWindow, [iWindow](const uEvent& e) {
        ActivateChild(iWindow, static_cast<int>(ChildWindow::EventData(e)));
    });
    EventHub::Bind(EventConnectInstrument, iWindow, [iWindow](const uEvent& e) {
        const InstrumentObject* pObject = e.pData.Get<InstrumentObject>();
        OpenInstrument(iWindow, pObject ? *pObject : nullptr, static_cast<int>(e.iType));
    });
    EventHub::Bind(EventOpenViewer, iWindow, [iWindow](const uEvent& e) {
        OpenViewer(iWindow, static_cast<int>(e.iObject), static_cast<int>(e.iType),
                   static_cast<int>(ChildWindow::EventData(e)),
                   QGuiApplication::keyboardModifiers().testFlag(Qt::ControlModifier));
    });
    EventHub::Bind(EventTaskFinished, iWindow, [iWindow](const uEvent& e) {
        TaskFinished(iWindow, e.iObject, e.iType, e.pData.Get<std::int64_t>());
    });
    EventHub::Bind(EventDeviceChange, iWindow, [iWindow](const uEvent&) { DeviceChanged(iWindow); });
    // Posted by a worker thread that knows no window: one binding serves every main window.
    EventHub::Bind(EventInstrumentLost, EventHub::AnyWindow, [](const uEvent& e) {
        const std::string* pReason = e.pData.Get<std::string>();
        InstrumentLost(e.iObject, pReason ? *pReason : std::string());
    });
    EventHub::Bind(EventInstrumentRegained, EventHub::AnyWindow, [](const uEvent& e) { InstrumentRegained(e.iObject); });
    EventHub::Bind(EventInstrumentFreed, EventHub::AnyWindow, [](const uEvent&) { InstrumentFreed(); });
    EventHub::Bind(EventSaveWorkspace, iWindow, [iWindow](const uEvent& e) {
        if (const std::string* pName = e.pData.Get<std::string>()) SaveWorkspace(iWindow, *pName);
    });
    EventHub::Bind(EventDeleteWorkspace, iWindow, [iWindow](const uEvent& e) {
        if (const std::string* pName = e.pData.Get<std::string>()) DeleteWorkspace(iWindow, *pName);
    });
}

int Open() {
    const std::int64_t iCreation = ++iCreationCounter;
    int x = Window::DefaultPosition, y = Window::DefaultPosition, iWidth = 800, iHeight = 600;
    int iState = Window::StateNormal;
    const bool fFound = Window::LoadPosition(WindowKindStart, x, y, iWidth, iHeight, iState, 0);

    const int iWindow = WindowRegistry::NewWindowNumber();
    auto* pFrame = new WindowFrame(iWindow);
    pFrame->setAttribute(Qt::WA_DeleteOnClose, false);
    pFrame->setWindowTitle(Title);
    pFrame->resize(iWidth, iHeight);
    if (fFound && x != Window::DefaultPosition && y != Window::DefaultPosition) pFrame->move(x, y);
    else Window::CentreOnScreen(pFrame);
    AvoidOpenMainWindows(pFrame);

    auto pRecord = std::make_unique<uWindowStart>();
    uWindowStart* pWindow = pRecord.get();
    pWindow->iCreation = iCreation;
    pWindow->iWindow = iWindow;
    pWindow->pFrame = pFrame;
    mWindowStart[iWindow] = std::move(pRecord);

    if (uIni* pIni = Main::ConfigIni()) {
        Ini::SelectSection(pIni, "General");
        fWindowOpenIndependent = Ini::ReadBool(pIni, "WindowOpenIndependent", 0) != 0;
        pWindow->iToolBarSize = Ini::ReadBool(pIni, "ToolBarLarge", 0) != 0 ? 2 : 1;
    } else {
        pWindow->iToolBarSize = 1;
    }

    pWindow->pMenu = RecreateMenu(iWindow);
    pWindow->pToolBar = CreateToolBar(iWindow, pWindow->iToolBarSize);
    pWindow->pStatusBar = pFrame->statusBar();
    auto* pArea = new QMdiArea(pFrame);
    pArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    pArea->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    pFrame->setCentralWidget(pArea);
    pWindow->pMdiArea = pArea;
    QObject::connect(pArea, &QMdiArea::subWindowActivated, pFrame, [iWindow](QMdiSubWindow*) {
        uWindowStart* p = nullptr;
        if (GetInstance(iWindow, &p)) RefreshWindowList(p);
    });

    BindEvents(iWindow, true);
    DeviceChanges::AddWindow(iWindow);
    InstallMenu(pWindow, pWindow->pMenu);
    Utility::EnableSmartRefresh(pFrame);
    UpdateMenuState(iWindow);

    if (fFound && iState == Window::StateMaximized) pFrame->showMaximized();
    else if (fFound && iState == Window::StateMinimized) pFrame->showMinimized();
    else pFrame->show();

    EventHub::PostEvent(::EventMenu, iWindow, MenuSelect);
    return iWindow;
}

int Close(int iWindow) {
    uWindowStart* pWindow = nullptr;
    if (!GetInstance(iWindow, &pWindow)) return 0;
    for (const uChildWindow& child : Children()) {
        if (child.iOwner == iWindow && ChildWindow::Find(child.iWindow)) {
            EventHub::PostEvent(EventCloseWindow, child.iWindow, 0, 0, ChildWindow::Data(iWindow));
            return 0;
        }
    }
    CloseInstrument(iWindow);
    DeviceChanges::RemoveWindow(iWindow);
    BindEvents(iWindow, false);
    WindowRegistry::StopTimer(iWindow, TimerDeviceChange);
    if (pWindow->pFrame) {
        Window::SavePosition(pWindow->pFrame, WindowKindStart, 0);
        pWindow->pFrame->hide();
        pWindow->pFrame->deleteLater();
    }
    mWindowStart.erase(iWindow);
    WindowRegistry::Release(iWindow);
    UpdateMenuState(iWindow);
    EventHub::PostEvent(EventMainWindowClosed, iWindow);
    return 0;
}

QMenuBar* SetUpTopLevelFrame(WindowFrame* pFrame, int iKind) {
    QMenuBar* pBar = pFrame->menuBar();
    CreateMenu(pBar, pFrame->Window(), iKind, 0);
    SetMenuItemEnabled(pBar, MenuCloseWindow, false);
    SetMenuItemEnabled(pBar, MenuCopy, false);
    SetMenuItemChecked(pBar, MenuDontCheckPosition, Main::WindowDontCheckPosition());
    return pBar;
}

} // namespace WindowStart
