// The screenshot pump against a scripted instrument and timers fired by hand: direct and pump
// mode, the trigger-status poll, waits that start after the previous result, the display dump,
// the interval, the quiet automatic reading, cancels and late results, and the mended faults
// (no cancel when nothing of the window runs; no picture from a result without an answer).
#include "PumpTestSupport.h"

#include "common/EventData.h"
#include "common/NumberText.h"
#include "instrument/ModelCommands.h"
#include "instrument/TaskRecords.h"
#include "platform/ProgramEvents.h"
#include "transport/TransferStatus.h"
#include "windows/capture/ScreenshotPump.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

using ScreenshotPump::TimerInterval;
using ScreenshotPump::TimerPump;

namespace {

class ShotWindow : public ScreenshotPumpWindow {
  public:
    void SetStatus(const std::string& sText) override { mStatus.push_back(sText); }
    void AddLine(const std::string& sText) override { mLog.push_back(sText); }
    void AddError(const std::string& sText) override { mLog.push_back("Error: " + sText); }
    void DisableGadgets(bool fDisable) override { mGadgets.push_back(fDisable); }
    void MessageRequester(const std::string& sText) override { mRequesters.push_back(sText); }
    void PostOptionsEvent() override { ++iOptionEvents; }
    void PostViewerSync() override { ++iSyncs; }
    void ScreenArrived(uScreenshotPump& pump, bool fSave, bool fLog) override {
        mArrived.emplace_back(pump.answer.view());
        mSaves.push_back(fSave ? (fLog ? 2 : 1) : 0);
    }
    void Reprocess() override { ++iReprocess; }
    void AutomaticStopped(const std::string& sText) override { mStatus.push_back(sText); }

    std::vector<std::string> mStatus, mLog, mRequesters, mArrived;
    std::vector<int> mSaves;
    std::vector<bool> mGadgets;
    int iOptionEvents = 0, iSyncs = 0, iReprocess = 0;
};

struct ShotRig {
    explicit ShotRig(std::int64_t eModel = 6, const std::string& sModel = "DS1104Z") {
        pObject = std::make_shared<uInstrumentObject>();
        pObject->pInterface = &instrument;
        pump.iWindow = 9;
        pump.pWindow = &window;
        pump.pTimers = &timers;
        uScreenshotPumpInstrument info{pObject, true, true, eModel, "RIGOL TECHNOLOGIES", sModel, {}};
        Instrument::GetModelCommands(eModel, info.commands);
        ScreenshotPump::SetInstrument(pump, info);
        ScreenshotPump::SetScreenshotCommand(pump);
    }
    ~ShotRig() { Utility::EventDataClear(); }

    bool Fire(int iTimer) {
        if (!timers.Armed(iTimer)) return false;
        ScreenshotPump::EventTimer(pump, iTimer);
        return true;
    }
    void Result(std::int64_t iTask, const std::string& sAnswer, bool fRequestData = true) {
        auto pResult = std::make_unique<uTaskResultScpiCommand>();
        pResult->iTaskNumber = iTask;
        pResult->fSendFinished = 1;
        pResult->fRequestData = fRequestData ? 1 : 0;
        if (fRequestData && !sAnswer.empty()) pResult->requestData = DataBuffer::FromText(sAnswer);
        pResult->iRequestTransferred = fRequestData ? static_cast<std::int64_t>(sAnswer.size()) : 0;
        pResult->fRequestFinished = 1;
        ScreenshotPump::EventDataReceived(pump, {EventTaskFinished, pump.iWindow, 0, InstrumentTaskScpiCommand,
                                                 EventHub::Payload::Of(std::move(pResult))});
    }
    void ResultWithoutRecord() {
        ScreenshotPump::EventDataReceived(pump, {EventTaskFinished, pump.iWindow, 0, InstrumentTaskScpiCommand, {}});
    }
    void TaskError(const std::string& sText, const Failure::uFailure& failure = {}) {
        ScreenshotPump::EventDataReceived(pump, PumpTest::TaskErrorEvent(pump.iWindow, sText, failure));
    }
    void TransferError(int eType, const std::string& sText, const Failure::uFailure& failure = {}) {
        ScreenshotPump::EventDataSent(pump, PumpTest::TransferErrorEvent(pump.iWindow, eType, sText, failure));
    }
    void Transfer(int eType, std::int64_t iData) {
        ScreenshotPump::EventDataSent(
            pump, {EventTransferStatus, pump.iWindow, 0, eType, EventHub::Payload::Of<std::int64_t>(iData)});
    }
    std::int64_t LastTask() const { return instrument.mTasks.empty() ? 0 : instrument.mTasks.back().iTask; }
    const uTaskScpiCommand* LastScpi() const {
        return instrument.mTasks.empty() ? nullptr : std::get_if<uTaskScpiCommand>(&instrument.mTasks.back().task);
    }
    bool LogHas(const std::string& sPart) const {
        for (const std::string& s : window.mLog)
            if (s.find(sPart) != std::string::npos) return true;
        return false;
    }
    bool StatusHas(const std::string& sPart) const {
        for (const std::string& s : window.mStatus)
            if (s.find(sPart) != std::string::npos) return true;
        return false;
    }

