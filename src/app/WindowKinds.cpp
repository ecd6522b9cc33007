#include "app/WindowKinds.h"

#include <map>
#include <utility>

namespace WindowKinds {
namespace {

// Filled at start-up and read on the GUI thread only.
std::map<int, uWindowKind> mKinds;

} // namespace

void Register(int iKind, uWindowKind kind) {
    if (!kind.fnOpen && !kind.fnUpdateMenus) mKinds.erase(iKind);
    else mKinds[iKind] = std::move(kind);
}

bool IsRegistered(int iKind) { return mKinds.count(iKind) != 0; }

int Open(int iKind, int iMainWindow, int iChild, uInstrumentWindowInfo* pInfo) {
    const auto it = mKinds.find(iKind);
    return it != mKinds.end() && it->second.fnOpen ? it->second.fnOpen(iMainWindow, iChild, pInfo) : 0;
}

void UpdateMenus(int iKind, int iWindow) {
    const auto it = mKinds.find(iKind);
    if (it != mKinds.end() && it->second.fnUpdateMenus) it->second.fnUpdateMenus(iWindow);
}

} // namespace WindowKinds
