#include "sim/RawTcpServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace Sim {

RawTcpServer::RawTcpServer(std::shared_ptr<ScpiDevice> pDevice) : StreamPeer(std::move(pDevice)) {}

RawTcpServer::~RawTcpServer() { Stop(); }

bool RawTcpServer::Start(std::string& sError, const std::string& sAddress, int iWantedPort) {
    Stop();
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<std::uint16_t>(iWantedPort));
    if (inet_pton(AF_INET, sAddress.c_str(), &addr.sin_addr) != 1) {
        sError = "RawTcpServer: not an IPv4 address: " + sAddress;
        return false;
    }
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int one = 1;
    if (fd < 0 || setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one) != 0 ||
        bind(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0 || listen(fd, 4) != 0) {
        sError = std::string("RawTcpServer: ") + std::strerror(errno);
        if (fd >= 0) close(fd);
        return false;
    }
    socklen_t len = sizeof addr;
    getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    iPort = ntohs(addr.sin_port);
    return StartLoop(fd, -1, sError);
}

void RawTcpServer::Stop() { StopLoop(); }

} // namespace Sim
