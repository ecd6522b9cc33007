// The waveform pump against a scripted instrument and timers fired by hand: the pump steps,
// substitutions, the trigger-state poll, answers matched to their tasks, stops, the end of a
// read with its save, and the interval.
#include "PumpTestSupport.h"

#include "instrument/TaskRecords.h"
#include "transport/TransferStatus.h"
#include "windows/capture/WaveformChecks.h"
#include "windows/capture/WaveformPump.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

using PumpTest::End;
using PumpTest::Request;
using PumpTest::Rig;
using PumpTest::Wait;
using WaveformPump::TimerInterval;
using WaveformPump::TimerPump;

namespace {

class WaveformPumpTest : public ::testing::Test {
  protected:
    void TearDown() override { WaveformPump::SetChecks({}); }
};

// Starts a single read of the given list.
void StartSingle(Rig& rig, std::vector<uWaveformRequest> list) {
    rig.window.mBuild = std::move(list);
    WaveformPump::StartReading(rig.pump, {});
}

TEST_F(WaveformPumpTest, AWaitOfZeroTakesOneTickAndTheEmptyListEndsASingleRead) {
    Rig rig;
    StartSingle(rig, {Wait(0)});
    EXPECT_EQ(rig.timers.Period(TimerPump), 0); // the first step at the loop's next turn
    ASSERT_TRUE(rig.Fire(TimerPump));
    EXPECT_EQ(rig.timers.Period(TimerPump), 60);
    EXPECT_TRUE(rig.pump.mRequestList.empty());
    ASSERT_TRUE(rig.Fire(TimerPump));
    EXPECT_FALSE(rig.timers.Armed(TimerPump));
    EXPECT_EQ(rig.instrument.Cancels(), 0); // nothing of this window was outstanding
    ASSERT_FALSE(rig.window.mGadgets.empty());
    EXPECT_FALSE(rig.window.mGadgets.back());
}

TEST_F(WaveformPumpTest, AWaitArmsThePumpWithItsTime) {
    Rig rig;
    StartSingle(rig, {Wait(100), Request(RequestSetup, "X")});
    rig.Fire(TimerPump);
    EXPECT_EQ(rig.timers.Period(TimerPump), 100);
    EXPECT_TRUE(rig.instrument.mTasks.empty());
}

struct uSubstitution {
    std::int64_t eModel;
    std::int64_t eKind;
    std::string sCommand;
    std::int64_t iStart, iStop, iTotal, eAcquire;
    std::string sLastPartOnly;
    std::string sSent;
    bool fFollowUp;
};

TEST_F(WaveformPumpTest, PlaceholdersArePutInByKind) {
    const uSubstitution rows[] = {
        {6, RequestWaveform, ":WAV:%DATA%?;%DATA%", 0, 0, 0, 0, "", ":WAV:DATA?;DATA", false},
        {6, RequestWaveform, ":WAV:%DATA%?", 0, 0, 0, 3, "", ":WAV:DATA:ENV?", false},
        {3, RequestSetup, "FORM %BIT%;FORM %DATA%", 0, 0, 0, 0, "", "FORM UINT,8;FORM DATA", false},
        {6, RequestWaveformPart, "S %START%;P %STOP%;PRE?", 1, 250000, 1000000, 0, ";PRE?", "S 1;P 250000", true},
        {6, RequestWaveformPart, "S %START%;P %STOP%;PRE?", 750001, 1000000, 1000000, 0, ";PRE?",
         "S 750001;P 1000000;PRE?", false}, // the last part asks its tail
        {18, RequestWaveformPart, "WAV:STAR %START%;WAV:POIN %STOP%", 1000, 3000, 5000, 0, "",
         "WAV:STAR 1000;WAV:POIN 2000", true},
    };
    for (const uSubstitution& row : rows) {
        Rig rig(row.eModel, "Scope");
        rig.pump.sBitFormat = "UINT,8";
        rig.pump.iStartPoint = row.iStart;
        rig.pump.iStopPoint = row.iStop;
        uWaveformRequest request = Request(row.eKind, row.sCommand, true);
        request.sLastPartOnly = row.sLastPartOnly;
        StartSingle(rig, {request});
        rig.pump.pRecord->eAcquireType = row.eAcquire;
        rig.pump.pRecord->iTotalPoints = row.iTotal;
        rig.Fire(TimerPump);
        ASSERT_EQ(rig.instrument.Commands().size(), 1u) << row.sCommand;
        EXPECT_EQ(rig.instrument.Commands()[0], row.sSent) << row.sCommand;
        ASSERT_EQ(rig.pump.mRequestList.size(), row.fFollowUp ? 2u : 1u) << row.sCommand;
        if (row.fFollowUp) {
            const uWaveformRequest& next = rig.pump.mRequestList.back();
            EXPECT_EQ(next.sCommand, row.sCommand); // the template with its placeholders
            EXPECT_EQ(next.fPending, 1);
            EXPECT_EQ(next.fAwaiting, 0);
        }
    }
}

// While a part is on its way the next ones are sent ahead with their windows, and they are not
// sent again when their turn comes: one part while the parts come slowly (more than 4 ms apart),
// the rest of the record when they come at once. A result that comes before its part's turn
// waits for it; a part that fails drops the parts read ahead, whose results are then ignored.
TEST_F(WaveformPumpTest, TheNextPartsAreReadAheadWhileThePartBeforeIsChecked) {
    WaveformChecks::Install();
    // A whole part of 250000 points: "ab" stands for 125000 a and 125000 b.
    const auto wide = [](const std::string& s) { return std::string(125000, s[0]) + std::string(125000, s[1]); };
    const auto block = [&wide](const std::string& s) { return "#9000250000" + wide(s) + "\n"; };
    // Four parts of 250000 points; the points query arms the first window.
    const auto start = [](Rig& rig) {
        uWaveformRequest part = Request(RequestWaveformPart, "S %START%;P %STOP%", true);
        part.eWaveform = WaveformChannel1;
        part.sChannel = "Channel 1";
        StartSingle(rig, {Request(RequestWaveformPoints, "D?", true), part, Request(RequestSetup, ":RUN")});
        rig.Fire(TimerPump);
        rig.Result(rig.LastTask(), "1000000;1.0e+09;1.0e-03\n");
    };
    using Commands = std::vector<std::string>;
    const Commands all{"D?", "S 1;P 250000", "S 250001;P 500000", "S 500001;P 750000", "S 750001;P 1000000"};
    const auto expectWhole = [&wide](const Rig& rig) {
        EXPECT_EQ(rig.instrument.Commands().back(), ":RUN");
        ASSERT_EQ(rig.pump.pRecord->Channels.size(), 2u);
        EXPECT_TRUE(rig.pump.pRecord->Channels[1].pData.view() == "#9001000000" + wide("ab") + wide("cd") + wide("ef") + wide("gh"));
    };
    const auto slowResult = [](Rig& rig, std::int64_t iTask, const std::string& sAnswer) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        rig.Result(iTask, sAnswer);
    };
    {
        Rig rig;
        start(rig);
        EXPECT_EQ(rig.instrument.Commands(), Commands(all.begin(), all.begin() + 3));
        slowResult(rig, 101, block("ab"));
        EXPECT_EQ(rig.instrument.Commands(), Commands(all.begin(), all.begin() + 4));
        slowResult(rig, 103, block("ef")); // before its turn: kept
        EXPECT_EQ(rig.instrument.Commands().size(), 4u);
        slowResult(rig, 102, block("cd")); // part 2, then part 3 with its kept result
        EXPECT_EQ(rig.instrument.Commands(), all);
        slowResult(rig, 104, block("gh"));
        expectWhole(rig);
    }
    {
        Rig rig;
        start(rig);
        rig.Result(101, block("ab"));
        // Both later parts go ahead at this thread's pace; part 3 alone where the thread was held
        // up for more than 2 ms between the two results (a loaded machine).
        const std::size_t iSent = rig.instrument.Commands().size();
        ASSERT_GE(iSent, 4u);
        EXPECT_EQ(rig.instrument.Commands(), Commands(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(iSent)));
        if (iSent == all.size()) rig.Result(104, block("gh")); // two results before their turn: both kept
        rig.Result(103, block("ef"));
        EXPECT_EQ(rig.instrument.Commands().size(), iSent);
        rig.Result(102, block("cd"));
        if (iSent < all.size()) rig.Result(104, block("gh"));
        expectWhole(rig);
    }
    {
        Rig rig;
        start(rig);
        rig.Result(101, block("ab"));
        // Parts 3 and 4 go ahead at the pace of this thread; part 3 alone where the thread was
        // held up for more than 2 ms between the two results (a loaded machine). Task n sent
        // command n - 100.
        const std::int64_t iSent = static_cast<std::int64_t>(rig.instrument.Commands().size());
        ASSERT_GE(iSent, 4);
        rig.Result(102, "no block\n"); // part 2 fails while the parts after it are read ahead
        EXPECT_EQ(rig.instrument.Commands().back(), ":RUN");
        EXPECT_EQ(static_cast<std::int64_t>(rig.instrument.Commands().size()), iSent + 1);
        const std::size_t iLines = rig.window.mLog.size();
        rig.TransferError(TransferStatus::TransferReceiveError, "cut"), rig.TaskError("cut"); // part 3's: not :RUN's
        EXPECT_EQ(rig.window.mLog.size(), iLines);
        for (std::int64_t iTask = 103; iTask < 100 + iSent; ++iTask) rig.Result(iTask, block("ef")); // late results
        EXPECT_EQ(static_cast<std::int64_t>(rig.instrument.Commands().size()), iSent + 1);
        EXPECT_EQ(rig.pump.pRecord->Channels.size(), 1u); // the channel left the record
        EXPECT_EQ(rig.pump.iCurrentTask, 100 + iSent); // ":RUN"
    }
    {
        // Part 2, sent ahead and cut by the time-out, reports before its turn (a nested event loop
        // in part 1's step): its channel fails at its turn, on one line, and the read goes on.
        Rig rig;
        start(rig);
        const Failure::uFailure cut{Failure::eKind::TimedOut, 20, "", Failure::eStep::Receive, {}, 0, 1500, 1000};
        const auto named = [&rig] { return std::ranges::count_if(rig.window.mLog, [](auto& s) { return s.find("time-out") != s.npos; }); };
        rig.pump.fStepping = true;
        rig.Result(101, block("ab"));
        const std::size_t iSaid = rig.window.mStatus.size(), iLogged = rig.window.mLog.size();
        rig.TransferError(TransferStatus::TransferReceiveError, "cut", cut), rig.TaskError("cut", cut);
        EXPECT_TRUE(rig.window.mStatus.size() == iSaid && rig.window.mLog.size() == iLogged); // nothing under part 1
        rig.pump.fStepping = false;
        WaveformPump::Continue(rig.pump);
        EXPECT_EQ(named(), 0);
        rig.Result(102, std::string(1000, 'c'), true, false);
        EXPECT_TRUE(named() == 1 && rig.LogHas("Channel 1 - The data could not be received. The time-out (1500 ms) cut the answer after 1000 bytes."));
        EXPECT_EQ(rig.instrument.Commands().back(), ":RUN");
    }
}

