// The figures of the About picture, painted in 380 x 100 design units onto a canvas: a slanted
// close-up of an analogue instrument's panel with a pointer meter, a graduated dial with a large
// knob, push buttons and terminals, cut by the top edge.
#pragma once

namespace VectorCanvas {
class Canvas;
}

namespace AboutPicture {

void Paint(VectorCanvas::Canvas& c);

} // namespace AboutPicture
