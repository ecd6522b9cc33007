// What the spectrum analyser, function generator, power supply and multimeter pictures and the
// About picture promise beyond the shared picture contract: the power supply's gradient-shaded
// guards and turned key ring, the segment-display readouts, the multimeter's window in its body,
// and the About picture's 24-bit image, panel gradient, painting order and golden image.
#include "icons/SegmentDisplay.h"
#include "icons/VectorCanvas.h"
#include "icons/VectorIcon.h"
#include "platform/OsVersion.h"

#include "DrawingLookup.h"
#include "Golden.h"
#include "PixelCheck.h"
#include "RecordingCanvas.h"

#include <QImage>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>
#include <string>
#include <vector>

namespace {

class InstrumentPicturesTest : public ::testing::Test {
  protected:
    void SetUp() override { OsVersion::SetWindows2000(false); }
    void TearDown() override { OsVersion::SetWindows2000(false); }
};

int Grey(const QImage& image, int x, int y) {
    return qGreen(image.pixel(x, y));
}

// The fills of one colour, in painting order.
std::vector<RecordingCanvas::uPaint> Fills(const RecordingCanvas& canvas, uint32_t uColour) {
    std::vector<RecordingCanvas::uPaint> fills;
    for (const auto& p : canvas.mPaints)
        if (!p.fStroke && p.uColour == uColour) fills.push_back(p);
    return fills;
}

} // namespace

TEST_F(InstrumentPicturesTest, MultimeterPixelsShowThroughTheWindowOfItsBody) {
    const QImage image = VectorIcon::PictureM3500A(128, 96);
    EXPECT_TRUE(PixelIs(image, 15, 50, Opaque(0x333333)));  // display, left of the reading
    EXPECT_TRUE(PixelIs(image, 100, 45, Opaque(0xE5E5E5)));  // jack panel above the jacks
    EXPECT_TRUE(PixelIs(image, 60, 36, Opaque(0xB2B2B2)));   // body above the window
    EXPECT_TRUE(PixelIs(image, 62, 79, Opaque(0x6699FF)));   // the blue key
    EXPECT_TRUE(PixelIs(image, 60, 20, kTransparent, 0));
    OsVersion::SetWindows2000(true);
    EXPECT_TRUE(PixelIs(VectorIcon::PictureM3500A(128, 96), 60, 20, Opaque(0xFFFFFF), 0));
}

TEST_F(InstrumentPicturesTest, ReadingsAreOneFillOfAllTheirBars) {
    // The multimeter's two lines: 57 and 45 bars, each line filled and outlined in one colour.
    const RecordingCanvas meter = Record("PictureM3500A");
    std::vector<int> lines;
    for (size_t i = 0; i + 1 < meter.mPaints.size(); ++i) {
        const auto& p = meter.mPaints[i];
        const auto& next = meter.mPaints[i + 1];
        if (!p.fStroke && p.uColour == 0xE5E5E5u && next.fStroke && next.uColour == 0xE5E5E5u) {
            EXPECT_EQ(next.dWidth, 0.29);
            lines.push_back(p.iFigures);
        }
    }
    EXPECT_EQ(lines, (std::vector<int>{57, 45}));
    // The power supply's nine readouts: 3.0 (five bars, the point, six bars), then eight 0.0.
    const auto readouts = Fills(Record("PictureDp800"), 0x33CC66);
    ASSERT_GE(readouts.size(), 9u);
    std::vector<int> bars;
    for (size_t i = readouts.size() - 9; i < readouts.size(); ++i) bars.push_back(readouts[i].iFigures);
    EXPECT_EQ(bars, (std::vector<int>{12, 13, 13, 13, 13, 13, 13, 13, 13}));
    // Bars per character as the reading's letters need them.
    const std::pair<char, int> counts[] = {{'0', 6}, {'3', 5}, {'V', 4}, {'D', 6}, {'C', 4}, {'R', 6},
                                           {'A', 6}, {'N', 5}, {'G', 6}, {'E', 5}, {'1', 3}};
    for (auto [ch, n] : counts) EXPECT_EQ(SegmentDisplay::BarCount(ch), n) << ch;
    EXPECT_EQ(SegmentDisplay::BarCount('?'), 0);
}