TEST_F(WaveformPumpTest, ACommandWithAPlaceholderLeftIsDroppedWithAnErrorLine) {
    Rig rig;
    // A part request before any part window: "%START%" would reach the instrument.
    StartSingle(rig, {Request(RequestWaveformPart, ":WAV:STAR %START%", true), Request(RequestSetup, ":RUN")});
    rig.Fire(TimerPump);
    EXPECT_TRUE(rig.LogHas("Error: DS1104Z - The request still holds a placeholder and is not sent: :WAV:STAR %START%"));
    EXPECT_EQ(rig.instrument.Commands(), std::vector<std::string>{":RUN"}); // the next one at once
}

uWaveformRequest Poll() {
    uWaveformRequest poll = Request(RequestOptionWaitTrigger, ":TRIG:STAT?", true);
    poll.sResponse = "STOP";
    return poll;
}

TEST_F(WaveformPumpTest, TheTriggerPollIsDoneWhenTheTrimmedAnswerMatchesIgnoringCase) {
    for (const std::string sAnswer : {"stop\r\n", " STOP", "#14STOP", "\tStop\n"}) {
        Rig rig;
        StartSingle(rig, {Poll(), Request(RequestSetup, ":RUN")});
        rig.Fire(TimerPump);
        rig.Result(rig.LastTask(), sAnswer);
        rig.Fire(TimerPump);
        EXPECT_EQ(rig.pump.mRequestList.size(), 1u) << sAnswer;
        rig.Fire(TimerPump);
        EXPECT_EQ(rig.instrument.Commands(), (std::vector<std::string>{":TRIG:STAT?", ":RUN"})) << sAnswer;
    }
}

