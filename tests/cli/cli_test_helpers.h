#pragma once

#include "compare/comparison.h"

#include <string>
#include <vector>

namespace korvista::clitest {

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// Runs the SQL script into a new SQLite file; throws std::runtime_error with SQLite's message.
void BuildDatabase(const std::string& path, const std::string& sql);
std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& content);

// sample1.db and sample2.db from samples/*.sql in dir.
void BuildSamples(const std::string& dir);
std::string SqliteConnection(const std::string& path);
// The text cut at each newline, without the newlines.
std::vector<std::string> Lines(const std::string& text);

std::string SnapshotConnection(const std::string& path);
// The rows of TSV output after its header line of the five captions (checked).
std::vector<ResultRow> ParseTsvRows(const std::string& tsv);

// The rows of tests/cli/expected_sample_rows.tsv, and that file's text.
std::vector<ResultRow> ExpectedSampleRows();
std::string ExpectedSampleTsv();
// What the comparison gives with some switches off, derived from the all-on rows: the difference text
// names what differs, so a switch removes its item and a row left with none.
TableComparison WithSwitches(const std::vector<ResultRow>& allOn, const CompareSwitches& switches);

struct ProcessResult {
    int status = -1; // exit status, or -1 when the child did not exit normally
    std::string out;
    std::string err;
    bool timedOut = false; // killed after the time limit
};
// Runs a program with the arguments, standard input from /dev/null, and collects both outputs. With a
// time limit (seconds) a program still running then is killed, so a hang fails instead of stalling.
ProcessResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                         unsigned timeLimit = 0);
ProcessResult RunCli(const std::vector<std::string>& args, unsigned timeLimit = 0);

} // namespace korvista::clitest
