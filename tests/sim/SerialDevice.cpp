#include "sim/SerialDevice.h"

#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace Sim {

SerialDevice::SerialDevice(std::shared_ptr<ScpiDevice> pDevice) : StreamPeer(std::move(pDevice)) {}

SerialDevice::~SerialDevice() { Stop(); }

bool SerialDevice::Start(std::string& sError) {
    Stop();
    int master = -1;
    int line = -1;
    char name[256] = {};
    termios raw{};
    cfmakeraw(&raw);
    if (openpty(&master, &line, name, &raw, nullptr) != 0) {
        sError = std::string("SerialDevice: openpty: ") + std::strerror(errno);
        return false;
    }
    fcntl(master, F_SETFD, FD_CLOEXEC);
    fcntl(line, F_SETFD, FD_CLOEXEC);
    sPortName = name;
    iLineFd = line;
    return StartLoop(-1, master, sError);
}

void SerialDevice::Stop() {
    StopLoop();
    if (iLineFd >= 0) close(iLineFd);
    iLineFd = -1;
}

} // namespace Sim
