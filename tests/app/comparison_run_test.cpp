// The schema reader and the comparison run, driven through the window on real SQLite files.

#include "app/app_title.h"
#include "app/command_list.h"
#include "app/list_view.h"
#include "compare/u_Tracker.h"
#include "schema/u_Database.h"
#include "support/errors.h"
#include "window_test_support.h"

#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QScrollBar>
#include <QTimer>
#include <QtTest/QTest>

namespace korvista {
namespace {

using testing::OrdersDb1;
using testing::OrdersDb2;
using testing::RowList;
using testing::Rows;
using testing::WindowFixture;

class ComparisonRunTest : public WindowFixture {
protected:
    void Compare() { ASSERT_TRUE(window->ActionList->Execute(window->actCompare)); }
    int Descriptors() const { return static_cast<int>(window->findChildren<TFieldItem*>().size()); }
    QStringList Messages() const {
        QStringList list;
        for (const QString& m : ui->Messages())
            list << m;
        return list;
    }
};

TEST_F(ComparisonRunTest, TablesAreListedInProviderOrderAndFieldListsFilledOnClick) {
    MakeDatabases("create table Orders(Id integer not null, Name varchar(50)); create table Customers(x int);"
                  "create view OrderTotals as select Id from Orders;",
                  "create table Orders(Id integer, Name varchar(50) not null);");
    Open();
    TfrmMain& w = *window;
    EXPECT_EQ(Rows(w.lvTables), (RowList{{"Orders"}, {"Customers"}, {"OrderTotals"}}));
    EXPECT_EQ(w.lvTables->SelectedIndex(), -1) << "nothing selects a table";
    EXPECT_EQ(w.lvDB1->topLevelItemCount(), 0);

    w.lvTablesClick(w.lvTables);
    EXPECT_EQ(w.lblC1->text(), "") << "no table selected, nothing happens";

    w.lvTables->SelectRow(0);
    w.lvTablesClick(w.lvTables);
    ASSERT_EQ(w.lvDB1->topLevelItemCount(), 2);
    EXPECT_EQ(testing::Row(w.lvDB1, 1), QStringList({"Name", "string", "50", "Null"}));
    EXPECT_EQ(testing::Row(w.lvDB2, 1), QStringList({"Name", "string", "50", "Not null"}));
    EXPECT_EQ(w.lvDB1->topLevelItem(0)->text(3), "Not null");
    EXPECT_EQ(w.lvDB1->SelectedIndex(), 0);
    EXPECT_EQ(w.lvDB2->SelectedIndex(), 0);
    EXPECT_EQ(w.lblC1->text(), "2 velden");
    EXPECT_EQ(w.lblC2->text(), "2 velden");
    // Each row carries its own descriptor.
    auto* field = w.lvDB1->topLevelItem(1)->data(0, Qt::UserRole).value<TFieldItem*>();
    ASSERT_NE(field, nullptr);
    EXPECT_EQ(field->FieldName, "Name");
    EXPECT_EQ(field->Length, 50);
    EXPECT_TRUE(field->Nullable);
    EXPECT_EQ(field->parent(), &w);

    w.lvTables->SelectRow(1); // Customers is not in database 2
    w.lvTablesClick(w.lvTables);
    EXPECT_EQ(w.lblC1->text(), "1 velden");
    EXPECT_EQ(w.lblC2->text(), "0 velden");
    EXPECT_EQ(w.lvDB2->topLevelItemCount(), 0);
    EXPECT_TRUE(ui->boxes.empty()) << "an unreadable list is silent";
}

TEST_F(ComparisonRunTest, WorkedExampleGivesTwoRowsAndThreeDifferences) {
    MakeDatabases(OrdersDb1, OrdersDb2);
    Open();
    Compare();
    EXPECT_EQ(Rows(window->lvResults),
              (RowList{{"Orders", "Name", "string:50:null", "string:60:not-null", "size, nullability"},
                       {"Orders", "Note", "string:200:null", "???", "FIELD MISSING"}}));
    EXPECT_EQ(Messages(), QStringList({"Er zijn 3 verschillen gevonden!"}));
    EXPECT_EQ(ui->boxes.back().caption, AppTitle());
    EXPECT_FALSE(window->ActionList->Suspended());
}

TEST_F(ComparisonRunTest, SwitchesOffLeaveOnlyTheMissingColumn) {
    MakeDatabases(OrdersDb1, OrdersDb2);
    Open();
    window->chkSize->setChecked(false);
    window->chkNull->setChecked(false);
    Compare();
    EXPECT_EQ(Rows(window->lvResults),
              (RowList{{"Orders", "Note", "string:200:null", "???", "FIELD MISSING"}}));
    EXPECT_EQ(Messages(), QStringList({"Er zijn 1 verschillen gevonden!"}));
}

TEST_F(ComparisonRunTest, IdenticalDatabasesGiveNoRowsAndNoMessage) {
    const char* sql = "create table A(x int, y varchar(5)); create table B(z text not null);";
    MakeDatabases(sql, sql);
    Open();
    Compare();
    EXPECT_EQ(window->lvResults->topLevelItemCount(), 0);
    EXPECT_TRUE(ui->boxes.empty());
    EXPECT_EQ(window->lvTables->SelectedIndex(), 1) << "the last table stays selected";
    EXPECT_EQ(window->lblC1->text(), "1 velden");
}

TEST_F(ComparisonRunTest, NamesMatchIgnoringAsciiCaseOnly) {
    MakeDatabases("create table T(OrderId varchar(10), Sized varchar(10), \"Ä\" int);",
                  "create table T(ORDERID varchar(10), SIZED varchar(12), \"ä\" int);");
    Open();
    Compare();
    EXPECT_EQ(Rows(window->lvResults), (RowList{{"T", "Sized", "string:10:null", "string:12:null", "size"},
                                                {"T", "Ä", "integer:0:null", "???", "FIELD MISSING"}}));
}

TEST_F(ComparisonRunTest, MissingTableCountsEveryColumnOnlyWithMissingOn) {
    MakeDatabases("create table Gone(a int, b int, c int, d int); create table Here(a int);",
                  "create table Here(a int, only2 int);");
    Open();
    Compare();
    RowList rows = Rows(window->lvResults);
    ASSERT_EQ(rows.size(), 4u);
    for (const QStringList& row : rows) {
        EXPECT_EQ(row[0], "Gone");
        EXPECT_EQ(row[4], "FIELD MISSING");
    }
    EXPECT_EQ(Messages(), QStringList({"Er zijn 4 verschillen gevonden!"}));

    ui->boxes.clear();
    window->ActionList->Execute(window->actReset);
    window->chkMissing->setChecked(false);
    Compare();
    EXPECT_EQ(window->lvResults->topLevelItemCount(), 0);
    EXPECT_TRUE(ui->boxes.empty());
}

TEST_F(ComparisonRunTest, AllThreeDifferencesInOneRow) {
    MakeDatabases("create table T(c varchar(10) not null);", "create table T(c integer);");
    Open();
    Compare();
    EXPECT_EQ(Rows(window->lvResults),
              (RowList{{"T", "c", "string:10:not-null", "integer:0:null", "datatype, size, nullability"}}));
    EXPECT_EQ(Messages(), QStringList({"Er zijn 3 verschillen gevonden!"}));
}

TEST_F(ComparisonRunTest, SecondRunWithoutResetListsEverythingTwice) {
    MakeDatabases(OrdersDb1, OrdersDb2);
    Open();
    Compare();
    const int descriptorsAfterFirst = Descriptors();
    Compare();
    const RowList rows = Rows(window->lvResults);
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0], rows[2]);
    EXPECT_EQ(rows[1], rows[3]);
    EXPECT_EQ(Messages(),
              QStringList({"Er zijn 3 verschillen gevonden!", "Er zijn 3 verschillen gevonden!"}));
    // Descriptors die with their rows: only those of the rows shown remain.
    EXPECT_EQ(Descriptors(), descriptorsAfterFirst);
    EXPECT_EQ(Descriptors(), window->lvDB1->topLevelItemCount() + window->lvDB2->topLevelItemCount());
    window->ActionList->Execute(window->actReset);
    EXPECT_EQ(Descriptors(), 0);
}