TEST_F(WaveformPumpTest, TheTriggerPollAsksOncePerAnswerUntilStoppedAndShowsNoTransfer) {
    Rig rig;
    StartSingle(rig, {Poll(), Request(RequestSetup, ":RUN")});
    rig.Fire(TimerPump);
    for (int i = 0; i < 5; ++i) {
        rig.Transfer(TransferStatus::TransferSent, 12);
        rig.Transfer(TransferStatus::TransferReceived, 5);
        // Ticks without an answer send nothing more.
        rig.Fire(TimerPump);
        rig.Fire(TimerPump);
        EXPECT_EQ(rig.instrument.Commands().size(), static_cast<std::size_t>(i + 1));
        rig.Result(rig.LastTask(), i == 2 ? "#14WAIT" : "WAIT\n");
        rig.Fire(TimerPump);
    }
    EXPECT_EQ(rig.instrument.Commands(), std::vector<std::string>(6, ":TRIG:STAT?"));
    WaveformPump::Cancel(rig.pump);
    EXPECT_EQ(rig.instrument.Cancels(), 1);
    EXPECT_FALSE(rig.LogHas("SCPI command sent"));
    EXPECT_FALSE(rig.LogHas("Data received"));
    EXPECT_FALSE(rig.LogHas("Data sent"));
}

