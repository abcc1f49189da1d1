#include "common/test_files.h"
#include "support/errors.h"
#include "support/log_format.h"
#include "support/u_Utility.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace korvista;
using namespace korvista::logtext;

namespace {

using korvista::testfiles::ReadFile;
using korvista::testfiles::WriteFile;

std::tm Jan31() {
    std::tm time{};
    time.tm_year = 125;
    time.tm_mon = 0;
    time.tm_mday = 31;
    time.tm_hour = 14;
    time.tm_min = 5;
    time.tm_sec = 9;
    return time;
}

EntryContext FixedContext() {
    EntryContext context;
    context.time = Jan31();
    context.instance = 4194304;
    context.thread = 2184;
    context.machine = "KRVHOST";
    context.exeFileName = "KRV.exe";
    context.fileVersion = "1.0.1.32";
    return context;
}

const std::string kHeader =
    "Log for \"KRV.exe\" v1.0.1.32 started @ 31/01/25 14:05:09\r\n" + std::string(120, '-') + "\r\n";

std::string Prefix(const std::string& category = "Cat") {
    return "31/01/25 14:05:09 [94304:02184] [KRVHOST        ]  [" + PadRight(category, 25) + "] ";
}

class LogFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = korvista::testfiles::MakeScratchDir("korvista_log_");
        log_ = dir_ / "KRV.log";
    }
    void TearDown() override { korvista::testfiles::RemoveScratchDir(dir_); }

    // The file's entry lines after the header.
    std::string Entry(const std::string& message, const std::string& category = "Cat") {
        fs::remove(log_);
        WriteEntryWith(log_.string(), message, category, FixedContext());
        const std::string content = ReadFile(log_);
        EXPECT_EQ(content.substr(0, kHeader.size()), kHeader);
        return content.substr(std::min(content.size(), kHeader.size()));
    }

    fs::path dir_;
    fs::path log_;
};

TEST(LogPrefix, HasTheFixedColumns) {
    const std::string prefix = BuildEntryPrefix("31/01/25 14:05:09", 4194304, 2184, "KRVHOST", "Database");
    EXPECT_EQ(prefix, "31/01/25 14:05:09 [94304:02184] [KRVHOST        ]  [Database                 ] ");
    EXPECT_EQ(prefix.size(), 79u);
}

TEST(LogPrefix, PadsAndCutsItsFields) {
    EXPECT_EQ(ZeroPad(2184, 5), "02184");
    EXPECT_EQ(ZeroPad(1234567, 5), "34567");
    EXPECT_EQ(ZeroPad(0, 5), "00000");
    EXPECT_EQ(ZeroPad(-12, 5), "00-12");

    // An empty category and an empty computer name leave blank fields of full width.
    EXPECT_EQ(BuildEntryPrefix("31/01/25 14:05:09", 1, 2, "", ""), "31/01/25 14:05:09 [00001:00002] [" +
                                                                       std::string(15, ' ') + "]  [" +
                                                                       std::string(25, ' ') + "] ");
    // First 25 characters, then trimmed: the leading blanks go and the field stays 25 wide.
    EXPECT_EQ(PadRight("  Category that is far too long", 25), "Category that is far to  ");
    EXPECT_EQ(PadRight("   Left", 25), "Left" + std::string(21, ' '));
    EXPECT_EQ(BuildEntryPrefix("t", 1, 123456789, "a-very-long-computer-name", "c"),
              "t [00001:56789] [a-very-long-com]  [c                        ] ");
}

TEST(LogTimestamp, UsesTheGivenSeparators) {
    EXPECT_EQ(FormatTimestamp(Jan31(), {"/", ":"}), "31/01/25 14:05:09");
    EXPECT_EQ(FormatTimestamp(Jan31(), {"-", ":"}), "31-01-25 14:05:09");
    EXPECT_EQ(FormatTimestamp(Jan31(), {"", ""}), "310125 140509");
    std::tm early{};
    early.tm_year = 100;
    early.tm_mon = 8;
    early.tm_mday = 2;
    EXPECT_EQ(FormatTimestamp(early, {"/", ":"}), "02/09/00 00:00:00");
}

