// Saving a 10 M-point Rigol channel: the CSV writer against formatting the same times (12
// decimals) and values (10 decimals) into memory, and the BIN writer against write() of as many
// bytes into the same folder. Medians of alternating rounds, files removed between them; prints
// baseline time ÷ writer time (CSV should reach 0.5, BIN 0.8).
#include "common/NumberText.h"
#include "waveform/WaveformDataRigol.h"

#include <QTemporaryDir>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::size_t Points = 10'000'000;
constexpr int Rounds = 5;

double Seconds(Clock::time_point t0) { return std::chrono::duration<double>(Clock::now() - t0).count(); }

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main() {
    QTemporaryDir dir;
    const std::string sFolder = dir.path().toStdString();
    std::string sAnswer = "#9" + std::to_string(1000000000 + Points).substr(1);
    for (std::size_t i = 0; i < Points; ++i) sAnswer.push_back(static_cast<char>((i * 7 + i / 1000) & 0xFF));
    sAnswer += "\n0,2,10000000,1,1.000000e-09,-6.000000e-07,0,4.000000e-02,0,127;VOLT\n";
    uWaveformRecordChannel channel;
    channel.eWaveform = WaveformChannel1;
    channel.pData = DataBuffer::FromText(sAnswer);
    channel.iDataSize = static_cast<std::int64_t>(sAnswer.size());
    channel.sChannelName = "CH1";
    WaveformDataInstance instance;
    const std::vector<uWaveformLogicLine> lines;

    std::vector<double> csv, format, bin, raw;
    std::size_t iBinBytes = 0, iFormatted = 0;
    for (int r = 0; r < Rounds; ++r) {
        std::string sError;
        const std::string sCsv = sFolder + "/bench.csv", sBin = sFolder + "/bench.bin", sRaw = sFolder + "/raw.bin";
        auto t0 = Clock::now();
        WaveformData::SaveWaveformRigol(channel, lines, sCsv, 0, 100, "M", "S", 1, instance, sError);
        csv.push_back(Seconds(t0));
        std::remove(sCsv.c_str());

        t0 = Clock::now();
        std::string sBuffer;
        sBuffer.reserve(1 << 20);
        std::size_t iTotal = 0;
        for (std::size_t k = 0; k < Points; ++k) {
            Utility::AppendDoubleFast(sBuffer, -6e-7 + static_cast<double>(k) * 1e-9, 12);
            Utility::AppendDoubleFast(sBuffer, (static_cast<double>(static_cast<std::uint8_t>(sAnswer[11 + k])) - 127) * 0.04, 10);
            if (sBuffer.size() > (1u << 20) - 64) {
                iTotal += sBuffer.size();
                sBuffer.clear();
            }
        }
        format.push_back(Seconds(t0));
        iFormatted = iTotal + sBuffer.size();

        t0 = Clock::now();
        WaveformData::SaveWaveformRigol(channel, lines, sBin, 0, 100, "M", "S", 3, instance, sError);
        bin.push_back(Seconds(t0));
        std::FILE* p = std::fopen(sBin.c_str(), "rb");
        std::fseek(p, 0, SEEK_END);
        iBinBytes = static_cast<std::size_t>(std::ftell(p));
        std::fclose(p);
        std::remove(sBin.c_str());

        t0 = Clock::now();
        const std::vector<char> bytes(1 << 20, 'x');
        const int fd = ::open(sRaw.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        for (std::size_t done = 0; done < iBinBytes;) {
            const std::size_t n = std::min(bytes.size(), iBinBytes - done);
            if (::write(fd, bytes.data(), n) != static_cast<ssize_t>(n)) break;
            done += n;
        }
        ::close(fd);
        raw.push_back(Seconds(t0));
        std::remove(sRaw.c_str());
    }
    std::printf("CSV writer %.3f s, formatting %zu bytes alone %.3f s: ratio %.2f (at least 0.5)\n", Median(csv),
                iFormatted, Median(format), Median(format) / Median(csv));
    std::printf("BIN writer %.3f s, write() of %zu bytes %.3f s: ratio %.2f (at least 0.8)\n", Median(bin), iBinBytes,
                Median(raw), Median(raw) / Median(bin));
    return 0;
}
