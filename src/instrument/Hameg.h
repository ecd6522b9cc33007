// The display dumps of the HAMEG HM2008, HM1508 and HM1008 oscilloscopes. They answer the
// display-dump query not with a picture but with the record of what they painted (a stream of
// drawing records) followed by the list of their active traces; this module rasterises that
// stream into a square 24-bit image: graticule, traces, logic pods, XY points and the
// instrument's dot-matrix texts, optionally with the instrument's name as a title.
#pragma once

#include <QImage>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace Hameg {

// Size choices: 3 small (512 x 512), 2 middle (768 x 768), 1 and any other value large (1024 x 1024).
inline constexpr std::int64_t SizeLarge = 1;
inline constexpr std::int64_t SizeMiddle = 2;
inline constexpr std::int64_t SizeSmall = 3;

// Renders a display dump. pData points to the first byte of the dump block of
// iBlockformatValue bytes (the count of its "#" header); iDataSize counts the bytes from pData
// to the end of the answer: the block, a 2-byte separator, the trace catalogue and a 2-byte
// terminator. fTitle draws the name of eModel (15, 16 or 17) at the top left; fBlackWhite
// draws black on white instead of colours on black. Returns a new RGB888 image, or a null
// image when there is nothing to draw on. A stream with an unknown header gives the grid
// alone. Every byte read lies within the iDataSize bytes. Errors go to the log (from any thread).
QImage CreateDisplayDumpImage(std::uint64_t iBlockformatValue, const std::uint8_t* pData, std::uint64_t iDataSize,
                              std::int64_t fTitle, std::int64_t eModel, std::int64_t iSizeChoice,
                              std::int64_t fBlackWhite);

// The same, with the log lines appended to messages instead of being written to the log.
QImage RenderDisplayDump(std::uint64_t iBlockformatValue, const std::uint8_t* pData, std::uint64_t iDataSize,
                         std::int64_t fTitle, std::int64_t eModel, std::int64_t iSizeChoice, std::int64_t fBlackWhite,
                         std::vector<std::string>& messages);

// Draws the graticule of the size choice onto an image of that size: grey lines with fGrey,
// else black. Returns 0.
int DrawDisplayGrid(QImage& image, std::int64_t iSizeChoice, std::int64_t fGrey);

// The image's edge in pixels for a size choice (512, 768 or 1024).
int ImageSize(std::int64_t iSizeChoice);

// The built-in title stream of a model: one text record and the dot run of "HAMEG HM2008"
// (15), "HAMEG HM1508" (16) or "HAMEG HM1008" (17), ended by C0 00; only C0 00 for other models.
std::vector<std::uint8_t> TitleStream(std::int64_t eModel);

} // namespace Hameg
