#include "waveform/WaveformData.h"

#include "WaveformTestSupport.h"
#include "instrument/ModelTable.h"
#include "platform/EventHub.h"
#include "platform/ProgramEvents.h"
#include "waveform/WaveformDataFile.h"

#include <QDir>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include <sys/stat.h>

using namespace WaveformTest;

namespace {

// A gate the test opens; writers wait at it.
struct Gate {
    std::mutex m;
    std::condition_variable cv;
    bool fOpen = false;
    int iWaiting = 0;
    void Wait() {
        std::unique_lock lock(m);
        ++iWaiting;
        cv.notify_all();
        cv.wait(lock, [&] { return fOpen; });
    }
    void WaitForWaiters(int n) {
        std::unique_lock lock(m);
        ASSERT_TRUE(cv.wait_for(lock, std::chrono::seconds(10), [&] { return iWaiting >= n; }));
    }
    void Open() {
        std::lock_guard lock(m);
        fOpen = true;
        cv.notify_all();
    }
};

struct WriterCall {
    std::string sFileName;
    std::int64_t eWaveform = 0;
    std::int64_t iStart = 0, iEnd = 0;
};

class WaveformDataTest : public LogFixture {
  protected:
    void SetUp() override {
        LogFixture::SetUp();
        first.Bind();
        second.Bind();
        WaveformData::SetFileNameExpander([this](const std::string& sTemplate, const std::string&, const std::string&,
                                                 std::int64_t, std::int64_t, std::int64_t, std::int64_t,
                                                 const std::string& sChannel) {
            std::lock_guard lock(mCalls);
            templates.push_back(sTemplate);
            return sTemplate + "_" + sChannel;
        });
        WaveformData::SetWriter(WaveformData::WriterRigol,
                                [this](const uWaveformRecordChannel& c, const std::vector<uWaveformLogicLine>&,
                                       const std::string& sName, std::int64_t iStart, std::int64_t iEnd,
                                       const std::string&, const std::string&, std::int64_t,
                                       WaveformDataInstance& instance, std::string& sError) {
                                    {
                                        std::lock_guard lock(mCalls);
                                        calls.push_back({sName, c.eWaveform, iStart, iEnd});
                                    }
                                    return onWrite ? onWrite(c, instance, sError) : true;
                                });
    }
    void TearDown() override {
        for (std::int64_t i : instances) {
            std::string sError;
            WaveformData::Release(i, sError);
        }
        EXPECT_TRUE(PumpUntil([] { return WaveformData::RunningThreads() == 0; }));
        WaveformData::SetWriter(WaveformData::WriterRigol, nullptr);
        WaveformData::SetFileNameExpander(nullptr);
        LogFixture::TearDown();
    }
    std::int64_t New(const EventRecorder& recorder) {
        std::string sError;
        const std::int64_t i = WaveformData::NewInstance(recorder.Window(), sError);
        EXPECT_NE(i, 0) << sError;
        instances.push_back(i);
        return i;
    }
    static std::shared_ptr<uWaveformRecord> RigolRecord(int iChannels, std::int64_t eModel = ModelRigolDS1000Z) {
        auto r = WaveformData::ResetData(nullptr);
        r->eModel = eModel;
        r->sManufacturer = "RIGOL";
        r->sModel = "DS1104Z";
        r->sTemplate = "/O /U /C.csv";
        for (int i = 0; i < iChannels; ++i) {
            uWaveformRecordChannel c;
            c.eWaveform = WaveformChannel1 + i;
            c.sFileChannel = "CH" + std::to_string(i + 1);
            r->Channels.push_back(c);
        }
        return r;
    }
    EventRecorder first, second;
    std::vector<std::int64_t> instances;
    std::mutex mCalls;
    std::vector<WriterCall> calls;
    std::vector<std::string> templates;
    std::function<bool(const uWaveformRecordChannel&, WaveformDataInstance&, std::string&)> onWrite;
};

TEST_F(WaveformDataTest, TwoInstancesSaveAtOnceAndReportToTheirOwnWindows) {
    Gate gate;
    onWrite = [&](const uWaveformRecordChannel&, WaveformDataInstance&, std::string&) {
        gate.Wait();
        return true;
    };
    const std::int64_t a = New(first), b = New(second);
    EXPECT_NE(a, b);
    auto ra = RigolRecord(2), rb = RigolRecord(1);
    std::string sError;
    ASSERT_TRUE(WaveformData::SaveData(a, ra, sError)) << sError;
    ASSERT_TRUE(WaveformData::SaveData(b, rb, sError)) << sError;
    gate.WaitForWaiters(2); // both threads are inside a writer at the same time
    gate.Open();
    ASSERT_TRUE(PumpUntil([&] { return first.Count(SaveStatusPassFinished) == 1 && second.Count(SaveStatusPassFinished) == 1; }));
    for (const uSaveEvent& e : first.Events()) EXPECT_EQ(e.iInstance, a);
    for (const uSaveEvent& e : second.Events()) EXPECT_EQ(e.iInstance, b);
    std::lock_guard lock(mCalls);
    EXPECT_EQ(calls.size(), 3u);
}

TEST_F(WaveformDataTest, ProgressSharesAndFileNamesPerChannel) {
    const std::int64_t a = New(first);
    auto r = RigolRecord(3);
    r->sFolder = Folder() + "/home/h"; // the folder holds "/h" like a token: it is never expanded
    uWaveformRecordChannel pod;
    pod.eWaveform = WaveformLogicPod1; // pods are merged, never written on their own
    r->Channels.push_back(pod);
    std::string sError;
    ASSERT_TRUE(WaveformData::SaveData(a, r, sError));
    ASSERT_TRUE(PumpUntil([&] { return first.Count(SaveStatusPassFinished) == 1; }));
    std::lock_guard lock(mCalls);
    ASSERT_EQ(calls.size(), 3u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(calls[i].sFileName, Folder() + "/home/h//O /U /C.csv_CH" + std::to_string(i + 1));
        EXPECT_EQ(calls[i].iStart, 33 * i);
        EXPECT_EQ(calls[i].iEnd, 33 * (i + 1));
    }
    EXPECT_EQ(templates, std::vector<std::string>(3, "/O /U /C.csv"));
}

TEST_F(WaveformDataTest, AutomaticSavesReplaceNoFileAndChosenNamesDo) {
    // A writer that writes the file, so that the next save of the same name meets it.
    onWrite = nullptr;
    WaveformData::SetWriter(WaveformData::WriterRigol,
                            [this](const uWaveformRecordChannel&, const std::vector<uWaveformLogicLine>&,
                                   const std::string& sName, std::int64_t, std::int64_t, const std::string&,
                                   const std::string&, std::int64_t, WaveformDataInstance&, std::string&) {
                                std::lock_guard lock(mCalls);
                                calls.push_back({sName, 0, 0, 0});
                                std::FILE* p = std::fopen(sName.c_str(), "wb");
                                const bool fWritten = p && std::fputs("new", p) >= 0;
                                return p && std::fclose(p) == 0 && fWritten;
                            });
    const std::int64_t a = New(first);
    const std::string sFolder = Folder() + "/a.b"; // a dot in the folder is no extension
    ASSERT_EQ(::mkdir(sFolder.c_str(), 0755), 0);
    { std::ofstream(sFolder + "/trace.csv_CH1") << "old"; }
    const auto Save = [&](bool fNewFilesOnly) {
        auto r = RigolRecord(1);
        r->sFolder = sFolder;
        r->sTemplate = "trace.csv";
        r->fNewFilesOnly = fNewFilesOnly;
        std::string sError;
        const std::size_t iBefore = first.Count(SaveStatusPassFinished);
        ASSERT_TRUE(WaveformData::SaveData(a, r, sError)) << sError;
        ASSERT_TRUE(PumpUntil([&] { return first.Count(SaveStatusPassFinished) == iBefore + 1; }));
    };
    Save(true);
    Save(true);
    EXPECT_EQ(ReadFile(sFolder + "/trace.csv_CH1"), "old");
    Save(false);
    std::lock_guard lock(mCalls);
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0].sFileName, sFolder + "/trace-2.csv_CH1");
    EXPECT_EQ(calls[1].sFileName, sFolder + "/trace-3.csv_CH1");
    EXPECT_EQ(calls[2].sFileName, sFolder + "/trace.csv_CH1"); // the user's own choice
    EXPECT_EQ(ReadFile(sFolder + "/trace-2.csv_CH1"), "new");
    EXPECT_EQ(ReadFile(sFolder + "/trace.csv_CH1"), "new");
}

