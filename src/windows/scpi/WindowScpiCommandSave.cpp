// The SCPI command window's saving of the answer: optionally without its block header, without
// its last byte, or with commas turned into line feeds. The file is written beside the target
// and renamed over it, so a failed save leaves an earlier file whole.
#include "windows/scpi/WindowScpiCommand.h"

#include "common/FileSaving.h"
#include "common/WindowLog.h"
#include "platform/WindowFrame.h"
#include "transport/BlockHeader.h"

#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QPointer>

#include <algorithm>
#include <memory>

namespace WindowScpiCommand {
namespace {

// The failure: in the status field and as an error line.
void Fail(uWindowScpiCommand& window, const std::string& sText) {
    Detail::SetStatus(window, sText);
    WindowLog::AddError(sText);
}

} // namespace

namespace Detail {

std::string AskSaveName(uWindowScpiCommand& window, const QString& sFilter) {
    const int iWindow = window.iWindow;
    QPointer<QFileDialog> pDialog = new QFileDialog(window.pFrame, "Data save as");
    pDialog->setAcceptMode(QFileDialog::AcceptSave);
    pDialog->setFileMode(QFileDialog::AnyFile);
    pDialog->setNameFilter(sFilter);
    pDialog->setOption(QFileDialog::DontUseNativeDialog);
    pDialog->setOption(QFileDialog::DontConfirmOverwrite);
    if (window.pFrame) pDialog->selectFile(window.pFrame->windowTitle());
    const int iResult = pDialog->exec();
    if (!pDialog) return {}; // the window closed meanwhile
    const QStringList mFiles = pDialog->selectedFiles();
    delete pDialog;
    if (iResult != QDialog::Accepted || mFiles.isEmpty() || !FindInstance(iWindow, nullptr)) return {};
    return mFiles.front().toStdString();
}

bool WriteFileWhole(const std::string& sPath, const std::uint8_t* pBytes, std::size_t iCount, std::string& sFailure) {
    Utility::uFileSave file;
    std::string sReason;
    if (!file.Begin(sPath, sReason)) {
        sFailure = Utility::FileFailure("The file could not be created: ", sPath, sReason);
        return false;
    }
    // The rename over the target happens at the commit; before it the target is untouched.
    if (!file.Write(pBytes, iCount, sReason) || !file.Commit(sReason)) {
        sFailure = Utility::FileFailure("The data could not be written to the file: ", sPath, sReason);
        return false;
    }
    return true;
}

} // namespace Detail

void SaveData(int iWindow) {
    uWindowScpiCommand* p = nullptr;
    if (!FindInstance(iWindow, &p)) return;
    // The answer is held here: a send while the requester is open does not take it away.
    const std::shared_ptr<const DataBuffer> pData = p->pReceived;
    if (!pData || pData->empty()) {
        Detail::SetStatus(*p, "There is no data available for saving.");
        return;
    }
    const uGadgets& g = p->gadgets;
    const bool fRemoveHeader = g.pRemoveBlockFormat && g.pRemoveBlockFormat->isChecked();
    const bool fRemoveLast = g.pRemoveLastByte && g.pRemoveLastByte->isChecked();
    const bool fComma = g.pReplaceComma && g.pReplaceComma->isChecked();
    // The header's own count is not used: the save runs to the end of the answer.
    const std::size_t iHeader = fRemoveHeader ? Instrument::ParseBlockHeaderOnly(pData->data(), 0, pData->size(), nullptr) : 0;

    const std::string sPath = Detail::AskSaveName(*p, "All Files (*)");
    if (sPath.empty() || !FindInstance(iWindow, &p)) return;

    std::size_t iEnd = pData->size();
    if (fRemoveLast && iEnd > iHeader) --iEnd;
    const std::uint8_t* pBytes = pData->data();
    // The copy with line feeds for commas; the answer itself is never changed.
    std::unique_ptr<std::uint8_t[]> pCopy;
    if (fComma) {
        pCopy.reset(new (std::nothrow) std::uint8_t[pData->size()]);
        if (!pCopy) {
            Fail(*p, "Not enough memory available.");
            return;
        }
        std::replace_copy(pData->begin(), pData->end(), pCopy.get(), std::uint8_t{','}, std::uint8_t{'\n'});
        pBytes = pCopy.get();
    }
    std::string sFailure;
    if (!Detail::WriteFileWhole(sPath, pBytes + iHeader, iEnd - iHeader, sFailure)) {
        Fail(*p, sFailure);
        return;
    }
    const std::string sText = "The data was saved in the file: " + sPath;
    Detail::SetStatus(*p, sText);
    WindowLog::AddLine(sText);
}

} // namespace WindowScpiCommand
