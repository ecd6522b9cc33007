// "Save Workspace": asks for the name under which the main window saves its arrangement and
// posts it to the main window as EventSaveWorkspace (a std::string payload).
#pragma once

#include <string>

namespace WindowSaveWorkspace {

inline constexpr const char* TextBadName =
    "A workspace name must not contain [, ] or control characters, nor be Ini-Version.";
inline constexpr const char* TextNoName = "Nothing was saved: type the workspace's name first.";

// The dialog's window number, 0 when no window opened.
int Open(int iMainWindow);
// The name as typed: for an empty one or one that cannot name a section of workspace.ini, the
// message why nothing was saved (the dialog stays open); else posted to the owner and the
// dialog closes.
void EventSave(int iWindow);
// Whether the name can name a workspace: no "[", "]" or control characters, and not the
// reserved section "Ini-Version" (ignoring case, as workspace.ini compares section names).
bool NameAllowed(const std::string& sName);

} // namespace WindowSaveWorkspace
