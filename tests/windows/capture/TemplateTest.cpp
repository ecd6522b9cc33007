// The file-name expander against a fixed clock: every example of its token table, the edge
// cases of sources, channels, case and repeated tokens, and the sanitised names of the save thread.
#include "waveform/WaveformData.h"
#include "windows/capture/Template.h"

#include <gtest/gtest.h>

#include <ctime>
#include <string>

namespace {

constexpr Template::uLocalTime FixedNow{2026, 3, 5, 7, 8, 9, 45};

class TemplateTest : public ::testing::Test {
  protected:
    void SetUp() override {
        Template::SetClock([] { return FixedNow; });
    }
    void TearDown() override {
        Template::SetClock(nullptr);
        WaveformData::SetFileNameExpander(nullptr);
    }
    static std::string Expand(const std::string& sTemplate, std::int64_t eSource = 0, const std::string& sChannel = "",
                              std::int64_t iDate = 0, std::int64_t iMs = 0, const std::string& sModel = "Scope") {
        return Template::ExpandFileName(sTemplate, "Maker", sModel, iDate, iMs, eSource, sChannel);
    }
};

struct uExample {
    const char* sTemplate;
    std::int64_t eSource;
    const char* sChannel;
    std::int64_t iMs;
    const char* sResult;
};

TEST_F(TemplateTest, ExamplesOfTheTokenTable) {
    const uExample examples[] = {
        {"/O /Y/M/D-/H/N/S", 0, "", 0, "Scope 20260305-070809"},
        {"/O /Y/M/D-/H/N/S /U /C", 2, "CH1", 0, "Scope 20260305-070809 Memory CH1"},
        {"/F-/O", 1, "CH2", 0, "Maker-Scope Screen CH2"},
        {"/O /Y/M/D-/H/N/S", 3, "CH1", 0, "Scope 20260305-070809 Entire memory CH1"},
        {"/o_/z", 0, "", 0, "Scope_045"},
        {"/o_/z", 0, "", 123456789, "Scope_789"},
        {"/o_/z", 0, "", 42, "Scope_42"},
        {"/O /U /C", 0, "", 0, "Scope /U /C"},
        {"", 2, "CH1", 0, ""},
        {"/H/H", 0, "", 0, "0707"},
        {"/Sample", 0, "", 0, "09ample"},
        {"/y/c", 0, "ch", 0, "2026ch"},
        {"x", 6, "CH4", 0, "x Screen 10bit CH4"},
        {"x /U", 7, "", 0, "x Memory 10bit"},
        {"x /u", 8, "", 0, "x Entire memory 10bit"},
        {"/C/c", 0, "CH1", 0, "CH1CH1"},
        {"/Q /X", 0, "", 0, "/Q /X"},
        // Appended texts go in front of the extension, which stays last.
        {"tag.csv", 1, "CH1", 0, "tag Screen CH1.csv"},
        {"/O /U.bin", 2, "CH1", 0, "Scope Memory CH1.bin"},
        {"/O /C.csv", 2, "CH1", 0, "Scope CH1 Memory.csv"},
        {"/O v1.2", 2, "CH1", 0, "Scope v1.2 Memory CH1"},
        {"/H/N/S./Z", 2, "", 0, "070809.045 Memory"},
        {"a.b.longer", 1, "", 0, "a.b.longer Screen"},
        {"a.b c", 1, "", 0, "a.b c Screen"},
    };
    for (const uExample& e : examples)
        EXPECT_EQ(Expand(e.sTemplate, e.eSource, e.sChannel, 0, e.iMs), e.sResult) << e.sTemplate;
}

TEST_F(TemplateTest, SourcesWithoutTextLeaveTheToken) {
    for (std::int64_t eSource : {0, 4, 5, 9, -1, 100}) EXPECT_EQ(Expand("a /U b", eSource), "a /U b") << eSource;
}

TEST_F(TemplateTest, AnInstrumentsWordsAreNeverExpanded) {
    // What a token puts in is never looked at again, nor decides where an appended text goes: an
    // instrument named by its port's path, tokens in a maker, model and channel.
    const struct {
        const char *sTemplate, *sMaker, *sModel, *sChannel, *sResult;
    } rows[] = {
        {"/O /S", "", "/dev/ttyUSB0", "CH1", "/dev/ttyUSB0 09 Memory CH1"},
        {"/F_/O.csv", "Ma/s/c", "X1/SD", "CH1", "Ma/s/c_X1/SD Memory CH1.csv"},
        {"/F /C /U", "/u", "/O", "/c/Y", "/u /c/Y Memory"},
        {"/O", "", "X1.5e", "CH1", "X1.5e Memory CH1"},
    };
    for (const auto& r : rows)
        EXPECT_EQ(Template::ExpandFileName(r.sTemplate, r.sMaker, r.sModel, 0, 0, 2, r.sChannel), r.sResult)
            << r.sTemplate << " " << r.sModel;
}

TEST_F(TemplateTest, AGivenDateIsReadAsLocalCivilSeconds) {
    // 2001-02-03 04:05:06 counted in local seconds.
    std::tm tm{};
    tm.tm_year = 101;
    tm.tm_mon = 1;
    tm.tm_mday = 3;
    tm.tm_hour = 4;
    tm.tm_min = 5;
    tm.tm_sec = 6;
    const std::int64_t iDate = timegm(&tm);
    EXPECT_EQ(Expand("/Y/M/D-/H/N/S./Z", 0, "", iDate, 0), "20010203-040506.045");
    EXPECT_EQ(Expand("/Y/M/D-/H/N/S./Z", 0, "", iDate, 7), "20010203-040506.7");
    EXPECT_EQ(Expand("/Y", 0, "", 0, 0), "2026");
}

TEST_F(TemplateTest, YearsAreNotPadded) {
    Template::SetClock([] { return Template::uLocalTime{987, 1, 2, 3, 4, 5, 6}; });
    EXPECT_EQ(Expand("/Y-/M-/D /H:/N:/S./Z"), "987-01-02 03:04:05.006");
}

TEST_F(TemplateTest, SanitisedNamesStayInTheirFolder) {
    EXPECT_EQ(Template::SanitizeFileName("../../etc/passwd"), ".._.._etc_passwd");
    EXPECT_EQ(Template::SanitizeFileName(".."), "_");
    EXPECT_EQ(Template::SanitizeFileName("."), "_");
    EXPECT_EQ(Template::SanitizeFileName(""), "_");
    EXPECT_EQ(Template::SanitizeFileName(std::string("a\nb\\c\0d", 7)), "a_b_c_d");
    EXPECT_EQ(Template::SanitizeFileName("Scope 20260305 Memory CH1.csv"), "Scope 20260305 Memory CH1.csv");
    EXPECT_EQ(Template::ExpandSafeFileName("/O /C.csv", "M", "A/D", 0, 0, 2, "../x"), "A_D .._x Memory.csv");
}

TEST_F(TemplateTest, TheSaveThreadAndTheScriptNameFilesThroughTheRegisteredExpander) {
    EXPECT_EQ(WaveformData::ExpandFileName("/O", "M", "Scope", 0, 0, 0, ""), "/O"); // none registered
    Template::RegisterExpander();
    EXPECT_EQ(WaveformData::ExpandFileName("/F /O /C", "M", "A/B", 0, 0, 1, ".."), "M A_B .. Screen");
}

} // namespace
