// The main window as an outside tester meets it: elements found by name, commands reached through their
// QActions, menu entries and toolbar buttons, and the real message boxes read off the screen.

#include "app/app_title.h"
#include "app/command_list.h"
#include "support/u_Utility.h"
#include "window_test_support.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QProcess>
#include <QProxyStyle>
#include <QPushButton>
#include <QScreen>
#include <QStyleFactory>
#include <QTimer>
#include <QToolButton>
#include <QtTest/QTest>
#include <functional>

namespace korvista {
namespace {

using testing::OrdersDb1;
using testing::OrdersDb2;
using testing::RowList;
using testing::Rows;
using testing::WindowFixture;
const RowList OrdersResult{{"Orders", "Name", "string:50:null", "string:60:not-null", "size, nullability"},
                           {"Orders", "Note", "string:200:null", "???", "FIELD MISSING"}};

class AcceptanceTest : public WindowFixture {
protected:
    template <class T> T* Find(const char* name) const {
        T* element = window->findChild<T*>(QString::fromUtf8(name));
        EXPECT_NE(element, nullptr) << name;
        return element;
    }
    QAction* Command(const char* name) const { return Find<QAction>(name); }
    QTreeWidget* List(const char* name) const { return Find<QTreeWidget>(name); }
    void Show() {
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }
    void ClickAt(QTreeWidget* list, QPoint pos) {
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, pos);
    }
    QPoint RowCentre(QTreeWidget* list, int row) {
        return list->visualItemRect(list->topLevelItem(row)).center();
    }
    void DragSplitter(int dy) {
        auto* bar = Find<QWidget>("Splitter1");
        const QPoint from(10, 1);
        const QPoint to(10, 1 + dy);
        QTest::mousePress(bar, Qt::LeftButton, {}, from);
        QMouseEvent move(QEvent::MouseMove, QPointF(to), QPointF(bar->mapToGlobal(to)), Qt::NoButton,
                         Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(bar, &move);
        QTest::mouseRelease(bar, Qt::LeftButton, {}, to);
    }
};

// The first look of the window, before the loop has had a chance to run.
TEST_F(AcceptanceTest, FreshlyShownWindowGreysCompareAndResetEverywhere) {
    window->show();
    EXPECT_FALSE(Find<QToolButton>("ToolButton2")->isEnabled()) << "Vergelijk";
    EXPECT_FALSE(Find<QToolButton>("ToolButton4")->isEnabled()) << "Reset";
    EXPECT_TRUE(Find<QToolButton>("ToolButton1")->isEnabled());
    EXPECT_TRUE(Find<QToolButton>("ToolButton6")->isEnabled());
    for (const char* name : {"ToolButton1", "ToolButton2", "ToolButton4", "ToolButton6"})
        EXPECT_TRUE(Find<QToolButton>(name)->toolTip().isEmpty()) << name << " has no hint";
    emit Find<QMenu>("Acties1")->aboutToShow();
    EXPECT_FALSE(Command("Vergelijk1")->isEnabled());
    EXPECT_FALSE(Command("Reset1")->isEnabled());
    EXPECT_TRUE(Command("Vergelijktabelstructuur1")->isEnabled());

    emit Find<QMenu>("Bestand1")->aboutToShow();
    EXPECT_FALSE(Command("Instellingen1")->isEnabled());
    Command("Instellingen1")->trigger();
    Command("actSettings")->trigger();
    EXPECT_TRUE(ui->boxes.empty());
    EXPECT_TRUE(window->isVisible());
}

TEST_F(AcceptanceTest, CompareTriggeredWithoutOpenConnectionsDoesNotRun) {
    MakeDatabases(OrdersDb1, OrdersDb2);
    // Never shown, so no idle moment ever came.
    EXPECT_FALSE(Command("actCompare")->isEnabled());
    EXPECT_FALSE(Command("actReset")->isEnabled());
    EXPECT_TRUE(Command("actSettings")->isEnabled()) << "greyed by its first update, when its menu opens";
    Command("actCompare")->trigger();
    Find<QToolButton>("ToolButton2")->click();
    Command("Vergelijk1")->trigger();
    EXPECT_FALSE(Command("actCompare")->isEnabled());
    EXPECT_FALSE(Find<QToolButton>("ToolButton2")->isEnabled());
    EXPECT_TRUE(ui->boxes.empty());
    EXPECT_EQ(List("lvResults")->topLevelItemCount(), 0);
}

// A tester's script: each command right after the other, no event processed in between.
TEST_F(AcceptanceTest, CommandsTriggeredBackToBackSeeTheStateTheLastOneLeft) {
    Show();
    MakeDatabases(OrdersDb1, OrdersDb2);
    Command("actOpenDatabases")->trigger();
    Command("actCompare")->trigger();
    EXPECT_EQ(Rows(List("lvResults")), OrdersResult);
    ASSERT_EQ(ui->Messages().size(), 1u);
    EXPECT_EQ(ui->Messages()[0], "Er zijn 3 verschillen gevonden!");

    Find<QToolButton>("ToolButton4")->click();
    for (const char* name : {"lvTables", "lvDB1", "lvDB2", "lvResults"})
        EXPECT_EQ(List(name)->topLevelItemCount(), 0) << name;
    EXPECT_FALSE(Find<QToolButton>("ToolButton4")->isEnabled());
    EXPECT_TRUE(Find<QToolButton>("ToolButton2")->isEnabled()) << "both connections stay open";
    EXPECT_TRUE(Find<QToolButton>("ToolButton4")->toolTip().isEmpty()) << "no hint after a change either";
    EXPECT_EQ(Find<QLabel>("lblC1")->text(), "3 velden");
    EXPECT_EQ(Find<QLabel>("lblC2")->text(), "2 velden");
    Command("Reset1")->trigger(); // disabled: nothing to do, nothing shown
    EXPECT_TRUE(ui->Errors().empty());
}

TEST_F(AcceptanceTest, DatabaseWithoutTablesListsNothingAndSaysNothing) {
    MakeDatabases("", "create table Orders(a int);");
    Command("Vergelijktabelstructuur1")->trigger();
    EXPECT_EQ(List("lvTables")->topLevelItemCount(), 0);
    EXPECT_FALSE(Find<QToolButton>("ToolButton4")->isEnabled()) << "no table, nothing to reset";
    EXPECT_TRUE(Find<QToolButton>("ToolButton2")->isEnabled());
    Command("Vergelijk1")->trigger();
    EXPECT_EQ(List("lvResults")->topLevelItemCount(), 0);
    EXPECT_TRUE(ui->boxes.empty());
}

TEST_F(AcceptanceTest, EveryCommandRouteIsInertWhileTheRunDispatchesEvents) {
    MakeDatabases("create table A(x varchar(1)); create table B(y varchar(1));",
                  "create table A(x varchar(2)); create table B(y varchar(2));");
    Show();
    Command("actOpenDatabases")->trigger();
    ASSERT_TRUE(Find<QToolButton>("ToolButton2")->isEnabled());
    bool lookKept = false;
    QTimer::singleShot(0, window.get(), [&] {
        Command("actCompare")->trigger();
        Find<QToolButton>("ToolButton2")->click();
        Command("Vergelijk1")->trigger();
        Command("actReset")->trigger();
        Find<QToolButton>("ToolButton4")->click();
        Command("actOpenDatabases")->trigger();
        Command("Database1selecteren1")->trigger();
        Find<QToolButton>("ToolButton6")->click();
        lookKept =
            Find<QToolButton>("ToolButton2")->isEnabled() && Find<QToolButton>("ToolButton4")->isEnabled();
    });
    Find<QToolButton>("ToolButton2")->click();
    EXPECT_TRUE(window->isVisible()) << "Afsluiten did nothing";
    EXPECT_TRUE(ui->prompts.empty());
    EXPECT_TRUE(lookKept);
    EXPECT_EQ(Rows(List("lvResults")), (RowList{{"A", "x", "string:1:null", "string:2:null", "size"},
                                                {"B", "y", "string:1:null", "string:2:null", "size"}}));
    EXPECT_EQ(ui->Messages(), std::vector<QString>{"Er zijn 2 verschillen gevonden!"});
    Command("actClose")->trigger();
    EXPECT_FALSE(window->isVisible()) << "commands work again after the run";
}

TEST_F(AcceptanceTest, ClickBelowTheTablesChangesNothing) {
    Show();
    MakeDatabases("create table Orders(a int, b int); create table Customers(c int);",
                  "create table Orders(a int);");
    Command("actOpenDatabases")->trigger();
    QTreeWidget* tables = List("lvTables");
    ClickAt(tables, RowCentre(tables, 0));
    ASSERT_EQ(List("lvDB1")->topLevelItemCount(), 2);
    const RowList db1 = Rows(List("lvDB1"));
    const QPoint below(RowCentre(tables, 1).x(), RowCentre(tables, 1).y() + 60);
    ClickAt(tables, below);
    EXPECT_TRUE(tables->selectedItems().isEmpty());
    EXPECT_EQ(Rows(List("lvDB1")), db1);
    EXPECT_EQ(List("lvDB2")->topLevelItemCount(), 1);
    EXPECT_EQ(Find<QLabel>("lblC1")->text(), "2 velden");
    EXPECT_EQ(Find<QLabel>("lblC2")->text(), "1 velden");
}

TEST_F(AcceptanceTest, OpeningAgainKeepsTheConnectionsAndListsAfresh) {
    MakeDatabases(OrdersDb1, OrdersDb2);
    Command("actOpenDatabases")->trigger();
    // An open connection keeps reading its file after the name is gone; a reconnect would fail.
    ASSERT_TRUE(QFile::rename(QString::fromStdString(Path("db1.sqlite")),
                              QString::fromStdString(Path("moved.sqlite"))));
    Command("actCompare")->trigger();
    ASSERT_EQ(List("lvResults")->topLevelItemCount(), 2);
    Command("actOpenDatabases")->trigger();
    EXPECT_TRUE(ui->Errors().empty());
    EXPECT_EQ(Rows(List("lvTables")), (RowList{{"Orders"}}));
    EXPECT_EQ(List("lvResults")->topLevelItemCount(), 0);
    EXPECT_EQ(Find<QLabel>("lblC1")->text(), "3 velden");
}

TEST_F(AcceptanceTest, SettingsThatCannotBeWrittenReachTheErrorBox) {
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(IniPath()))); // a folder where the file should be
    ui->answer = [](const std::string&) { return std::string("Provider=SQLite;Data Source=x.db"); };
    Command("Database1selecteren1")->trigger();
    ASSERT_EQ(ui->Errors().size(), 1u);
    EXPECT_EQ(ui->Errors()[0], QString::fromStdString("Unable to write to " + IniPath() + "."));
    EXPECT_EQ(ui->boxes[0].caption, AppTitle());
    Command("Database2selecteren1")->trigger();
    EXPECT_EQ(ui->Errors().size(), 2u) << "the window carries on";
}

