// File-name templates: one expander turns a template with the tokens "/F", "/O", "/Y", "/M",
// "/D", "/H", "/N", "/S", "/Z", "/U" and "/C" into a file name, for the capture windows, the
// waveform save thread and the script. It keeps no state and may be called from any thread.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace Template {

// The local civil time of one clock reading.
struct uLocalTime {
    int iYear = 1970;
    int iMonth = 1; // 1 to 12
    int iDay = 1;
    int iHour = 0;
    int iMinute = 0;
    int iSecond = 0;
    int iMilliseconds = 0;
};

// The clock the expander reads when the caller gives no moment; nullptr restores the system's
// local time. Tests set a fixed reading.
using Clock = std::function<uLocalTime()>;
void SetClock(Clock clock);
uLocalTime Now();

// The file-name text of a data source ("Screen", ..., "Entire memory 10bit"); empty for any
// value without one.
std::string DataSourceText(std::int64_t eDataSource);

// Expands the template in one walk over it: what a token puts in is never looked at again. A
// source or channel whose token the template lacks goes in with a blank in front of the template's
// extension. A date of 0 and a millisecond value of 0 stand for the clock; a source
// without a text and an empty channel text leave "/U" and "/C" as they stand. An empty template
// gives the empty text.
std::string ExpandFileName(std::string_view sTemplate, std::string_view sManufacturer, std::string_view sModel,
                           std::int64_t iDate, std::int64_t iMilliseconds, std::int64_t eDataSource,
                           std::string_view sChannel);

// One file-name component made safe: "/", "\\" and control characters become "_", and a name
// that is empty, "." or ".." becomes "_". Instrument texts (maker, model, channel) end up in
// file names through the tokens; every caller that names a file from a template puts the
// expanded name through this before joining it to its folder.
std::string SanitizeFileName(std::string_view sName);

// The expanded name, sanitised: what the save thread and the script use.
std::string ExpandSafeFileName(std::string_view sTemplate, std::string_view sManufacturer, std::string_view sModel,
                               std::int64_t iDate, std::int64_t iMilliseconds, std::int64_t eDataSource,
                               std::string_view sChannel);

// Start-up: makes ExpandSafeFileName the expander of the waveform save thread and the script.
void RegisterExpander();

} // namespace Template
