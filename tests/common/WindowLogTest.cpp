#include "common/WindowLog.h"

#include "app/Main.h"
#include "app/Window.h"
#include "common/FileSizeLimit.h"
#include "common/Ini.h"
#include "common/NumberText.h"
#include "common/TestApplication.h"
#include "platform/EventHub.h"
#include "platform/ProgramEvents.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QDeadlineTimer>
#include <QFile>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMainWindow>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocumentFragment>
#include <QToolTip>
#include <QtTest/QTest>

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace {

std::vector<std::string> Lines() {
    std::vector<std::string> mLines;
    const QStringList parts = QString::fromStdString(WindowLog::Text()).split('\n');
    for (const QString& s : parts) mLines.push_back(s.toStdString());
    if (!mLines.empty() && mLines.back().empty()) mLines.pop_back(); // the text ends with a line end
    return mLines;
}

// "NNNN [hh:mm:ss] text"
::testing::AssertionResult IsLine(const std::string& sLine, const std::string& sNumber, const std::string& sText) {
    static const QRegularExpression time("^\\d{4} \\[\\d\\d:\\d\\d:\\d\\d\\] ");
    if (!time.match(QString::fromStdString(sLine)).hasMatch() || sLine.substr(0, 4) != sNumber ||
        sLine.substr(16) != sText) {
        return ::testing::AssertionFailure() << "line \"" << sLine << "\" is not " << sNumber << " with \"" << sText << "\"";
    }
    return ::testing::AssertionSuccess();
}

QAction* Item(const char* sText) {
    for (QAction* pAction : WindowLog::Widget()->findChildren<QAction*>()) {
        if (pAction->text() == sText) return pAction;
    }
    return nullptr;
}

QPlainTextEdit* Editor() { return WindowLog::Widget()->findChild<QPlainTextEdit*>(); }

const std::string Dashes(60, '-');

class WindowLogTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { TestApplication::Ensure(); }
    void SetUp() override {
        EventHub::Init();
        ASSERT_TRUE(dir.isValid());
        ASSERT_TRUE(QDir().mkpath(dir.filePath("user")));
        Main::SetResourceFolders(dir.filePath("user/").toStdString(), dir.filePath("none/").toStdString());
    }
    void TearDown() override {
        WindowLog::Close(1);
        EventHub::Pump();
        Main::SetConfigSaveAtExit(false);
        Main::CloseConfig();
    }
    void Create() {
        WindowLog::Create();
        ASSERT_NE(WindowLog::Widget(), nullptr);
    }
    static std::string Notice() {
        return "The log will be cleared after " + Utility::StrDLocalized(10000, -1) + " lines.";
    }
    QTemporaryDir dir;
};

TEST_F(WindowLogTest, FirstLinesAreTheNoticeTheDashesAndThenNumberOne) {
    Create();
    EXPECT_FALSE(WindowLog::Widget()->isVisible());
    EXPECT_EQ(WindowLog::Widget()->windowTitle(), "Orvanto - Log");
    WindowLog::AddLine("Preferences file: /home/user/config.ini");
    WindowLog::AddError("Preferences file: File could not be opened.");
    const auto mLines = Lines();
    ASSERT_EQ(mLines.size(), 4u);
    EXPECT_TRUE(IsLine(mLines[0], "0000", Notice()));
    if (Utility::GetThousandsSeparator() == ",") {
        EXPECT_EQ(Notice(), "The log will be cleared after 10,000 lines.");
    }
    EXPECT_TRUE(IsLine(mLines[1], "0000", Dashes));
    EXPECT_TRUE(IsLine(mLines[2], "0001", "Preferences file: /home/user/config.ini"));
    EXPECT_TRUE(IsLine(mLines[3], "0002", "Error: Preferences file: File could not be opened."));
    const QFont font = Editor()->font();
    EXPECT_EQ(font.pointSize(), 9);
    WindowLog::Create(); // a second call changes nothing
    EXPECT_EQ(Lines().size(), 4u);
}

