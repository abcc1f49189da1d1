#include "schema/odbc_queries.h"

#include <algorithm>

namespace korvista {

std::string OdbcOptionalColumnText(const OdbcStatement& statement, SQLUSMALLINT column, SQLUSMALLINT field) {
    char buffer[512] = {};
    SQLSMALLINT length = 0;
    SQLRETURN rc = SQLColAttribute(statement.Get(), column, field, buffer, sizeof buffer, &length, nullptr);
    return OdbcSucceeded(rc) ? std::string(buffer) : std::string();
}

std::optional<std::string> OdbcGetText(const OdbcStatement& statement, SQLUSMALLINT column) {
    std::string result;
    char buffer[1024];
    for (;;) {
        SQLLEN indicator = 0;
        SQLRETURN rc = SQLGetData(statement.Get(), column, SQL_C_CHAR, buffer, sizeof buffer, &indicator);
        if (rc == SQL_NO_DATA)
            break;
        statement.Check(rc, "SQLGetData");
        if (indicator == SQL_NULL_DATA)
            return std::nullopt;
        const bool truncated = indicator == SQL_NO_TOTAL || indicator >= static_cast<SQLLEN>(sizeof buffer);
        result.append(buffer, truncated ? sizeof buffer - 1 : static_cast<std::size_t>(indicator));
        if (rc == SQL_SUCCESS || !truncated)
            break;
    }
    return result;
}

bool OdbcFetch(const OdbcStatement& statement) {
    const SQLRETURN rc = SQLFetch(statement.Get());
    if (rc == SQL_NO_DATA)
        return false;
    statement.Check(rc, "SQLFetch");
    return true;
}

std::vector<QueryRow> OdbcFetchAll(const OdbcStatement& statement) {
    SQLSMALLINT count = 0;
    statement.Check(SQLNumResultCols(statement.Get(), &count), "SQLNumResultCols");
    std::vector<QueryRow> rows;
    if (count == 0)
        return rows; // a statement without a result set, such as SET: fetching would fail
    while (OdbcFetch(statement)) {
        QueryRow row;
        row.reserve(static_cast<std::size_t>(count));
        for (SQLSMALLINT i = 1; i <= count; ++i)
            row.push_back(OdbcGetText(statement, static_cast<SQLUSMALLINT>(i)));
        rows.push_back(std::move(row));
    }
    return rows;
}

std::vector<QueryRow> OdbcQueries::Run(const std::string& sql, const std::vector<std::string>& parameters) {
    OdbcStatement statement = newStatement_();
    std::vector<SQLLEN> lengths(parameters.size());
    for (std::size_t i = 0; i < parameters.size(); ++i) {
        lengths[i] = static_cast<SQLLEN>(parameters[i].size());
        // Declared at least 256 long: psqlodbc takes a VARCHAR(5) for a boolean (its BoolsAsChar form) and
        // asks the server for the parameter's type first, a round trip of its own.
        const SQLULEN size = std::max<SQLULEN>(256, parameters[i].size());
        statement.Check(SQLBindParameter(statement.Get(), static_cast<SQLUSMALLINT>(i + 1), SQL_PARAM_INPUT,
                                         SQL_C_CHAR, SQL_VARCHAR, size, 0,
                                         const_cast<char*>(parameters[i].data()), lengths[i], &lengths[i]),
                        "SQLBindParameter");
    }
    const SQLRETURN rc = SQLExecDirect(statement.Get(), OdbcText(sql), SQL_NTS);
    if (rc == SQL_NO_DATA)
        return {};
    statement.Check(rc, "SQLExecDirect");
    return OdbcFetchAll(statement);
}

std::vector<ColumnOrigin> OdbcQueries::Origins(const std::string& sql) {
    OdbcStatement statement = newStatement_();
    statement.Check(SQLPrepare(statement.Get(), OdbcText(sql), SQL_NTS), "SQLPrepare");
    SQLSMALLINT count = 0;
    statement.Check(SQLNumResultCols(statement.Get(), &count), "SQLNumResultCols");
    std::vector<ColumnOrigin> origins;
    for (SQLSMALLINT i = 1; i <= count; ++i) {
        const auto number = static_cast<SQLUSMALLINT>(i);
        // A driver without base-table attributes leaves the origin unknown.
        origins.push_back({OdbcOptionalColumnText(statement, number, SQL_DESC_BASE_TABLE_NAME),
                           OdbcOptionalColumnText(statement, number, SQL_DESC_BASE_COLUMN_NAME)});
    }
    return origins;
}

} // namespace korvista
