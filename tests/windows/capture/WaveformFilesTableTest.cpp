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

// A simulated oscilloscope of one maker, and the volts of channel c's samples as its guide has
// them, for a read of the source (the window's name of it) that has just ended.
struct uScope {
    static constexpr std::int64_t Depth = 3000; // the memory's points
    virtual ~uScope() = default;
    virtual std::vector<double> Volts(int iChannel, const std::string& sSource) = 0;
};

// Rigol: volts = (code - YORigin - YREFerence) x YINCrement, from ":WAV:PRE?" fields 8 to 10.
struct uRigol : uScope {
    Sim::RigolScope scope;
    double dIncrement = 0, dOrigin = 0, dReference = 0;
    uRigol(Sim::RigolScope::eFamily family, Sim::ScpiDevice& device, int iLast) : scope(family) {
        scope.Attach(device);
        scope.ShowChannel(iLast, true);
        scope.SetMemoryDepth(Depth);
        const std::vector<std::string> f = Split(Ask(device, ":WAV:PRE?"), ',');
        EXPECT_EQ(f.size(), 10u);
        dIncrement = std::stod(f.at(7));
        dOrigin = std::stod(f.at(8));
        dReference = std::stod(f.at(9));
    }
    std::vector<double> Volts(int c, const std::string& sSource) override {
        const std::int64_t iPoints = sSource == "Screen" ? scope.ScreenPoints() : Depth;
        std::vector<double> m;
        for (std::size_t i = 0; i < static_cast<std::size_t>(iPoints); ++i)
            m.push_back((Sim::RigolScope::AnalogSample(c, i) - dOrigin - dReference) * dIncrement);
        return m;
    }
};

// Siglent: volts = code / codes per division x gain x probe - offset x probe, from the descriptor
// (gain at 156, offset at 160, codes per division at 164, probe at 328); BYTE codes are signed.
struct uSiglent : uScope {
    Sim::SiglentScope scope;
    uSiglent(Sim::SiglentScope::eModel model, Sim::ScpiDevice& device, int iLast) : scope(model) {
        scope.Attach(device);
        scope.ShowChannel(iLast, true);
        scope.SetMemoryDepth(Depth);
        scope.SetProbe(10.0f);
    }
    std::vector<double> Volts(int c, const std::string&) override {
        EXPECT_EQ(scope.Width(), "BYTE");
        const std::vector<std::uint8_t> d = scope.Descriptor("C" + std::to_string(c));
        const auto at = [&](std::size_t o) {
            float f;
            std::memcpy(&f, d.data() + o, sizeof f);
            return static_cast<double>(f);
        };
        std::vector<double> m;
        for (std::size_t i = 0; i < static_cast<std::size_t>(Depth); ++i) {
            const double dCode = static_cast<std::int8_t>(static_cast<std::uint16_t>(Sim::SiglentScope::Sample(c, i)) >> 8);
            m.push_back(dCode / at(164) * at(156) * at(328) - at(160) * at(328));
        }
        return m;
    }
};

// R&S: volts = YORigin + YINCrement x code, from ":CHAN<n>:DATA:YOR?" and ":YINC?"; 8-bit codes
// are the high bytes of the simulator's 16-bit values. The screen has 1200 points, the memory
// (DMAX or MAX) its depth.
struct uRtb : uScope {
    Sim::RtbScope scope;
    Sim::ScpiDevice& device;
    std::map<int, std::pair<double, double>> scale;
    uRtb(bool fFour, Sim::ScpiDevice& d, int iLast) : scope(fFour), device(d) {
        scope.Attach(device);
        scope.ShowChannel(iLast, true);
        scope.SetMemoryDepth(Depth);
        for (int c : {1, iLast}) {
            const std::string sChannel = ":CHAN" + std::to_string(c) + ":DATA:";
            scale[c] = {std::stod(Ask(device, sChannel + "YOR?")), std::stod(Ask(device, sChannel + "YINC?"))};
        }
    }
    std::vector<double> Volts(int c, const std::string& sSource) override {
        const bool fWide = sSource.find("10 bit") != std::string::npos;
        EXPECT_EQ(scope.Format(), fWide ? "UINT,16" : "UINT,8");
        const std::int64_t iPoints = sSource.rfind("Screen", 0) == 0 ? 1200 : Depth;
        std::vector<double> m;
        for (std::size_t i = 0; i < static_cast<std::size_t>(iPoints); ++i) {
            const std::uint16_t iValue = Sim::RtbScope::Value(c, i);
            m.push_back(scale[c].first + scale[c].second * (fWide ? iValue : iValue >> 8));
        }
        return m;
    }
};

