// A PC whose only adapter is loopback (a private network with nothing but "lo"): the first start
// in an empty home makes config.ini, an instrument at 127.0.0.1 is added by hand through the
// loopback adapter, kept across a restart and connected, then lost; the lists name an instrument
// that a script let go by its answer to *IDN?, or say why it has none; where config.ini cannot be
// made, the "Add" says so with its path.
#include "SelectTestSupport.h"

#include "common/WindowLog.h"
#include "instrument/Instrument.h"
#include "instrument/ModelTable.h"
#include "script/WindowScript.h"
#include "sim/RawTcpServer.h"
#include "windows/capture/WaveformRequests.h"
#include "windows/select/WindowSelectInstrumentRecord.h"

#include <QFile>

namespace {

using namespace FrameTestSupport;
using SelectTestSupport::SelectTest;

constexpr const char* LanGroup = "WindowSelectAddLANInstrument";

class SelectLoopbackTest : public SelectTest {
  protected:
    static void SetUpTestSuite() {
        EnterNetwork(); // loopback only: no adapter is added
        FrameTest::SetUpTestSuite();
    }
    void TearDown() override {
        SelectTest::TearDown();
        qputenv("HOME", oldHome);
        if (fHadXdg) qputenv("XDG_CONFIG_HOME", oldXdg);
        else qunsetenv("XDG_CONFIG_HOME");
    }
    // Ends the main windows and config.ini as the program's exit does (saving it when asked).
    void CloseEverything(bool fSave) {
        for (int iWindow : WindowStart::Windows()) EventHub::PostEvent(EventCloseWindowRequest, iWindow);
        ASSERT_TRUE(WaitFor([] { return WindowStart::Windows().empty(); }));
        StopSearch();
        std::string sError;
        Instrument::ReleaseAll(true, 0, sError);
        Main::SetConfigSaveAtExit(fSave);
        Main::CloseConfig();
    }
    // A raw TCP entry for the simulator, typed into the "Add LAN instrument" page and added.
    void AddRawEntry(int iList, int iPort) {
        Click(Gadget<QRadioButton>(iList, "Raw TCP"));
        Combo(iList, 2, 1)->setEditText("Rohde & Schwarz");
        Settle();
        Combo(iList, 2, 2)->setEditText("RTB2000");
        Field(iList, 0)->setText("127.0.0.1");
        Field(iList, 3)->setText(QString::number(iPort));
        Click(PageButton(iList, 2, "Add"));
    }

    // A script run that uses the instrument at the server (started here, answering *IDN? with
    // sIdn) and lets it go as its window closes: the list's one row at the server's port, which
    // then shows it.
    std::string ScriptedRow(int iList, Sim::RawTcpServer& server, const std::string& sIdn) const {
        std::string sError;
        EXPECT_TRUE(server.Start(sError, "127.0.0.1")) << sError;
        server.Device().SetIdn(sIdn);
        const int iScript = Main::OpenScriptWindow();
        WindowScript::uWindowScript* pScript = nullptr;
        if (!WindowScript::GetInstance(iScript, &pScript)) return "no script window";
        WindowScript::SetScriptText(*pScript, "instrument $s rawtcp 127.0.0.1 " + std::to_string(server.Port()) +
                                                  " 127.0.0.1\n");
        pScript->pButtonRun->click();
        EXPECT_TRUE(WaitFor([&] { return pScript->pButtonRun->isEnabled(); })) << WindowLog::Text();
        EventHub::PostEvent(EventCloseWindowRequest, iScript);
        const std::string sAt = "|127.0.0.1|" + std::to_string(server.Port()) + "|";
        std::vector<std::string> rows;
        const auto at = [&] {
            rows = Rows(iList);
            std::erase_if(rows, [&](const std::string& sRow) { return sRow.find(sAt) == std::string::npos; });
            return rows.size() == 1;
        };
        EXPECT_TRUE(WaitFor(at)) << WindowLog::Text();
        return rows.empty() ? "no row" : rows[0];
    }

    const QByteArray oldHome = qgetenv("HOME"), oldXdg = qgetenv("XDG_CONFIG_HOME");
    const bool fHadXdg = qEnvironmentVariableIsSet("XDG_CONFIG_HOME");
};

TEST_F(SelectLoopbackTest, AFirstStartKeepsALoopbackInstrumentThatThenConnects) {
    // A home with nothing in it.
    CloseEverything(false);
    const std::string sXdg = dir.filePath("xdg").toStdString();
    qputenv("HOME", dir.filePath("home").toUtf8());
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(sXdg));
    Main::ResetResourceFolders();
    Main::OpenConfig();
    const std::string sConfig = sXdg + "/Orvanto/Orvanto/Resources/config.ini";
    ASSERT_EQ(Main::ConfigPath(), sConfig) << Main::ConfigProblem();
    EXPECT_EQ(Main::ConfigProblem(), "");
    ASSERT_TRUE(QFile::exists(QString::fromStdString(sConfig)));

