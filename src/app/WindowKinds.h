// The kinds of window that the frame opens but that live on the floors above it (instrument list,
// SCPI command window, capture windows and viewers, script window). Each window module registers
// its opener at start-up, so the frame opens them by kind and never names their modules.
#pragma once

#include <functional>

struct uInstrumentWindowInfo;

namespace WindowKinds {

struct uWindowKind {
    // (main window, window number of an MDI child to fill or -1 for a separate window, the main
    // window's instrument) -> the window number, 0 on failure.
    std::function<int(int iMainWindow, int iChild, uInstrumentWindowInfo* pInfo)> fnOpen;
    // Rebuilds the menu bar of an open window of this kind.
    std::function<void(int iWindow)> fnUpdateMenus;
};

// An eWindow kind; a kind registered again replaces the earlier entry, an empty entry removes it.
void Register(int iKind, uWindowKind kind);
bool IsRegistered(int iKind);

// 0 when nothing is registered for the kind.
int Open(int iKind, int iMainWindow, int iChild, uInstrumentWindowInfo* pInfo);
void UpdateMenus(int iKind, int iWindow);

} // namespace WindowKinds
