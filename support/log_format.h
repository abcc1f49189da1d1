#pragma once

// The pieces of the diagnostic log, kept apart from the clock, the process and the disk so that
// every line can be checked byte for byte.

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

namespace korvista::logtext {

constexpr std::int32_t kRotateSize = 33554432; // 32 MiB
constexpr int kLineLimit = 320;

struct Separators {
    std::string date = "/";
    std::string time = ":";
};

// The separator that follows the first conversion of a strftime-style format ("%d-%m-%y" gives "-");
// fallback when the format has none or it is not made of ASCII punctuation and blanks.
std::string SeparatorOf(const std::string& langinfoFormat, const std::string& fallback);
// The separators of the user's LC_TIME locale; "/" and ":" when it cannot be loaded.
Separators LocaleSeparators();

// "dd/mm/yy hh:mm:ss" with "/" and ":" replaced by the given separators.
std::string FormatTimestamp(const std::tm& time, const Separators& separators);
// The first width characters, trimmed of blanks and control characters, padded with blanks to width.
std::string PadRight(const std::string& text, int width);
std::string BuildEntryPrefix(const std::string& timestamp, std::int32_t instance, std::int32_t thread,
                             const std::string& machine, const std::string& category);
// Inserts CR LF where a piece of at least width characters may break; never inside quotes or a word.
std::string WrapText(const std::string& message, int width);
// The lines of one entry, each without its CR LF.
std::vector<std::string> EntryLines(const std::string& prefix, const std::string& message);
std::string HeaderLine(const std::string& exeFileName, const std::string& fileVersion,
                       const std::string& timestamp);
std::string SeparatorLine();
// Folder + YYMMDD + "-" + name + extension.
std::string RotatedFileName(const std::string& fileName, const std::tm& date);

// Everything an entry takes from its surroundings.
struct EntryContext {
    std::tm time{};
    Separators separators;
    std::int32_t instance = 0;
    std::int32_t thread = 0;
    std::string machine;
    std::string exeFileName; // without folder, for the header
    std::string fileVersion;
};

EntryContext CurrentEntryContext();
// What TDebug::WriteEntry does, with its surroundings given; never raises.
void WriteEntryWith(const std::string& fileName, const std::string& message, const std::string& category,
                    const EntryContext& context);
// What TUtility::RotateFile does on a given day.
void RotateFileOn(const std::string& fileName, std::int32_t maxSize, const std::tm& today);

} // namespace korvista::logtext
