#pragma once

// A TCP proxy on loopback between the tool and a test server, that breaks the connection part-way.

#include <chrono>
#include <cstddef>
#include <memory>

namespace korvista::testservers {

// Forwards every connection made to Port() to the target port on 127.0.0.1 until told to disrupt: then,
// once the server has sent a given number of bytes more through it (in the middle of an answer, or at the
// client's next request after them, as when a server goes while the connection is idle), it either cuts
// every connection or freezes it, forwarding nothing more either way while its kernel goes on
// acknowledging, as a server that stopped does. New connections after that are cut or left without an
// answer alike. The proxy runs on one thread of its own, which ends when the proxy is destroyed or its
// lifetime is over.
class LoopbackProxy {
public:
    enum class Mode { Cut, Freeze };
    enum class Moment { InAnswer, AtNextRequest };

    explicit LoopbackProxy(unsigned short targetPort, std::chrono::seconds lifetime = std::chrono::seconds(150));
    ~LoopbackProxy();
    LoopbackProxy(const LoopbackProxy&) = delete;
    LoopbackProxy& operator=(const LoopbackProxy&) = delete;

    unsigned short Port() const;
    // From now on, after `bytes` more bytes from the server, cut or freeze.
    void Disrupt(Mode mode, std::size_t bytes, Moment moment = Moment::InAnswer);
    // Whether the cut or the freeze has happened.
    bool Disrupted() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace korvista::testservers
