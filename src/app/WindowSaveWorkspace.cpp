#include "app/WindowSaveWorkspace.h"

#include "app/WindowStart.h"
#include "app/WorkspaceDialog.h"
#include "platform/ProgramEvents.h"

#include <QLabel>
#include <QLineEdit>


namespace WindowSaveWorkspace {

bool NameAllowed(const std::string& sName) {
    for (const char c : sName) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '[' || c == ']' || u < 0x20 || u == 0x7F) return false;
    }
    return !WindowStart::WorkspaceNameReserved(sName);
}

void EventSave(int iWindow) {
    WorkspaceDialog::uWorkspaceDialog* p = nullptr;
    if (!WorkspaceDialog::FindInstance(iWindow, &p)) return;
    auto* pField = qobject_cast<QLineEdit*>(p->pName.data());
    if (!pField) return;
    const std::string sName = pField->text().toStdString();
    if (sName.empty() || !NameAllowed(sName)) {
        if (p->pMessage) p->pMessage->setText(sName.empty() ? TextNoName : TextBadName);
        return;
    }
    WorkspaceDialog::PostName(iWindow, EventSaveWorkspace, sName);
}

int Open(int iMainWindow) {
    return WorkspaceDialog::Open(
        iMainWindow, "Save Workspace", "Save", [](QWidget* pParent) { return new QLineEdit(pParent); }, EventSave);
}

} // namespace WindowSaveWorkspace
