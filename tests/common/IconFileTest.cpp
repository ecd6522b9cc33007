#include "common/IconFile.h"
#include "common/ImagePluginGdiPlus.h"
#include "common/ImageTestSupport.h"
#include "common/TestApplication.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/resource.h>

namespace {

using ImageTestSupport::Pattern;

std::uint32_t Le(const std::vector<std::uint8_t>& m, std::size_t i, int n) {
    std::uint32_t v = 0;
    for (int k = n - 1; k >= 0; --k) v = (v << 8) | m[i + static_cast<std::size_t>(k)];
    return v;
}

// The picture of the only entry of an icon file (its PNG behind the 22 bytes of header and
// directory); null when it does not decode.
QImage FirstEntry(const std::vector<std::uint8_t>& mIco) {
    ImagePluginGdiPlus::uDecodeRequest request;
    request.fFromMemory = 1;
    request.pData = mIco.data() + 22;
    request.iDataSize = mIco.size() - 22;
    if (!ImagePluginGdiPlus::Decode(request)) return {};
    return request.image.convertToFormat(QImage::Format_ARGB32);
}

QByteArray AsBytes(const std::vector<std::uint8_t>& m) {
    return QByteArray(reinterpret_cast<const char*>(m.data()), static_cast<qsizetype>(m.size()));
}

// The lines `icotool -l` prints for the file; skips when icotool is not installed.
QString IcotoolList(const std::vector<std::uint8_t>& mIco) {
    QTemporaryDir dir;
    const QString sFile = dir.filePath("test.ico");
    QFile file(sFile);
    if (!file.open(QIODevice::WriteOnly) || file.write(AsBytes(mIco)) != static_cast<qint64>(mIco.size())) return {};
    file.close();
    QProcess process;
    process.start("icotool", {"-l", sFile});
    if (!process.waitForFinished(20000) || process.exitCode() != 0) return "failed: " + process.readAllStandardError();
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

class IconFileTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        TestApplication::Ensure();
        ImagePluginGdiPlus::RegisterEncoder();
    }
    static bool HaveIcotool() { return !QStandardPaths::findExecutable("icotool").isEmpty(); }
};

TEST_F(IconFileTest, OneImageOf32Pixels) {
    const int iSet = IconFile::Begin(-1, "", 0);
    ASSERT_GE(iSet, 1);
    const QImage picture = Pattern(32, 32);
    ASSERT_TRUE(IconFile::AddImage(iSet, picture, -1));
    const std::vector<std::uint8_t> mIco = IconFile::Build(iSet);
    ASSERT_GT(mIco.size(), 22u);
    const std::size_t s = mIco.size() - 22;
    EXPECT_EQ(Le(mIco, 0, 2), 0u);
    EXPECT_EQ(Le(mIco, 2, 2), 1u);
    EXPECT_EQ(Le(mIco, 4, 2), 1u);
    EXPECT_EQ(mIco[6], 32);
    EXPECT_EQ(mIco[7], 32);
    EXPECT_EQ(mIco[8], 0);
    EXPECT_EQ(mIco[9], 0);
    EXPECT_EQ(Le(mIco, 10, 2), 1u);
    EXPECT_EQ(Le(mIco, 12, 2), 32u);
    EXPECT_EQ(Le(mIco, 14, 4), s);
    EXPECT_EQ(Le(mIco, 18, 4), 22u);
    // The entry is a PNG file of exactly its size.
    EXPECT_EQ(ImagePluginGdiPlus::GetPngSize(mIco.data() + 22, s), s);

    // Qt's ICO reader gives back the picture.
    QByteArray bytes = AsBytes(mIco);
    QBuffer buffer(&bytes);
    QImageReader reader(&buffer, "ico");
    const QImage back = reader.read();
    ASSERT_FALSE(back.isNull()) << reader.errorString().toStdString();
    EXPECT_EQ(back.convertToFormat(QImage::Format_ARGB32), picture);

    if (!HaveIcotool()) GTEST_SKIP() << "icotool (icoutils) is not installed";
    EXPECT_EQ(IcotoolList(mIco).toStdString(),
              "--icon --index=1 --width=32 --height=32 --bit-depth=32 --palette-size=0");
}

TEST_F(IconFileTest, SeveralSizesAndThe256PixelRule) {
    const int iSet = IconFile::Begin(-1, "program", 0);
    ASSERT_TRUE(IconFile::AddImage(iSet, Pattern(256, 256), -1));
    ASSERT_TRUE(IconFile::AddImage(iSet, Pattern(300, 300), 16)); // scaled first
    const std::vector<std::uint8_t> mIco = IconFile::Build(iSet);
    ASSERT_GT(mIco.size(), 38u);
    EXPECT_EQ(Le(mIco, 4, 2), 2u);
    EXPECT_EQ(mIco[6], 0); // 256 is stored as 0
    EXPECT_EQ(mIco[7], 0);
    EXPECT_EQ(mIco[6 + 16], 16);
    EXPECT_EQ(mIco[7 + 16], 16);
    // Offsets follow each other without gaps, and the sizes add up to the file.
    const std::uint32_t iSize0 = Le(mIco, 14, 4), iOffset0 = Le(mIco, 18, 4);
    const std::uint32_t iSize1 = Le(mIco, 30, 4), iOffset1 = Le(mIco, 34, 4);
    EXPECT_EQ(iOffset0, 6u + 2 * 16);
    EXPECT_EQ(iOffset1, iOffset0 + iSize0);
    EXPECT_EQ(mIco.size(), iOffset1 + iSize1);

    if (!HaveIcotool()) GTEST_SKIP() << "icotool (icoutils) is not installed";
    EXPECT_EQ(IcotoolList(mIco).toStdString(),
              "--icon --index=1 --width=256 --height=256 --bit-depth=32 --palette-size=0\n"
              "--icon --index=2 --width=16 --height=16 --bit-depth=32 --palette-size=0");
}

