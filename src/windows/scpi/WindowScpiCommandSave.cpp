// The SCPI command window's saving of the answer: optionally without its block header, without
// its last byte, or with commas turned into line feeds. The file is written beside the target
// and renamed over it, so a failed save leaves an earlier file whole; a thread of the save's own
// writes it, so the GUI thread only asks for the name and shows the outcome. The thread is
// counted among the program's background threads: a window that closes waits a second for it,
// then leaves it to finish and tell the log; the program's exit stops it, and its new file goes.
#include "windows/scpi/WindowScpiCommand.h"

#include "common/FileSaving.h"
#include "common/WindowLog.h"
#include "platform/AllocationFailure.h"
#include "platform/BackgroundThreads.h"
#include "platform/EventHub.h"
#include "platform/ProgramEvents.h"
#include "platform/WindowFrame.h"
#include "transport/BlockHeader.h"

#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QPointer>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

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

bool WriteFileWhole(const std::string& sPath, const std::uint8_t* pBytes, std::size_t iCount, std::string& sFailure,
                    const std::atomic<bool>* pStop) {
    std::string sReason;
    bool fCreated = false;
    // The rename over the target happens at the end; before it the target is untouched.
    if (Utility::SaveFile(sPath, std::string_view(reinterpret_cast<const char*>(pBytes), iCount), sReason, false,
                          &fCreated, pStop)) {
        return true;
    }
    sFailure = Utility::FileFailure(fCreated ? "The data could not be written to the file: "
                                             : "The file could not be created: ",
                                    sPath, sReason);
    return false;
}

} // namespace Detail

// A save of the answer: the window asks for the name on the GUI thread, its thread writes (the
// copy with line feeds for commas too), and the result comes back as EventScpiAnswerSaved. The
// thread holds this record, and the answer with it, through shared pointers: a window that
// closes or gets a new answer meanwhile takes nothing away from it.
struct uAnswerSave {
    int iWindow = 0;
    std::string sPath;
    std::shared_ptr<const DataBuffer> pData;
    std::size_t iHeader = 0;
    bool fRemoveLast = false;
    bool fComma = false;
    // Set by the program's exit: the save ends at its next look and its new file goes. Shared
    // with the stop request, which may outlive this record.
    std::shared_ptr<std::atomic<bool>> pStop = std::make_shared<std::atomic<bool>>(false);
    std::thread thread; // GUI thread only
    std::mutex mutex;
    std::condition_variable endedSignal;
    bool fEnded = false;       // under mutex
    bool fWindowGone = false;  // under mutex: the thread tells the log itself
    std::string sFailure;      // under mutex once fEnded; "" for a saved file
};

namespace {

// How long a closing window waits for its save; then the thread finishes by itself.
constexpr int CloseWaitMilliseconds = 1000;

std::string SavedText(const uAnswerSave& save) { return "The data was saved in the file: " + save.sPath; }

// The thread's work: the bytes as the options choose them, written whole; the failure text.
std::string WriteAnswer(const uAnswerSave& save) {
    const DataBuffer& data = *save.pData;
    std::size_t iEnd = data.size();
    if (save.fRemoveLast && iEnd > save.iHeader) --iEnd;
    const std::uint8_t* pBytes = data.data();
    // The copy with line feeds for commas; the answer itself is never changed.
    std::unique_ptr<std::uint8_t[]> pCopy;
    if (save.fComma) {
        pCopy.reset(new (std::nothrow) std::uint8_t[data.size()]);
        if (!pCopy) return "Not enough memory available.";
        std::replace_copy(data.begin(), data.end(), pCopy.get(), std::uint8_t{','}, std::uint8_t{'\n'});
        pBytes = pCopy.get();
    }
    std::string sFailure;
    Detail::WriteFileWhole(save.sPath, pBytes + save.iHeader, iEnd - save.iHeader, sFailure, save.pStop.get());
    return sFailure;
}

void SaveThread(const std::shared_ptr<uAnswerSave>& pSave) {
    std::string sFailure;
    if (!AllocationFailure::Run([&] { sFailure = WriteAnswer(*pSave); })) sFailure = "Not enough memory available.";
    bool fWindowGone = false;
    {
        std::lock_guard lock(pSave->mutex);
        pSave->fEnded = true;
        pSave->sFailure = sFailure;
        fWindowGone = pSave->fWindowGone;
    }
    pSave->endedSignal.notify_all();
    if (!fWindowGone) EventHub::PostEvent(EventScpiAnswerSaved, pSave->iWindow);
    else if (!sFailure.empty()) WindowLog::PostError(sFailure);
    else WindowLog::PostLine(SavedText(*pSave));
}

// The outcome of an ended save in the status field and the log.
void Report(uWindowScpiCommand& window, const uAnswerSave& save) {
    if (!save.sFailure.empty()) {
        Fail(window, save.sFailure);
        return;
    }
    Detail::SetStatus(window, SavedText(save));
    WindowLog::AddLine(SavedText(save));
}

// GUI thread: the save's thread has ended; its outcome goes to the status field and the log.
void OnAnswerSaved(int iWindow) {
    uWindowScpiCommand* p = nullptr;
    if (!FindInstance(iWindow, &p) || !p->pAnswerSave) return;
    const std::shared_ptr<uAnswerSave> pSave = p->pAnswerSave;
    {
        std::lock_guard lock(pSave->mutex);
        if (!pSave->fEnded) return;
    }
    p->pAnswerSave.reset();
    pSave->thread.join(); // it has only its return left
    Report(*p, *pSave);
}

} // namespace

