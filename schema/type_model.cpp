#include "schema/type_model.h"

#include "support/ascii.h"

#include <algorithm>
#include <limits>

namespace korvista {

namespace {

// ADO DataTypeEnum codes used below.
constexpr std::int32_t adSmallInt = 2, adInteger = 3, adSingle = 4, adDouble = 5, adCurrency = 6,
                       adBoolean = 11, adTinyInt = 16, adUnsignedTinyInt = 17, adUnsignedSmallInt = 18,
                       adUnsignedInt = 19, adBigInt = 20, adUnsignedBigInt = 21, adGUID = 72, adBinary = 128,
                       adChar = 129, adNumeric = 131, adDBDate = 133, adDBTime = 134, adDBTimeStamp = 135,
                       adVarChar = 200, adLongVarChar = 201, adVarBinary = 204, adLongVarBinary = 205;

} // namespace

const std::vector<LogicalType>& LogicalTypes() {
    // clang-format off
    static const std::vector<LogicalType> types = {
        // logical          ADO code        unsigned code       size rule            fixed  unbounded code
        {"tinyint",         adTinyInt,      adUnsignedTinyInt,  SizeRule::None,         0, 0},
        {"smallint",        adSmallInt,     adUnsignedSmallInt, SizeRule::None,         0, 0},
        {"integer",         adInteger,      adUnsignedInt,      SizeRule::None,         0, 0},
        {"bigint",          adBigInt,       adUnsignedBigInt,   SizeRule::None,         0, 0},
        {"unsigned bigint", adUnsignedBigInt, adUnsignedBigInt, SizeRule::None,         0, 0},
        {"object id",       adUnsignedInt,  adUnsignedInt,      SizeRule::None,         0, 0},
        {"numeric",         adNumeric,      adNumeric,          SizeRule::Numeric,      0, 0},
        {"money",           adCurrency,     adCurrency,         SizeRule::Money,        0, 0},
        {"real",            adSingle,       adSingle,           SizeRule::None,         0, 0},
        {"double",          adDouble,       adDouble,           SizeRule::None,         0, 0},
        {"boolean",         adBoolean,      adBoolean,          SizeRule::None,         0, 0},
        {"bit",             adBoolean,      adBoolean,          SizeRule::Bits,         0, 0},
        {"bit varying",     adVarBinary,    adVarBinary,        SizeRule::Length,       0, adLongVarBinary},
        {"char",            adChar,         adChar,             SizeRule::Length,       0, adLongVarChar},
        {"varchar",         adVarChar,      adVarChar,          SizeRule::Length,       0, adLongVarChar},
        {"name",            adVarChar,      adVarChar,          SizeRule::FixedText,   63, 0},
        {"text",            adLongVarChar,  adLongVarChar,      SizeRule::None,         0, 0},
        {"json",            adLongVarChar,  adLongVarChar,      SizeRule::None,         0, 0},
        {"xml",             adLongVarChar,  adLongVarChar,      SizeRule::None,         0, 0},
        {"binary",          adBinary,       adBinary,           SizeRule::Length,       0, adLongVarBinary},
        {"varbinary",       adVarBinary,    adVarBinary,        SizeRule::Length,       0, adLongVarBinary},
        {"blob",            adLongVarBinary, adLongVarBinary,   SizeRule::None,         0, 0},
        {"date",            adDBDate,       adDBDate,           SizeRule::None,         0, 0},
        {"time",            adDBTime,       adDBTime,           SizeRule::None,         0, 0},
        {"timestamp",       adDBTimeStamp,  adDBTimeStamp,      SizeRule::None,         0, 0},
        {"year",            adSmallInt,     adSmallInt,         SizeRule::None,         0, 0},
        {"uuid",            adGUID,         adGUID,             SizeRule::None,         0, 0},
        {"enum",            adVarChar,      adVarChar,          SizeRule::LongestLabel, 0, 0},
        // "::ffff:255.255.255.255" is shorter than eight groups of four: 39 characters and "/128".
        {"inet",            adVarChar,      adVarChar,          SizeRule::FixedText,   43, 0},
        {"macaddr",         adVarChar,      adVarChar,          SizeRule::FixedText,   17, 0},
        {"macaddr8",        adVarChar,      adVarChar,          SizeRule::FixedText,   23, 0},
        // "-178956970 years -8 mons -2147483648 days -2562047788:00:54.775807"
        {"interval",        adVarChar,      adVarChar,          SizeRule::FixedText,   66, 0},
    };
    // clang-format on
    return types;
}

const LogicalType* LogicalTypeNamed(std::string_view logical) {
    for (const LogicalType& type : LogicalTypes())
        if (logical == type.logical)
            return &type;
    return nullptr;
}

const LogicalType* FindLogicalType(const EngineTypes& engine, std::string_view typeName) {
    const std::string name = AsciiLower(typeName);
    for (const TypeNames& type : engine.names)
        if (std::find(type.names.begin(), type.names.end(), name) != type.names.end())
            return LogicalTypeNamed(type.logical);
    return nullptr;
}

namespace {

std::int32_t ClampInt32(std::int64_t value) {
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(value, std::numeric_limits<std::int32_t>::min(),
                                                              std::numeric_limits<std::int32_t>::max()));
}

std::uint8_t ClampByte(std::int64_t value) {
    return static_cast<std::uint8_t>(std::clamp<std::int64_t>(value, 0, 255));
}

bool Contains(const std::string& name, std::string_view part) {
    return name.find(part) != std::string::npos;
}

// SQLite's column affinity rules, in SQLite's order, for names the table does not know.
const LogicalType* SqliteAffinity(const std::string& name, bool hasLength) {
    const auto byName = LogicalTypeNamed;
    if (Contains(name, "int"))
        return byName("integer");
    if (Contains(name, "char") || Contains(name, "clob") || Contains(name, "text"))
        return byName(hasLength ? "varchar" : "text");
    if (name.empty() || Contains(name, "blob"))
        return byName("blob");
    if (Contains(name, "real") || Contains(name, "floa") || Contains(name, "doub"))
        return byName("double");
    return byName("numeric");
}

} // namespace

