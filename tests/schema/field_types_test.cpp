#include "schema/field_types.h"
#include "support/errors.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace korvista {
namespace {

ColumnDescription Column(std::string name, std::int32_t type, std::int32_t definedSize = 0) {
    ColumnDescription c;
    c.name = std::move(name);
    c.type = type;
    c.definedSize = definedSize;
    return c;
}

ColumnDescription Numeric(std::int32_t type, std::uint8_t precision, std::uint8_t scale) {
    ColumnDescription c = Column("n", type);
    c.precision = precision;
    c.numericScale = scale;
    return c;
}

FieldDef DescribeOne(const ColumnDescription& column) {
    const std::vector<FieldDef> defs = DescribeResult({column});
    if (defs.size() != 1) {
        ADD_FAILURE() << "expected one definition for code " << column.type << ", got " << defs.size();
        return {};
    }
    return defs.front();
}

std::vector<std::string> Names(const std::vector<FieldDef>& defs) {
    std::vector<std::string> names;
    for (const FieldDef& def : defs)
        names.push_back(def.name);
    return names;
}

TEST(DataTypeNameTest, LiteralNames) {
    const std::vector<std::string> expected = {
        "Unknown",     "string",    "smallint",  "integer",    "word",      "boolean",   "float",
        "currency",    "BCD",       "date",      "time",       "date/time", "bytes",     "varbytes",
        "autoinc",     "blob",      "memo",      "graphic",    "fmtmemo",   "paradox",   "dbase",
        "typedbinary", "cursor",    "fixedchar", "widestring", "largeint",  "ADT",       "array",
        "reference",   "dataset",   "OraBlob",   "OraClob",    "variant",   "interface", "idispatch",
        "GUID",        "timestamp", "FmtBCD"};
    ASSERT_EQ(expected.size(), 38u);
    for (int i = 0; i < 38; ++i)
        EXPECT_EQ(DataTypeName(i), expected[static_cast<std::size_t>(i)]) << "value " << i;
    EXPECT_EQ(DataTypeName(ftFixedChar), "fixedchar");
}

TEST(DataTypeNameTest, OutOfRangeIsEmpty) {
    for (int value : {-1, 38, 200, 255, 256, 1 << 30})
        EXPECT_EQ(DataTypeName(value), "") << value;
}

struct CodeCase {
    std::int32_t code;
    TFieldType type;
    std::int32_t size;
};

// Each listed code with DefinedSize 77 and scale 3, so a size taken from the wrong input shows.
TEST(DescribeResultTest, EveryListedCode) {
    const std::vector<CodeCase> cases = {
        {2, ftSmallint, 0},    {3, ftInteger, 0},    {4, ftFloat, 0},         {5, ftFloat, 0},
        {6, ftBCD, 3},         {7, ftDateTime, 0},   {8, ftWideString, 77},   {9, ftIDispatch, 0},
        {10, ftInteger, 0},    {11, ftBoolean, 0},   {12, ftVariant, 0},      {13, ftInterface, 0},
        {14, ftBCD, 3},        {16, ftSmallint, 0},  {17, ftWord, 0},         {18, ftWord, 0},
        {19, ftInteger, 0},    {20, ftLargeint, 0},  {21, ftLargeint, 0},     {64, ftDateTime, 0},
        {72, ftGuid, 38},      {128, ftBytes, 77},   {129, ftString, 77},     {130, ftWideString, 77},
        {131, ftBCD, 3},       {133, ftDate, 0},     {134, ftTime, 0},        {135, ftDateTime, 0},
        {136, ftDataSet, 0},   {137, ftDateTime, 0}, {138, ftVariant, 0},     {139, ftBCD, 3},
        {200, ftString, 77},   {201, ftMemo, 0},     {202, ftWideString, 77}, {203, ftMemo, 0},
        {204, ftVarBytes, 77}, {205, ftBlob, 0},
    };
    EXPECT_EQ(cases.size(), 38u);
    for (const CodeCase& c : cases) {
        ColumnDescription column = Column("c", c.code, 77);
        column.precision = 12;
        column.numericScale = 3;
        const FieldDef def = DescribeOne(column);
        EXPECT_EQ(def.dataType, c.type) << "code " << c.code;
        EXPECT_EQ(def.size, c.size) << "code " << c.code;
        EXPECT_EQ(def.name, "c");
    }
}

TEST(DescribeResultTest, UnlistedCodesAreLeftOut) {
    std::vector<std::int32_t> codes = {0,   1,   15,  22,     30,         63,           65,
                                       71,  73,  100, 127,    132,        140,          170,
                                       199, 206, 255, 0x2000, 0x2000 | 3, 0x2000 | 200, -1};
    for (std::int32_t code : codes) {
        const auto defs = DescribeResult({Column("x", code, 10)});
        EXPECT_TRUE(defs.empty()) << "code " << code;
    }
}

TEST(DescribeResultTest, LeftOutColumnsConsumeNoName) {
    const auto defs = DescribeResult(
        {Column("a", 132), Column("b", 3), Column("a", 0x2000 | 3), Column("a", 3), Column("b", 140)});
    EXPECT_EQ(Names(defs), (std::vector<std::string>{"b", "a"}));
}

TEST(DescribeResultTest, FixedAndVariableTextAreTheSame) {
    EXPECT_EQ(DescribeOne(Column("t", 129, 10)), DescribeOne(Column("t", 200, 10)));
    EXPECT_EQ(DescribeOne(Column("t", 129, 10)).dataType, ftString);
}

TEST(DescribeResultTest, ScaleRule) {
    struct Case {
        std::uint8_t scale;
        std::int32_t size;
    };
    for (const Case& c : {Case{0, 0}, Case{2, 2}, Case{32, 32}, Case{128, 4}, Case{200, 4}, Case{255, 4}}) {
        for (std::int32_t code : {6, 14, 139}) {
            const FieldDef def = DescribeOne(Numeric(code, 20, c.scale));
            EXPECT_EQ(def.dataType, ftBCD) << "code " << code << " scale " << int(c.scale);
            EXPECT_EQ(def.size, c.size) << "code " << code << " scale " << int(c.scale);
        }
    }
}

TEST(DescribeResultTest, ScaleAbove32Fails) {
    for (std::uint8_t scale : {33, 40, 127}) {
        for (std::int32_t code : {6, 14, 131, 139}) {
            try {
                DescribeResult({Column("ok", 3), Numeric(code, 38, scale)});
                ADD_FAILURE() << "code " << code << " scale " << int(scale) << " was accepted";
            } catch (const Error& e) {
                EXPECT_STREQ(e.what(), "Invalid field size");
            }
        }
    }
}

TEST(DescribeResultTest, NumericNarrowing) {
    EXPECT_EQ(DescribeOne(Numeric(131, 9, 0)), (FieldDef{"n", ftInteger, 0, false}));
    EXPECT_EQ(DescribeOne(Numeric(131, 1, 0)).dataType, ftInteger);
    EXPECT_EQ(DescribeOne(Numeric(131, 0, 0)).dataType, ftInteger);
    EXPECT_EQ(DescribeOne(Numeric(131, 10, 0)), (FieldDef{"n", ftBCD, 0, false}));
    EXPECT_EQ(DescribeOne(Numeric(131, 18, 2)), (FieldDef{"n", ftBCD, 2, false}));
    EXPECT_EQ(DescribeOne(Numeric(131, 5, 2)), (FieldDef{"n", ftBCD, 2, false}));
    EXPECT_EQ(DescribeOne(Numeric(14, 9, 0)), (FieldDef{"n", ftBCD, 0, false}));
    EXPECT_EQ(DescribeOne(Numeric(139, 9, 0)), (FieldDef{"n", ftBCD, 0, false}));
    EXPECT_EQ(DescribeOne(Numeric(6, 9, 0)), (FieldDef{"n", ftBCD, 0, false}));
}

TEST(DescribeResultTest, SizeChecks) {
    EXPECT_THROW(DescribeResult({Column("s", 129, -1)}), Error);
    EXPECT_THROW(DescribeResult({Column("s", 200, -1)}), Error);
    EXPECT_THROW(DescribeResult({Column("s", 202, -5)}), Error);
    EXPECT_THROW(DescribeResult({Column("s", 8, -1)}), Error);
    EXPECT_THROW(DescribeResult({Column("b", 128, 0)}), Error);
    EXPECT_THROW(DescribeResult({Column("b", 204, 0)}), Error);
    // A failing column anywhere spoils the whole result.
    EXPECT_THROW(DescribeResult({Column("a", 3), Column("b", 200, 10), Column("b", 204, 0)}), Error);

    EXPECT_EQ(DescribeOne(Column("s", 200, 0)).size, 0);
    EXPECT_EQ(DescribeOne(Column("b", 128, -1)).size, -1); // only 0 is refused for binary
    EXPECT_EQ(DescribeOne(Column("g", 72, 16)).size, 38);
    for (std::int32_t code : {201, 203, 205})
        EXPECT_EQ(DescribeOne(Column("m", code, 2147483647)).size, 0) << code;
}

TEST(DescribeResultTest, SizeErrorMessage) {
    try {
        DescribeResult({Column("s", 200, -1)});
        FAIL() << "accepted";
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "Invalid field size");
    }
}

