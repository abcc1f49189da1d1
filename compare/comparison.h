#pragma once

#include "compare/u_Tracker.h"

#include <cstdint>
#include <string>
#include <vector>

namespace korvista {

struct CompareSwitches {
    bool datatype = true;
    bool size = true;
    bool null = true;
    bool missing = true;
};

struct ResultRow {
    std::string table;
    std::string field;
    std::string db1;
    std::string db2;
    std::string difference;

    bool operator==(const ResultRow&) const = default;
};

struct TableComparison {
    std::vector<ResultRow> rows;
    std::int32_t count = 0;
};

// "string:50:not-null": display name, length, nullability.
std::string FieldSummary(const TFieldItem& field);

// Matches each column of database 1 with its namesake in database 2 and reports what the switches select.
TableComparison CompareTable(const std::string& table, const std::vector<const TFieldItem*>& db1,
                             const std::vector<const TFieldItem*>& db2, const CompareSwitches& switches);

} // namespace korvista
