// What the raw TCP and the serial transport share, run against both: the simulated instrument
// behind a loopback listener and behind a pseudo-terminal.
#include "StreamTransportFixture.h"
#include "transport/BlockHeader.h"

#include <chrono>

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
    ASSERT_TRUE(this->Exchange("*IDN?", answer, sError));
    EXPECT_EQ(sError, sTimeOut);
    EXPECT_EQ(answer.view(), this->mPeer.Device().Idn() + "\n");

    // A block that announces far more than comes: what came, by the time-out.
    sError.clear();
    this->mPeer.Device().SetAnswer("LIE?", ToBytes("#9999999999abc\n"));
    ASSERT_TRUE(this->Exchange("LIE?", answer, sError));
    EXPECT_EQ(sError, sTimeOut);
    EXPECT_EQ(answer.view(), "#9999999999abc\n");
    EXPECT_EQ(answer.size(), 15u);

    // No end-of-message text at all: every read ends by the time-out.
    sError.clear();
    TypeParam::SetEndOfMessage(*this->pInstance, "");
    ASSERT_TRUE(this->Send("*OPC?\n", sError)) << sError;
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

    // A write stops after its first piece.
    const Bytes payload(3 * TypeParam::Piece, 'x');
    std::size_t iSent = 0;
    ASSERT_TRUE(TypeParam::PrepareData(*this->pInstance, "SIM:DATA ", payload.data(), payload.size(), sError));
    Instrument::RequestAbort(this->pInstance.get());
    EXPECT_FALSE(TypeParam::SendData(*this->pInstance, iSent, Window, sError));
    EXPECT_EQ(sError, this->Text(TypeParam::WriteName, "The communication was terminated by instruction."));
    EXPECT_GT(iSent, 0u);
    EXPECT_LE(iSent, TypeParam::Piece);
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