// A long line shows as lines of at most 4096 characters (laid out whole it holds the GUI thread
// for a third of a second a megabyte), every character kept in order.
TEST_F(WindowLogTest, ALongLineIsKeptWholeInShortLines) {
    Create();
    const std::string sLong = std::string(9000, 'x') + "END";
    WindowLog::AddError(sLong);
    const auto mLines = Lines();
    ASSERT_EQ(mLines.size(), 5u);
    std::string sJoined;
    for (std::size_t i = 2; i < mLines.size(); ++i) {
        EXPECT_LE(mLines[i].size(), 4096u);
        sJoined += mLines[i];
    }
    EXPECT_TRUE(IsLine(sJoined, "0001", "Error: " + sLong));
}

// The log does not wrap: a line that runs out of sight shows whole in the tool tip over it; a
// line that shows whole, and the empty space below the last line, show none.
TEST_F(WindowLogTest, ALineCutOffByTheWindowShowsWholeOnHover) {
    Create();
    QWidget* pWindow = WindowLog::Widget();
    pWindow->resize(400, 300);
    pWindow->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(pWindow));
    const std::string sLong = "WaveformData::SaveWaveformRigol: The file could not be created: " + std::string(80, 'x') +
                              "/a.csv (No space left on device)";
    WindowLog::AddError(sLong);
    WindowLog::AddLine("short");
    QPlainTextEdit* pEditor = Editor();
    QWidget* pView = pEditor->viewport();
    auto tipAtLine = [&](int iBlock) {
        QToolTip::hideText(); // goes after a short while
        QDeadlineTimer deadline(5000);
        while (QToolTip::isVisible() && !deadline.hasExpired()) QTest::qWait(10);
        const QTextBlock block = pEditor->document()->findBlockByNumber(iBlock);
        const QPoint at(20, pEditor->cursorRect(QTextCursor(block)).center().y());
        QHelpEvent help(QEvent::ToolTip, at, pView->mapToGlobal(at));
        QCoreApplication::sendEvent(pView, &help);
        return QToolTip::isVisible() ? QTextDocumentFragment::fromHtml(QToolTip::text()).toPlainText().trimmed().toStdString()
                                     : std::string();
    };
    const auto mLines = Lines();
    ASSERT_EQ(mLines.size(), 4u);
    EXPECT_EQ(tipAtLine(2), mLines[2]);
    EXPECT_TRUE(IsLine(tipAtLine(2), "0001", "Error: " + sLong));
    EXPECT_EQ(tipAtLine(3), "");
    QToolTip::hideText();
}

TEST_F(WindowLogTest, AfterLine9999TheLogStartsAgain) {
    Create();
    for (int i = 1; i <= 9999; ++i) WindowLog::AddLine("line " + std::to_string(i));
    auto mLines = Lines();
    ASSERT_EQ(mLines.size(), 10001u);
    EXPECT_TRUE(IsLine(mLines.back(), "9999", "line 9999"));
    WindowLog::AddLine("line 10000");
    mLines = Lines();
    ASSERT_EQ(mLines.size(), 3u);
    EXPECT_TRUE(IsLine(mLines[0], "0000", Notice()));
    EXPECT_TRUE(IsLine(mLines[1], "0000", Dashes));
    EXPECT_TRUE(IsLine(mLines[2], "0001", "line 10000"));
}

TEST_F(WindowLogTest, ClearWithAndWithoutNotice) {
    Create();
    WindowLog::AddLine("a");
    Item("C&lear")->trigger(); // the menu item: no notice
    EventHub::Pump();
    EXPECT_EQ(WindowLog::Text(), "");
    WindowLog::AddLine("b");
    auto mLines = Lines();
    ASSERT_EQ(mLines.size(), 1u);
    EXPECT_TRUE(IsLine(mLines[0], "0000", "b"));

    WindowLog::Clear(1);
    WindowLog::AddLine("c");
    mLines = Lines();
    ASSERT_EQ(mLines.size(), 3u);
    EXPECT_TRUE(IsLine(mLines[0], "0000", Notice()));
    EXPECT_TRUE(IsLine(mLines[2], "0001", "c"));
}

