#include "schema/sqlite_provider.h"

#include "schema/sqlite_errors.h"
#include "schema/sqlite_types.h"
#include "support/errors.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace korvista {

namespace {

struct DatabaseCloser {
    void operator()(sqlite3* db) const noexcept { sqlite3_close_v2(db); }
};
using DatabaseHandle = std::unique_ptr<sqlite3, DatabaseCloser>;

struct StatementFinalizer {
    void operator()(sqlite3_stmt* statement) const noexcept { sqlite3_finalize(statement); }
};
using Statement = std::unique_ptr<sqlite3_stmt, StatementFinalizer>;

std::string Text(const char* text) {
    return text ? std::string(text) : std::string();
}

std::string ColumnText(sqlite3_stmt* statement, int column) {
    return Text(reinterpret_cast<const char*>(sqlite3_column_text(statement, column)));
}

bool StartsWithNoCase(const std::string& text, std::string_view prefix) {
    if (text.size() < prefix.size())
        return false;
    return sqlite3_strnicmp(text.c_str(), prefix.data(), static_cast<int>(prefix.size())) == 0;
}

// A statement may be null: text holding only blanks and comments compiles to nothing.
Statement Prepare(sqlite3* db, std::string_view sql, const char** tail = nullptr) {
    sqlite3_stmt* raw = nullptr;
    const int rc = sqlite3_prepare_v2(db, sql.data(), static_cast<int>(sql.size()), &raw, tail);
    Statement statement(raw);
    if (rc != SQLITE_OK)
        ThrowSqliteError(db);
    return statement;
}

bool Step(sqlite3* db, sqlite3_stmt* statement) {
    const int rc = sqlite3_step(statement);
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE)
        return false;
    ThrowSqliteError(db);
}

class SqliteSession final : public ProviderSession {
public:
    explicit SqliteSession(DatabaseHandle db) : db_(std::move(db)) {}

    Rowset TableCatalogue(bool includeSystemTables) override {
        Rowset rowset;
        rowset.columns = {"TABLE_CATALOG", "TABLE_SCHEMA", "TABLE_NAME", "TABLE_TYPE"};
        Statement statement = Prepare(
            db_.get(), "SELECT type, name FROM sqlite_schema WHERE type IN ('table','view') ORDER BY rowid");
        while (Step(db_.get(), statement.get())) {
            const std::string name = ColumnText(statement.get(), 1);
            std::string type;
            if (StartsWithNoCase(name, "sqlite_")) {
                if (!includeSystemTables)
                    continue;
                type = "SYSTEM TABLE";
            } else {
                type = ColumnText(statement.get(), 0) == "view" ? "VIEW" : "TABLE";
            }
            rowset.rows.push_back({"", "", name, type});
        }
        return rowset;
    }

    std::string IdentifierQuote() override { return "\""; }

