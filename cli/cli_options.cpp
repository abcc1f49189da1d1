#include "cli/cli_options.h"

#include "version.h"

#include <chrono>
#include <string_view>

namespace korvista::cli {

namespace {

OutputFormat ParseFormat(const std::string& value) {
    if (value == "text")
        return OutputFormat::Text;
    if (value == "tsv")
        return OutputFormat::Tsv;
    if (value == "json")
        return OutputFormat::Json;
    if (value == "html")
        return OutputFormat::Html;
    throw UsageError("unknown output format '" + value + "' (text, tsv, json or html)");
}

unsigned ParseJobs(const std::string& value) {
    if (value.empty() || value.size() > 4 || value.find_first_not_of("0123456789") != std::string::npos ||
        std::stoul(value) == 0)
        throw UsageError("option --jobs needs a number from 1 to 9999, not '" + value + "'");
    return static_cast<unsigned>(std::stoul(value));
}

std::chrono::seconds ParseSeconds(const std::string& name, const std::string& value) {
    if (value.empty() || value.size() > 5 || value.find_first_not_of("0123456789") != std::string::npos ||
        std::stoul(value) == 0)
        throw UsageError("option " + name + " needs a number of seconds from 1 to 99999, not '" + value +
                         "'");
    return std::chrono::seconds(std::stoul(value));
}

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

} // namespace

CliOptions ParseCliOptions(const std::vector<std::string>& args) {
    CliOptions options;
    bool help = false;
    bool version = false;
    bool optionsEnded = false;
    std::vector<std::string> positional;
    std::string comparisonOption; // the first option that shapes a comparison or its output
    bool merge = false;
    std::string notForMerge; // the first option that a merge of finished reports cannot honour

    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg == "-" || !StartsWith(arg, "-")) {
            positional.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }

        // "--name=value" and "--name value" both give a value to the options that take one.
        std::string name = arg;
        std::optional<std::string> inlineValue;
        if (const std::size_t eq = arg.find('='); StartsWith(arg, "--") && eq != std::string::npos) {
            name = arg.substr(0, eq);
            inlineValue = arg.substr(eq + 1);
        }
        const auto value = [&]() -> std::string {
            if (inlineValue)
                return *inlineValue;
            if (i + 1 >= args.size())
                throw UsageError("option " + name + " needs a value");
            return args[++i];
        };
        const auto noValue = [&] {
            if (inlineValue)
                throw UsageError("option " + name + " takes no value");
        };