TEST_F(AcceptanceTest, WidthIsFixedAndTheSplitterCollapsesAndReopensByDragging) {
    Show();
    const int width = window->width();
    window->resize(width - 100, window->height());
    EXPECT_EQ(window->width(), width);
    auto* panel = Find<QWidget>("pnlTables");
    DragSplitter(-290);
    EXPECT_EQ(panel->height(), 0);
    for (const char* name : {"lvTables", "lvDB1", "lvDB2"})
        EXPECT_EQ(List(name)->height(), 0) << name;
    DragSplitter(150);
    EXPECT_EQ(panel->height(), 150);
    EXPECT_EQ(List("lvDB1")->height(), 150 - 26);
    EXPECT_EQ(Find<QLabel>("lblC1")->y(), 150 - 21);
}

// ---- The real message boxes ----

// Set when this executable runs as a copy named korvista (see below).
constexpr const char* ChildTitle = "KORVISTA_ACCEPTANCE_TITLE";

QString ExpectedTitle() {
    return qEnvironmentVariableIsSet(ChildTitle) ? qEnvironmentVariable(ChildTitle) : AppTitle();
}

struct SeenBox {
    bool found = false;
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QStringList buttons;
    bool modal = false;
    QPoint centre;
    QFont font;
    bool buttonPictures = false;
    Qt::TextFormat format = Qt::AutoText;
};

