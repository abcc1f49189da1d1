#include "common/test_files.h"
#include "support/errors.h"
#include "support/ini_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;
using korvista::Error;
using korvista::IniFile;

namespace {

class IniFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = korvista::testfiles::MakeScratchDir("korvista_ini_");
        path_ = (dir_ / "KRV.ini").string();
    }
    void TearDown() override { korvista::testfiles::RemoveScratchDir(dir_); }

    void Write(const std::string& content) { korvista::testfiles::WriteFile(path_, content); }
    std::string Read() const { return korvista::testfiles::ReadFile(path_); }

    fs::path dir_;
    std::string path_;
};

TEST_F(IniFileTest, ReplacingAValueLeavesEveryOtherByte) {
    const std::string before = "; kept as it is\n"
                               "[General]\n"
                               "LastFolder = /home/x  \n"
                               "\n"
                               "  [db1]  \r\n"
                               "Other=1\r\n"
                               "connectionstring = old;value=1\n"
                               "Tail=2";
    Write(before);
    IniFile(path_).WriteString("DB1", "ConnectionString", "new");
    EXPECT_EQ(Read(), "; kept as it is\n"
                      "[General]\n"
                      "LastFolder = /home/x  \n"
                      "\n"
                      "  [db1]  \r\n"
                      "Other=1\r\n"
                      "connectionstring=new\r\n"
                      "Tail=2");
}

TEST_F(IniFileTest, MissingEntriesAndSectionsAreAdded) {
    Write("[DB1]\r\nOther=1\r\n\r\n[DB2]\r\nX=2");
    IniFile file(path_);
    file.WriteString("DB1", "ConnectionString", "a");
    EXPECT_EQ(Read(), "[DB1]\r\nOther=1\r\nConnectionString=a\r\n\r\n[DB2]\r\nX=2");
    file.WriteString("DB2", "ConnectionString", "b");
    EXPECT_EQ(Read(), "[DB1]\r\nOther=1\r\nConnectionString=a\r\n\r\n[DB2]\r\nX=2\r\nConnectionString=b\r\n");
    file.WriteString("General", "LastFolder", "c");
    EXPECT_EQ(Read(), "[DB1]\r\nOther=1\r\nConnectionString=a\r\n\r\n[DB2]\r\nX=2\r\nConnectionString=b\r\n"
                      "[General]\r\nLastFolder=c\r\n");

    // A last line ended by a lone CR gets its LF, so the new line does not join it.
    Write("[DB1]\r\nOther=1\r");
    file.WriteString("DB1", "ConnectionString", "a");
    file.WriteString("DB2", "ConnectionString", "b");
    EXPECT_EQ(Read(), "[DB1]\r\nOther=1\r\nConnectionString=a\r\n[DB2]\r\nConnectionString=b\r\n");
    Write("[DB1]\r\nOther=1\r");
    file.WriteString("DB2", "ConnectionString", "b");
    EXPECT_EQ(file.ReadString("DB2", "ConnectionString"), "b");
    EXPECT_EQ(file.ReadString("DB1", "Other"), "1");

    // A bare section line takes the entry right under it.
    Write("[DB1]\n[DB2]\nA=1\n");
    file.WriteString("db1", "ConnectionString", "v");
    EXPECT_EQ(Read(), "[DB1]\nConnectionString=v\r\n[DB2]\nA=1\n");
}

TEST_F(IniFileTest, ReadingFollowsTheFormRules) {
    Write("[S]\r\n"
          "Plain=  padded value \t\r\n"
          "Double=\"quoted\"\r\n"
          "Single='quoted'\r\n"
          "Mixed=\"quoted'\r\n"
          "Lone=\"\r\n"
          "Full=Provider=X;Data Source=a=b;\r\n"
          " Spaced Key =v\r\n"
          ";Comment=no\r\n"
          "NoEquals\r\n"
          "Long=" +
          std::string(3000, 'z') +
          "\r\n"
          "[Empty]\r\n"
          "[S]\r\n"
          "Later=second section of the same name\r\n");
    const IniFile file(path_);
    EXPECT_EQ(file.ReadString("S", "Plain"), "padded value");
    EXPECT_EQ(file.ReadString("S", "Double"), "quoted");
    EXPECT_EQ(file.ReadString("S", "Single"), "quoted");
    EXPECT_EQ(file.ReadString("S", "Mixed"), "\"quoted'");
    EXPECT_EQ(file.ReadString("S", "Lone"), "\"");
    EXPECT_EQ(file.ReadString("s", "FULL"), "Provider=X;Data Source=a=b;");
    EXPECT_EQ(file.ReadString("S", "Spaced Key"), "v");
    EXPECT_EQ(file.ReadString("S", "Long"), std::string(2047, 'z'));
    EXPECT_EQ(file.ReadString("S", ";Comment", "dflt"), "dflt");
    EXPECT_EQ(file.ReadString("S", "Missing", "dflt"), "dflt");
    EXPECT_EQ(file.ReadString("Nope", "Plain", "dflt"), "dflt");
    EXPECT_EQ(file.ReadString("S", "Later", "dflt"), "dflt");

    EXPECT_EQ(file.ReadSectionKeys("S"), (std::vector<std::string>{"Plain", "Double", "Single", "Mixed",
                                                                   "Lone", "Full", "Spaced Key", "Long"}));
    EXPECT_TRUE(file.ReadSectionKeys("Empty").empty());
    EXPECT_TRUE(file.ReadSectionKeys("Nope").empty());
}

