// A SQLite file that fails under an open connection: a lost connection, not a table without columns.

#include "common/sqlite_test_files.h"
#include "schema/schema_reader.h"
#include "support/errors.h"

#include <QTemporaryDir>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace korvista;
using ::testing::HasSubstr;

namespace {

TEST(SqliteLostFile, AnIoErrorIsALostConnectionAndClosesIt) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string path = dir.filePath("shop.db").toStdString();
    korvista::testing::ExecuteSqlite(path, "CREATE TABLE Orders(id INTEGER, name VARCHAR(40));");
    TADOConnection connection;
    connection.SetConnectionString("Provider=SQLite;Data Source=" + path);
    connection.Open();
    ASSERT_EQ(ReadTableFields(connection, "Orders").size(), 2u);
    EXPECT_THROW(ReadTableFields(connection, "NoSuchTable"), Error);
    ASSERT_TRUE(connection.Connected()) << "a table that is not there is no lost connection";

    ASSERT_EQ(korvista::testing::BreakOpenFile(path), 1);
    try {
        std::vector<std::string> names;
        GetTableNames(connection, names, false); // reads the file; a column query needs only the schema
        ADD_FAILURE() << "the broken file was read";
    } catch (const ConnectionLost& error) {
        EXPECT_THAT(error.what(), HasSubstr("I/O error"));
    }
    EXPECT_FALSE(connection.Connected());
    connection.Open();
    EXPECT_EQ(ReadTableFields(connection, "Orders").size(), 2u) << "opened anew, the file reads again";
}

} // namespace
