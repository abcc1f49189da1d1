#pragma once

#include "compare/u_Tracker.h"

#include <array>
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

// The captions of a result row's cells, in the window's result list and in every output of the
// command-line tool.
inline constexpr std::array<const char*, 5> kResultCaptions = {"Table", "Veldnaam", "Veld (DB1)", "Veld (DB2)",
                                                               "Verschil"};

struct ResultRow {
    std::string table;
    std::string field;
    std::string db1;
    std::string db2;
    std::string difference;

    bool operator==(const ResultRow&) const = default;
};

// A table whose columns could not be read: the comparison goes on without it and says so.
struct TableError {
    std::string table;
    int database = 1; // 1 or 2
    std::string message;

    bool operator==(const TableError&) const = default;
};

struct TableComparison {
    std::vector<ResultRow> rows;
    std::int32_t count = 0;
    std::vector<TableError> errors = {};

    // Appends another comparison's rows, count and errors.
    void Add(TableComparison&& other);
};

// "string:50:not-null": display name, length, nullability.
std::string FieldSummary(const TFieldItem& field);

// Matches each column of database 1 with its namesake in database 2 and reports what the switches select.
TableComparison CompareTable(const std::string& table, const std::vector<const TFieldItem*>& db1,
                             const std::vector<const TFieldItem*>& db2, const CompareSwitches& switches);

// The columns of database 2 that have no namesake in database 1, each a "FIELD EXTRA" row counting 1.
TableComparison ExtraColumns(const std::string& table, const std::vector<const TFieldItem*>& db1,
                             const std::vector<const TFieldItem*>& db2);

} // namespace korvista
