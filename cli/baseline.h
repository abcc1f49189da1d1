#pragma once

// Accepted drift: an earlier report whose rows are known and accepted, so that a run reports only what is
// new against it.

#include "cli/report_json.h"

#include <cstdint>
#include <string>
#include <vector>

namespace korvista::cli {

struct BaselineSummary {
    std::int64_t accepted = 0; // differences left out of the report
    std::int64_t gone = 0;     // differences of the baseline that no longer occur
    // Per target (no name for one pair), the baseline's rows that no longer occur, count their differences.
    std::vector<TargetOutcome> goneRows;
};

// Throws korvista::Error naming the file when the baseline was made with other switches, or is of a fleet
// where the run compares one pair, or the other way round.
void CheckBaseline(const SavedReport& baseline, const CompareOptions& options, bool fleet);

// Leaves out of each outcome the rows that the baseline holds for its target with the same table, field,
// both cells and difference, and lowers its count by theirs. The baseline's rows of these targets that no
// longer occur are summed up, except those of a target that could not be compared or of a table that could
// not be read: whether they still occur is not known.
BaselineSummary ApplyBaseline(const SavedReport& baseline, std::vector<TargetOutcome>& outcomes);

// The closing lines of the text output: "N bekende verschillen geaccepteerd", then, when any, "N bekende
// verschillen komen niet meer voor:" and those rows (per target in a fleet).
std::string BaselineText(const BaselineSummary& summary, bool fleet);
// The members "accepted" and "noLongerSeen" of the JSON output, each line after a comma.
std::string BaselineJsonMembers(const BaselineSummary& summary, bool fleet);

} // namespace korvista::cli
