// Snapshots: written stably, read back exactly, refused with the file and the place when malformed, and
// opened as a provider that describes what the live database described.

#include "common/sqlite_test_files.h"
#include "common/test_files.h"
#include "schema/ado_connection.h"
#include "schema/schema_reader.h"
#include "schema/snapshot.h"
#include "support/errors.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>

namespace korvista {

bool operator==(const ColumnDescription& a, const ColumnDescription& b) {
    return a.name == b.name && a.type == b.type && a.definedSize == b.definedSize && a.precision == b.precision &&
           a.numericScale == b.numericScale && a.attributes == b.attributes &&
           a.isAutoIncrement == b.isAutoIncrement && a.acceptsNull == b.acceptsNull;
}

namespace {

using ::testing::HasSubstr;
namespace fs = std::filesystem;

bool SameSchema(const DatabaseSchema& a, const DatabaseSchema& b) {
    if (a.tables.size() != b.tables.size() || a.namesIgnoreAsciiCase != b.namesIgnoreAsciiCase)
        return false;
    for (std::size_t i = 0; i < a.tables.size(); ++i) {
        const TableSchema& x = a.tables[i];
        const TableSchema& y = b.tables[i];
        if (x.name != y.name || x.type != y.type || x.error != y.error || !(x.columns == y.columns))
            return false;
        if ((a.Find(x.name) == &x) != (b.Find(y.name) == &y))
            return false;
    }
    return true;
}

ColumnDescription Column(const std::string& name, std::int32_t type, std::int32_t size = 0) {
    ColumnDescription column;
    column.name = name;
    column.type = type;
    column.definedSize = size;
    return column;
}

// Every kind of entry a snapshot holds.
DatabaseSchema SampleSchema() {
    DatabaseSchema schema;
    TableSchema orders{"orders", "TABLE", {}, ""};
    orders.columns.push_back(Column("id", 3));
    orders.columns.back().isAutoIncrement = true;
    orders.columns.back().acceptsNull = false;
    orders.columns.push_back(Column("note \"quoted\"\t\\", 200, 300));
    orders.columns.push_back(Column(std::string("caf\xe9", 4), 131)); // not UTF-8
    orders.columns.back().precision = 18;
    orders.columns.back().numericScale = 2;
    orders.columns.back().attributes = 0x100;
    schema.tables.push_back(orders);
    schema.tables.push_back({"empty", "TABLE", {}, ""});
    schema.tables.push_back({"broken", "VIEW", {}, "no such table: gone"});
    schema.tables.push_back({"orders", "TABLE", {}, ""}); // a namesake the name does not reach
    for (std::size_t i = 0; i < 3; ++i)
        schema.MarkReachable(i);
    return schema;
}

TEST(Snapshot, RoundTripKeepsEveryEntryAndIsStable) {
    const DatabaseSchema schema = SampleSchema();
    const std::string text = WriteSnapshot(schema);
    const DatabaseSchema back = ParseSnapshot(text, "s.json");
    EXPECT_TRUE(SameSchema(schema, back)) << text;
    EXPECT_EQ(WriteSnapshot(back), text);
    // One column per line, so that a changed column is one changed line in a diff.
    EXPECT_THAT(text, HasSubstr("\n      {\"name\": \"id\", \"type\": 3, \"size\": 0, \"precision\": 0, \"scale\": 0, "
                                "\"attributes\": 0, \"autoIncrement\": true, \"nullable\": false},\n"));
    EXPECT_THAT(text, HasSubstr("\"nameHex\": \"636166e9\""));
    EXPECT_THAT(text, HasSubstr("{\"name\": \"orders\", \"type\": \"TABLE\", \"reachable\": false}"));
}

TEST(Snapshot, AMessageThatIsNotUtf8StillGivesReadableJson) {
    DatabaseSchema schema;
    schema.tables.push_back({"v", "VIEW", {}, std::string("no such table: caf\xe9")});
    schema.MarkReachable(0);
    const DatabaseSchema back = ParseSnapshot(WriteSnapshot(schema), "s.json");
    ASSERT_EQ(back.tables.size(), 1u);
    EXPECT_EQ(back.tables[0].error, "no such table: caf\xef\xbf\xbd");
}

struct Malformed {
    const char* what;
    std::string text;
    const char* place;
};

TEST(Snapshot, MalformedTextNamesTheFileAndThePlace) {
    const std::string good = WriteSnapshot(SampleSchema());
    const auto replaced = [&](const std::string& from, const std::string& to) {
        std::string text = good;
        text.replace(text.find(from), from.size(), to);
        return text;
    };
    const std::vector<Malformed> cases = {
        {"bad JSON", "{\n  \"format\": ,", "line 2, column"},
        {"empty file", "", "line 1, column 1"},
        {"not an object", "[1]", "the top level"},
        {"wrong format", replaced("korvista-snapshot", "other"), "format"},
        {"wrong version", replaced("\"version\": 1", "\"version\": 2"), "version"},
        {"version as text", replaced("\"version\": 1", "\"version\": \"1\""), "the top level.version"},
        {"tables not an array", replaced("\"tables\": [", "\"tables\": 5, \"rest\": ["), "tables"},
        {"type of wrong kind", replaced("\"type\": 3", "\"type\": \"int\""), "tables[0].columns[0].type"},
        {"size not whole", replaced("\"size\": 300", "\"size\": 3.5"), "tables[0].columns[1].size"},
        {"scale out of range", replaced("\"scale\": 2", "\"scale\": 256"), "tables[0].columns[2].scale"},
        {"missing member", replaced("\"nullable\": false", "\"nulable\": false"), "tables[0].columns[0].nullable"},
        {"unknown table type", replaced("\"type\": \"VIEW\"", "\"type\": \"INDEX\""), "tables[2].type"},
        {"bad hex", replaced("636166e9", "63616"), "tables[0].columns[2].nameHex"},
    };
    for (const Malformed& c : cases) {
        try {
            ParseSnapshot(c.text, "/ci/ref.json");
            ADD_FAILURE() << c.what << ": accepted";
        } catch (const Error& error) {
            EXPECT_THAT(error.what(), HasSubstr("/ci/ref.json")) << c.what;
            EXPECT_THAT(error.what(), HasSubstr(c.place)) << c.what;
        }
    }
}

class SnapshotFile : public ::testing::Test {
protected:
    void SetUp() override { dir_ = testfiles::MakeScratchDir("korvista-snapshot-"); }
    void TearDown() override { testfiles::RemoveScratchDir(dir_); }
    fs::path dir_;
};

TEST_F(SnapshotFile, MissingFifoAndFolderAreErrorsNotEmptyDatabases) {
    const fs::path fifo = dir_ / "fifo.json";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const fs::path& path : {dir_ / "missing.json", fifo, dir_}) {
        try {
            ReadSnapshotFile(path.string());
            ADD_FAILURE() << path << " read";
        } catch (const Error& error) {
            EXPECT_THAT(error.what(), HasSubstr(path.string()));
        }
    }
}

TEST_F(SnapshotFile, ProviderDescribesWhatTheLiveDatabaseDescribed) {
    const std::string db = (dir_ / "live.db").string();
    testing::ExecuteSqlite(db, "CREATE TABLE orders (id INTEGER PRIMARY KEY, name varchar(40) NOT NULL, "
                               "total numeric(10,2)); CREATE TABLE \"Order\" (x text);"
                               "CREATE VIEW totals AS SELECT id, total FROM orders;");
    TADOConnection live;
    live.SetConnectionString("Provider=SQLite;Data Source=" + db);
    const std::string file = (dir_ / "live.json").string();
    WriteSnapshotFile(ReadDatabaseSchema(live), file);

    TADOConnection snapshot;
    snapshot.SetConnectionString("Provider=Snapshot;Data Source=" + file);
    std::vector<std::string> liveNames, snapshotNames;
    GetTableNames(live, liveNames, false);
    GetTableNames(snapshot, snapshotNames, false);
    EXPECT_EQ(snapshotNames, liveNames);
    for (const std::string& name : liveNames) {
        EXPECT_EQ(ReadTableFields(snapshot, name), ReadTableFields(live, name)) << name;
        SchemaCatalogue catalogue(snapshot);
        EXPECT_EQ(catalogue.Fields(name), ReadTableFields(live, name)) << name;
    }
    EXPECT_THROW(ReadTableFields(snapshot, "nowhere"), Error);
    EXPECT_THROW(snapshot.Session().DescribeQuery("select 1"), Error);
}

} // namespace
} // namespace korvista
