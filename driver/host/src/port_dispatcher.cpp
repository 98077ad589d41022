#include "port_dispatcher.h"

#include <algorithm>
#include <array>
#include <string>

#include "devices/byte_fields.h"
#include "log.h"
#include "qpx/driver/adapter_layout.h"

namespace qpx::host {
namespace {

using driver::ScsiAddress;
using driver::ScsiRequest;
using driver::SrbStatus;
namespace sense = driver::sense;

constexpr std::uint8_t kTestUnitReady = 0x00;
constexpr std::uint8_t kRequestSense = 0x03;
constexpr std::uint8_t kInquiry = 0x12;
constexpr std::size_t kFixedSenseFields = 14;
constexpr std::size_t kUpdateDataBytes = 2;  // bus, target
constexpr std::size_t kRingAddressBytes = 4;
constexpr std::size_t kHeaderLengthOffset = 0;
constexpr std::size_t kDataLengthOffset = 24;

ScsiAddress address_of_unit(std::uint32_t unit) {
    return {static_cast<std::uint8_t>(unit / driver::kTargetsPerBus),
            static_cast<std::uint8_t>(unit % driver::kTargetsPerBus), 0};
}

bool reports_medium_change(const ScsiRequest& request) {
    return request.scsi_status == driver::kScsiCheckCondition && request.sense.size() >= kFixedSenseFields &&
           (request.sense[2] & 0x0F) == sense::kUnitAttention && request.sense[12] == sense::kAscMediumChanged;
}

bool reports_no_medium(const ScsiRequest& request) {
    return request.scsi_status == driver::kScsiCheckCondition && request.sense.size() >= kFixedSenseFields &&
           (request.sense[2] & 0x0F) == sense::kNotReady && request.sense[12] == sense::kAscMediumNotPresent;
}

// Commands a pending medium change does not hold up, as on any SCSI target.
bool passes_unit_attention(std::uint8_t opcode) { return opcode == kInquiry || opcode == kRequestSense; }

void answer_medium_changed(PortJob& job) {
    ScsiRequest& r = job.request;
    std::fill(r.sense.begin(), r.sense.end(), std::uint8_t{0});
    r.sense[0] = 0x70;
    r.sense[2] = sense::kUnitAttention;
    r.sense[7] = 10;
    r.sense[12] = sense::kAscMediumChanged;
    r.scsi_status = driver::kScsiCheckCondition;
    r.transferred = 0;
    r.status = SrbStatus::error_with_sense;
    job.status = SrbStatus::error_with_sense;
}

std::string describe_address(int port, std::uint8_t bus, std::uint8_t target) {
    return "port " + std::to_string(port) + " bus " + std::to_string(bus) + " target " + std::to_string(target);
}

}  // namespace

PortDispatcher::PortDispatcher(int port, std::uint32_t first_drive, const driver::AdapterConfig& config,
                               Services services)
    : port_(port),
      first_drive_(first_drive),
      services_(services),
      channel_(ring_, port),
      adapter_(std::make_unique<driver::Adapter>(
          config, driver::AdapterServices{*this, services.drive_list, services.opener, channel_, *this, this})),
      attention_(config.drive_count) {}

PortDispatcher::~PortDispatcher() { stop(); }

void PortDispatcher::start() { thread_ = std::thread([this] { run(); }); }

void PortDispatcher::stop() {
    {
        std::lock_guard lock(mutex_);
        if (stopping_ && !thread_.joinable()) return;
        stopping_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
    answer_open_requests_shutting_down();
}

void PortDispatcher::release_core() {
    adapter_->complete_finished([this](ScsiRequest& request) {
        auto it = units_.find(driver::unit_of(request.address));
        if (it == units_.end() || !it->second.active) return;
        auto job = std::move(it->second.active);
        job->status = request.status;
        job->finish();
    });
}

void PortDispatcher::attach(ConnectionId connection) { post({Event::Kind::attach, nullptr, connection}); }
void PortDispatcher::detach(ConnectionId connection) { post({Event::Kind::detach, nullptr, connection}); }
void PortDispatcher::check_all_drives() { post({Event::Kind::check_all, nullptr, 0}); }

void PortDispatcher::submit(std::shared_ptr<PortJob> job) { post({Event::Kind::submit, std::move(job), 0}); }

void PortDispatcher::post(Event event) {
    {
        std::lock_guard lock(mutex_);
        if (stopping_) {
            if (event.job) {
                event.job->wire_status = devices::protocol::Status::shutting_down;
                event.job->finish();
            }
            return;
        }
        inbox_.push_back(std::move(event));
    }
    wake_.notify_one();
}

void PortDispatcher::queue(std::function<void()> item) {
    // Called by the core from inside execute(): the item belongs to the unit
    // whose request is being started.
    queued_for_current_ = true;
    const std::uint32_t unit = current_unit_;
    services_.pool.post([this, unit, item = std::move(item)] {
        item();
        {
            std::lock_guard lock(mutex_);
            finished_work_.push_back(unit);
        }
        wake_.notify_one();
    });
}

void PortDispatcher::read_finished() {
    {
        std::lock_guard lock(mutex_);
        reads_finished_ = true;
    }
    wake_.notify_one();
}

void PortDispatcher::player_shut_down() {
    // Called from inside execute() (a WRITE BUFFER of the player), on this thread.
    release_held();
}

void PortDispatcher::run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        const auto ready = [this] {
            return stopping_ || !inbox_.empty() || reads_finished_ || !finished_work_.empty();
        };
        if (const auto deadline = next_deadline())
            wake_.wait_until(lock, *deadline, ready);
        else
            wake_.wait(lock, ready);
        if (stopping_) return;
        std::deque<Event> events = std::move(inbox_);
        inbox_.clear();
        std::vector<std::uint32_t> work = std::move(finished_work_);
        finished_work_.clear();
        const bool reads = std::exchange(reads_finished_, false);
        lock.unlock();

        for (Event& e : events) handle(e);
        if (reads) complete_reads();
        for (std::uint32_t unit : work) work_done(unit);
        abort_overdue();

        lock.lock();
    }
}