// HAMEG: volts = (code - YREF) x YINC + YOR, from the description items behind the trace.
struct uHameg : uScope {
    Sim::HamegScope scope;
    uHameg(Sim::ScpiDevice& device, int iLast) : scope(Sim::HamegScope::eModel::HM2008) {
        scope.Attach(device);
        scope.SetCatalogue("CH1,CH" + std::to_string(iLast));
        scope.SetMemoryDepth(2 * Depth); // DMAX is half of it
    }
    std::vector<double> Volts(int c, const std::string&) override {
        const std::string sTrace = "CH" + std::to_string(c);
        std::map<std::string, double> items;
        for (const std::string& sItem : Split(scope.Description(sTrace), ';')) {
            const std::vector<std::string> words = Split(sItem, ' ');
            if (words.size() == 2 && words[0].rfind(":TRAC:Y", 0) == 0 && words[0] != ":TRAC:YUN")
                items[words[0]] = std::stod(words[1]);
        }
        std::vector<double> m;
        for (std::size_t i = 0; i < static_cast<std::size_t>(scope.Points()); ++i)
            m.push_back((Sim::HamegScope::Sample(sTrace, i) - items.at(":TRAC:YREF")) * items.at(":TRAC:YINC") +
                        items.at(":TRAC:YOR"));
        return m;
    }
};

struct uModelCase {
    const char* sName;
    const char* sMaker; // the maker and model chosen in the add form
    const char* sModel;
    std::int64_t eModel; // what the program makes of them
    int iLast;                // "Channel 1" and "Channel <iLast>" are read
    std::size_t iRecordBytes; // a BIN record: row number, time and the writer's values
    std::function<std::unique_ptr<uScope>(Sim::ScpiDevice&, int)> make;
};

std::ostream& operator<<(std::ostream& out, const uModelCase& c) { return out << c.sName; }

template <auto Family> std::unique_ptr<uScope> Rigol(Sim::ScpiDevice& d, int iLast) {
    return std::make_unique<uRigol>(Family, d, iLast);
}
template <auto Model> std::unique_ptr<uScope> Siglent(Sim::ScpiDevice& d, int iLast) {
    return std::make_unique<uSiglent>(Model, d, iLast);
}
template <bool Four> std::unique_ptr<uScope> Rtb(Sim::ScpiDevice& d, int iLast) {
    return std::make_unique<uRtb>(Four, d, iLast);
}
std::unique_ptr<uScope> Hameg(Sim::ScpiDevice& d, int iLast) { return std::make_unique<uHameg>(d, iLast); }

using Family = Sim::RigolScope::eFamily;
using SiglentModel = Sim::SiglentScope::eModel;
constexpr const char* Rigol_ = "Rigol Technologies";
constexpr const char* Siglent_ = "Siglent Technologies";
constexpr const char* Rs_ = "Rohde & Schwarz";
// The four-channel RTB2000 and SDS2000X Plus are named by their own model numbers, which the
// model table takes for the four-channel models.
const uModelCase ModelCases[] = {
    {"DS1000Z", Rigol_, "DS1000Z", ModelRigolDS1000Z, 4, 20, Rigol<Family::DS1000Z>},
    {"DS1000ZPlus", Rigol_, "MSO1000Z", ModelRigolDS1000ZPlus, 3, 20, Rigol<Family::DS1000ZPlus>},
    {"DS2000", Rigol_, "DS2000", ModelRigolDS2000, 2, 20, Rigol<Family::DS2000>},
    {"MSO2000", Rigol_, "MSO2000", ModelRigolMSO2000, 2, 20, Rigol<Family::MSO2000>},
    {"RTB2002", Rs_, "RTB2000", ModelRohdeSchwarzRTB2000Ch2, 2, 20, Rtb<false>},
    {"RTB2004", Rs_, "RTB2004", ModelRohdeSchwarzRTB2000Ch4, 4, 20, Rtb<true>},
    {"SDS2102XPlus", Siglent_, "SDS2000X Plus", ModelSiglentSDS2000XPlusCh2, 2, 20,
     Siglent<SiglentModel::SDS2102XPlus>},
    {"SDS2104XPlus", Siglent_, "SDS2104X Plus", ModelSiglentSDS2000XPlusCh4, 4, 20,
     Siglent<SiglentModel::SDS2104XPlus>},
    // The HAMEG BIN record carries a second value field, always 0, behind the sample.
    {"HM2008", "HAMEG", "HM2008", ModelHamegHM2008, 2, 28, Hameg},
};

