// A MariaDB/MySQL view's definition as the server writes it back: which column a view column passes
// through unchanged.

#include "schema/mariadb_view_definition.h"

#include "support/ascii.h"

#include <algorithm>
#include <initializer_list>
#include <utility>
#include <vector>

namespace korvista {

namespace {

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
    return IsAsciiLetter(c) || IsAsciiDigit(c) || c == '_' || c == '$' ||
           static_cast<unsigned char>(c) >= 0x80;
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

} // namespace

std::optional<ColumnReference> ViewColumnReference(std::string_view definition, std::string_view column) {
    const Tokens tokens = Tokenize(definition);
    return Follow(tokens, 0, tokens.size(), column, 0);
}

} // namespace korvista
