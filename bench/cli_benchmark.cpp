// What korvista-cli costs beyond the describe calls it cannot avoid. Not a test. Run:
//   build/<dir>/bench/cli_benchmark [tables] [columns] [runs]
// Builds two SQLite databases of 2,000 tables of 12 columns (every tenth table drifts), then measures in
// the same run: the bare describe calls (OpenProviderSession + DescribeQuery for every table of both
// databases) and the wall time and peak memory (getrusage of the child) of korvista-cli over the same pair.
// With the test servers up (KORVISTA_TEST_SERVERS_ENV, see describe_benchmark.cpp) the same for a
// PostgreSQL pair of [pg-tables] tables (2,000 by default), given as the fourth argument, and beside it
// in the same run: one catalogue query per database by psql (every column of every table, connection
// included, as korvista-cli's time includes its connections) with korvista-cli's ratio to it, and what
// the window's table click costs per table (DescribeTable) and the whole-database read (ReadSchema).
// A MariaDB pair of [tables] tables is measured against the `mariadb` client in cli_benchmark_mariadb.cpp.

#include "benchmark_support.h"
#include "cli_benchmark_mariadb.h"
#include "odbc/test_servers_helpers.h"
#include "schema/provider.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using korvista::bench::BuildDatabase;
using korvista::bench::ChildRun;
using korvista::bench::Clock;
using korvista::bench::Median;
using korvista::bench::RunChild;
using korvista::bench::Seconds;
using korvista::bench::TableName;

// The same tables on the PostgreSQL test server, in a new database; gives its connection string.
std::string BuildPostgres(int tables, int columns, bool drift) {
    using korvista::testservers::Engine;
    static const korvista::bench::ColumnTypes kTypes = {
        {"integer NOT NULL", "varchar(40) NOT NULL", "varchar(200)", "numeric(12,2)", "date", "timestamp NOT NULL",
         "boolean", "text", "bigint", "real", "char(3)", "bytea"},
        "varchar(250)"};
    const std::string cs =
        korvista::testservers::CreateDatabase(Engine::PostgreSQL, korvista::testservers::UniqueName("bench"));
    std::vector<std::string> statements = {"BEGIN"};
    for (std::string& statement : korvista::bench::CreateTables(kTypes, tables, columns, drift))
        statements.push_back(std::move(statement));
    statements.push_back("COMMIT");
    korvista::testservers::Execute(cs, statements);
    return cs;
}

// The database name of a connection string that CreateDatabase gave.
std::string DatabaseOf(const std::string& cs) {
    const std::size_t start = cs.find(";Database=") + 10;
    return cs.substr(start, cs.find(';', start) - start);
}

double BareDescribe(const std::string& cs1, const std::string& cs2, int tables) {
    const Clock::time_point start = Clock::now();
    auto session1 = korvista::OpenProviderSession(cs1);
    auto session2 = korvista::OpenProviderSession(cs2);
    std::size_t columns = 0;
    for (int t = 0; t < tables; ++t) {
        const std::string sql = "Select * from " + TableName(t) + " where 1=2";
        columns += session1->DescribeQuery(sql).size();
        columns += session2->DescribeQuery(sql).size();
    }
    const double elapsed = Seconds(Clock::now() - start);
    if (columns == 0)
        throw std::runtime_error("nothing described");
    return elapsed;
}

ChildRun RunCli(const std::string& cs1, const std::string& cs2) {
    return korvista::bench::RunCli(KORVISTA_CLI_PATH, cs1, cs2);
}

// The engine's own client, not the version-choosing wrapper on the PATH, whose start-up would count.
constexpr const char* kPsql = "/usr/lib/postgresql/15/bin/psql";

// Every column of every table and view in one query, as a client would ask the catalogue for them.
constexpr const char* kCatalogueQuery =
    "SELECT n.nspname, c.relname, a.attname, pg_catalog.format_type(a.atttypid, a.atttypmod), a.attnotnull "
    "FROM pg_catalog.pg_attribute a JOIN pg_catalog.pg_class c ON c.oid = a.attrelid "
    "JOIN pg_catalog.pg_namespace n ON n.oid = c.relnamespace "
    "WHERE c.relkind IN ('r', 'v', 'p') AND n.nspname NOT IN ('pg_catalog', 'information_schema', 'pg_toast') "
    "AND a.attnum > 0 AND NOT a.attisdropped ORDER BY 1, 2, a.attnum";

double PsqlCatalogueQuery(const std::string& cs) {
    const korvista::testservers::ServerInfo pg =
        korvista::testservers::Server(korvista::testservers::Engine::PostgreSQL);
    const ChildRun run = RunChild({kPsql, "-X", "-q", "-A", "-t", "-v", "ON_ERROR_STOP=1", "-h", pg.host, "-p",
                                   pg.port, "-U", pg.user, "-d", DatabaseOf(cs), "-c", kCatalogueQuery},
                                  {"PGPASSWORD=" + pg.password});
    if (run.status != 0)
        throw std::runtime_error("psql failed with status " + std::to_string(run.status));
    return run.seconds;
}

