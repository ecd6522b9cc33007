#include "sim/ScreenCopyAnswers.h"

#include "sim/ScpiDevice.h"

#include <QBuffer>
#include <QByteArray>
#include <QImageWriter>

#include <cstdio>
#include <cstring>

namespace Sim {
namespace {

// The simulator's 5 x 7 font, rows top down ('#' a dot). Every glyph's first and last columns
// hold a dot.
struct uGlyph {
    char c;
    const char* rows[7];
};

constexpr uGlyph Font[] = {
    {'0', {" ### ", "#   #", "#  ##", "# # #", "##  #", "#   #", " ### "}},
    {'1', {" # ", "## ", " # ", " # ", " # ", " # ", "###"}},
    {'2', {" ### ", "#   #", "    #", "   # ", "  #  ", " #   ", "#####"}},
    {'3', {"#####", "   # ", "  #  ", "   # ", "    #", "#   #", " ### "}},
    {'4', {"   # ", "  ## ", " # # ", "#  # ", "#####", "   # ", "   # "}},
    {'5', {"#####", "#    ", "#### ", "    #", "    #", "#   #", " ### "}},
    {'6', {"  ## ", " #   ", "#    ", "#### ", "#   #", "#   #", " ### "}},
    {'7', {"#####", "    #", "   # ", "  #  ", " #   ", " #   ", " #   "}},
    {'8', {" ### ", "#   #", "#   #", " ### ", "#   #", "#   #", " ### "}},
    {'9', {" ### ", "#   #", "#   #", " ####", "    #", "   # ", " ##  "}},
    {'C', {" ### ", "#   #", "#    ", "#    ", "#    ", "#   #", " ### "}},
    {'H', {"#   #", "#   #", "#   #", "#####", "#   #", "#   #", "#   #"}},
    {'V', {"#   #", "#   #", "#   #", "#   #", "#   #", " # # ", "  #  "}},
    {'X', {"#   #", "#   #", " # # ", "  #  ", " # # ", "#   #", "#   #"}},
    {'Y', {"#   #", "#   #", " # # ", "  #  ", "  #  ", "  #  ", "  #  "}},
    {'m', {"     ", "     ", "## # ", "# # #", "# # #", "#   #", "#   #"}},
    {'s', {"     ", "     ", " ####", "#    ", " ### ", "    #", "#### "}},
    {':', {" ", "#", "#", " ", "#", "#", " "}},
    {'.', {" ", " ", " ", " ", " ", "#", "#"}},
    {'-', {"   ", "   ", "   ", "###", "   ", "   ", "   "}},
};

const uGlyph* FindGlyph(char c) {
    for (const auto& glyph : Font) {
        if (glyph.c == c) return &glyph;
    }
    return nullptr;
}

void PutLittle32(std::vector<std::uint8_t>& m, std::size_t iAt, std::uint32_t v) {
    for (int k = 0; k < 4; ++k) m[iAt + k] = static_cast<std::uint8_t>(v >> (8 * k));
}

} // namespace

DisplayDump::DisplayDump() : mStream{0x01, 0x00, 0x04, 0x00} {}

void DisplayDump::Word(std::uint16_t v) {
    mStream.push_back(static_cast<std::uint8_t>(v >> 8));
    mStream.push_back(static_cast<std::uint8_t>(v));
}

DisplayDump& DisplayDump::Origin(std::uint16_t x, std::uint16_t y) {
    Bytes({0x05, 0x20});
    Word(x);
    Word(y);
    return Bytes({0x00, 0x00});
}

DisplayDump& DisplayDump::Text(std::uint16_t x, std::uint16_t y, std::uint8_t iCode) {
    Bytes({0x05, iCode});
    Word(x);
    Word(y);
    return *this;
}

DisplayDump& DisplayDump::Glyphs(const std::string& sText, std::uint8_t iRow0) {
    for (char c : sText) {
        const uGlyph* pGlyph = FindGlyph(c);
        if (!pGlyph) {
            Item(0x2A, 0x00); // a blank character
            continue;
        }
        const std::size_t iColumns = std::strlen(pGlyph->rows[0]);
        for (std::size_t col = 0; col < iColumns; ++col) {
            const std::uint8_t iFirst = col == 0 ? 0xBA : col + 1 == iColumns ? 0xAA : 0xA2;
            bool fFirstDot = true;
            for (int row = 6; row >= 0; --row) { // lowest row first
                if (pGlyph->rows[row][col] != '#') continue;
                Item(fFirstDot ? iFirst : 0x9A, static_cast<std::uint8_t>(iRow0 + 4 * (6 - row)));
                fFirstDot = false;
            }
            if (fFirstDot) Item(0x22, 0x00); // an empty column
        }
    }
    return *this;
}

DisplayDump& DisplayDump::TraceHeader(std::uint16_t x, std::uint16_t y, std::uint16_t iType, std::uint8_t iStep,
                                      std::uint8_t iCode, std::uint8_t iMode) {
    Bytes({0x05, iCode});
    Word(x);
    Word(y);
    Bytes({iMode, iStep, 0x00, 0x00});
    Word(iType);
    return *this;
}

DisplayDump& DisplayDump::Samples(const std::vector<std::uint8_t>& values) {
    for (std::size_t i = 0; i < values.size(); ++i) Item(i == 0 ? 0x18 : 0xA0, values[i]);
    return *this;
}

DisplayDump& DisplayDump::XyHeader(std::uint16_t x, std::uint16_t y) {
    Bytes({0x05, 0x27});
    Word(x);
    Word(y);
    return Bytes({0x00, 0x00, 0x04, 0x80});
}

DisplayDump& DisplayDump::XyPoint(std::uint8_t a, std::uint8_t b) { return Bytes({0x10, a, 0x98, b}); }

DisplayDump& DisplayDump::Item(std::uint8_t iCode, std::uint8_t v) { return Bytes({iCode, v}); }

DisplayDump& DisplayDump::EndRun() { return Item(0xC0, 0x00); }

DisplayDump& DisplayDump::EndOfPart() { return Bytes({0x04, 0x00, 0x02, 0x00}); }

DisplayDump& DisplayDump::End() { return Bytes({0x03, 0x01}); }

DisplayDump& DisplayDump::Bytes(std::initializer_list<std::uint8_t> bytes) {
    mStream.insert(mStream.end(), bytes);
    return *this;
}

std::vector<std::uint8_t> DisplayDump::Block() const {
    const std::string sCount = std::to_string(mStream.size());
    std::vector<std::uint8_t> m;
    m.reserve(2 + sCount.size() + mStream.size());
    m.push_back('#');
    m.push_back(static_cast<std::uint8_t>('0' + sCount.size()));
    m.insert(m.end(), sCount.begin(), sCount.end());
    m.insert(m.end(), mStream.begin(), mStream.end());
    return m;
}

std::vector<std::uint8_t> DisplayDump::Answer(const std::string& sCatalogue) const {
    std::vector<std::uint8_t> m = {'\r', '\n'};
    const std::vector<std::uint8_t> block = Block();
    m.insert(m.end(), block.begin(), block.end());
    m.insert(m.end(), {'\r', '\n'});
    m.insert(m.end(), sCatalogue.begin(), sCatalogue.end());
    m.insert(m.end(), {'\r', '\n'});
    return m;
}

std::vector<std::uint8_t> RigolBlock(const std::vector<std::uint8_t>& data) {
    char header[16];
    std::snprintf(header, sizeof header, "#9%09zu", data.size());
    std::vector<std::uint8_t> m(11 + data.size() + 1);
    std::memcpy(m.data(), header, 11);
    std::copy(data.begin(), data.end(), m.begin() + 11);
    m.back() = '\n';
    return m;
}

QImage ScreenPicture(int w, int h) {
    QImage image(w, h, QImage::Format_RGB888);
    static const QRgb bars[] = {qRgb(255, 255, 0), qRgb(0, 255, 255), qRgb(255, 0, 255), qRgb(0, 0, 255),
                                qRgb(255, 255, 255), qRgb(40, 40, 40)};
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            QRgb c = bars[(x * 6 / w + y * 3 / h) % 6];
            if (x < w / 4 && y < h / 4) c = qRgb(255, 0, 0); // the top-left corner
            image.setPixel(x, y, c);
        }
    }
    return image;
}