TEST_F(IniFileTest, OnlyASectionWithEntryLinesIsPresent) {
    Write("[DB1]\r\n"
          "; ConnectionString=commented out\r\n"
          "\r\n"
          "[DB2]\r\n"
          "ConnectionString = \"two\"\r\n"
          "[db3]\r\n"
          "Other=x\r\n"
          "[DB1]\r\n"
          "ConnectionString=in a later namesake\r\n");
    // The first [DB1] has no entry line: it is absent, and its later namesake is not read.
    struct Read {
        const char* section;
        const char* key;
        const char* value;
    };
    for (const Read& read : {Read{"DB1", "ConnectionString", ""}, Read{"db2", "connectionstring", "two"},
                             Read{"DB3", "ConnectionString", ""}, Read{"DB3", "Other", "x"},
                             Read{"Missing", "ConnectionString", ""}})
        EXPECT_EQ(IniFile(path_).ReadPresentString(read.section, read.key), read.value)
            << read.section << "/" << read.key;
    EXPECT_EQ(IniFile((dir_ / "absent.ini").string()).ReadPresentString("DB2", "ConnectionString"), "");
}

TEST_F(IniFileTest, ByteOrderMarkIsSkippedWhenReadingAndKeptWhenWriting) {
    const std::string bom = "\xEF\xBB\xBF";
    Write(bom + "[DB1]\r\nConnectionString=one\r\n");
    IniFile file(path_);
    EXPECT_EQ(file.ReadSectionKeys("DB1"), std::vector<std::string>{"ConnectionString"});
    EXPECT_EQ(file.ReadString("DB1", "ConnectionString"), "one");
    file.WriteString("DB1", "ConnectionString", "two");
    file.WriteString("DB2", "ConnectionString", "three");
    EXPECT_EQ(Read(), bom + "[DB1]\r\nConnectionString=two\r\n[DB2]\r\nConnectionString=three\r\n");

    // A file holding the mark alone gets its first section right after it.
    Write(bom);
    file.WriteString("DB1", "ConnectionString", "v");
    EXPECT_EQ(Read(), bom + "[DB1]\r\nConnectionString=v\r\n");
}

TEST_F(IniFileTest, LinesMayEndInALoneCarriageReturn) {
    Write("[DB1]\rConnectionString=one\rOther=1\r[DB2]\rConnectionString=two\r");
    IniFile file(path_);
    EXPECT_EQ(file.ReadString("DB1", "ConnectionString"), "one");
    EXPECT_EQ(file.ReadString("DB2", "ConnectionString"), "two");
    EXPECT_EQ(file.ReadSectionKeys("DB1"), (std::vector<std::string>{"ConnectionString", "Other"}));
    file.WriteString("DB1", "ConnectionString", "new");
    EXPECT_EQ(Read(), "[DB1]\rConnectionString=new\r\nOther=1\r[DB2]\rConnectionString=two\r");
    file.WriteString("DB2", "Extra", "x");
    EXPECT_EQ(file.ReadString("DB2", "ConnectionString"), "two");
    EXPECT_EQ(file.ReadString("DB2", "Extra"), "x");
}

TEST_F(IniFileTest, AFifoAtThePathIsNeitherWaitedForNorWritten) {
    korvista::testfiles::MakeFifo(path_);
    EXPECT_TRUE(korvista::testfiles::FinishesWithin(5, [&] {
        if (IniFile(path_).ReadString("DB1", "ConnectionString", "dflt") != "dflt")
            ::_exit(1);
    }));
    EXPECT_TRUE(korvista::testfiles::FinishesWithin(5, [&] {
        try {
            IniFile(path_).WriteString("DB1", "ConnectionString", "v");
        } catch (const Error& error) {
            ::_exit(std::string(error.what()) == "Unable to write to " + path_ ? 0 : 1);
        }
        ::_exit(1);
    }));
    EXPECT_TRUE(fs::is_fifo(path_));
}

