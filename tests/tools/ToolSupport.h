// Shared by the tools that drive real windows for a look by eye: the loop that lets the hub and
// Qt work for a while, the picture of the whole screen, resource folders in a folder of the
// tool's own, and a main window connected to a simulated instrument.
#pragma once

#include "app/Main.h"
#include "instrument/Instrument.h"
#include "platform/EventHub.h"
#include "platform/ProgramEvents.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QString>
#include <QTemporaryDir>
#include <QThread>

#include <functional>
#include <string>

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

// Lets the hub and Qt work until the condition holds; false when it did not within the time.
inline bool WaitFor(const std::function<bool()>& condition, int iMilliseconds) {
    QDeadlineTimer deadline(iMilliseconds);
    while (!condition()) {
        if (deadline.hasExpired()) return false;
        Settle(20);
    }
    return true;
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

// Asks the main window to connect the raw TCP instrument on the loopback port, described by hand
// as a Rigol DS1104Z, as the instrument list would after a double click (iList: the asking list,
// 0 for none). The object, or null when it could not be made.
inline InstrumentObject ConnectRawTcp(int iMain, int iPort, int iList = 0) {
    std::string sError;
    InstrumentObject object = Instrument::Create(sError);
    if (!object) return object;
    uTaskPrepare prepare;
    prepare.head = {InstrumentTaskPrepare, 0, WindowNobody};
    prepare.eProtocol = prepare.eInterface = InterfaceRawTcp;
    prepare.fUserModel = 1;
    prepare.sUserManufacturer = "Rigol";
    prepare.sUserModel = "DS1104Z";
    prepare.rawTcp = {"127.0.0.1", "127.0.0.1", iPort};
    object->pInterface->AddTask(*object, prepare, sError);
    EventHub::PostEvent(EventConnectInstrument, iMain, 0, iList, EventHub::Payload::Of<InstrumentObject>(object));
    return object;
}

} // namespace ToolSupport
