#include "script/WindowScript.h"

#include "app/Main.h"
#include "app/Window.h"
#include "app/WindowKinds.h"
#include "app/WindowStart.h"
#include "common/Ini.h"
#include "common/UtilityGui.h"
#include "icons/VectorIcon.h"
#include "platform/ProgramEvents.h"
#include "platform/WindowFrame.h"
#include "platform/WindowRegistry.h"

#include <Qsci/qsciscintilla.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QEvent>
#include <QFont>
#include <QFontDatabase>
#include <QIcon>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QMimeData>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QToolBar>

#include <algorithm>
#include <functional>
#include <map>
#include <utility>

namespace WindowScript {

namespace {

// The script editor: pasted text goes in by its length, so that a NUL byte in it does not end it
// early and unseen (a check then names the byte's line).
class ScriptEditor : public QsciScintilla {
  public:
    using QsciScintilla::QsciScintilla;
    void paste() override {
        const QMimeData* pData = QApplication::clipboard()->mimeData();
        if (!pData || !pData->hasText() || isReadOnly()) return;
        const QByteArray bytes = pData->text().toUtf8();
        SendScintilla(SCI_BEGINUNDOACTION);
        SendScintilla(SCI_REPLACESEL, 0ul, "");
        SendScintilla(SCI_ADDTEXT, static_cast<unsigned long>(bytes.size()), bytes.constData());
        SendScintilla(SCI_ENDUNDOACTION);
    }

  protected:
    void keyPressEvent(QKeyEvent* pEvent) override {
        if (!pEvent->matches(QKeySequence::Paste)) return QsciScintilla::keyPressEvent(pEvent);
        paste();
        pEvent->accept();
    }
};

// The open script windows by window number; GUI thread only.
std::map<int, std::unique_ptr<uWindowScript>> mWindowScript;
std::int64_t iOpenedCount = 0;
bool fScintillaEnabled = true;

// Size changes of the frame and the tab pages, and drops onto the editors, for one window.
class uGadgetFilter final : public QObject {
  public:
    explicit uGadgetFilter(std::function<bool(QObject*, QEvent*)> fn) : fn(std::move(fn)) {}
    bool eventFilter(QObject* pObject, QEvent* pEvent) override { return fn(pObject, pEvent); }

