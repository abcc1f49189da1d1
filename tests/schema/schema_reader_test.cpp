#include "common/sqlite_test_files.h"
#include "schema/schema_reader.h"
#include "support/ascii.h"
#include "support/errors.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QFile>
#include <QTemporaryDir>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

using namespace korvista;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

namespace {

class SchemaReaderTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        path_ = dir_.filePath("shop.db").toStdString();
        Execute(R"(
            CREATE TABLE Orders(id INTEGER PRIMARY KEY, customer VARCHAR(40) NOT NULL, total DECIMAL(10,2),
                                qty NUMERIC(5), note TEXT, code CHAR(3), Id2 INT);
            CREATE TABLE Customers(name NVARCHAR(30), ID BIGINT NOT NULL);
            CREATE VIEW OrderTotals AS SELECT customer, sum(total) AS amount FROM Orders GROUP BY customer;
            CREATE TABLE "Order"(line INTEGER);
            CREATE TABLE "x where 1=2; drop table Customers; --"(a TEXT);
            CREATE TABLE "we""ird"(b REAL);
            INSERT INTO Orders(customer) VALUES('a');
            ANALYZE;
        )");
        connection_.SetConnectionString("Provider=SQLite;Data Source=" + path_);
    }

    void Execute(const std::string& sql) { korvista::testing::ExecuteSqlite(path_, sql); }

    QByteArray FileHash() const { return korvista::testing::FileSha256(path_); }

    QTemporaryDir dir_;
    std::string path_;
    TADOConnection connection_;
};

TEST_F(SchemaReaderTest, TableNamesOpenTheConnectionAndKeepTheProviderOrder) {
    std::vector<std::string> names{"left over"};
    ASSERT_FALSE(connection_.Connected());
    GetTableNames(connection_, names, false);
    EXPECT_TRUE(connection_.Connected());
    EXPECT_THAT(names, ElementsAre("Orders", "Customers", "OrderTotals", "Order",
                                   "x where 1=2; drop table Customers; --", "we\"ird"));

    GetTableNames(connection_, names, true);
    ASSERT_EQ(names.size(), 7u);
    EXPECT_EQ(names.back(), "sqlite_stat1");
}

TEST_F(SchemaReaderTest, TableNamesLetAnOpeningFailureThroughAndKeepTheTarget) {
    TADOConnection missing;
    missing.SetConnectionString("Provider=SQLite;Data Source=" + dir_.filePath("gone.db").toStdString());
    std::vector<std::string> names{"kept"};
    EXPECT_THROW(GetTableNames(missing, names, false), Error);
    EXPECT_FALSE(missing.Connected());
    EXPECT_THAT(names, ElementsAre("kept"));

    TADOConnection bogus;
    bogus.SetConnectionString("Provider=Bogus");
    try {
        GetTableNames(bogus, names, false);
        ADD_FAILURE() << "an unknown provider was opened";
    } catch (const Error& error) {
        EXPECT_STREQ(error.what(), "Provider cannot be found. It may not be properly installed.");
    }
}

TEST_F(SchemaReaderTest, EmptyDatabaseListsNothing) {
    const std::string empty = dir_.filePath("empty.db").toStdString();
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(empty.c_str(), &db), SQLITE_OK);
    sqlite3_exec(db, "PRAGMA user_version = 3;", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    TADOConnection connection;
    connection.SetConnectionString("Provider=SQLite;Data Source=" + empty);
    std::vector<std::string> names{"stale"};
    GetTableNames(connection, names, false);
    EXPECT_TRUE(names.empty());
}

