#include "icons/MeterPictures.h"

#include "icons/PictureParts.h"
#include "icons/SegmentDisplay.h"
#include "icons/VectorCanvas.h"

#include <cstdint>

namespace MeterPictures {

using namespace VectorCanvas;
using namespace PictureParts;

namespace {

constexpr uint32_t kBody = 0xB2B2B2;
constexpr uint32_t kBodyEdge = 0x999999;
constexpr uint32_t kEdge = 0x7F7F7F;
constexpr uint32_t kPanel = 0xE5E5E5;
constexpr uint32_t kWhite = 0xFFFFFF;
constexpr uint32_t kDark = 0x333333;
constexpr uint32_t kBlack = 0x000000;
constexpr double kThin = 0.29;

// The reading's letters: 4 high, bars 0.47 thick, a digit 2.43 across its bars with the lean.
constexpr double kLean = 0.15;
constexpr SegmentDisplay::uStyle kReading = {2.43 - kLean, 4, 0.47, kLean, 0.025, 0.06, 0.47, 0.45};

struct uPlace {
    char cCharacter;
    double x0, x1;  // the x extent of the character's bars
};

// One line of the reading as one path: every bar filled and outlined in the same light grey,
// so that neighbouring bars merge.
void ReadingLine(Canvas& c, double yTop, std::initializer_list<uPlace> places) {
    for (const uPlace& p : places) {
        if (p.cCharacter == '.')
            SegmentDisplay::AddPoint(c, p.x0, yTop, kReading);
        else
            SegmentDisplay::AddCharacter(c, p.cCharacter, p.x0, yTop, kReading, p.x1 - p.x0 - kLean);
    }
    FilledOutlined(c, kPanel, kPanel, kThin);
}

// A foot 5 wide from y 86.97 to 90.97, its lower corners cut by 1 unit.
void MeterFoot(Canvas& c, double l, double r) {
    Polygon(c, {{l + 1, 90.97}, {r - 1, 90.97}, {r, 89.97}, {r, 86.97}, {l, 86.97}, {l, 89.97}});
    Filled(c, kBodyEdge);
}

void Key(Canvas& c, double x, double y, uint32_t uFill = kWhite) {
    Box(c, x, y, 5, 4);
    FilledOutlined(c, uFill, kEdge, kThin);
}

} // namespace

void M3500A(Canvas& c) {
    // Side brackets over their darker lower pieces.
    Polygon(c, {{7, 73.98}, {5, 73.98}, {3, 67.98}, {7, 67.98}});
    FilledOutlined(c, kBodyEdge, kEdge, 0.67);
    Polygon(c, {{121.01, 73.98}, {123.01, 73.98}, {125.01, 67.98}, {121.01, 67.98}});
    FilledOutlined(c, kBodyEdge, kEdge, 0.67);
    Box(c, 3, 52.98, 4, 15.99);
    FilledOutlined(c, kBody, kEdge, 0.67);
    Polygon(c, {{121.01, 52.98}, {125.01, 52.98}, {125.01, 68.98}, {121.01, 68.98}});
    FilledOutlined(c, kBody, kEdge, 0.67);
    const double feet[][2] = {{20.99, 25.99}, {30.99, 35.99}, {40.99, 45.99}, {51, 55.99}, {61, 65.99},
                              {71, 75.99},    {81, 86},       {91, 96},       {101, 106}};
    for (const auto& f : feet) MeterFoot(c, f[0], f[1]);
    // Front panel, seen through the body's window.
    Box(c, 11, 40.99, 79.97, 18.99);
    FilledOutlined(c, kDark, kBlack, kThin);
    Box(c, 17.99, 42.99, 9, 2);
    Filled(c, kPanel);
    Box(c, 11, 59.98, 79.97, 24.99);
    FilledOutlined(c, kPanel, kBlack, kThin);
    Box(c, 90.97, 40.99, 25.99, 43.99);
    Filled(c, kPanel);
    ReadingLine(c, 46.98,
                {{'0', 28.33, 30.76}, {'.', 32.46, 32.95}, {'0', 34.29, 36.72}, {'0', 38.32, 40.75},
                 {'0', 42.35, 44.78}, {'0', 46.38, 48.82}, {'0', 50.42, 52.85}, {'0', 54.45, 56.88},
                 {'V', 63.53, 65.83}, {'D', 67.55, 69.98}, {'C', 71.74, 73.89}});
    ReadingLine(c, 53.98,
                {{'R', 25.44, 27.87}, {'A', 29.59, 32.02}, {'N', 34.17, 36.67}, {'G', 38.44, 40.82},
                 {'E', 42.49, 44.64}, {'1', 49.42, 50.48}, {'V', 54.65, 56.95}, {'D', 58.67, 61.1},
                 {'C', 62.86, 65.01}});
    // Body: the outline with its two radii and the window, a hole by the even-odd rule.
    c.MoveTo(15.1, 33.99);
    c.LineTo(112.86, 33.99);
    c.CurveTo(117.32, 33.99, 120.96, 37.63, 120.96, 42.09);
    c.LineTo(120.96, 82.57);
    c.CurveTo(120.96, 85.54, 118.53, 87.97, 115.56, 87.97);
    c.LineTo(12.4, 87.97);
    c.CurveTo(9.43, 87.97, 7, 85.54, 7, 82.57);
    c.LineTo(7, 42.09);
    c.CurveTo(7, 37.63, 10.64, 33.99, 15.1, 33.99);
    Polygon(c, {{11, 40.99}, {116.96, 40.99}, {116.96, 84.97}, {11, 84.97}});
    FilledOutlined(c, kBody, kBodyEdge, 1.33);
    // Keys.
    for (double y : {66.98, 72.98}) {
        Circle(c, 19.99, y, 2);
        Filled(c, kEdge);
    }
    Circle(c, 19.99, 78.98, 2);
    FilledOutlined(c, kWhite, kEdge, kThin);
    for (double x : {26.49, 33.89, 41.29, 48.69, 56.09, 63.49}) {
        Circle(c, x, 66.48, 2.5);
        FilledOutlined(c, kEdge, 0xCCCCCC, kThin);
    }
    for (double x : {23.99, 31.39, 38.79, 46.19}) {
        Key(c, x, 71.98);
        Key(c, x, 77.98);
    }
    Key(c, 53.59, 71.98);
    Key(c, 68.6, 71.98);
    Polygon(c, {{68.6, 65.98}, {73.59, 64.98}, {73.59, 68.98}, {68.6, 67.98}});
    FilledOutlined(c, kWhite, kEdge, kThin);
    Polygon(c, {{80.59, 65.98}, {75.6, 64.98}, {75.6, 68.98}, {80.59, 67.98}});
    FilledOutlined(c, kWhite, kEdge, kThin);
    Key(c, 53.59, 77.98);
    Key(c, 68.6, 77.98);
    Key(c, 60.99, 71.98);
    Key(c, 76, 71.98);
    Key(c, 60.99, 77.98, 0x6699FF);
    Key(c, 76, 77.98);
    RoundedRect(c, 82.97, 71.98, 88.97, 75.98, 2);
    FilledOutlined(c, kWhite, kEdge, kThin);
    Polygon(c, {{82.97, 68.98}, {88.97, 68.98}, {86.97, 64.98}, {84.97, 64.98}});
    FilledOutlined(c, kWhite, kEdge, kThin);
    Polygon(c, {{82.97, 77.98}, {88.97, 77.98}, {86.97, 81.98}, {84.97, 81.98}});
    FilledOutlined(c, kWhite, kEdge, kThin);
    // Separator lines.
    const double separators[][4] = {{81.97, 61.98, 81.97, 82.97}, {66.97, 61.98, 66.97, 82.97},
                                    {22.97, 61.98, 22.97, 82.97}, {23.99, 61.98, 64.98, 61.98},
                                    {16.99, 62.98, 16.99, 75.98}};
    for (const auto& s : separators) {
        Line(c, s[0], s[1], s[2], s[3]);
        Outlined(c, kBody, 0.67);
    }
    // Jacks in three passes: outer circles, middles, centres.
    struct uJack {
        double x, y;
        uint32_t uOuterFill, uOuterEdge;
        double dOuterWidth;
        uint32_t uMiddleFill;
        double dMiddleWidth;
        uint32_t uCentre;
    };
    const uJack jacks[] = {
        {98.97, 51.98, kDark, 0xFF0000, 0.67, 0xFF0000, kThin, kDark},      // top left, red
        {108.97, 51.98, kDark, 0xFF0000, 0.67, 0xFF0000, kThin, kDark},     // top right, red
        {108.97, 61.98, kDark, 0x666666, 0.67, 0x4C4C4C, kThin, kBlack},    // middle right, black
        {108.97, 71.98, kDark, kWhite, 1.33, kWhite, 0.67, 0x4C4C4C},       // bottom right, white-ringed
        {98.97, 61.98, kDark, 0x666666, 0.67, 0x4C4C4C, kThin, kBlack},     // middle left, black
        {98.97, 71.98, kWhite, kEdge, 0.67, 0, 0, 0},                       // bottom left, the cap
    };
    for (const uJack& j : jacks) {
        Circle(c, j.x, j.y, 3);
        FilledOutlined(c, j.uOuterFill, j.uOuterEdge, j.dOuterWidth);
    }
    for (int i = 0; i < 5; ++i) {
        Circle(c, jacks[i].x, jacks[i].y, 2);
        FilledOutlined(c, jacks[i].uMiddleFill, kBlack, jacks[i].dMiddleWidth);
    }
    for (int i = 0; i < 5; ++i) {
        Circle(c, jacks[i].x, jacks[i].y, 1);
        Filled(c, jacks[i].uCentre);
    }
}

} // namespace MeterPictures
