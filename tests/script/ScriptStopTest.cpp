// A stop that comes while a step is at work: long edits and file reads give up and leave their
// value as it was, a stopped step queues nothing more for its instrument (a simulated Rigol
// behind raw TCP), and a save held in its flush commits nothing and leaves no temporary file,
// whether Stop or the program's exit asked for it. The stop is given from inside the step, where the window's
// Stop or the exit would reach it, so that it comes while the step runs on every machine.
#include "ScriptEngineFixture.h"

#include "app/Main.h"
#include "common/FileSaving.h"
#include "common/TestApplication.h"
#include "instrument/Instrument.h"
#include "instrument/InstrumentDefault.h"
#include "instrument/InstrumentSearch.h"
#include "platform/BackgroundThreads.h"
#include "script/ScriptFunctionClipboard.h"
#include "script/ScriptFunctionEdit.h"
#include "script/ScriptFunctionSave.h"
#include "script/ScriptInstrument.h"
#include "script/ScriptScpi.h"
#include "script/ScriptVariableValues.h"
#include "sim/Loopback.h"
#include "sim/RigolScope.h"
#include "sim/ScpiDevice.h"
#include "waveform/ScopeReadSupport.h"

#include <QClipboard>
#include <QDir>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <fstream>
#include <mutex>
#include <optional>
#include <sstream>
#include <sys/mman.h>
#include <unistd.h>

namespace {

using namespace InstrumentScript;
using namespace ScriptTest;

const std::string Ended = " Thread - Der Thread ist beendet.";

// The step's own executor, with the stop asked for as it begins.
template <Executor Real> bool StoppedAsItBegins(uScriptThread& t, uScriptTask& task, std::string& sError) {
    RequestStop(t);
    return Real(t, task, sError);
}

// A replace whose stop comes in the middle of its search, after a first match: the middle page
// of the value is unreadable until the search reaches it, and its fault asks for the stop.
bool fStopInTheSearch = false;
std::atomic<bool>* pStopAtPage = nullptr;
void* pStopPage = nullptr;
const auto iPageSize = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));

void StopAtPage(int, siginfo_t*, void*) {
    pStopAtPage->store(true);
    ::mprotect(pStopPage, iPageSize, PROT_READ | PROT_WRITE);
}

bool ReplaceStopped(uScriptThread& t, uScriptTask& task, std::string& sError) {
    if (!fStopInTheSearch) return StoppedAsItBegins<TaskFunctionReplace>(t, task, sError);
    const DataBuffer& data = task.pParentAddress->variable->Data;
    const auto iMiddle = reinterpret_cast<std::uintptr_t>(data.data() + data.size() / 2);
    pStopPage = reinterpret_cast<void*>(iMiddle - iMiddle % iPageSize);
    pStopAtPage = &t.fStop;
    struct sigaction fault {}, before {};
    fault.sa_sigaction = StopAtPage;
    fault.sa_flags = SA_SIGINFO;
    ::sigaction(SIGSEGV, &fault, &before);
    EXPECT_EQ(::mprotect(pStopPage, iPageSize, PROT_NONE), 0);
    const bool fResult = TaskFunctionReplace(t, task, sError);
    ::sigaction(SIGSEGV, &before, nullptr);
    return fResult;
}

class ScriptStop : public EngineFixture {
  protected:
    static void SetUpTestSuite() { TestApplication::Ensure(); } // the clipboard
    // Every error and the end of the run must stay away after the stop.
    void ExpectSilentEnd() {
        ASSERT_TRUE(collector.WaitForText(Ended, 60000));
        EXPECT_EQ(collector.Count(ScriptMessageError), 0u);
        EXPECT_EQ(collector.Count(ScriptMessageFinished), 0u);
        EXPECT_TRUE(BackgroundThreads::WaitAll(std::chrono::seconds(30)));
    }
};

