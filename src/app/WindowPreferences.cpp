#include "app/WindowPreferences.h"

#include "app/ChildWindow.h"
#include "app/Main.h"
#include "app/OwnedWindow.h"
#include "app/Window.h"
#include "app/WindowKinds.h"
#include "app/WindowStart.h"
#include "common/Ini.h"
#include "common/UtilityGui.h"
#include "platform/EventHub.h"
#include "platform/ProgramEvents.h"
#include "platform/WindowFrame.h"

#include <QCheckBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QStatusBar>
#include <QTreeWidget>

#include <charconv>
#include <map>
#include <memory>

namespace WindowPreferences {
namespace {

// Gadgets whose events the window handles.
enum eGadget : int {
    GadgetTree = 1,
    GadgetOk,
    GadgetCancel,
    GadgetToolBarLarge,
    GadgetTimeoutFirst, // + index of TimeoutKey
};

constexpr int DefaultWidth = 600;
constexpr int DefaultHeight = 450;
constexpr const char* SectionName[SectionCount] = {"General", "Shortcuts", "Instrument"};
constexpr int TimeoutDefault[TimeoutCount] = {5000, 5000, 2000, 2000};
constexpr const char* TimeoutLabel[TimeoutCount] = {"USBTCM - Waiting time until the instrument responds:",
                                                     "LXI - Waiting time until the instrument responds:",
                                                     "Raw-TCP - Waiting time until the instrument responds:",
                                                     "Serial - Waiting time until the instrument responds:"};
constexpr std::int64_t TimeoutMaximum = 3600000;
// Label, field and the two lines for a refusal under it.
constexpr int TimeoutRowHeight = 85;
constexpr int TimeoutReasonHeight = 32;

// The open preferences windows by window number; GUI thread only.
std::map<int, std::unique_ptr<uWindowPreferences>> mWindowPreferences;
std::int64_t iCreationCounter = 0;

void SetStatus(uWindowPreferences& w, const QString& sText) {
    Utility::SetStatusText(w.pStatusText, sText);
}

// The height b of the status bar, which the layout subtracts.
int StatusHeight(const uWindowPreferences& w) { return w.pStatusBar ? w.pStatusBar->sizeHint().height() : 0; }

// The tree's items in display order: General, Shortcuts (its child), Instrument.
QTreeWidgetItem* TreeItem(QTreeWidget* pTree, int iIndex) {
    int i = 0;
    for (QTreeWidgetItemIterator it(pTree); *it; ++it, ++i) {
        if (i == iIndex) return *it;
    }
    return nullptr;
}

int TreeIndex(QTreeWidget* pTree, const QTreeWidgetItem* pItem) {
    int i = 0;
    for (QTreeWidgetItemIterator it(pTree); *it; ++it, ++i) {
        if (*it == pItem) return i;
    }
    return -1;
}

int TreeCount(QTreeWidget* pTree) {
    int i = 0;
    for (QTreeWidgetItemIterator it(pTree); *it; ++it) ++i;
    return i;
}

void GadgetEvent(int iWindow, int iGadget);

QPushButton* MakeButton(QWidget* pParent, const QString& sText, int iRight, int y) {
    auto* pButton = new QPushButton(sText, pParent);
    const int iWidth = std::max(90, QFontMetrics(pButton->font()).horizontalAdvance(sText));
    pButton->setGeometry(iRight - iWidth, y, iWidth, 25);
    return pButton;
}

QWidget* BuildPage(uWindowPreferences& w, int iSection) {
    QWidget* pCentral = w.pFrame->centralWidget();
    const int b = StatusHeight(w);
    auto* pPage = new QWidget(pCentral);
    pPage->setGeometry(220, 0, 380, 410 - b);
    auto* pFrame = new QGroupBox(SectionName[iSection], pPage);
    pFrame->setGeometry(10, 10, 360, 395 - b);
    w.mPage[iSection] = pPage;
    w.mFrame[iSection] = pFrame;
    const int iWindow = w.iWindow;
    if (iSection == SectionGeneral) {
        auto* pBox = new QCheckBox("Show large toolbar.", pFrame);
        pBox->setObjectName("ToolBarLarge");
        pBox->setGeometry(20, 30, 340, 25);
        if (uIni* pIni = Main::ConfigIni()) {
            Ini::SelectSection(pIni, "General");
            pBox->setChecked(Ini::ReadBool(pIni, "ToolBarLarge", 0) != 0);
        }
        QObject::connect(pBox, &QCheckBox::stateChanged, pBox, [iWindow](int) { GadgetEvent(iWindow, GadgetToolBarLarge); });
        w.pToolBarLarge = pBox;
    } else if (iSection == SectionInstrument) {
        uIni* pIni = Main::ConfigIni();
        Ini::SelectSection(pIni, "Instrument");
        // Each row leaves room under its field for the reason a text is refused.
        for (int i = 0; i < TimeoutCount; ++i) {
            const int y = 30 + i * TimeoutRowHeight;
            auto* pLabel = new QLabel(TimeoutLabel[i], pFrame);
            pLabel->setGeometry(20, y, 340, 25);
            auto* pField = new QLineEdit(QString::number(Ini::ReadInteger(pIni, TimeoutKey[i], TimeoutDefault[i])), pFrame);
            pField->setObjectName(TimeoutKey[i]);
            pField->setGeometry(20, y + 25, 90, 25);
            auto* pUnit = new QLabel("Milliseconds", pFrame);
            pUnit->setGeometry(120, y + 25, 240, 25);
            QObject::connect(pField, &QLineEdit::textChanged, pField,
                             [iWindow, i](const QString&) { GadgetEvent(iWindow, GadgetTimeoutFirst + i); });
            // The reason wraps where the font makes it wider than the page.
            auto* pReason = new QLabel(pFrame);
            pReason->setWordWrap(true);
            pReason->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            pReason->setGeometry(20, y + 50, 330, TimeoutReasonHeight);
            pReason->setStyleSheet("color: #c00000;");
            pReason->hide();
            w.mTimeout[i] = pField;
            w.mTimeoutReason[i] = pReason;
        }
    }
    return pPage;
}

// Every edit applies at "OK" (none waits for a restart); the status line says how.
void RecordChange(uWindowPreferences& w, uPreferenceChange change, const char* sApplies) {
    w.mChange.push_back(std::move(change));
    SetStatus(w, sApplies);
}

// Checks the time-out field's text and shows or hides the reason under it; true when valid.
bool CheckTimeoutField(uWindowPreferences& w, int i, std::int64_t& iValue) {
    if (!w.mTimeout[i]) return true;
    const bool fValid = ParseTimeout(w.mTimeout[i]->text().toStdString(), iValue);
    if (QLabel* pReason = w.mTimeoutReason[i]) {
        pReason->setText(fValid ? QString() : QString(TextTimeoutReason));
        pReason->setVisible(!fValid);
    }
    if (!fValid) SetStatus(w, TextBadTimeout);
    return fValid;
}

// "OK": nothing is applied while a field holds a refused text; the first such field gets the
// focus, and the window stays open.
bool AllTimeoutsValid(uWindowPreferences& w) {
    QLineEdit* pFirst = nullptr;
    for (int i = 0; i < TimeoutCount; ++i) {
        std::int64_t iIgnored = 0;
        if (!CheckTimeoutField(w, i, iIgnored) && !pFirst) pFirst = w.mTimeout[i];
    }
    if (pFirst) pFirst->setFocus();
    return pFirst == nullptr;
}

void GadgetEvent(int iWindow, int iGadget) {
    uWindowPreferences* p = nullptr;
    if (!FindInstance(iWindow, &p)) return;
    uWindowPreferences& w = *p;
    switch (iGadget) {
    case GadgetTree: ShowSection(iWindow, false); return;
    case GadgetOk:
        if (!AllTimeoutsValid(w)) return;
        ApplyChanges(iWindow);
        Close(iWindow, 0);
        return;
    case GadgetCancel: Close(iWindow, 0); return;
    default: break;
    }
    const int iSection = w.pTree ? TreeIndex(w.pTree, w.pTree->currentItem()) : -1;
    if (iSection == SectionGeneral && iGadget == GadgetToolBarLarge && w.pToolBarLarge) {
        uPreferenceChange change;
        change.sGroup = "General";
        change.sKey = "ToolBarLarge";
        change.iType = PreferenceFlag;
        change.fFlag = w.pToolBarLarge->isChecked() ? 1 : 0;
        RecordChange(w, std::move(change), TextToolBarApplies);
    } else if (iSection == SectionInstrument && iGadget >= GadgetTimeoutFirst &&
               iGadget < GadgetTimeoutFirst + TimeoutCount) {
        const int i = iGadget - GadgetTimeoutFirst;
        if (!w.mTimeout[i]) return;
        // A waiting time of 0 or less would make every answer time out: such text is not
        // recorded, and "OK" refuses to close while it stands.
        std::int64_t iValue = 0;
        if (!CheckTimeoutField(w, i, iValue)) return;
        uPreferenceChange change;
        change.sGroup = "Instrument";
        change.sKey = TimeoutKey[i];
        change.iType = PreferenceNumber;
        change.iNumber = iValue;
        RecordChange(w, std::move(change), TextTimeoutApplies);
    }
}

void MenuItem(int iWindow, int iItem) {
    if (iItem == MenuEscape) Close(iWindow, 0);
    // Return (268) is taken so that it does nothing in the window.
}

} // namespace

bool ParseTimeout(const std::string& sText, std::int64_t& iValue) {
    const auto first = sText.find_first_not_of(" \t");
    if (first == std::string::npos) return false;
    const auto last = sText.find_last_not_of(" \t");
    const char* pBegin = sText.data() + first;
    const char* pEnd = sText.data() + last + 1;
    if (*pBegin < '0' || *pBegin > '9') return false; // no sign
    std::int64_t iParsed = 0;
    const auto [pStop, iError] = std::from_chars(pBegin, pEnd, iParsed);
    if (iError != std::errc() || pStop != pEnd || iParsed < 1 || iParsed > TimeoutMaximum) return false;
    iValue = iParsed;
    return true;
}

void WriteChange(uIni* pIni, const uPreferenceChange& c) {
    if (!pIni) return;
    Ini::SelectSection(pIni, c.sGroup);
    switch (c.iType) {
    case PreferenceText: Ini::WriteString(pIni, c.sKey, c.sText); break;
    case PreferenceFlag: Ini::WriteBool(pIni, c.sKey, c.fFlag); break;
    case PreferenceNumber: Ini::WriteNumberAs(pIni, c.sKey, c.iNumber, 0); break;
    case PreferenceLong: Ini::WriteLong(pIni, c.sKey, c.lLong); break;
    case PreferenceDouble: Ini::WriteDouble(pIni, c.sKey, c.dDouble, -1); break;
    case PreferenceQuad: Ini::WriteInteger(pIni, c.sKey, c.qQuad); break;
    case PreferenceFloat: Ini::WriteFloat(pIni, c.sKey, c.fFloat, -1); break;
    default: break;
    }
}

bool FindInstance(int iWindow, uWindowPreferences** ppWindow) {
    const auto it = mWindowPreferences.find(iWindow);
    if (it == mWindowPreferences.end()) return false;
    if (ppWindow) *ppWindow = it->second.get();
    return true;
}

void ShowSection(int iWindow, bool fRestore) {
    uWindowPreferences* p = nullptr;
    if (!FindInstance(iWindow, &p) || !p->pTree) return;
    uWindowPreferences& w = *p;
    const int iCount = TreeCount(w.pTree);
    uIni* pIni = Main::ConfigIni();
    if (fRestore) {
        Ini::SelectSection(pIni, "General");
        std::int64_t iRecent = Ini::ReadInteger(pIni, "PreferencesRecent", -1);
        if (iRecent < 0 || iRecent >= iCount) iRecent = 0;
        const QSignalBlocker quiet(w.pTree);
        w.pTree->setCurrentItem(TreeItem(w.pTree, static_cast<int>(iRecent)));
    }
    const int iIndex = TreeIndex(w.pTree, w.pTree->currentItem());
    if (iIndex < 0 || iIndex >= iCount || iIndex >= SectionCount) return;
    if (w.pCurrentPage) w.pCurrentPage->hide();
    QWidget* pPage = w.mPage[iIndex] ? w.mPage[iIndex].data() : BuildPage(w, iIndex);
    pPage->show();
    w.pCurrentPage = pPage;
    Ini::SelectSection(pIni, "General");
    Ini::WriteNumberAs(pIni, "PreferencesRecent", iIndex, 0);
}

void ApplyChanges(int iWindow) {
    uWindowPreferences* p = nullptr;
    if (!FindInstance(iWindow, &p)) return;
    if (!p->mChange.empty()) Main::SetConfigSaveAtExit(true);
    for (const uPreferenceChange& change : p->mChange) {
        WriteChange(Main::ConfigIni(), change);
        // The open main windows take the toolbar size at once; the rest waits for a restart.
        if (change.sKey == "ToolBarLarge") WindowStart::SetToolBarSize(change.fFlag ? 2 : 1);
    }
    // Kept at once: the failure is in the log.
    std::string sIgnored;
    if (!p->mChange.empty()) Main::SaveConfig(sIgnored);
    // The connections read the time-outs before each task.
    if (!p->mChange.empty() && Main::ConfigIni()) Main::ReadInstrumentTimeouts();
}

void Close(int iWindow, int iClosingMainWindow) {
    // The record goes in the closing hook; the frame saves the place and tells the main window.
    if (ChildWindow::Find(iWindow)) ChildWindow::Close(iWindow, iClosingMainWindow);
    else mWindowPreferences.erase(iWindow);
}

int Open(int iMainWindow, int iChild, uInstrumentWindowInfo*) {
    const std::int64_t iCreation = ++iCreationCounter;
    const int fMdi = iChild != -1 ? 1 : 0;
    int x = Window::DefaultPosition, y = Window::DefaultPosition, iWidth = DefaultWidth, iHeight = DefaultHeight;
    int iState = Window::StateNormal;
    const bool fFound = Window::LoadPosition(WindowKindPreferences, x, y, iWidth, iHeight, iState, fMdi);

    WindowFrame* pFrame = ChildWindow::Begin(iMainWindow, iChild, WindowKindPreferences, "Preferences");
    if (!pFrame) return 0;
    const int iWindow = pFrame->Window();
    pFrame->setWindowTitle("Preferences");
    QMdiSubWindow* pMdiFrame = ChildWindow::MdiFrame(iWindow);
    if (pMdiFrame) {
        pMdiFrame->setWindowTitle("Preferences");
        ChildWindow::ResizeMdiFrame(pMdiFrame, iWidth, iHeight);
        if (fFound && x != Window::DefaultPosition && y != Window::DefaultPosition) pMdiFrame->move(x, y);
    } else {
        // Owned by the main window: it stays above it. A title bar with a close box, no sizing.
        WindowStart::uWindowStart* pMain = nullptr;
        QWidget* pOwner = WindowStart::GetInstance(iMainWindow, &pMain) ? pMain->pFrame.data() : nullptr;
        OwnedWindow::Setup(pFrame, pOwner, iWidth, iHeight, false);
        if (fFound && x != Window::DefaultPosition && y != Window::DefaultPosition) pFrame->move(x, y);
    }

    auto pRecord = std::make_unique<uWindowPreferences>();
    uWindowPreferences& w = *pRecord;
    w.iCreation = iCreation;
    w.iWindow = iWindow;
    w.iOwner = iMainWindow;
    w.fMdi = fMdi;
    w.pFrame = pFrame;
    mWindowPreferences[iWindow] = std::move(pRecord);

    w.pStatusBar = pFrame->statusBar();
    w.pStatusBar->setSizeGripEnabled(false);
    // Without config.ini nothing set here is kept: the status bar says why instead of the path.
    w.pStatusText = Utility::StatusLabel(w.pStatusBar);
    SetStatus(w, QString::fromStdString(Main::ConfigIni() ? Main::ConfigPath() : Main::ConfigProblem()));
    const int b = StatusHeight(w);

    auto* pCentral = new QWidget(pFrame);
    pFrame->setCentralWidget(pCentral);
    auto* pTree = new QTreeWidget(pCentral);
    pTree->setObjectName("Sections");
    pTree->setHeaderHidden(true);
    pTree->setGeometry(10, 10, 210, 395 - b);
    auto* pGeneral = new QTreeWidgetItem(pTree, {SectionName[SectionGeneral]});
    new QTreeWidgetItem(pGeneral, {SectionName[SectionShortcuts]});
    new QTreeWidgetItem(pTree, {SectionName[SectionInstrument]});
    pGeneral->setExpanded(true);
    w.pTree = pTree;
    w.pCancel = MakeButton(pCentral, "Cancel", 590, 415 - b);
    w.pCancel->setObjectName("Cancel");
    w.pOk = MakeButton(pCentral, "OK", 490, 415 - b);
    w.pOk->setObjectName("OK");
    // Tab order follows creation; the tree, then the pages, then the buttons.
    QWidget::setTabOrder(w.pOk, w.pCancel);

    OwnedWindow::AddShortcut(pFrame, QKeySequence(Qt::Key_Return), MenuReturn, Qt::WidgetWithChildrenShortcut);
    OwnedWindow::AddShortcut(pFrame, QKeySequence(Qt::Key_Escape), MenuEscape, Qt::WidgetWithChildrenShortcut);
    QObject::connect(pTree, &QTreeWidget::currentItemChanged, pTree,
                     [iWindow](QTreeWidgetItem*, QTreeWidgetItem*) { GadgetEvent(iWindow, GadgetTree); });
    QObject::connect(w.pOk, &QPushButton::clicked, w.pOk, [iWindow] { GadgetEvent(iWindow, GadgetOk); });
    QObject::connect(w.pCancel, &QPushButton::clicked, w.pCancel, [iWindow] { GadgetEvent(iWindow, GadgetCancel); });

    ChildWindow::uHooks hooks;
    hooks.fnMenu = [iWindow](int iItem, bool) {
        MenuItem(iWindow, iItem);
        return true;
    };
    hooks.fnClosing = [iWindow] { mWindowPreferences.erase(iWindow); };
    ChildWindow::Install(pFrame, std::move(hooks));

    ShowSection(iWindow, true);
    Utility::EnableSmartRefresh(pFrame);
    QWidget* pShown = pMdiFrame ? static_cast<QWidget*>(pMdiFrame) : pFrame;
    if (fFound && iState == Window::StateMinimized) pShown->showMinimized();
    else if (fFound && iState == Window::StateMaximized) pShown->showMaximized();
    pTree->setFocus();
    return iWindow;
}

void RegisterKind() { WindowKinds::Register(WindowKindPreferences, {Open, {}}); }

} // namespace WindowPreferences
