// Serial ports that come and go, as a flashing station sees them: the device
// paths that match a set of patterns, and a wait that ends when one of them
// may have appeared or gone. The system says when; nothing polls.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace vardel {

struct WatchedPort {
    std::string path;
    // Every matching name of the device, path first: an adapter's names
    // appear one after another, and a device number is given again to the
    // next device once one has gone.
    std::vector<std::string> names;
    bool operator==(const WatchedPort&) const = default;
};

class PortWatch {
public:
    virtual ~PortWatch() = default;
    PortWatch() = default;
    PortWatch(const PortWatch&) = delete;
    PortWatch& operator=(const PortWatch&) = delete;

    // The matching ports now, one per device: where two names lead to the
    // same device (an adapter's stable link and the node it points to), its
    // path is the one of the earlier pattern, else the first in name order.
    [[nodiscard]] virtual std::vector<WatchedPort> Present() = 0;
    // Waits at most `limit` for a change in the watched places; whether one
    // came (Present() may then answer differently).
    virtual bool Wait(std::chrono::milliseconds limit) = 0;
};

// Watches `patterns` (shell patterns of device paths, "*" and "?" in their
// last part); nullptr with `error` saying why when the system cannot watch.
[[nodiscard]] std::unique_ptr<PortWatch> WatchPorts(const std::vector<std::string>& patterns,
                                                    std::string& error);

// What a station watches when told nothing: the names that stay with an
// adapter, then the adapters' own nodes.
[[nodiscard]] std::vector<std::string> DefaultPortPatterns();

}  // namespace vardel