std::vector<std::uint8_t> PngFile(const QImage& image) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    writer.write(image);
    return {reinterpret_cast<const std::uint8_t*>(bytes.constData()),
            reinterpret_cast<const std::uint8_t*>(bytes.constData()) + bytes.size()};
}

std::vector<std::uint8_t> BmpFile(const QImage& source, bool fTopDown, std::int32_t iHeightField) {
    const QImage image = source.convertToFormat(QImage::Format_RGB888);
    const int w = image.width(), h = image.height();
    const std::size_t iRow = (static_cast<std::size_t>(w) * 3 + 3) / 4 * 4;
    std::vector<std::uint8_t> m(54 + iRow * static_cast<std::size_t>(h), 0);
    m[0] = 'B';
    m[1] = 'M';
    PutLittle32(m, 2, static_cast<std::uint32_t>(m.size()));
    PutLittle32(m, 10, 54);
    PutLittle32(m, 14, 40);
    PutLittle32(m, 18, static_cast<std::uint32_t>(w));
    const std::int32_t iHeight = iHeightField != 0 ? iHeightField : fTopDown ? -h : h;
    PutLittle32(m, 22, static_cast<std::uint32_t>(iHeight));
    m[26] = 1;  // planes
    m[28] = 24; // bits per pixel
    PutLittle32(m, 34, static_cast<std::uint32_t>(iRow * static_cast<std::size_t>(h)));
    for (int y = 0; y < h; ++y) {
        const int iStored = fTopDown ? y : h - 1 - y;
        std::uint8_t* pOut = m.data() + 54 + iRow * static_cast<std::size_t>(iStored);
        const std::uint8_t* pIn = image.constScanLine(y);
        for (int x = 0; x < w; ++x) {
            pOut[3 * x] = pIn[3 * x + 2]; // B, G, R
            pOut[3 * x + 1] = pIn[3 * x + 1];
            pOut[3 * x + 2] = pIn[3 * x];
        }
    }
    return m;
}

