// The MariaDB part of cli_benchmark: korvista-cli reads each database's whole catalogue in a few
// statements; the goal is to stay within 3x of the one catalogue query per database that the `mariadb`
// client makes, measured in the same run on the same server.

#include "cli_benchmark_mariadb.h"

#include "benchmark_support.h"
#include "odbc/test_servers_helpers.h"

#include <cstdio>
#include <string>
#include <vector>

namespace korvista::bench {

namespace {

using testservers::Engine;

// Every column of every table of the database: what the command-line tool needs to know.
constexpr const char* kCatalogueQuery =
    "SELECT TABLE_NAME, COLUMN_NAME, ORDINAL_POSITION, DATA_TYPE, COLUMN_TYPE, CHARACTER_MAXIMUM_LENGTH, "
    "NUMERIC_PRECISION, NUMERIC_SCALE, IS_NULLABLE, EXTRA FROM information_schema.COLUMNS "
    "WHERE TABLE_SCHEMA = DATABASE()";

// The tables of the SQLite pair in MariaDB's words, in a new database; gives its connection string.
std::string BuildMariaDb(const std::string& name, int tables, int columns, bool drift) {
    static const ColumnTypes kTypes = {{"integer NOT NULL", "varchar(40) NOT NULL", "varchar(200)",
                                        "numeric(12,2)", "date", "timestamp NOT NULL DEFAULT CURRENT_TIMESTAMP",
                                        "boolean", "text", "bigint", "real", "char(3)", "blob"},
                                       "varchar(250)"};
    const std::string cs = testservers::CreateDatabase(Engine::MariaDB, name);
    testservers::Execute(cs, CreateTables(kTypes, tables, columns, drift));
    return cs;
}

} // namespace

void MeasureMariaDbPair(int tables, int columns, int runs) {
    const testservers::ServerInfo server = testservers::Server(Engine::MariaDB);
    if (!server.available) {
        std::printf("MariaDB pair skipped: %s\n", server.reason.c_str());
        return;
    }
    const std::string name1 = testservers::UniqueName("bench");
    const std::string name2 = testservers::UniqueName("bench");
    const std::string cs1 = BuildMariaDb(name1, tables, columns, false);
    const std::string cs2 = BuildMariaDb(name2, tables, columns, true);

    const auto client = [&](const std::string& database) {
        return RunChild({"mariadb", "--no-defaults", "--batch", "--skip-column-names", "--host=" + server.host,
                      "--port=" + server.port, "--user=" + server.user, "--database=" + database,
                      std::string("--execute=") + kCatalogueQuery},
                     {"MYSQL_PWD=" + server.password});
    };
    std::vector<double> cli, queries;
    int cliStatus = -1, clientStatus = 0;
    for (int r = 0; r < runs; ++r) {
        const ChildRun first = client(name1);
        const ChildRun second = client(name2);
        queries.push_back(first.seconds + second.seconds);
        clientStatus |= first.status | second.status;
        const ChildRun run = RunCli(KORVISTA_CLI_PATH, cs1, cs2);
        cli.push_back(run.seconds);
        cliStatus = run.status;
    }
    std::printf("%d tables x %d columns, two MariaDB databases through ODBC, median of %d runs\n", tables,
                columns, runs);
    std::printf("  mariadb client, one catalogue query per database (exit status %d): %8.3f s\n",
                clientStatus, Median(queries));
    std::printf("  korvista-cli --format tsv (exit status %d):                        %8.3f s  (%.2fx)\n",
                cliStatus, Median(cli), Median(cli) / Median(queries));
    testservers::Execute(testservers::ConnectionString(Engine::MariaDB),
                         {"DROP DATABASE " + name1, "DROP DATABASE " + name2});
}

} // namespace korvista::bench
