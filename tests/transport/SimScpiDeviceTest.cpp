// The simulated SCPI instrument that the transports are tested against: it must behave like
// an instrument (message ends, blocks in commands, query interruption), or the transport tests
// prove nothing.
#include "sim/ScpiDevice.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Text(const std::vector<std::uint8_t>& b) { return std::string(b.begin(), b.end()); }

TEST(SimScpiDeviceTest, MessagesEndWithLfOrEndAndUnitsAnswerTogether) {
    Sim::ScpiDevice d;
    d.SetIdn("ACME,Box,1,2");
    d.Write("*id", false);
    EXPECT_EQ(d.AnswerSize(), 0u);
    d.Write("n?", true); // END completes the message
    EXPECT_EQ(Text(d.Read()), "ACME,Box,1,2\n");
    d.Write(":syst:err?;*OPC?\n");
    EXPECT_EQ(Text(d.Read()), "0,\"No error\";1\n");
    d.Write("NOPE:CMD\n");
    d.Write("SYSTem:ERRor?\n");
    EXPECT_EQ(Text(d.Read()), "-113,\"Undefined header\"\n");
    EXPECT_EQ(d.Commands().back(), "SYSTem:ERRor?");
}

TEST(SimScpiDeviceTest, BlocksInCommandsMayHoldLineFeedsAndArriveInPieces) {
    Sim::ScpiDevice d;
    const std::string payload = std::string("ab\ncd;\n", 7);
    d.Write("SIM:DATA #");
    d.Write("17");
    d.Write(payload.substr(0, 3));
    EXPECT_TRUE(d.LastData().empty());
    d.Write(payload.substr(3) + "\n");
    EXPECT_EQ(Text(d.LastData()), payload);
    d.Write("*OPC?\n");
    EXPECT_EQ(Text(d.Read()), "1\n");
}

TEST(SimScpiDeviceTest, BlockAnswersTermCharReadsAndStatus) {
    Sim::ScpiDevice d;
    d.Write("SIM:BLOCK? 12\n");
    EXPECT_EQ(d.StatusByte() & 0x10, 0x10); // MAV
    std::uint8_t buffer[64];
    bool fEnd = false, fTerm = false;
    EXPECT_EQ(d.Read(buffer, 4, -1, fEnd, fTerm), 4u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), 4), "#212");
    EXPECT_FALSE(fEnd);
    const std::size_t n = d.Read(buffer, sizeof buffer, '\n', fEnd, fTerm);
    ASSERT_EQ(n, 13u);
    for (std::size_t i = 0; i < 12; ++i) EXPECT_EQ(buffer[i], Sim::ScpiDevice::PatternByte(i));
    EXPECT_TRUE(fEnd);
    EXPECT_TRUE(fTerm);
    EXPECT_EQ(d.StatusByte() & 0x10, 0);

    d.Write("SIM:BLOCK? 3,9\n");
    EXPECT_EQ(Text(d.Read(11)), "#9000000003");
    EXPECT_EQ(d.AnswerSize(), 4u);
    d.Clear();

    // A new query discards an unread answer and says so.
    d.Write("*IDN?\n");
    d.Write("*OPC?\n");
    EXPECT_EQ(Text(d.Read()), "1\n");
    d.Write("SYST:ERR?\n");
    EXPECT_EQ(Text(d.Read()), "-410,\"Query INTERRUPTED\"\n");

    // A silent instrument.
    d.SwallowAnswers(1);
    d.Write("*IDN?\n");
    EXPECT_FALSE(d.WaitForAnswer(std::chrono::milliseconds(1)));
    d.Write("*IDN?\n");
    EXPECT_TRUE(d.WaitForAnswer(std::chrono::milliseconds(1)));
}

} // namespace
