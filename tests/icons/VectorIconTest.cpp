// The toolbar icons and generic instrument pictures: every drawing at every size, the pixels
// the drawings promise, clean failures, the white background switch, and the figures, colours
// and stroke widths that a recording canvas sees.
#include "DrawingLookup.h"
#include "PixelCheck.h"
#include "RecordingCanvas.h"
#include "icons/VectorIcon.h"
#include "platform/OsVersion.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <set>
#include <string>

namespace {

// The sizes a drawing is asked for: icons square, pictures in their 4:3 design and squared as
// window icons.
std::vector<std::pair<int, int>> Sizes(const VectorIcon::uDrawing& d) {
    if (d.kind == VectorIcon::eKind::Icon) return {{16, 16}, {24, 24}, {32, 32}, {48, 48}, {128, 128}};
    return {{16, 12}, {32, 24}, {128, 96}, {171, 128}, {32, 32}, {48, 48}, {64, 64}};
}

class VectorIconTest : public ::testing::Test {
  protected:
    void SetUp() override { OsVersion::SetWindows2000(false); }
    void TearDown() override { OsVersion::SetWindows2000(false); }
};

} // namespace

TEST_F(VectorIconTest, EveryDrawingAtEverySizeIsPaintedTransparentAroundAndRepeatable) {
    EXPECT_EQ(VectorIcon::Drawings().size(), 37u);
    for (const auto& d : VectorIcon::Drawings()) {
        if (d.kind == VectorIcon::eKind::About) continue;  // 24 bits, no alpha: its own suite
        for (auto [w, h] : Sizes(d)) {
            SCOPED_TRACE(std::string(d.sName) + " at " + std::to_string(w) + " x " + std::to_string(h));
            const QImage image = VectorIcon::Draw(d, w, h);
            ASSERT_FALSE(image.isNull());
            EXPECT_EQ(image.size(), QSize(w, h));
            EXPECT_EQ(image.format(), QImage::Format_ARGB32);
            int iPainted = 0, iClear = 0, iMaxAlpha = 0;
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) {
                    const int a = Alpha(image, x, y);
                    iPainted += a > 0;
                    iClear += a == 0;
                    iMaxAlpha = std::max(iMaxAlpha, a);
                }
            EXPECT_GT(iPainted, w * h / 10);
            EXPECT_GT(iClear, 0);
            EXPECT_GE(iMaxAlpha, 160);
            // No figure reaches into the corners; at small sizes a corner pixel spans more than
            // the margin that the outermost outlines leave.
            if (w >= 128) {
                for (auto [x, y] : {std::pair{0, 0}, {w - 1, 0}, {0, h - 1}, {w - 1, h - 1}})
                    EXPECT_TRUE(PixelIs(image, x, y, kTransparent, 0));
            }
            EXPECT_EQ(VectorIcon::Draw(d, w, h), image);
        }
    }
}

