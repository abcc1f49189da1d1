#pragma once

#include "cli/cli_options.h"
#include "compare/schema_comparison.h"

#include <cstddef>
#include <ostream>
#include <string>
#include <vector>

namespace korvista::cli {

struct ConnectionStrings {
    std::string db1;
    std::string db2;
};

// Both strings from a settings file of the window's form; throws korvista::Error when the file cannot
// be read or lacks either string.
ConnectionStrings ReadSettingsFile(const std::string& path);

// Opens both databases as "Openen databases" does (a failed open is logged) and runs the comparison.
// Throws korvista::Error when either database cannot be opened: the window would list nothing for
// database 1, and for database 2 it would silently report every column as missing.
TableComparison RunComparison(const ConnectionStrings& connections, const CompareOptions& options,
                              const CompareProgress& progress = {}, const SessionLimits& limits = {});

// Opens the database as RunComparison does; throws korvista::Error "database N cannot be opened: ...".
void OpenDatabase(TDatabase& database, const std::string& connection, int number,
                  const SessionLimits& limits = {});

// "table i of N: name" on one terminal line, rewritten in place and wiped by Clear or destruction.
class ProgressLine {
public:
    ProgressLine(std::ostream& out, std::size_t width);
    ~ProgressLine();
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

    void Update(std::size_t index, std::size_t total, const std::string& table);
    void Clear();

private:
    std::ostream& out_;
    std::size_t width_;
    std::size_t shown_ = 0; // code points on the line now
};

// The whole program after start-up: parses, runs, writes the result to out and errors to err, and
// gives the exit status (0 no differences, 1 differences, 2 error). progressWidth 0 shows no progress.
int RunCommandLine(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                   std::size_t progressWidth);

} // namespace korvista::cli
