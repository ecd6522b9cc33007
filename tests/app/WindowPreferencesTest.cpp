// The real preferences window, opened from the main window's menu and driven through its tree,
// fields, check box, buttons and keys; config.ini in memory and on disk.
#include "app/FrameTestSupport.h"
#include "app/WindowPreferences.h"
#include "instrument/Instrument.h"
#include "instrument/TaskRecords.h"
#include "platform/WindowRegistry.h"
#include "sim/RawTcpServer.h"
#include "transport/InterfaceDefaults.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTreeWidget>

#include <map>
#include <tuple>

namespace {

using namespace FrameTestSupport;
using WindowPreferences::uWindowPreferences;

// Every value of config.ini in memory: (section, key) -> value.
std::map<std::pair<std::string, std::string>, std::string> AllValues() {
    std::map<std::pair<std::string, std::string>, std::string> m;
    uIni* pIni = Main::ConfigIni();
    std::vector<std::string> mSections;
    Ini::ExamineSections(pIni);
    while (Ini::NextSection(pIni)) mSections.push_back(Ini::SectionName(pIni));
    for (const std::string& sSection : mSections) {
        Ini::SelectSection(pIni, sSection);
        Ini::ExamineKeys(pIni);
        while (Ini::NextKey(pIni)) m[{sSection, Ini::KeyName(pIni)}] = Ini::KeyValue(pIni);
    }
    return m;
}

// The running time-outs, put back at the end of the test.
struct RunningTimeouts {
    const int iUsbTmc = InterfaceDefaults::Timeout(InterfaceUsbTmc), iVxi11 = InterfaceDefaults::Timeout(InterfaceVxi11),
              iRaw = InterfaceDefaults::Timeout(InterfaceRawTcp), iSerial = InterfaceDefaults::Timeout(InterfaceSerial);
    ~RunningTimeouts() { InterfaceDefaults::SetTimeouts(iUsbTmc, iVxi11, iRaw, iSerial); }
};

class WindowPreferencesTest : public FrameTest {
  protected:
    void SetUp() override {
        FrameTest::SetUp();
        WindowPreferences::RegisterKind();
    }
    std::string ConfigText() override {
        return "[General]\nToolBarLarge = 1\n\n[Instrument]\nTimeOutDeviceResponseUsbTmc = 4000\n";
    }

