#include "instrument/Hameg.h"

#include "sim/ScreenCopyAnswers.h"

#include <gtest/gtest.h>

#include <QString>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <numbers>
#include <thread>

namespace {

using Sim::DisplayDump;

constexpr QRgb Black = 0xFF000000u;
constexpr QRgb Grey = 0xFF808080u;
constexpr QRgb White = 0xFFFFFFFFu;
constexpr QRgb Red = 0xFFFF0000u;
constexpr QRgb Yellow = 0xFFFFFF00u;
constexpr QRgb Cyan = 0xFF00FFFFu;
constexpr QRgb Green = 0xFF00FF00u;
constexpr QRgb LightGreen = 0xFFCCFFCCu;
constexpr QRgb Magenta = 0xFFFF33FFu;
constexpr QRgb Blue = 0xFF0099FFu;

struct uRendered {
    QImage image;
    std::vector<std::string> messages;
};

// The dump part of an answer: what the screen-copy task hands to the renderer.
uRendered Render(const DisplayDump& dump, const std::string& sCatalogue, std::int64_t iSize = Hameg::SizeSmall,
                 std::int64_t fTitle = 0, std::int64_t eModel = 15, std::int64_t fBlackWhite = 0) {
    std::vector<std::uint8_t> data = dump.Stream();
    data.insert(data.end(), {'\r', '\n'});
    data.insert(data.end(), sCatalogue.begin(), sCatalogue.end());
    data.insert(data.end(), {'\r', '\n'});
    uRendered r;
    r.image = Hameg::RenderDisplayDump(dump.Stream().size(), data.data(), data.size(), fTitle, eModel, iSize,
                                       fBlackWhite, r.messages);
    return r;
}

QRgb At(const QImage& image, int x, int y) { return image.pixel(x, y); }

// Pixels of the given colour.
int Count(const QImage& image, QRgb c) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) n += image.pixel(x, y) == c;
    }
    return n;
}

std::filesystem::path DataDir() { return ORVANTO_TEST_DATA; }

// Compares pixel for pixel with tests/instrument/data/hameg_<name>.png; ORVANTO_UPDATE_GOLDENS=1
// writes the golden instead (look at it before committing it).
void ExpectGolden(const QImage& image, const std::string& sName) {
    ASSERT_FALSE(image.isNull());
    ASSERT_EQ(image.format(), QImage::Format_RGB888);
    const QString sPath = QString::fromStdString((DataDir() / ("hameg_" + sName + ".png")).string());
    if (std::getenv("ORVANTO_UPDATE_GOLDENS")) {
        ASSERT_TRUE(image.save(sPath, "PNG"));
    }
    QImage golden(sPath);
    ASSERT_FALSE(golden.isNull()) << sPath.toStdString();
    golden = golden.convertToFormat(QImage::Format_RGB888);
    ASSERT_EQ(golden.size(), image.size());
    int iDiffer = 0, iFirstX = -1, iFirstY = -1;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (image.pixel(x, y) == golden.pixel(x, y)) continue;
            if (iDiffer++ == 0) {
                iFirstX = x;
                iFirstY = y;
            }
        }
    }
    EXPECT_EQ(iDiffer, 0) << sName << ": first difference at " << iFirstX << "," << iFirstY;
}

DisplayDump Empty() { return std::move(DisplayDump().End()); }

// A CH1 sine over the whole small graticule: 500 samples, step 4, centred on row 248.
DisplayDump SineDump(std::uint16_t iType = DisplayDump::TypeAnalogue) {
    std::vector<std::uint8_t> v;
    for (int n = 0; n < 500; ++n) v.push_back(static_cast<std::uint8_t>(std::lround(128 + 80 * std::sin(n / 20.0))));
    DisplayDump dump;
    dump.Origin(0, 1000).TraceHeader(0, 1016, iType, 4).Samples(v).EndRun().End();
    return dump;
}

// One short flat trace per header at its own height (values 100), n headers in all.
DisplayDump FlatTraces(int n) {
    DisplayDump dump;
    dump.Origin(0, 1000);
    for (int i = 0; i < n; ++i) {
        dump.TraceHeader(0, static_cast<std::uint16_t>(1000 + 100 * i), DisplayDump::TypeAnalogue, 4)
            .Samples({100, 100, 100})
            .EndRun();
    }
    return std::move(dump.End());
}

// Row of flat trace i of FlatTraces (small size): D = 500 - 100 i, Y = (D - 400 + 512) / 2 + 6.
int FlatRow(int i) { return (500 - 100 * i + 112) / 2 + 6; }