void PortDispatcher::handle(Event& event) {
    switch (event.kind) {
        case Event::Kind::attach: attention_.attach(event.connection); break;
        case Event::Kind::detach:
            attention_.detach(event.connection);
            drop_requests_of(event.connection);
            break;
        case Event::Kind::check_all:
            for (std::uint32_t d = 0; d < adapter_->drive_count(); ++d)
                request_readiness_check(driver::unit_of_drive(d));
            break;
        case Event::Kind::submit:
            if (event.job->kind == PortJob::Kind::control)
                control(event.job);
            else
                start_or_queue(event.job);
            break;
    }
}

std::optional<std::chrono::steady_clock::time_point> PortDispatcher::next_deadline() const {
    std::optional<std::chrono::steady_clock::time_point> next;
    for (std::uint32_t unit : timed_units_) {
        const auto it = units_.find(unit);
        if (it == units_.end() || !it->second.active || it->second.active->abort_sent) continue;
        const auto d = it->second.active->deadline;
        if (!next || d < *next) next = d;
    }
    return next;
}

// ---- SCSI requests ---------------------------------------------------------

std::optional<std::uint32_t> PortDispatcher::unit_of_request(const ScsiAddress& address) const {
    if (address.lun != 0 || address.target >= driver::kTargetsPerBus) return std::nullopt;
    const std::uint32_t unit = driver::unit_of(address);
    if (unit >= driver::kControllerUnits + adapter_->drive_count()) return std::nullopt;
    return unit;
}

void PortDispatcher::start_or_queue(const std::shared_ptr<PortJob>& job) {
    const auto unit = unit_of_request(job->request.address);
    if (!unit) {
        // No such unit: the core answers selection time-out at once.
        job->status = adapter_->execute_scsi(job->request);
        job->finish();
        return;
    }
    UnitQueue& q = units_[*unit];
    if (q.active || !q.waiting.empty()) {
        q.waiting.push_back(job);
        return;
    }
    if (start(*unit, job) == Started::parked) parked_units_.push_back(*unit);
}

PortDispatcher::Started PortDispatcher::start(std::uint32_t unit, const std::shared_ptr<PortJob>& job) {
    if (job->connection != 0 && driver::is_drive_unit(unit) && !passes_unit_attention(job->request.opcode()) &&
        attention_.take_pending(job->connection, driver::drive_of_unit(unit))) {
        answer_medium_changed(*job);
        job->finish();
        return Started::answered;
    }
    const SrbStatus status = execute(unit, job->request);
    if (status == SrbStatus::pending) {
        UnitQueue& q = units_[unit];
        q.active = job;
        ++reads_running_;
        if (job->timeout_seconds > 0) {
            job->deadline = std::chrono::steady_clock::now() + std::chrono::seconds(job->timeout_seconds);
            timed_units_.insert(unit);
        }
        return Started::pending;
    }
    if (status == SrbStatus::busy && reads_running_ > 0) {
        // Every buffer set is in use by a running read: try again when one ends.
        units_[unit].waiting.push_front(job);
        return Started::parked;
    }
    job->status = status;
    note_answer(unit, job->request, job->connection);
    job->finish();
    return Started::answered;
}

