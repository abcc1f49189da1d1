#include "schema/odbc_types.h"

#include <gtest/gtest.h>

#include <sql.h>
#include <sqlext.h>

#include <cstdint>
#include <limits>

namespace korvista {
namespace {

OdbcColumn Column(const std::string& name, int sqlType, std::uint64_t size, int digits = 0,
                  const std::string& typeName = {}) {
    OdbcColumn column;
    column.name = name;
    column.sqlType = sqlType;
    column.columnSize = size;
    column.decimalDigits = digits;
    column.typeName = typeName;
    return column;
}

TEST(AdoTypeFromSqlType, MapsEveryOdbcTypeTheProviderKnows) {
    struct Case {
        int sqlType;
        bool isUnsigned;
        std::int32_t ado;
    };
    const Case cases[] = {
        {SQL_CHAR, false, 129},
        {SQL_VARCHAR, false, 200},
        {SQL_LONGVARCHAR, false, 201},
        {SQL_WCHAR, false, 130},
        {SQL_WVARCHAR, false, 202},
        {SQL_WLONGVARCHAR, false, 203},
        {SQL_DECIMAL, false, 131},
        {SQL_NUMERIC, false, 131},
        {SQL_SMALLINT, false, 2},
        {SQL_INTEGER, false, 3},
        {SQL_TINYINT, false, 16},
        {SQL_BIGINT, false, 20},
        {SQL_SMALLINT, true, 18},
        {SQL_INTEGER, true, 19},
        {SQL_TINYINT, true, 17},
        {SQL_BIGINT, true, 21},
        {SQL_REAL, false, 4},
        {SQL_FLOAT, false, 5},
        {SQL_DOUBLE, false, 5},
        {SQL_BIT, false, 11},
        {SQL_BINARY, false, 128},
        {SQL_VARBINARY, false, 204},
        {SQL_LONGVARBINARY, false, 205},
        {SQL_TYPE_DATE, false, 133},
        {SQL_TYPE_TIME, false, 134},
        {SQL_TYPE_TIMESTAMP, false, 135},
        {9, false, 133},
        {10, false, 134},
        {11, false, 135},
        {SQL_GUID, false, 72},
        // Types ADO has no code for are left out by the describing rule.
        {SQL_INTERVAL_DAY, false, 0},
        {SQL_UNKNOWN_TYPE, false, 0},
        {-150, false, 0},
        // The unsigned flag that some drivers set on text columns changes nothing there.
        {SQL_VARCHAR, true, 200},
        {SQL_DOUBLE, true, 5},
    };
    for (const Case& c : cases)
        EXPECT_EQ(AdoTypeFromSqlType(c.sqlType, c.isUnsigned), c.ado) << "SQL type " << c.sqlType;
}

TEST(ToColumnDescription, SizesGoWhereTheCategoryRuleReadsThem) {
    OdbcColumn decimal = Column("amount", SQL_NUMERIC, 18, 2);
    ColumnDescription d = ToColumnDescription(decimal);
    EXPECT_EQ(d.type, 131);
    EXPECT_EQ(d.precision, 18);
    EXPECT_EQ(d.numericScale, 2);
    EXPECT_EQ(d.definedSize, 0);

    OdbcColumn text = Column("name", SQL_VARCHAR, 50, 0);
    d = ToColumnDescription(text);
    EXPECT_EQ(d.definedSize, 50);
    EXPECT_EQ(d.precision, 0);

    OdbcColumn binary = Column("b", SQL_VARBINARY, 16);
    EXPECT_EQ(ToColumnDescription(binary).definedSize, 16);
}

TEST(ToColumnDescription, ClampsSizesThatDoNotFit) {
    // MariaDB reports LONGTEXT as 4294967295 characters; the description holds a signed 32-bit size.
    OdbcColumn longText = Column("t", SQL_LONGVARCHAR, 4294967295ULL);
    EXPECT_EQ(ToColumnDescription(longText).definedSize, std::numeric_limits<std::int32_t>::max());
    OdbcColumn huge = Column("t", SQL_WVARCHAR, std::numeric_limits<std::uint64_t>::max());
    EXPECT_EQ(ToColumnDescription(huge).definedSize, std::numeric_limits<std::int32_t>::max());

    // PostgreSQL's unconstrained numeric reports precision 1000; a negative scale is no scale.
    OdbcColumn wide = Column("n", SQL_NUMERIC, 1000, -4);
    ColumnDescription d = ToColumnDescription(wide);
    EXPECT_EQ(d.precision, 255);
    EXPECT_EQ(d.numericScale, 0);
    OdbcColumn bigScale = Column("n", SQL_DECIMAL, 40, 300);
    EXPECT_EQ(ToColumnDescription(bigScale).numericScale, 255);
}

TEST(ToColumnDescription, NullabilityAndAutoIncrement) {
    OdbcColumn column = Column("id", SQL_INTEGER, 10);
    column.nullable = SQL_NO_NULLS;
    column.autoUnique = true;
    ColumnDescription d = ToColumnDescription(column);
    EXPECT_FALSE(d.acceptsNull);
    ASSERT_TRUE(d.isAutoIncrement.has_value());
    EXPECT_TRUE(*d.isAutoIncrement);

    // Unknown nullability is reported as accepting NULL, as ADO does.
    column.nullable = SQL_NULLABLE_UNKNOWN;
    column.autoUnique = false;
    d = ToColumnDescription(column);
    EXPECT_TRUE(d.acceptsNull);
    ASSERT_TRUE(d.isAutoIncrement.has_value()); // offered on every column, so detection is on
    EXPECT_FALSE(*d.isAutoIncrement);
}

const EngineIdentity* PostgreSql() {
    return EngineForDbmsName("PostgreSQL");
}
const EngineIdentity* MariaDb() {
    return EngineForDbmsName("MariaDB");
}
const EngineIdentity* Sqlite() {
    return EngineForDbmsName("SQLite");
}

TEST(WithTimeouts, OnlyTheMariaDbDriverGetsItsOwnKeysAndOnlyWhereTheUserSetNone) {
    EXPECT_EQ(WithTimeouts(MariaDb(), "Driver={MariaDB Unicode};Server=h", 15, 30),
              "Driver={MariaDB Unicode};Server=h;CONN_TIMEOUT=15;READ_TIMEOUT=30");
    EXPECT_EQ(WithTimeouts(MariaDb(), "DSN=shop; ", 15, 30), "DSN=shop; CONN_TIMEOUT=15;READ_TIMEOUT=30");
    EXPECT_EQ(WithTimeouts(MariaDb(), "DSN=shop;conn_timeout=3", 15, 30),
              "DSN=shop;conn_timeout=3;READ_TIMEOUT=30");
    EXPECT_EQ(WithTimeouts(MariaDb(), "DSN=shop;Read_Timeout=0;", 15, 30),
              "DSN=shop;Read_Timeout=0;CONN_TIMEOUT=15");
    for (const EngineIdentity* other : {PostgreSql(), Sqlite(), static_cast<const EngineIdentity*>(nullptr)})
        EXPECT_EQ(WithTimeouts(other, "Driver=x;Server=h", 15, 30), "Driver=x;Server=h");
}

TEST(EngineForDriverFile, RecognisesTheInstalledDrivers) {
    ASSERT_TRUE(PostgreSql() && MariaDb() && Sqlite());
    EXPECT_EQ(EngineForDriverFile("psqlodbcw.so"), PostgreSql());
    EXPECT_EQ(EngineForDriverFile("PSQLODBC35W.DLL"), PostgreSql());
    EXPECT_EQ(EngineForDriverFile("libmaodbc.so"), MariaDb());
    EXPECT_EQ(EngineForDriverFile("libsqlite3odbc-0.9998.so"), Sqlite());
    EXPECT_EQ(EngineForDriverFile("libtdsodbc.so"), nullptr);
    EXPECT_EQ(EngineForDriverFile(""), nullptr);
}

TEST(MatchingQuirks, PostgresBoolReportedAsTextIsABoolean) {
    OdbcColumn flag = Column("flag", SQL_VARCHAR, 5, 0, "bool");
    auto quirks = MatchingQuirks(PostgreSql(), flag);
    ASSERT_EQ(quirks.size(), 1u);
    EXPECT_EQ(quirks[0]->remedy, QuirkRemedy::Retype);
    EXPECT_EQ(quirks[0]->trueSqlType, SQL_BIT);

    // Another driver, or a real varchar, is left alone.
    EXPECT_TRUE(MatchingQuirks(MariaDb(), flag).empty());
    flag.typeName = "varchar";
    EXPECT_TRUE(MatchingQuirks(PostgreSql(), flag).empty());
}

TEST(MatchingQuirks, NullabilityLookupOnlyForAutoUniqueColumnsClaimingNull) {
    OdbcColumn id = Column("id", SQL_INTEGER, 10, 0, "integer");
    id.autoUnique = true;
    id.nullable = SQL_NULLABLE;
    auto quirks = MatchingQuirks(MariaDb(), id);
    ASSERT_EQ(quirks.size(), 1u);
    EXPECT_EQ(quirks[0]->remedy, QuirkRemedy::NullabilityFromKeys);

    id.nullable = SQL_NO_NULLS;
    EXPECT_TRUE(MatchingQuirks(MariaDb(), id).empty());
    id.nullable = SQL_NULLABLE;
    id.autoUnique = false;
    EXPECT_TRUE(MatchingQuirks(MariaDb(), id).empty());
    id.autoUnique = true;
    EXPECT_TRUE(MatchingQuirks(PostgreSql(), id).empty());
    EXPECT_TRUE(MatchingQuirks(nullptr, id).empty());
}

TEST(NormaliseCatalogueColumns, KeepsOdbc3NamesAndUpperCasesOthers) {
    std::vector<std::string> odbc3{"TABLE_CAT", "TABLE_SCHEM", "TABLE_NAME", "TABLE_TYPE", "REMARKS"};
    std::vector<std::string> copy = odbc3;
    NormaliseCatalogueColumns(copy);
    EXPECT_EQ(copy, odbc3);

    std::vector<std::string> lower{"table_cat", "table_schem", "table_name", "table_type", "remarks"};
    NormaliseCatalogueColumns(lower);
    EXPECT_EQ(lower[2], "TABLE_NAME");
    EXPECT_EQ(lower[3], "TABLE_TYPE");
    EXPECT_EQ(lower[0], "table_cat");
}

TEST(NormaliseCatalogueColumns, NamesColumnsThreeAndFourWhenTheDriverNamesThemOtherwise) {
    std::vector<std::string> odbc2{"TABLE_QUALIFIER", "TABLE_OWNER", "NAME", "KIND", "REMARKS"};
    NormaliseCatalogueColumns(odbc2);
    EXPECT_EQ(odbc2, (std::vector<std::string>{"TABLE_QUALIFIER", "TABLE_OWNER", "TABLE_NAME", "TABLE_TYPE",
                                               "REMARKS"}));

    // Too few columns: nothing is invented, so the listing reports the missing column by name.
    std::vector<std::string> short_{"A", "B"};
    NormaliseCatalogueColumns(short_);
    EXPECT_EQ(short_, (std::vector<std::string>{"A", "B"}));
}

// Records of the kinds the drivers give when their connection breaks (the first two and the broken pipe
// as psqlodbc and MariaDB's driver gave them when the test proxy cut their connection), and statement
// failures that must stay what they are.
TEST(IsConnectionFailure, TellsABrokenLinkFromAFailedStatement) {
    struct Case {
        OdbcDiagnostic record;
        bool lost;
    };
    const Case cases[] = {
        {{"08S01", 0, "server closed the connection unexpectedly  This probably means the server terminated"}, true},
        {{"08S01", 2013, "[ma-3.1.15][10.11.19-MariaDB]Lost connection to server during query"}, true},
        {{"08001", 101, "connection to server at \"127.0.0.1\", port 5432 failed: timeout expired"}, true},
        {{"HYT00", 0, "Timeout expired"}, true},
        {{"HYT01", 0, "Connection timeout expired"}, true},
        {{"HY000", 2006, "[ma-3.1.15][10.11.19-MariaDB]Server has gone away"}, true},
        {{"HY000", 2055, "[ma-3.1.15]Lost connection to server at 'reading initial communication packet'"}, true},
        {{"HY000", 35, "no connection to the server"}, true},
        {{"HY000", 1, "could not receive data from server: Connection reset by peer"}, true},
        {{"HY000", 5014, "[ma-3.1.15][10.11.19-MariaDB]Write error: Broken pipe (32)"}, true},
        {{"57P01", 7, "terminating connection  server closed the connection unexpectedly"}, true},
        {{"42S02", 1146, "[ma-3.1.15][10.11.19-MariaDB]Table 'db.t' doesn't exist"}, false},
        {{"42P01", 7, "ERROR: relation \"server has gone away\" does not exist"}, false},
        {{"HY000", 1969, "[ma-3.1.15]Query execution was interrupted (max_statement_time exceeded)"}, false},
        {{"57014", 7, "ERROR: canceling statement due to statement timeout"}, false},
        {{"HY000", 2013, "[FreeTDS][SQL Server]a server error numbered like a lost MariaDB link"}, false},
        {{"HY000", 0, "Invalid field size"}, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(IsConnectionFailure(c.record), c.lost) << c.record.state << " " << c.record.text;
}

} // namespace
} // namespace korvista
