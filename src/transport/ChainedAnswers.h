// Chained queries (":WAV:DATA?;:WAV:PRE?;:CHAN1:UNIT?"): how many answers a program message
// awaits, how many an answer holds, and the joining of answers that an instrument sent as
// messages of their own into the one-message form (answers separated by ";").
//
// An answer unit is a definite-length block "#n..." (bare or behind "DAT2,", "DESC," or
// ":TRAC:DATA ", any case), skipped whole, or text up to the next ";" outside string data
// ("...", a doubled quote closing and opening again) or end-of-message text. The end text ends a
// message also inside a string (none holds one), so a stray quote cannot join two messages.
// An end text followed by ";" or by another end text separates nothing (no answer is empty): a
// block's own line end behind it ("#9...\n;" in one message, "#9...\n\n" as a message of its own)
// stays with the block, and the separator after it ends the unit.
#pragma once

#include "transport/BlockHeader.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace Instrument {

// The length of the text that announces a block at pData ("DAT2," and the others above, any
// case); 0 where none does.
std::size_t BlockPrefixLength(const std::uint8_t* pData, std::size_t iSize);

// The units of a program message, each without its ";": they end at ";" outside string data
// ('...' or "...", a doubled quote closing and opening again) and outside blocks (an indefinite
// one, "#0", reaches the end). An empty message is one empty unit.
std::vector<std::string_view> ProgramUnits(std::string_view sCommand);

// The queries of a program message: its units (ProgramUnits) whose header ends with "?".
std::size_t QueryCount(std::string_view sCommand);

// Counts the answer units of pData[0, iSize): units end at ";" and, when sEndOfMessage is not
// empty, at that text (the end of one message of several). False while a block reaches beyond
// iSize. With eUnit Bits the data block (the first unit), bare or behind "DAT2,", counts points
// (eight to a byte).
bool CountAnswers(const std::uint8_t* pData, std::size_t iSize, const std::string& sEndOfMessage,
                  eBlockUnit eUnit, std::size_t& iAnswers);

// The one rule of every connection for an answer that ends where a message ends (a stream's end
// text, VXI-11 END, USBTMC EOM): its answer units as CountAnswers counts them with sEndOfMessage
// as a separator, the end text at the very end closing the last unit. With fNeedEnd (a stream,
// whose answer has no other end) an answer that does not end with the end text outside every
// block counts as unfinished (false); without it, such an answer is counted as it is.
bool CountMessageAnswers(const std::uint8_t* pData, std::size_t iSize, const std::string& sEndOfMessage,
                         eBlockUnit eUnit, bool fNeedEnd, std::size_t& iAnswers);

// The length of the answer at the start of pData[0, iSize) that holds iAwaited answers and ends
// where a message ends (the end text outside blocks); with one or none awaited, the first message,
// also an empty one. 0 while it has not come whole. What follows it belongs to a later message.
std::size_t AnswerEnd(const std::uint8_t* pData, std::size_t iSize, const std::string& sEndOfMessage,
                      eBlockUnit eUnit, std::size_t iAwaited);

// The answers of a text answer as the exchange counts them: split at ";" outside blocks and
// strings, empty fields kept.
std::vector<std::string> AnswerFields(std::string_view sAnswer);

// True when pData[0, iSize) ends with a separator outside every block (";" or the end text):
// an answer that follows it starts a unit of its own.
bool EndsAtSeparator(const std::uint8_t* pData, std::size_t iSize, const std::string& sEndOfMessage,
                     eBlockUnit eUnit);

// Replaces every end-of-message text found between two answer units of pData[0, iSize) by ";"
// and returns the new size: answers that came as messages of their own read as one message.
std::size_t JoinAnswers(std::uint8_t* pData, std::size_t iSize, const std::string& sEndOfMessage,
                        eBlockUnit eUnit);

} // namespace Instrument