TEST_F(WindowLogTest, PostedLinesArriveWhenTheGuiThreadHandlesThem) {
    Create();
    std::thread([] { WindowLog::PostError("Lxi::Connect: from a worker"); }).join();
    EXPECT_EQ(Lines().size(), 2u); // not yet
    EXPECT_EQ(EventHub::Pending(), 1u);
    // A plain line (type 1), an unknown type and an event without text.
    EventHub::PostEvent(EventLogLine, WindowLog::WindowNumber(), 0, 1, EventHub::Payload::Of(std::string("plain")));
    EventHub::PostEvent(EventLogLine, WindowLog::WindowNumber(), 0, 3, EventHub::Payload::Of(std::string("dropped")));
    EventHub::PostEvent(EventLogLine, WindowLog::WindowNumber(), 0, 2);
    EventHub::Pump();
    const auto mLines = Lines();
    ASSERT_EQ(mLines.size(), 4u);
    EXPECT_TRUE(IsLine(mLines[2], "0001", "Error: Lxi::Connect: from a worker"));
    EXPECT_TRUE(IsLine(mLines[3], "0002", "plain"));
}

TEST_F(WindowLogTest, DisabledLogDropsEveryLineAndKeepsItsCount) {
    Create();
    QAction* pDisplay = Item("&Display events");
    ASSERT_NE(pDisplay, nullptr);
    EXPECT_TRUE(pDisplay->isChecked());
    pDisplay->trigger();
    EventHub::Pump();
    EXPECT_FALSE(pDisplay->isChecked());
    EXPECT_EQ(WindowLog::Widget()->windowTitle(), "Orvanto - Log (disabled)");
    std::thread([] { WindowLog::PostError("lost"); }).join();
    EventHub::Pump();
    WindowLog::AddLine("lost too");
    WindowLog::AddError("and this");
    EXPECT_EQ(Lines().size(), 2u);

    pDisplay->trigger();
    EventHub::Pump();
    EXPECT_TRUE(pDisplay->isChecked());
    EXPECT_EQ(WindowLog::Widget()->windowTitle(), "Orvanto - Log");
    WindowLog::AddLine("kept");
    EXPECT_TRUE(IsLine(Lines().back(), "0001", "kept"));
}

TEST_F(WindowLogTest, LineForAClosedLogIsFreedAndGoesNowhere) {
    Create();
    const int iOld = WindowLog::WindowNumber();
    std::thread([] { WindowLog::PostError("on its way while the log closes"); }).join();
    WindowLog::Close(1);
    EXPECT_EQ(WindowLog::Widget(), nullptr);
    WindowLog::PostError("after the log closed"); // nothing is made
    WindowLog::AddLine("nowhere");
    EXPECT_EQ(EventHub::Pending(), 1u);
    Create();
    EXPECT_NE(WindowLog::WindowNumber(), iOld);
    EventHub::Pump(); // the old window's line finds no handler; its text is freed
    EXPECT_EQ(Lines().size(), 2u);
    EXPECT_EQ(WindowLog::Text().find("on its way"), std::string::npos);
}

TEST_F(WindowLogTest, SaveAsWritesByteOrderMarkAndCrLf) {
    Create();
    WindowLog::AddLine("Grüße");
    const std::string sText = WindowLog::Text();
    const std::string sFile = dir.filePath("log.txt").toStdString();
    ASSERT_TRUE(WindowLog::SaveToFile(sFile));
    QFile file(QString::fromStdString(sFile));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    QString expected = QString::fromStdString(sText);
    expected.replace("\n", "\r\n");
    EXPECT_EQ(bytes, QByteArray("\xEF\xBB\xBF") + expected.toUtf8());
    EXPECT_TRUE(bytes.endsWith("Grüße\r\n"));
    EXPECT_TRUE(IsLine(Lines().back(), "0002", "The data was saved in the file: " + sFile));

    const std::string sBad = dir.filePath("missing/log.txt").toStdString();
    EXPECT_FALSE(WindowLog::SaveToFile(sBad));
    EXPECT_TRUE(IsLine(Lines().back(), "0003",
                       "Error: The file could not be created: " + sBad + " (No such file or directory)"));
}

