#include "common/TextRoutines.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string Dump(const std::string& sBytes, int iPerLine, std::int64_t iStart, bool fCharacters, bool fLineEnd,
                 int iDigits, std::int64_t iEnd = -1) {
    const auto* p = reinterpret_cast<const std::uint8_t*>(sBytes.data());
    return Utility::HexDump(p, iEnd < 0 ? static_cast<std::int64_t>(sBytes.size()) : iEnd, iPerLine, iStart,
                            fCharacters, fLineEnd, iDigits);
}

TEST(Trim, RemovesSetCharactersAtTheEndsOnly) {
    EXPECT_EQ(Utility::TrimCharacters(" \t\r\n \n", " \t\r\n"), "");
    EXPECT_EQ(Utility::TrimCharacters("\r\n *IDN? x \t", " \t\r\n"), "*IDN? x");
    EXPECT_EQ(Utility::TrimCharacters("\"a\"b\"", "\""), "a\"b");
    EXPECT_EQ(Utility::TrimCharactersLeft("..1.5..", "."), "1.5..");
    EXPECT_EQ(Utility::TrimCharactersRight("..1.5..", "."), "..1.5");
    EXPECT_EQ(Utility::TrimCharacters("123.45abc", "0123456789."), "abc");
    EXPECT_EQ(Utility::TrimCharacters("abc", ""), "abc");
    // A set character of several bytes is one character; its bytes alone are not.
    EXPECT_EQ(Utility::TrimCharacters("ääabcxä", "äx"), "abc");
    EXPECT_EQ(Utility::TrimCharacters("öabc", "ä"), "öabc");
}

TEST(Split, KeepsEveryFieldBetweenSeparators) {
    std::vector<std::string> list = {"old"};
    Utility::SplitStringToList("a;;b;", list, ";");
    EXPECT_EQ(list, (std::vector<std::string>{"a", "", "b", ""}));
    Utility::SplitStringToList("", list, ",");
    EXPECT_EQ(list, (std::vector<std::string>{""}));
    Utility::SplitStringToList(";x", list, ";");
    EXPECT_EQ(list, (std::vector<std::string>{"", "x"}));
    Utility::SplitStringToList("a<>b<>", list, "<>");
    EXPECT_EQ(list, (std::vector<std::string>{"a", "b", ""}));
    Utility::SplitStringToList(" a b ", list, " ");
    EXPECT_EQ(list, (std::vector<std::string>{"", "a", "b", ""}));
    Utility::SplitStringToList("a,b", list, "");
    EXPECT_EQ(list, (std::vector<std::string>{"a,b"}));
}

TEST(PrintableText, EscapesWhatIsNoPrintableCharacterAndCutsALongRun) {
    EXPECT_EQ(Utility::PrintableText("ä\tb\n€𝄞"), "ä\tb\n€𝄞");
    EXPECT_EQ(Utility::PrintableText(std::string(">\0\x1B\x7F\xC2\x85\xC3(\xED\xA0\x80<", 12)),
              ">\\x00\\x1B\\x7F\\xC2\\x85\\xC3(\\xED\\xA0\\x80<");
    EXPECT_EQ(Utility::PrintableText("a\x01\x02\x03" "b", 2), "a\\x01\\x02...");
}

TEST(BoolAndBinaryText, WriteFixedForms) {
    EXPECT_EQ(Utility::BoolToText(0), "False");
    EXPECT_EQ(Utility::BoolToText(-5), "True");
    EXPECT_EQ(Utility::BinaryText(0x41, 1), "01000001");
    EXPECT_EQ(Utility::BinaryText(-1, 1), "11111111");
    EXPECT_EQ(Utility::BinaryText(0x1FF, 24), "11111111");
    EXPECT_EQ(Utility::BinaryText(5, 5), std::string(29, '0') + "101");
    EXPECT_EQ(Utility::BinaryText(0x8001, 3), "1000000000000001");
    EXPECT_EQ(Utility::BinaryText(0, 25), std::string(16, '0'));
    EXPECT_EQ(Utility::BinaryText(-1, 13), std::string(64, '1'));
    EXPECT_EQ(Utility::BinaryText(2, 99), std::string(62, '0') + "10");
}

TEST(HexDump, WritesOffsetBytesAndCharacters) {
    const std::string data = std::string(16, '\0') + "AB\r\n";
    EXPECT_EQ(Dump(data, 4, 16, true, true, 4), "0010| 41 42 0D 0A |AB..|\r\n");
    EXPECT_EQ(Dump("Hello", 16, 0, false, false, 0), "0| 48 65 6C 6C 6F ");
    EXPECT_EQ(Dump("Hello", 16, 0, false, true, 0), "0| 48 65 6C 6C 6F \r\n");

    // Ten bytes from offset 3, four a line: the last offset 9 needs one digit.
    EXPECT_EQ(Dump("0123456789", 4, 3, true, false, 0), "3| 33 34 35 36 |3456|\r\n7| 37 38 39    |789 |  ");
    // Only the low digits of the offset are written; more digits are zero-padded.
    EXPECT_EQ(Dump(std::string(0x120, 'z'), 16, 0x110, false, false, 2, 0x111), "10| 7A ");
    EXPECT_EQ(Dump("z", 1, 0, false, false, 6), "000000| 7A ");
}

TEST(HexDump, PadsAShortLastLineToFullWidth) {
    const std::string sFull = Dump(std::string(16, 'a') + "x", 16, 0, true, true, 0);
    const std::string sFirstLine = sFull.substr(0, sFull.find("\r\n") + 2);
    const std::string sShort = Dump("ABC", 16, 0, true, false, 0);
    EXPECT_EQ(sShort.size(), sFirstLine.size() - 1); // one offset digit fewer
    EXPECT_EQ(sShort, "0| 41 42 43 " + std::string(39, ' ') + "|ABC" + std::string(13, ' ') + "|  ");
}

TEST(HexDump, ShowsPrintableLatin1AsCharacters) {
    const std::string data = "\x1F\x7F\xA0\xA1\xAD\xE4\xFF ~";
    EXPECT_EQ(Dump(data, 9, 0, true, false, 0), "0| 1F 7F A0 A1 AD E4 FF 20 7E |...\xC2\xA1.\xC3\xA4\xC3\xBF ~|");
}

TEST(HexDump, ProducesNothingForInvalidArguments) {
    const std::string data = "abcd";
    EXPECT_EQ(Utility::HexDump(nullptr, 4, 16, 0, true, true, 0), "");
    EXPECT_EQ(Dump(data, 16, 0, true, true, 0, 0), "");
    EXPECT_EQ(Dump(data, 16, -1, true, true, 0), "");
    EXPECT_EQ(Dump(data, 16, 4, true, true, 0), "");
    EXPECT_EQ(Dump(data, 0, 0, true, true, 0), "");
    EXPECT_EQ(Dump(data, 65, 0, true, true, 0), "");
    EXPECT_NE(Dump(data, 64, 0, true, true, 0), "");
}

TEST(Latin1, HighBytesBecomeUtf8) {
    EXPECT_EQ(Utility::Latin1ToUtf8("a\xE4\xFF"), "a\xC3\xA4\xC3\xBF");
    EXPECT_EQ(Utility::Latin1ToUtf8(""), "");
}

} // namespace
