#include "cli/cli_run.h"

#include "cli/baseline.h"
#include "cli/cli_output.h"
#include "cli/html_report.h"
#include "cli/merge.h"
#include "cli/report_json.h"
#include "cli/targets.h"
#include "cli/targets_output.h"
#include "compare/lost_connection.h"
#include "schema/connection_string.h"
#include "schema/snapshot.h"
#include "schema/u_Database.h"
#include "support/file_descriptor.h"
#include "support/ini_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace korvista::cli {

namespace {

constexpr const char* kProgram = "korvista-cli";

// Provider messages may span lines or carry control characters from a name; the error report is one
// line of plain text, cleaned as a cell of the text output is.
std::string OneLine(const std::string& text) {
    return CleanCell(text);
}

std::string ErrnoText(int error) {
    return std::error_code(error, std::generic_category()).message();
}

// IniFile reads a missing or unreadable file as empty; here each case is an error that says what it is.
// Nothing is opened that could block: a FIFO would wait for a writer, a device might never answer.
void CheckSettingsFile(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        throw Error("cannot read the settings file " + path + ": " + ErrnoText(errno));
    if (S_ISDIR(info.st_mode))
        throw Error("the settings file " + path + " is a directory");
    if (!S_ISREG(info.st_mode))
        throw Error("the settings file " + path + " is not a regular file");
    const FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    char byte = 0;
    if (file.get() < 0 || ::read(file.get(), &byte, 1) < 0)
        throw Error("cannot read the settings file " + path + ": " + ErrnoText(errno));
}

std::string ConnectionFromSettings(const IniFile& ini, const std::string& section, int number) {
    std::string value = ini.ReadPresentString(section, "ConnectionString");
    if (!value.empty())
        return value;
    throw Error("the settings file " + ini.Path() + " holds no connection string for database " +
                std::to_string(number) + " (section " + section + ", key ConnectionString)");
}

// Connect has logged the failure; an empty string was not even tried, so an open gives its complaint.
std::optional<std::string> OpenFailure(TDatabase& database) {
    if (database.ADO().Connected())
        return std::nullopt;
    if (!database.LastOpenError().empty())
        return database.LastOpenError();
    try {
        database.ADO().Open();
        return std::nullopt;
    } catch (const Error& error) {
        return std::string(error.what());
    }
}

// Cuts valid UTF-8 text to at most max code points.
std::string Truncate(const std::string& text, std::size_t max) {
    std::size_t points = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80 && points++ == max)
            return text.substr(0, i);
    }
    return text;
}

} // namespace

ConnectionStrings ReadSettingsFile(const std::string& path) {
    CheckSettingsFile(path);
    const IniFile ini(path);
    ConnectionStrings connections;
    connections.db1 = ConnectionFromSettings(ini, "DB1", 1);
    connections.db2 = ConnectionFromSettings(ini, "DB2", 2);
    return connections;
}

void OpenDatabase(TDatabase& database, const std::string& connection, int number,
                  const SessionLimits& limits) {
    database.SetLimits(limits);
    database.SetConnectionString(connection);
    database.Connect();
    if (const auto message = OpenFailure(database))
        throw Error("database " + std::to_string(number) + " cannot be opened: " + *message);
}

TableComparison RunComparison(const ConnectionStrings& connections, const CompareOptions& options,
                              const CompareProgress& progress, const SessionLimits& limits) {
    TDatabase db1(nullptr);
    TDatabase db2(nullptr);
    OpenDatabase(db1, connections.db1, 1, limits);
    OpenDatabase(db2, connections.db2, 2, limits);
    return CompareDatabases(db1, db2, options, progress);
}

ProgressLine::ProgressLine(std::ostream& out, std::size_t width)
    : out_(out), width_(width > 1 ? width - 1 : 1) {}

ProgressLine::~ProgressLine() {
    Clear();
}

void ProgressLine::Update(std::size_t index, std::size_t total, const std::string& table) {
    const std::string text = Truncate("table " + std::to_string(index + 1) + " of " + std::to_string(total) +
                                          ": " + CleanCell(table),
                                      width_);
    const std::size_t length = CodePointCount(text);
    out_ << '\r' << text;
    if (length < shown_)
        out_ << std::string(shown_ - length, ' ');
    out_ << std::flush;
    shown_ = length;
}

