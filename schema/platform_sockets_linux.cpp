#include "schema/platform_sockets.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <unordered_map>

namespace korvista {

PeerAddress PeerAddress::V4(const std::uint8_t (&bytes)[4], std::uint16_t port) {
    PeerAddress peer;
    peer.address[10] = peer.address[11] = 0xff;
    std::memcpy(peer.address.data() + 12, bytes, 4);
    peer.port = port;
    return peer;
}

PeerAddress PeerAddress::V6(const std::uint8_t (&bytes)[16], std::uint16_t port) {
    PeerAddress peer;
    std::memcpy(peer.address.data(), bytes, 16);
    peer.port = port;
    return peer;
}

namespace {

std::optional<PeerAddress> FromSockaddr(const sockaddr_storage& storage) {
    if (storage.ss_family == AF_INET) {
        const auto& in = reinterpret_cast<const sockaddr_in&>(storage);
        std::uint8_t bytes[4];
        std::memcpy(bytes, &in.sin_addr, 4);
        return PeerAddress::V4(bytes, ntohs(in.sin_port));
    }
    if (storage.ss_family == AF_INET6) {
        const auto& in6 = reinterpret_cast<const sockaddr_in6&>(storage);
        std::uint8_t bytes[16];
        std::memcpy(bytes, &in6.sin6_addr, 16);
        return PeerAddress::V6(bytes, ntohs(in6.sin6_port));
    }
    return std::nullopt;
}

// The kernel's table lines "sl local rem st ... uid timeout inode": the remote address as 32-bit words
// in hex, each in the machine's byte order, the port in hex.
void ReadSocketTable(const char* path, std::unordered_map<std::uint64_t, PeerAddress>& peers) {
    std::ifstream table(path);
    std::string line;
    std::getline(table, line); // the header
    while (std::getline(table, line)) {
        char local[64] = {}, remote[64] = {};
        unsigned state = 0;
        unsigned long long inode = 0;
        if (std::sscanf(line.c_str(), " %*s %63s %63s %x %*s %*s %*s %*s %*s %llu", local, remote, &state,
                        &inode) != 4)
            continue;
        char* colon = std::strchr(remote, ':');
        if (!colon || inode == 0)
            continue;
        *colon = '\0';
        const std::size_t words = std::strlen(remote) / 8;
        if (words != 1 && words != 4)
            continue;
        std::uint8_t bytes[16] = {};
        for (std::size_t w = 0; w < words; ++w) {
            const std::string word(remote + 8 * w, 8);
            const auto value = static_cast<std::uint32_t>(std::strtoul(word.c_str(), nullptr, 16));
            std::memcpy(bytes + 4 * w, &value, 4);
        }
        const auto port = static_cast<std::uint16_t>(std::strtoul(colon + 1, nullptr, 16));
        if (words == 1) {
            std::uint8_t v4[4];
            std::memcpy(v4, bytes, 4);
            peers[inode] = PeerAddress::V4(v4, port);
        } else {
            peers[inode] = PeerAddress::V6(bytes, port);
        }
    }
}

} // namespace

std::vector<OpenSocket> OpenTcpSockets() {
    std::vector<OpenSocket> sockets;
    std::vector<SocketId> unconnected;
    DIR* dir = ::opendir("/proc/self/fd");
    if (!dir)
        return sockets;
    while (const dirent* entry = ::readdir(dir)) {
        char* end = nullptr;
        const long fd = std::strtol(entry->d_name, &end, 10);
        if (end == entry->d_name || *end != '\0' || fd == ::dirfd(dir))
            continue;
        struct stat info {};
        if (::fstat(static_cast<int>(fd), &info) != 0 || !S_ISSOCK(info.st_mode))
            continue;
        const SocketId id{static_cast<int>(fd), static_cast<std::uint64_t>(info.st_ino)};
        sockaddr_storage storage{};
        socklen_t length = sizeof storage;
        if (::getpeername(id.fd, reinterpret_cast<sockaddr*>(&storage), &length) == 0) {
            if (const std::optional<PeerAddress> peer = FromSockaddr(storage))
                sockets.push_back({id, *peer});
        } else if (errno == ENOTCONN) {
            // A TCP connect still under way has no peer name yet; the kernel's tables know where it goes.
            unconnected.push_back(id);
        }
    }
    ::closedir(dir);
    if (unconnected.empty())
        return sockets;
    std::unordered_map<std::uint64_t, PeerAddress> peers;
    ReadSocketTable("/proc/net/tcp", peers);
    ReadSocketTable("/proc/net/tcp6", peers);
    const PeerAddress nowhere;
    const PeerAddress nowhereV4 = PeerAddress::V4({0, 0, 0, 0}, 0);
    for (const SocketId& id : unconnected) {
        const auto found = peers.find(id.inode);
        // A socket that is not connecting, or a listening one, has an empty remote address there.
        if (found != peers.end() && found->second != nowhere && found->second != nowhereV4)
            sockets.push_back({id, found->second});
    }
    return sockets;
}

void ShutDownSocket(const SocketId& socket) {
    struct stat info {};
    if (::fstat(socket.fd, &info) == 0 && S_ISSOCK(info.st_mode) && info.st_ino == socket.inode)
        ::shutdown(socket.fd, SHUT_RDWR);
}

std::optional<std::chrono::milliseconds> SinceLastReceived(const SocketId& socket) {
    struct stat info {};
    if (::fstat(socket.fd, &info) != 0 || info.st_ino != socket.inode)
        return std::nullopt;
    tcp_info tcp{};
    socklen_t length = sizeof tcp;
    if (::getsockopt(socket.fd, IPPROTO_TCP, TCP_INFO, &tcp, &length) != 0)
        return std::nullopt;
    return std::chrono::milliseconds(tcp.tcpi_last_data_recv);
}

} // namespace korvista
