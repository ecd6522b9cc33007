#include "app/Main.h"
#include "app/Window.h"
#include "app/WindowKinds.h"
#include "common/Ini.h"
#include "common/TestApplication.h"
#include "common/WindowLog.h"
#include "instrument/Instrument.h"
#include "platform/EventHub.h"
#include "platform/ProgramEvents.h"
#include "platform/WindowFrame.h"
#include "platform/WindowRegistry.h"
#include "transport/InterfaceDefaults.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

// A top-level window that closes when asked and tells the frame, as the real windows do.
struct FakeWindows {
    std::vector<int> opened;
    std::vector<int> closeOrder;
    bool fFailMain = false;

    int Open(int iClosedEvent) {
        const int iWindow = WindowRegistry::NewWindowNumber();
        opened.push_back(iWindow);
        EventHub::Bind(EventCloseWindowRequest, iWindow, [this, iWindow, iClosedEvent](const EventHub::uEvent&) {
            closeOrder.push_back(iWindow);
            WindowRegistry::Release(iWindow);
            EventHub::PostEvent(iClosedEvent, iWindow);
        });
        return iWindow;
    }
    void Install() {
        Main::SetMainWindowOpener([this] { return fFailMain ? 0 : Open(EventMainWindowClosed); });
        WindowKinds::Register(WindowKindScript,
                              {[this](int, int, uInstrumentWindowInfo*) { return Open(EventScriptWindowClosed); }, {}});
    }
};

class MainTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        TestApplication::Ensure();
    }
    void SetUp() override {
        EventHub::Init();
        ASSERT_TRUE(QDir().mkpath(dir.filePath("user")));
        ASSERT_TRUE(QDir().mkpath(dir.filePath("program")));
        Main::SetResourceFolders(UserFolder(), ProgramFolder());
        Main::SetMainWindowOpener(nullptr);
        WindowKinds::Register(WindowKindScript, {});
    }
    std::string UserFolder() { return dir.filePath("user").toStdString() + "/"; }
    std::string ProgramFolder() { return dir.filePath("program").toStdString() + "/"; }
    void Write(const std::string& sPath, const std::string& sText) {
        QFile f(QString::fromStdString(sPath));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(sText.data(), static_cast<qint64>(sText.size()));
    }
    std::string Read(const std::string& sPath) {
        QFile f(QString::fromStdString(sPath));
        return f.open(QIODevice::ReadOnly) ? f.readAll().toStdString() : "<missing>";
    }
    // `step` runs on the GUI thread once `ready` holds (looked at every millisecond), during the
    // run of Start that is going on or comes next; the run's watchdog ends a wait that never ends.
    void When(std::function<bool()> ready, std::function<void()> step) {
        QTimer* pPoll = mPolls.emplace_back(std::make_unique<QTimer>()).get();
        pPoll->setInterval(1);
        QObject::connect(pPoll, &QTimer::timeout, [pPoll, ready, step] {
            if (!ready()) return;
            pPoll->stop();
            step();
        });
        pPoll->start();
    }
    std::vector<std::unique_ptr<QTimer>> mPolls;
    // Runs Start; `step` runs on the GUI thread once the first window is open. A watchdog ends
    // a run that would otherwise hang.
    int RunStart(std::function<void()> step) {
        When([] { return Main::CountTopLevelWindows() > 0; }, step);
        QTimer watchdog;
        watchdog.setSingleShot(true);
        QObject::connect(&watchdog, &QTimer::timeout, [] {
            ADD_FAILURE() << "the loop did not end";
            EventHub::PostEvent(EventQuit, 0);
        });
        watchdog.start(10000);
        return Main::Start();
    }
    // How many instruments a run lists once its first window is open.
    std::size_t ListedAtStart() {
        FakeWindows windows;
        windows.Install();
        std::vector<InstrumentObject> listed;
        EXPECT_EQ(RunStart([&] {
                      Instrument::CopyInstrumentList(listed);
                      EventHub::PostEvent(EventQuit, 0);
                  }),
                  0);
        return listed.size();
    }
    QTemporaryDir dir;
};

