// The SCPI command window's command lists: the entry codec, the files byte for byte (template,
// Add and Remove, a list written by hand), and the real window choosing, clicking, adding,
// removing and writing lists.
#include "windows/scpi/ScpiWindowTestSupport.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>

namespace {

using namespace ScpiWindowTestSupport;
using WindowScpiCommand::uScpiCommandEntry;

std::string ReadFile(const QString& sPath) {
    QFile f(sPath);
    if (!f.open(QIODevice::ReadOnly)) return "<missing>";
    return f.readAll().toStdString();
}

std::string Golden(const char* sName) { return ReadFile(QString(ORVANTO_TEST_DATA) + "/" + sName); }

TEST(ScpiCommandListEntry, ValuesReadAsThePartsSay) {
    struct uCase {
        std::string sValue, sName, sCommand, sFile;
        bool fBlock, fV, fStb, fSrq;
        std::string sLines = ""; // the entry's line marks
    };
    const uCase mCases[] = {
        {"*IDN?", "", "*IDN?", "", false, false, false, false},
        {"[Error]:SYSTem:ERRor?", "Error", ":SYSTem:ERRor?", "", false, false, false, false},
        {"[no close:MEAS?", "", "[no close:MEAS?", "", false, false, false, false},
        {"[]X", "", "X", "", false, false, false, false},
        {"[N]{Wstb}A;B", "N", "A\r\nB", "", false, false, true, false},
        {"{VWsrq}*TRG", "", "*TRG", "", false, true, false, true},
        {"{v}x", "", "x", "", false, false, false, false}, // options are case-sensitive
        {"{open x", "", "{open x", "", false, false, false, false},
        {"[F]SIM:DATA |#NM||FILE|/tmp/a;b.bin", "F", "SIM:DATA |#NM||FILE|", "/tmp/a;b.bin", true, false, false, false},
        {"C |FILE|one|FILE|two", "", "C |FILE|", "one|FILE|two", false, false, false, false},
        {"x |file|y", "", "x |file|y", "", false, false, false, false},
        {"", "", "", "", false, false, false, false},
        // More marks than ";" (the entry was edited by hand since): the marks are not its own.
        {"[R]*RST;*CLS", "R", "*RST\r\n*CLS", "", false, false, false, false, "01"},
    };
    for (const uCase& c : mCases) {
        SCOPED_TRACE(c.sValue);
        const uScpiCommandEntry e = WindowScpiCommand::Detail::ParseEntryValue(c.sValue, c.sLines);
        EXPECT_EQ(e.sName, c.sName);
        EXPECT_EQ(e.sCommand, c.sCommand);
        EXPECT_EQ(e.sFile, c.sFile);
        EXPECT_EQ(e.fBlockFormat, c.fBlock);
        EXPECT_EQ(e.fVendorSpecific, c.fV);
        EXPECT_EQ(e.fWaitStatusByte, c.fStb);
        EXPECT_EQ(e.fWaitServiceRequest, c.fSrq);
    }
}

TEST(ScpiCommandListEntry, ValuesBuiltAndReadBack) {
    using WindowScpiCommand::Detail::BuildEntryValue;
    EXPECT_EQ(BuildEntryValue("Meas", "A\nB", false, true, false, false, ""), "[Meas]{Wstb}A;B");
    EXPECT_EQ(BuildEntryValue("", "A\r\nB", true, true, true, false, "f"), "{VWstbWsrq}A;B");
    EXPECT_EQ(BuildEntryValue("D", "SIM:DATA |#NM||FILE|", false, false, false, true, "/x.bin"),
              "[D]SIM:DATA |#NM||FILE|/x.bin");
    EXPECT_EQ(BuildEntryValue("", "X |FILE|", false, false, false, false, "/x.bin"), "X ");
    EXPECT_EQ(BuildEntryValue("", "X |FILE|", false, false, false, true, ""), "X ");
    const uScpiCommandEntry e = WindowScpiCommand::Detail::ParseEntryValue(
        BuildEntryValue("D", "SIM:DATA |#NM||FILE|", false, false, false, true, "/x.bin"));
    EXPECT_EQ(e.sCommand, "SIM:DATA |#NM||FILE|");
    EXPECT_EQ(e.sFile, "/x.bin");
    EXPECT_TRUE(e.fBlockFormat);
    // Every line comes back as typed, whatever it holds; the value joins the lines by ";" as ever.
    for (const std::string sTyped : {
             ":CHAN1:LAB \"x;y?\"",      // a ";" inside string data
             "*RST;*CLS",                // two units on one line
             ":DISP:TEXT it's\r\n*IDN?", // an apostrophe in a word
             ":DISP:TEXT 5\"\r\n*IDN?",  // an inch sign
         }) {
        SCOPED_TRACE(sTyped);
        std::string sLines;
        const std::string sValue = BuildEntryValue("", sTyped, false, false, false, false, "", &sLines);
        EXPECT_EQ(sValue, QString::fromStdString(sTyped).replace("\r\n", ";").toStdString());
        EXPECT_EQ(WindowScpiCommand::Detail::ParseEntryValue(sValue, sLines).sCommand, sTyped);
    }
}

TEST(ScpiCommandListEntry, SaveAsNames) {
    using WindowScpiCommand::Detail::ListFileName;
    EXPECT_EQ(ListFileName("/d/list"), "/d/list.ini");
    EXPECT_EQ(ListFileName("/d/list.txt"), "/d/list.ini");
    EXPECT_EQ(ListFileName("/d/list.json"), "/d/list.ini");
    EXPECT_EQ(ListFileName("/d/a.c"), "/d/a.ini");
    EXPECT_EQ(ListFileName("/d/a.INI"), "/d/a.INI");
    EXPECT_EQ(ListFileName("/d.x/list"), "/d.x/list.ini");
    EXPECT_EQ(ListFileName("/d/a.b.txt"), "/d/a.b.ini");
}

TEST(ScpiCommandListEntry, TheTemplateIsTheShippedStandardList) {
    const std::string sTemplate = WindowScpiCommand::Detail::CommandListTemplate;
    EXPECT_EQ(sTemplate.size(), 217u);
    EXPECT_EQ(sTemplate, Golden("template.ini"));
    EXPECT_EQ(sTemplate, ReadFile(QString(ORVANTO_TEST_DATA) + "/../../../../packaging/resources/SCPI-Commands/Standard.ini"));
}

class WindowScpiCommandListsTest : public ScpiWindowTest {
  protected:
    // The lists' folder beside config.ini (the user's), and the one of the lists that come with
    // the program (beside the executable, the parent of the program's Resources folder).
    QString Folder() { return dir.filePath("user/SCPI-Commands"); }
    QString Shipped() { return dir.filePath("SCPI-Commands"); }
    QString Put(const QString& sName, const std::string& sBytes) { return PutInto(Folder(), sName, sBytes); }
    static QString PutInto(const QString& sFolder, const QString& sName, const std::string& sBytes) {
        QDir().mkpath(sFolder);
        const QString sPath = sFolder + "/" + sName;
        QFile f(sPath);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(sBytes.data(), static_cast<qint64>(sBytes.size()));
        return sPath;
    }
    // Opens the window and lets timer 13 fill the box.
    int Open() {
        const int iScpi = OpenScpi();
        WaitFor([iScpi] { return W(iScpi).gadgets.pListFiles->count() > 0; }, 3000);
        Settle();
        return iScpi;
    }
    static QStringList Box(int iScpi) {
        QStringList m;
        for (int i = 0; i < W(iScpi).gadgets.pListFiles->count(); ++i) m << W(iScpi).gadgets.pListFiles->itemText(i);
        return m;
    }
    static QStringList Items(int iScpi) {
        QStringList m;
        for (int i = 0; i < W(iScpi).gadgets.pCommandList->count(); ++i) m << W(iScpi).gadgets.pCommandList->item(i)->text();
        return m;
    }
    static void ClickItem(int iScpi, const QString& sText) {
        QListWidget* pList = W(iScpi).gadgets.pCommandList;
        const auto m = pList->findItems(sText, Qt::MatchExactly);
        ASSERT_EQ(m.size(), 1) << sText.toStdString();
        pList->setCurrentItem(m[0]);
        emit pList->itemClicked(m[0]);
        Settle();
    }
    // Answers the next requester: a file name or folder ("" cancels); returns its title.
    static QString Requester(QAbstractButton* pButton, const QString& sPath) {
        QString sTitle;
        QTimer::singleShot(0, [&] {
            auto* pDialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (!pDialog) return;
            sTitle = pDialog->windowTitle();
            if (sPath.isEmpty()) {
                pDialog->reject();
                return;
            }
            FileDialogAnswer::Choose(pDialog, sPath);
            QMetaObject::invokeMethod(pDialog, "accept");
        });
        pButton->click();
        Settle();
        return sTitle;
    }

