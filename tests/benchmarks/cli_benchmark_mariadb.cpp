// The MariaDB part of cli_benchmark: korvista-cli reads each database's whole catalogue in a few
// statements; the goal is to stay within 3x of the one catalogue query per database that the `mariadb`
// client makes, measured in the same run on the same server.

#include "cli_benchmark_mariadb.h"

#include "benchmark_support.h"
#include "odbc/test_servers_helpers.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

extern char** environ;

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
    static const char* const kTypes[] = {"integer NOT NULL",
                                         "varchar(40) NOT NULL",
                                         "varchar(200)",
                                         "numeric(12,2)",
                                         "date",
                                         "timestamp NOT NULL DEFAULT CURRENT_TIMESTAMP",
                                         "boolean",
                                         "text",
                                         "bigint",
                                         "real",
                                         "char(3)",
                                         "blob"};
    const std::string cs = testservers::CreateDatabase(Engine::MariaDB, name);
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
    testservers::Execute(cs, statements);
    return cs;
}

struct Run {
    double seconds = 0;
    int status = -1;
};

// Runs the program (searched in PATH) with output discarded and the extra environment entries added.
Run Timed(const std::vector<std::string>& args, const std::vector<std::string>& extraEnvironment = {}) {
    std::vector<char*> argv;
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    std::vector<std::string> environment(extraEnvironment);
    for (char** e = environ; *e; ++e)
        environment.push_back(*e);
    std::vector<char*> envp;
    for (std::string& entry : environment)
        envp.push_back(entry.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const Clock::time_point start = Clock::now();
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        throw std::runtime_error("cannot start " + args[0]);
    int wstatus = 0;
    if (waitpid(pid, &wstatus, 0) != pid)
        throw std::runtime_error("waitpid failed");
    return {Seconds(Clock::now() - start), WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1};
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
        return Timed({"mariadb", "--no-defaults", "--batch", "--skip-column-names", "--host=" + server.host,
                      "--port=" + server.port, "--user=" + server.user, "--database=" + database,
                      std::string("--execute=") + kCatalogueQuery},
                     {"MYSQL_PWD=" + server.password});
    };
    std::vector<double> cli, queries;
    int cliStatus = -1, clientStatus = 0;
    for (int r = 0; r < runs; ++r) {
        const Run first = client(name1);
        const Run second = client(name2);
        queries.push_back(first.seconds + second.seconds);
        clientStatus |= first.status | second.status;
        const Run run = Timed({KORVISTA_CLI_PATH, "--format", "tsv", cs1, cs2});
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
