// The application shell without the main window: title, error box, command list, splitter rule.

#include "app/accelerators.h"
#include "app/app_title.h"
#include "app/command_list.h"
#include "app/error_box.h"
#include "app/splitter_bar.h"
#include "support/errors.h"
#include "window_test_support.h"

#include <QAction>
#include <QEventLoop>
#include <QMenu>
#include <QTimer>
#include <QToolButton>
#include <QWidget>
#include <QtTest/QTest>

namespace korvista {
namespace {

using testing::RecordingUi;
using testing::UiFixture;

TEST(ApplicationTitleTest, FileNameBeforeFirstDotWithOnlyTheRestLowered) {
    EXPECT_EQ(ApplicationTitle("/opt/tools/Korvista"), "Korvista");
    EXPECT_EQ(ApplicationTitle("/opt/tools/KRV.exe"), "Krv");
    EXPECT_EQ(ApplicationTitle("/opt/tools/krv.exe"), "krv");
    EXPECT_EQ(ApplicationTitle("/a.b/KRV.old.bin"), "Krv");
    EXPECT_EQ(ApplicationTitle("/usr/local/bin/korvista"), "korvista");
    EXPECT_EQ(ApplicationTitle("kORVISTA"), "korvista");
    EXPECT_EQ(ApplicationTitle("C:\\Tools\\KRV.exe"), "Krv");
    EXPECT_EQ(ApplicationTitle("/opt/.hidden"), "");
    EXPECT_EQ(ApplicationTitle("/opt/ÉCRAN"), QString::fromUtf8("Écran"));
    EXPECT_EQ(ApplicationTitle("/opt/écran"), QString::fromUtf8("écran"));
}

TEST(AcceleratorTest, FirstLetterOrDigitThatNoSiblingHasTaken) {
    const struct {
        QStringList captions;
        QStringList shown;
    } cases[] = {
        // A designed letter is taken first, wherever it stands.
        {{"&Bestand", "Database 1", "Database 2", "Acties"},
         {"&Bestand", "&Database 1", "D&atabase 2", "A&cties"}},
        {{"Boek", "&Bestand"}, {"B&oek", "&Bestand"}},
        // Letter case does not matter; digits count; blanks and punctuation are passed over.
        {{"aa", "AB", "a1"}, {"&aa", "A&B", "a&1"}},
        {{"-x", "x"}, {"-&x", "x"}},
        // A literal ampersand is neither an accelerator nor a letter.
        {{"&&Co", "C"}, {"&&&Co", "C"}},
        {{"R&&D", "Reset"}, {"&R&&D", "R&eset"}},
        // Nothing left: the caption stays as it is.
        {{"ab", "ba", "ab"}, {"&ab", "&ba", "ab"}},
        {{}, {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(WithAccelerators(c.captions), c.shown) << c.captions.join('|').toStdString();
}

TEST(ErrorBoxTextTest, FullStopOnlyAfterCharactersBeyondTheFullStop) {
    EXPECT_EQ(ErrorBoxText("Unable to write to /x/korvista.ini"), "Unable to write to /x/korvista.ini.");
    EXPECT_EQ(ErrorBoxText("Done."), "Done.");
    EXPECT_EQ(ErrorBoxText("Er zijn fouten!"), "Er zijn fouten!");
    EXPECT_EQ(ErrorBoxText("code 42"), "code 42."); // '2' is 50
    EXPECT_EQ(ErrorBoxText("a-"), "a-");            // '-' is 45
    EXPECT_EQ(ErrorBoxText("path/"), "path/.");     // '/' is 47
    EXPECT_EQ(ErrorBoxText(""), "");
    EXPECT_EQ(ErrorBoxText("café"), QString::fromUtf8("café."));
}

class ErrorBoxTest : public UiFixture {};

TEST_F(ErrorBoxTest, GuardedShowsTheMessageWithTheApplicationTitleAndCarriesOn) {
    bool after = false;
    Guarded([] { throw Error("Provider cannot be found"); });
    after = true;
    ASSERT_EQ(ui->boxes.size(), 1u);
    EXPECT_TRUE(ui->boxes[0].error);
    EXPECT_EQ(ui->boxes[0].caption, AppTitle());
    EXPECT_EQ(ui->boxes[0].text, "Provider cannot be found.");
    EXPECT_TRUE(after);
}

TEST_F(ErrorBoxTest, AbortIsSilentAndForeignErrorsAreShown) {
    Guarded([] { throw Abort(); });
    EXPECT_TRUE(ui->boxes.empty());
    Guarded([] { throw std::runtime_error("disk full"); });
    Guarded([] { throw 42; });
    ASSERT_EQ(ui->Errors().size(), 2u);
    EXPECT_EQ(ui->Errors()[0], "disk full.");
    EXPECT_FALSE(ui->Errors()[1].isEmpty());
}

TEST_F(ErrorBoxTest, HandlerDepthCoversTheHandlerAndTheBox) {
    int inside = -1;
    Guarded([&] { inside = HandlerDepth(); });
    EXPECT_EQ(inside, 1);
    EXPECT_EQ(HandlerDepth(), 0);
    Guarded([] { throw Error("x"); });
    EXPECT_EQ(HandlerDepth(), 0);
}

// A command list over three commands: one plain, one with an update rule, one nobody handles.
class CommandListTest : public UiFixture {
protected:
    void SetUp() override {
        UiFixture::SetUp();
        list = new TActionList(&owner);
        plain = new QAction("Plain", list);
        ruled = new QAction("Ruled", list);
        orphan = new QAction("Orphan", list);
        list->Add(plain, [this](QObject*) { log.push_back("plain"); });
        list->Add(
            ruled, [this](QObject*) { log.push_back("ruled"); },
            [this](QObject*) {
                log.push_back("update ruled");
                if (throwInUpdate)
                    throw Error("rule broke");
                list->SetEnabled(ruled, allowed);
            });
        list->Add(orphan, {});
    }

    QObject owner;
    TActionList* list = nullptr;
    QAction* plain = nullptr;
    QAction* ruled = nullptr;
    QAction* orphan = nullptr;
    std::vector<std::string> log;
    bool allowed = true;
    bool throwInUpdate = false;
};

TEST_F(CommandListTest, ExecuteUpdatesFirstAndRunsOnlyWhenEnabled) {
    EXPECT_TRUE(list->Execute(ruled));
    allowed = false;
    EXPECT_FALSE(list->Execute(ruled));
    EXPECT_EQ(log, (std::vector<std::string>{"update ruled", "ruled", "update ruled"}));
    EXPECT_FALSE(ruled->isEnabled());
    allowed = true;
    EXPECT_TRUE(list->Execute(ruled));
    EXPECT_TRUE(ruled->isEnabled());
}

TEST_F(CommandListTest, CommandWithoutHandlerIsDisabledForGoodByItsFirstUpdate) {
    EXPECT_TRUE(orphan->isEnabled());
    EXPECT_FALSE(list->Execute(orphan));
    EXPECT_FALSE(orphan->isEnabled());
    list->UpdateAll();
    EXPECT_FALSE(list->Enabled(orphan));
    EXPECT_TRUE(list->Enabled(plain));
}

TEST_F(CommandListTest, SuspendedListIsInertAndKeepsTheLookUntilItReturns) {
    list->SetSuspended(true);
    EXPECT_FALSE(list->Execute(plain));
    allowed = false;
    list->Update(ruled);
    EXPECT_FALSE(list->Enabled(ruled));
    EXPECT_TRUE(ruled->isEnabled()) << "only the stored flag changes while suspended";
    log.clear();
    list->SetSuspended(false);
    // Leaving the state updates every command and shows the flags.
    EXPECT_EQ(log, (std::vector<std::string>{"update ruled"}));
    EXPECT_FALSE(ruled->isEnabled());
    EXPECT_FALSE(orphan->isEnabled());
    EXPECT_TRUE(list->Execute(plain));
}

TEST_F(CommandListTest, FlagChangedAndChangedBackWhileSuspendedEndsAsStored) {
    list->SetSuspended(true);
    list->SetEnabled(plain, false);
    list->SetEnabled(plain, true);
    list->SetEnabled(orphan, false);
    { TSuspendGuard nested(*list); }
    EXPECT_TRUE(list->Suspended()) << "a guard restores the state it found";
    list->SetSuspended(false);
    EXPECT_TRUE(plain->isEnabled());
    EXPECT_FALSE(orphan->isEnabled());
}

TEST_F(CommandListTest, SuspendGuardRestoresAfterAnErrorAndReportsUpdateErrors) {
    try {
        TSuspendGuard guard(*list);
        throwInUpdate = true;
        throw Error("run failed");
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "run failed");
    }
    EXPECT_FALSE(list->Suspended());
    ASSERT_EQ(ui->Errors().size(), 1u);
    EXPECT_EQ(ui->Errors()[0], "rule broke.");
}

TEST_F(CommandListTest, MenuEntriesAndToolButtonsGoThroughExecute) {
    QMenu menu;
    QAction* entry = list->AddMenuEntry(&menu, ruled, "Ruled1");
    list->WatchMenu(&menu);
    EXPECT_EQ(entry->objectName(), "Ruled1");
    EXPECT_EQ(entry->text(), "&Ruled") << "the command's caption with its accelerator";

    allowed = false;
    emit menu.aboutToShow();
    EXPECT_FALSE(entry->isEnabled()) << "opening the menu updates its commands";
    allowed = true;
    emit menu.aboutToShow();
    ASSERT_TRUE(entry->isEnabled());
    log.clear();
    entry->trigger();
    EXPECT_EQ(log, (std::vector<std::string>{"update ruled", "ruled"}));

    QToolButton button;
    button.setDefaultAction(plain);
    log.clear();
    list->SetSuspended(true);
    QTest::mouseClick(&button, Qt::LeftButton);
    entry->trigger();
    EXPECT_TRUE(log.empty());
    list->SetSuspended(false);
    log.clear();
    QTest::mouseClick(&button, Qt::LeftButton);
    EXPECT_EQ(log, (std::vector<std::string>{"plain"}));
}

TEST_F(CommandListTest, ErrorsOfTheMenuUpdateReachTheBox) {
    QMenu menu;
    list->AddMenuEntry(&menu, ruled, "Ruled1");
    list->WatchMenu(&menu);
    throwInUpdate = true;
    emit menu.aboutToShow();
    ASSERT_EQ(ui->Errors().size(), 1u);
    EXPECT_EQ(ui->Errors()[0], "rule broke.");
}

// Runs the event loop until it has been idle a few times.
void RunIdle(int ms = 60) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

TEST_F(CommandListTest, IdleUpdatesTheWindowsCommandsAndReportsTheirErrors) {
    QWidget window;
    list->SetIdleCommands(&window, {ruled, orphan});
    RunIdle();
    EXPECT_TRUE(log.empty()) << "no idle update for a hidden window";
    EXPECT_TRUE(orphan->isEnabled());

    window.show();
    allowed = false;
    RunIdle();
    EXPECT_FALSE(ruled->isEnabled());
    EXPECT_FALSE(orphan->isEnabled());
    EXPECT_TRUE(plain->isEnabled()) << "commands outside the idle set keep their flag";

    throwInUpdate = true;
    RunIdle(30);
    throwInUpdate = false;
    ASSERT_FALSE(ui->Errors().empty());
    EXPECT_EQ(ui->Errors().front(), "rule broke.");
}

TEST_F(CommandListTest, NoIdleUpdateWhileAHandlerRuns) {
    QWidget window;
    window.show();
    list->SetIdleCommands(&window, {ruled});
    std::size_t updatesInside = 0;
    QAction* waiting = new QAction("Waiting", list);
    list->Add(waiting, [&](QObject*) {
        const std::size_t before = log.size();
        RunIdle(); // a handler that lets the loop run, as the comparison run does
        updatesInside = log.size() - before;
    });
    list->Execute(waiting);
    EXPECT_EQ(updatesInside, 0u);
    RunIdle();
    EXPECT_FALSE(log.empty());
}

TEST(SplitterRuleTest, PanelKeepsThirtyEachSideAndCollapsesAtThirty) {
    EXPECT_EQ(SplitterPanelHeight(200, 453), 200);
    EXPECT_EQ(SplitterPanelHeight(31, 453), 31);
    EXPECT_EQ(SplitterPanelHeight(30, 453), 0);
    EXPECT_EQ(SplitterPanelHeight(-5, 453), 0);
    EXPECT_EQ(SplitterPanelHeight(500, 453), 423);
}

} // namespace
} // namespace korvista
