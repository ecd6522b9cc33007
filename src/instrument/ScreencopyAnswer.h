// The answers to screen-copy queries turned into images: an image file (BMP, PNG and the like),
// with or without a "#" definite-length block header, or a HAMEG display dump. The screen-copy
// task calls these on the answer bytes it received; they talk to no instrument themselves.
#pragma once

#include <QImage>

#include <cstddef>
#include <cstdint>
#include <string>

struct uModelCommands;

namespace ScreencopyAnswer {

// Options of a screen copy; they act on display dumps only.
inline constexpr std::int64_t SizeSmall = 1;
inline constexpr std::int64_t SizeMiddle = 2;
inline constexpr std::int64_t SizeLarge = 3;
inline constexpr std::int64_t ColorBlackWhite = 4;
inline constexpr std::int64_t ColorColor = 5;
inline constexpr std::int64_t TitleDraw = 6;

// The query a screen copy sends to a model: the screen-copy query, or for the HAMEG models
// (15, 16, 17) the display-dump query. false with "There is no SCPI command for reading a screen
// copy." when the model has no screen-copy query; then nothing is to be sent.
bool SelectQuery(const uModelCommands& commands, std::int64_t eModel, std::string& sQuery, std::string& sError);

// True for the models whose answer is a display dump.
bool IsDisplayDumpModel(std::int64_t eModel);

// The renderer's size choice for the size option: small 3, middle 2, large 1; any other value small.
std::int64_t DumpSizeChoice(std::int64_t eSize);

// An image-file answer: decoded whole when it does not start with a block header, else from the
// first data byte to the end of the answer (bytes after the image are ignored). A BMP stored top
// down comes out upright. Pass no bytes when the answer was not received completely.
bool ScreencopyToImage(const std::uint8_t* pAnswer, std::size_t iAnswerSize, QImage& image, std::string& sError);

// A display-dump answer: two bytes, a block header, the dump, then the trace catalogue; rendered
// into a new 24-bit image with the options given. Renderer errors go to the log.
bool ConvertScreencopyData(const std::uint8_t* pAnswer, std::size_t iAnswerSize, std::int64_t eModel,
                           std::int64_t eSize, std::int64_t eColor, std::int64_t eTitle, QImage& image,
                           std::string& sError);

// Either of the two, by model: what the screen-copy task does with its answer.
bool AnswerToImage(const std::uint8_t* pAnswer, std::size_t iAnswerSize, std::int64_t eModel, std::int64_t eSize,
                   std::int64_t eColor, std::int64_t eTitle, QImage& image, std::string& sError);

} // namespace ScreencopyAnswer
