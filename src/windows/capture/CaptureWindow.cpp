#include "windows/capture/CaptureWindow.h"

#include "app/ChildWindow.h"
#include "app/Main.h"
#include "app/Window.h"
#include "app/WindowStart.h"
#include "common/Ini.h"
#include "common/TextRoutines.h"
#include "common/UtilityGui.h"
#include "common/WindowLog.h"
#include "icons/VectorIcon.h"
#include "platform/EventHub.h"
#include "platform/ProgramEvents.h"
#include "platform/WindowFrame.h"
#include "platform/WindowRegistry.h"
#include "windows/capture/OptionList.h"
#include "windows/capture/WindowTemplateFilename.h"

#include <QAbstractItemView>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFileDialog>
#include <QFontMetrics>
#include <QFrame>
#include <QIcon>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QMessageBox>
#include <QPixmap>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QShortcut>
#include <QStatusBar>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>
#include <QToolBar>

#include <algorithm>
#include <cctype>
#include <map>
#include <utility>

namespace {

// The open capture windows of both kinds by window number (not owning: each kind owns its
// records); GUI thread only.
std::map<int, CaptureWindow*> mCaptureWindow;

int RequiredWidth(QWidget* pGadget) { return pGadget->sizeHint().width(); }

// Lays the window out again whenever its scroll area changes size (maximise, restore, resize).
class ResizeWatch : public QObject {
  public:
    ResizeWatch(int iWindow, QObject* pParent) : QObject(pParent), iWindow(iWindow) {}
    bool eventFilter(QObject* pObject, QEvent* pEvent) override {
        if (pEvent->type() == QEvent::Resize) EventHub::PostEvent(EventSizeWindow, iWindow);
        return QObject::eventFilter(pObject, pEvent);
    }

  private:
    int iWindow;
};

std::string WithSlash(std::string sFolder) {
    if (!sFolder.empty() && sFolder.back() != '/') sFolder += '/';
    return sFolder;
}

} // namespace

CaptureWindow::CaptureWindow(uCaptureKind kind) : kind(std::move(kind)) {}

CaptureWindow::~CaptureWindow() {
    const auto it = mCaptureWindow.find(iWindow);
    if (it != mCaptureWindow.end() && it->second == this) mCaptureWindow.erase(it);
}

CaptureWindow* CaptureWindow::Find(int iWindow) {
    const auto it = mCaptureWindow.find(iWindow);
    return it == mCaptureWindow.end() ? nullptr : it->second;
}

void CaptureWindow::WidenDropDown(QComboBox* pBox) {
    const QFontMetrics metrics(pBox->view()->font());
    int iWidest = 0;
    for (int i = 0; i < pBox->count(); ++i) iWidest = std::max(iWidest, metrics.horizontalAdvance(pBox->itemText(i)));
    if (iWidest + 10 > pBox->width()) pBox->view()->setMinimumWidth(iWidest + 10);
}