TEST_F(VectorIconTest, EveryProcedureDrawsItsCatalogueEntry) {
    using IconProcedure = QImage (*)(int);
    const std::map<std::string, IconProcedure> icons = {
        {"IconNewWindow", &VectorIcon::IconNewWindow},
        {"IconNewScript", &VectorIcon::IconNewScript},
        {"IconPreferences", &VectorIcon::IconPreferences},
        {"IconShowWindows", &VectorIcon::IconShowWindows},
        {"IconSelectInstrument", &VectorIcon::IconSelectInstrument},
        {"IconDisconnect", &VectorIcon::IconDisconnect},
        {"IconConnect", &VectorIcon::IconConnect},
        {"IconScpiCommand", &VectorIcon::IconScpiCommand},
        {"IconScreenshot", &VectorIcon::IconScreenshot},
        {"IconWaveform", &VectorIcon::IconWaveform},
        {"IconMaximize", &VectorIcon::IconMaximize},
        {"IconAdapt", &VectorIcon::IconAdapt},
        {"IconCascade", &VectorIcon::IconCascade},
        {"IconTileVertically", &VectorIcon::IconTileVertically},
        {"IconTileHorizontally", &VectorIcon::IconTileHorizontally},
        {"IconSaveAs", &VectorIcon::IconSaveAs},
        {"IconCopy", &VectorIcon::IconCopy},
        {"IconScale", &VectorIcon::IconScale},
        {"IconAlignWindow", &VectorIcon::IconAlignWindow},
        {"IconFullscreen", &VectorIcon::IconFullscreen},
        {"IconList", &VectorIcon::IconList},
        {"IconIcons", &VectorIcon::IconIcons},
        {"IconRefresh", &VectorIcon::IconRefresh},
        {"IconFolder", &VectorIcon::IconFolder},
    };
    EXPECT_EQ(icons.size(), 24u);
    for (const auto& [sName, procedure] : icons) {
        SCOPED_TRACE(sName);
        EXPECT_EQ(procedure(24), VectorIcon::Draw(Find(sName.c_str()), 24, 24));
        EXPECT_TRUE(procedure(0).isNull());
        EXPECT_TRUE(procedure(-16).isNull());
    }
    EXPECT_EQ(VectorIcon::PictureGeneric(128, 96), VectorIcon::Draw(Find("PictureGeneric"), 128, 96));
    EXPECT_EQ(VectorIcon::PictureModel2(64, 64), VectorIcon::Draw(Find("PictureModel2"), 64, 64));
    // The catalogue's drawings all differ from each other.
    std::set<QByteArray> contents;
    for (const auto& d : VectorIcon::Drawings()) {
        const QImage image = VectorIcon::Draw(d, 32, 32);
        contents.insert(QByteArray(reinterpret_cast<const char*>(image.constBits()), image.sizeInBytes()));
    }
    EXPECT_EQ(contents.size(), VectorIcon::Drawings().size());
}

TEST_F(VectorIconTest, SizesThatMakeNoImageFailInsteadOfReturningAnEmptyOne) {
    for (auto [w, h] : {std::pair{0, 96}, {128, 0}, {0, 0}, {-128, 96}, {128, -96}}) {
        EXPECT_TRUE(VectorIcon::PictureGeneric(w, h).isNull()) << w << " x " << h;
        EXPECT_TRUE(VectorIcon::PictureModel2(w, h).isNull()) << w << " x " << h;
        EXPECT_TRUE(VectorIcon::Draw(Find("IconFolder"), w, h).isNull()) << w << " x " << h;
    }
    // Beyond any sane size nothing is allocated and nothing returned.
    EXPECT_TRUE(VectorIcon::IconNewWindow(VectorIcon::kMaxSide + 1).isNull());
    EXPECT_TRUE(VectorIcon::PictureGeneric(VectorIcon::kMaxSide, VectorIcon::kMaxSide).isNull());
    EXPECT_TRUE(VectorIcon::PictureGeneric(1, VectorIcon::kMaxSide + 1).isNull());

    // The starter: a height of 0 makes a square; nothing else of 0 or less makes an image.
    EXPECT_EQ(VectorIcon::BeginDrawing(20, 0, 32, -1).size(), QSize(20, 20));
    EXPECT_TRUE(VectorIcon::BeginDrawing(0, 0, 32, -1).isNull());
    EXPECT_TRUE(VectorIcon::BeginDrawing(-3, 0, 32, -1).isNull());
    EXPECT_TRUE(VectorIcon::BeginDrawing(20, -1, 32, -1).isNull());
    const QImage clear = VectorIcon::BeginDrawing(8, 4, 32, -1);
    EXPECT_TRUE(clear.hasAlphaChannel());
    EXPECT_EQ(clear.pixel(3, 2), 0u);
    const QImage coloured = VectorIcon::BeginDrawing(8, 4, 32, 0x336699);
    EXPECT_EQ(coloured.pixel(7, 3), 0xFF336699u);
    const QImage flat = VectorIcon::BeginDrawing(8, 4, 24, -1);
    EXPECT_FALSE(flat.hasAlphaChannel());
    EXPECT_EQ(flat.pixel(0, 0), 0xFFFFFFFFu);
    EXPECT_EQ(VectorIcon::BeginDrawing(8, 4, 16, 0x102030).pixel(0, 0), 0xFF102030u);
}