TEST(ColumnQueryText, PlainNamesGoInAsTheyAreEverythingElseQuoted) {
    EXPECT_EQ(ColumnQueryText("Orders", "\"", false), "Select * from Orders where 1=2");
    EXPECT_EQ(ColumnQueryText("_t9", "\"", false), "Select * from _t9 where 1=2");
    EXPECT_EQ(ColumnQueryText("Orders", "\"", true), "Select * from \"Orders\" where 1=2");
    EXPECT_EQ(ColumnQueryText("9lives", "\"", false), "Select * from \"9lives\" where 1=2");
    EXPECT_EQ(ColumnQueryText("dbo.Orders", "\"", false), "Select * from \"dbo.Orders\" where 1=2");
    EXPECT_EQ(ColumnQueryText("Order Details", "`", false), "Select * from `Order Details` where 1=2");
    EXPECT_EQ(ColumnQueryText("a\"b\"\"c", "\"", false), "Select * from \"a\"\"b\"\"\"\"c\" where 1=2");
    EXPECT_EQ(ColumnQueryText("x; drop table y; --", "\"", false),
              "Select * from \"x; drop table y; --\" where 1=2");
    EXPECT_EQ(ColumnQueryText("caf\xc3\xa9", "\"", false), "Select * from \"caf\xc3\xa9\" where 1=2");
    EXPECT_EQ(ColumnQueryText("", "\"", false), "Select * from \"\" where 1=2");
    // Without a quote character a name that needs one cannot be used safely.
    EXPECT_THROW(ColumnQueryText("a b", " ", false), Error);
    EXPECT_THROW(ColumnQueryText("a b", "", false), Error);
    EXPECT_EQ(ColumnQueryText("ab", "", false), "Select * from ab where 1=2");
}

TEST_F(SchemaReaderTest, FieldsOfATableAreDescribedInColumnOrder) {
    connection_.Open();
    const auto fields = ReadTableFields(connection_, "Orders");
    EXPECT_THAT(fields,
                ElementsAre(FieldDef{"id", ftAutoInc, 0, true}, FieldDef{"customer", ftString, 40, true},
                            FieldDef{"total", ftBCD, 2, false}, FieldDef{"qty", ftInteger, 0, false},
                            FieldDef{"note", ftMemo, 0, false}, FieldDef{"code", ftString, 3, false},
                            FieldDef{"Id2", ftInteger, 0, false}));

    EXPECT_THAT(ReadTableFields(connection_, "Customers"),
                ElementsAre(FieldDef{"name", ftString, 30, false}, FieldDef{"ID", ftLargeint, 0, true}));
    EXPECT_THAT(ReadTableFields(connection_, "OrderTotals"),
                ElementsAre(FieldDef{"customer", ftString, 40, true}, FieldDef{"amount", ftBlob, 0, false}));
}

TEST_F(SchemaReaderTest, ReservedWordAndOddNamesAreReadQuoted) {
    connection_.Open();
    EXPECT_THAT(ReadTableFields(connection_, "Order"), ElementsAre(FieldDef{"line", ftInteger, 0, false}));
    EXPECT_THAT(ReadTableFields(connection_, "we\"ird"), ElementsAre(FieldDef{"b", ftFloat, 0, false}));
}

TEST_F(SchemaReaderTest, HostileTableNameExecutesNothing) {
    connection_.Open();
    const QByteArray before = FileHash();
    // The name is a real table here, so it must be read as one rather than run.
    EXPECT_THAT(ReadTableFields(connection_, "x where 1=2; drop table Customers; --"),
                ElementsAre(FieldDef{"a", ftMemo, 0, false}));
    EXPECT_THROW(ReadTableFields(connection_, "Orders where 1=2; drop table Customers; --"), Error);
    EXPECT_THROW(ReadTableFields(connection_, "Orders; drop table Customers"), Error);
    EXPECT_THROW(ReadTableFields(connection_, "Orders\" where 1=2; drop table Customers; --"), Error);

    std::vector<std::string> names;
    GetTableNames(connection_, names, false);
    EXPECT_THAT(names, ::testing::Contains("Customers"));
    EXPECT_EQ(ReadTableFields(connection_, "Customers").size(), 2u);
    connection_.Close();
    EXPECT_EQ(FileHash(), before);
}

