#include "cli/cli_test_helpers.h"

#include <sqlite3.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace korvista::clitest {

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "korvista-cli-test.XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

void BuildDatabase(const std::string& path, const std::string& sql) {
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
        SQLITE_OK) {
        const std::string message = db ? sqlite3_errmsg(db) : "out of memory";
        sqlite3_close(db);
        throw std::runtime_error(message);
    }
    char* error = nullptr;
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
        const std::string message = error ? error : "unknown error";
        sqlite3_free(error);
        sqlite3_close(db);
        throw std::runtime_error(path + ": " + message);
    }
    sqlite3_close(db);
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteFile(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

void BuildSamples(const std::string& dir) {
    BuildDatabase(dir + "/sample1.db", ReadFile(KORVISTA_SOURCE_DIR "/samples/db1.sql"));
    BuildDatabase(dir + "/sample2.db", ReadFile(KORVISTA_SOURCE_DIR "/samples/db2.sql"));
}

std::string SqliteConnection(const std::string& path) {
    return "Provider=SQLite;Data Source=" + path;
}

std::string SnapshotConnection(const std::string& path) {
    return "Provider=Snapshot;Data Source=" + path;
}

std::vector<ResultRow> ParseTsvRows(const std::string& tsv) {
    const std::vector<std::string> lines = Lines(tsv);
    if (lines.empty() || lines[0] != "Table\tVeldnaam\tVeld (DB1)\tVeld (DB2)\tVerschil")
        throw std::runtime_error("no TSV header in: " + tsv);
    std::vector<ResultRow> rows;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        std::vector<std::string> cells;
        std::istringstream cellStream(lines[i]);
        std::string cell;
        while (std::getline(cellStream, cell, '\t'))
            cells.push_back(cell);
        if (cells.size() != 5)
            throw std::runtime_error("not five cells: " + lines[i]);
        rows.push_back({cells[0], cells[1], cells[2], cells[3], cells[4]});
    }
    return rows;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line))
        lines.push_back(line);
    return lines;
}

std::string ExpectedSampleTsv() {
    return ReadFile(KORVISTA_SOURCE_DIR "/tests/cli/expected_sample_rows.tsv");
}

std::vector<ResultRow> ExpectedSampleRows() {
    std::istringstream in(ExpectedSampleTsv());
    std::string line;
    std::getline(in, line); // captions
    std::vector<ResultRow> rows;
    while (std::getline(in, line)) {
        std::vector<std::string> cells;
        std::istringstream cellStream(line);
        std::string cell;
        while (std::getline(cellStream, cell, '\t'))
            cells.push_back(cell);
        if (cells.size() != 5)
            throw std::runtime_error("malformed expected row: " + line);
        rows.push_back({cells[0], cells[1], cells[2], cells[3], cells[4]});
    }
    return rows;
}

TableComparison WithSwitches(const std::vector<ResultRow>& allOn, const CompareSwitches& switches) {
    TableComparison result;
    for (const ResultRow& row : allOn) {
        if (row.difference == "FIELD MISSING") {
            if (switches.missing) {
                result.rows.push_back(row);
                ++result.count;
            }
            continue;
        }
        std::string difference;
        const auto keep = [&](const char* item, bool on) {
            if (on && row.difference.find(item) != std::string::npos) {
                difference += difference.empty() ? item : std::string(", ") + item;
                ++result.count;
            }
        };
        keep("datatype", switches.datatype);
        keep("size", switches.size);
        keep("nullability", switches.null);
        if (!difference.empty()) {
            ResultRow kept = row;
            kept.difference = difference;
            result.rows.push_back(kept);
        }
    }
    return result;
}

ProcessResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                         unsigned timeLimit) {
    TempDir capture;
    const std::string outPath = capture.File("out");
    const std::string errPath = capture.File("err");

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);

    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);

    pid_t pid = 0;
    const int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
        throw std::runtime_error("cannot start " + program);

    ProcessResult result;
    int wstatus = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeLimit);
    for (;;) {
        const pid_t done = waitpid(pid, &wstatus, timeLimit > 0 ? WNOHANG : 0);
        if (done == pid)
            break;
        if (done < 0 && errno != EINTR)
            throw std::runtime_error("waitpid failed");
        if (done == 0) {
            if (std::chrono::steady_clock::now() >= deadline) {
                kill(pid, SIGKILL);
                result.timedOut = true;
                timeLimit = 0; // now wait for it to go
                continue;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    result.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
    result.out = ReadFile(outPath);
    result.err = ReadFile(errPath);
    return result;
}

ProcessResult RunCli(const std::vector<std::string>& args, unsigned timeLimit) {
    return RunProgram(KORVISTA_CLI_PATH, args, timeLimit);
}

} // namespace korvista::clitest
