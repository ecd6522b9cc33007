#include "sim/HandshakeReset.h"
#include "sim/NetNamespace.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <linux/if_tun.h>
#include <net/if.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <vector>

namespace Sim {
namespace {

constexpr std::uint8_t Fin = 0x01, Syn = 0x02, Rst = 0x04, Ack = 0x10;
constexpr std::uint32_t HostSequence = 0x10000; // the host's initial sequence number

std::uint32_t Word(const std::uint8_t* p) {
    return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}
void PutWord(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<std::uint8_t>(v >> (24 - 8 * i));
}
void PutHalf(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v >> 8);
    p[1] = static_cast<std::uint8_t>(v);
}

// The Internet checksum of the bytes, begun with a sum carried in.
std::uint16_t Checksum(const std::uint8_t* p, std::size_t n, std::uint32_t iSum = 0) {
    for (std::size_t i = 0; i + 1 < n; i += 2)
        iSum += std::uint32_t{p[i]} << 8 | p[i + 1];
    if (n % 2) iSum += std::uint32_t{p[n - 1]} << 8;
    while (iSum >> 16)
        iSum = (iSum & 0xFFFF) + (iSum >> 16);
    return static_cast<std::uint16_t>(~iSum);
}

// An IPv4 packet with a TCP header and no data, from the host back to the sender of the packet
// whose IPv4 and TCP headers are given.
std::vector<std::uint8_t> Segment(const std::uint8_t* pIp, const std::uint8_t* pTcp, std::uint8_t iFlags,
                                  std::uint32_t iSequence, std::uint32_t iAck) {
    std::vector<std::uint8_t> out(40, 0);
    std::uint8_t* ip = out.data();
    std::uint8_t* tcp = ip + 20;
    ip[0] = 0x45;
    PutHalf(ip + 2, 40);
    ip[8] = 64;
    ip[9] = IPPROTO_TCP;
    std::memcpy(ip + 12, pIp + 16, 4); // from the address that was called
    std::memcpy(ip + 16, pIp + 12, 4); // to the caller
    PutHalf(ip + 10, Checksum(ip, 20));
    std::memcpy(tcp, pTcp + 2, 2);
    std::memcpy(tcp + 2, pTcp, 2);
    PutWord(tcp + 4, iSequence);
    PutWord(tcp + 8, iAck);
    tcp[12] = 5 << 4;
    tcp[13] = iFlags;
    PutHalf(tcp + 14, 65535);
    // The pseudo header: addresses, protocol, TCP length.
    std::uint32_t iSum = IPPROTO_TCP + 20;
    for (int i = 12; i < 20; i += 2)
        iSum += std::uint32_t{ip[i]} << 8 | ip[i + 1];
    PutHalf(tcp + 16, Checksum(tcp, 20, iSum));
    return out;
}

} // namespace

bool HandshakeResetHost::Start(const std::string& sDevice, const std::string& sPcAddress,
                               const std::string& sHostAddress, std::string& sWhyNot) {
    Stop();
    in_addr host{};
    if (inet_pton(AF_INET, sHostAddress.c_str(), &host) != 1) {
        sWhyNot = "not an IPv4 address: " + sHostAddress;
        return false;
    }
    iTun = open("/dev/net/tun", O_RDWR | O_CLOEXEC);
    ifreq ifr{};
    ifr.ifr_flags = IFF_TUN | IFF_NO_PI;
    std::strncpy(ifr.ifr_name, sDevice.c_str(), IFNAMSIZ - 1);
    if (iTun < 0 || ioctl(iTun, TUNSETIFF, &ifr) != 0) {
        sWhyNot = std::string("cannot make the TUN device ") + sDevice + ": " + std::strerror(errno);
        Stop();
        return false;
    }
    if (!RunQuiet({"/bin/ip", "addr", "add", sPcAddress + "/24", "dev", sDevice}) ||
        !BringUp(sDevice.c_str(), sWhyNot)) {
        if (sWhyNot.empty()) sWhyNot = "cannot give " + sDevice + " the address " + sPcAddress;
        Stop();
        return false;
    }
    iStop = eventfd(0, EFD_CLOEXEC);
    thread = std::thread([this] { Serve(); });
    return true;
}

void HandshakeResetHost::Serve() {
    std::uint8_t packet[2048];
    for (;;) {
        pollfd fds[2] = {{iTun, POLLIN, 0}, {iStop, POLLIN, 0}};
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (fds[1].revents) return;
        const ssize_t n = read(iTun, packet, sizeof packet);
        if (n < 20 || (packet[0] >> 4) != 4 || packet[9] != IPPROTO_TCP) continue;
        const std::size_t iHeader = std::size_t{packet[0] & 0x0Fu} * 4;
        if (static_cast<std::size_t>(n) < iHeader + 20) continue;
        const std::uint8_t* tcp = packet + iHeader;
        const std::uint8_t iFlags = tcp[13];
        std::vector<std::uint8_t> reply;
        if ((iFlags & (Syn | Ack)) == Syn) {
            reply = Segment(packet, tcp, Syn, HostSequence, 0); // a SYN of its own, no ACK
        } else if ((iFlags & (Syn | Ack)) == (Syn | Ack)) {
            reply = Segment(packet, tcp, Rst | Ack, HostSequence + 1, Word(tcp + 4) + 1);
        } else if (!(iFlags & (Rst | Fin))) {
            reply = Segment(packet, tcp, Rst, Word(tcp + 8), 0);
        }
        if (!reply.empty() && write(iTun, reply.data(), reply.size()) < 0) return;
    }
}

void HandshakeResetHost::Stop() {
    if (thread.joinable()) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = write(iStop, &one, sizeof one);
        thread.join();
    }
    if (iStop >= 0) close(iStop);
    if (iTun >= 0) close(iTun); // the device goes with its last descriptor
    iStop = iTun = -1;
}

} // namespace Sim
