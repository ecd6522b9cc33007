#include "sim/StreamPeer.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

namespace Sim {
namespace {

constexpr std::size_t SendChunk = 1 << 20; // answer bytes taken from the device at a time
constexpr int GateLimitMs = 10000;
constexpr int GateSettleMs = 5; // the gate must agree this many milliseconds in a row
constexpr int TricklePauseMs = 3; // pause after each piece of a trickled answer

} // namespace

StreamPeer::StreamPeer(std::shared_ptr<ScpiDevice> p) : pDevice(std::move(p)) {}

StreamPeer::~StreamPeer() { StopLoop(); }

void StreamPeer::AddFault(const uStreamFault& fault) {
    std::lock_guard lock(mMutex);
    mFaults.push_back(fault);
}

bool StreamPeer::TakeFault(uStreamFault& fault) {
    std::lock_guard lock(mMutex);
    bool fHit = false;
    for (auto it = mFaults.begin(); it != mFaults.end();) {
        if (!fHit && it->iSkip == 0) {
            fault = *it;
            it = mFaults.erase(it);
            fHit = true;
            continue;
        }
        if (it->iSkip > 0) --it->iSkip;
        ++it;
    }
    return fHit;
}

bool StreamPeer::StartLoop(int iListen, int iData, std::string& sError) {
    StopLoop();
    iWakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (iWakeFd < 0) {
        sError = std::string("StreamPeer: eventfd: ") + std::strerror(errno);
        if (iListen >= 0) close(iListen);
        if (iData >= 0) close(iData);
        return false;
    }
    iListenFd = iListen;
    iDataFd = iData;
    if (iDataFd >= 0) fcntl(iDataFd, F_SETFL, fcntl(iDataFd, F_GETFL) | O_NONBLOCK);
    fStop = false;
    mThread = std::thread([this] { Loop(); });
    return true;
}

void StreamPeer::StopLoop() {
    if (mThread.joinable()) {
        fStop = true;
        const std::uint64_t one = 1;
        if (write(iWakeFd, &one, sizeof one) < 0) {
            // The counter cannot overflow here; the stop flag is set in any case.
        }
        mThread.join();
    }
    CloseData();
    if (iListenFd >= 0) close(iListenFd);
    if (iWakeFd >= 0) close(iWakeFd);
    iListenFd = iWakeFd = -1;
}

void StreamPeer::CloseData() {
    if (iDataFd >= 0) close(iDataFd);
    iDataFd = -1;
}

bool StreamPeer::StopWithin(int iMs) {
    pollfd p{iWakeFd, POLLIN, 0};
    while (poll(&p, 1, iMs) < 0 && errno == EINTR) {
    }
    return fStop;
}

void StreamPeer::Loop() {
    std::vector<std::uint8_t> buffer(0x10000);
    while (!fStop) {
        pollfd p[3];
        nfds_t n = 0;
        p[n++] = {iWakeFd, POLLIN, 0};
        const nfds_t listenAt = iListenFd >= 0 ? n : 99;
        if (iListenFd >= 0) p[n++] = {iListenFd, POLLIN, 0};
        const nfds_t dataAt = iDataFd >= 0 ? n : 99;
        if (iDataFd >= 0) p[n++] = {iDataFd, POLLIN, 0};
        if (poll(p, n, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (fStop) return;
        if (listenAt != 99 && (p[listenAt].revents & POLLIN)) {
            const int fd = accept4(iListenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
            if (fd >= 0) {
                const int one = 1;
                setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
                CloseData();
                iDataFd = fd;
                ++iAccepted;
                pDevice->DropPartialCommand(); // a command cut off with its connection is not continued
                continue; // the old stream's events are stale
            }
        }
        if (dataAt != 99 && p[dataAt].revents != 0) {
            const ssize_t got = read(iDataFd, buffer.data(), buffer.size());
            if (got > 0) {
                iBytesReceived += static_cast<std::size_t>(got);
                std::lock_guard door(pDevice->DoorMutex());
                pDevice->Write(buffer.data(), static_cast<std::size_t>(got), false);
                ServeAnswers();
            } else if (got == 0 || (errno != EAGAIN && errno != EINTR)) {
                CloseData(); // the far side closed
                ++iClosedByPeer;
            }
        }
    }
}

void StreamPeer::ServeAnswers() {
    while (iDataFd >= 0 && !fStop) {
        const std::size_t iSize = pDevice->AnswerSize();
        if (iSize == 0) return;
        uStreamFault fault;
        if (!TakeFault(fault)) {
            if (iLateMs > 0 && StopWithin(iLateMs)) return;
            // Answers sent as messages of their own come with a pause between them.
            const std::size_t iMessage = pDevice->MessageSize();
            if (iMessage < iSize && pDevice->SeparatePause() > 0) {
                if (!SendFromDevice(iMessage) || StopWithin(pDevice->SeparatePause())) return;
                continue;
            }
            if (SendFromDevice(iSize)) ++iAnswersSent;
            continue;
        }
        switch (fault.eKind) {
        case eStreamFault::Delay:
            if (StopWithin(fault.iValue)) return;
            if (SendFromDevice(iSize)) ++iAnswersSent;
            break;
        case eStreamFault::Close:
            pDevice->Read(iSize);
            CloseData();
            return;
        case eStreamFault::NoReply:
            pDevice->Read(iSize);
            break;
        case eStreamFault::Split: {
            const std::size_t iFirst = std::min(iSize, static_cast<std::size_t>(std::max(fault.iValue, 0)));
            if (!SendFromDevice(iFirst)) return;
            // Until the first part has left our queue and the receiver has taken it.
            int iAgreed = 0;
            for (int ms = 0; ms < GateLimitMs && iAgreed < GateSettleMs; ++ms) {
                int iQueued = 0;
                const bool fSent = ioctl(iDataFd, TIOCOUTQ, &iQueued) != 0 || iQueued == 0;
                iAgreed = fSent && (!fault.fnGate || fault.fnGate()) ? iAgreed + 1 : 0;
                if (StopWithin(1)) return;
            }
            if (SendFromDevice(iSize - iFirst)) ++iAnswersSent;
            break;
        }
        case eStreamFault::Hold: {
            const std::size_t iFirst = std::min(iSize, static_cast<std::size_t>(std::max(fault.iValue, 0)));
            if (!SendFromDevice(iFirst)) return;
            while (fault.fnGate && !fault.fnGate())
                if (StopWithin(1)) return;
            if (SendFromDevice(iSize - iFirst)) ++iAnswersSent;
            break;
        }
        case eStreamFault::Trickle: {
            const std::size_t iPiece = static_cast<std::size_t>(std::max(fault.iValue, 1));
            std::size_t iLeft = iSize;
            while (iLeft > 0) {
                const std::size_t n = std::min(iLeft, iPiece);
                if (!SendFromDevice(n)) return;
                iLeft -= n;
                while (iLeft > 0 && fault.fnGate && !fault.fnGate())
                    if (StopWithin(1)) return;
                if (!fault.fnGate && StopWithin(TricklePauseMs)) return;
            }
            ++iAnswersSent;
            break;
        }
        }
    }
}

bool StreamPeer::SendFromDevice(std::size_t iCount) {
    // The device hands out one message at a time; messages sent together leave in one write.
    std::vector<std::uint8_t> out;
    while (iCount > 0) {
        const std::vector<std::uint8_t> chunk = pDevice->Read(std::min(iCount, SendChunk - out.size()));
        if (chunk.empty()) return false;
        iCount -= chunk.size();
        out.insert(out.end(), chunk.begin(), chunk.end());
        if (iCount > 0 && out.size() < SendChunk) continue;
        if (!SendAll(out.data(), out.size())) return false;
        out.clear();
    }
    return true;
}

bool StreamPeer::SendAll(const std::uint8_t* pData, std::size_t iSize) {
    while (iSize > 0) {
        if (iDataFd < 0 || fStop) return false;
        // A connection of the listener is a socket (no SIGPIPE), else the stream is a terminal.
        const ssize_t m = iListenFd >= 0 ? send(iDataFd, pData, iSize, MSG_NOSIGNAL) : write(iDataFd, pData, iSize);
        if (m > 0) {
            pData += m;
            iSize -= static_cast<std::size_t>(m);
            continue;
        }
        if (m < 0 && errno != EAGAIN && errno != EINTR) {
            CloseData();
            return false;
        }
        pollfd p[2] = {{iWakeFd, POLLIN, 0}, {iDataFd, POLLOUT, 0}};
        if (poll(p, 2, -1) < 0 && errno != EINTR) return false;
    }
    return true;
}

} // namespace Sim
