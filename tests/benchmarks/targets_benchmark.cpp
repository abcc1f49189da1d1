// korvista-cli --targets over a fleet, one job against two. Not a test. Run:
//   build/<dir>/tests/benchmarks/targets_benchmark [targets] [tables] [columns] [runs]
// Builds database 1 and [targets] SQLite targets (100) of [tables] tables (300) of [columns] columns (12),
// every third target drifting, then runs korvista-cli --targets with --jobs 1 and --jobs 2 in turn, [runs]
// times each (5), and prints the median wall and CPU time, the peak resident memory of each child (wait4)
// and the ratio of the two wall-time medians, measured in this same run. The CPU time tells whether two
// jobs did the same work: on a machine that others share, the wall time alone cannot.

#include "benchmark_support.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <stdexcept>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

using korvista::bench::Clock;
using korvista::bench::Seconds;

struct ChildRun {
    double seconds = 0;
    double cpuSeconds = 0; // user and system, every thread
    long maxRssKiB = 0;
    int status = -1;
};

ChildRun RunCli(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const Clock::time_point start = Clock::now();
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, args[0].c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
        throw std::runtime_error("cannot start " + args[0]);
    int wstatus = 0;
    rusage usage{};
    if (wait4(pid, &wstatus, 0, &usage) != pid)
        throw std::runtime_error("wait4 failed");
    ChildRun run;
    run.seconds = Seconds(Clock::now() - start);
    run.cpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                     static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    run.maxRssKiB = usage.ru_maxrss;
    run.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
    return run;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    const int targets = argc > 1 ? std::max(1, std::atoi(argv[1])) : 100;
    const int tables = argc > 2 ? std::max(1, std::atoi(argv[2])) : 300;
    const int columns = argc > 3 ? std::max(3, std::atoi(argv[3])) : 12;
    const int runs = argc > 4 ? std::max(1, std::atoi(argv[4])) : 5;
    const auto dir = std::filesystem::temp_directory_path() / ("korvista-targets-bench-" + std::to_string(getpid()));
    try {
        std::filesystem::create_directories(dir);
        const std::string reference = (dir / "reference.db").string();
        const std::string drifted = (dir / "drifted.db").string();
        korvista::bench::BuildDatabase(reference, tables, columns, false);
        korvista::bench::BuildDatabase(drifted, tables, columns, true);
        // Copies, so that every target is a file of its own with its own connection.
        const std::string list = (dir / "targets.tsv").string();
        std::ofstream out(list);
        for (int t = 0; t < targets; ++t) {
            const std::string file = (dir / ("tenant" + std::to_string(t) + ".db")).string();
            std::filesystem::copy_file(t % 3 == 0 ? drifted : reference, file);
            out << "tenant" << t << "\tProvider=SQLite;Data Source=" << file << "\n";
        }
        out.close();
        if (!out)
            throw std::runtime_error("cannot write " + list);

        const std::string db1 = "Provider=SQLite;Data Source=" + reference;
        std::vector<double> seconds[2], cpu[2];
        long peak[2] = {0, 0};
        int status[2] = {-1, -1};
        for (int r = 0; r < runs; ++r) {
            for (int j = 0; j < 2; ++j) {
                const ChildRun run =
                    RunCli({KORVISTA_CLI_PATH, "--targets", list, "--jobs", std::to_string(j + 1), "--format", "tsv", db1});
                seconds[j].push_back(run.seconds);
                cpu[j].push_back(run.cpuSeconds);
                peak[j] = std::max(peak[j], run.maxRssKiB);
                status[j] = run.status;
            }
        }
        std::printf("korvista-cli --targets: %d SQLite targets of %d tables x %d columns, %ld cores, median of %d runs\n",
                    targets, tables, columns, sysconf(_SC_NPROCESSORS_ONLN), runs);
        for (int j = 0; j < 2; ++j)
            std::printf("  --jobs %d (exit status %d): %8.3f s wall, %6.3f s CPU, peak resident memory %6ld KiB\n",
                        j + 1, status[j], Median(seconds[j]), Median(cpu[j]), peak[j]);
        std::printf("  --jobs 1 / --jobs 2:          %8.2fx  (goal: at least 1.5x)\n",
                    Median(seconds[0]) / Median(seconds[1]));
        std::filesystem::remove_all(dir);
        return 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "targets_benchmark: %s\n", error.what());
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
        return 1;
    }
}
