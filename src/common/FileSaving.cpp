#include "common/FileSaving.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <memory>
#include <mutex>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace Utility {
namespace {

// The part of a long name kept in the new file's name: with its suffix it stays below NAME_MAX.
constexpr std::size_t PartNameKeep = 200;
constexpr int CreateAttempts = 16;
constexpr int NameAttempts = 100;  // next names tried for a file that replaces none
constexpr int AppendAttempts = 16; // a file appearing and going between two opens
// An add that may be stopped looks for its turn this often at most while another writer holds
// the file: a stop ends the wait within that time.
constexpr std::chrono::microseconds TurnPollLongest(4000);

// A stop word is looked at before each part of this size is written.
constexpr std::size_t WritePartBytes = std::size_t{1} << 20;

std::atomic<FileSavingSeam::Sync> mSync{nullptr};
std::atomic<FileSavingSeam::WriteCall> mWrite{nullptr};
// Never destroyed: a save blocked past the exit's wait may reach them while the statics go.
std::mutex& mSeamMutex = *new std::mutex;
auto& mBeforeRename = *new std::function<void(const std::string&)>; // under mSeamMutex

int SyncFile(int fd) {
    const FileSavingSeam::Sync sync = mSync.load();
    return sync ? sync(fd) : ::fsync(fd);
}

// Every save whose new file exists, with that file's name: what the exit removes. Never
// destroyed, so that a save still under way while the program's statics go finds it.
struct uUnfinished {
    std::mutex mutex;
    std::map<const uFileSave*, std::pair<std::string, std::atomic<bool>*>> mSaves;
};
uUnfinished& Unfinished() {
    static auto* p = new uUnfinished;
    return *p;
}

ssize_t WriteBytes(int fd, const void* p, std::size_t n) {
    const FileSavingSeam::WriteCall write = mWrite.load();
    return write ? static_cast<ssize_t>(write(fd, p, n)) : ::write(fd, p, n);
}

void BeforeRename(const std::string& sTarget) {
    std::function<void(const std::string&)> hook;
    {
        std::lock_guard lock(mSeamMutex);
        hook = mBeforeRename;
    }
    if (hook) hook(sTarget);
}

constexpr const char* NotRegular =
    "The target is a pipe, a device or another special file, not a regular file.";

std::string Reason(int iError) {
    return std::strerror(iError);
}

// Waits for this writer's turn on the file (the lock); another program may hold it for as long as
// it likes, so a stop word, where given, ends the wait (ECANCELED).
bool TakeTurn(int fd, const std::atomic<bool>* pStop, std::string& sError) {
    std::chrono::microseconds pause(100);
    while (::flock(fd, pStop ? LOCK_EX | LOCK_NB : LOCK_EX) != 0) {
        if (errno == EINTR) continue;
        if (errno != EWOULDBLOCK) {
            sError = Reason(errno);
            return false;
        }
        if (pStop->load()) {
            sError = Reason(ECANCELED);
            return false;
        }
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, TurnPollLongest);
    }
    return true;
}

// Where the file ends up, and the mode of the file it replaces (0 when there is none). A
// symbolic link is followed, so that the link stays and its target gets the new bytes.
bool CheckTarget(const std::string& sPath, std::string& sTarget, mode_t& iMode, bool& fExists,
                 std::string& sError) {
    iMode = 0;
    fExists = false;
    if (sPath.empty()) {
        sError = "The file name is empty.";
        return false;
    }
    if (sPath.find('\0') != std::string::npos) {
        sError = "The file name holds a NUL byte.";
        return false;
    }
    sTarget = sPath;
    struct stat info {};
    if (::lstat(sPath.c_str(), &info) != 0) {
        if (errno == ENOENT) return true; // a new file; a missing folder shows when it is created
        sError = Reason(errno);
        return false;
    }
    if (S_ISLNK(info.st_mode)) {
        std::unique_ptr<char, decltype(&std::free)> pResolved(::realpath(sPath.c_str(), nullptr), &std::free);
        if (!pResolved) return true; // a dangling link is replaced by the file
        sTarget = pResolved.get();
        if (::stat(sTarget.c_str(), &info) != 0) {
            sError = Reason(errno);
            return false;
        }
    }
    if (S_ISDIR(info.st_mode)) {
        sError = Reason(EISDIR);
        return false;
    }
    if (!S_ISREG(info.st_mode)) {
        // A pipe would block without a reader and raise SIGPIPE when its reader leaves; a device
        // cannot take a rename. Neither is a file the user gets back.
        sError = NotRegular;
        return false;
    }
    // A file the user made read-only is not replaced, not even by a user the system lets write
    // anywhere: the new file would go in by the folder's permission, not the file's.
    // The system's own reason where it refuses (a read-only mount says so, not "Permission denied").
    const int iRefused = ::access(sTarget.c_str(), W_OK) == 0 ? 0 : errno;
    if (iRefused != 0 || (info.st_mode & 0222) == 0) {
        sError = Reason(iRefused != 0 ? iRefused : EACCES);
        return false;
    }
    iMode = info.st_mode & 07777;
    fExists = true;
    return true;
}

