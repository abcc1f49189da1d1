#pragma once

// ASCII text rules. Letter case is that of the bytes a-z and A-Z only: names compare this way whatever the
// locale, and bytes of multi-byte characters pass through unchanged. Blanks are a set per format, since
// each format takes other characters for blanks.

#include <concepts>
#include <string>
#include <string_view>

namespace korvista {

// ---- Letter case ----

// A character, byte or code point; anything but a-z (A-Z) is given back as it is.
template <std::integral C> constexpr C AsciiUpper(C c) {
    return c >= 'a' && c <= 'z' ? static_cast<C>(c - 'a' + 'A') : c;
}

template <std::integral C> constexpr C AsciiLower(C c) {
    return c >= 'A' && c <= 'Z' ? static_cast<C>(c - 'A' + 'a') : c;
}

inline std::string AsciiUpper(std::string_view text) {
    std::string result(text);
    for (char& c : result)
        c = AsciiUpper(c);
    return result;
}

inline std::string AsciiLower(std::string_view text) {
    std::string result(text);
    for (char& c : result)
        c = AsciiLower(c);
    return result;
}

inline bool AsciiEqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (AsciiUpper(a[i]) != AsciiUpper(b[i]))
            return false;
    return true;
}

inline bool AsciiStartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && AsciiEqualsNoCase(text.substr(0, prefix.size()), prefix);
}

constexpr bool IsAsciiLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

constexpr bool IsAsciiDigit(char c) {
    return c >= '0' && c <= '9';
}

// ---- Blanks ----

// Blank and tab: what an ini line trims.
inline constexpr std::string_view kBlanks = " \t";
// Blank, tab and the line breaks: what a connection string, a targets line or a provider name trims.
inline constexpr std::string_view kLineBlanks = " \t\r\n";
// C's white space in the "C" locale: what separates the words of SQL and of declared types.
inline constexpr std::string_view kAsciiSpaces = " \t\n\v\f\r";

constexpr bool IsAnyOf(char c, std::string_view set) {
    return set.find(c) != std::string_view::npos;
}

// The text without the characters of the set at either end.
constexpr std::string_view TrimAscii(std::string_view text, std::string_view set) {
    const std::size_t first = text.find_first_not_of(set);
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(set) - first + 1);
}

// The text without the characters of the set at its end.
constexpr std::string_view TrimAsciiEnd(std::string_view text, std::string_view set) {
    const std::size_t last = text.find_last_not_of(set);
    return last == std::string_view::npos ? std::string_view() : text.substr(0, last + 1);
}

// A blank or any other control character: every byte up to 0x20.
constexpr bool IsBlankOrControl(char c) {
    return static_cast<unsigned char>(c) <= 0x20;
}

// Whether nothing but blanks and control characters remains once trimmed: the empty text included.
constexpr bool IsBlankText(std::string_view text) {
    for (const char c : text)
        if (!IsBlankOrControl(c))
            return false;
    return true;
}

// Removes blanks and control characters (bytes up to 32) from both ends.
inline std::string TrimControl(std::string_view text) {
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && IsBlankOrControl(text[begin]))
        ++begin;
    while (end > begin && IsBlankOrControl(text[end - 1]))
        --end;
    return std::string(text.substr(begin, end - begin));
}

} // namespace korvista
