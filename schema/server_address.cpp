#include "schema/server_address.h"

#include "schema/connection_string.h"
#include "support/ascii.h"
#include "support/errors.h"

#include <netdb.h>
#include <netinet/in.h>
#include <odbcinst.h>
#include <sys/socket.h>

#include <algorithm>
#include <cstring>

namespace korvista {

namespace {

std::optional<std::uint16_t> ParsePort(const std::string& text) {
    if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    const unsigned long value = std::stoul(text);
    if (value == 0 || value > 65535)
        return std::nullopt;
    return static_cast<std::uint16_t>(value);
}

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    for (std::size_t start = 0;;) {
        const std::size_t end = text.find(separator, start);
        parts.emplace_back(TrimAscii(text.substr(start, end - start), kBlanks));
        if (end == std::string::npos)
            return parts;
        start = end + 1;
    }
}

std::optional<std::string> DsnValue(const std::string& dsn, const std::string& key) {
    char buffer[1024] = {};
    const int length =
        SQLGetPrivateProfileString(dsn.c_str(), key.c_str(), "", buffer, sizeof buffer, "odbc.ini");
    if (length <= 0 || buffer[0] == '\0')
        return std::nullopt;
    return std::string(buffer);
}

} // namespace

std::optional<ServerEndpoint> ServerEndpointOf(const ConnectionKeyLookup& lookup, const EngineIdentity* engine) {
    std::optional<std::string> host;
    for (const char* key : {"Server", "Servername", "Host"})
        if ((host = lookup(key)) && !TrimAscii(*host, kBlanks).empty())
            break;
    if (!host || TrimAscii(*host, kBlanks).empty())
        return std::nullopt;
    std::string hosts = std::string(TrimAscii(*host, kBlanks));
    std::optional<std::string> port = lookup("Port");

    // SQL Server's drivers write "tcp:host,port" and name instances "host\instance", whose port only
    // the server's browser service knows.
    if (!engine) {
        if (AsciiLower(hosts.substr(0, 4)) == "tcp:")
            hosts = hosts.substr(4);
        if (hosts.find('\\') != std::string::npos)
            return std::nullopt;
        if (const std::size_t comma = hosts.find(','); comma != std::string::npos) {
            port = hosts.substr(comma + 1);
            hosts = hosts.substr(0, comma);
        }
    }
    ServerEndpoint endpoint;
    // Some drivers (libpq behind the PostgreSQL one) take a list of hosts to try in turn.
    endpoint.hosts =
        engine && engine->hostList ? Split(hosts, ',') : std::vector<std::string>{hosts};
    for (std::string& name : endpoint.hosts) {
        if (name.size() > 2 && name.front() == '[' && name.back() == ']')
            name = name.substr(1, name.size() - 2);
        // A path is a local socket's folder: no TCP.
        if (name.empty() || name.front() == '/')
            return std::nullopt;
    }
    std::string portText = port ? std::string(TrimAscii(*port, kBlanks)) : std::string();
    if (portText.empty()) {
        if (!engine || engine->defaultPort == 0)
            return std::nullopt;
        portText = std::to_string(engine->defaultPort);
    }
    const std::optional<std::uint16_t> number = ParsePort(portText);
    if (!number)
        return std::nullopt;
    endpoint.port = *number;
    return endpoint;
}

std::vector<PeerAddress> ResolveEndpoint(const ServerEndpoint& endpoint) {
    std::vector<PeerAddress> addresses;
    for (const std::string& host : endpoint.hosts) {
        addrinfo hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo* found = nullptr;
        if (::getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0)
            continue;
        for (const addrinfo* entry = found; entry; entry = entry->ai_next) {
            PeerAddress peer;
            if (entry->ai_family == AF_INET) {
                std::uint8_t bytes[4];
                std::memcpy(bytes, &reinterpret_cast<const sockaddr_in*>(entry->ai_addr)->sin_addr, 4);
                peer = PeerAddress::V4(bytes, endpoint.port);
            } else if (entry->ai_family == AF_INET6) {
                std::uint8_t bytes[16];
                std::memcpy(bytes, &reinterpret_cast<const sockaddr_in6*>(entry->ai_addr)->sin6_addr, 16);
                peer = PeerAddress::V6(bytes, endpoint.port);
            } else {
                continue;
            }
            if (std::find(addresses.begin(), addresses.end(), peer) == addresses.end())
                addresses.push_back(peer);
        }
        ::freeaddrinfo(found);
    }
    return addresses;
}

std::vector<PeerAddress> OdbcServerAddresses(const std::string& connectionString, const EngineIdentity* engine) {
    ConnectionString parsed;
    try {
        parsed = ConnectionString::Parse(connectionString);
    } catch (const Error&) {
        return {};
    }
    const std::optional<std::string> dsn = parsed.Get("DSN");
    const auto lookup = [&](const std::string& key) -> std::optional<std::string> {
        if (std::optional<std::string> value = parsed.Get(key))
            return value;
        if (dsn && !TrimAscii(*dsn, kBlanks).empty())
            return DsnValue(std::string(TrimAscii(*dsn, kBlanks)), key);
        return std::nullopt;
    };
    const std::optional<ServerEndpoint> endpoint = ServerEndpointOf(lookup, engine);
    return endpoint ? ResolveEndpoint(*endpoint) : std::vector<PeerAddress>{};
}

} // namespace korvista
