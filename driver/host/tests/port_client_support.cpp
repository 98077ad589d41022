#include "port_client_support.h"

#include <chrono>
#include <thread>

#include "devices/byte_fields.h"

namespace qpx::testing {

devices::Device open_or_fail(const std::string& name) {
    devices::Device device;
    const std::error_code ec = devices::open_device(name, device, devices::OpenRetry{1, {}, {}});
    EXPECT_FALSE(ec) << name << ": " << ec.message();
    return device;
}

std::string port_device(int port) { return "\\\\.\\Scsi" + std::to_string(port) + ":"; }

std::vector<std::uint8_t> control_buffer(std::uint32_t code, std::vector<std::uint8_t> data,
                                         std::optional<std::uint32_t> data_length) {
    std::vector<std::uint8_t> b(28 + data.size(), 0);
    devices::store_le32(b, 0, 28);
    const char signature[8] = {'q', 'p', 'x', 'm', 'p', 'o', 'r', 't'};
    std::copy(signature, signature + 8, b.begin() + 4);
    devices::store_le32(b, 12, 10000);
    devices::store_le32(b, 16, code);
    devices::store_le32(b, 24, data_length.value_or(static_cast<std::uint32_t>(data.size())));
    std::copy(data.begin(), data.end(), b.begin() + 28);
    return b;
}

ControlAnswer control(devices::Device& device, std::span<const std::uint8_t> input, std::size_t output_length) {
    ControlAnswer a;
    a.output.assign(output_length, 0xCC);
    a.error = device.miniport_control(input, a.output, a.result);
    return a;
}

ScsiAnswer scsi(devices::Device& device, std::vector<std::uint8_t> cdb, std::size_t data_in, std::uint8_t bus,
                std::uint8_t target, std::uint8_t lun) {
    ScsiAnswer a;
    a.data.assign(data_in, 0);
    std::vector<std::uint8_t> sense(32, 0);
    devices::PassThroughDirect r;
    r.bus = bus;
    r.target = target;
    r.lun = lun;
    r.cdb = cdb;
    r.direction = data_in ? devices::DataDirection::in : devices::DataDirection::none;
    r.data = a.data;
    r.sense = sense;
    a.error = device.pass_through_direct(r);
    a.srb_status = r.srb_status;
    a.scsi_status = r.scsi_status;
    a.transferred = r.transferred;
    if (r.sense_returned >= 14) {
        a.sense_key = sense[2] & 0x0F;
        a.asc = sense[12];
    }
    return a;
}

ScsiAnswer inquiry(devices::Device& device, std::uint8_t bus, std::uint8_t target, std::uint8_t lun) {
    return scsi(device, {0x12, 0, 0, 0, 36, 0}, 36, bus, target, lun);
}

ScsiAnswer test_unit_ready(devices::Device& device, std::uint8_t bus, std::uint8_t target) {
    return scsi(device, {0, 0, 0, 0, 0, 0}, 0, bus, target);
}

ScsiAnswer read10(devices::Device& device, std::uint32_t lba, std::uint32_t count, std::uint8_t bus,
                  std::uint8_t target) {
    std::vector<std::uint8_t> cdb = {0x28, 0, static_cast<std::uint8_t>(lba >> 24), static_cast<std::uint8_t>(lba >> 16),
                                     static_cast<std::uint8_t>(lba >> 8), static_cast<std::uint8_t>(lba), 0,
                                     static_cast<std::uint8_t>(count >> 8), static_cast<std::uint8_t>(count), 0};
    return scsi(device, cdb, static_cast<std::size_t>(count) * 2048, bus, target);
}

bool is_unit_attention(const ScsiAnswer& a) {
    return !a.error && a.srb_status == kSrbErrorWithSense && a.sense_key == 0x06 && a.asc == 0x28;
}

bool is_not_ready(const ScsiAnswer& a) {
    return !a.error && a.srb_status == kSrbErrorWithSense && a.sense_key == 0x02 && a.asc == 0x3A;
}

ScsiAnswer read10_after_attention(devices::Device& device, std::uint32_t lba, std::uint32_t count, int* attentions,
                                  bool medium_expected) {
    // The host opens an inserted container by itself; until it is open the
    // drive answers NOT READY (bounded wait for that only).
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    int seen = 0;
    for (;;) {
        ScsiAnswer a = read10(device, lba, count);
        if (is_unit_attention(a)) {
            ++seen;
        } else if (!is_not_ready(a) || (!medium_expected && seen > 0) || std::chrono::steady_clock::now() > until) {
            if (attentions) *attentions = seen;
            return a;
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }
}

}  // namespace qpx::testing
