#pragma once

// The catalogue queries of an engine dialect over one ODBC connection.

#include "schema/catalogue_dialect.h"
#include "schema/odbc_handles.h"

#include <functional>

namespace korvista {

// A base-table attribute of a result column (SQL_DESC_BASE_*, SQL_DESC_CATALOG_NAME); empty when the driver
// does not offer it, as ODBC allows.
std::string OdbcOptionalColumnText(const OdbcStatement& statement, SQLUSMALLINT column, SQLUSMALLINT field);

// One column's value as UTF-8 text, fetched in pieces; nullopt for NULL.
std::optional<std::string> OdbcGetText(const OdbcStatement& statement, SQLUSMALLINT column);

// Moves to the next row of an executed statement; false when there is none. Throws as OdbcCheck does.
bool OdbcFetch(const OdbcStatement& statement);

// Fetches every remaining row of an executed statement as text.
std::vector<QueryRow> OdbcFetchAll(const OdbcStatement& statement);

class OdbcQueries final : public CatalogueQueries {
public:
    // newStatement gives a fresh statement on the connection, with whatever attributes it needs.
    explicit OdbcQueries(std::function<OdbcStatement()> newStatement) : newStatement_(std::move(newStatement)) {}

    std::vector<QueryRow> Run(const std::string& sql, const std::vector<std::string>& parameters) override;
    std::vector<ColumnOrigin> Origins(const std::string& sql) override;

private:
    std::function<OdbcStatement()> newStatement_;
};

} // namespace korvista
