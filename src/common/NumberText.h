// Numbers as text: typed and shown in the user's locale, and the fast fixed-point formatter of
// the waveform files. Nothing here depends on the C library's locale (the GUI toolkit sets it
// from the environment): conversions use std::to_chars and std::from_chars.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace Utility {

// The user locale's separators (UTF-8; "." and "," when the locale cannot be read).
std::string GetDecimalSeparator();
std::string GetThousandsSeparator();

// A number typed in the user's locale. Blanks are ignored; a thousands separator counts only
// where it separates whole groups of three digits of the integer part (so "3.5" in a locale
// whose thousands separator is "." reads as 3.5, "1.234,5" as 1234.5); the decimal separator
// is the point. Reading stops at the first character that does not fit; no number gives 0.0.
double ValLocalized(std::string_view sText);

// The value with the user's separators (read once per run), the integer part grouped in
// threes. Decimals below 0 mean as many as the fraction needs (at most 10). Non-finite values
// give "NaN", "+Infinity" or "-Infinity".
std::string StrDLocalized(double dValue, int iDecimals);

// The texts of the non-finite values, shared by both formatters.
inline constexpr std::string_view NotANumberText = "NaN";
inline constexpr std::string_view PlusInfinityText = "+Infinity";
inline constexpr std::string_view MinusInfinityText = "-Infinity";

// Longest text FormatDoubleFast writes (sign, 309 integer digits, point, MaxFastDecimals).
inline constexpr int MaxFastDecimals = 30;
inline constexpr std::size_t FormatDoubleFastMaxLength = 1 + 309 + 1 + MaxFastDecimals;

// Fixed-point text of the value with at most iDecimals decimals (0 to 30; outside, clamped),
// exactly rounded, ties away from zero; "." as point, no trailing zeros and no bare point;
// "-" whenever the value is below 0.0 (so -1e-13 gives "-0" with 12 decimals). Writes into
// pOut, which must hold FormatDoubleFastMaxLength characters, and returns the length. No
// allocation.
std::size_t FormatDoubleFast(double dValue, int iDecimals, char* pOut);
// The same, appended to sOut (no allocation when its capacity suffices).
void AppendDoubleFast(std::string& sOut, double dValue, int iDecimals);
// The same, as a new text.
std::string FormatDoubleFast(double dValue, int iDecimals);

} // namespace Utility
