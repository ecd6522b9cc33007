// The pictures of the screenshot window: the screen answer decoded (an image file, or a HAMEG
// display dump drawn), processed as the options ask (margins cut off, colour matrices), named
// from the file-name template and written as a 24-bit PNG. Nothing here keeps state or touches
// a widget: the window's worker thread calls it.
#pragma once

#include <QImage>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace ScreenshotImages {

// How the answer is decoded: a display dump of the size code (1 1024, 2 768, 3 512 pixels), or
// an image file.
struct uDecodeOptions {
    bool fDisplayDump = false;
    std::int64_t eModel = 0;
    std::int64_t iSizeCode = 1;
    bool fBlackWhite = false;
};

// The "Image processing" rows: offered and checked.
struct uProcessOptions {
    bool fProcessing = false;    // 1000
    bool fCutOffOffered = false; // the model has margins
    bool fCutOff = false;        // 1001
    std::string sMargins;        // "left,top,right,bottom" in pixels
    bool fColorsOffered = false;
    bool fInvert = false;     // 1011
    bool fBlackWhite = false; // 1012
    bool fGrayscale = false;  // 1013
};

// The size code of the size rows: 512 wins over 768, 768 over 1024; 0 when none is checked.
std::int64_t SizeCode(bool f1024, bool f768, bool f512);

// An image-file answer, with or without a block header (a short block gives nothing); a BMP
// stored top down comes out upright. False when there is no picture.
bool DecodeScreenshot(const std::uint8_t* pAnswer, std::size_t iSize, QImage& image);
// A display-dump answer: two bytes, a block header, the dump and what follows it.
bool DecodeDisplayDump(const std::uint8_t* pAnswer, std::size_t iSize, const uDecodeOptions& options,
                       QImage& image);
// Either of the two, as the options say.
bool Decode(const std::uint8_t* pAnswer, std::size_t iSize, const uDecodeOptions& options, QImage& image);

// The four margins of the text: fields split at ",", each read as a whole number; a missing,
// unreadable or negative field counts as 0, a huge one as 1000000.
void ParseMargins(const std::string& sMargins, int& iLeft, int& iTop, int& iRight, int& iBottom);

// The processed picture of the raw one. pPrevious is the picture shown before (may be null or
// empty). Returns the size-changed flag: the new picture may differ in size from the previous.
bool Process(const QImage& raw, const uProcessOptions& options, const QImage* pPrevious, QImage& processed);

// The three colour matrices applied to one image in place.
void Invert(QImage& image);
void BlackWhite(QImage& image);
void Grayscale(QImage& image);

// The folder and the name joined with one separator.
std::string JoinPath(const std::string& sFolder, const std::string& sName);

// The file of an automatic save. sName is the expanded template, sNameZ the template followed by
// "-/Z" expanded, sLastName the name chosen last time (before any "-/Z"). The name goes to
// sNameZ when it equals the last one or its file exists; when that file exists too, "-2", "-3"
// and so on are appended. Returns the path (folder, name, ".png"); sLastName becomes sName.
std::string ChooseAutomaticFile(const std::string& sFolder, const std::string& sName, const std::string& sNameZ,
                                std::string& sLastName, const std::function<bool(const std::string&)>& exists);

// The chosen name of the manual save: ".png" appended unless the extension is PNG in any case.
std::string WithPngExtension(const std::string& sFileName);

// Writes the picture as a 24-bit PNG. fNewOnly: an existing file is never replaced; otherwise it
// is replaced only by a complete file. False with a message when the file cannot be written, and
// then the file that was there stays.
// pStop (when given) asks the write to stop: it fails, and nothing of it stays.
bool WritePng(const QImage& image, const std::string& sFileName, bool fNewOnly, std::string& sError,
              const std::atomic<bool>* pStop = nullptr);

} // namespace ScreenshotImages