TEST_F(ComparisonRunTest, ReservedWordTableIsComparedLikeAnyOther) {
    MakeDatabases("create table \"Order\"(a varchar(5)); create table Z(b int);",
                  "create table \"Order\"(a varchar(6)); create table Z(b int);");
    Open();
    Compare();
    EXPECT_EQ(Rows(window->lvResults), (RowList{{"Order", "a", "string:5:null", "string:6:null", "size"}}));
    EXPECT_EQ(window->lvTables->SelectedIndex(), 1);
    EXPECT_EQ(window->lvTables->topLevelItem(1)->text(0), "Z");
}

TEST_F(ComparisonRunTest, ExactlyOneDifferenceStillSaysVerschillen) {
    MakeDatabases("create table A(x varchar(1)); create table B(y int);",
                  "create table A(x varchar(2)); create table B(y int);");
    Open();
    Compare();
    EXPECT_EQ(Messages(), QStringList({"Er zijn 1 verschillen gevonden!"}));
}

TEST_F(ComparisonRunTest, SwitchClickedDuringTheRunAppliesFromTheNextTable) {
    MakeDatabases(
        "create table A(x varchar(1)); create table B(y varchar(1)); create table C(z varchar(1));",
        "create table A(x varchar(2)); create table B(y varchar(2)); create table C(z varchar(2));");
    Open();
    TfrmMain& w = *window;
    // Dispatched by the run's event pass: unticks Size once table B is on screen.
    std::function<void()> hook = [&] {
        if (w.lvTables->SelectedIndex() == 1)
            w.chkSize->setChecked(false);
        else if (w.lvTables->SelectedIndex() == 0)
            QTimer::singleShot(0, &w, hook);
    };
    QTimer::singleShot(0, &w, hook);
    bool suspendedInside = false;
    QTimer::singleShot(0, &w, [&] { suspendedInside = w.ActionList->Suspended(); });
    Compare();
    EXPECT_TRUE(suspendedInside);
    EXPECT_FALSE(w.Switches().size);
    EXPECT_EQ(Rows(w.lvResults), (RowList{{"A", "x", "string:1:null", "string:2:null", "size"}}));
}

