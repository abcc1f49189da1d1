#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace korvista {

// A key=value; connection string as OLE DB and ODBC write them. Keys compare without letter case;
// values may be quoted with "...", '...' or {...}; blanks around keys and values are trimmed.
class ConnectionString {
public:
    ConnectionString() = default;
    static ConnectionString Parse(const std::string& text);

    std::optional<std::string> Get(const std::string& key) const;
    void Set(const std::string& key, const std::string& value); // replaces in place or appends
    void Remove(const std::string& key);
    const std::vector<std::pair<std::string, std::string>>& Entries() const { return entries_; }

    // Writes key=value; pairs, quoting a value only where it needs it.
    std::string ToString() const;

private:
    std::vector<std::pair<std::string, std::string>> entries_;
};

// The string with the values of Password and Pwd (any letter case) replaced by "***".
std::string MaskPasswords(const std::string& connectionString);

} // namespace korvista
