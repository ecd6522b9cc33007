#include "common/Ini.h"

#include "common/FileSizeLimit.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <string>
#include <vector>

#include <unistd.h>

namespace {

class IniTest : public ::testing::Test {
  protected:
    QTemporaryDir dir;
    std::string Path(const char* name = "test.ini") { return dir.filePath(name).toStdString(); }

    void WriteFile(const std::string& sContent, const char* name = "test.ini") {
        QFile f(QString::fromStdString(Path(name)));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(sContent.data(), static_cast<qint64>(sContent.size()));
    }
    std::string ReadFile(const char* name = "test.ini") {
        QFile f(QString::fromStdString(Path(name)));
        if (!f.open(QIODevice::ReadOnly)) return "<missing>";
        return f.readAll().toStdString();
    }
    std::unique_ptr<uIni> Load(const std::string& sContent, std::int64_t iFlags = IniFlagsProgram) {
        WriteFile(sContent);
        return Ini::Open(Path(), iFlags);
    }
};

const std::string kBom = "\xEF\xBB\xBF";

TEST_F(IniTest, OpenNeedsAnExistingFileAndAName) {
    EXPECT_EQ(Ini::Open("", IniFlagsProgram), nullptr);
    EXPECT_EQ(Ini::Open(Path("absent.ini"), IniFlagsProgram), nullptr);
    EXPECT_FALSE(Ini::Save(nullptr));
    EXPECT_EQ(Ini::ReadString(nullptr, "a", "d"), "d");
    EXPECT_EQ(Ini::ReadInteger(nullptr, "a", 7), 7);
}

TEST_F(IniTest, ProgramFlagsSaveByteExactAndStable) {
    auto ini = Load("[A]\nx = 1\n[B]\ny = 2\n");
    ASSERT_TRUE(ini);
    ASSERT_TRUE(Ini::Save(ini.get()));
    const std::string expected = kBom + "\r\n[A]\r\nx = 1\r\n\r\n[B]\r\ny = 2\r\n";
    EXPECT_EQ(ReadFile(), expected);
    auto again = Ini::Open(Path(), IniFlagsProgram);
    ASSERT_TRUE(Ini::Save(again.get()));
    EXPECT_EQ(ReadFile(), expected);
}

TEST_F(IniTest, OtherLineEndsAndNoMark) {
    auto ini = Load("a=1\r\n[S]\rb=2");
    ASSERT_TRUE(ini);
    ini->iFlags = IniFlagNoBom | IniFlagLineEndLf | IniFlagCompact;
    ini->sLineEnd = "\n";
    ASSERT_TRUE(Ini::Save(ini.get()));
    EXPECT_EQ(ReadFile(), "a=1\n[S]\nb=2\n");
}

TEST_F(IniTest, ValuesAreTrimmedForReadStringOnly) {
    auto ini = Load("[S]\nkey = value\nk2=value\nk3 =  value \n");
    Ini::SelectSection(ini.get(), "s");
    EXPECT_EQ(Ini::ReadString(ini.get(), "key", ""), "value");
    EXPECT_EQ(Ini::ReadString(ini.get(), "k2", ""), "value");
    EXPECT_EQ(Ini::ReadString(ini.get(), "k3", ""), "value");
    Ini::ExamineKeys(ini.get());
    Ini::NextKey(ini.get());
    Ini::NextKey(ini.get());
    Ini::NextKey(ini.get());
    EXPECT_EQ(Ini::KeyName(ini.get()), "k3");
    EXPECT_EQ(Ini::KeyValue(ini.get()), " value ");
}

TEST_F(IniTest, SectionHeaderKeepsSpacesAndDropsTheRest) {
    auto ini = Load("  [ Name ] ; note\nk=v\n[broken\n");
    ASSERT_EQ(Ini::ExamineSections(ini.get()), 1);
    ASSERT_TRUE(Ini::NextSection(ini.get()));
    EXPECT_EQ(Ini::SectionName(ini.get()), " Name ");
    ASSERT_TRUE(Ini::Save(ini.get()));
    EXPECT_EQ(ReadFile(), kBom + "\r\n[ Name ]\r\nk=v\r\n");
}

TEST_F(IniTest, FirstOfTwoKeysWinsWithoutRegardToCase) {
    auto ini = Load("[S]\na=1\nA=2\n");
    Ini::SelectSection(ini.get(), "S");
    EXPECT_EQ(Ini::ReadString(ini.get(), "A", ""), "1");
    EXPECT_EQ(Ini::ExamineKeys(ini.get()), 1);
}

TEST_F(IniTest, RepeatedSectionHeaderAddsToTheFirst) {
    auto ini = Load("[A]\nx=1\n[B]\ny=2\n[a]\nz=3\nx=9\n");
    Ini::SelectSection(ini.get(), "A");
    EXPECT_EQ(Ini::ReadString(ini.get(), "z", ""), "3");
    EXPECT_EQ(Ini::ReadString(ini.get(), "x", ""), "1");
    Ini::SelectSection(ini.get(), "B");
    EXPECT_EQ(Ini::ReadString(ini.get(), "z", "none"), "none");
}

TEST_F(IniTest, ColonLineTakesTheObjectsSeparator) {
    auto ini = Load("a: b\n");
    ASSERT_TRUE(Ini::Save(ini.get()));
    EXPECT_EQ(ReadFile(), kBom + "\r\na= b\r\n");
}

// Found by fuzzing: a file with the colon separator split every line at its first "=", so a
// value holding "=" lost its start to the key, also after the program itself saved it.
TEST_F(IniTest, AColonFileKeepsValuesWithAnEqualsSign) {
    auto ini = Load("[Net]\nurl: http://host/?a=b\nplain = 1\n", IniFlagSeparatorColon | IniFlagLineEndLf);
    ASSERT_TRUE(Ini::SelectSection(ini.get(), "Net"));
    EXPECT_EQ(Ini::ReadString(ini.get(), "url", ""), "http://host/?a=b");
    EXPECT_EQ(Ini::ReadString(ini.get(), "plain", ""), "1"); // the other separator still serves
    ASSERT_TRUE(Ini::WriteString(ini.get(), "expr", "x==y"));
    ASSERT_TRUE(Ini::Save(ini.get()));
    Ini::Free(ini);
    ini = Ini::Open(Path(), IniFlagSeparatorColon | IniFlagLineEndLf);
    ASSERT_TRUE(ini);
    ASSERT_TRUE(Ini::SelectSection(ini.get(), "Net"));
    EXPECT_EQ(Ini::ReadString(ini.get(), "url", ""), "http://host/?a=b");
    EXPECT_EQ(Ini::ReadString(ini.get(), "expr", ""), "x==y");
    EXPECT_EQ(Ini::ReadString(ini.get(), "plain", ""), "1");
}

TEST_F(IniTest, ReadBoolForms) {
    auto ini = Load("a=Yes\nb= ON \nc=2\nd=enabled\n");
    EXPECT_EQ(Ini::ReadBool(ini.get(), "a", 0), 1);
    EXPECT_EQ(Ini::ReadBool(ini.get(), "b", 0), 1);
    EXPECT_EQ(Ini::ReadBool(ini.get(), "c", 1), 0);
    EXPECT_EQ(Ini::ReadBool(ini.get(), "d", 0), 1);
    EXPECT_EQ(Ini::ReadBool(ini.get(), "absent", 5), 1);
    EXPECT_EQ(Ini::ReadBool(ini.get(), "absent", 0), 0);
}

TEST_F(IniTest, ReadIntegerForms) {
    auto ini = Load("c=#FF8000\nh=$10\nb=%11\nd=12abc\nx=abc\ne=\nn=-42\nt=\t+7\ns=#abc\nbad=#12345\n");
    EXPECT_EQ(Ini::ReadInteger(ini.get(), "c", 0), 0x0080FF);
    EXPECT_EQ(Ini::ReadInteger(ini.get(), "h", 0), 16);
    EXPECT_EQ(Ini::ReadInteger(ini.get(), "b", 0), 3);
    EXPECT_EQ(Ini::ReadInteger(ini.get(), "d", 0), 12);
    EXPECT_EQ(Ini::ReadInteger(ini.get(), "x", 5), 0);
    EXPECT_EQ(Ini::ReadInteger(ini.get(), "e", 5), 5);
    EXPECT_EQ(Ini::ReadInteger(ini.get(), "n", 0), -42);
    EXPECT_EQ(Ini::ReadInteger(ini.get(), "t", 0), 7);
    EXPECT_EQ(Ini::ReadInteger(ini.get(), "s", 0), 0xCCBBAA);
    EXPECT_EQ(Ini::ReadInteger(ini.get(), "bad", 9), 0);
}

TEST_F(IniTest, WriteNumberAsFormsRoundTripIncludingNegatives) {
    auto ini = Load("");
    Ini::WriteNumberAs(ini.get(), "c3", 0x0080FF, 3);
    Ini::WriteNumberAs(ini.get(), "c4", 0x0080FF, 4);
    Ini::WriteNumberAs(ini.get(), "h", 255, 1);
    Ini::WriteNumberAs(ini.get(), "b", 5, 2);
    Ini::WriteNumberAs(ini.get(), "m", -1, 1);
    EXPECT_EQ(Ini::ReadString(ini.get(), "c3", ""), "#FF8000");
    EXPECT_EQ(Ini::ReadString(ini.get(), "c4", ""), "#FF800000");
    EXPECT_EQ(Ini::ReadString(ini.get(), "h", ""), "$FF");
    EXPECT_EQ(Ini::ReadString(ini.get(), "b", ""), "%101");
    EXPECT_EQ(Ini::ReadString(ini.get(), "m", ""), "$FFFFFFFFFFFFFFFF");
    for (std::int64_t v : {std::int64_t{-1}, std::int64_t{-123456789}, INT64_MIN, INT64_MAX, std::int64_t{0}}) {
        for (int iForm : {0, 1, 2}) {
            Ini::WriteNumberAs(ini.get(), "v", v, iForm);
            EXPECT_EQ(Ini::ReadInteger(ini.get(), "v", 99), v) << "form " << iForm;
        }
    }
}

TEST_F(IniTest, WriteFormsOfBoolsAndFloats) {
    auto ini = Load("");
    Ini::WriteBool(ini.get(), "a", 1, 0);
    Ini::WriteBool(ini.get(), "b", 0, 2);
    Ini::WriteFloat(ini.get(), "f", 1.5f, 2);
    Ini::WriteDouble(ini.get(), "d", 0.25, -1);
    Ini::WriteLong(ini.get(), "l", -5);
    EXPECT_EQ(Ini::ReadString(ini.get(), "a", ""), "1");
    EXPECT_EQ(Ini::ReadString(ini.get(), "b", ""), "no");
    EXPECT_EQ(Ini::ReadString(ini.get(), "f", ""), "1.50");
    EXPECT_EQ(Ini::ReadString(ini.get(), "d", ""), "0.2500000000000000");
    EXPECT_EQ(Ini::ReadString(ini.get(), "l", ""), "-5");
}

// The blank line that ends a section (as Save writes it before the next header) stays at its end.
TEST_F(IniTest, NewKeyGoesBeforeTheBlankLinesThatEndItsSection) {
    auto ini = Load("[A]\nx = 1\n\n[B]\n");
    Ini::SelectSection(ini.get(), "A");
    Ini::WriteString(ini.get(), "new", "2");
    ASSERT_TRUE(Ini::Save(ini.get()));
    // Section B owns nothing and is not written.
    EXPECT_EQ(ReadFile(), kBom + "\r\n[A]\r\nx = 1\r\nnew = 2\r\n\r\n");
    Ini::SelectSection(ini.get(), "B");
    Ini::WriteString(ini.get(), "y", "3");
    ASSERT_TRUE(Ini::Save(ini.get()));
    EXPECT_EQ(ReadFile(), kBom + "\r\n[A]\r\nx = 1\r\nnew = 2\r\n\r\n[B]\r\ny = 3\r\n");
}

// Files as the program writes them, and hand-made layouts in the same line ends: loading and
// saving gives the same bytes; runs that add a key to every named section and change a value keep
// every blank line where it was (they used to gain one per section and run).
TEST_F(IniTest, ProgramFilesKeepTheirBytesAndBlankLinesFromRunToRun) {
    const std::string aFiles[] = {
        kBom + "\r\n",
        kBom + "\r\n\r\n[Ini-Version]\r\nVersion = 1\r\n",
        kBom + "\r\n[General]\r\nToolBarLarge = 1\r\n\r\n[Window]\r\nWindowLogPosition = 10,20,640,360,650,390,0\r\n"
               "\r\n[WindowSelectAddLANInstrument]\r\n0 = Rigol||DS1000Z||192.168.1.20||111||||||lo||127.0.0.1||LXI\r\n",
        kBom + "\r\n; top\r\n\r\n[A]\r\nx = 1\r\n\r\n\r\ny = 2\r\n; note\r\n\r\n[B]\r\n  \r\nz=3\r\n\r\n",
    };
    for (const std::string& sFile : aFiles) {
        auto ini = Load(sFile);
        ASSERT_TRUE(ini);
        ASSERT_TRUE(Ini::Save(ini.get()));
        EXPECT_EQ(ReadFile(), sFile);
        const auto blankLines = [](const std::string& s) {
            std::size_t n = 0;
            for (std::size_t i = s.find("\r\n\r\n"); i != std::string::npos; i = s.find("\r\n\r\n", i + 2)) ++n;
            return n;
        };
        for (int iRun = 0; iRun < 3; ++iRun) {
            ini = Ini::Open(Path(), IniFlagsProgram);
            ASSERT_TRUE(ini);
            std::vector<std::string> sections;
            Ini::ExamineSections(ini.get());
            while (Ini::NextSection(ini.get())) sections.push_back(Ini::SectionName(ini.get()));
            for (const std::string& sSection : sections) {
                ASSERT_TRUE(Ini::SelectSection(ini.get(), sSection));
                Ini::WriteInteger(ini.get(), "run" + std::to_string(iRun), iRun);
                Ini::WriteInteger(ini.get(), "run0", 7);
            }
            ASSERT_TRUE(Ini::Save(ini.get()));
        }
        const std::string sAfter = ReadFile();
        EXPECT_EQ(blankLines(sAfter), blankLines(sFile)) << sAfter;
        ini = Ini::Open(Path(), IniFlagsProgram);
        ASSERT_TRUE(Ini::Save(ini.get()));
        EXPECT_EQ(ReadFile(), sAfter);
    }
}

TEST_F(IniTest, RebuildsAnExistingKeyFromTheCallersSpelling) {
    auto ini = Load("  Key=1\n");
    Ini::WriteString(ini.get(), "KEY", "2");
    ASSERT_TRUE(Ini::Save(ini.get()));
    EXPECT_EQ(ReadFile(), kBom + "\r\nKEY = 2\r\n");
    Ini::ExamineKeys(ini.get());
    Ini::NextKey(ini.get());
    EXPECT_EQ(Ini::KeyName(ini.get()), "Key");
}

TEST_F(IniTest, EmptySectionsAndSectionsWithOnlyAComment) {
    auto ini = Load("[A]\n; keep\nx=1\n");
    Ini::SelectSection(ini.get(), "Empty");
    Ini::SelectSection(ini.get(), "A");
    Ini::RemoveKey(ini.get(), "x");
    ASSERT_TRUE(Ini::Save(ini.get()));
    EXPECT_EQ(ReadFile(), kBom + "\r\n[A]\r\n; keep\r\n");
}

TEST_F(IniTest, RemoveSectionTakesItsLinesAndResetsTheCurrentOne) {
    auto ini = Load("top=0\n[A]\nx=1\n; c\n[B]\ny=2\n");
    Ini::SelectSection(ini.get(), "a");
    Ini::RemoveSection(ini.get(), "A");
    EXPECT_EQ(Ini::ReadString(ini.get(), "top", ""), "0");
    ASSERT_TRUE(Ini::Save(ini.get()));
    EXPECT_EQ(ReadFile(), kBom + "\r\ntop=0\r\n\r\n[B]\r\ny=2\r\n");
}

TEST_F(IniTest, EnumeratesSectionsAndKeysInFileOrder) {
    auto ini = Load("k0=0\n[A]\na1=1\na2=2\n[B]\n[C]\nc1=3\n");
    EXPECT_EQ(Ini::ExamineSections(ini.get()), 3);
    std::string seen;
    while (Ini::NextSection(ini.get())) {
        seen += Ini::SectionName(ini.get()) + ":";
        Ini::ExamineKeys(ini.get());
        while (Ini::NextKey(ini.get())) seen += Ini::KeyName(ini.get()) + "=" + Ini::KeyValue(ini.get()) + ",";
        seen += ";";
    }
    EXPECT_EQ(seen, "A:a1=1,a2=2,;B:;C:c1=3,;");
    EXPECT_EQ(Ini::SectionName(ini.get()), "");
    EXPECT_FALSE(Ini::NextSection(ini.get()));
    Ini::SelectSection(ini.get(), "");
    EXPECT_EQ(Ini::ReadString(ini.get(), "k0", ""), "0");
}

TEST_F(IniTest, RemovingTheKeyAtTheEnumerationPositionKeepsGoing) {
    auto ini = Load("[A]\na=1\nb=2\nc=3\n");
    Ini::SelectSection(ini.get(), "A");
    Ini::ExamineKeys(ini.get());
    std::string seen;
    while (Ini::NextKey(ini.get())) {
        const std::string sKey = Ini::KeyName(ini.get());
        seen += sKey;
        Ini::RemoveKey(ini.get(), sKey);
    }
    EXPECT_EQ(seen, "abc");
    EXPECT_EQ(Ini::ExamineKeys(ini.get()), 0);
}

TEST_F(IniTest, LeadingByteOrderMarkIsNotPartOfTheFirstLine) {
    auto ini = Load(kBom + "[General]\nx=1\n");
    Ini::SelectSection(ini.get(), "General");
    EXPECT_EQ(Ini::ReadString(ini.get(), "x", ""), "1");
    EXPECT_EQ(Ini::ExamineSections(ini.get()), 1);
}

TEST_F(IniTest, RefusesTextsThatWouldBreakTheLines) {
    auto ini = Load("[A]\nx=1\n");
    Ini::SelectSection(ini.get(), "A");
    EXPECT_FALSE(Ini::WriteString(ini.get(), "k", "one\ntwo"));
    EXPECT_FALSE(Ini::WriteString(ini.get(), "k\r", "v"));
    EXPECT_FALSE(Ini::WriteString(ini.get(), "a=b", "v"));
    EXPECT_FALSE(Ini::WriteString(ini.get(), "[x", "v"));
    EXPECT_FALSE(Ini::WriteString(ini.get(), "", "v"));
    EXPECT_FALSE(Ini::SelectSection(ini.get(), "S]x"));
    EXPECT_FALSE(Ini::SelectSection(ini.get(), "S\nT"));
    EXPECT_TRUE(Ini::WriteString(ini.get(), "MEAS:VOLT?", "v")); // a colon is fine with "="
    ASSERT_TRUE(Ini::Save(ini.get()));
    EXPECT_EQ(ReadFile(), kBom + "\r\n[A]\r\nx=1\r\nMEAS:VOLT? = v\r\n");
}

TEST_F(IniTest, FailedSaveLeavesTheOldFile) {
    auto ini = Load("[A]\nx=1\n");
    Ini::WriteString(ini.get(), "x", "2");
    ini->sFileName = Path("missing-folder/test.ini");
    EXPECT_FALSE(Ini::Save(ini.get()));
    EXPECT_EQ(ReadFile(), "[A]\nx=1\n");
    // A read-only folder: the temporary file cannot be made, the original stays as it was.
    if (::geteuid() != 0) {
        ini->sFileName = Path();
        QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner);
        EXPECT_FALSE(Ini::Save(ini.get()));
        QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        EXPECT_EQ(ReadFile(), "[A]\nx=1\n");
    }
}

TEST_F(IniTest, SaveThatRunsOutOfRoomLeavesTheOldFile) {
    auto ini = Load("[A]\nx=1\n");
    Ini::WriteString(ini.get(), "x", std::string(200, 'v'));
    bool fSaved = true;
    {
        FileSizeLimit limit(16);
        ASSERT_TRUE(limit.Active());
        fSaved = Ini::Save(ini.get());
    }
    EXPECT_FALSE(fSaved);
    EXPECT_EQ(ReadFile(), "[A]\nx=1\n");
}

TEST_F(IniTest, SaveReplacesTheFileWhole) {
    auto ini = Load("[A]\nlong_key_with_a_long_value = 0123456789012345678901234567890123456789\n");
    Ini::RemoveSection(ini.get(), "A");
    Ini::WriteString(ini.get(), "k", "v");
    ASSERT_TRUE(Ini::Save(ini.get()));
    EXPECT_EQ(ReadFile(), kBom + "\r\nk = v\r\n");
}

} // namespace
