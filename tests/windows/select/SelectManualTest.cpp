// The manually added LAN and serial instruments of the selection window: their records byte
// for byte, the keys they get, the refusal of the field separator, the list items, and the
// connection of a manual raw TCP and serial instrument by the main window.
#include "SelectTestSupport.h"

#include "common/NumberText.h"
#include "common/UtilityGui.h"
#include "common/WindowLog.h"
#include "instrument/Instrument.h"
#include "sim/NetNamespace.h"
#include "sim/RawTcpServer.h"
#include "sim/SerialDevice.h"

#include <QDir>
#include <QFile>
#include <QStatusBar>

namespace {

using namespace FrameTestSupport;
using SelectTestSupport::SelectTest;

class SelectManualTest : public SelectTest {
  protected:
    static void SetUpTestSuite() {
        EnterNetwork();
        // The adapter of the examples: connection "Ethernet" at 192.168.1.5.
        if (fNetwork && !Sim::AddVethInterface("Ethernet", "192.168.1.5", 24, sWhyNot)) fNetwork = false;
        FrameTest::SetUpTestSuite();
    }
    void EnterLan(int iList, const QString& sMaker, const QString& sModel, const QString& sIp) {
        Combo(iList, 2, 1)->setEditText(sMaker);
        Settle();
        Combo(iList, 2, 2)->setEditText(sModel);
        Field(iList, 0)->setText(sIp);
    }
    static std::string Item(QTreeWidget* pList, int iRow) {
        std::string s;
        QTreeWidgetItem* p = pList->topLevelItem(iRow);
        for (int c = 0; p && c < pList->columnCount(); ++c) s += p->text(c).toStdString() + "|";
        return s;
    }
    static void SelectRow(QTreeWidget* pList, int iRow) {
        pList->setCurrentItem(pList->topLevelItem(iRow));
        pList->topLevelItem(iRow)->setSelected(true);
    }
    // The row of the instrument list whose name is the text, -1 when none.
    int RowNamed(int iList, const std::string& sName) {
        const auto rows = Rows(iList);
        for (std::size_t i = 0; i < rows.size(); ++i) {
            if (rows[i].starts_with(sName + "|")) return static_cast<int>(i);
        }
        return -1;
    }
    static std::string MainStatus(int iMain) { return Utility::StatusLabel(Record(iMain)->pStatusBar)->text().toStdString(); }
    static bool LogHas(const std::string& sText) { return WindowLog::Text().find(sText) != std::string::npos; }
    // Selects the row of that name and double-clicks it in the report view.
    void DoubleClick(int iList, const std::string& sName) {
        const int iRow = RowNamed(iList, sName);
        ASSERT_GE(iRow, 0) << sName;
        const QModelIndex index = Model(iList)->index(iRow, 1);
        Report(iList)->scrollTo(index);
        const QRect rect = Report(iList)->visualRect(index);
        QTest::mouseClick(Report(iList)->viewport(), Qt::LeftButton, {}, rect.center());
        QTest::mouseDClick(Report(iList)->viewport(), Qt::LeftButton, {}, rect.center());
        Settle();
    }
    // The main window connected the manual entry, and its list closed.
    void ExpectConnected(int iMain) {
        ASSERT_TRUE(WaitFor([&] { return Record(iMain)->info.fConnected; }, 10000)) << WindowLog::Text();
        EXPECT_TRUE(WaitFor([&] { return ListOf(iMain) == 0; }));
        const InstrumentObject& object = Record(iMain)->info.pInstrument;
        ASSERT_TRUE(object);
        uInfo info;
        std::string sError;
        ASSERT_TRUE(object->pInterface->GetInfo(*object, info, sError)) << sError;
        EXPECT_EQ(info.connection.fUserModel, 1);
    }
};

TEST_F(SelectManualTest, LanEntriesAreStoredByteForByteUnderTheFirstFreeKey) {
    const int iList = OpenWithList();
    ASSERT_NE(iList, 0);
    ASSERT_TRUE(WaitForSearch(iList));
    ASSERT_EQ(Combo(iList, 2, 0)->currentText(), "192.168.1.5 - Ethernet");
    const char* sGroup = "WindowSelectAddLANInstrument";
    const std::string sExample = "Rigol Technologies||DS1000Z||192.168.1.20||111||||||Ethernet||192.168.1.5||LXI";

    EnterLan(iList, "Rigol Technologies", "DS1000Z", "192.168.1.20");
    Click(PageButton(iList, 2, "Add"));
    EXPECT_EQ(Keys(sGroup), std::vector<std::string>{"0=" + sExample});
    // On the disk at once, not only at exit.
    const auto onDisk = [&] {
        std::unique_ptr<uIni> pIni = Ini::Open(Main::ConfigPath(), IniFlagsProgram);
        Ini::SelectSection(pIni.get(), sGroup);
        return Ini::ReadString(pIni.get(), "0", "<none>");
    };
    EXPECT_EQ(onDisk(), sExample);
    EXPECT_EQ(Item(LanList(iList), 0), "0|Rigol Technologies DS1000Z|192.168.1.20|111|||Ethernet|192.168.1.5|LXI|");
    // The entry became an instrument of the list at once, under the user's names.
    const int iRow = RowNamed(iList, "[ Rigol Technologies DS1000Z ]");
    ASSERT_GE(iRow, 0);
    EXPECT_EQ(Rows(iList)[static_cast<std::size_t>(iRow)],
              "[ Rigol Technologies DS1000Z ]|LAN|DS1000Z|Rigol Technologies|-|-|192.168.1.20|Portmapper|-|LXI|");

    // A raw entry: the port, no portmapper; a VXI-11 port of 0 counts as none.
    Click(Gadget<QRadioButton>(iList, "Raw TCP"));
    EnterLan(iList, "Siglent Technologies", "SDS2000X Plus", "192.168.1.21");
    Click(PageButton(iList, 2, "Add"));
    // Keys 0 and 1 present: the next is 2.
    Click(Gadget<QRadioButton>(iList, "LXI"));
    Field(iList, 2)->setText("0");
    EnterLan(iList, "HAMEG", "HM2008", "192.168.1.22");
    Click(PageButton(iList, 2, "Add"));
    EXPECT_EQ(Keys(sGroup),
              (std::vector<std::string>{"0=" + sExample,
                                        "1=Siglent Technologies||SDS2000X Plus||192.168.1.21||||||5025||Ethernet||192.168.1.5||Raw",
                                        "2=HAMEG||HM2008||192.168.1.22||111||||||Ethernet||192.168.1.5||LXI"}));
    EXPECT_EQ(Item(LanList(iList), 1), "1|Siglent Technologies SDS2000X Plus|192.168.1.21|||5025|Ethernet|192.168.1.5|Raw|");

    // With only key 1 left the search starts at 1, which is taken: 2.
    SelectRow(LanList(iList), 2);
    Click(PageButton(iList, 2, "Remove"));
    SelectRow(LanList(iList), 0);
    Click(PageButton(iList, 2, "Remove"));
    ASSERT_EQ(Keys(sGroup).size(), 1u);
    EXPECT_EQ(onDisk(), "<none>");
    EnterLan(iList, "Picotest", "M3500A", "192.168.1.23");
    Click(PageButton(iList, 2, "Add"));
    const auto keys = Keys(sGroup);
    ASSERT_EQ(keys.size(), 2u);
    EXPECT_TRUE(keys[1].starts_with("2=Picotest||M3500A||")) << keys[1];
    // Removing leaves the instrument listed until the next full search.
    EXPECT_GE(RowNamed(iList, "[ Rigol Technologies DS1000Z ]"), 0);
    Settle();
    Click(Gadget<QPushButton>(iList, "Refresh"));
    ASSERT_TRUE(WaitFor([&] { return RowNamed(iList, "[ Rigol Technologies DS1000Z ]") < 0; }, 10000));
    EXPECT_GE(RowNamed(iList, "[ Picotest M3500A ]"), 0);

    // A text holding the field separator would shift the later fields: refused, with a word.
    EnterLan(iList, "Acme||Evil", "X", "192.168.1.24");
    Click(PageButton(iList, 2, "Add"));
    EXPECT_EQ(Keys(sGroup).size(), 2u);
    EXPECT_EQ(StatusText(iList), "The entry was not added: a text must not contain \"||\".");
}

TEST_F(SelectManualTest, ManualRawAndSerialInstrumentsAreListedAndConnectedByTheMainWindow) {
    // A raw SCPI instrument on the adapter's network and a serial one on a pseudo-terminal that
    // the test's tty tree lists.
    Sim::RawTcpServer raw;
    std::string sError;
    ASSERT_TRUE(raw.Start(sError, "192.168.1.5")) << sError;
    raw.Device().SetIdn("Rohde&Schwarz,RTB2004,1333.1005k04/102345,02.300");
    Sim::SerialDevice serial;
    ASSERT_TRUE(serial.Start(sError)) << sError;
    serial.Device().SetIdn("HAMEG,HM2008,023456789,05.518");
    const QString sPts = QString::fromStdString(serial.PortName()).section('/', -1);
    ASSERT_TRUE(QDir(ttyTree.path()).mkpath(sPts));
    ASSERT_TRUE(QFile::link(ttyTree.path(), ttyTree.path() + "/" + sPts + "/device"));
    // A legacy port that is not there (type 0) and a virtual console (no device) are left out.
    ASSERT_TRUE(QDir(ttyTree.path()).mkpath("ttyS0"));
    ASSERT_TRUE(QFile::link(ttyTree.path(), ttyTree.path() + "/ttyS0/device"));
    QFile type(ttyTree.path() + "/ttyS0/type");
    ASSERT_TRUE(type.open(QIODevice::WriteOnly));
    type.write("0\n");
    type.close();
    ASSERT_TRUE(QDir(ttyTree.path()).mkpath("tty1"));

    const int iMain = OpenMain();
    const int iList = ListOf(iMain);
    ASSERT_NE(iList, 0);
    ASSERT_TRUE(WaitForSearch(iList));
    QComboBox* pPort = Combo(iList, 3, 0);
    ASSERT_EQ(pPort->count(), 1);
    EXPECT_EQ(pPort->currentText().toStdString(), serial.PortName());

    // The serial entry: plain numbers stored, the list shows them as the user reads them.
    Combo(iList, 3, 1)->setEditText("HAMEG");
    Settle();
    Combo(iList, 3, 2)->setCurrentIndex(2);
    Combo(iList, 3, 3)->setCurrentIndex(4);
    Combo(iList, 3, 5)->setCurrentIndex(1);
    Combo(iList, 3, 6)->setCurrentIndex(2);
    Combo(iList, 3, 7)->setCurrentIndex(3);
    Click(PageButton(iList, 3, "Add"));
    EXPECT_EQ(ReadConfigValue("WindowSelectAddSerialInstrument", "0"), "HAMEG||HM2008||" + serial.PortName() + "||115200||8||1.5||2||3||");
    EXPECT_EQ(SerialList(iList)->topLevelItem(0)->text(3).toStdString(), Utility::StrDLocalized(115200, 0));
    EXPECT_EQ(SerialList(iList)->topLevelItem(0)->text(5).toStdString(), Utility::StrDLocalized(1.5, -1));
    EXPECT_EQ(SerialList(iList)->topLevelItem(0)->text(6), "Even");
    EXPECT_EQ(SerialList(iList)->topLevelItem(0)->text(7), "Xon/Xoff");

    // The raw entry at the simulator's port.
    Click(Gadget<QRadioButton>(iList, "Raw TCP"));
    EnterLan(iList, "Rohde & Schwarz", "RTB2000", "192.168.1.5");
    Field(iList, 3)->setText(QString::number(raw.Port()));
    Click(PageButton(iList, 2, "Add"));

    const int iSerialRow = RowNamed(iList, "[ HAMEG HM2008 ]");
    const int iRawRow = RowNamed(iList, "[ Rohde & Schwarz RTB2000 ]");
    ASSERT_GE(iSerialRow, 0);
    ASSERT_GE(iRawRow, 0);
    EXPECT_EQ(Rows(iList)[static_cast<std::size_t>(iSerialRow)],
              "[ HAMEG HM2008 ]|COM|HM2008|HAMEG|-|-|-|-|" + serial.PortName() + "|COM|");
    EXPECT_EQ(Rows(iList)[static_cast<std::size_t>(iRawRow)],
              "[ Rohde & Schwarz RTB2000 ]|LAN|RTB2000|Rohde & Schwarz|-|-|192.168.1.5|" + std::to_string(raw.Port()) + "|-|RawTCP|");
    EXPECT_EQ(StatusText(iList), std::to_string(Rows(iList).size()) + " Instruments found.");

    // A double click hands the object to the main window, which connects it (reading *IDN?),
    // shows its fields and closes the list. A pseudo-terminal has no parity bit: the even-parity
    // entry fails at the port, the main window stays unconnected and the list stays open.
    DoubleClick(iList, "[ HAMEG HM2008 ]");
    ASSERT_TRUE(WaitFor([] { return LogHas("Serial::Connect: The serial connection could not be created. Port: "); }))
        << WindowLog::Text();
    Settle();
    EXPECT_FALSE(Record(iMain)->info.fConnected);
    EXPECT_TRUE(Record(iMain)->mPendingConnects.empty());
    EXPECT_EQ(ListOf(iMain), iList);
    EXPECT_EQ(MainStatus(iMain), "");

    // The same port without parity and handshake connects.
    Combo(iList, 3, 1)->setEditText("HAMEG");
    Settle();
    Combo(iList, 3, 2)->setCurrentIndex(0);
    Combo(iList, 3, 6)->setCurrentIndex(0);
    Combo(iList, 3, 7)->setCurrentIndex(0);
    Click(PageButton(iList, 3, "Add"));
    EXPECT_EQ(ReadConfigValue("WindowSelectAddSerialInstrument", "1"), "HAMEG||HM1008||" + serial.PortName() + "||115200||8||1.5||0||0||");
    DoubleClick(iList, "[ HAMEG HM1008 ]");
    ExpectConnected(iMain);
    // The status bar shows what the instrument answered, not the names of the entry.
    EXPECT_EQ(MainStatus(iMain), "HAMEG HM2008 - Serial number: 023456789 - Firmware: 05.518");
    EXPECT_EQ(Record(iMain)->info.sModel, "HM2008");
    EXPECT_TRUE(LogHas("HM2008 - for the Script:  instrument serial " + serial.PortName() + " 115200 8 1.5 none none"))
        << WindowLog::Text();

    // After "&Disconnect", "&Select..." opens a new list, whose search lists the entries again.
    Choose(iMain, WindowStart::MenuDisconnect);
    ASSERT_FALSE(Record(iMain)->info.fConnected);
    Choose(iMain, WindowStart::MenuSelect);
    const int iAgain = ListOf(iMain);
    ASSERT_NE(iAgain, 0);
    ASSERT_TRUE(WaitForSearch(iAgain));
    DoubleClick(iAgain, "[ Rohde & Schwarz RTB2000 ]");
    ExpectConnected(iMain);
    EXPECT_EQ(MainStatus(iMain), "Rohde&Schwarz RTB2004 - Serial number: 1333.1005k04/102345 - Firmware: 02.300");
    EXPECT_EQ(Record(iMain)->info.eProtocol, ProtocolRawTcp);
    EXPECT_TRUE(LogHas("RTB2004 - for the Script:  instrument rawtcp 192.168.1.5 " + std::to_string(raw.Port())))
        << WindowLog::Text();
}

// The "Add" of the LAN page refuses what would never connect or would be listed twice: an
// address that is not four numbers, and a second entry for the same address, ports and type.
TEST_F(SelectManualTest, TheLanFormRefusesAPartialAddressAndAnEntryAlreadyStored) {
    if (!fNetwork) GTEST_SKIP() << sWhyNot;
    const int iList = OpenWithList();
    ASSERT_NE(iList, 0);
    ASSERT_TRUE(WaitForSearch(iList));
    const char* sGroup = "WindowSelectAddLANInstrument";
    struct uCase {
        const char* pIp;
        bool fRaw;
        std::size_t iKeys;   // stored entries afterwards
        std::string sStatus; // empty: stored
    };
    const auto partial = [](const std::string& s) {
        return "The entry was not added: \"" + s +
               "\" is not a whole IPv4 address (four numbers from 0 to 255, such as 192.168.1.20).";
    };
    const uCase cases[] = {
        {"192.168.1", false, 0, partial("192.168.1")},
        {"192.168.1.300", false, 0, partial("192.168.1.300")},
        {"192.168.1.20", false, 1, ""},
        {" 192.168.1.20 ", false, 1, "The entry was not added: an entry for 192.168.1.20 with these ports is already stored."},
        {"192.168.1.20", true, 2, ""}, // the same address over raw TCP is another way in
    };
    for (const uCase& c : cases) {
        SCOPED_TRACE(c.pIp);
        Click(Gadget<QRadioButton>(iList, c.fRaw ? "Raw TCP" : "LXI"));
        EnterLan(iList, "Rigol Technologies", "DS1000Z", c.pIp);
        Click(PageButton(iList, 2, "Add"));
        EXPECT_EQ(Keys(sGroup).size(), c.iKeys);
        EXPECT_EQ(LanList(iList)->topLevelItemCount(), static_cast<int>(c.iKeys));
        if (!c.sStatus.empty()) EXPECT_EQ(StatusText(iList), c.sStatus);
        if (!c.sStatus.empty()) EXPECT_EQ(StatusTip(iList), c.sStatus);
        if (!c.sStatus.empty()) EXPECT_TRUE(StatusFits(iList)); // at the window's default width
        else EXPECT_FALSE(StatusText(iList).starts_with("The entry was not added")) << StatusText(iList);
    }
}

// A connect that fails says why in the status line of the list that asked for it, in words,
// and the list stays open for the next choice: a port nobody listens on, an address where
// nothing answers within the connect time-out, and LXI chosen for a raw-socket instrument.
TEST_F(SelectManualTest, AFailedConnectSaysWhyInTheListsStatusLine) {
    if (!fNetwork) GTEST_SKIP() << sWhyNot;
    Sim::RawTcpServer raw;
    std::string sError;
    ASSERT_TRUE(raw.Start(sError, "127.0.0.1")) << sError;
    const int iMain = OpenMain();
    const int iList = ListOf(iMain);
    ASSERT_NE(iList, 0);
    ASSERT_TRUE(WaitForSearch(iList));
    const std::string sLead = "The instrument could not be connected: ";
    const struct {
        const char *pModel, *pIp;
        bool fRaw;
        int iPort; // raw TCP only
        std::string sReason;
    } cases[] = {
        {"Refused", "127.0.0.1", true, 1,
         "The instrument at 127.0.0.1 refused the connection on port 1: nothing accepts connections there. "
         "Check the port and that the instrument's network interface is on."},
        // Nobody on the adapter's network answers for 192.168.1.99.
        {"Silent", "192.168.1.99", true, 5025,
         "No answer from 192.168.1.99 within 2000 ms. Check the IP address, the cable and that the "
         "instrument is switched on."},
        // The simulator takes raw SCPI only; this network has no portmapper.
        {"WrongProtocol", "127.0.0.1", false, 0,
         "No LXI (VXI-11) service at 127.0.0.1: port 111 refused the connection. If the instrument takes "
         "SCPI over a raw socket (port 5025), add it as \"Raw TCP\"."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pModel);
        Click(Gadget<QRadioButton>(iList, c.fRaw ? "Raw TCP" : "LXI"));
        EnterLan(iList, "Acme", c.pModel, c.pIp);
        if (c.fRaw) Field(iList, 3)->setText(QString::number(c.iPort));
        Click(PageButton(iList, 2, "Add"));
        DoubleClick(iList, std::string("[ Acme ") + c.pModel + " ]");
        ASSERT_TRUE(WaitFor([&] { return StatusText(iList).starts_with(sLead); }, 10000)) << WindowLog::Text();
        EXPECT_EQ(StatusText(iList), sLead + c.sReason);
        EXPECT_EQ(StatusTip(iList), sLead + c.sReason);
        EXPECT_FALSE(Record(iMain)->info.fConnected);
        EXPECT_EQ(ListOf(iMain), iList);
        EXPECT_EQ(MainStatus(iMain), "");
    }
    // The log keeps the transport's own words.
    EXPECT_TRUE(LogHas("Connection refused. Code = 111")) << WindowLog::Text();
}

} // namespace
