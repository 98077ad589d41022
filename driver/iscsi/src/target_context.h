// What every connection of one listener shares.
#pragma once

#include <atomic>
#include <cstdint>

#include "drive_queue.h"
#include "qpx/iscsi/target_config.h"
#include "unit_attentions.h"

namespace qpx::iscsi {

struct TargetContext {
    TargetContext(TargetConfig c, CommandRunner& runner) : config(std::move(c)), queue(runner) {}

    const OfferedDrive* drive_named(const std::string& name) const {
        for (const OfferedDrive& d : config.drives)
            if (target_name(config.name_prefix, d) == name) return &d;
        return nullptr;
    }

    const TargetConfig config;
    DriveQueue queue;
    UnitAttentions attentions;
    std::atomic<std::uint16_t> next_session_handle{1};
};

}  // namespace qpx::iscsi
