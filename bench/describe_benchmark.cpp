// What describing one table costs, per driver and for the built-in SQLite provider, over many generated
// tables. Not a test. Run it with the test servers up:
//   scripts/test-servers start /tmp/kv.env
//   KORVISTA_TEST_SERVERS_ENV=/tmp/kv.env build/<dir>/bench/describe_benchmark [sqlite-tables]
//   [server-tables] [runs]
//   scripts/test-servers stop /tmp/kv.env
// Without the servers only SQLite is measured.
//
// First, on two generated SQLite files of [sqlite-tables] tables x 12 columns (benchmark_support.h), the
// bare libsqlite3 per-table describe (prepare "select * from t", sqlite3_column_decltype per column)
// against what Korvista does in the same run: the built-in provider's whole-database read, the window's
// per-table read, the whole-database read through the SQLite ODBC driver, and korvista-cli on the pair.

#include "benchmark_support.h"
#include "odbc/test_servers_helpers.h"
#include "schema/provider.h"

#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using namespace korvista;
using testservers::Engine;
using bench::Clock;
using bench::Seconds;

std::string TableName(int i) {
    return "bench_" + std::to_string(i);
}

std::vector<std::string> CreateTables(int count, const std::string& binaryType, bool transaction) {
    std::vector<std::string> statements;
    if (transaction)
        statements.push_back("BEGIN");
    for (int i = 0; i < count; ++i)
        statements.push_back("CREATE TABLE " + TableName(i) +
                             " (id integer PRIMARY KEY, code varchar(20) NOT NULL, amount numeric(18,2), "
                             "qty smallint, created timestamp, note text, flag boolean, data " +
                             binaryType + ")");
    if (transaction)
        statements.push_back("COMMIT");
    return statements;
}

void Measure(const char* label, const std::string& connectionString, int tables) {
    const auto openStart = Clock::now();
    std::unique_ptr<ProviderSession> session = OpenProviderSession(connectionString);
    const double open = Seconds(Clock::now() - openStart);

    const auto listStart = Clock::now();
    Rowset catalogue = session->TableCatalogue(false);
    const double list = Seconds(Clock::now() - listStart);

    std::size_t fields = 0;
    const auto start = Clock::now();
    for (int i = 0; i < tables; ++i)
        fields +=
            DescribeResult(session->DescribeQuery("Select * from " + TableName(i) + " where 1=2")).size();
    const double total = Seconds(Clock::now() - start);
    std::printf("%-20s %6d tables  open %7.1f ms  catalogue %7.1f ms (%zu rows)  describe %8.1f ms total, "
                "%7.1f us/table (%zu fields)\n",
                label, tables, open * 1e3, list * 1e3, catalogue.rows.size(), total * 1e3,
                total * 1e6 / tables, fields);

    // The table click's road: the engine's dialect where there is one, else the column query above.
    std::size_t clicked = 0;
    const auto clickStart = Clock::now();
    for (int i = 0; i < tables; ++i)
        clicked += DescribeResult(session->DescribeTable(TableName(i))).size();
    const double clicks = Seconds(Clock::now() - clickStart);
    std::printf("%-20s %6d tables  DescribeTable %8.1f ms total, %7.1f us/table (%zu fields)\n", label, tables,
                clicks * 1e3, clicks * 1e6 / tables, clicked);
}

// libsqlite3 alone: every table's column query prepared once, the declared type of each column read.
double BareSqliteDescribe(const std::string& file, int tables, const std::string& prefix = "Table") {
    const auto start = Clock::now();
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK)
        throw std::runtime_error("cannot open " + file);
    std::size_t described = 0;
    for (int i = 0; i < tables; ++i) {
        const std::string sql = "select * from " + prefix + std::to_string(i);
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK)
            throw std::runtime_error(sqlite3_errmsg(db));
        for (int c = 0; c < sqlite3_column_count(statement); ++c)
            described += sqlite3_column_decltype(statement, c) != nullptr;
        sqlite3_finalize(statement);
    }
    sqlite3_close(db);
    if (described == 0)
        throw std::runtime_error("nothing described");
    return Seconds(Clock::now() - start);
}

// The command-line tool's read of one database: the whole catalogue with every column (the describing rule
// that follows is checked but not timed: the bare describe has none).
double WholeRead(const std::string& connectionString, std::size_t expectedTables) {
    const auto start = Clock::now();
    std::unique_ptr<ProviderSession> session = OpenProviderSession(connectionString);
    const std::optional<DatabaseSchema> schema = session->ReadSchema();
    if (!schema || schema->tables.size() != expectedTables)
        throw std::runtime_error("whole-database read incomplete: " + connectionString);
    const double read = Seconds(Clock::now() - start);
    std::size_t fields = 0;
    for (const TableSchema& table : schema->tables)
        fields += DescribeResult(table.columns).size();
    if (fields == 0)
        throw std::runtime_error("no fields");
    return read;
}

// The window's road: the table list, then one table read per click.
double PerTableRead(const std::string& connectionString, int tables) {
    const auto start = Clock::now();
    std::unique_ptr<ProviderSession> session = OpenProviderSession(connectionString);
    session->TableCatalogue(false);
    std::size_t fields = 0;
    for (int i = 0; i < tables; ++i)
        fields += DescribeResult(session->DescribeTable(bench::TableName(i))).size();
    if (fields == 0)
        throw std::runtime_error("no fields");
    return Seconds(Clock::now() - start);
}

