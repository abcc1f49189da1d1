#include "cli/shard.h"

#include "support/errors.h"

#include <algorithm>

namespace korvista::cli {

namespace {

// A count of 1 to 9999 written in decimal digits, or 0 when it is none.
unsigned SmallNumber(std::string_view text) {
    if (text.empty() || text.size() > 4 || text.find_first_not_of("0123456789") != std::string_view::npos)
        return 0;
    return static_cast<unsigned>(std::stoul(std::string(text)));
}

} // namespace

Shard ParseShard(const std::string& text) {
    const std::size_t slash = text.find('/');
    const unsigned index =
        slash == std::string::npos ? 0 : SmallNumber(std::string_view(text).substr(0, slash));
    const unsigned count =
        slash == std::string::npos ? 0 : SmallNumber(std::string_view(text).substr(slash + 1));
    if (index == 0 || count == 0)
        throw Error("option --shard needs K/N, two numbers from 1 to 9999, not '" + text + "'");
    if (index > count)
        throw Error("option --shard " + text + ": there is no shard " + std::to_string(index) + " of " +
                    std::to_string(count));
    return {index, count};
}

std::uint64_t StableNameHash(std::string_view name) {
    std::uint64_t hash = 14695981039346656037ull;
    for (const char c : name) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 1099511628211ull;
    }
    return hash;
}

unsigned ShardOfName(std::string_view name, unsigned count) {
    return static_cast<unsigned>(StableNameHash(name) % count) + 1;
}

std::vector<Target> TargetsOfShard(const std::vector<Target>& targets, const Shard& shard) {
    std::vector<Target> selected;
    std::copy_if(targets.begin(), targets.end(), std::back_inserter(selected),
                 [&](const Target& target) { return ShardOfName(target.name, shard.count) == shard.index; });
    return selected;
}

} // namespace korvista::cli