TEST(HamegTitle, StreamsHaveTheirLengthsAndFrame) {
    const auto s15 = Hameg::TitleStream(15), s16 = Hameg::TitleStream(16), s17 = Hameg::TitleStream(17);
    EXPECT_EQ(s15.size(), 380u);
    EXPECT_EQ(s16.size(), 368u);
    EXPECT_EQ(s17.size(), 368u);
    const std::vector<std::uint8_t> head = {0x05, 0x23, 0x88, 0x14, 0x09, 0xC9, 0xBA, 0x0C};
    for (const auto* s : {&s15, &s16, &s17}) {
        EXPECT_TRUE(std::equal(head.begin(), head.end(), s->begin()));
        EXPECT_EQ((*s)[s->size() - 2], 0xC0);
        EXPECT_EQ((*s)[s->size() - 1], 0x00);
    }
    EXPECT_EQ(Hameg::TitleStream(1), (std::vector<std::uint8_t>{0xC0, 0x00}));
}

TEST(HamegTitle, GoldenTitlesOfTheThreeModels) {
    for (std::int64_t eModel : {15, 16, 17}) {
        const uRendered r = Render(Empty(), "", Hameg::SizeSmall, 1, eModel);
        ExpectGolden(r.image, "title_" + std::to_string(eModel));
        // The first dot of "H": column 8 of the text at x 0x14, row 0x0C of y 0x1C9 (origin
        // 0x8800 / 0x0800): X = (20 + 16) / 4 = 9, Y = (43 - 12) / 2 = 15.5 -> 16, + 6.
        EXPECT_EQ(At(r.image, 9, 22), Grey);
        EXPECT_EQ(At(r.image, 10, 23), Grey);
        EXPECT_EQ(At(r.image, 8, 22), Black);
    }
}

TEST(HamegTitle, BlackAndWhiteTitleIsBlackAndOtherModelsDrawNone) {
    const uRendered bw = Render(Empty(), "", Hameg::SizeSmall, 1, 17, 1);
    EXPECT_EQ(At(bw.image, 9, 22), Black);
    EXPECT_EQ(At(bw.image, 100, 100), White);
    EXPECT_EQ(At(bw.image, 55, 100), Grey); // the grid stays grey

    const uRendered generic = Render(Empty(), "", Hameg::SizeSmall, 1, 1);
    const uRendered plain = Render(Empty(), "", Hameg::SizeSmall, 0, 1);
    EXPECT_EQ(generic.image, plain.image);
}

TEST(HamegGrid, GoldenGridsOfTheThreeSizes) {
    const uRendered small = Render(Empty(), "CH1");
    ExpectGolden(small.image, "grid_small");
    const uRendered middle = Render(Empty(), "CH1", Hameg::SizeMiddle);
    ExpectGolden(middle.image, "grid_middle");
    const uRendered large = Render(Empty(), "CH1", Hameg::SizeLarge);
    ExpectGolden(large.image, "grid_large");

    // Outline at m - 1 and m + W - 1, major lines at m + k d - 1, a tick mark beside the centre.
    EXPECT_EQ(small.image.size(), QSize(512, 512));
    EXPECT_EQ(At(small.image, 5, 5), Grey);
    EXPECT_EQ(At(small.image, 505, 505), Grey);
    EXPECT_EQ(At(small.image, 506, 506), Black);
    EXPECT_EQ(At(small.image, 55, 300), Grey);
    EXPECT_EQ(At(small.image, 300, 105), Grey);
    EXPECT_EQ(At(small.image, 60, 100), Black);
    EXPECT_EQ(At(small.image, 15, 6 + 244), Grey);  // vertical tick at column m + t - 1
    EXPECT_EQ(At(small.image, 15, 6 + 124), Grey);  // single-pixel mark
    EXPECT_EQ(At(small.image, 16, 6 + 124), Black); // only one pixel wide at the small size
    EXPECT_EQ(middle.image.size(), QSize(768, 768));
    EXPECT_EQ(At(middle.image, 22, 9 + 187), Grey); // 3-pixel mark from column p - 1 = 22
    EXPECT_EQ(At(middle.image, 24, 9 + 187), Grey);
    EXPECT_EQ(At(middle.image, 25, 9 + 187), Black);
    EXPECT_EQ(large.image.size(), QSize(1024, 1024));
    EXPECT_EQ(At(large.image, 11, 11), Grey);
    EXPECT_EQ(At(large.image, 1011, 1011), Grey);
}

