#include "windows/capture/WindowTemplateFilename.h"

#include "app/ChildWindow.h"
#include "app/Main.h"
#include "app/Window.h"
#include "common/Ini.h"
#include "instrument/WaveformSources.h"
#include "platform/EventHub.h"
#include "platform/ProgramEvents.h"
#include "platform/WindowFrame.h"
#include "platform/WindowRegistry.h"
#include "windows/capture/Template.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>
#include <map>
#include <memory>

namespace WindowTemplateFilename {
namespace {

// The dialog's close box and Escape become its close request, so that every way out saves.
class Dialog : public QDialog {
  public:
    Dialog(int iWindow, QWidget* pParent) : QDialog(pParent), iWindow(iWindow) {}
    void reject() override { EventHub::PostEvent(EventCloseWindowRequest, iWindow); }

  protected:
    void closeEvent(QCloseEvent* pEvent) override {
        pEvent->ignore();
        EventHub::PostEvent(EventCloseWindowRequest, iWindow);
    }

  private:
    int iWindow;
};

// The open dialogs by window number; GUI thread only.
std::map<int, std::unique_ptr<uWindowTemplateFilename>> mWindowTemplateFilename;

const char* const TokenHelp[] = {
    "/F manufacturer name.",        "/O model name.",           "/Y four-digit year.",
    "/M two-digit monthly number.", "/D two-digit day number.", "/H two-digit hour number.",
    "/N two-digit minute number.",  "/S two-digit second number.", "/Z three-digit millisecond number.",
    "/U source of the data.",       "/C name of the channel.",
};

uWindowTemplateFilename* Lookup(int iWindow) {
    const auto it = mWindowTemplateFilename.find(iWindow);
    return it == mWindowTemplateFilename.end() ? nullptr : it->second.get();
}

std::string ReadDefault(int iOwnerKind) {
    uIni* pIni = Main::ConfigIni();
    if (!pIni) return BuiltInDefault(iOwnerKind);
    Ini::SelectSection(pIni, Group(iOwnerKind));
    return Ini::ReadString(pIni, "Default", BuiltInDefault(iOwnerKind));
}

// The numbered templates of the group, sorted case-sensitively.
std::vector<std::string> ReadTemplates(int iOwnerKind) {
    std::vector<std::string> m;
    uIni* pIni = Main::ConfigIni();
    if (!pIni) return m;
    Ini::SelectSection(pIni, Group(iOwnerKind));
    Ini::ExamineKeys(pIni);
    while (Ini::NextKey(pIni)) {
        if (Ini::KeyName(pIni) == "Default") continue;
        std::string sValue = Ini::KeyValue(pIni);
        if (!sValue.empty()) m.push_back(std::move(sValue));
    }
    std::sort(m.begin(), m.end());
    return m;
}

QString Text(const uWindowTemplateFilename& r) { return r.pTemplate ? r.pTemplate->currentText() : QString(); }

void FillCombo(uWindowTemplateFilename& r) {
    r.pTemplate->clear();
    r.pTemplate->addItem(QString::fromStdString(ReadDefault(r.iOwnerKind)));
    for (const std::string& s : r.mTemplates) r.pTemplate->addItem(QString::fromStdString(s));
    r.pTemplate->setCurrentIndex(0);
}

void LoadTemplates(uWindowTemplateFilename& r) {
    r.mTemplates = ReadTemplates(r.iOwnerKind);
    FillCombo(r);
    const int iOwner = r.pTemplate->findText(QString::fromStdString(r.sOwnerTemplate),
                                             Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (iOwner >= 0) r.pTemplate->setCurrentIndex(iOwner);
}

void UpdateExample(uWindowTemplateFilename& r, const QString& sText) {
    if (!r.pExample) return;
    if (sText.isEmpty()) {
        r.pExample->clear();
    } else {
        r.pExample->setText(QString::fromStdString(
            Template::ExpandFileName(sText.toStdString(), "Manufacturer", "Model", 0, 0, DataSourceMemory, "CH1")));
    }
    // An empty template would name files ".png" or " Memory CH1.csv".
    if (r.pOk) r.pOk->setEnabled(!sText.isEmpty());
}

// Applies one change to a list: an addition goes to the end unless it is empty, the default or
// already there; a deletion removes the first equal entry.
void Apply(std::vector<std::string>& m, const std::pair<bool, std::string>& change, const std::string& sDefault) {
    const std::string& s = change.second;
    const auto it = std::find(m.begin(), m.end(), s);
    if (change.first) {
        if (!s.empty() && s != sDefault && it == m.end()) m.push_back(s);
    } else if (it != m.end()) {
        m.erase(it);
    }
}

void StoreTemplate(uWindowTemplateFilename& r, const std::string& sText) {
    const std::pair<bool, std::string> change{true, sText};
    const std::size_t iBefore = r.mTemplates.size();
    Apply(r.mTemplates, change, ReadDefault(r.iOwnerKind));
    if (r.mTemplates.size() != iBefore) r.mChanges.push_back(change);
}

void DeleteTemplate(uWindowTemplateFilename& r) {
    const std::pair<bool, std::string> change{false, Text(r).toStdString()};
    const std::size_t iBefore = r.mTemplates.size();
    Apply(r.mTemplates, change, "");
    if (r.mTemplates.size() != iBefore) r.mChanges.push_back(change);
    FillCombo(r);
}

// The group is rewritten at the end of the file: "Default" with the built-in default, then the
// templates as they stand now in config.ini with this dialog's changes applied, from "1" on.
void SaveTemplates(const uWindowTemplateFilename& r) {
    uIni* pIni = Main::ConfigIni();
    if (!pIni) return;
    std::vector<std::string> m = ReadTemplates(r.iOwnerKind);
    const std::string sDefault = ReadDefault(r.iOwnerKind);
    for (const auto& change : r.mChanges) Apply(m, change, sDefault);
    const std::string sGroup = Group(r.iOwnerKind);
    Ini::RemoveSection(pIni, sGroup);
    Ini::SelectSection(pIni, sGroup);
    Ini::WriteString(pIni, "Default", BuiltInDefault(r.iOwnerKind));
    for (std::size_t i = 0; i < m.size(); ++i) Ini::WriteString(pIni, std::to_string(i + 1), m[i]);
}

void OnOk(int iWindow) {
    uWindowTemplateFilename* p = Lookup(iWindow);
    if (!p) return;
    const std::string sText = Text(*p).toStdString();
    if (sText.empty()) return;
    StoreTemplate(*p, sText);
    EventHub::PostEvent(EventTemplateChosen, p->iOwner, 0, 0, EventHub::Payload::Of<std::string>(sText));
    EventHub::PostEvent(EventCloseWindowRequest, iWindow);
}

// The label or button at its required size.
template <class T> T* Gadget(QWidget* pParent, const QString& sText) {
    auto* p = new T(sText, pParent);
    p->adjustSize();
    return p;
}

void Build(uWindowTemplateFilename& r, QDialog* pDialog) {
    const int iWindow = r.iWindow;
    r.pTemplateLabel = Gadget<QLabel>(pDialog, "Template:");
    r.pTemplateLabel->setGeometry(10, 10, r.pTemplateLabel->width(), 25);
    r.pTemplate = new QComboBox(pDialog);
    r.pTemplate->setEditable(true);
    r.pTemplate->setInsertPolicy(QComboBox::NoInsert);
    r.pTemplate->setGeometry(10, 35, 420, 25);
    r.pExampleLabel = Gadget<QLabel>(pDialog, "Example:");
    r.pExampleLabel->setGeometry(10, 70, r.pExampleLabel->width(), 25);
    r.pExample = new QLineEdit(pDialog);
    r.pExample->setReadOnly(true);
    r.pExample->setGeometry(10, 95, 420, 25);

    QStringList mTokens, mDescriptions;
    for (const std::string& sLine : TokenLines(r.iOwnerKind)) {
        mTokens << QString::fromStdString(sLine.substr(0, 2));
        mDescriptions << QString::fromStdString(sLine.substr(3));
    }
    r.pTokens = Gadget<QLabel>(pDialog, mTokens.join('\n'));
    r.pTokens->move(10, 125);
    r.pDescriptions = Gadget<QLabel>(pDialog, mDescriptions.join('\n'));
    r.pDescriptions->move(r.pTokens->geometry().right() + 1 + 10, 125);

    const int iRow = r.pDescriptions->geometry().bottom() + 1 + 10;
    auto width = [](QPushButton* p) { return std::max(90, p->sizeHint().width() + 10); };
    r.pCancel = new QPushButton("Cancel", pDialog);
    const int iCancel = width(r.pCancel);
    r.pCancel->setGeometry(440 - iCancel, iRow, iCancel, 25);
    r.pOk = new QPushButton("OK", pDialog);
    int iOk = width(r.pOk);
    if (iOk > 90) iOk = std::max(iOk, iCancel);
    r.pOk->setGeometry(r.pCancel->x() - 10 - iOk, iRow, iOk, 25);
    r.pOk->setDefault(true);
    r.pDelete = new QPushButton("Delete", pDialog);
    r.pDelete->setGeometry(10, iRow, width(r.pDelete), 25);
    r.pCancel->setAutoDefault(false);
    r.pDelete->setAutoDefault(false);
    pDialog->setFixedSize(450, iRow + 25 + 10);

    QObject::connect(r.pOk, &QPushButton::clicked, pDialog, [iWindow] { OnOk(iWindow); });
    QObject::connect(r.pCancel, &QPushButton::clicked, pDialog,
                     [iWindow] { EventHub::PostEvent(EventCloseWindowRequest, iWindow); });
    QObject::connect(r.pDelete, &QPushButton::clicked, pDialog, [iWindow] {
        if (uWindowTemplateFilename* p = Lookup(iWindow)) DeleteTemplate(*p);
    });
    QObject::connect(r.pTemplate, &QComboBox::editTextChanged, pDialog, [iWindow](const QString& sText) {
        if (uWindowTemplateFilename* p = Lookup(iWindow)) UpdateExample(*p, sText);
    });
}

// The owner is gone with the dialog in it: the templates are kept all the same.
void Dropped(int iWindow) {
    const auto it = mWindowTemplateFilename.find(iWindow);
    if (it == mWindowTemplateFilename.end()) return;
    SaveTemplates(*it->second);
    mWindowTemplateFilename.erase(it);
    EventHub::UnbindWindow(iWindow);
    WindowRegistry::Release(iWindow);
}

} // namespace

std::string Group(int iOwnerKind) {
    return iOwnerKind == WindowKindWaveform ? "InputTemplateFilenameWaveform" : "InputTemplateFilenameScreenshot";
}

std::string BuiltInDefault(int iOwnerKind) {
    return iOwnerKind == WindowKindWaveform ? "/O /Y/M/D-/H/N/S /U /C" : "/O /Y/M/D-/H/N/S";
}

std::vector<std::string> TokenLines(int iOwnerKind) {
    const std::size_t iCount = iOwnerKind == WindowKindWaveform ? 11 : 9;
    return {std::begin(TokenHelp), std::begin(TokenHelp) + iCount};
}

int Open(int iOwner, int iOwnerKind, const std::string& sOwnerTemplate) {
    QWidget* pOwner = ChildWindow::Find(iOwner);
    const int iWindow = WindowRegistry::NewWindowNumber();
    auto* pDialog = new Dialog(iWindow, pOwner);
    pDialog->setWindowTitle(Title);
    pDialog->setModal(false);
    pDialog->setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);

