// The one way every file of the program is written: a new file beside the target, renamed over
// it only when every byte is written, flushed to the disk and closed. On any failure the earlier
// file stays as it was and the new one is removed. A target that is a pipe, a device or another
// special file is refused before anything is opened, so that no save can block or be ended by
// SIGPIPE. The error texts are the system's reason only ("No space left on device"): the caller
// names the path in its own message (FileFailure).
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <utility>

namespace Utility {

// One file being written. Begin, then Write (and WriteAt) as often as needed, then Commit; a
// record that leaves scope uncommitted removes its new file. Not shared between threads.
// A stop word (SetStop) ends a save at its next look: every megabyte written, before the flush
// and before the rename; the save fails with the reason "Operation canceled" and its new file
// goes. The program's exit removes the new file of every save still under way
// (RemoveUnfinishedFiles).
struct uFileSave {
    uFileSave() = default;
    uFileSave(const uFileSave&) = delete;
    uFileSave& operator=(const uFileSave&) = delete;
    ~uFileSave();

    // Checks the target and creates the new file beside it; false with the reason when the
    // name holds a NUL byte, the target is no regular file or the folder takes no new file.
    // fNewOnly: an existing file of that name is never replaced (EEXIST, here or at Commit).
    bool Begin(const std::string& sPath, std::string& sError, bool fNewOnly = false);
    // With fNewOnly: where a file has the name (at Begin, or one that appeared before the rename),
    // the file goes under the name nextName gives for it instead (in the same folder; an empty
    // name gives up with EEXIST). Set before Begin.
    void SetNextName(std::function<std::string(const std::string&)> next) { nextName = std::move(next); }
    // The word that asks this save to stop (nullptr: none); it outlives the save.
    void SetStop(const std::atomic<bool>* pStopWord) { pStop = pStopWord; }
    // The name the file was begun (and committed) under: the given one, or the next one taken.
    const std::string& Name() const { return sName; }
    // Every byte or false; a short write is continued.
    bool Write(const void* pBytes, std::size_t iCount, std::string& sError);
    bool Write(std::string_view bytes, std::string& sError) {
        return Write(bytes.data(), bytes.size(), sError);
    }
    // Overwrites bytes already written (a length known only at the end).
    bool WriteAt(std::uint64_t iOffset, const void* pBytes, std::size_t iCount, std::string& sError);
    // Flushes to the disk, closes and renames over the target. After a failure the target is
    // untouched and the new file is gone.
    bool Commit(std::string& sError);
    // Closes and removes the new file (also what the destructor does when not committed).
    void Cancel();
    // Whether Begin created the new file: a failure after it is a write failure.
    bool Created() const { return fd >= 0 || fCommitted; }

  private:
    // True, with the reason, when a stop or the program's exit ended the save.
    bool Stopped(std::string& sError) const;
    void Unlist();

    int fd = -1;
    std::string sName;   // the name as given, or the next one taken
    std::string sTarget; // where the file ends up (a symbolic link's target)
    std::string sPart;   // the new file beside it
    bool fCommitted = false;
    bool fNewOnly = false;
    std::function<std::string(const std::string&)> nextName;
    const std::atomic<bool>* pStop = nullptr;
    std::atomic<bool> fAbandoned{false}; // its new file was removed by the program's exit
};

// The whole file at once. *pCreated (when given) tells a failure to write from one to create.
// pStop: as uFileSave::SetStop.
bool SaveFile(const std::string& sPath, std::span<const std::string_view> parts, std::string& sError,
              bool fNewOnly = false, bool* pCreated = nullptr, const std::atomic<bool>* pStop = nullptr);
inline bool SaveFile(const std::string& sPath, std::string_view bytes, std::string& sError,
                     bool fNewOnly = false, bool* pCreated = nullptr, const std::atomic<bool>* pStop = nullptr) {
    return SaveFile(sPath, std::span<const std::string_view>(&bytes, 1), sError, fNewOnly, pCreated, pStop);
}

// At the program's exit, after its threads had their time to end: removes the new file of every
// save still under way (a thread blocked in a write), which then fails when it goes on; saves
// begun later are not touched. Returns how many files it removed.
int RemoveUnfinishedFiles();
// Bytes added at the end of a regular file, in place: a missing one is created where it stands
// (exclusively, else the file another writer just created is opened and added to), so that
// writers adding to one file all keep their bytes. The parts go in one write, and the writers of
// this program take turns on the file (flock), so an add is never split by another. An append is
// not flushed to the disk by itself. A failed write cuts the file back to its length when the add
// took its turn (a file this call created and holding nothing else is removed), so every other
// byte stays; the file is not copied, so a crash in the middle of an append may leave part of the
// new bytes. A stop word (a script's) ends the wait for the turn, which another program may
// hold for long: nothing is added then (ECANCELED).
bool AppendFile(const std::string& sPath, std::span<const std::string_view> parts, std::string& sError,
                bool* pCreated = nullptr, const std::atomic<bool>* pStop = nullptr);

// For tests: the flush of a new file to the disk (fsync; nullptr restores it), the write of bytes
// into a new file (write; nullptr restores it: a slow disk), and a call on the writing thread
// when a new file is whole, flushed and closed, just before it is renamed over its target
// (nullptr: none).
namespace FileSavingSeam {
using Sync = int (*)(int fd);
void SetSync(Sync sync);
using WriteCall = long (*)(int fd, const void* pBytes, std::size_t iCount);
void SetWrite(WriteCall write);
void SetBeforeRename(std::function<void(const std::string& sTarget)> hook);
} // namespace FileSavingSeam

// "<sText><sPath> (<sReason>)": the message a window shows and logs.
std::string FileFailure(const std::string& sText, const std::string& sPath, const std::string& sReason);

} // namespace Utility
