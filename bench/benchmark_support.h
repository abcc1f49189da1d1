#pragma once

// What the benchmarks share: generated tables, the timing and running a program as a child process.

#include <array>
#include <chrono>
#include <string>
#include <vector>

namespace korvista::bench {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d);
double Median(std::vector<double> values);

std::string TableName(int i);

// A column type for each of twelve kinds, in an engine's words, and the wider type the third column takes
// in a drifting table.
struct ColumnTypes {
    std::array<const char*, 12> types;
    const char* wider;
};

// CREATE TABLE statements for [tables] tables "TableN" of [columns] columns "ColN" of the twelve types in
// turn; with drift every tenth table has a wider third column.
std::vector<std::string> CreateTables(const ColumnTypes& types, int tables, int columns, bool drift);

// The tables as a new SQLite file at path.
void BuildDatabase(const std::string& path, int tables, int columns, bool drift);

struct ChildRun {
    double seconds = 0;
    double cpuSeconds = 0; // user and system, every thread
    long maxRssKiB = 0;
    int status = -1; // the exit status; -1 when it did not exit
};

// Runs the program (looked up in PATH when its name holds no "/") with its output thrown away; the
// entries of extraEnv ("NAME=value") come before the inherited ones. Wall and CPU time and peak memory
// are the child's.
ChildRun RunChild(const std::vector<std::string>& args, const std::vector<std::string>& extraEnv = {});

// korvista-cli over the pair, its tsv output thrown away.
ChildRun RunCli(const std::string& cliPath, const std::string& cs1, const std::string& cs2);

} // namespace korvista::bench
