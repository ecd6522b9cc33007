// Workspaces: the arrangement of a main window and its children saved under a name in
// workspace.ini, restored, deleted and listed in the "Wor&kspace" submenus.
#include "app/ChildWindow.h"
#include "app/Main.h"
#include "app/Window.h"
#include "app/WindowStart.h"
#include "common/FileSaving.h"
#include "common/Ini.h"
#include "common/UtilityGui.h"
#include "common/WindowLog.h"
#include "platform/WindowFrame.h"

#include <QAction>
#include <QEvent>
#include <QLayout>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QWidget>

#include <algorithm>
#include <memory>

namespace WindowStart {
namespace {

constexpr const char* WorkspaceFile = "workspace.ini";
constexpr const char* ReservedSection = "Ini-Version";
constexpr const char* NameProperty = "WorkspaceName";

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c); });
    return s;
}

// workspace.ini beside config.ini, where the program may write. A copy found only in the other
// places (the one that comes with the program) is read, and its next save goes beside config.ini.
std::unique_ptr<uIni> OpenWorkspaces() {
    const std::string sFolder = Main::ConfigFolder();
    if (!sFolder.empty()) {
        if (std::unique_ptr<uIni> pIni = Ini::Open(sFolder + WorkspaceFile, IniFlagsProgram)) return pIni;
    }
    std::unique_ptr<uIni> pIni = Main::OpenPreferenceFile(WorkspaceFile, nullptr, true);
    if (pIni && !sFolder.empty()) pIni->sFileName = sFolder + WorkspaceFile;
    return pIni;
}

// config.ini is kept with every change of the workspaces; a failure is in the log.
void KeepConfig() {
    std::string sIgnored;
    Main::SaveConfig(sIgnored);
}

// The file's section names in file order (section names compare ignoring case, as the file does).
std::vector<std::string> SectionNames(uIni* pIni) {
    std::vector<std::string> mNames;
    Ini::ExamineSections(pIni);
    while (Ini::NextSection(pIni)) mNames.push_back(Ini::SectionName(pIni));
    return mNames;
}

bool HasSection(uIni* pIni, const std::string& sName) {
    const std::string sWanted = Lower(sName);
    for (const std::string& s : SectionNames(pIni)) {
        if (Lower(s) == sWanted) return true;
    }
    return false;
}

// Writes the file back; a failure is reported, the file on disk stays as it was.
void WriteWorkspaces(uIni* pIni) {
    if (std::string sReason; !Ini::Save(pIni, sReason)) {
        WindowLog::AddError(Utility::FileFailure(
            "The configuration file for the workspaces could not be written: ", pIni->sFileName, sReason));
    }
}

// Moves and sizes a window as a workspace saved it and puts it into its state. x and y are the
// corner of the frame (for an MDI child, of its MDI frame); the size is the window's inner one.
void Place(QWidget* pWindow, QMdiSubWindow* pMdiFrame, int x, int y, int iWidth, int iHeight, int iState) {
    QWidget* pOuter = pMdiFrame ? static_cast<QWidget*>(pMdiFrame) : pWindow;
    // A main window that is maximised (minimised or not) and stays so keeps its size: taken down
    // to its normal size and up again, its area would pass through the normal size, and a window
    // manager that answers the two requests in its own time may leave it at the normal size.
    if (!pMdiFrame && iState == Window::StateMaximized && pOuter->isMaximized()) {
        if (pOuter->isMinimized()) pOuter->showMaximized();
        return;
    }
    if (pOuter->isMinimized() || pOuter->isMaximized()) Utility::ShowNormal(pOuter);
    if (pMdiFrame) {
        // The sizes come from a file that may have been edited: the border is added in 64 bits and
        // the sum kept to what a widget can take.
        const auto outer = [](int iInner, int iExtra) {
            const long long iOuter = static_cast<long long>(iInner) + std::max(0, iExtra);
            return static_cast<int>(std::min<long long>(QWIDGETSIZE_MAX, iOuter));
        };
        const QSize extra = pMdiFrame->size() - pWindow->size();
        pMdiFrame->resize(outer(iWidth, extra.width()), outer(iHeight, extra.height()));
    } else {
        pWindow->resize(iWidth, iHeight);
    }
    if (x != Window::DefaultPosition && y != Window::DefaultPosition) pOuter->move(x, y);
    if (iState == Window::StateMaximized) pOuter->showMaximized();
    else if (iState == Window::StateMinimized) pOuter->showMinimized();
}

