#pragma once

// The SQLite dialect's queries over a libsqlite3 connection: the built-in provider's own, and the origins
// of result columns for a SQLite reached through ODBC, whose driver names a column's alias as its origin.

#include "schema/catalogue_dialect.h"
#include "schema/session_limits.h"

#include <chrono>

#include <memory>
#include <string>

struct sqlite3;
struct sqlite3_stmt;

namespace korvista {

struct SqliteDatabaseCloser {
    void operator()(sqlite3* db) const noexcept;
};
using SqliteDatabase = std::unique_ptr<sqlite3, SqliteDatabaseCloser>;

struct SqliteStatementFinalizer {
    void operator()(sqlite3_stmt* statement) const noexcept;
};
using SqliteStatement = std::unique_ptr<sqlite3_stmt, SqliteStatementFinalizer>;

// Opens an existing file read-only; never creates one. A file another process holds locked is waited
// on for busyTimeout at most. Throws korvista::Error with SQLite's message.
SqliteDatabase OpenSqliteReadOnly(const std::string& path,
                                  std::chrono::milliseconds busyTimeout = SessionLimits{}.request);

// Compiles exactly one statement that does not change the database; anything else throws
// korvista::Unreadable.
SqliteStatement PrepareReadOnlyStatement(sqlite3* db, const std::string& sql);

class SqliteQueries final : public CatalogueQueries {
public:
    explicit SqliteQueries(sqlite3* db) : db_(db) {} // not owned

    std::vector<QueryRow> Run(const std::string& sql,
                              const std::vector<std::string>& parameters = {}) override;
    // sqlite3_column_table_name and sqlite3_column_origin_name: the table and column a result column reads,
    // through views and subqueries; empty for an expression.
    std::vector<ColumnOrigin> Origins(const std::string& sql) override;

private:
    sqlite3* db_;
};

// The driver's queries with Origins answered by libsqlite3 on the file that the driver's connection has as
// its main database. The driver itself is given back when that file cannot be opened (an in-memory one).
std::unique_ptr<CatalogueQueries> WithFileOrigins(std::unique_ptr<CatalogueQueries> driverQueries,
                                                  std::chrono::milliseconds busyTimeout);

} // namespace korvista
