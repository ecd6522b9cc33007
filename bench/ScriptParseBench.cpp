// Parse time of generated scripts of 10,000 and 20,000 lines (constants, declarations, labels,
// jumps, variable lines, instrument and function lines, comments and quotes), and the ratio of the two: parsing is to stay
// linear in the script's length.
#include "script/ScriptParser.h"
#include "script/ScriptText.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>

namespace {

// A script of about iLines lines, built from blocks of fifteen, and its constants text.
std::pair<std::string, std::string> MakeScript(int iLines) {
    std::string sScript, sConstants;
    for (int i = 0; i < iLines / 15; ++i) {
        const std::string n = std::to_string(i);
        sConstants += "#limit" + n + " set " + n + "\n";
        sScript += "integer   count" + n + "   // counter of block " + n + "\n";
        sScript += "string text" + n + "\n";
        sScript += "label top" + n + "\n";
        sScript += "#step" + n + " set 1\n";
        sScript += "count" + n + " add #step" + n + "\n";
        sScript += "text" + n + " set \"a  quoted  // text\" with  words\n";
        sScript += "count" + n + " less #limit" + n + "\n";
        sScript += "true goto top" + n + "\n";
        sScript += "// a comment line\n";
        sScript += "instrument $dev" + n + " rawtcp 10.0.0.1 " + n + "\n";
        sScript += "$dev" + n + " set timeout 100\n";
        sScript += "$dev" + n + "\n";
        sScript += "text" + n + " function scpi read :MEAS:VOLT? CH" + n + "\n";
        sScript += "true function wait msg Count $count" + n + "\n";
        sScript += "false goto " + std::string(i + 1 < iLines / 15 ? "top" + std::to_string(i + 1) : "top0") + "\n";
    }
    return {sScript, sConstants};
}

// One parse as the script window does it: the program, its canonical text, and its release.
bool ParseOnce(const std::pair<std::string, std::string>& script, std::string& sError) {
    std::shared_ptr<InstrumentScript::uScriptProgram> pProgram;
    if (!InstrumentScript::ParseScript(script.first, script.second, pProgram, sError)) return false;
    std::string sTextError;
    benchmark::DoNotOptimize(InstrumentScript::CreateScriptTaskString(pProgram.get(), sTextError));
    return true;
}

void BM_ParseScript(benchmark::State& state) {
    const auto script = MakeScript(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        std::string sError;
        if (!ParseOnce(script, sError)) state.SkipWithError(sError.c_str());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ParseScript)->Arg(10000)->Arg(20000)->Unit(benchmark::kMillisecond);

double ParseSeconds(const std::pair<std::string, std::string>& script) {
    const auto start = std::chrono::steady_clock::now();
    std::string sError;
    if (!ParseOnce(script, sError)) std::fprintf(stderr, "%s\n", sError.c_str());
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    // The machine may be shared: the ratio compares the best of several parses of each length,
    // taken in turns, so that a burst of other work does not fall on one length only.
    const auto small = MakeScript(10000), large = MakeScript(20000);
    double dSmall = 1e9, dLarge = 1e9;
    for (int i = 0; i < 15; ++i) {
        dSmall = std::min(dSmall, ParseSeconds(small));
        dLarge = std::min(dLarge, ParseSeconds(large));
    }
    std::printf("20,000 lines take %.2f times as long as 10,000 lines (best of 15 each: %.1f ms and %.1f ms; "
                "target <= 2.3)\n",
                dLarge / dSmall, dLarge * 1e3, dSmall * 1e3);
    return 0;
}
