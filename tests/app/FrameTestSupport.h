// Shared by the main-window tests: config.ini in a temporary folder, the top-level loop's frame
// events, child windows of every kind built with the real child helper (none of them searches),
// and waiting until the event hub and Qt have nothing left to do.
#pragma once

#include "app/ChildWindow.h"
#include "app/Main.h"
#include "app/Window.h"
#include "app/WindowKinds.h"
#include "app/WindowStart.h"
#include "common/Ini.h"
#include "common/WindowLog.h"
#include "instrument/ConnectionDescription.h"
#include "instrument/Instrument.h"
#include "common/TestApplication.h"
#include "platform/EventHub.h"
#include "platform/ProgramEvents.h"
#include "platform/WindowFrame.h"
#include "platform/WindowRegistry.h"
#include "script/WindowScript.h"

#include <QAction>
#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QToolBar>
#include <QWindow>
#include <QtTest/QTest>

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace FrameTestSupport {

using WindowStart::uChildWindow;
using WindowStart::uWindowStart;

// What a menu does when the mouse passes over one of its items: the item's (empty) status tip
// goes to the window, whose status bar drops its temporary message for it. The first item of
// the window's first menu is taken.
inline void HoverMenuItem(QMainWindow* pWindow) {
    for (QAction* pTitle : pWindow->menuBar()->actions()) {
        if (!pTitle->menu() || pTitle->menu()->actions().isEmpty()) continue;
        pTitle->menu()->actions().first()->showStatusText(pWindow);
        QCoreApplication::processEvents();
        return;
    }
}

// Lets the hub and Qt work until the condition holds or the time is up; whether it holds. The
// bound is generous: a loaded machine with sanitizers may take seconds for a step.
inline bool WaitFor(const std::function<bool()>& condition, int iMilliseconds = 30000) {
    QDeadlineTimer deadline(iMilliseconds);
    while (!condition()) {
        if (deadline.hasExpired()) return false;
        EventHub::Pump();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
    return true;
}

// Delivers what is queued, and what that queues in turn, until nothing is left.
inline void Settle() {
    for (int i = 0; i < 20; ++i) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        if (EventHub::Pump() == 0 && EventHub::Pending() == 0) {
            QCoreApplication::processEvents();
            if (EventHub::Pending() == 0) return;
        }
    }
}

// The menus of a bar as text: one title per line, its items indented, "---" for a separator,
// submenus one step further in; each item with its number.
inline void DumpMenu(const QMenu* pMenu, const std::string& sIndent, std::string& sOut) {
    for (const QAction* pAction : pMenu->actions()) {
        if (pAction->isSeparator()) {
            sOut += sIndent + "---\n";
        } else if (pAction->menu()) {
            sOut += sIndent + "> " + pAction->text().toStdString() + "\n";
            DumpMenu(pAction->menu(), sIndent + "  ", sOut);
        } else {
            sOut += sIndent + std::to_string(pAction->data().toInt()) + " " + pAction->text().toStdString() + "\n";
        }
    }
}

inline std::string DumpMenuBar(const QMenuBar* pBar) {
    std::string sOut;
    for (const QAction* pTitle : pBar->actions()) {
        sOut += pTitle->text().toStdString() + "\n";
        if (pTitle->menu()) DumpMenu(pTitle->menu(), "  ", sOut);
    }
    return sOut;
}

// Child windows of the five kinds that the main window's menus open, each built with the real
// child helper; every menu item that reaches one is noted.
struct TestChildren {
    std::map<int, std::vector<int>> received; // window -> items
    std::set<int> failingKinds;
    std::vector<int> opened;
    // Each child that closed, with the number of children its main window still had registered.
    std::vector<std::pair<int, std::size_t>> closed;
    // Program events that reached each child (window -> events), with the close requests' data.
    std::map<int, std::vector<EventHub::uEvent>> events;

    std::vector<EventHub::uEvent> EventsOf(int iWindow, int iEvent) const {
        std::vector<EventHub::uEvent> m;
        const auto it = events.find(iWindow);
        if (it == events.end()) return m;
        for (const EventHub::uEvent& e : it->second) {
            if (e.iEvent == iEvent) m.push_back(e);
        }
        return m;
    }

    void Install() {
        for (int iKind : {WindowKindPreferences, WindowKindSelectInstrument, WindowKindScpiCommand,
                          WindowKindScreenshot, WindowKindScreenshotViewer, WindowKindWaveform,
                          WindowKindWaveformViewer}) {
            WindowKinds::Register(iKind, {[this, iKind](int iMain, int iChild, uInstrumentWindowInfo*) {
                                              return Open(iKind, iMain, iChild);
                                          },
                                          [](int iWindow) { ChildWindow::BuildMenu(ChildWindow::Find(iWindow)); }});
        }
        WindowScript::RegisterKind();
    }
    static void Remove() {
        for (int iKind = WindowKindPreferences; iKind <= WindowKindWaveformViewer; ++iKind) WindowKinds::Register(iKind, {});
    }
    int Open(int iKind, int iMain, int iChild) {
        if (failingKinds.count(iKind)) return 0;
        auto pWindow = std::make_shared<int>(0);
        ChildWindow::uHooks hooks;
        hooks.fnMenu = [this, pWindow](int iItem, bool) {
            received[*pWindow].push_back(iItem);
            return true;
        };
        hooks.fnClosing = [this, pWindow, iMain] {
            std::size_t iLeft = 0;
            for (const uChildWindow& c : WindowStart::Children()) iLeft += c.iOwner == iMain ? 1 : 0;
            closed.emplace_back(*pWindow, iLeft);
        };
        *pWindow = ChildWindow::Open(iMain, iChild, iKind, "Test", iKind != WindowKindPreferences, {}, hooks);
        if (*pWindow == 0) return 0;
        opened.push_back(*pWindow);
        const int iWindow = *pWindow;
        for (int iEvent : {EventLinkViewer, EventInstrumentConnected, EventInstrumentDisconnected,
                           EventRefreshInstrumentList, EventTimer}) {
            EventHub::Bind(iEvent, iWindow, [this, iWindow](const EventHub::uEvent& e) { events[iWindow].push_back(e); });
        }
        EventHub::Bind(EventCloseWindow, iWindow, [this, iWindow](const EventHub::uEvent& e) {
            events[iWindow].push_back(e);
            ChildWindow::Close(iWindow, static_cast<int>(ChildWindow::EventData(e)));
        });
        return iWindow;
    }
};

class FrameTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { TestApplication::Ensure(); }

    void SetUp() override {
        EventHub::Init();
        ASSERT_TRUE(QDir().mkpath(dir.filePath("user")));
        ASSERT_TRUE(QDir().mkpath(dir.filePath("program")));
        Main::SetResourceFolders(dir.filePath("user").toStdString() + "/", dir.filePath("program").toStdString() + "/");
        Main::SetMainWindowOpener(nullptr);
        WriteConfig(ConfigText());
        Main::OpenConfig();
        ASSERT_NE(Main::ConfigIni(), nullptr);
        children.Install();
        using EventHub::uEvent;
        const int any = EventHub::AnyWindow;
        EventHub::Bind(EventOpenMainWindow, any, [](const uEvent&) { Main::OpenMainWindow(); });
        EventHub::Bind(EventOpenScriptWindow, any, [](const uEvent&) { Main::OpenScriptWindow(); });
        EventHub::Bind(EventMainWindowClosed, any, [](const uEvent& e) { Main::MainWindowClosed(e.iWindow); });
        EventHub::Bind(EventScriptWindowClosed, any, [](const uEvent& e) { Main::ScriptWindowClosed(e.iWindow); });
        EventHub::Bind(EventQuit, any, [this](const uEvent&) { frameEvents.push_back(EventQuit); });
        EventHub::Bind(EventCloseAllWindows, any, [this](const uEvent&) { frameEvents.push_back(EventCloseAllWindows); });
    }

    // Resource folders where config.ini can be neither found nor made: they lie below a regular
    // file (tests run as root, which no permission bit stops). Returns the folder; config.ini is
    // opened again there.
    std::string BlockConfig() {
        QFile blocker(dir.filePath("file"));
        EXPECT_TRUE(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        const std::string sFolder = dir.filePath("file/Resources").toStdString() + "/";
        Main::SetResourceFolders(sFolder, sFolder);
        Main::OpenConfig();
        return sFolder;
    }

    void TearDown() override {
        // What the test armed and was not used (a dialog that must not open) goes with it.
        qDeleteAll(Armed().children());
        for (int iWindow : WindowStart::Windows()) EventHub::PostEvent(EventCloseWindowRequest, iWindow);
        EXPECT_TRUE(WaitFor([] {
            if (!WindowStart::Windows().empty()) return false;
            return Main::CountTopLevelWindows() == 0 || (EventHub::Pending() == 0 && CloseScripts());
        }));
        Settle();
        TestChildren::Remove();
        Main::SetConfigSaveAtExit(false);
        Main::CloseConfig();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    static bool CloseScripts() {
        for (QWidget* p : QApplication::topLevelWidgets()) {
            if (auto* f = qobject_cast<WindowFrame*>(p); f && f->isVisible()) {
                EventHub::PostEvent(EventCloseWindowRequest, f->Window());
            }
        }
        return false;
    }

    virtual std::string ConfigText() { return "[General]\n"; }

    // Answers the next modal dialog of type T with fnAnswer once it is up. The answer is armed
    // for the running test only: its end disarms it, so that one armed for a dialog that never
    // opened cannot answer a later test's.
    template <class T> static void WhenModal(std::function<void(T*)> fnAnswer) {
        auto* pTimer = new QTimer(&Armed());
        pTimer->setInterval(10);
        QObject::connect(pTimer, &QTimer::timeout, pTimer, [pTimer, fnAnswer] {
            if (auto* p = qobject_cast<T*>(QApplication::activeModalWidget())) {
                pTimer->stop();
                pTimer->deleteLater();
                fnAnswer(p);
            }
        });
        pTimer->start();
    }
    // The parent of every armed answer.
    static QObject& Armed() {
        static auto* pArmed = new QObject; // lives as long as the application
        return *pArmed;
    }

    void WriteConfig(const std::string& sText) {
        QFile f(dir.filePath("user/config.ini"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(sText.data(), static_cast<qint64>(sText.size()));
    }
    std::string ReadConfigValue(const std::string& sSection, const std::string& sKey) {
        uIni* pIni = Main::ConfigIni();
        Ini::SelectSection(pIni, sSection);
        return Ini::ReadString(pIni, sKey, "<none>");
    }

    // Opens a main window as the top-level loop does and lets its instrument list open.
    int OpenMain() {
        const int iWindow = Main::OpenMainWindow();
        Settle();
        return iWindow;
    }
    static uWindowStart* Record(int iWindow) {
        uWindowStart* p = nullptr;
        return WindowStart::GetInstance(iWindow, &p) ? p : nullptr;
    }
    static QMenuBar* ShownBar(int iWindow) { return Record(iWindow)->pFrame->menuBar(); }
    static QAction* ShownItem(int iWindow, int iItem) { return WindowStart::FindMenuItem(ShownBar(iWindow), iItem); }
    static QAction* Button(int iWindow, int iItem) {
        for (QAction* p : Record(iWindow)->pToolBar->actions()) {
            if (!p->isSeparator() && p->data().toInt() == iItem) return p;
        }
        return nullptr;
    }
    // The registered children of the main window of one kind.
    static std::vector<uChildWindow> ChildrenOf(int iWindow, int iKind = 0) {
        std::vector<uChildWindow> m;
        for (const uChildWindow& c : WindowStart::Children()) {
            if (c.iOwner == iWindow && (iKind == 0 || c.iKind == iKind)) m.push_back(c);
        }
        return m;
    }
    // Chooses an item of the bar that the frame shows, with Ctrl held or not.
    static void Choose(int iWindow, int iItem, bool fCtrl = false) {
        QAction* pItem = ShownItem(iWindow, iItem);
        ASSERT_NE(pItem, nullptr) << iItem;
        SetCtrl(fCtrl);
        pItem->trigger();
        SetCtrl(false);
        Settle();
    }
    // The keyboard state that the menus read when an item is chosen.
    static void SetCtrl(bool fCtrl) {
        QWindow* pWindow = nullptr;
        for (int iMain : WindowStart::Windows()) {
            if (Record(iMain)->pFrame->windowHandle()) pWindow = Record(iMain)->pFrame->windowHandle();
        }
        if (!pWindow) return;
        if (fCtrl) QTest::keyPress(pWindow, Qt::Key_Control, Qt::ControlModifier);
        else QTest::keyRelease(pWindow, Qt::Key_Control, Qt::NoModifier);
        QCoreApplication::processEvents();
    }

    QTemporaryDir dir;
    TestChildren children;
    std::vector<int> frameEvents;
};

// An instrument described by hand at the raw TCP port of 127.0.0.1, as the list's manual entries
// are: its connect reads *IDN?, which the maker and model, where given, override.
inline InstrumentObject RawInstrument(int iPort, const std::string& sMaker = {}, const std::string& sModel = {}) {
    std::string sError;
    InstrumentObject object = Instrument::Create(sError);
    EXPECT_TRUE(object) << sError;
    if (!object) return nullptr;
    uTaskPrepare prepare;
    prepare.head = {InstrumentTaskPrepare, 0, WindowNobody};
    prepare.eProtocol = prepare.eInterface = InterfaceRawTcp;
    prepare.fUserModel = 1;
    prepare.sUserManufacturer = sMaker;
    prepare.sUserModel = sModel;
    prepare.rawTcp = {"127.0.0.1", "127.0.0.1", iPort};
    EXPECT_NE(object->pInterface->AddTask(*object, prepare, sError), 0) << sError;
    return object;
}

// The main window is asked to connect the instrument, as its instrument list asks it.
inline void PostConnect(int iMain, const InstrumentObject& object) {
    EventHub::PostEvent(EventConnectInstrument, iMain, reinterpret_cast<std::intptr_t>(object.get()), 0,
                        EventHub::Payload::Of<InstrumentObject>(object));
}

// A frame whose log starts empty and whose instruments are all released at the end.
class InstrumentFrameTest : public FrameTest {
  protected:
    void SetUp() override {
        FrameTest::SetUp();
        // The hub is made afresh for each test: a log an earlier test left open would have lost
        // its binding, and the lines posted from other threads with it. It is made anew.
        WindowLog::Close(1);
        WindowLog::Create();
        WindowLog::Clear(0);
    }
    void TearDown() override {
        FrameTest::TearDown();
        std::string sError;
        Instrument::ReleaseAll(true, 0, sError);
    }
};

} // namespace FrameTestSupport