TEST_F(ScriptStop, ALongStepStoppedAsItBeginsLeavesTheValueAsItWas) {
    Replace(eScriptTaskType::FunctionReplace, ReplaceStopped);
    Replace(eScriptTaskType::FunctionRemove, StoppedAsItBegins<TaskFunctionRemove>);
    Replace(eScriptTaskType::VariableSet, StoppedAsItBegins<TaskVariableSet>);
    Replace(eScriptTaskType::FunctionSave, StoppedAsItBegins<TaskFunctionSave>);
    const std::string sLarge(std::size_t{48} << 20, 'a');
    std::string sWide;
    sWide.reserve(sLarge.size());
    while (sWide.size() < sLarge.size()) sWide += "\xC3\xA4"; // "ä" in UTF-8
    std::ofstream(folder.path().toStdString() + "/big.txt", std::ios::binary) << sLarge;
    const std::string sKeep = "keep";
    const std::string sSparse = "ab" + std::string(std::size_t{32} << 20, 'x') + "ab";
    const struct {
        const char* sType;
        const std::string& sValue;
        const char* sLine;
        bool fInTheSearch = false;
        bool fLocked = false; // another program holds the file, and never lets go
    } cases[] = {
        {"string", sLarge, "v function replace \"a\" \"bb\""}, // counts the growth first
        {"string", sLarge, "v function replace \"a\" \"\""},
        {"data", sLarge, "v function replace \"aa\" \"b\""},
        {"data", sSparse, "v function replace \"ab\" \"cd\"", true}, // a match found before the stop
        {"string", sWide, "v function remove first 1000"}, // counts characters
        {"string", sWide, "v function remove last 1000"},
        {"string", sKeep, "v set $file big.txt"},
        {"data", sKeep, "v set $file big.txt"},
        {"string", sKeep, "v function save \"locked.txt\" add", false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.sType) + " " + c.sLine);
        collector.Clear();
        auto pProgram = Parsed(std::string(c.sType) + " v\n" + c.sLine + "\n");
        ASSERT_TRUE(pProgram);
        uScriptVariable& v = VariableOf(*pProgram, "v");
        if (v.Type == eVariableType::Data) v.Data = DataBuffer::FromText(c.sValue);
        else v.String = c.sValue;
        fStopInTheSearch = c.fInTheSearch;
        std::optional<LockHolder> other;
        if (c.fLocked) other.emplace(folder.path().toStdString() + "/locked.txt");
        Run(pProgram);
        ExpectSilentEnd();
        if (c.fLocked) EXPECT_EQ(QFileInfo(folder.path() + "/locked.txt").size(), 0);
        std::string sError;
        StopScript(pInstance, sError); // lets go of the ended thread for the next row
        const std::string sNow = v.Type == eVariableType::Data ? std::string(v.Data.view()) : v.String;
        EXPECT_TRUE(sNow == c.sValue) << "the value changed: " << sNow.size() << " bytes now";
    }
}

// The script's own instrument behind a real core: a step that the stop reaches before it queues
// its command or setting sends nothing more, and the stop's disconnect is the last the device gets;
// an instrument whose connect was refused is no instrument found and leaves the list.
TEST_F(ScriptStop, AStoppedStepQueuesNoCommandForItsInstrument) {
    auto pDevice = std::make_shared<Sim::ScpiDevice>();
    Sim::RigolScope scope{Sim::RigolScope::eFamily::DS1000Z};
    scope.Attach(*pDevice);
    ScopeRead::Door door;
    const uTaskPrepare prepare = door.Start(ScopeRead::eDoor::RawTcp, pDevice);
    SetInstrumentProvider(nullptr); // the real instrument list
    auto pProgram = Parsed("instrument $s rawtcp 127.0.0.1 " + std::to_string(prepare.rawTcp.iPort) +
                           " 127.0.0.1\nfunction scpi write :CHAN1:SCAL 1\n");
    ASSERT_TRUE(pProgram);
    Replace(eScriptTaskType::FunctionScpi, StoppedAsItBegins<TaskFunctionScpi>);
    Run(pProgram);
    ExpectSilentEnd();
    const InstrumentObject pObject = FindDeclaration(*pProgram, "$s", true)->instrument->pInstrument;
    ASSERT_TRUE(pObject);
    EXPECT_TRUE(PumpUntil([&] { return !pObject->pInterface->IsConnected(*pObject); }, 30000))
        << "the stop leaves the instrument connected";
    const auto commands = pDevice->Commands();
    EXPECT_TRUE(std::find(commands.begin(), commands.end(), ":CHAN1:SCAL 1") == commands.end())
        << "the device got the command of the stopped step";
    std::string sError;
    Instrument::Release(pObject, sError);
    // A setting, whose result the run does not wait for, is not queued either ("$s set remote"
    // reaches a VXI-11 device).
    StopScript(pInstance, sError); // lets go of the ended thread
    collector.Clear();
    auto pVxi = std::make_shared<Sim::ScpiDevice>();
    pProgram = Parsed("instrument $s vxi 127.0.0.1 " +
                      std::to_string(door.Start(ScopeRead::eDoor::Vxi11, pVxi).vxi11.iCorePort) +
                      " 127.0.0.1\n$s set remote\n");
    Replace(eScriptTaskType::InstrumentSet, StoppedAsItBegins<TaskInstrumentSet>);
    Run(pProgram);
    ExpectSilentEnd();
    const InstrumentObject pSet = FindDeclaration(*pProgram, "$s", true)->instrument->pInstrument;
    EXPECT_TRUE(PumpUntil([&] { return pSet && !pSet->pInterface->IsConnected(*pSet); }, 30000));
    EXPECT_FALSE(pVxi->IsRemote()) << "the device got the setting of the stopped step";
    Instrument::Release(pSet, sError);
    StopScript(pInstance, sError);
    const Sim::LoopbackListener refusing(false);
    pProgram = Parsed("instrument $r rawtcp 127.0.0.1 " + std::to_string(refusing.Port()) + " 127.0.0.1\n");
    Run(pProgram);
    ASSERT_TRUE(collector.WaitFor(ScriptMessageError, 1, 30000));
    const uTaskPrepare refused = ConnectionDescription(*FindDeclaration(*pProgram, "$r", false)->instrument);
    ASSERT_TRUE(Instrument::FindExisting(refused));
    StopScript(pInstance, sError);
    EXPECT_TRUE(PumpUntil([&] { return !Instrument::FindExisting(refused); }, 30000));
}