TEST_F(WaveformDataTest, SaveDataWhileBusyIsRefusedAndStatusTwoIsStored) {
    Gate gate;
    std::atomic<std::int64_t> iThread{0}, eSeen{0};
    onWrite = [&](const uWaveformRecordChannel&, WaveformDataInstance& instance, std::string&) {
        iThread = instance.iSaveDataThreadNumber.load();
        gate.Wait();
        eSeen = instance.eThreadStatus.load();
        return true;
    };
    const std::int64_t a = New(first);
    auto r = RigolRecord(1);
    std::string sError;
    ASSERT_TRUE(WaveformData::SaveData(a, r, sError));
    gate.WaitForWaiters(1);
    EXPECT_FALSE(WaveformData::SaveData(a, RigolRecord(1), sError));
    EXPECT_EQ(sError, "WaveformData::SaveData[" + std::to_string(a) +
                          "]: Der Thread ist in Verwendung. iSaveDataThreadNumber = " + std::to_string(iThread.load()));
    EXPECT_FALSE(WaveformData::SetSaveDataThreadStatus(a, 9, sError));
    EXPECT_EQ(sError, "WaveformData::SetSaveDataThreadStatus[" + std::to_string(a) +
                          "]: Ungültiger Wert für den Threadstatus. eThreadStatus = 9");
    EXPECT_TRUE(WaveformData::SetSaveDataThreadStatus(a, 2, sError));
    gate.Open();
    ASSERT_TRUE(PumpUntil([&] { return first.Count(SaveStatusPassFinished) == 1; }));
    EXPECT_EQ(eSeen.load(), 2);
    EXPECT_FALSE(WaveformData::SaveData(a + 1000, r, sError));
    EXPECT_EQ(sError, "WaveformData::LockInstance[" + std::to_string(a + 1000) + "]: Diese Instanz existiert nicht.");
}

