// Reading the texts a MariaDB/MySQL server writes back: view definitions (to follow a view column to the
// column it passes through) and ENUM/SET labels.

#include "schema/mariadb_dialect.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace korvista {
namespace {

struct ReferenceCase {
    const char* what;
    const char* definition;
    const char* column;
    std::optional<std::vector<std::string>> expected; // database, object, column
};

// Definitions as the server stores them: every name quoted, column references qualified.
const std::vector<ReferenceCase>& ReferenceCases() {
    static const std::vector<ReferenceCase> cases = {
        {"qualified column", "select `db`.`k`.`id` AS `id`,`db`.`k`.`v` AS `v` from `db`.`k`", "v",
         std::vector<std::string>{"db", "k", "v"}},
        {"table alias", "select `x`.`id` AS `ident`,`x`.`v` AS `v` from `db`.`k` `x`", "ident",
         std::vector<std::string>{"db", "k", "id"}},
        {"view named without alias", "select `al`.`ident` AS `ident` from `db`.`al`", "ident",
         std::vector<std::string>{"db", "al", "ident"}},
        {"left join",
         "select `db`.`a`.`n` AS `n`,`db`.`k`.`id` AS `id` from (`db`.`a` left join `db`.`k` "
         "on(`db`.`a`.`n` = `db`.`k`.`id`))",
         "id", std::vector<std::string>{"db", "k", "id"}},
        {"aliases in a join",
         "select `p`.`id` AS `pid`,`q`.`id` AS `qid` from (`db`.`k` `p` join `db`.`a` `q` on(`p`.`id` = "
         "`q`.`n`)) "
         "where `p`.`id` > 0",
         "qid", std::vector<std::string>{"db", "a", "id"}},
        {"derived table", "select `d`.`id` AS `id` from (select `db`.`k`.`id` AS `id` from `db`.`k`) `d`",
         "id", std::vector<std::string>{"db", "k", "id"}},
        {"expression in a derived table",
         "select `d`.`id` AS `id` from (select `db`.`k`.`id` + 1 AS `id` from `db`.`k`) `d`", "id",
         std::nullopt},
        {"quotes inside names", "select `db`.`we``ird`.`i``d` AS `i``d` from `db`.`we``ird`", "i`d",
         std::vector<std::string>{"db", "we`ird", "i`d"}},
        {"keywords inside a literal", "select 'a from `x` union' AS `s`,`db`.`k`.`id` AS `id` from `db`.`k`",
         "id", std::vector<std::string>{"db", "k", "id"}},
        {"the literal itself", "select 'a from `x` union' AS `s`,`db`.`k`.`id` AS `id` from `db`.`k`", "s",
         std::nullopt},
        {"subquery in the select list",
         "select (select max(`db`.`a`.`id`) from `db`.`a`) AS `sub`,`db`.`k`.`id` AS `id` from `db`.`k`",
         "id", std::vector<std::string>{"db", "k", "id"}},
        {"aggregate", "select max(`db`.`k`.`id`) AS `m` from `db`.`k`", "m", std::nullopt},
        {"arithmetic", "select `db`.`k`.`id` + 1 AS `e` from `db`.`k`", "e", std::nullopt},
        {"FROM inside a function",
         "select extract(year from `db`.`t`.`d`) AS `y`,`db`.`t`.`id` AS `id` from `db`.`t`", "id",
         std::vector<std::string>{"db", "t", "id"}},
        {"ordered", "select `db`.`k`.`id` AS `id` from `db`.`k` order by `db`.`k`.`id`", "id",
         std::vector<std::string>{"db", "k", "id"}},
        // Materialised by the server: no longer what the column passes through.
        {"distinct", "select distinct `db`.`k`.`id` AS `id` from `db`.`k`", "id", std::nullopt},
        {"group by", "select `db`.`k`.`id` AS `id` from `db`.`k` group by `db`.`k`.`id`", "id", std::nullopt},
        {"having", "select `db`.`k`.`id` AS `id` from `db`.`k` having `db`.`k`.`id` > 0", "id", std::nullopt},
        {"limit", "select `db`.`k`.`id` AS `id` from `db`.`k` limit 5", "id", std::nullopt},
        {"aggregate beside", "select `db`.`k`.`id` AS `id`,count(0) AS `c` from `db`.`k`", "id",
         std::nullopt},
        {"window function",
         "select `db`.`k`.`id` AS `id`,row_number() over ( order by `db`.`k`.`id`) AS `r` from "
         "`db`.`k`",
         "id", std::nullopt},
        {"grouped derived table",
         "select `d`.`id` AS `id` from (select `db`.`k`.`id` AS `id` from `db`.`k` group by `db`.`k`.`id`) "
         "`d`",
         "id", std::nullopt},
        {"letter case of the column", "select `db`.`k`.`id` AS `id` from `db`.`k`", "ID",
         std::vector<std::string>{"db", "k", "id"}},
        {"unqualified, one table", "select `id` AS `id` from `k`", "id",
         std::vector<std::string>{"", "k", "id"}},
        {"unqualified, two tables", "select `id` AS `id` from `k` join `a`", "id", std::nullopt},
        {"union",
         "select `db`.`k`.`id` AS `id` from `db`.`k` union select `db`.`a`.`id` AS `id` from `db`.`a`", "id",
         std::nullopt},
        {"common table expression",
         "with `c` as (select `db`.`k`.`id` AS `id` from `db`.`k`) select `c`.`id` AS "
         "`id` from `c`",
         "id", std::nullopt},
        {"no such column", "select `db`.`k`.`id` AS `id` from `db`.`k`", "other", std::nullopt},
        {"not a select", "", "id", std::nullopt},
    };
    return cases;
}

TEST(MariaDbViewDefinition, FollowsBareColumnReferencesOnly) {
    for (const ReferenceCase& c : ReferenceCases()) {
        const std::optional<ColumnReference> actual = ViewColumnReference(c.definition, c.column);
        ASSERT_EQ(actual.has_value(), c.expected.has_value()) << c.what;
        if (actual) {
            EXPECT_EQ((std::vector<std::string>{actual->database, actual->object, actual->column}),
                      *c.expected)
                << c.what;
        }
    }
}

TEST(MariaDbColumnType, LongestLabelCountsCharactersOfTheUnescapedLabels) {
    const std::vector<std::pair<const char*, std::optional<std::int64_t>>> cases = {
        {"enum('a','bcd','éé')", 3},
        {"set('x','yy','zzz')", 3},
        {"enum('it''s','a\\\\b')", 4},
        {"set('a\\\\b','c')", 3},
        {"enum('日本語','ab')", 3},
        {"set('a,b','c')", 3},
        {"enum('')", 0},
        {"int(11)", std::nullopt},
        {"varchar(5)", std::nullopt},
        {"enum", std::nullopt},
    };
    for (const auto& [columnType, expected] : cases)
        EXPECT_EQ(LongestLabel(columnType), expected) << columnType;
}

} // namespace
} // namespace korvista
