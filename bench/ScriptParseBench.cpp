// Parse time of generated scripts of 10,000 and 20,000 lines (constants, declarations, labels,
// jumps, variable lines, instrument and function lines, comments and quotes), and the ratio of the two: parsing is to stay
// linear in the script's length.
#include "script/ScriptParser.h"
#include "script/ScriptText.h"

#include <benchmark/benchmark.h>

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

void BM_ParseScript(benchmark::State& state) {
    const auto [sScript, sConstants] = MakeScript(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        std::shared_ptr<InstrumentScript::uScriptProgram> pProgram;
        std::string sError;
        if (!InstrumentScript::ParseScript(sScript, sConstants, pProgram, sError)) state.SkipWithError(sError.c_str());
        std::string sTextError;
        benchmark::DoNotOptimize(InstrumentScript::CreateScriptTaskString(pProgram.get(), sTextError));
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ParseScript)->Arg(10000)->Arg(20000)->Unit(benchmark::kMillisecond);

// Keeps the mean time of each run so that the ratio can be printed at the end.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.error_occurred) continue;
            if (run.benchmark_name() == "BM_ParseScript/10000") d10000 = run.GetAdjustedRealTime();
            if (run.benchmark_name() == "BM_ParseScript/20000") d20000 = run.GetAdjustedRealTime();
        }
        ConsoleReporter::ReportRuns(runs);
    }
    double d10000 = 0, d20000 = 0;
};

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    if (reporter.d10000 > 0 && reporter.d20000 > 0)
        std::printf("20,000 lines take %.2f times as long as 10,000 lines\n", reporter.d20000 / reporter.d10000);
    benchmark::Shutdown();
    return 0;
}
