// Waveform files from simulated oscilloscopes, end to end: the requests the waveform window
// sends are played against the simulator, the answers collected into a record as the window
// collects them, the record saved through the save thread in all three formats, and every file
// compared byte for byte with its golden file. A reader of our own, written from the file
// layouts and not from the writers, then finds the simulator's samples and times in each file.
//
// ORVANTO_WRITE_GOLDEN=1 in the environment writes the golden files instead of comparing.
#include "WaveformTestSupport.h"
#include "WriterTestSupport.h"
#include "instrument/ModelTable.h"
#include "sim/HamegScope.h"
#include "sim/RigolScope.h"
#include "sim/RtbScope.h"
#include "sim/ScpiDevice.h"
#include "sim/SiglentScope.h"
#include "waveform/WaveformWriters.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

using namespace WaveformTest;
using namespace WriterTest;

namespace {

// One request of the window and its answer, as the window stores it.
std::string Ask(Sim::ScpiDevice& device, const std::string& sCommand) {
    device.Write(sCommand + "\n", true);
    const std::vector<std::uint8_t> answer = device.Read();
    return std::string(answer.begin(), answer.end());
}

// A fresh record of the model as the window makes it.
std::shared_ptr<uWaveformRecord> NewRecord(std::int64_t eModel, const char* sManufacturer, const char* sModel,
                                           const char* sLogicChannelName = nullptr) {
    auto pRecord = WaveformData::ResetData(nullptr);
    pRecord->eModel = eModel;
    pRecord->sManufacturer = sManufacturer;
    pRecord->sModel = sModel;
    if (sLogicChannelName) pRecord->sLogicChannelName = sLogicChannelName;
    return pRecord;
}

uWaveformRecordChannel Element(std::int64_t eWaveform, std::int64_t eDataSource, const std::string& sAnswer,
                               const std::string& sFile, const std::string& sName, std::int64_t iPoints,
                               std::int64_t eAcquireType = 0) {
    uWaveformRecordChannel channel = Channel(eWaveform, sAnswer, eDataSource, eAcquireType);
    channel.sFileChannel = sFile;
    channel.sChannelName = sName;
    channel.iTotalPoints = iPoints;
    return channel;
}

// A file read back from its layout: the header lines by key and the rows as numbers.
struct ReadBack {
    std::map<std::string, std::string> keys;
    std::vector<std::string> columns;
    std::vector<std::vector<double>> rows; // number, time, values
    double Key(const std::string& sKey) const {
        const auto it = keys.find(sKey);
        return it == keys.end() ? NAN : std::strtod(it->second.c_str(), nullptr);
    }
};

std::vector<std::string> Split(const std::string& s, char c) {
    std::vector<std::string> parts;
    std::size_t i = 0;
    for (;;) {
        const std::size_t e = s.find(c, i);
        parts.push_back(s.substr(i, e == std::string::npos ? std::string::npos : e - i));
        if (e == std::string::npos) return parts;
        i = e + 1;
    }
}

// Record fields of a BIN file: 'i' int32, 'd' float64, 'f' float32, 'b' byte.
bool ReadFileBack(const std::string& sName, char cSeparator, const std::string& sRecord, ReadBack& back) {
    const std::string s = WaveformTest::ReadFile(sName);
    const bool fBinary = s.compare(0, 11, "DATA OFFSET") == 0;
    std::size_t iHeaderEnd = 0;
    std::string sHeader;
    if (fBinary) {
        std::int32_t h = 0;
        std::memcpy(&h, s.data() + 11, 4);
        sHeader = s.substr(15, static_cast<std::size_t>(h) - 15);
        iHeaderEnd = static_cast<std::size_t>(h);
    } else {
        const std::size_t iColumns = s.find("\r\nNumber" + std::string(1, cSeparator));
        if (iColumns == std::string::npos) return false;
        iHeaderEnd = s.find("\r\n", iColumns + 2) + 2;
        sHeader = s.substr(0, iHeaderEnd);
    }
    const std::vector<std::string> lines = Lines(sHeader);
    if (lines.size() < 2) return false;
    for (std::size_t i = 1; i + 1 < lines.size(); ++i) {
        const std::size_t e = lines[i].find(cSeparator);
        if (e != std::string::npos) back.keys[lines[i].substr(0, e)] = lines[i].substr(e + 1);
    }
    back.columns = Split(lines.back(), cSeparator);
    if (!fBinary) {
        for (const std::string& sRow : Lines(s.substr(iHeaderEnd))) {
            std::vector<double> row;
            for (const std::string& sField : Split(sRow, cSeparator)) row.push_back(std::strtod(sField.c_str(), nullptr));
            back.rows.push_back(row);
        }
        return true;
    }
    std::size_t iSize = 0;
    for (char c : sRecord) iSize += c == 'd' ? 8 : c == 'b' ? 1 : 4;
    if ((s.size() - iHeaderEnd) % iSize != 0) return false;
    for (std::size_t o = iHeaderEnd; o < s.size(); o += iSize) {
        std::vector<double> row;
        std::size_t p = o;
        for (char c : sRecord) {
            if (c == 'i') { std::int32_t v; std::memcpy(&v, s.data() + p, 4); row.push_back(v); p += 4; }
            if (c == 'f') { float v; std::memcpy(&v, s.data() + p, 4); row.push_back(v); p += 4; }
            if (c == 'd') { double v; std::memcpy(&v, s.data() + p, 8); row.push_back(v); p += 8; }
            if (c == 'b') { row.push_back(static_cast<unsigned char>(s[p])); p += 1; }
        }
        back.rows.push_back(row);
    }
    return true;
}

struct Format {
    std::int64_t iSaveFormat;
    const char* sExtension;
    char cSeparator;
};
const Format Formats[] = {{1, "comma.csv", ','}, {2, "semicolon.csv", ';'}, {3, "bin", ','}};

class WaveformGoldenTest : public LogFixture {
  protected:
    void SetUp() override {
        LogFixture::SetUp();
        recorder.Bind();
        WaveformWriters::Register();
        WaveformData::SetFileNameExpander([](const std::string& sTemplate, const std::string&, const std::string&,
                                             std::int64_t, std::int64_t, std::int64_t, std::int64_t,
                                             const std::string& sChannel) {
            std::string s = sTemplate;
            s.replace(s.find("{C}"), 3, sChannel);
            return s;
        });
    }
    void TearDown() override {
        WaveformData::SetFileNameExpander(nullptr);
        LogFixture::TearDown();
    }

