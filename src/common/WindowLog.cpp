#include "common/WindowLog.h"

#include "common/FileSaving.h"
#include "common/NumberText.h"
#include "common/UtilityGui.h"
#include "platform/EventHub.h"
#include "platform/ProgramEvents.h"
#include "platform/WindowFrame.h"
#include "platform/WindowRegistry.h"

#include <QAction>
#include <QClipboard>
#include <QFileDialog>
#include <QGuiApplication>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QToolTip>
#include <QTime>

#include <atomic>
#include <cstdio>
#include <memory>
#include <utility>

namespace WindowLog {
namespace {

constexpr int LineLimit = 10000;
const char* const Title = "Orvanto - Log";
const char* const TitleDisabled = "Orvanto - Log (disabled)";

// Menu item numbers.
constexpr int MenuSaveAs = 1;
constexpr int MenuClose = 2;
constexpr int MenuCopy = 9;
constexpr int MenuClear = 10;
constexpr int MenuDisplayEvents = 266;

// The log's text: its own context menu, Escape hides the log, and a line that runs out of
// sight shows whole as the tool tip over it (the log does not wrap its lines).
class LogEditor : public QPlainTextEdit {
  public:
    QMenu* pContextMenu = nullptr;

    // The line under a point of the viewport when part of it is out of sight; "" otherwise.
    QString CutLineAt(const QPoint& point) const {
        const QTextBlock block = cursorForPosition(point).block();
        if (!block.isValid()) return {};
        const QRectF line = blockBoundingGeometry(block).translated(contentOffset());
        if (point.y() < line.top() || point.y() >= line.bottom()) return {};
        const qreal dLeft = line.left() + document()->documentMargin();
        const qreal dRight = dLeft + fontMetrics().horizontalAdvance(block.text());
        return dLeft < 0 || dRight > viewport()->width() ? block.text() : QString();
    }

