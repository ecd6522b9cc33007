// The instrument pictures: each at the sizes its callers ask for, the bands it leaves empty,
// what a recording canvas sees of its figures, colours and widths, the painting order where it
// shows, golden images, and the hand-drawn glyphs of its lettering.
#include "icons/Glyphs.h"
#include "icons/VectorIcon.h"
#include "platform/OsVersion.h"

#include "DrawingLookup.h"
#include "Golden.h"
#include "PixelCheck.h"
#include "RecordingCanvas.h"

#include <QDir>
#include <QImage>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

namespace {

struct uScope {
    const char* sName;
    double yTop, yBottom;  // painted extent, outlines included: above and below it nothing is
    int iFigures;          // 0 where the drawing's description gives no count
    std::set<uint32_t> mPalette;
    std::set<double> mWidths;
    int iGradients = 0;  // circular gradients; the palette holds 0xFFFFFFFF for their fills
};

const std::vector<uScope>& Scopes() {
    static const std::vector<uScope> scopes = {
        {"PictureDs1000Z", 31.47, 93.96, 0,
         {0xE5E5E5, 0x999999, 0xCCCCCC, 0xB2B2B2, 0x7F7F7F, 0x6699FF, 0x99FFFF, 0xFFFFFF, 0x333333, 0x000000, 0xFFFF66,
          0xFFFF00, 0x00CCFF, 0xFF00FF, 0x003399, 0x33CC33, 0x00FF00, 0x666666},
         {0.29, 1, 2}},
        {"PictureDs2000", 31.47, 93.96, 0,
         {0xE5E5E5, 0x999999, 0xCCCCCC, 0xB2B2B2, 0x7F7F7F, 0x6699FF, 0x99FFFF, 0xFFFFFF, 0x333333, 0x000000, 0xFFFF66,
          0xFFFF00, 0x00CCFF, 0xFF6633, 0x9999FF, 0x33CC33, 0x009933, 0x4C4C4C, 0x666666},
         {0.29, 1, 2}},
        {"PictureMso5000", 25.32, 91.97, 120,
         {0x666666, 0x999999, 0x7F7F7F, 0x333333, 0x191919, 0x4C4C4C, 0xCCCCCC, 0xE5E5E5, 0xB2B2B2, 0xFFFF66, 0xFFFF00,
          0x00FFFF, 0xFF99CC, 0x6699FF, 0xFF0000, 0xCC3366, 0x00CCFF, 0x000000},
         {0.29, 0.67, 1, 1.33}},
        {"PictureSds2000XPlus", 13.66, 92.49, 97,
         {0xE5E5E5, 0xB2B2B2, 0xCCCCCC, 0x191919, 0x000000, 0x333333, 0x666666, 0x4C4C4C, 0xFFFF66, 0xA3A3D4, 0x7F7F7F,
          0xFFFFFF, 0xCCCCFF, 0x6666FF, 0x66FFCC, 0x999999, 0xFFCC00, 0x336699, 0xFFFF00, 0xFF00FF, 0x00CCFF, 0x99FF99,
          0x99CC66, 0x00FFFF, 0xFF99CC},
         {0.29, 0.67, 0.76, 1, 1.33}},
        {"PictureRtb2000", 20.53, 93.42, 81,
         {0xE5E5E5, 0x999999, 0x333333, 0x7F7F7F, 0x666666, 0x336699, 0x4C4C4C, 0xCCCCCC, 0xFFFF66, 0xFFCC00, 0xFFFF99,
          0x33CC99, 0xFF0066, 0x33CC66, 0x009933, 0xB2B2B2, 0x6699FF, 0xFFFF00},
         {1}},
        {"PictureHm2008", 37.65, 92.31, 82,
         {0xE5E5E5, 0xB2B2B2, 0xCCCCCC, 0x00AED9, 0x99FFFF, 0x6699FF, 0x33CC66, 0xFFFFFF, 0x7F7F7F, 0x336699, 0xCC3300,
          0xFFCC00, 0x999999, 0x333333},
         {0.29, 0.67, 1}},
        {"PictureDsa800", 31.48, 93.96, 88,
         {0xE5E5E5, 0x999999, 0xB2B2B2, 0xCCCCCC, 0x333333, 0xFFFF00, 0xFFFF66, 0x33CC33, 0x009933, 0x666666, 0x7F7F7F,
          0x99CCCC, 0xFFFFFF},
         {1}},
        {"PictureDg4000", 31.47, 93.96, 110,
         {0xE5E5E5, 0x999999, 0xCCCCCC, 0xB2B2B2, 0x7F7F7F, 0x666666, 0xFFFFFF, 0x6699FF, 0x4C4C4C, 0x333333, 0x000000,
          0xFFFF00, 0xFFFF66, 0x99FFFF, 0x00CCFF, 0x00FF00, 0x669933, 0x33CC33, 0x009933},
         {0.29, 0.67, 1, 1.33}},
        {"PictureDp800", 12.67, 93.33, 92,
         {0xE5E5E5, 0xB2B2B2, 0x7F7F7F, 0x4C4C4C, 0x333333, 0x33CC66, 0xFFFF66, 0xCCCCCC, 0x999999, 0xFFFFFF, 0x339966,
          0xFF0000, 0xFFFFFFFF},
         {0.29, 0.67, 1.33},
         4},
        {"PictureM3500A", 33.32, 90.97, 71,
         {0xB2B2B2, 0x999999, 0x7F7F7F, 0x333333, 0x000000, 0xE5E5E5, 0xFFFFFF, 0x6699FF, 0xCCCCCC, 0xFF0000, 0x666666,
          0x4C4C4C},
         {0.29, 0.67, 1.33}},
    };
    return scopes;
}

// Index of the first paint (fill or stroke) in one colour, -1 when there is none.
int FirstPaint(const RecordingCanvas& canvas, uint32_t uColour, bool fStroke) {
    for (size_t i = 0; i < canvas.mPaints.size(); ++i)
        if (canvas.mPaints[i].uColour == uColour && canvas.mPaints[i].fStroke == fStroke) return static_cast<int>(i);
    return -1;
}

class ScopePicturesTest : public ::testing::Test {
  protected:
    void SetUp() override { OsVersion::SetWindows2000(false); }
    void TearDown() override { OsVersion::SetWindows2000(false); }
};

} // namespace

