// "function save" through the real interpreter thread: the bytes of every type, byte for byte,
// appending and replacing, the file name's variables and template tokens, and the failures
// that end the run. The user's separators are German here.
#include "ScriptEngineFixture.h"

#include "common/FileSizeLimit.h"
#include "common/ImagePluginGdiPlus.h"
#include "script/ScriptFunctionSave.h"
#include "waveform/WaveformData.h"
#include "windows/capture/Template.h"

#include <QDir>
#include <QImage>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <sstream>
#include <sys/stat.h>

namespace {

using namespace InstrumentScript;
using namespace ScriptTest;

const bool fGerman = [] { return setenv("LC_ALL", "de_DE.UTF-8", 1) == 0; }();

const std::string EndOfRun = "Thread - Warte auf das nächste Skript im Thread.";

class ScriptSaveTest : public EngineFixture {
  protected:
    void SetUp() override {
        EngineFixture::SetUp();
        Template::RegisterExpander();
        ImagePluginGdiPlus::RegisterEncoder();
    }
    void TearDown() override {
        EngineFixture::TearDown();
        WaveformData::SetFileNameExpander(nullptr);
    }

    // Parses the script, lets prepare set values, runs it once and waits for the run's end.
    void RunScript(const std::string& sScript, const std::function<void(uScriptProgram&)>& prepare = {}) {
        auto pProgram = Parsed(sScript);
        ASSERT_TRUE(pProgram);
        if (prepare) prepare(*pProgram);
        const std::size_t iRuns = Ends();
        Run(pProgram);
        ASSERT_TRUE(PumpUntil([&] { return Ends() > iRuns; }, 20000));
    }
    std::size_t Ends() const {
        std::size_t n = 0;
        for (const auto& s : Outputs()) n += s == EndOfRun ? 1 : 0;
        return n;
    }
    std::string FilePath(const std::string& sName) const { return folder.path().toStdString() + "/" + sName; }
    std::string FileBytes(const std::string& sName) const {
        std::ifstream file(FilePath(sName), std::ios::binary);
        std::ostringstream s;
        s << file.rdbuf();
        return s.str();
    }
    bool Exists(const std::string& sName) const { return QFile::exists(QString::fromStdString(FilePath(sName))); }
    std::vector<std::string> Errors() const { return collector.Texts(ScriptMessageError); }
    bool Finished() const { return collector.Count(ScriptMessageFinished) > 0; }
};

TEST_F(ScriptSaveTest, ScalarsAreBinaryOrTextByteForByte) {
    RunScript("integer n\nboolean t\nboolean f\nfloat x\n"
              "n function save \"n.bin\"\nn function save \"n.txt\" asc eol\n"
              "t function save \"t.bin\"\nt function save \"t.txt\" asc\nf function save \"f.bin\"\n"
              "f function save \"f.txt\" ASC\nx function save \"x.bin\" eol\nx function save \"x.txt\" asc\n"
              "n function save \"neg.bin\"\n",
              [](uScriptProgram& p) {
                  VariableOf(p, "n").Integer = 5;
                  VariableOf(p, "t").Boolean = 1;
                  VariableOf(p, "x").Float = 1234.5;
              });
    ASSERT_TRUE(Finished()) << ::testing::PrintToString(Errors());
    EXPECT_EQ(FileBytes("n.bin"), std::string("\x05\0\0\0\0\0\0\0", 8));
    EXPECT_EQ(FileBytes("n.txt"), "5\r\n");
    EXPECT_EQ(FileBytes("t.bin"), std::string("\x01", 1));
    EXPECT_EQ(FileBytes("t.txt"), "1");
    EXPECT_EQ(FileBytes("f.bin"), std::string("\x00", 1));
    EXPECT_EQ(FileBytes("f.txt"), "0");
    // 1234.5 = 0x40934A0000000000; a binary value takes no line end.
    EXPECT_EQ(FileBytes("x.bin"), std::string("\0\0\0\0\0\x4A\x93\x40", 8));
    if (fGerman) {
        EXPECT_EQ(FileBytes("x.txt"), "1.234,5");
    }
    EXPECT_TRUE(HasOutput("Skriptzeile 5 TaskFunctionSave - Dateipfad: n.bin"));
    EXPECT_TRUE(HasOutput("Skriptzeile 5 TaskFunctionSave - Die Daten wurden gespeichert."));
}

TEST_F(ScriptSaveTest, NegativeIntegerIsTwosComplement) {
    RunScript("integer n\nn function save \"n.bin\"\n", [](uScriptProgram& p) { VariableOf(p, "n").Integer = -2; });
    EXPECT_EQ(FileBytes("n.bin"), std::string("\xFE\xFF\xFF\xFF\xFF\xFF\xFF\xFF", 8));
}

TEST_F(ScriptSaveTest, AddAppendsAndReplacingKeepsOnlyTheLastSave) {
    RunScript("string s\ns function save \"two.txt\" add eol\ns function save \"two.txt\" add eol\n"
              "s function save \"one.txt\" eol\ns function save \"one.txt\" eol\n",
              [](uScriptProgram& p) { VariableOf(p, "s").String = "Grüße"; });
    ASSERT_TRUE(Finished());
    EXPECT_EQ(FileBytes("two.txt"), "Grüße\r\nGrüße\r\n"); // UTF-8, no mark
    EXPECT_EQ(FileBytes("one.txt"), "Grüße\r\n");
}

TEST_F(ScriptSaveTest, DataBlockWithLineEnd) {
    RunScript("data d\nd function save \"d.bin\" eol\n", [](uScriptProgram& p) {
        VariableOf(p, "d").Data = DataBuffer::FromBytes("\x00\x01\xFF\r", 4);
    });
    ASSERT_TRUE(Finished());
    EXPECT_EQ(FileBytes("d.bin"), std::string("\x00\x01\xFF\r\r\n", 6));
}

TEST_F(ScriptSaveTest, ParameterLineListsTheWordsFoundAnywhere) {
    RunScript("string s\ns function save \"a.txt\" eol asc add\ns function save \"b.txt\" padded\n"
              "s function save \"c.txt\" eol\n",
              [](uScriptProgram& p) { VariableOf(p, "s").String = "x"; });
    EXPECT_TRUE(HasOutput("Skriptzeile 2 TaskFunctionSave - Parameter: add, asc, eol, "));
    EXPECT_TRUE(HasOutput("Skriptzeile 3 TaskFunctionSave - Parameter: add, "));
    EXPECT_TRUE(HasOutput("Skriptzeile 4 TaskFunctionSave - Parameter: eol, "));
}

TEST_F(ScriptSaveTest, ImagesBecomePngWithTheSameColours) {
    QImage image(5, 3, QImage::Format_RGB32);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) image.setPixel(x, y, qRgb(40 * x, 80 * y, 7 * (x + y)));
    RunScript("image i\ni function save \"shot.bmp\"\ni function save \"shot.jpeg\" add eol\ni function save \"plain\"\n",
              [&](uScriptProgram& p) { VariableOf(p, "i").Image = image; });
    ASSERT_TRUE(Finished()) << ::testing::PrintToString(Errors());
    for (const char* sName : {"shot.png", "shot.jpeg.png", "plain.png"}) {
        EXPECT_EQ(FileBytes(sName).substr(0, 8), "\x89PNG\r\n\x1A\n") << sName;
        const QImage written(QString::fromStdString(FilePath(sName)), "PNG");
        ASSERT_FALSE(written.isNull()) << sName;
        EXPECT_FALSE(written.hasAlphaChannel()) << sName;
        EXPECT_EQ(written.convertToFormat(QImage::Format_RGB32), image) << sName;
    }
    EXPECT_FALSE(Exists("shot.bmp"));
    EXPECT_TRUE(HasOutput("Skriptzeile 2 TaskFunctionSave - Dateipfad: shot.png"));
}