// Looks for the tool's message box among the top-level windows, notes what it shows and presses OK.
void AnswerNextBox(SeenBox& seen) {
    QTimer::singleShot(10, [&seen] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<QMessageBox*>(widget);
            if (!box || !box->isVisible())
                continue;
            seen = {true,
                    box->windowTitle(),
                    box->text(),
                    box->icon(),
                    {},
                    QApplication::activeModalWidget() == box,
                    box->frameGeometry().center(),
                    box->font(),
                    false,
                    box->textFormat()};
            for (QAbstractButton* button : box->buttons()) {
                seen.buttons << button->text().remove('&');
                seen.buttonPictures = seen.buttonPictures || !button->icon().isNull();
            }
            box->button(QMessageBox::Ok)->click();
            return;
        }
        AnswerNextBox(seen);
    });
}

// A style that puts pictures on the standard buttons, as some desktop themes do.
class PicturedButtonsStyle : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* data) const override {
        if (hint == SH_DialogButtonBox_ButtonsHaveIcons)
            return 1;
        return QProxyStyle::styleHint(hint, option, widget, data);
    }
};

class RealBoxesTest : public AcceptanceTest {
protected:
    void SetUp() override {
        AcceptanceTest::SetUp();
        SetUi(nullptr);
        ui = nullptr;
        previousStyle = QApplication::style()->name();
        QApplication::setStyle(new PicturedButtonsStyle(QStyleFactory::create(previousStyle)));
    }
    void TearDown() override {
        QApplication::setStyle(QStyleFactory::create(previousStyle));
        AcceptanceTest::TearDown();
    }
    // The window's font, plain buttons whatever the style, and text shown as it is.
    void ExpectPlainBox(const SeenBox& seen) const {
        EXPECT_EQ(seen.font, window->font());
        EXPECT_EQ(seen.font.pixelSize(), 11);
        EXPECT_FALSE(seen.buttonPictures);
        EXPECT_EQ(seen.format, Qt::PlainText);
    }