// Runs one request list to its end, answering every query with the given text (the answer's
// handler sends the next request itself).
void RunToEnd(Rig& rig, const std::string& sAnswer, int iMaxSteps = 100) {
    std::size_t iAnswered = rig.instrument.mTasks.size();
    for (int i = 0; i < iMaxSteps && rig.timers.Armed(TimerPump); ++i) {
        rig.Fire(TimerPump);
        while (iAnswered < rig.instrument.mTasks.size()) {
            const auto sent = rig.instrument.mTasks[iAnswered++];
            if (const auto* p = std::get_if<uTaskScpiCommand>(&sent.task))
                rig.Result(sent.iTask, sAnswer, p->fRequestData != 0);
        }
    }
}

// An answer continues the read at once: the requests follow one another without a tick of the
// step timer; only a wait, a poll whose answer does not match yet, and the interval arm one.
TEST_F(WaveformPumpTest, AnAnswerSendsTheNextRequestAtOnceAndOnlyWaitsArmTheTimer) {
    struct uRow {
        const char* sName;
        std::vector<uWaveformRequest> list;
        std::vector<std::string> mAnswers; // one per request sent, in order
        std::vector<std::string> mSent;
        int iPumpTimer; // the step timer's period afterwards, -1: not armed
        bool fEnded;    // the read is over and the gadgets unlocked
    };
    const uRow rows[] = {
        {"set-up commands and a query",
         {Request(RequestSetup, ":STOP"), Request(RequestSetup, ":WAV:MODE RAW"),
          Request(RequestVisibleChannels, ":CHAN1:DISP?", true), Request(RequestSetup, ":RUN"), End()},
         {"", "", "1\n", ""},
         {":STOP", ":WAV:MODE RAW", ":CHAN1:DISP?", ":RUN"},
         -1,
         true},
        {"a trigger poll not stopped yet", {Poll(), Request(RequestSetup, ":RUN")}, {"WAIT"}, {":TRIG:STAT?"}, 60, false},
        {"a trigger poll stopped", {Poll(), Request(RequestSetup, ":RUN")}, {"STOP", ""}, {":TRIG:STAT?", ":RUN"}, -1, true},
        {"a wait", {Request(RequestSetup, ":STOP"), Wait(100), Request(RequestSetup, ":RUN")}, {""}, {":STOP"}, 100, false},
    };
    for (const uRow& row : rows) {
        SCOPED_TRACE(row.sName);
        Rig rig;
        StartSingle(rig, row.list);
        EXPECT_EQ(rig.timers.Period(TimerPump), 0); // the first step at the loop's next turn
        ASSERT_TRUE(rig.Fire(TimerPump));
        for (std::size_t i = 0; i < row.mAnswers.size(); ++i) {
            ASSERT_EQ(rig.instrument.mTasks.size(), i + 1);
            EXPECT_EQ(rig.timers.Period(TimerPump), 60); // the fallback while the answer is awaited
            const auto* pTask = std::get_if<uTaskScpiCommand>(&rig.instrument.mTasks.back().task);
            ASSERT_NE(pTask, nullptr);
            rig.Result(rig.LastTask(), row.mAnswers[i], pTask->fRequestData != 0);
        }
        EXPECT_EQ(rig.instrument.Commands(), row.mSent);
        EXPECT_EQ(rig.timers.Period(TimerPump), row.iPumpTimer);
        EXPECT_EQ(!rig.window.mGadgets.empty() && !rig.window.mGadgets.back(), row.fEnded);
    }
}

TEST_F(WaveformPumpTest, OneTaskOfTheWindowAtATimeAndNoCancelAtTheNormalEnd) {
    Rig rig;
    StartSingle(rig, {Request(RequestSetup, ":STOP"), Request(RequestVisibleChannels, ":CHAN1:DISP?", true),
                      Wait(100), Request(RequestSetup, ":RUN"), End()});
    std::size_t iAnswered = 0;
    for (int i = 0; i < 100 && rig.timers.Armed(TimerPump); ++i) {
        rig.Fire(TimerPump);
        EXPECT_LE(rig.pump.mOutstanding.size(), 1u);
        if (rig.instrument.mTasks.size() > iAnswered) {
            const std::size_t iSent = rig.instrument.mTasks.size();
            rig.Fire(TimerPump); // a tick before the answer sends nothing more
            EXPECT_EQ(rig.instrument.mTasks.size(), iSent);
            iAnswered = iSent;
            rig.Result(rig.LastTask(), "1\n"); // may send the next request
        }
    }
    EXPECT_EQ(rig.instrument.Commands(), (std::vector<std::string>{":STOP", ":CHAN1:DISP?", ":RUN"}));
    EXPECT_EQ(rig.instrument.Cancels(), 0);
    EXPECT_FALSE(rig.timers.Armed(TimerPump));
    EXPECT_TRUE(rig.LogHas("DS1104Z - SCPI command sent: :CHAN1:DISP?"));
}

