#include "schema/catalogue_dialect.h"
#include "schema/catalogue_row.h"
#include "schema/dialect_registry.h"
#include "schema/type_model.h"
#include "support/errors.h"
#include "support/u_Utility.h"

#include <sql.h>
#include <sqlext.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvista {

namespace dialects {
const EngineIdentity& postgresql();
} // namespace dialects

namespace {

// The relations the driver's own table listing showed: ordinary, partitioned and foreign tables,
// views and materialized views, outside the system schemas. Temporary tables belong to other sessions
// (this one makes none) and no unqualified name of ours reaches them.
constexpr const char* kCatalogueSql =
    "SELECT pg_catalog.current_database(), n.nspname, c.relname, "
    "CASE WHEN n.nspname IN ('pg_catalog', 'information_schema') THEN 'SYSTEM TABLE' "
    "WHEN c.relkind IN ('r', 'p') THEN 'TABLE' WHEN c.relkind = 'v' THEN 'VIEW' "
    "WHEN c.relkind = 'm' THEN 'MATVIEW' ELSE 'FOREIGN TABLE' END "
    "FROM pg_catalog.pg_class c JOIN pg_catalog.pg_namespace n ON n.oid = c.relnamespace "
    "WHERE c.relkind IN ('r', 'v', 'm', 'f', 'p') AND n.nspname <> 'pg_toast' AND c.relpersistence <> 't'";
constexpr const char* kNotSystem = " AND n.nspname NOT IN ('pg_catalog', 'information_schema')";
constexpr const char* kCatalogueOrder = " ORDER BY n.nspname, c.relname";

// Each domain with the base type under all its layers, the first type modifier met on the way down,
// and whether any layer is NOT NULL. `seed` restricts the domains looked at.
std::string DomainBases(const std::string& seed) {
    return "domain_chain(oid, base, typmod, not_null) AS ("
           "SELECT t.oid, t.typbasetype, t.typtypmod, t.typnotnull FROM pg_catalog.pg_type t "
           "WHERE t.typtype = 'd'" +
           seed +
           " UNION ALL "
           "SELECT c.oid, b.typbasetype, CASE WHEN c.typmod <> -1 THEN c.typmod ELSE b.typtypmod END, "
           "c.not_null OR b.typnotnull "
           "FROM domain_chain c JOIN pg_catalog.pg_type b ON b.oid = c.base WHERE b.typtype = 'd'), "
           "domain_base AS (SELECT c.oid, c.base, c.typmod, c.not_null FROM domain_chain c "
           "JOIN pg_catalog.pg_type b ON b.oid = c.base WHERE b.typtype <> 'd')";
}

// Flags of a column in its flags field.
constexpr int kNotNull = 1, kAutoIncrement = 2, kArray = 4;

// The fields of one column, over pg_attribute a, domain_base d and the resolved type t: name, type name,
// type modifier, longest enum label, flags. A type outside pg_catalog goes by its own name, unqualified.
constexpr const char* kColumnFields =
    "a.attname, "
    "CASE WHEN t.typtype = 'e' THEN 'enum' "
    "WHEN t.typnamespace = 'pg_catalog'::pg_catalog.regnamespace THEN pg_catalog.format_type(t.oid, NULL) "
    "ELSE t.typname::text END, "
    "CASE WHEN d.oid IS NULL THEN a.atttypmod ELSE d.typmod END, "
    "CASE WHEN t.typtype = 'e' THEN (SELECT pg_catalog.max(pg_catalog.char_length(e.enumlabel)) "
    "FROM pg_catalog.pg_enum e WHERE e.enumtypid = t.oid) END, "
    "(a.attnotnull OR coalesce(d.not_null, false))::int "
    "+ 2 * (a.attidentity <> '' OR coalesce(pg_catalog.pg_get_expr(ad.adbin, ad.adrelid) LIKE 'nextval(%', "
    "false))::int "
    "+ 4 * (t.typcategory = 'A' OR (t.typelem <> 0 AND t.typlen = -1))::int";
const std::vector<std::string> kColumnFieldNames = {"attname", "type name", "atttypmod", "longest enum label",
                                                    "column flags"};

std::vector<std::string> Prefixed(std::vector<std::string> names) {
    names.insert(names.end(), kColumnFieldNames.begin(), kColumnFieldNames.end());
    return names;
}

const CatalogueColumns kCatalogueColumns({"TABLE_CAT", "TABLE_SCHEM", "TABLE_NAME", "TABLE_TYPE"});
const CatalogueColumns kDescribeColumns(Prefixed({"relkind"}));
const CatalogueColumns kSchemaColumns(Prefixed({"oid", "relname", "relkind", "relation flags"}));

constexpr const char* kColumnJoins =
    " LEFT JOIN domain_base d ON d.oid = a.atttypid"
    " LEFT JOIN pg_catalog.pg_type t ON t.oid = coalesce(d.base, a.atttypid)"
    " LEFT JOIN pg_catalog.pg_attrdef ad ON ad.adrelid = a.attrelid AND ad.adnum = a.attnum";

constexpr const char* kColumnsOf = "a.attnum > 0 AND NOT a.attisdropped";

// The relation that the name reaches as a quoted identifier on this connection's search path, with its
// kind and one row per column (a NULL column when it has none); no row at all when nothing is reached.
std::string DescribeTableSql() {
    return "WITH RECURSIVE target(oid) AS (SELECT pg_catalog.to_regclass(pg_catalog.quote_ident(?))), " +
           DomainBases(" AND t.oid IN (SELECT a.atttypid FROM pg_catalog.pg_attribute a "
                       "JOIN target ON a.attrelid = target.oid)") +
           " SELECT c.relkind, " + kColumnFields +
           " FROM target JOIN pg_catalog.pg_class c ON c.oid = target.oid"
           " LEFT JOIN pg_catalog.pg_attribute a ON a.attrelid = c.oid AND " +
           kColumnsOf + kColumnJoins + " ORDER BY a.attnum";
}

// Relation flags of ReadSchema's rows.
constexpr int kListed = 1, kVisible = 2;

// Every listed table and view, and the visible system relations that a listed name reaches instead,
// with the columns of the visible ones: one row per column, or one with a NULL column.
std::string ReadSchemaSql() {
    const std::string listedWhere = "c.relkind IN ('r', 'v', 'p') AND c.relpersistence <> 't' AND "
                                    "n.nspname NOT IN ('pg_catalog', 'information_schema', 'pg_toast')";
    return "WITH RECURSIVE " + DomainBases("") +
           ", listed AS (SELECT c.oid, n.nspname, c.relname, c.relkind "
           "FROM pg_catalog.pg_class c JOIN pg_catalog.pg_namespace n ON n.oid = c.relnamespace WHERE " +
           listedWhere +
           "), relations AS ("
           "SELECT l.oid, l.nspname, l.relname, l.relkind, 1 AS listed, "
           "pg_catalog.pg_table_is_visible(l.oid) AS visible FROM listed l "
           "UNION ALL "
           "SELECT c.oid, n.nspname, c.relname, c.relkind, 0, true "
           "FROM pg_catalog.pg_class c JOIN pg_catalog.pg_namespace n ON n.oid = c.relnamespace "
           "WHERE c.relkind IN ('r', 'v', 'p') AND NOT (" +
           listedWhere +
           ") AND c.relname IN (SELECT l.relname FROM listed l) AND pg_catalog.pg_table_is_visible(c.oid)) "
           "SELECT r.oid, r.relname, r.relkind, r.listed + 2 * r.visible::int, " +
           kColumnFields +
           " FROM relations r LEFT JOIN pg_catalog.pg_attribute a ON r.visible AND a.attrelid = r.oid AND " +
           kColumnsOf + kColumnJoins + " ORDER BY r.nspname, r.relname, a.attnum";
}

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

// The column as its DDL declares it, from the fields kColumnFields gives from position `at` on.
DeclaredColumn ToDeclared(const CatalogueColumns& fields, const QueryRow& row, std::size_t at,
                          const std::string& relkind) {
    fields.RequireComplete(row);
    DeclaredColumn column;
    column.name = fields.Text(row, at);
    std::string_view type = fields.Text(row, at + 1);
    if (StartsWith(type, "pg_catalog."))
        type.remove_prefix(std::string_view("pg_catalog.").size());
    column.typeName = std::string(type);
    const std::int64_t typmod = fields.Number(row, at + 2).value_or(-1);
    const std::int64_t flags = fields.Number(row, at + 4).value_or(0);
    // A view checks no NOT NULL, not even its domain's: an outer join gives NULL all the same.
    column.notNull = (flags & kNotNull) != 0 && relkind != "v";
    column.autoIncrement = (flags & kAutoIncrement) != 0;
    column.isArray = (flags & kArray) != 0;

    // The type modifier as each type packs it; -1 is a type declared without one.
    const std::string& name = column.typeName;
    if (name == "enum") {
        column.length = fields.Number(row, at + 3).value_or(0);
    } else if (name == "character varying" || name == "character") {
        if (typmod >= 4)
            column.length = typmod - 4;
    } else if (name == "\"char\"") {
        column.length = 1; // one byte, never declared with a length
    } else if (name == "numeric") {
        if (typmod >= 4) {
            const std::int64_t packed = typmod - 4;
            column.precision = (packed >> 16) & 0xffff;
            // The scale is an 11-bit signed number: numeric(5,-2) rounds to hundreds.
            column.scale = ((packed & 0x7ff) ^ 1024) - 1024;
        }
    } else if (name == "bit" || name == "bit varying") {
        if (typmod >= 0)
            column.length = typmod;
    } else if (StartsWith(name, "time")) {
        if (typmod >= 0)
            column.precision = typmod;
    }
    return column;
}

bool IsTableOrView(const std::string& relkind) {
    return relkind == "r" || relkind == "p" || relkind == "v";
}

class PostgreSqlDialect final : public EngineDialect {
public:
    bool Prepare(CatalogueQueries& queries, unsigned querySeconds) override {
        // A session setting, so that each statement needs no timeout of its own (which the driver would
        // set and reset with a round trip of its own around every statement).
        const std::string milliseconds = std::to_string(static_cast<std::uint64_t>(querySeconds) * 1000);
        queries.Run("SELECT pg_catalog.set_config('statement_timeout', ?, false)", {milliseconds});
        return true;
    }

