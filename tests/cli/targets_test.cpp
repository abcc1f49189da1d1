// korvista-cli --targets: one reference database against a generated fleet, each target reported exactly
// as a run of its own would report it, in the order of the targets file, failures included.
#include "cli/cli_test_helpers.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <memory>

using namespace korvista;
using namespace korvista::clitest;
using ::testing::HasSubstr;

namespace {

constexpr unsigned kTimeLimit = 120;
constexpr int kTargets = 50;

// The reference, and target i drifting in its own way: a wider column, a column or a table it lacks, a
// column or a table only it has; every seventh is identical.
std::string TargetSql(int i) {
    if (i % 7 == 0)
        return "CREATE TABLE t (id integer NOT NULL, name varchar(20), price numeric(10,2)); CREATE TABLE u "
               "(a integer);";
    std::string sql = "CREATE TABLE t (id integer NOT NULL, name varchar(" + std::to_string(20 + i % 5) + ")";
    if (i % 3 != 0)
        sql += ", price numeric(10," + std::to_string(2 + i % 2) + ")";
    if (i % 4 == 1)
        sql += ", extra" + std::to_string(i) + " integer";
    sql += ");";
    if (i % 6 != 5)
        sql += "CREATE TABLE u (a integer" + std::string(i % 8 == 3 ? " NOT NULL" : "") + ");";
    if (i % 5 == 2)
        sql += "CREATE TABLE tenant" + std::to_string(i) + " (z text);";
    return sql;
}

class TargetsCli : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = std::make_unique<TempDir>();
        BuildDatabase(File("reference.db"), TargetSql(0));
        for (int i = 1; i <= kTargets; ++i)
            BuildDatabase(File(Name(i) + ".db"), TargetSql(i));
    }
    static void TearDownTestSuite() { dir_.reset(); }

    static std::string File(const std::string& name) { return dir_->File(name); }
    static std::string Name(int i) { return "tenant-" + std::to_string(i); }
    static std::string Connection(int i) { return SqliteConnection(File(Name(i) + ".db")); }
    static std::string Reference() { return SqliteConnection(File("reference.db")); }

    // Every target by name, every fifth as a bare connection string, with comments, blank lines and CR LF.
    static std::string TargetsFile(int broken = 0) {
        std::string text = "# the tenants\r\n\r\n";
        for (int i = 1; i <= kTargets; ++i) {
            if (i == broken)
                text += "broken\t" + SqliteConnection(File("no-such-tenant.db")) + ";Pwd=geheim\r\n";
            text += (i % 5 == 0 ? Connection(i) : Name(i) + "\t" + Connection(i)) + "\r\n";
            if (i % 10 == 0)
                text += "   # a comment after blanks\n\n";
        }
        const std::string path = File("targets-" + std::to_string(broken) + ".tsv");
        WriteFile(path, text);
        return path;
    }

    // How a target is named in the output.
    static std::string Label(int i) { return i % 5 == 0 ? Connection(i) : Name(i); }

private:
    static std::unique_ptr<TempDir> dir_;
};

std::unique_ptr<TempDir> TargetsCli::dir_;

TEST_F(TargetsCli, EveryTargetGivesExactlyTheRowsOfASeparateRunInFileOrder) {
    const std::vector<std::string> options = {"--both-ways", "--exclude-table", "tenant4?"};
    std::string expected = "Target\tTable\tVeldnaam\tVeld (DB1)\tVeld (DB2)\tVerschil\n";
    int differing = 0;
    for (int i = 1; i <= kTargets; ++i) {
        std::vector<std::string> args = options;
        args.insert(args.end(), {"--format", "tsv", Reference(), Connection(i)});
        const ProcessResult alone = RunCli(args, kTimeLimit);
        ASSERT_EQ(alone.err, "") << i;
        differing += alone.status == 1;
        const std::vector<std::string> lines = Lines(alone.out);
        for (std::size_t l = 1; l < lines.size(); ++l)
            expected += Label(i) + "\t" + lines[l] + "\n";
    }
    ASSERT_GT(differing, kTargets / 2);
    ASSERT_LT(differing, kTargets);

    // More jobs than cores, so that targets finish out of order.
    for (const char* jobs : {"1", "4"}) {
        std::vector<std::string> args = options;
        args.insert(args.end(), {"--targets", TargetsFile(), "--jobs", jobs, "--format", "tsv", Reference()});
        const ProcessResult fleet = RunCli(args, kTimeLimit);
        EXPECT_EQ(fleet.status, 1) << fleet.err;
        EXPECT_EQ(fleet.err, "");
        EXPECT_EQ(fleet.out, expected) << "--jobs " << jobs;
    }

    // Text: a section per target in file order, then the count of those that differ.
    std::vector<std::string> args = options;
    args.insert(args.end(), {"--targets", TargetsFile(), Reference()});
    const ProcessResult text = RunCli(args, kTimeLimit);
    EXPECT_EQ(text.status, 1);
    std::vector<std::string> sections;
    for (const std::string& line : Lines(text.out))
        if (line.rfind("== ", 0) == 0)
            sections.push_back(line.substr(3));
    ASSERT_EQ(sections.size(), static_cast<std::size_t>(kTargets));
    for (int i = 1; i <= kTargets; ++i)
        EXPECT_EQ(sections[i - 1], Label(i));
    EXPECT_EQ(Lines(text.out).back(), std::to_string(differing) + " van 50 doelen wijken af");
}

