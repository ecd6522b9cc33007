// The screenshot viewer inside a real main window, fed as its screenshot window feeds it: where
// images land on the canvas, when it lays out and clears, the scale kept in step with the
// partner, Save As through the real file requester, the clipboard, fullscreen and closing.
#include "ViewerTestSupport.h"

#include "common/FileDialogAnswer.h"
#include "windows/capture/Template.h"

#include <QClipboard>
#include <QFileDialog>
#include <QGuiApplication>
#include <QScreen>
#include <QScrollBar>

namespace {

using namespace ViewerTestSupport;
using WindowScreenshotViewer::DrawRect;

constexpr QRgb Red = 0xFF0000;
constexpr QRgb Blue = 0x0000FF;
constexpr QRgb Grey = 0x808080;

TEST(ScreenshotViewerDrawRect, FitsKeepsTheAspectAndCentresTruncating) {
    struct Case {
        QSize canvas, image;
        bool fScale;
        QRect expected;
    };
    const Case cases[] = {
        {{600, 400}, {800, 480}, true, {0, 20, 600, 360}},
        {{400, 400}, {800, 480}, true, {0, 80, 400, 240}},
        {{600, 400}, {300, 400}, true, {150, 0, 300, 400}},
        {{601, 400}, {300, 400}, true, {150, 0, 300, 400}}, // (601 - 300) / 2 truncates
        {{600, 400}, {800, 480}, false, {-100, -40, 800, 480}},
        {{600, 400}, {101, 51}, false, {249, 174, 101, 51}},
        {{0, 0}, {0, 0}, true, {0, 0, 1, 1}},       // every 0 counts as 1
        {{600, 400}, {10000, 1}, true, {0, 199, 600, 1}}, // never below one pixel
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DrawRect(c.canvas, c.image, c.fScale), c.expected)
            << c.canvas.width() << "x" << c.canvas.height() << " " << c.image.width() << "x" << c.image.height();
    }
}

using ScreenshotViewerTest = ViewerTest;


TEST_F(ScreenshotViewerTest, AFittedImageIsDrawnCentredOnTheGreyCanvasAtEachSize) {
    const int iViewer = OpenWithViewer(WindowKindScreenshotViewer, 0);
    ASSERT_NE(iViewer, 0);
    ViewerFrame::uViewer& v = Shot(iViewer).viewer;
    EXPECT_EQ(v.pFrame->windowTitle().toStdString(), "Screenshot Viewer (disconnected)");
    SetAreaSize(v, {600, 400});
    Deliver(iViewer, Solid(800, 480, Red), 1, 1);
    EXPECT_EQ(Shot(iViewer).fScale, 1);
    EXPECT_EQ(v.pCanvas->size(), QSize(600, 400));
    EXPECT_EQ(Pixel(v, 300, 19), Grey);
    EXPECT_EQ(Pixel(v, 300, 20), Red);
    EXPECT_EQ(Pixel(v, 0, 200), Red);
    EXPECT_EQ(Pixel(v, 599, 379), Red);
    EXPECT_EQ(Pixel(v, 300, 380), Grey);
    EXPECT_EQ(Status(v), "Count: 1  -  Size: 800 x 480  Pixel");
    EXPECT_EQ(v.pStatus->toolTip().toStdString(), Status(v)); // whole on hover in a narrow viewer
    EXPECT_TRUE(ViewerItem(v, WindowStart::MenuScale)->isChecked());
    EXPECT_TRUE(ViewerButton(v, WindowStart::MenuScale)->isChecked());

    SetAreaSize(v, {400, 400});
    EXPECT_EQ(v.pCanvas->size(), QSize(400, 400));
    EXPECT_EQ(Pixel(v, 200, 79), Grey);
    EXPECT_EQ(Pixel(v, 200, 80), Red);
    EXPECT_EQ(Pixel(v, 200, 319), Red);
    EXPECT_EQ(Pixel(v, 200, 320), Grey);
    EXPECT_EQ(Shot(iViewer).iDrawnWidth, 400);
    EXPECT_EQ(Shot(iViewer).iDrawnHeight, 240);
}