TEST(DescribeResultTest, RequiredIsTheOppositeOfAcceptsNull) {
    ColumnDescription notNull = Column("a", 3);
    notNull.acceptsNull = false;
    const auto defs = DescribeResult({notNull, Column("b", 3)});
    ASSERT_EQ(defs.size(), 2u);
    EXPECT_TRUE(defs[0].required);
    EXPECT_FALSE(defs[1].required);
}

TEST(DescribeResultTest, NameDeduplication) {
    EXPECT_EQ(Names(DescribeResult({Column("Id", 3), Column("ID", 3)})),
              (std::vector<std::string>{"Id", "ID_1"}));
    EXPECT_EQ(Names(DescribeResult({Column("", 3), Column("", 3)})),
              (std::vector<std::string>{"COLUMN1", "COLUMN2"}));
    EXPECT_EQ(Names(DescribeResult({Column("a", 3), Column("a", 3), Column("a_1", 3)})),
              (std::vector<std::string>{"a", "a_1", "a_1_1"}));
    EXPECT_EQ(Names(DescribeResult({Column("x", 3), Column("X", 3), Column("x", 3), Column("x_1", 3)})),
              (std::vector<std::string>{"x", "X_1", "x_2", "x_1_1"}));
    // A real column may already carry the name a nameless one would get.
    EXPECT_EQ(Names(DescribeResult({Column("column1", 3), Column("", 3), Column("COLUMN2", 3)})),
              (std::vector<std::string>{"column1", "COLUMN2", "COLUMN2_1"}));
}

