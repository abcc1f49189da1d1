#pragma once

// Pieces of the MariaDB/MySQL dialect that read the server's own texts, visible to their tests.

#include "schema/mariadb_view_definition.h"

#include <cstdint>
#include <optional>
#include <string_view>

namespace korvista {

// The character count of the longest label of an ENUM or SET as COLUMN_TYPE writes it
// ("set('a','it''s','a\\b')"); nullopt when the text has no labels.
std::optional<std::int64_t> LongestLabel(std::string_view columnType);

} // namespace korvista
