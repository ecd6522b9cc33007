// Arbitrary bytes to the display-dump renderer. Byte 0 picks the options (bits 0-1 the size
// choice, bit 2 black and white, bit 3 the title, bits 4-5 the model from 15); bytes 1-2 give
// how many bytes after the dump block belong to the separator and catalogue; the rest is the
// data as the renderer gets it.
#include "instrument/Hameg.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pInput, std::size_t iSize) {
    if (iSize < 3) return 0;
    const std::uint8_t iOptions = pInput[0];
    const std::size_t iTail = (std::size_t{pInput[1]} << 8) | pInput[2];
    const std::uint8_t* pData = iSize > 3 ? pInput + 3 : nullptr;
    const std::size_t iDataSize = iSize - 3;
    const std::size_t iBlock = iDataSize > iTail ? iDataSize - iTail : iDataSize;
    std::vector<std::string> messages;
    const QImage image =
        Hameg::RenderDisplayDump(iBlock, pData, iDataSize, (iOptions >> 3) & 1, 15 + ((iOptions >> 4) & 3),
                                 iOptions & 3, (iOptions >> 2) & 1, messages);
    if (!image.isNull() && image.format() != QImage::Format_RGB888) __builtin_trap();
    return 0;
}
