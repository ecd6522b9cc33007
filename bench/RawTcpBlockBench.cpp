// Reading a 64 MiB "#9" definite-length block over raw TCP on loopback: the raw TCP transport
// (PrepareData, SendData, RequestData) beside a plain blocking socket read of the same bytes
// from the same sender, in the same run. Prints the rates and their ratios (transport / plain),
// best of several rounds each:
//  - one answer buffer kept across rounds by both (the transport's RequestData reuses the
//    caller's buffer, the plain read reads into the same buffer again);
//  - a new buffer every round for both (its pages are committed by the reads).
//
//   bench_RawTcpBlockBench [rounds]
#include "sim/Loopback.h"
#include "transport/RawTcp.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::size_t BlockSize = std::size_t{64} << 20;

// The answer: "#9" + nine digits + the data + LF.
std::vector<std::uint8_t> MakeAnswer() {
    char header[16];
    std::snprintf(header, sizeof header, "#9%09zu", BlockSize);
    std::vector<std::uint8_t> answer(header, header + 11);
    answer.resize(11 + BlockSize + 1);
    for (std::size_t i = 0; i < BlockSize; ++i) answer[11 + i] = static_cast<std::uint8_t>(i * 7 + i / 251);
    answer.back() = '\n';
    return answer;
}

// Sends the whole answer for every line it receives, on every connection.
class Sender {
  public:
    explicit Sender(const std::vector<std::uint8_t>& answer) : mAnswer(answer) {
        mThread = std::thread([this] {
            for (;;) {
                const int fd = accept(mListener.Fd(), nullptr, nullptr);
                if (fd < 0) return;
                mConnections.emplace_back([this, fd] { Answer(fd); });
            }
        });
    }
    ~Sender() {
        mListener.Close();
        mThread.join();
        for (std::thread& t : mConnections) t.join();
    }
    int Port() const { return mListener.Port(); }

  private:
    void Answer(int fd) {
        char c = 0;
        while (recv(fd, &c, 1, 0) == 1) {
            if (c != '\n') continue;
            std::size_t done = 0;
            while (done < mAnswer.size()) {
                const ssize_t m = send(fd, mAnswer.data() + done, mAnswer.size() - done, MSG_NOSIGNAL);
                if (m <= 0) break;
                done += static_cast<std::size_t>(m);
            }
        }
        close(fd);
    }

    const std::vector<std::uint8_t>& mAnswer;
    Sim::LoopbackListener mListener;
    std::thread mThread;
    std::vector<std::thread> mConnections;
};

double Seconds(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

// The plain read: one blocking recv loop into a buffer of the known size (a new one when
// pFresh is true, uninitialised).
double PlainRead(int fd, std::vector<std::uint8_t>& kept, bool fFresh) {
    const auto start = Clock::now();
    std::unique_ptr<std::uint8_t[]> fresh(fFresh ? new std::uint8_t[kept.size()] : nullptr);
    std::uint8_t* p = fFresh ? fresh.get() : kept.data();
    if (send(fd, "BLOCK?\n", 7, MSG_NOSIGNAL) != 7) std::exit(1);
    std::size_t got = 0;
    while (got < kept.size()) {
        const ssize_t n = recv(fd, p + got, kept.size() - got, 0);
        if (n <= 0) std::exit(1);
        got += static_cast<std::size_t>(n);
    }
    const double seconds = Seconds(start);
    if (fFresh) std::memcpy(kept.data(), p, 16); // the bytes are used
    return seconds;
}

double TransportRead(RawTcp::uRawTcpInstance& instance, DataBuffer& answer, std::size_t iExpected) {
    const auto start = Clock::now();
    std::string sError;
    std::size_t iSent = 0;
    if (!RawTcp::PrepareData(instance, "BLOCK?", nullptr, 0, sError) ||
        !RawTcp::SendData(instance, iSent, -65535, sError) || !RawTcp::RequestData(instance, answer, -65535, sError) ||
        answer.size() != iExpected) {
        std::fprintf(stderr, "transport: %s (%zu bytes)\n", sError.c_str(), answer.size());
        std::exit(1);
    }
    return Seconds(start);
}

} // namespace

int main(int argc, char** argv) {
    const int iRounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
    const std::vector<std::uint8_t> answer = MakeAnswer();
    Sender sender(answer);

    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<std::uint16_t>(sender.Port()));
    const int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) return 1;
    std::vector<std::uint8_t> buffer(answer.size());

    std::string sError;
    auto instance = RawTcp::NewInstance(sError);
    const uNetworkSettings settings{0, "127.0.0.1", "127.0.0.1", sender.Port(), 10000};
    if (!instance || !RawTcp::SetInstrument(*instance, settings, sError) || !RawTcp::Connect(*instance, sError)) {
        std::fprintf(stderr, "%s\n", sError.c_str());
        return 1;
    }
    RawTcp::SetEndOfMessage(*instance, "\n");

    DataBuffer kept; // kept across rounds, as the plain read keeps its buffer
    PlainRead(fd, buffer, false);
    TransportRead(*instance, kept, answer.size());
    double plainKept = 1e9, plainFresh = 1e9, transportKept = 1e9, transportFresh = 1e9;
    // The two comparisons one after the other, each alternating its two reads.
    for (int i = 0; i < iRounds; ++i) {
        plainKept = std::min(plainKept, PlainRead(fd, buffer, false));
        transportKept = std::min(transportKept, TransportRead(*instance, kept, answer.size()));
    }
    for (int i = 0; i < iRounds; ++i) {
        plainFresh = std::min(plainFresh, PlainRead(fd, buffer, true));
        DataBuffer fresh;
        transportFresh = std::min(transportFresh, TransportRead(*instance, fresh, answer.size()));
    }
    const bool fSame = std::memcmp(buffer.data(), answer.data(), answer.size()) == 0 &&
                       std::memcmp(kept.data(), answer.data(), answer.size()) == 0;
    close(fd);
    RawTcp::DeleteInstance(*instance, sError);
    if (!fSame) return 1;

    const double mib = static_cast<double>(answer.size()) / (1 << 20);
    std::printf("64 MiB \"#9\" block over loopback, best of %d rounds\n", iRounds);
    std::printf("  buffer kept: plain socket read %8.1f MiB/s, RawTcp RequestData %8.1f MiB/s, ratio %.2f\n",
                mib / plainKept, mib / transportKept, plainKept / transportKept);
    std::printf("  new buffer : plain socket read %8.1f MiB/s, RawTcp RequestData %8.1f MiB/s, ratio %.2f\n",
                mib / plainFresh, mib / transportFresh, plainFresh / transportFresh);
    return 0;
}
