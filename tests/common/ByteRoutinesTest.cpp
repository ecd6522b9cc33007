#include "common/ByteRoutines.h"
#include "common/FileLoading.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace {

TEST(SwapEndian, ReversesTheLowBytes) {
    EXPECT_EQ(Utility::SwapEndian32(0x12345678), 0x78563412U);
    EXPECT_EQ(Utility::SwapEndian32(0xFFFFFFFF), 4294967295U);
    EXPECT_EQ(Utility::SwapEndian32(0x1122334455667788), 0x88776655U);
    EXPECT_EQ(Utility::SwapEndian16(0x0080), -32768);
    EXPECT_EQ(Utility::SwapEndian16(0x3412), 0x1234);
    EXPECT_EQ(Utility::SwapEndian16(0x7FFF0201), 0x0102);
}

// Bit by bit, without a table.
std::uint16_t CrcBitwise(const std::vector<std::uint8_t>& data) {
    unsigned crc = 0xFFFF;
    for (std::uint8_t b : data) {
        crc ^= static_cast<unsigned>(b) << 8;
        for (int i = 0; i < 8; ++i) crc = (crc & 0x8000U) != 0 ? ((crc << 1) ^ 0x1021U) & 0xFFFF : (crc << 1) & 0xFFFF;
    }
    return static_cast<std::uint16_t>(crc);
}

TEST(Crc16Ccitt, GivesTheCheckValueAndAgreesWithABitwiseCrc) {
    const std::string digits = "123456789";
    EXPECT_EQ(Utility::Crc16Ccitt(reinterpret_cast<const std::uint8_t*>(digits.data()), digits.size()), 0x29B1);
    EXPECT_EQ(Utility::Crc16Ccitt(nullptr, 10), 0xFFFF);
    EXPECT_EQ(Utility::Crc16Ccitt(reinterpret_cast<const std::uint8_t*>(digits.data()), 0), 0xFFFF);

    std::mt19937 random(7);
    for (int i = 0; i < 200; ++i) {
        std::vector<std::uint8_t> data(random() % 3000);
        for (auto& b : data) b = static_cast<std::uint8_t>(random());
        ASSERT_EQ(Utility::Crc16Ccitt(data.data(), data.size()), CrcBitwise(data));
    }
}

std::int64_t Reference(const std::vector<std::uint8_t>& data, const std::vector<std::uint8_t>& pattern,
                       std::int64_t iStart) {
    if (iStart > static_cast<std::int64_t>(data.size())) return -1;
    const auto it = std::search(data.begin() + iStart, data.end(), pattern.begin(), pattern.end());
    return it == data.end() ? -1 : it - data.begin();
}

TEST(FindBytes, AgreesWithStdSearchOnRandomData) {
    std::mt19937 random(11);
    for (int i = 0; i < 20000; ++i) {
        // A small alphabet gives many partial matches.
        const unsigned iAlphabet = 2 + random() % 4;
        std::vector<std::uint8_t> data(1 + random() % 200);
        for (auto& b : data) b = static_cast<std::uint8_t>(random() % iAlphabet);
        std::vector<std::uint8_t> pattern;
        const int iKind = static_cast<int>(random() % 4);
        if (iKind == 0) { // the very end of the data
            const std::size_t m = 1 + random() % data.size();
            pattern.assign(data.end() - static_cast<std::ptrdiff_t>(m), data.end());
        } else if (iKind == 1) { // the whole data
            pattern = data;
        } else {
            pattern.resize(1 + random() % 6);
            for (auto& b : pattern) b = static_cast<std::uint8_t>(random() % iAlphabet);
        }
        const auto iStart = static_cast<std::int64_t>(random() % (data.size() + 2));
        ASSERT_EQ(Utility::FindBytes(data.data(), static_cast<std::int64_t>(data.size()), pattern.data(),
                                     static_cast<std::int64_t>(pattern.size()), iStart),
                  Reference(data, pattern, iStart))
            << "case " << i;
    }
}

