// The SCPI command window's answer view and saving: direct drawing, the portions of the drawing
// thread and their generations, stopping, and the saved bytes with the three options, end to end
// over raw TCP and VXI-11.
#include "windows/scpi/ScpiWindowTestSupport.h"

#include "app/Main.h"
#include "common/FileSaving.h"
#include "common/FileSizeLimit.h"
#include "common/NumberText.h"
#include "platform/BackgroundThreads.h"
#include "platform/ProgramEvents.h"
#include "sim/RawTcpServer.h"
#include "sim/ScpiDevice.h"
#include "sim/Vxi11Server.h"

#include <QApplication>
#include <QComboBox>
#include <QSignalBlocker>
#include <QThread>
#include <QTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <fstream>
#include <memory>
#include <mutex>
#include <vector>

#include <cstdio>
#include <string>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using namespace ScpiWindowTestSupport;
using WindowScpiCommand::ViewAscii;
using WindowScpiCommand::ViewHex;
using WindowScpiCommand::ViewHexAscii;

class WindowScpiCommandViewTest : public ScpiWindowTest {
  protected:
    void SetUp() override {
        ScpiWindowTest::SetUp();
        iScpi = OpenScpi();
        // Portions are counted on their way to the window's own handler.
        EventHub::Bind(EventScpiViewRefresh, iScpi, [this](const EventHub::uEvent& e) {
            ++iPortions;
            WindowScpiCommand::Detail::ViewRefresh(iScpi, e);
        });
    }
    // Puts the answer into the window and draws it.
    void Show(std::string sAnswer, int iMode, bool fAll) {
        uGadgets& g = W(iScpi).gadgets;
        W(iScpi).pReceived = std::make_shared<const DataBuffer>(DataBuffer::FromText(sAnswer));
        g.pViewAll->setChecked(fAll);
        const QSignalBlocker blocker(g.pViewMode);
        g.pViewMode->setCurrentIndex(iMode);
        iPortions = 0;
        WindowScpiCommand::ShowData(iScpi);
    }
    bool Drawing() { return W(iScpi).view.refreshThread.joinable(); }
    bool WaitDrawn() {
        const bool fDone = WaitFor([this] {
            const auto& pShared = W(iScpi).view.pShared;
            if (!pShared) return true;
            std::lock_guard lock(pShared->viewMutex);
            return !pShared->fRunning;
        }, 20000);
        Settle();
        return fDone;
    }
    // The offsets are as wide as the hexadecimal address of the answer buffer.
    int Digits() {
        return static_cast<int>(QString::number(reinterpret_cast<quintptr>(W(iScpi).pReceived->data()), 16).size());
    }
    QString Offset(std::int64_t i) { return QString::number(i, 16).toUpper().rightJustified(Digits(), '0') + "| "; }
    QStringList Lines() { return QString::fromStdString(Answer(iScpi)).split('\n'); }
    // The dump lines of the view (those that begin with an offset).
    int DumpLines() {
        int n = 0;
        for (const QString& s : Lines()) n += s.size() > Digits() && s.mid(Digits(), 2) == "| " ? 1 : 0;
        return n;
    }

    int iScpi = 0;
    int iPortions = 0;
};

std::string Bytes(std::size_t iSize) {
    std::string s(iSize, '\0');
    for (std::size_t i = 0; i < iSize; ++i) s[i] = static_cast<char>((i * 7 + 3) & 0xFF);
    return s;
}

TEST_F(WindowScpiCommandViewTest, PortionBoundaries) {
    struct uCase {
        std::size_t iSize;
        bool fThread;
        int iPortions;
    };
    for (const uCase c : {uCase{40960, false, 0}, uCase{40961, true, 2}, uCase{81920, true, 2}, uCase{81921, true, 3}}) {
        SCOPED_TRACE(c.iSize);
        Show(Bytes(c.iSize), ViewHexAscii, true);
        EXPECT_EQ(Drawing(), c.fThread);
        ASSERT_TRUE(WaitDrawn());
        EXPECT_EQ(iPortions, c.iPortions);
        EXPECT_EQ(DumpLines(), static_cast<int>((c.iSize + 15) / 16));
        const QStringList m = Lines();
        EXPECT_EQ(m[0], "Length of data: " + QString::fromStdString(Utility::StrDLocalized(double(c.iSize), -1)) + " bytes");
        EXPECT_EQ(m[1], "");
        EXPECT_TRUE(m[2].startsWith(Offset(0) + "03 0A 11 ")) << m[2].toStdString();
        // The last line holds the last byte, at its offset within the whole answer.
        EXPECT_TRUE(Answer(iScpi).find(Offset(static_cast<std::int64_t>((c.iSize - 1) / 16 * 16)).toStdString()) !=
                    std::string::npos);
    }
}

