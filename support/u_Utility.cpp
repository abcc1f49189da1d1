#include "support/u_Utility.h"

#include "support/errors.h"
#include "support/file_descriptor.h"
#include "support/log_format.h"
#include "version.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <mutex>
#include <string_view>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <unistd.h>

namespace korvista {

namespace {

constexpr std::string_view kLongPathPrefix = "\\\\?\\";

std::size_t LastSeparator(const std::string& path) {
    return path.find_last_of("\\/:");
}

// Whether the name refers to the file this process runs from.
bool NamesRunningExecutable(const std::string& name) {
    struct stat running {};
    struct stat named {};
    return ::stat("/proc/self/exe", &running) == 0 && ::stat(name.c_str(), &named) == 0 &&
           running.st_dev == named.st_dev && running.st_ino == named.st_ino;
}

// The executable's name as the system reports it.
std::string ModuleFileName() {
    std::string buffer(256, '\0');
    for (;;) {
        const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (length < 0)
            return {};
        if (static_cast<std::size_t>(length) < buffer.size()) {
            buffer.resize(static_cast<std::size_t>(length));
            break;
        }
        buffer.resize(buffer.size() * 2);
    }
    // Linux marks a file replaced or removed since the start; log and settings keep the name they had.
    // A file really named so is still the one running.
    constexpr std::string_view kDeleted = " (deleted)";
    if (buffer.ends_with(kDeleted) && !NamesRunningExecutable(buffer))
        buffer.resize(buffer.size() - kDeleted.size());
    return buffer;
}

bool IsOwnExecutable(const std::string& fileName) {
    const std::string exeName = TUtility::GetExeName();
    if (fileName == exeName)
        return true;
    std::error_code error;
    return !exeName.empty() && std::filesystem::equivalent(fileName, exeName, error);
}

std::tm LocalNow() {
    const std::time_t now = std::time(nullptr);
    std::tm result{};
    localtime_r(&now, &result);
    return result;
}

std::int32_t CurrentThreadId() {
    return static_cast<std::int32_t>(::gettid());
}

// The file's name with ".log" in place of its extension.
std::string LogFileName() {
    return pathtext::ReplaceExtension(pathtext::FileNameOf(TUtility::GetExeName()), ".log");
}

void WriteLine(int fd, const std::string& text) {
    if (fd < 0)
        return;
    const std::string line = text + "\r\n";
    std::size_t written = 0;
    while (written < line.size()) {
        const ssize_t count = ::write(fd, line.data() + written, line.size() - written);
        if (count <= 0)
            return;
        written += static_cast<std::size_t>(count);
    }
}

[[noreturn]] void ThrowFormatError(const std::string& format) {
    throw Error("Format '" + format + "' invalid or incompatible with argument");
}

std::string Digits(std::uint64_t value, int base, int minDigits) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    do {
        text.insert(text.begin(), kDigits[value % static_cast<unsigned>(base)]);
        value /= static_cast<unsigned>(base);
    } while (value != 0);
    if (minDigits > 0 && text.size() < static_cast<std::size_t>(minDigits))
        text.insert(0, static_cast<std::size_t>(minDigits) - text.size(), '0');
    return text;
}

// A negative value that fits 32 bits reads as its 32-bit pattern, as an Integer argument would.
std::uint64_t AsUnsigned(std::int64_t value) {
    if (value < 0 && value >= INT32_MIN)
        return static_cast<std::uint32_t>(static_cast<std::int32_t>(value));
    return static_cast<std::uint64_t>(value);
}

} // namespace

std::string LogFolder = TUtility::GetExePath();
bool DebugOutputEnabled = true;

std::string ZeroPad(std::int32_t value, int width) {
    std::string text = std::to_string(value);
    const std::size_t target = width > 0 ? static_cast<std::size_t>(width) : 0;
    if (text.size() > target)
        text.erase(0, text.size() - target);
    if (text.size() < target)
        text.insert(0, target - text.size(), '0');
    return text;
}

