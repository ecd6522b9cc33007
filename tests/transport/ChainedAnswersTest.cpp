// Chained queries whose answers come joined by ";" or as messages of their own: the queries a
// command awaits, when a stream answer holds them all, and the joining into one message.
#include "transport/ChainedAnswers.h"
#include "transport/StreamTransfer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const std::uint8_t* Bytes(const std::string& s) { return reinterpret_cast<const std::uint8_t*>(s.data()); }

// A block of the given bytes with its "#9" header.
std::string Block(const std::string& sData) {
    const std::string sCount = std::to_string(sData.size());
    return "#9" + std::string(9 - sCount.size(), '0') + sCount + sData;
}

TEST(ChainedAnswersTest, QueriesOfACommand) {
    const struct {
        const char* sCommand;
        std::size_t iQueries;
    } cases[] = {
        {":WAV:SOUR CHAN1;:WAV:DATA?;:WAV:PRE?;:CHAN1:UNIT?", 3},
        {":CHAN1:DATA?;:CHAN1:DATA:HEAD?;YRES?;YOR?;YINC?;XOR?;XINC?", 7},
        {"*IDN?", 1},
        {":WAV:STAR 1;:WAV:STOP 1200", 0},
        {" :ACQ:MDEP? ; :ACQ:SRAT?;", 2},
        {":SIM:ECHO? a?b", 1}, // a "?" in the arguments is no query
        {"", 0},
        // Strings and blocks hold no unit: their ";" and "?" are data.
        {":DISP:TEXT \"x;y? z\"", 0},
        {"*IDN?;:DISP:TEXT \"a?\"", 1},
        {"*IDN?;:TIM:SCAL?", 2},
        {":DISP:TEXT 'it''s;x?';*IDN?", 1},
        {":SIM:DATA #15;A?;B;*OPC?", 1},
    };
    for (const auto& c : cases) EXPECT_EQ(Instrument::QueryCount(c.sCommand), c.iQueries) << c.sCommand;
}

// The stream rule: an answer is complete at an end text outside blocks once it holds as many
// answers as awaited; a block whose bytes hold the end text and ";" is skipped whole.
TEST(ChainedAnswersTest, AStreamAnswerIsCompleteWithEveryAwaitedAnswer) {
    const std::string sData = std::string("a\n;b\n", 5);
    const std::string sPreamble = "0,2,1200,1,1e-06,-6e-4,0,0.04,0,127";
    const struct {
        std::string sAnswer;
        std::string sEnd;
        std::size_t iAwaited;
        bool fComplete;
        std::size_t iAnswers;       // whole: as counted up to the last message end
        std::size_t iBlockEnds = 1; // the model's line ends behind a block
    } cases[] = {
        {Block(sData) + ";" + sPreamble + ";VOLT\n", "\n", 3, true, 3},
        {Block(sData) + "\n", "\n", 3, false, 1},
        {Block(sData) + "\n" + sPreamble + "\n", "\n", 3, false, 2},
        {Block(sData) + "\n" + sPreamble + "\nVOLT\n", "\n", 3, true, 3},
        {Block(sData) + "\n", "\n", 1, true, 1},
        {Block(sData) + "\n", "\n", 0, true, 1},
        {Block(sData).substr(0, 13) + "\n", "\n", 1, false, 0}, // the LF lies inside the block
        {Block(sData) + "\n\r1.5\n\r", "\n\r", 2, true, 2},
        {Block(sData) + "\n\r", "\n\r", 2, false, 1},
        {"1;2\n3\n", "\n", 3, true, 3},
        // An empty unit, and a message that holds only its end, is an empty answer.
        {"1;2;\n", "\n", 3, true, 3},
        {"1\n2\n\n", "\n", 3, true, 3},
        {"\nR,M\n", "\n", 2, true, 2},
        {"1;;2\n", "\n", 3, true, 3},
        {"DAT2," + Block(sData) + "\n;DESC," + Block("d") + ";V\n", "\n", 3, true, 3}, // a line end before ";"
        // Blocks as messages of their own, each with its own line end: no empty answer between
        // where the model ends its blocks with two; one: a bare line end behind it is an answer.
        {"DAT2," + Block(sData) + "\n\n" + Block("d") + "\n", "\n", 3, false, 2, 2},
        {"DAT2," + Block(sData) + "\n\n" + Block("d") + "\nA\n", "\n", 3, true, 3, 2},
        {Block(sData) + "\n\r\n\r1.5\n\r", "\n\r", 3, false, 2, 2},
        {Block("hello") + "\n\n", "\n", 2, true, 2},
        {Block("hello") + "\n\n", "\n", 2, false, 1, 2},
        {"#15x\nR,M\n", "\n", 2, false, 1}, // a block past its message takes the next one's bytes
        // A ";" inside string data separates nothing; a quote that begins no data element is text.
        {"\"A;B\"\nY\n", "\n", 2, true, 2},
        {"\"A;B\";Y\n", "\n", 3, false, 2},
        {"\"A\"\"B;C\";Y\n", "\n", 2, true, 2},
        {"s\";b\n", "\n", 2, true, 2},
        {"1,\"a;b\",2;s\"\n", "\n", 2, true, 2},
        {"\"A;B\nY\nZ\n", "\n", 2, true, 3}, // the end text ends a message inside a string too
        {"1, \"x;y\"\nb\n", "\n", 2, true, 2}, // white space before string data
    };
    for (const auto& c : cases) {
        EXPECT_EQ(StreamTransfer::AnswerComplete(Bytes(c.sAnswer), c.sAnswer.size(), c.sEnd,
                                                 Instrument::eBlockUnit::Bytes, c.iAwaited, c.iBlockEnds),
                  c.fComplete)
            << c.sAnswer;
        EXPECT_EQ(Instrument::ScanAnswer(Bytes(c.sAnswer), c.sAnswer.size(), c.sEnd, Instrument::eBlockUnit::Bytes, 99,
                                         c.iBlockEnds)
                      .iWhole,
                  c.iAnswers)
            << c.sAnswer;
    }
    EXPECT_EQ(Instrument::AnswerFields("a\";b;c").size(), 3u);
    EXPECT_EQ(Instrument::AnswerFields("\"x;\"\"y\",2;z").size(), 2u);
}

