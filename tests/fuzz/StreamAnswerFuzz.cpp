// Arbitrary bytes as what a raw TCP or serial instrument sends, arriving in pieces of sizes
// the input picks, read by the receive loop the two transports share: the end-of-answer rule
// (the end-of-message text, not inside a definite-length block) and the answer buffer. Byte 0
// picks the end-of-message text and whether the caller's buffer is larger than the
// instance's; byte 1 seeds the piece sizes; the rest is the stream, after which the far end
// closes the connection. The read must stop at the first piece that completes an answer (an
// image: or just behind its trailing end text), and hand back exactly the bytes sent up to there
// without their padding.
#include "transport/StreamTransfer.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

class uPieces : public StreamTransfer::uChannel {
  public:
    uPieces(const std::uint8_t* pData, std::size_t iSize, std::uint32_t iSeed)
        : pData(pData), iSize(iSize), iState(iSeed * 2654435761u + 1) {}
    bool IsOpen() const override { return true; }
    StreamTransfer::eWait WaitInput(StreamTransfer::Clock::time_point) override {
        return iPos < iSize ? StreamTransfer::eWait::Ready : StreamTransfer::eWait::Closed;
    }
    std::int64_t Read(std::uint8_t* pTarget, std::size_t iMax, std::int64_t&) override {
        if (iPos >= iSize) return StreamTransfer::ReadClosed;
        iState ^= iState << 13;
        iState ^= iState >> 17;
        iState ^= iState << 5;
        const std::size_t iPiece = std::min({iMax, iSize - iPos, std::size_t{1} + iState % 97});
        std::memcpy(pTarget, pData + iPos, iPiece);
        iPos += iPiece;
        lEnds.push_back(iPos);
        return static_cast<std::int64_t>(iPiece);
    }
    StreamTransfer::eWait WaitOutput(StreamTransfer::Clock::time_point) override {
        return StreamTransfer::eWait::Ready;
    }
    std::int64_t Write(const std::uint8_t*, std::size_t iCount, std::int64_t&) override {
        return static_cast<std::int64_t>(iCount);
    }
    std::vector<std::size_t> lEnds; // where each piece handed out ended

  private:
    const std::uint8_t* pData;
    std::size_t iSize;
    std::size_t iPos = 0;
    std::uint32_t iState;
};

const StreamTransfer::uNames cNames{"RawTcp", "SocketWrite", "SocketRead", "SocketReadEmpty",
                                     "Die Netzwerkverbindung"};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pInput, std::size_t iSize) {
    if (iSize < 2) return 0;
    static const char* const aEnds[] = {"\n", "\r\n", "", "\x03"};
    const std::string sEnd = aEnds[pInput[0] & 3];
    const std::uint8_t* pStream = pInput + 2;
    const std::size_t iStream = iSize - 2;
    StreamTransfer::uStreamInstance stream;
    stream.sEndOfMessage = sEnd;
    uPieces channel(pStream, iStream, pInput[1]);
    int iInstance = 0;
    const StreamTransfer::uTransfer transfer{stream, channel, cNames, &iInstance, 1000, 1000};
    DataBuffer answer;
    if (pInput[0] & 4) answer.reserve(64); // lends its memory to the read
    std::string sError;
    // The NULs ahead of the answer pad it: the answer is read from behind them.
    const std::size_t iAhead = Instrument::PaddingAhead(pStream, iStream, sEnd);
    const std::uint8_t* pAnswer = pStream + iAhead;
    if (!StreamTransfer::ReadAnswer(transfer, answer, 0, sError)) {
        if (sError.empty() || answer.size() != 0) __builtin_trap();
        // Closed before an answer was complete: no earlier piece completed one either.
        for (std::size_t iEnd : channel.lEnds)
            if (iEnd > iAhead && StreamTransfer::AnswerComplete(pAnswer, iEnd - iAhead, sEnd))
                __builtin_trap();
        StreamTransfer::FreeMemory(stream);
        return 0;
    }
    // The answer is the stream up to the end of the message that completed it, in the first
    // piece that did, without its padding; an image that ended by its own structure keeps every
    // byte and takes at most the length of the end-of-message text more (its trailing end text,
    // read a moment later).
    std::vector<std::uint8_t> expected;
    bool fImage = false;
    bool fFound = false;
    for (std::size_t iEnd : channel.lEnds) {
        if (iEnd <= iAhead) continue;
        const Instrument::uAnswerScan scan =
            StreamTransfer::ScanStream(pAnswer, iEnd - iAhead, sEnd, Instrument::eBlockUnit::Bytes, 0, {});
        if (!(fFound = scan.iEnd > 0)) continue;
        expected.assign(pAnswer, pAnswer + scan.iAnswerEnd);
        expected.resize(
            Instrument::DropPadding(expected.data(), expected.size(), sEnd, Instrument::eBlockUnit::Bytes));
        fImage = Instrument::BareImage(pAnswer, scan.iEnd) == Instrument::eImage::Complete;
        break;
    }
    const std::size_t iAnswer = answer.size();
    if (!fFound || iAnswer < expected.size() || iAnswer > expected.size() + (fImage ? sEnd.size() : 0))
        __builtin_trap();
    if (std::memcmp(answer.data(), expected.data(), expected.size()) != 0) __builtin_trap();
    StreamTransfer::FreeMemory(stream);
    return 0;
}
