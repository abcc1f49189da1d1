// korvista-cli and the window on the same pair of databases: the text output lists the rows of
// lvResults, in the same order with the same cells, and the same count as the closing message.

#include "app/command_list.h"
#include "app/list_view.h"
#include "window_test_support.h"

#include <QCheckBox>
#include <QFile>
#include <QProcess>
#include <QStringList>

#include <gtest/gtest.h>

#include <vector>

namespace korvista {
namespace {

using testing::RowList;
using testing::Rows;
using testing::WindowFixture;

struct CliRun {
    int status = -1;
    RowList rows;
    int count = 0; // from "Er zijn N verschillen gevonden!", 0 without that line
};

// The text table: the rule of dashes under the captions gives each column's start, in characters.
CliRun ParseText(const QString& text) {
    CliRun run;
    QStringList lines = text.split('\n');
    EXPECT_TRUE(!lines.isEmpty() && lines.takeLast().isEmpty()) << "output ends with a newline";
    if (lines.size() >= 2 && lines.last().startsWith("Er zijn ")) {
        const QString last = lines.takeLast();
        EXPECT_TRUE(last.endsWith(" verschillen gevonden!")) << last.toStdString();
        run.count = last.mid(8, last.indexOf(' ', 8) - 8).toInt();
        EXPECT_TRUE(!lines.isEmpty() && lines.takeLast().isEmpty()) << "a blank line before the count";
    }
    if (lines.size() < 2) {
        ADD_FAILURE() << "no caption and rule lines:\n" << text.toStdString();
        return run;
    }
    std::vector<int> starts;
    const QString rule = lines[1];
    for (int i = 0; i < rule.size(); ++i)
        if (rule[i] == '-' && (i == 0 || rule[i - 1] == ' '))
            starts.push_back(i);
    EXPECT_EQ(starts.size(), 5u) << rule.toStdString();
    if (starts.size() != 5)
        return run;
    const auto cells = [&](const QString& line) {
        QStringList result;
        for (std::size_t c = 0; c < starts.size(); ++c) {
            const int from = starts[c];
            const int to = c + 1 < starts.size() ? starts[c + 1] : static_cast<int>(line.size());
            result << line.mid(from, to - from).trimmed();
        }
        return result;
    };
    EXPECT_EQ(cells(lines[0]), QStringList({"Table", "Veldnaam", "Veld (DB1)", "Veld (DB2)", "Verschil"}));
    for (int i = 2; i < lines.size(); ++i)
        run.rows.push_back(cells(lines[i]));
    return run;
}

CliRun RunCliText(const QStringList& args) {
    QProcess process;
    process.setProgram(QStringLiteral(KORVISTA_CLI_PATH));
    process.setArguments(args);
    process.setStandardInputFile(QProcess::nullDevice());
    process.start();
    EXPECT_TRUE(process.waitForFinished(60000)) << "korvista-cli did not finish";
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.readAllStandardError(), QByteArray());
    CliRun run = ParseText(QString::fromUtf8(process.readAllStandardOutput()));
    run.status = process.exitCode();
    return run;
}

class CliMatchesWindow : public WindowFixture {
protected:
    void MakeSamples() {
        for (const char* name : {"db1", "db2"}) {
            QFile file(QStringLiteral(KORVISTA_SOURCE_DIR "/samples/%1.sql").arg(name));
            ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << file.fileName().toStdString();
            testing::CreateSqlite(Path(std::string(name) + ".sqlite"), file.readAll().toStdString());
        }
        Use(Path("db1.sqlite"), Path("db2.sqlite"));
    }
    void Use(const std::string& file1, const std::string& file2) {
        db1_ = testing::SqliteString(file1);
        db2_ = testing::SqliteString(file2);
        window->Settings()->SetADOStr1(db1_);
        window->Settings()->SetADOStr2(db2_);
    }

