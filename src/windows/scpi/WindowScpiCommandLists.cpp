// The SCPI command window's command lists: INI files in a folder, one list a file, each entry a
// key of group "SCPICommand" whose value holds the name, options, command and file. Choosing a
// list, clicking, adding and removing entries, and writing new list files.
#include "windows/scpi/WindowScpiCommand.h"

#include "app/Main.h"
#include "common/FileSaving.h"
#include "common/Ini.h"
#include "common/TextRoutines.h"
#include "common/WindowLog.h"
#include "platform/WindowFrame.h"
#include "transport/ChainedAnswers.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSplitter>
#include <QToolButton>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace WindowScpiCommand {

namespace Detail {
const char* const CommandListTemplate = "\xEF\xBB\xBF\r\n"
                                        "[Ini-Version]\r\n"
                                        "Version = 1\r\n"
                                        "Format = UTF8 - First line UTF-8 Signature (BOM) and New Line!\r\n"
                                        "Comment = ;\r\n"
                                        "\r\n"
                                        "[SCPICommand]\r\n"
                                        "; [<NAME>]{<OPTION>}Commands |#NM||FILE|<FILENAME>\r\n"
                                        "1 = *IDN?\r\n"
                                        "2 = [Error]:SYSTem:ERRor?\r\n";
} // namespace Detail

namespace {

const char* const SelectFolder = "Select Folder...";
const char* const Group = "SCPICommand";
const char* const LinesGroup = "SCPICommandLines"; // the line marks of entries (see BuildEntryValue)
constexpr int MaxKeys = 1000;

bool SameNoCase(const std::string& a, const std::string& b) {
    return QString::fromStdString(a).compare(QString::fromStdString(b), Qt::CaseInsensitive) == 0;
}

std::string ReplaceAll(std::string sText, const std::string& sFrom, const std::string& sTo) {
    for (std::size_t i = sText.find(sFrom); i != std::string::npos; i = sText.find(sFrom, i + sTo.size())) {
        sText.replace(i, sFrom.size(), sTo);
    }
    return sText;
}

// An entry's command with its lines ended by CR LF: at the ";" that sLines marks '1' when it
// marks each ";" of the command, else at every ";" outside string data and blocks.
std::string CommandLines(std::string_view sCommand, std::string_view sLines) {
    std::string sOut;
    if (sLines.size() == static_cast<std::size_t>(std::count(sCommand.begin(), sCommand.end(), ';')) &&
        sLines.find_first_not_of("01") == std::string_view::npos) {
        std::size_t iMark = 0;
        for (const char c : sCommand) {
            if (c == ';' && sLines[iMark++] == '1') sOut += "\r\n";
            else sOut += c;
        }
        return sOut;
    }
    const std::vector<std::string_view> units = Instrument::ProgramUnits(sCommand);
    for (std::size_t i = 0; i < units.size(); ++i) sOut += (i > 0 ? "\r\n" : "") + std::string(units[i]);
    return sOut;
}

void Fail(uWindowScpiCommand& window, const std::string& sText) {
    Detail::SetStatus(window, sText);
    WindowLog::AddError(sText);
}

// The lists that come with the program: in the folder that holds the Resources folder.
std::string ShippedCommandFolder() {
    const QString sResources = QDir::cleanPath(QString::fromStdString(Main::ProgramResourceFolder()));
    return QFileInfo(sResources).path().toStdString() + "/SCPI-Commands/";
}

// A new window's folder: beside config.ini, where the program may write (as workspace.ini);
// the lists that come with the program are read where that folder has none of the name.
void ChooseDefaultFolders(uCommandListState& lists) {
    const std::string sConfigFolder = Main::ConfigFolder();
    lists.sShippedFolder = ShippedCommandFolder();
    lists.sCommandFolder = sConfigFolder.empty() ? lists.sShippedFolder : sConfigFolder + "SCPI-Commands/";
    if (lists.sCommandFolder == lists.sShippedFolder) lists.sShippedFolder.clear();
}

// Where the list of that name is read: the command folder's file, else the shipped one, else
// (a list of neither) the command folder's path.
std::string ReadPath(const uCommandListState& lists, const std::string& sName) {
    const std::string sPath = lists.sCommandFolder + sName;
    if (lists.sShippedFolder.empty() || QFileInfo::exists(QString::fromStdString(sPath))) return sPath;
    const std::string sShipped = lists.sShippedFolder + sName;
    return QFileInfo::exists(QString::fromStdString(sShipped)) ? sShipped : sPath;
}

// The "*.ini" files of a folder, by name; false when the folder cannot be examined.
bool ListFiles(const std::string& sFolder, std::vector<std::string>& mNames) {
    const QDir folder(QString::fromStdString(sFolder));
    if (sFolder.empty() || !folder.exists()) return false;
    for (const QFileInfo& info : folder.entryInfoList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot)) {
        if (info.suffix().compare("ini", Qt::CaseInsensitive) == 0) mNames.push_back(info.fileName().toStdString());
    }
    return true;
}