TEST_F(ScriptSaveTest, ImageNameRule) {
    const std::vector<std::pair<std::string, std::string>> cases{
        {"a.bmp", "a.png"},         {"a.jpeg", "a.jpeg.png"}, {"a", "a.png"},         {"dir.x/a", "dir.x/a.png"},
        {"dir/a.tif", "dir/a.png"}, {"a.b.gif", "a.b.png"},   {"a.png", "a.png"},     {".abc", ".png"}};
    for (const auto& [sIn, sOut] : cases) EXPECT_EQ(ImageFilePath(sIn), sOut) << sIn;
}

TEST_F(ScriptSaveTest, LongestVariableNameWinsAndFloatsArePlainInPaths) {
    RunScript("string a\nstring ab\nfloat f\nab function save \"v_/$AB_/$a_/$f.txt\"\n", [](uScriptProgram& p) {
        VariableOf(p, "a").String = "one";
        VariableOf(p, "ab").String = "two";
        VariableOf(p, "f").Float = 1234.5;
    });
    ASSERT_TRUE(Finished()) << ::testing::PrintToString(Errors());
    EXPECT_EQ(FileBytes("v_two_one_1234.5.txt"), "two");
    EXPECT_TRUE(HasOutput("Skriptzeile 4 TaskFunctionSaveVariable - Die Variable 'ab' wird ersetzt durch: two"));
}