TEST_F(ScreenshotViewerTest, ASameSizeImageIsDrawnOverTheOldOneWithoutLayoutOrClearing) {
    const int iViewer = OpenWithViewer(WindowKindScreenshotViewer, 0);
    ViewerFrame::uViewer& v = Shot(iViewer).viewer;
    SetAreaSize(v, {600, 400});
    Deliver(iViewer, Solid(800, 480, Red), 1, 1);
    // A mark in the grey border shows whether the canvas was cleared.
    v.pCanvas->Surface().setPixel(5, 5, Blue);
    Deliver(iViewer, Solid(800, 480, Blue), 1, 1);
    EXPECT_EQ(Pixel(v, 5, 5), Blue);
    EXPECT_EQ(Pixel(v, 300, 200), Blue);
    EXPECT_EQ(Shot(iViewer).fSizeChanged, 0);
    EXPECT_EQ(Status(v), "Count: 2  -  Size: 800 x 480  Pixel");
    // Counted as the window counts: a picture shown again is none, a reading's takes its count.
    Deliver(iViewer, Solid(800, 480, Blue), 1, 1, false);
    EXPECT_EQ(Status(v), "Count: 2  -  Size: 800 x 480  Pixel");
    Deliver(iViewer, Solid(800, 480, Blue), 1, 1, true, 5);
    EXPECT_EQ(Status(v), "Count: 5  -  Size: 800 x 480  Pixel");
    // Another size lays out and clears.
    Deliver(iViewer, Solid(400, 400, Red), 1, 1);
    EXPECT_EQ(Pixel(v, 5, 5), Grey);
    EXPECT_EQ(Pixel(v, 300, 200), Red);
    EXPECT_EQ(Pixel(v, 99, 200), Grey);
}

TEST_F(ScreenshotViewerTest, FullSizeImagesScrollWhenLargerAndCentreWhenSmaller) {
    const int iViewer = OpenWithViewer(WindowKindScreenshotViewer, 0);
    ViewerFrame::uViewer& v = Shot(iViewer).viewer;
    SetAreaSize(v, {600, 400});
    Deliver(iViewer, Solid(800, 480, Red), 1, 0);
    EXPECT_EQ(v.pCanvas->size(), QSize(800, 480));
    EXPECT_TRUE(WaitFor([&] { return v.pArea->horizontalScrollBar()->maximum() > 0; }));
    EXPECT_EQ(Pixel(v, 799, 479), Red);
    Deliver(iViewer, Solid(100, 50, Blue), 1, 0);
    EXPECT_EQ(v.pCanvas->size(), QSize(600, 400));
    EXPECT_EQ(Pixel(v, 250, 175), Blue);
    EXPECT_EQ(Pixel(v, 249, 175), Grey);
    EXPECT_EQ(Pixel(v, 349, 224), Blue);
    EXPECT_EQ(Pixel(v, 350, 224), Grey);
}

TEST_F(ScreenshotViewerTest, ThePartnersScaleIsMarkedAtOnceAndTakesEffectWithTheNextImage) {
    const int iViewer = OpenWithViewer(WindowKindScreenshotViewer, 0);
    uWindowScreenshotViewer& r = Shot(iViewer);
    ViewerFrame::uViewer& v = r.viewer;
    SetAreaSize(v, {600, 400});
    Deliver(iViewer, Solid(800, 480, Red), 1, 0);
    ASSERT_EQ(v.pCanvas->size(), QSize(800, 480));

    Sync(iViewer, 1, 1, 41);
    EXPECT_EQ(v.iPartner, iCapture);
    EXPECT_EQ(r.iCount, 41);
    EXPECT_TRUE(ViewerItem(v, WindowStart::MenuScale)->isChecked());
    EXPECT_TRUE(ViewerButton(v, WindowStart::MenuScale)->isChecked());
    EXPECT_EQ(v.pCanvas->size(), QSize(800, 480)); // nothing laid out
    // An image with the same setting is drawn fitted on the old canvas size.
    v.pCanvas->Surface().fill(Blue);
    Deliver(iViewer, Solid(400, 240, Red), 0, 1);
    EXPECT_EQ(v.pCanvas->size(), QSize(800, 480));
    EXPECT_EQ(r.iDrawnWidth, 800);
    EXPECT_EQ(Pixel(v, 0, 0), Red);
    EXPECT_EQ(Status(v), "Count: 42  -  Size: 400 x 240  Pixel");
    // The partner switched back: the next image lays out again.
    Deliver(iViewer, Solid(400, 240, Red), 0, 0);
    EXPECT_EQ(r.fScale, 0);
    EXPECT_EQ(v.pCanvas->size(), QSize(600, 400));
    EXPECT_EQ(Pixel(v, 0, 0), Grey);
    EXPECT_FALSE(ViewerItem(v, WindowStart::MenuScale)->isChecked());
}

