#include "schema/provider.h"

#include "schema/connection_string.h"
#include "schema/odbc_provider.h"
#include "schema/snapshot.h"
#include "schema/sqlite_provider.h"
#include "support/ascii.h"
#include "support/errors.h"

#include <optional>
#include <string>

namespace korvista {

std::unique_ptr<ProviderSession> OpenProviderSession(const std::string& connectionString,
                                                     const SessionLimits& limits) {
    const ConnectionString parsed = ConnectionString::Parse(connectionString);
    const std::optional<std::string> provider = parsed.Get("Provider");
    if (!provider)
        return OpenOdbcSession(connectionString, limits);
    const std::string name = AsciiUpper(TrimAscii(*provider, kLineBlanks));
    if (name == "SQLITE")
        return OpenSqliteSession(parsed, limits);
    if (name == "SNAPSHOT")
        return OpenSnapshotSession(parsed);
    if (name == "ODBC")
        // The rest goes to the driver as the user wrote it.
        return OpenOdbcSession(ConnectionString::WithoutKey(connectionString, "Provider"), limits);
    throw Error("Provider cannot be found. It may not be properly installed.");
}

} // namespace korvista
