// Every saver against the ways a save fails (the full disk is a file size limit that stops the
// write half-way): each must fail with the path and the system's reason, keep the earlier file
// byte for byte and leave nothing else behind. Then what a save that works keeps.
#include "common/FileSaving.h"

#include "common/FileSizeLimit.h"
#include "common/ImagePluginGdiPlus.h"
#include "common/Ini.h"
#include "common/TestApplication.h"
#include "common/WindowLog.h"
#include "windows/capture/ScreenshotImages.h"
#include "windows/scpi/WindowScpiCommand.h"

#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <fstream>
#include <functional>
#include <mutex>
#include <sstream>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

const std::string Old(40 * 1024, 'o'), Large(100 * 1024, 'n'); // a full disk has room for 64 KiB

std::string Bytes(const std::string& sPath) {
    std::ostringstream s;
    s << std::ifstream(sPath, std::ios::binary).rdbuf();
    return s.str();
}
void Put(const std::string& sPath, const std::string& sBytes) {
    std::ofstream(sPath, std::ios::binary) << sBytes;
}
QStringList Entries(const std::string& sFolder) {
    return QDir(QString::fromStdString(sFolder))
        .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}
// A saver as its window calls it: true when it saved; sShown is what the user is told.
using Saver = std::function<bool(const std::string& sPath, std::string& sShown)>;
Saver WithReason(std::function<bool(const std::string&, std::string&)> save) {
    return [save](const std::string& s, std::string& sShown) {
        std::string sReason;
        const bool f = save(s, sReason);
        sShown = Utility::FileFailure("", s, sReason);
        return f;
    };
}

