// The waveform window reads records whole or writes nothing of them: a Rigol memory of 24
// million points read to its last sample, chained answers sent as messages of their own saved as
// the joined ones are, and a channel whose preamble never came left out while the others are
// saved, and a deep Siglent memory read in the pieces its MAXPoint allows. End to end over raw
// TCP against the simulated oscilloscopes.
#include "WaveformWindowTestSupport.h"

#include "sim/RigolScope.h"
#include "sim/RtbScope.h"
#include "sim/SiglentScope.h"

#include <QFile>

#include <algorithm>

namespace WaveformWindowTest {
namespace {

class WaveformWholeRecordTest : public WaveformWindowTest {
  protected:
    std::string ConfigText() override { return "[General]\n"; }

    // "Waveform", then "Save..." under sName: the files it wrote, their contents by name. The
    // save says "saved", or (sShort) why the read lacks a channel before the files.
    std::map<std::string, std::string> ReadAndSave(int iWindow, const std::string& sName,
                                                   const std::string& sShort = "") {
        G(iWindow).pRead->click();
        EXPECT_TRUE(WaitIdle(iWindow, 280000));
        const std::vector<std::string> before = OutFiles();
        AnswerFileDialog(OutPath(sName + ".csv"));
        W(iWindow).SetStatus("");
        G(iWindow).pSave->click();
        EXPECT_TRUE(WaitFor([&] { return !W(iWindow).pump.fSaving; }, 120000));
        EXPECT_EQ(W(iWindow).Status().rfind(sShort.empty() ? "The data has been saved." : sShort + " - Saved: ", 0), 0u)
            << W(iWindow).Status();
        std::map<std::string, std::string> files;
        for (const std::string& s : OutFiles()) {
            if (std::find(before.begin(), before.end(), s) != before.end()) continue;
            QFile f(QString::fromStdString(OutPath(s)));
            EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << s;
            files[s.substr(sName.size())] = f.readAll().toStdString();
        }
        return files;
    }

