// The event-data store: a worker thread leaves a record (above all an error report) under a
// text key, posts a program event carrying the key's number, and the window's handler takes
// the record out again by the same key. One process-wide table under its own (leaf) lock.
#pragma once

#include "common/Failure.h"

#include <chrono>
#include <cstdint>
#include <string>

struct uEventData {
    std::int64_t iValue = 0;
    std::string sText;
    std::string sModule;
    std::string sProcedure;
    // The failure an error record reports (kind None: none named): the reason a window shows is
    // chosen from it. sText above is the whole message; the record's own text is the failing
    // call's.
    Failure::uFailure failure{};
};

namespace Utility {

// A new key number: unique for the run and increasing, never 0. A poster stores its record
// under the decimal text of this number and posts the number as the event's data.
std::int64_t EventDataNewKey();

// Stores a copy of the record under the key (several records may share a key; the one put
// last is taken first). When the store holds more than 1000 records, records stored longer
// ago than the purge age are dropped first; younger ones, whose events may still be queued,
// stay. A null record only purges.
void EventDataPut(const std::string& sKey, const uEventData* pRecord);
// Copies a record stored under the key into out and removes it; false (out untouched) when
// there is none.
bool EventDataTake(const std::string& sKey, uEventData& out);

// Stores the record under a new key and returns the key number to post.
std::int64_t EventDataStore(const uEventData& record);

// Records stored longer ago than this may be purged (five minutes unless changed).
void EventDataSetPurgeAge(std::chrono::milliseconds age);
// Number of records held.
std::size_t EventDataCount();
// Empties the store (start-up and tests).
void EventDataClear();

} // namespace Utility
