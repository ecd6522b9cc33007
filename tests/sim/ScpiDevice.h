// A simulated SCPI instrument: the device behind every simulated front door (VXI-11, raw TCP,
// serial, USBTMC). A front door feeds it the bytes of a message and takes the answer bytes.
//
// Commands it knows (headers case-insensitive, long or short form, leading ':' optional):
//   *IDN?               the configured identification text
//   *RST, *CLS          reset / clear status and error queue
//   *OPC?               "1"
//   *ESR?, *STB?        event status register, status byte (decimal)
//   *SRE n, *SRE?       service request enable
//   SYSTem:ERRor?       the oldest queued error, or 0,"No error"
//   SIMulate:BLOCk? n[,d]  a definite-length block "#<d><n>" of n pattern bytes (PatternByte),
//                       with d length digits (zero-padded) when d is given
//   SIMulate:ECHO? text the text as given
//   SIMulate:DATA <block>  takes a definite-length block and keeps it (LastData)
// plus any query or command given by SetAnswer. Several units in one message are separated by
// ';' outside string data and blocks (an indefinite one, "#0", runs to the end of the message);
// their answers are joined by ';' and the answer ends with LF. A message ends with LF or with the
// front door's END. An unknown header queues -113,"Undefined header"; a new query
// while an answer is still unread discards it and queues -410,"Query INTERRUPTED".
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace Sim {

// What a personality puts into the answer of one unit: text, or a slice of bytes that stay
// where they are (a large record is sent from its shared memory, never copied), errors for the
// queue, and whether the message's answer end is left off (an answer cut short).
class ScpiReply {
  public:
    struct uSlice {
        std::shared_ptr<const std::vector<std::uint8_t>> pBytes;
        std::size_t iOffset = 0;
        std::size_t iEnd = 0;
    };
    void Text(const std::string& sText);
    void Slice(std::shared_ptr<const std::vector<std::uint8_t>> pBytes, std::size_t iOffset, std::size_t iEnd);
    void Error(int iCode, const std::string& sText) { mErrors.emplace_back(iCode, sText); }
    void LeaveOffEnd() { fNoEnd = true; }

    bool Answered() const { return fAnswered; }
    const std::vector<uSlice>& Slices() const { return mSlices; }
    const std::vector<std::pair<int, std::string>>& Errors() const { return mErrors; }
    bool NoEnd() const { return fNoEnd; }

  private:
    std::vector<uSlice> mSlices;
    std::vector<std::pair<int, std::string>> mErrors;
    bool fAnswered = false;
    bool fNoEnd = false;
};

class ScpiDevice;

// A family of instruments on top of the common device: the commands of its programming manual
// with the state they change. Called under the device's lock, one unit at a time.
class ScpiPersonality {
  public:
    virtual ~ScpiPersonality() = default;
    // sPath is the unit's header with its full path (IEEE 488.2 compound-header rule applied),
    // upper case, without the leading ':'; sArgs its arguments. False: not a header of this
    // family (the common device goes on with its own).
    virtual bool Execute(const std::string& sPath, const std::string& sArgs, ScpiReply& reply) = 0;

  protected:
    // Makes this the device's personality without handing it over. Each family's destructor
    // calls Release first: a message the device is executing with it is waited for, and none
    // reaches it half destroyed (a test's scope goes before the fixture's simulator).
    void Bind(ScpiDevice& device);
    void Release();

  private:
    friend class ScpiDevice;
    ScpiDevice* pBound = nullptr;
};

class ScpiDevice {
  public:
    ScpiDevice();
    ~ScpiDevice();

    // The answer to *IDN? (without the LF, which the device adds).
    void SetIdn(const std::string& sIdn);
    std::string Idn() const;

    // A canned answer: the query (or command) text as received, compared case-insensitively
    // after trimming; the answer bytes are sent as given (add the LF yourself). An empty answer
    // makes a command that answers nothing.
    void SetAnswer(const std::string& sCommand, const std::vector<std::uint8_t>& answer);
    // A canned answer sent exactly as given, with no LF at the end of the message: an instrument
    // whose answer ends by its own structure (an image file without a block header).
    void SetBareAnswer(const std::string& sCommand, const std::vector<std::uint8_t>& answer);

    // Command side: bytes of a message. fEnd marks the end of the message (VXI-11 END flag,
    // USBTMC EOM); a LF outside a definite-length block ends a command line as well.
    void Write(const std::uint8_t* pData, std::size_t iSize, bool fEnd);
    void Write(const std::string& sText, bool fEnd = false);

    // Doors that share the device hold this while they hand it a reception and send the answers
    // that came of it: the device has one answer queue, and a door that looked for answers while
    // another door's command ran would send that door's answer to its own peer.
    std::mutex& DoorMutex() { return mDoorMutex; }

    // Answer side.
    std::size_t AnswerSize() const;
    // Waits until answer bytes are waiting; false after the time-out or after CancelWaits.
    bool WaitForAnswer(std::chrono::milliseconds timeout);
    // Takes up to iMax answer bytes into pOut, stopping after iTermChar when it is 0..255.
    // fEnd is set when the last byte of the answer was taken, fTermChar when the read stopped
    // at the termination character.
    std::size_t Read(std::uint8_t* pOut, std::size_t iMax, int iTermChar, bool& fEnd, bool& fTermChar);
    // Like Read, but without a copy when the bytes lie in one piece of the answer: pData then
    // points into that piece and pKeep keeps it alive; otherwise the bytes are copied into
    // scratch and pData points there.
    std::size_t ReadView(std::size_t iMax, int iTermChar, std::vector<std::uint8_t>& scratch,
                         const std::uint8_t*& pData, std::shared_ptr<const std::vector<std::uint8_t>>& pKeep,
                         bool& fEnd, bool& fTermChar);
    // Convenience: takes up to iMax bytes (everything by default).
    std::vector<std::uint8_t> Read(std::size_t iMax = SIZE_MAX);

    // Status byte: bit 4 MAV (answer waiting), bit 2 error queue not empty, bit 5 ESB,
    // bit 6 RQS when an enabled bit is set.
    std::uint8_t StatusByte() const;
    // Device clear: drops a partial command and every unread answer.
    void Clear();
    // Drops a partial command alone (its connection closed).
    void DropPartialCommand();
    void SetRemote(bool fRemote);
    bool IsRemote() const;

    // Every command unit received, in order, as bytes (block payloads included).
    std::vector<std::string> Commands() const;
    // The payload of the last SIMulate:DATA block.
    std::vector<std::uint8_t> LastData() const;

    // Fault: the next iCount queries produce no answer (an instrument that stays silent).
    void SwallowAnswers(int iCount);
    // Fault: the query whose full header (as ExpandHeaders gives it, "CHAN2:DISP?") is sHeader
    // answers nothing and notes an undefined header (-113), as a firmware that does not know it:
    // the other queries of its message answer (empty: none is silent).
    void SilenceQuery(const std::string& sHeader);

    // The family whose commands the device answers besides its common ones (nullptr: none).
    void SetPersonality(std::shared_ptr<ScpiPersonality> pPersonality);
    // The bytes that end every answer ("\n" unless set).
    void SetAnswerEnd(const std::string& sEnd);
    // NULs sent with every answer, as instruments and adapters send them: iLead ahead of it (a
    // GPIB adapter passing on the NUL an instrument left behind its last answer), iBeforeEnd
    // between its text and its end (an instrument that ends its answers with a NUL, or pads
    // them), iAfterEnd behind its end (a USBTMC multimeter's "\n\0", or "\n\0\0\0").
    struct uNuls {
        int iLead = 0;
        int iBeforeEnd = 0;
        int iAfterEnd = 0;
    };
    void SetNuls(const uNuls& nuls);
    // With iPauseMs != 0 the answers of a message of several queries are not joined by ";": each
    // is a message of its own, ended by the answer end (and END), and a stream door pauses
    // iPauseMs between them (< 0: sends them in one write). 0: joined (IEEE 488.2).
    void SetSeparateAnswers(int iPauseMs);
    int SeparatePause() const;
    // With fOn a definite-length block answer of a message of several queries keeps its own
    // answer end, and the next answer follows it in the same message without ";" (as several
    // instruments send ":WAV:DATA?;:WAV:PRE?"); false: joined by ";" (IEEE 488.2).
    void SetBlockLineEnd(bool fOn);
    // With iPauseMs > 0 each definite-length block answer (bare or behind a "DAT2,"-like word)
    // of a message of several queries is a message of its own, ended by the answer end (and
    // END); the text answers between blocks are joined by ';' into a message of their own; a
    // stream door pauses iPauseMs between the messages. 0: as the other settings say.
    void SetBlockMessages(int iPauseMs);
    // The bytes of the first waiting message.
    std::size_t MessageSize() const;
    // The full path of each header of a message by the IEEE 488.2 compound-header rule: a header
    // without a leading ':' continues the path of the header before it in the same message;
    // common commands ("*...") keep the path. Upper case, no leading ':'.
    static std::vector<std::string> ExpandHeaders(const std::vector<std::string>& headers);
    // Wakes every WaitForAnswer at once and makes later waits return false until ResumeWaits.
    void CancelWaits();
    void ResumeWaits();

    // The byte at position i of a SIMulate:BLOCk? payload.
    static std::uint8_t PatternByte(std::size_t i) { return static_cast<std::uint8_t>((i * 7 + i / 251) & 0xFF); }

  private:
    // One piece of the answer: bytes iOffset..iEnd of a shared buffer.
    struct uSegment {
        std::shared_ptr<const std::vector<std::uint8_t>> pBytes;
        std::size_t iOffset = 0;
        std::size_t iEnd = 0;
        bool fMessageEnd = false; // the last piece of one message of several
    };

    void ExecuteLine(bool fEnd);
    // Between two answers of one message; fNextBlock: the next answer is a block.
    void Separate(std::vector<uSegment>& answer, bool fNextBlock);
    static bool BeginsBlock(const uSegment& segment);
    void ExecuteUnit(const std::string& sUnit, std::vector<uSegment>& answer, bool& fAnswered);
    std::shared_ptr<const std::vector<std::uint8_t>> BlockPayload(std::size_t iSize);
    void PushError(int iCode, const char* pText);
    std::uint8_t StatusByteLocked() const;

    mutable std::mutex mMutex;
    std::mutex mDoorMutex;
    std::condition_variable mAnswerReady;
    std::string sIdn;
    std::vector<std::pair<std::string, std::vector<std::uint8_t>>> mAnswers;
    std::vector<std::string> mBareAnswers; // keys of mAnswers sent without the message's LF
    bool fBareMessage = false;             // the message being answered ends without LF
    std::string sPending;             // bytes of the message being received
    std::size_t iScan = 0;            // bytes of sPending already scanned for the end of a line
    std::size_t iBlockRemaining = 0;  // bytes of a definite-length block still to come
    std::deque<uSegment> mOutput;
    std::deque<std::pair<int, std::string>> mErrors;
    std::vector<std::string> mCommands;
    std::vector<std::uint8_t> mLastData;
    std::shared_ptr<const std::vector<std::uint8_t>> pPatternCache;
    std::uint8_t iEsr = 0;
    std::uint8_t iSre = 0;
    bool fRemote = false;
    bool fWaitsCancelled = false;
    int iSwallow = 0;
    std::string sSilentQuery;
    std::shared_ptr<ScpiPersonality> pPersonality;
    std::string sAnswerEnd = "\n";
    uNuls mNuls;
    int iSeparatePauseMs = 0;
    bool fBlockLineEnd = false;
    int iBlockPauseMs = 0;
    std::size_t iUnitStart = 0; // where the answer of the message's last answered unit begins
    std::string sPath; // the compound-header path of the message being executed
    static std::string ExpandHeader(std::string& sCurrentPath, const std::string& sHeader);
};

} // namespace Sim