TEST_F(WaveformDataTest, ASaveAskedForRightAfterEachPassIsNeverLost) {
    const std::int64_t a = New(first);
    auto r = RigolRecord(1);
    int iPasses = 0;
    std::string sError;
    EventHub::Bind(EventWaveformSaveStatus, first.Window(), [&](const EventHub::uEvent& e) {
        if (e.iType != SaveStatusPassFinished) return;
        if (++iPasses < 300) {
            std::string sSaveError;
            EXPECT_TRUE(WaveformData::SaveData(a, r, sSaveError)) << sSaveError;
        }
    });
    ASSERT_TRUE(WaveformData::SaveData(a, r, sError));
    ASSERT_TRUE(PumpUntil([&] { return iPasses == 300; })) << iPasses;
    std::lock_guard lock(mCalls);
    EXPECT_EQ(calls.size(), 300u);
}

TEST_F(WaveformDataTest, ReleaseDuringALongWriteReturnsAndTheThreadEndsLater) {
    Gate gate;
    std::atomic<bool> fTouched{false};
    onWrite = [&](const uWaveformRecordChannel& c, WaveformDataInstance& instance, std::string&) {
        gate.Wait(); // a writer that does not look at the stop word
        fTouched = c.sFileChannel == "CH1" && instance.eThreadStatus.load() == ThreadStatusEnd;
        return true;
    };
    std::string sError;
    const std::int64_t a = WaveformData::NewInstance(first.Window(), sError);
    auto r = RigolRecord(1);
    ASSERT_TRUE(WaveformData::SaveData(a, r, sError));
    gate.WaitForWaiters(1);
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_TRUE(WaveformData::Release(a, sError)) << sError;
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(5));
    EXPECT_TRUE(WaveformData::FreeWaveformRecord(r));
    EXPECT_FALSE(WaveformData::FreeWaveformRecord(r));
    EXPECT_EQ(WaveformData::RunningThreads(), 1);
    gate.Open(); // the detached thread still holds the record and its instance
    ASSERT_TRUE(PumpUntil([] { return WaveformData::RunningThreads() == 0; }));
    EXPECT_TRUE(fTouched.load());
}