TEST_F(WaveformPumpTest, NothingIsSentAfterAStopAndTheLateResultIsDropped) {
    Rig rig;
    StartSingle(rig, {Request(RequestVisibleChannels, "Q1?", true), Request(RequestSetup, "C2")});
    rig.Fire(TimerPump);
    const std::int64_t iFirst = rig.LastTask();
    rig.Transfer(TransferStatus::TransferReceiving, 1000);
    WaveformPump::Cancel(rig.pump);
    EXPECT_EQ(rig.window.mStatus.back(), "The reading was cancelled.");
    const std::size_t iStatus = rig.window.mStatus.size();
    EXPECT_EQ(rig.instrument.Cancels(), 1);
    EXPECT_TRUE(rig.timers.mArmed.empty());
    rig.Transfer(TransferStatus::TransferReceiving, 2000);
    rig.Result(iFirst, "late answer");
    EXPECT_TRUE(rig.pump.answer.empty());
    EXPECT_EQ(rig.window.mStatus.size(), iStatus); // nothing of the dropped transfer is shown
    for (int t : {TimerPump, TimerInterval}) EXPECT_FALSE(rig.Fire(t));
    EXPECT_EQ(rig.instrument.Commands().size(), 1u);
    EXPECT_TRUE(rig.pump.mOutstanding.empty());
}

TEST_F(WaveformPumpTest, ALateResultOrErrorOfACancelledTaskDoesNotBecomeTheNextReadsAnswer) {
    Rig rig;
    std::vector<std::string> seen;
    WaveformPump::SetChecks({.fnVisibleChannels = [&](uWaveformPump&, const std::uint8_t* p, std::size_t n) {
        seen.emplace_back(reinterpret_cast<const char*>(p), n);
    }});
    StartSingle(rig, {Request(RequestVisibleChannels, "Q?", true)});
    rig.Fire(TimerPump);
    const std::int64_t iOld = rig.LastTask();
    WaveformPump::Cancel(rig.pump);
    StartSingle(rig, {Request(RequestVisibleChannels, "Q?", true)});
    rig.Fire(TimerPump);
    const std::int64_t iNew = rig.LastTask();
    ASSERT_NE(iOld, iNew);
    rig.TransferError(TransferStatus::TransferReceiveError, "RawTcp::SocketRead: The communication was terminated by instruction.");
    rig.TaskError("RawTcp::RequestData: The communication was terminated by instruction.");
    EXPECT_TRUE(rig.LogHas("terminated by instruction"));
    EXPECT_EQ(rig.pump.sReadFailure, ""); // no failure of the read that runs now
    EXPECT_TRUE(rig.timers.Armed(TimerPump)); // the abandoned task's error stops nothing
    rig.Result(iOld, "old");
    EXPECT_EQ(rig.pump.mRequestList.front().fArrived, 0);
    rig.Fire(TimerPump);
    EXPECT_TRUE(seen.empty());
    rig.Result(iNew, "new");
    rig.Fire(TimerPump);
    EXPECT_EQ(seen, std::vector<std::string>{"new"});
    EXPECT_EQ(rig.instrument.Cancels(), 1);
}

// The status says at what the read stopped (a request of no channel by its command, after the
// reason of a connect that failed), the last reason its reports named in the words of the first,
// each channel it did not read once, then the read's other failures; a run puts what it kept
// before those.
TEST_F(WaveformPumpTest, AnErrorOfTheCurrentTaskStopsTheRead) {
    for (const bool fAutomatic : {false, true}) {
        SCOPED_TRACE(fAutomatic ? "automatic" : "single");
        Rig rig;
        uWaveformRequest one = Request(RequestWaveform, "W?", true), two = one;
        one.sChannel = "Channel 1", two.sChannel = "Channel 2";
        rig.window.mBuild = {one, Request(RequestVisibleChannels, "Q?;R?", true), two, two, Request(RequestSetup, "C")};
        WaveformPump::StartReading(rig.pump, {fAutomatic, "1", 1});
        rig.Fire(TimerPump);
        rig.Result(rig.LastTask(), "#15abc"); // short of its block: Channel 1 fails alone
        const std::int64_t iTask = rig.LastTask();
        rig.TransferError(TransferStatus::TransferReceiveError, "gone", {Failure::eKind::GoneAfter});
        rig.TaskError("Error sending and receiving the data. - time-out",
                      {Failure::eKind::NotConnected, 0, "", Failure::eStep::Exchange, Failure::eKind::Refused});
        EXPECT_TRUE(rig.LogHas("Error: InstrumentDefault::TaskScpiCommand: (0) Error sending and receiving the data. - time-out"));
        EXPECT_TRUE(rig.LogHas("Error: DS1104Z - The data could not be received. The instrument could not be connected: "
                               "The instrument has no interface that can be connected."));
        const std::string sWhy = "The instrument could not be connected for request Q?;...: The instrument has no "
                                 "interface that can be connected. Not read: Channel 2.";
        const std::string sAlso = "Channel 1 - The data block is incomplete, bytes received: 6";
        EXPECT_EQ(rig.window.mStatus.back(), fAutomatic ? "The automatic reading stopped: " + sWhy + " Waveforms: 0 - " + sAlso
                                                        : "The read stopped: " + sWhy + " " + sAlso);
        EXPECT_TRUE(rig.timers.mArmed.empty());
        EXPECT_EQ(rig.instrument.Cancels(), 1); // the task was still outstanding
        rig.Result(iTask, "", false, false);
        EXPECT_TRUE(rig.pump.mOutstanding.empty());
        EXPECT_EQ(rig.instrument.Commands().size(), 2u);
    }
}

