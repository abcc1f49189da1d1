#include "cli/cli_run.h"
#include "support/u_Utility.h"

#include <QCoreApplication>

#include <iostream>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

// Progress goes to standard error only when a person watches it there.
std::size_t ProgressWidth() {
    if (!isatty(STDERR_FILENO))
        return 0;
    winsize size{};
    if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
    return 80;
}

} // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    QCoreApplication application(argc, argv);
    korvista::LogFolder = korvista::TUtility::GetExePath();
    // Standard error carries the one-line report that pipelines read; the log file keeps every entry.
    korvista::DebugOutputEnabled = false;
    const int status = korvista::cli::RunCommandLine(args, std::cout, std::cerr, ProgressWidth());
    korvista::LogFolder.clear();
    return status;
}
