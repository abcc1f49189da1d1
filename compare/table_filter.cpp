#include "compare/table_filter.h"

#include "support/ascii.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace korvista {

namespace {

// Names are UTF-8: "?" and a class stand for one character, not one byte. A byte that starts no valid
// sequence stands for itself and equals no character.
std::vector<std::uint32_t> CodePoints(std::string_view text) {
    std::vector<std::uint32_t> points;
    points.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
        const unsigned char lead = byte(i);
        const std::size_t length = lead < 0x80 ? 1 : (lead & 0xE0) == 0xC0 ? 2 : (lead & 0xF0) == 0xE0 ? 3
                                                   : (lead & 0xF8) == 0xF0 ? 4 : 0;
        bool valid = length > 0 && i + length <= text.size();
        std::uint32_t point = length == 1 ? lead : length == 2 ? lead & 0x1F : length == 3 ? lead & 0x0F : lead & 0x07;
        for (std::size_t k = 1; valid && k < length; ++k) {
            valid = (byte(i + k) & 0xC0) == 0x80;
            point = point << 6 | (byte(i + k) & 0x3F);
        }
        static constexpr std::uint32_t kMinimum[] = {0, 0, 0x80, 0x800, 0x10000};
        valid = valid && point >= kMinimum[length] && point <= 0x10FFFF && (point < 0xD800 || point > 0xDFFF);
        if (!valid) {
            points.push_back(0x110000 + lead);
            ++i;
            continue;
        }
        points.push_back(point);
        i += length;
    }
    return points;
}

using Points = std::vector<std::uint32_t>;

// Matches one class starting at pattern[p] == '['; gives the position after "]", or npos when the class
// has no end (then "[" is an ordinary character).
std::size_t MatchClass(const Points& pattern, std::size_t p, std::uint32_t c, bool& matched) {
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
        std::uint32_t low = pattern[i];
        if (low == '\\' && i + 1 < pattern.size())
            low = pattern[++i];
        std::uint32_t high = low;
        if (i + 2 < pattern.size() && pattern[i + 1] == '-' && pattern[i + 2] != ']') {
            high = pattern[i + 2];
            i += 2;
        }
        const std::uint32_t u = AsciiUpper(c);
        any |= (u >= AsciiUpper(low) && u <= AsciiUpper(high)) || (c >= low && c <= high);
    }
    return std::string::npos;
}

} // namespace

bool GlobMatches(std::string_view patternText, std::string_view nameText) {
    const Points pattern = CodePoints(patternText);
    const Points name = CodePoints(nameText);
    // Iterative matching with one backtrack point for the last "*": linear in practice, never exponential.
    std::size_t p = 0, n = 0, starP = std::string::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size()) {
            const std::uint32_t pc = pattern[p];
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
                if (next != std::string::npos) {
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
                std::uint32_t literal = pc;
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
        if (starP == std::string::npos)
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
