// Pixel comparisons for the drawing tests: colours within a tolerance per channel.
#pragma once

#include <QImage>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>

// An opaque 0xRRGGBB colour, or a transparent pixel, compared to the pixel at (x, y) channel by
// channel (alpha included) within iTolerance.
inline ::testing::AssertionResult PixelIs(const QImage& image, int x, int y, uint32_t uArgb, int iTolerance = 2) {
    const QRgb p = image.pixel(x, y);
    const int expected[4] = {static_cast<int>(uArgb >> 24), static_cast<int>((uArgb >> 16) & 0xFF),
                             static_cast<int>((uArgb >> 8) & 0xFF), static_cast<int>(uArgb & 0xFF)};
    const int actual[4] = {qAlpha(p), qRed(p), qGreen(p), qBlue(p)};
    for (int i = 0; i < 4; ++i)
        if (std::abs(expected[i] - actual[i]) > iTolerance)
            return ::testing::AssertionFailure()
                   << "pixel (" << x << ", " << y << ") is #" << std::hex << p << ", expected #" << uArgb;
    return ::testing::AssertionSuccess();
}

constexpr uint32_t Opaque(uint32_t uRgb) {
    return 0xFF000000u | uRgb;
}
constexpr uint32_t kTransparent = 0;

inline int Alpha(const QImage& image, int x, int y) {
    return qAlpha(image.pixel(x, y));
}
