// Shared by the script-window tests: config.ini in a temporary folder, the top-level loop's frame
// events, real script windows opened as the loop opens them, and helpers that reach their gadgets.
#pragma once

#include "app/Main.h"
#include "app/WindowStart.h"
#include "common/EventData.h"
#include "common/Ini.h"
#include "common/TestApplication.h"
#include "common/WindowLog.h"
#include "platform/EventHub.h"
#include "platform/ProgramEvents.h"
#include "platform/WindowFrame.h"
#include "script/WindowScript.h"

#include <Qsci/qsciscintilla.h>

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace WindowScriptTest {

using WindowScript::uWindowScript;

// Lets the hub and Qt work until the condition holds or the time is up; whether it holds. The
// hub delivers in its turns of the Qt loop: a pump by hand would not return while a running
// script keeps posting. The bound is generous: a loaded machine may take seconds for a step.
inline bool WaitFor(const std::function<bool()>& condition, int iMilliseconds = 30000) {
    QDeadlineTimer deadline(iMilliseconds);
    while (!condition()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
    return true;
}

// Lets the hub deliver every posted event and the window put all gathered output into its
// "Output" tab (a few milliseconds' worth per turn); whether that came about within the bound.
inline bool WaitForOutput(const uWindowScript& w, int iMilliseconds = 60000) {
    return WaitFor([&] { return EventHub::Pending() == 0 && !w.fFlushQueued && !w.fClearPending && w.sPendingOutput.isEmpty(); },
                   iMilliseconds);
}

// Lets Qt work for the time given, and on (for at most a minute) until the hub has delivered
// what was posted: a loaded machine may give the test no turn at all within the time given.
inline void Settle(int iMilliseconds = 30) {
    QDeadlineTimer deadline(iMilliseconds);
    QDeadlineTimer bound(60000);
    do {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    } while ((!deadline.hasExpired() || EventHub::Pending() != 0) && !bound.hasExpired());
}

class ScriptWindowTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { TestApplication::Ensure(); }

    void SetUp() override {
        EventHub::Init();
        Utility::EventDataClear();
        ASSERT_TRUE(dir.isValid());
        ASSERT_TRUE(QDir().mkpath(dir.filePath("user")));
        ASSERT_TRUE(QDir().mkpath(dir.filePath("program")));
        Main::SetResourceFolders(dir.filePath("user").toStdString() + "/", dir.filePath("program").toStdString() + "/");
        WriteFile("user/config.ini", ConfigText());
        Main::OpenConfig();
        ASSERT_NE(Main::ConfigIni(), nullptr);
        Main::SetWindowDontCheckPosition(false);
        WindowLog::Create();
        WindowScript::SetScintillaEnabled(true);
        WindowScript::RegisterKind();
        using EventHub::uEvent;
        const int any = EventHub::AnyWindow;
        EventHub::Bind(EventOpenScriptWindow, any, [](const uEvent&) { Main::OpenScriptWindow(); });
        EventHub::Bind(EventScriptWindowClosed, any, [this](const uEvent& e) {
            closed.push_back(e.iWindow);
            Main::ScriptWindowClosed(e.iWindow);
        });
        EventHub::Bind(EventQuit, any, [this](const uEvent&) { frameEvents.push_back(EventQuit); });
        EventHub::Bind(EventCloseAllWindows, any, [this](const uEvent&) { frameEvents.push_back(EventCloseAllWindows); });
    }

    void TearDown() override {
        CloseAll();
        WindowScript::SetScintillaEnabled(true);
        Main::SetConfigSaveAtExit(false);
        Main::CloseConfig();
        WindowLog::Close(1);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    void CloseAll() {
        for (int iWindow : open) EventHub::PostEvent(EventCloseWindowRequest, iWindow);
        EXPECT_TRUE(WaitFor([] { return Main::CountTopLevelWindows() == 0; }));
        open.clear();
        Settle();
    }

    virtual std::string ConfigText() { return "[General]\n"; }

    void WriteFile(const QString& sName, const std::string& sText) {
        QFile f(dir.filePath(sName));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(sText.data(), static_cast<qint64>(sText.size()));
    }

    std::string ConfigValue(const std::string& sSection, const std::string& sKey) {
        uIni* pIni = Main::ConfigIni();
        Ini::SelectSection(pIni, sSection);
        return Ini::ReadString(pIni, sKey, "<none>");
    }

    // Opens a script window as the top-level loop does and waits for its start-up timer.
    int OpenWindow(bool fWaitForStartUp = true) {
        const int iWindow = Main::OpenScriptWindow();
        EXPECT_NE(iWindow, 0);
        open.push_back(iWindow);
        if (fWaitForStartUp) {
            EXPECT_TRUE(WaitFor([&] {
                uWindowScript* p = Record(iWindow);
                return p && p->pButtonStop && !p->pButtonStop->isEnabled();
            }));
        }
        Settle();
        return iWindow;
    }

    void CloseWindow(int iWindow) {
        EventHub::PostEvent(EventCloseWindowRequest, iWindow);
        std::erase(open, iWindow);
        EXPECT_TRUE(WaitFor([&] { return !WindowScript::GetInstance(iWindow, nullptr); }));
        Settle();
    }

    static uWindowScript* Record(int iWindow) {
        uWindowScript* p = nullptr;
        return WindowScript::GetInstance(iWindow, &p) ? p : nullptr;
    }

    // "CRPS" for the enabled buttons Check, Run, Pause, Stop, "-" for each disabled one.
    static std::string Buttons(const uWindowScript& w) {
        std::string s;
        s += w.pButtonCheck->isEnabled() ? 'C' : '-';
        s += w.pButtonRun->isEnabled() ? 'R' : '-';
        s += w.pButtonPause->isEnabled() ? 'P' : '-';
        s += w.pButtonStop->isEnabled() ? 'S' : '-';
        return s;
    }

    static std::string Messages(const uWindowScript& w) { return w.pMessages->toPlainText().toStdString(); }
    static std::string Output(uWindowScript& w) {
        WindowScript::FlushOutput(w);
        return w.pOutput->toPlainText().toStdString();
    }
    static std::string Status(const uWindowScript& w, int iField) {
        return (iField == 0 ? w.pStatusField0 : w.pStatusField1)->text().toStdString();
    }

    QTemporaryDir dir;
    std::vector<int> open;
    std::vector<int> closed;
    std::vector<int> frameEvents;
};

} // namespace WindowScriptTest