TEST(FindBytes, RejectsWhatCannotMatch) {
    const std::vector<std::uint8_t> data = {1, 2, 3, 1, 2, 3};
    const std::vector<std::uint8_t> pattern = {2, 3};
    const auto* d = data.data();
    const auto* p = pattern.data();
    EXPECT_EQ(Utility::FindBytes(d, 6, p, 2, 0), 1);
    EXPECT_EQ(Utility::FindBytes(d, 6, p, 2, 2), 4); // a start past a match skips it
    EXPECT_EQ(Utility::FindBytes(d, 6, p, 2, 5), -1);
    EXPECT_EQ(Utility::FindBytes(d, 6, p, 2, -1), -1);
    EXPECT_EQ(Utility::FindBytes(d, 6, p, 0, 0), -1);
    EXPECT_EQ(Utility::FindBytes(d, 6, p, -2, 0), -1);
    EXPECT_EQ(Utility::FindBytes(d, 1, p, 2, 0), -1);
    EXPECT_EQ(Utility::FindBytes(d, -6, p, 2, 0), -1);
    EXPECT_EQ(Utility::FindBytes(nullptr, 6, p, 2, 0), -1);
    EXPECT_EQ(Utility::FindBytes(d, 6, nullptr, 2, 0), -1);
    EXPECT_EQ(Utility::FindBytes(d, 6, d, 6, 0), 0);
    EXPECT_EQ(Utility::FindBytes(d, 6, d, 6, 1), -1);
}

TEST(MemoryHasSize, CountsValidBytes) {
    DataBuffer block;
    EXPECT_FALSE(Utility::MemoryHasSize(block, 0));
    ASSERT_TRUE(block.reserve(100));
    EXPECT_TRUE(Utility::MemoryHasSize(block, 0));
    EXPECT_FALSE(Utility::MemoryHasSize(block, 1));
    ASSERT_TRUE(block.setSize(40));
    EXPECT_TRUE(Utility::MemoryHasSize(block, 40));
    EXPECT_FALSE(Utility::MemoryHasSize(block, 41));
}

class FileLoadingTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = std::filesystem::temp_directory_path() /
              ("orvanto-files-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir);
    }
    void TearDown() override { std::filesystem::remove_all(dir); }

    std::string Write(const std::string& sName, const std::string& sBytes) {
        const std::string sPath = (dir / sName).string();
        std::ofstream(sPath, std::ios::binary) << sBytes;
        return sPath;
    }

    std::filesystem::path dir;
};

TEST_F(FileLoadingTest, ReadsTextByItsByteOrderMark) {
    std::string sText, sError;
    ASSERT_TRUE(Utility::LoadTextFile(Write("a.txt", "\xEF\xBB\xBFGr\xC3\xBC\xC3\x9F" "e\r\nx\n"), sText, sError));
    EXPECT_EQ(sText, "Gr\xC3\xBC\xC3\x9F" "e\r\nx\n");

    // UTF-16 little-endian: "ä€" and a character outside the basic plane, a lone surrogate.
    const std::string utf16("\xFF\xFE\xE4\x00\xAC\x20\x3D\xD8\x00\xDE\x00\xD8\x0D\x00", 14);
    ASSERT_TRUE(Utility::LoadTextFile(Write("b.txt", utf16), sText, sError));
    EXPECT_EQ(sText, "\xC3\xA4\xE2\x82\xAC\xF0\x9F\x98\x80\xEF\xBF\xBD\r");

    ASSERT_TRUE(Utility::LoadTextFile(Write("c.txt", "\xEF\xBB\xBF"), sText, sError));
    EXPECT_EQ(sText, "");
    ASSERT_TRUE(Utility::LoadTextFile(Write("d.txt", ""), sText, sError));
    EXPECT_EQ(sText, "");

    // Without a mark: UTF-8 when it is valid UTF-8, else Windows-1252.
    ASSERT_TRUE(Utility::LoadTextFile(Write("e.txt", "\xC3\xA4 ok"), sText, sError));
    EXPECT_EQ(sText, "\xC3\xA4 ok");
    ASSERT_TRUE(Utility::LoadTextFile(Write("f.txt", "\x80 \xE4 \x81"), sText, sError));
    EXPECT_EQ(sText, "\xE2\x82\xAC \xC3\xA4 \xC2\x81");
    ASSERT_TRUE(Utility::LoadTextFile(Write("f2.txt", "\xA0\x8E\x8D"), sText, sError));
    EXPECT_EQ(sText, "\xC2\xA0\xC5\xBD\xC2\x8D");

    // Quotes around the name are removed.
    ASSERT_TRUE(Utility::LoadTextFile("\"" + Write("g.txt", "q") + "\"", sText, sError));
    EXPECT_EQ(sText, "q");
    EXPECT_TRUE(sError.empty());
}

