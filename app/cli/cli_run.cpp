#include "app/cli/cli_run.h"

#include "app/cli/cli_output.h"
#include "schema/u_Database.h"
#include "support/file_descriptor.h"
#include "support/ini_file.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <system_error>
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
    // A section without entry lines counts as absent, as in the window's settings store.
    if (!ini.ReadSectionKeys(section).empty()) {
        std::string value = ini.ReadString(section, "ConnectionString");
        if (!value.empty())
            return value;
    }
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

TableComparison RunComparison(const ConnectionStrings& connections, const CompareSwitches& switches,
                              const CompareProgress& progress) {
    TDatabase db1(nullptr);
    TDatabase db2(nullptr);
    db1.SetConnectionString(connections.db1);
    db2.SetConnectionString(connections.db2);
    db1.Connect();
    db2.Connect();

    if (const auto message = OpenFailure(db1))
        throw Error("database 1 cannot be opened: " + *message);
    if (const auto message = OpenFailure(db2))
        throw Error("database 2 cannot be opened: " + *message);

    return CompareDatabases(db1, db2, switches, progress);
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

int RunCommandLine(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                   std::size_t progressWidth) {
    CliOptions options;
    try {
        options = ParseCliOptions(args);
    } catch (const UsageError& error) {
        err << kProgram << ": " << OneLine(error.what()) << " (see " << kProgram << " --help)" << std::endl;
        return 2;
    }

    if (options.mode == CliOptions::Mode::Help) {
        out << UsageText() << std::flush;
        return out ? 0 : 2;
    }
    if (options.mode == CliOptions::Mode::Version) {
        out << VersionText() << std::flush;
        return out ? 0 : 2;
    }

    TableComparison result;
    try {
        const ConnectionStrings connections =
            options.settingsFile ? ReadSettingsFile(*options.settingsFile)
                                 : ConnectionStrings{options.connection1, options.connection2};
        std::optional<ProgressLine> progressLine;
        CompareProgress progress;
        if (progressWidth > 0) {
            progressLine.emplace(err, progressWidth);
            progress = [&](std::size_t index, std::size_t total, const std::string& table) {
                progressLine->Update(index, total, table);
            };
        }
        result = RunComparison(connections, options.switches, progress);
    } catch (const std::exception& error) {
        err << kProgram << ": " << OneLine(error.what()) << std::endl;
        return 2;
    }

    out << FormatResult(result, options.format) << std::flush;
    // A table that could not be read is no table without differences: the run is not a clean one.
    for (const TableError& error : result.errors)
        err << kProgram << ": table " << OneLine(error.table) << " of database " << error.database
            << " cannot be read: " << OneLine(error.message) << std::endl;
    if (!out) {
        err << kProgram << ": the result cannot be written to standard output" << std::endl;
        return 2;
    }
    if (!result.errors.empty())
        return 2;
    return result.count == 0 ? 0 : 1;
}

} // namespace korvista::cli