// The flush of the save waits until the test lets it go, or until every other thread has been
// asked to stop as well (the instruments' workers have ended by then): an exit that waited for
// the save before it asked the others would hold it there.
std::mutex mHold;
std::condition_variable cvHold;
bool fInFlush = false;
bool fLetGo = false;
bool fAllAsked = false;

int HeldSync(int fd) {
    std::unique_lock lock(mHold);
    fInFlush = true;
    cvHold.notify_all();
    const auto allAsked = [] {
        return StopAsked() && InstrumentSearch::StopRequested() && InstrumentDefault::WaitForWorkers(0);
    };
    for (int i = 0; i < 60000 && !fLetGo && !(fAllAsked = allAsked()); ++i)
        cvHold.wait_for(lock, std::chrono::milliseconds(1));
    return ::fsync(fd);
}

// The clipboard step of a second script has begun.
std::atomic<bool> fInClipboard = false;
bool ClipboardSignalled(uScriptThread& t, uScriptTask& task, std::string& sError) {
    fInClipboard = true;
    return TaskFunctionClipboard(t, task, sError);
}

// At the exit the others are at work too: a search waiting a minute for answers, an instrument
// that never answers, a second script whose clipboard step waits for the GUI thread, which waits
// in the exit. The exit asks them all before it waits, and its wait ends with the last of them.
TEST_F(ScriptStop, ASaveStoppedInItsFlushKeepsTheEarlierFileAndLeavesNoTemporaryOne) {
    const std::string sTarget = folder.path().toStdString() + "/out.txt";
    for (const bool fExit : {false, true}) {
        SCOPED_TRACE(fExit ? "exit" : "Stop");
        std::ofstream(sTarget, std::ios::binary) << "old";
        fInFlush = fLetGo = fAllAsked = false;
        Utility::FileSavingSeam::SetSync(HeldSync);
        auto pProgram = Parsed("string v\nv function save \"out.txt\"\n");
        ASSERT_TRUE(pProgram);
        VariableOf(*pProgram, "v").String.assign(std::size_t{4} << 20, 'x');
        collector.Clear();
        Run(pProgram);
        {
            std::unique_lock lock(mHold);
            ASSERT_TRUE(cvHold.wait_for(lock, std::chrono::seconds(60), [] { return fInFlush; }));
        }
        std::string sError;
        if (fExit) {
            const ScopeRead::PatientTimeouts patient;
            ScopeRead::Door door;
            ScopeRead::Session silent; // an instrument that never answers its query
            const auto pDevice = std::make_shared<Sim::ScpiDevice>();
            ASSERT_TRUE(silent.Open(door.Start(ScopeRead::eDoor::RawTcp, pDevice), 0, sError)) << sError;
            door.Stream()->AddFault({Sim::eStreamFault::NoReply});
            uTaskScpiCommand query;
            query.head.iWindow = silent.Window();
            query.sCommand = "*IDN?";
            query.fSend = query.fRequestData = 1;
            ASSERT_NE(silent.Object()->pInterface->AddTask(*silent.Object(), query, sError), 0) << sError;
            ASSERT_TRUE(PumpUntil([&] { return door.Stream()->BytesReceived() > 0; }, 60000));
            uStartSearch search;
            search.fLxi = 1;
            search.lAddress.push_back({"127.0.0.1", "127.0.0.1", 9, 5025, 60000});
            ASSERT_TRUE(InstrumentSearch::StartSearch(&search, sError)) << sError;
            SetEnvironment(nullptr); // the real clipboard
            QGuiApplication::clipboard()->setText("before");
            Collector second;
            const ScriptInstance pClipboard = NewInstance(second.Window(), sError);
            Replace(eScriptTaskType::FunctionClipboard, ClipboardSignalled);
            SetProgram(*pClipboard, Parsed("string c\nc function clipboard\n"));
            ASSERT_TRUE(RunScript(pClipboard, sError)) << sError;
            for (int i = 0; i < 60000 && !fInClipboard; ++i) ::usleep(1000);
            const auto start = std::chrono::steady_clock::now();
            EXPECT_TRUE(Main::EndBackgroundThreads(std::chrono::minutes(2)));
            EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::minutes(1)); // not at its bound
            EXPECT_TRUE(fAllAsked);
            EventHub::Pump(); // a clipboard step given up leaves the clipboard as it was
            EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), "before");
            DeleteInstance(pClipboard, sError);
        } else {
            StopScript(pInstance, sError); // lets the thread go while it is held
            std::lock_guard lock(mHold);
            fLetGo = true;
            cvHold.notify_all();
        }
        ExpectSilentEnd();
        Utility::FileSavingSeam::SetSync(nullptr);
        StopScript(pInstance, sError);
        std::ifstream file(sTarget, std::ios::binary);
        std::ostringstream bytes;
        bytes << file.rdbuf();
        EXPECT_TRUE(bytes.str() == "old") << "the target holds " << bytes.str().size() << " bytes";
        EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"out.txt"});
    }
}

} // namespace
