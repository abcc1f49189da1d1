#pragma once

// Every engine with what belongs to it alone: the names the engine and its ODBC drivers go by, the
// drivers' known misreports, the keys its driver needs for the timeouts, its words for the logical types
// and its dialect. Each engine's dialect file defines its identity; CMake lists the dialect files and
// generates the list of identities from them, so that every one is linked and none is overlooked.

#include "schema/type_model.h"

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

namespace korvista {

class EngineDialect;

// What mending a driver's report needs to know beyond the column itself.
enum class QuirkRemedy {
    Retype,             // the column's true SQL type is `trueSqlType`
    NullabilityFromKeys // a primary-key column (SQLPrimaryKeys) is NOT NULL; otherwise SQLColumns decides
};

// A driver's known misreport of a column, matched on the reported SQL type (0 matches any) and the type
// name (letter case ignored; empty matches any). NullabilityFromKeys matches only auto-unique columns
// that claim to accept NULL.
struct DriverQuirk {
    int reportedSqlType;
    const char* typeName;
    QuirkRemedy remedy;
    int trueSqlType;
    const char* why;
};

struct EngineIdentity {
    const char* name;                          // as messages and tests name the engine
    std::vector<std::string_view> dbmsNames;   // SQL_DBMS_NAME, in lower case
    std::vector<std::string_view> driverFiles; // parts of its ODBC drivers' library names, in lower case
    std::vector<DriverQuirk> quirks;           // of those drivers
    // Connection-string keys by which the driver keeps the login and query timeouts that it does not take
    // from the ODBC attributes; nullptr where it takes them.
    const char* loginTimeoutKey;
    const char* queryTimeoutKey;
    EngineTypes types;
    std::unique_ptr<EngineDialect> (*makeDialect)();
    // Where its ODBC driver connects when the string names no port; 0 where it does not use TCP.
    std::uint16_t defaultPort = 0;
    // Whether the driver takes a comma-separated list of hosts to try in turn.
    bool hostList = false;
};

// Every engine that has a dialect, in the order of the dialect list.
const std::vector<const EngineIdentity*>& RegisteredEngines();

// The engine that answers to a DBMS name as SQL_DBMS_NAME reports it, in any letter case; nullptr for an
// engine without a dialect.
const EngineIdentity* EngineForDbmsName(std::string_view dbmsName);

// The engine of an ODBC driver from its file name as SQLGetInfo(SQL_DRIVER_NAME) gives it, e.g.
// "psqlodbcw.so"; nullptr for a driver no dialect knows.
const EngineIdentity* EngineForDriverFile(std::string_view driverFileName);

} // namespace korvista
