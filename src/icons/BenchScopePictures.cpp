#include "icons/BenchScopePictures.h"

#include "icons/Glyphs.h"
#include "icons/PictureParts.h"
#include "icons/VectorCanvas.h"

#include <cstdint>
#include <utility>

namespace BenchScopePictures {

using namespace VectorCanvas;
using namespace PictureParts;

namespace {

constexpr double kThin = 0.29;
constexpr uint32_t kKeyEdge = 0x7F7F7F;

// A foot of the light-grey scope: a rounded rectangle from its bottom edge round the other way
// (right, up, left, down), its corners rx across and ryTop or ryBottom down.
void SdsFoot(Canvas& c, double x1, double y1, double x2, double y2) {
    constexpr double rx = 0.78, ryTop = 0.78, ryBottom = 0.77;
    const double kx = 0.55 * rx;
    c.MoveTo(x1 + rx, y2);
    c.LineTo(x2 - rx, y2);
    c.CurveTo(Round2(x2 - rx + kx), y2, x2, Round2(y2 - ryBottom + 0.55 * ryBottom), x2, y2 - ryBottom);
    c.LineTo(x2, y1 + ryTop);
    c.CurveTo(x2, Round2(y1 + ryTop - 0.55 * ryTop), Round2(x2 - rx + kx), y1, x2 - rx, y1);
    c.LineTo(x1 + rx, y1);
    c.CurveTo(Round2(x1 + rx - kx), y1, x1, Round2(y1 + ryTop - 0.55 * ryTop), x1, y1 + ryTop);
    c.LineTo(x1, y2 - ryBottom);
    c.CurveTo(x1, Round2(y2 - ryBottom + 0.55 * ryBottom), Round2(x1 + rx - kx), y2, x1 + rx, y2);
}

// The input frame of the light-grey scope round (x, 80.97): rounded above, nearly square below.
void SdsInputFrame(Canvas& c, double x) {
    c.MoveTo(x, 76.97);
    c.CurveTo(x + 2.19, 76.97, x + 3.95, 77.98, x + 3.97, 81.97);
    c.CurveTo(x + 3.99, 85.97, x + 3.95, 85.98, x, 85.97);
    c.CurveTo(x - 3.95, 85.97, x - 3.95, 85.97, x - 3.97, 81.97);
    c.CurveTo(x - 3.99, 77.98, x - 2.19, 76.97, x, 76.97);
}

} // namespace

void Sds2000XPlus(Canvas& c) {
    constexpr uint32_t kPlate = 0xCCCCCC, kHousing = 0xB2B2B2, kFace = 0xE5E5E5, kLavender = 0xA3A3D4;
    SdsFoot(c, 10.25, 86.97, 26.99, 92.15);
    FilledOutlined(c, kPlate, kHousing, 0.67);
    SdsFoot(c, 100.26, 86.97, 117, 92.15);
    FilledOutlined(c, kPlate, kHousing, 0.67);
    RoundedRect(c, 2, 14, 125.96, 88.97, 1.87);  // body
    FilledOutlined(c, kFace, kHousing, 0.67);
    // Control-panel housing with long swept left corners.
    c.MoveTo(122.19, 75.98);
    c.LineTo(90.75, 75.98);
    c.CurveTo(89.22, 75.98, 83.97, 72.81, 83.97, 71.35);
    c.LineTo(83.97, 19.62);
    c.CurveTo(83.97, 18.16, 89.22, 15, 90.75, 15);
    c.LineTo(122.19, 15);
    c.CurveTo(123.71, 15, 124.96, 16.19, 124.96, 17.65);
    c.LineTo(124.96, 73.32);
    c.CurveTo(124.96, 74.78, 123.71, 75.98, 122.19, 75.98);
    FilledOutlined(c, kHousing, kHousing, 0.67);
    // Front plate, 2 units taller under the control panel.
    c.MoveTo(84.62, 71.98);
    c.LineTo(5.35, 71.98);
    c.CurveTo(4.61, 71.98, 4, 71.37, 4, 70.63);
    c.LineTo(4, 19.34);
    c.CurveTo(4, 18.6, 4.61, 17.99, 5.35, 17.99);
    c.LineTo(82.04, 17.99);
    c.CurveTo(82.56, 17.99, 83.34, 18.02, 84.62, 17.99);
    c.CurveTo(85.97, 17.99, 87.58, 15.99, 88.85, 15.99);
    c.LineTo(90.42, 15.99);
    c.LineTo(123.09, 15.99);
    c.CurveTo(123.57, 15.99, 123.96, 16.39, 123.96, 16.87);
    c.LineTo(123.96, 73.1);
    c.CurveTo(123.96, 73.58, 123.57, 73.98, 123.09, 73.98);
    c.CurveTo(112.01, 73.98, 100.93, 73.98, 89.85, 73.98);
    c.CurveTo(87.97, 73.98, 86.97, 71.98, 84.62, 71.98);
    Filled(c, kPlate);
    Box(c, 8.49, 14.49, 19, 3);  // top strip: label frame and slanted strip
    Filled(c, kKeyEdge);
    Polygon(c, {{27.5, 14.5}, {79.97, 14.5}, {75.97, 17.49}, {27.5, 17.49}});
    Filled(c, kHousing);
    RoundedRect(c, 6, 18.99, 89.97, 70.98, 1.27, 1.30);  // bezel, inner frame, screen
    Filled(c, 0x191919);
    RoundedRect(c, 7, 20.99, 87.97, 67.98, 0.71);
    FilledOutlined(c, 0x000000, 0x000000, kThin);
    Box(c, 9, 22.99, 77.98, 43.99);
    FilledOutlined(c, 0x191919, 0x000000, kThin);
    RoundedRect(c, 90.97, 16.99, 122.96, 72.98, 0.80, 0.75);  // panel face and sections
    FilledOutlined(c, kFace, kHousing, 0.67);
    RoundedRect(c, 92.86, 17.99, 121.85, 26.99, 0.50, 0.45);
    Filled(c, kHousing);
    RoundedRect(c, 92.97, 27.99, 98.97, 37.99, 0.30, 0.28);
    Filled(c, kHousing);
    RoundedRect(c, 99.97, 27.99, 121.96, 37.99, 0.5);
    Outlined(c, 0x999999, 0.67);
    RoundedRect(c, 92.97, 38.99, 105.97, 67.98, 0.65);
    Filled(c, kHousing);
    RoundedRect(c, 114.96, 38.99, 121.96, 67.98, 0.35, 0.30);
    Filled(c, kHousing);
    RoundedRect(c, 66.98, 76.98, 81.97, 85.97, 0.72, 0.67);  // lower frames and port block
    Outlined(c, 0x999999, 0.67);
    RoundedRect(c, 11, 75.98, 64.98, 86.97, 0.84, 0.82);
    Outlined(c, 0x999999, 0.67);
    Box(c, 85.97, 76.98, 24.99, 9);
    Filled(c, kHousing);
    Box(c, 87.97, 77.98, 12, 7);
    Filled(c, kPlate);
    Box(c, 99.97, 77.98, 1, 7);
    Filled(c, 0x999999);
    Box(c, 100.97, 77.98, 8, 7);
    Filled(c, kPlate);
    Box(c, 90.97, 78.98, 5, 2);
    FilledOutlined(c, 0x666666, 0x4C4C4C, 0.67);
    Box(c, 90.97, 81.98, 5, 2);
    FilledOutlined(c, 0x666666, 0x4C4C4C, 0.67);
    Box(c, 69.98, 78.98, 9, 5);
    FilledOutlined(c, 0x000000, 0x000000, kThin);
    Box(c, 10.49, 14.99, 15, 2);  // label
    Filled(c, 0x336699);
    RoundedRect(c, 6, 78.98, 9, 83.97, 0.45, 0.44);  // small key at the lower left
    FilledOutlined(c, kLavender, kKeyEdge, kThin);
    struct uKey {
        double x, y;
        uint32_t uFill, uEdge;
    };
    constexpr uint32_t kEdge = kKeyEdge;
    const uKey mKeys[28] = {
        {93.86, 18.99, kLavender, kEdge},  {93.86, 22.99, kLavender, kEdge},  {100.86, 22.99, kLavender, kEdge},
        {100.86, 29.99, 0x4C4C4C, kEdge},  {100.86, 33.99, kLavender, kEdge}, {99.86, 43, kLavender, 0xFFFF00},
        {107.86, 43, 0xFFFFFF, kEdge},     {107.86, 48, kLavender, kEdge},    {107.86, 53, 0xFFFFFF, kEdge},
        {107.86, 58, 0xFFFFFF, kEdge},     {107.86, 63, kLavender, kEdge},    {107.86, 69, kLavender, kEdge},
        {100.86, 69, 0xFFFFFF, kEdge},     {92.86, 69, kLavender, kEdge},     {115.86, 69, kLavender, kEdge},
        {115.86, 56, kLavender, kEdge},    {115.86, 50, kLavender, kEdge},    {99.86, 48, kLavender, 0xFF00FF},
        {99.86, 53, kLavender, 0x00CCFF},  {99.86, 58, kLavender, 0x99FF99},  {99.86, 63, kLavender, kEdge},
        {107.86, 33.99, kLavender, kEdge}, {107.86, 29.99, kLavender, kEdge}, {107.86, 22.99, 0x66FFCC, kEdge},
        {115.86, 22.99, 0xFFFFFF, kEdge},  {100.86, 18.99, 0xCCCCFF, kEdge},  {107.86, 18.99, 0x6666FF, kEdge},
        {115.86, 18.99, kLavender, kEdge},
    };
    for (const uKey& k : mKeys) {
        const double h = (k.y == 43 || k.y == 48) ? 2.99 : 3;
        RoundedRect(c, k.x, k.y, k.x + 5.11, k.y + h, 0.57, 0.45);
        // The channel keys are edged in their colour, wider.
        FilledOutlined(c, k.uFill, k.uEdge, k.uEdge == kEdge ? kThin : 0.67);
    }
    for (double y : {49.98, 55.98}) {
        RoundedRect(c, 93.97, y, 98.97, y + 3, 0.63, 0.75);
        FilledOutlined(c, kLavender, kEdge, kThin);
    }
    Circle(c, 117.96, 81.97, 4);  // round socket
    Filled(c, kHousing);
    struct uKnob {
        double x, y, rDisc, rCore;
    };
    const uKnob mKnobs[6] = {{118.96, 43.97, 3, 2},    {118.96, 63.97, 2.5, 1.5}, {95.96, 63.97, 2.5, 1.5},
                             {95.96, 30.97, 2.5, 1.5}, {118.96, 30.97, 2.5, 1.5}, {95.96, 43.97, 3, 2}};
    for (const uKnob& k : mKnobs) {
        Circle(c, k.x, k.y, k.rDisc);
        Filled(c, 0x666666);
    }
    const double xInputs[4] = {52.96, 40.96, 28.96, 16.96};  // right to left
    for (double x : xInputs) {
        Circle(c, x, 80.97, 4);
        FilledOutlined(c, 0xFFCC00, kPlate, 0.76);
    }
    const uint32_t mFrameColours[4] = {0x99CC66, 0x00FFFF, 0xFF99CC, 0xFFFF00};
    for (int i = 0; i < 4; ++i) {
        SdsInputFrame(c, xInputs[i]);
        Outlined(c, mFrameColours[i], 0.67);
    }
    Circle(c, 117.96, 81.97, 2);  // cores
    FilledOutlined(c, kFace, 0x666666, 0.67);
    for (const uKnob& k : mKnobs) {
        Circle(c, k.x, k.y, k.rCore);
        FilledOutlined(c, 0x999999, 0xFFFFFF, 0.67);
    }
    for (double x : xInputs) {
        Circle(c, x, 80.97, 2);
        FilledOutlined(c, kFace, 0x666666, 0.67);
    }
    SineTrace(c, {9.87, 57.53, 30.85, 57.46, 30.95}, {18.13, 26.58, 34.84, 43.29, 51.55, 59.81, 68.26, 76.52, 84.97},
              {14.01, 22.36, 30.7, 39.04, 47.38, 55.73, 64.07, 72.41, 80.76});
    Outlined(c, 0xFFFF66, 1);
    Box(c, 9, 22.99, 77.98, 3);  // screen bars and channel tabs
    Filled(c, 0x333333);
    Box(c, 9, 60.98, 77.98, 6);
    Filled(c, 0x333333);
    for (int k = 0; k < 4; ++k) {
        Box(c, 9 + 8 * k, 61.98, 7, 5);
        FilledOutlined(c, k == 3 ? 0x4C4C4C : 0x666666, 0x191919, kThin);
    }
    const uint32_t mMarks[3] = {0xFFFF00, 0xFF00FF, 0x00CCFF};
    for (int k = 0; k < 3; ++k) {
        Box(c, 9 + 8 * k, 61.98, 3, 1);
        FilledOutlined(c, mMarks[k], mMarks[k], kThin);
    }
    Line(c, 104.97, 78.98, 104.97, 80.97);  // port contacts
    Outlined(c, 0x666666, 1.33);
    Line(c, 104.97, 81.98, 104.97, 83.97);
    Outlined(c, 0x666666, 1.33);
    Line(c, 120.96, 35.99, 118.96, 35.99);  // frame dashes
    Outlined(c, 0x666666, 1.33);
    Line(c, 117.96, 35.99, 115.96, 35.99);
    Outlined(c, 0x666666, 1.33);
}

void Rtb2000(Canvas& c) {
    constexpr uint32_t kLight = 0xCCCCCC, kGrey = 0x999999, kMark = 0x7F7F7F;
    Polygon(c, {{3.98, 28.95}, {10.05, 21.03}, {117.95, 21.03}, {124.02, 28.95}, {124.02, 84.99}, {117.95, 92.92},
                {10.05, 92.92}, {3.98, 84.99}});
    FilledOutlined(c, 0xE5E5E5, kGrey, 1);
    Box(c, 10, 33.97, 68.98, 34.99);  // screen, top bar, bottom bar
    Filled(c, 0x333333);
    Box(c, 10, 28.98, 68.98, 5);
    Filled(c, kMark);
    Box(c, 10, 68.96, 68.98, 5.01);
    Filled(c, 0x666666);
    Box(c, 100.97, 28.98, 17.99, 45.99);  // control panel: dark part, blue part
    Filled(c, 0x4C4C4C);
    Box(c, 82.97, 28.98, 18, 45.99);
    Filled(c, 0x336699);
    struct uKnob {
        double x, y, r;
        uint32_t uRing;
    };
    const uKnob mKnobs[6] = {{94.47, 33.47, 2.5, kGrey},  {94.47, 43.97, 2.5, kGrey},   {94.47, 53.97, 2.5, 0xFFFF66},
                             {109.96, 36.97, 2.5, kGrey}, {109.96, 58.97, 2.5, kGrey}, {94.47, 65.96, 3, 0xFFFF66}};
    for (const uKnob& k : mKnobs) {
        Circle(c, k.x, k.y, k.r);
        FilledOutlined(c, kLight, k.uRing, 1);
    }
    const double xConnectors[6] = {115.96, 105.96, 95.96, 85.96, 75.96, 17};
    for (double x : xConnectors) {
        Circle(c, x, 83.96, 3);
        Filled(c, kLight);
    }
    for (double x : xConnectors) {
        Circle(c, x, 83.96, 2);
        FilledOutlined(c, 0xFFCC00, kGrey, 1);
    }
    Box(c, 7, 81.96, 4, 3);  // green key, two slots, port
    FilledOutlined(c, 0x33CC66, 0x009933, 1);
    Box(c, 39.99, 81.96, 13, 3);
    FilledOutlined(c, kMark, 0xB2B2B2, 1);
    Box(c, 54.99, 81.96, 13, 3);
    FilledOutlined(c, kMark, 0xB2B2B2, 1);
    Box(c, 22.99, 81.96, 4, 3);
    FilledOutlined(c, 0x666666, kGrey, 1);
    for (double x : {28.99, 31.99, 33.99, 35.99, 37.99}) {
        Line(c, x, 84.96, x, 82.96);
        Outlined(c, kMark, 1);
    }
    Line(c, 5, 78.96, 122.96, 78.96);  // divider
    Outlined(c, kMark, 1);
    Box(c, 12, 24.98, 16.99, 2);  // strips above the display
    Filled(c, 0x6699FF);
    Box(c, 31, 24.98, 5.99, 2);
    Filled(c, kGrey);
    for (auto [x1, x2] : {std::pair{38.99, 51.98}, std::pair{53.99, 59.49}}) {
        c.MoveTo(x2, 24.98);
        c.LineTo(x1, 24.98);
        c.LineTo(x1, 26.98);
        c.LineTo(x2, 26.98);
        c.LineTo(x2, 24.98);
        Filled(c, kGrey);
    }
    struct uKey {
        double x, y;
        uint32_t uFill;
    };
    const uKey mKeys[31] = {
        {83.97, 31.98, kGrey},     {83.97, 36.98, kGrey},     {83.97, 41.98, kGrey},     {83.97, 49.98, 0xFFFF99},
        {83.97, 55.98, kLight},    {83.97, 60.98, kLight},    {83.97, 65.98, kLight},    {83.97, 70.98, kLight},
        {89.97, 70.98, kLight},    {95.97, 70.98, kLight},    {101.97, 31.98, kGrey},    {101.97, 35.98, 0xFFFF99},
        {101.97, 39.98, 0xE5E5E5}, {101.97, 46.98, kGrey},    {101.97, 50.98, kLight},   {101.97, 62.98, kGrey},
        {101.97, 66.98, kGrey},    {101.97, 70.98, kLight},   {107.97, 46.98, kGrey},    {107.97, 50.98, kGrey},
        {107.97, 62.98, kGrey},    {107.97, 66.98, kGrey},    {107.97, 70.98, kLight},   {113.97, 31.98, 0xFF0066},
        {113.97, 35.98, kLight},   {113.97, 39.98, kGrey},    {113.97, 46.98, 0x33CC99}, {113.97, 50.98, 0x33CC99},
        {113.97, 62.98, kGrey},    {113.97, 66.98, kGrey},    {113.97, 70.98, kGrey},
    };
    for (const uKey& k : mKeys) {
        Box(c, k.x, k.y, 4, 2);
        Filled(c, k.uFill);
    }
    Circle(c, 16.49, 31.47, 1.5);  // markers in the top bar
    Filled(c, kLight);
    Circle(c, 21.49, 31.48, 1.5);
    Filled(c, kLight);
    Box(c, 24.99, 29.98, 3, 3);
    Filled(c, kLight);
    const uKey mMarkers[6] = {{11.5, 69.46, 0xFFFF00},  {22.49, 69.46, 0xB2B2B2}, {34.49, 69.46, 0xB2B2B2},
                              {46.49, 69.46, 0xB2B2B2}, {58.48, 69.46, 0xB2B2B2}, {74.48, 69.47, 0x6699FF}};
    for (const uKey& m : mMarkers) {  // markers in the bottom bar
        Box(c, m.x, m.y, 3, 3);
        Filled(c, m.uFill);
    }
    Box(c, 47.49, 30.48, 2, 2);
    Filled(c, 0xFFFF99);
    Box(c, 42.99, 28.98, 3, 5);
    Filled(c, 0x4C4C4C);
    SineTrace(c, {11, 63.75, 39.61, 63.69, 39.7}, {18.36, 25.9, 33.27, 40.8, 48.17, 55.53, 63.07, 70.44, 77.98},
              {14.69, 22.13, 29.57, 37.01, 44.45, 51.89, 59.33, 66.77, 74.21});
    Outlined(c, 0xFFFF66, 1);
}

void Hm2008(Canvas& c) {
    constexpr uint32_t kBody = 0xE5E5E5, kLine = 0xB2B2B2, kWhite = 0xFFFFFF, kSoftkey = 0x336699;
    RoundedRect(c, 2, 37.99, 125.96, 91.97, 2.7);
    FilledOutlined(c, kBody, kLine, 0.67);
    struct uPatch {
        double x, y, w, h;
        uint32_t uFill;
    };
    const uPatch mPatches[8] = {{79.97, 51.98, 6, 4, 0x6699FF},    {79.97, 39.99, 6, 5.99, 0xB2B2B2},
                                {79.97, 66.99, 6, 5.99, 0xB2B2B2}, {103.98, 73.98, 6, 5.01, 0x6699FF},
                                {79.97, 55.98, 6, 3, 0x33CC66},    {106.98, 51.98, 6, 4, 0xB2B2B2},
                                {96.97, 42.99, 7, 3, 0x6699FF},    {96.97, 39.99, 7, 3, 0x33CC66}};
    for (const uPatch& p : mPatches) {
        Box(c, p.x, p.y, p.w, p.h);
        Filled(c, p.uFill);
    }
    RoundedRect(c, 6, 40.99, 60.98, 83.97, 1.72);  // bezel and screen
    FilledOutlined(c, kBody, 0xCCCCCC, 0.67);
    RoundedRect(c, 11, 44.99, 54.98, 79.97, 1.4);
    Filled(c, 0x00AED9);
    Box(c, 6, 85.97, 54.98, 5);  // label strip
    Outlined(c, kLine, 0.67);
    // Control panel: outline with square left corners, sections and blocks.
    c.MoveTo(67.98, 39.99);
    c.LineTo(121.96, 39.99);
    c.CurveTo(123.06, 39.99, 123.96, 40.89, 123.96, 41.99);
    c.LineTo(123.96, 87.97);
    c.CurveTo(123.96, 89.07, 123.06, 89.97, 121.96, 89.97);
    c.LineTo(67.98, 89.97);
    c.LineTo(67.98, 39.99);
    Outlined(c, kLine, 0.67);
    Box(c, 68.98, 51.98, 25.99, 20.99);
    Outlined(c, kLine, 0.67);
    Box(c, 96.97, 51.98, 13, 20.99);
    FilledOutlined(c, kLine, kLine, 0.67);
    Box(c, 109.97, 51.98, 12, 26.99);
    Outlined(c, kLine, 0.67);
    c.MoveTo(96.97, 79.97);
    c.LineTo(123.96, 79.97);
    c.LineTo(123.96, 89.22);
    c.CurveTo(123.96, 89.63, 123.61, 89.97, 123.18, 89.97);
    c.LineTo(96.97, 89.97);
    c.LineTo(96.97, 79.97);
    Filled(c, kLine);
    Box(c, 67.98, 79.97, 26.99, 10);
    Filled(c, kLine);
    Box(c, 106.98, 55.98, 6, 3);  // last key patch
    Filled(c, 0x33CC66);
    // Power button: an oval turned 30 degrees.
    c.MoveTo(65.23, 42.19);
    c.CurveTo(66.42, 42.88, 67.06, 44.02, 66.64, 44.74);
    c.CurveTo(66.23, 45.45, 64.93, 45.48, 63.73, 44.79);
    c.CurveTo(62.53, 44.09, 61.9, 42.95, 62.32, 42.24);
    c.CurveTo(62.73, 41.52, 64.03, 41.5, 65.23, 42.19);
    Filled(c, 0xCC3300);
    for (double x : {100.48, 119.48}) {  // oval keys
        c.AddEllipse(x, 43.49, 2.5, 1.5);
        FilledOutlined(c, kWhite, kKeyEdge, kThin);
    }
    Box(c, 61.98, 48.98, 4, 3);  // first softkey
    Filled(c, kSoftkey);
    const double mKeys[24][2] = {
        {80.98, 41.98}, {104.98, 41.98}, {110.98, 41.98}, {98.98, 46.98}, {104.98, 46.98}, {110.98, 46.98},
        {116.98, 46.98}, {80.98, 47.98}, {80.98, 53.98},  {107.98, 53.98}, {97.98, 59.99}, {104.98, 59.99},
        {97.98, 64.99}, {104.98, 64.99}, {80.98, 68.99},  {97.98, 69.99},  {104.98, 69.99}, {72.98, 74.99},
        {80.98, 74.99}, {88.98, 74.99},  {97.98, 74.99},  {104.98, 74.99}, {110.98, 74.99}, {116.98, 74.99}};
    for (const auto& k : mKeys) {
        Box(c, k[0], k[1], 4, 3);
        FilledOutlined(c, kWhite, kKeyEdge, kThin);
    }
    for (double y : {53.98, 58.99, 63.99, 68.99, 73.99, 81.99}) {  // other softkeys
        Box(c, 61.98, y, 4, 3);
        Filled(c, kSoftkey);
    }
    Box(c, 48.98, 86.99, 4, 3);  // controls of the label strip
    FilledOutlined(c, kWhite, kKeyEdge, kThin);
    for (double x : {58.48, 39.48, 46.48}) {
        Circle(c, x, 88.47, 1.5);
        FilledOutlined(c, kKeyEdge, 0x333333, kThin);
    }
    Box(c, 29.99, 86.97, 6, 3);
    FilledOutlined(c, 0xCCCCCC, kKeyEdge, 0.67);
    // The maker's name, one path of five letters.
    constexpr double kCap = 87.06, kBase = 89.97;
    Glyphs::Add(c, 'H', Glyphs::InBox(7.3, kCap, 9.75, kBase));
    Glyphs::Add(c, 'A', Glyphs::InBox(10.04, kCap, 12.8, kBase));
    Glyphs::Add(c, 'M', Glyphs::InBox(13.09, kCap, 16.06, kBase));
    Glyphs::Add(c, 'E', Glyphs::InBox(16.66, kCap, 18.63, kBase));
    Glyphs::Add(c, 'G', Glyphs::InBox(18.96, kCap, 21.56, kBase));
    Filled(c, 0x333333);
    for (auto [x, y] : {std::pair{74.98, 43.99}, {74.98, 55.99}, {89.98, 55.99}, {102.98, 55.99}, {116.98, 55.99}}) {
        Circle(c, x, y, 2);  // small knobs
        FilledOutlined(c, kWhite, kKeyEdge, kThin);
    }
    for (double x : {74.48, 90.48, 116.48}) {  // large knobs
        Circle(c, x, 67.48, 3.5);
        FilledOutlined(c, kWhite, kKeyEdge, kThin);
    }
    Box(c, 97.97, 84.97, 12, 4);  // slot, connectors, socket
    FilledOutlined(c, 0xCCCCCC, 0x999999, 0.67);
    const double xConnectors[3] = {74.98, 89.98, 116.98};
    for (double x : xConnectors) {
        Circle(c, x, 84.97, 4);
        Filled(c, 0xFFCC00);
    }
    for (double x : xConnectors) {
        Circle(c, x, 84.97, 2);
        FilledOutlined(c, kBody, kLine, 0.67);
    }
    Circle(c, 81.97, 86.97, 1);
    FilledOutlined(c, kBody, kKeyEdge, 0.67);
    for (double y : {49.98, 54.98, 59.98, 64.98, 69.99, 74.99}) {  // softkey leader lines
        Line(c, 61.98, y, 54.98, y);
        Outlined(c, kLine, 0.67);
    }
    SineTrace(c, {11.92, 50.61, 74.75, 50.7, 74.69}, {19.01, 25.94, 33.02, 39.95, 46.88, 53.96},
              {15.46, 22.46, 29.46, 36.45, 43.45, 50.45});
    Outlined(c, 0x99FFFF, 1);
}

} // namespace BenchScopePictures