    Sim::RawTcpServer raw;
    std::string sError;
    ASSERT_TRUE(raw.Start(sError, "127.0.0.1")) << sError;
    raw.Device().SetIdn("Rohde&Schwarz,RTB2004,1333.1005k04/102345,02.300");
    int iList = OpenWithList();
    ASSERT_NE(iList, 0);
    ASSERT_TRUE(WaitForSearch(iList));
    // No adapter but loopback, which the list leaves out: the search never broadcasts there.
    EXPECT_EQ(Combo(iList, 2, 0)->count(), 0);
    EXPECT_EQ(AdapterList(iList)->topLevelItemCount(), 0);
    AddRawEntry(iList, raw.Port());
    const std::string sEntry =
        "0=Rohde & Schwarz||RTB2000||127.0.0.1||||||" + std::to_string(raw.Port()) + "||lo||127.0.0.1||Raw";
    EXPECT_EQ(Keys(LanGroup), std::vector<std::string>{sEntry}) << StatusText(iList);

    // The restart: written at exit, read at the next start, listed and connected there.
    CloseEverything(true);
    Main::OpenConfig();
    ASSERT_EQ(Main::ConfigPath(), sConfig);
    EXPECT_EQ(Keys(LanGroup), std::vector<std::string>{sEntry});
    const int iMain = OpenMain();
    iList = ListOf(iMain);
    ASSERT_NE(iList, 0);
    ASSERT_TRUE(WaitForSearch(iList));
    ASSERT_EQ(LanList(iList)->topLevelItemCount(), 1);
    const auto rows = Rows(iList);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0], "[ Rohde & Schwarz RTB2000 ]|LAN|RTB2000|Rohde & Schwarz|-|-|127.0.0.1|" +
                           std::to_string(raw.Port()) + "|-|RawTCP|");
    WindowSelectInstrument::SelectInstrument(*WindowSelectInstrument::Record(iList), 0);
    WindowSelectInstrument::ConnectInstrument(iList);
    ASSERT_TRUE(WaitFor([&] { return Record(iMain)->info.fConnected; }, 10000)) << WindowLog::Text();
    EXPECT_EQ(Record(iMain)->info.sModel, "RTB2004");
    EXPECT_TRUE(WindowLog::Text().find("instrument rawtcp 127.0.0.1 " + std::to_string(raw.Port())) != std::string::npos)
        << WindowLog::Text();
    // A second main window's list finds nothing and says why.
    const int iOther = ListOf(OpenMain());
    ASSERT_TRUE(iOther != 0 && WaitForSearch(iOther));
    EXPECT_EQ(StatusText(iOther), "No instrument was found. 1 instrument is not listed: another window or a script holds it.");

    // Lost, it is not listed by its own window's list either, which finds nothing and says why.
    raw.Stop();
    const InstrumentObject lost = Record(iMain)->info.pInstrument;
    ASSERT_NE(lost->pInterface->AddTask(*lost, uTaskGetIdn{{InstrumentTaskGetIdn, 0, WindowNobody}}, sError), 0);
    ASSERT_TRUE(WaitFor([&] { return Record(iMain)->info.fLost; })) << WindowLog::Text();
    Choose(iMain, WindowStart::MenuSelect);
    ASSERT_TRUE(ListOf(iMain) != 0 && WaitForSearch(ListOf(iMain)));
    EXPECT_EQ(StatusText(ListOf(iMain)),
              "No instrument was found. The lost RTB2004 is not listed: its window holds it until \"Disconnect\".");

    // An instrument that a script run used and let go is listed by its answer to *IDN?, even one
    // that names its model and no maker.
    Sim::RawTcpServer scripted;
    const std::string sScripted = ScriptedRow(iOther, scripted, ",RTB2004,1333.1005k04/102345,02.300");
    ASSERT_EQ(sScripted, "RTB2004|LAN|RTB2004||1333.1005k04/102345|02.300|127.0.0.1|" + std::to_string(scripted.Port()) +
                             "|-|RawTCP|");

    // Held only by a list's search (as while that identifies it), it is left out and not counted:
    // the count is the lost one.
    const InstrumentObject found = WindowSelectInstrument::Record(iOther)->mListed.at(0);
    ASSERT_NE(found->pInterface->AddTask(*found, uTaskConnect{{InstrumentTaskConnect, 0, WindowNobody, iOther}}, sError), 0);
    ASSERT_TRUE(WaitFor([&] { return Instrument::InUse(found); })) << WindowLog::Text();
    EventHub::PostEvent(EventInstrumentFreed, 0); // as another's release refills the lists
    ASSERT_TRUE(WaitFor([&] { return Rows(iOther).empty(); })) << WindowLog::Text();
    EXPECT_EQ(StatusText(iOther), "No instrument was found. 1 instrument is not listed: another window or a script holds it.");

    // One whose answer was noise, an empty line or one that names no maker and no model is listed
    // with why in the place of its names, never as "[ ]".
    const std::pair<std::string, std::string> aAnswers[] = {
        {"\x80\xF8\xFEx", ""},
        {"", "an empty line"},
        {",,,", "an identification that names no maker or model"}};
    for (const auto& [sIdn, sAnswered] : aAnswers) {
        Sim::RawTcpServer server;
        const std::string sRow = ScriptedRow(iOther, server, sIdn);
        const std::string sPort = std::to_string(server.Port());
        // Why is the connect's: the answer, or no answer where a loaded machine outlasted its short wait.
        const std::string sWhy = sRow.substr(0, sRow.find('|'));
        const std::string sAt = "identification (*IDN?) at 127.0.0.1:" + sPort;
        EXPECT_NE(sWhy.find(sAt), std::string::npos) << sRow;
        if (!sAnswered.empty() && !sWhy.starts_with("No instrument answered")) {
            EXPECT_EQ(sWhy, "The instrument answered the " + sAt + " with " + sAnswered +
                                ": check the instrument's settings for remote control.");
        }
        EXPECT_EQ(sRow, sWhy + "|LAN|" + sWhy + "||-|-|127.0.0.1|" + sPort + "|-|RawTCP|");
    }
}

