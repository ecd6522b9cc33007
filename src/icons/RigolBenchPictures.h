// The figures of the pictures of the Rigol bench instruments that are not oscilloscopes, painted
// in 128 x 96 design units onto a canvas.
#pragma once

namespace VectorCanvas {
class Canvas;
}

namespace RigolBenchPictures {

// Spectrum analyser: light-grey front on two feet, dark display with one yellow spectrum peak,
// soft-key column, two keypads, a knob and two connectors.
void Dsa800(VectorCanvas::Canvas& c);
// Function generator: display with two channel panels (yellow 1, cyan 2), blue soft keys,
// blocks of keys pointed at both ends, a knob and four output connectors.
void Dg4000(VectorCanvas::Canvas& c);
// Power supply: corner guards shaded by circular gradients, a display with a three-by-three grid
// of green seven-segment readouts, a knob inside a ring of eleven keys and six output jacks.
void Dp800(VectorCanvas::Canvas& c);

} // namespace RigolBenchPictures
