// Run control of the script window with the real engine and parser: Check, Run, Pause and Stop,
// the button states at every step, and what the window makes of each message of the engine.
#include "WindowScriptSupport.h"

#include "platform/BackgroundThreads.h"
#include "script/ScriptThread.h"

#include <condition_variable>
#include <mutex>

#include <QClipboard>
#include <QMimeData>
#include <QScrollBar>
#include <QTextBlock>

namespace WindowScriptTest {
namespace {

using InstrumentScript::uScriptOutput;

constexpr const char* Script = "integer count\nlabel top\ngoto end\nlabel end\n";
// How the parser prints Script back.
constexpr const char* Canonical = "  1   integer count\n  2   label top\n  3   goto end\n  4   label end\n";

class ScriptRunTest : public ScriptWindowTest {
  protected:
    void SetUp() override {
        ScriptWindowTest::SetUp();
        iWindow = OpenWindow();
        w = Record(iWindow);
        ASSERT_NE(w, nullptr);
    }

    void Post(std::int64_t eType, const std::string& sText, std::int64_t iData = 0) {
        EventHub::PostEvent(EventScriptMessage, iWindow, 0, static_cast<std::intptr_t>(eType),
                            EventHub::Payload::Of(uScriptOutput{sText, iData, {}}));
    }

