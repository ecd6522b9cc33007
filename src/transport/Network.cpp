#include "transport/Network.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace Network {
namespace {

// The four octets of a dotted text; fields that are missing or not numbers count as 0.
void Octets(const std::string& s, unsigned o[4]) {
    std::size_t pos = 0;
    for (int i = 0; i < 4; ++i) {
        o[i] = 0;
        if (pos > s.size()) continue;
        std::size_t dot = s.find('.', pos);
        if (dot == std::string::npos) dot = s.size();
        o[i] = static_cast<unsigned>(std::strtoul(s.substr(pos, dot - pos).c_str(), nullptr, 10)) & 0xFF;
        pos = dot + 1;
    }
}

std::string Dotted(const unsigned o[4]) {
    return std::to_string(o[0]) + "." + std::to_string(o[1]) + "." + std::to_string(o[2]) + "." +
           std::to_string(o[3]);
}

std::string Ipv4Text(const sockaddr* pAddr) {
    char text[INET_ADDRSTRLEN] = {};
    if (!pAddr || pAddr->sa_family != AF_INET) return "0.0.0.0";
    inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(pAddr)->sin_addr, text, sizeof text);
    return text;
}

struct IfAddrsFree {
    void operator()(ifaddrs* p) const { freeifaddrs(p); }
};

} // namespace

std::string BroadcastAddress(const std::string& sIp, const std::string& sMask) {
    unsigned a[4], m[4], r[4];
    Octets(sIp, a);
    Octets(sMask, m);
    for (int i = 0; i < 4; ++i) r[i] = a[i] | (m[i] ^ 255u);
    return Dotted(r);
}

std::string NetworkAddress(const std::string& sIp, const std::string& sMask) {
    unsigned a[4], m[4], r[4];
    Octets(sIp, a);
    Octets(sMask, m);
    for (int i = 0; i < 4; ++i) r[i] = a[i] & m[i];
    return Dotted(r);
}

bool GetAdapters(std::vector<uNetworkAdapter>& adapters, int& iCount, std::string& sError) {
    iCount = 0;
    adapters.assign(1, uNetworkAdapter{});
    ifaddrs* pList = nullptr;
    if (getifaddrs(&pList) != 0) {
        sError = "Error in obtaining information about network adapters. GetAdaptersInfo_(). Error = " +
                 std::to_string(errno);
        return false;
    }
    std::unique_ptr<ifaddrs, IfAddrsFree> list(pList);

    // One adapter per interface, in interface-index order; its first IPv4 address, if any.
    struct uEntry {
        unsigned iIndex;
        std::string sName;
        const ifaddrs* pIpv4;
    };
    std::vector<uEntry> entries;
    for (const ifaddrs* p = list.get(); p; p = p->ifa_next) {
        if (!p->ifa_name || (p->ifa_flags & IFF_LOOPBACK)) continue;
        auto it = std::find_if(entries.begin(), entries.end(), [&](const uEntry& e) { return e.sName == p->ifa_name; });
        if (it == entries.end()) {
            entries.push_back({if_nametoindex(p->ifa_name), p->ifa_name, nullptr});
            it = entries.end() - 1;
        }
        if (!it->pIpv4 && p->ifa_addr && p->ifa_addr->sa_family == AF_INET) it->pIpv4 = p;
    }
    std::stable_sort(entries.begin(), entries.end(), [](const uEntry& a, const uEntry& b) { return a.iIndex < b.iIndex; });

    if (entries.empty()) {
        sError = "Error determining the required data size with GetAdaptersInfo(). Error = 232";
        return false;
    }
    for (const uEntry& e : entries) {
        uNetworkAdapter a;
        a.sDescription = e.sName;
        a.sAdapterName = e.sName;
        a.sConnectionName = GetAdapterConnectionName(e.sName);
        a.sIpAddress = e.pIpv4 ? Ipv4Text(e.pIpv4->ifa_addr) : "0.0.0.0";
        a.sIpMask = e.pIpv4 ? Ipv4Text(e.pIpv4->ifa_netmask) : "0.0.0.0";
        a.sBroadcast = BroadcastAddress(a.sIpAddress, a.sIpMask);
        a.sNetwork = NetworkAddress(a.sIpAddress, a.sIpMask);
        adapters.push_back(std::move(a));
        ++iCount;
    }
    return true;
}

bool IsLoopbackAddress(const std::string& sIp) {
    in_addr address{};
    return inet_pton(AF_INET, sIp.c_str(), &address) == 1 && (ntohl(address.s_addr) >> 24) == 127;
}

uNetworkAdapter LoopbackAdapter() {
    uNetworkAdapter a;
    a.sDescription = a.sAdapterName = a.sConnectionName = "lo";
    a.sIpAddress = "127.0.0.1";
    a.sIpMask = "255.0.0.0";
    a.sBroadcast = BroadcastAddress(a.sIpAddress, a.sIpMask);
    a.sNetwork = NetworkAddress(a.sIpAddress, a.sIpMask);
    return a;
}

std::string GetAdapterConnectionName(const std::string& sAdapterName) {
    if (sAdapterName.empty() || if_nametoindex(sAdapterName.c_str()) == 0) return "";
    return sAdapterName;
}

std::string GetErrorText(int iCode) {
    const char* pText = strerrordesc_np(iCode);
    std::string s = "Code: " + std::to_string(iCode);
    if (!pText) return s;
    std::string text = pText;
    text.erase(std::remove_if(text.begin(), text.end(), [](char c) { return c == '\r' || c == '\n'; }), text.end());
    return s + "; " + text;
}

} // namespace Network
