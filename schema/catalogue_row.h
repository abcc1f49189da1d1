#pragma once

// One way of reading a catalogue query's rows for every dialect: a value that is missing or malformed is
// an error that names the column, never a quiet default; NULL stays NULL where a value is optional.

#include "schema/catalogue_dialect.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace korvista {

class CatalogueColumns {
public:
    // The query's result columns in order, as errors name them.
    explicit CatalogueColumns(std::vector<std::string> names) : names_(std::move(names)) {}

    // Throws korvista::Unreadable unless the row has every column.
    void RequireComplete(const QueryRow& row) const;

    // The value in that column, nullopt for NULL; throws korvista::Unreadable when the row lacks it.
    const std::optional<std::string>& Value(const QueryRow& row, std::size_t column) const;
    // The same with NULL as the empty text.
    const std::string& Text(const QueryRow& row, std::size_t column) const;
    // A whole number in decimal, nullopt for NULL; throws korvista::Unreadable naming the column and the
    // value when it is anything else.
    std::optional<std::int64_t> Number(const QueryRow& row, std::size_t column) const;

private:
    std::string Name(std::size_t column) const;

    std::vector<std::string> names_;
};

} // namespace korvista
