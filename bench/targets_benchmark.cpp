// korvista-cli --targets over a fleet, one job against two. Not a test. Run:
//   build/<dir>/bench/targets_benchmark [targets] [tables] [columns] [runs]
// Builds database 1 and [targets] SQLite targets (100) of [tables] tables (300) of [columns] columns (12),
// every third target drifting, then runs korvista-cli --targets with --jobs 1 and --jobs 2 in turn, [runs]
// times each (5), and prints the median wall and CPU time, the peak resident memory of each child (wait4)
// and the ratio of the two wall-time medians, measured in this same run. The CPU time tells whether two
// jobs did the same work: on a machine that others share, the wall time alone cannot.

#include "benchmark_support.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using korvista::bench::ChildRun;
using korvista::bench::Median;
using korvista::bench::RunChild;

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
                    RunChild({KORVISTA_CLI_PATH, "--targets", list, "--jobs", std::to_string(j + 1), "--format", "tsv", db1});
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
