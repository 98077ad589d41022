// The client side of the port host's devices: a program opens a SCSI port
// ("\\.\Scsi1:") or an emulated drive by its letter ("\\.\G:") and sends the
// control calls the port answers: miniport control (a 28-byte control header
// and data), SCSI pass-through with the caller's buffers, and the drive's
// SCSI address. Each open device is one connection to the port host.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string_view>
#include <system_error>

#include "devices/device_errors.h"
#include "devices/device_name.h"
#include "devices/unique_fd.h"
#include "drives/drive_letters.h"

namespace qpx::devices {

// How often a device open is tried and how long apart. A port host that is
// starting up, or republishing its drives, answers a moment later.
struct OpenRetry {
    int attempts = 5;
    std::chrono::milliseconds interval{1000};
    // Waits between attempts; empty means sleeping. Tests pass one that records.
    std::function<void(std::chrono::milliseconds)> wait;
};

// Request status values of the port (the driver's SRB status codes).
inline constexpr std::uint8_t kSrbSuccess = 0x01;

// The player ring mapped into this process, shared with the port host.
class PlayerRingMapping {
public:
    // Maps `fd` (the ring's memory) read/write and shared; throws
    // std::system_error when it cannot.
    explicit PlayerRingMapping(const UniqueFd& fd);
    ~PlayerRingMapping();
    PlayerRingMapping(const PlayerRingMapping&) = delete;
    PlayerRingMapping& operator=(const PlayerRingMapping&) = delete;

    std::span<std::uint8_t> bytes() const { return {data_, size_}; }

private:
    std::uint8_t* data_ = nullptr;
    std::size_t size_ = 0;
};

struct MiniportResult {
    std::uint8_t srb_status = 0;
    std::size_t returned = 0;  // bytes written into the output buffer
    // The map player ring code: the ring, mapped. Bytes 0..3 of the output
    // are then non-zero, and 0 when the ring could not be mapped.
    std::shared_ptr<PlayerRingMapping> ring;
    bool succeeded() const { return srb_status == kSrbSuccess; }
};

enum class DataDirection : std::uint8_t { none = 0, in = 1, out = 2 };

struct PassThroughDirect {
    // The addressed unit, used on port devices; a drive device always
    // addresses its own drive.
    std::uint8_t bus = 0;
    std::uint8_t target = 0;
    std::uint8_t lun = 0;
    std::span<const std::uint8_t> cdb;  // 1..16 bytes
    DataDirection direction = DataDirection::none;
    std::span<std::uint8_t> data;   // data-in is written here, data-out read from here
    std::span<std::uint8_t> sense;  // at most 255 bytes
    std::uint32_t timeout_seconds = 10;

    // Answered by the call.
    std::uint8_t srb_status = 0;
    std::uint8_t scsi_status = 0;
    std::size_t transferred = 0;
    std::size_t sense_returned = 0;
};

class Device {
public:
    Device() = default;

    // Opens a device by name, trying as `retry` says while the port host
    // cannot be reached or does not (yet) know the device.
    static std::error_code open(std::string_view name, Device& out, const OpenRetry& retry = {});

    bool is_open() const { return socket_.valid(); }
    DeviceName::Kind kind() const { return kind_; }
    void close() { socket_.reset(); }

    // IOCTL_SCSI_MINIPORT: `input` is the control buffer (header and data);
    // up to output.size() bytes of the answer are written to `output`.
    // `input` and `output` may be the same memory.
    std::error_code miniport_control(std::span<const std::uint8_t> input, std::span<std::uint8_t> output,
                                     MiniportResult& result);
    // IOCTL_SCSI_PASS_THROUGH_DIRECT.
    std::error_code pass_through_direct(PassThroughDirect& request);
    // IOCTL_SCSI_GET_ADDRESS of a drive device.
    std::error_code get_address(drives::ScsiAddress& out);

private:
    std::error_code open_once(const DeviceName& name);
    UniqueFd socket_;
    DeviceName::Kind kind_ = DeviceName::Kind::port;
};

// Opens a device once per call; shorthand for tools and tests.
std::error_code open_device(std::string_view name, Device& out, const OpenRetry& retry = {});

}  // namespace qpx::devices