ColumnDescription DescribeDeclared(const EngineTypes& engine, const DeclaredColumn& column) {
    ColumnDescription result;
    result.name = column.name;
    result.acceptsNull = !column.notNull;
    result.isAutoIncrement = column.autoIncrement;
    if (column.isArray)
        return result; // code 0: left out, as ADO leaves out array types

    const LogicalType* type = FindLogicalType(engine, column.typeName);
    if (!type && engine.unknown == UnknownTypeRule::SqliteAffinity)
        type = SqliteAffinity(AsciiLower(column.typeName), column.length.has_value());
    if (!type) {
        result.type = adLongVarChar; // a type of the engine's own, compared by presence and nullability
        return result;
    }

    result.type = column.isUnsigned ? type->unsignedAdoType : type->adoType;
    switch (type->size) {
    case SizeRule::None:
        break;
    case SizeRule::Length:
        if (column.length)
            result.definedSize = ClampInt32(*column.length);
        else
            result.type = type->unboundedAdoType;
        break;
    case SizeRule::Numeric:
        result.precision = ClampByte(column.precision.value_or(18));
        result.numericScale = ClampByte(column.scale.value_or(0));
        break;
    case SizeRule::Money:
        result.precision = 19;
        result.numericScale = 4;
        break;
    case SizeRule::Bits:
        if (column.length.value_or(1) > 1) {
            result.type = adBinary;
            result.definedSize = ClampInt32(*column.length);
        }
        break;
    case SizeRule::LongestLabel:
        result.definedSize = ClampInt32(column.length.value_or(0));
        break;
    case SizeRule::FixedText:
        result.definedSize = type->fixedSize;
        break;
    }
    return result;
}

