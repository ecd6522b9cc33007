#include "common/ImagePluginGdiPlus.h"
#include "common/FileSizeLimit.h"
#include "common/MemoryStream.h"
#include "common/ImageTestSupport.h"
#include "common/TestApplication.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <climits>
#include <cstring>

namespace {

namespace Codec = ImagePluginGdiPlus;
using ImageTestSupport::Pattern;

class ImageCodecTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { TestApplication::Ensure(); }
    void SetUp() override {
        ASSERT_EQ(Codec::RegisterDecoder(), 1);
        ASSERT_EQ(Codec::RegisterEncoder(), 1);
    }

    static std::vector<std::uint8_t> EncodeTo(const QImage& image, std::uint32_t iFlags, int iDepth = 32) {
        std::vector<std::uint8_t> mOut;
        EXPECT_TRUE(Codec::EncodeImage(image, "", iFlags, iDepth, &mOut));
        return mOut;
    }

    static QImage DecodeBytes(const std::vector<std::uint8_t>& mData) {
        Codec::uDecodeRequest request;
        request.fFromMemory = 1;
        request.pData = mData.data();
        request.iDataSize = mData.size();
        if (!Codec::Decode(request)) return {};
        return request.image.convertToFormat(QImage::Format_ARGB32);
    }

    static std::vector<std::uint8_t> Png(int iChunkLength, const char* sType, std::size_t iDataBytes) {
        std::vector<std::uint8_t> m = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};
        const auto n = static_cast<std::uint32_t>(iChunkLength);
        m.insert(m.end(), {std::uint8_t(n >> 24), std::uint8_t(n >> 16), std::uint8_t(n >> 8), std::uint8_t(n)});
        m.insert(m.end(), sType, sType + 4);
        m.resize(m.size() + iDataBytes, 0);
        return m;
    }
};

constexpr std::uint32_t FlagsOf(int iIndex, int iQuality = 0) {
    return static_cast<std::uint32_t>(iIndex << 8) | static_cast<std::uint32_t>(iQuality);
}

TEST_F(ImageCodecTest, PngFollowedByJunkDecodesAndItsSizeEndsAtIend) {
    const QImage source = Pattern(21, 13);
    std::vector<std::uint8_t> mPng = EncodeTo(source, Codec::EncoderFlagsPng);
    ASSERT_GT(mPng.size(), 57u);
    EXPECT_EQ(Codec::GetPngSize(mPng.data(), mPng.size()), mPng.size());
    const std::size_t iPngSize = mPng.size();
    for (int i = 0; i < 300; ++i) mPng.push_back(static_cast<std::uint8_t>(i * 7));
    EXPECT_EQ(Codec::GetPngSize(mPng.data(), mPng.size()), iPngSize);
    const QImage decoded = DecodeBytes(mPng);
    ASSERT_FALSE(decoded.isNull());
    EXPECT_EQ(decoded, source);
}

