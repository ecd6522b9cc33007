#include "sim/Loopback.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

namespace Sim {

int BindTcp(const std::string& sAddress, int iPort, int iBacklog, int& iBoundPort, std::string& sError) {
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
