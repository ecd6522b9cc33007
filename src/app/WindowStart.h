// The main window.
#pragma once

class WindowFrame;

namespace WindowStart {

// Menu item numbers shared by every window.
enum eMenuItem {
    MenuNewWindow = 3,
    MenuCloseWindow = 4,
    MenuNewScript = 6,
    MenuExit = 8,
    MenuLog = 264,
};

// Opens a main window; returns its window number, 0 when it could not be opened.
int Open();
// Saves nothing yet; unbinds, destroys the window and tells the frame.
void Close(int iWindow);

// Builds the menu bar of a window of the given kind (eWindow) into the frame.
void CreateMenu(WindowFrame* frame, int iKind);
// Handles the shared menu items; returns false for an item it does not know.
bool HandleSharedMenuItem(int iWindow, int iItem, bool fCtrl);
// "&Close Window" is disabled while the window is the only top-level window.
void UpdateCloseItem(WindowFrame* frame);
// Builds the menu of a top-level window of the given kind and binds its shared menu items, its
// close request (which calls fnClose with the window number) and the window-list refresh.
void SetUpTopLevelFrame(WindowFrame* frame, int iKind, void (*fnClose)(int iWindow));

} // namespace WindowStart