        if (comparisonOption.empty() && name != "--settings" && name != "--targets" &&
            name != "--save-snapshot" && name != "--help" && name != "-h" && name != "--version" &&
            name != "--login-timeout" && name != "--request-timeout")
            comparisonOption = name;
        if (notForMerge.empty() && name != "--merge" && name != "--format" && name != "--baseline")
            notForMerge = name;
        if (name == "--format") {
            options.format = ParseFormat(value());
        } else if (name == "--settings") {
            options.settingsFile = value();
            if (options.settingsFile->empty())
                throw UsageError("option --settings needs a file name");
        } else if (name == "--no-datatype") {
            noValue();
            options.switches.datatype = false;
        } else if (name == "--no-size") {
            noValue();
            options.switches.size = false;
        } else if (name == "--no-null") {
            noValue();
            options.switches.null = false;
        } else if (name == "--no-missing") {
            noValue();
            options.switches.missing = false;
        } else if (name == "--both-ways") {
            noValue();
            options.bothWays = true;
        } else if (name == "--table") {
            options.tables.include.push_back(value());
        } else if (name == "--exclude-table") {
            options.tables.exclude.push_back(value());
        } else if (name == "--targets") {
            options.targetsFile = value();
            if (options.targetsFile.empty())
                throw UsageError("option --targets needs a file name");
        } else if (name == "--jobs") {
            options.jobs = ParseJobs(value());
        } else if (name == "--shard") {
            try {
                options.shard = ParseShard(value());
            } catch (const Error& error) {
                throw UsageError(error.what());
            }
        } else if (name == "--merge") {
            noValue();
            merge = true;
        } else if (name == "--baseline") {
            options.baselineFile = value();
            if (options.baselineFile.empty())
                throw UsageError("option --baseline needs a file name");
        } else if (name == "--login-timeout") {
            options.limits.login = ParseSeconds(name, value());
        } else if (name == "--request-timeout") {
            options.limits.request = ParseSeconds(name, value());
        } else if (name == "--save-snapshot") {
            options.snapshotFile = value();
            if (options.snapshotFile.empty())
                throw UsageError("option --save-snapshot needs a file name");
        } else if (name == "--help" || name == "-h") {
            noValue();
            help = true;
        } else if (name == "--version") {
            noValue();
            version = true;
        } else {
            throw UsageError("unknown option '" + name + "'");
        }
    }

    if (help) {
        options.mode = CliOptions::Mode::Help;
        return options;
    }
    if (version) {
        options.mode = CliOptions::Mode::Version;
        return options;
    }
    if (merge) {
        if (!notForMerge.empty())
            throw UsageError("--merge takes the reports as they were made and no " + notForMerge);
        if (positional.empty())
            throw UsageError("--merge needs the JSON reports to merge");
        options.reportFiles = positional;
        options.mode = CliOptions::Mode::Merge;
        return options;
    }
    if (options.shard && options.targetsFile.empty())
        throw UsageError("--shard applies only to --targets");
    if (!options.snapshotFile.empty() || !options.targetsFile.empty()) {
        const char* option = options.snapshotFile.empty() ? "--targets" : "--save-snapshot";
        if (!options.snapshotFile.empty() && !options.targetsFile.empty())
            throw UsageError("--save-snapshot and --targets cannot be combined");
        if (options.settingsFile)
            throw UsageError(std::string(option) + " cannot be combined with --settings");
        // A snapshot keeps the whole database; options that would seem to shape it are refused.
        if (!options.snapshotFile.empty() && !comparisonOption.empty())
            throw UsageError("--save-snapshot compares nothing and takes no " + comparisonOption);
        if (positional.size() != 1)
            throw UsageError(std::string(option) + " takes exactly one connection string, of database 1");
        options.connection1 = positional[0];
        options.mode =
            options.snapshotFile.empty() ? CliOptions::Mode::Targets : CliOptions::Mode::SaveSnapshot;
        return options;
    }
    if (options.jobs != 0)
        throw UsageError("--jobs applies only to --targets");
    if (options.settingsFile) {
        if (!positional.empty())
            throw UsageError("--settings takes both connection strings from the file; give no others");
        return options;
    }
    if (positional.size() != 2)
        throw UsageError(positional.size() < 2 ? "two connection strings are needed"
                                               : "more than two connection strings given");
    options.connection1 = positional[0];
    options.connection2 = positional[1];
    return options;
}

