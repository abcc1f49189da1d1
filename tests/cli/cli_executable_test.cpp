// korvista-cli as a pipeline runs it: a separate process, its outputs and its exit status.
#include "cli/cli_test_helpers.h"

#include "version.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringDecoder>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

using namespace korvista;
using namespace korvista::clitest;
using ::testing::HasSubstr;
using ::testing::Not;

namespace {

std::vector<std::string> SplitTabs(const std::string& line) {
    std::vector<std::string> cells;
    std::size_t start = 0;
    while (true) {
        const std::size_t tab = line.find('\t', start);
        cells.push_back(line.substr(start, tab - start));
        if (tab == std::string::npos)
            return cells;
        start = tab + 1;
    }
}

std::vector<ResultRow> TsvRows(const std::string& tsv) {
    std::vector<std::string> lines = Lines(tsv);
    EXPECT_FALSE(lines.empty());
    if (lines.empty())
        return {};
    EXPECT_EQ(lines[0], "Table\tVeldnaam\tVeld (DB1)\tVeld (DB2)\tVerschil");
    std::vector<ResultRow> rows;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const std::vector<std::string> cells = SplitTabs(lines[i]);
        EXPECT_EQ(cells.size(), 5u) << lines[i];
        if (cells.size() == 5)
            rows.push_back({cells[0], cells[1], cells[2], cells[3], cells[4]});
    }
    return rows;
}

struct JsonResult {
    int version = 0;
    int differences = -1;
    std::vector<ResultRow> rows;
};

JsonResult ParseJson(const std::string& json) {
    QStringDecoder decoder(QStringDecoder::Utf8);
    (void)decoder(QByteArrayView(json.data(), static_cast<qsizetype>(json.size())));
    EXPECT_FALSE(decoder.hasError()) << "output is not valid UTF-8";
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(json), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString() << "\n" << json;
    JsonResult result;
    const QJsonObject root = document.object();
    result.version = root["version"].toInt();
    result.differences = root["differences"].toInt(-1);
    for (const QJsonValue& value : root["rows"].toArray()) {
        const QJsonObject row = value.toObject();
        result.rows.push_back({row["table"].toString().toStdString(), row["field"].toString().toStdString(),
                               row["db1"].toString().toStdString(), row["db2"].toString().toStdString(),
                               row["difference"].toString().toStdString()});
    }
    return result;
}

// The text layout: cells separated by at least two blanks, none of the sample cells holds two.
std::vector<ResultRow> TextRows(const std::string& text, int* count) {
    std::vector<std::string> lines = Lines(text);
    *count = 0;
    if (lines.size() >= 2 && lines[lines.size() - 2].empty()) {
        const std::string last = lines.back();
        const std::string prefix = "Er zijn ", suffix = " verschillen gevonden!";
        EXPECT_EQ(last.rfind(prefix, 0), 0u) << last;
        *count = std::stoi(last.substr(prefix.size()));
        EXPECT_EQ(last.substr(last.size() - suffix.size()), suffix);
        lines.resize(lines.size() - 2);
    }
    EXPECT_GE(lines.size(), 2u);
    std::vector<ResultRow> rows;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::vector<std::string> cells;
        std::size_t pos = 0;
        const std::string& line = lines[i];
        while (pos < line.size()) {
            std::size_t end = line.find("  ", pos);
            cells.push_back(line.substr(pos, end == std::string::npos ? std::string::npos : end - pos));
            if (end == std::string::npos)
                break;
            pos = line.find_first_not_of(' ', end);
        }
        if (i == 0) {
            EXPECT_EQ(cells, (std::vector<std::string>{"Table", "Veldnaam", "Veld (DB1)", "Veld (DB2)",
                                                       "Verschil"}));
        } else if (i >= 2) {
            if (cells.size() == 5)
                rows.push_back({cells[0], cells[1], cells[2], cells[3], cells[4]});
            else
                ADD_FAILURE() << "not five cells: " << line;
        }
    }
    return rows;
}

class CliSamples : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = std::make_unique<TempDir>();
        BuildSamples(dir_->Path());
    }
    static void TearDownTestSuite() { dir_.reset(); }

    static std::string Db1() { return SqliteConnection(dir_->File("sample1.db")); }
    static std::string Db2() { return SqliteConnection(dir_->File("sample2.db")); }
    static std::string File(const std::string& name) { return dir_->File(name); }

    static int ExpectedCount() { return WithSwitches(ExpectedSampleRows(), {}).count; }