TEST_F(WaveformPumpTest, AResultWithoutRecordOrDataIsReportedAndTheReadGoesOn) {
    Rig rig;
    int iChecks = 0;
    WaveformPump::SetChecks({.fnVisibleChannels = [&](uWaveformPump&, const std::uint8_t*, std::size_t) { ++iChecks; }});
    uWaveformRequest named = Request(RequestVisibleChannels, "Q?", true), second = named;
    named.sChannel = "Channel 1";
    second.sChannel = "Channel 2";
    StartSingle(rig, {named, Request(RequestVisibleChannels, "Q?", true), second, Request(RequestSetup, "C")});
    rig.Fire(TimerPump);
    rig.ResultWithoutRecord();
    EXPECT_TRUE(rig.LogHas("Error: DS1104Z - Channel 1 - The data could not be received."));
    rig.Fire(TimerPump);
    rig.Fire(TimerPump);
    rig.Result(rig.LastTask(), "", true);
    EXPECT_TRUE(rig.LogHas("Error: DS1104Z - The data is not available, 0 bytes."));
    rig.Fire(TimerPump);
    rig.Fire(TimerPump);
    // One of a channel: the status names the channel.
    rig.Result(rig.LastTask(), "", true);
    EXPECT_EQ(rig.window.mStatus.back(), "Channel 2 - The data is not available, 0 bytes.");
    rig.Fire(TimerPump);
    rig.Fire(TimerPump);
    EXPECT_EQ(rig.instrument.Commands().back(), "C");
    EXPECT_EQ(iChecks, 0); // an unfinished or empty answer is not checked
}

TEST_F(WaveformPumpTest, AnIncompleteBlockIsSkippedNeverReadAsText) {
    struct uCase {
        std::string sAnswer;
        bool fChecked;
        std::string sBlock;
    };
    const uCase cases[] = {{"#15ABCDE", true, "ABCDE"}, {"#15ABC", false, ""},    {"#9000", false, ""},
                           {"#", false, ""},           {"1,0,1\n", true, "1,0,1\n"}, {"#0", true, ""}};
    for (const uCase& c : cases) {
        Rig rig;
        std::vector<std::string> seen;
        WaveformPump::SetChecks({.fnVisibleChannels = [&](uWaveformPump&, const std::uint8_t* p, std::size_t n) {
            seen.emplace_back(p ? std::string(reinterpret_cast<const char*>(p), n) : std::string());
        }});
        StartSingle(rig, {Request(RequestVisibleChannels, "Q?", true)});
        rig.Fire(TimerPump);
        rig.Result(rig.LastTask(), c.sAnswer);
        rig.Fire(TimerPump);
        EXPECT_TRUE(rig.pump.mRequestList.empty()) << c.sAnswer;
        EXPECT_EQ(seen.size(), c.fChecked ? 1u : 0u) << c.sAnswer;
        if (c.fChecked && !seen.empty()) {
            EXPECT_EQ(seen[0], c.sBlock);
        }
    }
}

TEST_F(WaveformPumpTest, WaveformAnswersFillAFreshChannelElementOfTheRecord) {
    Rig rig;
    WaveformPump::SetChecks({.fnWaveform = [](uWaveformPump& pump, const std::uint8_t* p, std::size_t n) {
                                 pump.pRecord->Channels[pump.iChannelIndex].pData.assign(p, n);
                             }});
    uWaveformRequest one = Request(RequestWaveform, ":WAV:DATA? CHAN1", true);
    one.eWaveform = WaveformChannel1;
    one.eDataSource = DataSourceMemory;
    one.sChannel = "Channel 1";
    one.sChannelFile = "CH1";
    uWaveformRequest two = one;
    two.eWaveform = WaveformChannel2;
    two.sChannelFile = "CH2";
    StartSingle(rig, {one, two, End()});
    RunToEnd(rig, "#13abc");
    ASSERT_EQ(rig.pump.pRecord->Channels.size(), 3u);
    EXPECT_EQ(rig.pump.pRecord->Channels[1].eWaveform, WaveformChannel1);
    EXPECT_EQ(rig.pump.pRecord->Channels[2].sFileChannel, "CH2");
    EXPECT_EQ(rig.pump.pRecord->Channels[2].eDataSource, DataSourceMemory);
    EXPECT_EQ(rig.pump.pRecord->Channels[1].pData.view(), "#13abc");
    EXPECT_EQ(rig.pump.pRecord->sModel, "DS1104Z");
    EXPECT_NE(rig.pump.pRecord->iDate, 0);
}

