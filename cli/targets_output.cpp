#include "cli/targets_output.h"

#include "cli/cli_output.h"
#include "cli/html_report.h"
#include "cli/report_json.h"
#include "schema/connection_string.h"

namespace korvista::cli {

namespace {

// A failure stands in the result's errors as one without a table, so every format shows it.
TableComparison WithFailure(const TargetOutcome& outcome) {
    TableComparison result = outcome.result;
    if (!outcome.failure.empty())
        result.errors.insert(result.errors.begin(), TableError{"", 2, outcome.failure});
    return result;
}

std::string Text(const std::vector<TargetOutcome>& outcomes) {
    std::string out;
    int differing = 0, failed = 0;
    for (const TargetOutcome& outcome : outcomes) {
        out += "== " + CleanCell(outcome.target.name) + "\n";
        if (!outcome.failure.empty()) {
            out += "Vergelijking mislukt: " + CleanCell(outcome.failure) + "\n\n";
            ++failed;
            continue;
        }
        out += FormatText(outcome.result);
        for (const TableError& error : outcome.result.errors)
            out += "Tabel " + CleanCell(error.table) + " van database " + std::to_string(error.database) +
                   " niet gelezen: " + CleanCell(error.message) + "\n";
        failed += !outcome.result.errors.empty();
        differing += outcome.result.count != 0;
        out += "\n";
    }
    return out + FleetSummary(differing, failed, static_cast<int>(outcomes.size())) + "\n";
}

std::string Tsv(const std::vector<TargetOutcome>& outcomes) {
    std::string out = "Target\t" + FormatTsv({}); // the header line
    for (const TargetOutcome& outcome : outcomes) {
        const std::string rows = FormatTsv(outcome.result);
        const std::string name = CleanCell(outcome.target.name);
        // Every line after the header, prefixed with the target.
        for (std::size_t start = rows.find('\n') + 1; start < rows.size();) {
            const std::size_t end = rows.find('\n', start);
            out += name + "\t" + rows.substr(start, end - start + 1);
            start = end + 1;
        }
    }
    return out;
}

// What a merge or a baseline checks: which reference, switches and shard the report is of.
std::string Json(const std::string& database1, const CompareOptions& options,
                 const std::vector<TargetOutcome>& outcomes, const Shard& shard,
                 const std::string& trailing) {
    std::string out = "{\n  \"version\": 1,\n  \"reference\": " + JsonString(database1) +
                      ",\n  \"switches\": " + JsonSwitches(options) +
                      ",\n  \"shard\": {\"index\": " + std::to_string(shard.index) +
                      ", \"count\": " + std::to_string(shard.count) + "},\n  \"targets\": [";
    std::int64_t total = 0;
    for (std::size_t i = 0; i < outcomes.size(); ++i) {
        const TargetOutcome& outcome = outcomes[i];
        total += outcome.result.count;
        out += i == 0 ? "\n    {\n" : ",\n    {\n";
        out += "      \"target\": " + JsonString(outcome.target.name) + ",\n";
        out += "      \"connection\": " + JsonString(MaskPasswords(outcome.target.connection)) + ",\n";
        out += "      \"differences\": " + std::to_string(outcome.result.count) + ",\n";
        out += JsonRowsAndErrors(WithFailure(outcome), "      ") + "\n    }";
    }
    out += outcomes.empty() ? "],\n" : "\n  ],\n";
    return out + "  \"differences\": " + std::to_string(total) + trailing + "\n}\n";
}

} // namespace

std::string FormatTargets(const std::string& database1, const CompareOptions& options,
                          const std::vector<TargetOutcome>& outcomes, OutputFormat format, const Shard& shard,
                          const BaselineSummary* baseline) {
    switch (format) {
    case OutputFormat::Tsv:
        return Tsv(outcomes);
    case OutputFormat::Json:
        return Json(database1, options, outcomes, shard,
                    baseline ? BaselineJsonMembers(*baseline, true) : "");
    case OutputFormat::Html: {
        std::vector<ReportSection> sections;
        for (const TargetOutcome& outcome : outcomes)
            sections.push_back({outcome.target.name, MaskPasswords(outcome.target.connection), outcome.result,
                                outcome.failure});
        return FormatHtml({database1, options, baseline}, sections);
    }
    case OutputFormat::Text:
        break;
    }
    return Text(outcomes) + (baseline ? BaselineText(*baseline, true) : "");
}

} // namespace korvista::cli
