#include "odbc/loopback_proxy.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

namespace korvista::testservers {

namespace {

using Clock = std::chrono::steady_clock;

sockaddr_in Loopback(unsigned short port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    return address;
}

bool SendAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t sent = ::send(fd, data, size, MSG_NOSIGNAL);
        if (sent <= 0)
            return false;
        data += sent;
        size -= static_cast<std::size_t>(sent);
    }
    return true;
}

} // namespace

struct LoopbackProxy::Impl {
    struct Pair {
        int client;
        int server;
    };

    int listener = -1;
    unsigned short port = 0;
    unsigned short target = 0;
    Clock::time_point deadline;
    std::atomic<bool> stop{false};
    std::atomic<bool> disrupted{false};
    std::mutex mutex; // guards the plan below
    bool armed = false;
    Mode mode = Mode::Cut;
    Moment moment = Moment::InAnswer;
    std::size_t remaining = 0;
    bool spent = false; // the bytes have passed; waiting for the client's next request
    std::vector<Pair> pairs;
    std::vector<int> held; // frozen: kept open, never read
    std::thread thread;

    void CloseAll() {
        for (const Pair& pair : pairs)
            for (int fd : {pair.client, pair.server}) {
                ::shutdown(fd, SHUT_RDWR);
                ::close(fd);
            }
        pairs.clear();
        for (int fd : held)
            ::close(fd);
        held.clear();
    }

    // How much of the server's next answer may pass.
    std::size_t Allowance(std::size_t wanted) {
        const std::lock_guard<std::mutex> lock(mutex);
        return armed && moment == Moment::InAnswer ? std::min(wanted, remaining) : wanted;
    }

    void Forwarded(std::size_t bytes) {
        const std::lock_guard<std::mutex> lock(mutex);
        if (!armed || spent)
            return;
        remaining -= std::min(bytes, remaining);
        if (remaining > 0)
            return;
        if (moment == Moment::AtNextRequest)
            spent = true;
        else
            DisruptNow();
    }

    // Whether the client's request may pass; a spent budget disrupts instead.
    bool MayAsk() {
        const std::lock_guard<std::mutex> lock(mutex);
        if (!spent)
            return true;
        DisruptNow();
        return false;
    }

    // With the mutex held.
    void DisruptNow() {
        disrupted = true;
        if (mode == Mode::Cut) {
            CloseAll();
            return;
        }
        for (const Pair& pair : pairs) {
            held.push_back(pair.client);
            held.push_back(pair.server);
        }
        pairs.clear();
    }

    void Accept() {
        const int client = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0)
            return;
        if (disrupted) {
            const std::lock_guard<std::mutex> lock(mutex);
            if (mode == Mode::Cut)
                ::close(client);
            else
                held.push_back(client);
            return;
        }
        const int server = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const sockaddr_in address = Loopback(target);
        if (::connect(server, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
            ::close(server);
            ::close(client);
            return;
        }
        pairs.push_back({client, server});
    }

    // Moves what one side sent to the other; false when the connection ended.
    bool Pump(const Pair& pair, bool fromServer) {
        char buffer[65536];
        if (!fromServer && !MayAsk())
            return true;
        const std::size_t size = fromServer ? Allowance(sizeof buffer) : sizeof buffer;
        if (size == 0)
            return true;
        const ssize_t got = ::recv(fromServer ? pair.server : pair.client, buffer, size, 0);
        if (got <= 0 || !SendAll(fromServer ? pair.client : pair.server, buffer, static_cast<std::size_t>(got)))
            return false;
        if (fromServer)
            Forwarded(static_cast<std::size_t>(got));
        return true;
    }

    void Run() {
        while (!stop && Clock::now() < deadline) {
            std::vector<pollfd> polled{{listener, POLLIN, 0}};
            for (const Pair& pair : pairs) {
                polled.push_back({pair.client, POLLIN, 0});
                polled.push_back({pair.server, POLLIN, 0});
            }
            if (::poll(polled.data(), polled.size(), 100) <= 0)
                continue;
            const std::vector<Pair> current = pairs;
            std::vector<int> ended;
            for (std::size_t i = 0; i < current.size(); ++i) {
                for (const bool fromServer : {false, true}) {
                    const pollfd& p = polled[1 + 2 * i + (fromServer ? 1 : 0)];
                    if ((p.revents & (POLLIN | POLLHUP | POLLERR)) == 0 || disrupted)
                        continue;
                    if (!Pump(current[i], fromServer))
                        ended.push_back(current[i].client);
                }
            }
            for (int client : ended) {
                const auto it = std::find_if(pairs.begin(), pairs.end(), [&](const Pair& p) { return p.client == client; });
                if (it == pairs.end())
                    continue;
                ::close(it->client);
                ::close(it->server);
                pairs.erase(it);
            }
            if (polled[0].revents & POLLIN)
                Accept();
        }
        const std::lock_guard<std::mutex> lock(mutex);
        CloseAll();
    }
};

LoopbackProxy::LoopbackProxy(unsigned short targetPort, std::chrono::seconds lifetime) : impl_(new Impl) {
    impl_->target = targetPort;
    impl_->deadline = Clock::now() + lifetime;
    impl_->listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = Loopback(0);
    socklen_t length = sizeof address;
    if (::bind(impl_->listener, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::listen(impl_->listener, 16) != 0 ||
        ::getsockname(impl_->listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ::close(impl_->listener);
        throw std::runtime_error("the proxy cannot listen on loopback");
    }
    impl_->port = ntohs(address.sin_port);
    impl_->thread = std::thread([this] { impl_->Run(); });
}

LoopbackProxy::~LoopbackProxy() {
    impl_->stop = true;
    impl_->thread.join();
    ::close(impl_->listener);
}

unsigned short LoopbackProxy::Port() const {
    return impl_->port;
}

void LoopbackProxy::Disrupt(Mode mode, std::size_t bytes, Moment moment) {
    const std::lock_guard<std::mutex> lock(impl_->mutex);
    impl_->armed = true;
    impl_->mode = mode;
    impl_->moment = moment;
    impl_->remaining = std::max<std::size_t>(bytes, 1);
}

bool LoopbackProxy::Disrupted() const {
    return impl_->disrupted;
}

} // namespace korvista::testservers
