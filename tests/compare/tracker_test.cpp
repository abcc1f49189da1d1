#include "compare/u_Tracker.h"

#include <gtest/gtest.h>

#include <QObject>
#include <QPointer>
#include <memory>

namespace korvista {
namespace {

class FieldItemTest : public ::testing::Test {
protected:
    std::unique_ptr<TFieldItem> Make(const std::string& name, TFieldType type, int length, bool nullable) {
        auto item = std::make_unique<TFieldItem>(nullptr);
        item->FieldName = name;
        item->DataType = type;
        item->Length = length;
        item->Nullable = nullable;
        return item;
    }
};

TEST_F(FieldItemTest, Defaults) {
    TFieldItem item(nullptr);
    EXPECT_EQ(item.FieldName, "");
    EXPECT_EQ(item.DataType, ftUnknown);
    EXPECT_EQ(item.Length, 0);
    EXPECT_FALSE(item.Nullable);
    TFieldItem other(nullptr);
    EXPECT_TRUE(item.IsEqual(&other));
}

TEST_F(FieldItemTest, NamesMatchWithAsciiCaseOnly) {
    auto a = Make("CustomerID", ftString, 10, false);
    EXPECT_TRUE(a->IsEqual(Make("customerid", ftString, 10, false).get()));
    EXPECT_TRUE(Make("customerid", ftString, 10, false)->IsEqual(a.get()));
    EXPECT_FALSE(Make("café", ftString, 10, false)->IsEqual(Make("CAFÉ", ftString, 10, false).get()));
    EXPECT_FALSE(Make("Straße", ftString, 10, false)->IsEqual(Make("STRASSE", ftString, 10, false).get()));
    EXPECT_FALSE(Make("Name", ftString, 10, false)->IsEqual(Make("Name ", ftString, 10, false).get()));
    EXPECT_FALSE(Make("Name", ftString, 10, false)->IsEqual(Make("Nam", ftString, 10, false).get()));
}

TEST_F(FieldItemTest, EachPropertyAloneBreaksTheMatch) {
    auto base = Make("Name", ftString, 50, true);
    EXPECT_TRUE(base->IsEqual(Make("Name", ftString, 50, true).get()));
    EXPECT_FALSE(base->IsEqual(Make("Other", ftString, 50, true).get()));
    EXPECT_FALSE(base->IsEqual(Make("Name", ftString, 60, true).get()));
    EXPECT_FALSE(base->IsEqual(Make("Name", ftString, -50, true).get()));
    EXPECT_FALSE(base->IsEqual(Make("Name", ftWideString, 50, true).get()));
    EXPECT_FALSE(base->IsEqual(Make("Name", ftString, 50, false).get()));
}

TEST_F(FieldItemTest, SelfMatches) {
    auto item = Make("Id", ftAutoInc, 0, false);
    EXPECT_TRUE(item->IsEqual(item.get()));
}

TEST_F(FieldItemTest, NonDescriptorsMatchNothing) {
    auto item = Make("", ftUnknown, 0, false);
    TCustomTrackerItem base(nullptr);
    EXPECT_FALSE(item->IsEqual(nullptr));
    EXPECT_FALSE(item->IsEqual(&base));
}

TEST(CustomTrackerItemTest, MatchesNothingNotEvenItself) {
    TCustomTrackerItem base(nullptr);
    TCustomTrackerItem other(nullptr);
    TFieldItem field(nullptr);
    EXPECT_FALSE(base.IsEqual(&base));
    EXPECT_FALSE(base.IsEqual(&other));
    EXPECT_FALSE(base.IsEqual(&field));
    EXPECT_FALSE(base.IsEqual(nullptr));
}

TEST(TrackerOwnershipTest, OwnerDestroysWhatItStillOwns) {
    QPointer<TFieldItem> kept;
    QPointer<TFieldItem> deletedEarly;
    {
        QObject owner;
        kept = new TFieldItem(&owner);
        deletedEarly = new TFieldItem(&owner);
        auto* base = new TCustomTrackerItem(&owner);
        EXPECT_EQ(owner.children().size(), 3);
        EXPECT_EQ(kept->parent(), &owner);

        delete deletedEarly.data();
        EXPECT_TRUE(deletedEarly.isNull());
        EXPECT_EQ(owner.children().size(), 2);
        EXPECT_FALSE(owner.children().contains(deletedEarly.data()));
        EXPECT_TRUE(owner.children().contains(base));
    }
    EXPECT_TRUE(kept.isNull());
}

} // namespace
} // namespace korvista
