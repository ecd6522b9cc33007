#include "icons/RigolScopePictures.h"

#include "icons/PictureParts.h"
#include "icons/VectorCanvas.h"

#include <cstdint>

namespace RigolScopePictures {

using namespace VectorCanvas;
using namespace PictureParts;

namespace {

constexpr uint32_t kBody = 0xE5E5E5;
constexpr uint32_t kBodyEdge = 0x999999;
constexpr uint32_t kFoot = 0xCCCCCC;
constexpr uint32_t kSeam = 0xB2B2B2;
constexpr uint32_t kKeyEdge = 0x7F7F7F;
constexpr uint32_t kBlue = 0x6699FF;
constexpr uint32_t kCyanKey = 0x99FFFF;
constexpr uint32_t kWhite = 0xFFFFFF;
constexpr uint32_t kScreen = 0x333333;
constexpr uint32_t kScreenEdge = 0x000000;
constexpr uint32_t kTrace = 0xFFFF66;
constexpr uint32_t kYellow = 0xFFFF00;
constexpr uint32_t kDark = 0x666666;
constexpr uint32_t kChannel[4] = {0xFFFF00, 0x00CCFF, 0xFF00FF, 0x003399};
constexpr double kThin = 0.29;

// A key filled in its colour and outlined thin in the key edge colour.
void Key(Canvas& c, uint32_t uFill) {
    FilledOutlined(c, uFill, kKeyEdge, kThin);
}

// The body of both four- and two-channel fronts, radius 2.95.
void Body(Canvas& c) {
    RoundedRect(c, 3, 31.97, 123.96, 90.95, 2.95);
    FilledOutlined(c, kBody, kBodyEdge, 1);
}

// The round terminal at the right edge: a bracket and a bar.
void Terminal(Canvas& c) {
    Polyline(c, {{122.97, 76.93}, {119.96, 78.96}, {119.96, 86.94}, {122.97, 86.94}});
    Outlined(c, kKeyEdge, 1);
    Line(c, 121.98, 79.94, 121.98, 84.97);
    Outlined(c, kKeyEdge, 1);
}

void BlueDiagonal(Canvas& c) {
    Line(c, 116.6, 78.37, 121.6, 73.38);
    Outlined(c, kBlue, 1);
}

// A knob: an outer disc and, on the same centre, an inner disc.
void OuterDisc(Canvas& c, double x, double y, double r) {
    Circle(c, x, y, r);
    FilledOutlined(c, kWhite, kKeyEdge, kThin);
}
void InnerDisc(Canvas& c, double x, double y, double r, uint32_t uEdge) {
    Circle(c, x, y, r);
    FilledOutlined(c, 0xE5E5E5, uEdge, kThin);
}

// The input frame 12 wide and 10 high of the four-channel front, moved right by dx.
void InputFrame(Canvas& c, double dx) {
    c.MoveTo(67.48 + dx, 86.95);
    c.LineTo(74.48 + dx, 86.95);
    c.CurveTo(75.3 + dx, 86.95, 75.76 + dx, 86.25, 75.98 + dx, 85.45);
    c.LineTo(76.98 + dx, 81.74);
    c.LineTo(75.98 + dx, 78.45);
    c.CurveTo(75.74 + dx, 77.66, 75.3 + dx, 76.95, 74.48 + dx, 76.95);
    c.LineTo(67.48 + dx, 76.95);
    c.CurveTo(66.65 + dx, 76.95, 66.23 + dx, 77.67, 65.98 + dx, 78.45);
    c.LineTo(64.98 + dx, 81.58);
    c.LineTo(65.98 + dx, 85.45);
    c.CurveTo(66.19 + dx, 86.25, 66.65 + dx, 86.95, 67.48 + dx, 86.95);
    Outlined(c, kSeam, 1);
}

void ColourMark(Canvas& c, int k) {
    Line(c, 64.98 + 13 * k, 76.95, 63.98 + 13 * k, 80.95);
    Outlined(c, kChannel[k], 2);
}

// The arrow keys beside the four-channel screen.
void LeftArrow(Canvas& c, int k) {
    static constexpr double y[6] = {45.47, 49.47, 53.47, 57.47, 61.48, 65.48};
    ArrowRightKey(c, k < 2 ? 6.96 : 6.97, y[k]);
    Key(c, kBlue);
}
void RightArrow(Canvas& c, int k) {
    static constexpr double y[6] = {45.47, 49.47, 53.47, 57.47, 61.47, 65.48};
    ArrowLeftKey(c, 76.97, y[k]);
    Key(c, kBlue);
}

void ChannelKey(Canvas& c, int k) {
    static constexpr double y[6] = {51.47, 55.47, 59.48, 63.48, 67.48, 71.48};
    HexKey(c, k == 0 ? 84.41 : 84.4, y[k]);
    if (k < 4)
        FilledOutlined(c, kSeam, kChannel[k], 1);
    else
        Key(c, kSeam);
}

void GridKey(Canvas& c, int i, int j) {
    HexKey(c, 94.41 + 6 * (i - 1), 42.47 + 4 * (j - 1));
    Key(c, kWhite);
}

} // namespace

void Ds1000Z(Canvas& c) {
    Foot(c, 18, 31.99);
    Filled(c, kFoot);
    Foot(c, 95, 109);
    Filled(c, kFoot);
    Body(c);
    LeftArrow(c, 0);
    ColourMark(c, 0);
    Polygon(c, {{77.59, 43.3}, {81.79, 43.3}, {81.81, 41.92}, {80.08, 40.81}, {77.59, 40.81}});  // RT
    Key(c, kCyanKey);
    Polygon(c, {{6.58, 43.3}, {10.79, 43.3}, {10.8, 41.92}, {9.07, 40.81}, {6.58, 40.81}});  // LT
    Key(c, kCyanKey);
    Polygon(c, {{77.59, 69.81}, {81.79, 69.81}, {81.81, 71.19}, {80.08, 72.3}, {77.59, 72.3}});  // RB
    Key(c, kCyanKey);
    LeftArrow(c, 1);
    // Seam S1: the panel's left border, under the screen's right end and round the first input.
    Polyline(c, {{83.91, 39.91}, {83.91, 73.01}, {80.01, 75.97}, {64.94, 75.97}, {59.02, 80}, {64.94, 84.98}});
    Outlined(c, kSeam, 1);
    LeftArrow(c, 2);
    ChannelKey(c, 0);
    GridKey(c, 1, 1);
    GridKey(c, 1, 2);
    GridKey(c, 2, 1);
    GridKey(c, 2, 2);
    GridKey(c, 3, 1);
    Polygon(c, {{118.63, 41.47}, {117.19, 41.47}, {116.24, 42.47}, {115.14, 42.47}, {114.41, 43.84}, {115.14, 44.97},
                {118.63, 44.97}, {119.3, 43.76}});
    Key(c, 0x33CC33);
    Polygon(c, {{118.63, 49.97}, {117.19, 49.97}, {116.24, 48.97}, {115.13, 48.97}, {114.4, 47.6}, {115.13, 46.48},
                {118.63, 46.47}, {119.3, 47.68}});
    Key(c, 0x33CC33);
    GridKey(c, 3, 2);
    ChannelKey(c, 1);
    ChannelKey(c, 2);
    for (double x : {90.4, 96.4, 105.4}) {  // row keys W1 to W3
        HexKey(c, x, 59.48);
        Key(c, kSeam);
    }
    HexKey(c, 114.4, 54.48);  // K1
    Key(c, kWhite);
    ChannelKey(c, 3);
    ChannelKey(c, 4);
    ChannelKey(c, 5);
    LeftArrow(c, 3);
    Line(c, 116.96, 87.95, 116.96, 77.95);  // blue upright
    Outlined(c, kBlue, 2);
    LeftArrow(c, 4);
    LeftArrow(c, 5);
    // Front panel outline, higher above the screen than above the control panel.
    Polygon(c, {{4.93, 38.02}, {4.93, 75.97}, {6.95, 77.99}, {54.04, 77.99}, {66.96, 88.89}, {117.95, 88.89},
                {117.95, 77.99}, {122.93, 73.01}, {122.93, 40.98}, {118.9, 38.97}, {83.91, 38.97}, {75.03, 33.99},
                {15.97, 33.99}, {12.06, 36.01}, {6.95, 36.01}});
    Outlined(c, kSeam, 1);
    Box(c, 15.99, 34.96, 37.99, 2);  // yellow strip
    Filled(c, kYellow);
    // Bezel, 3 units higher under the right-hand end of the screen.
    c.MoveTo(13.75, 38.96);
    c.LineTo(73.23, 38.96);
    c.CurveTo(74.19, 38.96, 74.98, 39.75, 74.98, 40.71);
    c.LineTo(74.98, 72.2);
    c.CurveTo(74.98, 73.16, 74.19, 73.95, 73.23, 73.95);
    c.LineTo(64.78, 73.95);
    c.LineTo(60.81, 76.95);
    c.LineTo(13.75, 76.95);
    c.CurveTo(12.79, 76.95, 12, 76.16, 12, 75.2);
    c.LineTo(12, 40.71);
    c.CurveTo(12, 39.75, 12.79, 38.96, 13.75, 38.96);
    Outlined(c, kSeam, 1);
    Box(c, 14, 40.96, 58.98, 31.99);  // screen
    FilledOutlined(c, kScreen, kScreenEdge, kThin);
    // Lower-left panel: outline, white key, narrow and long slot.
    c.MoveTo(8, 87.95);
    c.LineTo(53.98, 87.95);
    c.LineTo(49.98, 81.95);
    c.CurveTo(49.37, 81.04, 48.08, 79.95, 46.98, 79.95);
    c.LineTo(10, 79.95);
    c.CurveTo(8.9, 79.95, 8, 80.85, 8, 81.95);
    c.LineTo(8, 87.95);
    Outlined(c, kSeam, 1);
    Box(c, 10, 81.95, 6, 4);
    FilledOutlined(c, kWhite, kBodyEdge, 1);
    Box(c, 17.99, 81.95, 2, 5);
    Filled(c, kDark);
    Box(c, 25.99, 82.95, 18.99, 3);
    FilledOutlined(c, kDark, kSeam, 1);
    for (int k = 0; k < 6; ++k) {  // ticks linking the side keys to the screen
        Line(c, 12, 46.96 + 4 * k, 14, 46.96 + 4 * k);
        Outlined(c, kBodyEdge, 1);
        Line(c, 73, 46.96 + 4 * k, 77.98, 46.96 + 4 * k);
        Outlined(c, kBodyEdge, 1);
    }
    for (int k = 0; k < 4; ++k) {  // input centres
        Circle(c, 70.98 + 13 * k, 81.95, 2);
        FilledOutlined(c, kFoot, kDark, 1);
    }
    OuterDisc(c, 95.3, 69.28, 4);
    OuterDisc(c, 108.3, 69.28, 4);
    InnerDisc(c, 95.3, 69.28, 2, 0xCCCCCC);
    InnerDisc(c, 108.3, 69.28, 2, 0xCCCCCC);
    OuterDisc(c, 94.97, 54.96, 2.5);
    OuterDisc(c, 88.97, 45.96, 2.5);
    OuterDisc(c, 107.97, 54.96, 2.5);
    OuterDisc(c, 116.97, 61.96, 2.5);
    InnerDisc(c, 94.97, 54.96, 1.5, kWhite);
    InnerDisc(c, 88.97, 45.96, 1.5, kWhite);
    InnerDisc(c, 107.97, 54.96, 1.5, kWhite);
    InnerDisc(c, 116.97, 61.96, 1.5, 0xCCCCCC);
    Terminal(c);
    OctagonKey(c, 7, 69.95);  // LB
    Key(c, kCyanKey);
    // Indicator lines, each drawn from its right end.
    Line(c, 114.46, 51.95, 112.46, 51.95);
    Outlined(c, 0x00FF00, 1);
    Line(c, 117.46, 51.95, 115.46, 51.95);
    Outlined(c, kWhite, 1);
    Line(c, 120.46, 51.95, 118.46, 51.95);
    Outlined(c, kWhite, 1);
    RightArrow(c, 0);
    Polyline(c, {{112.97, 53.98}, {112.97, 63.93}, {113.99, 64.95}, {113.99, 73.94}});  // seam S4
    Outlined(c, kSeam, 1);
    for (int k = 1; k < 6; ++k) RightArrow(c, k);
    TopKey(c, 103.97, 36.47);  // T3, T4
    Key(c, kSeam);
    TopKey(c, 111.97, 36.47);
    Key(c, kSeam);
    Polygon(c, {{93.63, 36.47}, {89.14, 36.47}, {87.97, 37.67}, {87.97, 38.82}, {89.14, 39.96}, {93.63, 39.96}});  // T1
    Key(c, kWhite);
    TopKey(c, 95.97, 36.47);  // T2
    Key(c, kWhite);
    Line(c, 7, 72.95, 11, 72.95);  // crossbar of LB
    Outlined(c, kKeyEdge, 1);
    SineTrace(c, {15, 68.75, 44.61, 68.69, 44.7}, {21.26, 27.67, 33.94, 40.35, 46.62, 52.89, 59.3, 65.56, 71.98},
              {18.14, 24.47, 30.8, 37.13, 43.46, 49.79, 56.12, 62.45, 68.78});
    Outlined(c, kTrace, 1);
    for (int k = 1; k < 4; ++k) ColourMark(c, k);
    for (int k = 0; k < 4; ++k) InputFrame(c, 13 * k);
    BlueDiagonal(c);
    Polyline(c, {{99.99, 50.98}, {99.99, 54.93}, {102.99, 57.93}, {102.99, 63.92}, {100.95, 65.97}, {100.95, 73.94}});  // S3
    Outlined(c, kSeam, 1);
    HexKey(c, 114.4, 65.48);  // K2, K3
    Key(c, kWhite);
    HexKey(c, 114.4, 70.48);
    Key(c, kWhite);
    Polyline(c, {{110.95, 50.98}, {92.99, 50.98}, {92.99, 41.98}});  // seam S2
    Outlined(c, kSeam, 1);
}

void Ds2000(Canvas& c) {
    Foot(c, 10, 23.99);
    Filled(c, kFoot);
    Foot(c, 103, 117);
    Filled(c, kFoot);
    Body(c);
    Box(c, 83.97, 61.98, 6, 16.99);  // yellow band upright
    Filled(c, kTrace);
    Line(c, 117.26, 87.95, 117.26, 77.95);  // blue upright
    Outlined(c, kBlue, 2);
    Box(c, 83.97, 75.98, 8, 3);  // yellow band foot
    Filled(c, kTrace);
    Box(c, 95.97, 61.98, 6, 16.99);  // cyan band
    Filled(c, 0x00CCFF);
    Box(c, 95.97, 75.98, 7.99, 3);
    Filled(c, 0x00CCFF);
    Box(c, 13.99, 34.96, 37.99, 2);  // yellow strip
    Filled(c, kYellow);
    Box(c, 14, 40.96, 58.98, 34.01);  // screen
    FilledOutlined(c, kScreen, kScreenEdge, kThin);
    static constexpr double yArrow[7] = {44.47, 48.47, 52.47, 56.47, 60.48, 64.48, 68.48};
    ArrowRightKey(c, 6.96, yArrow[0]);  // L1
    Key(c, kBlue);
    Polygon(c, {{6.58, 42.3}, {10.79, 42.3}, {10.8, 40.92}, {9.07, 39.81}, {6.58, 39.81}});  // LT
    Key(c, kCyanKey);
    for (int k = 1; k < 7; ++k) {
        ArrowRightKey(c, k < 2 ? 6.96 : 6.97, yArrow[k]);
        Key(c, kBlue);
    }
    for (int k = 0; k < 7; ++k) {
        Line(c, 12, 45.96 + 4 * k, 14, 45.96 + 4 * k);
        Outlined(c, kBodyEdge, 1);
    }
    OctagonKey(c, 7, 72.95);  // LB
    Key(c, kCyanKey);
    OctagonKey(c, 78, 72.95);  // RB
    Key(c, kCyanKey);
    Line(c, 7, 75.95, 11, 75.95);
    Outlined(c, kKeyEdge, 1);
    Line(c, 78, 75.95, 82, 75.95);
    Outlined(c, kKeyEdge, 1);
    Polygon(c, {{81.81, 42.3}, {77.6, 42.3}, {77.59, 40.92}, {79.32, 39.81}, {81.81, 39.81}});  // RT
    Key(c, kCyanKey);
    for (int k = 0; k < 7; ++k) {
        Line(c, 73, 45.96 + 4 * k, 77.98, 45.96 + 4 * k);
        Outlined(c, kBodyEdge, 1);
    }
    static constexpr double yRight[7] = {44.47, 48.47, 52.47, 56.47, 60.47, 64.48, 68.48};
    for (double y : yRight) {
        ArrowLeftKey(c, 76.97, y);
        Key(c, kBlue);
    }
    SineTrace(c, {15, 70.75, 46.61, 70.69, 46.7}, {21.26, 27.67, 33.94, 40.35, 46.62, 52.89, 59.3, 65.56, 71.98},
              {18.14, 24.47, 30.8, 37.13, 43.46, 49.79, 56.12, 62.45, 68.78});
    Outlined(c, kTrace, 1);
    RoundedRect(c, 12, 37.99, 75.98, 79.97, 2.1);  // bezel
    Outlined(c, kSeam, 1);
    // Lower panels: left and middle outline, small slot, dark window, green key.
    c.MoveTo(8, 88.95);
    c.LineTo(41.98, 88.95);
    c.LineTo(37.98, 84.95);
    c.CurveTo(37.21, 84.18, 36.07, 82.95, 34.98, 82.95);
    c.LineTo(10, 82.95);
    c.CurveTo(8.9, 82.95, 8, 83.86, 8, 84.95);
    c.LineTo(8, 88.95);
    Outlined(c, kSeam, 1);
    c.MoveTo(48, 88.95);
    c.LineTo(69.98, 88.95);
    c.LineTo(65.98, 84.95);
    c.CurveTo(65.21, 84.18, 64.07, 82.95, 62.98, 82.95);
    c.LineTo(41, 82.95);
    c.LineTo(48, 88.95);
    Outlined(c, kSeam, 1);
    Polygon(c, {{29.98, 85.2}, {29.98, 87.2}, {24.98, 87.2}, {24.98, 85.2}});
    FilledOutlined(c, 0x4C4C4C, kBodyEdge, 1);
    Box(c, 46.99, 83.49, 10.34, 4);
    FilledOutlined(c, kDark, kBodyEdge, 1);
    Box(c, 12, 83.96, 8, 4);
    FilledOutlined(c, 0x33CC33, 0x009933, 1);
    for (int k = 0; k < 3; ++k) {  // input centres
        Circle(c, 87.98 + 12 * k, 82.95, 2);
        FilledOutlined(c, kFoot, kDark, 1);
    }
    SmallInputFrame(c, 11, 1);
    Outlined(c, kSeam, 1);
    SmallInputFrame(c, 23, 1);
    Outlined(c, kSeam, 1);
    Terminal(c);
    // Seam S1 ends in a stub that runs down-left and back along itself.
    Polyline(c, {{82.91, 36.91}, {82.91, 79.01}, {81.01, 80.97}, {73.94, 80.97}, {71.02, 84}, {73.94, 80.98}});
    Outlined(c, kSeam, 1);
    const double mMedium[3][2] = {{87.3, 74.28}, {99.3, 74.28}, {87.3, 53.28}};
    const double mSmall[5][2] = {{101.97, 52.96}, {111.97, 66.96}, {98.97, 61.96}, {86.97, 61.96}, {85.97, 41.96}};
    for (const auto& m : mMedium) OuterDisc(c, m[0], m[1], 3.2);
    for (const auto& m : mMedium) InnerDisc(c, m[0], m[1], 1.6, 0xCCCCCC);
    for (const auto& n : mSmall) OuterDisc(c, n[0], n[1], 2.25);
    for (const auto& n : mSmall) InnerDisc(c, n[0], n[1], 1.35, kWhite);
    Circle(c, 114.96, 51.97, 5.4);  // the large knob's three discs
    FilledOutlined(c, kSeam, kSeam, 1);
    Circle(c, 114.96, 51.97, 4.5);
    FilledOutlined(c, 0xCCCCCC, kBodyEdge, 1);
    Circle(c, 114.96, 51.97, 2.7);
    FilledOutlined(c, kBody, kBodyEdge, 1);
    const double mGrey[6][2] = {{83.4, 45.47}, {92.4, 51.47}, {90.4, 64.48}, {90.4, 69.48}, {103.41, 69.48}, {103.41, 64.48}};
    for (const auto& g : mGrey) {
        HexKey(c, g[0], g[1]);
        Key(c, kSeam);
    }
    Polygon(c, {{97.61, 65.95}, {97.61, 69.44}, {98.97, 70.17}, {100.1, 69.44}, {100.1, 65.95}, {98.9, 65.27}});
    Key(c, kSeam);
    Polygon(c, {{88.1, 69.49}, {88.1, 66}, {86.73, 65.27}, {85.61, 66}, {85.61, 69.49}, {86.81, 70.17}});
    Key(c, kSeam);
    const double xGrid[3] = {88.4, 93.4, 98.41};
    auto gridKey = [&](int i, int j) {
        HexKey(c, xGrid[i - 1], 41.47 + 4 * (j - 1));
        Key(c, kWhite);
    };
    gridKey(1, 1);
    gridKey(1, 2);
    gridKey(2, 1);
    gridKey(2, 2);
    gridKey(3, 1);
    for (int k = 0; k < 4; ++k) {  // top keys
        WideHexKey(c, 93.41 + 7 * k, 34.47);
        Key(c, kWhite);
    }
    gridKey(3, 2);
    TallHexKey(c, 108.41, 41.47);  // orange keys
    Key(c, 0xFF6633);
    TallHexKey(c, 116.41, 41.47);
    Key(c, 0xFF6633);
    HexKey(c, 110.41, 70.48);  // K1, K2
    Key(c, kWhite);
    HexKey(c, 116.41, 64.48);
    Key(c, kWhite);
    // Fan keys in an arc under the large knob: middle, right, left.
    Polygon(c, {{116.4, 60.48}, {114.41, 60.87}, {112.36, 60.37}, {112.36, 62.66}, {114.4, 63.22}, {116.43, 62.7}});
    Key(c, kWhite);
    Polygon(c, {{120.98, 58.63}, {118.83, 59.15}, {118.2, 60.32}, {117.25, 60.33}, {117.27, 62.55}, {121.17, 61.45}});
    Key(c, kWhite);
    Polygon(c, {{107.44, 58.63}, {109.6, 59.15}, {110.22, 60.32}, {111.17, 60.33}, {111.15, 62.55}, {107.25, 61.45}});
    Key(c, kWhite);
    HexKey(c, 110.41, 74.48);  // K3
    Key(c, kWhite);
    constexpr uint32_t kLavender = 0x9999FF;
    Polygon(c, {{103.97, 40.99}, {107.97, 40.99}, {107.97, 42.99}, {103.97, 43.99}});
    Filled(c, kLavender);
    Box(c, 98.97, 55.99, 8, 2);
    Filled(c, kLavender);
    Box(c, 84.97, 56.99, 8, 2);
    Filled(c, kLavender);
    Box(c, 104.97, 51.98, 2, 4);
    Filled(c, kLavender);
    Box(c, 107.97, 72.98, 2, 4);
    Filled(c, kLavender);
    BlueDiagonal(c);
    SmallInputFrame(c, 35, 1);
    Outlined(c, kSeam, 1);
    Line(c, 92.97, 57.98, 106.97, 57.98);  // grey line
    Outlined(c, kSeam, 1);
    // Front panel outline, last of all.
    Polygon(c, {{4.93, 36.02}, {4.93, 78.97}, {6.95, 80.99}, {65.04, 80.99}, {73.96, 88.89}, {117.95, 88.89},
                {117.95, 77.99}, {122.93, 73.01}, {122.93, 40.98}, {120.9, 38.97}, {91.91, 38.97}, {85.03, 33.99},
                {15.97, 33.99}, {6.95, 34.01}});
    Outlined(c, kSeam, 1);
}

void Mso5000(Canvas& c) {
    constexpr uint32_t kGrey = 0x666666, kDisplay = 0x333333, kKnob = 0x191919, kMark = 0xCCCCCC;
    constexpr uint32_t kInput[4] = {0xFFFF00, 0x00FFFF, 0xFF99CC, 0x6699FF};
    Box(c, 15.99, 88.97, 14, 3);  // feet
    Filled(c, kDisplay);
    Box(c, 98, 88.97, 14, 3);
    Filled(c, kDisplay);
    Polygon(c, {{7.72, 25.99}, {120.24, 25.99}, {124.96, 30.72}, {124.96, 85.25}, {121.24, 88.97}, {6.72, 88.97},
                {3, 85.25}, {3, 30.72}});
    FilledOutlined(c, kGrey, 0x999999, 1.33);
    // Panel marks: the channel section's frame and four slanted tabs.
    Polyline(c, {{90.97, 56.98}, {120.96, 56.98}, {120.96, 68.98}});
    Outlined(c, kMark, kThin);
    Polygon(c, {{91.05, 56.98}, {83.97, 56.98}, {83.97, 54.98}, {89.96, 54.99}});
    Filled(c, kMark);
    Polygon(c, {{106.97, 56.98}, {112.96, 56.98}, {114.05, 54.98}, {108.05, 54.98}});
    Filled(c, kMark);
    Polygon(c, {{121.04, 34.98}, {121.05, 32.98}, {117.05, 32.99}, {115.97, 34.98}});
    Filled(c, kMark);
    Polygon(c, {{108.97, 35.99}, {110.05, 33.99}, {106.97, 33.99}, {106.97, 35.99}});
    Filled(c, kMark);
    Box(c, 10, 26.99, 11, 2);  // top strips
    Filled(c, kTrace);
    Box(c, 22.99, 26.99, 25.99, 2);
    Filled(c, kMark);
    // Bezel sides, its slanted top and the display.
    Box(c, 72.98, 30.99, 10, 42.99);
    Filled(c, 0x7F7F7F);
    Box(c, 5, 30.99, 4, 42.99);
    Filled(c, 0x7F7F7F);
    Polygon(c, {{5, 30.99}, {82.97, 30.99}, {72.97, 33.99}, {9, 33.99}});
    Filled(c, kGrey);
    Box(c, 8, 33.99, 64.98, 36.99);
    Filled(c, kDisplay);
    Polyline(c, {{3.97, 77.99}, {64.95, 77.99}, {66.95, 78.93}, {72, 88.05}});  // lower panel line
    Outlined(c, kDisplay, 1.33);
    Box(c, 7, 79.97, 7, 6);  // port
    FilledOutlined(c, 0x999999, 0x000000, 0.67);
    Box(c, 8, 80.97, 5, 3);
    Filled(c, kDisplay);
    Box(c, 18.99, 80.97, 3, 5);  // upright light key
    FilledOutlined(c, kBody, 0x000000, 0.67);
    Box(c, 40.99, 80.97, 23.99, 4);  // long slot
    FilledOutlined(c, kDisplay, 0x999999, 1.33);
    for (int k = 0; k < 7; ++k) {  // softkey leader lines
        Line(c, 73.98, 38.99 + 4.5 * k, 77.98, 38.99 + 4.5 * k);
        Outlined(c, kDisplay, 0.67);
    }
    Circle(c, 80.47, 34.49, 1.5);  // ends of the softkey column
    Filled(c, kDisplay);
    Circle(c, 80.47, 70.49, 1.5);
    Filled(c, kDisplay);
    Box(c, 77.97, 37.49, 4, 3);  // first softkey
    Filled(c, kDisplay);
    const double mKeys[20][2] = {{92.98, 34.49}, {92.98, 39.49}, {97.98, 39.49},  {102.98, 39.49}, {99.98, 43.49},
                                 {99.98, 47.49}, {115.98, 47.49}, {115.98, 51.49}, {111.98, 63.49}, {100.98, 63.49},
                                 {90.98, 61.49}, {90.98, 65.49}, {84.98, 51.49},  {84.98, 46.49},  {84.98, 40.49},
                                 {97.98, 34.49}, {102.98, 34.49}, {109.98, 34.49}, {115.98, 35.49}, {109.98, 39.49}};
    for (int i = 0; i < 20; ++i) {
        Box(c, mKeys[i][0], mKeys[i][1], 4, 3);
        Filled(c, i == 19 ? kBody : kDisplay);
    }
    for (int k = 1; k < 7; ++k) {  // the other softkeys
        Box(c, 77.97, 37.49 + 4.5 * k, 4, 3);
        Filled(c, kDisplay);
    }
    for (int k = 0; k < 7; ++k) {  // softkey lamps
        Circle(c, 79.97, 38.99 + 4.5 * k, 0.5);
        Filled(c, 0xFF0000);
    }
    Polygon(c, {{5, 73.98}, {81.97, 73.98}, {73.97, 70.98}, {9, 70.98}});  // bottom of the bezel
    Filled(c, kGrey);
    for (double x : {112.98, 100.98, 88.98, 76.98}) {  // input centres, right to left
        Circle(c, x, 81.95, 2);
        FilledOutlined(c, kBody, kSeam, 1);
    }
    for (double x : {34.98, 26.97}) {  // round buttons
        Circle(c, x, 82.95, 2);
        FilledOutlined(c, kBody, kSeam, 1);
    }
    for (int k = 3; k >= 0; --k) {  // input frames, right to left
        SmallInputFrame(c, 12 * k, 0);
        Outlined(c, kInput[k], 0.67);
    }
    const double mLarge[5][2] = {{118.3, 72.28}, {94.3, 47.28}, {108.3, 72.28}, {98.3, 72.28}, {88.3, 72.28}};
    for (int i = 0; i < 5; ++i) {
        Circle(c, mLarge[i][0], mLarge[i][1], 3.2);
        if (i == 1)
            Filled(c, kKnob);
        else
            FilledOutlined(c, kKnob, 0xCC3366, kThin);
    }
    for (const auto& m : mLarge) {
        Circle(c, m[0], m[1], 1.6);
        FilledOutlined(c, kKnob, kGrey, 0.67);
    }
    const double mSmall[7][2] = {{117.97, 58.96}, {117.97, 42.96}, {87.97, 34.96}, {108.97, 46.96},
                                 {107.97, 58.96}, {97.97, 58.96},  {87.97, 58.96}};
    for (const auto& n : mSmall) {
        Circle(c, n[0], n[1], 2.25);
        Filled(c, kKnob);
    }
    for (int i = 0; i < 2; ++i) {
        Circle(c, mSmall[i][0], mSmall[i][1], 1.35);
        FilledOutlined(c, kDisplay, 0x7F7F7F, kThin);
    }
    for (double x : {106.97, 101.97, 96.97}) {  // round buttons without a disc under them
        Circle(c, x, 53.96, 1.35);
        Filled(c, kDisplay);
    }
    for (int i = 2; i < 7; ++i) {
        Circle(c, mSmall[i][0], mSmall[i][1], 1.35);
        FilledOutlined(c, kDisplay, 0x7F7F7F, kThin);
    }
    for (int k = 3; k >= 0; --k) {  // channel tabs over the frames' top edges
        Box(c, 74.98 + 12 * k, 75.98, 4, 2);
        Filled(c, kInput[k]);
    }
    Polyline(c, {{84.01, 29.96}, {89.91, 29.96}, {90.96, 28.06}, {116.03, 28.06}, {118.03, 29.96}, {122.93, 29.96},
                 {122.93, 74.99}, {119.98, 77.04}, {119.98, 87.99}});  // panel outline
    Outlined(c, 0x4C4C4C, 1.33);
    Line(c, 121.98, 78.93, 121.98, 84.97);  // right edge mark
    Outlined(c, kMark, 1.33);
    SineTrace(c, {9, 64.75, 40.61, 64.69, 40.7}, {15.92, 23.01, 29.94, 37.02, 43.95, 50.88, 57.96, 64.89, 71.98},
              {12.47, 19.46, 26.46, 33.46, 40.45, 47.45, 54.45, 61.44, 68.44});
    Outlined(c, kTrace, 1);
    const uint32_t mKeyFace[4] = {0x4C4C4C, 0x4C4C4C, 0x4C4C4C, 0x333333};
    const uint32_t mKeyEdge[4] = {0xFFFF00, 0x00FFFF, 0xFF99CC, 0x00CCFF};
    for (int k = 3; k >= 0; --k) {  // channel keys, right to left
        const double x = 86.96 + 10 * k;
        Polygon(c, {{x + 1.5, 62.98}, {x + 3, 62.98}, {x + 3, 66.98}, {x, 66.98}, {x, 64.48}});
        FilledOutlined(c, mKeyFace[k], mKeyEdge[k], kThin);
    }
    for (int k = 0; k < 4; ++k) {  // top keys, cut alternately below and above
        const double x = 91.97 + 6 * k;
        if (k % 2 == 0)
            Polygon(c, {{x, 29.99}, {x + 5, 29.99}, {x + 5, 31.49}, {x + 3.5, 32.99}, {x + 1.5, 32.99}, {x, 31.49}});
        else
            Polygon(c, {{x, 32.99}, {x + 5, 32.99}, {x + 5, 31.49}, {x + 3.5, 29.99}, {x + 1.5, 29.99}, {x, 31.49}});
        Filled(c, kDisplay);
    }
    Polygon(c, {{105.97, 51.98}, {111.96, 51.98}, {113.05, 49.98}, {107.05, 49.98}});
    Filled(c, kMark);
    Line(c, 83.97, 72.98, 83.97, 56.98);
    Outlined(c, kMark, kThin);
    Line(c, 120.96, 34.99, 120.96, 54.98);
    Outlined(c, kMark, kThin);
    Polyline(c, {{112.96, 45.99}, {109.97, 42.99}, {91.97, 42.99}, {89.97, 44.99}});
    Outlined(c, kMark, kThin);
    Polyline(c, {{89.97, 48.98}, {91.97, 51.98}, {106.97, 51.98}});
    Outlined(c, kMark, kThin);
}

} // namespace RigolScopePictures
