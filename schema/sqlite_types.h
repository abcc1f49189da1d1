#pragma once

#include <cstdint>
#include <string_view>

namespace korvista {

// How the SQLite provider reports a declared column type in ADO's terms.
struct SqliteTypeInfo {
    std::int32_t type = 0; // ADO DataTypeEnum code
    std::int32_t definedSize = 0;
    std::uint8_t precision = 0;
    std::uint8_t numericScale = 0;

    bool operator==(const SqliteTypeInfo&) const = default;
};

// Maps a declared type as SQLite keeps it ("varchar(20)", "DECIMAL (10, 2)", "" for none) to an ADO
// type code with sizes; names it does not know follow SQLite's own affinity rules.
SqliteTypeInfo MapSqliteDeclaredType(std::string_view declaredType);

} // namespace korvista
