// The selection window's live search: simulated instruments in a network of namespaces (two
// VXI-11 instruments and a raw SCPI one) and a USBTMC device on the simulated bus; the refill
// after bursts of identifications, the device-change search, and the connect by double click.
#include "SelectLab.h"
#include "SelectTestSupport.h"

#include "common/UtilityGui.h"
#include "common/WindowLog.h"
#include "instrument/Instrument.h"
#include "instrument/InstrumentSearch.h"
#include "platform/WindowRegistry.h"
#include "sim/LanNetwork.h"
#include "windows/select/WindowSelectInstrumentRecord.h"

#include <QElapsedTimer>
#include <QStatusBar>

#include <algorithm>

namespace {

using namespace FrameTestSupport;
using SelectTestSupport::SelectTest;

class SelectSearchTest : public SelectTest {
  protected:
    static void SetUpTestSuite() {
        // Before any thread: the instruments are forked from this process.
        pNetwork = new Sim::LanNetwork;
        fNetwork = pNetwork->Start({SelectLab::Subnet}, SelectLab::Instruments(), sWhyNot);
        FrameTest::SetUpTestSuite();
    }
    static void TearDownTestSuite() {
        delete pNetwork;
        pNetwork = nullptr;
    }
    std::string ConfigText() override {
        return "[WindowSelectInstrument]\nSearchLan=1\nSearchLanHameg=1\nNetworkList=192.168.77.0\n";
    }
    void SetUp() override {
        if (fNetwork) usb = bus.AddDevice();
        SelectTest::SetUp();
    }
    // Starts "Refresh" and waits for the refill that follows it.
    bool Refresh(int iList) {
        ChildWindow::Find(iList)->statusBar()->findChild<QLabel*>()->clear();
        Click(Gadget<QPushButton>(iList, "Refresh"));
        return WaitForSearch(iList);
    }
    InstrumentObject ObjectAt(int iList, const std::string& sInterface) {
        const auto rows = Rows(iList);
        std::vector<InstrumentObject> listed;
        Instrument::CopyInstrumentList(listed);
        for (std::size_t i = 0; i < rows.size(); ++i) {
            if (rows[i].find("|" + sInterface + "|") == std::string::npos) continue;
            for (const InstrumentObject& o : listed) {
                uInfo info;
                std::string sError;
                if (o->pInterface->GetInfo(*o, info, sError) && info.connection.eInterface == InterfaceUsbTmc) return o;
            }
        }
        return nullptr;
    }
    static inline Sim::LanNetwork* pNetwork = nullptr;
    std::shared_ptr<SimUsb::Device> usb;
};

TEST_F(SelectSearchTest, RefreshListsTheLanAndUsbInstrumentsInTenColumns) {
    const int iMain = OpenMain();
    const int iList = ListOf(iMain);
    ASSERT_NE(iList, 0);
    ASSERT_TRUE(WaitForSearch(iList));
    // The search after opening is USB only: the network option alone does not search.
    EXPECT_EQ(WindowLog::Text().find("instruments in the network was started"), std::string::npos);
    ASSERT_EQ(Rows(iList).size(), 1u);
    EXPECT_TRUE(Rows(iList)[0].find("|USB|") != std::string::npos) << Rows(iList)[0];
    EXPECT_EQ(StatusText(iList), "1 Instrument found.");

    ASSERT_TRUE(Refresh(iList));
    EXPECT_NE(WindowLog::Text().find("The search for LXI (VXI-11) instruments in the network was started: 192.168.77.1:111"),
              std::string::npos);
    std::vector<std::string> rows = Rows(iList);
    std::sort(rows.begin(), rows.end());
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(StatusText(iList), "4 Instruments found.");
    EXPECT_TRUE(rows[0].starts_with("Orvanto Simulated Instrument|USB|Simulated Instrument|Orvanto|SIM0001|1.0|-|-|-|USBTMC|"))
        << rows[0];
    EXPECT_TRUE(rows[1].starts_with("RIGOL TECHNOLOGIES DS1104Z|LAN|DS1104Z|RIGOL TECHNOLOGIES|DS1ZA170000001|"
                                    "00.04.04.SP4|192.168.77.10|"))
        << rows[1];
    EXPECT_TRUE(rows[1].ends_with("|-|LXI|")) << rows[1];
    EXPECT_EQ(rows[2], "Rohde&Schwarz RTB2004|LAN|RTB2004|Rohde&Schwarz|1333.1005k04/102345|02.300|192.168.77.12|5025|-|RawTCP|");
    EXPECT_TRUE(rows[3].starts_with("Siglent Technologies SDS2104X Plus|LAN|SDS2104X Plus|Siglent Technologies|")) << rows[3];
    // The icon view shows the same rows, each with a picture.
    for (int r = 0; r < Model(iList)->rowCount(); ++r) EXPECT_FALSE(Model(iList)->item(r, 0)->icon().isNull());
    EXPECT_TRUE(Report(iList)->isColumnHidden(0));

    // An instrument whose identification is noise or an empty line is listed with why, where its
    // names go; one whose answer NULs pad (behind the line feed, one or several; before it; one
    // ahead) with its names.
    struct uRow {
        std::string sIdn;
        Sim::ScpiDevice::uNuls nuls;
        std::string sListed;
    };
    const auto why = [](const std::string& s) { return s + "|USB|" + s + "||-|-|-|-|-|USBTMC|"; };
    const auto meter = [](const std::string& sSerial, Sim::ScpiDevice::uNuls nuls) {
        return uRow{"KEITHLEY INSTRUMENTS INC.,MODEL 2100," + sSerial + ",01.08-01-01", nuls,
                    "KEITHLEY INSTRUMENTS INC. MODEL 2100|USB|MODEL 2100|KEITHLEY INSTRUMENTS INC.|" + sSerial +
                        "|01.08-01-01|-|-|-|USBTMC|"};
    };
    const uRow aRows[] = {
        {std::string("\x80\xF8\x00\xFE\x78\x0A\x80\xE0\x00\xF8\x86\x1E\xFC", 13), {},
         why("The identification (*IDN?) at the USB instrument DS1ZA000000001 got 13 bytes that are no text.")},
        {"", {},
         why("The instrument answered the identification (*IDN?) at the USB instrument DS1ZA000000001 with an empty "
             "line: check the instrument's settings for remote control.")},
        meter("2", {0, 0, 3}), meter("3", {0, 1, 0}), meter("4", {1, 0, 0})};
    for (const uRow& row : aRows) {
        usb->Scpi().SetIdn(row.sIdn);
        usb->Scpi().SetNuls(row.nuls);
        EventHub::PostEvent(EventRefreshInstrumentList, iList, 0);
        EXPECT_TRUE(WaitFor([&] {
            rows = Rows(iList);
            return std::count(rows.begin(), rows.end(), row.sListed) == 1;
        })) << row.sListed << "\n" << ::testing::PrintToString(rows);
    }
}

TEST_F(SelectSearchTest, BurstsOfIdentificationsRefillOnceAndDeviceChangesSearchByTheOption) {
    const int iMain = OpenMain();
    const int iList = ListOf(iMain);
    ASSERT_NE(iList, 0);
    ASSERT_TRUE(WaitForSearch(iList));
    int iRefills = 0;
    QObject::connect(Model(iList), &QStandardItemModel::rowsRemoved, Model(iList), [&] { ++iRefills; });
    // Each identification comes 200 ms after the last and puts the refill off again. A loaded
    // machine may stall the test for longer than the refill waits (500 ms; the timer never fires
    // early): only a gap shorter than that is sure to see no refill.
    QElapsedTimer sinceLast;
    int iAtLastPost = 0;
    for (int i = 0; i < 3; ++i) {
        if (i > 0) {
            WaitFor([] { return false; }, 200);
            if (sinceLast.elapsed() < 500) EXPECT_EQ(iRefills, iAtLastPost);
        }
        iAtLastPost = iRefills;
        EventHub::PostEvent(EventTaskFinished, iList, 0, InstrumentTaskIdentified);
        sinceLast.start();
        Settle();
    }
    EXPECT_LE(iRefills, 2); // at most one for each stalled gap, none with the usual spacing
    ASSERT_TRUE(WaitFor([&] { return iRefills > iAtLastPost; }, 30000));
    EXPECT_GE(sinceLast.elapsed(), 450);
    WaitFor([] { return false; }, 700);
    EXPECT_EQ(iRefills, iAtLastPost + 1);

    // A device change (object 1) searches USB again while the automatic USB option is set: the
    // unconnected USB instrument is released and found anew.
    const InstrumentObject before = ObjectAt(iList, "USB");
    ASSERT_TRUE(before);
    EventHub::PostEvent(EventRefreshInstrumentList, iList, 1);
    Settle();
    ASSERT_TRUE(WaitForSearch(iList));
    const InstrumentObject after = ObjectAt(iList, "USB");
    ASSERT_TRUE(after);
    EXPECT_NE(after, before);
    // Without the option it leaves the list alone.
    Click(Gadget<QCheckBox>(iList, "Search automatically when devices are connected or disconnected."));
    EventHub::PostEvent(EventRefreshInstrumentList, iList, 1);
    Settle();
    EXPECT_FALSE(InstrumentSearch::IsRunning());
    EXPECT_EQ(ObjectAt(iList, "USB"), after);
    // Timer 4 of the main window is only taken away.
    WindowRegistry::StartTimer(iList, 4, 10);
    WaitFor([] { return false; }, 100);
    EXPECT_FALSE(InstrumentSearch::IsRunning());
    EXPECT_FALSE(WindowRegistry::TimerActive(iList, 4));
}

// Both views connect: the report selects whole rows, the icon view the cell of an icon.
TEST_F(SelectSearchTest, ADoubleClickOrConnectMakesTheMainWindowConnectTheInstrumentAndCloseTheList) {
    struct uWay {
        const char* sName;
        bool fIcons;
        bool fMenu; // Instrument > Connect after a click instead of a double click
    };
    for (const uWay& way : {uWay{"double click in the list", false, false}, uWay{"double click on the icon", true, false},
                            uWay{"a click on the icon, then Connect", true, true}}) {
        SCOPED_TRACE(way.sName);
        const int iMain = OpenMain();
        const int iList = ListOf(iMain);
        ASSERT_NE(iList, 0);
        ASSERT_TRUE(WaitForSearch(iList));
        ASSERT_EQ(Rows(iList).size(), 1u);
        const InstrumentObject usbObject = ObjectAt(iList, "USB");
        ASSERT_TRUE(usbObject);
        Choose(iMain, way.fIcons ? WindowStart::MenuIcons : WindowStart::MenuList);
        Settle();
        QAbstractItemView* pView = way.fIcons ? static_cast<QAbstractItemView*>(Icons(iList)) : Report(iList);
        ASSERT_TRUE(pView->isVisible());
        const QRect rect = pView->visualRect(Model(iList)->index(0, way.fIcons ? 0 : 1));
        ASSERT_FALSE(rect.isEmpty());
        EXPECT_FALSE(ShownItem(iMain, WindowStart::MenuConnect)->isEnabled());
        QTest::mouseClick(pView->viewport(), Qt::LeftButton, {}, rect.center());
        Settle();
        EXPECT_TRUE(ShownItem(iMain, WindowStart::MenuConnect)->isEnabled());
        if (way.fMenu) Choose(iMain, WindowStart::MenuConnect);
        else QTest::mouseDClick(pView->viewport(), Qt::LeftButton, {}, rect.center());
        Settle();
        // The main window connects the simulated USBTMC device, shows its *IDN? fields, and closes
        // the list that asked.
        ASSERT_TRUE(WaitFor([&] { return Record(iMain)->info.fConnected; }, 10000)) << WindowLog::Text();
        EXPECT_EQ(Record(iMain)->info.pInstrument, usbObject);
        EXPECT_EQ(Utility::StatusLabel(Record(iMain)->pStatusBar)->text().toStdString(),
                  "Orvanto Simulated Instrument - Serial number: SIM0001 - Firmware: 1.0");
        EXPECT_NE(WindowLog::Text().find("Simulated Instrument: connected"), std::string::npos);
        EXPECT_TRUE(WaitFor([&] { return ListOf(iMain) == 0; }));
        // Another main window's list leaves it out while connected, and lists it once it is freed.
        const int iOther = OpenMain();
        ASSERT_TRUE(WaitForSearch(ListOf(iOther)));
        const auto& listed = WindowSelectInstrument::Record(ListOf(iOther))->mListed;
        EXPECT_EQ(std::count(listed.begin(), listed.end(), usbObject), 0);
        if (way.fMenu) Choose(iMain, WindowStart::MenuDisconnect);
        EventHub::PostEvent(EventCloseWindowRequest, iMain);
        ASSERT_TRUE(WaitFor([&] { return !Record(iMain); }));
        EXPECT_TRUE(WaitFor([&] { return std::count(listed.begin(), listed.end(), usbObject) == 1; }));
        EventHub::PostEvent(EventCloseWindowRequest, iOther);
        ASSERT_TRUE(WaitFor([&] { return !Record(iOther); }));
        Settle();
    }
}

// "Refresh" while another search runs (here one that listens on the namespace's loopback for a
// minute, until it is stopped) releases nothing and reloads nothing, since that search may still
// be identifying the objects; its start fails and says so in the log. Once that search ended,
// "Refresh" releases the unconnected instruments and finds them anew.
TEST_F(SelectSearchTest, ARefreshWhileASearchRunsReleasesNothingAndLogsTheRefusedStart) {
    const int iMain = OpenMain();
    const int iList = ListOf(iMain);
    ASSERT_NE(iList, 0);
    ASSERT_TRUE(WaitForSearch(iList));
    const InstrumentObject before = ObjectAt(iList, "USB");
    ASSERT_TRUE(before);

    uStartSearch held;
    held.fLxi = 1;
    held.lAddress.push_back({"127.0.0.1", "127.0.0.1", 9, 5025, 60000});
    std::string sError;
    ASSERT_TRUE(InstrumentSearch::StartSearch(&held, sError)) << sError;
    ASSERT_TRUE(InstrumentSearch::IsRunning());

    const std::string sRefused = "Error: WindowSelectInstrument::SearchAndShowInstruments: An error occurred when "
                                 "starting the search for instruments.";
    const std::string sReason = "Error: InstrumentSearch::StartSearch: A search for instruments has already been "
                                "started, and is still ongoing.";
    Click(Gadget<QPushButton>(iList, "Refresh"));
    ASSERT_TRUE(WaitFor([&] { return WindowLog::Text().find(sReason) != std::string::npos; })) << WindowLog::Text();
    const std::string sLog = WindowLog::Text();
    const std::size_t iRefused = sLog.find(sRefused);
    ASSERT_NE(iRefused, std::string::npos) << sLog;
    EXPECT_LT(iRefused, sLog.find(sReason));
    Settle();
    std::vector<InstrumentObject> listed;
    Instrument::CopyInstrumentList(listed);
    EXPECT_NE(std::find(listed.begin(), listed.end(), before), listed.end());
    EXPECT_EQ(ObjectAt(iList, "USB"), before);
    EXPECT_TRUE(InstrumentSearch::IsRunning()); // that search goes on undisturbed

    StopSearch();
    ASSERT_FALSE(InstrumentSearch::IsRunning());
    ASSERT_TRUE(Refresh(iList));
    const InstrumentObject after = ObjectAt(iList, "USB");
    ASSERT_TRUE(after);
    EXPECT_NE(after, before);
    EXPECT_EQ(WindowLog::Text().find(sRefused, iRefused + 1), std::string::npos);
}

TEST_F(SelectSearchTest, AnObjectReleasedSinceTheRefillIsNotHandedOverButTheListRefilled) {
    const int iMain = OpenMain();
    const int iList = ListOf(iMain);
    ASSERT_NE(iList, 0);
    ASSERT_TRUE(WaitForSearch(iList));
    ASSERT_EQ(Rows(iList).size(), 1u);
    QTest::mouseClick(Report(iList)->viewport(), Qt::LeftButton, {}, Report(iList)->visualRect(Model(iList)->index(0, 1)).center());
    Settle();
    std::string sError;
    Instrument::ReleaseAll(true, 0, sError);
    EventHub::PostEvent(EventMenu, iList, WindowStart::MenuConnect);
    Settle();
    // Nothing reached the main window: no connect pending, nothing connected.
    EXPECT_TRUE(Record(iMain)->mPendingConnects.empty());
    EXPECT_FALSE(Record(iMain)->info.fConnected);
    EXPECT_EQ(Rows(iList).size(), 0u);
    EXPECT_EQ(StatusText(iList), "No instrument was found.");
    EXPECT_FALSE(ShownItem(iMain, WindowStart::MenuConnect)->isEnabled());
}

} // namespace
