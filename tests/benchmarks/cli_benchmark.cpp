// What korvista-cli costs beyond the describe calls it cannot avoid. Not a test. Run:
//   build/<dir>/tests/benchmarks/cli_benchmark [tables] [columns] [runs]
// Builds two SQLite databases of 2,000 tables of 12 columns (every tenth table drifts), then measures in
// the same run: the bare describe calls (OpenProviderSession + DescribeQuery for every table of both
// databases) and the wall time and peak memory (getrusage of the child) of korvista-cli over the same pair.
// With the test servers up (KORVISTA_TEST_SERVERS_ENV, see describe_benchmark.cpp) the same for a
// PostgreSQL pair of [pg-tables] tables (500 by default), given as the fourth argument.

#include "benchmark_support.h"
#include "odbc/test_servers_helpers.h"
#include "schema/provider.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using korvista::bench::BuildDatabase;
using korvista::bench::ChildRun;
using korvista::bench::Clock;
using korvista::bench::Median;
using korvista::bench::RunCli;
using korvista::bench::Seconds;
using korvista::bench::TableName;

// The same tables on the PostgreSQL test server, in a new database; gives its connection string.
std::string BuildPostgres(int tables, int columns, bool drift) {
    using korvista::testservers::Engine;
    static const char* const kTypes[] = {"integer NOT NULL",
                                         "varchar(40) NOT NULL",
                                         "varchar(200)",
                                         "numeric(12,2)",
                                         "date",
                                         "timestamp NOT NULL",
                                         "boolean",
                                         "text",
                                         "bigint",
                                         "real",
                                         "char(3)",
                                         "bytea"};
    const std::string cs =
        korvista::testservers::CreateDatabase(Engine::PostgreSQL, korvista::testservers::UniqueName("bench"));
    std::vector<std::string> statements;
    for (int t = 0; t < tables; ++t) {
        std::string sql = "CREATE TABLE " + TableName(t) + " (";
        for (int c = 0; c < columns; ++c) {
            std::string type = kTypes[c % 12];
            if (drift && t % 10 == 0 && c == 2)
                type = "varchar(250)";
            sql += (c ? ", Col" : "Col") + std::to_string(c) + " " + type;
        }
        statements.push_back(sql + ")");
    }
    korvista::testservers::Execute(cs, statements);
    return cs;
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

// Both measurements [runs] times over the pair, then the medians and the peak.
void Measure(const std::string& what, const std::string& cs1, const std::string& cs2, int tables, int columns,
             int runs) {
    std::vector<double> bare;
    std::vector<double> cli;
    long peak = 0;
    int status = -1;
    for (int r = 0; r < runs; ++r) {
        bare.push_back(BareDescribe(cs1, cs2, tables));
        const ChildRun run = RunCli(KORVISTA_CLI_PATH, cs1, cs2);
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

        const int pgTables = argc > 4 ? std::atoi(argv[4]) : 500;
        const korvista::testservers::ServerInfo pg =
            korvista::testservers::Server(korvista::testservers::Engine::PostgreSQL);
        if (!pg.available) {
            std::printf("PostgreSQL pair skipped: %s\n", pg.reason.c_str());
            return 0;
        }
        Measure("two PostgreSQL databases through ODBC", BuildPostgres(pgTables, columns, false),
                BuildPostgres(pgTables, columns, true), pgTables, columns, runs);
        return 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "cli_benchmark: %s\n", error.what());
        return 1;
    }
}
