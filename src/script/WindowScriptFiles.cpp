// The script window's files: script files dropped onto its editors, and the script constants,
// which outlive the window in config.ini.
#include "app/Main.h"
#include "common/FileLoading.h"
#include "common/Ini.h"
#include "script/ScriptLines.h"
#include "script/WindowScript.h"

#include <Qsci/qsciscintilla.h>

#include <QAbstractScrollArea>
#include <QDropEvent>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QUrl>

#include <algorithm>
#include <charconv>
#include <utility>
#include <vector>

namespace WindowScript {
namespace {

// The dropped local files, separated by LF.
std::string DroppedFiles(const QMimeData* pData) {
    std::string sFiles;
    for (const QUrl& url : pData->urls()) {
        if (!url.isLocalFile()) continue;
        if (!sFiles.empty()) sFiles += '\n';
        sFiles += url.toLocalFile().toStdString();
    }
    return sFiles;
}

// The extension of the path's file name: the text behind its last ".", "" without one.
std::string Extension(const std::string& sPath) {
    const std::string sName = sPath.substr(sPath.find_last_of('/') + 1);
    const auto dot = sName.find_last_of('.');
    return dot == std::string::npos ? std::string() : sName.substr(dot + 1);
}

} // namespace

bool OnWindowDrop(int iWindow, QEvent* pEvent) {
    auto* pDrop = static_cast<QDropEvent*>(pEvent);
    const QMimeData* pData = pDrop->mimeData();
    // Only files count; dragged text stays with the editors.
    if (!pData || !pData->hasUrls() || DroppedFiles(pData).empty()) return false;
    if (!(pDrop->possibleActions() & (Qt::CopyAction | Qt::LinkAction))) return false;
    if (pDrop->dropAction() != Qt::CopyAction && pDrop->dropAction() != Qt::LinkAction) {
        pDrop->setDropAction(pDrop->possibleActions() & Qt::CopyAction ? Qt::CopyAction : Qt::LinkAction);
    }
    pDrop->accept();
    if (pEvent->type() == QEvent::Drop) LoadFile(iWindow, pDrop->dropAction(), DroppedFiles(pData));
    return true;
}

void AcceptDrops(uWindowScript& window, QWidget* pGadget) {
    pGadget->setAcceptDrops(true);
    QWidget* pTarget = pGadget;
    if (auto* pArea = qobject_cast<QAbstractScrollArea*>(pGadget)) {
        pTarget = pArea->viewport();
        pTarget->setAcceptDrops(true);
    }
    pTarget->installEventFilter(window.pFilter.get());
}

void LoadFile(int iWindow, int iAction, const std::string& sFiles) {
    uWindowScript* pWindow = nullptr;
    if (!GetInstance(iWindow, &pWindow)) return;
    const std::string sPath = sFiles.substr(0, sFiles.find('\n'));
    if (sPath.empty()) return;
    if (iAction == Qt::CopyAction) {
        if (Extension(sPath) != "txt") return;
        std::string sText, sError;
        if (!Utility::LoadTextFile(sPath, sText, sError)) return;
        SetScriptText(*pWindow, sText);
        // The text is kept whole; a NUL byte in it is named at once, as a check would name it.
        std::string sMessage = sPath;
        if (const std::int64_t iNul = InstrumentScript::NulLine(sText); iNul != 0) {
            sMessage += "\n" + InstrumentScript::LineError(InstrumentScript::LineSourceScript, iNul, InstrumentScript::NulText);
        }
        if (pWindow->pMessages) pWindow->pMessages->setPlainText(QString::fromStdString(sMessage));
    } else if (iAction == Qt::LinkAction) {
        if (pWindow->pEditor || !pWindow->pEditorPlain) return;
        pWindow->pEditorPlain->textCursor().insertText("\"" + QString::fromStdString(sPath) + "\"");
    }
}

// Each line of the constants is kept as the value of its line number ("1 = #speed set 10"): a line
// as a key would be read back as a comment, and "=" inside it would split it.
void LoadConstants(int iWindow) {
    uWindowScript* pWindow = nullptr;
    uIni* pIni = Main::ConfigIni();
    if (!GetInstance(iWindow, &pWindow) || !pWindow->pConstants || !pIni) return;
    Ini::SelectSection(pIni, ConstantsGroup);
    std::vector<std::pair<long long, std::string>> mLines;
    Ini::ExamineKeys(pIni);
    while (Ini::NextKey(pIni)) {
        const std::string sKey = Ini::KeyName(pIni);
        long long iLine = 0;
        const auto [pEnd, error] = std::from_chars(sKey.data(), sKey.data() + sKey.size(), iLine);
        if (error != std::errc() || pEnd != sKey.data() + sKey.size()) continue;
        mLines.emplace_back(iLine, Ini::KeyValue(pIni));
    }
    std::stable_sort(mLines.begin(), mLines.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    QStringList text;
    for (const auto& line : mLines) text << QString::fromStdString(line.second);
    pWindow->pConstants->setPlainText(text.join('\n'));
    pWindow->pConstants->verticalScrollBar()->setValue(0);
}

void SaveConstants(int iWindow) {
    uWindowScript* pWindow = nullptr;
    uIni* pIni = Main::ConfigIni();
    if (!GetInstance(iWindow, &pWindow) || !pWindow->pConstants || !pIni) return;
    Ini::RemoveSection(pIni, ConstantsGroup);
    Ini::SelectSection(pIni, ConstantsGroup);
    const std::string sText = pWindow->pConstants->toPlainText().toStdString();
    if (sText.empty()) return;
    std::size_t iStart = 0;
    for (long long iLine = 1;; ++iLine) {
        const std::size_t iEnd = sText.find('\n', iStart);
        std::string sLine = sText.substr(iStart, iEnd == std::string::npos ? std::string::npos : iEnd - iStart);
        const auto last = sLine.find_last_not_of(" \t\r\n");
        sLine.erase(last == std::string::npos ? 0 : last + 1);
        Ini::WriteString(pIni, std::to_string(iLine), sLine);
        if (iEnd == std::string::npos) break;
        iStart = iEnd + 1;
    }
}

} // namespace WindowScript
