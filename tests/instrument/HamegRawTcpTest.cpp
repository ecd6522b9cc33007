// The HAMEG HM2008, HM1508 and HM1008 over raw TCP through AddTask, against the simulated
// instrument whose answers end with LF CR: a connection that knows its model ends its answers
// there, so the display dump (as the screenshot window sends it, and through the screen-copy
// task) comes back whole without waiting out the time-out, and nothing of it is left behind for
// the next query.
#include "InstrumentTestSupport.h"

#include "common/TestApplication.h"
#include "common/WindowLog.h"
#include "instrument/ModelCommands.h"
#include "instrument/ModelTable.h"
#include "platform/EventHub.h"
#include "sim/HamegScope.h"
#include "sim/RawTcpServer.h"
#include "sim/ScreenCopyAnswers.h"

#include <QImage>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

using TestSupport::Add;
using TestSupport::Answer;
using TestSupport::Command;

namespace {

using Clock = std::chrono::steady_clock;

// Far longer than any exchange here takes, even on a loaded machine: an exchange that waits
// for an answer end that never comes is told apart from a prompt one by half of it.
constexpr int LongTimeout = 20000;
constexpr auto Prompt = std::chrono::milliseconds(LongTimeout / 2);

struct uModel {
    Sim::HamegScope::eModel sim;
    std::int64_t eModel;
    const char* sName;
};

class HamegRawTcpTest : public TestSupport::TaskTest, public ::testing::WithParamInterface<uModel> {
  protected:
    void SetUp() override {
        TestApplication::Ensure(); // the log window is a widget
        TaskTest::SetUp();
        WindowLog::Create();
        WindowLog::Clear(0);
        std::string sError;
        ASSERT_TRUE(server.Start(sError)) << sError;
    }
    void TearDown() override {
        TaskTest::TearDown();
        WindowLog::Close(1);
    }
    // Runs the task and waits for its result; the time it took.
    Clock::duration Run(uInstrumentObject& object, const uTask& task, std::int64_t eType, std::size_t iCount) {
        const auto start = Clock::now();
        Add(object, task);
        EXPECT_TRUE(pRecorder->WaitForTasks(eType, iCount, 3 * LongTimeout));
        return Clock::now() - start;
    }
    std::size_t Dropped() {
        // The log lines travel as events: let every one arrive.
        pRecorder->WaitFor([] { return EventHub::Pending() == 0; });
        const std::string sLog = WindowLog::Text();
        std::size_t n = 0;
        for (std::size_t at = sLog.find("were dropped"); at != std::string::npos; at = sLog.find("were dropped", at + 1)) {
            ++n;
        }
        return n;
    }

