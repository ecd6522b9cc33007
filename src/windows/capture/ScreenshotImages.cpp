#include "windows/capture/ScreenshotImages.h"

#include "common/FileSaving.h"
#include "common/ImageFilter.h"
#include "common/ImagePluginGdiPlus.h"
#include "instrument/ScreencopyAnswer.h"

#include <charconv>
#include <vector>

namespace ScreenshotImages {

namespace {

using Table = ImageFilter::uColorTable;

constexpr Table TableInverted{{{-1, 0, 0, 0, 255}, {0, -1, 0, 0, 255}, {0, 0, -1, 0, 255}, {0, 0, 0, 1, 0}}};
constexpr Table TableBlackWhite{
    {{1.5f, 1.5f, 1.5f, 0, -255}, {1.5f, 1.5f, 1.5f, 0, -255}, {1.5f, 1.5f, 1.5f, 0, -255}, {0, 0, 0, 1, 0}}};
constexpr Table TableGrayscale{{{0.299f, 0.587f, 0.114f, 0, 0},
                                {0.299f, 0.587f, 0.114f, 0, 0},
                                {0.299f, 0.587f, 0.114f, 0, 0},
                                {0, 0, 0, 1, 0}}};

void Apply(QImage& image, const Table& table) {
    ImageFilter::uColorMatrix matrix;
    ImageFilter::SetColorMatrix(matrix, &table);
    ImageFilter::ApplyColorMatrix(image, matrix);
}

constexpr int MaxMargin = 1000000;

int Field(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    if (!s.empty() && s.front() == '+') s.remove_prefix(1);
    long long iValue = 0;
    const auto result = std::from_chars(s.data(), s.data() + s.size(), iValue);
    if (result.ec == std::errc::result_out_of_range) return s.front() == '-' ? 0 : MaxMargin;
    if (result.ec != std::errc{} || iValue < 0) return 0;
    return iValue > MaxMargin ? MaxMargin : static_cast<int>(iValue);
}

} // namespace

std::int64_t SizeCode(bool f1024, bool f768, bool f512) {
    if (f512) return 3;
    if (f768) return 2;
    return f1024 ? 1 : 0;
}

bool DecodeScreenshot(const std::uint8_t* pAnswer, std::size_t iSize, QImage& image) {
    std::string sError;
    if (!pAnswer || iSize == 0) return false;
    return ScreencopyAnswer::ScreencopyToImage(pAnswer, iSize, image, sError);
}

bool DecodeDisplayDump(const std::uint8_t* pAnswer, std::size_t iSize, const uDecodeOptions& options,
                       QImage& image) {
    if (!pAnswer || iSize == 0) return false;
    // The window's size codes count from the largest picture, the screen copy's from the smallest.
    std::int64_t eSize = ScreencopyAnswer::SizeLarge;
    if (options.iSizeCode == 2) eSize = ScreencopyAnswer::SizeMiddle;
    if (options.iSizeCode == 3) eSize = ScreencopyAnswer::SizeSmall;
    const bool fHameg = ScreencopyAnswer::IsDisplayDumpModel(options.eModel);
    std::string sError;
    return ScreencopyAnswer::ConvertScreencopyData(
        pAnswer, iSize, options.eModel, eSize,
        options.fBlackWhite ? ScreencopyAnswer::ColorBlackWhite : ScreencopyAnswer::ColorColor,
        fHameg ? ScreencopyAnswer::TitleDraw : 0, image, sError);
}

bool Decode(const std::uint8_t* pAnswer, std::size_t iSize, const uDecodeOptions& options, QImage& image) {
    if (options.fDisplayDump && options.iSizeCode > 0) return DecodeDisplayDump(pAnswer, iSize, options, image);
    return DecodeScreenshot(pAnswer, iSize, image);
}

void ParseMargins(const std::string& sMargins, int& iLeft, int& iTop, int& iRight, int& iBottom) {
    int* fields[] = {&iLeft, &iTop, &iRight, &iBottom};
    std::string_view s = sMargins;
    for (int* pField : fields) {
        const std::size_t iComma = s.find(',');
        *pField = Field(s.substr(0, iComma));
        s = iComma == std::string_view::npos ? std::string_view{} : s.substr(iComma + 1);
    }
}

bool Process(const QImage& raw, const uProcessOptions& options, const QImage* pPrevious, QImage& processed) {
    bool fSizeChanged = pPrevious && !pPrevious->isNull() && pPrevious->size() != raw.size();
    processed = raw.copy();
    if (processed.isNull() || !options.fProcessing) return fSizeChanged;
    if (options.fCutOffOffered && options.fCutOff && !options.sMargins.empty()) {
        int l = 0, t = 0, r = 0, b = 0;
        ParseMargins(options.sMargins, l, t, r, b);
        if (l > 0 || t > 0 || r > 0 || b > 0) {
            fSizeChanged = true;
            const long long w = static_cast<long long>(processed.width()) - l - r;
            const long long h = static_cast<long long>(processed.height()) - t - b;
            if (w > 0 && h > 0) processed = processed.copy(l, t, static_cast<int>(w), static_cast<int>(h));
        }
    }
    if (options.fColorsOffered) {
        if (options.fInvert) Invert(processed);
        if (options.fBlackWhite) BlackWhite(processed);
        if (options.fGrayscale) Grayscale(processed);
    }
    if (pPrevious && !pPrevious->isNull() && pPrevious->size() != processed.size()) fSizeChanged = true;
    return fSizeChanged;
}

void Invert(QImage& image) { Apply(image, TableInverted); }
void BlackWhite(QImage& image) { Apply(image, TableBlackWhite); }
void Grayscale(QImage& image) { Apply(image, TableGrayscale); }

std::string JoinPath(const std::string& sFolder, const std::string& sName) {
    if (sFolder.empty()) return sName;
    if (sFolder.back() == '/') return sFolder + sName;
    return sFolder + "/" + sName;
}

std::string ChooseAutomaticFile(const std::string& sFolder, const std::string& sName, const std::string& sNameZ,
                                std::string& sLastName, const std::function<bool(const std::string&)>& exists) {
    const bool fRepeated = sName == sLastName;
    sLastName = sName;
    std::string sPath = JoinPath(sFolder, sName + ".png");
    if (!fRepeated && !exists(sPath)) return sPath;
    sPath = JoinPath(sFolder, sNameZ + ".png");
    for (int i = 2; exists(sPath) && i < 100000; ++i) sPath = JoinPath(sFolder, sNameZ + "-" + std::to_string(i) + ".png");
    return sPath;
}

std::string WithPngExtension(const std::string& sFileName) {
    const std::size_t iSlash = sFileName.find_last_of('/');
    const std::size_t iDot = sFileName.find_last_of('.');
    if (iDot != std::string::npos && (iSlash == std::string::npos || iDot > iSlash)) {
        std::string sExtension = sFileName.substr(iDot + 1);
        for (char& c : sExtension) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        if (sExtension == "PNG") return sFileName;
    }
    return sFileName + ".png";
}

bool WritePng(const QImage& image, const std::string& sFileName, bool fNewOnly, std::string& sError,
              const std::atomic<bool>* pStop) {
    const std::string sFailed = "The file could not be created: " + sFileName;
    std::vector<std::uint8_t> png;
    if (image.isNull() ||
        !ImagePluginGdiPlus::EncodeImage(image, "", ImagePluginGdiPlus::EncoderFlagsPng, 24, &png) || png.empty()) {
        sError = sFailed;
        return false;
    }
    // The file chosen in the requester may hold an earlier picture: it is replaced only by a
    // complete one. An automatic save never replaces a file (fNewOnly).
    std::string sReason;
    if (!Utility::SaveFile(sFileName, std::string_view(reinterpret_cast<const char*>(png.data()), png.size()),
                           sReason, fNewOnly, nullptr, pStop)) {
        sError = Utility::FileFailure("The file could not be created: ", sFileName, sReason);
        return false;
    }
    return true;
}

} // namespace ScreenshotImages