TEST_F(ComparisonRunTest, TheTableListFollowsTheRunAndEndsOnTheLastTableInView) {
    std::string sql = "begin;";
    for (int i = 0; i < 60; ++i)
        sql += "create table t" + std::to_string(100 + i) + "(a_" + std::to_string(i) + " int);";
    MakeDatabases(sql + "commit;", sql + "commit;");
    Open();
    TfrmMain& w = *window;
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    const auto inView = [&w] {
        const int row = w.lvTables->SelectedIndex();
        return row >= 0 && w.lvTables->viewport()->rect().contains(
                               w.lvTables->visualItemRect(w.lvTables->topLevelItem(row)));
    };
    // Dispatched by the run's event pass after each table.
    int seen = 0;
    int hidden = 0;
    QTimer probe;
    probe.setInterval(0);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        ++seen;
        hidden += !inView();
    });
    probe.start();
    Compare();
    probe.stop();
    EXPECT_GE(seen, 50);
    EXPECT_EQ(hidden, 0) << "the table being compared was out of view " << hidden << " times";
    EXPECT_EQ(w.lvTables->SelectedIndex(), 59);
    EXPECT_TRUE(inView());
    EXPECT_EQ(Rows(w.lvDB1), (RowList{{"a_59", "integer", "0", "Null"}}));
    // Everything the run held back paints again.
    for (TListView* list : {w.lvTables, w.lvDB1, w.lvDB2, w.lvResults})
        for (QWidget* part :
             {list->viewport(), list->header()->viewport(), static_cast<QWidget*>(list->verticalScrollBar())})
            EXPECT_TRUE(part->updatesEnabled()) << list->objectName().toStdString();
    EXPECT_TRUE(w.lblC1->updatesEnabled());
}