    Sim::RawTcpServer server;
};

TEST_P(HamegRawTcpTest, DisplayDumpEndsAtLfCrPromptlyAndLeavesNothingBehind) {
    const uModel& model = GetParam();
    Sim::HamegScope scope(model.sim);
    scope.Attach(server.Device());
    Sim::DisplayDump dump;
    std::vector<std::uint8_t> samples;
    for (int i = 0; i < 2000; ++i) samples.push_back(static_cast<std::uint8_t>(i * 7));
    dump.Origin(0, 0).TraceHeader(0, 0, Sim::DisplayDump::TypeAnalogue, 1).Samples(samples).EndRun().End();
    Sim::AnswerHamegDisplayDump(server.Device(), dump, "CH1,CH2");

    auto object = NewObject();
    uTaskPrepare prepare;
    prepare.head = {InstrumentTaskPrepare, 0, iWindow};
    prepare.eProtocol = prepare.eInterface = InterfaceRawTcp;
    prepare.rawTcp = {"127.0.0.1", "127.0.0.1", server.Port()};
    prepare.eModel = model.eModel;
    Add(*object, prepare);
    Add(*object, uTaskConnect{{InstrumentTaskConnect, 0, iWindow}});
    Add(*object, uTaskTimeout{{InstrumentTaskTimeout, 0, iWindow}, LongTimeout});
    ASSERT_TRUE(pRecorder->WaitForTasks(InstrumentTaskTimeout, 1));

    // The screenshot window's road: the model's display-dump query as a command task.
    uModelCommands commands;
    Instrument::GetModelCommands(model.eModel, commands);
    ASSERT_FALSE(commands.sDisplayDump.empty());
    const Clock::duration dumpTime = Run(*object, Command(commands.sDisplayDump, iWindow, true), InstrumentTaskScpiCommand, 1);
    EXPECT_LT(dumpTime, Prompt) << model.sName << ": the dump waited for an answer end that had come";
    // Each unit's answer ends with CR, the units are joined by ';', the message ends with LF CR.
    const std::vector<std::uint8_t> block = dump.Block();
    const std::string sExpected =
        "\r;" + std::string(block.begin(), block.end()) + "\r;" + "CH1,CH2" + "\r" + "\n\r";
    ASSERT_EQ(pRecorder->Tasks(InstrumentTaskScpiCommand).size(), 1u);
    EXPECT_TRUE(Answer(pRecorder->Tasks(InstrumentTaskScpiCommand)[0]) == sExpected) << model.sName;

    // The screen-copy task sends the same query and draws the answer.
    const Clock::duration copyTime =
        Run(*object, uTaskScreencopy{{InstrumentTaskScreencopy, 0, iWindow}, 3, 4, 6}, InstrumentTaskScreencopy, 1);
    EXPECT_LT(copyTime, Prompt) << model.sName;
    const auto copies = pRecorder->Tasks(InstrumentTaskScreencopy);
    ASSERT_EQ(copies.size(), 1u);
    const QImage* pImage = copies[0].pData.Get<QImage>();
    ASSERT_TRUE(pImage) << model.sName;
    EXPECT_FALSE(pImage->isNull());
    EXPECT_EQ(pImage->width(), pImage->height());

    // The next query gets its own answer at once, and nothing was dropped ahead of it.
    const Clock::duration idnTime = Run(*object, Command("*IDN?", iWindow, true), InstrumentTaskScpiCommand, 2);
    EXPECT_LT(idnTime, Prompt) << model.sName;
    EXPECT_EQ(Answer(pRecorder->Tasks(InstrumentTaskScpiCommand)[1]), server.Device().Idn() + "\n\r");
    EXPECT_EQ(Dropped(), 0u) << WindowLog::Text();
    for (const std::string& sError : Errors()) ADD_FAILURE() << model.sName << ": " << sError;
    EXPECT_EQ(server.Device().Commands(),
              (std::vector<std::string>{":SERV:MODE WEN", ":DISP:DUMP? ALL", ":TRAC:SOUR:CAT?", ":SERV:MODE WEN",
                                        ":DISP:DUMP? ALL", ":TRAC:SOUR:CAT?", "*IDN?"}));

    // A message of two queries awaits one answer, as every message to the model does: the first
    // of two messages, at once.
    server.Device().SetSeparateAnswers(-1);
    EXPECT_LT(Run(*object, Command("*IDN?;*OPC?", iWindow, true), InstrumentTaskScpiCommand, 3), Prompt);
    EXPECT_EQ(Answer(pRecorder->Tasks(InstrumentTaskScpiCommand)[2]), server.Device().Idn() + "\n\r");
}

INSTANTIATE_TEST_SUITE_P(Models, HamegRawTcpTest,
                         ::testing::Values(uModel{Sim::HamegScope::eModel::HM2008, ModelHamegHM2008, "HM2008"},
                                           uModel{Sim::HamegScope::eModel::HM1508, ModelHamegHM1508, "HM1508"},
                                           uModel{Sim::HamegScope::eModel::HM1008, ModelHamegHM1008, "HM1008"}),
                         [](const ::testing::TestParamInfo<uModel>& info) { return std::string(info.param.sName); });

} // namespace
