// What the raw TCP and the serial transport share, run against both: the simulated instrument
// behind a loopback listener and behind a pseudo-terminal.
#include "StreamTransportFixture.h"

#include "common/WindowLog.h"
#include "sim/ScreenCopyAnswers.h"
#include "transport/BlockHeader.h"
#include "transport/InterfaceDefaults.h"

#include <QImage>

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

namespace {

using namespace StreamTest;
using Clock = std::chrono::steady_clock;

template <class Side> using StreamTransportTest = Fixture<Side>;
using Sides = ::testing::Types<RawTcpSide, SerialSide>;
TYPED_TEST_SUITE(StreamTransportTest, Sides);

// The first position of the device's block pattern that holds a line feed.
std::size_t FirstLineFeed() {
    std::size_t i = 0;
    while (Sim::ScpiDevice::PatternByte(i) != 0x0A) ++i;
    return i;
}

Bytes BlockAnswer(std::size_t n) {
    std::string sHeader;
    Instrument::CreateBlockHeader(n, sHeader);
    Bytes b = ToBytes(sHeader);
    for (std::size_t i = 0; i < n; ++i) b.push_back(Sim::ScpiDevice::PatternByte(i));
    b.push_back('\n');
    return b;
}

TYPED_TEST(StreamTransportTest, TheAnswerEndsWithTheEndOfMessageTextAlsoWhenSplit) {
    std::string sError;
    DataBuffer answer;
    ASSERT_TRUE(this->Exchange("*IDN?", answer, sError)) << sError;
    EXPECT_EQ(answer.view(), this->mPeer.Device().Idn() + "\n");
    EXPECT_EQ(sError, "");
    EXPECT_EQ(this->mPeer.Device().Commands().back(), "*IDN?");

    // Three characters and the LF, in two receptions.
    this->mPeer.Device().SetAnswer("ABC?", ToBytes("abc\n"));
    this->mPeer.AddFault({Sim::eStreamFault::Split, 2, 0, this->AllTaken()});
    ASSERT_TRUE(this->Exchange("ABC?", answer, sError)) << sError;
    EXPECT_EQ(answer.view(), "abc\n");

    // An answer that is only the end-of-message text is complete at once: with a time-out of
    // a minute, a read that waited for it would not end here with an empty error text.
    this->Reopen(60000);
    this->mPeer.Device().SetAnswer("NOTHING?", ToBytes("\n"));
    ASSERT_TRUE(this->Exchange("NOTHING?", answer, sError)) << sError;
    EXPECT_EQ(answer.view(), "\n");
    EXPECT_EQ(sError, "");
}

TYPED_TEST(StreamTransportTest, TimeOuts) {
    this->Reopen(300);
    const std::string sTimeOut =
        this->Text(TypeParam::ReadName, "Die Wartezeit für das Empfangen wurde überschritten.");
    std::string sError;
    DataBuffer answer = DataBuffer::FromText("old");

    // Nothing at all: a failure, not an empty answer. The wait does not spin.
    this->mPeer.AddFault({Sim::eStreamFault::NoReply});
    const double cpu = ThreadCpuSeconds();
    const auto start = Clock::now();
    EXPECT_FALSE(this->Exchange("*IDN?", answer, sError));
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    EXPECT_EQ(sError, sTimeOut);
    EXPECT_TRUE(answer.empty());
    EXPECT_GE(wall, 0.29);
    EXPECT_LT(ThreadCpuSeconds() - cpu, wall / 2);

    // Data without the end-of-message text: what arrived, with the time-out text.
    sError.clear();
    TypeParam::SetEndOfMessage(*this->pInstance, "\r\n");
    ASSERT_TRUE(this->ExchangeArrived("*IDN?", this->mPeer.Device().Idn().size() + 1, answer, sError));
    EXPECT_EQ(sError, sTimeOut);
    EXPECT_EQ(answer.view(), this->mPeer.Device().Idn() + "\n");

    // A block that announces far more than comes: what came, by the time-out.
    sError.clear();
    this->mPeer.Device().SetAnswer("LIE?", ToBytes("#9999999999abc\n"));
    ASSERT_TRUE(this->ExchangeArrived("LIE?", 15, answer, sError));
    EXPECT_EQ(sError, sTimeOut);
    EXPECT_EQ(answer.view(), "#9999999999abc\n");
    EXPECT_EQ(answer.size(), 15u);

    // No end-of-message text at all: every read ends by the time-out.
    sError.clear();
    TypeParam::SetEndOfMessage(*this->pInstance, "");
    ASSERT_TRUE(this->Send("*OPC?\n", sError)) << sError;
    this->AwaitInput(2);
    ASSERT_TRUE(TypeParam::RequestData(*this->pInstance, answer, Window, sError));
    EXPECT_EQ(sError, sTimeOut);
    EXPECT_EQ(answer.view(), "1\n");
}

TYPED_TEST(StreamTransportTest, ABlockWithALineFeedAtTheEndOfAReceptionArrivesWhole) {
    const std::size_t k = FirstLineFeed();
    ASSERT_LT(k, 1000u);
    std::string sError;
    DataBuffer answer;
    // The first reception ends with a data byte 0x0A in the middle of the block ...
    this->mPeer.AddFault({Sim::eStreamFault::Split, static_cast<int>(6 + k + 1), 0, this->AllTaken()});
    ASSERT_TRUE(this->Exchange("SIM:BLOC? 2000", answer, sError)) << sError;
    EXPECT_EQ(sError, "");
    EXPECT_EQ(ToBytes(answer), BlockAnswer(2000));

    // ... and here with the block's own last byte, 0x0A, before the LF that ends the answer.
    const std::size_t n = k + 1;
    std::string sHeader;
    const std::size_t h = Instrument::CreateBlockHeader(n, sHeader);
    this->mPeer.AddFault({Sim::eStreamFault::Split, static_cast<int>(h + n), 0, this->AllTaken()});
    ASSERT_TRUE(this->Exchange("SIM:BLOC? " + std::to_string(n), answer, sError)) << sError;
    EXPECT_EQ(ToBytes(answer), BlockAnswer(n));
    EXPECT_EQ(sError, "");

    // A large block in several receptions, with progress whenever a step is full.
    this->pInstance->iProgressStep = 100000;
    ASSERT_TRUE(this->Exchange("SIM:BLOC? 1000000", answer, sError)) << sError;
    EXPECT_EQ(ToBytes(answer), BlockAnswer(1000000));
    const std::vector<std::int64_t> progress = this->EventData(TransferStatus::TransferReceiving);
    ASSERT_FALSE(progress.empty());
    for (std::size_t i = 1; i < progress.size(); ++i) EXPECT_GE(progress[i] - progress[i - 1], 100000);
    EXPECT_LE(progress.back(), 1000000 + 12);

    // The caller's buffer is used again for the next answer, and a short answer fits in it.
    const std::uint8_t* pMemory = answer.data();
    ASSERT_TRUE(this->Exchange("SIM:BLOC? 1000000", answer, sError)) << sError;
    EXPECT_EQ(answer.data(), pMemory);
    EXPECT_EQ(ToBytes(answer), BlockAnswer(1000000));
    ASSERT_TRUE(this->Exchange("*OPC?", answer, sError)) << sError;
    EXPECT_EQ(answer.view(), "1\n");
}

TYPED_TEST(StreamTransportTest, AnAbortStopsTheReadAndDrainsTheRest) {
    std::string sError;
    DataBuffer answer;
    ASSERT_TRUE(this->Send("SIM:BLOC? 300000", sError)) << sError;
    Instrument::RequestAbort(this->pInstance.get());
    EXPECT_FALSE(TypeParam::RequestData(*this->pInstance, answer, Window, sError));
    EXPECT_EQ(sError, this->Text(TypeParam::ReadName, "The communication was terminated by instruction."));
    EXPECT_FALSE(Instrument::TakeAbortRequest(this->pInstance.get())); // taken by the read
    // Nothing of the block is left for the next answer.
    ASSERT_TRUE(this->Exchange("*IDN?", answer, sError)) << sError;
    EXPECT_EQ(answer.view(), this->mPeer.Device().Idn() + "\n");

    // An answer later than the abort's drain reaches no later exchange, also after a new
    // connection (a serial port opened again owes nothing: see the table of the line's ways).
    for (const bool fReopen : {false, TypeParam::Renews}) {
        this->mPeer.AddFault({Sim::eStreamFault::Delay, 600});
        ASSERT_TRUE(this->Send("*IDN?", sError)) << sError;
        Instrument::RequestAbort(this->pInstance.get());
        EXPECT_FALSE(TypeParam::RequestData(*this->pInstance, answer, Window, sError));
        if (fReopen) this->Reopen(2000);
        ASSERT_TRUE(this->Exchange("*OPC?", answer, sError)) << sError;
        EXPECT_EQ(answer.view(), "1\n") << fReopen;
    }
    // A write aborted while it waits for a late answer leaves it owed: the next write drops it.
    // Raw TCP waits for none.
    if (TypeParam::Renews) return;
    this->Reopen(100);
    this->mPeer.AddFault({Sim::eStreamFault::Delay, 600});
    EXPECT_FALSE(this->Exchange("*IDN?", answer, sError));
    Instrument::RequestAbort(this->pInstance.get());
    EXPECT_FALSE(this->Send("*OPC?", sError));
    TypeParam::SetTimeout(*this->pInstance, 2000);
    ASSERT_TRUE(this->Exchange("*OPC?", answer, sError)) << sError;
    EXPECT_EQ(answer.view(), "1\n");
}

std::size_t LogCount(const std::string& sText); // below

// An exchange that ends before its answer or its command did leaves the line owing: whatever
// the line did, the next owner's query reads its own answer.
TYPED_TEST(StreamTransportTest, TheNextOwnersQueryReadsItsOwnAnswerWhateverTheLineDid) {
    std::string sError;
    DataBuffer answer;
    // Each piece of an answer after the first comes 150 ms after the one before (longer than any
    // pause a drain would wait out); with fAbort, the read is aborted once the first is on its way.
    const auto pause = [this](bool fAbort) {
        return [this, fAbort, last = Clock::time_point()]() mutable {
            if (last == Clock::time_point() && fAbort) Instrument::RequestAbort(this->pInstance.get());
            if (last == Clock::time_point()) last = Clock::now();
            if (Clock::now() - last < std::chrono::milliseconds(150)) return false;
            return last = Clock::now(), true;
        };
    };
    const auto pieces = [&](bool fAbort) { // an answer in pieces, aborted or timed out once its first came
        return [&, fAbort] {
            this->mPeer.AddFault({Sim::eStreamFault::Trickle, 4, 0, pause(false)});
            ASSERT_TRUE(this->Send("SIM:ECHO? PIECES-OF-AN-ANSWER", sError)) << sError;
            this->AwaitInput(4);
            if (fAbort) Instrument::RequestAbort(this->pInstance.get());
            EXPECT_NE(TypeParam::RequestData(*this->pInstance, answer, Window, sError), fAbort);
        };
    };
    // A query the instrument ignores, then one it answers late, given up by its time-out or an abort.
    const auto owe = [&](bool fReopen, bool fAbort) {
        return [&, fReopen, fAbort] {
            const std::size_t iTaken = this->mPeer.Device().Commands().size();
            this->mPeer.AddFault({Sim::eStreamFault::NoReply});
            EXPECT_FALSE(this->Exchange("*OPC?", answer, sError));
            this->AwaitCommands(iTaken + 1);
            if (fReopen) this->Reopen(100);
            this->mPeer.AddFault({Sim::eStreamFault::Delay, 400});
            ASSERT_TRUE(this->Send("SIM:ECHO? SLOW", sError)) << sError;
            this->AwaitCommands(iTaken + 2);
            if (fAbort) Instrument::RequestAbort(this->pInstance.get());
            EXPECT_FALSE(TypeParam::RequestData(*this->pInstance, answer, Window, sError));
        };
    };
    // A query answered iLateMs late (fRead: read until its time-out gives up; fChain: behind an answer
    // that comes at once, then a command), and iPauseMs later a query of its own: it gets "b".
    const auto late = [&](int iLateMs, bool fRead, int iPauseMs, bool fChain = false) {
        return [&, iLateMs, fRead, iPauseMs, fChain] {
            InterfaceTimeouts second(1000);
            TypeParam::SetTimeout(*this->pInstance, 1000);
            if (fChain) this->mPeer.Device().SetSeparateAnswers(iLateMs);
            else this->mPeer.AddFault({Sim::eStreamFault::Delay, iLateMs});
            this->pInstance->iAnswers = fChain ? 2 : 1;
            const std::string sQuery = fChain ? "SIM:ECHO? a;SIM:ECHO? l" : "SIM:ECHO? l";
            EXPECT_EQ(fRead ? this->Exchange(sQuery, answer, sError) : this->Send(sQuery, sError), !fRead) << sError;
            this->pInstance->iAnswers = 1;
            std::this_thread::sleep_for(std::chrono::milliseconds(iPauseMs));
            if (fChain) EXPECT_TRUE(this->Send("*CLS", sError)) << sError;
            ASSERT_TRUE(this->Exchange("SIM:ECHO? b", answer, sError)) << sError;
            EXPECT_EQ(answer.view(), "b\n");
            this->mPeer.Device().SetSeparateAnswers(0);
        };
    };
    InterfaceTimeouts timeouts(200); // shorter than an exchange's own time-out below
    const std::pair<const char*, std::function<void()>> rows[] = {
        {"a query the instrument ignores, then an abort", owe(false, true)},
        {"a query the instrument ignores, then one answered after its time-out", owe(false, false)},
        {"an answer in pieces, aborted between them", pieces(true)},
        {"a timed-out answer in pieces", pieces(false)},
        {"an abort during a write: raw TCP stops after a piece, a serial line at the message's end",
         [&] {
             const Bytes payload(3 * TypeParam::Piece, 'x');
             std::size_t iSent = 0;
             ASSERT_TRUE(TypeParam::PrepareData(*this->pInstance, "SIM:DATA ", payload.data(), payload.size(), sError));
             Instrument::RequestAbort(this->pInstance.get());
             EXPECT_FALSE(TypeParam::SendData(*this->pInstance, iSent, Window, sError));
             EXPECT_EQ(sError, this->Text(TypeParam::WriteName, "The communication was terminated by instruction."));
             EXPECT_EQ(iSent, TypeParam::Renews ? TypeParam::Piece : payload.size() + 10);
         }},
        {"opened again while the last open's answer is on its way",
         [&] {
             this->mPeer.AddFault({Sim::eStreamFault::Hold, 10, 0, pause(false)});
             ASSERT_TRUE(this->Send("*IDN?", sError)) << sError;
             this->AwaitInput();
             this->Reopen(100);
         }},
        {"a debt of the last open, then a late answer", owe(true, false)},
        {"opened again, then an answer begins that never ends: the message still goes",
         [&] {
             this->mPeer.Device().SetBareAnswer("CUT?", ToBytes("cut"));
             this->mPeer.AddFault({Sim::eStreamFault::Delay, 300});
             EXPECT_FALSE(this->Exchange("CUT?", answer, sError));
             TypeParam::Disconnect(*this->pInstance); // the same instance opens the port again
             ASSERT_TRUE(TypeParam::Connect(*this->pInstance, sError)) << sError;
             if (!TypeParam::Renews) this->AwaitInput();
             ASSERT_TRUE(this->Send("*OPC?", sError)) << sError;
             TypeParam::SetTimeout(*this->pInstance, 5000);
             ASSERT_TRUE(TypeParam::RequestData(*this->pInstance, answer, Window, sError)) << sError;
             EXPECT_EQ(answer.view(), "1\n");
         }},
        {"opened again after a block cut by its time-out, of whose rest only the end reaches the new open",
         [&] {
             const auto pRest = std::make_shared<std::atomic<bool>>(false); // the peer may ask after this row
             this->mPeer.Device().SetAnswer("BLOCK?", ToBytes("#210abcdefghij\n"));
             this->mPeer.AddFault({Sim::eStreamFault::Hold, 5, 0, [pRest] { return pRest->load(); }});
             this->ExchangeArrived("BLOCK?", 5, answer, sError); // "#210a", by the time-out
             EXPECT_EQ(this->pInstance->eFailure, Failure::eKind::TimedOut);
             const int iConnections = this->mPeer.ConnectionsAccepted();
             TypeParam::Disconnect(*this->pInstance);
             *pRest = true;
             if constexpr (!TypeParam::Renews) { // what comes while the port is closed is lost, but for "ij\n"
                 int n = 0;
                 for (int i = 0; i < 5000 && ioctl(this->mPeer.LineFd(), FIONREAD, &n) == 0 && n < 10; ++i)
                     std::this_thread::sleep_for(std::chrono::milliseconds(1));
                 char lost[7];
                 ASSERT_TRUE(n >= 10 && read(this->mPeer.LineFd(), lost, sizeof lost) == 7) << n;
             }
             ASSERT_TRUE(TypeParam::Connect(*this->pInstance, sError)) << sError;
             TypeParam::SetTimeout(*this->pInstance, 20000);
             const Clock::time_point start = Clock::now();
             ASSERT_TRUE(this->Exchange("*OPC?", answer, sError)) << sError;
             // A record kept from the last open would await its block's end for 20 s (serial), or
             // renew the connection just made (raw TCP).
             EXPECT_LT(Clock::now() - start, std::chrono::seconds(10));
             EXPECT_EQ(this->mPeer.ConnectionsAccepted(), iConnections + (TypeParam::Renews ? 1 : 0));
         }},
        {"a screenshot still arriving in pieces at the next message is read to its end, and the message goes",
         [&] {
             Sim::AnswerSiglentScreenCopy(this->mPeer.Device(), Sim::ScreenPicture(24, 10));
             this->mPeer.AddFault({Sim::eStreamFault::Trickle, 50, 0, pause(false)}); // 2.4 s in all
             EXPECT_TRUE(this->ExchangeArrived(":PRINt? BMP", 50, answer, sError)); // by the time-out
             EXPECT_EQ(this->pInstance->eFailure, Failure::eKind::TimedOut);
             TypeParam::SetTimeout(*this->pInstance, 1000); // far longer than a pause between two pieces
             ASSERT_TRUE(this->Send("*OPC?", sError)) << sError;
             TypeParam::SetTimeout(*this->pInstance, 5000);
             ASSERT_TRUE(TypeParam::RequestData(*this->pInstance, answer, Window, sError)) << sError;
             EXPECT_EQ(answer.view(), "1\n");
         }},
        {"an answer that stops inside its message for the whole wait: a serial line sends nothing, and sent "
         "again the message awaits its rest",
         [&] {
             // Each piece after the first goes once it is allowed.
             const auto pAllowed = std::make_shared<std::atomic<int>>(0);
             this->mPeer.AddFault({Sim::eStreamFault::Trickle, 4, 0, [pAllowed] {
                                       for (int n = pAllowed->load(); n > 0;)
                                           if (pAllowed->compare_exchange_weak(n, n - 1)) return true;
                                       return false;
                                   }});
             EXPECT_TRUE(this->ExchangeArrived("SIM:ECHO? AN-ANSWER-THAT-COMES-IN-PIECES", 4, answer, sError)); // by the time-out
             *pAllowed = 1; // a piece comes on, then nothing for the whole wait
             this->AwaitInput(4);
             const std::size_t iCommands = this->mPeer.Device().Commands().size();
             TypeParam::SetTimeout(*this->pInstance, 400);
             EXPECT_EQ(this->Send("*OPC?", sError), TypeParam::Renews) << sError;
             *pAllowed = 1000;
             TypeParam::SetTimeout(*this->pInstance, 5000);
             if (!TypeParam::Renews) {
                 EXPECT_EQ(sError, this->Text(TypeParam::WriteName, StreamTransfer::ArrivingText));
                 EXPECT_EQ(this->mPeer.Device().Commands().size(), iCommands);
                 ASSERT_TRUE(this->Send("*OPC?", sError)) << sError;
             }
             ASSERT_TRUE(TypeParam::RequestData(*this->pInstance, answer, Window, sError)) << sError;
             EXPECT_EQ(answer.view(), "1\n");
         }},
        {"a chained answer whose second message comes after the time-out",
         [&] {
             this->mPeer.Device().SetSeparateAnswers(600);
             this->pInstance->iAnswers = 2;
             EXPECT_TRUE(this->ExchangeArrived("*OPC?;SIM:ECHO? second", 2, answer, sError)); // the first, by the time-out
             EXPECT_EQ(answer.view(), "1\n");
             this->mPeer.Device().SetSeparateAnswers(0);
         }},
        {"a block's extra line end, sent just before the next message: on a serial line it may not have left "
         "the kernel's buffer yet, and is the block's all the same",
         [&] {
             if constexpr (!TypeParam::Renews) {
                 TypeParam::SetTimeout(*this->pInstance, 5000); // no time-out is this row's: its answers may be late
                 this->mPeer.Device().SetBareAnswer("QK?", ToBytes("#13abc\n\n"));
                 for (int i = 0; i < 100; ++i) {
                     const auto pGo = std::make_shared<std::atomic<bool>>(false);
                     this->mPeer.AddFault({Sim::eStreamFault::Hold, 7, 0, [pGo] { return pGo->load(); }});
                     ASSERT_TRUE(this->Exchange("QK?", answer, sError)) << sError;
                     const std::size_t iSent = this->mPeer.AnswersSent(); // the last answer's count is in
                     *pGo = true;
                     for (const auto end = Clock::now() + std::chrono::seconds(10);
                          this->mPeer.AnswersSent() == iSent && Clock::now() < end;)
                         std::this_thread::yield();
                     ASSERT_TRUE(this->Exchange("*OPC?", answer, sError)) << sError;
                     ASSERT_EQ(answer.view(), "1\n") << i;
                 }
             }
         }},
        {"an empty end text set behind a block whose second line end is on its way: the command goes",
         [&] {
             this->mPeer.Device().SetBareAnswer("QK?", ToBytes("#13abc\n\n"));
             const auto pGo = std::make_shared<std::atomic<bool>>(false);
             this->mPeer.AddFault({Sim::eStreamFault::Hold, 7, 0, [pGo] { return pGo->load(); }});
             ASSERT_TRUE(this->Exchange("QK?", answer, sError)) << sError;
             *pGo = true;
             this->AwaitInput();
             TypeParam::SetEndOfMessage(*this->pInstance, "");
             EXPECT_TRUE(this->Send("*CLS\n", sError)) << sError;
             TypeParam::SetEndOfMessage(*this->pInstance, "\n");
         }},
        {"a written query answered after its own time-out, within the interface's: the next read gets its own",
         [&] {
             InterfaceTimeouts patient(2000);
             TypeParam::SetTimeout(*this->pInstance, 500);
             this->mPeer.AddFault({Sim::eStreamFault::Delay, 800});
             ASSERT_TRUE(this->Send("*OPC?", sError)) << sError;
             ASSERT_TRUE(this->Exchange("SIM:ECHO? MINE", answer, sError)) << sError;
             EXPECT_EQ(answer.view(), "MINE\n");
         }},
        {"a written query never answered, read long after its time-out: raw TCP awaits nothing, a serial line "
         "awaits it from the next message's start",
         [&] {
             this->mPeer.AddFault({Sim::eStreamFault::NoReply});
             ASSERT_TRUE(this->Send("*OPC?", sError)) << sError;
             std::this_thread::sleep_for(std::chrono::milliseconds(400)); // its time-out (200 ms) has passed
             const std::size_t iWaits = this->EventData(TransferStatus::TransferAwaited).size();
             ASSERT_TRUE(this->Exchange("*IDN?", answer, sError)) << sError;
             EXPECT_EQ(this->EventData(TransferStatus::TransferAwaited).size(), iWaits + (TypeParam::Renews ? 0 : 1));
         }},
        // Time-outs of 1000 ms: the late answer comes 300 ms into the next message's wait, and no
        // pause before that message shortens it.
        {"a written query answered 1500 ms late, the next query 1200 ms after the write", late(1500, false, 1200)},
        {"a read given up, its answer 2500 ms after the query, the next query 1200 ms after the failure",
         late(2500, true, 1200)},
        {"a written chain whose second answer is 1300 ms late, a command 800 ms after the write, then a query",
         late(1300, false, 800, true)},
        {"a chain cut by its time-out after its first answer, two answers still missing",
         [&] {
             this->mPeer.Device().SetSeparateAnswers(600);
             this->pInstance->iAnswers = 3;
             EXPECT_TRUE(this->ExchangeArrived("SIM:ECHO? a;SIM:ECHO? b;SIM:ECHO? c", 2, answer, sError));
             EXPECT_EQ(answer.view(), "a\n");
             this->pInstance->iAnswers = 1;
             TypeParam::SetTimeout(*this->pInstance, 5000);
             ASSERT_TRUE(this->Exchange("SIM:ECHO? mine", answer, sError)) << sError;
             EXPECT_EQ(answer.view(), "mine\n");
             this->mPeer.Device().SetSeparateAnswers(0);
         }},
        {"a written chain answered in part (a misspelt query): the next command goes",
         [&] {
             this->pInstance->iAnswers = 2;
             ASSERT_TRUE(this->Send("SIM:ECHO? a;SIM:NOPE?", sError)) << sError;
             this->pInstance->iAnswers = 1;
             ASSERT_TRUE(this->Exchange("*OPC?", answer, sError)) << sError;
             EXPECT_EQ(answer.view(), "1\n");
         }},
        {"an answer later than the interface's time-out, within its exchange's own",
         [&] {
             TypeParam::SetTimeout(*this->pInstance, 1000);
             this->mPeer.AddFault({Sim::eStreamFault::Delay, 1500});
             EXPECT_FALSE(this->Exchange("SIM:ECHO? SLOW", answer, sError));
             TypeParam::SetTimeout(*this->pInstance, 100); // this message's own grants no more
             ASSERT_TRUE(this->Send("*OPC?", sError)) << sError;
             TypeParam::SetTimeout(*this->pInstance, 5000);
             ASSERT_TRUE(TypeParam::RequestData(*this->pInstance, answer, Window, sError)) << sError;
             EXPECT_EQ(answer.view(), "1\n");
         }},
        {"answers padded behind their line end, three after pauses and three in a row: each its own, and "
         "nothing awaited, dropped or renewed",
         [&] {
             WindowLog::Create();
             const int iConnections = this->mPeer.ConnectionsAccepted();
             for (const int iNuls : {1, 3}) {
                 this->mPeer.Device().SetNuls({0, 0, iNuls});
                 for (const int iPauseMs : {300, 300, 300, 0, 0, 0}) {
                     std::this_thread::sleep_for(std::chrono::milliseconds(iPauseMs));
                     const std::string sMine = "P" + std::to_string(iNuls) + "-" + std::to_string(iPauseMs);
                     ASSERT_TRUE(this->Exchange("SIM:ECHO? " + sMine, answer, sError)) << sError;
                     EXPECT_EQ(answer.view(), sMine + "\n");
                 }
             }
             this->mPeer.Device().SetNuls({});
             EXPECT_EQ(this->mPeer.ConnectionsAccepted(), iConnections);
             EXPECT_EQ(LogCount(" ms before the next message") + LogCount("still owed") + LogCount("dropped"),
                       0u)
                 << WindowLog::Text();
             WindowLog::Close(1);
         }},
    };
    for (const auto& [sWhat, fnLine] : rows) {
        SCOPED_TRACE(sWhat);
        this->Reopen(100);
        fnLine();
        TypeParam::SetTimeout(*this->pInstance, 5000);
        ASSERT_TRUE(this->Exchange("*IDN?", answer, sError)) << sError;
        EXPECT_EQ(answer.view(), this->mPeer.Device().Idn() + "\n");
    }
}

TYPED_TEST(StreamTransportTest, APeerThatClosesEndsTheTransferWithAnErrorAtOnce) {
    this->Reopen(60000); // far beyond the test's time: only the close can end these transfers
    const std::string sBroken = std::string(TypeParam::Connection) + " wurde unterbrochen.";
    std::string sError;
    DataBuffer answer;
    this->mPeer.AddFault({Sim::eStreamFault::Close});
    EXPECT_FALSE(this->Exchange("*IDN?", answer, sError));
    EXPECT_EQ(sError.rfind(this->Text(TypeParam::ReadName, sBroken), 0), 0u) << sError;

    // Writing into the closed connection fails too, without SIGPIPE.
    sError.clear();
    EXPECT_FALSE(this->Send("SIM:DATA ", sError, Bytes(1 << 20, 'y')));
    EXPECT_EQ(sError.rfind(this->Text(TypeParam::WriteName, sBroken), 0), 0u) << sError;

    // And so does every later read, without waiting.
    sError.clear();
    EXPECT_FALSE(TypeParam::RequestData(*this->pInstance, answer, Window, sError));
    EXPECT_EQ(sError.rfind(this->Text(TypeParam::ReadName, sBroken), 0), 0u) << sError;
    sError.clear();
    EXPECT_FALSE(TypeParam::Drain(*this->pInstance, sError));
    EXPECT_NE(sError.find(sBroken), std::string::npos) << sError;
}

// A peer that takes the query and then freezes (silent from the start, or after the first bytes
// of its answer) ends the read after one reply wait with the time-out's text, and the close
// after it does not wait on that peer. Two waits would take at least twice the time-out: the
// bound lies below that, with a whole time-out of slack for a loaded machine.
TYPED_TEST(StreamTransportTest, AFrozenPeerEndsTheReadAfterOneReplyWait) {
    constexpr std::int64_t iTimeout = 2000;
    const std::string sTimeOut =
        this->Text(TypeParam::ReadName, "Die Wartezeit für das Empfangen wurde überschritten.");
    struct uFrozen {
        Sim::uStreamFault fault;
        bool fResult;         // what came is handed over with the time-out's text
        std::size_t iArrived; // bytes of the answer that came
    };
    const uFrozen cases[] = {
        {{Sim::eStreamFault::NoReply}, false, 0},
        {{Sim::eStreamFault::Hold, 5, 0, [] { return false; }}, true, 5},
    };
    for (const uFrozen& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.fault.eKind));
        this->Reopen(iTimeout);
        this->mPeer.AddFault(c.fault);
        std::string sError;
        DataBuffer answer;
        ASSERT_TRUE(this->Send("*IDN?", sError)) << sError; // after the wait for what the case before owed
        const auto start = Clock::now();
        EXPECT_EQ(TypeParam::RequestData(*this->pInstance, answer, Window, sError), c.fResult);
        const auto took = Clock::now() - start;
        EXPECT_EQ(sError, sTimeOut);
        EXPECT_EQ(answer.size(), c.iArrived);
        EXPECT_GE(took, std::chrono::milliseconds(iTimeout - 50));
        EXPECT_LT(took, std::chrono::milliseconds(2 * iTimeout));

