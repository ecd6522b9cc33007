// The SCPI command window's answer view: the answer as hex lines, hex lines with characters or
// plain characters, whole or as its first and last bytes; long answers drawn portion by portion
// by a drawing thread; copying the view.
#include "windows/scpi/WindowScpiCommand.h"

#include "common/NumberText.h"
#include "common/TextRoutines.h"
#include "platform/AllocationFailure.h"
#include "platform/BackgroundThreads.h"
#include "platform/EventHub.h"
#include "platform/ProgramEvents.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QPushButton>

#include <algorithm>
#include <chrono>

namespace WindowScpiCommand {
namespace {

constexpr int BytesPerLine = 16;

// The hex dump as the view keeps it: the character column's UTF-8 pairs (bytes 161 and up)
// folded back into their Latin-1 bytes, and the CR of each line end dropped.
void ToViewText(std::string& s) {
    std::size_t iOut = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const auto b = static_cast<unsigned char>(s[i]);
        if (b == '\r') continue;
        if ((b & 0xE0) == 0xC0 && i + 1 < s.size()) {
            s[iOut++] = static_cast<char>(((b & 0x1F) << 6) | (static_cast<unsigned char>(s[++i]) & 0x3F));
        } else {
            s[iOut++] = s[i];
        }
    }
    s.resize(iOut);
}

// Bytes iStart up to iEnd of the answer in the mode's form, as Latin-1 text. Hex lines end in
// LF (the view's line end), the last one only with fLastLineEnd; characters are one per byte.
std::string Render(const DataBuffer& data, std::size_t iStart, std::size_t iEnd, int iMode, int iOffsetDigits,
                   bool fLastLineEnd) {
    if (iStart >= iEnd || iEnd > data.size()) return {};
    if (iMode == ViewAscii) return std::string(reinterpret_cast<const char*>(data.data()) + iStart, iEnd - iStart);
    std::string s = Utility::HexDump(data.data(), static_cast<std::int64_t>(iEnd), BytesPerLine,
                                     static_cast<std::int64_t>(iStart), iMode == ViewHexAscii, fLastLineEnd,
                                     iOffsetDigits);
    ToViewText(s);
    return s;
}

// A UTF-8 text of the window (the heading) as the view's Latin-1; a locale's thousands separator
// beyond Latin-1 (a narrow space) becomes a space.
std::string Latin1(const std::string& sText) {
    QString s = QString::fromStdString(sText);
    for (QChar& c : s) {
        if (c.unicode() > 0xFF && c.isSpace()) c = u' ';
    }
    return s.toLatin1().toStdString();
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
        // Counted: the exit asks it to stop, as Escape does, and waits for it.
        const std::weak_ptr<uViewShared> pStopShared = view.pShared;
        BackgroundThreads::uTicket ticket = BackgroundThreads::Enter([pStopShared] {
            if (const std::shared_ptr<uViewShared> p = pStopShared.lock()) {
                std::lock_guard lock(p->viewMutex);
                p->fStopRefresh = true;
                p->viewSignal.notify_all();
            }
        });
        view.refreshThread =
            std::thread([pShared = view.pShared, pData, iWindow = window.iWindow, iGeneration = view.iGeneration,
                         iMode, iDigits = OffsetDigits(*pData), ticket = std::move(ticket)]() mutable {
                ViewRefreshThread(std::move(pShared), std::move(pData), iWindow, iGeneration, iMode, iDigits);
                ticket.Release();
            });
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
    AnswerTextView* pView = g.pAnswer;
    const int iMode = g.pViewMode ? g.pViewMode->currentIndex() : ViewHexAscii;
    const bool fAll = g.pViewAll && g.pViewAll->isChecked();
    const auto iSize = static_cast<std::int64_t>(data.size());
    const std::int64_t iFirst = BoxNumber(g.pFirst);
    const std::int64_t iLast = BoxNumber(g.pLast);
    const std::string sHeading =
        Latin1("Length of data: " + Utility::StrDLocalized(static_cast<double>(iSize), -1) + " bytes");
    ++window.view.iGeneration;
    // Emptied first: the text of the last drawing (millions of lines) is not broken anew for
    // the new mode.
    pView->clear();
    pView->setLineWrapMode(iMode == ViewAscii ? AnswerTextView::WidgetWidth : AnswerTextView::NoWrap);

    if (fAll && data.size() > ViewPortionSize) {
        pView->SetLatin1(sHeading + "\n");
        StartRefresh(window, pData, iMode);
        return;
    }

    const int iDigits = OffsetDigits(data);
    std::string sText = sHeading + "\n\n";
    auto block = [&](std::int64_t iStart, std::int64_t iEnd) {
        sText += Render(data, static_cast<std::size_t>(iStart), static_cast<std::size_t>(iEnd), iMode, iDigits, true);
        if (iMode == ViewAscii) sText += "\n";
    };
    if (fAll || iSize <= iFirst + iLast) {
        block(0, iSize);
    } else {
        sText += "The first " + std::to_string(iFirst) + " Bytes:\n";
        block(0, iFirst);
        if (iMode == ViewAscii) sText += "\n";
        sText += "The last " + std::to_string(iLast) + " Bytes:\n";
        block(iSize - iLast, iSize);
    }
    pView->SetLatin1(sText);
}

void ViewRefreshThread(std::shared_ptr<uViewShared> pShared, std::shared_ptr<const DataBuffer> pData, int iWindow,
                       std::int64_t iGeneration, int iMode, int iOffsetDigits) {
    uViewShared& shared = *pShared;
    const auto stopped = [&shared] { return shared.fStopRefresh; };
    bool fDrawn = true;
    AnswerTextView::Writer writer;
    std::unique_lock lock(shared.viewMutex);
    if (!shared.viewSignal.wait_for(lock, std::chrono::milliseconds(50), stopped)) {
        const std::size_t iSize = pData->size();
        for (std::size_t iStart = 0; iStart < iSize; iStart += ViewPortionSize) {
            const std::size_t iEnd = std::min(iSize, iStart + ViewPortionSize);
            lock.unlock();
            // Rendered and prepared for the view outside the lock: the GUI thread never waits
            // for it. A portion whose text cannot be had ends the drawing; the portions shown stay.
            fDrawn = AllocationFailure::Run([&] {
                // "Ascii" is the answer's own bytes: they go into the view's form as they are.
                const auto* pBytes = reinterpret_cast<const char*>(pData->data());
                uViewPortion portion{iGeneration,
                                     iMode == ViewAscii
                                         ? writer.Make(std::string_view(pBytes + iStart, iEnd - iStart))
                                         : writer.Make(Render(*pData, iStart, iEnd, iMode, iOffsetDigits, false))};
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

void ViewRefresh(int iWindow, const EventHub::uEvent& event) {
    uWindowScpiCommand* p = nullptr;
    if (!FindInstance(iWindow, &p) || !p->gadgets.pAnswer) return;
    auto* pPortion = event.pData.Get<uViewPortion>();
    if (!pPortion) return;
    // A portion of an earlier drawing, or of one stopped since, is dropped.
    const std::shared_ptr<uViewShared> pShared = p->view.pShared;
    if (!pShared || pPortion->iGeneration != p->view.iGeneration) return;
    {
        std::lock_guard lock(pShared->viewMutex);
        if (pShared->fStopRefresh) return;
    }
    // The portion goes in at once: the thread prepared it in the view's form, nothing the view
    // holds is copied, and only the lines in sight are painted.
    p->gadgets.pAnswer->AppendPiece(pPortion->piece);
    {
        std::lock_guard lock(pShared->viewMutex);
        ++pShared->iPermits;
    }
    pShared->viewSignal.notify_all();
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
    AnswerTextView* pView = window.gadgets.pAnswer;
    if (!pView) return;
    QClipboard* pClipboard = QApplication::clipboard();
    pClipboard->clear();
    pClipboard->setText(pView->hasSelection() ? pView->selectedText() : pView->toPlainText());
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
