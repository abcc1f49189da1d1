#pragma once

#include "schema/ado_connection.h"
#include "schema/field_types.h"

#include <string>
#include <vector>

namespace korvista {

// Lists TABLE and VIEW entries (and SYSTEM TABLE when asked) in the provider's order into target,
// opening a closed connection first and letting that failure through.
void GetTableNames(TADOConnection& connection, std::vector<std::string>& target, bool systemTables);

// The column query "Select * from %s where 1=2" for one table: a plain identifier goes in as it is,
// anything else (and a plain name the provider refuses) quoted with the provider's quote character.
std::string ColumnQueryText(const std::string& tableName, const std::string& quote, bool quoted);

// Describes the columns of one table through the column query; throws korvista::Error on failure.
std::vector<FieldDef> ReadTableFields(TADOConnection& connection, const std::string& tableName);

} // namespace korvista
