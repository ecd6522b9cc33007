// The screenshot window's pictures: answers decoded (PNG with and without a block header, short
// blocks, BMPs around the 54-byte header, top-down BMPs decoded twice, display dumps), margins,
// the colour matrices, automatic names that never overwrite, PNG files byte for byte, and the
// worker's results arriving in posting order.
#include "common/FileSizeLimit.h"
#include "common/ImagePluginGdiPlus.h"
#include "common/TestApplication.h"
#include "platform/EventHub.h"
#include "platform/WindowRegistry.h"
#include "sim/ScreenCopyAnswers.h"
#include "windows/capture/ScreenshotImages.h"
#include "windows/capture/ScreenshotWorker.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;
namespace Images = ScreenshotImages;

class ScreenshotImagesTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        TestApplication::EnsureCore();
        ImagePluginGdiPlus::Startup();
    }
};

bool SamePixels(const QImage& a, const QImage& b) {
    return a.size() == b.size() &&
           a.convertToFormat(QImage::Format_RGB32) == b.convertToFormat(QImage::Format_RGB32);
}

QImage DecodeBytes(const Bytes& answer) {
    QImage image;
    Images::DecodeScreenshot(answer.data(), answer.size(), image);
    return image;
}

TEST_F(ScreenshotImagesTest, PngWithAndWithoutHeaderAndAShortBlock) {
    const QImage screen = Sim::ScreenPicture(64, 40);
    const Bytes png = Sim::PngFile(screen);
    EXPECT_TRUE(SamePixels(DecodeBytes(png), screen));
    EXPECT_TRUE(SamePixels(DecodeBytes(Sim::RigolBlock(png)), screen));
    std::string sHeader = "#9" + std::string(9 - std::to_string(png.size()).size(), '0') + std::to_string(png.size());
    Bytes exact(sHeader.begin(), sHeader.end());
    exact.insert(exact.end(), png.begin(), png.end());
    EXPECT_TRUE(SamePixels(DecodeBytes(exact), screen));
    // The count announces one byte more than follows.
    sHeader = "#9" + std::string(9 - std::to_string(png.size() + 1).size(), '0') + std::to_string(png.size() + 1);
    Bytes shortBlock(sHeader.begin(), sHeader.end());
    shortBlock.insert(shortBlock.end(), png.begin(), png.end());
    EXPECT_TRUE(DecodeBytes(shortBlock).isNull());
    EXPECT_TRUE(DecodeBytes({}).isNull());
    EXPECT_TRUE(DecodeBytes({'n', 'o', ' ', 'i', 'm', 'a', 'g', 'e'}).isNull());
}

TEST_F(ScreenshotImagesTest, BmpsAroundTheHeaderSizeAndTopDownDecodedTwice) {
    // 54 bytes: a header with no pixels; not examined, not a picture, no fault.
    Bytes header = Sim::BmpFile(Sim::ScreenPicture(1, 1), true);
    header.resize(54);
    EXPECT_TRUE(DecodeBytes(header).isNull());
    // One pixel stored top down: 58 bytes, read upright.
    QImage one(1, 1, QImage::Format_RGB888);
    one.setPixel(0, 0, qRgb(1, 2, 3));
    const Bytes tiny = Sim::BmpFile(one, true);
    ASSERT_GE(tiny.size(), 55u);
    EXPECT_TRUE(SamePixels(DecodeBytes(tiny), one));

    const QImage screen = Sim::ScreenPicture(40, 24);
    auto pAnswer = std::make_shared<const Bytes>(Sim::BmpFile(screen, true));
    const Bytes copy = *pAnswer;
    ScreenshotWorker::uState state;
    uScreenshotJob job;
    job.pAnswer = pAnswer;
    uScreenshotResult first = ScreenshotWorker::Run(state, job);
    ASSERT_TRUE(first.fImage);
    EXPECT_TRUE(SamePixels(first.image, screen));
    job.eWhat = uScreenshotJob::StepDecodeAgain; // "&Scale" converts the same answer again
    job.pAnswer.reset();
    uScreenshotResult second = ScreenshotWorker::Run(state, job);
    ASSERT_TRUE(second.fImage);
    EXPECT_TRUE(SamePixels(second.image, screen));
    EXPECT_EQ(*state.pAnswer, copy); // the answer keeps its header as received
}

