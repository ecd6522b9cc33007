// The texts of the waveform pump's status and log lines, and the rules that decide which lines
// are shown.
#pragma once

#include "windows/capture/PumpSupport.h"
#include "windows/capture/WaveformPump.h"

#include <string>

namespace WaveformText {

inline constexpr const char* NotSent = PumpSupport::NotSent;
inline constexpr const char* NotReceived = PumpSupport::NotReceived;
inline constexpr const char* NoData = PumpSupport::NoData;
inline constexpr const char* CommunicationError = PumpSupport::CommunicationError;
inline constexpr const char* ReadStopped = "The read stopped"; // a single read that a failure ended
inline constexpr const char* Incomplete = "The data block is incomplete, bytes received: ";
inline constexpr const char* BlockTooLong = "The data block does not end where its header says, bytes announced: ";
inline constexpr const char* NoBlock = "The answer holds no data block, or an empty one.";
inline constexpr const char* Unresolved = "The request still holds a placeholder and is not sent: ";
inline constexpr const char* NoMaxPoint =
    "The instrument did not answer the query of the most points of one piece: the pieces hold at most ";

// The instrument's model text and " - ".
inline std::string Prefix(const uWaveformPump& pump) { return pump.instrument.sModel + " - "; }

// The first request's channel text and " - ", or nothing.
inline std::string Channel(const uWaveformPump& pump) {
    if (pump.mRequestList.empty() || pump.mRequestList.front().sChannel.empty()) return {};
    return pump.mRequestList.front().sChannel + " - ";
}

// Per-request lines are left out of automatic reads with an interval under ten minutes.
inline bool DisplayAllowed(const uWaveformPump& pump) {
    return !pump.fAutomatic || pump.iInterval >= WaveformPump::QuietInterval;
}

inline bool FirstKindIs(const uWaveformPump& pump, std::int64_t eKind) {
    return !pump.mRequestList.empty() && pump.mRequestList.front().eKind == eKind;
}
inline bool IsPoll(const uWaveformPump& pump) { return FirstKindIs(pump, RequestOptionWaitTrigger); }

} // namespace WaveformText
