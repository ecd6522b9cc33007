// The window that the screenshot viewer and the waveform viewer share: an MDI child or a separate
// window with the shared menus, a toolbar, a status bar and a borderless scroll area that holds a
// canvas; its saved placement, fullscreen, title, window icon, the main window's instrument and
// the link with its capture window. Each viewer module keeps a uViewer in its own record and adds
// what it shows. GUI thread only.
#pragma once

#include "app/InstrumentWindowInfo.h"
#include "windows/capture/ViewerSync.h"

#include <QColor>
#include <QImage>
#include <QLabel>
#include <QMenuBar>
#include <QShortcut>
#include <QStatusBar>
#include <QToolBar>
#include <QPointer>
#include <QRect>
#include <QScrollArea>
#include <QSize>
#include <QWidget>

#include <cstdint>
#include <functional>

class QAction;
class WindowFrame;

namespace ViewerFrame {

// Keyboard items of the viewers: Escape leaves fullscreen, F11 toggles it.
inline constexpr int MenuEscape = 267;
inline constexpr int MenuF11 = 270;

// Background of the canvas: grey in a window, black in fullscreen.
inline constexpr QRgb CanvasGrey = 0x808080;
inline constexpr QRgb CanvasBlack = 0x000000;

// The canvas keeps what was drawn on it in an image of its size in device pixels; drawing adds
// to it, only a clear wipes it. A new size starts from the given background.
class Canvas : public QWidget {
  public:
    explicit Canvas(QWidget* pParent);
    // The drawing surface (device pixels, with the screen's pixel ratio).
    QImage& Surface();
    void Fill(QRgb color);
    void SetBackground(QRgb color) { background = color; }

  protected:
    void paintEvent(QPaintEvent* pEvent) override;

  private:
    // The surface follows the widget's size; a new size starts from the background.
    void EnsureSurface();
    QImage surface;
    QRgb background = CanvasGrey;
};

// The scroll area tells its viewer when its size changed.
class Area : public QScrollArea {
  public:
    explicit Area(QWidget* pParent) : QScrollArea(pParent) {}
    std::function<void()> fnResized;

  protected:
    void resizeEvent(QResizeEvent* pEvent) override;
};

// What differs between the two viewers.
struct uKind {
    int iKind = 0;
    const char* sTitle = "";
    // "&Scale" and "&Align window" in the toolbar.
    bool fScaleButtons = false;
    // The capability flag that lets the model's data reach the viewer.
    std::int64_t uModelCapabilities::* pCapability = nullptr;
};

// What the viewer module does on the shared events; each is called with the record looked up.
struct uHooks {
    // Items the shared handling does not take (1, 9, 12, 13).
    std::function<void(int iItem)> fnMenu;
    // The inner size of the scroll area for its present size; the area's own size by default.
    std::function<QSize(QSize area)> fnInnerSize;
    // The canvas got a new size or background: clear it and draw again.
    std::function<void()> fnRedraw;
    // The viewer's own item states, after the shared ones.
    std::function<void()> fnItemStates;
    // EventViewerSync arrived (after the partner was taken).
    std::function<void(const uViewerSync& sync)> fnSync;
    // A model that serves this viewer connected; fSame: the model connected before (after a lost
    // connection or a Disconnect), whose picture may stay.
    std::function<void(bool fSame)> fnConnected;
    // The instrument of the viewer disconnected.
    std::function<void()> fnDisconnected;
    // The window is closing: the module drops its record (after the shared steps).
    std::function<void()> fnClosing;
};

struct uViewer {
    std::int64_t iCreation = 0;
    int iWindow = 0;
    int iMainWindow = 0;
    int iPartner = 0;
    uKind kind;
    int fMdi = 0;
    QPointer<WindowFrame> pFrame;
    QPointer<QMenuBar> pMenu;
    QPointer<QToolBar> pToolBar;
    QPointer<QStatusBar> pStatusBar;
    QPointer<QLabel> pStatus; // field 0 of the status bar
    QPointer<Area> pArea;
    QPointer<Canvas> pCanvas;
    uInstrumentWindowInfo info;
    bool fFullscreen = false;
    // The window's normal geometry before fullscreen.
    QRect saved;
    QPointer<QShortcut> pEscape;
    QPointer<QShortcut> pF11;
    uHooks hooks;
    // The placement read when it opened: whether one was saved, and its state.
    bool fPlacementFound = false;
    int iOpenState = 0;
};

// Builds the window: saved placement (or 600 x 400), menu bar, toolbar, status bar and the
// scroll area with its canvas, and copies the instrument. false when no window could be made.
bool Build(uViewer& viewer, int iMainWindow, int iChild, const uInstrumentWindowInfo* pInfo, const uKind& kind,
           std::int64_t iCreation);
// Binds the events, shows the window and lays it out. fnLookup finds the record again by window
// number (nullptr once it closed).
void Install(uViewer& viewer, std::function<uViewer*(int iWindow)> fnLookup, uHooks hooks);
// Builds the menu bar anew (the screenshot viewer after the workspace list changed).
void RebuildMenu(uViewer& viewer);

// Lays the scroll area's inner size and the canvas out again, and redraws when the canvas changed.
void Layout(uViewer& viewer);
void ToggleFullscreen(uViewer& viewer);
// The shared item states, then the module's.
void UpdateItemStates(uViewer& viewer);
void UpdateTitle(uViewer& viewer);
void UpdateWindowIcon(uViewer& viewer);
// Status bar field 0.
void SetStatus(uViewer& viewer, const QString& sText);
// A menu item and its toolbar button together.
void SetItemEnabled(uViewer& viewer, int iItem, bool fEnabled, bool fMenu = true, bool fButton = true);
void SetItemChecked(uViewer& viewer, int iItem, bool fChecked);
// The toolbar button of the item, or nullptr.
QAction* Button(const uViewer& viewer, int iItem);
// Device pixels per logical pixel of the viewer's screen.
double PixelRatio(const uViewer& viewer);

} // namespace ViewerFrame
