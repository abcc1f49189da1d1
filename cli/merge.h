#pragma once

// The JSON reports of a fleet's shards put back together into the report of the whole fleet.

#include "cli/report_json.h"

#include <vector>

namespace korvista::cli {

// One fleet report (shard 1 of 1) of every target of the reports, ordered by name. Throws korvista::Error
// naming the file of a report of one pair, from another reference or switches, of another shard count, of
// a shard or a target that an earlier report holds, and naming a shard that no report holds.
SavedReport MergeReports(const std::vector<SavedReport>& reports);

} // namespace korvista::cli
