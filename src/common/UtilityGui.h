// Small window helpers that window modules call while they open or serve their windows: toolbar
// icon sizes on scaled displays, the system font size, key state, wheel lines, plain-text
// editors and long texts into them, tooltips with a title, list column widths and the window
// icon. GUI thread only.
#pragma once

#include <QDeadlineTimer>
#include <QIcon>
#include <QString>
#include <QStringView>

#include <cstdint>
#include <string>
#include <vector>

class QFileDialog;
class QLabel;
class QMdiSubWindow;
class QPlainTextEdit;
class QStatusBar;
class QToolBar;
class QTreeView;
class QWidget;

namespace Utility {

// Virtual-key codes that IsKeyPressed knows: the modifier keys.
inline constexpr int KeyShift = 0x10;
inline constexpr int KeyControl = 0x11;
inline constexpr int KeyAlt = 0x12;

// What a window shows as its icon. uInstrumentWindowInfo holds one for the connected instrument.
struct uWindowIcon {
    int iBuiltIn = 0;                    // which of the two built-in icons serves without an icon file
    std::vector<std::uint8_t> mIconFile; // the instrument's ICO file; empty = none
    QIcon current;                       // the icon the window shows now
};

// The desktop's scaling factor (1.0 at 100 %): device pixels per logical pixel of the primary
// screen; 1.0 without a screen.
double DesktopScale();

// While a drop-down list or a menu is open, Escape belongs to it alone: no window's shortcut
// sees the key. (On X the list closes while the key's shortcut check passes through it, and the
// window's Escape shortcut would then close or cancel the window too.) Installs one filter for
// the whole application; every child window calls it as it opens.
void KeepEscapeForPopups();

// Qt widgets paint through a double-buffered backing store already; kept so that every window
// switches it on in one place.
void EnableSmartRefresh(QWidget* pWindow);

// Takes the minimised state off a window and nothing else: one maximised before it was minimised
// comes back maximised, as the window manager's own restore brings it (an MDI frame as
// KeepMaximisedWhenMinimised below lets it).
void RestoreMinimised(QWidget* pWindow);

// An MDI frame minimised while maximised comes back maximised, whatever brings it back (its own
// restore button or menu, RestoreMinimised), as other MDI programs do: Qt's frame drops its
// maximised state as it is minimised and would come back at its normal size. It goes from
// minimised to maximised at once, never through its normal size. Called once, as the frame is made.
void KeepMaximisedWhenMinimised(QMdiSubWindow* pFrame);
// Whether the window, minimised, comes back maximised.
bool ComesBackMaximised(const QWidget* pWindow);
// Brings a window to its normal state on purpose (to measure or place it): also an MDI frame that
// would come back maximised.
void ShowNormal(QWidget* pWindow);

// Icon size for toolbar size 2 (large: 24) or any other (16), in device pixels of the scaled
// display: the size at which the caller draws its icons. The toolbar gets the size in logical
// pixels. The third value is not used.
int SetToolBarIconSize(QToolBar* pToolBar, int iSize, int iUnused = 0);

// 1 when the desktop is scaled above 100 %, else 0.
int IsDisplayScaled();

// Point size of the application's (message) font; iDefault without an application or font.
int GetSystemFontSize(int iDefault = 9);

// 1 while the key is down (Shift, Ctrl or Alt). The since-last-call flag asks whether the key
// was pressed since the previous query; Qt tells only whether it is down now, which is returned.
int IsKeyPressed(int iVirtualKey, int fSinceLastCall = 0);

// Lines scrolled per wheel notch; 0 when there is no widget application.
int GetWheelScrollLines();

// Empties a QTextEdit or QPlainTextEdit and makes it take pasted text without formatting.
void EditorSetPlainText(QWidget* pEditor);

// Appends sText from iFrom on to the editor as appendPlainText would, in steps of whole lines of
// about AppendStepChars characters, until all of it is in or the deadline has passed (at least
// one step is taken); iFrom moves past what went in. True when all of it is in (iFrom is then
// past the end). A text box takes thousands of lines at once only at the cost of tens of
// milliseconds, so a long text goes in over several turns of the Qt loop.
inline constexpr qsizetype AppendStepChars = 16384;
bool AppendLines(QPlainTextEdit* pEditor, QStringView sText, qsizetype& iFrom, const QDeadlineTimer& deadline);

// Appends the lines of sText to sOut, each ending in LF; a line longer than LongLineChars goes in
// as several lines of that length (never half a character). A text box lays out a line whole as
// soon as any of it shows, and a megabyte takes it a third of a second; lines of this length are
// laid out only when they show. Nothing of the text is lost.
inline constexpr qsizetype LongLineChars = 4096;
void GatherLines(QString& sOut, QStringView sText);

// A tooltip over the whole gadget; iMaxWidth > 0 wraps longer text at that width in pixels, a
// title shows as a bold first line. Returns 0.
int AddGadgetToolTip(QWidget* pGadget, const std::string& sText, int iMaxWidth, const std::string& sTitle);
// The tool tip text that AddGadgetToolTip sets: rich text where it wraps or has a title, else
// the text as it is.
QString ToolTipText(const QString& sText, int iMaxWidth, const QString& sTitle);
// The width at which a tool tip that shows a whole status text or log line wraps.
inline constexpr int ToolTipWidth = 600;

// Sizes the columns iFirst to iLast to their contents and header titles; 0 for either means every
// column. Hidden columns and columns of width 0 stay as they are. sPrefix widens the first
// column of the range as if it stood before that column's title.
void ListIconAutoSizeColumns(QTreeView* pList, int iFirst, int iLast, const std::string& sPrefix = "");

// The height that shows the list's header and iRows rows of text within its frame.
int ListHeightForRows(const QTreeView* pList, int iRows);

// Sets the window's icon from the record: the instrument's icon file, else a built-in icon; the
// record keeps the icon shown. For an MDI child (fMdi) the MDI frame around it shows it too.
void SetWindowIcon(QWidget* pWindow, int fMdi, uWindowIcon* pIcon);

// The status bar's lasting text field, made on first use: a label across the bar, as wide as the
// bar whatever its text. Unlike a temporary message, which every menu item the mouse passes over
// wipes, its text stays until it is set again.
QLabel* StatusLabel(QStatusBar* pBar);
// The one way every window sets a status text. The field shows the text with the reason first:
// the "Module::Procedure: " labels that lead the log's lines (also after a lead-in such as
// "Communication error: ") are left out, since a narrow field cuts off the end of a line and the
// reason is what the user needs. A text wider than the field ends in "…" where it is cut, cut
// afresh at every resize (the label's text() stays whole), and shows as plain text. Its tool tip
// holds the whole text as given, labels included (wrapped at ToolTipWidth). An empty text empties
// both. Bytes that are no printable text are shown escaped in both (Utility::PrintableText).
void SetStatusText(QStatusBar* pBar, const std::string& sText);
// The same for a field of a window's own; fReasonFirst false shows the text as it is (a
// script's own words).
void SetStatusText(QLabel* pField, const QString& sText, bool fReasonFirst = true);
// The text without its "Module::Procedure: " labels.
QString ReasonFirst(const QString& sText);
// A failure reason of the usual length, worded as the windows word theirs: a window whose status
// line shows such reasons is by default wide enough to show it whole.
inline constexpr const char* UsualReason =
    "No answer from 192.168.100.200 within 5000 ms. Check the IP address, the cable and that the instrument is switched on.";
// The width of a status bar whose lasting field shows sText whole (size grip and margins included).
int StatusBarWidthFor(QStatusBar* pBar, const QString& sText);
// Proposes a file in a save dialog (not a native one). Where its folder has gone, the dialog
// would cut the folder's length off the front of the whole path: the name field then gets the
// whole path, which the dialog takes as typed.
void ProposeFile(QFileDialog* pDialog, const std::string& sPath);

// The program's own icon (the first built-in icon): the default of every window that shows no
// instrument's icon, set once at start-up.
QIcon ProgramIcon();

} // namespace Utility