TEST(HamegGrid, AnyOtherSizeChoiceIsLarge) {
    EXPECT_EQ(Render(Empty(), "", 7).image.size(), QSize(1024, 1024));
    EXPECT_EQ(Hameg::ImageSize(0), 1024);
    EXPECT_EQ(Hameg::ImageSize(Hameg::SizeSmall), 512);
}

TEST(HamegTrace, GoldenSineOfChannelOne) {
    const uRendered r = Render(SineDump(), "CH1");
    ExpectGolden(r.image, "trace_ch1");
    EXPECT_TRUE(r.messages.empty());
    // Sample 0 (value 128): X = 0 + 6, Y = (484 - 512 + 512) / 2 + 6 = 248.
    EXPECT_EQ(At(r.image, 6, 248), Yellow);
}

TEST(HamegTrace, RendersOnSeveralThreadsAtOnce) {
    // No state is shared between calls: worker threads and the GUI thread may render together.
    const uRendered one = Render(SineDump(), "CH1", Hameg::SizeSmall, 1, 16);
    std::vector<QImage> images(4);
    std::vector<std::thread> threads;
    for (auto& image : images) {
        threads.emplace_back([&image] { image = Render(SineDump(), "CH1", Hameg::SizeSmall, 1, 16).image; });
    }
    for (auto& thread : threads) thread.join();
    for (const auto& image : images) EXPECT_EQ(image, one.image);
}

TEST(HamegTrace, ColoursFollowTheCatalogue) {
    EXPECT_EQ(At(Render(SineDump(), "CH2").image, 6, 248), Cyan);
    EXPECT_EQ(At(Render(SineDump(), " CH2 ,CH1\r\n").image, 6, 248), Yellow); // "CH2 " is no known name
    EXPECT_EQ(At(Render(SineDump(), "\t CH2,CH1\n").image, 6, 248), Cyan);
    EXPECT_EQ(At(Render(SineDump(), "XYZ").image, 6, 248), Yellow);
    EXPECT_EQ(At(Render(SineDump(), "POD1").image, 6, 248), Red); // only a pod name: no trace name
    EXPECT_EQ(At(Render(SineDump(0x0123), "CH2").image, 6, 248), Red);
}

TEST(HamegTrace, MissingCatalogueDrawsRedAndLogs) {
    const DisplayDump dump = SineDump();
    std::vector<std::uint8_t> data = dump.Stream();
    data.insert(data.end(), {'\r', '\n', 'C', '\r'}); // catalogue of 0 bytes
    std::vector<std::string> messages;
    const QImage image =
        Hameg::RenderDisplayDump(dump.Stream().size(), data.data(), data.size(), 0, 15, 3, 0, messages);
    EXPECT_EQ(At(image, 6, 248), Red);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], "Hameg::CreateDisplayDumpImage: Es ist keine Antwort von der "
                           ":Trace:Source:Catalog?-Abfrage vorhanden.");
}

TEST(HamegTrace, HeaderCountAndNamesDecideWhatIsDrawn) {
    // Two headers, one name: only the first.
    uRendered r = Render(FlatTraces(2), "CH2");
    EXPECT_EQ(At(r.image, 6, FlatRow(0)), Cyan);
    EXPECT_EQ(At(r.image, 6, FlatRow(1)), Black);
    // Two headers, two names.
    r = Render(FlatTraces(2), "CH1,CH2");
    EXPECT_EQ(At(r.image, 6, FlatRow(0)), Yellow);
    EXPECT_EQ(At(r.image, 6, FlatRow(1)), Cyan);
    // Four headers, two names: the first and the third, in the colours of the two names.
    r = Render(FlatTraces(4), "CH2,CH1");
    EXPECT_EQ(At(r.image, 6, FlatRow(0)), Cyan);
    EXPECT_EQ(At(r.image, 6, FlatRow(1)), Black);
    EXPECT_EQ(At(r.image, 6, FlatRow(2)), Yellow);
    EXPECT_EQ(At(r.image, 6, FlatRow(3)), Black);
    // Four headers, one name: the first only. Three names: all four, the fourth without a name.
    r = Render(FlatTraces(4), "CH2");
    EXPECT_EQ(At(r.image, 6, FlatRow(0)), Cyan);
    EXPECT_EQ(At(r.image, 6, FlatRow(2)), Black);
    r = Render(FlatTraces(4), "CH2,CH1,CH2");
    EXPECT_EQ(At(r.image, 6, FlatRow(3)), Red);
    // Five headers: every one takes the first name.
    r = Render(FlatTraces(5), "CH2,CH1");
    for (int i = 0; i < 5; ++i) EXPECT_EQ(At(r.image, 6, FlatRow(i)), Cyan) << i;
}

