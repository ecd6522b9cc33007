// Arbitrary script and constants texts through the parser and, when they parse, through the
// engine. The input up to its first NUL byte is the script, the rest the constants. A parse
// gives a canonical text (numbered lines with a body each) or an error of the known forms; a
// script that parses runs with the fake instrument core, a clock that does not wait and files
// kept in a temporary folder, for a bounded time, and is then stopped.
#include "script/ScriptLines.h"
#include "script/ScriptParser.h"
#include "script/ScriptTestSupport.h"
#include "script/ScriptText.h"
#include "script/ScriptThread.h"

#include "common/ImagePluginGdiPlus.h"
#include "platform/EventHub.h"
#include "windows/capture/Template.h"

#include <QTemporaryDir>

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

namespace {

using namespace InstrumentScript;

// The sentences a checker of the parser writes; a line error is one of them behind its prefix.
constexpr std::array<std::string_view, 48> Sentences{
    "The instructions in the line were not recognized.",
    "A constant name is not defined.",
    "The keyword is not present: set",
    "The value for the constant is missing: ",
    "The constant was already defined in the script in line ",
    "The constant has already been defined in the constants in line ",
    "The name of the jump label was not specified.",
    "The jump label is already used: ",
    "The jump label is not present: ",
    "A variable name is not defined.",
    "The variable name is not allowed: ",
    "The variable has already been declared with a different data type: ",
    "No instruction was specified.",
    "This instruction is not allowed: ",
    "The parameters for the instruction were not specified.",
    "The variable does not exist, it has not been declared: ",
    "No file name was specified.",
    "The keyword is not present: instrument",
    "An instrument name or interface was not specified.",
    "The instrument name was not specified.",
    "The interface was not specified.",
    "The interface name is not allowed: ",
    "The parameters for the interface were not specified.",
    "The vendor ID (VID) was not specified for the interface.",
    "The product ID (PID) was not specified for the interface.",
    "The IP address for the instrument was not specified.",
    "The port for the interface was not specified.",
    "The number of data bits is invalid.",
    "The number of stop bits is invalid.",
    "The parity specification is invalid.",
    "The flow control specification is invalid.",
    "The instrument is already present, with a different interface or parameters: ",
    "The selected instrument is not present.",
    "The keyword is not present: function",
    "No action has been specified for the function.",
    "This action is not allowed: ",
    "The parameters for the function were not specified.",
    "An action for the SCPI command was not specified.",
    "The SCPI command was not specified.",
    "The file name was not specified in double quotes.",
    "The number for the instruction '",
    "The parameter for the value to be searched was not specified.",
    "The parameter for the value to be replaced was not specified.",
    "The waiting time is invalid, it must be greater than zero.",
    "The value for the time is invalid.",
    "The value for the date with time is invalid.",
    "Saving the traces of a script waveform as a file is not supported.",
    NulText,
};

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool IsParseError(std::string_view s) {
    if (s == "InstrumentScript::ParseScript: There are no script instructions available.") return true;
    for (std::string_view prefix : {std::string_view("Script - Error at line "), std::string_view("Constants - Error at line ")}) {
        if (s.substr(0, prefix.size()) != prefix) continue;
        s.remove_prefix(prefix.size());
        std::size_t i = 0;
        while (i < s.size() && IsDigit(s[i])) ++i;
        if (i == 0 || s.substr(i, 2) != ". ") return false;
        s.remove_prefix(i + 2);
        for (std::string_view sentence : Sentences) {
            if (s.substr(0, sentence.size()) == sentence) return true;
        }
        return false;
    }
    return false;
}

// Numbered lines: three columns of the number (blank-padded), three blanks, a trimmed body, LF.
bool IsCanonical(std::string_view s) {
    if (s.empty()) return false;
    while (!s.empty()) {
        const std::size_t iEnd = s.find('\n');
        if (iEnd == std::string_view::npos || iEnd < 7) return false;
        const std::string_view sLine = s.substr(0, iEnd);
        std::size_t i = 0;
        while (i < 3 && sLine[i] == ' ') ++i;
        if (i == 3) return false;
        for (; i < 3; ++i) {
            if (!IsDigit(sLine[i])) return false;
        }
        if (sLine.substr(3, 3) != "   ") return false;
        const char cFirst = sLine[6], cLast = sLine.back();
        for (char c : {cFirst, cLast}) {
            if (c == ' ' || c == '\t' || c == '\r') return false;
        }
        s.remove_prefix(iEnd + 1);
    }
    return true;
}

struct uEngine {
    bool fStarted = (ScriptTest::StartEngine(), Template::RegisterExpander(), ImagePluginGdiPlus::RegisterEncoder(), true);
    QTemporaryDir folder;
    ScriptTest::Seams seams{folder.path().toStdString()};
    ScriptTest::Collector collector;
    // A value doubling in a loop meets the ceiling within the run's time instead of the fuzzer's memory limit.
    bool fSmallValues = (seams.Env().SetValueLimit(std::size_t{1} << 20), true);
};

uEngine& Engine() {
    static auto* pEngine = new uEngine; // lives as long as the process: the fuzzer never returns
    return *pEngine;
}

void Run(const std::string& sScript, const std::string& sConstants) {
    uEngine& engine = Engine();
    engine.collector.Clear();
    std::string sError;
    ScriptInstance pInstance = NewInstance(engine.collector.Window(), sError);
    if (!pInstance) __builtin_trap();
    engine.collector.Attach(pInstance);
    if (!SetScript(pInstance, sScript, sConstants, sError)) __builtin_trap();
    // A script that loops keeps the event queue from ever running dry, so that a pump would not
    // return: a watchdog asks its thread to stop when the time is up.
    std::mutex mutex;
    std::condition_variable cv;
    bool fDone = false;
    std::thread watchdog([&] {
        std::unique_lock lock(mutex);
        if (cv.wait_for(lock, std::chrono::milliseconds(100), [&] { return fDone; })) return;
        std::lock_guard moduleLock(ModuleMutex());
        if (pInstance->pThread) {
            pInstance->pThread->fStop = true;
            pInstance->pThread->cv.notify_all();
        }
    });
    ScriptTest::PumpUntil(
        [&] {
            std::size_t iRuns = 0;
            for (const auto& m : engine.collector.Messages()) {
                if (m.eType == ScriptMessageOutput && m.sText == "Thread - Warte auf das nächste Skript im Thread.")
                    ++iRuns;
            }
            return iRuns >= 2;
        },
        100);
    {
        std::lock_guard lock(mutex);
        fDone = true;
    }
    cv.notify_all();
    watchdog.join();
    StopScript(pInstance, sError);
    DeleteInstance(pInstance, sError);
    // The check inside the run found the same canonical text.
    for (const auto& m : engine.collector.Messages()) {
        if (m.eType == ScriptMessageParsed && !IsCanonical(m.sText)) __builtin_trap();
    }
    EventHub::Pump();
    engine.collector.Clear();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pInput, std::size_t iSize) {
    const std::string_view sInput(reinterpret_cast<const char*>(pInput), iSize);
    const std::size_t iNul = sInput.find('\0');
    const std::string sScript(sInput.substr(0, iNul));
    const std::string sConstants(iNul == std::string_view::npos ? std::string_view() : sInput.substr(iNul + 1));

    std::shared_ptr<uScriptProgram> pProgram;
    std::string sError;
    if (!ParseScript(sScript, sConstants, pProgram, sError)) {
        if (!IsParseError(sError)) __builtin_trap();
        return 0;
    }
    std::string sTextError;
    const std::string sText = CreateScriptTaskString(pProgram.get(), sTextError);
    if (!sTextError.empty() || !IsCanonical(sText)) __builtin_trap();
    Run(sScript, sConstants);
    return 0;
}
