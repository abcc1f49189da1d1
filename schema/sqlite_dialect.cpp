// SQLite's catalogue: the schema table in its own order and PRAGMA table_xinfo for every column, over the
// built-in provider and the SQLite ODBC driver alike.

#include "schema/catalogue_dialect.h"

#include "schema/catalogue_row.h"
#include "schema/dialect_registry.h"
#include "schema/type_model.h"
#include "support/ascii.h"
#include "support/errors.h"

#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <cstddef>
#include <map>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace korvista {

namespace dialects {
const EngineIdentity& sqlite();
} // namespace dialects

namespace {

// One column as PRAGMA table_xinfo gives it.
struct CatalogueColumn {
    std::string name;
    std::string declaredType;
    bool notNull = false;
    int keyPosition = 0; // 1, 2, ... in the primary key; 0 outside it
    bool rowidAlias = false;
};

struct CatalogueObject {
    std::string name;
    bool isView = false;
    bool hasKeyIndex = false; // an index of origin 'pk'
    std::vector<CatalogueColumn> columns;
};

// Rows of the column statements: the object's name, then its column's name, declared type and
// notnull + 2 * pk; or the object's name and NULLs for an index of origin 'pk'. Hidden 1 is a virtual
// table's hidden column, which SELECT * leaves out; generated columns (hidden 2 and 3) are part of it.
// Rows of one object's columns come together, in column order, as PRAGMA table_xinfo gives them.
constexpr const char* kColumnValues = "x.name, x.type, x.\"notnull\" + 2 * x.pk";

// Tables and views in the schema table's order.
constexpr const char* kListStatement =
    "SELECT name, type FROM main.sqlite_schema WHERE type IN ('table', 'view') ORDER BY rowid";

// Every table's columns. Views are left to their own statements: their columns need the view's SELECT to
// compile, and one view over a dropped table must not make every other object unreadable. An index of
// origin 'pk' is either a WITHOUT ROWID table's own b-tree, whose SQL says so, or one of the automatic
// indexes that the schema table lists without SQL; only those tables are asked for their indexes.
const std::string& AllTablesStatement() {
    static const std::string sql =
        std::string("SELECT o.name, ") + kColumnValues +
        " FROM main.sqlite_schema AS o JOIN pragma_table_xinfo(o.name, 'main') AS x"
        " WHERE o.type = 'table' AND x.hidden <> 1"
        " UNION ALL SELECT o.name, NULL, NULL, NULL"
        " FROM main.sqlite_schema AS o JOIN pragma_index_list(o.name, 'main') AS i"
        " WHERE o.type = 'table' AND i.origin = 'pk' AND (o.sql LIKE '%without%rowid%' OR o.name IN"
        " (SELECT tbl_name FROM main.sqlite_schema WHERE type = 'index' AND sql IS NULL))";
    return sql;
}

// The columns of `count` bound names, each found as SQLite finds a table: without regard to ASCII letter
// case. One name is bound four times, more names twice each.
std::string NamedObjectsStatement(std::size_t count) {
    if (count == 1)
        return std::string("SELECT ?, ") + kColumnValues +
               " FROM pragma_table_xinfo(?, 'main') AS x WHERE x.hidden <> 1"
               " UNION ALL SELECT ?, NULL, NULL, NULL FROM pragma_index_list(?, 'main') WHERE origin = 'pk'";
    std::string names = "(SELECT ? AS name";
    for (std::size_t i = 1; i < count; ++i)
        names += " UNION ALL SELECT ?";
    names += ") AS o";
    return std::string("SELECT o.name, ") + kColumnValues + " FROM " + names +
           " JOIN pragma_table_xinfo(o.name, 'main') AS x WHERE x.hidden <> 1"
           " UNION ALL SELECT o.name, NULL, NULL, NULL FROM " +
           names + " JOIN pragma_index_list(o.name, 'main') AS i WHERE i.origin = 'pk'";
}

// Names per statement where a list of them is bound, well below any SQLite's limit of parameters.
constexpr std::size_t kNamesPerStatement = 200;

bool IsSystemName(const std::string& name) {
    return AsciiStartsWithNoCase(name, "sqlite_");
}

std::string QuoteIdentifier(const std::string& name) {
    std::string quoted = "\"";
    for (char c : name) {
        quoted += c;
        if (c == '"')
            quoted += '"';
    }
    return quoted + "\"";
}

const CatalogueColumns kListRow({"name", "type"});
const CatalogueColumns kColumnRow({"object name", "column name", "declared type", "notnull + 2 * pk"});

const std::string& Field(const QueryRow& row, std::size_t i) {
    return kListRow.Text(row, i);
}

// The rowid alias: the only key column, declared exactly INTEGER, of a table without an index of origin
// 'pk' (WITHOUT ROWID, composite keys and "INTEGER PRIMARY KEY DESC" have one).
void MarkRowidAlias(CatalogueObject& object) {
    if (object.hasKeyIndex)
        return;
    CatalogueColumn* key = nullptr;
    for (CatalogueColumn& column : object.columns) {
        if (column.keyPosition == 0)
            continue;
        if (key)
            return;
        key = &column;
    }
    if (key && AsciiEqualsNoCase(key->declaredType, "INTEGER"))
        key->rowidAlias = true;
}

// Groups the rows of the column statements by object, in the order the objects first appear.
std::vector<CatalogueObject> Objects(std::vector<QueryRow> rows) {
    std::vector<CatalogueObject> objects;
    std::unordered_map<std::string, std::size_t> index;
    for (std::size_t r = 0; r < rows.size(); ++r) {
        QueryRow& row = rows[r];
        kColumnRow.RequireComplete(row);
        const std::string& name = kColumnRow.Text(row, 0);
        // Columns of one object come together; its index rows come after every object's columns.
        std::size_t at = objects.size();
        if (!objects.empty() && objects.back().name == name)
            at = objects.size() - 1;
        else if (const auto [found, added] = index.try_emplace(name, objects.size()); !added)
            at = found->second;
        if (at == objects.size()) {
            objects.push_back({name, false, false, {}});
            std::size_t together = 1;
            while (r + together < rows.size() && kColumnRow.Text(rows[r + together], 0) == name)
                ++together;
            objects.back().columns.reserve(together);
        }
        if (!row[1]) {
            objects[at].hasKeyIndex = true;
            continue;
        }
        const std::int64_t flags = kColumnRow.Number(row, 3).value_or(0);
        CatalogueColumn column;
        column.name = std::move(*row[1]);
        column.declaredType = row[2] ? std::move(*row[2]) : std::string();
        column.notNull = (flags & 1) != 0;
        column.keyPosition = static_cast<int>(flags >> 1);
        objects[at].columns.push_back(std::move(column));
    }
    for (CatalogueObject& object : objects)
        MarkRowidAlias(object);
    return objects;
}

// Describes columns, each distinct declared type parsed and looked up once: a whole database repeats the
// same few types thousands of times.
class ColumnDescriber {
public:
    ColumnDescription Describe(const std::string& name, const CatalogueColumn& column) {
        // The rowid is never NULL and numbers new rows by itself.
        const bool notNull = column.notNull || column.rowidAlias;
        std::string key = column.declaredType;
        key += notNull ? '1' : '0';
        key += column.rowidAlias ? '1' : '0';
        auto [found, added] = known_.try_emplace(std::move(key));
        if (added) {
            const EngineTypes& types = dialects::sqlite().types;
            DeclaredColumn declared = ParseDeclaredType(column.declaredType, types);
            declared.notNull = notNull;
            declared.autoIncrement = column.rowidAlias;
            found->second = DescribeDeclared(types, declared);
        }
        ColumnDescription description = found->second;
        description.name = name;
        return description;
    }