        const auto closing = Clock::now();
        TypeParam::Disconnect(*this->pInstance);
        EXPECT_LT(Clock::now() - closing, std::chrono::milliseconds(iTimeout));
    }
}

TYPED_TEST(StreamTransportTest, MessagesAndTheirFailures) {
    std::string sError;
    // Command, payload and end-of-message text; the device takes the block.
    const Bytes payload = {0x00, 0x0A, 0xFF, '#', ';'};
    ASSERT_TRUE(this->Send("SIM:DATA #15", sError, payload)) << sError;
    DataBuffer answer;
    ASSERT_TRUE(this->Exchange("*OPC?", answer, sError)) << sError;
    EXPECT_EQ(this->mPeer.Device().LastData(), payload);

    // Nothing to send, a payload without data, no connection.
    std::size_t iSent = 7;
    ASSERT_TRUE(TypeParam::PrepareData(*this->pInstance, "", nullptr, 0, sError));
    EXPECT_FALSE(TypeParam::SendData(*this->pInstance, iSent, Window, sError));
    EXPECT_EQ(sError, this->Text(TypeParam::WriteName,
                                 "Die Daten sind nicht vorhanden. Der Zeiger oder die Datenlänge ist Null."));
    EXPECT_EQ(iSent, 0u);
    EXPECT_FALSE(TypeParam::PrepareData(*this->pInstance, "X", nullptr, 3, sError));
    EXPECT_EQ(sError, this->Text("PrepareData", "The pointer to the transferred data is zero."));
    TypeParam::Disconnect(*this->pInstance);
    ASSERT_TRUE(TypeParam::PrepareData(*this->pInstance, "*IDN?", nullptr, 0, sError));
    EXPECT_FALSE(TypeParam::SendData(*this->pInstance, iSent, Window, sError));
    EXPECT_EQ(sError, this->Text(TypeParam::WriteName, std::string(TypeParam::Connection) + " ist nicht vorhanden."));
    EXPECT_EQ(this->pInstance->eFailure, Failure::eKind::NotConnected); // sent again on a new connection
    EXPECT_FALSE(TypeParam::RequestData(*this->pInstance, answer, Window, sError));
    EXPECT_EQ(sError, this->Text(TypeParam::ReadName, std::string(TypeParam::Connection) + " ist nicht vorhanden."));

    // The instance list.
    EXPECT_TRUE(TypeParam::DeleteInstance(*this->pInstance, sError));
    EXPECT_FALSE(TypeParam::DeleteInstance(*this->pInstance, sError));
    EXPECT_EQ(sError.rfind(std::string(TypeParam::Module) +
                               "::Destructor: This instance does not exist. Instance number = $",
                           0),
              0u);
    this->pInstance.reset();
}

