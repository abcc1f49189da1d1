#include "common/sqlite_declared_types.h"
#include "common/sqlite_test_files.h"
#include "common/test_files.h"
#include "schema/connection_string.h"
#include "schema/provider.h"
#include "schema/sqlite_provider.h"
#include "support/errors.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QFile>
#include <QTemporaryDir>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <limits>
#include <unistd.h>
#include <string>
#include <vector>

using namespace korvista;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

using korvista::testing::ExecuteSqlite;
using korvista::testing::FileSha256;
using korvista::testing::SqliteTypeCases;

namespace {

std::unique_ptr<ProviderSession> OpenFile(const std::string& path) {
    return OpenProviderSession("Provider=SQLite;Data Source=" + path);
}

class SqliteProvider : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir_.isValid()); }
    std::string Path(const char* name) const { return dir_.filePath(name).toStdString(); }

    QTemporaryDir dir_;
};

// The column query and the catalogue read give every declared type as the type model maps it.
TEST_F(SqliteProvider, RealTableReportsEveryDeclaredTypeAsMapped) {
    const auto& cases = SqliteTypeCases();
    std::string create = "CREATE TABLE all_types(";
    for (std::size_t i = 0; i < cases.size(); ++i)
        create += (i ? ", c" : "c") + std::to_string(i) + " " + cases[i].declared;
    create += ");";
    const std::string path = Path("types.db");
    ExecuteSqlite(path, create);

    auto session = OpenFile(path);
    for (const auto& columns :
         {session->DescribeQuery("SELECT * FROM all_types WHERE 1=2"), session->DescribeTable("all_types")}) {
        ASSERT_EQ(columns.size(), cases.size());
        for (std::size_t i = 0; i < columns.size(); ++i) {
            EXPECT_EQ(columns[i].name, "c" + std::to_string(i));
            EXPECT_EQ(columns[i].type, cases[i].type) << cases[i].declared;
            EXPECT_EQ(columns[i].definedSize, cases[i].definedSize) << cases[i].declared;
            EXPECT_EQ(columns[i].precision, cases[i].precision) << cases[i].declared;
            EXPECT_EQ(columns[i].numericScale, cases[i].numericScale) << cases[i].declared;
            EXPECT_TRUE(columns[i].acceptsNull);
            EXPECT_EQ(columns[i].isAutoIncrement, std::optional<bool>(false));
        }
    }
}

TEST_F(SqliteProvider, RowidAliasIsAutoIncrementAndNotNull) {
    const std::string path = Path("keys.db");
    ExecuteSqlite(path, R"(
        CREATE TABLE alias(id INTEGER PRIMARY KEY, a TEXT NOT NULL, b TEXT);
        CREATE TABLE alias_lower(id integer primary key);
        CREATE TABLE alias_by_constraint(id INTEGER, v, PRIMARY KEY(id DESC));
        CREATE TABLE desc_key(id INTEGER PRIMARY KEY DESC, v);
        CREATE TABLE int_key(id INT PRIMARY KEY, v);
        CREATE TABLE bigint_key(id BIGINT PRIMARY KEY, v);
        CREATE TABLE composite(a INTEGER, b INTEGER, PRIMARY KEY(a, b));
        CREATE TABLE no_rowid(id INTEGER PRIMARY KEY, v) WITHOUT ROWID;
    )");
    auto session = OpenFile(path);
    struct Expect {
        const char* table;
        bool autoInc;
        bool acceptsNull;
    };
    // INTEGER PRIMARY KEY DESC is, by a documented SQLite quirk, an ordinary key and not a rowid alias,
    // while PRIMARY KEY(id DESC) as a table constraint is one.
    for (const Expect& e : {Expect{"alias", true, false}, Expect{"alias_lower", true, false},
                            Expect{"alias_by_constraint", true, false}, Expect{"desc_key", false, true},
                            Expect{"int_key", false, true}, Expect{"bigint_key", false, true},
                            Expect{"composite", false, true}, Expect{"no_rowid", false, false}}) {
        for (const auto& columns :
             {session->DescribeQuery(std::string("SELECT * FROM ") + e.table + " WHERE 1=2"),
              session->DescribeTable(e.table)}) {
            ASSERT_FALSE(columns.empty());
            EXPECT_EQ(columns[0].isAutoIncrement, std::optional<bool>(e.autoInc)) << e.table;
            EXPECT_EQ(columns[0].acceptsNull, e.acceptsNull) << e.table;
        }
    }

    const auto columns = session->DescribeQuery("SELECT * FROM alias WHERE 1=2");
    ASSERT_EQ(columns.size(), 3u);
    EXPECT_FALSE(columns[1].acceptsNull);
    EXPECT_EQ(columns[1].isAutoIncrement, std::optional<bool>(false));
    EXPECT_TRUE(columns[2].acceptsNull);
}

