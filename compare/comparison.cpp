#include "compare/comparison.h"

#include "schema/field_types.h"
#include "support/ascii.h"

#include <algorithm>
#include <iterator>

namespace korvista {

std::string FieldSummary(const TFieldItem& field) {
    return DataTypeName(field.DataType) + ":" + std::to_string(field.Length) + ":" +
           (field.Nullable ? "null" : "not-null");
}

void TableComparison::Add(TableComparison&& other) {
    count += other.count;
    rows.insert(rows.end(), std::make_move_iterator(other.rows.begin()), std::make_move_iterator(other.rows.end()));
    errors.insert(errors.end(), std::make_move_iterator(other.errors.begin()),
                  std::make_move_iterator(other.errors.end()));
}

TableComparison ExtraColumns(const std::string& table, const std::vector<const TFieldItem*>& db1,
                             const std::vector<const TFieldItem*>& db2) {
    std::vector<std::string> db1Names;
    db1Names.reserve(db1.size());
    for (const TFieldItem* d1 : db1)
        if (d1 != nullptr)
            db1Names.push_back(AsciiUpper(d1->FieldName));
    TableComparison result;
    for (const TFieldItem* d2 : db2) {
        if (d2 == nullptr)
            continue;
        const std::string name = AsciiUpper(d2->FieldName);
        if (std::find(db1Names.begin(), db1Names.end(), name) != db1Names.end())
            continue;
        ++result.count;
        result.rows.push_back({table, d2->FieldName, "???", FieldSummary(*d2), "FIELD EXTRA"});
    }
    return result;
}

TableComparison CompareTable(const std::string& table, const std::vector<const TFieldItem*>& db1,
                             const std::vector<const TFieldItem*>& db2, const CompareSwitches& switches) {
    // Upper-cased once: the namesake search would otherwise redo it for every pair.
    std::vector<std::string> db2Names;
    db2Names.reserve(db2.size());
    for (const TFieldItem* d2 : db2)
        db2Names.push_back(d2 != nullptr ? AsciiUpper(d2->FieldName) : std::string());

    TableComparison result;
    for (const TFieldItem* d1 : db1) {
        if (d1 == nullptr)
            continue;
        const std::string name = AsciiUpper(d1->FieldName);
        const TFieldItem* d2 = nullptr;
        for (std::size_t i = 0; i < db2.size(); ++i) {
            if (db2[i] != nullptr && db2Names[i] == name) {
                d2 = db2[i];
                break;
            }
        }

        if (d2 == nullptr) {
            if (switches.missing) {
                ++result.count;
                result.rows.push_back({table, d1->FieldName, FieldSummary(*d1), "???", "FIELD MISSING"});
            }
            continue;
        }
        if (d1->IsEqual(d2))
            continue;

        std::string difference;
        if (switches.datatype && d1->DataType != d2->DataType) {
            difference += "datatype, ";
            ++result.count;
        }
        if (switches.size && d1->Length != d2->Length) {
            difference += "size, ";
            ++result.count;
        }
        if (switches.null && d1->Nullable != d2->Nullable) {
            difference += "nullability, ";
            ++result.count;
        }
        if (difference.empty())
            continue;
        difference.resize(difference.size() - 2);
        result.rows.push_back({table, d1->FieldName, FieldSummary(*d1), FieldSummary(*d2), difference});
    }
    return result;
}

} // namespace korvista
