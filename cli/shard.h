#pragma once

// Splitting a fleet of targets over parallel jobs. A target's shard follows from its name alone, so adding
// or removing a target moves no other one, and every job sees the same split whatever machine it runs on.

#include "cli/targets.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace korvista::cli {

struct Shard {
    unsigned index = 1; // 1 .. count
    unsigned count = 1;

    bool operator==(const Shard&) const = default;
};

// "K/N" with 1 <= K <= N <= 9999; throws korvista::Error saying what is wrong.
Shard ParseShard(const std::string& text);

// FNV-1a, 64 bits, of the name's bytes: fixed by its definition, unlike std::hash.
std::uint64_t StableNameHash(std::string_view name);

// The shard of the name among count: StableNameHash(name) % count + 1.
unsigned ShardOfName(std::string_view name, unsigned count);

// The targets of the shard, in their order.
std::vector<Target> TargetsOfShard(const std::vector<Target>& targets, const Shard& shard);

} // namespace korvista::cli
