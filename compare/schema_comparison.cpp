#include "compare/schema_comparison.h"

#include "compare/lost_connection.h"
#include "support/errors.h"

#include <memory>
#include <optional>
#include <set>

namespace korvista {

namespace {

// Descriptors of one table on one side; they live as long as the comparison of that table.
struct FieldList {
    std::vector<std::unique_ptr<TFieldItem>> owned;
    std::vector<const TFieldItem*> items;
};

FieldList MakeFieldList(const std::vector<FieldDef>& defs) {
    FieldList list;
    list.owned.reserve(defs.size());
    list.items.reserve(defs.size());
    for (const FieldDef& def : defs) {
        list.owned.emplace_back(NewFieldItem(def, nullptr));
        list.items.push_back(list.owned.back().get());
    }
    return list;
}

// Reads one table, naming the database and the table when the connection itself is lost.
TableRead ReadSide(SchemaCatalogue& catalogue, int database, const std::string& table) {
    try {
        return catalogue.Read(table);
    } catch (const ConnectionLost& lost) {
        throw LostConnection(database, ReadingTable(table), lost);
    }
}

TableComparison CompareOne(SchemaCatalogue& db1, SchemaCatalogue* db2, const std::string& table,
                           const CompareOptions& options) {
    TableComparison result;
    TableRead read1 = ReadSide(db1, 1, table);
    if (read1.status != TableRead::Status::Read) {
        result.errors.push_back({table, 1, read1.error});
        return result;
    }
    TableRead read2;
    read2.status = TableRead::Status::NotListed;
    if (db2)
        read2 = ReadSide(*db2, 2, table);
    if (read2.status == TableRead::Status::Unreadable) {
        result.errors.push_back({table, 2, read2.error});
        return result;
    }
    const FieldList fields1 = MakeFieldList(read1.fields);
    const FieldList fields2 = MakeFieldList(read2.fields);
    return CompareTableColumns(table, fields1.items, fields2.items, options);
}

// A table that only database 2 has: every column is extra.
TableComparison ExtraTable(SchemaCatalogue& db2, const std::string& table) {
    TableComparison result;
    TableRead read = ReadSide(db2, 2, table);
    if (read.status != TableRead::Status::Read) {
        result.errors.push_back({table, 2, read.error});
        return result;
    }
    const FieldList fields = MakeFieldList(read.fields);
    return ExtraColumns(table, {}, fields.items);
}

} // namespace

TableComparison CompareTableColumns(const std::string& table, const std::vector<const TFieldItem*>& db1,
                                    const std::vector<const TFieldItem*>& db2, const CompareOptions& options) {
    TableComparison result = CompareTable(table, db1, db2, options.switches);
    if (options.bothWays)
        result.Add(ExtraColumns(table, db1, db2));
    return result;
}

std::vector<FieldDef> LoadTableFields(TDatabase& database, const std::string& table) {
    if (!database.ADO().Connected())
        return {};
    try {
        return ReadTableFields(database.ADO(), table);
    } catch (const Unreadable&) {
        // A table the provider cannot describe reads as one without columns, as in the window.
        return {};
    }
}

TableComparison CompareCatalogues(SchemaCatalogue& db1, SchemaCatalogue* db2, const CompareOptions& options,
                                  const CompareProgress& progress) {
    std::vector<std::string> tables;
    for (const std::string& table : db1.TableNames())
        if (options.tables.Selects(table))
            tables.push_back(table);

    TableComparison total;
    for (std::size_t i = 0; i < tables.size(); ++i) {
        if (progress)
            progress(i, tables.size(), tables[i]);
        total.Add(CompareOne(db1, db2, tables[i], options));
    }
    if (!options.bothWays || !db2)
        return total;
    std::set<std::string> done;
    for (const std::string& table : db2->TableNames()) {
        if (!options.tables.Selects(table) || !done.insert(table).second)
            continue;
        bool inDatabase1 = false;
        try {
            inDatabase1 = db1.Reaches(table);
        } catch (const ConnectionLost& lost) {
            throw LostConnection(1, LookingUpTable(table), lost);
        }
        if (inDatabase1)
            continue;
        total.Add(ExtraTable(*db2, table));
    }
    return total;
}

namespace {

// Reads the catalogue of one database, naming the database when that fails.
SchemaCatalogue ReadCatalogue(TDatabase& database, int number) {
    try {
        return SchemaCatalogue(database.ADO());
    } catch (const ConnectionLost& lost) {
        // The whole catalogue comes in a few statements: no one table was being read.
        throw LostConnection(number, kReadingCatalogue, lost);
    } catch (const Unreadable& error) {
        throw Error("the tables of database " + std::to_string(number) + " cannot be listed: " + error.what());
    }
}

} // namespace

TableComparison CompareDatabases(TDatabase& db1, TDatabase& db2, const CompareOptions& options,
                                 const CompareProgress& progress) {
    SchemaCatalogue catalogue1 = ReadCatalogue(db1, 1);
    std::optional<SchemaCatalogue> catalogue2;
    if (db2.ADO().Connected())
        catalogue2.emplace(ReadCatalogue(db2, 2));
    return CompareCatalogues(catalogue1, catalogue2 ? &*catalogue2 : nullptr, options, progress);
}

} // namespace korvista