    // Opens the preferences from the main window's menu; its record.
    uWindowPreferences* OpenPreferences(int iMain) {
        Choose(iMain, WindowStart::MenuPreferences);
        const int iWindow = WindowStart::FindChild(-1, WindowKindPreferences);
        uWindowPreferences* p = nullptr;
        return WindowPreferences::FindInstance(iWindow, &p) ? p : nullptr;
    }
    static int Section(uWindowPreferences* p) {
        int i = 0;
        for (QTreeWidgetItemIterator it(p->pTree); *it; ++it, ++i) {
            if (*it == p->pTree->currentItem()) return i;
        }
        return -1;
    }
    static void SetRecent(const char* sValue) {
        uIni* pIni = Main::ConfigIni();
        Ini::SelectSection(pIni, "General");
        if (sValue) Ini::WriteString(pIni, "PreferencesRecent", sValue);
        else Ini::RemoveKey(pIni, "PreferencesRecent");
    }
    // The preferences on their "Instrument" page.
    uWindowPreferences* OpenTimeouts(int iMain) {
        SetRecent("2");
        return OpenPreferences(iMain);
    }
    static std::string Status(uWindowPreferences* p) { return p->pStatusText->text().toStdString(); }
    static bool IsOpen() { return WindowStart::FindChild(-1, WindowKindPreferences) != 0; }
};

TEST_F(WindowPreferencesTest, ItOpensSeparateOwnedFixedWithTheTreeAndTheConfigPath) {
    const int iMain = OpenMain();
    uWindowPreferences* p = OpenPreferences(iMain);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->fMdi, 0);
    EXPECT_EQ(p->iOwner, iMain);
    EXPECT_EQ(p->pFrame->windowTitle().toStdString(), "Preferences");
    EXPECT_TRUE(p->pFrame->isWindow());
    EXPECT_EQ(p->pFrame->parentWidget(), Record(iMain)->pFrame.data());
    EXPECT_EQ(p->pFrame->size(), QSize(600, 450));
    EXPECT_EQ(p->pFrame->minimumSize(), p->pFrame->maximumSize());
    EXPECT_EQ(Status(p), Main::ConfigPath());
    EXPECT_EQ(TestApplication::ToolTip(p->pStatusText), Main::ConfigPath()); // a long path shows whole on hover
    ASSERT_EQ(p->pTree->topLevelItemCount(), 2);
    EXPECT_EQ(p->pTree->topLevelItem(0)->text(0).toStdString(), "General");
    EXPECT_TRUE(p->pTree->topLevelItem(0)->isExpanded());
    EXPECT_EQ(p->pTree->topLevelItem(0)->child(0)->text(0).toStdString(), "Shortcuts");
    EXPECT_EQ(p->pTree->topLevelItem(1)->text(0).toStdString(), "Instrument");
    EXPECT_EQ(p->pOk->text().toStdString(), "OK");
    EXPECT_EQ(p->pCancel->text().toStdString(), "Cancel");
    EXPECT_EQ(p->pOk->geometry().right() + 1 + 10, p->pCancel->x());
    EXPECT_EQ(p->pCancel->geometry().right() + 1, 590);
    // Only the page shown so far exists.
    EXPECT_TRUE(p->mPage[WindowPreferences::SectionGeneral]);
    EXPECT_FALSE(p->mPage[WindowPreferences::SectionShortcuts]);
    EXPECT_FALSE(p->mPage[WindowPreferences::SectionInstrument]);
    EXPECT_EQ(p->pToolBarLarge->text().toStdString(), "Show large toolbar.");
    EXPECT_TRUE(p->pToolBarLarge->isChecked());
}

struct uRecentCase {
    const char* sStored; // nullptr: no key
    int iShown;
};

TEST_F(WindowPreferencesTest, TheSectionShownLastIsRestoredAndOutOfRangeMeansGeneral) {
    const int iMain = OpenMain();
    for (const uRecentCase& c : {uRecentCase{nullptr, 0}, uRecentCase{"2", 2}, uRecentCase{"7", 0},
                                 uRecentCase{"1", 1}, uRecentCase{"-1", 0}, uRecentCase{"x", 0}}) {
        SCOPED_TRACE(c.sStored ? c.sStored : "missing");
        SetRecent(c.sStored);
        uWindowPreferences* p = OpenPreferences(iMain);
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(Section(p), c.iShown);
        EXPECT_EQ(p->pCurrentPage, p->mPage[c.iShown]);
        EXPECT_TRUE(p->pCurrentPage->isVisible());
        EXPECT_EQ(ReadConfigValue("General", "PreferencesRecent"), std::to_string(c.iShown));
        QTest::mouseClick(p->pCancel, Qt::LeftButton);
        Settle();
        ASSERT_FALSE(IsOpen());
    }
}

