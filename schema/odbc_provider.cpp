#include "schema/odbc_provider.h"

#include "schema/odbc_driver_listing.h"
#include "schema/odbc_queries.h"
#include "schema/odbc_session.h"
#include "schema/server_address.h"
#include "schema/sqlite_queries.h"
#include "support/ascii.h"
#include "support/errors.h"

#include <chrono>

#include <algorithm>
#include <optional>
#include <vector>

namespace korvista {

namespace {

std::string NoAnswer(std::chrono::seconds limit) {
    return "no answer from the server within " + std::to_string(limit.count()) + " s";
}

SQLULEN Seconds(std::chrono::seconds limit) {
    return static_cast<SQLULEN>(limit.count());
}

std::string ColumnText(const OdbcStatement& statement, SQLUSMALLINT column, SQLUSMALLINT field) {
    std::vector<char> buffer(512);
    for (;;) {
        SQLSMALLINT length = 0;
        SQLRETURN rc = SQLColAttribute(statement.Get(), column, field, buffer.data(),
                                       static_cast<SQLSMALLINT>(buffer.size()), &length, nullptr);
        statement.Check(rc, "SQLColAttribute");
        if (length >= 0 && static_cast<std::size_t>(length) >= buffer.size() && buffer.size() < 32000) {
            buffer.resize(static_cast<std::size_t>(length) + 1);
            continue;
        }
        return std::string(buffer.data());
    }
}

SQLLEN ColumnNumber(const OdbcStatement& statement, SQLUSMALLINT column, SQLUSMALLINT field) {
    SQLLEN value = 0;
    statement.Check(SQLColAttribute(statement.Get(), column, field, nullptr, 0, nullptr, &value),
                    "SQLColAttribute");
    return value;
}

// Escapes the search-pattern characters of a catalogue function's pattern argument.
std::string EscapePattern(const std::string& text, const std::string& escape) {
    if (escape.empty())
        return text;
    std::string result;
    for (char c : text) {
        if (c == '_' || c == '%' || escape.find(c) != std::string::npos)
            result += escape;
        result += c;
    }
    return result;
}

} // namespace

std::vector<OdbcDiagnostic> OdbcDiagnosticRecords(SQLSMALLINT handleType, SQLHANDLE handle) {
    std::vector<OdbcDiagnostic> records;
    if (handle == SQL_NULL_HANDLE)
        return records;
    for (SQLSMALLINT record = 1;; ++record) {
        SQLCHAR state[6] = {};
        SQLINTEGER native = 0;
        std::vector<SQLCHAR> message(1024);
        SQLSMALLINT length = 0;
        SQLRETURN rc = SQLGetDiagRec(handleType, handle, record, state, &native, message.data(),
                                     static_cast<SQLSMALLINT>(message.size()), &length);
        if (rc == SQL_SUCCESS_WITH_INFO && length >= static_cast<SQLSMALLINT>(message.size())) {
            message.resize(static_cast<std::size_t>(length) + 1);
            rc = SQLGetDiagRec(handleType, handle, record, state, &native, message.data(),
                               static_cast<SQLSMALLINT>(message.size()), &length);
        }
        if (!OdbcSucceeded(rc))
            break;
        records.push_back(
            {reinterpret_cast<const char*>(state), static_cast<long>(native),
             // Drivers end some messages in a line break.
             std::string(TrimAsciiEnd(reinterpret_cast<const char*>(message.data()), "\n\r "))});
    }
    return records;
}

namespace {

std::string DiagnosticsText(const std::vector<OdbcDiagnostic>& records) {
    std::string result;
    for (const OdbcDiagnostic& record : records) {
        if (!result.empty())
            result += "; ";
        result += "[" + record.state + "] " + record.text;
    }
    return result;
}

} // namespace

std::string OdbcDiagnostics(SQLSMALLINT handleType, SQLHANDLE handle) {
    return DiagnosticsText(OdbcDiagnosticRecords(handleType, handle));
}

void OdbcCheck(SQLRETURN rc, SQLSMALLINT handleType, SQLHANDLE handle, const char* what) {
    if (OdbcSucceeded(rc))
        return;
    const std::vector<OdbcDiagnostic> records = OdbcDiagnosticRecords(handleType, handle);
    std::string message = DiagnosticsText(records);
    if (message.empty())
        message = std::string(what) + " failed" + (rc == SQL_INVALID_HANDLE ? " (invalid handle)" : "");
    if (std::any_of(records.begin(), records.end(), IsConnectionFailure))
        throw ConnectionLost(message);
    throw Unreadable(message);
}

namespace {

// The library file of the driver that the string reaches; empty when the driver manager's lists do not
// say. Only used to choose a driver's mends before connecting.
std::string DriverFile(const std::string& connectionString) {
    try {
        return DriverFileOf(ReadOdbcDriverListing(), connectionString);
    } catch (const Error&) {
        return {};
    }
}

OdbcEnvironment NewOdbc3Environment() {
    OdbcEnvironment env = OdbcEnvironment::Allocate(SQL_HANDLE_ENV, SQL_NULL_HANDLE);
    env.Check(SQLSetEnvAttr(env.Get(), SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0),
              "SQLSetEnvAttr");
    return env;
}

} // namespace

template <class F> auto OdbcSession::Request(F&& request) -> decltype(request()) {
    if (!lost_.empty())
        throw ConnectionLost(lost_);
    std::optional<decltype(request())> result;
    try {
        watch_.Run(limits_.Watched(limits_.request), [&] { result.emplace(request()); });
    } catch (const ConnectionLost& lost) {
        Lose(watch_.Expired() ? NoAnswer(limits_.request) : std::string(lost.what()));
    } catch (...) {
        // The watch shut the sockets down: what the driver says then is about that, not the server.
        if (watch_.Expired())
            Lose(NoAnswer(limits_.request));
        throw;
    }
    // The answer came as the sockets were shut down: it holds, but nothing after it can.
    if (watch_.Expired())
        lost_ = NoAnswer(limits_.request);
    return std::move(*result);
}

void OdbcSession::Lose(const std::string& message) {
    lost_ = message;
    // Whatever still waits on the server stops waiting, closing the connection included.
    watch_.ShutDown();
    throw ConnectionLost(message);
}

OdbcSession::OdbcSession(const std::string& connectionString, const SessionLimits& limits)
    : limits_(limits), env_(NewOdbc3Environment()), dbc_(env_) {
    dbc_.Check(SQLSetConnectAttr(dbc_.Get(), SQL_ATTR_LOGIN_TIMEOUT,
                                 reinterpret_cast<SQLPOINTER>(Seconds(limits_.login)), 0),
               "SQLSetConnectAttr");
    const EngineIdentity* driver = EngineForDriverFile(DriverFile(connectionString));
    const std::string text =
        WithTimeouts(driver, connectionString, static_cast<unsigned>(limits_.login.count()),
                     static_cast<unsigned>(limits_.request.count()));
    SQLRETURN rc = SQL_ERROR;
    watch_.Connect(limits_.Watched(limits_.login), OdbcServerAddresses(connectionString, driver), [&] {
        rc = SQLDriverConnect(dbc_.Get(), nullptr, OdbcText(text), SQL_NTS, nullptr, 0, nullptr,
                              SQL_DRIVER_NOPROMPT);
    });
    if (OdbcSucceeded(rc))
        dbc_.MarkConnected();
    // A connection that never opened was not lost: these are failures to open.
    if (watch_.Expired())
        throw Error(NoAnswer(limits_.login));
    try {
        dbc_.Check(rc, "SQLDriverConnect");
        Request([this] {
            Prepare();
            return true;
        });
    } catch (const ConnectionLost& lost) {
        throw Error(lost.what());
    }
}

void OdbcSession::Prepare() {
    driver_ = EngineForDriverFile(InfoText(SQL_DRIVER_NAME));
    dbmsName_ = InfoText(SQL_DBMS_NAME);

    // Without this restriction some drivers list the tables of every database on the server.
    if (InfoText(SQL_CATALOG_NAME) == "Y") {
        char buffer[512] = {};
        SQLINTEGER length = 0;
        const SQLRETURN rc =
            SQLGetConnectAttr(dbc_.Get(), SQL_ATTR_CURRENT_CATALOG, buffer, sizeof buffer, &length);
        if (OdbcSucceeded(rc) && buffer[0] != '\0')
            catalog_ = std::string(buffer);
    }

    dialect_ = DialectForDbmsName(dbmsName_);
    if (dialect_) {
        queries_ = std::make_unique<OdbcQueries>([this] { return NewStatement(); });
        // The SQLite driver names a column's alias as its origin; libsqlite3 on the same file does not.
        if (AsciiEqualsNoCase(dbmsName_, "SQLite"))
            queries_ = WithFileOrigins(std::move(queries_), limits_.request);
        // Prepare's statements go without a timeout of their own: a driver that bounds a statement with
        // session settings around it (psqlodbc sets and resets statement_timeout) would undo the bound
        // that Prepare sets for the session.
        OdbcQueries prepareQueries([this] { return OdbcStatement::Allocate(SQL_HANDLE_DBC, dbc_.Get()); });
        statementsBounded_ =
            dialect_->Prepare(prepareQueries, static_cast<unsigned>(limits_.request.count()));
    }
}

std::string OdbcSession::InfoText(SQLUSMALLINT infoType) {
    char buffer[512] = {};
    SQLSMALLINT length = 0;
    SQLRETURN rc = SQLGetInfo(dbc_.Get(), infoType, buffer, sizeof buffer, &length);
    dbc_.Check(rc, "SQLGetInfo");
    return std::string(buffer);
}

OdbcStatement OdbcSession::NewStatement() {
    OdbcStatement statement = OdbcStatement::Allocate(SQL_HANDLE_DBC, dbc_.Get());
    if (statementsBounded_)
        return statement;
    // A driver that cannot time out says so with a warning and is bounded by WithTimeouts where it can be.
    SQLRETURN rc = SQLSetStmtAttr(statement.Get(), SQL_ATTR_QUERY_TIMEOUT,
                                  reinterpret_cast<SQLPOINTER>(Seconds(limits_.request)), 0);
    (void)rc;
    return statement;
}

SQLULEN OdbcSession::QueryTimeout() {
    OdbcStatement statement = NewStatement();
    SQLULEN seconds = 0;
    statement.Check(SQLGetStmtAttr(statement.Get(), SQL_ATTR_QUERY_TIMEOUT, &seconds, 0, nullptr),
                    "SQLGetStmtAttr");
    return seconds;
}

Rowset OdbcSession::TableCatalogue(bool includeSystemTables) {
    return Request([&] { return Catalogue(includeSystemTables); });
}

Rowset OdbcSession::Catalogue(bool includeSystemTables) {
    if (dialect_)
        return dialect_->TableCatalogue(*queries_, includeSystemTables);
    OdbcStatement statement = NewStatement();
    const std::string types = includeSystemTables ? "TABLE,VIEW,SYSTEM TABLE" : "TABLE,VIEW";
    SQLRETURN rc = SQLTables(statement.Get(), catalog_ ? OdbcText(*catalog_) : nullptr,
                             catalog_ ? SQL_NTS : 0, nullptr, 0, nullptr, 0, OdbcText(types), SQL_NTS);
    statement.Check(rc, "SQLTables");

    Rowset result;
    SQLSMALLINT count = 0;
    statement.Check(SQLNumResultCols(statement.Get(), &count), "SQLNumResultCols");
    for (SQLSMALLINT i = 1; i <= count; ++i)
        result.columns.push_back(ColumnText(statement, static_cast<SQLUSMALLINT>(i), SQL_DESC_NAME));
    NormaliseCatalogueColumns(result.columns);

    while (OdbcFetch(statement)) {
        std::vector<std::string> row;
        for (SQLSMALLINT i = 1; i <= count; ++i)
            row.push_back(OdbcGetText(statement, static_cast<SQLUSMALLINT>(i)).value_or(std::string()));
        result.rows.push_back(std::move(row));
    }
    return result;
}

std::string OdbcSession::IdentifierQuote() {
    // ODBC answers a blank when the driver has no quoting.
    std::string quote = Request([this] { return InfoText(SQL_IDENTIFIER_QUOTE_CHAR); });
    return quote == " " ? std::string() : quote;
}

std::vector<OdbcColumn> OdbcSession::ReportedColumns(const std::string& sql) {
    return Request([&] { return Reported(sql); });
}

std::vector<OdbcColumn> OdbcSession::Reported(const std::string& sql) {
    OdbcStatement statement = NewStatement();
    SQLRETURN rc = SQLExecDirect(statement.Get(), OdbcText(sql), SQL_NTS);
    if (rc != SQL_NO_DATA)
        statement.Check(rc, "SQLExecDirect");

    SQLSMALLINT count = 0;
    statement.Check(SQLNumResultCols(statement.Get(), &count), "SQLNumResultCols");
    std::vector<OdbcColumn> columns;
    for (SQLSMALLINT i = 1; i <= count; ++i) {
        const auto number = static_cast<SQLUSMALLINT>(i);
        OdbcColumn column;
        std::vector<SQLCHAR> name(256);
        SQLSMALLINT nameLength = 0, sqlType = 0, digits = 0, describedNullable = 0;
        SQLULEN size = 0;
        for (;;) {
            rc = SQLDescribeCol(statement.Get(), number, name.data(), static_cast<SQLSMALLINT>(name.size()),
                                &nameLength, &sqlType, &size, &digits, &describedNullable);
            statement.Check(rc, "SQLDescribeCol");
            if (nameLength < static_cast<SQLSMALLINT>(name.size()) || name.size() >= 32000)
                break;
            name.resize(static_cast<std::size_t>(nameLength) + 1);
        }
        column.name = reinterpret_cast<const char*>(name.data());
        column.sqlType = sqlType;
        column.columnSize = size;
        column.decimalDigits = digits;
        // SQLDescribeCol's own nullability is wrong on some drivers; the descriptor field is not.
        column.nullable = static_cast<int>(ColumnNumber(statement, number, SQL_DESC_NULLABLE));
        column.autoUnique = ColumnNumber(statement, number, SQL_DESC_AUTO_UNIQUE_VALUE) == SQL_TRUE;
        column.isUnsigned = ColumnNumber(statement, number, SQL_DESC_UNSIGNED) == SQL_TRUE;
        column.typeName = ColumnText(statement, number, SQL_DESC_TYPE_NAME);
        // A driver without base-table attributes leaves the mend undone.
        if (column.autoUnique && column.nullable != SQL_NO_NULLS) {
            column.baseCatalog = OdbcOptionalColumnText(statement, number, SQL_DESC_CATALOG_NAME);
            column.baseTable = OdbcOptionalColumnText(statement, number, SQL_DESC_BASE_TABLE_NAME);
            column.baseColumn = OdbcOptionalColumnText(statement, number, SQL_DESC_BASE_COLUMN_NAME);
        }
        columns.push_back(std::move(column));
    }
    return columns;
}

std::optional<bool> OdbcSession::CatalogAcceptsNull(const OdbcColumn& column) {
    if (column.baseTable.empty() || column.baseColumn.empty())
        return std::nullopt;
    const std::string catalog = !column.baseCatalog.empty() ? column.baseCatalog : catalog_.value_or("");
    {
        OdbcStatement keys = NewStatement();
        keys.Check(SQLPrimaryKeys(keys.Get(), catalog.empty() ? nullptr : OdbcText(catalog),
                                  catalog.empty() ? 0 : SQL_NTS, nullptr, 0, OdbcText(column.baseTable),
                                  SQL_NTS),
                   "SQLPrimaryKeys");
        while (OdbcFetch(keys))
            if (OdbcGetText(keys, 4) == column.baseColumn)
                return false;
    }

    const std::string escape = InfoText(SQL_SEARCH_PATTERN_ESCAPE);
    const std::string table = EscapePattern(column.baseTable, escape);
    const std::string name = EscapePattern(column.baseColumn, escape);

    OdbcStatement statement = NewStatement();
    SQLRETURN rc = SQLColumns(statement.Get(), catalog.empty() ? nullptr : OdbcText(catalog),
                              catalog.empty() ? 0 : SQL_NTS, nullptr, 0, OdbcText(table), SQL_NTS,
                              OdbcText(name), SQL_NTS);
    statement.Check(rc, "SQLColumns");
    std::optional<bool> result;
    while (OdbcFetch(statement)) {
        // Patterns match more than asked for in drivers that ignore the escape; take exact names only.
        if (OdbcGetText(statement, 3) != column.baseTable || OdbcGetText(statement, 4) != column.baseColumn)
            continue;
        std::optional<std::string> nullable = OdbcGetText(statement, 11);
        if (nullable != "0" && nullable != "1")
            return std::nullopt;
        const bool acceptsNull = *nullable == "1";
        if (result && *result != acceptsNull)
            return std::nullopt; // same name in two schemas that disagree: no truth to take
        result = acceptsNull;
    }
    return result;
}

std::vector<OdbcColumn> OdbcSession::MendedColumns(const std::string& sql) {
    return Request([&] { return Mended(sql); });
}

std::vector<OdbcColumn> OdbcSession::Mended(const std::string& sql) {
    std::vector<OdbcColumn> columns = Reported(sql);
    for (OdbcColumn& column : columns) {
        for (const DriverQuirk* quirk : MatchingQuirks(driver_, column)) {
            switch (quirk->remedy) {
            case QuirkRemedy::Retype:
                column.sqlType = quirk->trueSqlType;
                break;
            case QuirkRemedy::NullabilityFromKeys:
                if (std::optional<bool> acceptsNull = CatalogAcceptsNull(column))
                    column.nullable = *acceptsNull ? SQL_NULLABLE : SQL_NO_NULLS;
                break;
            }
        }
    }
    return columns;
}

std::vector<ColumnDescription> OdbcSession::DescribeQuery(const std::string& sql) {
    return Request([&] {
        std::vector<ColumnDescription> result;
        for (const OdbcColumn& column : Mended(sql))
            result.push_back(ToColumnDescription(column));
        return result;
    });
}

std::vector<ColumnDescription> OdbcSession::DescribeTable(const std::string& table) {
    if (dialect_)
        return Request([&] { return dialect_->DescribeTable(*queries_, table); });
    // Through DescribeQuery and IdentifierQuote, each a request of its own.
    return ProviderSession::DescribeTable(table);
}

std::optional<DatabaseSchema> OdbcSession::ReadSchema() {
    if (dialect_)
        return Request([this] { return dialect_->ReadSchema(*queries_); });
    return std::nullopt;
}

std::unique_ptr<ProviderSession> OpenOdbcSession(const std::string& odbcConnectionString,
                                                 const SessionLimits& limits) {
    return std::make_unique<OdbcSession>(odbcConnectionString, limits);
}

} // namespace korvista
