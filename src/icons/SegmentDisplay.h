// Readouts in the manner of a segment display: each character is a set of separate straight
// bars, elongated hexagons pointed at both ends, leaning to the right. A character's bars are
// added to a canvas's path as figures, so that a whole readout is one fill (and, where the bars
// shall merge, one outline in the same colour).
#pragma once

#include "icons/VectorCanvas.h"

#include <QPointF>

namespace SegmentDisplay {

// The measures of one display's characters, in design units.
struct uStyle {
    double dWidth;       // a digit's width at its base line, lean not included
    double dHeight;      // from the top of the top bar to the bottom of the bottom bar
    double dThickness;   // of every bar
    double dLean;        // how far the top of a character lies right of its bottom
    double dGapAcross;   // from a horizontal bar's tip to the middle line of an upright bar
    double dGapDown;     // from an upright bar's tip to the middle line of a horizontal bar
    double dPointWidth;  // the decimal point, on the base line
    double dPointHeight;
};

// A bar from a to b, dThickness thick, pointed at both ends; nothing for a bar of length 0.
void AddBar(VectorCanvas::Canvas& c, QPointF a, QPointF b, double dThickness);

// The bars of one character ('0' to '9', and A C D E G N R V): its base line's left end at
// (x0, yTop + dHeight), dWidth wide at the base line (the style's digit width when 0). False,
// and nothing added, when the display has no such character.
bool AddCharacter(VectorCanvas::Canvas& c, char cCharacter, double x0, double yTop, const uStyle& style,
                  double dWidth = 0);
// How many bars a character has; 0 when the display has none.
int BarCount(char cCharacter);

// The decimal point: a slanted four-sided dot on the base line, its lower left corner at x0.
void AddPoint(VectorCanvas::Canvas& c, double x0, double yTop, const uStyle& style);

} // namespace SegmentDisplay
