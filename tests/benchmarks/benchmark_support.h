#pragma once

// The generated SQLite pair and the timing both benchmarks share.

#include <sqlite3.h>

#include <chrono>
#include <filesystem>
#include <stdexcept>
#include <string>

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

} // namespace korvista::bench