TEST_F(WindowPreferencesTest, ChoosingASectionBuildsItsPageOnceAndRemembersIt) {
    const int iMain = OpenMain();
    SetRecent("0");
    uWindowPreferences* p = OpenPreferences(iMain);
    ASSERT_NE(p, nullptr);
    p->pTree->setCurrentItem(p->pTree->topLevelItem(1));
    Settle();
    EXPECT_EQ(ReadConfigValue("General", "PreferencesRecent"), "2");
    QWidget* pInstrument = p->mPage[WindowPreferences::SectionInstrument];
    ASSERT_NE(pInstrument, nullptr);
    EXPECT_FALSE(p->mPage[WindowPreferences::SectionGeneral]->isVisible());
    EXPECT_EQ(p->mFrame[WindowPreferences::SectionInstrument]->title().toStdString(), "Instrument");
    std::vector<std::string> mLabels;
    for (QLabel* pLabel : pInstrument->findChildren<QLabel*>()) {
        if (!pLabel->text().isEmpty()) mLabels.push_back(pLabel->text().toStdString());
    }
    EXPECT_EQ(mLabels, (std::vector<std::string>{
                           "USBTCM - Waiting time until the instrument responds:", "Milliseconds",
                           "LXI - Waiting time until the instrument responds:", "Milliseconds",
                           "Raw-TCP - Waiting time until the instrument responds:", "Milliseconds",
                           "Serial - Waiting time until the instrument responds:", "Milliseconds"}));
    const char* mShown[] = {"4000", "5000", "2000", "2000"};
    for (int i = 0; i < WindowPreferences::TimeoutCount; ++i) {
        EXPECT_EQ(p->mTimeout[i]->text().toStdString(), mShown[i]);
        EXPECT_EQ(p->mTimeout[i]->geometry(), QRect(20, 55 + 85 * i, 90, 25));
        EXPECT_EQ(p->mTimeoutReason[i]->geometry(), QRect(20, 80 + 85 * i, 330, 32));
        EXPECT_FALSE(p->mTimeoutReason[i]->isVisible());
    }
    p->pTree->setCurrentItem(p->pTree->topLevelItem(0)->child(0));
    Settle();
    p->pTree->setCurrentItem(p->pTree->topLevelItem(1));
    Settle();
    EXPECT_EQ(p->mPage[WindowPreferences::SectionInstrument], pInstrument);
    EXPECT_TRUE(p->mChange.empty());
}

TEST_F(WindowPreferencesTest, TypedTimeOutIsWrittenByOkAndTheRunningDefaultFollows) {
    const int iMain = OpenMain();
    const RunningTimeouts restore;
    uWindowPreferences* p = OpenTimeouts(iMain);
    ASSERT_NE(p, nullptr);
    QLineEdit* pField = p->mTimeout[0];
    pField->setFocus();
    pField->selectAll();
    QTest::keyClick(pField, Qt::Key_Backspace);
    EXPECT_EQ(Status(p), WindowPreferences::TextBadTimeout);
    QTest::keyClicks(pField, "1500");
    EXPECT_EQ(Status(p), WindowPreferences::TextTimeoutApplies);
    EXPECT_EQ(p->mChange.size(), 4u); // 1, 15, 150, 1500
    QTest::mouseClick(p->pOk, Qt::LeftButton);
    Settle();
    EXPECT_FALSE(IsOpen());
    EXPECT_EQ(ReadConfigValue("Instrument", "TimeOutDeviceResponseUsbTmc"), "1500");
    EXPECT_EQ(InterfaceDefaults::Timeout(InterfaceUsbTmc), 1500);
    EXPECT_EQ(InterfaceDefaults::Timeout(InterfaceUsbNone), 1500);
    // "OK" with changes has the file written at exit.
    Main::CloseConfig();
    QFile f(dir.filePath("user/config.ini"));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_TRUE(f.readAll().contains("TimeOutDeviceResponseUsbTmc = 1500"));
    f.close();
    Main::OpenConfig();
}

struct uTimeoutCase {
    const char* sTyped;
    bool fRecorded;
    std::int64_t iValue;
};

