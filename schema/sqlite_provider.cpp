#include "schema/sqlite_provider.h"

#include "schema/catalogue_dialect.h"
#include "schema/dialect_registry.h"
#include "schema/sqlite_errors.h"
#include "schema/sqlite_queries.h"
#include "schema/type_model.h"
#include "support/ascii.h"
#include "support/errors.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace korvista {

namespace {

std::string Text(const char* text) {
    return text ? std::string(text) : std::string();
}

// The built-in provider always reads SQLite; its dialect is in the generated list.
const EngineIdentity& Sqlite() {
    static const EngineIdentity* const engine = EngineForDbmsName("SQLite");
    if (!engine)
        throw Error("This build has no SQLite dialect.");
    return *engine;
}

class SqliteSession final : public ProviderSession {
public:
    SqliteSession(SqliteDatabase db, const SessionLimits& limits)
        : db_(std::move(db)), queries_(db_.get()), dialect_(Sqlite().makeDialect()) {
        dialect_->Prepare(queries_, static_cast<unsigned>(limits.request.count()));
    }

    Rowset TableCatalogue(bool includeSystemTables) override {
        return dialect_->TableCatalogue(queries_, includeSystemTables);
    }

    std::string IdentifierQuote() override { return "\""; }

    std::vector<ColumnDescription> DescribeQuery(const std::string& sql) override {
        SqliteStatement statement = PrepareReadOnlyStatement(db_.get(), sql);
        std::vector<ColumnDescription> columns;
        const int count = sqlite3_column_count(statement.get());
        columns.reserve(static_cast<std::size_t>(count));
        for (int i = 0; i < count; ++i)
            columns.push_back(Describe(statement.get(), i));
        return columns;
    }

    std::vector<ColumnDescription> DescribeTable(const std::string& table) override {
        return dialect_->DescribeTable(queries_, table);
    }

    std::optional<DatabaseSchema> ReadSchema() override { return dialect_->ReadSchema(queries_); }

private:
    ColumnDescription Describe(sqlite3_stmt* statement, int i) {
        DeclaredColumn column =
            ParseDeclaredType(Text(sqlite3_column_decltype(statement, i)), Sqlite().types);
        column.name = Text(sqlite3_column_name(statement, i));
        // An expression has no origin and may give NULL; it is never a row identifier.
        const char* schema = sqlite3_column_database_name(statement, i);
        const char* table = sqlite3_column_table_name(statement, i);
        const char* origin = sqlite3_column_origin_name(statement, i);
        if (schema && table && origin) {
            const char* declaredType = nullptr;
            const char* collation = nullptr;
            int notNull = 0;
            int primaryKey = 0;
            int autoIncrement = 0;
            if (sqlite3_table_column_metadata(db_.get(), schema, table, origin, &declaredType, &collation,
                                              &notNull, &primaryKey, &autoIncrement) != SQLITE_OK)
                ThrowSqliteError(db_.get());
            const bool rowidAlias = primaryKey && declaredType &&
                                    AsciiEqualsNoCase(declaredType, "INTEGER") &&
                                    HasRowidAliasKey(schema, table);
            column.notNull = notNull || rowidAlias;
            column.autoIncrement = rowidAlias;
        }
        return DescribeDeclared(Sqlite().types, column);
    }

    // Whether the table's primary key is one column that stands for the rowid. SQLite builds an index
    // of origin 'pk' for every other primary key: composite ones, WITHOUT ROWID tables and the quirk
    // "INTEGER PRIMARY KEY DESC", which is not an alias either.
    bool HasRowidAliasKey(const char* schema, const char* table) {
        const std::vector<QueryRow> rows =
            queries_.Run("SELECT (SELECT count(*) FROM pragma_table_info(?1, ?2) WHERE pk > 0),"
                         " (SELECT count(*) FROM pragma_index_list(?1, ?2) WHERE origin = 'pk')",
                         {table, schema});
        if (rows.size() != 1 || rows[0].size() != 2)
            throw Unreadable("The primary key of table '" + std::string(table) + "' cannot be read.");
        return rows[0][0] == "1" && rows[0][1] == "0";
    }

    SqliteDatabase db_;
    SqliteQueries queries_;
    std::unique_ptr<EngineDialect> dialect_;
};

} // namespace

std::unique_ptr<ProviderSession> OpenSqliteSession(const ConnectionString& settings,
                                                   const SessionLimits& limits) {
    const std::optional<std::string> source = settings.Get("Data Source");
    if (!source || TrimAscii(*source, kBlanks).empty())
        throw Error("The connection string names no database file: \"Data Source\" is missing or empty.");
    try {
        return std::make_unique<SqliteSession>(OpenSqliteReadOnly(*source, limits.request), limits);
    } catch (const Error& error) {
        throw Error(std::string(error.what()) + ": " + *source);
    }
}

} // namespace korvista
