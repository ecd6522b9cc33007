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
// from the bytes where an empty answer (a bare line end) may follow it: the model says it for
// each query (one, or two behind the Siglent guides' waveform data), and behind the last answer
// awaited every line end is the block's own, since nothing more was asked for. The answer keeps
// one of them. Anywhere else every separator ends a unit: a message that holds only its end is one
// empty answer (an empty label sent as a bare line end), and so is an empty unit between or behind
// ";" ("a;;b", "a;b;\n" hold three).
//
// Padding: NULs that instruments and adapters send ahead of an answer's first other byte, or
// among or behind its end text ("\0ACME,...", "...1.0\0\0\r\n", "...\n\0\0\0"). Padding is no
// byte of any answer: no message begins with it, nothing awaits it, no value holds it, and every
// door hands on the same bytes for the same answer. Only the bytes outside blocks can be padding:
// a NUL inside a block is data, and so is every byte of an image sent without a block header.
// Where the end text holds a NUL itself, no NUL is padding.
#pragma once

#include "transport/BlockHeader.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace Instrument {

// The line ends behind a definite-length block in the answers of one message, each answer's by its
// place among them (its query's, as the model sends it); one for an answer beyond those told.
class uBlockEnds {
  public:
    uBlockEnds() = default;
    // Every answer's block brings iAll (at least one).
    uBlockEnds(std::size_t iAll) : iOthers(iAll > 0 ? iAll : 1) {}
    // The answer at place k brings lEach[k] (at least one), any later one a single line end.
    explicit uBlockEnds(std::vector<std::size_t> lEach) : lEach(std::move(lEach)) {}
    std::size_t At(std::size_t iAnswer) const {
        return iAnswer < lEach.size() ? std::max<std::size_t>(lEach[iAnswer], 1) : iOthers;
    }
    // Those of the answers from place iFirst on (the rest of a message cut after whole answers).
    uBlockEnds From(std::size_t iFirst) const {
        uBlockEnds rest(iOthers);
        if (iFirst < lEach.size()) rest.lEach.assign(lEach.begin() + static_cast<std::ptrdiff_t>(iFirst), lEach.end());
        return rest;
    }
    bool operator==(const uBlockEnds&) const = default;

  private:
    std::vector<std::size_t> lEach;
    std::size_t iOthers = 1;
};

// The length of the text that announces a block at pData ("DAT2," and the others above, any
// case); 0 where none does.
std::size_t BlockPrefixLength(const std::uint8_t* pData, std::size_t iSize);

// The units of a program message, each without its ";": they end at ";" outside string data
// ('...' or "...", a doubled quote closing and opening again) and outside blocks (an indefinite
// one, "#0", reaches the end). An empty message is one empty unit.
std::vector<std::string_view> ProgramUnits(std::string_view sCommand);

// The header of a program message unit: its first word, white space before it passed over.
std::string_view UnitHeader(std::string_view sUnit);

// The queries of a program message: its units (ProgramUnits) whose header ends with "?".
std::size_t QueryCount(std::string_view sCommand);

// What an answer sent without a block header says of its end where it is an image file (a BMP
// or PNG, as the Siglent oscilloscopes send a screen copy): it ends by its own structure, whatever
// the end text.
enum class eImage {
    None,       // not an image file: the text rule applies
    Incomplete, // an image file whose end has not arrived (or cannot be believed)
    Complete,
};
// The largest image file taken without a block header (BMP size field, PNG chunks).
inline constexpr std::uint64_t MaxBareImage = 0x40000000;
eImage BareImage(const std::uint8_t* pData, std::size_t iSize);

// The padding at pData ahead of a message's first other byte.
std::size_t PaddingAhead(const std::uint8_t* pData, std::size_t iSize, const std::string& sEndOfMessage);

// Takes the padding out of an answer that has ended, pData[0, iSize), where its end stands for
// an end text (END on VXI-11 and USBTMC), and returns its new size.
std::size_t DropPadding(std::uint8_t* pData, std::size_t iSize, const std::string& sEndOfMessage,
                        eBlockUnit eUnit, const uBlockEnds& blockEnds = {});

// What the walk found in an answer pData[0, iSize) that awaits iAwaited answers.
struct uAnswerScan {
    // The answer's length once it holds the awaited answers (with one or none awaited: its first
    // message, also an empty one) and a message ends there, with the padding that came behind
    // it; 0 while it does not. What follows belongs to a later message.
    std::size_t iEnd = 0;
    // The answer as it is handed on: up to its end text, without the closing block's own line
    // ends but its first.
    std::size_t iAnswerEnd = 0;
    // The answers closed by the last message end walked over, and the bytes up to and with it
    // and the padding behind it: the whole messages that came.
    std::size_t iWhole = 0;
    std::size_t iWholeEnd = 0;
    // The line ends of its own that the block closed there brought (0: the last unit closed
    // there is no block), and those the model sends behind it.
    std::size_t iBlockEnds = 0;
    std::size_t iBlockEndsSent = 0;
    // A block reaches beyond iSize: its data goes on in what comes next, whatever ended the message.
    bool fOpenBlock = false;
};

// Walks the answer up to its end (iEnd) or up to iSize. With eUnit Bits the data block (the
// first unit), bare or behind "DAT2,", counts points (eight to a byte). blockEnds: the line ends
// the instrument ends each answer's block with.
uAnswerScan ScanAnswer(const std::uint8_t* pData, std::size_t iSize, const std::string& sEndOfMessage,
                       eBlockUnit eUnit, std::size_t iAwaited, const uBlockEnds& blockEnds = {});

// The answers of a text answer as the exchange counts them: split at ";" outside blocks and
// strings, empty fields kept.
std::vector<std::string> AnswerFields(std::string_view sAnswer);

// Replaces every message end found between two answer units of pData[0, iSize) (an answer up to
// its iAnswerEnd) by ";" and returns the new size: answers that came as messages of their own
// read as one message.
std::size_t JoinAnswers(std::uint8_t* pData, std::size_t iSize, const std::string& sEndOfMessage,
                        eBlockUnit eUnit, const uBlockEnds& blockEnds = {});

} // namespace Instrument
