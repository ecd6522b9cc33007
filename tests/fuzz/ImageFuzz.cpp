// Arbitrary bytes as an image answer or file: the PNG size walk, the codec's decode (PNG, BMP,
// JPEG, GIF, ICO and whatever Qt reads) with the copy of its pixels, and an icon built from
// the decoded picture at a size taken from the input and decoded again.
#include "common/IconFile.h"
#include "common/ImagePluginGdiPlus.h"

#include <QImageReader>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    ImagePluginGdiPlus::RegisterDecoder();
    ImagePluginGdiPlus::RegisterEncoder();
    // Pictures that announce huge sizes are refused sooner; keeps every run short.
    QImageReader::setAllocationLimit(64);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pInput, std::size_t iSize) {
    if (iSize < 1) return 0;
    const std::uint8_t iChoice = pInput[0];
    const std::uint8_t* pData = pInput + 1;
    const std::size_t iData = iSize - 1;

    // A PNG size is 0 (no signature), the end of IEND within the data, or a stop past it.
    const std::uint64_t iPng = ImagePluginGdiPlus::GetPngSize(pData, iData);
    if (iPng != 0) {
        const bool fEnd = iPng >= 20 && iPng <= iData && std::memcmp(pData + iPng - 8, "IEND", 4) == 0;
        if (!fEnd && iPng + 8 <= iData) __builtin_trap();
    }

    ImagePluginGdiPlus::uDecodeRequest request;
    request.pData = pData;
    request.iDataSize = iData;
    request.fFromMemory = 1;
    if (!ImagePluginGdiPlus::Decode(request)) return 0;
    if (request.iWidth <= 0 || request.iHeight <= 0) __builtin_trap();
    const QImage image = request.image;
    // Bottom-up or top-down, into a buffer of exactly the rows asked for.
    const std::size_t iPitch = static_cast<std::size_t>(request.iWidth) * 4;
    std::vector<std::uint8_t> pixels(iPitch * static_cast<std::size_t>(request.iHeight));
    ImagePluginGdiPlus::CopyPixels(request, pixels.data(), pixels.size(), static_cast<int>(iPitch),
                                   (iChoice & 1) ? ImagePluginGdiPlus::FlagBottomUp : 0);

    static const int aSizes[] = {-1, 16, 24, 32, 48, 64, 128, 256, 0, 17, 1000};
    const int iIcon = IconFile::Begin(-1, "fuzz", 0);
    if (iIcon < 0) __builtin_trap();
    const int iIconSize = aSizes[(iChoice >> 1) % std::size(aSizes)];
    const bool fAdded = IconFile::AddImage(iIcon, image, iIconSize);
    const std::vector<std::uint8_t> ico = IconFile::Build(iIcon);
    if (fAdded == ico.empty()) __builtin_trap();
    if (fAdded) {
        ImagePluginGdiPlus::uDecodeRequest again;
        again.pData = ico.data();
        again.iDataSize = ico.size();
        again.fFromMemory = 1;
        if (!ImagePluginGdiPlus::Decode(again)) __builtin_trap(); // our own icon reads back
        ImagePluginGdiPlus::FreeImage(again);
    }
    return 0;
}
