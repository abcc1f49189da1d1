// Shell patterns over table names, letter case a-z ignored; inclusion, then exclusion.
#include "compare/table_filter.h"

#include <gtest/gtest.h>

namespace korvista {
namespace {

struct GlobCase {
    const char* pattern;
    const char* name;
    bool matches;
};

TEST(GlobMatches, ShellPatternsWithAsciiCaseIgnored) {
    const GlobCase cases[] = {
        {"orders", "ORDERS", true},       {"orders", "orders_old", false}, {"order*", "Orders", true},
        {"*_log", "audit_log", true},     {"*_log", "audit_logs", false},  {"*", "", true},
        {"?", "", false},                 {"t?", "t1", true},              {"t?", "t12", false},
        {"[abc]x", "Bx", true},           {"[a-c]x", "dx", false},         {"[!a-c]x", "dx", true},
        {"[^a-c]x", "ax", false},         {"[A-Z]*", "q1", true},          {"a[]b", "a[]b", true},
        {"a\\*", "a*", true},             {"a\\*", "ab", false},           {"*a*b*c*", "xaybzc", true},
        {"*a*b*c*", "xaybz", false},      {"caf\xc3\xa9", "CAF\xc3\xa9", true},
        {"caf\xc3\xa9", "caf\xc3\x89", false}, // é and É differ: only a-z fold
        {"[]]", "]", true},               {"a[", "a[", true},
        // "?" and classes take one character of UTF-8, however many bytes it has.
        {"caf?", "caf\xc3\xa9", true},     {"caf??", "caf\xc3\xa9", false},
        {"[\xc3\xa9\xc3\xa8]t\xc3\xa9", "\xc3\xa8t\xc3\xa9", true},
        {"[!\xc3\xa9]x", "\xc3\xa9x", false}, {"?\xe2\x82\xac", "a\xe2\x82\xac", true},
        {"a?b", "a\xff" "b", true},      {"a?b", "a\xc3" "b", true}, // a stray byte is one character
        {"\xc3*", "\xc3\xa9", false},     // nor is it the start of one
    };
    for (const GlobCase& c : cases)
        EXPECT_EQ(GlobMatches(c.pattern, c.name), c.matches) << c.pattern << " ~ " << c.name;
}

TEST(GlobMatches, ManyStarsStayFast) {
    // Backtracking only to the last star: this would take ages with naive recursion.
    EXPECT_FALSE(GlobMatches("*a*a*a*a*a*a*a*a*a*a*a*b", std::string(5000, 'a')));
}

TEST(TableFilter, IncludeThenExclude) {
    const TableFilter all;
    EXPECT_TRUE(all.Selects("anything"));
    const TableFilter filter{{"order*", "customers"}, {"*_old"}};
    EXPECT_TRUE(filter.Selects("Orders"));
    EXPECT_TRUE(filter.Selects("CUSTOMERS"));
    EXPECT_FALSE(filter.Selects("orders_old"));
    EXPECT_FALSE(filter.Selects("products"));
    const TableFilter excludeOnly{{}, {"tmp_*"}};
    EXPECT_TRUE(excludeOnly.Selects("products"));
    EXPECT_FALSE(excludeOnly.Selects("TMP_x"));
}

} // namespace
} // namespace korvista
