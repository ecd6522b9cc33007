// One element of the waveform window's request list and its kinds.
#pragma once

#include <cstdint>
#include <string>

enum eWaveformRequestKind : std::int64_t {
    RequestWaveform = 1,
    RequestWaveformPart = 2,
    RequestEnd = 3,
    RequestWait = 4,
    RequestVisibleChannels = 5,
    RequestLogicDisplay = 6,
    RequestSetup = 7,
    RequestWaveformPoints = 8,
    RequestAcquireType = 9,
    RequestMaxPoint = 10, // the most points of one piece, checked as a point count
    // Instrument-control actions sent around a read (the ids of their option rows).
    RequestOptionStop = 2001,
    RequestOptionSingle = 2002,
    RequestOptionWaitTrigger = 2005, // polled until the answer equals sResponse
    RequestOptionStopComplete = 2006,
    RequestOptionTriggerAuto = 2021,
    RequestOptionTriggerNormal = 2022,
    RequestOptionRun = 2023,
    RequestOptionSingleAfter = 2024,
    RequestOptionLocal = 2025,
};

struct uWaveformRequest {
    std::int64_t fSend = 0;     // the request sends its command (0 for waits and end markers)
    std::int64_t fResponse = 0; // an answer is expected and checked
    std::int64_t fPending = 1;  // not sent yet
    std::int64_t fAwaiting = 0; // with the instrument, result not yet in
    std::int64_t fArrived = 0;  // the result came in
    std::int64_t fSendFinished = 0;
    std::int64_t fRequestFinished = 0;
    std::string sCommand;  // may hold "%DATA%", "%BIT%", "%START%", "%STOP%"
    std::string sResponse; // expected answer of the trigger-state poll
    std::int64_t iWait = 0; // ms (RequestWait)
    std::int64_t eKind = 0; // an eWaveformRequestKind
    std::int64_t eWaveform = 0;
    std::int64_t eDataSource = 0;
    std::string sChannelFile; // channel text of file names
    std::string sChannel;     // channel text of file headers, status and log lines
    std::int64_t fLogic = 0;
    // Of a part request: the end of its command that only the channel's last part sends (the
    // preamble and unit queries chained behind the samples); the parts before it leave it out.
    std::string sLastPartOnly;
    // A part sent ahead while the part before it was still on its way: its task and its command
    // with the placeholders put in, until it becomes the first request.
    std::int64_t iAheadTask = 0;
    std::string sAheadCommand;
    // Why that part failed, when its failure came before its turn: its channel fails with it then.
    std::string sAheadFailure;
};
