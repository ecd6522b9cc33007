#include "app/WorkspaceDialog.h"

#include "app/OwnedWindow.h"
#include "app/WindowStart.h"
#include "platform/EventHub.h"
#include "platform/ProgramEvents.h"
#include "platform/WindowFrame.h"
#include "platform/WindowRegistry.h"

#include <QFontMetrics>
#include <QKeySequence>
#include <QLabel>
#include <QPushButton>
#include <QWidget>

#include <algorithm>
#include <map>
#include <memory>
#include <utility>

namespace WorkspaceDialog {
namespace {

constexpr int DialogWidth = 400;
constexpr int DialogHeight = 150;

// The open dialogs of both kinds by window number; GUI thread only.
std::map<int, std::unique_ptr<uWorkspaceDialog>> mDialog;

int TextWidth(const QWidget* pGadget, const QString& sText) {
    return QFontMetrics(pGadget->font()).horizontalAdvance(sText);
}

void Forget(int iWindow) {
    EventHub::UnbindWindow(iWindow);
    WindowRegistry::Release(iWindow);
    mDialog.erase(iWindow);
}

} // namespace

bool FindInstance(int iWindow, uWorkspaceDialog** ppDialog) {
    const auto it = mDialog.find(iWindow);
    if (it == mDialog.end()) return false;
    if (ppDialog) *ppDialog = it->second.get();
    return true;
}

int Open(int iMainWindow, const QString& sTitle, const QString& sDefault,
         const std::function<QWidget*(QWidget* pParent)>& fnNameGadget, std::function<void(int iWindow)> fnDefault) {
    WindowStart::uWindowStart* pMain = nullptr;
    if (!WindowStart::GetInstance(iMainWindow, &pMain) || !pMain->pFrame) return 0;
    QWidget* pOwner = pMain->pFrame;
    const int iWindow = WindowRegistry::NewWindowNumber();
    auto* pFrame = new WindowFrame(iWindow);
    OwnedWindow::Setup(pFrame, pOwner, DialogWidth, DialogHeight, true);
    pFrame->setWindowTitle(sTitle);

    auto pRecord = std::make_unique<uWorkspaceDialog>();
    uWorkspaceDialog& d = *pRecord;
    d.iWindow = iWindow;
    d.iOwner = iMainWindow;
    d.pFrame = pFrame;
    d.fnDefault = std::move(fnDefault);
    mDialog[iWindow] = std::move(pRecord);

    auto* pCentral = new QWidget(pFrame);
    pFrame->setCentralWidget(pCentral);
    auto* pLabel = new QLabel("Name:", pCentral);
    pLabel->setGeometry(10, 15, TextWidth(pLabel, "Name:"), 25);
    d.pLabel = pLabel;
    QWidget* pName = fnNameGadget(pCentral);
    pName->setObjectName("Name");
    d.pName = pName;
    auto* pDefaultButton = new QPushButton(sDefault, pCentral);
    pDefaultButton->setObjectName("Default");
    auto* pCancel = new QPushButton("Cancel", pCentral);
    pCancel->setObjectName("Cancel");
    const int iButton = std::max({90, TextWidth(pDefaultButton, sDefault) + 10, TextWidth(pCancel, "Cancel") + 10});
    pDefaultButton->setGeometry(390 - iButton, 10, iButton, 25);
    pCancel->setGeometry(390 - iButton, 45, iButton, 25);
    pDefaultButton->setDefault(true);
    const int xName = pLabel->x() + pLabel->width() + 5;
    pName->setGeometry(xName, 10, std::max(1, 390 - iButton - 10 - xName), 25);
    auto* pMessage = new QLabel(pCentral);
    pMessage->setObjectName("Message");
    pMessage->setWordWrap(true);
    pMessage->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    pMessage->setGeometry(10, 80, 380, 60);
    d.pDefault = pDefaultButton;
    d.pCancel = pCancel;
    d.pMessage = pMessage;

    using EventHub::uEvent;
    QObject::connect(pDefaultButton, &QPushButton::clicked, pDefaultButton,
                     [iWindow] { EventHub::PostEvent(EventGadget, iWindow, GadgetDefault); });
    QObject::connect(pCancel, &QPushButton::clicked, pCancel,
                     [iWindow] { EventHub::PostEvent(EventGadget, iWindow, GadgetCancel); });
    EventHub::Bind(EventGadget, iWindow, [iWindow](const uEvent& e) {
        uWorkspaceDialog* p = nullptr;
        if (!FindInstance(iWindow, &p)) return;
        if (e.iObject == GadgetDefault && p->fnDefault) p->fnDefault(iWindow);
        else if (e.iObject == GadgetCancel) EventHub::PostEvent(EventCloseWindowRequest, iWindow);
    });
    EventHub::Bind(EventMenu, iWindow, [iWindow](const uEvent& e) {
        if (e.iObject == MenuEscape) EventHub::PostEvent(EventCloseWindowRequest, iWindow);
        else if (e.iObject == MenuReturn) EventHub::PostEvent(EventGadget, iWindow, GadgetDefault);
    });
    EventHub::Bind(EventCloseWindowRequest, iWindow, [iWindow](const uEvent&) { Close(iWindow); });
    OwnedWindow::AddShortcut(pFrame, QKeySequence(Qt::Key_Escape), MenuEscape);
    OwnedWindow::AddShortcut(pFrame, QKeySequence(Qt::Key_Return), MenuReturn);
    OwnedWindow::AddShortcut(pFrame, QKeySequence(Qt::Key_Enter), MenuReturn);
    // The main window may go first: its owned windows go with it.
    QObject::connect(pFrame, &QObject::destroyed, [iWindow] {
        if (FindInstance(iWindow, nullptr)) Forget(iWindow);
    });

    pFrame->show();
    pFrame->raise();
    pFrame->activateWindow();
    pName->setFocus();
    return iWindow;
}

void Close(int iWindow) {
    uWorkspaceDialog* p = nullptr;
    if (!FindInstance(iWindow, &p)) return;
    QPointer<WindowFrame> pFrame = p->pFrame;
    Forget(iWindow);
    if (pFrame) {
        pFrame->hide();
        pFrame->deleteLater();
    }
}

void PostName(int iWindow, int iEvent, const std::string& sName) {
    uWorkspaceDialog* p = nullptr;
    if (!FindInstance(iWindow, &p)) return;
    EventHub::PostEvent(iEvent, p->iOwner, 0, 0, EventHub::Payload::Of<std::string>(sName));
    EventHub::PostEvent(EventCloseWindowRequest, iWindow);
}

} // namespace WorkspaceDialog
