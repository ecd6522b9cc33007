#include "waveform/WaveformDataFile.h"

#include "WaveformTestSupport.h"
#include "common/FileSizeLimit.h"
#include "common/TextRoutines.h"
#include "platform/EventHub.h"

#include <QDir>
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstring>
#include <fstream>
#include <limits>
#include <string>
#include <vector>

using namespace WaveformTest;

namespace {

// A small layout of our own: the description is "time increment,scale,first time"; every data
// byte is one sample, (byte - 128) x scale, one row each.
struct TestWriter : WaveformData::uFileWriter {
    TestWriter() {
        sProcedure = "WaveformData::SaveWaveformTest";
        sNoDescription = "Es sind keine Beschreibungen der Messkurve am Ende der Daten vorhanden.";
    }
    double dIncrement = 0, dScale = 0, dTime = 0;
    WaveformDataInstance* pStopInstance = nullptr; // set eStopWith once iStopAfter rows are written
    std::int64_t iStopAfter = -1;
    std::int64_t eStopWith = ThreadStatusStop;

    bool Describe(const std::string& sDescription, std::uint64_t, WaveformData::uFileHeader& header,
                  std::string&) override {
        std::vector<std::string> fields;
        Utility::SplitStringToList(sDescription, fields, ",");
        fields.resize(3);
        dIncrement = fields[0].empty() ? 0 : std::stod(fields[0]);
        dScale = fields[1].empty() ? 0 : std::stod(fields[1]);
        dTime = fields[2].empty() ? 0 : std::stod(fields[2]);
        header.Items = {{"Time increment", WaveformData::HeaderReal(dIncrement)},
                        {"Scale", WaveformData::HeaderReal(dScale)},
                        {"First time", WaveformData::HeaderReal(dTime)}};
        header.ValueColumns = {"Value in V"};
        return true;
    }
    void Step(const std::uint8_t* p, std::size_t iBytes, WaveformData::uRowSink& rows) override {
        for (std::size_t i = 0; i < iBytes; ++i) {
            rows.Row(dTime);
            rows.Value((static_cast<int>(p[i]) - 128) * dScale);
            rows.EndRow();
            dTime += dIncrement;
        }
        if (pStopInstance && rows.Rows() >= iStopAfter) pStopInstance->eThreadStatus = eStopWith;
    }
};

uWaveformRecordChannel Channel(const std::string& sAnswer) {
    uWaveformRecordChannel channel;
    channel.eWaveform = WaveformChannel1;
    channel.pData = Bytes(sAnswer);
    channel.iDataSize = static_cast<std::int64_t>(sAnswer.size());
    channel.sChannelName = "Channel 1";
    return channel;
}

class WaveformDataFileTest : public LogFixture {
  protected:
    void SetUp() override {
        LogFixture::SetUp();
        recorder.Bind();
    }
    bool Write(TestWriter& writer, const uWaveformRecordChannel& channel, std::int64_t iFormat, std::string& sError,
               const std::string& sMaker = "Maker", const std::string& sModel = "Scope") {
        return WaveformData::WriteWaveformFile(writer, channel, sFile, 0, 50, sMaker, sModel, iFormat, loose.instance,
                                               sError);
    }
    EventRecorder recorder;
    uLooseInstance loose{recorder.Window()};
    std::string sFile = Folder() + "/wave.csv";
};

// Samples 129, 126, 128, 130: 0.5, -1, 0, 1 V at -1 ns and then every 2 s.
const std::string SampleAnswer = Block("\x81\x7E\x80\x82") + "\n2,0.5,-0.000000001\n";

TEST_F(WaveformDataFileTest, CsvIsWrittenByteForByteWithEitherSeparator) {
    for (const auto& [iFormat, sep] : {std::pair<int, std::string>{1, ","}, {2, ";"}}) {
        TestWriter writer;
        std::string sError;
        ASSERT_TRUE(Write(writer, Channel(SampleAnswer), iFormat, sError)) << sError;
        const std::string s = sep;
        const std::string sExpected = "Maker" + s + "Scope" + s + "Channel 1\r\n" + "Time increment" + s + "2\r\n" +
                                      "Scale" + s + "0.5\r\n" + "First time" + s + "-0.000000001\r\n" + "Number" + s +
                                      "Time in s" + s + "Value in V\r\n" + "1" + s + "-0.000000001" + s + "0.5\r\n" +
                                      "2" + s + "1.999999999" + s + "-1\r\n" + "3" + s + "3.999999999" + s + "0\r\n" +
                                      "4" + s + "5.999999999" + s + "1\r\n";
        EXPECT_EQ(ReadFile(sFile), sExpected) << "format " << iFormat;
        EXPECT_FALSE(FileExists(sFile + ".part"));
    }
}

TEST_F(WaveformDataFileTest, BinHeaderLengthIsPatchedAndTheRecordsStartThere) {
    TestWriter writer;
    std::string sError;
    ASSERT_TRUE(Write(writer, Channel(SampleAnswer), 3, sError)) << sError;
    const std::string s = ReadFile(sFile);
    const std::string sHeaderRest = "Maker,Scope,Channel 1\r\nTime increment,2\r\nScale,0.5\r\n"
                                    "First time,-0.000000001\r\nNumber,Time in s,Value in V\r\n";
    ASSERT_GE(s.size(), 15u);
    EXPECT_EQ(s.substr(0, 11), "DATA OFFSET");
    std::int32_t h = 0;
    std::memcpy(&h, s.data() + 11, 4);
    EXPECT_EQ(h, static_cast<std::int32_t>(15 + sHeaderRest.size()));
    EXPECT_EQ(s.substr(15, sHeaderRest.size()), sHeaderRest);
    ASSERT_EQ(s.size(), static_cast<std::size_t>(h) + 4 * 20);
    const double dTimes[] = {-0.000000001, 2 - 0.000000001, 4 - 0.000000001, 6 - 0.000000001};
    const double dValues[] = {0.5, -1, 0, 1};
    for (int i = 0; i < 4; ++i) {
        std::int32_t n = 0;
        double t = 0, v = 0;
        std::memcpy(&n, s.data() + h + 20 * i, 4);
        std::memcpy(&t, s.data() + h + 20 * i + 4, 8);
        std::memcpy(&v, s.data() + h + 20 * i + 12, 8);
        EXPECT_EQ(n, i + 1);
        EXPECT_DOUBLE_EQ(t, dTimes[i]);
        EXPECT_EQ(v, dValues[i]);
    }
}

TEST_F(WaveformDataFileTest, BinStepsGatheringMoreThanTheBufferLoseNoRecord) {
    // One step of 300,000 samples gathers 6 MB of records, far beyond the writer's buffer.
    TestWriter writer;
    writer.iStepBytes = 300000;
    std::string sData(300001, '\0');
    for (std::size_t i = 0; i < sData.size(); ++i) sData[i] = static_cast<char>(i * 7);
    std::string sError;
    ASSERT_TRUE(Write(writer, Channel(Block(sData) + "\n1,1"), 3, sError)) << sError;
    const std::string s = ReadFile(sFile);
    std::int32_t h = 0;
    std::memcpy(&h, s.data() + 11, 4);
    ASSERT_EQ(s.size(), static_cast<std::size_t>(h) + sData.size() * 20);
    for (std::size_t i = 0; i < sData.size(); i += 1000) { // the last sample (300,000) too
        std::int32_t n = 0;
        double t = 0, v = 0;
        std::memcpy(&n, s.data() + h + 20 * i, 4);
        std::memcpy(&t, s.data() + h + 20 * i + 4, 8);
        std::memcpy(&v, s.data() + h + 20 * i + 12, 8);
        ASSERT_EQ(n, static_cast<std::int32_t>(i + 1));
        ASSERT_EQ(t, static_cast<double>(i)) << i;
        ASSERT_EQ(v, static_cast<int>(static_cast<std::uint8_t>(sData[i])) - 128) << i;
    }
}

TEST_F(WaveformDataFileTest, HeaderTextsAreSingleByteLatin1OrQuestionMark) {
    TestWriter writer;
    std::string sError;
    ASSERT_TRUE(Write(writer, Channel(SampleAnswer), 1, sError, "M\xC3\xBCller", "Scope \xE2\x82\xAC"));
    EXPECT_EQ(ReadFile(sFile).substr(0, 20), "M\xFCller,Scope ?,Chann");
    EXPECT_EQ(WaveformData::ToSingleByte("a\xC3\x28z\xC3"), "a?(z?"); // broken and cut sequences
}

TEST_F(WaveformDataFileTest, NonFiniteValuesAreNamed) {
    struct : TestWriter {
        void Step(const std::uint8_t*, std::size_t, WaveformData::uRowSink& rows) override {
            rows.Row(0);
            rows.Value(std::numeric_limits<double>::quiet_NaN());
            rows.Value(std::numeric_limits<double>::infinity());
            rows.Value(-std::numeric_limits<double>::infinity());
            rows.State(true);
            rows.EndRow();
        }
    } writer;
    std::string sError;
    ASSERT_TRUE(Write(writer, Channel(Block("x") + "\n1,1"), 1, sError));
    const std::string s = ReadFile(sFile);
    EXPECT_EQ(s.substr(s.rfind("Value in V\r\n") + 12), "1,0,NaN,+Infinity,-Infinity,1\r\n");
}

// A stop (the window's Stop, or its closing) during the rows: the cut-short file is no record of
// the trace, so the older file stays byte for byte, nothing is left beside it and nothing is
// reported as written.
TEST_F(WaveformDataFileTest, StopDuringTheRowsKeepsTheOlderFileAndSaysNotSaved) {
    const std::string sData(1000, '\x80');
    { std::ofstream(sFile, std::ios::binary) << "older"; }
    for (const std::int64_t eStop : {ThreadStatusStop, ThreadStatusEnd}) {
        for (int iFormat : {1, 3}) {
            TestWriter writer;
            writer.pStopInstance = &loose.instance;
            writer.iStopAfter = 10;
            writer.eStopWith = eStop;
            loose.instance.eThreadStatus = 0;
            std::string sError;
            EXPECT_FALSE(Write(writer, Channel(Block(sData) + "\n1,1"), iFormat, sError));
            EXPECT_EQ(sError, "Stopped, not saved: " + sFile);
            EXPECT_EQ(ReadFile(sFile), "older");
            EXPECT_EQ(QDir(QString::fromStdString(Folder())).entryList(QDir::Files | QDir::Hidden),
                      QStringList{"wave.csv"});
        }
        // A stop that came before the writer begins no file at all.
        TestWriter writer;
        loose.instance.eThreadStatus = eStop;
        std::string sError;
        EXPECT_FALSE(Write(writer, Channel(SampleAnswer), 1, sError));
        EXPECT_EQ(sError, "Stopped, not saved: " + sFile);
        EXPECT_EQ(ReadFile(sFile), "older");
    }
    EventHub::Pump();
    EXPECT_EQ(recorder.Count(SaveStatusFileWritten), 0u);
}

TEST_F(WaveformDataFileTest, ProgressRisesAtMostOncePerHundredMilliseconds) {
    UseSteppingClock(30);
    TestWriter writer;
    writer.iStepBytes = 2;
    std::string sError;
    ASSERT_TRUE(WaveformData::WriteWaveformFile(writer, Channel(Block(std::string(20000, '\x80')) + "\n1,1"), sFile,
                                                20, 70, "M", "S", 1, loose.instance, sError));
    EventHub::Pump();
    const std::vector<std::int64_t> progress = recorder.Data(SaveStatusProgress);
    ASSERT_GE(progress.size(), 3u);
    EXPECT_EQ(progress.front(), 20);
    for (std::size_t i = 1; i < progress.size(); ++i) EXPECT_GT(progress[i], progress[i - 1]);
    EXPECT_LE(progress.back(), 70);
    EXPECT_GE(progress.back(), 69);
    // 30 ms a reading: no two reports less than 100 ms apart.
    EXPECT_LE(static_cast<std::int64_t>(progress.size()) - 1, ClockReads() * 30 / 100);
}

struct BadAnswer {
    std::string sAnswer;
    std::string sText;
};

TEST_F(WaveformDataFileTest, AnswersThatFailTheChecksGiveNoFile) {
    const std::vector<BadAnswer> cases = {
        {"", "WaveformData::SaveWaveformTest: Die Messkurvendaten sind nicht vorhanden - \\pData = 0 - \\iDataSize = 0"},
        {"abc", "WaveformData::SaveWaveformTest: Es ist kein SCPI-Blockformat vorhanden."},
        {"#3", "WaveformData::SaveWaveformTest: Es ist kein SCPI-Blockformat vorhanden."},
        {"#10\n", "WaveformData::SaveWaveformTest: Die Anzahl der Datenpunkte ist Null."},
        {"#15abc", "WaveformData::SaveWaveformTest: Die Messkurvendaten sind weniger, als im SCPI-Blockformat "
                   "angegeben - iChannelDataSize = 5 - \\iDataSize = 6"},
    };
    for (const BadAnswer& c : cases) {
        TestWriter writer;
        std::string sError;
        uWaveformRecordChannel channel = Channel(c.sAnswer);
        if (c.sAnswer.empty()) channel.pData.release();
        EXPECT_FALSE(Write(writer, channel, 1, sError)) << c.sAnswer;
        EXPECT_EQ(sError, c.sText);
        EXPECT_FALSE(FileExists(sFile));
    }
    EventHub::Pump();
    EXPECT_TRUE(recorder.Events().empty());
}

TEST_F(WaveformDataFileTest, MissingDescriptionIsLoggedAndTheFileStillWritten) {
    TestWriter writer;
    std::string sError;
    ASSERT_TRUE(Write(writer, Channel(Block("\x80") + "\n ;\r\n"), 1, sError));
    EXPECT_NE(ReadFile(sFile).find("Time increment,0\r\n"), std::string::npos);
    const auto texts = LogTexts();
    ASSERT_GE(texts.size(), 2u);
    EXPECT_EQ(texts[texts.size() - 2], "Error: WaveformData::SaveWaveformTest: Es sind keine Beschreibungen der "
                                       "Messkurve am Ende der Daten vorhanden.");
    EXPECT_EQ(texts.back(), "The waveform are saved: " + sFile);
}

TEST_F(WaveformDataFileTest, AFailedWriteIsNoSuccessAndKeepsTheOlderFile) {
    {
        std::ofstream old(sFile, std::ios::binary);
        old << "older";
    }
    for (int iFormat : {1, 3}) {
        TestWriter writer;
        std::string sError;
        bool fResult = true;
        {
            FileSizeLimit limit(4096);
            if (!limit.Active()) GTEST_SKIP() << "no file size limit";
            fResult = Write(writer, Channel(Block(std::string(200000, '\x80')) + "\n1,1"), iFormat, sError);
        }
        EXPECT_FALSE(fResult);
        EXPECT_EQ(sError, std::string("WaveformData::SaveWaveformTest: Die ") + (iFormat == 1 ? "CSV" : "BIN") +
                              "-Daten konnten nicht in die Datei geschrieben werden. " + sFile + " (File too large)");
        EXPECT_EQ(ReadFile(sFile), "older");
        EXPECT_EQ(QDir(QString::fromStdString(Folder())).entryList(QDir::Files | QDir::Hidden).size(), 1);
    }
    EventHub::Pump();
    EXPECT_EQ(recorder.Count(SaveStatusFileWritten), 0u);
}

// A folder holds the name: no success, nothing reported as written, and what held the name is
// left as it was. The writer does not log it: the save thread logs each failure once.
TEST_F(WaveformDataFileTest, AFailedRenameIsNoSuccessAndKeepsWhatHeldTheName) {
    ASSERT_EQ(::mkdir(sFile.c_str(), 0700), 0);
    { std::ofstream(sFile + "/older") << "older"; }
    for (int iFormat : {1, 3}) {
        TestWriter writer;
        std::string sError;
        EXPECT_FALSE(Write(writer, Channel(SampleAnswer), iFormat, sError));
        EXPECT_EQ(sError, "WaveformData::SaveWaveformTest: The file could not be created: " + sFile +
                              " (Is a directory)");
        EXPECT_EQ(ReadFile(sFile + "/older"), "older");
        EXPECT_EQ(QDir(QString::fromStdString(Folder())).entryList(QDir::Files | QDir::Hidden).size(), 0);
    }
    EventHub::Pump();
    for (const std::string& s : LogTexts()) EXPECT_EQ(s.find("could not be created"), std::string::npos) << s;
    EXPECT_EQ(recorder.Count(SaveStatusFileWritten), 0u);
}

// Everything written, only the last step, the rename onto the name, fails: the name became a
// folder with a file in it while the rows were written.
TEST_F(WaveformDataFileTest, ARenameThatFailsAfterTheRowsIsNoSuccessAndLeavesNothing) {
    struct : TestWriter {
        std::string sTarget;
        int iStep = 0;
        void Step(const std::uint8_t* p, std::size_t iBytes, WaveformData::uRowSink& rows) override {
            TestWriter::Step(p, iBytes, rows);
            if (++iStep != 2) return;
            ::mkdir(sTarget.c_str(), 0700);
            std::ofstream(sTarget + "/older") << "older";
        }
    } writer;
    writer.sTarget = sFile;
    for (int iFormat : {1, 3}) {
        writer.iStep = 0;
        std::string sError;
        EXPECT_FALSE(Write(writer, Channel(Block(std::string(10, '\x80')) + "\n1,1"), iFormat, sError));
        EXPECT_EQ(sError, "WaveformData::SaveWaveformTest: The file could not be created: " + sFile +
                              " (Is a directory)");
        EXPECT_EQ(ReadFile(sFile + "/older"), "older");
        EXPECT_EQ(QDir(QString::fromStdString(Folder())).entryList(QDir::Files | QDir::Hidden).size(), 0);
        ASSERT_EQ(::unlink((sFile + "/older").c_str()), 0);
        ASSERT_EQ(::rmdir(sFile.c_str()), 0);
    }
    EventHub::Pump();
    EXPECT_EQ(recorder.Count(SaveStatusFileWritten), 0u);
}

// A file that must replace none (an automatic save) whose name a file takes while the rows are
// written: that file stays, and the new one goes under the next free name, which is reported.
TEST_F(WaveformDataFileTest, ANameTakenDuringTheRowsIsNotReplacedAndTheNextFreeNameIsTaken) {
    struct : TestWriter {
        std::string sTarget;
        void Step(const std::uint8_t* p, std::size_t iBytes, WaveformData::uRowSink& rows) override {
            TestWriter::Step(p, iBytes, rows);
            if (rows.Rows() == 4) std::ofstream(sTarget, std::ios::binary) << "other";
        }
    } writer;
    writer.sTarget = sFile;
    loose.instance.nextFreeName = [](const std::string& s) { return WaveformData::FreeFileName(s); };
    std::string sError;
    ASSERT_TRUE(Write(writer, Channel(Block(std::string(10, '\x80')) + "\n1,1"), 1, sError)) << sError;
    const std::string sNext = Folder() + "/wave-2.csv";
    EXPECT_EQ(ReadFile(sFile), "other");
    EXPECT_NE(ReadFile(sNext).find("\r\n10,"), std::string::npos);
    EventHub::Pump();
    ASSERT_EQ(recorder.Count(SaveStatusFileWritten), 1u);
    EXPECT_EQ(recorder.Events().back().sText, sNext);
    EXPECT_EQ(LogTexts().back(), "The waveform are saved: " + sNext);
}

TEST_F(WaveformDataFileTest, AFileThatCannotBeCreatedIsReported) {
    TestWriter writer;
    std::string sError;
    const std::string sMissing = Folder() + "/no such folder/wave.csv";
    EXPECT_FALSE(WaveformData::WriteWaveformFile(writer, Channel(SampleAnswer), sMissing, 0, 100, "M", "S", 1,
                                                 loose.instance, sError));
    EXPECT_EQ(sError, "WaveformData::SaveWaveformTest: The file could not be created: " + sMissing +
                          " (No such file or directory)");
}

} // namespace
