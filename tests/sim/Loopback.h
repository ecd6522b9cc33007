// A TCP socket on 127.0.0.1 with a free port, for plain peers in tests and benchmarks.
#pragma once

namespace Sim {

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
