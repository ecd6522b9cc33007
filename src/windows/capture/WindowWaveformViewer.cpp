#include "windows/capture/WindowWaveformViewer.h"

#include "app/InstrumentWindowInfo.h"
#include "app/Window.h"
#include "app/WindowKinds.h"
#include "app/WindowStart.h"
#include "waveform/WaveformData.h"

#include <map>

namespace WindowWaveformViewer {
namespace {

using ViewerFrame::uViewer;

// The open viewers by window number; GUI thread only.
std::map<int, std::unique_ptr<uWindowWaveformViewer>> mWindowWaveformViewer;
std::int64_t iCreationCounter = 0;

uWindowWaveformViewer* Lookup(int iWindow) {
    const auto it = mWindowWaveformViewer.find(iWindow);
    return it == mWindowWaveformViewer.end() ? nullptr : it->second.get();
}

void ItemStates(uViewer& v) {
    ViewerFrame::SetItemEnabled(v, WindowStart::MenuCopy, false);
    ViewerFrame::SetItemEnabled(v, WindowStart::MenuSaveAs, false, false, true);
}

} // namespace

int Open(int iMainWindow, int iChild, uInstrumentWindowInfo* pInfo) {
    auto pRecord = std::make_unique<uWindowWaveformViewer>();
    const ViewerFrame::uKind kind{WindowKindWaveformViewer, Title, false, &uModelCapabilities::bWaveform};
    if (!ViewerFrame::Build(pRecord->viewer, iMainWindow, iChild, pInfo, kind, ++iCreationCounter)) return 0;
    const int iWindow = pRecord->viewer.iWindow;
    uViewer& viewer = pRecord->viewer;
    mWindowWaveformViewer[iWindow] = std::move(pRecord);

    ViewerFrame::uHooks hooks;
    // "&Save As..." and "&Copy" have nothing to act on.
    hooks.fnMenu = [](int) {};
    hooks.fnRedraw = [iWindow] {
        if (uWindowWaveformViewer* p = Lookup(iWindow); p && p->viewer.pCanvas) {
            p->viewer.pCanvas->Fill(p->viewer.fFullscreen ? ViewerFrame::CanvasBlack : ViewerFrame::CanvasGrey);
        }
    };
    hooks.fnItemStates = [iWindow] {
        if (uWindowWaveformViewer* p = Lookup(iWindow)) ItemStates(p->viewer);
    };
    hooks.fnClosing = [iWindow] { mWindowWaveformViewer.erase(iWindow); };
    ViewerFrame::Install(viewer, [](int i) -> uViewer* {
        uWindowWaveformViewer* p = Lookup(i);
        return p ? &p->viewer : nullptr;
    }, std::move(hooks));
    return iWindow;
}

bool GetInstance(int iWindow, uWindowWaveformViewer** ppRecord) {
    uWindowWaveformViewer* p = Lookup(iWindow);
    if (ppRecord) *ppRecord = p;
    return p != nullptr;
}

void RegisterKind() {
    WindowKinds::Register(WindowKindWaveformViewer, {Open, [](int) {}});
}

} // namespace WindowWaveformViewer