private:
    static std::unique_ptr<TempDir> dir_;
};

std::unique_ptr<TempDir> CliSamples::dir_;

TEST_F(CliSamples, EveryFormatGivesTheExpectedRowsAndExitsWithOne) {
    const std::vector<ResultRow> expected = ExpectedSampleRows();
    ASSERT_EQ(ExpectedCount(), 16);

    const ProcessResult tsv = RunCli({"--format", "tsv", Db1(), Db2()});
    EXPECT_EQ(tsv.status, 1);
    EXPECT_EQ(tsv.err, "");
    EXPECT_EQ(tsv.out, ExpectedSampleTsv());

    const ProcessResult json = RunCli({"--format=json", Db1(), Db2()});
    EXPECT_EQ(json.status, 1);
    EXPECT_EQ(json.err, "");
    const JsonResult parsed = ParseJson(json.out);
    EXPECT_EQ(parsed.version, 1);
    EXPECT_EQ(parsed.differences, 16);
    EXPECT_EQ(parsed.rows, expected);

    const ProcessResult text = RunCli({Db1(), Db2()});
    EXPECT_EQ(text.status, 1);
    EXPECT_EQ(text.err, "");
    int count = 0;
    EXPECT_EQ(TextRows(text.out, &count), expected);
    EXPECT_EQ(count, 16);
    EXPECT_THAT(text.out, HasSubstr("\nEr zijn 16 verschillen gevonden!\n"));
    // Progress goes to a terminal only; nothing of it reaches standard output.
    EXPECT_THAT(text.out, Not(HasSubstr("\r")));
}

TEST_F(CliSamples, IdenticalDatabasesExitWithZeroAndReportNothing) {
    const ProcessResult text = RunCli({Db1(), Db1()});
    EXPECT_EQ(text.status, 0);
    EXPECT_EQ(text.err, "");
    EXPECT_THAT(text.out, Not(HasSubstr("verschillen")));
    EXPECT_EQ(Lines(text.out).size(), 2u);

    const ProcessResult tsv = RunCli({"--format", "tsv", Db2(), Db2()});
    EXPECT_EQ(tsv.status, 0);
    EXPECT_EQ(tsv.out, "Table\tVeldnaam\tVeld (DB1)\tVeld (DB2)\tVerschil\n");

    const ProcessResult json = RunCli({"--format", "json", Db1(), Db1()});
    EXPECT_EQ(json.status, 0);
    const JsonResult parsed = ParseJson(json.out);
    EXPECT_EQ(parsed.differences, 0);
    EXPECT_TRUE(parsed.rows.empty());
}

TEST_F(CliSamples, SwitchesSelectWhatIsReported) {
    const std::vector<ResultRow> allOn = ExpectedSampleRows();
    for (int mask = 1; mask < 16; ++mask) {
        CompareSwitches switches;
        std::vector<std::string> args = {"--format", "json"};
        if (mask & 1) {
            switches.datatype = false;
            args.push_back("--no-datatype");
        }
        if (mask & 2) {
            switches.size = false;
            args.push_back("--no-size");
        }
        if (mask & 4) {
            switches.null = false;
            args.push_back("--no-null");
        }
        if (mask & 8) {
            switches.missing = false;
            args.push_back("--no-missing");
        }
        args.push_back(Db1());
        args.push_back(Db2());
        const TableComparison expected = WithSwitches(allOn, switches);
        const ProcessResult run = RunCli(args);
        SCOPED_TRACE("switch mask " + std::to_string(mask));
        EXPECT_EQ(run.status, expected.count == 0 ? 0 : 1);
        const JsonResult parsed = ParseJson(run.out);
        EXPECT_EQ(parsed.differences, expected.count);
        EXPECT_EQ(parsed.rows, expected.rows);
    }
    // Everything off: nothing can be reported.
    const ProcessResult none =
        RunCli({"--no-datatype", "--no-size", "--no-null", "--no-missing", Db1(), Db2()});
    EXPECT_EQ(none.status, 0);
}

