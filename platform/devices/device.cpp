#include "devices/device.h"

#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <algorithm>
#include <cstring>
#include <thread>

#include "devices/byte_fields.h"
#include "devices/frame_io.h"
#include "devices/port_protocol.h"

namespace qpx::devices {
namespace {

namespace proto = protocol;

constexpr std::string_view kPortDriver = "qpxmport";
constexpr std::size_t kMapAddressBytes = 4;
// The value bytes 0..3 of the map player ring answer hold once the ring is
// mapped here: any non-zero value means "mapped"; the mapping itself comes
// with the result.
constexpr std::uint32_t kRingMapped = 1;

bool retry_helps(std::error_code ec) {
    return ec == DeviceErrc::host_not_running || ec == DeviceErrc::connection_lost ||
           ec == DeviceErrc::no_such_device;
}

std::error_code connect_to_host(UniqueFd& out) {
    UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!fd.valid()) return DeviceErrc::host_not_running;
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const std::string path = port_socket_path().string();
    if (path.size() >= sizeof addr.sun_path) return DeviceErrc::host_not_running;
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    if (::connect(fd.get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0)
        return DeviceErrc::host_not_running;
    out = std::move(fd);
    return {};
}

std::error_code exchange(int socket, const proto::RequestBody& request, proto::Reply& reply,
                         UniqueFd* received = nullptr) {
    if (socket < 0) return DeviceErrc::not_open;
    if (!send_frame(socket, proto::encode_request(request))) return DeviceErrc::connection_lost;
    std::vector<std::uint8_t> body;
    switch (read_frame(socket, body, proto::kMaxFrameBody, received)) {
        case FrameRead::ok: break;
        case FrameRead::too_large: return DeviceErrc::protocol_error;
        default: return DeviceErrc::connection_lost;
    }
    if (!proto::decode_reply(body, proto::function_of(request), reply)) return DeviceErrc::protocol_error;
    switch (reply.status) {
        case proto::Status::ok: return {};
        case proto::Status::no_such_device: return DeviceErrc::no_such_device;
        case proto::Status::invalid_for_device: return DeviceErrc::not_supported;
        case proto::Status::shutting_down: return DeviceErrc::connection_lost;
        default: return DeviceErrc::refused;
    }
}

// Where a name leads: the port and, for a drive, its address on the port.
std::error_code resolve(const DeviceName& name, proto::OpenRequest& out) {
    if (name.kind == DeviceName::Kind::port) {
        for (const auto& p : drives::scsi_ports()) {
            if (p.number != name.port) continue;
            if (p.driver != kPortDriver) return DeviceErrc::not_served;
            out.kind = proto::DeviceKind::port;
            out.port = static_cast<std::uint8_t>(name.port);
            return {};
        }
        return DeviceErrc::no_such_device;
    }
    const auto entry = drives::entry(name.letter);
    if (!entry) return DeviceErrc::no_such_device;
    if (entry->type != drives::DriveType::CdRom || entry->device != kPortDriver || !entry->scsi)
        return DeviceErrc::not_served;
    out.kind = proto::DeviceKind::drive;
    out.port = entry->scsi->port;
    out.bus = entry->scsi->path_id;
    out.target = entry->scsi->target;
    out.lun = entry->scsi->lun;
    return {};
}

}  // namespace

PlayerRingMapping::PlayerRingMapping(const UniqueFd& fd) : size_(proto::kPlayerRingSize) {
    void* p = ::mmap(nullptr, size_, PROT_READ | PROT_WRITE, MAP_SHARED, fd.get(), 0);
    if (p == MAP_FAILED) throw std::system_error(errno, std::generic_category(), "mapping the player ring");
    data_ = static_cast<std::uint8_t*>(p);
}

PlayerRingMapping::~PlayerRingMapping() { ::munmap(data_, size_); }

std::error_code Device::open(std::string_view name, Device& out, const OpenRetry& retry) {
    out.close();
    const auto parsed = parse_device_name(name);
    if (!parsed) return DeviceErrc::invalid_name;
    std::error_code ec;
    const int attempts = std::max(1, retry.attempts);
    for (int attempt = 1; attempt <= attempts; ++attempt) {
        ec = out.open_once(*parsed);
        if (!ec || !retry_helps(ec) || attempt == attempts) break;
        if (retry.wait)
            retry.wait(retry.interval);
        else
            std::this_thread::sleep_for(retry.interval);
    }
    return ec;
}

std::error_code Device::open_once(const DeviceName& name) {
    proto::OpenRequest request;
    if (std::error_code ec = resolve(name, request)) return ec;
    UniqueFd fd;
    if (std::error_code ec = connect_to_host(fd)) return ec;
    proto::Reply reply;
    if (std::error_code ec = exchange(fd.get(), request, reply)) return ec;
    socket_ = std::move(fd);
    kind_ = name.kind;
    return {};
}

std::error_code Device::miniport_control(std::span<const std::uint8_t> input, std::span<std::uint8_t> output,
                                         MiniportResult& result) {
    result = MiniportResult{};
    if (input.size() > proto::kMaxControlBuffer || output.size() > proto::kMaxControlBuffer)
        return DeviceErrc::invalid_argument;
    proto::MiniportRequest request;
    request.output_length = static_cast<std::uint32_t>(output.size());
    request.buffer.assign(input.begin(), input.end());
    proto::Reply reply;
    UniqueFd ring_fd;
    if (std::error_code ec = exchange(socket_.get(), request, reply, &ring_fd)) return ec;
    const auto& answer = std::get<proto::MiniportReply>(reply.body);
    if (answer.output.size() > output.size()) return DeviceErrc::protocol_error;
    std::copy(answer.output.begin(), answer.output.end(), output.begin());
    result.srb_status = answer.srb_status;
    result.returned = answer.output.size();
    if (ring_fd.valid() && result.returned >= kMapAddressBytes) {
        try {
            result.ring = std::make_shared<PlayerRingMapping>(ring_fd);
            store_le32(output, 0, kRingMapped);
        } catch (const std::system_error&) {
            store_le32(output, 0, 0);
        }
    }
    return {};
}

std::error_code Device::pass_through_direct(PassThroughDirect& request) {
    request.srb_status = request.scsi_status = 0;
    request.transferred = request.sense_returned = 0;
    if (request.cdb.empty() || request.cdb.size() > proto::kMaxCdb || request.data.size() > proto::kMaxTransfer ||
        request.sense.size() > proto::kMaxSense ||
        (request.direction == DataDirection::none && !request.data.empty()))
        return DeviceErrc::invalid_argument;
    proto::PassThroughRequest wire;
    wire.bus = request.bus;
    wire.target = request.target;
    wire.lun = request.lun;
    wire.cdb_length = static_cast<std::uint8_t>(request.cdb.size());
    std::copy(request.cdb.begin(), request.cdb.end(), wire.cdb.begin());
    wire.direction = static_cast<proto::Direction>(request.direction);
    wire.sense_length = static_cast<std::uint8_t>(request.sense.size());
    wire.timeout_seconds = request.timeout_seconds;
    wire.data_length = static_cast<std::uint32_t>(request.data.size());
    if (request.direction == DataDirection::out) wire.data_out.assign(request.data.begin(), request.data.end());

    proto::Reply reply;
    if (std::error_code ec = exchange(socket_.get(), wire, reply)) return ec;
    const auto& answer = std::get<proto::PassThroughReply>(reply.body);
    const std::size_t expected_in = request.direction == DataDirection::in ? answer.transferred : 0;
    if (answer.sense.size() > request.sense.size() || answer.transferred > request.data.size() ||
        answer.data_in.size() != expected_in)
        return DeviceErrc::protocol_error;
    std::copy(answer.sense.begin(), answer.sense.end(), request.sense.begin());
    std::copy(answer.data_in.begin(), answer.data_in.end(), request.data.begin());
    request.srb_status = answer.srb_status;
    request.scsi_status = answer.scsi_status;
    request.transferred = answer.transferred;
    request.sense_returned = answer.sense.size();
    return {};
}

std::error_code Device::get_address(drives::ScsiAddress& out) {
    proto::Reply reply;
    if (std::error_code ec = exchange(socket_.get(), proto::GetAddressRequest{}, reply)) return ec;
    const auto& a = std::get<proto::AddressReply>(reply.body);
    out = drives::ScsiAddress{a.port, a.bus, a.target, a.lun};
    return {};
}

std::error_code open_device(std::string_view name, Device& out, const OpenRetry& retry) {
    return Device::open(name, out, retry);
}

}  // namespace qpx::devices
