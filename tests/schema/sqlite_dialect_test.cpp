// The SQLite dialect over the built-in provider: the schema table and PRAGMA table_xinfo, per table and for
// the whole database. The same dialect over the SQLite ODBC driver is tested in tests/odbc.

#include "common/column_expectations.h"
#include "common/sqlite_test_files.h"
#include "schema/catalogue_dialect.h"
#include "schema/provider.h"
#include "schema/schema_reader.h"
#include "schema/sqlite_queries.h"
#include "support/errors.h"

#include <QTemporaryDir>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace korvista {

// Readable failures: "id autoinc:0 required".
void PrintTo(const FieldDef& field, std::ostream* out) {
    *out << field.name << " " << DataTypeName(field.dataType) << ":" << field.size
         << (field.required ? " required" : "");
}

namespace {

using korvista::testing::ExecuteSqlite;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

// Tables of every kind, views that rename, compute, group, nest and join, and a view over a dropped table.
constexpr const char* kSchema = R"(
    CREATE TABLE Orders(id INTEGER PRIMARY KEY, customer VARCHAR(40) NOT NULL, total DECIMAL(10,2), note TEXT);
    CREATE TABLE keyed(code TEXT PRIMARY KEY, n INT NOT NULL) WITHOUT ROWID;
    CREATE TABLE desc_key(id INTEGER PRIMARY KEY DESC, v TEXT);
    CREATE TABLE composite(a INTEGER, b INTEGER NOT NULL, PRIMARY KEY(a, b));
    CREATE TABLE gen(a INT NOT NULL, b INT GENERATED ALWAYS AS (a * 2) VIRTUAL NOT NULL,
                     c TEXT AS (a || 'x') STORED);
    CREATE VIRTUAL TABLE docs USING fts5(title, body);
    CREATE VIEW swapped AS SELECT customer AS note, note AS customer, id AS k, total * 2 AS doubled,
                                  upper(customer) AS shout FROM Orders;
    CREATE VIEW summary AS SELECT customer, count(*) AS n, max(total) AS top FROM Orders GROUP BY customer;
    CREATE VIEW nested AS SELECT k, note FROM swapped;
    CREATE VIEW joined AS SELECT o.id, g.b FROM Orders AS o LEFT JOIN gen AS g ON g.a = o.id;
    CREATE TABLE gone(x INT);
    CREATE VIEW broken AS SELECT x FROM gone;
    DROP TABLE gone;
    CREATE TABLE "Äpfel"(n INT);
    INSERT INTO Orders(customer) VALUES ('a');
    ANALYZE;
)";

class SqliteDialectTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        path_ = dir_.filePath("dialect.db").toStdString();
        ExecuteSqlite(path_, kSchema);
        session_ = OpenProviderSession("Provider=SQLite;Data Source=" + path_);
    }

    std::vector<FieldDef> Fields(const std::string& table) {
        return DescribeResult(session_->DescribeTable(table));
    }

    QTemporaryDir dir_;
    std::string path_;
    std::unique_ptr<ProviderSession> session_;
};

TEST_F(SqliteDialectTest, WholeDatabaseListsWhatTheCatalogueLists) {
    const std::optional<DatabaseSchema> schema = session_->ReadSchema();
    ASSERT_TRUE(schema);
    EXPECT_TRUE(schema->namesIgnoreAsciiCase);
    std::vector<std::string> listed;
    for (const TableSchema& table : schema->tables)
        listed.push_back(table.name + ":" + table.type);
    std::vector<std::string> catalogue;
    for (const auto& row : session_->TableCatalogue(false).rows)
        catalogue.push_back(row[2] + ":" + row[3]);
    EXPECT_EQ(listed, catalogue);
    // The schema table's order, the full-text index's own tables included, sqlite_stat1 left out.
    EXPECT_THAT(listed,
                ElementsAre("Orders:TABLE", "keyed:TABLE", "desc_key:TABLE", "composite:TABLE", "gen:TABLE",
                            "docs:TABLE", "docs_data:TABLE", "docs_idx:TABLE", "docs_content:TABLE",
                            "docs_docsize:TABLE", "docs_config:TABLE", "swapped:VIEW", "summary:VIEW",
                            "nested:VIEW", "joined:VIEW", "broken:VIEW", "Äpfel:TABLE"));
}

