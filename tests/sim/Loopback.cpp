#include "sim/Loopback.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <random>
#include <cstdint>
#include <cstring>

namespace Sim {

namespace {

// The lowest port that the kernel hands out for port 0 and for a client's connect.
int LowestEphemeralPort() {
    int iLow = 32768, iHigh = 60999;
    if (FILE* p = std::fopen("/proc/sys/net/ipv4/ip_local_port_range", "r")) {
        if (std::fscanf(p, "%d %d", &iLow, &iHigh) != 2) iLow = 32768;
        std::fclose(p);
    }
    return iLow;
}

int BindOnce(const std::string& sAddress, int iPort, int iBacklog, int& iBoundPort, std::string& sError) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<std::uint16_t>(iPort));
    if (inet_pton(AF_INET, sAddress.c_str(), &addr.sin_addr) != 1) {
        sError = "not an IPv4 address: " + sAddress;
        return -1;
    }
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        sError = std::string("socket: ") + std::strerror(errno);
        return -1;
    }
    const int one = 1;
    const char* pStep = nullptr;
    if (iBacklog > 0 && setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one) != 0) pStep = "SO_REUSEADDR";
    else if (bind(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) pStep = "bind";
    else if (iBacklog > 0 && listen(fd, iBacklog) != 0) pStep = "listen";
    if (pStep) {
        sError = std::string(pStep) + ": " + std::strerror(errno);
        close(fd);
        return -1;
    }
    socklen_t len = sizeof addr;
    getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    iBoundPort = ntohs(addr.sin_port);
    return fd;
}

} // namespace

int BindTcp(const std::string& sAddress, int iPort, int iBacklog, int& iBoundPort, std::string& sError) {
    // A listening peer takes a port below the range of the kernel's own choices: a test that stops
    // its peer and starts it again on the same port must not find it taken meanwhile by a
    // connection of a test running beside it (clients' ports come from that range).
    const int iLow = LowestEphemeralPort();
    if (iPort == 0 && iBacklog > 0 && iLow > 11000) {
        static thread_local std::minstd_rand random(
            static_cast<unsigned>(getpid()) ^
            static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count()));
        std::uniform_int_distribution<int> pick(10000, iLow - 1);
        for (int iTry = 0; iTry < 100; ++iTry) {
            const int fd = BindOnce(sAddress, pick(random), iBacklog, iBoundPort, sError);
            if (fd >= 0) return fd;
            if (sError.find(std::strerror(EADDRINUSE)) == std::string::npos) return -1;
        }
    }
    return BindOnce(sAddress, iPort, iBacklog, iBoundPort, sError);
}

LoopbackListener::LoopbackListener(bool fListen) {
    std::string sError;
    iFd = BindTcp("127.0.0.1", 0, fListen ? 4 : 0, iPort, sError);
}

LoopbackListener::~LoopbackListener() { Close(); }

void LoopbackListener::Close() {
    if (iFd < 0) return;
    shutdown(iFd, SHUT_RDWR);
    close(iFd);
    iFd = -1;
}

} // namespace Sim
