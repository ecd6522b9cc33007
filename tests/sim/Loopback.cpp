#include "sim/Loopback.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace Sim {

LoopbackListener::LoopbackListener(bool fListen) {
    iFd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (iFd < 0 || bind(iFd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) return;
    if (fListen) listen(iFd, 4);
    socklen_t len = sizeof a;
    getsockname(iFd, reinterpret_cast<sockaddr*>(&a), &len);
    iPort = ntohs(a.sin_port);
}

LoopbackListener::~LoopbackListener() { Close(); }

void LoopbackListener::Close() {
    if (iFd < 0) return;
    shutdown(iFd, SHUT_RDWR);
    close(iFd);
    iFd = -1;
}

} // namespace Sim
