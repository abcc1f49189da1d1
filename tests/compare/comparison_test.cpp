#include "compare/comparison.h"

#include <gtest/gtest.h>

#include <QObject>

namespace korvista {
namespace {

class ComparisonTest : public ::testing::Test {
protected:
    const TFieldItem* Field(const std::string& name, TFieldType type, int length, bool nullable) {
        auto* item = new TFieldItem(&owner_);
        item->FieldName = name;
        item->DataType = type;
        item->Length = length;
        item->Nullable = nullable;
        return item;
    }

    static CompareSwitches Switches(bool datatype, bool size, bool null, bool missing) {
        return CompareSwitches{datatype, size, null, missing};
    }

    QObject owner_;
};

TEST_F(ComparisonTest, FieldSummary) {
    EXPECT_EQ(FieldSummary(*Field("a", ftString, 50, false)), "string:50:not-null");
    EXPECT_EQ(FieldSummary(*Field("a", ftDateTime, 0, true)), "date/time:0:null");
    EXPECT_EQ(FieldSummary(*Field("a", ftBCD, -4, true)), "BCD:-4:null");
    EXPECT_EQ(FieldSummary(*Field("a", static_cast<TFieldType>(38), 7, false)), ":7:not-null");
}

TEST_F(ComparisonTest, WorkedExample) {
    const std::vector<const TFieldItem*> db1 = {Field("Id", ftString, 10, false),
                                                Field("Name", ftString, 50, true),
                                                Field("Note", ftString, 200, true)};
    const std::vector<const TFieldItem*> db2 = {Field("ID", ftString, 10, false),
                                                Field("Name", ftString, 60, false)};

    const TableComparison all = CompareTable("Orders", db1, db2, CompareSwitches{});
    EXPECT_EQ(all.rows, (std::vector<ResultRow>{
                            {"Orders", "Name", "string:50:null", "string:60:not-null", "size, nullability"},
                            {"Orders", "Note", "string:200:null", "???", "FIELD MISSING"},
                        }));
    EXPECT_EQ(all.count, 3);

    const TableComparison some = CompareTable("Orders", db1, db2, Switches(true, false, false, true));
    EXPECT_EQ(some.rows,
              (std::vector<ResultRow>{{"Orders", "Note", "string:200:null", "???", "FIELD MISSING"}}));
    EXPECT_EQ(some.count, 1);
}

TEST_F(ComparisonTest, CaseOnlyNameDifference) {
    const std::vector<const TFieldItem*> db1 = {Field("OrderId", ftInteger, 0, false)};
    EXPECT_TRUE(CompareTable("T", db1, {Field("ORDERID", ftInteger, 0, false)}, {}).rows.empty());

    const TableComparison sized = CompareTable("T", db1, {Field("ORDERID", ftInteger, 4, false)}, {});
    ASSERT_EQ(sized.rows.size(), 1u);
    EXPECT_EQ(sized.rows[0].field, "OrderId");
    EXPECT_EQ(sized.rows[0].difference, "size");
    EXPECT_EQ(sized.count, 1);
}

TEST_F(ComparisonTest, AccentedCaseDifferenceIsMissing) {
    const std::vector<const TFieldItem*> db1 = {Field("café", ftString, 5, true)};
    const std::vector<const TFieldItem*> db2 = {Field("CAFÉ", ftString, 5, true)};
    const TableComparison result = CompareTable("T", db1, db2, {});
    EXPECT_EQ(result.rows, (std::vector<ResultRow>{{"T", "café", "string:5:null", "???", "FIELD MISSING"}}));
    EXPECT_EQ(result.count, 1);

    const TableComparison quiet = CompareTable("T", db1, db2, Switches(true, true, true, false));
    EXPECT_TRUE(quiet.rows.empty());
    EXPECT_EQ(quiet.count, 0);
}

TEST_F(ComparisonTest, FirstNamesakeInDatabase2Wins) {
    const std::vector<const TFieldItem*> db1 = {Field("code", ftString, 5, true)};
    // The second namesake would match exactly, but it is never looked at.
    const std::vector<const TFieldItem*> db2 = {Field("CODE", ftString, 9, true),
                                                Field("code", ftString, 5, true)};
    const TableComparison result = CompareTable("T", db1, db2, {});
    EXPECT_EQ(result.rows, (std::vector<ResultRow>{{"T", "code", "string:5:null", "string:9:null", "size"}}));

    const std::vector<const TFieldItem*> exactFirst = {Field("code", ftString, 5, true),
                                                       Field("CODE", ftString, 9, true)};
    EXPECT_TRUE(CompareTable("T", db1, exactFirst, {}).rows.empty());
}

TEST_F(ComparisonTest, RepeatedNamesInDatabase1AreEachCompared) {
    const std::vector<const TFieldItem*> db1 = {Field("Code", ftString, 5, true),
                                                Field("CODE", ftString, 7, true)};
    const std::vector<const TFieldItem*> db2 = {Field("code", ftString, 7, true)};
    const TableComparison result = CompareTable("T", db1, db2, {});
    EXPECT_EQ(result.rows, (std::vector<ResultRow>{{"T", "Code", "string:5:null", "string:7:null", "size"}}));
    EXPECT_EQ(result.count, 1);

    const std::vector<const TFieldItem*> bothDiffer = {Field("Code", ftString, 1, true),
                                                       Field("CODE", ftString, 2, true)};
    const TableComparison two = CompareTable("T", bothDiffer, db2, {});
    ASSERT_EQ(two.rows.size(), 2u);
    EXPECT_EQ(two.rows[0].field, "Code");
    EXPECT_EQ(two.rows[1].field, "CODE");
    EXPECT_EQ(two.count, 2);
}

TEST_F(ComparisonTest, DifferenceTextFollowsTheSwitches) {
    const std::vector<const TFieldItem*> db1 = {Field("x", ftString, 10, true)};
    const std::vector<const TFieldItem*> db2 = {Field("X", ftInteger, 0, false)};
    struct Case {
        CompareSwitches switches;
        const char* text;
        int count;
    };
    const std::vector<Case> cases = {
        {Switches(true, true, true, true), "datatype, size, nullability", 3},
        {Switches(true, true, false, true), "datatype, size", 2},
        {Switches(true, false, true, true), "datatype, nullability", 2},
        {Switches(false, true, true, true), "size, nullability", 2},
        {Switches(true, false, false, true), "datatype", 1},
        {Switches(false, true, false, true), "size", 1},
        {Switches(false, false, true, true), "nullability", 1},
    };
    for (const Case& c : cases) {
        const TableComparison result = CompareTable("T", db1, db2, c.switches);
        ASSERT_EQ(result.rows.size(), 1u) << c.text;
        EXPECT_EQ(result.rows[0], (ResultRow{"T", "x", "string:10:null", "integer:0:not-null", c.text}));
        EXPECT_EQ(result.count, c.count) << c.text;
    }
    const TableComparison none = CompareTable("T", db1, db2, Switches(false, false, false, true));
    EXPECT_TRUE(none.rows.empty());
    EXPECT_EQ(none.count, 0);
}

TEST_F(ComparisonTest, SwitchedOffDifferenceGivesNothing) {
    const std::vector<const TFieldItem*> db1 = {Field("a", ftString, 10, true)};
    const TableComparison result =
        CompareTable("T", db1, {Field("a", ftString, 20, true)}, Switches(true, false, true, true));
    EXPECT_TRUE(result.rows.empty());
    EXPECT_EQ(result.count, 0);
}

TEST_F(ComparisonTest, MissingSwitchAndEmptyLists) {
    const std::vector<const TFieldItem*> db1 = {Field("a", ftString, 10, true),
                                                Field("b", ftInteger, 0, false), Field("c", ftFloat, 0, true),
                                                Field("d", ftMemo, 0, true)};
    const TableComparison missing = CompareTable("Gone", db1, {}, {});
    EXPECT_EQ(missing.rows.size(), 4u);
    EXPECT_EQ(missing.count, 4);
    for (const ResultRow& row : missing.rows) {
        EXPECT_EQ(row.table, "Gone");
        EXPECT_EQ(row.db2, "???");
        EXPECT_EQ(row.difference, "FIELD MISSING");
    }
    EXPECT_EQ(CompareTable("Gone", db1, {}, Switches(true, true, true, false)).count, 0);
    EXPECT_TRUE(CompareTable("Gone", db1, {}, Switches(true, true, true, false)).rows.empty());
    EXPECT_TRUE(CompareTable("Empty", {}, db1, {}).rows.empty());
}

TEST_F(ComparisonTest, NothingDiffers) {
    const std::vector<const TFieldItem*> db1 = {Field("a", ftString, 10, true),
                                                Field("b", ftAutoInc, 0, false)};
    const std::vector<const TFieldItem*> db2 = {
        Field("B", ftAutoInc, 0, false), Field("A", ftString, 10, true), Field("only2", ftBlob, 0, true)};
    const TableComparison result = CompareTable("T", db1, db2, {});
    EXPECT_TRUE(result.rows.empty());
    EXPECT_EQ(result.count, 0);
}

} // namespace
} // namespace korvista