TEST(LogTimestamp, SeparatorsComeFromTheLocaleFormats) {
    EXPECT_EQ(SeparatorOf("%d-%m-%y", "/"), "-");
    EXPECT_EQ(SeparatorOf("%m/%d/%Y", "?"), "/");
    EXPECT_EQ(SeparatorOf("%d.%m.%Y", "/"), ".");
    EXPECT_EQ(SeparatorOf("%H:%M:%S", "?"), ":");
    EXPECT_EQ(SeparatorOf("%-d-%Om-%Ey", "/"), "-");
    EXPECT_EQ(SeparatorOf("%d%m%y", "/"), "");
    EXPECT_EQ(SeparatorOf("%D", "/"), "/");
    EXPECT_EQ(SeparatorOf("%Y\xE5\xB9\xB4%m", "/"), "/");
}

// The time stamp as a process with that locale environment writes it. A child keeps the environment of
// this one clean, and takes along what the C library keeps of a locale loaded from LOCPATH.
std::string TimestampUnder(const char* locpath, const char* locale) {
    int channel[2];
    if (::pipe(channel) != 0)
        return "no pipe";
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(channel[0]);
        if (locpath)
            setenv("LOCPATH", locpath, 1);
        setenv("LC_ALL", locale, 1);
        const std::string stamp = FormatTimestamp(Jan31(), LocaleSeparators());
        const bool sent = ::write(channel[1], stamp.data(), stamp.size()) == ssize_t(stamp.size());
        ::_exit(sent ? 0 : 1);
    }
    ::close(channel[1]);
    std::string stamp;
    char buffer[64];
    for (ssize_t count; (count = ::read(channel[0], buffer, sizeof buffer)) > 0;)
        stamp.append(buffer, size_t(count));
    ::close(channel[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    return stamp;
}

TEST(LogTimestamp, FollowsTheUserLocale) {
    EXPECT_EQ(TimestampUnder(nullptr, "C"), "31/01/25 14:05:09");
    EXPECT_EQ(TimestampUnder(nullptr, "POSIX"), "31/01/25 14:05:09");

    char pattern[] = "/tmp/korvista_locale_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::string command =
        std::string("localedef -i nl_NL -f UTF-8 ") + pattern + "/nl_NL.UTF-8 >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0) {
        fs::remove_all(pattern);
        GTEST_SKIP() << "no Dutch locale source to build from";
    }
    const std::string dutch = TimestampUnder(pattern, "nl_NL.UTF-8");
    fs::remove_all(pattern);
    EXPECT_EQ(dutch, "31-01-25 14:05:09");
}

TEST_F(LogFileTest, NewFileGetsTheHeaderThenTheEntry) {
    WriteEntryWith(log_.string(), "Hello", "Cat", FixedContext());
    EXPECT_EQ(ReadFile(log_), kHeader + Prefix() + "Hello\r\n");

    // An existing file is appended to, without a second header.
    WriteEntryWith(log_.string(), "Again", "", FixedContext());
    EXPECT_EQ(ReadFile(log_), kHeader + Prefix() + "Hello\r\n" + Prefix("") + "Again\r\n");
}

TEST_F(LogFileTest, BlankMessagesAndBangMessages) {
    EXPECT_EQ(Entry(""), Prefix() + "\r\n");
    EXPECT_EQ(Entry(" \t\r\n "), Prefix() + "\r\n");
    EXPECT_EQ(Entry("!"), Prefix() + "\r\n");
    // Neither trimmed nor wrapped; its line breaks go out as they stand.
    EXPECT_EQ(Entry("! raw  text\r\nnext\n"), Prefix() + " raw  text\r\nnext\n\r\n");
    const std::string longRaw = "!" + std::string(150, 'x') + " " + std::string(150, 'y');
    EXPECT_EQ(Entry(longRaw), Prefix() + longRaw.substr(1) + "\r\n");
    // A blank before the "!" makes it an ordinary message.
    EXPECT_EQ(Entry(" !x "), Prefix() + "!x\r\n");
}

TEST_F(LogFileTest, LineBreaksInTheMessage) {
    EXPECT_EQ(Entry("first\r\nsecond"),
              Prefix() + "first\r\n" + Prefix() + ". \r\n" + Prefix() + ". second\r\n");
    EXPECT_EQ(Entry("first\nsecond"), Prefix() + "first\r\n" + Prefix() + ". second\r\n");
    EXPECT_EQ(Entry("first\rsecond"), Prefix() + "first\r\n" + Prefix() + ". second\r\n");
    // A final line break adds no line.
    EXPECT_EQ(Entry("first\r\n"), Prefix() + "first\r\n");
    EXPECT_EQ(Entry("first\n"), Prefix() + "first\r\n");
}

