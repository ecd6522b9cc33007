// The drawing frame's painting operations, checked on real pixels: fill rule, kept and cleared
// paths, flat ends and mitred joins with their limit, gradients and their stops, scaling.
#include "icons/VectorCanvas.h"
#include "icons/VectorIcon.h"

#include "PixelCheck.h"
#include "RecordingCanvas.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

using namespace VectorCanvas;

namespace {

constexpr uint32_t kRed = 0xFF0000;
constexpr uint32_t kBlue = 0x0000FF;
constexpr uint32_t kGreen = 0x00FF00;

// Paints onto a transparent 32-bit image of the given size, design units = pixels unless the
// painter scales.
QImage Paint(int iWidth, int iHeight, const std::function<void(Canvas&)>& paint) {
    QImage image = VectorIcon::BeginDrawing(iWidth, iHeight, 32, -1);
    {
        PainterCanvas canvas(image);
        EXPECT_TRUE(canvas.IsActive());
        paint(canvas);
    }
    return image.convertToFormat(QImage::Format_ARGB32);
}

// The colour a blend of a and b at fraction t gives, channel by channel.
uint32_t Blend(uint32_t a, uint32_t b, double t) {
    uint32_t result = 0;
    for (int shift : {16, 8, 0}) {
        const double ca = (a >> shift) & 0xFF;
        const double cb = (b >> shift) & 0xFF;
        result |= static_cast<uint32_t>(std::lround(ca + (cb - ca) * t)) << shift;
    }
    return result;
}

} // namespace

TEST(VectorCanvasTest, EvenOddFillLeavesHolesAndClosesOpenFigures) {
    const QImage ring = Paint(64, 64, [](Canvas& c) {
        c.AddEllipse(32, 32, 28, 28);
        c.AddEllipse(32, 32, 14, 14);
        Filled(c, kRed);
    });
    EXPECT_TRUE(PixelIs(ring, 32, 32, kTransparent));
    EXPECT_TRUE(PixelIs(ring, 32, 10, Opaque(kRed)));
    EXPECT_TRUE(PixelIs(ring, 0, 0, kTransparent));

    // Two figures running the same way round: a non-zero fill would paint the inner one too.
    const QImage window = Paint(64, 64, [](Canvas& c) {
        Polygon(c, {{4, 4}, {60, 4}, {60, 60}, {4, 60}});
        Polygon(c, {{20, 20}, {44, 20}, {44, 44}, {20, 44}});
        Filled(c, kBlue);
    });
    EXPECT_TRUE(PixelIs(window, 32, 32, kTransparent));
    EXPECT_TRUE(PixelIs(window, 10, 32, Opaque(kBlue)));

    // An open figure is filled as though closed back to its start.
    const QImage triangle = Paint(64, 64, [](Canvas& c) {
        c.MoveTo(10, 10);
        c.LineTo(50, 10);
        c.LineTo(10, 50);
        Filled(c, kGreen);
    });
    EXPECT_TRUE(PixelIs(triangle, 15, 15, Opaque(kGreen)));
    EXPECT_TRUE(PixelIs(triangle, 45, 45, kTransparent));
}

TEST(VectorCanvasTest, FillKeepsThePathAndStrokeClearsIt) {
    const QImage image = Paint(64, 64, [](Canvas& c) {
        c.AddBox(10, 10, 40, 40);
        c.SolidColour(kRed);
        c.Fill();
        c.SolidColour(kBlue);
        c.Stroke(4);  // outlines exactly the box that was filled
        c.SolidColour(kGreen);
        c.Fill();  // the path is empty now: nothing
        c.Stroke(4);
    });
    EXPECT_TRUE(PixelIs(image, 30, 30, Opaque(kRed)));
    EXPECT_TRUE(PixelIs(image, 10, 30, Opaque(kBlue)));
    EXPECT_TRUE(PixelIs(image, 30, 49, Opaque(kBlue)));
    EXPECT_TRUE(PixelIs(image, 5, 5, kTransparent));

    // After a reset the current point is (0, 0): a line starts a figure there.
    const QImage fromOrigin = Paint(64, 64, [](Canvas& c) {
        c.MoveTo(50, 50);
        c.LineTo(60, 60);
        c.ResetPath();
        c.LineTo(40, 0);
        c.LineTo(40, 40);
        Filled(c, kRed);
    });
    EXPECT_TRUE(PixelIs(fromOrigin, 35, 5, Opaque(kRed)));
    EXPECT_TRUE(PixelIs(fromOrigin, 5, 35, kTransparent));
    EXPECT_TRUE(PixelIs(fromOrigin, 55, 52, kTransparent));
}

