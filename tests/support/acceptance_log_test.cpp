// The process utilities through their public names only, the way a program linking them calls them.
#include "common/test_files.h"
#include "support/u_Utility.h"

#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace korvista;

namespace {

class UtilityAcceptance : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = korvista::testfiles::MakeScratchDir("korvista_accept_");
        saved_ = LogFolder;
    }
    void TearDown() override {
        LogFolder = saved_;
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }

    static std::string Read(const fs::path& path) { return korvista::testfiles::ReadFile(path); }
    static std::string Today() {
        const std::time_t now = std::time(nullptr);
        std::tm tm{};
        localtime_r(&now, &tm);
        char text[8];
        std::strftime(text, sizeof text, "%y%m%d", &tm);
        return text;
    }

    fs::path dir_;
    std::string saved_;
};

TEST_F(UtilityAcceptance, RotateFileComparesTheSizeWithTheLimit) {
    const fs::path log = dir_ / "KRV.log";
    // A missing file has size -1 and is never moved, not even below a limit of -1.
    TUtility::RotateFile(log.string(), -1);
    EXPECT_TRUE(fs::is_empty(dir_));

    std::ofstream(log, std::ios::binary).close();
    EXPECT_EQ(TUtility::GetFileSizeByName(log.string()), 0);
    TUtility::RotateFile(log.string(), 0);
    EXPECT_TRUE(fs::exists(log));
    TUtility::RotateFile(log.string(), -1);
    EXPECT_FALSE(fs::exists(log));
    EXPECT_TRUE(fs::exists(dir_ / (Today() + "-KRV.log")));

    // A folder is found like a file, with size 0; only a name that matches nothing gives -1.
    EXPECT_EQ(TUtility::GetFileSizeByName(dir_.string()), 0);
    EXPECT_EQ(TUtility::GetFileSizeByName(""), -1);
}

TEST_F(UtilityAcceptance, LogFmtTakesPlainLiteralsAndWriteEntryNeverRaises) {
    LogFolder = dir_.string();
    testing::internal::CaptureStderr();
    TDebug::LogFmt("%d tables in %s", {42, "db1"}, "Count");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Count - 42 tables in db1");
    const std::string log = Read(dir_ / (fs::path(TUtility::GetExeName()).filename().string() + ".log"));
    EXPECT_TRUE(log.ends_with("[Count                    ] 42 tables in db1\r\n")) << log;

    // A folder that does not exist: WriteEntry creates nothing and loses the entry quietly.
    const fs::path missing = dir_ / "missing" / "KRV.log";
    EXPECT_NO_THROW(TDebug::WriteEntry(missing.string(), "lost", "Cat"));
    EXPECT_FALSE(fs::exists(missing.parent_path()));
}

} // namespace