TEST_F(SqliteProvider, ViewColumnsFollowTheirOriginAndExpressionsAcceptNull) {
    const std::string path = Path("view.db");
    ExecuteSqlite(path, R"(
        CREATE TABLE t(id INTEGER PRIMARY KEY, name VARCHAR(20) NOT NULL, note TEXT);
        CREATE VIEW v AS SELECT id, name, note, name || 'x' AS computed, 1 + 1 AS two FROM t;
    )");
    auto session = OpenFile(path);
    for (const auto& columns :
         {session->DescribeQuery("SELECT * FROM v WHERE 1=2"), session->DescribeTable("v")}) {
        ASSERT_EQ(columns.size(), 5u);
        EXPECT_EQ(columns[0].name, "id");
        EXPECT_EQ(columns[0].isAutoIncrement, std::optional<bool>(true));
        EXPECT_FALSE(columns[0].acceptsNull);
        EXPECT_EQ(columns[1].type, 200);
        EXPECT_EQ(columns[1].definedSize, 20);
        EXPECT_FALSE(columns[1].acceptsNull);
        EXPECT_TRUE(columns[2].acceptsNull);
        for (int i : {3, 4}) {
            EXPECT_EQ(columns[i].type, 205) << columns[i].name;
            EXPECT_TRUE(columns[i].acceptsNull) << columns[i].name;
            EXPECT_EQ(columns[i].isAutoIncrement, std::optional<bool>(false)) << columns[i].name;
        }
    }
}

TEST_F(SqliteProvider, DescribeQueryRunsNothingAndRefusesMoreThanOneStatement) {
    const std::string path = Path("guard.db");
    ExecuteSqlite(path, "CREATE TABLE keep(a); INSERT INTO keep VALUES(1);");
    const QByteArray before = FileSha256(path);
    auto session = OpenFile(path);

    EXPECT_THROW(session->DescribeQuery("SELECT * FROM keep; DROP TABLE keep"), Error);
    EXPECT_THROW(session->DescribeQuery("SELECT * FROM keep; garbage"), Error);
    const char withNul[] = "SELECT * FROM keep\0; DROP TABLE keep";
    EXPECT_THROW(session->DescribeQuery(std::string(withNul, sizeof withNul - 1)), Error);
    EXPECT_THROW(session->DescribeQuery("DELETE FROM keep"), Error);
    EXPECT_THROW(session->DescribeQuery("  -- nothing "), Error);
    // A trailing semicolon or comment is no second statement.
    EXPECT_EQ(session->DescribeQuery("SELECT * FROM keep; -- done").size(), 1u);
    try {
        session->DescribeQuery("SELECT * FROM missing WHERE 1=2");
        ADD_FAILURE() << "a missing table was described";
    } catch (const Error& error) {
        EXPECT_THAT(error.what(), HasSubstr("no such table: missing"));
    }

    EXPECT_EQ(session->DescribeQuery("SELECT * FROM keep").size(), 1u);
    session.reset();
    EXPECT_EQ(FileSha256(path), before);
}

TEST_F(SqliteProvider, CatalogueKeepsSchemaOrderAndMarksSqliteTablesAsSystem) {
    const std::string path = Path("catalogue.db");
    ExecuteSqlite(path, R"(
        CREATE TABLE zeta(a);
        CREATE VIEW middle AS SELECT a FROM zeta;
        CREATE INDEX zeta_a ON zeta(a);
        CREATE TABLE alpha(b);
        INSERT INTO zeta VALUES(1), (2);
        ANALYZE;
        CREATE TRIGGER alpha_t AFTER INSERT ON alpha BEGIN SELECT 1; END;
    )");
    auto session = OpenFile(path);

    const Rowset user = session->TableCatalogue(false);
    ASSERT_EQ(user.columns.size(), 4u);
    EXPECT_EQ(user.columns[2], "TABLE_NAME");
    EXPECT_EQ(user.columns[3], "TABLE_TYPE");
    std::vector<std::string> rows;
    for (const auto& row : user.rows)
        rows.push_back(row[2] + ":" + row[3]);
    EXPECT_THAT(rows, ElementsAre("zeta:TABLE", "middle:VIEW", "alpha:TABLE"));

    rows.clear();
    for (const auto& row : session->TableCatalogue(true).rows)
        rows.push_back(row[2] + ":" + row[3]);
    EXPECT_THAT(rows, ElementsAre("zeta:TABLE", "middle:VIEW", "alpha:TABLE", "sqlite_stat1:SYSTEM TABLE"));
}

