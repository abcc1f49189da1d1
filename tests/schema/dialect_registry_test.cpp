// The dialect registry: every engine is linked and found by the names it answers to, and what each
// dialect file declares of its engine is consistent with the shared model.

#include "schema/catalogue_dialect.h"
#include "schema/dialect_registry.h"
#include "schema/type_model.h"
#include "support/ascii.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace korvista {
namespace {

// The DBMS names the drivers in use report; each must reach its engine's dialect in any letter case.
TEST(DialectRegistry, EveryKnownDbmsNameReachesItsDialect) {
    const std::map<std::string, std::string> known = {
        {"PostgreSQL", "PostgreSQL"}, {"MariaDB", "MariaDB"}, {"MySQL", "MariaDB"}, {"SQLite", "SQLite"}};
    for (const auto& [dbms, engine] : known) {
        for (const std::string& spelled : {dbms, AsciiLower(dbms), AsciiUpper(dbms)}) {
            const EngineIdentity* found = EngineForDbmsName(spelled);
            ASSERT_NE(found, nullptr) << spelled;
            EXPECT_EQ(found->name, engine) << spelled;
            EXPECT_NE(DialectForDbmsName(spelled), nullptr) << spelled;
        }
    }
    for (const char* other : {"Microsoft SQL Server", "", "postgres", "sqlite3"}) {
        EXPECT_EQ(EngineForDbmsName(other), nullptr) << other;
        EXPECT_EQ(DialectForDbmsName(other), nullptr) << other;
    }
}

// A name claimed twice would silently go to the engine listed first.
TEST(DialectRegistry, EveryEngineIsFoundByEachOfItsNamesAndNoNameIsClaimedTwice) {
    ASSERT_GE(RegisteredEngines().size(), 3u);
    std::map<std::string, const EngineIdentity*> dbmsOwners, driverOwners;
    for (const EngineIdentity* engine : RegisteredEngines()) {
        EXPECT_FALSE(engine->dbmsNames.empty()) << engine->name;
        for (std::string_view name : engine->dbmsNames) {
            EXPECT_EQ(AsciiLower(name), name) << engine->name << ": names are kept in lower case";
            EXPECT_EQ(EngineForDbmsName(AsciiUpper(name)), engine) << name;
            EXPECT_TRUE(dbmsOwners.emplace(std::string(name), engine).second) << name << " claimed twice";
        }
        for (std::string_view part : engine->driverFiles) {
            EXPECT_EQ(AsciiLower(part), part) << engine->name << ": parts are kept in lower case";
            EXPECT_EQ(EngineForDriverFile("/usr/lib/lib" + AsciiUpper(part) + ".so"), engine) << part;
            EXPECT_TRUE(driverOwners.emplace(std::string(part), engine).second) << part << " claimed twice";
        }
        for (const DriverQuirk& quirk : engine->quirks)
            EXPECT_GT(std::string(quirk.why).size(), 10u) << engine->name;
        EXPECT_NE(engine->makeDialect(), nullptr) << engine->name;
    }
}

// A name in upper case, or one listed under two logical types, would never reach its own.
TEST(DialectRegistry, EveryTypeNameOfEveryEngineReachesItsOwnLogicalType) {
    for (const EngineIdentity* engine : RegisteredEngines()) {
        for (const TypeNames& type : engine->types.names) {
            const LogicalType* logical = LogicalTypeNamed(type.logical);
            ASSERT_NE(logical, nullptr) << engine->name << ": no logical type " << type.logical;
            EXPECT_FALSE(type.names.empty()) << engine->name << " " << type.logical;
            for (std::string_view name : type.names) {
                EXPECT_EQ(FindLogicalType(engine->types, name), logical) << engine->name << ": " << name;
                EXPECT_EQ(FindLogicalType(engine->types, AsciiUpper(name)), logical)
                    << engine->name << ": " << name;
            }
        }
    }
}

// Only the unknown-name rule tells the engines apart once the names are found.
TEST(DescribeDeclared, AnUnknownNameFollowsTheEnginesRule) {
    const EngineTypes memo{{}, UnknownTypeRule::Memo};
    const EngineTypes affinity{{}, UnknownTypeRule::SqliteAffinity};
    DeclaredColumn column;
    column.name = "c";
    column.typeName = "bigint";
    EXPECT_EQ(DescribeDeclared(memo, column).type, 201);   // memo: adLongVarChar
    EXPECT_EQ(DescribeDeclared(affinity, column).type, 3); // INTEGER affinity: adInteger
    column.typeName = "oid";
    EXPECT_EQ(DescribeDeclared(EngineForDbmsName("SQLite")->types, column).type, 131);    // NUMERIC affinity
    EXPECT_EQ(DescribeDeclared(EngineForDbmsName("PostgreSQL")->types, column).type, 19); // object id
}

} // namespace
} // namespace korvista
