#include "drive_opening.h"

#include "drive_list_parser.h"
#include "qpx/container/errors.h"
#include "qpx/driver/adapter_layout.h"
#include "sense.h"

namespace qpx::driver {
namespace {

using container::Errc;

void queue_opening(AdapterState& adapter, Unit& unit) {
    unit.set(unit_flag::opening);
    adapter.services.work.queue([&adapter, &unit] { open_drive(adapter, unit); });
}

SrbStatus medium_not_present(ScsiRequest& request) {
    return check_condition(request, sense::kNotReady, sense::kAscMediumNotPresent);
}

// Opens `path` for the unit and leaves the sense for the next readiness
// check. A container that fails to open keeps its name, so every readiness
// check tries it again (a missing file may appear).
void open_container(AdapterState& adapter, Unit& unit, const std::string& path) {
    std::shared_ptr<const container::Container> medium;
    const std::error_code ec = adapter.services.opener.open(path, medium);
    if (!ec && medium) {
        unit.set_medium(medium);
        if (medium->header().container_type() == container::ContainerType::track_table)
            unit.set_audio_status(audio_status::no_status);
        unit.set_pending_sense(sense::kUnitAttention, sense::kAscMediumChanged);
        return;
    }
    unit.set(unit_flag::failed);
    if (ec == Errc::not_found || ec == Errc::open_failed)
        unit.set_pending_sense(sense::kHardwareError, sense::kAscNone);
    else
        unit.set_pending_sense(sense::kMediumError, sense::kAscNone);
}

}  // namespace

SrbStatus verify_drive_status(AdapterState& adapter, Unit& unit, ScsiRequest& request) {
    // Controller units never hold a medium.
    if (!is_drive_unit(unit.number())) return medium_not_present(request);
    // The unit's work item is serving a read; opening now would race with it.
    if (unit.has(unit_flag::busy)) return SrbStatus::busy;

    if (!unit.has(unit_flag::opening)) {
        const bool updated = unit.has(unit_flag::update);
        const bool closed_with_name = !unit.file_name().empty() && !unit.medium();
        if (updated || closed_with_name) queue_opening(adapter, unit);
    }
    if (unit.has(unit_flag::opening)) return medium_not_present(request);
    if (const auto pending = unit.take_pending_sense())
        return check_condition(request, pending->key, pending->asc);
    if (unit.medium()) return SrbStatus::success;
    return medium_not_present(request);
}

std::shared_ptr<const container::Container> ready_medium(const Unit& unit) {
    if (!is_drive_unit(unit.number()) || unit.has(unit_flag::opening)) return nullptr;
    return unit.medium();
}

void open_drive(AdapterState& adapter, Unit& unit) {
    unit.close_medium();
    adapter.pool.release(unit);
    unit.plain_cache.invalidate();
    unit.clear(unit_flag::failed);

    std::string list;
    switch (adapter.services.drive_list.read_container_files(list)) {
        case DriveListStatus::unreadable:
            unit.set_file_name({});
            unit.set_pending_sense(sense::kIllegalRequest, sense::kAscInvalidOperationCode);
            break;
        case DriveListStatus::missing:
            // No list has been written yet: no drive holds a container.
            list.clear();
            [[fallthrough]];
        case DriveListStatus::ok: {
            const auto entry = container_entry(list, drive_of_unit(unit.number()));
            if (!entry) {
                unit.set_file_name({});
                unit.set_pending_sense(sense::kUnitAttention, sense::kAscMediumChanged);
                break;
            }
            unit.set_file_name(*entry);
            open_container(adapter, unit, *entry);
            break;
        }
    }
    unit.clear(unit_flag::opening | unit_flag::update | unit_flag::initial);
}

}  // namespace qpx::driver