TEST_F(WindowPreferencesTest, OnlyWholeNumbersFromOneTo3600000AreRecorded) {
    const int iMain = OpenMain();
    SetRecent("2");
    uWindowPreferences* p = OpenPreferences(iMain);
    ASSERT_NE(p, nullptr);
    QLineEdit* pField = p->mTimeout[2];
    for (const uTimeoutCase& c : {uTimeoutCase{"250", true, 250}, uTimeoutCase{"", false, 0},
                                  uTimeoutCase{"abc", false, 0}, uTimeoutCase{"-5", false, 0},
                                  uTimeoutCase{"0", false, 0}, uTimeoutCase{"3600001", false, 0},
                                  uTimeoutCase{"12.5", false, 0}, uTimeoutCase{"1e3", false, 0},
                                  uTimeoutCase{"+7", false, 0}, uTimeoutCase{"99999999999999999999", false, 0},
                                  uTimeoutCase{" 42 ", true, 42}, uTimeoutCase{"3600000", true, 3600000},
                                  uTimeoutCase{"1", true, 1}}) {
        SCOPED_TRACE(c.sTyped);
        const std::size_t iBefore = p->mChange.size();
        pField->setText(c.sTyped);
        EXPECT_EQ(p->mChange.size(), iBefore + (c.fRecorded ? 1 : 0));
        EXPECT_EQ(Status(p), c.fRecorded ? WindowPreferences::TextTimeoutApplies : WindowPreferences::TextBadTimeout);
        EXPECT_EQ(p->mTimeoutReason[2]->isVisible(), !c.fRecorded);
        // The reason shows whole: on its line, or wrapped within its lines.
        const QLabel* pReason = p->mTimeoutReason[2];
        const int iNeeded = pReason->wordWrap() ? pReason->heightForWidth(pReason->width()) : pReason->sizeHint().height();
        if (!c.fRecorded) {
            EXPECT_LE(iNeeded, pReason->height());
            EXPECT_TRUE(pReason->wordWrap() || pReason->sizeHint().width() <= pReason->width());
        }
        if (c.fRecorded) {
            EXPECT_EQ(p->mChange.back().iNumber, c.iValue);
        }
    }
    // A refused text keeps the window open: the last valid value is not taken instead.
    const RunningTimeouts restore;
    pField->setText("0");
    QTest::mouseClick(p->pOk, Qt::LeftButton);
    Settle();
    ASSERT_TRUE(IsOpen());
    EXPECT_EQ(ReadConfigValue("Instrument", "TimeOutDeviceResponseRaw"), "<none>");
    pField->setText("3");
    QTest::mouseClick(p->pOk, Qt::LeftButton);
    Settle();
    EXPECT_FALSE(IsOpen());
    EXPECT_EQ(ReadConfigValue("Instrument", "TimeOutDeviceResponseRaw"), "3");
}

// A field holding text that is no whole number from 1 to 3600000 keeps "OK" from closing and
// from saving anything, the other fields' valid edits included; the reason stands under that
// field. Once every field is valid, each value is saved as typed.
TEST_F(WindowPreferencesTest, OkSavesNothingWhileAFieldIsRefusedAndThenWhatWasTyped) {
    const int iMain = OpenMain();
    const RunningTimeouts restore;
    uWindowPreferences* p = OpenTimeouts(iMain);
    ASSERT_NE(p, nullptr);
    const auto before = AllValues();
    for (const char* sTyped : {"1e3", "99999999999999", "abc", "-5", "", "0x10"}) {
        SCOPED_TRACE(sTyped);
        p->mTimeout[1]->setText("6000");
        p->mTimeout[0]->setFocus();
        p->mTimeout[0]->selectAll();
        QTest::keyClick(p->mTimeout[0], Qt::Key_Backspace);
        QTest::keyClicks(p->mTimeout[0], sTyped);
        p->mTimeout[3]->setFocus();
        QTest::mouseClick(p->pOk, Qt::LeftButton);
        Settle();
        ASSERT_TRUE(IsOpen());
        EXPECT_EQ(AllValues(), before);
        EXPECT_EQ(InterfaceDefaults::Timeout(InterfaceVxi11), restore.iVxi11);
        EXPECT_TRUE(p->mTimeoutReason[0]->isVisible());
        EXPECT_EQ(p->mTimeoutReason[0]->text().toStdString(), WindowPreferences::TextTimeoutReason);
        EXPECT_FALSE(p->mTimeoutReason[1]->isVisible());
        EXPECT_EQ(Status(p), WindowPreferences::TextBadTimeout);
        EXPECT_EQ(p->pFrame->focusWidget(), p->mTimeout[0].data());
    }
    p->mTimeout[0]->setText("1000");
    EXPECT_FALSE(p->mTimeoutReason[0]->isVisible());
    QTest::mouseClick(p->pOk, Qt::LeftButton);
    Settle();
    EXPECT_FALSE(IsOpen());
    EXPECT_EQ(ReadConfigValue("Instrument", "TimeOutDeviceResponseUsbTmc"), "1000");
    EXPECT_EQ(ReadConfigValue("Instrument", "TimeOutDeviceResponseLxi"), "6000");
    EXPECT_EQ(InterfaceDefaults::Timeout(InterfaceUsbTmc), 1000);
    EXPECT_EQ(InterfaceDefaults::Timeout(InterfaceVxi11), 6000);
}

