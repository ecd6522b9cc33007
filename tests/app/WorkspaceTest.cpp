// Workspaces in a real workspace.ini: saving, loading, deleting and listing them from real main
// windows with child windows of every kind, and the two name dialogs driven by keys and clicks.
#include "app/FrameTestSupport.h"
#include "app/WindowSaveWorkspace.h"
#include "app/WorkspaceDialog.h"
#include "common/WindowLog.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QResizeEvent>

#include <algorithm>

namespace {

using namespace FrameTestSupport;

std::string ReadBytes(const QString& sPath) {
    QFile f(sPath);
    return f.open(QIODevice::ReadOnly) ? f.readAll().toStdString() : "<missing>";
}

class WorkspaceTest : public FrameTest {
  protected:
    static void SetUpTestSuite() { // the screen on which the workspaces were saved
        ::setenv("QT_QPA_PLATFORM", "offscreen:configfile=" ORVANTO_TEST_DATA "/LargeScreen.json", 1);
        TestApplication::Ensure();
    }
    void SetUp() override {
        FrameTest::SetUp();
        WindowLog::Create();
        WindowLog::Clear(0);
    }
    QString WorkspacePath() const { return dir.filePath("user/workspace.ini"); }
    void WriteWorkspaces(const std::string& sText, const char* sFolder = "user") {
        QFile f(dir.filePath(QString(sFolder) + "/workspace.ini"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(sText.data(), static_cast<qint64>(sText.size()));
    }
    // The dialogs open now, in the order they were opened.
    static std::vector<WorkspaceDialog::uWorkspaceDialog*> Dialogs(const char* sTitle) {
        std::vector<std::pair<int, WorkspaceDialog::uWorkspaceDialog*>> m;
        for (QWidget* p : QApplication::topLevelWidgets()) {
            auto* pFrame = qobject_cast<WindowFrame*>(p);
            WorkspaceDialog::uWorkspaceDialog* pDialog = nullptr;
            if (pFrame && pFrame->windowTitle() == sTitle && WorkspaceDialog::FindInstance(pFrame->Window(), &pDialog)) {
                m.emplace_back(pFrame->Window(), pDialog);
            }
        }
        std::sort(m.begin(), m.end());
        std::vector<WorkspaceDialog::uWorkspaceDialog*> mOut;
        for (auto& entry : m) mOut.push_back(entry.second);
        return mOut;
    }
    // The names that reach the main window in events of that kind are noted in posted.
    void Intercept(int iMain, int iEvent) {
        EventHub::Bind(iEvent, iMain, [this, iEvent](const EventHub::uEvent& e) {
            const std::string* p = e.pData.Get<std::string>();
            posted.emplace_back(iEvent, p ? *p : "<no name>");
        });
    }
    // The workspace items of the bar's "Wor&kspace" submenu, checked to be numbered from 34 on.
    static std::vector<std::string> WorkspaceItems(QMenuBar* pBar) {
        std::vector<std::string> m;
        for (QAction* pTitle : pBar->actions()) {
            if (!pTitle->menu() || pTitle->text() != "&Window") continue;
            for (QAction* pSub : pTitle->menu()->actions()) {
                if (!pSub->menu() || pSub->text() != "Wor&kspace") continue;
                for (QAction* p : pSub->menu()->actions()) {
                    const int iItem = p->data().toInt();
                    if (p->isSeparator() || iItem == WindowStart::MenuSaveWorkspace ||
                        iItem == WindowStart::MenuDeleteWorkspace) {
                        continue;
                    }
                    m.push_back(iItem == WindowStart::MenuWorkspaceFirst + static_cast<int>(m.size())
                                    ? p->text().toStdString()
                                    : "<item " + std::to_string(iItem) + ">");
                }
            }
        }
        return m;
    }
    std::vector<std::pair<int, std::string>> posted;
};

TEST_F(WorkspaceTest, TheDeleteListHoldsTheWorkspacesSortedIgnoringCase) {
    WriteWorkspaces("[beta]\r\nx = 1\r\n[Alpha]\r\nx = 1\r\n[Ini-Version]\r\nVersion = 1\r\n[gamma]\r\nx = 1\r\n");
    const int iMain = OpenMain();
    Choose(iMain, WindowStart::MenuDeleteWorkspace);
    const auto dialogs = Dialogs("Delete Workspace");
    ASSERT_EQ(dialogs.size(), 1u);
    auto* pList = qobject_cast<QComboBox*>(dialogs[0]->pName.data());
    ASSERT_NE(pList, nullptr);
    std::vector<std::string> mItems;
    for (int i = 0; i < pList->count(); ++i) mItems.push_back(pList->itemText(i).toStdString());
    EXPECT_EQ(mItems, (std::vector<std::string>{"Alpha", "beta", "gamma"}));
    EXPECT_EQ(pList->currentIndex(), 0);
    EXPECT_EQ(dialogs[0]->pFrame->size(), QSize(400, 150));
    EXPECT_EQ(dialogs[0]->pFrame->parentWidget(), Record(iMain)->pFrame.data());
    // Return deletes the selected one at the main window.
    Intercept(iMain, EventDeleteWorkspace);
    QTest::keyClick(pList, Qt::Key_Return);
    Settle();
    EXPECT_EQ(posted, (std::vector<std::pair<int, std::string>>{{EventDeleteWorkspace, "Alpha"}}));
    EXPECT_TRUE(Dialogs("Delete Workspace").empty());
}

TEST_F(WorkspaceTest, TheSaveDialogPostsTheNameAsTypedOnReturnAndNothingElse) {
    const int iMain = OpenMain();
    Choose(iMain, WindowStart::MenuSaveWorkspace);
    Choose(iMain, WindowStart::MenuSaveWorkspace);
    auto dialogs = Dialogs("Save Workspace");
    ASSERT_EQ(dialogs.size(), 2u); // several at once
    Intercept(iMain, EventSaveWorkspace);
    auto* pField = qobject_cast<QLineEdit*>(dialogs[1]->pName.data());
    ASSERT_NE(pField, nullptr);
    EXPECT_TRUE(pField->hasFocus());
    EXPECT_EQ(dialogs[1]->pDefault->text().toStdString(), "Save");
    EXPECT_EQ(dialogs[1]->pDefault->geometry().right() + 1, 390);
    EXPECT_EQ(dialogs[1]->pCancel->geometry().right() + 1, 390);
    EXPECT_EQ(dialogs[1]->pCancel->y(), 45);

    // Empty: nothing is posted, and the dialog says why.
    QTest::keyClick(pField, Qt::Key_Return);
    Settle();
    EXPECT_TRUE(posted.empty());
    ASSERT_EQ(Dialogs("Save Workspace").size(), 2u);
    EXPECT_EQ(dialogs[1]->pMessage->text().toStdString(), WindowSaveWorkspace::TextNoName);
    QTest::keyClicks(pField, "  Lab ");
    QTest::keyClick(pField, Qt::Key_Return);
    Settle();
    EXPECT_EQ(posted, (std::vector<std::pair<int, std::string>>{{EventSaveWorkspace, "  Lab "}}));
    ASSERT_EQ(Dialogs("Save Workspace").size(), 1u);

    // Escape posts nothing and closes the dialog.
    posted.clear();
    auto* pFirst = qobject_cast<QLineEdit*>(Dialogs("Save Workspace")[0]->pName.data());
    pFirst->setText("Other");
    pFirst->window()->activateWindow();
    ASSERT_TRUE(WaitFor([pFirst] { return pFirst->window()->isActiveWindow(); }));
    QTest::keyClick(pFirst, Qt::Key_Escape);
    Settle();
    EXPECT_TRUE(posted.empty());
    EXPECT_TRUE(Dialogs("Save Workspace").empty());
}

TEST_F(WorkspaceTest, TheSaveDialogRefusesNamesThatCannotNameASection) {
    const int iMain = OpenMain();
    Choose(iMain, WindowStart::MenuSaveWorkspace);
    auto dialogs = Dialogs("Save Workspace");
    ASSERT_EQ(dialogs.size(), 1u);
    Intercept(iMain, EventSaveWorkspace);
    auto* pField = qobject_cast<QLineEdit*>(dialogs[0]->pName.data());
    for (const char* sName : {"a[b", "x]", "tab\there", "Ini-Version", "INI-version", "bell\x7f"}) {
        SCOPED_TRACE(sName);
        dialogs[0]->pMessage->clear();
        pField->setText(sName);
        QTest::mouseClick(dialogs[0]->pDefault, Qt::LeftButton);
        Settle();
        EXPECT_TRUE(posted.empty());
        ASSERT_EQ(Dialogs("Save Workspace").size(), 1u);
        EXPECT_EQ(dialogs[0]->pMessage->text().toStdString(), WindowSaveWorkspace::TextBadName);
        EXPECT_GE(dialogs[0]->pMessage->y(), dialogs[0]->pCancel->geometry().bottom());
    }
    for (const char* sName : {"Ini-Version2", "Lab = 1", "Ünïcode"}) EXPECT_TRUE(WindowSaveWorkspace::NameAllowed(sName)) << sName;
    QTest::mouseClick(dialogs[0]->pCancel, Qt::LeftButton);
    Settle();
    EXPECT_TRUE(Dialogs("Save Workspace").empty());
    EXPECT_TRUE(posted.empty());
}

TEST_F(WorkspaceTest, SavingWritesTheMainWindowAndItsChildrenInTheirFormsAndReplacesBySameName) {
    const std::string sBefore = "\xEF\xBB\xBF\r\n[Ini-Version]\r\nVersion = 1\r\n\r\n[Keep]\r\nWindowStartPosition = 1,2,3,4,5,6,0\r\n";
    WriteWorkspaces(sBefore);
    const int iMain = OpenMain();
    const int iOther = OpenMain();
    Record(iMain)->pFrame->showMaximized();
    Choose(iMain, WindowStart::MenuScpiCommand);
    Choose(iMain, WindowStart::MenuScreenshot, true);
    ASSERT_EQ(ChildrenOf(iMain, WindowKindScpiCommand).size(), 1u);
    ASSERT_EQ(ChildrenOf(iMain, WindowKindScreenshot).at(0).fMdi, 0);
    EventHub::PostEvent(EventSaveWorkspace, iMain, 0, 0, EventHub::Payload::Of<std::string>("Lab"));
    Settle();

    const std::string sAfter = ReadBytes(WorkspacePath());
    ASSERT_EQ(sAfter.compare(0, sBefore.size(), sBefore), 0) << sAfter;
    const std::string sLab = sAfter.substr(sBefore.size());
    EXPECT_EQ(sLab.rfind("\r\n[Lab]\r\nWindowStartPosition = ", 0), 0u) << sLab;
    const auto iStart = sLab.find("WindowStartPosition = ");
    const std::string sStart = sLab.substr(iStart, sLab.find("\r\n", iStart) - iStart);
    EXPECT_EQ(sStart.substr(sStart.rfind(',') + 1), "16777216");
    EXPECT_NE(sLab.find("\r\nWindowSelectInstrumentPositionMdi = "), std::string::npos);
    EXPECT_NE(sLab.find("\r\nWindowScpiCommandPositionMdi = "), std::string::npos);
    EXPECT_NE(sLab.find("\r\nWindowScreenshotPosition = "), std::string::npos);
    EXPECT_EQ(sLab.find("WindowScreenshotPositionMdi"), std::string::npos);
    // Every main window's menu lists it now, and the children in the area rebuilt theirs.
    EXPECT_EQ(WorkspaceItems(Record(iOther)->pMenu), (std::vector<std::string>{"Keep", "Lab"}));
    EXPECT_EQ(WorkspaceItems(ShownBar(iMain)), (std::vector<std::string>{"Keep", "Lab"}));
    // The window states stay as they were.
    EXPECT_TRUE(Record(iMain)->pFrame->isMaximized());

    // Again under the same name, ignoring case: the section is replaced as a whole.
    ChildWindow::Close(ChildrenOf(iMain, WindowKindScreenshot)[0].iWindow);
    Settle();
    EventHub::PostEvent(EventSaveWorkspace, iMain, 0, 0, EventHub::Payload::Of<std::string>("lab"));
    Settle();
    const std::string sAgain = ReadBytes(WorkspacePath());
    ASSERT_EQ(sAgain.compare(0, sBefore.size(), sBefore), 0);
    EXPECT_EQ(sAgain.find("[Lab]"), std::string::npos);
    EXPECT_NE(sAgain.find("[lab]"), std::string::npos);
    EXPECT_EQ(sAgain.find("WindowScreenshotPosition"), std::string::npos);
}

TEST_F(WorkspaceTest, LoadingOpensAndPlacesTheChildrenInTheirFormsInANewMainWindow) {
    WriteWorkspaces("[Ini-Version]\r\nVersion = 1\r\n[Lab]\r\n"
                    "WindowStartPosition = 40,30,700,500,700,500,0\r\n"
                    "WindowScpiCommandPositionMdi = 30,20,400,300,410,330,0\r\n"
                    "WindowScreenshotPosition = 120,80,500,400,500,400,0\r\n");
    const int iMain = OpenMain();
    ASSERT_EQ(WorkspaceItems(ShownBar(iMain)), std::vector<std::string>{"Lab"});
    Choose(iMain, WindowStart::MenuWorkspaceFirst);
    uWindowStart* p = Record(iMain);
    EXPECT_EQ(p->pFrame->size(), QSize(700, 500));
    EXPECT_EQ(p->pFrame->frameGeometry().topLeft(), QPoint(40, 30));
    const auto scpi = ChildrenOf(iMain, WindowKindScpiCommand);
    const auto shot = ChildrenOf(iMain, WindowKindScreenshot);
    ASSERT_EQ(scpi.size(), 1u);
    ASSERT_EQ(shot.size(), 1u);
    EXPECT_EQ(scpi[0].fMdi, 1);
    EXPECT_EQ(shot[0].fMdi, 0);
    EXPECT_EQ(ChildWindow::MdiFrame(scpi[0].iWindow)->pos(), QPoint(30, 20));
    EXPECT_EQ(ChildWindow::Find(scpi[0].iWindow)->size(), QSize(400, 300));
    WindowFrame* pShot = ChildWindow::Find(shot[0].iWindow);
    EXPECT_EQ(pShot->frameGeometry().topLeft(), QPoint(120, 80));
    EXPECT_EQ(pShot->size(), QSize(500, 400));

    // Loading again keeps the children (and their forms) and places them once more.
    ChildWindow::MdiFrame(scpi[0].iWindow)->move(5, 5);
    Choose(iMain, WindowStart::MenuWorkspaceFirst);
    EXPECT_EQ(ChildrenOf(iMain, WindowKindScpiCommand).size(), 1u);
    EXPECT_EQ(ChildWindow::MdiFrame(scpi[0].iWindow)->pos(), QPoint(30, 20));
}

// A workspace saved maximised with three children side by side, loaded into a main window of
// normal size, a maximised and a minimised one: the frame ends maximised, and each child takes its
// place in the maximised area. The window system answers the maximising only after the load; the
// children must not stay squeezed into the area of the size before, even where the area first
// resizes at that size (the last row).
TEST_F(WorkspaceTest, LoadingIntoAMaximisedMainWindowPlacesTheChildrenInTheWholeArea) {
    WriteWorkspaces("[Lab]\r\nWindowStartPosition = 561,301,800,600,800,619,16777216\r\n"
                    "WindowScpiCommandPositionMdi = 0,0,665,1081,673,1109,0\r\n"
                    "WindowScreenshotPositionMdi = 673,0,615,1081,623,1109,0\r\n"
                    "WindowWaveformPositionMdi = 1296,0,616,1081,624,1109,0\r\n");
    const std::pair<int, QRect> places[] = {{WindowKindScpiCommand, {0, 0, 665, 1081}},
                                            {WindowKindScreenshot, {673, 0, 615, 1081}},
                                            {WindowKindWaveform, {1296, 0, 616, 1081}}};
    const QSize screen(1920, 1200);
    const std::pair<Qt::WindowStates, bool> rows[] = {{Qt::WindowNoState, false},
                                                      {Qt::WindowMaximized, false},
                                                      {Qt::WindowMinimized, false},
                                                      {Qt::WindowMaximized | Qt::WindowMinimized, false},
                                                      {Qt::WindowNoState, true}}; // the area resizes early
    for (const auto& [before, fEarlyResize] : rows) {
        SCOPED_TRACE(before.toInt() * 2 + fEarlyResize);
        Ini::RemoveSection(Main::ConfigIni(), "Window"); // each main window opens at 800 x 600
        const int iMain = OpenMain();
        uWindowStart* p = Record(iMain);
        p->pFrame->setWindowState(before & ~Qt::WindowMinimized); // maximised first, then minimised
        ASSERT_TRUE(WaitFor([&] { return p->pFrame->size() == (before & Qt::WindowMaximized ? screen : QSize(800, 600)); }));
        p->pFrame->setWindowState(before);
        if (fEarlyResize) {
            ShownItem(iMain, WindowStart::MenuWorkspaceFirst)->trigger();
            EventHub::Pump(); // the load alone: the window system has not answered the maximising yet
            ASSERT_EQ(p->pFrame->size(), QSize(800, 600));
            QResizeEvent resize(p->pMdiArea->size(), p->pMdiArea->size());
            QApplication::sendEvent(p->pMdiArea, &resize);
        } else {
            Choose(iMain, WindowStart::MenuWorkspaceFirst);
        }
        ASSERT_TRUE(WaitFor([&] { return p->pFrame->windowState() == Qt::WindowMaximized && p->pFrame->size() == screen; }));
        Settle();
        for (const auto& [iKind, place] : places) {
            const int iChild = ChildrenOf(iMain, iKind).at(0).iWindow;
            EXPECT_EQ(QRect(ChildWindow::MdiFrame(iChild)->pos(), ChildWindow::Find(iChild)->size()), place) << iKind;
        }
        EventHub::PostEvent(EventCloseWindowRequest, iMain);
        ASSERT_TRUE(WaitFor([&] { return !Record(iMain); }));
    }
}

// The file may have been edited by hand: sizes at the edge of the integer range must neither
// overflow when the MDI frame's border is added nor make a child larger than a widget can be.
TEST_F(WorkspaceTest, HugeSizesInTheFileAreBoundedNotOverflowed) {
    WriteWorkspaces("[Lab]\r\n"
                    "WindowScpiCommandPositionMdi = 0,0,2147483647,2147483647,2147483647,2147483647,0\r\n"
                    "WindowWaveformPositionMdi = 0,0,-2147483648,-2147483648,0,0,0\r\n");
    const int iMain = OpenMain();
    Choose(iMain, WindowStart::MenuWorkspaceFirst);
    const auto scpi = ChildrenOf(iMain, WindowKindScpiCommand);
    const auto wave = ChildrenOf(iMain, WindowKindWaveform);
    ASSERT_EQ(scpi.size(), 1u);
    ASSERT_EQ(wave.size(), 1u);
    for (const int iChild : {scpi[0].iWindow, wave[0].iWindow}) {
        const QSize size = ChildWindow::MdiFrame(iChild)->size();
        EXPECT_GE(size.width(), 0);
        EXPECT_GE(size.height(), 0);
        EXPECT_LE(size.width(), QWIDGETSIZE_MAX);
        EXPECT_LE(size.height(), QWIDGETSIZE_MAX);
    }
}

// A workspace saved on a larger screen, or edited by hand: each MDI child is moved in and made
// no larger than the area, so that it shows whole; also the area that the workspace maximises.
TEST_F(WorkspaceTest, LoadedMdiChildrenAreKeptInsideTheArea) {
    const std::pair<const char*, const char*> rows[] = {{"0", "500,20,400,300,410,330,0"},
                                                        {"0", "20,400,400,300,410,330,0"},
                                                        {"0", "-50,-40,2000,1500,2010,1530,0"},
                                                        {"16777216", "-50,-40,3000,2000,3010,2030,0"}};
    for (const auto& [sState, sPosition] : rows) {
        SCOPED_TRACE(sPosition);
        WriteWorkspaces(std::string("[Lab]\r\nWindowStartPosition = 40,30,700,500,700,500,") + sState +
                        "\r\nWindowScpiCommandPositionMdi = " + sPosition + "\r\n");
        const int iMain = OpenMain();
        Choose(iMain, WindowStart::MenuWorkspaceFirst);
        const auto scpi = ChildrenOf(iMain, WindowKindScpiCommand);
        ASSERT_EQ(scpi.size(), 1u);
        const QRect area = Record(iMain)->pMdiArea->viewport()->rect();
        const QRect child = ChildWindow::MdiFrame(scpi[0].iWindow)->geometry();
        EXPECT_FALSE(area.isEmpty());
        EXPECT_TRUE(area.contains(child)) << area.width() << "x" << area.height() << " area, child at " << child.x()
                                          << "," << child.y() << " " << child.width() << "x" << child.height();
        EventHub::PostEvent(EventCloseWindowRequest, iMain);
        ASSERT_TRUE(WaitFor([&] { return !Record(iMain); }));
        Settle();
    }
}

TEST_F(WorkspaceTest, SavedWorkspaceComesBackInAnotherMainWindow) {
    WriteWorkspaces("[Ini-Version]\r\nVersion = 1\r\n");
    const int iMain = OpenMain();
    Record(iMain)->pFrame->showMaximized();
    Choose(iMain, WindowStart::MenuScpiCommand);
    Choose(iMain, WindowStart::MenuScreenshot, true);
    EventHub::PostEvent(EventSaveWorkspace, iMain, 0, 0, EventHub::Payload::Of<std::string>("Lab"));
    Settle();
    const int iSecond = OpenMain();
    Choose(iSecond, WindowStart::MenuWorkspaceFirst);
    EXPECT_TRUE(Record(iSecond)->pFrame->isMaximized());
    ASSERT_EQ(ChildrenOf(iSecond, WindowKindScpiCommand).size(), 1u);
    EXPECT_EQ(ChildrenOf(iSecond, WindowKindScpiCommand)[0].fMdi, 1);
    ASSERT_EQ(ChildrenOf(iSecond, WindowKindScreenshot).size(), 1u);
    EXPECT_EQ(ChildrenOf(iSecond, WindowKindScreenshot)[0].fMdi, 0);
    EXPECT_EQ(ChildrenOf(iSecond, WindowKindSelectInstrument).size(), 1u);
}

TEST_F(WorkspaceTest, NoInstrumentListIsOpenedWhileConnected) {
    WriteWorkspaces("[Lab]\r\nWindowSelectInstrumentPositionMdi = 0,0,300,200,310,230,0\r\n");
    const int iMain = OpenMain();
    ChildWindow::Close(ChildrenOf(iMain, WindowKindSelectInstrument)[0].iWindow);
    Settle();
    Record(iMain)->info.fConnected = 1;
    Choose(iMain, WindowStart::MenuWorkspaceFirst);
    EXPECT_TRUE(ChildrenOf(iMain, WindowKindSelectInstrument).empty());
    Record(iMain)->info.fConnected = 0;
    Choose(iMain, WindowStart::MenuWorkspaceFirst);
    EXPECT_EQ(ChildrenOf(iMain, WindowKindSelectInstrument).size(), 1u);
}

TEST_F(WorkspaceTest, TwentyOfTwentyFiveAreListedInEveryFullMenuAndAllInDelete) {
    std::string sText = "[Ini-Version]\r\nVersion = 1\r\n";
    std::vector<std::string> mNames;
    for (int i = 24; i >= 0; --i) {
        const std::string sName = (i % 2 ? "WS" : "ws") + std::to_string(100 + i);
        sText += "[" + sName + "]\r\nx = 1\r\n";
        mNames.insert(mNames.begin(), sName);
    }
    WriteWorkspaces(sText, "program");
    const std::vector<std::string> mFirst(mNames.begin(), mNames.begin() + 20);
    const int iMain = OpenMain();
    const int iSecond = OpenMain();
    Choose(iSecond, WindowStart::MenuScreenshot);
    for (int iWindow : {iMain, iSecond}) EXPECT_EQ(WorkspaceItems(Record(iWindow)->pMenu), mFirst);
    for (const uChildWindow& c : ChildrenOf(iSecond)) {
        EXPECT_EQ(WorkspaceItems(ChildWindow::Find(c.iWindow)->menuBar()), mFirst) << c.iKind;
    }
    Choose(iSecond, WindowStart::MenuDeleteWorkspace);
    auto* pList = qobject_cast<QComboBox*>(Dialogs("Delete Workspace").at(0)->pName.data());
    EXPECT_EQ(pList->count(), 25);
    EXPECT_EQ(pList->itemText(24).toStdString(), mNames.back());
}

TEST_F(WorkspaceTest, DeletingRemovesTheSectionAndRebuildsTheMenus) {
    WriteWorkspaces("[Ini-Version]\r\nVersion = 1\r\n[A]\r\nx = 1\r\n[B]\r\nx = 2\r\n");
    const int iMain = OpenMain();
    ASSERT_EQ(WorkspaceItems(Record(iMain)->pMenu), (std::vector<std::string>{"A", "B"}));
    EventHub::PostEvent(EventDeleteWorkspace, iMain, 0, 0, EventHub::Payload::Of<std::string>("a"));
    Settle();
    EXPECT_EQ(WorkspaceItems(Record(iMain)->pMenu), std::vector<std::string>{"B"});
    EXPECT_EQ(ReadBytes(WorkspacePath()), "\xEF\xBB\xBF\r\n[Ini-Version]\r\nVersion = 1\r\n\r\n[B]\r\nx = 2\r\n");
    // An unknown name changes nothing.
    EventHub::PostEvent(EventDeleteWorkspace, iMain, 0, 0, EventHub::Payload::Of<std::string>("C"));
    Settle();
    EXPECT_EQ(WorkspaceItems(Record(iMain)->pMenu), std::vector<std::string>{"B"});
}

TEST_F(WorkspaceTest, WithoutTheFileTheSubmenuHoldsItsCommandsSavingCreatesNothingLoadingLogs) {
    const int iMain = OpenMain();
    std::string sMenu;
    for (QAction* p : Record(iMain)->pMenu->actions()) {
        if (p->menu() && p->text() == "&Window") {
            for (QAction* q : p->menu()->actions()) {
                if (q->menu()) DumpMenu(q->menu(), "", sMenu);
            }
        }
    }
    EXPECT_EQ(sMenu, "31 &Save Workspace...\n32 &Delete Workspace...\n---\n");
    EventHub::PostEvent(EventSaveWorkspace, iMain, 0, 0, EventHub::Payload::Of<std::string>("Lab"));
    Settle();
    EXPECT_FALSE(QFile::exists(WorkspacePath()));
    EXPECT_FALSE(QFile::exists(dir.filePath("program/workspace.ini")));
    WindowStart::LoadWorkspace(iMain, "Lab");
    EXPECT_NE(WindowLog::Text().find("Error: The configuration file for the workspaces could not be opened: workspace.ini"),
              std::string::npos)
        << WindowLog::Text();
    // The Delete dialog opens with an empty list, and Delete does nothing.
    Choose(iMain, WindowStart::MenuDeleteWorkspace);
    auto dialogs = Dialogs("Delete Workspace");
    ASSERT_EQ(dialogs.size(), 1u);
    Intercept(iMain, EventDeleteWorkspace);
    QTest::mouseClick(dialogs[0]->pDefault, Qt::LeftButton);
    Settle();
    EXPECT_TRUE(posted.empty());
    EXPECT_EQ(Dialogs("Delete Workspace").size(), 1u);
}

// The copy that came with the program is read; the save goes beside config.ini, with config.ini.
TEST_F(WorkspaceTest, AProgramCopyIsReadAndTheSaveGoesBesideConfig) {
    WriteWorkspaces("[Shipped]\r\nx = 1\r\n", "program");
    const int iMain = OpenMain();
    EventHub::PostEvent(EventSaveWorkspace, iMain, 0, 0, EventHub::Payload::Of<std::string>("Lab"));
    Settle();
    EXPECT_EQ(ReadBytes(dir.filePath("program/workspace.ini")), "[Shipped]\r\nx = 1\r\n");
    EXPECT_EQ(WorkspaceItems(Record(iMain)->pMenu), (std::vector<std::string>{"Lab", "Shipped"}));
    EXPECT_NE(ReadBytes(WorkspacePath()).find("[Lab]"), std::string::npos);
    EXPECT_EQ(ReadBytes(dir.filePath("user/config.ini")).rfind("\xEF\xBB\xBF", 0),
              0u); // written, not only at exit
}

TEST_F(WorkspaceTest, AMissingWorkspaceAndAFailedWriteAreLogged) {
    WriteWorkspaces("[Ini-Version]\r\nVersion = 1\r\n");
    const int iMain = OpenMain();
    WindowStart::LoadWorkspace(iMain, "Nowhere");
    EXPECT_NE(WindowLog::Text().find("Error: The workspace is not available in the configuration file: Nowhere"),
              std::string::npos);
    // A file that cannot be replaced (its folder is read-only even for the superuser).
    QFile::remove(WorkspacePath());
    ASSERT_TRUE(QFile::link("/proc/version", WorkspacePath()));
    EventHub::PostEvent(EventSaveWorkspace, iMain, 0, 0, EventHub::Payload::Of<std::string>("Lab"));
    Settle();
    EXPECT_NE(WindowLog::Text().find("Error: The configuration file for the workspaces could not be written: "),
              std::string::npos)
        << WindowLog::Text();
}

TEST_F(WorkspaceTest, DialogsGoWithTheirMainWindow) {
    const int iMain = OpenMain();
    Choose(iMain, WindowStart::MenuSaveWorkspace);
    ASSERT_EQ(Dialogs("Save Workspace").size(), 1u);
    const int iDialog = Dialogs("Save Workspace")[0]->iWindow;
    OpenMain();
    EventHub::PostEvent(EventCloseWindowRequest, iMain);
    ASSERT_TRUE(WaitFor([&] { return !Record(iMain); }));
    Settle();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(WorkspaceDialog::FindInstance(iDialog, nullptr));
}

} // namespace
