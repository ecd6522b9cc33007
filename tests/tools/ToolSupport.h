// Shared by the tools that drive real windows for a look by eye: the loop that lets the hub and
// Qt work for a while, the picture of the whole screen, resource folders in a folder of the
// tool's own, the main window, a connection to a simulated instrument, and the orderly end.
#pragma once

#include "app/Main.h"
#include "app/WindowStart.h"
#include "common/WindowLog.h"
#include "instrument/Instrument.h"
#include "platform/EventHub.h"
#include "platform/ProgramEvents.h"
#include "platform/WindowFrame.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QString>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>
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

// The same with config.ini opened (made) in the user folder.
inline void UseFoldersWithConfig(const QTemporaryDir& dir) {
    UseFolders(dir);
    Main::OpenConfig();
}

// Whether the tool was given its one argument (sWhat names it in the usage written otherwise).
inline bool OneArgument(int argc, char** argv, const char* sWhat) {
    if (argc == 2) return true;
    std::fprintf(stderr, "usage: %s %s\n", argv[0], sWhat);
    return false;
}

// Says on stderr which step of the tool failed; the tool's exit code.
inline int Fail(const char* sTool, int iStep) {
    std::fprintf(stderr, "%s: step %d failed\n", sTool, iStep);
    return 1;
}

// Opens the main window at the place and size given and lets it settle; its record, or null
// when it did not open (iMain is 0 then or names a window without a record).
inline WindowStart::uWindowStart* OpenMain(int& iMain, int iX, int iY, int iWidth, int iHeight) {
    iMain = Main::OpenMainWindow();
    WindowStart::uWindowStart* pMain = nullptr;
    if (iMain == 0 || !WindowStart::GetInstance(iMain, &pMain)) return nullptr;
    pMain->pFrame->setGeometry(iX, iY, iWidth, iHeight);
    Settle(300);
    return pMain;
}

// Asks the main window to connect the raw TCP instrument on the loopback port, as the
// instrument list would after a double click (iList: the asking list, 0 for none). With fNamed
// it is described by hand as a Rigol DS1104Z; without, the maker and model are left open. The
// object, or null when it could not be made.
inline InstrumentObject ConnectRawTcp(int iMain, int iPort, int iList = 0, bool fNamed = true) {
    std::string sError;
    InstrumentObject object = Instrument::Create(sError);
    if (!object) return object;
    uTaskPrepare prepare;
    prepare.head = {InstrumentTaskPrepare, 0, WindowNobody};
    prepare.eProtocol = prepare.eInterface = InterfaceRawTcp;
    prepare.fUserModel = 1;
    if (fNamed) {
        prepare.sUserManufacturer = "Rigol";
        prepare.sUserModel = "DS1104Z";
    }
    prepare.rawTcp = {"127.0.0.1", "127.0.0.1", iPort};
    object->pInterface->AddTask(*object, prepare, sError);
    EventHub::PostEvent(EventConnectInstrument, iMain, 0, iList, EventHub::Payload::Of<InstrumentObject>(object));
    return object;
}

// Closes the main window and everything the tool opened, in the order the program does.
inline void CloseAll(int iMain) {
    EventHub::PostEvent(EventCloseWindowRequest, iMain);
    Settle(600);
    std::string sError;
    Instrument::ReleaseAll(true, 0, sError);
    WindowLog::Close(1);
    Main::CloseConfig();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

} // namespace ToolSupport
