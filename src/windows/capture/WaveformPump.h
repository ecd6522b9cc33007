// The waveform window's request pump: the list of SCPI requests of one read, worked off one at
// a time through the instrument's task queue on the GUI thread, with starting, stopping and the
// automatic interval. The pump holds no widget; it reaches its window through WaveformPumpWindow
// and arms its one-shot timers through WaveformPumpTimers.
#pragma once

#include "common/DataBuffer.h"
#include "instrument/InstrumentObject.h"
#include "instrument/TaskRecords.h"
#include "platform/EventHub.h"
#include "transport/BlockHeader.h"
#include "waveform/WaveformData.h"
#include "windows/capture/WaveformRequest.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <list>
#include <memory>
#include <string>
#include <vector>

struct uWaveformPump;

// What the pump needs of its window.
class WaveformPumpWindow {
  public:
    virtual ~WaveformPumpWindow() = default;
    virtual void SetStatus(const std::string& sText) = 0;
    virtual void AddLine(const std::string& sText) = 0;  // a log line
    virtual void AddError(const std::string& sText) = 0; // a log line marked as error
    // true: every gadget but "Cancel" and "Show..." is locked; false: all usable again.
    virtual void DisableGadgets(bool fDisable) = 0;
    // Whether a row of the "Channels" list is ticked.
    virtual bool ChannelTicked() = 0;
    // Fills the pump's request list for one read; returns the number of requests added.
    virtual std::size_t CreateSendRequestList(uWaveformPump& pump) = 0;
    // Starts the automatic save of the read into the automatic folder; the window sets
    // pump.fSaving while it runs and calls WaveformPump::SaveEnded when it ends.
    virtual void SaveWaveform(uWaveformPump& pump) = 0;
    // A message requester with the error icon.
    virtual void MessageRequester(const std::string& sText) = 0;
    // Posts the deferred option-list gadget event to the window.
    virtual void PostOptionsEvent() = 0;
    // Shows the pump's channel list data, logic texts and acquire type in the "Channels" list.
    virtual void FillChannelList(uWaveformPump&) {}
    // An automatic run ended without the user's "Cancel" (an error, the instrument gone): the
    // window unticks "Automatically" and shows sText (that the run stopped, why, and what it
    // kept: PumpSupport::SayStopped).
    virtual void AutomaticStopped(const std::string& sText) { (void)sText; }
};

// The pump's one-shot timers; arming a number again replaces it.
class WaveformPumpTimers {
  public:
    virtual ~WaveformPumpTimers() = default;
    virtual void Start(int iTimer, int iMilliseconds) = 0;
    virtual void Stop(int iTimer) = 0;
};

// The window's timers of the window registry (they reach the window as EventTimer).
class WaveformWindowTimers final : public WaveformPumpTimers {
  public:
    explicit WaveformWindowTimers(int iWindow) : iWindow(iWindow) {}
    void Start(int iTimer, int iMilliseconds) override;
    void Stop(int iTimer) override;

  private:
    int iWindow;
};

// The per-model answer checks, filled at start-up by the request builders. Each gets the
// answer without its block header (block) or whole (answer, with header length h and announced
// count n). A missing check leaves the answer unchecked.
struct uWaveformChecks {
    std::function<void(uWaveformPump&, const std::uint8_t* pBlock, std::size_t iSize)> fnVisibleChannels{};
    std::function<void(uWaveformPump&, const std::uint8_t* pBlock, std::size_t iSize)> fnLogicDisplay{};
    std::function<void(uWaveformPump&, const std::uint8_t* pBlock, std::size_t iSize)> fnWaveformPoints{};
    std::function<void(uWaveformPump&, const std::uint8_t* pBlock, std::size_t iSize)> fnAcquireType{};
    std::function<void(uWaveformPump&, const std::uint8_t* pAnswer, std::size_t iSize)> fnWaveform{};
    // Returns true when the channel is complete.
    std::function<bool(uWaveformPump&, const std::uint8_t* pAnswer, std::size_t iSize, std::size_t iHeader,
                       std::uint64_t iCount)>
        fnWaveformPart{};
    // A channel's answer failed its check: the channel is dropped from the record and a read
    // in parts of it ends.
    std::function<void(uWaveformPump&)> fnChannelFailed{};
};

