// Shared by the tools that drive real windows for a look by eye: the loop that lets the hub and
// Qt work for a while, the picture of the whole screen, and resource folders in a folder of the
// tool's own.
#pragma once

#include "app/Main.h"
#include "platform/EventHub.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QString>
#include <QTemporaryDir>
#include <QThread>

namespace ToolSupport {

// Lets the hub and Qt work for that long.
inline void Settle(int iMilliseconds) {
    QDeadlineTimer deadline(iMilliseconds);
    while (!deadline.hasExpired()) {
        EventHub::Pump();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(5);
    }
}

// Saves a picture of the whole screen as PNG; whether it was saved.
inline bool Grab(const QString& sFile) { return QGuiApplication::primaryScreen()->grabWindow(0).save(sFile, "PNG"); }

// The program's user and program folders inside the folder, with the hub ready.
inline void UseFolders(const QTemporaryDir& dir) {
    EventHub::Init();
    QDir().mkpath(dir.filePath("user"));
    QDir().mkpath(dir.filePath("program"));
    Main::SetResourceFolders(dir.filePath("user").toStdString() + "/", dir.filePath("program").toStdString() + "/");
}

} // namespace ToolSupport
