// The waveform window end to end: a main window connected over raw TCP to the simulated Rigol
// DS1000Z Plus or R&S RTB2000 opens it, "Refresh" lists the traces, "Waveform" reads them, and
// "Save..." and the automatic run write files whose values are the simulator's samples.
#include "WaveformWindowTestSupport.h"

#include "common/UtilityGui.h"
#include "sim/RigolScope.h"
#include "sim/RtbScope.h"
#include "sim/SiglentScope.h"
#include "waveform/WaveformDataRigol.h"

#include <QFile>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QRegularExpression>
#include <QScrollArea>
#include <QScrollBar>
#include <QTextStream>

#include <atomic>
#include <cmath>
#include <condition_variable>
#include <fstream>
#include <mutex>
#include <map>
#include <set>
#include <sstream>
#include <sys/stat.h>

namespace WaveformWindowTest {
namespace {

// The rows of a waveform CSV file: the preamble lines by name and the samples in volts.
struct uCsv {
    std::map<std::string, std::string> preamble;
    std::vector<double> samples;
};

uCsv ReadCsv(const std::string& sPath, char cSeparator) {
    uCsv csv;
    QFile f(QString::fromStdString(sPath));
    EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << sPath;
    std::istringstream in(f.readAll().toStdString());
    std::string sLine;
    bool fSamples = false;
    while (std::getline(in, sLine)) {
        if (!sLine.empty() && sLine.back() == '\r') sLine.pop_back();
        const auto iAt = sLine.find(cSeparator);
        if (iAt == std::string::npos) continue;
        if (fSamples) {
            const auto iLast = sLine.rfind(cSeparator);
            std::string sValue = sLine.substr(iLast + 1);
            std::replace(sValue.begin(), sValue.end(), ',', '.');
            csv.samples.push_back(std::stod(sValue));
        } else if (sLine.rfind("Preamble ", 0) == 0) {
            csv.preamble[sLine.substr(9, iAt - 9)] = sLine.substr(iAt + 1);
        } else if (sLine.rfind("Number", 0) == 0) {
            fSamples = true;
        }
    }
    return csv;
}

double Number(const std::string& s) {
    std::string t = s;
    std::replace(t.begin(), t.end(), ',', '.');
    return std::stod(t);
}

// Every sample of the file equals the simulator's byte for channel c, scaled by the preamble.
void ExpectRigolSamples(const std::string& sPath, int iChannel, std::size_t iPoints, char cSeparator = ',') {
    const uCsv csv = ReadCsv(sPath, cSeparator);
    ASSERT_EQ(csv.samples.size(), iPoints) << sPath;
    const double dIncrement = Number(csv.preamble.at("YIncrement"));
    const double dOrigin = Number(csv.preamble.at("YOrigin"));
    const double dReference = Number(csv.preamble.at("YReference"));
    for (std::size_t i = 0; i < iPoints; ++i) {
        const double dExpected = (Sim::RigolScope::AnalogSample(iChannel, i) - dOrigin - dReference) * dIncrement;
        ASSERT_NEAR(csv.samples[i], dExpected, 1e-6) << sPath << " point " << i;
    }
}

class WindowWaveformTest : public WaveformWindowTest {
  protected:
    std::string ConfigText() override { return sConfig; }
    void AttachRigol() {
        rigol.Attach(server.Device());
        rigol.ShowChannel(2, true);
        rigol.ShowLogic(true);
        rigol.ShowLine(3, true);
        rigol.SetLineLabel(3, "CLK");
    }
    std::size_t CommandsNow() { return server.Device().Commands().size(); }
    static std::size_t LogCount(const std::string& sText) {
        const std::string sLog = WindowLog::Text();
        std::size_t n = 0;
        for (std::size_t i = sLog.find(sText); i != std::string::npos; i = sLog.find(sText, i + 1)) ++n;
        return n;
    }
    static std::string ReadFile(const std::string& sPath) {
        std::ifstream file(sPath, std::ios::binary);
        std::ostringstream s;
        s << file.rdbuf();
        return s.str();
    }
    std::vector<std::string> CommandsSince(std::size_t iFirst) {
        const std::vector<std::string> all = server.Device().Commands();
        return {all.begin() + static_cast<std::ptrdiff_t>(std::min(iFirst, all.size())), all.end()};
    }
    static bool Has(const std::vector<std::string>& m, const std::string& s) {
        return std::find(m.begin(), m.end(), s) != m.end();
    }

    // See the two tests of a dropped connection below.
    void DroppedRun(bool fStaysAway) {
        AttachRigol();
        ConnectMain(3000);
        const int iWindow = OpenWaveform();
        Refresh(iWindow);
        Tick(iWindow, "Channel 1");
        const std::vector<std::string> rows = Rows(W(iWindow).pChannels);
        ReadAutomatically(iWindow, "50");
        ASSERT_TRUE(WaitFor([&] { return W(iWindow).pump.iCount >= 1; }, 60000));
        const int iPort = server.Port();
        if (fStaysAway) server.Stop(); // the instrument is gone: its port refuses
        else server.AddFault({Sim::eStreamFault::Close});
        ASSERT_TRUE(WaitFor([&] { return !W(iWindow).pump.fAutomatic; }, 60000));
        EXPECT_FALSE(G(iWindow).pAutomatic->isChecked());
        EXPECT_FALSE(W(iWindow).fAutomaticChecked);
        // First that the run stopped, then why: the connect that tried to open it again was
        // refused (said before the request), or the connection went away and was opened again.
        const std::string sStatus = W(iWindow).Status();
        EXPECT_EQ(sStatus.rfind(fStaysAway ? "The automatic reading stopped: The instrument could not be connected for "
                                           : "The automatic reading stopped: ",
                                0),
                  0u)
            << sStatus;
        EXPECT_NE(sStatus.find(fStaysAway ? "refused the connection on port " + std::to_string(iPort)
                                          : std::string("The connection to the instrument was interrupted.")),
                  std::string::npos)
            << sStatus;
        // Then what it kept, as Cancel says it.
        const std::string sStopped = " Waveforms: " + std::to_string(W(iWindow).pump.iCount);
        EXPECT_NE(sStatus.find(sStopped), std::string::npos) << sStatus;
        ASSERT_TRUE(WaitFor([&] { return G(iWindow).pRead->isEnabled(); }, 20000));
        Sim::RawTcpServer again(server.SharedDevice());
        if (fStaysAway) {
            ASSERT_TRUE(WaitFor([&] { return !Record(iMain)->info.fConnected; }, 20000)) << WindowLog::Text();
            EXPECT_EQ(Utility::StatusLabel(Record(iMain)->pStatusBar)->text().toStdString(),
                      "The connection to the instrument was interrupted. It could not be opened again; the next "
                      "request tries again.");
            EXPECT_FALSE(W(iWindow).info.fConnected);
            // The instrument is back at its address; the main window connects it as the list does.
            std::string sError;
            ASSERT_TRUE(again.Start(sError, "127.0.0.1", iPort)) << sError;
            EventHub::PostEvent(EventConnectInstrument, iMain, reinterpret_cast<std::intptr_t>(object.get()), 0,
                                EventHub::Payload::Of<InstrumentObject>(object));
            ASSERT_TRUE(WaitFor([&] { return W(iWindow).info.fConnected; }, 20000)) << WindowLog::Text();
        } else {
            // Opened again by the worker at once: the second connection the simulator took (its
            // listener takes it a moment after the worker's connect returned).
            EXPECT_TRUE(Record(iMain)->info.fConnected);
            EXPECT_TRUE(WaitFor([&] { return server.ConnectionsAccepted() >= 2; }, 20000));
            EXPECT_EQ(server.ConnectionsAccepted(), 2);
        }
        EXPECT_EQ(Rows(W(iWindow).pChannels), rows);
        EXPECT_EQ(W(iWindow).TickedChannels(), std::vector<std::int64_t>{WaveformChannel1});
        // The next read goes through at once.
        G(iWindow).pRead->click();
        ASSERT_TRUE(WaitIdle(iWindow));
        EXPECT_EQ(W(iWindow).Status().find("could not"), std::string::npos) << W(iWindow).Status();
        ASSERT_TRUE(W(iWindow).pump.pRecord);
        EXPECT_GE(W(iWindow).pump.pRecord->Channels.size(), 2u);
    }

    std::string sConfig = "[General]\n";
    Sim::RigolScope rigol{Sim::RigolScope::eFamily::DS1000ZPlus};

