#pragma once

// How ODBC's description of a result column becomes ADO's terms, without touching a driver.

#include "schema/field_types.h"

#include <cstdint>
#include <string>
#include <vector>

namespace korvista {

// One result column as the driver reports it (SQLDescribeCol and SQLColAttribute).
struct OdbcColumn {
    std::string name;
    int sqlType = 0;
    std::uint64_t columnSize = 0;
    int decimalDigits = 0;
    int nullable = 2; // SQL_DESC_NULLABLE: 0 no nulls, 1 nullable, 2 unknown
    bool autoUnique = false;
    bool isUnsigned = false;
    std::string typeName;
    // Where the column comes from, when the driver says (SQL_DESC_BASE_*); empty otherwise.
    std::string baseCatalog;
    std::string baseTable;
    std::string baseColumn;
};

enum class OdbcDriverKind { Other, PostgreSQL, MariaDB, SQLite };

// The driver from its file name as SQLGetInfo(SQL_DRIVER_NAME) gives it, e.g. "psqlodbcw.so".
OdbcDriverKind DriverKindFromFileName(const std::string& driverFileName);

// The connection string with what the driver needs to keep the login and query timeouts. The MariaDB
// driver applies SQL_ATTR_LOGIN_TIMEOUT to the TCP connect only, so a silent server's greeting is awaited
// without end, and it refuses SQL_ATTR_QUERY_TIMEOUT; its own keys CONN_TIMEOUT and READ_TIMEOUT bound
// both. A key the user wrote is left alone; other drivers' strings are returned unchanged.
std::string WithTimeouts(OdbcDriverKind driver, const std::string& connectionString, unsigned loginSeconds,
                         unsigned querySeconds);

// ADO DataTypeEnum code for an ODBC SQL type; 0 for a type ADO has no code for.
std::int32_t AdoTypeFromSqlType(int sqlType, bool isUnsigned);

// The column in ADO's terms, sizes clamped into the description's field types.
ColumnDescription ToColumnDescription(const OdbcColumn& column);

// What mending a driver's report needs to know beyond the column itself.
enum class QuirkRemedy {
    Retype,             // the column's true SQL type is `trueSqlType`
    NullabilityFromKeys // a primary-key column (SQLPrimaryKeys) is NOT NULL; otherwise SQLColumns decides
};

// A driver's known misreport of a column, matched on the driver, the reported SQL type (0 matches any) and
// the type name (letter case ignored; empty matches any). NullabilityFromKeys matches only auto-unique
// columns that claim to accept NULL.
struct DriverQuirk {
    OdbcDriverKind driver;
    int reportedSqlType;
    const char* typeName;
    QuirkRemedy remedy;
    int trueSqlType;
    const char* why;
};

const std::vector<DriverQuirk>& DriverQuirks();

// The quirks of the table that apply to this column as reported by this driver.
std::vector<const DriverQuirk*> MatchingQuirks(OdbcDriverKind driver, const OdbcColumn& column);

// Renames the catalogue's columns so that TABLE_NAME and TABLE_TYPE exist by name: an exact name in any
// letter case is upper-cased; failing that, columns 3 and 4 (ODBC's positions for them) take the names.
void NormaliseCatalogueColumns(std::vector<std::string>& columns);

// One diagnostic record of a failed ODBC call.
struct OdbcDiagnostic {
    std::string state; // SQLSTATE, five characters
    long native = 0;   // the driver's or the server's own error number
    std::string text;
};

// Whether the record says that the connection itself failed, rather than the statement: SQLSTATE class
// 08, a timeout without an answer (HYT00, HYT01), or a driver's own word for a broken link (MariaDB's
// client errors 2006, 2013 and 2055; the system's broken pipe and reset connection; libpq's messages as
// psqlodbc passes them on).
bool IsConnectionFailure(const OdbcDiagnostic& record);

} // namespace korvista