    QString previousStyle;
};

TEST_F(RealBoxesTest, ErrorBoxHasTheTitleTheStopIconAndOneOk) {
    Show();
    SeenBox seen;
    AnswerNextBox(seen);
    Command("Vergelijktabelstructuur1")->trigger(); // no connection strings stored
    ASSERT_TRUE(seen.found);
    EXPECT_EQ(seen.title, ExpectedTitle());
    EXPECT_EQ(seen.icon, QMessageBox::Critical);
    EXPECT_EQ(seen.buttons, QStringList{"OK"});
    EXPECT_TRUE(seen.modal);
    EXPECT_FALSE(seen.text.isEmpty());
    ExpectPlainBox(seen);
    EXPECT_TRUE(window->isVisible()) << "the tool carries on";
}

TEST_F(RealBoxesTest, ClosingMessageHasNoIconAndStandsMidScreen) {
    MakeDatabases(OrdersDb1, OrdersDb2);
    Show();
    window->move(0, 0);
    Command("actOpenDatabases")->trigger();
    SeenBox seen;
    AnswerNextBox(seen);
    Find<QToolButton>("ToolButton2")->click();
    ASSERT_TRUE(seen.found);
    EXPECT_EQ(seen.title, ExpectedTitle());
    EXPECT_EQ(seen.text, "Er zijn 3 verschillen gevonden!");
    EXPECT_EQ(seen.icon, QMessageBox::NoIcon);
    EXPECT_EQ(seen.buttons, QStringList{"OK"});
    EXPECT_TRUE(seen.modal);
    ExpectPlainBox(seen);
    const QPoint middle = window->screen()->availableGeometry().center();
    EXPECT_LE((seen.centre - middle).manhattanLength(), 4) << seen.centre.x() << "," << seen.centre.y();
    EXPECT_EQ(Rows(List("lvResults")), OrdersResult);
}

// The title comes from the executable's name; run both box tests again from a copy named korvista.
TEST_F(RealBoxesTest, AnExecutableNamedKorvistaCaptionsItsBoxesWithItsName) {
    if (qEnvironmentVariableIsSet(ChildTitle))
        GTEST_SKIP() << "already the copy";
    QTemporaryDir copyDir;
    ASSERT_TRUE(copyDir.isValid());
    const QString copy = copyDir.filePath("korvista");
    ASSERT_TRUE(QFile::copy(QString::fromStdString(TUtility::GetExeName()), copy));
    QFile::setPermissions(copy, QFile::permissions(copy) | QFile::ExeOwner);
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(ChildTitle, "korvista"); // the first character stands as it is
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(copy, {"--gtest_filter=RealBoxesTest.ErrorBox*:RealBoxesTest.ClosingMessage*"});
    ASSERT_TRUE(child.waitForFinished(180000));
    const QString output = QString::fromUtf8(child.readAll());
    EXPECT_EQ(child.exitCode(), 0) << output.toStdString();
    EXPECT_TRUE(output.contains("[  PASSED  ] 2 tests")) << output.toStdString();
}

} // namespace
} // namespace korvista
