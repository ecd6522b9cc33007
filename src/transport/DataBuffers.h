// Growing answer and send buffers in steps, and freeing a window's exchange buffers.
#pragma once

#include "common/DataBuffer.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace Instrument {

// The texts of CreateMemory's two failures, for callers that grow a buffer their own way.
inline constexpr std::string_view CreateMemoryReserveFailed =
    "Instrument::CreateMemory: Der Speicher für die Daten konnte nicht reserviert werden.";
inline constexpr std::string_view CreateMemoryGrowFailed =
    "Instrument::CreateMemory: Der Speicher für die Daten konnte nicht vergrößert werden.";

// Makes the buffer's capacity at least iSizeNeeded. An empty buffer gets iSizeNeeded, or
// iGrowStep when that is larger; a buffer that must grow grows to its capacity + iGrowStep, or
// straight to iSizeNeeded when that is further. Contents are kept, the new part is not
// cleared, the count of valid bytes is not changed. On failure the buffer is released and
// sError names the cause (German texts of the program).
bool CreateMemory(DataBuffer& buffer, std::size_t iSizeNeeded, std::size_t iGrowStep, std::string& sError);

// Frees a window's send-data and answer buffers (sizes become 0); freed buffers stay as they are.
void FreeDataBuffers(DataBuffer& sendData, DataBuffer& answer);

} // namespace Instrument
