// The script window itself: what a new window shows, its menus and toolbar, the layout, dropped
// script files, the constants in config.ini, its place, and closing.
#include "WindowScriptSupport.h"

#include "app/Window.h"
#include "app/WindowAbout.h"

#include <QAction>
#include <QDropEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QSplitter>
#include <QStatusBar>
#include <QTabWidget>
#include <QToolBar>
#include <QUrl>

#include <memory>

namespace WindowScriptTest {
namespace {

std::string DumpMenuBar(const QMenuBar* pBar) {
    std::string s;
    for (const QAction* pTitle : pBar->actions()) {
        s += pTitle->text().toStdString() + "\n";
        for (const QAction* pItem : pTitle->menu()->actions()) {
            if (pItem->isSeparator()) {
                s += "  ---\n";
                continue;
            }
            s += "  " + std::to_string(pItem->data().toInt()) + " " + pItem->text().toStdString();
            if (!pItem->isEnabled()) s += " (off)";
            if (pItem->isCheckable()) s += pItem->isChecked() ? " [x]" : " [ ]";
            s += "\n";
        }
    }
    return s;
}

// Drops the files onto the gadget as a drag from a file manager would, with the given action.
bool Drop(QWidget* pGadget, const QStringList& mFiles, Qt::DropAction eAction) {
    QWidget* pTarget = pGadget;
    if (auto* pArea = qobject_cast<QAbstractScrollArea*>(pGadget)) pTarget = pArea->viewport();
    QMimeData data;
    QList<QUrl> urls;
    for (const QString& sFile : mFiles) urls << QUrl::fromLocalFile(sFile);
    data.setUrls(urls);
    const QPointF at(10, 10);
    QDragEnterEvent enter(at.toPoint(), Qt::CopyAction | Qt::LinkAction, &data, Qt::LeftButton, Qt::NoModifier);
    enter.setDropAction(eAction);
    QCoreApplication::sendEvent(pTarget, &enter);
    if (!enter.isAccepted()) return false;
    QDropEvent drop(at, Qt::CopyAction | Qt::LinkAction, &data, Qt::LeftButton, Qt::NoModifier);
    drop.setDropAction(eAction);
    QCoreApplication::sendEvent(pTarget, &drop);
    return drop.isAccepted();
}

TEST_F(ScriptWindowTest, ANewWindowShowsTheDefaultTextAndGoesIdleAfterItsStartUpTimer) {
    const int iWindow = Main::OpenScriptWindow();
    open.push_back(iWindow);
    uWindowScript* w = Record(iWindow);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(Buttons(*w), "CRPS"); // before the loop turns: the start-up timer cannot have fired
    Settle();
    EXPECT_EQ(w->pFrame->windowTitle().toStdString(), "Orvanto v0.1.0 (Alpha)");
    ASSERT_TRUE(w->pEditor);
    EXPECT_FALSE(w->pEditorPlain);
    EXPECT_EQ(WindowScript::ScriptText(*w), WindowScript::DefaultText);
    EXPECT_EQ(WindowScript::ScriptText(*w),
              "// Test version with debug outputs in the 'Output' tab.\n\n// Open script files via drag & drop here into "
              "this editor area.\n\n// Script files are simple text files with the extension '.txt'.\n\n// Then start it "
              "with 'Run'.\n");
    ASSERT_TRUE(WaitFor([&] { return Buttons(*w) == "CR--"; }, 2000));

    ASSERT_EQ(w->pPanel->count(), 3);
    EXPECT_EQ(w->pPanel->tabText(0), "Script");
    EXPECT_EQ(w->pPanel->tabText(1), "Constants");
    EXPECT_EQ(w->pPanel->tabText(2), "Output");
    EXPECT_EQ(w->pButtonCheck->text(), "Check");
    EXPECT_EQ(w->pButtonStop->geometry(), QRect(10, 135, 90, 25));
    // The message area got its first height from the start-up timer.
    EXPECT_EQ(w->pSplitter->sizes().value(1), 80);
    // A fixed-pitch face is asked for; which face the system gives depends on its installed fonts.
    EXPECT_TRUE(w->pMessages->font().fixedPitch());
    EXPECT_EQ(w->pMessages->font().styleHint(), QFont::Monospace);
    EXPECT_EQ(w->pEditor->marginWidth(0), 5 * w->pMessages->font().pointSize());
    EXPECT_EQ(w->pStatusField1->width(), 200);

    EXPECT_EQ(DumpMenuBar(w->pMenu), "&File\n"
                                     "  6 &New Script\n"
                                     "  4 &Close Window (off)\n"
                                     "  ---\n"
                                     "  8 &Exit\n"
                                     "&Edit\n"
                                     "  9 &Copy (off)\n"
                                     "&Window\n"
                                     "  28 Don't check position [ ]\n"
                                     "&Help\n"
                                     "  264 &Log...\n"
                                     "  265 &About...\n");
    ASSERT_EQ(w->pToolBar->actions().size(), 1);
    QAction* pButton = w->pToolBar->actions().front();
    EXPECT_EQ(pButton->toolTip(), "New Script");
    EXPECT_EQ(pButton->data().toInt(), WindowStart::MenuNewScript);
    EXPECT_FALSE(pButton->icon().isNull());
}

TEST_F(ScriptWindowTest, TheLayoutFollowsTheWindowAndTheMessageAreaKeepsItsHeight) {
    const int iWindow = OpenWindow();
    uWindowScript* w = Record(iWindow);
    EXPECT_EQ(w->pFrame->minimumWidth(), 220);
    EXPECT_GT(w->pFrame->minimumHeight(), 150);
    for (QSize size : {QSize(700, 520), QSize(900, 700)}) {
        w->pFrame->resize(size);
        Settle();
        const QWidget* pCentral = w->pFrame->centralWidget();
        EXPECT_EQ(w->pPanel->width(), pCentral->width() + 2);
        EXPECT_EQ(w->pPanel->height(), pCentral->height() + 1);
        const QWidget* pPage = w->pSplitter->parentWidget();
        EXPECT_EQ(w->pSplitter->geometry(), QRect(115, 10, pPage->width() - 125, pPage->height() - 20));
        const QWidget* pOutputPage = w->pOutput->parentWidget();
        EXPECT_EQ(w->pOutput->geometry(), QRect(10, 10, pOutputPage->width() - 20, pOutputPage->height() - 20));
        EXPECT_EQ(w->pSplitter->sizes().value(1), 80) << size.width();
    }
}

TEST_F(ScriptWindowTest, CloseWindowIsEnabledOnlyWhileAnotherTopLevelWindowIsOpen) {
    const int iFirst = OpenWindow();
    auto closeItem = [](int iWindow) {
        return WindowStart::FindMenuItem(Record(iWindow)->pMenu, WindowStart::MenuCloseWindow)->isEnabled();
    };
    EXPECT_FALSE(closeItem(iFirst));
    // The toolbar button opens the second window through the top-level loop.
    Record(iFirst)->pToolBar->actions().front()->trigger();
    ASSERT_TRUE(WaitFor([] { return Main::CountTopLevelWindows() == 2; }));
    int iOther = 0;
    for (int i = iFirst + 1; i < iFirst + 50 && !iOther; ++i) {
        if (Record(i)) iOther = i;
    }
    ASSERT_NE(iOther, 0);
    open.push_back(iOther);
    Settle();
    EXPECT_TRUE(closeItem(iFirst));
    EXPECT_TRUE(closeItem(iOther));
    // "&Close Window" of the second closes it; the first is alone again.
    EventHub::PostEvent(EventMenu, iOther, WindowStart::MenuCloseWindow);
    ASSERT_TRUE(WaitFor([&] { return !Record(iOther); }));
    std::erase(open, iOther);
    Settle();
    EXPECT_FALSE(closeItem(iFirst));
    EXPECT_EQ(closed, std::vector<int>{iOther});
}

TEST_F(ScriptWindowTest, ExitWithCtrlEndsTheProgramAndWithoutAsksEveryWindowToClose) {
    const int iWindow = OpenWindow();
    EventHub::PostEvent(EventMenu, iWindow, WindowStart::MenuExit, 1);
    Settle();
    EXPECT_EQ(frameEvents, std::vector<int>{EventQuit});
    WindowStart::FindMenuItem(Record(iWindow)->pMenu, WindowStart::MenuExit)->trigger();
    Settle();
    EXPECT_EQ(frameEvents, (std::vector<int>{EventQuit, EventCloseAllWindows}));
}

TEST_F(ScriptWindowTest, AboutOpensTheOneBoxOverTheScriptWindowAndItGoesWithIt) {
    const int iWindow = OpenWindow();
    auto box = [] {
        for (QWidget* p : QApplication::topLevelWidgets()) {
            auto* pFrame = qobject_cast<WindowFrame*>(p);
            if (pFrame && WindowAbout::Window() != 0 && pFrame->Window() == WindowAbout::Window()) return pFrame;
        }
        return static_cast<WindowFrame*>(nullptr);
    };
    QAction* pItem = WindowStart::FindMenuItem(Record(iWindow)->pMenu, WindowStart::MenuAbout);
    ASSERT_NE(pItem, nullptr);
    EXPECT_EQ(pItem->text(), "&About...");
    pItem->trigger();
    ASSERT_TRUE(WaitFor([&] { return box() != nullptr; }));
    WindowFrame* pBox = box();
    EXPECT_EQ(pBox->windowTitle(), "About...");
    EXPECT_EQ(pBox->parentWidget(), Record(iWindow)->pFrame);
    // Asked again, the same box.
    const int iBox = WindowAbout::Window();
    pItem->trigger();
    Settle();
    EXPECT_EQ(WindowAbout::Window(), iBox);
    EXPECT_EQ(box(), pBox);
    // Its owner closes: the box goes with it, and the script window's item opens a new one.
    const int iOther = OpenWindow();
    CloseWindow(iWindow);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(WaitFor([] { return WindowAbout::Window() == 0; }));
    WindowStart::FindMenuItem(Record(iOther)->pMenu, WindowStart::MenuAbout)->trigger();
    ASSERT_TRUE(WaitFor([&] { return box() != nullptr; }));
    EXPECT_NE(WindowAbout::Window(), iBox);
    EXPECT_EQ(box()->parentWidget(), Record(iOther)->pFrame);
    WindowAbout::Close();
    Settle();
    EXPECT_EQ(WindowAbout::Window(), 0);
}

TEST_F(ScriptWindowTest, DontCheckPositionTogglesTheCheckMarkAndConfigIni) {
    const int iWindow = OpenWindow();
    QAction* pItem = WindowStart::FindMenuItem(Record(iWindow)->pMenu, WindowStart::MenuDontCheckPosition);
    pItem->trigger();
    Settle();
    EXPECT_TRUE(pItem->isChecked());
    EXPECT_TRUE(Main::WindowDontCheckPosition());
    EXPECT_EQ(ConfigValue("General", "WindowDontCheckPosition"), "1");
    pItem->trigger();
    Settle();
    EXPECT_FALSE(pItem->isChecked());
    EXPECT_EQ(ConfigValue("General", "WindowDontCheckPosition"), "0");
    // A new window shows the setting as it stands.
    Main::SetWindowDontCheckPosition(true);
    const int iOther = OpenWindow();
    EXPECT_TRUE(WindowStart::FindMenuItem(Record(iOther)->pMenu, WindowStart::MenuDontCheckPosition)->isChecked());
}

TEST_F(ScriptWindowTest, ThePositionIsSavedOnCloseAndANewWindowTakesIt) {
    int iWindow = OpenWindow();
    Record(iWindow)->pFrame->setGeometry(30, 40, 500, 380);
    Settle();
    const QRect before = Record(iWindow)->pFrame->geometry();
    CloseWindow(iWindow);
    EXPECT_NE(ConfigValue("Window", "WindowScriptPosition"), "<none>");
    iWindow = OpenWindow();
    EXPECT_EQ(Record(iWindow)->pFrame->geometry(), before);
}

TEST_F(ScriptWindowTest, ClosingDeletesTheEngineInstanceAndTellsTheTopLevelLoop) {
    const int iWindow = OpenWindow();
    uWindowScript* w = Record(iWindow);
    WindowScript::SetScriptText(*w, "label top\ngoto top\n");
    w->pButtonRun->click();
    ASSERT_TRUE(WaitFor([&] { return Buttons(*w) == "--PS"; }));
    std::weak_ptr<InstrumentScript::uScriptInstance> pInstance = w->pScriptInstance;
    ASSERT_FALSE(pInstance.expired());
    CloseWindow(iWindow);
    EXPECT_TRUE(WaitFor([&] { return pInstance.expired(); }, 2000));
    EXPECT_EQ(closed, std::vector<int>{iWindow});
    EXPECT_EQ(Main::CountTopLevelWindows(), 0);
}

class ScriptWindowDropTest : public ScriptWindowTest {
  protected:
    QString File(const QString& sName, const std::string& sText) {
        WriteFile(sName, sText);
        return dir.filePath(sName);
    }
};

TEST_F(ScriptWindowDropTest, OnlyTheFirstFileWithTheExtensionTxtLoads) {
    uWindowScript* w = Record(OpenWindow());
    const QString upper = File("a.TXT", "label upper\n");
    const QString first = File("first.txt", "label first\n");
    const QString second = File("second.txt", "label second\n");
    EXPECT_TRUE(Drop(w->pEditor, {upper}, Qt::CopyAction));
    EXPECT_EQ(WindowScript::ScriptText(*w), WindowScript::DefaultText);
    EXPECT_EQ(Messages(*w), "");
    EXPECT_TRUE(Drop(w->pEditor, {first, second}, Qt::CopyAction));
    EXPECT_EQ(WindowScript::ScriptText(*w), "label first\n");
    EXPECT_EQ(Messages(*w), first.toStdString());
    // The message area takes drops too; a file that is not there changes nothing.
    EXPECT_TRUE(Drop(w->pMessages, {second}, Qt::CopyAction));
    EXPECT_EQ(WindowScript::ScriptText(*w), "label second\n");
    EXPECT_TRUE(Drop(w->pMessages, {dir.filePath("missing.txt")}, Qt::CopyAction));
    EXPECT_EQ(WindowScript::ScriptText(*w), "label second\n");
    EXPECT_EQ(Messages(*w), second.toStdString());
}

TEST_F(ScriptWindowDropTest, TextComesInIntactInUtf8AndInWindows1252) {
    uWindowScript* w = Record(OpenWindow());
    EXPECT_TRUE(Drop(w->pEditor, {File("utf8.txt", "string s\ns set \"Grüße, Maß\"\n")}, Qt::CopyAction));
    EXPECT_EQ(WindowScript::ScriptText(*w), "string s\ns set \"Grüße, Maß\"\n");
    EXPECT_TRUE(Drop(w->pEditor, {File("ansi.txt", "s set \"Gr\xFC\xDF\x65\"\r\n")}, Qt::CopyAction));
    EXPECT_EQ(WindowScript::ScriptText(*w), "s set \"Grüße\"\r\n");
}

TEST_F(ScriptWindowDropTest, ALinkDropPutsTheQuotedPathAtTheCaretOfThePlainEditorOnly) {
    const QString file = File("linked.txt", "label never\n");
    uWindowScript* w = Record(OpenWindow());
    EXPECT_TRUE(Drop(w->pEditor, {file}, Qt::LinkAction));
    EXPECT_EQ(WindowScript::ScriptText(*w), WindowScript::DefaultText);

    WindowScript::SetScintillaEnabled(false);
    w = Record(OpenWindow());
    ASSERT_TRUE(w->pEditorPlain);
    EXPECT_FALSE(w->pEditor);
    EXPECT_EQ(WindowScript::ScriptText(*w), WindowScript::DefaultText);
    WindowScript::SetScriptText(*w, "x set \nnext");
    QTextCursor cursor = w->pEditorPlain->textCursor();
    cursor.setPosition(6);
    w->pEditorPlain->setTextCursor(cursor);
    EXPECT_TRUE(Drop(w->pEditorPlain, {file}, Qt::LinkAction));
    EXPECT_EQ(WindowScript::ScriptText(*w), "x set \"" + file.toStdString() + "\"\nnext");
    EXPECT_EQ(Messages(*w), "");
    // Copy loads into the plain editor as well.
    EXPECT_TRUE(Drop(w->pEditorPlain, {file}, Qt::CopyAction));
    EXPECT_EQ(WindowScript::ScriptText(*w), "label never\n");
}

TEST_F(ScriptWindowDropTest, DraggedTextIsLeftToTheEditor) {
    uWindowScript* w = Record(OpenWindow());
    QMimeData data;
    data.setText("label dragged");
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    EXPECT_FALSE(WindowScript::OnWindowDrop(w->iWindow, &enter));
}

class ScriptWindowConstantsTest : public ScriptWindowTest {
  protected:
    std::string ConfigText() override {
        // A hand-edited group out of order, with a key that is no line number.
        return "[General]\n\n[ScriptConstant]\n2 = #b set 2\n1 = #a set 1\nother = 5\n";
    }
};

TEST_F(ScriptWindowConstantsTest, ConstantsOutliveTheWindowAndAProgramRestart) {
    int iWindow = OpenWindow();
    EXPECT_EQ(Record(iWindow)->pConstants->toPlainText().toStdString(), "#a set 1\n#b set 2");
    const std::string sTyped = "#speed set 10  \t\n#Cmd set :SOUR:FREQ=10;*OPC?\n; not a comment\n\n#speed set 10\n"
                               "   #Indented SET Mixed";
    Record(iWindow)->pConstants->setPlainText(QString::fromStdString(sTyped));
    CloseWindow(iWindow);
    EXPECT_EQ(ConfigValue("ScriptConstant", "1"), "#speed set 10");
    EXPECT_EQ(ConfigValue("ScriptConstant", "2"), "#Cmd set :SOUR:FREQ=10;*OPC?");
    EXPECT_EQ(ConfigValue("ScriptConstant", "other"), "<none>");

    const std::string sExpected = "#speed set 10\n#Cmd set :SOUR:FREQ=10;*OPC?\n; not a comment\n\n#speed set 10\n"
                                  "   #Indented SET Mixed";
    iWindow = OpenWindow();
    EXPECT_EQ(Record(iWindow)->pConstants->toPlainText().toStdString(), sExpected);
    CloseWindow(iWindow);

    // The program ends (config.ini written) and starts again (read anew).
    Main::SetConfigSaveAtExit(true);
    Main::CloseConfig();
    Main::OpenConfig();
    ASSERT_NE(Main::ConfigIni(), nullptr);
    iWindow = OpenWindow();
    EXPECT_EQ(Record(iWindow)->pConstants->toPlainText().toStdString(), sExpected);
}

TEST_F(ScriptWindowConstantsTest, TheWindowClosedLastDecides) {
    const int iFirst = OpenWindow();
    const int iSecond = OpenWindow();
    Record(iFirst)->pConstants->setPlainText("#first set 1");
    Record(iSecond)->pConstants->setPlainText("#second set 2");
    CloseWindow(iSecond);
    CloseWindow(iFirst);
    const int iThird = OpenWindow();
    EXPECT_EQ(Record(iThird)->pConstants->toPlainText().toStdString(), "#first set 1");
    Record(iThird)->pConstants->clear();
    CloseWindow(iThird);
    EXPECT_EQ(Record(OpenWindow())->pConstants->toPlainText().toStdString(), "");
}

} // namespace
} // namespace WindowScriptTest