TEST_F(ScreenshotViewerTest, ScaleTellsThePartnerAndLaysOut) {
    const int iViewer = OpenWithViewer(WindowKindScreenshotViewer, 0);
    uWindowScreenshotViewer& r = Shot(iViewer);
    SetAreaSize(r.viewer, {600, 400});
    Deliver(iViewer, Solid(800, 480, Red), 1, 0);
    Sync(iViewer, 0); // the screenshot window introduces itself
    syncs.clear();
    Menu(iViewer, WindowStart::MenuScale);
    EXPECT_EQ(r.fScale, 1);
    EXPECT_EQ(r.viewer.pCanvas->size(), QSize(600, 400));
    EXPECT_EQ(Pixel(r.viewer, 300, 19), Grey);
    ASSERT_EQ(syncs.size(), 1u);
    EXPECT_EQ(syncs[0].iPartner, iViewer);
    EXPECT_EQ(syncs[0].fScale, 1);
    EXPECT_EQ(syncs[0].fCount, 0);
}

TEST_F(ScreenshotViewerTest, SaveAsWritesA24BitPngAndAddsTheExtensionUnlessItIsPng) {
    Template::SetClock([] { return Template::uLocalTime{2024, 1, 2, 3, 4, 5, 678}; });
    uIni* pIni = Main::ConfigIni();
    Ini::SelectSection(pIni, "WindowScreenshot");
    Ini::WriteString(pIni, "DefaultFolder", dir.path().toStdString());
    Ini::WriteString(pIni, "TemplateFilename", "/O /Y/M/D-/H/N/S /Z");
    const int iViewer = OpenWithViewer(WindowKindScreenshotViewer, 0);
    uWindowScreenshotViewer& r = Shot(iViewer);
    r.viewer.info.sModel = "DS/1104Z"; // a model text never makes a folder
    QImage image(32, 16, QImage::Format_ARGB32);
    image.fill(qRgba(10, 20, 30, 255));
    image.setPixel(1, 1, qRgba(200, 100, 50, 255));
    Deliver(iViewer, image, 1, 0);
    Template::SetClock(nullptr);

    struct Case {
        QString sChosen, sSaved;
    };
    const Case cases[] = {
        {"a.png", "a.png"}, {"b.PnG", "b.PnG"}, {"c.jpg", "c.jpg.png"}, {"d", "d.png"}, {"e.png.txt", "e.png.txt.png"}};
    for (const Case& c : cases) {
        QString sProposed;
        bool fSeen = false;
        WhenModal<QFileDialog>([&](QFileDialog* pDialog) {
            fSeen = pDialog->windowTitle() == "Save as" && pDialog->selectedNameFilter() == "PNG (*.png)";
            sProposed = pDialog->selectedFiles().value(0);
            FileDialogAnswer::Choose(pDialog, dir.filePath(c.sChosen));
            QMetaObject::invokeMethod(pDialog, "accept");
        });
        Menu(iViewer, WindowStart::MenuSaveAs);
        EXPECT_TRUE(fSeen);
        EXPECT_EQ(sProposed, dir.filePath("DS_1104Z 20240102-030405 678.png"));
        QImage saved(dir.filePath(c.sSaved));
        ASSERT_FALSE(saved.isNull()) << c.sSaved.toStdString();
        EXPECT_EQ(saved.size(), QSize(32, 16));
        EXPECT_FALSE(saved.hasAlphaChannel());
        EXPECT_EQ(saved.pixel(1, 1) & 0xFFFFFF, 0xC86432u);
        EXPECT_NE(WindowLog::Text().find("DS/1104Z - The screenshot are saved: " + dir.filePath(c.sSaved).toStdString()),
                  std::string::npos);
    }
    // A folder that does not exist: the status bar and the log say so.
    WhenModal<QFileDialog>([&](QFileDialog* pDialog) {
        FileDialogAnswer::Choose(pDialog, dir.filePath("missing/x.png"));
        QMetaObject::invokeMethod(pDialog, "accept");
    });
    Menu(iViewer, WindowStart::MenuSaveAs);
    EXPECT_EQ(Status(r.viewer),
              "The file could not be created: " + dir.filePath("missing/x.png").toStdString() +
                  " (No such file or directory)");
}