    auto pRecord = std::make_unique<uWindowTemplateFilename>();
    uWindowTemplateFilename& r = *pRecord;
    r.iWindow = iWindow;
    r.iOwner = iOwner;
    r.iOwnerKind = iOwnerKind;
    r.pDialog = pDialog;
    r.sOwnerTemplate = sOwnerTemplate;
    mWindowTemplateFilename[iWindow] = std::move(pRecord);
    Build(r, pDialog);
    LoadTemplates(r);
    UpdateExample(r, Text(r));

    EventHub::Bind(EventCloseWindowRequest, iWindow, [iWindow](const EventHub::uEvent&) { Close(iWindow); });
    QObject::connect(pDialog, &QObject::destroyed, [iWindow] { Dropped(iWindow); });
    if (pOwner) {
        const QRect owner = pOwner->window()->frameGeometry();
        pDialog->move(owner.center() - QPoint(pDialog->width() / 2, pDialog->height() / 2));
    }
    pDialog->show();
    r.pTemplate->setFocus();
    return iWindow;
}

bool GetInstance(int iWindow, uWindowTemplateFilename** ppRecord) {
    uWindowTemplateFilename* p = Lookup(iWindow);
    if (ppRecord) *ppRecord = p;
    return p != nullptr;
}

void Close(int iWindow) {
    const auto it = mWindowTemplateFilename.find(iWindow);
    if (it == mWindowTemplateFilename.end()) return;
    std::unique_ptr<uWindowTemplateFilename> pRecord = std::move(it->second);
    mWindowTemplateFilename.erase(it);
    SaveTemplates(*pRecord);
    EventHub::UnbindWindow(iWindow);
    WindowRegistry::Release(iWindow);
    if (QDialog* pDialog = pRecord->pDialog) {
        QObject::disconnect(pDialog, &QObject::destroyed, nullptr, nullptr);
        pDialog->hide();
        pDialog->deleteLater();
    }
}

} // namespace WindowTemplateFilename
