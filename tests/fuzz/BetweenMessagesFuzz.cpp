// What the line owes between two messages, driven by arbitrary input: a run of exchanges over one
// raw TCP or serial channel (written without reading, read, aborted) while the instrument's bytes
// arrive in pieces of sizes the input picks, some of them late, under every kind of end text (an
// empty one and those of several bytes included). Byte 0 picks the first end text and whether the
// channel can be renewed, byte 1 seeds the piece sizes; then each exchange is a control byte (the
// message, reading or not, aborts before its write or read, its time-out) and a length byte
// (its high bit: the next end text from this exchange on, as a script's "set termchar" changes it)
// followed by that many bytes the instrument sends behind the message.
//
// Every loop over bytes moves on at every turn: the channel counts the turns the loops take, and an
// exchange may take no more than a few per piece that came plus its waits (each at most a few ms
// here); the whole run may cost no more processor time than a small bound per byte. A loop that
// turns without reading, or whose work grows faster than the bytes, fails here rather than freeze
// an instrument's worker.
#include "transport/AbortRequests.h"
#include "transport/StreamTransfer.h"

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <deque>
#include <string>
#include <thread>
#include <vector>

namespace {

class uScripted : public StreamTransfer::uChannel {
  public:
    uScripted(std::uint32_t iSeed, bool fRenews) : iState(iSeed * 2654435761u + 1), fRenews(fRenews) {}

    // Bytes the instrument sends from now on.
    void Send(const std::uint8_t* pData, std::size_t iSize) { lPending.insert(lPending.end(), pData, pData + iSize); }

    bool IsOpen() const override { return true; }
    StreamTransfer::eWait WaitInput(StreamTransfer::Clock::time_point deadline) override {
        ++iTurns;
        if (!lPending.empty()) return StreamTransfer::eWait::Ready;
        std::this_thread::sleep_until(std::min(deadline, StreamTransfer::Clock::now() + std::chrono::milliseconds(2)));
        return StreamTransfer::eWait::Timeout;
    }
    std::int64_t Read(std::uint8_t* pTarget, std::size_t iMax, std::int64_t&) override {
        ++iTurns;
        if (lPending.empty()) return StreamTransfer::ReadNothing;
        // A piece is late now and then: it comes at the next read, never later.
        if (!fHeld && Next() % 5 == 0) {
            fHeld = true;
            return StreamTransfer::ReadNothing;
        }
        fHeld = false;
        // Mostly short pieces: what a read leaves behind its answer is read by the next write.
        const std::size_t iLongest = Next() % 4 == 0 ? 61 : 7;
        const std::size_t iPiece = std::min({iMax, lPending.size(), std::size_t{1} + Next() % iLongest});
        std::copy_n(lPending.begin(), iPiece, pTarget);
        lPending.erase(lPending.begin(), lPending.begin() + static_cast<std::ptrdiff_t>(iPiece));
        ++iPieces;
        return static_cast<std::int64_t>(iPiece);
    }
    StreamTransfer::eWait WaitOutput(StreamTransfer::Clock::time_point) override {
        ++iTurns;
        return StreamTransfer::eWait::Ready;
    }
    std::int64_t Write(const std::uint8_t*, std::size_t iCount, std::int64_t&) override {
        ++iTurns;
        return static_cast<std::int64_t>(std::min<std::size_t>(iCount, 1 + Next() % 4096));
    }
    bool Renews() const override { return fRenews; }
    bool Renew(std::string& sError) override {
        sError.clear();
        lPending.clear(); // nothing sent on the old connection arrives on the new one
        return true;
    }

    std::size_t iTurns = 0;  // calls the loops made
    std::size_t iPieces = 0; // pieces handed out

  private:
    std::uint32_t Next() {
        iState ^= iState << 13;
        iState ^= iState >> 17;
        iState ^= iState << 5;
        return iState;
    }

