#pragma once

#include "schema/ado_connection.h"
#include "schema/field_types.h"

#include <memory>
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

// Describes the columns of the table that the name reaches; throws korvista::Unreadable when it cannot.
std::vector<FieldDef> ReadTableFields(TADOConnection& connection, const std::string& tableName);

// The whole database as a comparison reads it: the provider's own whole-catalogue read where it has one,
// otherwise the catalogue and one column query per table, a table that cannot be described keeping its
// error, and names found in any letter case when the engine resolves them so. Opens a closed connection;
// a failure to list the tables, and a lost connection, propagate.
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
    // can, reads every table's columns; throws korvista::Unreadable when the tables cannot be listed.
    explicit SchemaCatalogue(TADOConnection& connection);
    // A database read already: reading from it touches no connection.
    explicit SchemaCatalogue(DatabaseSchema schema);
    // Copies share a whole catalogue and its field definitions, described once; such copies may be read
    // on several threads at a time.
    SchemaCatalogue(const SchemaCatalogue&) = default;

    // TABLE and VIEW entries in the provider's order, as GetTableNames gives them.
    const std::vector<std::string>& TableNames() const { return names_; }

    // Whether the name reaches a table of this database. Read live, a name listed only in another letter
    // case is tried on the engine; a lost connection then propagates as korvista::ConnectionLost.
    bool Reaches(const std::string& tableName) const;

    // The table the name reaches: its field definitions, or that the catalogue does not list it, or why
    // it cannot be read. A lost connection propagates as korvista::ConnectionLost.
    TableRead Read(const std::string& tableName);

    // The same field definitions as ReadTableFields for the name; throws korvista::Unreadable alike.
    std::vector<FieldDef> Fields(const std::string& tableName);

private:
    struct Described; // a whole catalogue with every reachable table's reading
    void Describe(DatabaseSchema schema);

    TADOConnection* connection_ = nullptr;
    std::vector<std::string> names_;
    std::shared_ptr<const Described> described_;
};

} // namespace korvista
