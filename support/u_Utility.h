#pragma once

#include "support/ascii.h"

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace korvista {

enum class TVersionField : std::uint8_t { vfFileVersion = 0, vfLegalCopyright = 1, vfFileDescription = 2 };

// Folder that receives the log; set at start-up to GetExePath, emptied at shut-down.
extern std::string LogFolder;

// Whether log entries are mirrored to standard error, the stand-in for a debugger's output. Front ends
// whose standard error is itself a report (the command-line tool) switch it off.
extern bool DebugOutputEnabled;

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

// Text rules for file names. Pure, and they accept "\\" and "/" alike so they hold for both kinds of path.
namespace pathtext {
// Removes the first long-path prefix (the four characters \\?\) wherever it stands; later ones stay.
std::string StripLongPathPrefix(const std::string& name);
// Everything up to and including the last "\\", "/" or ":"; empty when there is none.
std::string FolderOf(const std::string& path);
// Everything after the last "\\", "/" or ":".
std::string FileNameOf(const std::string& path);
// The folder of an executable's name, ending in a separator, without a leading long-path prefix.
std::string ExePathOf(const std::string& exeName);
// The extension starts at the last "." after the last "\\", "/" and ":"; without one, ext is appended.
std::string ReplaceExtension(const std::string& name, const std::string& ext);
// Appends a separator unless the text already ends in "\\" or "/": a backslash for a text holding
// "\\" or ":", the native "/" otherwise (an empty text becomes a lone "/").
std::string WithTrailingSeparator(const std::string& folder);
} // namespace pathtext

class TDebug {
public:
    TDebug() = delete;

    static void Log(const std::string& message, const std::string& category);
    static void LogFmt(const std::string& format, const std::vector<FormatArg>& args,
                       const std::string& category);
    static void WriteEntry(const std::string& fileName, const std::string& message,
                           const std::string& category);
};

} // namespace korvista
