// The figures of the main toolbar's icons: the window actions, the instrument actions and the
// window arrangements, each painted in 32 x 32 design units onto a canvas. VectorIcon turns
// them into images.
#pragma once

namespace VectorCanvas {
class Canvas;
}

namespace ToolbarIcons {

// The white window with its blue frame and 4-unit title bar that several icons begin with.
void Window(VectorCanvas::Canvas& c);

void NewWindow(VectorCanvas::Canvas& c);
void NewScript(VectorCanvas::Canvas& c);
void Preferences(VectorCanvas::Canvas& c);
void ShowWindows(VectorCanvas::Canvas& c);

void SelectInstrument(VectorCanvas::Canvas& c);
void Disconnect(VectorCanvas::Canvas& c);
void Connect(VectorCanvas::Canvas& c);
void ScpiCommand(VectorCanvas::Canvas& c);
void Screenshot(VectorCanvas::Canvas& c);
void Waveform(VectorCanvas::Canvas& c);

void Maximize(VectorCanvas::Canvas& c);
void Adapt(VectorCanvas::Canvas& c);
void Cascade(VectorCanvas::Canvas& c);
void TileVertically(VectorCanvas::Canvas& c);
void TileHorizontally(VectorCanvas::Canvas& c);

} // namespace ToolbarIcons
