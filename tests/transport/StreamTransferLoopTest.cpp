// The read loop of the stream transports against a scripted channel: how it waits between
// receptions and how it sizes the answer buffer.
#include "transport/StreamTransfer.h"

#include "common/DataBuffer.h"
#include "transport/AbortRequests.h"
#include "transport/BlockHeader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <deque>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using StreamTransfer::eWait;

// Hands out its pieces one per read. Before each piece the channel has nothing (the sender is
// slower than the reader) and says so, until a wait says that input waits. A channel that
// lies says input waits although none ever comes.
class ScriptedChannel final : public StreamTransfer::uChannel {
  public:
    std::deque<std::string> pieces;
    bool fLies = false;
    bool fFlood = false; // every read fills what it offers
    int iWaits = 0;
    std::vector<std::size_t> readSizes; // room offered to each read that brought data

    bool IsOpen() const override { return true; }
    eWait WaitInput(Clock::time_point deadline) override {
        ++iWaits;
        if (fLies || !pieces.empty()) {
            fReady = !fLies;
            return eWait::Ready;
        }
        std::this_thread::sleep_until(deadline);
        return eWait::Timeout;
    }
    std::int64_t Read(std::uint8_t* pData, std::size_t iMax, std::int64_t&) override {
        if (fFlood) {
            std::memset(pData, 'x', iMax);
            return static_cast<std::int64_t>(iMax);
        }
        if (!fReady || pieces.empty()) return StreamTransfer::ReadNothing;
        fReady = false;
        std::string& s = pieces.front();
        const std::size_t n = std::min(iMax, s.size());
        std::memcpy(pData, s.data(), n);
        readSizes.push_back(iMax);
        s.erase(0, n);
        if (s.empty()) pieces.pop_front();
        return static_cast<std::int64_t>(n);
    }
    eWait WaitOutput(Clock::time_point) override { return eWait::Ready; }
    std::int64_t Write(const std::uint8_t*, std::size_t iSize, std::int64_t&) override {
        return static_cast<std::int64_t>(iSize);
    }

  private:
    bool fReady = false;
};

const StreamTransfer::uNames Names{"Fake", "FakeWrite", "FakeRead", "FakeDrain", "Die Verbindung"};

class StreamTransferLoopTest : public ::testing::Test {
  protected:
    StreamTransfer::uStreamInstance stream;
    ScriptedChannel channel;
    StreamTransfer::uTransfer Transfer(std::int64_t iTimeoutMs) { return {stream, channel, Names, &stream, iTimeoutMs, iTimeoutMs}; }
    void SetUp() override { stream.sEndOfMessage = "\n"; }
};

std::string Block(std::size_t n) {
    std::string s;
    Instrument::CreateBlockHeader(n, s);
    for (std::size_t i = 0; i < n; ++i) s.push_back(static_cast<char>('a' + i % 26));
    return s + "\n";
}

// An answer whose pieces each come a moment after the reader asked: every wait was right, so
// the reader waits on the channel again at once. A pause after each (1 ms) would make a block
// of 300 pieces take 300 ms at least; the time-out alone bounds the read here.
TEST_F(StreamTransferLoopTest, AReaderFasterThanItsSenderWaitsWithoutPause) {
    const std::string sAnswer = Block(3000);
    for (std::size_t i = 0; i < sAnswer.size(); i += 10) channel.pieces.push_back(sAnswer.substr(i, 10));
    const std::size_t iPieces = channel.pieces.size();
    std::string sError;
    const auto start = Clock::now();
    ASSERT_TRUE(StreamTransfer::Read(Transfer(5000), 0, sError)) << sError;
    const auto elapsed = Clock::now() - start;
    EXPECT_EQ(std::string(stream.pReceiveData.view()), sAnswer);
    EXPECT_EQ(channel.iWaits, static_cast<int>(iPieces));
    EXPECT_LT(elapsed, std::chrono::milliseconds(iPieces / 2));
}

// A channel that says input waits when none comes is not asked again without a pause: the
// loop must not spin until the time-out.
TEST_F(StreamTransferLoopTest, AChannelThatWakesWithoutDataIsNotPolledWithoutPause) {
    channel.fLies = true;
    std::string sError;
    EXPECT_FALSE(StreamTransfer::Read(Transfer(100), 0, sError));
    EXPECT_EQ(sError, "Fake::FakeRead: Die Wartezeit für das Empfangen wurde überschritten.");
    EXPECT_LE(channel.iWaits, 101);
}

