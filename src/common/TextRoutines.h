// Small stateless text routines: trimming by a set of characters, splitting, "True"/"False",
// zero-padded binary text and the hex dump with offset and character columns. Texts are UTF-8.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace Utility {

// Every character (code point) of sSet counts, in any order.
std::string TrimCharactersLeft(std::string_view sText, std::string_view sSet);
std::string TrimCharactersRight(std::string_view sText, std::string_view sSet);
std::string TrimCharacters(std::string_view sText, std::string_view sSet);

// Clears the list and fills it with the fields between occurrences of the whole separator.
// Empty fields are kept; the list always holds at least one field. An empty separator gives
// the whole text as the one field.
void SplitStringToList(std::string_view sText, std::vector<std::string>& list, std::string_view sSeparator);

// Appends the code point as UTF-8.
void AppendUtf8(std::string& s, char32_t c);

// UTF-16LE code units (an odd last byte is ignored) as UTF-8; a lone surrogate becomes U+FFFD.
std::string Utf16LeToUtf8(std::string_view bytes);

// Bytes read as single-byte text: 0x80 to 0xFF are taken as Latin-1 and written as UTF-8.
std::string Latin1ToUtf8(std::string_view sBytes);

// The character of a byte read as Windows-1252: the byte itself outside 0x80 to 0x9F, where the
// code page has its own (0x80 the euro sign, 0x99 the trade mark sign); 0 for the five bytes it
// leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D).
char32_t Cp1252Character(unsigned char b);

// The length of the UTF-8 character at the start of s (1 for any byte below 0x80), 0 when its
// bytes are no whole UTF-8 character or a C1 control (U+0080 to U+009F).
std::size_t Utf8Length(std::string_view s);

// The text as a status line shows it: every byte that is no printable character (control bytes
// but line feed and tab, DEL, the C1 controls, bytes of no valid UTF-8 sequence) is written
// "\xNN"; after iMostEscapes of them the rest is cut and "..." ends the text. A printable text
// comes back as it is.
std::string PrintableText(std::string_view sText, std::size_t iMostEscapes = 32);

// "True" for non-zero, "False" for zero.
std::string BoolToText(std::int64_t iValue);

// The low bits of the value in binary, padded with "0" to the width of the code: 1 or 24 give
// 8 bits, 3 or 25 16 bits, 5 32 bits, 13 and every other code 64 bits.
std::string BinaryText(std::int64_t iValue, int iWidthCode);

// The bytes from iStart up to iEnd (exclusive) of pData, iBytesPerLine (1 to 64) a line:
// "<offset>| XX XX ... " and, with fCharacters, "|<characters>|", lines ending in CR LF (the
// last only with fLastLineEnd). The offset is written with iOffsetDigits upper-case hex digits
// (0: as many as the last offset, iEnd - 1, needs). Characters are the bytes 32-126 and
// 161-255 except 173 read as Latin-1 (written as UTF-8), every other byte ".". A short last
// line with characters keeps the columns of full lines. Empty text when pData is null, iEnd is
// not above 0, iStart lies outside 0 to iEnd - 1, or iBytesPerLine lies outside 1 to 64.
std::string HexDump(const std::uint8_t* pData, std::int64_t iEnd, int iBytesPerLine, std::int64_t iStart,
                    bool fCharacters, bool fLastLineEnd, int iOffsetDigits);

} // namespace Utility
