// Medium changes per client connection. A drive reports "medium may have
// changed" (UNIT ATTENTION) once; the port host hands that report to every
// connection that had the drive open when the medium changed, each once,
// instead of letting the first command to arrive swallow it for everybody.
//
// Used from the serialising context only.
#pragma once

#include <cstdint>
#include <optional>
#include <unordered_map>
#include <vector>

namespace qpx::host {

using ConnectionId = std::uint64_t;

class AttentionTracker {
public:
    explicit AttentionTracker(std::uint32_t drives) : changed_at_(drives, 0) {}

    // A connection opened a device of the adapter: it has seen every change so far.
    void attach(ConnectionId connection);
    void detach(ConnectionId connection);

    // The drive reported a medium change; `told` already got the report.
    void medium_changed(std::uint32_t drive, std::optional<ConnectionId> told);

    // Whether the connection still has to be told of the drive's latest
    // change; true once per change (the connection counts as told afterwards).
    bool take_pending(ConnectionId connection, std::uint32_t drive);

private:
    struct Seen {
        std::uint64_t opened = 0;
        std::unordered_map<std::uint32_t, std::uint64_t> drives;
    };
    std::uint64_t clock_ = 0;
    std::vector<std::uint64_t> changed_at_;
    std::unordered_map<ConnectionId, Seen> connections_;
};

}  // namespace qpx::host