TEST_F(ImageCodecTest, PngSizeNeverReadsPastTheData) {
    // Answers of 8 to 11 bytes: the signature and part of a length. Exact-size buffers, so that
    // the address sanitizer sees any read past them.
    for (std::size_t n = 8; n <= 11; ++n) {
        std::vector<std::uint8_t> m = Png(13, "IHDR", 0);
        m.resize(n);
        const std::uint64_t iSize = Codec::GetPngSize(m.data(), m.size());
        EXPECT_GT(iSize + 8, n) << n;
    }
    // A chunk length near 2^32 does not wrap the position back into the data.
    std::vector<std::uint8_t> mHuge = Png(-4, "IHDR", 40);
    EXPECT_EQ(Codec::GetPngSize(mHuge.data(), mHuge.size()), 8u + 0xFFFFFFFCull + 12u);
    // A bare IHDR without IEND: the walk stops behind the data, so decoding does not cut it.
    std::vector<std::uint8_t> mBare = Png(13, "IHDR", 13 + 4);
    EXPECT_EQ(Codec::GetPngSize(mBare.data(), mBare.size()), mBare.size());
    // No signature, or too short for one.
    const std::uint8_t bmp[8] = {'B', 'M', 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(Codec::GetPngSize(bmp, sizeof bmp), 0u);
    EXPECT_EQ(Codec::GetPngSize(mBare.data(), 7), 0u);
    EXPECT_EQ(Codec::GetPngSize(nullptr, 100), 0u);
}

TEST_F(ImageCodecTest, BmpIsDecodedWholeAndAnUnusableHeightIsRefused) {
    const QImage source = Pattern(9, 7);
    std::vector<std::uint8_t> mBmp = EncodeTo(source, FlagsOf(Codec::EncoderBmp), 24);
    ASSERT_GT(mBmp.size(), 54u);
    EXPECT_EQ(Codec::GetPngSize(mBmp.data(), mBmp.size()), 0u);
    EXPECT_EQ(DecodeBytes(mBmp), source);

    // Height INT32_MIN: a top-down picture whose height has no positive value.
    std::int32_t iHeight = INT32_MIN;
    std::memcpy(mBmp.data() + 22, &iHeight, 4);
    EXPECT_TRUE(DecodeBytes(mBmp).isNull());
    // A plain top-down BMP (negative height) is fine.
    iHeight = -7;
    std::memcpy(mBmp.data() + 22, &iHeight, 4);
    const QImage topDown = DecodeBytes(mBmp);
    ASSERT_FALSE(topDown.isNull());
    EXPECT_EQ(topDown, source.mirrored(false, true));
}

TEST_F(ImageCodecTest, TransparencyBecomesWhiteInJpegAndBmpAndStaysInPng) {
    QImage source(8, 8, QImage::Format_ARGB32);
    source.fill(Qt::transparent);
    source.setPixel(0, 0, qRgba(0, 0, 255, 255));

    const QImage bmp = DecodeBytes(EncodeTo(source, FlagsOf(Codec::EncoderBmp)));
    ASSERT_FALSE(bmp.isNull());
    EXPECT_EQ(bmp.pixel(5, 5), qRgb(255, 255, 255));
    EXPECT_EQ(bmp.pixel(0, 0), qRgb(0, 0, 255));

    const QImage jpeg = DecodeBytes(EncodeTo(source, FlagsOf(Codec::EncoderJpeg, 100)));
    ASSERT_FALSE(jpeg.isNull());
    EXPECT_GE(qRed(jpeg.pixel(6, 6)), 250);
    EXPECT_GE(qGreen(jpeg.pixel(6, 6)), 250);
    EXPECT_GE(qBlue(jpeg.pixel(6, 6)), 250);

    const QImage png = DecodeBytes(EncodeTo(source, Codec::EncoderFlagsPng));
    ASSERT_FALSE(png.isNull());
    EXPECT_EQ(qAlpha(png.pixel(5, 5)), 0);
    EXPECT_EQ(png.pixel(0, 0), qRgba(0, 0, 255, 255));
}

TEST_F(ImageCodecTest, JpegQualityRule) {
    EXPECT_EQ(Codec::ClampQuality(0x400100), 80);
    EXPECT_EQ(Codec::ClampQuality(FlagsOf(1, 150)), 100);
    EXPECT_EQ(Codec::ClampQuality(FlagsOf(1, 55)), 55);
    // The rule reaches the writer: quality 0 writes what 80 writes, 150 what 100 writes.
    const QImage source = Pattern(40, 40);
    EXPECT_EQ(EncodeTo(source, FlagsOf(Codec::EncoderJpeg, 0)), EncodeTo(source, FlagsOf(Codec::EncoderJpeg, 80)));
    EXPECT_EQ(EncodeTo(source, FlagsOf(Codec::EncoderJpeg, 150)),
              EncodeTo(source, FlagsOf(Codec::EncoderJpeg, 100)));
}

TEST_F(ImageCodecTest, RoundTripKeepsThePixelsInBothRowOrders) {
    QImage source = Pattern(17, 11);
    source.setPixel(3, 4, qRgba(10, 20, 30, 128)); // a half-transparent pixel survives too
    const int iPitch = 17 * 4 + 8;
    std::vector<std::uint8_t> mPixels(static_cast<std::size_t>(iPitch) * 11, 0xEE);
    for (int y = 0; y < 11; ++y) std::memcpy(mPixels.data() + y * iPitch, source.constScanLine(y), 17 * 4);

    for (int iOrientation : {0, Codec::FlagBottomUp}) {
        std::vector<std::uint8_t> mPng;
        ASSERT_TRUE(Codec::EncodeA("", mPixels.data(), 17, 11, iPitch, iOrientation, Codec::EncoderFlagsPng, 32, &mPng));
        Codec::uDecodeRequest request;
        request.fFromMemory = 1;
        request.pData = mPng.data();
        request.iDataSize = mPng.size();
        ASSERT_TRUE(Codec::Decode(request));
        EXPECT_EQ(request.iWidth, 17);
        EXPECT_EQ(request.iHeight, 11);
        EXPECT_EQ(request.iDepth, 32);
        EXPECT_EQ(request.iSourceBits, 32);
        // Copied back with the same orientation: the same bytes as the source.
        std::vector<std::uint8_t> mBack(mPixels.size(), 0xEE);
        Codec::CopyPixels(request, mBack.data(), mBack.size(), iPitch, iOrientation);
        EXPECT_TRUE(request.image.isNull()); // the copy frees the decoded image
        if (iOrientation == 0) {
            EXPECT_EQ(mBack, mPixels);
        } else {
            for (int y = 0; y < 11; ++y) {
                EXPECT_EQ(0, std::memcmp(mBack.data() + y * iPitch, mPixels.data() + y * iPitch, 17 * 4)) << y;
            }
        }
    }
    // 24-bit sources keep their colours too.
    const QImage rgb = source.convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(DecodeBytes(EncodeTo(rgb, Codec::EncoderFlagsPng, 24)), rgb.convertToFormat(QImage::Format_ARGB32));
}

TEST_F(ImageCodecTest, CopyPixelsRefusesATargetTooSmall) {
    const std::vector<std::uint8_t> mPng = EncodeTo(Pattern(4, 4), Codec::EncoderFlagsPng);
    Codec::uDecodeRequest request;
    request.fFromMemory = 1;
    request.pData = mPng.data();
    request.iDataSize = mPng.size();
    ASSERT_TRUE(Codec::Decode(request));
    std::vector<std::uint8_t> mSmall(4 * 4 * 4 - 1, 0);
    Codec::CopyPixels(request, mSmall.data(), mSmall.size(), 16, 0);
    EXPECT_EQ(mSmall, std::vector<std::uint8_t>(mSmall.size(), 0));
}

TEST_F(ImageCodecTest, FilesAndFailures) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string sFile = dir.filePath("shot.png").toStdString();
    const QImage source = Pattern(5, 6);
    ASSERT_TRUE(Codec::EncodeImage(source, sFile, Codec::EncoderFlagsPng, 24, nullptr));
    Codec::uDecodeRequest request;
    request.sFileName = sFile;
    ASSERT_TRUE(Codec::Decode(request));
    EXPECT_EQ(request.iSourceBits, 24);
    EXPECT_EQ(request.image.convertToFormat(QImage::Format_ARGB32), source);
    Codec::FreeImage(request);
    EXPECT_TRUE(request.image.isNull());

    std::vector<std::uint8_t> mOut;
    EXPECT_FALSE(Codec::EncodeImage(source, dir.filePath("none/x.png").toStdString(), Codec::EncoderFlagsPng, 24,
                                    nullptr));
    EXPECT_FALSE(Codec::EncodeImage(source, "", FlagsOf(Codec::EncoderGif), 32, &mOut)); // no GIF writer
    EXPECT_FALSE(Codec::EncodeA("", source.constBits(), 5, 6, 5 * 4 - 1, 0, Codec::EncoderFlagsPng, 32, &mOut));
    EXPECT_FALSE(Codec::Encode(0x30101, "", source.constBits(), 5, 6, 20, 0, Codec::EncoderFlagsPng, 32, &mOut));
    const std::vector<std::uint8_t> mJunk(100, 0x42);
    EXPECT_TRUE(DecodeBytes(mJunk).isNull());
    request = {};
    request.sFileName = dir.filePath("missing.png").toStdString();
    EXPECT_FALSE(Codec::Decode(request));

    // While the codec is shut down nothing is decoded or encoded.
    const std::vector<std::uint8_t> mPng = EncodeTo(source, Codec::EncoderFlagsPng);
    Codec::Shutdown();
    EXPECT_TRUE(DecodeBytes(mPng).isNull());
    EXPECT_FALSE(Codec::EncodeImage(source, "", Codec::EncoderFlagsPng, 32, &mOut));
    EXPECT_NE(Codec::Startup(), 0u);
    EXPECT_FALSE(DecodeBytes(mPng).isNull());
}

