// The file-name template dialog driven through its real widgets, with config.ini in a temporary
// folder: what the list shows, what "OK", "Delete", "Cancel" and the keys do, and how the group
// is written back, also with two dialogs open at once.
#include "ViewerTestSupport.h"

#include "windows/capture/Template.h"
#include "windows/capture/WindowTemplateFilename.h"

#include <QComboBox>
#include <QDialog>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

using namespace ViewerTestSupport;

class TemplateFilenameTest : public ViewerTest {
  protected:
    std::string ConfigText() override {
        return "[General]\r\n\r\n[InputTemplateFilenameScreenshot]\r\n2 = B\r\n1 = A\r\nDefault = /O mine\r\n"
               "3 = A\r\n4 = \r\n\r\n[Other]\r\nx = 1\r\n";
    }
    void SetUp() override {
        ViewerTest::SetUp();
        iMain = OpenMain();
        Choose(iMain, WindowStart::MenuScreenshot);
        iOwner = ChildrenOf(iMain, WindowKindScreenshot).at(0).iWindow;
        EventHub::Bind(EventTemplateChosen, iOwner, [this](const EventHub::uEvent& e) {
            const std::string* p = e.pData.Get<std::string>();
            chosen.push_back(p ? *p : "<none>");
        });
        Template::SetClock([] { return Template::uLocalTime{2024, 1, 2, 3, 4, 5, 678}; });
    }
    void TearDown() override {
        Template::SetClock(nullptr);
        ViewerTest::TearDown();
    }
    static uWindowTemplateFilename& D(int iDialog) {
        uWindowTemplateFilename* p = nullptr;
        EXPECT_TRUE(WindowTemplateFilename::GetInstance(iDialog, &p));
        return *p;
    }
    static std::vector<std::string> Items(int iDialog) {
        std::vector<std::string> m;
        for (int i = 0; i < D(iDialog).pTemplate->count(); ++i) m.push_back(D(iDialog).pTemplate->itemText(i).toStdString());
        return m;
    }
    // The group as the file holds it, key by key.
    std::string SavedGroup(const std::string& sGroup) {
        Ini::Save(Main::ConfigIni());
        QFile f(dir.filePath("user/config.ini"));
        EXPECT_TRUE(f.open(QIODevice::ReadOnly));
        const std::string sText = f.readAll().toStdString();
        const std::size_t i = sText.find("[" + sGroup + "]");
        return i == std::string::npos ? "<missing>" : sText.substr(i);
    }
    void Click(QPushButton* pButton) {
        pButton->click();
        Settle();
    }

    int iOwner = 0;
    std::vector<std::string> chosen;
};

TEST_F(TemplateFilenameTest, ShowsTheDefaultThenTheSortedTemplatesAndRewritesTheGroupAtTheEnd) {
    const int iDialog = WindowTemplateFilename::Open(iOwner, WindowKindScreenshot, "not listed");
    ASSERT_NE(iDialog, 0);
    uWindowTemplateFilename& d = D(iDialog);
    EXPECT_EQ(d.pDialog->windowTitle().toStdString(), "Template for file names");
    EXPECT_EQ(d.pDialog->width(), 450);
    EXPECT_EQ(d.pDialog->minimumSize(), d.pDialog->maximumSize());
    EXPECT_FALSE(d.pDialog->isModal());
    // Duplicates stay, empty keys are skipped, the hand-made default shows.
    EXPECT_EQ(Items(iDialog), (std::vector<std::string>{"/O mine", "A", "A", "B"}));
    EXPECT_EQ(d.pTemplate->currentIndex(), 0);
    EXPECT_EQ(d.pExample->text().toStdString(), "Model mine Memory CH1");
    Click(d.pCancel);
    EXPECT_FALSE(WindowTemplateFilename::GetInstance(iDialog, nullptr));
    EXPECT_TRUE(chosen.empty());
    EXPECT_EQ(SavedGroup("InputTemplateFilenameScreenshot"),
              "[InputTemplateFilenameScreenshot]\r\nDefault = /O /Y/M/D-/H/N/S\r\n1 = A\r\n2 = A\r\n3 = B\r\n");
}

