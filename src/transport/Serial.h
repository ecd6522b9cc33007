// The serial transport: SCPI text and binary data to an instrument on a serial port
// (/dev/tty*), the twin of the raw TCP transport: the same message layout, answer rule,
// time-out, abort, drain and progress; the port is written in pieces of 2048 bytes. One
// instance is one open port; it is used by the worker thread of its instrument only, and its
// address is its abort-request key.
#pragma once

#include "transport/StreamTransfer.h"
#include "transport/TransportSettings.h"

#include <termios.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace Serial {

// An open port: owns its descriptor, and on close gives up the exclusive use it took.
class uPort {
  public:
    uPort() = default;
    ~uPort() { Close(); }
    uPort(const uPort&) = delete;
    uPort& operator=(const uPort&) = delete;

    bool IsOpen() const { return iFd >= 0; }
    int Fd() const { return iFd; }
    void Adopt(int iNewFd);
    void Close();
    // Takes the port for this program alone (see Connect); false when another holds it, whose
    // exclusive use is then left as it is.
    bool TakeExclusive();

  private:
    int iFd = -1;
    bool fExclusive = false; // this port set TIOCEXCL and clears it when it closes
};

struct uSerialInstance : StreamTransfer::uStreamInstance {
    uSerialSettings mSettings; // the caller's settings; iPortHandle is 1 while the port is open
    uPort mPort;
};

// Parity codes.
enum eParity { ParityNone = 0, ParityOdd = 1, ParityEven = 2, ParityMark = 3, ParitySpace = 4 };
// Handshake codes.
enum eHandshake {
    HandshakeNone = 0,   // no flow control, RTS held off
    HandshakeRtsOn = 1,  // RTS held on, no flow control
    HandshakeRtsCts = 2, // RTS/CTS hardware handshake
    HandshakeXonXoff = 3 // XON (0x11) / XOFF (0x13) in both directions
};

// Largest piece of one write.
inline constexpr std::size_t PieceSize = 0x800;

// Creates an instance in the module's list; its progress step is the program's serial step.
std::shared_ptr<uSerialInstance> NewInstance(std::string& sError);
// Closes an open port, then removes the instance (Destructor).
bool DeleteInstance(uSerialInstance& instance, std::string& sError);
// Removes the instance from the list and frees its buffers; fails for an unknown instance.
bool Destructor(uSerialInstance& instance, std::string& sError);
std::size_t LiveInstances();
std::size_t CreatedInstances();

// Closes an open port and copies the settings; port name, baud rate, data bits and stop bits
// must not be 0.
bool SetInstrument(uSerialInstance& instance, const uSerialSettings& settings, std::string& sError);
// Opens the port for this program alone and sets it up from the settings. A name without a
// leading '/' is a device of /dev ("ttyUSB0"). The port opened again owes nothing of what its
// last open owed, and nothing is waited for (the port's name may lead to another device by now);
// but the instrument's output queue outlives an open: the first write drops what already waits
// on the line, an answer that has begun there read to the end of its message within the bound.
bool Connect(uSerialInstance& instance, std::string& sError);
// Closes the port; what it owed goes with it.
void Disconnect(uSerialInstance& instance);
// Send and silence time-out in ms; 0 selects the program's serial time-out.
void SetTimeout(uSerialInstance& instance, std::int64_t iTimeoutMs);
void SetEndOfMessage(uSerialInstance& instance, const std::string& sEndOfMessage);

// The line settings Connect gives the port: t (as read from the port) becomes a raw 8-bit
// clean line with the settings' speed, data bits, stop bits, parity and handshake. False, with
// the reason, for settings that a Linux port cannot take. A speed without a B constant leaves
// the speed of t alone; Connect sets it afterwards with BOTHER.
bool MakeLineSettings(const uSerialSettings& settings, termios& t, std::string& sReason);

bool PrepareData(uSerialInstance& instance, const std::string& sCommand, const std::uint8_t* pPayload,
                 std::size_t iPayloadSize, std::string& sError);
// PortWrite.
bool SendData(uSerialInstance& instance, std::size_t& iBytesSent, int iWindow, std::string& sError);
// Writes the prepared message in pieces of PieceSize bytes; type-4 progress to iWindow.
bool PortWrite(uSerialInstance& instance, std::size_t& iBytesSent, int iWindow, std::string& sError);
// PortRead into the caller's buffer, whose memory is reused: on success it holds exactly the
// answer's bytes, on failure none (StreamTransfer::ReadAnswer).
bool RequestData(uSerialInstance& instance, DataBuffer& answer, int iWindow, std::string& sError,
                 std::size_t iKeep = 0);
// Reads one answer into pReceiveData; type-7 progress to iWindow. A port that fails with EIO
// (an adapter unplugged, the far side of a pseudo-terminal closed) is a lost connection.
bool PortRead(uSerialInstance& instance, int iWindow, std::string& sError);
// Reads and drops waiting bytes until the port is quiet for 100 ms.
bool PortReadEmpty(uSerialInstance& instance, std::string& sError);

} // namespace Serial
