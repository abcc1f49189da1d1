// Snapshots through korvista-cli: every database against its own snapshot, snapshots in place of the live
// databases of a pair, and snapshot files that cannot be read.
#include "cli/cli_test_helpers.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <sys/stat.h>

using namespace korvista;
using namespace korvista::clitest;
using ::testing::HasSubstr;

namespace {

constexpr unsigned kTimeLimit = 60;

class SnapshotCli : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = std::make_unique<TempDir>();
        BuildSamples(dir_->Path());
        // Names in another letter case, a column and a table only database 2 has, national types.
        BuildDatabase(File("case1.db"), "CREATE TABLE Orders (id integer NOT NULL, name varchar(10), note nchar(4));"
                                        "CREATE VIEW Totals AS SELECT id FROM Orders;");
        BuildDatabase(File("case2.db"), "CREATE TABLE orders (ID integer NOT NULL, NAME varchar(12), added date NOT NULL);"
                                        "CREATE TABLE only2 (x nvarchar(5)); CREATE VIEW totals AS SELECT ID FROM orders;");
        for (const char* name : {"sample1", "sample2", "case1", "case2"}) {
            const ProcessResult saved =
                RunCli({"--save-snapshot", File(std::string(name) + ".json"), Live(name)}, kTimeLimit);
            ASSERT_EQ(saved.status, 0) << name << ": " << saved.err;
            ASSERT_EQ(saved.out, "");
        }
    }
    static void TearDownTestSuite() { dir_.reset(); }

    static std::string File(const std::string& name) { return dir_->File(name); }
    static std::string Live(const std::string& name) { return SqliteConnection(File(name + ".db")); }
    static std::string Snapshot(const std::string& name) { return SnapshotConnection(File(name + ".json")); }

private:
    static std::unique_ptr<TempDir> dir_;
};

std::unique_ptr<TempDir> SnapshotCli::dir_;

const std::vector<std::vector<std::string>> kOptionSets = {
    {},
    {"--both-ways"},
    {"--both-ways", "--no-size", "--table", "*ORDER*", "--exclude-table", "t?tals"},
};

TEST_F(SnapshotCli, EveryDatabaseAgainstItsOwnSnapshotGivesNoRow) {
    for (const char* name : {"sample1", "sample2", "case1", "case2"}) {
        for (const auto& [db1, db2] : {std::pair{Live(name), Snapshot(name)}, std::pair{Snapshot(name), Live(name)}}) {
            const ProcessResult run = RunCli({"--both-ways", "--format", "tsv", db1, db2}, kTimeLimit);
            EXPECT_EQ(run.status, 0) << db1 << " / " << db2 << ": " << run.err;
            EXPECT_EQ(ParseTsvRows(run.out), std::vector<ResultRow>{}) << db1 << " / " << db2;
        }
    }
}

TEST_F(SnapshotCli, SnapshotsInPlaceOfTheLiveDatabasesGiveTheLiveRows) {
    for (const auto& [name1, name2] : {std::pair{"sample1", "sample2"}, std::pair{"sample2", "sample1"},
                                       std::pair{"case1", "case2"}, std::pair{"case2", "case1"}}) {
        for (const std::vector<std::string>& options : kOptionSets) {
            std::vector<std::string> args = options;
            args.insert(args.end(), {"--format", "tsv"});
            const auto run = [&](const std::string& db1, const std::string& db2) {
                std::vector<std::string> full = args;
                full.insert(full.end(), {db1, db2});
                return RunCli(full, kTimeLimit);
            };
            const ProcessResult live = run(Live(name1), Live(name2));
            ASSERT_EQ(live.err, "");
            SCOPED_TRACE(std::string(name1) + " / " + name2 + ", " + std::to_string(options.size()) + " options");
            for (const ProcessResult& other : {run(Snapshot(name1), Snapshot(name2)), run(Snapshot(name1), Live(name2)),
                                               run(Live(name1), Snapshot(name2))}) {
                EXPECT_EQ(other.status, live.status) << other.err;
                EXPECT_EQ(other.out, live.out);
            }
        }
    }
    // The live rows are the known ones; both ways adds what only database 2 has, once each, and a name in
    // another letter case is the same table (the descriptions of the types are not the point here).
    EXPECT_EQ(RunCli({"--format", "tsv", Snapshot("sample1"), Snapshot("sample2")}, kTimeLimit).out,
              ExpectedSampleTsv());
    std::vector<std::string> kinds;
    for (const ResultRow& row :
         ParseTsvRows(RunCli({"--both-ways", "--format", "tsv", Snapshot("case1"), Snapshot("case2")}, kTimeLimit).out))
        kinds.push_back(row.table + " " + row.field + " " + row.difference);
    EXPECT_EQ(kinds, (std::vector<std::string>{"Orders name size", "Orders note FIELD MISSING",
                                               "Orders added FIELD EXTRA", "only2 x FIELD EXTRA"}));
}

TEST_F(SnapshotCli, ASnapshotOfASnapshotIsTheSameFile) {
    for (const char* name : {"sample1", "case2"}) {
        const std::string again = File(std::string(name) + "-again.json");
        const ProcessResult saved = RunCli({"--save-snapshot", again, Snapshot(name)}, kTimeLimit);
        ASSERT_EQ(saved.status, 0) << saved.err;
        EXPECT_EQ(ReadFile(again), ReadFile(File(std::string(name) + ".json")));
    }
    // One line per column: customers has seven.
    const std::string text = ReadFile(File("sample1.json"));
    const std::size_t customers = text.find("{\"name\": \"customers\"");
    ASSERT_NE(customers, std::string::npos) << text;
    const std::vector<std::string> lines = Lines(text.substr(customers));
    EXPECT_THAT(lines[1], HasSubstr("{\"name\": \"customer_id\""));
    EXPECT_EQ(lines[8], "    ]},");
}