// The instrument as the window knows it.
struct uWaveformPumpInstrument {
    InstrumentObject pInstrument; // null after a disconnect
    bool fConnected = false; // connected or lost: requests go to it
    bool fWaveform = false; // the model's traces can be read
    std::int64_t eModel = 0;
    std::string sManufacturer;
    std::string sModel;
    // Lost: not connected, but its worker tries to open it at each request.
    bool fLost = false;
};

// What the start button reads of the window's gadgets.
struct uWaveformStart {
    bool fAutomatically = false; // "Automatically" ticked
    std::string sInterval;       // as typed
    int iUnit = 0;               // 0 ms, 1 s, 2 min, 3 h
};

struct uWaveformPump {
    int iWindow = 0;
    WaveformPumpWindow* pWindow = nullptr;  // the window owns the pump and outlives it
    WaveformPumpTimers* pTimers = nullptr;
    uWaveformPumpInstrument instrument;

    std::list<uWaveformRequest> mRequestList;
    std::string sRequestCommand; // the first request's command after substitution
    std::string sBitFormat;
    std::int64_t iStartPoint = 0;
    std::int64_t iStopPoint = 0;
    std::int64_t iPartBytes = 0;
    std::size_t iPartHeader = 0; // block-header length of the open channel's first part
    std::int64_t iBytesTotal = 0;
    // When the user's request began (the button, or the interval's read): the status line's
    // time runs from there, waits without a transfer included.
    std::int64_t iRequestTime = 0;
    std::int64_t iSendTime = 0;
    bool fDiscardResult = false;
    bool fAutomatic = false;
    std::int64_t iInterval = 1;
    std::int64_t iCount = 0; // reads of the automatic run that were read whole
    bool fSaveAutomatically = false;
    // Of the automatic run: the reads whose every file was written, the files written of the
    // reads saved only in part (a save that failed midway, or that Cancel stopped after some
    // files), and the last read's story: its failures (empty: it was whole) and why its save
    // failed (empty until its save failed).
    std::int64_t iSaved = 0;
    std::int64_t iPartFiles = 0;
    std::string sRunFailure;
    std::string sSaveFailure;
    // Of the automatic run, while reads fail one after the other: the failure lines of the read
    // before (a line it gave is not logged again) and of this read, the reads in a row that logged
    // nothing, and the failure they repeat. The count is logged when a read logs a failure or is
    // whole, another failure repeats, or the run ends.
    std::vector<std::string> RunFailureLines;
    std::vector<std::string> ReadFailureLines;
    std::int64_t iRepeats = 0;
    std::string sRepeated;
    bool fLoggedThisRead = false;
    // "Cancel" ended the automatic run: the end of a save it stopped keeps the status saying so.
    bool fRunCancelled = false;
    // A save that a stop let go has not ended yet.
    bool fSaveStopped = false;
    // The MAXPoint query of this run went unanswered: the run reads at the piece plan's fallback
    // and does not ask it again.
    bool fMaxPointUnanswered = false;
    // Why the current channel request fails alone (empty: it did not): its chained answer cut by
    // the time-out after whole answers, or the failure of a part sent ahead.
    std::string sAnswersMissing;
    std::string sAutomaticFolder;
    bool fSaving = false;
    bool fRecordWhole = false; // the last read worked its list off to the end (a failure or stop: no)
    // A read runs (from its start to its end or stop), and its failures as the log has them
    // (without the model's prefix): the first failure logged of each channel (and of the requests
    // of no channel), named with it, joined by " - "; a read that a failure ended holds its story
    // (that it stopped, at what and why, what it did not read, its other failures). A read that
    // ended with a failure shows them at its end, and Save... names them.
    bool fReading = false;
    std::string sReadFailure;
    struct uReadFailure {
        std::string sChannel; // WaveformText::Channel of the request that failed
        std::string sText;
    };
    std::vector<uReadFailure> ReadFailures;
    bool fChannelReached = false; // a channel's request was sent in this read
    std::int64_t iSaveInstance = 0;
    std::int64_t iAnswerDate = 0;
    std::int64_t iAnswerTime = 0;

