// Shared by the selection-window tests: the real main window opens the real selection window in
// its MDI area (which searches at once), in a private network made by the test process, with a
// simulated USB bus and a serial port tree of the test's own; and the window's gadgets by name.
#pragma once

#include "app/FrameTestSupport.h"
#include "sim/SimUsb.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QRadioButton>
#include <QStandardItemModel>
#include <QTabWidget>
#include <QTreeView>
#include <QTreeWidget>

#include <string>
#include <vector>

namespace SelectTestSupport {

class SelectTest : public FrameTestSupport::FrameTest {
  protected:
    // The private network: a test suite calls it (or makes a LanNetwork) before any thread.
    static void EnterNetwork();
    static inline bool fNetwork = false;
    static inline std::string sWhyNot;

    void SetUp() override;
    void TearDown() override;

    // Opens a main window; its selection window opens and starts its first search. Returns the
    // selection window (0 when none opened).
    int OpenWithList();
    // The selection window of the main window, 0 when none.
    int ListOf(int iMain) const;
    // Waits until the list's search ended and its refill ran.
    bool WaitForSearch(int iList, int iMs = 30000);
    // Ends the search (if any) and lets everything settle.
    void StopSearch();

    // The gadgets of the open window.
    template <class T> T* Gadget(int iList, const QString& sText = {}) const {
        for (T* p : ChildWindow::Find(iList)->findChildren<T*>()) {
            if (sText.isEmpty()) return p;
            if constexpr (requires { p->text(); }) {
                if (p->text() == sText) return p;
            }
        }
        return nullptr;
    }
    QTreeView* Report(int iList) const;
    QListView* Icons(int iList) const;
    QStandardItemModel* Model(int iList) const;
    // The adapter list, the manual LAN list and the manual serial list.
    QTreeWidget* AdapterList(int iList) const;
    QTreeWidget* LanList(int iList) const;
    QTreeWidget* SerialList(int iList) const;
    // The combos of a page by their place: page 2 (LAN) 0 adapter, 1 maker, 2 model; page 3
    // (serial) 0 port, 1 maker, 2 model, 3 speed, 4 data bits, 5 stop bits, 6 parity, 7 flow.
    QComboBox* Combo(int iList, int iPage, int iIndex) const;
    QLineEdit* Field(int iList, int iIndex) const; // LAN page: 0 IP, 1 RPC, 2 VXI-11, 3 IP port
    QPushButton* PageButton(int iList, int iPage, const QString& sText) const;
    std::string StatusText(int iList) const;
    // The status field's tool tip: the whole text, which a narrow window cuts off.
    std::string StatusTip(int iList) const;
    // Whether the status field shows its text whole.
    bool StatusFits(int iList) const;
    // The rows of the instrument list, each column followed by "|".
    std::vector<std::string> Rows(int iList) const;
    // The keys of a config.ini group as "key=value", in order.
    static std::vector<std::string> Keys(const char* sGroup);
    // Presses a button (or clicks a check box) and lets the events run.
    void Click(QAbstractButton* pButton);

    SimUsb::Bus bus;
    QTemporaryDir ttyTree;
};

} // namespace SelectTestSupport
