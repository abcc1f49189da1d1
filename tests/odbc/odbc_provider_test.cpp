// The ODBC provider against the real drivers: PostgreSQL and MariaDB test servers, SQLite files.

#include "common/test_files.h"
#include "odbc/test_servers_helpers.h"
#include "schema/ado_connection.h"
#include "schema/odbc_session.h"
#include "schema/schema_reader.h"
#include "schema/u_Database.h"
#include "support/errors.h"
#include "support/u_Utility.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>

namespace korvista {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;
using testservers::Engine;

namespace fs = std::filesystem;

enum class Target { PostgreSQL, MariaDB, SQLite };

std::string TargetName(const ::testing::TestParamInfo<Target>& info) {
    switch (info.param) {
    case Target::PostgreSQL:
        return "PostgreSQL";
    case Target::MariaDB:
        return "MariaDB";
    case Target::SQLite:
        return "SQLite";
    }
    return "unknown";
}

fs::path NewTempDir() {
    fs::path dir = fs::temp_directory_path() / testservers::UniqueName("odbc");
    fs::create_directories(dir);
    return dir;
}

std::vector<std::string> TableNames(ProviderSession& session) {
    Rowset rows = session.TableCatalogue(false);
    auto nameColumn =
        std::find(rows.columns.begin(), rows.columns.end(), "TABLE_NAME") - rows.columns.begin();
    std::vector<std::string> names;
    for (const auto& row : rows.rows)
        names.push_back(row.at(static_cast<std::size_t>(nameColumn)));
    return names;
}

// A fresh, empty database on the target, so that tests running side by side do not meet.
class OnEveryDriver : public ::testing::TestWithParam<Target> {
protected:
    void SetUp() override {
        switch (GetParam()) {
        case Target::PostgreSQL:
            KORVISTA_REQUIRE_SERVER(Engine::PostgreSQL);
            connectionString_ = testservers::CreateDatabase(Engine::PostgreSQL, testservers::UniqueName("p"));
            quote_ = "\"";
            break;
        case Target::MariaDB:
            KORVISTA_REQUIRE_SERVER(Engine::MariaDB);
            connectionString_ = testservers::CreateDatabase(Engine::MariaDB, testservers::UniqueName("p"));
            quote_ = "`";
            break;
        case Target::SQLite:
            dir_ = NewTempDir();
            connectionString_ = testservers::SqliteOdbcConnectionString((dir_ / "test.db").string());
            quote_ = "\"";
            break;
        }
    }
    void TearDown() override {
        if (!dir_.empty())
            fs::remove_all(dir_);
    }

    std::string Quoted(const std::string& name) const { return quote_ + name + quote_; }
    void Execute(const std::vector<std::string>& statements) const {
        testservers::Execute(connectionString_, statements);
    }