TEST(FileSavingTest, EveryFailureKeepsTheOldFileNamesPathAndReasonAndLeavesNothingBehind) {
    TestApplication::Ensure();
    ImagePluginGdiPlus::RegisterEncoder();
    WindowLog::Create();
    std::signal(SIGPIPE, SIG_DFL); // a write to a pipe whose reader left would end this program
    for (int i = 0; i < 300; ++i)
        WindowLog::AddLine(std::string(250, 'l')); // more than a full disk takes
    QImage noise(256, 256, QImage::Format_RGB32);  // noise: a PNG larger than that too
    std::uint32_t x = 1;
    for (int i = 0; i < 256 * 256; ++i)
        noise.setPixel(i % 256, i / 256, (x = x * 1103515245u + 12345u) >> 8);
    QTemporaryDir seeds;
    const std::string sSeed = seeds.filePath("seed.ini").toStdString();
    std::string sIni = "[Big]\r\n";
    for (int i = 0; sIni.size() < Large.size(); ++i)
        sIni += "Key" + std::to_string(i) + "=" + std::string(60, 'v') + "\r\n";
    Put(sSeed, sIni);
    const std::vector<std::pair<const char*, Saver>> savers = {
        {"one way", WithReason([](const std::string& s, std::string& r) { return Utility::SaveFile(s, Large, r); })},
        {"add", WithReason([](const std::string& s, std::string& r) {
             const std::string_view parts[] = {Large};
             return Utility::AppendFile(s, parts, r);
         })},
        {"INI", WithReason([&](const std::string& s, std::string& r) {
             std::unique_ptr<uIni> pIni = Ini::Open(sSeed, 0);
             pIni->sFileName = s;
             return Ini::Save(pIni.get(), r);
         })},
        {"log",
         [](const std::string& s, std::string& sShown) {
             const bool f = WindowLog::SaveToFile(s);
             sShown = WindowLog::Text();
             sShown = sShown.substr(sShown.rfind('\n', sShown.size() - 2) + 1);
             return f;
         }},
        {"screenshot",
         [&](const std::string& s, std::string& sShown) { return ScreenshotImages::WritePng(noise, s, false, sShown); }},
        {"SCPI answer",
         [](const std::string& s, std::string& sShown) {
             return WindowScpiCommand::Detail::WriteFileWhole(
                 s, reinterpret_cast<const std::uint8_t*>(Large.data()), Large.size(), sShown);
         }},
    };
    struct uCase {
        const char* sName;
        std::function<std::string(const std::string& sFolder)> prepare; // gives the target
        const char* sReason;
        bool fFull = false; // the disk runs full after 64 KiB
    };
    // The target "t" in the folder, made by make (nothing: the name only).
    const auto at = [](std::function<void(const char*)> make) {
        return [make](const std::string& s) {
            if (make) make((s + "/t").c_str());
            return s + "/t";
        };
    };
    const auto old = [&](mode_t iMode) { return at([iMode](const char* p) { Put(p, Old); ::chmod(p, iMode); }); };
    const std::vector<uCase> cases = {
        {"missing folder", [](const std::string& s) { return s + "/missing/t"; }, "(No such file or directory)"},
        {"read-only file", old(0444), "(Permission denied)"},
        {"full disk", old(0644), "(File too large)", true},
        {"full disk, new file", at(nullptr), "(File too large)", true},
        {"pipe", at([](const char* p) { ::mkfifo(p, 0666); }), "not a regular file"},
        {"folder", at([](const char* p) { ::mkdir(p, 0777); }), "(Is a directory)"},
        {"NUL byte", [](const std::string& s) { return s + std::string("/b6\0.txt", 8); }, "NUL byte"},
    };
    for (const auto& [sSaver, save] : savers) {
        for (const uCase& c : cases) {
            QTemporaryDir folder;
            const std::string sTarget = c.prepare(folder.path().toStdString());
            const QStringList before = Entries(folder.path().toStdString());
            std::string sShown;
            const FileSizeLimit limit(c.fFull ? 64 * 1024 : RLIM_INFINITY);
            ASSERT_TRUE(limit.Active());
            SCOPED_TRACE(std::string(sSaver) + ", " + c.sName);
            EXPECT_FALSE(save(sTarget, sShown));
            EXPECT_NE(sShown.find(sTarget), std::string::npos) << sShown;
            EXPECT_NE(sShown.find(c.sReason), std::string::npos) << sShown;
            if (before.contains("t") && QFileInfo(QString::fromStdString(sTarget)).isFile()) EXPECT_TRUE(Bytes(sTarget) == Old);
            EXPECT_EQ(Entries(folder.path().toStdString()), before);
            ::chmod(sTarget.c_str(), 0644);
        }
    }
    EXPECT_EQ(WindowLog::Text().find("The data was saved in the file"), std::string::npos);
}

TEST(FileSavingTest, ASaveGoesThroughALinkKeepsPermissionsAndANewOnlySaveReplacesNothing) {
    QTemporaryDir dir;
    const std::string sReal = dir.filePath("real").toStdString(), sLink = dir.filePath("link").toStdString();
    Put(sReal, "old");
    ASSERT_EQ(::chmod(sReal.c_str(), 0640), 0);
    ASSERT_EQ(::symlink(sReal.c_str(), sLink.c_str()), 0);
    std::string sReason;
    ASSERT_TRUE(Utility::SaveFile(sLink, "new", sReason)) << sReason;
    EXPECT_FALSE(Utility::SaveFile(sReal, "newer", sReason, true));
    EXPECT_EQ(sReason, "File exists");
    struct stat info {};
    EXPECT_TRUE(::lstat(sLink.c_str(), &info) == 0 && S_ISLNK(info.st_mode));
    EXPECT_TRUE(::stat(sReal.c_str(), &info) == 0 && (info.st_mode & 07777) == 0640);
    EXPECT_EQ(Bytes(sReal), "new");
    EXPECT_EQ(Entries(dir.path().toStdString()), (QStringList{"link", "real"}));
}

