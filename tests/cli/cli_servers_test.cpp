// korvista-cli between two real servers through ODBC: PostgreSQL as database 1, MariaDB as database 2,
// both holding the shared reference schema plus a little drift of their own.
#include "cli/cli_test_helpers.h"
#include "odbc/loopback_proxy.h"
#include "odbc/test_servers_helpers.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>

using namespace korvista;
using namespace korvista::clitest;
using testservers::Dialect;
using testservers::Engine;
using testservers::LoopbackProxy;

namespace {

std::string Prepare(Engine engine, Dialect dialect, const std::vector<std::string>& drift) {
    const std::string cs = testservers::CreateDatabase(engine, testservers::UniqueName("cli"));
    testservers::Execute(cs, testservers::ReferenceSchema(dialect));
    testservers::Execute(cs, drift);
    return cs;
}

std::vector<ResultRow> Sorted(std::vector<ResultRow> rows) {
    std::sort(rows.begin(), rows.end(), [](const ResultRow& a, const ResultRow& b) {
        return std::tie(a.table, a.field) < std::tie(b.table, b.field);
    });
    return rows;
}

TEST(CliServers, PostgreSqlAgainstMariaDbReportsTheEngineDifferencesAndTheDrift) {
    KORVISTA_REQUIRE_SERVER(Engine::PostgreSQL);
    KORVISTA_REQUIRE_SERVER(Engine::MariaDB);
    const std::string pg =
        Prepare(Engine::PostgreSQL, Dialect::PostgreSQL,
                {"CREATE TABLE drift (name varchar(40))", "CREATE TABLE extra (code varchar(20) NOT NULL)"});
    const std::string maria =
        Prepare(Engine::MariaDB, Dialect::MariaDB,
                {"CREATE TABLE drift (name varchar(60))", "CREATE TABLE only_here (id integer)"});

    const ProcessResult run = RunCli({"--format", "json", pg, maria});
    ASSERT_EQ(run.status, 1) << run.err;
    QJsonParseError error{};
    const QJsonObject root = QJsonDocument::fromJson(QByteArray::fromStdString(run.out), &error).object();
    ASSERT_EQ(error.error, QJsonParseError::NoError) << run.out;

    std::vector<ResultRow> rows;
    for (const QJsonValue& value : root["rows"].toArray()) {
        const QJsonObject row = value.toObject();
        rows.push_back({row["table"].toString().toStdString(), row["field"].toString().toStdString(),
                        row["db1"].toString().toStdString(), row["db2"].toString().toStdString(),
                        row["difference"].toString().toStdString()});
    }
    // The engine differences are those that tests/odbc/cross_engine_test.cpp lists with their reasons.
    const std::vector<ResultRow> expected = {
        {"drift", "name", "string:40:null", "string:60:null", "size"},
        {"extra", "code", "string:20:not-null", "???", "FIELD MISSING"},
        {"ref", "flag", "boolean:0:null", "smallint:0:null", "datatype"},
        {"refv", "id", "integer:0:null", "autoinc:0:not-null", "datatype, nullability"},
        {"refv", "v", "string:50:null", "string:50:not-null", "nullability"},
    };
    EXPECT_EQ(Sorted(rows), expected) << run.out;
    EXPECT_EQ(root["differences"].toInt(), 6);

    // The same pair the other way round: only what database 1 (now MariaDB) has is visited.
    const ProcessResult back = RunCli({"--format", "tsv", "--no-datatype", "--no-null", maria, pg});
    EXPECT_EQ(back.status, 1) << back.err;
    EXPECT_NE(back.out.find("drift\tname\tstring:60:null\tstring:40:null\tsize\n"), std::string::npos)
        << back.out;
    EXPECT_NE(back.out.find("only_here\tid\tinteger:0:null\t???\tFIELD MISSING\n"), std::string::npos)
        << back.out;
    EXPECT_EQ(back.out.find("extra"), std::string::npos);
}

// Snapshots of a PostgreSQL, a MariaDB and a SQLite database, each with drift of its own: every database
// against its own snapshot gives nothing, and every pair of engines gives with snapshots the live rows.
TEST(CliServers, SnapshotsStandInForDatabasesOfEveryEngine) {
    KORVISTA_REQUIRE_SERVER(Engine::PostgreSQL);
    KORVISTA_REQUIRE_SERVER(Engine::MariaDB);
    TempDir dir;
    std::string sqliteSql;
    for (const std::string& statement : testservers::ReferenceSchema(Dialect::SQLite))
        sqliteSql += statement + ";";
    BuildDatabase(dir.File("lite.db"), sqliteSql + "CREATE TABLE drift (name varchar(50), Extra integer);");
    const std::map<std::string, std::string> live = {
        {"pg", Prepare(Engine::PostgreSQL, Dialect::PostgreSQL,
                       {"CREATE TABLE drift (name varchar(40))", "CREATE TABLE \"Mixed Case\" (a integer)"})},
        {"maria",
         Prepare(Engine::MariaDB, Dialect::MariaDB,
                 {"CREATE TABLE drift (NAME varchar(60) NOT NULL)", "CREATE TABLE only_here (id integer)"})},
        {"lite", SqliteConnection(dir.File("lite.db"))},
    };
    std::map<std::string, std::string> snapshot;
    for (const auto& [name, connection] : live) {
        const std::string file = dir.File(name + ".json");
        const ProcessResult saved = RunCli({"--save-snapshot", file, connection}, 60);
        ASSERT_EQ(saved.status, 0) << name << ": " << saved.err;
        snapshot[name] = SnapshotConnection(file);
        for (const auto& [db1, db2] :
             {std::pair{connection, snapshot[name]}, std::pair{snapshot[name], connection}}) {
            const ProcessResult run = RunCli({"--both-ways", "--format", "tsv", db1, db2}, 60);
            EXPECT_EQ(run.status, 0) << name << ": " << run.err;
            EXPECT_EQ(ParseTsvRows(run.out), std::vector<ResultRow>{}) << name;
        }
    }
    for (const auto& [name1, name2] : {std::pair{"pg", "maria"}, std::pair{"maria", "pg"},
                                       std::pair{"lite", "pg"}, std::pair{"maria", "lite"}}) {
        for (const std::vector<std::string>& options :
             {std::vector<std::string>{},
              std::vector<std::string>{"--both-ways", "--exclude-table", "refv"}}) {
            const auto run = [&](const std::string& db1, const std::string& db2) {
                std::vector<std::string> args = options;
                args.insert(args.end(), {"--format", "tsv", db1, db2});
                return RunCli(args, 60);
            };
            const ProcessResult expected = run(live.at(name1), live.at(name2));
            ASSERT_EQ(expected.err, "") << name1 << " / " << name2;
            ASSERT_GT(ParseTsvRows(expected.out).size(), 0u);
            for (const ProcessResult& other :
                 {run(snapshot.at(name1), snapshot.at(name2)), run(snapshot.at(name1), live.at(name2)),
                  run(live.at(name1), snapshot.at(name2))}) {
                EXPECT_EQ(other.status, expected.status) << name1 << " / " << name2 << ": " << other.err;
                EXPECT_EQ(other.out, expected.out)
                    << name1 << " / " << name2 << ", " << options.size() << " options";
            }
        }
    }
}

TEST(CliServers, AServerThatRefusesTheLoginIsAnErrorNotAnEmptyDatabase) {
    KORVISTA_REQUIRE_SERVER(Engine::PostgreSQL);
    KORVISTA_REQUIRE_SERVER(Engine::MariaDB);
    const std::string maria = testservers::ConnectionString(Engine::MariaDB);
    const testservers::ServerInfo pg = testservers::Server(Engine::PostgreSQL);
    const std::string wrong = "Driver={" + pg.driver + "};Server=" + pg.host + ";Port=" + pg.port +
                              ";Database=" + pg.database + ";Uid=" + pg.user + ";Pwd=wrong-password";
    const ProcessResult run = RunCli({maria, wrong});
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find("database 2 cannot be opened: "), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("wrong-password"), std::string::npos);
}