    Rowset TableCatalogue(CatalogueQueries& queries, bool includeSystemTables) override {
        const std::string sql =
            std::string(kCatalogueSql) + (includeSystemTables ? "" : kNotSystem) + kCatalogueOrder;
        Rowset result;
        result.columns = {"TABLE_CAT", "TABLE_SCHEM", "TABLE_NAME", "TABLE_TYPE"};
        for (const QueryRow& row : queries.Run(sql)) {
            std::vector<std::string> values;
            for (std::size_t i = 0; i < result.columns.size(); ++i)
                values.push_back(kCatalogueColumns.Text(row, i));
            result.rows.push_back(std::move(values));
        }
        return result;
    }

    std::vector<ColumnDescription> DescribeTable(CatalogueQueries& queries, const std::string& table) override {
        static const std::string sql = DescribeTableSql();
        const std::vector<QueryRow> rows = queries.Run(sql, {table});
        if (rows.empty())
            throw Unreadable(Format("Table '%s' not found", {table}));
        const CatalogueColumns& fields = kDescribeColumns;
        if (!IsTableOrView(fields.Text(rows.front(), 0)))
            throw Unreadable(Format("'%s' is neither a table nor a view", {table}));
        std::vector<ColumnDescription> columns;
        for (const QueryRow& row : rows) {
            if (fields.Value(row, 1))
                columns.push_back(DescribeDeclared(dialects::postgresql().types,
                                                   ToDeclared(fields, row, 1, fields.Text(row, 0))));
        }
        return columns;
    }

