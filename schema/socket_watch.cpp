#include "schema/socket_watch.h"

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <thread>
#include <unordered_map>
#include <unordered_set>

namespace korvista {

namespace {

using Clock = std::chrono::steady_clock;

// While a connect is under way its sockets are looked for this often, so that of two connects to the
// same server each sees its own socket appear soon after its start.
constexpr auto kClaimInterval = std::chrono::milliseconds(20);

} // namespace

struct SocketWatch::State {
    std::vector<PeerAddress> server;
    std::vector<SocketId> sockets;
    std::unordered_set<std::uint64_t> before; // while connecting: the sockets that were there already
    bool connecting = false;
    Clock::time_point connectStart;
    int depth = 0;
    Clock::time_point start;
    Clock::duration limit{};
    Clock::time_point check; // when to look next
    bool expired = false;
};

namespace {

void Shut(const std::vector<SocketId>& sockets) {
    for (const SocketId& socket : sockets)
        ShutDownSocket(socket);
}

// One thread for every watch of the process; it sleeps until the earliest call is due for a look. It
// also keeps the registry of the sockets each watch took, so that no two watches take the same one.
class Monitor {
public:
    static Monitor& Get() {
        // Never destroyed: a connection closed during static destruction may still come to it.
        static Monitor* monitor = new Monitor;
        return *monitor;
    }

    std::mutex mutex;

    // All with the mutex held.
    void Arm(const std::shared_ptr<SocketWatch::State>& state) {
        armed_.push_back(state);
        if (!started_) {
            std::thread([this] { Loop(); }).detach();
            started_ = true;
        }
        wake_.notify_one();
    }
    void Disarm(const SocketWatch::State* state) {
        armed_.erase(
            std::remove_if(armed_.begin(), armed_.end(),
                           [&](const std::shared_ptr<SocketWatch::State>& s) { return s.get() == state; }),
            armed_.end());
    }
    // Which of two connects to one server opened a socket cannot be seen, so connects to the same server
    // take turns; connects to other servers go on meanwhile. With the mutex held.
    void AwaitTurn(std::unique_lock<std::mutex>& lock, const std::vector<PeerAddress>& server) {
        const auto busy = [&] {
            for (const std::vector<PeerAddress>* other : reserved_)
                for (const PeerAddress& address : server)
                    if (std::find(other->begin(), other->end(), address) != other->end())
                        return true;
            return false;
        };
        turn_.wait(lock, [&] { return !busy(); });
        reserved_.push_back(&server);
    }
    void BeginConnect(SocketWatch::State* state) { connecting_.push_back(state); }
    void EndConnect(SocketWatch::State* state) {
        connecting_.erase(std::remove(connecting_.begin(), connecting_.end(), state), connecting_.end());
        reserved_.erase(std::remove(reserved_.begin(), reserved_.end(), &state->server), reserved_.end());
        turn_.notify_all();
    }
    void Release(const SocketWatch::State* state) {
        for (const SocketId& socket : state->sockets)
            claimed_.erase(socket.inode);
    }

    // Gives each socket to the server of a connecting watch, that appeared during its connect and that
    // no watch took, to that watch: connects to one server take turns, so only one can match.
    void Claim(const std::vector<OpenSocket>& open) {
        for (const OpenSocket& socket : open) {
            if (claimed_.count(socket.id.inode))
                continue;
            SocketWatch::State* owner = nullptr;
            for (SocketWatch::State* state : connecting_) {
                if (state->before.count(socket.id.inode) ||
                    std::find(state->server.begin(), state->server.end(), socket.peer) == state->server.end())
                    continue;
                if (!owner || std::pair(state->sockets.empty(), state->connectStart) >
                                  std::pair(owner->sockets.empty(), owner->connectStart))
                    owner = state;
            }
            if (!owner)
                continue;
            owner->sockets.push_back(socket.id);
            claimed_.emplace(socket.id.inode, owner);
        }
    }

private:
    void Loop() {
        std::unique_lock<std::mutex> lock(mutex);
        for (;;) {
            if (!connecting_.empty()) {
                // The scan reads /proc: not with the lock held.
                lock.unlock();
                const std::vector<OpenSocket> open = OpenTcpSockets();
                lock.lock();
                Claim(open);
            }
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
            if (!connecting_.empty())
                next = std::min(next, now + kClaimInterval);
            if (next == Clock::time_point::max())
                wake_.wait(lock);
            else
                wake_.wait_until(lock, next);
        }
    }

