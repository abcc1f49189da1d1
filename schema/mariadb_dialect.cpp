// MariaDB and MySQL: tables, views and columns from information_schema, restricted to the connection's
// own database by equality (the driver's own catalogue functions match the database name with LIKE).

#include "schema/mariadb_dialect.h"

#include "schema/catalogue_dialect.h"
#include "schema/catalogue_row.h"
#include "schema/dialect_registry.h"
#include "schema/type_model.h"
#include "support/ascii.h"
#include "support/errors.h"
#include "support/u_Utility.h"

#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <unordered_map>
#include <unordered_set>
#include <utility>

namespace korvista {

namespace dialects {
const EngineIdentity& mariadb();
} // namespace dialects

namespace {

bool IsBlank(char c) {
    return IsAnyOf(c, kAsciiSpaces);
}

bool IsWordChar(char c) {
    return IsAsciiLetter(c) || IsAsciiDigit(c) || c == '_' || c == '$' ||
           static_cast<unsigned char>(c) >= 0x80;
}

// ---- The catalogue ----

// Columns of every column row below; the DescribeTable statement adds the kind of row last.
constexpr const char* kColumnFields =
    "TABLE_NAME, COLUMN_NAME, ORDINAL_POSITION, DATA_TYPE, COLUMN_TYPE, CHARACTER_MAXIMUM_LENGTH, "
    "NUMERIC_PRECISION, NUMERIC_SCALE, IS_NULLABLE, EXTRA";
enum Field : std::size_t {
    fTable,
    fName,
    fPosition,
    fDataType,
    fColumnType,
    fLength,
    fPrecision,
    fScale,
    fNullable,
    fExtra,
    fKind
};
// What fills the other fields of the rows that carry a view definition or an AUTO_INCREMENT column.
constexpr const char* kNullFields = "NULL, NULL, NULL, NULL, NULL, NULL, NULL";

const CatalogueColumns kColumnRow({"TABLE_NAME", "COLUMN_NAME", "ORDINAL_POSITION", "DATA_TYPE",
                                   "COLUMN_TYPE", "CHARACTER_MAXIMUM_LENGTH", "NUMERIC_PRECISION",
                                   "NUMERIC_SCALE", "IS_NULLABLE", "EXTRA", "kind of row"});
const CatalogueColumns kTableRow({"TABLE_NAME", "TABLE_TYPE"});
const CatalogueColumns kViewRow({"TABLE_NAME", "VIEW_DEFINITION", "ALGORITHM"});
const CatalogueColumns kSettingsRow({"@@lower_case_table_names", "DATABASE()", "VERSION()"});

const std::string& Text(const QueryRow& row, std::size_t field) {
    return kColumnRow.Text(row, field);
}

std::optional<std::int64_t> Number(const QueryRow& row, std::size_t field) {
    return kColumnRow.Number(row, field);
}

bool Contains(const std::string& text, std::string_view part) {
    return AsciiLower(text).find(part) != std::string::npos;
}

bool HasWord(const std::string& text, std::string_view word) {
    const std::string lower = AsciiLower(text);
    for (std::size_t at = lower.find(word); at != std::string::npos; at = lower.find(word, at + 1)) {
        const std::size_t after = at + word.size();
        if ((at == 0 || !IsWordChar(lower[at - 1])) && (after == lower.size() || !IsWordChar(lower[after])))
            return true;
    }
    return false;
}

bool IsAutoIncrement(const QueryRow& row) {
    return Contains(Text(row, fExtra), "auto_increment");
}

// "BASE TABLE", "SYSTEM VERSIONED", "VIEW" and "SYSTEM VIEW" in the terms of the table list; a
// sequence or a temporary table is not listed, as the driver did not list them.
std::optional<std::string> ListedType(const std::string& type, bool includeSystemTables) {
    if (type == "BASE TABLE" || type == "SYSTEM VERSIONED")
        return std::string("TABLE");
    if (type == "VIEW")
        return type;
    if (type == "SYSTEM VIEW" && includeSystemTables)
        return std::string("SYSTEM TABLE");
    return std::nullopt;
}

class MariaDbDialect final : public EngineDialect {
public:
    bool Prepare(CatalogueQueries& queries, unsigned querySeconds) override {
        const std::vector<QueryRow> rows =
            queries.Run("SELECT @@lower_case_table_names, DATABASE(), VERSION()");
        if (rows.empty())
            throw Unreadable("The server did not say how it compares table names.");
        // 0: names are stored and compared as given; 1 and 2: compared in lower case.
        caseSensitive_ = kSettingsRow.Text(rows[0], 0) == "0";
        database_ = kSettingsRow.Value(rows[0], 1);
        mariaDb_ = Contains(kSettingsRow.Text(rows[0], 2), "mariadb");
        // The server's own bound on every statement of the session, so that no driver needs one per
        // statement (MariaDB's refuses SQL_ATTR_QUERY_TIMEOUT).
        const std::string bound =
            mariaDb_ ? "SET SESSION max_statement_time = " + std::to_string(querySeconds)
                     : "SET SESSION max_execution_time = " +
                           std::to_string(static_cast<unsigned long long>(querySeconds) * 1000);
        try {
            queries.Run(bound);
        } catch (const Unreadable&) {
            return false; // an older server without the setting
        }
        return true;
    }