    int iWindow = 0;
    uWindowScript* w = nullptr;
};

TEST_F(ScriptRunTest, CheckShowsTheParsedScriptAndRunsNothing) {
    WindowScript::SetScriptText(*w, Script);
    w->pButtonCheck->click();
    EXPECT_EQ(Buttons(*w), "----");
    EXPECT_TRUE(w->fCheckOnly);
    ASSERT_TRUE(WaitFor([&] { return Buttons(*w) == "CR--"; }));
    EXPECT_EQ(Messages(*w), "The script is checked.\nNo error was found.");
    EXPECT_EQ(Status(*w, 0), "No error was found.");
    Settle(200);
    ASSERT_TRUE(WaitForOutput(*w));
    const std::string sOutput = Output(*w);
    EXPECT_EQ(sOutput.find("Skriptzeile"), std::string::npos) << sOutput;
    EXPECT_EQ(Messages(*w), "The script is checked.\nNo error was found.");
    EXPECT_EQ(sOutput.substr(0, std::string(Canonical).size()), Canonical);
}

TEST_F(ScriptRunTest, RunGoesToTheEndWithItsOutputBelowTheParsedText) {
    WindowScript::SetScriptText(*w, Script);
    w->pButtonRun->click();
    EXPECT_EQ(Buttons(*w), "----");
    ASSERT_TRUE(WaitFor([&] { return Messages(*w).find("finished") != std::string::npos; }));
    EXPECT_EQ(Messages(*w), "No error was found.\nThe script has been finished.");
    EXPECT_EQ(Status(*w, 0), "The script has been finished.");
    EXPECT_EQ(Buttons(*w), "CR--");
    const std::string sOutput = Output(*w);
    EXPECT_NE(sOutput.find("Skriptzeile 3 goto end"), std::string::npos) << sOutput;
    EXPECT_NE(sOutput.find("Skriptzeile 3 TaskGoto - Es wird zum Sprungziel gesprungen: end - Skriptzeile 4"),
              std::string::npos);
    EXPECT_EQ(sOutput.substr(0, std::string(Canonical).size()), Canonical);
    EXPECT_LT(std::string(Canonical).size(), sOutput.find("Skriptzeile"));
}

// A NUL byte neither cuts the text short (the run would do only the part before it) nor passes
// unnoticed: the editor keeps the whole text, and loading and Check name the byte's line.
TEST_F(ScriptRunTest, ANulByteIsKeptAndNamedByItsLineWhereverTheTextCameFrom) {
    using namespace std::string_literals;
    const std::string sError = "Script - Error at line 3. The line contains a NUL byte, which a script cannot hold.";
    const struct {
        const char* sHow;
        std::string sText;
    } cases[] = {{"loaded", "label top\rgoto top\r\nx\0y\ngoto top\n"s}, {"pasted", "label top\ngoto top\nx\0y\ngoto top\n"s}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sHow);
        WindowScript::SetScriptText(*w, "");
        if (c.sHow == std::string("loaded")) {
            WriteFile("nul.txt", c.sText);
            WindowScript::LoadFile(iWindow, Qt::CopyAction, dir.filePath("nul.txt").toStdString());
            EXPECT_EQ(Messages(*w), dir.filePath("nul.txt").toStdString() + "\n" + sError);
        } else {
            auto* pData = new QMimeData;
            pData->setText(QString::fromStdString(c.sText));
            QApplication::clipboard()->setMimeData(pData);
            w->pEditor->paste();
        }
        EXPECT_EQ(WindowScript::ScriptText(*w), c.sText);
        w->pButtonCheck->click();
        ASSERT_TRUE(WaitFor([&] { return Buttons(*w) == "CR--"; }));
        EXPECT_EQ(Messages(*w), sError);
    }
}

TEST_F(ScriptRunTest, AParseErrorReplacesTheMessageAreaEndsTheOutputAndReachesTheLog) {
    WindowScript::SetScriptText(*w, "label top\ngoto nowhere\n");
    w->pMessages->setPlainText("old text");
    w->pButtonRun->click();
    ASSERT_TRUE(WaitFor([&] { return Buttons(*w) == "CR--"; }));
    const std::string sError = "Script - Error at line 2. The jump label is not present: nowhere";
    EXPECT_EQ(Messages(*w), sError);
    EXPECT_EQ(Status(*w, 0), sError);
    // The error is the Output tab's last line but for the thread's note that it waits.
    const std::string sOutput = Output(*w);
    const auto at = sOutput.find(sError);
    ASSERT_NE(at, std::string::npos) << sOutput;
    const std::string sAfter = sOutput.substr(at + sError.size());
    EXPECT_TRUE(sAfter.empty() || sAfter == "\nThread - Warte auf das nächste Skript im Thread.") << sAfter;
    EXPECT_NE(WindowLog::Text().find("Error: " + sError), std::string::npos) << WindowLog::Text();
    // The error record was taken out of the store.
    EXPECT_EQ(Utility::EventDataCount(), 0u);
}

TEST_F(ScriptRunTest, PauseThenRunGoesOnWithoutANewParseAndStopEndsALoopAtOnce) {
    WindowScript::SetScriptText(*w, "label top\ngoto top\n");
    w->pButtonRun->click();
    ASSERT_TRUE(WaitFor([&] { return Buttons(*w) == "--PS"; }));
    EXPECT_EQ(Messages(*w), "No error was found.");

    w->pButtonPause->click();
    EXPECT_EQ(Buttons(*w), "-R-S");
    EXPECT_TRUE(w->fPaused);
    EXPECT_EQ(Messages(*w), "No error was found.\nThe script waits for confirmation for further execution.");
    // The run stops at the end of its task: the output stops growing.
    ASSERT_TRUE(WaitFor([&] { return Output(*w).find("Thread - Pausiere den Thread.") != std::string::npos; }));
    ASSERT_TRUE(WaitForOutput(*w));
    const int iPaused = w->iOutputLines;
    Settle(100);
    EXPECT_EQ(w->iOutputLines, iPaused);

    w->pButtonRun->click();
    EXPECT_EQ(Buttons(*w), "--PS");
    EXPECT_FALSE(w->fPaused);
    EXPECT_EQ(Messages(*w), "No error was found.\nThe script waits for confirmation for further execution.\n"
                            "The script will be executed further.");
    // The loop goes on, and floods the Output tab past its limit.
    ASSERT_TRUE(WaitFor([&] {
        return Output(*w).rfind(WindowScript::OutputClearedNotice, 0) == 0;
    }));
    EXPECT_LE(w->pOutput->document()->blockCount(), WindowScript::MaxOutputLines + 2);
    EXPECT_EQ(Messages(*w).find("No error was found.", 1), std::string::npos);

    // Stop lets go of the thread at once; the loop ends by itself at its next step (its record
    // goes when it has ended), and the finished message comes after what the loop posted.
    const std::weak_ptr<InstrumentScript::uScriptThread> thread = w->pScriptInstance->pThread;
    ASSERT_FALSE(thread.expired());
    w->pButtonStop->click();
    EXPECT_FALSE(InstrumentScript::ThreadRunning(*w->pScriptInstance));
    ASSERT_TRUE(WaitFor([&] { return thread.expired(); }));
    ASSERT_TRUE(WaitFor([&] { return Buttons(*w) == "CR--"; }));
    EXPECT_EQ(Messages(*w).substr(Messages(*w).rfind('\n') + 1), "The script has been stopped.");
    // Run starts afresh after a stop.
    w->pButtonRun->click();
    ASSERT_TRUE(WaitFor([&] { return Buttons(*w) == "--PS"; }));
    EXPECT_EQ(Messages(*w), "No error was found.");
    w->pButtonStop->click();
    ASSERT_TRUE(WaitFor([&] { return Buttons(*w) == "CR--"; }));
}

TEST_F(ScriptRunTest, AWaitForConfirmationShowsItsMessageAndTheWaitingSentence) {
    w->pButtonPause->setEnabled(true);
    Post(InstrumentScript::ScriptMessageWaitUser, "Connect probe 2, then press Run.");
    ASSERT_TRUE(WaitForOutput(*w));
    EXPECT_EQ(Messages(*w), "Connect probe 2, then press Run.\nThe script waits for confirmation for further execution.");
    EXPECT_TRUE(w->fPaused);
    EXPECT_EQ(Buttons(*w), "CR--");
    w->pMessages->setPlainText("earlier");
    Post(InstrumentScript::ScriptMessageWaitUser, "");
    ASSERT_TRUE(WaitForOutput(*w));
    EXPECT_EQ(Messages(*w), "The script waits for confirmation for further execution.");
    EventHub::PostEvent(EventScriptMessage, iWindow, 0, InstrumentScript::ScriptMessageWaitUser);
    ASSERT_TRUE(WaitForOutput(*w));
    EXPECT_EQ(Messages(*w), "The script waits for confirmation for further execution.");
}

TEST_F(ScriptRunTest, TheThousandAndFirstLineStaysTheNextClearsTheTab) {
    for (int i = 1; i <= WindowScript::MaxOutputLines + 1; ++i) Post(InstrumentScript::ScriptMessageOutput, "line " + std::to_string(i));
    ASSERT_TRUE(WaitForOutput(*w));
    std::string sOutput = Output(*w);
    EXPECT_EQ(w->pOutput->document()->blockCount(), WindowScript::MaxOutputLines + 1);
    EXPECT_EQ(sOutput.substr(0, 7), "line 1\n");
    EXPECT_EQ(w->pOutput->document()->lastBlock().text(), "line 1001");
    Post(InstrumentScript::ScriptMessageOutput, "line 1002");
    ASSERT_TRUE(WaitForOutput(*w));
    EXPECT_EQ(Output(*w), std::string(WindowScript::OutputClearedNotice) + "\nline 1002");
    // An output message without a text adds nothing but still counts the limit.
    EventHub::PostEvent(EventScriptMessage, iWindow, 0, InstrumentScript::ScriptMessageOutput);
    ASSERT_TRUE(WaitForOutput(*w));
    EXPECT_EQ(Output(*w), std::string(WindowScript::OutputClearedNotice) + "\nline 1002");
    // The tab is scrolled to its end.
    EXPECT_EQ(w->pOutput->verticalScrollBar()->value(), w->pOutput->verticalScrollBar()->maximum());
}

// The cap counts lines: a message of several lines counts each of them.
TEST_F(ScriptRunTest, AMessageOfSeveralLinesCountsEachTowardsTheCap) {
    for (int i = 1; i <= WindowScript::MaxOutputLines - 2; ++i) Post(InstrumentScript::ScriptMessageOutput, "line");
    Post(InstrumentScript::ScriptMessageOutput, "first\nsecond\nthird"); // 1001 lines now
    ASSERT_TRUE(WaitForOutput(*w));
    EXPECT_EQ(w->pOutput->document()->blockCount(), WindowScript::MaxOutputLines + 1);
    Post(InstrumentScript::ScriptMessageOutput, "next");
    ASSERT_TRUE(WaitForOutput(*w));
    EXPECT_EQ(Output(*w), std::string(WindowScript::OutputClearedNotice) + "\nnext");
}

// A megabyte of text: the message area and the status field show its beginning and an
// ellipsis, the "Output" tab and the log the whole text (in lines of their own).
TEST_F(ScriptRunTest, ALongTextShowsItsBeginningInTheMessageAreaAndStatusAndWholeInTheOutput) {
    std::string sLong;
    while (sLong.size() < (1u << 20)) sLong += "Skriptzeile 7 a long answer \xC3\xA4\xF0\x9F\x98\x80 ";
    const QString sWhole = QString::fromStdString(sLong);
    const QString sMessage = sWhole.first(WindowScript::MessageAreaChars) + QChar(0x2026);
    const QString sStatus = sWhole.first(WindowScript::StatusFieldChars) + QChar(0x2026);
    using namespace InstrumentScript;
    struct uCase {
        std::int64_t eType;
        QString sMessages, sStatus; // empty: not checked
        bool fOutput;
    };
    for (const uCase& c : {uCase{ScriptMessageError, sMessage, sStatus, true},
                           uCase{ScriptMessageWaitUser, sMessage + "\n" + WindowScript::TextWaiting, {}, false},
                           uCase{ScriptMessageStatus, {}, sStatus, false}, uCase{ScriptMessageOutput, {}, {}, true}}) {
        SCOPED_TRACE(c.eType);
        WindowLog::Clear(0);
        const bool fError = c.eType == ScriptMessageError; // the text comes as event data
        Post(c.eType, fError ? std::string() : sLong,
             fError ? Utility::EventDataStore(uEventData{0, sLong, "InstrumentScript", "Thread"}) : 0);
        ASSERT_TRUE(WaitForOutput(*w));
        if (!c.sMessages.isEmpty()) EXPECT_EQ(w->pMessages->toPlainText(), c.sMessages);
        if (!c.sStatus.isEmpty()) EXPECT_EQ(w->pStatusField0->text(), c.sStatus);
        if (!c.sStatus.isEmpty()) EXPECT_EQ(TestApplication::ToolTip(w->pStatusField0), c.sStatus.toStdString());
        if (!c.fOutput) continue;
        // The tab breaks the long line into lines of its own; not a character is lost.
        EXPECT_TRUE(QString::fromStdString(Output(*w)).remove('\n').endsWith(sWhole));
        EXPECT_GT(w->pOutput->document()->blockCount(), 100);
        if (fError) EXPECT_TRUE(QString::fromStdString(WindowLog::Text()).remove('\n').contains(sWhole));
    }
}

TEST_F(ScriptRunTest, TransferTextsShowInFieldOneAndVanishWithTheNextMessage) {
    auto transfer = [&](std::intptr_t iType, std::int64_t iValue) {
        EventHub::PostEvent(::EventTransferStatus, iWindow, 0, iType, EventHub::Payload::Of<std::int64_t>(iValue));
        EXPECT_TRUE(WaitForOutput(*w));
        return Status(*w, 1);
    };
    EXPECT_EQ(transfer(4, 512), "Send, Bytes: 512");
    EXPECT_EQ(transfer(9, 1), "Send, Bytes: 512");
    EXPECT_EQ(transfer(7, 123456), "Receive, Bytes: 123456");
    EXPECT_EQ(transfer(8, 123456), "");
    EXPECT_EQ(transfer(11, 3), "Wait: 3");
    EXPECT_EQ(transfer(14, 4), "Wait: 4");
    EXPECT_EQ(transfer(15, 0), "");
    for (std::intptr_t iType : {6, 10, 13, 16}) {
        transfer(4, 1);
        const std::int64_t iKey = Utility::EventDataStore(uEventData{0, "Transfer error", "UsbTmc", "Send"});
        EXPECT_EQ(transfer(iType, iKey), "") << iType;
        uEventData record;
        EXPECT_FALSE(Utility::EventDataTake(std::to_string(iKey), record)) << iType;
    }
    EXPECT_EQ(transfer(4, 2048), "Send, Bytes: 2048");
    Post(InstrumentScript::ScriptMessageStatus, "Script line: 12 - volt function scpi read :MEAS:VOLT?");
    ASSERT_TRUE(WaitForOutput(*w));
    EXPECT_EQ(Status(*w, 1), "");
    EXPECT_EQ(Status(*w, 0), "Script line: 12 - volt function scpi read :MEAS:VOLT?");
}

TEST_F(ScriptRunTest, AnErrorKeyNoLongerInTheStoreIsIgnored) {
    w->pMessages->setPlainText("kept");
    Post(InstrumentScript::ScriptMessageError, "", 987654);
    Post(InstrumentScript::ScriptMessageStatus, "");
    Post(3, "ignored");
    Post(99, "ignored");
    ASSERT_TRUE(WaitForOutput(*w));
    EXPECT_EQ(Messages(*w), "kept");
    EXPECT_EQ(Buttons(*w), "CR--");
    EXPECT_EQ(Output(*w), "");
}

TEST_F(ScriptRunTest, MessagesForAClosedWindowAreDropped) {
    CloseWindow(iWindow);
    Post(InstrumentScript::ScriptMessageOutput, "late");
    EventHub::PostEvent(::EventTransferStatus, iWindow, 0, 4, EventHub::Payload::Of<std::int64_t>(1));
    ASSERT_TRUE(WaitFor([] { return EventHub::Pending() == 0; }));
    EXPECT_EQ(Main::CountTopLevelWindows(), 0);
}

// A step that pays no heed to Stop and reports an error when it is let go: the late word of a
// stopped run.
std::mutex mLate;
std::condition_variable cvLate;
bool fLateEntered = false, fLateLetGo = false;
constexpr const char* LateError = "a stopped run's late error";

bool LateExecutor(InstrumentScript::uScriptThread& t, InstrumentScript::uScriptTask& task, std::string&) {
    std::unique_lock lock(mLate);
    fLateEntered = true;
    cvLate.wait_for(lock, std::chrono::seconds(60), [] { return fLateLetGo; });
    lock.unlock();
    InstrumentScript::PostScriptError(t, task, "TaskFunctionBeep", LateError);
    return false;
}

TEST_F(ScriptRunTest, WhatAStoppedRunPostsLateLeavesTheNextRunAlone) {
    const auto old = InstrumentScript::ReplaceExecutor(InstrumentScript::eScriptTaskType::FunctionBeep, LateExecutor);
    auto entered = [] {
        std::lock_guard lock(mLate);
        return fLateEntered;
    };
    WindowScript::SetScriptText(*w, "function beep\n");
    w->pButtonRun->click();
    ASSERT_TRUE(WaitFor(entered));
    w->pButtonStop->click();
    ASSERT_TRUE(WaitFor([&] { return Buttons(*w) == "CR--"; }));
    WindowScript::SetScriptText(*w, "function wait msg hold\n");
    w->pButtonRun->click();
    ASSERT_TRUE(WaitFor([&] { return Buttons(*w) == "-R-S"; }));
    {
        std::lock_guard lock(mLate);
        fLateLetGo = true;
        cvLate.notify_all();
    }
    // The stopped thread ends after its error; the new run's thread stays.
    ASSERT_TRUE(WaitFor([] { return BackgroundThreads::Running() == 1; }));
    ASSERT_TRUE(WaitForOutput(*w));
    EXPECT_EQ(Buttons(*w), "-R-S");
    EXPECT_EQ(Messages(*w).find(LateError), std::string::npos) << Messages(*w);
    w->pButtonStop->click();
    ASSERT_TRUE(WaitFor([&] { return Buttons(*w) == "CR--"; }));
    InstrumentScript::ReplaceExecutor(InstrumentScript::eScriptTaskType::FunctionBeep, old);
}

} // namespace
} // namespace WindowScriptTest
