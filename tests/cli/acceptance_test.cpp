// korvista-cli as an outside tester meets it: a copy of the built executable in a folder of its own, so the
// log it keeps beside itself can be read whole, and databases made for one rule at a time.
#include "cli/cli_test_helpers.h"

#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <memory>
#include <regex>
#include <sys/utsname.h>
#include <unistd.h>

using namespace korvista::clitest;
namespace fs = std::filesystem;

namespace {

constexpr std::uintmax_t kLimit = 33554432;
const std::string kEntryText = "Error opening database using connectionstring: ";

std::vector<std::string> CrLfLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(text.substr(start, end - start));
    EXPECT_EQ(start, text.size()) << "text after the last CR LF";
    return lines;
}

// "dd/mm/yy hh:mm:ss" as local time.
std::time_t ParseStamp(const std::string& stamp) {
    std::tm tm{};
    tm.tm_mday = std::stoi(stamp.substr(0, 2));
    tm.tm_mon = std::stoi(stamp.substr(3, 2)) - 1;
    tm.tm_year = 100 + std::stoi(stamp.substr(6, 2));
    tm.tm_hour = std::stoi(stamp.substr(9, 2));
    tm.tm_min = std::stoi(stamp.substr(12, 2));
    tm.tm_sec = std::stoi(stamp.substr(15, 2));
    tm.tm_isdst = -1;
    return std::mktime(&tm);
}

std::string RotatedName(std::time_t when) {
    std::tm tm{};
    localtime_r(&when, &tm);
    char name[32];
    std::strftime(name, sizeof name, "%y%m%d-korvista-cli.log", &tm);
    return name;
}

std::string MachineField() {
    struct utsname names {};
    ::uname(&names);
    std::string name = std::string(names.nodename).substr(0, 15);
    name.resize(15, ' ');
    return name;
}

class CliAcceptance : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = std::make_unique<TempDir>();
        fs::copy_file(KORVISTA_CLI_PATH, Exe());
        BuildDatabase(dir_->File("good.db"), "CREATE TABLE T (A INTEGER);");
    }
    static void TearDownTestSuite() { dir_.reset(); }

    void SetUp() override {
        for (const auto& entry : fs::directory_iterator(dir_->Path())) {
            if (entry.path().extension() == ".log")
                fs::remove_all(entry.path());
        }
        // The time stamp's separators follow the locale; C gives "/" and ":".
        setenv("LC_ALL", "C", 1);
    }
    void TearDown() override { unsetenv("LC_ALL"); }

    static std::string Exe() { return dir_->File("korvista-cli"); }
    static std::string Log() { return dir_->File("korvista-cli.log"); }
    static std::string Good() { return SqliteConnection(dir_->File("good.db")); }
    // Opening it fails, and its text is short enough to stay on one log line.
    static std::string Bad() { return SqliteConnection(dir_->File("absent.db")) + ";Password=Geheim"; }
    static std::string BadLogged() { return SqliteConnection(dir_->File("absent.db")) + ";Password=***"; }
    static std::string Dir() { return dir_->Path(); }
    static std::string InDir(const std::string& name) { return dir_->File(name); }

    // Database 1 opens, database 2 does not: exactly one log entry per run.
    static ProcessResult RunWithOneEntry() { return RunProgram(Exe(), {Good(), Bad()}); }

    // The header's and the entry's time stamps, checked against the layout and against the clock.
    static void ExpectEntryLine(const std::string& line, std::time_t before, std::time_t after) {
        static const std::regex layout(R"((\d\d/\d\d/\d\d \d\d:\d\d:\d\d) \[(\d{5}):(\d{5})\] \[(.{15})\]  )"
                                       R"(\[(.{25})\] (.*))");
        std::smatch match;
        ASSERT_TRUE(std::regex_match(line, match, layout)) << line;
        EXPECT_EQ(match.position(6), 79);
        const std::time_t stamp = ParseStamp(match[1]);
        EXPECT_GE(stamp, before - 1) << match[1];
        EXPECT_LE(stamp, after + 1) << match[1];
        // One process, one thread: instance and thread field carry the same number.
        EXPECT_EQ(match[2], match[3]);
        EXPECT_EQ(match[4], MachineField());
        EXPECT_EQ(match[5], std::string(25, ' '));
        EXPECT_EQ(match[6], kEntryText + BadLogged());
    }

