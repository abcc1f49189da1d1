#include "cli/targets.h"

#include "schema/connection_string.h"
#include "support/errors.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <thread>

namespace korvista::cli {

namespace {

std::string Trimmed(const std::string& text) {
    const std::size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

TargetOutcome CompareOne(const DatabaseSchema& database1, const Target& target, const CompareOptions& options) {
    TargetOutcome outcome{target, {}, {}};
    try {
        TDatabase db2(nullptr);
        db2.SetConnectionString(target.connection);
        db2.Connect();
        if (!db2.ADO().Connected()) {
            outcome.failure = "database 2 cannot be opened: " + db2.LastOpenError();
            return outcome;
        }
        SchemaCatalogue catalogue1(database1);
        std::optional<SchemaCatalogue> catalogue2;
        try {
            catalogue2.emplace(db2.ADO());
        } catch (const ConnectionLost&) {
            throw;
        } catch (const Error& error) {
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
            throw Error("the targets file " + fileName + " holds no " + (target.name.empty() ? "name" : "connection") +
                        " on line " + std::to_string(lineNumber));
        targets.push_back(std::move(target));
        if (end == text.size())
            break;
    }
    return targets;
}

std::vector<Target> ReadTargetsFile(const std::string& fileName) {
    // O_NONBLOCK: a FIFO in the file's place is refused below instead of holding the program.
    const int fd = ::open(fileName.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        throw Error("cannot read the targets file " + fileName + ": " + std::strerror(errno));
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        throw Error("the targets file " + fileName + " is not a regular file");
    }
    std::string text;
    char buffer[65536];
    for (;;) {
        const ssize_t count = ::read(fd, buffer, sizeof buffer);
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0) {
            const int error = errno;
            ::close(fd);
            throw Error("cannot read the targets file " + fileName + ": " + std::strerror(error));
        }
        if (count == 0)
            break;
        text.append(buffer, static_cast<std::size_t>(count));
    }
    ::close(fd);
    return ParseTargets(text, fileName);
}

std::vector<TargetOutcome> CompareTargets(const DatabaseSchema& database1, const std::vector<Target>& targets,
                                          const CompareOptions& options, unsigned jobs) {
    std::vector<TargetOutcome> outcomes(targets.size());
    std::atomic<std::size_t> next{0};
    const auto work = [&] {
        for (std::size_t i; (i = next.fetch_add(1)) < targets.size();)
            outcomes[i] = CompareOne(database1, targets[i], options);
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