TEST_F(SnapshotCli, AnUnreadableTableIsKeptAsSuchAndReportedAlike) {
    BuildDatabase(File("broken.db"), "CREATE TABLE gone (a integer); CREATE VIEW broken AS SELECT a FROM gone;"
                                     "DROP TABLE gone; CREATE TABLE fine (a integer);");
    const ProcessResult saved = RunCli({"--save-snapshot", File("broken.json"), Live("broken")}, kTimeLimit);
    EXPECT_EQ(saved.status, 2) << "a snapshot without every table is no complete picture";
    EXPECT_THAT(saved.err, HasSubstr("table broken of database 1 cannot be read"));
    const ProcessResult live = RunCli({"--format", "json", Live("broken"), Live("sample1")}, kTimeLimit);
    const ProcessResult snapshot = RunCli({"--format", "json", Snapshot("broken"), Live("sample1")}, kTimeLimit);
    EXPECT_EQ(live.status, 2);
    EXPECT_EQ(snapshot.status, 2);
    EXPECT_EQ(snapshot.out, live.out);
    EXPECT_EQ(snapshot.err, live.err);
}

TEST_F(SnapshotCli, SnapshotsThatCannotBeReadAreErrorsNamingTheFileAndThePlace) {
    const std::string good = ReadFile(File("case1.json"));
    const auto edited = [&](const std::string& from, const std::string& to) {
        std::string text = good;
        text.replace(text.find(from), from.size(), to);
        return text;
    };
    struct Case {
        const char* file;
        std::string content; // empty: the file is made below, or not at all
        std::string place;
    };
    const std::vector<Case> cases = {
        {"bad-json", edited("\"tables\": [", "\"tables\": [,"), "is not valid JSON at line 5, column"},
        {"cut-short", good.substr(0, good.size() / 2), "is not valid JSON at line"},
        {"wrong-version", edited("\"version\": 1", "\"version\": 7"), "at version: this program reads version 1"},
        {"no-snapshot", "{\"tables\": []}", "at the top level.format: the member is missing"},
        {"wrong-type", edited("\"nullable\": false", "\"nullable\": \"no\""),
         "at tables[0].columns[0].nullable: true or false was expected"},
        {"size-as-text", edited("\"size\": 10", "\"size\": \"10\""), "at tables[0].columns[1].size"},
        {"tables-not-a-list", edited("\"tables\": [", "\"tables\": 5, \"unused\": ["),
         "at tables: an array was expected"},
        {"missing", "", "cannot read the snapshot"},
        {"folder", "", "is a directory"},
        {"fifo", "", "is not a regular file"},
    };
    WriteFile(File("one-target.tsv"), "t\t" + Live("sample2") + "\n");
    for (const Case& c : cases) {
        const std::string path = File(std::string("bad-") + c.file + ".json");
        if (c.file == std::string("folder"))
            std::filesystem::create_directory(path);
        else if (c.file == std::string("fifo"))
            ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
        else if (!c.content.empty())
            WriteFile(path, c.content);
        const std::string snapshot = SnapshotConnection(path);
        for (const std::vector<std::string>& args :
             {std::vector<std::string>{snapshot, Live("sample1")}, std::vector<std::string>{Live("sample1"), snapshot},
              std::vector<std::string>{"--targets", File("one-target.tsv"), snapshot}}) {
            const ProcessResult run = RunCli(args, kTimeLimit);
            EXPECT_FALSE(run.timedOut) << c.file;
            EXPECT_EQ(run.status, 2) << c.file;
            EXPECT_EQ(run.out, "") << c.file;
            EXPECT_THAT(run.err, HasSubstr(path)) << c.file;
            EXPECT_THAT(run.err, HasSubstr(c.place)) << c.file;
            EXPECT_EQ(Lines(run.err).size(), 1u) << run.err;
        }
    }
    // As a target, it is that target's failure; the others are still compared.
    WriteFile(File("targets.tsv"), "bad\t" + SnapshotConnection(File("bad-wrong-version.json")) + "\ngood\t" +
                                       Snapshot("sample2") + "\n");
    const ProcessResult fleet = RunCli({"--targets", File("targets.tsv"), "--format", "tsv", Live("sample1")});
    EXPECT_EQ(fleet.status, 2);
    EXPECT_THAT(fleet.err, HasSubstr("target bad: database 2 cannot be opened: The snapshot " +
                                     File("bad-wrong-version.json")));
    EXPECT_EQ(Lines(fleet.out).size(), 1u + ExpectedSampleRows().size());
}

TEST_F(SnapshotCli, ASnapshotThatCannotBeWrittenIsAnErrorAndLeavesNothing) {
    const ProcessResult run = RunCli({"--save-snapshot", File("no-such-folder/s.json"), Live("sample1")}, kTimeLimit);
    EXPECT_EQ(run.status, 2);
    EXPECT_THAT(run.err, HasSubstr("The snapshot " + File("no-such-folder/s.json") + " cannot be written"));
    const ProcessResult closed = RunCli({"--save-snapshot", File("never.json"), Live("no-such-db")}, kTimeLimit);
    EXPECT_EQ(closed.status, 2);
    EXPECT_THAT(closed.err, HasSubstr("database 1 cannot be opened"));
    EXPECT_FALSE(std::filesystem::exists(File("never.json")));
}

} // namespace
