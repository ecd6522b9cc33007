// The preferences window: the settings of config.ini that have an editor (toolbar size, the
// response time-outs of the four interfaces). Edits are kept as pending changes until "OK"
// writes them into config.ini in memory; the file is written at exit. The program has at most
// one preferences window; it stands alone, owned by its main window, or is an MDI child that a
// workspace restores.
#pragma once

#include <QPointer>

#include <cstdint>
#include <string>
#include <vector>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QStatusBar;
class QTreeWidget;
class QWidget;
class WindowFrame;
struct uIni;
struct uInstrumentWindowInfo;

namespace WindowPreferences {

// How a pending change is written.
enum ePreferenceType : int {
    PreferenceText = 0,    // Ini::WriteString
    PreferenceFlag = 1,    // Ini::WriteBool, "1"/"0"
    PreferenceNumber = 2,  // Ini::WriteNumberAs, plain decimal
    PreferenceLong = 3,    // Ini::WriteLong
    PreferenceDouble = 4,  // Ini::WriteDouble, default precision
    PreferenceQuad = 5,    // Ini::WriteInteger
    PreferenceFloat = 6,   // Ini::WriteFloat, default precision
};

struct uPreferenceChange {
    std::string sGroup;
    std::string sKey;
    int iType = PreferenceText;
    std::string sText;
    int fFlag = 0;
    std::int64_t iNumber = 0;
    std::int32_t lLong = 0;
    double dDouble = 0;
    std::int64_t qQuad = 0;
    float fFloat = 0;
};

// The sections of the tree, by their index in the tree.
inline constexpr int SectionGeneral = 0;
inline constexpr int SectionShortcuts = 1;
inline constexpr int SectionInstrument = 2;
inline constexpr int SectionCount = 3;

// The four time-out fields, in the order of eInterface.
inline constexpr int TimeoutCount = 4;
inline constexpr const char* TimeoutKey[TimeoutCount] = {"TimeOutDeviceResponseUsbTmc", "TimeOutDeviceResponseLxi",
                                                          "TimeOutDeviceResponseRaw", "TimeOutDeviceResponseSerial"};

// Keyboard shortcuts of the window, as menu items.
inline constexpr int MenuEscape = 267;
inline constexpr int MenuReturn = 268;

// A toolbar edit: "OK" gives the open main windows' toolbars the size at once.
inline constexpr const char* TextToolBarApplies = "The toolbars change with OK.";
inline constexpr const char* TextBadTimeout = "The waiting time must be a whole number from 1 to 3600000 milliseconds.";
// Under a time-out field whose text is no such number; "OK" then saves nothing.
inline constexpr const char* TextTimeoutReason = "Not a whole number from 1 to 3600000: nothing is saved.";
// A valid time-out edit: "OK" hands it to the open connections as well.
inline constexpr const char* TextTimeoutApplies = "Applies to every connection from its next exchange.";

struct uWindowPreferences {
    std::int64_t iCreation = 0;
    int iWindow = 0;
    int iOwner = 0;
    int fMdi = 0;
    QPointer<WindowFrame> pFrame;
    QPointer<QStatusBar> pStatusBar;
    // The status bar's one field: the path of config.ini, then what the edits say.
    QPointer<QLabel> pStatusText;
    QPointer<QTreeWidget> pTree;
    QPointer<QPushButton> pOk;
    QPointer<QPushButton> pCancel;
    QPointer<QWidget> pCurrentPage;
    QPointer<QWidget> mPage[SectionCount];
    QPointer<QGroupBox> mFrame[SectionCount];
    QPointer<QCheckBox> pToolBarLarge;
    QPointer<QLineEdit> mTimeout[TimeoutCount];
    QPointer<QLabel> mTimeoutReason[TimeoutCount]; // under each field, shown while its text is refused
    // The edits in the order they were made; the last edit of a key wins.
    std::vector<uPreferenceChange> mChange;
};

// Builds the window in the MDI child iChild of the main window, or for -1 as a separate window
// owned by the main window; returns its window number, 0 when it could not be opened.
int Open(int iMainWindow, int iChild, uInstrumentWindowInfo* pInfo);
// Closes the window without applying its edits; iClosingMainWindow is the main window that is
// closing and asked its children to close, else 0.
void Close(int iWindow, int iClosingMainWindow);
bool FindInstance(int iWindow, uWindowPreferences** ppWindow);

// Shows the section selected in the tree (with fRestore: the one shown last, from
// "General"/"PreferencesRecent") and remembers it in config.ini.
void ShowSection(int iWindow, bool fRestore);
// Writes the pending changes into config.ini in the order they were made, and hands the
// time-outs to the running program (each connection takes them from its next exchange).
void ApplyChanges(int iWindow);
// A time-out as typed: a whole number from 1 to 3600000, blanks around it allowed.
bool ParseTimeout(const std::string& sText, std::int64_t& iValue);
// Writes one change into the INI store under its group.
void WriteChange(uIni* pIni, const uPreferenceChange& change);

// Enters the window's kind into the window-kind registry (start-up).
void RegisterKind();

} // namespace WindowPreferences