// An instrument slower than the raw TCP time-out times out; the time-out raised with "OK"
// reaches the open connection from its next exchange, without a reconnect or a restart (the
// transport renews its socket once, for the late answer it owed).
TEST_F(WindowPreferencesTest, ATimeOutRaisedWithOkReachesTheOpenConnection) {
    const RunningTimeouts restore;
    Sim::RawTcpServer server;
    std::string sError;
    ASSERT_TRUE(server.Start(sError)) << sError;
    Ini::SelectSection(Main::ConfigIni(), "Instrument");
    Ini::WriteString(Main::ConfigIni(), "TimeOutDeviceResponseRaw", "300");
    Main::ReadInstrumentTimeouts();
    const int iMain = OpenMain();

    // The answers of one instrument object, at a window of the test's own.
    const int iAsker = WindowRegistry::NewWindowNumber();
    std::vector<int> mAnswered; // per command: 1 answered, 0 not
    EventHub::Bind(EventTaskFinished, iAsker, [&](const EventHub::uEvent& e) {
        if (e.iType != InstrumentTaskScpiCommand) return;
        const auto* pResult = e.pData.Get<uTaskResultScpiCommand>();
        mAnswered.push_back(pResult && pResult->fRequestFinished == 1 && pResult->iRequestTransferred > 0 ? 1 : 0);
    });
    InstrumentObject object = Instrument::Create(sError);
    ASSERT_TRUE(object) << sError;
    uTaskPrepare prepare;
    prepare.head = {InstrumentTaskPrepare, 0, WindowNobody};
    prepare.eProtocol = prepare.eInterface = InterfaceRawTcp;
    prepare.rawTcp = {"127.0.0.1", "127.0.0.1", server.Port()};
    ASSERT_NE(object->pInterface->AddTask(*object, prepare, sError), 0) << sError;
    ASSERT_NE(object->pInterface->AddTask(*object, uTaskConnect{{InstrumentTaskConnect, 0, iAsker}}, sError), 0);
    const auto ask = [&] {
        const std::size_t iBefore = mAnswered.size();
        uTaskScpiCommand command;
        command.head = {InstrumentTaskScpiCommand, 0, iAsker};
        command.fSend = 1;
        command.sCommand = "*IDN?";
        command.fRequestData = 1;
        EXPECT_NE(object->pInterface->AddTask(*object, command, sError), 0) << sError;
        EXPECT_TRUE(WaitFor([&] { return mAnswered.size() > iBefore; }, 30000));
        return mAnswered.size() > iBefore ? mAnswered.back() : -1;
    };
    ASSERT_EQ(ask(), 1);
    server.SetLateness(3000);
    EXPECT_EQ(ask(), 0);

    uWindowPreferences* p = OpenTimeouts(iMain);
    ASSERT_NE(p, nullptr);
    p->mTimeout[2]->setText("20000");
    QTest::mouseClick(p->pOk, Qt::LeftButton);
    Settle();
    ASSERT_FALSE(IsOpen());
    EXPECT_EQ(ask(), 1);
    EXPECT_EQ(server.ConnectionsAccepted(), 2); // renewed once, for the late answer it owed
    EventHub::Unbind(EventTaskFinished, iAsker);
    WindowRegistry::Release(iAsker);
    Instrument::ReleaseAll(true, 0, sError);
}

