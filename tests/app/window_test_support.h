#pragma once

// Shared by the window tests: a recording stand-in for the modal boxes, temporary SQLite databases and
// a main window bound to a temporary settings file.

#include "app/command_list.h"
#include "app/f_Main.h"
#include "app/u_Settings.h"
#include "app/ui_seam.h"
#include "common/sqlite_test_files.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <sqlite3.h>
#include <string>
#include <vector>

namespace korvista::testing {

struct RecordingUi : UiSeam {
    struct Box {
        bool error;
        QString caption;
        QString text;
    };
    std::vector<Box> boxes;
    std::vector<std::string> prompts;
    // Answers the connection dialog; the default answer is Cancel (the initial string).
    std::function<std::string(const std::string&)> answer;

    void ShowError(QWidget*, const QString& caption, const QString& text) override {
        boxes.push_back({true, caption, text});
    }
    void ShowMessage(QWidget*, const QString& caption, const QString& text) override {
        boxes.push_back({false, caption, text});
    }
    std::string PromptDataSource(QWidget*, const std::string& initial) override {
        prompts.push_back(initial);
        return answer ? answer(initial) : initial;
    }

    std::vector<QString> Errors() const {
        std::vector<QString> result;
        for (const Box& box : boxes)
            if (box.error)
                result.push_back(box.text);
        return result;
    }
    std::vector<QString> Messages() const {
        std::vector<QString> result;
        for (const Box& box : boxes)
            if (!box.error)
                result.push_back(box.text);
        return result;
    }
};

// Installs a RecordingUi for the test's lifetime.
class UiFixture : public ::testing::Test {
protected:
    void SetUp() override {
        auto seam = std::make_unique<RecordingUi>();
        ui = seam.get();
        SetUi(std::move(seam));
    }
    void TearDown() override { SetUi(nullptr); }

    RecordingUi* ui = nullptr;
};

using RowList = std::vector<QStringList>;

// One Orders table in two versions: Name wider and not null in the second, Note only in the first.
inline constexpr const char* OrdersDb1 =
    "create table Orders(Id varchar(10) not null, Name varchar(50), Note varchar(200));";
inline constexpr const char* OrdersDb2 =
    "create table Orders(ID varchar(10) not null, Name varchar(60) not null);";

inline void CreateSqlite(const std::string& path, const std::string& sql) {
    ExecuteSqlite(path, sql);
}

inline std::string SqliteString(const std::string& path) {
    return "Provider=SQLite;Data Source=" + path;
}

inline QStringList Row(const QTreeWidget* list, int index) {
    QStringList cells;
    const QTreeWidgetItem* item = list->topLevelItem(index);
    for (int c = 0; c < list->columnCount(); ++c)
        cells << item->text(c);
    return cells;
}

inline std::vector<QStringList> Rows(const QTreeWidget* list) {
    std::vector<QStringList> rows;
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        rows.push_back(Row(list, i));
    return rows;
}

// A main window on a settings file in a temporary folder, with databases made there.
class WindowFixture : public UiFixture {
protected:
    void SetUp() override {
        UiFixture::SetUp();
        ASSERT_TRUE(dir.isValid());
        window = std::make_unique<TfrmMain>(nullptr, IniPath());
    }
    void TearDown() override {
        window.reset();
        UiFixture::TearDown();
    }

    std::string Path(const std::string& name) const {
        return dir.filePath(QString::fromStdString(name)).toStdString();
    }
    std::string IniPath() const { return Path("korvista.ini"); }

    // Writes both databases and stores their connection strings.
    void MakeDatabases(const std::string& sql1, const std::string& sql2) {
        CreateSqlite(Path("db1.sqlite"), sql1);
        CreateSqlite(Path("db2.sqlite"), sql2);
        window->Settings()->SetADOStr1(SqliteString(Path("db1.sqlite")));
        window->Settings()->SetADOStr2(SqliteString(Path("db2.sqlite")));
    }
    // "Openen databases" as the toolbar would run it.
    void Open() { window->ActionList->Execute(window->actOpenDatabases); }

    QTemporaryDir dir;
    std::unique_ptr<TfrmMain> window;
};

} // namespace korvista::testing