TEST_F(VectorIconTest, OnWindows2000ImagesFrom128PixelsWideStartWhite) {
    EXPECT_TRUE(PixelIs(VectorIcon::PictureGeneric(128, 96), 60, 5, kTransparent, 0));
    OsVersion::SetWindows2000(true);
    EXPECT_TRUE(PixelIs(VectorIcon::PictureGeneric(128, 96), 60, 5, Opaque(0xFFFFFF), 0));
    EXPECT_TRUE(PixelIs(VectorIcon::PictureGeneric(127, 96), 60, 5, kTransparent, 0));
    EXPECT_TRUE(PixelIs(VectorIcon::IconPreferences(128), 64, 64, Opaque(0xFFFFFF), 0));
    EXPECT_TRUE(PixelIs(VectorIcon::IconPreferences(127), 63, 63, kTransparent, 0));
    EXPECT_EQ(VectorIcon::BeginDrawing(128, 0, 32, 0x000000).pixel(0, 0), 0xFFFFFFFFu);
}

TEST_F(VectorIconTest, GenericPicturesShowDisplayBodyBarsAndHandle) {
    const QImage generic = VectorIcon::PictureGeneric(128, 96);
    const QImage model2 = VectorIcon::PictureModel2(128, 96);
    for (const QImage* image : {&generic, &model2}) {
        EXPECT_TRUE(PixelIs(*image, 50, 50, Opaque(0x999999)));  // display through the window
        EXPECT_TRUE(PixelIs(*image, 30, 80, Opaque(0xB2B2B2)));  // body
        EXPECT_TRUE(PixelIs(*image, 60, 5, kTransparent));
        EXPECT_TRUE(PixelIs(*image, 60, 17, kTransparent));  // under the handle, or nothing
        EXPECT_TRUE(PixelIs(*image, 19, 91, Opaque(0xB2B2B2)));  // left foot below the body
    }
    EXPECT_TRUE(PixelIs(generic, 50, 81, Opaque(0xCCCCCC)));
    EXPECT_TRUE(PixelIs(model2, 50, 81, Opaque(0xB2B2B2)));
    EXPECT_TRUE(PixelIs(generic, 60, 11, Opaque(0xB2B2B2)));
    EXPECT_TRUE(PixelIs(model2, 60, 11, kTransparent));

    // Nothing left of x 4 or right of 123.98; nothing above the handle's 9.98 (the body's 24.98
    // without handle); nothing below the right foot's 94.03.
    auto bounds = [](const QImage& image) {
        QRect painted;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (Alpha(image, x, y) > 0) painted |= QRect(x, y, 1, 1);
        return painted;
    };
    EXPECT_EQ(bounds(generic), QRect(QPoint(4, 9), QPoint(123, 94)));
    EXPECT_EQ(bounds(model2), QRect(QPoint(4, 24), QPoint(123, 94)));
    // Squared as a window icon the picture is stretched down, not cut off.
    EXPECT_EQ(bounds(VectorIcon::PictureGeneric(32, 32)), QRect(QPoint(1, 3), QPoint(30, 31)));
}

