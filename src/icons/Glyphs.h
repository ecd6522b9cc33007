// The lettering of the drawings: capitals and digits drawn by hand as outlines in a unit box,
// added to a canvas's path as figures, so that a letter is a fill like any other figure. Every
// outer contour runs clockwise on screen and every counter the other way round, so that the
// counters stay open under the even-odd rule and under a winding rule alike.
#pragma once

#include "icons/VectorCanvas.h"

#include <QPointF>

#include <vector>

namespace Glyphs {

// One step of a contour in unit-box coordinates: u across from the glyph's left edge, v down
// from the cap line (v = 1 is the base line; round letters overshoot both a little). 'M' starts
// the contour at (v[0], v[1]), 'L' draws a line to (v[0], v[1]), 'C' a cubic curve with control
// points (v[0], v[1]), (v[2], v[3]) to (v[4], v[5]). A contour ends on its start point.
struct uStep {
    char cOp;
    double v[6];
};
struct uContour {
    bool fCounter;
    std::vector<uStep> mSteps;
};

// The contours of a glyph; empty when the kit has no glyph for the character.
const std::vector<uContour>& Contours(char cGlyph);

// Where a glyph lands: the unit-box point (u, v) goes to origin + u·across + v·down, which
// places, stretches, slants or turns the glyph.
struct uPlacement {
    QPointF origin, across, down;
};
// The glyph fills the box from x0 to x1 across and from the cap line yCap to the base line
// yBase, upright.
uPlacement InBox(double x0, double yCap, double x1, double yBase);

// Adds the glyph's figures to the path; false when the kit has no glyph for the character.
bool Add(VectorCanvas::Canvas& c, char cGlyph, const uPlacement& place);

} // namespace Glyphs