TEST(HamegTrace, FirstMathTraceIsMagentaLaterOnesBlue) {
    uRendered r = Render(FlatTraces(3), "MA2,MA1,RE4");
    EXPECT_EQ(At(r.image, 6, FlatRow(0)), Magenta);
    EXPECT_EQ(At(r.image, 6, FlatRow(1)), Blue);
    EXPECT_EQ(At(r.image, 6, FlatRow(2)), 0xFFCCCCCCu);
    // Only ten fields count: the eleventh name is not there, so both traces go without a name
    // (with one name only the first would be drawn). Pod names are set aside; an empty field
    // ends the list.
    r = Render(FlatTraces(2), "POD1,ZPOD1,POD1,ZPOD1,POD1,ZPOD1,POD1,ZPOD1,POD1,ZPOD1,CH1");
    EXPECT_EQ(At(r.image, 6, FlatRow(0)), Red);
    EXPECT_EQ(At(r.image, 6, FlatRow(1)), Red);
    r = Render(FlatTraces(2), "CH2,,CH1");
    EXPECT_EQ(At(r.image, 6, FlatRow(0)), Cyan);
    EXPECT_EQ(At(r.image, 6, FlatRow(1)), Black);
}

TEST(HamegTrace, GoldenPodSteps) {
    const std::vector<std::uint8_t> v = {0, 0, 0, 1, 1, 1, 1, 0, 0, 1, 1, 0, 0, 0, 1, 1, 1, 1, 1, 0, 0, 0, 1, 1};
    std::vector<std::uint8_t> samples;
    for (std::uint8_t b : v) samples.insert(samples.end(), 20, b); // 480 samples
    DisplayDump dump;
    dump.Origin(0, 1024).TraceHeader(0, 624, DisplayDump::TypePod, 4).Samples(samples).EndRun().End();
    const uRendered r = Render(dump, "CH1,POD1");
    ExpectGolden(r.image, "pod_steps");
    // Level 0 at Y = 900 / 2 + 6 = 456 (green), level 1 at (900 - 24) / 2 + 6 = 444 (yellow).
    EXPECT_EQ(At(r.image, 7, 456), Green);
    EXPECT_EQ(At(r.image, 6 + 80, 444), Yellow);
    EXPECT_EQ(At(r.image, 6 + 80, 456), Black);
    // The step up at sample 60 is drawn at the previous sample's column.
    EXPECT_EQ(At(r.image, 6 + 59 * 4 / 4, 450), Yellow);
}

TEST(HamegTrace, ColourSwitchItemsFollowTheTraceKind) {
    DisplayDump dump;
    dump.Origin(0, 1000).TraceHeader(0, 624, DisplayDump::TypePod, 4).Samples({0}).EndRun();
    dump.TraceHeader(0, 1016, 0x0001, 4).Item(0x05, 0xA6).Samples({128, 128}).EndRun().End();
    const uRendered r = Render(dump, "ZPOD1");
    EXPECT_EQ(At(r.image, 6, 248), LightGreen); // the unknown trace kept the pod's kind
}

TEST(HamegTrace, RunAfterHideItemIsNotDrawn) {
    DisplayDump dump;
    dump.Origin(0, 1000).TraceHeader(0, 1016, DisplayDump::TypeAnalogue, 4).Samples({128, 128});
    dump.Item(0x05, 0x20).Item(0xA0, 128).Item(0xA0, 128).EndRun().End();
    const uRendered r = Render(dump, "CH1");
    EXPECT_EQ(At(r.image, 7, 248), Yellow);
    EXPECT_EQ(At(r.image, 8, 248), Black);
}

TEST(HamegXy, GoldenLissajous) {
    DisplayDump dump;
    dump.Origin(0, 1000).XyHeader(1000, 1000);
    for (int i = 0; i < 400; ++i) {
        const double t = i * 2 * std::numbers::pi / 400;
        dump.XyPoint(static_cast<std::uint8_t>(std::lround(128 + 110 * std::sin(3 * t))),
                     static_cast<std::uint8_t>(std::lround(128 + 110 * std::sin(2 * t))));
    }
    dump.EndRun().End();
    const uRendered r = Render(dump, "CH1,CH2");
    ExpectGolden(r.image, "xy");
    // Point 0 (a = 128, b = 128): X = 1000 / 255 * 128 / 2 = 250.98 -> 251 + 6,
    // Y = 127 * 3.90625 / 2 = 248.05 -> 248 + 6; a 2 x 2 square.
    EXPECT_EQ(At(r.image, 257, 254), Yellow);
    EXPECT_EQ(At(r.image, 258, 255), Yellow);
}