TEST_F(InstrumentPicturesTest, SegmentBarsArePointedHexagonsAndABarOfLengthZeroIsNone) {
    RecordingCanvas canvas;
    SegmentDisplay::AddBar(canvas, {10, 5}, {10, 5}, 0.4);
    EXPECT_TRUE(canvas.mOperations.empty());
    SegmentDisplay::AddBar(canvas, {0, 0}, {2, 0}, 0.4);
    ASSERT_EQ(canvas.mOperations.size(), 7u);  // move, five lines, back to the start
    EXPECT_EQ(canvas.mOperations[3].mArguments, (std::vector<double>{2, 0}));
    EXPECT_EQ(canvas.mOperations[6].mArguments, (std::vector<double>{0, 0}));
    double yMin = 0, yMax = 0;
    for (const auto& o : canvas.mOperations) {
        yMin = std::min(yMin, o.mArguments[1]);
        yMax = std::max(yMax, o.mArguments[1]);
    }
    EXPECT_NEAR(yMin, -0.2, 1e-12);
    EXPECT_NEAR(yMax, 0.2, 1e-12);
    // A bar shorter than its thickness keeps its two points from crossing.
    RecordingCanvas shortBar;
    SegmentDisplay::AddBar(shortBar, {0, 0}, {0.2, 0}, 0.4);
    ASSERT_EQ(shortBar.mOperations.size(), 7u);
    EXPECT_NEAR(shortBar.mOperations[1].mArguments[0], 0.1, 1e-12);
    EXPECT_NEAR(shortBar.mOperations[2].mArguments[0], 0.1, 1e-12);
    // The unknown character adds nothing; a leaning character's top lies right of its bottom.
    RecordingCanvas digits;
    const SegmentDisplay::uStyle style = {2, 4, 0.4, 0.2, 0.1, 0.05, 0.4, 0.4};
    EXPECT_FALSE(SegmentDisplay::AddCharacter(digits, '?', 0, 0, style));
    EXPECT_TRUE(digits.mOperations.empty());
    ASSERT_TRUE(SegmentDisplay::AddCharacter(digits, '0', 10, 20, style));
    double xMin = 1e9, xMax = -1e9;
    for (const auto& o : digits.mOperations) {
        xMin = std::min(xMin, o.mArguments[0]);
        xMax = std::max(xMax, o.mArguments[0]);
    }
    // Within the base width plus the lean, and filling it but for the gaps at the corners.
    EXPECT_GE(xMin, 10 - 1e-9);
    EXPECT_LT(xMin, 10.05);
    EXPECT_LE(xMax, 12.2 + 1e-9);
    EXPECT_GT(xMax, 12.15);
}

TEST_F(InstrumentPicturesTest, PowerSupplyGuardsAreShadedByTheirOwnGradients) {
    const RecordingCanvas canvas = Record("PictureDp800");
    // Four gradients of five stops each, filled and then outlined in a solid colour.
    int iGradients = 0;
    for (size_t i = 0; i < canvas.mOperations.size(); ++i) {
        if (canvas.mOperations[i].sName != "CircularGradient") continue;
        ++iGradients;
        ASSERT_LT(i + 9, canvas.mOperations.size());
        for (size_t k = 1; k <= 5; ++k) EXPECT_EQ(canvas.mOperations[i + k].sName, "GradientStop");
        EXPECT_EQ(canvas.mOperations[i + 6].sName, "Fill");
        EXPECT_EQ(canvas.mOperations[i + 7].sName, "SolidColour");
        EXPECT_EQ(canvas.mOperations[i + 8].sName, "Stroke");
    }
    EXPECT_EQ(iGradients, 4);
    const QImage image = VectorIcon::PictureDp800(256, 192);
    // Left guard: flat #7F7F7F round its focus (10.13, 24.99), darker towards its long arm's end.
    EXPECT_TRUE(PixelIs(image, 20, 50, Opaque(0x7F7F7F)));
    EXPECT_TRUE(PixelIs(image, 16, 56, Opaque(0x7F7F7F)));
    EXPECT_LT(Grey(image, 78, 34), 0x7F - 20);
    EXPECT_GE(Grey(image, 78, 34), 0x4C);
    // The two right guards mirror each other top to bottom within one level, though their stops
    // differ; the bottom one's #B2B2B2 at its focus never shows.
    int iMaxRight = 0;
    // The guards mirror about y 52.995, at this size pixel row y about 211 - y.
    for (auto [x, y] : {std::pair{200, 34}, {175, 34}, {240, 50}, {240, 66}, {245, 40}}) {
        const int yMirror = 211 - y;
        SCOPED_TRACE(std::to_string(x) + ", " + std::to_string(y));
        EXPECT_EQ(Alpha(image, x, y), 255);
        EXPECT_LE(std::abs(Grey(image, x, y) - Grey(image, x, yMirror)), 1);
        iMaxRight = std::max({iMaxRight, Grey(image, x, y), Grey(image, x, yMirror)});
    }
    EXPECT_LT(iMaxRight, 0x7F);
    // Mirror images on the left too, and in a square window icon each guard keeps its shading.
    EXPECT_LE(std::abs(Grey(image, 78, 34) - Grey(image, 78, 177)), 1);
    const QImage icon = VectorIcon::PictureDp800(64, 64);
    EXPECT_LE(std::abs(Grey(icon, 3, 13) - Grey(icon, 3, 57)), 3);
}