    // The answer of the first request, until the next send.
    DataBuffer answer;
    bool fSendFinished = false;
    bool fRequestFinished = false;

    // The read being assembled, its open channel element (0 = none) and the logic lines that
    // the logic-display check found.
    std::shared_ptr<uWaveformRecord> pRecord;
    std::size_t iChannelIndex = 0;
    std::vector<uWaveformLogicLine> LogicLines;
    // What the visible-channel and logic checks found for the "Channels" list: the displayed
    // traces, the shown logic lines (all, pod 1, pod 2) and the acquire type (0 none, 1 refresh,
    // 2 average, 3 envelope).
    std::vector<std::int64_t> mChannelData;
    std::string sLogicAll;
    std::string sLogicPod1;
    std::string sLogicPod2;
    std::int64_t iAcquireType = 0;

    // Task numbers of this window's SCPI tasks whose result has not come back, oldest first,
    // and the one the first request waits for (0 = none: a stop abandoned it).
    std::deque<std::int64_t> mOutstanding;
    std::int64_t iCurrentTask = 0;
    // Why the current request failed, in plain words, once a report said so, and the text the
    // status and the log said it with, named with its channel (null: nothing said yet;
    // PumpSupport::RequestFailed).
    std::string sFailure;
    const char* sFailedAs = nullptr;
    // Results of parts sent ahead that came before their part became the first request (a
    // nested event loop delivered them); each is taken when its part does.
    std::vector<std::unique_ptr<uTaskResultScpiCommand>> AheadResults;
    // Tasks of parts sent ahead that were dropped with their channel (it failed, or a shorter part
    // moved the windows): their errors are that channel's, and their results are stale.
    std::vector<std::int64_t> DroppedAhead;
    // The open channel's parts that became the first request so far, and when the first did
    // (steady microseconds): their pace sets how many parts are sent ahead.
    std::int64_t iPartsTaken = 0;
    std::int64_t iFirstPartTime = 0;
    std::int64_t iStops = 0; // counts the stops: a step whose send stopped the read arms nothing
    // The step loop (PumpSupport::Continue): a step is running, and it asked for one more.
    bool fStepping = false;
    bool fStepAgain = false;
};