TEST_F(ScreenshotImagesTest, DisplayDumpSizesAndTheSizeCode) {
    EXPECT_EQ(Images::SizeCode(true, false, true), 3);
    EXPECT_EQ(Images::SizeCode(true, true, false), 2);
    EXPECT_EQ(Images::SizeCode(true, false, false), 1);
    EXPECT_EQ(Images::SizeCode(false, false, false), 0);
    Sim::DisplayDump dump;
    dump.Origin(0, 0).End();
    const Bytes answer = dump.Answer("CH1");
    for (const auto& [iCode, iEdge] : std::vector<std::pair<int, int>>{{1, 1024}, {2, 768}, {3, 512}}) {
        QImage image;
        ASSERT_TRUE(Images::Decode(answer.data(), answer.size(), {true, 15, iCode, true}, image)) << iCode;
        EXPECT_EQ(image.width(), iEdge);
        EXPECT_EQ(image.height(), iEdge);
        EXPECT_EQ(image.pixel(iEdge / 2, 1), qRgb(255, 255, 255)); // black and white: white ground
    }
    QImage image;
    const Bytes cut(answer.begin(), answer.begin() + 8); // the block is not complete
    EXPECT_FALSE(Images::Decode(cut.data(), cut.size(), {true, 15, 1, false}, image));
}

TEST_F(ScreenshotImagesTest, MarginsCutOffAndTheirText) {
    const QImage raw = Sim::ScreenPicture(800, 480);
    Images::uProcessOptions options;
    options.fProcessing = options.fCutOffOffered = options.fCutOff = true;
    options.sMargins = "0,24,0,0";
    QImage processed;
    EXPECT_TRUE(Images::Process(raw, options, nullptr, processed));
    ASSERT_EQ(processed.size(), QSize(800, 456));
    EXPECT_TRUE(SamePixels(processed, raw.copy(0, 24, 800, 456)));
    // The same picture again: no cut-off, a size change against the one shown before.
    options.fProcessing = false;
    QImage plain;
    EXPECT_TRUE(Images::Process(raw, options, &processed, plain));
    EXPECT_TRUE(SamePixels(plain, raw));
    EXPECT_FALSE(Images::Process(raw, options, &plain, plain));
    // Margins that leave nothing keep the picture whole.
    options.fProcessing = true;
    options.sMargins = "400,0,400,0";
    EXPECT_TRUE(Images::Process(raw, options, nullptr, processed));
    EXPECT_EQ(processed.size(), raw.size());

    struct uCase {
        std::string sText;
        int l, t, r, b;
    };
    for (const uCase& c : std::vector<uCase>{{"", 0, 0, 0, 0},
                                             {"5", 5, 0, 0, 0},
                                             {"-3,2,,7", 0, 2, 0, 7},
                                             {"a,b,c,d", 0, 0, 0, 0},
                                             {" 1, 2,3,4,5", 1, 2, 3, 4},
                                             {"99999999999999999999,1", 1000000, 1, 0, 0}}) {
        int l = -1, t = -1, r = -1, b = -1;
        Images::ParseMargins(c.sText, l, t, r, b);
        EXPECT_EQ((std::vector<int>{l, t, r, b}), (std::vector<int>{c.l, c.t, c.r, c.b})) << c.sText;
    }
}

QRgb Filtered(void (*filter)(QImage&), QRgb pixel) {
    QImage image(1, 1, QImage::Format_ARGB32);
    image.setPixel(0, 0, pixel);
    filter(image);
    return image.pixel(0, 0);
}