TEST(HamegText, GoldenTexts) {
    DisplayDump dump;
    dump.Origin(0, 1000);
    dump.Text(40, 560, 0x61).Glyphs("CH1 500mV").EndRun();           // yellow, bottom left
    dump.Text(1000, 560, 0x27).Glyphs("2.00ms").EndRun();            // red
    dump.Text(1600, 1460, 0x22).Glyphs("XY-3:9").EndRun().End();     // white, top right
    const uRendered r = Render(dump, "CH1", Hameg::SizeMiddle);
    ExpectGolden(r.image, "texts");
    // "C" of CH1: its first column (x 8) has its lowest dot at row value 0x10: X = (40 + 16) * 0.375
    // = 21, Y = (940 - 16) * 0.75 = 693 + 9; its highest at 0x20: Y = 681 + 9.
    EXPECT_EQ(At(r.image, 21, 702), Yellow);
    EXPECT_EQ(At(r.image, 22, 703), Yellow);
    EXPECT_EQ(At(r.image, 21, 705), Black);
    EXPECT_EQ(At(r.image, 21, 690), Yellow);
    EXPECT_EQ(At(r.image, 21, 688), Black);
}

TEST(HamegText, DotItemsMoveTheColumn) {
    // 30 10 sets the wide flag: every later dot advances 4 more and sits 4 higher.
    DisplayDump dump;
    dump.Origin(0, 1000).Text(0, 1000, 0x27).Item(0x1C, 0x40).Item(0x30, 0x10).Item(0x1C, 0x40).EndRun().End();
    const uRendered r = Render(dump, "", Hameg::SizeLarge);
    // A red text. First dot: X = 0, Y = (500 - 64) + 12 = 448. Second: x = 4 + 4 = 8, X = 8 + 6
    // (shift), Y = (500 - 68) + 12 = 444, in white.
    EXPECT_EQ(At(r.image, 0, 448), Red);
    EXPECT_EQ(At(r.image, 14, 444), White);
    EXPECT_EQ(At(r.image, 16, 446), White); // 3 x 3 dots at the large size
}

TEST(HamegText, DotOnePastTheLastColumnIsNotDrawn) {
    // A red dot at X = (Xt + 2 x) * kx = 512 at the small size: outside, nothing drawn. A white one
    // at X = 511, Y = (500 - 32) / 2 + 6 = 240: drawn, its square cut at the edge.
    DisplayDump dump;
    dump.Origin(0, 1000).Text(2048, 1000, 0x27).Item(0x1C, 0x40).EndRun();
    dump.Text(2044, 1000, 0x22).Item(0x1C, 0x20).EndRun().End();
    const uRendered r = Render(dump, "");
    EXPECT_EQ(At(r.image, 511, 240), White);
    EXPECT_EQ(At(r.image, 511, 241), White);
    EXPECT_EQ(Count(r.image, Red), 0);
}

TEST(HamegStream, UnknownHeaderGivesTheGridAlone) {
    const uRendered grid = Render(Empty(), "CH1");
    DisplayDump dump;
    dump.Bytes({0x05, 0x22, 0, 0, 0, 0, 0x1C, 0x40});
    std::vector<std::uint8_t> data = dump.Stream();
    data[0] = 0x02;
    data[1] = 0xAB;
    std::vector<std::string> messages;
    QImage image = Hameg::RenderDisplayDump(data.size(), data.data(), data.size(), 1, 15, 3, 0, messages);
    ASSERT_EQ(messages.size(), 2u); // the catalogue is missing too
    EXPECT_EQ(messages[1], "Hameg::CreateDisplayDumpImage: Unbekannte Datei: $2 $AB - Offset: $2");
    EXPECT_EQ(image, grid.image);

    data[0] = 0x01;
    data[2] = 0x04;
    data[3] = 0x0F;
    messages.clear();
    image = Hameg::RenderDisplayDump(data.size(), data.data(), data.size(), 1, 15, 3, 0, messages);
    EXPECT_EQ(messages.back(), "Hameg::CreateDisplayDumpImage: Unbekannte Datei: $4 $F - Offset: $4");
    EXPECT_EQ(image, grid.image);

    // Fewer bytes than a header: the missing ones read as 0.
    messages.clear();
    image = Hameg::RenderDisplayDump(1, data.data(), 1, 0, 15, 3, 0, messages);
    EXPECT_EQ(messages.back(), "Hameg::CreateDisplayDumpImage: Unbekannte Datei: $0 $0 - Offset: $4");
}