// The four-channel RTB and SDS are offered by their own names in the add form: an entry made
// with them is identified as the four-channel model, whose channel refresh asks for four
// channels. An entry saying "RTB2000" keeps its meaning (two channels) whatever *IDN? says.
TEST_F(SelectLoopbackTest, FourChannelModelsAddedByHandOfferFourChannels) {
    const struct {
        const char *sMaker, *sModel, *sIdnModel;
        std::int64_t eModel;
        qsizetype iChannels;
    } cases[] = {
        {"Rohde & Schwarz", "RTB2004", "RTB2004", ModelRohdeSchwarzRTB2000Ch4, 4},
        {"Siglent Technologies", "SDS2104X Plus", "SDS2104X Plus", ModelSiglentSDS2000XPlusCh4, 4},
        {"Rohde & Schwarz", "RTB2000", "RTB2004", ModelRohdeSchwarzRTB2000Ch2, 2},
        {"Siglent Technologies", "SDS2000X Plus", "SDS2104X Plus", ModelSiglentSDS2000XPlusCh2, 2},
    };
    const int iList = OpenWithList();
    ASSERT_NE(iList, 0);
    ASSERT_TRUE(WaitForSearch(iList));
    for (const auto& c : cases) {
        Combo(iList, 2, 1)->setEditText(c.sMaker);
        Settle();
        const int iIndex = Combo(iList, 2, 2)->findText(c.sModel);
        ASSERT_GE(iIndex, 0) << c.sModel << " is not offered";
        Combo(iList, 2, 2)->setCurrentIndex(iIndex);
        uTaskPrepare prepare;
        prepare.fUserModel = 1;
        prepare.sUserManufacturer = Combo(iList, 2, 1)->currentText().toStdString();
        prepare.sUserModel = Combo(iList, 2, 2)->currentText().toStdString();
        uIdn idn;
        idn.sManufacturer = c.sMaker;
        idn.sModel = c.sIdnModel;
        const std::int64_t eModel = Instrument::GetModelFromIdn(prepare, idn, 0);
        EXPECT_EQ(eModel, c.eModel) << c.sModel;
        const std::string sRefresh = WaveformRequests::VisibleChannelsCommand(eModel);
        EXPECT_EQ(QString::fromStdString(sRefresh).count(":CHAN"), c.iChannels) << c.sModel << ": " << sRefresh;
    }
}

// Tests run as root, which no permission bit stops: the folder lies below a regular file.
TEST_F(SelectLoopbackTest, AnEntryThatCannotBeKeptIsRefusedNamingConfigIni) {
    CloseEverything(false);
    const std::string sFolder = BlockConfig();
    ASSERT_EQ(Main::ConfigIni(), nullptr);

    const int iList = OpenWithList();
    ASSERT_NE(iList, 0);
    ASSERT_TRUE(WaitForSearch(iList));
    AddRawEntry(iList, 5025);
    EXPECT_EQ(StatusText(iList), "The entry was not added: " + sFolder + "config.ini could not be created: Not a directory");
    EXPECT_EQ(LanList(iList)->topLevelItemCount(), 0);
    EXPECT_TRUE(Rows(iList).empty());
}

} // namespace