TEST_F(ScreenshotViewerTest, CopyPutsTheImageOnTheClipboardAndWithoutOneSaysSo) {
    const int iViewer = OpenWithViewer(WindowKindScreenshotViewer, 1);
    uWindowScreenshotViewer& r = Shot(iViewer);
    r.viewer.info.sModel = "DS1104Z";
    for (int iItem : {WindowStart::MenuSaveAs, WindowStart::MenuCopy, WindowStart::MenuAlignWindow}) {
        EXPECT_FALSE(ViewerItem(r.viewer, iItem)->isEnabled()) << iItem;
        EXPECT_FALSE(ViewerButton(r.viewer, iItem)->isEnabled()) << iItem;
    }
    Menu(iViewer, WindowStart::MenuCopy);
    EXPECT_EQ(Status(r.viewer), "The data is not available, 0 bytes.");
    EXPECT_NE(WindowLog::Text().find("DS1104Z - The data is not available, 0 bytes."), std::string::npos);
    Menu(iViewer, WindowStart::MenuSaveAs);
    EXPECT_EQ(Status(r.viewer), "The data could not be converted into an image.");

    QImage image = Solid(40, 30, Red);
    image.setPixel(3, 4, Blue);
    Deliver(iViewer, image, 1, 0);
    for (int iItem : {WindowStart::MenuSaveAs, WindowStart::MenuCopy, WindowStart::MenuAlignWindow}) {
        EXPECT_TRUE(ViewerItem(r.viewer, iItem)->isEnabled()) << iItem;
    }
    Menu(iViewer, WindowStart::MenuCopy);
    const QImage copied = QGuiApplication::clipboard()->image();
    ASSERT_EQ(copied.size(), QSize(40, 30));
    EXPECT_EQ(copied.pixel(3, 4) & 0xFFFFFF, Blue);
    EXPECT_EQ(copied.pixel(0, 0) & 0xFFFFFF, Red);
}

