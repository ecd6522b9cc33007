#include "icons/ViewerIcons.h"

#include "icons/ToolbarIcons.h"
#include "icons/VectorCanvas.h"

namespace ViewerIcons {

using namespace VectorCanvas;

namespace {

constexpr uint32_t kWhite = 0xFFFFFF;
constexpr uint32_t kBlue = 0x6699FF;
constexpr uint32_t kLightGrey = 0xE5E5E5;
constexpr uint32_t kGrey = 0x7F7F7F;
constexpr uint32_t kGreen = 0x33CC66;
constexpr double kLine = 1.33;
constexpr double kThick = 1.89;
constexpr double kHairline = 0.29;

void StrokedLine(Canvas& c, double x1, double y1, double x2, double y2, uint32_t uColour, double dWidth) {
    Line(c, x1, y1, x2, y2);
    Outlined(c, uColour, dWidth);
}

// A text page with its four lines of writing, 5 units apart.
void Page(Canvas& c, double x, double y, double xLine1, double xLine2, double yFirstLine) {
    c.AddBox(x, y, 16.99, 22.99);
    FilledOutlined(c, kWhite, kBlue, kLine);
    for (int i = 0; i < 4; ++i) {
        const double yLine = yFirstLine + 5 * i;
        StrokedLine(c, xLine1, yLine, xLine2, yLine, 0xB2B2B2, kLine);
    }
}

} // namespace

void SaveAs(Canvas& c) {
    // Disk with its top right corner cut off.
    c.MoveTo(27.19, 2);
    c.LineTo(29.99, 4.8);
    c.LineTo(29.99, 28.59);
    c.CurveTo(29.99, 29.36, 29.36, 29.99, 28.59, 29.99);
    c.LineTo(3.4, 29.99);
    c.CurveTo(2.63, 29.99, 2, 29.36, 2, 28.59);
    c.LineTo(2, 3.4);
    c.CurveTo(2, 2.63, 2.63, 2, 3.4, 2);
    c.LineTo(27.19, 2);
    Filled(c, kBlue);
    // Write-protect hole.
    c.AddBox(4, 25.99, 2, 2);
    FilledOutlined(c, 0x666666, 0x666666, kHairline);
    // Shutter groove, a U open at the top.
    c.MoveTo(25.99, 2);
    c.LineTo(25.99, 10.5);
    c.CurveTo(25.99, 11.32, 25.32, 12, 24.49, 12);
    c.LineTo(7.5, 12);
    c.CurveTo(6.67, 12, 6, 11.32, 6, 10.5);
    c.LineTo(6, 2);
    Outlined(c, 0x99CCCC, kHairline);
    // Label.
    RoundedRect(c, 8, 15.99, 23.99, 27.99, 1.8);
    Filled(c, kLightGrey);
    // Shutter and its opening.
    c.MoveTo(24.99, 2);
    c.LineTo(11, 2);
    c.LineTo(11, 9.65);
    c.CurveTo(11, 10.39, 11.6, 11, 12.35, 11);
    c.LineTo(23.64, 11);
    c.CurveTo(24.39, 11, 24.99, 10.39, 24.99, 9.65);
    c.LineTo(24.99, 2);
    Filled(c, kLightGrey);
    c.AddBox(18.99, 3, 4, 7);
    Filled(c, kBlue);
    // Writing on the label.
    StrokedLine(c, 10, 20.99, 21.99, 20.99, 0x666666, kHairline);
    StrokedLine(c, 10, 24.99, 21.99, 24.99, 0x666666, kHairline);
}

void Copy(Canvas& c) {
    Page(c, 1, 1, 3, 15.99, 5);
    Page(c, 14, 8, 16, 29, 12);
}

void Scale(Canvas& c) {
    c.AddBox(1.12, 2.62, 29.77, 16.74);
    FilledOutlined(c, kLightGrey, kGrey, kLine);
    Wave(c, {{0.99, 16.69}, {5.26, 6.7}, {9.53, 16.69}, {13.8, 6.7}, {18.07, 16.69},
             {22.33, 6.7}, {26.6, 16.69}, {30.87, 6.7}});
    Outlined(c, kGrey, kLine);
    c.AddBox(3, 14.68, 26, 14.63);
    FilledOutlined(c, kWhite, kBlue, kThick);
    Wave(c, {{3, 25.64}, {6.71, 18.35}, {10.43, 25.64}, {14.14, 18.35}, {17.85, 25.64},
             {21.56, 18.35}, {25.28, 25.64}, {28.99, 18.35}});
    Outlined(c, kBlue, kThick);
}

void AlignWindow(Canvas& c) {
    c.AddBox(1, 3, 29.99, 25.99);
    FilledOutlined(c, kLightGrey, kGrey, kLine);
    // Grey wave with steep flanks: the control points of each half-wave cross over.
    c.MoveTo(1, 24.99);
    c.CurveTo(3.13, 24.99, 3.86, 7, 6, 7);
    c.CurveTo(8.13, 7, 7.86, 24.99, 10, 24.99);
    c.CurveTo(12.13, 24.99, 11.86, 7, 14, 7);
    c.CurveTo(16.13, 7, 15.86, 24.99, 17.99, 24.99);
    c.CurveTo(20.13, 24.99, 19.86, 7, 21.99, 7);
    c.CurveTo(24.13, 7, 23.86, 24.99, 25.99, 24.99);
    c.CurveTo(28.13, 24.99, 28.86, 7, 30.99, 7);
    Outlined(c, kGrey, kLine);
    c.AddBox(5, 10, 21.99, 12);
    FilledOutlined(c, kWhite, kBlue, kThick);
    // Blue wave from the inset's right edge to its left edge.
    c.MoveTo(26.99, 15.99);
    c.CurveTo(26.46, 14.5, 25.92, 13, 24.99, 13);
    c.CurveTo(23.14, 13, 22.85, 18.99, 20.99, 18.99);
    c.CurveTo(19.14, 18.99, 18.85, 13, 16.99, 13);
    c.CurveTo(15.14, 13, 14.85, 18.99, 13, 18.99);
    c.CurveTo(11.14, 18.99, 10.85, 13, 9, 13);
    c.CurveTo(7.14, 13, 6.85, 18.99, 5, 18.99);
    Outlined(c, kBlue, kThick);
}

void Fullscreen(Canvas& c) {
    Wave(c, {{1, 27.98}, {5.29, 4}, {9.57, 27.98}, {13.86, 4}, {18.14, 27.98}, {22.43, 4},
             {26.71, 27.98}, {31, 4}});
    Outlined(c, kBlue, kLine);
    c.AddBox(1, 2, 29.99, 27.99);
    Outlined(c, 0x4C4C4C, 0.67);
}

void List(Canvas& c) {
    ToolbarIcons::Window(c);
    struct uStroke {
        double x1, x2, y;
    };
    const uStroke strokes[] = {
        {4, 10, 12},        {4, 10, 16},        {4, 8, 20},         {4, 8, 24},
        {13, 21.99, 12},    {13, 19.99, 16},    {13, 21.99, 20},    {13, 19.99, 24},
        {24.99, 27.99, 12}, {24.99, 27.99, 16}, {24.99, 27.99, 20}, {23.99, 27.99, 24},
    };
    for (const uStroke& s : strokes) StrokedLine(c, s.x1, s.y, s.x2, s.y, kGrey, 1);
}

void Icons(Canvas& c) {
    ToolbarIcons::Window(c);
    struct uSquare {
        double x, y, w;
        uint32_t uColour;
    };
    const uSquare squares[] = {
        {3.98, 10.94, 5, 0xFF99CC},  {13.98, 19.94, 5, 0xFFCC99}, {13, 10.94, 5.99, 0xCCCCFF},
        {4, 19.94, 5.99, 0xCCFFCC},  {22.98, 10.94, 5, 0xFFFF66}, {22.98, 19.94, 5, 0xCCCCCC},
    };
    for (const uSquare& s : squares) {
        c.AddBox(s.x, s.y, s.w, 5);
        Filled(c, s.uColour);
    }
}

void Refresh(Canvas& c) {
    // Upper arrow, pointing right.
    c.MoveTo(2.07, 16.04);
    c.CurveTo(2.07, 10.55, 5, 4, 20.99, 6);
    c.LineTo(21.99, 2);
    c.LineTo(30.04, 10.04);
    c.LineTo(18.99, 15);
    c.LineTo(20, 11.31);
    c.CurveTo(10, 9, 2.07, 14.04, 2.07, 16.04);
    Filled(c, kGreen);
    // Lower arrow, pointing left: the upper one turned by half a turn.
    c.MoveTo(30.04, 16);
    c.CurveTo(30.04, 21.49, 27.12, 28.04, 11.12, 26.05);
    c.LineTo(10.12, 30.04);
    c.LineTo(2.07, 22);
    c.LineTo(13.12, 17.05);
    c.LineTo(12.12, 20.73);
    c.CurveTo(22.12, 23.05, 30.04, 18, 30.04, 16);
    Filled(c, kGreen);
}

void Folder(Canvas& c) {
    // Back with its tab, running down the left side first.
    c.MoveTo(2.2, 4);
    c.CurveTo(1.54, 4, 1, 4.54, 1, 5.2);
    c.LineTo(1, 26.79);
    c.CurveTo(1, 27.45, 1.54, 27.99, 2.2, 27.99);
    c.LineTo(29.79, 27.99);
    c.CurveTo(30.45, 27.99, 30.99, 27.45, 30.99, 26.79);
    c.LineTo(31.02, 8.15);
    c.CurveTo(31.02, 7.98, 30.88, 7.85, 30.72, 7.85);
    c.LineTo(14.3, 7.85);
    c.CurveTo(14.14, 7.85, 14, 7.71, 14, 7.55);
    c.LineTo(14, 4.3);
    c.CurveTo(14, 4.13, 13.86, 4, 13.7, 4);
    c.LineTo(2.2, 4);
    FilledOutlined(c, 0xCCCCFF, kBlue, kLine);
    // Open front flap with its slanted left edge.
    c.MoveTo(30.99, 11);
    c.LineTo(30.94, 26.79);
    c.CurveTo(30.94, 27.42, 30.08, 27.99, 29.42, 27.99);
    c.LineTo(2.23, 27.99);
    c.CurveTo(1.57, 27.99, 1.18, 27.45, 1.35, 26.79);
    c.LineTo(4.44, 15.15);
    c.CurveTo(4.48, 14.98, 4.66, 14.85, 4.82, 14.85);
    c.LineTo(13.25, 14.85);
    c.CurveTo(13.41, 14.85, 13.58, 14.71, 13.63, 14.55);
    c.LineTo(14.5, 11.3);
    c.CurveTo(14.54, 11.13, 14.72, 11, 14.88, 11);
    c.LineTo(30.99, 11);
    FilledOutlined(c, kLightGrey, kBlue, kLine);
}

} // namespace ViewerIcons
