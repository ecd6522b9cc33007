#include "instrument/Hameg.h"

#include "common/TextRoutines.h"
#include "common/WindowLog.h"

#include <QCoreApplication>
#include <QThread>

#include <cmath>
#include <cstdio>

namespace Hameg {
namespace {

struct uRgb {
    std::uint8_t r, g, b;
};

constexpr uRgb Black{0, 0, 0};
constexpr uRgb Grey{128, 128, 128};
constexpr uRgb White{255, 255, 255};
constexpr uRgb Red{255, 0, 0};
constexpr uRgb Yellow{255, 255, 0};
constexpr uRgb LightYellow{255, 255, 204};
constexpr uRgb Cyan{0, 255, 255};
constexpr uRgb LightCyan{204, 255, 255};
constexpr uRgb Green{0, 255, 0};
constexpr uRgb LightGreen{204, 255, 204};
constexpr uRgb Magenta{255, 51, 255};
constexpr uRgb Blue{0, 153, 255};
constexpr uRgb LightGrey{204, 204, 204};
constexpr uRgb Lavender{204, 204, 255};

// Trace kinds, which pick the colours of the colour-switch items of a sample run.
constexpr int KindCh2 = 2;
constexpr int KindPod = 9;

// One size of picture: the graticule W x W inside a margin m, its divisions and ticks, the scale
// of dump units to pixels, the dots of texts and the shift of shifted texts.
struct uGeometry {
    int W, m, d, t;
    double kx, ky;
    int iDot, iShift;
    int a1, a2, a3, l1, l2, b1, b2;
};

constexpr uGeometry GeometrySmall{500, 6, 50, 10, 0.25, 0.5, 2, 3, 146, 244, 346, 7, 11, 124, 374};
constexpr uGeometry GeometryMiddle{750, 9, 75, 15, 0.375, 0.75, 2, 4, 220, 366, 520, 9, 17, 187, 562};
constexpr uGeometry GeometryLarge{1000, 12, 100, 20, 0.5, 1.0, 3, 6, 294, 489, 694, 11, 21, 249, 749};

const uGeometry& GeometryOf(std::int64_t iSizeChoice) {
    if (iSizeChoice == SizeSmall) return GeometrySmall;
    if (iSizeChoice == SizeMiddle) return GeometryMiddle;
    return GeometryLarge;
}

// Nearest integer, halves away from zero; values far outside any picture stay far outside.
std::int64_t Round(double v) {
    if (!(v > -1e15 && v < 1e15)) return v < 0 ? -(std::int64_t{1} << 50) : (std::int64_t{1} << 50);
    return static_cast<std::int64_t>(std::llround(v));
}

// Pixels of an RGB888 image, every write clipped to the image.
class Canvas {
  public:
    explicit Canvas(QImage& image)
        : pBits(image.bits()), iStride(image.bytesPerLine()), iWidth(image.width()), iHeight(image.height()) {}

    bool Inside(std::int64_t x, std::int64_t y) const { return x >= 0 && y >= 0 && x < iWidth && y < iHeight; }

    void Pixel(std::int64_t x, std::int64_t y, uRgb c) {
        if (!Inside(x, y)) return;
        std::uint8_t* p = pBits + y * iStride + x * 3;
        p[0] = c.r;
        p[1] = c.g;
        p[2] = c.b;
    }

    // A line with both end points, Bresenham's way.
    void Line(std::int64_t x0, std::int64_t y0, std::int64_t x1, std::int64_t y1, uRgb c) {
        const std::int64_t dx = x1 > x0 ? x1 - x0 : x0 - x1;
        const std::int64_t dy = y1 > y0 ? y0 - y1 : y1 - y0;
        const std::int64_t sx = x0 < x1 ? 1 : -1;
        const std::int64_t sy = y0 < y1 ? 1 : -1;
        std::int64_t e = dx + dy;
        for (;;) {
            Pixel(x0, y0, c);
            if (x0 == x1 && y0 == y1) return;
            const std::int64_t e2 = 2 * e;
            if (e2 >= dy) {
                e += dy;
                x0 += sx;
            }
            if (e2 <= dx) {
                e += dx;
                y0 += sy;
            }
        }
    }

    void HorizontalLine(std::int64_t x, std::int64_t y, std::int64_t iLength, uRgb c) {
        for (std::int64_t i = 0; i < iLength; ++i) Pixel(x + i, y, c);
    }

