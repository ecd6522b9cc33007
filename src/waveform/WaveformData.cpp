#include "waveform/WaveformData.h"

#include "common/WindowLog.h"
#include "instrument/ModelTable.h"
#include "platform/AllocationFailure.h"
#include "platform/BackgroundThreads.h"
#include "platform/EventHub.h"
#include "platform/ProgramEvents.h"
#include "waveform/WaveformDataLogic.h"

#include <array>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <utility>

#include <sys/stat.h>
#include <unistd.h>

namespace WaveformData {

namespace {

// How a save thread sleeps and ends. Guarded by the module mutex.
struct uThreadControl {
    std::thread thread;
    std::condition_variable cvWake;
    std::condition_variable cvEnded;
    bool fWake = false;
    bool fEnded = false;
};

struct uInstanceEntry {
    std::shared_ptr<WaveformDataInstance> pInstance;
    std::shared_ptr<uThreadControl> pControl;
};

struct uModule {
    std::mutex mWaveformDataMutex;
    std::map<std::string, uInstanceEntry> mWaveformDataMap;
    std::int64_t iLiveInstances = 0;
    std::int64_t iLastInstance = 0;
    std::int64_t iRunningThreads = 0;
    std::int64_t iLastThread = 0;
    FileNameExpander expander;
    std::array<WaveformWriter, WriterFamilyCount> writers;
};

// The module outlives every save thread, a detached one included: it is never destroyed.
uModule& Module() {
    static uModule* pModule = new uModule;
    return *pModule;
}

std::atomic<Clock> mClock{nullptr};

std::string InstanceText(const char* sProcedure, std::int64_t iInstance, const std::string& sMessage) {
    return std::string("WaveformData::") + sProcedure + "[" + std::to_string(iInstance) + "]: " + sMessage;
}

// The entry of the instance, or nullptr with the "existiert nicht" text unless fQuiet. The caller
// holds the module mutex.
uInstanceEntry* LockInstance(uModule& m, std::int64_t iInstance, std::string& sError, bool fQuiet) {
    const auto it = m.mWaveformDataMap.find(std::to_string(iInstance));
    if (it != m.mWaveformDataMap.end()) return &it->second;
    if (!fQuiet) sError = InstanceText("LockInstance", iInstance, "Diese Instanz existiert nicht.");
    return nullptr;
}

bool Constructor(std::int64_t iInstance, int iWindow, std::string& sError) {
    uModule& m = Module();
    std::lock_guard lock(m.mWaveformDataMutex);
    std::string sQuiet;
    if (LockInstance(m, iInstance, sQuiet, true)) {
        sError = InstanceText("Constructor", iInstance, "Diese Instanz ist schon vorhanden.");
        return false;
    }
    try {
        uInstanceEntry entry;
        entry.pInstance = std::make_shared<WaveformDataInstance>();
        entry.pInstance->iInstance = iInstance;
        entry.pInstance->iWindow = iWindow;
        entry.pControl = std::make_shared<uThreadControl>();
        m.mWaveformDataMap.emplace(std::to_string(iInstance), std::move(entry));
    } catch (const std::bad_alloc&) {
        sError = InstanceText("Constructor", iInstance, "Der Speicher konnte nicht reserviert werden.");
        return false;
    }
    return true;
}

bool Destructor(std::int64_t iInstance, std::string& sError) {
    uModule& m = Module();
    std::lock_guard lock(m.mWaveformDataMutex);
    if (!LockInstance(m, iInstance, sError, false)) return false;
    m.mWaveformDataMap.erase(std::to_string(iInstance));
    --m.iLiveInstances;
    return true;
}

// Which elements a family writes, and which combiner merges its logic lines first.
struct uFamily {
    eWriterFamily eWriter;
    bool (*Combine)(uWaveformRecord&, WaveformDataInstance&, std::string&);
    bool fSkipPods;  // logic pods 1 and 2 are merged, never written themselves
    bool fSkipLines; // digital lines 0 to 15 likewise
};

bool FamilyOf(std::int64_t eModel, uFamily& family) {
    switch (eModel) {
    case ModelHamegHM2008:
    case ModelHamegHM1508:
    case ModelHamegHM1008: family = {WriterHameg, nullptr, false, false}; return true;
    case ModelRigolDS1000Z:
    case ModelRigolDS2000:
    case ModelRigolMSO2000: family = {WriterRigol, nullptr, true, false}; return true;
    case ModelRigolDS1000ZPlus: family = {WriterRigol, CombineLogicChannelsRigol, true, false}; return true;
    case ModelSiglentSDS2000XPlusCh2:
    case ModelSiglentSDS2000XPlusCh4:
    case ModelSiglentSDS5000XCh2:
    case ModelSiglentSDS5000XCh4: family = {WriterSiglent, CombineLogicChannelsSiglent, false, true}; return true;
    case ModelRohdeSchwarzRTB2000Ch2:
    case ModelRohdeSchwarzRTB2000Ch4: family = {WriterRTB2000, CombineLogicChannelsRTB2000, true, false}; return true;
    default: return false;
    }
}

bool IsWritten(const uFamily& family, std::int64_t eWaveform) {
    if (eWaveform == WaveformNone) return false;
    if (family.fSkipPods && (eWaveform == WaveformLogicPod1 || eWaveform == WaveformLogicPod2)) return false;
    if (family.fSkipLines && eWaveform >= WaveformDigital0 && eWaveform <= WaveformDigital15) return false;
    return true;
}

std::string JoinFolder(const std::string& sFolder, const std::string& sName) {
    if (sFolder.empty()) return sName;
    if (sFolder.back() == '/') return sFolder + sName;
    return sFolder + "/" + sName;
}

// A failure (or a stop) of the pass: logged here, so that it is in the log also when the window
// has closed meanwhile, and shown by the window. A failure that only names another file (sPath)
// than the last one logged is shown, not logged again.
void Failed(WaveformDataInstance& instance, const std::string& sText, bool fStopped = false,
            const std::string& sPath = {}) {
    if (fStopped) {
        WindowLog::PostLine(sText);
    } else {
        std::string sReason = sText;
        if (const std::size_t i = sPath.empty() ? std::string::npos : sReason.find(sPath); i != std::string::npos)
            sReason.erase(i, sPath.size());
        if (sReason != instance.sLoggedFailure) WindowLog::PostError(sText);
        instance.sLoggedFailure = std::move(sReason);
    }
    PostStatusText(instance, SaveStatusError, sText, fStopped);
}

// One pass over the record: merge, then one writer call per channel.
void SavePass(WaveformDataInstance& instance, uWaveformRecord* pRecord, const FileNameExpander& expander,
              const std::array<WaveformWriter, WriterFamilyCount>& writers) {
    if (!pRecord || pRecord->Channels.size() < 2) return;
    uWaveformRecord& record = *pRecord;
    uFamily family{};
    if (!FamilyOf(record.eModel, family) || !writers[family.eWriter]) {
        WindowLog::PostError("WaveformData::SaveDataThread: Keine Unterstützung für " + record.sManufacturer + " " +
                             record.sModel + " - eModel = " + std::to_string(record.eModel));
        return;
    }
    bool fFailed = false;
    if (family.Combine) {
        std::string sError;
        fFailed = !family.Combine(record, instance, sError);
        if (fFailed) Failed(instance, sError);
    }
    std::int64_t iCount = 0;
    for (const uWaveformRecordChannel& channel : record.Channels) iCount += IsWritten(family, channel.eWaveform) ? 1 : 0;
    const std::int64_t iShare = 100 / (iCount > 0 ? iCount : 1);
    std::int64_t iStart = 0;
    const WaveformWriter& writer = writers[family.eWriter];
    for (const uWaveformRecordChannel& channel : record.Channels) {
        if (!IsWritten(family, channel.eWaveform)) continue;
        const std::string sName =
            expander ? expander(record.sTemplate, record.sManufacturer, record.sModel, record.iDate,
                                record.iMilliseconds, channel.eDataSource, 0, channel.sFileChannel)
                     : record.sTemplate;
        std::string sPath = JoinFolder(record.sFolder, sName);
        instance.nextFreeName = nullptr;
        if (record.fNewFilesOnly) {
            // A file that takes the name before this one is renamed onto it stays: the next free
            // name after the expanded one is taken then.
            instance.nextFreeName = [sPath](const std::string&) { return FreeFileName(sPath); };
            sPath = FreeFileName(sPath);
        }
        std::string sError;
        // A stop leaves every file not yet whole unwritten; each is named as not saved.
        if (Stopping(instance)) sError = StoppedText(sPath);
        else if (writer(channel, record.LogicLines, sPath, iStart, iStart + iShare, record.sManufacturer,
                        record.sModel, record.iSaveFormat, instance, sError))
            sError.clear();
        else if (sError.empty())
            sError = "WaveformData::SaveDataThread: The file could not be written: " + sPath;
        if (!sError.empty()) {
            Failed(instance, sError, Stopping(instance), sPath); // a stop stays asked for
            fFailed = true;
        }
        iStart += iShare;
    }
    if (!fFailed) instance.sLoggedFailure.clear();
}

void SaveDataThread(std::shared_ptr<WaveformDataInstance> pInstance, std::shared_ptr<uThreadControl> pControl,
                    BackgroundThreads::uTicket ticket) {
    uModule& m = Module();
    WaveformDataInstance& instance = *pInstance;
    std::unique_lock lock(m.mWaveformDataMutex);
    for (;;) {
        std::string sError;
        const uInstanceEntry* pEntry = LockInstance(m, instance.iInstance, sError, false);
        if (!pEntry || pEntry->pInstance != pInstance || instance.eThreadStatus.load() == ThreadStatusEnd) break;
        instance.fBusy.store(1);
        pControl->fWake = false;
        // The pass keeps its own share of the record and of the hooks.
        const std::shared_ptr<uWaveformRecord> pRecord = instance.pRecord;
        const FileNameExpander expander = m.expander;
        const std::array<WaveformWriter, WriterFamilyCount> writers = m.writers;
        lock.unlock();

        if (!AllocationFailure::Run([&] { SavePass(instance, pRecord.get(), expander, writers); })) {
            // The pass ends there; the files it finished stay.
            AllocationFailure::Run([&] {
                Failed(instance, "WaveformData::SaveDataThread: " + std::string(AllocationFailure::Message));
            });
        }

        lock.lock();
        instance.fBusy.store(0);
        const bool fEnd = instance.eThreadStatus.load() == ThreadStatusEnd;
        lock.unlock();
        PostStatus(instance, SaveStatusPassFinished, 0);
        lock.lock();
        if (fEnd) break;
        pControl->cvWake.wait(lock, [&] {
            return pControl->fWake || instance.eThreadStatus.load() == ThreadStatusEnd;
        });
    }
    instance.iSaveDataThreadNumber.store(0);
    instance.eThreadStatus.store(ThreadStatusEnded);
    pControl->fEnded = true;
    --m.iRunningThreads;
    pControl->cvEnded.notify_all();
    lock.unlock();
    pInstance.reset(); // the record goes before the thread's place in the count
    pControl.reset();
    ticket.Release();
}

// What the program's exit asks of a save thread: the pass stops at its next check point (no file
// not yet whole is written) and the thread ends.
void RequestEnd(const std::weak_ptr<WaveformDataInstance>& pWeakInstance,
                const std::weak_ptr<uThreadControl>& pWeakControl) {
    uModule& m = Module();
    const std::shared_ptr<WaveformDataInstance> pInstance = pWeakInstance.lock();
    const std::shared_ptr<uThreadControl> pControl = pWeakControl.lock();
    if (!pInstance || !pControl) return;
    std::lock_guard lock(m.mWaveformDataMutex);
    if (pControl->fEnded) return;
    pInstance->eThreadStatus.store(ThreadStatusEnd);
    pControl->cvWake.notify_all();
}

} // namespace

void SetFileNameExpander(FileNameExpander expander) {
    uModule& m = Module();
    std::lock_guard lock(m.mWaveformDataMutex);
    m.expander = std::move(expander);
}

std::string ExpandFileName(const std::string& sTemplate, const std::string& sManufacturer, const std::string& sModel,
                           std::int64_t iDate, std::int64_t iMilliseconds, std::int64_t eDataSource,
                           const std::string& sChannel) {
    FileNameExpander expander;
    {
        uModule& m = Module();
        std::lock_guard lock(m.mWaveformDataMutex);
        expander = m.expander;
    }
    return expander ? expander(sTemplate, sManufacturer, sModel, iDate, iMilliseconds, eDataSource, 0, sChannel)
                    : sTemplate;
}

void SetWriter(eWriterFamily eFamily, WaveformWriter writer) {
    if (eFamily < 0 || eFamily >= WriterFamilyCount) return;
    uModule& m = Module();
    std::lock_guard lock(m.mWaveformDataMutex);
    m.writers[eFamily] = std::move(writer);
}

void SetClock(Clock clock) { mClock.store(clock); }

std::int64_t Milliseconds() {
    if (const Clock clock = mClock.load()) return clock();
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

std::int64_t NewInstance(int iWindow, std::string& sError) {
    uModule& m = Module();
    std::int64_t iInstance = 0;
    {
        std::lock_guard lock(m.mWaveformDataMutex);
        ++m.iLiveInstances;
        iInstance = ++m.iLastInstance;
    }
    if (Constructor(iInstance, iWindow, sError)) return iInstance;
    std::lock_guard lock(m.mWaveformDataMutex);
    --m.iLiveInstances;
    if (m.iLastInstance == iInstance) --m.iLastInstance;
    return 0;
}

bool SaveData(std::int64_t iInstance, std::shared_ptr<uWaveformRecord> pRecord, std::string& sError) {
    uModule& m = Module();
    std::unique_lock lock(m.mWaveformDataMutex);
    uInstanceEntry* pEntry = LockInstance(m, iInstance, sError, false);
    if (!pEntry) return false;
    WaveformDataInstance& instance = *pEntry->pInstance;
    uThreadControl& control = *pEntry->pControl;
    const std::int64_t iThread = instance.iSaveDataThreadNumber.load();
    if (iThread != 0 && instance.fBusy.load() == 1) {
        sError = InstanceText("SaveData", iInstance,
                              "Der Thread ist in Verwendung. iSaveDataThreadNumber = " + std::to_string(iThread));
        return false;
    }
    instance.pRecord = std::move(pRecord);
    instance.eThreadStatus.store(ThreadStatusSave);
    if (control.thread.joinable() && !control.fEnded) {
        control.fWake = true;
        control.cvWake.notify_all();
        return true;
    }
    if (control.thread.joinable()) control.thread.join(); // it has ended and touches nothing shared now
    control.fEnded = false;
    control.fWake = false;
    const std::int64_t iSerial = ++m.iLastThread;
    try {
        BackgroundThreads::uTicket ticket = BackgroundThreads::Enter(
            [pInstance = std::weak_ptr(pEntry->pInstance), pControl = std::weak_ptr(pEntry->pControl)] {
                RequestEnd(pInstance, pControl);
            });
        control.thread = std::thread(SaveDataThread, pEntry->pInstance, pEntry->pControl, std::move(ticket));
    } catch (const std::system_error&) {
        sError = InstanceText("SaveData", iInstance, "Der Thread konnte nicht erstellt werden.");
        return false;
    }
    ++m.iRunningThreads;
    instance.iSaveDataThreadNumber.store(iSerial);
    return true;
}

bool SetSaveDataThreadStatus(std::int64_t iInstance, std::int64_t eStatus, std::string& sError) {
    if (eStatus < 1 || eStatus > 8) {
        sError = InstanceText("SetSaveDataThreadStatus", iInstance,
                              "Ungültiger Wert für den Threadstatus. eThreadStatus = " + std::to_string(eStatus));
        return false;
    }
    uModule& m = Module();
    std::unique_lock lock(m.mWaveformDataMutex);
    uInstanceEntry* pEntry = LockInstance(m, iInstance, sError, false);
    if (!pEntry) return false;
    pEntry->pInstance->eThreadStatus.store(eStatus);
    if (eStatus != ThreadStatusEnd || !pEntry->pControl->thread.joinable()) return true;
    // The entry may leave the map while the wait lets the mutex go: hold the control itself.
    const std::shared_ptr<uThreadControl> pControl = pEntry->pControl;
    pControl->cvWake.notify_all();
    if (!pControl->cvEnded.wait_for(lock, std::chrono::milliseconds(1000), [&] { return pControl->fEnded; })) {
        // Still inside a long write: it ends by itself at its next check point and keeps the
        // instance and the record alive until then; the program's exit waits for it.
        pControl->thread.detach();
        return true;
    }
    std::thread ended = std::move(pControl->thread);
    lock.unlock();
    ended.join();
    return true;
}

bool Release(std::int64_t iInstance, std::string& sError) {
    std::string sStatusError;
    SetSaveDataThreadStatus(iInstance, ThreadStatusEnd, sStatusError);
    return Destructor(iInstance, sError);
}

std::shared_ptr<uWaveformRecord> ResetData(std::shared_ptr<uWaveformRecord> pRecord) {
    FreeWaveformRecord(pRecord);
    try {
        auto pNew = std::make_shared<uWaveformRecord>();
        pNew->Channels.emplace_back();
        return pNew;
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

bool FreeWaveformRecord(std::shared_ptr<uWaveformRecord>& pRecord) {
    if (!pRecord) return false;
    pRecord.reset();
    return true;
}

void PostStatus(const WaveformDataInstance& instance, eSaveStatus eType, std::int64_t iData) {
    EventHub::PostEvent(EventWaveformSaveStatus, instance.iWindow, static_cast<std::intptr_t>(instance.iInstance),
                        eType, EventHub::Payload::Of<std::int64_t>(iData));
}

void PostStatusText(const WaveformDataInstance& instance, eSaveStatus eType, const std::string& sText,
                    bool fStopped) {
    EventHub::PostEvent(EventWaveformSaveStatus, instance.iWindow, static_cast<std::intptr_t>(instance.iInstance),
                        eType, EventHub::Payload::Of(uSaveStatusText{sText, fStopped}));
}

std::string FreeFileName(const std::string& sPath) {
    const auto exists = [](const std::string& s) {
        struct stat info {};
        return ::lstat(s.c_str(), &info) == 0; // a dangling link holds its name too
    };
    if (!exists(sPath)) return sPath;
    const std::size_t iSlash = sPath.find_last_of('/');
    std::size_t iDot = sPath.find_last_of('.');
    if (iDot == std::string::npos || (iSlash != std::string::npos && iDot < iSlash)) iDot = sPath.size();
    for (int i = 2; i < 100000; ++i) {
        const std::string sFree = sPath.substr(0, iDot) + "-" + std::to_string(i) + sPath.substr(iDot);
        if (!exists(sFree)) return sFree;
    }
    return sPath;
}

bool Stopping(const WaveformDataInstance& instance) {
    const std::int64_t eStatus = instance.eThreadStatus.load();
    return eStatus == ThreadStatusStop || eStatus == ThreadStatusEnd;
}

std::string StoppedText(const std::string& sFileName) { return "Stopped, not saved: " + sFileName; }

std::int64_t RunningThreads() {
    uModule& m = Module();
    std::lock_guard lock(m.mWaveformDataMutex);
    return m.iRunningThreads;
}

} // namespace WaveformData