    // Connects a new main window (800 x 600) to the oscilloscope attached, opens the waveform
    // window in its area at the default size and refreshes: every channel row lies in sight in
    // the list, nothing has to scroll, and the window lies inside the area. So at the window's
    // minimum size too, where a tiling may leave it, with a scroll bar under the list.
    void ExpectEveryChannelInSight(int iTimeout) {
        ConnectMain(iTimeout);
        ASSERT_EQ(Record(iMain)->pFrame->size(), QSize(800, 600));
        const int iWindow = OpenWaveform();
        Refresh(iWindow);
        QTreeWidget* pList = W(iWindow).pChannels;
        std::vector<std::string> channels;
        for (const std::string& sRow : Rows(pList)) {
            if (sRow.rfind("Channel ", 0) == 0) channels.push_back(sRow);
        }
        EXPECT_EQ(channels, (std::vector<std::string>{"Channel 1", "Channel 2", "Channel 3", "Channel 4"}));
        QMdiSubWindow* pMdiFrame = ChildWindow::MdiFrame(iWindow);
        for (const bool fMinimum : {false, true}) {
            SCOPED_TRACE(fMinimum ? "at the minimum size" : "at the default size");
            if (fMinimum) {
                // With the scroll bar under the rows that a second column wider than the list brings.
                pMdiFrame->resize(pMdiFrame->minimumSize());
                pList->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
                Settle();
            }
            const QRect view = pList->viewport()->rect();
            for (int i = 0; i < pList->topLevelItemCount() && i < 4; ++i) {
                const QRect row = pList->visualItemRect(pList->topLevelItem(i));
                EXPECT_TRUE(view.contains(row)) << Rows(pList)[static_cast<std::size_t>(i)] << " at " << row.y() << "+"
                                                << row.height() << " in a view " << view.height() << " high";
            }
            for (QScrollArea* pArea : W(iWindow).pFrame->findChildren<QScrollArea*>()) {
                EXPECT_EQ(pArea->verticalScrollBar()->maximum(), 0);
                EXPECT_EQ(pArea->horizontalScrollBar()->maximum(), 0);
            }
            const QRect area = Record(iMain)->pMdiArea->viewport()->rect();
            EXPECT_TRUE(area.contains(pMdiFrame->geometry()));
        }
    }
};

TEST_F(WindowWaveformTest, ANewWindowShowsEveryChannelOfAFourChannelRigol) {
    Sim::RigolScope scope(Sim::RigolScope::eFamily::DS1000Z);
    scope.Attach(server.Device());
    for (int i = 1; i <= 4; ++i) scope.ShowChannel(i, true);
    ExpectEveryChannelInSight(60000);
}

TEST_F(WindowWaveformTest, ANewWindowShowsEveryChannelOfAFourChannelRtb) {
    Sim::RtbScope scope(true);
    scope.Attach(server.Device());
    for (int i = 1; i <= 4; ++i) scope.ShowChannel(i, true);
    ExpectEveryChannelInSight(60000);
}

TEST_F(WindowWaveformTest, ANewWindowShowsEveryChannelOfAFourChannelSiglent) {
    Sim::SiglentScope scope(Sim::SiglentScope::eModel::SDS2104XPlus);
    scope.Attach(server.Device());
    for (int i = 1; i <= 4; ++i) scope.ShowChannel(i, true);
    ExpectEveryChannelInSight(3000);
}

TEST_F(WindowWaveformTest, OpensInTheMdiAreaAndSeparatelyWithoutPreferences) {
    AttachRigol();
    ConnectMain();
    const int iMdi = OpenWaveform();
    ASSERT_NE(iMdi, 0);
    uWindowWaveform& w = W(iMdi);
    EXPECT_EQ(w.fMdi, 1);
    EXPECT_NE(ChildWindow::MdiFrame(iMdi), nullptr);
    EXPECT_EQ(w.pFrame->windowTitle().toStdString(), "Waveform");
    // Gadgets are made with "5" and "Seconds"; the preferences read at open replace both.
    EXPECT_EQ(G(iMdi).pInterval->text().toStdString(), "");
    EXPECT_EQ(G(iMdi).pUnit->currentText().toStdString(), "Milliseconds");
    EXPECT_EQ(w.sTemplate, "/O /Y/M/D-/H/N/S /U /C");
    EXPECT_EQ(G(iMdi).pPanel->tabText(0).toStdString(), "Waveform");
    EXPECT_EQ(G(iMdi).pPanel->tabText(1).toStdString(), "Options");
    std::vector<std::string> formats;
    for (int i = 0; i < w.pFormat->count(); ++i)
        formats.push_back(w.pFormat->itemText(i).toStdString() + "=" + w.pFormat->itemData(i).toString().toStdString());
    EXPECT_EQ(formats, (std::vector<std::string>{"CSV, Comma-separated values per channel=1",
                                                 "CSV, Semicolon-separated values per channel=2",
                                                 "BIN, Binary file per channel=3"}));
    EXPECT_EQ(w.pSource->currentText().toStdString(), "Screen");
    EXPECT_EQ(w.pSource->count(), 2);
    for (QPushButton* p : {G(iMdi).pRead.data(), G(iMdi).pCancel.data(), G(iMdi).pShow.data(), G(iMdi).pSave.data(),
                           G(iMdi).pFilename.data()}) {
        EXPECT_EQ(p->width(), w.iButtonColumn);
        EXPECT_GE(p->width(), 90);
    }
    EXPECT_TRUE(LogHas(w.info.sModel + " - Waveform SCPI Command: :CHAN1:DISP?")) << w.info.sModel;

    // One waveform window per main window: "&Waveform..." again brings the open one forward.
    Choose(iMain, WindowStart::MenuWaveform);
    EXPECT_EQ(ChildrenOf(iMain, WindowKindWaveform).size(), 1u);
    const std::int64_t iFirstCreation = w.iCreation;
    WindowWaveform::Close(iMdi);
    Settle();
    EXPECT_FALSE(WindowWaveform::GetInstance(iMdi, nullptr));
    const int iSeparate = OpenWaveform(true);
    ASSERT_NE(iSeparate, 0);
    EXPECT_EQ(W(iSeparate).fMdi, 0);
    EXPECT_EQ(ChildWindow::MdiFrame(iSeparate), nullptr);
    EXPECT_EQ(W(iSeparate).pFrame->windowTitle().toStdString(), "Waveform - " + W(iSeparate).info.sModel);
    EXPECT_TRUE(W(iSeparate).pFrame->isWindow());
    EXPECT_EQ(W(iSeparate).iCreation, iFirstCreation + 1);
    // A larger window gives the channel list the room; "Refresh" stays beside the source box.
    uWindowWaveform& s = W(iSeparate);
    EXPECT_GE(s.pFrame->minimumWidth(), s.iMinimumWidth);
    s.pFrame->resize(s.iMinimumWidth + 100, s.iMinimumHeight + 200);
    Settle();
    const int iListHeight = s.pChannels->height();
    s.pFrame->resize(s.iMinimumWidth + 100, s.iMinimumHeight + 400);
    ASSERT_TRUE(WaitFor([&] { return s.pChannels->height() >= iListHeight + 150; })) << s.pChannels->height();
    EXPECT_EQ(s.pRefresh->geometry().top(), s.pSource->geometry().top());
    EXPECT_EQ(s.pRefresh->geometry().left(), s.pSource->geometry().right() + 1 + 10);
    EXPECT_EQ(s.gadgets.pOptionList->width(), s.pChannels->width());
}

// The time-out given to the connected instrument holds: an answer slower than raw TCP's default
// of 2 s still comes in (the big transfers of the other tests rely on it under load).
TEST_F(WindowWaveformTest, AnAnswerSlowerThanTheDefaultTimeOutArrivesWithinTheGivenOne) {
    AttachRigol();
    ConnectMain();
    const int iWindow = OpenWaveform();
    server.AddFault({Sim::eStreamFault::Delay, 3000});
    Refresh(iWindow);
    EXPECT_EQ(Rows(W(iWindow).pChannels), (std::vector<std::string>{"Channel 1", "Channel 2", "Logic pod 1", "Logic pod 2"}))
        << WindowLog::Text();
    EXPECT_FALSE(LogHas("Error")) << WindowLog::Text();
}

TEST_F(WindowWaveformTest, RefreshListsTracesLogicLinesAndKeepsTicksAcrossRefills) {
    AttachRigol();
    ConnectMain();
    const int iWindow = OpenWaveform();
    Refresh(iWindow);
    QTreeWidget* pList = W(iWindow).pChannels;
    EXPECT_EQ(Rows(pList), (std::vector<std::string>{"Channel 1", "Channel 2", "Logic pod 1", "Logic pod 2"}));
    Tick(iWindow, "Channel 2");
    G(iWindow).pRead->click(); // the bytes of a read before are not the refresh's
    ASSERT_TRUE(WaitIdle(iWindow));
    rigol.ShowChannel(1, false);
    rigol.ShowChannel(3, true);
    Refresh(iWindow);
    const std::string sStatus = W(iWindow).Status(), sLead = "Data received, bytes: ";
    ASSERT_EQ(sStatus.rfind(sLead, 0), 0u) << sStatus;
    EXPECT_LE(sStatus.find(' ', sLead.size()) - sLead.size(), 3u) << sStatus; // under 1,000 bytes
    EXPECT_EQ(Rows(pList), (std::vector<std::string>{"Channel 2", "Channel 3", "Logic pod 1", "Logic pod 2"}));
    EXPECT_EQ(W(iWindow).TickedChannels(), std::vector<std::int64_t>{WaveformChannel2});
    EXPECT_TRUE(pList->selectedItems().isEmpty());
}

TEST_F(WindowWaveformTest, RtbRefreshShowsTheAcquireTypeAndLogicTextInTheSecondColumn) {
    Sim::RtbScope rtb(true);
    rtb.Attach(server.Device());
    rtb.ShowChannel(2, true);
    rtb.SetAcquireType("ENV");
    rtb.EnableProbe(1, true);
    rtb.ShowLine(1, true);
    rtb.ShowLine(4, true);
    ConnectMain();
    const int iWindow = OpenWaveform();
    Refresh(iWindow);
    QTreeWidget* pList = W(iWindow).pChannels;
    const std::vector<std::string> names = Rows(pList);
    const std::vector<std::string> seconds = Rows(pList, 1);
    ASSERT_EQ(names.size(), seconds.size());
    std::map<std::string, std::string> shown;
    for (std::size_t i = 0; i < names.size(); ++i) shown[names[i]] = seconds[i];
    EXPECT_EQ(shown["Channel 1"], "Envelope");
    EXPECT_EQ(shown["Channel 2"], "Envelope");
    // The RTB2000 lists its probe as a pod; only the merged logic entry carries line text.
    ASSERT_TRUE(shown.count("Logic pod 1")) << ::testing::PrintToString(names);
    EXPECT_EQ(shown["Logic pod 1"], "");
    EXPECT_EQ(W(iWindow).pSource->count(), 6);
}

TEST_F(WindowWaveformTest, SiglentRefreshShowsTheShownLogicLinesAndARunAsksAnUnansweredMaxPointOnce) {
    Sim::SiglentScope siglent(Sim::SiglentScope::eModel::SDS2104XPlus);
    siglent.Attach(server.Device());
    siglent.ShowLogic(true);
    siglent.ShowLine(5, true);
    siglent.ShowLine(7, true);
    ConnectMain(3000);
    const int iWindow = OpenWaveform();
    Refresh(iWindow);
    const std::vector<std::string> names = Rows(W(iWindow).pChannels);
    const auto it = std::find(names.begin(), names.end(), "Logic channels");
    ASSERT_NE(it, names.end()) << ::testing::PrintToString(names);
    EXPECT_EQ(Rows(W(iWindow).pChannels, 1)[static_cast<std::size_t>(it - names.begin())], "D5,D7");
    EXPECT_EQ(W(iWindow).pSource->count(), 1); // memory only

    siglent.SetMemoryDepth(20000), siglent.SetLineDepth(20000), siglent.SetMaxPointText("?");
    Tick(iWindow, "Channel 1"), Tick(iWindow, "Logic channels");
    const std::size_t iFirst = CommandsNow();
    ReadAutomatically(iWindow, "10");
    ASSERT_TRUE(WaitFor([&] { return W(iWindow).pump.iCount >= 3; }, 60000)) << WindowLog::Text();
    G(iWindow).pCancel->click();
    EXPECT_EQ(std::ranges::count(CommandsSince(iFirst), ":WAV:MAXP?"), 1);
    EXPECT_FALSE(LogHas("Error")) << WindowLog::Text();
    // A single read behind waits of 100 + 500 ms whose query goes unanswered (3 s): its time runs
    // from the button. Then the connection closes in place of the answer: no absence, the read ends.
    ASSERT_TRUE(WaitIdle(iWindow));
    for (const int iRow : {2000, 2003, 2004}) G(iWindow).pOptionList->SetChecked(iRow, true);
    ASSERT_TRUE(WaitFor([&] { return !G(iWindow).pOptionList->Pending(); }));
    G(iWindow).pAutomatic->click();
    const std::size_t iAnswers = server.AnswersSent(), iAsked = CommandsNow();
    G(iWindow).pRead->click();
    ASSERT_TRUE(WaitFor([&] { return Has(CommandsSince(iAsked), ":WAV:MAXP?"); }, 60000));
    const int iBefore = static_cast<int>(server.AnswersSent() - iAnswers); // the answers ahead of it
    ASSERT_TRUE(WaitIdle(iWindow));
    EXPECT_GE(QString::fromStdString(W(iWindow).Status()).section('(', -1).section(' ', 0, 0).remove(',').toInt(), 3600) << W(iWindow).Status();
    siglent.SetMaxPointText("");
    server.AddFault({Sim::eStreamFault::Close, 0, iBefore});
    G(iWindow).pRead->click();
    ASSERT_TRUE(WaitIdle(iWindow));
    EXPECT_NE(W(iWindow).Status().find("interrupted"), std::string::npos) << W(iWindow).Status();
}

TEST_F(WindowWaveformTest, ReadLocksTheGadgetsAndSaveWritesTheSimulatorsSamples) {
    AttachRigol();
    const int iWindow = OpenToRead("Screen", {"Channel 1", "Channel 2"});
    // Without a read there is nothing to save.
    G(iWindow).pSave->click();
    EXPECT_EQ(W(iWindow).Status(), "There is no data available for saving.");
    EXPECT_TRUE(LogHas(W(iWindow).info.sModel + " - There is no data available for saving."));

    const std::size_t iFirst = CommandsNow();
    G(iWindow).pRead->click();
    // Locked while the read runs, except "Cancel" and "Show...".
    EXPECT_FALSE(G(iWindow).pRead->isEnabled());
    EXPECT_FALSE(W(iWindow).pChannels->isEnabled());
    EXPECT_FALSE(G(iWindow).pOptionList->isEnabled());
    EXPECT_TRUE(G(iWindow).pCancel->isEnabled());
    EXPECT_TRUE(G(iWindow).pShow->isEnabled());
    ASSERT_TRUE(WaitIdle(iWindow));
    const std::vector<std::string> sent = CommandsSince(iFirst);
    EXPECT_TRUE(Has(sent, ":WAV:SOUR CHAN1")) << ::testing::PrintToString(sent);
    EXPECT_TRUE(Has(sent, ":WAV:SOUR CHAN2"));
    EXPECT_TRUE(Has(sent, ":WAV:MODE NORM"));
    EXPECT_TRUE(Has(sent, ":WAV:DATA?"));
    ASSERT_TRUE(W(iWindow).pump.pRecord);
    EXPECT_EQ(W(iWindow).pump.pRecord->Channels.size(), 3u);

    // "Save..." through the file dialog: the name typed, its extension replaced.
    std::string sTitle;
    AnswerFileDialog(OutPath("trace.txt"), &sTitle);
    G(iWindow).pSave->click();
    EXPECT_EQ(sTitle, "Save as");
    ASSERT_TRUE(WaitFor([&] { return W(iWindow).Status() == "The data has been saved."; }, 60000));
    EXPECT_EQ(OutFiles(), (std::vector<std::string>{"trace Screen CHAN1.csv", "trace Screen CHAN2.csv"}));
    const std::size_t iPoints = static_cast<std::size_t>(rigol.ScreenPoints());
    ExpectRigolSamples(OutPath("trace Screen CHAN1.csv"), 1, iPoints);
    ExpectRigolSamples(OutPath("trace Screen CHAN2.csv"), 2, iPoints);
    EXPECT_TRUE(LogHas("The waveform are saved: " + OutPath("trace Screen CHAN1.csv")));
    EXPECT_EQ(W(iWindow).sFolder, OutPath());
    EXPECT_EQ(ReadConfigValue("WindowWaveform", "Folder"), OutPath());
    EXPECT_TRUE(G(iWindow).pRead->isEnabled());
    // The end of a save by hand sends nothing more.
    const std::size_t iAfter = CommandsNow();
    EXPECT_TRUE(WaitIdle(iWindow));
    EXPECT_EQ(CommandsNow(), iAfter);

    // BIN: the same read as binary files.
    W(iWindow).pFormat->setCurrentIndex(2);
    W(iWindow).SetStatus("");
    AnswerFileDialog(OutPath("raw.csv"));
    G(iWindow).pSave->click();
    ASSERT_TRUE(WaitFor([&] { return W(iWindow).Status() == "The data has been saved."; }, 60000));
    EXPECT_TRUE(QFile::exists(QString::fromStdString(OutPath("raw Screen CHAN1.bin")))) << ::testing::PrintToString(OutFiles());
    EXPECT_EQ(W(iWindow).pump.pRecord->sTemplate, "raw /U /C.bin");

    // A pass that wrote no file (no channel to save) is no save: it says so, and the log too.
    const std::shared_ptr<uWaveformRecord> pRead = W(iWindow).pump.pRecord;
    W(iWindow).pump.pRecord = std::make_shared<uWaveformRecord>(*pRead);
    for (uWaveformRecordChannel& channel : W(iWindow).pump.pRecord->Channels) channel.eWaveform = WaveformNone;
    AnswerFileDialog(OutPath("none.csv"));
    G(iWindow).pSave->click();
    ASSERT_TRUE(WaitFor([&] { return !W(iWindow).pump.fSaving; }, 60000));
    EXPECT_EQ(W(iWindow).Status(), "No file was written: the record holds no channel to save.");
    EXPECT_TRUE(LogHas(W(iWindow).Prefix() + W(iWindow).Status()));
    W(iWindow).pump.pRecord = pRead;
    // A folder that is not there: no "saved", the path and the reason in the status line (and
    // its tool tip, for a narrow window), and the folder is not kept as the default.
    const std::vector<std::string> written = OutFiles();
    AnswerFileDialog(OutPath("missing/lost.csv"));
    G(iWindow).pSave->click();
    ASSERT_TRUE(WaitFor([&] { return !W(iWindow).pump.fSaving; }, 60000));
    const std::string sMissing =
        "The file could not be created: " + OutPath("missing/lost Screen CHAN1.bin") + " (No such file or directory)";
    EXPECT_NE(W(iWindow).Status().find(sMissing), std::string::npos) << W(iWindow).Status();
    // The reason first; the whole text as logged on hover.
    EXPECT_EQ(W(iWindow).Status().rfind("The file could not be created: ", 0), 0u) << W(iWindow).Status();
    const std::string sWhole = TestApplication::ToolTip(Utility::StatusLabel(W(iWindow).pStatusBar));
    EXPECT_NE(sWhole.find(sMissing), std::string::npos) << sWhole;
    EXPECT_TRUE(LogHas(sWhole)) << sWhole;
    EXPECT_EQ(LogCount(sMissing), 1u); // once, not by the writer and the window both
    EXPECT_EQ(W(iWindow).sFolder, OutPath());
    EXPECT_EQ(ReadConfigValue("WindowWaveform", "Folder"), OutPath());
    EXPECT_EQ(OutFiles(), written);
    // A default folder that has gone since: the proposal keeps its whole path.
    W(iWindow).sFolder = OutPath("gone/");
    std::string sProposal;
    WhenModal<QFileDialog>([&](QFileDialog* p) {
        sProposal = p->findChild<QLineEdit*>("fileNameEdit")->text().toStdString();
        p->reject();
    });
    G(iWindow).pSave->click();
    EXPECT_EQ(sProposal.rfind(OutPath("gone/"), 0), 0u) << sProposal;
}

// A save by hand whose first file is refused (a read-only file has its name) and whose second
// is written names both in the status line; then a save stopped by Cancel while its first file
// is written keeps both older files and says "not saved", never "saved".
TEST_F(WindowWaveformTest, APartSaveNamesWhatWasSavedAndAStoppedSaveKeepsTheOlderFiles) {
    AttachRigol();
    const int iWindow = OpenToRead("Screen", {"Channel 1", "Channel 2"});
    G(iWindow).pRead->click();
    ASSERT_TRUE(WaitIdle(iWindow));
    const std::string sFirst = OutPath("part Screen CHAN1.csv"), sSecond = OutPath("part Screen CHAN2.csv");
    { std::ofstream(sFirst, std::ios::binary) << "older 1"; }
    ASSERT_EQ(::chmod(sFirst.c_str(), 0444), 0);
    AnswerFileDialog(OutPath("part.csv"));
    G(iWindow).pSave->click();
    ASSERT_TRUE(WaitFor([&] { return W(iWindow).pump.fSaving; }, 10000));
    ASSERT_TRUE(WaitFor([&] { return !W(iWindow).pump.fSaving; }, 60000));
    const std::string sRefused =
        "WaveformData::SaveWaveformRigol: The file could not be created: " + sFirst + " (Permission denied)";
    // The status line leaves the writer's label out; the log keeps it.
    EXPECT_EQ(W(iWindow).Status(), sRefused.substr(sRefused.find("The file")) + " - Saved: " + sSecond);
    EXPECT_EQ(LogCount(sRefused), 1u);
    EXPECT_EQ(LogCount("The waveform are saved: " + sSecond), 1u);
    ASSERT_EQ(::chmod(sFirst.c_str(), 0644), 0);
    EXPECT_EQ(ReadFile(sFirst), "older 1");
    ExpectRigolSamples(sSecond, 2, static_cast<std::size_t>(rigol.ScreenPoints()));

    // The Rigol writer as it is, behind a gate that holds the first file until Cancel came.
    { std::ofstream(sSecond, std::ios::binary) << "older 2"; }
    std::mutex mutex;
    std::condition_variable cv;
    bool fAtGate = false, fOpen = false;
    WaveformData::SetWriter(WaveformData::WriterRigol, [&](const uWaveformRecordChannel& c,
                                                           const std::vector<uWaveformLogicLine>& lines,
                                                           const std::string& sName, std::int64_t iStart,
                                                           std::int64_t iEnd, const std::string& sMaker,
                                                           const std::string& sModel, std::int64_t iFormat,
                                                           WaveformDataInstance& instance, std::string& sError) {
        {
            std::unique_lock lock(mutex);
            fAtGate = true;
            cv.wait(lock, [&] { return fOpen; });
        }
        return WaveformData::SaveWaveformRigol(c, lines, sName, iStart, iEnd, sMaker, sModel, iFormat, instance,
                                               sError);
    });
    AnswerFileDialog(OutPath("part.csv"));
    G(iWindow).pSave->click();
    ASSERT_TRUE(WaitFor([&] { std::lock_guard lock(mutex); return fAtGate; }, 10000));
    ASSERT_TRUE(G(iWindow).pCancel->isEnabled());
    G(iWindow).pCancel->click();
    {
        std::lock_guard lock(mutex);
        fOpen = true;
    }
    cv.notify_all();
    const std::string sStopped = "Stopped, not saved: " + sFirst;
    const bool fEnded = WaitFor([&] { return W(iWindow).Status() == sStopped; }, 60000);
    WaveformWriters::Register();
    ASSERT_TRUE(fEnded) << W(iWindow).Status();
    EXPECT_EQ(ReadFile(sFirst), "older 1");
    EXPECT_EQ(ReadFile(sSecond), "older 2");
    EXPECT_EQ(OutFiles(), (std::vector<std::string>{"part Screen CHAN1.csv", "part Screen CHAN2.csv"}));
    EXPECT_EQ(LogCount(sStopped), 1u);
    EXPECT_EQ(LogCount("Stopped, not saved: " + sSecond), 1u);
    EXPECT_EQ(LogCount("The waveform are saved: "), 1u); // the first save's second file only
}

TEST_F(WindowWaveformTest, AutomaticRunSavesDistinctSetsUntilCancelLogsTheCount) {
    AttachRigol();
    ConnectMain();
    const int iWindow = OpenWaveform();
    Refresh(iWindow);
    Tick(iWindow, "Channel 1");
    AnswerFolderDialog(OutPath());
    G(iWindow).pSelectFolder->click();
    ASSERT_EQ(W(iWindow).sAutomaticFolder, OutPath());
    EXPECT_EQ(G(iWindow).pSelectFolder->toolTip().toStdString(), OutPath());
    G(iWindow).pSaveToFolder->click();
    // Every read of the day expands to the same name: each save after the first adds "-/Z".
    W(iWindow).sTemplate = "run /Y/M/D /U /C";
    ReadAutomatically(iWindow, "300");
    EXPECT_TRUE(LogHas(W(iWindow).info.sModel + " - The waveforms are read in automatically, every 300 Milliseconds"));
    EXPECT_TRUE(LogHas(W(iWindow).info.sModel + " - The waveforms are saved in the folder: " + OutPath()));
    ASSERT_TRUE(WaitFor([&] { return W(iWindow).pump.iCount >= 4 && !W(iWindow).pump.fSaving; }, 60000));
    EXPECT_FALSE(G(iWindow).pRead->isEnabled()); // the run holds the gadgets between reads
    // The folder gone (a file takes its name, as root too): the run goes on and says why saves fail.
    const std::int64_t iFrom = W(iWindow).pump.iCount, iSaved = W(iWindow).pump.iSaved;
    const std::string sReason = " - The file could not be created: " + OutPath("run ");
    ASSERT_TRUE(QDir().rename(out.path(), out.path() + ".away") && QFile(out.path()).open(QIODevice::WriteOnly));
    ASSERT_TRUE(WaitFor([&] { return W(iWindow).pump.iCount >= iFrom + 3 && W(iWindow).Status().find(sReason) != std::string::npos; }, 60000));
    EXPECT_EQ(W(iWindow).Status().rfind("Waveforms: " + std::to_string(W(iWindow).pump.iCount) + " - Saved: " + std::to_string(iSaved) + sReason, 0), 0u)
        << W(iWindow).Status();
    EXPECT_EQ(LogCount("The file could not be created: "), 1u);
    ASSERT_TRUE(QFile::remove(out.path()) && QDir().rename(out.path() + ".away", out.path())); // saved again:
    ASSERT_TRUE(WaitFor([&] { return W(iWindow).Status().find(sReason) == std::string::npos && !W(iWindow).pump.fSaving; }, 60000));
    // The next save has written its file when Cancel lets it go.
    std::atomic<bool> fWritten = false, fCancelled = false;
    WaveformData::SetWriter(WaveformData::WriterRigol, [&](auto&&... a) {
        const bool ok = WaveformData::SaveWaveformRigol(a...);
        fWritten = true, fCancelled.wait(false);
        return ok;
    });
    ASSERT_TRUE(WaitFor([&] { return fWritten.load(); }, 60000));
    G(iWindow).pCancel->click();
    fCancelled = true, fCancelled.notify_all();
    const std::int64_t iCount = W(iWindow).pump.iCount;
    // Cancelled in a save: the status says so and what the run kept, also once that save ended.
    const std::string sCancelled = "The automatic reading was cancelled. Waveforms: " + std::to_string(iCount) + " - Saved: ";
    EXPECT_EQ(W(iWindow).Status(), sCancelled + std::to_string(W(iWindow).pump.iSaved));
    ASSERT_TRUE(WaitFor([&] { return !W(iWindow).pump.fSaveStopped && EventHub::Pending() == 0; }));
    WaveformWriters::Register();
    EXPECT_EQ(W(iWindow).Status(), sCancelled + std::to_string(OutFiles().size())); // one file a read
    EXPECT_TRUE(LogHas("The automatic reading of the waveforms was stopped. Count: " + std::to_string(iCount)));
    ASSERT_TRUE(WaitIdle(iWindow));
    const std::vector<std::string> files = OutFiles();
    EXPECT_GE(files.size(), 3u);
    EXPECT_EQ(std::set<std::string>(files.begin(), files.end()).size(), files.size());
    const QRegularExpression later("^run \\d{8} Screen CHAN1-\\d{3}\\.csv$");
    EXPECT_GE(std::count_if(files.begin(), files.end(),
                            [&](const std::string& s) { return later.match(QString::fromStdString(s)).hasMatch(); }),
              2)
        << ::testing::PrintToString(files);
    for (const std::string& s : files) {
        EXPECT_EQ(s.rfind("run ", 0), 0u) << s;
        EXPECT_NE(s.find(" Screen CHAN1"), std::string::npos) << s;
        ExpectRigolSamples(OutPath(s), 1, static_cast<std::size_t>(rigol.ScreenPoints()));
    }
}

// Cancel in the save of a run's read of two channels lets it go: the status counts every file the
// run left, its reason that save's own. Rows by the writer's calls (a file in the folder's place
// refuses): the first file written, the second stopped; the first refused, the second written; the
// first save refused, the next written whole.
TEST_F(WindowWaveformTest, CancelInASaveCountsTheFilesItKeptAndItsOwnReason) {
    AttachRigol();
    const int iWindow = OpenToRead("Screen", {"Channel 1", "Channel 2"});
    G(iWindow).pSaveToFolder->click(), G(iWindow).pAutomatic->click(), G(iWindow).pInterval->setText("10");
    W(iWindow).sAutomaticFolder = OutPath();
    const std::string sOut = out.path().toStdString(), sAway = sOut + "~";
    for (const auto& [iAway, iBack, iGate, sReason] :
         {std::tuple{0, 0, 1, ""}, {1, 2, 2, " - The file could not be created: "}, {1, 3, 4, ""}}) {
        std::atomic<int> iCalls = 0; // the writer's calls that ended
        std::atomic<bool> fCancelled = false;
        WaveformData::SetWriter(WaveformData::WriterRigol, [&](auto&&... a) {
            if (iCalls + 1 == iAway) ::rename(sOut.c_str(), sAway.c_str()), std::ofstream(sOut);
            if (iCalls + 1 == iBack) ::unlink(sOut.c_str()), ::rename(sAway.c_str(), sOut.c_str());
            const bool ok = WaveformData::SaveWaveformRigol(a...);
            if (++iCalls == iGate) fCancelled.wait(false);
            return ok;
        });
        const std::size_t iBefore = OutFiles().size();
        G(iWindow).pRead->click();
        ASSERT_TRUE(WaitFor([&] { return iCalls == iGate; }, 60000));
        G(iWindow).pCancel->click(), fCancelled = true, fCancelled.notify_all();
        ASSERT_TRUE(WaitFor([&] { return !W(iWindow).pump.fSaveStopped && Idle(iWindow); }));
        const std::size_t iFiles = OutFiles().size() - iBefore;
        const std::string sWant =
            "The automatic reading was cancelled. Waveforms: " + std::to_string(W(iWindow).pump.iCount) +
            " - Saved: " + std::to_string(iFiles / 2) +
            (iFiles % 2 ? " and 1 file of reads saved in part" : "") + sReason + (*sReason ? OutPath() : "");
        EXPECT_EQ(W(iWindow).Status().substr(0, *sReason ? sWant.size() : std::string::npos), sWant);
    }
    WaveformWriters::Register();
}

// A model without a waveform reader or screen copy (a HAMEG model the program has no record
// for): the main window does not offer those windows, and a waveform window open all the same
// (as a workspace opens it) says so at "Waveform" and "Refresh" and sends nothing.
TEST_F(WindowWaveformTest, AModelThatCannotBeReadIsNotOfferedAndTheButtonsSaySo) {
    sUserMaker = "HAMEG";
    sUserModel = "HMO2024";
    server.Device().SetIdn("HAMEG,HMO2024,012345678,05.886");
    ConnectMain();
    EXPECT_FALSE(ShownItem(iMain, WindowStart::MenuWaveform)->isEnabled());
    EXPECT_FALSE(Button(iMain, WindowStart::MenuWaveform)->isEnabled());
    EXPECT_FALSE(ShownItem(iMain, WindowStart::MenuScreenshot)->isEnabled());
    EXPECT_FALSE(Button(iMain, WindowStart::MenuScreenshot)->isEnabled());
    EXPECT_TRUE(ShownItem(iMain, WindowStart::MenuScpiCommand)->isEnabled());
    WindowStart::OpenChildByKind(iMain, WindowKindWaveform, 1);
    Settle();
    const auto found = ChildrenOf(iMain, WindowKindWaveform);
    ASSERT_EQ(found.size(), 1u);
    const int iWindow = found[0].iWindow;
    ASSERT_TRUE(WaitFor([&] { return W(iWindow).info.fConnected; }, 20000));
    const std::size_t iBefore = CommandsNow();
    const std::string sSays = "This program cannot read a waveform from the HAMEG HMO2024.";
    G(iWindow).pRead->click();
    EXPECT_EQ(W(iWindow).Status(), sSays);
    W(iWindow).SetStatus("");
    W(iWindow).pRefresh->click();
    EXPECT_EQ(W(iWindow).Status(), sSays);
    Settle();
    EXPECT_EQ(CommandsNow(), iBefore);
    // Disconnected, the main window offers both again: the next instrument may read them.
    Button(iMain, WindowStart::MenuDisconnect)->trigger();
    ASSERT_TRUE(WaitFor([&] { return !Record(iMain)->info.fConnected; }));
    Settle();
    EXPECT_TRUE(WindowStart::FindMenuItem(Record(iMain)->pMenu, WindowStart::MenuWaveform)->isEnabled());
    EXPECT_TRUE(Button(iMain, WindowStart::MenuScreenshot)->isEnabled());
    ASSERT_TRUE(WaitFor([&] { return !W(iWindow).info.fConnected; }, 20000));
    W(iWindow).SetStatus("");
    G(iWindow).pRead->click();
    EXPECT_EQ(W(iWindow).Status(), "The instrument is not connected.");
}

TEST_F(WindowWaveformTest, StartRefusalsComeAsStatusAndAsRealMessageBoxes) {
    AttachRigol();
    ConnectMain();
    const int iWindow = OpenWaveform();
    Refresh(iWindow);
    G(iWindow).pRead->click();
    EXPECT_EQ(W(iWindow).Status(), "No channel has been selected.");
    Tick(iWindow, "Channel 1");
    G(iWindow).pAutomatic->click();
    const std::size_t iBefore = CommandsNow();
    std::string sText, sTitle;
    WhenModal<QMessageBox>([&](QMessageBox* p) {
        sText = p->text().toStdString();
        sTitle = p->windowTitle().toStdString();
        p->accept();
    });
    G(iWindow).pRead->click(); // the interval field is empty
    EXPECT_EQ(sText, "The interval setting is invalid.");
    EXPECT_EQ(sTitle, "Waveform");
    G(iWindow).pInterval->setText("1");
    G(iWindow).pSaveToFolder->click();
    WhenModal<QMessageBox>([&](QMessageBox* p) {
        sText = p->text().toStdString();
        p->accept();
    });
    G(iWindow).pRead->click();
    EXPECT_EQ(sText, "No folder was selected.");
    // The refusal starts nothing: the gadgets are free at once, and once the hub has delivered
    // what the click left, no timer runs and nothing went to the instrument.
    EXPECT_FALSE(W(iWindow).pump.fAutomatic);
    EXPECT_TRUE(G(iWindow).pRead->isEnabled());
    EXPECT_TRUE(WaitIdle(iWindow));
    EXPECT_EQ(CommandsNow(), iBefore); // neither refusal sent anything
}

TEST_F(WindowWaveformTest, EscapeInTheMdiChildCancelsALongMemoryReadAndTheNextReadIsRight) {
    AttachRigol();
    rigol.SetMemoryDepth(3000000);
    const int iWindow = OpenToRead("Memory");
    // 3000000 points come in twelve parts of 250000; Escape follows the first part's request.
    const std::size_t iFirst = CommandsNow();
    G(iWindow).pRead->click();
    const bool fUnderWay = WaitFor(
        [&] {
            const std::vector<std::string> sent = CommandsSince(iFirst);
            return Has(sent, ":WAV:DATA?") || W(iWindow).gadgets.pRead->isEnabled();
        },
        30000);
    // Escape reaches the MDI child through its main window's shortcut.
    QTest::keyClick(Record(iMain)->pFrame, Qt::Key_Escape);
    ASSERT_TRUE(fUnderWay);
    ASSERT_TRUE(WaitIdle(iWindow));
    const std::vector<std::string> sent = CommandsSince(iFirst);
    EXPECT_LT(std::count(sent.begin(), sent.end(), ":WAV:DATA?"), 12);
    EXPECT_TRUE(G(iWindow).pRead->isEnabled());
    EXPECT_TRUE(W(iWindow).pump.mOutstanding.empty() ||
                WaitFor([&] { return W(iWindow).pump.mOutstanding.empty(); }, 60000));

    rigol.SetMemoryDepth(600000);
    G(iWindow).pRead->click();
    ASSERT_TRUE(WaitIdle(iWindow, 120000));
    ASSERT_TRUE(W(iWindow).pump.pRecord);
    ASSERT_EQ(W(iWindow).pump.pRecord->Channels.size(), 2u);
    const uWaveformRecordChannel& channel = W(iWindow).pump.pRecord->Channels[1];
    EXPECT_EQ(channel.iTotalPoints, 600000);
    const std::string sData(channel.pData.view());
    ASSERT_GT(sData.size(), 11u + 600000u);
    for (std::size_t i = 0; i < 600000; i += 997)
        ASSERT_EQ(static_cast<std::uint8_t>(sData[11 + i]), Sim::RigolScope::AnalogSample(1, i)) << i;
}

TEST_F(WindowWaveformTest, CancelDuringASaveLeavesTheSaveItsRecordAndTheNextReadGoesOn) {
    AttachRigol();
    rigol.SetMemoryDepth(1200000);
    const int iWindow = OpenToRead("Memory");
    G(iWindow).pRead->click();
    ASSERT_TRUE(WaitIdle(iWindow, 120000));
    const std::weak_ptr<uWaveformRecord> pSaved = W(iWindow).pump.pRecord;
    AnswerFileDialog(OutPath("long.csv"));
    G(iWindow).pSave->click();
    ASSERT_TRUE(W(iWindow).pump.fSaving);
    EXPECT_FALSE(G(iWindow).pRead->isEnabled());
    // "Cancel" stops the save; the next read lets go of the window's share of the record only.
    G(iWindow).pCancel->click();
    EXPECT_FALSE(W(iWindow).pump.fSaving);
    ASSERT_TRUE(G(iWindow).pRead->isEnabled());
    ChooseSource(iWindow, "Screen");
    const std::size_t iFirst = CommandsNow();
    G(iWindow).pRead->click();
    EXPECT_NE(W(iWindow).pump.pRecord, pSaved.lock());
    EXPECT_FALSE(pSaved.expired()); // the save's own share
    ASSERT_TRUE(WaitIdle(iWindow, 120000));
    ASSERT_EQ(W(iWindow).pump.pRecord->Channels.size(), 2u);
    EXPECT_EQ(std::string(W(iWindow).pump.pRecord->Channels[1].pData.view().substr(0, 11)), "#9000001200");
    // The stopped save's end restarts nothing.
    const std::size_t iAfter = CommandsNow();
    EXPECT_GT(iAfter, iFirst);
    Settle();
    EXPECT_TRUE(WaitIdle(iWindow));
    EXPECT_EQ(CommandsNow(), iAfter);
}

TEST_F(WindowWaveformTest, ADisconnectDuringAReadEndsItAndFreesTheGadgets) {
    AttachRigol();
    ConnectMain(3000);
    const int iWindow = OpenWaveform();
    Refresh(iWindow);
    Tick(iWindow, "Channel 1");
    Tick(iWindow, "Channel 2");
    ChooseSource(iWindow, "Memory");
    const std::size_t iBefore = server.AnswersSent();
    G(iWindow).pRead->click(); // a good read first
    ASSERT_TRUE(WaitIdle(iWindow));
    // The next read: the connection closes instead of its last answer (the second channel's).
    server.AddFault({Sim::eStreamFault::Close, 0, static_cast<int>(server.AnswersSent() - iBefore) - 1});
    G(iWindow).pRead->click();
    ASSERT_TRUE(WaitFor([&] { return G(iWindow).pRead->isEnabled() && !W(iWindow).pump.fAutomatic; }, 60000));
    EXPECT_TRUE(LogHas("Error: "));
    // Save... after the failed read: no record to save, in the status line and the log, no file.
    const std::string sNone = "There is no complete record to save: The read stopped: Channel 2 - The connection to "
                              "the instrument was interrupted.";
    AnswerFileDialog(OutPath("after.csv")); // none may open
    G(iWindow).pSave->click();
    EXPECT_EQ(W(iWindow).Status(), sNone);
    EXPECT_TRUE(LogHas(sNone));
    EXPECT_TRUE(OutFiles().empty());
    // The main window lets the instrument go: the window follows.
    Choose(iMain, WindowStart::MenuDisconnect);
    ASSERT_TRUE(WaitFor([&] { return !W(iWindow).info.fConnected; }, 20000));
    EXPECT_EQ(W(iWindow).pFrame->windowTitle().toStdString(), "Waveform (disconnected)");
    EXPECT_FALSE(W(iWindow).pump.instrument.fConnected);
    G(iWindow).pRead->click(); // nothing starts without an instrument
    EXPECT_FALSE(WindowRegistry::TimerActive(iWindow, WaveformPump::TimerPump));
    EXPECT_TRUE(G(iWindow).pRead->isEnabled());
}

// The connection goes away under an automatic run (the instrument restarted): the run ends,
// the window says so and unticks "Automatically", and the ticked channels stay. An instrument
// that listens again at once is opened again by the next exchange's worker, so the main window
// stays connected; one that stays away leaves the main window disconnected, saying so, and
// connecting it again (no "Disconnect" first) keeps the window's channels.
TEST_F(WindowWaveformTest, ADroppedConnectionEndsTheAutomaticRunAndTheInstrumentIsOpenedAgain) {
    DroppedRun(false);
}

TEST_F(WindowWaveformTest, AnInstrumentThatStaysAwayIsDisconnectedAndConnectingAgainKeepsTheChannels) {
    DroppedRun(true);
}

// The instrument goes away under a connected window, a read is refused while it is away, and
// it listens again at its address: the next read opens it again (the main window connects it
// once more meanwhile) and finishes with both channels, for each family and source.
TEST_F(WindowWaveformTest, AReadAfterARefusedReconnectFinishesExact) {
    Sim::RigolScope plus{Sim::RigolScope::eFamily::DS1000ZPlus}, z{Sim::RigolScope::eFamily::DS1000Z};
    Sim::SiglentScope siglent{Sim::SiglentScope::eModel::SDS2104XPlus};
    Sim::RtbScope rtb{true};
    const std::tuple<std::function<void(Sim::ScpiDevice&)>, const char*, int> rows[] = {
        {[&](Sim::ScpiDevice& d) { plus.Attach(d), plus.ShowChannel(2, true); }, "Memory", 60000},
        {[&](Sim::ScpiDevice& d) { z.Attach(d), z.ShowChannel(2, true); }, "Screen", 60000},
        {[&](Sim::ScpiDevice& d) { siglent.Attach(d), siglent.ShowChannel(2, true); }, "", 3000},
        {[&](Sim::ScpiDevice& d) { rtb.Attach(d), rtb.ShowChannel(2, true); }, "", 60000}};
    int iRow = 0;
    for (const auto& [fnAttach, sSource, iTimeout] : rows) {
        SCOPED_TRACE(iRow++);
        Sim::RawTcpServer first;
        std::string sError;
        ASSERT_TRUE(first.Start(sError)) << sError;
        fnAttach(first.Device());
        InstrumentObject instrument;
        const int iOwner = ConnectMainTo(first, instrument, iTimeout);
        const int iWindow = OpenWaveformOf(iOwner);
        Refresh(iWindow);
        Tick(iWindow, "Channel 1");
        Tick(iWindow, "Channel 2");
        if (*sSource) ChooseSource(iWindow, sSource); // else the model's own
        first.Stop();
        G(iWindow).pRead->click();
        ASSERT_TRUE(WaitIdle(iWindow) && WaitFor([&] { return !Record(iOwner)->info.fConnected; }));
        Sim::RawTcpServer again(first.SharedDevice());
        ASSERT_TRUE(again.Start(sError, "127.0.0.1", first.Port())) << sError;
        G(iWindow).pRead->click();
        ASSERT_TRUE(WaitIdle(iWindow)) << W(iWindow).Status();
        EXPECT_EQ(W(iWindow).Status().find("could not"), std::string::npos) << W(iWindow).Status();
        const auto& pRecord = W(iWindow).pump.pRecord;
        ASSERT_EQ(pRecord ? pRecord->Channels.size() : 0u, 3u); // the time and the two channels
        if (*sSource == 'M')
            EXPECT_EQ(static_cast<std::uint8_t>(pRecord->Channels[1].pData.view().at(11)),
                      Sim::RigolScope::AnalogSample(1, 0));
        Instrument::Release(instrument, sError);
    }
}

// A block whose header announces fewer bytes than it holds: a Rigol screen read, a Siglent memory
// read in pieces (its first piece), both channels of a Rigol; a Siglent whose pieces or first query
// go unanswered; a Rigol whose second channel is cut after its first failed. The read ends saying
// why (each failed channel; of a read that a failure stopped, at what first) in place of "Data
// received", and Save... refuses with that reason and opens no dialog.
TEST_F(WindowWaveformTest, ABlockLongerThanItsHeaderSaysFailsTheReadAndSaveRefusesIt) {
    Sim::RigolScope z{Sim::RigolScope::eFamily::DS1000Z}, both{Sim::RigolScope::eFamily::DS1000Z},
        cut{Sim::RigolScope::eFamily::DS1000Z};
    const auto eSiglent = Sim::SiglentScope::eModel::SDS2104XPlus;
    Sim::SiglentScope siglent{eSiglent}, silent{eSiglent}, mute{eSiglent};
    const std::string sLong = "The data block does not end where its header says, bytes announced: 1195";
    const std::string sNone = " did not answer within 1000 ms.";
    const std::tuple<std::function<void(Sim::ScpiDevice&)>, const char*, int, std::string> rows[] = {
        {[&](Sim::ScpiDevice& d) { z.Attach(d), z.SetDataFault(Sim::RigolScope::eDataFault::LongBlock, true); }, "Screen",
         60000, "Channel 1 - " + sLong},
        {[&](Sim::ScpiDevice& d) {
             siglent.Attach(d), siglent.SetMemoryDepth(30000), siglent.SetMaxPoint(10000);
             siglent.SetFault(Sim::SiglentScope::eFault::LongBlock);
         },
         "", 3000, "Channel 1 - Der Datenblock hinter 'DAT2' ist unvollständig oder ungültig."},
        {[&](Sim::ScpiDevice& d) { both.Attach(d), both.ShowChannel(2, true), both.SetDataFault(Sim::RigolScope::eDataFault::LongBlock, true); },
         "Screen", 60000, "Channel 1 - " + sLong + " - Channel 2 - " + sLong},
        {[&](Sim::ScpiDevice& d) {
             silent.Attach(d), silent.ShowChannel(2, true), silent.SetMemoryDepth(30000), silent.SetMaxPoint(10000);
             d.SilenceQuery("WAV:DATA?"); // its first piece asks nothing else
         },
         "", 1000, "The read stopped: Channel 1" + sNone + " Not read: Channel 2."},
        {[&](Sim::ScpiDevice& d) { mute.Attach(d), d.SilenceQuery("ACQ:POIN?"); }, "", 1000,
         "The read stopped: Request :ACQ:POIN? - The instrument" + sNone},
        // Channel 1 fails alone, then Channel 2's answer is cut: the read says both.
        {[&](Sim::ScpiDevice& d) {
             cut.Attach(d), cut.ShowChannel(2, true);
             const auto l = Sim::RigolScope::eDataFault::LongBlock, c = Sim::RigolScope::eDataFault::CutOff;
             cut.SetDataFaults({l, c, l, c}); // the read, and the read with "Save to folder"
         },
         "Screen", 1000, "The read stopped: Channel 2 - The time-out (1000 ms) cut the answer after 680 bytes. Channel 1 - " + sLong}};
    for (const auto& [fnAttach, sSource, iTimeout, sReason] : rows) {
        SCOPED_TRACE(sReason);
        Sim::RawTcpServer peer;
        std::string sError;
        ASSERT_TRUE(peer.Start(sError)) << sError;
        fnAttach(peer.Device());
        InstrumentObject instrument;
        const int iWindow = OpenWaveformOf(ConnectMainTo(peer, instrument, iTimeout));
        Refresh(iWindow);
        Tick(iWindow, "Channel 1");
        Tick(iWindow, "Channel 2"); // where shown
        if (*sSource) ChooseSource(iWindow, sSource);
        G(iWindow).pRead->click();
        ASSERT_TRUE(WaitIdle(iWindow));
        EXPECT_EQ(W(iWindow).Status(), sReason);
        QTimer watch; // a dialog that opened is a fault, shut at once; the timer ends with the row
        watch.callOnTimeout([] {
            if (auto* p = qobject_cast<QDialog*>(QApplication::activeModalWidget())) ADD_FAILURE(), p->reject();
        });
        watch.start(10);
        G(iWindow).pSave->click();
        EXPECT_EQ(W(iWindow).Status(), std::string("There is no complete record to save: ") + sReason);
        EXPECT_TRUE(OutFiles().empty());
        const std::size_t iRefusals = LogCount("There is no complete record to save: ");
        // The read again, with "Save to folder" (where it fails again): it says why it failed, and no
        // save refuses it; nothing of the read before is its failure.
        const bool fStopped = sReason.rfind("The read stopped", 0) == 0; // a run it would stop
        if (*sSource || fStopped) {
            G(iWindow).pSaveToFolder->click(), W(iWindow).sAutomaticFolder = OutPath(), G(iWindow).pRead->click();
            ASSERT_TRUE(WaitIdle(iWindow));
            EXPECT_EQ(W(iWindow).Status(), sReason);
            G(iWindow).pSaveToFolder->click();
        }
        // Automatic runs of such reads, with "Save to folder" too: the failure logged once, then its repeats.
        for (const std::string sSaved : {"", " - Saved: 0"}) {
            if (!*sSource || fStopped) break;
            if (!sSaved.empty()) G(iWindow).pSaveToFolder->click(), W(iWindow).sAutomaticFolder = OutPath();
            const std::string sLast = sReason.substr(sReason.rfind("Channel ")); // each channel's failure has a line
            const std::size_t iFailures = LogCount(sLast);
            sSaved.empty() ? ReadAutomatically(iWindow, "10") : G(iWindow).pRead->click(); // still ticked
            ASSERT_TRUE(WaitFor([&] { return W(iWindow).pump.iRepeats >= 3 && W(iWindow).Status().rfind("Waveforms: ", 0) == 0; }, 60000));
            EXPECT_EQ(W(iWindow).Status(), "Waveforms: 0" + sSaved + " - " + sReason);
            G(iWindow).pCancel->click();
            EXPECT_EQ(W(iWindow).Status(), "The automatic reading was cancelled. Waveforms: 0" + sSaved + " - " + sReason);
            ASSERT_TRUE(WaitIdle(iWindow));
            EXPECT_EQ(LogCount(sLast), iFailures + 2) << WindowLog::Text(); // and in the line of its repeats
            EXPECT_TRUE(LogHas(" more reads: " + sReason));
            EXPECT_EQ(LogCount("There is no complete record to save: "), iRefusals); // the Save... above
        }
        Instrument::Release(instrument, sError);
    }
}

// Reads failing X, X, Y, X, X (X in channel 1, Y in channel 2), one whole, both twice, Y twice, one
// whole, then both until Cancel: a failure is logged again after another one or a whole read; each
// count names what repeated, X's repeat counted before Y's.
TEST_F(WindowWaveformTest, AnAutomaticRunLogsAFailureThatComesBackAndCountsTheOneThatRepeated) {
    AttachRigol();
    const int iWindow = OpenToRead("Screen", {"Channel 1", "Channel 2"});
    const auto x = Sim::RigolScope::eDataFault::LongBlock, o = Sim::RigolScope::eDataFault::None;
    rigol.SetDataFaults({x, o, x, o, o, x, x, o, x, o, o, o, x, x, x, x, o, x, o, x, o, o});
    rigol.SetDataFault(x, true);
    ReadAutomatically(iWindow, "10");
    ASSERT_TRUE(WaitFor([&] { return W(iWindow).pump.iCount == 2 && W(iWindow).pump.iRepeats >= 2; }, 60000));
    const std::string sRepeats = std::to_string(W(iWindow).pump.iRepeats), again = "The failure before came again in ";
    G(iWindow).pCancel->click();
    const std::string X = "Channel 1 - The data block does not end where its header says, bytes announced: 1195";
    const std::string Y = "Channel 2" + X.substr(9);
    EXPECT_EQ(W(iWindow).Status(), "The automatic reading was cancelled. Waveforms: 2 - " + X + " - " + Y); // the last read's
    std::vector<std::string> lines; // the failure and count lines, behind the model's prefix
    std::istringstream log(WindowLog::Text());
    for (std::string s; std::getline(log, s);)
        if (s.find(" - Channel ") != std::string::npos || s.find(again) != std::string::npos)
            lines.push_back(s.substr(s.find(" - ") + 3));
    EXPECT_EQ(lines, (std::vector<std::string>{X, again + "1 more read: " + X, Y, X, again + "1 more read: " + X, X, Y,
                                               again + "1 more read: " + X + " - " + Y, again + "2 more reads: " + Y, X,
                                               Y, again + sRepeats + " more reads: " + X + " - " + Y}));
}

TEST_F(WindowWaveformTest, FilenameChangesTheNamesOfTheNextSave) {
    AttachRigol();
    ConnectMain();
    const int iWindow = OpenWaveform();
    Refresh(iWindow);
    Tick(iWindow, "Channel 2");
    G(iWindow).pRead->click();
    ASSERT_TRUE(WaitIdle(iWindow));
    G(iWindow).pFilename->click();
    Settle();
    QDialog* pDialog = nullptr;
    for (QWidget* p : QApplication::topLevelWidgets()) {
        if (auto* d = qobject_cast<QDialog*>(p); d && d->windowTitle() == "Template for file names" && d->isVisible())
            pDialog = d;
    }
    ASSERT_NE(pDialog, nullptr);
    QComboBox* pTemplate = pDialog->findChild<QComboBox*>();
    ASSERT_NE(pTemplate, nullptr);
    pTemplate->setEditText("chosen /O /U /C");
    QPushButton* pOk = nullptr;
    for (QPushButton* p : pDialog->findChildren<QPushButton*>())
        if (p->text() == "OK") pOk = p;
    ASSERT_NE(pOk, nullptr);
    pOk->click();
    ASSERT_TRUE(WaitFor([&] { return W(iWindow).sTemplate == "chosen /O /U /C"; }));
    EXPECT_EQ(G(iWindow).pFilename->toolTip().toStdString(), "chosen /O /U /C");
    EXPECT_EQ(ReadConfigValue("WindowWaveform", "TemplateFilename"), "chosen /O /U /C");
    // The proposal of the save requester leaves source and channel out.
    std::string sProposal;
    WhenModal<QFileDialog>([&](QFileDialog* p) {
        sProposal = p->selectedFiles().value(0).toStdString();
        p->reject();
    });
    W(iWindow).sFolder = OutPath();
    G(iWindow).pSave->click();
    EXPECT_EQ(sProposal, OutPath("chosen " + W(iWindow).info.sModel + ".csv"));
    EXPECT_TRUE(OutFiles().empty());
    EXPECT_EQ(ReadConfigValue("WindowWaveform", "Folder"), "<none>");
    // The automatic save names its files by it.
    W(iWindow).sAutomaticFolder = OutPath();
    G(iWindow).pSaveToFolder->click();
    G(iWindow).pRead->click();
    ASSERT_TRUE(WaitFor([&] { return OutFiles().size() == 1 && Idle(iWindow); }, 60000));
    EXPECT_EQ(OutFiles(), std::vector<std::string>{"chosen " + W(iWindow).info.sModel + " Screen CHAN2.csv"});
}

TEST_F(WindowWaveformTest, ShowLinksTheWaveformViewer) {
    AttachRigol();
    ConnectMain();
    const int iWindow = OpenWaveform();
    auto fullscreen = [&] {
        for (QAction* p : W(iWindow).pToolBar->actions())
            if (p->data().toInt() == WindowStart::MenuFullscreen) return p;
        return static_cast<QAction*>(nullptr);
    };
    ASSERT_NE(fullscreen(), nullptr);
    EXPECT_FALSE(fullscreen()->isEnabled());
    G(iWindow).pShow->click();
    ASSERT_TRUE(WaitFor([&] { return W(iWindow).iViewer != 0; }));
    const int iViewer = W(iWindow).iViewer;
    uWindowWaveformViewer* pViewer = nullptr;
    ASSERT_TRUE(WindowWaveformViewer::GetInstance(iViewer, &pViewer));
    ASSERT_TRUE(WaitFor([&] { return pViewer->viewer.iPartner == iWindow; }));
    // A viewer in the MDI area has no fullscreen.
    EXPECT_EQ(fullscreen()->isEnabled(), W(iWindow).iViewerFlag == 0);
    EXPECT_EQ(ChildrenOf(iMain, WindowKindWaveformViewer).size(), 1u);
    // A closing viewer unlinks itself.
    EventHub::PostEvent(EventCloseWindowRequest, iViewer);
    ASSERT_TRUE(WaitFor([&] { return W(iWindow).iViewer == 0; }));
}

class WindowWaveformPreferencesTest : public WindowWaveformTest {
  protected:
    std::string ConfigText() override {
        return "[General]\n[InputTemplateFilenameWaveform]\nDefault = /O default\n[WindowWaveform]\n"
               "TemplateFilename = \nFolder = /tmp/a/\nTimeAutomatically = 2,5\nUnitAutomatically = 2\n";
    }
};

TEST_F(WindowWaveformPreferencesTest, ReadAtOpenAnEmptyValueIsMissingAndClosingTheMainWindowWritesThem) {
    AttachRigol();
    ConnectMain();
    const int iWindow = OpenWaveform();
    EXPECT_EQ(W(iWindow).sTemplate, "/O default");
    EXPECT_EQ(W(iWindow).sFolder, "/tmp/a/");
    EXPECT_EQ(G(iWindow).pInterval->text().toStdString(), "2,5");
    EXPECT_EQ(G(iWindow).pUnit->currentText().toStdString(), "Minutes");
    G(iWindow).pInterval->setText("7");
    G(iWindow).pUnit->setCurrentIndex(3);
    W(iWindow).sAutomaticFolder = "/tmp/b/";
    // The main window closes its children first; its own closing goes on afterwards.
    EventHub::PostEvent(EventCloseWindowRequest, iMain);
    ASSERT_TRUE(WaitFor([&] { return WindowStart::Windows().empty(); }));
    EXPECT_FALSE(WindowWaveform::GetInstance(iWindow, nullptr));
    EXPECT_EQ(ReadConfigValue("WindowWaveform", "TimeAutomatically"), "7");
    EXPECT_EQ(ReadConfigValue("WindowWaveform", "UnitAutomatically"), "3");
    EXPECT_EQ(ReadConfigValue("WindowWaveform", "FolderAutomatically"), "/tmp/b/");
    EXPECT_EQ(ReadConfigValue("WindowWaveform", "TemplateFilename"), "/O default");
}

} // namespace
} // namespace WaveformWindowTest