TEST_F(ScriptSaveTest, VariableTakesItsSlashWithIt) {
    ASSERT_TRUE(QDir(folder.path()).mkdir("dir"));
    RunScript("string n\nn function save \"dir//$n\"\n", [](uScriptProgram& p) { VariableOf(p, "n").String = "x.txt"; });
    EXPECT_EQ(FileBytes("dir/x.txt"), "x.txt");
}

TEST_F(ScriptSaveTest, TemplateTokensOnlyBehindTheExistingFolder) {
    ASSERT_TRUE(QDir(folder.path()).mkpath("lab/sub"));
    // The fixed clock: 2026-12-06 13:14:15.016.
    RunScript("instrument $scope rawtcp 127.0.0.1 5025\n$scope\nstring s\n"
              "s function save \"/lab/scope_/Y/M/D.bin\"\ns function save \"/lab/sub/scope.bin\"\n"
              "s function save \"lab/sub/data_/H/N/S/Z.txt\"\ns function save \"lab/x_/F_/O.txt\"\n",
              [](uScriptProgram& p) { VariableOf(p, "s").String = "v"; });
    ASSERT_TRUE(Finished()) << ::testing::PrintToString(Errors());
    EXPECT_EQ(FileBytes("lab/scope_20261206.bin"), "v");
    EXPECT_EQ(FileBytes("lab/sub/scope.bin"), "v"); // "/s" of "/sub" and "/scope" is a folder, not the seconds
    EXPECT_EQ(FileBytes("lab/sub/data_131415016.txt"), "v");
    EXPECT_EQ(FileBytes("lab/x_FAKE_Scope One.txt"), "v");
    EXPECT_TRUE(HasOutput("Skriptzeile 4 TaskFunctionSave - Dateipfad: /lab/scope_20261206.bin"));
}

TEST_F(ScriptSaveTest, PathTemplateExpansionTable) {
    // A folder check of its own: "/home/lab/" exists.
    const FolderCheck isFolder = [](const std::string& s) { return s == "/" || s == "/home/" || s == "/home/lab/"; };
    const QDateTime at(QDate(2026, 3, 5), QTime(7, 8, 9, 10));
    const std::vector<std::pair<std::string, std::string>> cases{
        {"/home/lab/scope.bin", "/home/lab/scope.bin"},
        {"/home/lab/scope_/Y/M/D.bin", "/home/lab/scope_20260305.bin"},
        {"/home/lab/q/e_/h.bin", "/home/lab/q/e_07.bin"},
        {"/home/lab/new/scope.bin", "/home/lab/new09cope.bin"}, // "/s" behind a folder that does not exist
        {"/home/lab/x_/U/C.bin", "/home/lab/x_/U/C.bin"},
        {"/home/lab/", "/home/lab/"},
        {"rel/x.bin", "rel/x.bin"},
        {"x_/F/O", "x_Maker_Model"},
        {"/F/O", "/FModel"}, // "/" is a folder: its slash is no token
    };
    for (const auto& [sIn, sOut] : cases)
        EXPECT_EQ(ExpandPathTemplate(sIn, "Maker_", "Model", at, isFolder), sOut) << sIn;
}