// What only database 2 has is what the reverse run reports missing, mirrored.
std::vector<ResultRow> Mirrored(const std::vector<ResultRow>& rows) {
    std::vector<ResultRow> mirrored;
    for (const ResultRow& row : rows)
        if (row.difference == "FIELD MISSING")
            mirrored.push_back({row.table, row.field, "???", row.db1, "FIELD EXTRA"});
    return mirrored;
}

TEST_F(CliSamples, BothWaysAlsoReportsWhatOnlyDatabaseTwoHas) {
    const ProcessResult run = RunCli({"--both-ways", "--format", "json", Db1(), Db2()});
    EXPECT_EQ(run.status, 1) << run.err;
    const JsonResult parsed = ParseJson(run.out);
    std::vector<ResultRow> forward, extra;
    for (const ResultRow& row : parsed.rows)
        (row.difference == "FIELD EXTRA" ? extra : forward).push_back(row);
    EXPECT_EQ(forward, ExpectedSampleRows()) << "nothing else changes";
    const std::vector<ResultRow> expectedExtra = Mirrored(TsvRows(RunCli({"--format", "tsv", Db2(), Db1()}).out));
    EXPECT_EQ(extra, expectedExtra);
    // A column of a table both have (customers, products) and every column of suppliers, each counting 1.
    std::set<std::string> tables;
    for (const ResultRow& row : extra)
        tables.insert(row.table);
    EXPECT_EQ(tables, (std::set<std::string>{"customers", "products", "suppliers"}));
    EXPECT_EQ(parsed.differences, ExpectedCount() + static_cast<int>(extra.size()));
    // The extra columns follow their table's own rows; the extra tables come last.
    EXPECT_EQ(parsed.rows.back().table, "suppliers");
    EXPECT_EQ(RunCli({"--both-ways", Db1(), Db1()}).status, 0);
}

TEST_F(CliSamples, TablePatternsChooseTheTablesOfBothDatabases) {
    struct Case {
        std::vector<std::string> options;
        std::set<std::string> tables; // those with rows
    };
    const std::vector<Case> cases = {
        {{"--table", "order*"}, {"order_lines", "orders"}},
        {{"--table", "order*", "--table", "CUST*", "--exclude-table", "*lines"}, {"orders", "customers", "customer_orders"}},
        {{"--exclude-table", "C*", "--exclude-table", "[op]*"}, {}},
        {{"--table", "?ustomer[a-z]"}, {"customers"}},
        {{"--both-ways", "--table", "S*"}, {"suppliers"}},
        {{"--both-ways", "--exclude-table", "[!s]*"}, {"suppliers"}},
        {{"--both-ways", "--table", "*s", "--exclude-table", "*e*"}, {"coupons", "products"}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = c.options;
        args.insert(args.end(), {"--format", "tsv", Db1(), Db2()});
        const ProcessResult run = RunCli(args);
        std::set<std::string> tables;
        for (const ResultRow& row : TsvRows(run.out))
            tables.insert(row.table);
        EXPECT_EQ(tables, c.tables) << args[0] << " " << args[1];
        EXPECT_EQ(run.status, c.tables.empty() ? 0 : 1);
    }
}

TEST_F(CliSamples, SettingsFileOfTheWindowGivesTheSameRun) {
    const std::string ini = File("settings.ini");
    WriteFile(ini,
              "[DB1]\r\nConnectionString=" + Db1() + "\r\n[db2]\r\nCONNECTIONSTRING=\"" + Db2() + "\"\r\n");
    const ProcessResult run = RunCli({"--format", "tsv", "--settings", ini});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, ExpectedSampleTsv());

    const ProcessResult missing = RunCli({"--settings", File("absent.ini")});
    EXPECT_EQ(missing.status, 2);
    EXPECT_EQ(missing.out, "");
    EXPECT_THAT(missing.err, HasSubstr("absent.ini"));

    const std::string half = File("half.ini");
    WriteFile(half, "[DB1]\r\nConnectionString=" + Db1() + "\r\n");
    const ProcessResult noDb2 = RunCli({"--settings", half});
    EXPECT_EQ(noDb2.status, 2);
    EXPECT_THAT(noDb2.err, HasSubstr("database 2"));
}

