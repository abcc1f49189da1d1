// The comparison run over two databases, in process: catalogue, per-table reads, CompareTable.
#include "cli/cli_test_helpers.h"
#include "compare/schema_comparison.h"
#include "support/errors.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

using namespace korvista;
using namespace korvista::clitest;

namespace {

class CompareDatabasesTest : public ::testing::Test {
protected:
    void SetUp() override { BuildSamples(dir_.Path()); }

    void Open(TDatabase& database, const std::string& file) {
        database.SetConnectionString(SqliteConnection(dir_.File(file)));
        database.Connect();
        ASSERT_TRUE(database.ADO().Connected());
    }

    TempDir dir_;
    TDatabase db1_{nullptr};
    TDatabase db2_{nullptr};
};

TEST_F(CompareDatabasesTest, WalksTheTablesOfDatabaseOneInCatalogueOrder) {
    Open(db1_, "sample1.db");
    Open(db2_, "sample2.db");
    std::vector<std::string> seen;
    const TableComparison result =
        CompareDatabases(db1_, db2_, {}, [&](std::size_t index, std::size_t total, const std::string& table) {
            EXPECT_EQ(index, seen.size());
            EXPECT_EQ(total, 6u);
            seen.push_back(table);
        });
    // suppliers exists only in database 2 and is never visited.
    EXPECT_EQ(seen, (std::vector<std::string>{"coupons", "customer_orders", "customers", "order_lines",
                                              "orders", "products"}));
    EXPECT_EQ(result.rows, ExpectedSampleRows());
    EXPECT_EQ(result.count, 16);
}

TEST_F(CompareDatabasesTest, AClosedDatabaseTwoShowsEveryColumnMissingAsTheWindowWould) {
    Open(db1_, "sample1.db");
    const TableComparison result = CompareDatabases(db1_, db2_, {});
    // coupons 3, customer_orders 4, customers 7, order_lines 5, orders 8, products 9 columns.
    EXPECT_EQ(result.count, 36);
    ASSERT_EQ(result.rows.size(), 36u);
    for (const ResultRow& row : result.rows)
        EXPECT_EQ(row.difference, "FIELD MISSING");

    CompareSwitches noMissing;
    noMissing.missing = false;
    EXPECT_EQ(CompareDatabases(db1_, db2_, noMissing).count, 0);
}

TEST_F(CompareDatabasesTest, DatabaseOneThatCannotBeOpenedEndsTheRun) {
    db1_.SetConnectionString(SqliteConnection(dir_.File("absent.db")));
    Open(db2_, "sample2.db");
    bool called = false;
    const CompareProgress progress = [&](std::size_t, std::size_t, const std::string&) { called = true; };
    EXPECT_THROW(CompareDatabases(db1_, db2_, {}, progress), Error);
    EXPECT_FALSE(called);
}

TEST_F(CompareDatabasesTest, LoadTableFieldsGivesEmptyForClosedOrUnreadable) {
    EXPECT_TRUE(LoadTableFields(db1_, "customers").empty());
    Open(db1_, "sample1.db");
    EXPECT_TRUE(LoadTableFields(db1_, "NoSuchTable").empty());
    const std::vector<FieldDef> fields = LoadTableFields(db1_, "customers");
    ASSERT_EQ(fields.size(), 7u);
    EXPECT_EQ(fields[1], (FieldDef{"name", ftString, 50, true}));
}

TEST_F(CompareDatabasesTest, DatabaseOneWithoutTablesGivesNothing) {
    BuildDatabase(dir_.File("empty.db"), "PRAGMA user_version = 1;");
    Open(db1_, "empty.db");
    Open(db2_, "sample2.db");
    int calls = 0;
    const TableComparison result =
        CompareDatabases(db1_, db2_, {}, [&](std::size_t, std::size_t, const std::string&) { ++calls; });
    EXPECT_EQ(calls, 0);
    EXPECT_TRUE(result.rows.empty());
    EXPECT_EQ(result.count, 0);
}

} // namespace

