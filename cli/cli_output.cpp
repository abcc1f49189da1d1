#include "cli/cli_output.h"

#include "cli/html_report.h"
#include "support/json_text.h"

#include <QString>

#include <array>
#include <cstdio>

namespace korvista::cli {

namespace {

std::array<std::string, 5> Cells(const ResultRow& row) {
    return {row.table, row.field, row.db1, row.db2, row.difference};
}

void AppendJsonString(std::string& out, const std::string& text) {
    korvista::AppendJsonString(out, RepairUtf8(text));
}

} // namespace

std::string RepairUtf8(const std::string& text) {
    // Qt's decoder replaces each invalid sequence (overlong forms and surrogates included) with U+FFFD.
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())).toStdString();
}

std::string CleanCell(const std::string& text) {
    std::string cell = RepairUtf8(text);
    for (char& c : cell) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            c = ' ';
    }
    return cell;
}

std::size_t CodePointCount(const std::string& text) {
    std::size_t count = 0;
    for (const char c : text) {
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80)
            ++count;
    }
    return count;
}

std::string FormatText(const TableComparison& result) {
    std::vector<std::array<std::string, 5>> lines;
    lines.reserve(result.rows.size() + 2);
    lines.push_back({kResultCaptions[0], kResultCaptions[1], kResultCaptions[2], kResultCaptions[3], kResultCaptions[4]});
    lines.emplace_back(); // the rule under the captions, sized below
    for (const ResultRow& row : result.rows) {
        std::array<std::string, 5> cells = Cells(row);
        for (std::string& cell : cells)
            cell = CleanCell(cell);
        lines.push_back(std::move(cells));
    }

    std::array<std::size_t, 5> widths{};
    for (const auto& cells : lines) {
        for (std::size_t i = 0; i < cells.size(); ++i)
            widths[i] = std::max(widths[i], CodePointCount(cells[i]));
    }
    for (std::size_t i = 0; i < widths.size(); ++i)
        lines[1][i] = std::string(widths[i], '-');

    std::string out;
    for (const auto& cells : lines) {
        std::string line;
        for (std::size_t i = 0; i < cells.size(); ++i) {
            if (i > 0)
                line += "  ";
            line += cells[i];
            if (i + 1 < cells.size())
                line.append(widths[i] - CodePointCount(cells[i]), ' ');
        }
        // The last cell is never padded, but an empty one leaves the blanks before it.
        line.erase(line.find_last_not_of(' ') + 1);
        out += line + '\n';
    }
    if (result.count != 0)
        out += "\nEr zijn " + std::to_string(result.count) + " verschillen gevonden!\n";
    return out;
}

std::string FormatTsv(const TableComparison& result) {
    std::string out;
    for (std::size_t i = 0; i < kResultCaptions.size(); ++i)
        out += std::string(i > 0 ? "\t" : "") + kResultCaptions[i];
    out += '\n';
    for (const ResultRow& row : result.rows) {
        const std::array<std::string, 5> cells = Cells(row);
        for (std::size_t i = 0; i < cells.size(); ++i)
            out += (i > 0 ? "\t" : "") + CleanCell(cells[i]);
        out += '\n';
    }
    return out;
}

std::string JsonRowsAndErrors(const TableComparison& result, const std::string& indent) {
    std::string out = indent + "\"rows\": [";
    for (std::size_t r = 0; r < result.rows.size(); ++r) {
        const ResultRow& row = result.rows[r];
        out += (r == 0 ? "\n" : ",\n") + indent + "  {";
        const std::array<std::pair<const char*, const std::string*>, 5> fields = {
            {{"table", &row.table},
             {"field", &row.field},
             {"db1", &row.db1},
             {"db2", &row.db2},
             {"difference", &row.difference}}};
        for (std::size_t i = 0; i < fields.size(); ++i) {
            out += i == 0 ? "\"" : ", \"";
            out += fields[i].first;
            out += "\": ";
            AppendJsonString(out, *fields[i].second);
        }
        out += "}";
    }
    out += result.rows.empty() ? "],\n" + indent + "\"errors\": [" : "\n" + indent + "],\n" + indent + "\"errors\": [";
    for (std::size_t e = 0; e < result.errors.size(); ++e) {
        const TableError& error = result.errors[e];
        out += (e == 0 ? "\n" : ",\n") + indent + "  {\"table\": ";
        AppendJsonString(out, error.table);
        out += ", \"database\": " + std::to_string(error.database) + ", \"message\": ";
        AppendJsonString(out, error.message);
        out += "}";
    }
    out += result.errors.empty() ? "]" : "\n" + indent + "]";
    return out;
}

std::string JsonString(const std::string& text) {
    std::string out;
    AppendJsonString(out, text);
    return out;
}

std::string FormatJson(const TableComparison& result, const std::string& leading,
                       const std::string& trailing) {
    return "{\n  \"version\": 1,\n" + leading + "  \"differences\": " + std::to_string(result.count) + ",\n" +
           JsonRowsAndErrors(result, "  ") + trailing + "\n}\n";
}

std::string FormatResult(const TableComparison& result, OutputFormat format) {
    switch (format) {
    case OutputFormat::Tsv:
        return FormatTsv(result);
    case OutputFormat::Json:
        return FormatJson(result);
    case OutputFormat::Html:
        return FormatHtml({}, {ReportSection{"", "", result, ""}});
    case OutputFormat::Text:
        break;
    }
    return FormatText(result);
}

} // namespace korvista::cli
