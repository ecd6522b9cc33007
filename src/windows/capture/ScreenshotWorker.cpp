#include "windows/capture/ScreenshotWorker.h"

#include "platform/AllocationFailure.h"
#include "platform/BackgroundThreads.h"
#include "platform/EventHub.h"

#include <QFileInfo>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

struct ScreenshotWorker::uShared {
    int iWindow = 0;
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<uScreenshotJob> mJobs;
    std::size_t iBusy = 0;
    bool fStop = false;
    std::atomic<bool> fFileStop{false}; // the program's exit: a file being written goes
    std::thread thread;
};

ScreenshotWorker::ScreenshotWorker(int iWindow) : pShared(std::make_shared<uShared>()) {
    pShared->iWindow = iWindow;
    BackgroundThreads::uTicket ticket = BackgroundThreads::Enter([pWeak = std::weak_ptr(pShared)] {
        if (const std::shared_ptr<uShared> p = pWeak.lock()) {
            p->fFileStop.store(true);
            {
                std::lock_guard lock(p->mutex);
                p->fStop = true;
                p->iBusy -= p->mJobs.size();
                p->mJobs.clear();
            }
            p->wake.notify_all();
        }
    });
    pShared->thread = std::thread([pShared = pShared, ticket = std::move(ticket)] {
        uState state;
        state.pStop = &pShared->fFileStop;
        std::unique_lock lock(pShared->mutex);
        for (;;) {
            pShared->wake.wait(lock, [&] { return pShared->fStop || !pShared->mJobs.empty(); });
            if (pShared->fStop) return;
            uScreenshotJob job = std::move(pShared->mJobs.front());
            pShared->mJobs.pop_front();
            lock.unlock();
            uScreenshotResult result;
            if (!AllocationFailure::Run([&] { result = Run(state, job); })) {
                // The job ends without a picture; the pictures it worked on are let go.
                state.raw = QImage();
                state.processed = QImage();
                result = uScreenshotResult{};
                result.eWhat = job.eWhat;
                result.fNotConverted = true;
                AllocationFailure::Report("ScreenshotWorker::Run");
            }
            EventHub::PostEvent(EventScreenshotProcessed, pShared->iWindow, 0, 0,
                                EventHub::Payload::Of(std::move(result)));
            lock.lock();
            --pShared->iBusy;
        }
    });
}

ScreenshotWorker::~ScreenshotWorker() {
    {
        std::lock_guard lock(pShared->mutex);
        pShared->fStop = true;
        pShared->iBusy -= pShared->mJobs.size();
        pShared->mJobs.clear();
    }
    pShared->wake.notify_all();
    // A job is bounded work (one picture); the thread is waited for.
    if (pShared->thread.joinable()) pShared->thread.join();
}

void ScreenshotWorker::Post(uScreenshotJob job) {
    {
        std::lock_guard lock(pShared->mutex);
        pShared->mJobs.push_back(std::move(job));
        ++pShared->iBusy;
    }
    pShared->wake.notify_one();
}

std::size_t ScreenshotWorker::Busy() const {
    std::lock_guard lock(pShared->mutex);
    return pShared->iBusy;
}

uScreenshotResult ScreenshotWorker::Run(uState& state, const uScreenshotJob& job) {
    uScreenshotResult result;
    result.eWhat = job.eWhat;
    result.fCount = job.fCount;
    result.iRun = job.iRun;
    result.fLog = job.fLog;
    result.fAutomaticSave = job.fAutomaticSave;
    bool fPicture = true;
    if (job.eWhat == uScreenshotJob::StepNewAnswer || job.eWhat == uScreenshotJob::StepDecodeAgain) {
        // The kept answer is decoded again as it was the first time: a size row changed since
        // applies to the next screenshot only.
        if (job.eWhat == uScreenshotJob::StepNewAnswer) {
            state.pAnswer = job.pAnswer;
            state.lastDecode = job.decode;
        }
        QImage image;
        const bool fDecoded =
            state.pAnswer && !state.pAnswer->empty() &&
            ScreenshotImages::Decode(state.pAnswer->data(), state.pAnswer->size(), state.lastDecode, image);
        if (fDecoded) {
            state.raw = std::move(image);
        } else if (job.eWhat == uScreenshotJob::StepNewAnswer) {
            // No picture in the answer: the previous one is neither shown, saved nor counted again.
            result.fNotConverted = true;
            fPicture = false;
        }
    }
    if (fPicture && job.eWhat != uScreenshotJob::StepNone && !state.raw.isNull()) {
        QImage processed;
        result.fSizeChanged = ScreenshotImages::Process(state.raw, job.process, &state.processed, processed);
        // The viewer shows 24-bit pixels: an opaque picture is turned into them here rather than
        // on the GUI thread.
        if (!processed.hasAlphaChannel() && processed.format() != QImage::Format_RGB888)
            processed = processed.convertToFormat(QImage::Format_RGB888);
        state.processed = std::move(processed);
    }
    if (fPicture && !state.processed.isNull()) {
        result.fImage = true;
        result.image = state.processed;
    }
    if (fPicture && job.fSave) {
        result.fSaveTried = true;
        if (state.processed.isNull()) {
            result.sError = "The data could not be converted into an image.";
        } else {
            result.sFileName =
                job.fAutomaticSave
                    ? ScreenshotImages::ChooseAutomaticFile(
                          job.sFolder, job.sName, job.sNameZ, state.sLastName,
                          [](const std::string& sPath) { return QFileInfo::exists(QString::fromStdString(sPath)); })
                    : job.sFileName;
            result.fSaved = ScreenshotImages::WritePng(state.processed, result.sFileName, job.fAutomaticSave,
                                                       result.sError, state.pStop);
        }
    }
    return result;
}
