// Saving the waveforms that a waveform window has read: the record the window collects them in,
// and the save instances, each with one save thread that lives across saves. The thread merges
// the logic lines of a read into one channel, writes one file per channel through the writer of
// the instrument family and reports to the window with EventWaveformSaveStatus.
#pragma once

#include "common/DataBuffer.h"
#include "instrument/WaveformSources.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// One channel of a read.
struct uWaveformRecordChannel {
    std::int64_t eWaveform = WaveformNone; // WaveformNone marks the placeholder
    std::int64_t eDataSource = DataSourceNone;
    std::int64_t iTotalPoints = 0;
    // The answer bytes (the block, appended parts, the chained text answers) and the count the
    // window recorded; only the bytes the buffer really holds are ever read.
    DataBuffer pData;
    std::int64_t iDataSize = 0;
    std::string sFileChannel; // put into the file name
    std::string sChannelName; // written into the file header
    std::int64_t eAcquireType = 0;
};

struct uWaveformLogicLine {
    std::int64_t iLine = 0;  // digital line 0 to 15
    std::int64_t fShown = 0; // 1 when the line is written
    std::string sLabel;      // the user's label, may be empty
};

// The traces of one read, as the waveform window collects them and the save thread writes them.
struct uWaveformRecord {
    std::int64_t eModel = 0;
    std::vector<uWaveformRecordChannel> Channels; // element 0 is the placeholder
    std::vector<uWaveformLogicLine> LogicLines;
    // The folder of the files, kept apart from the template: a folder may hold "/" followed by a
    // letter, which the template would take for a token. The files go to sFolder/<expanded>.
    std::string sFolder;
    std::string sTemplate; // file-name template with its extension
    std::int64_t iSaveFormat = 0; // 1 CSV with ",", 2 CSV with ";", 3 BIN
    // Automatic saves replace no file: a name that exists gets "-2", "-3", ... before its
    // extension. A name the user chose replaces its file.
    bool fNewFilesOnly = false;
    std::string sManufacturer;
    std::string sModel;
    std::int64_t iDate = 0;         // seconds since 1970 in local time
    std::int64_t iMilliseconds = 0; // the millisecond counter at that moment
    std::int64_t iTotalPoints = 0;  // working fields of the window's part reads
    std::int64_t iPartPoints = 0;
    std::string sLogicChannelName; // the name of the merged logic channel
    std::int64_t eAcquireType = 0; // 0 not determined, 1 Refresh, 2 Average, 3 Envelope
};

// The state word of a save thread.
enum eThreadStatus : std::int64_t {
    ThreadStatusEnded = 1, // the save thread has ended
    ThreadStatusSave = 3,  // a record waits to be saved
    ThreadStatusStop = 6,  // writers and combiners leave their loops at their next check point
    ThreadStatusEnd = 8,   // the thread ends after its current pass
};

// Event types of EventWaveformSaveStatus (object = the instance number). Types 5, 7, 8 and 9
// carry an std::int64_t, types 6 and 10 a uSaveStatusText.
enum eSaveStatus : std::intptr_t {
    SaveStatusProgress = 5,
    SaveStatusFileWritten = 6,
    SaveStatusMergeProgress = 7,
    SaveStatusMergeFinished = 8,
    SaveStatusPassFinished = 9,
    SaveStatusError = 10,
};

struct uSaveStatusText {
    std::string sText;
    bool fStopped = false; // an error of type 10 that a stop made ("Stopped, not saved: "), no failure
};

// One save instance. The save thread shares it with the module's map, so a thread that outlives
// the instance's release still works on live memory.
struct WaveformDataInstance {
    std::int64_t iInstance = 0;
    int iWindow = 0;
    std::atomic<std::int64_t> eThreadStatus{0};
    std::atomic<std::int64_t> iSaveDataThreadNumber{0}; // serial number of the save thread, 0 = none
    std::atomic<std::int64_t> fBusy{0};
    std::shared_ptr<uWaveformRecord> pRecord;
    // For a file that replaces no other (automatic saves): the name to take instead when a file
    // has taken its name meanwhile. Set by the save thread before each writer call, read by the
    // writer on that thread; empty when the file replaces what has its name.
    std::function<std::string(const std::string&)> nextFreeName;
    // The save thread's last logged failure without its file name: the same failure of the next
    // files (a read-only folder under a long run) is not logged again until a pass saves whole.
    std::string sLoggedFailure;
};