// korvista-cli over 3,000 tables, one database behind a proxy that cuts or freezes its connection while
// the catalogue comes in: an error naming that database, never a result.
struct Disruption {
    Engine engine;
    int side; // the database behind the proxy
    LoopbackProxy::Mode mode;
};

class CliDisrupted : public ::testing::TestWithParam<Disruption> {};

TEST_P(CliDisrupted, EndsWithOneErrorLineNamingTheDatabase) {
    const Disruption d = GetParam();
    KORVISTA_REQUIRE_SERVER(d.engine);
    const std::string direct = testservers::ManyTablesDatabase(d.engine);
    LoopbackProxy proxy(static_cast<unsigned short>(std::stoi(testservers::Server(d.engine).port)));
    const std::string proxied = testservers::ConnectionString(d.engine, "kv_many_tables", proxy.Port());
    // Past the login and into the catalogue, whose answer for 3,000 tables is many times longer.
    proxy.Disrupt(d.mode, 64 * 1024);

    const auto start = std::chrono::steady_clock::now();
    const ProcessResult run = RunCli({"--format", "tsv", "--login-timeout", "2", "--request-timeout", "2",
                                      d.side == 1 ? proxied : direct, d.side == 1 ? direct : proxied},
                                     90);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("korvista-cli ended after %.1f s\n", seconds);

    ASSERT_FALSE(run.timedOut) << "still waiting after 90 s";
    EXPECT_TRUE(proxy.Disrupted());
    EXPECT_EQ(run.status, 2) << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_THAT(run.err, ::testing::StartsWith("korvista-cli: database " + std::to_string(d.side) +
                                               " lost its connection while reading its catalogue: "));
    EXPECT_EQ(Lines(run.err).size(), 1u) << run.err;
}

INSTANTIATE_TEST_SUITE_P(, CliDisrupted,
                         ::testing::Values(Disruption{Engine::PostgreSQL, 1, LoopbackProxy::Mode::Cut},
                                           Disruption{Engine::PostgreSQL, 2, LoopbackProxy::Mode::Cut},
                                           Disruption{Engine::PostgreSQL, 1, LoopbackProxy::Mode::Freeze},
                                           Disruption{Engine::PostgreSQL, 2, LoopbackProxy::Mode::Freeze},
                                           Disruption{Engine::MariaDB, 1, LoopbackProxy::Mode::Cut},
                                           Disruption{Engine::MariaDB, 2, LoopbackProxy::Mode::Cut},
                                           Disruption{Engine::MariaDB, 1, LoopbackProxy::Mode::Freeze},
                                           Disruption{Engine::MariaDB, 2, LoopbackProxy::Mode::Freeze}),
                         [](const ::testing::TestParamInfo<Disruption>& info) {
                             return std::string(testservers::EngineName(info.param.engine)) + "_db" +
                                    std::to_string(info.param.side) +
                                    (info.param.mode == LoopbackProxy::Mode::Cut ? "_cut" : "_frozen");
                         });

} // namespace
