// Saving a 10 M-point Rigol channel: the CSV writer against formatting the same times (12
// decimals) and values (10 decimals) into memory, and the BIN writer against write() of as many
// bytes into the same folder. Medians of alternating rounds, files removed between them; prints
// baseline time ÷ writer time (CSV should reach 0.5, BIN 0.8).
//
// Then the peak memory of a save: a 24 M-point record of a four-channel MSO (four channels and
// both pods, read from memory) saved as BIN through the save thread, the pods merged into the
// logic channel on the way. Once the record is built and everything else released, the
// high-water mark of the resident set is reset (/proc/self/clear_refs) and read back from
// /proc/self/status when the save has ended; prints it over the record's raw sample bytes
// (should stay at most 2.5).
#include "common/NumberText.h"
#include "common/TestApplication.h"
#include "instrument/ModelTable.h"
#include "instrument/WaveformSources.h"
#include "platform/EventHub.h"
#include "platform/ProgramEvents.h"
#include "platform/WindowRegistry.h"
#include "waveform/WaveformDataRigol.h"
#include "waveform/WaveformWriters.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QTemporaryDir>

#include <fcntl.h>
#include <malloc.h>
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

// VmHWM of /proc/self/status in bytes, 0 when it cannot be read.
std::size_t HighWaterMark() {
    std::FILE* p = std::fopen("/proc/self/status", "r");
    if (!p) return 0;
    char sLine[256];
    std::size_t iKb = 0;
    while (std::fgets(sLine, sizeof sLine, p))
        if (std::strncmp(sLine, "VmHWM:", 6) == 0) iKb = std::strtoull(sLine + 6, nullptr, 10);
    std::fclose(p);
    return iKb * 1024;
}

bool ResetHighWaterMark() {
    const int fd = ::open("/proc/self/clear_refs", O_WRONLY);
    if (fd < 0) return false;
    const bool fDone = ::write(fd, "5", 1) == 1;
    ::close(fd);
    return fDone;
}

constexpr std::size_t MsoPoints = 24'000'000;

// One element of the record as the memory read leaves it: the block, then the preamble.
uWaveformRecordChannel MsoElement(std::int64_t eWaveform, const std::string& sFile, const std::string& sName,
                                  int iSeed) {
    uWaveformRecordChannel channel;
    channel.eWaveform = eWaveform;
    channel.eDataSource = DataSourceMemory;
    channel.sFileChannel = sFile;
    channel.sChannelName = sName;
    channel.iTotalPoints = static_cast<std::int64_t>(MsoPoints);
    const std::string sHeader = "#9" + std::to_string(1000000000 + MsoPoints).substr(1);
    const std::string sTail = "\n0,2,24000000,1,1.000000e-09,-1.200000e-02,0,4.000000e-02,0,127;VOLT\n";
    DataBuffer data;
    if (!data.reserve(sHeader.size() + MsoPoints + sTail.size()) || !data.setSize(sHeader.size() + MsoPoints)) {
        std::fprintf(stderr, "no memory for the record\n");
        std::exit(2);
    }
    std::memcpy(data.data(), sHeader.data(), sHeader.size());
    std::uint8_t* p = data.data() + sHeader.size();
    for (std::size_t i = 0; i < MsoPoints; ++i) p[i] = static_cast<std::uint8_t>((i * 7 + i / 1000 + iSeed * 31) & 0xFF);
    data.append(sTail);
    channel.iDataSize = static_cast<std::int64_t>(data.size());
    channel.pData = std::move(data);
    return channel;
}