struct DialectCost {
    double describePerTable = 0;
    double readSchema = 0;
};

// One session on the database: one ReadSchema, then DescribeTable for every table it lists.
DialectCost DialectReads(const std::string& cs, int tables) {
    auto session = korvista::OpenProviderSession(cs);
    Clock::time_point start = Clock::now();
    const std::optional<korvista::DatabaseSchema> schema = session->ReadSchema();
    DialectCost cost;
    cost.readSchema = Seconds(Clock::now() - start);
    if (!schema || schema->tables.size() != static_cast<std::size_t>(tables))
        throw std::runtime_error("the dialect did not list the tables");
    std::size_t columns = 0;
    start = Clock::now();
    for (const korvista::TableSchema& table : schema->tables)
        columns += session->DescribeTable(table.name).size();
    cost.describePerTable = Seconds(Clock::now() - start) / tables;
    if (columns == 0)
        throw std::runtime_error("nothing described");
    return cost;
}

// Both measurements [runs] times over the pair, then the medians and the peak.
void Measure(const std::string& what, const std::string& cs1, const std::string& cs2, int tables, int columns,
             int runs) {
    std::vector<double> bare;
    std::vector<double> cli;
    long peak = 0;
    int status = -1;
    for (int r = 0; r < runs; ++r) {
        bare.push_back(BareDescribe(cs1, cs2, tables));
        const ChildRun run = RunCli(cs1, cs2);
        cli.push_back(run.seconds);
        peak = std::max(peak, run.maxRssKiB);
        status = run.status;
    }
    std::printf("%d tables x %d columns, %s, median of %d runs\n", tables, columns, what.c_str(), runs);
    std::printf("  bare describe calls (open + %d DescribeQuery): %8.3f s\n", 2 * tables, Median(bare));
    std::printf("  korvista-cli --format tsv (exit status %d):      %8.3f s  (%.2fx)\n", status, Median(cli),
                Median(cli) / Median(bare));
    std::printf("  korvista-cli peak resident memory:               %8ld KiB\n", peak);
}

// korvista-cli against psql's one catalogue query per database, and the dialect's own reads.
void MeasureAgainstPsql(const std::string& cs1, const std::string& cs2, int tables, int runs) {
    std::vector<double> cli, psql, describe, whole;
    for (int r = 0; r < runs; ++r) {
        cli.push_back(RunCli(cs1, cs2).seconds);
        psql.push_back(PsqlCatalogueQuery(cs1) + PsqlCatalogueQuery(cs2));
        const DialectCost cost = DialectReads(cs1, tables);
        describe.push_back(cost.describePerTable);
        whole.push_back(cost.readSchema);
    }
    std::printf("  psql, one catalogue query per database (x2):     %8.3f s\n", Median(psql));
    std::printf("  korvista-cli against psql:                        %8.2fx  (goal: within 3x)\n",
                Median(cli) / Median(psql));
    std::printf("  DescribeTable (table click), per table:           %8.3f ms\n", Median(describe) * 1e3);
    std::printf("  ReadSchema, whole database of %d tables:        %8.3f s\n", tables, Median(whole));
}

} // namespace

int main(int argc, char** argv) {
    const int tables = argc > 1 ? std::atoi(argv[1]) : 2000;
    const int columns = argc > 2 ? std::atoi(argv[2]) : 12;
    const int runs = argc > 3 ? std::max(1, std::atoi(argv[3])) : 3;
    try {
        const auto dir =
            std::filesystem::temp_directory_path() / ("korvista-cli-bench-" + std::to_string(getpid()));
        std::filesystem::create_directories(dir);
        const std::string db1 = (dir / "bench1.db").string();
        const std::string db2 = (dir / "bench2.db").string();
        BuildDatabase(db1, tables, columns, false);
        BuildDatabase(db2, tables, columns, true);

        Measure("two SQLite databases", "Provider=SQLite;Data Source=" + db1,
                "Provider=SQLite;Data Source=" + db2, tables, columns, runs);
        std::filesystem::remove_all(dir);

        korvista::bench::MeasureMariaDbPair(tables, columns, runs); // cli_benchmark_mariadb.cpp

        const int pgTables = argc > 4 ? std::atoi(argv[4]) : 2000;
        const korvista::testservers::ServerInfo pg =
            korvista::testservers::Server(korvista::testservers::Engine::PostgreSQL);
        if (!pg.available) {
            std::printf("PostgreSQL pair skipped: %s\n", pg.reason.c_str());
            return 0;
        }
        const std::string pg1 = BuildPostgres(pgTables, columns, false);
        const std::string pg2 = BuildPostgres(pgTables, columns, true);
        Measure("two PostgreSQL databases through ODBC", pg1, pg2, pgTables, columns, runs);
        MeasureAgainstPsql(pg1, pg2, pgTables, runs);
        return 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "cli_benchmark: %s\n", error.what());
        return 1;
    }
}
