// Escape with a drop-down list or a menu open, on a real X server with a window manager (the
// offscreen platform has neither keyboard grabs nor window activation): it closes the list
// only, and the window stays open; the next Escape acts on the window again. The list is opened
// as a user does, by the mouse or by Alt+Down, and every key and click goes through the server.
#include "SelectTestSupport.h"

#include "app/WindowPreferences.h"
#include "sim/NetNamespace.h"
#include "sim/XDisplay.h"
#include "windows/capture/WaveformChecks.h"
#include "windows/capture/WindowScreenshot.h"
#include "windows/capture/WindowWaveform.h"

#include <functional>

namespace {

using namespace FrameTestSupport;
using SelectTestSupport::SelectTest;

class EscapeOnDisplayTest : public SelectTest {
  protected:
    static void SetUpTestSuite() {
        // The display inside the private network, before the application connects to it.
        // An adapter of its own gives the Network list an entry.
        EnterNetwork();
        if (fNetwork) fNetwork = Sim::AddVethInterface("lab0", "192.168.77.1", 24, sWhyNot);
        if (fNetwork) fDisplay = display.Start(sNoDisplay);
        else sNoDisplay = "no private network namespace: " + sWhyNot;
        if (fDisplay) FrameTest::SetUpTestSuite();
    }
    static void TearDownTestSuite() {
        delete QCoreApplication::instance(); // before the server goes
        display.Stop();
    }
    void SetUp() override {
        if (!fDisplay) GTEST_SKIP() << "No X server with a window manager: " << sNoDisplay;
        SelectTest::SetUp();
        WindowPreferences::RegisterKind();
        WindowScreenshot::RegisterKind();
        WindowWaveform::RegisterKind();
        WaveformChecks::Install();
    }
    static inline Sim::XDisplay display;
    static inline bool fDisplay = false;
    static inline std::string sNoDisplay;
};

// Where the widget lies on the screen, at the point given inside it.
QPoint OnScreen(QWidget* p, QPoint at) { return p->mapToGlobal(at); }

TEST_F(EscapeOnDisplayTest, EscapeClosesTheOpenListOnlyAndThenTheWindow) {
    const int iMain = OpenMain();
    ASSERT_NE(iMain, 0);
    QWidget* pMain = Record(iMain)->pFrame;
    pMain->setGeometry(40, 60, 1000, 800);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(pMain));
    const int iList = ListOf(iMain);
    ASSERT_NE(iList, 0);
    ASSERT_TRUE(WaitForSearch(iList));