TEST(DescribeResultTest, NamesCompareWithUnicodeCase) {
    EXPECT_EQ(Names(DescribeResult({Column("café", 3), Column("CAFÉ", 3)})),
              (std::vector<std::string>{"café", "CAFÉ_1"}));
    EXPECT_EQ(Names(DescribeResult({Column("Straße", 3), Column("STRASSE", 3)})),
              (std::vector<std::string>{"Straße", "STRASSE"}));
    EXPECT_EQ(Names(DescribeResult({Column("Ωmega", 3), Column("ωMEGA", 3)})),
              (std::vector<std::string>{"Ωmega", "ωMEGA_1"}));
}

TEST(DescribeResultTest, NamesThatAreNotUtf8AreNotMistakenForEachOther) {
    // Two different 8-bit names: decoding both as UTF-8 would make them look alike.
    EXPECT_EQ(Names(DescribeResult({Column("caf\xe9", 3), Column("caf\xe8", 3)})),
              (std::vector<std::string>{"caf\xe9", "caf\xe8"}));
    EXPECT_EQ(Names(DescribeResult({Column("Caf\xe9", 3), Column("cAF\xe9", 3)})),
              (std::vector<std::string>{"Caf\xe9", "cAF\xe9_1"}));
}

TEST(DescribeResultTest, ManyNamelessColumns) {
    std::vector<ColumnDescription> columns(1000, Column("", 3));
    const auto defs = DescribeResult(columns);
    ASSERT_EQ(defs.size(), 1000u);
    EXPECT_EQ(defs.back().name, "COLUMN1000");
}

