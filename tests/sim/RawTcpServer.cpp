#include "sim/RawTcpServer.h"

#include "sim/Loopback.h"

namespace Sim {

RawTcpServer::RawTcpServer(std::shared_ptr<ScpiDevice> pDevice) : StreamPeer(std::move(pDevice)) {}

RawTcpServer::~RawTcpServer() { Stop(); }

bool RawTcpServer::Start(std::string& sError, const std::string& sAddress, int iWantedPort) {
    Stop();
    const int fd = BindTcp(sAddress, iWantedPort, 4, iPort, sError);
    if (fd < 0) {
        sError = "RawTcpServer: " + sError;
        return false;
    }
    return StartLoop(fd, -1, sError);
}

void RawTcpServer::Stop() { StopLoop(); }

} // namespace Sim
