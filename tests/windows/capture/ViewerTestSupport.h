// Shared by the viewer tests: a real main window whose screenshot and waveform windows are test
// children, with the real viewers registered, and helpers that hand images to a viewer and look
// at what it drew.
#pragma once

#include "app/FrameTestSupport.h"
#include "common/ImagePluginGdiPlus.h"
#include "common/WindowLog.h"
#include "windows/capture/ViewerSync.h"
#include "windows/capture/WindowScreenshotViewer.h"
#include "windows/capture/WindowWaveformViewer.h"

#include <QMdiSubWindow>
#include <QStatusBar>
#include <QToolBar>

namespace ViewerTestSupport {

using namespace FrameTestSupport;

class ViewerTest : public FrameTest {
  protected:
    void SetUp() override {
        FrameTest::SetUp();
        WindowScreenshotViewer::RegisterKind();
        WindowWaveformViewer::RegisterKind();
        ImagePluginGdiPlus::Startup();
        ImagePluginGdiPlus::RegisterDecoder();
        ImagePluginGdiPlus::RegisterEncoder();
        WindowLog::Create();
        WindowLog::Clear(0);
    }

    // A main window (the one open, else a new one) with a capture window (test child, MDI) and
    // its viewer, MDI or separate.
    int OpenWithViewer(int iViewerKind, int fMdi) {
        if (iMain == 0) iMain = OpenMain();
        Choose(iMain, iViewerKind == WindowKindWaveformViewer ? WindowStart::MenuWaveform : WindowStart::MenuScreenshot);
        const int iCaptureKind = iViewerKind == WindowKindWaveformViewer ? WindowKindWaveform : WindowKindScreenshot;
        iCapture = ChildrenOf(iMain, iCaptureKind).at(0).iWindow;
        EventHub::Bind(EventViewerSync, iCapture, [this](const EventHub::uEvent& e) {
            if (const uViewerSync* p = e.pData.Get<uViewerSync>()) syncs.push_back(*p);
        });
        if (iViewerKind == WindowKindWaveformViewer) WindowStart::OpenWaveformViewer(iMain, fMdi, iCapture);
        else WindowStart::OpenScreenshotViewer(iMain, fMdi, iCapture);
        Settle();
        const auto viewers = ChildrenOf(iMain, iViewerKind);
        return viewers.empty() ? 0 : viewers[0].iWindow;
    }

    static uWindowScreenshotViewer& Shot(int iViewer) {
        uWindowScreenshotViewer* p = nullptr;
        EXPECT_TRUE(WindowScreenshotViewer::GetInstance(iViewer, &p));
        return *p;
    }
    static uWindowWaveformViewer& Wave(int iViewer) {
        uWindowWaveformViewer* p = nullptr;
        EXPECT_TRUE(WindowWaveformViewer::GetInstance(iViewer, &p));
        return *p;
    }
    // What the screenshot window does with each new image.
    // A new picture (fNew; with its reading's count iCount), or one shown again.
    static void Deliver(int iViewer, const QImage& image, int fSizeChanged, int fScale, bool fNew = true,
                        std::int64_t iCount = 0) {
        EventHub::PostEvent(EventNewScreenshot, iViewer, 0, fSizeChanged,
                            EventHub::Payload::Of<uNewScreenshot>({image, fScale, fNew, iCount}));
        Settle();
    }
    // The partner window's sync block.
    void Sync(int iViewer, int fScale, int fCount = 0, int iCount = 0) {
        EventHub::PostEvent(EventViewerSync, iViewer, 0, 0,
                            EventHub::Payload::Of<uViewerSync>({iCapture, fScale, fCount, iCount}));
        Settle();
    }
    static QImage Solid(int iWidth, int iHeight, QRgb color) {
        QImage image(iWidth, iHeight, QImage::Format_RGB32);
        image.fill(color);
        return image;
    }
    // Sizes the window so that its scroll area gets the size.
    static void SetAreaSize(ViewerFrame::uViewer& v, QSize size) {
        QWidget* pOuter = v.pFrame;
        if (QMdiSubWindow* pMdi = ChildWindow::MdiFrame(v.iWindow)) pOuter = pMdi;
        pOuter->resize(pOuter->size() + (size - v.pArea->size()));
        EXPECT_TRUE(WaitFor([&] { return v.pArea->size() == size; })) << v.pArea->size().width() << "x"
                                                                         << v.pArea->size().height();
        Settle();
    }
    static QRgb Pixel(const ViewerFrame::uViewer& v, int x, int y) {
        return v.pCanvas->grab().toImage().pixel(x, y) & 0xFFFFFF;
    }
    static QAction* ViewerButton(const ViewerFrame::uViewer& v, int iItem) { return ViewerFrame::Button(v, iItem); }
    static QAction* ViewerItem(const ViewerFrame::uViewer& v, int iItem) {
        return WindowStart::FindMenuItem(v.pMenu, iItem);
    }
    static void Menu(int iViewer, int iItem) {
        EventHub::PostEvent(EventMenu, iViewer, iItem);
        Settle();
    }
    static std::string Status(const ViewerFrame::uViewer& v) { return v.pStatus->text().toStdString(); }

    int iMain = 0;
    int iCapture = 0;
    std::vector<uViewerSync> syncs;
};

} // namespace ViewerTestSupport
