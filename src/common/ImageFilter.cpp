#include "common/ImageFilter.h"

#include <QtGlobal>

#include <algorithm>
#include <cmath>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace ImageFilter {
namespace {

// Whether the matrix may give an alpha other than the input's: then images without alpha get
// their alpha bytes set back to opaque.
bool ChangesAlpha(const uColorMatrix& matrix) {
    return matrix.fColumn[0][3] != 0 || matrix.fColumn[1][3] != 0 || matrix.fColumn[2][3] != 0 ||
           matrix.fColumn[3][3] != 1 || matrix.fColumn[4][3] != 0;
}

void SetOpaque(QImage& image) {
    for (int y = 0; y < image.height(); ++y) {
        std::uint8_t* pRow = image.scanLine(y);
        for (int x = 0; x < image.width(); ++x) pRow[4 * x + 3] = 0xFF; // alpha is byte 3 in both orders
    }
}

void ApplyToRows(QImage& image, const uColorMatrix& matrix, int iChannelOrder) {
    const auto iWidth = static_cast<std::size_t>(image.width());
    for (int y = 0; y < image.height(); ++y) ApplyToRow(image.scanLine(y), matrix, iWidth, iChannelOrder);
}

} // namespace

void SetColorMatrix(uColorMatrix& matrix, const uColorTable* pTable) {
    if (!pTable) {
        matrix = uColorMatrix{};
        return;
    }
    for (int iInput = 0; iInput < 5; ++iInput) {
        for (int iOutput = 0; iOutput < 4; ++iOutput) {
            matrix.fColumn[iInput][iOutput] = (*pTable)[static_cast<std::size_t>(iOutput)][static_cast<std::size_t>(iInput)];
        }
    }
}

void ApplyToRow(std::uint8_t* pPixels, const uColorMatrix& matrix, std::size_t iCount, int iChannelOrder) {
    if (!pPixels) return;
    // Input channel per byte position: R, G, B, A in memory, or B, G, R, A.
    const bool fBgra = iChannelOrder == ChannelOrderBGRA;
#if defined(__SSE2__)
    const __m128 vR = _mm_load_ps(matrix.fColumn[0]);
    const __m128 vG = _mm_load_ps(matrix.fColumn[1]);
    const __m128 vB = _mm_load_ps(matrix.fColumn[2]);
    const __m128 vA = _mm_load_ps(matrix.fColumn[3]);
    const __m128 vOffset = _mm_load_ps(matrix.fColumn[4]);
    const __m128 vZero = _mm_setzero_ps();
    const __m128 vMax = _mm_set1_ps(255.0f);
    const __m128i vZeroI = _mm_setzero_si128();
    for (std::size_t i = 0; i < iCount; ++i) {
        std::uint8_t* p = pPixels + 4 * i;
        std::uint32_t iPixel;
        std::memcpy(&iPixel, p, 4);
        __m128i vBytes = _mm_cvtsi32_si128(static_cast<int>(iPixel));
        vBytes = _mm_unpacklo_epi16(_mm_unpacklo_epi8(vBytes, vZeroI), vZeroI);
        __m128 vIn = _mm_cvtepi32_ps(vBytes);
        if (fBgra) vIn = _mm_shuffle_ps(vIn, vIn, _MM_SHUFFLE(3, 0, 1, 2)); // now R, G, B, A
        __m128 vOut = vOffset;
        vOut = _mm_add_ps(vOut, _mm_mul_ps(vR, _mm_shuffle_ps(vIn, vIn, _MM_SHUFFLE(0, 0, 0, 0))));
        vOut = _mm_add_ps(vOut, _mm_mul_ps(vG, _mm_shuffle_ps(vIn, vIn, _MM_SHUFFLE(1, 1, 1, 1))));
        vOut = _mm_add_ps(vOut, _mm_mul_ps(vB, _mm_shuffle_ps(vIn, vIn, _MM_SHUFFLE(2, 2, 2, 2))));
        vOut = _mm_add_ps(vOut, _mm_mul_ps(vA, _mm_shuffle_ps(vIn, vIn, _MM_SHUFFLE(3, 3, 3, 3))));
        if (fBgra) vOut = _mm_shuffle_ps(vOut, vOut, _MM_SHUFFLE(3, 0, 1, 2)); // back to B, G, R, A
        // Held to 0..255 before the conversion (a NaN becomes 0), then rounded to nearest even.
        vOut = _mm_min_ps(_mm_max_ps(vOut, vZero), vMax);
        __m128i vInt = _mm_cvtps_epi32(vOut);
        vInt = _mm_packs_epi32(vInt, vInt);
        vInt = _mm_packus_epi16(vInt, vInt);
        iPixel = static_cast<std::uint32_t>(_mm_cvtsi128_si32(vInt));
        std::memcpy(p, &iPixel, 4);
    }
#else
    for (std::size_t i = 0; i < iCount; ++i) {
        std::uint8_t* p = pPixels + 4 * i;
        const float fIn[4] = {static_cast<float>(p[fBgra ? 2 : 0]), static_cast<float>(p[1]),
                              static_cast<float>(p[fBgra ? 0 : 2]), static_cast<float>(p[3])};
        std::uint8_t iOut[4];
        for (int k = 0; k < 4; ++k) {
            float f = matrix.fColumn[4][k];
            f = f + matrix.fColumn[0][k] * fIn[0];
            f = f + matrix.fColumn[1][k] * fIn[1];
            f = f + matrix.fColumn[2][k] * fIn[2];
            f = f + matrix.fColumn[3][k] * fIn[3];
            f = std::isnan(f) ? 0.0f : std::clamp(f, 0.0f, 255.0f);
            iOut[k] = static_cast<std::uint8_t>(std::nearbyint(f));
        }
        p[fBgra ? 2 : 0] = iOut[0];
        p[1] = iOut[1];
        p[fBgra ? 0 : 2] = iOut[2];
        p[3] = iOut[3];
    }
#endif
}

void ApplyColorMatrix(QImage& image, const uColorMatrix& matrix) {
    if (image.isNull()) return;
    const bool fLittleEndian = Q_BYTE_ORDER == Q_LITTLE_ENDIAN;
    switch (image.format()) {
    case QImage::Format_ARGB32:
    case QImage::Format_RGB32:
        if (!fLittleEndian) break;
        ApplyToRows(image, matrix, ChannelOrderBGRA);
        if (image.format() == QImage::Format_RGB32 && ChangesAlpha(matrix)) SetOpaque(image);
        return;
    case QImage::Format_RGBA8888:
    case QImage::Format_RGBX8888:
        ApplyToRows(image, matrix, ChannelOrderRGBA);
        if (image.format() == QImage::Format_RGBX8888 && ChangesAlpha(matrix)) SetOpaque(image);
        return;
    default: break;
    }
    // Any other pixel layout: work on plain 32-bit R, G, B, A pixels and put the result back in
    // the image's own layout; a palette image cannot hold the new colours and stays 32-bit.
    const QImage::Format iFormat = image.format();
    QImage work = image.convertToFormat(QImage::Format_RGBA8888);
    if (work.isNull()) return;
    ApplyToRows(work, matrix, ChannelOrderRGBA);
    const bool fPalette = iFormat == QImage::Format_Indexed8 || iFormat == QImage::Format_Mono ||
                          iFormat == QImage::Format_MonoLSB;
    image = fPalette ? work : work.convertToFormat(iFormat);
}

} // namespace ImageFilter
