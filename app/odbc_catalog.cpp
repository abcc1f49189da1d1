#include "app/odbc_catalog.h"

#include "support/errors.h"

#include <sql.h>
#include <sqlext.h>

#include <cstring>

namespace korvista {

namespace {

// The environment handle of one enumeration, freed on every way out.
class EnvironmentHandle {
public:
    EnvironmentHandle() {
        if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &handle_))) {
            handle_ = SQL_NULL_HENV;
            throw Error("ODBC-driverbeheer: er is geen omgevingshandle beschikbaar");
        }
        const SQLRETURN rc =
            SQLSetEnvAttr(handle_, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
        if (!SQL_SUCCEEDED(rc)) {
            const std::string message = Diagnostic("ODBC 3 kan niet worden gekozen");
            SQLFreeHandle(SQL_HANDLE_ENV, handle_);
            throw Error(message);
        }
    }
    ~EnvironmentHandle() { SQLFreeHandle(SQL_HANDLE_ENV, handle_); }
    EnvironmentHandle(const EnvironmentHandle&) = delete;
    EnvironmentHandle& operator=(const EnvironmentHandle&) = delete;

    SQLHENV Get() const { return handle_; }

    // The driver manager's first diagnostic record, or fallback when it has none.
    std::string Diagnostic(const std::string& fallback) const {
        SQLCHAR state[6] = {};
        SQLCHAR text[SQL_MAX_MESSAGE_LENGTH] = {};
        SQLINTEGER nativeError = 0;
        SQLSMALLINT length = 0;
        const SQLRETURN rc = SQLGetDiagRec(SQL_HANDLE_ENV, handle_, 1, state, &nativeError, text,
                                           static_cast<SQLSMALLINT>(sizeof text), &length);
        if (SQL_SUCCEEDED(rc) && text[0] != 0)
            return reinterpret_cast<const char*>(text);
        return "ODBC-driverbeheer: " + fallback;
    }

private:
    SQLHENV handle_ = SQL_NULL_HENV;
};

std::string Text(const SQLCHAR* buffer) {
    return reinterpret_cast<const char*>(buffer);
}

// The value of Description in the attribute list SQLDrivers gives: "key=value" pairs, each ended by
// a NUL, the list by a second one.
std::string DescriptionOf(const SQLCHAR* attributes, std::size_t size) {
    const char* pos = reinterpret_cast<const char*>(attributes);
    const char* const end = pos + size;
    while (pos < end && *pos != 0) {
        const std::string pair(pos, strnlen(pos, static_cast<std::size_t>(end - pos)));
        if (pair.rfind("Description=", 0) == 0)
            return pair.substr(12);
        pos += pair.size() + 1;
    }
    return {};
}

} // namespace

OdbcCatalog ReadOdbcCatalog() {
    EnvironmentHandle env;
    OdbcCatalog catalog;

    // Names longer than the buffers come back truncated with SQL_SUCCESS_WITH_INFO; section names of
    // odbcinst.ini are far shorter than this.
    SQLCHAR name[1024];
    SQLCHAR description[1024];
    SQLCHAR attributes[4096];
    SQLSMALLINT nameLength = 0;
    SQLSMALLINT descriptionLength = 0;
    SQLSMALLINT attributesLength = 0;

    SQLUSMALLINT direction = SQL_FETCH_FIRST;
    for (;;) {
        attributes[0] = attributes[1] = 0;
        const SQLRETURN rc = SQLDrivers(env.Get(), direction, name, sizeof name, &nameLength, attributes,
                                        sizeof attributes, &attributesLength);
        if (rc == SQL_NO_DATA)
            break;
        if (!SQL_SUCCEEDED(rc))
            throw Error(env.Diagnostic("de geïnstalleerde drivers kunnen niet worden gelezen"));
        // The scan stops at the buffer's end, so a truncated list costs at most the description.
        catalog.drivers.push_back({Text(name), DescriptionOf(attributes, sizeof attributes)});
        direction = SQL_FETCH_NEXT;
    }

    direction = SQL_FETCH_FIRST; // user and system data sources alike
    for (;;) {
        const SQLRETURN rc = SQLDataSources(env.Get(), direction, name, sizeof name, &nameLength, description,
                                            sizeof description, &descriptionLength);
        if (rc == SQL_NO_DATA)
            break;
        if (!SQL_SUCCEEDED(rc))
            throw Error(env.Diagnostic("de gegevensbronnen kunnen niet worden gelezen"));
        catalog.dataSources.push_back({Text(name), Text(description)});
        direction = SQL_FETCH_NEXT;
    }
    return catalog;
}

} // namespace korvista