void SaveData(int iWindow) {
    uWindowScpiCommand* p = nullptr;
    if (!FindInstance(iWindow, &p)) return;
    // One save at a time: a second while the first writes is refused, with a notice.
    const auto fBusy = [&p] {
        if (p->pAnswerSave) Detail::SetStatus(*p, "The data is still being saved.");
        return p->pAnswerSave != nullptr;
    };
    if (fBusy()) return;
    // The answer is held here: a send while the requester is open does not take it away.
    const std::shared_ptr<const DataBuffer> pData = p->pReceived;
    if (!pData || pData->empty()) {
        Detail::SetStatus(*p, "There is no data available for saving.");
        return;
    }
    auto pSave = std::make_shared<uAnswerSave>();
    pSave->iWindow = iWindow;
    pSave->pData = pData;
    const uGadgets& g = p->gadgets;
    pSave->fRemoveLast = g.pRemoveLastByte && g.pRemoveLastByte->isChecked();
    pSave->fComma = g.pReplaceComma && g.pReplaceComma->isChecked();
    // The header's own count is not used: the save runs to the end of the answer.
    if (g.pRemoveBlockFormat && g.pRemoveBlockFormat->isChecked()) {
        pSave->iHeader = Instrument::ParseBlockHeaderOnly(pData->data(), 0, pData->size(), nullptr);
    }

    pSave->sPath = Detail::AskSaveName(*p, "All Files (*)");
    // One started meanwhile from the requester's nested loop (the menu) goes first.
    if (pSave->sPath.empty() || !FindInstance(iWindow, &p) || fBusy()) return;
    EventHub::Bind(EventScpiAnswerSaved, iWindow, [iWindow](const EventHub::uEvent&) { OnAnswerSaved(iWindow); });
    try {
        BackgroundThreads::uTicket ticket = BackgroundThreads::Enter([pStop = pSave->pStop] { pStop->store(true); });
        pSave->thread = std::thread([pSave, ticket = std::move(ticket)]() mutable {
            SaveThread(pSave);
            pSave.reset(); // the answer goes before the thread's place in the count
            ticket.Release();
        });
    } catch (const std::system_error&) {
        // No thread to be had: the file is written here.
        pSave->sFailure = WriteAnswer(*pSave);
        Report(*p, *pSave);
        return;
    }
    p->pAnswerSave = std::move(pSave);
}

namespace Detail {

void EndAnswerSave(uWindowScpiCommand& window) {
    const std::shared_ptr<uAnswerSave> pSave = std::move(window.pAnswerSave);
    if (!pSave) return;
    {
        std::unique_lock lock(pSave->mutex);
        if (!pSave->endedSignal.wait_for(lock, std::chrono::milliseconds(CloseWaitMilliseconds),
                                         [&pSave] { return pSave->fEnded; })) {
            // Still writing (a slow disk): it finishes or fails by itself and says so in the log;
            // the program's exit stops it.
            pSave->fWindowGone = true;
            lock.unlock();
            pSave->thread.detach();
            return;
        }
    }
    pSave->thread.join();
    // Its result event is dropped with the window: the log says what became of the file.
    if (!pSave->sFailure.empty()) WindowLog::AddError(pSave->sFailure);
    else WindowLog::AddLine(SavedText(*pSave));
}

} // namespace Detail

} // namespace WindowScpiCommand
