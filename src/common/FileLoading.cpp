#include "common/FileLoading.h"

#include "common/TextRoutines.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace Utility {
namespace {

// Closes the descriptor when it leaves scope.
class FileDescriptor {
  public:
    explicit FileDescriptor(int fd) : fd(fd) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() {
        if (fd >= 0) ::close(fd);
    }
    int get() const { return fd; }

  private:
    int fd;
};

std::string Quoted(const std::string& sName) { return ":  >" + sName + "<"; }

// The bytes read between two looks at a load's stop word.
constexpr std::size_t ReadPartBytes = std::size_t{1} << 20;

// Reads up to iCount bytes; returns how many arrived before the end, an error or the stop.
std::size_t ReadFully(int fd, std::uint8_t* p, std::size_t iCount, const std::atomic<bool>* pStop) {
    std::size_t iDone = 0;
    while (iDone < iCount) {
        if (pStop && pStop->load()) break;
        const ssize_t n = ::read(fd, p + iDone, std::min(iCount - iDone, ReadPartBytes));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        iDone += static_cast<std::size_t>(n);
    }
    return iDone;
}

// A regular file whose size the kernel does not know (/proc, /sys) says 0 bytes: it is read to
// its end. Its reading fails with the system's reason.
bool ReadToEnd(int fd, DataBuffer& block, const std::string& sFileName, std::string& sError,
               const std::atomic<bool>* pStop) {
    char part[4096];
    for (;;) {
        if (pStop && pStop->load()) {
            sError = std::strerror(ECANCELED);
            return false;
        }
        const ssize_t n = ::read(fd, part, sizeof part);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            sError = "The file could not be read" + Quoted(sFileName) + " (" + std::strerror(errno) + ")";
            return false;
        }
        if (n == 0) return true;
        if (!block.append(part, static_cast<std::size_t>(n))) {
            sError = "The memory for the file could not be reserved" + Quoted(sFileName);
            return false;
        }
    }
}

// Why a file that is not a regular one is not read. A pipe, a device or a socket could wait
// without end when opened or read (a pipe without a writer) or change the device (a serial
// port's control lines).
std::string NotRegular(const struct stat& info, const std::string& sFileName) {
    return (S_ISDIR(info.st_mode) ? "The file could not be opened"
                                  : "The file is a pipe, a device or another special file, not a regular file") +
           Quoted(sFileName);
}

