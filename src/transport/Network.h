// The PC's IPv4 network adapters, for choosing the local address of a LAN connection and for
// the broadcasts of the instrument search; and the text of a system error code.
#pragma once

#include <string>
#include <vector>

namespace Network {

struct uNetworkAdapter {
    std::string sDescription;    // the interface name (the system keeps no other description)
    std::string sAdapterName;    // the interface name
    std::string sConnectionName; // the interface name
    std::string sIpAddress;      // first IPv4 address, dotted decimal; "0.0.0.0" when it has none
    std::string sIpMask;         // its mask, dotted decimal
    std::string sBroadcast;      // per octet: address OR (mask XOR 255)
    std::string sNetwork;        // per octet: address AND mask
};

// Fills adapters with one element per network interface (loopback left out) at indices 1 to
// iCount, in the system's interface order; element 0 stays empty. With no adapter at all the
// result is false (iCount 0) with the system's no-data text.
bool GetAdapters(std::vector<uNetworkAdapter>& adapters, int& iCount, std::string& sError);

// Whether the dotted IPv4 text is an address of this PC's loopback network (127.0.0.0/8).
bool IsLoopbackAddress(const std::string& sIp);

// The loopback adapter (interface "lo" at 127.0.0.1), through which an
// instrument on this PC is reached: a simulator or a tunnel to a lab instrument. GetAdapters
// leaves it out, so the search never broadcasts on it.
uNetworkAdapter LoopbackAdapter();

// The name the user sees for an adapter name: the interface's own name while it exists, else "".
std::string GetAdapterConnectionName(const std::string& sAdapterName);

// "Code: " + code + "; " + the system's message for it, or "Code: " + code when it has none.
std::string GetErrorText(int iCode);

// Broadcast and network address from dotted address and mask texts (missing octets count 0).
std::string BroadcastAddress(const std::string& sIp, const std::string& sMask);
std::string NetworkAddress(const std::string& sIp, const std::string& sMask);

} // namespace Network
