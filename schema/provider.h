#pragma once

#include "schema/field_types.h"

#include <memory>
#include <string>
#include <vector>

namespace korvista {

// A catalogue as the provider delivers it: named columns, rows in the provider's order.
struct Rowset {
    std::vector<std::string> columns;
    std::vector<std::vector<std::string>> rows;
};

// One open connection of a provider. Destroying it closes it. Every failure throws korvista::Error
// carrying the provider's own message; an empty result is never a failure.
class ProviderSession {
public:
    virtual ~ProviderSession() = default;

    // Rows with at least TABLE_NAME and TABLE_TYPE ("TABLE", "VIEW", "SYSTEM TABLE").
    virtual Rowset TableCatalogue(bool includeSystemTables) = 0;
    virtual std::string IdentifierQuote() = 0;
    // Prepares or runs the query without fetching rows and describes its result columns.
    virtual std::vector<ColumnDescription> DescribeQuery(const std::string& sql) = 0;
};

// Opens the provider that the string's Provider key names: "SQLite" the built-in SQLite provider,
// "ODBC" or no key the ODBC provider; anything else throws
// "Provider cannot be found. It may not be properly installed.".
std::unique_ptr<ProviderSession> OpenProviderSession(const std::string& connectionString);

} // namespace korvista
