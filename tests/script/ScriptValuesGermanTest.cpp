// A float stored as a string takes the user's separators (German here, set up as the number
// tests do), while literals, log lines and comparisons keep the plain form with a point.
#include "ScriptValuesSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

// Before anything reads the separators (they are read once per process).
const bool fGerman = [] { return setenv("LC_ALL", "de_DE.UTF-8", 1) == 0; }();

using ScriptValuesGerman = ScriptTest::ValuesFixture;
using ScriptTest::Snapshot;

TEST_F(ScriptValuesGerman, FloatsStoredAsStringsUseTheUsersSeparators) {
    ASSERT_TRUE(fGerman);
    const auto errors = RunToEnd("float f\nstring s\nstring t\nf set 1234.5\ns set f\nf set 0.25\ns add f\n"
                                 "f set 2.0\nt set f\nf set 2,5\nf add 0.25\nt equal f\nfunction beep",
                                 [](auto&) {});
    EXPECT_TRUE(errors.empty());
    // The thousands separator stays, though the text does not read back as the whole number.
    EXPECT_EQ(Snapshot()["s"], "1.234,50,25");
    EXPECT_EQ(Snapshot()["t"], "2");
    EXPECT_EQ(Snapshot()["f"], "2.25"); // "2,5" reads up to the comma
    EXPECT_EQ(Snapshot()["?"], "False");
    EXPECT_TRUE(HasOutput("Skriptzeile 5 TaskVariableSet - Interpretierte Variable von float zu string: 1.234,5"));
    EXPECT_TRUE(HasOutput("Skriptzeile 7 TaskVariableAdd - Interpretierte Variable von float zu string: 0,25"));
    EXPECT_TRUE(HasOutput("Skriptzeile 4 TaskVariableSet - Interpretierter Wert: 1234.5"));
    EXPECT_TRUE(HasOutput("Skriptzeile 12 TaskVariableCompare - Vergleichender interpretierter Wert als float: 2.25"));
}

} // namespace
