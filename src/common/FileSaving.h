// The one way every file of the program is written: a new file beside the target, renamed over
// it only when every byte is written, flushed to the disk and closed. On any failure the earlier
// file stays as it was and the new one is removed. A target that is a pipe, a device or another
// special file is refused before anything is opened, so that no save can block or be ended by
// SIGPIPE. The error texts are the system's reason only ("No space left on device"): the caller
// names the path in its own message (FileFailure).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace Utility {

// One file being written. Begin, then Write (and WriteAt) as often as needed, then Commit; a
// record that leaves scope uncommitted removes its new file. Not shared between threads.
struct uFileSave {
    uFileSave() = default;
    uFileSave(const uFileSave&) = delete;
    uFileSave& operator=(const uFileSave&) = delete;
    ~uFileSave();

    // Checks the target and creates the new file beside it; false with the reason when the
    // name holds a NUL byte, the target is no regular file or the folder takes no new file.
    // fNewOnly: an existing file of that name is never replaced (EEXIST, here or at Commit).
    bool Begin(const std::string& sPath, std::string& sError, bool fNewOnly = false);
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
    int fd = -1;
    std::string sTarget; // where the file ends up (a symbolic link's target)
    std::string sPart;   // the new file beside it
    bool fCommitted = false;
    bool fNewOnly = false;
};

// The whole file at once. *pCreated (when given) tells a failure to write from one to create.
bool SaveFile(const std::string& sPath, std::span<const std::string_view> parts, std::string& sError,
              bool fNewOnly = false, bool* pCreated = nullptr);
inline bool SaveFile(const std::string& sPath, std::string_view bytes, std::string& sError,
                     bool fNewOnly = false, bool* pCreated = nullptr) {
    return SaveFile(sPath, std::span<const std::string_view>(&bytes, 1), sError, fNewOnly, pCreated);
}
// Bytes added at the end of an existing regular file (a missing one is created whole). A failed
// write cuts the file back to its earlier length, so the earlier bytes stay as they were; the
// file is not copied, so a crash in the middle of an append may leave part of the new bytes.
bool AppendFile(const std::string& sPath, std::span<const std::string_view> parts, std::string& sError,
                bool* pCreated = nullptr);

// "<sText><sPath> (<sReason>)": the message a window shows and logs.
std::string FileFailure(const std::string& sText, const std::string& sPath, const std::string& sReason);

} // namespace Utility