    void VerticalLine(std::int64_t x, std::int64_t y, std::int64_t iLength, uRgb c) {
        for (std::int64_t i = 0; i < iLength; ++i) Pixel(x, y + i, c);
    }

    void Square(std::int64_t x, std::int64_t y, int iSize, uRgb c) {
        for (int j = 0; j < iSize; ++j) HorizontalLine(x, y + j, iSize, c);
    }

  private:
    std::uint8_t* pBits;
    std::int64_t iStride, iWidth, iHeight;
};

void DrawGrid(Canvas& canvas, const uGeometry& g, uRgb c) {
    // Outline of the graticule, W + 1 square from (m - 1, m - 1).
    canvas.HorizontalLine(g.m - 1, g.m - 1, g.W + 1, c);
    canvas.HorizontalLine(g.m - 1, g.m + g.W - 1, g.W + 1, c);
    canvas.VerticalLine(g.m - 1, g.m - 1, g.W + 1, c);
    canvas.VerticalLine(g.m + g.W - 1, g.m - 1, g.W + 1, c);
    for (int i = g.d - 1; i <= 9 * g.d - 1; i += g.d) {
        canvas.HorizontalLine(g.m, g.m + i, g.W, c);
        canvas.VerticalLine(g.m + i, g.m, g.W, c);
    }
    for (int j = 0; j <= 49; ++j) {
        const int p = g.m + g.t * j - 1;
        canvas.VerticalLine(p, g.m + g.a1, g.l1, c);
        canvas.VerticalLine(p, g.m + g.a2, g.l2, c);
        canvas.VerticalLine(p, g.m + g.a3, g.l1, c);
        canvas.HorizontalLine(g.m + g.a2, p, g.l2, c);
        if (j % 5 == 0) continue;
        for (int b : {g.b1, g.b2}) {
            if (g.W == GeometrySmall.W) {
                canvas.Pixel(p, g.m + b, c);
            } else {
                canvas.HorizontalLine(p - 1, g.m + b, 3, c);
            }
        }
    }
}

// Bytes of the dump (or of a title stream) with a read position that never passes the end.
struct uReader {
    const std::uint8_t* p;
    std::size_t iSize;
    std::size_t iPos;

    bool Has(std::size_t n) const { return iPos <= iSize && iSize - iPos >= n; }
    std::uint8_t Byte(std::size_t i) const { return p[iPos + i]; }
    std::int64_t Word(std::size_t i) const { return (std::int64_t{p[iPos + i]} << 8) | p[iPos + i + 1]; }
};

std::string Hex(unsigned v) {
    char text[16];
    std::snprintf(text, sizeof text, "%X", v);
    return text;
}

const std::string sPrefix = "Hameg::CreateDisplayDumpImage: ";

// The name index of the n-th 04 80 trace header of a pass, given N such headers in the dump
// and iNames names in the catalogue; -1 when the header is not drawn.
int NameIndex(std::int64_t N, std::size_t iNames, std::int64_t n) {
    switch (N) {
    case 1: return 0;
    case 2:
        if (iNames == 1) return n == 1 ? 0 : -1;
        return n <= 2 ? static_cast<int>(n - 1) : -1;
    case 3: return n <= 3 ? static_cast<int>(n - 1) : -1;
    case 4:
        if (iNames > 2) return n <= 4 ? static_cast<int>(n - 1) : -1;
        if (iNames == 2) return n == 1 ? 0 : n == 3 ? 1 : -1;
        return n == 1 ? 0 : -1;
    default: return 0;
    }
}

bool IsNumbered(const std::string& sName, const char* sStem) {
    return sName.size() == 3 && sName.compare(0, 2, sStem) == 0 && sName[2] >= '1' && sName[2] <= '5';
}

class Renderer {
  public:
    Renderer(QImage& image, const uGeometry& geometry, bool fBlackWhite, std::vector<std::string> names,
             std::string sPod)
        : canvas(image), g(geometry), fBw(fBlackWhite), mNames(std::move(names)), sPodName(std::move(sPod)) {}

    // The three passes over the records from offset 4; the title stream, when given, is the
    // first record of the first pass.
    void Run(const std::uint8_t* pData, std::size_t iSize, const std::vector<std::uint8_t>* pTitle) {
        for (iPass = 1; iPass <= 3; ++iPass) {
            iHeaderNumber = 0;
            if (iPass == 1 && pTitle) {
                uReader title{pTitle->data(), pTitle->size(), 0};
                iOriginX = 0x8800;
                iOriginY = 0x0800;
                Record(title, true);
            }
            uReader reader{pData, iSize, 4};
            while (reader.iPos < reader.iSize && Record(reader, false)) {
            }
        }
    }

