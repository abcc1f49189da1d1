#pragma once

#include "compare/comparison.h"
#include "schema/field_types.h"
#include "schema/u_Database.h"

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace korvista {

// Called before each table is read: index counts from 0, total is the number of tables listed.
using CompareProgress = std::function<void(std::size_t index, std::size_t total, const std::string& table)>;

// The columns of one table as the field lists would show them: empty when the database is closed or the
// read fails, which is what the window shows in both cases.
std::vector<FieldDef> LoadTableFields(TDatabase& database, const std::string& table);

// The whole comparison run: the tables and views of database 1 from its catalogue, each table's columns
// from both databases, and CompareTable over them. A failure to list database 1's tables (it cannot be
// opened, or its catalogue is unreadable) propagates as korvista::Error; nothing else does.
TableComparison CompareDatabases(TDatabase& db1, TDatabase& db2, const CompareSwitches& switches,
                                 const CompareProgress& progress = {});

} // namespace korvista