TEST_F(WindowScpiCommandViewTest, FirstAndLastBlocksAndTheWholeAnswer) {
    uGadgets& g = W(iScpi).gadgets;
    g.pFirst->setCurrentText("128");
    g.pLast->setCurrentText("32");
    Show(Bytes(160), ViewHex, false);
    EXPECT_FALSE(Answer(iScpi).find("The first") != std::string::npos);
    EXPECT_EQ(DumpLines(), 10);
    Show(Bytes(161), ViewHex, false);
    const QStringList m = Lines();
    const int iFirst = static_cast<int>(m.indexOf("The first 128 Bytes:"));
    const int iLast = static_cast<int>(m.indexOf("The last 32 Bytes:"));
    ASSERT_EQ(iFirst, 2);
    ASSERT_EQ(iLast, 3 + 8);
    // "Hex": no character column; the last block begins at size - Last.
    EXPECT_EQ(m[iFirst + 1], Offset(0) + "03 0A 11 18 1F 26 2D 34 3B 42 49 50 57 5E 65 6C ");
    EXPECT_TRUE(m[iLast + 1].startsWith(Offset(129))) << m[iLast + 1].toStdString();
    EXPECT_TRUE(m[iLast + 2].startsWith(Offset(145))) << m[iLast + 2].toStdString();
    EXPECT_EQ(m.size(), iLast + 4);
}

TEST_F(WindowScpiCommandViewTest, AsciiIsOneCharacterPerByteAndNulDoesNotEndIt) {
    const std::string sAnswer = std::string("A\0B\xE9", 4) + "end";
    Show(sAnswer, ViewAscii, false);
    EXPECT_EQ(W(iScpi).gadgets.pAnswer->lineWrapMode(), AnswerTextView::WidgetWidth);
    const QStringList m = Lines();
    ASSERT_GE(m.size(), 3);
    EXPECT_EQ(m[2], QString::fromLatin1(sAnswer.data(), 7));
    // A long "Ascii" view goes through the thread as well.
    Show(std::string(3 * 40960 + 5, 'z'), ViewAscii, true);
    EXPECT_TRUE(Drawing());
    ASSERT_TRUE(WaitDrawn());
    EXPECT_EQ(iPortions, 4);
    EXPECT_EQ(QString::fromStdString(Answer(iScpi)).count('z'), 3 * 40960 + 5);
    Show(Bytes(100), ViewHex, true);
    EXPECT_EQ(W(iScpi).gadgets.pAnswer->lineWrapMode(), AnswerTextView::NoWrap);
}

TEST_F(WindowScpiCommandViewTest, ACountChangedUnderViewAllDoesNotRedraw) {
    uGadgets& g = W(iScpi).gadgets;
    Show(Bytes(300), ViewHexAscii, true);
    g.pAnswer->appendPlainText("MARK");
    g.pFirst->setCurrentText("16");
    Settle();
    EXPECT_NE(Answer(iScpi).find("MARK"), std::string::npos);
    // Without "View all" the same change draws anew.
    g.pViewAll->setChecked(false);
    g.pFirst->setCurrentText("32");
    Settle();
    EXPECT_EQ(Answer(iScpi).find("MARK"), std::string::npos);
    EXPECT_NE(Answer(iScpi).find("The first 32 Bytes:"), std::string::npos);
}

TEST_F(WindowScpiCommandViewTest, EscapeStopsTheDrawingAndKeepsItsText) {
    Show(Bytes(200 * 40960), ViewHex, true);
    ASSERT_TRUE(WaitFor([this] { return iPortions >= 2; }, 10000));
    ASSERT_TRUE(W(iScpi).pEscape);
    emit W(iScpi).pEscape->activated();
    Settle();
    EXPECT_FALSE(Drawing());
    const std::string sKept = Answer(iScpi);
    const int iLines = DumpLines();
    EXPECT_GE(iLines, 2 * 2560);
    EXPECT_LT(iLines, 200 * 2560);
    Settle();
    QThread::msleep(80);
    Settle();
    EXPECT_EQ(Answer(iScpi), sKept);
}

