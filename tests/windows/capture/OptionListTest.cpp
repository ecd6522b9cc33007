// The option list of the capture windows: the rows each model offers (headers only for groups
// with rows, tinted), a burst of check marks taken in one update and one write, and the checks
// kept per model and per window, also when two windows change theirs within one burst.
#include "WaveformWindowTestSupport.h"

#include "instrument/ModelTable.h"
#include "sim/RigolScope.h"
#include "sim/RtbScope.h"

namespace WaveformWindowTest {
namespace {

std::vector<std::int64_t> Ids(const OptionList& list) {
    std::vector<std::int64_t> ids;
    for (const auto& [iId, fChecked] : list.Checks()) ids.push_back(iId);
    return ids;
}

TEST(OptionListGadget, HeaderOnlyForAGroupWithRowsTintedWithTheWindowsColour) {
    TestApplication::Ensure();
    struct uCase {
        std::string sName;
        std::int64_t eModel;
        uModelControl control;
        std::vector<std::int64_t> ids;
    };
    uModelControl beforeOnly;
    beforeOnly.sStop = ":STOP";
    beforeOnly.sStopComplete = ":STOP;*OPC?"; // offered to the RTB2000 only
    beforeOnly.iWaitShort = 0;
    beforeOnly.iWaitLong = 250;
    beforeOnly.sTriggerStatus = ":TRIG:STAT?"; // no expected answer: no row
    uModelControl afterOnly;
    afterOnly.iWaitShort = afterOnly.iWaitLong = 0;
    afterOnly.sRun = ":RUN";
    afterOnly.sLocal = "&GTL";
    uModelControl none;
    none.iWaitShort = none.iWaitLong = 0;
    const std::vector<uCase> cases = {
        {"before only, Rigol", ModelRigolDS1000Z, beforeOnly, {2000, 2001, 2004}},
        {"before only, RTB", ModelRohdeSchwarzRTB2000Ch4, beforeOnly, {2000, 2006, 2001, 2004}},
        {"after only", ModelRigolDS1000Z, afterOnly, {2020, 2023, 2025}},
        {"nothing", ModelRigolDS1000Z, none, {}},
    };
    const int iWindow = WindowRegistry::NewWindowNumber();
    for (const uCase& c : cases) {
        OptionList list(iWindow, "Options");
        uWaveformOptionState state;
        list.SetRows(WaveformOptions::FillOptionRows(c.eModel, c.control, "2004,", state), 0xFFCC99);
        EXPECT_EQ(Ids(list), c.ids) << c.sName;
        EXPECT_FALSE(list.Pending()) << c.sName; // filling is no change of the user's
        if (QTreeWidgetItem* pHeader = list.topLevelItem(0); pHeader && c.ids.front() % 20 == 0) {
            EXPECT_EQ(pHeader->background(1).color(), QColor(0x99, 0xCC, 0xFF)) << c.sName; // light blue
        }
        if (QTreeWidgetItem* pWait = list.Row(2004)) {
            EXPECT_EQ(pWait->text(0).toStdString(), "Wait 250 ms");
            EXPECT_EQ(pWait->checkState(0), Qt::Checked);
        }
    }
    WindowRegistry::Release(iWindow);
}

class OptionListTest : public WaveformWindowTest {
  protected:
    void SetUp() override {
        WaveformWindowTest::SetUp();
        rigol.Attach(server.Device());
        std::string sError;
        ASSERT_TRUE(other.Start(sError)) << sError;
        rtb.Attach(other.Device());
    }
    void TearDown() override {
        WaveformWindowTest::TearDown();
        other.Stop();
    }
    static OptionList& L(int iWindow) { return *G(iWindow).pOptionList; }
    std::string Saved(const std::string& sModel) { return ReadConfigValue("WindowWaveform", "Options_" + sModel); }
    static bool Settled(int iWindow) { return !L(iWindow).Pending(); }

