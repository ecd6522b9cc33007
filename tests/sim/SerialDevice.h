// The serial front door of the simulated instrument: a pseudo-terminal whose master side the
// device serves; the program opens the other side (PortName) as its serial port.
//
//   Sim::SerialDevice device;
//   std::string sError;
//   if (!device.Start(sError)) ...;
//   ... open device.PortName() ("/dev/pts/N") ...
//   tcgetattr(device.LineFd(), &t);            // the line settings the program gave the port
//   device.AddFault({Sim::eStreamFault::Close}); // the next answer closes the master: the port
//                                              // side reads EIO / end of file from then on
//
// The device keeps a descriptor of the port side open itself, so that the program may close
// and open the port again. A pseudo-terminal keeps 8 data bits and no parity whatever the
// program asks (it has no line); every other setting reads back as set.
#pragma once

#include "sim/StreamPeer.h"

#include <memory>
#include <string>

namespace Sim {

class SerialDevice : public StreamPeer {
  public:
    explicit SerialDevice(std::shared_ptr<ScpiDevice> pDevice = std::make_shared<ScpiDevice>());
    ~SerialDevice();

    bool Start(std::string& sError);
    void Stop();
    const std::string& PortName() const { return sPortName; }
    int LineFd() const { return iLineFd; }

  private:
    std::string sPortName;
    int iLineFd = -1;
};

} // namespace Sim
