#pragma once

// SQLite files that tests make and inspect, shared by the schema, window and command-line tests.

#include <QByteArray>
#include <QCryptographicHash>
#include <QFile>
#include <QString>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <string>

namespace korvista::testing {

// Runs the statements on the file, creating it when missing; a failure fails the calling test.
inline void ExecuteSqlite(const std::string& path, const std::string& sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr),
              SQLITE_OK);
    char* message = nullptr;
    const int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message);
    const std::string text = message ? message : "";
    sqlite3_free(message);
    sqlite3_close(db);
    ASSERT_EQ(rc, SQLITE_OK) << text;
}

// Proves a file untouched: the same hash before and after.
inline QByteArray FileSha256(const std::string& path) {
    QFile file(QString::fromStdString(path));
    return file.open(QIODevice::ReadOnly)
               ? QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256)
               : QByteArray();
}

} // namespace korvista::testing
