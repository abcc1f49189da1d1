#include "common/test_files.h"
#include "support/errors.h"
#include "support/u_Utility.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sys/utsname.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace korvista;

namespace {

TEST(PathText, LongPathPrefixGoesOnceWhereverItStands) {
    using pathtext::StripLongPathPrefix;
    EXPECT_EQ(StripLongPathPrefix("\\\\?\\C:\\Tools\\KRV.exe"), "C:\\Tools\\KRV.exe");
    EXPECT_EQ(StripLongPathPrefix("C:\\a\\\\?\\b\\\\?\\c.exe"), "C:\\ab\\\\?\\c.exe");
    EXPECT_EQ(StripLongPathPrefix("/usr/bin/korvista"), "/usr/bin/korvista");
}

TEST(PathText, ExecutableFolder) {
    using pathtext::ExePathOf;
    EXPECT_EQ(ExePathOf("C:\\Tools\\KRV.exe"), "C:\\Tools\\");
    EXPECT_EQ(ExePathOf("C:KRV.exe"), "C:\\");
    EXPECT_EQ(ExePathOf("/usr/bin/korvista"), "/usr/bin/");
    EXPECT_EQ(ExePathOf("\\\\?\\C:\\Tools\\KRV.exe"), "C:\\Tools\\");
    // Only a prefix at the very start is dropped.
    EXPECT_EQ(ExePathOf("x\\\\?\\C:\\KRV.exe"), "x\\\\?\\C:\\");
}

TEST(PathText, ExtensionIsReplacedOrAppended) {
    using pathtext::ReplaceExtension;
    EXPECT_EQ(ReplaceExtension("C:\\Tools\\KRV.exe", ".ini"), "C:\\Tools\\KRV.ini");
    EXPECT_EQ(ReplaceExtension("C:\\Tools\\krv.old.exe", ".ini"), "C:\\Tools\\krv.old.ini");
    EXPECT_EQ(ReplaceExtension("C:\\v1.2\\krv", ".ini"), "C:\\v1.2\\krv.ini");
    EXPECT_EQ(ReplaceExtension("/opt/v1.2/korvista", ".ini"), "/opt/v1.2/korvista.ini");
    EXPECT_EQ(ReplaceExtension("D:x.y:z", ".log"), "D:x.y:z.log");
    EXPECT_EQ(ReplaceExtension("korvista", ".log"), "korvista.log");
    EXPECT_EQ(pathtext::FileNameOf("/opt/tool/korvista"), "korvista");
    EXPECT_EQ(pathtext::FileNameOf("C:\\Tools\\KRV.exe"), "KRV.exe");
    EXPECT_EQ(pathtext::WithTrailingSeparator("/var/log"), "/var/log/");
    EXPECT_EQ(pathtext::WithTrailingSeparator("C:\\Logs"), "C:\\Logs\\");
    EXPECT_EQ(pathtext::WithTrailingSeparator("/var/log/"), "/var/log/");
}

TEST(Utility, ExecutableNameAndFolderOfThisProcess) {
    const std::string exe = TUtility::GetExeName();
    EXPECT_EQ(fs::path(exe), fs::canonical("/proc/self/exe"));
    EXPECT_EQ(TUtility::GetExePath(), fs::path(exe).parent_path().string() + "/");
}

// Runs the probe copied into dir under the given name; gives what it printed, or "exit N".
std::string RunProbeAs(const fs::path& dir, const std::string& name, bool replace) {
    const fs::path copy = dir / name;
    fs::copy_file(KORVISTA_EXE_NAME_PROBE, copy, fs::copy_options::overwrite_existing);
    const fs::path out = dir / "probe.out";
    const std::string command = "'" + copy.string() + "'" + (replace ? " replace" : "") + " > '" +
                                out.string() + "'";
    const int status = std::system(command.c_str());
    if (status != 0)
        return "exit " + std::to_string(status);
    std::string text = korvista::testfiles::ReadFile(out);
    if (!text.empty() && text.back() == '\n')
        text.pop_back();
    return text;
}

TEST(Utility, ExecutableReplacedWhileRunningKeepsItsName) {
    const fs::path dir = korvista::testfiles::MakeScratchDir("korvista_exe_");
    struct Case {
        const char* name;
        bool replace;
    };
    // Linux shows a replaced executable as "name (deleted)"; a file really named so keeps its name.
    for (const Case& c : {Case{"korvista", true}, Case{"korvista (deleted)", false},
                          Case{"korvista (deleted)", true}}) {
        SCOPED_TRACE(std::string(c.name) + (c.replace ? ", replaced" : ""));
        const fs::path exe = dir / c.name;
        EXPECT_EQ(RunProbeAs(dir, c.name, c.replace), exe.string());
        const fs::path log = dir / (std::string(c.name) + ".log");
        EXPECT_NE(korvista::testfiles::ReadFile(log).find("probe entry"), std::string::npos);
        EXPECT_FALSE(fs::exists(dir / (exe.filename().string() + " (deleted).log")));
        fs::remove(log);
    }
    korvista::testfiles::RemoveScratchDir(dir);
}

TEST(Utility, VersionStringsBelongToTheExecutableOnly) {
    EXPECT_EQ(TUtility::GetVersionInfo("", TVersionField::vfFileVersion), "1.0.1.32");
    EXPECT_EQ(TUtility::GetVersionInfo(" \t\r\n", TVersionField::vfFileVersion), "1.0.1.32");
    EXPECT_EQ(TUtility::GetVersionInfo(TUtility::GetExeName(), TVersionField::vfLegalCopyright),
              "Copyright (c) Korvista");
    EXPECT_EQ(TUtility::GetVersionInfo("", TVersionField::vfFileDescription),
              "Korvista - vergelijk tabelstructuren");
    EXPECT_EQ(TUtility::GetVersionInfo("/bin/sh", TVersionField::vfFileVersion), "");
    EXPECT_EQ(TUtility::GetVersionInfo("/no/such/file", TVersionField::vfFileVersion), "");
}

TEST(Utility, FileSizeIsLow32BitsOrMinusOne) {
    char pattern[] = "/tmp/korvista_size_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const fs::path dir = pattern;
    const fs::path file = dir / "sized.bin";
    std::ofstream(file, std::ios::binary) << "twelve bytes";
    EXPECT_EQ(TUtility::GetFileSizeByName(file.string()), 12);
    EXPECT_EQ(TUtility::GetFileSizeByName((dir / "missing").string()), -1);

    // Relative to the current folder.
    const fs::path previous = fs::current_path();
    fs::current_path(dir);
    EXPECT_EQ(TUtility::GetFileSizeByName("sized.bin"), 12);
    fs::current_path(previous);

    ASSERT_EQ(::truncate(file.c_str(), (1LL << 32) + 7), 0);
    EXPECT_EQ(TUtility::GetFileSizeByName(file.string()), 7);
    ASSERT_EQ(::truncate(file.c_str(), 1LL << 31), 0);
    EXPECT_EQ(TUtility::GetFileSizeByName(file.string()), INT32_MIN);
    fs::remove_all(dir);
}

TEST(Utility, MachineNameIsTheHostNameCutTo15) {
    struct utsname names {};
    ASSERT_EQ(::uname(&names), 0);
    EXPECT_EQ(TUtility::GetMachineName(), std::string(names.nodename).substr(0, 15));
}

TEST(FormatText, Directives) {
    EXPECT_EQ(Format("Unable to write to %s", {std::string("/x/k.ini")}), "Unable to write to /x/k.ini");
    EXPECT_EQ(Format("%d|%5d|%-5d|%.3d|%d", {std::int64_t(-12), std::int64_t(42), std::int64_t(42),
                                             std::int64_t(7), std::int64_t(INT64_MIN)}),
              "-12|   42|42   |007|-9223372036854775808");
    EXPECT_EQ(Format("%u %x %.4x", {std::int64_t(-1), std::int64_t(255), std::int64_t(255)}),
              "4294967295 FF 00FF");
    EXPECT_EQ(Format("%f %.3f %8.1f", {3.14159, 2.0, -1.75}), "3.14 2.000     -1.8");
    EXPECT_EQ(Format("100%% %s%.2s", {std::string(""), std::string("abc")}), "100% ab");
    // Arguments beyond the directives are ignored.
    EXPECT_EQ(Format("none", {std::string("x")}), "none");
}

TEST(FormatText, MismatchesRaise) {
    EXPECT_THROW(Format("%s", {}), Error);
    EXPECT_THROW(Format("%s %s", {std::string("a")}), Error);
    EXPECT_THROW(Format("%d", {std::string("1")}), Error);
    EXPECT_THROW(Format("%s", {std::int64_t(1)}), Error);
    EXPECT_THROW(Format("%f", {std::int64_t(1)}), Error);
    EXPECT_THROW(Format("%x", {1.0}), Error);
    EXPECT_THROW(Format("%q", {std::string("a")}), Error);
    EXPECT_THROW(Format("50%", {}), Error);
    EXPECT_THROW(Format("%5", {std::int64_t(1)}), Error);
}

} // namespace
