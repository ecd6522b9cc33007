// The SCPI command window's answer view: the answer as hex lines, hex lines with characters or
// plain characters, whole or as its first and last bytes; long answers drawn portion by portion
// by a drawing thread; copying the view.
#include "windows/scpi/WindowScpiCommand.h"

#include "common/NumberText.h"
#include "common/TextRoutines.h"
#include "common/UtilityGui.h"
#include "platform/AllocationFailure.h"
#include "platform/EventHub.h"
#include "platform/ProgramEvents.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextCursor>
#include <QTimer>

#include <algorithm>
#include <chrono>

namespace WindowScpiCommand {
namespace {

constexpr int BytesPerLine = 16;

// Bytes iStart up to iEnd of the answer in the mode's form. Hex lines end in LF (the view's line
// end), the last one only with fLastLineEnd; characters are one per byte, read as Latin-1.
QString Render(const DataBuffer& data, std::size_t iStart, std::size_t iEnd, int iMode, int iOffsetDigits,
               bool fLastLineEnd) {
    if (iStart >= iEnd || iEnd > data.size()) return {};
    if (iMode == ViewAscii) {
        return QString::fromLatin1(reinterpret_cast<const char*>(data.data()) + iStart,
                                   static_cast<qsizetype>(iEnd - iStart));
    }
    std::string s = Utility::HexDump(data.data(), static_cast<std::int64_t>(iEnd), BytesPerLine,
                                     static_cast<std::int64_t>(iStart), iMode == ViewHexAscii, fLastLineEnd,
                                     iOffsetDigits);
    s.erase(std::remove(s.begin(), s.end(), '\r'), s.end());
    return QString::fromUtf8(s);
}

// The offsets are as wide as the hexadecimal form of the answer buffer's address.
int OffsetDigits(const DataBuffer& data) {
    return static_cast<int>(QString::number(reinterpret_cast<quintptr>(data.data()), 16).size());
}

std::int64_t BoxNumber(const QComboBox* pBox) { return pBox ? std::max<qlonglong>(0, pBox->currentText().toLongLong()) : 0; }

void StartRefresh(uWindowScpiCommand& window, const std::shared_ptr<const DataBuffer>& pData, int iMode) {
    uViewState& view = window.view;
    view.pShared = std::make_shared<uViewShared>();
    try {
        view.refreshThread = std::thread(ViewRefreshThread, view.pShared, pData, window.iWindow, view.iGeneration,
                                         iMode, OffsetDigits(*pData));
    } catch (const std::system_error&) {
        view.pShared.reset();
    }
}

} // namespace

void ShowData(int iWindow) {
    uWindowScpiCommand* p = nullptr;
    if (!FindInstance(iWindow, &p) || !p->gadgets.pAnswer) return;
    uWindowScpiCommand& window = *p;
    Detail::StopRefreshThread(window, 100);
    const std::shared_ptr<const DataBuffer> pData = window.pReceived;
    if (!pData || pData->empty()) return;
    const DataBuffer& data = *pData;
    const uGadgets& g = window.gadgets;
    QPlainTextEdit* pView = g.pAnswer;
    const int iMode = g.pViewMode ? g.pViewMode->currentIndex() : ViewHexAscii;
    const bool fAll = g.pViewAll && g.pViewAll->isChecked();
    const auto iSize = static_cast<std::int64_t>(data.size());
    const std::int64_t iFirst = BoxNumber(g.pFirst);
    const std::int64_t iLast = BoxNumber(g.pLast);
    const QString sHeading =
        "Length of data: " + QString::fromStdString(Utility::StrDLocalized(static_cast<double>(iSize), -1)) + " bytes";
    ++window.view.iGeneration;
    pView->setLineWrapMode(iMode == ViewAscii ? QPlainTextEdit::WidgetWidth : QPlainTextEdit::NoWrap);

    if (fAll && data.size() > ViewPortionSize) {
        pView->setPlainText(sHeading + "\n");
        StartRefresh(window, pData, iMode);
        return;
    }

    const int iDigits = OffsetDigits(data);
    QString sText = sHeading + "\n\n";
    auto block = [&](std::int64_t iStart, std::int64_t iEnd) {
        sText += Render(data, static_cast<std::size_t>(iStart), static_cast<std::size_t>(iEnd), iMode, iDigits, true);
        if (iMode == ViewAscii) sText += "\n";
    };
    if (fAll || iSize <= iFirst + iLast) {
        block(0, iSize);
    } else {
        sText += "The first " + QString::number(iFirst) + " Bytes:\n";
        block(0, iFirst);
        if (iMode == ViewAscii) sText += "\n";
        sText += "The last " + QString::number(iLast) + " Bytes:\n";
        block(iSize - iLast, iSize);
    }
    pView->setUpdatesEnabled(false);
    pView->setPlainText(sText);
    pView->setUpdatesEnabled(true);
    pView->viewport()->update();
}

void ViewRefreshThread(std::shared_ptr<uViewShared> pShared, std::shared_ptr<const DataBuffer> pData, int iWindow,
                       std::int64_t iGeneration, int iMode, int iOffsetDigits) {
    uViewShared& shared = *pShared;
    const auto stopped = [&shared] { return shared.fStopRefresh; };
    bool fDrawn = true;
    std::unique_lock lock(shared.viewMutex);
    if (!shared.viewSignal.wait_for(lock, std::chrono::milliseconds(50), stopped)) {
        const std::size_t iSize = pData->size();
        for (std::size_t iStart = 0; iStart < iSize; iStart += ViewPortionSize) {
            const std::size_t iEnd = std::min(iSize, iStart + ViewPortionSize);
            lock.unlock();
            // Rendered outside the lock: the GUI thread never waits for it. A portion whose text
            // cannot be had ends the drawing; the portions shown stay.
            fDrawn = AllocationFailure::Run([&] {
                uViewPortion portion{iGeneration, Render(*pData, iStart, iEnd, iMode, iOffsetDigits, false)};
                EventHub::PostEvent(EventScpiViewRefresh, iWindow, 0, 0, EventHub::Payload::Of(std::move(portion)));
            });
            lock.lock();
            if (!fDrawn) break;
            shared.viewSignal.wait(lock, [&shared] { return shared.iPermits > 0 || shared.fStopRefresh; });
            if (shared.fStopRefresh) break;
            --shared.iPermits;
            if (iEnd < iSize && shared.viewSignal.wait_for(lock, std::chrono::milliseconds(10), stopped)) break;
        }
    }
    shared.fRunning = false;
    lock.unlock();
    shared.viewSignal.notify_all();
    if (!fDrawn) AllocationFailure::Report("WindowScpiCommand::ViewRefreshThread");
}

namespace Detail {

namespace {

// A portion's time in one turn of the Qt loop; the rest goes in with the next turn.
constexpr int PortionStepMilliseconds = 4;

// Whether the drawing of the portion in hand was stopped (Escape): the portion still goes in
// whole, as it came, but no other follows.
bool DrawingStopped(uViewShared& shared) {
    std::lock_guard lock(shared.viewMutex);
    return shared.fStopRefresh;
}

// Puts the next lines of the portion in hand into the view; when it is all in, the thread may
// render the next one, else the rest follows after the loop's other work. A portion of an
// earlier drawing is dropped.
void ContinuePortion(int iWindow) {
    uWindowScpiCommand* p = nullptr;
    if (!FindInstance(iWindow, &p) || !p->gadgets.pAnswer) return;
    uViewState& view = p->view;
    if (view.iPortionFrom < 0) return; // none in hand
    const std::shared_ptr<uViewShared> pShared = view.pShared;
    if (!pShared || view.iPortionGeneration != view.iGeneration) {
        view.sPortion.clear();
        view.iPortionFrom = -1;
        return;
    }
    const bool fStopped = DrawingStopped(*pShared);
    const QDeadlineTimer deadline = fStopped ? QDeadlineTimer(QDeadlineTimer::Forever)
                                             : QDeadlineTimer(PortionStepMilliseconds, Qt::PreciseTimer);
    if (!Utility::AppendLines(p->gadgets.pAnswer, view.sPortion, view.iPortionFrom, deadline)) {
        QTimer::singleShot(0, p->gadgets.pAnswer, [iWindow] { ContinuePortion(iWindow); });
        return;
    }
    view.sPortion.clear();
    view.iPortionFrom = -1;
    if (fStopped) return;
    {
        std::lock_guard lock(pShared->viewMutex);
        ++pShared->iPermits;
    }
    pShared->viewSignal.notify_all();
}

} // namespace

void ViewRefresh(int iWindow, const EventHub::uEvent& event) {
    uWindowScpiCommand* p = nullptr;
    if (!FindInstance(iWindow, &p) || !p->gadgets.pAnswer) return;
    auto* pPortion = event.pData.Get<uViewPortion>();
    // A portion of an earlier drawing, or of one stopped since, is dropped.
    if (!pPortion) return;
    uViewState& view = p->view;
    const std::shared_ptr<uViewShared> pShared = view.pShared;
    if (!pShared || pPortion->iGeneration != view.iGeneration || DrawingStopped(*pShared)) return;
    view.iPortionGeneration = pPortion->iGeneration;
    view.sPortion = std::move(pPortion->sText); // the event's own record, freed after this handler
    view.iPortionFrom = 0;
    ContinuePortion(iWindow);
}

void StopRefreshThread(uWindowScpiCommand& window, int iWaitMs) {
    uViewState& view = window.view;
    if (!view.refreshThread.joinable()) return;
    const std::shared_ptr<uViewShared> pShared = view.pShared;
    bool fEnded = false;
    {
        std::unique_lock lock(pShared->viewMutex);
        pShared->fStopRefresh = true;
        pShared->viewSignal.notify_all();
        fEnded = pShared->viewSignal.wait_for(lock, std::chrono::milliseconds(iWaitMs),
                                              [&pShared] { return !pShared->fRunning; });
    }
    // A thread that has not ended within the bound is let go: it holds what it uses itself and
    // ends at its next look at the stop word.
    if (fEnded) view.refreshThread.join();
    else view.refreshThread.detach();
}

void CopyAnswer(uWindowScpiCommand& window) {
    QPlainTextEdit* pView = window.gadgets.pAnswer;
    if (!pView) return;
    const QTextCursor cursor = pView->textCursor();
    QClipboard* pClipboard = QApplication::clipboard();
    pClipboard->clear();
    pClipboard->setText(cursor.hasSelection() ? cursor.selectedText().replace(QChar::ParagraphSeparator, '\n')
                                              : pView->toPlainText());
}

void BindViewHandlers(uWindowScpiCommand& window) {
    const int iWindow = window.iWindow;
    const uGadgets& g = window.gadgets;
    const auto redraw = [iWindow] { ShowData(iWindow); };
    // A count changed under "View all" changes nothing drawn.
    const auto counts = [iWindow] {
        uWindowScpiCommand* p = nullptr;
        if (FindInstance(iWindow, &p) && !(p->gadgets.pViewAll && p->gadgets.pViewAll->isChecked())) ShowData(iWindow);
    };
    QObject::connect(g.pViewMode, &QComboBox::currentIndexChanged, g.pViewMode, redraw);
    QObject::connect(g.pViewAll, &QCheckBox::clicked, g.pViewAll, redraw);
    QObject::connect(g.pFirst, &QComboBox::currentIndexChanged, g.pFirst, counts);
    QObject::connect(g.pLast, &QComboBox::currentIndexChanged, g.pLast, counts);
    QObject::connect(g.pAnswerSaveAs, &QPushButton::clicked, g.pAnswerSaveAs, [iWindow] { SaveData(iWindow); });
}

} // namespace Detail

} // namespace WindowScpiCommand