TEST_F(WindowPreferencesTest, TheBoxToggledTwiceKeepsItsValueAndSaysItAppliesWithOk) {
    const int iMain = OpenMain();
    SetRecent("0");
    uWindowPreferences* p = OpenPreferences(iMain);
    ASSERT_NE(p, nullptr);
    QTest::mouseClick(p->pToolBarLarge, Qt::LeftButton, {}, QPoint(5, p->pToolBarLarge->height() / 2));
    QTest::mouseClick(p->pToolBarLarge, Qt::LeftButton, {}, QPoint(5, p->pToolBarLarge->height() / 2));
    ASSERT_EQ(p->mChange.size(), 2u);
    EXPECT_EQ(p->mChange[0].fFlag, 0);
    EXPECT_EQ(p->mChange[1].fFlag, 1);
    EXPECT_EQ(Status(p), WindowPreferences::TextToolBarApplies);
    QTest::mouseClick(p->pOk, Qt::LeftButton);
    Settle();
    EXPECT_EQ(ReadConfigValue("General", "ToolBarLarge"), "1");
}

// "Show large toolbar" takes effect at "OK" in every open main window (the config starts with
// large icons), and not at "Cancel".
TEST_F(WindowPreferencesTest, TheToolbarSizeAppliesToTheOpenMainWindowsAtOk) {
    const int iMain = OpenMain();
    const int iOther = OpenMain();
    auto iconSizes = [&] {
        std::vector<int> m;
        for (int iWindow : {iMain, iOther}) {
            QToolBar* pBar = Record(iWindow)->pToolBar;
            m.push_back(pBar->iconSize().width());
            for (QAction* pAction : pBar->actions()) {
                if (pAction->isSeparator()) continue;
                const QList<QSize> sizes = pAction->icon().availableSizes();
                m.push_back(sizes.size() == 1 ? sizes[0].width() : -1);
            }
        }
        return m;
    };
    const std::size_t iCount = iconSizes().size();
    ASSERT_GT(iCount, 20u);
    EXPECT_EQ(iconSizes(), std::vector<int>(iCount, 24));
    SetRecent("0");
    const struct {
        bool fOk;
        int iExpected;
    } steps[] = {{false, 24}, {true, 16}, {true, 24}};
    // A child that fills the area stays whole inside it as the area shrinks under a larger toolbar.
    WindowStart::OpenChildByKind(iMain, WindowKindScpiCommand, 1);
    Settle();
    QMdiSubWindow* pChild = Record(iMain)->pMdiArea->subWindowList().value(0);
    ASSERT_NE(pChild, nullptr);
    for (const auto& step : steps) {
        uWindowPreferences* p = OpenPreferences(iMain);
        ASSERT_NE(p, nullptr);
        pChild->setGeometry(Record(iMain)->pMdiArea->viewport()->rect());
        QTest::mouseClick(p->pToolBarLarge, Qt::LeftButton, {}, QPoint(5, p->pToolBarLarge->height() / 2));
        QTest::mouseClick(step.fOk ? p->pOk : p->pCancel, Qt::LeftButton);
        Settle();
        ASSERT_FALSE(IsOpen());
        EXPECT_EQ(iconSizes(), std::vector<int>(iCount, step.iExpected)) << step.fOk;
        EXPECT_TRUE(Record(iMain)->pMdiArea->viewport()->rect().contains(pChild->geometry())) << step.iExpected;
    }
}

TEST_F(WindowPreferencesTest, EveryOtherWayOutDropsTheEdits) {
    const int iMain = OpenMain();
    for (int iWay = 0; iWay < 4; ++iWay) {
        SCOPED_TRACE(iWay);
        SetRecent("2");
        auto before = AllValues();
        uWindowPreferences* p = OpenPreferences(iMain);
        ASSERT_NE(p, nullptr);
        const int iWindow = p->iWindow;
        p->mTimeout[1]->setText("777");
        ASSERT_FALSE(p->mChange.empty());
        switch (iWay) {
        case 0: QTest::mouseClick(p->pCancel, Qt::LeftButton); break;
        case 1: QTest::keyClick(p->mTimeout[1], Qt::Key_Escape); break;
        case 2: p->pFrame->close(); break;
        default: EventHub::PostEvent(EventCloseWindow, iWindow, 0, 0, ChildWindow::Data(0)); break;
        }
        Settle();
        ASSERT_FALSE(IsOpen());
        auto after = AllValues();
        const std::pair<std::string, std::string> recent{"General", "PreferencesRecent"};
        const std::pair<std::string, std::string> position{"Window", "WindowPreferencesPosition"};
        EXPECT_EQ(after[recent], "2");
        EXPECT_FALSE(after[position].empty());
        after.erase(position);
        before.erase(position);
        EXPECT_EQ(after, before);
    }
}