namespace WaveformPump {

inline constexpr int TimerInterval = 11;
inline constexpr int TimerOptions = 15;
inline constexpr int TimerPump = 16;
inline constexpr int PumpTick = 60;              // ms
inline constexpr std::int64_t QuietInterval = 600000; // from here on, every transfer is shown

// Local civil seconds since 1970 (the date of a read) and a steady millisecond counter.
std::int64_t Date();
std::int64_t ElapsedMilliseconds();

// Whether the model has logic channels (its record carries logic lines and a logic name).
bool HasLogicChannels(std::int64_t eModel);

// Start-up: the per-model answer checks.
void SetChecks(uWaveformChecks checks);

// A new or lost instrument: the pump forgets the tasks it waited for.
void SetInstrument(uWaveformPump& pump, uWaveformPumpInstrument instrument);

// The interval as typed, in the unit of the unit box, in whole milliseconds (rounded up);
// false for no number, non-finite values and values outside 1 to 2^31-1 ms.
bool ParseInterval(const std::string& sText, int iUnit, std::int64_t& iMilliseconds);

// The handlers of the window's events.
void EventTimer(uWaveformPump& pump, int iTimer);
void EventDataReceived(uWaveformPump& pump, const EventHub::uEvent& event); // EventTaskFinished
void EventDataSent(uWaveformPump& pump, const EventHub::uEvent& event);     // EventTransferStatus
// Binds EventTimer, EventTaskFinished and EventTransferStatus of the pump's window to the pump;
// the pump must outlive the binding (Unbind before it goes).
void Bind(uWaveformPump& pump);
void Unbind(uWaveformPump& pump);

// The "Waveform" button, the "Cancel" button, and every stop.
void StartReading(uWaveformPump& pump, const uWaveformStart& start);
void Cancel(uWaveformPump& pump);
// Every stop. An automatic run that ended by itself says why (sWhy; PumpSupport::SayStopped),
// what it kept (Counts) and sAlso, the read's other failures.
void StopRequestData(uWaveformPump& pump, const std::string& sWhy = "", const std::string& sAlso = "");
// The window's automatic save ended (or was stopped): the pump goes on.
void SaveEnded(uWaveformPump& pump);
// The outcome of an automatic save of the run: a read whose every file was written is saved,
// else the files it wrote count apart; sFailure (empty: none) is why the save itself failed.
void SaveCounted(uWaveformPump& pump, bool fWhole, std::int64_t iFiles, const std::string& sFailure);
// What an automatic run kept: "Waveforms: " and the reads read whole, with "Save to folder" how
// many of them were saved and the files of reads saved in part.
std::string Counts(const uWaveformPump& pump);
// What the status line says of an automatic run: Counts, then the story of its last read: why it
// failed, and why its save failed.
std::string CountText(const uWaveformPump& pump);

// Goes on with the pump's steps at once: from outside a step it runs them now, from inside one
// it lets the running step loop take one more.
void Continue(uWaveformPump& pump);

// The steps of the pump, for the window and the answer checks.
// What the block of the current request's answer counts: a Siglent logic line's announces points
// packed eight to a byte (the transport ends that answer behind its bytes, the checks count them
// so); every other block announces bytes.
Instrument::eBlockUnit AnswerBlockUnit(const uWaveformPump& pump);
void SendRequestData(uWaveformPump& pump, bool fSend, bool fResponse);
bool CheckInstrumentResponse(uWaveformPump& pump);
// A channel whose answer failed its check: the reason in status and log, named with the
// channel, and the channel leaves the record (fnChannelFailed), so that no file is written from
// it; the other channels go on.
void ChannelFailed(uWaveformPump& pump, const std::string& sReason);
// A failure to be logged (the window's AddError): while a read runs, the first is the read's
// reason. false when it is not to be logged: in an automatic run, this read or the read before
// it (a failed one) gave it already (FlushRepeats logs how often a read repeated it).
bool NoteReadFailure(uWaveformPump& pump, const std::string& sLogText);
// Logs how many reads repeated a failure, when some did, and forgets the failures.
void FlushRepeats(uWaveformPump& pump);
// What the status line says after "Cancel" of an automatic run, with what the run kept.
std::string CancelledText(const uWaveformPump& pump);
void EndRequestData(uWaveformPump& pump);
// Moves the part window (iStartPoint, iStopPoint) to the next part of the record.
void AdvancePart(uWaveformPump& pump);
// Behind the first request, a part request whose window is not the record's last: a copy that
// reads the next part (after a part with fewer points than asked, the copies ahead were dropped).
void QueueNextPart(uWaveformPump& pump, std::list<uWaveformRequest>::iterator itRequest);
// The result of the task the first request waits for (nullptr: none came): the answer and the
// transfer flags are taken, the request has arrived, and the pump goes on.
void TakeResult(uWaveformPump& pump, uTaskResultScpiCommand* pResult);

} // namespace WaveformPump
