// Formats 10 million waveform samples with the waveform files' number formatter and with
// snprintf("%.12f") (trailing zeros trimmed the same way), and prints both rates and their ratio.
#include "common/NumberText.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

namespace {

constexpr std::size_t SampleCount = 10'000'000;

// Times and voltages as the writers see them: sample times at a fixed interval, and
// 8-bit codes scaled by a volts-per-division factor with an offset.
std::vector<double> Samples() {
    std::vector<double> values(SampleCount);
    std::mt19937 random(1);
    const double dInterval = 2.0e-9;
    const double dScale = 0.04;
    for (std::size_t i = 0; i < SampleCount; ++i) {
        values[i] = i % 2 == 0 ? -0.001 + static_cast<double>(i) * dInterval
                               : (static_cast<int>(random() % 256) - 128) * dScale - 0.3;
    }
    return values;
}

template <class Format> double Run(const std::vector<double>& values, Format format, std::size_t& iChecksum) {
    char buffer[Utility::FormatDoubleFastMaxLength + 64];
    const auto tStart = std::chrono::steady_clock::now();
    for (double v : values) iChecksum += format(v, buffer);
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - tStart;
    return static_cast<double>(values.size()) / elapsed.count();
}

} // namespace

int main() {
    const std::vector<double> values = Samples();
    std::size_t iFast = 0, iPrintf = 0;
    const double dFast = Run(values, [](double v, char* p) { return Utility::FormatDoubleFast(v, 12, p); }, iFast);
    const double dPrintf = Run(
        values,
        [](double v, char* p) {
            int n = std::snprintf(p, Utility::FormatDoubleFastMaxLength + 64, "%.12f", v);
            while (n > 0 && p[n - 1] == '0') --n;
            if (n > 0 && p[n - 1] == '.') --n;
            return static_cast<std::size_t>(n);
        },
        iPrintf);
    std::printf("values:                      %zu\n", values.size());
    std::printf("FormatDoubleFast (12):       %.3g values/s (%zu characters)\n", dFast, iFast);
    std::printf("snprintf(\"%%.12f\") trimmed:  %.3g values/s (%zu characters)\n", dPrintf, iPrintf);
    std::printf("ratio FormatDoubleFast / snprintf: %.2f\n", dFast / dPrintf);
    return 0;
}
