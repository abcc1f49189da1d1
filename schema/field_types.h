#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace korvista {

enum TFieldType : std::uint8_t {
    ftUnknown, ftString, ftSmallint, ftInteger, ftWord, ftBoolean, ftFloat, ftCurrency, ftBCD, ftDate,
    ftTime, ftDateTime, ftBytes, ftVarBytes, ftAutoInc, ftBlob, ftMemo, ftGraphic, ftFmtMemo, ftParadoxOle,
    ftDBaseOle, ftTypedBinary, ftCursor, ftFixedChar, ftWideString, ftLargeint, ftADT, ftArray, ftReference,
    ftDataSet, ftOraBlob, ftOraClob, ftVariant, ftInterface, ftIDispatch, ftGuid, ftTimeStamp, ftFMTBcd
};

// Display name of a category; empty text for any value outside 0..37.
std::string DataTypeName(int value);

constexpr std::uint32_t adFldRowID = 0x100;

// What a provider reports for one result column, in ADO's terms.
struct ColumnDescription {
    std::string name;
    std::int32_t type = 0;        // ADO DataTypeEnum code
    std::int32_t definedSize = 0;
    std::uint8_t precision = 0;
    std::uint8_t numericScale = 0;
    std::uint32_t attributes = 0;
    std::optional<bool> isAutoIncrement; // absent when the provider does not offer ISAUTOINCREMENT
    bool acceptsNull = true;
};

// The describing rule's result for one column.
struct FieldDef {
    std::string name;
    TFieldType dataType = ftUnknown;
    std::int32_t size = 0;
    bool required = false;

    bool operator==(const FieldDef&) const = default;
};

// Applies the category rule to a query result's columns; throws korvista::Unreadable("Invalid field size").
std::vector<FieldDef> DescribeResult(const std::vector<ColumnDescription>& columns);

} // namespace korvista