// The first of the keys "1" to "1000" whose value is empty or missing; "" when all are taken.
std::string FreeKey(uIni* pIni) {
    Ini::SelectSection(pIni, Group);
    for (int i = 1; i <= MaxKeys; ++i) {
        std::string sKey = std::to_string(i);
        if (Ini::ReadString(pIni, sKey, "").empty()) return sKey;
    }
    return "";
}

// An entry under sKey with its line marks; a mark left under the key by an entry before goes.
bool WriteEntry(uIni* pIni, const std::string& sKey, const std::string& sValue, const std::string& sLines) {
    Ini::SelectSection(pIni, Group);
    if (!Ini::WriteString(pIni, sKey, sValue)) return false;
    Ini::SelectSection(pIni, LinesGroup);
    if (sLines.empty()) Ini::RemoveKey(pIni, sKey);
    else Ini::WriteString(pIni, sKey, sLines);
    Ini::SelectSection(pIni, Group);
    return true;
}

void RemoveEntry(uIni* pIni, const std::string& sKey) {
    for (const char* pGroup : {LinesGroup, Group}) {
        Ini::SelectSection(pIni, pGroup);
        Ini::RemoveKey(pIni, sKey);
    }
}

// Takes the list as the file holds it now and applies this window's pending changes to it:
// another window on the same file may have written it since it was read here. A removal takes
// out only the entry as it was read; an addition whose key has been taken since goes under the
// first free key. When the file cannot be read, the copy read before stays.
void Refresh(uCommandListState& lists) {
    std::unique_ptr<uIni> pNow = Ini::Open(lists.pCommandListIni->sFileName, IniFlagsProgram);
    if (!pNow) return;
    uIni* pIni = pNow.get();
    Ini::SelectSection(pIni, Group);
    for (const auto& removed : lists.mRemoved) {
        if (Ini::ReadString(pIni, removed.sKey, "") == removed.sValue) RemoveEntry(pIni, removed.sKey);
    }
    for (const auto& added : lists.mAdded) {
        const std::string sFree = Ini::ReadString(pIni, added.sKey, "").empty() ? added.sKey : FreeKey(pIni);
        if (!sFree.empty()) WriteEntry(pIni, sFree, added.sValue, added.sLines);
    }
    lists.pCommandListIni = std::move(pNow);
}

// Writes the open list's changes into its file; true when there was nothing to write.
bool SaveChanges(uCommandListState& lists, std::string& sReason) {
    if (!lists.pCommandListIni || !lists.fListModified) return true;
    Refresh(lists);
    // The first save of a shipped list makes the user's folder; where that fails, the save
    // names the reason.
    std::error_code ignored;
    const std::filesystem::path file(lists.pCommandListIni->sFileName);
    std::filesystem::create_directories(file.parent_path(), ignored);
    if (!Ini::Save(lists.pCommandListIni.get(), sReason)) return false;
    lists.fListModified = false;
    lists.mAdded.clear();
    lists.mRemoved.clear();
    return true;
}

// Saves the open list (when changed) and frees it; false when the save failed.
bool SaveAndFree(uWindowScpiCommand& window) {
    uCommandListState& lists = window.lists;
    if (!lists.pCommandListIni) return true;
    std::string sReason;
    const bool fSaved = SaveChanges(lists, sReason);
    if (!fSaved)
        Fail(window, Utility::FileFailure("The data could not be written to the file: ",
                                          lists.pCommandListIni->sFileName, sReason));
    Ini::Free(lists.pCommandListIni);
    lists.fListModified = false;
    lists.mAdded.clear();
    lists.mRemoved.clear();
    return fSaved;
}

