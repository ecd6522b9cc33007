// The raw TCP front door of the simulated instrument: a listener on loopback whose connection
// carries SCPI messages ending with LF, as instruments do on port 5025.
//
//   Sim::RawTcpServer server;                  // its own ScpiDevice, or one handed in
//   std::string sError;
//   if (!server.Start(sError)) ...;            // 127.0.0.1, any free port
//   ... connect to 127.0.0.1:server.Port() ...
//   server.AddFault({Sim::eStreamFault::Close}); // the next answer closes the connection
//   server.Stop();                             // also done by the destructor
//
// One connection is served at a time; a new connection replaces the one before.
#pragma once

#include "sim/StreamPeer.h"

#include <memory>
#include <string>

namespace Sim {

class RawTcpServer : public StreamPeer {
  public:
    explicit RawTcpServer(std::shared_ptr<ScpiDevice> pDevice = std::make_shared<ScpiDevice>());
    ~RawTcpServer();

    bool Start(std::string& sError, const std::string& sAddress = "127.0.0.1", int iPort = 0);
    void Stop();
    int Port() const { return iPort; }

  private:
    int iPort = 0;
};

} // namespace Sim
