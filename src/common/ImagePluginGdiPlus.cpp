#include "common/ImagePluginGdiPlus.h"

#include "common/FileSaving.h"
#include "common/MemoryStream.h"

#include <QBuffer>
#include <QByteArray>
#include <QFile>
#include <QImageReader>
#include <QImageWriter>
#include <QPainter>
#include <QString>

#include <atomic>
#include <climits>
#include <cstring>

namespace ImagePluginGdiPlus {
namespace {

std::atomic<std::uintptr_t> iToken{0};
std::atomic<bool> fDecoderRegistered{false};
std::atomic<bool> fEncoderRegistered{false};

constexpr std::uint8_t PngSignature[8] = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};

// Writer format per encoder index; GIF, EMF and WMF have no writer and fail.
constexpr const char* EncoderFormat[8] = {"bmp", "jpeg", "gif", "emf", "wmf", "tiff", "png", "ico"};

// The TIFF compression value for the LZW scheme.
constexpr int TiffCompressionLzw = 2;

std::uint32_t ReadBigEndian32(const std::uint8_t* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}

std::int32_t ReadLittleEndianInt32(const std::uint8_t* p) {
    const std::uint32_t v = std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) |
                            (std::uint32_t{p[3]} << 24);
    std::int32_t i;
    std::memcpy(&i, &v, sizeof i);
    return i;
}

// A BMP stores a top-down picture as a negative height; INT32_MIN has no positive counterpart.
bool IsBmpWithUnusableHeight(const std::uint8_t* p, std::size_t n) {
    if (n < 26 || p[0] != 'B' || p[1] != 'M') return false;
    const std::int32_t iHeaderSize = ReadLittleEndianInt32(p + 14);
    if (iHeaderSize < 40) return false; // the old 12-byte header has 16-bit sizes
    return ReadLittleEndianInt32(p + 22) == INT32_MIN;
}

// Bits per pixel of the file's own format, as far as the decoded format tells it.
int SourceBits(const QImage& image) {
    switch (image.format()) {
    case QImage::Format_RGB32:
    case QImage::Format_RGB888:
    case QImage::Format_BGR888:
    case QImage::Format_RGBX8888: return 24;
    case QImage::Format_RGBX64: return 48;
    default: return image.depth();
    }
}

bool WriteImage(const QImage& image, QIODevice* pDevice, int iIndex, std::uint32_t iEncoderFlags) {
    QImageWriter writer(pDevice, EncoderFormat[iIndex]);
    if (!writer.canWrite()) return false;
    if (iIndex == EncoderJpeg) writer.setQuality(ClampQuality(iEncoderFlags));
    if (iIndex == EncoderTiff) {
        writer.setCompression(static_cast<int>((iEncoderFlags >> 12) & 7) == TiffCompressionLzw ? 1 : 0);
    }
    return writer.write(image);
}

} // namespace

std::uintptr_t Startup() {
    std::uintptr_t iExpected = 0;
    iToken.compare_exchange_strong(iExpected, 1);
    return iToken.load();
}

void Shutdown() { iToken = 0; }

int RegisterDecoder() {
    if (!Startup()) return 0;
    fDecoderRegistered = true;
    return 1;
}

int RegisterEncoder() {
    if (!Startup()) return 0;
    fEncoderRegistered = true;
    return 1;
}

std::uint64_t GetPngSize(const std::uint8_t* pData, std::size_t iSize) {
    if (!pData || iSize < sizeof PngSignature || std::memcmp(pData, PngSignature, sizeof PngSignature) != 0) {
        return 0;
    }
    // 64-bit positions: a chunk length near 2^32 cannot wrap them, and every read is checked.
    std::uint64_t iPosition = 8;
    if (iPosition + 8 > iSize) return iPosition; // not even the first chunk's length is there
    for (;;) {
        iPosition += std::uint64_t{ReadBigEndian32(pData + iPosition)} + 12;
        if (iPosition + 8 > iSize) return iPosition;
        if (std::memcmp(pData + iPosition + 4, "IEND", 4) == 0) return iPosition + 12;
    }
}

int ClampQuality(std::uint32_t iEncoderFlags) {
    const int iQuality = static_cast<int>(iEncoderFlags & 0xFF);
    if (iQuality == 0) return 80;
    return iQuality > 100 ? 100 : iQuality;
}

bool Decode(uDecodeRequest& request) {
    if (!iToken) return false;
    QByteArray mFile; // keeps the bytes of a file alive while they are read
    const std::uint8_t* pData = request.pData;
    std::size_t iSize = request.iDataSize;
    if (!request.fFromMemory) {
        QFile file(QString::fromStdString(request.sFileName));
        if (!file.open(QIODevice::ReadOnly)) return false;
        mFile = file.readAll();
        pData = reinterpret_cast<const std::uint8_t*>(mFile.constData());
        iSize = static_cast<std::size_t>(mFile.size());
    }
    if (!pData || iSize == 0) return false;
    const std::uint64_t iPngSize = GetPngSize(pData, iSize);
    if (iPngSize != 0 && iPngSize < iSize) iSize = static_cast<std::size_t>(iPngSize);
    if (IsBmpWithUnusableHeight(pData, iSize)) return false;

    MemoryStream::Device device(MemoryStream::CreateReadOnly(pData, iSize));
    QImageReader reader(&device);
    QImage image = reader.read();
    if (image.isNull()) return false;
    request.iWidth = image.width();
    request.iHeight = image.height();
    request.iDepth = 32;
    request.iSourceBits = SourceBits(image);
    request.image = std::move(image);
    return true;
}

