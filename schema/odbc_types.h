#pragma once

// How ODBC's description of a result column becomes ADO's terms, without touching a driver.

#include "schema/dialect_registry.h"
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

// The connection string with what the driver of that engine needs to keep the login and query timeouts:
// the engine's own timeout keys (EngineIdentity), where it names them. A key the user wrote is left
// alone; other drivers' strings, and those of a driver no engine knows (nullptr), are returned unchanged.
std::string WithTimeouts(const EngineIdentity* driver, const std::string& connectionString,
                         unsigned loginSeconds, unsigned querySeconds);

// ADO DataTypeEnum code for an ODBC SQL type; 0 for a type ADO has no code for.
std::int32_t AdoTypeFromSqlType(int sqlType, bool isUnsigned);

// The column in ADO's terms, sizes clamped into the description's field types.
ColumnDescription ToColumnDescription(const OdbcColumn& column);

// The quirks of the engine's drivers (EngineIdentity) that apply to this column as reported by its driver;
// none for a driver no engine knows (nullptr).
std::vector<const DriverQuirk*> MatchingQuirks(const EngineIdentity* driver, const OdbcColumn& column);

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