TEST_F(ScopePicturesTest, EverySizeIsPaintedRepeatablyAndLeavesItsEmptyBandsTransparent) {
    const std::pair<int, int> sizes[] = {{128, 96}, {256, 192}, {32, 32}, {48, 48}, {37, 91}};
    for (const uScope& scope : Scopes()) {
        const auto& drawing = Find(scope.sName);
        for (auto [w, h] : sizes) {
            SCOPED_TRACE(std::string(scope.sName) + " at " + std::to_string(w) + " x " + std::to_string(h));
            const QImage image = VectorIcon::Draw(drawing, w, h);
            ASSERT_FALSE(image.isNull());
            EXPECT_EQ(image.size(), QSize(w, h));
            EXPECT_EQ(image.format(), QImage::Format_ARGB32);
            int iOpaque = 0;
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) iOpaque += Alpha(image, x, y) == 255;
            EXPECT_GT(iOpaque, w * h / 3);
            EXPECT_EQ(VectorIcon::Draw(drawing, w, h), image);
            // Rows a pixel clear of the painted extent stay as the image started.
            const double sy = h / 96.0;
            int iRowsChecked = 0;
            for (int y = 0; y < h; ++y) {
                const bool fAbove = y + 1 <= scope.yTop * sy - 1;
                const bool fBelow = y >= scope.yBottom * sy + 1;
                if (!fAbove && !fBelow) continue;
                ++iRowsChecked;
                for (int x = 0; x < w; ++x) ASSERT_EQ(Alpha(image, x, y), 0) << "row " << y << " column " << x;
            }
            if (h >= 96) {
                EXPECT_GT(iRowsChecked, 0);
            }
        }
        EXPECT_TRUE(VectorIcon::Draw(drawing, 0, 96).isNull());
        EXPECT_TRUE(VectorIcon::Draw(drawing, 128, -1).isNull());
    }
}

TEST_F(ScopePicturesTest, OnWindows2000TheWidePicturesStartWhite) {
    OsVersion::SetWindows2000(true);
    for (const uScope& scope : Scopes()) {
        SCOPED_TRACE(scope.sName);
        EXPECT_TRUE(PixelIs(VectorIcon::Draw(Find(scope.sName), 128, 96), 64, 2, Opaque(0xFFFFFF), 0));
        EXPECT_TRUE(PixelIs(VectorIcon::Draw(Find(scope.sName), 127, 96), 64, 2, kTransparent, 0));
    }
}

