// The client-side bound on a silent server, over loopback sockets of the test's own: a listener whose
// kernel completes the handshake and acknowledges, but which never answers unless told to.

#include "schema/socket_watch.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <latch>
#include <thread>

namespace korvista {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

class Listener {
public:
    explicit Listener(int backlog = 8) {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (::bind(fd_, reinterpret_cast<sockaddr*>(&address), length) != 0 || ::listen(fd_, backlog) != 0 ||
            ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            ADD_FAILURE() << "no loopback listener";
        port_ = ntohs(address.sin_port);
    }
    ~Listener() { ::close(fd_); }

    int Connect() const {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(port_);
        EXPECT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        return fd;
    }
    int Accept() const { return ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC); }
    std::vector<PeerAddress> Peer() const { return {PeerAddress::V4({127, 0, 0, 1}, port_)}; }

private:
    int fd_ = -1;
    unsigned short port_ = 0;
};

// What a blocked driver read gives back: 0 once the socket is shut down.
ssize_t Read(int fd) {
    char byte = 0;
    return ::recv(fd, &byte, 1, 0);
}

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

TEST(SocketWatch, AConnectThatGetsNoAnswerIsCutAtItsLimitAndOnlyItsOwnSocket) {
    Listener listener;
    const int earlier = listener.Connect(); // a socket of someone else's, open before the connect
    const int earlierPeer = listener.Accept();
    SocketWatch watch;
    int fd = -1;
    ssize_t read = -1;
    const Clock::time_point start = Clock::now();
    watch.Connect(300ms, listener.Peer(), [&] {
        fd = listener.Connect();
        read = Read(fd); // a greeting that never comes
    });
    EXPECT_EQ(read, 0);
    EXPECT_TRUE(watch.Expired());
    EXPECT_GE(SecondsSince(start), 0.3);
    EXPECT_LT(SecondsSince(start), 5.0);

    ASSERT_EQ(::send(earlierPeer, "x", 1, 0), 1);
    EXPECT_EQ(Read(earlier), 1) << "a socket that was open before the connect is left alone";
    for (int socket : {fd, earlier, earlierPeer})
        ::close(socket);
}

TEST(SocketWatch, ACallOnASilentServerIsCutAndTheWatchStaysExpired) {
    Listener listener;
    SocketWatch watch;
    int fd = -1;
    watch.Connect(5s, listener.Peer(), [&] { fd = listener.Connect(); });
    EXPECT_FALSE(watch.Expired());
    EXPECT_EQ(watch.Sockets().size(), 1u);

    ssize_t read = -1;
    const Clock::time_point start = Clock::now();
    watch.Run(300ms, [&] { read = Read(fd); });
    EXPECT_EQ(read, 0);
    EXPECT_TRUE(watch.Expired());
    EXPECT_LT(SecondsSince(start), 5.0);
    EXPECT_LT(::send(fd, "x", 1, MSG_NOSIGNAL), 0) << "shut down both ways";
    ::close(fd);
}

TEST(SocketWatch, AServerThatKeepsAnsweringIsNotCutHoweverLongTheCall) {
    Listener listener;
    SocketWatch watch;
    int fd = -1;
    watch.Connect(5s, listener.Peer(), [&] { fd = listener.Connect(); });
    std::thread server([&] {
        const int peer = listener.Accept();
        for (int i = 0; i < 10; ++i) {
            std::this_thread::sleep_for(100ms);
            ::send(peer, "x", 1, MSG_NOSIGNAL);
        }
        ::close(peer);
    });
    int received = 0;
    const Clock::time_point start = Clock::now();
    watch.Run(400ms, [&] {
        while (Read(fd) == 1)
            ++received;
    });
    server.join();
    EXPECT_EQ(received, 10);
    EXPECT_FALSE(watch.Expired());
    EXPECT_GE(SecondsSince(start), 0.9) << "longer than the limit, without a silence as long";

    // A quick call passes untouched, and so does a slow one on a connection without sockets: a driver on
    // a local file waits on no server.
    watch.Run(300ms, [] {});
    SocketWatch none;
    none.Connect(100ms, {}, [] { std::this_thread::sleep_for(300ms); });
    none.Run(100ms, [] { std::this_thread::sleep_for(300ms); });
    EXPECT_FALSE(watch.Expired());
    EXPECT_FALSE(none.Expired());
    EXPECT_EQ(none.Sockets().size(), 0u);
    ::close(fd);
}

SocketId IdOf(int fd) {
    struct stat info {};
    EXPECT_EQ(::fstat(fd, &info), 0);
    return {fd, static_cast<std::uint64_t>(info.st_ino)};
}

// Four connects at once, two to servers of their own and two to one server: each watch takes its own
// socket and no other. The connects to other servers overlap; the two to one server take turns.
TEST(SocketWatch, EachOfConnectsAtTheSameTimeTakesExactlyItsOwnSocket) {
    Listener first, second, shared;
    std::latch opened(3); // the connects to three servers have all opened their sockets
    SocketWatch watches[4];
    int fds[4] = {-1, -1, -1, -1};
    const Listener* servers[4] = {&first, &second, &shared, &shared};
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i)
        threads.emplace_back([&, i] {
            watches[i].Connect(5s, servers[i]->Peer(), [&] {
                fds[i] = servers[i]->Connect();
                if (i < 3)
                    opened.arrive_and_wait();
            });
        });
    for (std::thread& thread : threads)
        thread.join();
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(watches[i].Sockets(), std::vector<SocketId>{IdOf(fds[i])}) << "watch " << i;

