#include "SelectTestSupport.h"

#include "common/WindowLog.h"
#include "platform/WindowRegistry.h"
#include "instrument/Instrument.h"
#include "instrument/InstrumentSearch.h"
#include "sim/NetNamespace.h"
#include "transport/SerialPorts.h"
#include "windows/select/WindowSelectInstrument.h"

#include <QStatusBar>

#include <chrono>

namespace SelectTestSupport {

using namespace FrameTestSupport;

void SelectTest::EnterNetwork() { fNetwork = Sim::EnterPrivateNetwork(sWhyNot); }

void SelectTest::SetUp() {
    // The window searches as soon as it opens: never outside a network of the test's own.
    if (!fNetwork) GTEST_SKIP() << "No private network namespace: " << sWhyNot;
    FrameTest::SetUp();
    WindowLog::Create();
    WindowLog::Clear(0); // each test reads the lines of its own windows only, in any order
    std::string sError;
    ASSERT_TRUE(Instrument::InitModuleInstrument(sError)) << sError;
    Instrument::ReleaseAll(true, 0, sError);
    WindowSelectInstrument::RegisterKind();
    // No serial port of the machine: an empty class folder unless a test adds one.
    SerialPorts::SetRoots(ttyTree.path().toStdString(), "/dev/pts");
    bus.Install();
}

void SelectTest::TearDown() {
    if (!fNetwork) return;
    StopSearch();
    FrameTest::TearDown();
    std::string sError;
    Instrument::ReleaseAll(true, 0, sError);
    bus.Uninstall();
    SerialPorts::SetRoots("", "");
}

void SelectTest::StopSearch() {
    std::string sError;
    InstrumentSearch::StopSearch(std::chrono::milliseconds(10000), sError);
    Settle();
}

int SelectTest::OpenWithList() {
    const int iMain = OpenMain();
    return iMain ? ListOf(iMain) : 0;
}

int SelectTest::ListOf(int iMain) const {
    for (const auto& c : WindowStart::Children()) {
        if (c.iOwner == iMain && c.iKind == WindowKindSelectInstrument && ChildWindow::Find(c.iWindow)) return c.iWindow;
    }
    return 0;
}

bool SelectTest::WaitForSearch(int iList, int iMs) {
    // The search has run once its end armed the refill and the refill ran.
    return WaitFor(
        [&] {
            return !InstrumentSearch::IsRunning() && !WindowRegistry::TimerActive(iList, 5) &&
                   !WindowRegistry::TimerActive(iList, 6) && EventHub::Pending() == 0 && !StatusText(iList).empty();
        },
        iMs);
}

QTreeView* SelectTest::Report(int iList) const {
    for (QTreeView* p : ChildWindow::Find(iList)->findChildren<QTreeView*>()) {
        if (!qobject_cast<QTreeWidget*>(p)) return p;
    }
    return nullptr;
}

QListView* SelectTest::Icons(int iList) const {
    // The icon view shares the report's stack (the combos hold list views of their own).
    for (QListView* p : Report(iList)->parentWidget()->findChildren<QListView*>(Qt::FindDirectChildrenOnly)) return p;
    return nullptr;
}

QStandardItemModel* SelectTest::Model(int iList) const { return qobject_cast<QStandardItemModel*>(Report(iList)->model()); }

QTreeWidget* SelectTest::AdapterList(int iList) const {
    return Gadget<QTabWidget>(iList)->widget(1)->findChild<QTreeWidget*>();
}
QTreeWidget* SelectTest::LanList(int iList) const { return Gadget<QTabWidget>(iList)->widget(2)->findChild<QTreeWidget*>(); }
QTreeWidget* SelectTest::SerialList(int iList) const {
    return Gadget<QTabWidget>(iList)->widget(3)->findChild<QTreeWidget*>();
}

QComboBox* SelectTest::Combo(int iList, int iPage, int iIndex) const {
    const auto combos = Gadget<QTabWidget>(iList)->widget(iPage)->findChildren<QComboBox*>(Qt::FindDirectChildrenOnly);
    return iIndex < combos.size() ? combos[iIndex] : nullptr;
}

QLineEdit* SelectTest::Field(int iList, int iIndex) const {
    QList<QLineEdit*> fields;
    for (QLineEdit* p : Gadget<QTabWidget>(iList)->widget(2)->findChildren<QLineEdit*>(Qt::FindDirectChildrenOnly)) fields << p;
    return iIndex < fields.size() ? fields[iIndex] : nullptr;
}

QPushButton* SelectTest::PageButton(int iList, int iPage, const QString& sText) const {
    for (QPushButton* p : Gadget<QTabWidget>(iList)->widget(iPage)->findChildren<QPushButton*>()) {
        if (p->text() == sText) return p;
    }
    return nullptr;
}

std::string SelectTest::StatusText(int iList) const {
    WindowFrame* pFrame = ChildWindow::Find(iList);
    if (!pFrame) return "";
    QLabel* pLabel = pFrame->statusBar()->findChild<QLabel*>();
    return pLabel ? pLabel->text().toStdString() : "";
}

std::string SelectTest::StatusTip(int iList) const {
    WindowFrame* pFrame = ChildWindow::Find(iList);
    QLabel* pLabel = pFrame ? pFrame->statusBar()->findChild<QLabel*>() : nullptr;
    return pLabel ? TestApplication::ToolTip(pLabel) : "";
}

bool SelectTest::StatusFits(int iList) const {
    WindowFrame* pFrame = ChildWindow::Find(iList);
    QLabel* pLabel = pFrame ? pFrame->statusBar()->findChild<QLabel*>() : nullptr;
    return pLabel && pLabel->width() >= pLabel->sizeHint().width();
}

std::vector<std::string> SelectTest::Rows(int iList) const {
    std::vector<std::string> rows;
    QStandardItemModel* pModel = Model(iList);
    for (int r = 0; r < pModel->rowCount(); ++r) {
        std::string s;
        for (int c = 0; c < pModel->columnCount(); ++c) s += pModel->item(r, c)->text().toStdString() + "|";
        rows.push_back(s);
    }
    return rows;
}

std::vector<std::string> SelectTest::Keys(const char* sGroup) {
    std::vector<std::string> keys;
    uIni* pIni = Main::ConfigIni();
    Ini::SelectSection(pIni, sGroup);
    const int n = Ini::ExamineKeys(pIni);
    for (int i = 0; i < n && Ini::NextKey(pIni); ++i) keys.push_back(Ini::KeyName(pIni) + "=" + Ini::KeyValue(pIni));
    return keys;
}

void SelectTest::Click(QAbstractButton* pButton) {
    ASSERT_NE(pButton, nullptr);
    pButton->click();
    Settle();
}

} // namespace SelectTestSupport
