// TCP sockets for the simulated peers: a listening socket on any IPv4 address and port, and a
// socket on 127.0.0.1 with a free port for plain peers in tests and benchmarks.
#pragma once

#include <string>

namespace Sim {

// A TCP socket bound to the IPv4 address and port (0: any free one; a listening one below the
// range the kernel chooses from, so that it can be taken again after a stop). With iBacklog above 0 it
// listens (and may take a port that old connections still hold); with 0 it is bound only, so
// that a connection to the port is refused. -1 with a reason in sError when it cannot be made;
// iBoundPort receives the port.
int BindTcp(const std::string& sAddress, int iPort, int iBacklog, int& iBoundPort, std::string& sError);

class LoopbackListener {
  public:
    // Binds to a free port of 127.0.0.1 and listens (fListen false: bound only, so that a
    // connection to the port is refused).
    explicit LoopbackListener(bool fListen = true);
    ~LoopbackListener();
    LoopbackListener(const LoopbackListener&) = delete;
    LoopbackListener& operator=(const LoopbackListener&) = delete;

    int Fd() const { return iFd; }
    int Port() const { return iPort; }
    // Wakes a thread blocked in accept() and closes the socket.
    void Close();

  private:
    int iFd = -1;
    int iPort = 0;
};

} // namespace Sim
