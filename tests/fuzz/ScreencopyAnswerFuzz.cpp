// Arbitrary bytes as the answer to a screen-copy query: decoded as an image-file answer (with or
// without a block header) and as a HAMEG display-dump answer.
#include "common/ImagePluginGdiPlus.h"
#include "instrument/ScreencopyAnswer.h"

#include <QImageReader>

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    ImagePluginGdiPlus::RegisterDecoder();
    // Pictures that announce huge sizes are refused sooner; keeps every run short.
    QImageReader::setAllocationLimit(64);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pInput, std::size_t iSize) {
    QImage image;
    std::string sError;
    if (!ScreencopyAnswer::ScreencopyToImage(pInput, iSize, image, sError) && sError.empty()) __builtin_trap();
    sError.clear();
    const std::int64_t eModel = iSize > 0 ? 15 + pInput[iSize - 1] % 3 : 15;
    if (!ScreencopyAnswer::ConvertScreencopyData(pInput, iSize, eModel, 1, 5, 6, image, sError) && sError.empty()) {
        __builtin_trap();
    }
    return 0;
}
