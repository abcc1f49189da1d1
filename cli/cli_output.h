#pragma once

#include "cli/cli_options.h"
#include "compare/comparison.h"

#include <cstddef>
#include <string>

namespace korvista::cli {

// Invalid UTF-8 sequences become U+FFFD; everything else is kept byte for byte.
std::string RepairUtf8(const std::string& text);
// Repaired, and every ASCII control character (tab and newline included) replaced by a blank.
std::string CleanCell(const std::string& text);
// Code points of valid UTF-8 text.
std::size_t CodePointCount(const std::string& text);

// A JSON string literal of repaired UTF-8 text.
std::string JsonString(const std::string& text);
// The "rows" and "errors" members of a result, each line starting with indent.
std::string JsonRowsAndErrors(const TableComparison& result, const std::string& indent);

std::string FormatText(const TableComparison& result);
std::string FormatTsv(const TableComparison& result);
// leading: members written after "version", each line ending in ",\n"; trailing: members after "errors",
// each starting with ",\n".
std::string FormatJson(const TableComparison& result, const std::string& leading = {},
                       const std::string& trailing = {});
std::string FormatResult(const TableComparison& result, OutputFormat format);

} // namespace korvista::cli
