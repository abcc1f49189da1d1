// The window between two real servers through the ODBC provider: PostgreSQL as database 1, MariaDB as
// database 2, both with the shared reference schema plus known drift of their own.

#include "app/command_list.h"
#include "app/list_view.h"
#include "compare/schema_comparison.h"
#include "odbc/loopback_proxy.h"
#include "odbc/test_servers_helpers.h"
#include "schema/u_Database.h"
#include "window_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>

namespace korvista {
namespace {

using testing::RowList;
using testing::Rows;
using testing::WindowFixture;
using testservers::Dialect;
using testservers::Engine;
using testservers::LoopbackProxy;

std::string Prepare(Engine engine, Dialect dialect, const std::vector<std::string>& drift) {
    const std::string cs = testservers::CreateDatabase(engine, testservers::UniqueName("win"));
    testservers::Execute(cs, testservers::ReferenceSchema(dialect));
    testservers::Execute(cs, drift);
    return cs;
}

RowList Sorted(RowList rows) {
    std::sort(rows.begin(), rows.end(), [](const QStringList& a, const QStringList& b) {
        return std::make_pair(a[0], a[1]) < std::make_pair(b[0], b[1]);
    });
    return rows;
}

class WindowServers : public WindowFixture {};

TEST_F(WindowServers, PostgreSqlAgainstMariaDbGivesExactlyTheEngineDifferencesAndTheDrift) {
    KORVISTA_REQUIRE_SERVER(Engine::PostgreSQL);
    KORVISTA_REQUIRE_SERVER(Engine::MariaDB);
    const std::string pg = Prepare(Engine::PostgreSQL, Dialect::PostgreSQL,
                                   {"CREATE TABLE drift (name varchar(40), kept integer NOT NULL)",
                                    "CREATE TABLE extra (code varchar(20) NOT NULL)"});
    const std::string maria = Prepare(Engine::MariaDB, Dialect::MariaDB,
                                      {"CREATE TABLE drift (name varchar(60), KEPT integer NOT NULL)",
                                       "CREATE TABLE only_here (id integer)"});
    window->Settings()->SetADOStr1(pg);
    window->Settings()->SetADOStr2(maria);

    Open();
    ASSERT_TRUE(ui->Errors().empty()) << ui->Errors().front().toStdString();
    RowList tables = Rows(window->lvTables);
    std::sort(tables.begin(), tables.end());
    EXPECT_EQ(tables, (RowList{{"drift"}, {"extra"}, {"ref"}, {"refv"}}))
        << "the tables and the view of database 1 only";

    ASSERT_TRUE(window->ActionList->Execute(window->actCompare));
    // The engine differences are those that tests/odbc/cross_engine_test.cpp lists with their reasons.
    EXPECT_EQ(Sorted(Rows(window->lvResults)),
              (RowList{{"drift", "name", "string:40:null", "string:60:null", "size"},
                       {"extra", "code", "string:20:not-null", "???", "FIELD MISSING"},
                       {"ref", "flag", "boolean:0:null", "smallint:0:null", "datatype"},
                       {"refv", "id", "integer:0:null", "autoinc:0:not-null", "datatype, nullability"},
                       {"refv", "v", "string:50:null", "string:50:not-null", "nullability"}}));
    ASSERT_EQ(ui->Messages().size(), 1u);
    EXPECT_EQ(ui->Messages().front(), "Er zijn 6 verschillen gevonden!");
    EXPECT_TRUE(ui->Errors().empty());
}

// The window's run and the command-line tool's whole-catalogue road give the same rows, in the same order,
// on every pairing of the two servers.
TEST_F(WindowServers, WindowAndCommandLineRoadGiveTheSameRowsOnEveryServerPair) {
    KORVISTA_REQUIRE_SERVER(Engine::PostgreSQL);
    KORVISTA_REQUIRE_SERVER(Engine::MariaDB);
    const std::vector<std::string> drift1 = {"CREATE TABLE drift (name varchar(40), kept integer NOT NULL)",
                                             "CREATE TABLE extra (code varchar(20) NOT NULL)"};
    const std::vector<std::string> drift2 = {"CREATE TABLE drift (name varchar(60), KEPT integer)",
                                             "CREATE TABLE only_here (id integer)"};
    const std::string pg1 = Prepare(Engine::PostgreSQL, Dialect::PostgreSQL, drift1);
    const std::string pg2 = Prepare(Engine::PostgreSQL, Dialect::PostgreSQL, drift2);
    const std::string maria1 = Prepare(Engine::MariaDB, Dialect::MariaDB, drift1);
    const std::string maria2 = Prepare(Engine::MariaDB, Dialect::MariaDB, drift2);
    const std::vector<std::pair<std::string, std::string>> pairs = {
        {pg1, maria2}, {maria1, pg2}, {pg1, pg2}, {maria1, maria2}};
    for (const auto& [db1, db2] : pairs) {
        window->Settings()->SetADOStr1(db1);
        window->Settings()->SetADOStr2(db2);
        Open();
        ui->boxes.clear();
        ASSERT_TRUE(window->ActionList->Execute(window->actCompare));
        ASSERT_TRUE(ui->Errors().empty()) << ui->Errors().front().toStdString();

        TDatabase cli1(nullptr), cli2(nullptr);
        cli1.SetConnectionString(db1);
        cli2.SetConnectionString(db2);
        cli1.Connect();
        cli2.Connect();
        const TableComparison road = CompareDatabases(cli1, cli2, {});
        RowList expected;
        for (const ResultRow& row : road.rows)
            expected.push_back({QString::fromStdString(row.table), QString::fromStdString(row.field),
                                QString::fromStdString(row.db1), QString::fromStdString(row.db2),
                                QString::fromStdString(row.difference)});
        EXPECT_EQ(Rows(window->lvResults), expected) << db1 << " against " << db2;
        EXPECT_TRUE(road.errors.empty());
        ASSERT_EQ(ui->Messages().size(), 1u);
        EXPECT_EQ(ui->Messages().front().toStdString(),
                  "Er zijn " + std::to_string(road.count) + " verschillen gevonden!");
        ASSERT_TRUE(window->ActionList->Execute(window->actReset));
    }
}

// Database 2 for a run over the 3,000 tables of ManyTablesDatabase: its first 100 tables with name
// varchar(60), so each of those gives one "size" row and every later table three "FIELD MISSING" rows.
constexpr int kTablesOfTwo = 100;

// Gives the database's name.
std::string FirstTablesWider(Engine engine) {
    const std::string name = testservers::UniqueName("win");
    testservers::Execute(testservers::CreateDatabase(engine, name),
                         testservers::NumberedTables(engine, kTablesOfTwo, 60));
    return name;
}

std::string TableName(int i) {
    const std::string digits = std::to_string(i);
    return "t" + std::string(4 - std::min<std::size_t>(4, digits.size()), '0') + digits;
}

QStringList SizeRow(int i) {
    return {QString::fromStdString(TableName(i)), "name", "string:40:null", "string:60:null", "size"};
}

struct Cut {
    Engine engine;
    LoopbackProxy::Moment moment;
};

class WindowOverManyTables : public WindowFixture, public ::testing::WithParamInterface<Cut> {};

// The run reads table by table; database 2's connection is cut after some of them. On MariaDB the cut
// comes between two tables, as when a server goes while the connection is idle: a cut inside an answer's
// column definitions makes its driver (Connector/ODBC 3.1.15) dereference a null pointer.
TEST_P(WindowOverManyTables, ACutConnectionEndsTheRunWithTheErrorBoxAndKeepsTheRowsSoFar) {
    const Engine engine = GetParam().engine;
    KORVISTA_REQUIRE_SERVER(engine);
    window->Settings()->SetADOStr1(testservers::ManyTablesDatabase(engine));
    LoopbackProxy proxy(static_cast<unsigned short>(std::stoi(testservers::Server(engine).port)));
    window->Settings()->SetADOStr2(testservers::ConnectionString(engine, FirstTablesWider(engine), proxy.Port()));
    Open();
    ASSERT_TRUE(ui->Errors().empty()) << ui->Errors().front().toStdString();
    ASSERT_EQ(window->lvTables->topLevelItemCount(), testservers::kManyTables);
    // A few column reads of database 2 pass, then the connection goes.
    proxy.Disrupt(LoopbackProxy::Mode::Cut, 8 * 1024, GetParam().moment);
    window->ActionList->UpdateWindowCommands();
    window->Vergelijk1->trigger();

    ASSERT_TRUE(proxy.Disrupted());
    ASSERT_EQ(ui->Errors().size(), 1u);
    const int reached = window->lvTables->SelectedIndex();
    ASSERT_GT(reached, 0);
    ASSERT_LT(reached, kTablesOfTwo);
    EXPECT_TRUE(ui->Errors()[0].startsWith(QString::fromStdString(
        "database 2 lost its connection while reading table " + TableName(reached) + ": ")))
        << ui->Errors()[0].toStdString();
    RowList expected;
    for (int i = 0; i < reached; ++i)
        expected.push_back(SizeRow(i));
    const RowList rows = Rows(window->lvResults);
    EXPECT_EQ(rows, expected) << "the rows of the tables before, and only those: " << rows.size() << " rows, "
                              << (rows.empty() ? std::string() : rows.back().join(" ").toStdString());
    EXPECT_TRUE(ui->Messages().empty()) << "no closing message";
    EXPECT_FALSE(window->ActionList->Suspended());
    EXPECT_FALSE(window->Database2()->ADO().Connected());
    EXPECT_FALSE(window->actCompare->isEnabled());
}

INSTANTIATE_TEST_SUITE_P(, WindowOverManyTables,
                         ::testing::Values(Cut{Engine::PostgreSQL, LoopbackProxy::Moment::InAnswer},
                                           Cut{Engine::MariaDB, LoopbackProxy::Moment::AtNextRequest}),
                         [](const ::testing::TestParamInfo<Cut>& info) {
                             return std::string(testservers::EngineName(info.param.engine));
                         });

// An undisturbed run over many MariaDB tables: exactly the rows the two databases make, none lost to a
// read that failed unseen.
TEST_F(WindowServers, AnUndisturbedRunOverManyMariaDbTablesGivesExactlyTheExpectedRows) {
    KORVISTA_REQUIRE_SERVER(Engine::MariaDB);
    window->Settings()->SetADOStr1(testservers::ManyTablesDatabase(Engine::MariaDB));
    window->Settings()->SetADOStr2(testservers::ConnectionString(Engine::MariaDB, FirstTablesWider(Engine::MariaDB)));
    Open();
    ASSERT_TRUE(ui->Errors().empty()) << ui->Errors().front().toStdString();
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(window->ActionList->Execute(window->actCompare));
    std::printf("the window's run over %d tables took %.1f s\n", testservers::kManyTables,
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());

    RowList expected;
    for (int i = 0; i < testservers::kManyTables; ++i) {
        if (i < kTablesOfTwo) {
            expected.push_back(SizeRow(i));
            continue;
        }
        const QString table = QString::fromStdString(TableName(i));
        expected.push_back({table, "id", "integer:0:not-null", "???", "FIELD MISSING"});
        expected.push_back({table, "name", "string:40:null", "???", "FIELD MISSING"});
        expected.push_back({table, "note", "memo:0:null", "???", "FIELD MISSING"});
    }
    EXPECT_EQ(Rows(window->lvResults), expected);
    EXPECT_TRUE(ui->Errors().empty());
    ASSERT_EQ(ui->Messages().size(), 1u);
    EXPECT_EQ(ui->Messages().front(),
              QString("Er zijn %1 verschillen gevonden!").arg(expected.size()));
}

} // namespace
} // namespace korvista