int CaptureWindow::Open(int iMain, int iChild, const uInstrumentWindowInfo* pInfo) {
    fMdi = iChild != -1 ? 1 : 0;
    int x = Window::DefaultPosition, y = Window::DefaultPosition;
    int iWidth = kind.iWidth, iHeight = kind.iHeight, iState = Window::StateNormal;
    const bool fFound = Window::LoadPosition(kind.iKind, x, y, iWidth, iHeight, iState, fMdi);

    WindowFrame* pNew = ChildWindow::Begin(iMain, iChild, kind.iKind, QString::fromStdString(kind.sTitle));
    if (!pNew) return 0;
    pFrame = pNew;
    iWindow = pNew->Window();
    iMainWindow = iMain;
    mCaptureWindow[iWindow] = this;
    QWidget* pOuter = pNew;
    if (QMdiSubWindow* pMdiFrame = ChildWindow::MdiFrame(iWindow)) pOuter = pMdiFrame;
    ChildWindow::ResizeNew(pOuter, fFound, iWidth, iHeight, true);
    if (fFound && x != Window::DefaultPosition && y != Window::DefaultPosition) pOuter->move(x, y);
    if (pInfo) {
        info = *pInfo;
        // The main window's exchange buffers are its own.
        info.sendData.release();
        info.receiveData.release();
        if (info.fConnected && !Usable(info)) sUnusableModel = info.sManufacturer + " " + info.sModel;
    }

    pMenu = ChildWindow::BuildMenu(pNew);
    BuildToolBar();
    pStatusBar = pNew->statusBar();
    BuildGadgets();

    // Preferences: an empty string counts as missing.
    sTemplate = kind.sDefaultTemplate;
    if (uIni* pIni = Main::ConfigIni()) {
        Ini::SelectSection(pIni, kind.sTemplateGroup);
        sTemplate = Ini::ReadString(pIni, "Default", kind.sDefaultTemplate);
        Ini::SelectSection(pIni, kind.sGroup);
        sTemplate = Ini::ReadString(pIni, "TemplateFilename", sTemplate);
        sFolder = Ini::ReadString(pIni, "Folder", "");
        sAutomaticFolder = Ini::ReadString(pIni, "FolderAutomatically", "");
        gadgets.pInterval->setText(QString::fromStdString(Ini::ReadString(pIni, "TimeAutomatically", "")));
        const std::int64_t iUnit = Ini::ReadInteger(pIni, "UnitAutomatically", 0);
        gadgets.pUnit->setCurrentIndex(iUnit >= 0 && iUnit < gadgets.pUnit->count() ? static_cast<int>(iUnit) : 0);
        ReadPreferences(pIni);
    }
    Utility::AddGadgetToolTip(gadgets.pFilename, sTemplate, 0, "");
    Utility::AddGadgetToolTip(gadgets.pSelectFolder, sAutomaticFolder, 0, "");

    ChildWindow::uHooks hooks;
    const int iSelf = iWindow;
    hooks.fnMenu = [iSelf](int iItem, bool fCtrl) {
        CaptureWindow* p = Find(iSelf);
        if (p) p->HandleMenu(iItem, fCtrl);
        return p != nullptr;
    };
    hooks.fnLayout = [iSelf] {
        if (CaptureWindow* p = Find(iSelf)) p->Layout();
    };
    hooks.fnClosing = [iSelf] {
        if (CaptureWindow* p = Find(iSelf)) p->Closing();
    };
    ChildWindow::Install(pNew, std::move(hooks));
    Bind();
    BindKind();
    InstallEscape();
    UpdateTitle();
    UpdateWindowIcon();
    UpdateMenuState();
    Utility::EnableSmartRefresh(pNew);
    if (fFound && iState == Window::StateMaximized) pOuter->showMaximized();
    else if (fFound && iState == Window::StateMinimized) pOuter->showMinimized();
    EventHub::PostEvent(EventSizeWindow, iWindow);
    if (fMdi) EventHub::PostEvent(EventActivateWindow, iWindow);
    Opened();
    return iWindow;
}

void CaptureWindow::Close(int iClosingOwnerWindow) { ChildWindow::Close(iWindow, iClosingOwnerWindow); }

int CaptureWindow::UpdateMenus() {
    pMenu = ChildWindow::BuildMenu(pFrame);
    UpdateMenuState();
    return 0;
}

QAction* CaptureWindow::AddToolButton(QToolBar* pBar, int iItem, const QImage& image, const QString& sTip,
                                      bool fCheckable) {
    QPixmap pixmap = QPixmap::fromImage(image);
    pixmap.setDevicePixelRatio(pBar->devicePixelRatioF());
    QAction* pAction = pBar->addAction(QIcon(pixmap), sTip);
    pAction->setData(iItem);
    pAction->setToolTip(sTip);
    pAction->setCheckable(fCheckable);
    const int iSelf = iWindow;
    QObject::connect(pAction, &QAction::triggered, pAction,
                     [iSelf, iItem] { EventHub::PostEvent(EventMenu, iSelf, iItem); });
    return pAction;
}

QAction* CaptureWindow::ToolButton(int iItem) const {
    if (!pToolBar) return nullptr;
    for (QAction* pAction : pToolBar->actions()) {
        if (!pAction->isSeparator() && pAction->data().toInt() == iItem) return pAction;
    }
    return nullptr;
}

