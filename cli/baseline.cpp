#include "cli/baseline.h"

#include "cli/cli_output.h"
#include "cli/html_report.h"
#include "support/errors.h"

#include <algorithm>
#include <array>
#include <map>
#include <set>

namespace korvista::cli {

namespace {

using RowKey = std::array<std::string, 5>;

RowKey Key(const ResultRow& row) {
    return {row.table, row.field, row.db1, row.db2, row.difference};
}

std::set<RowKey> Keys(const std::vector<ResultRow>& rows) {
    std::set<RowKey> keys;
    for (const ResultRow& row : rows)
        keys.insert(Key(row));
    return keys;
}

} // namespace

void CheckBaseline(const SavedReport& baseline, const CompareOptions& options, bool fleet) {
    if (!SameSwitches(baseline.options, options))
        throw Error("the baseline " + baseline.file + " was made with other switches than this run");
    if (baseline.fleet != fleet)
        throw Error("the baseline " + baseline.file +
                    (baseline.fleet ? " is of --targets, this run compares one pair"
                                    : " is of one pair, this run compares targets"));
}

BaselineSummary ApplyBaseline(const SavedReport& baseline, std::vector<TargetOutcome>& outcomes) {
    std::map<std::string, std::vector<ResultRow>> known;
    for (const TargetOutcome& outcome : baseline.outcomes) {
        std::vector<ResultRow>& rows = known[outcome.target.name];
        rows.insert(rows.end(), outcome.result.rows.begin(), outcome.result.rows.end());
    }
    BaselineSummary summary;
    for (TargetOutcome& outcome : outcomes) {
        const auto found = known.find(outcome.target.name);
        if (found == known.end())
            continue;
        const std::set<RowKey> accepted = Keys(found->second);
        const std::set<RowKey> occurring = Keys(outcome.result.rows);
        std::vector<ResultRow>& rows = outcome.result.rows;
        const auto kept = std::stable_partition(
            rows.begin(), rows.end(), [&](const ResultRow& row) { return !accepted.count(Key(row)); });
        for (auto row = kept; row != rows.end(); ++row) {
            outcome.result.count -= RowCount(*row);
            summary.accepted += RowCount(*row);
        }
        rows.erase(kept, rows.end());

        if (!outcome.failure.empty())
            continue;
        TargetOutcome gone{outcome.target, {}, {}};
        for (const ResultRow& row : found->second) {
            const bool unread =
                std::any_of(outcome.result.errors.begin(), outcome.result.errors.end(),
                            [&](const TableError& error) { return error.table == row.table; });
            if (!unread && !occurring.count(Key(row))) {
                gone.result.rows.push_back(row);
                gone.result.count += RowCount(row);
            }
        }
        if (!gone.result.rows.empty()) {
            summary.gone += gone.result.count;
            summary.goneRows.push_back(std::move(gone));
        }
    }
    return summary;
}

std::string BaselineText(const BaselineSummary& summary, bool fleet) {
    std::string out = "\n" + std::to_string(summary.accepted) + " bekende verschillen geaccepteerd\n";
    if (summary.goneRows.empty())
        return out;
    out += std::to_string(summary.gone) + " bekende verschillen komen niet meer voor:\n";
    for (const TargetOutcome& gone : summary.goneRows)
        out += (fleet ? "== " + CleanCell(gone.target.name) + "\n" : "") + FormatText({gone.result.rows, 0});
    return out;
}

std::string BaselineJsonMembers(const BaselineSummary& summary, bool fleet) {
    std::string out = ",\n  \"accepted\": " + std::to_string(summary.accepted) + ",\n  \"noLongerSeen\": [";
    bool first = true;
    for (const TargetOutcome& gone : summary.goneRows)
        for (const ResultRow& row : gone.result.rows) {
            out += first ? "\n    {" : ",\n    {";
            first = false;
            if (fleet)
                out += "\"target\": " + JsonString(gone.target.name) + ", ";
            out += "\"table\": " + JsonString(row.table) + ", \"field\": " + JsonString(row.field) +
                   ", \"db1\": " + JsonString(row.db1) + ", \"db2\": " + JsonString(row.db2) +
                   ", \"difference\": " + JsonString(row.difference) + "}";
        }
    return out + (first ? "]" : "\n  ]");
}

} // namespace korvista::cli
