#pragma once

// One self-contained HTML page of a comparison: no external file, font, script or style sheet, readable
// in a browser and on paper.

#include "cli/baseline.h"
#include "compare/schema_comparison.h"

#include <string>
#include <vector>

namespace korvista::cli {

// One database 2 and what comparing it gave; failure is why it could not be compared at all.
struct ReportSection {
    std::string name;      // the target's name; empty for a plain comparison of two databases
    std::string database2; // masked connection string
    TableComparison result;
    std::string failure;
};

struct ReportHeader {
    std::string database1; // masked connection string
    CompareOptions options;
    const BaselineSummary* baseline = nullptr; // what a baseline accepted, shown at the end
};

// "N van M doelen wijken af", and how many could not be compared when any.
std::string FleetSummary(int differing, int failed, int total);

// The differences a row counts: one per item of its difference text.
int RowCount(const ResultRow& row);

std::string FormatHtml(const ReportHeader& header, const std::vector<ReportSection>& sections);

} // namespace korvista::cli
