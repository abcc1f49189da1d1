#include "schema/u_Database.h"
#include "support/u_Utility.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QTemporaryDir>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <memory>
#include <string>

using namespace korvista;
using ::testing::HasSubstr;
using ::testing::Not;

namespace {

// File descriptors of this process that refer to the file: an open SQLite connection holds one.
int OpenHandles(const std::string& path) {
    const std::string canonical = QFileInfo(QString::fromStdString(path)).canonicalFilePath().toStdString();
    int count = 0;
    for (const QFileInfo& fd :
         QDir("/proc/self/fd").entryInfoList(QDir::Files | QDir::System | QDir::NoDotAndDotDot)) {
        if (fd.symLinkTarget().toStdString() == canonical)
            ++count;
    }
    return count;
}

const char kEntry[] = "Error opening database using connectionstring: ";

class DatabaseTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        ASSERT_TRUE(QDir().mkpath(LogDir()));
        LogFolder = LogDir().toStdString();
        path_ = dir_.filePath("db.sqlite").toStdString();
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(path_.c_str(), &db), SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(db, "CREATE TABLE t(a);", nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(db);
    }
    void TearDown() override { LogFolder.clear(); }

    QString LogDir() const { return dir_.filePath("log"); }
    std::string Good() const { return "Provider=SQLite;Data Source=" + path_; }

    // Everything written to the log folder; the file is named after the test executable.
    std::string LogText() const {
        std::string text;
        for (const QString& name : QDir(LogDir()).entryList({"*.log"}, QDir::Files)) {
            QFile file(QDir(LogDir()).filePath(name));
            if (file.open(QIODevice::ReadOnly))
                text += file.readAll().toStdString();
        }
        return text;
    }
    int EntryCount() const {
        const std::string text = LogText();
        int count = 0;
        for (auto pos = text.find(kEntry); pos != std::string::npos; pos = text.find(kEntry, pos + 1))
            ++count;
        return count;
    }

    QTemporaryDir dir_;
    std::string path_;
};

TEST_F(DatabaseTest, NewDatabaseIsClosedAndConnectWithoutStringDoesNothing) {
    TDatabase db(nullptr);
    EXPECT_EQ(db.ConnectionString(), "");
    EXPECT_FALSE(db.ADO().Connected());
    EXPECT_FALSE(db.ADO().LoginPrompt());
    db.Connect();
    EXPECT_FALSE(db.ADO().Connected());
    EXPECT_EQ(LogText(), "");
}

TEST_F(DatabaseTest, SettingTheStringClosesOnlyOnAByteDifference) {
    TDatabase db(nullptr);
    db.SetConnectionString(Good());
    EXPECT_EQ(db.ADO().ConnectionString(), Good());
    EXPECT_FALSE(db.ADO().Connected());
    db.Connect();
    ASSERT_TRUE(db.ADO().Connected());
    ProviderSession* session = &db.ADO().Session();

    db.SetConnectionString(Good());
    EXPECT_TRUE(db.ADO().Connected());
    EXPECT_EQ(&db.ADO().Session(), session); // not reopened

    db.Connect();
    EXPECT_EQ(&db.ADO().Session(), session);

    const std::string otherCase = "provider=SQLite;Data Source=" + path_;
    db.SetConnectionString(otherCase);
    EXPECT_FALSE(db.ADO().Connected());
    EXPECT_EQ(OpenHandles(path_), 0);
    EXPECT_EQ(db.ConnectionString(), otherCase);
    EXPECT_EQ(db.ADO().ConnectionString(), otherCase);
    db.Connect();
    EXPECT_TRUE(db.ADO().Connected());

    EXPECT_EQ(OpenHandles(path_), 1);
    db.Disconnect();
    EXPECT_FALSE(db.ADO().Connected());
    EXPECT_EQ(OpenHandles(path_), 0);
    db.Disconnect();
    EXPECT_EQ(EntryCount(), 0);
}

TEST_F(DatabaseTest, FailedConnectWritesOneMaskedEntryAndRaisesNothing) {
    TDatabase db(nullptr);
    const std::string bad = "Provider=SQLite;Data Source=" + dir_.filePath("none.db").toStdString() +
                            ";User ID=ann;Password=s3cret;pwd=other";
    db.SetConnectionString(bad);
    EXPECT_NO_THROW(db.Connect());
    EXPECT_FALSE(db.ADO().Connected());
    EXPECT_FALSE(QFile::exists(dir_.filePath("none.db")));

    const std::string log = LogText();
    EXPECT_EQ(EntryCount(), 1);
    EXPECT_THAT(log, HasSubstr("User ID=ann"));
    EXPECT_THAT(log, HasSubstr("***"));
    EXPECT_THAT(log, Not(HasSubstr("s3cret")));
    EXPECT_THAT(log, Not(HasSubstr("other")));
    // The provider's own message stays out of the log, but a caller may still ask for it.
    EXPECT_THAT(log, Not(HasSubstr("unable to open")));
    EXPECT_THAT(db.LastOpenError(), HasSubstr("unable to open"));

    db.Connect();
    EXPECT_EQ(EntryCount(), 2); // every failed attempt is logged once

    db.SetConnectionString(Good());
    db.Connect();
    EXPECT_EQ(db.LastOpenError(), "") << "a successful open forgets the earlier failure";
}

TEST_F(DatabaseTest, ConnectOnAnOpenConnectionLogsNothing) {
    TDatabase db(nullptr);
    db.SetConnectionString(Good());
    db.Connect();
    db.Connect();
    EXPECT_TRUE(db.ADO().Connected());
    EXPECT_EQ(EntryCount(), 0);
}

TEST_F(DatabaseTest, OpenConnectionIsClosedWhenTheDatabaseGoes) {
    QObject owner;
    auto* db = new TDatabase(&owner);
    QPointer<TADOConnection> ado(&db->ADO());
    EXPECT_EQ(ado->parent(), db);
    db->SetConnectionString(Good());
    db->Connect();
    ASSERT_TRUE(ado->Connected());
    EXPECT_EQ(OpenHandles(path_), 1);

    delete db;
    EXPECT_TRUE(ado.isNull());
    EXPECT_EQ(OpenHandles(path_), 0);
    EXPECT_TRUE(owner.children().isEmpty());
}

} // namespace