    static void Look(SocketWatch::State& state, Clock::time_point now) {
        if (state.connecting) {
            if (now - state.start < state.limit)
                state.check = state.start + state.limit;
            else
                Expire(state, now);
            return;
        }
        Clock::time_point since = state.start;
        for (const SocketId& socket : state.sockets)
            if (const std::optional<std::chrono::milliseconds> ago = SinceLastReceived(socket))
                since = std::max(since, now - *ago);
        if (now - since < state.limit) {
            state.check = since + state.limit;
            return;
        }
        Expire(state, now);
    }

    // A connection without sockets (a driver on a local file) waits on no server: nothing to cut.
    static void Expire(SocketWatch::State& state, Clock::time_point now) {
        if (state.sockets.empty()) {
            state.check = now + state.limit;
            return;
        }
        Shut(state.sockets);
        state.expired = true;
    }

    std::condition_variable wake_;
    std::vector<std::shared_ptr<SocketWatch::State>> armed_;
    std::vector<SocketWatch::State*> connecting_;
    std::vector<const std::vector<PeerAddress>*> reserved_; // the servers of the connects under way
    std::condition_variable turn_;
    std::unordered_map<std::uint64_t, const SocketWatch::State*> claimed_;
    bool started_ = false;
};

std::unordered_set<std::uint64_t> Inodes(const std::vector<OpenSocket>& open) {
    std::unordered_set<std::uint64_t> inodes;
    for (const OpenSocket& socket : open)
        inodes.insert(socket.id.inode);
    return inodes;
}

} // namespace

SocketWatch::SocketWatch() : state_(std::make_shared<State>()) {}

SocketWatch::~SocketWatch() {
    Monitor& monitor = Monitor::Get();
    const std::lock_guard<std::mutex> lock(monitor.mutex);
    monitor.Disarm(state_.get());
    monitor.Release(state_.get());
}

void SocketWatch::Connect(Duration limit, std::vector<PeerAddress> server,
                          const std::function<void()>& connect) {
    if (server.empty()) {
        // Where the server's address is not known no socket can be told for the connection's: rather no
        // watch than one that might cut another connection.
        Run(limit, connect);
        return;
    }
    Monitor& monitor = Monitor::Get();
    {
        std::unique_lock<std::mutex> lock(monitor.mutex);
        state_->server = std::move(server);
        monitor.AwaitTurn(lock, state_->server);
    }
    std::unordered_set<std::uint64_t> before = Inodes(OpenTcpSockets());
    {
        const std::lock_guard<std::mutex> lock(monitor.mutex);
        state_->before = std::move(before);
        state_->connecting = true;
        state_->connectStart = Clock::now();
        monitor.BeginConnect(state_.get());
    }
    struct Done {
        Monitor& monitor;
        State& state;
        ~Done() {
            // A last look, for the sockets of a connect quicker than the monitor's interval.
            const std::vector<OpenSocket> open = OpenTcpSockets();
            const std::lock_guard<std::mutex> lock(monitor.mutex);
            if (!state.expired)
                monitor.Claim(open);
            monitor.EndConnect(&state);
            state.connecting = false;
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

std::vector<SocketId> SocketWatch::Sockets() const {
    const std::lock_guard<std::mutex> lock(Monitor::Get().mutex);
    return state_->sockets;
}

} // namespace korvista