TEST_F(WindowScpiCommandViewTest, ADrawingAfterAStopNeverGetsAnOldPortion) {
    Show(std::string(10 * 40960, 'Q'), ViewAscii, true);
    const std::int64_t iOld = W(iScpi).view.iGeneration;
    ASSERT_TRUE(WaitFor([this] { return iPortions >= 1; }, 10000));
    Show(std::string(2 * 40960 + 1, 'W'), ViewAscii, true);
    // A portion of the stopped drawing still on its way is dropped.
    EventHub::PostEvent(EventScpiViewRefresh, iScpi, 0, 0,
                        EventHub::Payload::Of(WindowScpiCommand::uViewPortion{iOld, AnswerTextView::Writer().Make(std::string(40960, 'Q'))}));
    ASSERT_TRUE(WaitDrawn());
    const QString sText = QString::fromStdString(Answer(iScpi));
    EXPECT_EQ(sText.count('Q'), 0);
    EXPECT_EQ(sText.count('W'), 2 * 40960 + 1);
}

TEST_F(WindowScpiCommandViewTest, ClosingDuringADrawingEndsTheThread) {
    Show(Bytes(100 * 40960), ViewHexAscii, true);
    ASSERT_TRUE(WaitFor([this] { return iPortions >= 1; }, 10000));
    EventHub::PostEvent(EventCloseWindowRequest, iMain);
    Settle();
    EXPECT_FALSE(WindowScpiCommand::FindInstance(iScpi, nullptr));
}

// Saving: the requester filled through Qt's active modal widget.
class WindowScpiCommandSaveTest : public ScpiWindowTest {
  protected:
    // Runs a save with the file name given ("" cancels); true when the requester appeared.
    // Unless fWait is false it waits for the outcome, which the save's own thread sends back.
    bool Save(int iScpi, const QString& sPath, bool fWait = true) {
        bool fSeen = false;
        QTimer::singleShot(0, [&] {
            auto* pDialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (!pDialog) return;
            fSeen = pDialog->windowTitle() == "Data save as" && pDialog->acceptMode() == QFileDialog::AcceptSave;
            if (sPath.isEmpty()) {
                pDialog->reject();
                return;
            }
            FileDialogAnswer::Choose(pDialog, sPath);
            QMetaObject::invokeMethod(pDialog, "accept");
        });
        W(iScpi).gadgets.pAnswerSaveAs->click();
        if (!fWait) return fSeen;
        EXPECT_TRUE(WaitFor([iScpi] { return !W(iScpi).pAnswerSave; }, 30000));
        Settle();
        return fSeen;
    }
    static std::string Read(const QString& sPath) {
        QFile f(sPath);
        if (!f.open(QIODevice::ReadOnly)) return "<missing>";
        return f.readAll().toStdString();
    }
    void Options(int iScpi, bool fHeader, bool fLast, bool fComma) {
        uGadgets& g = W(iScpi).gadgets;
        g.pRemoveBlockFormat->setChecked(fHeader);
        g.pRemoveLastByte->setChecked(fLast);
        g.pReplaceComma->setChecked(fComma);
    }
    // Queries the block and saves it without header and trailing LF: the pattern bytes.
    void BlockSavedWhole(int iScpi, Sim::ScpiDevice& device) {
        Type(iScpi, "SIM:BLOC? 100000");
        Click(W(iScpi).gadgets.pSendReceive);
        ASSERT_TRUE(WaitIdle(iScpi));
        EXPECT_NE(Answer(iScpi).find("Length of data: "), std::string::npos);
        ASSERT_EQ(Received(iScpi).size(), 100000u + 9);
        Options(iScpi, true, true, false);
        const QString sPath = files.filePath("block.bin");
        ASSERT_TRUE(Save(iScpi, sPath));
        std::string sExpected(100000, '\0');
        for (std::size_t i = 0; i < sExpected.size(); ++i) sExpected[i] = static_cast<char>(device.PatternByte(i));
        EXPECT_EQ(Read(sPath), sExpected);
        EXPECT_TRUE(LogHas("The data was saved in the file: " + sPath.toStdString())) << Log();
    }

