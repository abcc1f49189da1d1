#pragma once

#include <stdexcept>
#include <string>

namespace korvista {

// Every failure the error box and korvista-cli report: a database that cannot be opened, a settings
// file that cannot be read. Only the top of a run catches it.
class Error : public std::runtime_error {
public:
    explicit Error(const std::string& message) : std::runtime_error(message) {}
};

// An expected failure of one read: the provider refused a query, a column cannot be described, a view's
// table is gone. Layers that carry on with the next table catch this type and no other, so anything
// else, a lost connection above all, travels up untouched.
class Unreadable : public Error {
public:
    explicit Unreadable(const std::string& message) : Error(message) {}
};

// The connection itself failed (the server went away, the link broke, the file could not be read):
// nothing read afterwards can be trusted. It is no Unreadable, so no reader takes it for an empty or
// unreadable table.
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