namespace {

// Two small databases made for the case at hand.
class CompareOptionsTest : public CompareDatabasesTest {
protected:
    void Make(const std::string& sql1, const std::string& sql2) {
        BuildDatabase(dir_.File("a.db"), sql1);
        BuildDatabase(dir_.File("b.db"), sql2);
        Open(db1_, "a.db");
        Open(db2_, "b.db");
    }
};

TEST_F(CompareOptionsTest, BothWaysAddsExtraColumnsAndTablesOfDatabaseTwo) {
    Make("CREATE TABLE t (id integer, name varchar(10));",
         "CREATE TABLE t (ID integer, name varchar(10), added date NOT NULL);"
         "CREATE TABLE only2 (a integer, b text);");
    EXPECT_EQ(CompareDatabases(db1_, db2_, {}).count, 0) << "without the switch nothing changes";
    CompareOptions options;
    options.bothWays = true;
    const TableComparison result = CompareDatabases(db1_, db2_, options);
    const std::vector<ResultRow> expected = {
        {"t", "added", "???", "date:0:not-null", "FIELD EXTRA"},
        {"only2", "a", "???", "integer:0:null", "FIELD EXTRA"},
        {"only2", "b", "???", "memo:0:null", "FIELD EXTRA"},
    };
    EXPECT_EQ(result.rows, expected);
    EXPECT_EQ(result.count, 3);
}

TEST_F(CompareOptionsTest, FiltersChooseTablesOnBothSides) {
    Make("CREATE TABLE orders (a integer); CREATE TABLE orders_old (a integer); CREATE TABLE audit (a "
         "integer);",
         "CREATE TABLE other_orders (z integer); CREATE TABLE audit2 (z integer);");
    CompareOptions options;
    options.tables.include = {"ORDER*", "audit*"};
    options.tables.exclude = {"*_old"};
    std::vector<std::string> seen;
    TableComparison result =
        CompareDatabases(db1_, db2_, options,
                         [&](std::size_t, std::size_t, const std::string& table) { seen.push_back(table); });
    EXPECT_EQ(seen, (std::vector<std::string>{"orders", "audit"}));
    EXPECT_EQ(result.count, 2);
    options.bothWays = true;
    result = CompareDatabases(db1_, db2_, options);
    // other_orders is not chosen; audit2 is.
    ASSERT_EQ(result.rows.size(), 3u);
    EXPECT_EQ(result.rows[2], (ResultRow{"audit2", "z", "???", "integer:0:null", "FIELD EXTRA"}));
}

TEST_F(CompareOptionsTest, ATableNamedInAnotherLetterCaseIsTheSameTableBothWays) {
    // SQLite resolves names in any letter case: Orders reaches orders, so orders is no extra table.
    Make("CREATE TABLE Orders (id integer, name varchar(10));",
         "CREATE TABLE orders (ID integer, name varchar(12), added integer);");
    CompareOptions options;
    options.bothWays = true;
    const TableComparison result = CompareDatabases(db1_, db2_, options);
    EXPECT_EQ(result.rows,
              (std::vector<ResultRow>{{"Orders", "name", "string:10:null", "string:12:null", "size"},
                                      {"Orders", "added", "???", "integer:0:null", "FIELD EXTRA"}}));
    EXPECT_TRUE(result.errors.empty());
}

TEST_F(CompareOptionsTest, UnreadableTablesAreErrorsNotEmptyTables) {
    // A view over a dropped table cannot be described on either side; a table database 2 lacks can.
    Make("CREATE TABLE gone (a integer); CREATE VIEW broken AS SELECT a FROM gone; DROP TABLE gone;"
         "CREATE TABLE t (a integer); CREATE TABLE missing2 (a integer); CREATE TABLE v2 (a integer);",
         "CREATE TABLE t (a integer); CREATE TABLE gone (a integer);"
         "CREATE VIEW v2 AS SELECT a FROM gone; DROP TABLE gone;");
    const TableComparison result = CompareDatabases(db1_, db2_, {});
    EXPECT_EQ(result.rows,
              (std::vector<ResultRow>{{"missing2", "a", "integer:0:null", "???", "FIELD MISSING"}}));
    ASSERT_EQ(result.errors.size(), 2u);
    EXPECT_EQ(result.errors[0].table, "broken");
    EXPECT_EQ(result.errors[0].database, 1);
    EXPECT_NE(result.errors[0].message.find("gone"), std::string::npos) << result.errors[0].message;
    EXPECT_EQ(result.errors[1].table, "v2");
    EXPECT_EQ(result.errors[1].database, 2);
}

} // namespace