    Rowset TableCatalogue(CatalogueQueries& queries, bool includeSystemTables) override {
        Rowset result;
        result.columns = {"TABLE_NAME", "TABLE_TYPE"};
        for (const QueryRow& row : queries.Run(TablesSql()))
            if (std::optional<std::string> type = ListedType(kTableRow.Text(row, 1), includeSystemTables))
                result.rows.push_back({kTableRow.Text(row, 0), *type});
        return result;
    }

    std::vector<ColumnDescription> DescribeTable(CatalogueQueries& queries,
                                                 const std::string& table) override {
        // One statement: the table's columns and, only when the name is a view's, what following its
        // columns to AUTO_INCREMENT columns needs.
        std::vector<std::string> parameters;
        const auto named = [&] {
            parameters.push_back(table);
            if (!caseSensitive_)
                return std::string("TABLE_NAME = ?");
            parameters.push_back(table);
            return std::string("TABLE_NAME = ? AND CAST(TABLE_NAME AS BINARY) = CAST(? AS BINARY)");
        };
        const auto isView = [&] {
            return "EXISTS (SELECT 1 FROM information_schema.VIEWS WHERE " + Schema() + " AND " + named() +
                   ")";
        };
        std::string sql = std::string("SELECT ") + kColumnFields +
                          ", 'C' FROM information_schema.COLUMNS WHERE " + Schema() + " AND " + named();
        sql += " UNION ALL SELECT TABLE_NAME, VIEW_DEFINITION, " + Algorithm() + ", " + kNullFields +
               ", 'V' FROM information_schema.VIEWS WHERE " + Schema() + " AND " + isView();
        sql += std::string(" UNION ALL SELECT TABLE_NAME, COLUMN_NAME, NULL, ") + kNullFields +
               ", 'A' FROM information_schema.COLUMNS WHERE " + Schema() +
               " AND EXTRA LIKE '%auto_increment%' AND " + isView();

        const std::vector<QueryRow> rows = queries.Run(sql, parameters);
        Origins origins(*this);
        std::vector<const QueryRow*> columns;
        for (const QueryRow& row : rows) {
            const std::string kind = Text(row, fKind);
            if (kind == "C")
                columns.push_back(&row);
            else if (kind == "V")
                origins.AddView(Text(row, fTable), Text(row, fName), Text(row, fPosition));
            else if (kind == "A")
                origins.AddAutoIncrement(Text(row, fTable), Text(row, fName));
        }
        if (columns.empty())
            throw Unreadable(Format("Table '%s' not found", {table}));
        const std::string stored = Text(*columns.front(), fTable);
        return Describe(columns, stored, origins.IsView(stored), origins);
    }

    DatabaseSchema ReadSchema(CatalogueQueries& queries) override {
        DatabaseSchema schema;
        schema.namesIgnoreAsciiCase = !caseSensitive_;
        const std::vector<QueryRow> tables = queries.Run(TablesSql());
        const std::vector<QueryRow> columns = queries.Run(
            std::string("SELECT ") + kColumnFields + " FROM information_schema.COLUMNS WHERE " + Schema());
        Origins origins(*this);
        std::unordered_map<std::string, std::vector<const QueryRow*>> byTable;
        for (const QueryRow& row : columns) {
            byTable[Key(Text(row, fTable))].push_back(&row);
            if (IsAutoIncrement(row))
                origins.AddAutoIncrement(Text(row, fTable), Text(row, fName));
        }
        const bool anyView = std::any_of(tables.begin(), tables.end(), [](const QueryRow& row) {
            return kTableRow.Text(row, 1) == "VIEW";
        });
        // Without an AUTO_INCREMENT column there is nothing a view could pass through.
        if (anyView && origins.HasAutoIncrement()) {
            for (const QueryRow& row : queries.Run("SELECT TABLE_NAME, VIEW_DEFINITION, " + Algorithm() +
                                                   " FROM information_schema.VIEWS WHERE " + Schema()))
                origins.AddView(kViewRow.Text(row, 0), kViewRow.Text(row, 1), kViewRow.Text(row, 2));
        }

        for (const QueryRow& row : tables) {
            std::optional<std::string> type = ListedType(kTableRow.Text(row, 1), false);
            if (!type)
                continue;
            TableSchema table;
            table.name = kTableRow.Text(row, 0);
            table.type = *type;
            const auto found = byTable.find(Key(table.name));
            try {
                if (found == byTable.end())
                    throw Unreadable(Format("Table '%s' not found", {table.name}));
                table.columns = Describe(found->second, table.name, table.type == "VIEW", origins);
            } catch (const Unreadable& e) {
                table.error = e.what();
            }
            schema.tables.push_back(std::move(table));
            schema.MarkReachable(schema.tables.size() - 1);
        }
        return schema;
    }

private:
    // The AUTO_INCREMENT columns of the database's tables, and its views' definitions: the catalogue
    // describes a view's column without AUTO_INCREMENT, but a column that passes one through unchanged
    // is one, as the server's own result description says.
    class Origins {
    public:
        explicit Origins(const MariaDbDialect& dialect) : dialect_(dialect) {}