TEST_F(ScreenshotImagesTest, ColourMatricesGiveTheTableValues) {
    EXPECT_EQ(Filtered(Images::Invert, qRgba(10, 20, 30, 255)), qRgba(245, 235, 225, 255));
    EXPECT_EQ(Filtered(Images::BlackWhite, qRgb(100, 100, 100)), qRgb(195, 195, 195));
    EXPECT_EQ(Filtered(Images::BlackWhite, qRgb(60, 50, 50)), qRgb(0, 0, 0));
    EXPECT_EQ(Filtered(Images::BlackWhite, qRgb(120, 110, 110)), qRgb(255, 255, 255));
    EXPECT_EQ(Filtered(Images::Grayscale, qRgb(255, 0, 0)), qRgb(76, 76, 76));
    // Inverted, then grey scale: the grey of the negative; "Image processing" off: nothing.
    QImage raw(1, 1, QImage::Format_RGB32);
    raw.setPixel(0, 0, qRgb(255, 0, 0));
    Images::uProcessOptions options;
    options.fColorsOffered = options.fInvert = options.fGrayscale = true;
    QImage processed;
    Images::Process(raw, options, nullptr, processed);
    EXPECT_EQ(processed.pixel(0, 0), raw.pixel(0, 0));
    options.fProcessing = true;
    Images::Process(raw, options, nullptr, processed);
    EXPECT_EQ(processed.pixel(0, 0), qRgb(179, 179, 179));
}

TEST_F(ScreenshotImagesTest, AutomaticNamesNeverOverwriteAndManualNamesGetPng) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string sFolder = dir.path().toStdString();
    std::string sLast;
    auto exists = [](const std::string& s) { return QFileInfo::exists(QString::fromStdString(s)); };
    auto touch = [](const std::string& s) {
        QFile file(QString::fromStdString(s));
        return file.open(QIODevice::WriteOnly);
    };
    // Three shots in one second: the tick tells the second apart, the counter the third.
    const std::string s1 = Images::ChooseAutomaticFile(sFolder, "shot", "shot-123", sLast, exists);
    EXPECT_EQ(s1, sFolder + "/shot.png");
    ASSERT_TRUE(touch(s1));
    const std::string s2 = Images::ChooseAutomaticFile(sFolder, "shot", "shot-456", sLast, exists);
    EXPECT_EQ(s2, sFolder + "/shot-456.png");
    ASSERT_TRUE(touch(s2));
    const std::string s3 = Images::ChooseAutomaticFile(sFolder, "shot", "shot-456", sLast, exists);
    EXPECT_EQ(s3, sFolder + "/shot-456-2.png");
    // A name of an earlier run that is on disk already.
    std::string sFresh;
    EXPECT_EQ(Images::ChooseAutomaticFile(sFolder + "/", "shot", "shot-789", sFresh, exists), sFolder + "/shot-789.png");

    for (const auto& [sIn, sOut] : std::vector<std::pair<std::string, std::string>>{
             {"/a/b", "/a/b.png"}, {"/a/b.PnG", "/a/b.PnG"}, {"/a/b.jpg", "/a/b.jpg.png"}, {"/a.d/b", "/a.d/b.png"}})
        EXPECT_EQ(Images::WithPngExtension(sIn), sOut);
}

TEST_F(ScreenshotImagesTest, PngFilesAre24BitAndAnUnwritableFolderFails) {
    QTemporaryDir dir;
    const std::string sFile = dir.filePath("s.png").toStdString();
    QImage screen = Sim::ScreenPicture(30, 20).convertToFormat(QImage::Format_ARGB32);
    std::string sError;
    ASSERT_TRUE(Images::WritePng(screen, sFile, true, sError)) << sError;
    QFile file(QString::fromStdString(sFile));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    ASSERT_GT(bytes.size(), 26);
    EXPECT_EQ(bytes.mid(12, 4), QByteArray("IHDR"));
    EXPECT_EQ(static_cast<int>(bytes[24]), 8); // bit depth
    EXPECT_EQ(static_cast<int>(bytes[25]), 2); // colour type: RGB, no alpha
    EXPECT_TRUE(SamePixels(QImage(QString::fromStdString(sFile)), screen));
    EXPECT_FALSE(Images::WritePng(screen, sFile, true, sError)); // never replaced automatically
    EXPECT_TRUE(Images::WritePng(screen, sFile, false, sError)); // the requester asked
    EXPECT_FALSE(Images::WritePng(screen, dir.filePath("missing/s.png").toStdString(), false, sError));
    EXPECT_EQ(sError, "The file could not be created: " + dir.filePath("missing/s.png").toStdString() +
                          " (No such file or directory)");
}

