// Pieces that several instrument pictures share: boxes and circles as figures, the key shapes
// of the oscilloscope fronts, the feet, the sine traces and the small input frame.
#pragma once

#include "icons/VectorCanvas.h"

#include <initializer_list>

namespace PictureParts {

using VectorCanvas::Canvas;

inline void Box(Canvas& c, double x, double y, double w, double h) {
    c.AddBox(x, y, w, h);
}
inline void Circle(Canvas& c, double cx, double cy, double r) {
    c.AddEllipse(cx, cy, r, r);
}

// Key outlines, each a polygon from its anchor (x, y).
// Hex key, 4.89 wide and 2.5 high, pointed left and right.
void HexKey(Canvas& c, double x, double y);
// The hex key 5.89 wide.
void WideHexKey(Canvas& c, double x, double y);
// The hex key 3.5 high.
void TallHexKey(Canvas& c, double x, double y);
// Arrow key pointing right (left of a screen) and its mirror pointing left.
void ArrowRightKey(Canvas& c, double x, double y);
void ArrowLeftKey(Canvas& c, double x, double y);
// Key 5.66 wide and 3.49 high with its top-left corner cut.
void TopKey(Canvas& c, double x, double y);
// The bottom key of a side column: an octagon 4 wide and 6 high, its corners cut by 1.2
// across and 1 down, (x, y) the top-left corner of its bounding box.
void OctagonKey(Canvas& c, double x, double y);

// A foot from x1 to x2 between y 90.96 and 93.96, its lower corners rounded by 0.75, from the
// lower edge right, up, left and down.
void Foot(Canvas& c, double x1, double x2);

// A sine trace: from (x0, y0), cubic half-waves alternately to the other level and back; every
// half-wave ends at (xEnd, level) with both control points at its own x, each at the control
// level of the end it stands beside.
struct uSine {
    double x0;
    double yStart, yOther;              // the level of the start and the other level
    double yStartControl, yOtherControl;  // control levels beside each
};
void SineTrace(Canvas& c, const uSine& sine, std::initializer_list<double> mEnds,
               std::initializer_list<double> mControls);

// The input frame 10.8 wide and 9 high of the rack scopes, moved by (dx, dy) from the frame
// whose top edge runs from (73.83, 86.45) to (80.13, 86.45) round the centre (76.98, 81.95).
void SmallInputFrame(Canvas& c, double dx, double dy);

} // namespace PictureParts
