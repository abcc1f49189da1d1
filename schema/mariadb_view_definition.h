#pragma once

// Reading a MariaDB/MySQL view's definition as the server writes it back, visible to its tests.

#include <optional>
#include <string>
#include <string_view>

namespace korvista {

// A column of a table or view as a view definition names it; `database` is empty when unqualified.
struct ColumnReference {
    std::string database;
    std::string object;
    std::string column;
};

// The column that the view column `column` passes through unchanged, read from the view's definition as
// the server writes it back (information_schema.VIEWS.VIEW_DEFINITION), derived tables followed, as the
// server's own result description sees it. nullopt for an expression, a union, a select the server
// materialises (DISTINCT, GROUP BY, HAVING, LIMIT, aggregates, window functions), and whatever else this
// reading does not follow.
std::optional<ColumnReference> ViewColumnReference(std::string_view definition, std::string_view column);

} // namespace korvista