// A save by hand over a file that fails half-way (a full disk) keeps the file that was there;
// an automatic save that fails leaves nothing behind.
TEST_F(ScreenshotImagesTest, AFailedPngWriteKeepsTheFileItWasToReplace) {
    QTemporaryDir dir;
    const std::string sFile = dir.filePath("s.png").toStdString();
    const QByteArray old("an earlier picture");
    {
        QFile file(QString::fromStdString(sFile));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_EQ(file.write(old), old.size());
    }
    const QImage screen = Sim::ScreenPicture(64, 40);
    const std::string sNew = dir.filePath("new.png").toStdString();
    std::string sError, sNewError;
    bool fReplaced = true, fNew = true;
    {
        FileSizeLimit limit(64); // the PNG is larger
        if (!limit.Active()) GTEST_SKIP() << "the file size limit cannot be set here";
        fReplaced = Images::WritePng(screen, sFile, false, sError);
        fNew = Images::WritePng(screen, sNew, true, sNewError);
    }
    EXPECT_FALSE(fReplaced);
    EXPECT_EQ(sError, "The file could not be created: " + sFile + " (File too large)");
    QFile file(QString::fromStdString(sFile));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), old);
    EXPECT_FALSE(fNew);
    EXPECT_EQ(sNewError, "The file could not be created: " + sNew + " (File too large)");
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(sNew)));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"s.png"});
}

TEST_F(ScreenshotImagesTest, AnAnswerThatIsNoImageLeavesThePreviousPictureUnsavedAndUncounted) {
    QTemporaryDir dir;
    ScreenshotWorker::uState state;
    uScreenshotJob job;
    job.pAnswer = std::make_shared<const Bytes>(Sim::PngFile(Sim::ScreenPicture(16, 16)));
    job.fSave = job.fAutomaticSave = job.fCount = true;
    job.sFolder = dir.path().toStdString();
    job.sName = "a";
    job.sNameZ = "a-1";
    uScreenshotResult good = ScreenshotWorker::Run(state, job);
    EXPECT_TRUE(good.fImage && good.fSaved && !good.fNotConverted);
    job.pAnswer = std::make_shared<const Bytes>(Bytes{'E', 'R', 'R'});
    job.sName = "b";
    uScreenshotResult bad = ScreenshotWorker::Run(state, job);
    EXPECT_TRUE(bad.fNotConverted);
    EXPECT_FALSE(bad.fImage);
    EXPECT_FALSE(bad.fSaveTried);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 1);
    // A new option still processes the picture kept from the good answer.
    job.eWhat = uScreenshotJob::StepProcessAgain;
    job.fSave = false;
    EXPECT_TRUE(ScreenshotWorker::Run(state, job).fImage);
}

TEST_F(ScreenshotImagesTest, TheWorkerPostsResultsInPostingOrder) {
    EventHub::Init();
    const int iWindow = WindowRegistry::NewWindowNumber();
    std::vector<int> widths;
    EventHub::Bind(EventScreenshotProcessed, iWindow, [&](const EventHub::uEvent& event) {
        const auto* pResult = event.pData.Get<uScreenshotResult>();
        widths.push_back(pResult && pResult->fImage ? pResult->image.width() : 0);
    });
    {
        ScreenshotWorker worker(iWindow);
        for (int i = 1; i <= 12; ++i) {
            uScreenshotJob job;
            job.pAnswer = std::make_shared<const Bytes>(Sim::PngFile(Sim::ScreenPicture(i * 16, 8)));
            worker.Post(job);
        }
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (widths.size() < 12 && std::chrono::steady_clock::now() < end) {
            EventHub::Pump();
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }
    ASSERT_EQ(widths.size(), 12u);
    for (int i = 1; i <= 12; ++i) EXPECT_EQ(widths[static_cast<std::size_t>(i - 1)], i * 16);
    EventHub::Unbind(EventScreenshotProcessed, iWindow);
}

} // namespace
