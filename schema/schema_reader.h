#pragma once

#include "schema/ado_connection.h"
#include "schema/field_types.h"

#include <optional>
#include <string>
#include <vector>

namespace korvista {

// Lists TABLE and VIEW entries (and SYSTEM TABLE when asked) in the provider's order into target,
// opening a closed connection first and letting that failure through.
// Here and below, a korvista::ConnectionLost closes the connection on its way through.
void GetTableNames(TADOConnection& connection, std::vector<std::string>& target, bool systemTables);

// A name of letters, digits and underscores that does not start with a digit.
bool IsPlainIdentifier(const std::string& name);

// The column query "Select * from %s where 1=2" for one table: a plain identifier goes in as it is,
// anything else (and a plain name the provider refuses) quoted with the provider's quote character.
std::string ColumnQueryText(const std::string& tableName, const std::string& quote, bool quoted);

// Describes the columns of the table that the name reaches; throws korvista::Error on failure.
std::vector<FieldDef> ReadTableFields(TADOConnection& connection, const std::string& tableName);

// The whole database as a comparison reads it: the provider's own whole-catalogue read where it has one,
// otherwise the catalogue and one column query per table, a table that cannot be described keeping its
// error. Opens a closed connection; a failure to list the tables, and a lost connection, propagate.
DatabaseSchema ReadDatabaseSchema(TADOConnection& connection);

// What reading one table of a catalogue gave.
struct TableRead {
    enum class Status { Read, NotListed, Unreadable };
    Status status = Status::Read;
    std::vector<FieldDef> fields;
    std::string error; // why an Unreadable table could not be read
};

// A database's tables and their field definitions, read once for a whole comparison: from the whole
// catalogue where the provider reads it in one go, otherwise table by table as asked.
class SchemaCatalogue {
public:
    // Lists the tables (opening a closed connection, as GetTableNames does) and, where the provider
    // can, reads every table's columns; throws korvista::Error when the tables cannot be listed.
    explicit SchemaCatalogue(TADOConnection& connection);
    // A database read already: reading from it touches no connection, so threads may share it.
    explicit SchemaCatalogue(DatabaseSchema schema);

    // TABLE and VIEW entries in the provider's order, as GetTableNames gives them.
    const std::vector<std::string>& TableNames() const { return names_; }

    // Whether the name reaches a table of this database.
    bool Reaches(const std::string& tableName) const;

    // The table the name reaches: its field definitions, or that the catalogue does not list it, or why
    // it cannot be read. A lost connection propagates as korvista::ConnectionLost.
    TableRead Read(const std::string& tableName);

    // The same field definitions as ReadTableFields for the name; throws korvista::Error alike.
    std::vector<FieldDef> Fields(const std::string& tableName);

private:
    TADOConnection* connection_ = nullptr;
    std::vector<std::string> names_;
    std::optional<DatabaseSchema> schema_;
};

} // namespace korvista
