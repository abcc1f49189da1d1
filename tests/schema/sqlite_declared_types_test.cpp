// SQLite's declared types through the type model: ParseDeclaredType splits the text SQLite keeps, and the
// SQLite dialect's type names with SQLite's affinity rules map it onto ADO's terms.

#include "common/sqlite_declared_types.h"
#include "schema/dialect_registry.h"
#include "schema/type_model.h"
#include "support/ascii.h"
#include "support/errors.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

namespace korvista {
namespace {

using korvista::testing::SqliteTypeCases;
using Size = std::optional<std::int64_t>;

struct ParseCase {
    const char* text;
    const char* typeName;
    Size length;
    Size precision;
    Size scale;
    bool isUnsigned = false;
    bool isArray = false;
};

const Size none;

const EngineTypes& SqliteTypes() {
    return EngineForDbmsName("SQLite")->types;
}

DeclaredColumn ParseDeclaredType(std::string_view declaredType) {
    return korvista::ParseDeclaredType(declaredType, SqliteTypes());
}

TEST(ParseDeclaredType, SplitsNameSizesAndFlags) {
    const std::vector<ParseCase> cases = {
        {"varchar(20)", "varchar", 20, 20, none},
        {"  VarChar\t( 7 ) ", "varchar", 7, 7, none},
        {"DECIMAL (10, 2)", "decimal", 10, 10, 2},
        {"numeric(+5, -2)", "numeric", 5, 5, -2},
        {"numeric(,2)", "numeric", none, none, 2},
        {"double  \n precision", "double precision", none, none, none},
        {"", "", none, none, none},
        // Sizes SQLite keeps as written, however wrong; the describing rule judges them.
        {"varchar(-1)", "varchar", -1, -1, none},
        {"varchar(abc)", "varchar", none, none, none},
        {"CHAR(5", "char", 5, 5, none},
        // MySQL's flags follow the type, also after its arguments; a leading UNSIGNED is part of a name.
        {"bigint(20) unsigned", "bigint", 20, 20, none, true},
        {"int unsigned zerofill", "int", none, none, none, true},
        {"INT ZEROFILL", "int", none, none, none, true},
        {"int signed", "int", none, none, none, false},
        {"unsigned big int", "unsigned big int", none, none, none, false},
        {"unsigned", "unsigned", none, none, none, false},
        // Words after the arguments belong to the name.
        {"timestamp(3) with time zone", "timestamp with time zone", 3, 3, none},
        {"TIME(6)   WITHOUT TIME ZONE", "time without time zone", 6, 6, none},
        // Standard SQL: CHARACTER and BINARY without a length hold one.
        {"CHAR", "char", 1, none, none},
        {"national character", "national character", 1, none, none},
        {"NCHAR", "nchar", 1, none, none},
        {"binary", "binary", 1, none, none},
        {"varchar", "varchar", none, none, none},
        {"varbinary", "varbinary", none, none, none},
        // Enum labels: the longest in characters, quotes doubled inside, commas and parentheses quoted.
        {"enum('a','it''s','x')", "enum", 4, none, none},
        {"ENUM('日本','ab')", "enum", 2, none, none},
        {"enum(\"a,b\", 'c)')", "enum", 3, none, none},
        {"set('x','yz')", "set", 2, none, none},
        {"int[]", "int", none, none, none, false, true},
        {"varchar(10)[]", "varchar", 10, 10, none, false, true},
        {"INTEGER []", "integer", none, none, none, false, true},
    };
    for (const ParseCase& c : cases) {
        const DeclaredColumn got = ParseDeclaredType(c.text);
        EXPECT_EQ(got.typeName, c.typeName) << c.text;
        EXPECT_EQ(got.length, c.length) << c.text;
        EXPECT_EQ(got.precision, c.precision) << c.text;
        EXPECT_EQ(got.scale, c.scale) << c.text;
        EXPECT_EQ(got.isUnsigned, c.isUnsigned) << c.text;
        EXPECT_EQ(got.isArray, c.isArray) << c.text;
        EXPECT_FALSE(got.notNull || got.autoIncrement) << c.text;
    }
}

TEST(ParseDeclaredType, HugeSizesSaturateInsteadOfOverflowing) {
    const DeclaredColumn huge = ParseDeclaredType("varchar(99999999999999999999999999)");
    ASSERT_TRUE(huge.length);
    EXPECT_GT(*huge.length, std::int64_t{std::numeric_limits<std::int32_t>::max()});
    const DeclaredColumn negative = ParseDeclaredType("decimal(-99999999999999999999999999, 2)");
    ASSERT_TRUE(negative.precision);
    EXPECT_LT(*negative.precision, 0);
}

ColumnDescription DescribeSqlite(const std::string& declared) {
    DeclaredColumn column = ParseDeclaredType(declared);
    column.name = "c";
    return DescribeDeclared(SqliteTypes(), column);
}

TEST(SqliteDeclaredTypes, EveryCaseGetsItsAdoDescription) {
    for (const auto& c : SqliteTypeCases()) {
        const ColumnDescription got = DescribeSqlite(c.declared);
        EXPECT_EQ(got.type, c.type) << "'" << c.declared << "'";
        EXPECT_EQ(got.definedSize, c.definedSize) << "'" << c.declared << "'";
        EXPECT_EQ(got.precision, c.precision) << "'" << c.declared << "'";
        EXPECT_EQ(got.numericScale, c.numericScale) << "'" << c.declared << "'";
        EXPECT_TRUE(got.acceptsNull) << c.declared;
        EXPECT_EQ(got.isAutoIncrement, std::optional<bool>(false)) << c.declared;
    }
}

// What a user sees of the names that SQLite files made from other engines' DDL carry.
TEST(SqliteDeclaredTypes, NamesFromOtherEnginesGetTheCategoryAUserExpects) {
    struct Case {
        const char* declared;
        TFieldType type;
        std::int32_t size;
    };
    for (const Case& c :
         {Case{"timestamp with time zone", ftDateTime, 0}, Case{"timestamptz", ftDateTime, 0},
          Case{"timestamp without time zone", ftDateTime, 0}, Case{"datetime2", ftDateTime, 0},
          Case{"smalldatetime", ftDateTime, 0}, Case{"datetimeoffset", ftDateTime, 0},
          Case{"json", ftMemo, 0}, Case{"jsonb", ftMemo, 0}, Case{"xml", ftMemo, 0}, Case{"money", ftBCD, 4},
          Case{"bigint unsigned", ftLargeint, 0}, Case{"bit(1)", ftBoolean, 0}, Case{"bit(16)", ftBytes, 16},
          Case{"nchar(4)", ftString, 4}, Case{"nvarchar(40)", ftString, 40}, Case{"uuid", ftGuid, 38},
          Case{"numeric(9,0)", ftInteger, 0}, Case{"numeric(10,0)", ftBCD, 0}}) {
        const std::vector<FieldDef> fields = DescribeResult({DescribeSqlite(c.declared)});
        ASSERT_EQ(fields.size(), 1u) << c.declared;
        EXPECT_EQ(fields[0], (FieldDef{"c", c.type, c.size, false}))
            << c.declared << " gave " << DataTypeName(fields[0].dataType) << ":" << fields[0].size;
    }
}

TEST(SqliteDeclaredTypes, SizesOutOfRangeAreClamped) {
    EXPECT_EQ(DescribeSqlite("VARCHAR(99999999999999999999)").definedSize,
              std::numeric_limits<std::int32_t>::max());
    EXPECT_EQ(DescribeSqlite("varchar(-99999999999999999999)").definedSize,
              std::numeric_limits<std::int32_t>::min());
    const ColumnDescription wide = DescribeSqlite("DECIMAL(300,400)");
    EXPECT_EQ(wide.precision, 255);
    EXPECT_EQ(wide.numericScale, 255);
    const ColumnDescription negative = DescribeSqlite("DECIMAL(-3,-1)");
    EXPECT_EQ(negative.precision, 0);
    EXPECT_EQ(negative.numericScale, 0);
    // A negative length stays negative, so that the describing rule refuses it.
    EXPECT_THROW(DescribeResult({DescribeSqlite("varchar(-1)")}), Error);
}

TEST(SqliteDeclaredTypes, ArraysAreLeftOut) {
    for (const char* declared : {"int[]", "text[]", "varchar(5)[]"})
        EXPECT_TRUE(DescribeResult({DescribeSqlite(declared)}).empty()) << declared;
}

// A name listed twice among SQLite's names would silently go to the first logical type that lists it.
TEST(SqliteDeclaredTypes, EveryNameOfTheSqliteColumnReachesItsOwnRow) {
    for (const TypeNames& type : SqliteTypes().names) {
        for (std::string_view name : type.names) {
            EXPECT_EQ(FindLogicalType(SqliteTypes(), name), LogicalTypeNamed(type.logical)) << name;
            EXPECT_EQ(FindLogicalType(SqliteTypes(), AsciiUpper(name)), LogicalTypeNamed(type.logical))
                << name;
        }
    }
}

} // namespace
} // namespace korvista
