#include "windows/capture/WindowScreenshotViewer.h"

#include "app/ChildWindow.h"
#include "app/InstrumentWindowInfo.h"
#include "app/Main.h"
#include "app/Window.h"
#include "app/WindowKinds.h"
#include "app/WindowStart.h"
#include "common/ImagePluginGdiPlus.h"
#include "common/Ini.h"
#include "common/UtilityGui.h"
#include "common/WindowLog.h"
#include "platform/EventHub.h"
#include "platform/ProgramEvents.h"
#include "platform/WindowFrame.h"
#include "windows/capture/ScreenshotImages.h"
#include "windows/capture/Template.h"
#include "windows/capture/ViewerSync.h"

#include <QClipboard>
#include <QDateTime>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMdiSubWindow>
#include <QPainter>
#include <QPointer>
#include <QTimeZone>

#include <cmath>
#include <map>
#include <memory>
#include <string>

namespace WindowScreenshotViewer {
namespace {

using ViewerFrame::uViewer;

// The open viewers by window number; GUI thread only.
std::map<int, std::unique_ptr<uWindowScreenshotViewer>> mWindowScreenshotViewer;
std::int64_t iCreationCounter = 0;

const char* const MessageNoImage = "The data could not be converted into an image.";
const char* const MessageNoData = "The data is not available, 0 bytes.";

uWindowScreenshotViewer* Lookup(int iWindow) {
    const auto it = mWindowScreenshotViewer.find(iWindow);
    return it == mWindowScreenshotViewer.end() ? nullptr : it->second.get();
}

int Logical(int iPixels, double dRatio) { return static_cast<int>(std::lround(iPixels / dRatio)); }

// Shows the message in the status bar and logs it with the model in front.
void Fail(uWindowScreenshotViewer& r, const std::string& sMessage) {
    ViewerFrame::SetStatus(r.viewer, QString::fromStdString(sMessage));
    WindowLog::AddError(r.viewer.info.sModel + " - " + sMessage);
}

void Draw(uWindowScreenshotViewer& r) {
    if (r.image.isNull() || !r.viewer.pCanvas) return;
    QImage& surface = r.viewer.pCanvas->Surface();
    const QRect target = DrawRect(surface.size(), r.image.size(), r.fScale != 0);
    QPainter painter(&surface);
    // Device pixels, whatever the screen's scaling.
    painter.setWorldTransform(QTransform::fromScale(1.0 / surface.devicePixelRatio(), 1.0 / surface.devicePixelRatio()));
    if (r.fScale != 0) {
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(target, r.image);
    } else {
        painter.drawImage(target.topLeft(), r.image);
    }
    painter.end();
    r.viewer.pCanvas->update();
    r.iDrawnWidth = target.width();
    r.iDrawnHeight = target.height();
}

void Clear(uWindowScreenshotViewer& r) {
    if (!r.viewer.pCanvas) return;
    r.viewer.pCanvas->Fill(r.viewer.fFullscreen ? ViewerFrame::CanvasBlack : ViewerFrame::CanvasGrey);
    Draw(r);
}

QSize InnerSize(const uWindowScreenshotViewer& r, QSize area) {
    if (r.fScale != 0 || r.image.isNull()) return area;
    const double dRatio = ViewerFrame::PixelRatio(r.viewer);
    return area.expandedTo(QSize(Logical(r.image.width(), dRatio), Logical(r.image.height(), dRatio)));
}

void ItemStates(uWindowScreenshotViewer& r) {
    uViewer& v = r.viewer;
    const bool fImage = !r.image.isNull();
    ViewerFrame::SetItemChecked(v, WindowStart::MenuScale, r.fScale != 0);
    for (int iItem : {WindowStart::MenuSaveAs, WindowStart::MenuCopy, WindowStart::MenuAlignWindow}) {
        ViewerFrame::SetItemEnabled(v, iItem, fImage);
    }
}

void PostViewerSync(const uWindowScreenshotViewer& r) {
    if (r.viewer.iPartner == 0) return;
    EventHub::PostEvent(EventViewerSync, r.viewer.iPartner, 0, 0,
                        EventHub::Payload::Of<uViewerSync>({r.viewer.iWindow, r.fScale, 0, 0}));
}

// The image's own copy: 32-bit images are put on black as 24-bit pixels.
QImage CopyOf(const QImage& image) {
    if (image.depth() != 32) return image.copy();
    QImage copy(image.size(), QImage::Format_RGB888);
    if (copy.isNull()) return copy;
    copy.fill(Qt::black);
    QPainter painter(&copy);
    painter.drawImage(QPoint(0, 0), image);
    return copy;
}

void OnNewScreenshot(uWindowScreenshotViewer& r, std::int64_t fSizeChanged, const uNewScreenshot* pNew) {
    if (!pNew || pNew->image.isNull()) return;
    if (fSizeChanged != 0 && !r.image.isNull() && r.image.size() == pNew->image.size()) fSizeChanged = 0;
    QImage copy = CopyOf(pNew->image);
    if (copy.isNull()) return;
    r.image = std::move(copy);
    r.fSizeChanged = fSizeChanged;
    r.fDeliveredScale = pNew->fScale;
    const Template::uLocalTime now = Template::Now();
    r.iArrivalDate = QDateTime(QDate(now.iYear, now.iMonth, now.iDay), QTime(now.iHour, now.iMinute, now.iSecond),
                               QTimeZone::utc())
                         .toSecsSinceEpoch();
    // 0 would stand for "now"; its last three digits are the same.
    r.iArrivalMilliseconds = now.iMilliseconds != 0 ? now.iMilliseconds : 1000;

    // Counted as its window counts: a picture shown again is no new one, unless the viewer has
    // counted none yet (it was linked after the shot, or its window's count was 0).
    if (pNew->fNew || r.iCount == 0) r.iCount = pNew->iCount > 0 ? pNew->iCount : r.iCount + 1;
    if (r.fDeliveredScale != r.fScale || r.fSizeChanged != 0) {
        r.fSizeChanged = 0;
        r.fScale = r.fDeliveredScale;
        ViewerFrame::Layout(r.viewer);
        Clear(r);
        ViewerFrame::UpdateItemStates(r.viewer);
    } else {
        Draw(r);
    }
    ViewerFrame::SetStatus(r.viewer, QString("Count: %1  -  Size: %2 x %3  Pixel")
                                         .arg(r.iCount)
                                         .arg(r.image.width())
                                         .arg(r.image.height()));
    ViewerFrame::UpdateItemStates(r.viewer);
}

void ToggleScale(uWindowScreenshotViewer& r) {
    if (r.viewer.pMenu) {
        r.fScale = 1 - r.fScale;
        ViewerFrame::Layout(r.viewer);
        Clear(r);
        PostViewerSync(r);
    }
    ViewerFrame::UpdateItemStates(r.viewer);
}

void AlignWindow(uWindowScreenshotViewer& r) {
    uViewer& v = r.viewer;
    if (r.image.isNull() || v.fFullscreen || !v.pFrame || !v.pArea) return;
    QWidget* pOuter = v.pFrame;
    if (QMdiSubWindow* pMdiFrame = ChildWindow::MdiFrame(v.iWindow)) pOuter = pMdiFrame;
    if (pOuter->isMaximized() || pOuter->isMinimized()) return;
    const double dRatio = ViewerFrame::PixelRatio(v);
    const QSize size = r.fScale == 0 ? r.image.size() : QSize(r.iDrawnWidth, r.iDrawnHeight);
    const QSize target(std::max(1, Logical(size.width(), dRatio)), std::max(1, Logical(size.height(), dRatio)));
    // The bars around the scroll area keep their sizes.
    pOuter->resize(pOuter->size() + (target - v.pArea->size()));
}

std::string JoinFolder(const std::string& sFolder, const std::string& sName) {
    if (sFolder.empty()) return sName;
    return sFolder.back() == '/' ? sFolder + sName : sFolder + "/" + sName;
}

void SaveAs(int iWindow) {
    uWindowScreenshotViewer* p = Lookup(iWindow);
    if (!p) return;
    if (p->image.isNull()) {
        Fail(*p, MessageNoImage);
        return;
    }
    std::string sTemplate = "/O /Y/M/D-/H/N/S";
    std::string sFolder;
    if (uIni* pIni = Main::ConfigIni()) {
        Ini::SelectSection(pIni, "InputTemplateFilenameScreenshot");
        sTemplate = Ini::ReadString(pIni, "Default", sTemplate);
        Ini::SelectSection(pIni, "WindowScreenshot");
        sTemplate = Ini::ReadString(pIni, "TemplateFilename", sTemplate);
        sFolder = Ini::ReadString(pIni, "DefaultFolder", "");
    }
    const std::string sName = Template::ExpandSafeFileName(sTemplate, p->viewer.info.sManufacturer,
                                                           p->viewer.info.sModel, p->iArrivalDate,
                                                           p->iArrivalMilliseconds, 0, "") +
                              ".png";
    QPointer<QFileDialog> pDialog = new QFileDialog(p->viewer.pFrame, "Save as"); // as its window's
    pDialog->setAcceptMode(QFileDialog::AcceptSave);
    pDialog->setOption(QFileDialog::DontUseNativeDialog);
    pDialog->setNameFilters({"PNG (*.png)", "All Files (*.*)"});
    pDialog->selectNameFilter("PNG (*.png)");
    Utility::ProposeFile(pDialog, JoinFolder(sFolder, sName));
    const int iResult = pDialog->exec();
    if (!pDialog) return; // the window closed meanwhile
    const QStringList mFiles = pDialog->selectedFiles();
    delete pDialog;
    p = Lookup(iWindow);
    if (!p || iResult != QDialog::Accepted || mFiles.isEmpty() || mFiles.front().isEmpty()) return;
    QString sFile = mFiles.front();
    if (QFileInfo(sFile).suffix().toUpper() != "PNG") sFile += ".png";
    const std::string sPath = sFile.toStdString();
    std::string sFailure;
    if (!ScreenshotImages::WritePng(p->image, sPath, false, sFailure)) {
        Fail(*p, sFailure);
        return;
    }
    // The status line says so too: an earlier failure shown there is over.
    const std::string sSaved = "The screenshot are saved: " + sPath;
    ViewerFrame::SetStatus(p->viewer, QString::fromStdString(sSaved));
    WindowLog::AddLine(p->viewer.info.sModel + " - " + sSaved);
}

void Copy(uWindowScreenshotViewer& r) {
    if (r.image.isNull()) {
        Fail(r, MessageNoData);
        return;
    }
    if (QClipboard* pClipboard = QGuiApplication::clipboard()) {
        pClipboard->clear();
        pClipboard->setImage(r.image);
    }
}

void MenuCommand(int iWindow, int iItem) {
    uWindowScreenshotViewer* p = Lookup(iWindow);
    if (!p) return;
    switch (iItem) {
    case WindowStart::MenuSaveAs: SaveAs(iWindow); return;
    case WindowStart::MenuCopy: Copy(*p); return;
    case WindowStart::MenuScale: ToggleScale(*p); return;
    case WindowStart::MenuAlignWindow: AlignWindow(*p); return;
    default: return;
    }
}

} // namespace

QRect DrawRect(QSize canvas, QSize image, bool fScale) {
    const int gw = std::max(1, canvas.width()), gh = std::max(1, canvas.height());
    const int iw = std::max(1, image.width()), ih = std::max(1, image.height());
    int w = iw, h = ih;
    if (fScale) {
        const float ri = static_cast<float>(iw) / static_cast<float>(ih);
        const float rg = static_cast<float>(gw) / static_cast<float>(gh);
        if (ri > rg) {
            w = gw;
            h = static_cast<int>(std::lround(static_cast<float>(gw) / ri));
        } else {
            w = static_cast<int>(std::lround(static_cast<float>(gh) * ri));
            h = gh;
        }
        w = std::max(1, w);
        h = std::max(1, h);
    }
    return QRect((gw - w) / 2, (gh - h) / 2, w, h);
}

int Open(int iMainWindow, int iChild, uInstrumentWindowInfo* pInfo) {
    auto pRecord = std::make_unique<uWindowScreenshotViewer>();
    const ViewerFrame::uKind kind{WindowKindScreenshotViewer, Title, true, &uModelCapabilities::bScreenshot};
    if (!ViewerFrame::Build(pRecord->viewer, iMainWindow, iChild, pInfo, kind, ++iCreationCounter)) return 0;
    const int iWindow = pRecord->viewer.iWindow;
    uWindowScreenshotViewer& r = *pRecord;
    mWindowScreenshotViewer[iWindow] = std::move(pRecord);

    using EventHub::uEvent;
    auto with = [iWindow](auto fn) {
        return [iWindow, fn](auto&&... args) {
            if (uWindowScreenshotViewer* p = Lookup(iWindow)) fn(*p, args...);
        };
    };
    ViewerFrame::uHooks hooks;
    hooks.fnMenu = [iWindow](int iItem) { MenuCommand(iWindow, iItem); };
    hooks.fnInnerSize = [iWindow](QSize area) {
        const uWindowScreenshotViewer* p = Lookup(iWindow);
        return p ? InnerSize(*p, area) : area;
    };
    hooks.fnRedraw = with([](uWindowScreenshotViewer& w) { Clear(w); });
    hooks.fnItemStates = with([](uWindowScreenshotViewer& w) { ItemStates(w); });
    hooks.fnSync = with([](uWindowScreenshotViewer& w, const uViewerSync& sync) {
        w.fScale = sync.fScale;
        if (sync.fCount != 0) w.iCount = sync.iCount;
    });
    hooks.fnConnected = with([](uWindowScreenshotViewer& w, bool fSame) {
        if (fSame) return; // the picture of the instrument stays
        w.image = QImage();
        Clear(w);
    });
    hooks.fnDisconnected = with([](uWindowScreenshotViewer& w) { w.iCount = 0; });
    hooks.fnClosing = [iWindow] { mWindowScreenshotViewer.erase(iWindow); };
    EventHub::Bind(EventNewScreenshot, iWindow, with([](uWindowScreenshotViewer& w, const uEvent& e) {
                       OnNewScreenshot(w, e.iType, e.pData.Get<uNewScreenshot>());
                   }));
    ViewerFrame::Install(r.viewer, [](int i) -> uViewer* {
        uWindowScreenshotViewer* p = Lookup(i);
        return p ? &p->viewer : nullptr;
    }, std::move(hooks));
    return iWindow;
}

int UpdateMenus(int iWindow) {
    if (uWindowScreenshotViewer* p = Lookup(iWindow)) ViewerFrame::RebuildMenu(p->viewer);
    return 0;
}

bool GetInstance(int iWindow, uWindowScreenshotViewer** ppRecord) {
    uWindowScreenshotViewer* p = Lookup(iWindow);
    if (ppRecord) *ppRecord = p;
    return p != nullptr;
}

void RegisterKind() {
    WindowKinds::Register(WindowKindScreenshotViewer, {Open, [](int iWindow) { UpdateMenus(iWindow); }});
}

} // namespace WindowScreenshotViewer