namespace WaveformData {

// Makes the file name of one channel from the record's template; the application registers the
// window layer's template expander at start-up. Arguments: template, maker, model, date value,
// millisecond value, data source, second data source, channel text.
using FileNameExpander =
    std::function<std::string(const std::string&, const std::string&, const std::string&, std::int64_t,
                              std::int64_t, std::int64_t, std::int64_t, const std::string&)>;
// Without an expander the template is used as it stands.
void SetFileNameExpander(FileNameExpander expander);
// Names a file through the registered expander (the script names its files this way).
std::string ExpandFileName(const std::string& sTemplate, const std::string& sManufacturer, const std::string& sModel,
                           std::int64_t iDate, std::int64_t iMilliseconds, std::int64_t eDataSource,
                           const std::string& sChannel);

// A writer of one instrument family: writes one channel into the file and returns true when the
// whole file was written, else false with the text in sError (StoppedText when a stop ended it
// early: only a whole file goes under the name).
using WaveformWriter = std::function<bool(
    const uWaveformRecordChannel& channel, const std::vector<uWaveformLogicLine>& logicLines,
    const std::string& sFileName, std::int64_t iProgressStart, std::int64_t iProgressEnd,
    const std::string& sManufacturer, const std::string& sModel, std::int64_t iSaveFormat,
    WaveformDataInstance& instance, std::string& sError)>;
enum eWriterFamily { WriterHameg, WriterRigol, WriterRTB2000, WriterSiglent, WriterFamilyCount };
// The writer modules register here; a family without a writer is not supported.
void SetWriter(eWriterFamily eFamily, WaveformWriter writer);

// The millisecond clock of the progress check points; nullptr restores the steady clock.
using Clock = std::int64_t (*)();
void SetClock(Clock clock);
std::int64_t Milliseconds();

// GUI thread. Returns the new instance number (counting on over the whole run), 0 on failure.
std::int64_t NewInstance(int iWindow, std::string& sError);
// Hands the record to the instance's save thread, starting or waking it. Refused while the
// thread works on a record. The caller keeps the record unchanged until type 9 arrives.
bool SaveData(std::int64_t iInstance, std::shared_ptr<uWaveformRecord> pRecord, std::string& sError);
// Stores a state 1 to 8. For 8 the thread is woken, given up to 1000 ms to end, and detached
// when it has not ended by then.
bool SetSaveDataThreadStatus(std::int64_t iInstance, std::int64_t eStatus, std::string& sError);
// Ends the save thread (state 8) and removes the instance.
bool Release(std::int64_t iInstance, std::string& sError);

// A new record holding only the placeholder channel; the given one is let go. nullptr when the
// memory cannot be had.
std::shared_ptr<uWaveformRecord> ResetData(std::shared_ptr<uWaveformRecord> pRecord);
// Lets the caller's record go; false for no record.
bool FreeWaveformRecord(std::shared_ptr<uWaveformRecord>& pRecord);

// The name itself when no file has it, else the first free one with "-2", "-3", ... before the
// extension (the last dot of the name, not of the folder).
std::string FreeFileName(const std::string& sPath);
// Whether the stop word (6 or 8) asks the writers and combiners to leave their loops.
bool Stopping(const WaveformDataInstance& instance);
// What a writer that a stop ended gives in sError: nothing was put under the name.
std::string StoppedText(const std::string& sFileName);

// Posts EventWaveformSaveStatus to the instance's window (the writers and combiners use it).
void PostStatus(const WaveformDataInstance& instance, eSaveStatus eType, std::int64_t iData);
void PostStatusText(const WaveformDataInstance& instance, eSaveStatus eType, const std::string& sText,
                    bool fStopped = false);

// For tests: the number of save threads running now.
std::int64_t RunningThreads();

} // namespace WaveformData
