#pragma once

// One category model for every engine: a logical type, the names each engine declares it by, and the
// ADO description that the describing rule reads. The table itself is in type_model.cpp.

#include "schema/field_types.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvista {

enum class EngineFamily { PostgreSQL, MariaDB, SQLite };

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
    std::vector<std::string_view> postgresql; // format_type names
    std::vector<std::string_view> mariadb;    // information_schema DATA_TYPE names
    std::vector<std::string_view> sqlite;     // declared names, affinity rules for the rest
    std::int32_t adoType;
    std::int32_t unsignedAdoType; // where the engine has an unsigned form; same as adoType otherwise
    SizeRule size;
    std::int32_t fixedSize;       // FixedText only
    std::int32_t unboundedAdoType;// Length only: the code of the type without a length
};

// Every logical type with the names of each engine.
const std::vector<LogicalType>& LogicalTypes();

// The logical type an engine declares by this name (lower case, no arguments); nullptr if unknown.
const LogicalType* FindLogicalType(EngineFamily engine, std::string_view typeName);

// The column in ADO's terms, as the describing rule reads it. An array, and a type name the engine's
// table does not know, follow the engine's fallback: left out for arrays, SQLite's affinity rules on
// SQLite, memo on the others. ISAUTOINCREMENT is offered on every column.
ColumnDescription DescribeDeclared(EngineFamily engine, const DeclaredColumn& column);

// A declared type as SQLite keeps it ("varchar(20)", "DECIMAL (10, 2)", "bigint(20) unsigned",
// "timestamp(3) with time zone", "enum('a','bc')", "int[]") split into name, sizes and flags; labels of
// an enum give their longest length.
DeclaredColumn ParseDeclaredType(std::string_view declaredType);

} // namespace korvista
