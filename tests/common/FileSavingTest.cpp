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

#include <csignal>
#include <fstream>
#include <functional>
#include <sstream>
#include <sys/stat.h>

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

} // namespace