void CaptureWindow::BuildToolBarButtons(QToolBar* pBar, int iPixels) {
    AddToolButton(pBar, WindowStart::MenuSaveAs, VectorIcon::IconSaveAs(iPixels), "&Save As...");
    pBar->addSeparator();
    AddToolButton(pBar, WindowStart::MenuCopy, VectorIcon::IconCopy(iPixels), "&Copy");
    pBar->addSeparator();
    AddToolButton(pBar, WindowStart::MenuFullscreen, VectorIcon::IconFullscreen(iPixels), "&Fullscreen");
    if (!fMdi) {
        AddToolButton(pBar, WindowStart::MenuShowMainWindow, VectorIcon::IconShowWindows(iPixels),
                      "Show &Main Window");
    }
}

void CaptureWindow::BuildToolBar() {
    int iSize = 1;
    if (uIni* pIni = Main::ConfigIni()) {
        Ini::SelectSection(pIni, "General");
        iSize = Ini::ReadBool(pIni, "ToolBarLarge", 0) != 0 ? 2 : 1;
    }
    QToolBar* pBar = pFrame->addToolBar("Toolbar");
    pBar->setMovable(false);
    pBar->setFloatable(false);
    pToolBar = pBar;
    BuildToolBarButtons(pBar, Utility::SetToolBarIconSize(pBar, iSize));
}

int CaptureWindow::BuildTab(QWidget*, int iTop, int) { return iTop; }
void CaptureWindow::LayoutTab(int, int) {}
void CaptureWindow::ReadPreferences(uIni*) {}
void CaptureWindow::WritePreferences(uIni*) {}

