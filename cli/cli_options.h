#pragma once

#include "cli/shard.h"
#include "compare/schema_comparison.h"
#include "schema/session_limits.h"
#include "support/errors.h"

#include <optional>
#include <string>
#include <vector>

namespace korvista::cli {

enum class OutputFormat { Text, Tsv, Json, Html };

struct CliOptions {
    enum class Mode { Run, Targets, Merge, SaveSnapshot, Help, Version };

    Mode mode = Mode::Run;
    std::string connection1;
    std::string connection2;
    std::optional<std::string> settingsFile; // both strings come from here instead
    CompareSwitches switches;
    bool bothWays = false;
    TableFilter tables;
    OutputFormat format = OutputFormat::Text;
    std::string targetsFile;              // Targets: database 1 is connection1
    unsigned jobs = 0;                    // Targets: 0 for the number of cores
    std::string snapshotFile;             // SaveSnapshot: of connection1
    std::optional<Shard> shard;           // Targets: only the targets of this shard
    std::vector<std::string> reportFiles; // Merge: the JSON reports of the shards
    std::string baselineFile;             // Run, Targets, Merge: a report of the drift accepted
    SessionLimits limits;                 // of every connection of the run

    CompareOptions Compare() const {
        CompareOptions options(switches);
        options.bothWays = bothWays;
        options.tables = tables;
        return options;
    }
};

// A command line that cannot be run; the message names what is wrong.
class UsageError : public Error {
public:
    using Error::Error;
};

// The arguments after the program name; throws UsageError.
CliOptions ParseCliOptions(const std::vector<std::string>& args);

std::string UsageText();
std::string VersionText();

} // namespace korvista::cli
