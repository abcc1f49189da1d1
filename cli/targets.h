#pragma once

// One reference database compared with many targets (tenants, shards, regional copies), each target on its
// own connection, a few at a time in threads; results in the order of the targets file.

#include "compare/schema_comparison.h"
#include "schema/session_limits.h"

#include <string>
#include <vector>

namespace korvista::cli {

struct Target {
    std::string name;
    std::string connection;
};

// Lines "NAME<TAB>CONNECTION" or a bare connection string, named by its masked form; blank lines and lines
// starting with "#" are skipped. Throws korvista::Error naming the line of an empty name or connection,
// and when the file names no target at all.
std::vector<Target> ParseTargets(const std::string& text, const std::string& fileName);

// Reads and parses the file; throws korvista::Error when it is missing, not a regular file or unreadable.
std::vector<Target> ReadTargetsFile(const std::string& fileName);

struct TargetOutcome {
    Target target;
    TableComparison result;
    std::string failure; // why the target could not be compared at all; empty when it was
};

// Compares database 1, read once, with every target, `jobs` targets at a time. A target that cannot be
// opened, listed or read to the end is that target's failure; the others still run.
std::vector<TargetOutcome> CompareTargets(const DatabaseSchema& database1, const std::vector<Target>& targets,
                                          const CompareOptions& options, unsigned jobs,
                                          const SessionLimits& limits = {});

} // namespace korvista::cli