// A block answer takes a buffer of exactly its size, however its receptions fall, bare or
// behind the text that announces it: no doubling when the last reception is smaller than a
// chunk. A caller's buffer that has room takes the next answer from its first byte on.
TEST_F(StreamTransferLoopTest, ABlockAnswerTakesABufferOfItsOwnSize) {
    for (const std::string sPrefix : {"", "DAT2,", ":trac:data "})
    for (const std::size_t n : {std::size_t{100000}, std::size_t{250000}, std::size_t{1000000}}) {
        SCOPED_TRACE(sPrefix + std::to_string(n));
        const std::string sAnswer = sPrefix + Block(n);
        for (std::size_t i = 0; i < sAnswer.size(); i += 40000) channel.pieces.push_back(sAnswer.substr(i, 40000));
        DataBuffer answer;
        std::string sError;
        ASSERT_TRUE(StreamTransfer::ReadAnswer(Transfer(5000), answer, 0, sError)) << sError;
        EXPECT_EQ(std::string(answer.view()), sAnswer);
        EXPECT_EQ(answer.capacity(), sAnswer.size());

        // The same buffer again: the whole answer goes into it, the first reception too.
        const std::uint8_t* pMemory = answer.data();
        for (std::size_t i = 0; i < sAnswer.size(); i += 40000) channel.pieces.push_back(sAnswer.substr(i, 40000));
        channel.readSizes.clear();
        ASSERT_TRUE(StreamTransfer::ReadAnswer(Transfer(5000), answer, 0, sError)) << sError;
        EXPECT_EQ(answer.data(), pMemory);
        EXPECT_EQ(std::string(answer.view()), sAnswer);
        EXPECT_EQ(answer.capacity(), sAnswer.size());
        ASSERT_FALSE(channel.readSizes.empty());
        EXPECT_EQ(channel.readSizes.front(), std::min(sAnswer.size(), StreamTransfer::ReceiveLimit));
    }
}

// A short text answer leaves the stream a buffer made for an answer of unknown length (a grow
// step). A long block after it, whether it comes at once or in pieces, is received into a
// buffer of its own size, which goes to the caller as it is; only a short block is received into
// the large buffer and copied out of it, and the large buffer stays for the next answer.
TEST_F(StreamTransferLoopTest, ALongBlockAfterATextAnswerTakesNoPartOfTheLargeBuffer) {
    const struct {
        std::size_t iBlock, iPiece;
        bool fLargeStays;
    } cases[] = {{250000, 1 << 20, false}, {250000, 40000, false}, {1000000, 1 << 20, false}, {20000, 1 << 20, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.iBlock) + " in pieces of " + std::to_string(c.iPiece));
        stream = {};
        stream.sEndOfMessage = "\n";
        DataBuffer answer;
        std::string sError;
        channel.pieces.push_back("1.5E+6;2.0E-3\n");
        ASSERT_TRUE(StreamTransfer::ReadAnswer(Transfer(5000), answer, 0, sError)) << sError;
        ASSERT_GT(stream.pReceiveData.capacity(), StreamTransfer::ReceiveLimit);
        const std::string sBlock = Block(c.iBlock);
        for (std::size_t i = 0; i < sBlock.size(); i += c.iPiece) channel.pieces.push_back(sBlock.substr(i, c.iPiece));
        answer.release();
        ASSERT_TRUE(StreamTransfer::ReadAnswer(Transfer(5000), answer, 0, sError)) << sError;
        EXPECT_EQ(std::string(answer.view()), sBlock);
        EXPECT_EQ(answer.capacity(), sBlock.size());
        EXPECT_EQ(stream.pReceiveData.capacity() > StreamTransfer::ReceiveLimit, c.fLargeStays);
        channel.pieces.push_back("OK\n");
        ASSERT_TRUE(StreamTransfer::ReadAnswer(Transfer(5000), answer, 0, sError)) << sError;
        EXPECT_EQ(std::string(answer.view()), "OK\n");
    }
}