void ChooseFolder(uWindowScpiCommand& window, bool fFromBox) {
    const int iWindow = window.iWindow;
    QPointer<QFileDialog> pDialog = new QFileDialog(window.pFrame, SelectFolder);
    pDialog->setFileMode(QFileDialog::Directory);
    pDialog->setOption(QFileDialog::ShowDirsOnly);
    pDialog->setOption(QFileDialog::DontUseNativeDialog);
    pDialog->setDirectory(QString::fromStdString(window.lists.sCommandFolder));
    const int iResult = pDialog->exec();
    if (!pDialog) return;
    const QStringList mChosen = pDialog->selectedFiles();
    delete pDialog;
    uWindowScpiCommand* p = nullptr;
    if (!FindInstance(iWindow, &p)) return;
    uCommandListState& lists = p->lists;
    if (iResult != QDialog::Accepted || mChosen.isEmpty()) {
        if (fFromBox && p->gadgets.pListFiles) {
            const QSignalBlocker blocker(p->gadgets.pListFiles);
            p->gadgets.pListFiles->setCurrentIndex(lists.iSelectedIndex);
        }
        return;
    }
    lists.sCommandFolder = QDir::cleanPath(mChosen.front()).toStdString() + "/";
    lists.sShippedFolder.clear();
    lists.sSelectedFile.clear();
    lists.sOpenFile.clear();
    lists.iSelectedIndex = -1;
    FillCommandListFiles(iWindow, 0);
}

void OnListChosen(int iWindow, int iIndex) {
    uWindowScpiCommand* p = nullptr;
    if (!FindInstance(iWindow, &p) || iIndex < 0) return;
    QComboBox* pBox = p->gadgets.pListFiles;
    if (iIndex == pBox->count() - 1) {
        ChooseFolder(*p, true);
        return;
    }
    p->lists.sSelectedFile = pBox->itemText(iIndex).toStdString();
    p->lists.iSelectedIndex = iIndex;
    LoadCommandList(iWindow);
}

const uScpiCommandEntry* EntryOf(const uWindowScpiCommand& window, const QListWidgetItem* pItem) {
    if (!pItem) return nullptr;
    const int iOrder = pItem->data(Qt::UserRole).toInt();
    for (const uScpiCommandEntry& entry : window.lists.mCommandEntries) {
        if (entry.iOrder == iOrder) return &entry;
    }
    return nullptr;
}

void OnEntryClicked(uWindowScpiCommand& window, QListWidgetItem* pItem) {
    const uScpiCommandEntry* pEntry = EntryOf(window, pItem);
    if (!pEntry) return;
    const uGadgets& g = window.gadgets;
    g.pName->setText(QString::fromStdString(pEntry->sName));
    g.pCommand->setPlainText(QString::fromStdString(ReplaceAll(pEntry->sCommand, "\r\n", "\n")));
    const QString sFile = QString::fromStdString(pEntry->sFile);
    g.pFileName->setText(sFile);
    g.pFileName->setToolTip(sFile);
    const bool fFile = !sFile.isEmpty();
    g.pFile->setChecked(fFile);
    g.pBlockFormat->setEnabled(fFile);
    g.pBlockFormat->setChecked(fFile && pEntry->fBlockFormat);
    g.pWaitMav->setChecked(pEntry->fWaitStatusByte);
    g.pWaitSrq->setChecked(pEntry->fWaitServiceRequest);
    g.pVendorSpecific->setChecked(pEntry->fVendorSpecific);
    Detail::SetStatus(window, "");
}

void OnAdd(uWindowScpiCommand& window) {
    const uGadgets& g = window.gadgets;
    const std::string sName = Utility::TrimCharacters(g.pName->text().toStdString(), " \t\r\n");
    const std::string sCommand = Utility::TrimCharacters(g.pCommand->toPlainText().toStdString(), " \t\r\n");
    std::string sLines;
    const std::string sValue = Detail::BuildEntryValue(
        sName, sCommand, g.pVendorSpecific->isChecked(), g.pWaitMav->isChecked(), g.pWaitSrq->isChecked(),
        g.pFile->isChecked(), g.pFileName->text().toStdString(), &sLines);
    uCommandListState& lists = window.lists;
    if (lists.pCommandListIni) {
        uIni* pIni = lists.pCommandListIni.get();
        const std::string sKey = FreeKey(pIni);
        if (!sKey.empty() && WriteEntry(pIni, sKey, sValue, sLines)) {
            lists.fListModified = true;
            lists.mAdded.push_back({sKey, sValue, sLines});
        }
    }
    LoadCommandList(window.iWindow);
    const uScpiCommandEntry added = Detail::ParseEntryValue(sValue, sLines);
    const QString sShown = QString::fromStdString(added.sName.empty() ? added.sCommand : added.sName);
    for (int i = 0; i < g.pCommandList->count(); ++i) {
        if (g.pCommandList->item(i)->text() == sShown) {
            g.pCommandList->setCurrentRow(i);
            break;
        }
    }
}

