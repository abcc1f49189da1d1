#pragma once

#include <string>
#include <vector>

namespace korvista {

// An ini-form text file read and written by the rules the settings store relies on:
// every read looks at the file's current content, every write goes to the file at once,
// other lines are left byte for byte, lines end in CR LF.
class IniFile {
public:
    explicit IniFile(std::string path);

    const std::string& Path() const { return path_; }

    // Keys of the section that stand on entry lines, in file order; empty when absent or unreadable.
    std::vector<std::string> ReadSectionKeys(const std::string& section) const;
    // The value trimmed, unquoted and cut to 2047 characters; defaultValue when absent.
    std::string ReadString(const std::string& section, const std::string& key,
                           const std::string& defaultValue = std::string()) const;
    // The value as ReadString gives it, from a present section: one with at least one entry line under it.
    // A section line without entries counts as absent, and so gives the empty string.
    std::string ReadPresentString(const std::string& section, const std::string& key) const;
    // Throws korvista::Error("Unable to write to <path>") when the file cannot be written.
    void WriteString(const std::string& section, const std::string& key, const std::string& value);
    void Flush();

private:
    std::string path_;
};

} // namespace korvista