// The window's click and the command-line tool's whole read give the same columns, and so does the
// plain column query of the provider.
TEST_F(SqliteDialectTest, PerTableEqualsWholeDatabaseEqualsColumnQuery) {
    const std::optional<DatabaseSchema> schema = session_->ReadSchema();
    ASSERT_TRUE(schema);
    for (const TableSchema& table : schema->tables) {
        if (table.name == "broken")
            continue;
        EXPECT_EQ(table.error, "") << table.name;
        testing::ExpectSameColumns(session_->DescribeTable(table.name), table.columns, table.name);
        EXPECT_EQ(DescribeResult(session_->DescribeQuery("SELECT * FROM \"" + table.name + "\"")),
                  DescribeResult(table.columns))
            << table.name;
    }
}

TEST_F(SqliteDialectTest, ColumnsAsDeclaredAndViewColumnsAsTheirOrigin) {
    struct Case {
        const char* object;
        std::vector<FieldDef> fields;
    };
    const std::vector<Case> cases = {
        {"Orders",
         {{"id", ftAutoInc, 0, true},
          {"customer", ftString, 40, true},
          {"total", ftBCD, 2, false},
          {"note", ftMemo, 0, false}}},
        // The key of a table without rowid is NOT NULL but numbers nothing.
        {"keyed", {{"code", ftMemo, 0, true}, {"n", ftInteger, 0, true}}},
        // Neither is the rowid: "INTEGER PRIMARY KEY DESC" by SQLite's own exception, and a key of two.
        {"desc_key", {{"id", ftInteger, 0, false}, {"v", ftMemo, 0, false}}},
        {"composite", {{"a", ftInteger, 0, false}, {"b", ftInteger, 0, true}}},
        // Generated columns are part of SELECT *; a virtual table's hidden columns are not.
        {"gen", {{"a", ftInteger, 0, true}, {"b", ftInteger, 0, true}, {"c", ftMemo, 0, false}}},
        {"docs", {{"title", ftBlob, 0, false}, {"body", ftBlob, 0, false}}},
        // Renamed columns follow the column they read, not a namesake of their alias.
        {"swapped",
         {{"note", ftString, 40, true},
          {"customer", ftMemo, 0, false},
          {"k", ftAutoInc, 0, true},
          {"doubled", ftBlob, 0, false},
          {"shout", ftBlob, 0, false}}},
        {"summary", {{"customer", ftString, 40, true}, {"n", ftBlob, 0, false}, {"top", ftBlob, 0, false}}},
        {"nested", {{"k", ftAutoInc, 0, true}, {"note", ftString, 40, true}}},
        {"joined", {{"id", ftAutoInc, 0, true}, {"b", ftInteger, 0, true}}},
    };
    const std::optional<DatabaseSchema> schema = session_->ReadSchema();
    ASSERT_TRUE(schema);
    for (const Case& c : cases) {
        EXPECT_EQ(Fields(c.object), c.fields) << c.object;
        const TableSchema* table = schema->Find(c.object);
        ASSERT_NE(table, nullptr) << c.object;
        EXPECT_EQ(DescribeResult(table->columns), c.fields) << c.object;
    }
}

TEST_F(SqliteDialectTest, BrokenViewKeepsItsErrorAndTheRestIsRead) {
    const std::optional<DatabaseSchema> schema = session_->ReadSchema();
    ASSERT_TRUE(schema);
    const TableSchema* broken = schema->Find("broken");
    ASSERT_NE(broken, nullptr);
    EXPECT_THAT(broken->error, HasSubstr("no such table: main.gone"));
    EXPECT_TRUE(broken->columns.empty());
    for (const TableSchema& table : schema->tables) {
        if (&table != broken) {
            EXPECT_EQ(table.error, "") << table.name;
        }
    }
    EXPECT_THROW(session_->DescribeTable("broken"), Error);

    TADOConnection connection;
    connection.SetConnectionString("Provider=SQLite;Data Source=" + path_);
    SchemaCatalogue catalogue(connection);
    EXPECT_THAT(catalogue.TableNames(), ::testing::Contains("broken"));
    EXPECT_THROW(catalogue.Fields("broken"), Error);
    EXPECT_EQ(catalogue.Fields("nested").size(), 2u);
}