void OnRemove(uWindowScpiCommand& window) {
    QListWidget* pList = window.gadgets.pCommandList;
    QListWidgetItem* pItem = pList->currentItem();
    if (!pItem || !pItem->isSelected()) return;
    uCommandListState& lists = window.lists;
    const int iOrder = pItem->data(Qt::UserRole).toInt();
    delete pList->takeItem(pList->row(pItem));
    const auto it = std::find_if(lists.mCommandEntries.begin(), lists.mCommandEntries.end(),
                                 [iOrder](const uScpiCommandEntry& e) { return e.iOrder == iOrder; });
    if (it == lists.mCommandEntries.end()) return;
    if (lists.pCommandListIni) {
        uIni* pIni = lists.pCommandListIni.get();
        Ini::SelectSection(pIni, Group);
        // Noted with its value: the save takes out this entry, not another that has its key by then.
        lists.mRemoved.push_back({it->sKey, Ini::ReadString(pIni, it->sKey, ""), ""});
        RemoveEntry(pIni, it->sKey);
        lists.fListModified = true;
    }
    lists.mCommandEntries.erase(it);
}

void OnListSaveAs(uWindowScpiCommand& window) {
    const int iWindow = window.iWindow;
    uCommandListState& lists = window.lists;
    if (std::string sReason; !SaveChanges(lists, sReason)) {
        Fail(window, Utility::FileFailure("The data could not be written to the file: ",
                                          lists.sCommandFolder + lists.sSelectedFile, sReason));
    }
    const std::string sChosen = Detail::AskSaveName(window, "SCPI commands (*.ini)");
    uWindowScpiCommand* p = nullptr;
    if (sChosen.empty() || !FindInstance(iWindow, &p)) return;
    uCommandListState& chosen = p->lists;
    const std::string sTarget = Detail::ListFileName(sChosen);
    std::string sFailure;
    if (!chosen.sCommandFolder.empty() && !chosen.sSelectedFile.empty()) {
        const QString sSource = QString::fromStdString(ReadPath(chosen, chosen.sSelectedFile));
        const QFileInfo source(sSource), target(QString::fromStdString(sTarget));
        // A list copied onto itself is already there.
        if (!(target.exists() && source.canonicalFilePath() == target.canonicalFilePath())) {
            QFile file(sSource);
            QByteArray bytes;
            if (file.open(QIODevice::ReadOnly)) bytes = file.readAll();
            if (!file.isOpen() || file.error() != QFileDevice::NoError ||
                !Detail::WriteFileWhole(sTarget, reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                                        static_cast<std::size_t>(bytes.size()), sFailure)) {
                Fail(*p, sFailure.empty() ? "The file could not be created: " + sTarget : sFailure);
                return;
            }
        }
    } else {
        const std::string sTemplate = Detail::CommandListTemplate;
        if (!Detail::WriteFileWhole(sTarget, reinterpret_cast<const std::uint8_t*>(sTemplate.data()), sTemplate.size(),
                                    sFailure)) {
            Fail(*p, sFailure);
            return;
        }
    }
    const QString sTargetFolder = QFileInfo(QString::fromStdString(sTarget)).absolutePath();
    const QString sFolder = QDir::cleanPath(QString::fromStdString(chosen.sCommandFolder));
    if (!chosen.sCommandFolder.empty() && sTargetFolder.compare(sFolder, Qt::CaseInsensitive) == 0) {
        FillCommandListFiles(iWindow, 1);
    }
}

} // namespace

