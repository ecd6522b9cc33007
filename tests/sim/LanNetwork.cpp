#include "sim/LanNetwork.h"

#include "sim/NetNamespace.h"
#include "sim/RawTcpServer.h"
#include "sim/ScpiDevice.h"
#include "sim/Vxi11Server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <memory>
#include <vector>

namespace Sim {
namespace {

using Clock = std::chrono::steady_clock;

// The child's reports: its namespace is made, it is ready; or "F" and the reason, then it ends.
constexpr char ReportNamespace = 'N';
constexpr char ReportReady = 'R';
constexpr char ReportFailed = 'F';
// The parent's word: the veth end is in the child's namespace.
constexpr char ControlLinked = 'L';

constexpr int NamespaceWaitMs = 10000;
constexpr int ReadyWaitMs = 30000;
constexpr int EndWaitMs = 10000;

void Send(int fd, const std::string& sText) {
    std::size_t iDone = 0;
    while (iDone < sText.size()) {
        const ssize_t n = write(fd, sText.data() + iDone, sText.size() - iDone);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        iDone += static_cast<std::size_t>(n);
    }
}

[[noreturn]] void Fail(int iReport, const std::string& sWhy) {
    Send(iReport, ReportFailed + sWhy);
    _exit(1);
}

int UdpSocket(int iPort) {
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(iPort));
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    if (fd < 0 || bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        if (fd >= 0) close(fd);
        return -1;
    }
    return fd;
}

void PutWord(std::uint8_t* p, std::uint32_t iValue) {
    p[0] = static_cast<std::uint8_t>(iValue >> 24);
    p[1] = static_cast<std::uint8_t>(iValue >> 16);
    p[2] = static_cast<std::uint8_t>(iValue >> 8);
    p[3] = static_cast<std::uint8_t>(iValue);
}

// Takes one datagram and answers it: every reply of the script, or the raw answer.
void Answer(int fd, const uLanInstrument& instrument, bool fPortmap) {
    std::uint8_t buffer[2048];
    sockaddr_in sender{};
    socklen_t iSenderSize = sizeof sender;
    const ssize_t n = recvfrom(fd, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&sender), &iSenderSize);
    if (n <= 0) return;
    auto reply = [&](const void* pData, std::size_t iSize) {
        sendto(fd, pData, iSize, 0, reinterpret_cast<const sockaddr*>(&sender), iSenderSize);
    };
    if (fPortmap) {
        if (n < 4) return;
        const std::uint32_t iXId = (std::uint32_t(buffer[0]) << 24) | (std::uint32_t(buffer[1]) << 16) |
                                   (std::uint32_t(buffer[2]) << 8) | std::uint32_t(buffer[3]);
        for (const uPortmapReply& r : instrument.lPortmapReplies) {
            // xid, REPLY, MSG_ACCEPTED, verifier AUTH_NONE of length 0, SUCCESS, the port.
            std::uint8_t message[28];
            const std::uint32_t words[7] = {iXId + r.iXIdDelta, 1, 0, 0, r.iVerifierLength, 0, r.iPort};
            for (int i = 0; i < 7; ++i) PutWord(message + 4 * i, words[i]);
            reply(message, r.iCut == 0 ? sizeof message : std::min(r.iCut, sizeof message));
        }
        return;
    }
    const std::string sAnswer = instrument.sRawUdpAnswer.empty() ? instrument.sIdn + "\n" : instrument.sRawUdpAnswer;
    for (int i = 0; i < instrument.iRawUdpAnswers; ++i) reply(sAnswer.data(), sAnswer.size());
}

