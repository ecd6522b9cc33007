#include "icons/VectorIcon.h"

#include "icons/AboutPicture.h"
#include "icons/BenchScopePictures.h"
#include "icons/GenericPictures.h"
#include "icons/MeterPictures.h"
#include "icons/RigolBenchPictures.h"
#include "icons/RigolScopePictures.h"
#include "icons/ToolbarIcons.h"
#include "icons/VectorCanvas.h"
#include "icons/ViewerIcons.h"
#include "platform/OsVersion.h"

namespace VectorIcon {
namespace {

// No drawing needs more; anything bigger is a caller's mistake, not a wish for gigabytes.
constexpr int64_t kMaxPixels = int64_t{64} * 1024 * 1024;

constexpr double kIconDesign = 32.0;
constexpr double kPictureWidth = 128.0;
constexpr double kPictureHeight = 96.0;
constexpr double kAboutWidth = 380.0;
constexpr double kAboutHeight = 100.0;

const std::vector<uDrawing> mDrawings = {
    {"IconNewWindow", eKind::Icon, &ToolbarIcons::NewWindow},
    {"IconNewScript", eKind::Icon, &ToolbarIcons::NewScript},
    {"IconPreferences", eKind::Icon, &ToolbarIcons::Preferences},
    {"IconShowWindows", eKind::Icon, &ToolbarIcons::ShowWindows},
    {"IconSelectInstrument", eKind::Icon, &ToolbarIcons::SelectInstrument},
    {"IconDisconnect", eKind::Icon, &ToolbarIcons::Disconnect},
    {"IconConnect", eKind::Icon, &ToolbarIcons::Connect},
    {"IconScpiCommand", eKind::Icon, &ToolbarIcons::ScpiCommand},
    {"IconScreenshot", eKind::Icon, &ToolbarIcons::Screenshot},
    {"IconWaveform", eKind::Icon, &ToolbarIcons::Waveform},
    {"IconMaximize", eKind::Icon, &ToolbarIcons::Maximize},
    {"IconAdapt", eKind::Icon, &ToolbarIcons::Adapt},
    {"IconCascade", eKind::Icon, &ToolbarIcons::Cascade},
    {"IconTileVertically", eKind::Icon, &ToolbarIcons::TileVertically},
    {"IconTileHorizontally", eKind::Icon, &ToolbarIcons::TileHorizontally},
    {"IconSaveAs", eKind::Icon, &ViewerIcons::SaveAs},
    {"IconCopy", eKind::Icon, &ViewerIcons::Copy},
    {"IconScale", eKind::Icon, &ViewerIcons::Scale},
    {"IconAlignWindow", eKind::Icon, &ViewerIcons::AlignWindow},
    {"IconFullscreen", eKind::Icon, &ViewerIcons::Fullscreen},
    {"IconList", eKind::Icon, &ViewerIcons::List},
    {"IconIcons", eKind::Icon, &ViewerIcons::Icons},
    {"IconRefresh", eKind::Icon, &ViewerIcons::Refresh},
    {"IconFolder", eKind::Icon, &ViewerIcons::Folder},
    {"PictureGeneric", eKind::Picture, &GenericPictures::Generic},
    {"PictureModel2", eKind::Picture, &GenericPictures::Model2},
    {"PictureDs1000Z", eKind::Picture, &RigolScopePictures::Ds1000Z},
    {"PictureDs2000", eKind::Picture, &RigolScopePictures::Ds2000},
    {"PictureMso5000", eKind::Picture, &RigolScopePictures::Mso5000},
    {"PictureSds2000XPlus", eKind::Picture, &BenchScopePictures::Sds2000XPlus},
    {"PictureRtb2000", eKind::Picture, &BenchScopePictures::Rtb2000},
    {"PictureHm2008", eKind::Picture, &BenchScopePictures::Hm2008},
    {"PictureDsa800", eKind::Picture, &RigolBenchPictures::Dsa800},
    {"PictureDg4000", eKind::Picture, &RigolBenchPictures::Dg4000},
    {"PictureDp800", eKind::Picture, &RigolBenchPictures::Dp800},
    {"PictureM3500A", eKind::Picture, &MeterPictures::M3500A},
    {"PictureAbout", eKind::About, &AboutPicture::Paint},
};

// The recipe of every drawing: a new image, scaled from the design size, the figures, done.
// Depth 32 gives an ARGB32 image on a transparent background; depth 24 an RGB888 image that
// starts white, so that the edge pixels which the figures cover only in part are defined.
QImage Render(PaintProcedure pPaint, int iWidth, int iHeight, double dDesignWidth, double dDesignHeight,
              int iDepth = 32) {
    if (iWidth <= 0 || iHeight <= 0) return QImage();
    QImage image = BeginDrawing(iWidth, iHeight, iDepth, -1);
    if (image.isNull()) return QImage();
    {
        VectorCanvas::PainterCanvas canvas(image);
        if (!canvas.IsActive()) return QImage();
        canvas.Scale(iWidth / dDesignWidth, iHeight / dDesignHeight);
        pPaint(canvas);
    }
    return image.convertToFormat(iDepth == 32 ? QImage::Format_ARGB32 : QImage::Format_RGB888);
}

QImage RenderIcon(PaintProcedure pPaint, int iSize) {
    return Render(pPaint, iSize, iSize, kIconDesign, kIconDesign);
}

QImage RenderPicture(PaintProcedure pPaint, int iWidth, int iHeight) {
    return Render(pPaint, iWidth, iHeight, kPictureWidth, kPictureHeight);
}

} // namespace

QImage BeginDrawing(int iWidth, int iHeight, int iDepth, int64_t iBackground) {
    if (iHeight == 0) iHeight = iWidth;
    if (iWidth <= 0 || iHeight <= 0 || iWidth > kMaxSide || iHeight > kMaxSide ||
        int64_t{iWidth} * iHeight > kMaxPixels)
        return QImage();
    if (OsVersion::Windows2000() && iWidth >= 128) iBackground = 0xFFFFFF;
    const bool fAlpha = iDepth == 32;
    QImage image(iWidth, iHeight, fAlpha ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
    if (image.isNull()) return QImage();
    if (iBackground >= 0)
        image.fill(QColor::fromRgb(0xFF000000u | static_cast<uint32_t>(iBackground & 0xFFFFFF)));
    else
        image.fill(fAlpha ? Qt::transparent : Qt::white);
    return image;
}

const std::vector<uDrawing>& Drawings() {
    return mDrawings;
}

QImage Draw(const uDrawing& drawing, int iWidth, int iHeight) {
    if (drawing.kind == eKind::Icon)
        return Render(drawing.pPaint, iWidth, iHeight, kIconDesign, kIconDesign);
    if (drawing.kind == eKind::About) return PictureAbout(iWidth, iHeight);
    return RenderPicture(drawing.pPaint, iWidth, iHeight);
}

QImage IconNewWindow(int iSize) { return RenderIcon(&ToolbarIcons::NewWindow, iSize); }
QImage IconNewScript(int iSize) { return RenderIcon(&ToolbarIcons::NewScript, iSize); }
QImage IconPreferences(int iSize) { return RenderIcon(&ToolbarIcons::Preferences, iSize); }
QImage IconShowWindows(int iSize) { return RenderIcon(&ToolbarIcons::ShowWindows, iSize); }
QImage IconSelectInstrument(int iSize) { return RenderIcon(&ToolbarIcons::SelectInstrument, iSize); }
QImage IconDisconnect(int iSize) { return RenderIcon(&ToolbarIcons::Disconnect, iSize); }
QImage IconConnect(int iSize) { return RenderIcon(&ToolbarIcons::Connect, iSize); }
QImage IconScpiCommand(int iSize) { return RenderIcon(&ToolbarIcons::ScpiCommand, iSize); }
QImage IconScreenshot(int iSize) { return RenderIcon(&ToolbarIcons::Screenshot, iSize); }
QImage IconWaveform(int iSize) { return RenderIcon(&ToolbarIcons::Waveform, iSize); }
QImage IconMaximize(int iSize) { return RenderIcon(&ToolbarIcons::Maximize, iSize); }
QImage IconAdapt(int iSize) { return RenderIcon(&ToolbarIcons::Adapt, iSize); }
QImage IconCascade(int iSize) { return RenderIcon(&ToolbarIcons::Cascade, iSize); }
QImage IconTileVertically(int iSize) { return RenderIcon(&ToolbarIcons::TileVertically, iSize); }
QImage IconTileHorizontally(int iSize) { return RenderIcon(&ToolbarIcons::TileHorizontally, iSize); }
QImage IconSaveAs(int iSize) { return RenderIcon(&ViewerIcons::SaveAs, iSize); }
QImage IconCopy(int iSize) { return RenderIcon(&ViewerIcons::Copy, iSize); }
QImage IconScale(int iSize) { return RenderIcon(&ViewerIcons::Scale, iSize); }
QImage IconAlignWindow(int iSize) { return RenderIcon(&ViewerIcons::AlignWindow, iSize); }
QImage IconFullscreen(int iSize) { return RenderIcon(&ViewerIcons::Fullscreen, iSize); }
QImage IconList(int iSize) { return RenderIcon(&ViewerIcons::List, iSize); }
QImage IconIcons(int iSize) { return RenderIcon(&ViewerIcons::Icons, iSize); }
QImage IconRefresh(int iSize) { return RenderIcon(&ViewerIcons::Refresh, iSize); }
QImage IconFolder(int iSize) { return RenderIcon(&ViewerIcons::Folder, iSize); }

QImage PictureGeneric(int iWidth, int iHeight) { return RenderPicture(&GenericPictures::Generic, iWidth, iHeight); }
QImage PictureModel2(int iWidth, int iHeight) { return RenderPicture(&GenericPictures::Model2, iWidth, iHeight); }
QImage PictureDs1000Z(int iWidth, int iHeight) { return RenderPicture(&RigolScopePictures::Ds1000Z, iWidth, iHeight); }
QImage PictureDs2000(int iWidth, int iHeight) { return RenderPicture(&RigolScopePictures::Ds2000, iWidth, iHeight); }
QImage PictureMso5000(int iWidth, int iHeight) { return RenderPicture(&RigolScopePictures::Mso5000, iWidth, iHeight); }
QImage PictureSds2000XPlus(int iWidth, int iHeight) {
    return RenderPicture(&BenchScopePictures::Sds2000XPlus, iWidth, iHeight);
}
QImage PictureRtb2000(int iWidth, int iHeight) { return RenderPicture(&BenchScopePictures::Rtb2000, iWidth, iHeight); }
QImage PictureHm2008(int iWidth, int iHeight) { return RenderPicture(&BenchScopePictures::Hm2008, iWidth, iHeight); }
QImage PictureDsa800(int iWidth, int iHeight) { return RenderPicture(&RigolBenchPictures::Dsa800, iWidth, iHeight); }
QImage PictureDg4000(int iWidth, int iHeight) { return RenderPicture(&RigolBenchPictures::Dg4000, iWidth, iHeight); }
QImage PictureDp800(int iWidth, int iHeight) { return RenderPicture(&RigolBenchPictures::Dp800, iWidth, iHeight); }
QImage PictureM3500A(int iWidth, int iHeight) { return RenderPicture(&MeterPictures::M3500A, iWidth, iHeight); }
QImage PictureAbout(int iWidth, int iHeight) {
    return Render(&AboutPicture::Paint, iWidth, iHeight, kAboutWidth, kAboutHeight, 24);
}

} // namespace VectorIcon
