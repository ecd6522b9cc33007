// Escape with a drop-down list or a menu open, on a real X server with a window manager (the
// offscreen platform has neither keyboard grabs nor window activation): it closes the list
// only; the next Escape acts on the window again. The list opens as a user opens it, by the
// mouse or by Alt+Down, and every key and click goes through the server (xdotool). Xvfb and
// openbox run in the test's own network namespace; without them the test skips.
#include "SelectTestSupport.h"

#include "app/WindowPreferences.h"
#include "sim/NetNamespace.h"
#include "windows/capture/WaveformChecks.h"
#include "windows/capture/WindowScreenshot.h"
#include "windows/capture/WindowWaveform.h"

#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <utility>

namespace {

using namespace FrameTestSupport;
using SelectTestSupport::SelectTest;

// Starts the program, which dies with the test process; iKeep stays open in it.
pid_t Spawn(std::vector<std::string> args, int iKeep = -1) {
    std::vector<char*> argv;
    for (std::string& s : args) argv.push_back(s.data());
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid != 0) return pid;
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    for (int fd = 0; fd < 1024; ++fd) {
        if (fd != iKeep) close(fd);
    }
    execv(argv[0], argv.data());
    _exit(127);
}

bool Input(std::initializer_list<std::string> args) {
    std::vector<std::string> command{"/usr/bin/xdotool"};
    command.insert(command.end(), args);
    int status = 0;
    const pid_t pid = Spawn(command);
    return pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

class EscapeOnDisplayTest : public SelectTest {
  protected:
    // Once per process (the display and the application stay for every round of the tests; the
    // servers end with the process).
    static void SetUpTestSuite() {
        static bool fDone = false;
        if (std::exchange(fDone, true)) return;
        // An adapter of its own gives the Network list an entry.
        EnterNetwork();
        if (fNetwork) fNetwork = Sim::AddVethInterface("lab0", "192.168.77.1", 24, sWhyNot);
        if (fNetwork) StartDisplay();
        else sNoDisplay = "no private network namespace: " + sWhyNot;
        if (sNoDisplay.empty()) FrameTest::SetUpTestSuite(); // the application on that display
    }
    // Xvfb on a free display (it names it on the pipe), openbox on it, and the mark openbox sets
    // on the root window once it runs.
    static void StartDisplay() {
        for (const char* p : {"/usr/bin/Xvfb", "/usr/bin/openbox", "/usr/bin/xdotool", "/usr/bin/xprop"}) {
            if (access(p, X_OK) != 0) sNoDisplay = std::string(p) + " is not installed (scripts/install-packages)";
        }
        int fds[2];
        if (!sNoDisplay.empty() || pipe(fds) != 0) return;
        Spawn({"/usr/bin/Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0", "1280x1024x24",
                               "-nolisten", "tcp"},
              fds[1]);
        close(fds[1]);
        std::string sDisplay = ":";
        pollfd p{fds[0], POLLIN, 0};
        char c = 0;
        while (poll(&p, 1, 20000) == 1 && read(fds[0], &c, 1) == 1 && c != '\n') sDisplay += c;
        close(fds[0]);
        setenv("DISPLAY", sDisplay.c_str(), 1);
        if (sDisplay.size() > 1) Spawn({"/usr/bin/openbox", "--sm-disable"});
        const std::string sRunning = "/usr/bin/xprop -root _NET_SUPPORTING_WM_CHECK | grep -q 'window id'";
        QDeadlineTimer deadline(20000);
        while (sDisplay.size() > 1 && !Sim::RunQuiet({"/bin/sh", "-c", sRunning}) && !deadline.hasExpired()) QThread::msleep(50);
        if (sDisplay.size() < 2 || deadline.hasExpired()) sNoDisplay = "Xvfb with openbox did not start";
        setenv("QT_QPA_PLATFORM", "xcb", 1);
    }
    void SetUp() override {
        if (!sNoDisplay.empty()) GTEST_SKIP() << "No X server with a window manager: " << sNoDisplay;
        SelectTest::SetUp();
        WindowPreferences::RegisterKind();
        WindowScreenshot::RegisterKind();
        WindowWaveform::RegisterKind();
        WaveformChecks::Install();
    }
    static inline std::string sNoDisplay;
};

TEST_F(EscapeOnDisplayTest, EscapeClosesTheOpenListOnlyAndThenTheWindow) {
    const int iMain = OpenMain();
    ASSERT_NE(iMain, 0);
    Record(iMain)->pFrame->setGeometry(40, 60, 1000, 800);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(Record(iMain)->pFrame));
    ASSERT_TRUE(WaitForSearch(ListOf(iMain)));

    enum eWay { Mouse, AltDown, RightButton };
    const struct {
        const char* sName;
        int iKind;
        int iPage;  // of the instrument list
        int iCombo; // on that page; else the window's first list (the preferences: a time-out field)
        eWay way;
    } rows[] = {
        {"instrument list, the Network list by the mouse", WindowKindSelectInstrument, 2, 0, Mouse},
        {"instrument list, the maker list by the mouse", WindowKindSelectInstrument, 2, 1, Mouse},
        {"instrument list, the model list by Alt+Down", WindowKindSelectInstrument, 2, 2, AltDown},
        {"instrument list, the serial speed list by the mouse", WindowKindSelectInstrument, 3, 3, Mouse},
        {"instrument list, the serial model list by Alt+Down", WindowKindSelectInstrument, 3, 2, AltDown},
        {"waveform window, its first list by the mouse", WindowKindWaveform, 0, 0, Mouse},
        {"screenshot window, its first list by Alt+Down", WindowKindScreenshot, 0, 0, AltDown},
        {"Preferences, a time-out field's menu by the right button", WindowKindPreferences, 0, 0, RightButton},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.sName);
        if (ChildrenOf(iMain, row.iKind).empty()) {
            WindowStart::OpenChildByKind(iMain, row.iKind, row.iKind == WindowKindPreferences ? 0 : 1);
            Settle();
        }
        ASSERT_FALSE(ChildrenOf(iMain, row.iKind).empty());
        const int iWindow = ChildrenOf(iMain, row.iKind)[0].iWindow;
        QWidget* pGadget = nullptr;
        WindowPreferences::uWindowPreferences* pPreferences = nullptr;
        if (row.iPage) {
            Gadget<QTabWidget>(iWindow)->setCurrentIndex(row.iPage);
            pGadget = Combo(iWindow, row.iPage, row.iCombo);
        } else if (WindowPreferences::FindInstance(iWindow, &pPreferences)) {
            pPreferences->pTree->setCurrentItem(pPreferences->pTree->topLevelItem(1));
            pGadget = pPreferences->mTimeout[0];
        } else {
            pGadget = Gadget<QComboBox>(iWindow);
        }
        ASSERT_NE(pGadget, nullptr);
        // The window has the keys (the window manager says so) before the list opens.
        pGadget->window()->activateWindow();
        pGadget->setFocus();
        ASSERT_TRUE(WaitFor([&] { return pGadget->window()->isActiveWindow() && pGadget->hasFocus(); }));
        const QPoint at = pGadget->mapToGlobal(QPoint(pGadget->width() - 8, pGadget->height() / 2));
        ASSERT_TRUE(row.way == AltDown ? Input({"key", "alt+Down"})
                                       : Input({"mousemove", "--sync", std::to_string(at.x()), std::to_string(at.y()),
                                                "click", row.way == Mouse ? "1" : "3"}));
        ASSERT_TRUE(WaitFor([] { return QApplication::activePopupWidget() != nullptr; }));
        // A capture window's Escape presses its "Cancel" (made pressable here to be counted).
        const bool fCapture = row.iKind == WindowKindWaveform || row.iKind == WindowKindScreenshot;
        int iCancels = 0;
        if (fCapture) {
            QPushButton* pCancel = Gadget<QPushButton>(iWindow, "Cancel");
            pCancel->setEnabled(true);
            QObject::connect(pCancel, &QPushButton::clicked, pCancel, [&] { ++iCancels; });
        }
        ASSERT_TRUE(Input({"key", "Escape"}));
        ASSERT_TRUE(WaitFor([] { return QApplication::activePopupWidget() == nullptr; }));
        WaitFor([] { return false; }, 300); // what the key may still have set off
        EXPECT_TRUE(ChildWindow::Find(iWindow)) << "Escape closed the window, not only its list";
        EXPECT_EQ(iCancels, 0) << "Escape cancelled in the window, besides closing its list";
        if (!ChildWindow::Find(iWindow)) continue;
        // The list is closed: Escape acts on the window again, once the window has the keys back.
        ASSERT_TRUE(WaitFor([&] { return pGadget->window()->isActiveWindow(); }));
        ASSERT_TRUE(Input({"key", "Escape"}));
        const bool fActed = WaitFor([&] { return fCapture ? iCancels == 1 : !ChildWindow::Find(iWindow); });
        EXPECT_TRUE(fActed) << "the second Escape did not cancel or close";
        Settle();
    }
}

} // namespace
