// The screenshot window's worker thread: decoding, dump drawing, processing, PNG encoding and
// writing, so that the GUI thread never waits for a picture. Jobs run one at a time in the order
// they were posted; each posts one EventScreenshotProcessed with its uScreenshotResult to the
// window, so results reach the GUI thread in that order too. The worker keeps the last answer,
// the raw and the processed picture and the last automatic file name.
#pragma once

#include "platform/ProgramEvents.h"
#include "windows/capture/ScreenshotImages.h"

#include <QImage>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>


struct uScreenshotJob {
    // What to do with the picture first: decode a new answer, decode the kept answer again,
    // process the kept raw picture again, or nothing (a save alone).
    enum eStep { StepNewAnswer, StepDecodeAgain, StepProcessAgain, StepNone };
    eStep eWhat = StepNewAnswer;
    std::shared_ptr<const std::vector<std::uint8_t>> pAnswer; // StepNewAnswer
    ScreenshotImages::uDecodeOptions decode;
    ScreenshotImages::uProcessOptions process;
    // Then save the processed picture: automatically (into sFolder, named sName or sNameZ as
    // ScreenshotImages::ChooseAutomaticFile decides), or into sFileName.
    bool fSave = false;
    bool fAutomaticSave = false;
    bool fLog = false;
    std::string sFolder, sName, sNameZ;
    std::string sFileName;
    bool fCount = false; // the shot of an automatic reading, counted when its picture is made
    std::int64_t iRun = 0; // that reading
};

struct uScreenshotResult {
    uScreenshotJob::eStep eWhat = uScreenshotJob::StepNone;
    bool fNotConverted = false; // a new answer gave no picture: nothing shown, saved or counted
    bool fImage = false;        // a processed picture was made (image holds it)
    QImage image;
    bool fSizeChanged = false;
    bool fSaveTried = false;
    bool fSaved = false;
    bool fLog = false;
    bool fAutomaticSave = false;
    std::string sFileName;
    std::string sError;
    bool fCount = false;
    std::int64_t iRun = 0;
};

class ScreenshotWorker {
  public:
    explicit ScreenshotWorker(int iWindow);
    // Waits for the job in progress; jobs not begun are dropped. The thread is counted among the
    // program's background threads: the exit stops the file it writes.
    ~ScreenshotWorker();
    ScreenshotWorker(const ScreenshotWorker&) = delete;
    ScreenshotWorker& operator=(const ScreenshotWorker&) = delete;

    void Post(uScreenshotJob job);
    // Jobs posted and not yet finished.
    std::size_t Busy() const;

    // What one job does to the worker's pictures: also for tests, without a thread.
    struct uState {
        std::shared_ptr<const std::vector<std::uint8_t>> pAnswer;
        ScreenshotImages::uDecodeOptions lastDecode;
        QImage raw;
        QImage processed;
        std::string sLastName;
        const std::atomic<bool>* pStop = nullptr; // asks a file being written to stop
    };
    static uScreenshotResult Run(uState& state, const uScreenshotJob& job);

  private:
    struct uShared;
    std::shared_ptr<uShared> pShared;
};
