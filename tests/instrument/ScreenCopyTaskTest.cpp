// The screen-copy task on the worker thread: the model's query, the answer turned into the
// image of the result event, and the answer buffer handed back at each exchange.
#include "InstrumentTestSupport.h"

#include "common/ImagePluginGdiPlus.h"
#include "instrument/Instrument.h"
#include "instrument/InstrumentDefault.h"
#include "instrument/ModelCommands.h"
#include "instrument/ModelTable.h"
#include "platform/ProgramEvents.h"
#include "platform/WindowRegistry.h"
#include "sim/ScreenCopyAnswers.h"

#include <QImage>

#include <gtest/gtest.h>

using TestSupport::EventRecorder;

namespace {

class ScreenCopyTaskTest : public ::testing::Test {
  protected:
    void SetUp() override {
        TestSupport::StartEventHub();
        ImagePluginGdiPlus::RegisterDecoder(); // the program registers the codec at start-up
        iWindow = WindowRegistry::NewWindowNumber();
        std::string sError;
        object = Instrument::Create(sError);
        ASSERT_TRUE(object) << sError;
        pTransport = TestSupport::Connect(*object);
    }
    void TearDown() override {
        std::string sError;
        Instrument::ReleaseAll(true, 0, sError);
    }
    void SetModel(std::int64_t eModel) {
        auto pInstance = InstrumentDefault::FindInstance(*object);
        InstrumentDefault::SetModel(*pInstance, eModel);
        Instrument::GetModelCommands(eModel, pInstance->modelCommands);
    }
    // Runs one screen-copy task and returns its image (null when none came).
    QImage Copy(EventRecorder& recorder, std::int64_t iEvent = 0) {
        std::string sError;
        EXPECT_NE(object->pInterface->AddTask(*object, uTaskScreencopy{{InstrumentTaskScreencopy, iEvent, iWindow}, 1, 5, 0},
                                              sError),
                  0)
            << sError;
        // A task of the search chain posts only its failure; end the wait on a marker task.
        EXPECT_NE(object->pInterface->AddTask(*object, uTaskTimeout{{InstrumentTaskTimeout, 0, iWindow}, 1000}, sError), 0);
        EXPECT_TRUE(recorder.WaitForTasks(InstrumentTaskTimeout, 1));
        const auto results = recorder.Tasks(InstrumentTaskScreencopy);
        if (results.empty() || !results.back().pData.Get<QImage>()) return {};
        return *results.back().pData.Get<QImage>();
    }
    // Runs one screen-copy task against the answer; every error event is a test failure.
    QImage CopyOf(const std::vector<std::uint8_t>& answer) {
        pTransport->SetAnswer(std::string(answer.begin(), answer.end()));
        EventRecorder recorder(iWindow);
        const QImage image = Copy(recorder);
        for (const auto& error : recorder.Tasks(InstrumentTaskError)) ADD_FAILURE() << EventRecorder::ErrorText(error);
        return image;
    }
    static QImage Screen() {
        QImage screen(40, 30, QImage::Format_RGB32);
        screen.fill(Qt::black);
        for (int x = 0; x < 40; ++x) screen.setPixel(x, 5, qRgb(255, 255, 0)); // a trace near the top
        return screen;
    }
    int iWindow = 0;
    InstrumentObject object;
    std::shared_ptr<TestSupport::FakeTransport> pTransport;
};

TEST_F(ScreenCopyTaskTest, AModelWithoutAQuerySendsNothing) {
    SetModel(ModelGeneric);
    EventRecorder recorder(iWindow);
    EXPECT_TRUE(Copy(recorder).isNull());
    const auto errors = recorder.Tasks(InstrumentTaskError);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(EventRecorder::ErrorText(errors[0]),
              "InstrumentDefault::TaskScreencopy | There is no SCPI command for reading a screen copy.");
    for (const auto& exchange : pTransport->Exchanges()) EXPECT_NE(exchange.sCommand.rfind(":DISP", 0), 0u);
}

TEST_F(ScreenCopyTaskTest, RigolBlockAnswersBecomeUprightImages) {
    SetModel(ModelRigolDS1000Z);
    std::string sQuery;
    {
        uModelCommands commands;
        Instrument::GetModelCommands(ModelRigolDS1000Z, commands);
        sQuery = commands.sScreenCopy;
    }
    for (auto eFormat : {Sim::eImageFile::Bmp, Sim::eImageFile::Png}) {
        const QImage image = CopyOf(Sim::RigolScreenCopyAnswer(Screen(), eFormat));
        ASSERT_FALSE(image.isNull());
        EXPECT_EQ(image.size(), QSize(40, 30));
        EXPECT_EQ(image.pixel(3, 5) & 0xFFFFFF, 0xFFFF00u);
        EXPECT_EQ(image.pixel(3, 25) & 0xFFFFFF, 0u);
        EXPECT_EQ(pTransport->Exchanges().back().sCommand, sQuery);
    }
    // The answer left the request block with the image (read once the worker has ended: it tidies
    // the block after posting its result).
    std::string sError;
    ASSERT_TRUE(InstrumentDefault::EndThread(*object, 2000, sError)) << sError;
    EXPECT_EQ(InstrumentDefault::FindInstance(*object)->request.requestData.capacity(), 0u);
}

TEST_F(ScreenCopyTaskTest, SiglentOscilloscopesAreAskedWithTheQueryAndTheirBareImagesDecode) {
    for (const std::int64_t eModel : {ModelSiglentSDS2000XPlusCh2, ModelSiglentSDS5000XCh4}) {
        SetModel(eModel);
        for (auto eFormat : {Sim::eImageFile::Bmp, Sim::eImageFile::Png}) {
            const QImage image = CopyOf(Sim::SiglentScreenCopyAnswer(Screen(), eFormat));
            ASSERT_FALSE(image.isNull());
            EXPECT_EQ(image.convertToFormat(QImage::Format_RGB32), Screen());
            EXPECT_EQ(pTransport->Exchanges().back().sCommand, ":PRINt? BMP");
        }
    }
}

TEST_F(ScreenCopyTaskTest, AShortBlockIsInvalidAndTheSearchChainGetsOnlyTheError) {
    SetModel(ModelRigolDS1000Z);
    pTransport->SetAnswer("#9000001000BM");
    EventRecorder recorder(iWindow);
    EXPECT_TRUE(Copy(recorder, EventSearchFinished).isNull());
    const auto errors = recorder.Tasks(InstrumentTaskError);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(EventRecorder::ErrorText(errors[0]),
              "InstrumentDefault::TaskScreencopy | The data for the screenshot are invalid.");
    EXPECT_TRUE(recorder.Tasks(InstrumentTaskScreencopy).empty());
}

} // namespace