TEST_F(SchemaReaderTest, FieldsNeedAnOpenConnectionAndAnExistingTable) {
    EXPECT_THROW(ReadTableFields(connection_, "Orders"), Error);
    EXPECT_FALSE(connection_.Connected()); // reading fields never opens

    connection_.Open();
    try {
        ReadTableFields(connection_, "Missing");
        ADD_FAILURE() << "a missing table was read";
    } catch (const Error& error) {
        EXPECT_THAT(error.what(), HasSubstr("no such table"));
    }
    EXPECT_TRUE(connection_.Connected());
}

TEST_F(SchemaReaderTest, ColumnThatFailsTheSizeTestMakesTheTableUnreadable) {
    Execute("CREATE TABLE wide(v VARCHAR(-1)); CREATE TABLE scaled(d DECIMAL(40,40));");
    connection_.Open();
    for (const char* table : {"wide", "scaled"}) {
        try {
            ReadTableFields(connection_, table);
            ADD_FAILURE() << table;
        } catch (const Error& error) {
            EXPECT_STREQ(error.what(), "Invalid field size") << table;
        }
    }
}

// A provider whose catalogue and column descriptions the test sets; it records every query it is given.
class FakeSession : public ProviderSession {
public:
    Rowset catalogue;
    std::vector<std::string> refused; // query texts answered with an error, as a provider refuses them
    std::string lostOn;               // a query text, or "catalogue", that finds the connection lost
    std::vector<ColumnDescription> columns;
    std::vector<std::string>* queries = nullptr;

    Rowset TableCatalogue(bool) override {
        if (lostOn == "catalogue")
            throw ConnectionLost("server closed the connection unexpectedly");
        return catalogue;
    }
    std::string IdentifierQuote() override { return "`"; }
    std::vector<ColumnDescription> DescribeQuery(const std::string& sql) override {
        if (queries)
            queries->push_back(sql);
        if (sql == lostOn)
            throw ConnectionLost("server closed the connection unexpectedly");
        for (const std::string& text : refused)
            if (text == sql)
                throw Unreadable("syntax error near " + sql);
        return columns;
    }
};

TADOConnection& OpenOver(TADOConnection& connection, std::unique_ptr<FakeSession> session) {
    connection.OpenWith(std::move(session));
    return connection;
}

TEST(TableCatalogue, MissingColumnIsNamedAndTheTargetKept) {
    struct Case {
        std::vector<std::string> columns;
        const char* message;
    };
    // TABLE_TYPE is looked for first, so it is the one named when both are missing.
    for (const Case& c : {Case{{"TABLE_SCHEMA", "TABLE_NAME"}, "Field 'TABLE_TYPE' not found"},
                          Case{{"TABLE_TYPE", "NAME"}, "Field 'TABLE_NAME' not found"},
                          Case{{"TABLE_CATALOG"}, "Field 'TABLE_TYPE' not found"}}) {
        auto session = std::make_unique<FakeSession>();
        session->catalogue.columns = c.columns;
        session->catalogue.rows = {std::vector<std::string>(c.columns.size(), "TABLE")};
        TADOConnection connection;
        OpenOver(connection, std::move(session));
        std::vector<std::string> names{"kept"};
        try {
            GetTableNames(connection, names, false);
            ADD_FAILURE() << c.message;
        } catch (const Error& error) {
            EXPECT_STREQ(error.what(), c.message);
        }
        EXPECT_THAT(names, ElementsAre("kept"));
        EXPECT_TRUE(connection.Connected());
    }
}

TEST(TableCatalogue, OnlyExactTableAndViewRowsInTheProvidersOrder) {
    auto session = std::make_unique<FakeSession>();
    session->catalogue.columns = {"TABLE_NAME", "TABLE_SCHEMA", "TABLE_TYPE"};
    session->catalogue.rows = {
        {"Zeta", "s1", "TABLE"},  {"sys", "s1", "SYSTEM TABLE"},     {"Totals", "s1", "VIEW"},
        {"lower", "s1", "table"}, {"Syn", "s1", "SYNONYM"},          {"padded", "s1", "TABLE "},
        {"Zeta", "s2", "TABLE"},  {"tmp", "s1", "GLOBAL TEMPORARY"}, {"Alpha", "s1", "TABLE"},
    };
    TADOConnection connection; // no connection string: a second open would fail
    OpenOver(connection, std::move(session));

    std::vector<std::string> names{"stale"};
    GetTableNames(connection, names, false);
    EXPECT_THAT(names, ElementsAre("Zeta", "Totals", "Zeta", "Alpha"));
    GetTableNames(connection, names, true);
    EXPECT_THAT(names, ElementsAre("Zeta", "sys", "Totals", "Zeta", "Alpha"));

    OpenOver(connection, std::make_unique<FakeSession>()); // a catalogue of nothing at all
    EXPECT_THROW(GetTableNames(connection, names, false), Error);
}

