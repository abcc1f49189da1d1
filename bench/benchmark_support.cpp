#include "benchmark_support.h"

#include <fcntl.h>
#include <spawn.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <filesystem>
#include <stdexcept>

extern char** environ;

namespace korvista::bench {

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

std::string TableName(int i) {
    return "Table" + std::to_string(i);
}

std::vector<std::string> CreateTables(const ColumnTypes& types, int tables, int columns, bool drift) {
    std::vector<std::string> statements;
    for (int t = 0; t < tables; ++t) {
        std::string sql = "CREATE TABLE " + TableName(t) + " (";
        for (int c = 0; c < columns; ++c) {
            const char* type = drift && t % 10 == 0 && c == 2 ? types.wider : types.types[c % 12];
            sql += (c ? ", Col" : "Col") + std::to_string(c) + " " + type;
        }
        statements.push_back(sql + ")");
    }
    return statements;
}

void BuildDatabase(const std::string& path, int tables, int columns, bool drift) {
    static const ColumnTypes kSqlite = {{"INTEGER NOT NULL", "VARCHAR(40) NOT NULL", "VARCHAR(200)",
                                         "NUMERIC(12,2)", "DATE", "DATETIME NOT NULL", "BOOLEAN", "TEXT",
                                         "BIGINT", "REAL", "CHAR(3)", "BLOB"},
                                        "VARCHAR(250)"};
    std::string sql = "BEGIN;";
    for (const std::string& statement : CreateTables(kSqlite, tables, columns, drift))
        sql += statement + ";";
    sql += "COMMIT;";
    std::filesystem::remove(path);
    sqlite3* db = nullptr;
    if (sqlite3_open(path.c_str(), &db) != SQLITE_OK ||
        sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) {
        const std::string message = db ? sqlite3_errmsg(db) : "out of memory";
        sqlite3_close(db);
        throw std::runtime_error("cannot build " + path + ": " + message);
    }
    sqlite3_close(db);
}

ChildRun RunChild(const std::vector<std::string>& args, const std::vector<std::string>& extraEnv) {
    std::vector<char*> argv;
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> env;
    for (const std::string& value : extraEnv)
        env.push_back(const_cast<char*>(value.c_str()));
    for (char** e = environ; *e; ++e)
        env.push_back(*e);
    env.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const Clock::time_point start = Clock::now();
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), env.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        throw std::runtime_error("cannot start " + args[0]);
    int wstatus = 0;
    rusage usage{};
    if (wait4(pid, &wstatus, 0, &usage) != pid)
        throw std::runtime_error("wait4 failed");
    ChildRun run;
    run.seconds = Seconds(Clock::now() - start);
    run.cpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                     static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    run.maxRssKiB = usage.ru_maxrss;
    run.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
    return run;
}

ChildRun RunCli(const std::string& cliPath, const std::string& cs1, const std::string& cs2) {
    return RunChild({cliPath, "--format", "tsv", cs1, cs2});
}

} // namespace korvista::bench
