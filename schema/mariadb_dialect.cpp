// MariaDB and MySQL: tables, views and columns from information_schema, restricted to the connection's
// own database by equality (the driver's own catalogue functions match the database name with LIKE).

#include "schema/mariadb_dialect.h"

#include "schema/catalogue_dialect.h"
#include "schema/type_model.h"
#include "support/ascii.h"
#include "support/errors.h"
#include "support/u_Utility.h"

#include <algorithm>
#include <charconv>
#include <unordered_map>
#include <unordered_set>
#include <utility>

namespace korvista {

namespace {

// ---- Reading a view definition as the server writes it back ----

struct Token {
    enum class Kind { Name, Word, Text, Symbol };
    Kind kind;
    std::string text; // Name: without quotes; Word: in lower case; Text: the literal's value
};

using Tokens = std::vector<Token>;

bool IsBlank(char c) {
    return IsAnyOf(c, kAsciiSpaces);
}

bool IsWordChar(char c) {
    return IsAsciiLetter(c) || IsAsciiDigit(c) || c == '_' ||
           c == '$' || static_cast<unsigned char>(c) >= 0x80;
}

Tokens Tokenize(std::string_view sql) {
    Tokens tokens;
    std::size_t i = 0;
    while (i < sql.size()) {
        const char c = sql[i];
        if (IsBlank(c)) {
            ++i;
        } else if (c == '`' || c == '\'' || c == '"') {
            // A doubled quote stands for one; in literals a backslash escapes the next character.
            std::string text;
            for (++i; i < sql.size(); ++i) {
                if (sql[i] == c) {
                    if (i + 1 < sql.size() && sql[i + 1] == c) {
                        text += c;
                        ++i;
                        continue;
                    }
                    ++i;
                    break;
                }
                if (c != '`' && sql[i] == '\\' && i + 1 < sql.size())
                    ++i;
                text += sql[i];
            }
            tokens.push_back({c == '`' ? Token::Kind::Name : Token::Kind::Text, std::move(text)});
        } else if (c == '/' && i + 1 < sql.size() && sql[i + 1] == '*') {
            const std::size_t close = sql.find("*/", i + 2);
            i = close == std::string_view::npos ? sql.size() : close + 2;
        } else if (IsWordChar(c)) {
            const std::size_t start = i;
            while (i < sql.size() && IsWordChar(sql[i]))
                ++i;
            tokens.push_back({Token::Kind::Word, AsciiLower(sql.substr(start, i - start))});
        } else {
            tokens.push_back({Token::Kind::Symbol, std::string(1, c)});
            ++i;
        }
    }
    return tokens;
}

bool IsWord(const Tokens& t, std::size_t i, std::size_t end, std::string_view word) {
    return i < end && t[i].kind == Token::Kind::Word && t[i].text == word;
}

bool IsSymbol(const Tokens& t, std::size_t i, std::size_t end, char symbol) {
    return i < end && t[i].kind == Token::Kind::Symbol && t[i].text[0] == symbol;
}

bool IsName(const Tokens& t, std::size_t i, std::size_t end) {
    return i < end && t[i].kind == Token::Kind::Name;
}

// Just past the parenthesised group that opens at `open`; `end` when it does not close.
std::size_t PastGroup(const Tokens& t, std::size_t open, std::size_t end) {
    int depth = 0;
    for (std::size_t i = open; i < end; ++i) {
        if (IsSymbol(t, i, end, '('))
            ++depth;
        else if (IsSymbol(t, i, end, ')') && --depth == 0)
            return i + 1;
    }
    return end;
}

bool OneOf(const std::string& word, std::initializer_list<std::string_view> words) {
    return std::find(words.begin(), words.end(), word) != words.end();
}

// A table, view or derived table of a FROM clause.
struct FromEntry {
    std::string database; // empty when unqualified
    std::string object;   // empty for a derived table
    std::string alias;    // empty when none
    std::size_t derivedBegin = 0, derivedEnd = 0;
};

struct SelectParts {
    bool readable = false;
    std::vector<std::pair<std::size_t, std::size_t>> items; // token ranges of the select list
    std::vector<FromEntry> from;
};

// Skips a join condition: "on(...)" and "using(...)" as the server writes them.
std::size_t PastCondition(const Tokens& t, std::size_t i, std::size_t end) {
    if (IsSymbol(t, i, end, '('))
        return PastGroup(t, i, end);
    int depth = 0;
    for (; i < end; ++i) {
        if (IsSymbol(t, i, end, '('))
            ++depth;
        else if (IsSymbol(t, i, end, ')') && depth-- == 0)
            break;
        else if (depth == 0 &&
                 (IsSymbol(t, i, end, ',') || (t[i].kind == Token::Kind::Word &&
                                               OneOf(t[i].text, {"join", "inner", "left", "right", "cross",
                                                                 "natural", "straight_join", "full"}))))
            break;
    }
    return i;
}

std::vector<FromEntry> ParseFrom(const Tokens& t, std::size_t i, std::size_t end) {
    std::vector<FromEntry> from;
    while (i < end) {
        if (IsWord(t, i, end, "on") || IsWord(t, i, end, "using")) {
            i = PastCondition(t, i + 1, end);
        } else if (IsSymbol(t, i, end, '(')) {
            if (!IsWord(t, i + 1, end, "select")) {
                ++i; // a nested join
                continue;
            }
            FromEntry entry;
            const std::size_t past = PastGroup(t, i, end);
            entry.derivedBegin = i + 1;
            entry.derivedEnd = past > i + 1 ? past - 1 : past;
            i = past;
            if (IsWord(t, i, end, "as"))
                ++i;
            if (IsName(t, i, end))
                entry.alias = t[i++].text;
            from.push_back(std::move(entry));
        } else if (IsName(t, i, end)) {
            FromEntry entry;
            entry.object = t[i++].text;
            if (IsSymbol(t, i, end, '.') && IsName(t, i + 1, end)) {
                entry.database = std::move(entry.object);
                entry.object = t[i + 1].text;
                i += 2;
            }
            if (IsWord(t, i, end, "as"))
                ++i;
            if (IsName(t, i, end))
                entry.alias = t[i++].text;
            from.push_back(std::move(entry));
        } else if (t[i].kind == Token::Kind::Word && IsSymbol(t, i + 1, end, '(')) {
            i = PastGroup(t, i + 1, end); // index hints, partitions, table functions
        } else {
            ++i;
        }
    }
    return from;
}

// Whether the select list aggregates or uses a window function; a subquery's own aggregates do not count.
bool Aggregates(const Tokens& t, std::size_t begin, std::size_t end) {
    for (std::size_t i = begin; i < end; ++i) {
        if (IsSymbol(t, i, end, '(') && IsWord(t, i + 1, end, "select")) {
            i = PastGroup(t, i, end) - 1;
        } else if (t[i].kind == Token::Kind::Word &&
                   (t[i].text == "over" ||
                    (IsSymbol(t, i + 1, end, '(') &&
                     OneOf(t[i].text,
                           {"count", "sum", "avg", "min", "max", "group_concat", "bit_and", "bit_or",
                            "bit_xor", "std", "stddev", "stddev_pop", "stddev_samp", "variance", "var_pop",
                            "var_samp", "json_arrayagg", "json_objectagg"})))) {
            return true;
        }
    }
    return false;
}

// A select the server cannot merge into the statement that reads the view is materialised first, and
// its result description then no longer says AUTO_INCREMENT: such selects are not followed.
SelectParts ParseSelect(const Tokens& t, std::size_t begin, std::size_t end) {
    SelectParts parts;
    if (!IsWord(t, begin, end, "select"))
        return parts; // WITH and anything else: not followed
    std::size_t fromAt = end, fromEnd = end;
    int depth = 0;
    for (std::size_t i = begin + 1; i < end; ++i) {
        if (IsSymbol(t, i, end, '(')) {
            ++depth;
        } else if (IsSymbol(t, i, end, ')')) {
            --depth;
        } else if (depth == 0 && t[i].kind == Token::Kind::Word) {
            const std::string& word = t[i].text;
            if (OneOf(word, {"union", "except", "intersect", "group", "having", "limit", "distinct",
                             "distinctrow"}))
                return parts; // a set operation, or materialised
            if (fromAt == end && word == "from")
                fromAt = i;
            else if (fromAt != end && fromEnd == end &&
                     OneOf(word, {"where", "group", "having", "order", "limit", "window", "procedure", "into",
                                  "for", "lock", "offset", "fetch"}))
                fromEnd = i;
        }
    }
    std::size_t i = begin + 1;
    while (i < fromAt && t[i].kind == Token::Kind::Word &&
           OneOf(t[i].text, {"all", "high_priority", "straight_join", "sql_small_result", "sql_big_result",
                             "sql_buffer_result", "sql_cache", "sql_no_cache", "sql_calc_found_rows"}))
        ++i;
    if (Aggregates(t, i, fromAt))
        return parts;
    depth = 0;
    for (std::size_t start = i; i <= fromAt; ++i) {
        if (i == fromAt || (depth == 0 && IsSymbol(t, i, end, ','))) {
            parts.items.emplace_back(start, i);
            start = i + 1;
        } else if (IsSymbol(t, i, end, '(')) {
            ++depth;
        } else if (IsSymbol(t, i, end, ')')) {
            --depth;
        }
    }
    if (fromAt != end)
        parts.from = ParseFrom(t, fromAt + 1, fromEnd);
    parts.readable = true;
    return parts;
}

// The names of a select item that is a bare column reference (column, table.column or
// database.table.column), and the item's alias.
struct SelectItem {
    std::vector<std::string> reference; // empty for an expression
    std::string alias;
};

SelectItem ReadItem(const Tokens& t, std::size_t begin, std::size_t end) {
    SelectItem item;
    if (end - begin >= 3 && IsWord(t, end - 2, end, "as") && IsName(t, end - 1, end)) {
        item.alias = t[end - 1].text;
        end -= 2;
    }
    for (std::size_t i = begin; i < end; i += 2) {
        if (!IsName(t, i, end) || (i + 1 < end && !IsSymbol(t, i + 1, end, '.')) || i + 1 == end - 1) {
            item.reference.clear();
            break;
        }
        item.reference.push_back(t[i].text);
    }
    if (item.reference.size() > 3)
        item.reference.clear();
    if (item.alias.empty() && !item.reference.empty())
        item.alias = item.reference.back();
    return item;
}

std::optional<ColumnReference> Follow(const Tokens& t, std::size_t begin, std::size_t end,
                                      std::string_view column, int depth) {
    if (depth > 32)
        return std::nullopt;
    const SelectParts parts = ParseSelect(t, begin, end);
    if (!parts.readable)
        return std::nullopt;
    std::optional<SelectItem> match;
    for (const auto& [itemBegin, itemEnd] : parts.items) {
        SelectItem item = ReadItem(t, itemBegin, itemEnd);
        if (item.alias == column) {
            match = std::move(item);
            break;
        }
        if (!match && AsciiEqualsNoCase(item.alias, column))
            match = std::move(item);
    }
    if (!match || match->reference.empty())
        return std::nullopt;
    const std::vector<std::string>& ref = match->reference;
    if (ref.size() == 3)
        return ColumnReference{ref[0], ref[1], ref[2]};

    const FromEntry* entry = nullptr;
    if (ref.size() == 2) {
        for (const FromEntry& e : parts.from)
            if (e.alias == ref[0])
                entry = &e;
        if (!entry)
            for (const FromEntry& e : parts.from)
                if (e.alias.empty() && e.object == ref[0])
                    entry = &e;
    } else if (parts.from.size() == 1) {
        entry = &parts.from.front();
    }
    if (!entry)
        return std::nullopt;
    if (entry->object.empty())
        return Follow(t, entry->derivedBegin, entry->derivedEnd, ref.back(), depth + 1);
    return ColumnReference{entry->database, entry->object, ref.back()};
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

const std::optional<std::string>& At(const QueryRow& row, std::size_t field) {
    if (field >= row.size())
        throw Unreadable("The catalogue holds an incomplete row.");
    return row[field];
}

std::string Text(const QueryRow& row, std::size_t field) {
    return At(row, field).value_or(std::string());
}

std::optional<std::int64_t> Number(const QueryRow& row, std::size_t field) {
    const std::optional<std::string>& text = At(row, field);
    if (!text)
        return std::nullopt;
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(text->data(), text->data() + text->size(), value);
    if (error != std::errc() || end != text->data() + text->size())
        return std::nullopt;
    return value;
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
        caseSensitive_ = Text(rows[0], 0) == "0";
        database_ = At(rows[0], 1);
        mariaDb_ = Contains(Text(rows[0], 2), "mariadb");
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
            if (std::optional<std::string> type = ListedType(Text(row, 1), includeSystemTables))
                result.rows.push_back({Text(row, 0), *type});
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
        const bool anyView = std::any_of(tables.begin(), tables.end(),
                                         [](const QueryRow& row) { return Text(row, 1) == "VIEW"; });
        // Without an AUTO_INCREMENT column there is nothing a view could pass through.
        if (anyView && origins.HasAutoIncrement()) {
            for (const QueryRow& row : queries.Run("SELECT TABLE_NAME, VIEW_DEFINITION, " + Algorithm() +
                                                   " FROM information_schema.VIEWS WHERE " + Schema()))
                origins.AddView(Text(row, 0), Text(row, 1), Text(row, 2));
        }

        for (const QueryRow& row : tables) {
            std::optional<std::string> type = ListedType(Text(row, 1), false);
            if (!type)
                continue;
            TableSchema table;
            table.name = Text(row, 0);
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
            result.push_back(DescribeDeclared(EngineFamily::MariaDB, column));
        }
        return result;
    }

    bool caseSensitive_ = true;
    std::optional<std::string> database_;
    bool mariaDb_ = true;
};

} // namespace

std::optional<ColumnReference> ViewColumnReference(std::string_view definition, std::string_view column) {
    const Tokens tokens = Tokenize(definition);
    return Follow(tokens, 0, tokens.size(), column, 0);
}

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

std::unique_ptr<EngineDialect> MakeMariaDbDialect() {
    return std::make_unique<MariaDbDialect>();
}

} // namespace korvista
