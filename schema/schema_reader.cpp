#include "schema/schema_reader.h"

#include "support/errors.h"
#include "support/u_Utility.h"

#include <cstddef>
#include <optional>

namespace korvista {

namespace {

bool IsLetterOrUnderscore(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}

bool IsPlainIdentifier(const std::string& name) {
    if (name.empty() || !IsLetterOrUnderscore(name.front()))
        return false;
    for (char c : name) {
        if (!IsLetterOrUnderscore(c) && !(c >= '0' && c <= '9'))
            return false;
    }
    return true;
}

bool EqualsNoCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; };
        if (upper(a[i]) != upper(b[i]))
            return false;
    }
    return true;
}

std::size_t FindColumn(const Rowset& rowset, const std::string& name) {
    for (std::size_t i = 0; i < rowset.columns.size(); ++i) {
        if (EqualsNoCase(rowset.columns[i], name))
            return i;
    }
    throw Error(Format("Field '%s' not found", {name}));
}

std::string Quote(const std::string& name, const std::string& quote) {
    std::string result = quote;
    for (std::size_t pos = 0; pos < name.size();) {
        if (name.compare(pos, quote.size(), quote) == 0) {
            result += quote + quote;
            pos += quote.size();
        } else {
            result += name[pos++];
        }
    }
    return result + quote;
}

} // namespace

void GetTableNames(TADOConnection& connection, std::vector<std::string>& target, bool systemTables) {
    if (!connection.Connected())
        connection.Open();
    const Rowset catalogue = connection.Session().TableCatalogue(systemTables);
    const std::size_t typeColumn = FindColumn(catalogue, "TABLE_TYPE");
    const std::size_t nameColumn = FindColumn(catalogue, "TABLE_NAME");

    target.clear();
    for (const auto& row : catalogue.rows) {
        if (typeColumn >= row.size() || nameColumn >= row.size())
            throw Error("The table catalogue holds an incomplete row.");
        const std::string& type = row[typeColumn];
        if (type == "TABLE" || type == "VIEW" || (systemTables && type == "SYSTEM TABLE"))
            target.push_back(row[nameColumn]);
    }
}

std::string ColumnQueryText(const std::string& tableName, const std::string& quote, bool quoted) {
    if (!quoted && IsPlainIdentifier(tableName))
        return Format("Select * from %s where 1=2", {tableName});
    // A blank is how ODBC says that the driver has no quote character.
    if (quote.empty() || quote.find_first_not_of(' ') == std::string::npos)
        throw Error(Format("Table name '%s' cannot be quoted for this provider", {tableName}));
    return Format("Select * from %s where 1=2", {Quote(tableName, quote)});
}

std::vector<FieldDef> ReadTableFields(TADOConnection& connection, const std::string& tableName) {
    if (!connection.Connected())
        throw Error("The connection is not open.");
    ProviderSession& session = connection.Session();

    std::optional<std::vector<ColumnDescription>> columns;
    if (IsPlainIdentifier(tableName)) {
        try {
            columns = session.DescribeQuery(ColumnQueryText(tableName, "", false));
        } catch (const Error&) {
            // A reserved word such as Order is refused bare; the quoted form below tries again.
        }
    }
    if (!columns)
        columns = session.DescribeQuery(ColumnQueryText(tableName, session.IdentifierQuote(), true));
    return DescribeResult(*columns);
}

} // namespace korvista
