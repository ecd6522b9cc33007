#include "icons/ToolbarIcons.h"

#include "icons/VectorCanvas.h"

namespace ToolbarIcons {

using namespace VectorCanvas;

namespace {

constexpr uint32_t kWhite = 0xFFFFFF;
constexpr uint32_t kBlue = 0x6699FF;
constexpr uint32_t kGreen = 0x33CC66;
constexpr double kLine = 1.33;

// A green round badge with a white plus centred on (x, y).
void PlusBadge(Canvas& c, double x, double y) {
    c.AddEllipse(x, y, 6, 6);
    Filled(c, kGreen);
    c.AddBox(x - 1, y - 4, 2, 8);
    Filled(c, kWhite);
    c.AddBox(x - 4, y - 1, 8, 2);
    Filled(c, kWhite);
}

// A window of the arrangement icons: white with a blue outline.
void ArrangedWindow(Canvas& c, double x1, double y1, double x2, double y2, double rx, double ry) {
    RoundedRect(c, x1, y1, x2, y2, rx, ry);
    FilledOutlined(c, kWhite, kBlue, kLine);
}

// A title bar of the arrangement icons, 3 units high.
void TitleBar(Canvas& c, double x, double y, double w) {
    c.AddBox(x, y, w, 3);
    Filled(c, kBlue);
}

// The plug of the connect icons: a grey disc round (x, y).
void Plug(Canvas& c, double x, double y) {
    c.AddEllipse(x, y, 6, 6);
    FilledOutlined(c, 0x999999, 0x666666, kLine);
}

// A yellow contact of the plug.
void Contact(Canvas& c, double x1, double y1, double x2, double y2) {
    Line(c, x1, y1, x2, y2);
    Outlined(c, 0xFFFF66, kLine);
}

// The socket of the connect icons: a dark disc round (x, y).
void Socket(Canvas& c, double x, double y) {
    c.AddEllipse(x, y, 6, 6);
    FilledOutlined(c, 0x666666, 0x666666, 0.29);
}

// The characters *IDN? as bold outlines between the baseline y 20.54 and the cap line 11.59.
void IdnLettering(Canvas& c) {
    // Asterisk: five arms, one up, two slightly above the middle and two to the lower corners.
    Polygon(c, {{3.88, 11.44}, {4.6, 11.44}, {4.6, 13.28}, {5.84, 12.88}, {6.06, 13.57},
                {4.82, 13.97}, {5.78, 15.29}, {5.2, 15.71}, {4.24, 14.39}, {3.28, 15.71},
                {2.7, 15.29}, {3.66, 13.97}, {2.42, 13.57}, {2.64, 12.88}, {3.88, 13.28}});
    Polygon(c, {{6.97, 20.54}, {6.97, 11.59}, {8.45, 11.59}, {8.45, 20.54}});
    // D: stem and bowl, then its counter.
    c.MoveTo(9.86, 20.54);
    c.LineTo(9.86, 11.59);
    c.LineTo(12.56, 11.59);
    c.CurveTo(14.76, 11.59, 16.01, 13.24, 16.01, 16.06);
    c.CurveTo(16.01, 18.92, 14.76, 20.54, 12.64, 20.54);
    c.LineTo(9.86, 20.54);
    c.MoveTo(11.33, 19.03);
    c.LineTo(11.33, 13.11);
    c.LineTo(12.01, 13.11);
    c.CurveTo(13.76, 13.11, 14.48, 14.12, 14.48, 16.06);
    c.CurveTo(14.48, 18.03, 13.69, 19.03, 12.45, 19.03);
    c.LineTo(11.33, 19.03);
    Polygon(c, {{17.28, 20.54}, {17.28, 11.59}, {18.72, 11.59}, {21.73, 17.57}, {21.73, 11.59},
                {23.1, 11.59}, {23.1, 20.54}, {21.61, 20.54}, {18.66, 14.7}, {18.66, 20.54}});
    // Question mark: the hook from the foot of its stem round to the cut end on the left.
    c.MoveTo(26.4, 18.23);
    c.LineTo(26.4, 17.15);
    c.CurveTo(26.4, 16.2, 26.8, 15.65, 27.45, 15.1);
    c.CurveTo(27.95, 14.68, 28.2, 14.38, 28.2, 13.93);
    c.CurveTo(28.2, 13.27, 27.72, 12.9, 27.06, 12.9);
    c.CurveTo(26.38, 12.9, 25.95, 13.36, 25.9, 14.2);
    c.LineTo(24.45, 14.05);
    c.CurveTo(24.55, 12.45, 25.55, 11.5, 27.1, 11.5);
    c.CurveTo(28.72, 11.5, 29.72, 12.46, 29.72, 13.82);
    c.CurveTo(29.72, 14.82, 29.17, 15.42, 28.53, 15.96);
    c.CurveTo(27.9, 16.5, 27.68, 16.8, 27.68, 17.45);
    c.LineTo(27.68, 18.23);
    c.LineTo(26.4, 18.23);
    Polygon(c, {{26.4, 20.54}, {26.4, 18.83}, {27.81, 18.83}, {27.81, 20.54}});
}

} // namespace

void Window(Canvas& c) {
    RoundedRect(c, 1, 4, 30.99, 27.99, 1.2);
    FilledOutlined(c, kWhite, kBlue, kLine);
    c.AddBox(1, 4, 29.99, 4);
    Filled(c, kBlue);
}

void NewWindow(Canvas& c) {
    Window(c);
    PlusBadge(c, 24.99, 24.99);
}

void NewScript(Canvas& c) {
    Window(c);
    Polygon(c, {{10, 11.94}, {22, 17.94}, {10, 24}});
    Filled(c, kGreen);
}

void Preferences(Canvas& c) {
    // Eight teeth round (16, 16), then the round hole in the middle.
    Polygon(c, {{18.9, 6.37},   {16.99, 2},     {15, 2},        {13.09, 6.38},  {11.24, 7.14},
                {6.8, 5.4},     {5.39, 6.81},   {7.14, 11.25},  {6.37, 13.1},   {2, 15.01},
                {2, 17},        {6.38, 18.91},  {7.14, 20.76},  {5.4, 25.2},    {6.81, 26.61},
                {11.25, 24.86}, {13.1, 25.62},  {15.01, 30},    {17, 30},       {18.91, 25.62},
                {20.76, 24.86}, {25.2, 26.6},   {26.61, 25.19}, {24.86, 20.75}, {25.62, 18.9},
                {30, 16.99},    {30, 15},       {25.62, 13.09}, {24.86, 11.24}, {26.6, 6.8},
                {25.19, 5.39},  {20.75, 7.14}});
    c.MoveTo(15.99, 11);
    c.CurveTo(18.76, 11, 20.99, 13.23, 20.99, 15.99);
    c.CurveTo(20.99, 18.76, 18.76, 20.99, 15.99, 20.99);
    c.CurveTo(13.23, 20.99, 11, 18.76, 11, 15.99);
    c.CurveTo(11, 13.23, 13.23, 11, 15.99, 11);
    Filled(c, kBlue);
}

void ShowWindows(Canvas& c) {
    Window(c);
    c.MoveTo(8.34, 26.75);
    c.LineTo(20.27, 20.81);
    c.LineTo(25.76, 26.3);
    c.LineTo(27.76, 4.23);
    c.LineTo(5.69, 6.23);
    c.LineTo(11.18, 11.72);
    c.LineTo(4.24, 22.65);
    c.CurveTo(2.09, 26.05, 3.97, 28.92, 8.34, 26.75);
    Filled(c, kGreen);
}

void SelectInstrument(Canvas& c) {
    // Feet.
    c.MoveTo(3.99, 24.52);
    c.LineTo(5.74, 24.52);
    c.CurveTo(5.95, 24.52, 6.12, 24.35, 6.12, 24.14);
    c.LineTo(6.12, 23.02);
    c.LineTo(3.62, 23.02);
    c.LineTo(3.62, 24.14);
    c.CurveTo(3.62, 24.35, 3.79, 24.52, 3.99, 24.52);
    Filled(c, 0x7F7F7F);
    c.MoveTo(26.26, 24.53);
    c.LineTo(28.01, 24.53);
    c.CurveTo(28.21, 24.53, 28.38, 24.36, 28.38, 24.16);
    c.LineTo(28.38, 23.03);
    c.LineTo(25.88, 23.03);
    c.LineTo(25.88, 24.16);
    c.CurveTo(25.88, 24.36, 26.05, 24.53, 26.26, 24.53);
    Filled(c, 0x7F7F7F);
    // Screen and trace, seen through the opening of the body.
    c.AddBox(2.49, 8.02, 20, 12);
    Filled(c, 0x666666);
    Polyline(c, {{1.66, 16.85}, {4.15, 10.94}, {6.91, 16.91}, {9.66, 10.94}, {12.41, 16.91},
                 {15.16, 10.94}, {17.91, 16.91}, {20.74, 10.94}, {23.49, 16.91}});
    Outlined(c, 0xFFFF00, kLine);
    // Body with the screen opening; its left corners are 2.07 across, the others 2.06.
    c.MoveTo(3.06, 6.52);
    c.LineTo(28.93, 6.52);
    c.CurveTo(30.06, 6.52, 30.99, 7.45, 30.99, 8.58);
    c.LineTo(30.99, 20.96);
    c.CurveTo(30.99, 22.09, 30.06, 23.02, 28.93, 23.02);
    c.LineTo(3.06, 23.02);
    c.CurveTo(1.92, 23.02, 0.99, 22.09, 0.99, 20.96);
    c.LineTo(0.99, 8.58);
    c.CurveTo(0.99, 7.45, 1.92, 6.52, 3.06, 6.52);
    c.MoveTo(2.49, 8.02);
    c.LineTo(22.49, 8.02);
    c.LineTo(22.49, 20.02);
    c.LineTo(2.49, 20.02);
    c.LineTo(2.49, 8.02);
    Filled(c, kBlue);
    // Knobs, lamps, slots and the power key.
    c.AddEllipse(25.99, 18.52, 1, 1);
    Filled(c, 0xFFFFCC);
    c.AddEllipse(28.99, 16.02, 1, 1);
    Filled(c, 0xFFFFCC);
    c.AddEllipse(25.99, 11.52, 1, 1);
    Filled(c, 0xFFFFCC);
    c.AddEllipse(25.99, 9.02, 0.75, 0.75);
    Filled(c, 0xFFFFCC);
    c.AddEllipse(25.99, 14.52, 0.75, 0.75);
    Filled(c, 0xFFFFCC);
    for (double x : {28.49, 25.99, 23.49, 20.99}) {
        c.AddEllipse(x, 21.52, 0.75, 0.75);
        Filled(c, 0xFFCC00);
    }
    c.AddBox(14.99, 21.02, 3.5, 1);
    Filled(c, 0x666666);
    c.AddBox(10.74, 21.02, 3.5, 1);
    Filled(c, 0x666666);
    RoundedRect(c, 2.49, 21.02, 3.99, 22.02, 0.25);
    Filled(c, 0x33CC33);
    // Keys: a grey and a red one at the top, then five grey ones down the left column.
    RoundedRect(c, 22.99, 8.52, 24.49, 9.52, 0.25);
    Filled(c, 0xCCCCCC);
    RoundedRect(c, 28.24, 8.52, 29.74, 9.52, 0.25);
    Filled(c, 0xFF0066);
    RoundedRect(c, 28.24, 10.52, 29.74, 11.52, 0.25);
    Filled(c, 0xCCCCCC);
    for (double y : {10.52, 12.52, 14.52, 16.52, 18.52}) {
        RoundedRect(c, 22.99, y, 24.49, y + 1, 0.25);
        Filled(c, 0xCCCCCC);
    }
    // Handle arching over the body.
    c.MoveTo(25.12, 6.52);
    c.CurveTo(25.2, 6.34, 25.24, 6.13, 25.24, 5.92);
    c.LineTo(25.24, 5.12);
    c.CurveTo(25.24, 4.24, 24.52, 3.52, 23.64, 3.52);
    c.LineTo(7.84, 3.52);
    c.CurveTo(6.96, 3.52, 6.24, 4.24, 6.24, 5.12);
    c.LineTo(6.24, 5.92);
    c.CurveTo(6.24, 6.13, 6.29, 6.34, 6.36, 6.52);
    c.LineTo(7.79, 6.52);
    c.CurveTo(7.76, 6.44, 7.74, 6.36, 7.74, 6.27);
    c.LineTo(7.74, 5.27);
    c.CurveTo(7.74, 4.86, 8.08, 4.52, 8.49, 4.52);
    c.LineTo(22.99, 4.52);
    c.CurveTo(23.4, 4.52, 23.74, 4.86, 23.74, 5.27);
    c.LineTo(23.74, 6.27);
    c.CurveTo(23.74, 6.36, 23.73, 6.44, 23.7, 6.52);
    c.LineTo(25.12, 6.52);
    Filled(c, 0x999999);
    PlusBadge(c, 25.04, 25.04);
}

void Disconnect(Canvas& c) {
    c.MoveTo(28.99, 3);
    c.CurveTo(29.92, 3.95, 31.11, 5.1, 29.98, 5.99);
    c.CurveTo(25.98, 7.99, 27.04, 9, 27.03, 11.01);
    c.LineTo(20.99, 5.2);
    c.CurveTo(22.99, 5.2, 23.98, 4.99, 26.03, 2.01);
    c.CurveTo(27.11, 0.76, 28.05, 2.04, 28.99, 3);
    Filled(c, 0x666666);
    c.MoveTo(2.44, 29.5);
    c.CurveTo(1.51, 28.55, 0.32, 27.4, 1.45, 26.51);
    c.CurveTo(5.45, 24.51, 5.4, 22.5, 5.4, 20.49);
    c.LineTo(11.44, 26.31);
    c.CurveTo(9.44, 26.31, 7.45, 27.51, 5.4, 30.49);
    c.CurveTo(4.33, 31.75, 3.38, 30.46, 2.44, 29.5);
    Filled(c, 0x666666);
    Plug(c, 21.09, 11.03);
    Contact(c, 23.82, 11, 20.99, 13.82);
    Contact(c, 20.99, 8.17, 18.17, 11);
    Socket(c, 11.04, 20.98);
}

void Connect(Canvas& c) {
    c.MoveTo(28.99, 3);
    c.CurveTo(29.92, 3.95, 31.11, 5.1, 29.98, 5.99);
    c.CurveTo(25.98, 7.99, 24.04, 12, 24.03, 14.01);
    c.LineTo(17.99, 8.2);
    c.CurveTo(19.99, 8.2, 23.98, 4.99, 26.03, 2.01);
    c.CurveTo(27.11, 0.76, 28.05, 2.04, 28.99, 3);
    Filled(c, 0x666666);
    c.MoveTo(3.44, 28.5);
    c.CurveTo(2.51, 27.55, 1.32, 26.4, 2.45, 25.51);
    c.CurveTo(6.45, 23.51, 8.4, 19.5, 8.4, 17.49);
    c.LineTo(14.44, 23.31);
    c.CurveTo(12.44, 23.31, 8.45, 26.51, 6.4, 29.49);
    c.CurveTo(5.33, 30.75, 4.38, 29.47, 3.44, 28.5);
    Filled(c, 0x666666);
    Plug(c, 18.09, 14.03);
    Contact(c, 20.82, 14, 17.99, 16.82);
    Contact(c, 17.99, 11.17, 15.17, 13.99);
    Socket(c, 14.04, 17.98);
}

void ScpiCommand(Canvas& c) {
    c.AddBox(1, 8, 29.99, 15.99);
    FilledOutlined(c, kWhite, kBlue, kLine);
    IdnLettering(c);
    Filled(c, 0x7F7F7F);
}

void Screenshot(Canvas& c) {
    RoundedRect(c, 4, 6, 8, 8, 0.3);
    FilledOutlined(c, 0x999999, 0x4C4C4C, 0.67);
    RoundedRect(c, 2, 8, 29.99, 25.99, 1.8);
    FilledOutlined(c, 0xCCCCFF, 0x666666, kLine);
    c.AddEllipse(19.99, 17.99, 5.75, 5.75);
    FilledOutlined(c, 0xB2B2B2, 0x4C4C4C, kLine);
    c.AddEllipse(19.99, 17.99, 3, 3);
    FilledOutlined(c, 0xE5E5E5, 0x4C4C4C, 0.67);
    RoundedRect(c, 6, 10, 12, 14, 0.6);
    FilledOutlined(c, 0xCCCCCC, 0x7F7F7F, 0.67);
}

void Waveform(Canvas& c) {
    Polyline(c, {{1.15, 18.06}, {4.56, 10}, {8.31, 16.15}, {12.06, 6}, {15.81, 18.15},
                 {19.56, 10}, {23.31, 22.15}, {27.17, 12}, {30.92, 18.15}});
    Outlined(c, kBlue, 1.89);
    Line(c, 6, 3, 6, 30.99);
    Outlined(c, 0x7F7F7F, kLine);
    Line(c, 29.31, 26.25, 2.02, 26.25);
    Outlined(c, 0x7F7F7F, kLine);
}

void Maximize(Canvas& c) {
    ArrangedWindow(c, 1, 3, 30.99, 28.92, 0.82, 0.9);
    TitleBar(c, 1, 3, 30);
}

void Adapt(Canvas& c) {
    ArrangedWindow(c, 1, 3, 15, 28.99, 1.05, 0.97);
    TitleBar(c, 1, 3, 14);
    ArrangedWindow(c, 16.99, 3, 30.99, 15, 0.9, 0.9);
    ArrangedWindow(c, 16.99, 16.99, 30.99, 28.99, 0.9, 0.9);
    TitleBar(c, 17, 3, 14);
    TitleBar(c, 17, 16.99, 14);
}

void Cascade(Canvas& c) {
    ArrangedWindow(c, 1.26, 1.12, 20.99, 16.12, 1.01, 1.13);
    TitleBar(c, 1.26, 1.12, 19.73);
    ArrangedWindow(c, 6.06, 8.06, 25.62, 23.05, 1, 1.12);
    TitleBar(c, 6, 8.06, 19.62);
    // The front window's corners are 1.13 down at the top and 1.12 down at the bottom.
    c.MoveTo(12.02, 14.99);
    c.LineTo(29.97, 14.99);
    c.CurveTo(30.53, 14.99, 30.99, 15.5, 30.99, 16.12);
    c.LineTo(30.99, 28.87);
    c.CurveTo(30.99, 29.49, 30.53, 29.99, 29.97, 29.99);
    c.LineTo(12.02, 29.99);
    c.CurveTo(11.46, 29.99, 11, 29.49, 11, 28.87);
    c.LineTo(11, 16.12);
    c.CurveTo(11, 15.5, 11.46, 14.99, 12.02, 14.99);
    FilledOutlined(c, kWhite, kBlue, kLine);
    TitleBar(c, 11, 15, 19.99);
}

void TileVertically(Canvas& c) {
    ArrangedWindow(c, 1, 3, 15, 28.99, 1.05, 0.97);
    ArrangedWindow(c, 17, 3, 31, 28.99, 1.05, 0.97);
    TitleBar(c, 1, 3, 14);
    TitleBar(c, 17, 3, 14);
}

void TileHorizontally(Canvas& c) {
    ArrangedWindow(c, 1, 3, 30.99, 15, 0.82, 0.9);
    ArrangedWindow(c, 1, 16.99, 30.99, 29, 0.82, 0.9);
    TitleBar(c, 1, 3, 30);
    TitleBar(c, 1, 17, 30);
}

} // namespace ToolbarIcons