// Found by fuzzing: a file with the UTF-8 mark whose bytes are not UTF-8 was handed on as it
// was, so the "UTF-8" text the caller got was not UTF-8. Each byte that begins no well-formed
// sequence now becomes U+FFFD; the well-formed characters around it stay.
TEST_F(FileLoadingTest, BytesThatBreakTheUtf8MarkBecomeReplacementCharacters) {
    std::string sText, sError;
    // After the mark: NUL, "e ", a stray continuation byte, " \n=", "�", "-", 0xFF, 0xDE
    // without its continuation, an encoded surrogate (3 bytes), an overlong "/" (2 bytes) and a
    // sequence cut off by the end (2 bytes).
    const std::string sBytes("\xEF\xBB\xBF\x00" "e \xAC \n=\xC3\xA4-\xFF\xDE" "\xED\xA0\x80" "\xC0\xAF" "\xE2\x82", 22);
    ASSERT_TRUE(Utility::LoadTextFile(Write("bad.txt", sBytes), sText, sError));
    const std::string R = "\xEF\xBF\xBD";
    EXPECT_EQ(sText, std::string("\x00", 1) + "e " + R + " \n=\xC3\xA4-" + R + R + R + R + R + R + R + R + R);
}

TEST_F(FileLoadingTest, RefusesUnknownMarksAndMissingFiles) {
    std::string sText = "kept", sError;
    const std::string sBigEndian = Write("be.txt", std::string("\xFE\xFF\x00\x41", 4));
    EXPECT_FALSE(Utility::LoadTextFile(sBigEndian, sText, sError));
    EXPECT_EQ(sError, "The file format is unknown for the file:  >" + sBigEndian + "<");
    const std::string sUtf32 = Write("32.txt", std::string("\xFF\xFE\x00\x00\x41\x00\x00\x00", 8));
    EXPECT_FALSE(Utility::LoadTextFile(sUtf32, sText, sError));
    EXPECT_EQ(sError, "The file format is unknown for the file:  >" + sUtf32 + "<");
    EXPECT_EQ(sText, "kept");

    const std::string sMissing = (dir / "missing.txt").string();
    EXPECT_FALSE(Utility::LoadTextFile(sMissing, sText, sError));
    EXPECT_EQ(sError, "The file could not be opened:  >" + sMissing + "<");
    EXPECT_FALSE(Utility::LoadTextFile("", sText, sError));
    EXPECT_EQ(sError, "The file name is not present.");
}

TEST_F(FileLoadingTest, ReadsBinaryFilesWhole) {
    std::string sError;
    DataBuffer data;
    std::string sBytes(70000, '\0');
    for (std::size_t i = 0; i < sBytes.size(); ++i) sBytes[i] = static_cast<char>(i * 7);
    ASSERT_TRUE(Utility::LoadBinaryFile("\"" + Write("a.bin", sBytes) + "\"", data, sError));
    EXPECT_EQ(data.size(), sBytes.size());
    EXPECT_EQ(data.capacity(), sBytes.size());
    EXPECT_EQ(data.view(), sBytes);

    const std::string sEmpty = Write("empty.bin", "");
    EXPECT_FALSE(Utility::LoadBinaryFile(sEmpty, data, sError));
    EXPECT_EQ(sError, "The file is empty:  >" + sEmpty + "<");
    EXPECT_EQ(data.size(), sBytes.size()); // the caller's buffer is left as it was

    // A file whose size the kernel does not know (it says 0) is read to its end.
    ASSERT_TRUE(Utility::LoadBinaryFile("/proc/self/status", data, sError)) << sError;
    EXPECT_EQ(data.view().substr(0, 5), "Name:");
    EXPECT_NE(data.view().find("\nPid:"), std::string_view::npos);

    const std::string sMissing = (dir / "missing.bin").string();
    EXPECT_FALSE(Utility::LoadBinaryFile(sMissing, data, sError));
    EXPECT_EQ(sError, "The file does not exist:  >" + sMissing + "<");
    EXPECT_FALSE(Utility::LoadBinaryFile(dir.string(), data, sError));
    EXPECT_EQ(sError, "The file could not be opened:  >" + dir.string() + "<");
    EXPECT_FALSE(Utility::LoadBinaryFile("", data, sError));
    EXPECT_EQ(sError, "The file name is not present.");
}

} // namespace