    std::vector<ColumnDescription> Describe(const CatalogueObject& table) {
        std::vector<ColumnDescription> columns;
        columns.reserve(table.columns.size());
        for (const CatalogueColumn& column : table.columns)
            columns.push_back(Describe(column.name, column));
        return columns;
    }

private:
    std::unordered_map<std::string, ColumnDescription> known_;
};

// The tables by their exact name, as the origins of view columns name them.
using TablesByName = std::unordered_map<std::string, const CatalogueObject*>;

TablesByName IndexTables(const std::vector<CatalogueObject>& objects) {
    TablesByName tables;
    for (const CatalogueObject& object : objects)
        if (!object.isView)
            tables.emplace(object.name, &object);
    return tables;
}

// A view's column keeps the declared type, NOT NULL and rowid alias of the table column it reads; an
// expression keeps what the view's own xinfo says (the type SQLite gives it, and NULL allowed).
std::vector<ColumnDescription> DescribeView(const CatalogueObject& view,
                                            const std::vector<ColumnOrigin>& origins,
                                            const TablesByName& tables, ColumnDescriber& describer) {
    if (origins.size() != view.columns.size())
        throw Unreadable("The columns of view '" + view.name + "' do not match its result.");
    std::vector<ColumnDescription> columns;
    columns.reserve(view.columns.size());
    for (std::size_t i = 0; i < view.columns.size(); ++i) {
        const CatalogueColumn* source = &view.columns[i];
        if (const auto table = tables.find(origins[i].table); table != tables.end()) {
            const auto& candidates = table->second->columns;
            const auto found =
                std::find_if(candidates.begin(), candidates.end(),
                             [&](const CatalogueColumn& c) { return c.name == origins[i].column; });
            if (found != candidates.end())
                source = &*found;
        }
        columns.push_back(describer.Describe(view.columns[i].name, *source));
    }
    return columns;
}

std::vector<ColumnOrigin> ViewOrigins(CatalogueQueries& queries, const std::string& view) {
    return queries.Origins("SELECT * FROM main." + QuoteIdentifier(view));
}

using Named = std::pair<std::string, const char*>; // name, "table" or "view"

// The named objects with their columns, a bounded number of names per statement.
std::vector<CatalogueObject> ObjectsNamed(CatalogueQueries& queries, const std::vector<Named>& names) {
    std::vector<CatalogueObject> objects;
    for (std::size_t first = 0; first < names.size(); first += kNamesPerStatement) {
        const std::size_t count = std::min(kNamesPerStatement, names.size() - first);
        std::vector<std::string> parameters;
        for (int pass = 0; pass < (count == 1 ? 4 : 2); ++pass)
            for (std::size_t i = first; i < first + count; ++i)
                parameters.push_back(names[i].first);
        std::vector<CatalogueObject> read = Objects(queries.Run(NamedObjectsStatement(count), parameters));
        const auto begin = names.begin() + static_cast<std::ptrdiff_t>(first);
        const auto end = begin + static_cast<std::ptrdiff_t>(count);
        for (CatalogueObject& object : read) {
            const auto named =
                std::find_if(begin, end, [&](const Named& n) { return n.first == object.name; });
            object.isView = named != end && std::string_view(named->second) == "view";
        }
        std::move(read.begin(), read.end(), std::back_inserter(objects));
    }
    return objects;
}

// Reads each name on its own, so that an unreadable one keeps its error and the others are read.
std::vector<CatalogueObject> ObjectsOneByOne(CatalogueQueries& queries, const std::vector<Named>& names,
                                             std::map<std::string, std::string>& errors) {
    std::vector<CatalogueObject> objects;
    for (const Named& name : names) {
        try {
            std::vector<CatalogueObject> one = ObjectsNamed(queries, {name});
            std::move(one.begin(), one.end(), std::back_inserter(objects));
        } catch (const Unreadable& error) {
            errors[name.first] = error.what();
        }
    }
    return objects;
}

class SqliteDialect final : public EngineDialect {
public:
    bool Prepare(CatalogueQueries&, unsigned) override {
        return false; // nothing to bound: each statement is bounded by the provider or not at all
    }

