#include "schema/odbc_types.h"

#include "schema/connection_string.h"
#include "support/ascii.h"

#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <cstdint>
#include <limits>

namespace korvista {

namespace {

bool IsCharacterType(int sqlType) {
    switch (sqlType) {
    case SQL_CHAR:
    case SQL_VARCHAR:
    case SQL_LONGVARCHAR:
    case SQL_WCHAR:
    case SQL_WVARCHAR:
    case SQL_WLONGVARCHAR:
    case SQL_BINARY:
    case SQL_VARBINARY:
    case SQL_LONGVARBINARY:
        return true;
    default:
        return false;
    }
}

bool IsNumericType(int sqlType) {
    switch (sqlType) {
    case SQL_DECIMAL:
    case SQL_NUMERIC:
    case SQL_SMALLINT:
    case SQL_INTEGER:
    case SQL_TINYINT:
    case SQL_BIGINT:
    case SQL_REAL:
    case SQL_FLOAT:
    case SQL_DOUBLE:
        return true;
    default:
        return false;
    }
}

} // namespace

std::string WithTimeouts(const EngineIdentity* driver, const std::string& connectionString,
                         unsigned loginSeconds, unsigned querySeconds) {
    if (!driver || (!driver->loginTimeoutKey && !driver->queryTimeoutKey))
        return connectionString;
    const ConnectionString parsed = ConnectionString::Parse(connectionString);
    std::string result = connectionString;
    const auto add = [&](const char* key, unsigned seconds) {
        if (!key || parsed.Get(key))
            return;
        const std::string_view written = TrimAsciiEnd(result, kBlanks);
        if (!written.empty() && written.back() != ';')
            result += ';';
        result += std::string(key) + "=" + std::to_string(seconds);
    };
    add(driver->loginTimeoutKey, loginSeconds);
    add(driver->queryTimeoutKey, querySeconds);
    return result;
}

std::int32_t AdoTypeFromSqlType(int sqlType, bool isUnsigned) {
    switch (sqlType) {
    case SQL_CHAR:
        return 129;
    case SQL_VARCHAR:
        return 200;
    case SQL_LONGVARCHAR:
        return 201;
    case SQL_WCHAR:
        return 130;
    case SQL_WVARCHAR:
        return 202;
    case SQL_WLONGVARCHAR:
        return 203;
    case SQL_DECIMAL:
    case SQL_NUMERIC:
        return 131;
    case SQL_SMALLINT:
        return isUnsigned ? 18 : 2;
    case SQL_INTEGER:
        return isUnsigned ? 19 : 3;
    case SQL_TINYINT:
        return isUnsigned ? 17 : 16;
    case SQL_BIGINT:
        return isUnsigned ? 21 : 20;
    case SQL_REAL:
        return 4;
    case SQL_FLOAT: // approximate with a precision of its own; drivers report double precision as FLOAT
    case SQL_DOUBLE:
        return 5;
    case SQL_BIT:
        return 11;
    case SQL_BINARY:
        return 128;
    case SQL_VARBINARY:
        return 204;
    case SQL_LONGVARBINARY:
        return 205;
    case SQL_TYPE_DATE:
    case SQL_DATE: // ODBC 2
        return 133;
    case SQL_TYPE_TIME:
    case SQL_TIME:
        return 134;
    case SQL_TYPE_TIMESTAMP:
    case SQL_TIMESTAMP:
        return 135;
    case SQL_GUID:
        return 72;
    default:
        return 0;
    }
}

ColumnDescription ToColumnDescription(const OdbcColumn& column) {
    ColumnDescription result;
    result.name = column.name;
    result.type = AdoTypeFromSqlType(column.sqlType, column.isUnsigned);
    if (IsCharacterType(column.sqlType)) {
        // Long text and blobs come with sizes up to 2^32 or more; ADO caps them the same way.
        constexpr auto maxSize = static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max());
        result.definedSize = static_cast<std::int32_t>(std::min(column.columnSize, maxSize));
    }
    if (IsNumericType(column.sqlType)) {
        result.precision = static_cast<std::uint8_t>(std::min<std::uint64_t>(column.columnSize, 255));
        result.numericScale = static_cast<std::uint8_t>(std::clamp(column.decimalDigits, 0, 255));
    }
    result.attributes = 0;
    result.isAutoIncrement = column.autoUnique;
    result.acceptsNull = column.nullable != SQL_NO_NULLS;
    return result;
}

std::vector<const DriverQuirk*> MatchingQuirks(const EngineIdentity* driver, const OdbcColumn& column) {
    std::vector<const DriverQuirk*> result;
    if (!driver)
        return result;
    const std::string typeName = AsciiLower(column.typeName);
    for (const DriverQuirk& quirk : driver->quirks) {
        if (quirk.reportedSqlType != 0 && quirk.reportedSqlType != column.sqlType)
            continue;
        if (*quirk.typeName != '\0' && AsciiLower(quirk.typeName) != typeName)
            continue;
        if (quirk.remedy == QuirkRemedy::NullabilityFromKeys &&
            !(column.autoUnique && column.nullable != SQL_NO_NULLS))
            continue;
        result.push_back(&quirk);
    }
    return result;
}

void NormaliseCatalogueColumns(std::vector<std::string>& columns) {
    for (const char* wanted : {"TABLE_NAME", "TABLE_TYPE"}) {
        auto byName = std::find_if(columns.begin(), columns.end(),
                                   [&](const std::string& c) { return AsciiUpper(c) == wanted; });
        if (byName != columns.end()) {
            *byName = wanted;
            continue;
        }
        const std::size_t position = std::string(wanted) == "TABLE_NAME" ? 2 : 3;
        if (position < columns.size())
            columns[position] = wanted;
    }
}

bool IsConnectionFailure(const OdbcDiagnostic& record) {
    const std::string& state = record.state;
    if (state.rfind("08", 0) == 0 || state == "HYT00" || state == "HYT01")
        return true;
    // The MariaDB connector marks its messages "[ma-<version>]"; other drivers' numbers mean other things.
    const std::string text = AsciiLower(record.text);
    if ((record.native == 2006 || record.native == 2013 || record.native == 2055) &&
        text.find("[ma-") != std::string::npos)
        return true;
    // A driver's words count only under a general state: under a statement's own state (a missing
    // table, a syntax error) they may come from a name quoted in the message.
    if (state != "HY000" && state != "S1000" && state.rfind("57P", 0) != 0)
        return false;
    for (const char* words : {"server closed the connection unexpectedly", "could not receive data from server",
                              "could not send data to server", "no connection to the server",
                              "connection has been lost", "lost connection to", "server has gone away",
                              "broken pipe", "connection reset by peer"})
        if (text.find(words) != std::string::npos)
            return true;
    return false;
}

} // namespace korvista
