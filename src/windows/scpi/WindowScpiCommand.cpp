// The SCPI command window: its record, opening, gadgets, menus, toolbar and shortcut, the main
// window's events, title and item states, and closing.
#include "windows/scpi/WindowScpiCommand.h"

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

#include <QCheckBox>
#include <QComboBox>
#include <QFont>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QShortcut>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <map>
#include <utility>

namespace WindowScpiCommand {
namespace {

// The open windows by window number; GUI thread only.
std::map<int, std::unique_ptr<uWindowScpiCommand>> mWindowScpiCommand;
std::int64_t iCreationCounter = 0;
int iOpenCount = 0;

const char* const Title = "SCPI-Command";

QFont EditorFont() {
    QFont font("Courier New", Utility::GetSystemFontSize());
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    return font;
}

QHBoxLayout* Row(QVBoxLayout* pColumn) {
    auto* pRow = new QHBoxLayout;
    pRow->setSpacing(4);
    pColumn->addLayout(pRow);
    return pRow;
}

QVBoxLayout* Column(QWidget* pPane) {
    auto* pColumn = new QVBoxLayout(pPane);
    pColumn->setContentsMargins(4, 4, 4, 4);
    pColumn->setSpacing(4);
    return pColumn;
}

template <class T> T* Add(QHBoxLayout* pRow, T* pGadget) {
    pRow->addWidget(pGadget);
    return pGadget;
}

QComboBox* ByteCounts(int iChosen) {
    auto* pBox = new QComboBox;
    for (int i = 16; i <= 2048; i *= 2) pBox->addItem(QString::number(i));
    pBox->setCurrentText(QString::number(iChosen));
    return pBox;
}

void BuildListPane(uGadgets& g, const uLayout& layout) {
    g.pListPane = new QWidget;
    QVBoxLayout* pColumn = Column(g.pListPane);
    QHBoxLayout* pRow = Row(pColumn);
    g.pListLabel = Add(pRow, new QLabel("Command list:"));
    g.pListFiles = Add(pRow, new QComboBox);
    g.pListFiles->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    // The list names arrive after the window is shown: the box grows with them.
    g.pListFiles->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    g.pFolder = Add(pRow, new QToolButton);
    QPixmap folder = QPixmap::fromImage(
        VectorIcon::IconFolder(static_cast<int>(layout.iFolderIcon * Utility::DesktopScale() + 0.5)));
    folder.setDevicePixelRatio(Utility::DesktopScale());
    g.pFolder->setIcon(QIcon(folder));
    g.pFolder->setIconSize(QSize(layout.iFolderIcon, layout.iFolderIcon));
    Utility::AddGadgetToolTip(g.pFolder, "Select Folder...", 0, "");
    g.pCommandList = new QListWidget;
    pColumn->addWidget(g.pCommandList, 1);
    pRow = Row(pColumn);
    g.pListSaveAs = Add(pRow, new QPushButton("Save As..."));
    g.pRemove = Add(pRow, new QPushButton("Remove"));
    pRow->addStretch(1);
}

void BuildCommandPane(uGadgets& g) {
    g.pCommandPane = new QWidget;
    QVBoxLayout* pColumn = Column(g.pCommandPane);
    QHBoxLayout* pRow = Row(pColumn);
    g.pNameLabel = Add(pRow, new QLabel("Name:"));
    g.pName = Add(pRow, new QLineEdit);
    g.pAdd = Add(pRow, new QPushButton("Add"));
    g.pCommandLabel = new QLabel("Command:");
    pColumn->addWidget(g.pCommandLabel);
    g.pCommand = new QPlainTextEdit;
    g.pCommand->setFont(EditorFont());
    Utility::EditorSetPlainText(g.pCommand);
    pColumn->addWidget(g.pCommand, 1);
    pRow = Row(pColumn);
    g.pFile = Add(pRow, new QCheckBox("File:"));
    Utility::AddGadgetToolTip(g.pFile, "The file can only be used at the end of the command.", 0, "");
    g.pFileName = Add(pRow, new QLineEdit);
    g.pOpen = Add(pRow, new QPushButton("Open..."));
    g.pBlockFormat = new QCheckBox("Insert block format (#NM) with file size");
    Utility::AddGadgetToolTip(g.pBlockFormat, "Insert the SCPI block format with the file size, e.g. #540368.", 0, "");
    g.pBlockFormat->setEnabled(false);
    pColumn->addWidget(g.pBlockFormat);
    pRow = Row(pColumn);
    g.pCancel = Add(pRow, new QPushButton("Cancel"));
    Utility::AddGadgetToolTip(g.pCancel, "The abort may take a few seconds.", 0, "");
    g.pSend = Add(pRow, new QPushButton("Send"));
    g.pSendReceive = Add(pRow, new QPushButton("Send && Receive"));
    pRow->addStretch(1);
    g.pVendorSpecific = new QCheckBox("Vendor specific");
    Utility::AddGadgetToolTip(g.pVendorSpecific, "Sends a USBTMC vendor specific command message.", 0, "");
    pColumn->addWidget(g.pVendorSpecific);
    pRow = Row(pColumn);
    g.pWaitLabel = Add(pRow, new QLabel("Wait for the data:"));
    g.pWaitMav = Add(pRow, new QCheckBox("Status Byte (MAV)"));
    Utility::AddGadgetToolTip(g.pWaitMav,
                              "Waiting until the Message Available Bit (MAV) is set in the status byte.", 0, "");
    g.pWaitSrq = Add(pRow, new QCheckBox("Service Request"));
    Utility::AddGadgetToolTip(g.pWaitSrq,
                              "Waiting for the Service Request Interrupt. The SRQ must be activated with e.g. "
                              "'*SRE 16' for the MAV bit.",
                              0, "");
    pRow->addStretch(1);
}

void BuildAnswerPane(uGadgets& g) {
    g.pAnswerPane = new QWidget;
    QVBoxLayout* pColumn = Column(g.pAnswerPane);
    QHBoxLayout* pRow = Row(pColumn);
    g.pViewLabel = Add(pRow, new QLabel("View:"));
    g.pViewMode = Add(pRow, new QComboBox);
    g.pViewMode->addItems({"Hex + Ascii", "Hex", "Ascii"});
    g.pViewMode->setCurrentIndex(0);
    g.pFirstLabel = Add(pRow, new QLabel("First:"));
    g.pFirst = Add(pRow, ByteCounts(128));
    g.pFirstBytes = Add(pRow, new QLabel("Bytes"));
    g.pLastLabel = Add(pRow, new QLabel("Last:"));
    g.pLast = Add(pRow, ByteCounts(32));
    g.pLastBytes = Add(pRow, new QLabel("Bytes"));
    g.pViewAll = Add(pRow, new QCheckBox("View all"));
    pRow->addStretch(1);
    pRow = Row(pColumn);
    g.pSaveOptions = Add(pRow, new QGroupBox);
    auto* pOptions = new QHBoxLayout(g.pSaveOptions);
    pOptions->setContentsMargins(4, 2, 4, 2);
    g.pRemoveBlockFormat = new QCheckBox("Remove block format (#NM)");
    g.pRemoveLastByte = new QCheckBox("Remove last byte");
    g.pReplaceComma = new QCheckBox("Replace Comma with NewLine");
    for (QCheckBox* p : {g.pRemoveBlockFormat.data(), g.pRemoveLastByte.data(), g.pReplaceComma.data()}) {
        pOptions->addWidget(p);
    }
    g.pAnswerSaveAs = Add(pRow, new QPushButton("Save As..."));
    pRow->addStretch(1);
    g.pAnswer = new AnswerTextView;
    g.pAnswer->setFont(EditorFont());
    g.pAnswer->setLineWrapMode(AnswerTextView::NoWrap);
    g.pAnswer->setContextMenuPolicy(Qt::CustomContextMenu);
    pColumn->addWidget(g.pAnswer, 1);
}

void BuildGadgets(uWindowScpiCommand& window) {
    uGadgets& g = window.gadgets;
    g.pArea = new QScrollArea(window.pFrame);
    g.pArea->setWidgetResizable(true);
    g.pArea->setFrameShape(QFrame::NoFrame);
    BuildListPane(g, window.layout);
    BuildCommandPane(g);
    BuildAnswerPane(g);
    g.pSplitterMain = new QSplitter(Qt::Vertical);
    g.pSplitterTop = new QSplitter(Qt::Horizontal);
    g.pSplitterTop->addWidget(g.pListPane);
    g.pSplitterTop->addWidget(g.pCommandPane);
    g.pSplitterTop->setStretchFactor(0, 2);
    g.pSplitterTop->setStretchFactor(1, 3);
    g.pSplitterMain->addWidget(g.pSplitterTop);
    g.pSplitterMain->addWidget(g.pAnswerPane);
    g.pSplitterMain->setStretchFactor(0, 1);
    g.pSplitterMain->setStretchFactor(1, 1);
    g.pArea->setWidget(g.pSplitterMain);
    window.pFrame->setCentralWidget(g.pArea);
}

QAction* AddButton(QToolBar* pToolBar, int iWindow, int iItem, QImage image, const QString& sTip) {
    QPixmap pixmap = QPixmap::fromImage(image);
    pixmap.setDevicePixelRatio(pToolBar->devicePixelRatioF());
    QAction* pAction = pToolBar->addAction(QIcon(pixmap), sTip);
    pAction->setData(iItem);
    pAction->setToolTip(sTip);
    QObject::connect(pAction, &QAction::triggered, pAction,
                     [iWindow, iItem] { EventHub::PostEvent(EventMenu, iWindow, iItem); });
    return pAction;
}

void BuildToolBar(uWindowScpiCommand& window) {
    int iSize = 1;
    if (uIni* pIni = Main::ConfigIni()) {
        Ini::SelectSection(pIni, "General");
        iSize = Ini::ReadBool(pIni, "ToolBarLarge", 0) != 0 ? 2 : 1;
    }
    QToolBar* pToolBar = window.pFrame->addToolBar("Toolbar");
    pToolBar->setMovable(false);
    pToolBar->setFloatable(false);
    const int iPixels = Utility::SetToolBarIconSize(pToolBar, iSize);
    AddButton(pToolBar, window.iWindow, WindowStart::MenuSaveAs, VectorIcon::IconSaveAs(iPixels), "Save As...");
    pToolBar->addSeparator();
    AddButton(pToolBar, window.iWindow, WindowStart::MenuCopy, VectorIcon::IconCopy(iPixels), "Copy");
    if (!window.fMdi) {
        pToolBar->addSeparator();
        AddButton(pToolBar, window.iWindow, WindowStart::MenuShowMainWindow, VectorIcon::IconShowWindows(iPixels),
                  "Show Main Window");
    }
    window.pToolBar = pToolBar;
}

void BuildPopupMenu(uWindowScpiCommand& window) {
    auto* pMenu = new QMenu(window.gadgets.pAnswer);
    WindowStart::AddMenuItem(pMenu, window.iWindow, WindowStart::MenuCopy, "&Copy");
    pMenu->addSeparator();
    WindowStart::AddMenuItem(pMenu, window.iWindow, WindowStart::MenuSaveAs, "&Save As...");
    window.pPopupMenu = pMenu;
    const int iWindow = window.iWindow;
    QObject::connect(window.gadgets.pAnswer, &QWidget::customContextMenuRequested, window.gadgets.pAnswer,
                     [iWindow](const QPoint& at) {
                         uWindowScpiCommand* p = nullptr;
                         if (!FindInstance(iWindow, &p) || !p->pPopupMenu) return;
                         p->pPopupMenu->popup(p->gadgets.pAnswer->viewport()->mapToGlobal(at));
                     });
}

// Escape sends item 267: on a separate window the window's own shortcut; for an MDI child the
// main window's, which the active child takes over each time it is activated.
void InstallEscape(uWindowScpiCommand& window) {
    QWidget* pHost = window.pFrame;
    if (window.fMdi) {
        WindowStart::uWindowStart* pMain = nullptr;
        if (!WindowStart::GetInstance(window.iMainWindow, &pMain) || !pMain->pFrame) return;
        pHost = pMain->pFrame;
    }
    if (window.pEscape && window.pEscape->parent() == pHost) return;
    for (QShortcut* pOther : pHost->findChildren<QShortcut*>("ScpiCommandEscape", Qt::FindDirectChildrenOnly)) {
        delete pOther;
    }
    delete window.pEscape;
    auto* pShortcut = new QShortcut(QKeySequence(Qt::Key_Escape), pHost);
    pShortcut->setObjectName("ScpiCommandEscape");
    pShortcut->setContext(Qt::WindowShortcut);
    const int iWindow = window.iWindow;
    QObject::connect(pShortcut, &QShortcut::activated, pShortcut,
                     [iWindow] { EventHub::PostEvent(EventMenu, iWindow, MenuStopRefresh); });
    window.pEscape = pShortcut;
}

void SetTitle(uWindowScpiCommand& window) {
    std::string sTitle = Title;
    if (TakesRequests(window.info)) { // a lost instrument is still the window's: not "disconnected"
        if (!window.fMdi) sTitle += " - " + window.info.sModel;
    } else {
        sTitle += " (disconnected)";
    }
    const QString s = QString::fromStdString(sTitle);
    window.pFrame->setWindowTitle(s);
    if (QMdiSubWindow* pMdiFrame = ChildWindow::MdiFrame(window.iWindow)) pMdiFrame->setWindowTitle(s);
}

void SetIcon(uWindowScpiCommand& window) {
    Utility::SetWindowIcon(window.pFrame, window.fMdi, &window.info.icon);
}

void OnInstrumentConnected(uWindowScpiCommand& window, const uInstrumentWindowInfo* pInfo) {
    window.info.sendData.release();
    window.info.receiveData.release();
    if (pInfo) {
        window.info = *pInfo;
        // The main window's exchange buffers are its own.
        window.info.sendData.release();
        window.info.receiveData.release();
    }
    // Results of tasks queued on the instrument before are of no concern any more.
    window.iAwaitedTask = 0;
    window.mOutstanding.clear();
    if (window.info.capabilities.bScpiCommand != 0) {
        Detail::ApplyItemStates(window);
        SetTitle(window);
        SetIcon(window);
    } else {
        window.info.fConnected = false;
    }
}

void OnInstrumentDisconnected(uWindowScpiCommand& window, std::intptr_t iObject, bool fLost) {
    if (!window.info.pInstrument || reinterpret_cast<std::intptr_t>(window.info.pInstrument.get()) != iObject) return;
    if (fLost) {
        // The connection went away: the window keeps the instrument, whose worker tries to open
        // it at the next request; a task under way still reports.
        window.info.fConnected = false;
        window.info.fLost = true;
        SetTitle(window);
        Detail::ApplyItemStates(window);
        return;
    }
    window.info.fLost = false;
    window.info.pInstrument.reset();
    window.info.fConnected = false;
    window.info.eProtocol = eProtocol{};
    // A task that meets the closed connection reports nothing, and "Cancel" is inert now: the
    // window stops waiting here.
    window.iAwaitedTask = 0;
    window.mOutstanding.clear();
    window.fBusy = false;
    SetTitle(window);
    Detail::ApplyItemStates(window);
    SetIcon(window);
}

void OnActivate(uWindowScpiCommand& window) {
    if (!window.fMdi) return;
    EventHub::PostEvent(EventChildActivated, window.iMainWindow,
                        reinterpret_cast<std::intptr_t>(window.pFrame->menuBar()), window.iWindow);
    InstallEscape(window);
}

bool HandleMenu(int iWindow, int iItem) {
    uWindowScpiCommand* p = nullptr;
    if (!FindInstance(iWindow, &p)) return false;
    switch (iItem) {
    case WindowStart::MenuCopy: Detail::CopyAnswer(*p); return true;
    case WindowStart::MenuSaveAs: SaveData(iWindow); return true;
    case WindowStart::MenuOpenSeparately:
        WindowStart::SetMenuItemChecked(p->pMenu, iItem, WindowStart::WindowOpenIndependent());
        return true;
    case WindowStart::MenuDontCheckPosition:
        WindowStart::SetMenuItemChecked(p->pMenu, iItem, Main::WindowDontCheckPosition());
        return true;
    case MenuStopRefresh: Detail::StopRefreshThread(*p, 100); return true;
    default: return false;
    }
}

void OnTimer(int iWindow, int iTimer) {
    WindowRegistry::StopTimer(iWindow, iTimer);
    if (iTimer == TimerFillCommandLists && FindInstance(iWindow, nullptr)) FillCommandListFiles(iWindow, 0);
}

void Closing(int iWindow) {
    const auto it = mWindowScpiCommand.find(iWindow);
    if (it == mWindowScpiCommand.end()) return;
    uWindowScpiCommand& window = *it->second;
    Detail::CloseCommandList(window);
    Detail::StopRefreshThread(window, 50);
    Detail::EndAnswerSave(window);
    delete window.pEscape;
    WindowRegistry::StopTimer(iWindow, TimerFillCommandLists);
    window.info.sendData.release();
    window.info.receiveData.release();
    window.pReceived.reset();
    mWindowScpiCommand.erase(it);
    --iOpenCount;
}

void BindEvents(uWindowScpiCommand& window) {
    const int iWindow = window.iWindow;
    using EventHub::uEvent;
    auto with = [iWindow](auto fn) {
        return [iWindow, fn](const uEvent& e) {
            uWindowScpiCommand* p = nullptr;
            if (FindInstance(iWindow, &p)) fn(*p, e);
        };
    };
    EventHub::Bind(EventActivateWindow, iWindow, with([](uWindowScpiCommand& w, const uEvent&) { OnActivate(w); }));
    EventHub::Bind(EventTimer, iWindow, [iWindow](const uEvent& e) { OnTimer(iWindow, static_cast<int>(e.iObject)); });
    EventHub::Bind(EventInstrumentConnected, iWindow, with([](uWindowScpiCommand& w, const uEvent& e) {
                       OnInstrumentConnected(w, e.pData.Get<uInstrumentWindowInfo>()); // a copy the event owns
                   }));
    EventHub::Bind(EventInstrumentDisconnected, iWindow, with([](uWindowScpiCommand& w, const uEvent& e) {
                       OnInstrumentDisconnected(w, e.iType, e.iObject == 1);
                   }));
    EventHub::Bind(EventTaskFinished, iWindow, [iWindow](const uEvent& e) { Detail::OnTaskFinished(iWindow, e); });
    EventHub::Bind(EventTransferStatus, iWindow, [iWindow](const uEvent& e) { Detail::OnTransferStatus(iWindow, e); });
    EventHub::Bind(EventScpiViewRefresh, iWindow, [iWindow](const uEvent& e) { Detail::ViewRefresh(iWindow, e); });
    if (window.fMdi) {
        QMdiSubWindow* pMdiFrame = ChildWindow::MdiFrame(iWindow);
        if (pMdiFrame && pMdiFrame->mdiArea()) {
            QObject::connect(pMdiFrame->mdiArea(), &QMdiArea::subWindowActivated, window.pFrame,
                             [iWindow, pMdiFrame](QMdiSubWindow* pActive) {
                                 uWindowScpiCommand* p = nullptr;
                                 if (pActive && pActive == pMdiFrame && FindInstance(iWindow, &p)) InstallEscape(*p);
                             });
        }
    }
    Detail::BindSendHandlers(window);
    Detail::BindViewHandlers(window);
    Detail::BindListHandlers(window);
}

} // namespace

bool FindInstance(int iWindow, uWindowScpiCommand** ppWindow) {
    const auto it = mWindowScpiCommand.find(iWindow);
    if (it == mWindowScpiCommand.end()) return false;
    if (ppWindow) *ppWindow = it->second.get();
    return true;
}

int OpenCount() { return iOpenCount; }

int Open(int iMainWindow, int iChild, uInstrumentWindowInfo* pInfo) {
    const std::int64_t iCreation = ++iCreationCounter;
    const int fMdi = iChild != -1 ? 1 : 0;
    int x = Window::DefaultPosition, y = Window::DefaultPosition, iWidth = 600, iHeight = 700;
    int iState = Window::StateNormal;
    const bool fFound = Window::LoadPosition(WindowKindScpiCommand, x, y, iWidth, iHeight, iState, fMdi);

    WindowFrame* pFrame = ChildWindow::Begin(iMainWindow, iChild, WindowKindScpiCommand, Title);
    if (!pFrame) return 0;
    ++iOpenCount;
    const int iWindow = pFrame->Window();
    QWidget* pOuter = pFrame;
    if (QMdiSubWindow* pMdiFrame = ChildWindow::MdiFrame(iWindow)) pOuter = pMdiFrame;
    ChildWindow::ResizeNew(pOuter, fFound, iWidth, iHeight, true);
    if (fFound && x != Window::DefaultPosition && y != Window::DefaultPosition) pOuter->move(x, y);

    auto pRecord = std::make_unique<uWindowScpiCommand>();
    uWindowScpiCommand& window = *pRecord;
    window.iCreation = iCreation;
    window.iWindow = iWindow;
    window.iMainWindow = iMainWindow;
    window.iKind = WindowKindScpiCommand;
    window.fMdi = fMdi;
    window.pFrame = pFrame;
    if (pInfo) {
        window.info = *pInfo;
        window.info.sendData.release();
        window.info.receiveData.release();
    }
    mWindowScpiCommand[iWindow] = std::move(pRecord);

    window.pMenu = ChildWindow::BuildMenu(pFrame);
    BuildToolBar(window);
    window.pStatusBar = pFrame->statusBar();
    BuildGadgets(window);
    BuildPopupMenu(window);
    if (!fFound) {
        // The default width grows to what the gadgets need at the user's font, a vertical
        // scroll bar and an MDI frame included; the main window keeps the child inside its area.
        int iChrome = pFrame->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, pFrame);
        if (pOuter != pFrame) iChrome += 2 * pOuter->style()->pixelMetric(QStyle::PM_MdiSubWindowFrameWidth, nullptr, pOuter);
        // (ResizeNew made it wide enough for a failure reason of the usual length already.)
        pOuter->resize(std::max(pOuter->width(), window.gadgets.pSplitterMain->minimumSizeHint().width() + iChrome), iHeight);
    }
    if (pOuter != pFrame) {
        // A tiling never makes the child smaller than the command list and command pane at
        // their least, with the toolbar and the status line; the answers scroll below them.
        const int iChrome = 2 * pOuter->style()->pixelMetric(QStyle::PM_MdiSubWindowFrameWidth, nullptr, pOuter);
        const int iTitle = pOuter->style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, pOuter);
        // The answers below scroll: the vertical scroll bar stands beside the panes.
        const int iScrollBar = pFrame->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, pFrame);
        const QSize content(window.gadgets.pSplitterMain->minimumSizeHint().width(),
                            window.gadgets.pSplitterTop->minimumSizeHint().height());
        const int iBars = window.pToolBar->sizeHint().height() + window.pStatusBar->sizeHint().height();
        pOuter->setMinimumSize(pOuter->minimumSizeHint().expandedTo(
            QSize(content.width() + iScrollBar + iChrome, content.height() + iBars + iTitle + iChrome)));
    }

    ChildWindow::uHooks hooks;
    hooks.fnMenu = [iWindow](int iItem, bool) { return HandleMenu(iWindow, iItem); };
    hooks.fnLayout = [] {}; // the panes and splitters follow the window by their layouts
    hooks.fnClosing = [iWindow] { Closing(iWindow); };
    ChildWindow::Install(pFrame, std::move(hooks));
    BindEvents(window);
    InstallEscape(window);
    SetTitle(window);
    SetIcon(window);
    Detail::ApplyItemStates(window);
    Utility::EnableSmartRefresh(pFrame);
    if (fFound && iState == Window::StateMaximized) pOuter->showMaximized();
    else if (fFound && iState == Window::StateMinimized) pOuter->showMinimized();

    EventHub::PostEvent(EventSizeWindow, iWindow);
    if (fMdi) EventHub::PostEvent(EventActivateWindow, iWindow);
    WindowRegistry::StartTimer(iWindow, TimerFillCommandLists, 100);
    return iWindow;
}

int UpdateMenus(int iWindow) {
    uWindowScpiCommand* p = nullptr;
    if (!FindInstance(iWindow, &p)) return 0;
    p->pMenu = ChildWindow::BuildMenu(p->pFrame);
    Detail::ApplyItemStates(*p);
    return 0;
}

void RegisterKind() {
    WindowKinds::Register(WindowKindScpiCommand, {Open, [](int iWindow) { UpdateMenus(iWindow); }});
}

namespace Detail {

void ApplyItemStates(uWindowScpiCommand& window) {
    WindowStart::SetMenuItemEnabled(window.pMenu, WindowStart::MenuSelect, !window.info.fConnected);
    WindowStart::SetMenuItemEnabled(window.pMenu, WindowStart::MenuDisconnect, TakesRequests(window.info));
    SetBusyState(window.iWindow, window.fBusy);
}

void SetStatus(uWindowScpiCommand& window, const std::string& sText) {
    Utility::SetStatusText(window.pStatusBar, sText);
}

} // namespace Detail

} // namespace WindowScpiCommand
