#include "cli/targets.h"

#include "schema/connection_string.h"
#include "support/ascii.h"
#include "support/errors.h"
#include "support/regular_file.h"

#include <algorithm>
#include <atomic>
#include <thread>

namespace korvista::cli {

namespace {

// Lines are split at LF: what is left of a CR LF ending goes with the blanks.
std::string Trimmed(std::string_view text) {
    return std::string(TrimAscii(text, kLineBlanks));
}

TargetOutcome CompareOne(const SchemaCatalogue& database1, const Target& target,
                         const CompareOptions& options, const SessionLimits& limits) {
    TargetOutcome outcome{target, {}, {}};
    try {
        TDatabase db2(nullptr);
        db2.SetLimits(limits);
        db2.SetConnectionString(target.connection);
        db2.Connect();
        if (!db2.ADO().Connected()) {
            outcome.failure = "database 2 cannot be opened: " + db2.LastOpenError();
            return outcome;
        }
        SchemaCatalogue catalogue1 = database1; // shares what was read and described once
        std::optional<SchemaCatalogue> catalogue2;
        try {
            catalogue2.emplace(db2.ADO());
        } catch (const Unreadable& error) {
            outcome.failure = "the tables of database 2 cannot be listed: " + std::string(error.what());
            return outcome;
        }
        outcome.result = CompareCatalogues(catalogue1, &*catalogue2, options);
    } catch (const std::exception& error) {
        outcome.failure = error.what();
    }
    return outcome;
}

} // namespace

std::vector<Target> ParseTargets(const std::string& text, const std::string& fileName) {
    std::vector<Target> targets;
    std::size_t lineNumber = 0;
    for (std::size_t start = 0; start <= text.size();) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        const std::string line = text.substr(start, end - start);
        start = end + 1;
        ++lineNumber;
        const std::string trimmed = Trimmed(line);
        if (trimmed.empty() || trimmed.front() == '#') {
            if (end == text.size())
                break;
            continue;
        }
        Target target;
        const std::size_t tab = line.find('\t');
        if (tab == std::string::npos) {
            target.connection = trimmed;
            target.name = MaskPasswords(trimmed);
        } else {
            target.name = Trimmed(line.substr(0, tab));
            target.connection = Trimmed(line.substr(tab + 1));
        }
        if (target.name.empty() || target.connection.empty())
            throw Error("the targets file " + fileName + " holds no " +
                        (target.name.empty() ? "name" : "connection") + " on line " +
                        std::to_string(lineNumber));
        targets.push_back(std::move(target));
        if (end == text.size())
            break;
    }
    // An empty fleet would pass a pipeline that compared nothing, as when the file was made from a
    // query that failed.
    if (targets.empty())
        throw Error("the targets file " + fileName + " names no target");
    return targets;
}

std::vector<Target> ReadTargetsFile(const std::string& fileName) {
    return ParseTargets(ReadRegularFileOrThrow(fileName, "targets file"), fileName);
}

std::vector<TargetOutcome> CompareTargets(const DatabaseSchema& database1, const std::vector<Target>& targets,
                                          const CompareOptions& options, unsigned jobs,
                                          const SessionLimits& limits) {
    std::vector<TargetOutcome> outcomes(targets.size());
    const SchemaCatalogue catalogue1(database1);
    std::atomic<std::size_t> next{0};
    const auto work = [&] {
        for (std::size_t i; (i = next.fetch_add(1)) < targets.size();)
            outcomes[i] = CompareOne(catalogue1, targets[i], options, limits);
    };
    const unsigned threads = std::max(1u, std::min<unsigned>(jobs, static_cast<unsigned>(targets.size())));
    std::vector<std::thread> pool;
    for (unsigned t = 1; t < threads; ++t)
        pool.emplace_back(work);
    work();
    for (std::thread& thread : pool)
        thread.join();
    return outcomes;
}

} // namespace korvista::cli