// Six letters that differ between calls, threads and processes.
std::string UniqueSuffix() {
    static std::atomic<std::uint64_t> iCounter{0};
    std::uint64_t x =
        static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
        (static_cast<std::uint64_t>(::getpid()) << 40) ^ (++iCounter * 0x9E3779B97F4A7C15ull);
    x ^= x >> 31;
    x *= 0xBF58476D1CE4E5B9ull;
    x ^= x >> 29;
    static constexpr char Letters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::string s;
    for (int i = 0; i < 6; ++i, x /= 36)
        s += Letters[x % 36];
    return s;
}

// fStopped (when given) is asked before each part of WritePartBytes.
template <typename Stopped>
bool WriteLoop(int fd, const void* pBytes, std::size_t iCount, std::int64_t iOffset, std::string& sError,
               const Stopped& fStopped) {
    const auto* p = static_cast<const char*>(pBytes);
    while (iCount > 0) {
        if (fStopped(sError)) return false;
        const std::size_t iPart = std::min(iCount, WritePartBytes);
        const ssize_t n = iOffset < 0 ? WriteBytes(fd, p, iPart) : ::pwrite(fd, p, iPart, iOffset);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            sError = Reason(errno);
            return false;
        }
        if (n == 0) {
            sError = Reason(EIO);
            return false;
        }
        p += n;
        iCount -= static_cast<std::size_t>(n);
        if (iOffset >= 0) iOffset += n;
    }
    return true;
}

bool WriteLoop(int fd, const void* pBytes, std::size_t iCount, std::int64_t iOffset, std::string& sError) {
    return WriteLoop(fd, pBytes, iCount, iOffset, sError, [](std::string&) { return false; });
}