TEST_F(TargetsCli, JsonGivesEachTargetItsRowsAndCountAndTheTotal) {
    const ProcessResult fleet =
        RunCli({"--targets", TargetsFile(), "--format", "json", Reference()}, kTimeLimit);
    EXPECT_EQ(fleet.status, 1) << fleet.err;
    QJsonParseError error{};
    const QJsonObject root = QJsonDocument::fromJson(QByteArray::fromStdString(fleet.out), &error).object();
    ASSERT_EQ(error.error, QJsonParseError::NoError) << fleet.out;
    EXPECT_EQ(root["version"].toInt(), 1);
    const QJsonArray targets = root["targets"].toArray();
    ASSERT_EQ(targets.size(), kTargets);
    int total = 0;
    for (int i = 1; i <= kTargets; ++i) {
        const QJsonObject target = targets[i - 1].toObject();
        const QJsonObject alone =
            QJsonDocument::fromJson(
                QByteArray::fromStdString(
                    RunCli({"--format", "json", Reference(), Connection(i)}, kTimeLimit).out))
                .object();
        EXPECT_EQ(target["target"].toString().toStdString(), Label(i));
        EXPECT_EQ(target["differences"], alone["differences"]) << i;
        EXPECT_EQ(target["rows"], alone["rows"]) << i;
        EXPECT_EQ(target["errors"].toArray().size(), 0) << i;
        total += target["differences"].toInt();
    }
    EXPECT_EQ(root["differences"].toInt(), total);
}

TEST_F(TargetsCli, ATargetThatCannotBeOpenedIsItsOwnErrorAndTheRestAreReported) {
    const std::string file = TargetsFile(25);
    const ProcessResult tsv =
        RunCli({"--targets", file, "--jobs", "3", "--format", "tsv", Reference()}, kTimeLimit);
    EXPECT_EQ(tsv.status, 2);
    EXPECT_THAT(tsv.err, HasSubstr("korvista-cli: target broken: database 2 cannot be opened: "));
    EXPECT_THAT(tsv.err, HasSubstr("no-such-tenant.db"));
    EXPECT_EQ(Lines(tsv.err).size(), 1u) << tsv.err;
    EXPECT_EQ(tsv.out.find("broken"), std::string::npos) << "a failed target has no rows";
    const ProcessResult clean =
        RunCli({"--targets", TargetsFile(), "--format", "tsv", Reference()}, kTimeLimit);
    EXPECT_EQ(tsv.out, clean.out);

    const ProcessResult text = RunCli({"--targets", file, Reference()}, kTimeLimit);
    EXPECT_EQ(text.status, 2);
    EXPECT_THAT(text.out, HasSubstr("== broken\nVergelijking mislukt: database 2 cannot be opened: "));
    EXPECT_THAT(Lines(text.out).back(), HasSubstr(" van 51 doelen wijken af; 1 van 51 doelen mislukt"));
    EXPECT_EQ(text.out.find("geheim"), std::string::npos);

    const ProcessResult json = RunCli({"--targets", file, "--format", "json", Reference()}, kTimeLimit);
    EXPECT_EQ(json.status, 2);
    const QJsonArray targets =
        QJsonDocument::fromJson(QByteArray::fromStdString(json.out)).object()["targets"].toArray();
    ASSERT_EQ(targets.size(), kTargets + 1);
    const QJsonObject broken = targets[24].toObject();
    EXPECT_EQ(broken["target"].toString(), "broken");
    ASSERT_EQ(broken["errors"].toArray().size(), 1);
    EXPECT_THAT(broken["errors"].toArray()[0].toObject()["message"].toString().toStdString(),
                HasSubstr("database 2 cannot be opened"));
    EXPECT_EQ(targets[25].toObject()["target"].toString().toStdString(), Label(25));
}