// Two writers adding to one file that is not there yet: each one's first add creates it, and
// neither may replace what the other has added meanwhile.
TEST(FileSavingTest, TwoThreadsAddingToOneNewFileKeepEveryByte) {
    constexpr int Rounds = 40, Adds = 30;
    for (int iRound = 0; iRound < Rounds; ++iRound) {
        QTemporaryDir dir;
        const std::string sFile = dir.filePath("added.txt").toStdString();
        std::atomic<int> iReady{0};
        std::atomic<int> iFailed{0};
        const auto adder = [&](char cWho) {
            ++iReady;
            while (iReady.load() < 2) std::this_thread::yield(); // both start at the missing file
            for (int i = 0; i < Adds; ++i) {
                const std::string sLine = std::string(1, cWho) + std::to_string(i) + std::string(100 + i, cWho) + "\n";
                const std::string_view parts[] = {sLine};
                std::string sReason;
                if (!Utility::AppendFile(sFile, parts, sReason)) ++iFailed;
            }
        };
        std::thread a(adder, 'a'), b(adder, 'b');
        a.join();
        b.join();
        ASSERT_EQ(iFailed.load(), 0);
        const std::string sAll = Bytes(sFile);
        for (const char cWho : {'a', 'b'})
            for (int i = 0; i < Adds; ++i) {
                const std::string sLine = std::string(1, cWho) + std::to_string(i) + std::string(100 + i, cWho) + "\n";
                ASSERT_NE(sAll.find(sLine), std::string::npos) << "round " << iRound << ": " << cWho << i << " lost";
            }
        EXPECT_EQ(Entries(dir.path().toStdString()), QStringList{"added.txt"});
    }
}

// What went to the disk and when, seen through the save's own seams: each flush with the file it
// flushed and its size then, and each rename about to happen.
struct SaveTrace {
    static inline std::mutex mutex;
    static inline std::vector<std::string> steps;
    static int Sync(int fd) {
        char sLink[4096] = {};
        const std::string sFd = "/proc/self/fd/" + std::to_string(fd);
        const ssize_t n = ::readlink(sFd.c_str(), sLink, sizeof sLink - 1);
        struct stat info {};
        ::fstat(fd, &info);
        std::lock_guard lock(mutex);
        steps.push_back("sync " + std::string(sLink, n > 0 ? static_cast<std::size_t>(n) : 0) + " " +
                        std::to_string(info.st_size));
        return ::fsync(fd);
    }
    SaveTrace() {
        steps.clear();
        Utility::FileSavingSeam::SetSync(&Sync);
        Utility::FileSavingSeam::SetBeforeRename([](const std::string& sTarget) {
            std::lock_guard lock(mutex);
            steps.push_back("rename " + sTarget + (QFileInfo::exists(QString::fromStdString(sTarget)) ? " old" : ""));
        });
    }
    ~SaveTrace() {
        Utility::FileSavingSeam::SetSync(nullptr);
        Utility::FileSavingSeam::SetBeforeRename(nullptr);
    }
};

// A save that replaces a file flushes its new file, whole, before the rename; an add flushes
// nothing by itself.
TEST(FileSavingTest, TheNewFileIsFlushedWholeBeforeTheRenameAndAnAddIsNotFlushed) {
    QTemporaryDir dir;
    const std::string sFile = dir.filePath("t").toStdString();
    Put(sFile, "old");
    SaveTrace trace;
    std::string sReason;
    ASSERT_TRUE(Utility::SaveFile(sFile, Large, sReason)) << sReason;
    ASSERT_EQ(SaveTrace::steps.size(), 2u) << ::testing::PrintToString(SaveTrace::steps);
    const std::string sPartPrefix = "sync " + sFile + ".";
    EXPECT_EQ(SaveTrace::steps[0].rfind(sPartPrefix, 0), 0u) << SaveTrace::steps[0];
    EXPECT_NE(SaveTrace::steps[0].find(".part " + std::to_string(Large.size())), std::string::npos) << SaveTrace::steps[0];
    EXPECT_EQ(SaveTrace::steps[1], "rename " + sFile + " old");
    SaveTrace::steps.clear();
    const std::string_view parts[] = {"more"};
    ASSERT_TRUE(Utility::AppendFile(sFile, parts, sReason)) << sReason;
    ASSERT_TRUE(Utility::AppendFile(dir.filePath("new").toStdString(), parts, sReason)) << sReason;
    EXPECT_TRUE(SaveTrace::steps.empty()) << ::testing::PrintToString(SaveTrace::steps);
    EXPECT_EQ(Bytes(sFile), Large + "more");
    EXPECT_EQ(Bytes(dir.filePath("new").toStdString()), "more");
}

