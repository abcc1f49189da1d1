// SQLite's catalogue: the schema table in its own order and PRAGMA table_xinfo for every column, over the
// built-in provider and the SQLite ODBC driver alike.

#include "schema/catalogue_dialect.h"

#include "schema/type_model.h"
#include "support/ascii.h"
#include "support/errors.h"

#include <algorithm>
#include <cstddef>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace korvista {

namespace {

// One column as the schema table and PRAGMA table_xinfo give it.
struct CatalogueColumn {
    std::string name;
    std::string declaredType;
    bool notNull = false;
    bool rowidAlias = false;
};

struct CatalogueObject {
    std::string name;
    bool isView = false;
    std::vector<CatalogueColumn> columns;
};

// Every row: object name, object type, then its column's name, declared type, notnull and whether it is
// the rowid alias (NULLs for a view listed without columns), then the schema table's rowid and the cid.
// Hidden 1 is a virtual table's hidden column, which SELECT * leaves out; generated columns (hidden 2 and
// 3) are part of it. The rowid alias is the only key column, declared exactly INTEGER, of a table that has
// no index of origin 'pk' (WITHOUT ROWID, composite keys and "INTEGER PRIMARY KEY DESC" have one).
constexpr const char* kColumns =
    "SELECT s.name, s.type, x.name, x.type, x.\"notnull\", "
    "CASE WHEN x.pk = 1 AND upper(x.type) = 'INTEGER' "
    "AND (SELECT count(*) FROM pragma_table_xinfo(s.name, 'main') WHERE pk > 0) = 1 "
    "AND NOT EXISTS (SELECT 1 FROM pragma_index_list(s.name, 'main') WHERE origin = 'pk') "
    "THEN 1 ELSE 0 END, s.rowid, x.cid "
    "FROM main.sqlite_schema AS s JOIN pragma_table_xinfo(s.name, 'main') AS x "
    "WHERE x.hidden <> 1 AND ";

// Views are listed by the schema table alone: their columns need their SELECT to compile, and one view
// over a dropped table must not make every other object unreadable.
constexpr const char* kViewsWithoutColumns =
    " UNION ALL SELECT name, type, NULL, NULL, NULL, NULL, rowid, NULL FROM main.sqlite_schema"
    " WHERE type = 'view' ORDER BY 7, 8";

// Names per statement where a list of them is bound, well below any SQLite's limit of parameters.
constexpr std::size_t kNamesPerStatement = 200;

bool IsSystemName(const std::string& name) {
    return name.size() >= 7 && AsciiEqualsNoCase(std::string_view(name).substr(0, 7), "sqlite_");
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

std::string Placeholders(std::size_t count) {
    std::string text;
    for (std::size_t i = 0; i < count; ++i)
        text += i ? ", ?" : "?";
    return text;
}

const std::string& Field(const QueryRow& row, std::size_t i) {
    static const std::string empty;
    return i < row.size() && row[i] ? *row[i] : empty;
}

// Groups the rows of kColumns by object, in the order of the rows.
std::vector<CatalogueObject> Objects(const std::vector<QueryRow>& rows) {
    std::vector<CatalogueObject> objects;
    for (const QueryRow& row : rows) {
        if (row.size() < 6)
            throw Error("The SQLite catalogue gave an incomplete row.");
        const std::string& name = Field(row, 0);
        if (objects.empty() || objects.back().name != name) {
            objects.emplace_back();
            objects.back().name = name;
            objects.back().isView = Field(row, 1) == "view";
        }
        if (!row[2])
            continue; // a view listed without its columns
        CatalogueColumn column;
        column.name = *row[2];
        column.declaredType = Field(row, 3);
        column.notNull = Field(row, 4) == "1";
        column.rowidAlias = Field(row, 5) == "1";
        objects.back().columns.push_back(std::move(column));
    }
    return objects;
}

ColumnDescription Describe(const std::string& name, const CatalogueColumn& column) {
    DeclaredColumn declared = ParseDeclaredType(column.declaredType);
    declared.name = name;
    // The rowid is never NULL and numbers new rows by itself.
    declared.notNull = column.notNull || column.rowidAlias;
    declared.autoIncrement = column.rowidAlias;
    return DescribeDeclared(EngineFamily::SQLite, declared);
}

std::vector<ColumnDescription> DescribeColumns(const CatalogueObject& table) {
    std::vector<ColumnDescription> columns;
    columns.reserve(table.columns.size());
    for (const CatalogueColumn& column : table.columns)
        columns.push_back(Describe(column.name, column));
    return columns;
}

// The tables by their exact name, as the origins of view columns name them.
using TablesByName = std::map<std::string, const CatalogueObject*>;

// A view's column keeps the declared type, NOT NULL and rowid alias of the table column it reads; an
// expression keeps what the view's own xinfo says (the type SQLite gives it, and NULL allowed).
std::vector<ColumnDescription> DescribeView(const CatalogueObject& view,
                                            const std::vector<ColumnOrigin>& origins,
                                            const TablesByName& tables) {
    if (origins.size() != view.columns.size())
        throw Error("The columns of view '" + view.name + "' do not match its result.");
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
        columns.push_back(Describe(view.columns[i].name, *source));
    }
    return columns;
}

std::vector<ColumnOrigin> ViewOrigins(CatalogueQueries& queries, const std::string& view) {
    return queries.Origins("SELECT * FROM main." + QuoteIdentifier(view));
}

// The objects of the given type and names with their columns, a bounded number of names per statement.
std::vector<CatalogueObject> ObjectsNamed(CatalogueQueries& queries, const char* type,
                                          const std::vector<std::string>& names) {
    std::vector<CatalogueObject> objects;
    for (std::size_t first = 0; first < names.size(); first += kNamesPerStatement) {
        const std::size_t count = std::min(kNamesPerStatement, names.size() - first);
        std::vector<std::string> parameters(names.begin() + static_cast<std::ptrdiff_t>(first),
                                            names.begin() + static_cast<std::ptrdiff_t>(first + count));
        parameters.insert(parameters.begin(), type);
        std::vector<CatalogueObject> some = Objects(queries.Run(
            std::string(kColumns) + "s.type = ? AND s.name IN (" + Placeholders(count) + ") ORDER BY 7, 8",
            parameters));
        std::move(some.begin(), some.end(), std::back_inserter(objects));
    }
    return objects;
}

TablesByName IndexTables(const std::vector<CatalogueObject>& objects) {
    TablesByName tables;
    for (const CatalogueObject& object : objects)
        if (!object.isView)
            tables.emplace(object.name, &object);
    return tables;
}

class SqliteDialect final : public EngineDialect {
public:
    bool Prepare(CatalogueQueries&, unsigned) override {
        return false; // nothing to bound: each statement is bounded by the provider or not at all
    }

