#pragma once

// A JSON report of korvista-cli read back, for merging the reports of shards and for a baseline; and the
// members that let a reader tell which reference and switches a report was made with.

#include "cli/shard.h"
#include "cli/targets.h"

#include <string>
#include <vector>

namespace korvista::cli {

// {"datatype", "size", "null", "missing", "bothWays", "table", "excludeTable"} on one line.
std::string JsonSwitches(const CompareOptions& options);
bool SameSwitches(const CompareOptions& a, const CompareOptions& b);

struct SavedReport {
    std::string file;
    bool fleet = false;    // of --targets or a merge; else of one pair of databases
    std::string reference; // database 1, masked; fleet only
    CompareOptions options;
    Shard shard;
    // A fleet's targets (connection masked, a failure back in its place); one pair's result as one outcome
    // without a name.
    std::vector<TargetOutcome> outcomes;
};

// Throws korvista::Error naming the file when the text is no JSON report of this version that records its
// switches (and, for a fleet, its reference and shard).
SavedReport ParseReport(const std::string& json, const std::string& file);
// Reads and parses; throws korvista::Error naming the file when it cannot be read.
SavedReport ReadReport(const std::string& file);

} // namespace korvista::cli
