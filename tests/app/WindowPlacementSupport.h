// Shared by the window placement tests: a Qt application and an INI file in a temporary folder.
#pragma once

#include "common/Ini.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <functional>
#include <memory>
#include <string>

namespace WindowPlacementSupport {

inline void EnsureApplication() {
    static int argc = 1;
    static char name[] = "test";
    static char* argv[] = {name, nullptr};
    if (!QApplication::instance()) new QApplication(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
}

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

inline std::string Value(uIni* pIni, const std::string& sSection, const std::string& sKey) {
    Ini::SelectSection(pIni, sSection);
    return Ini::ReadString(pIni, sKey, "<none>");
}

} // namespace WindowPlacementSupport
