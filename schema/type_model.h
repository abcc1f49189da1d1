#pragma once

// One category model for every engine: a logical type and the ADO description that the describing rule
// reads. The table itself is in type_model.cpp; the names each engine declares a type by are the engine's
// own, in its dialect's file.

#include "schema/field_types.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvista {

// A column as its table's DDL declares it, in the engine's own words.
struct DeclaredColumn {
    std::string name;
    // The type's name in lower case without its arguments: "character varying", "int", "bigint".
    std::string typeName;
    std::optional<std::int64_t> length;    // characters, bytes or bits, as the type counts
    std::optional<std::int64_t> precision; // numeric precision, or the time precision
    std::optional<std::int64_t> scale;
    bool isUnsigned = false;
    bool notNull = false;
    bool autoIncrement = false; // identity, serial, AUTO_INCREMENT, rowid alias
    bool isArray = false;
};

// How a logical type becomes a size.
enum class SizeRule {
    None,        // fixed code, size 0
    Length,      // DefinedSize is the declared length; no length: `unbounded` code with size 0
    Numeric,     // precision and scale as declared (no precision: 18, no scale: 0)
    Money,       // scale 4
    Bits,        // bit(1) or no length: boolean; bit(n): bytes of size n
    LongestLabel,// DefinedSize is the longest label (the dialect puts it into length)
    FixedText,   // a string as long as the type's longest text form
};

struct LogicalType {
    const char* logical;
    std::int32_t adoType;
    std::int32_t unsignedAdoType; // where the engine has an unsigned form; same as adoType otherwise
    SizeRule size;
    std::int32_t fixedSize;       // FixedText only
    std::int32_t unboundedAdoType;// Length only: the code of the type without a length
};

// Every logical type.
const std::vector<LogicalType>& LogicalTypes();

// The logical type of that name ("varchar"); nullptr if there is none.
const LogicalType* LogicalTypeNamed(std::string_view logical);

// The names an engine declares one logical type by, in lower case without arguments.
struct TypeNames {
    const char* logical;
    std::vector<std::string_view> names;
};

// What an engine makes of a type name that its names do not know.
enum class UnknownTypeRule {
    Memo,          // a type of the engine's own, compared by presence and nullability
    SqliteAffinity // SQLite's column affinity rules
};

// An engine's own words for the logical types.
struct EngineTypes {
    std::vector<TypeNames> names;
    UnknownTypeRule unknown = UnknownTypeRule::Memo;
};

// The logical type the engine declares by this name (any letter case, no arguments); nullptr if unknown.
const LogicalType* FindLogicalType(const EngineTypes& engine, std::string_view typeName);

// The column in ADO's terms, as the describing rule reads it. An array is left out; a type name the
// engine's names do not know follows the engine's UnknownTypeRule. ISAUTOINCREMENT is offered on every
// column.
ColumnDescription DescribeDeclared(const EngineTypes& engine, const DeclaredColumn& column);

// A declared type as SQLite keeps it ("varchar(20)", "DECIMAL (10, 2)", "bigint(20) unsigned",
// "timestamp(3) with time zone", "enum('a','bc')", "int[]") split into name, sizes and flags; labels of
// an enum give their longest length. The engine's names tell which types without a length hold one.
DeclaredColumn ParseDeclaredType(std::string_view declaredType, const EngineTypes& engine);

} // namespace korvista
