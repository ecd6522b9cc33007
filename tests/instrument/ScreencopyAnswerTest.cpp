#include "instrument/ScreencopyAnswer.h"

#include "common/ImagePluginGdiPlus.h"
#include "instrument/Hameg.h"
#include "instrument/ModelCommands.h"
#include "instrument/ModelTable.h"

#include "sim/ScpiDevice.h"
#include "sim/ScreenCopyAnswers.h"

#include <gtest/gtest.h>

#include <chrono>
#include <climits>

namespace {

using ScreencopyAnswer::ScreencopyToImage;

const char* const TextNotAvailable = "The data of the retrieved screenshot is not available.";
const char* const TextInvalid = "The data for the screenshot are invalid.";
const char* const TextNotConverted = "The data for the screenshot could not be converted to an 'image'.";

class ScreencopyAnswerTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_EQ(ImagePluginGdiPlus::RegisterDecoder(), 1); }

    // The answer decoded; on failure an empty image and the message in sError.
    static QImage Decode(const std::vector<std::uint8_t>& answer, std::string& sError) {
        QImage image;
        if (!ScreencopyToImage(answer.data(), answer.size(), image, sError)) return {};
        EXPECT_TRUE(sError.empty());
        return image.convertToFormat(QImage::Format_RGB888);
    }

    static std::vector<std::uint8_t> Concat(std::vector<std::uint8_t> a, const std::vector<std::uint8_t>& b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    }

    const QImage screen = Sim::ScreenPicture(40, 24);
    std::string sError;
};

TEST_F(ScreencopyAnswerTest, PngWithAndWithoutBlockHeaderTrailingBytesIgnored) {
    const std::vector<std::uint8_t> png = Sim::PngFile(screen);
    EXPECT_EQ(Decode(png, sError), screen);
    EXPECT_EQ(Decode(Sim::RigolScreenCopyAnswer(screen, Sim::eImageFile::Png), sError), screen);
    // Bytes after the block (LF, junk, even a second header) are passed on and ignored.
    EXPECT_EQ(Decode(Concat(Sim::RigolBlock(png), {'#', '9', 0xFF, 0x00, 0x89}), sError), screen);
    EXPECT_EQ(Decode(Concat(png, {'\n', 0xAA, 0xBB}), sError), screen);
    // The shortest header form.
    std::vector<std::uint8_t> answer = {'#', static_cast<std::uint8_t>('0' + std::to_string(png.size()).size())};
    for (char c : std::to_string(png.size())) answer.push_back(static_cast<std::uint8_t>(c));
    EXPECT_EQ(Decode(Concat(answer, png), sError), screen);
}

TEST_F(ScreencopyAnswerTest, BottomUpAndTopDownBmpComeOutUpright) {
    EXPECT_EQ(Decode(Sim::RigolScreenCopyAnswer(screen, Sim::eImageFile::Bmp), sError), screen);
    EXPECT_EQ(Decode(Sim::RigolBlock(Sim::BmpFile(screen, true)), sError), screen);
    EXPECT_EQ(Decode(Sim::BmpFile(screen, true), sError), screen);
    EXPECT_EQ(Decode(Sim::BmpFile(screen, false), sError), screen);
}

TEST_F(ScreencopyAnswerTest, TopDownRepairLeavesTheAnswerAlone) {
    const std::vector<std::uint8_t> answer = Sim::RigolBlock(Sim::BmpFile(screen, true));
    const std::vector<std::uint8_t> copy = answer;
    EXPECT_EQ(Decode(answer, sError), screen);
    EXPECT_EQ(answer, copy);
}

TEST_F(ScreencopyAnswerTest, BmpHeightOfInt32MinIsRejected) {
    EXPECT_TRUE(Decode(Sim::RigolBlock(Sim::BmpFile(screen, true, INT32_MIN)), sError).isNull());
    EXPECT_EQ(sError, TextNotConverted);
}

