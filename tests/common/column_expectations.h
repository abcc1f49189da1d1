#pragma once

// Two readings of the same columns compared field by field, so that a failure names the column and field.

#include "schema/field_types.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace korvista::testing {

inline void ExpectSameColumns(const std::vector<ColumnDescription>& a, const std::vector<ColumnDescription>& b,
                       const std::string& what) {
    ASSERT_EQ(a.size(), b.size()) << what;
    for (std::size_t i = 0; i < a.size(); ++i) {
        EXPECT_EQ(a[i].name, b[i].name) << what;
        EXPECT_EQ(a[i].type, b[i].type) << what << "." << a[i].name;
        EXPECT_EQ(a[i].definedSize, b[i].definedSize) << what << "." << a[i].name;
        EXPECT_EQ(a[i].precision, b[i].precision) << what << "." << a[i].name;
        EXPECT_EQ(a[i].numericScale, b[i].numericScale) << what << "." << a[i].name;
        EXPECT_EQ(a[i].acceptsNull, b[i].acceptsNull) << what << "." << a[i].name;
        EXPECT_EQ(a[i].isAutoIncrement, b[i].isAutoIncrement) << what << "." << a[i].name;
    }
}

} // namespace korvista::testing
