#pragma once

// Where a connection string's driver will connect to: the host(s) and port its keys (or its DSN's) name.

#include "schema/dialect_registry.h"
#include "schema/platform_sockets.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace korvista {

struct ServerEndpoint {
    std::vector<std::string> hosts;
    std::uint16_t port = 0;
    bool operator==(const ServerEndpoint&) const = default;
};

// A key's value as the driver will see it: the connection string's own, else its DSN's in odbc.ini.
using ConnectionKeyLookup = std::function<std::optional<std::string>(const std::string& key)>;

// The hosts (Server, Servername or Host) and the port (Port, else the engine's default port) the
// driver will connect to; nullopt where that cannot be told: no host (a local socket), a port that is
// no number, a named instance, a driver without a known default port. engine is nullptr for a
// driver no dialect knows.
std::optional<ServerEndpoint> ServerEndpointOf(const ConnectionKeyLookup& lookup, const EngineIdentity* engine);

// Every address the hosts resolve to, each with the port; a host that does not resolve adds none.
std::vector<PeerAddress> ResolveEndpoint(const ServerEndpoint& endpoint);

// The addresses the driver of the ODBC connection string will connect to, DSN values included; empty
// where they cannot be told.
std::vector<PeerAddress> OdbcServerAddresses(const std::string& connectionString, const EngineIdentity* engine);

} // namespace korvista
