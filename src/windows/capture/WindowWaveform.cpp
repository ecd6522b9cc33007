// The waveform window: its record, gadgets, the events it follows, its option rows and the
// buttons that read.
#include "windows/capture/WindowWaveform.h"

#include "app/ChildWindow.h"
#include "app/Window.h"
#include "app/WindowKinds.h"
#include "common/UtilityGui.h"
#include "common/WindowLog.h"
#include "instrument/ModelTable.h"
#include "platform/EventHub.h"
#include "platform/ProgramEvents.h"
#include "platform/WindowFrame.h"
#include "platform/WindowRegistry.h"
#include "waveform/WaveformData.h"
#include "windows/capture/OptionList.h"
#include "windows/capture/WaveformChannels.h"
#include "windows/capture/WaveformRequests.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QTreeWidget>

#include <algorithm>
#include <map>
#include <set>

namespace WindowWaveform {
namespace {

// The open waveform windows by window number; GUI thread only.
std::map<int, std::unique_ptr<uWindowWaveform>> mWindowWaveform;
std::int64_t iCreationCounter = 0;

uCaptureKind Kind() {
    uCaptureKind kind;
    kind.iKind = WindowKindWaveform;
    kind.sTitle = "Waveform";
    kind.sGroup = Group;
    kind.sTemplateGroup = TemplateGroup;
    kind.sDefaultTemplate = DefaultTemplate;
    kind.iWidth = 235;
    kind.iHeight = 455;
    kind.sReadButton = "Waveform";
    kind.sOptionsColumn = "Options";
    kind.iViewerKind = WindowKindWaveformViewer;
    kind.iOptionsEvent = EventTypeWaveformOptions;
    kind.sEscapeName = "WaveformEscape";
    return kind;
}

uWaveformPumpInstrument PumpInstrument(const uInstrumentWindowInfo& info) {
    return {info.pInstrument, TakesRequests(info), info.capabilities.bWaveform != 0, info.eModel,
            info.sManufacturer, info.sModel, !info.fConnected && info.fLost};
}

} // namespace

bool GetInstance(int iWindow, uWindowWaveform** ppRecord) {
    // The shared registry knows the window from the moment its frame exists, so that the
    // window's own steps of opening find it too.
    auto* p = dynamic_cast<uWindowWaveform*>(CaptureWindow::Find(iWindow));
    if (!p) return false;
    if (ppRecord) *ppRecord = p;
    return true;
}

int Open(int iMainWindow, int iChild, uInstrumentWindowInfo* pInfo) {
    auto pRecord = std::make_unique<uWindowWaveform>();
    pRecord->iCreation = ++iCreationCounter;
    const int iWindow = pRecord->Open(iMainWindow, iChild, pInfo);
    if (iWindow == 0) return 0;
    mWindowWaveform[iWindow] = std::move(pRecord);
    return iWindow;
}

void Close(int iWindow, int iClosingMain) {
    uWindowWaveform* p = nullptr;
    if (GetInstance(iWindow, &p)) p->Close(iClosingMain);
    else ChildWindow::Close(iWindow, iClosingMain);
}

int UpdateMenus(int iWindow) {
    uWindowWaveform* p = nullptr;
    return GetInstance(iWindow, &p) ? p->UpdateMenus() : 0;
}

void RegisterKind() {
    WindowKinds::Register(WindowKindWaveform, {Open, [](int iWindow) { UpdateMenus(iWindow); }});
}

void DisableGadgets(int iWindow, bool fDisable) {
    if (uWindowWaveform* p = nullptr; GetInstance(iWindow, &p)) p->DisableGadgets(fDisable);
}
void UpdateMenuState(int iWindow) {
    if (uWindowWaveform* p = nullptr; GetInstance(iWindow, &p)) p->UpdateMenuState();
}
void UpdateTitle(int iWindow) {
    if (uWindowWaveform* p = nullptr; GetInstance(iWindow, &p)) p->UpdateTitle();
}
void PostViewerSync(int iWindow) {
    if (uWindowWaveform* p = nullptr; GetInstance(iWindow, &p)) p->PostViewerSync();
}
void OpenViewer(int iWindow) {
    if (uWindowWaveform* p = nullptr; GetInstance(iWindow, &p)) p->OpenViewer();
}
void StopRequestData(int iWindow) {
    if (uWindowWaveform* p = nullptr; GetInstance(iWindow, &p)) WaveformPump::StopRequestData(p->pump);
}
void FillChannelList(int iWindow) {
    if (uWindowWaveform* p = nullptr; GetInstance(iWindow, &p)) p->FillChannelList(p->pump);
}

void LogInstrument(int iWindow) {
    uWindowWaveform* p = nullptr;
    // A window without an instrument (one a workspace opened) has no command to tell.
    if (!GetInstance(iWindow, &p) || !p->info.fConnected) return;
    WindowLog::AddLine(p->info.sModel + " - Waveform SCPI Command: " + p->sWaveformCommand);
}

void FillSourceList(int iWindow) {
    uWindowWaveform* p = nullptr;
    if (!GetInstance(iWindow, &p) || !p->pSource) return;
    p->pSource->clear();
    const WaveformChannels::uSourceList sources = WaveformChannels::SourceList(p->info.commands);
    for (const std::int64_t eSource : sources.mSources) {
        p->pSource->addItem(QString::fromStdString(WaveformChannels::DataSourceName(eSource)),
                            QVariant::fromValue<qlonglong>(eSource));
    }
    if (!sources.mSources.empty()) p->pSource->setCurrentIndex(static_cast<int>(sources.iSelected));
}

int FillOptionList(int iWindow) {
    uWindowWaveform* p = nullptr;
    if (!GetInstance(iWindow, &p) || !p->gadgets.pOptionList) return 0;
    const std::string sSaved = OptionList::ReadSaved(Group, p->info.sModel);
    const std::int64_t iColor = OptionList::ReadBackColor(Group);
    const std::vector<uOptionRow> rows =
        WaveformOptions::FillOptionRows(p->info.eModel, p->info.commands.waveform, sSaved, p->options);
    p->gadgets.pOptionList->SetRows(rows, iColor);
    p->SetOptionsTitle(p->options.fBefore != 0 || p->options.fAfter != 0);
    return 0;
}

} // namespace WindowWaveform

