// Shared by the SCPI command window tests: a real main window with the real SCPI command window,
// instruments connected to the simulators through the instrument core, and the main window's
// connect and disconnect events posted as the main window posts them.
#pragma once

#include "app/FrameTestSupport.h"
#include "common/FileDialogAnswer.h"
#include "common/UtilityGui.h"
#include "common/WindowLog.h"
#include "instrument/Instrument.h"
#include "instrument/InstrumentObject.h"
#include "platform/WindowRegistry.h"
#include "windows/scpi/WindowScpiCommand.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShortcut>
#include <QStatusBar>
#include <QTimer>

#include <string>

namespace ScpiWindowTestSupport {

using namespace FrameTestSupport;
using WindowScpiCommand::uGadgets;
using WindowScpiCommand::uWindowScpiCommand;

inline uTaskPrepare RawPrepare(int iPort) {
    uTaskPrepare prepare;
    prepare.eProtocol = prepare.eInterface = InterfaceRawTcp;
    prepare.rawTcp = {"127.0.0.1", "127.0.0.1", iPort};
    return prepare;
}

inline uTaskPrepare SerialPrepare(const std::string& sPort) {
    uTaskPrepare prepare;
    prepare.eProtocol = prepare.eInterface = InterfaceSerial;
    prepare.serial = {sPort, 115200, 8, 1.0F, 0, 0};
    return prepare;
}

inline uTaskPrepare VxiPrepare(int iCorePort) {
    uTaskPrepare prepare;
    prepare.eProtocol = prepare.eInterface = InterfaceVxi11;
    prepare.vxi11 = {"127.0.0.1", "127.0.0.1", 111, iCorePort};
    return prepare;
}

inline uTaskPrepare UsbPrepare() {
    uTaskPrepare prepare;
    prepare.eProtocol = prepare.eInterface = InterfaceUsbTmc;
    prepare.fLibUsb1 = 1;
    prepare.usb.iVendorId = 0x1AB1;
    prepare.usb.iProductId = 0x04CE;
    prepare.usb.sSerialNumber = "DS1ZA000000001";
    return prepare;
}

class ScpiWindowTest : public InstrumentFrameTest {
  protected:
    void SetUp() override {
        InstrumentFrameTest::SetUp();
        WindowScpiCommand::RegisterKind();
    }
    void TearDown() override {
        InstrumentFrameTest::TearDown();
        EXPECT_EQ(WindowScpiCommand::OpenCount(), 0);
    }

    // A new instrument object connected through the core to what the description names.
    InstrumentObject Connect(uTaskPrepare prepare) {
        std::string sError;
        InstrumentObject object = Instrument::Create(sError);
        EXPECT_TRUE(object) << sError;
        if (!object) return object;
        prepare.head = {InstrumentTaskPrepare, 0, WindowNobody};
        EXPECT_NE(object->pInterface->AddTask(*object, prepare, sError), 0) << sError;
        EXPECT_NE(object->pInterface->AddTask(*object, uTaskConnect{{InstrumentTaskConnect, 0, WindowNobody}}, sError), 0);
        EXPECT_TRUE(WaitFor([&] { return object->pInterface->IsConnected(*object); }, 10000)) << "not connected";
        return object;
    }

    // The SCPI command window of a new main window, in its MDI area or separate.
    int OpenScpi(bool fSeparate = false) {
        iMain = OpenMain();
        Choose(iMain, WindowStart::MenuScpiCommand, fSeparate);
        const auto found = ChildrenOf(iMain, WindowKindScpiCommand);
        EXPECT_EQ(found.size(), 1u);
        if (found.empty()) return 0;
        // The lists are filled by a timer soon after opening; it sets the status line, so a test
        // that reads the status lets it fire first, whatever the machine's load.
        const int iScpi = found[0].iWindow;
        EXPECT_TRUE(WaitFor([iScpi] { return !WindowRegistry::TimerActive(iScpi, WindowScpiCommand::TimerFillCommandLists); }));
        Settle();
        return iScpi;
    }

    // The main window took the instrument: its record changes and its children hear of it.
    void Announce(int iScpi, const InstrumentObject& object, eProtocol eKind, const std::string& sModel = "DS1104Z") {
        uInstrumentWindowInfo& info = Record(iMain)->info;
        info.eProtocol = eKind;
        info.sModel = sModel;
        info.sManufacturer = "RIGOL TECHNOLOGIES";
        info.fConnected = true;
        info.pInstrument = object;
        EventHub::PostEvent(EventInstrumentConnected, iScpi, 0, 0, EventHub::Payload::Of<uInstrumentWindowInfo>(info));
        Settle();
    }
    void Withdraw(int iScpi, const InstrumentObject& object) {
        uInstrumentWindowInfo& info = Record(iMain)->info;
        info.fConnected = false;
        EventHub::PostEvent(EventInstrumentDisconnected, iScpi, 0, reinterpret_cast<std::intptr_t>(object.get()));
        Settle();
    }

    static uWindowScpiCommand& W(int iScpi) {
        uWindowScpiCommand* p = nullptr;
        EXPECT_TRUE(WindowScpiCommand::FindInstance(iScpi, &p));
        return *p;
    }
    static void Type(int iScpi, const QString& sText) { W(iScpi).gadgets.pCommand->setPlainText(sText); }
    static std::string Status(int iScpi) { return Utility::StatusLabel(W(iScpi).pStatusBar)->text().toStdString(); }
    // The answer the window holds ("" when none).
    static std::string Received(int iScpi) {
        const auto& pData = W(iScpi).pReceived;
        return pData ? std::string(pData->view()) : std::string();
    }
    static std::string Answer(int iScpi) { return W(iScpi).gadgets.pAnswer->toPlainText().toStdString(); }
    static bool Idle(int iScpi) { return !W(iScpi).fBusy && W(iScpi).iAwaitedTask == 0; }
    static bool WaitIdle(int iScpi, int iMs = 10000) {
        return WaitFor([iScpi] { return Idle(iScpi) && EventHub::Pending() == 0; }, iMs);
    }
    // Clicks and lets the window handle what the click queued.
    static void Click(QAbstractButton* pButton) {
        pButton->click();
        Settle();
    }
    // "Open..." with the file chosen in Qt's own requester.
    static void ChooseFile(int iScpi, const QString& sPath) {
        bool fSeen = false;
        QTimer::singleShot(0, [&] {
            auto* pDialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (!pDialog) return;
            fSeen = pDialog->windowTitle() == "Send file";
            FileDialogAnswer::Choose(pDialog, sPath);
            QMetaObject::invokeMethod(pDialog, "accept");
        });
        W(iScpi).gadgets.pOpen->click();
        EXPECT_TRUE(fSeen);
        Settle();
    }
    static std::string Log() { return WindowLog::Text(); }
    static bool LogHas(const std::string& sPart) { return Log().find(sPart) != std::string::npos; }

    int iMain = 0;
};

} // namespace ScpiWindowTestSupport
