#pragma once

#include "schema/connection_string.h"
#include "schema/provider.h"
#include "schema/session_limits.h"

#include <memory>

namespace korvista {

// The built-in provider: "Data Source" names an existing SQLite file, opened read-only.
// SQLite's busy timeout is the request limit.
std::unique_ptr<ProviderSession> OpenSqliteSession(const ConnectionString& settings,
                                                   const SessionLimits& limits = {});

} // namespace korvista