TEST(TableCatalogue, EmptyCatalogueEmptiesTheTarget) {
    auto session = std::make_unique<FakeSession>();
    session->catalogue.columns = {"TABLE_TYPE", "TABLE_NAME"};
    TADOConnection connection;
    OpenOver(connection, std::move(session));
    std::vector<std::string> names{"stale"};
    GetTableNames(connection, names, false);
    EXPECT_THAT(names, IsEmpty());
}

TEST(ColumnQuery, PlainFormFirstThenQuotedWhenRefused) {
    std::vector<std::string> queries;
    auto session = std::make_unique<FakeSession>();
    session->queries = &queries;
    session->refused = {"Select * from Order where 1=2"};
    ColumnDescription id;
    id.name = "Id";
    id.type = 3;
    session->columns = {id};
    TADOConnection connection;
    OpenOver(connection, std::move(session));

    EXPECT_THAT(ReadTableFields(connection, "Orders"), ElementsAre(FieldDef{"Id", ftInteger, 0, false}));
    EXPECT_THAT(queries, ElementsAre("Select * from Orders where 1=2"));

    queries.clear();
    EXPECT_EQ(ReadTableFields(connection, "Order").size(), 1u);
    EXPECT_THAT(queries, ElementsAre("Select * from Order where 1=2", "Select * from `Order` where 1=2"));

    queries.clear();
    EXPECT_EQ(ReadTableFields(connection, "a`b c").size(), 1u);
    EXPECT_THAT(queries, ElementsAre("Select * from `a``b c` where 1=2"));
}

TEST(ColumnQuery, AnUnreadableDescriptionIsNotAskedAgain) {
    std::vector<std::string> queries;
    auto session = std::make_unique<FakeSession>();
    session->queries = &queries;
    ColumnDescription bad;
    bad.name = "v";
    bad.type = 200;
    bad.definedSize = -1;
    session->columns = {bad};
    TADOConnection connection;
    OpenOver(connection, std::move(session));
    try {
        ReadTableFields(connection, "T");
        ADD_FAILURE() << "a negative size was accepted";
    } catch (const Error& error) {
        EXPECT_STREQ(error.what(), "Invalid field size");
    }
    EXPECT_THAT(queries, ElementsAre("Select * from T where 1=2"));
}

// An engine read table by table that finds a listed table under its exact name, or, when it ignores
// letter case, under any letter case.
class NameResolvingSession : public FakeSession {
public:
    bool ignoresCase = false;
    std::vector<ColumnDescription> DescribeTable(const std::string& table) override {
        if (AsciiEqualsNoCase(table, "broken"))
            throw Unreadable("no such table: gone");
        for (const auto& row : catalogue.rows)
            if (row[0] == table || (ignoresCase && AsciiEqualsNoCase(row[0], table)))
                return columns;
        throw Unreadable("no such table: " + table);
    }
};

