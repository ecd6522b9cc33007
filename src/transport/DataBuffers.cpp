#include "transport/DataBuffers.h"

namespace Instrument {

bool CreateMemory(DataBuffer& buffer, std::size_t iSizeNeeded, std::size_t iGrowStep, std::string& sError) {
    if (!buffer.allocated()) {
        std::size_t iSize = iSizeNeeded;
        if (iGrowStep != 0 && iSizeNeeded < iGrowStep) iSize = iGrowStep;
        if (iSize == 0 || !buffer.reserve(iSize)) {
            sError = CreateMemoryReserveFailed;
            return false;
        }
        return true;
    }
    const std::size_t iCurrent = buffer.capacity();
    if (iSizeNeeded <= iCurrent) return true;
    std::size_t iNewSize = iSizeNeeded;
    if (iGrowStep != 0 && iGrowStep <= DataBuffer::MaxCapacity && iSizeNeeded < iCurrent + iGrowStep)
        iNewSize = iCurrent + iGrowStep;
    if (!buffer.reserve(iNewSize)) {
        buffer.release();
        sError = CreateMemoryGrowFailed;
        return false;
    }
    return true;
}

void FreeDataBuffers(DataBuffer& sendData, DataBuffer& answer) {
    sendData.release();
    answer.release();
}

} // namespace Instrument
