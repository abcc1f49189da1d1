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

TEST(CliOptions, HelpShowsSqliteAndOdbcExamplesAndTheCellRule) {
    const std::string usage = korvista::cli::UsageText();
    EXPECT_NE(usage.find("korvista-cli \"Provider=SQLite;Data Source="), std::string::npos);
    EXPECT_NE(usage.find("Driver={PostgreSQL Unicode}"), std::string::npos);
    EXPECT_NE(usage.find("replaced by a blank"), std::string::npos);
    EXPECT_EQ(korvista::cli::VersionText(), std::string("korvista-cli ") + KORVISTA_FILE_VERSION + "\n");
}

} // namespace