// Opens and reads the whole file. A binary load first asks whether the file exists, and an
// empty file is an error of its own for it. Only a regular file is opened: a special file is
// refused on what the name points to, and again on what was opened (it may have been replaced
// in between, and O_NONBLOCK keeps that open from waiting).
bool ReadWholeFile(const std::string& sFileName, DataBuffer& data, bool fBinary, std::string& sError,
                   const std::atomic<bool>* pStop) {
    if (sFileName.find('\0') != std::string::npos) {
        sError = "The file name holds a NUL byte.";
        return false;
    }
    struct stat info {};
    const bool fFound = ::stat(sFileName.c_str(), &info) == 0;
    if (fBinary && !fFound) {
        sError = "The file does not exist" + Quoted(sFileName);
        return false;
    }
    if (fFound && !S_ISREG(info.st_mode)) {
        sError = NotRegular(info, sFileName);
        return false;
    }
    FileDescriptor file(::open(sFileName.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (file.get() < 0) {
        sError = "The file could not be opened" + Quoted(sFileName);
        return false;
    }
    if (::fstat(file.get(), &info) != 0) {
        sError = "The file could not be opened" + Quoted(sFileName);
        return false;
    }
    if (!S_ISREG(info.st_mode)) {
        sError = NotRegular(info, sFileName);
        return false;
    }
    const auto iSize = static_cast<std::size_t>(info.st_size);
    DataBuffer block;
    if (iSize == 0 && !ReadToEnd(file.get(), block, sFileName, sError, pStop)) return false;
    if (!block.empty()) {
        data = std::move(block);
        return true;
    }
    if (iSize == 0) {
        if (fBinary) {
            sError = "The file is empty" + Quoted(sFileName);
            return false;
        }
        data = std::move(block);
        return true;
    }
    if (!block.reserve(iSize)) {
        sError = "The memory for the file could not be reserved" + Quoted(sFileName);
        return false;
    }
    if (ReadFully(file.get(), block.data(), iSize, pStop) != iSize) {
        sError = pStop && pStop->load() ? std::string(std::strerror(ECANCELED))
                                        : "The file could not be read" + Quoted(sFileName);
        return false;
    }
    block.setSize(iSize);
    data = std::move(block);
    return true;
}


// The length of the well-formed UTF-8 sequence that starts at s[i]; 0 when none does
// (overlong forms, surrogates and code points past U+10FFFF are not well-formed).
std::size_t Utf8SequenceAt(std::string_view s, std::size_t i) {
    const auto c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) return 1;
    std::size_t n = 0;
    char32_t cp = 0;
    if (c >= 0xC2 && c < 0xE0) {
        n = 1;
        cp = c & 0x1F;
    } else if (c >= 0xE0 && c < 0xF0) {
        n = 2;
        cp = c & 0x0F;
    } else if (c >= 0xF0 && c < 0xF5) {
        n = 3;
        cp = c & 0x07;
    } else {
        return 0;
    }
    if (i + n >= s.size()) return 0;
    for (std::size_t k = 1; k <= n; ++k) {
        const auto t = static_cast<unsigned char>(s[i + k]);
        if ((t & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (t & 0x3F);
    }
    const char32_t iMin = n == 1 ? 0x80 : n == 2 ? 0x800 : 0x10000;
    if (cp < iMin || cp > 0x10FFFF || (cp >= 0xD800 && cp < 0xE000)) return 0;
    return n + 1;
}

bool IsValidUtf8(std::string_view s) {
    for (std::size_t i = 0; i < s.size();) {
        const std::size_t n = Utf8SequenceAt(s, i);
        if (n == 0) return false;
        i += n;
    }
    return true;
}

// The text with every byte that starts no well-formed sequence replaced by U+FFFD.
std::string ReplaceInvalidUtf8(std::string_view s) {
    if (IsValidUtf8(s)) return std::string(s);
    std::string sText;
    sText.reserve(s.size() + s.size() / 2);
    for (std::size_t i = 0; i < s.size();) {
        const std::size_t n = Utf8SequenceAt(s, i);
        if (n == 0) {
            sText += "\xEF\xBF\xBD";
            ++i;
        } else {
            sText.append(s.substr(i, n));
            i += n;
        }
    }
    return sText;
}

std::string FromCp1252(std::string_view bytes) {
    std::string s;
    s.reserve(bytes.size() + bytes.size() / 4);
    for (char ch : bytes) {
        // A byte the code page leaves undefined stays the character of its value.
        const auto b = static_cast<unsigned char>(ch);
        const char32_t c = Cp1252Character(b);
        AppendUtf8(s, c != 0 ? c : b);
    }
    return s;
}

} // namespace

bool LoadTextFile(const std::string& sFileName, std::string& sFileString, std::string& sError,
                  const std::atomic<bool>* pStop) {
    if (sFileName.empty()) {
        sError = "The file name is not present.";
        return false;
    }
    const std::string sName = TrimCharacters(sFileName, "\"");
    DataBuffer data;
    if (!ReadWholeFile(sName, data, false, sError, pStop)) return false;
    const std::string_view bytes = data.view();
    if (bytes.starts_with("\xEF\xBB\xBF")) {
        // The mark promises UTF-8; bytes that break the promise are not handed on as text.
        sFileString = ReplaceInvalidUtf8(bytes.substr(3));
    } else if (bytes.starts_with(std::string_view("\xFF\xFE\x00\x00", 4)) ||
               bytes.starts_with(std::string_view("\x00\x00\xFE\xFF", 4)) || bytes.starts_with("\xFE\xFF")) {
        sError = "The file format is unknown for the file" + Quoted(sName);
        return false;
    } else if (bytes.starts_with("\xFF\xFE")) {
        sFileString = Utf16LeToUtf8(bytes.substr(2));
    } else {
        sFileString = TextFromAnsiBytes(bytes);
    }
    return true;
}

std::string TextFromAnsiBytes(std::string_view bytes) {
    return IsValidUtf8(bytes) ? std::string(bytes) : FromCp1252(bytes);
}

bool LoadBinaryFile(const std::string& sFileName, DataBuffer& fileData, std::string& sError,
                    const std::atomic<bool>* pStop) {
    if (sFileName.empty()) {
        sError = "The file name is not present.";
        return false;
    }
    return ReadWholeFile(TrimCharacters(sFileName, "\""), fileData, true, sError, pStop);
}

} // namespace Utility
