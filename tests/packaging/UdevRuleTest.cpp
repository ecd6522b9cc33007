// The udev rule that lets a user who is not root open USBTMC instruments: every line parses as
// udev reads it, every jump lands, and its interface pattern takes USBTMC interfaces of any
// maker and nothing else. (On a machine with udev, `udevadm test` on a device with a USBTMC
// interface shows the rule's GROUP, MODE and the uaccess tag.)
#include "transport/UsbAccess.h"

#include <gtest/gtest.h>

#include <fnmatch.h>

#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

namespace {

struct uPair {
    std::string sKey, sOperator, sValue;
};

// The rule in the source tree (the test data folder lies in <source>/tests/packaging/).
std::string RuleFile() {
    const std::string sData = ORVANTO_TEST_DATA;
    const std::string sSource = sData.substr(0, sData.rfind("/tests/"));
    return sSource + "/packaging/udev/" + UsbAccess::cRuleFile;
}

// The key-operator-value pairs of each rule line; a line that is not a list of such pairs, comma
// separated, gives no pairs and fails the test.
std::vector<std::vector<uPair>> ReadRules(const std::string& sFile) {
    std::ifstream in(sFile);
    EXPECT_TRUE(in) << sFile;
    const std::regex pair(R"re(\s*([A-Z]+(\{[A-Za-z_0-9]+\})?)\s*(==|!=|\+=|-=|:=|=)\s*"([^"]*)"\s*(,|$))re");
    std::vector<std::vector<uPair>> rules;
    for (std::string sLine; std::getline(in, sLine);) {
        if (sLine.find_first_not_of(" \t") == std::string::npos || sLine[sLine.find_first_not_of(" \t")] == '#') continue;
        std::vector<uPair> rule;
        std::size_t iPos = 0;
        std::smatch m;
        while (iPos < sLine.size() &&
               std::regex_search(sLine.cbegin() + static_cast<long>(iPos), sLine.cend(), m, pair,
                                 std::regex_constants::match_continuous)) {
            rule.push_back({m[1].str(), m[3].str(), m[4].str()});
            iPos += static_cast<std::size_t>(m.length(0));
        }
        EXPECT_EQ(iPos, sLine.size()) << "not a list of pairs: " << sLine;
        rules.push_back(rule);
    }
    return rules;
}

TEST(UdevRule, EveryLineParsesWithKeysAndOperatorsUdevKnowsAndEveryJumpLands) {
    const std::set<std::string> matchKeys = {"ACTION", "SUBSYSTEM", "ENV{DEVTYPE}", "ENV{ID_USB_INTERFACES}"};
    const std::set<std::string> assignKeys = {"TAG", "GROUP", "MODE", "GOTO", "LABEL"};
    std::set<std::string> gotos, labels;
    const auto rules = ReadRules(RuleFile());
    ASSERT_FALSE(rules.empty());
    for (const auto& rule : rules) {
        ASSERT_FALSE(rule.empty());
        for (const uPair& p : rule) {
            const bool fMatch = p.sOperator == "==" || p.sOperator == "!=";
            EXPECT_TRUE(fMatch ? matchKeys.count(p.sKey) : assignKeys.count(p.sKey)) << p.sKey << p.sOperator;
            if (p.sKey == "GOTO") gotos.insert(p.sValue);
            if (p.sKey == "LABEL") labels.insert(p.sValue);
        }
    }
    EXPECT_EQ(gotos, labels);
}

TEST(UdevRule, TheInterfacePatternTakesUsbTmcOfAnyMakerAndNothingElse) {
    std::string sPattern;
    std::map<std::string, std::string> assigned;
    for (const auto& rule : ReadRules(RuleFile())) {
        for (const uPair& p : rule) {
            if (p.sKey == "ENV{ID_USB_INTERFACES}") sPattern = p.sValue;
        }
        if (!sPattern.empty() && assigned.empty()) {
            for (const uPair& p : rule) assigned[p.sKey] = p.sValue;
        }
    }
    ASSERT_FALSE(sPattern.empty());
    EXPECT_EQ(assigned["TAG"], "uaccess"); // the logged-in user at the seat
    EXPECT_EQ(assigned["GROUP"], "plugdev");
    // The device's interfaces as udev lists them: class, subclass, protocol in hex.
    for (const char* pTaken : {":fe0301:", ":fe0300:", ":080650:fe0301:", ":fe0301:030000:"}) {
        EXPECT_EQ(fnmatch(sPattern.c_str(), pTaken, 0), 0) << pTaken;
    }
    // Mass storage, DFU (application class, subclass 1), IrDA bridge (subclass 2), a hub.
    for (const char* pLeft : {":080650:", ":fe0101:", ":fe0200:", ":090000:", ":0fe030:", ""}) {
        EXPECT_NE(fnmatch(sPattern.c_str(), pLeft, 0), 0) << pLeft;
    }
}

} // namespace
