// Recolours an image in place with a 4 x 5 colour matrix (inverted colours, black and white,
// greyscale): out_i = w_i0 R + w_i1 G + w_i2 B + w_i3 A + offset_i, channels 0 to 255.
#pragma once

#include <QImage>

#include <array>
#include <cstddef>
#include <cstdint>

namespace ImageFilter {

// The caller's table: 4 rows (output R, G, B, A) of 5 values (weights of input R, G, B, A, then
// the offset in channel units).
using uColorTable = std::array<std::array<float, 5>, 4>;

// The prepared matrix: one vector of the four output channels per input channel, then the
// offsets. Starts as the identity.
struct alignas(16) uColorMatrix {
    float fColumn[5][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}, {0, 0, 0, 0}};
};

inline constexpr int ChannelOrderRGBA = 0; // bytes R, G, B, A in memory
inline constexpr int ChannelOrderBGRA = 1; // bytes B, G, R, A in memory

// Prepares the matrix from the table; no table gives the identity.
void SetColorMatrix(uColorMatrix& matrix, const uColorTable* pTable);

// Applies the matrix to every pixel of the image; nothing happens to an empty image.
void ApplyColorMatrix(QImage& image, const uColorMatrix& matrix);

// Applies the matrix to iCount 32-bit pixels in the given channel order. Results are rounded to
// nearest (ties to even) and held to 0..255.
void ApplyToRow(std::uint8_t* pPixels, const uColorMatrix& matrix, std::size_t iCount, int iChannelOrder);

} // namespace ImageFilter
