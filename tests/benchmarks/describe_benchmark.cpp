// What describing one table costs, per driver and for the built-in SQLite provider, over many generated
// tables. Not a test. Run it with the test servers up:
//   scripts/test-servers start /tmp/kv.env
//   KORVISTA_TEST_SERVERS_ENV=/tmp/kv.env build/<dir>/tests/benchmarks/describe_benchmark [sqlite-tables]
//   [server-tables] scripts/test-servers stop /tmp/kv.env
// Without the servers only SQLite is measured.

#include "odbc/test_servers_helpers.h"
#include "schema/provider.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using namespace korvista;
using testservers::Engine;
using Clock = std::chrono::steady_clock;

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

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
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

} // namespace

int main(int argc, char** argv) {
    const int sqliteTables = argc > 1 ? std::atoi(argv[1]) : 2000;
    const int serverTables = argc > 2 ? std::atoi(argv[2]) : 1000;
    try {
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
