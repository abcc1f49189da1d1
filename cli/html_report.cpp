#include "cli/html_report.h"

#include "cli/cli_output.h"
#include "version.h"

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

// The page is also well-formed XML (void elements closed, numeric references only), so that any XML
// reader can take it apart.
constexpr const char* kStyle = R"(
  :root { color-scheme: light; --rule: #c9d1d9; --head: #eef2f6; --ink: #1d2329; --mute: #5f6b76;
          --blue: #2f6f9f; --missing: #b3261e; --extra: #1f5fa8; --changed: #8a5300; --clean: #2d6a2d; }
  * { box-sizing: border-box; }
  body { font: 14px/1.45 "DejaVu Sans", "Segoe UI", Helvetica, Arial, sans-serif; color: var(--ink);
         margin: 2rem auto; max-width: 72rem; padding: 0 1.5rem; }
  header { border-bottom: 3px solid var(--blue); padding-bottom: .6rem; margin-bottom: 1rem; }
  h1 { font-size: 1.55rem; margin: 0 0 .5rem; }
  h1 .brand { color: var(--blue); font-weight: normal; }
  h2 { font-size: 1.2rem; margin: 2rem 0 .6rem; padding-bottom: .2rem; border-bottom: 2px solid var(--blue); }
  h3 { font-size: 1rem; margin: 1.4rem 0 .4rem; }
  .count { font-weight: normal; color: var(--mute); }
  dl.meta { display: grid; grid-template-columns: max-content 1fr; gap: .2rem 1rem; margin: .4rem 0; }
  dl.meta dt { font-weight: bold; }
  dl.meta dd { margin: 0; overflow-wrap: anywhere; }
  .mono, td.cell { font-family: "DejaVu Sans Mono", Consolas, monospace; }
  .switch { display: inline-block; margin-right: .8rem; white-space: nowrap; }
  .on::before { content: "\2611\00a0"; } .off::before { content: "\2610\00a0"; } .off { color: var(--mute); }
  .summary { font-weight: bold; font-size: 1.05rem; margin: .8rem 0; }
  .clean { color: var(--clean); } .drift { color: var(--changed); } .failed { color: var(--missing); }
  table { border-collapse: collapse; width: 100%; table-layout: fixed; margin-bottom: .6rem; }
  th, td { border: 1px solid var(--rule); padding: .3rem .55rem; text-align: left; vertical-align: top;
           overflow-wrap: anywhere; }
  th { background: var(--head); font-weight: bold; }
  td.cell { font-size: 13px; }
  td.number { text-align: right; font-variant-numeric: tabular-nums; }
  tbody tr:nth-child(even) td { background: #f8fafb; }
  td.difference { font-weight: bold; border-left: 4px solid var(--changed); color: var(--changed); }
  td.difference.missing { border-left-color: var(--missing); color: var(--missing); }
  td.difference.extra { border-left-color: var(--extra); color: var(--extra); }
  col.c-table { width: 17%; } col.c-field { width: 17%; } col.c-db { width: 22%; } col.c-difference { width: 22%; }
  col.c-target { width: 24%; } col.c-connection { width: 42%; } col.c-count { width: 15%; } col.c-outcome { width: 19%; }
  table.overview a { color: inherit; }
  .errors { padding-left: 1.2rem; }
  .errors li { color: var(--missing); margin: .2rem 0; }
  footer { margin-top: 2.5rem; padding-top: .4rem; border-top: 1px solid var(--rule); color: var(--mute); font-size: 12px; }
  @media print {
    @page { margin: 14mm 12mm; }
    body { margin: 0; max-width: none; padding: 0; font-size: 10pt; }
    td.cell { font-size: 9pt; }
    h2, h3 { break-after: avoid; }
    tr { break-inside: avoid; } thead { display: table-header-group; }
    /* A table exactly as wide as the page loses its right-hand border to the page edge. */
    table { width: 99.5%; }
    th { background: var(--head); -webkit-print-color-adjust: exact; print-color-adjust: exact; }
    tbody tr:nth-child(even) td { background: none; }
    table.overview a { text-decoration: none; }
  }
)";

std::string SwitchItem(const char* caption, bool on) {
    return std::string("<span class=\"switch ") + (on ? "on" : "off") + "\">" + caption + "</span>";
}

bool Failed(const ReportSection& section) {
    return !section.failure.empty() || !section.result.errors.empty();
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

const char* DifferenceKind(const ResultRow& row) {
    if (row.difference == "FIELD MISSING")
        return "difference missing";
    if (row.difference == "FIELD EXTRA")
        return "difference extra";
    return "difference";
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
        out += "<table class=\"rows\">\n<colgroup><col class=\"c-table\" /><col class=\"c-field\" /><col class=\"c-db\" />"
               "<col class=\"c-db\" /><col class=\"c-difference\" /></colgroup>\n"
               "<thead><tr>";
        for (const char* caption : kResultCaptions)
            out += std::string("<th>") + Escape(caption) + "</th>";
        out += "</tr></thead>\n<tbody>\n";
        for (; i < end; ++i) {
            const ResultRow& row = result.rows[i];
            out += "<tr><td class=\"cell\">" + Escape(row.table) + "</td><td class=\"cell\">" + Escape(row.field) +
                   "</td><td class=\"cell\">" + Escape(row.db1) + "</td><td class=\"cell\">" + Escape(row.db2) +
                   "</td><td class=\"" + DifferenceKind(row) + "\">" + Escape(row.difference) + "</td></tr>\n";
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

// What the baseline accepted and, to renew it, its rows that no longer occur.
std::string BaselineSection(const BaselineSummary& baseline, bool fleet) {
    std::string out = "<section id=\"bekend\">\n<h2>Bekende verschillen</h2>\n<p class=\"summary\">" +
                      std::to_string(baseline.accepted) + " bekende verschillen geaccepteerd</p>\n";
    if (!baseline.goneRows.empty())
        out += "<p class=\"summary\">" + std::to_string(baseline.gone) +
               " bekende verschillen komen niet meer voor:</p>\n";
    for (const TargetOutcome& gone : baseline.goneRows)
        out += (fleet ? "<h3>" + Escape(gone.target.name) + "</h3>\n" : "") +
               Rows(gone.result, fleet ? "h4" : "h3");
    return out + "</section>\n";
}

// One line per target, linked to its section.
std::string Overview(const std::vector<ReportSection>& sections) {
    std::string out = "<table class=\"overview\">\n<colgroup><col class=\"c-target\" /><col class=\"c-connection\" />"
                      "<col class=\"c-count\" /><col class=\"c-outcome\" /></colgroup>\n"
                      "<thead><tr><th>Doel</th><th>Database 2</th><th>Verschillen</th><th>Uitkomst</th></tr></thead>\n"
                      "<tbody>\n";
    for (std::size_t i = 0; i < sections.size(); ++i) {
        const ReportSection& section = sections[i];
        const char* outcome = Failed(section) ? "<span class=\"failed\">mislukt</span>"
                              : section.result.count != 0 ? "<span class=\"drift\">wijkt af</span>"
                                                          : "<span class=\"clean\">gelijk</span>";
        out += "<tr><td><a href=\"#doel-" + std::to_string(i + 1) + "\">" + Escape(section.name) +
               "</a></td><td class=\"cell\">" + Escape(section.database2) + "</td><td class=\"number\">" +
               (section.failure.empty() ? std::to_string(section.result.count) : std::string("&#8211;")) +
               "</td><td>" + outcome + "</td></tr>\n";
    }
    return out + "</tbody>\n</table>\n";
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
    std::string out = "<!DOCTYPE html>\n<html lang=\"nl\">\n<head>\n<meta charset=\"utf-8\" />\n"
                      "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\" />\n"
                      "<title>Korvista: vergelijking van tabelstructuren</title>\n<style>";
    out += kStyle;
    out += "</style>\n</head>\n<body>\n<header>\n<h1><span class=\"brand\">Korvista</span> &#183; Vergelijking van "
           "tabelstructuren</h1>\n<dl class=\"meta\">\n";
    out += "<dt>Database 1</dt><dd class=\"mono\">" + Escape(header.database1) + "</dd>\n";
    if (!fleet)
        out += "<dt>Database 2</dt><dd class=\"mono\">" + Escape(sections.front().database2) + "</dd>\n";
    out += "<dt>Vergelijk</dt><dd>" + SwitchItem("Datatype", options.switches.datatype) +
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
        out += "<dt>Tabellen</dt><dd class=\"mono\">" + Escape(patterns(options.tables.include)) + "</dd>\n";
    if (!options.tables.exclude.empty())
        out += "<dt>Behalve</dt><dd class=\"mono\">" + Escape(patterns(options.tables.exclude)) + "</dd>\n";
    out += "</dl>\n";

    if (!fleet) {
        out += Summary(sections.front().result, sections.front().failure) + "</header>\n";
        out += Rows(sections.front().result, "h2");
    } else {
        int differing = 0, failed = 0;
        for (const ReportSection& section : sections) {
            failed += Failed(section);
            differing += section.failure.empty() && section.result.count != 0;
        }
        out += "<p class=\"summary" + std::string(failed ? " failed" : differing ? " drift" : " clean") + "\">" +
               Escape(FleetSummary(differing, failed, static_cast<int>(sections.size()))) + "</p>\n</header>\n";
        out += Overview(sections);
        for (std::size_t i = 0; i < sections.size(); ++i) {
            const ReportSection& section = sections[i];
            out += "<section id=\"doel-" + std::to_string(i + 1) + "\">\n<h2>" + Escape(section.name) +
                   "</h2>\n<dl class=\"meta\"><dt>Database 2</dt><dd class=\"mono\">" + Escape(section.database2) +
                   "</dd></dl>\n";
            out += Summary(section.result, section.failure);
            out += Rows(section.result, "h3");
            out += "</section>\n";
        }
    }
    if (header.baseline)
        out += BaselineSection(*header.baseline, fleet);
    out += std::string("<footer>korvista-cli ") + KORVISTA_FILE_VERSION + "</footer>\n</body>\n</html>\n";
    return out;
}

} // namespace korvista::cli
