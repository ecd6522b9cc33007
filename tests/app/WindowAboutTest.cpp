// The About box opened from the real windows' menus and closed by its button, keys and close box.
#include "app/FrameTestSupport.h"
#include "app/WindowAbout.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>

namespace {

using namespace FrameTestSupport;

class WindowAboutTest : public FrameTest {
  protected:
    void TearDown() override {
        WindowAbout::Close();
        FrameTest::TearDown();
    }
    static WindowFrame* Box() {
        for (QWidget* p : QApplication::topLevelWidgets()) {
            auto* pFrame = qobject_cast<WindowFrame*>(p);
            if (pFrame && pFrame->Window() == WindowAbout::Window() && WindowAbout::Window() != 0) return pFrame;
        }
        return nullptr;
    }
};

TEST_F(WindowAboutTest, OneBoxForTheProcessThatStaysWhereItIs) {
    const int iMain = OpenMain();
    Choose(iMain, WindowStart::MenuAbout);
    WindowFrame* pBox = Box();
    ASSERT_NE(pBox, nullptr);
    EXPECT_EQ(pBox->windowTitle().toStdString(), "About...");
    EXPECT_EQ(pBox->size(), QSize(440, 460));
    EXPECT_EQ(pBox->parentWidget(), Record(iMain)->pFrame.data());
    // Centred over its owner (the frame's decoration is known only once it is shown).
    EXPECT_LE((pBox->frameGeometry().center() - Record(iMain)->pFrame->frameGeometry().center()).manhattanLength(), 4);
    auto* pOk = pBox->findChild<QPushButton*>("OK");
    ASSERT_NE(pOk, nullptr);
    EXPECT_TRUE(pOk->hasFocus());
    EXPECT_EQ(pOk->geometry(), QRect(160, 425, 100, 25));
    auto* pPicture = pBox->findChild<QLabel*>("Picture");
    ASSERT_NE(pPicture, nullptr);
    EXPECT_EQ(pPicture->geometry(), QRect(10, 10, 420, 110));

    // From a separate child of another main window: the same box, not moved.
    const int iSecond = OpenMain();
    Record(iSecond)->pFrame->move(300, 200);
    Choose(iSecond, WindowStart::MenuScreenshot, true);
    const int iShot = ChildrenOf(iSecond, WindowKindScreenshot).at(0).iWindow;
    const QPoint place = pBox->pos();
    EXPECT_EQ(WindowAbout::Open(iShot), pBox->Window());
    Choose(iSecond, WindowStart::MenuAbout);
    EXPECT_EQ(Box(), pBox);
    EXPECT_EQ(pBox->pos(), place);
}

TEST_F(WindowAboutTest, TheItemOfASeparateChildOpensIt) {
    const int iMain = OpenMain();
    Choose(iMain, WindowStart::MenuScreenshot, true);
    const int iShot = ChildrenOf(iMain, WindowKindScreenshot).at(0).iWindow;
    EventHub::PostEvent(EventMenu, iShot, WindowStart::MenuAbout);
    EventHub::Pump();
    ASSERT_NE(Box(), nullptr);
    EXPECT_EQ(Box()->parentWidget(), ChildWindow::Find(iShot));
}

TEST_F(WindowAboutTest, TheTextNamesTheProgramItsBuildAuthorCompilerAndComponents) {
    const std::string sText = WindowAbout::Text();
    // One pattern per line; "" is an empty line. Each component: its name, then its address.
    const std::vector<const char*> lines = {
        "", "Orvanto v0\\.1\\.0 \\(Alpha\\)", "\\d{4}-\\d{2}-\\d{2} \\(64 Bit\\)", "",
        "Author : \\S.+", "",
        "Compiled with (GCC|Clang) \\d+\\.\\d+\\.\\d+", "https://(gcc\\.gnu|clang\\.llvm)\\.org", "",
        "used:", "",
        "libusb-1\\.0:", "https://libusb\\.info", "",
        "Scintilla:", "https://www\\.scintilla\\.org", "Qt port QScintilla from Riverbank Computing", "",
        "Qt 6 and its image plug-ins from The Qt Company:", "https://www\\.qt\\.io", "",
        "libtirpc from the Linux NFS project:", "https://sourceforge\\.net/projects/libtirpc/"};
    const QStringList actual = QString::fromStdString(sText).split('\n');
    ASSERT_EQ(actual.size(), static_cast<qsizetype>(lines.size())) << sText;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const QRegularExpression pattern(QRegularExpression::anchoredPattern(lines[i]));
        EXPECT_TRUE(pattern.match(actual[static_cast<qsizetype>(i)]).hasMatch()) << "line " << i + 1 << ": " << sText;
    }
    EXPECT_EQ(sText.find('%'), std::string::npos) << "a placeholder was left";
    EXPECT_EQ(sText.find("[####]"), std::string::npos);
    const int iMain = OpenMain();
    WindowAbout::Open(iMain);
    auto* pEditor = Box()->findChild<QPlainTextEdit*>("Text");
    ASSERT_NE(pEditor, nullptr);
    EXPECT_TRUE(pEditor->isReadOnly());
    EXPECT_EQ(pEditor->toPlainText().toStdString(), sText);
    EXPECT_EQ(pEditor->geometry(), QRect(10, 130, 420, 285));
}