TEST_F(ComparisonRunTest, CommandsAndTableClicksAreInertDuringTheRun) {
    MakeDatabases("create table A(x varchar(1)); create table B(y varchar(1));",
                  "create table A(x varchar(2)); create table B(y varchar(2));");
    Open();
    TfrmMain& w = *window;
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    bool resetRan = true;
    QTimer::singleShot(0, &w, [&] {
        resetRan = w.ActionList->Execute(w.actReset);
        w.Reset1->trigger();
        // A click on table A while the run is at A: it must not reload or relabel anything.
        const QPoint a = w.lvTables->visualItemRect(w.lvTables->topLevelItem(0)).center();
        QTest::mouseClick(w.lvTables->viewport(), Qt::LeftButton, {}, a);
    });
    Compare();
    EXPECT_FALSE(resetRan);
    EXPECT_EQ(Rows(w.lvResults), (RowList{{"A", "x", "string:1:null", "string:2:null", "size"},
                                          {"B", "y", "string:1:null", "string:2:null", "size"}}));
    EXPECT_EQ(w.lvTables->topLevelItemCount(), 2);
    w.ActionList->IdleUpdate();
    EXPECT_TRUE(w.actReset->isEnabled());
}

TEST_F(ComparisonRunTest, DescriptorsDoNotPileUpAcrossClicksAndRuns) {
    MakeDatabases("create table A(x int, y int); create table B(z int);", "create table A(x int);");
    Open();
    TfrmMain& w = *window;
    w.lvTables->SelectRow(0);
    for (int i = 0; i < 5; ++i)
        w.lvTablesClick(w.lvTables);
    EXPECT_EQ(Descriptors(), 3);
    Compare();
    Compare();
    EXPECT_EQ(Descriptors(), w.lvDB1->topLevelItemCount() + w.lvDB2->topLevelItemCount());
    EXPECT_EQ(Descriptors(), 1);
}

TEST_F(ComparisonRunTest, ReopeningResetsTheListsButKeepsTheLabels) {
    MakeDatabases(OrdersDb1, OrdersDb2);
    Open();
    Compare();
    ASSERT_EQ(window->lblC1->text(), "3 velden");
    Open();
    EXPECT_EQ(window->lvResults->topLevelItemCount(), 0);
    EXPECT_EQ(window->lvDB1->topLevelItemCount(), 0);
    EXPECT_EQ(Rows(window->lvTables), (RowList{{"Orders"}}));
    EXPECT_EQ(window->lblC1->text(), "3 velden");
    EXPECT_EQ(Descriptors(), 0);
}

TEST_F(ComparisonRunTest, DatabaseTwoFailingToOpenLeavesCompareDisabled) {
    MakeDatabases(OrdersDb1, OrdersDb2);
    window->Settings()->SetADOStr2("Provider=SQLite;Data Source=" + Path("missing.sqlite"));
    Open();
    EXPECT_TRUE(ui->boxes.empty()) << "only logged";
    EXPECT_EQ(Rows(window->lvTables), (RowList{{"Orders"}}));
    window->lvTables->SelectRow(0);
    window->lvTablesClick(window->lvTables);
    EXPECT_EQ(window->lblC2->text(), "0 velden");
    window->ActionList->Update(window->actCompare);
    EXPECT_FALSE(window->actCompare->isEnabled());
    EXPECT_FALSE(window->ActionList->Execute(window->actCompare));
}

TEST_F(ComparisonRunTest, DatabaseOneFailingToOpenShowsTheProviderTextAndLeavesCompareDisabled) {
    MakeDatabases(OrdersDb1, OrdersDb2);
    window->Settings()->SetADOStr1("Provider=SQLite;Data Source=" + Path("missing/db1.sqlite"));
    window->Vergelijktabelstructuur1->trigger();
    ASSERT_EQ(ui->Errors().size(), 1u);
    EXPECT_TRUE(ui->Errors()[0].endsWith('.'));
    EXPECT_EQ(ui->boxes[0].caption, AppTitle());
    EXPECT_EQ(window->lvTables->topLevelItemCount(), 0);
    ASSERT_TRUE(window->Database2()->ADO().Connected());
    window->ActionList->Update(window->actCompare);
    EXPECT_FALSE(window->actCompare->isEnabled()) << "database 2 alone is not enough";
}