TEST_F(WindowLogTest, FailedSaveLeavesTheEarlierFileAsItWas) {
    Create();
    for (int i = 0; i < 20; ++i) WindowLog::AddLine("a line long enough to pass the file size limit");
    const std::string sFile = dir.filePath("kept.txt").toStdString();
    {
        QFile earlier(QString::fromStdString(sFile));
        ASSERT_TRUE(earlier.open(QIODevice::WriteOnly));
        ASSERT_EQ(earlier.write("earlier contents"), 16);
    }
    bool fSaved = true;
    {
        FileSizeLimit limit(64); // the save runs out of room half-way
        ASSERT_TRUE(limit.Active());
        fSaved = WindowLog::SaveToFile(sFile);
    }
    EXPECT_FALSE(fSaved);
    EXPECT_TRUE(IsLine(Lines().back(), "0021",
                       "Error: The data could not be written to the file: " + sFile + " (File too large)"));
    QFile file(QString::fromStdString(sFile));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("earlier contents"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"kept.txt"}); // no temporary file left
}

TEST_F(WindowLogTest, CopyTakesTheSelectionOrTheWholeLog) {
    Create();
    WindowLog::AddLine("first");
    WindowLog::Copy();
    EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), WindowLog::Text());
    QTextCursor cursor = Editor()->textCursor();
    cursor.setPosition(0);
    cursor.setPosition(4, QTextCursor::KeepAnchor);
    Editor()->setTextCursor(cursor);
    Item("&Copy")->trigger();
    EventHub::Pump();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "0000");
}

TEST_F(WindowLogTest, EscapeAndTheCloseBoxOnlyHide) {
    Create();
    WindowLog::AddLine("stays");
    WindowLog::Show(0);
    EXPECT_TRUE(WindowLog::Widget()->isVisible());
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(Editor(), &escape);
    EXPECT_FALSE(WindowLog::Widget()->isVisible());
    WindowLog::Show(0);
    WindowLog::Widget()->close();
    EventHub::Pump();
    EXPECT_FALSE(WindowLog::Widget()->isVisible());
    EXPECT_NE(WindowLog::Widget(), nullptr);
    WindowLog::Show(0);
    EXPECT_TRUE(IsLine(Lines().back(), "0001", "stays"));
    // Minimised while maximised, shown again from the menu: it comes back maximised.
    WindowLog::Widget()->setWindowState(Qt::WindowMaximized | Qt::WindowMinimized);
    WindowLog::Show(0);
    EXPECT_EQ(WindowLog::Widget()->windowState(), Qt::WindowMaximized);
    Item("&Close")->trigger();
    EventHub::Pump();
    EXPECT_FALSE(WindowLog::Widget()->isVisible());
}

TEST_F(WindowLogTest, ThePlaceIsKeptInConfigIni) {
    {
        QFile file(dir.filePath("user/config.ini"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("[Window]\nWindowLogPosition=200,150,500,300,504,304,0\n");
    }
    Main::OpenConfig();
    ASSERT_NE(Main::ConfigIni(), nullptr);
    Window::InstallLogPlacement();
    Create();
    EXPECT_EQ(WindowLog::Widget()->size(), QSize(500, 300));
    WindowLog::Show(0);
    WindowLog::Widget()->resize(520, 310);
    WindowLog::Close(1);
    Ini::SelectSection(Main::ConfigIni(), "Window");
    const std::string sValue = Ini::ReadString(Main::ConfigIni(), "WindowLogPosition", "");
    EXPECT_EQ(sValue.substr(0, 16), "200,150,520,310,") << sValue;

    // A log that was never shown and had no saved place writes none.
    Ini::RemoveKey(Main::ConfigIni(), "WindowLogPosition");
    Create();
    WindowLog::Close(1);
    Ini::SelectSection(Main::ConfigIni(), "Window");
    EXPECT_EQ(Ini::ReadString(Main::ConfigIni(), "WindowLogPosition", "none"), "none");
}

} // namespace