TEST_F(WindowPreferencesTest, ReturnDoesNothing) {
    const int iMain = OpenMain();
    SetRecent("2");
    uWindowPreferences* p = OpenPreferences(iMain);
    ASSERT_NE(p, nullptr);
    p->mTimeout[0]->setText("1234");
    QTest::keyClick(p->mTimeout[0], Qt::Key_Return);
    Settle();
    ASSERT_TRUE(IsOpen());
    EXPECT_EQ(ReadConfigValue("Instrument", "TimeOutDeviceResponseUsbTmc"), "4000");
}

TEST_F(WindowPreferencesTest, TheClosingOwnerClosesItFirstWithoutApplying) {
    const int iMain = OpenMain();
    SetRecent("2");
    uWindowPreferences* p = OpenPreferences(iMain);
    ASSERT_NE(p, nullptr);
    const int iWindow = p->iWindow;
    p->mTimeout[0]->setText("900");
    bool fPreferencesGoneFirst = false;
    EventHub::Bind(EventMainWindowClosed, EventHub::AnyWindow, [&](const EventHub::uEvent& e) {
        fPreferencesGoneFirst = !WindowPreferences::FindInstance(iWindow, nullptr);
        Main::MainWindowClosed(e.iWindow);
    });
    EventHub::PostEvent(EventCloseWindowRequest, iMain);
    ASSERT_TRUE(WaitFor([&] { return !Record(iMain); }));
    Settle();
    EXPECT_TRUE(fPreferencesGoneFirst);
    EXPECT_EQ(ReadConfigValue("Instrument", "TimeOutDeviceResponseUsbTmc"), "4000");
}

TEST_F(WindowPreferencesTest, ASecondMainWindowActivatesTheOneWindow) {
    const int iMain = OpenMain();
    uWindowPreferences* p = OpenPreferences(iMain);
    ASSERT_NE(p, nullptr);
    const int iWindow = p->iWindow;
    const int iSecond = OpenMain();
    p->pFrame->setWindowState(Qt::WindowMinimized); // and it comes back
    Choose(iSecond, WindowStart::MenuPreferences);
    EXPECT_FALSE(p->pFrame->isMinimized());
    EXPECT_EQ(WindowStart::FindChild(-1, WindowKindPreferences), iWindow);
    EXPECT_TRUE(ChildrenOf(iSecond, WindowKindPreferences).empty());
    EXPECT_TRUE(WindowPreferences::FindInstance(iWindow, nullptr));
}

TEST_F(WindowPreferencesTest, AnMdiChildIsTitledAndPlacedInTheArea) {
    const int iMain = OpenMain();
    WindowStart::OpenChildByKind(iMain, WindowKindPreferences, 1);
    Settle();
    const auto found = ChildrenOf(iMain, WindowKindPreferences);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].fMdi, 1);
    QMdiSubWindow* pMdiFrame = ChildWindow::MdiFrame(found[0].iWindow);
    ASSERT_NE(pMdiFrame, nullptr);
    EXPECT_EQ(pMdiFrame->windowTitle().toStdString(), "Preferences");
    // Minimised while maximised, it comes back maximised when chosen again from the menu.
    pMdiFrame->showMaximized();
    pMdiFrame->showMinimized();
    Choose(iMain, WindowStart::MenuPreferences);
    EXPECT_TRUE(pMdiFrame->isMaximized());
    // Escape reaches the child in the area as well.
    uWindowPreferences* p = nullptr;
    ASSERT_TRUE(WindowPreferences::FindInstance(found[0].iWindow, &p));
    QTest::keyClick(p->pTree, Qt::Key_Escape);
    Settle();
    EXPECT_TRUE(ChildrenOf(iMain, WindowKindPreferences).empty());
}

