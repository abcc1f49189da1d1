// The window between two real servers through the ODBC provider: PostgreSQL as database 1, MariaDB as
// database 2, both with the shared reference schema plus known drift of their own.

#include "app/command_list.h"
#include "app/list_view.h"
#include "compare/schema_comparison.h"
#include "odbc/test_servers_helpers.h"
#include "window_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace korvista {
namespace {

using testing::RowList;
using testing::Rows;
using testing::WindowFixture;
using testservers::Dialect;
using testservers::Engine;

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

} // namespace
} // namespace korvista
