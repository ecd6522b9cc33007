#include "instrument/ScreencopyAnswer.h"

#include "common/ImagePluginGdiPlus.h"
#include "instrument/Hameg.h"
#include "instrument/ModelCommands.h"
#include "instrument/ModelTable.h"
#include "transport/BlockHeader.h"

#include <QtEndian>

#include <climits>
#include <vector>

namespace ScreencopyAnswer {
namespace {

const char* const TextNoCommand = "There is no SCPI command for reading a screen copy.";
const char* const TextNotAvailable = "The data of the retrieved screenshot is not available.";
const char* const TextInvalid = "The data for the screenshot are invalid.";
const char* const TextNotConverted = "The data for the screenshot could not be converted to an 'image'.";

// Size of a BMP's file header and of the smallest bitmap information header that has 32-bit sizes.
constexpr std::size_t BmpFileHeader = 14;
constexpr std::int32_t BmpInfoHeader = 40;

// The block of an answer whose header would start at iOffset: its header length h (0 when the
// answer has no header there and fHeaderRequired is false) and its byte count L. Fails with the
// task's text when the answer is empty, or starts a header that is not a complete block.
bool FindBlock(const std::uint8_t* pAnswer, std::size_t iAnswerSize, std::size_t iOffset, bool fHeaderRequired,
               std::size_t& h, std::uint64_t& L, std::string& sError) {
    if (!pAnswer || iAnswerSize == 0) {
        sError = TextNotAvailable;
        return false;
    }
    L = 0;
    h = Instrument::ParseBlockHeader(pAnswer, iOffset, iAnswerSize, &L);
    const bool fHeaderStarts = iOffset < iAnswerSize && pAnswer[iOffset] == '#';
    if (h == 0 && (fHeaderStarts || fHeaderRequired)) {
        sError = TextInvalid;
        return false;
    }
    return true;
}

bool Decode(const std::uint8_t* pData, std::size_t iSize, QImage& image) {
    ImagePluginGdiPlus::uDecodeRequest request;
    request.fFromMemory = 1;
    request.pData = pData;
    request.iDataSize = iSize;
    if (!ImagePluginGdiPlus::Decode(request)) return false;
    image = std::move(request.image);
    return !image.isNull();
}

} // namespace

bool IsDisplayDumpModel(std::int64_t eModel) {
    return eModel == ModelHamegHM2008 || eModel == ModelHamegHM1508 || eModel == ModelHamegHM1008;
}

bool SelectQuery(const uModelCommands& commands, std::int64_t eModel, std::string& sQuery, std::string& sError) {
    sQuery.clear();
    if (commands.sScreenCopy.empty()) {
        sError = TextNoCommand;
        return false;
    }
    sQuery = IsDisplayDumpModel(eModel) ? commands.sDisplayDump : commands.sScreenCopy;
    if (sQuery.empty()) {
        sError = TextNoCommand;
        return false;
    }
    return true;
}

std::int64_t DumpSizeChoice(std::int64_t eSize) {
    switch (eSize) {
    case SizeMiddle: return Hameg::SizeMiddle;
    case SizeLarge: return Hameg::SizeLarge;
    default: return Hameg::SizeSmall;
    }
}

bool ScreencopyToImage(const std::uint8_t* pAnswer, std::size_t iAnswerSize, QImage& image, std::string& sError) {
    image = QImage();
    std::size_t h = 0;
    std::uint64_t L = 0;
    if (!FindBlock(pAnswer, iAnswerSize, 0, false, h, L, sError)) return false;
    const std::uint8_t* pFile = pAnswer + h;
    const std::size_t iFileSize = iAnswerSize - h;

    // A BMP stored top down has a negative height: decode it with the height made positive, then
    // turn the picture upright. INT32_MIN has no positive counterpart.
    std::vector<std::uint8_t> repaired;
    bool fFlip = false;
    if (iAnswerSize > 54 && iFileSize >= BmpFileHeader + 12 && pFile[0] == 'B' && pFile[1] == 'M' &&
        qFromLittleEndian<std::int32_t>(pFile + BmpFileHeader) >= BmpInfoHeader) {
        const auto iHeight = qFromLittleEndian<std::int32_t>(pFile + 22);
        if (iHeight == INT32_MIN) {
            sError = TextNotConverted;
            return false;
        }
        if (iHeight < 0) {
            repaired.assign(pFile, pFile + iFileSize);
            qToLittleEndian<std::int32_t>(-iHeight, repaired.data() + 22);
            fFlip = true;
        }
    }
    const bool fDecoded = fFlip ? Decode(repaired.data(), repaired.size(), image) : Decode(pFile, iFileSize, image);
    if (!fDecoded) {
        sError = TextNotConverted;
        return false;
    }
    if (fFlip) image = image.mirrored(false, true);
    return true;
}

bool ConvertScreencopyData(const std::uint8_t* pAnswer, std::size_t iAnswerSize, std::int64_t eModel,
                           std::int64_t eSize, std::int64_t eColor, std::int64_t eTitle, QImage& image,
                           std::string& sError) {
    image = QImage();
    // Two bytes precede the block header; a dump always comes as a block.
    std::size_t h = 0;
    std::uint64_t L = 0;
    if (!FindBlock(pAnswer, iAnswerSize, 2, true, h, L, sError)) return false;
    image = Hameg::CreateDisplayDumpImage(L, pAnswer + 2 + h, iAnswerSize - 2 - h, eTitle == TitleDraw ? 1 : 0,
                                          eModel, DumpSizeChoice(eSize), eColor == ColorBlackWhite ? 1 : 0);
    if (image.isNull()) {
        sError = TextNotConverted;
        return false;
    }
    return true;
}

bool AnswerToImage(const std::uint8_t* pAnswer, std::size_t iAnswerSize, std::int64_t eModel, std::int64_t eSize,
                   std::int64_t eColor, std::int64_t eTitle, QImage& image, std::string& sError) {
    if (IsDisplayDumpModel(eModel)) {
        return ConvertScreencopyData(pAnswer, iAnswerSize, eModel, eSize, eColor, eTitle, image, sError);
    }
    return ScreencopyToImage(pAnswer, iAnswerSize, image, sError);
}

} // namespace ScreencopyAnswer
