// One reference schema in SQLite, PostgreSQL and MariaDB, described through the ODBC provider on each
// driver and through the built-in SQLite provider: the field definitions must agree, except where the
// engines themselves differ, each such place listed below with its reason.

#include "odbc/test_servers_helpers.h"
#include "schema/provider.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace korvista {
namespace {

using testservers::Dialect;
using testservers::Engine;
namespace fs = std::filesystem;

enum class Source { PostgreSQL, MariaDB, SqliteOdbc, SqliteBuiltIn };

const char* SourceName(Source source) {
    switch (source) {
    case Source::PostgreSQL:
        return "PostgreSQL (ODBC)";
    case Source::MariaDB:
        return "MariaDB (ODBC)";
    case Source::SqliteOdbc:
        return "SQLite (ODBC)";
    case Source::SqliteBuiltIn:
        return "SQLite (built-in)";
    }
    return "";
}

struct Expected {
    const char* object;
    FieldDef field;
};

// What every engine should give for the reference schema.
const std::vector<Expected>& Reference() {
    static const std::vector<Expected> reference = {
        {"ref", {"id", ftAutoInc, 0, true}},       {"ref", {"i", ftInteger, 0, false}},
        {"ref", {"s", ftSmallint, 0, false}},      {"ref", {"b", ftLargeint, 0, false}},
        {"ref", {"n9", ftInteger, 0, false}},      {"ref", {"n18", ftBCD, 2, false}},
        {"ref", {"r", ftFloat, 0, false}},         {"ref", {"d", ftFloat, 0, false}},
        {"ref", {"flag", ftBoolean, 0, false}},    {"ref", {"c", ftString, 10, false}},
        {"ref", {"v", ftString, 50, true}},        {"ref", {"t", ftMemo, 0, false}},
        {"ref", {"dt", ftDate, 0, false}},         {"ref", {"tm", ftTime, 0, false}},
        {"ref", {"ts", ftDateTime, 0, false}},     {"ref", {"bin", ftBlob, 0, false}},
        {"ref", {"naïve_ñ", ftInteger, 0, false}}, {"refv", {"id", ftAutoInc, 0, true}},
        {"refv", {"v", ftString, 50, true}},       {"refv", {"naïve_ñ", ftInteger, 0, false}},
    };
    return reference;
}

struct Difference {
    Source source;
    const char* object;
    FieldDef field; // what this engine gives instead
    const char* reason;
};

// Where the engines differ by nature; nothing the provider could mend from what the driver reports.
const std::vector<Difference>& EngineInherent() {
    static const std::vector<Difference> differences = {
        {Source::MariaDB,
         "ref",
         {"flag", ftSmallint, 0, false},
         "MariaDB's BOOLEAN is a synonym of TINYINT(1)"},
        {Source::PostgreSQL,
         "refv",
         {"id", ftInteger, 0, false},
         "PostgreSQL does not carry identity or NOT NULL into a view's columns"},
        {Source::PostgreSQL,
         "refv",
         {"v", ftString, 50, false},
         "PostgreSQL does not carry NOT NULL into a view's columns"},
    };
    return differences;
}

class CrossEngine : public ::testing::Test {
protected:
    void TearDown() override {
        if (!dir_.empty())
            fs::remove_all(dir_);
    }

    // The connection string of a fresh database holding the reference schema; nullopt when skipped.
    std::string Prepare(Source source) {
        switch (source) {
        case Source::PostgreSQL:
        case Source::MariaDB: {
            const Engine engine = source == Source::PostgreSQL ? Engine::PostgreSQL : Engine::MariaDB;
            const std::string cs = testservers::CreateDatabase(engine, testservers::UniqueName("x"));
            testservers::Execute(cs, testservers::ReferenceSchema(source == Source::PostgreSQL
                                                                      ? Dialect::PostgreSQL
                                                                      : Dialect::MariaDB));
            return "Provider=ODBC;" + cs;
        }
        case Source::SqliteOdbc:
        case Source::SqliteBuiltIn: {
            if (dir_.empty()) {
                dir_ = fs::temp_directory_path() / testservers::UniqueName("x");
                fs::create_directories(dir_);
                testservers::Execute(testservers::SqliteOdbcConnectionString((dir_ / "ref.db").string()),
                                     testservers::ReferenceSchema(Dialect::SQLite));
            }
            const std::string file = (dir_ / "ref.db").string();
            return source == Source::SqliteOdbc ? testservers::SqliteOdbcConnectionString(file)
                                                : "Provider=SQLite;Data Source=" + file;
        }
        }
        return {};
    }