TEST_F(WaveformDataTest, ReleaseEndsAWriterThatStopsAtItsCheckPoint) {
    std::atomic<bool> fInside{false};
    onWrite = [&](const uWaveformRecordChannel&, WaveformDataInstance& instance, std::string&) {
        fInside = true;
        while (instance.eThreadStatus.load() != ThreadStatusEnd) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return true;
    };
    std::string sError;
    const std::int64_t a = WaveformData::NewInstance(first.Window(), sError);
    ASSERT_TRUE(WaveformData::SaveData(a, RigolRecord(1), sError));
    ASSERT_TRUE(PumpUntil([&] { return fInside.load(); }));
    EXPECT_TRUE(WaveformData::Release(a, sError));
    EXPECT_EQ(WaveformData::RunningThreads(), 0);
    EXPECT_FALSE(WaveformData::Release(a, sError));
    EXPECT_EQ(sError, "WaveformData::LockInstance[" + std::to_string(a) + "]: Diese Instanz existiert nicht.");
}

TEST_F(WaveformDataTest, UnsupportedModelIsLoggedAndThePassStillEnds) {
    const std::int64_t a = New(first);
    auto r = RigolRecord(1, ModelPicotestM3500A);
    r->sManufacturer = "Picotest";
    r->sModel = "M3500A";
    std::string sError;
    ASSERT_TRUE(WaveformData::SaveData(a, r, sError));
    ASSERT_TRUE(PumpUntil([&] { return first.Count(SaveStatusPassFinished) == 1; }));
    EXPECT_EQ(first.Types(), std::vector<std::int64_t>{SaveStatusPassFinished});
    EXPECT_EQ(LogTexts().back(), "Error: WaveformData::SaveDataThread: Keine Unterstützung für Picotest M3500A - eModel = 14");
}

TEST_F(WaveformDataTest, APlaceholderOnlyRecordPostsOnlyTheEndOfThePass) {
    const std::int64_t a = New(first);
    auto r = WaveformData::ResetData(RigolRecord(2));
    ASSERT_EQ(r->Channels.size(), 1u);
    r->eModel = ModelPicotestM3500A; // not even the model is looked at
    std::string sError;
    ASSERT_TRUE(WaveformData::SaveData(a, r, sError));
    ASSERT_TRUE(PumpUntil([&] { return first.Count(SaveStatusPassFinished) == 1; }));
    EXPECT_EQ(first.Types(), std::vector<std::int64_t>{SaveStatusPassFinished});
    EXPECT_TRUE(calls.empty());
}

TEST_F(WaveformDataTest, InstanceNumbersGoOnAfterTheLastInstanceWent) {
    std::string sError;
    const std::int64_t a = WaveformData::NewInstance(first.Window(), sError);
    ASSERT_TRUE(WaveformData::Release(a, sError));
    const std::int64_t b = WaveformData::NewInstance(first.Window(), sError);
    EXPECT_EQ(b, a + 1);
    ASSERT_TRUE(WaveformData::Release(b, sError));
}

TEST_F(WaveformDataTest, AMissingAnswerGivesNoFileAndOneErrorReport) {
    struct Writer : WaveformData::uFileWriter {
        Writer() { sProcedure = "WaveformData::SaveWaveformRigol"; }
        bool Describe(const std::string&, std::uint64_t, WaveformData::uFileHeader&, std::string&) override { return true; }
        void Step(const std::uint8_t*, std::size_t, WaveformData::uRowSink&) override {}
    };
    onWrite = nullptr;
    WaveformData::SetWriter(WaveformData::WriterRigol,
                            [](const uWaveformRecordChannel& c, const std::vector<uWaveformLogicLine>&,
                               const std::string& sName, std::int64_t iStart, std::int64_t iEnd, const std::string& sMaker,
                               const std::string& sModel, std::int64_t iFormat, WaveformDataInstance& instance,
                               std::string& sError) {
                                Writer writer;
                                return WaveformData::WriteWaveformFile(writer, c, sName, iStart, iEnd, sMaker, sModel,
                                                                       iFormat, instance, sError);
                            });
    const std::int64_t a = New(first);
    auto r = RigolRecord(1);
    r->sFolder = Folder();
    r->iSaveFormat = 1;
    std::string sError;
    ASSERT_TRUE(WaveformData::SaveData(a, r, sError));
    ASSERT_TRUE(PumpUntil([&] { return first.Count(SaveStatusPassFinished) == 1; }));
    ASSERT_EQ(first.Types(), (std::vector<std::int64_t>{SaveStatusError, SaveStatusPassFinished}));
    EXPECT_EQ(first.Events()[0].sText, "WaveformData::SaveWaveformRigol: Die Messkurvendaten sind nicht vorhanden - "
                                       "\\pData = 0 - \\iDataSize = 0");
    EXPECT_FALSE(FileExists(Folder() + "/" + r->sTemplate + "_CH1"));
}