private:
    static std::unique_ptr<TempDir> dir_;
};

std::unique_ptr<TempDir> CliAcceptance::dir_;

TEST_F(CliAcceptance, FailedOpenStartsTheLogWithItsHeaderAndOneEntry) {
    const std::time_t before = std::time(nullptr);
    const ProcessResult run = RunWithOneEntry();
    const std::time_t after = std::time(nullptr);
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err.find(kEntryText), std::string::npos) << "log text on standard error: " << run.err;

    const std::vector<std::string> lines = CrLfLines(ReadFile(Log()));
    ASSERT_EQ(lines.size(), 3u);
    const std::string headStart = "Log for \"korvista-cli\" v1.0.1.32 started @ ";
    ASSERT_EQ(lines[0].size(), headStart.size() + 17) << lines[0];
    EXPECT_EQ(lines[0].substr(0, headStart.size()), headStart);
    EXPECT_EQ(lines[1], std::string(120, '-'));
    ExpectEntryLine(lines[2], before, after);
    // The header carries the moment the file was started, which is this entry's.
    EXPECT_EQ(lines[0].substr(headStart.size()), lines[2].substr(0, 17));

    // A later run appends its entry under the same header.
    const std::time_t again = std::time(nullptr);
    RunWithOneEntry();
    const std::vector<std::string> more = CrLfLines(ReadFile(Log()));
    ASSERT_EQ(more.size(), 4u);
    EXPECT_EQ(std::vector<std::string>(more.begin(), more.begin() + 3), lines);
    ExpectEntryLine(more[3], again, std::time(nullptr));
}

TEST_F(CliAcceptance, NothingIsLoggedWhenEveryOpenSucceedsOrNoStringIsGiven) {
    EXPECT_EQ(RunProgram(Exe(), {Good(), Good()}).status, 0);
    EXPECT_FALSE(fs::exists(Log()));

    // An empty string is not even tried; the provider's complaint reaches the user, not the log.
    const ProcessResult empty = RunProgram(Exe(), {"", ""});
    EXPECT_EQ(empty.status, 2);
    EXPECT_NE(empty.err.find("database 1 cannot be opened: "), std::string::npos) << empty.err;
    EXPECT_FALSE(fs::exists(Log()));
}

TEST_F(CliAcceptance, LogBeyond32MiBIsMovedAsideBeforeTheNextEntry) {
    // Exactly at the limit: appended to.
    WriteFile(Log(), "");
    ASSERT_EQ(::truncate(Log().c_str(), kLimit), 0);
    RunWithOneEntry();
    const std::uintmax_t grown = fs::file_size(Log());
    ASSERT_GT(grown, kLimit);
    const std::string tail = ReadFile(Log()).substr(kLimit);
    ASSERT_EQ(CrLfLines(tail).size(), 1u) << tail;
    for (const auto& entry : fs::directory_iterator(Dir()))
        EXPECT_FALSE(entry.path().filename().string().ends_with("-korvista-cli.log")) << entry.path();

    // One byte beyond it: renamed to YYMMDD-korvista-cli.log, and the entry starts a new file.
    ASSERT_EQ(::truncate(Log().c_str(), kLimit + 1), 0);
    const std::time_t before = std::time(nullptr);
    RunWithOneEntry();
    const std::time_t after = std::time(nullptr);
    std::string rotated = InDir(RotatedName(before));
    if (!fs::exists(rotated))
        rotated = InDir(RotatedName(after));
    ASSERT_TRUE(fs::exists(rotated));
    EXPECT_EQ(fs::file_size(rotated), kLimit + 1);
    const std::vector<std::string> fresh = CrLfLines(ReadFile(Log()));
    ASSERT_EQ(fresh.size(), 3u);
    EXPECT_EQ(fresh[0].rfind("Log for \"korvista-cli\" v1.0.1.32 started @ ", 0), 0u);
    ExpectEntryLine(fresh[2], before, after);

    // A second rotation the same day finds the name taken: both files stay, the log grows on.
    ASSERT_EQ(::truncate(Log().c_str(), kLimit + 1), 0);
    RunWithOneEntry();
    EXPECT_EQ(fs::file_size(rotated), kLimit + 1);
    EXPECT_EQ(fs::file_size(Log()), kLimit + 1 + fresh[2].size() + 2);
}