void PortDispatcher::pump(std::uint32_t unit) {
    auto it = units_.find(unit);
    if (it == units_.end()) return;
    while (!it->second.active && !it->second.waiting.empty()) {
        auto job = std::move(it->second.waiting.front());
        it->second.waiting.pop_front();
        const Started started = start(unit, job);
        if (started == Started::parked) {
            parked_units_.push_back(unit);
            return;
        }
        if (started == Started::pending) return;
    }
}

SrbStatus PortDispatcher::execute(std::uint32_t unit, ScsiRequest& request) {
    current_unit_ = unit;
    queued_for_current_ = false;
    std::fill(request.sense.begin(), request.sense.end(), std::uint8_t{0});
    return adapter_->execute_scsi(request);
}

void PortDispatcher::note_answer(std::uint32_t unit, const ScsiRequest& request, ConnectionId connection) {
    if (!driver::is_drive_unit(unit) || !reports_medium_change(request)) return;
    attention_.medium_changed(driver::drive_of_unit(unit),
                              connection != 0 ? std::optional<ConnectionId>(connection) : std::nullopt);
}

void PortDispatcher::complete_reads() {
    std::vector<std::uint32_t> idle;
    adapter_->complete_finished([&](ScsiRequest& request) {
        const std::uint32_t unit = driver::unit_of(request.address);
        auto it = units_.find(unit);
        if (it == units_.end() || !it->second.active || &it->second.active->request != &request) {
            log_warning("port " + std::to_string(port_) + ": a finished read of unit " + std::to_string(unit) +
                        " has no waiting request");
            return;
        }
        auto job = std::move(it->second.active);
        timed_units_.erase(unit);
        --reads_running_;
        job->status = request.status;
        note_answer(unit, request, job->connection);
        job->finish();
        idle.push_back(unit);
    });
    for (std::uint32_t unit : idle) unit_became_idle(unit);
    // A buffer set may have come free. A request refused again with no
    // read left running is answered busy by start().
    for (std::uint32_t unit : std::exchange(parked_units_, {})) pump(unit);
}

void PortDispatcher::unit_became_idle(std::uint32_t unit) {
    auto r = readiness_.find(unit);
    if (r != readiness_.end() && r->second == Readiness::when_idle) {
        readiness_.erase(r);
        run_readiness_check(unit);
    }
    pump(unit);
}

void PortDispatcher::abort_overdue() {
    const auto now = std::chrono::steady_clock::now();
    for (std::uint32_t unit : timed_units_) {
        auto it = units_.find(unit);
        if (it == units_.end() || !it->second.active) continue;
        PortJob& job = *it->second.active;
        if (job.abort_sent || job.deadline > now) continue;
        job.abort_sent = true;
        log_warning("port " + std::to_string(port_) + ": request to unit " + std::to_string(unit) +
                    " timed out; aborting it");
        adapter_->abort_command(job.request.address);
    }
}

// ---- Control requests --------------------------------------------------------

void PortDispatcher::control(const std::shared_ptr<PortJob>& job) {
    if (job->input_length < driver::kControlHeaderSize) {
        job->status = SrbStatus::invalid_request;
        job->finish();
        return;
    }
    switch (devices::load_le32(job->control, driver::kControlCodeOffset)) {
        case driver::control_code::update_drive: update_drive(job); break;
        case driver::control_code::hold_request:
            // Stays pending until released; not answered now.
            held_.push_back(job);
            return;
        case driver::control_code::release_held:
            release_held();
            job->status = SrbStatus::success;
            break;
        case driver::control_code::map_player_ring: map_player_ring(job); break;
        default: job->status = SrbStatus::invalid_request; break;
    }
    job->finish();
}