    ShotWindow window;
    PumpTest::HandTimers timers;
    PumpTest::ScriptedInstrument instrument;
    InstrumentObject pObject;
    uScreenshotPump pump;
};

// Before-rows Stop, the short wait, the trigger poll; after-row Run.
void CheckControlRows(uScreenshotPump& pump, bool fBefore = true, bool fAfter = true) {
    uWaveformOptionState& c = pump.control;
    c.fBefore = fBefore ? 1 : 0;
    c.fStop = 1;
    c.sStop = ":STOP";
    c.fWaitShort = 1;
    c.iWaitShort = 100;
    c.fTrigger = 1;
    c.sTriggerStatus = ":TRIG:STAT?";
    c.sTriggerStatusStop = "STOP";
    c.fAfter = fAfter ? 1 : 0;
    c.fRun = 1;
    c.sRun = ":RUN";
}

// A window that a workspace opened without an instrument tells no command (the line used to end
// after "Command: ").
TEST(ScreenshotPump, OnlyAConnectedInstrumentsCommandIsLogged) {
    ShotRig rig;
    const std::size_t iLines = rig.window.mLog.size();
    ScreenshotPump::SetInstrument(rig.pump, uScreenshotPumpInstrument{});
    ScreenshotPump::SetScreenshotCommand(rig.pump);
    EXPECT_EQ(rig.window.mLog.size(), iLines);
    EXPECT_EQ(rig.pump.sScreenshotCommand, "");
}

TEST(ScreenshotPump, DirectModeIsOneQueryWithoutPumpAndASingleShotEndsWithoutACancel) {
    ShotRig rig;
    EXPECT_TRUE(rig.LogHas("DS1104Z - Screenshot SCPI Command: :DISP:DATA? ON,OFF,BMP24"));
    ScreenshotPump::StartReading(rig.pump, {});
    ASSERT_EQ(rig.instrument.mTasks.size(), 1u);
    const uTaskScpiCommand* pTask = rig.LastScpi();
    ASSERT_NE(pTask, nullptr);
    EXPECT_EQ(pTask->fSend, 1);
    EXPECT_EQ(pTask->fRequestData, 1);
    EXPECT_EQ(pTask->sCommand, ":DISP:DATA? ON,OFF,BMP24");
    EXPECT_FALSE(rig.timers.Armed(TimerPump));
    EXPECT_TRUE(rig.LogHas("DS1104Z - SCPI command sent: :DISP:DATA? ON,OFF,BMP24"));
    rig.Result(rig.LastTask(), "BMDATA");
    ASSERT_EQ(rig.window.mArrived, std::vector<std::string>{"BMDATA"});
    EXPECT_EQ(rig.window.mSaves.back(), 0);
    EXPECT_TRUE(rig.LogHas("Data received, bytes: 6 - ("));
    // The shot is done: gadgets back, and no abort goes to an instance that runs nothing of ours.
    EXPECT_EQ(rig.instrument.Cancels(), 0);
    EXPECT_FALSE(rig.window.mGadgets.back());
    EXPECT_FALSE(rig.timers.Armed(TimerInterval));
}

// Each answer sends the next request from its handler; the step timer ticks for the wait, for
// a poll that is asked again and as a fallback while an answer is awaited.
TEST(ScreenshotPump, PumpModeSendsStopWaitsAfterItsResultThenPollsUntilStopAndRunsAfter) {
    ShotRig rig;
    CheckControlRows(rig.pump);
    ScreenshotPump::StartReading(rig.pump, {});
    EXPECT_TRUE(rig.instrument.mTasks.empty());
    EXPECT_EQ(rig.timers.Period(TimerPump), 0); // the first step at the loop's next turn
    ASSERT_TRUE(rig.Fire(TimerPump));
    ASSERT_EQ(rig.instrument.Commands(), std::vector<std::string>{":STOP"});
    EXPECT_EQ(rig.LastScpi()->fRequestData, 0);
    // The wait has not begun while Stop is out. The instrument is lost and regained meanwhile (a
    // loss that another window's request found, and a request that opened it again): Stop's
    // result still comes, and is awaited.
    ASSERT_TRUE(rig.Fire(TimerPump));
    EXPECT_EQ(rig.timers.Period(TimerPump), 60);
    uScreenshotPumpInstrument same = rig.pump.instrument;
    for (const bool fLost : {true, false}) {
        same.fLost = fLost;
        ScreenshotPump::SetInstrument(rig.pump, same);
    }
    rig.Result(rig.LastTask(), "", false); // Stop arrived: removed, and the wait starts now
    EXPECT_EQ(rig.timers.Period(TimerPump), 100);
    EXPECT_EQ(rig.instrument.mTasks.size(), 1u);
    ASSERT_TRUE(rig.Fire(TimerPump));
    ASSERT_EQ(rig.instrument.Commands().back(), ":TRIG:STAT?");
    EXPECT_FALSE(rig.LogHas("SCPI command sent: :TRIG:STAT?"));
    rig.Result(rig.LastTask(), "WAIT\n"); // not stopped yet: asked again at the next tick
    EXPECT_EQ(rig.instrument.mTasks.size(), 2u);
    EXPECT_EQ(rig.timers.Period(TimerPump), 60);
    ASSERT_TRUE(rig.Fire(TimerPump));
    EXPECT_EQ(rig.instrument.Commands().back(), ":TRIG:STAT?"); // asked again
    EXPECT_EQ(rig.instrument.mTasks.size(), 3u);
    rig.Result(rig.LastTask(), "stop\r\n"); // matched: the screenshot query goes out at once
    EXPECT_EQ(rig.instrument.Commands().back(), ":DISP:DATA? ON,OFF,BMP24");
    rig.Result(rig.LastTask(), "PICTURE");
    EXPECT_EQ(rig.window.mArrived.size(), 1u);
    EXPECT_EQ(rig.instrument.Commands().back(), ":RUN");
    EXPECT_TRUE(rig.window.mGadgets.back()); // still reading
    rig.Result(rig.LastTask(), "", false); // the list ran empty: a single shot ends
    EXPECT_FALSE(rig.timers.Armed(TimerPump));
    EXPECT_FALSE(rig.window.mGadgets.back());
    EXPECT_EQ(rig.instrument.Cancels(), 0);
}

TEST(ScreenshotPump, RowsOfAnUncheckedGroupAddNothing) {
    ShotRig rig;
    CheckControlRows(rig.pump, false, false);
    EXPECT_FALSE(ScreenshotPump::CreateSendRequestList(rig.pump));
    ASSERT_EQ(rig.pump.mRequestList.size(), 1u);
    EXPECT_EQ(rig.pump.mRequestList.front().eKind, RequestScreenshot);
}

TEST(ScreenshotPump, HamegDumpWithASizeIsPumpModeWithTheDumpQuery) {
    ShotRig rig(15, "HM2008");
    rig.pump.dump.fDisplayDump = true;
    rig.pump.dump.f768 = true;
    EXPECT_TRUE(ScreenshotPump::CreateSendRequestList(rig.pump));
    ASSERT_EQ(rig.pump.mRequestList.size(), 1u);
    EXPECT_EQ(rig.pump.mRequestList.front().eKind, RequestDisplayDump);
    EXPECT_EQ(rig.pump.mRequestList.front().sCommand, ":SERV:MODE WEN;:DISP:DUMP? ALL;:TRAC:SOUR:CAT?");
    // Without a size row the image query goes out directly.
    rig.pump.dump.f768 = false;
    EXPECT_FALSE(ScreenshotPump::CreateSendRequestList(rig.pump));
    EXPECT_EQ(rig.pump.mRequestList.front().sCommand, ":HCOPy:DATA?");
}

TEST(ScreenshotPump, TriggerAnswersThatMatchStop) {
    ShotRig rig;
    struct uCase {
        std::string sAnswer;
        bool fMatch;
    };
    const std::vector<uCase> cases = {{"stop\r\n", true}, {" STOP", true},      {"#14STOP", true},
                                      {"#15STOP", false}, {"WAIT\n", false},   {"", false},
                                      {"STOPPED", false}, {"#14STO", false}};
    for (const uCase& c : cases) {
        rig.pump.answer = DataBuffer::FromText(c.sAnswer);
        EXPECT_EQ(ScreenshotPump::CheckInstrumentResponse(rig.pump, "STOP"), c.fMatch) << c.sAnswer;
    }
}

TEST(ScreenshotPump, IntervalsAndTheirRequesters) {
    ShotRig rig;
    struct uCase {
        std::string sText;
        int iUnit;
        std::int64_t iExpected; // 0: refused
    };
    for (const uCase& c : std::vector<uCase>{{"0.5", 0, 1}, {"0", 0, 0}, {"2", 2, 120000}, {"1.5", 1, 1500}}) {
        rig.window.mRequesters.clear();
        ScreenshotPump::StartReading(rig.pump, {true, c.sText, c.iUnit});
        if (c.iExpected == 0) {
            EXPECT_EQ(rig.window.mRequesters, std::vector<std::string>{"The interval setting is invalid."});
            continue;
        }
        EXPECT_EQ(rig.pump.iInterval, c.iExpected) << c.sText;
        ScreenshotPump::Cancel(rig.pump);
    }
    rig.pump.fSaveAutomatically = true;
    rig.window.mRequesters.clear();
    const std::size_t iTasks = rig.instrument.mTasks.size();
    ScreenshotPump::StartReading(rig.pump, {});
    EXPECT_EQ(rig.window.mRequesters, std::vector<std::string>{"No folder was selected."});
    EXPECT_EQ(rig.instrument.mTasks.size(), iTasks);
}

TEST(ScreenshotPump, AutomaticReadingIsQuietCountsPicturesAndWaitsTheIntervalAfterEachAnswer) {
    ShotRig rig;
    rig.pump.fSaveAutomatically = true;
    rig.pump.sAutomaticFolder = "/tmp/shots";
    ScreenshotPump::StartReading(rig.pump, {true, "5", 1});
    EXPECT_EQ(rig.window.iSyncs, 1);
    EXPECT_TRUE(rig.LogHas("DS1104Z - The screenshots are read in automatically, every " +
                           Utility::StrDLocalized(5000, -1) + " Milliseconds"));
    EXPECT_TRUE(rig.LogHas("DS1104Z - The screenshots are saved in the folder: /tmp/shots"));
    for (int i = 1; i <= 3; ++i) {
        ASSERT_EQ(static_cast<int>(rig.instrument.mTasks.size()), i);
        rig.Transfer(TransferStatus::TransferSent, 20);
        rig.Transfer(TransferStatus::TransferReceiving, 1000);
        EXPECT_FALSE(rig.timers.Armed(TimerInterval));
        rig.Result(rig.LastTask(), "PIC" + std::to_string(i));
        EXPECT_EQ(rig.window.mSaves.back(), 1); // saved, not logged
        EXPECT_EQ(rig.timers.Period(TimerInterval), 5000);
        ScreenshotPump::ImageCounted(rig.pump, rig.pump.iRun);
        EXPECT_EQ(rig.window.mStatus.back(), "Screenshots: " + std::to_string(i));
        ASSERT_TRUE(rig.Fire(TimerInterval));
    }
    EXPECT_FALSE(rig.LogHas("Data sent, bytes: "));
    EXPECT_FALSE(rig.LogHas("Data received, bytes: "));
    EXPECT_FALSE(rig.StatusHas("Data received, bytes: "));
    EXPECT_FALSE(rig.LogHas("SCPI command sent: "));
    // "Cancel" while the fourth answer is on its way: the stop line counts three, the abort goes
    // out, and the late answer and its reports are dropped.
    ScreenshotPump::Cancel(rig.pump);
    EXPECT_TRUE(rig.LogHas("DS1104Z - The automatic reading of the screenshots was stopped. Count: 3"));
    EXPECT_EQ(rig.instrument.Cancels(), 1);
    const std::size_t iStatus = rig.window.mStatus.size();
    rig.Transfer(TransferStatus::TransferReceiving, 10);
    rig.Result(rig.instrument.mTasks[3].iTask, "LATE");
    EXPECT_EQ(rig.window.mArrived.size(), 3u);
    EXPECT_EQ(rig.window.mStatus.size(), iStatus);
    EXPECT_FALSE(rig.timers.Armed(TimerInterval));
}

// Timers on a clock of their own: each armed timer is due its period after the moment it was
// armed, and the test moves the clock to the earliest one.
class ClockTimers : public WaveformPumpTimers {
  public:
    void Start(int iTimer, int iMilliseconds) override { mDue[iTimer] = iNow + iMilliseconds; }
    void Stop(int iTimer) override { mDue.erase(iTimer); }
    int iNow = 0;
    std::map<int, int> mDue;
};

// Runs automatic reading on the clock: every task is answered as soon as it is handed over
// (the trigger poll with the stop text, the screenshot query with a picture, a command without
// answer with its bare result), and otherwise the timer due first fires. The clock times at which
// the first iShots screenshot queries were handed over.
std::vector<int> ShotTimes(ShotRig& rig, ClockTimers& clock, std::size_t iShots) {
    std::vector<int> times;
    std::size_t iAnswered = 0;
    for (int iStep = 0; iStep < 10000 && times.size() < iShots; ++iStep) {
        const auto& tasks = rig.instrument.mTasks;
        if (iAnswered < tasks.size()) {
            const auto sent = tasks[iAnswered++];
            const auto* pTask = std::get_if<uTaskScpiCommand>(&sent.task);
            if (!pTask) continue;
            if (pTask->sCommand == rig.pump.sScreenshotCommand) times.push_back(clock.iNow);
            const std::string sAnswer = pTask->sCommand == rig.pump.control.sTriggerStatus ? "STOP" : "PIC";
            rig.Result(sent.iTask, pTask->fRequestData ? sAnswer : "", pTask->fRequestData != 0);
            continue;
        }
        if (clock.mDue.empty()) break;
        const auto next = std::min_element(clock.mDue.begin(), clock.mDue.end(),
                                           [](const auto& a, const auto& b) { return a.second < b.second; });
        const int iTimer = next->first;
        clock.iNow = next->second;
        clock.mDue.erase(next);
        ScreenshotPump::EventTimer(rig.pump, iTimer);
    }
    return times;
}

// Automatic reading asks for a screenshot once per interval of the user's, whatever control
// commands go before or after the query: the interval starts when a round is done, so that two
// queries lie at least the interval apart, and at most the round's own waits further.
TEST(ScreenshotPump, AutomaticReadingKeepsTheUsersIntervalWithControlCommandsBeforeAndAfter) {
    struct uCase {
        const char* sWhat;
        bool fBefore, fAfter;
    };
    for (const uCase& c : {uCase{"direct", false, false}, uCase{"before", true, false}, uCase{"after", false, true},
                           uCase{"before and after", true, true}}) {
        SCOPED_TRACE(c.sWhat);
        ShotRig rig;
        ClockTimers clock;
        rig.pump.pTimers = &clock;
        CheckControlRows(rig.pump, c.fBefore, c.fAfter);
        ScreenshotPump::StartReading(rig.pump, {true, "5", 1});
        const std::vector<int> times = ShotTimes(rig, clock, 4);
        ASSERT_EQ(times.size(), 4u) << ::testing::PrintToString(rig.instrument.Commands());
        for (std::size_t i = 1; i < times.size(); ++i) {
            const int iSpacing = times[i] - times[i - 1];
            EXPECT_GE(iSpacing, 5000) << "between query " << i << " and " << i + 1;
            EXPECT_LT(iSpacing, 6000) << "between query " << i << " and " << i + 1;
        }
        ScreenshotPump::Cancel(rig.pump);
    }
}

TEST(ScreenshotPump, ALongIntervalShowsTheTransferLines) {
    ShotRig rig;
    ScreenshotPump::StartReading(rig.pump, {true, "10", 2});
    EXPECT_EQ(rig.pump.iInterval, 600000);
    rig.Transfer(TransferStatus::TransferSent, 20);
    EXPECT_TRUE(rig.LogHas("DS1104Z - Data sent, bytes: 20 - ("));
    rig.Result(rig.LastTask(), "PIC");
    EXPECT_TRUE(rig.LogHas("DS1104Z - Data received, bytes: 3 - ("));
}

TEST(ScreenshotPump, AResultWithoutAnAnswerIsNeitherConvertedNorCounted) {
    ShotRig rig;
    ScreenshotPump::StartReading(rig.pump, {true, "1", 1});
    rig.Result(rig.LastTask(), "", true);
    EXPECT_TRUE(rig.LogHas("Error: DS1104Z - The data is not available, 0 bytes."));
    EXPECT_TRUE(rig.window.mArrived.empty());
    EXPECT_EQ(rig.pump.iCount, 0);
    EXPECT_EQ(rig.timers.Period(TimerInterval), 1000); // the reading goes on
    ASSERT_TRUE(rig.Fire(TimerInterval));
    rig.ResultWithoutRecord();
    EXPECT_TRUE(rig.LogHas("Error: DS1104Z - The data could not be received."));
    EXPECT_TRUE(rig.window.mArrived.empty());
}

// An automatic reading that ends says how, then what it kept, and again when a picture of it is
// counted after the end: a task error, a connect that was refused (said first), a disconnect
// between two shots, "Cancel". A request after it that fails says its own failure in its words.
TEST(ScreenshotPump, AnAutomaticReadingThatEndsSaysHowAndWhatItKept) {
    enum eEnd { TaskError, Refused, Disconnect, Cancel };
    const struct {
        eEnd eHow;
        std::string sEnded; // before the counts
    } rows[] = {
        {TaskError, "The automatic reading stopped: The data could not be sent."},
        {Refused, "The automatic reading stopped: The instrument could not be connected: The instrument has no "
                  "interface that can be connected."},
        {Disconnect, "The automatic reading stopped: The instrument is not connected."},
        {Cancel, "The automatic reading was cancelled."},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.sEnded);
        ShotRig rig;
        ScreenshotPump::StartReading(rig.pump, {true, "1", 1});
        rig.Result(rig.LastTask(), "PIC");
        ScreenshotPump::ImageCounted(rig.pump, rig.pump.iRun); // its picture, as the window counts it
        if (row.eHow == Disconnect) rig.pump.instrument.fConnected = false;
        ASSERT_TRUE(rig.Fire(TimerInterval));
        const std::int64_t iSecond = rig.LastTask();
        if (row.eHow == TaskError) rig.TaskError("Time-out");
        const Failure::uFailure refused{Failure::eKind::NotConnected, 0, "", Failure::eStep::Exchange,
                                        Failure::eKind::Refused};
        if (row.eHow == Refused)
            rig.TransferError(TransferStatus::TransferSendError, "refused", refused), rig.TaskError("refused", refused);
        if (row.eHow == Cancel) ScreenshotPump::Cancel(rig.pump);
        EXPECT_FALSE(rig.pump.fAutomatic);
        EXPECT_FALSE(rig.timers.Armed(TimerInterval));
        EXPECT_EQ(rig.window.mStatus.back(), row.sEnded + " Screenshots: 1");
        EXPECT_TRUE(rig.LogHas("The automatic reading of the screenshots was stopped. Count: 1"));
        EXPECT_EQ(rig.instrument.Cancels(), row.eHow == Disconnect ? 0 : 1);
        EXPECT_EQ(rig.LogHas("Error: InstrumentDefault::TaskScpiCommand: (0) Time-out"), row.eHow == TaskError);
        ScreenshotPump::ImageCounted(rig.pump, rig.pump.iRun); // the second shot's answer came before the end
        EXPECT_EQ(rig.window.mStatus.back(), row.sEnded + " Screenshots: 2");
        if (row.eHow == Disconnect) continue;
        rig.Result(iSecond, "LATE"); // dropped
        ScreenshotPump::StartReading(rig.pump, {});
        rig.TransferError(TransferStatus::TransferReceiveError, "time-out",
                          {Failure::eKind::TimedOut, 0, "", Failure::eStep::Receive, {}, 0, 2000});
        const std::string sOwn = "The data could not be received. The instrument did not answer within 2000 ms.";
        EXPECT_EQ(rig.window.mStatus.back(), sOwn);
        EXPECT_TRUE(rig.LogHas("Error: DS1104Z - " + sOwn));
    }
}