TEST_F(ScriptSaveTest, MissingFolderEndsTheRun) {
    RunScript("string s\ns function save \"nofolder/x_/H.txt\"\n", [](uScriptProgram& p) { VariableOf(p, "s").String = "v"; });
    EXPECT_FALSE(Finished());
    EXPECT_EQ(Errors(),
              std::vector<std::string>{
                  "Script error: Skriptzeile 2 TaskFunctionSave - Die Datei konnte nicht erstellt werden: "
                  "nofolder/x_13.txt (No such file or directory)"});
    EXPECT_TRUE(HasOutput("Skriptzeile 2 Thread - Fehler beim Speichern der Daten."));
}

TEST_F(ScriptSaveTest, FullDiskIsAWriteErrorNotASave) {
    for (const char* sWords : {"", " eol"}) {
        collector.Clear();
        std::ofstream(FilePath("big.txt")) << "old";
        {
            FileSizeLimit limit(4);
            ASSERT_TRUE(limit.Active());
            RunScript(std::string("string s\ns function save \"big.txt\"") + sWords + "\n",
                      [](uScriptProgram& p) { VariableOf(p, "s").String = "hello world"; });
        }
        EXPECT_FALSE(Finished()) << sWords;
        EXPECT_EQ(Errors(),
                  std::vector<std::string>{
                      "Script error: Skriptzeile 2 TaskFunctionSave - Fehler beim Schreiben in die "
                      "Datei: big.txt (File too large)"})
            << sWords;
        EXPECT_FALSE(HasOutput("Skriptzeile 2 TaskFunctionSave - Die Daten wurden gespeichert."));
        EXPECT_EQ(FileBytes("big.txt"), "old") << sWords;
    }
}

// Two scripts adding lines (text and line end) to one new and to one existing file, 51 each; the
// second one's 25th add is too large for the disk: every line whole and once, the other's all
// kept. In rounds, so that the two runs meet often enough for a split add to show.
TEST_F(ScriptSaveTest, TwoScriptsAddingToOneFileKeepEveryLineWholeAndAFailedAddOnlyItsOwn) {
    std::set<std::string> expected{"1099\r\n"}; // the lines, all six bytes long
    std::string sScript = "integer n\nstring big\n";
    for (int i = 1; i <= 50; ++i) {
        sScript += std::string("n add 1\nn function save \"log.txt\" asc add eol\n") +
                   (i == 24 ? "big function save \"log.txt\" add eol\n" : "");
        expected.insert(std::to_string(1000 + i) + "\r\n");
        if (i <= 24) expected.insert(std::to_string(2000 + i) + "\r\n");
    }
    for (int iRound = 0; iRound < 16; ++iRound) {
        const std::string sBefore = iRound % 2 == 0 ? "" : "kept\r\n";
        if (!sBefore.empty()) std::ofstream(FilePath("log.txt")) << sBefore;
        std::string sError;
        InstrumentScript::ScriptInstance pSecond = InstrumentScript::NewInstance(collector.Window(), sError);
        const std::size_t iEnds = Ends() + 2;
        {
            FileSizeLimit limit(64 * 1024);
            for (const auto& [pWho, iStart] : {std::pair{pInstance, 1000}, std::pair{pSecond, 2000}}) {
                auto pProgram = Parsed(sScript);
                VariableOf(*pProgram, "n").Integer = iStart;
                VariableOf(*pProgram, "big").String = iStart == 1000 ? "1099" : std::string(100 * 1024, 'x');
                InstrumentScript::SetProgram(*pWho, pProgram);
                ASSERT_TRUE(InstrumentScript::RunScript(pWho, sError)) << sError;
            }
            ASSERT_TRUE(PumpUntil([&] { return Ends() == iEnds; }, 60000));
        }
        EXPECT_TRUE(InstrumentScript::DeleteInstance(pSecond, sError)) << sError;
        const std::string sAll = FileBytes("log.txt");
        std::set<std::string> lines;
        for (std::size_t i = sBefore.size(); i + 6 <= sAll.size(); i += 6) lines.insert(sAll.substr(i, 6));
        ASSERT_TRUE(sAll.starts_with(sBefore) && sAll.size() == sBefore.size() + 6 * expected.size() && lines == expected)
            << "round " << iRound << ": " << sAll;
        ASSERT_TRUE(QFile::remove(QString::fromStdString(FilePath("log.txt"))));
    }
    EXPECT_EQ(Errors().size(), 16u); // the large add of each round
    // The large add opened the file (seen in /proc) while another program held it and added a
    // line: that line stays.
    LockHolder other(FilePath("log.txt"));
    auto pProgram = Parsed("string big\nbig function save \"log.txt\" add eol\n");
    VariableOf(*pProgram, "big").String.assign(100 * 1024, 'x');
    const std::size_t iEnds = Ends() + 1;
    const FileSizeLimit limit(64 * 1024);
    Run(pProgram);
    ASSERT_TRUE(PumpUntil([&] {
        for (const auto& fd : std::filesystem::directory_iterator("/proc/self/fd"))
            if (std::error_code e; std::filesystem::read_symlink(fd.path(), e) == FilePath("log.txt")) return true;
        return false;
    }, 60000));
    ASSERT_TRUE(other.Add("other\r\n") && PumpUntil([&] { return Ends() == iEnds; }, 60000));
    EXPECT_EQ(FileBytes("log.txt"), "other\r\n");
}