    QTemporaryDir files;
};

TEST_F(WindowScpiCommandSaveTest, TheOptionsChooseTheBytes) {
    const int iScpi = OpenScpi();
    struct uCase {
        std::string sAnswer;
        bool fHeader, fLast, fComma;
        std::string sSaved;
    };
    const uCase mCases[] = {
        {"#14ABCD", true, false, false, "ABCD"},
        {"#14ABCD", true, true, false, "ABC"},
        {"#14ABCD\n", true, false, false, "ABCD\n"}, // the header's count is not used
        {"1,2,3\n", true, false, false, "1,2,3\n"},  // no header: the whole answer
        {"1,2,3\n", false, true, true, "1\n2\n3"},
        {"#10", true, true, false, ""},
        {"X", false, true, false, ""},
    };
    int i = 0;
    for (const uCase& c : mCases) {
        SCOPED_TRACE(c.sAnswer);
        W(iScpi).pReceived = std::make_shared<const DataBuffer>(DataBuffer::FromText(c.sAnswer));
        Options(iScpi, c.fHeader, c.fLast, c.fComma);
        const QString sPath = files.filePath(QString("save%1.bin").arg(i++));
        ASSERT_TRUE(Save(iScpi, sPath));
        EXPECT_EQ(Read(sPath), c.sSaved);
        // The answer itself is never changed.
        EXPECT_EQ(Received(iScpi), c.sAnswer);
    }
}

TEST_F(WindowScpiCommandSaveTest, NothingToSaveCancelAndFailures) {
    const int iScpi = OpenScpi();
    W(iScpi).gadgets.pAnswerSaveAs->setEnabled(true);
    EXPECT_FALSE(Save(iScpi, "")); // no requester at all
    EXPECT_EQ(Status(iScpi), "There is no data available for saving.");

    W(iScpi).pReceived = std::make_shared<const DataBuffer>(DataBuffer::FromText("a,b"));
    W(iScpi).gadgets.pAnswer->setPlainText("shown");
    Options(iScpi, false, false, true);
    EXPECT_TRUE(Save(iScpi, ""));
    EXPECT_EQ(Answer(iScpi), "shown");
    EXPECT_EQ(Received(iScpi), "a,b");

    // An earlier file is replaced whole, and nothing is left beside it.
    const QString sPath = files.filePath("old.txt");
    QFile old(sPath);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write(std::string(1000, 'o').c_str());
    old.close();
    ASSERT_TRUE(Save(iScpi, sPath));
    EXPECT_EQ(Read(sPath), "a\nb");
    EXPECT_EQ(QDir(files.path()).entryList(QDir::Files), QStringList{"old.txt"});
}

// A save is written by a thread of its own while the window goes on: a second save meanwhile is
// refused, and a window closed under a save of a large answer leaves the whole file or the
// failure in the log, never part of a file.
TEST_F(WindowScpiCommandSaveTest, ASecondSaveIsRefusedAndAWindowClosedDuringASaveLeavesItWhole) {
    std::string sAnswer;
    for (int i = 0; sAnswer.size() < (std::size_t{24} << 20); ++i) sAnswer += std::to_string(i) + ',';
    std::string sSaved = sAnswer;
    std::replace(sSaved.begin(), sSaved.end(), ',', '\n');
    const std::string sMissing = files.filePath("missing/x.txt").toStdString();
    struct uCase {
        QString sPath;
        std::string sLog, sFile; // the log line, and the file as it ends up
    };
    for (const uCase& c : {uCase{files.filePath("whole.txt"), "The data was saved in the file: ", sSaved},
                           uCase{QString::fromStdString(sMissing), "Error: The file could not be created: ", "<missing>"}}) {
        SCOPED_TRACE(c.sLog);
        WindowLog::Clear(0);
        const int iScpi = OpenScpi();
        W(iScpi).pReceived = std::make_shared<const DataBuffer>(DataBuffer::FromText(sAnswer));
        Options(iScpi, false, false, true);
        ASSERT_TRUE(Save(iScpi, c.sPath, false));
        ASSERT_TRUE(W(iScpi).pAnswerSave); // its outcome has not been handled yet
        // A requester of the second save would be closed here; none should appear.
        QTimer::singleShot(0, [] {
            if (auto* pDialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) pDialog->reject();
        });
        WindowScpiCommand::SaveData(iScpi);
        EXPECT_EQ(Status(iScpi), "The data is still being saved.");
        EventHub::PostEvent(EventCloseWindowRequest, iMain);
        Settle();
        EXPECT_FALSE(WindowScpiCommand::FindInstance(iScpi, nullptr));
        // The log has the outcome once the file is in place or has failed.
        EXPECT_TRUE(WaitFor([&] { return LogHas(c.sLog + c.sPath.toStdString()); }, 30000)) << Log();
        EXPECT_TRUE(Read(c.sPath) == c.sFile);
        EXPECT_EQ(QDir(files.path()).entryList(QDir::Files), QStringList{"whole.txt"}); // nothing left beside
    }
}