// SQLite finds names without regard to ASCII letter case only: Ä and ä are different letters to it.
TEST_F(SqliteDialectTest, NamesReachTheirTableWithoutRegardToAsciiCase) {
    EXPECT_EQ(Fields("ORDERS"), Fields("Orders"));
    EXPECT_EQ(Fields("NeStEd").size(), 2u);
    EXPECT_EQ(Fields("ÄPFEL").size(), 1u);
    EXPECT_THROW(session_->DescribeQuery("SELECT * FROM \"äpfel\""), Error);
    try {
        session_->DescribeTable("äpfel");
        ADD_FAILURE() << "a name of another letter was read";
    } catch (const Error& error) {
        EXPECT_THAT(error.what(), HasSubstr("no such table: main.äpfel"));
    }
    const std::optional<DatabaseSchema> schema = session_->ReadSchema();
    ASSERT_TRUE(schema);
    EXPECT_EQ(schema->Find("orders"), schema->Find("Orders"));
    EXPECT_NE(schema->Find("ÄPFEL"), nullptr);
    EXPECT_EQ(schema->Find("äpfel"), nullptr);
}

TEST_F(SqliteDialectTest, SystemTablesAreReadOnlyWhenNamed) {
    std::vector<std::string> names;
    for (const auto& row : session_->TableCatalogue(true).rows)
        if (row[3] == "SYSTEM TABLE")
            names.push_back(row[2]);
    EXPECT_THAT(names, ElementsAre("sqlite_stat1"));
    EXPECT_EQ(Fields("sqlite_stat1").size(), 3u);
    EXPECT_EQ(session_->ReadSchema()->Find("sqlite_stat1"), nullptr);
}

// A virtual table of a module this SQLite lacks stops the one statement over every table; the tables
// are then read one by one and only that one keeps an error.
TEST_F(SqliteDialectTest, TableOfAnUnknownModuleKeepsItsErrorAndTheRestIsRead) {
    ExecuteSqlite(path_, "PRAGMA writable_schema = ON;"
                         "INSERT INTO sqlite_schema VALUES ('table', 'alien', 'alien', 0,"
                         " 'CREATE VIRTUAL TABLE alien USING no_such_module(a)');");
    session_ = OpenProviderSession("Provider=SQLite;Data Source=" + path_);
    const std::optional<DatabaseSchema> schema = session_->ReadSchema();
    ASSERT_TRUE(schema);
    const TableSchema* alien = schema->Find("alien");
    ASSERT_NE(alien, nullptr);
    EXPECT_THAT(alien->error, HasSubstr("no_such_module"));
    EXPECT_THAT(schema->Find("broken")->error, HasSubstr("no such table"));
    EXPECT_EQ(schema->tables.size(), 18u);
    for (const TableSchema& table : schema->tables) {
        if (table.name == "alien" || table.name == "broken")
            continue;
        EXPECT_EQ(table.error, "") << table.name;
        testing::ExpectSameColumns(session_->DescribeTable(table.name), table.columns, table.name);
    }
}

// The dialect over the built-in provider's queries, counted.
class CountingQueries final : public CatalogueQueries {
public:
    explicit CountingQueries(CatalogueQueries& inner) : inner_(inner) {}
    std::vector<QueryRow> Run(const std::string& sql, const std::vector<std::string>& parameters) override {
        ++runs;
        return inner_.Run(sql, parameters);
    }
    std::vector<ColumnOrigin> Origins(const std::string& sql) override {
        ++origins;
        return inner_.Origins(sql);
    }
    int runs = 0;
    int origins = 0;

private:
    CatalogueQueries& inner_;
};

struct Counts {
    int runs;
    int origins;
    bool operator==(const Counts&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Counts& counts) {
    return out << counts.runs << " statements, " << counts.origins << " origin reads";
}

class SqliteDialectStatements : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir_.isValid()); }

    // A database of [tables] tables of three columns and [views] views over the first.
    std::string Build(int tables, int views) {
        std::string sql = "BEGIN;";
        for (int t = 0; t < tables; ++t)
            sql += "CREATE TABLE t" + std::to_string(t) + "(id INTEGER PRIMARY KEY, a VARCHAR(9), b REAL);";
        for (int v = 0; v < views; ++v)
            sql += "CREATE VIEW v" + std::to_string(v) + " AS SELECT id, a || b AS ab FROM t0;";
        const std::string path = dir_.filePath(QString::number(++files_) + ".db").toStdString();
        ExecuteSqlite(path, sql + "COMMIT;");
        return path;
    }

    template <typename Action> Counts Count(const std::string& path, Action action) {
        SqliteDatabase db = OpenSqliteReadOnly(path);
        SqliteQueries queries(db.get());
        CountingQueries counting(queries);
        auto dialect = DialectForDbmsName("SQLite");
        action(*dialect, counting);
        return {counting.runs, counting.origins};
    }

    QTemporaryDir dir_;
    int files_ = 0;
};