namespace {

// A provider read table by table whose table B fails as the case says: not at all, refused, or with its
// connection lost.
enum class Failure { None, Refused, Lost };
class FailingTableSession : public ProviderSession {
public:
    explicit FailingTableSession(Failure failure) : failure_(failure) {}
    Rowset TableCatalogue(bool) override {
        return {{"TABLE_NAME", "TABLE_TYPE"}, {{"A", "TABLE"}, {"B", "TABLE"}}};
    }
    std::string IdentifierQuote() override { return "\""; }
    std::vector<ColumnDescription> DescribeQuery(const std::string&) override { return {}; }
    std::vector<ColumnDescription> DescribeTable(const std::string& table) override {
        if (table == "B" && failure_ == Failure::Lost)
            throw ConnectionLost("server closed the connection unexpectedly");
        if (table == "B" && failure_ == Failure::Refused)
            throw Unreadable("permission denied for table B");
        return {ColumnDescription{"id", 3, 0, 0, 0, 0, std::nullopt, true}};
    }

private:
    Failure failure_;
};

// Every layer that carries on past an unreadable table lets a lost connection through: the run ends with
// it, named by database and table, and is never taken for a table without columns.
TEST(LostConnectionThroughTheComparison, EndsTheRunWhereAnUnreadableTableIsOnlyAnError) {
    const std::string provider = "server closed the connection unexpectedly";
    struct Road {
        const char* name;
        std::string lostMessage;
        std::function<TableComparison(TDatabase&, TDatabase&)> run;
    };
    const Road roads[] = {
        {"read table by table", "database 2 lost its connection while reading table B: " + provider,
         [](TDatabase& a, TDatabase& b) { return CompareDatabases(a, b, {}); }},
        {"database 2 read whole first", provider,
         [](TDatabase& a, TDatabase& b) {
             SchemaCatalogue one(a.ADO());
             SchemaCatalogue two(ReadDatabaseSchema(b.ADO()));
             return CompareCatalogues(one, &two, {});
         }},
        {"the window's field list", provider,
         [](TDatabase&, TDatabase& b) {
             TableComparison result;
             if (LoadTableFields(b, "B").empty())
                 result.errors.push_back({"B", 2, "empty"});
             return result;
         }},
    };
    for (const Road& road : roads) {
        for (const bool lost : {false, true}) {
            SCOPED_TRACE(std::string(road.name) + (lost ? ", lost" : ", refused"));
            TDatabase db1(nullptr);
            TDatabase db2(nullptr);
            db1.ADO().OpenWith(std::make_unique<FailingTableSession>(Failure::None));
            db2.ADO().OpenWith(
                std::make_unique<FailingTableSession>(lost ? Failure::Lost : Failure::Refused));
            try {
                const TableComparison result = road.run(db1, db2);
                EXPECT_FALSE(lost) << "a lost connection was taken for an unreadable table";
                ASSERT_EQ(result.errors.size(), 1u);
                EXPECT_EQ(result.errors[0].table, "B");
                EXPECT_TRUE(db2.ADO().Connected());
            } catch (const ConnectionLost& error) {
                EXPECT_TRUE(lost) << error.what();
                EXPECT_EQ(error.what(), road.lostMessage);
                EXPECT_FALSE(db2.ADO().Connected()) << "a lost connection is closed";
            }
        }
    }
}

} // namespace
