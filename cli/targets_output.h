#pragma once

#include "cli/baseline.h"
#include "cli/cli_options.h"
#include "cli/shard.h"
#include "cli/targets.h"

#include <string>
#include <vector>

namespace korvista::cli {

// The outcome of a run over many targets in one of the output formats, targets in file order:
// text a section per target and "N van M doelen wijken af"; tsv a first column "Target";
// json {"version": 1, "reference", "switches", "shard", "targets": [{"target", "connection", "differences",
// "rows", "errors"}], "differences": total}; html a section per target. A target that could not be compared
// shows its failure (in json as an error without a table). Connections are masked here; database1 is
// masked already. With a baseline, text, json and html end with what it accepted and what no longer occurs.
std::string FormatTargets(const std::string& database1, const CompareOptions& options,
                          const std::vector<TargetOutcome>& outcomes, OutputFormat format,
                          const Shard& shard = {}, const BaselineSummary* baseline = nullptr);

} // namespace korvista::cli