TEST_F(CliSamples, ErrorsExitWithTwoAndOneLineOnStandardError) {
    const ProcessResult db1 = RunCli({SqliteConnection(File("no-such-1.db")), Db2()});
    EXPECT_EQ(db1.status, 2);
    EXPECT_EQ(db1.out, "");
    EXPECT_EQ(Lines(db1.err).size(), 1u) << db1.err;
    EXPECT_THAT(db1.err, HasSubstr("database 1 cannot be opened: "));
    EXPECT_THAT(db1.err, HasSubstr("no-such-1.db")); // the provider's own message names the file

    // The window would show every column as missing; the CLI refuses instead.
    const ProcessResult db2 = RunCli({Db1(), SqliteConnection(File("no-such-2.db"))});
    EXPECT_EQ(db2.status, 2);
    EXPECT_EQ(db2.out, "");
    EXPECT_EQ(Lines(db2.err).size(), 1u) << db2.err;
    EXPECT_THAT(db2.err, HasSubstr("database 2 cannot be opened: "));

    const ProcessResult provider = RunCli({"Provider=Nonsense;Data Source=x", Db2()});
    EXPECT_EQ(provider.status, 2);
    EXPECT_THAT(provider.err, HasSubstr("Provider cannot be found"));

    const ProcessResult option = RunCli({"--no-such-option", Db1(), Db2()});
    EXPECT_EQ(option.status, 2);
    EXPECT_EQ(option.out, "");
    EXPECT_THAT(option.err, HasSubstr("--help"));
    EXPECT_EQ(Lines(option.err).size(), 1u);

    EXPECT_EQ(RunCli({Db1()}).status, 2);
    EXPECT_EQ(RunCli({"--format", "xml", Db1(), Db2()}).status, 2);
}

TEST_F(CliSamples, FailedOpenIsLoggedBesideTheExecutableWithoutThePassword) {
    const std::string log =
        (std::filesystem::path(KORVISTA_CLI_PATH).parent_path() / "korvista-cli.log").string();
    const std::string marker = "log-marker-" + std::to_string(::getpid()) + ".db";
    const ProcessResult run =
        RunCli({Db1(), "Provider=SQLite;Data Source=" + File(marker) + ";Password=Geheim123"});
    EXPECT_EQ(run.status, 2);
    EXPECT_THAT(run.err, Not(HasSubstr("Geheim123")));
    const std::string written = ReadFile(log);
    EXPECT_THAT(written, HasSubstr(marker));
    EXPECT_THAT(written, Not(HasSubstr("Geheim123")));
}

