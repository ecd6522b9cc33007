// Start-up, the top-level loop, the set of top-level windows and the orderly shutdown.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>

struct uIni;

namespace Main {

// Process entry: creates the Qt application and the program's collections, runs Start and
// returns its exit code.
int Run(int argc, char** argv);

// The start-up sequence, the top-level loop and the shutdown; returns the exit code (0 or 1).
// Needs a QApplication.
int Start();

// The top-level loop: runs until EventQuit or a first window that cannot be opened.
int EventLoop();
// After the loop: asks every thread to stop at once (the device changes, the search, the
// script, save and file threads, the instruments' workers), then waits for them all together,
// the given time in all (Start: 2 seconds); the new file of a save still under way then is
// removed. False, logged, when one did not end. The instruments can be released afterwards
// without a wait of their own.
bool EndBackgroundThreads(std::chrono::milliseconds wait);

// Looks for the file in the per-user folder, then in the program's own Resources folder; never
// creates a file or folder (OpenConfig does, for config.ini). pPath (when given) receives the path opened or "".
std::unique_ptr<uIni> OpenPreferenceFile(const std::string& sName, std::string* pPath, bool fPerUser);
// $XDG_CONFIG_HOME (else ~/.config) + "/Orvanto/Orvanto/Resources/"; "" when no home is known.
std::string UserResourceFolder();
// The folder of the executable + "/Resources/".
std::string ProgramResourceFolder();

// Opens config.ini; where neither candidate exists, creates an empty one in the user's folder
// (with the folders up to it). ConfigProblem then tells what went wrong.
void OpenConfig();
void CloseConfig();
void ReadInstrumentTimeouts();
void LogLibUsbVersions();

int OpenMainWindow();
int OpenScriptWindow();
void MainWindowClosed(int iWindow);
void ScriptWindowClosed(int iWindow);
void CloseAllTopLevelWindows();
int CountTopLevelWindows();

// The open config.ini, or nullptr when it could neither be found nor created (GUI thread).
uIni* ConfigIni();
const std::string& ConfigPath();
// Why config.ini is not open, or cannot be written back, with its path ("/x/config.ini could not
// be created: Not a directory"); "" when it is open and writable.
const std::string& ConfigProblem();
void SetConfigSaveAtExit(bool fSave);
// Writes config.ini now (an instrument added or removed, Preferences closed with OK, a workspace
// saved or deleted), so that a crash or a kill later loses nothing of it; false with a message
// naming the path and the reason, which is also logged.
bool SaveConfig(std::string& sError);
// The folder config.ini was found or made in ("" when none); workspace.ini lives there too.
std::string ConfigFolder();
bool WindowDontCheckPosition();
void SetWindowDontCheckPosition(bool fValue);

// Tests replace the main window's opener and the folders searched for preference files. The
// script window opens through the window-kind registry.
void SetMainWindowOpener(std::function<int()> openMain);
void SetResourceFolders(std::string sUser, std::string sProgram);
// Back to the folders of the environment and of the executable.
void ResetResourceFolders();

} // namespace Main