// The instrument's front doors, until the parent closes the control pipe.
int Serve(const uLanInstrument& instrument, int iControl, int iReport) {
    std::string sWhy;
    auto pDevice = std::make_shared<ScpiDevice>();
    pDevice->SetIdn(instrument.sIdn);
    pDevice->SetAnswerEnd(instrument.sAnswerEnd);
    const bool fScripted = !instrument.lPortmapReplies.empty();
    Rpcbind rpcbind;
    if (instrument.fVxi11 && !fScripted && !rpcbind.Start(sWhy)) Fail(iReport, sWhy);
    Vxi11Server vxi11(pDevice);
    if (instrument.fVxi11) {
        Vxi11Server::uConfig config;
        config.sAddress = "0.0.0.0";
        config.iPort = instrument.iVxi11Port;
        config.fRegister = !fScripted;
        if (!vxi11.Start(config, sWhy)) Fail(iReport, sWhy);
    }
    RawTcpServer rawTcp(pDevice);
    if (instrument.fRawTcp && !rawTcp.Start(sWhy, "0.0.0.0", instrument.iRawPort)) Fail(iReport, sWhy);
    const int iRawUdp = instrument.fRawUdp ? UdpSocket(instrument.iRawPort) : -1;
    const int iPortmap = fScripted ? UdpSocket(111) : -1;
    if ((instrument.fRawUdp && iRawUdp < 0) || (fScripted && iPortmap < 0)) {
        Fail(iReport, "cannot bind the UDP responder of " + instrument.sAddress);
    }
    Send(iReport, std::string(1, ReportReady));
    for (;;) {
        pollfd fds[3] = {{iControl, POLLIN, 0}, {iRawUdp, POLLIN, 0}, {iPortmap, POLLIN, 0}};
        if (poll(fds, 3, -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (fds[0].revents != 0) break; // the parent closed its end (or ended)
        if (fds[1].revents & POLLIN) Answer(iRawUdp, instrument, false);
        if (fds[2].revents & POLLIN) Answer(iPortmap, instrument, true);
    }
    vxi11.Stop();
    rawTcp.Stop();
    rpcbind.Stop();
    if (iRawUdp >= 0) close(iRawUdp);
    if (iPortmap >= 0) close(iPortmap);
    return 0;
}

// The child: a host of its own with one interface, eth0, that the parent moves in.
[[noreturn]] void RunInstrument(const uLanInstrument& instrument, const uLanSubnet& subnet, int iControl,
                                int iReport) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    std::string sWhy;
    if (!MakePrivateNetwork(sWhy)) Fail(iReport, sWhy);
    Send(iReport, std::string(1, ReportNamespace));
    char c = 0;
    if (read(iControl, &c, 1) != 1 || c != ControlLinked) _exit(1);
    const std::string sCidr = instrument.sAddress + "/" + std::to_string(subnet.iPrefix);
    if (!RunQuiet({"/bin/ip", "addr", "add", sCidr, "brd", "+", "dev", "eth0"}) ||
        !RunQuiet({"/bin/ip", "link", "set", "eth0", "up"})) {
        Fail(iReport, "cannot configure eth0 with " + sCidr);
    }
    _exit(Serve(instrument, iControl, iReport));
}

// Waits for one report byte; on a failure report, reads its reason.
bool WaitReport(int fd, char cExpected, int iMs, std::string& sWhyNot) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, iMs) <= 0) {
        sWhyNot = "a simulated instrument did not report within " + std::to_string(iMs) + " ms";
        return false;
    }
    char c = 0;
    if (read(fd, &c, 1) != 1) {
        sWhyNot = "a simulated instrument ended unexpectedly";
        return false;
    }
    if (c == cExpected) return true;
    std::string sReason;
    char buffer[256];
    while (poll(&p, 1, 1000) > 0) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n <= 0) break;
        sReason.append(buffer, static_cast<std::size_t>(n));
    }
    sWhyNot = "a simulated instrument failed: " + sReason;
    return false;
}

// Whether the instrument answers a datagram from the PC (a portmapper's NULL call, or the raw
// "*IDN?"): its link, both neighbour entries and its answering loop are in place before a search
// counts on an answer within its wait. Datagrams may be lost while the link comes up: resent.
bool Answers(const uLanInstrument& instrument, std::string& sWhyNot) {
    std::uint8_t call[40] = {};
    const std::uint32_t words[6] = {1, 0, 2, 100000, 2, 0}; // xid, CALL, RPC 2, portmapper 2, NULL
    for (int i = 0; i < 6; ++i) PutWord(call + 4 * i, words[i]);
    std::string sDatagram(reinterpret_cast<const char*>(call), sizeof call);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(111);
    if (instrument.fRawUdp) {
        sDatagram = "*IDN?\n";
        address.sin_port = htons(static_cast<std::uint16_t>(instrument.iRawPort));
    } else if (!instrument.fVxi11 && instrument.lPortmapReplies.empty()) {
        return true; // nothing of it takes datagrams
    }
    inet_pton(AF_INET, instrument.sAddress.c_str(), &address.sin_addr);
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    pollfd p{fd, POLLIN, 0};
    char buffer[256];
    bool fAnswered = false;
    for (int i = 0; fd >= 0 && !fAnswered && i < ReadyWaitMs / 1000; ++i) {
        sendto(fd, sDatagram.data(), sDatagram.size(), 0, reinterpret_cast<const sockaddr*>(&address), sizeof address);
        fAnswered = poll(&p, 1, 1000) > 0 && recv(fd, buffer, sizeof buffer, 0) > 0;
    }
    if (fd >= 0) close(fd);
    if (!fAnswered) sWhyNot = "the simulated instrument " + instrument.sAddress + " answers no datagram";
    return fAnswered;
}

} // namespace

std::string LanNetwork::Broadcast(const uLanSubnet& subnet) {
    in_addr address{};
    if (inet_pton(AF_INET, subnet.sPcAddress.c_str(), &address) != 1) return "";
    const std::uint32_t iMask = subnet.iPrefix <= 0 ? 0 : ~std::uint32_t{0} << (32 - std::min(subnet.iPrefix, 32));
    address.s_addr = htonl(ntohl(address.s_addr) | ~iMask);
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &address, text, sizeof text);
    return text;
}

