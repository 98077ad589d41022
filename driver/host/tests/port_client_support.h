// Requests the tests send through the client layer, as programs send them.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "devices/device.h"
#include "port_host_process.h"

namespace qpx::testing {

inline constexpr std::uint8_t kSrbSuccess = 0x01;
inline constexpr std::uint8_t kSrbError = 0x04;
inline constexpr std::uint8_t kSrbInvalidRequest = 0x06;
inline constexpr std::uint8_t kSrbSelectionTimeout = 0x0A;
inline constexpr std::uint8_t kSrbErrorWithSense = 0x84;

inline constexpr std::uint32_t kUpdateDrive = 0x1B0506;
inline constexpr std::uint32_t kHoldRequest = 0x1B0507;
inline constexpr std::uint32_t kReleaseHeld = 0x1B0509;
inline constexpr std::uint32_t kMapPlayerRing = 0x1B050A;

// Opens a device without retrying (the host is up or the test fails).
devices::Device open_or_fail(const std::string& name);
std::string port_device(int port);

// A 28-byte control header with `code` and `data`, the data length field
// set to `data_length` (the data's size unless given).
std::vector<std::uint8_t> control_buffer(std::uint32_t code, std::vector<std::uint8_t> data = {},
                                         std::optional<std::uint32_t> data_length = std::nullopt);

struct ControlAnswer {
    std::error_code error;
    devices::MiniportResult result;
    std::vector<std::uint8_t> output;
};
ControlAnswer control(devices::Device& device, std::span<const std::uint8_t> input, std::size_t output_length = 28);

struct ScsiAnswer {
    std::error_code error;
    std::uint8_t srb_status = 0;
    std::uint8_t scsi_status = 0;
    std::uint8_t sense_key = 0;
    std::uint8_t asc = 0;
    std::size_t transferred = 0;
    std::vector<std::uint8_t> data;
};
ScsiAnswer scsi(devices::Device& device, std::vector<std::uint8_t> cdb, std::size_t data_in,
                std::uint8_t bus = 0, std::uint8_t target = 0, std::uint8_t lun = 0);
ScsiAnswer inquiry(devices::Device& device, std::uint8_t bus = 0, std::uint8_t target = 0, std::uint8_t lun = 0);
ScsiAnswer test_unit_ready(devices::Device& device, std::uint8_t bus = 0, std::uint8_t target = 0);
// READ(10) of `count` 2,048-byte sectors from `lba`.
ScsiAnswer read10(devices::Device& device, std::uint32_t lba, std::uint32_t count, std::uint8_t bus = 0,
                  std::uint8_t target = 0);
// READ(10) that reads through the UNIT ATTENTION a changed medium reports
// (counted into *attentions) and the NOT READY answers while the host opens
// it. After an eject (`medium_expected` false) it ends at the first NOT
// READY that follows a report.
ScsiAnswer read10_after_attention(devices::Device& device, std::uint32_t lba, std::uint32_t count,
                                  int* attentions = nullptr, bool medium_expected = true);

bool is_unit_attention(const ScsiAnswer& a);
bool is_not_ready(const ScsiAnswer& a);

}  // namespace qpx::testing
