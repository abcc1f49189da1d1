// "Vergelijk" through the shown main window against korvista-cli on the same pair, in the same run.
// Not a test. Run on a real X display, for example a virtual one:
//   xvfb-run -a build/<dir>/bench/window_benchmark [tables] [columns] [runs]
// Without a display it runs on the offscreen platform and says so; its figures then leave out the X
// server's share of painting.
// Builds two SQLite databases of 2,000 tables of 12 columns (every tenth table drifts). Each run times
// korvista-cli over the pair, then "Openen databases" and "Vergelijk" on one shown main window, each
// until the window has painted what the command left. Prints every run, the medians and the ratios, and
// the memory after the first and after the last run: heap in use (mallinfo2) and resident size. The
// heap in use must not grow from run to run.

#include "app/command_list.h"
#include "app/f_Main.h"
#include "app/list_view.h"
#include "app/u_Settings.h"
#include "app/ui_seam.h"
#include "benchmark_support.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QWindow>

#include <malloc.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using korvista::bench::BuildDatabase;
using korvista::bench::Clock;
using korvista::bench::Seconds;

// The closing message box would wait for a click; this one only remembers the text.
struct SilentUi : korvista::UiSeam {
    QString last;
    void ShowError(QWidget*, const QString&, const QString& text) override { last = "error: " + text; }
    void ShowMessage(QWidget*, const QString&, const QString& text) override { last = text; }
    std::string PromptDataSource(QWidget*, const std::string& initial) override { return initial; }
};

struct Memory {
    double heapMiB;
    double residentMiB;
};

Memory MemoryNow() {
    malloc_trim(0);
    const struct mallinfo2 info = mallinfo2();
    long pages = 0, resident = 0;
    std::ifstream("/proc/self/statm") >> pages >> resident;
    return {static_cast<double>(info.uordblks) / (1024.0 * 1024.0),
            static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0)};
}

struct Timing {
    double wall = 0; // seconds
    double cpu = 0;  // user and system seconds of the process that did the work
};

double CpuSeconds(const rusage& usage) {
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double OwnCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return CpuSeconds(usage);
}

// korvista-cli over the pair, output thrown away.
Timing RunCli(const std::string& cs1, const std::string& cs2) {
    const korvista::bench::ChildRun run = korvista::bench::RunCli(KORVISTA_CLI_PATH, cs1, cs2);
    if (run.status != 1)
        throw std::runtime_error("korvista-cli did not report the drift");
    return {run.seconds, run.cpuSeconds};
}

// Runs a command and lets the window paint what it left.
Timing TimeCommand(korvista::TfrmMain& window, QAction* command) {
    const double cpu = OwnCpuSeconds();
    const Clock::time_point start = Clock::now();
    window.ActionList->Execute(command);
    QApplication::processEvents();
    return {Seconds(Clock::now() - start), OwnCpuSeconds() - cpu};
}

// Counts the paint events of the main window's elements.
struct PaintCounter : QObject {
    int paints = 0;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

double Median(const std::vector<Timing>& timings, double Timing::*part) {
    std::vector<double> values;
    for (const Timing& t : timings)
        values.push_back(t.*part);
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    const int tables = argc > 1 ? std::atoi(argv[1]) : 2000;
    const int columns = argc > 2 ? std::atoi(argv[2]) : 12;
    const int runs = argc > 3 ? std::max(1, std::atoi(argv[3])) : 5;
    const bool display = qEnvironmentVariableIsSet("DISPLAY") || qEnvironmentVariableIsSet("WAYLAND_DISPLAY");
    if (!display)
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);

    try {
        QTemporaryDir dir;
        const std::string db1 = dir.filePath("db1.sqlite").toStdString();
        const std::string db2 = dir.filePath("db2.sqlite").toStdString();
        BuildDatabase(db1, tables, columns, false);
        BuildDatabase(db2, tables, columns, true);
        const std::string cs1 = "Provider=SQLite;Data Source=" + db1;
        const std::string cs2 = "Provider=SQLite;Data Source=" + db2;

        auto ui = std::make_unique<SilentUi>();
        SilentUi* seen = ui.get();
        korvista::SetUi(std::move(ui));
        {
            korvista::TfrmMain window(nullptr, dir.filePath("korvista.ini").toStdString());
            window.Settings()->SetADOStr1(cs1);
            window.Settings()->SetADOStr2(cs2);
            window.show();
            const Clock::time_point deadline = Clock::now() + std::chrono::seconds(10);
            while (!(window.windowHandle() && window.windowHandle()->isExposed()) && Clock::now() < deadline)
                QApplication::processEvents(QEventLoop::AllEvents, 50);

            std::printf("window comparison run against korvista-cli, two SQLite databases of %d tables of %d "
                        "columns, platform %s\n",
                        tables, columns, qPrintable(QGuiApplication::platformName()));
            PaintCounter counter;
            application.installEventFilter(&counter);
            std::vector<Timing> cli, open, compare;
            Memory first{};
            for (int run = 1; run <= runs; ++run) {
                cli.push_back(RunCli(cs1, cs2));
                open.push_back(TimeCommand(window, window.actOpenDatabases));
                counter.paints = 0;
                compare.push_back(TimeCommand(window, window.actCompare));
                const Memory now = MemoryNow();
                if (run == 1)
                    first = now;
                std::printf(
                    "run %d: korvista-cli %.3f s (cpu %.3f s); Openen databases %.3f s; Vergelijk %.3f s "
                    "(cpu %.3f s, %d paint events), %d result rows, \"%s\", heap in use %.1f MiB, "
                    "resident %.1f MiB\n",
                    run, cli.back().wall, cli.back().cpu, open.back().wall, compare.back().wall,
                    compare.back().cpu, counter.paints, window.lvResults->topLevelItemCount(),
                    seen->last.toUtf8().constData(), now.heapMiB, now.residentMiB);
                if (run == runs && runs > 1)
                    std::printf("growth from run 1 to run %d: heap %+.2f MiB, resident %+.1f MiB\n", runs,
                                now.heapMiB - first.heapMiB, now.residentMiB - first.residentMiB);
            }
            const double c = Median(cli, &Timing::wall), v = Median(compare, &Timing::wall);
            const double cc = Median(cli, &Timing::cpu), vc = Median(compare, &Timing::cpu);
            const double o = Median(open, &Timing::wall);
            std::printf("median of %d runs: korvista-cli %.3f s, Vergelijk %.3f s: %.2fx korvista-cli "
                        "(Openen databases + Vergelijk %.2fx); cpu time %.3f s against %.3f s: %.2fx\n",
                        runs, c, v, v / c, (o + v) / c, vc, cc, vc / cc);
        }
        korvista::SetUi(nullptr);
        return 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "window_benchmark: %s\n", error.what());
        return 1;
    }
}
