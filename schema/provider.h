#pragma once

#include "schema/field_types.h"
#include "schema/session_limits.h"

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace korvista {

// A catalogue as the provider delivers it: named columns, rows in the provider's order.
struct Rowset {
    std::vector<std::string> columns;
    std::vector<std::vector<std::string>> rows;
};

// One table or view of a whole-database read.
struct TableSchema {
    std::string name;
    std::string type; // "TABLE" or "VIEW"
    std::vector<ColumnDescription> columns;
    // Why the columns could not be read; empty when they were.
    std::string error;
};

// Every table and view of a database with its columns, as one read of the catalogue gives them.
struct DatabaseSchema {
    std::vector<TableSchema> tables; // catalogue order, as the table list shows them
    // Whether the engine resolves an unqualified table name without regard to ASCII letter case.
    bool namesIgnoreAsciiCase = false;
    // The table each unqualified name reaches, by NameKey. A listed table that the name does not reach
    // (a namesake in a schema off the search path) has no entry of its own.
    std::unordered_map<std::string, std::size_t> reachable;

    std::string NameKey(const std::string& name) const;
    // Records tables[index] as the one its name reaches, unless an earlier table took the name.
    void MarkReachable(std::size_t index);
    // The table the unqualified name reaches; nullptr when none does.
    const TableSchema* Find(const std::string& name) const;
};

// One open connection of a provider. Destroying it closes it. A read the provider refuses throws
// korvista::Unreadable carrying the provider's own message, a failed connection korvista::ConnectionLost;
// an empty result is never a failure.
class ProviderSession {
public:
    virtual ~ProviderSession() = default;

    // Rows with at least TABLE_NAME and TABLE_TYPE ("TABLE", "VIEW", "SYSTEM TABLE").
    virtual Rowset TableCatalogue(bool includeSystemTables) = 0;
    virtual std::string IdentifierQuote() = 0;
    // Prepares or runs the query without fetching rows and describes its result columns.
    virtual std::vector<ColumnDescription> DescribeQuery(const std::string& sql) = 0;

    // The columns of the table or view that the unqualified name reaches. By default the empty column
    // query "Select * from %s where 1=2", the name bare when it is a plain identifier the provider
    // accepts, quoted otherwise.
    virtual std::vector<ColumnDescription> DescribeTable(const std::string& table);

    // The whole catalogue with every table's columns in a constant number of round trips; nullopt for a
    // provider that can only describe table by table.
    virtual std::optional<DatabaseSchema> ReadSchema() { return std::nullopt; }
};

// Opens the provider that the string's Provider key names: "SQLite" the built-in SQLite provider,
// "ODBC" or no key the ODBC provider; anything else throws
// "Provider cannot be found. It may not be properly installed.". The session waits on its server
// within the limits.
std::unique_ptr<ProviderSession> OpenProviderSession(const std::string& connectionString,
                                                     const SessionLimits& limits = {});

} // namespace korvista
