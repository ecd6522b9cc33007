// The waveform window's saving half: the save requester or the automatic folder, the hand-over
// of the read's record to the save thread, and what the save thread reports back.
#include "windows/capture/WindowWaveform.h"

#include "common/NumberText.h"
#include "common/UtilityGui.h"
#include "common/WindowLog.h"
#include "platform/EventHub.h"
#include "platform/WindowFrame.h"
#include "waveform/WaveformData.h"
#include "windows/capture/Template.h"
#include "windows/capture/WaveformChannels.h"

#include <QFileDialog>
#include <QFileInfo>

#include <utility>

namespace WindowWaveform {
namespace {

// Removes every occurrence of the token (exact case).
std::string Without(std::string s, const std::string& sToken) {
    for (std::size_t i = s.find(sToken); i != std::string::npos; i = s.find(sToken, i)) s.erase(i, sToken.size());
    return s;
}

std::string Trim(const std::string& s) {
    const auto iFirst = s.find_first_not_of(' ');
    if (iFirst == std::string::npos) return {};
    return s.substr(iFirst, s.find_last_not_of(' ') - iFirst + 1);
}

// The save requester "Save as" (a non-native dialog, so that it can be driven); empty when
// cancelled.
std::string SaveRequester(uWindowWaveform& window, const std::string& sProposal, int iPattern) {
    QFileDialog dialog(window.pFrame.data(), "Save as", QString::fromStdString(sProposal));
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    const QStringList patterns = {"CSV (*.csv)", "BIN (*.bin)", "All Files (*.*)"};
    dialog.setNameFilters(patterns);
    dialog.selectNameFilter(patterns.value(iPattern));
    Utility::ProposeFile(&dialog, sProposal);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().front().toStdString();
}

} // namespace

bool SaveWaveform(int iWindow, bool fAutomatic) {
    uWindowWaveform* p = nullptr;
    if (!GetInstance(iWindow, &p)) return false;
    uWindowWaveform& window = *p;
    uWaveformPump& pump = window.pump;
    if (!pump.pRecord || pump.pRecord->Channels.size() <= 1) {
        // The record's first element is the placeholder: only later ones hold a channel. A read
        // whose failure left none says why.
        const std::string sText = pump.sReadFailure.empty() ? "There is no data available for saving."
                                                            : "There is no complete record to save: " + pump.sReadFailure;
        window.SetStatus(sText);
        WindowLog::AddError(window.Prefix() + sText);
        return false;
    }
    if (!pump.fRecordWhole) {
        // A read that a failure or a stop ended holds no record to be saved as one: the failure says why.
        const std::string sText = "There is no complete record to save: " +
                                  (pump.sReadFailure.empty() ? "the last read did not end." : pump.sReadFailure);
        window.SetStatus(sText);
        WindowLog::AddError(window.Prefix() + sText);
        return false;
    }
    // A save that a stop let go may still be writing this record: the new save gets a copy
    // of its own, so that the names and format set here never change under that writer.
    if (pump.pRecord.use_count() > 1) pump.pRecord = std::make_shared<uWaveformRecord>(*pump.pRecord);
    uWaveformRecord& record = *pump.pRecord;
    const std::int64_t iFormat = window.Format();
    const std::string sExtension = iFormat == 3 ? ".bin" : ".csv";
    const int iPattern = iFormat == 3 ? 1 : 0;

    if (!fAutomatic) {
        const std::string sName =
            Template::ExpandSafeFileName(Trim(Without(Without(window.sTemplate, "/C"), "/U")), record.sManufacturer,
                                         record.sModel, record.iDate, record.iMilliseconds, DataSourceNone, "");
        const std::string sChosen = SaveRequester(window, window.sFolder + sName + sExtension, iPattern);
        if (sChosen.empty()) return false;
        const QFileInfo chosen(QString::fromStdString(sChosen));
        std::string sPath = chosen.absolutePath().toStdString();
        if (!sPath.empty() && sPath.back() != '/') sPath += '/';
        // The name the user typed is literal text: its extension is replaced by the format's.
        record.sFolder = sPath;
        record.sTemplate = chosen.completeBaseName().toStdString() + " /U /C" + sExtension;
        record.fNewFilesOnly = false;
        window.sSaveFolder = sPath;
    } else {
        std::string sTemplate = window.sTemplate;
        // Two reads within one second would get the same names and overwrite each other.
        const std::string sName = Template::ExpandSafeFileName(sTemplate, record.sManufacturer, record.sModel,
                                                               record.iDate, record.iMilliseconds, DataSourceNone, "");
        if (sName == window.sLastAutomaticName) sTemplate += "-/Z";
        window.sLastAutomaticName = sName;
        record.sFolder = window.sAutomaticFolder;
        record.sTemplate = sTemplate + sExtension;
        record.fNewFilesOnly = true; // nor do the "-/Z" names of a long run replace earlier files
        window.sSaveFolder.clear();
    }
    window.sReadShort = pump.sReadFailure;
    window.sSaveFailure.clear();
    window.fSaveFailureStopped = false;
    window.sSavedFiles.clear();
    window.iSavedFiles = 0;
    record.iSaveFormat = iFormat;
    if (WaveformPump::HasLogicChannels(record.eModel)) record.sLogicChannelName = WaveformChannels::GetChannelTypeName(WaveformLogic);

    std::string sError;
    if (pump.iSaveInstance == 0) {
        pump.iSaveInstance = WaveformData::NewInstance(iWindow, sError);
        if (pump.iSaveInstance == 0) {
            WindowLog::AddError("WindowWaveform::SaveWaveform: Die Instanz von WaveformData konnte nicht erstellt "
                                "werden: ");
            WindowLog::AddError("WindowWaveform::SaveWaveform: " + sError);
            window.SetStatus(sError);
            return false;
        }
    }
    // The save thread holds its own share of the record: a stop and the next read let go of
    // the window's share only.
    if (!WaveformData::SaveData(pump.iSaveInstance, pump.pRecord, sError)) {
        WindowLog::AddError("WindowWaveform::SaveWaveform: Der Thread 'WaveformData::SaveData' konnte nicht "
                            "erstellt werden: ");
        WindowLog::AddError("WindowWaveform::SaveWaveform: " + sError);
        window.SetStatus(sError);
        return false;
    }
    pump.fSaving = true;
    window.fSaveAutomatic = fAutomatic;
    window.DisableGadgets(true);
    return true;
}

void EventSaveProgress(int iWindow, std::intptr_t iType, const EventHub::uEvent& event) {
    uWindowWaveform* p = nullptr;
    if (!GetInstance(iWindow, &p)) return;
    uWindowWaveform& window = *p;
    uWaveformPump& pump = window.pump;
    // Reports of an instance the window no longer has are stale.
    if (event.iObject != pump.iSaveInstance) return;
    const std::int64_t* pNumber = event.pData.Get<std::int64_t>();
    const std::string sNumber = Utility::StrDLocalized(static_cast<double>(pNumber ? *pNumber : 0), -1);
    switch (iType) {
    case SaveStatusProgress: window.SetStatus("The data's being saved, progress: " + sNumber + " %"); break;
    case SaveStatusMergeProgress: window.SetStatus("Combining the logic data, progress: " + sNumber + " %"); break;
    case SaveStatusFileWritten:
        // The save thread logs the file; the status names it when another file failed.
        if (const uSaveStatusText* pText = event.pData.Get<uSaveStatusText>()) {
            window.sSavedFiles += (window.sSavedFiles.empty() ? "" : ", ") + pText->sText;
            ++window.iSavedFiles;
        }
        // The folder chosen by hand becomes the default once it took a file.
        if (!window.fSaveAutomatic && !window.sSaveFolder.empty()) {
            window.sFolder = window.sSaveFolder;
            window.WritePreference("Folder", window.sFolder);
        }
        break;
    case SaveStatusMergeFinished: window.SetStatus(""); break;
    case SaveStatusError:
        // The save thread has logged it (also for a window that has closed meanwhile).
        if (const uSaveStatusText* pText = event.pData.Get<uSaveStatusText>();
            pText && window.sSaveFailure.empty()) {
            window.sSaveFailure = pText->sText;
            window.fSaveFailureStopped = pText->fStopped;
        }
        break;
    case SaveStatusPassFinished: {
        // A stop already let the save go: its end restarts nothing.
        const bool fWasSaving = pump.fSaving;
        const bool fStopped = std::exchange(pump.fSaveStopped, false);
        pump.fSaving = false;
        // "saved" only when every file of the pass was written; else the failure, whole, and
        // the files that were written.
        if (window.sSaveFailure.empty() && window.sSavedFiles.empty()) {
            // No channel of the record made a file: nothing was saved, and the log says so too.
            window.sSaveFailure = "No file was written: the record holds no channel to save.";
            WindowLog::AddError(window.Prefix() + window.sSaveFailure);
        }
        // A read short of a channel is saved only in part: why it is short comes first.
        const auto joined = [&](const std::string& sSave) {
            return window.sReadShort + (window.sReadShort.empty() || sSave.empty() ? "" : " - ") + sSave;
        };
        const std::string sFailure = joined(window.sSaveFailure);
        const bool fWhole = sFailure.empty();
        if (fStopped && !fWasSaving && window.fSaveAutomatic && pump.fRunCancelled) {
            // The save of the run's last read, which "Cancel" let go: the status keeps saying
            // that the run was cancelled and counts that read by its outcome, its files kept
            // when it stopped or failed after some; Cancel's stop is no failure to name.
            WaveformPump::SaveCounted(pump, fWhole, window.iSavedFiles,
                                      window.fSaveFailureStopped ? "" : window.sSaveFailure);
            window.SetStatus(WaveformPump::CancelledText(pump));
            break;
        }
        window.SetStatus(fWhole ? "The data has been saved."
                         : window.sSavedFiles.empty() ? sFailure
                                                      : sFailure + " - Saved: " + window.sSavedFiles);
        if (!fWasSaving) break;
        if (!window.fSaveAutomatic) {
            // A save by hand runs only while no read does.
            window.DisableGadgets(false);
        } else {
            if (!pump.fAutomatic) window.DisableGadgets(false);
            WaveformPump::SaveEnded(pump);
        }
        if (pump.fAutomatic) {
            // The run goes on through a failed save (a file held open elsewhere passes), and says
            // how many reads were saved and, while saves fail, why.
            WaveformPump::SaveCounted(pump, fWhole, window.iSavedFiles, window.sSaveFailure);
            window.SetStatus(WaveformPump::CountText(pump));
        }
        break;
    }
    default: break;
    }
}

} // namespace WindowWaveform
