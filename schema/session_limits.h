#pragma once

// How long a provider session waits on its server: the limits of one session, given when it is opened.

#include <algorithm>
#include <chrono>

namespace korvista {

struct SessionLimits {
    // To log in, and for the answer to each request.
    std::chrono::seconds login{15};
    std::chrono::seconds request{30};
    // How much longer the client-side watch waits, so that a driver or a server that keeps the limits
    // itself answers first, with what it knows; never longer than the limit itself, so that a short
    // limit stays short.
    std::chrono::seconds grace{5};

    std::chrono::seconds Watched(std::chrono::seconds limit) const { return limit + std::min(grace, limit); }
    bool operator==(const SessionLimits&) const = default;
};

} // namespace korvista