TYPED_TEST(StreamTransportTest, AnInstanceOnlyTheListHoldsIsFreedAfterItsBuffers) {
    std::string sError;
    typename TypeParam::Instance* pOnlyListed = nullptr;
    {
        auto instance = TypeParam::NewInstance(sError);
        ASSERT_TRUE(instance);
        ASSERT_TRUE(TypeParam::PrepareData(*instance, "*IDN?", nullptr, 0, sError));
        pOnlyListed = instance.get();
    }
    EXPECT_TRUE(TypeParam::DeleteInstance(*pOnlyListed, sError)) << sError;
}

// Siglent oscilloscopes answer ":PRINt?" with the bare image file: BMP and LF, PNG alone.
TYPED_TEST(StreamTransportTest, ASiglentScreenCopyArrivesWholeInSmallPieces) {
    this->Reopen(5000);
    const QImage screen = Sim::ScreenPicture(24, 10);
    Sim::AnswerSiglentScreenCopy(this->mPeer.Device(), screen);
    const struct {
        const char* pQuery;
        Sim::eImageFile eFormat;
        int iPiece;
    } cases[] = {{":PRINt? BMP", Sim::eImageFile::Bmp, 7}, {":PRINt? PNG", Sim::eImageFile::Png, 7},
                 {":PRINt? PNG", Sim::eImageFile::Png, 8}, {":PRIN? BMP", Sim::eImageFile::Bmp, 6},
                 {":PRINt? BMP", Sim::eImageFile::Bmp, 0x10000}, {":PRINt? PNG", Sim::eImageFile::Png, 0x10000}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.pQuery) + " in pieces of " + std::to_string(c.iPiece));
        this->mPeer.AddFault({Sim::eStreamFault::Trickle, c.iPiece});
        std::string sError;
        DataBuffer answer;
        ASSERT_TRUE(this->Exchange(c.pQuery, answer, sError)) << sError;
        EXPECT_EQ(sError, ""); // complete by its own structure, not by the time-out
        // The BMP's line end is in the answer where it came right behind the image (a loaded
        // machine may send it later than the brief wait for it); else the next read takes it off
        // ahead of its own answer, as the next case shows.
        Bytes expected = Sim::SiglentScreenCopyAnswer(screen, c.eFormat);
        if (c.eFormat == Sim::eImageFile::Bmp && answer.size() + 1 == expected.size()) expected.pop_back();
        EXPECT_EQ(ToBytes(answer), expected);
        const QImage decoded = QImage::fromData(answer.data(), static_cast<int>(answer.size()));
        EXPECT_EQ(decoded.convertToFormat(QImage::Format_RGB32), screen.convertToFormat(QImage::Format_RGB32));
    }
    // The BMP's LF, later than the wait for it and than the next query, is not the next answer.
    const Clock::time_point late = Clock::now() + std::chrono::milliseconds(300);
    const int iLf = static_cast<int>(Sim::SiglentScreenCopyAnswer(screen, Sim::eImageFile::Bmp).size()) - 1;
    this->mPeer.AddFault({Sim::eStreamFault::Split, iLf, 0, [late] { return Clock::now() >= late; }});
    std::string sError;
    DataBuffer answer;
    ASSERT_TRUE(this->Exchange(":PRINt? BMP", answer, sError)) << sError;
    ASSERT_TRUE(this->Exchange("*OPC?", answer, sError)) << sError;
    EXPECT_EQ(answer.view(), "1\n");
}

