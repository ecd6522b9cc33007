#include "icons/GenericPictures.h"

#include "icons/VectorCanvas.h"

namespace GenericPictures {

using namespace VectorCanvas;

namespace {

constexpr uint32_t kBody = 0xB2B2B2;
constexpr uint32_t kDisplay = 0x999999;
constexpr uint32_t kControl = 0xCCCCCC;

void Knob(Canvas& c, double x, double y, double r) {
    c.AddEllipse(x, y, r, r);
    Filled(c, kControl);
}

void Key(Canvas& c, double x1, double y1, double x2, double y2) {
    RoundedRect(c, x1, y1, x2, y2, 1);
    Filled(c, kControl);
}

// The cabinet: feet, display, body, knobs, bars and keys. Everything but the feet lies dy
// lower than in the picture with handle; the body's lower edge is given by itself.
void Cabinet(Canvas& c, double dy, double yBodyBottom) {
    // Feet, with their lower corners rounded; they do not move with the cabinet.
    c.MoveTo(16, 93.97);
    c.LineTo(23, 93.97);
    c.CurveTo(23.82, 93.97, 24.5, 93.3, 24.5, 92.47);
    c.LineTo(24.5, 87.97);
    c.LineTo(14.5, 87.97);
    c.LineTo(14.5, 92.47);
    c.CurveTo(14.5, 93.3, 15.17, 93.97, 16, 93.97);
    Filled(c, kBody);
    c.MoveTo(105.05, 94.03);
    c.LineTo(112.05, 94.03);
    c.CurveTo(112.87, 94.03, 113.55, 93.36, 113.55, 92.53);
    c.LineTo(113.55, 88.03);
    c.LineTo(103.55, 88.03);
    c.LineTo(103.55, 92.53);
    c.CurveTo(103.55, 93.36, 104.22, 94.03, 105.05, 94.03);
    Filled(c, kBody);
    // Display, seen through the window of the body.
    c.AddBox(10, 27.98 + dy, 79.99, 47.99);
    Filled(c, kDisplay);
    // Body, radius 8.25, with the display window as a hole.
    c.MoveTo(12.25, 21.98 + dy);
    c.LineTo(115.74, 21.98 + dy);
    c.CurveTo(120.27, 21.98 + dy, 123.98, 25.7 + dy, 123.98, 30.23 + dy);
    c.LineTo(123.98, 79.73 + dy);
    c.CurveTo(123.98, 84.26 + dy, 120.27, yBodyBottom, 115.74, yBodyBottom);
    c.LineTo(12.25, yBodyBottom);
    c.CurveTo(7.72, yBodyBottom, 4, 84.26 + dy, 4, 79.73 + dy);
    c.LineTo(4, 30.23 + dy);
    c.CurveTo(4, 25.7 + dy, 7.72, 21.98 + dy, 12.25, 21.98 + dy);
    c.MoveTo(10, 27.98 + dy);
    c.LineTo(89.99, 27.98 + dy);
    c.LineTo(89.99, 75.98 + dy);
    c.LineTo(10, 75.98 + dy);
    c.LineTo(10, 27.98 + dy);
    Filled(c, kBody);
    // Knobs: three large, two small in the column, four small in the bottom row.
    Knob(c, 103.99, 69.98 + dy, 4);
    Knob(c, 115.99, 59.98 + dy, 4);
    Knob(c, 103.99, 41.98 + dy, 4);
    Knob(c, 103.99, 31.98 + dy, 3);
    Knob(c, 103.99, 53.98 + dy, 3);
    for (double x : {113.99, 103.99, 93.99, 83.99}) Knob(c, x, 81.98 + dy, 3);
    // Two bars under the display and the lower-left key.
    c.AddBox(59.99, 79.98 + dy, 14, 4);
    Filled(c, kControl);
    c.AddBox(42.99, 79.98 + dy, 14, 4);
    Filled(c, kControl);
    Key(c, 10, 79.98 + dy, 16, 83.98 + dy);
    // Keys right of the display.
    Key(c, 91.99, 29.98 + dy, 97.99, 33.98 + dy);
    Key(c, 112.99, 29.98 + dy, 118.99, 33.98 + dy);
    Key(c, 112.99, 37.98 + dy, 118.99, 41.98 + dy);
    for (double y : {37.98, 45.98, 53.98, 61.98, 69.98}) Key(c, 91.99, y + dy, 97.99, y + 4 + dy);
}

} // namespace

void Generic(Canvas& c) {
    Cabinet(c, 0, 87.97);
    // Carrying handle standing on the body's top edge.
    c.MoveTo(100.52, 21.98);
    c.CurveTo(100.82, 21.24, 100.99, 20.43, 100.99, 19.58);
    c.LineTo(100.99, 16.38);
    c.CurveTo(100.99, 12.86, 98.11, 9.98, 94.59, 9.98);
    c.LineTo(31.4, 9.98);
    c.CurveTo(27.88, 9.98, 25, 12.86, 25, 16.38);
    c.LineTo(25, 19.58);
    c.CurveTo(25, 20.43, 25.17, 21.24, 25.47, 21.98);
    c.LineTo(31.17, 21.98);
    c.CurveTo(31.06, 21.67, 31, 21.33, 31, 20.98);
    c.LineTo(31, 16.98);
    c.CurveTo(31, 15.33, 32.35, 13.98, 34, 13.98);
    c.LineTo(91.99, 13.98);
    c.CurveTo(93.64, 13.98, 94.99, 15.33, 94.99, 16.98);
    c.LineTo(94.99, 20.98);
    c.CurveTo(94.99, 21.33, 94.93, 21.67, 94.82, 21.98);
    c.LineTo(100.52, 21.98);
    Filled(c, kBody);
}

void Model2(Canvas& c) {
    Cabinet(c, 3, 90.98);
}

} // namespace GenericPictures