TEST_F(WaveformPumpTest, AutomaticReadsSaveEachReadIntoAFreshRecordAndWaitForTheSave) {
    Rig rig(7, "DS1104Z Plus");
    rig.pump.fSaveAutomatically = true;
    rig.pump.sAutomaticFolder = "/tmp/x";
    rig.pump.LogicLines = {{0, 1, "D0"}};
    rig.window.mBuild = {Request(RequestSetup, ":SINGLE"), End()};
    WaveformPump::StartReading(rig.pump, {true, "200", 0});
    EXPECT_EQ(rig.pump.iInterval, 200);
    EXPECT_TRUE(rig.LogHas("DS1104Z Plus - The waveforms are read in automatically, every 200 Milliseconds"));
    EXPECT_TRUE(rig.LogHas("DS1104Z Plus - The waveforms are saved in the folder: /tmp/x"));
    const auto pFirst = rig.pump.pRecord;
    RunToEnd(rig, "");
    EXPECT_EQ(rig.window.iSaves, 1);
    EXPECT_EQ(rig.pump.iCount, 1);
    EXPECT_EQ(rig.window.mStatus.back(), "Waveforms: 1 - Saved: 0"); // its save comes next
    EXPECT_EQ(pFirst->LogicLines.size(), 1u);
    EXPECT_TRUE(rig.timers.mArmed.empty()); // the save holds the pump
    WaveformPump::SaveEnded(rig.pump);
    rig.Fire(TimerPump);
    EXPECT_EQ(rig.timers.Period(TimerInterval), 200);
    rig.Fire(TimerInterval);
    EXPECT_EQ(rig.window.iBuilds, 2);
    ASSERT_TRUE(rig.pump.pRecord);
    EXPECT_NE(rig.pump.pRecord, pFirst);
    EXPECT_EQ(rig.pump.pRecord->Channels.size(), 1u);
    // The first save still runs when the second read ends: no second save, the pump waits.
    rig.pump.fSaving = true;
    RunToEnd(rig, "");
    EXPECT_EQ(rig.window.iSaves, 1);
    EXPECT_EQ(rig.pump.iCount, 2);
    EXPECT_TRUE(rig.timers.mArmed.empty());
    WaveformPump::StopRequestData(rig.pump);
    EXPECT_TRUE(rig.LogHas("DS1104Z Plus - The automatic reading of the waveforms was stopped. Count: 2"));
    EXPECT_EQ(rig.instrument.Cancels(), 0);
}

TEST_F(WaveformPumpTest, AnIntervalWhoseListBuildAddsNothingEndsTheRun) {
    Rig rig;
    rig.window.mBuild = {End()};
    WaveformPump::StartReading(rig.pump, {true, "1", 1});
    RunToEnd(rig, "");
    ASSERT_TRUE(rig.Fire(TimerPump) || rig.timers.Armed(TimerInterval));
    rig.window.mBuild.clear();
    ASSERT_TRUE(rig.Fire(TimerInterval));
    EXPECT_EQ(rig.window.mStatus.back(), "The automatic reading stopped: The data could not be sent. Waveforms: 1");
    EXPECT_TRUE(rig.LogHas("Error: DS1104Z - The data could not be sent."));
    EXPECT_FALSE(rig.pump.fAutomatic);
    EXPECT_TRUE(rig.timers.mArmed.empty());
}

TEST_F(WaveformPumpTest, ShortIntervalsLeaveOutThePerRequestLines) {
    for (const auto& [sInterval, fShown] : {std::pair{"599999", false}, std::pair{"600000", true}}) {
        Rig rig;
        rig.window.mBuild = {Request(RequestVisibleChannels, "Q?", true), End()};
        WaveformPump::StartReading(rig.pump, {true, sInterval, 0});
        rig.Fire(TimerPump);
        rig.Transfer(TransferStatus::TransferSent, 3);
        rig.Result(rig.LastTask(), "1");
        EXPECT_EQ(rig.LogHas("SCPI command sent: Q?"), fShown) << sInterval;
        EXPECT_EQ(rig.LogHas("Data sent, bytes: 3 - ("), fShown) << sInterval;
        EXPECT_EQ(rig.LogHas("Data received, bytes: "), fShown) << sInterval;
    }
}