    Rowset TableCatalogue(CatalogueQueries& queries, bool includeSystemTables) override {
        Rowset rowset;
        rowset.columns = {"TABLE_CATALOG", "TABLE_SCHEMA", "TABLE_NAME", "TABLE_TYPE"};
        for (const QueryRow& row : queries.Run(kListStatement, {})) {
            const std::string& name = Field(row, 0);
            std::string type;
            if (IsSystemName(name)) {
                if (!includeSystemTables)
                    continue;
                type = "SYSTEM TABLE";
            } else {
                type = Field(row, 1) == "view" ? "VIEW" : "TABLE";
            }
            rowset.rows.push_back({"", "", name, type});
        }
        return rowset;
    }

    // The column query compiled tells which object the name reaches: a table is the origin of all its
    // columns, a view of none of them. The columns then come in one statement.
    std::vector<ColumnDescription> DescribeTable(CatalogueQueries& queries,
                                                 const std::string& table) override {
        const std::vector<ColumnOrigin> origins = ViewOrigins(queries, table);
        const bool isTable =
            !origins.empty() && std::all_of(origins.begin(), origins.end(), [&](const ColumnOrigin& o) {
                return AsciiEqualsNoCase(o.table, table);
            });
        if (isTable) {
            const std::vector<CatalogueObject> found =
                ObjectsNamed(queries, {{origins.front().table, "table"}});
            if (found.empty())
                throw Unreadable("no such table: " + table);
            return ColumnDescriber().Describe(found.front());
        }

        std::vector<Named> names = {{table, "view"}};
        for (const ColumnOrigin& origin : origins)
            if (!origin.table.empty() && std::none_of(names.begin() + 1, names.end(), [&](const Named& n) {
                    return n.first == origin.table;
                }))
                names.emplace_back(origin.table, "table");
        const std::vector<CatalogueObject> objects = ObjectsNamed(queries, names);
        const auto view = std::find_if(objects.begin(), objects.end(),
                                       [](const CatalogueObject& object) { return object.isView; });
        if (view == objects.end())
            throw Unreadable("no such table: " + table);
        ColumnDescriber describer;
        return DescribeView(*view, origins, IndexTables(objects), describer);
    }

