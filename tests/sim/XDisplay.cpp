#include "sim/XDisplay.h"

#include "sim/NetNamespace.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>
#include <vector>

namespace Sim {
namespace {

constexpr const char* Server = "/usr/bin/Xvfb";
constexpr const char* Manager = "/usr/bin/openbox";
constexpr const char* Tool = "/usr/bin/xdotool";
constexpr const char* Properties = "/usr/bin/xprop";

// Starts the program with its output discarded; it dies with the test process.
pid_t Spawn(const std::vector<std::string>& args, int iKeep = -1) {
    std::vector<const char*> argv;
    for (const std::string& s : args) argv.push_back(s.c_str());
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid != 0) return pid;
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    const int null = open("/dev/null", O_RDWR);
    if (null >= 0) {
        dup2(null, 0);
        dup2(null, 1);
        dup2(null, 2);
    }
    for (int fd = 3; fd < 1024; ++fd) {
        if (fd != iKeep) close(fd);
    }
    execv(argv[0], const_cast<char* const*>(argv.data()));
    _exit(127);
}

void End(pid_t& pid) {
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    int status = 0;
    waitpid(pid, &status, 0);
    pid = -1;
}

} // namespace

bool XDisplay::Start(std::string& sWhyNot) {
    for (const char* p : {Server, Manager, Tool, Properties}) {
        if (access(p, X_OK) != 0) {
            sWhyNot = std::string(p) + " is not installed (scripts/install-packages installs it)";
            return false;
        }
    }
    // The server names the display it took on the pipe.
    int fds[2];
    if (pipe(fds) != 0) {
        sWhyNot = "no pipe for the display number";
        return false;
    }
    iServer = Spawn({Server, "-displayfd", std::to_string(fds[1]), "-screen", "0", "1280x1024x24", "-nolisten", "tcp"},
                    fds[1]);
    close(fds[1]);
    std::string sNumber;
    pollfd p{fds[0], POLLIN, 0};
    char c = 0;
    while (poll(&p, 1, 20000) == 1 && read(fds[0], &c, 1) == 1 && c != '\n') sNumber += c;
    close(fds[0]);
    if (iServer < 0 || sNumber.empty()) {
        Stop();
        sWhyNot = "Xvfb did not start";
        return false;
    }
    const std::string sDisplay = ":" + sNumber;
    setenv("DISPLAY", sDisplay.c_str(), 1);
    iManager = Spawn({Manager, "--sm-disable"});
    // The manager runs once it has set its mark on the root window.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!RunQuiet({"/bin/sh", "-c", std::string(Properties) + " -root _NET_SUPPORTING_WM_CHECK | grep -q 'window id'"})) {
        if (std::chrono::steady_clock::now() > deadline) {
            Stop();
            sWhyNot = "openbox did not start on " + sDisplay;
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    return true;
}

void XDisplay::Stop() {
    End(iManager);
    End(iServer);
}

bool XDisplay::Click(int x, int y, int iButton) {
    return RunQuiet({Tool, "mousemove", "--sync", std::to_string(x), std::to_string(y), "click", std::to_string(iButton)});
}

bool XDisplay::Key(const std::string& sKeys) { return RunQuiet({Tool, "key", sKeys}); }

} // namespace Sim
