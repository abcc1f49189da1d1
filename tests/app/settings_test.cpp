#include "app/u_Settings.h"
#include "common/test_files.h"
#include "support/errors.h"
#include "support/u_Utility.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

namespace fs = std::filesystem;
using korvista::Error;
using korvista::TSettings;

namespace {

class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = korvista::testfiles::MakeScratchDir("korvista_settings_");
        path_ = (dir_ / "KRV.ini").string();
        settings_ = std::make_unique<TSettings>(nullptr, path_);
    }
    void TearDown() override {
        settings_.reset();
        korvista::testfiles::RemoveScratchDir(dir_);
    }

    void Write(const std::string& content) { korvista::testfiles::WriteFile(path_, content); }
    std::string Read() const { return korvista::testfiles::ReadFile(path_); }

    fs::path dir_;
    std::string path_;
    std::unique_ptr<TSettings> settings_;
};

TEST(SettingsFile, LiesBesideTheExecutableWithItsName) {
    EXPECT_EQ(TSettings::SettingsFileName("C:\\Tools\\KRV.exe"), "C:\\Tools\\KRV.ini");
    EXPECT_EQ(TSettings::SettingsFileName("C:\\Tools\\krv.old.exe"), "C:\\Tools\\krv.old.ini");
    EXPECT_EQ(TSettings::SettingsFileName("/opt/krv.d/korvista"), "/opt/krv.d/korvista.ini");

    QObject owner;
    auto* settings = new TSettings(&owner);
    EXPECT_EQ(settings->FileName(), korvista::TUtility::GetExeName() + ".ini");
    EXPECT_EQ(settings->parent(), &owner);
}

TEST_F(SettingsTest, FirstStartReadsEmptyAndCreatesNothing) {
    EXPECT_EQ(settings_->ADOStr1(), "");
    EXPECT_EQ(settings_->ADOStr2(), "");
    EXPECT_EQ(settings_->LastFolder(), "");
    settings_.reset();
    EXPECT_FALSE(fs::exists(path_));
}

TEST_F(SettingsTest, StoresGoToTheFileInTheOrderFirstChosen) {
    const std::string second = "Provider=SQLOLEDB.1;Password=p=q;User ID=sa;Initial Catalog=B;";
    settings_->SetADOStr2(second);
    EXPECT_EQ(Read(), "[DB2]\r\nConnectionString=" + second + "\r\n");
    settings_->SetADOStr1("Data Source=a.db;");
    settings_->SetADOStr2("Data Source=b.db;");
    EXPECT_EQ(Read(), "[DB2]\r\nConnectionString=Data Source=b.db;\r\n"
                      "[DB1]\r\nConnectionString=Data Source=a.db;\r\n");
    EXPECT_EQ(settings_->ADOStr1(), "Data Source=a.db;");
    EXPECT_EQ(settings_->ADOStr2(), "Data Source=b.db;");
    EXPECT_EQ(settings_->LastFolder(), "");

    // Several "=" and ";" stay on one line and read back unchanged.
    settings_->SetADOStr1(second);
    EXPECT_EQ(settings_->ADOStr1(), second);

    settings_->SetLastFolder("/home/user");
    EXPECT_EQ(settings_->LastFolder(), "/home/user");
    EXPECT_NE(Read().find("[General]\r\nLastFolder=/home/user\r\n"), std::string::npos);
}

TEST_F(SettingsTest, ValuesAreStoredAsGivenAndReadTrimmedAndUnquoted) {
    settings_->SetADOStr1("  spaced  ");
    EXPECT_EQ(Read(), "[DB1]\r\nConnectionString=  spaced  \r\n");
    EXPECT_EQ(settings_->ADOStr1(), "spaced");

    settings_->SetADOStr1("\"Data Source=x\"");
    EXPECT_EQ(settings_->ADOStr1(), "Data Source=x");

    settings_->SetADOStr1(std::string(3000, 'c'));
    EXPECT_EQ(settings_->ADOStr1(), std::string(2047, 'c'));
}

TEST_F(SettingsTest, SectionsAndKeysAsTheFileSpellsThem) {
    Write("[db1]\r\nconnectionstring=lower\r\n[DB2]\r\nCONNECTIONSTRING=upper\r\n");
    EXPECT_EQ(settings_->ADOStr1(), "lower");
    EXPECT_EQ(settings_->ADOStr2(), "upper");

    // A section line with nothing under it counts as absent, even when the key follows elsewhere.
    Write("[DB1]\r\n[DB2]\r\nConnectionString=two\r\n");
    EXPECT_EQ(settings_->ADOStr1(), "");
    EXPECT_EQ(settings_->ADOStr2(), "two");

    // Written back under the spelling found in the file.
    Write("[db1]\r\nconnectionstring=lower\r\n");
    settings_->SetADOStr1("new");
    EXPECT_EQ(Read(), "[db1]\r\nconnectionstring=new\r\n");
}

TEST_F(SettingsTest, AnotherWriterIsSeenByTheNextRead) {
    TSettings other(nullptr, path_);
    settings_->SetADOStr1("mine");
    other.SetADOStr2("theirs");
    EXPECT_EQ(settings_->ADOStr2(), "theirs");
    other.SetADOStr1("last write wins");
    EXPECT_EQ(settings_->ADOStr1(), "last write wins");

    Write("[DB1]\r\nConnectionString=by hand\r\n");
    EXPECT_EQ(settings_->ADOStr1(), "by hand");
    EXPECT_EQ(settings_->ADOStr2(), "");
}

TEST_F(SettingsTest, UnwritableFileRaisesAndKeepsItsContent) {
    fs::create_directory(path_);
    try {
        settings_->SetADOStr1("x");
        ADD_FAILURE() << "a folder in the file's place was written to";
    } catch (const Error& error) {
        EXPECT_EQ(std::string(error.what()), "Unable to write to " + path_);
    }
    // Unreadable reads as empty, silently.
    EXPECT_EQ(settings_->ADOStr1(), "");
    fs::remove(path_);

    TSettings elsewhere(nullptr, "/proc/korvista_settings_test.ini");
    EXPECT_THROW(elsewhere.SetADOStr2("x"), Error);
    EXPECT_EQ(elsewhere.ADOStr2(), "");

    // A read-only file, also when a super-user runs the tool.
    Write("[DB1]\r\nConnectionString=old\r\n");
    fs::permissions(path_, fs::perms::owner_read);
    try {
        settings_->SetADOStr1("new");
        ADD_FAILURE() << "a read-only file was written to";
    } catch (const Error& error) {
        EXPECT_EQ(std::string(error.what()), "Unable to write to " + path_);
    }
    EXPECT_EQ(Read(), "[DB1]\r\nConnectionString=old\r\n");
    EXPECT_EQ(settings_->ADOStr1(), "old");
}

TEST_F(SettingsTest, NewFileIsForItsOwnerOnly) {
    settings_->SetADOStr1("Password=secret");
    EXPECT_EQ(fs::status(path_).permissions(), fs::perms::owner_read | fs::perms::owner_write);
    settings_.reset();
    EXPECT_EQ(Read(), "[DB1]\r\nConnectionString=Password=secret\r\n");
}

} // namespace