// A NUL byte in the name would cut it into a shorter name: the run ends at the line instead.
TEST_F(ScriptSaveTest, ANameWithANulByteIsRefused) {
    RunScript("string n\nn function save \"b6/$n.txt\"\n",
              [](uScriptProgram& p) { VariableOf(p, "n").String.assign(1, '\0'); });
    EXPECT_EQ(Errors(),
              std::vector<std::string>{"Script error: Skriptzeile 2 TaskFunctionSave - Der Dateiname enthält "
                                       "ein NUL-Zeichen: b6?.txt"});
    EXPECT_TRUE(QDir(folder.path()).isEmpty());
}

TEST_F(ScriptSaveTest, SaveWithoutVariableEndsTheRun) {
    RunScript("false function save \"x.txt\"\n");
    EXPECT_FALSE(Finished());
    EXPECT_EQ(Errors(), std::vector<std::string>{"Script error: Skriptzeile 1 TaskFunctionSave - Es wurde keine "
                                                 "Variable für das Speichern angegeben."});
    EXPECT_FALSE(Exists("x.txt"));
}

// Nothing to write is a failed save that touches no file: the old one keeps its bytes, and an
// "add" to a missing file makes none.
TEST_F(ScriptSaveTest, EmptyStringLeavesTheOldFileAndFails) {
    {
        std::ofstream old(FilePath("e.txt"), std::ios::binary);
        old << "old";
    }
    for (const char* sWords : {"", " add"}) {
        for (const char* sName : {"e.txt", "new.txt"}) {
            collector.Clear();
            RunScript(std::string("string s\ns function save \"") + sName + "\"" + sWords + "\n");
            EXPECT_EQ(Errors(), std::vector<std::string>{std::string("Script error: Skriptzeile 2 TaskFunctionSave - "
                                                                     "Fehler beim Schreiben in die Datei: ") +
                                                         sName});
        }
        EXPECT_EQ(FileBytes("e.txt"), "old") << sWords;
        EXPECT_FALSE(Exists("new.txt")) << sWords;
    }
    collector.Clear();
    // With eol the line end is written: that is a save.
    RunScript("string s\ndata d\ns function save \"e.txt\" add eol\nd function save \"e.txt\" add eol\n");
    EXPECT_TRUE(Finished()) << ::testing::PrintToString(Errors());
    EXPECT_EQ(FileBytes("e.txt"), "old\r\n\r\n");
}

TEST_F(ScriptSaveTest, WaveformWithoutWriterIsRefusedAtTheSave) {
    // The check refuses such a line; a task list made without it still fails at the save, with
    // the words of the check.
    RunScript("data w\nw function save \"w_/Y.csv\"\n", [](uScriptProgram& p) {
        auto pData = std::make_unique<uWaveformData>();
        pData->eModel = 15;
        VariableOf(p, "w").Type = eVariableType::Waveform;
        VariableOf(p, "w").Waveform = std::move(pData);
    });
    EXPECT_FALSE(Finished());
    EXPECT_EQ(Errors(), std::vector<std::string>{"Script error: Skriptzeile 2 TaskFunctionSave - Saving the "
                                                 "traces of a script waveform as a file is not supported."});
    EXPECT_TRUE(HasOutput("Skriptzeile 2 TaskFunctionSave - InstrumentWaveform::SaveWaveform: Saving the traces of a "
                          "script waveform as a file is not supported."));
}

} // namespace
