#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace korvista {

// A key=value; connection string as OLE DB and ODBC write them. Keys compare without letter case;
// values may be quoted with "...", '...' or {...}; blanks around keys and values are trimmed.
class ConnectionString {
public:
    ConnectionString() = default;
    static ConnectionString Parse(const std::string& text);
    // The text with every entry of the key cut out (its ";" included) and all else left byte for byte as
    // the user wrote it; throws korvista::Error as Parse does when the text does not parse.
    static std::string WithoutKey(const std::string& text, const std::string& key);

    std::optional<std::string> Get(const std::string& key) const;
    void Set(const std::string& key, const std::string& value); // replaces in place or appends
    void Remove(const std::string& key);
    const std::vector<std::pair<std::string, std::string>>& Entries() const { return entries_; }

    // Writes key=value; pairs, quoting a value only where it needs it.
    std::string ToString() const;

private:
    std::vector<std::pair<std::string, std::string>> entries_;
};

// Whether the key names a password: Password, Pwd, Passwd and the numbered factors, any letter case,
// blanks around it ignored.
bool IsPasswordKey(std::string_view key);

// The string with every password value replaced by "***", also inside values that are connection
// strings themselves (Extended Properties). Where the string does not parse, a password's value is
// taken to run to the end of the string, since its end cannot be told.
std::string MaskPasswords(const std::string& connectionString);

} // namespace korvista
