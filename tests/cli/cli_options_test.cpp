#include "cli/cli_options.h"

#include "version.h"

#include <gtest/gtest.h>

using korvista::cli::CliOptions;
using korvista::cli::OutputFormat;
using korvista::cli::ParseCliOptions;
using korvista::cli::UsageError;

namespace {

const std::string kDb1 = "Provider=SQLite;Data Source=a.db";
const std::string kDb2 = "DSN=shop;Uid=me;Pwd=x=y";

TEST(CliOptions, TwoConnectionStringsRunWithEverythingOnAndText) {
    const CliOptions options = ParseCliOptions({kDb1, kDb2});
    EXPECT_EQ(options.mode, CliOptions::Mode::Run);
    EXPECT_EQ(options.connection1, kDb1);
    EXPECT_EQ(options.connection2, kDb2);
    EXPECT_FALSE(options.settingsFile.has_value());
    EXPECT_TRUE(options.switches.datatype && options.switches.size && options.switches.null &&
                options.switches.missing);
    EXPECT_EQ(options.format, OutputFormat::Text);
}

TEST(CliOptions, EachSwitchTurnsOffOnlyItsOwnComparison) {
    const auto parse = [](const std::string& option) {
        return ParseCliOptions({option, kDb1, kDb2}).switches;
    };
    const auto datatype = parse("--no-datatype");
    EXPECT_TRUE(!datatype.datatype && datatype.size && datatype.null && datatype.missing);
    const auto size = parse("--no-size");
    EXPECT_TRUE(size.datatype && !size.size && size.null && size.missing);
    const auto null = parse("--no-null");
    EXPECT_TRUE(null.datatype && null.size && !null.null && null.missing);
    const auto missing = parse("--no-missing");
    EXPECT_TRUE(missing.datatype && missing.size && missing.null && !missing.missing);
    // Options may stand anywhere, also between the two strings.
    const auto mixed = ParseCliOptions({kDb1, "--no-size", kDb2, "--no-null"});
    EXPECT_EQ(mixed.connection2, kDb2);
    EXPECT_FALSE(mixed.switches.size);
    EXPECT_FALSE(mixed.switches.null);
}

TEST(CliOptions, FormatTakesItsValueSeparatelyOrAfterEquals) {
    EXPECT_EQ(ParseCliOptions({"--format", "tsv", kDb1, kDb2}).format, OutputFormat::Tsv);
    EXPECT_EQ(ParseCliOptions({"--format=json", kDb1, kDb2}).format, OutputFormat::Json);
    EXPECT_EQ(ParseCliOptions({"--format=text", kDb1, kDb2}).format, OutputFormat::Text);
    EXPECT_THROW(ParseCliOptions({"--format", "xml", kDb1, kDb2}), UsageError);
    EXPECT_THROW(ParseCliOptions({"--format=JSON", kDb1, kDb2}), UsageError);
    EXPECT_THROW(ParseCliOptions({kDb1, kDb2, "--format"}), UsageError);
}

TEST(CliOptions, SettingsFileReplacesBothConnectionStrings) {
    const CliOptions options = ParseCliOptions({"--settings", "/etc/korvista.ini", "--format=tsv"});
    ASSERT_TRUE(options.settingsFile.has_value());
    EXPECT_EQ(*options.settingsFile, "/etc/korvista.ini");
    EXPECT_EQ(ParseCliOptions({"--settings=k.ini"}).settingsFile, "k.ini");
    EXPECT_THROW(ParseCliOptions({"--settings", "k.ini", kDb1}), UsageError);
    EXPECT_THROW(ParseCliOptions({"--settings", "k.ini", kDb1, kDb2}), UsageError);
    EXPECT_THROW(ParseCliOptions({"--settings="}), UsageError);
    EXPECT_THROW(ParseCliOptions({"--settings"}), UsageError);
}

TEST(CliOptions, WrongNumberOfConnectionStringsOrUnknownOptionsAreUsageErrors) {
    EXPECT_THROW(ParseCliOptions({}), UsageError);
    EXPECT_THROW(ParseCliOptions({kDb1}), UsageError);
    EXPECT_THROW(ParseCliOptions({kDb1, kDb2, kDb2}), UsageError);
    EXPECT_THROW(ParseCliOptions({"--no-sizes", kDb1, kDb2}), UsageError);
    EXPECT_THROW(ParseCliOptions({"-x", kDb1, kDb2}), UsageError);
    EXPECT_THROW(ParseCliOptions({"--no-size=1", kDb1, kDb2}), UsageError);
    try {
        ParseCliOptions({"--bogus", kDb1, kDb2});
        FAIL() << "no error";
    } catch (const UsageError& error) {
        EXPECT_NE(std::string(error.what()).find("--bogus"), std::string::npos);
    }
}

TEST(CliOptions, DoubleDashEndsOptions) {
    const CliOptions options = ParseCliOptions({"--", "--odd-dsn", "-"});
    EXPECT_EQ(options.connection1, "--odd-dsn");
    EXPECT_EQ(options.connection2, "-");
}

TEST(CliOptions, HelpAndVersionNeedNoConnectionStrings) {
    EXPECT_EQ(ParseCliOptions({"--help"}).mode, CliOptions::Mode::Help);
    EXPECT_EQ(ParseCliOptions({"-h", kDb1}).mode, CliOptions::Mode::Help);
    EXPECT_EQ(ParseCliOptions({"--version"}).mode, CliOptions::Mode::Version);
    EXPECT_EQ(ParseCliOptions({"--version", "--help"}).mode, CliOptions::Mode::Help);
}

TEST(CliOptions, DriftOptionsReachTheComparisonAndTheModes) {
    const CliOptions run = ParseCliOptions({"--both-ways", "--table", "order*", "--table=cust?",
                                            "--exclude-table", "*_old", "--format=html", kDb1, kDb2});
    EXPECT_TRUE(run.Compare().bothWays);
    EXPECT_EQ(run.Compare().tables.include, (std::vector<std::string>{"order*", "cust?"}));
    EXPECT_EQ(run.Compare().tables.exclude, (std::vector<std::string>{"*_old"}));
    EXPECT_EQ(run.format, OutputFormat::Html);

    const CliOptions targets =
        ParseCliOptions({"--targets", "fleet.tsv", "--jobs", "3", "--both-ways", kDb1});
    EXPECT_EQ(targets.mode, CliOptions::Mode::Targets);
    EXPECT_EQ(targets.targetsFile, "fleet.tsv");
    EXPECT_EQ(targets.jobs, 3u);
    EXPECT_EQ(targets.connection1, kDb1);
    EXPECT_EQ(ParseCliOptions({"--targets=f", kDb1}).jobs, 0u) << "0 stands for the number of cores";

    EXPECT_EQ(targets.limits, korvista::SessionLimits{}) << "the limits of today by default";
    const CliOptions limited = ParseCliOptions({"--login-timeout", "2", "--request-timeout=3", kDb1, kDb2});
    EXPECT_EQ(limited.limits.login, std::chrono::seconds(2));
    EXPECT_EQ(limited.limits.request, std::chrono::seconds(3));
    EXPECT_EQ(limited.limits.grace, korvista::SessionLimits{}.grace);
    EXPECT_EQ(ParseCliOptions({"--save-snapshot", "s.json", "--login-timeout", "1", kDb1}).limits.login,
              std::chrono::seconds(1))
        << "a snapshot's connection is bounded too";

    const CliOptions snapshot = ParseCliOptions({"--save-snapshot", "ref.json", kDb1});
    EXPECT_EQ(snapshot.mode, CliOptions::Mode::SaveSnapshot);
    EXPECT_EQ(snapshot.snapshotFile, "ref.json");
    EXPECT_EQ(snapshot.connection1, kDb1);
}

TEST(CliOptions, DriftOptionsRefuseWhatTheyCannotDo) {
    const std::vector<std::vector<std::string>> refused = {
        {"--targets", "f", kDb1, kDb2},            // one connection only
        {"--targets", "f"},                        // none
        {"--targets", "f", "--settings", "k.ini"}, // settings hold a pair
        {"--targets="},                            // no file
        {"--jobs", "2", kDb1, kDb2},               // jobs without targets
        {"--targets", "f", "--jobs", "0", kDb1},   // at least one
        {"--targets", "f", "--jobs", "two", kDb1}, // a number
        {"--targets", "f", "--jobs", "-1", kDb1},  //
        {"--save-snapshot", "s.json", kDb1, kDb2}, // one database
        {"--save-snapshot", "s.json", "--targets", "f", kDb1},
        {"--save-snapshot", "s.json", "--format", "json", kDb1}, // nothing is compared or printed
        {"--save-snapshot", "s.json", "--table", "a*", kDb1},    // a snapshot is never partial
        {"--save-snapshot", "s.json", "--both-ways", kDb1},
        {"--save-snapshot", "s.json", "--no-size", kDb1},
        {"--save-snapshot", "s.json", "--jobs", "2", kDb1},
        {"--login-timeout", "0", kDb1, kDb2},      // at least a second
        {"--request-timeout", "1.5", kDb1, kDb2},  // whole seconds
        {"--request-timeout", "-3", kDb1, kDb2},   //
        {"--login-timeout=", kDb1, kDb2},          //
        {"--login-timeout", "999999", kDb1, kDb2}, //
        {"--table", kDb1, kDb2},                   // the pattern took a string
        {"--both-ways=yes", kDb1, kDb2},
    };
    for (const auto& args : refused) {
        std::string line;
        for (const std::string& arg : args)
            line += arg + " ";
        EXPECT_THROW(ParseCliOptions(args), UsageError) << line;
    }
}

TEST(CliOptions, HelpListsEveryOption) {
    const std::string usage = korvista::cli::UsageText();
    for (const char* option :
         {"--settings FILE", "--no-datatype", "--no-size", "--no-null", "--no-missing", "--both-ways",
          "--table GLOB", "--exclude-table GLOB", "--targets FILE", "--jobs N", "--login-timeout SECONDS",
          "--request-timeout SECONDS", "--save-snapshot FILE", "--format text|tsv|json|html", "--help",
          "--version", "Provider=Snapshot;Data Source=FILE"})
        EXPECT_NE(usage.find(option), std::string::npos) << option;
}

TEST(CliOptions, HelpShowsSqliteAndOdbcExamplesAndTheCellRule) {
    const std::string usage = korvista::cli::UsageText();
    EXPECT_NE(usage.find("korvista-cli \"Provider=SQLite;Data Source="), std::string::npos);
    EXPECT_NE(usage.find("Driver={PostgreSQL Unicode}"), std::string::npos);
    EXPECT_NE(usage.find("replaced by a blank"), std::string::npos);
    EXPECT_EQ(korvista::cli::VersionText(), std::string("korvista-cli ") + KORVISTA_FILE_VERSION + "\n");
}

} // namespace

namespace {

TEST(CliOptions, ShardNeedsTargetsAndMergeTakesOnlyFormatAndBaseline) {
    EXPECT_EQ(ParseCliOptions({"--targets", "t.tsv", "--shard", "2/3", kDb1}).shard->index, 2u);
    EXPECT_EQ(ParseCliOptions({"--merge", "--baseline", "b", "--format=html", "1", "2"}).reportFiles.size(), 2u);
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"--shard", "1/2", kDb1, kDb2},
                                               {"--targets", "t.tsv", "--shard", "3/2", kDb1},
                                               {"--targets", "t.tsv", "--shard", "x", kDb1},
                                               {"--merge"},
                                               {"--merge", "--no-size", "1.json"},
                                               {"--merge", "--shard", "1/2", "1.json"},
                                               {"--save-snapshot", "s.json", "--baseline", "b.json", kDb1}})
        EXPECT_THROW(ParseCliOptions(args), UsageError) << args[0] << " " << args[1];
}

} // namespace
