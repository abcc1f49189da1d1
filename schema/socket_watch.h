#pragma once

// A client-side bound on how long a database driver waits on a server that has gone silent.

#include "schema/platform_sockets.h"

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <vector>

namespace korvista {

// A driver that hands its timeouts only to the server waits on a server that stopped answering for as
// long as TCP keeps the connection, which is for good while the server's kernel (or a proxy's) still
// acknowledges. A watch takes as the connection's the sockets to the server's addresses that the driver
// opens while connecting; when a call has waited on them longer than its limit without receiving a byte,
// it shuts them down (shutdown, not close: the descriptors stay the driver's) and the blocked call
// returns with the driver's error.
class SocketWatch {
public:
    using Duration = std::chrono::milliseconds;

    SocketWatch();
    ~SocketWatch();
    SocketWatch(const SocketWatch&) = delete;
    SocketWatch& operator=(const SocketWatch&) = delete;

    // Runs the driver's connect call, bounded by limit in all, and takes as this connection's the sockets
    // to one of the server's addresses that appeared meanwhile and that no other watch took. Connects to
    // other servers run at the same time; connects to one server take turns, since which of them opened a
    // socket cannot be seen. Without addresses the watch takes nothing and cuts nothing.
    void Connect(Duration limit, std::vector<PeerAddress> server, const std::function<void()>& connect);

    // Runs a call on the connection. Once the call has waited limit since its start or since the last
    // byte received, whichever is later, the sockets are shut down. A call inside a call is bounded by
    // the outer one.
    void Run(Duration limit, const std::function<void()>& call);

    // Whether a call outlived its limit. The sockets are shut down then: the connection is dead.
    bool Expired() const;

    // Shuts the sockets down now, so that closing a connection given up waits on nothing.
    void ShutDown();

    // The sockets the connect took.
    std::vector<SocketId> Sockets() const;

    struct State;

private:
    std::shared_ptr<State> state_;
};

} // namespace korvista
