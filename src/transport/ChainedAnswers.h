// Chained queries (":WAV:DATA?;:WAV:PRE?;:CHAN1:UNIT?"): how many answers a program message
// awaits, how an answer that came is read, and the joining of answers that an instrument sent as
// messages of their own into the one-message form (answers separated by ";"). Every door reads
// what came by the one walk here: a stream its bytes as they arrive, VXI-11 and USBTMC their
// messages one behind the other (ScanAnswer).
//
// An answer unit is a definite-length block "#n..." (bare or behind "DAT2,", "DESC," or
// ":TRAC:DATA ", any case), skipped whole, or text up to the next ";" outside string data or the
// end-of-message text. String data begins a data element (a unit's first byte, or the byte behind
// a ",", white space before it passed over): "..." with a doubled quote closing and opening again;
// a quote anywhere else is text (an inch sign). The end text ends a message also inside a string
// (none holds one), so a quote without its partner costs only its own message.
// The end texts right behind a block are the block's own line ends: a ";" behind them ends the
// block's unit ("#9...\n;"), and so does the last of them. How many a block brings cannot be told
// from the bytes where an empty answer (a bare line end) may follow it: the model says it (one,
// or two as the Siglent guides show), and behind the last answer awaited every line end is the
// block's own, since nothing more was asked for. The answer keeps one of them. Anywhere else every
// separator ends a unit: a message that holds only its end is one empty answer (an empty label
// sent as a bare line end), and so is an empty unit between or behind ";" ("a;;b", "a;b;\n" hold
// three).
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
    // The answer as it is handed on: up to iEnd without the closing block's own line ends but
    // its first (iEnd when the answer does not end with a block).
    std::size_t iAnswerEnd = 0;
    // The answers closed by the last message end walked over, and the bytes up to and with it:
    // the whole messages that came.
    std::size_t iWhole = 0;
    std::size_t iWholeEnd = 0;
    // The line ends of its own that the block closed there brought (0: the last unit closed
    // there is no block).
    std::size_t iBlockEnds = 0;
    // A block reaches beyond iSize: its data goes on in what comes next, whatever ended the message.
    bool fOpenBlock = false;
};

// Walks the answer up to its end (iEnd) or up to iSize. With eUnit Bits the data block (the
// first unit), bare or behind "DAT2,", counts points (eight to a byte). iBlockEnds: the line ends
// the instrument ends a block with (at least one).
uAnswerScan ScanAnswer(const std::uint8_t* pData, std::size_t iSize, const std::string& sEndOfMessage,
                       eBlockUnit eUnit, std::size_t iAwaited, std::size_t iBlockEnds = 1);

// The answers of a text answer as the exchange counts them: split at ";" outside blocks and
// strings, empty fields kept.
std::vector<std::string> AnswerFields(std::string_view sAnswer);

// Replaces every message end found between two answer units of pData[0, iSize) (an answer up to
// its iAnswerEnd) by ";" and returns the new size: answers that came as messages of their own
// read as one message.
std::size_t JoinAnswers(std::uint8_t* pData, std::size_t iSize, const std::string& sEndOfMessage,
                        eBlockUnit eUnit, std::size_t iBlockEnds = 1);

} // namespace Instrument