TEST(VectorCanvasTest, ClosedFiguresAreMitredAndOpenOnesKeepFlatEndsEvenWhenTheyEndOnTheirStart) {
    // A box is closed: all four corners get a mitre, the top-left one included.
    const QImage box = Paint(100, 100, [](Canvas& c) {
        c.AddBox(20, 20, 60, 60);
        Outlined(c, kRed, 10);
    });
    for (auto [x, y] : {std::pair{16, 16}, {83, 16}, {83, 83}, {16, 83}})
        EXPECT_TRUE(PixelIs(box, x, y, Opaque(kRed))) << x << ", " << y;

    // The same square as a polygon returning to its start but left open: no join at (20, 20),
    // the two flat ends leave the outer corner empty; the other corners stay mitred.
    const QImage open = Paint(100, 100, [](Canvas& c) {
        Polygon(c, {{20, 20}, {80, 20}, {80, 80}, {20, 80}});
        Outlined(c, kRed, 10);
    });
    EXPECT_TRUE(PixelIs(open, 16, 16, kTransparent));
    EXPECT_TRUE(PixelIs(open, 83, 16, Opaque(kRed)));
    EXPECT_TRUE(PixelIs(open, 16, 83, Opaque(kRed)));
    EXPECT_TRUE(PixelIs(open, 16, 40, Opaque(kRed)));
    EXPECT_TRUE(PixelIs(open, 40, 16, Opaque(kRed)));

    // Flat ends: a line does not reach past its end points.
    const QImage line = Paint(100, 40, [](Canvas& c) {
        Line(c, 20, 20, 80, 20);
        Outlined(c, kBlue, 10);
    });
    EXPECT_TRUE(PixelIs(line, 20, 20, Opaque(kBlue)));
    EXPECT_TRUE(PixelIs(line, 18, 20, kTransparent));
    EXPECT_TRUE(PixelIs(line, 81, 20, kTransparent));
}

TEST(VectorCanvasTest, JoinsAreMitredUpToTenStrokeWidthsAndBevelledBeyond) {
    // A V with its apex at (100, 120), width 10: the miter length is width / sin(angle / 2).
    auto vee = [](double dRatio) {
        const double half = std::asin(1.0 / dRatio);
        return Paint(200, 200, [half](Canvas& c) {
            Polyline(c, {{100 - 150 * std::sin(half), 120 + 150 * std::cos(half)},
                         {100, 120},
                         {100 + 150 * std::sin(half), 120 + 150 * std::cos(half)}});
            Outlined(c, kRed, 10);
        });
    };
    // The mitre tip lies 5 * ratio above the apex; 15 units above it the spike is 3 wide.
    const QImage within = vee(9.5);
    EXPECT_GT(Alpha(within, 99, 105) + Alpha(within, 100, 105), 300);
    const QImage beyond = vee(10.5);
    EXPECT_EQ(Alpha(beyond, 99, 105) + Alpha(beyond, 100, 105), 0);
    EXPECT_GT(Alpha(beyond, 99, 121), 0);  // the legs themselves
}