// A writer that cannot have its memory ends the pass with one error; the thread saves the next record.
TEST_F(WaveformDataTest, AnAllocationFailureEndsThePassAndTheNextSaveRuns) {
    onWrite = [](const uWaveformRecordChannel&, WaveformDataInstance&, std::string&) -> bool { throw std::bad_alloc(); };
    const std::int64_t a = New(first);
    std::string sError;
    ASSERT_TRUE(WaveformData::SaveData(a, RigolRecord(2), sError)) << sError;
    ASSERT_TRUE(PumpUntil([&] { return first.Count(SaveStatusPassFinished) == 1; }));
    ASSERT_EQ(first.Types(), (std::vector<std::int64_t>{SaveStatusError, SaveStatusPassFinished}));
    EXPECT_EQ(first.Events()[0].sText, "WaveformData::SaveDataThread: The memory could not be reserved.");
    EXPECT_EQ(calls.size(), 1u); // the second channel was not begun
    onWrite = nullptr;
    ASSERT_TRUE(WaveformData::SaveData(a, RigolRecord(2), sError)) << sError;
    ASSERT_TRUE(PumpUntil([&] { return first.Count(SaveStatusPassFinished) == 2; }));
    EXPECT_EQ(calls.size(), 3u);
}

TEST_F(WaveformDataTest, AFailedMergeIsReportedAndTheWritersStillRun) {
    WaveformData::SetWriter(WaveformData::WriterRTB2000,
                            [this](const uWaveformRecordChannel& c, const std::vector<uWaveformLogicLine>&,
                                   const std::string& sName, std::int64_t, std::int64_t, const std::string&,
                                   const std::string&, std::int64_t, WaveformDataInstance&, std::string&) {
                                std::lock_guard lock(mCalls);
                                calls.push_back({sName, c.eWaveform, 0, 0});
                                return true;
                            });
    const std::int64_t a = New(first);
    auto r = RigolRecord(1, ModelRohdeSchwarzRTB2000Ch4);
    uWaveformRecordChannel pod;
    pod.eWaveform = WaveformLogicPod2;
    pod.sFileChannel = "LOG2";
    r->Channels.push_back(pod);
    std::string sError;
    ASSERT_TRUE(WaveformData::SaveData(a, r, sError));
    ASSERT_TRUE(PumpUntil([&] { return first.Count(SaveStatusPassFinished) == 1; }));
    WaveformData::SetWriter(WaveformData::WriterRTB2000, nullptr);
    ASSERT_EQ(first.Types(), (std::vector<std::int64_t>{SaveStatusError, SaveStatusPassFinished}));
    EXPECT_EQ(first.Events()[0].sText, "Die Daten für den digitalen Kanal LOG2 sind nicht vorhanden.");
    std::lock_guard lock(mCalls);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].eWaveform, WaveformChannel1);
}

// A writer of real files whose first row waits at the gate, so that a stop comes while the
// first file is being written.
struct GatedWriter : WaveformData::uFileWriter {
    explicit GatedWriter(Gate& gate) : gate(gate) { sProcedure = "WaveformData::SaveWaveformRigol"; }
    bool Describe(const std::string&, std::uint64_t, WaveformData::uFileHeader& header, std::string&) override {
        header.ValueColumns = {"Value in V"};
        return true;
    }
    void Step(const std::uint8_t*, std::size_t, WaveformData::uRowSink& rows) override {
        rows.Row(0);
        rows.Value(1);
        rows.EndRow();
        if (rows.Rows() == 1) gate.Wait();
    }
    Gate& gate;
};

