// Where a connection's driver will connect to, which the socket watch matches sockets against.
#include "schema/dialect_registry.h"
#include "schema/server_address.h"

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>

using namespace korvista;

namespace {

TEST(ServerEndpoint, HostsAndPortAsEachDriverReadsThem) {
    const EngineIdentity* postgresql = EngineForDbmsName("PostgreSQL");
    const EngineIdentity* mariadb = EngineForDbmsName("MariaDB");
    struct Case {
        const char* name;
        const EngineIdentity* engine;
        std::map<std::string, std::string> keys;
        std::optional<ServerEndpoint> expected;
    };
    const Case cases[] = {
        {"PostgreSQL's default port", postgresql, {{"Server", "db1"}}, ServerEndpoint{{"db1"}, 5432}},
        {"a list of hosts, one in brackets",
         postgresql,
         {{"Server", "a,[::1]"}, {"Port", "6432"}},
         ServerEndpoint{{"a", "::1"}, 6432}},
        {"MariaDB's default port, Host key", mariadb, {{"Host", " m "}}, ServerEndpoint{{"m"}, 3306}},
        {"no list for MariaDB", mariadb, {{"Server", "a,b"}, {"Port", "1"}}, ServerEndpoint{{"a,b"}, 1}},
        {"an unknown driver's tcp:host,port",
         nullptr,
         {{"Server", "tcp:sql1,1444"}},
         ServerEndpoint{{"sql1"}, 1444}},
        {"an unknown driver without a port", nullptr, {{"Server", "sql1"}}, std::nullopt},
        {"a named instance", nullptr, {{"Server", "sql1\\inst"}, {"Port", "1433"}}, std::nullopt},
        {"a local socket's folder", postgresql, {{"Server", "/run/postgresql"}}, std::nullopt},
        {"a port that is no number", postgresql, {{"Server", "db1"}, {"Port", "54x"}}, std::nullopt},
        {"no host", postgresql, {{"Port", "5432"}}, std::nullopt},
    };
    for (const Case& c : cases) {
        const auto lookup = [&](const std::string& key) -> std::optional<std::string> {
            const auto found = c.keys.find(key);
            return found == c.keys.end() ? std::nullopt : std::optional<std::string>(found->second);
        };
        EXPECT_EQ(ServerEndpointOf(lookup, c.engine), c.expected) << c.name;
    }
}

} // namespace