  private:
    void SetColour(uRgb c) {
        if (!fBw) colour = c;
    }

    // One record; false ends the pass (an end-of-pass record, or a record cut short).
    bool Record(uReader& r, bool fTitleRecord) {
        colour = fBw ? Black : (fTitleRecord ? Grey : White);
        if (!r.Has(2)) return false;
        const std::uint8_t c0 = r.Byte(0), c1 = r.Byte(1);
        if (c0 == 0x03 && (c1 == 0x01 || c1 == 0x03)) return false;
        if (c0 == 0x04 && c1 == 0x00) {
            if (!r.Has(4)) return false;
            r.iPos += 4;
            return true;
        }
        if (c0 != 0x05) {
            r.iPos += 2;
            return true;
        }
        switch (c1) {
        case 0x20:
        case 0x40:
            if (!r.Has(8)) return false;
            iOriginX = r.Word(2);
            iOriginY = r.Word(4);
            r.iPos += 8;
            return true;
        case 0x22:
        case 0x23:
        case 0x43:
        case 0xA3: return Text(r, fTitleRecord);
        case 0x61:
        case 0x63: SetColour(Yellow); return Text(r, fTitleRecord);
        case 0xA5:
        case 0xA7:
        case 0x47: return TraceHeader(r, c1);
        case 0x27:
            if (!r.Has(7)) return false;
            if (r.Byte(6) == 0x30) return TraceHeader(r, c1);
            if (r.Has(10) && r.Byte(8) == 0x04 && r.Byte(9) == 0x80) return XyHeader(r);
            SetColour(Red);
            return Text(r, fTitleRecord);
        default: SetColour(Red); return Text(r, fTitleRecord);
        }
    }

    // D of a record at height y: the distance below the top in dump units.
    std::int64_t Depth(std::int64_t y) const {
        std::int64_t D = 500 - (y - iOriginY);
        if (D < 0) D += 2050;
        return D;
    }

    // --- texts and markers -------------------------------------------------------------

    struct uDotRun {
        std::int64_t Xt = 0, D = 0, x = 0;
        bool fDraw = false;
        bool fSecondColumn = false, fAboveColumn = false, fShift = false, fWide = false;
        bool fExtraAdvance = false, fBackStep = false, fNoMoreDots = false;
    };

    bool Text(uReader& r, bool fTitleRecord) {
        if (!r.Has(6)) return false;
        uDotRun run;
        run.Xt = r.Word(2);
        run.D = Depth(r.Word(4));
        run.fDraw = fTitleRecord || iPass == 3;
        r.iPos += 6;
        DotRun(r, run);
        return true;
    }

    void Dot(uDotRun& run, std::int64_t y) {
        if (run.fNoMoreDots) return;
        if (run.fWide) {
            run.x += 4;
            y += 4;
        }
        if (run.fExtraAdvance) run.x += 4;
        if (!run.fDraw) return;
        const std::int64_t X = Round(static_cast<double>(run.Xt - iOriginX + 2 * run.x) * g.kx) +
                               (run.fShift ? g.iShift : 0);
        const std::int64_t Y = Round(static_cast<double>(run.D - y) * g.ky) + g.m;
        if (canvas.Inside(X, Y)) canvas.Square(X, Y, g.iDot, colour);
    }

