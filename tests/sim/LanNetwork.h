// A small LAN of simulated instruments for the searches: the test process becomes the PC in a
// private network (EnterPrivateNetwork) with one bridge per subnet, and every instrument is a
// child process in a network namespace of its own, joined to its bridge by a veth pair. An
// instrument runs rpcbind and the VXI-11 simulator, a raw SCPI port over TCP, a responder for
// "*IDN?" datagrams, or a scripted portmapper that answers GETPORT calls as told, all over one
// ScpiDevice. Broadcasts never leave these namespaces.
//
//   Sim::LanNetwork network;                        // in SetUpTestSuite, before any thread starts
//   std::string sWhy;
//   if (!network.Start({{"192.168.77.1"}}, {instrument, ...}, sWhy)) ... skip with sWhy ...
//   ... broadcast from 192.168.77.1 to 192.168.77.255 ...
//   network.Stop();                                 // also done by the destructor
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <sys/types.h>
#include <vector>

namespace Sim {

// One reply of the scripted portmapper to a GETPORT call.
struct uPortmapReply {
    std::uint32_t iXIdDelta = 0; // added to the call's transaction id (0: the right id)
    std::uint32_t iPort = 0;     // the port it names
    std::uint32_t iVerifierLength = 0; // the verifier's length word (its body is never sent)
    std::size_t iCut = 0;              // only this many bytes go out (0: the whole reply)
};

struct uLanInstrument {
    int iSubnet = 0;      // index of the PC's subnet it sits on
    std::string sAddress; // its IPv4 address there
    std::string sIdn = "Orvanto,Simulated Instrument,SIM0001,1.0";
    std::string sAnswerEnd = "\n"; // what ends its answers on TCP ("": nothing does)
    bool fVxi11 = false;   // the VXI-11 simulator
    int iVxi11Port = 0;    // its TCP port; 0: any
    bool fRawTcp = false;  // SCPI over TCP on iRawPort
    bool fRawUdp = false;  // answers every datagram on iRawPort
    int iRawPort = 5025;
    int iRawUdpAnswers = 1;    // answers per datagram
    std::string sRawUdpAnswer; // the answer; empty: the identification and LF
    // Empty: rpcbind runs and the VXI-11 simulator registers with it. Otherwise a portmapper of
    // UDP port 111 only, which sends these replies to each call; nothing is registered.
    std::vector<uPortmapReply> lPortmapReplies;
};

struct uLanSubnet {
    std::string sPcAddress; // the PC's address on the subnet's bridge
    int iPrefix = 24;
};

class LanNetwork {
  public:
    LanNetwork() = default;
    ~LanNetwork() { Stop(); }
    LanNetwork(const LanNetwork&) = delete;
    LanNetwork& operator=(const LanNetwork&) = delete;

    // Builds the network; every instrument has answered a datagram when it returns true. Call it
    // while the process runs one thread only (no Qt application, no server thread yet).
    bool Start(const std::vector<uLanSubnet>& subnets, const std::vector<uLanInstrument>& instruments,
               std::string& sWhyNot);
    // Ends the instruments (bounded; a child that does not end is killed).
    void Stop();

    // The broadcast address of a subnet.
    static std::string Broadcast(const uLanSubnet& subnet);

  private:
    struct uChild {
        pid_t iPid = -1;
        int iControl = -1; // write end: closing it tells the child to end
        int iReport = -1;  // read end: the child's progress, closed when it ends
    };
    std::vector<uChild> lChildren;
};

} // namespace Sim
