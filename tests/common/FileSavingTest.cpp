// Every saver of the program against the ways a save fails: a missing folder, a read-only file,
// a write that runs out of room half-way, a pipe (with and without a reader), a folder in the
// file's place and a NUL byte in the name. Each must fail with the path and the system's
// reason, leave the earlier file byte for byte and leave nothing else behind. Then a full disk
// (a small tmpfs of a mount namespace of its own), and what a save that works keeps.
#include "common/FileSaving.h"

#include "common/FileSizeLimit.h"
#include "common/ImagePluginGdiPlus.h"
#include "common/Ini.h"
#include "common/TestApplication.h"
#include "common/WindowLog.h"
#include "windows/capture/ScreenshotImages.h"
#include "windows/scpi/WindowScpiCommand.h"

#include <QDir>
#include <QImage>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <sched.h>
#include <sstream>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr std::size_t OldSize = 40 * 1024;
constexpr rlim_t Room = 64 * 1024; // the new file of each saver is larger

std::string Bytes(const std::string& sPath) {
    std::ifstream file(sPath, std::ios::binary);
    std::ostringstream s;
    s << file.rdbuf();
    return file ? s.str() : "<missing>";
}

void Put(const std::string& sPath, const std::string& sBytes) {
    std::ofstream(sPath, std::ios::binary) << sBytes;
}

QStringList Entries(const QString& sFolder) {
    return QDir(sFolder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                                   QDir::Name);
}

// A picture whose PNG is well over Room: noise does not compress.
QImage Noise() {
    QImage image(256, 256, QImage::Format_RGB32);
    std::uint32_t x = 12345;
    for (int y = 0; y < image.height(); ++y)
        for (int i = 0; i < image.width(); ++i)
            image.setPixel(i, y, (x = x * 1103515245u + 12345u) >> 8);
    return image;
}

// A saver as a window calls it: true when it saved; sShown is what the user is told.
using Saver = std::function<bool(const std::string& sPath, std::string& sShown)>;

struct uSaver {
    const char* sName;
    Saver save;
};

class FileSavingTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        TestApplication::Ensure();
        ImagePluginGdiPlus::RegisterEncoder();
        WindowLog::Create();
        // The default: a write into a pipe whose reader left would end the test program.
        std::signal(SIGPIPE, SIG_DFL);
    }
    std::string Path(const char* sName) const { return dir.filePath(sName).toStdString(); }

    static std::vector<uSaver> Savers(const std::string& sSeedIni) {
        static const std::string sLarge(100 * 1024, 'n');
        static const QImage picture = Noise();
        return {
            {"one way",
             [](const std::string& s, std::string& sShown) {
                 std::string sReason;
                 const bool f = Utility::SaveFile(s, sLarge, sReason);
                 sShown = Utility::FileFailure("", s, sReason);
                 return f;
             }},
            {"appending",
             [](const std::string& s, std::string& sShown) {
                 std::string sReason;
                 const std::string_view part[] = {sLarge};
                 const bool f = Utility::AppendFile(s, part, sReason);
                 sShown = Utility::FileFailure("", s, sReason);
                 return f;
             }},
            {"INI file",
             [sSeedIni](const std::string& s, std::string& sShown) {
                 std::unique_ptr<uIni> pIni = Ini::Open(sSeedIni, 0);
                 if (!pIni) return true; // fails the test: the seed must open
                 pIni->sFileName = s;
                 std::string sReason;
                 const bool f = Ini::Save(pIni.get(), sReason);
                 sShown = Utility::FileFailure("", s, sReason);
                 return f;
             }},
            {"log window",
             [](const std::string& s, std::string& sShown) {
                 const bool f = WindowLog::SaveToFile(s);
                 const std::string sText = WindowLog::Text();
                 const std::size_t iEnd = sText.find_last_not_of('\n');
                 sShown = sText.substr(sText.rfind('\n', iEnd) + 1);
                 return f;
             }},
            {"screenshot",
             [](const std::string& s, std::string& sShown) {
                 return ScreenshotImages::WritePng(picture, s, false, sShown);
             }},
            {"SCPI answer",
             [](const std::string& s, std::string& sShown) {
                 return WindowScpiCommand::Detail::WriteFileWhole(
                     s, reinterpret_cast<const std::uint8_t*>(sLarge.data()), sLarge.size(), sShown);
             }},
        };
    }

    QTemporaryDir dir;
};