    // The same read joined and as separate messages: the same files, byte for byte.
    void ExpectSeparateAsJoined(int iWindow, std::size_t iFiles) {
        const auto joined = ReadAndSave(iWindow, "joined");
        server.Device().SetSeparateAnswers(30);
        const auto separate = ReadAndSave(iWindow, "separate");
        ASSERT_EQ(joined.size(), iFiles) << WindowLog::Text();
        ASSERT_EQ(separate.size(), iFiles) << WindowLog::Text();
        for (const auto& [sName, sBytes] : joined) {
            ASSERT_TRUE(separate.count(sName)) << sName;
            EXPECT_TRUE(separate.at(sName) == sBytes) << sName;
            EXPECT_GT(sBytes.size(), 1000u) << sName;
        }
        EXPECT_EQ(WindowLog::Text().find("incomplete"), std::string::npos) << WindowLog::Text();
    }
};

TEST_F(WaveformWholeRecordTest, AStoppedDS1000ZMemoryOf24MillionPointsIsReadToItsLastSample) {
    Sim::RigolScope scope(Sim::RigolScope::eFamily::DS1000Z);
    scope.Attach(server.Device());
    scope.SetMemoryDepth(24000000);
    scope.SetDepthAuto(true); // the length comes from sample rate and time base
    const int iWindow = OpenToRead("Memory");
    G(iWindow).pRead->click();
    ASSERT_TRUE(WaitIdle(iWindow, 280000));
    ASSERT_TRUE(W(iWindow).pump.pRecord);
    ASSERT_EQ(W(iWindow).pump.pRecord->Channels.size(), 2u) << WindowLog::Text();
    const uWaveformRecordChannel& channel = W(iWindow).pump.pRecord->Channels[1];
    constexpr std::size_t Points = 24000000;
    EXPECT_EQ(channel.iTotalPoints, static_cast<std::int64_t>(Points));
    const std::string_view sData = channel.pData.view();
    ASSERT_GT(sData.size(), 11 + Points);
    EXPECT_EQ(sData.substr(0, 11), "#9024000000");
    EXPECT_EQ(static_cast<std::uint8_t>(sData[11]), Sim::RigolScope::AnalogSample(1, 0));
    EXPECT_EQ(static_cast<std::uint8_t>(sData[11 + Points - 1]), Sim::RigolScope::AnalogSample(1, Points - 1));
    std::size_t iWrong = 0;
    for (std::size_t i = 0; i < Points; ++i)
        iWrong += static_cast<std::uint8_t>(sData[11 + i]) != Sim::RigolScope::AnalogSample(1, i) ? 1 : 0;
    EXPECT_EQ(iWrong, 0u);
    // The last part's preamble and unit follow the samples.
    EXPECT_EQ(sData.substr(11 + Points, 3), ";0,");
    EXPECT_NE(sData.find(";VOLT", 11 + Points), std::string_view::npos);
    const std::vector<std::string> sent = server.Device().Commands();
    EXPECT_NE(std::find(sent.begin(), sent.end(), ":WAV:STOP 24000000"), sent.end());
}

// A Siglent memory of 2.5 M points whose pieces may hold all, half or a quarter of it
// (":WAV:MAXP?"): read in such pieces, each behind the last, and saved as CSV and BIN byte for
// byte as the memory read in one piece. (Six reads and saves of a deeper memory take minutes with
// the sanitizers on a busy machine; the 24 M-point read above covers depth.)
TEST_F(WaveformWholeRecordTest, ADeepSiglentMemoryIsReadInThePiecesItsMaxPointAllowsAndSavedExact) {
    constexpr std::int64_t Points = 2500000;
    Sim::SiglentScope scope(Sim::SiglentScope::eModel::SDS2104XPlus);
    scope.Attach(server.Device());
    scope.SetMemoryDepth(Points);
    const int iWindow = OpenToRead("Memory");
    std::map<std::string, std::size_t> whole; // the hashes of the one-piece files
    for (const std::int64_t iMost : {Points, Points / 2, Points / 4}) {
        scope.SetMaxPoint(iMost);
        const std::size_t iAsked = scope.DataRequests().size();
        for (const int iIndex : {0, 2}) { // CSV, BIN
            W(iWindow).pFormat->setCurrentIndex(iIndex);
            const auto files = ReadAndSave(iWindow, std::to_string(iMost));
            ASSERT_EQ(files.size(), 1u) << WindowLog::Text();
            const std::size_t iHash = std::hash<std::string>{}(files.begin()->second);
            EXPECT_EQ(whole.emplace(files.begin()->first, iHash).first->second, iHash) << iMost;
        }
        EXPECT_EQ(scope.DataRequests().size() - iAsked, static_cast<std::size_t>(2 * Points / iMost));
        EXPECT_EQ(scope.DataRequests().back(), "C1 " + std::to_string(Points - iMost) + " " + std::to_string(iMost));
    }
}

TEST_F(WaveformWholeRecordTest, RigolAnswersAsSeparateMessagesGiveTheFilesOfTheJoinedAnswer) {
    Sim::RigolScope scope(Sim::RigolScope::eFamily::DS1000ZPlus);
    scope.Attach(server.Device());
    scope.ShowChannel(2, true);
    scope.SetMemoryDepth(300000); // two parts, the preamble and unit behind the last
    const int iWindow = OpenToRead("Memory", {"Channel 1", "Channel 2"});
    ExpectSeparateAsJoined(iWindow, 2);
}

TEST_F(WaveformWholeRecordTest, RtbAnswersAsSeparateMessagesGiveTheFilesOfTheJoinedAnswer) {
    Sim::RtbScope rtb(true);
    rtb.Attach(server.Device());
    rtb.ShowChannel(2, true);
    const int iWindow = OpenToRead("Screen", {"Channel 1", "Channel 2"});
    ExpectSeparateAsJoined(iWindow, 2);
}

// A channel whose chained answer misses an answer fails alone, named with the time-out that cut
// it beside the files of the others: a screen read without Channel 2's preamble, saved by hand,
// to the folder, and in a run whose counts take in every file it left; then a memory read in four
// parts whose Channel 1 unit never comes, asked by its last part only: no line names Channel 2.
TEST_F(WaveformWholeRecordTest, AChannelWithoutItsPreambleIsNotSavedAndTheOthersAre) {
    Sim::RigolScope scope(Sim::RigolScope::eFamily::DS1000ZPlus);
    scope.Attach(server.Device());
    scope.ShowChannel(2, true);
    scope.ShowChannel(3, true);
    scope.SetSilentPreamble("CHAN2");
    // A joined answer short of an answer is read on until the time-out.
    ConnectMain(1000);
    const int iWindow = OpenWaveform();
    Refresh(iWindow);
    for (const char* s : {"Channel 1", "Channel 2", "Channel 3"}) Tick(iWindow, s);
    ChooseSource(iWindow, "Screen");
    const std::string sCut = " - The data could not be received. The time-out (1000 ms) cut the answer after ";
    const std::string sShort = "Channel 2" + sCut + "1222 bytes, answers received / expected: 3 / 4.";
    const auto files = ReadAndSave(iWindow, "trace", sShort);
    const std::string sLog = WindowLog::Text();
    std::vector<std::string> names;
    for (const auto& entry : files) names.push_back(entry.first);
    EXPECT_EQ(names, (std::vector<std::string>{" Screen CHAN1.csv", " Screen CHAN3.csv"}));
    EXPECT_NE(sLog.find("The waveform are saved: " + OutPath("trace Screen CHAN3.csv")), std::string::npos);
    EXPECT_EQ(sLog.find("CHAN2.csv"), std::string::npos);
    W(iWindow).sAutomaticFolder = OutPath();
    G(iWindow).pSaveToFolder->click(), G(iWindow).pRead->click();
    ASSERT_TRUE(WaitIdle(iWindow));
    EXPECT_EQ(W(iWindow).Status().rfind(sShort + " - Saved: " + OutPath(), 0), 0u) << W(iWindow).Status();
    const std::size_t iBefore = OutFiles().size();
    ReadAutomatically(iWindow, "10");
    ASSERT_TRUE(WaitFor([&] { return W(iWindow).pump.iPartFiles >= 4; }));
    G(iWindow).pCancel->click();
    ASSERT_TRUE(WaitFor([&] { return !W(iWindow).pump.fSaveStopped && Idle(iWindow); }));
    EXPECT_EQ(W(iWindow).Status(), "The automatic reading was cancelled. Waveforms: 0 - Saved: 0 and " +
                                       std::to_string(OutFiles().size() - iBefore) +
                                       " files of reads saved in part - " + sShort);
    // A run whose second read is cut at Channel 1 stops by itself: its status tells that read alone
    // and what the run kept, never the first read's Channel 2.
    const auto o = Sim::RigolScope::eDataFault::None;
    scope.SetDataFaults({o, o, o, Sim::RigolScope::eDataFault::CutOff});
    G(iWindow).pRead->click();
    ASSERT_TRUE(WaitFor([&] { return !W(iWindow).pump.fAutomatic && Idle(iWindow); }));
    EXPECT_EQ(W(iWindow).Status(), "The automatic reading stopped: Channel 1 - The time-out (1000 ms) cut the answer "
                                   "after 680 bytes. Not read: Channel 2, Channel 3. Waveforms: 0 - Saved: 0 and 2 "
                                   "files of reads saved in part");
    G(iWindow).pSaveToFolder->click(); // the stop unticked "Automatically"
    // Nothing of the short answer is left for the next request: the next read is whole.
    scope.SetSilentPreamble("");
    const auto again = ReadAndSave(iWindow, "again");
    EXPECT_EQ(again.size(), 3u) << WindowLog::Text();
    server.Device().SilenceQuery("CHAN1:UNIT?");
    scope.SetMemoryDepth(1000000);
    Tick(iWindow, "Channel 3", false);
    ChooseSource(iWindow, "Memory");
    const auto asked = [&] { return std::ranges::count(server.Device().Commands(), std::string(":CHAN1:UNIT?")); };
    const auto iAsked = asked();
    WindowLog::Clear(0);
    const auto memory =
        ReadAndSave(iWindow, "memory", "Channel 1" + sCut + "250073 bytes, answers received / expected: 2 / 3.");
    EXPECT_TRUE(memory.size() == 1 && memory.count(" Memory CHAN2.csv")) << WindowLog::Text();
    EXPECT_EQ(WindowLog::Text().find("Error: " + W(iWindow).info.sModel + " - Channel 2"), std::string::npos);
    EXPECT_EQ(asked() - iAsked, 1);
}

} // namespace
} // namespace WaveformWindowTest
