// The SCPI command window: talks SCPI to the instrument of its main window. It opens inside the
// main window's MDI area or as a separate window, sends the command typed (optionally followed by
// a file, with or without a block header), follows the transfer in its status bar and the log,
// and shows the answer. Several may be open at once; each keeps a copy of its main window's
// instrument record and follows it through the main window's connect and disconnect events.
#pragma once

#include "app/InstrumentWindowInfo.h"
#include "common/DataBuffer.h"
#include "common/Failure.h"
#include "common/Ini.h"
#include "windows/scpi/AnswerTextView.h"

#include <QPointer>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

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
    QPointer<AnswerTextView> pAnswer;
};

// One entry of a command list.
struct uScpiCommandEntry {
    std::string sKey;
    std::string sName;
    std::string sCommand; // line breaks as CR LF
    std::string sFile;
    bool fBlockFormat = false;
    bool fVendorSpecific = false;
    bool fWaitStatusByte = false;
    bool fWaitServiceRequest = false;
    int iOrder = 0; // position in the file, from 1; the list item's data
};

// The command lists of the window: folder, chosen file and the open list.
struct uCommandListState {
    std::vector<uScpiCommandEntry> mCommandEntries;
    std::string sCommandFolder; // ends in "/"; empty until first filled
    // The lists that come with the program (beside the executable), read where the user's folder
    // has no list of that name; "" once the user has chosen a folder of his own.
    std::string sShippedFolder;
    std::string sSelectedFile;
    std::string sOpenFile;
    int iSelectedIndex = -1;
    std::unique_ptr<uIni> pCommandListIni;
    bool fListModified = false; // "Add" or "Remove" changed the open list since it was saved
    // What "Add" and "Remove" changed since the file was read (key, value as stored, an added
    // entry's line marks): a save applies them to the file as it is then, so that what another
    // window wrote meanwhile stays.
    struct uChange {
        std::string sKey, sValue, sLines;
    };
    std::vector<uChange> mAdded, mRemoved;
};

// What the answer view's drawing thread shares with the GUI thread, guarded by viewMutex. Each
// drawing makes a new block; the thread holds it (and the answer) through shared pointers, so a
// thread that outlives its stop wait and is detached still finds both.
struct uViewShared {
    std::mutex viewMutex;
    std::condition_variable viewSignal;
    bool fStopRefresh = false; // asks the thread to stop
    bool fRunning = true;      // the thread has not ended yet
    int iPermits = 0;          // the GUI thread's releases, one after each portion
};

// A portion of a long answer, rendered by the drawing thread: the payload of EventScpiViewRefresh.
struct uViewPortion {
    std::int64_t iGeneration = 0;
    // Latin-1 lines without a line end after the last, prepared for the view by the thread.
    AnswerTextView::uPiece piece;
};

// The answer view's drawing thread, GUI side.
struct uViewState {
    std::shared_ptr<uViewShared> pShared;
    std::thread refreshThread;
    // The drawing whose portions the view takes; portions of other drawings are dropped.
    std::int64_t iGeneration = 0;
};

struct uSendFile;   // the send road's own (WindowScpiCommandSend.cpp)
struct uAnswerSave; // a save of the answer under way (WindowScpiCommandSave.cpp)

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
    // The answer shown, shared with the drawing thread; null when there is none.
    std::shared_ptr<const DataBuffer> pReceived;
    bool fCancelled = false;
    // The task whose result the window waits for (0: none), and every SCPI task of this window
    // whose result has not come back yet, oldest first. Results of other tasks are dropped unseen.
    std::int64_t iAwaitedTask = 0;
    std::deque<std::int64_t> mOutstanding;
    // Why the current send failed, in plain words, once a report of it said so (empty: no reason
    // known); the status line keeps it after the window's own text. Its kind: Arriving refused
    // the send, whose status then stays.
    std::string sFailure;
    Failure::eKind eFailure = Failure::eKind::None;
    std::string sAnswerCount; // of a chained query the time-out cut after whole answers: its counts
    // How long the message waited for an earlier query's answer before it went (ms; 0: it did not
    // wait), and whose answer it was ("the answer to :FOO?"), as the transport named it.
    std::int64_t iAwaitedMs = 0;
    std::string sAwaited;
    bool fBusy = false;
    // The file of the send under way while it is read, a part per turn of the Qt loop; a cancel
    // or another send lets go of it.
    std::shared_ptr<uSendFile> pSendFile;
    // The answer's save while its thread writes (null: none); one at a time.
    std::shared_ptr<uAnswerSave> pAnswerSave;
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

