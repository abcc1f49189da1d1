#pragma once

#include <memory>
#include <string>

#include "schema/provider.h"
#include "schema/session_limits.h"

namespace korvista {

// Connects through the ODBC driver manager with the string as given (its Provider key removed).
std::unique_ptr<ProviderSession> OpenOdbcSession(const std::string& odbcConnectionString,
                                                 const SessionLimits& limits = {});

} // namespace korvista