TEST_F(InstrumentPicturesTest, PowerSupplyKeyRingTurnsByElevenths) {
    const RecordingCanvas canvas = Record("PictureDp800");
    // The ring's segments are the fills of #7F7F7F with four corners right after the arrow keys.
    std::vector<std::vector<double>> starts;
    for (size_t i = 0; i + 1 < canvas.mOperations.size(); ++i)
        if (canvas.mOperations[i].sName == "MoveTo") starts.push_back(canvas.mOperations[i].mArguments);
    auto has = [&](double x, double y) {
        return std::any_of(starts.begin(), starts.end(), [&](const std::vector<double>& p) {
            return std::abs(p[0] - x) < 0.07 && std::abs(p[1] - y) < 0.07;
        });
    };
    EXPECT_TRUE(has(93.97, 35.99));    // the first segment, straight above the centre
    EXPECT_TRUE(has(87.96, 39.51));    // the second, up and to the left
    EXPECT_TRUE(has(100.99, 36.29));   // the last
    EXPECT_TRUE(has(96.97, 43.99));    // the first grip line
    EXPECT_TRUE(has(94.81, 44.62));    // the second
}

TEST_F(InstrumentPicturesTest, AboutPictureIsA24BitImageAtTheSizesAskedFor) {
    for (auto [w, h] : {std::pair{380, 100}, {420, 110}, {200, 200}, {57, 13}}) {
        SCOPED_TRACE(std::to_string(w) + " x " + std::to_string(h));
        const QImage image = VectorIcon::PictureAbout(w, h);
        ASSERT_FALSE(image.isNull());
        EXPECT_EQ(image.size(), QSize(w, h));
        EXPECT_EQ(image.format(), QImage::Format_RGB888);
        EXPECT_EQ(image.depth(), 24);
        EXPECT_EQ(VectorIcon::PictureAbout(w, h), image);
        EXPECT_EQ(VectorIcon::Draw(Find("PictureAbout"), w, h), image);
    }
    EXPECT_TRUE(VectorIcon::PictureAbout(0, 110).isNull());
    EXPECT_TRUE(VectorIcon::PictureAbout(420, -1).isNull());
    // Windows 2000 changes nothing: the panel covers the whole image.
    const QImage plain = VectorIcon::PictureAbout(420, 110);
    OsVersion::SetWindows2000(true);
    EXPECT_EQ(VectorIcon::PictureAbout(420, 110), plain);
}

// The panel ends at 379.88 x 99.97 of the 380 x 100 design, so the last column and row are only
// partly covered and the image's start colour shows through them: it must be white, never what
// the memory held. The same figures painted over white and over black tell the two apart.
TEST_F(InstrumentPicturesTest, AboutPictureStartsWhiteSoItsLastRowAndColumnAreDefined) {
    const VectorIcon::uDrawing& about = Find("PictureAbout");
    for (auto [w, h] : {std::pair{380, 100}, {420, 110}, {57, 13}}) {
        SCOPED_TRACE(std::to_string(w) + " x " + std::to_string(h));
        const QImage start = VectorIcon::BeginDrawing(w, h, 24, -1);
        ASSERT_FALSE(start.isNull());
        for (int x = 0; x < w; ++x) ASSERT_EQ(start.pixel(x, h - 1), 0xFFFFFFFFu) << x;
        for (int y = 0; y < h; ++y) ASSERT_EQ(start.pixel(w - 1, y), 0xFFFFFFFFu) << y;

        auto paintedOver = [&](Qt::GlobalColor background) {
            QImage image(w, h, QImage::Format_RGB32);
            image.fill(background);
            {
                VectorCanvas::PainterCanvas canvas(image);
                canvas.Scale(w / 380.0, h / 100.0);
                about.pPaint(canvas);
            }
            return image.convertToFormat(QImage::Format_RGB888);
        };
        const QImage image = VectorIcon::PictureAbout(w, h), overWhite = paintedOver(Qt::white),
                     overBlack = paintedOver(Qt::black);
        int iShowing = 0; // edge pixels where the start colour shows through
        auto probe = [&](int x, int y) {
            EXPECT_EQ(image.pixel(x, y), overWhite.pixel(x, y)) << x << ", " << y;
            if (overWhite.pixel(x, y) != overBlack.pixel(x, y)) ++iShowing;
        };
        for (int x = 0; x < w; ++x) probe(x, h - 1);
        for (int y = 0; y < h - 1; ++y) probe(w - 1, y);
        EXPECT_GT(iShowing, 0);
    }
}

