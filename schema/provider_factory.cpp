#include "schema/provider.h"

#include "schema/connection_string.h"
#include "schema/odbc_provider.h"
#include "schema/snapshot.h"
#include "schema/sqlite_provider.h"
#include "support/errors.h"

#include <cstddef>
#include <optional>
#include <string>

namespace korvista {

namespace {

std::string TrimmedUpper(const std::string& text) {
    const std::size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return {};
    const std::size_t last = text.find_last_not_of(" \t\r\n");
    std::string result = text.substr(first, last - first + 1);
    for (char& c : result) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
    return result;
}

std::size_t SkipQuoted(const std::string& text, std::size_t pos) {
    const char open = text[pos];
    const char close = open == '{' ? '}' : open;
    const std::size_t end = text.find(close, pos + 1);
    return end == std::string::npos ? text.size() : end + 1;
}

// The text with the Provider pair cut out and everything else left as the user wrote it. The cut is
// taken only when parsing it gives exactly the other pairs; otherwise the pairs are written anew.
std::string WithoutProvider(const std::string& text, const ConnectionString& parsed) {
    ConnectionString expected = parsed;
    expected.Remove("Provider");

    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t pos = text.find_first_of("=;", start);
        if (pos == std::string::npos)
            pos = text.size();
        const std::size_t keyEnd = pos;
        if (pos < text.size() && text[pos] == '=') {
            pos = text.find_first_not_of(" \t", pos + 1);
            if (pos != std::string::npos && (text[pos] == '"' || text[pos] == '\'' || text[pos] == '{'))
                pos = SkipQuoted(text, pos);
            pos = pos == std::string::npos ? text.size() : text.find(';', pos);
            if (pos == std::string::npos)
                pos = text.size();
        }
        const std::size_t end = pos < text.size() ? pos + 1 : pos;
        if (keyEnd < text.size() && text[keyEnd] == '=' &&
            TrimmedUpper(text.substr(start, keyEnd - start)) == "PROVIDER") {
            const std::string candidate = text.substr(0, start) + text.substr(end);
            if (ConnectionString::Parse(candidate).Entries() == expected.Entries())
                return candidate;
            break;
        }
        start = end;
    }
    return expected.ToString();
}

} // namespace

std::unique_ptr<ProviderSession> OpenProviderSession(const std::string& connectionString) {
    const ConnectionString parsed = ConnectionString::Parse(connectionString);
    const std::optional<std::string> provider = parsed.Get("Provider");
    if (!provider)
        return OpenOdbcSession(connectionString);
    const std::string name = TrimmedUpper(*provider);
    if (name == "SQLITE")
        return OpenSqliteSession(parsed);
    if (name == "SNAPSHOT")
        return OpenSnapshotSession(parsed);
    if (name == "ODBC")
        return OpenOdbcSession(WithoutProvider(connectionString, parsed));
    throw Error("Provider cannot be found. It may not be properly installed.");
}

} // namespace korvista