void ProgressLine::Clear() {
    if (shown_ == 0)
        return;
    out_ << '\r' << std::string(shown_, ' ') << '\r' << std::flush;
    shown_ = 0;
}

namespace {

// Every table that could not be read, one line each: such a table is no table without differences.
void ReportTableErrors(const TableComparison& result, const std::string& target, std::ostream& err) {
    for (const TableError& error : result.errors)
        err << kProgram << ": " << (target.empty() ? "" : "target " + OneLine(target) + ": ") << "table "
            << OneLine(error.table) << " of database " << error.database
            << " cannot be read: " << OneLine(error.message) << std::endl;
}

int WriteOut(std::ostream& out, std::ostream& err, const std::string& text) {
    out << text << std::flush;
    if (!out) {
        err << kProgram << ": the result cannot be written to standard output" << std::endl;
        return 2;
    }
    return 0;
}

// The baseline of the run, read and checked before any database is opened.
std::optional<SavedReport> LoadBaseline(const std::string& file, const CompareOptions& options, bool fleet) {
    if (file.empty())
        return std::nullopt;
    SavedReport baseline = ReadReport(file);
    CheckBaseline(baseline, options, fleet);
    return baseline;
}

int RunPair(const CliOptions& options, std::ostream& out, std::ostream& err, std::size_t progressWidth) {
    TableComparison result;
    ConnectionStrings connections;
    std::optional<SavedReport> baseline;
    try {
        baseline = LoadBaseline(options.baselineFile, options.Compare(), false);
        connections = options.settingsFile ? ReadSettingsFile(*options.settingsFile)
                                           : ConnectionStrings{options.connection1, options.connection2};
        std::optional<ProgressLine> progressLine;
        CompareProgress progress;
        if (progressWidth > 0) {
            progressLine.emplace(err, progressWidth);
            progress = [&](std::size_t index, std::size_t total, const std::string& table) {
                progressLine->Update(index, total, table);
            };
        }
        result = RunComparison(connections, options.Compare(), progress, options.limits);
    } catch (const std::exception& error) {
        err << kProgram << ": " << OneLine(error.what()) << std::endl;
        return 2;
    }

    std::optional<BaselineSummary> accepted;
    if (baseline) {
        std::vector<TargetOutcome> outcomes{{Target{}, std::move(result), {}}};
        accepted = ApplyBaseline(*baseline, outcomes);
        result = std::move(outcomes.front().result);
    }
    std::string text;
    if (options.format == OutputFormat::Html) {
        const ReportHeader header{MaskPasswords(connections.db1), options.Compare(),
                                  accepted ? &*accepted : nullptr};
        std::vector<ReportSection> sections(1);
        sections[0].database2 = MaskPasswords(connections.db2);
        sections[0].result = result;
        text = FormatHtml(header, sections);
    } else if (options.format == OutputFormat::Json) {
        // The switches let a later run take this report as its baseline.
        text = FormatJson(result, "  \"switches\": " + JsonSwitches(options.Compare()) + ",\n",
                          accepted ? BaselineJsonMembers(*accepted, false) : "");
    } else {
        text = FormatResult(result, options.format);
        if (accepted && options.format == OutputFormat::Text)
            text += BaselineText(*accepted, false);
    }
    const int written = WriteOut(out, err, text);
    ReportTableErrors(result, "", err);
    if (written != 0 || !result.errors.empty())
        return 2;
    return result.count == 0 ? 0 : 1;
}

// Database 1 opened, read whole and closed again, as --save-snapshot and --targets need it.
DatabaseSchema ReadDatabaseOne(const std::string& connection, const SessionLimits& limits) {
    TDatabase database(nullptr);
    OpenDatabase(database, connection, 1, limits);
    try {
        return ReadDatabaseSchema(database.ADO());
    } catch (const ConnectionLost& lost) {
        throw LostConnection(1, kReadingCatalogue, lost);
    } catch (const Unreadable& error) {
        throw Error("the tables of database 1 cannot be listed: " + std::string(error.what()));
    }
}

int RunSaveSnapshot(const CliOptions& options, std::ostream& err) {
    try {
        const DatabaseSchema schema = ReadDatabaseOne(options.connection1, options.limits);
        WriteSnapshotFile(schema, options.snapshotFile);
        // The snapshot keeps an unreadable table as such, but it is no complete picture of the database.
        bool complete = true;
        for (const TableSchema& table : schema.tables)
            if (!table.error.empty()) {
                err << kProgram << ": table " << OneLine(table.name)
                    << " of database 1 cannot be read: " << OneLine(table.error) << std::endl;
                complete = false;
            }
        return complete ? 0 : 2;
    } catch (const std::exception& error) {
        err << kProgram << ": " << OneLine(error.what()) << std::endl;
        return 2;
    }
}

// The report of a fleet, a shard of one or a merge, and its exit status; each failure also on err.
int WriteFleet(const std::string& reference, const CompareOptions& compare,
               std::vector<TargetOutcome>& outcomes, const Shard& shard,
               const std::optional<SavedReport>& baseline, OutputFormat format, std::ostream& out,
               std::ostream& err) {
    std::optional<BaselineSummary> accepted;
    if (baseline)
        accepted = ApplyBaseline(*baseline, outcomes);
    const int written =
        WriteOut(out, err,
                 FormatTargets(reference, compare, outcomes, format, shard, accepted ? &*accepted : nullptr));
    bool failed = written != 0, differs = false;
    for (const TargetOutcome& outcome : outcomes) {
        if (!outcome.failure.empty())
            err << kProgram << ": target " << OneLine(outcome.target.name) << ": " << OneLine(outcome.failure)
                << std::endl;
        ReportTableErrors(outcome.result, outcome.target.name, err);
        failed |= !outcome.failure.empty() || !outcome.result.errors.empty();
        differs |= outcome.result.count != 0;
    }
    return failed ? 2 : differs ? 1 : 0;
}

int RunTargets(const CliOptions& options, std::ostream& out, std::ostream& err) {
    std::vector<TargetOutcome> outcomes;
    std::optional<SavedReport> baseline;
    try {
        baseline = LoadBaseline(options.baselineFile, options.Compare(), true);
        std::vector<Target> targets = ReadTargetsFile(options.targetsFile);
        if (options.shard)
            targets = TargetsOfShard(targets, *options.shard);
        const DatabaseSchema schema = ReadDatabaseOne(options.connection1, options.limits);
        const unsigned jobs = options.jobs ? options.jobs : std::max(1u, std::thread::hardware_concurrency());
        outcomes = CompareTargets(schema, targets, options.Compare(), jobs, options.limits);
    } catch (const std::exception& error) {
        err << kProgram << ": " << OneLine(error.what()) << std::endl;
        return 2;
    }
    return WriteFleet(MaskPasswords(options.connection1), options.Compare(), outcomes,
                      options.shard.value_or(Shard{}), baseline, options.format, out, err);
}

int RunMerge(const CliOptions& options, std::ostream& out, std::ostream& err) {
    SavedReport merged;
    std::optional<SavedReport> baseline;
    try {
        std::vector<SavedReport> reports;
        for (const std::string& file : options.reportFiles)
            reports.push_back(ReadReport(file));
        merged = MergeReports(reports);
        baseline = LoadBaseline(options.baselineFile, merged.options, true);
    } catch (const std::exception& error) {
        err << kProgram << ": " << OneLine(error.what()) << std::endl;
        return 2;
    }
    return WriteFleet(merged.reference, merged.options, merged.outcomes, Shard{}, baseline, options.format,
                      out, err);
}

} // namespace

int RunCommandLine(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                   std::size_t progressWidth) {
    CliOptions options;
    try {
        options = ParseCliOptions(args);
    } catch (const UsageError& error) {
        err << kProgram << ": " << OneLine(error.what()) << " (see " << kProgram << " --help)" << std::endl;
        return 2;
    }

    switch (options.mode) {
    case CliOptions::Mode::Help:
        out << UsageText() << std::flush;
        return out ? 0 : 2;
    case CliOptions::Mode::Version:
        out << VersionText() << std::flush;
        return out ? 0 : 2;
    case CliOptions::Mode::SaveSnapshot:
        return RunSaveSnapshot(options, err);
    case CliOptions::Mode::Targets:
        return RunTargets(options, out, err);
    case CliOptions::Mode::Merge:
        return RunMerge(options, out, err);
    case CliOptions::Mode::Run:
        break;
    }
    return RunPair(options, out, err, progressWidth);
}

} // namespace korvista::cli