// The rename is on the disk only when its folder is: best effort, the file itself is whole.
void SyncFolder(const std::string& sTarget) {
    const std::size_t iSlash = sTarget.find_last_of('/');
    const std::string sFolder = iSlash == std::string::npos ? "."
                                : iSlash == 0               ? "/"
                                                            : sTarget.substr(0, iSlash);
    const int fd = ::open(sFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

// Renames without replacing a file that appeared meanwhile; a file system without that rename
// gets a second name and loses the first.
bool RenameNew(const std::string& sFrom, const std::string& sTo) {
    if (::renameat2(AT_FDCWD, sFrom.c_str(), AT_FDCWD, sTo.c_str(), RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
    if (::link(sFrom.c_str(), sTo.c_str()) != 0) return false;
    ::unlink(sFrom.c_str());
    return true;
}

} // namespace

uFileSave::~uFileSave() {
    Cancel();
}

bool uFileSave::Begin(const std::string& sPath, std::string& sError, bool fNew) {
    Cancel();
    fCommitted = false;
    fNewOnly = fNew;
    mode_t iMode = 0;
    bool fExists = false;
    sName = sPath;
    for (int i = 0;; ++i) {
        if (!CheckTarget(sName, sTarget, iMode, fExists, sError)) return false;
        if (!fExists || !fNewOnly) break;
        if (!nextName || i >= NameAttempts || (sName = nextName(sName)).empty()) {
            sError = Reason(EEXIST);
            return false;
        }
    }
    const std::size_t iSlash = sTarget.find_last_of('/');
    const std::size_t iName = iSlash == std::string::npos ? 0 : iSlash + 1;
    const std::string sBase = sTarget.substr(0, iName + std::min(PartNameKeep, sTarget.size() - iName));
    for (int i = 0; i < CreateAttempts; ++i) {
        sPart = sBase + "." + UniqueSuffix() + ".part";
        // O_EXCL: never a file or link that is there already; O_NONBLOCK as a guard besides.
        do {
            fd = ::open(sPart.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW,
                        0666);
        } while (fd < 0 && errno == EINTR);
        if (fd >= 0 || errno != EEXIST) break;
    }
    if (fd < 0) {
        sError = Reason(errno);
        sPart.clear();
        return false;
    }
    {
        uUnfinished& u = Unfinished();
        std::lock_guard lock(u.mutex);
        fAbandoned.store(false);
        u.mSaves[this] = {sPart, &fAbandoned};
    }
    // The new file keeps the permissions of the one it replaces.
    if (fExists) ::fchmod(fd, iMode);
    return true;
}

bool uFileSave::Stopped(std::string& sError) const {
    if ((pStop && pStop->load()) || fAbandoned.load()) {
        sError = Reason(ECANCELED);
        return true;
    }
    return false;
}

void uFileSave::Unlist() {
    uUnfinished& u = Unfinished();
    std::lock_guard lock(u.mutex);
    u.mSaves.erase(this);
}

bool uFileSave::Write(const void* pBytes, std::size_t iCount, std::string& sError) {
    if (fd < 0) {
        sError = Reason(EBADF);
        return false;
    }
    return WriteLoop(fd, pBytes, iCount, -1, sError, [this](std::string& s) { return Stopped(s); });
}

bool uFileSave::WriteAt(std::uint64_t iOffset, const void* pBytes, std::size_t iCount, std::string& sError) {
    if (fd < 0) {
        sError = Reason(EBADF);
        return false;
    }
    return WriteLoop(fd, pBytes, iCount, static_cast<std::int64_t>(iOffset), sError,
                     [this](std::string& s) { return Stopped(s); });
}

bool uFileSave::Commit(std::string& sError) {
    if (fd < 0) {
        sError = Reason(EBADF);
        return false;
    }
    // A delayed write error shows at fsync or close: then the file is not whole. A stop asked
    // for during the flush still keeps the file from its name.
    bool fDone = !Stopped(sError);
    if (fDone && SyncFile(fd) != 0) {
        fDone = false;
        sError = Reason(errno);
    }
    if (fDone && Stopped(sError)) fDone = false;
    const int iClosed = ::close(fd);
    fd = -1;
    if (fDone && iClosed != 0) {
        fDone = false;
        sError = Reason(errno);
    }
    if (fDone) BeforeRename(sTarget);
    for (int i = 0; fDone; ++i) {
        if (fNewOnly ? RenameNew(sPart, sTarget) : ::rename(sPart.c_str(), sTarget.c_str()) == 0) break;
        const int iError = errno;
        // A file that took the name meanwhile stays; the new one goes under the next name.
        std::string sNext;
        if (fNewOnly && iError == EEXIST && nextName && i < NameAttempts) sNext = nextName(sName);
        if (sNext.empty()) {
            fDone = false;
            sError = Reason(iError);
            break;
        }
        sName = sTarget = sNext;
    }
    if (!fDone) {
        Cancel();
        return false;
    }
    fCommitted = true;
    Unlist();
    sPart.clear();
    SyncFolder(sTarget);
    return true;
}

void uFileSave::Cancel() {
    if (fd >= 0) ::close(fd);
    fd = -1;
    if (!sPart.empty()) {
        Unlist();
        ::unlink(sPart.c_str());
    }
    sPart.clear();
}

int RemoveUnfinishedFiles() {
    uUnfinished& u = Unfinished();
    std::lock_guard lock(u.mutex);
    int iRemoved = 0;
    for (auto& [pSave, entry] : u.mSaves) {
        entry.second->store(true); // its next write, flush or rename fails
        if (::unlink(entry.first.c_str()) == 0) ++iRemoved;
    }
    u.mSaves.clear();
    return iRemoved;
}

bool SaveFile(const std::string& sPath, std::span<const std::string_view> parts, std::string& sError,
              bool fNewOnly, bool* pCreated, const std::atomic<bool>* pStop) {
    uFileSave file;
    file.SetStop(pStop);
    const bool fBegun = file.Begin(sPath, sError, fNewOnly);
    if (pCreated) *pCreated = fBegun;
    if (!fBegun) return false;
    for (std::string_view part : parts)
        if (!file.Write(part, sError)) return false;
    return file.Commit(sError);
}

bool AppendFile(const std::string& sPath, std::span<const std::string_view> parts, std::string& sError,
                bool* pCreated, const std::atomic<bool>* pStop) {
    if (pCreated) *pCreated = false;
    std::string sTarget;
    mode_t iMode = 0;
    bool fExists = false;
    if (!CheckTarget(sPath, sTarget, iMode, fExists, sError)) return false;
    // The add reaches the file as one write: another writer's bytes never come between its parts.
    std::string sBytes;
    for (std::string_view part : parts) sBytes += part;
    // Opened in place: a missing file is created exclusively; when another writer created it
    // first, that file is opened and added to. Never a file beside it renamed over the name.
    constexpr int Flags = O_WRONLY | O_APPEND | O_CLOEXEC | O_NONBLOCK;
    int fd = -1;
    bool fNew = false;
    struct stat info {};
    for (int i = 0; fd < 0 && i < AppendAttempts; ++i) {
        fNew = !fExists;
        fd = ::open(sTarget.c_str(), fNew ? Flags | O_CREAT | O_EXCL : Flags, 0666);
        if (fd < 0) {
            if (errno == (fNew ? EEXIST : ENOENT)) fExists = !fExists; // it came or went meanwhile
            else if (errno != EINTR) break;
            continue;
        }
        // The writers of this program take turns on the file (an advisory lock), so that a failed
        // add knows which bytes are its own.
        if (!TakeTurn(fd, pStop, sError)) { // nothing of this add was written; the file was opened
            ::close(fd);
            if (pCreated) *pCreated = true;
            return false;
        }
        if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) { // replaced since it was looked at
            ::close(fd);
            sError = NotRegular;
            return false;
        }
        if (info.st_nlink == 0) { // a failed add that had created it removed it meanwhile
            ::close(fd);
            fd = -1;
            fExists = false;
        }
    }
    if (fd < 0) {
        sError = Reason(errno);
        return false;
    }
    if (pCreated) *pCreated = true;
    bool fDone = WriteLoop(fd, sBytes.data(), sBytes.size(), -1, sError);
    if (fDone) {
        // A delayed write error shows at the close; the copy keeps the lock until the cut below.
        const int fdLocked = ::dup(fd);
        fDone = ::close(fd) == 0;
        if (!fDone) sError = Reason(errno);
        fd = fdLocked;
        if (fDone || fd < 0) {
            if (fd >= 0) ::close(fd);
            return fDone;
        }
    }
    // Only this add's bytes go: what was there when it took its turn stays. A file this add
    // created and that holds nothing else goes as a whole.
    if (fNew && info.st_size == 0) ::unlink(sTarget.c_str());
    else if (::ftruncate(fd, info.st_size) != 0) {
        // Nothing more can be done: the reason above is the one that counts.
    }
    ::close(fd);
    return false;
}

namespace FileSavingSeam {

void SetSync(Sync sync) { mSync.store(sync); }

void SetWrite(WriteCall write) { mWrite.store(write); }

void SetBeforeRename(std::function<void(const std::string& sTarget)> hook) {
    std::lock_guard lock(mSeamMutex);
    mBeforeRename = std::move(hook);
}

} // namespace FileSavingSeam

std::string FileFailure(const std::string& sText, const std::string& sPath, const std::string& sReason) {
    return sText + sPath + " (" + sReason + ")";
}

} // namespace Utility