TYPED_TEST(StreamTransportTest, ABmpWhoseSizeFieldLiesEndsByTheTimeOut) {
    this->Reopen(300);
    std::vector<std::uint8_t> bmp = Sim::BmpFile(Sim::ScreenPicture(8, 4), false);
    const std::uint32_t iLie = static_cast<std::uint32_t>(bmp.size() + 1000);
    for (int i = 0; i < 4; ++i) bmp[2 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(iLie >> (8 * i));
    bmp.push_back('\n');
    this->mPeer.Device().SetAnswer("LIE?", bmp);
    std::string sError;
    DataBuffer answer;
    EXPECT_TRUE(this->ExchangeArrived("LIE?", bmp.size(), answer, sError)); // what came, with the time-out's text
    EXPECT_EQ(sError, this->Text(TypeParam::ReadName, "Die Wartezeit für das Empfangen wurde überschritten."));
    EXPECT_EQ(ToBytes(answer), bmp);
}

// How often the log holds the text, counted after the hub delivered what was posted.
std::size_t LogCount(const std::string& sText) {
    EventHub::Pump();
    const std::string sLog = WindowLog::Text();
    std::size_t n = 0;
    for (std::size_t i = sLog.find(sText); i != std::string::npos; i = sLog.find(sText, i + 1)) ++n;
    return n;
}

// A read that timed out may still get its answer. The next message, sent at once on a serial
// line, first waits for that answer (all of it, or the rest of what had begun); raw TCP waits for
// none, and is sent here once the answer has come. It is dropped with one log line and only then
// the message goes out: it gets its own answer.
TYPED_TEST(StreamTransportTest, ALateAnswerIsAwaitedAndDroppedBeforeTheNextMessage) {
    WindowLog::Create();
    struct CloseLog {
        ~CloseLog() { WindowLog::Close(1); }
    } closeLog;
    this->Reopen(200);
    this->pInstance->sInstrument = "DS1104Z";
    const std::string sTimeOut =
        this->Text(TypeParam::ReadName, "Die Wartezeit für das Empfangen wurde überschritten.");
    const std::string sIdn = this->mPeer.Device().Idn() + "\n";
    struct uCase {
        const char* sWhat;
        Sim::eStreamFault eFault;
        std::size_t iEarly; // bytes that come before the time-out
    };
    const uCase cases[] = {{"the whole answer comes after the time-out", Sim::eStreamFault::Delay, 0},
                           {"its first bytes come before the time-out", Sim::eStreamFault::Hold, 10}};
    std::size_t iLogged = 0;
    for (const uCase& c : cases) {
        SCOPED_TRACE(c.sWhat);
        TypeParam::SetTimeout(*this->pInstance, 200);
        // The rest comes 600 ms after the query, or after the bytes that come first: well after the
        // read gave up.
        this->mPeer.AddFault({c.eFault, c.eFault == Sim::eStreamFault::Delay ? 600 : static_cast<int>(c.iEarly), 0,
                              [late = Clock::time_point()]() mutable {
                                  if (late == Clock::time_point()) late = Clock::now() + std::chrono::milliseconds(600);
                                  return Clock::now() >= late;
                              }});
        std::string sError;
        DataBuffer answer;
        EXPECT_EQ(this->ExchangeArrived("*IDN?", c.iEarly, answer, sError), c.iEarly > 0);
        EXPECT_EQ(sError, sTimeOut);
        EXPECT_EQ(std::string(answer.view()), sIdn.substr(0, c.iEarly));

        const std::size_t iLate = sIdn.size() - c.iEarly;
        if (TypeParam::Renews) this->AwaitInput(iLate);
        const int iConnections = this->mPeer.ConnectionsAccepted();
        ASSERT_TRUE(this->Send("*OPC?", sError)) << sError;
        TypeParam::SetTimeout(*this->pInstance, 5000); // no time-out is its answer's
        ASSERT_TRUE(TypeParam::RequestData(*this->pInstance, answer, Window, sError)) << sError;
        EXPECT_EQ(answer.view(), "1\n");
        EXPECT_EQ(this->mPeer.ConnectionsAccepted(), iConnections); // it ended: nothing to renew
        EXPECT_EQ(this->pInstance->iStaleBytes, iLate);
        // The line reaches the log once, as a note (nothing failed) that names the instrument.
        const StreamTransfer::uNames names{TypeParam::Module, TypeParam::WriteName, "", "", ""};
        EXPECT_EQ(LogCount("] DS1104Z: " + BetweenMessages::StaleText(names, iLate)), 1u) << WindowLog::Text();
        EXPECT_EQ(LogCount("earlier answer were dropped"), ++iLogged);
        // In plain words it is the rest of the read that gave up, not bytes nobody waited for.
        EXPECT_EQ(LogCount("] DS1104Z: The answer to \"*IDN?\", which its read gave up, "), iLogged);
        EXPECT_EQ(LogCount("that no request was waiting for"), 0u) << WindowLog::Text();
    }
    EXPECT_EQ(BetweenMessages::StaleText(StreamTransfer::uNames{TypeParam::Module, TypeParam::WriteName, "", "", ""}, 12),
              this->Text(TypeParam::WriteName, "12 bytes of an earlier answer were dropped."));

    // Nothing waits now: nothing is dropped, and the answers stay in step.
    std::string sError;
    DataBuffer answer;
    ASSERT_TRUE(this->Exchange("*IDN?", answer, sError)) << sError;
    EXPECT_EQ(answer.view(), sIdn);
    EXPECT_EQ(this->pInstance->iStaleBytes, 0u);
    EXPECT_EQ(LogCount("earlier answer were dropped"), iLogged);
}

// An instrument that answers 1.5 times the time-out late: every exchange fails with the
// time-out's text and none takes the answer of the one before. Once it is prompt again, the
// last late answer is dropped ahead of the next exchange on a serial line, or left behind on the
// old connection.
TYPED_TEST(StreamTransportTest, AnInstrumentLaterThanTheTimeOutNeverShiftsTheAnswers) {
    this->Reopen(400);
    this->mPeer.SetLateness(600);
    const std::string sTimeOut =
        this->Text(TypeParam::ReadName, "Die Wartezeit für das Empfangen wurde überschritten.");
    for (const char* pQuery : {"*IDN?", "*OPC?", "*IDN?", "*OPC?"}) {
        std::string sError;
        DataBuffer answer;
        EXPECT_FALSE(this->Exchange(pQuery, answer, sError)) << pQuery << " took " << answer.view();
        EXPECT_EQ(sError, sTimeOut) << pQuery;
    }
    this->mPeer.SetLateness(0);
    TypeParam::SetTimeout(*this->pInstance, 5000); // the peer still sits out the last lateness
    std::string sError;
    DataBuffer answer;
    ASSERT_TRUE(this->Exchange("*IDN?", answer, sError)) << sError;
    EXPECT_EQ(answer.view(), this->mPeer.Device().Idn() + "\n");
    if (!TypeParam::Renews) {
        EXPECT_EQ(this->pInstance->iStaleBytes, 2u); // "1\n"
    }
}

// A peer that never answers: raw TCP renews at once at the next message, a serial line awaits
// the late answer for the interface's time-out each time, also after a wait in which none came
// (the peer may answer the next query late). An abort request ends such a wait, and the write.
TYPED_TEST(StreamTransportTest, APeerThatNeverAnswersIsWaitedForOnlyOnASerialLine) {
    const int Interface = TypeParam::Renews ? 20000 : 1500; // far beyond a renewal
    InterfaceTimeouts timeouts(Interface);
    this->Reopen(100);
    const std::string sTimeOut =
        this->Text(TypeParam::ReadName, "Die Wartezeit für das Empfangen wurde überschritten.");
    for (int i = 0; i < 3; ++i) this->mPeer.AddFault({Sim::eStreamFault::NoReply, 0});
    const auto exchange = [&] {
        std::string sError;
        DataBuffer answer;
        const Clock::time_point start = Clock::now();
        EXPECT_FALSE(this->Exchange("*IDN?", answer, sError));
        EXPECT_EQ(sError, sTimeOut);
        return Clock::now() - start;
    };
    exchange();
    const auto waited = std::chrono::milliseconds(TypeParam::Renews ? 0 : Interface);
    EXPECT_GE(exchange(), waited);
    EXPECT_GE(exchange(), waited);

    // An answered query after an unanswered one: on raw TCP as quick as any answered one.
    std::string sError;
    DataBuffer answer;
    const Clock::time_point asked = Clock::now();
    ASSERT_TRUE(this->Exchange("*OPC?", answer, sError)) << sError;
    EXPECT_LT(Clock::now() - asked, waited + std::chrono::milliseconds(2000));
    if (TypeParam::Renews) return;
    this->mPeer.AddFault({Sim::eStreamFault::NoReply, 0});
    exchange();
    std::thread abort([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        Instrument::RequestAbort(this->pInstance.get());
    });
    const Clock::time_point start = Clock::now();
    EXPECT_FALSE(this->Send("*IDN?", sError));
    const auto elapsed = Clock::now() - start;
    abort.join();
    EXPECT_EQ(sError, this->Text(TypeParam::WriteName, Instrument::AbortedText));
    EXPECT_LT(elapsed, std::chrono::milliseconds(Interface));
}

// An answer later than the wait for it (the identification at connect gave up after 200 ms, the
// answer comes 0.9 s after its query): the next exchange gets its own answer, neither the late
// one nor both joined, and nothing of the late one reaches a later exchange. Raw TCP leaves it
// behind on the old connection; a serial line waits for it as long as the next answer may take.
TYPED_TEST(StreamTransportTest, AnAnswerLaterThanItsWaitNeverReachesALaterExchange) {
    InterfaceTimeouts timeouts(300);
    this->Reopen(200);
    this->mPeer.AddFault({Sim::eStreamFault::Delay, 900});
    std::string sError;
    DataBuffer answer;
    EXPECT_FALSE(this->Exchange("*IDN?", answer, sError));
    const int iConnections = this->mPeer.ConnectionsAccepted(); // the query came on the last one
    TypeParam::SetTimeout(*this->pInstance, 5000);
    for (const char* pQuery : {"*OPC?", "SIM:ECHO? two"}) {
        ASSERT_TRUE(this->Exchange(pQuery, answer, sError)) << sError;
        EXPECT_EQ(answer.view(), pQuery[1] == 'O' ? "1\n" : "two\n");
    }
    if constexpr (TypeParam::Renews) {
        EXPECT_EQ(this->mPeer.ConnectionsAccepted(), iConnections + 1);
    }
}

// A Siglent logic line announces its points and sends them packed eight to a byte. Told so for
// the exchange, the transport ends the answer with the text behind the packed bytes, not after
// the time-out; a reception that ends inside them with a 0x0A does not end it early.
TYPED_TEST(StreamTransportTest, ALogicLineBlockEndsBehindItsPackedBytes) {
    // With a time-out of 20 s, a read that waited for 1001 bytes would not end with an empty
    // error text.
    this->Reopen(20000);
    Bytes packed(126);
    for (std::size_t i = 0; i < packed.size(); ++i) packed[i] = static_cast<std::uint8_t>(i * 37 + 5);
    packed[40] = 0x0A;
    packed.back() = 0x0A;
    const Bytes header = ToBytes("DAT2,#9000001001");
    Bytes answerBytes = header;
    answerBytes.insert(answerBytes.end(), packed.begin(), packed.end());
    answerBytes.push_back('\n');
    this->mPeer.Device().SetAnswer("LINE?", answerBytes);
    std::string sError;
    DataBuffer answer;
    struct uCase {
        const char* sWhat;
        int iSplit; // bytes of the first reception; 0: one piece
    };
    const uCase cases[] = {
        {"whole", 0},
        {"a reception ends with a 0x0A inside the packed bytes", static_cast<int>(header.size() + 41)},
        {"a reception ends with the last packed byte, 0x0A", static_cast<int>(header.size() + packed.size())},
    };
    for (const uCase& c : cases) {
        if (c.iSplit > 0) this->mPeer.AddFault({Sim::eStreamFault::Split, c.iSplit, 0, this->AllTaken()});
        this->pInstance->eBlockUnit = Instrument::eBlockUnit::Bits;
        ASSERT_TRUE(this->Exchange("LINE?", answer, sError)) << c.sWhat << ": " << sError;
        EXPECT_EQ(sError, "") << c.sWhat;
        EXPECT_EQ(ToBytes(answer), answerBytes) << c.sWhat;
        EXPECT_EQ(this->pInstance->iStaleBytes, 0u) << c.sWhat;
    }
    // Byte blocks keep their rule, the LF inside a block included.
    this->pInstance->eBlockUnit = Instrument::eBlockUnit::Bytes;
    ASSERT_TRUE(this->Exchange("SIM:BLOC? 2000", answer, sError)) << sError;
    EXPECT_EQ(ToBytes(answer), BlockAnswer(2000));
    EXPECT_EQ(sError, "");
}

TEST(AnswerCompleteTest, ALogicLineBlockCountsPointsPackedEightToAByte) {
    using Instrument::eBlockUnit;
    struct uCase {
        std::string sAnswer;
        eBlockUnit eUnit;
        bool fComplete;
    };
    const std::string Two = "\x01\x02";
    const uCase cases[] = {
        {"DAT2,#9000000009" + Two + "\n", eBlockUnit::Bits, true},  // 9 points in 2 bytes
        {"DAT2,#9000000009" + Two + "\n", eBlockUnit::Bytes, false}, // 9 bytes announced
        {"DAT2,#9000000009\n\n", eBlockUnit::Bits, false},          // the LF is the second packed byte
        {"DAT2,#9000000009\n\n\n", eBlockUnit::Bits, true},
        {"DAT2,#9000000016" + Two + "\n", eBlockUnit::Bits, true},
        {"DAT2,#9000000017" + Two + "\n", eBlockUnit::Bits, false}, // 17 points take 3 bytes
        {"DAT2,#9000000017" + Two + "\x03\n", eBlockUnit::Bits, true},
        {"DAT2,#9000000000\n", eBlockUnit::Bits, true},
        // Only the data block, bare or behind "DAT2,", counts points: the descriptor behind it counts bytes.
        {"DAT2,#9000000016" + Two + "\n;DESC,#9000000004\n\n\n\n\n", eBlockUnit::Bits, true},
        {"DAT2,#9000000016" + Two + "\n;DESC,#9000000016" + Two + "\n", eBlockUnit::Bits, false},
        {"DESC,#9000000016" + Two + "\n", eBlockUnit::Bits, false},
        {"#9000000016" + Two + "\n", eBlockUnit::Bits, true}, // bare, as the current firmware sends it
        {"#9000000016" + Two + "\n;DESC,#9000000004\n\n\n\n\n", eBlockUnit::Bits, true},
        {"#9000000016" + Two + "\n;DESC,#9000000016" + Two + "\n", eBlockUnit::Bits, false},
        {"#9000000016" + Two + "\n;#9000000016" + Two + "\n", eBlockUnit::Bits, false}, // a bare descriptor too
        {"dat2,#9000000008\x0A\n", eBlockUnit::Bits, true},
        {"DAT2,#9000000008\x0A", eBlockUnit::Bits, false}, // the packed byte alone is no end
        {"ON;OFF\n", eBlockUnit::Bits, true},              // texts keep the text rule
    };
    for (const uCase& c : cases) {
        EXPECT_EQ(StreamTransfer::AnswerComplete(reinterpret_cast<const std::uint8_t*>(c.sAnswer.data()), c.sAnswer.size(),
                                                 "\n", c.eUnit),
                  c.fComplete)
            << ::testing::PrintToString(c.sAnswer) << (c.eUnit == eBlockUnit::Bits ? " bits" : " bytes");
    }
}

TEST(AnswerCompleteTest, ImagesWithoutABlockHeaderEndByTheirOwnStructure) {
    auto complete = [](const std::vector<std::uint8_t>& b, std::size_t n, const std::string& sEnd = "\n") {
        return StreamTransfer::AnswerComplete(b.data(), n, sEnd);
    };
    const QImage screen = Sim::ScreenPicture(6, 3);
    const std::vector<std::uint8_t> png = Sim::PngFile(screen);
    std::vector<std::uint8_t> pngLf = png;
    pngLf.push_back('\n');
    const std::vector<std::uint8_t> bmp = Sim::BmpFile(screen, false);
    std::vector<std::uint8_t> bmpLf = bmp;
    bmpLf.push_back('\n');
    // Every prefix of the file is incomplete, the LF of the signature and any LF inside included.
    for (std::size_t n = 1; n < png.size(); ++n) EXPECT_FALSE(complete(png, n)) << "PNG of " << n << " bytes";
    for (std::size_t n = 7; n < bmp.size(); ++n) EXPECT_FALSE(complete(bmp, n)) << "BMP of " << n << " bytes";
    EXPECT_TRUE(complete(png, png.size()));
    EXPECT_TRUE(complete(png, png.size(), "")); // no text needed at all
    EXPECT_TRUE(complete(pngLf, pngLf.size()));
    EXPECT_TRUE(complete(bmp, bmp.size()));
    EXPECT_TRUE(complete(bmpLf, bmpLf.size()));

    // Sizes beyond bounds are not believed.
    std::vector<std::uint8_t> huge = bmpLf;
    huge[5] = 0x7F; // 2 GiB and more
    EXPECT_FALSE(complete(huge, huge.size()));
    std::vector<std::uint8_t> chunk = pngLf;
    chunk[8] = 0x80; // a chunk length above 2^31 - 1
    EXPECT_FALSE(complete(chunk, chunk.size()));

    // Texts that merely begin like an image keep the text rule.
    auto text = [&](const std::string& s) {
        return complete(std::vector<std::uint8_t>(s.begin(), s.end()), s.size());
    };
    EXPECT_TRUE(text("BMP\n"));
    EXPECT_TRUE(text("BM\n"));
    EXPECT_TRUE(text("BMW,X5,1234\n")); // no reserved zeros: not a bitmap
    EXPECT_FALSE(text("BMP"));
    EXPECT_TRUE(text("#15BMabc\n"));     // a block keeps its own rule
}

TEST(AnswerCompleteTest, TheEndOfMessageTextCountsOnlyBehindALeadingBlock) {
    auto complete = [](const std::string& s, const std::string& sEnd = "\n") {
        return StreamTransfer::AnswerComplete(reinterpret_cast<const std::uint8_t*>(s.data()), s.size(), sEnd);
    };
    EXPECT_TRUE(complete("\n"));
    EXPECT_TRUE(complete("1.5\n"));
    EXPECT_FALSE(complete("1.5"));
    EXPECT_FALSE(complete("1.5\n", ""));
    EXPECT_TRUE(complete("ok\r\n", "\r\n"));
    EXPECT_FALSE(complete("ok\n", "\r\n"));
    EXPECT_FALSE(complete("#15ab\n"));    // 5 data bytes announced, 3 arrived
    EXPECT_FALSE(complete("#15ab\nc\n"));  // the last LF is the block's fifth byte
    EXPECT_TRUE(complete("#15ab\nc\n\n"));
    EXPECT_FALSE(complete("#15ab\ncd"));
    EXPECT_TRUE(complete("#15ab\ncd,1\n"));
    EXPECT_TRUE(complete("#0\n"));
    EXPECT_FALSE(complete("#0"));
    EXPECT_TRUE(complete("#x\n"));  // not a block header: an answer like any other
    EXPECT_TRUE(complete("#3a\n")); // neither
    EXPECT_FALSE(complete("#9000000")); // a header still arriving
}

} // namespace