namespace pathtext {

std::string StripLongPathPrefix(const std::string& name) {
    std::string result = name;
    const std::size_t at = result.find(kLongPathPrefix);
    if (at != std::string::npos)
        result.erase(at, kLongPathPrefix.size());
    return result;
}

std::string FolderOf(const std::string& path) {
    const std::size_t at = LastSeparator(path);
    return at == std::string::npos ? std::string() : path.substr(0, at + 1);
}

std::string FileNameOf(const std::string& path) {
    const std::size_t at = LastSeparator(path);
    return at == std::string::npos ? path : path.substr(at + 1);
}

std::string WithTrailingSeparator(const std::string& folder) {
    if (!folder.empty() && (folder.back() == '\\' || folder.back() == '/'))
        return folder;
    const bool windowsStyle = folder.find_first_of("\\:") != std::string::npos;
    return folder + (windowsStyle ? '\\' : '/');
}

std::string ExePathOf(const std::string& exeName) {
    std::string result = WithTrailingSeparator(FolderOf(exeName));
    if (result.compare(0, kLongPathPrefix.size(), kLongPathPrefix) == 0)
        result.erase(0, kLongPathPrefix.size());
    return result;
}

std::string ReplaceExtension(const std::string& name, const std::string& ext) {
    const std::size_t dot = name.rfind('.');
    const std::size_t separator = LastSeparator(name);
    if (dot == std::string::npos || (separator != std::string::npos && dot < separator))
        return name + ext;
    return name.substr(0, dot) + ext;
}

} // namespace pathtext

std::string TUtility::GetExeName() {
    return pathtext::StripLongPathPrefix(ModuleFileName());
}

std::string TUtility::GetExePath() {
    return pathtext::ExePathOf(GetExeName());
}

std::string TUtility::GetVersionInfo(const std::string& fileName, TVersionField field) {
    // The version strings are compiled in; no other file carries a block this tool can read.
    const std::string name = IsBlankText(fileName) ? GetExeName() : fileName;
    if (!IsOwnExecutable(name))
        return {};
    switch (field) {
    case TVersionField::vfFileVersion:
        return KORVISTA_FILE_VERSION;
    case TVersionField::vfLegalCopyright:
        return KORVISTA_LEGAL_COPYRIGHT;
    case TVersionField::vfFileDescription:
        return KORVISTA_FILE_DESCRIPTION;
    }
    return {};
}

std::int32_t TUtility::GetFileSizeByName(const std::string& fileName) {
    std::error_code error;
    const std::filesystem::path full = std::filesystem::absolute(fileName, error);
    if (error)
        return -1;
    struct stat info {};
    if (::stat(full.c_str(), &info) != 0)
        return -1;
    if (S_ISDIR(info.st_mode))
        return 0;
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::uint64_t>(info.st_size)));
}

std::string TUtility::GetMachineName() {
    struct utsname names {};
    if (::uname(&names) != 0)
        return {};
    std::string name(names.nodename);
    return name.substr(0, 15);
}

void TUtility::RotateFile(const std::string& fileName, std::int32_t maxSize) {
    logtext::RotateFileOn(fileName, maxSize, LocalNow());
}

std::string Format(const std::string& format, const std::vector<FormatArg>& args) {
    std::string out;
    std::size_t next = 0;
    const std::size_t n = format.size();
    for (std::size_t i = 0; i < n; ++i) {
        if (format[i] != '%') {
            out += format[i];
            continue;
        }
        if (++i >= n)
            ThrowFormatError(format);
        if (format[i] == '%') {
            out += '%';
            continue;
        }
        bool leftAlign = false;
        if (format[i] == '-') {
            leftAlign = true;
            ++i;
        }
        int width = -1;
        while (i < n && IsAsciiDigit(format[i]))
            width = (width < 0 ? 0 : width) * 10 + (format[i++] - '0');
        int precision = -1;
        if (i < n && format[i] == '.') {
            precision = 0;
            ++i;
            while (i < n && IsAsciiDigit(format[i]))
                precision = precision * 10 + (format[i++] - '0');
        }
        if (i >= n || next >= args.size())
            ThrowFormatError(format);
        const FormatArg& arg = args[next++];
        std::string text;
        switch (AsciiLower(format[i])) {
        case 's': {
            const auto* value = std::get_if<std::string>(&arg);
            if (value == nullptr)
                ThrowFormatError(format);
            text = precision >= 0 ? value->substr(0, static_cast<std::size_t>(precision)) : *value;
            break;
        }
        case 'd': {
            const auto* value = std::get_if<std::int64_t>(&arg);
            if (value == nullptr)
                ThrowFormatError(format);
            const std::uint64_t magnitude =
                *value < 0 ? ~static_cast<std::uint64_t>(*value) + 1 : static_cast<std::uint64_t>(*value);
            text = (*value < 0 ? "-" : "") + Digits(magnitude, 10, precision);
            break;
        }
        case 'u':
        case 'x': {
            const auto* value = std::get_if<std::int64_t>(&arg);
            if (value == nullptr)
                ThrowFormatError(format);
            text = Digits(AsUnsigned(*value), AsciiLower(format[i]) == 'x' ? 16 : 10, precision);
            break;
        }
        case 'f': {
            const auto* value = std::get_if<double>(&arg);
            if (value == nullptr)
                ThrowFormatError(format);
            char buffer[512];
            std::snprintf(buffer, sizeof buffer, "%.*f", precision >= 0 ? std::min(precision, 18) : 2,
                          *value);
            text = buffer;
            break;
        }
        default:
            ThrowFormatError(format);
        }
        if (width > 0 && text.size() < static_cast<std::size_t>(width))
            text.insert(leftAlign ? text.size() : 0, static_cast<std::size_t>(width) - text.size(), ' ');
        out += text;
    }
    return out;
}

