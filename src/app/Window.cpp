#include "app/Window.h"

#include "app/Main.h"
#include "common/Ini.h"
#include "common/UtilityGui.h"
#include "common/WindowLog.h"

#include <QGuiApplication>
#include <QMdiSubWindow>
#include <QScreen>
#include <QWidget>

#include <charconv>
#include <cmath>

namespace Window {
namespace {

constexpr const char* KindKey[] = {"",
                                   "WindowLog",
                                   "WindowStart",
                                   "WindowPreferences",
                                   "WindowSelectInstrument",
                                   "WindowScpiCommand",
                                   "WindowScreenshot",
                                   "WindowScreenshotViewer",
                                   "WindowScript",
                                   "WindowWaveform",
                                   "WindowWaveformViewer",
                                   "WindowRemoteControl",
                                   "WindowLiveScreen"};

// The order in which KeyToId tries the keys: each viewer before the key it contains.
constexpr int KeySearchOrder[] = {WindowKindLog,
                                  WindowKindStart,
                                  WindowKindScript,
                                  WindowKindPreferences,
                                  WindowKindSelectInstrument,
                                  WindowKindScpiCommand,
                                  WindowKindScreenshotViewer,
                                  WindowKindScreenshot,
                                  WindowKindWaveformViewer,
                                  WindowKindWaveform,
                                  WindowKindRemoteControl,
                                  WindowKindLiveScreen};

int ToDevice(int iLogical, double dScale) { return static_cast<int>(std::lround(iLogical * dScale)); }
int ToLogical(int iDevice, double dScale) { return static_cast<int>(std::lround(iDevice / dScale)); }

std::string PositionKey(const std::string& sKind, int fMdi) { return sKind + "Position" + (fMdi ? "Mdi" : ""); }

// The store and section named by the caller, config.ini and "Window" by default; nullptr when
// there is no store.
uIni* SelectStore(uIni* pIni, const std::string& sSection) {
    uIni* pStore = pIni ? pIni : Main::ConfigIni();
    if (!pStore) return nullptr;
    Ini::SelectSection(pStore, sSection.empty() ? "Window" : sSection);
    return pStore;
}

int FieldValue(const std::string& sField) {
    int iValue = 0;
    const auto [pEnd, iError] = std::from_chars(sField.data(), sField.data() + sField.size(), iValue);
    (void)pEnd;
    return iError == std::errc() ? iValue : 0;
}

// The normal (restored) geometry of the window in logical pixels, and the state it is shown in.
uWindowPosition Measure(QWidget* pWindow, int fMdi, bool fRestoreAfterwards) {
    uWindowPosition position;
    auto* pFrame = fMdi ? qobject_cast<QMdiSubWindow*>(pWindow->parentWidget()) : nullptr;
    QWidget* pShown = pFrame ? pFrame : pWindow;
    position.iState = pShown->isMinimized() ? StateMinimized : pShown->isMaximized() ? StateMaximized : StateNormal;

    if (pFrame) {
        // An MDI frame keeps no normal geometry of its own while maximised: restore it to measure.
        const bool fComesBackMaximised = Utility::ComesBackMaximised(pFrame);
        if (position.iState != StateNormal) Utility::ShowNormal(pFrame);
        const QRect frame = pFrame->geometry();
        position.x = frame.x();
        position.y = frame.y();
        position.iOuterWidth = frame.width();
        position.iOuterHeight = frame.height();
        position.iInnerWidth = pWindow->width();
        position.iInnerHeight = pWindow->height();
        if (fRestoreAfterwards && position.iState == StateMaximized) pFrame->showMaximized();
        if (fRestoreAfterwards && position.iState == StateMinimized) {
            pFrame->setWindowState(Qt::WindowMinimized | (fComesBackMaximised ? Qt::WindowMaximized : Qt::WindowNoState));
        }
        return position;
    }

    // A top-level window: Qt keeps its normal geometry while it is maximised or minimised, so
    // the window itself stays as it is.
    QRect inner = pWindow->geometry();
    if (position.iState != StateNormal && pWindow->normalGeometry().isValid()) inner = pWindow->normalGeometry();
    const QRect frameNow = pWindow->frameGeometry(), innerNow = pWindow->geometry();
    const int iLeft = innerNow.x() - frameNow.x(), iTop = innerNow.y() - frameNow.y();
    const int iExtraWidth = frameNow.width() - innerNow.width(), iExtraHeight = frameNow.height() - innerNow.height();
    position.x = inner.x() - iLeft;
    position.y = inner.y() - iTop;
    position.iInnerWidth = inner.width();
    position.iInnerHeight = inner.height();
    position.iOuterWidth = inner.width() + iExtraWidth;
    position.iOuterHeight = inner.height() + iExtraHeight;
    return position;
}

} // namespace

std::string IdToKey(int iKind) {
    return iKind >= WindowKindLog && iKind <= WindowKindLiveScreen ? KindKey[iKind] : "";
}

int KeyToId(const std::string& sText) {
    for (int iKind : KeySearchOrder) {
        if (sText.find(KindKey[iKind]) != std::string::npos) return iKind;
    }
    return WindowKindNone;
}

std::string FormatPosition(const uWindowPosition& p) {
    return std::to_string(p.x) + "," + std::to_string(p.y) + "," + std::to_string(p.iInnerWidth) + "," +
           std::to_string(p.iInnerHeight) + "," + std::to_string(p.iOuterWidth) + "," +
           std::to_string(p.iOuterHeight) + "," + std::to_string(p.iState);
}

bool ParsePosition(const std::string& sValue, uWindowPosition& position) {
    if (sValue.empty()) return false;
    int iField[7];
    std::size_t iStart = 0;
    for (int i = 0; i < 7; ++i) {
        const std::size_t iComma = sValue.find(',', iStart);
        if ((i < 6) != (iComma != std::string::npos)) return false; // exactly six commas
        iField[i] = FieldValue(sValue.substr(iStart, i < 6 ? iComma - iStart : std::string::npos));
        iStart = iComma + 1;
    }
    position = {iField[0], iField[1], iField[2], iField[3], iField[4], iField[5], iField[6]};
    return true;
}

void SavePosition(QWidget* pWindow, int iKind, int fMdi, uIni* pIni, const std::string& sSection) {
    const std::string sKind = IdToKey(iKind);
    if (!pWindow || sKind.empty()) return;
    uIni* pStore = pIni ? pIni : Main::ConfigIni();
    if (!pStore) return;
    const uWindowPosition logical = Measure(pWindow, fMdi, pIni != nullptr);
    const double dScale = Utility::DesktopScale();
    uWindowPosition device = logical;
    device.x = ToDevice(logical.x, dScale);
    device.y = ToDevice(logical.y, dScale);
    device.iInnerWidth = ToDevice(logical.iInnerWidth, dScale);
    device.iInnerHeight = ToDevice(logical.iInnerHeight, dScale);
    device.iOuterWidth = ToDevice(logical.iOuterWidth, dScale);
    device.iOuterHeight = ToDevice(logical.iOuterHeight, dScale);
    SelectStore(pStore, sSection);
    Ini::WriteString(pStore, PositionKey(sKind, fMdi), FormatPosition(device));
}

bool LoadPosition(int iKind, int& x, int& y, int& iWidth, int& iHeight, int& iState, int fMdi, uIni* pIni,
                  const std::string& sSection) {
    const std::string sKind = IdToKey(iKind);
    if (sKind.empty()) return false;
    uIni* pStore = SelectStore(pIni, sSection);
    if (!pStore) return false;
    uWindowPosition position;
    if (!ParsePosition(Ini::ReadString(pStore, PositionKey(sKind, fMdi), ""), position)) return false;
    if (!fMdi && !IsOnDesktop(&position)) return false; // an MDI child's place is relative to its area
    const double dScale = Utility::DesktopScale();
    x = ToLogical(position.x, dScale);
    y = ToLogical(position.y, dScale);
    iWidth = ToLogical(position.iInnerWidth, dScale);
    iHeight = ToLogical(position.iInnerHeight, dScale);
    iState = position.iState;
    return true;
}

bool RestorePosition(QWidget* pWindow, int iKind) {
    int x = DefaultPosition, y = DefaultPosition, iWidth = 0, iHeight = 0, iState = StateNormal;
    if (!LoadPosition(iKind, x, y, iWidth, iHeight, iState, 0)) return false;
    pWindow->resize(iWidth, iHeight);
    if (x != DefaultPosition && y != DefaultPosition) pWindow->move(x, y);
    if (iState == StateMaximized) pWindow->setWindowState(Qt::WindowMaximized);
    if (iState == StateMinimized) pWindow->setWindowState(Qt::WindowMinimized);
    return true;
}

void CentreOnScreen(QWidget* pWindow) {
    const QScreen* pScreen = QGuiApplication::primaryScreen();
    if (!pScreen || !pWindow) return;
    QRect frame(QPoint(0, 0), pWindow->size());
    frame.moveCenter(pScreen->availableGeometry().center());
    pWindow->move(frame.topLeft());
}

void InstallLogPlacement() {
    WindowLog::SetPlacement({[](QWidget* pWindow) { return RestorePosition(pWindow, WindowKindLog); },
                             [](QWidget* pWindow) { SavePosition(pWindow, WindowKindLog, 0); }});
}

int IsOnDesktop(const uWindowPosition* pPosition) {
    if (Main::WindowDontCheckPosition()) return 1;
    std::vector<QRect> mDesktops;
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        for (const QScreen* pScreen : QGuiApplication::screens()) {
            const QRect g = pScreen->geometry();
            const double d = pScreen->devicePixelRatio();
            mDesktops.emplace_back(ToDevice(g.x(), d), ToDevice(g.y(), d), ToDevice(g.width(), d),
                                   ToDevice(g.height(), d));
        }
    }
    return IsOnDesktop(pPosition, mDesktops, Utility::DesktopScale());
}

int IsOnDesktop(const uWindowPosition* pPosition, const std::vector<QRect>& mDesktops, double dScale) {
    if (!pPosition) return 0;
    const long long m = std::lround(10 * dScale);
    // 64-bit sums: saved values come from a file and may be anything.
    const long long x = pPosition->x, y = pPosition->y;
    const long long w = pPosition->iOuterWidth, h = pPosition->iOuterHeight;
    for (const QRect& d : mDesktops) {
        const long long dx = d.x(), dy = d.y(), dw = d.width(), dh = d.height();
        if (dx - m <= x && x < dx + dw + m && dy - m <= y && y < dy + dh + m && x + w <= dx + dw + m &&
            y + h <= dy + dh + m) {
            return 1;
        }
    }
    return 0;
}

} // namespace Window
