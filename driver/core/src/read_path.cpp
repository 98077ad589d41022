#include "read_path.h"

#include "be_fields.h"
#include "drive_opening.h"
#include "qpx/container/errors.h"
#include "read_data.h"
#include "sense.h"

namespace qpx::driver {
namespace {

using container::ContainerType;

// Containers whose reads decode blocks (or raw sectors) into a buffer set.
bool needs_buffer_set(const container::Container& medium) {
    switch (medium.header().container_type()) {
        case ContainerType::normal_blocks:
        case ContainerType::toc_normal_blocks:
        case ContainerType::track_table:
        case ContainerType::maximal_blocks: return true;
        default: return false;
    }
}

SrbStatus answer_read(ScsiRequest& request, const ReadOutcome& outcome) {
    request.transferred = outcome.delivered;
    if (!outcome.error && outcome.delivered == request.data.size()) return SrbStatus::success;
    // Stored data that cannot be decoded is a medium error; everything else
    // (defect map, a sector the container does not hold, a sector of the
    // wrong kind) is a short read.
    if (outcome.error == container::Errc::medium_error)
        return check_condition(request, sense::kMediumError, sense::kAscNone);
    return check_condition(request, sense::kNoSense, sense::kAscNone);
}

// The read work item.
void serve_read(AdapterState& adapter, Unit& unit, ReadServer serve) {
    ScsiRequest& request = *unit.current_request;
    SrbStatus status;
    if (const auto medium = unit.medium()) {
        container::BlockCache& cache =
            needs_buffer_set(*medium) ? adapter.pool.cache(unit.buffer_set) : unit.plain_cache;
        status = serve(*medium, cache, unit, request);
    } else {
        status = check_condition(request, sense::kNotReady, sense::kAscMediumNotPresent);
    }
    if (unit.has(unit_flag::abort)) {
        unit.clear(unit_flag::abort);
        unit.close_medium();
        request.transferred = 0;
        status = check_condition(request, sense::kAbortedCommand, sense::kAscResetOccurred);
    }
    // Once the done flag is set the host may complete the request and even
    // drop the adapter; only the host's signal is touched after it.
    CompletionSignal& signal = adapter.services.completion;
    request.status = status;
    unit.set(unit_flag::done);
    signal.read_finished();
}

}  // namespace

SrbStatus serve_read10(const container::Container& medium, container::BlockCache& cache, const Unit&,
                       ScsiRequest& request) {
    const std::uint32_t first = load_be32(request.cdb, 2);
    return answer_read(request, read_data(medium, cache, first, request.data));
}

SrbStatus accept_read(AdapterState& adapter, Unit& unit, ScsiRequest& request, ReadServer serve) {
    if (unit.has(unit_flag::busy)) return SrbStatus::busy;
    const SrbStatus ready = verify_drive_status(adapter, unit, request);
    if (ready != SrbStatus::success) return ready;
    const auto medium = unit.medium();

    unit.set(unit_flag::busy);
    if (needs_buffer_set(*medium)) {
        const bool claimed = adapter.pool.claim(unit, [&adapter](int owner) {
            const Unit* other = adapter.unit(static_cast<std::uint32_t>(owner));
            return other && other->has(unit_flag::busy);
        });
        if (!claimed) {
            unit.clear(unit_flag::busy);
            return SrbStatus::busy;
        }
    }
    // An abort that arrived after the previous read had finished is stale.
    unit.clear(unit_flag::abort | unit_flag::done);
    unit.current_request = &request;
    request.status = SrbStatus::pending;
    adapter.services.work.queue([&adapter, &unit, serve] { serve_read(adapter, unit, serve); });
    return SrbStatus::pending;
}

std::size_t complete_finished_reads(AdapterState& adapter, const std::function<void(ScsiRequest&)>& complete) {
    std::size_t completed = 0;
    for (auto& unit : adapter.units) {
        if (!unit->has(unit_flag::done)) continue;
        ScsiRequest* request = unit->current_request;
        unit->current_request = nullptr;
        unit->clear(unit_flag::done | unit_flag::busy | unit_flag::abort);
        ++completed;
        if (request) complete(*request);
    }
    return completed;
}

}  // namespace qpx::driver