TEST(HamegStream, ArgumentChecksReturnNoImage) {
    const std::uint8_t data[8] = {1, 0, 4, 0, 3, 1, 0, 0};
    std::vector<std::string> m;
    EXPECT_TRUE(Hameg::RenderDisplayDump(4, nullptr, 8, 0, 15, 3, 0, m).isNull());
    EXPECT_TRUE(Hameg::RenderDisplayDump(0, data, 8, 0, 15, 3, 0, m).isNull());
    EXPECT_TRUE(Hameg::RenderDisplayDump(4, data, 0, 0, 15, 3, 0, m).isNull());
    EXPECT_TRUE(Hameg::RenderDisplayDump(9, data, 8, 0, 15, 3, 0, m).isNull());
    ASSERT_EQ(m.size(), 4u);
    EXPECT_EQ(m[0], "Hameg::CreateDisplayDumpImage: Es sind keine Display Dump-Daten vorhanden - *Data = Null.");
    EXPECT_EQ(m[1], "Hameg::CreateDisplayDumpImage: Der übergebene Blockformatwert ist Null.");
    EXPECT_EQ(m[2], "Hameg::CreateDisplayDumpImage: Die übergebene Datengröße ist Null.");
    EXPECT_EQ(m[3], "Hameg::CreateDisplayDumpImage: Die Datengröße ist kleiner als der Blockformatwert - "
                    "iDataSize = 8 - BlockformatValue = 9");
    EXPECT_FALSE(Hameg::CreateDisplayDumpImage(8, data, 8, 0, 15, 3, 0).isNull());
}

TEST(HamegStream, EndOfPassRecordStopsTheDrawing) {
    DisplayDump dump;
    dump.Origin(0, 1000).End().TraceHeader(0, 1016, DisplayDump::TypeAnalogue, 4).Samples({128, 128}).EndRun();
    EXPECT_EQ(Render(dump, "CH1").image, Render(Empty(), "CH1").image);
}

TEST(HamegStream, EveryTruncationAndCorruptionStaysInBounds) {
    // Every prefix of a stream of every record kind, and every single-byte change of it: the
    // renderer reads only inside the data (the sanitizers watch) and always returns an image.
    DisplayDump dump;
    dump.Origin(0x10, 0x3E8).Text(40, 560, 0x61).Glyphs("C1").Item(0x00, 0x00).Bytes({1, 2, 3, 4, 5, 6});
    dump.TraceHeader(0, 1016, DisplayDump::TypeAnalogue, 4, 0x27, 0x30).Samples({1, 255}).Item(0x98, 3).EndRun();
    dump.TraceHeader(0, 624, DisplayDump::TypePod, 200).Samples({0, 1}).Item(0x05, 0xA4).EndRun();
    dump.XyHeader(0xFFFF, 0).XyPoint(255, 0).Item(0x10, 1).EndRun().EndOfPart();
    dump.Text(0xFFFF, 0xFFFF, 0x63).Item(0xA5, 0xFF).Item(0x9C, 0).EndRun().End();
    const std::vector<std::uint8_t> stream = dump.Stream();
    for (std::size_t n = 1; n <= stream.size(); ++n) {
        // Exactly n bytes on the heap, so that a read past them is caught.
        std::vector<std::uint8_t> part(stream.begin(), stream.begin() + static_cast<std::ptrdiff_t>(n));
        std::vector<std::string> m;
        EXPECT_FALSE(Hameg::RenderDisplayDump(n, part.data(), n, 1, 16, 3, 0, m).isNull());
    }
    for (std::size_t i = 4; i < stream.size(); ++i) {
        for (std::uint8_t b : {0x00, 0x03, 0x05, 0x10, 0x98, 0xC0, 0xFF}) {
            std::vector<std::uint8_t> changed = stream;
            changed[i] = b;
            std::vector<std::string> m;
            EXPECT_FALSE(Hameg::RenderDisplayDump(changed.size(), changed.data(), changed.size(), 0, 15, 3, 0, m)
                             .isNull());
        }
    }
}

} // namespace
