// The figures of the bench multimeter picture, painted in 128 x 96 design units onto a canvas.
#pragma once

namespace VectorCanvas {
class Canvas;
}

namespace MeterPictures {

// Bench multimeter: light-grey body with rounded corners, side brackets and nine feet; a dark
// display reading 0.000000 VDC over RANGE 1 VDC in segment letters; a keypad panel with round
// keys, round buttons and a grid of keys (one blue); a jack panel with six jacks.
void M3500A(VectorCanvas::Canvas& c);

} // namespace MeterPictures
