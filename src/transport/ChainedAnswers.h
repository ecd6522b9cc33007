// Chained queries (":WAV:DATA?;:WAV:PRE?;:CHAN1:UNIT?"): how many answers a program message
// awaits, how an answer that came is read, and the joining of answers that an instrument sent as
// messages of their own into the one-message form (answers separated by ";"). Every door reads
// what came by the one walk here: a stream its bytes as they arrive, VXI-11 and USBTMC their
// messages one behind the other (ScanAnswer).
//
// An answer unit is a definite-length block "#n..." (bare or behind "DAT2,", "DESC," or
// ":TRAC:DATA ", any case), skipped whole, or text up to the next ";" outside string data or the
// end-of-message text. String data begins a data element (a unit's first byte, or the byte behind
// a ","): "..." with a doubled quote closing and opening again; a quote anywhere else is text
// (an inch sign). The end text ends a message also inside a string (none holds one), so a quote
// without its partner costs only its own message.
// The end texts right behind a block are the block's own line ends ("#9...\n;" and "#9...\n\n" in
// one message, "#9...\n" and the message's "\n" as a message of its own): the ";" behind them, or
// the last of them, ends the block's unit. Anywhere else every separator ends a unit: a message
// that holds only its end is one empty answer (an empty label sent as a bare line end), and so is
// an empty unit between or behind ";" ("a;;b", "a;b;\n" hold three).
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

// What the walk found in an answer pData[0, iSize) that awaits iAwaited answers.
struct uAnswerScan {
    // The answer's length once it holds the awaited answers (with one or none awaited: its first
    // message, also an empty one) and a message ends there; 0 while it does not. What follows
    // belongs to a later message.
    std::size_t iEnd = 0;
    // The answers closed by the last message end walked over, and the bytes up to and with it:
    // the whole messages that came.
    std::size_t iWhole = 0;
    std::size_t iWholeEnd = 0;
    // The last unit closed there is a block: one more of its own line ends may follow.
    bool fBlockLast = false;
    // A block reaches beyond iSize: its data goes on in what comes next, whatever ended the message.
    bool fOpenBlock = false;
};

// Walks the answer up to its end (iEnd) or up to iSize. With eUnit Bits the data block (the
// first unit), bare or behind "DAT2,", counts points (eight to a byte).
uAnswerScan ScanAnswer(const std::uint8_t* pData, std::size_t iSize, const std::string& sEndOfMessage,
                       eBlockUnit eUnit, std::size_t iAwaited);

// The answers of a text answer as the exchange counts them: split at ";" outside blocks and
// strings, empty fields kept.
std::vector<std::string> AnswerFields(std::string_view sAnswer);

// Replaces every message end found between two answer units of pData[0, iSize) by ";" and
// returns the new size: answers that came as messages of their own read as one message.
std::size_t JoinAnswers(std::uint8_t* pData, std::size_t iSize, const std::string& sEndOfMessage,
                        eBlockUnit eUnit);

} // namespace Instrument