// Keeps the MDI children that a workspace placed inside the area once the main window has taken
// the maximised state that the workspace asked for: the window system answers a maximising only
// later, and children kept inside the area of the normal size would stay squeezed into it.
class KeepInsideOnceMaximised final : public QObject {
  public:
    KeepInsideOnceMaximised(QWidget* pMain, QMdiArea* pArea, std::vector<QPointer<QMdiSubWindow>> mFrames)
        : QObject(pArea), pMain(pMain), normal(pMain->size()), mFrames(std::move(mFrames)) {
        pArea->installEventFilter(this);
    }
    bool eventFilter(QObject* pArea, QEvent* pEvent) override {
        if (pEvent->type() == QEvent::Resize && pMain->isMaximized() && pMain->size() != normal) {
            pArea->removeEventFilter(this);
            // Once the area has laid out its viewport at the new size.
            QMetaObject::invokeMethod(this, [this] {
                for (const QPointer<QMdiSubWindow>& pFrame : mFrames) KeepInArea(pFrame);
                deleteLater();
            }, Qt::QueuedConnection);
        }
        return false;
    }

  private:
    QWidget* pMain; // the area's window: it outlives this
    QSize normal;
    std::vector<QPointer<QMdiSubWindow>> mFrames;
};

} // namespace

bool WorkspaceNameReserved(const std::string& sName) { return Lower(sName) == Lower(ReservedSection); }

std::vector<std::string> WorkspaceNames() {
    std::vector<std::string> mNames;
    std::unique_ptr<uIni> pIni = OpenWorkspaces();
    if (!pIni) return mNames;
    for (std::string& s : SectionNames(pIni.get())) {
        if (!WorkspaceNameReserved(s)) mNames.push_back(std::move(s));
    }
    std::stable_sort(mNames.begin(), mNames.end(),
                     [](const std::string& a, const std::string& b) { return Lower(a) < Lower(b); });
    Ini::Free(pIni);
    return mNames;
}

void CreateMenuWorkspaces(QMenu* pMenu, int iTarget) {
    const std::vector<std::string> mNames = WorkspaceNames();
    for (std::size_t i = 0; i < mNames.size() && i < static_cast<std::size_t>(MaxWorkspaceItems); ++i) {
        QString sText = QString::fromStdString(mNames[i]);
        sText.replace("&", "&&"); // a name's "&" is no mnemonic
        QAction* pAction = AddMenuItem(pMenu, iTarget, MenuWorkspaceFirst + static_cast<int>(i), sText);
        pAction->setProperty(NameProperty, QString::fromStdString(mNames[i]));
    }
}

std::string WorkspaceItemName(int iWindow, int iItem) {
    uWindowStart* pWindow = nullptr;
    if (!GetInstance(iWindow, &pWindow)) return {};
    QAction* pItem = FindMenuItem(pWindow->pMenu, iItem);
    return pItem ? pItem->property(NameProperty).toString().toStdString() : std::string();
}

void SaveWorkspace(int iWindow, const std::string& sName) {
    uWindowStart* pWindow = nullptr;
    if (!GetInstance(iWindow, &pWindow) || sName.empty()) return;
    std::unique_ptr<uIni> pIni = OpenWorkspaces();
    if (!pIni) return;
    // Saving under a name that exists replaces that workspace as a whole.
    Ini::RemoveSection(pIni.get(), sName);
    if (Ini::SelectSection(pIni.get(), sName)) {
        Window::SavePosition(pWindow->pFrame, WindowKindStart, 0, pIni.get(), sName);
        for (const uChildWindow& child : Children()) {
            WindowFrame* pChild = ChildWindow::Find(child.iWindow);
            if (child.iOwner == iWindow && pChild) {
                Window::SavePosition(pChild, child.iKind, child.fMdi, pIni.get(), sName);
            }
        }
    }
    WriteWorkspaces(pIni.get());
    Ini::Free(pIni);
    KeepConfig();
    RebuildMenus(iWindow);
}