// Everything written and flushed, and then the rename fails: the name became a folder with a
// file in it after the new file was begun. No success, the folder as it was, nothing left.
TEST(FileSavingTest, AFailedRenameIsAFailureAndLeavesNoNewFile) {
    QTemporaryDir dir;
    const std::string sFile = dir.filePath("t").toStdString();
    const auto makeFolder = [&] {
        ASSERT_EQ(::mkdir(sFile.c_str(), 0755), 0);
        Put(sFile + "/inside", "kept");
    };
    Utility::uFileSave file;
    std::string sReason;
    ASSERT_TRUE(file.Begin(sFile, sReason)) << sReason;
    ASSERT_TRUE(file.Write(Large, sReason)) << sReason;
    makeFolder();
    EXPECT_FALSE(file.Commit(sReason));
    EXPECT_EQ(sReason, "Is a directory");
    EXPECT_EQ(Entries(dir.path().toStdString()), QStringList{"t"});
    EXPECT_EQ(Bytes(sFile + "/inside"), "kept");
    // The same through the whole-file save, the folder made just before the rename.
    ASSERT_EQ(::unlink((sFile + "/inside").c_str()), 0);
    ASSERT_EQ(::rmdir(sFile.c_str()), 0);
    Utility::FileSavingSeam::SetBeforeRename([&](const std::string&) { makeFolder(); });
    bool fCreated = false;
    const bool fSaved = Utility::SaveFile(sFile, Large, sReason, false, &fCreated);
    Utility::FileSavingSeam::SetBeforeRename(nullptr);
    EXPECT_FALSE(fSaved);
    EXPECT_TRUE(fCreated);
    EXPECT_EQ(sReason, "Is a directory");
    EXPECT_EQ(Entries(dir.path().toStdString()), QStringList{"t"});
}

// A file that replaces none, whose name a file took after it was begun: that file stays, and
// the new one goes under the next name the caller gives.
TEST(FileSavingTest, ANewOnlyFileWhoseNameWasTakenMeanwhileGoesUnderTheNextName) {
    QTemporaryDir dir;
    const std::string sFile = dir.filePath("w.csv").toStdString(), sNext = dir.filePath("w-2.csv").toStdString();
    Utility::uFileSave file;
    file.SetNextName([&](const std::string&) { return QFileInfo::exists(QString::fromStdString(sNext)) ? "" : sNext; });
    std::string sReason;
    ASSERT_TRUE(file.Begin(sFile, sReason, true)) << sReason;
    ASSERT_TRUE(file.Write("new", sReason));
    Put(sFile, "other");
    ASSERT_TRUE(file.Commit(sReason)) << sReason;
    EXPECT_EQ(file.Name(), sNext);
    EXPECT_EQ(Bytes(sFile), "other");
    EXPECT_EQ(Bytes(sNext), "new");
    // Both names taken: no file is replaced, and the new one is gone.
    Utility::uFileSave second;
    second.SetNextName([&](const std::string&) { return QFileInfo::exists(QString::fromStdString(sNext)) ? "" : sNext; });
    EXPECT_FALSE(second.Begin(sFile, sReason, true));
    EXPECT_EQ(sReason, "File exists");
    EXPECT_EQ(Entries(dir.path().toStdString()), (QStringList{"w-2.csv", "w.csv"}));
}

} // namespace
