#include "schema/odbc_driver_listing.h"

#include "schema/connection_string.h"
#include "schema/odbc_handles.h"
#include "support/ascii.h"
#include "support/errors.h"

#include <cstring>
#include <optional>

namespace korvista {

namespace {

// The driver manager's first diagnostic text, or fallback when it has none.
std::string ManagerMessage(const OdbcEnvironment& env, const std::string& fallback) {
    const std::vector<OdbcDiagnostic> records = OdbcDiagnosticRecords(SQL_HANDLE_ENV, env.Get());
    if (!records.empty() && !records.front().text.empty())
        return records.front().text;
    return "ODBC-driverbeheer: " + fallback;
}

OdbcEnvironment ListingEnvironment() {
    OdbcEnvironment env;
    try {
        env = OdbcEnvironment::Allocate(SQL_HANDLE_ENV, SQL_NULL_HANDLE);
    } catch (const Error&) {
        throw Error("ODBC-driverbeheer: er is geen omgevingshandle beschikbaar");
    }
    if (!OdbcSucceeded(
            SQLSetEnvAttr(env.Get(), SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0)))
        throw Error(ManagerMessage(env, "ODBC 3 kan niet worden gekozen"));
    return env;
}

std::string Text(const SQLCHAR* buffer) {
    return reinterpret_cast<const char*>(buffer);
}

// The attribute list SQLDrivers gives: "key=value" pairs, each ended by a NUL, the list by a second one.
// The scan stops at the buffer's end, so a truncated list costs at most its last pairs.
std::vector<std::string> AttributePairs(const SQLCHAR* attributes, std::size_t size) {
    std::vector<std::string> pairs;
    const char* pos = reinterpret_cast<const char*>(attributes);
    const char* const end = pos + size;
    while (pos < end && *pos != 0) {
        pairs.emplace_back(pos, strnlen(pos, static_cast<std::size_t>(end - pos)));
        pos += pairs.back().size() + 1;
    }
    return pairs;
}

OdbcDriver DriverOf(const SQLCHAR* name, const SQLCHAR* attributes, std::size_t size) {
    OdbcDriver driver{Text(name), {}, {}};
    std::optional<std::string> description, file;
    for (const std::string& pair : AttributePairs(attributes, size)) {
        if (!description && pair.starts_with("Description="))
            description = pair.substr(12);
        if (!file && AsciiStartsWithNoCase(pair, "Driver="))
            file = pair.substr(7);
    }
    driver.description = description.value_or("");
    driver.file = file.value_or("");
    return driver;
}

} // namespace

OdbcDriverListing ReadOdbcDriverListing() {
    const OdbcEnvironment env = ListingEnvironment();
    OdbcDriverListing listing;

    // Names longer than the buffers come back truncated with SQL_SUCCESS_WITH_INFO; section names of
    // odbcinst.ini are far shorter than this.
    SQLCHAR name[1024];
    SQLCHAR description[1024];
    SQLCHAR attributes[4096];
    SQLSMALLINT nameLength = 0;
    SQLSMALLINT descriptionLength = 0;
    SQLSMALLINT attributesLength = 0;

    for (SQLUSMALLINT direction = SQL_FETCH_FIRST;; direction = SQL_FETCH_NEXT) {
        // A list cut short at the buffer's end must not run on into the previous driver's pairs.
        std::memset(attributes, 0, sizeof attributes);
        const SQLRETURN rc = SQLDrivers(env.Get(), direction, name, sizeof name, &nameLength, attributes,
                                        sizeof attributes, &attributesLength);
        if (rc == SQL_NO_DATA)
            break;
        if (!OdbcSucceeded(rc))
            throw Error(ManagerMessage(env, "de geïnstalleerde drivers kunnen niet worden gelezen"));
        listing.drivers.push_back(DriverOf(name, attributes, sizeof attributes));
    }

    // User and system data sources alike.
    for (SQLUSMALLINT direction = SQL_FETCH_FIRST;; direction = SQL_FETCH_NEXT) {
        const SQLRETURN rc = SQLDataSources(env.Get(), direction, name, sizeof name, &nameLength, description,
                                            sizeof description, &descriptionLength);
        if (rc == SQL_NO_DATA)
            break;
        if (!OdbcSucceeded(rc))
            throw Error(ManagerMessage(env, "de gegevensbronnen kunnen niet worden gelezen"));
        listing.dataSources.push_back({Text(name), Text(description)});
    }
    return listing;
}

std::string DriverFileOf(const OdbcDriverListing& listing, const std::string& connectionString) {
    const ConnectionString parsed = ConnectionString::Parse(connectionString);
    std::string driver = parsed.Get("Driver").value_or("");
    if (driver.empty())
        if (const std::optional<std::string> dsn = parsed.Get("DSN"))
            for (const OdbcDataSource& source : listing.dataSources)
                if (AsciiEqualsNoCase(source.name, *dsn)) {
                    driver = source.driver;
                    break;
                }
    if (driver.empty() || driver.find('/') != std::string::npos)
        return driver;
    for (const OdbcDriver& known : listing.drivers)
        if (AsciiEqualsNoCase(known.name, driver))
            return known.file;
    return {};
}

} // namespace korvista
