// Reading a 64 MiB "#9" definite-length block over raw TCP on loopback: the raw TCP transport
// (PrepareData, SendData, RequestData) beside a plain blocking socket read of the same bytes
// from the same sender, in the same run. Prints both rates and their ratio (transport / plain).
//
//   bench_RawTcpBlockBench [rounds]
#include "transport/RawTcp.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
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
constexpr std::size_t BlockSize = 64u << 20;

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
        iListen = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof addr;
        if (bind(iListen, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(iListen, 4) != 0) {
            std::perror("listen");
            std::exit(1);
        }
        getsockname(iListen, reinterpret_cast<sockaddr*>(&addr), &len);
        iPort = ntohs(addr.sin_port);
        mThread = std::thread([this] { Serve(); });
    }
    ~Sender() {
        fStop = true;
        shutdown(iListen, SHUT_RDWR);
        mThread.join();
        for (std::thread& t : mConnections) t.join();
        close(iListen);
    }
    int Port() const { return iPort; }

  private:
    void Serve() {
        while (!fStop) {
            const int fd = accept(iListen, nullptr, nullptr);
            if (fd < 0) return;
            mConnections.emplace_back([this, fd] { Answer(fd); });
        }
    }

    void Answer(int fd) {
        {
            char c = 0;
            while (!fStop) {
                const ssize_t n = recv(fd, &c, 1, 0);
                if (n <= 0) break;
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
    }

    std::vector<std::thread> mConnections;
    const std::vector<std::uint8_t>& mAnswer;
    int iListen = -1;
    int iPort = 0;
    std::atomic<bool> fStop{false};
    std::thread mThread;
};

double Seconds(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

// The plain read: one blocking recv loop into a buffer of the known size. Like the transport,
// which hands each answer over in a buffer of its own, it reads into a new buffer every time
// (uninitialised: its pages are committed by the reads); with fReuse, into the same buffer
// every time, whose pages were committed once.
double PlainRead(int fd, std::vector<std::uint8_t>& kept, bool fReuse) {
    const auto start = Clock::now();
    std::unique_ptr<std::uint8_t[]> fresh(fReuse ? nullptr : new std::uint8_t[kept.size()]);
    std::uint8_t* p = fReuse ? kept.data() : fresh.get();
    if (send(fd, "BLOCK?\n", 7, MSG_NOSIGNAL) != 7) std::exit(1);
    std::size_t got = 0;
    while (got < kept.size()) {
        const ssize_t n = recv(fd, p + got, kept.size() - got, 0);
        if (n <= 0) std::exit(1);
        got += static_cast<std::size_t>(n);
    }
    if (!fReuse) std::memcpy(kept.data(), p, 64); // the bytes are used
    return Seconds(start);
}

double TransportRead(RawTcp::uRawTcpInstance& instance, std::size_t iExpected) {
    const auto start = Clock::now();
    std::string sError;
    std::size_t iSent = 0;
    DataBuffer answer;
    if (!RawTcp::PrepareData(instance, "BLOCK?", nullptr, 0, sError) ||
        !RawTcp::SendData(instance, iSent, -65535, sError) || !RawTcp::RequestData(instance, answer, -65535, sError) ||
        answer.size() != iExpected) {
        std::fprintf(stderr, "transport: %s (%zu bytes)\n", sError.c_str(), answer.size());
        std::exit(1);
    }
    return Seconds(start);
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
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
    uNetworkSettings settings;
    settings.sAdapterIp = "127.0.0.1";
    settings.sInstrumentIp = "127.0.0.1";
    settings.iPort = sender.Port();
    settings.iTimeout = 10000;
    if (!instance || !RawTcp::SetInstrument(*instance, settings, sError) || !RawTcp::Connect(*instance, sError)) {
        std::fprintf(stderr, "%s\n", sError.c_str());
        return 1;
    }
    RawTcp::SetEndOfMessage(*instance, "\n");

    // One round of each to warm up, then alternating rounds.
    PlainRead(fd, buffer, true);
    TransportRead(*instance, answer.size());
    std::vector<double> plain, reused, transport;
    for (int i = 0; i < iRounds; ++i) {
        plain.push_back(PlainRead(fd, buffer, false));
        transport.push_back(TransportRead(*instance, answer.size()));
        reused.push_back(PlainRead(fd, buffer, true));
    }
    if (std::memcmp(buffer.data(), answer.data(), answer.size()) != 0) return 1;
    close(fd);
    RawTcp::DeleteInstance(*instance, sError);

    const double mib = static_cast<double>(answer.size()) / (1 << 20);
    const double p = Median(plain), r = Median(reused), t = Median(transport);
    std::printf("64 MiB #9 block over loopback, median of %d rounds\n", iRounds);
    std::printf("plain socket read, new buffer  : %8.1f ms  %8.1f MiB/s\n", p * 1e3, mib / p);
    std::printf("plain socket read, same buffer : %8.1f ms  %8.1f MiB/s\n", r * 1e3, mib / r);
    std::printf("RawTcp RequestData             : %8.1f ms  %8.1f MiB/s\n", t * 1e3, mib / t);
    std::printf("ratio RawTcp / plain (new buffer) : %.2f\n", p / t);
    std::printf("ratio RawTcp / plain (same buffer): %.2f\n", r / t);
    return 0;
}