TEST_F(LogFileTest, LongTextIsWrappedAtBreaksOnly) {
    const std::string word(300, 'w');
    const std::string one = Entry(word);
    EXPECT_EQ(one, Prefix() + word + "\r\n");
    EXPECT_EQ(one.size(), 379u + 2u);

    // 239 characters fit a first piece; it breaks after the last blank before them.
    const std::string a(230, 'a'), b(20, 'b');
    EXPECT_EQ(Entry(a + " " + b + " c"), Prefix() + a + "\r\n" + Prefix() + ". " + b + " c\r\n");
    // The 239th character decides: a first line holds at most 318 characters.
    const std::string edge = std::string(237, 'a') + " x y";
    EXPECT_EQ(Entry(edge), Prefix() + std::string(237, 'a') + "\r\n" + Prefix() + ". x y\r\n");
    EXPECT_EQ(Entry(std::string(236, 'a') + " x y"),
              Prefix() + std::string(236, 'a') + " x\r\n" + Prefix() + ". y\r\n");
    // Without a break inside the first 239 characters the piece runs on to the next one.
    const std::string longWord(250, 'a');
    EXPECT_EQ(Entry(longWord + " x"), Prefix() + longWord + "\r\n" + Prefix() + ". x\r\n");
    // Commas and full stops break too, and stay at the end of their line.
    EXPECT_EQ(Entry(a + "," + b + "." + std::string(10, 'c')),
              Prefix() + a + ",\r\n" + Prefix() + ". " + b + "." + std::string(10, 'c') + "\r\n");
    // Only break characters after the break: they join the line and are trimmed away.
    EXPECT_EQ(Entry(std::string(240, 'a') + " ,"), Prefix() + std::string(240, 'a') + " ,\r\n");
    // The piece is full at the 239th character; only a full stop follows that one, so the rest of the
    // word joins the line instead of starting a continuation line.
    const std::string tail = std::string(230, 'a') + " " + std::string(8, 'b') + ".";
    EXPECT_EQ(Entry(tail), Prefix() + tail + "\r\n");
    EXPECT_EQ(Entry(tail + " ,. "), Prefix() + tail + " ,.\r\n");
    // One more letter after the 239th character and the tail goes to its own line.
    EXPECT_EQ(Entry(std::string(230, 'a') + " " + std::string(9, 'b') + "."),
              Prefix() + std::string(230, 'a') + "\r\n" + Prefix() + ". " + std::string(9, 'b') + ".\r\n");
    // After a line break of the message the same holds: nothing but break characters adds no line.
    EXPECT_EQ(Entry("first\r\n ."), Prefix() + "first\r\n" + Prefix() + ". .\r\n");
}

TEST_F(LogFileTest, QuotedTextIsNeverSplit) {
    std::string quoted;
    for (int i = 0; i < 100; ++i)
        quoted += "xx ";
    quoted.pop_back();
    EXPECT_EQ(Entry("say \"" + quoted + "\" end"),
              Prefix() + "say\r\n" + Prefix() + ". \"" + quoted + "\"\r\n" + Prefix() + ". end\r\n");
    EXPECT_EQ(Entry("say '" + quoted + "' end"),
              Prefix() + "say\r\n" + Prefix() + ". '" + quoted + "'\r\n" + Prefix() + ". end\r\n");

    // An apostrophe never closed keeps everything after it in one piece; its own line break still
    // splits the text, but adds no empty line as it would outside quotes.
    const std::string open = "The database's table " + quoted;
    EXPECT_EQ(Entry(open + "\r\nlast"), Prefix() + open + "\r\n" + Prefix() + ". last\r\n");
    const std::string closed = "The databases table " + quoted;
    EXPECT_NE(Entry(closed), Prefix() + closed + "\r\n");
}

TEST_F(LogFileTest, GrownFileIsRotatedBeforeTheEntry) {
    const fs::path rotated = dir_ / "250131-KRV.log";
    WriteFile(log_, "");
    ASSERT_EQ(::truncate(log_.c_str(), kRotateSize), 0);
    WriteEntryWith(log_.string(), "at the limit", "Cat", FixedContext());
    EXPECT_FALSE(fs::exists(rotated));
    EXPECT_EQ(fs::file_size(log_), std::uintmax_t(kRotateSize) + Prefix().size() + 14);

    ASSERT_EQ(::truncate(log_.c_str(), kRotateSize + 1), 0);
    WriteEntryWith(log_.string(), "past the limit", "Cat", FixedContext());
    ASSERT_TRUE(fs::exists(rotated));
    EXPECT_EQ(fs::file_size(rotated), std::uintmax_t(kRotateSize) + 1);
    EXPECT_EQ(ReadFile(log_), kHeader + Prefix() + "past the limit\r\n");
}