    // As the window reads a table: through the engine's dialect where the provider has one.
    std::vector<FieldDef> Describe(ProviderSession& session, const std::string& object) {
        return DescribeResult(session.DescribeTable(object));
    }

    void CheckAgainstReference(Source source) {
        std::unique_ptr<ProviderSession> session = OpenProviderSession(Prepare(source));
        for (const char* object : {"ref", "refv"}) {
            std::vector<FieldDef> expected;
            for (const Expected& e : Reference()) {
                if (std::string(e.object) != object)
                    continue;
                FieldDef field = e.field;
                for (const Difference& d : EngineInherent()) {
                    if (d.source == source && std::string(d.object) == object && d.field.name == field.name) {
                        // A listed difference that no longer exists must leave the list.
                        EXPECT_NE(d.field, field) << "listed difference equals the reference: " << d.reason;
                        field = d.field;
                    }
                }
                expected.push_back(field);
            }
            const std::vector<FieldDef> actual = Describe(*session, object);
            ASSERT_EQ(actual.size(), expected.size()) << SourceName(source) << " " << object;
            for (std::size_t i = 0; i < actual.size(); ++i) {
                EXPECT_EQ(actual[i], expected[i])
                    << SourceName(source) << " " << object << "." << expected[i].name << ": got "
                    << actual[i].name << " " << DataTypeName(actual[i].dataType) << " " << actual[i].size
                    << (actual[i].required ? " required" : "");
            }
        }
    }

    fs::path dir_;
};

TEST_F(CrossEngine, PostgreSql) {
    KORVISTA_REQUIRE_SERVER(Engine::PostgreSQL);
    CheckAgainstReference(Source::PostgreSQL);
}

TEST_F(CrossEngine, MariaDb) {
    KORVISTA_REQUIRE_SERVER(Engine::MariaDB);
    CheckAgainstReference(Source::MariaDB);
}

TEST_F(CrossEngine, SqliteThroughOdbc) {
    CheckAgainstReference(Source::SqliteOdbc);
}

TEST_F(CrossEngine, SqliteBuiltIn) {
    CheckAgainstReference(Source::SqliteBuiltIn);
}

// The two SQLite roads read the same file: apart from the listed differences of the ODBC driver they agree.
TEST_F(CrossEngine, BothSqliteProvidersAgreeOutsideTheListedDifferences) {
    std::unique_ptr<ProviderSession> odbc = OpenProviderSession(Prepare(Source::SqliteOdbc));
    std::unique_ptr<ProviderSession> builtIn = OpenProviderSession(Prepare(Source::SqliteBuiltIn));
    for (const char* object : {"ref", "refv"}) {
        std::vector<FieldDef> a = Describe(*odbc, object);
        std::vector<FieldDef> b = Describe(*builtIn, object);
        ASSERT_EQ(a.size(), b.size());
        for (std::size_t i = 0; i < a.size(); ++i) {
            bool listed = false;
            for (const Difference& d : EngineInherent())
                listed |= (d.source == Source::SqliteOdbc || d.source == Source::SqliteBuiltIn) &&
                          std::string(d.object) == object && d.field.name == a[i].name;
            if (!listed) {
                EXPECT_EQ(a[i], b[i]) << object << "." << a[i].name;
            }
        }
    }
}

} // namespace
} // namespace korvista