    std::vector<ColumnDescription> DescribeQuery(const std::string& sql) override {
        if (sql.find('\0') != std::string::npos)
            throw Error("The query text holds a NUL character.");
        const char* tail = nullptr;
        Statement statement = Prepare(db_.get(), sql, &tail);
        if (!statement)
            throw Error("The query text holds no statement.");
        // Only the first statement is ever compiled; whatever follows it must not pass unnoticed.
        const std::string_view rest(tail, static_cast<std::size_t>(sql.data() + sql.size() - tail));
        if (Prepare(db_.get(), rest))
            throw Error("The query text holds more than one statement.");
        if (!sqlite3_stmt_readonly(statement.get()))
            throw Error("The query would change the database.");

        std::vector<ColumnDescription> columns;
        const int count = sqlite3_column_count(statement.get());
        columns.reserve(static_cast<std::size_t>(count));
        for (int i = 0; i < count; ++i)
            columns.push_back(Describe(statement.get(), i));
        return columns;
    }

private:
    ColumnDescription Describe(sqlite3_stmt* statement, int i) {
        ColumnDescription column;
        column.name = Text(sqlite3_column_name(statement, i));
        const SqliteTypeInfo type = MapSqliteDeclaredType(Text(sqlite3_column_decltype(statement, i)));
        column.type = type.type;
        column.definedSize = type.definedSize;
        column.precision = type.precision;
        column.numericScale = type.numericScale;
        // An expression has no origin and may give NULL; it is never a row identifier.
        column.acceptsNull = true;
        column.isAutoIncrement = false;

        const char* schema = sqlite3_column_database_name(statement, i);
        const char* table = sqlite3_column_table_name(statement, i);
        const char* origin = sqlite3_column_origin_name(statement, i);
        if (!schema || !table || !origin)
            return column;

        const char* declaredType = nullptr;
        const char* collation = nullptr;
        int notNull = 0;
        int primaryKey = 0;
        int autoIncrement = 0;
        if (sqlite3_table_column_metadata(db_.get(), schema, table, origin, &declaredType, &collation,
                                          &notNull, &primaryKey, &autoIncrement) != SQLITE_OK)
            ThrowSqliteError(db_.get());
        const bool rowidAlias = primaryKey && declaredType && sqlite3_stricmp(declaredType, "INTEGER") == 0 &&
                                HasRowidAliasKey(schema, table);
        column.acceptsNull = !notNull && !rowidAlias;
        column.isAutoIncrement = rowidAlias;
        return column;
    }

    // Whether the table's primary key is one column that stands for the rowid. SQLite builds an index
    // of origin 'pk' for every other primary key: composite ones, WITHOUT ROWID tables and the quirk
    // "INTEGER PRIMARY KEY DESC", which is not an alias either.
    bool HasRowidAliasKey(const char* schema, const char* table) {
        Statement statement =
            Prepare(db_.get(), "SELECT (SELECT count(*) FROM pragma_table_info(?1, ?2) WHERE pk > 0),"
                               " (SELECT count(*) FROM pragma_index_list(?1, ?2) WHERE origin = 'pk')");
        sqlite3_bind_text(statement.get(), 1, table, -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(statement.get(), 2, schema, -1, SQLITE_TRANSIENT);
        if (!Step(db_.get(), statement.get()))
            throw Error("The primary key of table '" + std::string(table) + "' cannot be read.");
        return sqlite3_column_int(statement.get(), 0) == 1 && sqlite3_column_int(statement.get(), 1) == 0;
    }

    DatabaseHandle db_;
};

} // namespace

std::unique_ptr<ProviderSession> OpenSqliteSession(const ConnectionString& settings) {
    const std::optional<std::string> source = settings.Get("Data Source");
    if (!source || source->find_first_not_of(" \t") == std::string::npos)
        throw Error("The connection string names no database file: \"Data Source\" is missing or empty.");

    // This SQLite reads "file:" names as URIs with options of their own; the key names a plain file.
    std::string path = *source;
    if (StartsWithNoCase(path, "file:"))
        path = "./" + path;

    // SQLite would block for good opening a FIFO, and read a device or a socket for a database; a name
    // that does not exist gets SQLite's own complaint.
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) {
        throw Error(std::string(S_ISDIR(info.st_mode) ? "The data source is a directory"
                                                      : "The data source is not a regular file") +
                    ": " + *source);
    }

    sqlite3* raw = nullptr;
    // Read-only and never SQLITE_OPEN_CREATE: a wrong name must not leave an empty database behind.
    const int rc = sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READONLY, nullptr);
    DatabaseHandle db(raw);
    if (rc != SQLITE_OK)
        throw Error(std::string(db ? sqlite3_errmsg(db.get()) : sqlite3_errstr(rc)) + ": " + *source);
    sqlite3_busy_timeout(db.get(), 30000);

    // SQLite reads the file lazily; reading the schema now makes a non-database fail here.
    try {
        Statement statement = Prepare(db.get(), "PRAGMA schema_version");
        Step(db.get(), statement.get());
    } catch (const Error& error) {
        throw Error(std::string(error.what()) + ": " + *source);
    }
    return std::make_unique<SqliteSession>(std::move(db));
}

} // namespace korvista
