#include "compare/schema_comparison.h"

#include "schema/schema_reader.h"
#include "support/errors.h"

#include <memory>
#include <optional>

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
        auto item = std::make_unique<TFieldItem>(nullptr);
        item->FieldName = def.name;
        item->DataType = def.dataType;
        item->Length = def.size;
        item->Nullable = !def.required;
        list.items.push_back(item.get());
        list.owned.push_back(std::move(item));
    }
    return list;
}

} // namespace

std::vector<FieldDef> LoadTableFields(TDatabase& database, const std::string& table) {
    if (!database.ADO().Connected())
        return {};
    try {
        return ReadTableFields(database.ADO(), table);
    } catch (const Error&) {
        // A table the provider cannot describe reads as one without columns, as in the window.
        return {};
    }
}

TableComparison CompareDatabases(TDatabase& db1, TDatabase& db2, const CompareSwitches& switches,
                                 const CompareProgress& progress) {
    SchemaCatalogue catalogue1(db1.ADO());
    std::optional<SchemaCatalogue> catalogue2;
    if (db2.ADO().Connected())
        catalogue2.emplace(db2.ADO());
    const std::vector<std::string>& tables = catalogue1.TableNames();

    // A table that cannot be read reads as one without columns, as in the window.
    const auto fieldsOf = [](SchemaCatalogue* catalogue, const std::string& table) -> std::vector<FieldDef> {
        if (!catalogue)
            return {};
        try {
            return catalogue->Fields(table);
        } catch (const Error&) {
            return {};
        }
    };

    TableComparison total;
    for (std::size_t i = 0; i < tables.size(); ++i) {
        const std::string& table = tables[i];
        if (progress)
            progress(i, tables.size(), table);
        const FieldList fields1 = MakeFieldList(fieldsOf(&catalogue1, table));
        const FieldList fields2 = MakeFieldList(fieldsOf(catalogue2 ? &*catalogue2 : nullptr, table));
        TableComparison one = CompareTable(table, fields1.items, fields2.items, switches);
        total.count += one.count;
        for (ResultRow& row : one.rows)
            total.rows.push_back(std::move(row));
    }
    return total;
}

} // namespace korvista
