// The MariaDB/MySQL dialect against the real MariaDB server through the ODBC provider: every MariaDB name
// of the logical-type table, the driver's former wrong results, the database restriction, names that
// differ only in letter case, both roads of reading alike, and the number of statements.

#include "odbc/test_servers_helpers.h"
#include "schema/ado_connection.h"
#include "schema/catalogue_dialect.h"
#include "schema/dialect_registry.h"
#include "schema/odbc_queries.h"
#include "schema/odbc_session.h"
#include "schema/schema_reader.h"
#include "schema/type_model.h"
#include "support/errors.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

namespace korvista {
namespace {

using testservers::Engine;

std::vector<std::string> Names(const Rowset& rows) {
    const auto column = static_cast<std::size_t>(
        std::find(rows.columns.begin(), rows.columns.end(), "TABLE_NAME") - rows.columns.begin());
    std::vector<std::string> names;
    for (const auto& row : rows.rows)
        names.push_back(row.at(column));
    return names;
}

std::vector<std::string> Names(const DatabaseSchema& schema) {
    std::vector<std::string> names;
    for (const TableSchema& table : schema.tables)
        names.push_back(table.name);
    return names;
}

// A fresh database of its own for each test.
class MariaDbDialect : public ::testing::Test {
protected:
    void SetUp() override {
        KORVISTA_REQUIRE_SERVER(Engine::MariaDB);
        database_ = testservers::UniqueName("md");
        connectionString_ = testservers::CreateDatabase(Engine::MariaDB, database_);
    }

    void Execute(const std::vector<std::string>& statements) const {
        testservers::Execute(connectionString_, statements);
    }

    std::vector<FieldDef> Fields(const std::string& table) const {
        TADOConnection connection;
        connection.SetConnectionString(connectionString_);
        connection.Open();
        return ReadTableFields(connection, table);
    }