namespace {

bool IsBlank(char c) {
    return IsAnyOf(c, kAsciiSpaces);
}

std::string CollapseBlanks(std::string_view text) {
    std::string result;
    bool pendingBlank = false;
    for (char c : text) {
        if (IsBlank(c)) {
            pendingBlank = !result.empty();
            continue;
        }
        if (pendingBlank)
            result += ' ';
        pendingBlank = false;
        result += c;
    }
    return result;
}

// A signed whole number; anything else counts as no size at all.
std::optional<std::int64_t> ParseNumber(std::string_view text) {
    text = TrimAscii(text, kAsciiSpaces);
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty())
        return std::nullopt;
    constexpr std::int64_t limit = std::numeric_limits<std::int64_t>::max() / 10 - 10;
    std::int64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        if (value < limit) // saturate: only clamped values are used further on
            value = value * 10 + (c - '0');
    }
    return negative ? -value : value;
}

// The arguments between the first "(" and its ")", split at commas outside quotes; quoted arguments
// keep their text without the quotes (a doubled quote stands for one).
struct Arguments {
    std::vector<std::string> values;
    bool quoted = false;
    std::size_t open = std::string_view::npos;
    std::size_t close = std::string_view::npos;
};

Arguments SplitArguments(std::string_view text) {
    Arguments args;
    args.open = text.find('(');
    if (args.open == std::string_view::npos)
        return args;
    std::string current;
    char quote = 0;
    std::size_t i = args.open + 1;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (quote) {
            if (c == quote) {
                if (i + 1 < text.size() && text[i + 1] == quote) {
                    current += c;
                    ++i;
                } else {
                    quote = 0;
                }
            } else {
                current += c;
            }
        } else if (c == '\'' || c == '"') {
            quote = c;
            args.quoted = true;
        } else if (c == ',') {
            args.values.push_back(current);
            current.clear();
        } else if (c == ')') {
            break;
        } else {
            current += c;
        }
    }
    args.values.push_back(current);
    args.close = i;
    return args;
}

std::size_t CodePoints(const std::string& text) {
    std::size_t count = 0;
    for (char c : text)
        count += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return count;
}

bool EndsWithWord(const std::string& text, std::string_view word) {
    return text.size() > word.size() && text.compare(text.size() - word.size(), word.size(), word) == 0 &&
           text[text.size() - word.size() - 1] == ' ';
}

} // namespace

DeclaredColumn ParseDeclaredType(std::string_view declaredType, const EngineTypes& engine) {
    DeclaredColumn column;
    const Arguments args = SplitArguments(declaredType);
    std::string name(declaredType.substr(0, args.open));
    if (args.open != std::string_view::npos && args.close < declaredType.size())
        name += " " + std::string(declaredType.substr(args.close + 1));
    name = AsciiLower(CollapseBlanks(name));

    if (name.size() >= 2 && name.compare(name.size() - 2, 2, "[]") == 0) {
        column.isArray = true;
        name = CollapseBlanks(name.substr(0, name.size() - 2));
    }
    for (bool stripped = true; stripped;) {
        stripped = false;
        for (std::string_view word : {"unsigned", "signed", "zerofill"}) {
            if (EndsWithWord(name, word)) {
                column.isUnsigned |= word != "signed";
                name.resize(name.size() - word.size() - 1);
                stripped = true;
            }
        }
    }
    column.typeName = name;

    if (args.open == std::string_view::npos) {
        // Standard SQL: CHARACTER and BINARY without a length hold one character or byte.
        if (const LogicalType* type = FindLogicalType(engine, name))
            if (std::string_view(type->logical) == "char" || std::string_view(type->logical) == "binary")
                column.length = 1;
        return column;
    }
    if (args.quoted) {
        std::int64_t longest = 0;
        for (const std::string& label : args.values)
            longest = std::max<std::int64_t>(longest, static_cast<std::int64_t>(CodePoints(label)));
        column.length = longest;
        return column;
    }
    const std::optional<std::int64_t> first = ParseNumber(args.values[0]);
    const std::optional<std::int64_t> second =
        args.values.size() > 1 ? ParseNumber(args.values[1]) : std::optional<std::int64_t>();
    column.length = first;
    column.precision = first;
    column.scale = second;
    return column;
}

} // namespace korvista