// A save whose window closes before it ends, and which then fails (its name became a folder
// with a file in it just before the rename): the thread tells the log the failure, never
// "saved". The save is held before its rename until the window has gone.
TEST_F(WindowScpiCommandSaveTest, ASaveThatFailsAfterItsWindowClosedIsLoggedAsAFailure) {
    // The log made anew: the one of an earlier test would drop the line the thread posts.
    WindowLog::Close(1);
    WindowLog::Create();
    const std::string sPath = files.filePath("late.txt").toStdString();
    struct uHold {
        std::mutex mutex;
        std::condition_variable cv;
        bool fHeld = false, fGo = false;
        void Go() {
            std::lock_guard lock(mutex);
            fGo = true;
            cv.notify_all();
        }
    };
    const auto pHold = std::make_shared<uHold>();
    Utility::FileSavingSeam::SetBeforeRename([pHold, sPath](const std::string& sTarget) {
        if (sTarget != sPath) return; // config.ini and the like go on
        std::unique_lock lock(pHold->mutex);
        pHold->fHeld = true;
        pHold->cv.notify_all();
        pHold->cv.wait(lock, [&] { return pHold->fGo; });
        ::mkdir(sTarget.c_str(), 0755);
        std::ofstream(sTarget + "/inside") << "kept";
    });
    struct uRelease {
        std::shared_ptr<uHold> p;
        ~uRelease() {
            p->Go();
            Utility::FileSavingSeam::SetBeforeRename(nullptr);
        }
    } release{pHold};
    WindowLog::Clear(0);
    const int iScpi = OpenScpi();
    W(iScpi).pReceived = std::make_shared<const DataBuffer>(DataBuffer::FromText("1,2,3"));
    ASSERT_TRUE(Save(iScpi, QString::fromStdString(sPath), false));
    {
        std::unique_lock lock(pHold->mutex);
        ASSERT_TRUE(pHold->cv.wait_for(lock, std::chrono::seconds(30), [&] { return pHold->fHeld; }));
    }
    EventHub::PostEvent(EventCloseWindowRequest, iMain);
    Settle();
    EXPECT_FALSE(WindowScpiCommand::FindInstance(iScpi, nullptr)); // it waited its second and went
    pHold->Go();
    const std::string sFailure = "Error: The data could not be written to the file: " + sPath + " (Is a directory)";
    EXPECT_TRUE(WaitFor([&] { return LogHas(sFailure); }, 30000)) << Log();
    EXPECT_FALSE(LogHas("The data was saved in the file")) << Log();
    EXPECT_EQ(Read(QString::fromStdString(sPath + "/inside")), "kept");
    EXPECT_EQ(QDir(files.path()).entryList(QDir::Files), QStringList{});
}