TEST_F(TargetsCli, NoTargetDiffersExitsWithZero) {
    WriteFile(File("same.tsv"), "a\t" + Connection(7) + "\nb\t" + Connection(14) + "\n");
    const ProcessResult run = RunCli({"--targets", File("same.tsv"), Reference()}, kTimeLimit);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(Lines(run.out).back(), "0 van 2 doelen wijken af");
    // Database 1 may be a snapshot, as a pipeline keeps it.
    ASSERT_EQ(RunCli({"--save-snapshot", File("reference.json"), Reference()}).status, 0);
    const ProcessResult snapshot = RunCli(
        {"--targets", File("same.tsv"), "--format", "tsv", SnapshotConnection(File("reference.json"))});
    EXPECT_EQ(snapshot.status, 0) << snapshot.err;
    EXPECT_EQ(snapshot.out, "Target\tTable\tVeldnaam\tVeld (DB1)\tVeld (DB2)\tVerschil\n");
}

TEST_F(TargetsCli, ATargetsFileThatCannotBeUsedIsAnErrorNamingIt) {
    struct Case {
        const char* content; // nullptr: no file
        std::string message;
    };
    const std::string path = File("odd.tsv");
    for (const Case& c :
         {Case{nullptr, "cannot read the targets file " + path + ": No such file or directory"},
          Case{"# nobody\n\n", "the targets file " + path + " names no target"},
          Case{"", "the targets file " + path + " names no target"},
          Case{"a\tDSN=x\n\tDSN=y\n", "the targets file " + path + " holds no name on line 2"},
          Case{"a\t  \n", "the targets file " + path + " holds no connection on line 1"}}) {
        std::filesystem::remove(path);
        if (c.content)
            WriteFile(path, c.content);
        const ProcessResult run = RunCli({"--targets", path, Reference()}, kTimeLimit);
        EXPECT_EQ(run.status, 2) << c.message;
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, "korvista-cli: " + c.message + "\n");
    }
    const ProcessResult db1 =
        RunCli({"--targets", TargetsFile(), SqliteConnection(File("absent.db"))}, kTimeLimit);
    EXPECT_EQ(db1.status, 2);
    EXPECT_EQ(db1.out, "");
    EXPECT_THAT(db1.err, HasSubstr("database 1 cannot be opened"));
}

// A fleet split over three jobs and merged gives what one job over the whole fleet gives, in every format.
TEST(ShardedTargets, TheMergeOfTheShardsIsTheUnshardedRun) {
    const TempDir dir;
    BuildDatabase(dir.File("reference.db"), TargetSql(0));
    BuildDatabase(dir.File("other.db"), TargetSql(0));
    std::string list; // in name order, as the merge orders them
    for (int i = 1; i <= 60; ++i) {
        const std::string name = std::string(i < 10 ? "fleet-0" : "fleet-") + std::to_string(i);
        BuildDatabase(dir.File(name + ".db"), TargetSql(i));
        list += name + "\t" + SqliteConnection(dir.File(name + ".db")) + "\n";
    }
    WriteFile(dir.File("fleet.tsv"), list);
    const std::string reference = SqliteConnection(dir.File("reference.db"));
    std::vector<std::string> reports;
    for (const char* shard : {"1/3", "2/3", "3/3"}) {
        const ProcessResult run =
            RunCli({"--targets", dir.File("fleet.tsv"), "--shard", shard, "--format", "json", reference},
                   kTimeLimit);
        ASSERT_EQ(run.status, 1) << run.err;
        reports.push_back(dir.File("shard-" + std::string(1, shard[0]) + ".json"));
        WriteFile(reports.back(), run.out);
    }
    for (const char* format : {"text", "tsv", "json", "html"}) {
        const ProcessResult whole =
            RunCli({"--targets", dir.File("fleet.tsv"), "--format", format, reference}, kTimeLimit);
        // Given in another order than the shards': the order of the output is the names'.
        const ProcessResult merged =
            RunCli({"--merge", "--format", format, reports[2], reports[0], reports[1]});
        EXPECT_EQ(merged.status, whole.status) << format;
        EXPECT_EQ(merged.status, 1) << format;
        EXPECT_EQ(merged.err, "");
        EXPECT_EQ(merged.out, whole.out) << format;
    }

    const ProcessResult other = RunCli({"--targets", dir.File("fleet.tsv"), "--shard", "2/3", "--format",
                                        "json", SqliteConnection(dir.File("other.db"))},
                                       kTimeLimit);
    WriteFile(dir.File("other.json"), other.out);
    WriteFile(dir.File("corrupt.json"), ReadFile(reports[1]).substr(0, 300));
    struct Case {
        std::vector<std::string> files;
        std::string message;
    };
    for (const Case& c :
         {Case{{reports[0], reports[2]}, "no report of shard 2 of 3 was given"},
          Case{{reports[0], dir.File("other.json"), reports[2]},
               "the report " + dir.File("other.json") + " compares with another reference than " +
                   reports[0]},
          Case{{reports[0], reports[0], reports[1], reports[2]},
               "the reports " + reports[0] + " and " + reports[0] + " are both shard 1 of 3"},
          Case{{reports[0], dir.File("corrupt.json"), reports[2]},
               "the report " + dir.File("corrupt.json") + " is not valid JSON"},
          Case{{reports[0], dir.File("absent.json")}, "cannot read the report " + dir.File("absent.json")}}) {
        std::vector<std::string> args = {"--merge"};
        args.insert(args.end(), c.files.begin(), c.files.end());
        const ProcessResult run = RunCli(args);
        EXPECT_EQ(run.status, 2) << c.message;
        EXPECT_EQ(run.out, "");
        EXPECT_THAT(run.err, HasSubstr("korvista-cli: " + c.message)) << run.err;
        EXPECT_EQ(Lines(run.err).size(), 1u) << run.err;
    }
}

