#include "core_harness.h"

#include <gtest/gtest.h>

#include "qpx/driver/srb_status.h"

namespace qpx::driver::test {

void ControllableExecutor::queue(std::function<void()> item) {
    if (holding_)
        items_.push_back(std::move(item));
    else
        item();
}

bool ControllableExecutor::run_next() {
    if (items_.empty()) return false;
    auto item = std::move(items_.front());
    items_.pop_front();
    item();
    return true;
}

void ControllableExecutor::release_all() {
    holding_ = false;
    while (run_next()) {}
}

Cdb cdb6(std::uint8_t op, std::uint8_t byte4) { return {op, 0, 0, 0, byte4, 0}; }

Cdb read10_cdb(std::uint32_t lba, std::uint16_t blocks) {
    return {0x28,
            0,
            static_cast<std::uint8_t>(lba >> 24),
            static_cast<std::uint8_t>(lba >> 16),
            static_cast<std::uint8_t>(lba >> 8),
            static_cast<std::uint8_t>(lba),
            0,
            static_cast<std::uint8_t>(blocks >> 8),
            static_cast<std::uint8_t>(blocks),
            0};
}

Cdb read_toc_cdb(bool msf, std::uint8_t format, std::uint8_t start_track, std::uint16_t allocation) {
    return {0x43,
            static_cast<std::uint8_t>(msf ? 0x02 : 0x00),
            format,
            0,
            0,
            0,
            start_track,
            static_cast<std::uint8_t>(allocation >> 8),
            static_cast<std::uint8_t>(allocation),
            0};
}

Answer answer_of(const ScsiRequest& r) {
    Answer a;
    a.status = r.status;
    a.scsi_status = r.scsi_status;
    if (r.status == SrbStatus::error_with_sense) {
        a.key = r.sense[2] & 0x0F;
        a.asc = r.sense[12];
    }
    a.transferred = r.transferred;
    a.data.assign(r.data.begin(), r.data.begin() + static_cast<std::ptrdiff_t>(std::min(r.transferred, r.data.size())));
    return a;
}

CoreHarness::CoreHarness(std::uint32_t drives, std::uint32_t buffer_sets)
    : adapter(AdapterConfig{drives, buffer_sets},
              AdapterServices{work, drive_list, opener, player, completion, &shutdown, &eject}) {}

PendingRequest& CoreHarness::start(std::uint32_t drive, const Cdb& cdb, std::size_t data_length) {
    PendingRequest& p = started_.emplace_back();
    p.data.assign(data_length, 0xCD);
    p.request.address = address_of_drive(drive);
    std::copy(cdb.begin(), cdb.end(), p.request.cdb.begin());
    p.request.data = p.data;
    p.request.sense = p.sense;
    adapter.execute_scsi(p.request);
    return p;
}

Answer CoreHarness::collect(PendingRequest& pending) {
    adapter.complete_finished([](ScsiRequest&) {});
    return answer_of(pending.request);
}

Answer CoreHarness::send(ScsiAddress address, const Cdb& cdb, std::size_t data_length,
                         const std::vector<std::uint8_t>& data_out) {
    std::vector<std::uint8_t> data = data_out.empty() ? std::vector<std::uint8_t>(data_length, 0xCD) : data_out;
    std::vector<std::uint8_t> sense(18, 0);
    ScsiRequest r;
    r.address = address;
    std::copy(cdb.begin(), cdb.end(), r.cdb.begin());
    r.data = data;
    r.sense = sense;
    if (adapter.execute_scsi(r) == SrbStatus::pending) {
        bool completed = false;
        adapter.complete_finished([&](ScsiRequest& done) { completed = completed || &done == &r; });
        if (!completed) {
            // The work item is held: forget the request only after it ran.
            ADD_FAILURE() << "send() used for a request that stays pending; use start()";
            work.release_all();
            adapter.complete_finished([](ScsiRequest&) {});
        }
    }
    return answer_of(r);
}

Answer CoreHarness::send_drive(std::uint32_t drive, const Cdb& cdb, std::size_t data_length,
                               const std::vector<std::uint8_t>& data_out) {
    return send(address_of_drive(drive), cdb, data_length, data_out);
}

Answer CoreHarness::read10(std::uint32_t drive, std::uint32_t lba, std::size_t bytes) {
    const auto blocks = static_cast<std::uint16_t>(bytes / 2048);
    return send_drive(drive, read10_cdb(lba, blocks), bytes);
}

void CoreHarness::set_drive_list(const std::vector<std::string>& entries) {
    entries_ = entries;
    drive_list.text.clear();
    for (const auto& e : entries) drive_list.text += e + ";";
}

void CoreHarness::update(std::uint32_t drive) {
    const ScsiAddress a = address_of_drive(drive);
    ASSERT_EQ(adapter.update_drive(a.bus, a.target), SrbStatus::success);
}

void CoreHarness::insert(std::uint32_t drive, const std::filesystem::path& container) {
    if (entries_.size() <= drive) entries_.resize(drive + 1);
    entries_[drive] = container.string();
    set_drive_list(entries_);
    update(drive);
    const Answer attention = test_unit_ready(drive);
    ASSERT_TRUE(attention.check(sense::kUnitAttention, sense::kAscMediumChanged))
        << "status " << int(attention.status) << " key " << int(attention.key) << " asc " << int(attention.asc);
    ASSERT_TRUE(test_unit_ready(drive).good());
}

}  // namespace qpx::driver::test