using namespace WindowWaveform;

uWindowWaveform::uWindowWaveform() : CaptureWindow(Kind()) {}

uWindowWaveform::~uWindowWaveform() = default;

bool uWindowWaveform::Usable(const uInstrumentWindowInfo& instrument) const {
    return instrument.capabilities.bWaveform != 0;
}

int uWindowWaveform::BuildTab(QWidget* pTab, int iTop, int iWidth) {
    pFormat = new QComboBox(pTab);
    pFormat->addItem("CSV, Comma-separated values per channel", 1);
    pFormat->addItem("CSV, Semicolon-separated values per channel", 2);
    pFormat->addItem("BIN, Binary file per channel", 3);
    pFormat->setCurrentIndex(0);
    // The format's texts show whole; the window widens for them.
    iWidth = std::max(iWidth, pFormat->sizeHint().width());
    pFormat->setGeometry(10, iTop, iWidth, RowHeight);
    WidenDropDown(pFormat);
    int y = iTop + RowHeight + 20;
    // "Refresh" beside the source box: the height it took below the list goes to the list.
    pSource = new QComboBox(pTab);
    pRefresh = new QPushButton("Refresh", pTab);
    const int iRefreshWidth = std::max(MinButtonWidth, pRefresh->sizeHint().width() + 10);
    pSource->setGeometry(10, y, std::max(1, iWidth - iRefreshWidth - 10), RowHeight);
    pRefresh->setGeometry(10 + iWidth - iRefreshWidth, y, iRefreshWidth, RowHeight);
    y += RowHeight + RowGap;
    pChannels = new QTreeWidget(pTab);
    pChannels->setColumnCount(2);
    pChannels->setHeaderLabels({"Channels", QString()});
    pChannels->setColumnWidth(0, 170);
    pChannels->setColumnWidth(1, 100);
    pChannels->setRootIsDecorated(false);
    pChannels->setSelectionMode(QAbstractItemView::NoSelection);
    // The list grows with the window; the window's minimum holds it with the four channels of a
    // four-channel oscilloscope and a scroll bar under them, so that a new window shows them all
    // and still fits the area of a new main window with its status line in view.
    const int iScrollBar = pChannels->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, pChannels);
    const int iListHeight = Utility::ListHeightForRows(pChannels, 4) + iScrollBar;
    pChannels->setGeometry(10, y, iWidth, iListHeight);
    y += iListHeight;

    const int iSelf = iWindow;
    QObject::connect(pRefresh, &QPushButton::clicked, pRefresh, [iSelf] {
        uWindowWaveform* p = nullptr;
        if (GetInstance(iSelf, &p) && !p->SayUnusable()) WaveformRequests::RefreshChannels(p->pump);
    });
    QObject::connect(pChannels, &QTreeWidget::itemChanged, pChannels, [iSelf](QTreeWidgetItem*, int) {
        uWindowWaveform* p = nullptr;
        if (GetInstance(iSelf, &p) && p->pChannels) p->pChannels->clearSelection();
    });
    return y;
}

