#include "schema/provider.h"

#include "schema/schema_reader.h"
#include "support/ascii.h"
#include "support/errors.h"

#include <optional>

namespace korvista {

std::string DatabaseSchema::NameKey(const std::string& name) const {
    return namesIgnoreAsciiCase ? AsciiUpper(name) : name;
}

void DatabaseSchema::MarkReachable(std::size_t index) {
    reachable.emplace(NameKey(tables.at(index).name), index);
}

const TableSchema* DatabaseSchema::Find(const std::string& name) const {
    const auto found = reachable.find(NameKey(name));
    return found == reachable.end() ? nullptr : &tables[found->second];
}

std::vector<ColumnDescription> ProviderSession::DescribeTable(const std::string& table) {
    if (IsPlainIdentifier(table)) {
        try {
            return DescribeQuery(ColumnQueryText(table, "", false));
        } catch (const Unreadable&) {
            // A reserved word such as Order is refused bare; the quoted form below tries again.
        }
    }
    return DescribeQuery(ColumnQueryText(table, IdentifierQuote(), true));
}

} // namespace korvista
