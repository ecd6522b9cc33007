#include "icons/AboutPicture.h"

#include "icons/Glyphs.h"
#include "icons/VectorCanvas.h"

#include <QPointF>

#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <string>

namespace AboutPicture {

using namespace VectorCanvas;

namespace {

constexpr uint32_t kBlack = 0x000000;
constexpr uint32_t kOlive = 0x666633;
constexpr uint32_t kDarkOlive = 0x333300;
constexpr uint32_t kBase = 0x999999;
constexpr double kEdge = 0.29;

// An ellipse turned by dTurn degrees: its radius ra lies along (cos, -sin) of the turn and rb
// along (sin, cos), so a positive turn moves the lower end of rb to the right.
struct uEllipse {
    QPointF centre;
    double ra, rb, dTurn;

    QPointF U() const { return {std::cos(dTurn * M_PI / 180), -std::sin(dTurn * M_PI / 180)}; }
    QPointF V() const { return {std::sin(dTurn * M_PI / 180), std::cos(dTurn * M_PI / 180)}; }
    double Angle(QPointF p) const {
        const QPointF d = p - centre;
        return std::atan2(QPointF::dotProduct(d, V()) / rb, QPointF::dotProduct(d, U()) / ra);
    }
    QPointF Tangent(double t) const { return -ra * std::sin(t) * U() + rb * std::cos(t) * V(); }
    // A point given in the ellipse's circle terms: angle in degrees, radius as a fraction.
    QPointF At(double dAngle, double dRadius) const {
        const double t = dAngle * M_PI / 180;
        return centre + dRadius * (ra * std::cos(t) * U() + rb * std::sin(t) * V());
    }
};

// Cubic curves from the current point `from` along the ellipse through each join in turn, each
// the usual approximation of its arc (control points 4/3·tan(Δ/4) of the tangent), to two
// decimals. The joins are taken as they stand; the arcs between them are the short ones.
void Along(Canvas& c, const uEllipse& e, QPointF from, std::initializer_list<QPointF> joins) {
    for (const QPointF& to : joins) {
        const double t1 = e.Angle(from);
        double d = e.Angle(to) - t1;
        if (d > M_PI) d -= 2 * M_PI;
        if (d < -M_PI) d += 2 * M_PI;
        const double k = 4.0 / 3.0 * std::tan(d / 4);
        const QPointF c1 = from + k * e.Tangent(t1), c2 = to - k * e.Tangent(t1 + d);
        c.CurveTo(Round2(c1.x()), Round2(c1.y()), Round2(c2.x()), Round2(c2.y()), to.x(), to.y());
        from = to;
    }
}

void Quad(Canvas& c, QPointF a, QPointF b, QPointF d, QPointF e) {
    Polygon(c, {a, b, d, e});
}

// A push button in perspective: the base (a curve and two lines), then its two faces.
struct uButton {
    QPointF start, c1, c2, end, p1, p2;
    QPointF left[4], right[4];
};

void ButtonBase(Canvas& c, const uButton& b) {
    c.MoveTo(b.start.x(), b.start.y());
    c.CurveTo(b.c1.x(), b.c1.y(), b.c2.x(), b.c2.y(), b.end.x(), b.end.y());
    c.LineTo(b.p1.x(), b.p1.y());
    c.LineTo(b.p2.x(), b.p2.y());
    c.LineTo(b.start.x(), b.start.y());
    FilledOutlined(c, kBase, kBlack, kEdge);
}
void ButtonFace(Canvas& c, const QPointF (&p)[4], uint32_t uFill) {
    Quad(c, p[0], p[1], p[2], p[3]);
    FilledOutlined(c, uFill, kBlack, kEdge);
}

// The bottom right button moved by (-3.35, -24) n times.
uButton ColumnButton(int n) {
    const QPointF m(-3.35 * n, -24.0 * n);
    uButton b{{369.32, 61.22}, {369.32, 54.43}, {370.2, 69.53}, {367.03, 42.62}, {352.6, 44.7}, {355.12, 63.29},
              {{354.9, 46.34}, {356.86, 61.11}, {366.92, 60.12}, {364.4, 44.92}},
              {{373.8, 44.15}, {364.4, 44.92}, {366.92, 60.12}, {376.21, 58.81}}};
    for (QPointF* p : {&b.start, &b.c1, &b.c2, &b.end, &b.p1, &b.p2}) *p += m;
    for (QPointF& p : b.left) p += m;
    for (QPointF& p : b.right) p += m;
    return b;
}

const uButton kSmallOlive{{226.57, 56.6}, {226.87, 51.03}, {226.91, 63.47}, {225.53, 41.22}, {213.58, 42.27},
                          {214.81, 57.66}, {{215.39, 43.72}, {216.34, 55.94}, {224.64, 55.59}, {223.27, 42.99}},
                          {{231.02, 42.78}, {223.27, 42.99}, {224.64, 55.59}, {232.33, 54.93}}};
const uButton kRed{{222.12, 13.96}, {222.4, 8.39}, {222.49, 21.78}, {221.01, 0.46}, {209.07, 0.31},
                   {210.36, 15.07}, {{210.89, 1.14}, {211.89, 13.35}, {220.19, 12.96}, {218.76, 0.36}},
                   {{226.51, 0.12}, {218.76, 0.36}, {220.19, 12.96}, {227.88, 12.27}}};
const uButton kTopRight{{362.62, 13.22}, {362.62, 6.94}, {363.37, 19.38}, {360.97, 0}, {346.35, 0},
                        {348.42, 15.29}, {{348.42, 0}, {350.16, 13.11}, {360.22, 12.12}, {358.21, 0}},
                        {{358.21, 0}, {360.22, 12.12}, {369.5, 10.81}, {367.73, 0}}};

const uEllipse kDial{{291.12, 21.34}, 41.60, 59.20, 5.5};
const uEllipse kRimOuter{{316.52, 12.77}, 20.67, 30.58, 4.9};
const uEllipse kRimInner{{316.84, 12.7}, 17.25, 27.27, 4.2};

void InnerContourDown(Canvas& c) {
    Along(c, kRimInner, {331.57, 0},
          {{333.38, 6.47}, {332.16, 27.02}, {321.97, 39.21}, {308.78, 35.86}, {300.3, 18.96}, {301.01, 0}});
}
void InnerContourUp(Canvas& c) {
    Along(c, kRimInner, {301.01, 0},
          {{300.3, 18.96}, {308.78, 35.86}, {321.97, 39.21}, {332.16, 27.02}, {333.38, 6.47}, {331.57, 0}});
}

// A number of the dial, centred at `centre`, its top turned away from the dial's centre at the
// dial angle: the glyphs are laid out in the dial's circle terms and mapped onto its ellipse,
// so that they are foreshortened with it.
void DialNumber(Canvas& c, const std::string& sText, double dAngle, QPointF centre) {
    constexpr double kHeight = 0.1, kDigit = 0.045, kStop = 0.016, kGap = 0.008;
    const double t = dAngle * M_PI / 180;
    const QPointF down(-std::cos(t), -std::sin(t));  // inwards, in circle terms
    const QPointF across(down.y(), -down.x());
    auto map = [&](QPointF v) { return v.x() * kDial.ra * kDial.U() + v.y() * kDial.rb * kDial.V(); };
    double dWidth = -kGap;
    for (char ch : sText) dWidth += (ch == '.' ? kStop : kDigit) + kGap;
    QPointF origin = centre - map(across * (dWidth / 2) + down * (kHeight / 2));
    for (char ch : sText) {
        const double w = ch == '.' ? kStop : kDigit;
        Glyphs::Add(c, ch, Glyphs::uPlacement{origin, map(across * w), map(down * kHeight)});
        origin += map(across * (w + kGap));
    }
}

// A label along a slanted base line from `from` to `to`, capitals dCap high standing upright on
// it; the letters' widths are stretched to fill the line.
void Label(Canvas& c, const std::string& sText, QPointF from, QPointF to, double dCap) {
    auto width = [](char ch) {
        switch (ch) {
        case '.': return 0.26;
        case ' ': return 0.35;
        case 'I': return 0.28;
        case 'M': return 0.9;
        case 'L': return 0.62;
        case 'E': return 0.66;
        default: return 0.76;
        }
    };
    constexpr double kGap = 0.1;
    double dTotal = -kGap;
    for (char ch : sText) dTotal += width(ch) + kGap;
    const QPointF line = to - from;
    const QPointF down(0, dCap);
    double dAt = 0;
    for (char ch : sText) {
        const double w = width(ch);
        if (ch != ' ') {
            const QPointF origin = from + line * (dAt / dTotal) - down;
            Glyphs::Add(c, ch, Glyphs::uPlacement{origin, line * (w / dTotal), down});
        }
        dAt += w + kGap;
    }
}

void Stroked(Canvas& c, std::initializer_list<QPointF> points, uint32_t uColour, double dWidth) {
    Polyline(c, points);
    Outlined(c, uColour, dWidth);
}

void Meter(Canvas& c) {
    Quad(c, {99.82, 87.15}, {130.24, 82.6}, {131.29, 91.26}, {100.78, 95.99});
    Filled(c, kBase);
    Stroked(c, {{2.45, 0.79}, {15.78, 99.46}}, 0x4C4C4C, 3);
    Stroked(c, {{0.1, 0.79}, {13.22, 99.46}}, 0xE5E5E5, 2);
    Quad(c, {164.1, 0.62}, {13.61, 0.62}, {24.83, 83.79}, {173.34, 61.48});
    Filled(c, 0xE5E5E5);
    Quad(c, {170.78, 0.62}, {163.53, 0.62}, {172.63, 61.2}, {180.16, 60.49});
    Filled(c, kBase);
    Quad(c, {175.47, 0.62}, {169.93, 0.62}, {179.73, 60.06}, {183.71, 59.92});
    Filled(c, 0xFFFFFF);
    Quad(c, {187.41, 0.48}, {174.47, 0.48}, {182.43, 59.92}, {195.51, 60.77});
    Filled(c, 0x666666);
    Quad(c, {182.72, 59.49}, {24.69, 83.79}, {24.97, 86.92}, {196.64, 60.63});
    Filled(c, kBase);
    Polygon(c, {{190.11, 0.62},
                {186.55, 0.62},
                {195.36, 60.77},
                {25.26, 86.92},
                {13.89, 0.62},
                {9.77, 0.62},
                {22.84, 92.18},
                {198.78, 65.32}});
    Filled(c, 0x4C4C4C);
    c.AddEllipse(105.87, 61.76, 5.97, 6.82);
    Filled(c, 0x999933);
    // Scale arcs: thin, broad, and the outer one cut by the top edge into two pieces.
    c.MoveTo(47.11, 43.38);
    c.CurveTo(55.78, 27.12, 74.45, 16.72, 94.96, 16.72);
    c.CurveTo(112.19, 16.72, 128.34, 24.07, 138.21, 36.41);
    Outlined(c, 0xCC3300, 1);
    c.MoveTo(37, 37.17);
    c.CurveTo(47.41, 17.65, 69.8, 5.17, 94.42, 5.17);
    c.CurveTo(115.09, 5.17, 134.47, 14, 146.32, 28.81);
    Outlined(c, 0xB2B2B2, 4);
    c.MoveTo(25.02, 26.14);
    c.CurveTo(30.77, 15.36, 39.65, 6.43, 50.46, 0);
    c.MoveTo(133.56, 0);
    c.CurveTo(140.88, 4.35, 147.35, 9.87, 152.56, 16.39);
    Outlined(c, 0x666666, 2);
    Stroked(c, {{103.99, 57.79}, {108.96, 65.18}}, 0x666666, 1);
    Stroked(c, {{91.2, 72.14}, {38.05, 5.35}}, 0x990000, 1);
    Label(c, "R.M.S. VOLTS", {74.08, 48.75}, {116.92, 43.72}, 4.78);
    Filled(c, kBlack);
    Label(c, "DECIBELS", {79.51, 56.11}, {112.18, 52.27}, 4.78);
    Filled(c, 0x990000);
    const double ticks[][4] = {{51.78, 31.05, 55.46, 35.78},  {46.26, 38.45, 50.73, 42.45},
                               {61.37, 23.75, 64.25, 29.01},  {71.83, 18.05, 73.84, 23.7},
                               {82.91, 14.07, 84, 19.97},     {94.33, 12.58, 94.46, 18.57},
                               {105.78, 13.55, 104.96, 19.49}, {116.99, 17, 115.24, 22.74},
                               {127.66, 22.22, 125.02, 27.6}, {136.53, 29.07, 133.07, 33.97}};
    for (const auto& t : ticks) Stroked(c, {{t[0], t[1]}, {t[2], t[3]}}, kBase, 1);
}

} // namespace

void Paint(Canvas& c) {
    // Panel, shaded from left to right.
    c.AddBox(0, 0, 379.88, 99.97);
    c.LinearGradient(0, 49.98, 379.88, 49.98);
    c.GradientStop(0xFFFFCC, 0);
    c.GradientStop(0xCCCCCC, 1);
    PaintFilledOutlined(c, kBlack, kEdge);
    Stroked(c, {{332.31, 0.01}, {342.46, 73.04}, {375.68, 67.48}, {365.96, 0.01}}, kOlive, 2);
    // Push buttons: bases, left faces, right faces; then the top right button.
    const uButton buttons[] = {ColumnButton(0), kSmallOlive, kRed, ColumnButton(1)};
    const uint32_t lefts[] = {kOlive, kOlive, 0xCC3300, kOlive};
    const uint32_t rights[] = {kDarkOlive, kDarkOlive, 0x990000, kDarkOlive};
    for (const uButton& b : buttons) ButtonBase(c, b);
    for (int i = 0; i < 4; ++i) ButtonFace(c, buttons[i].left, lefts[i]);
    for (int i = 0; i < 4; ++i) ButtonFace(c, buttons[i].right, rights[i]);
    ButtonBase(c, kTopRight);
    ButtonFace(c, kTopRight.left, kOlive);
    ButtonFace(c, kTopRight.right, kDarkOlive);
    // Strips and terminal tops along the bottom.
    Quad(c, {376.9, 75.79}, {343.41, 81.62}, {344.21, 89.1}, {377.82, 82.41});
    Filled(c, 0x7F7F7F);
    Quad(c, {246.99, 99.27}, {335.16, 83.58}, {335.74, 90.89}, {290.16, 99.27});
    Filled(c, 0x7F7F7F);
    c.MoveTo(373.01, 92.08);
    c.CurveTo(374.09, 92.08, 375.1, 92.56, 375.95, 93.38);
    c.LineTo(375.96, 99.35);
    c.LineTo(367.61, 99.31);
    c.CurveTo(367.95, 95.23, 370.24, 92.08, 373.01, 92.08);
    Filled(c, 0x990000);
    c.MoveTo(376.75, 92.56);
    c.LineTo(379.58, 92.54);
    c.LineTo(379.58, 99.35);
    c.LineTo(371.39, 99.38);
    c.CurveTo(371.84, 95.5, 374.07, 92.56, 376.75, 92.56);
    Filled(c, 0x999966);
    c.MoveTo(357.6, 95.13);
    c.CurveTo(359.92, 95.13, 361.86, 96.96, 362.32, 99.41);
    c.LineTo(352.88, 99.41);
    c.CurveTo(353.35, 96.96, 355.28, 95.13, 357.6, 95.13);
    Filled(c, 0x4C4C4C);
    // Dial: the ellipse cut by the line y 0.17, shaded round a centre under the knob.
    c.MoveTo(251.17, 0.17);
    Along(c, kDial, {251.17, 0.17},
          {{249.45, 12.06}, {251.21, 34.84}, {258.81, 55.61}, {271.75, 71.68}, {287.71, 79.75}, {303.66, 78.74},
           {317.72, 69.36}, {328.14, 52.21}, {332.78, 30.28}, {331.09, 7.74}, {328.97, 0.17}});
    c.LineTo(251.17, 0.17);
    c.CircularGradient(291.12, 40.46, 58.06, 0, 0);
    c.GradientStop(0xB2B2B2, 0);
    c.GradientStop(0x999999, 0.17);
    c.GradientStop(0xE5E5E5, 1);
    PaintFilledOutlined(c, kBlack, kEdge);
    // Large knob: body, rim ring, end face.
    c.MoveTo(291.26, 42.64);
    c.CurveTo(295.99, 46.08, 301.16, 47.42, 306.06, 46.89);
    c.CurveTo(307.19, 46.76, 308.31, 46.55, 309.39, 46.22);
    c.LineTo(322.63, 42.24);
    c.LineTo(314.19, 0.17);
    c.LineTo(282.9, 0.49);
    c.CurveTo(282.32, 0.46, 281.79, 1.47, 281.31, 2.54);
    c.CurveTo(278.23, 9.38, 277.81, 17.32, 279.6, 24.57);
    c.CurveTo(281.4, 31.82, 285.45, 38.42, 291.26, 42.64);
    FilledOutlined(c, kOlive, kBlack, kEdge);
    c.MoveTo(306.86, 38.73);
    Along(c, kRimOuter, {306.86, 38.73}, {{322.67, 42.48}, {334.88, 28.82}, {336.35, 5.79}, {334.73, 0}});
    c.LineTo(331.57, 0);
    InnerContourDown(c);
    c.LineTo(297.12, 0);
    Along(c, kRimOuter, {297.12, 0}, {{296.69, 19.79}, {306.86, 38.73}});
    FilledOutlined(c, 0x999933, kBlack, kEdge);
    c.MoveTo(331.57, 0);
    c.LineTo(301.01, 0);
    InnerContourUp(c);
    Filled(c, kOlive);
    // Dial numbers, one path, and the ticks.
    DialNumber(c, "2.5", 63.6, {308.46, 58.38});
    DialNumber(c, "3", 90.5, {295.09, 64.41});
    DialNumber(c, "4", 112.3, {283.6, 62.02});
    DialNumber(c, "5", 132.3, {273.91, 55.38});
    DialNumber(c, "6", 147.7, {267.82, 46.76});
    DialNumber(c, "7", 160.7, {263.95, 39.46});
    DialNumber(c, "8", 169.6, {262.15, 31.64});
    DialNumber(c, "9", 179.3, {260.96, 24.51});
    DialNumber(c, "10", 189.2, {260.73, 17.02});
    Filled(c, kBlack);
    const double ticks[][4] = {{327.11, 51.41, 322.23, 47.33}, {250.49, 16.02, 256.09, 16.71},
                               {250.94, 25.96, 256.49, 25.28}, {252.55, 35.5, 257.85, 33.5},
                               {254.98, 43.93, 259.95, 40.78}, {260.08, 55.24, 264.33, 50.55},
                               {268.12, 66.31, 271.27, 60.09}, {313.93, 70.92, 310.83, 64.19},
                               {296.31, 78.62, 295.61, 70.81}, {280.96, 75.8, 282.34, 68.31}};
    for (const auto& t : ticks) Stroked(c, {{t[0], t[1]}, {t[2], t[3]}}, kBlack, 1);
    // Small knob seen from its side.
    c.MoveTo(246.33, 72.34);
    c.LineTo(231.34, 71.5);
    c.CurveTo(230.04, 70.9, 228.64, 70.58, 227.18, 70.58);
    c.CurveTo(220.72, 70.58, 215.48, 76.9, 215.48, 84.7);
    c.CurveTo(215.48, 92.49, 220.72, 98.82, 227.18, 98.82);
    c.CurveTo(228.79, 98.82, 230.33, 98.42, 231.73, 97.71);
    c.LineTo(246.33, 94);
    c.CurveTo(250.8, 94, 254.43, 89.15, 254.43, 83.17);
    c.CurveTo(254.43, 77.19, 250.8, 72.34, 246.33, 72.34);
    FilledOutlined(c, kOlive, kBlack, kEdge);
    c.AddEllipse(246.33, 83.17, 8.09, 10.83);
    FilledOutlined(c, 0x999966, kBlack, kEdge);
    c.AddEllipse(246.65, 83.17, 6.07, 8.12);
    FilledOutlined(c, kDarkOlive, kBlack, kEdge);
    // The red button's frame and the signs above the small olive button.
    c.MoveTo(228.86, 0.6);
    c.LineTo(231.01, 18.42);
    c.CurveTo(231.2, 20.1, 229.97, 21.64, 228.29, 21.83);
    c.LineTo(202.95, 24.7);
    c.CurveTo(201.26, 24.89, 199.73, 23.66, 199.53, 21.98);
    c.LineTo(196.98, 0.6);
    Outlined(c, kOlive, 2);
    c.MoveTo(205.55, 37.08);
    c.CurveTo(205.55, 36.13, 205.5, 35.39, 206.51, 34.96);
    c.CurveTo(207.92, 34.36, 207.44, 38.81, 208.81, 38.81);
    c.CurveTo(209.45, 38.81, 210.06, 38.33, 210.06, 37.56);
    Outlined(c, 0x333333, 1);
    Stroked(c, {{225.72, 34}, {225.84, 32.41}, {227.43, 32.41}, {227.81, 36.26}, {229.31, 36.3}, {229.27, 34.25}},
            0x333333, 1);
    Stroked(c, {{216.81, 37.64}, {218.48, 32.83}}, 0x333333, 1);
    Meter(c);
}

} // namespace AboutPicture