int uWindowWaveform::ContentHeight(int iBottom) const {
    // The tab's items start below the panel's offset, its tab bar and frame.
    const int iTabBar = gadgets.pPanel ? gadgets.pPanel->sizeHint().height() - 10 : 30;
    return iBottom + 10 + std::max(25, std::min(iTabBar, 40)) + 10;
}

void uWindowWaveform::LayoutTab(int iWidth, int iHeight) {
    if (!pChannels) return;
    pChannels->resize(std::max(1, iWidth - 20), std::max(1, iHeight - RowGap - pChannels->y()));
}

void uWindowWaveform::BindKind() {
    pump.iWindow = iWindow;
    pump.pWindow = this;
    timers = WaveformWindowTimers(iWindow);
    pump.pTimers = &timers;
    WaveformPump::SetInstrument(pump, PumpInstrument(info));
    WaveformPump::Bind(pump);
    const int iSelf = iWindow;
    EventHub::Bind(EventWaveformSaveStatus, iSelf, [iSelf](const EventHub::uEvent& e) {
        EventSaveProgress(iSelf, e.iType, e);
    });
}

void uWindowWaveform::Opened() {
    sWaveformCommand = WaveformRequests::VisibleChannelsCommand(info.eModel);
    LogInstrument(iWindow);
    FillOptionList(iWindow);
    FillSourceList(iWindow);
    FillChannelList(pump);
}

void uWindowWaveform::AddLine(const std::string& sText) { WindowLog::AddLine(sText); }
void uWindowWaveform::AddError(const std::string& sText) {
    if (WaveformPump::NoteReadFailure(pump, sText)) WindowLog::AddError(sText);
}

std::vector<std::int64_t> uWindowWaveform::TickedChannels() const {
    std::vector<std::int64_t> channels;
    if (!pChannels) return channels;
    for (int i = 0; i < pChannels->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* pItem = pChannels->topLevelItem(i);
        if (pItem->checkState(0) == Qt::Checked) channels.push_back(pItem->data(0, Qt::UserRole).toLongLong());
    }
    return channels;
}

bool uWindowWaveform::ChannelTicked() { return !TickedChannels().empty(); }

std::int64_t uWindowWaveform::Format() const {
    const std::int64_t iFormat = pFormat ? pFormat->currentData().toLongLong() : 1;
    return iFormat >= 1 && iFormat <= 3 ? iFormat : 1;
}

std::int64_t uWindowWaveform::DataSource() const {
    return pSource && pSource->currentIndex() >= 0 ? pSource->currentData().toLongLong() : std::int64_t{DataSourceNone};
}

std::size_t uWindowWaveform::CreateSendRequestList(uWaveformPump& thePump) {
    return WaveformRequests::CreateSendRequestList(thePump, options, DataSource(), TickedChannels());
}

void uWindowWaveform::FillChannelList(uWaveformPump& thePump) {
    if (!pChannels) return;
    const std::vector<std::int64_t> ticked = TickedChannels();
    const std::set<std::int64_t> was(ticked.begin(), ticked.end());
    QSignalBlocker block(pChannels);
    pChannels->clear();
    const bool fLogicText = !thePump.sLogicAll.empty() || !thePump.sLogicPod1.empty() || !thePump.sLogicPod2.empty();
    for (const std::int64_t eWaveform : thePump.mChannelData) {
        const std::string sName = WaveformChannels::GetChannelTypeName(eWaveform);
        if (sName.empty()) continue;
        auto* pItem = new QTreeWidgetItem(pChannels);
        pItem->setText(0, QString::fromStdString(sName));
        pItem->setData(0, Qt::UserRole, QVariant::fromValue<qlonglong>(eWaveform));
        pItem->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
        QString sSecond;
        if (eWaveform >= WaveformChannel1 && eWaveform <= WaveformChannel4) {
            if (thePump.iAcquireType == 3) sSecond = "Envelope";
            else if (thePump.iAcquireType == 2) sSecond = "Average";
        } else if (eWaveform == WaveformLogic && fLogicText) {
            sSecond = QString::fromStdString(thePump.sLogicAll);
        }
        pItem->setText(1, sSecond);
        pItem->setCheckState(0, was.count(eWaveform) != 0 ? Qt::Checked : Qt::Unchecked);
    }
    Utility::ListIconAutoSizeColumns(pChannels, 0, 0);
}

