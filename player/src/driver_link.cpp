#include "driver_link.h"

#include <array>

#include "byte_fields.h"
#include "driver_messages.h"
#include "drives/drive_letters.h"
#include "ring_reader.h"

namespace qpx::player {
namespace {

constexpr std::uint32_t kMapPlayerRing = 0x1B050A;
constexpr std::size_t kControlHeaderSize = 28;
constexpr std::uint32_t kControlTimeoutSeconds = 10000;
constexpr std::uint32_t kReportTimeoutSeconds = 5;

std::string port_device_name(int port) { return "\\\\.\\Scsi" + std::to_string(port) + ":"; }

// One try: the port host is up or it is not; the poll thread tries again later.
devices::OpenRetry once() {
    devices::OpenRetry r;
    r.attempts = 1;
    r.wait = [](std::chrono::milliseconds) {};
    return r;
}

}  // namespace

std::optional<int> PortLink::find_port() {
    for (const auto& p : drives::scsi_ports())
        if (p.driver == "qpxmport") return p.number;
    return std::nullopt;
}

std::optional<MappedRing> PortLink::map_ring(std::string& why) {
    const auto port = find_port();
    if (!port) {
        why = "no qpxmport port is published";
        return std::nullopt;
    }
    devices::Device device;
    if (const auto ec = devices::open_device(port_device_name(*port), device, once())) {
        why = "cannot open " + port_device_name(*port) + ": " + ec.message();
        return std::nullopt;
    }
    // Control header: length 28, signature of 8 zero bytes, time-out, code, data length 0.
    std::array<std::uint8_t, kControlHeaderSize> header{};
    store_le32(header, 0, kControlHeaderSize);
    store_le32(header, 12, kControlTimeoutSeconds);
    store_le32(header, 16, kMapPlayerRing);
    std::array<std::uint8_t, 4> address{};
    devices::MiniportResult result;
    if (const auto ec = device.miniport_control(header, address, result)) {
        why = "the map player ring request failed: " + ec.message();
        return std::nullopt;
    }
    if (!result.succeeded() || result.returned < address.size() || load_le32(address, 0) == 0 || !result.ring) {
        why = "the port host did not hand over the player ring";
        return std::nullopt;
    }
    const auto bytes = result.ring->bytes();
    if (!has_ring_signature(bytes)) {
        why = "the player ring does not begin with its signature";
        return std::nullopt;
    }
    // The connection that mapped the ring stays open: while INQUIRY to the
    // first controller unit is answered on it, the same port host runs.
    struct Lease {
        std::shared_ptr<devices::PlayerRingMapping> ring;
        devices::Device device;
    };
    auto lease = std::make_shared<Lease>(Lease{result.ring, std::move(device)});
    const auto alive = [lease] {
        const std::array<std::uint8_t, 6> inquiry = {0x12, 0, 0, 0, 36, 0};
        std::array<std::uint8_t, 36> data{};
        std::array<std::uint8_t, 24> sense{};
        devices::PassThroughDirect request;
        request.cdb = inquiry;
        request.direction = devices::DataDirection::in;
        request.data = data;
        request.sense = sense;
        return !lease->device.pass_through_direct(request) && request.srb_status == devices::kSrbSuccess;
    };
    return MappedRing{bytes, lease, alive};
}

bool PortLink::send(std::uint8_t target, std::vector<std::uint8_t> message) {
    std::lock_guard lock(mutex_);
    // A connection broken by a restarted port host is opened anew once.
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (!device_.is_open()) {
            const auto port = find_port();
            if (!port || devices::open_device(port_device_name(*port), device_, once())) return false;
        }
        std::array<std::uint8_t, 24> sense{};
        devices::PassThroughDirect request;
        request.bus = 0;
        request.target = target;
        request.lun = 0;
        request.cdb = kWriteBufferCdb;
        request.direction = devices::DataDirection::out;
        request.data = message;
        request.sense = sense;
        request.timeout_seconds = kReportTimeoutSeconds;
        if (!device_.pass_through_direct(request)) return request.srb_status == devices::kSrbSuccess;
        device_.close();
    }
    return false;
}

bool PortLink::report_position(std::uint32_t unit, std::uint32_t frames) {
    return send(kReportTarget, position_report_message(unit, frames));
}

bool PortLink::report_shutdown() { return send(kShutdownTarget, shutdown_message()); }

}  // namespace qpx::player