// Shows the answer that the window holds (pReceived) in the answer view.
void ShowData(int iWindow);
// The drawing thread of long answers (internal to the module).
void ViewRefreshThread(std::shared_ptr<uViewShared> pShared, std::shared_ptr<const DataBuffer> pData, int iWindow,
                       std::int64_t iGeneration, int iMode, int iOffsetDigits);
// Saves the answer to a file the user names.
void SaveData(int iWindow);
// Fills the "Command list:" box and loads the chosen list; fKeep 0 prefers "Standard.ini", 1 the
// list chosen before.
void FillCommandListFiles(int iWindow, int fKeep);
// Saves the open list, opens the chosen one and fills the command list.
void LoadCommandList(int iWindow);

// The view modes of the "View:" box.
inline constexpr int ViewHexAscii = 0;
inline constexpr int ViewHex = 1;
inline constexpr int ViewAscii = 2;
// Bytes drawn per portion by the drawing thread; longer answers under "View all" go through it.
inline constexpr std::size_t ViewPortionSize = 40960;

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
void ViewRefresh(int iWindow, const EventHub::uEvent& event);
void BindViewHandlers(uWindowScpiCommand& window);
// A slot that runs fn on the window's record while the window is open.
inline auto OnWindow(int iWindow, void (*fn)(uWindowScpiCommand&)) {
    return [iWindow, fn] {
        uWindowScpiCommand* p = nullptr;
        if (FindInstance(iWindow, &p)) fn(*p);
    };
}
void BindListHandlers(uWindowScpiCommand& window);
// The save-file requester "Data save as", preset with the window's title; "" when cancelled or
// when the window closed meanwhile.
std::string AskSaveName(uWindowScpiCommand& window, const QString& sFilter);
// Writes the bytes to a file beside the target and renames it over the target; on failure the
// target stays as it was and sFailure holds the message.
// pStop (when given) asks it to stop: it fails, and nothing of it stays.
bool WriteFileWhole(const std::string& sPath, const std::uint8_t* pBytes, std::size_t iCount, std::string& sFailure,
                    const std::atomic<bool>* pStop = nullptr);
// The window closes: waits a bounded time for a save under way and logs its outcome, or lets
// the thread finish by itself (the program's exit stops it).
void EndAnswerSave(uWindowScpiCommand& window);
// Saves the open list when it was changed, and frees it.
void CloseCommandList(uWindowScpiCommand& window);
// The command-list entry codec: a stored value read into an entry, and the value "Add" stores.
// The value holds the command's lines joined by ";", the message the send makes of them and what
// other programs read. The line marks (pLines, sLines; kept in group "SCPICommandLines" under the
// entry's key) give each ";" of the command a letter: '1' where a line ends, '0' inside a line.
// Build gives them only where the lines do not come back without them: a list without marks
// (written before they were kept, or by another program) is read with a line end at every ";"
// outside string data and blocks. Parse follows marks that fit the command, one a ";".
uScpiCommandEntry ParseEntryValue(const std::string& sValue, const std::string& sLines = "");
std::string BuildEntryValue(const std::string& sName, const std::string& sCommand, bool fVendorSpecific,
                            bool fWaitStatusByte, bool fWaitServiceRequest, bool fFile,
                            const std::string& sFile, std::string* pLines = nullptr);
// The name "Save As..." of the list writes: ".ini" in place of another extension, or appended.
std::string ListFileName(const std::string& sChosen);
// The new list written when no list is chosen.
extern const char* const CommandListTemplate;
std::int64_t ElapsedMilliseconds();
// For tests: called on the reading thread of a file to send after each part it read, with the
// bytes read so far and the file's length (nullptr: none).
void SetFileReadSeam(std::function<void(std::int64_t iRead, std::int64_t iLength)> seam);
} // namespace Detail

} // namespace WindowScpiCommand