// Stop (6) or the window's closing (8, by Release) while the first of two files is written:
// both older files stay byte for byte, nothing is reported as written, and each file is named
// as not saved, once, in the log (the closed window gets no report) and to the window.
TEST_F(WaveformDataTest, AStoppedOrClosedSaveKeepsTheOlderFilesAndSaysNotSaved) {
    const auto LogCount = [this](const std::string& sPart) {
        std::size_t n = 0;
        for (const std::string& s : LogTexts()) n += s.find(sPart) != std::string::npos ? 1 : 0;
        return n;
    };
    const auto LogHas = [&](const std::string& sPart) { return LogCount(sPart) > 0; };
    const std::int64_t iThreads = WaveformData::RunningThreads();
    for (const bool fClose : {false, true}) {
        SCOPED_TRACE(fClose ? "closed" : "stopped");
        Gate gate;
        onWrite = nullptr;
        std::atomic<int> iCalls{0}; // the second file's writer is never called after the stop
        WaveformData::SetWriter(WaveformData::WriterRigol,
                                [&gate, &iCalls](const uWaveformRecordChannel& c, const std::vector<uWaveformLogicLine>&,
                                        const std::string& sName, std::int64_t iStart, std::int64_t iEnd,
                                        const std::string& sMaker, const std::string& sModel, std::int64_t iFormat,
                                        WaveformDataInstance& instance, std::string& sError) {
                                    ++iCalls;
                                    GatedWriter writer(gate);
                                    return WaveformData::WriteWaveformFile(writer, c, sName, iStart, iEnd, sMaker,
                                                                           sModel, iFormat, instance, sError);
                                });
        const std::string sFolder = Folder() + (fClose ? "/closed" : "/stopped");
        ASSERT_EQ(::mkdir(sFolder.c_str(), 0755), 0);
        auto r = RigolRecord(2);
        r->sFolder = sFolder;
        r->sTemplate = "w.csv";
        r->iSaveFormat = fClose ? 3 : 1;
        std::vector<std::string> names;
        for (std::size_t i = 1; i < r->Channels.size(); ++i) {
            r->Channels[i].pData = Bytes(Block(std::string(100, '\x80')) + "\n");
            r->Channels[i].iDataSize = static_cast<std::int64_t>(r->Channels[i].pData.size());
            names.push_back(sFolder + "/w.csv_" + r->Channels[i].sFileChannel);
            std::ofstream(names.back(), std::ios::binary) << "older " << i;
        }
        const std::size_t iEvents = first.Events().size(), iPasses = first.Count(SaveStatusPassFinished);
        std::string sError;
        const std::int64_t a = fClose ? WaveformData::NewInstance(first.Window(), sError) : New(first);
        ASSERT_TRUE(WaveformData::SaveData(a, r, sError)) << sError;
        gate.WaitForWaiters(1);
        if (fClose) {
            EXPECT_TRUE(WaveformData::Release(a, sError)); // gives the thread its second, then lets it go
        } else {
            EXPECT_TRUE(WaveformData::SetSaveDataThreadStatus(a, ThreadStatusStop, sError));
        }
        gate.Open();
        ASSERT_TRUE(PumpUntil([&] { return first.Count(SaveStatusPassFinished) == iPasses + 1; }));
        EventHub::Pump();
        for (std::size_t i = 0; i < names.size(); ++i) {
            EXPECT_EQ(ReadFile(names[i]), "older " + std::to_string(i + 1));
            EXPECT_EQ(LogCount("Stopped, not saved: " + names[i]), 1u) << names[i];
        }
        EXPECT_EQ(QDir(QString::fromStdString(sFolder)).entryList(QDir::Files | QDir::Hidden).size(), 2);
        EXPECT_EQ(iCalls.load(), 1);
        std::vector<std::string> reported;
        for (std::size_t i = iEvents; i < first.Events().size(); ++i) {
            EXPECT_NE(first.Events()[i].eType, SaveStatusFileWritten);
            if (first.Events()[i].eType == SaveStatusError) reported.push_back(first.Events()[i].sText);
        }
        EXPECT_EQ(reported, (std::vector<std::string>{"Stopped, not saved: " + names[0], "Stopped, not saved: " + names[1]}));
        EXPECT_FALSE(LogHas("The waveform are saved"));
    }
    EXPECT_TRUE(PumpUntil([&] { return WaveformData::RunningThreads() == iThreads + 1; })); // the closed one ended
}

} // namespace
