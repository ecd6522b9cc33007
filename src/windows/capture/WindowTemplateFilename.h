// The dialog "Template for file names": the user picks or types the file-name template of a
// screenshot or waveform window, sees at once what name it gives and keeps a list of templates
// in config.ini (one group per owner kind). "OK" sends the template to the owner window as
// EventTemplateChosen with the text (std::string) as data. Several dialogs may be open at once;
// each writes only its own additions and deletions back when it closes. GUI thread only.
#pragma once

#include <QPointer>

#include <string>
#include <utility>
#include <vector>

class QComboBox;
class QDialog;
class QLabel;
class QLineEdit;
class QPushButton;

struct uWindowTemplateFilename {
    int iWindow = 0;
    int iOwner = 0;
    int iOwnerKind = 0; // 6 screenshot window, 9 waveform window
    QPointer<QDialog> pDialog;
    QPointer<QLabel> pTemplateLabel;
    QPointer<QComboBox> pTemplate;
    QPointer<QLabel> pExampleLabel;
    QPointer<QLineEdit> pExample;
    QPointer<QLabel> pTokens;
    QPointer<QLabel> pDescriptions;
    QPointer<QPushButton> pOk;
    QPointer<QPushButton> pCancel;
    QPointer<QPushButton> pDelete;
    std::string sOwnerTemplate;
    // The saved templates as this dialog shows them.
    std::vector<std::string> mTemplates;
    // This dialog's changes in order (true = added, false = deleted), applied at close to the
    // group as config.ini holds it then.
    std::vector<std::pair<bool, std::string>> mChanges;
};

namespace WindowTemplateFilename {

inline constexpr const char* Title = "Template for file names";

// The config.ini group and the built-in default template of an owner kind.
std::string Group(int iOwnerKind);
std::string BuiltInDefault(int iOwnerKind);
// The token help: nine lines, eleven for a waveform owner ("/U" and "/C").
std::vector<std::string> TokenLines(int iOwnerKind);

// Opens a dialog for the owner window; its window number, 0 when it could not be opened.
int Open(int iOwner, int iOwnerKind, const std::string& sOwnerTemplate);
bool GetInstance(int iWindow, uWindowTemplateFilename** ppRecord);
// Writes the templates back and closes the dialog.
void Close(int iWindow);

} // namespace WindowTemplateFilename