    // "Openen databases", then "Vergelijk"; the rows of lvResults and the count of the closing message.
    CliRun RunWindow() {
        CliRun run;
        const std::size_t boxes = ui->boxes.size();
        Open();
        EXPECT_TRUE(window->ActionList->Execute(window->actCompare));
        run.rows = Rows(window->lvResults);
        EXPECT_LE(ui->boxes.size(), boxes + 1);
        if (ui->boxes.size() > boxes) {
            const QString message = ui->boxes.back().text;
            EXPECT_TRUE(message.startsWith("Er zijn ") && message.endsWith(" verschillen gevonden!"))
                << message.toStdString();
            run.count = message.mid(8, message.indexOf(' ', 8) - 8).toInt();
        }
        return run;
    }

    void ExpectSameRun(const QStringList& switches) {
        SCOPED_TRACE(switches.join(' ').toStdString());
        window->chkDatatype->setChecked(!switches.contains("--no-datatype"));
        window->chkSize->setChecked(!switches.contains("--no-size"));
        window->chkNull->setChecked(!switches.contains("--no-null"));
        window->chkMissing->setChecked(!switches.contains("--no-missing"));
        const CliRun inWindow = RunWindow();
        const CliRun cli =
            RunCliText(switches + QStringList{QString::fromStdString(db1_), QString::fromStdString(db2_)});
        EXPECT_EQ(cli.rows, inWindow.rows);
        EXPECT_EQ(cli.count, inWindow.count);
        EXPECT_EQ(cli.status, inWindow.count == 0 ? 0 : 1);
    }

    std::string db1_, db2_;
};

TEST_F(CliMatchesWindow, SampleDatabasesGiveTheSameRowsWithEverySwitchSetting) {
    MakeSamples();
    ExpectSameRun({});
    ASSERT_GT(window->lvResults->topLevelItemCount(), 10) << "the samples differ in many places";
    ExpectSameRun({"--no-size"});
    ExpectSameRun({"--no-datatype", "--no-null"});
    ExpectSameRun({"--no-missing"});
    ExpectSameRun({"--no-datatype", "--no-size", "--no-null", "--no-missing"});
}

TEST_F(CliMatchesWindow, TheWorkedExampleAndAPairWithoutDifferences) {
    testing::CreateSqlite(Path("a.sqlite"),
                          "create table Orders(Id varchar(10) not null, Name varchar(50), Note varchar(200));"
                          "create table Empty(x integer);");
    testing::CreateSqlite(Path("b.sqlite"), "create table Orders(ID varchar(10) not null, "
                                            "Name varchar(60) not null);");
    Use(Path("a.sqlite"), Path("b.sqlite"));
    ExpectSameRun({});
    EXPECT_EQ(Rows(window->lvResults),
              (RowList{{"Orders", "Name", "string:50:null", "string:60:not-null", "size, nullability"},
                       {"Orders", "Note", "string:200:null", "???", "FIELD MISSING"},
                       {"Empty", "x", "integer:0:null", "???", "FIELD MISSING"}}));

    Use(Path("b.sqlite"), Path("b.sqlite"));
    ExpectSameRun({});
    EXPECT_EQ(window->lvResults->topLevelItemCount(), 0);
}

TEST_F(CliMatchesWindow, SnapshotsOpenInTheWindowAndGiveTheRowsOfTheLiveDatabases) {
    MakeSamples();
    const CliRun live = RunCliText({QString::fromStdString(db1_), QString::fromStdString(db2_)});
    ASSERT_GT(live.rows.size(), 10u);
    std::string snapshots[2];
    for (int i = 0; i < 2; ++i) {
        const std::string file = Path("db" + std::to_string(i + 1) + ".json");
        const int status = QProcess::execute(QStringLiteral(KORVISTA_CLI_PATH),
                                             {"--save-snapshot", QString::fromStdString(file),
                                              QString::fromStdString(i == 0 ? db1_ : db2_)});
        ASSERT_EQ(status, 0);
        snapshots[i] = "Provider=Snapshot;Data Source=" + file;
    }
    window->Settings()->SetADOStr1(snapshots[0]);
    window->Settings()->SetADOStr2(snapshots[1]);
    const CliRun inWindow = RunWindow();
    EXPECT_EQ(inWindow.rows, live.rows);
    EXPECT_EQ(inWindow.count, live.count);
}

} // namespace
} // namespace korvista