TEST_F(CliAcceptance, UnwritableLogDoesNotChangeTheRun) {
    fs::create_directory(Log());
    const ProcessResult run = RunWithOneEntry();
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("database 2 cannot be opened: "), std::string::npos) << run.err;
    EXPECT_TRUE(fs::is_empty(Log()));
}

// Type categories and name matching, each rule seen in what the tool reports.
TEST(CliAcceptanceCompare, CategoriesNamesAndSwitchesAsReported) {
    TempDir dir;
    BuildDatabase(dir.File("one.db"), R"(
        CREATE TABLE Kinds (Fixed CHAR(10), Varying VARCHAR(10), Small NUMERIC(9,0), Wide NUMERIC(10,0),
                            Money NUMERIC(18,2), Notes TEXT, Picture BLOB, OrderId INTEGER NOT NULL,
                            "café" VARCHAR(5));
        CREATE TABLE Keys (Id INTEGER PRIMARY KEY, Name TEXT);
    )");
    BuildDatabase(dir.File("two.db"), R"(
        CREATE TABLE Extra (Only INTEGER);
        CREATE TABLE Kinds (Fixed VARCHAR(10), Varying CHAR(10), Small INTEGER, Wide INTEGER,
                            Money NUMERIC(18,3), Notes BLOB, Picture BLOB, ORDERID INTEGER NOT NULL,
                            "CAFÉ" VARCHAR(5), OnlyHere INTEGER);
        CREATE TABLE Keys (Id INT PRIMARY KEY, Name TEXT);
    )");
    const std::string db1 = SqliteConnection(dir.File("one.db"));
    const std::string db2 = SqliteConnection(dir.File("two.db"));

    const ProcessResult all = RunCli({"--format", "tsv", db1, db2});
    EXPECT_EQ(all.status, 1) << all.err;
    EXPECT_EQ(all.out, "Table\tVeldnaam\tVeld (DB1)\tVeld (DB2)\tVerschil\n"
                       "Kinds\tWide\tBCD:0:null\tinteger:0:null\tdatatype\n"
                       "Kinds\tMoney\tBCD:2:null\tBCD:3:null\tsize\n"
                       "Kinds\tNotes\tmemo:0:null\tblob:0:null\tdatatype\n"
                       "Kinds\tcafé\tstring:5:null\t???\tFIELD MISSING\n"
                       "Keys\tId\tautoinc:0:not-null\tinteger:0:null\tdatatype, nullability\n");
    const ProcessResult counted = RunCli({db1, db2});
    EXPECT_EQ(counted.out.substr(counted.out.rfind('\n', counted.out.size() - 2) + 1),
              "Er zijn 6 verschillen gevonden!\n");

    // One difference left: the same wording.
    const ProcessResult one = RunCli({"--no-datatype", "--no-null", "--no-missing", db1, db2});
    EXPECT_EQ(one.status, 1);
    EXPECT_EQ(one.out.substr(one.out.rfind('\n', one.out.size() - 2) + 1),
              "Er zijn 1 verschillen gevonden!\n");
}

} // namespace