TEST_F(MainTest, PerUserConfigWinsAndOnlyItIsRewritten) {
    Write(UserFolder() + "config.ini", "[Instrument]\nTimeOutDeviceResponseRaw=3000\n");
    Write(ProgramFolder() + "config.ini", "[Instrument]\nTimeOutDeviceResponseRaw=4000\n");
    FakeWindows windows;
    windows.Install();
    std::string sPathSeen;
    int iRaw = 0, iLan = 0;
    const int iCode = RunStart([&] {
        sPathSeen = Main::ConfigPath();
        iRaw = InterfaceDefaults::Timeout(3);
        iLan = InterfaceDefaults::Timeout(6);
        EventHub::PostEvent(EventQuit, 0);
    });
    EXPECT_EQ(iCode, 0);
    EXPECT_EQ(sPathSeen, UserFolder() + "config.ini");
    EXPECT_EQ(iRaw, 3000);
    EXPECT_EQ(iLan, 3000);
    EXPECT_EQ(InterfaceDefaults::Timeout(1), 5000);
    EXPECT_EQ(InterfaceDefaults::ProgressStep(4), 20480);
    EXPECT_EQ(Read(UserFolder() + "config.ini"),
              "\xEF\xBB\xBF\r\n[Instrument]\r\nTimeOutDeviceResponseRaw=3000\r\n");
    EXPECT_EQ(Read(ProgramFolder() + "config.ini"), "[Instrument]\nTimeOutDeviceResponseRaw=4000\n");
    EXPECT_EQ(Main::ConfigIni(), nullptr);
}

TEST_F(MainTest, ManuallyAddedInstrumentsAreListedFromStartUpToShutdown) {
    Write(UserFolder() + "config.ini",
          "[WindowSelectAddLANInstrument]\n1 = Rigol||DS1054Z||192.168.1.10||111||0||||||||LXI\n"
          "[WindowSelectAddSerialInstrument]\n1 = HAMEG||HM2008||/dev/ttyUSB0||19200||8||1||0||0\n");
    EXPECT_EQ(ListedAtStart(), 2u);
    std::vector<InstrumentObject> after;
    ASSERT_TRUE(Instrument::CopyInstrumentList(after));
    EXPECT_TRUE(after.empty());
}

TEST_F(MainTest, ProgramConfigIsUsedAndRewrittenWhenNoUserCopy) {
    Write(ProgramFolder() + "config.ini", "[General]\nWindowDontCheckPosition=yes\n");
    FakeWindows windows;
    windows.Install();
    bool fDontCheck = false;
    EXPECT_EQ(RunStart([&] {
                  fDontCheck = Main::WindowDontCheckPosition();
                  EventHub::PostEvent(EventQuit, 0);
              }),
              0);
    EXPECT_TRUE(fDontCheck);
    EXPECT_EQ(Read(ProgramFolder() + "config.ini"),
              "\xEF\xBB\xBF\r\n[General]\r\nWindowDontCheckPosition=yes\r\n");
    EXPECT_FALSE(QFile::exists(QString::fromStdString(UserFolder() + "config.ini")));
}

// An instrument added by hand is in config.ini at once: a run killed right after the add lists
// it at the next start. The run is this test program again, started anew (a fork of this
// process, whose other threads may hold locks, could hang), told so by the environment.
constexpr const char* AddByHandChild = "ORVANTO_ADD_BY_HAND_CHILD";

TEST_F(MainTest, AnInstrumentAddedByHandSurvivesAKill) {
    if (const char* pFolders = std::getenv(AddByHandChild)) { // what the selection window's "Add" does
        const std::string sFolders = pFolders;
        const std::size_t iBar = sFolders.find('|');
        Main::SetResourceFolders(sFolders.substr(0, iBar), sFolders.substr(iBar + 1));
        Main::OpenConfig();
        Ini::SelectSection(Main::ConfigIni(), "WindowSelectAddLANInstrument");
        Ini::WriteString(Main::ConfigIni(), "0", "Rigol||DS1054Z||127.0.0.1||111||||||||127.0.0.1||LXI");
        std::string sError;
        Main::SaveConfig(sError);
        ::raise(SIGKILL);
    }
    std::vector<std::string> environment;
    for (char** p = environ; *p; ++p) environment.emplace_back(*p);
    environment.push_back(std::string(AddByHandChild) + "=" + UserFolder() + "|" + ProgramFolder());
    std::vector<char*> envp;
    for (std::string& s : environment) envp.push_back(s.data());
    envp.push_back(nullptr);
    std::string sFilter = "--gtest_filter=MainTest.AnInstrumentAddedByHandSurvivesAKill";
    char sSelf[] = "/proc/self/exe";
    char* argv[] = {sSelf, sFilter.data(), nullptr};
    posix_spawn_file_actions_t actions;
    ASSERT_EQ(::posix_spawn_file_actions_init(&actions), 0);
    ::posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int iSpawned = ::posix_spawn(&pid, sSelf, &actions, nullptr, argv, envp.data());
    ::posix_spawn_file_actions_destroy(&actions);
    ASSERT_EQ(iSpawned, 0) << std::strerror(iSpawned);
    int iStatus = 0;
    ASSERT_EQ(::waitpid(pid, &iStatus, 0), pid);
    ASSERT_TRUE(WIFSIGNALED(iStatus) && WTERMSIG(iStatus) == SIGKILL) << iStatus;
    EXPECT_EQ(ListedAtStart(), 1u);
}

