#include "common/DataBuffer.h"
#include "instrument/ConnectionDescription.h"
#include "transport/AbortRequests.h"
#include "transport/BlockHeader.h"
#include "transport/DataBuffers.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

std::vector<std::uint8_t> Bytes(const std::string& s) { return {s.begin(), s.end()}; }

std::size_t Parse(const std::string& s, std::size_t iOffset, std::uint64_t* piCount,
                  Instrument::eBlockUnit eUnit = Instrument::eBlockUnit::Bytes) {
    const auto v = Bytes(s);
    return Instrument::ParseBlockHeader(v.data(), iOffset, v.size(), piCount, eUnit);
}

TEST(AbortRequests, AreFiledOnceAndTakenOnce) {
    int a = 0, b = 0;
    Instrument::RequestAbort(&a);
    Instrument::RequestAbort(&a);
    EXPECT_FALSE(Instrument::TakeAbortRequest(&b));
    EXPECT_TRUE(Instrument::TakeAbortRequest(&a));
    EXPECT_FALSE(Instrument::TakeAbortRequest(&a));

    Instrument::RequestAbort(std::uint64_t{0});
    EXPECT_FALSE(Instrument::TakeAbortRequest(std::uint64_t{0}));
}

TEST(AbortRequests, EachRequestFromManyThreadsIsTakenExactlyOnce) {
    constexpr int kIds = 200;
    std::vector<int> instances(kIds);
    std::atomic<int> iTaken{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int round = 0; round < 3; ++round) {
                for (int& instance : instances) Instrument::RequestAbort(&instance);
            }
        });
    }
    for (auto& thread : threads) thread.join();
    threads.clear();
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int& instance : instances) {
                if (Instrument::TakeAbortRequest(&instance)) ++iTaken;
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(iTaken.load(), kIds);
}

TEST(CreateMemory, GrowsByTheStepOrStraightToTheSizeNeeded) {
    DataBuffer buffer;
    std::string sError;
    ASSERT_TRUE(Instrument::CreateMemory(buffer, 100, 65536, sError));
    EXPECT_EQ(buffer.capacity(), 65536U);
    std::memset(buffer.data(), 0x5A, 100);
    ASSERT_TRUE(buffer.setSize(100));

    ASSERT_TRUE(Instrument::CreateMemory(buffer, 70000, 65536, sError));
    EXPECT_EQ(buffer.capacity(), 131072U);
    ASSERT_TRUE(Instrument::CreateMemory(buffer, 200000, 65536, sError));
    EXPECT_EQ(buffer.capacity(), 200000U);
    ASSERT_TRUE(Instrument::CreateMemory(buffer, 150000, 65536, sError));
    EXPECT_EQ(buffer.capacity(), 200000U);

    // Growing keeps what was there and the count of valid bytes.
    EXPECT_EQ(buffer.size(), 100U);
    for (std::size_t i = 0; i < 100; ++i) ASSERT_EQ(buffer[i], 0x5A);
    EXPECT_TRUE(sError.empty());
}

TEST(CreateMemory, FailsWithTheProgramsTexts) {
    DataBuffer buffer;
    std::string sError;
    EXPECT_FALSE(Instrument::CreateMemory(buffer, 0, 0, sError));
    EXPECT_EQ(sError, "Instrument::CreateMemory: Der Speicher für die Daten konnte nicht reserviert werden.");
    EXPECT_FALSE(buffer.allocated());

    EXPECT_FALSE(Instrument::CreateMemory(buffer, DataBuffer::MaxCapacity + 1, 0, sError));
    EXPECT_EQ(sError, "Instrument::CreateMemory: Der Speicher für die Daten konnte nicht reserviert werden.");

    ASSERT_TRUE(Instrument::CreateMemory(buffer, 16, 0, sError));
    EXPECT_EQ(buffer.capacity(), 16U);
    EXPECT_FALSE(Instrument::CreateMemory(buffer, DataBuffer::MaxCapacity + 1, 0x200000, sError));
    EXPECT_EQ(sError, "Instrument::CreateMemory: Der Speicher für die Daten konnte nicht vergrößert werden.");
    EXPECT_FALSE(buffer.allocated());
    EXPECT_EQ(buffer.capacity(), 0U);
}

