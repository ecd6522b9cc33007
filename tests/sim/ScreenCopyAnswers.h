// What simulated instruments answer to screen-copy queries: the display-dump streams of the HAMEG
// HM2008/HM1508/HM1008, built record by record, and the image-file blocks of the Rigol
// oscilloscopes (":DISP:DATA?" and friends: "#9" + nine digits + a BMP or PNG file + LF).
#pragma once

#include <QImage>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace Sim {

class ScpiDevice;

// A HAMEG display-dump stream. The stream starts with the header 01 00 04 00; records follow, each
// starting with a two-byte code, and the text, trace and XY records are followed by runs of
// two-byte items (code, value) ended by an item of C0 or above.
//   05 20 / 05 40 x y 00 00             origin (8 bytes)
//   05 22 x y (05 61 yellow, 05 xx red)  text position, then a dot run (6 bytes)
//   05 A5 x y mode step 00 00 type       trace header, then a sample run (12 bytes);
//                                        type 04 80 analogue trace, 04 46 logic pod
//   05 27 x y 00 00 04 80               XY header, then pairs 10 a 98 b (10 bytes)
//   04 00 02 00                          end of a part;  03 01  end of the stream
// Coordinates are big-endian 16-bit dump units.
class DisplayDump {
  public:
    static constexpr std::uint16_t TypeAnalogue = 0x0480;
    static constexpr std::uint16_t TypePod = 0x0446;

    DisplayDump();

    DisplayDump& Origin(std::uint16_t x, std::uint16_t y);
    // A text record with its code's colour; follow it with dot items or Glyphs, then EndRun.
    DisplayDump& Text(std::uint16_t x, std::uint16_t y, std::uint8_t iCode = 0x22);
    // A string in the simulator's 5 x 7 font as a dot run (digits, a few letters, ':' '.' '-'),
    // rows from value iRow0 upward in steps of 4, the first character at column offset 8.
    DisplayDump& Glyphs(const std::string& sText, std::uint8_t iRow0 = 0x0C);
    DisplayDump& TraceHeader(std::uint16_t x, std::uint16_t y, std::uint16_t iType, std::uint8_t iStep,
                             std::uint8_t iCode = 0xA5, std::uint8_t iMode = 0);
    // Samples of a trace: the first as 18 v (index 0), each further one as A0 v (next index).
    DisplayDump& Samples(const std::vector<std::uint8_t>& values);
    DisplayDump& XyHeader(std::uint16_t x, std::uint16_t y);
    DisplayDump& XyPoint(std::uint8_t a, std::uint8_t b);
    DisplayDump& Item(std::uint8_t iCode, std::uint8_t v);
    DisplayDump& EndRun();
    DisplayDump& EndOfPart();
    DisplayDump& End();
    DisplayDump& Bytes(std::initializer_list<std::uint8_t> bytes);

    const std::vector<std::uint8_t>& Stream() const { return mStream; }

    // The stream as a definite-length block ("#", digit count, byte count, stream).
    std::vector<std::uint8_t> Block() const;

    // The whole answer to ":SERV:MODE WEN;:DISP:DUMP? ALL;:TRAC:SOUR:CAT?": two lead bytes, the
    // stream as a definite-length block, two separator bytes, the catalogue (e.g. "CH1,CH2,POD1")
    // and two terminator bytes.
    std::vector<std::uint8_t> Answer(const std::string& sCatalogue) const;

  private:
    void Word(std::uint16_t v);
    std::vector<std::uint8_t> mStream;
};

// A definite-length block as the Rigol instruments send it: "#9", nine digits, the data and LF.
std::vector<std::uint8_t> RigolBlock(const std::vector<std::uint8_t>& data);

// A test picture of w x h pixels: colour bars with a marked top-left corner, so that a picture
// turned upside down or mirrored never equals it.
QImage ScreenPicture(int w, int h);

std::vector<std::uint8_t> PngFile(const QImage& image);
// A 24-bit BMP file written by hand. fTopDown stores the rows top down (negative height);
// iHeightField, when not 0, is written as the height field instead.
std::vector<std::uint8_t> BmpFile(const QImage& image, bool fTopDown, std::int32_t iHeightField = 0);

// The answer of a Rigol oscilloscope to ":DISP:DATA? ON,OFF,BMP24" (BMP, stored bottom up) or
// ":DISP:DATA? ON,OFF,PNG": the file as a Rigol block.
enum class eImageFile { Bmp, Png };
std::vector<std::uint8_t> RigolScreenCopyAnswer(const QImage& screen, eImageFile eFormat);

// Teaches a simulated device the screen-copy queries of a Rigol DS1000Z (":DISP:DATA? ON,OFF,BMP24",
// ":DISP:DATA? ON,OFF,PNG") and of a DS2000 (":DISP:DATA?", BMP), all showing the given screen.
void AnswerRigolScreenCopy(ScpiDevice& device, const QImage& screen);

// Teaches a simulated device the screen-copy query of a Siglent SDS2000X Plus / SDS5000X as
// their programming guide gives it, ":PRINt? {BMP|PNG}" (short form ":PRIN?"): the image file
// itself with no block header, a BMP (stored bottom up) followed by LF, a PNG with nothing after it.
void AnswerSiglentScreenCopy(ScpiDevice& device, const QImage& screen);
// The answers that AnswerSiglentScreenCopy teaches.
std::vector<std::uint8_t> SiglentScreenCopyAnswer(const QImage& screen, eImageFile eFormat);

// Teaches a simulated device the HAMEG display-dump query ":SERV:MODE WEN;:DISP:DUMP? ALL;
// :TRAC:SOUR:CAT?". Its answer is laid out as those instruments send it: two bytes ahead of the
// block, two after it, the catalogue, then CR and the device's answer end (LF CR once HamegScope
// is attached, as the instruments send it over raw TCP).
void AnswerHamegDisplayDump(ScpiDevice& device, const DisplayDump& dump, const std::string& sCatalogue);

} // namespace Sim