  protected:
    bool viewportEvent(QEvent* pEvent) override {
        if (pEvent->type() != QEvent::ToolTip) return QPlainTextEdit::viewportEvent(pEvent);
        const auto* pHelp = static_cast<QHelpEvent*>(pEvent);
        const QString sLine = CutLineAt(pHelp->pos());
        if (sLine.isEmpty()) QToolTip::hideText();
        else QToolTip::showText(pHelp->globalPos(), Utility::ToolTipText(sLine, Utility::ToolTipWidth, {}), viewport());
        return true;
    }
    void keyPressEvent(QKeyEvent* pEvent) override {
        if (pEvent->key() == Qt::Key_Escape) Close(0);
        QPlainTextEdit::keyPressEvent(pEvent);
    }
    void contextMenuEvent(QContextMenuEvent* pEvent) override {
        if (pContextMenu) pContextMenu->exec(pEvent->globalPos());
    }
};

// GUI thread only, except iWindow, which PostError reads from any thread.
struct uLog {
    std::unique_ptr<WindowFrame> pWindow;
    LogEditor* pEditor = nullptr;
    QAction* pDisplayEvents = nullptr;
    bool fOpen = false;
    bool fEnabled = false;
    bool fPlaced = false; // the window has a place of its own: loaded or shown
    int iCounter = 0;
};
uLog mLog;
uPlacement mPlacement;
std::atomic<int> iLogWindow{0};

void ToggleDisplayEvents() {
    mLog.fEnabled = !mLog.fEnabled;
    mLog.pDisplayEvents->setChecked(mLog.fEnabled);
    mLog.pWindow->setWindowTitle(mLog.fEnabled ? Title : TitleDisabled);
}

void OnMenu(const EventHub::uEvent& event) {
    switch (event.iObject) {
    case MenuSaveAs: SaveAs(); break;
    case MenuClose: Close(0); break;
    case MenuCopy: Copy(); break;
    case MenuClear: Clear(0); break;
    case MenuDisplayEvents: ToggleDisplayEvents(); break;
    default: break;
    }
}

void OnPostedLine(const EventHub::uEvent& event) {
    const std::string* pText = event.pData.Get<std::string>();
    if (!pText) return;
    if (event.iType == 1) AddLine(*pText);
    else if (event.iType == 2) AddError(*pText);
}

// The menu bar and the editor's context menu; their items reach OnMenu as menu events.
void BuildMenus() {
    WindowFrame* pWindow = mLog.pWindow.get();
    QMenuBar* pBar = pWindow->menuBar();
    QMenu* pFile = pBar->addMenu("&File");
    pWindow->AddMenuItem(pFile, MenuSaveAs, "&Save As...");
    pWindow->AddMenuItem(pFile, MenuClose, "&Close");
    QMenu* pEdit = pBar->addMenu("&Edit");
    pWindow->AddMenuItem(pEdit, MenuCopy, "&Copy");
    pWindow->AddMenuItem(pEdit, MenuClear, "C&lear");
    QMenu* pLogMenu = pBar->addMenu("&Log");
    mLog.pDisplayEvents = pWindow->AddMenuItem(pLogMenu, MenuDisplayEvents, "&Display events");
    mLog.pDisplayEvents->setCheckable(true);
    mLog.pDisplayEvents->setChecked(true);

    auto* pContext = new QMenu(pWindow);
    pWindow->AddMenuItem(pContext, MenuCopy, "&Copy");
    pWindow->AddMenuItem(pContext, MenuClear, "C&lear");
    mLog.pEditor->pContextMenu = pContext;
}

std::string LineNumber(int iCounter) {
    char sNumber[16];
    std::snprintf(sNumber, sizeof sNumber, "%04d", iCounter % LineLimit);
    return sNumber;
}

} // namespace

void SetPlacement(uPlacement placement) { mPlacement = std::move(placement); }

void Create() {
    if (mLog.fOpen) return;

    const int iWindow = WindowRegistry::NewWindowNumber();
    mLog.pWindow = std::make_unique<WindowFrame>(iWindow);
    WindowFrame* pWindow = mLog.pWindow.get();
    pWindow->setAttribute(Qt::WA_QuitOnClose, false); // hiding the log never ends the program
    pWindow->setWindowTitle(Title);
    pWindow->resize(640, 360);
    const bool fLoaded = mPlacement.fnRestore && mPlacement.fnRestore(pWindow);

    mLog.pEditor = new LogEditor;
    QFont font("Courier New");
    font.setStyleHint(QFont::TypeWriter);
    font.setPointSize(9);
    mLog.pEditor->setFont(font);
    mLog.pEditor->setUndoRedoEnabled(false);
    mLog.pEditor->setLineWrapMode(QPlainTextEdit::NoWrap);
    pWindow->setCentralWidget(mLog.pEditor);
    Utility::EditorSetPlainText(mLog.pEditor);

    mLog.fOpen = true;
    mLog.fEnabled = true;
    mLog.fPlaced = fLoaded;
    mLog.iCounter = 0;
    BuildMenus();

    // The close box only hides the log.
    EventHub::Bind(EventCloseWindowRequest, iWindow, [](const EventHub::uEvent&) { Close(0); });
    EventHub::Bind(EventMenu, iWindow, OnMenu);
    EventHub::Bind(EventLogLine, iWindow, OnPostedLine);
    iLogWindow = iWindow;
    Clear(1);
}

void AddLine(const std::string& sText) {
    if (!mLog.fOpen || !mLog.fEnabled || !mLog.pEditor) return;
    if (mLog.iCounter >= LineLimit) Clear(1);
    QString sLine;
    Utility::GatherLines(sLine, QString::fromStdString(LineNumber(mLog.iCounter) + " [" +
                                                      QTime::currentTime().toString("hh:mm:ss").toStdString() +
                                                      "] " + sText));
    // The text always ends with a line end: the new line takes the place of the empty last line.
    QTextCursor cursor(mLog.pEditor->document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(sLine);
    QScrollBar* pBar = mLog.pEditor->verticalScrollBar();
    pBar->setValue(pBar->maximum());
    ++mLog.iCounter;
}

void AddError(const std::string& sText) { AddLine("Error: " + sText); }

namespace {

void Post(const std::string& sText, int iType) {
    const int iWindow = iLogWindow.load();
    if (iWindow == 0) return; // no log: nothing is made that nobody would free
    EventHub::PostEvent(EventLogLine, iWindow, 0, iType, EventHub::Payload::Of(sText));
}

} // namespace

void PostError(const std::string& sText) { Post(sText, 2); }

void PostLine(const std::string& sText) { Post(sText, 1); }

void AddSeparatorLine() { AddLine(std::string(60, '-')); }

void Clear(int fNotice) {
    if (!mLog.pEditor) return;
    mLog.iCounter = 0;
    mLog.pEditor->clear();
    if (!fNotice) return;
    AddLine("The log will be cleared after " + Utility::StrDLocalized(LineLimit, -1) + " lines.");
    mLog.iCounter = 0;
    AddSeparatorLine();
}

void Show(int) {
    if (!mLog.fOpen) return;
    WindowFrame* pWindow = mLog.pWindow.get();
    Utility::RestoreMinimised(pWindow);
    pWindow->show();
    pWindow->raise();
    pWindow->activateWindow();
    mLog.pEditor->setFocus();
    mLog.fPlaced = true;
}

void Hide() {
    if (mLog.fOpen) mLog.pWindow->hide();
}

int Close(int fDestroy) {
    if (!fDestroy) {
        Hide();
        return 0;
    }
    if (!mLog.fOpen) return 0;
    mLog.fOpen = false;
    const int iWindow = iLogWindow.exchange(0);
    EventHub::UnbindWindow(iWindow);
    // A window that was never shown has no place of its own yet: the saved one stays.
    if (mLog.fPlaced && mPlacement.fnSave) mPlacement.fnSave(mLog.pWindow.get());
    mLog.pEditor = nullptr;
    mLog.pDisplayEvents = nullptr;
    mLog.pWindow.reset();
    WindowRegistry::Release(iWindow); // lines still on their way are dropped and freed
    return 0;
}

void SaveAs() {
    if (!mLog.fOpen) return;
    const QString sText = "Text (*.txt)";
    QString sSelected;
    QString sFile = QFileDialog::getSaveFileName(mLog.pWindow.get(), "Save as", "Orvanto",
                                                 sText + ";;All Files (*.*)", &sSelected);
    if (sFile.isEmpty()) return;
    if (sSelected == sText && !sFile.endsWith(".txt", Qt::CaseInsensitive)) sFile += ".txt";
    SaveToFile(sFile.toStdString());
}

bool SaveToFile(const std::string& sFileName) {
    if (!mLog.pEditor) return false;
    const QByteArray text = mLog.pEditor->toPlainText().replace("\n", "\r\n").toUtf8();
    // Written beside the file and renamed over it at the end: a failed save leaves an earlier
    // file of that name as it was.
    Utility::uFileSave file;
    std::string sReason;
    if (!file.Begin(sFileName, sReason)) {
        AddError(Utility::FileFailure("The file could not be created: ", sFileName, sReason));
        return false;
    }
    if (!file.Write("\xEF\xBB\xBF", 3, sReason)) {
        AddError(Utility::FileFailure("The 'Byte Order Mark' could not be written to the file: ", sFileName,
                                      sReason));
        return false;
    }
    if (!file.Write(text.constData(), static_cast<std::size_t>(text.size()), sReason) ||
        !file.Commit(sReason)) {
        AddError(Utility::FileFailure("The data could not be written to the file: ", sFileName, sReason));
        return false;
    }
    AddLine("The data was saved in the file: " + sFileName);
    return true;
}

void Copy() {
    if (!mLog.pEditor) return;
    QClipboard* pClipboard = QGuiApplication::clipboard();
    pClipboard->clear();
    if (mLog.pEditor->textCursor().hasSelection()) mLog.pEditor->copy();
    else pClipboard->setText(mLog.pEditor->toPlainText());
}

std::string Text() { return mLog.pEditor ? mLog.pEditor->toPlainText().toStdString() : std::string(); }

QWidget* Widget() { return mLog.pWindow.get(); }

int WindowNumber() { return iLogWindow.load(); }

} // namespace WindowLog
