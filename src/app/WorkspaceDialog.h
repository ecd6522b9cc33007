// What the two workspace name dialogs share: a small modeless window owned by a main window and
// centred over it, the label "Name:", a name gadget, the default button and "Cancel"; Escape
// closes it as "Cancel" does, Return acts as a click on the default button. Several may be open.
#pragma once

#include <QPointer>
#include <QString>

#include <functional>
#include <string>

class QLabel;
class QPushButton;
class QWidget;
class WindowFrame;

namespace WorkspaceDialog {

inline constexpr int MenuEscape = 267;
inline constexpr int MenuReturn = 268;
// Gadget numbers of the two buttons (object of EventGadget).
inline constexpr int GadgetDefault = 1;
inline constexpr int GadgetCancel = 2;

struct uWorkspaceDialog {
    int iWindow = 0;
    int iOwner = 0;
    QPointer<WindowFrame> pFrame;
    QPointer<QLabel> pLabel;
    QPointer<QWidget> pName;
    QPointer<QPushButton> pDefault;
    QPointer<QPushButton> pCancel;
    // Below the buttons: why a name was refused.
    QPointer<QLabel> pMessage;
    // The default button was clicked (or Return pressed).
    std::function<void(int iWindow)> fnDefault;
};

// Opens the dialog over the main window; fnNameGadget creates the name gadget in the parent it
// is given. Returns the dialog's window number, 0 when no window opened.
int Open(int iMainWindow, const QString& sTitle, const QString& sDefault,
         const std::function<QWidget*(QWidget* pParent)>& fnNameGadget, std::function<void(int iWindow)> fnDefault);
bool FindInstance(int iWindow, uWorkspaceDialog** ppDialog);
// Unbinds the dialog's events and shortcuts, closes its window and forgets it.
void Close(int iWindow);
// Posts the name (a copy, std::string payload) to the owner main window as iEvent and asks the
// dialog to close.
void PostName(int iWindow, int iEvent, const std::string& sName);

} // namespace WorkspaceDialog
