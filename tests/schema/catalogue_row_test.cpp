// One error policy for catalogue rows: a malformed or missing value is an error naming its column, on the
// reader and on every dialect that reads through it; NULL stays an absent value.

#include "schema/catalogue_dialect.h"
#include "schema/catalogue_row.h"
#include "support/errors.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <deque>

namespace korvista {
namespace {

using ::testing::AllOf;
using ::testing::HasSubstr;

const CatalogueColumns kColumns({"NAME", "NUMERIC_PRECISION"});

std::string ErrorOf(const std::function<void()>& read) {
    try {
        read();
    } catch (const Unreadable& error) {
        return error.what();
    }
    return "no error";
}

TEST(CatalogueColumns, NumbersParseNullIsAbsentAndAnythingElseNamesColumnAndValue) {
    EXPECT_EQ(kColumns.Number({"n", "42"}, 1), 42);
    EXPECT_EQ(kColumns.Number({"n", "-7"}, 1), -7);
    EXPECT_EQ(kColumns.Number({"n", std::nullopt}, 1), std::nullopt);
    EXPECT_EQ(kColumns.Text({std::nullopt, "1"}, 0), "");
    for (const char* malformed : {"", "x", "12x", " 1", "1.5", "99999999999999999999"}) {
        EXPECT_THAT(ErrorOf([&] {
                        kColumns.Number({"n", malformed}, 1);
                    }),
                    AllOf(HasSubstr("NUMERIC_PRECISION"), HasSubstr("\"" + std::string(malformed) + "\"")))
            << malformed;
    }
}

TEST(CatalogueColumns, AMissingColumnIsNamed) {
    EXPECT_THAT(ErrorOf([] { kColumns.Text({"n"}, 1); }), HasSubstr("NUMERIC_PRECISION"));
    EXPECT_THAT(ErrorOf([] { kColumns.Value({}, 0); }), HasSubstr("NAME"));
    EXPECT_THAT(ErrorOf([] { kColumns.RequireComplete({"n"}); }), HasSubstr("NUMERIC_PRECISION"));
    EXPECT_EQ(ErrorOf([] { kColumns.RequireComplete({"n", std::nullopt}); }), "no error");
}

// Gives the scripted answers in turn, whatever the statement.
class ScriptedQueries final : public CatalogueQueries {
public:
    ScriptedQueries(std::deque<std::vector<QueryRow>> answers, std::vector<ColumnOrigin> origins)
        : answers_(std::move(answers)), origins_(std::move(origins)) {}
    std::vector<QueryRow> Run(const std::string&, const std::vector<std::string>&) override {
        if (answers_.empty())
            return {};
        std::vector<QueryRow> rows = std::move(answers_.front());
        answers_.pop_front();
        return rows;
    }
    std::vector<ColumnOrigin> Origins(const std::string&) override { return origins_; }

private:
    std::deque<std::vector<QueryRow>> answers_;
    std::vector<ColumnOrigin> origins_;
};

// Before, PostgreSQL threw, MariaDB took the column for one without a size and SQLite for nullable.
TEST(CatalogueColumns, EveryDialectRefusesAMalformedNumberNamingItsColumn) {
    struct Case {
        const char* dbms;
        std::deque<std::vector<QueryRow>> answers; // Prepare's, then DescribeTable's
        const char* column;
    };
    const std::vector<Case> cases = {
        {"PostgreSQL", {{}, {{"r", "c", "integer", "x4", std::nullopt, "0"}}}, "atttypmod"},
        {"MariaDB",
         {{{"0", "db", "10.11.6-MariaDB"}},
          {},
          {{"t", "c", "1", "decimal", "decimal(10,2)", std::nullopt, "ten", "2", "YES", "", "C"}}},
         "NUMERIC_PRECISION"},
        {"SQLite", {{{"t", "c", "INTEGER", "not a number"}}}, "notnull + 2 * pk"},
    };
    for (const Case& c : cases) {
        ScriptedQueries queries(c.answers, {{"t", "c"}});
        std::unique_ptr<EngineDialect> dialect = DialectForDbmsName(c.dbms);
        ASSERT_NE(dialect, nullptr) << c.dbms;
        const std::string error = ErrorOf([&] {
            dialect->Prepare(queries, 30);
            dialect->DescribeTable(queries, "t");
        });
        EXPECT_THAT(error, HasSubstr(c.column)) << c.dbms;
    }
}

} // namespace
} // namespace korvista