void CaptureWindow::BuildGadgets() {
    uCaptureGadgets& g = gadgets;
    g.pScrollArea = new QScrollArea(pFrame);
    g.pScrollArea->setFrameShape(QFrame::NoFrame);
    g.pScrollArea->setWidgetResizable(false);
    int iLines = Utility::GetWheelScrollLines();
    if (iLines < 1) iLines = 3;
    const int iStep = iLines * Utility::GetSystemFontSize(9);
    g.pScrollArea->verticalScrollBar()->setSingleStep(iStep);
    g.pScrollArea->horizontalScrollBar()->setSingleStep(iStep);
    g.pInner = new QWidget;
    g.pInner->resize(kind.iWidth, kind.iHeight);
    g.pPanel = new QTabWidget(g.pInner);
    g.pPanel->move(2, 10);
    g.pMainTab = new QWidget;
    g.pOptionsTab = new QWidget;
    g.pPanel->addTab(g.pMainTab, QString::fromStdString(kind.sTitle));
    g.pPanel->addTab(g.pOptionsTab, "Options");
    QWidget* pTab = g.pMainTab;

    // The button column.
    g.pRead = new QPushButton(QString::fromStdString(kind.sReadButton), pTab);
    g.pCancel = new QPushButton("Cancel", pTab);
    g.pShow = new QPushButton("Show...", pTab);
    Utility::AddGadgetToolTip(g.pShow, "Press and hold the Ctrl key to open the window separately.", 0, "");
    g.pSave = new QPushButton("Save...", pTab);
    g.pFilename = new QPushButton("Filename...", pTab);
    QPushButton* buttons[] = {g.pRead, g.pCancel, g.pShow, g.pSave, g.pFilename};
    iButtonColumn = MinButtonWidth;
    for (QPushButton* p : buttons) iButtonColumn = std::max(iButtonColumn, RequiredWidth(p) + 10);
    int y = 10;
    for (QPushButton* p : buttons) {
        p->setGeometry(10, y, iButtonColumn, RowHeight);
        y += RowHeight + RowGap;
    }
    const int iColumnHeight = y - RowGap - 10;
    g.pSeparator = new QFrame(pTab);
    g.pSeparator->setFrameShape(QFrame::VLine);
    g.pSeparator->setFrameShadow(QFrame::Sunken);
    g.pSeparator->setGeometry(iButtonColumn + 22, 10, 2, iColumnHeight);

    // The settings column.
    g.pAutomatic = new QCheckBox("Automatically", pTab);
    g.pInterval = new QLineEdit("5", pTab);
    g.pUnit = new QComboBox(pTab);
    const char* units[] = {"Milliseconds", "Seconds", "Minutes", "Hours"};
    for (int i = 0; i < 4; ++i) g.pUnit->addItem(units[i], i);
    g.pUnit->setCurrentIndex(1);
    g.pSaveToFolder = new QCheckBox("Save to folder", pTab);
    g.pSelectFolder = new QPushButton("Select folder...", pTab);
    iSettingsColumn = std::max(MinButtonWidth, RequiredWidth(g.pSelectFolder) + 10);
    QWidget* settings[] = {g.pAutomatic, g.pInterval, g.pUnit, g.pSaveToFolder, g.pSelectFolder};
    for (QWidget* p : settings) iSettingsColumn = std::max(iSettingsColumn, RequiredWidth(p));
    const int xSettings = iButtonColumn + 35;
    y = 10;
    for (QWidget* p : settings) {
        p->setGeometry(xSettings, y, iSettingsColumn, RowHeight);
        y += RowHeight + RowGap;
    }
    WidenDropDown(g.pUnit);

    iMinimumWidth = iButtonColumn + 10 + iSettingsColumn + 45;
    const int iBottom = BuildTab(pTab, y, iMinimumWidth - 20);
    // A control of the kind that its text makes wider than the columns widens the window, and
    // so does the longest status line of a transfer: both show whole.
    for (QWidget* p : pTab->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        iMinimumWidth = std::max(iMinimumWidth, p->geometry().right() + 1 + 20);
    }
    if (QLabel* pStatus = Utility::StatusLabel(pStatusBar)) {
        const QString sLongest = "Data received, bytes: 100,000,000 - (100,000 ms total)";
        iMinimumWidth = std::max(iMinimumWidth, pStatus->fontMetrics().horizontalAdvance(sLongest) + StatusMargin);
    }
    const int iMenu = fMdi || !pMenu ? 0 : pMenu->sizeHint().height();
    const int iTool = pToolBar ? pToolBar->sizeHint().height() : 0;
    const int iStatus = pFrame->statusBar()->sizeHint().height();
    iMinimumHeight = iMenu + iTool + iStatus + ContentHeight(iBottom);

    g.pOptionList = new OptionList(iWindow, QString::fromStdString(kind.sOptionsColumn), g.pOptionsTab);
    g.pOptionList->setGeometry(10, 10, iMinimumWidth + iSettingsColumn, 100);

    pFrame->setCentralWidget(g.pScrollArea);
    g.pScrollArea->setWidget(g.pInner);
    g.pScrollArea->installEventFilter(new ResizeWatch(iWindow, g.pScrollArea));
    pFrame->setMinimumSize(iMinimumWidth, iMinimumHeight);
    if (QMdiSubWindow* pMdiFrame = ChildWindow::MdiFrame(iWindow)) {
        pMdiFrame->setMinimumSize(pMdiFrame->minimumSizeHint().expandedTo(QSize(iMinimumWidth, iMinimumHeight)));
    }

    // The gadgets' handlers; each looks its window up first.
    const int iSelf = iWindow;
    auto with = [iSelf](auto fn) {
        return [iSelf, fn](auto&&...) {
            if (CaptureWindow* p = Find(iSelf)) fn(*p);
        };
    };
    QObject::connect(g.pRead, &QPushButton::clicked, g.pRead, with([](CaptureWindow& w) {
                         if (!w.SayUnusable()) w.StartReading();
                     }));
    QObject::connect(g.pCancel, &QPushButton::clicked, g.pCancel, with([](CaptureWindow& w) { w.Cancel(); }));
    QObject::connect(g.pShow, &QPushButton::clicked, g.pShow, with([](CaptureWindow& w) { w.OpenViewer(); }));
    QObject::connect(g.pSave, &QPushButton::clicked, g.pSave, with([](CaptureWindow& w) { w.Save(); }));
    QObject::connect(g.pFilename, &QPushButton::clicked, g.pFilename, with([](CaptureWindow& w) {
                         WindowTemplateFilename::Open(w.iWindow, w.kind.iKind, w.sTemplate);
                     }));
    QObject::connect(g.pAutomatic, &QCheckBox::clicked, g.pAutomatic,
                     with([](CaptureWindow& w) { w.fAutomaticChecked = w.gadgets.pAutomatic->isChecked(); }));
    QObject::connect(g.pSaveToFolder, &QCheckBox::clicked, g.pSaveToFolder,
                     with([](CaptureWindow& w) { w.fSaveAutomatically = w.gadgets.pSaveToFolder->isChecked(); }));
    QObject::connect(g.pSelectFolder, &QPushButton::clicked, g.pSelectFolder,
                     with([](CaptureWindow& w) { w.SelectFolder(); }));
}

