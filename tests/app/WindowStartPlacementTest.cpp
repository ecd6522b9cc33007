// Where a main window opens, on an offscreen screen larger than the window.
#include "app/FrameTestSupport.h"

#include <QScreen>

#include <cstdlib>

namespace {

using namespace FrameTestSupport;

class WindowStartPlacementTest : public FrameTest {
  protected:
    static void SetUpTestSuite() {
        static QTemporaryDir screenDir;
        const QString sPath = screenDir.filePath("screens.json");
        QFile f(sPath);
        if (f.open(QIODevice::WriteOnly)) {
            f.write(R"({"windowFrameMargins": false, "screens": [{"name": "Large", "x": 0, "y": 0,
                "width": 1600, "height": 1000, "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})");
        }
        f.close();
        ::setenv("QT_QPA_PLATFORM", ("offscreen:configfile=" + sPath).toUtf8().constData(), 1);
        TestApplication::Ensure();
    }
};

TEST_F(WindowStartPlacementTest, AFirstWindowIsCentredAndTheNextOpensWhereTheLastClosed) {
    ASSERT_EQ(QGuiApplication::primaryScreen()->geometry(), QRect(0, 0, 1600, 1000));
    int iMain = OpenMain();
    QWidget* pFrame = Record(iMain)->pFrame;
    EXPECT_EQ(pFrame->size(), QSize(800, 600));
    EXPECT_EQ(pFrame->frameGeometry().center(), QGuiApplication::primaryScreen()->availableGeometry().center());
    // Its instrument list is an MDI child at once.
    ASSERT_EQ(ChildrenOf(iMain, WindowKindSelectInstrument).size(), 1u);
    EXPECT_EQ(ChildrenOf(iMain, WindowKindSelectInstrument)[0].fMdi, 1);

    pFrame->setGeometry(120, 90, 700, 500);
    pFrame->showMaximized();
    ASSERT_TRUE(WaitFor([&] { return pFrame->isMaximized(); }));
    EventHub::PostEvent(EventCloseWindowRequest, iMain);
    ASSERT_TRUE(WaitFor([&] { return !Record(iMain); }));
    const std::string sSaved = ReadConfigValue("Window", "WindowStartPosition");
    EXPECT_EQ(sSaved.substr(0, 7), "120,90,") << sSaved;
    EXPECT_EQ(sSaved.substr(sSaved.size() - 9), ",16777216") << sSaved;

    iMain = OpenMain();
    pFrame = Record(iMain)->pFrame;
    EXPECT_TRUE(WaitFor([&] { return pFrame->isMaximized(); }));
    EXPECT_EQ(pFrame->normalGeometry(), QRect(120, 90, 700, 500));
    EXPECT_EQ(ChildrenOf(iMain, WindowKindSelectInstrument).size(), 1u);
}

// "New Window" while main windows are open: each new one opens a step right of and below the
// place it would share with an open one, never exactly on top of it.
TEST_F(WindowStartPlacementTest, ANewWindowIsOffsetFromTheOpenOnes) {
    std::vector<QPoint> mPlaces;
    for (int i = 0; i < 3; ++i) {
        const int iMain = OpenMain();
        mPlaces.push_back(Record(iMain)->pFrame->pos());
        EXPECT_EQ(Record(iMain)->pFrame->size(), QSize(800, 600));
    }
    const QPoint step = mPlaces[1] - mPlaces[0];
    EXPECT_GE(step.x(), 20);
    EXPECT_EQ(step.x(), step.y());
    EXPECT_EQ(mPlaces[2] - mPlaces[1], step);
    for (const QPoint& place : mPlaces) {
        EXPECT_TRUE(QGuiApplication::primaryScreen()->availableGeometry().contains(QRect(place, QSize(800, 600))));
    }
}

} // namespace
