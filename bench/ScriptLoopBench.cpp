// Script loops run by the real engine, every output line delivered to the headless collector:
// a counting loop (n add 1 / n less N / true goto top) and a string concatenation (s add "x"
// with a counter), as executed statements per second beside a plain C++ loop doing the same
// work. Two more ratios: the counting loop behind 10,000 declaration lines against the same
// loop in a short script (the length of the task list is not to slow a run down), and 200,000
// appends against 100,000 (appending is to stay linear).
#include "script/ScriptTestSupport.h"

#include "platform/EventHub.h"
#include "script/ScriptInstance.h"
#include "script/ScriptParser.h"
#include "script/ScriptThread.h"

#include <benchmark/benchmark.h>

#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
using namespace InstrumentScript;

std::string CountingLoop(std::int64_t iCount, int iDeclarations) {
    std::string s;
    for (int i = 0; i < iDeclarations; ++i) s += "integer spare" + std::to_string(i) + "\n";
    return s + "integer n\nlabel top\nn add 1\nn less " + std::to_string(iCount) + "\ntrue goto top\n";
}

std::string AppendLoop(std::int64_t iCount) {
    return "integer n\nstring s\nlabel top\ns add \"x\"\nn add 1\nn less " + std::to_string(iCount) +
           "\ntrue goto top\n";
}

// Runs the parsed script once to its end; seconds from the start of the run to its last line.
double RunSeconds(const std::string& sScript) {
    std::shared_ptr<uScriptProgram> pProgram;
    std::string sError;
    if (!ParseScript(sScript, "", pProgram, sError)) {
        std::fprintf(stderr, "%s\n", sError.c_str());
        return 0;
    }
    ScriptTest::Collector collector;
    ScriptInstance pInstance = NewInstance(collector.Window(), sError);
    collector.Attach(pInstance);
    SetProgram(*pInstance, pProgram);
    const auto start = Clock::now();
    if (!RunScript(pInstance, sError)) return 0;
    bool fDone = false;
    while (!fDone) {
        const std::size_t iDelivered = EventHub::Pump();
        fDone = collector.Count(ScriptMessageFinished) + collector.Count(ScriptMessageError) > 0;
        collector.Clear(); // the lines are delivered and dropped, as a window with a full log does
        if (iDelivered == 0) std::this_thread::sleep_for(std::chrono::microseconds(50));
    }
    const double dSeconds = std::chrono::duration<double>(Clock::now() - start).count();
    StopScript(pInstance, sError);
    DeleteInstance(pInstance, sError);
    EventHub::Pump();
    return dSeconds;
}

double PlainCountingSeconds(std::int64_t iCount) {
    const auto start = Clock::now();
    std::int64_t n = 0;
    bool fLess = true;
    while (fLess) {
        n = static_cast<std::int64_t>(static_cast<std::uint64_t>(n) + 1);
        benchmark::DoNotOptimize(n);
        fLess = n < iCount;
    }
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double PlainAppendSeconds(std::int64_t iCount) {
    const auto start = Clock::now();
    std::string s;
    std::int64_t n = 0;
    bool fLess = true;
    while (fLess) {
        s += "x";
        benchmark::DoNotOptimize(s.data());
        ++n;
        fLess = n < iCount;
    }
    return std::chrono::duration<double>(Clock::now() - start).count();
}

} // namespace

int main() {
    ScriptTest::StartEngine();
    QTemporaryDir folder;
    ScriptTest::Seams seams(folder.path().toStdString());

    constexpr std::int64_t Counts = 50000;
    constexpr std::int64_t Appends = 100000;
    // Statements executed per pass: add, less, true, goto; the append loop one add more.
    const double dCountStatements = 4.0 * Counts;
    const double dAppendStatements = 5.0 * Appends;

    // The machine may be shared: each figure is the best of several runs, taken in turns.
    constexpr int Rounds = 5;
    double dCount = 1e9, dCountLong = 1e9, dAppend = 1e9, dAppendDouble = 1e9, dPlainCount = 1e9, dPlainAppend = 1e9;
    RunSeconds(CountingLoop(1000, 0)); // warm-up
    for (int i = 0; i < Rounds; ++i) {
        dCount = std::min(dCount, RunSeconds(CountingLoop(Counts, 0)));
        dCountLong = std::min(dCountLong, RunSeconds(CountingLoop(Counts, 10000)));
        dPlainCount = std::min(dPlainCount, PlainCountingSeconds(Counts));
    }
    for (int i = 0; i < Rounds; ++i) {
        dAppend = std::min(dAppend, RunSeconds(AppendLoop(Appends)));
        dAppendDouble = std::min(dAppendDouble, RunSeconds(AppendLoop(2 * Appends)));
        dPlainAppend = std::min(dPlainAppend, PlainAppendSeconds(Appends));
    }

    auto rate = [](double dStatements, double dSeconds) { return dSeconds > 0 ? dStatements / dSeconds : 0.0; };
    std::printf("counting loop, %lld passes: engine %.0f statements/s, plain C++ %.0f statements/s, ratio %.2e\n",
                static_cast<long long>(Counts), rate(dCountStatements, dCount), rate(dCountStatements, dPlainCount),
                dPlainCount > 0 && dCount > 0 ? dPlainCount / dCount : 0.0);
    std::printf("append loop, %lld passes: engine %.0f statements/s, plain C++ %.0f statements/s, ratio %.2e\n",
                static_cast<long long>(Appends), rate(dAppendStatements, dAppend), rate(dAppendStatements, dPlainAppend),
                dPlainAppend > 0 && dAppend > 0 ? dPlainAppend / dAppend : 0.0);
    std::printf("counting loop behind 10,000 declarations runs at %.2f of its rate in a short script (target >= 0.8)\n",
                dCountLong > 0 ? dCount / dCountLong : 0.0);
    std::printf("200,000 appends take %.2f times as long as 100,000 (target <= 2.5)\n",
                dAppend > 0 ? dAppendDouble / dAppend : 0.0);
    return 0;
}