TEST_F(VectorIconTest, MainToolbarIconsShowTheirFiguresWhereTheyPromise) {
    // Window icons: opaque white inside the frame, the title bar 2 pixels high at 16 pixels.
    const QImage newWindow16 = VectorIcon::IconNewWindow(16);
    EXPECT_TRUE(PixelIs(newWindow16, 4, 2, Opaque(0x6699FF)));
    EXPECT_TRUE(PixelIs(newWindow16, 4, 3, Opaque(0x6699FF)));
    EXPECT_TRUE(PixelIs(newWindow16, 4, 8, Opaque(0xFFFFFF)));
    EXPECT_TRUE(PixelIs(newWindow16, 4, 0, kTransparent));
    // The plus is centred on the badge, which covers the frame's corner.
    const QImage newWindow = VectorIcon::IconNewWindow(64);
    EXPECT_TRUE(PixelIs(newWindow, 49, 49, Opaque(0xFFFFFF)));
    EXPECT_TRUE(PixelIs(newWindow, 43, 43, Opaque(0x33CC66)));
    EXPECT_TRUE(PixelIs(newWindow, 56, 43, Opaque(0x33CC66)));
    EXPECT_TRUE(PixelIs(newWindow, 49, 43, Opaque(0xFFFFFF)));
    EXPECT_TRUE(PixelIs(newWindow, 43, 49, Opaque(0xFFFFFF)));
    // The gear's hole stays transparent.
    EXPECT_TRUE(PixelIs(VectorIcon::IconPreferences(32), 15, 15, kTransparent));
    EXPECT_TRUE(PixelIs(VectorIcon::IconPreferences(32), 15, 8, Opaque(0x6699FF)));
    // The arrow's head covers the title bar.
    EXPECT_TRUE(PixelIs(VectorIcon::IconShowWindows(64), 52, 12, Opaque(0x33CC66)));

    // The oscilloscope's screen shows through the opening of its body.
    const QImage select = VectorIcon::IconSelectInstrument(64);
    EXPECT_TRUE(PixelIs(select, 24, 38, Opaque(0x666666)));
    EXPECT_TRUE(PixelIs(select, 3, 28, Opaque(0x6699FF)));
    // The counter of the D shows the white of the frame.
    const QImage scpi = VectorIcon::IconScpiCommand(128);
    EXPECT_TRUE(PixelIs(scpi, 51, 64, Opaque(0xFFFFFF)));
    EXPECT_TRUE(PixelIs(scpi, 42, 64, Opaque(0x7F7F7F)));
    EXPECT_TRUE(PixelIs(scpi, 30, 64, Opaque(0x7F7F7F)));  // the I
    // The socket painted last hides the plug's lower left.
    const QImage connect = VectorIcon::IconConnect(64);
    EXPECT_TRUE(PixelIs(connect, 28, 36, Opaque(0x666666)));
    EXPECT_TRUE(PixelIs(VectorIcon::IconDisconnect(64), 38, 28, Opaque(0x999999)));
}

TEST_F(VectorIconTest, ViewerIconsShowTheirFiguresWhereTheyPromise) {
    // The front page hides the right ends of the back page's lines, except the top one.
    const QImage copy = VectorIcon::IconCopy(64);
    EXPECT_TRUE(PixelIs(copy, 20, 20, Opaque(0xB2B2B2)));
    EXPECT_TRUE(PixelIs(copy, 30, 20, Opaque(0xFFFFFF)));
    EXPECT_TRUE(PixelIs(copy, 30, 10, Opaque(0xB2B2B2)));
    // The list's strokes and the icon view's squares.
    EXPECT_TRUE(PixelIs(VectorIcon::IconList(64), 14, 24, Opaque(0x7F7F7F)));
    EXPECT_TRUE(PixelIs(VectorIcon::IconIcons(64), 12, 26, Opaque(0xFF99CC)));
    EXPECT_TRUE(PixelIs(VectorIcon::IconIcons(64), 52, 44, Opaque(0xCCCCCC)));
    // The folder's back shows above the flap; the flap covers its lower part.
    const QImage folder = VectorIcon::IconFolder(64);
    EXPECT_TRUE(PixelIs(folder, 40, 18, Opaque(0xCCCCFF)));
    EXPECT_TRUE(PixelIs(folder, 40, 40, Opaque(0xE5E5E5)));
    // The floppy's shutter opening and label.
    const QImage disk = VectorIcon::IconSaveAs(64);
    EXPECT_TRUE(PixelIs(disk, 41, 12, Opaque(0x6699FF)));
    EXPECT_TRUE(PixelIs(disk, 30, 12, Opaque(0xE5E5E5)));
    EXPECT_TRUE(PixelIs(disk, 30, 38, Opaque(0xE5E5E5)));
    // The fullscreen frame is not filled: its inside stays transparent beside the wave.
    EXPECT_TRUE(PixelIs(VectorIcon::IconFullscreen(64), 12, 40, kTransparent));
    EXPECT_TRUE(PixelIs(VectorIcon::IconRefresh(64), 32, 32, kTransparent));
}

