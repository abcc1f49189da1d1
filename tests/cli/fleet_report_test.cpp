// Splitting a fleet into shards, reading a report back, and accepting known drift: the pure parts.
#include "cli/baseline.h"
#include "cli/shard.h"
#include "cli/targets_output.h"

#include <gtest/gtest.h>

#include <set>

using namespace korvista;
using namespace korvista::cli;

namespace {

std::vector<Target> Fleet(int size) {
    std::vector<Target> targets;
    for (int i = 1; i <= size; ++i)
        targets.push_back(
            {"tenant-" + std::to_string(i), "Provider=SQLite;Data Source=" + std::to_string(i)});
    return targets;
}

TEST(Shard, TheHashIsFnv1a64SoEveryMachineSplitsAlike) {
    EXPECT_EQ(StableNameHash(""), 0xcbf29ce484222325ull);
    EXPECT_EQ(StableNameHash("a"), 0xaf63dc4c8601ec8cull);
    EXPECT_EQ(StableNameHash("foobar"), 0x85944171f73967e8ull);
    EXPECT_EQ(ShardOfName("foobar", 7), 0x85944171f73967e8ull % 7 + 1);
}

TEST(Shard, KOfNIsParsedAndAnythingElseRefused) {
    EXPECT_EQ(ParseShard("2/3"), (Shard{2, 3}));
    EXPECT_EQ(ParseShard("1/1"), (Shard{1, 1}));
    for (const char* bad : {"", "3", "0/3", "4/3", "1/0", "-1/3", "1/3/4", "a/3", "1/10000", " 1/3"})
        EXPECT_THROW(ParseShard(bad), Error) << bad;
}

TEST(Shard, EveryTargetIsInExactlyOneShardAndAddingOneMovesNoOther) {
    const std::vector<Target> fleet = Fleet(60);
    std::vector<Target> grown = fleet;
    grown.push_back({"newcomer", "DSN=x"});
    std::multiset<std::string> seen;
    for (unsigned k = 1; k <= 3; ++k) {
        const std::vector<Target> shard = TargetsOfShard(fleet, {k, 3});
        EXPECT_GE(shard.size(), 10u) << "shard " << k;
        std::vector<Target> grownShard = TargetsOfShard(grown, {k, 3});
        if (ShardOfName("newcomer", 3) == k)
            grownShard.pop_back();
        ASSERT_EQ(grownShard.size(), shard.size());
        for (std::size_t i = 0; i < shard.size(); ++i) {
            EXPECT_EQ(grownShard[i].name, shard[i].name);
            seen.insert(shard[i].name);
        }
    }
    EXPECT_EQ(seen.size(), fleet.size());
    EXPECT_EQ(std::set<std::string>(seen.begin(), seen.end()).size(), fleet.size());
}

TEST(MergeReport, JsonIsReadBackAsItWasWritten) {
    CompareOptions options;
    options.switches.size = false;
    options.tables.exclude = {"tmp_*"};
    std::vector<TargetOutcome> outcomes(2);
    outcomes[0].target = {"a", "DSN=a;Pwd=geheim"};
    outcomes[0].result = {
        {{"t", "c\u00e9", "integer:0:null", "???", "FIELD MISSING"}}, 1, {{"v", 2, "gone\n"}}};
    outcomes[1].target = {"b", "DSN=b"};
    outcomes[1].failure = "database 2 cannot be opened: no";
    const SavedReport report = ParseReport(
        FormatTargets("DSN=ref;Pwd=***", options, outcomes, OutputFormat::Json, {2, 3}), "r.json");
    EXPECT_TRUE(report.fleet);
    EXPECT_EQ(report.reference, "DSN=ref;Pwd=***");
    EXPECT_TRUE(SameSwitches(report.options, options));
    EXPECT_EQ(report.shard, (Shard{2, 3}));
    ASSERT_EQ(report.outcomes.size(), 2u);
    EXPECT_EQ(report.outcomes[0].target.connection, "DSN=a;Pwd=***");
    EXPECT_EQ(report.outcomes[0].result.rows, outcomes[0].result.rows);
    EXPECT_EQ(report.outcomes[0].result.errors, outcomes[0].result.errors);
    EXPECT_EQ(report.outcomes[0].result.count, 1);
    EXPECT_EQ(report.outcomes[1].failure, outcomes[1].failure);
    EXPECT_TRUE(report.outcomes[1].result.errors.empty());
}

TEST(Baseline, ARowIsAcceptedOnlyWhenEveryCellIsKnownForTheSameTarget) {
    const ResultRow known{"t", "price", "BCD:2:null", "BCD:3:null", "SIZE"};
    SavedReport baseline;
    baseline.fleet = true;
    baseline.outcomes.resize(1);
    baseline.outcomes[0].target.name = "acme";
    baseline.outcomes[0].result.rows = {known, {"u", "a", "integer:0:null", "???", "FIELD MISSING"}};
    struct Case {
        const char* what;
        std::string target;
        ResultRow row;
        bool accepted;
    };
    const auto changed = [&](std::string ResultRow::*cell) {
        ResultRow row = known;
        row.*cell += "x";
        return row;
    };
    for (const Case& c :
         {Case{"the same row", "acme", known, true}, Case{"another target", "globex", known, false},
          Case{"table", "acme", changed(&ResultRow::table), false},
          Case{"field", "acme", changed(&ResultRow::field), false},
          Case{"db1", "acme", changed(&ResultRow::db1), false},
          Case{"db2", "acme", changed(&ResultRow::db2), false},
          Case{"difference", "acme", changed(&ResultRow::difference), false}}) {
        std::vector<TargetOutcome> outcomes(1);
        outcomes[0].target.name = c.target;
        outcomes[0].result = {{c.row, {"new", "n", "memo:0:null", "???", "FIELD MISSING"}}, 2};
        const BaselineSummary summary = ApplyBaseline(baseline, outcomes);
        EXPECT_EQ(outcomes[0].result.rows.size(), c.accepted ? 1u : 2u) << c.what;
        EXPECT_EQ(outcomes[0].result.rows.back().table, "new") << c.what;
        EXPECT_EQ(outcomes[0].result.count, c.accepted ? 1 : 2) << c.what;
        EXPECT_EQ(summary.accepted, c.accepted ? 1 : 0) << c.what;
        // What the baseline holds for this target and no longer occurs is listed to renew it.
        EXPECT_EQ(summary.gone, c.target == "acme" ? (c.accepted ? 1 : 2) : 0) << c.what;
    }
}

TEST(Baseline, OneOfOtherSwitchesOrOfTheOtherKindIsRefused) {
    SavedReport baseline;
    baseline.file = "base.json";
    EXPECT_NO_THROW(CheckBaseline(baseline, {}, false));
    CompareOptions noNull;
    noNull.switches.null = false;
    CompareOptions tables;
    tables.tables.include = {"t*"};
    for (const CompareOptions& options : {noNull, tables})
        EXPECT_THROW(CheckBaseline(baseline, options, false), Error);
    EXPECT_THROW(CheckBaseline(baseline, {}, true), Error);
}

} // namespace
