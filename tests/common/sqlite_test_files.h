#pragma once

// SQLite files that tests make and inspect, shared by the schema, window and command-line tests.

#include <QByteArray>
#include <QCryptographicHash>
#include <QFile>
#include <QString>
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <filesystem>
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

// Makes every descriptor this process holds open on the file read as a directory from now on, as a disk
// that fails would: SQLite's next read of it is an I/O error. Gives how many descriptors it broke.
inline int BreakOpenFile(const std::string& path) {
    namespace fs = std::filesystem;
    const fs::path target = fs::canonical(path);
    const int directory = ::open(target.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    int broken = 0;
    for (const fs::directory_entry& entry : fs::directory_iterator("/proc/self/fd")) {
        std::error_code error;
        if (fs::read_symlink(entry.path(), error) != target || error)
            continue;
        if (::dup2(directory, std::stoi(entry.path().filename().string())) >= 0)
            ++broken;
    }
    ::close(directory);
    return broken;
}

} // namespace korvista::testing
