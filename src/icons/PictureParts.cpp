#include "icons/PictureParts.h"

#include <cstddef>

namespace PictureParts {

void HexKey(Canvas& c, double x, double y) {
    VectorCanvas::Polygon(c, {{x + 4.22, y}, {x + 0.72, y}, {x, y + 1.37}, {x + 0.72, y + 2.5}, {x + 4.22, y + 2.5},
                              {x + 4.89, y + 1.29}});
}

void WideHexKey(Canvas& c, double x, double y) {
    VectorCanvas::Polygon(c, {{x + 5.22, y}, {x + 0.72, y}, {x, y + 1.37}, {x + 0.72, y + 2.49}, {x + 5.22, y + 2.5},
                              {x + 5.89, y + 1.29}});
}

void TallHexKey(Canvas& c, double x, double y) {
    VectorCanvas::Polygon(c, {{x + 4.22, y}, {x + 0.73, y}, {x, y + 1.37}, {x + 0.73, y + 3.5}, {x + 4.22, y + 3.5},
                              {x + 4.89, y + 1.29}});
}

void ArrowRightKey(Canvas& c, double x, double y) {
    VectorCanvas::Polygon(c, {{x, y}, {x + 3.5, y}, {x + 4.66, y + 1.35}, {x + 3.5, y + 2.49}, {x, y + 2.49}});
}

void ArrowLeftKey(Canvas& c, double x, double y) {
    VectorCanvas::Polygon(c, {{x + 4.66, y}, {x + 1.17, y}, {x, y + 1.35}, {x + 1.17, y + 2.49}, {x + 4.66, y + 2.49}});
}

void TopKey(Canvas& c, double x, double y) {
    VectorCanvas::Polygon(c, {{x + 5.66, y}, {x + 1.17, y}, {x, y + 1.2}, {x, y + 3.49}, {x + 5.66, y + 3.49}});
}

void OctagonKey(Canvas& c, double x, double y) {
    VectorCanvas::Polygon(c, {{x + 1.2, y}, {x + 2.8, y}, {x + 4, y + 1}, {x + 4, y + 5}, {x + 2.8, y + 6}, {x + 1.2, y + 6},
                              {x, y + 5}, {x, y + 1}});
}

void Foot(Canvas& c, double x1, double x2) {
    constexpr double kTop = 90.96, kBottom = 93.96, kR = 0.75, kK = 0.41;
    c.MoveTo(x1 + kR, kBottom);
    c.LineTo(x2 - kR, kBottom);
    c.CurveTo(x2 - kR + kK, kBottom, x2, kBottom - kR + kK, x2, kBottom - kR);
    c.LineTo(x2, kTop);
    c.LineTo(x1, kTop);
    c.LineTo(x1, kBottom - kR);
    c.CurveTo(x1, kBottom - kR + kK, x1 + kR - kK, kBottom, x1 + kR, kBottom);
}

void SineTrace(Canvas& c, const uSine& sine, std::initializer_list<double> mEnds,
               std::initializer_list<double> mControls) {
    c.MoveTo(sine.x0, sine.yStart);
    bool fAtStartLevel = true;
    auto control = mControls.begin();
    for (double x : mEnds) {
        if (control == mControls.end()) break;
        const double yFrom = fAtStartLevel ? sine.yStartControl : sine.yOtherControl;
        const double yTo = fAtStartLevel ? sine.yOtherControl : sine.yStartControl;
        const double yEnd = fAtStartLevel ? sine.yOther : sine.yStart;
        c.CurveTo(*control, yFrom, *control, yTo, x, yEnd);
        fAtStartLevel = !fAtStartLevel;
        ++control;
    }
}

void SmallInputFrame(Canvas& c, double dx, double dy) {
    c.MoveTo(73.83 + dx, 86.45 + dy);
    c.LineTo(80.13 + dx, 86.45 + dy);
    c.CurveTo(80.87 + dx, 86.45 + dy, 81.28 + dx, 85.82 + dy, 81.48 + dx, 85.1 + dy);
    c.LineTo(82.38 + dx, 81.77 + dy);
    c.LineTo(81.48 + dx, 78.8 + dy);
    c.CurveTo(81.26 + dx, 78.09 + dy, 80.87 + dx, 77.45 + dy, 80.13 + dx, 77.45 + dy);
    c.LineTo(73.83 + dx, 77.45 + dy);
    c.CurveTo(73.09 + dx, 77.45 + dy, 72.7 + dx, 78.09 + dy, 72.48 + dx, 78.8 + dy);
    c.LineTo(71.58 + dx, 81.62 + dy);
    c.LineTo(72.48 + dx, 85.1 + dy);
    c.CurveTo(72.66 + dx, 85.82 + dy, 73.09 + dx, 86.45 + dy, 73.83 + dx, 86.45 + dy);
}

} // namespace PictureParts
