#pragma once

// Plain files and scratch folders for tests; needs nothing beyond the standard library and POSIX.

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <stdlib.h>
#include <string>
#include <system_error>

namespace korvista::testfiles {

// Byte for byte; a missing file reads as empty.
inline std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

inline void WriteFile(const std::filesystem::path& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
}

// A new empty folder under /tmp named prefix + six random characters; throws when it cannot be made.
inline std::filesystem::path MakeScratchDir(const std::string& prefix) {
    std::string pattern = "/tmp/" + prefix + "XXXXXX";
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp failed for " + pattern);
    return pattern;
}

// Removes the folder even when a test took away its write or search permission.
inline void RemoveScratchDir(const std::filesystem::path& dir) {
    std::error_code ignored;
    std::filesystem::permissions(dir, std::filesystem::perms::owner_all, std::filesystem::perm_options::add,
                                 ignored);
    std::filesystem::remove_all(dir, ignored);
}

} // namespace korvista::testfiles
