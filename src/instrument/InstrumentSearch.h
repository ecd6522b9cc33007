// The instrument search: a thread of its own that looks for instruments on USB, then on the LAN
// by UDP broadcasts once per chosen adapter (a portmapper GETPORT call that VXI-11 instruments
// answer, and a raw "*IDN?\n" for instruments that take SCPI on a raw socket port). Every
// device found becomes an instrument object with a prepare task of the search chain, which
// connects, identifies and disconnects it and reports the outcome to the search window. When
// everything is done the thread posts EventSearchFinished to that window.
//
// At most one search runs at a time. The module mutex guards only the running flag and the count
// of search threads; the objects are made through the instrument list (find-or-create under its
// mutex). StopSearch asks the search to end early: its loops and steps look at the request, its
// socket waits and pauses wake up for it. A found instrument is listed under the module's
// listing mutex, which comes before the instrument list in the lock order.
#pragma once

#include "instrument/ConnectionDescription.h"
#include "transport/TransportSettings.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// One local network adapter to search on.
struct uSearchAddress {
    std::string sLocalIp;       // the socket is bound to this address (any port)
    std::string sDestinationIp; // where the broadcasts go, normally the adapter's broadcast address
    std::int64_t iPortmapperPort = 111; // 0 counts as 111
    std::int64_t iRawTcpPort = 5025;
    std::int64_t iTimeout = 500; // how long answers are collected, in ms
};

// The search order. It is copied when the search starts.
struct uStartSearch {
    std::int64_t iWindow = 0;  // receives the chain's results and the end event
    std::int64_t fUdpOnly = 0; // VXI-11: take the port of the UDP answer, ask no portmapper over TCP
    std::vector<uSearchAddress> lAddress;
    std::int64_t fLibUsb0 = 0; // USB through the libusb 0.1 interface
    std::int64_t fLibUsb1 = 0; // USB through libusb-1.0
    std::int64_t fUsb = 0;     // search USB at all (the two flags above count only with it)
    std::int64_t fLxi = 0;     // VXI-11 broadcast on every address
    std::int64_t fRawTcp = 0;  // raw "*IDN?" broadcast on every address
};

namespace InstrumentSearch {

// The GETPORT broadcast: the portmapper call for the VXI-11 core channel over TCP, without
// record marking, transaction id 1 (56 bytes).
inline constexpr std::size_t GetPortDatagramSize = 56;
// The raw broadcast.
inline constexpr const char* RawIdnDatagram = "*IDN?\n";
// The largest answer datagram that is read.
inline constexpr std::size_t ReceiveBufferSize = 2048;

// Makes the module ready; true once it is. Called at start-up and by StartSearch.
bool InitModuleInstrumentSearch(std::string& sError);

// Starts the search thread with a copy of the order. False when the order is missing, or while
// a search is still running (that search goes on undisturbed).
bool StartSearch(const uStartSearch* pStartSearch, std::string& sError);

// Whether a search runs now.
bool IsRunning();

// Asks a running search to end early and waits up to the given time for its thread to finish.
// From the moment it returns no further object is made by that search, whether it ended or
// not. False when the thread is still at work after the wait; it then ends by itself, detached.
// A later StartSearch forgets the request.
bool StopSearch(std::chrono::milliseconds wait, std::string& sError);

// The parts of the search thread; each posts its failures to the log and ends only its own part.
void SearchUsbTmcLibUsb1(std::int64_t iWindow);
void SearchUsbTmcLibUsb0(std::int64_t iWindow);
void SearchLanLxi(uSearchAddress address, std::int64_t iWindow, bool fUdpOnly);
void SearchLanRawTcp(const uSearchAddress& address, std::int64_t iWindow);

// The steps the parts share. Whether StopSearch asked the search to end; a pause that a stop
// request cuts short.
bool StopRequested();
void PauseUnlessStopped(std::chrono::milliseconds pause);
// A found instrument's candidate description: a prepare task of
// the search chain to the search window.
uTaskPrepare SearchCandidate(std::int64_t iWindow, std::int64_t eInterface);
// Lists the instrument found and queues its chain's prepare task. With fAlwaysNew every call
// makes a new object; otherwise an instrument already listed with the candidate's identity is
// left as it is. A failure is posted with the procedure's name.
void ListFound(const uTaskPrepare& candidate, bool fAlwaysNew, const char* sProcedure);

// Logs the one line of a found instrument that its chain could not identify: where it was found
// ("192.168.1.20 (VXI-11)", "192.168.1.21:5025", "USB 1AB1:04CE DS1ZA000000001") and the reason.
void PostNotIdentified(const uTaskPrepare& found, const std::string& sReason);

// Asks the portmapper at the settings' address and port over TCP for the VXI-11 core port and
// writes it into the settings' port. False (port unchanged) when no port came back.
bool ProbeLxiTcpPort(uNetworkSettings& settings, std::string& sError);

} // namespace InstrumentSearch