TEST_F(ScopePicturesTest, RecordedFiguresColoursAndWidthsAreTheDrawingsOwn) {
    for (const uScope& scope : Scopes()) {
        SCOPED_TRACE(scope.sName);
        const RecordingCanvas canvas = Record(scope.sName);
        if (scope.iFigures > 0) {
            EXPECT_EQ(canvas.CountPaintedFigures(), scope.iFigures);
        }
        std::set<uint32_t> colours;
        std::set<double> widths;
        for (const auto& p : canvas.mPaints) {
            colours.insert(p.uColour);
            if (p.fStroke) widths.insert(p.dWidth);
        }
        EXPECT_EQ(colours, scope.mPalette);
        EXPECT_EQ(widths, scope.mWidths);
        EXPECT_TRUE(canvas.CoordinatesWithin(0, 128));
        EXPECT_EQ(canvas.Count("Scale"), 0);
        EXPECT_EQ(canvas.Count("CircularGradient"), scope.iGradients);
        EXPECT_EQ(canvas.Count("LinearGradient"), 0);
        // Every paint form ends with an empty path: no figure is painted twice by accident.
        EXPECT_EQ(canvas.mOperations.back().sName, "ResetPath");
    }
}

TEST_F(ScopePicturesTest, PaintingOrderShowsWhereTheDrawingsSayItDoes) {
    // The four-channel scope's trace lies on its screen.
    const RecordingCanvas ds1000z = Record("PictureDs1000Z");
    const int iScreen = FirstPaint(ds1000z, 0x333333, false);
    const int iTrace = FirstPaint(ds1000z, 0xFFFF66, true);
    ASSERT_GE(iScreen, 0);
    EXPECT_GT(iTrace, iScreen);
    // The two-channel scope paints its front panel outline last: one polygon of 14 corners.
    const RecordingCanvas ds2000 = Record("PictureDs2000");
    const auto& last = ds2000.mPaints.back();
    EXPECT_TRUE(last.fStroke);
    EXPECT_EQ(last.uColour, 0xB2B2B2u);
    EXPECT_EQ(last.dWidth, 1.0);
    EXPECT_EQ(last.iFigures, 1);
    EXPECT_EQ(last.iSegments, 14);
    // The maker's name is one fill of five letters and the counter of the A.
    const RecordingCanvas hm2008 = Record("PictureHm2008");
    const int iLettering = FirstPaint(hm2008, 0x333333, false);
    ASSERT_GE(iLettering, 0);
    EXPECT_EQ(hm2008.mPaints[iLettering].iFigures, 6);
    // The leader lines come after the bezel and the screen, the trace last.
    const size_t n = hm2008.mPaints.size();
    ASSERT_GE(n, 2u);
    EXPECT_EQ(hm2008.mPaints[n - 2].uColour, 0xB2B2B2u);
    EXPECT_EQ(hm2008.mPaints[n - 2].dWidth, 0.67);
    EXPECT_GT(static_cast<int>(n) - 2, FirstPaint(hm2008, 0x00AED9, false));
    EXPECT_EQ(hm2008.mPaints.back().uColour, 0x99FFFFu);
}

TEST_F(ScopePicturesTest, PixelsWhereTheDrawingsPromiseThem) {
    struct uProbe {
        const char* sName;
        int x, y;
        uint32_t uArgb;
        int iScale = 1;
    };
    const uProbe probes[] = {
        // The seam of the two-channel scope ends in a stub that turns back at (71.02, 84): the
        // body shows beyond it, along the stub's direction, between the front panel outline
        // and the middle outline (at four times the size, where the lines leave room).
        {"PictureDs2000", 277, 343, Opaque(0xE5E5E5), 4},
        {"PictureDs2000", 275, 344, Opaque(0xE5E5E5), 4},
        {"PictureDs2000", 286, 333, Opaque(0xB2B2B2), 4},  // the stub itself
        {"PictureDs1000Z", 40, 50, Opaque(0x333333)},    // screen between the waves
        {"PictureDs1000Z", 108, 69, Opaque(0xE5E5E5)},   // inner disc of a large knob
        {"PictureMso5000", 30, 50, Opaque(0x333333)},    // display
        {"PictureMso5000", 50, 5, kTransparent},         // above the body
        {"PictureSds2000XPlus", 20, 40, Opaque(0x191919)},
        {"PictureSds2000XPlus", 40, 80, Opaque(0xE5E5E5)},  // core of an input
        {"PictureRtb2000", 92, 50, Opaque(0x336699)},       // blue part of the panel
        {"PictureRtb2000", 112, 44, Opaque(0x4C4C4C)},      // dark part
        {"PictureRtb2000", 2, 24, kTransparent},            // cut corner
        {"PictureHm2008", 15, 70, Opaque(0x00AED9)},        // screen
        {"PictureHm2008", 64, 43, Opaque(0xCC3300)},        // power button
    };
    for (const uProbe& p : probes) {
        SCOPED_TRACE(std::string(p.sName) + " at (" + std::to_string(p.x) + ", " + std::to_string(p.y) + ")");
        EXPECT_TRUE(PixelIs(VectorIcon::Draw(Find(p.sName), 128 * p.iScale, 96 * p.iScale), p.x, p.y, p.uArgb, 3));
    }
}