void PeakMemoryOfASave(const std::string& sFolder) {
    TestApplication::EnsureCore();
    EventHub::Init();
    WaveformWriters::Register();
    WaveformData::SetFileNameExpander([](const std::string& sTemplate, const std::string&, const std::string&,
                                         std::int64_t, std::int64_t, std::int64_t, std::int64_t,
                                         const std::string& sChannel) {
        std::string s = sTemplate;
        s.replace(s.find("{C}"), 3, sChannel);
        return s;
    });
    const int iWindow = WindowRegistry::NewWindowNumber();
    bool fPassed = false;
    std::vector<std::string> files, errors;
    EventHub::Bind(EventWaveformSaveStatus, iWindow, [&](const EventHub::uEvent& event) {
        if (event.iType == SaveStatusPassFinished) fPassed = true;
        if (const auto* p = event.pData.Get<uSaveStatusText>()) {
            if (event.iType == SaveStatusFileWritten) files.push_back(p->sText);
            if (event.iType == SaveStatusError) errors.push_back(p->sText);
        }
    });
    std::string sError;
    const std::int64_t iInstance = WaveformData::NewInstance(iWindow, sError);
    if (iInstance == 0) {
        std::fprintf(stderr, "%s\n", sError.c_str());
        std::exit(2);
    }
    auto pRecord = WaveformData::ResetData(nullptr);
    pRecord->eModel = ModelRigolDS1000ZPlus;
    pRecord->sManufacturer = "RIGOL TECHNOLOGIES";
    pRecord->sModel = "MSO1104Z";
    pRecord->sLogicChannelName = "LA";
    pRecord->sFolder = sFolder;
    pRecord->sTemplate = "mso-{C}.bin";
    pRecord->iSaveFormat = 3;
    pRecord->iTotalPoints = static_cast<std::int64_t>(MsoPoints);
    for (int c = 1; c <= 4; ++c)
        pRecord->Channels.push_back(MsoElement(WaveformChannel1 + c - 1, "CHAN" + std::to_string(c),
                                               "Channel " + std::to_string(c), c));
    pRecord->Channels.push_back(MsoElement(WaveformLogicPod1, "POD1", "Logic pod 1", 5));
    pRecord->Channels.push_back(MsoElement(WaveformLogicPod2, "POD2", "Logic pod 2", 6));
    for (int line = 0; line < 16; ++line) pRecord->LogicLines.push_back({line, line % 3 == 0 ? 1 : 0, ""});
    const std::size_t iRawBytes = 6 * MsoPoints;

    malloc_trim(0);
    const std::size_t iBefore = HighWaterMark();
    if (!ResetHighWaterMark()) {
        std::printf("peak memory: /proc/self/clear_refs cannot be written here; not measured\n");
        WaveformData::Release(iInstance, sError);
        return;
    }
    const std::size_t iAtStart = HighWaterMark();
    const auto t0 = Clock::now();
    if (!WaveformData::SaveData(iInstance, pRecord, sError)) {
        std::fprintf(stderr, "%s\n", sError.c_str());
        std::exit(2);
    }
    while (!fPassed) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
    const double dSave = Seconds(t0);
    const std::size_t iPeak = HighWaterMark();
    WaveformData::Release(iInstance, sError);
    for (const std::string& sFile : files) std::remove(sFile.c_str());
    for (const std::string& s : errors) std::fprintf(stderr, "save error: %s\n", s.c_str());
    if (files.size() != 5 || !errors.empty()) {
        std::fprintf(stderr, "expected 5 files (four channels and LA), got %zu\n", files.size());
        std::exit(3);
    }
    std::printf("peak memory of a 24 M-point four-channel MSO save with both pods (BIN, merge included, %.1f s): "
                "high-water mark %.0f MB (before the reset %.0f MB, right after it %.0f MB), raw samples %.0f MB: "
                "ratio %.2f (at most 2.5)\n",
                dSave, static_cast<double>(iPeak) / 1e6, static_cast<double>(iBefore) / 1e6,
                static_cast<double>(iAtStart) / 1e6, static_cast<double>(iRawBytes) / 1e6,
                static_cast<double>(iPeak) / static_cast<double>(iRawBytes));
}

} // namespace

int main() {
    QTemporaryDir dir;
    const std::string sFolder = dir.path().toStdString();
    {
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
    }
    PeakMemoryOfASave(sFolder);
    return 0;
}
