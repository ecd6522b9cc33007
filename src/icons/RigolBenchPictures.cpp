#include "icons/RigolBenchPictures.h"

#include "icons/Glyphs.h"
#include "icons/PictureParts.h"
#include "icons/SegmentDisplay.h"
#include "icons/VectorCanvas.h"

#include <cmath>
#include <cstdint>

namespace RigolBenchPictures {

using namespace VectorCanvas;
using namespace PictureParts;

namespace {

constexpr uint32_t kBody = 0xE5E5E5;
constexpr uint32_t kEdge = 0x999999;
constexpr uint32_t kLight = 0xCCCCCC;
constexpr uint32_t kPanel = 0xB2B2B2;
constexpr uint32_t kKeyEdge = 0x7F7F7F;
constexpr uint32_t kWhite = 0xFFFFFF;
constexpr uint32_t kScreen = 0x333333;
constexpr uint32_t kStrip = 0xFFFF00;
constexpr uint32_t kYellow = 0xFFFF66;
constexpr uint32_t kCyan = 0x99FFFF;
constexpr uint32_t kGreenKey = 0x33CC33;
constexpr uint32_t kGreenKeyEdge = 0x009933;
constexpr double kThin = 0.29;

// A body with rounded corners of radius r whose two upper arcs end on the side edges at
// ySideEnd, their control points there at ySideControl; otherwise the shared rounded rectangle.
void Body(Canvas& c, double x1, double y1, double x2, double y2, double r, double ySideEnd, double ySideControl) {
    const double k = 0.55 * r;
    c.MoveTo(x1 + r, y1);
    c.LineTo(x2 - r, y1);
    c.CurveTo(Round2(x2 - r + k), y1, x2, ySideControl, x2, ySideEnd);
    c.LineTo(x2, y2 - r);
    c.CurveTo(x2, Round2(y2 - r + k), Round2(x2 - r + k), y2, x2 - r, y2);
    c.LineTo(x1 + r, y2);
    c.CurveTo(Round2(x1 + r - k), y2, x1, Round2(y2 - r + k), x1, y2 - r);
    c.LineTo(x1, ySideEnd);
    c.CurveTo(x1, ySideControl, Round2(x1 + r - k), y1, x1 + r, y1);
}

// Three concentric discs of a rotary knob: outer, middle, centre.
void Knob(Canvas& c, double cx, double cy, double r1, double r2, double r3) {
    Circle(c, cx, cy, r1);
    FilledOutlined(c, kPanel, kPanel, 1);
    Circle(c, cx, cy, r2);
    FilledOutlined(c, kLight, kEdge, 1);
    Circle(c, cx, cy, r3);
    FilledOutlined(c, kBody, kEdge, 1);
}

// ---- Spectrum analyser ----

// Soft key of the analyser, 4 wide and 3 high, pointed to the left, its top at y.
void AnalyserSoftKey(Canvas& c, double y) {
    Polygon(c, {{81.97, y}, {78.98, y}, {77.98, y + 1.03}, {77.98, y + 2.02}, {78.98, y + 3}, {81.97, y + 3}});
}

void AnalyserFrontContour(Canvas& c) {
    c.MoveTo(3.99, 35.93);
    c.CurveTo(3.99, 49.92, 3.99, 63.91, 3.99, 77.91);
    c.CurveTo(4.04, 79.33, 5, 79.96, 6.01, 79.93);
    c.LineTo(53.98, 79.93);
    c.LineTo(64.98, 88.96);
    c.LineTo(91.99, 88.94);
    c.LineTo(94.95, 86.92);
    c.LineTo(103.02, 86.92);
    c.LineTo(105.98, 88.94);
    c.LineTo(117.95, 88.94);
    c.CurveTo(119.37, 88.93, 119.96, 87.96, 119.97, 86.92);
    c.LineTo(119.97, 74.01);
    c.LineTo(122.93, 69.97);
    c.LineTo(122.93, 49.92);
    c.LineTo(119.97, 46.02);
    c.LineTo(119.97, 35.93);
    c.CurveTo(119.96, 34.98, 119.4, 34.03, 117.95, 34.04);
    c.LineTo(6.01, 34.04);
    c.CurveTo(4.65, 34.06, 3.99, 35.01, 3.99, 35.93);
}

void AnalyserSpectrum(Canvas& c) {
    c.MoveTo(14.98, 66.03);
    const QPointF left[] = {{15.96, 64.93}, {16.94, 67.01}, {18.04, 63.95}, {19.02, 67.01}, {20, 64.93},
                            {20.98, 67.01}, {21.96, 63.95}, {22.94, 66.03}, {24.04, 64.93}, {25.02, 67.01},
                            {26, 64.93},    {26.98, 67.01}, {27.96, 64.93}, {28.94, 66.03}, {30.04, 63.95},
                            {31.02, 64.93}, {32.98, 62.97}, {33.96, 64.93}, {34.94, 62.97}, {36.04, 63.95},
                            {37.02, 61.99}};
    for (const QPointF& p : left) c.LineTo(p.x(), p.y());
    c.CurveTo(39.35, 56.97, 40.99, 47.99, 43.99, 47.99);
    c.CurveTo(46.99, 47.99, 49.31, 57.62, 51.96, 62.97);
    const QPointF right[] = {{52.94, 61.99}, {54.04, 63.95}, {55.02, 62.97}, {56, 64.93},    {56.98, 62.97},
                             {57.96, 66.03}, {58.94, 63.95}, {60.04, 66.03}, {61.02, 62.97}, {62, 64.93},
                             {62.98, 63.95}, {63.96, 66.03}, {64.94, 63.95}, {66.04, 66.03}, {67.02, 63.95},
                             {68, 66.03},    {68.98, 63.95}, {69.96, 64.93}, {70.94, 63.95}};
    for (const QPointF& p : right) c.LineTo(p.x(), p.y());
}

// ---- Function generator ----

constexpr uint32_t kSoftKey = 0x6699FF;
constexpr uint32_t kDark = 0x666666;
constexpr uint32_t kBadge = 0x4C4C4C;

// The key pointed at both ends, 4.9 wide and 2.5 high, placed by its leftmost x and its top.
void PointedKey(Canvas& c, double x0, double t) {
    Polygon(c, {{x0 + 4.22, t}, {x0 + 0.73, t}, {x0, t + 1.37}, {x0 + 0.73, t + 2.5}, {x0 + 4.22, t + 2.5},
                {x0 + 4.9, t + 1.29}});
}
void PointedKey(Canvas& c, double x0, double t, uint32_t uFill) {
    PointedKey(c, x0, t);
    FilledOutlined(c, uFill, kKeyEdge, kThin);
}

// The generator's bezel: corners of radius 1.75, the bottom edge raised right of x 60.78.
void GeneratorBezel(Canvas& c) {
    c.MoveTo(9.75, 38.96);
    c.LineTo(69.23, 38.96);
    c.CurveTo(70.19, 38.96, 70.98, 39.75, 70.98, 40.71);
    c.LineTo(70.98, 72.2);
    c.CurveTo(70.98, 73.16, 70.19, 73.95, 69.23, 73.95);
    c.LineTo(60.78, 73.95);
    c.LineTo(56.81, 76.95);
    c.LineTo(9.75, 76.95);
    c.CurveTo(8.79, 76.95, 8, 76.16, 8, 75.2);
    c.LineTo(8, 40.71);
    c.CurveTo(8, 39.75, 8.79, 38.96, 9.75, 38.96);
}

// One period of a channel's sine from (x0, 62.99): up to the crest at xCrest, down through
// xMiddle to the trough, and back up.
void ChannelSine(Canvas& c, double x0, double xCrest, double xMiddle) {
    const double dx = xCrest - 18;
    c.MoveTo(x0, 62.99);
    c.CurveTo(15 + dx, 61, 16 + dx, 59, xCrest, 59);
    c.CurveTo(xMiddle, 59, xMiddle, 67, 26.01 + dx, 66.98);
    c.CurveTo(28 + dx, 66.99, 29 + dx, 64.99, 29.99 + dx, 63);
}

// ---- Power supply ----

constexpr uint32_t kGuardEdge = 0x7F7F7F;
constexpr uint32_t kReadout = 0x33CC66;
constexpr double kKnobX = 96.97, kKnobY = 47.98;

// A corner guard: eight lines and two curves, the x values of its side and the y values of its
// top or bottom edge (the columns of one guard's points in path order).
void Guard(Canvas& c, const double (&x)[15], const double (&y)[15]) {
    c.MoveTo(x[0], y[0]);
    for (int i = 1; i <= 3; ++i) c.LineTo(x[i], y[i]);
    c.CurveTo(x[4], y[4], x[5], y[5], x[6], y[6]);
    for (int i = 7; i <= 11; ++i) c.LineTo(x[i], y[i]);
    c.CurveTo(x[12], y[12], x[13], y[13], x[14], y[14]);
}

constexpr double kLeftGuard[15] = {9, 29.03, 32.21, 37.99, 41.28, 47.28, 43.99, 12, 11.22, 8, 3, 3, 3, 5.7, 9};
constexpr double kRightGuard[15] = {118.95, 98.92, 95.74, 89.96, 86.66, 80.66, 83.96, 115.95,
                                    116.73, 119.95, 124.95, 124.95, 124.95, 122.25, 118.95};
constexpr double kTopGuard[15] = {13, 13, 14.71, 15, 15.16, 20.99, 20.99, 20.99, 36.99, 36.99, 30.99, 18.99, 15.69, 13, 13};
constexpr double kBottomGuard[15] = {92.99, 92.99, 91.28, 90.99, 90.83, 84.99, 84.99, 84.99,
                                     69, 69, 75, 86.99, 90.29, 92.99, 92.99};

struct uStop {
    uint32_t uColour;
    double dPosition;
};

// The guard filled with its circular gradient, the five stops given in order, then outlined.
void ShadedGuard(Canvas& c, const double (&x)[15], const double (&y)[15], double cx, double cy, double fx,
                 const uStop (&stops)[5]) {
    Guard(c, x, y);
    c.CircularGradient(cx, cy, 24.16, fx, 0);
    for (const uStop& s : stops) c.GradientStop(s.uColour, s.dPosition);
    PaintFilledOutlined(c, kGuardEdge, 0.67);
}

// A point turned about the knob centre by k elevenths of a turn, anticlockwise as seen, to two
// decimals.
QPointF AroundKnob(QPointF p, int k) {
    const double a = k * 2 * M_PI / 11, dx = p.x() - kKnobX, dy = p.y() - kKnobY;
    return QPointF(Round2(kKnobX + dx * std::cos(a) + dy * std::sin(a)),
                   Round2(kKnobY - dx * std::sin(a) + dy * std::cos(a)));
}

// The readouts' seven-segment style: 3.5 high, 2.27 wide, bars 0.41 thick.
constexpr SegmentDisplay::uStyle kSupplyDigits = {2.27, 3.5, 0.41, 0.28, 0.16, 0.0225, 0.41, 0.4};

// A readout digit, point, digit; its first digit's base line starting at x0.
void Readout(Canvas& c, double x0, double yTop, char cFirst) {
    SegmentDisplay::AddCharacter(c, cFirst, x0, yTop, kSupplyDigits);
    SegmentDisplay::AddPoint(c, x0 + 3.6, yTop, kSupplyDigits);
    SegmentDisplay::AddCharacter(c, '0', x0 + 5.22, yTop, kSupplyDigits);
    Filled(c, kReadout);
}

} // namespace

void Dsa800(Canvas& c) {
    Foot(c, 103.97, 117.96);
    Filled(c, kLight);
    Foot(c, 9, 22.99);
    Filled(c, kLight);
    Body(c, 2, 31.98, 125.96, 90.96, 2.95, 34.93, 33.3);
    FilledOutlined(c, kBody, kEdge, 1);
    AnalyserFrontContour(c);
    Outlined(c, kPanel, 1);
    Polygon(c, {{15, 34.98}, {52.98, 34.98}, {54.98, 37.81}, {15, 37.98}});
    Filled(c, kStrip);
    // Wedge keys left of the display.
    Polygon(c, {{11, 44.97}, {5, 49.97}, {5, 65.96}, {11, 70.97}});
    Outlined(c, kEdge, 1);
    Polygon(c, {{10, 48.97}, {7.04, 50.97}, {7, 52.97}, {10, 54.97}});
    Filled(c, kGreenKey);
    Polygon(c, {{6, 60.97}, {8.96, 58.97}, {9, 56.97}, {6, 54.97}});
    Filled(c, kWhite);
    Polygon(c, {{10, 60.97}, {7.04, 62.97}, {7, 64.97}, {10, 66.97}});
    Filled(c, kWhite);
    // Lower panel under the display.
    c.MoveTo(16.44, 80.96);
    c.LineTo(36.89, 80.96);
    c.CurveTo(38.3, 80.96, 39.56, 81.76, 39.99, 82.36);
    c.LineTo(43.99, 87.96);
    c.LineTo(14, 87.96);
    c.LineTo(14, 83.41);
    c.CurveTo(14, 82.06, 15.1, 80.96, 16.44, 80.96);
    Outlined(c, kPanel, 1);
    Box(c, 15, 82.96, 8, 4);
    FilledOutlined(c, kGreenKey, kGreenKeyEdge, 1);
    Circle(c, 36.99, 84.96, 2);
    Filled(c, 0x666666);
    Box(c, 26.61, 83.54, 4.84, 2.12);
    Filled(c, kKeyEdge);
    // Display.
    Body(c, 11, 37.98, 74.98, 77.96, 2, 39.97, 38.88);
    Outlined(c, kLight, 1);
    Box(c, 14, 41.97, 57.98, 31.99);
    FilledOutlined(c, kScreen, kPanel, 1);
    // Connectors: both rings, then both centres.
    for (double x : {86.47, 113.47}) {
        Circle(c, x, 80.46, 3);
        FilledOutlined(c, 0x99CCCC, kEdge, 1);
    }
    for (double x : {86.47, 113.47}) {
        Circle(c, x, 80.46, 1.5);
        Filled(c, kPanel);
    }
    Knob(c, 114.96, 54.97, 6, 5, 3);
    Polyline(c, {{86, 34.96},
                 {82.99, 37.97},
                 {82.99, 76.98},
                 {78, 76.98},
                 {75.95, 78.96},
                 {64.95, 78.96},
                 {60.99, 82.99},
                 {65.98, 86.95},
                 {91.94, 86.95},
                 {94.94, 84.97},
                 {103.96, 84.97},
                 {106.97, 86.95},
                 {118.99, 86.95}});
    Outlined(c, kPanel, 1);
    // Soft-key column and the two small keys below the knob.
    Polygon(c, {{81.97, 40.97}, {77.98, 40.97}, {77.98, 39.64}, {78.98, 38.98}, {81.97, 38.98}});
    Filled(c, kWhite);
    Polygon(c, {{112.98, 63.98}, {108.98, 63.98}, {108.98, 65.31}, {109.98, 65.98}, {112.98, 65.98}});
    FilledOutlined(c, kKeyEdge, kKeyEdge, 1);
    Polygon(c, {{115.98, 63.98}, {119.98, 63.98}, {119.98, 65.31}, {118.98, 65.98}, {115.98, 65.98}});
    FilledOutlined(c, kKeyEdge, kKeyEdge, 1);
    Polygon(c, {{81.97, 71.98}, {77.98, 71.98}, {77.98, 73.31}, {78.98, 73.98}, {81.97, 73.98}});
    Filled(c, kWhite);
    for (double y : {42.97, 46.97, 50.98, 54.98, 58.98, 62.98, 66.98}) {
        AnalyserSoftKey(c, y);
        Filled(c, kPanel);
    }
    // Keypads.
    for (double y : {36.98, 40.98, 44.98, 48.98})
        for (double x : {89.97, 95.97, 101.97, 107.97, 113.97}) {
            if (y > 41 && x > 102) continue;
            Box(c, x, y, 5, 3);
            Filled(c, kWhite);
        }
    for (double y : {38.98, 43.98, 48.98}) {
        Box(c, 83.97, y, 5, 3);
        Filled(c, kEdge);
    }
    for (double y : {58.97, 62.97, 66.97, 70.97})
        for (double x : {84.97, 89.97, 94.97}) {
            Box(c, x, y, 4, 2);
            Filled(c, kWhite);
        }
    for (double y : {59.98, 64.98, 69.98}) {
        Box(c, 100.97, y, 5, 3);
        Filled(c, kEdge);
    }
    // Soft-key ticks, over the bezel.
    const double ticks[] = {43.97, 47.97, 51.97, 55.98, 59.98, 63.98, 67.98};
    for (int i = 0; i < 7; ++i) {
        Line(c, 72.98, ticks[i], i < 2 ? 76.98 : 76.97, ticks[i]);
        Outlined(c, kEdge, 1);
    }
    AnalyserSpectrum(c);
    Outlined(c, kYellow, 1);
    // Keypad grid lines over the keys.
    const double grid[][4] = {{89.97, 40.98, 118.96, 40.97}, {89.97, 44.98, 106.97, 44.98},
                              {89.97, 48.97, 106.97, 48.97}, {94.97, 36.98, 94.97, 51.98},
                              {100.97, 36.98, 100.97, 51.98}, {106.97, 36.98, 106.97, 43.98},
                              {112.97, 36.98, 112.97, 43.98}, {88.97, 58.97, 88.97, 72.96},
                              {93.97, 58.97, 93.97, 72.97},   {84.97, 61.97, 98.97, 61.97},
                              {84.97, 65.97, 98.97, 65.97},   {84.97, 69.97, 98.97, 69.97}};
    for (const auto& g : grid) {
        Line(c, g[0], g[1], g[2], g[3]);
        Outlined(c, kLight, 1);
    }
}

void Dg4000(Canvas& c) {
    Foot(c, 18, 31.99);
    Filled(c, kLight);
    Foot(c, 95, 109);
    Filled(c, kLight);
    Body(c, 3, 31.97, 123.96, 90.95, 2.95, 34.91, 33.29);
    FilledOutlined(c, kBody, kEdge, 1);
    // Backings behind the key groups and the strip under the connectors.
    const double backings[][4] = {{115.96, 56.98, 6, 14}, {112.96, 73.98, 8, 4}, {61.98, 84.97, 58.98, 3}};
    for (const auto& b : backings) {
        Box(c, b[0], b[1], b[2], b[3]);
        Filled(c, kCyan);
    }
    Box(c, 80.97, 63.98, 7, 14);
    Filled(c, kYellow);
    Box(c, 91.98, 63.98, 7, 14);
    Filled(c, kCyan);
    // End keys of the soft-key column, ticks, soft keys.
    Polygon(c, {{77.81, 40.3}, {73.6, 40.3}, {73.59, 38.92}, {75.32, 37.81}, {77.81, 37.81}});
    FilledOutlined(c, kWhite, kKeyEdge, 0.67);
    Polygon(c, {{77.81, 73.81}, {73.6, 73.81}, {73.59, 75.19}, {75.32, 76.3}, {77.81, 76.3}});
    FilledOutlined(c, kWhite, kKeyEdge, 0.67);
    const double ticks[] = {44.96, 49.96, 54.96, 59.96, 64.96, 69.97};
    for (int i = 0; i < 6; ++i) {
        Line(c, 69, ticks[i], i == 0 ? 73.98 : 73.97, ticks[i]);
        Outlined(c, kEdge, 1);
    }
    for (double t : {43.47, 48.47, 53.47, 58.47, 63.47, 68.48}) {
        ArrowLeftKey(c, 72.97, t);
        FilledOutlined(c, kSoftKey, kKeyEdge, 0.67);
    }
    ArrowLeftKey(c, 114.97, 74.48);
    FilledOutlined(c, kPanel, kKeyEdge, kThin);
    ArrowLeftKey(c, 107.97, 52.47);
    FilledOutlined(c, kDark, kKeyEdge, kThin);
    Polygon(c, {{115.97, 52.47}, {119.46, 52.47}, {120.63, 53.82}, {119.46, 54.97}, {115.97, 54.97}});
    FilledOutlined(c, kDark, kKeyEdge, kThin);
    Polygon(c, {{4.93, 36.02},
                {4.93, 76.97},
                {6.95, 78.99},
                {49.04, 78.99},
                {60.96, 88.89},
                {120.96, 88.89},
                {122.96, 86.99},
                {122.93, 73.01},
                {122.93, 34.98},
                {120.9, 32.97},
                {77.91, 32.97},
                {75.03, 33.99},
                {15.97, 33.99},
                {6.95, 34.01}});
    Outlined(c, kPanel, 1);
    Box(c, 8.99, 34.96, 42.99, 2);
    Filled(c, kStrip);
    GeneratorBezel(c);
    Outlined(c, kPanel, 1);
    Box(c, 10, 40.96, 58.98, 31.99);
    FilledOutlined(c, kScreen, 0x000000, kThin);
    // Lower panel: outline, slot, green key.
    c.MoveTo(12, 88.95);
    c.LineTo(47.98, 88.95);
    c.LineTo(41.98, 82.95);
    c.CurveTo(41.21, 82.18, 40.07, 80.95, 38.98, 80.95);
    c.LineTo(14, 80.95);
    c.CurveTo(12.91, 80.95, 12, 81.86, 12, 82.95);
    c.LineTo(12, 88.95);
    Outlined(c, kEdge, 1);
    Polygon(c, {{33.98, 84.2}, {33.98, 86.2}, {28.98, 86.2}, {28.98, 84.2}});
    FilledOutlined(c, kBadge, kEdge, 1);
    Box(c, 16, 82.96, 8, 4);
    FilledOutlined(c, kGreenKey, kGreenKeyEdge, 1);
    Knob(c, 113.96, 42.97, 6.6, 5.5, 3.3);
    // Output connectors: the octagonal bases, then the sockets.
    const double bases[] = {65.98, 78.98, 91.98, 104.98};
    const uint32_t baseColours[] = {kYellow, kYellow, 0x00CCFF, 0x00CCFF};
    for (int i = 0; i < 4; ++i) {
        const double x0 = bases[i];
        Polygon(c, {{x0 + 2, 79.97}, {x0 + 8, 79.97}, {x0 + 10, 81.77}, {x0 + 10, 84.17}, {x0 + 8, 85.97},
                    {x0 + 2, 85.97}, {x0, 84.17}, {x0, 81.77}});
        Filled(c, baseColours[i]);
    }
    for (double x : {70.98, 83.98, 96.98, 109.98}) {
        Circle(c, x, 82.95, 2);
        FilledOutlined(c, kLight, kDark, 1);
    }
    Polyline(c, {{83.97, 33.99},
                 {79.97, 37.58},
                 {79.91, 78.01},
                 {73.98, 77.98},
                 {72.98, 75.98},
                 {60.98, 75.98},
                 {56.98, 78.98},
                 {51.98, 78.98}});
    Outlined(c, kPanel, 1);
    // Keys pointed at both ends.
    for (double x0 : {81.4, 87.4, 93.4, 99.4})
        for (double t : {38.47, 42.47}) PointedKey(c, x0, t, kPanel);
    for (double x0 : {81.4, 87.4, 93.4}) PointedKey(c, x0, 48.47, kPanel);
    for (double x0 : {81.4, 87.4, 93.4})
        for (double t : {55.48, 59.48}) {
            if (x0 == 93.4 && t == 55.48) {
                PointedKey(c, x0, t);
                FilledOutlined(c, 0x00FF00, 0x669933, kThin);
            } else {
                PointedKey(c, x0, t, kPanel);
            }
        }
    for (double t : {65.48, 69.48, 73.48}) PointedKey(c, 81.4, t, kPanel);
    PointedKey(c, 87.4, 69.48, kDark);
    for (double t : {65.48, 69.48, 73.48}) PointedKey(c, 93.4, t, kDark);
    for (double t : {58.48, 62.48, 66.48}) PointedKey(c, 116.41, t, kDark);
    for (double x0 : {100.41, 105.41, 110.41})
        for (double t : {56.47, 60.48, 64.48, 68.48}) PointedKey(c, x0, t, kWhite);
    // Frame lines of the key blocks.
    Polyline(c, {{81.97, 46.99}, {105.97, 46.99}, {105.97, 35.99}, {84.97, 35.99}});
    Outlined(c, kKeyEdge, kThin);
    Polyline(c, {{81.97, 52.98}, {99.97, 52.98}, {99.97, 63.98}, {81.97, 63.98}});
    Outlined(c, kKeyEdge, kThin);
    Line(c, 120.96, 72.98, 99.97, 72.98);
    Outlined(c, kKeyEdge, kThin);
    // Channel panels on the display.
    RoundedRect(c, 12, 43.99, 32.99, 69.98, 2.1);
    Outlined(c, kYellow, 1.33);
    RoundedRect(c, 36, 43.99, 56.99, 69.98, 2.1);
    Outlined(c, kCyan, 1.33);
    Line(c, 59.98, 42.99, 59.98, 70.98);
    Outlined(c, kPanel, 0.67);
    for (double y : {46.99, 51.99, 56.99, 61.99, 66.99}) {
        Line(c, 66.98, y, 60.98, y);
        Outlined(c, kPanel, 0.67);
    }
    RoundedRect(c, 14, 41.99, 19.99, 46.99, 1);
    FilledOutlined(c, kBadge, kYellow, 1.33);
    RoundedRect(c, 38, 41.99, 44, 46.99, 1);
    FilledOutlined(c, kBadge, kCyan, 1.33);
    ChannelSine(c, 13.99, 18, 21.99);
    Outlined(c, kYellow, 1.33);
    ChannelSine(c, 38, 42, 46);
    Outlined(c, kCyan, 1.33);
    // Readout bars, alternately for panel 1 and panel 2.
    for (double y : {50.98, 54.98}) {
        Line(c, 15, y, 19.99, y);
        Outlined(c, kPanel, 1.33);
        Line(c, 39, y, 44, y);
        Outlined(c, kPanel, 1.33);
    }
    for (double y : {48.98, 52.98, 56.98}) {
        Line(c, 24.99, y, 28.99, y);
        Outlined(c, kPanel, 1.33);
        Line(c, 48.99, y, 52.99, y);
        Outlined(c, kPanel, 1.33);
    }
    Glyphs::Add(c, '1', Glyphs::InBox(16.33, 43.03, 17.99, 45.99));
    Filled(c, kWhite);
    Glyphs::Add(c, '2', Glyphs::InBox(40.1, 43.03, 42.53, 45.99));
    Filled(c, kWhite);
}

void Dp800(Canvas& c) {
    Box(c, 9, 18.99, 109.97, 66.98);
    FilledOutlined(c, kBody, kPanel, 1.33);
    // Corner guards: top left, bottom left, bottom right, top right.
    const uStop leftStops[5] = {{0x7F7F7F, 0}, {0x7F7F7F, 0.25}, {0x7F7F7F, 1}, {0x7F7F7F, 0}, {0x4C4C4C, 1}};
    const uStop bottomRightStops[5] = {
        {0xB2B2B2, 0}, {0xB2B2B2, 0}, {0x7F7F7F, 1}, {0x7F7F7F, 0.01000001}, {0x4C4C4C, 1}};
    const uStop topRightStops[5] = {{0xB2B2B2, 0}, {0xB2B2B2, 0}, {0x7F7F7F, 1}, {0x7F7F7F, 0}, {0x4C4C4C, 1}};
    ShadedGuard(c, kLeftGuard, kTopGuard, 23.97, 24.99, -13.84, leftStops);
    ShadedGuard(c, kLeftGuard, kBottomGuard, 23.97, 81, -13.84, leftStops);
    ShadedGuard(c, kRightGuard, kBottomGuard, 103.97, 81, 4.61, bottomRightStops);
    ShadedGuard(c, kRightGuard, kTopGuard, 103.97, 24.99, 4.61, topRightStops);
    Polygon(c, {{36.99, 21.99}, {90.97, 21.99}, {85.97, 25.99}, {41.99, 25.99}});
    Filled(c, kYellow);
    Box(c, 13, 28.99, 39.99, 35.99);
    Outlined(c, kPanel, 1.33);
    Box(c, 15, 30.99, 35.99, 25.99);
    Filled(c, kScreen);
    Polygon(c, {{114.96, 28.99},
                {54.98, 28.99},
                {55.04, 53.41},
                {57.98, 57.98},
                {57.98, 64.98},
                {53.98, 66.98},
                {34.99, 66.98},
                {32.99, 75.98},
                {31.99, 78.98},
                {33.99, 82.97},
                {114.96, 82.97}});
    FilledOutlined(c, kBody, kPanel, 1.33);
    Box(c, 18.99, 70.98, 7, 10);
    FilledOutlined(c, kLight, kEdge, 1.33);
    // Output jacks in three passes: rings, middles, centres.
    const double jacks[] = {49.48, 59.48, 69.49, 79.49, 89.49, 99.49};
    const uint32_t middles[] = {0xFF0000, 0x333333, 0x33CC66, 0xFF0000, 0x333333, 0xFF0000};
    const uint32_t centres[] = {0x333333, 0x4C4C4C, 0x333333, 0x333333, 0x4C4C4C, 0x333333};
    for (double x : jacks) {
        Circle(c, x, 76.48, 4);
        Filled(c, kPanel);
    }
    for (int i = 0; i < 6; ++i) {
        Circle(c, jacks[i], 76.48, 3);
        Filled(c, middles[i]);
    }
    for (int i = 0; i < 6; ++i) {
        Circle(c, jacks[i], 76.48, 2);
        Filled(c, centres[i]);
    }
    // Softkeys under the screen.
    Polygon(c, {{15.99, 64.98}, {21.99, 64.98}, {21.99, 63.05}, {19.99, 61.98}, {18, 61.98}, {15.99, 63.21}});
    Filled(c, kKeyEdge);
    for (double x : {23.0, 30.0, 37.0, 44.0}) {
        Polygon(c, {{x, 64.98}, {x + 5.99, 64.98}, {x + 5.99, 63.05}, {x + 3.99, 61.98}, {x + 2, 61.98}, {x, 63.21}});
        Filled(c, kKeyEdge);
    }
    Polygon(c, {{53.98, 57.98}, {56.98, 58.98}, {56.98, 63.98}, {53.98, 64.98}});
    FilledOutlined(c, kWhite, kKeyEdge, kThin);
    // Key blocks; the last key of the upper block comes after the lower block.
    Box(c, 55.98, 31.49, 4, 6);
    FilledOutlined(c, kReadout, 0x339966, kThin);
    Box(c, 55.98, 39.49, 4, 6);
    FilledOutlined(c, kWhite, kKeyEdge, kThin);
    Box(c, 61.98, 31.49, 4, 6);
    FilledOutlined(c, kLight, kKeyEdge, kThin);
    Box(c, 61.98, 39.49, 4, 6);
    FilledOutlined(c, kWhite, kKeyEdge, kThin);
    Box(c, 67.98, 31.49, 4, 6);
    FilledOutlined(c, kLight, kKeyEdge, kThin);
    for (double x : {58.98, 65.98, 72.98}) {
        Polygon(c, {{x + 6, 54.49}, {x + 6, 58.49}, {x, 58.49}, {x, 54.49}});
        Filled(c, kKeyEdge);
        Polygon(c, {{x + 6, 61.49}, {x + 6, 65.49}, {x, 65.49}, {x, 61.49}});
        FilledOutlined(c, kLight, kKeyEdge, kThin);
    }
    Box(c, 67.98, 39.49, 4, 6);
    FilledOutlined(c, kWhite, kKeyEdge, kThin);
    // The knob field: upper corner keys, arrow keys, key ring, knob, lower corner keys.
    Polygon(c, {{80.97, 31.99}, {88.97, 31.99}, {85.97, 36.99}, {80.97, 36.99}});
    FilledOutlined(c, kWhite, kKeyEdge, kThin);
    Polygon(c, {{112.97, 31.99}, {104.98, 31.99}, {107.98, 36.99}, {112.97, 36.99}});
    FilledOutlined(c, kWhite, kKeyEdge, kThin);
    Polygon(c, {{92.97, 34.99}, {100.97, 34.99}, {98.97, 30.99}, {94.97, 30.99}});
    Filled(c, kKeyEdge);
    Polygon(c, {{109.97, 43.99}, {109.97, 51.99}, {113.97, 49.99}, {113.97, 45.99}});
    Filled(c, kKeyEdge);
    Polygon(c, {{92.97, 60.99}, {100.97, 60.99}, {98.97, 64.99}, {94.97, 64.99}});
    Filled(c, kKeyEdge);
    Polygon(c, {{83.97, 43.99}, {83.97, 51.99}, {79.97, 49.99}, {79.97, 45.99}});
    Filled(c, kKeyEdge);
    const QPointF segment[4] = {{93.97, 35.99}, {99.97, 35.99}, {98.97, 38.99}, {94.97, 38.99}};
    for (int k = 0; k < 11; ++k) {
        const QPointF p[4] = {AroundKnob(segment[0], k), AroundKnob(segment[1], k), AroundKnob(segment[2], k),
                              AroundKnob(segment[3], k)};
        Polygon(c, {p[0], p[1], p[2], p[3]});
        Filled(c, kKeyEdge);
    }
    Circle(c, kKnobX, kKnobY, 7);
    FilledOutlined(c, kLight, kEdge, 1.33);
    for (int k = 0; k < 11; ++k) {
        const QPointF inner = AroundKnob({kKnobX, 43.99}, k), outer = AroundKnob({kKnobX, 40.99}, k);
        Line(c, inner.x(), inner.y(), outer.x(), outer.y());
        Outlined(c, kEdge, 0.67);
    }
    Polygon(c, {{81.97, 55.98}, {87.97, 58.98}, {89.97, 63.98}, {84.97, 61.98}});
    FilledOutlined(c, kWhite, kKeyEdge, kThin);
    Polygon(c, {{111.97, 55.98}, {105.98, 58.98}, {103.98, 63.98}, {108.97, 61.98}});
    FilledOutlined(c, kWhite, kKeyEdge, kThin);
    // Power switch marks.
    Line(c, 22.49, 71.98, 22.49, 74.98);
    Outlined(c, kEdge, 1.33);
    Circle(c, 22.49, 78.48, 1.5);
    Outlined(c, kKeyEdge, 0.67);
    // Screen marks and the readouts.
    Box(c, 16.99, 32.99, 11, 19.99);
    Outlined(c, kReadout, 0.67);
    Line(c, 28.23, 53.13, 48.23, 53.13);
    Outlined(c, kReadout, 0.67);
    Box(c, 16.99, 53.98, 7, 2);
    Filled(c, kReadout);
    Box(c, 16.99, 32.99, 11, 3);
    Filled(c, kReadout);
    Readout(c, 18.32, 37.49, '3');
    Readout(c, 30.2, 37.49, '0');
    Readout(c, 41.1, 37.49, '0');
    for (double x : {18.09, 30.1, 41.1})
        for (double y : {42.49, 47.49}) Readout(c, x, y, '0');
}

} // namespace RigolBenchPictures
