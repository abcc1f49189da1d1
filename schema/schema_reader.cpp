#include "schema/schema_reader.h"

#include "support/ascii.h"
#include "support/errors.h"
#include "support/u_Utility.h"

#include <algorithm>
#include <cstddef>
#include <optional>

namespace korvista {

namespace {

std::size_t FindColumn(const Rowset& rowset, const std::string& name) {
    for (std::size_t i = 0; i < rowset.columns.size(); ++i) {
        if (AsciiEqualsNoCase(rowset.columns[i], name))
            return i;
    }
    throw Unreadable(Format("Field '%s' not found", {name}));
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

bool IsLetterOrUnderscore(char c) {
    return IsAsciiLetter(c) || c == '_';
}

std::vector<std::string> TableNamesOf(const Rowset& catalogue, bool systemTables) {
    const std::size_t typeColumn = FindColumn(catalogue, "TABLE_TYPE");
    const std::size_t nameColumn = FindColumn(catalogue, "TABLE_NAME");
    std::vector<std::string> names;
    for (const auto& row : catalogue.rows) {
        if (typeColumn >= row.size() || nameColumn >= row.size())
            throw Unreadable("The table catalogue holds an incomplete row.");
        const std::string& type = row[typeColumn];
        if (type == "TABLE" || type == "VIEW" || (systemTables && type == "SYSTEM TABLE"))
            names.push_back(row[nameColumn]);
    }
    return names;
}

// Whether the engine reaches a described table under its name with every letter a-z swapped in case;
// the name so swapped must not be listed itself. False when no table gives such a name.
bool ResolvesOtherLetterCase(ProviderSession& session, const DatabaseSchema& schema) {
    for (const TableSchema& table : schema.tables) {
        if (!table.error.empty() || schema.Find(table.name) != &table)
            continue;
        std::string swapped = table.name;
        for (char& c : swapped)
            c = c == AsciiUpper(c) ? AsciiLower(c) : AsciiUpper(c);
        if (swapped == table.name || schema.Find(swapped) != nullptr)
            continue;
        try {
            session.DescribeTable(swapped);
            return true;
        } catch (const Unreadable&) {
            return false;
        }
    }
    return false;
}

// A lost connection is dead: it is closed, so that the window no longer offers what needs it and the
// next "Openen databases" connects anew instead of reusing it.
template <class F> auto ClosingOnLoss(TADOConnection& connection, F&& read) -> decltype(read()) {
    try {
        return read();
    } catch (const ConnectionLost&) {
        connection.Close();
        throw;
    }
}

DatabaseSchema ReadWholeSchema(ProviderSession& session);

} // namespace

bool IsPlainIdentifier(const std::string& name) {
    if (name.empty() || !IsLetterOrUnderscore(name.front()))
        return false;
    for (char c : name) {
        if (!IsLetterOrUnderscore(c) && !IsAsciiDigit(c))
            return false;
    }
    return true;
}

void GetTableNames(TADOConnection& connection, std::vector<std::string>& target, bool systemTables) {
    if (!connection.Connected())
        connection.Open();
    std::vector<std::string> names = TableNamesOf(
        ClosingOnLoss(connection, [&] { return connection.Session().TableCatalogue(systemTables); }), systemTables);
    target = std::move(names);
}

std::string ColumnQueryText(const std::string& tableName, const std::string& quote, bool quoted) {
    if (!quoted && IsPlainIdentifier(tableName))
        return Format("Select * from %s where 1=2", {tableName});
    // A blank is how ODBC says that the driver has no quote character.
    if (quote.empty() || quote.find_first_not_of(' ') == std::string::npos)
        throw Unreadable(Format("Table name '%s' cannot be quoted for this provider", {tableName}));
    return Format("Select * from %s where 1=2", {Quote(tableName, quote)});
}

std::vector<FieldDef> ReadTableFields(TADOConnection& connection, const std::string& tableName) {
    if (!connection.Connected())
        throw Error("The connection is not open.");
    return DescribeResult(ClosingOnLoss(connection, [&] { return connection.Session().DescribeTable(tableName); }));
}

DatabaseSchema ReadDatabaseSchema(TADOConnection& connection) {
    if (!connection.Connected())
        connection.Open();
    return ClosingOnLoss(connection, [&] { return ReadWholeSchema(connection.Session()); });
}

namespace {

DatabaseSchema ReadWholeSchema(ProviderSession& session) {
    if (std::optional<DatabaseSchema> schema = session.ReadSchema())
        return *schema;

    const Rowset catalogue = session.TableCatalogue(false);
    TableNamesOf(catalogue, false); // the same checks as the table list
    const std::size_t typeColumn = FindColumn(catalogue, "TABLE_TYPE");
    const std::size_t nameColumn = FindColumn(catalogue, "TABLE_NAME");
    DatabaseSchema schema;
    for (const auto& row : catalogue.rows) {
        TableSchema table;
        table.type = row[typeColumn];
        if (table.type != "TABLE" && table.type != "VIEW")
            continue;
        table.name = row[nameColumn];
        const bool first = schema.Find(table.name) == nullptr;
        if (first) {
            try {
                table.columns = session.DescribeTable(table.name);
            } catch (const Unreadable& error) {
                table.error = error.what();
            }
        }
        schema.tables.push_back(std::move(table));
        if (first)
            schema.MarkReachable(schema.tables.size() - 1);
    }
    // A live comparison hands each name to the engine, which may resolve it in any letter case; a schema
    // read now (a snapshot, database 1 of many targets) must find names the same way.
    if (ResolvesOtherLetterCase(session, schema)) {
        schema.namesIgnoreAsciiCase = true;
        schema.reachable.clear();
        for (std::size_t i = 0; i < schema.tables.size(); ++i)
            schema.MarkReachable(i);
    }
    return schema;
}

} // namespace

struct SchemaCatalogue::Described {
    DatabaseSchema schema;
    std::vector<TableRead> reads; // by index of schema.tables; only reachable tables are read
};

void SchemaCatalogue::Describe(DatabaseSchema schema) {
    auto described = std::make_shared<Described>();
    described->reads.resize(schema.tables.size());
    for (std::size_t i = 0; i < schema.tables.size(); ++i) {
        const TableSchema& table = schema.tables[i];
        names_.push_back(table.name);
        if (schema.Find(table.name) != &table)
            continue;
        TableRead& read = described->reads[i];
        try {
            if (!table.error.empty())
                throw Unreadable(table.error);
            read.fields = DescribeResult(table.columns);
        } catch (const Unreadable& error) {
            read.status = TableRead::Status::Unreadable;
            read.error = error.what();
        }
    }
    described->schema = std::move(schema);
    described_ = std::move(described);
}

SchemaCatalogue::SchemaCatalogue(TADOConnection& connection) : connection_(&connection) {
    if (!connection.Connected())
        connection.Open();
    std::optional<DatabaseSchema> schema = ClosingOnLoss(connection, [&] { return connection.Session().ReadSchema(); });
    if (!schema) {
        GetTableNames(connection, names_, false);
        return;
    }
    Describe(std::move(*schema));
}

SchemaCatalogue::SchemaCatalogue(DatabaseSchema schema) {
    Describe(std::move(schema));
}

bool SchemaCatalogue::Reaches(const std::string& tableName) const {
    if (described_)
        return described_->schema.Find(tableName) != nullptr;
    if (std::find(names_.begin(), names_.end(), tableName) != names_.end())
        return true;
    const bool listedInOtherCase = std::any_of(names_.begin(), names_.end(), [&](const std::string& name) {
        return AsciiEqualsNoCase(name, tableName);
    });
    if (!listedInOtherCase)
        return false;
    // Listed in another letter case: whether the name reaches it is the engine's affair, as in Read.
    try {
        ReadTableFields(*connection_, tableName);
        return true;
    } catch (const Unreadable&) {
        return false;
    }
}

TableRead SchemaCatalogue::Read(const std::string& tableName) {
    if (described_) {
        const DatabaseSchema& schema = described_->schema;
        const TableSchema* table = schema.Find(tableName);
        if (table)
            return described_->reads[static_cast<std::size_t>(table - schema.tables.data())];
        TableRead result;
        result.status = TableRead::Status::NotListed;
        result.error = Format("Table '%s' not found", {tableName});
        return result;
    }
    TableRead result;
    try {
        result.fields = ReadTableFields(*connection_, tableName);
    } catch (const Unreadable& error) {
        // Without a whole catalogue, whether the table exists is what the listing says.
        const bool listed = std::any_of(names_.begin(), names_.end(), [&](const std::string& name) {
            return AsciiEqualsNoCase(name, tableName);
        });
        result.status = listed ? TableRead::Status::Unreadable : TableRead::Status::NotListed;
        result.error = error.what();
    }
    return result;
}

std::vector<FieldDef> SchemaCatalogue::Fields(const std::string& tableName) {
    TableRead read = Read(tableName);
    if (read.status != TableRead::Status::Read)
        throw Unreadable(read.error);
    return std::move(read.fields);
}

} // namespace korvista
