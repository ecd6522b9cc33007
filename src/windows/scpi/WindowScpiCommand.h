// The SCPI command window: talks SCPI to the instrument of its main window. It opens inside the
// main window's MDI area or as a separate window, sends the command typed (optionally followed by
// a file, with or without a block header), follows the transfer in its status bar and the log,
// and shows the answer. Several may be open at once; each keeps a copy of its main window's
// instrument record and follows it through the main window's connect and disconnect events.
#pragma once

#include "app/InstrumentWindowInfo.h"
#include "common/Ini.h"

#include <QPointer>
#include <QString>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QMenuBar;
class QPlainTextEdit;
class QPushButton;
class QScrollArea;
class QShortcut;
class QSplitter;
class QStatusBar;
class QToolBar;
class QToolButton;
class QWidget;
class WindowFrame;

namespace EventHub {
struct uEvent;
}

namespace WindowScpiCommand {

// Menu item that the Escape key sends: stops the drawing of a long answer.
inline constexpr int MenuStopRefresh = 267;
// Timer that lists the command-list files shortly after the window opened.
inline constexpr int TimerFillCommandLists = 13;

// Sizes used while building the gadgets and laying them out.
struct uLayout {
    int iMargin = 4;
    int iSpacing = 4;
    int iButtonWidth = 0;
    int iLineHeight = 0;
    int iFolderIcon = 16;
};

// The gadgets, in the order in which the window builds them.
struct uGadgets {
    QPointer<QScrollArea> pArea;
    QPointer<QWidget> pListPane, pCommandPane, pAnswerPane;
    QPointer<QSplitter> pSplitterTop, pSplitterMain;
    QPointer<QLabel> pListLabel;
    QPointer<QComboBox> pListFiles;
    QPointer<QToolButton> pFolder;
    QPointer<QListWidget> pCommandList;
    QPointer<QPushButton> pListSaveAs, pRemove;
    QPointer<QLabel> pNameLabel;
    QPointer<QLineEdit> pName;
    QPointer<QPushButton> pAdd;
    QPointer<QLabel> pCommandLabel;
    QPointer<QPlainTextEdit> pCommand;
    QPointer<QCheckBox> pFile;
    QPointer<QLineEdit> pFileName;
    QPointer<QPushButton> pOpen;
    QPointer<QCheckBox> pBlockFormat;
    QPointer<QPushButton> pCancel, pSend, pSendReceive;
    QPointer<QCheckBox> pVendorSpecific;
    QPointer<QLabel> pWaitLabel;
    QPointer<QCheckBox> pWaitMav, pWaitSrq;
    QPointer<QLabel> pViewLabel;
    QPointer<QComboBox> pViewMode;
    QPointer<QLabel> pFirstLabel;
    QPointer<QComboBox> pFirst;
    QPointer<QLabel> pFirstBytes, pLastLabel;
    QPointer<QComboBox> pLast;
    QPointer<QLabel> pLastBytes;
    QPointer<QCheckBox> pViewAll;
    QPointer<QGroupBox> pSaveOptions;
    QPointer<QCheckBox> pRemoveBlockFormat, pRemoveLastByte, pReplaceComma;
    QPointer<QPushButton> pAnswerSaveAs;
    QPointer<QPlainTextEdit> pAnswer;
};

// The command lists of the window: folder, chosen file and the open list.
struct uCommandListState {
    std::string sCommandFolder;
    std::string sSelectedFile;
    std::string sOpenFile;
    int iSelectedIndex = -1;
    std::unique_ptr<uIni> pCommandListIni;
};

// The answer view's drawing thread and what it shares with the GUI thread (guarded by
// viewMutex).
struct uViewState {
    std::mutex viewMutex;
    std::condition_variable viewSignal;
    std::thread refreshThread;
    bool fRefreshRunning = false;
    bool fStopRefresh = false;
};

struct uWindowScpiCommand {
    std::int64_t iCreation = 0;
    int iWindow = 0;
    int iMainWindow = 0;
    int iKind = 0;
    QPointer<QMenuBar> pMenu;
    QPointer<QMenu> pPopupMenu;
    QPointer<QToolBar> pToolBar;
    QPointer<QStatusBar> pStatusBar;
    int fMdi = 0;
    uLayout layout;
    uGadgets gadgets;
    uInstrumentWindowInfo info;
    uCommandListState lists;
    uViewState view;
    bool fCancelled = false;
    // The task whose result the window waits for (0: none), and every SCPI task of this window
    // whose result has not come back yet, oldest first. Results of other tasks are dropped unseen.
    std::int64_t iAwaitedTask = 0;
    std::deque<std::int64_t> mOutstanding;
    bool fBusy = false;
    QPointer<QShortcut> pEscape;
    QPointer<WindowFrame> pFrame;
};

// Builds the window in the MDI child iChild of the main window, or for -1 as a separate window;
// pInfo is the main window's instrument (0: none). Returns the window number, 0 on failure.
int Open(int iMainWindow, int iChild, uInstrumentWindowInfo* pInfo);
// Builds the window's menu bar anew and applies the item states again. Returns 0.
int UpdateMenus(int iWindow);
// Enters the window's kind into the frame's window-kind registry (start-up).
void RegisterKind();

// The open window's record; false when the window is not one of these.
bool FindInstance(int iWindow, uWindowScpiCommand** ppWindow);
// How many SCPI command windows are open now.
int OpenCount();

// The send road: queues the command of the editor (with the file when chosen) on the
// instrument; fRequestData asks for an answer.
void SendCommand(int iWindow, bool fSend, bool fRequestData);
// Aborts the instrument's running transfer and makes the window idle.
void CancelTask(int iWindow);
void SetBusyState(int iWindow, bool fBusy);

// Shows the answer that the window holds (info.receiveData) in the answer view.
void ShowData(int iWindow);

// Internal to the module's files.
namespace Detail {
// The editor's text as it goes out: trimmed, its lines joined by ";".
std::string PrepareCommand(const QString& sEditorText);
// Removes every "|FILE|" and "|#NM|" regardless of case.
std::string RemoveMarkers(std::string sCommand);
// The text as the log line shows it: at most 512 characters, then "...".
std::string CutForLog(const std::string& sText);
void BindSendHandlers(uWindowScpiCommand& window);
void OnTaskFinished(int iWindow, const EventHub::uEvent& event);
void OnTransferStatus(int iWindow, const EventHub::uEvent& event);
void OnFileClicked(uWindowScpiCommand& window);
void OnBlockFormatClicked(uWindowScpiCommand& window);
void ChooseSendFile(uWindowScpiCommand& window);
void SetStatus(uWindowScpiCommand& window, const std::string& sText);
void ApplyItemStates(uWindowScpiCommand& window);
void StopRefreshThread(uWindowScpiCommand& window, int iWaitMs);
void CopyAnswer(uWindowScpiCommand& window);
void FillCommandListFiles(int iWindow, int fKeep);
void ViewRefresh(int iWindow);
std::int64_t ElapsedMilliseconds();
} // namespace Detail

} // namespace WindowScpiCommand