TEST_F(WindowPreferencesTest, AnMdiChildReopensInTheStateItClosedIn) {
    const int iMain = OpenMain();
    // Each step: the state to leave the window in before it closes; the next opening shows it.
    for (const bool fMaximized : {true, false, true}) {
        SCOPED_TRACE(fMaximized ? "maximised" : "normal");
        WindowStart::OpenChildByKind(iMain, WindowKindPreferences, 1);
        Settle();
        const auto found = ChildrenOf(iMain, WindowKindPreferences);
        ASSERT_EQ(found.size(), 1u);
        QMdiSubWindow* pMdiFrame = ChildWindow::MdiFrame(found[0].iWindow);
        ASSERT_NE(pMdiFrame, nullptr);
        if (fMaximized) pMdiFrame->showMaximized();
        else pMdiFrame->showNormal();
        Settle();
        WindowPreferences::Close(found[0].iWindow, 0);
        Settle();
        ASSERT_TRUE(ChildrenOf(iMain, WindowKindPreferences).empty());
        WindowStart::OpenChildByKind(iMain, WindowKindPreferences, 1);
        Settle();
        const auto again = ChildrenOf(iMain, WindowKindPreferences);
        ASSERT_EQ(again.size(), 1u);
        EXPECT_EQ(ChildWindow::MdiFrame(again[0].iWindow)->isMaximized(), fMaximized);
        WindowPreferences::Close(again[0].iWindow, 0);
        Settle();
    }
}

TEST(WindowPreferencesWrite, EachTypeWritesItsValueField) {
    QTemporaryDir dir;
    QFile f(dir.filePath("p.ini"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.close();
    std::unique_ptr<uIni> pIni = Ini::Open(dir.filePath("p.ini").toStdString(), IniFlagsProgram);
    ASSERT_TRUE(pIni);
    using namespace WindowPreferences;
    std::vector<uPreferenceChange> m(7);
    for (int i = 0; i < 7; ++i) {
        m[i].sGroup = "G";
        m[i].sKey = "K" + std::to_string(i);
        m[i].iType = i;
        m[i].sText = "text";
        m[i].fFlag = 1;
        m[i].iNumber = 42;
        m[i].lLong = -7;
        m[i].dDouble = 2.5;
        m[i].qQuad = 1LL << 40;
        m[i].fFloat = 0.5f;
        WriteChange(pIni.get(), m[i]);
    }
    Ini::SelectSection(pIni.get(), "G");
    EXPECT_EQ(Ini::ReadString(pIni.get(), "K0", ""), "text");
    EXPECT_EQ(Ini::ReadString(pIni.get(), "K1", ""), "1");
    EXPECT_EQ(Ini::ReadString(pIni.get(), "K2", ""), "42");
    EXPECT_EQ(Ini::ReadString(pIni.get(), "K3", ""), "-7");
    EXPECT_EQ(Ini::ReadInteger(pIni.get(), "K5", 0), 1LL << 40);
    EXPECT_NE(Ini::ReadString(pIni.get(), "K4", ""), "");
    EXPECT_NE(Ini::ReadString(pIni.get(), "K6", ""), "");
}

// Where config.ini could be neither found nor made, nothing set here is kept: the status bar
// says why, with the path, where it shows the path otherwise.
TEST_F(WindowPreferencesTest, WithoutConfigTheStatusBarNamesTheFileAndWhy) {
    Main::SetConfigSaveAtExit(false);
    Main::CloseConfig();
    const std::string sFolder = BlockConfig();
    ASSERT_EQ(Main::ConfigIni(), nullptr);
    uWindowPreferences* p = OpenPreferences(OpenMain());
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(Status(p), sFolder + "config.ini could not be created: Not a directory");
}

} // namespace
