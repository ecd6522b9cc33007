#include "sim/NetNamespace.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sched.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

namespace Sim {
namespace {

std::string Errno(const std::string& sWhat) { return sWhat + ": " + std::strerror(errno); }

} // namespace

bool BringUp(const char* pName, std::string& sWhy) {
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        sWhy = Errno("socket");
        return false;
    }
    ifreq ifr{};
    std::strncpy(ifr.ifr_name, pName, IFNAMSIZ - 1);
    bool ok = ioctl(fd, SIOCGIFFLAGS, &ifr) == 0;
    if (ok) {
        ifr.ifr_flags = static_cast<short>(ifr.ifr_flags | IFF_UP);
        ok = ioctl(fd, SIOCSIFFLAGS, &ifr) == 0;
    }
    if (!ok) sWhy = Errno(std::string("bringing up ") + pName);
    close(fd);
    return ok;
}

bool RunQuiet(std::initializer_list<std::string> args) {
    std::vector<const char*> argv;
    for (const std::string& s : args) argv.push_back(s.c_str());
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid < 0) return false;
    if (pid == 0) {
        const int null = open("/dev/null", O_RDWR);
        if (null >= 0) {
            dup2(null, 1);
            dup2(null, 2);
        }
        execv(argv[0], const_cast<char* const*>(argv.data()));
        _exit(127);
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool MakePrivateNetwork(std::string& sWhyNot) {
    if (unshare(CLONE_NEWNET | CLONE_NEWNS) != 0) {
        sWhyNot = Errno("cannot make a network namespace (unshare)");
        return false;
    }
    if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
        sWhyNot = Errno("cannot make the mounts private");
        return false;
    }
    if (mount("tmpfs", "/run", "tmpfs", 0, "mode=0755") != 0) {
        sWhyNot = Errno("cannot mount a private /run");
        return false;
    }
    mkdir("/run/rpcbind", 0755);
    return BringUp("lo", sWhyNot);
}

bool EnterPrivateNetwork(std::string& sWhyNot) {
    static std::once_flag once;
    static bool fOk = false;
    static std::string sReason;
    std::call_once(once, [] { fOk = MakePrivateNetwork(sReason); });
    if (!fOk) sWhyNot = "no private network for this test: " + sReason;
    return fOk;
}

bool AddVethInterface(const std::string& sName, const std::string& sAddress, int iPrefix, std::string& sWhyNot) {
    std::string sWhy;
    if (!EnterPrivateNetwork(sWhy)) {
        sWhyNot = sWhy;
        return false;
    }
    const std::string cidr = sAddress + "/" + std::to_string(iPrefix);
    const std::string peer = sName + "p";
    if (!RunQuiet({"/bin/ip", "link", "add", sName, "type", "veth", "peer", "name", peer}) ||
        !RunQuiet({"/bin/ip", "addr", "add", cidr, "dev", sName}) || !RunQuiet({"/bin/ip", "link", "set", sName, "up"}) ||
        !RunQuiet({"/bin/ip", "link", "set", peer, "up"})) {
        sWhyNot = "cannot add the veth pair " + sName + " (ip link add ... type veth)";
        return false;
    }
    return true;
}

bool Rpcbind::Start(std::string& sWhyNot) {
    if (iPid > 0) return true;
    if (access("/usr/sbin/rpcbind", X_OK) != 0) {
        sWhyNot = "rpcbind is not installed (/usr/sbin/rpcbind)";
        return false;
    }
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid < 0) {
        sWhyNot = Errno("fork");
        return false;
    }
    if (pid == 0) {
        // Die with the test process, whatever becomes of it.
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent) _exit(1);
        const int null = open("/dev/null", O_RDWR);
        if (null >= 0) {
            dup2(null, 0);
            dup2(null, 1);
            dup2(null, 2);
        }
        execl("/usr/sbin/rpcbind", "rpcbind", "-f", "-w", static_cast<char*>(nullptr));
        _exit(127);
    }
    iPid = pid;
    // Wait until it accepts connections on port 111 (bounded).
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (std::chrono::steady_clock::now() < deadline) {
        int status = 0;
        if (waitpid(iPid, &status, WNOHANG) == iPid) {
            iPid = -1;
            sWhyNot = "rpcbind ended at once";
            return false;
        }
        const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(111);
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        const bool up = fd >= 0 && connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
        if (fd >= 0) close(fd);
        if (up && access("/run/rpcbind.sock", F_OK) == 0) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    Stop();
    sWhyNot = "rpcbind did not come up within 5 s";
    return false;
}

void Rpcbind::Stop() {
    if (iPid <= 0) return;
    kill(iPid, SIGKILL);
    int status = 0;
    while (waitpid(iPid, &status, 0) < 0 && errno == EINTR) {
    }
    iPid = -1;
}

} // namespace Sim
