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
#include <ctime>
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

// Seconds of processor time of the whole process (both threads): less swayed by other loads
// on a shared machine than the time on the wall.
double CpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

struct uTimes {
    double dWall = 0, dCpu = 0;
};

uTimes Best(const uTimes& a, const uTimes& b) { return {std::min(a.dWall, b.dWall), std::min(a.dCpu, b.dCpu)}; }

// Runs the parsed script once to its end; seconds from the start of the run to its last line.
uTimes RunSeconds(const std::string& sScript) {
    std::shared_ptr<uScriptProgram> pProgram;
    std::string sError;
    if (!ParseScript(sScript, "", pProgram, sError)) {
        std::fprintf(stderr, "%s\n", sError.c_str());
        return {};
    }
    ScriptTest::Collector collector;
    ScriptInstance pInstance = NewInstance(collector.Window(), sError);
    collector.Attach(pInstance);
    SetProgram(*pInstance, pProgram);
    const auto start = Clock::now();
    const double dCpuStart = CpuSeconds();
    if (!RunScript(pInstance, sError)) return {};
    bool fDone = false;
    while (!fDone) {
        const std::size_t iDelivered = EventHub::Pump();
        fDone = collector.Count(ScriptMessageFinished) + collector.Count(ScriptMessageError) > 0;
        collector.Clear(); // the lines are delivered and dropped, as a window with a full log does
        if (iDelivered == 0) std::this_thread::sleep_for(std::chrono::microseconds(50));
    }
    const uTimes times{std::chrono::duration<double>(Clock::now() - start).count(), CpuSeconds() - dCpuStart};
    StopScript(pInstance, sError);
    DeleteInstance(pInstance, sError);
    EventHub::Pump();
    return times;
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
    uTimes count{1e9, 1e9}, countLong{1e9, 1e9}, append{1e9, 1e9}, appendDouble{1e9, 1e9};
    double dPlainCount = 1e9, dPlainAppend = 1e9;
    RunSeconds(CountingLoop(1000, 0)); // warm-up
    for (int i = 0; i < Rounds; ++i) {
        count = Best(count, RunSeconds(CountingLoop(Counts, 0)));
        countLong = Best(countLong, RunSeconds(CountingLoop(Counts, 10000)));
        dPlainCount = std::min(dPlainCount, PlainCountingSeconds(Counts));
    }
    for (int i = 0; i < Rounds; ++i) {
        append = Best(append, RunSeconds(AppendLoop(Appends)));
        appendDouble = Best(appendDouble, RunSeconds(AppendLoop(2 * Appends)));
        dPlainAppend = std::min(dPlainAppend, PlainAppendSeconds(Appends));
    }

    const double dCount = count.dWall, dAppend = append.dWall;
    auto rate = [](double dStatements, double dSeconds) { return dSeconds > 0 ? dStatements / dSeconds : 0.0; };
    auto ratio = [](double a, double b) { return b > 0 ? a / b : 0.0; };
    std::printf("counting loop, %lld passes: engine %.0f statements/s, plain C++ %.0f statements/s, ratio %.2e\n",
                static_cast<long long>(Counts), rate(dCountStatements, dCount), rate(dCountStatements, dPlainCount),
                ratio(dPlainCount, dCount));
    std::printf("append loop, %lld passes: engine %.0f statements/s, plain C++ %.0f statements/s, ratio %.2e\n",
                static_cast<long long>(Appends), rate(dAppendStatements, dAppend), rate(dAppendStatements, dPlainAppend),
                ratio(dPlainAppend, dAppend));
    std::printf("counting loop behind 10,000 declarations runs at %.2f of its rate in a short script "
                "(processor time %.2f; target >= 0.8)\n",
                ratio(count.dWall, countLong.dWall), ratio(count.dCpu, countLong.dCpu));
    std::printf("200,000 appends take %.2f times as long as 100,000 (processor time %.2f; target <= 2.5)\n",
                ratio(appendDouble.dWall, append.dWall), ratio(appendDouble.dCpu, append.dCpu));
    return 0;
}