// A receive loop writes into the room past size() and sets the size once the reply is whole
// (the VXI-11 reply buffer: a device_read reply larger than its first 64 KiB piece, with more
// data than requested, grows the buffer while its bytes lie past size()). Growing must keep
// every byte of the old block, not only the first size() ones.
TEST(DataBuffer, GrowingKeepsTheBytesWrittenPastItsSize) {
    DataBuffer buffer;
    ASSERT_TRUE(buffer.reserve(0x10000));
    ASSERT_TRUE(buffer.assign("MARK", 4));
    for (std::size_t i = 4; i < buffer.capacity(); ++i) buffer[i] = static_cast<std::uint8_t>(i * 7);
    ASSERT_TRUE(buffer.reserve(0x10000 + 0x200000));
    EXPECT_EQ(buffer.size(), 4u);
    std::size_t iLost = 0;
    for (std::size_t i = 4; i < 0x10000; ++i) iLost += buffer[i] != static_cast<std::uint8_t>(i * 7);
    EXPECT_EQ(iLost, 0u) << "bytes past size() were dropped when the buffer grew";
    ASSERT_TRUE(buffer.setSize(0x10000));
    EXPECT_EQ(buffer.view().substr(0, 4), "MARK");
}

// An answer read into the room behind the valid bytes is appended from there: the block moves
// down over its own header, the source and the target overlapping.
TEST(DataBuffer, AppendsBytesFromItsOwnRoom) {
    DataBuffer buffer;
    ASSERT_TRUE(buffer.reserve(64));
    ASSERT_TRUE(buffer.assign("samples#3abcdefghij\n", 21));
    ASSERT_TRUE(buffer.setSize(7));
    ASSERT_TRUE(buffer.append(buffer.data() + 9, 10));
    EXPECT_EQ(buffer.view(), "samplesabcdefghij");
    EXPECT_EQ(buffer.capacity(), 64u);
}

TEST(DataBuffer, AppendsCopiesAndReleases) {
    DataBuffer buffer;
    EXPECT_FALSE(buffer.setSize(1));
    ASSERT_TRUE(buffer.append("abc"));
    ASSERT_TRUE(buffer.append("defgh"));
    EXPECT_EQ(buffer.view(), "abcdefgh");
    EXPECT_GE(buffer.capacity(), buffer.size());

    DataBuffer copy = buffer;
    copy[0] = 'X';
    EXPECT_EQ(buffer.view(), "abcdefgh");
    EXPECT_EQ(copy.view(), "Xbcdefgh");

    DataBuffer moved = std::move(copy);
    EXPECT_EQ(moved.view(), "Xbcdefgh");
    EXPECT_FALSE(copy.allocated()); // NOLINT(bugprone-use-after-move): a moved-from buffer is empty

    ASSERT_TRUE(moved.assign("12", 2));
    EXPECT_EQ(moved.view(), "12");
    EXPECT_FALSE(moved.reserve(DataBuffer::MaxCapacity + 1));
    EXPECT_EQ(moved.view(), "12");

    DataBuffer sendData = DataBuffer::FromText("*IDN?\n");
    Instrument::FreeDataBuffers(sendData, moved);
    EXPECT_FALSE(sendData.allocated());
    EXPECT_FALSE(moved.allocated());
    EXPECT_EQ(sendData.size(), 0U);
    Instrument::FreeDataBuffers(sendData, moved); // already freed: nothing happens
}

TEST(BlockHeader, IsBuiltWithItsDigitCount) {
    std::string s = "old";
    EXPECT_EQ(Instrument::CreateBlockHeader(0, s), 0U);
    EXPECT_EQ(s, "");
    EXPECT_EQ(Instrument::CreateBlockHeader(9, s), 3U);
    EXPECT_EQ(s, "#19");
    EXPECT_EQ(Instrument::CreateBlockHeader(1234, s), 6U);
    EXPECT_EQ(s, "#41234");
    EXPECT_EQ(Instrument::CreateBlockHeader(987654321, s), 11U);
    EXPECT_EQ(s, "#9987654321");
    // Ten digits cannot be announced with one length digit.
    EXPECT_EQ(Instrument::CreateBlockHeader(1000000000, s), 0U);
    EXPECT_EQ(s, "");
}

