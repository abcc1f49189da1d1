#pragma once

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace korvista {

enum class TVersionField : std::uint8_t { vfFileVersion = 0, vfLegalCopyright = 1, vfFileDescription = 2 };

// Folder that receives the log; set at start-up to GetExePath, emptied at shut-down.
extern std::string LogFolder;

std::string ZeroPad(std::int32_t value, int width);

class TUtility {
public:
    TUtility() = delete;

    static std::string GetExeName();
    static std::string GetExePath();
    static std::string GetVersionInfo(const std::string& fileName, TVersionField field);
    static std::int32_t GetFileSizeByName(const std::string& fileName);
    static std::string GetMachineName();
    static void RotateFile(const std::string& fileName, std::int32_t maxSize);
};

// One argument of the general string formatter used by TDebug::LogFmt and the tool's messages.
using FormatArg = std::variant<std::string, std::int64_t, double>;

// "%s", "%d", "%u", "%x", "%f" and "%%" as the general formatter knows them; a directive that does
// not fit its argument, or a missing argument, raises korvista::Error.
std::string Format(const std::string& format, const std::vector<FormatArg>& args);

class TDebug {
public:
    TDebug() = delete;

    static void Log(const std::string& message, const std::string& category);
    static void LogFmt(const std::string& format, const std::vector<FormatArg>& args, const std::string& category);
    static void WriteEntry(const std::string& fileName, const std::string& message, const std::string& category);
};

} // namespace korvista
