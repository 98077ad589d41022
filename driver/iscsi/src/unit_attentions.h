// The UNIT ATTENTION each connection still has to report. A medium change or
// reset that one connection learns of is kept for every other connection to
// the same drive, so each initiator hears of it once.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>

namespace qpx::iscsi {

struct Attention {
    std::uint8_t asc = 0;  // under sense key UNIT ATTENTION
};

class UnitAttentions {
public:
    // A new connection to `drive`: it starts with `initial` pending.
    void join(std::uint64_t connection, std::uint32_t drive, Attention initial);
    void leave(std::uint64_t connection);
    // Every connection to `drive` but `source` gets `attention` pending
    // (replacing what was pending).
    void raise_for_others(std::uint32_t drive, std::uint64_t source, Attention attention);
    // The pending attention of `connection`, cleared.
    std::optional<Attention> take(std::uint64_t connection);

private:
    struct Entry {
        std::uint32_t drive;
        std::optional<Attention> pending;
    };
    std::mutex mutex_;
    std::map<std::uint64_t, Entry> entries_;
};

}  // namespace qpx::iscsi