TEST_F(LogFileTest, RotationOntoAnExistingNameKeepsBothFiles) {
    const fs::path rotated = dir_ / "250131-KRV.log";
    WriteFile(rotated, "earlier today");
    WriteFile(log_, "");
    ASSERT_EQ(::truncate(log_.c_str(), kRotateSize + 1), 0);
    WriteEntryWith(log_.string(), "grows on", "Cat", FixedContext());
    EXPECT_EQ(ReadFile(rotated), "earlier today");
    EXPECT_EQ(fs::file_size(log_), std::uintmax_t(kRotateSize) + 1 + Prefix().size() + 10);
}

TEST_F(LogFileTest, RotatedNameKeepsFolderAndExtension) {
    EXPECT_EQ(RotatedFileName("/var/log/KRV.log", Jan31()), "/var/log/250131-KRV.log");
    EXPECT_EQ(RotatedFileName("C:\\Tools\\KRV.log", Jan31()), "C:\\Tools\\250131-KRV.log");
    EXPECT_EQ(RotatedFileName("krv.old.log", Jan31()), "250131-krv.old.log");
}

TEST_F(LogFileTest, RotateFileUsesTodayAndLeavesSmallFilesAlone) {
    WriteFile(log_, "12345");
    TUtility::RotateFile(log_.string(), 5);
    EXPECT_TRUE(fs::exists(log_));
    TUtility::RotateFile(log_.string(), 4);
    EXPECT_FALSE(fs::exists(log_));
    const std::time_t now = std::time(nullptr);
    std::tm today{};
    localtime_r(&now, &today);
    EXPECT_EQ(ReadFile(RotatedFileName(log_.string(), today)), "12345");
}

TEST_F(LogFileTest, UnwritableTargetsLoseTheEntryQuietly) {
    // A folder where the file should be.
    fs::create_directory(log_);
    EXPECT_NO_THROW(WriteEntryWith(log_.string(), "lost", "Cat", FixedContext()));
    EXPECT_TRUE(fs::is_directory(log_));
    EXPECT_TRUE(fs::is_empty(log_));

    // A file marked read-only for everyone, also when a super-user runs the tool.
    fs::remove(log_);
    WriteFile(log_, "kept\r\n");
    fs::permissions(log_, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    EXPECT_NO_THROW(WriteEntryWith(log_.string(), "lost", "Cat", FixedContext()));
    EXPECT_EQ(ReadFile(log_), "kept\r\n");

    // A folder that cannot be created because a file stands in its way.
    WriteFile(dir_ / "file", "x");
    const std::string saved = LogFolder;
    LogFolder = (dir_ / "file" / "sub").string();
    testing::internal::CaptureStderr();
    EXPECT_NO_THROW(TDebug::Log("lost too", "Cat"));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Cat - lost too");
    EXPECT_EQ(ReadFile(dir_ / "file"), "x");

    if (::geteuid() != 0) {
        const fs::path locked = dir_ / "locked";
        fs::create_directory(locked);
        fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_exec);
        LogFolder = locked.string();
        testing::internal::CaptureStderr();
        EXPECT_NO_THROW(TDebug::Log("lost as well", "Cat"));
        testing::internal::GetCapturedStderr();
        EXPECT_TRUE(fs::is_empty(locked));
    }
    LogFolder = saved;
}

TEST_F(LogFileTest, OnlyARegularFileAtTheLogsNameTakesTheEntry) {
    const fs::path target = dir_ / "elsewhere.txt";
    const fs::path fifo = dir_ / "fifo";
    korvista::testfiles::MakeFifo(fifo);
    struct Planted {
        const char* what;
        std::function<void()> plant;
    };
    const std::vector<Planted> cases = {
        {"a FIFO", [&] { korvista::testfiles::MakeFifo(log_); }},
        {"a symlink to a file", [&] { fs::create_symlink(target, log_); }},
        {"a symlink to nothing", [&] { fs::create_symlink(dir_ / "absent.txt", log_); }},
        {"a symlink to a FIFO", [&] { fs::create_symlink(fifo, log_); }},
    };
    for (const Planted& planted : cases) {
        SCOPED_TRACE(planted.what);
        fs::remove(log_);
        WriteFile(target, "not a log\n");
        planted.plant();
        const fs::file_type before = fs::symlink_status(log_).type();
        EXPECT_TRUE(korvista::testfiles::FinishesWithin(
            5, [&] { WriteEntryWith(log_.string(), "lost", "Cat", FixedContext()); }));
        EXPECT_EQ(fs::symlink_status(log_).type(), before);
        EXPECT_EQ(ReadFile(target), "not a log\n");
        EXPECT_FALSE(fs::exists(dir_ / "absent.txt"));
    }
}