    std::string database_;
    std::string connectionString_;
};

// One column declared as `ddl`, and what the comparison must see of it.
struct TypeCase {
    const char* logical; // the row of the logical-type table
    const char* ddl;
    TFieldType type;
    std::int32_t size;
    bool required;
};

const std::vector<TypeCase>& TypeCases() {
    static const std::vector<TypeCase> cases = {
        {"tinyint", "tinyint", ftSmallint, 0, false},
        {"tinyint", "tinyint unsigned NOT NULL", ftWord, 0, true},
        {"smallint", "smallint", ftSmallint, 0, false},
        {"smallint", "smallint unsigned", ftWord, 0, false},
        {"integer", "mediumint", ftInteger, 0, false},
        {"integer", "mediumint unsigned", ftInteger, 0, false},
        {"integer", "int NOT NULL", ftInteger, 0, true},
        {"integer", "integer unsigned", ftInteger, 0, false},
        {"integer", "int(5) zerofill", ftInteger, 0, false},
        {"integer", "int AUTO_INCREMENT PRIMARY KEY", ftAutoInc, 0, true},
        {"integer", "int AUTO_INCREMENT UNIQUE", ftAutoInc, 0,
         true}, // not NOT NULL in the DDL: the server makes it so
        {"bigint", "bigint", ftLargeint, 0, false},
        {"bigint", "bigint unsigned", ftLargeint, 0, false},
        {"bigint", "bigint unsigned AUTO_INCREMENT PRIMARY KEY", ftLargeint, 0, true},
        {"numeric", "decimal", ftBCD, 0, false},
        {"numeric", "decimal(9,0)", ftInteger, 0, false},
        {"numeric", "numeric(10,0)", ftBCD, 0, false},
        {"numeric", "decimal(18,2) NOT NULL", ftBCD, 2, true},
        {"numeric", "fixed(5,3)", ftBCD, 3, false},
        {"numeric", "decimal(9,2) unsigned", ftBCD, 2, false},
        {"numeric", "decimal(65,30)", ftBCD, 30, false},
        {"real", "float", ftFloat, 0, false},
        {"double", "double", ftFloat, 0, false},
        {"double", "double precision", ftFloat, 0, false},
        {"double", "real", ftFloat, 0, false},
        {"double", "float(30)", ftFloat, 0, false},
        {"boolean", "boolean", ftSmallint, 0, false}, // TINYINT(1): engine-inherent
        {"boolean", "bool NOT NULL", ftSmallint, 0, true},
        {"bit", "bit", ftBoolean, 0, false},
        {"bit", "bit(1) NOT NULL", ftBoolean, 0, true},
        {"bit", "bit(8)", ftBytes, 8, false},
        {"bit", "bit(64)", ftBytes, 64, false},
        {"char", "char(10)", ftString, 10, false},
        {"char", "char", ftString, 1, false},
        {"char", "nchar(5)", ftString, 5, false},
        {"char", "national char(3)", ftString, 3, false},
        {"char", "character(4) NOT NULL", ftString, 4, true},
        {"varchar", "varchar(50)", ftString, 50, false},
        {"varchar", "varchar(4000)", ftString, 4000, false},
        {"varchar", "nvarchar(20)", ftString, 20, false},
        {"varchar", "national varchar(7)", ftString, 7, false},
        {"varchar", "character varying(9) NOT NULL", ftString, 9, true},
        {"text", "tinytext", ftMemo, 0, false},
        {"text", "text", ftMemo, 0, false},
        {"text", "mediumtext", ftMemo, 0, false},
        {"text", "longtext NOT NULL", ftMemo, 0, true},
        {"text", "long", ftMemo, 0, false},
        {"text", "long varchar", ftMemo, 0, false},
        {"json", "json", ftMemo, 0, false},
        {"binary", "binary(4)", ftBytes, 4, false},
        {"binary", "binary", ftBytes, 1, false},
        {"varbinary", "varbinary(9)", ftVarBytes, 9, false},
        {"blob", "tinyblob", ftBlob, 0, false},
        {"blob", "blob", ftBlob, 0, false},
        {"blob", "mediumblob", ftBlob, 0, false},
        {"blob", "longblob NOT NULL", ftBlob, 0, true},
        {"blob", "long varbinary", ftBlob, 0, false},
        {"blob", "geometry", ftBlob, 0, false},
        {"blob", "point", ftBlob, 0, false},
        {"blob", "linestring", ftBlob, 0, false},
        {"blob", "polygon", ftBlob, 0, false},
        {"blob", "multipoint", ftBlob, 0, false},
        {"blob", "multilinestring", ftBlob, 0, false},
        {"blob", "multipolygon", ftBlob, 0, false},
        {"blob", "geometrycollection", ftBlob, 0, false},
        {"date", "date NOT NULL", ftDate, 0, true},
        {"time", "time", ftTime, 0, false},
        {"time", "time(3)", ftTime, 0, false},
        {"timestamp", "datetime", ftDateTime, 0, false},
        {"timestamp", "datetime(6) NOT NULL", ftDateTime, 0, true},
        {"timestamp", "timestamp", ftDateTime, 0, false}, // explicit_defaults_for_timestamp: NULL allowed
        {"timestamp", "timestamp NULL", ftDateTime, 0, false},
        {"timestamp", "timestamp NOT NULL DEFAULT CURRENT_TIMESTAMP", ftDateTime, 0, true},
        {"timestamp", "timestamp(3) NOT NULL DEFAULT '2000-01-01 00:00:00'", ftDateTime, 0, true},
        {"year", "year", ftSmallint, 0, false},
        {"uuid", "uuid", ftGuid, 38, false},
        {"uuid", "uuid NOT NULL", ftGuid, 38, true},
        {"enum", "enum('a','bcd','éé')", ftString, 3, false},
        {"enum", "enum('it''s','日本語') NOT NULL", ftString, 4, true},
        {"enum", "set('x','yy','zzz')", ftString, 3, false},
        {"inet", "inet6", ftString, 43, false},
        {"inet", "inet4", ftString, 43, false},
    };
    return cases;
}

TEST_F(MariaDbDialect, EveryLogicalTypeGetsItsCategorySizeAndNullability) {
    std::vector<std::string> ddl;
    for (std::size_t i = 0; i < TypeCases().size(); ++i)
        ddl.push_back("CREATE TABLE t" + std::to_string(i) + " (c " + TypeCases()[i].ddl + ")");
    Execute(ddl);

    TADOConnection connection;
    connection.SetConnectionString(connectionString_);
    connection.Open();
    for (std::size_t i = 0; i < TypeCases().size(); ++i) {
        const TypeCase& c = TypeCases()[i];
        EXPECT_EQ(ReadTableFields(connection, "t" + std::to_string(i)),
                  (std::vector<FieldDef>{{"c", c.type, c.size, c.required}}))
            << c.ddl;
    }
}

TEST(MariaDbDialectCases, CoverEveryRowOfTheLogicalTypeTableThatMariaDbHas) {
    std::set<std::string> covered;
    for (const TypeCase& c : TypeCases())
        covered.insert(c.logical);
    for (const TypeNames& type : EngineForDbmsName("MariaDB")->types.names)
        EXPECT_TRUE(covered.count(type.logical)) << "no case for " << type.logical;
}

TEST_F(MariaDbDialect, TimestampNotNullAndNullDifferInNullabilityOnly) {
    Execute({"CREATE TABLE with_null (ts timestamp NULL, implicit timestamp)",
             "CREATE TABLE not_null (ts timestamp NOT NULL DEFAULT CURRENT_TIMESTAMP, implicit timestamp)",
             // Without explicit defaults a bare TIMESTAMP becomes NOT NULL: the catalogue says what the
             // server made.
             "SET SESSION explicit_defaults_for_timestamp = 0",
             "CREATE TABLE legacy (implicit timestamp, second timestamp, stated timestamp NULL)"});
    EXPECT_EQ(Fields("with_null"),
              (std::vector<FieldDef>{{"ts", ftDateTime, 0, false}, {"implicit", ftDateTime, 0, false}}));
    EXPECT_EQ(Fields("not_null"),
              (std::vector<FieldDef>{{"ts", ftDateTime, 0, true}, {"implicit", ftDateTime, 0, false}}));
    EXPECT_EQ(Fields("legacy"), (std::vector<FieldDef>{{"implicit", ftDateTime, 0, true},
                                                       {"second", ftDateTime, 0, true},
                                                       {"stated", ftDateTime, 0, false}}));
}

TEST_F(MariaDbDialect, NonKeyAutoIncrementIsNotNullAndAutoInc) {
    Execute({"CREATE TABLE t (n integer, id integer AUTO_INCREMENT, KEY (id))"});
    EXPECT_EQ(Fields("t"), (std::vector<FieldDef>{{"n", ftInteger, 0, false}, {"id", ftAutoInc, 0, true}}));
}

// The driver's catalogue matches the database name with LIKE, so `a_b` also reached `aXb`; and
// information_schema compares names without regard to case, so `A_B` reached `a_b`.
TEST_F(MariaDbDialect, ListsOnlyTheTablesOfItsOwnDatabase) {
    std::string likeTwin = database_;
    std::replace(likeTwin.begin(), likeTwin.end(), '_', 'X');
    std::string caseTwin = database_;
    std::transform(caseTwin.begin(), caseTwin.end(), caseTwin.begin(),
                   [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; });
    ASSERT_NE(likeTwin, database_);
    Execute({"CREATE TABLE mine (id integer)"});
    testservers::Execute(testservers::CreateDatabase(Engine::MariaDB, likeTwin),
                         {"CREATE TABLE like_twin (id integer)", "CREATE TABLE mine (other integer)"});
    testservers::Execute(testservers::CreateDatabase(Engine::MariaDB, caseTwin),
                         {"CREATE TABLE case_twin (id integer)", "CREATE TABLE mine (third integer)"});

    OdbcSession session(connectionString_);
    ASSERT_TRUE(session.HasDialect());
    EXPECT_EQ(Names(session.TableCatalogue(false)), std::vector<std::string>{"mine"});
    const std::optional<DatabaseSchema> schema = session.ReadSchema();
    ASSERT_TRUE(schema);
    EXPECT_EQ(Names(*schema), std::vector<std::string>{"mine"});
    EXPECT_EQ(DescribeResult(schema->tables.at(0).columns),
              (std::vector<FieldDef>{{"id", ftInteger, 0, false}}));
    EXPECT_EQ(DescribeResult(session.DescribeTable("mine")),
              (std::vector<FieldDef>{{"id", ftInteger, 0, false}}));
    EXPECT_THROW(session.DescribeTable("like_twin"), Error);
    EXPECT_THROW(session.DescribeTable("case_twin"), Error);
    testservers::Execute(connectionString_, {"DROP DATABASE " + likeTwin, "DROP DATABASE " + caseTwin});
}

// lower_case_table_names is 0 on Linux: Orders and orders are two tables, each read as itself, listed in the
// order the driver gave (letter case and accents ignored, ties by bytes); a sequence is no table.
TEST_F(MariaDbDialect, NamesThatDifferInLetterCaseAreTwoTables) {
    Execute({"CREATE TABLE orders (lower_one integer)", "CREATE TABLE Orders (upper_one varchar(3))",
             "CREATE TABLE Zeta (z integer)", "CREATE TABLE `Ábc` (z integer)",
             "CREATE TABLE abd (z integer)", "CREATE TABLE a_1 (z integer)",
             "CREATE TABLE versioned (z integer) WITH SYSTEM VERSIONING",
             "CREATE VIEW b_view AS SELECT z FROM abd", "CREATE SEQUENCE counter"});
    OdbcSession session(connectionString_);
    const std::vector<std::string> order = {"Ábc",    "abd",    "a_1",       "b_view",
                                            "Orders", "orders", "versioned", "Zeta"};
    const Rowset catalogue = session.TableCatalogue(false);
    EXPECT_EQ(Names(catalogue), order);
    for (const auto& row : catalogue.rows)
        EXPECT_EQ(row.at(1), row.at(0) == "b_view" ? "VIEW" : "TABLE") << row.at(0);

    const std::optional<DatabaseSchema> schema = session.ReadSchema();
    ASSERT_TRUE(schema);
    EXPECT_FALSE(schema->namesIgnoreAsciiCase);
    EXPECT_EQ(Names(*schema), order);
    ASSERT_TRUE(schema->Find("orders") && schema->Find("Orders"));
    EXPECT_EQ(DescribeResult(schema->Find("orders")->columns),
              (std::vector<FieldDef>{{"lower_one", ftInteger, 0, false}}));
    EXPECT_EQ(DescribeResult(schema->Find("Orders")->columns),
              (std::vector<FieldDef>{{"upper_one", ftString, 3, false}}));
    EXPECT_EQ(schema->Find("ORDERS"), nullptr);

    EXPECT_EQ(Fields("orders"), (std::vector<FieldDef>{{"lower_one", ftInteger, 0, false}}));
    EXPECT_EQ(Fields("Orders"), (std::vector<FieldDef>{{"upper_one", ftString, 3, false}}));
    EXPECT_THROW(Fields("ORDERS"), Error);
}

TEST_F(MariaDbDialect, MissingTableIsAnErrorAndABrokenViewOnlyForItself) {
    Execute({"CREATE TABLE gone (id integer)", "CREATE VIEW broken AS SELECT id FROM gone", "DROP TABLE gone",
             "CREATE TABLE kept (id integer)"});
    OdbcSession session(connectionString_);
    try {
        session.DescribeTable("no_such_table");
        FAIL() << "no error";
    } catch (const Error& e) {
        EXPECT_THAT(e.what(), ::testing::HasSubstr("no_such_table"));
    }
    EXPECT_THROW(session.DescribeTable("broken"), Error);

    const std::optional<DatabaseSchema> schema = session.ReadSchema();
    ASSERT_TRUE(schema);
    EXPECT_EQ(Names(*schema), (std::vector<std::string>{"broken", "kept"}));
    EXPECT_THAT(schema->Find("broken")->error, ::testing::HasSubstr("broken"));
    EXPECT_EQ(schema->Find("kept")->error, "");
    EXPECT_EQ(DescribeResult(schema->Find("kept")->columns),
              (std::vector<FieldDef>{{"id", ftInteger, 0, false}}));
}

// Views of every shape the tests know. The server's own result description (the driver's
// SQL_DESC_AUTO_UNIQUE_VALUE) says which view columns pass an AUTO_INCREMENT column through; the
// catalogue's rows do not, the dialect reads it from the definitions.
const std::vector<std::string>& ViewSchema() {
    static const std::vector<std::string> statements = {
        "CREATE TABLE k (id integer AUTO_INCREMENT PRIMARY KEY, v varchar(3) NOT NULL, n integer)",
        "CREATE TABLE a (n integer, id bigint AUTO_INCREMENT, KEY (id))",
        "CREATE TABLE `we``ird` (`i``d` integer AUTO_INCREMENT PRIMARY KEY, `from` integer)",
        "CREATE TABLE inv (shown integer, hidden integer INVISIBLE)",
        "CREATE VIEW plain AS SELECT * FROM k",
        "CREATE VIEW aliased AS SELECT x.id AS ident, x.v FROM k x",
        "CREATE VIEW nested AS SELECT ident, v FROM aliased",
        "CREATE VIEW nested_alias AS SELECT q.ident AS again FROM nested q",
        "CREATE VIEW joined AS SELECT p.id AS pid, q.id AS qid, q.n FROM k p JOIN a q ON p.id = q.n",
        "CREATE VIEW left_joined AS SELECT a.n, k.id FROM a LEFT JOIN k ON a.n = k.id",
        "CREATE VIEW unioned AS SELECT id FROM k UNION SELECT id FROM a",
        "CREATE VIEW derived AS SELECT d.id, d.v FROM (SELECT id, v FROM k WHERE n > 0) d",
        "CREATE VIEW computed AS SELECT id + 0 AS e, -id AS m, max(id) AS mx, concat(v, 'x') AS c FROM k "
        "GROUP BY id, v",
        "CREATE VIEW tricky AS SELECT 'x AS `id` from y' AS s, (SELECT max(id) FROM a) AS sub, id, "
        "`i``d`, `from` FROM k, `we``ird`",
        "CREATE VIEW distinct_where AS SELECT DISTINCT id FROM k WHERE v = 'from' ORDER BY id",
        "CREATE VIEW over_invisible AS SELECT shown, hidden FROM inv",
        "CREATE VIEW ordered AS SELECT id FROM k ORDER BY id",
        // Views the server materialises lose AUTO_INCREMENT.
        "CREATE VIEW grouped AS SELECT id FROM k GROUP BY id",
        "CREATE VIEW limited AS SELECT id FROM k LIMIT 5",
        "CREATE VIEW having_view AS SELECT id FROM k HAVING id > 0",
        "CREATE VIEW counted AS SELECT id, count(*) AS c FROM k",
        "CREATE VIEW windowed AS SELECT id, row_number() OVER (ORDER BY id) AS r FROM k",
        "CREATE VIEW derived_grouped AS SELECT d.id FROM (SELECT id FROM k GROUP BY id) d",
        "CREATE VIEW over_distinct AS SELECT id FROM distinct_where",
        "CREATE ALGORITHM=TEMPTABLE VIEW temp_view AS SELECT id FROM k",
    };
    return statements;
}

TEST_F(MariaDbDialect, ViewColumnsAreAutoIncrementWhereTheServersResultDescriptionSaysSo) {
    Execute(ViewSchema());
    OdbcSession session(connectionString_);
    const std::optional<DatabaseSchema> schema = session.ReadSchema();
    ASSERT_TRUE(schema);
    std::size_t views = 0;
    std::size_t autoIncrement = 0;
    for (const TableSchema& table : schema->tables) {
        if (table.type != "VIEW")
            continue;
        ++views;
        const std::vector<OdbcColumn> reported =
            session.ReportedColumns("Select * from `" + table.name + "` where 1=2");
        ASSERT_EQ(table.columns.size(), reported.size()) << table.name;
        for (std::size_t i = 0; i < reported.size(); ++i) {
            EXPECT_EQ(table.columns[i].name, reported[i].name) << table.name;
            EXPECT_EQ(table.columns[i].isAutoIncrement.value_or(false), reported[i].autoUnique)
                << table.name << "." << reported[i].name;
            autoIncrement += reported[i].autoUnique;
        }
    }
    EXPECT_EQ(views, 21u);
    EXPECT_GE(autoIncrement, 8u); // the comparison above is not about nothing
}

// The window's table click and the command-line tool's whole-database read give the same fields.
TEST_F(MariaDbDialect, DescribeTableEqualsReadSchemaForEveryTable) {
    Execute(testservers::ReferenceSchema(testservers::Dialect::MariaDB));
    Execute(ViewSchema());
    std::vector<std::string> types;
    for (std::size_t i = 0; i < TypeCases().size(); ++i)
        types.push_back("c" + std::to_string(i) + " " + TypeCases()[i].ddl);
    std::string all = "CREATE TABLE all_types (";
    for (std::size_t i = 0; i < types.size(); ++i) {
        std::string column = types[i];
        // One AUTO_INCREMENT key per table: the others stay plain integers here.
        for (const char* keyword : {" AUTO_INCREMENT PRIMARY KEY", " AUTO_INCREMENT UNIQUE"})
            if (const std::size_t at = column.find(keyword); at != std::string::npos)
                column.erase(at);
        all += (i ? ", " : "") + column;
    }
    Execute({all + ")", "CREATE VIEW all_types_view AS SELECT * FROM all_types"});

    OdbcSession session(connectionString_);
    const std::optional<DatabaseSchema> schema = session.ReadSchema();
    ASSERT_TRUE(schema);
    EXPECT_EQ(Names(*schema), Names(session.TableCatalogue(false)));
    for (const TableSchema& table : schema->tables) {
        EXPECT_EQ(table.error, "") << table.name;
        EXPECT_EQ(DescribeResult(session.DescribeTable(table.name)), DescribeResult(table.columns))
            << table.name;
    }
    EXPECT_EQ(DescribeResult(schema->Find("inv")->columns),
              (std::vector<FieldDef>{{"shown", ftInteger, 0, false}}))
        << "an INVISIBLE column is left out, as SELECT * leaves it out";
}

// The dialect on a connection of the test's own, its statements counted.
class CountedDialect {
public:
    explicit CountedDialect(const std::string& connectionString)
        : env_(OdbcEnvironment::Allocate(SQL_HANDLE_ENV, SQL_NULL_HANDLE)),
          dbc_(Connect(env_, connectionString)),
          queries_([this] { return OdbcStatement::Allocate(SQL_HANDLE_DBC, dbc_->Get()); }),
          dialect_(DialectForDbmsName("MariaDB")) {
        bounded_ = dialect_->Prepare(counter_, 30);
    }

