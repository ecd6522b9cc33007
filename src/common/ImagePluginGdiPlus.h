// The image codec: decodes image files from memory or disk and encodes pixels to BMP, JPEG, PNG,
// TIFF or ICO files or memory blocks, through Qt's image readers and writers. Works on QImage
// only, so worker threads may use it.
#pragma once

#include <QImage>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace ImagePluginGdiPlus {

// The codec's id: the letters "Sys" read as a little-endian number.
inline constexpr std::uint32_t PluginId = 0x737953;

// Source pixel formats: 24-bit rows of B, G, R bytes; 32-bit rows of B, G, R, A bytes
// (little-endian ARGB, alpha not premultiplied).
inline constexpr std::uint32_t PixelFormat24bppRGB = 0x21808;
inline constexpr std::uint32_t PixelFormat32bppARGB = 0x26200A;

// Encoder flags: bits 0-7 JPEG quality (0 = 80), bits 8-10 the format, bits 12-14 the TIFF
// compression. The program writes PNG with 0x400600.
inline constexpr int EncoderBmp = 0, EncoderJpeg = 1, EncoderGif = 2, EncoderEmf = 3, EncoderWmf = 4,
                     EncoderTiff = 5, EncoderPng = 6, EncoderIco = 7;
inline constexpr std::uint32_t EncoderFlagsPng = 0x400600;

// Orientation and copy flag: the pixel rows run bottom-up.
inline constexpr int FlagBottomUp = 2;

struct uDecodeRequest {
    // What to decode: a file, or bytes in memory (fFromMemory = 1).
    std::string sFileName;
    const std::uint8_t* pData = nullptr;
    std::size_t iDataSize = 0;
    int fFromMemory = 0;
    // Results.
    int iWidth = 0;
    int iHeight = 0;
    int iDepth = 0;      // always 32: CopyPixels delivers 32-bit pixels
    int iSourceBits = 0; // bits per pixel of the file's own format
    QImage image;        // the decoded image, until CopyPixels or FreeImage
};

// The codec is on from Startup to Shutdown; Decode and Encode fail while it is off.
std::uintptr_t Startup();
void Shutdown();
int RegisterDecoder();
int RegisterEncoder();

// Decodes the request's file or bytes. Bytes after a PNG's IEND chunk are ignored; a BMP whose
// height cannot be made positive is refused.
bool Decode(uDecodeRequest& request);
// Copies the decoded image as 32-bit B, G, R, A pixels into the target (iPitch bytes per row,
// rows bottom-up with FlagBottomUp) and frees the image. Nothing is copied when the target
// cannot hold width x height pixels at that pitch.
void CopyPixels(uDecodeRequest& request, std::uint8_t* pTarget, std::size_t iTargetSize, int iPitch, int iFlags);
void FreeImage(uDecodeRequest& request);

// Encodes width x height pixels of the given format (rows iPitch bytes apart, bottom-up with
// FlagBottomUp in iOrientation) into the file sFileName, or into *pMemory when sFileName is
// empty. A 32-bit source saved as BMP or JPEG is put on white first. iDepth is the TIFF colour
// depth. false when the format cannot be written or the file or block cannot be made.
bool Encode(std::uint32_t iPixelFormat, const std::string& sFileName, const std::uint8_t* pPixels, int iWidth,
            int iHeight, int iPitch, int iOrientation, std::uint32_t iEncoderFlags, int iDepth,
            std::vector<std::uint8_t>* pMemory);
// Encode for 32-bit sources and for 24-bit sources.
bool EncodeA(const std::string& sFileName, const std::uint8_t* pPixels, int iWidth, int iHeight, int iPitch,
             int iOrientation, std::uint32_t iEncoderFlags, int iDepth, std::vector<std::uint8_t>* pMemory);
bool EncodeB(const std::string& sFileName, const std::uint8_t* pPixels, int iWidth, int iHeight, int iPitch,
             int iOrientation, std::uint32_t iEncoderFlags, int iDepth, std::vector<std::uint8_t>* pMemory);

// Saves an image the way the program does: depth 24 drops the alpha channel (EncodeB), depth 32
// keeps it (EncodeA). Into *pMemory when sFileName is empty.
bool EncodeImage(const QImage& image, const std::string& sFileName, std::uint32_t iEncoderFlags, int iDepth,
                 std::vector<std::uint8_t>* pMemory);

// The byte size of the PNG at the start of the data (the end of its IEND chunk), or 0 when the
// data does not start with the PNG signature. When no IEND chunk lies within the data, the
// position where the walk over the chunks stopped, which is more than iSize - 8.
std::uint64_t GetPngSize(const std::uint8_t* pData, std::size_t iSize);

// JPEG quality from the low 8 bits of the encoder flags: 0 gives 80, above 100 gives 100.
int ClampQuality(std::uint32_t iEncoderFlags);

} // namespace ImagePluginGdiPlus
