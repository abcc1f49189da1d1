// The client-side bound on a silent server, over loopback sockets of the test's own: a listener whose
// kernel completes the handshake and acknowledges, but which never answers unless told to.

#include "schema/socket_watch.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace korvista {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

class Listener {
public:
    Listener() {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (::bind(fd_, reinterpret_cast<sockaddr*>(&address), length) != 0 || ::listen(fd_, 8) != 0 ||
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
    watch.Connect(300ms, [&] {
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
    watch.Connect(5s, [&] { fd = listener.Connect(); });
    EXPECT_FALSE(watch.Expired());
    EXPECT_EQ(watch.SocketCount(), 1u);

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
    watch.Connect(5s, [&] { fd = listener.Connect(); });
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
    none.Connect(100ms, [] { std::this_thread::sleep_for(300ms); });
    none.Run(100ms, [] { std::this_thread::sleep_for(300ms); });
    EXPECT_FALSE(watch.Expired());
    EXPECT_FALSE(none.Expired());
    EXPECT_EQ(none.SocketCount(), 0u);
    ::close(fd);
}

} // namespace
} // namespace korvista
