// A host of the private network that resets every TCP connection in its handshake, so that the
// connect itself fails with "Connection reset by peer": it sits behind a TUN device, answers a
// SYN with a SYN of its own (the two sides open at once), and the connecting side's SYN-ACK with
// a reset. Packets other than TCP are ignored.
//
//   Sim::HandshakeResetHost host;
//   if (!host.Start("reset0", "10.66.0.1", "10.66.0.2", sWhy)) ... skip with sWhy ...
//   ... connect to 10.66.0.2, any port: ECONNRESET ...
#pragma once

#include <string>
#include <thread>

namespace Sim {

class HandshakeResetHost {
  public:
    HandshakeResetHost() = default;
    ~HandshakeResetHost() { Stop(); }
    HandshakeResetHost(const HandshakeResetHost&) = delete;
    HandshakeResetHost& operator=(const HandshakeResetHost&) = delete;

    // Makes the TUN device sDevice in the calling thread's (private) network with the PC's
    // address sPcAddress/24 and starts answering for sHostAddress of that network.
    bool Start(const std::string& sDevice, const std::string& sPcAddress, const std::string& sHostAddress,
               std::string& sWhyNot);
    void Stop();

  private:
    void Serve();

    int iTun = -1;
    int iStop = -1; // eventfd
    std::thread thread;
};

} // namespace Sim