TEST_F(TemplateFilenameTest, TheOwnersTemplateIsSelectedWhenListed) {
    const int iDialog = WindowTemplateFilename::Open(iOwner, WindowKindScreenshot, "B");
    EXPECT_EQ(D(iDialog).pTemplate->currentText().toStdString(), "B");
    EXPECT_EQ(D(iDialog).pTemplate->currentIndex(), 3);
    EXPECT_EQ(D(iDialog).pExample->text().toStdString(), "B Memory CH1");
    const int iOther = WindowTemplateFilename::Open(iOwner, WindowKindScreenshot, "b");
    EXPECT_EQ(D(iOther).pTemplate->currentIndex(), 0); // exact case only
}

TEST_F(TemplateFilenameTest, TheExampleFollowsTypedKeysAndOkWaitsForAText) {
    const int iDialog = WindowTemplateFilename::Open(iOwner, WindowKindWaveform, "");
    uWindowTemplateFilename& d = D(iDialog);
    EXPECT_EQ(d.pTemplate->currentText().toStdString(), "/O /Y/M/D-/H/N/S /U /C");
    EXPECT_EQ(d.pExample->text().toStdString(), "Model 20240102-030405 Memory CH1");
    d.pTemplate->lineEdit()->clear();
    EXPECT_EQ(d.pExample->text().toStdString(), "");
    EXPECT_FALSE(d.pOk->isEnabled());
    QTest::keyClick(d.pTemplate->lineEdit(), Qt::Key_Return);
    Settle();
    EXPECT_TRUE(chosen.empty());
    EXPECT_TRUE(WindowTemplateFilename::GetInstance(iDialog, nullptr));
    QTest::keyClicks(d.pTemplate->lineEdit(), "/F");
    EXPECT_EQ(d.pExample->text().toStdString(), "Manufacturer Memory CH1");
    QTest::keyClicks(d.pTemplate->lineEdit(), "_/Z/U");
    EXPECT_EQ(d.pExample->text().toStdString(), "Manufacturer_678Memory CH1");
    EXPECT_TRUE(d.pOk->isEnabled());
    // Return is "OK": the owner gets the text, the group keeps it.
    QTest::keyClick(d.pTemplate->lineEdit(), Qt::Key_Return);
    Settle();
    EXPECT_EQ(chosen, (std::vector<std::string>{"/F_/Z/U"}));
    EXPECT_FALSE(WindowTemplateFilename::GetInstance(iDialog, nullptr));
    EXPECT_EQ(SavedGroup("InputTemplateFilenameWaveform"),
              "[InputTemplateFilenameWaveform]\r\nDefault = /O /Y/M/D-/H/N/S /U /C\r\n1 = /F_/Z/U\r\n");
}

TEST_F(TemplateFilenameTest, OkOnTheDefaultOrAListedTemplateSendsItButAddsNothing) {
    for (const char* sText : {"/O mine", "B"}) {
        const int iDialog = WindowTemplateFilename::Open(iOwner, WindowKindScreenshot, sText);
        Click(D(iDialog).pOk);
        EXPECT_FALSE(WindowTemplateFilename::GetInstance(iDialog, nullptr));
    }
    EXPECT_EQ(chosen, (std::vector<std::string>{"/O mine", "B"}));
    EXPECT_EQ(SavedGroup("InputTemplateFilenameScreenshot"),
              "[InputTemplateFilenameScreenshot]\r\nDefault = /O /Y/M/D-/H/N/S\r\n1 = A\r\n2 = A\r\n3 = B\r\n");
}

TEST_F(TemplateFilenameTest, DeleteThenCancelStillRemovesTheTemplate) {
    const int iDialog = WindowTemplateFilename::Open(iOwner, WindowKindScreenshot, "A");
    uWindowTemplateFilename& d = D(iDialog);
    Click(d.pDelete); // the first of the two
    EXPECT_EQ(Items(iDialog), (std::vector<std::string>{"/O mine", "A", "B"}));
    EXPECT_EQ(d.pTemplate->currentIndex(), 0);
    Click(d.pDelete); // the default cannot be deleted
    EXPECT_EQ(Items(iDialog), (std::vector<std::string>{"/O mine", "A", "B"}));
    d.pTemplate->setCurrentIndex(2);
    Click(d.pDelete);
    EXPECT_EQ(Items(iDialog), (std::vector<std::string>{"/O mine", "A"}));
    QTest::keyClick(d.pTemplate->lineEdit(), Qt::Key_Escape);
    Settle();
    EXPECT_FALSE(WindowTemplateFilename::GetInstance(iDialog, nullptr));
    EXPECT_TRUE(chosen.empty());
    EXPECT_EQ(SavedGroup("InputTemplateFilenameScreenshot"),
              "[InputTemplateFilenameScreenshot]\r\nDefault = /O /Y/M/D-/H/N/S\r\n1 = A\r\n");
}

