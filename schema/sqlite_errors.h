#pragma once

#include "support/errors.h"

#include <sqlite3.h>

namespace korvista {

// Throws the error of the last failed call on db with SQLite's message: korvista::ConnectionLost when
// the file itself failed (an I/O error, a file that can no longer be opened), korvista::Unreadable otherwise.
[[noreturn]] inline void ThrowSqliteError(sqlite3* db) {
    const int primary = sqlite3_extended_errcode(db) & 0xff;
    if (primary == SQLITE_IOERR || primary == SQLITE_CANTOPEN)
        throw ConnectionLost(sqlite3_errmsg(db));
    throw Unreadable(sqlite3_errmsg(db));
}

} // namespace korvista