void MeasureSqlite(int tables, int runs) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / testservers::UniqueName("bench");
    fs::create_directories(dir);
    const std::string file1 = (dir / "bench1.db").string();
    const std::string file2 = (dir / "bench2.db").string();
    bench::BuildDatabase(file1, tables, 12, false);
    bench::BuildDatabase(file2, tables, 12, true);
    const std::string builtIn1 = "Provider=SQLite;Data Source=" + file1;
    const std::string builtIn2 = "Provider=SQLite;Data Source=" + file2;

    std::vector<double> bare, whole, perTable, odbcWhole, barePair, cli;
    int status = -1;
    for (int r = 0; r < runs; ++r) {
        bare.push_back(BareSqliteDescribe(file1, tables));
        whole.push_back(WholeRead(builtIn1, static_cast<std::size_t>(tables)));
        perTable.push_back(PerTableRead(builtIn1, tables));
        odbcWhole.push_back(
            WholeRead(testservers::SqliteOdbcConnectionString(file1), static_cast<std::size_t>(tables)));
        barePair.push_back(BareSqliteDescribe(file1, tables) + BareSqliteDescribe(file2, tables));
#ifdef KORVISTA_CLI_PATH
        const bench::ChildRun run = bench::RunCli(KORVISTA_CLI_PATH, builtIn1, builtIn2);
        cli.push_back(run.seconds);
        status = run.status;
#endif
    }
    const double base = bench::Median(bare);
    std::printf("SQLite, %d tables x 12 columns, median of %d runs\n", tables, runs);
    std::printf("  bare libsqlite3 per-table describe, one database:   %8.1f ms\n", base * 1e3);
    std::printf("  built-in provider, whole-database read:             %8.1f ms  (%.2fx)\n",
                bench::Median(whole) * 1e3, bench::Median(whole) / base);
    std::printf("  built-in provider, per-table read (window road):    %8.1f ms  (%.2fx)\n",
                bench::Median(perTable) * 1e3, bench::Median(perTable) / base);
    std::printf("  SQLite ODBC driver, whole-database read:            %8.1f ms  (%.2fx)\n",
                bench::Median(odbcWhole) * 1e3, bench::Median(odbcWhole) / base);
    std::printf("  bare libsqlite3 per-table describe, both databases: %8.1f ms\n",
                bench::Median(barePair) * 1e3);
    if (!cli.empty())
        std::printf("  korvista-cli on the pair (exit status %d):           %8.1f ms  (%.2fx)\n", status,
                    bench::Median(cli) * 1e3, bench::Median(cli) / bench::Median(barePair));

    // Most real tables have a key: with an INTEGER PRIMARY KEY each table's indexes are asked for too.
    const std::string keyed = (dir / "keyed.db").string();
    testservers::Execute(testservers::SqliteOdbcConnectionString(keyed), CreateTables(tables, "blob", true));
    std::vector<double> keyedBare, keyedWhole;
    for (int r = 0; r < runs; ++r) {
        keyedBare.push_back(BareSqliteDescribe(keyed, tables, "bench_"));
        keyedWhole.push_back(
            WholeRead("Provider=SQLite;Data Source=" + keyed, static_cast<std::size_t>(tables)));
    }
    std::printf("  with an INTEGER PRIMARY KEY in each table (8 columns): bare %.1f ms, whole-database read "
                "%.1f ms  (%.2fx)\n",
                bench::Median(keyedBare) * 1e3, bench::Median(keyedWhole) * 1e3,
                bench::Median(keyedWhole) / bench::Median(keyedBare));
    fs::remove_all(dir);
}

} // namespace

int main(int argc, char** argv) {
    const int sqliteTables = argc > 1 ? std::atoi(argv[1]) : 2000;
    const int serverTables = argc > 2 ? std::atoi(argv[2]) : 1000;
    const int runs = argc > 3 ? std::max(1, std::atoi(argv[3])) : 5;
    try {
        MeasureSqlite(sqliteTables, runs);

        namespace fs = std::filesystem;
        const fs::path dir = fs::temp_directory_path() / testservers::UniqueName("bench");
        fs::create_directories(dir);
        const std::string file = (dir / "bench.db").string();
        testservers::Execute(testservers::SqliteOdbcConnectionString(file),
                             CreateTables(sqliteTables, "blob", true));
        Measure("SQLite (built-in)", "Provider=SQLite;Data Source=" + file, sqliteTables);
        Measure("SQLite (ODBC)", testservers::SqliteOdbcConnectionString(file), sqliteTables);
        fs::remove_all(dir);

        for (Engine engine : {Engine::PostgreSQL, Engine::MariaDB}) {
            const testservers::ServerInfo info = testservers::Server(engine);
            if (!info.available) {
                std::printf("%-20s skipped: %s\n", testservers::EngineName(engine), info.reason.c_str());
                continue;
            }
            const std::string cs = testservers::CreateDatabase(engine, testservers::UniqueName("bench"));
            testservers::Execute(cs,
                                 CreateTables(serverTables, engine == Engine::PostgreSQL ? "bytea" : "blob",
                                              engine == Engine::PostgreSQL));
            Measure(engine == Engine::PostgreSQL ? "PostgreSQL (ODBC)" : "MariaDB (ODBC)", cs, serverTables);
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "benchmark failed: %s\n", e.what());
        return 1;
    }
    return 0;
}