void FillCommandListFiles(int iWindow, int fKeep) {
    uWindowScpiCommand* p = nullptr;
    if (!FindInstance(iWindow, &p) || !p->gadgets.pListFiles) return;
    uCommandListState& lists = p->lists;
    if (lists.sCommandFolder.empty()) ChooseDefaultFolders(lists);
    std::vector<std::string> mNames;
    const bool fOwn = ListFiles(lists.sCommandFolder, mNames);
    if (ListFiles(lists.sShippedFolder, mNames) || fOwn) {
        std::sort(mNames.begin(), mNames.end());
        mNames.erase(std::unique(mNames.begin(), mNames.end()), mNames.end());
    } else {
        Detail::SetStatus(*p, "");
    }
    QComboBox* pBox = p->gadgets.pListFiles;
    {
        const QSignalBlocker blocker(pBox);
        pBox->clear();
        for (const std::string& sName : mNames) pBox->addItem(QString::fromStdString(sName));
        pBox->addItem(SelectFolder);
        lists.sOpenFile = lists.sSelectedFile;
        lists.sSelectedFile.clear();
        int iChosen = -1;
        const std::string& sWanted = fKeep == 0 ? std::string("Standard.ini") : lists.sOpenFile;
        for (std::size_t i = 0; i < mNames.size() && iChosen < 0; ++i) {
            if (SameNoCase(mNames[i], sWanted)) iChosen = static_cast<int>(i);
        }
        if (iChosen < 0 && !mNames.empty()) iChosen = 0;
        lists.iSelectedIndex = iChosen;
        pBox->setCurrentIndex(iChosen);
        if (iChosen >= 0) lists.sSelectedFile = mNames[static_cast<std::size_t>(iChosen)];
    }
    // The box shows its longest name whole: the list pane takes the room it needs now.
    pBox->setMinimumWidth(pBox->sizeHint().width());
    p->gadgets.pSplitterTop->refresh();
    if (lists.iSelectedIndex >= 0) {
        LoadCommandList(iWindow);
    } else {
        // No list file: the list shown before is closed, nothing new is loaded.
        Detail::CloseCommandList(*p);
        lists.mCommandEntries.clear();
        p->gadgets.pCommandList->clear();
    }
}

void LoadCommandList(int iWindow) {
    uWindowScpiCommand* p = nullptr;
    if (!FindInstance(iWindow, &p)) return;
    uWindowScpiCommand& window = *p;
    uCommandListState& lists = window.lists;
    window.gadgets.pCommandList->clear();
    lists.mCommandEntries.clear();
    const bool fSaved = SaveAndFree(window);
    const std::string sPath = ReadPath(lists, lists.sSelectedFile);
    lists.pCommandListIni = Ini::Open(sPath, IniFlagsProgram);
    if (!lists.pCommandListIni) {
        Fail(window, "File could not be opened: " + sPath);
        return;
    }
    // A shipped list is saved into the command folder. A failed save of the list before keeps
    // its reason in the status field.
    lists.pCommandListIni->sFileName = lists.sCommandFolder + lists.sSelectedFile;
    if (fSaved) Detail::SetStatus(window, sPath);
    uIni* pIni = lists.pCommandListIni.get();
    Ini::SelectSection(pIni, Group);
    Ini::ExamineKeys(pIni);
    std::vector<std::pair<std::string, std::string>> mStored; // key and value, in file order
    while (Ini::NextKey(pIni)) mStored.emplace_back(Ini::KeyName(pIni), Ini::KeyValue(pIni));
    Ini::SelectSection(pIni, LinesGroup);
    int iOrder = 0;
    for (const auto& [sKey, sValue] : mStored) {
        ++iOrder;
        if (sKey.empty()) continue;
        uScpiCommandEntry entry = Detail::ParseEntryValue(sValue, Ini::ReadString(pIni, sKey, ""));
        entry.sKey = sKey;
        entry.iOrder = iOrder;
        lists.mCommandEntries.push_back(std::move(entry));
    }
    Ini::SelectSection(pIni, Group);
    std::stable_sort(lists.mCommandEntries.begin(), lists.mCommandEntries.end(),
                     [](const uScpiCommandEntry& a, const uScpiCommandEntry& b) { return a.sName < b.sName; });
    for (const uScpiCommandEntry& entry : lists.mCommandEntries) {
        auto* pItem = new QListWidgetItem(QString::fromStdString(entry.sName.empty() ? entry.sCommand : entry.sName));
        pItem->setData(Qt::UserRole, entry.iOrder);
        window.gadgets.pCommandList->addItem(pItem);
    }
}