TEST_F(TemplateFilenameTest, TwoOpenDialogsKeepEachOthersChanges) {
    const int iFirst = WindowTemplateFilename::Open(iOwner, WindowKindScreenshot, "");
    const int iSecond = WindowTemplateFilename::Open(iOwner, WindowKindScreenshot, "B");
    ASSERT_NE(iFirst, iSecond);
    D(iFirst).pTemplate->setEditText("X");
    Click(D(iFirst).pOk);
    Click(D(iSecond).pDelete); // "B"
    D(iSecond).pTemplate->setEditText("Y");
    Click(D(iSecond).pOk);
    EXPECT_EQ(chosen, (std::vector<std::string>{"X", "Y"}));
    EXPECT_EQ(SavedGroup("InputTemplateFilenameScreenshot"),
              "[InputTemplateFilenameScreenshot]\r\nDefault = /O /Y/M/D-/H/N/S\r\n1 = A\r\n2 = A\r\n3 = X\r\n4 = Y\r\n");
}

TEST_F(TemplateFilenameTest, TheHelpHasNineTokensForScreenshotsAndElevenForWaveforms) {
    struct Case {
        int iKind;
        int iLines;
        const char* sLast;
    };
    for (const Case& c : {Case{WindowKindScreenshot, 9, "three-digit millisecond number."},
                          Case{WindowKindWaveform, 11, "name of the channel."}}) {
        const int iDialog = WindowTemplateFilename::Open(iOwner, c.iKind, "");
        const QStringList mTokens = D(iDialog).pTokens->text().split('\n');
        const QStringList mText = D(iDialog).pDescriptions->text().split('\n');
        ASSERT_EQ(mTokens.size(), c.iLines);
        ASSERT_EQ(mText.size(), c.iLines);
        EXPECT_EQ(mTokens.front().toStdString(), "/F");
        EXPECT_EQ(mText.front().toStdString(), "manufacturer name.");
        EXPECT_EQ(mText.back().toStdString(), c.sLast);
        // The buttons sit below the help, "Cancel" at the right edge, "OK" left of it.
        EXPECT_EQ(D(iDialog).pCancel->geometry().right() + 1, 440);
        EXPECT_EQ(D(iDialog).pOk->geometry().right() + 1 + 10, D(iDialog).pCancel->x());
        EXPECT_GT(D(iDialog).pOk->y(), D(iDialog).pDescriptions->geometry().bottom());
        EXPECT_EQ(D(iDialog).pDialog->height(), D(iDialog).pOk->y() + 25 + 10);
        WindowTemplateFilename::Close(iDialog);
    }
}

TEST_F(TemplateFilenameTest, TheCloseBoxSavesAndAnOwnerThatClosesTakesTheDialogAlong) {
    const int iDialog = WindowTemplateFilename::Open(iOwner, WindowKindScreenshot, "");
    Click(D(iDialog).pDelete); // nothing: the default is selected
    D(iDialog).pTemplate->setCurrentIndex(3);
    Click(D(iDialog).pDelete);
    D(iDialog).pDialog->close();
    Settle();
    EXPECT_FALSE(WindowTemplateFilename::GetInstance(iDialog, nullptr));
    EXPECT_EQ(SavedGroup("InputTemplateFilenameScreenshot"),
              "[InputTemplateFilenameScreenshot]\r\nDefault = /O /Y/M/D-/H/N/S\r\n1 = A\r\n2 = A\r\n");

    const int iOrphan = WindowTemplateFilename::Open(iOwner, WindowKindScreenshot, "");
    D(iOrphan).pTemplate->setCurrentIndex(1);
    Click(D(iOrphan).pDelete);
    EventHub::PostEvent(EventCloseWindowRequest, iOwner);
    Settle();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(WindowTemplateFilename::GetInstance(iOrphan, nullptr));
    EXPECT_EQ(SavedGroup("InputTemplateFilenameScreenshot"),
              "[InputTemplateFilenameScreenshot]\r\nDefault = /O /Y/M/D-/H/N/S\r\n1 = A\r\n");
}

} // namespace