void CopyPixels(uDecodeRequest& request, std::uint8_t* pTarget, std::size_t iTargetSize, int iPitch, int iFlags) {
    const QImage image = request.image.convertToFormat(QImage::Format_ARGB32);
    FreeImage(request);
    if (image.isNull() || !pTarget || iPitch <= 0) return;
    const std::size_t iRowBytes = static_cast<std::size_t>(image.width()) * 4;
    const std::size_t iPitchBytes = static_cast<std::size_t>(iPitch);
    const std::size_t iRows = static_cast<std::size_t>(image.height());
    if (iPitchBytes < iRowBytes || (iRows - 1) * iPitchBytes + iRowBytes > iTargetSize) return;
    for (std::size_t y = 0; y < iRows; ++y) {
        const std::size_t iTargetRow = (iFlags & FlagBottomUp) ? iRows - 1 - y : y;
        std::memcpy(pTarget + iTargetRow * iPitchBytes, image.constScanLine(static_cast<int>(y)), iRowBytes);
    }
}

void FreeImage(uDecodeRequest& request) { request.image = QImage(); }

bool Encode(std::uint32_t iPixelFormat, const std::string& sFileName, const std::uint8_t* pPixels, int iWidth,
            int iHeight, int iPitch, int iOrientation, std::uint32_t iEncoderFlags, int iDepth,
            std::vector<std::uint8_t>* pMemory) {
    if (!iToken || !pPixels || iWidth <= 0 || iHeight <= 0) return false;
    if (sFileName.empty() && !pMemory) return false;
    QImage::Format iFormat;
    int iBytesPerPixel;
    if (iPixelFormat == PixelFormat24bppRGB) {
        iFormat = QImage::Format_BGR888;
        iBytesPerPixel = 3;
    } else if (iPixelFormat == PixelFormat32bppARGB) {
        iFormat = QImage::Format_ARGB32;
        iBytesPerPixel = 4;
    } else {
        return false;
    }
    const std::size_t iRowBytes = static_cast<std::size_t>(iWidth) * static_cast<std::size_t>(iBytesPerPixel);
    if (iPitch <= 0 || static_cast<std::size_t>(iPitch) < iRowBytes) return false;

    QImage image(iWidth, iHeight, iFormat);
    if (image.isNull()) return false;
    for (int y = 0; y < iHeight; ++y) {
        const int iSourceRow = (iOrientation & FlagBottomUp) ? iHeight - 1 - y : y;
        std::memcpy(image.scanLine(y), pPixels + static_cast<std::size_t>(iSourceRow) * static_cast<std::size_t>(iPitch),
                    iRowBytes);
    }

    const int iIndex = static_cast<int>((iEncoderFlags >> 8) & 7);
    if (iFormat == QImage::Format_ARGB32 && (iIndex == EncoderBmp || iIndex == EncoderJpeg)) {
        // Formats without alpha: transparent pixels become white, not black.
        QImage white(iWidth, iHeight, QImage::Format_ARGB32);
        if (white.isNull()) return false;
        white.fill(0xFFFFFFFFu);
        {
            QPainter painter(&white);
            painter.drawImage(0, 0, image);
        }
        image = white.convertToFormat(QImage::Format_RGB32);
    }
    if (iIndex == EncoderTiff && iDepth == 24) image = image.convertToFormat(QImage::Format_RGB888);

    QByteArray mEncoded;
    QBuffer buffer(&mEncoded);
    buffer.open(QIODevice::WriteOnly);
    if (!WriteImage(image, &buffer, iIndex, iEncoderFlags) || mEncoded.isEmpty()) return false;
    if (!sFileName.empty()) {
        // Encoded whole first: the file is written only with every byte of the picture.
        std::string sIgnored;
        return Utility::SaveFile(
            sFileName, std::string_view(mEncoded.constData(), static_cast<std::size_t>(mEncoded.size())),
            sIgnored);
    }
    pMemory->assign(reinterpret_cast<const std::uint8_t*>(mEncoded.constData()),
                    reinterpret_cast<const std::uint8_t*>(mEncoded.constData()) + mEncoded.size());
    return true;
}

bool EncodeA(const std::string& sFileName, const std::uint8_t* pPixels, int iWidth, int iHeight, int iPitch,
             int iOrientation, std::uint32_t iEncoderFlags, int iDepth, std::vector<std::uint8_t>* pMemory) {
    return Encode(PixelFormat32bppARGB, sFileName, pPixels, iWidth, iHeight, iPitch, iOrientation, iEncoderFlags,
                  iDepth, pMemory);
}

bool EncodeB(const std::string& sFileName, const std::uint8_t* pPixels, int iWidth, int iHeight, int iPitch,
             int iOrientation, std::uint32_t iEncoderFlags, int iDepth, std::vector<std::uint8_t>* pMemory) {
    return Encode(PixelFormat24bppRGB, sFileName, pPixels, iWidth, iHeight, iPitch, iOrientation, iEncoderFlags,
                  iDepth, pMemory);
}

bool EncodeImage(const QImage& image, const std::string& sFileName, std::uint32_t iEncoderFlags, int iDepth,
                 std::vector<std::uint8_t>* pMemory) {
    if (image.isNull()) return false;
    if (iDepth == 24) {
        const QImage source = image.convertToFormat(QImage::Format_BGR888);
        return EncodeB(sFileName, source.constBits(), source.width(), source.height(),
                       static_cast<int>(source.bytesPerLine()), 0, iEncoderFlags, iDepth, pMemory);
    }
    const QImage source = image.convertToFormat(QImage::Format_ARGB32);
    return EncodeA(sFileName, source.constBits(), source.width(), source.height(),
                   static_cast<int>(source.bytesPerLine()), 0, iEncoderFlags, iDepth, pMemory);
}

} // namespace ImagePluginGdiPlus