    std::deque<std::uint8_t> lPending;
    std::uint32_t iState;
    bool fRenews;
    bool fHeld = false;
};

const StreamTransfer::uNames cNames{"RawTcp", "SocketWrite", "SocketRead", "SocketReadEmpty",
                                     "Die Netzwerkverbindung"};

double ThreadCpuMs() {
    rusage u{};
    getrusage(RUSAGE_THREAD, &u);
    return (static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e6 +
            static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec)) /
           1e3;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pInput, std::size_t iSize) {
    if (iSize < 2) return 0;
    static const char* const aEnds[] = {"\n", "\r\n", "", "\n\r", "\x03", "END", "\n", ""};
    static const char* const aCommands[] = {"*IDN?", "QA?;QB?", ":WAV:DATA?", "CMD 1", "QA?;QN?;QC?", ":WAV:PRE?",
                                            "#15ab?;c", ""};
    static const std::int64_t aTimeouts[] = {1, 2, 3, 5};
    const double fCpuStart = ThreadCpuMs();
    StreamTransfer::uStreamInstance stream;
    std::size_t iEnd = pInput[0] & 7;
    uScripted channel(pInput[1], (pInput[0] & 8) != 0);
    int iInstance = 0;
    Instrument::TakeAbortRequest(&iInstance); // none left from an input before
    std::size_t iAt = 2;
    while (iAt + 2 <= iSize) {
        const std::uint8_t iControl = pInput[iAt];
        if (pInput[iAt + 1] & 0x80) ++iEnd;
        stream.sEndOfMessage = aEnds[iEnd & 7];
        const std::size_t iLength = std::min<std::size_t>(pInput[iAt + 1] & 0x7F, iSize - iAt - 2);
        const std::uint8_t* pSent = pInput + iAt + 2;
        iAt += 2 + iLength;
        const std::int64_t iTimeout = aTimeouts[(iControl >> 6) & 3];
        const StreamTransfer::uTransfer transfer{stream, channel, cNames, &iInstance, iTimeout, iTimeout};
        const std::size_t iTurns = channel.iTurns;
        const std::size_t iPieces = channel.iPieces;
        const std::string sCommand = aCommands[iControl & 7];
        stream.iAnswers = Instrument::QueryCount(sCommand);
        // Blocks of two line ends and of one, by the query's place.
        stream.blockEnds = Instrument::uBlockEnds(std::vector<std::size_t>{2, 1, 2});
        std::string sError;
        if (StreamTransfer::Prepare(stream, "RawTcp", sCommand, nullptr, 0, sError) && stream.iSendSize > 0) {
            if (iControl & 8) Instrument::RequestAbort(&iInstance);
            std::size_t iSent = 0;
            const bool fSent = StreamTransfer::Write(transfer, 1 + iLength * 37, iSent, 0, sError);
            if (!fSent && sError.empty()) __builtin_trap(); // a failure always says why
            channel.Send(pSent, iLength);
            if (fSent && (iControl & 16)) {
                if (iControl & 32) Instrument::RequestAbort(&iInstance);
                DataBuffer answer;
                const bool fRead = StreamTransfer::ReadAnswer(transfer, answer, 0, sError);
                if (!fRead && (sError.empty() || !answer.empty())) __builtin_trap();
            }
        } else {
            channel.Send(pSent, iLength);
        }
        Instrument::TakeAbortRequest(&iInstance);
        // A few turns per piece, and the waits of a write and a read: each wait of at most the
        // time-out's few milliseconds takes a turn per millisecond at most.
        const std::size_t iBound = 4 * (channel.iPieces - iPieces) + 16 * static_cast<std::size_t>(iTimeout) + 64;
        if (channel.iTurns - iTurns > iBound) __builtin_trap();
    }
    StreamTransfer::FreeMemory(stream);
    // The processor time a byte may cost, whatever the loops do with it (waits sleep).
    if (ThreadCpuMs() - fCpuStart > 250.0 + 0.05 * static_cast<double>(iSize)) __builtin_trap();
    return 0;
}
