#include "common/ImageFilter.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

using ImageFilter::uColorTable;

constexpr uColorTable Inverted = {{{-1, 0, 0, 0, 255}, {0, -1, 0, 0, 255}, {0, 0, -1, 0, 255}, {0, 0, 0, 1, 0}}};
constexpr uColorTable BlackAndWhite = {
    {{1.5f, 1.5f, 1.5f, 0, -255}, {1.5f, 1.5f, 1.5f, 0, -255}, {1.5f, 1.5f, 1.5f, 0, -255}, {0, 0, 0, 1, 0}}};
constexpr uColorTable Greyscale = {{{0.299f, 0.587f, 0.114f, 0, 0},
                                    {0.299f, 0.587f, 0.114f, 0, 0},
                                    {0.299f, 0.587f, 0.114f, 0, 0},
                                    {0, 0, 0, 1, 0}}};

struct uRgba {
    int r, g, b, a;
    bool operator==(const uRgba&) const = default;
};

std::ostream& operator<<(std::ostream& os, const uRgba& c) {
    return os << "(" << c.r << ", " << c.g << ", " << c.b << ", " << c.a << ")";
}

// Runs one pixel through the matrix in either channel order; the result in R, G, B, A.
uRgba Filter(const uColorTable& table, uRgba in, int iOrder) {
    ImageFilter::uColorMatrix matrix;
    ImageFilter::SetColorMatrix(matrix, &table);
    std::uint8_t p[4];
    if (iOrder == ImageFilter::ChannelOrderBGRA) {
        p[0] = std::uint8_t(in.b), p[1] = std::uint8_t(in.g), p[2] = std::uint8_t(in.r), p[3] = std::uint8_t(in.a);
    } else {
        p[0] = std::uint8_t(in.r), p[1] = std::uint8_t(in.g), p[2] = std::uint8_t(in.b), p[3] = std::uint8_t(in.a);
    }
    ImageFilter::ApplyToRow(p, matrix, 1, iOrder);
    return iOrder == ImageFilter::ChannelOrderBGRA ? uRgba{p[2], p[1], p[0], p[3]} : uRgba{p[0], p[1], p[2], p[3]};
}

class ImageFilterTest : public ::testing::TestWithParam<int> {};

TEST_P(ImageFilterTest, TheProgramsThreeTables) {
    const int iOrder = GetParam();
    EXPECT_EQ(Filter(Inverted, {0, 0, 0, 77}, iOrder), (uRgba{255, 255, 255, 77}));
    EXPECT_EQ(Filter(Inverted, {255, 100, 1, 200}, iOrder), (uRgba{0, 155, 254, 200}));

    EXPECT_EQ(Filter(Greyscale, {255, 0, 0, 255}, iOrder), (uRgba{76, 76, 76, 255}));
    EXPECT_EQ(Filter(Greyscale, {0, 0, 255, 9}, iOrder), (uRgba{29, 29, 29, 9}));
    EXPECT_EQ(Filter(Greyscale, {0, 255, 0, 255}, iOrder), (uRgba{150, 150, 150, 255}));

    // Black and white: every colour channel becomes 1.5 (R + G + B) - 255, held to 0..255.
    EXPECT_EQ(Filter(BlackAndWhite, {140, 100, 100, 255}, iOrder), (uRgba{255, 255, 255, 255})); // 340
    EXPECT_EQ(Filter(BlackAndWhite, {70, 50, 50, 255}, iOrder), (uRgba{0, 0, 0, 255}));          // 170
    EXPECT_EQ(Filter(BlackAndWhite, {100, 50, 50, 255}, iOrder), (uRgba{45, 45, 45, 255}));      // 200
    EXPECT_EQ(Filter(BlackAndWhite, {255, 255, 255, 3}, iOrder), (uRgba{255, 255, 255, 3}));
}

TEST_P(ImageFilterTest, RoundsHalfToEvenAndHoldsTheRange) {
    const int iOrder = GetParam();
    const uColorTable offsets = {{{0, 0, 0, 0, 0.5f}, {0, 0, 0, 0, 1.5f}, {0, 0, 0, 0, 2.5f}, {0, 0, 0, 0, 254.5f}}};
    EXPECT_EQ(Filter(offsets, {9, 9, 9, 9}, iOrder), (uRgba{0, 2, 2, 254}));
    const uColorTable wild = {{{1000, 0, 0, 0, 0}, {-1000, 0, 0, 0, 0}, {0, 0, 0, 0, 3e9f}, {0, 0, 0, 0, -3e9f}}};
    EXPECT_EQ(Filter(wild, {10, 10, 10, 10}, iOrder), (uRgba{255, 0, 255, 0}));
}

TEST_P(ImageFilterTest, IdentityLeavesEveryPixel) {
    std::mt19937 random(7);
    std::vector<std::uint8_t> mPixels(4 * 999);
    for (auto& b : mPixels) b = static_cast<std::uint8_t>(random());
    const std::vector<std::uint8_t> mBefore = mPixels;
    ImageFilter::uColorMatrix matrix;
    ImageFilter::SetColorMatrix(matrix, &Greyscale);
    ImageFilter::SetColorMatrix(matrix, nullptr);
    ImageFilter::ApplyToRow(mPixels.data(), matrix, mPixels.size() / 4, GetParam());
    EXPECT_EQ(mPixels, mBefore);
}

INSTANTIATE_TEST_SUITE_P(BothOrders, ImageFilterTest,
                         ::testing::Values(ImageFilter::ChannelOrderRGBA, ImageFilter::ChannelOrderBGRA));

TEST(ImageFilterImageTest, EveryPixelLayoutGivesTheSameColours) {
    QImage source(5, 3, QImage::Format_ARGB32);
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 5; ++x) source.setPixel(x, y, qRgba(50 * x, 100 * y, 255 - 40 * x, 255));
    }
    ImageFilter::uColorMatrix matrix;
    ImageFilter::SetColorMatrix(matrix, &Greyscale);

    QImage bgra = source;
    ImageFilter::ApplyColorMatrix(bgra, matrix);
    EXPECT_EQ(bgra.pixel(0, 0), qRgba(29, 29, 29, 255));
    EXPECT_EQ(source.pixel(0, 0), qRgba(0, 0, 255, 255)); // the caller's other copy is untouched
    for (QImage::Format iFormat : {QImage::Format_RGBA8888, QImage::Format_RGB32, QImage::Format_RGB888,
                                   QImage::Format_ARGB32_Premultiplied}) {
        QImage other = source.convertToFormat(iFormat);
        ImageFilter::ApplyColorMatrix(other, matrix);
        EXPECT_EQ(other.format(), iFormat);
        EXPECT_EQ(other.convertToFormat(QImage::Format_ARGB32), bgra) << iFormat;
    }
    // A palette image cannot hold the new colours: it becomes 32-bit.
    QImage indexed = source.convertToFormat(QImage::Format_Indexed8);
    ImageFilter::SetColorMatrix(matrix, &Inverted);
    const QImage expected = [&] {
        QImage e = indexed.convertToFormat(QImage::Format_ARGB32);
        e.invertPixels();
        return e;
    }();
    ImageFilter::ApplyColorMatrix(indexed, matrix);
    EXPECT_EQ(indexed.convertToFormat(QImage::Format_ARGB32), expected);

    QImage empty;
    ImageFilter::ApplyColorMatrix(empty, matrix);
    EXPECT_TRUE(empty.isNull());
}

} // namespace
