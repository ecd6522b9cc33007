// The script window: a top-level window with the script editor above a message area, the script
// constants and the engine's output, the buttons that check, run, pause and stop the script, and
// the handling of the engine's messages. Any number may be open, each with its own engine
// instance, made on its first "Check" or "Run" and deleted when the window closes.
#pragma once

#include "platform/EventHub.h"
#include "script/ScriptInstance.h"

#include <QPointer>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <string>

class QEvent;
class QLabel;
class QMenuBar;
class QObject;
class QPlainTextEdit;
class QPushButton;
class QSplitter;
class QStatusBar;
class QTabWidget;
class QToolBar;
class QsciScintilla;
class WindowFrame;

namespace WindowScript {

// The text of a new window's script editor.
inline constexpr const char* DefaultText =
    "// Test version with debug outputs in the 'Output' tab.\n\n"
    "// Open script files via drag & drop here into this editor area.\n\n"
    "// Script files are simple text files with the extension '.txt'.\n\n"
    "// Then start it with 'Run'.\n";

// The "Output" tab holds no more than this many lines before the next line clears it; a message
// of several lines counts each.
inline constexpr int MaxOutputLines = 1000;
inline constexpr const char* OutputClearedNotice = "Es waren mehr als 1.000 Zeilen vorhanden, diese wurden gelöscht.";

inline constexpr const char* TextChecked = "The script is checked.";
inline constexpr const char* TextNoError = "No error was found.";
inline constexpr const char* TextWaiting = "The script waits for confirmation for further execution.";
inline constexpr const char* TextGoesOn = "The script will be executed further.";
inline constexpr const char* TextFinished = "The script has been finished.";
// Said instead when "Stop" ended the run.
inline constexpr const char* TextStopped = "The script has been stopped.";

// The start-up timer: 200 ms after opening.
inline constexpr int TimerStartUp = 1;
inline constexpr int StartUpDelay = 200;

// The config.ini group of the script constants, shared by every script window.
inline constexpr const char* ConstantsGroup = "ScriptConstant";

struct uWindowScript {
    std::int64_t iCreationNumber = 0;
    int iWindow = 0;
    int iMinWidth = 0;
    int iMinHeight = 0;
    QPointer<WindowFrame> pFrame;
    QPointer<QMenuBar> pMenu;
    QPointer<QToolBar> pToolBar;
    QPointer<QStatusBar> pStatusBar;
    QPointer<QLabel> pStatusField0; // script state, results and errors
    QPointer<QLabel> pStatusField1; // transfer progress
    QPointer<QTabWidget> pPanel;
    QPointer<QPushButton> pButtonCheck;
    QPointer<QPushButton> pButtonRun;
    QPointer<QPushButton> pButtonPause;
    QPointer<QPushButton> pButtonStop;
    QPointer<QSplitter> pSplitter;
    QPointer<QPlainTextEdit> pEditorPlain; // the script editor when the editing component is off
    QPointer<QsciScintilla> pEditor;
    QPointer<QPlainTextEdit> pMessages;
    QPointer<QPlainTextEdit> pConstants;
    QPointer<QPlainTextEdit> pOutput;
    InstrumentScript::ScriptInstance pScriptInstance;
    bool fCheckOnly = false;
    bool fPaused = false;
    // The engine's run that the window shows (InstrumentScript::CurrentRun after each Check or
    // Run); what an earlier, stopped run still posts is dropped.
    std::int64_t iRun = 0;

    // Output lines arrive in floods: they gather here (joined by LF, from iPendingFrom on) and go
    // into the tab once per batch, a few milliseconds' worth per turn of the Qt loop; the status
    // line waits with them. fClearPending: the tab is to be emptied before they go in.
    QString sPendingOutput;
    qsizetype iPendingFrom = 0;
    bool fClearPending = false;
    int iOutputLines = 0; // lines in the tab, the gathered ones included
    bool fFlushQueued = false;
    QString sPendingStatus;
    bool fStatusPending = false;
    std::unique_ptr<QObject> pFilter; // drops and size changes of the window's gadgets
};

// Opens a new script window; returns its window number, 0 when none opened.
int Open();
void Close(int iWindow);
bool GetInstance(int iWindow, uWindowScript** ppWindow);
// Enters the script window into the frame's window-kind registry (start-up).
void RegisterKind();

// Whether new windows use the editing component (the default) or the plain editor in its place.
void SetScintillaEnabled(bool fEnabled);

void CreateGadgets(int iWindow);
QMenuBar* CreateMenu(int iWindow);
QToolBar* CreateToolBar(int iWindow, int iSize);
void BindEvents(int iWindow, bool fBind);
void Resize(int iWindow);
void UpdateMenuState(int iWindow);

// The script editor's text (UTF-8) and its replacement.
std::string ScriptText(const uWindowScript& window);
void SetScriptText(uWindowScript& window, const std::string& sText);

// Drops (WindowScriptFiles.cpp). sFiles: the dropped paths separated by LF; iAction: the drop
// action (Qt::CopyAction loads a ".txt" file, Qt::LinkAction puts the quoted path at the plain
// editor's caret).
void LoadFile(int iWindow, int iAction, const std::string& sFiles);
void LoadConstants(int iWindow);
void SaveConstants(int iWindow);
// A drag or drop event at one of the editors: true when it carries files and was taken.
bool OnWindowDrop(int iWindow, QEvent* pEvent);
// Installs the drop handling on a gadget (its viewport for a scrolling one).
void AcceptDrops(uWindowScript& window, QWidget* pGadget);

// Run control and the engine's messages (WindowScriptRun.cpp).
bool SetScript(int iWindow);
void OnCheckClick(int iWindow);
void OnRunClick(int iWindow);
void OnPauseClick(int iWindow);
void OnStopClick(int iWindow);
void OnScriptEvent(int iWindow, const EventHub::uEvent& event);
void OnTransferProgress(int iWindow, const EventHub::uEvent& event);
// Puts all gathered output lines (and the status line) into the window at once and scrolls the
// "Output" tab to its end; the window's own batches take a few milliseconds' worth per turn.
void FlushOutput(uWindowScript& window);
// Status field 0 or 1; a long text shows its beginning only (ShownText).
void SetStatusText(uWindowScript& window, int iField, const QString& sText);

// What the message area and the status fields show of a text: a short one whole, of a longer
// one its first iMaxChars characters and "…". Wrapping a megabyte in a text box holds the GUI
// thread for a minute; the whole text stays in the "Output" tab and the log.
inline constexpr qsizetype MessageAreaChars = 8192;
inline constexpr qsizetype StatusFieldChars = 512;
QString ShownText(const QString& sText, qsizetype iMaxChars);

} // namespace WindowScript
