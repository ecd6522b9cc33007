// The LAN and serial instruments that the user adds by hand: one numbered key of config.ini
// per entry, shown in the lists of the two "Add" pages and made into instrument objects by the
// instrument core.
#include "app/Main.h"
#include "common/Ini.h"
#include "common/NumberText.h"
#include "common/TextRoutines.h"
#include "common/UtilityGui.h"
#include "instrument/ConnectionDescription.h"
#include "instrument/ManualInstruments.h"
#include "instrument/ModelTable.h"
#include "windows/select/WindowSelectInstrumentRecord.h"

#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QTreeWidget>

#include <arpa/inet.h>

#include <charconv>
#include <string>
#include <vector>

namespace WindowSelectInstrument {
namespace {

// A key is looked for among this many numbers from the group's key count on.
constexpr int KeyTries = 1000;
const std::string FieldSeparator = "||";

std::string Text(const QComboBox* pCombo) { return pCombo ? pCombo->currentText().toStdString() : std::string(); }
std::string Text(const QLineEdit* pField) { return pField ? pField->text().toStdString() : std::string(); }

// The list item of a stored value: its first separator joins maker and model, every further
// one starts a column.
std::vector<std::string> ItemColumns(const std::string& sKey, const std::string& sValue) {
    std::string sText = sValue;
    if (const std::size_t i = sText.find(FieldSeparator); i != std::string::npos) sText.replace(i, 2, " ");
    std::vector<std::string> columns;
    Utility::SplitStringToList(sText, columns, FieldSeparator);
    columns.insert(columns.begin(), sKey);
    return columns;
}

void AddItem(QTreeWidget* pList, const std::vector<std::string>& columns) {
    QStringList texts;
    for (int i = 0; i < pList->columnCount(); ++i) {
        texts << (i < static_cast<int>(columns.size()) ? QString::fromStdString(columns[static_cast<std::size_t>(i)]) : QString());
    }
    pList->addTopLevelItem(new QTreeWidgetItem(texts));
}

// The serial columns as the user reads them: speed and stop bits in the user's locale, parity
// and flow control by name.
std::vector<std::string> SerialColumns(const std::string& sKey, const std::string& sValue) {
    std::vector<std::string> columns = ItemColumns(sKey, sValue);
    uTaskPrepare prepare;
    Instrument::ManualSerialRecord(sValue, prepare);
    columns.resize(std::max<std::size_t>(columns.size(), 8));
    if (!columns[3].empty()) columns[3] = Utility::StrDLocalized(static_cast<double>(prepare.serial.iBaudRate), 0);
    if (!columns[5].empty()) columns[5] = Utility::StrDLocalized(prepare.serial.fStopBits, -1);
    const auto name = [](const auto& texts, const std::string& sIndex) -> std::string {
        const std::int64_t i = Instrument::LeadingInteger(sIndex);
        return !sIndex.empty() && i >= 0 && i < static_cast<std::int64_t>(texts.size()) ? texts[static_cast<std::size_t>(i)] : sIndex;
    };
    columns[6] = name(ParityTexts, columns[6]);
    columns[7] = name(FlowControlTexts, columns[7]);
    return columns;
}

void LoadList(QTreeWidget* pList, const char* sGroup, bool fSerial) {
    uIni* pIni = Main::ConfigIni();
    if (!pList) return;
    pList->clear();
    if (pIni && Ini::SelectSection(pIni, sGroup)) {
        const int iKeys = Ini::ExamineKeys(pIni);
        for (int i = 0; i < iKeys && Ini::NextKey(pIni); ++i) {
            const std::string sKey = Ini::KeyName(pIni), sValue = Ini::KeyValue(pIni);
            AddItem(pList, fSerial ? SerialColumns(sKey, sValue) : ItemColumns(sKey, sValue));
        }
    }
    Utility::ListIconAutoSizeColumns(pList, 0, 0);
}

// Stores the value under the first free key from the group's key count on; the key, or "" when
// it was not stored, and the status bar says why.
std::string StoreEntry(uWindowSelectInstrument& w, const char* sGroup, const std::string& sValue) {
    uIni* pIni = Main::ConfigIni();
    if (!pIni || !Ini::SelectSection(pIni, sGroup)) {
        const std::string& sProblem = Main::ConfigProblem();
        SetStatusText(w, "The entry was not added: " + (sProblem.empty() ? "config.ini is not open." : sProblem));
        return "";
    }
    const int iFirst = Ini::ExamineKeys(pIni);
    for (int i = iFirst; i < iFirst + KeyTries; ++i) {
        const std::string sKey = std::to_string(i);
        if (!Ini::ReadString(pIni, sKey, "").empty()) continue;
        Ini::WriteString(pIni, sKey, sValue);
        return sKey;
    }
    SetStatusText(w, "The entry was not added: no free key was found.");
    return "";
}

// A text that holds the field separator would shift every later field of the record.
bool Refused(uWindowSelectInstrument& w, std::initializer_list<const std::string*> texts) {
    for (const std::string* p : texts) {
        if (p->find(FieldSeparator) == std::string::npos) continue;
        SetStatusText(w, "The entry was not added: a text must not contain \"||\".");
        return true;
    }
    return false;
}

// The key of a stored entry whose fields at the given places equal those of sValue (blanks
// around them ignored); "" when there is none. Two entries of one instrument would both be
// listed, and the second connect would find the port taken.
std::string StoredKeyOf(const char* sGroup, const std::string& sValue, std::initializer_list<std::size_t> fields) {
    uIni* pIni = Main::ConfigIni();
    if (!pIni || !Ini::SelectSection(pIni, sGroup)) return "";
    std::vector<std::string> wanted;
    Utility::SplitStringToList(sValue, wanted, FieldSeparator);
    const auto same = [&](const std::vector<std::string>& stored) {
        for (const std::size_t i : fields) {
            const std::string a = i < wanted.size() ? Utility::TrimCharacters(wanted[i], " ") : "";
            const std::string b = i < stored.size() ? Utility::TrimCharacters(stored[i], " ") : "";
            if (a != b) return false;
        }
        return true;
    };
    const int iKeys = Ini::ExamineKeys(pIni);
    for (int i = 0; i < iKeys && Ini::NextKey(pIni); ++i) {
        std::vector<std::string> stored;
        Utility::SplitStringToList(Ini::KeyValue(pIni), stored, FieldSeparator);
        if (same(stored)) return Ini::KeyName(pIni);
    }
    return "";
}

bool WholeIpv4(const std::string& sIp) {
    in_addr address{};
    return inet_pton(AF_INET, sIp.c_str(), &address) == 1;
}

// An entry must name a model that has a record of commands and capabilities: one without
// would connect and read *IDN?, and then every window of it would send nothing.
bool UnknownModel(uWindowSelectInstrument& w, const std::string& sMaker, const std::string& sModel) {
    uTaskPrepare prepare;
    prepare.fUserModel = 1;
    prepare.sUserManufacturer = sMaker;
    prepare.sUserModel = sModel;
    if (Instrument::GetModelFromIdn(prepare, uIdn{}, 0) != ModelGeneric) return false;
    SetStatusText(w, "The entry was not added: the program knows no model \"" + sModel + "\" of \"" + sMaker +
                         "\". Choose the maker and the model from the lists.");
    return true;
}

// A port field must hold a port number from 1 to 65535 (with fNoneAllowed also nothing or 0:
// the portmapper is asked); otherwise the status bar names the field and its text.
bool BadPort(uWindowSelectInstrument& w, const QLineEdit* pField, const char* sName, bool fNoneAllowed) {
    const std::string sText = Utility::TrimCharacters(Text(pField), " ");
    int iPort = -1;
    const char* pEnd = sText.data() + sText.size();
    const auto [pStop, iError] = std::from_chars(sText.data(), pEnd, iPort);
    const bool fNumber = !sText.empty() && sText[0] != '-' && iError == std::errc() && pStop == pEnd;
    if (fNoneAllowed && (sText.empty() || (fNumber && iPort == 0))) return false;
    if (fNumber && iPort >= 1 && iPort <= 65535) return false;
    SetStatusText(w, std::string("The entry was not added: the ") + sName + " \"" + sText +
                         "\" is not a port number from 1 to 65535.");
    return true;
}

void Added(uWindowSelectInstrument& w, QTreeWidget* pList, const std::vector<std::string>& columns) {
    AddItem(pList, columns);
    Utility::ListIconAutoSizeColumns(pList, 0, 0);
    std::string sError;
    SetStatusText(w, Main::SaveConfig(sError) ? std::string() : sError);
    Instrument::InstrumentLoadManuallyAdded(Main::ConfigIni());
    FillInstrumentList(w.iWindow);
}

void RemoveSelected(QTreeWidget* pList, const char* sGroup) {
    if (!pList) return;
    QTreeWidgetItem* pItem = pList->currentItem();
    if (!pItem || !pItem->isSelected()) return;
    const std::string sKey = pItem->text(0).toStdString();
    delete pItem;
    if (uIni* pIni = Main::ConfigIni(); pIni && Ini::SelectSection(pIni, sGroup)) Ini::RemoveKey(pIni, sKey);
    std::string sIgnored; // a failure is in the log
    Main::SaveConfig(sIgnored);
}

// A port field as stored: trimmed of blanks, empty when its number is 0.
std::string PortField(const QLineEdit* pField) {
    const std::string s = Utility::TrimCharacters(Text(pField), " ");
    return Instrument::LeadingInteger(s) == 0 ? std::string() : s;
}

} // namespace

void LoadLanInstrumentList(int iWindow) {
    if (uWindowSelectInstrument* w = Record(iWindow)) LoadList(w->lan.pList, Instrument::ManualLanGroup, false);
}

void LoadSerialInstrumentList(int iWindow) {
    if (uWindowSelectInstrument* w = Record(iWindow)) LoadList(w->serial.pList, Instrument::ManualSerialGroup, true);
}

void AddLanInstrument(int iWindow) {
    uWindowSelectInstrument* w = Record(iWindow);
    if (!w || !w->lan.pList || !w->lan.pAdapter) return;
    const uLanPage& g = w->lan;
    const bool fLxi = g.pLxi->isChecked(), fRaw = g.pRaw->isChecked();
    const std::string sMaker = Text(g.pMaker), sModel = Text(g.pModel), sIp = Utility::TrimCharacters(Text(g.pIp), " ");
    if (Refused(*w, {&sMaker, &sModel, &sIp}) || UnknownModel(*w, sMaker, sModel)) return;
    if (!WholeIpv4(sIp)) {
        SetStatusText(*w, "The entry was not added: \"" + sIp +
                              "\" is not a whole IPv4 address (four numbers from 0 to 255, such as 192.168.1.20).");
        return;
    }
    if (fLxi && (BadPort(*w, g.pRpcPort, "RPC Port", false) || BadPort(*w, g.pVxiPort, "VXI-11 Port", true))) return;
    if (fRaw && BadPort(*w, g.pIpPort, "IP Port", false)) return;
    // An instrument on this PC goes through loopback, which the adapter list leaves out.
    Network::uNetworkAdapter adapter;
    const int k = w->lan.pAdapter->currentData().toInt();
    if (Network::IsLoopbackAddress(Utility::TrimCharacters(sIp, " "))) {
        adapter = Network::LoopbackAdapter();
    } else if (w->lan.pAdapter->currentIndex() >= 0 && k >= 1 && k <= w->iAdapterCount) {
        adapter = w->mAdapter[static_cast<std::size_t>(k)];
    } else {
        SetStatusText(*w, "The entry was not added: no network adapter was chosen.");
        return;
    }
    const std::vector<std::string> fields = {sMaker,
                                             sModel,
                                             sIp,
                                             fLxi ? Utility::TrimCharacters(Text(g.pRpcPort), " ") : "",
                                             fLxi ? PortField(g.pVxiPort) : "",
                                             fRaw ? PortField(g.pIpPort) : "",
                                             adapter.sConnectionName,
                                             adapter.sIpAddress,
                                             fLxi ? "LXI" : (fRaw ? "Raw" : "Error")};
    std::string sValue;
    for (std::size_t i = 0; i < fields.size(); ++i) sValue += (i ? FieldSeparator : "") + fields[i];
    // The same address, ports and type: the same instrument, whatever its description.
    if (!StoredKeyOf(Instrument::ManualLanGroup, sValue, {2, 3, 4, 5, 8}).empty()) {
        SetStatusText(*w, "The entry was not added: an entry for " + sIp + " with these ports is already stored.");
        return;
    }
    const std::string sKey = StoreEntry(*w, Instrument::ManualLanGroup, sValue);
    if (sKey.empty()) return;
    Added(*w, w->lan.pList, ItemColumns(sKey, sValue));
}

void AddSerialInstrument(int iWindow) {
    uWindowSelectInstrument* w = Record(iWindow);
    if (!w || !w->serial.pList) return;
    const uSerialPage& g = w->serial;
    const std::string sPort = Text(g.pPort);
    if (sPort.empty()) return;
    const std::string sMaker = Text(g.pMaker), sModel = Text(g.pModel);
    if (Refused(*w, {&sMaker, &sModel, &sPort}) || UnknownModel(*w, sMaker, sModel)) return;
    // Speed and stop bits as plain numbers; the lists show them in the user's locale.
    const std::vector<std::string> fields = {sMaker,
                                             sModel,
                                             sPort,
                                             g.pSpeed->currentData().toString().toStdString(),
                                             g.pDataBits->currentData().toString().toStdString(),
                                             g.pStopBits->currentData().toString().toStdString(),
                                             std::to_string(std::max(g.pParity->currentIndex(), 0)),
                                             std::to_string(std::max(g.pFlowControl->currentIndex(), 0))};
    std::string sValue;
    for (const std::string& s : fields) sValue += s + FieldSeparator;
    // The same port with the same line settings: the same instrument, whatever its description.
    if (!StoredKeyOf(Instrument::ManualSerialGroup, sValue, {2, 3, 4, 5, 6, 7}).empty()) {
        SetStatusText(*w, "The entry was not added: an entry for the port " + sPort + " with these settings is already stored.");
        return;
    }
    const std::string sKey = StoreEntry(*w, Instrument::ManualSerialGroup, sValue);
    if (sKey.empty()) return;
    Added(*w, w->serial.pList, SerialColumns(sKey, sValue));
}

void RemoveLanInstrument(int iWindow) {
    if (uWindowSelectInstrument* w = Record(iWindow)) RemoveSelected(w->lan.pList, Instrument::ManualLanGroup);
}

void RemoveSerialInstrument(int iWindow) {
    if (uWindowSelectInstrument* w = Record(iWindow)) RemoveSelected(w->serial.pList, Instrument::ManualSerialGroup);
}

} // namespace WindowSelectInstrument
