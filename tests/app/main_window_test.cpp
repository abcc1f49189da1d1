// The main window: its elements, the state after start-up, the commands and the field-list handlers.

#include "app/app_title.h"
#include "app/command_list.h"
#include "app/list_view.h"
#include "app/splitter_bar.h"
#include "app/u_Settings.h"
#include "schema/u_Database.h"
#include "window_test_support.h"

#include <QAction>
#include <QCheckBox>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>
#include <QtTest/QTest>

#include <chrono>
#include <condition_variable>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace korvista {
namespace {

using testing::CreateSqlite;
using testing::Rows;
using testing::SqliteString;
using testing::WindowFixture;

QByteArray FileBytes(const std::string& path) {
    QFile file(QString::fromStdString(path));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QRect Bounds(const QWidget* w) {
    return w->geometry();
}

class MainWindowTest : public WindowFixture {
protected:
    void Show() {
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }
    void Click(TListView* list, QPoint pos) { QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, pos); }
    void ClickRow(TListView* list, int row) {
        Click(list, list->visualItemRect(list->topLevelItem(row)).center());
    }
    // Two databases with one table of five and three columns.
    void OpenFieldLists() {
        MakeDatabases("create table T(a int, b int, c int, d int, e int);",
                      "create table T(a int, b int, c int);");
        Open();
        window->lvTables->SelectRow(0);
        window->lvTablesClick(window->lvTables);
        ASSERT_EQ(window->lvDB1->topLevelItemCount(), 5);
        ASSERT_EQ(window->lvDB2->topLevelItemCount(), 3);
    }
};

TEST_F(MainWindowTest, ElementsCarryTheirNamesCaptionsAndBounds) {
    Show();
    TfrmMain& w = *window;
    EXPECT_EQ(w.objectName(), "frmMain");
    EXPECT_EQ(w.windowTitle(), "Korvista");
    EXPECT_EQ(w.centralWidget()->size(), QSize(714, 547));
    EXPECT_EQ(w.minimumWidth(), 714);
    EXPECT_EQ(w.maximumWidth(), 714);

    EXPECT_EQ(Bounds(w.tbToolbar), QRect(0, 0, 714, 46));
    EXPECT_EQ(Bounds(w.Panel1), QRect(0, 46, 714, 24));
    EXPECT_EQ(Bounds(w.pnlTables), QRect(0, 70, 714, 303));
    EXPECT_EQ(Bounds(w.Splitter1), QRect(0, 373, 714, 3));
    EXPECT_EQ(Bounds(w.lvResults), QRect(0, 376, 714, 150));
    EXPECT_EQ(Bounds(w.StatusBar1), QRect(0, 526, 714, 21));
    EXPECT_EQ(Bounds(w.lvTables), QRect(8, 4, 153, 277));
    EXPECT_EQ(Bounds(w.lvDB1), QRect(165, 4, 273, 277));
    EXPECT_EQ(Bounds(w.lvDB2), QRect(442, 4, 273, 277));
    EXPECT_EQ(Bounds(w.lblC1), QRect(167, 282, 3, 13));
    EXPECT_EQ(Bounds(w.lblC2), QRect(444, 282, 3, 13));
    EXPECT_EQ(Bounds(w.Label1), QRect(11, 5, 45, 13));
    EXPECT_EQ(w.Label1->text(), "Compare:");

    const std::pair<QCheckBox*, QString> boxes[] = {{w.chkDatatype, "Datatype"},
                                                    {w.chkSize, "Size"},
                                                    {w.chkNull, "Null-velden"},
                                                    {w.chkMissing, "Missing"}};
    int left = 100;
    for (const auto& [box, caption] : boxes) {
        EXPECT_EQ(box->text(), caption);
        EXPECT_EQ(Bounds(box), QRect(left, 4, 77, 17));
        EXPECT_EQ(box->parentWidget(), w.Panel1);
        left += 80;
    }

    const std::tuple<QToolButton*, int, QAction*> buttons[] = {{w.ToolButton1, 0, w.actOpenDatabases},
                                                               {w.ToolButton2, 105, w.actCompare},
                                                               {w.ToolButton4, 202, w.actReset},
                                                               {w.ToolButton6, 307, w.actClose}};
    for (const auto& [button, x, command] : buttons) {
        EXPECT_EQ(button->x(), x);
        EXPECT_EQ(button->size(), QSize(97, 44));
        EXPECT_EQ(button->defaultAction(), command);
        EXPECT_EQ(button->toolButtonStyle(), Qt::ToolButtonTextUnderIcon);
        EXPECT_EQ(button->iconSize(), QSize(24, 24));
        EXPECT_TRUE(button->autoRaise());
    }
    for (const auto& [name, x] : {std::pair{"ToolButton3", 97}, std::pair{"ToolButton5", 299}}) {
        const auto* separator = w.findChild<QToolButton*>(name);
        ASSERT_NE(separator, nullptr) << name;
        EXPECT_EQ(separator->x(), x);
        EXPECT_EQ(separator->width(), 8);
        EXPECT_EQ(separator->defaultAction(), nullptr);
        EXPECT_TRUE(separator->text().isEmpty());
        EXPECT_FALSE(separator->isEnabled());
    }
    EXPECT_EQ(w.StatusBar1->currentMessage(), "");
    EXPECT_TRUE(w.StatusBar1->isSizeGripEnabled());

    // The elements are of the toolkit's kinds, so that they are found by kind and name.
    EXPECT_NE(w.findChild<QToolBar*>("tbToolbar"), nullptr);
    EXPECT_NE(w.findChild<QMenuBar*>("MainMenu"), nullptr);
    EXPECT_NE(w.findChild<QStatusBar*>("StatusBar1"), nullptr);
    for (const char* name : {"lvTables", "lvDB1", "lvDB2", "lvResults"})
        EXPECT_NE(w.findChild<QTreeWidget*>(name), nullptr) << name;
    for (const char* name : {"ToolButton1", "ToolButton2", "ToolButton4", "ToolButton6"})
        EXPECT_NE(w.findChild<QToolButton*>(name), nullptr) << name;

    // Every element is found under its name.
    for (const char* name :
         {"tbToolbar",   "Panel1",      "Label1",      "chkDatatype", "chkSize",     "chkNull",
          "chkMissing",  "pnlTables",   "lvTables",    "lvDB1",       "lvDB2",       "lblC1",
          "lblC2",       "Splitter1",   "lvResults",   "StatusBar1",  "MainMenu",    "Bestand1",
          "Database11",  "Database21",  "Acties1",     "ToolButton1", "ToolButton2", "ToolButton3",
          "ToolButton4", "ToolButton5", "ToolButton6", "ActionList",  "ImageList16", "ImageList24"})
        EXPECT_NE(w.findChild<QObject*>(name), nullptr) << name;
}

TEST_F(MainWindowTest, MenuAndCommandsAsLaidOut) {
    TfrmMain& w = *window;
    const auto entries = [](QMenu* menu) {
        QStringList names;
        for (QAction* a : menu->actions())
            names << a->objectName() + (a->isSeparator() ? QString("|-") : "|" + a->text());
        return names;
    };
    QStringList titles;
    for (QAction* top : w.MainMenu->actions())
        titles << top->text();
    // Every entry has an accelerator: "&Bestand" as designed, every other one the first letter that no
    // sibling has taken.
    EXPECT_EQ(titles, QStringList({"&Bestand", "&Database 1", "D&atabase 2", "A&cties"}));
    EXPECT_EQ(entries(w.Bestand1),
              QStringList({"Instellingen1|&Instellingen", "Afsluiten2|-", "Afsluiten1|&Afsluiten"}));
    EXPECT_EQ(entries(w.Database11), QStringList({"Database1selecteren1|&Selecteren"}));
    EXPECT_EQ(entries(w.Database21), QStringList({"Database2selecteren1|&Selecteren"}));
    EXPECT_EQ(entries(w.Acties1), QStringList({"Vergelijktabelstructuur1|&Openen databases",
                                               "Vergelijk1|&Vergelijk", "N1|-", "Reset1|&Reset"}));

    QStringList commands;
    for (QAction* a : w.ActionList->Actions())
        commands << a->objectName() + ":" + a->text() + ":" + a->property("ImageIndex").toString();
    EXPECT_EQ(commands,
              QStringList({"actOpenDB1:Selecteren:0", "actOpenDB2:Selecteren:0", "actClose:Afsluiten:5",
                           "actSettings:Instellingen:6", "actOpenDatabases:Openen databases:1",
                           "actCompare:Vergelijk:4", "actReset:Reset:3"}));
    for (QAction* a : w.ActionList->Actions())
        EXPECT_TRUE(a->shortcut().isEmpty());
}

TEST_F(MainWindowTest, ListsAreReportsWithTheirColumnsAndTabOrder) {
    Show();
    TfrmMain& w = *window;
    const auto columns = [](const TListView* list) {
        QStringList result;
        for (int c = 0; c < list->columnCount(); ++c)
            result << list->headerItem()->text(c) + ":" + QString::number(list->columnWidth(c));
        return result;
    };
    const int tablesClient = w.lvTables->viewport()->width();
    EXPECT_EQ(columns(w.lvTables), QStringList({"Tabel:" + QString::number(tablesClient)}));
    const int db1Auto = w.lvDB1->viewport()->width() - 190;
    EXPECT_EQ(columns(w.lvDB1),
              QStringList({"Field:" + QString::number(db1Auto), "Datatype:75", "Length:40", "Nullable:75"}));
    EXPECT_EQ(columns(w.lvDB2), QStringList({"Field:75", "Datatype:75", "Length:40", "Nullable:75"}));
    const int resultsAuto = w.lvResults->viewport()->width() - 570;
    EXPECT_EQ(columns(w.lvResults),
              QStringList({"Table:170", "Veldnaam:150", "Veld (DB1):125", "Veld (DB2):125",
                           "Verschil:" + QString::number(resultsAuto)}));

    for (TListView* list : {w.lvTables, w.lvDB1, w.lvDB2, w.lvResults}) {
        EXPECT_FALSE(list->rootIsDecorated());
        EXPECT_EQ(list->selectionMode(), QAbstractItemView::SingleSelection);
        EXPECT_EQ(list->selectionBehavior(), QAbstractItemView::SelectRows);
        EXPECT_EQ(list->editTriggers(), QAbstractItemView::NoEditTriggers);
        EXPECT_FALSE(list->isSortingEnabled());
        EXPECT_EQ(list->palette().color(QPalette::Inactive, QPalette::Highlight),
                  list->palette().color(QPalette::Active, QPalette::Highlight));
        EXPECT_EQ(list->topLevelItemCount(), 0);
    }
    EXPECT_TRUE(w.lvTables->HotTrack());
    EXPECT_FALSE(w.lvDB1->HotTrack());

    QStringList order;
    QWidget* focus = w.lvResults;
    for (int i = 0; i < 8; ++i, focus = focus->nextInFocusChain()) {
        while (focus->focusPolicy() == Qt::NoFocus || !focus->isVisibleTo(&w))
            focus = focus->nextInFocusChain();
        order << focus->objectName();
    }
    EXPECT_EQ(order, QStringList({"lvResults", "lvTables", "lvDB1", "lvDB2", "chkDatatype", "chkSize",
                                  "chkNull", "chkMissing"}));
    EXPECT_EQ(w.tbToolbar->focusPolicy(), Qt::NoFocus);
    EXPECT_EQ(w.ToolButton1->focusPolicy(), Qt::NoFocus);
}

TEST_F(MainWindowTest, ExtraHeightGoesToTheResultsAndTheSplitterCollapsesThePanel) {
    Show();
    TfrmMain& w = *window;
    w.resize(w.width(), w.height() + 100);
    QTest::qWait(20);
    EXPECT_EQ(w.lvResults->height(), 250);
    EXPECT_EQ(w.pnlTables->height(), 303);
    EXPECT_EQ(w.StatusBar1->y(), 626);
    const int wide = w.width();
    w.resize(wide + 200, w.height());
    EXPECT_EQ(w.width(), 714) << "the width is fixed";

    // Dragging the bar up by 100 pixels.
    const QPoint grip(10, 1);
    QTest::mousePress(w.Splitter1, Qt::LeftButton, {}, grip);
    QMouseEvent move(QEvent::MouseMove, QPointF(grip.x(), grip.y() - 100),
                     QPointF(w.Splitter1->mapToGlobal(QPoint(grip.x(), grip.y() - 100))), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w.Splitter1, &move);
    EXPECT_EQ(w.pnlTables->height(), 203) << "the panel follows while dragging";
    EXPECT_EQ(w.lvResults->height(), 350);
    EXPECT_EQ(w.lvTables->height(), 203 - 26) << "the lists shrink with the panel";
    EXPECT_EQ(w.lblC1->y(), 203 - 21);
    QTest::mouseRelease(w.Splitter1, Qt::LeftButton, {}, QPoint(grip.x(), grip.y() - 100));

    w.SetTablesPanelHeight(31);
    EXPECT_EQ(w.pnlTables->height(), 31);
    w.SetTablesPanelHeight(30);
    EXPECT_EQ(w.pnlTables->height(), 0);
    EXPECT_EQ(w.lvTables->height(), 0);
    EXPECT_EQ(w.Splitter1->y(), 70);
    w.SetTablesPanelHeight(2000);
    EXPECT_EQ(w.lvResults->height(), 30) << "the results keep 30 pixels";
    EXPECT_EQ(w.Splitter1->cursor().shape(), Qt::SizeVerCursor);
}

TEST_F(MainWindowTest, StartUpTicksEverySwitchAndLeavesEverythingElseEmpty) {
    TfrmMain& w = *window;
    for (QCheckBox* box : {w.chkDatatype, w.chkSize, w.chkNull, w.chkMissing})
        EXPECT_TRUE(box->isChecked()) << box->objectName().toStdString();
    const CompareSwitches switches = w.Switches();
    EXPECT_TRUE(switches.datatype && switches.size && switches.null && switches.missing);
    ASSERT_NE(w.Database1(), nullptr);
    ASSERT_NE(w.Database2(), nullptr);
    EXPECT_FALSE(w.Database1()->ADO().Connected());
    EXPECT_FALSE(w.Database2()->ADO().Connected());
    EXPECT_EQ(w.Settings()->FileName(), IniPath());
    EXPECT_EQ(w.Database1()->parent(), &w);
    EXPECT_EQ(w.lblC1->text(), "");
    EXPECT_EQ(w.lblC2->text(), "");
    EXPECT_TRUE(ui->boxes.empty());
    EXPECT_FALSE(QFile::exists(QString::fromStdString(IniPath()))) << "start-up writes no settings";
}

TEST_F(MainWindowTest, SwitchHandlersFollowTheirBoxes) {
    TfrmMain& w = *window;
    w.chkSize->setChecked(false);
    EXPECT_FALSE(w.Switches().size);
    QTest::mouseClick(w.chkNull, Qt::LeftButton, {}, QPoint(5, 8));
    EXPECT_FALSE(w.chkNull->isChecked());
    EXPECT_FALSE(w.Switches().null);
    w.chkMissing->setChecked(false);
    w.chkDatatype->setChecked(false);
    EXPECT_FALSE(w.Switches().missing);
    EXPECT_FALSE(w.Switches().datatype);
    w.chkDatatype->setChecked(true);
    EXPECT_TRUE(w.Switches().datatype);
}

TEST_F(MainWindowTest, CommandEnablingAtStartAfterOpeningAndAfterReset) {
    Show();
    TfrmMain& w = *window;
    w.ActionList->IdleUpdate();
    EXPECT_FALSE(w.actCompare->isEnabled());
    EXPECT_FALSE(w.actReset->isEnabled());
    EXPECT_FALSE(w.ToolButton2->isEnabled());
    EXPECT_FALSE(w.Vergelijk1->isEnabled());
    EXPECT_TRUE(w.actOpenDatabases->isEnabled());
    EXPECT_TRUE(w.actClose->isEnabled());
    EXPECT_TRUE(w.actOpenDB1->isEnabled());

    MakeDatabases("create table A(x int); create table B(y int);", "create table A(x int);");
    Open();
    EXPECT_TRUE(ui->boxes.empty());
    EXPECT_EQ(Rows(w.lvTables), (std::vector<QStringList>{{"A"}, {"B"}}));
    w.ActionList->IdleUpdate();
    EXPECT_TRUE(w.actCompare->isEnabled());
    EXPECT_TRUE(w.actReset->isEnabled());
    EXPECT_TRUE(w.Reset1->isEnabled());

    w.lvTables->SelectRow(0);
    w.lvTablesClick(w.lvTables);
    EXPECT_EQ(w.lblC1->text(), "1 velden");
    EXPECT_TRUE(w.ActionList->Execute(w.actReset));
    for (TListView* list : {w.lvTables, w.lvDB1, w.lvDB2, w.lvResults})
        EXPECT_EQ(list->topLevelItemCount(), 0);
    EXPECT_EQ(w.lblC1->text(), "1 velden") << "Reset keeps the labels";
    w.ActionList->IdleUpdate();
    EXPECT_FALSE(w.actReset->isEnabled());
    EXPECT_TRUE(w.actCompare->isEnabled());
    EXPECT_TRUE(w.Database1()->ADO().Connected());
}

// The idle part of the update cycle, reached the way a user's session reaches it: the event loop runs
// dry after input, also when only pending events are processed (no blocking wait).
TEST_F(MainWindowTest, IdleUpdatesFollowInputWithoutABlockingWait) {
    Show();
    TfrmMain& w = *window;
    QCoreApplication::processEvents();
    EXPECT_FALSE(w.ToolButton2->isEnabled()) << "Vergelijk greyed at start";
    EXPECT_FALSE(w.ToolButton4->isEnabled()) << "Reset greyed at start";
    EXPECT_TRUE(w.ToolButton1->isEnabled());
    EXPECT_TRUE(w.actSettings->isEnabled()) << "not updated before its menu opens";

    MakeDatabases("create table A(x int);", "create table A(x int);");
    QTest::mouseClick(w.ToolButton1, Qt::LeftButton);
    ASSERT_EQ(w.lvTables->topLevelItemCount(), 1);
    QTest::qWait(20);
    EXPECT_TRUE(w.ToolButton2->isEnabled());
    EXPECT_TRUE(w.ToolButton4->isEnabled());
    EXPECT_TRUE(w.Vergelijk1->isEnabled());

    QTest::mouseClick(w.ToolButton4, Qt::LeftButton);
    EXPECT_EQ(w.lvTables->topLevelItemCount(), 0);
    QCoreApplication::processEvents();
    EXPECT_FALSE(w.ToolButton4->isEnabled());
    EXPECT_TRUE(w.ToolButton2->isEnabled());
}

TEST_F(MainWindowTest, InstellingenIsGreyedWheneverSeenAndDoesNothing) {
    TfrmMain& w = *window;
    emit w.Bestand1->aboutToShow();
    EXPECT_FALSE(w.Instellingen1->isEnabled());
    EXPECT_FALSE(w.actSettings->isEnabled());
    EXPECT_FALSE(w.ActionList->Execute(w.actSettings));
    EXPECT_TRUE(w.Afsluiten1->isEnabled());
}

TEST_F(MainWindowTest, ADatabaseThatCannotBeListedReachesTheErrorBox) {
    TfrmMain& w = *window;
    w.Vergelijktabelstructuur1->trigger(); // both strings empty
    ASSERT_EQ(ui->Errors().size(), 1u);
    EXPECT_FALSE(ui->Errors()[0].isEmpty());
    EXPECT_EQ(ui->boxes[0].caption, AppTitle());
    EXPECT_EQ(w.lvTables->topLevelItemCount(), 0);
}

TEST_F(MainWindowTest, AFifoAsDatabaseReachesTheErrorBoxWithoutWaiting) {
    TfrmMain& w = *window;
    const std::string fifo = Path("db1.fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    w.Settings()->SetADOStr1(SqliteString(fifo));
    // Should the open block after all, a writer after 5 s lets it go on and the test fails.
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    bool unblocked = false;
    std::thread watchdog([&] {
        std::unique_lock lock(mutex);
        if (!finished.wait_for(lock, std::chrono::seconds(5), [&] { return done; })) {
            unblocked = true;
            ::close(::open(fifo.c_str(), O_RDWR | O_NONBLOCK));
        }
    });
    w.Vergelijktabelstructuur1->trigger();
    {
        std::lock_guard lock(mutex);
        done = true;
    }
    finished.notify_one();
    watchdog.join();
    EXPECT_FALSE(unblocked);
    ASSERT_EQ(ui->Errors().size(), 1u);
    EXPECT_TRUE(ui->Errors()[0].contains("not a regular file")) << ui->Errors()[0].toStdString();
    EXPECT_EQ(w.lvTables->topLevelItemCount(), 0);
}

TEST_F(MainWindowTest, ComposingAConnectionStringStoresWhatTheDialogGives) {
    TfrmMain& w = *window;
    const QString ini = QString::fromStdString(IniPath());

    w.Database1selecteren1->trigger(); // cancelled, nothing stored yet
    ASSERT_EQ(ui->prompts.size(), 1u);
    EXPECT_EQ(ui->prompts[0], "");
    EXPECT_FALSE(QFile::exists(ini));

    ui->answer = [](const std::string&) { return std::string(" \t\r\n "); };
    w.Database2selecteren1->trigger();
    EXPECT_FALSE(QFile::exists(ini)) << "a blank result is not stored";

    ui->answer = [](const std::string&) { return std::string("Provider=SQLite;Data Source=/tmp/x.db "); };
    w.Database1selecteren1->trigger();
    EXPECT_TRUE(FileBytes(IniPath()).contains("ConnectionString=Provider=SQLite;Data Source=/tmp/x.db \r\n"))
        << "stored untrimmed";
    EXPECT_EQ(w.Settings()->ADOStr2(), "");

    // Cancelling with a stored string writes it again, as it reads.
    CreateSqlite(Path("unused.sqlite"), "");
    QFile::remove(ini);
    {
        QFile file(ini);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("[DB2]\r\nConnectionString=  \"quoted\"  \r\n");
    }
    ui->answer = nullptr;
    w.actOpenDB2->trigger();
    EXPECT_EQ(ui->prompts.back(), "quoted");
    EXPECT_EQ(FileBytes(IniPath()), QByteArray("[DB2]\r\nConnectionString=quoted\r\n"));
}

TEST_F(MainWindowTest, NewStringForAnOpenDatabaseLeavesItOpen) {
    TfrmMain& w = *window;
    MakeDatabases("create table A(x int);", "create table A(x int);");
    Open();
    ui->answer = [](const std::string&) {
        return std::string("Provider=SQLite;Data Source=/nonexistent.db");
    };
    w.ActionList->Execute(w.actOpenDB1);
    EXPECT_EQ(w.Settings()->ADOStr1(), "Provider=SQLite;Data Source=/nonexistent.db");
    EXPECT_TRUE(w.Database1()->ADO().Connected());
    w.ActionList->Update(w.actCompare);
    EXPECT_TRUE(w.actCompare->isEnabled());
}

TEST_F(MainWindowTest, SuspendedCommandsAreInertWhileBoxesAndListsWork) {
    Show();
    TfrmMain& w = *window;
    TSuspendGuard suspended(*w.ActionList);
    QTest::mouseClick(w.ToolButton6, Qt::LeftButton);
    w.Database1selecteren1->trigger();
    EXPECT_TRUE(w.isVisible());
    EXPECT_TRUE(ui->prompts.empty());
    QTest::mouseClick(w.chkSize, Qt::LeftButton, {}, QPoint(5, 8));
    EXPECT_FALSE(w.Switches().size);
    w.lvDB1->addTopLevelItem(new QTreeWidgetItem(QStringList{"a"}));
    w.lvDB2->addTopLevelItem(new QTreeWidgetItem(QStringList{"b"}));
    ClickRow(w.lvDB1, 0);
    EXPECT_EQ(w.lvDB2->SelectedIndex(), 0);
}

TEST_F(MainWindowTest, SelectionFollowsBetweenTheFieldLists) {
    Show();
    OpenFieldLists();
    TfrmMain& w = *window;
    ClickRow(w.lvDB1, 2);
    EXPECT_EQ(w.lvDB1->SelectedIndex(), 2);
    EXPECT_EQ(w.lvDB2->SelectedIndex(), 2);
    ClickRow(w.lvDB2, 1);
    EXPECT_EQ(w.lvDB1->SelectedIndex(), 1);
    ClickRow(w.lvDB1, 4);
    EXPECT_EQ(w.lvDB2->SelectedIndex(), -1) << "no such row in the other list";

    ClickRow(w.lvDB1, 0);
    ASSERT_EQ(w.lvDB2->SelectedIndex(), 0);
    w.lvDB1->setFocus();
    QTest::keyClick(w.lvDB1, Qt::Key_Down);
    EXPECT_EQ(w.lvDB1->SelectedIndex(), 1);
    EXPECT_EQ(w.lvDB2->SelectedIndex(), 0) << "the keyboard runs no click handler";
    EXPECT_TRUE(w.lvDB1->hasFocus());

    const QRect last = w.lvDB1->visualItemRect(w.lvDB1->topLevelItem(4));
    Click(w.lvDB1, QPoint(last.center().x(), last.bottom() + 40));
    EXPECT_EQ(w.lvDB1->SelectedIndex(), -1);
    EXPECT_EQ(w.lvDB2->SelectedIndex(), -1);
}

TEST_F(MainWindowTest, RestingOnATableSelectsItWithoutFillingTheFieldLists) {
    Show();
    TfrmMain& w = *window;
    MakeDatabases("create table A(x int); create table B(y int);", "create table A(x int);");
    Open();
    w.lvTables->SetHoverTime(20);
    const QPoint pos = w.lvTables->visualItemRect(w.lvTables->topLevelItem(1)).center();
    QMouseEvent move(QEvent::MouseMove, QPointF(pos), QPointF(w.lvTables->viewport()->mapToGlobal(pos)),
                     Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(w.lvTables->viewport(), &move);
    EXPECT_EQ(w.lvTables->SelectedIndex(), -1) << "not before the hover time";
    QTest::qWait(100);
    EXPECT_EQ(w.lvTables->SelectedIndex(), 1);
    EXPECT_EQ(w.lvDB1->topLevelItemCount(), 0);
    EXPECT_EQ(w.lblC1->text(), "");

    Click(w.lvTables, pos);
    EXPECT_EQ(w.lvDB1->topLevelItemCount(), 1);
    EXPECT_EQ(w.lblC1->text(), "1 velden");
    EXPECT_EQ(w.lblC2->text(), "0 velden");
    // The labels size themselves to their text and stay on their line under the lists.
    for (QLabel* label : {w.lblC1, w.lblC2}) {
        EXPECT_EQ(label->y(), 282);
        EXPECT_EQ(label->height(), 13);
        EXPECT_GE(label->width(), label->fontMetrics().horizontalAdvance(label->text()));
    }
    EXPECT_EQ(w.lblC1->x(), 167);
    EXPECT_EQ(w.lblC2->x(), 444);
}

TEST_F(MainWindowTest, ClosingFreesDatabaseTwoThenOneThenTheSettings) {
    Show();
    MakeDatabases("create table A(x int);", "create table A(x int);");
    Open();
    ASSERT_TRUE(window->Database2()->ADO().Connected());
    std::vector<std::string> order;
    QObject::connect(window->Database1(), &QObject::destroyed, [&] { order.push_back("DB1"); });
    QObject::connect(window->Database2(), &QObject::destroyed, [&] { order.push_back("DB2"); });
    QObject::connect(window->Settings(), &QObject::destroyed, [&] { order.push_back("Settings"); });
    window->ActionList->Execute(window->actClose);
    EXPECT_FALSE(window->isVisible()) << "closed without a question";
    EXPECT_TRUE(order.empty());
    window.reset();
    EXPECT_EQ(order, (std::vector<std::string>{"DB2", "DB1", "Settings"}));
}

} // namespace
} // namespace korvista
