// A full comparison run through the window, offscreen. Not a test. Run:
//   build/<dir>/tests/benchmarks/window_benchmark [tables] [columns] [runs]
// Builds two SQLite databases of 2,000 tables of 12 columns (every tenth table drifts), then runs
// "Openen databases" and "Vergelijk" on one main window [runs] times (5 by default). Prints the time of
// each run and the memory after the first and after the last: heap in use (mallinfo2) and resident size.
// The heap in use must not grow from run to run.

#include "app/command_list.h"
#include "app/f_Main.h"
#include "app/list_view.h"
#include "app/u_Settings.h"
#include "app/ui_seam.h"
#include "benchmark_support.h"

#include <QApplication>
#include <QTemporaryDir>

#include <malloc.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>

namespace {

using korvista::bench::BuildDatabase;
using korvista::bench::Clock;

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

} // namespace

int main(int argc, char** argv) {
    const int tables = argc > 1 ? std::atoi(argv[1]) : 2000;
    const int columns = argc > 2 ? std::atoi(argv[2]) : 12;
    const int runs = argc > 3 ? std::atoi(argv[3]) : 5;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);

    QTemporaryDir dir;
    const std::string db1 = dir.filePath("db1.sqlite").toStdString();
    const std::string db2 = dir.filePath("db2.sqlite").toStdString();
    BuildDatabase(db1, tables, columns, false);
    BuildDatabase(db2, tables, columns, true);

    auto ui = std::make_unique<SilentUi>();
    SilentUi* seen = ui.get();
    korvista::SetUi(std::move(ui));
    {
        korvista::TfrmMain window(nullptr, dir.filePath("korvista.ini").toStdString());
        window.Settings()->SetADOStr1("Provider=SQLite;Data Source=" + db1);
        window.Settings()->SetADOStr2("Provider=SQLite;Data Source=" + db2);

        std::printf("window comparison run, two SQLite databases of %d tables of %d columns\n", tables,
                    columns);
        Memory first{};
        for (int run = 1; run <= runs; ++run) {
            const Clock::time_point start = Clock::now();
            window.ActionList->Execute(window.actOpenDatabases);
            window.ActionList->Execute(window.actCompare);
            const double seconds = korvista::bench::Seconds(Clock::now() - start);
            const Memory now = MemoryNow();
            if (run == 1)
                first = now;
            std::printf("run %d: %.2f s, %d result rows, \"%s\", heap in use %.1f MiB, resident %.1f MiB\n",
                        run, seconds, window.lvResults->topLevelItemCount(), seen->last.toUtf8().constData(),
                        now.heapMiB, now.residentMiB);
            if (run == runs && runs > 1)
                std::printf("growth from run 1 to run %d: heap %+.2f MiB, resident %+.1f MiB\n", runs,
                            now.heapMiB - first.heapMiB, now.residentMiB - first.residentMiB);
        }
    }
    korvista::SetUi(nullptr);
    return 0;
}