TEST_F(ScreencopyAnswerTest, ShortOrBrokenAnswersGiveTheirTexts) {
    std::vector<std::uint8_t> answer = Sim::RigolScreenCopyAnswer(screen, Sim::eImageFile::Png);
    answer.resize(answer.size() - 2); // the LF and the file's last byte are missing
    EXPECT_TRUE(Decode(answer, sError).isNull());
    EXPECT_EQ(sError, TextInvalid);

    for (const std::vector<std::uint8_t>& broken : std::vector<std::vector<std::uint8_t>>{
             {'#'}, {'#', '9', '0'}, {'#', 'x', '1', '2'}, {'#', '2', '1', 'x', 0}}) {
        sError.clear();
        EXPECT_TRUE(Decode(broken, sError).isNull());
        EXPECT_EQ(sError, TextInvalid);
    }

    sError.clear();
    QImage image;
    EXPECT_FALSE(ScreencopyToImage(nullptr, 0, image, sError));
    EXPECT_EQ(sError, TextNotAvailable);

    sError.clear();
    EXPECT_TRUE(Decode({'#', '1', '3', 'a', 'b', 'c'}, sError).isNull());
    EXPECT_EQ(sError, TextNotConverted);
    sError.clear();
    EXPECT_TRUE(Decode({'B', 'M', 1, 2, 3}, sError).isNull());
    EXPECT_EQ(sError, TextNotConverted);
}

TEST_F(ScreencopyAnswerTest, QueryPerModel) {
    uModelCommands commands;
    std::string sQuery;
    ASSERT_FALSE(Instrument::GetModelCommands(ModelGeneric, commands));
    EXPECT_FALSE(ScreencopyAnswer::SelectQuery(commands, ModelGeneric, sQuery, sError));
    EXPECT_EQ(sError, "There is no SCPI command for reading a screen copy.");
    EXPECT_TRUE(sQuery.empty());

    sError.clear();
    ASSERT_TRUE(Instrument::GetModelCommands(ModelRigolDS1000Z, commands));
    EXPECT_TRUE(ScreencopyAnswer::SelectQuery(commands, ModelRigolDS1000Z, sQuery, sError));
    EXPECT_EQ(sQuery, ":DISP:DATA? ON,OFF,BMP24");

    ASSERT_TRUE(Instrument::GetModelCommands(ModelHamegHM1508, commands));
    EXPECT_TRUE(ScreencopyAnswer::SelectQuery(commands, ModelHamegHM1508, sQuery, sError));
    EXPECT_EQ(sQuery, ":SERV:MODE WEN;:DISP:DUMP? ALL;:TRAC:SOUR:CAT?");
    commands.sScreenCopy.clear(); // the dump query alone does not do
    EXPECT_FALSE(ScreencopyAnswer::SelectQuery(commands, ModelHamegHM1508, sQuery, sError));
    EXPECT_EQ(sError, "There is no SCPI command for reading a screen copy.");
}

TEST_F(ScreencopyAnswerTest, DisplayDumpAnswersAreRendered) {
    Sim::DisplayDump dump;
    dump.Origin(0, 1000).TraceHeader(0, 1016, Sim::DisplayDump::TypeAnalogue, 4).Samples({128, 128}).EndRun().End();
    const std::vector<std::uint8_t> answer = dump.Answer("CH2,POD1");

    // The task's size option 7 draws small, 3 large; colour, title and black and white as asked.
    QImage image;
    ASSERT_TRUE(ScreencopyAnswer::AnswerToImage(answer.data(), answer.size(), ModelHamegHM2008, 7, 5, 0, image,
                                                sError));
    EXPECT_EQ(image.format(), QImage::Format_RGB888);
    EXPECT_EQ(image.size(), QSize(512, 512));
    EXPECT_EQ(image.pixel(6, 248), 0xFF00FFFFu); // cyan, from the catalogue
    ASSERT_TRUE(ScreencopyAnswer::AnswerToImage(answer.data(), answer.size(), ModelHamegHM2008,
                                                ScreencopyAnswer::SizeLarge, ScreencopyAnswer::ColorBlackWhite,
                                                ScreencopyAnswer::TitleDraw, image, sError));
    EXPECT_EQ(image.size(), QSize(1024, 1024));
    EXPECT_EQ(image.pixel(500, 500), 0xFFFFFFFFu);
    EXPECT_EQ(ScreencopyAnswer::DumpSizeChoice(ScreencopyAnswer::SizeMiddle), Hameg::SizeMiddle);

    // The same renderer call by hand: the answer's first two bytes skipped, then the block.
    std::vector<std::string> messages;
    const std::size_t h = 2 + std::to_string(dump.Stream().size()).size();
    const QImage direct = Hameg::RenderDisplayDump(dump.Stream().size(), answer.data() + 2 + h,
                                                   answer.size() - 2 - h, 1, ModelHamegHM2008, 1, 1, messages);
    EXPECT_EQ(image, direct);
    EXPECT_TRUE(messages.empty());
}