void LoadWorkspace(int iWindow, const std::string& sName) {
    uWindowStart* pWindow = nullptr;
    if (!GetInstance(iWindow, &pWindow)) return;
    std::unique_ptr<uIni> pIni = OpenWorkspaces();
    if (!pIni) {
        WindowLog::AddError("The configuration file for the workspaces could not be opened: workspace.ini");
        return;
    }
    if (sName.empty() || !HasSection(pIni.get(), sName)) {
        WindowLog::AddError("The workspace is not available in the configuration file: " + sName);
        return;
    }
    uIni* ini = pIni.get();
    int x = Window::DefaultPosition, y = Window::DefaultPosition, iWidth = 0, iHeight = 0, iState = Window::StateNormal;
    bool fMaximising = false;
    if (pWindow->pFrame && Window::LoadPosition(WindowKindStart, x, y, iWidth, iHeight, iState, 0, ini, sName)) {
        fMaximising = iState == Window::StateMaximized && !pWindow->pFrame->isMaximized();
        Place(pWindow->pFrame, nullptr, x, y, iWidth, iHeight, iState);
        // The MDI area takes its new size now, before the children are kept inside it.
        if (QLayout* pLayout = pWindow->pFrame->layout()) pLayout->activate();
    }

    Ini::SelectSection(ini, sName);
    std::vector<std::string> mKeys;
    Ini::ExamineKeys(ini);
    while (Ini::NextKey(ini)) mKeys.push_back(Ini::KeyName(ini));
    std::vector<QPointer<QMdiSubWindow>> mPlaced;
    for (const std::string& sKey : mKeys) {
        const int iKind = Window::KeyToId(sKey);
        if (iKind == WindowKindNone || iKind == WindowKindStart) continue;
        if (FindChild(iWindow, iKind) == 0) {
            OpenChildByKind(iWindow, iKind, sKey.find("PositionMdi") != std::string::npos ? 1 : 0);
        }
        uChildWindow* pChild = nullptr;
        const int iChild = FindChild(iWindow, iKind);
        WindowFrame* pFrame = ChildWindow::Find(iChild);
        if (iChild == 0 || !pFrame || !GetChild(iChild, &pChild)) continue;
        // An existing child keeps the form it has.
        x = y = Window::DefaultPosition;
        iState = Window::StateNormal;
        if (Window::LoadPosition(iKind, x, y, iWidth, iHeight, iState, pChild->fMdi, ini, sName)) {
            Place(pFrame, pChild->fMdi ? ChildWindow::MdiFrame(iChild) : nullptr, x, y, iWidth, iHeight, iState);
            if (pChild->fMdi) mPlaced.emplace_back(ChildWindow::MdiFrame(iChild));
        }
    }
    // Each child stands where the file says, inside the area that the main window has in its
    // saved state; a maximising not answered yet leaves that to the answer.
    if (fMaximising && pWindow->pMdiArea) {
        new KeepInsideOnceMaximised(pWindow->pFrame, pWindow->pMdiArea, std::move(mPlaced));
    } else {
        for (const QPointer<QMdiSubWindow>& pFrame : mPlaced) KeepInArea(pFrame);
    }
    // The MDI area lines up the icons of minimised children by itself.
    Ini::Free(pIni);
}

void DeleteWorkspace(int iWindow, const std::string& sName) {
    std::unique_ptr<uIni> pIni = OpenWorkspaces();
    if (!pIni) return;
    if (!sName.empty() && HasSection(pIni.get(), sName)) {
        Ini::RemoveSection(pIni.get(), sName);
        WriteWorkspaces(pIni.get());
        KeepConfig();
    }
    Ini::Free(pIni);
    RebuildMenus(iWindow);
}

} // namespace WindowStart