// A disk that takes the bytes of a folder's files only when the test lets it: each write into a
// file of that folder waits for the gate (the slow or hanging disk of a save).
struct uSlowDisk {
    static uSlowDisk& The() {
        static uSlowDisk disk;
        return disk;
    }
    static long Write(int fd, const void* pBytes, std::size_t iCount) {
        uSlowDisk& d = The();
        char sLink[64];
        std::snprintf(sLink, sizeof sLink, "/proc/self/fd/%d", fd);
        char sPath[4096];
        const ssize_t n = ::readlink(sLink, sPath, sizeof sPath - 1);
        const std::string sFile(sPath, n > 0 ? static_cast<std::size_t>(n) : 0);
        std::unique_lock lock(d.mutex);
        if (!d.sFolder.empty() && sFile.rfind(d.sFolder + "/", 0) == 0) {
            d.fHeld = true;
            d.cv.notify_all();
            d.cv.wait(lock, [&d] { return d.fOpen; });
        }
        lock.unlock();
        return ::write(fd, pBytes, iCount);
    }
    void Hold(const std::string& sFolderOfFiles) {
        std::lock_guard lock(mutex);
        sFolder = sFolderOfFiles;
        fOpen = false;
        fHeld = false;
    }
    bool WaitHeld() {
        std::unique_lock lock(mutex);
        return cv.wait_for(lock, std::chrono::seconds(30), [this] { return fHeld; });
    }
    void Open() {
        std::lock_guard lock(mutex);
        fOpen = true;
        cv.notify_all();
    }
    std::mutex mutex;
    std::condition_variable cv;
    std::string sFolder;
    bool fOpen = true, fHeld = false;
};

// Saves that do not end as they should: one slower than the window's close wait, which the
// program's exit stops (its new file goes, the log says it was not written); one whose disk
// hangs past the exit's wait, whose new file the exit removes while its thread still waits; one
// that a full disk (a file-size limit) fails while its window is open. None leaves a ".part"
// file or says "saved".
TEST_F(WindowScpiCommandSaveTest, ASaveStoppedByTheExitOrFailedLeavesNoTemporaryFile) {
    std::string sAnswer;
    for (int i = 0; sAnswer.size() < (std::size_t{4} << 20); ++i) sAnswer += std::to_string(i) + ',';
    struct uCase {
        const char* sName;
        bool fClose;                     // the window closes while the disk holds the save
        int iExitWaitMs;                 // the exit's wait; 0: no exit
        bool fOpenBeforeExitEnds;        // the disk goes on once the stop was asked
        rlim_t iSizeLimit;               // 0: none
        std::string sReason;             // of the failure in the log
    };
    const uCase mCases[] = {
        {"slower than the close wait", true, 30000, true, 0, "(Operation canceled)"},
        {"a disk that hangs past the exit", true, 300, false, 0, "(Operation canceled)"},
        {"a full disk", false, 0, false, 1 << 20, "(File too large)"},
    };
    Utility::FileSavingSeam::SetWrite(&uSlowDisk::Write);
    struct uRestore {
        ~uRestore() {
            uSlowDisk::The().Open();
            Utility::FileSavingSeam::SetWrite(nullptr);
        }
    } restore;
    // The log made anew: the one of an earlier test would drop the lines the thread posts.
    WindowLog::Close(1);
    WindowLog::Create();
    int i = 0;
    for (const uCase& c : mCases) {
        SCOPED_TRACE(c.sName);
        ASSERT_TRUE(WaitFor([] { return BackgroundThreads::Running() == 0; }, 30000));
        WindowLog::Clear(0);
        const QString sFolder = files.filePath(QString("case%1").arg(i++));
        ASSERT_TRUE(QDir().mkpath(sFolder));
        const std::string sPath = (sFolder + "/answer.txt").toStdString();
        const int iScpi = OpenScpi();
        W(iScpi).pReceived = std::make_shared<const DataBuffer>(DataBuffer::FromText(sAnswer));
        const auto fTemporaryFiles = [&] { return QDir(sFolder).entryList(QDir::Files | QDir::Hidden); };
        if (c.iSizeLimit != 0) {
            const FileSizeLimit limit(c.iSizeLimit);
            ASSERT_TRUE(limit.Active());
            ASSERT_TRUE(Save(iScpi, QString::fromStdString(sPath)));
            EXPECT_EQ(Status(iScpi), "The data could not be written to the file: " + sPath + " " + c.sReason);
        } else {
            uSlowDisk::The().Hold(sFolder.toStdString());
            ASSERT_TRUE(Save(iScpi, QString::fromStdString(sPath), false));
            ASSERT_TRUE(uSlowDisk::The().WaitHeld());
            EXPECT_EQ(BackgroundThreads::Running(), 1);
            EventHub::PostEvent(EventCloseWindowRequest, iMain);
            Settle();
            ASSERT_FALSE(WindowScpiCommand::FindInstance(iScpi, nullptr)); // it waited its second and went
            if (c.fOpenBeforeExitEnds) {
                BackgroundThreads::RequestStopAll();
                uSlowDisk::The().Open();
            }
            EXPECT_EQ(Main::EndBackgroundThreads(std::chrono::milliseconds(c.iExitWaitMs)), c.fOpenBeforeExitEnds);
            // At the exit's end no new file is left, whether its thread has ended or still waits.
            EXPECT_EQ(fTemporaryFiles(), QStringList{});
            uSlowDisk::The().Open();
            EXPECT_TRUE(BackgroundThreads::WaitAll(std::chrono::seconds(30)));
        }
        const std::string sFailure = "Error: The data could not be written to the file: " + sPath + " " + c.sReason;
        EXPECT_TRUE(WaitFor([&] { return LogHas(sFailure); }, 30000)) << Log();
        EXPECT_FALSE(LogHas("The data was saved in the file")) << Log();
        EXPECT_EQ(fTemporaryFiles(), QStringList{});
        EventHub::PostEvent(EventCloseWindowRequest, iMain);
        Settle();
    }
}