    QTemporaryDir files;
};

TEST_F(WindowScpiCommandListsTest, StandardIsChosenOverANameSortedBeforeIt) {
    Put("Alpha.ini", "\xEF\xBB\xBF\r\n[SCPICommand]\r\n1 = [A]:A?\r\n");
    Put("standard.INI", WindowScpiCommand::Detail::CommandListTemplate);
    Put("notes.txt", "x");
    QDir().mkpath(Folder() + "/sub.ini");
    const int iScpi = Open();
    EXPECT_EQ(Box(iScpi), (QStringList{"Alpha.ini", "standard.INI", "Select Folder..."}));
    EXPECT_EQ(W(iScpi).gadgets.pListFiles->currentIndex(), 1);
    EXPECT_EQ(W(iScpi).lists.sSelectedFile, "standard.INI");
    // Unnamed entries first, shown by their command.
    EXPECT_EQ(Items(iScpi), (QStringList{"*IDN?", "Error"}));
    EXPECT_EQ(Status(iScpi), (Folder() + "/standard.INI").toStdString());
}

TEST_F(WindowScpiCommandListsTest, NoListFileLoadsNothing) {
    const int iScpi = Open();
    EXPECT_EQ(Box(iScpi), QStringList{"Select Folder..."});
    EXPECT_FALSE(W(iScpi).lists.pCommandListIni);
    EXPECT_EQ(W(iScpi).lists.iSelectedIndex, -1);
    EXPECT_EQ(Items(iScpi), QStringList{});
}

TEST_F(WindowScpiCommandListsTest, ChoosingClickingAddingRemoving) {
    const QString sStandard = Put("Standard.ini", WindowScpiCommand::Detail::CommandListTemplate);
    const QString sOther = Put("Other.ini", Golden("handmade.ini"));
    const int iScpi = Open();
    uGadgets& g = W(iScpi).gadgets;
    g.pListFiles->setCurrentIndex(0); // "Other.ini"
    Settle();
    EXPECT_EQ(Items(iScpi), (QStringList{"*IDN?", "File", "Reset"}));
    ClickItem(iScpi, "Reset");
    EXPECT_EQ(g.pName->text(), "Reset");
    EXPECT_EQ(g.pCommand->toPlainText(), "*RST\n*CLS");
    EXPECT_TRUE(g.pVendorSpecific->isChecked() && g.pWaitMav->isChecked() && g.pWaitSrq->isChecked());
    EXPECT_FALSE(g.pFile->isChecked());
    EXPECT_FALSE(g.pBlockFormat->isEnabled());
    ClickItem(iScpi, "File");
    EXPECT_EQ(g.pCommand->toPlainText(), "SIM:DATA |#NM||FILE|");
    EXPECT_EQ(g.pFileName->text(), "/tmp/a.bin");
    EXPECT_EQ(g.pFileName->toolTip(), "/tmp/a.bin");
    EXPECT_TRUE(g.pFile->isChecked() && g.pBlockFormat->isEnabled() && g.pBlockFormat->isChecked());
    EXPECT_FALSE(g.pWaitMav->isChecked());
    // Loaded, clicked and left unchanged: the file stays as it was, byte for byte.
    g.pListFiles->setCurrentIndex(1);
    Settle();
    EXPECT_EQ(ReadFile(sOther), Golden("handmade.ini"));

    // The standard list: one Remove, then one Add (name, MAV, two lines) that takes the freed key.
    ClickItem(iScpi, "*IDN?");
    Click(g.pRemove);
    EXPECT_EQ(Items(iScpi), QStringList{"Error"});
    EXPECT_EQ(ReadFile(sStandard), WindowScpiCommand::Detail::CommandListTemplate); // not yet written
    g.pName->setText(" Meas ");
    g.pCommand->setPlainText("A\nB\n");
    g.pFile->setChecked(false);
    g.pVendorSpecific->setChecked(false);
    g.pWaitSrq->setChecked(false);
    g.pWaitMav->setChecked(true);
    Click(g.pAdd);
    EXPECT_EQ(ReadFile(sStandard), Golden("template-add-remove.ini"));
    EXPECT_EQ(Items(iScpi), (QStringList{"Error", "Meas"}));
    ASSERT_TRUE(g.pCommandList->currentItem());
    EXPECT_EQ(g.pCommandList->currentItem()->text(), "Meas");
    g.pCommand->clear();
    ClickItem(iScpi, "Meas");
    EXPECT_EQ(g.pCommand->toPlainText(), "A\nB");
    EXPECT_TRUE(g.pWaitMav->isChecked());

    // Lines that the value's ";" do not tell: their marks go into a group of their own, which the
    // next load reads, and which a Remove takes out with the entry.
    const std::string sAdd = Golden("template-add-remove.ini") + "3 = [Lines]*RST;*CLS;:DISP:TEXT it's\r\n";
    g.pName->setText("Lines");
    g.pCommand->setPlainText("*RST;*CLS\n:DISP:TEXT it's");
    g.pWaitMav->setChecked(false);
    Click(g.pAdd);
    EXPECT_EQ(ReadFile(sStandard), sAdd + "\r\n[SCPICommandLines]\r\n3 = 01\r\n");
    g.pCommand->clear();
    ClickItem(iScpi, "Lines");
    EXPECT_EQ(g.pCommand->toPlainText(), "*RST;*CLS\n:DISP:TEXT it's");
    Click(g.pRemove);
    g.pListFiles->setCurrentIndex(0); // leaving the list writes it
    Settle();
    EXPECT_EQ(ReadFile(sStandard), Golden("template-add-remove.ini") + "\r\n");

    // The list edited elsewhere took out an entry and left its marks: the next entry under that
    // key gives back its own lines.
    Put("Standard.ini", Golden("template-add-remove.ini") + "\r\n[SCPICommandLines]\r\n3 = 01\r\n");
    g.pListFiles->setCurrentIndex(1);
    Settle();
    g.pName->setText("Three");
    g.pCommand->setPlainText("A\nB\nC");
    Click(g.pAdd);
    g.pCommand->clear();
    ClickItem(iScpi, "Three");
    EXPECT_EQ(g.pCommand->toPlainText(), "A\nB\nC");
}

// Two windows (of two main windows) on one list file: each one's changes reach the file on top
// of what the other wrote since, instead of writing back the copy it read at the start.
TEST_F(WindowScpiCommandListsTest, TwoWindowsOnOneListKeepEachOthersChanges) {
    const QString sStandard = Put("Standard.ini", WindowScpiCommand::Detail::CommandListTemplate);
    const int iFirst = Open();
    const int iSecond = Open();
    ASSERT_NE(iFirst, iSecond);
    const auto add = [](int iScpi, const char* sName, const char* sCommand) {
        uGadgets& g = W(iScpi).gadgets;
        g.pName->setText(sName);
        g.pCommand->setPlainText(sCommand);
        g.pFile->setChecked(false);
        Click(g.pAdd);
    };
    add(iFirst, "One", "ONE?");
    add(iSecond, "Two", "TWO?");
    std::string sFile = ReadFile(sStandard);
    EXPECT_NE(sFile.find("3 = [One]ONE?\r\n"), std::string::npos) << sFile;
    EXPECT_NE(sFile.find("4 = [Two]TWO?\r\n"), std::string::npos) << sFile;
    EXPECT_EQ(Items(iSecond), (QStringList{"*IDN?", "Error", "One", "Two"}));

    // A removal waits for the next save and then takes only its own entry out.
    ClickItem(iFirst, "*IDN?");
    Click(W(iFirst).gadgets.pRemove);
    add(iSecond, "Three", "THREE?");
    EXPECT_NE(ReadFile(sStandard).find("1 = *IDN?\r\n"), std::string::npos);
    EventHub::PostEvent(EventCloseWindowRequest, iFirst);
    Settle();
    ASSERT_FALSE(WindowScpiCommand::FindInstance(iFirst, nullptr));
    sFile = ReadFile(sStandard);
    EXPECT_EQ(sFile.find("*IDN?"), std::string::npos) << sFile;
    for (const char* sLine : {"2 = [Error]:SYSTem:ERRor?\r\n", "3 = [One]ONE?\r\n", "4 = [Two]TWO?\r\n",
                              "5 = [Three]THREE?\r\n"}) {
        EXPECT_NE(sFile.find(sLine), std::string::npos) << sLine << " in\n" << sFile;
    }
}

TEST_F(WindowScpiCommandListsTest, SaveAsWritesTheTemplateOrACopy) {
    const int iScpi = Open();
    uGadgets& g = W(iScpi).gadgets;
    // No list chosen: the template, under a name with ".ini" in place of its extension.
    const QString sElsewhere = files.filePath("new.txt");
    EXPECT_EQ(Requester(g.pListSaveAs, sElsewhere), "Data save as");
    EXPECT_EQ(ReadFile(files.filePath("new.ini")), WindowScpiCommand::Detail::CommandListTemplate);
    EXPECT_FALSE(QFile::exists(sElsewhere));

    // A list chosen: a copy of it; in the list folder the box is filled again, the list kept.
    Put("Mine.ini", Golden("handmade.ini"));
    WindowScpiCommand::FillCommandListFiles(iScpi, 0);
    ASSERT_EQ(W(iScpi).lists.sSelectedFile, "Mine.ini");
    Requester(g.pListSaveAs, Folder() + "/Copy");
    EXPECT_EQ(ReadFile(Folder() + "/Copy.ini"), Golden("handmade.ini"));
    EXPECT_EQ(Box(iScpi), (QStringList{"Copy.ini", "Mine.ini", "Select Folder..."}));
    EXPECT_EQ(W(iScpi).lists.sSelectedFile, "Mine.ini");
    // Onto itself: the list stays whole.
    Requester(g.pListSaveAs, Folder() + "/Mine.ini");
    EXPECT_EQ(ReadFile(Folder() + "/Mine.ini"), Golden("handmade.ini"));
    // Cancelled: nothing written.
    Requester(g.pListSaveAs, "");
    EXPECT_EQ(QDir(Folder()).entryList(QDir::Files).size(), 2);
}

TEST_F(WindowScpiCommandListsTest, SelectFolderAndItsCancel) {
    Put("Standard.ini", WindowScpiCommand::Detail::CommandListTemplate);
    const QString sOther = files.filePath("other");
    QDir().mkpath(sOther);
    QFile f(sOther + "/Zeta.ini");
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("\xEF\xBB\xBF\r\n[SCPICommand]\r\n1 = [Z]:Z?\r\n");
    f.close();
    const int iScpi = Open();
    uGadgets& g = W(iScpi).gadgets;
    ASSERT_EQ(W(iScpi).lists.iSelectedIndex, 0);
    // Choosing the last item and cancelling returns the box to the chosen list.
    QString sTitle;
    QTimer::singleShot(0, [&] {
        if (auto* pDialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
            sTitle = pDialog->windowTitle();
            pDialog->reject();
        }
    });
    g.pListFiles->setCurrentIndex(1);
    Settle();
    EXPECT_EQ(sTitle, "Select Folder...");
    EXPECT_EQ(g.pListFiles->currentIndex(), 0);
    EXPECT_EQ(Items(iScpi), (QStringList{"*IDN?", "Error"}));
    // The folder button with a folder chosen: its lists are shown.
    QTimer::singleShot(0, [&] {
        if (auto* pDialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
            pDialog->setDirectory(sOther);
            pDialog->selectFile(sOther);
            QMetaObject::invokeMethod(pDialog, "accept");
        }
    });
    g.pFolder->click();
    Settle();
    EXPECT_EQ(W(iScpi).lists.sCommandFolder, sOther.toStdString() + "/");
    EXPECT_EQ(Box(iScpi), (QStringList{"Zeta.ini", "Select Folder..."}));
    EXPECT_EQ(Items(iScpi), QStringList{"Z"});
}

// A list that comes only with the program is read from beside the executable; its first save
// goes beside config.ini and the copy that came with the program stays as it was.
TEST_F(WindowScpiCommandListsTest, AShippedListIsSavedIntoTheUsersFolder) {
    const std::string sTemplate = WindowScpiCommand::Detail::CommandListTemplate;
    const QString sShipped = PutInto(Shipped(), "Standard.ini", sTemplate);
    PutInto(Shipped(), "Other.ini", Golden("handmade.ini"));
    Put("Mine.ini", "\xEF\xBB\xBF\r\n[SCPICommand]\r\n1 = [M]:M?\r\n");
    const int iScpi = Open();
    uGadgets& g = W(iScpi).gadgets;
    EXPECT_EQ(Box(iScpi), (QStringList{"Mine.ini", "Other.ini", "Standard.ini", "Select Folder..."}));
    EXPECT_EQ(W(iScpi).lists.sSelectedFile, "Standard.ini");
    EXPECT_EQ(Status(iScpi), sShipped.toStdString());
    EXPECT_EQ(Items(iScpi), (QStringList{"*IDN?", "Error"}));
    g.pName->setText("Meas");
    g.pCommand->setPlainText("A\nB");
    g.pWaitMav->setChecked(true);
    Click(g.pAdd);
    EXPECT_EQ(ReadFile(Folder() + "/Standard.ini"), sTemplate + "3 = [Meas]{Wstb}A;B\r\n");
    EXPECT_EQ(ReadFile(sShipped), sTemplate);
    // From now on the user's copy is the list.
    EXPECT_EQ(Status(iScpi), (Folder() + "/Standard.ini").toStdString());
    EXPECT_EQ(Items(iScpi), (QStringList{"*IDN?", "Error", "Meas"}));
    EXPECT_EQ(Box(iScpi).size(), 4);
}

// Where the list cannot be saved, "Add" says why in the window's status line, not only in the
// log. The user's list folder is a regular file here (the tests run as root, which no
// permission bit stops).
TEST_F(WindowScpiCommandListsTest, AFailedAddShowsItsReasonInTheWindow) {
    const std::string sTemplate = WindowScpiCommand::Detail::CommandListTemplate;
    const QString sShipped = PutInto(Shipped(), "Standard.ini", sTemplate);
    {
        QFile blocker(Folder());
        ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    }
    const int iScpi = Open();
    uGadgets& g = W(iScpi).gadgets;
    ASSERT_EQ(W(iScpi).lists.sSelectedFile, "Standard.ini");
    g.pName->setText("Meas");
    g.pCommand->setPlainText("MEAS?");
    WindowLog::Clear(0);
    Click(g.pAdd);
    const std::string sReason = "The data could not be written to the file: " + Folder().toStdString() +
                                "/Standard.ini (Not a directory)";
    EXPECT_EQ(Status(iScpi), sReason);
    EXPECT_TRUE(LogHas(sReason)) << Log();
    EXPECT_EQ(ReadFile(sShipped), sTemplate);
    // The entry that could not be kept is not shown as if it were.
    EXPECT_EQ(Items(iScpi), (QStringList{"*IDN?", "Error"}));
}

} // namespace