TEST_F(SqliteProvider, OpenFailsClearlyAndCreatesNothing) {
    const std::string missing = Path("missing.db");
    try {
        OpenFile(missing);
        ADD_FAILURE() << "a missing file was opened";
    } catch (const Error& error) {
        EXPECT_THAT(error.what(), HasSubstr("unable to open database file"));
    }
    EXPECT_FALSE(QFile::exists(QString::fromStdString(missing)));

    // This SQLite reads "file:" names as URIs whose options could ask for a new file.
    const std::string uri = "file:" + Path("uri.db") + "?mode=rwc";
    EXPECT_THROW(OpenFile(uri), Error);
    EXPECT_FALSE(QFile::exists(dir_.filePath("uri.db")));

    const std::string text = Path("notes.txt");
    {
        QFile file(QString::fromStdString(text));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(4096, 'x'));
    }
    const QByteArray before = FileSha256(text);
    try {
        OpenFile(text);
        ADD_FAILURE() << "a text file was opened as a database";
    } catch (const Error& error) {
        EXPECT_THAT(error.what(), HasSubstr("file is not a database"));
    }
    EXPECT_EQ(FileSha256(text), before);

    try {
        OpenProviderSession("Provider=SQLite;Mode=Read");
        ADD_FAILURE() << "opened without a file name";
    } catch (const Error& error) {
        EXPECT_THAT(error.what(), HasSubstr("Data Source"));
    }
    EXPECT_THROW(OpenProviderSession("Provider=SQLite;Data Source= "), Error);
}

TEST_F(SqliteProvider, OnlyARegularFileIsOpened) {
    const std::string fifo = Path("pipe.db");
    korvista::testfiles::MakeFifo(fifo);
    // SQLite would wait for a writer for good; the refusal comes first.
    EXPECT_TRUE(korvista::testfiles::FinishesWithin(5, [&] {
        try {
            OpenFile(fifo);
        } catch (const Error& error) {
            ::_exit(std::string(error.what()) == "The data source is not a regular file: " + fifo ? 0 : 1);
        }
        ::_exit(1);
    }));
    try {
        OpenFile(dir_.path().toStdString());
        ADD_FAILURE() << "a directory was opened";
    } catch (const Error& error) {
        EXPECT_EQ(std::string(error.what()), "The data source is a directory: " + dir_.path().toStdString());
    }
    try {
        OpenFile("/dev/null");
        ADD_FAILURE() << "a device was opened";
    } catch (const Error& error) {
        EXPECT_THAT(error.what(), HasSubstr("not a regular file"));
    }
}

TEST_F(SqliteProvider, ProviderKeyChoosesTheProvider) {
    const std::string path = Path("choose.db");
    ExecuteSqlite(path, "CREATE TABLE t(a);");
    for (const std::string& text :
         {"Provider=SQLite;Data Source=" + path, "provider= sqlite ;Data Source=" + path,
          "Data Source=" + path + ";PROVIDER=SQLITE"}) {
        EXPECT_EQ(OpenProviderSession(text)->TableCatalogue(false).rows.size(), 1u) << text;
    }
    for (const std::string text :
         {"Provider=Bogus;Data Source=x", "Provider=;Data Source=x", "Provider=SQLite3"}) {
        try {
            OpenProviderSession(text);
            ADD_FAILURE() << text;
        } catch (const Error& error) {
            EXPECT_STREQ(error.what(), "Provider cannot be found. It may not be properly installed.") << text;
        }
    }
}

TEST_F(SqliteProvider, OdbcProviderIsReachedWithOrWithoutTheKey) {
    for (const std::string text : {"Provider=ODBC;DSN=korvista_no_such_dsn", "DSN=korvista_no_such_dsn"}) {
        try {
            OpenProviderSession(text);
            ADD_FAILURE() << text;
        } catch (const Error& error) {
            EXPECT_STRNE(error.what(), "Provider cannot be found. It may not be properly installed.") << text;
        }
    }
}

} // namespace
