#pragma once

// Access to the throwaway PostgreSQL and MariaDB servers that the CTest fixture korvista_test_servers
// starts (scripts/test-servers). The fixture writes their details to the file named by the environment
// variable KORVISTA_TEST_SERVERS_ENV; see tests/odbc/CMakeLists.txt.

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace korvista::testservers {

enum class Engine { PostgreSQL, MariaDB };

const char* EngineName(Engine engine);

struct ServerInfo {
    bool available = false;
    std::string reason; // why not available
    std::string host, port, user, password;
    std::string database;  // the test database, UTF-8
    std::string database2; // a second database on the same server
    std::string driver;    // ODBC driver name as /etc/odbcinst.ini has it
};

// Read from the fixture's file on every call.
ServerInfo Server(Engine engine);

// True under CI=true: a missing server fails the test instead of skipping it.
bool ServersRequired();

// ODBC connection string (no Provider key) for a database of the server; the test database by default,
// through another port on loopback (a proxy's) when one is given.
std::string ConnectionString(Engine engine, const std::string& database = {}, unsigned short port = 0);

// ODBC connection string for a SQLite file through the "SQLite3" driver; the file is created on first use.
std::string SqliteOdbcConnectionString(const std::string& file);

// Drops and creates a database of that name (UTF-8) and gives its ODBC connection string.
std::string CreateDatabase(Engine engine, const std::string& name);

// Runs each statement on its own through ODBC; throws korvista::Error with the driver's message.
void Execute(const std::string& odbcConnectionString, const std::vector<std::string>& statements);

// A lower-case name unique to this process and call, usable unquoted as a database or table name.
std::string UniqueName(const std::string& prefix);

// The reference schema: table "ref" with one column of each ordinary type and view "refv" over it.
enum class Dialect { PostgreSQL, MariaDB, SQLite };
std::vector<std::string> ReferenceSchema(Dialect dialect);

// Statements that make tables t0000 .. t<count - 1>, each (id integer NOT NULL, name varchar(width),
// note text), in one round trip.
std::vector<std::string> NumberedTables(Engine engine, int count, int width);

// A database of 3,000 such tables with name varchar(40), made once for every test process of the run
// (the first to ask makes it while the others wait) and read, never changed, by all.
std::string ManyTablesDatabase(Engine engine);
constexpr int kManyTables = 3000;

} // namespace korvista::testservers

// Skips the test (or fails it under CI=true) when the engine's server is not running.
#define KORVISTA_REQUIRE_SERVER(engine)                                                                      \
    do {                                                                                                     \
        const ::korvista::testservers::ServerInfo korvistaServer_ = ::korvista::testservers::Server(engine); \
        if (!korvistaServer_.available) {                                                                    \
            if (::korvista::testservers::ServersRequired())                                                  \
                FAIL() << korvistaServer_.reason;                                                            \
            GTEST_SKIP() << korvistaServer_.reason;                                                          \
        }                                                                                                    \
    } while (0)