TEST(ScreenshotPump, ARefusedTaskStopsWithTheCommunicationError) {
    ShotRig rig;
    rig.instrument.sFail = "queue full";
    ScreenshotPump::StartReading(rig.pump, {});
    EXPECT_TRUE(rig.LogHas("Error: Communication error: queue full"));
    EXPECT_EQ(rig.window.mStatus.back(), "");
    EXPECT_FALSE(rig.window.mGadgets.back());
}

TEST(ScreenshotPump, TheCancelResultOfAnEarlierStopLeavesANewReadingLocked) {
    ShotRig rig;
    ScreenshotPump::StartReading(rig.pump, {true, "1", 1});
    ScreenshotPump::Cancel(rig.pump);
    ASSERT_EQ(rig.instrument.Cancels(), 1);
    ScreenshotPump::StartReading(rig.pump, {});
    ASSERT_TRUE(rig.window.mGadgets.back());
    ScreenshotPump::EventDataReceived(rig.pump, {EventTaskFinished, rig.pump.iWindow, 0, InstrumentTaskCancel, {}});
    EXPECT_TRUE(rig.window.mGadgets.back());
    rig.Result(rig.LastTask(), "PIC");
    EXPECT_FALSE(rig.window.mGadgets.back());
}

TEST(ScreenshotPump, WithoutAnInstrumentTheOptionAndViewerTimersStillAct) {
    // A swallowed timer 15 would leave the option list's update pending for good.
    ShotRig rig;
    rig.pump.instrument.fConnected = false;
    rig.timers.Start(ScreenshotPump::TimerReprocess, 200);
    rig.timers.Start(ScreenshotPump::TimerOptions, 100);
    ASSERT_TRUE(rig.Fire(ScreenshotPump::TimerReprocess));
    ASSERT_TRUE(rig.Fire(ScreenshotPump::TimerOptions));
    EXPECT_EQ(rig.window.iReprocess, 1);
    EXPECT_EQ(rig.window.iOptionEvents, 1);
    EXPECT_TRUE(rig.timers.mArmed.empty());
}

} // namespace