TEST_F(ImageCodecTest, ASaveThatRunsOutOfRoomLeavesTheEarlierFile) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string sFile = dir.filePath("shot.bmp").toStdString();
    {
        QFile earlier(QString::fromStdString(sFile));
        ASSERT_TRUE(earlier.open(QIODevice::WriteOnly));
        ASSERT_EQ(earlier.write("earlier"), 7);
    }
    const QImage source = Pattern(40, 30);
    bool fSaved = true;
    {
        FileSizeLimit limit(64);
        ASSERT_TRUE(limit.Active());
        fSaved = Codec::EncodeImage(source, sFile, FlagsOf(Codec::EncoderBmp), 24, nullptr);
    }
    EXPECT_FALSE(fSaved);
    QFile file(QString::fromStdString(sFile));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("earlier"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"shot.bmp"}); // no temporary file left
}

TEST(MemoryStreamTest, ReadSeekAndStat) {
    std::uint8_t buffer[10] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    auto pStream = MemoryStream::Create(MemoryStream::ModeReadOnly, buffer, sizeof buffer);
    std::uint8_t target[16] = {};
    std::uint32_t iRead = 99;
    EXPECT_EQ(MemoryStream::Read(*pStream, target, 4, &iRead), MemoryStream::S_OK);
    EXPECT_EQ(iRead, 4u);
    EXPECT_EQ(MemoryStream::Read(*pStream, target, 16, &iRead), MemoryStream::S_OK);
    EXPECT_EQ(iRead, 6u);
    EXPECT_EQ(target[5], 9);
    EXPECT_EQ(MemoryStream::Read(*pStream, target, 16, &iRead), MemoryStream::S_FALSE);
    EXPECT_EQ(iRead, 0u);
    EXPECT_EQ(MemoryStream::Read(*pStream, nullptr, 1, &iRead), MemoryStream::STG_E_INVALIDPOINTER);

    std::uint64_t iPosition = 0;
    EXPECT_EQ(MemoryStream::Seek(*pStream, 3, MemoryStream::SeekSet, &iPosition), MemoryStream::S_OK);
    EXPECT_EQ(MemoryStream::Seek(*pStream, -1, MemoryStream::SeekSet, &iPosition),
              MemoryStream::STG_E_INVALIDFUNCTION);
    EXPECT_EQ(pStream->iPosition, 3u);
    EXPECT_EQ(MemoryStream::Seek(*pStream, 2, MemoryStream::SeekCur, &iPosition), MemoryStream::S_OK);
    EXPECT_EQ(iPosition, 5u);
    EXPECT_EQ(MemoryStream::Seek(*pStream, -10, MemoryStream::SeekEnd, &iPosition), MemoryStream::S_OK);
    EXPECT_EQ(iPosition, 0u);
    EXPECT_EQ(MemoryStream::Seek(*pStream, 5, MemoryStream::SeekEnd, &iPosition), MemoryStream::S_OK);
    EXPECT_EQ(iPosition, 15u); // beyond the end is allowed; reading there gives nothing
    EXPECT_EQ(MemoryStream::Read(*pStream, target, 1, &iRead), MemoryStream::S_FALSE);
    EXPECT_EQ(MemoryStream::Seek(*pStream, 0, 3, &iPosition), MemoryStream::STG_E_INVALIDFUNCTION);
    EXPECT_EQ(MemoryStream::Seek(*pStream, INT64_MIN, MemoryStream::SeekCur, nullptr),
              MemoryStream::STG_E_INVALIDFUNCTION);
    EXPECT_EQ(pStream->iPosition, 15u);

    MemoryStream::uStatStg stat;
    EXPECT_EQ(MemoryStream::Stat(*pStream, &stat), MemoryStream::S_OK);
    EXPECT_EQ(stat.iType, MemoryStream::StgTypeStream);
    EXPECT_EQ(stat.iSize, 10u);
    EXPECT_EQ(stat.iMode, 0);
    EXPECT_EQ(MemoryStream::Stat(*pStream, nullptr), MemoryStream::STG_E_INVALIDPOINTER);
    auto pWritable = MemoryStream::Create(7, buffer, sizeof buffer);
    MemoryStream::Stat(*pWritable, &stat);
    EXPECT_EQ(stat.iMode, MemoryStream::StgModeReadWrite);
}

