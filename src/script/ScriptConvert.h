// The number and text conversions of script values. None depends on the C library's locale.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace InstrumentScript {

// Leading blanks and tabs skipped, an optional sign, then "$" and hexadecimal digits, "%" and
// binary digits, or decimal digits, up to the first other character; 0 without a digit. The
// value wraps in 64 bits.
std::int64_t TextToInteger(std::string_view sText);

// "+Infinity", "-Infinity" and "NaN" in any case; otherwise the leading decimal number (white
// space skipped, optional sign, a point, optional exponent); 0.0 when there is none.
double TextToFloat(std::string_view sText);

// "true" in any case gives 1, every other text 0.
std::int64_t TextToBoolean(std::string_view sText);

// The nearest whole number, a half to the even neighbour; NaN gives 0, values beyond the
// 64-bit range the nearest limit.
std::int64_t FloatToInteger(double dValue);

// Ten decimals after a point, trailing zeros and a bare point dropped; "+Infinity",
// "-Infinity", "NaN"; never "-0". The form of log lines, comparisons and values put into texts.
std::string FloatToPlainText(double dValue);

// The user's separators, as many decimals as the value needs (at most ten): the form of values
// stored as strings, saved as text, copied to the clipboard and shown in wait lines.
std::string FloatToLocalizedText(double dValue);

// Lower case of A to Z only, every other byte kept: positions stay those of the text as typed.
std::string LowerAscii(std::string_view sText);

// Seconds since midnight as "hh:ii:ss" (taken modulo one day).
std::string TimeOfDayText(std::int64_t iSeconds);
// Seconds since 1970-01-01 00:00:00 as "yyyy-mm-dd hh:ii:ss" (civil calendar, no time zone).
std::string DateTimeText(std::int64_t iSeconds);

} // namespace InstrumentScript