        void AddAutoIncrement(const std::string& table, const std::string& column) {
            autoIncrement_.insert(dialect_.Key(table) + '\0' + AsciiLower(column));
        }
        // A view the server always materialises (ALGORITHM=TEMPTABLE) passes nothing through.
        void AddView(const std::string& view, std::string definition, const std::string& algorithm) {
            if (algorithm == "TEMPTABLE")
                definition.clear();
            views_[dialect_.Key(view)] = std::move(definition);
        }
        bool HasAutoIncrement() const { return !autoIncrement_.empty(); }
        bool IsView(const std::string& name) const { return views_.count(dialect_.Key(name)) != 0; }

        // Whether the column of the view passes an AUTO_INCREMENT column of this database through.
        bool PassesAutoIncrement(const std::string& view, const std::string& column) const {
            std::string object = view;
            std::string name = column;
            for (int depth = 0; depth < 32; ++depth) {
                if (autoIncrement_.count(dialect_.Key(object) + '\0' + AsciiLower(name)))
                    return true;
                const auto definition = views_.find(dialect_.Key(object));
                if (definition == views_.end())
                    return false;
                std::optional<ColumnReference> source = ViewColumnReference(definition->second, name);
                if (!source || (!source->database.empty() && !dialect_.SameDatabase(source->database)))
                    return false;
                object = std::move(source->object);
                name = std::move(source->column);
            }
            return false;
        }

    private:
        const MariaDbDialect& dialect_;
        std::unordered_set<std::string> autoIncrement_;
        std::unordered_map<std::string, std::string> views_;
    };

    // How the server finds a table by name.
    std::string Key(const std::string& name) const { return caseSensitive_ ? name : AsciiLower(name); }

    bool SameDatabase(const std::string& name) const {
        return database_ && (caseSensitive_ ? name == *database_ : AsciiEqualsNoCase(name, *database_));
    }

    // The connection's own database by equality; information_schema compares without regard to case, so
    // a server that tells names apart by case is asked for the exact bytes too.
    std::string Schema() const {
        return caseSensitive_
                   ? "TABLE_SCHEMA = DATABASE() AND CAST(TABLE_SCHEMA AS BINARY) = CAST(DATABASE() AS BINARY)"
                   : "TABLE_SCHEMA = DATABASE()";
    }

    // MySQL's information_schema has no ALGORITHM column.
    std::string Algorithm() const { return mariaDb_ ? "ALGORITHM" : "'UNDEFINED'"; }

    // The order in which the driver's table list came, ties of letter case settled.
    std::string TablesSql() const {
        return "SELECT TABLE_NAME, TABLE_TYPE FROM information_schema.TABLES WHERE " + Schema() +
               " ORDER BY TABLE_NAME, CAST(TABLE_NAME AS BINARY)";
    }