TEST(WholeDatabaseRead, NamesAreFoundInTheLetterCaseTheEngineResolves) {
    for (const bool ignoresCase : {false, true}) {
        SCOPED_TRACE(ignoresCase ? "ignores case" : "exact names");
        auto session = std::make_unique<NameResolvingSession>();
        session->ignoresCase = ignoresCase;
        session->catalogue.columns = {"TABLE_NAME", "TABLE_TYPE"};
        session->catalogue.rows = {{"broken", "VIEW"}, {"Orders", "TABLE"}, {"ORDERS2", "TABLE"}};
        session->columns = {ColumnDescription{"id", 3, 0, 0, 0, 0, std::nullopt, true}};
        TADOConnection connection;
        OpenOver(connection, std::move(session));

        const DatabaseSchema schema = ReadDatabaseSchema(connection);
        EXPECT_EQ(schema.namesIgnoreAsciiCase, ignoresCase);
        EXPECT_EQ(schema.Find("oRDERS") != nullptr, ignoresCase);
        ASSERT_NE(schema.Find("Orders"), nullptr);
        EXPECT_EQ(schema.Find("Orders")->columns.size(), 1u);
        EXPECT_FALSE(schema.Find("broken")->error.empty());

        // Read live, the catalogue asks the engine about a name listed only in another letter case.
        const SchemaCatalogue live(connection);
        EXPECT_TRUE(live.Reaches("Orders"));
        EXPECT_EQ(live.Reaches("orders"), ignoresCase);
        EXPECT_FALSE(live.Reaches("Customers"));
        // And a catalogue over the schema read now finds names as the engine does.
        EXPECT_EQ(SchemaCatalogue(schema).Reaches("orders2"), ignoresCase);
    }
}

TEST(ColumnQuery, OpenWithNeedsASession) {
    TADOConnection connection;
    EXPECT_THROW(connection.OpenWith(nullptr), Error);
    EXPECT_FALSE(connection.Connected());
}

// A lost connection is no unreadable table: it goes through every road and closes the connection, which an
// ordinary failure leaves open.
TEST(LostConnection, PassesEveryRoadAndClosesTheConnection) {
    struct Road {
        const char* name;
        bool inCatalogue; // whether the road fails listing the tables, not describing one
        std::function<void(TADOConnection&)> read;
    };
    const Road roads[] = {
        {"ReadTableFields", false, [](TADOConnection& c) { ReadTableFields(c, "T"); }},
        {"GetTableNames", true,
         [](TADOConnection& c) {
             std::vector<std::string> names;
             GetTableNames(c, names, false);
         }},
        {"ReadDatabaseSchema", false,
         [](TADOConnection& c) {
             if (!ReadDatabaseSchema(c).tables.at(0).error.empty())
                 throw Error("unreadable");
         }},
        {"ReadDatabaseSchema, catalogue", true, [](TADOConnection& c) { ReadDatabaseSchema(c); }},
        {"SchemaCatalogue", true, [](TADOConnection& c) { SchemaCatalogue{c}; }},
        {"SchemaCatalogue::Read", false,
         [](TADOConnection& c) {
             SchemaCatalogue catalogue(c);
             if (catalogue.Read("T").status != TableRead::Status::Read)
                 throw Error("unreadable");
         }},
    };
    const std::string bare = "Select * from T where 1=2";
    for (const Road& road : roads) {
        for (const bool lost : {true, false}) {
            std::vector<std::string> queries;
            auto session = std::make_unique<FakeSession>();
            session->queries = &queries;
            session->catalogue = {{"TABLE_NAME", "TABLE_TYPE"}, {{"T", "TABLE"}}};
            if (lost)
                session->lostOn = road.inCatalogue ? "catalogue" : bare;
            else if (road.inCatalogue)
                session->catalogue.columns = {"TABLE_NAME", "KIND"};
            else
                session->refused = {bare, "Select * from `T` where 1=2"};
            TADOConnection connection;
            OpenOver(connection, std::move(session));
            try {
                road.read(connection);
                ADD_FAILURE() << road.name << ": no error";
            } catch (const ConnectionLost& error) {
                EXPECT_TRUE(lost) << road.name;
                EXPECT_STREQ(error.what(), "server closed the connection unexpectedly") << road.name;
            } catch (const Error&) {
                EXPECT_FALSE(lost) << road.name;
            }
            EXPECT_EQ(connection.Connected(), !lost) << road.name;
            if (lost && !road.inCatalogue) {
                EXPECT_THAT(queries, ElementsAre(bare)) << road.name << ": not asked again quoted";
            }
        }
    }
}

} // namespace
