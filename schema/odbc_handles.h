#pragma once

// Owners of the ODBC driver manager's handles, and turning its diagnostics into korvista::Error.

#include "schema/odbc_types.h"

#include <sql.h>
#include <sqlext.h>

#include <string>
#include <utility>
#include <vector>

namespace korvista {

// Every diagnostic record of the handle, first record first.
std::vector<OdbcDiagnostic> OdbcDiagnosticRecords(SQLSMALLINT handleType, SQLHANDLE handle);
// The same as one text: "[SQLSTATE] text; [SQLSTATE] text".
std::string OdbcDiagnostics(SQLSMALLINT handleType, SQLHANDLE handle);

// Throws korvista::Unreadable with the handle's diagnostics when rc is neither success nor success-with-info,
// korvista::ConnectionLost when a record says that the connection failed (IsConnectionFailure).
// `what` names the call and serves as the message when the driver leaves no diagnostic behind.
void OdbcCheck(SQLRETURN rc, SQLSMALLINT handleType, SQLHANDLE handle, const char* what);

// A text argument: ODBC takes it as SQLCHAR* without writing to it.
inline SQLCHAR* OdbcText(const std::string& text) {
    return reinterpret_cast<SQLCHAR*>(const_cast<char*>(text.c_str()));
}

inline bool OdbcSucceeded(SQLRETURN rc) {
    return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO;
}

template <SQLSMALLINT HandleType> class OdbcHandle {
public:
    OdbcHandle() = default;
    OdbcHandle(const OdbcHandle&) = delete;
    OdbcHandle& operator=(const OdbcHandle&) = delete;
    OdbcHandle(OdbcHandle&& other) noexcept : handle_(other.handle_) { other.handle_ = SQL_NULL_HANDLE; }
    OdbcHandle& operator=(OdbcHandle&& other) noexcept {
        if (this != &other) {
            Reset();
            handle_ = other.handle_;
            other.handle_ = SQL_NULL_HANDLE;
        }
        return *this;
    }
    ~OdbcHandle() { Reset(); }

    // Allocates under parent (SQL_NULL_HANDLE for an environment); throws korvista::Error on failure.
    static OdbcHandle Allocate(SQLSMALLINT parentType, SQLHANDLE parent) {
        OdbcHandle result;
        SQLRETURN rc = SQLAllocHandle(HandleType, parent, &result.handle_);
        if (!OdbcSucceeded(rc)) {
            result.handle_ = SQL_NULL_HANDLE;
            if (parent != SQL_NULL_HANDLE)
                OdbcCheck(rc, parentType, parent, "SQLAllocHandle");
            OdbcCheck(SQL_ERROR, HandleType, SQL_NULL_HANDLE, "SQLAllocHandle failed");
        }
        return result;
    }

    SQLHANDLE Get() const { return handle_; }
    void Check(SQLRETURN rc, const char* what) const { OdbcCheck(rc, HandleType, handle_, what); }

    void Reset() {
        if (handle_ != SQL_NULL_HANDLE)
            SQLFreeHandle(HandleType, handle_);
        handle_ = SQL_NULL_HANDLE;
    }

private:
    SQLHANDLE handle_ = SQL_NULL_HANDLE;
};

using OdbcEnvironment = OdbcHandle<SQL_HANDLE_ENV>;
using OdbcStatement = OdbcHandle<SQL_HANDLE_STMT>;

// A connection handle that disconnects before it is freed.
class OdbcConnection {
public:
    explicit OdbcConnection(const OdbcEnvironment& env)
        : handle_(OdbcHandle<SQL_HANDLE_DBC>::Allocate(SQL_HANDLE_ENV, env.Get())) {}
    OdbcConnection(const OdbcConnection&) = delete;
    OdbcConnection& operator=(const OdbcConnection&) = delete;
    ~OdbcConnection() {
        if (connected_)
            SQLDisconnect(handle_.Get());
    }

    SQLHANDLE Get() const { return handle_.Get(); }
    void Check(SQLRETURN rc, const char* what) const { handle_.Check(rc, what); }
    void MarkConnected() { connected_ = true; }

private:
    OdbcHandle<SQL_HANDLE_DBC> handle_;
    bool connected_ = false;
};

} // namespace korvista
