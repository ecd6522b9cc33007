// Arbitrary bytes as a text file the script engine loads: byte-order marks, UTF-8 against
// Windows-1252, UTF-16LE. What is loaded must be valid UTF-8; a file refused says why.
#include "FuzzFile.h"

#include "common/FileLoading.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace {

bool ValidUtf8(const std::string& s) {
    std::size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        std::size_t n = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : 9;
        if (n == 9 || c == 0xC0 || c == 0xC1 || c > 0xF4 || i + n >= s.size() + (n ? 0 : 1)) return false;
        char32_t u = n == 0 ? c : c & (0x3F >> n);
        for (std::size_t k = 1; k <= n; ++k) {
            const auto d = static_cast<unsigned char>(s[i + k]);
            if ((d & 0xC0) != 0x80) return false;
            u = (u << 6) | (d & 0x3F);
        }
        if ((n == 2 && u < 0x800) || (n == 3 && (u < 0x10000 || u > 0x10FFFF)) || (u >= 0xD800 && u <= 0xDFFF))
            return false;
        i += n + 1;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pInput, std::size_t iSize) {
    const std::string sFile = FuzzFile::Write("text", pInput, iSize);
    std::string sText, sError;
    if (Utility::LoadTextFile(sFile, sText, sError)) {
        if (!ValidUtf8(sText)) __builtin_trap();
    } else if (sError.empty()) {
        __builtin_trap();
    }
    // The name in double quotes is the same file.
    std::string sQuoted;
    if (!sText.empty() && (!Utility::LoadTextFile("\"" + sFile + "\"", sQuoted, sError) || sQuoted != sText))
        __builtin_trap();
    return 0;
}