TEST_F(InstrumentPicturesTest, AboutPanelColourDependsOnXAlone) {
    const QImage image = VectorIcon::PictureAbout(380, 100);
    // Where nothing lies on the panel, its colour is #FFFFCC at x 0 blending to #CCCCCC at
    // 379.88: red and green fall together, blue stays.
    for (auto [x, y] : {std::pair{205, 80}, {205, 95}, {240, 10}, {240, 60}, {339, 40}, {339, 93}}) {
        SCOPED_TRACE(std::to_string(x) + ", " + std::to_string(y));
        const double t = (x + 0.5) / 379.88;
        const int c = static_cast<int>(std::lround(255 - 51 * t));
        const QRgb p = image.pixel(x, y);
        EXPECT_NEAR(qRed(p), c, 1);
        EXPECT_NEAR(qGreen(p), c, 1);
        EXPECT_NEAR(qBlue(p), 204, 1);
    }
    EXPECT_EQ(image.pixel(205, 80), image.pixel(205, 95));
    EXPECT_EQ(image.pixel(240, 10), image.pixel(240, 60));
    const RecordingCanvas canvas = Record("PictureAbout");
    ASSERT_GE(canvas.mOperations.size(), 5u);
    EXPECT_EQ(canvas.mOperations[1].sName, "LinearGradient");
    EXPECT_EQ(canvas.Count("LinearGradient"), 1);
    EXPECT_EQ(canvas.Count("CircularGradient"), 1);
}

TEST_F(InstrumentPicturesTest, AboutFiguresPaletteWidthsAndOrder) {
    const RecordingCanvas canvas = Record("PictureAbout");
    EXPECT_EQ(canvas.CountPaintedFigures(), 71);
    std::set<uint32_t> colours;
    std::set<double> widths;
    for (const auto& p : canvas.mPaints) {
        colours.insert(p.uColour);
        if (p.fStroke) widths.insert(p.dWidth);
    }
    EXPECT_EQ(colours, (std::set<uint32_t>{0xFFFFFFFF, 0x000000, 0x666633, 0x333300, 0x999933, 0x999966, 0x999999,
                                           0xB2B2B2, 0xE5E5E5, 0xFFFFFF, 0x666666, 0x4C4C4C, 0xCC3300, 0x990000,
                                           0x7F7F7F, 0x333333}));
    EXPECT_EQ(widths, (std::set<double>{0.29, 1, 2, 3, 4}));
    EXPECT_TRUE(canvas.CoordinatesWithin(0, 380));
    EXPECT_EQ(canvas.mOperations.back().sName, "ResetPath");
    // The needle comes after all three scale arcs; the lettering is 13 and 11 contours.
    auto index = [&](uint32_t uColour, double dWidth) {
        for (size_t i = 0; i < canvas.mPaints.size(); ++i)
            if (canvas.mPaints[i].fStroke && canvas.mPaints[i].uColour == uColour && canvas.mPaints[i].dWidth == dWidth)
                return static_cast<int>(i);
        return -1;
    };
    const int iNeedle = index(0x990000, 1), iThin = index(0xCC3300, 1), iBroad = index(0xB2B2B2, 4),
              iOuter = index(0x666666, 2);
    ASSERT_GE(iThin, 0);
    ASSERT_GE(iBroad, 0);
    ASSERT_GE(iOuter, 0);
    EXPECT_GT(iNeedle, std::max({iThin, iBroad, iOuter}));
    EXPECT_EQ(canvas.mPaints[iOuter].iFigures, 2);  // cut by the top edge into two pieces
    const auto black = Fills(canvas, 0x000000), red = Fills(canvas, 0x990000);
    ASSERT_FALSE(red.empty());
    EXPECT_EQ(red.back().iFigures, 11);  // DECIBELS
    std::vector<int> blackFigures;
    for (const auto& p : black) blackFigures.push_back(p.iFigures);
    EXPECT_EQ(blackFigures, (std::vector<int>{18, 13}));  // dial numbers, R.M.S. VOLTS
}

TEST_F(InstrumentPicturesTest, AboutPictureMatchesItsGoldenImage) {
    ExpectGolden(VectorIcon::PictureAbout(380, 100), "PictureAbout");
}
