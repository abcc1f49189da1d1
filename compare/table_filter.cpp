#include "compare/table_filter.h"

#include "support/ascii.h"

#include <algorithm>

namespace korvista {

namespace {

// Matches one class starting at pattern[p] == '['; gives the position after "]", or npos when the class
// has no end (then "[" is an ordinary character).
std::size_t MatchClass(std::string_view pattern, std::size_t p, char c, bool& matched) {
    std::size_t i = p + 1;
    const bool negated = i < pattern.size() && (pattern[i] == '!' || pattern[i] == '^');
    if (negated)
        ++i;
    bool any = false;
    bool first = true;
    for (; i < pattern.size(); ++i) {
        if (pattern[i] == ']' && !first) {
            matched = any != negated;
            return i + 1;
        }
        first = false;
        char low = pattern[i];
        if (low == '\\' && i + 1 < pattern.size())
            low = pattern[++i];
        char high = low;
        if (i + 2 < pattern.size() && pattern[i + 1] == '-' && pattern[i + 2] != ']') {
            high = pattern[i + 2];
            i += 2;
        }
        const char u = AsciiUpper(c);
        any |= (u >= AsciiUpper(low) && u <= AsciiUpper(high)) || (c >= low && c <= high);
    }
    return std::string_view::npos;
}

} // namespace

bool GlobMatches(std::string_view pattern, std::string_view name) {
    // Iterative matching with one backtrack point for the last "*": linear in practice, never exponential.
    std::size_t p = 0, n = 0, starP = std::string_view::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size()) {
            const char pc = pattern[p];
            if (pc == '*') {
                starP = p++;
                starN = n;
                continue;
            }
            if (pc == '?') {
                ++p;
                ++n;
                continue;
            }
            if (pc == '[') {
                bool matched = false;
                const std::size_t next = MatchClass(pattern, p, name[n], matched);
                if (next != std::string_view::npos) {
                    if (matched) {
                        p = next;
                        ++n;
                        continue;
                    }
                } else if (name[n] == '[') {
                    ++p;
                    ++n;
                    continue;
                }
            } else {
                char literal = pc;
                std::size_t width = 1;
                if (pc == '\\' && p + 1 < pattern.size()) {
                    literal = pattern[p + 1];
                    width = 2;
                }
                if (AsciiUpper(literal) == AsciiUpper(name[n])) {
                    p += width;
                    ++n;
                    continue;
                }
            }
        }
        if (starP == std::string_view::npos)
            return false;
        p = starP + 1;
        n = ++starN;
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

bool TableFilter::Selects(const std::string& table) const {
    const auto matches = [&](const std::string& pattern) { return GlobMatches(pattern, table); };
    if (!include.empty() && std::none_of(include.begin(), include.end(), matches))
        return false;
    return std::none_of(exclude.begin(), exclude.end(), matches);
}

} // namespace korvista