    void DotRun(uReader& r, uDotRun& run) {
        bool fFirst = true;
        while (r.Has(2)) {
            const std::uint8_t code = r.Byte(0);
            const std::int64_t v = r.Byte(1);
            if (code == 0x05) return; // the next record's code
            r.iPos += 2;
            if (code >= 0xC0) return;
            switch (code) {
            case 0xBA:
                run.x += 8;
                run.fSecondColumn = false;
                Dot(run, v);
                break;
            case 0xAA:
                run.x += 4;
                if (run.fSecondColumn) {
                    run.x += 4;
                } else {
                    run.fSecondColumn = true;
                }
                Dot(run, v);
                break;
            case 0xA2:
                if (!run.fAboveColumn) {
                    run.x += 4;
                    if (fFirst) {
                        run.fShift = true;
                        SetColour(White);
                    }
                }
                Dot(run, v);
                break;
            case 0x22: run.x += 4; break;
            case 0x2A: run.x += 16; break;
            case 0x1A:
                run.fShift = true;
                SetColour(Red);
                run.x += 4;
                run.fNoMoreDots = true;
                break;
            case 0x30:
                run.fShift = true;
                if (v == 0x08) {
                    SetColour(Red);
                    run.x += 4;
                } else if (v == 0x10) {
                    run.fWide = true;
                    SetColour(White);
                    run.x += 4;
                } else if (v != 0) {
                    Dot(run, v);
                }
                break;
            case 0x31:
            case 0x32:
            case 0x33:
                if (v == 0x09 || v == 0x41 || v == 0x89 || v == 0xE9) run.fBackStep = true;
                break;
            case 0x34:
            case 0x35:
                if (v == 0x49 || v == 0x61 || v == 0x81 || v == 0x91 || v == 0xE1) run.fBackStep = true;
                break;
            case 0x36:
                if (v == 0x40) Dot(run, v);
                break;
            case 0x88:
                run.fShift = true;
                if (v == 0x10) run.fExtraAdvance = true;
                break;
            case 0x8A:
            case 0x8E: break;
            case 0x8F:
                if (v == 0xFF) run.x -= 4;
                break;
            case 0x9A:
                run.fAboveColumn = false;
                if (run.fWide) run.x -= 4;
                Dot(run, v);
                break;
            case 0x9B:
                run.fAboveColumn = false;
                Dot(run, v + 256);
                break;
            case 0x9C:
                run.fAboveColumn = false;
                Dot(run, v - 512);
                break;
            case 0x9D:
                run.fAboveColumn = false;
                Dot(run, v - 256);
                break;
            case 0xA3:
                run.x += 4;
                Dot(run, v + 256);
                break;
            case 0xA4:
                run.x -= 4;
                Dot(run, v - 512);
                break;
            case 0xA5:
                if (run.fBackStep) {
                    run.x -= 4;
                } else if (!run.fAboveColumn) {
                    run.x += 4;
                }
                run.fAboveColumn = true;
                Dot(run, v - 256);
                break;
            case 0x00:
                if (v == 0x07) break;
                if (v == 0x00) {
                    r.iPos = r.Has(6) ? r.iPos + 6 : r.iSize;
                    return;
                }
                Dot(run, v);
                break;
            default: Dot(run, v); break;
            }
            fFirst = false;
        }
    }

    // --- traces ------------------------------------------------------------------------

    struct uSampleRun {
        std::int64_t Xh = 0, D = 0, x0 = 0, iStep = 0;
        bool fPointsOnly = false, fPod = false, fXy = false;
        bool fDraw = false;
        bool fHidden = false; // after 05 20
        std::int64_t n = 0;
        bool fPrevious = false;
        std::int64_t iPrevX = 0, iPrevY = 0, iPrevValue = 0;
        std::int64_t a = 0, b = 0; // last x and y bytes of an XY run
    };

    void NameColour(int iIndex) {
        if (iIndex < 0 || static_cast<std::size_t>(iIndex) >= mNames.size()) {
            SetColour(Red);
            iKind = 1;
            return;
        }
        const std::string& s = mNames[static_cast<std::size_t>(iIndex)];
        struct uNamed {
            const char* sName;
            uRgb c;
            int iKind;
        };
        static constexpr uNamed Named[] = {{"CH1", Yellow, 1}, {"ZCH1", LightYellow, 1}, {"CH2", Cyan, KindCh2},
                                           {"ZCH2", LightCyan, KindCh2}, {"FFT1", Yellow, 3}, {"FFT2", Cyan, 4},
                                           {"ADD1", Yellow, 1}, {"ZADD1", LightYellow, 1}};
        for (const auto& named : Named) {
            if (s == named.sName) {
                SetColour(named.c);
                iKind = named.iKind;
                return;
            }
        }
        if (IsNumbered(s, "MA")) {
            SetColour(fMathSeen ? Blue : Magenta);
            fMathSeen = true;
            iKind = 5;
        } else if (IsNumbered(s, "RE")) {
            SetColour(fReferenceSeen ? Lavender : LightGrey);
            fReferenceSeen = true;
            iKind = 7;
        } else {
            SetColour(Yellow);
        }
    }

