// Abort requests: the transport instances whose running transfer is to stop at once because
// the user cancelled. A transfer loop asks between its steps whether a request for its own
// instance is pending, and stops with "<Module>::<Procedure>: The communication was
// terminated by instruction." when one is.
#pragma once

#include <cstdint>

namespace Instrument {

// Identifies a transport instance: its address.
inline std::uint64_t AbortId(const void* pTransportInstance) {
    return static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(pTransportInstance));
}

// Files a request for the instance, once; 0 is ignored. Any thread.
void RequestAbort(std::uint64_t iId);
// True when a request for the instance was pending; it is consumed. Any thread.
bool TakeAbortRequest(std::uint64_t iId);

inline void RequestAbort(const void* pTransportInstance) { RequestAbort(AbortId(pTransportInstance)); }
inline bool TakeAbortRequest(const void* pTransportInstance) {
    return TakeAbortRequest(AbortId(pTransportInstance));
}

// The text a transfer fails with after taking a request, e.g. for ("RawTcp", "SocketRead").
inline constexpr const char* AbortedText = "The communication was terminated by instruction.";

} // namespace Instrument