TEST(DescribeResultTest, RowIdentifierIsHiddenButTakesItsName) {
    ColumnDescription rowId = Column("rid", 3);
    rowId.attributes = adFldRowID | 0x10;
    const auto defs = DescribeResult({rowId, Column("a", 200, 5), Column("RID", 3)});
    EXPECT_EQ(Names(defs), (std::vector<std::string>{"a", "RID_1"}));

    // Other attribute bits do not hide a column.
    ColumnDescription other = Column("o", 3);
    other.attributes = 0xFF | 0x200;
    EXPECT_EQ(DescribeResult({other}).size(), 1u);
}

ColumnDescription Integer(std::string name, std::optional<bool> autoIncrement, std::int32_t code = 3) {
    ColumnDescription c = Column(std::move(name), code);
    c.isAutoIncrement = autoIncrement;
    return c;
}

TEST(DescribeResultTest, AutoIncrementOffered) {
    const auto defs = DescribeResult({Integer("id", true), Integer("n", false), Integer("u", true, 19),
                                      Integer("e", true, 10), Integer("big", true, 20)});
    ASSERT_EQ(defs.size(), 5u);
    EXPECT_EQ(defs[0].dataType, ftAutoInc);
    EXPECT_EQ(DataTypeName(defs[0].dataType), "autoinc");
    EXPECT_EQ(defs[1].dataType, ftInteger);
    EXPECT_EQ(defs[2].dataType, ftAutoInc);
    EXPECT_EQ(defs[3].dataType, ftAutoInc);
    EXPECT_EQ(defs[4].dataType, ftLargeint); // only the integer category turns
}

TEST(DescribeResultTest, AutoIncrementOnNarrowedNumeric) {
    ColumnDescription numeric = Numeric(131, 9, 0);
    numeric.isAutoIncrement = true;
    EXPECT_EQ(DescribeOne(numeric), (FieldDef{"n", ftAutoInc, 0, false}));

    ColumnDescription wide = Numeric(131, 10, 0);
    wide.isAutoIncrement = true;
    EXPECT_EQ(DescribeOne(wide).dataType, ftBCD);
}

TEST(DescribeResultTest, AutoIncrementNotOffered) {
    // Without the property on the first column, later values are never read.
    const auto defs = DescribeResult({Integer("id", std::nullopt), Integer("x", true)});
    ASSERT_EQ(defs.size(), 2u);
    EXPECT_EQ(defs[0].dataType, ftInteger);
    EXPECT_EQ(defs[1].dataType, ftInteger);
}

TEST(DescribeResultTest, AutoIncrementDecidedByTheFirstColumnEvenWhenLeftOut) {
    ColumnDescription unknown = Column("u", 132);
    unknown.isAutoIncrement = false;
    const auto defs = DescribeResult({unknown, Integer("id", true)});
    ASSERT_EQ(defs.size(), 1u);
    EXPECT_EQ(defs[0].dataType, ftAutoInc);
}

TEST(DescribeResultTest, AutoIncrementMissingOnLaterIntegerFails) {
    try {
        DescribeResult({Integer("id", true), Integer("n", std::nullopt)});
        FAIL() << "accepted";
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "Property ISAUTOINCREMENT not found");
    }
    // Columns of other categories are never asked.
    EXPECT_EQ(DescribeResult({Integer("id", true), Column("s", 200, 4), Numeric(131, 12, 0)}).size(), 3u);
}

} // namespace
} // namespace korvista
