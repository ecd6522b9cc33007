// Loading and saving a config.ini of realistic size (a few hundred keys in a few dozen groups).
#include "common/Ini.h"

#include <benchmark/benchmark.h>

#include <QTemporaryDir>

#include <fstream>
#include <string>

namespace {

std::string MakeConfig(const std::string& sPath) {
    std::ofstream out(sPath, std::ios::binary);
    for (int s = 0; s < 40; ++s) {
        out << "[Group" << s << "]\r\n";
        for (int k = 0; k < 10; ++k) out << "Key" << k << " = value " << s * 10 + k << "\r\n";
        out << "\r\n";
    }
    return sPath;
}

void BM_IniLoad(benchmark::State& state) {
    QTemporaryDir dir;
    const std::string sPath = MakeConfig(dir.filePath("config.ini").toStdString());
    for (auto _ : state) benchmark::DoNotOptimize(Ini::Open(sPath, IniFlagsProgram));
}
BENCHMARK(BM_IniLoad);

void BM_IniReadEveryKey(benchmark::State& state) {
    QTemporaryDir dir;
    auto ini = Ini::Open(MakeConfig(dir.filePath("config.ini").toStdString()), IniFlagsProgram);
    for (auto _ : state) {
        for (int s = 0; s < 40; ++s) {
            Ini::SelectSection(ini.get(), "Group" + std::to_string(s));
            for (int k = 0; k < 10; ++k) {
                benchmark::DoNotOptimize(Ini::ReadString(ini.get(), "Key" + std::to_string(k), ""));
            }
        }
    }
}
BENCHMARK(BM_IniReadEveryKey);

void BM_IniSave(benchmark::State& state) {
    QTemporaryDir dir;
    auto ini = Ini::Open(MakeConfig(dir.filePath("config.ini").toStdString()), IniFlagsProgram);
    for (auto _ : state) benchmark::DoNotOptimize(Ini::Save(ini.get()));
}
BENCHMARK(BM_IniSave);

} // namespace

BENCHMARK_MAIN();