    std::string connectionString_;
    std::string quote_;
    fs::path dir_;
};

TEST_P(OnEveryDriver, IdentifierQuoteIsTheDriversOwn) {
    OdbcSession session(connectionString_);
    EXPECT_EQ(session.IdentifierQuote(), quote_);
}

TEST_P(OnEveryDriver, ReservedWordAndHostileNamesAreReadAsNamesOnly) {
    const std::string hostile = "x where 1=2; drop table y; --";
    Execute({"CREATE TABLE y (z integer)",
             "CREATE TABLE " + Quoted("Order") + " (x integer, " + Quoted("from") + " varchar(5))",
             "CREATE TABLE " + Quoted(hostile) + " (w integer)"});

    TADOConnection connection;
    connection.SetConnectionString(connectionString_);
    connection.Open();
    std::vector<FieldDef> order = ReadTableFields(connection, "Order");
    ASSERT_EQ(order.size(), 2u);
    EXPECT_EQ(order[0].name, "x");
    EXPECT_EQ(order[1].name, "from");

    std::vector<FieldDef> fields = ReadTableFields(connection, hostile);
    ASSERT_EQ(fields.size(), 1u);
    EXPECT_EQ(fields[0].name, "w");

    // The same name without a table behind it: refused, and still nothing run.
    const std::string hostile2 = "q where 1=2; drop table y; --";
    EXPECT_THROW(ReadTableFields(connection, hostile2), Error);

    std::vector<std::string> names = TableNames(connection.Session());
    EXPECT_THAT(names, ::testing::Contains("y"));
    std::vector<FieldDef> y = ReadTableFields(connection, "y");
    ASSERT_EQ(y.size(), 1u);
    EXPECT_EQ(y[0].name, "z");
}

TEST_P(OnEveryDriver, ListsTablesAndViewsWithUnicodeNames) {
    Execute({"CREATE TABLE alpha (id integer)",
             "CREATE TABLE " + Quoted("tëst_ñ") + " (" + Quoted("naïve_é") + " integer, " + Quoted("日本") +
                 " varchar(3))",
             "CREATE VIEW beta AS SELECT id FROM alpha"});
    TADOConnection connection;
    connection.SetConnectionString(connectionString_);
    std::vector<std::string> names;
    GetTableNames(connection, names, false);
    EXPECT_THAT(names, ::testing::UnorderedElementsAre("alpha", "tëst_ñ", "beta"));

    Rowset rows = connection.Session().TableCatalogue(false);
    const auto typeColumn = static_cast<std::size_t>(
        std::find(rows.columns.begin(), rows.columns.end(), "TABLE_TYPE") - rows.columns.begin());
    ASSERT_LT(typeColumn, rows.columns.size());
    for (const auto& row : rows.rows)
        EXPECT_TRUE(row[typeColumn] == "TABLE" || row[typeColumn] == "VIEW") << row[typeColumn];

    std::vector<FieldDef> fields = ReadTableFields(connection, "tëst_ñ");
    ASSERT_EQ(fields.size(), 2u);
    EXPECT_EQ(fields[0].name, "naïve_é");
    EXPECT_EQ(fields[1].name, "日本");
    EXPECT_EQ(fields[1].dataType, ftString);

    std::vector<FieldDef> view = ReadTableFields(connection, "beta");
    ASSERT_EQ(view.size(), 1u);
    EXPECT_EQ(view[0].name, "id");
    EXPECT_EQ(view[0].dataType, ftInteger);
}

TEST_P(OnEveryDriver, ColumnQueryOfAMissingTableFailsWithTheDriversMessage) {
    OdbcSession session(connectionString_);
    try {
        session.DescribeQuery("Select * from no_such_table where 1=2");
        FAIL() << "no error";
    } catch (const Error& e) {
        EXPECT_THAT(e.what(), ::testing::MatchesRegex(R"(\[[0-9A-Z]{5}\] .*no_such_table.*)"));
    }
}

INSTANTIATE_TEST_SUITE_P(Drivers, OnEveryDriver,
                         ::testing::Values(Target::PostgreSQL, Target::MariaDB, Target::SQLite), TargetName);

const OdbcColumn& ColumnNamed(const std::vector<OdbcColumn>& columns, const std::string& name) {
    auto it =
        std::find_if(columns.begin(), columns.end(), [&](const OdbcColumn& c) { return c.name == name; });
    if (it == columns.end())
        throw Error("no column " + name);
    return *it;
}

// Each quirk of the table is checked here twice: the driver still misreports (else the mend is dead
// weight), and the mended description tells the truth.
TEST(DriverQuirks, PostgresBooleanReportedAsVarcharIsMendedToBoolean) {
    KORVISTA_REQUIRE_SERVER(Engine::PostgreSQL);
    const std::string cs = testservers::CreateDatabase(Engine::PostgreSQL, testservers::UniqueName("q"));
    testservers::Execute(cs, {"CREATE TABLE t (flag boolean NOT NULL, other varchar(5))"});
    OdbcSession session(cs);
    const auto reported = session.ReportedColumns("Select * from t where 1=2");
    EXPECT_EQ(ColumnNamed(reported, "flag").sqlType, SQL_VARCHAR);
    EXPECT_EQ(ColumnNamed(reported, "flag").typeName, "bool");

    std::vector<FieldDef> fields = DescribeResult(session.DescribeQuery("Select * from t where 1=2"));
    EXPECT_EQ(fields[0], (FieldDef{"flag", ftBoolean, 0, true}));
    EXPECT_EQ(fields[1], (FieldDef{"other", ftString, 5, false})); // a real varchar(5) stays text
}

TEST(DriverQuirks, MariaDbAutoIncrementKeyIsNotNull) {
    KORVISTA_REQUIRE_SERVER(Engine::MariaDB);
    const std::string cs = testservers::CreateDatabase(Engine::MariaDB, testservers::UniqueName("q"));
    testservers::Execute(cs, {"CREATE TABLE t (id integer AUTO_INCREMENT PRIMARY KEY, n integer)",
                              "CREATE TABLE u (id integer AUTO_INCREMENT, n integer, UNIQUE KEY (id))",
                              "CREATE VIEW tv AS SELECT id, n FROM t"});
    OdbcSession session(cs);
    const auto reported = session.ReportedColumns("Select * from t where 1=2");
    EXPECT_TRUE(ColumnNamed(reported, "id").autoUnique);
    EXPECT_EQ(ColumnNamed(reported, "id").nullable, SQL_NULLABLE);

    EXPECT_EQ(DescribeResult(session.DescribeQuery("Select * from t where 1=2")),
              (std::vector<FieldDef>{{"id", ftAutoInc, 0, true}, {"n", ftInteger, 0, false}}));
    EXPECT_EQ(DescribeResult(session.DescribeQuery("Select * from tv where 1=2"))[0],
              (FieldDef{"id", ftAutoInc, 0, true}));
    // Not a key column, declared without NOT NULL: the server makes every AUTO_INCREMENT column NOT NULL
    // and the driver's catalogue says so.
    EXPECT_EQ(DescribeResult(session.DescribeQuery("Select * from u where 1=2"))[0],
              (FieldDef{"id", ftAutoInc, 0, true}));
}

TEST(DriverQuirks, SqliteRowidKeyIsNotNullAndBlobIsLong) {
    fs::path dir = NewTempDir();
    const std::string cs = testservers::SqliteOdbcConnectionString((dir / "q.db").string());
    testservers::Execute(
        cs, {"CREATE TABLE t (id integer PRIMARY KEY AUTOINCREMENT, data blob, b varbinary(8))"});
    OdbcSession session(cs);
    const auto reported = session.ReportedColumns("Select * from t where 1=2");
    EXPECT_EQ(ColumnNamed(reported, "id").nullable, SQL_NULLABLE);
    EXPECT_EQ(ColumnNamed(reported, "data").sqlType, SQL_BINARY);

    std::vector<FieldDef> fields = DescribeResult(session.DescribeQuery("Select * from t where 1=2"));
    ASSERT_EQ(fields.size(), 3u);
    EXPECT_EQ(fields[0], (FieldDef{"id", ftAutoInc, 0, true}));
    EXPECT_EQ(fields[1], (FieldDef{"data", ftBlob, 0, false}));
    fs::remove_all(dir);
}

// The query timeout: PostgreSQL's session carries statement_timeout, set once, so that statements need
// no attribute (which the driver turns into SET round trips around each); MariaDB's driver refuses the
// attribute (01S02) and is bounded by its read timeout instead. A query outlasting it proves each.
// Short limits, passed in: the bound is the session's, not a constant's.
const SessionLimits kShortLimits{std::chrono::seconds(2), std::chrono::seconds(2), std::chrono::seconds(5)};

TEST(QueryTimeout, PostgresQueryOutlastingTheRequestLimitFails) {
    KORVISTA_REQUIRE_SERVER(Engine::PostgreSQL);
    OdbcSession session(testservers::ConnectionString(Engine::PostgreSQL), kShortLimits);
    EXPECT_EQ(session.QueryTimeout(), 0u);
    const auto start = std::chrono::steady_clock::now();
    try {
        session.DescribeQuery("SELECT pg_sleep(60) AS s");
        ADD_FAILURE() << "the statement outlasted the timeout";
    } catch (const Error& e) {
        EXPECT_THAT(e.what(), HasSubstr("statement timeout"));
    }
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_GE(elapsed, kShortLimits.request - std::chrono::seconds(1));
    EXPECT_LT(elapsed, kShortLimits.request + std::chrono::seconds(15));
}

TEST(QueryTimeout, MariaDbQueryOutlastingTheRequestLimitFails) {
    KORVISTA_REQUIRE_SERVER(Engine::MariaDB);
    OdbcSession session(testservers::ConnectionString(Engine::MariaDB), kShortLimits);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_THROW(session.DescribeQuery("SELECT SLEEP(60) AS s"), Error);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_GE(elapsed, kShortLimits.request - std::chrono::seconds(1));
    EXPECT_LT(elapsed, kShortLimits.request + std::chrono::seconds(15));
}

TEST(Catalogue, MariaDbListsOnlyTheCurrentDatabase) {
    KORVISTA_REQUIRE_SERVER(Engine::MariaDB);
    const std::string first = testservers::UniqueName("c");
    const std::string second = testservers::UniqueName("c");
    const std::string cs = testservers::CreateDatabase(Engine::MariaDB, first);
    const std::string cs2 = testservers::CreateDatabase(Engine::MariaDB, second);
    testservers::Execute(cs, {"CREATE TABLE mine (id integer)"});
    testservers::Execute(cs2, {"CREATE TABLE theirs (id integer)", "CREATE TABLE mine (other integer)"});

    OdbcSession session(cs);
    EXPECT_EQ(session.CurrentCatalog(), first);
    EXPECT_EQ(TableNames(session), std::vector<std::string>{"mine"});
}

TEST(Catalogue, PostgresSystemTablesOnlyWhenAsked) {
    KORVISTA_REQUIRE_SERVER(Engine::PostgreSQL);
    const std::string cs = testservers::CreateDatabase(Engine::PostgreSQL, testservers::UniqueName("c"));
    testservers::Execute(cs, {"CREATE TABLE mine (id integer)"});
    OdbcSession session(cs);
    EXPECT_EQ(TableNames(session), std::vector<std::string>{"mine"});

    Rowset all = session.TableCatalogue(true);
    const auto type = static_cast<std::size_t>(
        std::find(all.columns.begin(), all.columns.end(), "TABLE_TYPE") - all.columns.begin());
    ASSERT_LT(type, all.columns.size());
    EXPECT_TRUE(std::any_of(all.rows.begin(), all.rows.end(),
                            [&](const auto& row) { return row[type] == "SYSTEM TABLE"; }));
}

TEST(Catalogue, PostgresAnsiDriverGivesTheSameNames) {
    KORVISTA_REQUIRE_SERVER(Engine::PostgreSQL);
    const std::string db = testservers::UniqueName("c");
    const std::string cs = testservers::CreateDatabase(Engine::PostgreSQL, db);
    testservers::Execute(cs, {"CREATE TABLE \"tëst\" (\"naïve\" varchar(4))"});
    std::string ansi = cs;
    ansi.replace(ansi.find("PostgreSQL Unicode"), std::string("PostgreSQL Unicode").size(),
                 "PostgreSQL ANSI");
    OdbcSession session(ansi);
    EXPECT_EQ(TableNames(session), std::vector<std::string>{"tëst"});
    EXPECT_EQ(DescribeResult(session.DescribeQuery("Select * from \"tëst\" where 1=2")),
              (std::vector<FieldDef>{{"naïve", ftString, 4, false}}));
}

// Opening failures through TDatabase: a readable provider message, one log entry with the password masked,
// and no hang.
class OpenFailure : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = NewTempDir();
        savedLogFolder_ = LogFolder;
        LogFolder = dir_.string();
    }
    void TearDown() override {
        LogFolder = savedLogFolder_;
        fs::remove_all(dir_);
    }

    std::string LogText() const {
        const std::string exe = fs::path(TUtility::GetExeName()).filename().string();
        return testfiles::ReadFile(dir_ / (exe + ".log"));
    }

    // Connects through TDatabase and gives the provider's own message from a direct open.
    std::string ExpectRefused(const std::string& connectionString, const std::string& password) {
        const auto start = std::chrono::steady_clock::now();
        {
            TDatabase database(nullptr);
            database.SetConnectionString(connectionString);
            database.Connect();
            EXPECT_FALSE(database.ADO().Connected());
        }
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));

        const std::string log = LogText();
        std::size_t entries = 0;
        for (std::size_t pos = 0;
             (pos = log.find("Error opening database using connectionstring: ", pos)) != std::string::npos;
             ++pos)
            ++entries;
        EXPECT_EQ(entries, 1u) << log;
        if (!password.empty()) {
            EXPECT_THAT(log, Not(HasSubstr(password)));
            EXPECT_THAT(log, HasSubstr("***"));
        }

        try {
            OpenProviderSession(connectionString);
        } catch (const Error& e) {
            return e.what();
        }
        ADD_FAILURE() << "opened: " << connectionString;
        return {};
    }

    fs::path dir_;
    std::string savedLogFolder_;
};

