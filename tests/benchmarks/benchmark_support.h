#pragma once

// The generated SQLite pair, the timing and the korvista-cli child run that the benchmarks share.

#include <fcntl.h>
#include <spawn.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

extern char** environ;

namespace korvista::bench {

using Clock = std::chrono::steady_clock;

inline double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

inline std::string TableName(int i) {
    return "Table" + std::to_string(i);
}

// [tables] tables of [columns] columns of mixed types; with drift every tenth table has a wider third column.
inline void BuildDatabase(const std::string& path, int tables, int columns, bool drift) {
    static const char* const kTypes[] = {"INTEGER NOT NULL",
                                         "VARCHAR(40) NOT NULL",
                                         "VARCHAR(200)",
                                         "NUMERIC(12,2)",
                                         "DATE",
                                         "DATETIME NOT NULL",
                                         "BOOLEAN",
                                         "TEXT",
                                         "BIGINT",
                                         "REAL",
                                         "CHAR(3)",
                                         "BLOB"};
    std::string sql = "BEGIN;";
    for (int t = 0; t < tables; ++t) {
        sql += "CREATE TABLE " + TableName(t) + " (";
        for (int c = 0; c < columns; ++c) {
            std::string type = kTypes[c % 12];
            if (drift && t % 10 == 0 && c == 2)
                type = "VARCHAR(250)";
            sql += (c ? ", Col" : "Col") + std::to_string(c) + " " + type;
        }
        sql += ");";
    }
    sql += "COMMIT;";
    std::filesystem::remove(path);
    sqlite3* db = nullptr;
    if (sqlite3_open(path.c_str(), &db) != SQLITE_OK ||
        sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK)
        throw std::runtime_error("cannot build " + path + ": " + sqlite3_errmsg(db));
    sqlite3_close(db);
}

inline double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

struct ChildRun {
    double seconds = 0;
    long maxRssKiB = 0;
    int status = -1;
};

// korvista-cli over the pair, its output discarded: wall time and peak memory of the child.
inline ChildRun RunCli(const char* cliPath, const std::string& cs1, const std::string& cs2) {
    const char* argv[] = {cliPath, "--format", "tsv", cs1.c_str(), cs2.c_str(), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const Clock::time_point start = Clock::now();
    pid_t pid = 0;
    if (posix_spawn(&pid, cliPath, &actions, nullptr, const_cast<char**>(argv), environ) != 0)
        throw std::runtime_error("cannot start korvista-cli");
    posix_spawn_file_actions_destroy(&actions);
    int wstatus = 0;
    rusage usage{};
    if (wait4(pid, &wstatus, 0, &usage) != pid)
        throw std::runtime_error("wait4 failed");
    ChildRun run;
    run.seconds = Seconds(Clock::now() - start);
    run.maxRssKiB = usage.ru_maxrss;
    run.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
    return run;
}

} // namespace korvista::bench
