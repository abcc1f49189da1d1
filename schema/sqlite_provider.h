#pragma once

#include "schema/connection_string.h"
#include "schema/provider.h"

#include <memory>

namespace korvista {

// The built-in provider: "Data Source" names an existing SQLite file, opened read-only.
std::unique_ptr<ProviderSession> OpenSqliteSession(const ConnectionString& settings);

} // namespace korvista