TEST(VectorCanvasTest, ScaledStrokesAreThinAndAntialiased) {
    // At 16 pixels an icon's 1.33 stroke is 0.665 pixels wide.
    const QImage image = Paint(16, 16, [](Canvas& c) {
        c.Scale(0.5, 0.5);
        Line(c, 0, 21, 32, 21);
        Outlined(c, 0x000000, 1.33);
    });
    EXPECT_NEAR(Alpha(image, 8, 10), 0.665 * 255, 8);
    EXPECT_EQ(Alpha(image, 8, 9), 0);
    EXPECT_EQ(Alpha(image, 8, 11), 0);

    // Scaled differently across and down, strokes are thicker across horizontal edges.
    const QImage stretched = Paint(40, 80, [](Canvas& c) {
        c.Scale(1, 2);
        c.AddBox(10, 10, 20, 20);
        Outlined(c, 0x000000, 4);
    });
    EXPECT_TRUE(PixelIs(stretched, 20, 17, Opaque(0)));  // top edge: 16 to 24 pixels
    EXPECT_TRUE(PixelIs(stretched, 20, 23, Opaque(0)));
    EXPECT_TRUE(PixelIs(stretched, 7, 40, kTransparent));  // left edge: 8 to 12 pixels
    EXPECT_TRUE(PixelIs(stretched, 9, 40, Opaque(0)));
}

TEST(VectorCanvasTest, CircularGradientBlendsFromItsFocusToItsCircle) {
    // The gradient (23.97, 24.99, 24.16, -13.84, 0): focus at (10.13, 24.99).
    const double cx = 23.97, cy = 24.99, r = 24.16, fx = cx - 13.84, fy = cy;
    const QImage image = Paint(64, 64, [&](Canvas& c) {
        c.AddEllipse(cx, cy, r, r);
        c.CircularGradient(cx, cy, r, -13.84, 0);
        c.GradientStop(kRed, 0);
        c.GradientStop(kBlue, 1);
        c.Fill();
    });
    // Expected colour at a point: t = |P - F| / |Q - F|, Q where the ray from F through P meets
    // the circle.
    auto expected = [&](double px, double py) {
        const double dx = px - fx, dy = py - fy;
        const double dist = std::hypot(dx, dy);
        if (dist == 0) return kRed;
        const double ux = dx / dist, uy = dy / dist;
        const double b = ux * (fx - cx) + uy * (fy - cy);
        const double cc = (fx - cx) * (fx - cx) + (fy - cy) * (fy - cy) - r * r;
        const double s = -b + std::sqrt(b * b - cc);
        return Blend(kRed, kBlue, dist / s);
    };
    int iChecked = 0;
    for (int y = 6; y < 44; y += 3)
        for (int x = 4; x < 44; x += 3) {
            const double px = x + 0.5, py = y + 0.5;
            if (std::hypot(px - cx, py - cy) > r - 1.5) continue;
            EXPECT_TRUE(PixelIs(image, x, y, Opaque(expected(px, py)), 3));
            ++iChecked;
        }
    EXPECT_GT(iChecked, 100);
    // The focus takes the colour of position 0; halfway from it to (-0.19, 24.99) position 0.5.
    EXPECT_TRUE(PixelIs(image, 10, 24, Opaque(expected(10.5, 24.5)), 3));
    EXPECT_TRUE(PixelIs(image, 10, 24, Opaque(kRed), 16));
    EXPECT_TRUE(PixelIs(image, 4, 24, Opaque(Blend(kRed, kBlue, 0.5)), 16));
}