    DatabaseSchema ReadSchema(CatalogueQueries& queries) override {
        static const std::string sql = ReadSchemaSql();
        DatabaseSchema schema;
        schema.namesIgnoreAsciiCase = false;

        // Rows come per relation in catalogue order; a system relation that a listed name reaches is
        // kept aside with its columns until every listed table is known.
        struct Unlisted {
            std::string name;
            std::vector<ColumnDescription> columns;
        };
        std::vector<Unlisted> unlisted;
        std::string currentOid;
        std::vector<ColumnDescription>* columns = nullptr;
        const CatalogueColumns& fields = kSchemaColumns;
        for (const QueryRow& row : queries.Run(sql)) {
            fields.RequireComplete(row);
            const std::string& oid = fields.Text(row, 0);
            if (oid != currentOid || !columns) {
                currentOid = oid;
                const std::int64_t flags = fields.Number(row, 3).value_or(0);
                if (flags & kListed) {
                    schema.tables.push_back(
                        {fields.Text(row, 1), fields.Text(row, 2) == "v" ? "VIEW" : "TABLE", {}, {}});
                    if (flags & kVisible)
                        schema.MarkReachable(schema.tables.size() - 1);
                    columns = &schema.tables.back().columns;
                } else {
                    unlisted.push_back({fields.Text(row, 1), {}});
                    columns = &unlisted.back().columns;
                }
            }
            if (fields.Value(row, 4))
                columns->push_back(DescribeDeclared(dialects::postgresql().types,
                                                    ToDeclared(fields, row, 4, fields.Text(row, 2))));
        }
        // The name of a listed table reaches a system relation of that name: every row of the name reads it.
        for (Unlisted& relation : unlisted) {
            if (schema.Find(relation.name))
                continue;
            for (std::size_t i = 0; i < schema.tables.size(); ++i) {
                if (schema.tables[i].name != relation.name)
                    continue;
                schema.tables[i].columns = std::move(relation.columns);
                schema.MarkReachable(i);
                break;
            }
        }
        return schema;
    }
};

} // namespace