TEST_F(WindowAboutTest, OkCloseBoxEscapeAndReturnWithTheFocusInTheTextCloseIt) {
    const int iMain = OpenMain();
    for (int iWay = 0; iWay < 5; ++iWay) {
        SCOPED_TRACE(iWay);
        ASSERT_NE(WindowAbout::Open(iMain), 0);
        WindowFrame* pBox = Box();
        ASSERT_NE(pBox, nullptr);
        pBox->activateWindow();
        ASSERT_TRUE(WaitFor([pBox] { return pBox->isActiveWindow(); }));
        auto* pEditor = pBox->findChild<QPlainTextEdit*>("Text");
        switch (iWay) {
        case 0: QTest::mouseClick(pBox->findChild<QPushButton*>("OK"), Qt::LeftButton); break;
        case 1: pBox->close(); break;
        case 2: QTest::keyClick(pEditor, Qt::Key_Escape); break;
        case 3:
            pEditor->setFocus();
            QTest::keyClick(pEditor, Qt::Key_Return);
            break;
        default:
            pEditor->setFocus();
            QTest::keyClick(pEditor, Qt::Key_Enter);
            break;
        }
        Settle();
        EXPECT_EQ(WindowAbout::Window(), 0);
        EXPECT_EQ(Box(), nullptr);
    }
}

TEST_F(WindowAboutTest, ABoxWhoseOwnerWentCanBeOpenedAgain) {
    const int iMain = OpenMain();
    const int iSecond = OpenMain();
    const int iFirstBox = WindowAbout::Open(iSecond);
    ASSERT_NE(iFirstBox, 0);
    EventHub::PostEvent(EventCloseWindowRequest, iSecond);
    ASSERT_TRUE(WaitFor([&] { return !Record(iSecond); }));
    Settle();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(WindowAbout::Window(), 0);
    const int iAgain = WindowAbout::Open(iMain);
    EXPECT_NE(iAgain, 0);
    EXPECT_NE(iAgain, iFirstBox);
    EXPECT_EQ(Box()->parentWidget(), Record(iMain)->pFrame.data());
}

struct uDateCase {
    const char* sCompiler;
    const char* sDate;
};

TEST(WindowAboutDate, TheCompilerDateBecomesIsoOrNothing) {
    for (const uDateCase& c : {uDateCase{"Jan  1 2025", "2025-01-01"}, uDateCase{"Dec 31 1999", "1999-12-31"},
                               uDateCase{"Sep 09 2024", "2024-09-09"}, uDateCase{"Foo 12 2020", ""},
                               uDateCase{"Jan 1 2025", ""}, uDateCase{"Jan xx 2025", ""}, uDateCase{"", ""}}) {
        EXPECT_EQ(WindowAbout::BuildDate(c.sCompiler), c.sDate) << c.sCompiler;
    }
    EXPECT_EQ(WindowAbout::BuildDate(nullptr), "");
}

} // namespace
