// "Delete Workspace": offers the workspaces of workspace.ini in a drop-down list and posts the
// chosen name to the main window as EventDeleteWorkspace (a std::string payload).
#pragma once

class QComboBox;

namespace WindowDeleteWorkspace {

// The dialog's window number, 0 when no window opened.
int Open(int iMainWindow);
// Fills the list with the workspaces' names (sorted ignoring case) and selects the first.
void FillNames(QComboBox* pList);
// The selected name goes to the owner and the dialog closes; nothing when the list is empty.
void EventDelete(int iWindow);

} // namespace WindowDeleteWorkspace
