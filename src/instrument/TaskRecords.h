// The task records that windows, the search and the script hand to an instrument's AddTask, the
// queue element that the worker thread runs, and the result record of the SCPI command task.
#pragma once

#include "common/DataBuffer.h"
#include "instrument/ConnectionDescription.h"
#include "instrument/TaskHead.h"
#include "instrument/WaveformSources.h"
#include "transport/BlockHeader.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <variant>

struct uTaskConnect {
    uTaskHead head{InstrumentTaskConnect, 0, 0};
};

struct uTaskDisconnect {
    uTaskHead head{InstrumentTaskDisconnect, 0, 0};
};

struct uTaskCancel {
    uTaskHead head{InstrumentTaskCancel, 0, 0};
    std::int64_t fClearQueue = 0; // queue this task; when it runs, the tasks still pending behind it are dropped
    std::int64_t fAbort = 0;      // stop the running transfer at once, when AddTask is called
};

struct uTaskGetIdn {
    uTaskHead head{InstrumentTaskGetIdn, 0, 0};
};

struct uTaskScpiCommand {
    uTaskHead head{InstrumentTaskScpiCommand, 0, 0};
    std::int64_t iTimeout = 0;   // answer time-out in ms; 0 = keep the request block's value
    std::int64_t iBlockSize = 0; // progress step in bytes; 0 = keep the request block's value
    std::int64_t fSend = 0;
    std::string sCommand;
    // Binary payload sent after the command. AddTask gives the queued task a copy of the
    // buffer's valid bytes: the caller may change or drop its buffer as soon as AddTask returns.
    // Unless fShareData is set (see below).
    std::shared_ptr<const DataBuffer> pData;
    std::int64_t fRequestData = 0;
    std::int64_t fVendorSpecific = 0;
    std::int64_t eWait = 0; // before reading: 0 none, 1 poll the status byte, 2 service request (USBTMC only)
    // 1: the caller hands pData over: it made the block for this task, owns it through pData and
    // never changes it again. The queued task then keeps a reference instead of copying the bytes
    // (a large file is not copied on the caller's thread). A pointer that owns nothing is copied
    // all the same.
    std::int64_t fShareData = 0;
    // What the count of the answer's block counts (Bits: a Siglent logic line's points).
    Instrument::eBlockUnit eBlockUnit = Instrument::eBlockUnit::Bytes;
};

struct uTaskScreencopy {
    uTaskHead head{InstrumentTaskScreencopy, 0, 0};
    std::int64_t eSize = 0;  // 1 small, 2 middle, 3 large
    std::int64_t eColor = 0; // 4 black and white, else colour
    std::int64_t eTitle = 0; // 6 draw the title, else none
};

// One flag per source word of the script's waveform command, indexed by eWaveform.
inline constexpr std::size_t WaveformSourceCount = WaveformCount;

struct uTaskWaveform {
    uTaskHead head{InstrumentTaskWaveform, 0, 0};
    std::int64_t eSource = 0; // 1 screen, 2 memory, 3 entire memory
    std::int64_t eBits = 0;   // 4 = 8 bit, 5 = 16 bit
    std::array<std::int64_t, WaveformSourceCount> fSource{};
};

struct uTaskLocal {
    uTaskHead head{InstrumentTaskLocal, 0, 0};
};

struct uTaskRemote {
    uTaskHead head{InstrumentTaskRemote, 0, 0};
};

struct uTaskTimeout {
    uTaskHead head{InstrumentTaskTimeout, 0, 0};
    std::int64_t iTimeout = 0; // answer time-out in ms; 0 = the interface's configured default
};

struct uTaskTerminationChar {
    uTaskHead head{InstrumentTaskTerminationChar, 0, 0};
    std::string sTerminationChar; // end-of-message text of raw TCP and serial answers
};

// Any task record. AddTask accepts a record only when its head names the record's own type.
using uTask = std::variant<uTaskPrepare, uTaskConnect, uTaskDisconnect, uTaskCancel, uTaskGetIdn, uTaskScpiCommand,
                           uTaskScreencopy, uTaskWaveform, uTaskLocal, uTaskRemote, uTaskTimeout,
                           uTaskTerminationChar>;

// The task type of each alternative of uTask, in the variant's order, and the record's name.
inline constexpr std::int64_t TaskRecordType[] = {
    InstrumentTaskPrepare,  InstrumentTaskConnect,    InstrumentTaskDisconnect, InstrumentTaskCancel,
    InstrumentTaskGetIdn,   InstrumentTaskScpiCommand, InstrumentTaskScreencopy, InstrumentTaskWaveform,
    InstrumentTaskLocal,    InstrumentTaskRemote,     InstrumentTaskTimeout,    InstrumentTaskTerminationChar};
inline constexpr const char* TaskRecordName[] = {
    "uTaskPrepare",  "uTaskConnect",     "uTaskDisconnect", "uTaskCancel",
    "uTaskGetIdn",   "uTaskScpiCommand", "uTaskScreencopy", "uTaskWaveform",
    "uTaskLocal",    "uTaskRemote",      "uTaskTimeout",    "uTaskTerminationChar"};
static_assert(std::size(TaskRecordType) == std::variant_size_v<uTask>);
static_assert(std::size(TaskRecordName) == std::variant_size_v<uTask>);

// The head of whichever record the task holds.
inline const uTaskHead& TaskHeadOf(const uTask& task) {
    return std::visit([](const auto& record) -> const uTaskHead& { return record.head; }, task);
}

// One entry of an instance's task list: the task number and the task's own copy of the record.
// The worker thread hands the element, not the bare record, to the task procedures.
struct uTaskElement {
    std::int64_t iTaskNumber = 0;
    std::unique_ptr<uTask> pTask;
};

// The data of EventTaskFinished type 8. The receiver owns the record and its answer.
struct uTaskResultScpiCommand {
    uTaskHead head{InstrumentTaskScpiCommand, 0, 0};
    std::int64_t iTaskNumber = 0;
    std::int64_t iSendTransferred = 0;
    std::int64_t fSendFinished = 0;
    std::int64_t fRequestData = 0;
    DataBuffer requestData; // the answer; its size is iRequestTransferred
    std::int64_t iRequestTransferred = 0;
    std::int64_t fRequestFinished = 0;
};