    Sim::RigolScope rigol{Sim::RigolScope::eFamily::DS1000Z};
    Sim::RtbScope rtb{true};
    Sim::RawTcpServer other;
    InstrumentObject otherObject;
};

TEST_F(OptionListTest, RowsOfTheModelABurstGivesOneWriteAndTheLastClearRemovesTheKey) {
    ConnectMain();
    const int iWindow = OpenWaveform();
    const std::string sModel = W(iWindow).info.sModel;
    std::vector<std::string> labels;
    for (int i = 0; i < L(iWindow).topLevelItemCount(); ++i)
        labels.push_back(L(iWindow).topLevelItem(i)->text(0).toStdString());
    ASSERT_FALSE(labels.empty());
    EXPECT_EQ(labels.front(), "Before Instrument control");
    EXPECT_EQ(std::count(labels.begin(), labels.end(), "Stop (Complete)"), 0);
    EXPECT_EQ(std::count(labels.begin(), labels.end(), "After Instrument control"), 1);
    EXPECT_EQ(G(iWindow).pPanel->tabText(1).toStdString(), "Options");

    // Three marks within one burst: nothing is written until the deferred update ran.
    L(iWindow).SetChecked(2000, true);
    L(iWindow).SetChecked(2001, true);
    L(iWindow).SetChecked(2003, true);
    EXPECT_TRUE(L(iWindow).Pending());
    EXPECT_EQ(Saved(sModel), "<none>");
    ASSERT_TRUE(WaitFor([&] { return Settled(iWindow); }));
    EXPECT_EQ(Saved(sModel), "2000,2001,2003,");
    EXPECT_EQ(G(iWindow).pPanel->tabText(1).toStdString(), "Options *");
    EXPECT_EQ(W(iWindow).options.fBefore, 1);
    EXPECT_EQ(W(iWindow).options.fStop, 1);
    EXPECT_EQ(W(iWindow).options.fWaitShort, 1);
    // The update wrote once: a value put there afterwards stays.
    Ini::SelectSection(Main::ConfigIni(), "WindowWaveform");
    Ini::WriteString(Main::ConfigIni(), "Options_" + sModel, "x");
    Settle();
    EXPECT_EQ(Saved(sModel), "x");

    // Checked rows without their header take no effect; the tab shows no " *".
    L(iWindow).SetChecked(2000, false);
    ASSERT_TRUE(WaitFor([&] { return Settled(iWindow); }));
    EXPECT_EQ(Saved(sModel), "2001,2003,");
    EXPECT_EQ(G(iWindow).pPanel->tabText(1).toStdString(), "Options");
    L(iWindow).SetChecked(2001, false);
    L(iWindow).SetChecked(2003, false);
    ASSERT_TRUE(WaitFor([&] { return Settled(iWindow); }));
    EXPECT_EQ(Saved(sModel), "<none>");
}

TEST_F(OptionListTest, ChecksAreKeptPerModelAndTwoWindowsChangingAtOnceBothKeepTheirs) {
    ConnectMain();
    const int iRigol = OpenWaveform();
    const int iRtbMain = ConnectMainTo(other, otherObject);
    const int iRtb = OpenWaveformOf(iRtbMain);
    const std::string sRigol = W(iRigol).info.sModel;
    const std::string sRtb = W(iRtb).info.sModel;
    ASSERT_NE(sRigol, sRtb);
    EXPECT_NE(L(iRtb).Row(2006), nullptr); // "Stop (Complete)" for the RTB2000

    // Both windows change their marks within one burst: each keeps its own update.
    L(iRigol).SetChecked(2001, true);
    L(iRtb).SetChecked(2006, true);
    L(iRtb).SetChecked(2020, true);
    EXPECT_TRUE(L(iRigol).Pending());
    EXPECT_TRUE(L(iRtb).Pending());
    ASSERT_TRUE(WaitFor([&] { return Settled(iRigol) && Settled(iRtb); }));
    EXPECT_EQ(Saved(sRigol), "2001,");
    EXPECT_EQ(Saved(sRtb), "2006,2020,");

    // A window whose update is pending closes: the other window's next change still counts.
    L(iRigol).SetChecked(2002, true);
    WindowWaveform::Close(iRigol);
    Settle();
    L(iRtb).SetChecked(2001, true);
    ASSERT_TRUE(WaitFor([&] { return Settled(iRtb); }));
    EXPECT_EQ(Saved(sRtb), "2006,2001,2020,");

    // The RTB window gets the Rigol instrument: that model's rows and checks come back.
    uInstrumentWindowInfo info = Record(iMain)->info;
    EventHub::PostEvent(EventInstrumentConnected, iRtb, 0, 0, EventHub::Payload::Of<uInstrumentWindowInfo>(info));
    Settle();
    EXPECT_EQ(L(iRtb).Row(2006), nullptr);
    ASSERT_NE(L(iRtb).Row(2001), nullptr);
    EXPECT_EQ(L(iRtb).Row(2001)->checkState(0), Qt::Checked);
    EXPECT_EQ(W(iRtb).options.fStop, 1);
    EXPECT_EQ(W(iRtb).options.fBefore, 0);
}

} // namespace
} // namespace WaveformWindowTest
