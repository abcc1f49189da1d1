#include "schema/sqlite_queries.h"

#include "schema/sqlite_errors.h"
#include "support/ascii.h"
#include "support/errors.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include <string_view>

namespace korvista {

void SqliteDatabaseCloser::operator()(sqlite3* db) const noexcept {
    sqlite3_close_v2(db);
}

void SqliteStatementFinalizer::operator()(sqlite3_stmt* statement) const noexcept {
    sqlite3_finalize(statement);
}

namespace {

// A statement may be null: text holding only blanks and comments compiles to nothing.
SqliteStatement Prepare(sqlite3* db, std::string_view sql, const char** tail = nullptr) {
    sqlite3_stmt* raw = nullptr;
    const int rc = sqlite3_prepare_v2(db, sql.data(), static_cast<int>(sql.size()), &raw, tail);
    SqliteStatement statement(raw);
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

} // namespace

SqliteDatabase OpenSqliteReadOnly(const std::string& path, std::chrono::milliseconds busyTimeout) {
    // This SQLite reads "file:" names as URIs with options of their own; the name is a plain file.
    std::string name = path;
    if (AsciiStartsWithNoCase(name, "file:"))
        name = "./" + name;

    // SQLite would block for good opening a FIFO, and read a device or a socket for a database; a name
    // that does not exist gets SQLite's own complaint.
    struct stat info {};
    if (::stat(name.c_str(), &info) == 0 && !S_ISREG(info.st_mode))
        throw Error(S_ISDIR(info.st_mode) ? "The data source is a directory"
                                          : "The data source is not a regular file");

    // SQLite's allocation statistics take one process-wide lock per allocation, which made targets
    // compared on several threads take turns. Possible only before SQLite's first use in the process.
    static const bool unlocked = [] { return sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0) == SQLITE_OK; }();
    (void)unlocked;
    sqlite3* raw = nullptr;
    // Read-only and never SQLITE_OPEN_CREATE: a wrong name must not leave an empty database behind.
    const int rc = sqlite3_open_v2(name.c_str(), &raw, SQLITE_OPEN_READONLY, nullptr);
    SqliteDatabase db(raw);
    if (rc != SQLITE_OK)
        throw Error(db ? sqlite3_errmsg(db.get()) : sqlite3_errstr(rc));
    sqlite3_busy_timeout(db.get(), static_cast<int>(busyTimeout.count()));

    // SQLite reads the file lazily; reading the schema now makes a non-database fail here.
    SqliteStatement statement = Prepare(db.get(), "PRAGMA schema_version");
    Step(db.get(), statement.get());
    return db;
}

SqliteStatement PrepareReadOnlyStatement(sqlite3* db, const std::string& sql) {
    if (sql.find('\0') != std::string::npos)
        throw Unreadable("The query text holds a NUL character.");
    const char* tail = nullptr;
    SqliteStatement statement = Prepare(db, sql, &tail);
    if (!statement)
        throw Unreadable("The query text holds no statement.");
    // Only the first statement is ever compiled; whatever follows it must not pass unnoticed.
    const std::string_view rest(tail, static_cast<std::size_t>(sql.data() + sql.size() - tail));
    if (Prepare(db, rest))
        throw Unreadable("The query text holds more than one statement.");
    if (!sqlite3_stmt_readonly(statement.get()))
        throw Unreadable("The query would change the database.");
    return statement;
}

std::vector<QueryRow> SqliteQueries::Run(const std::string& sql, const std::vector<std::string>& parameters) {
    SqliteStatement statement = PrepareReadOnlyStatement(db_, sql);
    if (sqlite3_bind_parameter_count(statement.get()) != static_cast<int>(parameters.size()))
        throw Unreadable("The query takes " + std::to_string(sqlite3_bind_parameter_count(statement.get())) +
                    " parameters, not " + std::to_string(parameters.size()) + ".");
    for (std::size_t i = 0; i < parameters.size(); ++i) {
        // The parameters outlive the statement's steps: no copy needed.
        if (sqlite3_bind_text(statement.get(), static_cast<int>(i + 1), parameters[i].data(),
                              static_cast<int>(parameters[i].size()), SQLITE_STATIC) != SQLITE_OK)
            throw Unreadable(sqlite3_errmsg(db_));
    }

    std::vector<QueryRow> rows;
    const int count = sqlite3_column_count(statement.get());
    while (Step(db_, statement.get())) {
        QueryRow row;
        row.reserve(static_cast<std::size_t>(count));
        for (int i = 0; i < count; ++i) {
            // No text is NULL, or a value that could not be converted for want of memory.
            const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement.get(), i));
            if (!text) {
                if (sqlite3_errcode(db_) == SQLITE_NOMEM)
                    throw Unreadable(sqlite3_errmsg(db_));
                row.emplace_back();
                continue;
            }
            row.emplace_back(std::in_place, text,
                             static_cast<std::size_t>(sqlite3_column_bytes(statement.get(), i)));
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

std::vector<ColumnOrigin> SqliteQueries::Origins(const std::string& sql) {
    SqliteStatement statement = PrepareReadOnlyStatement(db_, sql);
    const int count = sqlite3_column_count(statement.get());
    std::vector<ColumnOrigin> origins;
    origins.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        const char* table = sqlite3_column_table_name(statement.get(), i);
        const char* column = sqlite3_column_origin_name(statement.get(), i);
        if (table && column)
            origins.push_back({table, column});
        else
            origins.emplace_back();
    }
    return origins;
}

namespace {

class FileOriginQueries final : public CatalogueQueries {
public:
    FileOriginQueries(std::unique_ptr<CatalogueQueries> driver, SqliteDatabase file)
        : driver_(std::move(driver)), file_(std::move(file)), fileQueries_(file_.get()) {}

    std::vector<QueryRow> Run(const std::string& sql, const std::vector<std::string>& parameters) override {
        return driver_->Run(sql, parameters);
    }
    std::vector<ColumnOrigin> Origins(const std::string& sql) override { return fileQueries_.Origins(sql); }

private:
    std::unique_ptr<CatalogueQueries> driver_;
    SqliteDatabase file_;
    SqliteQueries fileQueries_;
};

} // namespace

std::unique_ptr<CatalogueQueries> WithFileOrigins(std::unique_ptr<CatalogueQueries> driverQueries,
                                                  std::chrono::milliseconds busyTimeout) {
    std::string file;
    try {
        const std::vector<QueryRow> rows =
            driverQueries->Run("SELECT file FROM pragma_database_list WHERE name = 'main'", {});
        if (!rows.empty() && !rows.front().empty() && rows.front().front())
            file = *rows.front().front();
    } catch (const Unreadable&) {
        return driverQueries; // an engine that only claims to be SQLite
    }
    if (file.empty())
        return driverQueries; // in memory or temporary: nothing to open beside the driver
    try {
        return std::make_unique<FileOriginQueries>(std::move(driverQueries),
                                                   OpenSqliteReadOnly(file, busyTimeout));
    } catch (const Error&) {
        // A file of its own, not the driver's connection: without it the driver's origins stand.
        return driverQueries;
    }
}

} // namespace korvista
