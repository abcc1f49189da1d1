#pragma once

// What the socket watch needs of the operating system: the process's TCP sockets with their remote
// addresses, when each last received data, and shutting one down. One implementation file per system
// (platform_sockets_linux.cpp); nothing else in the watch depends on it.

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <vector>

namespace korvista {

// A TCP endpoint: an IPv4 address as an IPv4-mapped IPv6 one, so that both families compare alike.
struct PeerAddress {
    std::array<std::uint8_t, 16> address{};
    std::uint16_t port = 0;

    static PeerAddress V4(const std::uint8_t (&bytes)[4], std::uint16_t port);
    static PeerAddress V6(const std::uint8_t (&bytes)[16], std::uint16_t port);
    bool operator==(const PeerAddress&) const = default;
};

// A socket descriptor of the process and the kernel's identity of the socket behind it, which stays
// the same while the number may be closed and handed to another file.
struct SocketId {
    int fd = -1;
    std::uint64_t inode = 0;
    bool operator==(const SocketId&) const = default;
};

struct OpenSocket {
    SocketId id;
    PeerAddress peer; // also of a socket whose connect is still under way
};

// Every TCP socket of the process that has a remote address, listening ones left out.
std::vector<OpenSocket> OpenTcpSockets();

// Shuts the socket down both ways, unless its descriptor now stands for another file.
void ShutDownSocket(const SocketId& socket);

// How long ago the socket last received data; nullopt when it is no TCP socket (any longer).
std::optional<std::chrono::milliseconds> SinceLastReceived(const SocketId& socket);

} // namespace korvista
