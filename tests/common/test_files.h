#pragma once

// Plain files and scratch folders for tests; needs nothing beyond the standard library and POSIX.

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <stdexcept>
#include <stdlib.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <system_error>
#include <unistd.h>

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

// A FIFO at the path; throws when it cannot be made.
inline void MakeFifo(const std::filesystem::path& path) {
    if (::mkfifo(path.c_str(), 0600) != 0)
        throw std::runtime_error("mkfifo failed for " + path.string());
}

// Whether the action comes back within the limit. It runs in a child process, which an alarm ends when
// it blocks, so a hang fails the test instead of stalling the suite; what it does to files stays. Only
// for single-threaded test programs.
inline bool FinishesWithin(unsigned seconds, const std::function<void()>& action) {
    const pid_t child = ::fork();
    if (child < 0)
        throw std::runtime_error("fork failed");
    if (child == 0) {
        ::alarm(seconds);
        try {
            action();
        } catch (...) {
        }
        ::_exit(0);
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0) {
        if (errno != EINTR)
            return false;
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace korvista::testfiles