    std::vector<ColumnDescription> Describe(std::vector<const QueryRow*> rows, const std::string& table,
                                            bool isView, const Origins& origins) const {
        std::stable_sort(rows.begin(), rows.end(), [](const QueryRow* a, const QueryRow* b) {
            return Number(*a, fPosition).value_or(0) < Number(*b, fPosition).value_or(0);
        });
        std::vector<ColumnDescription> result;
        result.reserve(rows.size());
        for (const QueryRow* row : rows) {
            // SELECT * leaves an INVISIBLE column out, as the column query always did.
            if (HasWord(Text(*row, fExtra), "invisible"))
                continue;
            DeclaredColumn column;
            column.name = Text(*row, fName);
            column.typeName = AsciiLower(Text(*row, fDataType));
            const std::string columnType = Text(*row, fColumnType);
            column.isUnsigned = HasWord(columnType, "unsigned") || HasWord(columnType, "zerofill");
            column.notNull = Text(*row, fNullable) == "NO";
            column.autoIncrement =
                IsAutoIncrement(*row) || (isView && origins.PassesAutoIncrement(table, column.name));
            column.precision = Number(*row, fPrecision);
            column.scale = Number(*row, fScale);
            if (column.typeName == "bit")
                column.length = column.precision; // the number of bits
            else if (column.typeName == "enum" || column.typeName == "set")
                column.length = LongestLabel(columnType);
            else
                column.length = Number(*row, fLength);
            result.push_back(DescribeDeclared(dialects::mariadb().types, column));
        }
        return result;
    }

    bool caseSensitive_ = true;
    std::optional<std::string> database_;
    bool mariaDb_ = true;
};

} // namespace

std::optional<std::int64_t> LongestLabel(std::string_view columnType) {
    std::size_t i = columnType.find('(');
    if (i == std::string_view::npos)
        return std::nullopt;
    std::optional<std::int64_t> longest;
    for (++i;;) {
        while (i < columnType.size() && IsBlank(columnType[i]))
            ++i;
        if (i >= columnType.size() || columnType[i] != '\'')
            break;
        std::int64_t count = 0;
        for (++i; i < columnType.size(); ++i) {
            if (columnType[i] == '\'') {
                if (i + 1 < columnType.size() && columnType[i + 1] == '\'') {
                    ++count;
                    ++i;
                    continue;
                }
                ++i;
                break;
            }
            if (columnType[i] == '\\' && i + 1 < columnType.size())
                ++i;
            count += (static_cast<unsigned char>(columnType[i]) & 0xC0) != 0x80;
        }
        longest = std::max(longest.value_or(0), count);
        while (i < columnType.size() && IsBlank(columnType[i]))
            ++i;
        if (i >= columnType.size() || columnType[i] != ',')
            break;
        ++i;
    }
    return longest;
}

const EngineIdentity& dialects::mariadb() {
    // clang-format off
    static const EngineIdentity engine = {
        "MariaDB",
        {"mariadb", "mysql"},
        {"maodbc"},
        {
            {0, "", QuirkRemedy::NullabilityFromKeys, 0,
             "an AUTO_INCREMENT column is reported as accepting NULL (inserting NULL generates a value), in "
             "SQLColumns too; the server makes every primary-key column NOT NULL, and SQLColumns is right "
             "for the columns of views"},
        },
        // The driver applies SQL_ATTR_LOGIN_TIMEOUT to the TCP connect only, so a silent server's greeting
        // is awaited without end, and it refuses SQL_ATTR_QUERY_TIMEOUT; these keys bound both.
        "CONN_TIMEOUT", "READ_TIMEOUT",
        {{  // information_schema DATA_TYPE names
            {"tinyint",   {"tinyint"}},
            {"smallint",  {"smallint"}},
            {"integer",   {"mediumint", "int", "integer"}},
            {"bigint",    {"bigint"}},
            {"numeric",   {"decimal", "numeric", "fixed"}},
            {"real",      {"float"}},
            {"double",    {"double", "double precision", "real"}},
            {"boolean",   {"boolean", "bool"}},
            {"bit",       {"bit"}},
            {"char",      {"char", "nchar", "national char", "character"}},
            {"varchar",   {"varchar", "nvarchar", "national varchar", "character varying"}},
            {"text",      {"tinytext", "text", "mediumtext", "longtext", "long", "long varchar"}},
            {"json",      {"json"}},
            {"binary",    {"binary"}},
            {"varbinary", {"varbinary"}},
            {"blob",      {"tinyblob", "blob", "mediumblob", "longblob", "long varbinary", "geometry", "point",
                           "linestring", "polygon", "multipoint", "multilinestring", "multipolygon",
                           "geometrycollection", "geomcollection"}},
            {"date",      {"date"}},
            {"time",      {"time"}},
            {"timestamp", {"datetime", "timestamp"}},
            {"year",      {"year"}},
            {"uuid",      {"uuid"}},
            {"enum",      {"enum", "set"}},
            {"inet",      {"inet6", "inet4"}},
        }, UnknownTypeRule::Memo},
        [] { return std::unique_ptr<EngineDialect>(std::make_unique<MariaDbDialect>()); },
        3306, false,
    };
    // clang-format on
    return engine;
}

} // namespace korvista
