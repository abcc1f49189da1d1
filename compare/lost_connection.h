#pragma once

#include "support/errors.h"

#include <string>

namespace korvista {

// A lost connection in the words the window and korvista-cli both use:
// "database N lost its connection while <doing>: <the provider's message>".
ConnectionLost LostConnection(int database, const std::string& doing, const ConnectionLost& lost);

// What was being done, for LostConnection.
std::string ReadingTable(const std::string& table);
std::string LookingUpTable(const std::string& table);
inline constexpr const char* kReadingCatalogue = "reading its catalogue";

} // namespace korvista