    enum eWay { Mouse, AltDown, RightButton };
    struct uRow {
        const char* sName;
        std::function<int()> open;           // opens (or finds) the window; its number
        std::function<QWidget*(int)> gadget; // the gadget whose list or menu opens
        eWay way;
        bool fEscapeCloses; // the window's own Escape closes it (else it is "Cancel")
    };
    const auto page = [&](int iPage) {
        return [&, iPage] {
            const int i = ListOf(iMain) ? ListOf(iMain) : (Choose(iMain, WindowStart::MenuSelect), Settle(), ListOf(iMain));
            if (i) Gadget<QTabWidget>(i)->setCurrentIndex(iPage);
            Settle();
            return i;
        };
    };
    const auto child = [&](int iKind) {
        return [&, iKind] {
            if (ChildrenOf(iMain, iKind).empty()) {
                if (iKind == WindowKindPreferences) Choose(iMain, WindowStart::MenuPreferences);
                else WindowStart::OpenChildByKind(iMain, iKind, 1);
                Settle();
            }
            const auto found = ChildrenOf(iMain, iKind);
            return found.empty() ? 0 : found[0].iWindow;
        };
    };
    const auto combo = [&](int iPage, int iIndex) { return [&, iPage, iIndex](int i) -> QWidget* { return Combo(i, iPage, iIndex); }; };
    const auto firstCombo = [](int i) -> QWidget* {
        for (QComboBox* p : ChildWindow::Find(i)->findChildren<QComboBox*>()) {
            if (p->isVisible()) return p;
        }
        return nullptr;
    };
    const auto timeoutField = [](int i) -> QWidget* {
        WindowPreferences::uWindowPreferences* p = nullptr;
        if (!WindowPreferences::FindInstance(i, &p)) return nullptr;
        p->pTree->setCurrentItem(p->pTree->topLevelItem(1));
        Settle();
        return p->mTimeout[0];
    };
    const uRow rows[] = {
        {"Select Instrument, the Network list by the mouse", page(2), combo(2, 0), Mouse, true},
        {"Select Instrument, the maker list by the mouse", page(2), combo(2, 1), Mouse, true},
        {"Select Instrument, the model list by Alt+Down", page(2), combo(2, 2), AltDown, true},
        {"Select Instrument, the serial speed list by the mouse", page(3), combo(3, 3), Mouse, true},
        {"Select Instrument, the serial model list by Alt+Down", page(3), combo(3, 2), AltDown, true},
        {"waveform window, its first list by the mouse", child(WindowKindWaveform), firstCombo, Mouse, false},
        {"screenshot window, its first list by Alt+Down", child(WindowKindScreenshot), firstCombo, AltDown, false},
        {"Preferences, a time-out field's menu by the right button", child(WindowKindPreferences), timeoutField,
         RightButton, true},
    };
    for (const uRow& row : rows) {
        SCOPED_TRACE(row.sName);
        const int iWindow = row.open();
        ASSERT_NE(iWindow, 0);
        QWidget* pGadget = row.gadget(iWindow);
        ASSERT_NE(pGadget, nullptr);
        // The window has the keys (the window manager says so) before the list opens.
        pGadget->window()->activateWindow();
        pGadget->setFocus();
        ASSERT_TRUE(WaitFor([&] { return pGadget->window()->isActiveWindow() && pGadget->hasFocus(); }));
        if (row.way == AltDown) {
            ASSERT_TRUE(Sim::XDisplay::Key("alt+Down"));
        } else {
            const QPoint at = OnScreen(pGadget, QPoint(pGadget->width() - 8, pGadget->height() / 2));
            ASSERT_TRUE(Sim::XDisplay::Click(at.x(), at.y(), row.way == RightButton ? 3 : 1));
        }
        ASSERT_TRUE(WaitFor([] { return QApplication::activePopupWidget() != nullptr; }));
        // A capture window's Escape presses its "Cancel" (made pressable here to be counted).
        int iCancels = 0;
        if (!row.fEscapeCloses) {
            QPushButton* pCancel = Gadget<QPushButton>(iWindow, "Cancel");
            ASSERT_NE(pCancel, nullptr);
            pCancel->setEnabled(true);
            QObject::connect(pCancel, &QPushButton::clicked, pCancel, [&] { ++iCancels; });
        }
        ASSERT_TRUE(Sim::XDisplay::Key("Escape"));
        ASSERT_TRUE(WaitFor([] { return QApplication::activePopupWidget() == nullptr; }));
        WaitFor([] { return false; }, 300); // what the key may still have set off
        EXPECT_TRUE(ChildWindow::Find(iWindow)) << "Escape closed the window, not only its list";
        EXPECT_EQ(iCancels, 0) << "Escape cancelled in the window, besides closing its list";
        if (!ChildWindow::Find(iWindow)) continue;
        // The list is closed: Escape acts on the window again, once the window has the keys back.
        ASSERT_TRUE(WaitFor([&] { return pGadget->window()->isActiveWindow(); }));
        ASSERT_TRUE(Sim::XDisplay::Key("Escape"));
        if (row.fEscapeCloses) {
            EXPECT_TRUE(WaitFor([&] { return !ChildWindow::Find(iWindow); })) << "the second Escape left the window open";
        } else {
            EXPECT_TRUE(WaitFor([&] { return iCancels == 1; })) << "the second Escape did not cancel";
        }
        Settle();
    }
}

} // namespace