void CaptureWindow::Layout() {
    uCaptureGadgets& g = gadgets;
    if (!g.pScrollArea || !g.pPanel || !g.pInner) return;
    // The scroll area is the window's inner area less menu, toolbar and status bar.
    const int W = std::max(1, g.pScrollArea->width());
    const int H = std::max(1, g.pScrollArea->height());
    const int iPanelWidth = std::max(W, iMinimumWidth) - 2;
    const int iPanelHeight = std::max(1, H - 10);
    // The item area of a tab: the panel less its tab bar and frame (the pages are laid out
    // only when the panel is shown, so they are not asked).
    const int iFrame = g.pPanel->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, g.pPanel) * 2;
    const int iItemWidth = std::max(1, iPanelWidth - iFrame);
    int iItemHeight = std::max(1, iPanelHeight - g.pPanel->tabBar()->sizeHint().height() - iFrame);
    LayoutTab(iItemWidth, iItemHeight);
    if (g.pOptionList) g.pOptionList->setGeometry(10, 10, std::max(1, iItemWidth - 20), std::max(1, iItemHeight - 20));
    const int iOptionsBottom = g.pOptionList ? g.pOptionList->geometry().bottom() + 1 : 0;
    const int iInnerWidth = std::max(W, iMinimumWidth);
    const int iInnerHeight = std::max(H, iOptionsBottom + 10);
    g.pPanel->setGeometry(2, 10, iPanelWidth, iPanelHeight);
    g.pInner->resize(iInnerWidth, iInnerHeight);
}

void CaptureWindow::Bind() {
    const int iSelf = iWindow;
    using EventHub::uEvent;
    auto with = [iSelf](auto fn) {
        return [iSelf, fn](const uEvent& e) {
            if (CaptureWindow* p = Find(iSelf)) fn(*p, e);
        };
    };
    EventHub::Bind(EventActivateWindow, iSelf, with([](CaptureWindow& w, const uEvent&) {
                       if (!w.fMdi) return;
                       EventHub::PostEvent(EventChildActivated, w.iMainWindow,
                                           reinterpret_cast<std::intptr_t>(w.pFrame->menuBar()), w.iWindow);
                       w.InstallEscape();
                   }));
    EventHub::Bind(EventInstrumentConnected, iSelf, with([](CaptureWindow& w, const uEvent& e) {
                       w.OnInstrumentConnected(e.pData.Get<uInstrumentWindowInfo>());
                   }));
    EventHub::Bind(EventInstrumentDisconnected, iSelf,
                   with([](CaptureWindow& w, const uEvent& e) { w.OnInstrumentDisconnected(e.iType, e.iObject == 1); }));
    EventHub::Bind(EventLinkViewer, iSelf, with([](CaptureWindow& w, const uEvent& e) { w.LinkViewer(e); }));
    EventHub::Bind(EventViewerSync, iSelf, with([](CaptureWindow& w, const uEvent& e) {
                       const uViewerSync* pSync = e.pData.Get<uViewerSync>();
                       w.ViewerSynced(pSync ? *pSync : uViewerSync{});
                   }));
    EventHub::Bind(EventTemplateChosen, iSelf, with([](CaptureWindow& w, const uEvent& e) {
                       if (const std::string* pText = e.pData.Get<std::string>()) w.OnTemplateChosen(*pText);
                   }));
    EventHub::Bind(EventGadget, iSelf, with([](CaptureWindow& w, const uEvent& e) {
                       if (e.iObject == GadgetOptionList && e.iType == w.kind.iOptionsEvent) {
                           w.OptionsChanged();
                           if (w.gadgets.pOptionList) w.gadgets.pOptionList->TakePending();
                       }
                   }));
    if (fMdi) {
        QMdiSubWindow* pMdiFrame = ChildWindow::MdiFrame(iSelf);
        if (pMdiFrame && pMdiFrame->mdiArea()) {
            QObject::connect(pMdiFrame->mdiArea(), &QMdiArea::subWindowActivated, pFrame,
                             [iSelf, pMdiFrame](QMdiSubWindow* pActive) {
                                 CaptureWindow* p = Find(iSelf);
                                 if (!p) return;
                                 // The main window's Escape belongs to its active child alone:
                                 // two would make the key ambiguous, and neither would act.
                                 if (pActive && pActive == pMdiFrame) p->InstallEscape();
                                 else if (pActive) delete p->pEscape;
                             });
        }
    }
}