TEST_F(WaveformPumpTest, IntervalsAreRoundedUpAndBounded) {
    struct uRow {
        std::string sText;
        int iUnit;
        bool fValid;
        std::int64_t iMs;
    };
    const uRow rows[] = {{"0.5", 0, true, 1},        {"1.5", 1, true, 1500},      {"2", 2, true, 120000},
                         {"3", 3, true, 10800000},   {"0.0001", 1, true, 1},      {"7", 9, true, 7},
                         {"0", 0, false, 0},         {"-5", 1, false, 0},         {"", 0, false, 0},
                         {"abc", 0, false, 0},       {"2147483647", 0, true, 2147483647},
                         {"2147483648", 0, false, 0}, {"597", 3, false, 0},       {"1e400", 0, false, 0}};
    for (const uRow& row : rows) {
        std::int64_t iMs = 0;
        EXPECT_EQ(WaveformPump::ParseInterval(row.sText, row.iUnit, iMs), row.fValid) << row.sText;
        if (row.fValid) {
            EXPECT_EQ(iMs, row.iMs) << row.sText;
        }
    }
    Rig rig;
    rig.window.mBuild = {End()};
    WaveformPump::StartReading(rig.pump, {true, "abc", 0});
    EXPECT_EQ(rig.window.mRequesters, std::vector<std::string>{"The interval setting is invalid."});
    EXPECT_EQ(rig.window.iBuilds, 0);
    EXPECT_TRUE(rig.window.mGadgets.empty());
}

TEST_F(WaveformPumpTest, StartRefusals) {
    Rig rig;
    rig.window.fTicked = false;
    WaveformPump::StartReading(rig.pump, {});
    EXPECT_EQ(rig.window.mStatus.back(), "No channel has been selected.");
    rig.window.fTicked = true;
    rig.pump.fSaveAutomatically = true;
    WaveformPump::StartReading(rig.pump, {});
    EXPECT_EQ(rig.window.mRequesters.back(), "No folder was selected.");
    EXPECT_EQ(rig.window.iBuilds, 0);
    rig.pump.fSaveAutomatically = false;
    rig.window.mBuild.clear();
    WaveformPump::StartReading(rig.pump, {});
    EXPECT_EQ(rig.window.mStatus.back(), "The data could not be sent.");
    EXPECT_FALSE(rig.timers.Armed(TimerPump));
    EXPECT_TRUE(rig.window.mGadgets.back()); // locked until "Cancel"
    WaveformPump::Cancel(rig.pump);
    EXPECT_FALSE(rig.window.mGadgets.back());
    EXPECT_EQ(rig.instrument.Cancels(), 0);
}

TEST_F(WaveformPumpTest, ALostConnectionOrAFailedAddTaskStopsTheRead) {
    Rig rig;
    StartSingle(rig, {Request(RequestSetup, "A"), Request(RequestSetup, "B")});
    rig.pump.instrument.fConnected = false;
    rig.Fire(TimerPump);
    EXPECT_TRUE(rig.timers.mArmed.empty());
    EXPECT_TRUE(rig.instrument.mTasks.empty());

    Rig failing;
    failing.instrument.sFail = "InstrumentDefault::AddTask: This instance does not exist. Instance number = 3";
    StartSingle(failing, {Request(RequestSetup, "A")});
    failing.Fire(TimerPump);
    EXPECT_TRUE(failing.LogHas("Error: Communication error: InstrumentDefault::AddTask: This instance"));
    EXPECT_EQ(failing.window.mStatus.back(), "");
    EXPECT_TRUE(failing.timers.mArmed.empty());
}

TEST_F(WaveformPumpTest, TransferReportsWithTheirTexts) {
    Rig rig;
    uWaveformRequest request = Request(RequestVisibleChannels, "Q?", true);
    request.sChannel = "Channel 2";
    StartSingle(rig, {request});
    rig.Fire(TimerPump);
    rig.pump.iPartBytes = 1000;
    rig.Transfer(TransferStatus::TransferSending, 10);
    EXPECT_EQ(rig.window.mStatus.back(), "Data sent so far, bytes: 10");
    rig.Transfer(TransferStatus::TransferReceiving, 500);
    EXPECT_EQ(rig.window.mStatus.back(), "Data received, bytes: 1" + std::string(rig.window.mStatus.back().substr(23, 1)) + "500");
    rig.Transfer(TransferStatus::TransferWaiting, 3);
    EXPECT_EQ(rig.window.mStatus.back(), "Wait for the data to be received: 3 Seconds");
    rig.TransferError(TransferStatus::TransferReceiveError, "time-out");
    EXPECT_EQ(rig.window.mStatus.back(), "Channel 2 - The data could not be received.");
    // In plain words, then the transport's record on a line of its own.
    ASSERT_GE(rig.window.mLog.size(), 2u);
    EXPECT_EQ(std::vector<std::string>(rig.window.mLog.end() - 2, rig.window.mLog.end()),
              (std::vector<std::string>{"Error: DS1104Z - Channel 2 - The data could not be received.",
                                        "Error: RawTcp::RequestData: (0) time-out"}));
    rig.Transfer(TransferStatus::TransferReceived, 700);
    EXPECT_EQ(rig.pump.iBytesTotal, 700);
}

} // namespace
