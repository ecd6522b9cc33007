// The log: one window of numbered, timed lines that every module writes to. Lines are added on
// the GUI thread (AddLine, AddError) or posted from any thread (PostLine, PostError); the window is created
// hidden at start-up, shown from the "&Log..." menu items and only hidden by its close box.
#pragma once

#include <functional>
#include <string>

class QWidget;

namespace WindowLog {

// Where the log window goes: the frame fills this at start-up from config.ini. Without it the
// log opens 640 x 360 where the system puts it, and its place is not kept.
struct uPlacement {
    std::function<bool(QWidget*)> fnRestore; // places a new log window; false: no saved place
    std::function<void(QWidget*)> fnSave;    // keeps the place of a log window that was shown
};
void SetPlacement(uPlacement placement);

// Creates the hidden log window at its saved place; nothing when it exists already.
void Create();
// GUI thread. Appends "NNNN [hh:mm:ss] text" unless the log is closed or "&Display events" is
// off; after line 9999 the log clears itself first.
void AddLine(const std::string& sText);
void AddError(const std::string& sText);
// Any thread: the line reaches the log once the GUI thread handles the posted event.
void PostError(const std::string& sText);
void PostLine(const std::string& sText);
void AddSeparatorLine();
// Empties the log; with fNotice the clearing notice and a separator line follow.
void Clear(int fNotice);
// Shows the window with the keyboard focus in its text; the caller's window plays no part.
void Show(int iCallerWindow);
void Hide();
// 0 hides the window; 1 saves its place into config.ini and destroys it (shutdown). Returns 0.
int Close(int fDestroy);
// The menu actions "&Save As..." and "&Copy".
void SaveAs();
void Copy();
// Writes the log text to the file as "&Save As..." does after its file requester: a UTF-8
// byte-order mark, then the lines with CR LF. Reports the outcome in the log.
bool SaveToFile(const std::string& sFileName);

// The whole log text with "\n" line ends; "" when there is no log.
std::string Text();
// The log window and its window number (nullptr and 0 when there is none).
QWidget* Widget();
int WindowNumber();

} // namespace WindowLog