// Escape posts item 267: on a separate window its own shortcut; for an MDI child the main
// window's, which the active child takes over each time it is activated.
void CaptureWindow::InstallEscape() {
    QWidget* pHost = pFrame;
    if (fMdi) {
        WindowStart::uWindowStart* pMain = nullptr;
        if (!WindowStart::GetInstance(iMainWindow, &pMain) || !pMain->pFrame) return;
        pHost = pMain->pFrame;
    }
    if (pEscape && pEscape->parent() == pHost) return;
    // One Escape per host: the last activated capture window of any kind takes it.
    for (QShortcut* pOther : pHost->findChildren<QShortcut*>(Qt::FindDirectChildrenOnly)) {
        if (pOther->key() == QKeySequence(Qt::Key_Escape)) delete pOther;
    }
    delete pEscape;
    auto* pShortcut = new QShortcut(QKeySequence(Qt::Key_Escape), pHost);
    pShortcut->setObjectName(QString::fromStdString(kind.sEscapeName));
    pShortcut->setContext(Qt::WindowShortcut);
    const int iSelf = iWindow;
    QObject::connect(pShortcut, &QShortcut::activated, pShortcut,
                     [iSelf] { EventHub::PostEvent(EventMenu, iSelf, MenuEscape); });
    pEscape = pShortcut;
}

void CaptureWindow::HandleMenu(int iItem, bool fCtrl) {
    switch (iItem) {
    case WindowStart::MenuShow: OpenViewer(); return;
    case WindowStart::MenuFullscreen:
        if (iViewer != 0 && ChildWindow::Find(iViewer)) EventHub::PostEvent(EventViewerFullscreen, iViewer);
        return;
    case WindowStart::MenuOpenSeparately:
        WindowStart::SetMenuItemChecked(pMenu, iItem, WindowStart::WindowOpenIndependent());
        return;
    case WindowStart::MenuDontCheckPosition:
        WindowStart::SetMenuItemChecked(pMenu, iItem, Main::WindowDontCheckPosition());
        return;
    case MenuEscape:
        if (gadgets.pCancel) gadgets.pCancel->click();
        return;
    case WindowStart::MenuSaveAs:
        if (!MenuCommand(iItem, fCtrl)) Save();
        return;
    default: MenuCommand(iItem, fCtrl); return;
    }
}

bool CaptureWindow::MenuCommand(int iItem, bool) { return iItem == WindowStart::MenuCopy; }

