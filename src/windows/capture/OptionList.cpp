#include "windows/capture/OptionList.h"

#include "app/Main.h"
#include "common/Ini.h"
#include "common/UtilityGui.h"
#include "platform/WindowRegistry.h"

#include <QHeaderView>

OptionList::OptionList(int iWindow, const QString& sFirstColumn, QWidget* pParent)
    : QTreeWidget(pParent), iWindow(iWindow) {
    setColumnCount(2);
    setHeaderLabels({sFirstColumn, QString()});
    setColumnWidth(0, 170);
    setColumnWidth(1, 100);
    setRootIsDecorated(false);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setAllColumnsShowFocus(true);
    connect(this, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem*, int iColumn) {
        if (iColumn == 0) Changed();
    });
}

void OptionList::SetRows(const std::vector<uOptionRow>& rows, std::int64_t iBackColor) {
    fFilling = true;
    clear();
    const QColor back = WindowsColor(iBackColor);
    for (const uOptionRow& row : rows) {
        auto* pItem = new QTreeWidgetItem(this);
        pItem->setText(0, QString::fromStdString(row.sLabel));
        pItem->setText(1, QString::fromStdString(row.sCommand));
        pItem->setData(0, Qt::UserRole, QVariant::fromValue<qlonglong>(row.iId));
        pItem->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        pItem->setCheckState(0, row.fChecked ? Qt::Checked : Qt::Unchecked);
        if (row.fHeader) {
            for (int i = 0; i < columnCount(); ++i) pItem->setBackground(i, back);
        }
    }
    Utility::ListIconAutoSizeColumns(this, 0, 0);
    fFilling = false;
}

std::vector<std::pair<std::int64_t, bool>> OptionList::Checks() const {
    std::vector<std::pair<std::int64_t, bool>> checks;
    for (int i = 0; i < topLevelItemCount(); ++i) {
        const QTreeWidgetItem* pItem = topLevelItem(i);
        checks.emplace_back(pItem->data(0, Qt::UserRole).toLongLong(), pItem->checkState(0) == Qt::Checked);
    }
    return checks;
}

QTreeWidgetItem* OptionList::Row(std::int64_t iId) const {
    for (int i = 0; i < topLevelItemCount(); ++i) {
        QTreeWidgetItem* pItem = topLevelItem(i);
        if (pItem->data(0, Qt::UserRole).toLongLong() == iId) return pItem;
    }
    return nullptr;
}

bool OptionList::SetChecked(std::int64_t iId, bool fChecked) {
    QTreeWidgetItem* pItem = Row(iId);
    if (!pItem) return false;
    pItem->setCheckState(0, fChecked ? Qt::Checked : Qt::Unchecked);
    return true;
}

void OptionList::Changed() {
    if (fFilling || fPending) return;
    fPending = true;
    WindowRegistry::StartTimer(iWindow, TimerOptions, DeferMilliseconds);
    clearSelection();
}

QColor OptionList::WindowsColor(std::int64_t iColor) {
    return QColor(static_cast<int>(iColor & 0xFF), static_cast<int>((iColor >> 8) & 0xFF),
                  static_cast<int>((iColor >> 16) & 0xFF));
}

std::string OptionList::ReadSaved(const std::string& sGroup, const std::string& sModel) {
    uIni* pIni = Main::ConfigIni();
    if (!pIni) return {};
    Ini::SelectSection(pIni, sGroup);
    return Ini::ReadString(pIni, WaveformOptions::OptionsKey(sModel), "");
}

void OptionList::WriteSaved(const std::string& sGroup, const std::string& sModel, const std::string& sText) {
    uIni* pIni = Main::ConfigIni();
    if (!pIni) return;
    Ini::SelectSection(pIni, sGroup);
    if (sText.empty()) Ini::RemoveKey(pIni, WaveformOptions::OptionsKey(sModel));
    else Ini::WriteString(pIni, WaveformOptions::OptionsKey(sModel), sText);
}

std::int64_t OptionList::ReadBackColor(const std::string& sGroup) {
    uIni* pIni = Main::ConfigIni();
    if (!pIni) return WaveformOptions::DefaultRowBackColor;
    Ini::SelectSection(pIni, sGroup);
    return Ini::ReadInteger(pIni, "OptionListRowBackColor", WaveformOptions::DefaultRowBackColor);
}
