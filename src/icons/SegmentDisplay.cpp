#include "icons/SegmentDisplay.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace SegmentDisplay {
namespace {

// Bars of a character in the cell's own terms: the ends of each bar's middle line, u across
// from the left upright's middle line (0) to the right one's (1), v down from the top bar's
// middle line (0) through the middle bar's (0.5) to the bottom bar's (1). The named bars of a
// seven-segment digit are made from these ends with the style's gaps; 'x' bars are free lines.
struct uBar {
    char cName;  // a top, b upper right, c lower right, d bottom, e lower left, f upper left,
                 // g middle, h right half of the middle, x free
    double u1 = 0, v1 = 0, u2 = 0, v2 = 0;
};

struct uCharacter {
    char cCharacter;
    const char* sBars;  // named bars
    int iFree;          // free bars that follow in mFree
    uBar mFree[3];
};

const uCharacter kCharacters[] = {
    {'0', "abcdef", 0, {}},
    {'1', "bc", 1, {{'x', 0.45, 0.22, 1, 0}}},
    {'2', "abged", 0, {}},
    {'3', "abgcd", 0, {}},
    {'4', "fgbc", 0, {}},
    {'5', "afgcd", 0, {}},
    {'6', "afgedc", 0, {}},
    {'7', "abc", 0, {}},
    {'8', "abcdefg", 0, {}},
    {'9', "abcdfg", 0, {}},
    {'A', "afbgec", 0, {}},
    {'C', "afed", 0, {}},
    {'D', "abcdef", 0, {}},
    {'E', "afged", 0, {}},
    {'G', "afedch", 0, {}},
    {'N', "fecb", 1, {{'x', 0, 0, 1, 1}}},
    {'R', "afbge", 1, {{'x', 0.5, 0.5, 1, 1}}},
    {'V', "fb", 2, {{'x', 0, 0.5, 0.5, 1}, {'x', 1, 0.5, 0.5, 1}}},
};

const uCharacter* Find(char cCharacter) {
    for (const uCharacter& ch : kCharacters)
        if (ch.cCharacter == cCharacter) return &ch;
    return nullptr;
}

} // namespace

void AddBar(VectorCanvas::Canvas& c, QPointF a, QPointF b, double dThickness) {
    const QPointF d = b - a;
    const double dLength = std::hypot(d.x(), d.y());
    if (!(dLength > 0)) return;
    const QPointF along = d / dLength;
    const QPointF across(-along.y(), along.x());
    // The pointed ends never overtake each other on a bar shorter than its thickness.
    const double h = std::min(dThickness / 2, dLength / 2);
    const double w = dThickness / 2;
    const QPointF p[6] = {a, a + h * along - w * across, b - h * along - w * across,
                          b, b - h * along + w * across, a + h * along + w * across};
    c.MoveTo(p[0].x(), p[0].y());
    for (int i = 1; i < 6; ++i) c.LineTo(p[i].x(), p[i].y());
    c.LineTo(p[0].x(), p[0].y());
}

int BarCount(char cCharacter) {
    const uCharacter* ch = Find(cCharacter);
    return ch == nullptr ? 0 : static_cast<int>(std::strlen(ch->sBars)) + ch->iFree;
}

bool AddCharacter(VectorCanvas::Canvas& c, char cCharacter, double x0, double yTop, const uStyle& s, double dWidth) {
    const uCharacter* ch = Find(cCharacter);
    if (ch == nullptr) return false;
    const double w = dWidth > 0 ? dWidth : s.dWidth;
    const double t = s.dThickness;
    // Cell point (x across from the base line's left end, y down from the top) to the design,
    // leaning by the style's lean over the full height.
    auto at = [&](double x, double y) { return QPointF(x0 + x + s.dLean * (1 - y / s.dHeight), yTop + y); };
    const double left = t / 2, right = w - t / 2, top = t / 2, middle = s.dHeight / 2, bottom = s.dHeight - t / 2;
    auto bar = [&](double x1, double y1, double x2, double y2) { AddBar(c, at(x1, y1), at(x2, y2), t); };
    for (const char* p = ch->sBars; *p != '\0'; ++p) {
        const double ga = s.dGapAcross, gd = s.dGapDown;
        switch (*p) {
        case 'a': bar(left + ga, top, right - ga, top); break;
        case 'b': bar(right, top + gd, right, middle - gd); break;
        case 'c': bar(right, middle + gd, right, bottom - gd); break;
        case 'd': bar(left + ga, bottom, right - ga, bottom); break;
        case 'e': bar(left, middle + gd, left, bottom - gd); break;
        case 'f': bar(left, top + gd, left, middle - gd); break;
        case 'g': bar(left + ga, middle, right - ga, middle); break;
        case 'h': bar((left + right) / 2, middle, right - ga, middle); break;
        default: break;
        }
    }
    for (int i = 0; i < ch->iFree; ++i) {
        const uBar& b = ch->mFree[i];
        auto x = [&](double u) { return left + u * (right - left); };
        auto y = [&](double v) { return top + v * (bottom - top); };
        bar(x(b.u1), y(b.v1), x(b.u2), y(b.v2));
    }
    return true;
}

void AddPoint(VectorCanvas::Canvas& c, double x0, double yTop, const uStyle& s) {
    const double yBase = yTop + s.dHeight, yDot = yBase - s.dPointHeight;
    const double dShift = s.dLean * s.dPointHeight / s.dHeight;
    c.MoveTo(x0, yBase);
    c.LineTo(x0 + dShift, yDot);
    c.LineTo(x0 + dShift + s.dPointWidth, yDot);
    c.LineTo(x0 + s.dPointWidth, yBase);
    c.LineTo(x0, yBase);
}

} // namespace SegmentDisplay