std::string UsageText() {
    return R"(Usage: korvista-cli [options] CONNECTION1 CONNECTION2
       korvista-cli [options] --settings FILE
       korvista-cli [options] --targets FILE [--shard K/N] CONNECTION1
       korvista-cli [--format F] [--baseline FILE] --merge REPORT...
       korvista-cli --save-snapshot FILE CONNECTION

Compares the table structure of database 2 with that of database 1, exactly as "Vergelijk" does in
the window: every table and view of database 1, each of its columns matched by name (letters a-z in
any case) with the columns of the same table in database 2. Reported are columns missing from
database 2 and columns that differ in data type, size or nullability.

Connections are written as in the window:
  Provider=SQLite;Data Source=FILE     a SQLite file, opened read-only
  Provider=Snapshot;Data Source=FILE   a snapshot written by --save-snapshot, read-only
  any ODBC connection string           for example DSN=name;Uid=user;Pwd=secret

Options:
  --settings FILE          take both connection strings from a settings file of the window
                           (sections DB1 and DB2, key ConnectionString)
  --no-datatype            do not report differences in data type
  --no-size                do not report differences in size
  --no-null                do not report differences in nullability
  --no-missing             do not report columns missing from database 2
  --both-ways              also report what only database 2 has: its extra columns ("FIELD EXTRA")
                           and every column of a table that database 1 lacks
  --table GLOB             compare only the tables that match (repeatable; * ? [...], letters a-z in
                           any case); with --both-ways also database 2's tables
  --exclude-table GLOB     leave out the tables that match (repeatable; after --table)
  --targets FILE           compare database 1 with every target in FILE: one per line, NAME<TAB>CONNECTION
                           or a bare connection string; blank lines and lines starting with # are skipped
  --jobs N                 with --targets: compare N targets at a time (default: the number of cores)
  --shard K/N              with --targets: compare only the targets of shard K of N (1 <= K <= N). A
                           target's shard is fixed by its name: the FNV-1a hash (64 bits) of the name's
                           bytes, modulo N, plus 1; in a Kubernetes indexed Job K is
                           $((JOB_COMPLETION_INDEX + 1))
  --merge REPORT...        write the report of the whole fleet from the JSON reports of its shards
                           (--format json of --targets), targets ordered by name; reports of another
                           reference or switches, shards given twice and a missing shard are errors
  --baseline FILE          report only what is new against FILE, an earlier JSON report made with the
                           same switches: a row that FILE holds for the same target in every cell is left
                           out of the rows, the count and the exit status; text and html end with their
                           number and with the rows of FILE that no longer occur
  --login-timeout SECONDS  wait at most SECONDS for a server to let a connection log in (default 15)
  --request-timeout SECONDS
                           wait at most SECONDS for a server's answer to each request (default 30)
  --save-snapshot FILE     write what a comparison reads of the database to FILE (JSON) and compare nothing;
                           takes no other option
  --format text|tsv|json|html
                           output format, text by default
  -h, --help               show this help
  --version                show the version

Output, on standard output:
  text   an aligned table, then "Er zijn N verschillen gevonden!" when N is not 0; with --targets a section
         per target and "N van M doelen wijken af"
  tsv    a header line, then one line per row; five cells separated by tabs (--targets: "Target" first)
  json   {"version": 1, "switches", "differences": N, "rows": [{"table", "field", "db1", "db2",
          "difference"}], "errors": [{"table", "database", "message"}]}; with --targets
         {"version": 1, "reference", "switches", "shard", "targets": [{"target", "connection", "differences",
          "rows", "errors"}], "differences": N}; with --baseline also "accepted" and "noLongerSeen"
  html   one self-contained page, rows grouped per table
In text and tsv a tab, newline or other control character inside a cell is replaced by a blank.
Text that is not valid UTF-8 is repaired with U+FFFD in every format. N counts differences, not
rows: a row that differs in type and size counts 2.

Exit status: 0 no differences, 1 differences found, 2 error: a database that cannot be opened or listed,
a connection lost during the run, a table that cannot be read (each named on standard error; the rows
of the other tables are still written), any target that failed; for --merge also a report that is missing,
unreadable, from another reference or switches, or of a shard given twice, and a shard without a report.

Examples:
  korvista-cli "Provider=SQLite;Data Source=shop-v1.db" "Provider=SQLite;Data Source=shop-v2.db"
  korvista-cli --format json --no-null \
      "Driver={PostgreSQL Unicode};Server=db1.example.org;Database=shop;Uid=ci;Pwd=secret" \
      "DSN=shop-staging"
  korvista-cli --save-snapshot schema/expected.json "DSN=shop-staging"
  korvista-cli --both-ways --exclude-table "tmp_*" "Provider=Snapshot;Data Source=schema/expected.json" \
      "DSN=shop-staging"
  korvista-cli --targets tenants.tsv --jobs 4 --format html "Provider=Snapshot;Data Source=expected.json"
  korvista-cli --targets tenants.tsv --shard 2/3 --format json "DSN=reference" > shard-2.json
  korvista-cli --merge --baseline accepted.json --format html shard-1.json shard-2.json shard-3.json
)";
}

std::string VersionText() {
    return std::string("korvista-cli ") + KORVISTA_FILE_VERSION + "\n";
}

} // namespace korvista::cli
