#include "common/IconFile.h"

#include "common/ImagePluginGdiPlus.h"

#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <map>
#include <mutex>

namespace IconFile {
namespace {

constexpr int IconTypeIcon = 1;
constexpr int HeaderSize = 6;
constexpr int DirectoryEntrySize = 16;
constexpr int AcceptedSizes[] = {16, 24, 32, 48, 64, 128, 256};

struct uIcoEntry {
    std::vector<std::uint8_t> mData; // the entry's PNG file
    std::uint8_t iWidth = 0;         // low byte of the pixel width: 256 is stored as 0
    std::uint8_t iHeight = 0;
    std::uint8_t iColorCount = 0;
    std::uint16_t iPlanes = 1;
    std::uint16_t iBitCount = 32;
};

struct uIconSet {
    std::string sText;
    int iType = IconTypeIcon;
    int iFormat = 0;
    std::vector<uIcoEntry> mEntries;
};

std::mutex mSetMutex;
std::map<int, uIconSet> mSets;

void PutLittleEndian(std::vector<std::uint8_t>& mOut, std::size_t iAt, std::uint32_t iValue, int iBytes) {
    for (int i = 0; i < iBytes; ++i) mOut[iAt + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(iValue >> (8 * i));
}

// A square copy of a non-square image: centred on a transparent canvas of its larger side.
QImage Squared(const QImage& image) {
    if (image.width() == image.height()) return image;
    const int iSide = std::max(image.width(), image.height());
    QImage canvas(iSide, iSide, QImage::Format_ARGB32);
    if (canvas.isNull()) return canvas;
    canvas.fill(Qt::transparent);
    QPainter painter(&canvas);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage((iSide - image.width()) / 2, (iSide - image.height()) / 2, image);
    return canvas;
}

} // namespace

int Begin(int iId, const std::string& sText, int iFormat) {
    std::lock_guard lock(mSetMutex);
    if (iId == -1) {
        iId = 1;
        while (mSets.count(iId)) {
            if (iId == INT32_MAX) return -1;
            ++iId;
        }
    }
    uIconSet& set = mSets[iId];
    set = uIconSet{};
    set.sText = sText;
    set.iFormat = iFormat;
    return iId;
}

bool AddImage(int iId, const QImage& source, int iSize) {
    {
        std::lock_guard lock(mSetMutex);
        if (!mSets.count(iId)) return false;
    }
    if (source.isNull()) return false;
    const int iLong = std::max(source.width(), source.height());
    if (iSize == -1) iSize = iLong;
    if (std::find(std::begin(AcceptedSizes), std::end(AcceptedSizes), iSize) == std::end(AcceptedSizes)) return false;
    // A picture larger than its entry is scaled down before it is squared: squared first, a
    // long thin one would become a square of its long side (16385 x 1: one gigabyte).
    QImage picture = source;
    if (iLong > iSize) {
        const auto Side = [&](int iSide) { return std::max(1, static_cast<int>(std::lround(double(iSide) * iSize / iLong))); };
        picture = source.scaled(Side(source.width()), Side(source.height()), Qt::IgnoreAspectRatio,
                                Qt::SmoothTransformation);
    }
    QImage image = Squared(picture);
    if (image.isNull()) return false;
    if (image.width() != iSize) image = image.scaled(iSize, iSize, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    if (image.isNull()) return false;

    uIcoEntry entry;
    if (!ImagePluginGdiPlus::EncodeImage(image, "", ImagePluginGdiPlus::EncoderFlagsPng, 32, &entry.mData)) {
        return false;
    }
    entry.iWidth = static_cast<std::uint8_t>(image.width() & 0xFF);
    entry.iHeight = static_cast<std::uint8_t>(image.height() & 0xFF);

    std::lock_guard lock(mSetMutex);
    auto it = mSets.find(iId); // the set may have been built meanwhile
    if (it == mSets.end()) return false;
    it->second.mEntries.push_back(std::move(entry));
    return true;
}

std::vector<std::uint8_t> Build(int iId) {
    uIconSet set;
    {
        std::lock_guard lock(mSetMutex);
        auto it = mSets.find(iId);
        if (it == mSets.end()) return {};
        set = std::move(it->second);
        mSets.erase(it);
    }
    if (set.mEntries.empty()) return {};

    const std::size_t iCount = set.mEntries.size();
    std::size_t iTotal = HeaderSize + DirectoryEntrySize * iCount;
    for (const uIcoEntry& entry : set.mEntries) iTotal += entry.mData.size();
    if (iCount > UINT16_MAX || iTotal > UINT32_MAX) return {}; // 16-bit count, 32-bit offsets

    std::vector<std::uint8_t> mFile(iTotal, 0);
    PutLittleEndian(mFile, 0, 0, 2);
    PutLittleEndian(mFile, 2, static_cast<std::uint32_t>(set.iType), 2);
    PutLittleEndian(mFile, 4, static_cast<std::uint32_t>(iCount), 2);
    std::size_t iOffset = HeaderSize + DirectoryEntrySize * iCount;
    for (std::size_t k = 0; k < iCount; ++k) {
        const uIcoEntry& entry = set.mEntries[k];
        const std::size_t iAt = HeaderSize + DirectoryEntrySize * k;
        mFile[iAt + 0] = entry.iWidth;
        mFile[iAt + 1] = entry.iHeight;
        mFile[iAt + 2] = entry.iColorCount;
        mFile[iAt + 3] = 0;
        PutLittleEndian(mFile, iAt + 4, entry.iPlanes, 2);
        PutLittleEndian(mFile, iAt + 6, entry.iBitCount, 2);
        PutLittleEndian(mFile, iAt + 8, static_cast<std::uint32_t>(entry.mData.size()), 4);
        PutLittleEndian(mFile, iAt + 12, static_cast<std::uint32_t>(iOffset), 4);
        std::copy(entry.mData.begin(), entry.mData.end(), mFile.begin() + static_cast<std::ptrdiff_t>(iOffset));
        iOffset += entry.mData.size();
    }
    return mFile;
}

} // namespace IconFile