void CaptureWindow::Closing() {
    StopForClose();
    delete pEscape;
    WindowRegistry::StopTimer(iWindow, OptionList::TimerOptions);
    if (uIni* pIni = Main::ConfigIni()) {
        Ini::SelectSection(pIni, kind.sGroup);
        Ini::WriteString(pIni, "TemplateFilename", sTemplate);
        Ini::WriteString(pIni, "Folder", sFolder);
        Ini::WriteString(pIni, "FolderAutomatically", sAutomaticFolder);
        Ini::WriteString(pIni, "TimeAutomatically", gadgets.pInterval ? gadgets.pInterval->text().toStdString() : "");
        Ini::WriteNumberAs(pIni, "UnitAutomatically", gadgets.pUnit ? gadgets.pUnit->currentIndex() : 0, 0);
        WritePreferences(pIni);
    }
    info.sendData.release();
    info.receiveData.release();
    mCaptureWindow.erase(iWindow);
    Forget();
}

void CaptureWindow::SetStatus(const std::string& sText) {
    Utility::SetStatusText(pStatusBar, sText);
}

std::string CaptureWindow::Status() const {
    QLabel* pText = Utility::StatusLabel(pStatusBar);
    return pText ? pText->text().toStdString() : std::string();
}

void CaptureWindow::DisableGadgets(bool fDisable) {
    for (QWidget* pTab : {gadgets.pMainTab.data(), gadgets.pOptionsTab.data()}) {
        if (!pTab) continue;
        for (QWidget* p : pTab->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (p == gadgets.pCancel || p == gadgets.pShow) continue;
            p->setEnabled(!fDisable);
        }
    }
    WindowStart::SetMenuItemEnabled(pMenu, WindowStart::MenuSaveAs, !fDisable);
    if (QAction* p = ToolButton(WindowStart::MenuSaveAs)) p->setEnabled(!fDisable);
}

void CaptureWindow::UpdateMenuState() {
    if (pMenu) {
        if (fMdi) {
            WindowStart::SetMenuItemEnabled(pMenu, WindowStart::MenuSelect, !info.fConnected);
            WindowStart::SetMenuItemEnabled(pMenu, WindowStart::MenuDisconnect, TakesRequests(info));
        }
        WindowStart::SetMenuItemEnabled(pMenu, WindowStart::MenuFullscreen, iViewer != 0 && iViewerFlag == 0);
    }
    if (QAction* p = ToolButton(WindowStart::MenuFullscreen)) p->setEnabled(iViewer != 0 && iViewerFlag == 0);
}

void CaptureWindow::UpdateTitle() {
    if (!pFrame) return;
    std::string sText = kind.sTitle;
    if (!TakesRequests(info)) sText += " (disconnected)";
    else if (!fMdi) sText += " - " + info.sModel;
    const QString s = QString::fromStdString(sText);
    pFrame->setWindowTitle(s);
    if (QMdiSubWindow* pMdiFrame = ChildWindow::MdiFrame(iWindow)) pMdiFrame->setWindowTitle(s);
}

void CaptureWindow::UpdateWindowIcon() {
    if (pFrame) Utility::SetWindowIcon(pFrame, fMdi, &info.icon);
}

void CaptureWindow::OpenViewer() {
    EventHub::PostEvent(EventOpenViewer, iMainWindow, kind.iViewerKind, fMdi, ChildWindow::Data(iWindow));
    UpdateMenuState();
}

uViewerSync CaptureWindow::SyncRecord() const { return uViewerSync{iWindow, 0, 0, 0}; }

void CaptureWindow::PostViewerSync() {
    if (iViewer == 0 || !ChildWindow::Find(iViewer)) return;
    EventHub::PostEvent(EventViewerSync, iViewer, 0, 0, EventHub::Payload::Of<uViewerSync>(SyncRecord()));
}

void CaptureWindow::ViewerSynced(const uViewerSync&) { UpdateMenuState(); }

void CaptureWindow::LinkViewer(const EventHub::uEvent& event) {
    iViewer = static_cast<int>(event.iObject);
    iViewerFlag = event.iType;
    if (iViewer != 0) PostViewerSync();
    UpdateMenuState();
}

void CaptureWindow::PostOptionsEvent() {
    EventHub::PostEvent(EventGadget, iWindow, GadgetOptionList, kind.iOptionsEvent);
}

void CaptureWindow::SetOptionsTitle(bool fStar) {
    if (gadgets.pPanel) gadgets.pPanel->setTabText(1, fStar ? "Options *" : "Options");
}

