// The figures of the three oscilloscope pictures of the Rigol families, painted in 128 x 96
// design units onto a canvas.
#pragma once

namespace VectorCanvas {
class Canvas;
}

namespace RigolScopePictures {

// Four-channel scope: light-grey body on feet, dark screen with a yellow sine, menu keys on
// both sides of the screen, control panel and four inputs in the channel colours.
void Ds1000Z(VectorCanvas::Canvas& c);
// Two-channel scope laid out as the four-channel one, with yellow and cyan channel bands and a
// large three-ring knob; its front panel outline is painted last.
void Ds2000(VectorCanvas::Canvas& c);
// Mid-grey scope with straight-cut corners, wide dark display, softkeys with red lamps and four
// inputs framed in the channel colours.
void Mso5000(VectorCanvas::Canvas& c);

} // namespace RigolScopePictures