// A first start in an empty home: config.ini is made in the user's folder of the environment,
// and what the run set (a manually added instrument, a setting) is there at the next start.
TEST_F(MainTest, AFirstStartCreatesConfigInTheUserFolderAndTheNextStartReadsIt) {
    struct uHome {
        const char* sXdg; // nullptr: unset
        std::string sExpected;
    };
    const std::string sHome = dir.filePath("home").toStdString();
    const std::string sXdg = dir.filePath("xdg").toStdString();
    const uHome aHomes[] = {{sXdg.c_str(), sXdg + "/Orvanto/Orvanto/Resources/config.ini"},
                            {nullptr, sHome + "/.config/Orvanto/Orvanto/Resources/config.ini"},
                            {"", sHome + "/.config/Orvanto/Orvanto/Resources/config.ini"}};
    const QByteArray oldHome = qgetenv("HOME"), oldXdg = qgetenv("XDG_CONFIG_HOME");
    const bool fHadXdg = qEnvironmentVariableIsSet("XDG_CONFIG_HOME");
    for (const uHome& home : aHomes) {
        QDir(QString::fromStdString(sHome)).removeRecursively();
        QDir(QString::fromStdString(sXdg)).removeRecursively();
        qputenv("HOME", QByteArray::fromStdString(sHome));
        if (home.sXdg) qputenv("XDG_CONFIG_HOME", home.sXdg);
        else qunsetenv("XDG_CONFIG_HOME");
        Main::ResetResourceFolders();
        FakeWindows windows;
        windows.Install();
        std::string sPathSeen, sLog;
        EXPECT_EQ(RunStart([&] {
                      sPathSeen = Main::ConfigPath();
                      sLog = WindowLog::Text();
                      uIni* pIni = Main::ConfigIni();
                      ASSERT_NE(pIni, nullptr);
                      Ini::SelectSection(pIni, "General");
                      Ini::WriteBool(pIni, "WindowDontCheckPosition", 1);
                      Ini::SelectSection(pIni, "WindowSelectAddLANInstrument");
                      Ini::WriteString(pIni, "0", "Rigol||DS1054Z||127.0.0.1||111||||||lo||127.0.0.1||LXI");
                      EventHub::PostEvent(EventQuit, 0);
                  }),
                  0);
        EXPECT_EQ(sPathSeen, home.sExpected);
        EXPECT_NE(sLog.find("Preferences file: " + home.sExpected), std::string::npos) << sLog;

        bool fDontCheck = false;
        std::vector<InstrumentObject> listed;
        EXPECT_EQ(RunStart([&] {
                      fDontCheck = Main::WindowDontCheckPosition();
                      Instrument::CopyInstrumentList(listed);
                      EventHub::PostEvent(EventQuit, 0);
                  }),
                  0);
        EXPECT_TRUE(fDontCheck);
        EXPECT_EQ(listed.size(), 1u);
    }
    qputenv("HOME", oldHome);
    if (fHadXdg) qputenv("XDG_CONFIG_HOME", oldXdg);
    else qunsetenv("XDG_CONFIG_HOME");
    EXPECT_TRUE(QDir(dir.filePath("user")).isEmpty());
    EXPECT_TRUE(QDir(dir.filePath("program")).isEmpty());
}