    // Saves the record in the three formats as "<stem>-<channel>.<format>" and compares every
    // file written with its golden file; returns the names written, by format.
    // The record is made afresh for each save (the merge appends its channel to the record).
    std::vector<std::vector<std::string>> SaveAndCompare(const std::function<std::shared_ptr<uWaveformRecord>()>& make,
                                                         const std::string& sStem) {
        std::vector<std::vector<std::string>> written;
        std::string sError;
        const std::int64_t iInstance = WaveformData::NewInstance(recorder.Window(), sError);
        EXPECT_NE(iInstance, 0) << sError;
        for (const Format& format : Formats) {
            const std::size_t iBefore = recorder.Count(SaveStatusPassFinished);
            const std::size_t iFirstEvent = recorder.Events().size();
            const std::shared_ptr<uWaveformRecord> pRecord = make();
            pRecord->sFolder = Folder();
            pRecord->sTemplate = sStem + "-{C}." + format.sExtension;
            pRecord->iSaveFormat = format.iSaveFormat;
            EXPECT_TRUE(WaveformData::SaveData(iInstance, pRecord, sError)) << sError;
            EXPECT_TRUE(PumpUntil([&] { return recorder.Count(SaveStatusPassFinished) > iBefore; }));
            written.emplace_back();
            for (std::size_t e = iFirstEvent; e < recorder.Events().size(); ++e) {
                const uSaveEvent& event = recorder.Events()[e];
                EXPECT_NE(event.eType, SaveStatusError) << event.sText;
                if (event.eType != SaveStatusFileWritten) continue;
                const std::string sName = event.sText.substr(event.sText.rfind('/') + 1);
                written.back().push_back(event.sText);
                Compare(event.sText, sName);
            }
        }
        EXPECT_TRUE(WaveformData::Release(iInstance, sError)) << sError;
        return written;
    }