TEST(ScpiSaveFile, FailuresLeaveTheTargetAlone) {
    QTemporaryDir files;
    std::string sFailure;
    const std::string sFolder = files.filePath("folder").toStdString();
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(sFolder)));
    const std::uint8_t bytes[] = {'a', 'b'};
    EXPECT_FALSE(WindowScpiCommand::Detail::WriteFileWhole(sFolder, bytes, 2, sFailure));
    EXPECT_EQ(sFailure, "The file could not be created: " + sFolder + " (Is a directory)");
    EXPECT_TRUE(QFileInfo(QString::fromStdString(sFolder)).isDir());
    const std::string sMissing = files.filePath("missing/x.bin").toStdString();
    EXPECT_FALSE(WindowScpiCommand::Detail::WriteFileWhole(sMissing, bytes, 2, sFailure));
    EXPECT_EQ(sFailure, "The file could not be created: " + sMissing + " (No such file or directory)");
    EXPECT_EQ(QDir(files.path()).entryList(QDir::Files), QStringList{});
    // Zero bytes make an empty file.
    EXPECT_TRUE(WindowScpiCommand::Detail::WriteFileWhole(files.filePath("empty").toStdString(), bytes, 0, sFailure));
    EXPECT_EQ(QFileInfo(files.filePath("empty")).size(), 0);
    // A write that fails only when the last buffered bytes go out (a full disk) is no success,
    // and the earlier file stays whole.
    const std::string sOld = files.filePath("old.bin").toStdString();
    {
        QFile old(QString::fromStdString(sOld));
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("earlier");
    }
    const std::vector<std::uint8_t> many(1000, 'x');
    {
        const FileSizeLimit limit(64);
        ASSERT_TRUE(limit.Active());
        EXPECT_FALSE(WindowScpiCommand::Detail::WriteFileWhole(sOld, many.data(), many.size(), sFailure));
    }
    EXPECT_EQ(sFailure, "The data could not be written to the file: " + sOld + " (File too large)");
    QFile kept(QString::fromStdString(sOld));
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), QByteArray("earlier"));
    EXPECT_EQ(QDir(files.path()).entryList(QDir::Files), (QStringList{"empty", "old.bin"}));
}

TEST_F(WindowScpiCommandSaveTest, ABlockEndToEndOverRawTcp) {
    Sim::RawTcpServer server;
    std::string sError;
    ASSERT_TRUE(server.Start(sError)) << sError;
    const int iScpi = OpenScpi();
    InstrumentObject object = Connect(RawPrepare(server.Port()));
    Announce(iScpi, object, ProtocolRawTcp);
    BlockSavedWhole(iScpi, server.Device());
}

TEST_F(WindowScpiCommandSaveTest, ABlockEndToEndOverVxi11) {
    Sim::Vxi11Server server;
    std::string sError;
    ASSERT_TRUE(server.Start({}, sError)) << sError;
    const int iScpi = OpenScpi();
    InstrumentObject object = Connect(VxiPrepare(server.Port()));
    Announce(iScpi, object, ProtocolLxi);
    BlockSavedWhole(iScpi, server.Device());
    std::string sRelease;
    Instrument::ReleaseAll(true, 0, sRelease);
}

} // namespace