// A baseline made from a run accepts all of that run; a run with other switches cannot use it.
TEST(BaselineCli, TheSameRunIsAllAcceptedAndOtherSwitchesAreRefused) {
    const TempDir dir;
    BuildSamples(dir.Path());
    const std::string db1 = SqliteConnection(dir.File("sample1.db")),
                      db2 = SqliteConnection(dir.File("sample2.db"));
    const ProcessResult first = RunCli({"--format", "json", db1, db2});
    ASSERT_EQ(first.status, 1);
    WriteFile(dir.File("base.json"), first.out);
    const int differences =
        QJsonDocument::fromJson(QByteArray::fromStdString(first.out)).object()["differences"].toInt();
    ASSERT_GT(differences, 0);

    const ProcessResult again = RunCli({"--baseline", dir.File("base.json"), db1, db2});
    EXPECT_EQ(again.status, 0) << again.err;
    EXPECT_EQ(Lines(again.out).back(), std::to_string(differences) + " bekende verschillen geaccepteerd");
    EXPECT_EQ(again.out.find("Er zijn"), std::string::npos) << again.out;
    const ProcessResult json = RunCli({"--baseline", dir.File("base.json"), "--format", "json", db1, db2});
    const QJsonObject root = QJsonDocument::fromJson(QByteArray::fromStdString(json.out)).object();
    EXPECT_EQ(root["differences"].toInt(), 0);
    EXPECT_EQ(root["rows"].toArray().size(), 0);
    EXPECT_EQ(root["accepted"].toInt(), differences);

    const ProcessResult other = RunCli({"--no-null", "--baseline", dir.File("base.json"), db1, db2});
    EXPECT_EQ(other.status, 2);
    EXPECT_EQ(other.out, "");
    EXPECT_EQ(other.err, "korvista-cli: the baseline " + dir.File("base.json") +
                             " was made with other switches than this run\n");
}

} // namespace

namespace {

// A loopback server whose kernel completes the handshake and which never accepts or answers.
class SilentServer {
public:
    SilentServer() {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (::bind(fd_, reinterpret_cast<sockaddr*>(&address), length) != 0 || ::listen(fd_, 8) != 0 ||
            ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            ADD_FAILURE() << "no loopback listener";
        port_ = ntohs(address.sin_port);
    }
    ~SilentServer() { ::close(fd_); }
    unsigned short Port() const { return port_; }

private:
    int fd_ = -1;
    unsigned short port_ = 0;
};

// Six silent servers compared at once: their connects run side by side, each ends at its own short
// limit, and each is reported as its own failure.
TEST(TargetsRun, SilentServersAtOnceEndWithinOneLimitEachItsOwnError) {
    TempDir dir;
    BuildDatabase(dir.File("ref.db"), "CREATE TABLE t (id integer);");
    SilentServer servers[6];
    std::string list;
    for (int i = 0; i < 6; ++i)
        list += "silent" + std::to_string(i) +
                "\tDriver={PostgreSQL Unicode};Server=127.0.0.1;Port=" + std::to_string(servers[i].Port()) +
                ";Database=x;Uid=u;Pwd=p\n";
    WriteFile(dir.File("fleet.tsv"), list);

    const auto start = std::chrono::steady_clock::now();
    const ProcessResult run =
        RunCli({"--targets", dir.File("fleet.tsv"), "--jobs", "8", "--login-timeout", "1",
                "--request-timeout", "1", "--format", "tsv", SqliteConnection(dir.File("ref.db"))},
               60);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ASSERT_FALSE(run.timedOut);
    EXPECT_LT(seconds, 30.0) << "the connects took turns";
    EXPECT_EQ(run.status, 2) << run.err;
    const std::vector<std::string> lines = Lines(run.err);
    EXPECT_EQ(lines.size(), 6u) << run.err;
    for (int i = 0; i < 6; ++i)
        EXPECT_THAT(run.err, ::testing::HasSubstr("korvista-cli: target silent" + std::to_string(i) +
                                                  ": database 2 cannot be opened: "))
            << run.err;
}

} // namespace