TEST_F(FileSavingTest, EveryFailureKeepsTheOldFileNamesPathAndReasonAndLeavesNothingBehind) {
    // The INI seed and the log each hold more than Room.
    QTemporaryDir seeds;
    const std::string sSeed = seeds.filePath("seed.ini").toStdString();
    std::string sIni = "[Big]\r\n";
    for (int i = 0; sIni.size() < 100 * 1024; ++i)
        sIni += "Key" + std::to_string(i) + "=" + std::string(60, 'v') + "\r\n";
    Put(sSeed, sIni);
    WindowLog::Clear(0);
    for (int i = 0; i < 300; ++i)
        WindowLog::AddLine("a line of the log that fills it past the room of a full disk " +
                           std::string(200, 'l'));
    const std::string sOld(OldSize, 'o');

    struct uCase {
        const char* sName;
        std::function<std::string(const std::string& sFolder)> prepare; // the target
        const char* sReason;
        bool fFull = false;   // the disk runs full after Room bytes
        bool fHasOld = false; // the target holds sOld
    };
    std::vector<uCase> cases = {
        {"missing folder", [](const std::string& s) { return s + "/missing/target"; },
         "(No such file or directory)"},
        {"read-only file",
         [&](const std::string& s) {
             Put(s + "/target", sOld);
             ::chmod((s + "/target").c_str(), 0444);
             return s + "/target";
         },
         "(Permission denied)", false, true},
        {"full disk",
         [&](const std::string& s) {
             Put(s + "/target", sOld);
             return s + "/target";
         },
         "(File too large)", true, true},
        {"pipe without reader",
         [](const std::string& s) {
             ::mkfifo((s + "/target").c_str(), 0666);
             return s + "/target";
         },
         "not a regular file"},
        {"folder in the way",
         [](const std::string& s) {
             ::mkdir((s + "/target").c_str(), 0777);
             return s + "/target";
         },
         "(Is a directory)"},
        {"NUL byte in the name", [](const std::string& s) { return s + std::string("/b6\0.txt", 8); },
         "(The file name holds a NUL byte.)"},
    };
    for (const uSaver& saver : Savers(sSeed)) {
        for (const uCase& c : cases) {
            QTemporaryDir folder;
            const std::string sFolder = folder.path().toStdString();
            const std::string sTarget = c.prepare(sFolder);
            const QStringList before = Entries(folder.path());
            std::string sShown;
            bool fSaved = true;
            if (c.fFull) {
                FileSizeLimit limit(Room);
                ASSERT_TRUE(limit.Active());
                fSaved = saver.save(sTarget, sShown);
            } else {
                fSaved = saver.save(sTarget, sShown);
            }
            const std::string sWhat = std::string(saver.sName) + ", " + c.sName + ": " + sShown;
            EXPECT_FALSE(fSaved) << sWhat;
            EXPECT_NE(sShown.find(sTarget), std::string::npos) << sWhat;
            EXPECT_NE(sShown.find(c.sReason), std::string::npos) << sWhat;
            if (c.fHasOld) {
                EXPECT_EQ(Bytes(sTarget), sOld) << sWhat;
            }
            EXPECT_EQ(Entries(folder.path()), before) << sWhat;
            if (c.fHasOld) ::chmod(sTarget.c_str(), 0644);
        }
    }
    // The log said "saved" for none of them.
    EXPECT_EQ(WindowLog::Text().find("The data was saved in the file"), std::string::npos);
}