TEST_F(ScopePicturesTest, PicturesMatchTheirGoldenImages) {
    for (const uScope& scope : Scopes()) {
        SCOPED_TRACE(scope.sName);
        ExpectGolden(VectorIcon::Draw(Find(scope.sName), 128, 96), scope.sName);
    }
}

TEST(GlyphsTest, OutlinesRunClockwiseCountersTheOtherWayAndStayInTheirBox) {
    // Signed area on screen (y down): positive for a clockwise run, curves by their polygon.
    auto area = [](const Glyphs::uContour& contour) {
        std::vector<std::pair<double, double>> points;
        for (const auto& s : contour.mSteps) {
            if (s.cOp == 'C') points.push_back({s.v[4], s.v[5]});
            else points.push_back({s.v[0], s.v[1]});
        }
        double a = 0;
        for (size_t i = 0; i + 1 < points.size(); ++i)
            a += points[i].first * points[i + 1].second - points[i + 1].first * points[i].second;
        return a / 2;
    };
    for (char ch : std::string("HAMEG0123456789.RSVOLTDCIB")) {
        SCOPED_TRACE(std::string(1, ch));
        const auto& contours = Glyphs::Contours(ch);
        ASSERT_FALSE(contours.empty());
        for (const auto& contour : contours) {
            ASSERT_GE(contour.mSteps.size(), 3u);
            EXPECT_EQ(contour.mSteps.front().cOp, 'M');
            const auto& first = contour.mSteps.front();
            const auto& end = contour.mSteps.back();
            const double xEnd = end.cOp == 'C' ? end.v[4] : end.v[0], yEnd = end.cOp == 'C' ? end.v[5] : end.v[1];
            EXPECT_NEAR(xEnd, first.v[0], 1e-9);  // each contour ends on its start point
            EXPECT_NEAR(yEnd, first.v[1], 1e-9);
            if (contour.fCounter) {
                EXPECT_LT(area(contour), 0);
            } else {
                EXPECT_GT(area(contour), 0);
            }
            // Points on the outline within a small overshoot, control points a little further.
            for (const auto& s : contour.mSteps)
                for (int i = 0; i < (s.cOp == 'C' ? 6 : 2); ++i) {
                    const double dSlack = s.cOp == 'C' && i < 4 ? 0.1 : 0.03;
                    EXPECT_GE(s.v[i], -dSlack);
                    EXPECT_LE(s.v[i], 1 + dSlack);
                }
        }
    }
    EXPECT_TRUE(Glyphs::Contours('?').empty());
    RecordingCanvas canvas;
    EXPECT_FALSE(Glyphs::Add(canvas, '?', Glyphs::InBox(0, 0, 1, 1)));
    EXPECT_TRUE(canvas.mOperations.empty());
}

TEST(GlyphsTest, PlacementStretchesAndSlantsTheUnitBox) {
    RecordingCanvas canvas;
    ASSERT_TRUE(Glyphs::Add(canvas, 'H', Glyphs::InBox(7.3, 87.06, 9.75, 89.97)));
    ASSERT_EQ(canvas.mOperations.front().sName, "MoveTo");
    EXPECT_DOUBLE_EQ(canvas.mOperations.front().mArguments[0], 7.3);
    EXPECT_DOUBLE_EQ(canvas.mOperations.front().mArguments[1], 87.06);
    double xMax = 0, yMax = 0;
    for (const auto& o : canvas.mOperations) {
        xMax = std::max(xMax, o.mArguments[0]);
        yMax = std::max(yMax, o.mArguments[1]);
    }
    EXPECT_NEAR(xMax, 9.75, 1e-9);
    EXPECT_NEAR(yMax, 89.97, 1e-9);
    // A slanted placement moves the cap line right by the slant.
    RecordingCanvas slanted;
    Glyphs::Add(slanted, 'H', Glyphs::uPlacement{QPointF(10, 10), QPointF(2, 0), QPointF(0.5, 3)});
    EXPECT_DOUBLE_EQ(slanted.mOperations[1].mArguments[0], 10 + 0.29 * 2);
    EXPECT_DOUBLE_EQ(slanted.mOperations[2].mArguments[0], 10 + 0.29 * 2 + 0.41 * 0.5);
}