    static void Compare(const std::string& sFile, const std::string& sName) {
        const std::string sGolden = std::string(ORVANTO_TEST_DATA) + "/" + sName;
        const std::string sBytes = ReadFile(sFile);
        if (const char* p = std::getenv("ORVANTO_WRITE_GOLDEN"); p && std::string(p) == "1") {
            std::ofstream(sGolden, std::ios::binary) << sBytes;
            return;
        }
        ASSERT_TRUE(FileExists(sGolden)) << sGolden;
        EXPECT_TRUE(ReadFile(sGolden) == sBytes) << sName << " differs from its golden file";
    }

    EventRecorder recorder;
};

// ---- Rigol DS1000Z Plus: two channels and both pods on the screen ----

TEST_F(WaveformGoldenTest, RigolDs1000zPlusChannelsAndBothPods) {
    using Sim::RigolScope;
    Sim::ScpiDevice device;
    auto pScope = std::make_shared<RigolScope>(RigolScope::eFamily::DS1000ZPlus);
    pScope->Attach(device);
    pScope->ShowChannel(2, true);
    pScope->ShowLogic(true);
    const int Points = 100;
    const auto make = [&] {
    auto pRecord = NewRecord(ModelRigolDS1000ZPlus, "RIGOL TECHNOLOGIES", "MSO1104Z-S", "LA");
    Ask(device, ":WAV:MODE NORM;:WAV:FORM BYTE;:WAV:STAR 1;:WAV:STOP " + std::to_string(Points));
    for (int c : {1, 2}) {
        const std::string m = "CHAN" + std::to_string(c);
        pRecord->Channels.push_back(Element(WaveformChannel1 + c - 1, DataSourceScreen,
                                            Ask(device, ":WAV:SOUR " + m + ";:WAV:DATA?;:WAV:PRE?;:" + m +
                                                            ":UNIT?;:" + m + ":UNIT?"),
                                            m, "Channel " + std::to_string(c), Points));
    }
    pRecord->Channels.push_back(Element(WaveformLogicPod1, DataSourceScreen,
                                        Ask(device, ":WAV:SOUR D0;:WAV:DATA?;:WAV:PRE?"), "POD1", "Logic pod 1", Points));
    pRecord->Channels.push_back(Element(WaveformLogicPod2, DataSourceScreen,
                                        Ask(device, ":WAV:SOUR D8;:WAV:DATA?;:WAV:PRE?"), "POD2", "Logic pod 2", Points));
    for (int line = 0; line < 16; ++line)
        pRecord->LogicLines.push_back({line, line == 0 || line == 3 || line == 8 ? 1 : 0, line == 3 ? "Clock" : ""});
    return pRecord;
    };
    const auto written = SaveAndCompare(make, "rigol-ds1000zplus");
    ASSERT_EQ(written.size(), 3u);
    for (std::size_t f = 0; f < 3; ++f) {
        ASSERT_EQ(written[f].size(), 3u); // CHAN1, CHAN2, the merged logic channel
        for (const std::string& sFile : written[f]) {
            const bool fLogic = sFile.find("-LA.") != std::string::npos;
            ReadBack back;
            ASSERT_TRUE(ReadFileBack(sFile, Formats[f].cSeparator, fLogic ? "idbbb" : "idd", back)) << sFile;
            ASSERT_EQ(back.rows.size(), static_cast<std::size_t>(Points)) << sFile;
            const double dXInc = back.Key("Preamble XIncrement"), dXOr = back.Key("Preamble XOrigin");
            const double dYInc = back.Key("Preamble YIncrement");
            const double dYBase = back.Key("Preamble YOrigin") + back.Key("Preamble YReference");
            const int c = sFile.find("CHAN2") != std::string::npos ? 2 : 1;
            for (std::size_t i = 0; i < back.rows.size(); ++i) {
                const auto& row = back.rows[i];
                ASSERT_EQ(row[0], static_cast<double>(i + 1));
                EXPECT_NEAR(row[1], static_cast<double>(i) * dXInc + dXOr, dXInc / 2) << sFile;
                if (fLogic) {
                    ASSERT_EQ(row.size(), 5u);
                    EXPECT_EQ(row[2], RigolScope::LineBit(0, i)) << sFile << " row " << i;
                    EXPECT_EQ(row[3], 0); // a single line per pod on the screen
                    EXPECT_EQ(row[4], RigolScope::LineBit(8, i)) << sFile << " row " << i;
                } else {
                    ASSERT_EQ(row.size(), 3u);
                    const double dSample = row[2] / dYInc + dYBase;
                    EXPECT_NEAR(dSample, RigolScope::AnalogSample(c, i), 0.5) << sFile << " row " << i;
                }
            }
        }
    }
}

// ---- Rigol MSO2000: a channel and the logic analyser as 16-bit words (LA) on the screen ----

TEST_F(WaveformGoldenTest, RigolMso2000ChannelAndLogicWords) {
    using Sim::RigolScope;
    Sim::ScpiDevice device;
    auto pScope = std::make_shared<RigolScope>(RigolScope::eFamily::MSO2000);
    pScope->Attach(device);
    pScope->ShowLogic(true);
    const int Points = 100;
    const auto make = [&] {
    auto pRecord = NewRecord(ModelRigolMSO2000, "RIGOL TECHNOLOGIES", "MSO2302", "LA");
    Ask(device, ":WAV:MODE NORM;:WAV:FORM BYTE;:WAV:STAR 1;:WAV:STOP " + std::to_string(Points));
    pRecord->Channels.push_back(Element(WaveformChannel1, DataSourceScreen,
                                        Ask(device, ":WAV:SOUR CHAN1;:WAV:DATA?;:WAV:PRE?;:CHAN1:UNIT?;:CHAN1:UNIT?"),
                                        "CHAN1", "Channel 1", Points));
    Ask(device, ":WAV:MODE NORM;:WAV:FORM WORD;:WAV:STAR 1;:WAV:STOP " + std::to_string(Points));
    pRecord->Channels.push_back(Element(WaveformLogic, DataSourceScreen, Ask(device, ":WAV:SOUR LA;:WAV:DATA?;:WAV:PRE?"),
                                        "LA", "Logic channels", Points));
    for (int line = 0; line < 16; ++line)
        pRecord->LogicLines.push_back({line, line == 1 || line == 6 || line == 15 ? 1 : 0, line == 6 ? "Data" : ""});
    return pRecord;
    };
    const auto written = SaveAndCompare(make, "rigol-mso2000");
    ASSERT_EQ(written.size(), 3u);
    for (std::size_t f = 0; f < 3; ++f) {
        ASSERT_EQ(written[f].size(), 2u); // CHAN1 and LA
        for (const std::string& sFile : written[f]) {
            const bool fLogic = sFile.find("-LA.") != std::string::npos;
            ReadBack back;
            ASSERT_TRUE(ReadFileBack(sFile, Formats[f].cSeparator, fLogic ? "idbbb" : "idd", back)) << sFile;
            ASSERT_EQ(back.rows.size(), static_cast<std::size_t>(Points)) << sFile;
            const double dXInc = back.Key("Preamble XIncrement"), dXOr = back.Key("Preamble XOrigin");
            const double dYInc = back.Key("Preamble YIncrement");
            const double dYBase = back.Key("Preamble YOrigin") + back.Key("Preamble YReference");
            if (fLogic) {
                EXPECT_EQ(back.columns, (std::vector<std::string>{"Number", "Time in s", "D1", "D6 [Data]", "D15"}));
            }
            for (std::size_t i = 0; i < back.rows.size(); ++i) {
                const auto& row = back.rows[i];
                ASSERT_EQ(row[0], static_cast<double>(i + 1));
                EXPECT_NEAR(row[1], static_cast<double>(i) * dXInc + dXOr, dXInc / 2) << sFile;
                if (fLogic) {
                    ASSERT_EQ(row.size(), 5u);
                    EXPECT_EQ(row[2], RigolScope::LineBit(1, i)) << sFile << " row " << i;
                    EXPECT_EQ(row[3], RigolScope::LineBit(6, i)) << sFile << " row " << i;
                    EXPECT_EQ(row[4], RigolScope::LineBit(15, i)) << sFile << " row " << i;
                } else {
                    ASSERT_EQ(row.size(), 3u);
                    EXPECT_NEAR(row[2] / dYInc + dYBase, RigolScope::AnalogSample(1, i), 0.5) << sFile << " row " << i;
                }
            }
        }
    }
}

// ---- HAMEG HM2008: a channel and POD1 from the entire memory, then a MINMAX trace ----

TEST_F(WaveformGoldenTest, HamegChannelPodAndMinMax) {
    using Sim::HamegScope;
    Sim::ScpiDevice device;
    auto pScope = std::make_shared<HamegScope>(HamegScope::eModel::HM2008);
    pScope->Attach(device);
    pScope->SetMemoryDepth(64);
    for (const bool fMinMax : {false, true}) {
        pScope->SetMinMax(fMinMax);
        const auto make = [&] {
        auto pRecord = NewRecord(ModelHamegHM2008, "HAMEG", "HMO2024");
        Ask(device, ":ACQ:STAT STOP");
        Ask(device, ":TRAC:POIN MAX;:TRAC:FORM BYTE;:TRAC:BORD LSBF");
        pRecord->Channels.push_back(
            Element(WaveformChannel1, DataSourceEntireMemory, Ask(device, ":TRAC:SOUR CH1;:TRAC?"), "CH1", "Channel 1", 64));
        if (!fMinMax)
            pRecord->Channels.push_back(Element(WaveformLogicPod1, DataSourceEntireMemory,
                                                Ask(device, ":TRAC:SOUR POD1;:TRAC?"), "POD1", "Logic pod 1", 64));
        return pRecord;
        };
        const auto written = SaveAndCompare(make, fMinMax ? "hameg-minmax" : "hameg");
        ASSERT_EQ(written.size(), 3u);
        for (std::size_t f = 0; f < 3; ++f) {
            ASSERT_EQ(written[f].size(), fMinMax ? 1u : 2u);
            for (const std::string& sFile : written[f]) {
                const bool fPod = sFile.find("POD1") != std::string::npos;
                ReadBack back;
                ASSERT_TRUE(ReadFileBack(sFile, Formats[f].cSeparator, fPod ? "ifbbbb" : "iddd", back)) << sFile;
                const std::size_t iRows = 64;
                ASSERT_EQ(back.rows.size(), iRows) << sFile;
                const double dXInc = back.Key(":TRAC:XINC"), dXOr = back.Key(":TRAC:XOR");
                const double dYInc = back.Key(":TRAC:YINC"), dYRef = back.Key(":TRAC:YREF");
                for (std::size_t i = 0; i < iRows; ++i) {
                    const auto& row = back.rows[i];
                    ASSERT_EQ(row[0], static_cast<double>(i + 1));
                    // The pod's BIN time is a float32.
                    const double dTolerance = fPod && f == 2 ? 1e-9 : dXInc / 2;
                    EXPECT_NEAR(row[1], static_cast<double>(i) * dXInc + dXOr, dTolerance) << sFile;
                    if (fPod) {
                        const std::uint8_t b = HamegScope::Sample("POD1", i);
                        for (int line = 0; line < 4; ++line) EXPECT_EQ(row[2 + line], (b >> line) & 1) << sFile;
                    } else if (fMinMax) {
                        EXPECT_NEAR(row[2] / dYInc + dYRef, HamegScope::Sample("CH1", 2 * i), 0.5) << sFile;
                        EXPECT_NEAR(row[3] / dYInc + dYRef, HamegScope::Sample("CH1", 2 * i + 1), 0.5) << sFile;
                    } else {
                        EXPECT_NEAR(row[2] / dYInc + dYRef, HamegScope::Sample("CH1", i), 0.5) << sFile;
                    }
                }
            }
        }
    }
}

// ---- R&S RTB2004: 8- and 10-bit channels, math, reference and both pods (REFR); an averaged
// channel (AVER); 8- and 10-bit envelopes (ENV) ----

struct RtbTrace {
    std::int64_t eWaveform;
    std::int64_t eDataSource;
    std::string sBits;    // the set-up's UINT width
    std::string sCommand; // the channel request
    std::string sFile;
    int iSource; // the simulator's source number; 0 for a pod
};

std::string RtbTail(int c) {
    const std::string n = std::to_string(c);
    return ";:PROB" + n + ":SET:GAIN:UNIT?;:CHAN" + n + ":ARIT?;TYPE?;:ACQ:AVER:COUNT?";
}

TEST_F(WaveformGoldenTest, RtbLayoutsFromAllAcquireTypes) {
    using Sim::RtbScope;
    Sim::ScpiDevice device;
    auto pScope = std::make_shared<RtbScope>(true);
    pScope->Attach(device);
    pScope->SetMemoryDepth(40);
    const std::string Leaves = ":HEAD?;YRES?;YOR?;YINC?;XOR?;XINC?";
    const std::string Head = ":DATA" + Leaves;
    struct Config {
        const char* sAcquire;
        std::int64_t eAcquireType;
        std::vector<RtbTrace> traces;
        bool fPods;
    };
    const std::vector<Config> configs = {
        {"REFR", 1,
         {{WaveformChannel1, DataSourceEntireMemory, "8", ":CHAN1:DATA?;:CHAN1" + Head + RtbTail(1), "CH1", 1},
          {WaveformChannel2, DataSourceEntireMemory10Bit, "16", ":CHAN2:DATA?;:CHAN2" + Head + RtbTail(2), "CH2", 2},
          {WaveformMath1, DataSourceEntireMemory, "8", ":CALC:MATH1:DATA?;:CALC:MATH1" + Head, "MA1", 11},
          {WaveformReference1, DataSourceEntireMemory, "8", ":REFC1:DATA?;:REFC1" + Head, "RE1", 21}},
         true},
        {"AVER", 2, {{WaveformChannel1, DataSourceEntireMemory, "32", ":CHAN1:DATA?;:CHAN1" + Head + RtbTail(1), "CH1", 1}},
         false},
        {"ENV", 3,
         {{WaveformChannel1, DataSourceEntireMemory, "8",
           ":CHAN1:DATA:ENV?;:CHAN1:DATA:ENV" + Leaves + RtbTail(1), "CH1", 31},
          {WaveformChannel2, DataSourceEntireMemory10Bit, "16",
           ":CHAN2:DATA:ENV?;:CHAN2:DATA:ENV" + Leaves + RtbTail(2), "CH2", 32}},
         false},
    };
    for (const Config& config : configs) {
        pScope->SetAcquireType(config.sAcquire);
        const auto make = [&] {
            auto pRecord = NewRecord(ModelRohdeSchwarzRTB2000Ch4, "Rohde&Schwarz", "RTB2004", "LA");
            pRecord->eAcquireType = config.eAcquireType;
            Ask(device, ":STOP");
            for (const RtbTrace& trace : config.traces) {
                Ask(device, ":CHAN1:DATA:POIN MAX;:FORM:DATA UINT," + trace.sBits + ";:FORM:BORD LSBF");
                pRecord->Channels.push_back(Element(trace.eWaveform, trace.eDataSource, Ask(device, trace.sCommand),
                                                    trace.sFile, trace.sFile, 40, config.eAcquireType));
            }
            if (config.fPods) {
                Ask(device, ":LOG1:DATA:POIN MAX;:FORM:DATA UINT,8;:FORM:BORD LSBF");
                for (int p : {1, 2}) {
                    const std::string m = "LOG" + std::to_string(p);
                    pRecord->Channels.push_back(Element(p == 1 ? WaveformLogicPod1 : WaveformLogicPod2,
                                                        DataSourceEntireMemory,
                                                        Ask(device, ":" + m + ":DATA?;:" + m + Head), "", m, 40));
                }
                for (int line = 0; line < 16; ++line)
                    pRecord->LogicLines.push_back({line, line % 5 == 0 ? 1 : 0, "D" + std::to_string(line)});
            }
            return pRecord;
        };
        const std::string sStem = std::string("rtb2004-") + config.sAcquire;
        const auto written = SaveAndCompare(make, sStem);
        ASSERT_EQ(written.size(), 3u);
        for (std::size_t f = 0; f < 3; ++f) {
            ASSERT_EQ(written[f].size(), config.traces.size() + (config.fPods ? 1 : 0)) << sStem;
            for (const std::string& sFile : written[f]) {
                const bool fLogic = sFile.find("-LA.") != std::string::npos;
                const RtbTrace* pTrace = nullptr;
                for (const RtbTrace& trace : config.traces)
                    if (sFile.find("-" + trace.sFile + ".") != std::string::npos) pTrace = &trace;
                ASSERT_TRUE(fLogic || pTrace) << sFile;
                const bool fEnvelope = config.eAcquireType == 3;
                ReadBack back;
                ASSERT_TRUE(ReadFileBack(sFile, Formats[f].cSeparator, fLogic ? "idbbbb" : fEnvelope ? "iddd" : "idd",
                                         back))
                    << sFile;
                const std::size_t iRows = 40;
                ASSERT_EQ(back.rows.size(), iRows) << sFile;
                const double dXInc = back.Key("XIncrement"), dXOr = back.Key("XOrigin");
                const double dYInc = back.Key("YIncrement"), dYOr = back.Key("YOrigin");
                const int iShift = pTrace && pTrace->sBits == "8" ? 8 : 0;
                for (std::size_t i = 0; i < iRows; ++i) {
                    const auto& row = back.rows[i];
                    ASSERT_EQ(row[0], static_cast<double>(i + 1));
                    EXPECT_NEAR(row[1], dXOr + static_cast<double>(i) * dXInc, dXInc / 2) << sFile;
                    if (fLogic) {
                        ASSERT_EQ(row.size(), 6u);
                        for (int k = 0; k < 4; ++k) EXPECT_EQ(row[2 + k], RtbScope::LineBit(5 * k, i)) << sFile;
                        continue;
                    }
                    auto raw = [&](std::size_t v) {
                        const double d = RtbScope::Value(pTrace->iSource, v);
                        return pTrace->sBits == "32" ? d * 65536 : std::floor(d / (1 << iShift));
                    };
                    if (fEnvelope) {
                        EXPECT_NEAR((row[2] - dYOr) / dYInc, raw(2 * i), 0.5) << sFile;
                        EXPECT_NEAR((row[3] - dYOr) / dYInc, raw(2 * i + 1), 0.5) << sFile;
                    } else {
                        EXPECT_NEAR((row[2] - dYOr) / dYInc, raw(i), 0.5) << sFile;
                    }
                }
            }
        }
    }
}

// ---- Siglent SDS2104X Plus: a channel, F1 and four labelled lines ----

TEST_F(WaveformGoldenTest, SiglentChannelFunctionAndLabelledLines) {
    using Sim::SiglentScope;
    Sim::ScpiDevice device;
    auto pScope = std::make_shared<SiglentScope>(SiglentScope::eModel::SDS2104XPlus);
    pScope->Attach(device);
    pScope->SetMemoryDepth(40);
    pScope->SetLineDepth(40);
    const char* Labels[] = {"CLK", "CS", "MOSI", "MISO"};
    // The window keeps the answer from the block on: the data header "DAT2," is not stored, and
    // the block header of a line, which counts points, is rewritten to count its packed bytes.
    auto read = [&](const std::string& sSource, const std::string& sUnit) {
        std::string s = Ask(device, ":WAV:SOUR " + sSource + ";:WAV:STAR 0;:WAV:POIN 40;:WAV:DATA?;:WAV:PRE?" + sUnit);
        if (s.rfind("DAT2,", 0) == 0) s.erase(0, 5);
        if (sSource[0] == 'D') s.replace(0, 11, "#9000000005");
        return s;
    };
    const auto make = [&] {
        auto pRecord = NewRecord(ModelSiglentSDS2000XPlusCh4, "Siglent Technologies", "SDS2104X Plus", "LA");
        Ask(device, ":TRIG:STOP");
        Ask(device, ":WAV:WIDT BYTE");
        pRecord->Channels.push_back(
            Element(WaveformChannel1, DataSourceMemory, read("C1", ";:CHAN1:UNIT?"), "C1", "Channel 1", 40));
        pRecord->Channels.push_back(Element(WaveformFunction1, DataSourceMemory, read("F1", ""), "F1", "Function 1", 40));
        for (int line = 0; line < 4; ++line) {
            const std::string m = "D" + std::to_string(line);
            pRecord->Channels.push_back(Element(WaveformDigital0 + line, DataSourceMemory, read(m, ""), m, m, 40));
            pRecord->LogicLines.push_back({line, 1, Labels[line]});
        }
        return pRecord;
    };
    const auto written = SaveAndCompare(make, "sds2104xplus");
    ASSERT_EQ(written.size(), 3u);
    for (std::size_t f = 0; f < 3; ++f) {
        ASSERT_EQ(written[f].size(), 3u); // C1, F1 and the merged lines
        for (const std::string& sFile : written[f]) {
            const bool fLogic = sFile.find("-LA.") != std::string::npos;
            const int iSource = sFile.find("-F1.") != std::string::npos ? 5 : 1;
            ReadBack back;
            ASSERT_TRUE(ReadFileBack(sFile, Formats[f].cSeparator, fLogic ? "idbbbb" : "idd", back)) << sFile;
            ASSERT_EQ(back.rows.size(), 40u) << sFile;
            if (fLogic) {
                EXPECT_EQ(back.columns, (std::vector<std::string>{"Number", "Time in s", "D0 [CLK]", "D1 [CS]",
                                                                  "D2 [MOSI]", "D3 [MISO]"}));
            }
            const double dInterval = back.Key("HorizontalInterval");
            const double dScale = back.Key("VerticalScale") / 30, dOffset = back.Key("VerticalOffset");
            ASSERT_EQ(back.keys["TimeBase"], "1E-3");
            for (std::size_t i = 0; i < 40; ++i) {
                const auto& row = back.rows[i];
                ASSERT_EQ(row[0], static_cast<double>(i + 1));
                EXPECT_NEAR(row[1], -0.005 + static_cast<double>(i) * dInterval, dInterval / 2) << sFile;
                if (fLogic) {
                    for (int line = 0; line < 4; ++line) EXPECT_EQ(row[2 + line], SiglentScope::LineBit(line, i)) << sFile;
                } else {
                    const int iRaw = static_cast<std::int8_t>(static_cast<std::uint16_t>(SiglentScope::Sample(iSource, i)) >> 8);
                    EXPECT_NEAR((row[2] + dOffset) / dScale, iRaw, 0.5) << sFile << " row " << i;
                }
            }
        }
    }
}

} // namespace