// A pipe whose reader leaves at once: without the refusal the write would raise SIGPIPE (its
// default ends this program) or, once the reader is gone, block.
TEST_F(FileSavingTest, APipeWithAReaderIsRefusedAndTheProgramLives) {
    const std::string sFifo = Path("fifo");
    ASSERT_EQ(::mkfifo(sFifo.c_str(), 0666), 0);
    const int fdReader = ::open(sFifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(fdReader, 0);
    Put(Path("seed.ini"), "[A]\r\nb=c\r\n");
    for (const uSaver& saver : Savers(Path("seed.ini"))) {
        std::string sShown;
        EXPECT_FALSE(saver.save(sFifo, sShown)) << saver.sName;
        EXPECT_NE(sShown.find("not a regular file"), std::string::npos) << saver.sName << ": " << sShown;
    }
    char c = 0;
    EXPECT_EQ(::read(fdReader, &c, 1), 0); // nothing reached the reader
    ::close(fdReader);
}

// A real full disk: a 64 KiB tmpfs in a mount namespace of a child process of its own.
TEST_F(FileSavingTest, AFullDiskKeepsTheOldFile) {
    const std::string sMount = Path("small");
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(sMount)));
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        ::close(fds[0]);
        auto say = [&](const std::string& s) {
            (void)!::write(fds[1], s.data(), s.size());
            ::_exit(0);
        };
        if (::unshare(CLONE_NEWNS) != 0 ||
            ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount("tmpfs", sMount.c_str(), "tmpfs", 0, "size=64k") != 0)
            say("skip:" + std::string(std::strerror(errno)));
        const std::string sTarget = sMount + "/target";
        Put(sTarget, std::string(OldSize, 'o'));
        std::string sReason;
        const bool fSaved = Utility::SaveFile(sTarget, std::string(100 * 1024, 'n'), sReason);
        const bool fOld = Bytes(sTarget) == std::string(OldSize, 'o');
        const bool fAlone = Entries(QString::fromStdString(sMount)) == QStringList{"target"};
        say(std::string(fSaved ? "saved" : "failed") + (fOld ? " old" : " changed") +
            (fAlone ? " alone" : " litter") + ":" + sReason);
    }
    ::close(fds[1]);
    std::string sAnswer;
    char buffer[256];
    for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) > 0;)
        sAnswer.append(buffer, static_cast<std::size_t>(n));
    ::close(fds[0]);
    int iStatus = 0;
    ::waitpid(pid, &iStatus, 0);
    if (sAnswer.starts_with("skip:"))
        GTEST_SKIP() << "no tmpfs in a mount namespace here: " << sAnswer.substr(5);
    EXPECT_EQ(sAnswer, "failed old alone:No space left on device");
}

TEST_F(FileSavingTest, ASaveReplacesThroughALinkKeepsPermissionsAndANewOnlySaveReplacesNothing) {
    const std::string sReal = Path("real.txt"), sLink = Path("link.txt");
    Put(sReal, "old");
    ASSERT_EQ(::chmod(sReal.c_str(), 0640), 0);
    ASSERT_EQ(::symlink(sReal.c_str(), sLink.c_str()), 0);
    std::string sReason;
    ASSERT_TRUE(Utility::SaveFile(sLink, "new", sReason)) << sReason;
    EXPECT_EQ(Bytes(sReal), "new");
    struct stat info {};
    ASSERT_EQ(::lstat(sLink.c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode));
    ASSERT_EQ(::stat(sReal.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);

    EXPECT_FALSE(Utility::SaveFile(sReal, "newer", sReason, true));
    EXPECT_EQ(sReason, "File exists");
    EXPECT_EQ(Bytes(sReal), "new");
    // Appending adds; a failed append cuts back to what was there.
    const std::string_view more[] = {"+", "more"};
    ASSERT_TRUE(Utility::AppendFile(sReal, more, sReason)) << sReason;
    EXPECT_EQ(Bytes(sReal), "new+more");
    EXPECT_EQ(Entries(dir.path()), (QStringList{"link.txt", "real.txt"}));
}

} // namespace
