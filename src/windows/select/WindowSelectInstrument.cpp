#include "windows/select/WindowSelectInstrument.h"

#include "app/ChildWindow.h"
#include "app/Main.h"
#include "app/Window.h"
#include "app/WindowKinds.h"
#include "app/WindowStart.h"
#include "common/Ini.h"
#include "common/UtilityGui.h"
#include "icons/VectorIcon.h"
#include "platform/EventHub.h"
#include "platform/ProgramEvents.h"
#include "platform/WindowFrame.h"
#include "platform/WindowRegistry.h"
#include "windows/select/WindowSelectInstrumentRecord.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCursor>
#include <QLabel>
#include <QListView>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPixmap>
#include <QShortcut>
#include <QStackedWidget>
#include <QStandardItemModel>
#include <QStatusBar>
#include <QTabWidget>
#include <QToolBar>
#include <QTreeView>
#include <QTreeWidget>

#include <map>

namespace WindowSelectInstrument {
namespace {

// The open selection windows by window number; GUI thread only.
std::map<int, uWindowSelectInstrument> mWindowSelectInstrument;
std::int64_t iCreationCounter = 0;

// The item's entries in the popup menu and the toolbar.
template <class Apply> void ForEachCopy(uWindowSelectInstrument& w, int iItem, Apply apply) {
    for (QWidget* pOwner : {static_cast<QWidget*>(w.pPopup.data()), static_cast<QWidget*>(w.pToolBar.data())}) {
        if (!pOwner) continue;
        for (QAction* p : pOwner->actions()) {
            if (!p->isSeparator() && p->data().toInt() == iItem) apply(p);
        }
    }
}

// Checks or enables the item in the menu bar, the popup menu and the toolbar alike.
void SetItemChecked(uWindowSelectInstrument& w, int iItem, bool fChecked) {
    WindowStart::SetMenuItemChecked(w.pMenu, iItem, fChecked);
    ForEachCopy(w, iItem, [fChecked](QAction* p) { p->setChecked(fChecked); });
}

void SetItemEnabled(uWindowSelectInstrument& w, int iItem, bool fEnabled) {
    WindowStart::SetMenuItemEnabled(w.pMenu, iItem, fEnabled);
    ForEachCopy(w, iItem, [fEnabled](QAction* p) { p->setEnabled(fEnabled); });
}

QAction* AddPopupItem(QMenu* pMenu, int iWindow, int iItem, const QString& sText) {
    QAction* pAction = pMenu->addAction(sText);
    pAction->setData(iItem);
    QObject::connect(pAction, &QAction::triggered, pAction, [iWindow, iItem] { EventHub::PostEvent(EventMenu, iWindow, iItem); });
    return pAction;
}

void CreateMenu(uWindowSelectInstrument& w) {
    w.pMenu = ChildWindow::BuildMenu(w.pFrame);
    if (!w.pMenu) return;
    for (int iItem : {WindowStart::MenuList, WindowStart::MenuIcons}) {
        if (QAction* p = WindowStart::FindMenuItem(w.pMenu, iItem)) p->setCheckable(true);
    }
    WindowStart::SetMenuItemEnabled(w.pMenu, WindowStart::MenuCopy, false);
    WindowStart::SetMenuItemEnabled(w.pMenu, WindowStart::MenuDisconnect, false);
    WindowStart::SetMenuItemEnabled(w.pMenu, WindowStart::MenuConnect, false);
    SetItemChecked(w, WindowStart::MenuList, !w.fListIconView);
    SetItemChecked(w, WindowStart::MenuIcons, w.fListIconView);
}

void CreatePopupMenu(uWindowSelectInstrument& w) {
    w.pPopup = new QMenu(w.pFrame);
    AddPopupItem(w.pPopup, w.iWindow, WindowStart::MenuList, "&List")->setCheckable(true);
    AddPopupItem(w.pPopup, w.iWindow, WindowStart::MenuIcons, "&Icons")->setCheckable(true);
    w.pPopup->addSeparator();
    AddPopupItem(w.pPopup, w.iWindow, WindowStart::MenuRefresh, "&Refresh");
    AddPopupItem(w.pPopup, w.iWindow, WindowStart::MenuConnect, "&Connect")->setEnabled(false);
    SetItemChecked(w, WindowStart::MenuList, true);
}

void CreateToolBar(uWindowSelectInstrument& w) {
    int iSize = 1;
    if (uIni* pIni = Main::ConfigIni()) {
        Ini::SelectSection(pIni, "General");
        iSize = Ini::ReadBool(pIni, "ToolBarLarge", 0) != 0 ? 2 : 1;
    }
    w.pToolBar = new QToolBar(w.pFrame);
    w.pToolBar->setMovable(false);
    w.pToolBar->setFloatable(false);
    w.pFrame->addToolBar(w.pToolBar);
    const int iPixels = Utility::SetToolBarIconSize(w.pToolBar, iSize);
    struct uButton {
        int iItem;
        const char* sTip;
        QImage (*fnIcon)(int);
        bool fToggle;
    };
    const uButton buttons[] = {{WindowStart::MenuList, "List", VectorIcon::IconList, true},
                               {WindowStart::MenuIcons, "Icons", VectorIcon::IconIcons, true},
                               {WindowStart::MenuRefresh, "Refresh", VectorIcon::IconRefresh, false},
                               {WindowStart::MenuConnect, "Connect", VectorIcon::IconConnect, false}};
    const int iWindow = w.iWindow;
    for (const uButton& b : buttons) {
        QAction* pAction = w.pToolBar->addAction(QIcon(QPixmap::fromImage(b.fnIcon(iPixels))), b.sTip);
        pAction->setToolTip(b.sTip);
        pAction->setData(b.iItem);
        pAction->setCheckable(b.fToggle);
        const int iItem = b.iItem;
        QObject::connect(pAction, &QAction::triggered, pAction, [iWindow, iItem] { EventHub::PostEvent(EventMenu, iWindow, iItem); });
    }
    SetItemEnabled(w, WindowStart::MenuConnect, false);
}

// Return and Ctrl+Return connect (with the instrument list focused), Escape closes, F5 and
// Ctrl+R search again; only in the MDI area, where the main window's own keys would else act.
void SetKeyboardShortcuts(uWindowSelectInstrument& w) {
    const int iWindow = w.iWindow;
    const std::pair<QKeySequence, int> keys[] = {{QKeySequence(Qt::Key_Return), MenuShortcutConnect},
                                                 {QKeySequence(Qt::CTRL | Qt::Key_Return), MenuShortcutConnect},
                                                 {QKeySequence(Qt::Key_Escape), MenuShortcutClose},
                                                 {QKeySequence(Qt::Key_F5), WindowStart::MenuRefresh},
                                                 {QKeySequence(Qt::CTRL | Qt::Key_R), WindowStart::MenuRefresh}};
    for (const auto& [key, iItem] : keys) {
        auto* pShortcut = new QShortcut(key, w.pFrame);
        pShortcut->setContext(Qt::WidgetWithChildrenShortcut);
        const int iTarget = iItem;
        QObject::connect(pShortcut, &QShortcut::activated, pShortcut, [iWindow, iTarget] {
            EventHub::PostEvent(EventMenu, iWindow, iTarget);
        });
    }
}

void ShowView(uWindowSelectInstrument& w, bool fIcons, bool fStore = true) {
    w.fListIconView = fIcons;
    SetItemChecked(w, WindowStart::MenuList, !fIcons);
    SetItemChecked(w, WindowStart::MenuIcons, fIcons);
    if (w.pInstrumentViews) {
        w.pInstrumentViews->setCurrentIndex(fIcons ? 1 : 0);
        if (fIcons) w.pInstrumentIcons->doItemsLayout();
        else Utility::ListIconAutoSizeColumns(w.pInstrumentReport, 0, 0);
    }
    if (uIni* pIni = Main::ConfigIni(); pIni && fStore) {
        Ini::SelectSection(pIni, ConfigGroup);
        Ini::WriteBool(pIni, "SelectInstrumentListIconView", fIcons ? 1 : 0);
    }
}

void MenuAction(int iWindow, int iItem) {
    uWindowSelectInstrument* w = Record(iWindow);
    if (!w) return;
    switch (iItem) {
    case WindowStart::MenuCloseMdiWindow:
    case MenuShortcutClose: Close(iWindow, 0); return;
    case WindowStart::MenuList: ShowView(*w, false); return;
    case WindowStart::MenuIcons: ShowView(*w, true); return;
    case WindowStart::MenuRefresh: SearchAndShowInstruments(iWindow, false); return;
    case WindowStart::MenuConnect: ConnectInstrument(iWindow); return;
    case WindowStart::MenuOpenSeparately:
        WindowStart::SetMenuItemChecked(w->pMenu, iItem, WindowStart::WindowOpenIndependent());
        return;
    case WindowStart::MenuDontCheckPosition:
        WindowStart::SetMenuItemChecked(w->pMenu, iItem, Main::WindowDontCheckPosition());
        return;
    case MenuShortcutConnect: {
        QWidget* pFocus = w->pFrame ? w->pFrame->focusWidget() : nullptr;
        if (pFocus && (pFocus == w->pInstrumentReport || pFocus == w->pInstrumentIcons)) ConnectInstrument(iWindow);
        return;
    }
    default: return;
    }
}

void StoreOption(uWindowSelectInstrument& w, int iOption) {
    w.fOption[iOption] = w.pOption[iOption]->isChecked();
    if (uIni* pIni = Main::ConfigIni()) {
        Ini::SelectSection(pIni, ConfigGroup);
        Ini::WriteBool(pIni, OptionKey[iOption], w.fOption[iOption] ? 1 : 0);
    }
}

void EventGadget(int iWindow, int iGadget, int iType) {
    uWindowSelectInstrument* w = Record(iWindow);
    if (!w) return;
    w->fConnectText = false;
    if (iGadget >= GadgetOptionFirst && iGadget < GadgetOptionFirst + static_cast<int>(OptionCount)) {
        StoreOption(*w, iGadget - GadgetOptionFirst);
        return;
    }
    switch (iGadget) {
    case GadgetRefresh: SearchAndShowInstruments(iWindow, false); return;
    case GadgetInstrumentList:
        if (iType == GadgetDoubleClick) {
            ConnectInstrument(iWindow);
            return;
        }
        UpdateGadgetStates(iWindow);
        if (iType == GadgetRightClick && w->pPopup) w->pPopup->popup(QCursor::pos());
        return;
    case GadgetAdapterList: StoreAdapterChoice(iWindow); return;
    case GadgetLxi: SetLanProtocol(*w, true); return;
    case GadgetRaw: SetLanProtocol(*w, false); return;
    case GadgetLanAdd: AddLanInstrument(iWindow); return;
    case GadgetLanRemove: RemoveLanInstrument(iWindow); return;
    case GadgetSerialAdd: AddSerialInstrument(iWindow); return;
    case GadgetSerialRemove: RemoveSerialInstrument(iWindow); return;
    case GadgetLanMaker: FillModelList(w->lan.pMaker, w->lan.pModel); return;
    case GadgetSerialMaker: FillModelList(w->serial.pMaker, w->serial.pModel); return;
    default: return;
    }
}

// The panel fills the frame; the icons are arranged again from the top.
void ResizeGadgets(int iWindow) {
    uWindowSelectInstrument* w = Record(iWindow);
    if (w && w->pInstrumentIcons && w->fListIconView) w->pInstrumentIcons->doItemsLayout();
}

void ReadOptions(uWindowSelectInstrument& w) {
    uIni* pIni = Main::ConfigIni();
    const int defaults[OptionCount] = {1, 1, 0, 0, 0, 0};
    if (pIni) Ini::SelectSection(pIni, ConfigGroup);
    for (int i = 0; i < OptionCount; ++i) {
        w.fOption[i] = pIni ? Ini::ReadBool(pIni, OptionKey[i], defaults[i]) != 0 : defaults[i] != 0;
        w.pOption[i]->setChecked(w.fOption[i]);
    }
}

bool ReadIconView() {
    uIni* pIni = Main::ConfigIni();
    if (!pIni) return false;
    Ini::SelectSection(pIni, ConfigGroup);
    return Ini::ReadBool(pIni, "SelectInstrumentListIconView", 0) != 0;
}

// The saved place of the window, or 600 x 450 where the system puts it.
void PlaceWindow(WindowFrame* pFrame, QMdiSubWindow* pMdiFrame) {
    if (!pMdiFrame) {
        if (!Window::RestorePosition(pFrame, WindowKindSelectInstrument)) pFrame->resize(600, 450);
        return;
    }
    int x = Window::DefaultPosition, y = Window::DefaultPosition, iWidth = 600, iHeight = 450;
    int iState = Window::StateNormal;
    const bool fFound = Window::LoadPosition(WindowKindSelectInstrument, x, y, iWidth, iHeight, iState, 1);
    ChildWindow::ResizeNew(pMdiFrame, fFound, iWidth, iHeight, true);

    if (x != Window::DefaultPosition && y != Window::DefaultPosition) pMdiFrame->move(x, y);
    if (iState == Window::StateMaximized) pMdiFrame->showMaximized();
    else if (iState == Window::StateMinimized) pMdiFrame->showMinimized();
}

void BindEvents(int iWindow) {
    using EventHub::uEvent;
    EventHub::Bind(::EventGadget, iWindow, [iWindow](const uEvent& e) {
        EventGadget(iWindow, static_cast<int>(e.iObject), static_cast<int>(e.iType));
    });
    EventHub::Bind(::EventTimer, iWindow, [iWindow](const uEvent& e) { EventTimer(iWindow, static_cast<int>(e.iObject)); });
    EventHub::Bind(EventCloseWindow, iWindow, [iWindow](const uEvent& e) {
        Close(iWindow, static_cast<int>(ChildWindow::EventData(e)));
    });
    EventHub::Bind(EventCloseWindowRequest, iWindow, [iWindow](const uEvent&) { Close(iWindow, 0); });
    EventHub::Bind(EventRefreshInstrumentList, iWindow, [iWindow](const uEvent& e) { EventRefresh(iWindow, e.iObject); });
    EventHub::Bind(::EventSearchFinished, iWindow, [iWindow](const uEvent&) { EventSearchFinished(iWindow); });
    EventHub::Bind(::EventTaskFinished, iWindow, [iWindow](const uEvent& e) {
        EventTaskFinished(iWindow, e.iType, ChildWindow::EventData(e));
    });
    // Why the connect that this window asked for failed (from the main window).
    EventHub::Bind(EventStatusText, iWindow, [iWindow](const uEvent& e) {
        const std::string* pText = e.pData.Get<std::string>();
        uWindowSelectInstrument* w = Record(iWindow);
        if (!w || !pText) return;
        SetStatusText(*w, *pText);
        w->fConnectText = true;
    });
}

} // namespace

uWindowSelectInstrument* Record(int iWindow) {
    const auto it = mWindowSelectInstrument.find(iWindow);
    return it == mWindowSelectInstrument.end() ? nullptr : &it->second;
}

void UpdateGadgetStates(int iWindow) {
    uWindowSelectInstrument* w = Record(iWindow);
    if (!w) return;
    const int iSelected = SelectedInstrument(*w);
    SetItemEnabled(*w, WindowStart::MenuConnect, iSelected >= 0 && iSelected < static_cast<int>(w->mListed.size()));
    WindowStart::SetMenuItemEnabled(w->pMenu, WindowStart::MenuSelect, false);
    WindowStart::SetMenuItemEnabled(w->pMenu, WindowStart::MenuDisconnect, false);
}

void SetStatusText(uWindowSelectInstrument& window, const std::string& sText) {
    Utility::SetStatusText(window.pStatusText, QString::fromStdString(sText));
}

int SelectedInstrument(const uWindowSelectInstrument& window) {
    if (!window.pInstrumentReport || !window.pInstrumentReport->selectionModel()) return -1;
    // The report selects whole rows, the icon view only the cell of its icon: either names the row.
    const QModelIndexList items = window.pInstrumentReport->selectionModel()->selectedIndexes();
    return items.isEmpty() ? -1 : items.first().row();
}

void SelectInstrument(uWindowSelectInstrument& window, int iRow) {
    if (!window.pInstrumentReport || !window.pInstruments) return;
    QItemSelectionModel* pSelection = window.pInstrumentReport->selectionModel();
    if (iRow < 0 || iRow >= window.pInstruments->rowCount()) {
        pSelection->clearSelection();
        return;
    }
    pSelection->setCurrentIndex(window.pInstruments->index(iRow, 0),
                                QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

int Open(int iMainWindow, int iChild, uInstrumentWindowInfo*) {
    WindowFrame* pFrame = ChildWindow::Begin(iMainWindow, iChild, WindowKindSelectInstrument, "Select Instrument");
    if (!pFrame) return 0;
    const int iWindow = pFrame->Window();
    pFrame->setWindowTitle("Select Instrument");
    QMdiSubWindow* pMdiFrame = ChildWindow::MdiFrame(iWindow);
    WindowStart::uWindowStart* pMain = nullptr;
    if (!pMdiFrame && WindowStart::GetInstance(iMainWindow, &pMain) && pMain->pFrame) {
        // A separate list belongs to its main window: it stays above it and goes with it.
        pFrame->setParent(pMain->pFrame, Qt::Window);
    }

    uWindowSelectInstrument& w = mWindowSelectInstrument[iWindow];
    w.iCreation = ++iCreationCounter;
    w.iWindow = iWindow;
    w.iMainWindow = iMainWindow;
    w.iKind = WindowKindSelectInstrument;
    w.fMdi = pMdiFrame ? 1 : 0;
    w.pFrame = pFrame;

    w.fListIconView = ReadIconView();
    CreateMenu(w);
    CreatePopupMenu(w);
    CreateToolBar(w);
    w.pStatusBar = pFrame->statusBar();
    w.pStatusText = Utility::StatusLabel(w.pStatusBar);
    CreateGadgets(w);
    pFrame->setCentralWidget(w.pPanel);
    PlaceWindow(pFrame, pMdiFrame);

    ShowView(w, w.fListIconView, false);
    ReadOptions(w);
    FillMakerLists(w);
    if (w.fMdi) SetKeyboardShortcuts(w);

    ChildWindow::uHooks hooks;
    hooks.fnMenu = [iWindow](int iItem, bool) {
        MenuAction(iWindow, iItem);
        return true;
    };
    hooks.fnLayout = [iWindow] { ResizeGadgets(iWindow); };
    hooks.fnClosing = [iWindow] { mWindowSelectInstrument.erase(iWindow); };
    ChildWindow::Install(pFrame, std::move(hooks));
    // Never smaller than its pages need, once they are shown and measure what they hold (a
    // separate window's layout sees to that by itself).
    if (pMdiFrame) pMdiFrame->setMinimumSize(pMdiFrame->minimumSizeHint());
    BindEvents(iWindow);
    Utility::EnableSmartRefresh(pFrame);
    UpdateGadgetStates(iWindow);

    LoadLanInstrumentList(iWindow);
    LoadSerialInstrumentList(iWindow);
    WindowRegistry::StartTimer(iWindow, TimerFirstSearch, 100);
    return iWindow;
}

int UpdateMenus(int iWindow) {
    uWindowSelectInstrument* w = Record(iWindow);
    if (!w) return 0;
    CreateMenu(*w);
    UpdateGadgetStates(iWindow);
    return 0;
}

void Close(int iWindow, int iClosingMain) {
    uWindowSelectInstrument* w = Record(iWindow);
    if (!w) return;
    // Only the main window that owns this one gets its close request back.
    const int iOwner = iClosingMain != 0 && iClosingMain == w->iMainWindow ? iClosingMain : 0;
    ChildWindow::Close(iWindow, iOwner);
}

void RegisterKind() {
    WindowKinds::Register(WindowKindSelectInstrument, {Open, [](int iWindow) { UpdateMenus(iWindow); }});
}

} // namespace WindowSelectInstrument