// Where config.ini can neither be found nor made, the defaults apply, nothing is written, and
// the log names the file and why (tests run as root: a folder below a regular file, or a folder
// in the place of the file, stops even root).
TEST_F(MainTest, AConfigThatCannotBeCreatedIsNamedInTheLog) {
    Write(dir.filePath("file").toStdString(), "not a folder");
    ASSERT_TRUE(QDir().mkpath(dir.filePath("taken/config.ini")));
    const std::string aFolders[] = {dir.filePath("file/sub").toStdString() + "/",
                                    dir.filePath("taken").toStdString() + "/"};
    for (const std::string& sFolder : aFolders) {
        Main::SetResourceFolders(sFolder, ProgramFolder());
        FakeWindows windows;
        windows.Install();
        int iTimeout = 0;
        bool fOpen = true;
        std::string sLog;
        EXPECT_EQ(RunStart([&] {
                      iTimeout = InterfaceDefaults::Timeout(2);
                      fOpen = Main::ConfigIni() != nullptr;
                      sLog = WindowLog::Text();
                      EventHub::PostEvent(EventQuit, 0);
                  }),
                  0);
        EXPECT_EQ(iTimeout, 5000);
        EXPECT_FALSE(fOpen);
        EXPECT_NE(sLog.find("Error: Preferences file: File could not be opened. " + sFolder +
                            "config.ini could not be created: "),
                  std::string::npos)
            << sLog;
        EXPECT_TRUE(QDir(dir.filePath("program")).isEmpty());
    }
    EXPECT_TRUE(QFileInfo(dir.filePath("taken/config.ini")).isDir());
}

TEST_F(MainTest, ExitClosesTheNewestWindowFirstAndEndsWithZero) {
    FakeWindows windows;
    windows.Install();
    const int iCode = RunStart([&] {
        // The first main window is open now; open a script and a second main window (the two
        // posts may take more than one delivery turn), then exit.
        EventHub::PostEvent(EventOpenScriptWindow, 0);
        EventHub::PostEvent(EventOpenMainWindow, 0);
        When([] { return Main::CountTopLevelWindows() == 3; }, [] { EventHub::PostEvent(EventCloseAllWindows, 0); });
    });
    EXPECT_EQ(iCode, 0);
    ASSERT_EQ(windows.opened.size(), 3u);
    EXPECT_EQ(windows.closeOrder, std::vector<int>(windows.opened.rbegin(), windows.opened.rend()));
    EXPECT_EQ(Main::CountTopLevelWindows(), 0);
}

TEST_F(MainTest, AFirstWindowThatCannotOpenEndsWithOne) {
    FakeWindows windows;
    windows.fFailMain = true;
    windows.Install();
    EXPECT_EQ(Main::Start(), 1);
}

TEST_F(MainTest, AFailedNewWindowWithAnotherOpenChangesNothing) {
    FakeWindows windows;
    windows.Install();
    int iCount = -1;
    EXPECT_EQ(RunStart([&] {
                  windows.fFailMain = true;
                  EventHub::PostEvent(EventOpenMainWindow, 0);
                  QTimer::singleShot(0, [&] {
                      iCount = Main::CountTopLevelWindows();
                      EventHub::PostEvent(EventQuit, 0);
                  });
              }),
              0);
    EXPECT_EQ(iCount, 1);
}

TEST_F(MainTest, ClosingTheLastMainWindowKeepsAScriptWindowRunning) {
    FakeWindows windows;
    windows.Install();
    int iLeft = -1;
    EXPECT_EQ(RunStart([&] {
                  EventHub::PostEvent(EventOpenScriptWindow, 0);
                  When([&] { return windows.opened.size() == 2; }, [&] {
                      EventHub::PostEvent(EventCloseWindowRequest, windows.opened[0]); // the main window
                      QTimer::singleShot(0, [&] {
                          EventHub::Pump(); // the close and the frame's answer to it
                          iLeft = Main::CountTopLevelWindows();
                          EventHub::PostEvent(EventCloseWindowRequest, windows.opened[1]); // the script
                      });
                  });
              }),
              0);
    EXPECT_EQ(iLeft, 1);
    EXPECT_EQ(windows.closeOrder, windows.opened);
}