TEST(VectorCanvasTest, GradientStopsStartBlackAndReplaceAtTheSamePosition) {
    // No stops: opaque black at 0 and 1, so black everywhere.
    const QImage black = Paint(32, 32, [](Canvas& c) {
        c.AddBox(0, 0, 32, 32);
        c.LinearGradient(0, 0, 32, 0);
        c.Fill();
    });
    EXPECT_TRUE(PixelIs(black, 5, 5, Opaque(0)));
    EXPECT_TRUE(PixelIs(black, 28, 5, Opaque(0)));

    // Only the stop at 1 given: from the default black at 0 to green at 1.
    const QImage half = Paint(100, 10, [](Canvas& c) {
        c.AddBox(0, 0, 100, 10);
        c.LinearGradient(0, 0, 100, 0);
        c.GradientStop(kGreen, 1);
        c.Fill();
    });
    EXPECT_TRUE(PixelIs(half, 49, 5, Opaque(Blend(0, kGreen, 0.495)), 3));

    // Two stops at 0.5: the later colour wins, and it is one stop, not a hard edge.
    const QImage replaced = Paint(100, 10, [](Canvas& c) {
        c.AddBox(0, 0, 100, 10);
        c.LinearGradient(0, 0, 100, 0);
        c.GradientStop(kRed, 0);
        c.GradientStop(kRed, 1);
        c.GradientStop(kBlue, 0.5);
        c.GradientStop(kGreen, 0.5);
        c.Fill();
    });
    EXPECT_TRUE(PixelIs(replaced, 50, 5, Opaque(Blend(kGreen, kRed, 0.01)), 4));
    EXPECT_TRUE(PixelIs(replaced, 24, 5, Opaque(Blend(kRed, kGreen, 24.5 / 50)), 3));

    // The linear gradient repeats beyond its ends and is constant across its axis.
    const QImage repeated = Paint(40, 40, [](Canvas& c) {
        c.AddBox(0, 0, 40, 40);
        c.LinearGradient(0, 0, 10, 0);
        c.GradientStop(kRed, 0);
        c.GradientStop(kBlue, 1);
        c.Fill();
    });
    EXPECT_TRUE(PixelIs(repeated, 15, 3, Opaque(Blend(kRed, kBlue, 0.55)), 3));
    EXPECT_TRUE(PixelIs(repeated, 15, 33, Opaque(Blend(kRed, kBlue, 0.55)), 3));
    EXPECT_TRUE(PixelIs(repeated, 35, 20, Opaque(Blend(kRed, kBlue, 0.55)), 3));

    // A solid colour replaces the gradient, and a stop then does nothing.
    const QImage solid = Paint(20, 20, [](Canvas& c) {
        c.AddBox(0, 0, 20, 20);
        c.LinearGradient(0, 0, 20, 0);
        c.SolidColour(kBlue);
        c.GradientStop(kRed, 0.5);
        c.Fill();
    });
    EXPECT_TRUE(PixelIs(solid, 10, 10, Opaque(kBlue)));
}

TEST(VectorCanvasTest, SharedFiguresFollowTheirRules) {
    RecordingCanvas c;
    RoundedRect(c, 1, 4, 30.99, 27.99, 1.2);
    const std::vector<std::vector<double>> expected = {
        {2.2, 4},
        {29.79, 4},
        {30.45, 4, 30.99, 4.54, 30.99, 5.2},
        {30.99, 26.79},
        {30.99, 27.45, 30.45, 27.99, 29.79, 27.99},
        {2.2, 27.99},
        {1.54, 27.99, 1, 27.45, 1, 26.79},
        {1, 5.2},
        {1, 4.54, 1.54, 4, 2.2, 4},
    };
    ASSERT_EQ(c.mOperations.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        ASSERT_EQ(c.mOperations[i].mArguments.size(), expected[i].size()) << i;
        for (size_t k = 0; k < expected[i].size(); ++k)
            EXPECT_NEAR(c.mOperations[i].mArguments[k], expected[i][k], 1e-9) << i << "/" << k;
    }
    EXPECT_EQ(c.mOperations.front().sName, "MoveTo");
    EXPECT_EQ(c.Count("CurveTo"), 4);

    // Quarter-ellipse corners: 0.82 across, 0.9 down.
    RecordingCanvas e;
    RoundedRect(e, 1, 3, 30.99, 28.92, 0.82, 0.9);
    const std::vector<double> firstCorner = {30.62, 3, 30.99, 3.41, 30.99, 3.9};
    for (size_t k = 0; k < firstCorner.size(); ++k)
        EXPECT_NEAR(e.mOperations[2].mArguments[k], firstCorner[k], 1e-9);
    EXPECT_NEAR(e.mOperations[3].mArguments[1], 28.02, 1e-9);

    // A wave's control points stand at the middle x, at the levels of the curve's ends.
    RecordingCanvas w;
    Wave(w, {{1, 27.98}, {5.29, 4}, {9.57, 27.98}});
    ASSERT_EQ(w.Count("CurveTo"), 2);
    const auto& first = w.mOperations[1].mArguments;
    EXPECT_NEAR(first[0], 3.14, 0.01);
    EXPECT_NEAR(first[1], 27.98, 1e-9);
    EXPECT_NEAR(first[2], 3.14, 0.01);
    EXPECT_NEAR(first[3], 4, 1e-9);
}