    Rowset TableCatalogue(CatalogueQueries& queries, bool includeSystemTables) override {
        Rowset rowset;
        rowset.columns = {"TABLE_CATALOG", "TABLE_SCHEMA", "TABLE_NAME", "TABLE_TYPE"};
        for (const QueryRow& row : queries.Run(
                 "SELECT type, name FROM main.sqlite_schema WHERE type IN ('table', 'view') ORDER BY rowid",
                 {})) {
            const std::string& name = Field(row, 1);
            std::string type;
            if (IsSystemName(name)) {
                if (!includeSystemTables)
                    continue;
                type = "SYSTEM TABLE";
            } else {
                type = Field(row, 0) == "view" ? "VIEW" : "TABLE";
            }
            rowset.rows.push_back({"", "", name, type});
        }
        return rowset;
    }

    std::vector<ColumnDescription> DescribeTable(CatalogueQueries& queries,
                                                 const std::string& table) override {
        // SQLite finds a table by its name without regard to ASCII letter case, as NOCASE compares.
        const std::vector<CatalogueObject> found = Objects(queries.Run(
            std::string(kColumns) + "s.type IN ('table', 'view') AND s.name = ? COLLATE NOCASE ORDER BY 7, 8",
            {table}));
        if (found.empty())
            throw Error("no such table: " + table);
        const CatalogueObject& object = found.front();
        if (!object.isView)
            return DescribeColumns(object);

        const std::vector<ColumnOrigin> origins = ViewOrigins(queries, object.name);
        std::vector<std::string> originTables;
        for (const ColumnOrigin& origin : origins)
            if (!origin.table.empty() &&
                std::find(originTables.begin(), originTables.end(), origin.table) == originTables.end())
                originTables.push_back(origin.table);
        const std::vector<CatalogueObject> tables = ObjectsNamed(queries, "table", originTables);
        return DescribeView(object, origins, IndexTables(tables));
    }