TEST_F(SqliteDialectStatements, WholeDatabaseReadDoesNotGrowWithTheTables) {
    const auto read = [](EngineDialect& dialect, CatalogueQueries& queries) {
        EXPECT_EQ(dialect.ReadSchema(queries).tables.size() > 0, true);
    };
    const Counts few = Count(Build(3, 0), read);
    EXPECT_EQ(few, Count(Build(300, 0), read));
    EXPECT_EQ(few, (Counts{2, 0}));
    // A view costs the compilation of its SELECT for its origins; its columns come with the others'.
    EXPECT_EQ(Count(Build(300, 4), read), (Counts{3, 4}));
}

// One statement per table or view: the compiled column query says which of the two the name reaches.
TEST_F(SqliteDialectStatements, OneTableIsOneStatement) {
    const std::string path = Build(20, 1);
    const auto describe = [](const char* name, std::size_t columns) {
        return [=](EngineDialect& dialect, CatalogueQueries& queries) {
            EXPECT_EQ(dialect.DescribeTable(queries, name).size(), columns) << name;
        };
    };
    EXPECT_EQ(Count(path, describe("T7", 3)), (Counts{1, 1}));
    EXPECT_EQ(Count(path, describe("v0", 2)), (Counts{1, 1}));
    EXPECT_EQ(Count(path, [](EngineDialect& d,
                             CatalogueQueries& q) { EXPECT_THROW(d.DescribeTable(q, "nothing"), Error); }),
              (Counts{0, 1}));
}

class SqliteQueriesTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        path_ = dir_.filePath("q.db").toStdString();
        ExecuteSqlite(path_, "CREATE TABLE t(a INTEGER, b TEXT); INSERT INTO t VALUES (1, NULL), (2, 'x');"
                             "CREATE VIEW v AS SELECT b AS a, a + 1 AS c FROM t;");
        db_ = OpenSqliteReadOnly(path_);
    }

    QTemporaryDir dir_;
    std::string path_;
    SqliteDatabase db_;
};

TEST_F(SqliteQueriesTest, RunBindsTextAndGivesNullAsNothing) {
    SqliteQueries queries(db_.get());
    const std::vector<QueryRow> rows =
        queries.Run("SELECT a, b, ? FROM t WHERE a >= CAST(? AS INTEGER) ORDER BY a", {"it's", "1"});
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0], (QueryRow{"1", std::nullopt, "it's"}));
    EXPECT_EQ(rows[1], (QueryRow{"2", "x", "it's"}));
    EXPECT_THROW(queries.Run("SELECT ?, ?", {"only one"}), Error);
    EXPECT_THROW(queries.Run("SELECT 1", {"one too many"}), Error);
}

TEST_F(SqliteQueriesTest, RunRefusesWhatWouldChangeTheFile) {
    SqliteQueries queries(db_.get());
    const QByteArray before = korvista::testing::FileSha256(path_);
    for (const char* sql :
         {"DELETE FROM t", "SELECT 1; DROP TABLE t", "PRAGMA user_version = 7", "  -- nothing"})
        EXPECT_THROW(queries.Run(sql, {}), Error) << sql;
    EXPECT_EQ(queries.Run("SELECT count(*) FROM t; -- done", {}), (std::vector<QueryRow>{{"2"}}));
    db_.reset();
    EXPECT_EQ(korvista::testing::FileSha256(path_), before);
}

TEST_F(SqliteQueriesTest, OriginsNameTheColumnReadNotTheAlias) {
    SqliteQueries queries(db_.get());
    const std::vector<ColumnOrigin> origins = queries.Origins("SELECT * FROM v");
    ASSERT_EQ(origins.size(), 2u);
    EXPECT_EQ(origins[0].table, "t");
    EXPECT_EQ(origins[0].column, "b");
    EXPECT_EQ(origins[1].table, "");
    EXPECT_EQ(origins[1].column, "");
    EXPECT_THROW(queries.Origins("SELECT * FROM missing"), Error);
}

} // namespace
} // namespace korvista