// The samples of a saved file: CSV rows after the column line, or BIN records after the header.
std::vector<double> FileSamples(const std::string& sPath, std::int64_t iFormat, std::size_t iRecordBytes) {
    QFile f(QString::fromStdString(sPath));
    EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << sPath;
    const QByteArray bytes = f.readAll();
    std::vector<double> samples;
    if (iFormat == 3) {
        EXPECT_TRUE(bytes.startsWith("DATA OFFSET")) << sPath;
        std::int32_t iHeader = 0;
        if (bytes.size() < 15) return samples;
        std::memcpy(&iHeader, bytes.constData() + 11, sizeof iHeader);
        const qsizetype iData = bytes.size() - iHeader;
        EXPECT_TRUE(iHeader > 15 && iData >= 0 && iData % static_cast<qsizetype>(iRecordBytes) == 0)
            << sPath << ": header " << iHeader << ", size " << bytes.size();
        for (qsizetype o = iHeader; o + static_cast<qsizetype>(iRecordBytes) <= bytes.size();
             o += static_cast<qsizetype>(iRecordBytes)) {
            std::int32_t iRow = 0;
            double dValue = 0;
            std::memcpy(&iRow, bytes.constData() + o, sizeof iRow);
            std::memcpy(&dValue, bytes.constData() + o + 12, sizeof dValue);
            EXPECT_EQ(iRow, static_cast<std::int32_t>(samples.size() + 1)) << sPath;
            samples.push_back(dValue);
        }
        return samples;
    }
    const char cSeparator = iFormat == 2 ? ';' : ',';
    bool fRows = false;
    for (const std::string& sLine : Split(bytes.toStdString(), '\n')) {
        const std::string s = !sLine.empty() && sLine.back() == '\r' ? sLine.substr(0, sLine.size() - 1) : sLine;
        if (fRows) {
            const std::vector<std::string> fields = Split(s, cSeparator);
            EXPECT_EQ(fields.size(), 3u) << sPath << ": " << s;
            if (fields.size() == 3) samples.push_back(std::stod(fields[2]));
        } else {
            fRows = s.rfind("Number" + std::string(1, cSeparator), 0) == 0;
        }
    }
    return samples;
}

class WaveformFilesTableTest : public WaveformWindowTest, public ::testing::WithParamInterface<uModelCase> {
  protected:
    std::string ConfigText() override { return "[General]\n"; }
};

TEST_P(WaveformFilesTableTest, EachSourceAndFormatHoldsTheSimulatorsSamplesInVolts) {
    const uModelCase& c = GetParam();
    const std::unique_ptr<uScope> pScope = c.make(server.Device(), c.iLast);
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
        const std::vector<double> expected[] = {pScope->Volts(1, sSource), pScope->Volts(c.iLast, sSource)};
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
            std::vector<std::string> files; // the two channels', the first channel's name first
            for (const std::string& s : OutFiles())
                if (std::find(before.begin(), before.end(), s) == before.end()) files.push_back(s);
            ASSERT_EQ(files.size(), 2u) << ::testing::PrintToString(files);
            for (std::size_t k = 0; k < 2; ++k) {
                const std::vector<double> saved = FileSamples(OutPath(files[k]), iFormat, c.iRecordBytes);
                ASSERT_EQ(saved.size(), expected[k].size()) << files[k];
                std::size_t iWrong = 0, iFirstWrong = 0;
                for (std::size_t i = 0; i < saved.size(); ++i) {
                    if (std::abs(saved[i] - expected[k][i]) <= 1e-9) continue;
                    if (iWrong++ == 0) iFirstWrong = i;
                }
                EXPECT_EQ(iWrong, 0u) << files[k] << ": first at point " << iFirstWrong << ", "
                                      << saved[iFirstWrong] << " instead of " << expected[k][iFirstWrong];
            }
        }
    }
    EXPECT_EQ(WindowLog::Text().find("Error"), std::string::npos) << WindowLog::Text();
}

INSTANTIATE_TEST_SUITE_P(Models, WaveformFilesTableTest, ::testing::ValuesIn(ModelCases),
                         [](const ::testing::TestParamInfo<uModelCase>& info) { return std::string(info.param.sName); });

} // namespace
} // namespace WaveformWindowTest