const EngineIdentity& dialects::postgresql() {
    // clang-format off
    static const EngineIdentity engine = {
        "PostgreSQL",
        {"postgresql"},
        {"psqlodbc"},
        {
            {SQL_VARCHAR, "bool", QuirkRemedy::Retype, SQL_BIT,
             "BoolsAsChar (on by default) reports boolean as VARCHAR(5); the type name still says bool"},
            {SQL_CHAR, "bool", QuirkRemedy::Retype, SQL_BIT,
             "the same, with the driver's fixed-width character option"},
        },
        nullptr, nullptr,
        {{  // format_type names
            {"smallint",    {"smallint"}},
            {"integer",     {"integer"}},
            {"bigint",      {"bigint"}},
            {"object id",   {"oid", "regclass", "regtype", "regproc", "xid", "cid"}},
            {"numeric",     {"numeric"}},
            {"money",       {"money"}},
            {"real",        {"real"}},
            {"double",      {"double precision"}},
            {"boolean",     {"boolean"}},
            {"bit",         {"bit"}},
            {"bit varying", {"bit varying"}},
            {"char",        {"character", "\"char\"", "bpchar"}},
            {"varchar",     {"character varying", "varchar"}},
            {"name",        {"name"}},
            {"text",        {"text", "citext", "tsvector", "tsquery"}},
            {"json",        {"json", "jsonb"}},
            {"xml",         {"xml"}},
            {"blob",        {"bytea"}},
            {"date",        {"date"}},
            {"time",        {"time without time zone", "time with time zone"}},
            {"timestamp",   {"timestamp without time zone", "timestamp with time zone"}},
            {"uuid",        {"uuid"}},
            {"enum",        {"enum"}},
            {"inet",        {"inet", "cidr"}},
            {"macaddr",     {"macaddr"}},
            {"macaddr8",    {"macaddr8"}},
            {"interval",    {"interval"}},
        }, UnknownTypeRule::Memo},
        [] { return std::unique_ptr<EngineDialect>(std::make_unique<PostgreSqlDialect>()); },
        5432, true,
    };
    // clang-format on
    return engine;
}

} // namespace korvista
