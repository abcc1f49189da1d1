#pragma once

// Which tables a comparison visits: shell patterns (*, ?, [...]) matched with ASCII letter case ignored,
// as names are matched everywhere else. No include pattern means every table; exclusion comes after.

#include <string>
#include <string_view>
#include <vector>

namespace korvista {

// Whether the name matches the pattern; "[a-c]", "[!x]" and "[^x]" are classes, "\\*" a literal "*";
// "?" and a class stand for one UTF-8 character.
// A "[" without its "]" stands for itself.
bool GlobMatches(std::string_view pattern, std::string_view name);

struct TableFilter {
    std::vector<std::string> include;
    std::vector<std::string> exclude;

    bool Selects(const std::string& table) const;
};

} // namespace korvista
