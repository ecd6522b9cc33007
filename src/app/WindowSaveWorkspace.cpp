#include "app/WindowSaveWorkspace.h"

#include "app/WorkspaceDialog.h"
#include "platform/ProgramEvents.h"

#include <QLabel>
#include <QLineEdit>

#include <algorithm>
#include <cctype>

namespace WindowSaveWorkspace {

bool NameAllowed(const std::string& sName) {
    for (const char c : sName) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '[' || c == ']' || u < 0x20 || u == 0x7F) return false;
    }
    std::string sLower = sName;
    std::transform(sLower.begin(), sLower.end(), sLower.begin(),
                   [](unsigned char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c); });
    return sLower != "ini-version";
}

void EventSave(int iWindow) {
    WorkspaceDialog::uWorkspaceDialog* p = nullptr;
    if (!WorkspaceDialog::FindInstance(iWindow, &p)) return;
    auto* pField = qobject_cast<QLineEdit*>(p->pName.data());
    if (!pField) return;
    const std::string sName = pField->text().toStdString();
    if (sName.empty()) return;
    if (!NameAllowed(sName)) {
        if (p->pMessage) p->pMessage->setText(TextBadName);
        return;
    }
    WorkspaceDialog::PostName(iWindow, EventSaveWorkspace, sName);
}

int Open(int iMainWindow) {
    return WorkspaceDialog::Open(
        iMainWindow, "Save Workspace", "Save", [](QWidget* pParent) { return new QLineEdit(pParent); }, EventSave);
}

} // namespace WindowSaveWorkspace
