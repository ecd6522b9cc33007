// The figures of the icons of the capture and viewer toolbars, the instrument list's toolbar
// and the folder button, each painted in 32 x 32 design units onto a canvas.
#pragma once

namespace VectorCanvas {
class Canvas;
}

namespace ViewerIcons {

void SaveAs(VectorCanvas::Canvas& c);
void Copy(VectorCanvas::Canvas& c);
void Scale(VectorCanvas::Canvas& c);
void AlignWindow(VectorCanvas::Canvas& c);
void Fullscreen(VectorCanvas::Canvas& c);
void List(VectorCanvas::Canvas& c);
void Icons(VectorCanvas::Canvas& c);
void Refresh(VectorCanvas::Canvas& c);
void Folder(VectorCanvas::Canvas& c);

} // namespace ViewerIcons
