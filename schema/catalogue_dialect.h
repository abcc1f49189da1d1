#pragma once

// An engine dialect reads one engine family's own catalogue: which tables and views there are, and each
// column as its DDL declares it. It talks to the database only through CatalogueQueries, so the same
// dialect runs over ODBC and over the built-in SQLite provider.

#include "schema/provider.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace korvista {

using QueryRow = std::vector<std::optional<std::string>>; // nullopt for NULL

// Where one result column of a query comes from; empty when the engine cannot tell (an expression).
struct ColumnOrigin {
    std::string table;
    std::string column;
};

// The queries a dialect runs. A refused query throws korvista::Unreadable with the provider's message,
// a failed connection korvista::ConnectionLost.
class CatalogueQueries {
public:
    virtual ~CatalogueQueries() = default;
    // One round trip: the statement with each "?" bound to the next text parameter, all rows as text.
    virtual std::vector<QueryRow> Run(const std::string& sql, const std::vector<std::string>& parameters = {}) = 0;
    // The origins of the statement's result columns, in column order, without fetching a row.
    virtual std::vector<ColumnOrigin> Origins(const std::string& sql) = 0;
};

class EngineDialect {
public:
    virtual ~EngineDialect() = default;

    // Called once right after connecting. True when the dialect has bounded every later statement to
    // querySeconds itself, so the provider need not set a timeout on each statement.
    virtual bool Prepare(CatalogueQueries& queries, unsigned querySeconds) = 0;

    // Rows with TABLE_NAME and TABLE_TYPE ("TABLE", "VIEW", and "SYSTEM TABLE" when asked), in the
    // dialect's catalogue order.
    virtual Rowset TableCatalogue(CatalogueQueries& queries, bool includeSystemTables) = 0;

    // The columns of the table or view that the unqualified name reaches, in at most one round trip.
    // Throws korvista::Unreadable when the name reaches none.
    virtual std::vector<ColumnDescription> DescribeTable(CatalogueQueries& queries, const std::string& table) = 0;

    // Every table and view with its columns, in a number of round trips that does not grow with the
    // number of tables.
    virtual DatabaseSchema ReadSchema(CatalogueQueries& queries) = 0;
};

// A new dialect of the engine that answers to a DBMS name as ODBC's SQL_DBMS_NAME reports it, in any
// letter case (EngineForDbmsName); nullptr for an engine without one, which keeps the generic road.
std::unique_ptr<EngineDialect> DialectForDbmsName(const std::string& dbmsName);

} // namespace korvista