TEST(MemoryStreamTest, WriteNeverGrowsTheBuffer) {
    std::uint8_t buffer[6] = {};
    const std::uint8_t source[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    std::uint32_t iWritten = 99;
    auto pReadOnly = MemoryStream::Create(MemoryStream::ModeReadOnly, buffer, sizeof buffer);
    EXPECT_EQ(MemoryStream::Write(*pReadOnly, source, 2, &iWritten), MemoryStream::STG_E_ACCESSDENIED);
    EXPECT_EQ(iWritten, 0u);

    auto pStream = MemoryStream::Create(MemoryStream::ModeReadWrite, buffer, sizeof buffer);
    EXPECT_EQ(MemoryStream::Write(*pStream, nullptr, 2, &iWritten), MemoryStream::STG_E_INVALIDPOINTER);
    EXPECT_EQ(MemoryStream::Write(*pStream, source, 4, &iWritten), MemoryStream::S_OK);
    EXPECT_EQ(iWritten, 4u);
    EXPECT_EQ(MemoryStream::Write(*pStream, source, 4, &iWritten), MemoryStream::STG_E_MEDIUMFULL);
    EXPECT_EQ(iWritten, 2u); // cut at the end
    EXPECT_EQ(MemoryStream::Write(*pStream, source, 1, &iWritten), MemoryStream::STG_E_MEDIUMFULL);
    EXPECT_EQ(iWritten, 0u);
    const std::uint8_t expected[6] = {1, 2, 3, 4, 1, 2};
    EXPECT_EQ(0, std::memcmp(buffer, expected, 6));
}

TEST(MemoryStreamTest, CloneAndCopyTo) {
    std::uint8_t buffer[8] = {10, 11, 12, 13, 14, 15, 16, 17};
    std::uint8_t target[4] = {};
    auto pStream = MemoryStream::Create(MemoryStream::ModeReadOnly, buffer, sizeof buffer);
    MemoryStream::Seek(*pStream, 2, MemoryStream::SeekSet, nullptr);
    std::shared_ptr<MemoryStream::uMemoryStream> pClone;
    EXPECT_EQ(MemoryStream::Clone(*pStream, nullptr), MemoryStream::STG_E_INVALIDPOINTER);
    ASSERT_EQ(MemoryStream::Clone(*pStream, &pClone), MemoryStream::S_OK);
    EXPECT_EQ(pClone->iPosition, 2u);
    EXPECT_EQ(pClone->pBuffer, buffer);
    MemoryStream::Seek(*pClone, 0, MemoryStream::SeekEnd, nullptr);
    EXPECT_EQ(pStream->iPosition, 2u); // positions are independent

    auto pTarget = MemoryStream::Create(MemoryStream::ModeReadWrite, target, sizeof target);
    std::uint64_t iRead = 0, iWritten = 0;
    EXPECT_EQ(MemoryStream::CopyTo(*pStream, nullptr, 3, &iRead, &iWritten), MemoryStream::STG_E_INVALIDPOINTER);
    EXPECT_EQ(MemoryStream::CopyTo(*pStream, pTarget.get(), 3, &iRead, &iWritten), MemoryStream::S_OK);
    EXPECT_EQ(iRead, 3u);
    EXPECT_EQ(iWritten, 3u);
    EXPECT_EQ(pStream->iPosition, 5u);
    // Asked for 100: cut to the 3 bytes left; the target holds only 1 more and says so.
    EXPECT_EQ(MemoryStream::CopyTo(*pStream, pTarget.get(), 100, &iRead, &iWritten), MemoryStream::STG_E_MEDIUMFULL);
    EXPECT_EQ(iRead, 3u);
    EXPECT_EQ(iWritten, 1u);
    EXPECT_EQ(pStream->iPosition, 8u);
    const std::uint8_t expected[4] = {12, 13, 14, 15};
    EXPECT_EQ(0, std::memcmp(target, expected, 4));
}

} // namespace
