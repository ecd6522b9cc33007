// The SCPI command window's answer view: the answer as a hex and character dump of its first and
// last bytes, copying it, and the drawing thread's stop. The command lists are read here too.
#include "windows/scpi/WindowScpiCommand.h"

#include "common/TextRoutines.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QPlainTextEdit>
#include <QTextCursor>

#include <algorithm>

namespace WindowScpiCommand {

void ShowData(int iWindow) {
    uWindowScpiCommand* p = nullptr;
    if (!FindInstance(iWindow, &p) || !p->gadgets.pAnswer) return;
    const DataBuffer& data = p->info.receiveData;
    const std::int64_t iSize = static_cast<std::int64_t>(data.size());
    const std::int64_t iFirst = p->gadgets.pFirst ? p->gadgets.pFirst->currentText().toLongLong() : 128;
    const std::int64_t iLast = p->gadgets.pLast ? p->gadgets.pLast->currentText().toLongLong() : 32;
    const int iDigits = static_cast<int>(QString::number(std::max<std::int64_t>(iSize - 1, 0), 16).size());
    std::string sText;
    if (iSize <= iFirst + iLast) {
        sText = Utility::HexDump(data.data(), iSize, 16, 0, true, false, iDigits);
    } else {
        sText = Utility::HexDump(data.data(), iFirst, 16, 0, true, true, iDigits);
        sText += "...\r\n";
        sText += Utility::HexDump(data.data(), iSize, 16, iSize - iLast, true, false, iDigits);
    }
    p->gadgets.pAnswer->setPlainText(QString::fromStdString(sText));
}

namespace Detail {

void CopyAnswer(uWindowScpiCommand& window) {
    QPlainTextEdit* pView = window.gadgets.pAnswer;
    if (!pView) return;
    const QTextCursor cursor = pView->textCursor();
    QClipboard* pClipboard = QApplication::clipboard();
    pClipboard->clear();
    pClipboard->setText(cursor.hasSelection() ? cursor.selectedText().replace(QChar::ParagraphSeparator, '\n')
                                              : pView->toPlainText());
}

void StopRefreshThread(uWindowScpiCommand& window, int) {
    uViewState& view = window.view;
    {
        std::lock_guard lock(view.viewMutex);
        if (!view.refreshThread.joinable()) return;
        view.fStopRefresh = true;
    }
    view.viewSignal.notify_all();
    // The drawing thread looks at the stop word between portions, so it ends within one.
    view.refreshThread.join();
    std::lock_guard lock(view.viewMutex);
    view.fRefreshRunning = false;
}

void ViewRefresh(int) {}

void FillCommandListFiles(int, int) {}

} // namespace Detail

} // namespace WindowScpiCommand