TEST_F(VectorIconTest, RecordedFiguresColoursAndWidthsMatchTheDrawings) {
    using Paint = RecordingCanvas::uPaint;
    auto same = [](const Paint& a, const Paint& b) {
        return a.fStroke == b.fStroke && a.uColour == b.uColour && std::abs(a.dWidth - b.dWidth) < 1e-9 &&
               a.iFigures == b.iFigures && a.iSegments == b.iSegments;
    };
    auto expectPaints = [&](const char* sName, const std::vector<Paint>& expected) {
        SCOPED_TRACE(sName);
        const RecordingCanvas canvas = Record(sName);
        ASSERT_EQ(canvas.mPaints.size(), expected.size());
        for (size_t i = 0; i < expected.size(); ++i) EXPECT_TRUE(same(canvas.mPaints[i], expected[i])) << i;
    };

    // New Window: window frame filled and outlined, title bar, badge, two bars of the plus.
    expectPaints("IconNewWindow", {{false, 0xFFFFFF, 0, 1, 8},
                                   {true, 0x6699FF, 1.33, 1, 8},
                                   {false, 0x6699FF, 0, 1, 4},
                                   {false, 0x33CC66, 0, 1, 4},
                                   {false, 0xFFFFFF, 0, 1, 4},
                                   {false, 0xFFFFFF, 0, 1, 4}});
    // Preferences: one fill of 32 teeth points and the four curves of the hole.
    expectPaints("IconPreferences", {{false, 0x6699FF, 0, 2, 36}});
    // Waveform: the signal, then the two axes over it.
    expectPaints("IconWaveform", {{true, 0x6699FF, 1.89, 1, 8}, {true, 0x7F7F7F, 1.33, 1, 1}, {true, 0x7F7F7F, 1.33, 1, 1}});

    // The generic picture: 25 figure groups, all filled, none outlined; the body is two figures.
    const RecordingCanvas generic = Record("PictureGeneric");
    EXPECT_EQ(generic.CountFills(), 25);
    EXPECT_EQ(generic.CountStrokes(), 0);
    EXPECT_EQ(generic.CountFilledFigures(), 26);
    std::map<uint32_t, int> colours;
    for (const auto& p : generic.mPaints) ++colours[p.uColour];
    EXPECT_EQ(colours, (std::map<uint32_t, int>{{0xB2B2B2, 4}, {0x999999, 1}, {0xCCCCCC, 20}}));
    EXPECT_EQ(generic.mPaints[3].iFigures, 2);
    const RecordingCanvas model2 = Record("PictureModel2");
    EXPECT_EQ(model2.CountFills(), 24);
    EXPECT_EQ(model2.CountStrokes(), 0);

    // The oscilloscope icon: its body is one fill of outline and opening; its one stroke is
    // the yellow trace.
    const RecordingCanvas select = Record("IconSelectInstrument");
    EXPECT_EQ(select.CountStrokes(), 1);
    EXPECT_EQ(select.mPaints[3].uColour, 0xFFFF00u);
    EXPECT_EQ(select.mPaints[4].uColour, 0x6699FFu);
    EXPECT_EQ(select.mPaints[4].iFigures, 2);

    // Every drawing: coordinates inside its design, only the stroke widths the drawings use
    // (the pictures' own sets are checked with each picture), and the path empty at its end.
    const std::set<double> widths = {0.29, 0.67, 0.76, 1, 1.33, 1.89, 2, 3, 4};
    for (const auto& d : VectorIcon::Drawings()) {
        SCOPED_TRACE(d.sName);
        RecordingCanvas canvas;
        d.pPaint(canvas);
        const double dSide = d.kind == VectorIcon::eKind::Icon ? 32 : d.kind == VectorIcon::eKind::About ? 380 : 128;
        EXPECT_TRUE(canvas.CoordinatesWithin(0, dSide));
        for (const auto& p : canvas.mPaints)
            if (p.fStroke) {
                EXPECT_TRUE(widths.count(p.dWidth)) << p.dWidth;
            }
        ASSERT_FALSE(canvas.mOperations.empty());
        EXPECT_EQ(canvas.mOperations.back().sName, "ResetPath");
        EXPECT_EQ(canvas.Count("Scale"), 0);  // the frame scales, never the figures
    }
}