    bool TraceHeader(uReader& r, std::uint8_t c1) {
        if (!r.Has(12)) return false;
        uSampleRun run;
        run.Xh = r.Word(2);
        run.D = Depth(r.Word(4));
        run.fPointsOnly = (c1 == 0x27 || c1 == 0x47) && r.Byte(6) == 0x30;
        run.iStep = r.Byte(7);
        const std::int64_t iType = r.Word(10);
        r.iPos += 12;
        bool fDrawn = true;
        if (iType == 0x0480) {
            if (iPass == 1) {
                ++iTraceCount;
                fDrawn = false;
            } else {
                SetColour(Yellow);
                const int iIndex = NameIndex(iTraceCount, mNames.size(), ++iHeaderNumber);
                if (iIndex < 0) {
                    fDrawn = false;
                } else {
                    NameColour(iIndex);
                }
            }
        } else if (iType == 0x0446) {
            iKind = KindPod;
            SetColour(sPodName == "ZPOD1" ? LightGreen : Green);
            run.fPod = true;
        } else {
            SetColour(Red);
        }
        run.x0 = Round(static_cast<double>(run.Xh - iOriginX) / 2.0);
        run.fDraw = fDrawn && iPass == 2;
        SampleRun(r, run);
        return true;
    }

    bool XyHeader(uReader& r) {
        uSampleRun run;
        run.Xh = r.Word(2);
        run.fXy = true;
        run.fDraw = iPass == 2;
        r.iPos += 10;
        SetColour(Yellow);
        SampleRun(r, run);
        return true;
    }

    void Sample(uSampleRun& run, std::int64_t v) {
        if (!run.fDraw || run.fHidden) return;
        if (run.fXy) {
            const std::int64_t X =
                Round(static_cast<double>(2000 - (run.Xh - iOriginX)) / 255.0 * static_cast<double>(run.a) * g.ky) +
                g.m;
            const std::int64_t Y = Round(static_cast<double>(255 - run.b) * 3.90625 * g.ky) + g.m;
            if (canvas.Inside(X, Y)) canvas.Square(X, Y, g.iDot, colour);
            return;
        }
        const double dx = static_cast<double>(run.n) * static_cast<double>(run.iStep);
        if (run.fPod) {
            SetColour(v != 0 ? Yellow : Green);
            const std::int64_t X = Round(dx / 2.0 * g.ky) + g.m;
            const std::int64_t Y = Round(static_cast<double>(run.D - 24 * v) * g.ky) + g.m;
            if (!canvas.Inside(X, Y)) return;
            if (!run.fPrevious) {
                canvas.Pixel(X, Y, colour);
                run.iPrevX = X;
                run.iPrevY = Y;
            } else if (v == run.iPrevValue) {
                canvas.Line(run.iPrevX, run.iPrevY, X, Y, colour);
                run.iPrevX = X;
                run.iPrevY = Y;
            } else {
                canvas.Line(run.iPrevX, run.iPrevY, run.iPrevX, Y, colour);
                run.iPrevY = Y;
            }
            run.fPrevious = true;
            run.iPrevValue = v;
            return;
        }
        const std::int64_t X = Round((static_cast<double>(run.x0) + dx) / 2.0 * g.ky) + g.m;
        const std::int64_t Y = Round(static_cast<double>(run.D - 4 * v + 512) * g.ky) + g.m;
        if (!canvas.Inside(X, Y)) return;
        if (!run.fPrevious || run.fPointsOnly) {
            canvas.Pixel(X, Y, colour);
        } else {
            canvas.Line(run.iPrevX, run.iPrevY, X, Y, colour);
        }
        run.fPrevious = true;
        run.iPrevX = X;
        run.iPrevY = Y;
    }

    void SampleRun(uReader& r, uSampleRun& run) {
        while (r.Has(2)) {
            const std::uint8_t code = r.Byte(0);
            const std::int64_t v = r.Byte(1);
            if (code >= 0xC0) {
                r.iPos += 2;
                return;
            }
            if (code == 0x10) {
                if (!run.fXy) return; // put back: the run ends
                if (!r.Has(4) || r.Byte(2) != 0x98) {
                    r.iPos += 2; // the item after it is put back
                    return;
                }
                run.a = v;
                run.b = r.Byte(3);
                r.iPos += 4;
                Sample(run, run.b);
                continue;
            }
            r.iPos += 2;
            if (code == 0x05 && v == 0xA6) {
                SetColour(iKind == KindCh2 ? LightCyan : iKind == KindPod ? LightGreen : LightYellow);
                continue;
            }
            if (code == 0x05 && v == 0xA4) {
                SetColour(iKind == KindCh2 ? Cyan : iKind == KindPod ? Green : Yellow);
                continue;
            }
            if (code == 0x05 && v == 0x20) {
                run.fHidden = true;
                continue;
            }
            if (code == 0x18) {
                run.n = 0;
            } else if (code == 0x98) {
                if (run.fPointsOnly) run.n = 0;
            } else if (code == 0xA0) {
                ++run.n;
            }
            Sample(run, v);
        }
    }