    // A connect to the shared server begun while another one to it is under way waits for it, and then
    // takes its own socket; the shared server's sockets of the watches above are never taken again.
    SocketWatch late, meanwhile;
    int lateFd = -1, meanwhileFd = -1;
    std::thread other;
    late.Connect(5s, shared.Peer(), [&] {
        other = std::thread(
            [&] { meanwhile.Connect(5s, shared.Peer(), [&] { meanwhileFd = shared.Connect(); }); });
        std::this_thread::sleep_for(100ms);
        EXPECT_EQ(meanwhileFd, -1) << "a connect to the same server did not wait its turn";
        lateFd = shared.Connect();
    });
    other.join();
    EXPECT_EQ(meanwhile.Sockets(), std::vector<SocketId>{IdOf(meanwhileFd)});
    EXPECT_EQ(late.Sockets(), std::vector<SocketId>{IdOf(lateFd)});
    for (int fd : {fds[0], fds[1], fds[2], fds[3], lateFd, meanwhileFd})
        ::close(fd);
}

// A connect that hangs in the TCP handshake (the listener's queue is full, so its SYNs are dropped), and
// one to a server that never greets, both at once: each is cut at its limit, neither waits for the other.
TEST(SocketWatch, ConnectsToSilentServersAtTheSameTimeEndWithinOneLimit) {
    Listener unanswered(0), silent;
    // Fill the queue that nobody accepts from; the next handshake is never completed.
    std::vector<int> filling;
    for (int i = 0; i < 2; ++i) {
        filling.push_back(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(unanswered.Peer()[0].port);
        ::connect(filling.back(), reinterpret_cast<sockaddr*>(&address), sizeof address);
    }
    std::this_thread::sleep_for(100ms);

    const auto connectTo = [](const Listener& listener, bool greeting) {
        return std::async(std::launch::async, [&listener, greeting] {
            SocketWatch watch;
            int fd = -1;
            const Clock::time_point start = Clock::now();
            watch.Connect(1s, listener.Peer(), [&] {
                fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
                sockaddr_in address{};
                address.sin_family = AF_INET;
                address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
                address.sin_port = htons(listener.Peer()[0].port);
                if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 && greeting)
                    Read(fd);
            });
            const double seconds = SecondsSince(start);
            EXPECT_TRUE(watch.Expired()) << (greeting ? "silent" : "unanswered");
            ::close(fd);
            return seconds;
        });
    };
    const Clock::time_point start = Clock::now();
    std::future<double> handshake = connectTo(unanswered, false);
    std::future<double> greeting = connectTo(silent, true);
    EXPECT_GE(handshake.get(), 1.0);
    EXPECT_GE(greeting.get(), 1.0);
    EXPECT_LT(SecondsSince(start), 1.8) << "the connects took turns";
    for (int fd : filling)
        ::close(fd);
}

} // namespace
} // namespace korvista
