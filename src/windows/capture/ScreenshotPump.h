// The screenshot window's request pump: one screenshot is either a single SCPI query sent at
// once (direct mode), or a list of requests worked off one at a time through the instrument's
// task queue on the GUI thread (pump mode: instrument-control rows around the query, or the
// display dump). Starting, stopping, cancelling and the automatic interval live here too. The
// pump holds no widget: it reaches its window through ScreenshotPumpWindow and arms its one-shot
// timers through WaveformPumpTimers.
#pragma once

#include "common/DataBuffer.h"
#include "instrument/InstrumentObject.h"
#include "platform/EventHub.h"
#include "windows/capture/WaveformOptions.h"
#include "windows/capture/WaveformPump.h"

#include <cstdint>
#include <deque>
#include <list>
#include <string>

enum eScreenshotRequestKind : std::int64_t {
    RequestScreenshot = 1,
    RequestScreenshotWait = 2,
    RequestDisplayDump = 3,
    // The instrument-control rows that send something carry their row id as kind: 2006, 2001,
    // 2002, 2005 before the screenshot, 2021 to 2025 after it.
    RequestScreenshotTrigger = 2005, // polled until the answer equals sResponse
};

struct uScreenshotRequest {
    std::int64_t fSend = 0;
    std::int64_t fResponse = 0;
    std::int64_t fPending = 1;
    std::int64_t fAwaiting = 0;
    std::int64_t fArrived = 0;
    std::int64_t fSendFinished = 0;
    std::int64_t fRequestFinished = 0;
    std::string sCommand;
    std::string sResponse;  // expected answer of the trigger-status poll
    std::int64_t iWait = 0; // ms (RequestScreenshotWait)
    std::int64_t eKind = 0; // an eScreenshotRequestKind or a row id
};

// The display-dump rows of the options list (HAMEG only).
struct uScreenshotDumpRows {
    bool fDisplayDump = false; // 2040
    bool f1024 = false;        // 2041
    bool f768 = false;         // 2042
    bool f512 = false;         // 2043
    bool fBlackWhite = false;  // 2044
};

struct uScreenshotPump;

// What the pump needs of its window.
class ScreenshotPumpWindow {
  public:
    virtual ~ScreenshotPumpWindow() = default;
    virtual void SetStatus(const std::string& sText) = 0;
    virtual void AddLine(const std::string& sText) = 0;
    virtual void AddError(const std::string& sText) = 0;
    // true: every gadget but "Cancel" and "Show..." is locked; false: all usable again.
    virtual void DisableGadgets(bool fDisable) = 0;
    virtual void MessageRequester(const std::string& sText) = 0;
    virtual void PostOptionsEvent() = 0;
    virtual void PostViewerSync() = 0;
    // A screen answer arrived (pump.answer): the window takes it over, converts it and, with
    // fSave, saves the picture (fLog: the saved file is logged). An automatic reading's shot is
    // counted when its picture is ready (ScreenshotPump::ImageCounted).
    virtual void ScreenArrived(uScreenshotPump& pump, bool fSave, bool fLog) = 0;
    // Timer 14: process the current picture again and show it.
    virtual void Reprocess() = 0;
    // As WaveformPumpWindow::AutomaticStopped.
    virtual void AutomaticStopped(const std::string& sText) { (void)sText; }
};

// The instrument as the window knows it.
struct uScreenshotPumpInstrument {
    InstrumentObject pInstrument; // null after a disconnect
    bool fConnected = false; // connected or lost: requests go to it
    bool fScreenshot = false; // the model's screen can be read
    std::int64_t eModel = 0;
    std::string sManufacturer;
    std::string sModel;
    uModelCommands commands;
    // Lost: not connected, but its worker tries to open it at each request.
    bool fLost = false;
};

// What the start button reads of the window's gadgets.
struct uScreenshotStart {
    bool fAutomatically = false;
    std::string sInterval;
    int iUnit = 0; // 0 ms, 1 s, 2 min, 3 h
};

struct uScreenshotPump {
    int iWindow = 0;
    ScreenshotPumpWindow* pWindow = nullptr; // the window owns the pump and outlives it
    WaveformPumpTimers* pTimers = nullptr;
    uScreenshotPumpInstrument instrument;

    // The option rows the list is built from.
    uWaveformOptionState control;
    uScreenshotDumpRows dump;

