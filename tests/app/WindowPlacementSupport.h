// Shared by the window placement tests: INI files in a temporary folder, waiting for Qt, and an
// MDI child on show.
#pragma once

#include "common/Ini.h"
#include "common/TestApplication.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTemporaryDir>
#include <QThread>
#include <QWindow>

#include <functional>
#include <memory>
#include <string>

namespace WindowPlacementSupport {

// An INI file of the given text, opened as the program opens its files.
inline std::unique_ptr<uIni> OpenIni(const QTemporaryDir& dir, const std::string& sName, const std::string& sText) {
    const QString sPath = dir.filePath(QString::fromStdString(sName));
    QFile file(sPath);
    if (!file.open(QIODevice::WriteOnly)) return nullptr;
    file.write(sText.data(), static_cast<qint64>(sText.size()));
    file.close();
    return Ini::Open(sPath.toStdString(), IniFlagsProgram);
}

// Lets Qt work until the condition holds or the time is up; whether it holds.
inline bool WaitFor(const std::function<bool()>& condition, int iMilliseconds = 5000) {
    QDeadlineTimer deadline(iMilliseconds);
    while (!condition()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
    return true;
}

inline bool WaitExposed(QWidget& window) {
    return WaitFor([&] { return window.windowHandle() && window.windowHandle()->isExposed(); });
}

// An 800 x 600 MDI area on show with one child window whose MDI frame has the given geometry.
struct uMdiChild {
    QMdiArea area;
    QMainWindow* pChild = new QMainWindow;
    QMdiSubWindow* pFrame = nullptr;
    bool fShown = false;
    explicit uMdiChild(const QRect& frame) {
        area.resize(800, 600);
        pFrame = area.addSubWindow(pChild);
        pFrame->setGeometry(frame);
        area.show();
        fShown = WaitExposed(area);
    }
};

inline std::string Value(uIni* pIni, const std::string& sSection, const std::string& sKey) {
    Ini::SelectSection(pIni, sSection);
    return Ini::ReadString(pIni, sKey, "<none>");
}

} // namespace WindowPlacementSupport
