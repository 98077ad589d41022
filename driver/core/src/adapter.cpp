#include "qpx/driver/adapter.h"

#include <algorithm>
#include <stdexcept>

#include "adapter_state.h"
#include "be_fields.h"
#include "commands.h"
#include "qpx/driver/adapter_layout.h"
#include "read_path.h"

namespace qpx::driver {
namespace {

constexpr std::size_t kUpdateDataSize = 2;  // bus, target

std::size_t buffer_sets_for(const AdapterConfig& config) {
    return std::min(clamp_buffer_set_setting(config.buffer_sets), config.drive_count);
}

std::uint32_t checked_drive_count(const AdapterConfig& config) {
    if (config.drive_count < 1 || config.drive_count > kMaxDrivesPerAdapter)
        throw std::invalid_argument("an adapter serves 1 to 448 drives");
    return config.drive_count;
}

}  // namespace

AdapterState::AdapterState(const AdapterConfig& config, const AdapterServices& services)
    : services(services), drive_count(checked_drive_count(config)), pool(buffer_sets_for(config)) {
    for (std::uint32_t number = 0; number < kControllerUnits + drive_count; ++number)
        units.push_back(std::make_unique<Unit>(number));
}

Adapter::Adapter(const AdapterConfig& config, const AdapterServices& services)
    : state_(std::make_unique<AdapterState>(config, services)) {}

Adapter::~Adapter() = default;

std::uint32_t Adapter::drive_count() const { return state_->drive_count; }
std::uint32_t Adapter::bus_count() const { return driver::bus_count(state_->drive_count); }
std::uint32_t Adapter::buffer_set_count() const { return static_cast<std::uint32_t>(state_->pool.size()); }

SrbStatus Adapter::execute_scsi(ScsiRequest& request) {
    request.transferred = 0;
    request.scsi_status = kScsiGood;
    const ScsiAddress& a = request.address;
    Unit* unit = a.lun == 0 && a.target < kTargetsPerBus ? state_->unit(unit_of(a)) : nullptr;
    SrbStatus status = unit ? send_command(*state_, *unit, request) : SrbStatus::selection_timeout;
    if (status != SrbStatus::pending) request.status = status;
    return status;
}

SrbStatus Adapter::control(std::span<std::uint8_t> buffer) {
    if (buffer.size() < kControlHeaderSize) return SrbStatus::invalid_request;
    if (load_le32(buffer, kControlCodeOffset) != control_code::update_drive) return SrbStatus::invalid_request;
    if (buffer.size() < kControlHeaderSize + kUpdateDataSize) return SrbStatus::invalid_request;
    return update_drive(buffer[kControlHeaderSize], buffer[kControlHeaderSize + 1]);
}

SrbStatus Adapter::update_drive(std::uint8_t bus, std::uint8_t target) {
    Unit* unit = target < kTargetsPerBus ? state_->unit(unit_of({bus, target, 0})) : nullptr;
    if (!unit) return SrbStatus::selection_timeout;
    unit->set(unit_flag::update);
    return SrbStatus::success;
}

SrbStatus Adapter::abort_command(const ScsiAddress& address) {
    Unit* unit = address.target < kTargetsPerBus ? state_->unit(unit_of(address)) : nullptr;
    if (!unit) return SrbStatus::selection_timeout;
    if (!unit->has(unit_flag::busy) || unit->has(unit_flag::done)) return SrbStatus::abort_failed;
    unit->set(unit_flag::abort);
    return SrbStatus::success;
}

SrbStatus Adapter::reset_bus() {
    for (auto& unit : state_->units)
        if (is_drive_unit(unit->number()) && unit->has(unit_flag::busy)) unit->set(unit_flag::abort);
    return SrbStatus::success;
}

std::size_t Adapter::complete_finished(const std::function<void(ScsiRequest&)>& complete) {
    return complete_finished_reads(*state_, complete);
}

}  // namespace qpx::driver
