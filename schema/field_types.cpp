#include "schema/field_types.h"

#include "support/ascii.h"
#include "support/errors.h"

#include <QByteArray>
#include <QSet>
#include <QString>
#include <algorithm>
#include <array>
#include <string_view>

namespace korvista {

namespace {

constexpr std::array<std::string_view, 38> kTypeNames = {
    "Unknown",    "string",    "smallint",  "integer",   "word",      "boolean",     "float",   "currency",
    "BCD",        "date",      "time",      "date/time", "bytes",     "varbytes",    "autoinc", "blob",
    "memo",       "graphic",   "fmtmemo",   "paradox",   "dbase",     "typedbinary", "cursor",  "fixedchar",
    "widestring", "largeint",  "ADT",       "array",     "reference", "dataset",     "OraBlob", "OraClob",
    "variant",    "interface", "idispatch", "GUID",      "timestamp", "FmtBCD"};

TFieldType CategoryOf(std::int32_t adoType) {
    switch (adoType) {
    case 2:  // adSmallInt
    case 16: // adTinyInt
        return ftSmallint;
    case 3:  // adInteger
    case 10: // adError
    case 19: // adUnsignedInt
        return ftInteger;
    case 4: // adSingle
    case 5: // adDouble
        return ftFloat;
    case 6:   // adCurrency
    case 14:  // adDecimal
    case 131: // adNumeric
    case 139: // adVarNumeric
        return ftBCD;
    case 7:   // adDate
    case 64:  // adFileTime
    case 135: // adDBTimeStamp
    case 137: // adDBFileTime
        return ftDateTime;
    case 8:   // adBSTR
    case 130: // adWChar
    case 202: // adVarWChar
        return ftWideString;
    case 9:
        return ftIDispatch;
    case 11:
        return ftBoolean;
    case 12:  // adVariant
    case 138: // adPropVariant
        return ftVariant;
    case 13:
        return ftInterface;
    case 17: // adUnsignedTinyInt
    case 18: // adUnsignedSmallInt
        return ftWord;
    case 20: // adBigInt
    case 21: // adUnsignedBigInt
        return ftLargeint;
    case 72:
        return ftGuid;
    case 128:
        return ftBytes;
    case 129: // adChar: fixed-length text counts as ordinary text
    case 200: // adVarChar
        return ftString;
    case 133:
        return ftDate;
    case 134:
        return ftTime;
    case 136:
        return ftDataSet;
    case 201: // adLongVarChar
    case 203: // adLongVarWChar
        return ftMemo;
    case 204:
        return ftVarBytes;
    case 205:
        return ftBlob;
    default:
        return ftUnknown;
    }
}

std::int32_t ScaleSize(std::uint8_t numericScale) {
    const auto scale = static_cast<std::int8_t>(numericScale);
    return scale < 0 ? 4 : scale;
}

bool SizeAllowed(TFieldType type, std::int32_t size) {
    switch (type) {
    case ftString:
    case ftWideString:
        return size >= 0;
    case ftBytes:
    case ftVarBytes:
        return size != 0;
    case ftBCD:
        return size <= 32;
    case ftGuid:
        return size == 38;
    case ftMemo:
    case ftBlob:
    case ftDataSet:
    case ftVariant:
    case ftInterface:
    case ftIDispatch:
        return true;
    default:
        return size == 0;
    }
}

// Names compare without letter case as Unicode defines it; the case-folded form is the lookup key.
class UsedNames {
public:
    // Adds the name unless it is taken; false when it was.
    bool TryAdd(const std::string& name) {
        const qsizetype before = names_.size();
        names_.insert(Key(name));
        return names_.size() != before;
    }

private:
    static QString Key(const std::string& name) {
        // ASCII folds to its lower case; decoding and folding the whole text would give the same.
        const auto isAscii = [](char c) { return static_cast<unsigned char>(c) < 0x80; };
        if (std::all_of(name.begin(), name.end(), isAscii)) {
            QString key(static_cast<qsizetype>(name.size()) + 1, Qt::Uninitialized);
            key[0] = QChar(u'u');
            for (std::size_t i = 0; i < name.size(); ++i) {
                const char c = name[i];
                const auto folded = static_cast<char16_t>(AsciiLower(c));
                key[static_cast<qsizetype>(i) + 1] = QChar(folded);
            }
            return key;
        }
        const QByteArray bytes(name.data(), static_cast<qsizetype>(name.size()));
        const QString text = QString::fromUtf8(bytes);
        if (text.toUtf8() == bytes)
            return QChar(u'u') + text.toCaseFolded();
        // Names that are not UTF-8 would all decode to U+FFFD and collide; of those only A..Z fold.
        QString key = QChar(u'b');
        for (char c : name) {
            const auto byte = static_cast<unsigned char>(AsciiLower(c));
            key += QChar(static_cast<char16_t>(byte));
        }
        return key;
    }
    QSet<QString> names_;
};

// The first free name of the column's candidates, taken at once.
std::string UniqueName(const std::string& name, UsedNames& used) {
    if (!name.empty() && used.TryAdd(name))
        return name;
    for (int n = 1;; ++n) {
        std::string candidate = name.empty() ? "COLUMN" + std::to_string(n) : name + "_" + std::to_string(n);
        if (used.TryAdd(candidate))
            return candidate;
    }
}

} // namespace

std::string DataTypeName(int value) {
    if (value < 0 || value >= static_cast<int>(kTypeNames.size()))
        return {};
    return std::string(kTypeNames[static_cast<std::size_t>(value)]);
}

std::vector<FieldDef> DescribeResult(const std::vector<ColumnDescription>& columns) {
    // The first column decides whether the provider offers the property at all.
    const bool detectAutoInc = !columns.empty() && columns.front().isAutoIncrement.has_value();

    std::vector<FieldDef> result;
    UsedNames used;
    for (const ColumnDescription& column : columns) {
        FieldDef def;
        def.dataType = CategoryOf(column.type);
        if (def.dataType == ftUnknown)
            continue;

        def.name = UniqueName(column.name, used);

        if (column.type == 131 && column.numericScale == 0 && column.precision < 10)
            def.dataType = ftInteger;

        switch (def.dataType) {
        case ftString:
        case ftWideString:
        case ftBytes:
        case ftVarBytes:
            def.size = column.definedSize;
            break;
        case ftBCD:
            def.size = ScaleSize(column.numericScale);
            break;
        case ftGuid:
            def.size = 38;
            break;
        default:
            def.size = 0;
            break;
        }

        if (def.dataType == ftInteger && detectAutoInc) {
            if (!column.isAutoIncrement.has_value())
                throw Unreadable("Property ISAUTOINCREMENT not found");
            if (*column.isAutoIncrement)
                def.dataType = ftAutoInc;
        }

        def.required = !column.acceptsNull;

        if (!SizeAllowed(def.dataType, def.size))
            throw Unreadable("Invalid field size");

        // A row identifier keeps its name reserved but stays out of the result.
        if ((column.attributes & adFldRowID) == 0)
            result.push_back(std::move(def));
    }
    return result;
}

} // namespace korvista