namespace Detail {

uScpiCommandEntry ParseEntryValue(const std::string& sValue, const std::string& sLines) {
    uScpiCommandEntry entry;
    std::string sRest = sValue;
    if (!sRest.empty() && sRest[0] == '[') {
        if (const std::size_t iClose = sRest.find(']', 1); iClose != std::string::npos) {
            entry.sName = sRest.substr(1, iClose - 1);
            sRest.erase(0, iClose + 1);
        }
    }
    if (!sRest.empty() && sRest[0] == '{') {
        if (const std::size_t iClose = sRest.find('}'); iClose != std::string::npos) {
            const std::string sOptions = sRest.substr(1, iClose - 1);
            entry.fWaitStatusByte = sOptions.find("Wstb") != std::string::npos;
            entry.fWaitServiceRequest = sOptions.find("Wsrq") != std::string::npos;
            entry.fVendorSpecific = sOptions.find('V') != std::string::npos;
            sRest.erase(0, iClose + 1);
        }
    }
    if (const std::size_t iFile = sRest.find("|FILE|"); iFile != std::string::npos) {
        entry.sFile = sRest.substr(iFile + 6);
        sRest.erase(iFile + 6);
    }
    entry.fBlockFormat = sRest.find("|#NM|") != std::string::npos;
    entry.sCommand = CommandLines(sRest, sLines);
    return entry;
}

std::string BuildEntryValue(const std::string& sName, const std::string& sCommand, bool fVendorSpecific,
                            bool fWaitStatusByte, bool fWaitServiceRequest, bool fFile,
                            const std::string& sFile, std::string* pLines) {
    std::string sValue;
    if (!sName.empty()) sValue = "[" + sName + "]";
    if (fVendorSpecific || fWaitStatusByte || fWaitServiceRequest) {
        sValue += "{";
        if (fVendorSpecific) sValue += "V";
        if (fWaitStatusByte) sValue += "Wstb";
        if (fWaitServiceRequest) sValue += "Wsrq";
        sValue += "}";
    }
    // Line breaks (CR LF, or LF alone as the editor gives them) become ";", each ";" marked.
    std::string sJoined, sLines;
    for (const char c : ReplaceAll(sCommand, "\r\n", "\n")) {
        if (c == ';' || c == '\n') sLines += c == '\n' ? '1' : '0';
        sJoined += c == '\n' ? ';' : c;
    }
    sJoined = ReplaceAll(sJoined, "|FILE|", ""); // which holds no ";": the marks stay in step
    if (pLines) *pLines = CommandLines(sJoined, "") == CommandLines(sJoined, sLines) ? "" : sLines;
    sValue += sJoined;
    if (fFile && !sFile.empty()) sValue += "|FILE|" + sFile;
    return sValue;
}

std::string ListFileName(const std::string& sChosen) {
    const std::size_t iSlash = sChosen.find_last_of('/');
    const std::size_t iNameStart = iSlash == std::string::npos ? 0 : iSlash + 1;
    const std::size_t iDot = sChosen.find_last_of('.');
    if (iDot == std::string::npos || iDot < iNameStart) return sChosen + ".ini";
    if (SameNoCase(sChosen.substr(iDot + 1), "ini")) return sChosen;
    return sChosen.substr(0, iDot) + ".ini";
}

void CloseCommandList(uWindowScpiCommand& window) { SaveAndFree(window); }

void BindListHandlers(uWindowScpiCommand& window) {
    const int iWindow = window.iWindow;
    const uGadgets& g = window.gadgets;
    const auto on = [iWindow](void (*fn)(uWindowScpiCommand&)) { return OnWindow(iWindow, fn); };
    QObject::connect(g.pListFiles, &QComboBox::currentIndexChanged, g.pListFiles,
                     [iWindow](int iIndex) { OnListChosen(iWindow, iIndex); });
    QObject::connect(g.pFolder, &QToolButton::clicked, g.pFolder,
                     on([](uWindowScpiCommand& w) { ChooseFolder(w, false); }));
    QObject::connect(g.pCommandList, &QListWidget::itemClicked, g.pCommandList, [iWindow](QListWidgetItem* pItem) {
        uWindowScpiCommand* p = nullptr;
        if (FindInstance(iWindow, &p)) OnEntryClicked(*p, pItem);
    });
    QObject::connect(g.pAdd, &QPushButton::clicked, g.pAdd, on(OnAdd));
    QObject::connect(g.pRemove, &QPushButton::clicked, g.pRemove, on(OnRemove));
    QObject::connect(g.pListSaveAs, &QPushButton::clicked, g.pListSaveAs, on(OnListSaveAs));
}

} // namespace Detail

} // namespace WindowScpiCommand