void TDebug::Log(const std::string& message, const std::string& category) {
    try {
        // Stands in for a debugger's output: one string per entry, as handed over, no line break added.
        // It goes out before the file is touched.
        if (DebugOutputEnabled) {
            const std::string debugText = category + " - " + message;
            std::fwrite(debugText.data(), 1, debugText.size(), stderr);
        }
    } catch (...) {
    }
    try {
        // Targets are compared in threads: one entry's lines stay together, and one thread rotates.
        static std::mutex entries;
        const std::lock_guard<std::mutex> lock(entries);
        const std::string folder = LogFolder.empty()
                                       ? pathtext::WithTrailingSeparator(pathtext::FolderOf(ModuleFileName()))
                                       : pathtext::WithTrailingSeparator(LogFolder);
        std::error_code ignored;
        std::filesystem::create_directories(folder, ignored);
        WriteEntry(folder + LogFileName(), message, category);
    } catch (...) {
    }
}

void TDebug::LogFmt(const std::string& format, const std::vector<FormatArg>& args,
                    const std::string& category) {
    Log(Format(format, args), category);
}

void TDebug::WriteEntry(const std::string& fileName, const std::string& message,
                        const std::string& category) {
    try {
        logtext::WriteEntryWith(fileName, message, category, logtext::CurrentEntryContext());
    } catch (...) {
    }
}

namespace logtext {

EntryContext CurrentEntryContext() {
    EntryContext context;
    context.time = LocalNow();
    context.separators = LocaleSeparators();
    context.instance = static_cast<std::int32_t>(::getpid());
    context.thread = CurrentThreadId();
    context.machine = TUtility::GetMachineName();
    context.exeFileName = pathtext::FileNameOf(TUtility::GetExeName());
    context.fileVersion = TUtility::GetVersionInfo(TUtility::GetExeName(), TVersionField::vfFileVersion);
    return context;
}

void RotateFileOn(const std::string& fileName, std::int32_t maxSize, const std::tm& today) {
    if (TUtility::GetFileSizeByName(fileName) <= maxSize)
        return;
    const std::string target = RotatedFileName(fileName, today);
    // A plain rename would replace an earlier rotation of the same day; that one must stay.
    if (::renameat2(AT_FDCWD, fileName.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0)
        return;
    if (errno == EINVAL || errno == ENOSYS) {
        if (::link(fileName.c_str(), target.c_str()) == 0)
            ::unlink(fileName.c_str());
    }
}

void WriteEntryWith(const std::string& fileName, const std::string& message, const std::string& category,
                    const EntryContext& context) {
    try {
        RotateFileOn(fileName, kRotateSize, context.time);

        const std::string timestamp = FormatTimestamp(context.time, context.separators);
        // Only a regular file takes entries: a FIFO or device would block or swallow them, and a symlink
        // planted at the log's name would have them appended to whatever it points at.
        struct stat info {};
        const bool existing = ::lstat(fileName.c_str(), &info) == 0;
        if (existing && !S_ISREG(info.st_mode))
            return;
        constexpr int kFlags = O_WRONLY | O_APPEND | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK;
        bool created = false;
        int fd = -1;
        if (!existing) {
            // The entries name databases and users: a new log is for its owner only.
            fd = ::open(fileName.c_str(), kFlags | O_CREAT | O_EXCL, 0600);
            created = fd >= 0;
        }
        // Also when another process started the file in the meantime: its header stands already.
        if (fd < 0 && (existing || errno == EEXIST))
            fd = ::open(fileName.c_str(), kFlags);
        FileDescriptor file(fd);
        if (file.get() < 0)
            return;
        // The name may have been swapped between the look and the open.
        if (::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode))
            return;
        // Read-only for everyone means read-only also for a super-user, who would get it opened anyway.
        if (!created && (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
            return;
        if (created) {
            WriteLine(file.get(), HeaderLine(context.exeFileName, context.fileVersion, timestamp));
            WriteLine(file.get(), SeparatorLine());
        }
        const std::string prefix =
            BuildEntryPrefix(timestamp, context.instance, context.thread, context.machine, category);
        for (const std::string& line : EntryLines(prefix, message))
            WriteLine(file.get(), line);
    } catch (...) {
    }
}

} // namespace logtext

} // namespace korvista