    DatabaseSchema ReadSchema(CatalogueQueries& queries) override {
        std::vector<std::pair<std::string, bool>> listed; // name, is a view
        std::vector<Named> tableNames;
        for (const QueryRow& row : queries.Run(kListStatement, {})) {
            listed.emplace_back(Field(row, 0), Field(row, 1) == "view");
            if (!listed.back().second)
                tableNames.emplace_back(listed.back().first, "table");
        }

        std::map<std::string, std::string> errors; // by object name
        std::vector<CatalogueObject> tables;
        try {
            tables = Objects(queries.Run(AllTablesStatement(), {}));
        } catch (const Unreadable&) {
            // A table SQLite cannot open (a virtual table of a module it lacks) stops the one statement;
            // the tables are then read one by one and only the unreadable ones keep an error.
            tables = ObjectsOneByOne(queries, tableNames, errors);
        }

        // A view's columns come from its compiled SELECT; a view that does not compile keeps its error.
        std::map<std::string, std::vector<ColumnOrigin>> origins;
        std::vector<Named> readableViews;
        for (const auto& [name, isView] : listed) {
            if (!isView)
                continue;
            try {
                origins[name] = ViewOrigins(queries, name);
                readableViews.emplace_back(name, "view");
            } catch (const Unreadable& error) {
                errors[name] = error.what();
            }
        }
        std::vector<CatalogueObject> views;
        try {
            views = ObjectsNamed(queries, readableViews);
        } catch (const Unreadable&) {
            views = ObjectsOneByOne(queries, readableViews, errors);
        }

        const TablesByName byName = IndexTables(tables);
        std::unordered_map<std::string, const CatalogueObject*> viewsByName;
        for (const CatalogueObject& view : views)
            viewsByName.emplace(view.name, &view);

        DatabaseSchema schema;
        schema.namesIgnoreAsciiCase = true;
        ColumnDescriber describer;
        for (const auto& [name, isView] : listed) {
            if (IsSystemName(name))
                continue;
            TableSchema table;
            table.name = name;
            table.type = isView ? "VIEW" : "TABLE";
            try {
                const auto& read = isView ? viewsByName : byName;
                if (const auto error = errors.find(name); error != errors.end())
                    table.error = error->second;
                else if (const auto object = read.find(name); object == read.end())
                    table.error = "no such table: " + name;
                else if (!isView)
                    table.columns = describer.Describe(*object->second);
                else
                    table.columns = DescribeView(*object->second, origins[name], byName, describer);
            } catch (const Unreadable& error) {
                table.columns.clear();
                table.error = error.what();
            }
            schema.tables.push_back(std::move(table));
            schema.MarkReachable(schema.tables.size() - 1);
        }
        return schema;
    }
};

} // namespace