bool LanNetwork::Start(const std::vector<uLanSubnet>& subnets, const std::vector<uLanInstrument>& instruments,
                       std::string& sWhyNot) {
    Stop();
    if (!EnterPrivateNetwork(sWhyNot)) return false;
    for (std::size_t i = 0; i < subnets.size(); ++i) {
        const std::string sBridge = "br" + std::to_string(i);
        const std::string sCidr = subnets[i].sPcAddress + "/" + std::to_string(subnets[i].iPrefix);
        RunQuiet({"/bin/ip", "link", "del", sBridge});
        if (!RunQuiet({"/bin/ip", "link", "add", sBridge, "type", "bridge", "forward_delay", "0"}) ||
            !RunQuiet({"/bin/ip", "addr", "add", sCidr, "brd", "+", "dev", sBridge}) || !RunQuiet({"/bin/ip", "link", "set", sBridge, "up"})) {
            sWhyNot = "cannot make the bridge " + sBridge + " (ip link add ... type bridge)";
            return false;
        }
    }
    for (std::size_t k = 0; k < instruments.size(); ++k) {
        const uLanInstrument& instrument = instruments[k];
        if (instrument.iSubnet < 0 || static_cast<std::size_t>(instrument.iSubnet) >= subnets.size()) {
            sWhyNot = "the instrument " + instrument.sAddress + " names no subnet";
            Stop();
            return false;
        }
        int control[2], report[2];
        if (pipe2(control, O_CLOEXEC) != 0) {
            sWhyNot = std::string("pipe: ") + std::strerror(errno);
            Stop();
            return false;
        }
        if (pipe2(report, O_CLOEXEC) != 0) {
            close(control[0]);
            close(control[1]);
            sWhyNot = std::string("pipe: ") + std::strerror(errno);
            Stop();
            return false;
        }
        const pid_t pid = fork();
        if (pid == 0) {
            // The other children's pipes stay with the parent alone, so that each child sees
            // its own control pipe close.
            for (const uChild& other : lChildren) {
                close(other.iControl);
                close(other.iReport);
            }
            close(control[1]);
            close(report[0]);
            RunInstrument(instrument, subnets[static_cast<std::size_t>(instrument.iSubnet)], control[0], report[1]);
        }
        close(control[0]);
        close(report[1]);
        if (pid < 0) {
            close(control[1]);
            close(report[0]);
            sWhyNot = std::string("fork: ") + std::strerror(errno);
            Stop();
            return false;
        }
        lChildren.push_back({pid, control[1], report[0]});
        const std::string sVeth = "vi" + std::to_string(k);
        const std::string sBridge = "br" + std::to_string(instrument.iSubnet);
        bool fOk = WaitReport(report[0], ReportNamespace, NamespaceWaitMs, sWhyNot);
        if (fOk) {
            RunQuiet({"/bin/ip", "link", "del", sVeth});
            fOk = RunQuiet({"/bin/ip", "link", "add", sVeth, "type", "veth", "peer", "name", "eth0", "netns",
                       std::to_string(pid)}) &&
                  RunQuiet({"/bin/ip", "link", "set", sVeth, "master", sBridge}) &&
                  RunQuiet({"/bin/ip", "link", "set", sVeth, "up"});
            if (!fOk) sWhyNot = "cannot add the veth pair " + sVeth + " (ip link add ... type veth)";
        }
        if (fOk) {
            Send(control[1], std::string(1, ControlLinked));
            fOk = WaitReport(report[0], ReportReady, ReadyWaitMs, sWhyNot);
        }
        if (!fOk) {
            Stop();
            return false;
        }
    }
    // Once every port has joined its bridge: a bridge takes the lowest address of its ports, so
    // an address learned before the last one joined may be stale.
    for (const uLanInstrument& instrument : instruments) {
        if (!Answers(instrument, sWhyNot)) {
            Stop();
            return false;
        }
    }
    return true;
}

void LanNetwork::Stop() {
    for (uChild& child : lChildren) {
        close(child.iControl);
        child.iControl = -1;
    }
    const auto deadline = Clock::now() + std::chrono::milliseconds(EndWaitMs);
    for (uChild& child : lChildren) {
        // The report pipe closes when the child has ended.
        pollfd p{child.iReport, POLLIN, 0};
        char buffer[256];
        for (;;) {
            const auto iLeft = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            if (iLeft <= 0 || poll(&p, 1, static_cast<int>(iLeft)) <= 0) {
                kill(child.iPid, SIGKILL);
                break;
            }
            if (read(child.iReport, buffer, sizeof buffer) <= 0) break;
        }
        int iStatus = 0;
        while (waitpid(child.iPid, &iStatus, 0) < 0 && errno == EINTR) {
        }
        close(child.iReport);
    }
    lChildren.clear();
}

} // namespace Sim
