#include "app/WindowDeleteWorkspace.h"

#include "app/WindowStart.h"
#include "app/WorkspaceDialog.h"
#include "platform/ProgramEvents.h"

#include <QComboBox>

namespace WindowDeleteWorkspace {

void FillNames(QComboBox* pList) {
    for (const std::string& sName : WindowStart::WorkspaceNames()) pList->addItem(QString::fromStdString(sName));
    if (pList->count() > 0) pList->setCurrentIndex(0);
}

void EventDelete(int iWindow) {
    WorkspaceDialog::uWorkspaceDialog* p = nullptr;
    if (!WorkspaceDialog::FindInstance(iWindow, &p)) return;
    auto* pList = qobject_cast<QComboBox*>(p->pName.data());
    if (!pList) return;
    const std::string sName = pList->currentText().toStdString();
    if (sName.empty()) return;
    WorkspaceDialog::PostName(iWindow, EventDeleteWorkspace, sName);
}

int Open(int iMainWindow) {
    return WorkspaceDialog::Open(
        iMainWindow, "Delete Workspace", "Delete",
        [](QWidget* pParent) {
            auto* pList = new QComboBox(pParent);
            pList->setEditable(false);
            FillNames(pList);
            return pList;
        },
        EventDelete);
}

} // namespace WindowDeleteWorkspace
