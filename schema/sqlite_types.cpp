#include "schema/sqlite_types.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

namespace korvista {

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

std::string UpperAscii(std::string_view text) {
    std::string result(text);
    for (char& c : result) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
    return result;
}

std::string CollapseBlanks(std::string_view text) {
    std::string result;
    bool pendingBlank = false;
    for (char c : text) {
        if (IsBlank(c)) {
            pendingBlank = !result.empty();
            continue;
        }
        if (pendingBlank)
            result += ' ';
        pendingBlank = false;
        result += c;
    }
    return result;
}

// A signed whole number; anything else counts as no size at all.
std::optional<std::int64_t> ParseSize(std::string_view text) {
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back()))
        text.remove_suffix(1);
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty())
        return std::nullopt;
    constexpr std::int64_t limit = std::numeric_limits<std::int64_t>::max() / 10 - 10;
    std::int64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        if (value < limit) // saturate: only clamped values are used further on
            value = value * 10 + (c - '0');
    }
    return negative ? -value : value;
}

std::int32_t ClampInt32(std::int64_t value) {
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(value, std::numeric_limits<std::int32_t>::min(),
                                                              std::numeric_limits<std::int32_t>::max()));
}

std::uint8_t ClampByte(std::int64_t value) {
    return static_cast<std::uint8_t>(std::clamp<std::int64_t>(value, 0, 255));
}

struct ParsedType {
    std::string base;
    std::vector<std::optional<std::int64_t>> sizes;
};

ParsedType ParseDeclaredType(std::string_view declared) {
    const std::string upper = UpperAscii(declared);
    ParsedType parsed;
    const std::size_t open = upper.find('(');
    parsed.base = CollapseBlanks(std::string_view(upper).substr(0, open));
    if (open == std::string::npos)
        return parsed;
    std::string_view inner = std::string_view(upper).substr(open + 1);
    inner = inner.substr(0, inner.find(')'));
    while (true) {
        const std::size_t comma = inner.find(',');
        parsed.sizes.push_back(ParseSize(inner.substr(0, comma)));
        if (comma == std::string_view::npos)
            break;
        inner.remove_prefix(comma + 1);
    }
    return parsed;
}

bool OneOf(const std::string& name, std::initializer_list<std::string_view> names) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

bool Contains(const std::string& name, std::string_view part) {
    return name.find(part) != std::string::npos;
}

SqliteTypeInfo Sized(std::int32_t type, const ParsedType& parsed, std::int32_t fallback) {
    const bool given = !parsed.sizes.empty() && parsed.sizes[0].has_value();
    return {type, given ? ClampInt32(*parsed.sizes[0]) : fallback, 0, 0};
}

SqliteTypeInfo Numeric(const ParsedType& parsed) {
    const auto size = [&](std::size_t i) -> std::optional<std::int64_t> {
        return i < parsed.sizes.size() ? parsed.sizes[i] : std::nullopt;
    };
    if (!size(0))
        return {131, 0, 18, 0};
    return {131, 0, ClampByte(*size(0)), ClampByte(size(1).value_or(0))};
}

} // namespace

SqliteTypeInfo MapSqliteDeclaredType(std::string_view declaredType) {
    const ParsedType parsed = ParseDeclaredType(declaredType);
    const std::string& base = parsed.base;

    if (base.empty() || base == "BLOB")
        return {205, 0, 0, 0};
    if (OneOf(base, {"INTEGER", "INT", "MEDIUMINT", "INT4"}))
        return {3, 0, 0, 0};
    if (OneOf(base, {"SMALLINT", "INT2"}))
        return {2, 0, 0, 0};
    if (base == "TINYINT")
        return {16, 0, 0, 0};
    if (OneOf(base, {"BIGINT", "INT8"}))
        return {20, 0, 0, 0};
    if (base == "UNSIGNED BIG INT")
        return {21, 0, 0, 0};
    if (OneOf(base, {"REAL", "FLOAT4"}))
        return {4, 0, 0, 0};
    if (OneOf(base, {"DOUBLE", "DOUBLE PRECISION", "FLOAT", "FLOAT8"}))
        return {5, 0, 0, 0};
    if (OneOf(base, {"NUMERIC", "DECIMAL"}))
        return Numeric(parsed);
    if (OneOf(base, {"BOOLEAN", "BOOL", "BIT"}))
        return {11, 0, 0, 0};
    if (OneOf(base, {"CHAR", "CHARACTER"}))
        return Sized(129, parsed, 1);
    if (OneOf(base, {"NCHAR", "NATIVE CHARACTER"}))
        return Sized(130, parsed, 1);
    if (OneOf(base, {"VARCHAR", "CHARACTER VARYING", "VARYING CHARACTER"}))
        return Sized(200, parsed, 255);
    if (OneOf(base, {"NVARCHAR", "NATIONAL VARYING CHARACTER"}))
        return Sized(202, parsed, 255);
    if (OneOf(base, {"TEXT", "CLOB"}))
        return {201, 0, 0, 0};
    if (base == "NTEXT")
        return {203, 0, 0, 0};
    if (base == "BINARY")
        return Sized(128, parsed, 1);
    if (base == "VARBINARY")
        return Sized(204, parsed, 255);
    if (base == "DATE")
        return {133, 0, 0, 0};
    if (base == "TIME")
        return {134, 0, 0, 0};
    if (OneOf(base, {"DATETIME", "TIMESTAMP"}))
        return {135, 0, 0, 0};
    if (OneOf(base, {"UUID", "GUID", "UNIQUEIDENTIFIER"}))
        return {72, 0, 0, 0};

    // Unknown names: SQLite's column affinity rules, in SQLite's order.
    if (Contains(base, "INT"))
        return {3, 0, 0, 0};
    if (Contains(base, "CHAR") || Contains(base, "CLOB") || Contains(base, "TEXT")) {
        if (!parsed.sizes.empty() && parsed.sizes[0])
            return Sized(200, parsed, 255);
        return {201, 0, 0, 0};
    }
    if (Contains(base, "BLOB"))
        return {205, 0, 0, 0};
    if (Contains(base, "REAL") || Contains(base, "FLOA") || Contains(base, "DOUB"))
        return {5, 0, 0, 0};
    return Numeric(parsed);
}

} // namespace korvista
