#include "common/IconFile.h"
#include "common/ImagePluginGdiPlus.h"
#include "common/TestApplication.h"
#include "common/UtilityGui.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QHeaderView>
#include <QLabel>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QTextEdit>
#include <QToolBar>
#include <QTreeWidget>

#include <gtest/gtest.h>

namespace {

class UtilityGuiTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        TestApplication::Ensure();
        ImagePluginGdiPlus::RegisterEncoder();
        ImagePluginGdiPlus::RegisterDecoder();
    }
};

TEST_F(UtilityGuiTest, UnscaledDisplay) {
    EXPECT_DOUBLE_EQ(Utility::DesktopScale(), 1.0);
    EXPECT_EQ(Utility::IsDisplayScaled(), 0);
    QToolBar toolbar;
    EXPECT_EQ(Utility::SetToolBarIconSize(&toolbar, 2), 24);
    EXPECT_EQ(toolbar.iconSize(), QSize(24, 24));
    EXPECT_EQ(Utility::SetToolBarIconSize(&toolbar, 1, 0), 16);
    EXPECT_EQ(toolbar.iconSize(), QSize(16, 16));
    EXPECT_EQ(Utility::SetToolBarIconSize(nullptr, 2), 24);
}

TEST_F(UtilityGuiTest, SystemFontSizeFromPointsOrPixels) {
    const QFont original = QApplication::font();
    QFont points = original;
    points.setPointSize(11);
    QApplication::setFont(points);
    EXPECT_EQ(Utility::GetSystemFontSize(9), 11);

    QFont pixels = original;
    pixels.setPixelSize(12);
    QApplication::setFont(pixels);
    const double dDpi = QGuiApplication::primaryScreen()->logicalDotsPerInchY();
    EXPECT_EQ(Utility::GetSystemFontSize(5), static_cast<int>(std::lround(12 * 72.0 / dDpi)));
    if (dDpi == 96) {
        EXPECT_EQ(Utility::GetSystemFontSize(5), 9);
    }
    QApplication::setFont(original);
}

TEST_F(UtilityGuiTest, PlainTextEditorAndTooltipWidth) {
    QTextEdit editor;
    editor.setHtml("<b>bold</b>");
    Utility::EditorSetPlainText(&editor);
    EXPECT_TRUE(editor.toPlainText().isEmpty());
    EXPECT_FALSE(editor.acceptRichText());

    // Text wider than the maximum wraps at it; text that fits is left alone.
    QPushButton button;
    Utility::AddGadgetToolTip(&button, std::string(300, 'w'), 400, "");
    EXPECT_TRUE(button.toolTip().startsWith("<qt><table width=\"400\">")) << button.toolTip().toStdString();
    Utility::AddGadgetToolTip(&button, "a < b", 400, "Title");
    EXPECT_EQ(button.toolTip(), "<qt><b>Title</b><br>a &lt; b</qt>");
}

