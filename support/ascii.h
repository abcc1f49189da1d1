#pragma once

// Letter case of the bytes a-z and A-Z only: names compare this way whatever the locale, and bytes of
// multi-byte characters pass through unchanged.

#include <string>
#include <string_view>

namespace korvista {

inline char AsciiUpper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

inline char AsciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
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

} // namespace korvista
