#pragma once

#include "compare/comparison.h"
#include "compare/table_filter.h"
#include "schema/field_types.h"
#include "schema/schema_reader.h"
#include "schema/u_Database.h"

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace korvista {

// Called before each table is read: index counts from 0, total is the number of tables listed.
using CompareProgress = std::function<void(std::size_t index, std::size_t total, const std::string& table)>;

// The columns of one table as the field lists would show them: empty when the database is closed or the
// read fails, which is what the window shows in both cases; a lost connection propagates.
std::vector<FieldDef> LoadTableFields(TDatabase& database, const std::string& table);

// What a command-line comparison visits and reports beyond the window's four switches.
struct CompareOptions {
    // The window's switches alone make the window's comparison.
    CompareOptions(const CompareSwitches& windowSwitches = {}) : switches(windowSwitches) {}

    CompareSwitches switches;
    // Also what only database 2 has: its extra columns and its tables that database 1 lacks.
    bool bothWays = false;
    // The tables of database 1 compared (and, with bothWays, those of database 2).
    TableFilter tables;
};

// One table of a comparison run, the window's and the command-line tool's alike: each column of database 1
// matched with its namesake in database 2 as the switches select, and with bothWays the columns that only
// database 2 has.
TableComparison CompareTableColumns(const std::string& table, const std::vector<const TFieldItem*>& db1,
                                    const std::vector<const TFieldItem*>& db2, const CompareOptions& options);

// The comparison of two databases read already, table by table in database 1's catalogue order.
// db2 may be null (every table then lacks its counterpart). A table that database 1 lists but cannot
// read, and a table that database 2 lists but cannot read, give an entry in errors and no rows; a table
// that database 2 does not list gives its "FIELD MISSING" rows. A lost connection propagates as
// korvista::ConnectionLost naming the database and the table.
TableComparison CompareCatalogues(SchemaCatalogue& db1, SchemaCatalogue* db2, const CompareOptions& options,
                                  const CompareProgress& progress = {});

// Reads both databases (database 2 only when it is open) and compares them. A failure to list the tables
// of either propagates as korvista::Error naming the database, a connection lost meanwhile as
// korvista::ConnectionLost naming it; see CompareCatalogues for the rest.
TableComparison CompareDatabases(TDatabase& db1, TDatabase& db2, const CompareOptions& options,
                                 const CompareProgress& progress = {});

} // namespace korvista