// Every window's status field: the reason first (the log's "Module::Procedure: " labels left
// out, also behind a lead-in), and the whole text as given in the tool tip, wrapped; a path or
// a SCPI command with colons stays as it is.
TEST_F(UtilityGuiTest, AStatusTextShowsTheReasonFirstAndTheWholeTextOnHover) {
    const struct {
        const char *sText, *sShown, *sTip = nullptr; // the tip: sText unless given
    } cases[] = {
        {"WaveformData::SaveWaveformRigol: The file could not be created: /x/a.csv (Read-only file system)",
         "The file could not be created: /x/a.csv (Read-only file system)"},
        {"Communication error: RawTcp::SocketRead: Die Netzwerkverbindung wurde unterbrochen. Code = 104",
         "Communication error: Die Netzwerkverbindung wurde unterbrochen. Code = 104"},
        {"InstrumentDefault::TaskScpiCommand: Lxi::RequestData: No answer.", "No answer."},
        {"Data received, bytes: 1,152,054 - (1,234 ms total)", "Data received, bytes: 1,152,054 - (1,234 ms total)"},
        {"/srv/a::b: c and :CHAN1:DISP? 1", "/srv/a::b: c and :CHAN1:DISP? 1"},
        {"", ""},
        // Bytes from an instrument are escaped in the field and in the tip.
        {"RawTcp::SocketRead: #15\x1B[2J", "#15\\x1B[2J", "RawTcp::SocketRead: #15\\x1B[2J"},
    };
    QStatusBar bar;
    bar.resize(200, 30);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sText);
        Utility::SetStatusText(&bar, c.sText);
        QLabel* pField = Utility::StatusLabel(&bar);
        EXPECT_EQ(pField->text().toStdString(), c.sShown);
        EXPECT_EQ(TestApplication::ToolTip(pField), c.sTip ? c.sTip : c.sText);
    }
    // A script's own words are shown as they are.
    QLabel field;
    Utility::SetStatusText(&field, "Script::Line: 7", false);
    EXPECT_EQ(field.text(), "Script::Line: 7");
    // A text wider than a tool tip may be wraps.
    Utility::SetStatusText(&bar, std::string(400, 'w'));
    EXPECT_TRUE(Utility::StatusLabel(&bar)->toolTip().startsWith("<qt><table width=\"600\">"));
    // A text wider than its field shows cut with an ellipsis, and whole once the field has grown.
    const QString sLong = QString::fromLatin1(Utility::UsualReason);
    Utility::SetStatusText(&field, sLong);
    for (const int iWidth : {200, field.fontMetrics().horizontalAdvance(sLong) + 10}) {
        field.resize(iWidth, 30);
        QLabel seen(field.fontMetrics().elidedText(sLong, Qt::ElideRight, iWidth));
        seen.resize(field.size());
        EXPECT_EQ(field.grab().toImage(), seen.grab().toImage()) << iWidth;
    }
}

// A long text put into an editor step by step ends as the same lines as one appendPlainText:
// steps end at line ends, a last empty line stays, and a step over its time leaves the rest.
TEST_F(UtilityGuiTest, AppendingInStepsGivesTheLinesOfOneAppend) {
    const QString sLong = QString("0123456789abcdef\n").repeated(3000); // ends in LF: an empty last line
    const QString sOneLine(3 * Utility::AppendStepChars + 5, 'x');
    for (const QString& sText : {QString(), QString("a"), QString("a\n\nb"), sLong, sLong.chopped(1), sOneLine,
                                 sOneLine + "\n" + sLong}) {
        SCOPED_TRACE(sText.size());
        QPlainTextEdit whole, stepped;
        whole.setPlainText("before");
        stepped.setPlainText("before");
        whole.appendPlainText(sText);
        qsizetype iFrom = 0;
        int iSteps = 0;
        while (!Utility::AppendLines(&stepped, sText, iFrom, QDeadlineTimer(0))) ++iSteps;
        EXPECT_EQ(stepped.toPlainText(), whole.toPlainText());
        EXPECT_EQ(stepped.document()->blockCount(), whole.document()->blockCount());
        EXPECT_GT(iFrom, sText.size());
        // An expired deadline still takes one step; a long text needs several.
        EXPECT_EQ(iSteps > 0, sText.size() > 2 * Utility::AppendStepChars && sText.contains('\n')) << iSteps;
    }
}