TEST_F(ScreenshotViewerTest, AnMdiChildNeverGoesFullscreenAndEscapeDoesNothingOutsideIt) {
    const int iViewer = OpenWithViewer(WindowKindScreenshotViewer, 1);
    ASSERT_NE(iViewer, 0);
    ViewerFrame::uViewer& v = Shot(iViewer).viewer;
    ASSERT_NE(ChildWindow::MdiFrame(iViewer), nullptr);
    EXPECT_FALSE(ViewerItem(v, WindowStart::MenuFullscreen)->isEnabled());
    EXPECT_FALSE(ViewerButton(v, WindowStart::MenuFullscreen)->isEnabled());
    EXPECT_EQ(ViewerButton(v, WindowStart::MenuShowMainWindow), nullptr);
    // Separate windows only: "&Select..." and "&Disconnect" follow the instrument in MDI form.
    EXPECT_TRUE(ViewerItem(v, WindowStart::MenuSelect)->isEnabled());
    EXPECT_FALSE(ViewerItem(v, WindowStart::MenuDisconnect)->isEnabled());
    const QRect before = ChildWindow::MdiFrame(iViewer)->geometry();
    for (int iItem : {int(WindowStart::MenuFullscreen), ViewerFrame::MenuF11, ViewerFrame::MenuEscape}) Menu(iViewer, iItem);
    EventHub::PostEvent(EventViewerFullscreen, iViewer);
    Settle();
    EXPECT_FALSE(v.fFullscreen);
    EXPECT_FALSE(v.pFrame->isFullScreen());
    EXPECT_FALSE(v.pToolBar->isHidden());
    EXPECT_EQ(ChildWindow::MdiFrame(iViewer)->geometry(), before);
    EXPECT_EQ(v.pFrame->windowTitle().toStdString(), "Screenshot Viewer (disconnected)");
}

TEST_F(ScreenshotViewerTest, FullscreenFillsTheScreenInBlackAndEscapeReturns) {
    const int iViewer = OpenWithViewer(WindowKindScreenshotViewer, 0);
    ViewerFrame::uViewer& v = Shot(iViewer).viewer;
    ASSERT_TRUE(WaitFor([&] { return v.pFrame->isVisible(); }));
    v.pFrame->setGeometry(60, 70, 500, 300);
    ASSERT_TRUE(WaitFor([&] { return v.pFrame->geometry() == QRect(60, 70, 500, 300); }));
    Menu(iViewer, ViewerFrame::MenuEscape); // nothing to leave
    EXPECT_FALSE(v.fFullscreen);
    Menu(iViewer, ViewerFrame::MenuF11);
    EXPECT_TRUE(v.fFullscreen);
    const QRect screen = v.pFrame->screen()->geometry();
    EXPECT_TRUE(WaitFor([&] { return v.pFrame->geometry() == screen; }));
    EXPECT_TRUE(v.pToolBar->isHidden());
    EXPECT_TRUE(v.pStatusBar->isHidden());
    EXPECT_TRUE(v.pMenu->isHidden());
    EXPECT_TRUE(WaitFor([&] { return v.pCanvas->size() == screen.size(); }));
    EXPECT_EQ(Pixel(v, 10, 10), 0x000000u);
    Menu(iViewer, ViewerFrame::MenuEscape);
    EXPECT_FALSE(v.fFullscreen);
    EXPECT_TRUE(WaitFor([&] { return v.pFrame->geometry() == QRect(60, 70, 500, 300); }));
    EXPECT_FALSE(v.pToolBar->isHidden());
    EXPECT_EQ(Pixel(v, 10, 10), Grey);
}

TEST_F(ScreenshotViewerTest, ClosingAFullscreenViewerSavesItsNormalPlacementAndUnlinksThePartner) {
    const int iViewer = OpenWithViewer(WindowKindScreenshotViewer, 0);
    ViewerFrame::uViewer& v = Shot(iViewer).viewer;
    ASSERT_TRUE(WaitFor([&] { return v.pFrame->isVisible(); }));
    v.pFrame->setGeometry(60, 70, 500, 300);
    ASSERT_TRUE(WaitFor([&] { return v.pFrame->geometry() == QRect(60, 70, 500, 300); }));
    Sync(iViewer, 0);
    EventHub::PostEvent(EventViewerFullscreen, iViewer);
    Settle();
    ASSERT_TRUE(Shot(iViewer).viewer.fFullscreen);
    const std::size_t iLinks = children.EventsOf(iCapture, EventLinkViewer).size();
    EventHub::PostEvent(EventCloseWindowRequest, iViewer);
    Settle();
    EXPECT_FALSE(WindowScreenshotViewer::GetInstance(iViewer, nullptr));
    Window::uWindowPosition saved;
    ASSERT_TRUE(Window::ParsePosition(ReadConfigValue("Window", "WindowScreenshotViewerPosition"), saved));
    EXPECT_EQ(saved.iInnerWidth, 500);
    EXPECT_EQ(saved.iInnerHeight, 300);
    EXPECT_EQ(saved.iState, Window::StateNormal);
    const auto links = children.EventsOf(iCapture, EventLinkViewer);
    ASSERT_EQ(links.size(), iLinks + 1);
    EXPECT_EQ(links.back().iObject, 0);
    EXPECT_EQ(links.back().iType, 0);
    EXPECT_TRUE(ChildrenOf(iMain, WindowKindScreenshotViewer).empty());
}