TEST_F(MainTest, TheRealMainWindowExitsThroughItsMenu) {
    std::vector<int> seen;
    const int iCode = RunStart([&] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* frame = qobject_cast<WindowFrame*>(w);
            if (!frame || !WindowRegistry::IsOpen(frame->Window())) continue;
            if (frame == WindowLog::Widget()) continue; // the hidden log window
            seen.push_back(frame->Window());
            // The only window: "&Close Window" is disabled once the frame has told it.
            QTimer::singleShot(0, [frame] {
                QAction* close = frame->MenuItem(4);
                EXPECT_TRUE(close && !close->isEnabled());
                frame->MenuItem(8)->trigger(); // "&Exit"
            });
        }
    });
    EXPECT_EQ(iCode, 0);
    EXPECT_EQ(seen.size(), 1u);
}

// The program's start-up as main runs it (Main::Run makes the Qt application, so it runs in a
// process of its own: this test program again, told so by the environment). Its first window
// writes into a pipe whose reader has gone: the write fails with EPIPE and the program goes on;
// with the signal's default the process would end there (a viewer or a script's reader that
// quit, a socket whose peer left).
constexpr const char* StartUpChild = "ORVANTO_START_UP_CHILD";

TEST(MainStartUp, AWriteToAPipeWhoseReaderLeftFailsWithEpipeAndTheProgramGoesOn) {
    if (const char* pFolder = std::getenv(StartUpChild)) {
        struct sigaction inherited {};
        if (::sigaction(SIGPIPE, nullptr, &inherited) != 0 || inherited.sa_handler != SIG_DFL) std::_Exit(3);
        int iError = 0;
        Main::SetResourceFolders(std::string(pFolder) + "/", std::string(pFolder) + "/");
        Main::SetMainWindowOpener([&iError] {
            int aPipe[2];
            if (::pipe(aPipe) != 0) return 0;
            ::close(aPipe[0]);
            iError = ::write(aPipe[1], "x", 1) < 0 ? errno : 0;
            ::close(aPipe[1]);
            return 0; // no window: the loop ends with 1
        });
        char sName[] = "orvanto";
        char* argv[] = {sName, nullptr};
        int argc = 1;
        const int iCode = Main::Run(argc, argv);
        std::_Exit(iCode == 1 && iError == EPIPE ? 0 : 4);
    }
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    std::vector<std::string> environment;
    for (char** p = environ; *p; ++p) {
        if (std::strncmp(*p, "QT_QPA_PLATFORM=", 16) != 0) environment.emplace_back(*p);
    }
    environment.push_back("QT_QPA_PLATFORM=offscreen");
    environment.push_back(std::string(StartUpChild) + "=" + dir.path().toStdString());
    std::vector<char*> envp;
    for (std::string& s : environment) envp.push_back(s.data());
    envp.push_back(nullptr);
    std::string sFilter = "--gtest_filter=MainStartUp.AWriteToAPipeWhoseReaderLeftFailsWithEpipeAndTheProgramGoesOn";
    char sSelf[] = "/proc/self/exe";
    char* argv[] = {sSelf, sFilter.data(), nullptr};
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        // The child starts with the signal's default and unblocked, whatever this process or the
        // one that ran it set (an ignored signal stays ignored across exec).
        ::signal(SIGPIPE, SIG_DFL);
        sigset_t pipeSignal;
        sigemptyset(&pipeSignal);
        sigaddset(&pipeSignal, SIGPIPE);
        ::sigprocmask(SIG_UNBLOCK, &pipeSignal, nullptr);
        const int iNull = ::open("/dev/null", O_WRONLY);
        if (iNull >= 0) ::dup2(iNull, STDOUT_FILENO);
        ::execve(sSelf, argv, envp.data());
        ::_exit(127);
    }
    int iStatus = 0;
    ASSERT_EQ(::waitpid(pid, &iStatus, 0), pid);
    ASSERT_FALSE(WIFSIGNALED(iStatus)) << "the start-up ended by signal " << WTERMSIG(iStatus) << " ("
                                       << ::strsignal(WTERMSIG(iStatus)) << ")";
    ASSERT_TRUE(WIFEXITED(iStatus));
    EXPECT_EQ(WEXITSTATUS(iStatus), 0) << "3: the child began with SIGPIPE ignored; 4: no EPIPE, or no end with 1";
}

} // namespace
