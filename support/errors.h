#pragma once

#include <stdexcept>
#include <string>

namespace korvista {

// The error every layer raises; the error box shows its message.
class Error : public std::runtime_error {
public:
    explicit Error(const std::string& message) : std::runtime_error(message) {}
};

// The connection itself failed (the server went away, the link broke, the file could not be read):
// nothing read afterwards can be trusted, so no reader takes it for an empty or unreadable table.
class ConnectionLost : public Error {
public:
    explicit ConnectionLost(const std::string& message) : Error(message) {}
};

// Silent cancellation: the error box catches it and shows nothing.
class Abort : public std::exception {
public:
    const char* what() const noexcept override { return "Operation aborted"; }
};

} // namespace korvista