void PortDispatcher::update_drive(const std::shared_ptr<PortJob>& job) {
    // Bus and target are read only when the data length covers them and
    // the buffer holds them.
    const std::uint32_t data_length = devices::load_le32(job->control, kDataLengthOffset);
    const std::size_t carried = job->input_length - driver::kControlHeaderSize;
    if (data_length < kUpdateDataBytes || carried < kUpdateDataBytes || data_length > carried) {
        job->status = SrbStatus::invalid_request;
        log_warning("port " + std::to_string(port_) + ": update drive request without bus and target refused");
        return;
    }
    const std::uint8_t bus = job->control[driver::kControlHeaderSize];
    const std::uint8_t target = job->control[driver::kControlHeaderSize + 1];
    job->status = adapter_->update_drive(bus, target);
    const bool accepted = job->status == SrbStatus::success;
    log_info("update drive: " + describe_address(port_, bus, target) + (accepted ? ": accepted" : ": no such drive"));
    if (accepted) request_readiness_check(static_cast<std::uint32_t>(bus) * driver::kTargetsPerBus + target);
}

void PortDispatcher::map_player_ring(const std::shared_ptr<PortJob>& job) {
    if (job->output_length < kRingAddressBytes) {
        job->status = SrbStatus::invalid_request;
        return;
    }
    job->ring_fd = ring_.initialise_for_client();
    // The client maps the ring and puts its own non-zero "address" here; 0
    // tells it that no ring comes with the answer.
    devices::store_le32(job->control, kHeaderLengthOffset, job->ring_fd.valid() ? 1 : 0);
    if (!job->ring_fd.valid()) log_warning("port " + std::to_string(port_) + ": the player ring could not be shared");
    job->status = SrbStatus::success;
}

void PortDispatcher::release_held() {
    for (auto& job : std::exchange(held_, {})) {
        job->status = SrbStatus::success;
        job->finish();
    }
}

// ---- Readiness checks of the host ---------------------------------------------

void PortDispatcher::request_readiness_check(std::uint32_t unit) {
    if (!driver::is_drive_unit(unit)) return;
    auto r = readiness_.find(unit);
    if (r != readiness_.end()) {
        // An update while the drive is opening: the opening may have read
        // the drive list before it changed, so open once more afterwards.
        if (r->second == Readiness::opening) r->second = Readiness::opening_updated_again;
        return;
    }
    auto q = units_.find(unit);
    if (q != units_.end() && q->second.active) {
        readiness_[unit] = Readiness::when_idle;
        return;
    }
    run_readiness_check(unit);
}

void PortDispatcher::run_readiness_check(std::uint32_t unit) {
    ScsiRequest check;
    std::array<std::uint8_t, 18> sense_bytes{};
    check.address = address_of_unit(unit);
    check.cdb[0] = kTestUnitReady;
    check.sense = sense_bytes;
    execute(unit, check);
    // The opening may already have finished on a worker before the check
    // returned: then this very check carries its report.
    note_answer(unit, check, 0);
    if (queued_for_current_ && reports_no_medium(check)) readiness_[unit] = Readiness::opening;
}

void PortDispatcher::work_done(std::uint32_t unit) {
    auto r = readiness_.find(unit);
    if (r == readiness_.end() || r->second == Readiness::when_idle) return;
    const bool updated_again = r->second == Readiness::opening_updated_again;
    readiness_.erase(r);

    ScsiRequest check;
    std::array<std::uint8_t, 18> sense_bytes{};
    check.address = address_of_unit(unit);
    check.cdb[0] = kTestUnitReady;
    check.sense = sense_bytes;
    execute(unit, check);
    // A failed container is tried again at every check; that retry is not
    // followed, the next client's check sees its result.
    note_answer(unit, check, 0);
    if (updated_again) {
        adapter_->update_drive(check.address.bus, check.address.target);
        request_readiness_check(unit);
    }
}

// ---- Connections that went away, shutdown ---------------------------------------

void PortDispatcher::drop_requests_of(ConnectionId connection) {
    std::erase_if(held_, [connection](const auto& job) { return job->connection == connection; });
    for (auto& [unit, q] : units_)
        std::erase_if(q.waiting, [connection](const auto& job) { return job->connection == connection; });
}

void PortDispatcher::answer_open_requests_shutting_down() {
    std::vector<std::shared_ptr<PortJob>> open = std::exchange(held_, {});
    for (auto& [unit, q] : units_)
        for (auto& job : std::exchange(q.waiting, {})) open.push_back(std::move(job));
    std::deque<Event> events;
    {
        std::lock_guard lock(mutex_);
        events = std::exchange(inbox_, {});
    }
    for (auto& e : events)
        if (e.job) open.push_back(std::move(e.job));
    for (auto& job : open) {
        job->wire_status = devices::protocol::Status::shutting_down;
        job->finish();
    }
}

}  // namespace qpx::host
