// The figures of the two plain bench-instrument pictures that carry no maker's features,
// painted in 128 x 96 design units onto a canvas.
#pragma once

namespace VectorCanvas {
class Canvas;
}

namespace GenericPictures {

// Grey cabinet with a display, keys, knobs, feet and a carrying handle.
void Generic(VectorCanvas::Canvas& c);
// The same cabinet without handle, 3 units lower.
void Model2(VectorCanvas::Canvas& c);

} // namespace GenericPictures