std::string CaptureWindow::Prefix() const { return info.sModel + " - "; }

void CaptureWindow::MessageRequester(const std::string& sText) {
    QMessageBox box(QMessageBox::Critical, pFrame ? pFrame->windowTitle() : QString(), QString::fromStdString(sText),
                    QMessageBox::Ok, pFrame);
    box.exec();
}

std::string CaptureWindow::FolderRequester(const std::string& sStart) {
    QFileDialog dialog(pFrame.data(), "Select folder", QString::fromStdString(sStart));
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return WithSlash(dialog.selectedFiles().front().toStdString());
}

void CaptureWindow::SelectFolder() {
    const std::string sChosen = FolderRequester(sAutomaticFolder);
    if (sChosen.empty()) return;
    sAutomaticFolder = sChosen;
    Utility::AddGadgetToolTip(gadgets.pSelectFolder, sAutomaticFolder, 0, "");
}

void CaptureWindow::WritePreference(const std::string& sKey, const std::string& sValue) {
    if (uIni* pIni = Main::ConfigIni()) {
        Ini::SelectSection(pIni, kind.sGroup);
        Ini::WriteString(pIni, sKey, sValue);
    }
}

void CaptureWindow::OnTemplateChosen(const std::string& sText) {
    sTemplate = sText;
    WritePreference("TemplateFilename", sTemplate);
    if (gadgets.pFilename) Utility::AddGadgetToolTip(gadgets.pFilename, sTemplate, 0, "");
}

void CaptureWindow::UntickAutomatic(const std::string& sText) {
    if (gadgets.pAutomatic) gadgets.pAutomatic->setChecked(false);
    fAutomaticChecked = false;
    SetStatus(sText);
}

void CaptureWindow::InstrumentConnected(bool) {}

bool CaptureWindow::SayUnusable() {
    if (sUnusableModel.empty()) return false;
    std::string sWhat = kind.sReadButton;
    std::transform(sWhat.begin(), sWhat.end(), sWhat.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    // An instrument without a maker (nothing answered the identification) is named by its place.
    SetStatus("This program cannot read a " + sWhat + " from the " + Utility::TrimCharactersLeft(sUnusableModel, " ") +
              ".");
    return true;
}

void CaptureWindow::OnInstrumentConnected(const uInstrumentWindowInfo* pInfo) {
    info.sendData.release();
    info.receiveData.release();
    // A lost instrument that a request opened again: the status line tells how that request
    // went (a read under way, or its result), and keeps it.
    const bool fRegained = info.fLost && pInfo && pInfo->pInstrument == info.pInstrument;
    if (pInfo) {
        info = *pInfo;
        info.sendData.release();
        info.receiveData.release();
    }
    const bool fUsable = Usable(info);
    sUnusableModel = !fUsable && info.fConnected ? info.sManufacturer + " " + info.sModel : "";
    if (!fUsable) {
        info.fConnected = false;
    } else {
        UpdateMenuState();
        UpdateTitle();
        UpdateWindowIcon();
        if (!fRegained) SetStatus("");
    }
    InstrumentConnected(fUsable);
}

void CaptureWindow::OnInstrumentDisconnected(std::intptr_t iObject, bool fLost) {
    if (!info.pInstrument || reinterpret_cast<std::intptr_t>(info.pInstrument.get()) != iObject) return;
    if (fLost) {
        // The connection went away: the window keeps the instrument, whose worker tries to open
        // it at the next request; a task under way still reports.
        info.fConnected = false;
        info.fLost = true;
        InstrumentDisconnected();
        UpdateTitle();
        UpdateMenuState();
        return;
    }
    info.fLost = false;
    sUnusableModel.clear();
    info.pInstrument.reset();
    info.fConnected = false;
    info.eProtocol = eProtocol{};
    InstrumentDisconnected();
    // A connection that went away takes the cancel task's result with it, which would have
    // freed the gadgets; without an instrument nothing can run.
    DisableGadgets(false);
    UpdateTitle();
    UpdateMenuState();
    UpdateWindowIcon();
}