TEST_F(CliSamples, SpecialFilesAreRefusedWithoutWaiting) {
    const std::string fifo = File("special.fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const ProcessResult db = RunCli({SqliteConnection(fifo), Db2()}, 5);
    EXPECT_FALSE(db.timedOut);
    EXPECT_EQ(db.status, 2);
    EXPECT_EQ(db.err, "korvista-cli: database 1 cannot be opened: The data source is not a regular file: " +
                          fifo + "\n");

    const ProcessResult folder = RunCli({Db1(), SqliteConnection(File(""))}, 5);
    EXPECT_EQ(folder.status, 2);
    EXPECT_THAT(folder.err, HasSubstr("database 2 cannot be opened: The data source is a directory"));

    const std::string unreadable = File("unreadable.ini");
    WriteFile(unreadable, "[DB1]\r\nConnectionString=x\r\n");
    ::chmod(unreadable.c_str(), 0);
    struct Case {
        std::string path;
        std::string message;
    };
    for (const Case& c : {Case{fifo, "the settings file " + fifo + " is not a regular file"},
                          Case{File(""), "the settings file " + File("") + " is a directory"},
                          Case{"/dev/null", "the settings file /dev/null is not a regular file"},
                          Case{File("absent.ini"),
                               "cannot read the settings file " + File("absent.ini") + ": No such file or directory"}}) {
        const ProcessResult run = RunCli({"--settings", c.path}, 5);
        EXPECT_FALSE(run.timedOut) << c.path;
        EXPECT_EQ(run.status, 2) << c.path;
        EXPECT_EQ(run.err, "korvista-cli: " + c.message + "\n");
    }

    // A super-user reads any file, so the unreadable one is tried as nobody.
    std::string program = KORVISTA_CLI_PATH;
    std::vector<std::string> args = {"--settings", unreadable};
    if (::geteuid() == 0) {
        ::chmod(std::filesystem::path(unreadable).parent_path().c_str(), 0755);
        args.insert(args.begin(), {"--reuid=65534", "--regid=65534", "--clear-groups", program});
        program = "/usr/bin/setpriv";
    }
    const ProcessResult denied = RunProgram(program, args, 5);
    EXPECT_EQ(denied.status, 2);
    EXPECT_EQ(denied.err, "korvista-cli: cannot read the settings file " + unreadable + ": Permission denied\n");
    EXPECT_TRUE(std::filesystem::is_fifo(fifo));
}

TEST_F(CliSamples, ErrorLinesCarryNoControlCharacters) {
    const ProcessResult open = RunCli({SqliteConnection(File("bad\x1b[2J\x07name\x7f.db")), Db2()});
    EXPECT_EQ(open.status, 2);
    EXPECT_THAT(open.err, HasSubstr("bad [2J name .db"));
    const ProcessResult option = RunCli({"--no\rsuch\x1b", Db1(), Db2()});
    EXPECT_EQ(option.status, 2);
    for (const ProcessResult& run : {open, option}) {
        ASSERT_FALSE(run.err.empty());
        EXPECT_EQ(run.err.find_first_of(std::string("\x01\x02\x07\x08\t\r\x1b\x7f", 9)), std::string::npos)
            << run.err;
        EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << run.err;
    }
}

TEST_F(CliSamples, PasswordsOfStringsThatDoNotParseStayOutOfErrorAndLog) {
    const std::string log =
        (std::filesystem::path(KORVISTA_CLI_PATH).parent_path() / "korvista-cli.log").string();
    for (const std::string bad : {"Server=\"127.0.0.1;Uid=u;Pwd=Wachtw00rd", "Uid=u;Pwd=Wacht;w00rd",
                                  "Driver={X;PASSWORD=Wachtw00rd", "DSN=a;Passwd=Wacht;w00rd"}) {
        const ProcessResult run = RunCli({Db1(), bad});
        EXPECT_EQ(run.status, 2) << bad;
        EXPECT_THAT(run.err, HasSubstr("Invalid connection string")) << bad;
        for (const char* piece : {"Wachtw00rd", "Wacht", "w00rd"}) {
            EXPECT_THAT(run.err, Not(HasSubstr(piece))) << bad;
            EXPECT_THAT(ReadFile(log), Not(HasSubstr(piece))) << bad;
        }
    }
}

// A copy of the tool in a folder of its own, so that what is planted at its log's name disturbs no
// other test.
TEST(CliLogFile, OnlyARegularFileAtTheLogsNameIsWritten) {
    TempDir dir;
    const std::string cli = dir.File("korvista-cli");
    std::filesystem::copy_file(KORVISTA_CLI_PATH, cli);
    const std::string log = dir.File("korvista-cli.log");
    const std::string target = dir.File("target.txt");
    const std::string failing = SqliteConnection(dir.File("absent.db")) + ";Pwd=x";
    const auto run = [&] {
        const ProcessResult result = RunProgram(cli, {failing, failing}, 5);
        EXPECT_FALSE(result.timedOut);
        EXPECT_EQ(result.status, 2);
    };

    run();
    EXPECT_EQ(std::filesystem::status(log).permissions(),
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    EXPECT_THAT(ReadFile(log), HasSubstr("absent.db;Pwd=***"));

    std::filesystem::remove(log);
    ASSERT_EQ(::mkfifo(log.c_str(), 0600), 0);
    run();
    EXPECT_TRUE(std::filesystem::is_fifo(log));

    std::filesystem::remove(log);
    WriteFile(target, "someone else's file\n");
    std::filesystem::create_symlink(target, log);
    run();
    EXPECT_TRUE(std::filesystem::is_symlink(log));
    EXPECT_EQ(ReadFile(target), "someone else's file\n");
}

TEST_F(CliSamples, HelpAndVersion) {
    const ProcessResult help = RunCli({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_THAT(help.out, HasSubstr("Usage: korvista-cli"));
    EXPECT_THAT(help.out, HasSubstr("Provider=SQLite;Data Source="));
    EXPECT_THAT(help.out, HasSubstr("Driver={"));
    EXPECT_EQ(help.err, "");

    const ProcessResult version = RunCli({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, std::string("korvista-cli ") + KORVISTA_FILE_VERSION + "\n");
}

// Names that a format must carry intact: quotes, backslashes, control characters, broken UTF-8.
TEST(CliEscaping, AwkwardTableAndColumnNamesSurviveEveryFormat) {
    TempDir dir;
    const std::string table = "Order \"Lines\" \\ Tab\tNew\nLine\x01 caf\xC3\xA9";
    const std::string column = "Col\"\\\x1F";
    const std::string broken = "Bad\xFFName";
    const auto quote = [](const std::string& name) {
        std::string quoted = "\"";
        for (const char c : name)
            quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
        return quoted + "\"";
    };
    BuildDatabase(dir.File("one.db"), "CREATE TABLE " + quote(table) + " (" + quote(column) +
                                          " VARCHAR(10) NOT NULL, Plain INTEGER);" + "CREATE TABLE " +
                                          quote(broken) + " (Id INTEGER NOT NULL);");
    BuildDatabase(dir.File("two.db"), "CREATE TABLE Other (Id INTEGER);");
    const std::string db1 = SqliteConnection(dir.File("one.db"));
    const std::string db2 = SqliteConnection(dir.File("two.db"));

    const ProcessResult json = RunCli({"--format", "json", db1, db2});
    EXPECT_EQ(json.status, 1);
    const JsonResult parsed = ParseJson(json.out);
    EXPECT_EQ(parsed.differences, 3);
    ASSERT_EQ(parsed.rows.size(), 3u);
    EXPECT_EQ(parsed.rows[0].table, table);
    EXPECT_EQ(parsed.rows[0].field, column);
    EXPECT_EQ(parsed.rows[0].db1, "string:10:not-null");
    EXPECT_EQ(parsed.rows[1].field, "Plain");
    EXPECT_EQ(parsed.rows[2].table, "Bad\xEF\xBF\xBDName");

    const ProcessResult tsv = RunCli({"--format", "tsv", db1, db2});
    const std::vector<ResultRow> rows = TsvRows(tsv.out);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].table, "Order \"Lines\" \\ Tab New Line  caf\xC3\xA9");

    const ProcessResult text = RunCli({db1, db2});
    EXPECT_EQ(Lines(text.out).size(), 2u + 3u + 2u);
}

TEST(MakeSamples, BuildsBothDatabasesAndASettingsFileOnlyOnce) {
    if (std::system("command -v sqlite3 >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "the sqlite3 command line tool is not installed";
    TempDir dir;
    const std::string script = KORVISTA_SOURCE_DIR "/scripts/make-samples";
    const ProcessResult made = RunProgram(script, {dir.Path()});
    ASSERT_EQ(made.status, 0) << made.err;

    const std::string ini = dir.File("korvista.ini");
    const std::string real = std::filesystem::canonical(dir.Path()).string();
    EXPECT_EQ(ReadFile(ini), "[DB1]\r\nConnectionString=Provider=SQLite;Data Source=" + real +
                                 "/sample1.db\r\n[DB2]\r\nConnectionString=Provider=SQLite;Data Source=" +
                                 real + "/sample2.db\r\n");
    struct stat info {};
    ASSERT_EQ(::stat(ini.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);

    const ProcessResult run = RunCli({"--format", "tsv", "--settings", ini});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, ExpectedSampleTsv());

    // A second run rebuilds the databases but leaves the user's settings alone.
    WriteFile(ini, "[DB1]\r\nConnectionString=mine\r\n");
    WriteFile(dir.File("sample1.db"), "not a database");
    ASSERT_EQ(RunProgram(script, {dir.Path()}).status, 0);
    EXPECT_EQ(ReadFile(ini), "[DB1]\r\nConnectionString=mine\r\n");
    EXPECT_EQ(RunCli({"--format", "tsv", SqliteConnection(dir.File("sample1.db")),
                      SqliteConnection(dir.File("sample2.db"))})
                  .out,
              ExpectedSampleTsv());
    // No temporary file is left behind.
    std::size_t entries = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.Path()))
        ++entries;
    EXPECT_EQ(entries, 3u);
}

} // namespace