void uWindowWaveform::StartReading() {
    uWaveformStart start;
    start.fAutomatically = gadgets.pAutomatic && gadgets.pAutomatic->isChecked();
    start.sInterval = gadgets.pInterval ? gadgets.pInterval->text().toStdString() : "";
    start.iUnit = gadgets.pUnit ? gadgets.pUnit->currentData().toInt() : 0;
    pump.fSaveAutomatically = fSaveAutomatically;
    pump.sAutomaticFolder = sAutomaticFolder;
    WaveformPump::StartReading(pump, start);
}

void uWindowWaveform::Cancel() { WaveformPump::Cancel(pump); }

void uWindowWaveform::Save() { WindowWaveform::SaveWaveform(iWindow, false); }

void uWindowWaveform::SaveWaveform(uWaveformPump& thePump) {
    // The end of a read with "Save to folder": a save that cannot start ends the run with its
    // errors shown; a read with nothing to save goes on. A read whose failures left no channel
    // has shown and logged them already: no save refuses it.
    if (!thePump.pRecord || thePump.pRecord->Channels.size() <= 1) {
        if (thePump.sReadFailure.empty()) WindowWaveform::SaveWaveform(iWindow, true);
        WaveformPump::Continue(thePump);
        return;
    }
    if (!WindowWaveform::SaveWaveform(iWindow, true)) WaveformPump::StopRequestData(thePump, Status());
}

void uWindowWaveform::StopForClose() {
    WaveformPump::StopRequestData(pump);
    if (pump.iSaveInstance != 0) {
        std::string sError;
        WaveformData::Release(pump.iSaveInstance, sError);
        pump.iSaveInstance = 0;
    }
    WaveformPump::Unbind(pump);
    WaveformData::FreeWaveformRecord(pump.pRecord);
}

void uWindowWaveform::InstrumentConnected(bool fUsable) {
    // The same model connected again (after a lost connection, or Disconnect and Connect): its
    // channels are the ones listed, and the user's ticks stay. Another model lists afresh.
    const bool fSameModel = fUsable && pump.instrument.eModel == info.eModel && pump.instrument.sModel == info.sModel &&
                            pump.instrument.sManufacturer == info.sManufacturer;
    const std::int64_t eSource = DataSource();
    WaveformPump::SetInstrument(pump, PumpInstrument(info));
    if (fUsable) {
        sWaveformCommand = WaveformRequests::VisibleChannelsCommand(info.eModel);
        LogInstrument(iWindow);
        FillOptionList(iWindow);
        FillSourceList(iWindow);
        if (const int i = pSource ? pSource->findData(QVariant::fromValue<qlonglong>(eSource)) : -1; fSameModel && i >= 0)
            pSource->setCurrentIndex(i);
    }
    if (!fSameModel) pump.mChannelData.clear();
    FillChannelList(pump);
}

void uWindowWaveform::InstrumentDisconnected() { WaveformPump::SetInstrument(pump, PumpInstrument(info)); }

void uWindowWaveform::OptionsChanged() {
    if (!gadgets.pOptionList) return;
    std::string sText;
    if (WaveformOptions::ApplyChecks(gadgets.pOptionList->Checks(), options, sText)) {
        OptionList::WriteSaved(Group, info.sModel, sText);
    }
    SetOptionsTitle(options.fBefore != 0 || options.fAfter != 0);
}

uViewerSync uWindowWaveform::SyncRecord() const {
    return uViewerSync{iWindow, pump.fAutomatic ? 1 : 0, 0, pump.iCount};
}

void uWindowWaveform::Forget() { mWindowWaveform.erase(iWindow); }
