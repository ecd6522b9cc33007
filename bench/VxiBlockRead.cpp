// Reads a 64 MiB "#9" block from the rpcgen VXI-11 instrument over loopback and, in the same
// run, the same number of bytes from a plain TCP sender with plain socket reads; prints both
// rates and their ratio (VXI-11 / plain). Best of several rounds each.
#include "sim/Loopback.h"
#include "sim/Vxi11Server.h"
#include "transport/Lxi.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::size_t BlockBytes = std::size_t{64} << 20;
constexpr std::size_t AnswerBytes = BlockBytes + 11 + 1; // "#9" + 9 digits, the data, LF
constexpr int Rounds = 5;

double MegabytesPerSecond(std::size_t iBytes, Clock::duration d) {
    return static_cast<double>(iBytes) / 1e6 / std::chrono::duration<double>(d).count();
}

// One VXI-11 exchange as the instrument core runs it; the time of the whole exchange.
bool VxiRound(Lxi::uLxiInstance& instance, DataBuffer& answer, Clock::duration& took) {
    std::string sError;
    std::size_t sent = 0;
    const auto start = Clock::now();
    const bool ok = Lxi::PrepareData(instance, "SIM:BLOCK? " + std::to_string(BlockBytes) + ",9", nullptr, 0, sError) &&
                    Lxi::CreateLink(instance, sError) && Lxi::SendData(instance, sent, -65535, sError) &&
                    Lxi::RequestData(instance, answer, -65535, sError) && Lxi::DestroyLink(instance, sError);
    took = Clock::now() - start;
    if (!ok || answer.size() != AnswerBytes || answer[0] != '#' || answer[1] != '9') {
        std::fprintf(stderr, "VXI-11 read failed: %s (%zu bytes)\n", sError.c_str(), answer.size());
        return false;
    }
    return true;
}

// A plain TCP sender: for every request byte it sends AnswerBytes bytes.
struct PlainSender {
    Sim::LoopbackListener mListener;
    std::thread mThread;
    std::vector<std::uint8_t> mData = std::vector<std::uint8_t>(AnswerBytes, 0x5A);

    std::atomic<int> iConnection{-1};

    PlainSender() {
        mThread = std::thread([this] {
            const int fd = accept(mListener.Fd(), nullptr, nullptr);
            iConnection = fd;
            char request;
            while (fd >= 0 && recv(fd, &request, 1, MSG_WAITALL) == 1) {
                std::size_t off = 0;
                while (off < mData.size()) {
                    const ssize_t n = send(fd, mData.data() + off, mData.size() - off, MSG_NOSIGNAL);
                    if (n <= 0) break;
                    off += static_cast<std::size_t>(n);
                }
            }
            if (fd >= 0) close(fd);
        });
    }
    ~PlainSender() {
        if (iConnection >= 0) shutdown(iConnection, SHUT_RDWR);
        mListener.Close();
        mThread.join();
    }
};

bool PlainRound(int fd, std::vector<std::uint8_t>& buffer, Clock::duration& took) {
    const auto start = Clock::now();
    const char request = '?';
    if (send(fd, &request, 1, MSG_NOSIGNAL) != 1) return false;
    std::size_t got = 0;
    while (got < AnswerBytes) {
        const ssize_t n = recv(fd, buffer.data() + got, AnswerBytes - got, 0);
        if (n <= 0) return false;
        got += static_cast<std::size_t>(n);
    }
    took = Clock::now() - start;
    return true;
}

} // namespace

int main() {
    std::string sError;
    Sim::Vxi11Server server;
    if (!server.Start({}, sError)) {
        std::fprintf(stderr, "%s\n", sError.c_str());
        return 1;
    }
    auto instance = Lxi::NewInstance(sError);
    uNetworkSettings settings{0, "127.0.0.1", "127.0.0.1", server.Port(), 10000};
    if (!Lxi::SetInstrument(*instance, settings, sError) || !Lxi::Connect(*instance, sError)) {
        std::fprintf(stderr, "%s\n", sError.c_str());
        return 1;
    }
    Lxi::SetRequestSize(*instance, 0); // 2 MiB per device_read

    PlainSender sender;
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<std::uint16_t>(sender.mListener.Port()));
    if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) return 1;
    struct CloseAtEnd {
        int fd;
        ~CloseAtEnd() { close(fd); }
    } closeAtEnd{fd};
    std::vector<std::uint8_t> buffer(AnswerBytes);
    DataBuffer answer; // kept across rounds, as the plain read keeps its buffer

    Clock::duration bestVxi = Clock::duration::max(), bestPlain = Clock::duration::max();
    for (int round = 0; round < Rounds; ++round) {
        Clock::duration took{};
        if (!VxiRound(*instance, answer, took)) return 1;
        bestVxi = std::min(bestVxi, took);
        if (!PlainRound(fd, buffer, took)) return 1;
        bestPlain = std::min(bestPlain, took);
    }
    const double vxi = MegabytesPerSecond(AnswerBytes, bestVxi);
    const double plain = MegabytesPerSecond(AnswerBytes, bestPlain);
    std::printf("64 MiB \"#9\" block over loopback, best of %d:\n", Rounds);
    std::printf("  VXI-11 (Lxi::RequestData, 2 MiB device_read): %9.1f MB/s\n", vxi);
    std::printf("  plain socket read                            : %9.1f MB/s\n", plain);
    std::printf("  ratio VXI-11 / plain                         : %9.2f\n", vxi / plain);
    std::string sIgnored;
    Lxi::DeleteInstance(*instance, sIgnored);
    return 0;
}