    DatabaseSchema ReadSchema(CatalogueQueries& queries) override {
        std::vector<CatalogueObject> objects;
        std::map<std::string, std::string> errors; // by object name
        try {
            objects =
                Objects(queries.Run(std::string(kColumns) + "s.type = 'table'" + kViewsWithoutColumns, {}));
        } catch (const Error&) {
            // A table SQLite cannot open (a virtual table of a module it lacks) stops the one statement;
            // every object is then read on its own and only the unreadable ones keep an error.
            objects = ObjectsOneByOne(queries, errors);
        }

        // A view's columns come from its compiled SELECT; a view that does not compile keeps its error.
        std::map<std::string, std::vector<ColumnOrigin>> origins;
        std::vector<std::string> readableViews;
        for (const CatalogueObject& object : objects) {
            if (!object.isView || errors.count(object.name))
                continue;
            try {
                origins[object.name] = ViewOrigins(queries, object.name);
                readableViews.push_back(object.name);
            } catch (const Error& error) {
                errors[object.name] = error.what();
            }
        }
        std::map<std::string, CatalogueObject> views;
        for (CatalogueObject& view : ViewsWithColumns(queries, readableViews, errors))
            views.emplace(view.name, std::move(view));

        DatabaseSchema schema;
        schema.namesIgnoreAsciiCase = true;
        const TablesByName tables = IndexTables(objects);
        for (const CatalogueObject& object : objects) {
            if (IsSystemName(object.name))
                continue;
            TableSchema table;
            table.name = object.name;
            table.type = object.isView ? "VIEW" : "TABLE";
            try {
                if (const auto error = errors.find(object.name); error != errors.end())
                    table.error = error->second;
                else if (!object.isView)
                    table.columns = DescribeColumns(object);
                else if (const auto view = views.find(object.name); view != views.end())
                    table.columns = DescribeView(view->second, origins[object.name], tables);
                else
                    table.error = "no such table: " + object.name;
            } catch (const Error& error) {
                table.columns.clear();
                table.error = error.what();
            }
            schema.tables.push_back(std::move(table));
            schema.MarkReachable(schema.tables.size() - 1);
        }
        return schema;
    }

private:
    // The slow road when the one statement fails: the objects listed, then each read by itself.
    static std::vector<CatalogueObject> ObjectsOneByOne(CatalogueQueries& queries,
                                                        std::map<std::string, std::string>& errors) {
        std::vector<CatalogueObject> objects;
        for (const QueryRow& row : queries.Run(
                 "SELECT name, type FROM main.sqlite_schema WHERE type IN ('table', 'view') ORDER BY rowid",
                 {})) {
            CatalogueObject object;
            object.name = Field(row, 0);
            object.isView = Field(row, 1) == "view";
            if (!object.isView) {
                try {
                    std::vector<CatalogueObject> one = ObjectsNamed(queries, "table", {object.name});
                    if (!one.empty())
                        object.columns = std::move(one.front().columns);
                } catch (const Error& error) {
                    errors[object.name] = error.what();
                }
            }
            objects.push_back(std::move(object));
        }
        return objects;
    }

    // The views' own columns, in few statements; a statement that fails is retried view by view.
    static std::vector<CatalogueObject> ViewsWithColumns(CatalogueQueries& queries,
                                                         const std::vector<std::string>& names,
                                                         std::map<std::string, std::string>& errors) {
        try {
            return ObjectsNamed(queries, "view", names);
        } catch (const Error&) {
        }
        std::vector<CatalogueObject> views;
        for (const std::string& name : names) {
            try {
                std::vector<CatalogueObject> one = ObjectsNamed(queries, "view", {name});
                std::move(one.begin(), one.end(), std::back_inserter(views));
            } catch (const Error& error) {
                errors[name] = error.what();
            }
        }
        return views;
    }
};

} // namespace

std::unique_ptr<EngineDialect> MakeSqliteDialect() {
    return std::make_unique<SqliteDialect>();
}

} // namespace korvista