int ClosedPort() {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd); // bound, never listened, now free: nothing answers there
    return ntohs(address.sin_port);
}

TEST_F(OpenFailure, WrongPasswordPostgres) {
    KORVISTA_REQUIRE_SERVER(Engine::PostgreSQL);
    std::string cs = testservers::ConnectionString(Engine::PostgreSQL);
    cs.replace(cs.find(";Pwd=") + 5, std::string::npos, "Wrong-Secret");
    EXPECT_THAT(ExpectRefused(cs, "Wrong-Secret"), HasSubstr("password authentication failed"));
}

TEST_F(OpenFailure, WrongPasswordMariaDb) {
    KORVISTA_REQUIRE_SERVER(Engine::MariaDB);
    std::string cs = testservers::ConnectionString(Engine::MariaDB);
    cs.replace(cs.find(";Pwd=") + 5, std::string::npos, "Wrong-Secret");
    EXPECT_THAT(ExpectRefused(cs, "Wrong-Secret"), HasSubstr("[28000]"));
}

TEST_F(OpenFailure, ClosedPortPostgres) {
    const std::string port = std::to_string(ClosedPort());
    EXPECT_THAT(ExpectRefused("Driver={PostgreSQL Unicode};Server=127.0.0.1;Port=" + port +
                                  ";Database=x;Uid=u;Pwd=Secret-1",
                              "Secret-1"),
                HasSubstr("[08001]"));
}

