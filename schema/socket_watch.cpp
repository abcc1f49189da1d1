#include "schema/socket_watch.h"

#include <dirent.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace korvista {

namespace {

using Clock = std::chrono::steady_clock;

struct Socket {
    int fd;
    ino_t inode;
};

// The sockets open in the process right now.
std::vector<Socket> OpenSockets() {
    std::vector<Socket> sockets;
    DIR* dir = ::opendir("/proc/self/fd");
    if (!dir)
        return sockets;
    while (const dirent* entry = ::readdir(dir)) {
        char* end = nullptr;
        const long fd = std::strtol(entry->d_name, &end, 10);
        if (end == entry->d_name || *end != '\0' || fd == ::dirfd(dir))
            continue;
        struct stat info {};
        if (::fstat(static_cast<int>(fd), &info) == 0 && S_ISSOCK(info.st_mode))
            sockets.push_back({static_cast<int>(fd), info.st_ino});
    }
    ::closedir(dir);
    return sockets;
}

std::vector<Socket> NewSockets(const std::vector<Socket>& before) {
    std::vector<Socket> result;
    for (const Socket& socket : OpenSockets())
        if (std::none_of(before.begin(), before.end(), [&](const Socket& old) { return old.inode == socket.inode; }))
            result.push_back(socket);
    return result;
}

void Shut(const std::vector<Socket>& sockets) {
    for (const Socket& socket : sockets) {
        // The descriptor may have been closed and its number given to another file since.
        struct stat info {};
        if (::fstat(socket.fd, &info) == 0 && S_ISSOCK(info.st_mode) && info.st_ino == socket.inode)
            ::shutdown(socket.fd, SHUT_RDWR);
    }
}

// When the socket last received data; nullopt for a socket that is no TCP socket.
std::optional<Clock::time_point> LastReceived(const Socket& socket, Clock::time_point now) {
    tcp_info info{};
    socklen_t length = sizeof info;
    if (::getsockopt(socket.fd, IPPROTO_TCP, TCP_INFO, &info, &length) != 0)
        return std::nullopt;
    return now - std::chrono::milliseconds(info.tcpi_last_data_recv);
}

} // namespace

struct SocketWatch::State {
    std::vector<Socket> sockets;
    std::vector<Socket> before; // while connecting: the sockets that were there already
    bool connecting = false;
    int depth = 0;
    Clock::time_point start;
    Clock::duration limit{};
    Clock::time_point check; // when to look next
    bool expired = false;
};

namespace {

// One thread for every watch of the process; it sleeps until the earliest call is due for a look.
class Monitor {
public:
    static Monitor& Get() {
        // Never destroyed: a connection closed during static destruction may still come to it.
        static Monitor* monitor = new Monitor;
        return *monitor;
    }

    std::mutex mutex;

    // Both with the mutex held.
    void Arm(const std::shared_ptr<SocketWatch::State>& state) {
        armed_.push_back(state);
        if (!started_) {
            std::thread([this] { Loop(); }).detach();
            started_ = true;
        }
        wake_.notify_one();
    }
    void Disarm(const SocketWatch::State* state) {
        armed_.erase(std::remove_if(armed_.begin(), armed_.end(),
                                    [&](const std::shared_ptr<SocketWatch::State>& s) { return s.get() == state; }),
                     armed_.end());
    }

private:
    void Loop() {
        std::unique_lock<std::mutex> lock(mutex);
        for (;;) {
            const Clock::time_point now = Clock::now();
            Clock::time_point next = Clock::time_point::max();
            for (const auto& state : armed_) {
                if (state->expired)
                    continue;
                if (state->check <= now)
                    Look(*state, now);
                if (!state->expired)
                    next = std::min(next, state->check);
            }
            if (next == Clock::time_point::max())
                wake_.wait(lock);
            else
                wake_.wait_until(lock, next);
        }
    }

    static void Look(SocketWatch::State& state, Clock::time_point now) {
        if (state.connecting) {
            if (now - state.start < state.limit) {
                state.check = state.start + state.limit;
                return;
            }
            // Connects take turns: what appeared since the connect began is its own.
            const std::vector<Socket> sockets = NewSockets(state.before);
            Expire(state, sockets, now);
            return;
        }
        Clock::time_point since = state.start;
        for (const Socket& socket : state.sockets)
            if (const std::optional<Clock::time_point> received = LastReceived(socket, now))
                since = std::max(since, *received);
        if (now - since < state.limit) {
            state.check = since + state.limit;
            return;
        }
        Expire(state, state.sockets, now);
    }

    // A connection without sockets (a driver on a local file) waits on no server: nothing to cut.
    static void Expire(SocketWatch::State& state, const std::vector<Socket>& sockets, Clock::time_point now) {
        if (sockets.empty()) {
            state.check = now + state.limit;
            return;
        }
        Shut(sockets);
        state.expired = true;
    }

    std::condition_variable wake_;
    std::vector<std::shared_ptr<SocketWatch::State>> armed_;
    bool started_ = false;
};

} // namespace

SocketWatch::SocketWatch() : state_(std::make_shared<State>()) {}

SocketWatch::~SocketWatch() {
    Monitor& monitor = Monitor::Get();
    const std::lock_guard<std::mutex> lock(monitor.mutex);
    monitor.Disarm(state_.get());
}

void SocketWatch::Connect(Duration limit, const std::function<void()>& connect) {
    static std::mutex turns;
    const std::lock_guard<std::mutex> turn(turns);
    Monitor& monitor = Monitor::Get();
    {
        const std::lock_guard<std::mutex> lock(monitor.mutex);
        state_->before = OpenSockets();
        state_->connecting = true;
    }
    struct Done {
        Monitor& monitor;
        State& state;
        ~Done() {
            const std::lock_guard<std::mutex> lock(monitor.mutex);
            state.connecting = false;
            if (!state.expired)
                state.sockets = NewSockets(state.before);
            state.before.clear();
        }
    } done{monitor, *state_};
    Run(limit, connect);
}

void SocketWatch::Run(Duration limit, const std::function<void()>& call) {
    Monitor& monitor = Monitor::Get();
    {
        const std::lock_guard<std::mutex> lock(monitor.mutex);
        if (state_->depth++ == 0) {
            state_->start = Clock::now();
            state_->limit = limit;
            state_->check = state_->start + limit;
            monitor.Arm(state_);
        }
    }
    struct Disarm {
        Monitor& monitor;
        State& state;
        ~Disarm() {
            const std::lock_guard<std::mutex> lock(monitor.mutex);
            if (--state.depth == 0)
                monitor.Disarm(&state);
        }
    } disarm{monitor, *state_};
    call();
}

bool SocketWatch::Expired() const {
    const std::lock_guard<std::mutex> lock(Monitor::Get().mutex);
    return state_->expired;
}

void SocketWatch::ShutDown() {
    const std::lock_guard<std::mutex> lock(Monitor::Get().mutex);
    Shut(state_->sockets);
}

std::size_t SocketWatch::SocketCount() const {
    const std::lock_guard<std::mutex> lock(Monitor::Get().mutex);
    return state_->sockets.size();
}

} // namespace korvista