    std::list<uScreenshotRequest> mRequestList;
    bool fRequestList = false; // pump mode
    std::string sScreenshotCommand;
    std::string sDisplayDumpCommand;
    std::string sRequestCommand;
    std::int64_t iSendTime = 0;
    std::int64_t iRequestTime = 0; // when the shot began (the button or the interval): its time runs from there
    bool fDiscardResult = false;
    bool fAutomatic = false;
    std::int64_t iInterval = 1;
    std::int64_t iCount = 0;
    std::int64_t iSaved = 0; // of the automatic reading's shots, those its save wrote
    std::int64_t iRun = 0; // numbers the automatic readings: a late picture counts in its own run only
    // How the last automatic reading ended, that it stopped and why or that it was cancelled
    // (empty while it runs): the status says it with what the reading kept (Counts), also when
    // a shot of it is counted after the end.
    std::string sEnded;
    bool fSaveAutomatically = false;
    std::string sAutomaticFolder;
    std::int64_t iAnswerDate = 0;
    std::int64_t iAnswerTime = 0;

    // The last answer, until the next send (a screen answer passes to the window).
    DataBuffer answer;
    bool fSendFinished = false;
    bool fRequestFinished = false;

    // Task numbers of this window's SCPI tasks whose result has not come back, oldest first,
    // and the one the current request waits for (0 = none: a stop abandoned it).
    std::deque<std::int64_t> mOutstanding;
    std::int64_t iCurrentTask = 0;
    // Why the current request failed, in plain words, once a report said so, and the text the
    // status said it with (null: nothing said yet; PumpSupport::RequestFailed).
    std::string sFailure;
    const char* sFailedAs = nullptr;
    std::int64_t iStops = 0;
    // The step loop (PumpSupport::Continue): a step is running, and it asked for one more.
    bool fStepping = false;
    bool fStepAgain = false;
};

namespace ScreenshotPump {

inline constexpr int TimerInterval = 11;
inline constexpr int TimerReprocess = 14;
inline constexpr int TimerOptions = 15;
inline constexpr int TimerPump = 16;
inline constexpr int PumpTick = 60;
inline constexpr std::int64_t QuietInterval = 600000;

inline constexpr const char* NotConverted = "The data could not be converted into an image.";

// A new or lost instrument: the pump forgets the tasks it waited for.
void SetInstrument(uScreenshotPump& pump, uScreenshotPumpInstrument instrument);
// The model's screenshot query (and, for the HAMEG models, the display-dump query), logged.
void SetScreenshotCommand(uScreenshotPump& pump);

// Builds the list of one screenshot; returns fRequestList (true: pump mode).
bool CreateSendRequestList(uScreenshotPump& pump);

void EventTimer(uScreenshotPump& pump, int iTimer);
void EventDataReceived(uScreenshotPump& pump, const EventHub::uEvent& event); // EventTaskFinished
void EventDataSent(uScreenshotPump& pump, const EventHub::uEvent& event);     // EventTransferStatus
void Bind(uScreenshotPump& pump);
void Unbind(uScreenshotPump& pump);

void StartReading(uScreenshotPump& pump, const uScreenshotStart& start);
void Cancel(uScreenshotPump& pump);
// Every stop; sWhy: why an automatic reading ended by itself (PumpSupport::SayStopped), which
// the status line says with what it kept.
void StopRequestData(uScreenshotPump& pump, const std::string& sWhy = "");
// The picture of a shot of automatic reading iRun is ready (fSaved: and its automatic save wrote
// it): counted, and "Screenshots: " shows the count. A shot whose answer came before a stop or
// "Cancel" is still counted when its picture is made; the status then tells the end again, with
// the new count.
void ImageCounted(uScreenshotPump& pump, std::int64_t iRun, bool fSaved = false);
// What an automatic reading kept: "Screenshots: " and the shots counted, with "Save to folder"
// how many of them were saved.
std::string Counts(const uScreenshotPump& pump);

// Goes on with the pump's steps at once: from outside a step it runs them now, from inside one
// it lets the running step loop take one more.
void Continue(uScreenshotPump& pump);

void SendRequestData(uScreenshotPump& pump, bool fSend, bool fResponse);
bool CheckInstrumentResponse(uScreenshotPump& pump, const std::string& sExpected);

} // namespace ScreenshotPump
