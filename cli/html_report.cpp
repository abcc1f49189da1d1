#include "cli/html_report.h"

#include "cli/cli_output.h"

#include <algorithm>

namespace korvista::cli {

namespace {

std::string Escape(const std::string& text) {
    std::string out;
    for (char c : RepairUtf8(text)) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&#39;";
            break;
        default:
            out += static_cast<unsigned char>(c) < 0x20 ? ' ' : c;
        }
    }
    return out;
}

constexpr const char* kStyle = R"(
  :root { color-scheme: light; }
  body { font: 14px/1.45 "DejaVu Sans", "Segoe UI", Helvetica, Arial, sans-serif; color: #1d2329;
         margin: 2rem auto; max-width: 64rem; padding: 0 1.5rem; }
  h1 { font-size: 1.5rem; margin: 0 0 .25rem; }
  h2 { font-size: 1.2rem; margin: 2rem 0 .5rem; border-bottom: 2px solid #2f6f9f; padding-bottom: .2rem; }
  h3 { font-size: 1rem; margin: 1.25rem 0 .35rem; }
  h3 .count { font-weight: normal; color: #5a6570; }
  dl.meta { display: grid; grid-template-columns: max-content 1fr; gap: .2rem 1rem; margin: .75rem 0; }
  dl.meta dt { font-weight: bold; }
  dl.meta dd { margin: 0; font-family: "DejaVu Sans Mono", Consolas, monospace; overflow-wrap: anywhere; }
  .switch { display: inline-block; margin-right: .6rem; }
  .on::before { content: "\2611\00a0"; } .off::before { content: "\2610\00a0"; } .off { color: #7a848d; }
  .summary { font-weight: bold; margin: .75rem 0; }
  .summary.clean { color: #2d6a2d; } .summary.drift { color: #9a4a00; } .summary.failed { color: #a01c1c; }
  table { border-collapse: collapse; width: 100%; margin-bottom: .5rem; }
  th, td { border: 1px solid #c6ccd2; padding: .25rem .5rem; text-align: left; vertical-align: top; }
  th { background: #e9eef2; font-weight: bold; }
  td { font-family: "DejaVu Sans Mono", Consolas, monospace; font-size: 13px; overflow-wrap: anywhere; }
  td.verschil { font-family: inherit; }
  tr:nth-child(even) td { background: #f7f9fa; }
  .errors li { color: #a01c1c; }
  footer { margin-top: 2rem; color: #7a848d; font-size: 12px; }
  @media print {
    body { margin: 0; max-width: none; font-size: 11pt; }
    h2 { break-after: avoid; } h3 { break-after: avoid; }
    tr { break-inside: avoid; } thead { display: table-header-group; }
    tr:nth-child(even) td { background: none; }
  }
)";

std::string SwitchItem(const char* caption, bool on) {
    return std::string("<span class=\"switch ") + (on ? "on" : "off") + "\">" + caption + "</span>";
}

std::string Summary(const TableComparison& result, const std::string& failure) {
    if (!failure.empty())
        return "<p class=\"summary failed\">Vergelijking mislukt: " + Escape(failure) + "</p>\n";
    std::string out;
    if (result.count == 0)
        out = "<p class=\"summary clean\">Geen verschillen gevonden.</p>\n";
    else
        out = "<p class=\"summary drift\">Er zijn " + std::to_string(result.count) + " verschillen gevonden!</p>\n";
    if (!result.errors.empty())
        out += "<p class=\"summary failed\">" + std::to_string(result.errors.size()) +
               (result.errors.size() == 1 ? " tabel" : " tabellen") + " niet gelezen.</p>\n";
    return out;
}

std::string Rows(const TableComparison& result, const char* heading) {
    std::string out;
    for (std::size_t i = 0; i < result.rows.size();) {
        const std::string& table = result.rows[i].table;
        std::size_t end = i;
        int count = 0;
        while (end < result.rows.size() && result.rows[end].table == table)
            count += RowCount(result.rows[end++]);
        out += std::string("<") + heading + ">" + Escape(table) + " <span class=\"count\">(" +
               std::to_string(count) + ")</span></" + heading + ">\n";
        out += "<table>\n<thead><tr><th>Table</th><th>Veldnaam</th><th>Veld (DB1)</th><th>Veld (DB2)</th>"
               "<th>Verschil</th></tr></thead>\n<tbody>\n";
        for (; i < end; ++i) {
            const ResultRow& row = result.rows[i];
            out += "<tr><td>" + Escape(row.table) + "</td><td>" + Escape(row.field) + "</td><td>" + Escape(row.db1) +
                   "</td><td>" + Escape(row.db2) + "</td><td class=\"verschil\">" + Escape(row.difference) +
                   "</td></tr>\n";
        }
        out += "</tbody>\n</table>\n";
    }
    if (!result.errors.empty()) {
        out += "<ul class=\"errors\">\n";
        for (const TableError& error : result.errors)
            out += "<li>Tabel " + Escape(error.table) + " van database " + std::to_string(error.database) +
                   " niet gelezen: " + Escape(error.message) + "</li>\n";
        out += "</ul>\n";
    }
    return out;
}

} // namespace

std::string FleetSummary(int differing, int failed, int total) {
    std::string text = std::to_string(differing) + " van " + std::to_string(total) + " doelen wijken af";
    if (failed != 0)
        text += "; " + std::to_string(failed) + " van " + std::to_string(total) + " doelen mislukt";
    return text;
}

int RowCount(const ResultRow& row) {
    if (row.difference == "FIELD MISSING" || row.difference == "FIELD EXTRA")
        return 1;
    return static_cast<int>(std::count(row.difference.begin(), row.difference.end(), ',')) + 1;
}

std::string FormatHtml(const ReportHeader& header, const std::vector<ReportSection>& sections) {
    const CompareOptions& options = header.options;
    const bool fleet = sections.size() != 1 || !sections.front().name.empty();
    std::string out = "<!DOCTYPE html>\n<html lang=\"nl\">\n<head>\n<meta charset=\"utf-8\">\n"
                      "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
                      "<title>Korvista: vergelijking van tabelstructuren</title>\n<style>";
    out += kStyle;
    out += "</style>\n</head>\n<body>\n<h1>Vergelijking van tabelstructuren</h1>\n<dl class=\"meta\">\n";
    out += "<dt>Database 1</dt><dd>" + Escape(header.database1) + "</dd>\n";
    if (!fleet)
        out += "<dt>Database 2</dt><dd>" + Escape(sections.front().database2) + "</dd>\n";
    out += "<dt>Vergelijk</dt><dd style=\"font-family: inherit\">" + SwitchItem("Datatype", options.switches.datatype) +
           SwitchItem("Size", options.switches.size) + SwitchItem("Null-velden", options.switches.null) +
           SwitchItem("Missing", options.switches.missing) + SwitchItem("Beide richtingen", options.bothWays) +
           "</dd>\n";
    const auto patterns = [](const std::vector<std::string>& list) {
        std::string text;
        for (const std::string& pattern : list)
            text += (text.empty() ? "" : ", ") + pattern;
        return text;
    };
    if (!options.tables.include.empty())
        out += "<dt>Tabellen</dt><dd>" + Escape(patterns(options.tables.include)) + "</dd>\n";
    if (!options.tables.exclude.empty())
        out += "<dt>Behalve</dt><dd>" + Escape(patterns(options.tables.exclude)) + "</dd>\n";
    out += "</dl>\n";

    if (!fleet) {
        out += Summary(sections.front().result, sections.front().failure);
        out += Rows(sections.front().result, "h2");
    } else {
        int differing = 0, failed = 0;
        for (const ReportSection& section : sections) {
            failed += !section.failure.empty() || !section.result.errors.empty();
            differing += section.failure.empty() && section.result.count != 0;
        }
        out += "<p class=\"summary\">" + Escape(FleetSummary(differing, failed, static_cast<int>(sections.size()))) +
               "</p>\n";
        for (const ReportSection& section : sections) {
            out += "<section>\n<h2>" + Escape(section.name) + "</h2>\n<dl class=\"meta\"><dt>Database 2</dt><dd>" +
                   Escape(section.database2) + "</dd></dl>\n";
            out += Summary(section.result, section.failure);
            out += Rows(section.result, "h3");
            out += "</section>\n";
        }
    }
    out += "<footer>Korvista</footer>\n</body>\n</html>\n";
    return out;
}

} // namespace korvista::cli
