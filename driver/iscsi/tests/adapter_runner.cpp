#include "adapter_runner.h"

#include <gtest/gtest.h>

#include "qpx/driver/adapter_layout.h"
#include "qpx/driver/srb_status.h"

namespace qpx::iscsi::test {

AdapterRunner::AdapterRunner(std::uint32_t drives)
    : entries_(drives),
      adapter_(driver::AdapterConfig{drives, driver::kDefaultBufferSets},
               driver::AdapterServices{*this, *this, opener_, *this, *this}) {
    worker_ = std::thread([this] {
        for (;;) {
            std::function<void()> item;
            {
                std::unique_lock lock(worker_mutex_);
                busy_ = false;
                worker_wake_.notify_all();
                worker_wake_.wait(lock, [this] { return stopping_ || !items_.empty(); });
                if (items_.empty()) return;
                item = std::move(items_.front());
                items_.pop_front();
                busy_ = true;
            }
            item();
        }
    });
}

AdapterRunner::~AdapterRunner() {
    {
        std::lock_guard lock(worker_mutex_);
        stopping_ = true;
    }
    worker_wake_.notify_all();
    worker_.join();
}

void AdapterRunner::queue(std::function<void()> item) {
    {
        std::lock_guard lock(worker_mutex_);
        items_.push_back(std::move(item));
    }
    worker_wake_.notify_all();
}

void AdapterRunner::wait_idle() {
    std::unique_lock lock(worker_mutex_);
    worker_wake_.wait(lock, [this] { return items_.empty() && !busy_; });
}

driver::DriveListStatus AdapterRunner::read_container_files(std::string& text) {
    text.clear();
    for (const auto& e : entries_) text += e + ";";
    return driver::DriveListStatus::ok;
}

void AdapterRunner::insert(std::uint32_t drive, const std::filesystem::path& container) {
    {
        std::lock_guard lock(adapter_mutex_);
        entries_.at(drive) = container.string();
        const auto a = driver::address_of_drive(drive);
        ASSERT_EQ(adapter_.update_drive(a.bus, a.target), driver::SrbStatus::success);
    }
    bool attention_seen = false;
    for (int attempt = 0; attempt < 4; ++attempt) {
        std::array<std::uint8_t, 18> sense{};
        driver::ScsiRequest tur;
        tur.address = driver::address_of_drive(drive);
        tur.sense = sense;
        {
            std::lock_guard lock(adapter_mutex_);
            adapter_.execute_scsi(tur);
        }
        if (tur.status == driver::SrbStatus::success) break;
        const std::uint8_t key = sense[2] & 0x0F;
        if (key == driver::sense::kUnitAttention) attention_seen = true;
        else if (key == driver::sense::kNotReady) wait_idle();
        else FAIL() << "TEST UNIT READY answered key " << int(key);
    }
    ASSERT_TRUE(attention_seen) << "the drive never reported the new medium";
}

void AdapterRunner::settle_empty(std::uint32_t drive) {
    for (int attempt = 0; attempt < 4; ++attempt) {
        std::array<std::uint8_t, 18> sense{};
        driver::ScsiRequest tur;
        tur.address = driver::address_of_drive(drive);
        tur.sense = sense;
        {
            std::lock_guard lock(adapter_mutex_);
            adapter_.execute_scsi(tur);
        }
        wait_idle();
        const std::uint8_t key = sense[2] & 0x0F;
        if (key == driver::sense::kNotReady && sense[12] == driver::sense::kAscMediumNotPresent && attempt > 0) return;
        ASSERT_TRUE(key == driver::sense::kNotReady || key == driver::sense::kUnitAttention) << "key " << int(key);
    }
    FAIL() << "the empty drive did not settle";
}

void AdapterRunner::run(std::uint32_t, driver::ScsiRequest& request, std::function<void()> completion) {
    {
        std::lock_guard lock(adapter_mutex_);
        if (adapter_.execute_scsi(request) == driver::SrbStatus::pending) {
            pending_.emplace(&request, std::move(completion));
            return;
        }
    }
    completion();
}

void AdapterRunner::read_finished() {
    std::vector<std::function<void()>> finished;
    {
        std::lock_guard lock(adapter_mutex_);
        adapter_.complete_finished([&](driver::ScsiRequest& done) {
            const auto it = pending_.find(&done);
            if (it == pending_.end()) return;
            finished.push_back(std::move(it->second));
            pending_.erase(it);
        });
    }
    for (auto& f : finished) f();
}

void AdapterRunner::abort(std::uint32_t drive) {
    std::lock_guard lock(adapter_mutex_);
    ++aborts;
    adapter_.abort_command(driver::address_of_drive(drive));
}

void AdapterRunner::reset() {
    std::lock_guard lock(adapter_mutex_);
    ++resets;
    adapter_.reset_bus();
}

}  // namespace qpx::iscsi::test