    Canvas canvas;
    const uGeometry& g;
    bool fBw;
    std::vector<std::string> mNames;
    std::string sPodName;
    uRgb colour = White;
    int iPass = 0;
    std::int64_t iOriginX = 0, iOriginY = 0;
    std::int64_t iTraceCount = 0;  // 04 80 headers counted in the first pass
    std::int64_t iHeaderNumber = 0; // 04 80 headers met in the current pass
    bool fMathSeen = false, fReferenceSeen = false;
    int iKind = 0;
};

// The trace names of the catalogue and the pod name.
void ReadCatalogue(const std::uint8_t* p, std::size_t n, std::vector<std::string>& names, std::string& sPod) {
    const std::string sText =
        Utility::TrimCharacters(std::string_view(reinterpret_cast<const char*>(p), n), " \t\r\n");
    std::vector<std::string> fields;
    Utility::SplitStringToList(sText, fields, ",");
    for (std::size_t i = 0; i < fields.size() && i < 10; ++i) {
        if (fields[i].empty()) break;
        if (fields[i] == "POD1" || fields[i] == "ZPOD1") {
            sPod = fields[i];
        } else {
            names.push_back(fields[i]);
        }
    }
}

// One character of the title font: its columns, bit 0 the lowest row (row value 0x0C).
struct uGlyph {
    char c;
    std::uint8_t iColumns;
    std::uint8_t columns[5];
};

constexpr uGlyph TitleFont[] = {
    {'H', 5, {0x7F, 0x08, 0x08, 0x08, 0x7F}}, {'A', 5, {0x1F, 0x24, 0x44, 0x24, 0x1F}},
    {'M', 5, {0x7F, 0x20, 0x10, 0x20, 0x7F}}, {'E', 5, {0x7F, 0x49, 0x49, 0x49, 0x41}},
    {'G', 5, {0x3E, 0x41, 0x49, 0x49, 0x0E}}, {'0', 5, {0x3E, 0x41, 0x49, 0x41, 0x3E}},
    {'1', 3, {0x21, 0x7F, 0x01, 0, 0}},       {'2', 5, {0x27, 0x49, 0x49, 0x49, 0x31}},
    {'5', 5, {0x72, 0x51, 0x51, 0x51, 0x4E}}, {'8', 5, {0x36, 0x49, 0x49, 0x49, 0x36}},
};

void AppendTitleWord(std::vector<std::uint8_t>& stream, const char* sWord) {
    for (const char* p = sWord; *p; ++p) {
        for (const auto& glyph : TitleFont) {
            if (glyph.c != *p) continue;
            for (int i = 0; i < glyph.iColumns; ++i) {
                const std::uint8_t first = i == 0 ? 0xBA : i == glyph.iColumns - 1 ? 0xAA : 0xA2;
                bool fFirstDot = true;
                for (int bit = 0; bit < 7; ++bit) {
                    if (!(glyph.columns[i] & (1 << bit))) continue;
                    stream.push_back(fFirstDot ? first : 0x9A);
                    stream.push_back(static_cast<std::uint8_t>(0x0C + 4 * bit));
                    fFirstDot = false;
                }
            }
        }
    }
}

void WriteToLog(const std::vector<std::string>& messages) {
    const QCoreApplication* pApp = QCoreApplication::instance();
    const bool fGuiThread = pApp && QThread::currentThread() == pApp->thread();
    for (const auto& s : messages) {
        if (fGuiThread) {
            WindowLog::AddError(s);
        } else {
            WindowLog::PostError(s);
        }
    }
}

} // namespace

int ImageSize(std::int64_t iSizeChoice) {
    const uGeometry& g = GeometryOf(iSizeChoice);
    return g.W + 2 * g.m;
}

int DrawDisplayGrid(QImage& image, std::int64_t iSizeChoice, std::int64_t fGrey) {
    if (image.format() != QImage::Format_RGB888) return 0;
    Canvas canvas(image);
    DrawGrid(canvas, GeometryOf(iSizeChoice), fGrey ? Grey : Black);
    return 0;
}

std::vector<std::uint8_t> TitleStream(std::int64_t eModel) {
    const char* sModel = eModel == 15 ? "HM2008" : eModel == 16 ? "HM1508" : eModel == 17 ? "HM1008" : nullptr;
    if (!sModel) return {0xC0, 0x00};
    std::vector<std::uint8_t> stream = {0x05, 0x23, 0x88, 0x14, 0x09, 0xC9};
    AppendTitleWord(stream, "HAMEG");
    stream.insert(stream.end(), {0x2A, 0x00});
    AppendTitleWord(stream, sModel);
    stream.insert(stream.end(), {0xC0, 0x00});
    return stream;
}

QImage RenderDisplayDump(std::uint64_t L, const std::uint8_t* pData, std::uint64_t iDataSize, std::int64_t fTitle,
                         std::int64_t eModel, std::int64_t iSizeChoice, std::int64_t fBlackWhite,
                         std::vector<std::string>& messages) {
    if (!pData) {
        messages.push_back(sPrefix + "Es sind keine Display Dump-Daten vorhanden - *Data = Null.");
        return {};
    }
    if (L == 0) {
        messages.push_back(sPrefix + "Der übergebene Blockformatwert ist Null.");
        return {};
    }
    if (iDataSize == 0) {
        messages.push_back(sPrefix + "Die übergebene Datengröße ist Null.");
        return {};
    }
    if (iDataSize < L) {
        messages.push_back(sPrefix + "Die Datengröße ist kleiner als der Blockformatwert - iDataSize = " +
                           std::to_string(iDataSize) + " - BlockformatValue = " + std::to_string(L));
        return {};
    }

    std::vector<std::string> names;
    std::string sPod;
    if (iDataSize - L <= 4) {
        messages.push_back(sPrefix + "Es ist keine Antwort von der :Trace:Source:Catalog?-Abfrage vorhanden.");
    } else {
        ReadCatalogue(pData + L + 2, static_cast<std::size_t>(iDataSize - L - 4), names, sPod);
    }

    const uGeometry& g = GeometryOf(iSizeChoice);
    QImage image(g.W + 2 * g.m, g.W + 2 * g.m, QImage::Format_RGB888);
    if (image.isNull()) {
        messages.push_back(sPrefix + "Das neue Bild konnte nicht mit CreateImage() erstellt werden.");
        return {};
    }
    image.fill(fBlackWhite ? Qt::white : Qt::black);
    DrawDisplayGrid(image, iSizeChoice, 1);

    // The stream header 01 xx 04 00; bytes beyond the data count as 0.
    const auto byteAt = [&](std::uint64_t i) -> unsigned { return i < iDataSize ? pData[i] : 0; };
    if (byteAt(0) != 0x01) {
        messages.push_back(sPrefix + "Unbekannte Datei: $" + Hex(byteAt(0)) + " $" + Hex(byteAt(1)) + " - Offset: $2");
        return image;
    }
    if (byteAt(2) != 0x04 || byteAt(3) != 0x00) {
        messages.push_back(sPrefix + "Unbekannte Datei: $" + Hex(byteAt(2)) + " $" + Hex(byteAt(3)) + " - Offset: $4");
        return image;
    }

    const std::vector<std::uint8_t> title = TitleStream(eModel);
    Renderer renderer(image, g, fBlackWhite != 0, std::move(names), std::move(sPod));
    renderer.Run(pData, static_cast<std::size_t>(iDataSize), fTitle != 0 ? &title : nullptr);
    return image;
}

QImage CreateDisplayDumpImage(std::uint64_t iBlockformatValue, const std::uint8_t* pData, std::uint64_t iDataSize,
                              std::int64_t fTitle, std::int64_t eModel, std::int64_t iSizeChoice,
                              std::int64_t fBlackWhite) {
    std::vector<std::string> messages;
    QImage image =
        RenderDisplayDump(iBlockformatValue, pData, iDataSize, fTitle, eModel, iSizeChoice, fBlackWhite, messages);
    WriteToLog(messages);
    return image;
}

} // namespace Hameg
