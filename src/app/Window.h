// Window placement: where each kind of window was and how it was shown, kept as one text value
// "x,y,innerWidth,innerHeight,outerWidth,outerHeight,state" in config.ini or workspace.ini.
// x and y are the frame's top-left corner; all six numbers are device pixels.
#pragma once

#include <QRect>

#include <string>
#include <vector>

class QWidget;
struct uIni;

// Window kinds; their key texts name the windows in config.ini and workspace.ini.
enum eWindow : int {
    WindowKindNone = 0,
    WindowKindLog = 1,
    WindowKindStart = 2,
    WindowKindPreferences = 3,
    WindowKindSelectInstrument = 4,
    WindowKindScpiCommand = 5,
    WindowKindScreenshot = 6,
    WindowKindScreenshotViewer = 7,
    WindowKindScript = 8,
    WindowKindWaveform = 9,
    WindowKindWaveformViewer = 10,
    WindowKindRemoteControl = 11,
    WindowKindLiveScreen = 12,
};

namespace Window {

inline constexpr int StateNormal = 0;
inline constexpr int StateMaximized = 16777216;
inline constexpr int StateMinimized = 536870912;
// An x or y that the system chooses.
inline constexpr int DefaultPosition = -65535;

// The seven fields of a saved position.
struct uWindowPosition {
    int x = 0, y = 0;
    int iInnerWidth = 0, iInnerHeight = 0;
    int iOuterWidth = 0, iOuterHeight = 0;
    int iState = StateNormal;
};

// "WindowLog" ... "WindowLiveScreen"; "" for any other value.
std::string IdToKey(int iKind);
// The kind whose key text occurs in the text (viewer keys before the keys they contain); 0 for none.
int KeyToId(const std::string& sText);

// The value text, and its reading: exactly six commas, a field that is no number counts as 0.
std::string FormatPosition(const uWindowPosition& position);
bool ParsePosition(const std::string& sValue, uWindowPosition& position);

// Writes the window's normal geometry and its state under IdToKey(kind) + "Position" (+ "Mdi"),
// into pIni or the open config.ini, section sSection or "Window". An MDI child (fMdi) is
// measured by its MDI frame, relative to the MDI area; it is restored for that and, when pIni
// is given, put back into its state afterwards.
void SavePosition(QWidget* pWindow, int iKind, int fMdi, uIni* pIni = nullptr, const std::string& sSection = "");

// Reads the saved position back as logical x, y (frame corner), inner width and height and the
// state. false (outputs untouched) when none is saved, the value is malformed, or a window that
// is not an MDI child would lie off every desktop.
bool LoadPosition(int iKind, int& x, int& y, int& iWidth, int& iHeight, int& iState, int fMdi,
                  uIni* pIni = nullptr, const std::string& sSection = "");

// Sizes, places and shows-state a new top-level window as LoadPosition reads it; false (window
// untouched) when there is no usable saved place.
bool RestorePosition(QWidget* pWindow, int iKind);

// Puts the window in the middle of the primary screen's available area.
void CentreOnScreen(QWidget* pWindow);

// Lets the log window keep its place in config.ini (called once at start-up).
void InstallLogPlacement();

// Whether the frame lies on one of the present screens, with a margin of 10 logical pixels;
// always when the user switched the check off.
int IsOnDesktop(const uWindowPosition* pPosition);
// The same test against the given desktops (device pixels) at the given scaling.
int IsOnDesktop(const uWindowPosition* pPosition, const std::vector<QRect>& mDesktops, double dScale);

} // namespace Window
