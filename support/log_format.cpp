#include "support/log_format.h"

#include "support/ascii.h"
#include "support/u_Utility.h"

#include <cctype>
#include <langinfo.h>
#include <locale.h>
#include <string_view>

namespace korvista::logtext {

namespace {

constexpr auto npos = std::string::npos;

std::string TwoDigits(int value) {
    value %= 100;
    if (value < 0)
        value += 100;
    return {static_cast<char>('0' + value / 10), static_cast<char>('0' + value % 10)};
}

bool IsBreakChar(char c) {
    return c == '\r' || c == ' ' || c == ',' || c == '.';
}

bool OnlyBreakCharsFrom(const std::string& text, std::size_t from) {
    for (std::size_t i = from; i < text.size(); ++i) {
        if (!IsBreakChar(text[i]))
            return false;
    }
    return true;
}

// Index just past one conversion ("%d", "%-d", "%Ey", ...) that starts at pos.
std::size_t SkipConversion(const std::string& format, std::size_t pos) {
    std::size_t i = pos + 1;
    while (i < format.size() && std::string_view("-_0^#").find(format[i]) != std::string_view::npos)
        ++i;
    while (i < format.size() && IsAsciiDigit(format[i]))
        ++i;
    if (i < format.size() && (format[i] == 'E' || format[i] == 'O'))
        ++i;
    return i < format.size() ? i + 1 : i;
}

bool IsSeparatorText(const std::string& text) {
    for (unsigned char c : text) {
        const bool punctuation = c < 128 && std::ispunct(c) && c != '%';
        if (!punctuation && c != ' ')
            return false;
    }
    return true;
}

} // namespace

std::string SeparatorOf(const std::string& langinfoFormat, const std::string& fallback) {
    const std::size_t first = langinfoFormat.find('%');
    if (first == npos)
        return fallback;
    const std::size_t start = SkipConversion(langinfoFormat, first);
    const std::size_t next = langinfoFormat.find('%', start);
    if (next == npos)
        return fallback;
    std::string separator = langinfoFormat.substr(start, next - start);
    return IsSeparatorText(separator) ? separator : fallback;
}

Separators LocaleSeparators() {
    Separators result;
    locale_t locale = newlocale(LC_TIME_MASK, "", static_cast<locale_t>(nullptr));
    if (locale == static_cast<locale_t>(nullptr))
        return result;
    result.date = SeparatorOf(nl_langinfo_l(D_FMT, locale), result.date);
    result.time = SeparatorOf(nl_langinfo_l(T_FMT, locale), result.time);
    freelocale(locale);
    return result;
}

std::string FormatTimestamp(const std::tm& time, const Separators& separators) {
    return TwoDigits(time.tm_mday) + separators.date + TwoDigits(time.tm_mon + 1) + separators.date +
           TwoDigits(time.tm_year) + " " + TwoDigits(time.tm_hour) + separators.time +
           TwoDigits(time.tm_min) + separators.time + TwoDigits(time.tm_sec);
}

std::string PadRight(const std::string& text, int width) {
    std::string result = TrimControl(text.substr(0, static_cast<std::size_t>(width)));
    result.resize(static_cast<std::size_t>(width), ' ');
    return result;
}

std::string BuildEntryPrefix(const std::string& timestamp, std::int32_t instance, std::int32_t thread,
                             const std::string& machine, const std::string& category) {
    return timestamp + " [" + ZeroPad(instance, 5) + ":" + ZeroPad(thread, 5) + "]" + " [" +
           PadRight(machine, 15) + "] " + " [" + PadRight(category, 25) + "] ";
}

std::string WrapText(const std::string& message, int width) {
    const std::size_t n = message.size();
    const std::size_t limit = width > 0 ? static_cast<std::size_t>(width) : 0;
    std::string result;
    result.reserve(n + n / 64);
    std::size_t pieceStart = 0;
    std::size_t i = 0;
    std::size_t breakPos = npos;
    char quote = 0;
    while (i < n) {
        const char c = message[i];
        std::size_t pieceEnd = npos;
        if (quote != 0) {
            if (c == quote)
                quote = 0;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '\r' && i + 1 < n && message[i + 1] == '\n') {
            pieceEnd = i + 2;
            ++i; // the pair's LF is the last character scanned
        } else if (IsBreakChar(c)) {
            breakPos = i;
        }
        if (pieceEnd == npos && quote == 0 && i + 1 - pieceStart >= limit && breakPos != npos &&
            breakPos > pieceStart)
            pieceEnd = breakPos + 1;
        if (pieceEnd == npos) {
            ++i;
            continue;
        }
        result.append(message, pieceStart, pieceEnd - pieceStart);
        // Judged from the last character scanned, not from the piece's end: a short tail of a word that
        // only break characters follow stays on this line.
        if (OnlyBreakCharsFrom(message, i + 1)) {
            pieceStart = pieceEnd;
            break;
        }
        result += "\r\n";
        // Scanning resumes at the piece's end: what lay between it and i held no break outside quotes,
        // so the quote state and the count come out the same.
        pieceStart = i = pieceEnd;
        breakPos = npos;
    }
    result.append(message, pieceStart, npos);
    return result;
}

std::vector<std::string> EntryLines(const std::string& prefix, const std::string& message) {
    if (IsBlankText(message))
        return {prefix};
    if (message[0] == '!')
        return {prefix + message.substr(1)};

    const std::string wrapped = WrapText(message, kLineLimit - static_cast<int>(prefix.size()) - 2);
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < wrapped.size()) {
        std::size_t end = wrapped.find_first_of("\r\n", start);
        const std::string line = TrimControl(wrapped.substr(start, end == npos ? npos : end - start));
        lines.push_back(lines.empty() ? prefix + line : prefix + ". " + line);
        if (end == npos)
            break;
        start = end + (wrapped[end] == '\r' && end + 1 < wrapped.size() && wrapped[end + 1] == '\n' ? 2 : 1);
    }
    return lines;
}

std::string HeaderLine(const std::string& exeFileName, const std::string& fileVersion,
                       const std::string& timestamp) {
    return "Log for \"" + exeFileName + "\" v" + fileVersion + " started @ " + timestamp;
}

std::string SeparatorLine() {
    return std::string(120, '-');
}

std::string RotatedFileName(const std::string& fileName, const std::tm& date) {
    const std::string name = pathtext::FileNameOf(fileName);
    const std::size_t dot = name.rfind('.');
    const std::string stem = dot == npos ? name : name.substr(0, dot);
    const std::string extension = dot == npos ? std::string() : name.substr(dot);
    return pathtext::FolderOf(fileName) + TwoDigits(date.tm_year) + TwoDigits(date.tm_mon + 1) +
           TwoDigits(date.tm_mday) + "-" + stem + extension;
}

} // namespace korvista::logtext