TEST_F(LogFileTest, NewFileIsForItsOwnerOnly) {
    const mode_t saved = ::umask(0);
    WriteEntryWith(log_.string(), "private", "Cat", FixedContext());
    ::umask(saved);
    EXPECT_EQ(fs::status(log_).permissions(), fs::perms::owner_read | fs::perms::owner_write);
    // An existing file keeps the mode it has.
    fs::permissions(log_, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    WriteEntryWith(log_.string(), "again", "Cat", FixedContext());
    EXPECT_EQ(fs::status(log_).permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(ReadFile(log_), kHeader + Prefix() + "private\r\n" + Prefix() + "again\r\n");
}

TEST_F(LogFileTest, LogWritesBesideTheGivenFolderWithTheLiveFields) {
    const std::string saved = LogFolder;
    EXPECT_EQ(saved, TUtility::GetExePath());
    LogFolder = (dir_ / "nested" / "deeper").string();
    testing::internal::CaptureStderr();
    TDebug::Log("live entry", "Live");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Live - live entry");
    LogFolder = saved;

    const fs::path file = dir_ / "nested" / "deeper" /
                          pathtext::ReplaceExtension(pathtext::FileNameOf(TUtility::GetExeName()), ".log");
    const std::string content = ReadFile(file);
    const std::string firstLine = content.substr(0, content.find("\r\n"));
    EXPECT_EQ(firstLine.substr(0, firstLine.size() - 17),
              "Log for \"" + pathtext::FileNameOf(TUtility::GetExeName()) + "\" v1.0.1.32 started @ ");

    const std::string entry = content.substr(firstLine.size() + 2 + 120 + 2);
    struct utsname names {};
    ::uname(&names);
    EXPECT_EQ(entry.substr(17), " [" + ZeroPad(::getpid(), 5) + ":" + ZeroPad(::gettid(), 5) + "] [" +
                                    PadRight(names.nodename, 15) + "]  [" + PadRight("Live", 25) +
                                    "] live entry\r\n");
    EXPECT_EQ(entry.substr(0, 17), firstLine.substr(firstLine.size() - 17));
}

TEST_F(LogFileTest, WithoutLogFolderTheExecutablesFolderIsUsed) {
    const std::string saved = LogFolder;
    LogFolder.clear();
    const fs::path file = fs::path(TUtility::GetExePath()) /
                          pathtext::ReplaceExtension(pathtext::FileNameOf(TUtility::GetExeName()), ".log");
    fs::remove(file);
    testing::internal::CaptureStderr();
    TDebug::Log("fallback", "Cat");
    testing::internal::GetCapturedStderr();
    LogFolder = saved;
    const std::string content = ReadFile(file);
    fs::remove(file);
    EXPECT_EQ(content.substr(content.size() - std::string("] fallback\r\n").size()), "] fallback\r\n");
}

TEST_F(LogFileTest, LogFmtFormatsOrRaisesBeforeAnything) {
    const std::string saved = LogFolder;
    LogFolder = dir_.string();
    const fs::path file =
        dir_ / pathtext::ReplaceExtension(pathtext::FileNameOf(TUtility::GetExeName()), ".log");

    testing::internal::CaptureStderr();
    EXPECT_THROW(TDebug::LogFmt("Error opening database using connectionstring: %d", {std::string("x")}, ""),
                 Error);
    EXPECT_THROW(TDebug::LogFmt("Error opening database using connectionstring: %s", {}, ""), Error);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_FALSE(fs::exists(file));

    testing::internal::CaptureStderr();
    TDebug::LogFmt("Error opening database using connectionstring: %s", {std::string("Data Source=a;pwd=b")},
                   "");
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              " - Error opening database using connectionstring: Data Source=a;pwd=b");
    LogFolder = saved;
    const std::string content = ReadFile(file);
    EXPECT_NE(content.find("[" + std::string(25, ' ') +
                           "] Error opening database using connectionstring: Data Source=a;pwd=b\r\n"),
              std::string::npos);
}

} // namespace
