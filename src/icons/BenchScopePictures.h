// The figures of the oscilloscope pictures of the Siglent, Rohde & Schwarz and Hameg families,
// painted in 128 x 96 design units onto a canvas.
#pragma once

namespace VectorCanvas {
class Canvas;
}

namespace BenchScopePictures {

// Light-grey scope with a large black display, lavender keys and gold inputs.
void Sds2000XPlus(VectorCanvas::Canvas& c);
// Scope with straight-cut corners, a control panel in a blue and a dark grey part.
void Rtb2000(VectorCanvas::Canvas& c);
// Scope with a cyan-blue screen and the maker's name under it.
void Hm2008(VectorCanvas::Canvas& c);

} // namespace BenchScopePictures
