// korvista-cli --targets over silent servers under the default limits. Not a test. Run:
//   build/<dir>/bench/silent_targets_benchmark [targets]
// Opens [targets] (6) loopback listeners that take connections and never answer, then runs
// korvista-cli --targets --jobs 8 against all of them and, as the floor, against one of them alone, and
// prints both wall times and their ratio. Connects to different servers go on at the same time, so the
// ratio stays near 1 however many servers are silent; connects that took turns would give [targets].

#include "benchmark_support.h"

#include <netinet/in.h>
#include <sys/socket.h>
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

// Listens on 127.0.0.1; the kernel completes each handshake and nobody ever reads or writes.
class SilentListener {
public:
    SilentListener() : fd_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(fd_, 16) != 0 || ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            throw std::runtime_error("cannot listen on 127.0.0.1");
        port_ = ntohs(address.sin_port);
    }
    ~SilentListener() { ::close(fd_); }
    SilentListener(const SilentListener&) = delete;
    SilentListener& operator=(const SilentListener&) = delete;
    int Port() const { return port_; }

private:
    int fd_;
    int port_ = 0;
};

std::string WriteTargets(const std::filesystem::path& file,
                         const std::vector<const SilentListener*>& servers) {
    std::ofstream out(file);
    for (std::size_t i = 0; i < servers.size(); ++i)
        out << "silent" << i << "\tDriver={PostgreSQL Unicode};Server=127.0.0.1;Port=" << servers[i]->Port()
            << ";Database=x;Uid=u;Pwd=p\n";
    out.close();
    if (!out)
        throw std::runtime_error("cannot write " + file.string());
    return file.string();
}

} // namespace

int main(int argc, char** argv) {
    const int targets = argc > 1 ? std::max(1, std::atoi(argv[1])) : 6;
    const auto dir =
        std::filesystem::temp_directory_path() / ("korvista-silent-bench-" + std::to_string(getpid()));
    try {
        std::filesystem::create_directories(dir);
        const std::string reference = (dir / "reference.db").string();
        korvista::bench::BuildDatabase(reference, 1, 3, false);
        std::vector<SilentListener> listeners(static_cast<std::size_t>(targets));
        std::vector<const SilentListener*> all;
        for (const SilentListener& listener : listeners)
            all.push_back(&listener);
        const std::string fleet = WriteTargets(dir / "fleet.tsv", all);
        const std::string one = WriteTargets(dir / "one.tsv", {all.front()});
        const std::string db1 = "Provider=SQLite;Data Source=" + reference;

        const auto run = [&](const std::string& list) {
            return korvista::bench::RunChild(
                {KORVISTA_CLI_PATH, "--targets", list, "--jobs", "8", "--format", "tsv", db1});
        };
        const korvista::bench::ChildRun floor = run(one);
        const korvista::bench::ChildRun many = run(fleet);
        std::printf("korvista-cli --targets --jobs 8 against silent PostgreSQL servers, default limits\n");
        std::printf("  1 silent target  (exit status %d): %7.2f s wall\n", floor.status, floor.seconds);
        std::printf("  %d silent targets (exit status %d): %7.2f s wall\n", targets, many.status,
                    many.seconds);
        std::printf("  %d targets / 1 target:           %7.2fx  (taking turns would give %dx)\n", targets,
                    many.seconds / floor.seconds, targets);
        std::filesystem::remove_all(dir);
        return 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "silent_targets_benchmark: %s\n", error.what());
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
        return 1;
    }
}