    EngineDialect& Dialect() { return *dialect_; }
    CatalogueQueries& Queries() { return counter_; }
    bool Bounded() const { return bounded_; }
    int Statements() const { return counter_.count; }

private:
    static std::unique_ptr<OdbcConnection> Connect(OdbcEnvironment& env, std::string text) {
        env.Check(
            SQLSetEnvAttr(env.Get(), SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0),
            "SQLSetEnvAttr");
        auto dbc = std::make_unique<OdbcConnection>(env);
        dbc->Check(SQLDriverConnect(dbc->Get(), nullptr, reinterpret_cast<SQLCHAR*>(text.data()), SQL_NTS,
                                    nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT),
                   "SQLDriverConnect");
        dbc->MarkConnected();
        return dbc;
    }

    struct Counter final : CatalogueQueries {
        explicit Counter(CatalogueQueries& inner) : inner(inner) {}
        std::vector<QueryRow> Run(const std::string& sql,
                                  const std::vector<std::string>& parameters) override {
            ++count;
            return inner.Run(sql, parameters);
        }
        std::vector<ColumnOrigin> Origins(const std::string& sql) override {
            ++count;
            return inner.Origins(sql);
        }
        CatalogueQueries& inner;
        int count = 0;
    };

    OdbcEnvironment env_;
    std::unique_ptr<OdbcConnection> dbc_;
    OdbcQueries queries_;
    Counter counter_{queries_};
    std::unique_ptr<EngineDialect> dialect_;
    bool bounded_ = false;
};

TEST_F(MariaDbDialect, OneStatementPerTableAndAFixedNumberPerDatabase) {
    Execute(ViewSchema());
    CountedDialect counted(connectionString_);
    const auto statements = [&](auto read) {
        const int before = counted.Statements();
        read();
        return counted.Statements() - before;
    };
    for (const char* table : {"k", "plain", "nested_alias", "no_such_table"})
        EXPECT_EQ(statements([&] {
                      try {
                          counted.Dialect().DescribeTable(counted.Queries(), table);
                      } catch (const Error&) {
                      }
                  }),
                  1)
            << table;

    const int few = statements([&] { counted.Dialect().ReadSchema(counted.Queries()); });
    std::vector<std::string> more;
    for (int i = 0; i < 40; ++i)
        more.push_back("CREATE TABLE more" + std::to_string(i) +
                       " (id integer AUTO_INCREMENT PRIMARY KEY, n integer)");
    more.push_back("CREATE VIEW more_view AS SELECT * FROM more1");
    Execute(more);
    const int many = statements([&] { counted.Dialect().ReadSchema(counted.Queries()); });
    EXPECT_EQ(few, many);
    EXPECT_LE(many, 3);
}

// The query timeout is the server's own session setting, made once: no statement attribute is needed.
TEST_F(MariaDbDialect, PrepareBoundsEveryStatementOfTheSession) {
    CountedDialect counted(connectionString_);
    EXPECT_TRUE(counted.Bounded());
    const std::vector<QueryRow> rows = counted.Queries().Run("SELECT @@max_statement_time", {});
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(std::stod(rows[0].at(0).value_or("0")), 30.0);
}

} // namespace
} // namespace korvista
