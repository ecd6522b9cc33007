// The simulated instrument behind a plain byte stream: the common part of the raw TCP front
// door (a TCP connection) and the serial one (the master side of a pseudo-terminal). A thread
// of its own feeds what arrives to the SCPI device and sends each answer back, through the
// fault of that answer when one is set.
#pragma once

#include "sim/ScpiDevice.h"

#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace Sim {

enum class eStreamFault {
    Delay,   // wait iValue ms, then answer
    Close,   // close the connection (the pseudo-terminal) instead of answering
    NoReply, // never send this answer; the connection stays open
    Split,   // send the first iValue bytes, wait until the far side has taken them and fnGate
             // agrees, then send the rest: the two parts arrive as two receptions
    Trickle, // send the answer in pieces of iValue bytes with a pause of a few ms after each, or
             // with fnGate, each piece after the first once fnGate agrees
    Hold,    // send the first iValue bytes, then hold the rest back until fnGate agrees (no time
             // limit; a stop ends the wait): a transfer that is certain to be under way
};

// A fault for a later answer: the next iSkip answers pass, the one after meets the fault.
struct uStreamFault {
    eStreamFault eKind = eStreamFault::Delay;
    int iValue = 0;
    int iSkip = 0;
    // Split: true once the receiver has read the first part (e.g. nothing left in its
    // receive queue); asked every millisecond, for at most 10 s. Hold: true lets the rest go.
    std::function<bool()> fnGate = {};
};

class StreamPeer {
  public:
    StreamPeer(const StreamPeer&) = delete;
    StreamPeer& operator=(const StreamPeer&) = delete;

    ScpiDevice& Device() { return *pDevice; }
    std::shared_ptr<ScpiDevice> SharedDevice() { return pDevice; }

    void AddFault(const uStreamFault& fault);
    // An instrument that is slow to answer (busy, or after a mode change): every answer without
    // a fault of its own leaves iMs after its query came in; queries behind it wait their turn.
    void SetLateness(int iMs) { iLateMs = iMs; }
    // Bytes received from the far side, and answers sent (in full or in part) so far.
    std::size_t BytesReceived() const { return iBytesReceived; }
    std::size_t AnswersSent() const { return iAnswersSent; }
    // Connections taken from the listener, and streams that the far side closed.
    int ConnectionsAccepted() const { return iAccepted; }
    int ConnectionsClosedByPeer() const { return iClosedByPeer; }

  protected:
    explicit StreamPeer(std::shared_ptr<ScpiDevice> pDevice);
    ~StreamPeer();

    // Starts the thread. iListenFd (or -1): a listening socket whose new connections replace
    // the current one; iDataFd (or -1): the stream to serve now. Both become the peer's.
    bool StartLoop(int iListenFd, int iDataFd, std::string& sError);
    // Ends the thread and closes the descriptors the peer owns.
    void StopLoop();

  private:
    void Loop();
    void ServeAnswers();
    bool TakeFault(uStreamFault& fault);
    // Sends iCount answer bytes from the device; false when the stream is gone or on stop.
    bool SendFromDevice(std::size_t iCount);
    bool SendAll(const std::uint8_t* pData, std::size_t iSize);
    // Waits up to iMs for the stop signal; true when it came.
    bool StopWithin(int iMs);
    void CloseData();

    std::shared_ptr<ScpiDevice> pDevice;
    std::thread mThread;
    int iWakeFd = -1;
    int iListenFd = -1;
    int iDataFd = -1;
    std::atomic<bool> fStop{false};
    std::atomic<int> iLateMs{0};
    std::atomic<std::size_t> iBytesReceived{0};
    std::atomic<std::size_t> iAnswersSent{0};
    std::atomic<int> iAccepted{0};
    std::atomic<int> iClosedByPeer{0};
    std::mutex mMutex;
    std::vector<uStreamFault> mFaults;
};

} // namespace Sim