TEST_F(IconFileTest, RefusedSizesLeaveTheSetEmpty) {
    const int iSet = IconFile::Begin(-1, "", 0);
    EXPECT_FALSE(IconFile::AddImage(iSet, Pattern(100, 100), -1));
    EXPECT_FALSE(IconFile::AddImage(iSet, Pattern(32, 32), 100));
    EXPECT_FALSE(IconFile::AddImage(iSet, QImage(), -1));
    EXPECT_TRUE(IconFile::Build(iSet).empty());
    EXPECT_TRUE(IconFile::Build(iSet).empty()); // gone after the failed build
    EXPECT_FALSE(IconFile::AddImage(iSet, Pattern(32, 32), -1));
}

TEST_F(IconFileTest, NonSquareImageIsCentredOnATransparentSquare) {
    const int iSet = IconFile::Begin(-1, "", 0);
    QImage wide(64, 32, QImage::Format_ARGB32);
    wide.fill(qRgba(200, 10, 10, 255));
    ASSERT_TRUE(IconFile::AddImage(iSet, wide, -1));
    const std::vector<std::uint8_t> mIco = IconFile::Build(iSet);
    ASSERT_GT(mIco.size(), 22u);
    EXPECT_EQ(mIco[6], 64);
    EXPECT_EQ(mIco[7], 64);
    const QImage square = FirstEntry(mIco);
    ASSERT_EQ(square.size(), QSize(64, 64));
    for (int y : {0, 15, 48, 63}) EXPECT_EQ(qAlpha(square.pixel(10, y)), 0) << y;
    for (int y : {16, 30, 47}) EXPECT_EQ(square.pixel(10, y), qRgba(200, 10, 10, 255)) << y;
}

// Found by fuzzing: a long thin picture was squared to its long side before it was scaled to
// its entry, so 16385 x 1 pixels for a 24-pixel entry took a square of one gigabyte first. It
// is scaled down first now; the entry shows the line across its middle row.
TEST_F(IconFileTest, ALongThinPictureIsScaledBeforeItIsSquared) {
    QImage line(16385, 1, QImage::Format_ARGB32);
    line.fill(qRgba(10, 200, 10, 255));
    rusage before{};
    getrusage(RUSAGE_SELF, &before);
    const int iSet = IconFile::Begin(-1, "", 0);
    ASSERT_TRUE(IconFile::AddImage(iSet, line, 24));
    rusage after{};
    getrusage(RUSAGE_SELF, &after);
    EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 256 * 1024) << "kB more at the peak while the entry was made";
    const std::vector<std::uint8_t> mIco = IconFile::Build(iSet);
    ASSERT_GT(mIco.size(), 22u);
    EXPECT_EQ(mIco[6], 24);
    const QImage square = FirstEntry(mIco);
    ASSERT_EQ(square.size(), QSize(24, 24));
    EXPECT_EQ(qAlpha(square.pixel(12, 0)), 0);
    EXPECT_EQ(qAlpha(square.pixel(12, 23)), 0);
    EXPECT_GT(qAlpha(square.pixel(12, 11)) + qAlpha(square.pixel(12, 12)), 0);
    // A picture too large for any entry, unscaled, is refused before anything is made of it.
    const int iOther = IconFile::Begin(-1, "", 0);
    EXPECT_FALSE(IconFile::AddImage(iOther, line, -1));
    EXPECT_TRUE(IconFile::Build(iOther).empty());
}

TEST_F(IconFileTest, SetIdsAreTheLowestFreeNumbers) {
    const int a = IconFile::Begin(-1, "", 0);
    const int b = IconFile::Begin(-1, "", 0);
    EXPECT_EQ(a, 1);
    EXPECT_EQ(b, 2);
    ASSERT_TRUE(IconFile::AddImage(a, Pattern(16, 16), -1));
    EXPECT_FALSE(IconFile::Build(a).empty());
    EXPECT_EQ(IconFile::Begin(-1, "", 0), 1);
    // Opening an id that is in use starts that set afresh.
    ASSERT_TRUE(IconFile::AddImage(b, Pattern(16, 16), -1));
    EXPECT_EQ(IconFile::Begin(b, "again", 0), b);
    EXPECT_TRUE(IconFile::Build(b).empty());
    IconFile::Build(1);
}

} // namespace
