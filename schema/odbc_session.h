#pragma once

// The ODBC provider's session, visible to its own tests: they check the drivers' raw reports too.

#include "schema/odbc_handles.h"
#include "schema/odbc_types.h"
#include "schema/provider.h"

#include <optional>
#include <string>
#include <vector>

namespace korvista {

class OdbcSession final : public ProviderSession {
public:
    // Connects without prompting; throws korvista::Error with every diagnostic record of the failure.
    explicit OdbcSession(const std::string& connectionString);

    Rowset TableCatalogue(bool includeSystemTables) override;
    std::string IdentifierQuote() override;
    std::vector<ColumnDescription> DescribeQuery(const std::string& sql) override;

    // The query's result columns as the driver reports them, before its quirks are mended.
    std::vector<OdbcColumn> ReportedColumns(const std::string& sql);
    // The same after mending, still in ODBC's terms.
    std::vector<OdbcColumn> MendedColumns(const std::string& sql);

    // SQL_ATTR_QUERY_TIMEOUT of a new statement, as the driver reports it back.
    SQLULEN QueryTimeout();

    OdbcDriverKind Driver() const { return driver_; }
    // The connection's current catalog where the driver has catalogs and names one.
    const std::optional<std::string>& CurrentCatalog() const { return catalog_; }

private:
    OdbcStatement NewStatement();
    std::optional<bool> CatalogAcceptsNull(const OdbcColumn& column);
    std::string InfoText(SQLUSMALLINT infoType);

    OdbcEnvironment env_;
    OdbcConnection dbc_;
    OdbcDriverKind driver_ = OdbcDriverKind::Other;
    std::optional<std::string> catalog_;
};

} // namespace korvista