const EngineIdentity& dialects::sqlite() {
    // clang-format off
    static const EngineIdentity engine = {
        "SQLite",
        {"sqlite"},
        {"sqlite"},
        {
            {0, "", QuirkRemedy::NullabilityFromKeys, 0,
             "an INTEGER PRIMARY KEY is the rowid, which is never NULL, yet is reported as accepting NULL"},
            {SQL_BINARY, "blob", QuirkRemedy::Retype, SQL_LONGVARBINARY,
             "BLOB, which has no length limit, is reported as BINARY(255)"},
        },
        nullptr, nullptr,
        {{  // declared names; SQLite's affinity rules for the rest
            {"tinyint",         {"tinyint", "int1"}},
            {"smallint",        {"smallint", "int2", "smallserial"}},
            {"integer",         {"integer", "int", "mediumint", "int4", "int3", "serial"}},
            {"bigint",          {"bigint", "int8", "bigserial"}},
            {"unsigned bigint", {"unsigned big int"}},
            {"numeric",         {"numeric", "decimal", "dec", "number"}},
            {"money",           {"money", "smallmoney"}},
            {"real",            {"real", "float4"}},
            {"double",          {"double", "double precision", "float", "float8"}},
            {"boolean",         {"boolean", "bool"}},
            {"bit",             {"bit"}},
            {"bit varying",     {"varbit", "bit varying"}},
            {"char",            {"char", "character", "nchar", "native character", "national character",
                                 "national char"}},
            {"varchar",         {"varchar", "character varying", "varying character", "nvarchar",
                                 "national varying character", "national character varying", "varchar2",
                                 "nvarchar2"}},
            {"text",            {"text", "clob", "ntext", "tinytext", "mediumtext", "longtext", "string", "nclob"}},
            {"json",            {"json", "jsonb"}},
            {"xml",             {"xml"}},
            {"binary",          {"binary"}},
            {"varbinary",       {"varbinary", "binary varying"}},
            {"blob",            {"blob", "bytea", "tinyblob", "mediumblob", "longblob", "image"}},
            {"date",            {"date"}},
            {"time",            {"time", "time without time zone", "time with time zone", "timetz"}},
            {"timestamp",       {"datetime", "timestamp", "timestamp without time zone", "timestamp with time zone",
                                 "timestamptz", "datetime2", "smalldatetime", "datetimeoffset"}},
            {"year",            {"year"}},
            {"uuid",            {"uuid", "guid", "uniqueidentifier"}},
            {"enum",            {"enum", "set"}},
            {"inet",            {"inet", "cidr", "inet6", "inet4"}},
            {"macaddr",         {"macaddr"}},
            {"macaddr8",        {"macaddr8"}},
            {"interval",        {"interval"}},
        }, UnknownTypeRule::SqliteAffinity},
        [] { return std::unique_ptr<EngineDialect>(std::make_unique<SqliteDialect>()); },
    };
    // clang-format on
    return engine;
}

} // namespace korvista