TEST(BlockHeader, ParsesValidHeadersOnly) {
    std::uint64_t iCount = 77;
    EXPECT_EQ(Parse("#41234" + std::string(1234, 'x'), 0, &iCount), 6U);
    EXPECT_EQ(iCount, 1234U);
    EXPECT_EQ(Parse("#0", 0, &iCount), 2U);
    EXPECT_EQ(iCount, 0U);
    EXPECT_EQ(Parse("#15abcde\n", 0, nullptr), 3U);

    iCount = 77;
    EXPECT_EQ(Parse("#A1234", 0, &iCount), 0U);
    EXPECT_EQ(Parse("#412x4" + std::string(2000, 'x'), 0, &iCount), 0U);
    EXPECT_EQ(Parse("X41234", 0, &iCount), 0U);
    EXPECT_EQ(Parse("#", 0, &iCount), 0U);
    EXPECT_EQ(Parse("#912345678", 0, &iCount), 0U); // 10 bytes: the nine digits do not fit
    EXPECT_EQ(iCount, 77U);
    EXPECT_EQ(Instrument::ParseBlockHeader(nullptr, 0, 10, &iCount), 0U);
    const auto v = Bytes("#15abcde");
    EXPECT_EQ(Instrument::ParseBlockHeader(v.data(), 0, 0, &iCount), 0U);
    EXPECT_EQ(iCount, 77U);
}

TEST(BlockHeader, StaysWithinTheValidDataFromItsOffset) {
    std::uint64_t iCount = 77;
    // Bytes 2 and 3 hold "#3": the three digits lie beyond the four valid bytes.
    const std::vector<std::uint8_t> v = {'x', 'x', '#', '3', '1', '2', '3'};
    EXPECT_EQ(Instrument::ParseBlockHeader(v.data(), 2, 4, &iCount), 0U);
    EXPECT_EQ(Instrument::ParseBlockHeader(v.data(), 4, 4, &iCount), 0U);
    EXPECT_EQ(Instrument::ParseBlockHeader(v.data(), 5, 4, &iCount), 0U);
    EXPECT_EQ(Instrument::ParseBlockHeader(v.data(), SIZE_MAX, 4, &iCount), 0U);
    EXPECT_EQ(iCount, 77U);

    // At an offset the header is found and its data must follow it.
    EXPECT_EQ(Parse("DAT2,#15abcde", 5, &iCount), 3U);
    EXPECT_EQ(iCount, 5U);
}

TEST(BlockHeader, NeverAnnouncesMoreThanIsPresent) {
    std::uint64_t iCount = 77;
    EXPECT_EQ(Parse("#15abcd", 0, &iCount), 0U);
    EXPECT_EQ(Parse("#9999999999" + std::string(100, 'x'), 0, &iCount), 0U);
    EXPECT_EQ(iCount, 77U);
    EXPECT_EQ(Parse("#15abcde", 0, &iCount), 3U);
    EXPECT_EQ(iCount, 5U);

    // Logic channels count bits: 17 bits need 3 bytes.
    EXPECT_EQ(Parse("#217ab", 0, &iCount, Instrument::eBlockUnit::Bits), 0U);
    EXPECT_EQ(Parse("#217abc", 0, &iCount, Instrument::eBlockUnit::Bits), 4U);
    EXPECT_EQ(iCount, 17U);
    EXPECT_EQ(Parse("#216ab", 0, &iCount, Instrument::eBlockUnit::Bits), 4U);
    EXPECT_EQ(iCount, 16U);
}

TEST(ConnectionDescription, ShowsItsProtocolAndCopiesDeeply) {
    EXPECT_STREQ(Instrument::ProtocolText(ProtocolUsbTmc), "USBTMC");
    EXPECT_STREQ(Instrument::ProtocolText(ProtocolLxi), "LXI");
    EXPECT_STREQ(Instrument::ProtocolText(ProtocolRawTcp), "RawTCP");
    EXPECT_STREQ(Instrument::ProtocolText(ProtocolCom), "COM");
    EXPECT_STREQ(Instrument::ProtocolText(ProtocolProprietary), "Proprietary");
    EXPECT_STREQ(Instrument::ProtocolText(0), "Error");
    EXPECT_STREQ(Instrument::ProtocolText(6), "Error");

    auto first = std::make_unique<uTaskPrepare>();
    first->rawTcp.sInstrumentIp = "127.0.0.1";
    first->sUserManufacturer = "Rigol";
    auto copy = std::make_unique<uTaskPrepare>(*first);
    EXPECT_EQ(copy->head.eTaskType, InstrumentTaskPrepare);
    copy.reset();
    EXPECT_EQ(first->rawTcp.sInstrumentIp, "127.0.0.1");
    EXPECT_EQ(first->sUserManufacturer, "Rigol");
}

} // namespace