TEST_F(UtilityGuiTest, ListColumnsFitContentsAndTitlesAndHiddenOnesStayHidden) {
    QTreeWidget list;
    list.setColumnCount(4);
    list.setHeaderLabels({"", "Interface", "A much longer header title", "Type"});
    list.header()->setStretchLastSection(false);
    list.header()->setMinimumSectionSize(0);
    for (int i = 0; i < 3; ++i) {
        auto* item = new QTreeWidgetItem(&list);
        item->setText(0, "hidden name");
        item->setText(1, QString("USBTMC and a rather long interface text %1").arg(i));
        item->setText(2, "x");
        item->setText(3, "y");
    }
    list.setColumnWidth(0, 0);
    for (int c = 1; c < 4; ++c) list.setColumnWidth(c, 5);
    list.resize(600, 300);
    list.show();

    Utility::ListIconAutoSizeColumns(&list, 1, 0);
    EXPECT_EQ(list.columnWidth(0), 0);
    EXPECT_EQ(list.topLevelItemCount(), 3);
    const QFontMetrics metrics(list.font());
    EXPECT_GE(list.columnWidth(1), metrics.horizontalAdvance("USBTMC and a rather long interface text 2"));
    EXPECT_GE(list.columnWidth(2), list.header()->sectionSizeHint(2)); // the title counts
    EXPECT_GT(list.columnWidth(2), metrics.horizontalAdvance("x") + 20);
    EXPECT_TRUE(list.updatesEnabled());

    // A range: only its columns change; a prefix widens the first one.
    list.setColumnWidth(3, 5);
    const int iTwo = list.columnWidth(2);
    Utility::ListIconAutoSizeColumns(&list, 2, 2, "a long prefix text before the title");
    EXPECT_EQ(list.columnWidth(3), 5);
    EXPECT_GE(list.columnWidth(2), iTwo + list.header()->fontMetrics().horizontalAdvance("a long prefix text before the title"));
    Utility::ListIconAutoSizeColumns(nullptr, 0, 0);
}

TEST_F(UtilityGuiTest, WindowIconFromTheInstrumentOrBuiltIn) {
    QMainWindow window;
    Utility::uWindowIcon icon;
    Utility::SetWindowIcon(&window, 0, &icon);
    ASSERT_FALSE(icon.current.isNull());
    EXPECT_EQ(window.windowIcon().cacheKey(), icon.current.cacheKey());
    EXPECT_EQ(icon.current.availableSizes().size(), 6); // the built-in icon file holds six images
    const qint64 iBuiltIn = icon.current.cacheKey();
    // The program's icon, every window's default, is that first built-in icon.
    EXPECT_EQ(Utility::ProgramIcon().availableSizes(), icon.current.availableSizes());
    EXPECT_EQ(Utility::ProgramIcon().pixmap(32).toImage(), icon.current.pixmap(32).toImage());

    // The instrument's icon file replaces it; the first icon goes with its last user.
    const int iSet = IconFile::Begin(-1, "", 0);
    QImage picture(48, 48, QImage::Format_ARGB32);
    picture.fill(qRgba(0, 128, 255, 255));
    ASSERT_TRUE(IconFile::AddImage(iSet, picture, -1));
    icon.mIconFile = IconFile::Build(iSet);
    Utility::SetWindowIcon(&window, 0, &icon);
    EXPECT_NE(icon.current.cacheKey(), iBuiltIn);
    EXPECT_EQ(window.windowIcon().cacheKey(), icon.current.cacheKey());
    EXPECT_EQ(icon.current.availableSizes(), QList<QSize>{QSize(48, 48)});

    // An icon file that does not load changes nothing.
    const qint64 iInstrument = icon.current.cacheKey();
    icon.mIconFile = {1, 2, 3};
    Utility::SetWindowIcon(&window, 0, &icon);
    EXPECT_EQ(icon.current.cacheKey(), iInstrument);

    // An MDI child's frame shows the icon too; the second built-in icon differs from the first.
    QMdiArea area;
    auto* pChild = new QMainWindow;
    QMdiSubWindow* pFrame = area.addSubWindow(pChild);
    Utility::uWindowIcon other;
    other.iBuiltIn = 1;
    Utility::SetWindowIcon(pChild, 1, &other);
    EXPECT_EQ(pFrame->windowIcon().cacheKey(), other.current.cacheKey());
    EXPECT_NE(other.current.pixmap(32).toImage(), QIcon(window.windowIcon()).pixmap(32).toImage());

    Utility::SetWindowIcon(nullptr, 0, &icon);
    Utility::SetWindowIcon(&window, 0, nullptr);
}

} // namespace
