// The vector icons: every toolbar icon and instrument picture is drawn on demand from vector
// figures at the pixel size asked for, onto a new image that the caller owns. Icons are drawn
// in 32 x 32 design units, instrument pictures in 128 x 96, each scaled across and down by
// itself. A drawing holds no state and runs on the caller's thread.
#pragma once

#include <QImage>

#include <cstdint>
#include <vector>

namespace VectorCanvas {
class Canvas;
}

namespace VectorIcon {

// Creates the image a drawing paints on: iHeight 0 means iHeight = iWidth; iDepth 32 gives a
// 32-bit image with alpha, any other value a 24-bit one; iBackground is the starting colour
// (0xRRGGBB, opaque) or -1 for none (transparent at depth 32, white at depth 24); under the
// application frame's Windows 2000 switch an image 128 pixels wide or wider starts opaque white
// whatever is asked. Returns a null image when the size is not positive, larger than kMaxSide
// on a side, or the memory cannot be had. At depth 32 the image is premultiplied while it is
// being painted.
constexpr int kMaxSide = 16384;
QImage BeginDrawing(int iWidth, int iHeight, int iDepth, int64_t iBackground);

// The figures of one drawing, in design units.
using PaintProcedure = void (*)(VectorCanvas::Canvas&);

// Icons are 32 x 32 design units, pictures 128 x 96, the About picture 380 x 100 on a 24-bit
// image.
enum class eKind { Icon, Picture, About };

// A drawing of the catalogue: its procedure's name (without the module), its kind and figures.
struct uDrawing {
    const char* sName;
    eKind kind;
    PaintProcedure pPaint;
};

// Every drawing, icons first, in the order of the catalogue.
const std::vector<uDrawing>& Drawings();

// Draws a drawing at the given size: scales its design size to iWidth x iHeight and paints it
// onto a new transparent ARGB32 image. A null image when no image could be made (a width or
// height of 0 or less included).
QImage Draw(const uDrawing& drawing, int iWidth, int iHeight);

// Toolbar icons, iSize x iSize pixels, ARGB32 on a transparent background; a null image when
// iSize is not positive or no image could be made.
QImage IconNewWindow(int iSize);
QImage IconNewScript(int iSize);
QImage IconPreferences(int iSize);
QImage IconShowWindows(int iSize);
QImage IconSelectInstrument(int iSize);
QImage IconDisconnect(int iSize);
QImage IconConnect(int iSize);
QImage IconScpiCommand(int iSize);
QImage IconScreenshot(int iSize);
QImage IconWaveform(int iSize);
QImage IconMaximize(int iSize);
QImage IconAdapt(int iSize);
QImage IconCascade(int iSize);
QImage IconTileVertically(int iSize);
QImage IconTileHorizontally(int iSize);
QImage IconSaveAs(int iSize);
QImage IconCopy(int iSize);
QImage IconScale(int iSize);
QImage IconAlignWindow(int iSize);
QImage IconFullscreen(int iSize);
QImage IconList(int iSize);
QImage IconIcons(int iSize);
QImage IconRefresh(int iSize);
QImage IconFolder(int iSize);

// Instrument pictures, iWidth x iHeight pixels (the 128 x 96 design stretched to fit), ARGB32
// on a transparent background; a null image when a side is not positive or no image could be
// made.
QImage PictureGeneric(int iWidth, int iHeight);
QImage PictureModel2(int iWidth, int iHeight);
QImage PictureDs1000Z(int iWidth, int iHeight);
QImage PictureDs2000(int iWidth, int iHeight);
QImage PictureMso5000(int iWidth, int iHeight);
QImage PictureSds2000XPlus(int iWidth, int iHeight);
QImage PictureRtb2000(int iWidth, int iHeight);
QImage PictureHm2008(int iWidth, int iHeight);
QImage PictureDsa800(int iWidth, int iHeight);
QImage PictureDg4000(int iWidth, int iHeight);
QImage PictureDp800(int iWidth, int iHeight);
QImage PictureM3500A(int iWidth, int iHeight);

// The About picture, iWidth x iHeight pixels (the 380 x 100 design stretched to fit), RGB888
// without alpha, starting white; a null image when a side is not positive or no image could
// be made.
QImage PictureAbout(int iWidth, int iHeight);

} // namespace VectorIcon
