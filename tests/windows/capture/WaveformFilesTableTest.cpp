// Every oscilloscope with a waveform reader, end to end through the waveform window: a main
// window connected over raw TCP to the simulated instrument as the add form names it, "Refresh",
// two channels ticked, then for each source the window offers "Waveform" and "Save..." in each
// file format it offers. Each file must hold as many samples as the simulator sent, each one in
// volts as the maker's programming guide converts the code with the scale the simulator itself
// reported (never the numbers of the file's own header), so a file of zeros or of another
// channel's samples cannot pass.
#include "WaveformWindowTestSupport.h"

#include "sim/HamegScope.h"
#include "sim/RigolScope.h"
#include "sim/RtbScope.h"
#include "sim/SiglentScope.h"

#include <QFile>

#include <cstring>
#include <memory>
#include <sstream>

namespace WaveformWindowTest {
namespace {

// A query put to the simulated device directly, before any connection: its answer text.
std::string Ask(Sim::ScpiDevice& device, const std::string& sQuery) {
    device.Write(sQuery + "\n", true);
    const std::vector<std::uint8_t> answer = device.Read();
    std::string s(answer.begin(), answer.end());
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
    return s;
}

std::vector<std::string> Split(const std::string& s, char c) {
    std::vector<std::string> parts;
    std::istringstream in(s);
    for (std::string sPart; std::getline(in, sPart, c);) parts.push_back(sPart);
    return parts;
}

// A value of type T stored at byte o, in this machine's order (the files' and descriptors').
template <class T> T At(const void* p, std::size_t o) {
    T v;
    std::memcpy(&v, static_cast<const char*>(p) + o, sizeof v);
    return v;
}

template <class F> std::vector<double> Points(std::int64_t iPoints, F volts) {
    std::vector<double> m;
    for (std::size_t i = 0; i < static_cast<std::size_t>(iPoints); ++i) m.push_back(volts(i));
    return m;
}

constexpr std::int64_t Depth = 3000; // the memory's points

// A simulated oscilloscope of one maker, kept alive by pScope, and the volts of channel c's
// samples as its guide has them, for a read of the source (the window's name of it) that has
// just ended.
struct uScope {
    std::shared_ptr<void> pScope;
    std::function<std::vector<double>(int iChannel, const std::string& sSource)> volts;
};

// The simulator (its constructor's argument given) with channels 1 and iLast shown.
template <class Scope, auto Argument> std::shared_ptr<Scope> Shown(Sim::ScpiDevice& device, int iLast) {
    const auto p = std::make_shared<Scope>(Argument);
    p->Attach(device);
    p->ShowChannel(iLast, true);
    p->SetMemoryDepth(Depth);
    return p;
}

// Rigol: volts = (code - YORigin - YREFerence) x YINCrement, from ":WAV:PRE?" fields 8 to 10.
template <auto Family> uScope Rigol(Sim::ScpiDevice& device, int iLast) {
    const auto p = Shown<Sim::RigolScope, Family>(device, iLast);
    const std::vector<std::string> f = Split(Ask(device, ":WAV:PRE?"), ',');
    EXPECT_EQ(f.size(), 10u);
    const double dIncrement = std::stod(f.at(7)), dOrigin = std::stod(f.at(8)), dReference = std::stod(f.at(9));
    return {p, [=](int c, const std::string& sSource) {
                return Points(sSource == "Screen" ? p->ScreenPoints() : Depth, [&](std::size_t i) {
                    return (Sim::RigolScope::AnalogSample(c, i) - dOrigin - dReference) * dIncrement;
                });
            }};
}

// Siglent: volts = code / codes per division x gain x probe - offset x probe, from the descriptor
// (gain at 156, offset at 160, codes per division at 164, probe at 328); BYTE codes are signed.
template <auto Model> uScope Siglent(Sim::ScpiDevice& device, int iLast) {
    const auto p = Shown<Sim::SiglentScope, Model>(device, iLast);
    p->SetProbe(10.0f);
    return {p, [p](int c, const std::string&) {
                EXPECT_EQ(p->Width(), "BYTE");
                const std::vector<std::uint8_t> d = p->Descriptor("C" + std::to_string(c));
                const double dGain = At<float>(d.data(), 156), dOffset = At<float>(d.data(), 160);
                const double dCodes = At<float>(d.data(), 164), dProbe = At<float>(d.data(), 328);
                return Points(Depth, [&](std::size_t i) {
                    const auto iValue = static_cast<std::uint16_t>(Sim::SiglentScope::Sample(c, i));
                    return static_cast<std::int8_t>(iValue >> 8) / dCodes * dGain * dProbe - dOffset * dProbe;
                });
            }};
}

// R&S: volts = YORigin + YINCrement x code, from ":CHAN<n>:DATA:YOR?" and ":YINC?"; 8-bit codes
// are the high bytes of the simulator's 16-bit values. The screen has 1200 points, the memory
// (DMAX or MAX) its depth.
template <bool Four> uScope Rtb(Sim::ScpiDevice& device, int iLast) {
    const auto p = Shown<Sim::RtbScope, Four>(device, iLast);
    std::map<int, std::pair<double, double>> scale;
    for (int c : {1, iLast}) {
        const std::string sChannel = ":CHAN" + std::to_string(c) + ":DATA:";
        scale[c] = {std::stod(Ask(device, sChannel + "YOR?")), std::stod(Ask(device, sChannel + "YINC?"))};
    }
    return {p, [p, scale](int c, const std::string& sSource) {
                const bool fWide = sSource.find("10 bit") != std::string::npos;
                EXPECT_EQ(p->Format(), fWide ? "UINT,16" : "UINT,8");
                return Points(sSource.rfind("Screen", 0) == 0 ? 1200 : Depth, [&](std::size_t i) {
                    const std::uint16_t iValue = Sim::RtbScope::Value(c, i);
                    return scale.at(c).first + scale.at(c).second * (fWide ? iValue : iValue >> 8);
                });
            }};
}

// HAMEG: volts = (code - YREF) x YINC + YOR, from the description items behind the trace.
uScope Hameg(Sim::ScpiDevice& device, int iLast) {
    const auto p = std::make_shared<Sim::HamegScope>(Sim::HamegScope::eModel::HM2008);
    p->Attach(device);
    p->SetCatalogue("CH1,CH" + std::to_string(iLast));
    p->SetMemoryDepth(2 * Depth); // DMAX is half of it
    return {p, [p](int c, const std::string&) {
                const std::string sTrace = "CH" + std::to_string(c);
                std::map<std::string, double> items;
                for (const std::string& sItem : Split(p->Description(sTrace), ';')) {
                    const std::vector<std::string> words = Split(sItem, ' ');
                    if (words.size() == 2 && words[0].rfind(":TRAC:Y", 0) == 0 && words[0] != ":TRAC:YUN")
                        items[words[0]] = std::stod(words[1]);
                }
                return Points(p->Points(), [&](std::size_t i) {
                    return (Sim::HamegScope::Sample(sTrace, i) - items.at(":TRAC:YREF")) * items.at(":TRAC:YINC") +
                           items.at(":TRAC:YOR");
                });
            }};
}

struct uModelCase {
    const char* sName;
    const char *sMaker, *sModel; // the maker and model chosen in the add form
    std::int64_t eModel; // what the program makes of them
    int iLast;                // "Channel 1" and "Channel <iLast>" are read
    std::size_t iRecordBytes; // a BIN record: row number, time and the writer's values
    uScope (*make)(Sim::ScpiDevice&, int);
};

std::ostream& operator<<(std::ostream& out, const uModelCase& c) { return out << c.sName; }

using Family = Sim::RigolScope::eFamily;
using SiglentModel = Sim::SiglentScope::eModel;
constexpr const char *Rigol_ = "Rigol Technologies", *Siglent_ = "Siglent Technologies", *Rs_ = "Rohde & Schwarz";
// The four-channel RTB2000 and SDS2000X Plus are named by their own model numbers, which the
// model table takes for the four-channel models.
const uModelCase ModelCases[] = {
    {"DS1000Z", Rigol_, "DS1000Z", ModelRigolDS1000Z, 4, 20, Rigol<Family::DS1000Z>},
    {"DS1000ZPlus", Rigol_, "MSO1000Z", ModelRigolDS1000ZPlus, 3, 20, Rigol<Family::DS1000ZPlus>},
    {"DS2000", Rigol_, "DS2000", ModelRigolDS2000, 2, 20, Rigol<Family::DS2000>},
    {"MSO2000", Rigol_, "MSO2000", ModelRigolMSO2000, 2, 20, Rigol<Family::MSO2000>},
    {"RTB2002", Rs_, "RTB2000", ModelRohdeSchwarzRTB2000Ch2, 2, 20, Rtb<false>},
    {"RTB2004", Rs_, "RTB2004", ModelRohdeSchwarzRTB2000Ch4, 4, 20, Rtb<true>},
    {"SDS2102XPlus", Siglent_, "SDS2000X Plus", ModelSiglentSDS2000XPlusCh2, 2, 20, Siglent<SiglentModel::SDS2102XPlus>},
    {"SDS2104XPlus", Siglent_, "SDS2104X Plus", ModelSiglentSDS2000XPlusCh4, 4, 20, Siglent<SiglentModel::SDS2104XPlus>},
    // The HAMEG BIN record carries a second value field, always 0, behind the sample.
    {"HM2008", "HAMEG", "HM2008", ModelHamegHM2008, 2, 28, Hameg},
};

// The samples of a saved file: CSV rows after the column line, or BIN records (row number from 1,
// time, value) after the header whose length follows "DATA OFFSET".
std::vector<double> FileSamples(const std::string& sPath, std::int64_t iFormat, std::size_t iRecordBytes) {
    QFile f(QString::fromStdString(sPath));
    EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << sPath;
    const QByteArray bytes = f.readAll();
    std::vector<double> samples;
    if (iFormat == 3) {
        EXPECT_TRUE(bytes.startsWith("DATA OFFSET") && bytes.size() >= 15) << sPath;
        const qsizetype iHeader = bytes.size() < 15 ? bytes.size() : At<std::int32_t>(bytes.constData(), 11);
        const qsizetype iRecord = static_cast<qsizetype>(iRecordBytes);
        EXPECT_TRUE(iHeader > 15 && iHeader <= bytes.size() && (bytes.size() - iHeader) % iRecord == 0)
            << sPath << ": header " << iHeader << ", size " << bytes.size();
        for (qsizetype o = iHeader; o >= 0 && o + iRecord <= bytes.size(); o += iRecord) {
            EXPECT_EQ(At<std::int32_t>(bytes.constData(), o), static_cast<std::int32_t>(samples.size() + 1)) << sPath;
            samples.push_back(At<double>(bytes.constData(), o + 12));
        }
        return samples;
    }
    const char cSeparator = iFormat == 2 ? ';' : ',';
    bool fRows = false;
    for (std::string s : Split(bytes.toStdString(), '\n')) {
        if (!s.empty() && s.back() == '\r') s.pop_back();
        if (!fRows) {
            fRows = s.rfind(std::string("Number") + cSeparator, 0) == 0;
            continue;
        }
        const std::vector<std::string> fields = Split(s, cSeparator);
        EXPECT_EQ(fields.size(), 3u) << sPath << ": " << s;
        if (fields.size() == 3) samples.push_back(std::stod(fields[2]));
    }
    return samples;
}

class WaveformFilesTableTest : public WaveformWindowTest, public ::testing::WithParamInterface<uModelCase> {
  protected:
    std::string ConfigText() override { return "[General]\n"; }
};

TEST_P(WaveformFilesTableTest, EachSourceAndFormatHoldsTheSimulatorsSamplesInVolts) {
    const uModelCase& c = GetParam();
    const uScope scope = c.make(server.Device(), c.iLast);
    sUserMaker = c.sMaker;
    sUserModel = c.sModel;
    ConnectMain();
    const int iWindow = OpenWaveform();
    ASSERT_EQ(W(iWindow).info.eModel, c.eModel) << W(iWindow).info.sModel;
    Refresh(iWindow);
    for (int iChannel : {1, c.iLast}) Tick(iWindow, "Channel " + std::to_string(iChannel));
    QComboBox* pSources = W(iWindow).pSource;
    ASSERT_GT(pSources->count(), 0);
    for (int iSource = 0; iSource < pSources->count(); ++iSource) {
        pSources->setCurrentIndex(iSource);
        const std::string sSource = pSources->currentText().toStdString();
        SCOPED_TRACE(sSource);
        G(iWindow).pRead->click();
        ASSERT_TRUE(WaitIdle(iWindow));
        ASSERT_TRUE(W(iWindow).pump.pRecord);
        ASSERT_EQ(W(iWindow).pump.pRecord->Channels.size(), 3u) << WindowLog::Text();
        const std::vector<double> expected[] = {scope.volts(1, sSource), scope.volts(c.iLast, sSource)};
        ASSERT_GT(expected[0].size(), 1000u);
        for (int iIndex = 0; iIndex < W(iWindow).pFormat->count(); ++iIndex) {
            W(iWindow).pFormat->setCurrentIndex(iIndex);
            const std::int64_t iFormat = W(iWindow).Format();
            SCOPED_TRACE("format " + std::to_string(iFormat));
            const std::vector<std::string> before = OutFiles();
            W(iWindow).SetStatus("");
            AnswerFileDialog(OutPath("f" + std::to_string(iFormat) + ".csv"));
            G(iWindow).pSave->click();
            ASSERT_TRUE(WaitFor([&] { return W(iWindow).Status() == "The data has been saved."; }, 60000))
                << W(iWindow).Status();
            ASSERT_TRUE(WaitIdle(iWindow));
            std::vector<std::string> files = OutFiles(); // the two channels', the first channel's name first
            std::erase_if(files, [&](const std::string& s) { return std::ranges::find(before, s) != before.end(); });
            ASSERT_EQ(files.size(), 2u) << ::testing::PrintToString(files);
            for (std::size_t k = 0; k < 2; ++k) {
                const std::vector<double> saved = FileSamples(OutPath(files[k]), iFormat, c.iRecordBytes);
                ASSERT_EQ(saved.size(), expected[k].size()) << files[k];
                const auto [it, itExpected] = std::ranges::mismatch(
                    saved, expected[k], [](double a, double b) { return std::abs(a - b) <= 1e-9; });
                EXPECT_TRUE(it == saved.end()) << files[k] << ": first at point " << (it - saved.begin()) << ", "
                                               << *it << " instead of " << *itExpected;
            }
        }
    }
    EXPECT_EQ(WindowLog::Text().find("Error"), std::string::npos) << WindowLog::Text();
}

INSTANTIATE_TEST_SUITE_P(Models, WaveformFilesTableTest, ::testing::ValuesIn(ModelCases),
                         [](const ::testing::TestParamInfo<uModelCase>& info) { return std::string(info.param.sName); });

} // namespace
} // namespace WaveformWindowTest