TEST_F(ScreencopyAnswerTest, DisplayDumpWithoutOrWithShortBlockIsInvalid) {
    Sim::DisplayDump dump;
    dump.End();
    std::vector<std::uint8_t> answer = dump.Answer("CH1");
    QImage image;
    for (std::size_t n : {std::size_t{0}, std::size_t{1}, std::size_t{2}, std::size_t{5}, std::size_t{9}}) {
        sError.clear();
        std::vector<std::uint8_t> part(answer.begin(), answer.begin() + static_cast<std::ptrdiff_t>(n));
        EXPECT_FALSE(ScreencopyAnswer::ConvertScreencopyData(part.data(), part.size(), ModelHamegHM1008, 1, 5, 0,
                                                             image, sError));
        EXPECT_EQ(sError, n == 0 ? TextNotAvailable : TextInvalid) << n;
    }
    answer[2] = 'x'; // no header at all
    EXPECT_FALSE(ScreencopyAnswer::ConvertScreencopyData(answer.data(), answer.size(), ModelHamegHM1008, 1, 5, 0,
                                                         image, sError));
    EXPECT_EQ(sError, TextInvalid);
}

// What the simulated device answers to a model's own query, decoded as the task decodes it.
QImage CopyFrom(Sim::ScpiDevice& device, std::int64_t eModel, std::string& sError) {
    uModelCommands commands;
    Instrument::GetModelCommands(eModel, commands);
    std::string sQuery;
    if (!ScreencopyAnswer::SelectQuery(commands, eModel, sQuery, sError)) return {};
    device.Write(sQuery + "\n");
    if (!device.WaitForAnswer(std::chrono::seconds(5))) return {};
    const std::vector<std::uint8_t> answer = device.Read();
    QImage image;
    if (!ScreencopyAnswer::AnswerToImage(answer.data(), answer.size(), eModel, ScreencopyAnswer::SizeSmall, 5, 0,
                                         image, sError)) {
        return {};
    }
    return image;
}

TEST_F(ScreencopyAnswerTest, SimulatedInstrumentsAnswerTheirQueries) {
    Sim::ScpiDevice device;
    Sim::AnswerRigolScreenCopy(device, screen);
    EXPECT_EQ(CopyFrom(device, ModelRigolDS1000Z, sError).convertToFormat(QImage::Format_RGB888), screen);
    EXPECT_EQ(CopyFrom(device, ModelRigolDS2000, sError).convertToFormat(QImage::Format_RGB888), screen);

    Sim::DisplayDump dump;
    dump.Origin(0, 1000).TraceHeader(0, 1016, Sim::DisplayDump::TypeAnalogue, 4).Samples({128, 128}).EndRun().End();
    Sim::AnswerHamegDisplayDump(device, dump, "CH2");
    const QImage image = CopyFrom(device, ModelHamegHM1008, sError);
    const std::vector<std::uint8_t> answer = dump.Answer("CH2");
    QImage expected;
    ASSERT_TRUE(ScreencopyAnswer::ConvertScreencopyData(answer.data(), answer.size(), ModelHamegHM1008,
                                                        ScreencopyAnswer::SizeSmall, 5, 0, expected, sError));
    EXPECT_EQ(image, expected);
    EXPECT_EQ(image.pixel(6, 248), 0xFF00FFFFu); // the catalogue arrived: cyan
    EXPECT_TRUE(sError.empty()) << sError;
}

TEST_F(ScreencopyAnswerTest, OptionsDoNotTouchImageFiles) {
    const std::vector<std::uint8_t> answer = Sim::RigolScreenCopyAnswer(screen, Sim::eImageFile::Png);
    QImage image;
    ASSERT_TRUE(ScreencopyAnswer::AnswerToImage(answer.data(), answer.size(), ModelRigolDS2000,
                                                ScreencopyAnswer::SizeLarge, ScreencopyAnswer::ColorBlackWhite,
                                                ScreencopyAnswer::TitleDraw, image, sError));
    EXPECT_EQ(image.convertToFormat(QImage::Format_RGB888), screen);
}

} // namespace
