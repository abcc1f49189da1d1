#pragma once

// The ODBC provider's session, visible to its own tests: they check the drivers' raw reports too.

#include "schema/catalogue_dialect.h"
#include "schema/odbc_handles.h"
#include "schema/odbc_types.h"
#include "schema/provider.h"
#include "schema/session_limits.h"
#include "schema/socket_watch.h"

#include <optional>
#include <string>
#include <vector>

namespace korvista {

class OdbcSession final : public ProviderSession {
public:
    // Connects without prompting; throws korvista::Error with every diagnostic record of the failure.
    explicit OdbcSession(const std::string& connectionString, const SessionLimits& limits = {});

    Rowset TableCatalogue(bool includeSystemTables) override;
    std::string IdentifierQuote() override;
    std::vector<ColumnDescription> DescribeQuery(const std::string& sql) override;
    // Through the engine's dialect where the DBMS has one, else the generic column query.
    std::vector<ColumnDescription> DescribeTable(const std::string& table) override;
    std::optional<DatabaseSchema> ReadSchema() override;

    // The query's result columns as the driver reports them, before its quirks are mended.
    std::vector<OdbcColumn> ReportedColumns(const std::string& sql);
    // The same after mending, still in ODBC's terms.
    std::vector<OdbcColumn> MendedColumns(const std::string& sql);

    // SQL_ATTR_QUERY_TIMEOUT of a new statement, as the driver reports it back.
    SQLULEN QueryTimeout();

    // The engine whose driver this is; nullptr for a driver no dialect knows.
    const EngineIdentity* Driver() const { return driver_; }
    // SQL_DBMS_NAME as the driver reports it, and whether an engine dialect reads the catalogue.
    const std::string& DbmsName() const { return dbmsName_; }
    bool HasDialect() const { return dialect_ != nullptr; }
    // The connection's current catalog where the driver has catalogs and names one.
    const std::optional<std::string>& CurrentCatalog() const { return catalog_; }

private:
    // Runs one request of the session under the query timeout. A request that the server leaves without
    // an answer, or whose connection fails, throws korvista::ConnectionLost, and so does every request
    // after it: the connection is dead.
    template <class F> auto Request(F&& request) -> decltype(request());
    [[noreturn]] void Lose(const std::string& message);

    void Prepare();
    Rowset Catalogue(bool includeSystemTables);
    std::vector<OdbcColumn> Reported(const std::string& sql);
    std::vector<OdbcColumn> Mended(const std::string& sql);
    OdbcStatement NewStatement();
    std::optional<bool> CatalogAcceptsNull(const OdbcColumn& column);
    std::string InfoText(SQLUSMALLINT infoType);

    SessionLimits limits_;
    SocketWatch watch_;
    std::string lost_; // why the connection is dead; empty while it lives
    OdbcEnvironment env_;
    OdbcConnection dbc_;
    const EngineIdentity* driver_ = nullptr;
    std::optional<std::string> catalog_;
    std::string dbmsName_;
    std::unique_ptr<EngineDialect> dialect_;
    std::unique_ptr<CatalogueQueries> queries_;
    bool statementsBounded_ = false;
};

} // namespace korvista
