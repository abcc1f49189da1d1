#include "cli/merge.h"

#include "support/errors.h"

#include <algorithm>
#include <map>

namespace korvista::cli {

namespace {

std::string ShardText(const Shard& shard) {
    return "shard " + std::to_string(shard.index) + " of " + std::to_string(shard.count);
}

} // namespace

SavedReport MergeReports(const std::vector<SavedReport>& reports) {
    if (reports.empty())
        throw Error("no report to merge");
    const SavedReport& first = reports.front();
    SavedReport merged;
    merged.fleet = true;
    merged.reference = first.reference;
    merged.options = first.options;
    std::map<unsigned, const SavedReport*> shards;
    std::map<std::string, const SavedReport*> targets;
    for (const SavedReport& report : reports) {
        if (!report.fleet)
            throw Error("the report " + report.file + " is of one pair of databases, not of --targets");
        if (report.reference != first.reference)
            throw Error("the report " + report.file + " compares with another reference than " + first.file);
        if (!SameSwitches(report.options, first.options))
            throw Error("the report " + report.file + " was made with other switches than " + first.file);
        if (report.shard.count != first.shard.count)
            throw Error("the report " + report.file + " is " + ShardText(report.shard) + ", " + first.file +
                        " is " + ShardText(first.shard));
        if (const auto [at, added] = shards.emplace(report.shard.index, &report); !added)
            throw Error("the reports " + at->second->file + " and " + report.file + " are both " +
                        ShardText(report.shard));
        for (const TargetOutcome& outcome : report.outcomes) {
            // A name given twice in one targets file is that run's own affair; in two reports it is overlap.
            if (const auto [at, added] = targets.emplace(outcome.target.name, &report);
                !added && at->second != &report)
                throw Error("the report " + report.file + " holds target " + outcome.target.name + ", as " +
                            at->second->file + " does");
            merged.outcomes.push_back(outcome);
        }
    }
    // A lost job leaves its shard out; its targets would silently pass.
    for (unsigned index = 1; index <= first.shard.count; ++index)
        if (!shards.count(index))
            throw Error("no report of " + ShardText({index, first.shard.count}) + " was given");
    std::stable_sort(
        merged.outcomes.begin(), merged.outcomes.end(),
        [](const TargetOutcome& a, const TargetOutcome& b) { return a.target.name < b.target.name; });
    return merged;
}

} // namespace korvista::cli