TEST_F(ScreenshotViewerTest, AlignWindowFitsTheWindowToTheImage) {
    const int iViewer = OpenWithViewer(WindowKindScreenshotViewer, 0);
    uWindowScreenshotViewer& r = Shot(iViewer);
    SetAreaSize(r.viewer, {600, 400});
    Deliver(iViewer, Solid(320, 200, Red), 1, 0);
    Menu(iViewer, WindowStart::MenuAlignWindow);
    EXPECT_TRUE(WaitFor([&] { return r.viewer.pArea->size() == QSize(320, 200); }));
    Settle();
    EXPECT_EQ(Pixel(r.viewer, 0, 0), Red);
    EXPECT_EQ(Pixel(r.viewer, 319, 199), Red);
}

TEST_F(ScreenshotViewerTest, AnotherInstrumentsDisconnectChangesNothing) {
    const int iViewer = OpenWithViewer(WindowKindScreenshotViewer, 0);
    uWindowScreenshotViewer& r = Shot(iViewer);
    uInstrumentWindowInfo info;
    info.sModel = "DS1104Z";
    info.fConnected = true;
    info.pInstrument = std::make_shared<uInstrumentObject>();
    info.capabilities.bScreenshot = 1;
    EventHub::PostEvent(EventInstrumentConnected, iViewer, 0, 0, EventHub::Payload::Of<uInstrumentWindowInfo>(info));
    Settle();
    EXPECT_EQ(r.viewer.pFrame->windowTitle().toStdString(), "DS1104Z - Screenshot Viewer");
    Deliver(iViewer, Solid(20, 20, Red), 1, 0);
    const auto other = std::make_shared<uInstrumentObject>();
    EventHub::PostEvent(EventInstrumentDisconnected, iViewer, 0, reinterpret_cast<std::intptr_t>(other.get()));
    Settle();
    EXPECT_TRUE(r.viewer.info.fConnected);
    EXPECT_EQ(r.iCount, 1);
    EXPECT_EQ(r.viewer.pFrame->windowTitle().toStdString(), "DS1104Z - Screenshot Viewer");
    EventHub::PostEvent(EventInstrumentDisconnected, iViewer, 0,
                        reinterpret_cast<std::intptr_t>(info.pInstrument.get()));
    Settle();
    EXPECT_FALSE(r.viewer.info.fConnected);
    EXPECT_EQ(r.viewer.info.pInstrument, nullptr);
    EXPECT_EQ(r.iCount, 0);
    EXPECT_FALSE(r.image.isNull()); // the image stays shown
    EXPECT_EQ(r.viewer.pFrame->windowTitle().toStdString(), "Screenshot Viewer (disconnected)");

    // Connected again: the same model keeps the picture (a lost connection, "Disconnect" and
    // "Connect"), another model clears it.
    for (const auto& [pModel, fKept] : {std::pair{"DS1104Z", true}, std::pair{"RTB2004", false}}) {
        info.sModel = pModel;
        info.pInstrument = std::make_shared<uInstrumentObject>();
        EventHub::PostEvent(EventInstrumentConnected, iViewer, 0, 0, EventHub::Payload::Of<uInstrumentWindowInfo>(info));
        Settle();
        EXPECT_EQ(!r.image.isNull(), fKept) << pModel;
        EXPECT_EQ(Pixel(r.viewer, r.viewer.pCanvas->width() / 2, r.viewer.pCanvas->height() / 2) == Red, fKept) << pModel;
    }
}

} // namespace