// Stands in for database 2's provider: describes every table as one column x varchar(2), except that the
// table `failing` fails with `error`.
class FailingSession : public ProviderSession {
public:
    FailingSession(std::string failing, std::function<void()> error)
        : failing_(std::move(failing)), error_(std::move(error)) {}
    Rowset TableCatalogue(bool) override { return {{"TABLE_NAME", "TABLE_TYPE"}, {}}; }
    std::string IdentifierQuote() override { return "\""; }
    std::vector<ColumnDescription> DescribeQuery(const std::string&) override { return {}; }
    std::vector<ColumnDescription> DescribeTable(const std::string& table) override {
        if (table == failing_)
            error_();
        ColumnDescription x;
        x.name = "x";
        x.type = 200;
        x.definedSize = 2;
        return {x};
    }

private:
    std::string failing_;
    std::function<void()> error_;
};

void Lose() {
    throw ConnectionLost("server closed the connection unexpectedly");
}

TEST_F(ComparisonRunTest, ALostConnectionEndsTheRunAsAnErrorAndKeepsTheRowsSoFar) {
    const char* tables = "create table A(x varchar(1)); create table B(x varchar(1)); create table C(x varchar(1));";
    MakeDatabases(tables, tables);
    Open();
    TfrmMain& w = *window;
    w.Database2()->ADO().OpenWith(std::make_unique<FailingSession>("B", Lose));
    w.ActionList->UpdateWindowCommands();
    w.Vergelijk1->trigger(); // as the menu runs it: what escapes goes to the error box

    EXPECT_EQ(Rows(w.lvResults), (RowList{{"A", "x", "string:1:null", "string:2:null", "size"}}));
    EXPECT_EQ(ui->Errors(), std::vector<QString>{"database 2 lost its connection while reading table B: server "
                                                 "closed the connection unexpectedly."});
    EXPECT_TRUE(ui->Messages().empty()) << "no closing message after an error";
    EXPECT_EQ(w.lvTables->SelectedIndex(), 1);
    EXPECT_EQ(w.lvDB2->topLevelItemCount(), 0);
    EXPECT_EQ(w.lblC2->text(), "0 velden");
    EXPECT_FALSE(w.ActionList->Suspended());
    EXPECT_FALSE(w.Database2()->ADO().Connected()) << "a lost connection is closed";
    EXPECT_FALSE(w.actCompare->isEnabled());

    Open();
    EXPECT_TRUE(w.Database2()->ADO().Connected()) << "opened anew";
    w.ActionList->Update(w.actCompare);
    EXPECT_TRUE(w.actCompare->isEnabled());
}

// A click refills the lists in silence for any error but a lost connection, which reaches the error box.
TEST_F(ComparisonRunTest, AClickKeepsSilenceForEveryErrorButALostConnection) {
    MakeDatabases("create table A(x varchar(1));", "create table A(x varchar(1));");
    Open();
    TfrmMain& w = *window;
    const struct {
        std::function<void()> error;
        std::vector<QString> boxes;
    } cases[] = {
        {[] { throw Error("relation \"a\" does not exist"); }, {}},
        {Lose, {"database 2 lost its connection while reading table A: server closed the connection unexpectedly."}},
    };
    for (const auto& c : cases) {
        ui->boxes.clear();
        Open();
        w.Database2()->ADO().OpenWith(std::make_unique<FailingSession>("A", c.error));
        w.lvTables->SelectRow(0);
        emit w.lvTables->Click();
        EXPECT_EQ(ui->Errors(), c.boxes);
        EXPECT_EQ(w.lblC1->text(), "1 velden");
        EXPECT_EQ(w.lblC2->text(), "0 velden");
    }
}

} // namespace
} // namespace korvista