// Bytes behind the announced block (an instrument that sends more than it said) still find
// room: the buffer grows past the block then.
TEST_F(StreamTransferLoopTest, BytesBehindTheBlockStillFindRoom) {
    const std::string sBlock = Block(70000);
    const std::string sAnswer = sBlock.substr(0, sBlock.size() - 1) + std::string(100000, 'x') + "\n";
    for (std::size_t i = 0; i < sAnswer.size(); i += 30000) channel.pieces.push_back(sAnswer.substr(i, 30000));
    DataBuffer answer;
    std::string sError;
    ASSERT_TRUE(StreamTransfer::ReadAnswer(Transfer(300), answer, 0, sError)) << sError;
    EXPECT_EQ(std::string(answer.view()), sAnswer);
}

// An owed block that keeps coming faster than it is read: an abort request ends the next write's
// wait for it at once, rather than after everything the line may hold.
TEST_F(StreamTransferLoopTest, AnAbortEndsTheWaitForAnOwedAnswerThatKeepsComing) {
    channel.pieces.push_back("#9100000000xx");
    std::string sError;
    EXPECT_TRUE(StreamTransfer::Read(Transfer(50), 0, sError)); // its beginning, by the time-out
    channel.fFlood = true;
    ASSERT_TRUE(StreamTransfer::Prepare(stream, "Fake", "*IDN?", nullptr, 0, sError));
    Instrument::RequestAbort(&stream);
    std::size_t iSent = 0;
    EXPECT_FALSE(StreamTransfer::Write(Transfer(50), 0x800, iSent, 0, sError));
    EXPECT_EQ(sError, "Fake::FakeWrite: The communication was terminated by instruction.");
    EXPECT_EQ(iSent, 0u);
}

} // namespace

// An answer read behind bytes the caller keeps (the samples of a trace read in parts): it goes
// into the caller's memory behind them, its end found within the answer alone (the kept bytes
// may hold anything, LF and "#" included); a buffer without room for the block grows with the
// kept bytes in it; a read that fails leaves the kept bytes alone.
TEST_F(StreamTransferLoopTest, AnAnswerReadBehindKeptBytesLeavesThem) {
    const std::string sKept = "#9000000005\nab;\n"; // looks like a block and an end itself
    struct uCase {
        const char* sName;
        std::size_t iRoom; // capacity beyond the kept bytes
        std::size_t iBlock;
    };
    for (const uCase& c : {uCase{"in its room", 400000, 250000}, uCase{"growing", 1000, 250000},
                           uCase{"a short one in its room", 70000, 10}}) {
        SCOPED_TRACE(c.sName);
        const std::string sAnswer = Block(c.iBlock);
        for (std::size_t i = 0; i < sAnswer.size(); i += 40000) channel.pieces.push_back(sAnswer.substr(i, 40000));
        DataBuffer answer;
        ASSERT_TRUE(answer.reserve(sKept.size() + c.iRoom));
        ASSERT_TRUE(answer.append(sKept));
        const std::uint8_t* pMemory = answer.data();
        std::string sError;
        ASSERT_TRUE(StreamTransfer::ReadAnswer(Transfer(5000), answer, 0, sError, sKept.size())) << sError;
        EXPECT_EQ(std::string(answer.view()), sKept + sAnswer);
        if (c.iRoom >= sAnswer.size() + StreamTransfer::ReceiveChunk) {
            EXPECT_EQ(answer.data(), pMemory);
        }
        EXPECT_EQ(stream.iReceiveBase, 0u);
        // The instance's own buffer serves the next plain answer as before.
        channel.pieces.push_back("1\n");
        DataBuffer plain;
        ASSERT_TRUE(StreamTransfer::ReadAnswer(Transfer(5000), plain, 0, sError)) << sError;
        EXPECT_EQ(std::string(plain.view()), "1\n");
    }
    DataBuffer answer;
    ASSERT_TRUE(answer.reserve(100000));
    ASSERT_TRUE(answer.append(sKept));
    channel.fLies = true; // nothing ever comes
    std::string sError;
    EXPECT_FALSE(StreamTransfer::ReadAnswer(Transfer(50), answer, 0, sError, sKept.size()));
    EXPECT_EQ(std::string(answer.view()), sKept);
}
