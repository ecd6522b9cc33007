// Drives the real viewers for a look by eye: a main window connected to the raw TCP simulator on
// loopback, a screenshot viewer (separate, fitted) showing a drawn oscilloscope screen, a waveform
// viewer (separate) and the file-name template dialog; then the screenshot viewer fullscreen and
// back. Saves <folder>/viewers.png and <folder>/fullscreen.png and prints what the window did.
// Usage: viewer_screenshot <folder>  (under a display server such as Xvfb, inside a network
// namespace of its own).
#include "ToolSupport.h"

#include "app/Main.h"
#include "app/Window.h"
#include "app/WindowStart.h"
#include "common/ImagePluginGdiPlus.h"
#include "common/WindowLog.h"
#include "instrument/Instrument.h"
#include "platform/EventHub.h"
#include "platform/ProgramEvents.h"
#include "platform/WindowFrame.h"
#include "sim/RawTcpServer.h"
#include "windows/capture/ViewerSync.h"
#include "windows/capture/WindowScreenshot.h"
#include "windows/capture/WindowScreenshotViewer.h"
#include "windows/capture/WindowTemplateFilename.h"
#include "windows/capture/WindowWaveform.h"
#include "windows/capture/WindowWaveformViewer.h"

#include <QApplication>
#include <QDialog>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QTemporaryDir>

#include <cmath>
#include <cstdio>

namespace {

using ToolSupport::Settle;

// Something that looks like an oscilloscope's screen: grid, two traces, a label.
QImage ScopeScreen() {
    QImage image(800, 480, QImage::Format_RGB32);
    image.fill(Qt::black);
    QPainter p(&image);
    p.setPen(QColor(70, 70, 70));
    for (int x = 0; x <= 800; x += 80) p.drawLine(x, 0, x, 479);
    for (int y = 0; y <= 480; y += 60) p.drawLine(0, y, 799, y);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath sine, square;
    for (int x = 0; x < 800; ++x) {
        const double y = 160 + 90 * std::sin(x / 40.0);
        const double s = (x / 100) % 2 ? 300 : 400;
        if (x == 0) {
            sine.moveTo(x, y);
            square.moveTo(x, s);
        } else {
            sine.lineTo(x, y);
            square.lineTo(x, s);
        }
    }
    p.setPen(QPen(QColor(255, 220, 0), 2));
    p.drawPath(sine);
    p.setPen(QPen(QColor(0, 220, 255), 2));
    p.drawPath(square);
    p.setPen(Qt::white);
    p.drawText(10, 470, "CH1 1.00V  CH2 2.00V  500us/div");
    return image;
}

int Fail(int iStep) { return ToolSupport::Fail("viewer_screenshot", iStep); }

} // namespace

int main(int argc, char** argv) {
    if (!ToolSupport::OneArgument(argc, argv, "folder")) return 2;
    const QString sFolder = QString::fromLocal8Bit(argv[1]);
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    QTemporaryDir dir;
    ToolSupport::UseFoldersWithConfig(dir);
    WindowScreenshot::RegisterKind();
    WindowScreenshotViewer::RegisterKind();
    WindowWaveform::RegisterKind();
    WindowWaveformViewer::RegisterKind();
    ImagePluginGdiPlus::Startup();
    ImagePluginGdiPlus::RegisterDecoder();
    ImagePluginGdiPlus::RegisterEncoder();
    WindowLog::Create();

    int iMain = 0;
    if (!ToolSupport::OpenMain(iMain, 10, 40, 560, 420)) return Fail(1);

    Sim::RawTcpServer server;
    std::string sError;
    if (!server.Start(sError)) return Fail(2);
    server.Device().SetIdn("RIGOL TECHNOLOGIES,DS1104Z,DS1ZA000000001,00.04.04.SP3");
    const InstrumentObject object = ToolSupport::ConnectRawTcp(iMain, server.Port());
    if (!object) return Fail(3);
    Settle(800);

    WindowStart::OpenScreenshot(iMain, 1);
    WindowStart::OpenWaveform(iMain, 1);
    Settle(200);
    const int iShot = WindowStart::FindChild(iMain, WindowKindScreenshot);
    const int iWave = WindowStart::FindChild(iMain, WindowKindWaveform);
    WindowStart::OpenScreenshotViewer(iMain, 0, iShot);
    WindowStart::OpenWaveformViewer(iMain, 0, iWave);
    Settle(300);
    const int iShotViewer = WindowStart::FindChild(iMain, WindowKindScreenshotViewer);
    const int iWaveViewer = WindowStart::FindChild(iMain, WindowKindWaveformViewer);
    uWindowScreenshotViewer* pShot = nullptr;
    uWindowWaveformViewer* pWave = nullptr;
    if (!WindowScreenshotViewer::GetInstance(iShotViewer, &pShot) || !WindowWaveformViewer::GetInstance(iWaveViewer, &pWave)) {
        return Fail(4);
    }
    pShot->viewer.pFrame->setGeometry(590, 40, 660, 460);
    pWave->viewer.pFrame->setGeometry(590, 560, 420, 220);
    Settle(200);
    EventHub::PostEvent(EventNewScreenshot, iShotViewer, 0, 1, EventHub::Payload::Of<uNewScreenshot>({ScopeScreen(), 1, true}));
    const int iDialog = WindowTemplateFilename::Open(iShot, WindowKindScreenshot, "");
    uWindowTemplateFilename* pDialog = nullptr;
    if (!WindowTemplateFilename::GetInstance(iDialog, &pDialog)) return Fail(5);
    pDialog->pDialog->move(60, 480);
    Settle(600);
    const bool fSaved = ToolSupport::Grab(sFolder + "/viewers.png");
    std::printf("screenshot viewer: %s, canvas %dx%d, drawn %dx%d, status \"%s\"\n",
                pShot->viewer.pFrame->windowTitle().toUtf8().constData(), pShot->viewer.pCanvas->width(),
                pShot->viewer.pCanvas->height(), pShot->iDrawnWidth, pShot->iDrawnHeight,
                pShot->viewer.pStatus->text().toUtf8().constData());
    std::printf("waveform viewer: %s\n", pWave->viewer.pFrame->windowTitle().toUtf8().constData());
    WindowTemplateFilename::Close(iDialog);

    const QRect normal = pShot->viewer.pFrame->geometry();
    EventHub::PostEvent(EventViewerFullscreen, iShotViewer);
    Settle(800);
    const QRect screen = pShot->viewer.pFrame->screen()->geometry();
    std::printf("fullscreen: window %d,%d %dx%d, screen %d,%d %dx%d, canvas %dx%d\n", pShot->viewer.pFrame->x(),
                pShot->viewer.pFrame->y(), pShot->viewer.pFrame->width(), pShot->viewer.pFrame->height(), screen.x(),
                screen.y(), screen.width(), screen.height(), pShot->viewer.pCanvas->width(),
                pShot->viewer.pCanvas->height());
    const bool fFull = ToolSupport::Grab(sFolder + "/fullscreen.png");
    EventHub::PostEvent(EventMenu, iShotViewer, 267); // Escape
    Settle(800);
    const QRect back = pShot->viewer.pFrame->geometry();
    std::printf("back: %d,%d %dx%d (before %d,%d %dx%d)\n", back.x(), back.y(), back.width(), back.height(), normal.x(),
                normal.y(), normal.width(), normal.height());

    std::fflush(stdout);
    ToolSupport::CloseAll(iMain);
    return fSaved && fFull ? 0 : 1;
}