TEST_F(OpenFailure, ClosedPortMariaDb) {
    const std::string port = std::to_string(ClosedPort());
    EXPECT_THAT(ExpectRefused("Driver={MariaDB Unicode};Server=127.0.0.1;Port=" + port +
                                  ";Database=x;Uid=u;Pwd=Secret-2",
                              "Secret-2"),
                HasSubstr("Can't connect"));
}

// A server that takes the connection and never answers: the login timeout ends the wait.
class SilentServer : public ::testing::TestWithParam<const char*> {};

TEST_P(SilentServer, LoginGivesUpAtTheLoginLimit) {
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 4), 0);
    socklen_t length = sizeof address;
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);

    const auto start = std::chrono::steady_clock::now();
    EXPECT_THROW(OdbcSession(std::string("Driver={") + GetParam() + "};Server=127.0.0.1;Port=" +
                                 std::to_string(ntohs(address.sin_port)) + ";Database=x;Uid=u;Pwd=p",
                             kShortLimits),
                 Error);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    ::close(listener);
    EXPECT_GE(elapsed, kShortLimits.login - std::chrono::seconds(1));
    EXPECT_LT(elapsed, kShortLimits.Watched(kShortLimits.login) + std::chrono::seconds(5));
}

INSTANTIATE_TEST_SUITE_P(Drivers, SilentServer, ::testing::Values("PostgreSQL Unicode", "MariaDB Unicode"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                             return std::string(info.param).substr(0, std::string(info.param).find(' '));
                         });

TEST_F(OpenFailure, UnknownDriver) {
    EXPECT_THAT(ExpectRefused("Driver={No Such Driver};Server=127.0.0.1;Password=Secret-3", "Secret-3"),
                HasSubstr("No Such Driver"));
}

TEST_F(OpenFailure, GarbageString) {
    EXPECT_THAT(ExpectRefused("this is not a connection string", ""), HasSubstr("Invalid connection string"));
}

TEST_F(OpenFailure, WellFormedStringNamingNoDriver) {
    EXPECT_THAT(ExpectRefused("Colour=blue;Pwd=Secret-4", "Secret-4"), HasSubstr("[IM002]"));
}

} // namespace
} // namespace korvista