TEST(ChainedAnswersTest, MessagesJoinAsOneMessageWouldHaveBroughtThem) {
    const std::string sData = std::string("\n\n;\r", 4);
    const struct {
        std::string sAnswer;
        std::string sEnd;
        std::string sJoined;
        std::size_t iBlockEnds = 1;
    } cases[] = {
        {Block(sData) + "\n0,2,1200\nVOLT\n", "\n", Block(sData) + ";0,2,1200;VOLT\n"},
        {Block(sData) + ";0,2,1200;VOLT\n", "\n", Block(sData) + ";0,2,1200;VOLT\n"},
        {Block(sData) + "\n\r-1E-3\n\r8\n\r", "\n\r", Block(sData) + ";-1E-3;8\n\r"},
        {"A\n" + Block(sData) + "\n", "\n", "A;" + Block(sData) + "\n"},
        {"A\n", "\n", "A\n"},
        {"DAT2," + Block(sData) + "\n;V\n", "\n", "DAT2," + Block(sData) + "\n;V\n"},
        {"DAT2," + Block(sData) + "\n\n" + Block("d") + "\nA\n", "\n",
         "DAT2," + Block(sData) + "\n;" + Block("d") + ";A\n", 2},
        {Block("hello") + "\n\n", "\n", Block("hello") + ";\n"},
        // NULs ahead of a message and among or behind its end text pad it; inside a block they are data.
        {std::string("\0A\0\0\r\n\0\0B\0\n\0", 12), "\n", "A\r;B\n"},
        {std::string(1, '\0') + Block(std::string("\0\n\0", 3)) + std::string("\0\n\0", 3), "\n",
         Block(std::string("\0\n\0", 3)) + "\n"},
        {std::string("\0A\0", 3), std::string(1, '\0'), std::string(";A\0", 3)}, // a NUL the end text
    };
    for (const auto& c : cases) {
        std::vector<std::uint8_t> bytes(c.sAnswer.begin(), c.sAnswer.end());
        // As the doors hand an answer on: its padding off, then its messages joined.
        std::size_t n = Instrument::DropPadding(bytes.data(), bytes.size(), c.sEnd,
                                                Instrument::eBlockUnit::Bytes, c.iBlockEnds);
        n = Instrument::JoinAnswers(bytes.data(), n, c.sEnd, Instrument::eBlockUnit::Bytes, c.iBlockEnds);
        EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(n)), c.sJoined) << c.sAnswer;
    }
}

} // namespace
