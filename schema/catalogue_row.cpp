#include "schema/catalogue_row.h"

#include "support/errors.h"

#include <charconv>

namespace korvista {

std::string CatalogueColumns::Name(std::size_t column) const {
    return column < names_.size() ? names_[column] : "number " + std::to_string(column + 1);
}

void CatalogueColumns::RequireComplete(const QueryRow& row) const {
    if (row.size() < names_.size())
        throw Unreadable("The catalogue gave a row without column " + Name(row.size()) + ".");
}

const std::optional<std::string>& CatalogueColumns::Value(const QueryRow& row, std::size_t column) const {
    if (column >= row.size())
        throw Unreadable("The catalogue gave a row without column " + Name(column) + ".");
    return row[column];
}

const std::string& CatalogueColumns::Text(const QueryRow& row, std::size_t column) const {
    static const std::string empty;
    const std::optional<std::string>& value = Value(row, column);
    return value ? *value : empty;
}

std::optional<std::int64_t> CatalogueColumns::Number(const QueryRow& row, std::size_t column) const {
    const std::optional<std::string>& text = Value(row, column);
    if (!text)
        return std::nullopt;
    std::int64_t value = 0;
    const char* end = text->data() + text->size();
    const auto [stop, error] = std::from_chars(text->data(), end, value);
    if (error != std::errc() || stop != end)
        throw Unreadable("The catalogue gave \"" + *text + "\" in column " + Name(column) +
                         " where a whole number belongs.");
    return value;
}

} // namespace korvista