std::vector<std::uint8_t> RigolScreenCopyAnswer(const QImage& screen, eImageFile eFormat) {
    return RigolBlock(eFormat == eImageFile::Png ? PngFile(screen) : BmpFile(screen, false));
}

void AnswerRigolScreenCopy(ScpiDevice& device, const QImage& screen) {
    device.SetAnswer(":DISP:DATA? ON,OFF,BMP24", RigolScreenCopyAnswer(screen, eImageFile::Bmp));
    device.SetAnswer(":DISP:DATA? ON,OFF,PNG", RigolScreenCopyAnswer(screen, eImageFile::Png));
    device.SetAnswer(":DISP:DATA?", RigolScreenCopyAnswer(screen, eImageFile::Bmp));
}

std::vector<std::uint8_t> SiglentScreenCopyAnswer(const QImage& screen, eImageFile eFormat) {
    if (eFormat == eImageFile::Png) return PngFile(screen);
    std::vector<std::uint8_t> answer = BmpFile(screen, false);
    answer.push_back('\n');
    return answer;
}

void AnswerSiglentScreenCopy(ScpiDevice& device, const QImage& screen) {
    for (const char* pHeader : {":PRINt?", ":PRIN?"}) {
        device.SetBareAnswer(std::string(pHeader) + " BMP", SiglentScreenCopyAnswer(screen, eImageFile::Bmp));
        device.SetBareAnswer(std::string(pHeader) + " PNG", SiglentScreenCopyAnswer(screen, eImageFile::Png));
    }
}

void AnswerHamegDisplayDump(ScpiDevice& device, const DisplayDump& dump, const std::string& sCatalogue) {
    // The device joins the answers of the three units with ';' and ends the message with its
    // answer end (LF CR with HamegScope attached); a CR at the end of each unit's answer makes the
    // two-byte frames.
    std::vector<std::uint8_t> block = dump.Block();
    block.push_back('\r');
    std::vector<std::uint8_t> catalogue(sCatalogue.begin(), sCatalogue.end());
    catalogue.push_back('\r');
    device.SetAnswer(":SERV:MODE WEN", {'\r'});
    device.SetAnswer(":DISP:DUMP? ALL", block);
    device.SetAnswer(":TRAC:SOUR:CAT?", catalogue);
}

} // namespace Sim
