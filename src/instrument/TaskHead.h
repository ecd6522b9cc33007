// The task kinds of the instrument worker thread and the head that begins every task record.
#pragma once

#include <cstdint>

enum InstrumentTask : std::int64_t {
    InstrumentTaskError = 1, // result only: a failed task
    InstrumentTaskPrepare = 2,
    InstrumentTaskConnect = 3,
    InstrumentTaskDisconnect = 4,
    InstrumentTaskIdentified = 5, // result only: the end of the search chain
    InstrumentTaskCancel = 6,
    InstrumentTaskGetIdn = 7,
    InstrumentTaskScpiCommand = 8,
    InstrumentTaskScreencopy = 9,
    InstrumentTaskWaveform = 10,
    InstrumentTaskLocal = 11,
    InstrumentTaskRemote = 12,
    InstrumentTaskTimeout = 13,
    InstrumentTaskTerminationChar = 14,
};

// Common head of every task record.
struct uTaskHead {
    std::int64_t eTaskType = 0; // an InstrumentTask value
    std::int64_t iEvent = 0;    // 0, or EventSearchFinished for a task of the search chain
    std::int64_t iWindow = 0;   // receives the result and transfer events; WindowNobody = none
    // Whose task it is: a cancel, an abort and a cleared queue touch only the tasks of their own
    // owner. 0: the window's (iWindow); a script run's release, whose results go to nobody,
    // names the run here.
    std::int64_t iOwner = 0;
};

inline std::int64_t TaskOwner(const uTaskHead& head) { return head.iOwner != 0 ? head.iOwner : head.iWindow; }