  private:
    std::function<bool(QObject*, QEvent*)> fn;
};

QFont EditorFont() {
    QFont font("Courier New", Utility::GetSystemFontSize(9));
    font.setStyleHint(QFont::Monospace);
    font.setFixedPitch(true);
    if (!QFontInfo(font).fixedPitch()) {
        // "Courier New" may resolve to a face that does not report a fixed pitch (a metric
        // substitute such as Nimbus Mono PS); ask for the system's fixed font, still as monospace.
        QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        fixed.setPointSize(font.pointSize());
        fixed.setStyleHint(QFont::Monospace);
        fixed.setFixedPitch(true);
        return fixed;
    }
    return font;
}

QPlainTextEdit* NewPlainEditor(QWidget* pParent, const QFont& font) {
    auto* pEditor = new QPlainTextEdit(pParent);
    pEditor->setFont(font);
    Utility::EditorSetPlainText(pEditor);
    return pEditor;
}

// The splitter and the two editors of the other tabs fill their pages, 10 pixels from the edges.
void LayoutPages(uWindowScript& window) {
    auto fit = [](QWidget* pGadget) {
        if (!pGadget || !pGadget->parentWidget()) return;
        const QSize page = pGadget->parentWidget()->size();
        pGadget->resize(std::max(1, page.width() - pGadget->x() - 10), std::max(1, page.height() - pGadget->y() - 10));
    };
    fit(window.pSplitter);
    fit(window.pConstants);
    fit(window.pOutput);
}

bool FilterEvent(int iWindow, QObject* pObject, QEvent* pEvent) {
    uWindowScript* pWindow = nullptr;
    if (!GetInstance(iWindow, &pWindow)) return false;
    switch (pEvent->type()) {
    case QEvent::Resize:
        if (pObject == pWindow->pFrame) Resize(iWindow);
        else LayoutPages(*pWindow);
        return false;
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop: return OnWindowDrop(iWindow, pEvent);
    default: return false;
    }
}

void OnTimer(int iWindow, int iTimer, std::intptr_t iArming) {
    if (!WindowRegistry::TimerDue(iWindow, iTimer, iArming)) return;
    WindowRegistry::StopTimer(iWindow, iTimer);
    uWindowScript* pWindow = nullptr;
    if (iTimer != TimerStartUp || !GetInstance(iWindow, &pWindow)) return;
    if (pWindow->pButtonStop) pWindow->pButtonStop->setEnabled(false);
    if (pWindow->pButtonPause) pWindow->pButtonPause->setEnabled(false);
    if (QSplitter* pSplitter = pWindow->pSplitter) {
        const int iTotal = pSplitter->height() - pSplitter->handleWidth();
        pSplitter->setSizes({std::max(1, iTotal - 80), 80});
    }
    LoadConstants(iWindow);
}

void OnMenu(int iWindow, int iItem, bool fCtrl) {
    uWindowScript* pWindow = nullptr;
    if (!GetInstance(iWindow, &pWindow)) return;
    if (WindowStart::TopLevelMenu(iWindow, pWindow->pMenu, iItem, fCtrl)) return;
    if (iItem == WindowStart::MenuCloseWindow) Close(iWindow);
}

void OnWindowListChanged(int iWindow) {
    uWindowScript* pWindow = nullptr;
    if (!GetInstance(iWindow, &pWindow)) return;
    WindowStart::SetMenuItemEnabled(pWindow->pMenu, WindowStart::MenuCloseWindow, Main::CountTopLevelWindows() != 1);
}

QPushButton* NewButton(QWidget* pPage, const char* sText, int y, void (*fnClick)(int), int iWindow) {
    auto* pButton = new QPushButton(sText, pPage);
    pButton->setGeometry(10, y, 90, 25);
    QObject::connect(pButton, &QPushButton::clicked, pButton, [fnClick, iWindow] { fnClick(iWindow); });
    return pButton;
}

} // namespace

void SetScintillaEnabled(bool fEnabled) { fScintillaEnabled = fEnabled; }

bool GetInstance(int iWindow, uWindowScript** ppWindow) {
    const auto it = mWindowScript.find(iWindow);
    if (it == mWindowScript.end()) return false;
    if (ppWindow) *ppWindow = it->second.get();
    return true;
}

int Open() {
    const std::int64_t iCreation = ++iOpenedCount;
    int x = Window::DefaultPosition, y = Window::DefaultPosition, iWidth = 800, iHeight = 600;
    int iState = Window::StateNormal;
    const bool fFound = Window::LoadPosition(WindowKindScript, x, y, iWidth, iHeight, iState, 0);

    const int iWindow = WindowRegistry::NewWindowNumber();
    auto* pFrame = new WindowFrame(iWindow);
    pFrame->setAttribute(Qt::WA_DeleteOnClose, false);
    pFrame->setWindowTitle(WindowStart::Title);
    pFrame->resize(iWidth, iHeight);
    if (fFound && x != Window::DefaultPosition && y != Window::DefaultPosition) pFrame->move(x, y);
    else Window::CentreOnScreen(pFrame);

    auto pRecord = std::make_unique<uWindowScript>();
    uWindowScript* pWindow = pRecord.get();
    pWindow->iCreationNumber = iCreation;
    pWindow->iWindow = iWindow;
    pWindow->pFrame = pFrame;
    mWindowScript[iWindow] = std::move(pRecord);

    int iToolBarSize = 1;
    if (uIni* pIni = Main::ConfigIni()) {
        Ini::SelectSection(pIni, "General");
        iToolBarSize = Ini::ReadBool(pIni, "ToolBarLarge", 0) != 0 ? 2 : 1;
    }
    pWindow->pFilter = std::make_unique<uGadgetFilter>(
        [iWindow](QObject* pObject, QEvent* pEvent) { return FilterEvent(iWindow, pObject, pEvent); });
    pWindow->pMenu = CreateMenu(iWindow);
    pWindow->pToolBar = CreateToolBar(iWindow, iToolBarSize);
    pWindow->pStatusBar = pFrame->statusBar();
    pWindow->pStatusField0 = new QLabel(pWindow->pStatusBar);
    pWindow->pStatusField1 = new QLabel(pWindow->pStatusBar);
    pWindow->pStatusField1->setFixedWidth(200);
    pWindow->pStatusBar->addWidget(pWindow->pStatusField0, 1);
    pWindow->pStatusBar->addWidget(pWindow->pStatusField1);
    CreateGadgets(iWindow);
    pFrame->setMinimumSize(pWindow->iMinWidth, pWindow->iMinHeight);

    BindEvents(iWindow, true);
    pFrame->installEventFilter(pWindow->pFilter.get());
    Utility::EnableSmartRefresh(pFrame);
    UpdateMenuState(iWindow);
    EventHub::PostEvent(EventSizeWindow, iWindow);
    WindowRegistry::StartTimer(iWindow, TimerStartUp, StartUpDelay);
    SetScriptText(*pWindow, DefaultText);

    if (fFound && iState == Window::StateMaximized) pFrame->showMaximized();
    else if (fFound && iState == Window::StateMinimized) pFrame->showMinimized();
    else pFrame->show();
    return iWindow;
}

QMenuBar* CreateMenu(int iWindow) {
    uWindowScript* pWindow = nullptr;
    if (!GetInstance(iWindow, &pWindow) || !pWindow->pFrame) return nullptr;
    return WindowStart::SetUpTopLevelFrame(pWindow->pFrame, WindowKindScript);
}

QToolBar* CreateToolBar(int iWindow, int iSize) {
    uWindowScript* pWindow = nullptr;
    if (!GetInstance(iWindow, &pWindow) || !pWindow->pFrame) return nullptr;
    QToolBar* pToolBar = pWindow->pFrame->addToolBar("Toolbar");
    pToolBar->setMovable(false);
    pToolBar->setFloatable(false);
    const int iPixels = Utility::SetToolBarIconSize(pToolBar, iSize);
    QPixmap pixmap = QPixmap::fromImage(VectorIcon::IconNewScript(iPixels));
    pixmap.setDevicePixelRatio(pToolBar->devicePixelRatioF());
    QAction* pAction = pToolBar->addAction(QIcon(pixmap), "New Script");
    pAction->setData(WindowStart::MenuNewScript);
    pAction->setToolTip("New Script");
    QObject::connect(pAction, &QAction::triggered, pAction, [iWindow] {
        EventHub::PostEvent(::EventMenu, iWindow, WindowStart::MenuNewScript, Utility::IsKeyPressed(Utility::KeyControl));
    });
    return pToolBar;
}

void CreateGadgets(int iWindow) {
    uWindowScript* pWindow = nullptr;
    if (!GetInstance(iWindow, &pWindow) || !pWindow->pFrame) return;
    WindowFrame* pFrame = pWindow->pFrame;
    auto* pCentral = new QWidget(pFrame);
    pFrame->setCentralWidget(pCentral);
    const int iToolBar = pWindow->pToolBar ? pWindow->pToolBar->sizeHint().height() : 0;
    const int iStatusBar = pWindow->pStatusBar ? pWindow->pStatusBar->sizeHint().height() : 0;
    const int iMenu = pWindow->pMenu ? pWindow->pMenu->sizeHint().height() : 0;

    auto* pPanel = new QTabWidget(pCentral);
    pPanel->setGeometry(0, 0, 802, std::max(1, 601 - iToolBar - iStatusBar));
    pWindow->pPanel = pPanel;
    auto* pScriptPage = new QWidget;
    auto* pConstantsPage = new QWidget;
    auto* pOutputPage = new QWidget;
    pPanel->addTab(pScriptPage, "Script");
    pPanel->addTab(pConstantsPage, "Constants");
    pPanel->addTab(pOutputPage, "Output");

    pWindow->pButtonCheck = NewButton(pScriptPage, "Check", 10, OnCheckClick, iWindow);
    pWindow->pButtonRun = NewButton(pScriptPage, "Run", 55, OnRunClick, iWindow);
    pWindow->pButtonPause = NewButton(pScriptPage, "Pause", 100, OnPauseClick, iWindow);
    pWindow->pButtonStop = NewButton(pScriptPage, "Stop", 135, OnStopClick, iWindow);

    const QFont font = EditorFont();
    auto* pSplitter = new QSplitter(Qt::Vertical, pScriptPage);
    pSplitter->move(90 + 20 + 5, 10);
    pSplitter->setChildrenCollapsible(false);
    pWindow->pSplitter = pSplitter;
    if (fScintillaEnabled) {
        auto* pEditor = new ScriptEditor(pSplitter);
        pEditor->setUtf8(true);
        const QByteArray family = font.family().toUtf8();
        pEditor->SendScintilla(QsciScintillaBase::SCI_STYLESETFONT, 0ul, family.constData());
        pEditor->SendScintilla(QsciScintillaBase::SCI_STYLESETSIZE, 0ul, static_cast<long>(font.pointSize()));
        pEditor->setMarginWidth(0, 5 * font.pointSize());
        // Lines on screen keep their layout between paints. By default only the caret's line
        // does, and not reliably: a megabyte on one line with the caret at its end was laid out
        // anew at every caret blink and focus change, a second of the GUI thread each time.
        pEditor->SendScintilla(QsciScintillaBase::SCI_SETLAYOUTCACHE, QsciScintillaBase::SC_CACHE_PAGE);
        pWindow->pEditor = pEditor;
        AcceptDrops(*pWindow, pEditor);
    } else {
        pWindow->pEditorPlain = NewPlainEditor(pSplitter, font);
        AcceptDrops(*pWindow, pWindow->pEditorPlain);
    }
    pWindow->pMessages = NewPlainEditor(pSplitter, font);
    AcceptDrops(*pWindow, pWindow->pMessages);
    pSplitter->setStretchFactor(0, 1);
    pSplitter->setStretchFactor(1, 0);

    pWindow->pConstants = NewPlainEditor(pConstantsPage, font);
    pWindow->pConstants->move(10, 10);
    pWindow->pOutput = NewPlainEditor(pOutputPage, font);
    pWindow->pOutput->move(10, 10);
    pWindow->pOutput->setUndoRedoEnabled(false);
    for (QWidget* pPage : {pScriptPage, pConstantsPage, pOutputPage}) pPage->installEventFilter(pWindow->pFilter.get());

    pWindow->iMinWidth = 90 + 20 + 100 + 10;
    pWindow->iMinHeight = iMenu + iToolBar + iStatusBar + 150 + pPanel->tabBar()->sizeHint().height();
}

void BindEvents(int iWindow, bool fBind) {
    static const int mEvents[] = {EventCloseWindowRequest, ::EventMenu,         EventSizeWindow,      EventTimer,
                                  EventWindowListChanged,  EventScriptMessage, ::EventTransferStatus};
    if (!fBind) {
        for (int iEvent : mEvents) EventHub::Unbind(iEvent, iWindow);
        return;
    }
    using EventHub::uEvent;
    EventHub::Bind(EventCloseWindowRequest, iWindow, [iWindow](const uEvent&) { Close(iWindow); });
    EventHub::Bind(::EventMenu, iWindow, [iWindow](const uEvent& e) {
        OnMenu(iWindow, static_cast<int>(e.iObject), e.iType != 0);
    });
    EventHub::Bind(EventSizeWindow, iWindow, [iWindow](const uEvent&) { Resize(iWindow); });
    EventHub::Bind(EventTimer, iWindow, [iWindow](const uEvent& e) {
        OnTimer(iWindow, static_cast<int>(e.iObject), e.iType);
    });
    EventHub::Bind(EventWindowListChanged, iWindow, [iWindow](const uEvent&) { OnWindowListChanged(iWindow); });
    EventHub::Bind(EventScriptMessage, iWindow, [iWindow](const uEvent& e) { OnScriptEvent(iWindow, e); });
    EventHub::Bind(::EventTransferStatus, iWindow, [iWindow](const uEvent& e) { OnTransferProgress(iWindow, e); });
}

void Resize(int iWindow) {
    uWindowScript* pWindow = nullptr;
    if (!GetInstance(iWindow, &pWindow) || !pWindow->pFrame || !pWindow->pPanel) return;
    // The central widget is the window's inner area without menu, toolbar and status bar.
    const QWidget* pCentral = pWindow->pFrame->centralWidget();
    if (!pCentral) return;
    pWindow->pPanel->resize(std::max(1, pCentral->width() + 2), std::max(1, pCentral->height() + 1));
    LayoutPages(*pWindow);
}

void UpdateMenuState(int) {
    const bool fEnabled = Main::CountTopLevelWindows() != 1;
    for (const auto& [iWindow, pWindow] : mWindowScript) {
        WindowStart::SetMenuItemEnabled(pWindow->pMenu, WindowStart::MenuCloseWindow, fEnabled);
    }
}

// The editor's text goes in and out by its length: taken as a C string (as its text() and
// setText() do), it would end at a NUL byte and the run would do only the part before it.
std::string ScriptText(const uWindowScript& window) {
    if (window.pEditor) {
        const auto iLength = static_cast<std::size_t>(window.pEditor->SendScintilla(QsciScintillaBase::SCI_GETLENGTH));
        std::string sText(iLength + 1, '\0');
        window.pEditor->SendScintilla(QsciScintillaBase::SCI_GETTEXT, static_cast<unsigned long>(sText.size()), sText.data());
        sText.resize(iLength);
        return sText;
    }
    if (window.pEditorPlain) return window.pEditorPlain->toPlainText().toStdString();
    return {};
}

void SetScriptText(uWindowScript& window, const std::string& sText) {
    if (window.pEditor) {
        const bool fReadOnly = window.pEditor->isReadOnly();
        window.pEditor->setReadOnly(false);
        window.pEditor->SendScintilla(QsciScintillaBase::SCI_CLEARALL);
        window.pEditor->SendScintilla(QsciScintillaBase::SCI_APPENDTEXT, static_cast<unsigned long>(sText.size()),
                                      sText.data());
        window.pEditor->SendScintilla(QsciScintillaBase::SCI_EMPTYUNDOBUFFER);
        window.pEditor->setReadOnly(fReadOnly);
    } else if (window.pEditorPlain) {
        window.pEditorPlain->setPlainText(QString::fromStdString(sText));
    }
}

void Close(int iWindow) {
    uWindowScript* pWindow = nullptr;
    if (!GetInstance(iWindow, &pWindow) || !pWindow->pFrame) return;
    if (pWindow->pScriptInstance) {
        std::string sError;
        InstrumentScript::DeleteInstance(pWindow->pScriptInstance, sError);
        pWindow->pScriptInstance.reset();
    }
    BindEvents(iWindow, false);
    WindowRegistry::StopTimer(iWindow, TimerStartUp);
    SaveConstants(iWindow);
    WindowFrame* pFrame = pWindow->pFrame;
    pFrame->removeEventFilter(pWindow->pFilter.get());
    Window::SavePosition(pFrame, WindowKindScript, 0);
    pFrame->hide();
    pFrame->deleteLater();
    // The gadgets still hold the filter until the frame is deleted.
    pWindow->pFilter.release()->deleteLater();
    mWindowScript.erase(iWindow);
    WindowRegistry::Release(iWindow);
    UpdateMenuState(iWindow);
    EventHub::PostEvent(EventScriptWindowClosed, iWindow);
}

void RegisterKind() {
    WindowKinds::Register(WindowKindScript, {[](int, int, uInstrumentWindowInfo*) { return Open(); }, {}});
}

} // namespace WindowScript