TEST_F(IniFileTest, ASymlinkedFileIsReadAndWrittenThroughTheLink) {
    const fs::path real = dir_ / "dotfiles" / "korvista.ini";
    fs::create_directory(real.parent_path());
    korvista::testfiles::WriteFile(real, "[DB1]\r\nConnectionString=one\r\n");
    fs::create_symlink(real, path_);
    IniFile file(path_);
    EXPECT_EQ(file.ReadString("DB1", "ConnectionString"), "one");
    file.WriteString("DB1", "ConnectionString", "two");
    EXPECT_TRUE(fs::is_symlink(path_));
    EXPECT_EQ(korvista::testfiles::ReadFile(real), "[DB1]\r\nConnectionString=two\r\n");
}

TEST_F(IniFileTest, EveryReadSeesTheFileAsItIsNow) {
    IniFile first(path_);
    IniFile second(path_);
    EXPECT_EQ(first.ReadString("DB1", "ConnectionString"), "");
    EXPECT_FALSE(fs::exists(path_));

    first.WriteString("DB1", "ConnectionString", "one");
    second.WriteString("DB2", "ConnectionString", "two");
    EXPECT_EQ(first.ReadString("DB2", "ConnectionString"), "two");
    EXPECT_EQ(second.ReadString("DB1", "ConnectionString"), "one");

    Write("[DB1]\r\nConnectionString=edited elsewhere\r\n");
    EXPECT_EQ(first.ReadString("DB1", "ConnectionString"), "edited elsewhere");
    fs::remove(path_);
    EXPECT_EQ(first.ReadString("DB1", "ConnectionString", "gone"), "gone");
}

TEST_F(IniFileTest, NewFileIsPrivateAndAnExistingOneKeepsItsMode) {
    IniFile(path_).WriteString("DB1", "ConnectionString", "Password=secret");
    EXPECT_EQ(fs::status(path_).permissions(), fs::perms::owner_read | fs::perms::owner_write);

    fs::permissions(path_, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                               fs::perms::others_read);
    struct stat before {};
    ASSERT_EQ(::stat(path_.c_str(), &before), 0);
    IniFile(path_).WriteString("DB1", "ConnectionString", "x");
    EXPECT_EQ(fs::status(path_).permissions(), fs::perms::owner_read | fs::perms::owner_write |
                                                   fs::perms::group_read | fs::perms::others_read);
    struct stat after {};
    ::stat(path_.c_str(), &after);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(Read(), "[DB1]\r\nConnectionString=x\r\n");
}

TEST_F(IniFileTest, FailedWritesRaiseAndKeepTheOldContent) {
    const auto expectFailure = [](const std::string& path) {
        try {
            IniFile(path).WriteString("DB1", "ConnectionString", "v");
            ADD_FAILURE() << "no error for " << path;
        } catch (const Error& error) {
            EXPECT_EQ(std::string(error.what()), "Unable to write to " + path);
        }
    };
    fs::create_directory(path_);
    expectFailure(path_);
    EXPECT_TRUE(fs::is_empty(path_));
    EXPECT_EQ(IniFile(path_).ReadString("DB1", "ConnectionString", "unread"), "unread");
    fs::remove(path_);

    expectFailure((dir_ / "missing" / "KRV.ini").string());
    expectFailure("/proc/korvista_settings_test.ini");
    EXPECT_FALSE(fs::exists("/proc/korvista_settings_test.ini"));

    // A line break in the value would end the entry early and could add lines of its own.
    Write("[DB1]\r\nConnectionString=old\r\n");
    EXPECT_THROW(IniFile(path_).WriteString("DB1", "ConnectionString", "a\r\n[DB2]\r\nConnectionString=b"),
                 Error);
    EXPECT_THROW(IniFile(path_).WriteString("DB1", "ConnectionString", "a\nb"), Error);
    EXPECT_EQ(Read(), "[DB1]\r\nConnectionString=old\r\n");

    // Read-only also when a super-user runs the tool.
    fs::permissions(path_, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    expectFailure(path_);
    EXPECT_EQ(Read(), "[DB1]\r\nConnectionString=old\r\n");
    fs::permissions(path_, fs::perms::owner_read | fs::perms::owner_write);

    if (::geteuid() != 0) {
        fs::permissions(dir_, fs::perms::owner_read | fs::perms::owner_exec);
        expectFailure((dir_ / "new.ini").string());
    }
}

} // namespace
