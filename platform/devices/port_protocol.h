// The messages between the port host (qpxmport) and the programs that open
// its devices. Every message travels as a frame: a little-endian 32-bit body
// length, then the body. A body starts with the protocol version and the
// function; replies repeat both and add a status. Decoders check every length
// against the bytes received and never trust a count they have not seen.
//
// Request bodies (after version, function):
//   open          kind, port, bus, target, lun                      (5 bytes)
//   miniport      output length (le32), control buffer (the rest)
//   pass-through  bus, target, lun, CDB length, CDB (16 bytes), direction,
//                 sense length, reserved (2), time-out s (le32),
//                 data length (le32), data-out bytes (exactly the data
//                 length when the direction is out, none otherwise)
//   get-address   nothing
// Reply bodies (after version, function, status), present when status is ok:
//   open          nothing
//   miniport      SRB status, output length (le32), output bytes; the map
//                 player ring control code attaches the ring's file
//                 descriptor to the frame
//   pass-through  SRB status, SCSI status, sense length, reserved,
//                 transferred (le32), sense bytes, data-in bytes (transferred)
//   get-address   length (le32, 8), port, bus, target, lun
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <variant>
#include <vector>

namespace qpx::devices::protocol {

inline constexpr std::uint8_t kVersion = 1;
inline constexpr std::size_t kMaxTransfer = 65536;      // largest data transfer of one request
inline constexpr std::size_t kMaxControlBuffer = 4096;  // largest miniport control buffer
inline constexpr std::size_t kMaxSense = 255;
inline constexpr std::size_t kMaxCdb = 16;
// The player ring handed over with the map player ring control code.
inline constexpr std::size_t kPlayerRingSize = 16384;
// Largest body either side sends: a pass-through reply with full sense and data.
inline constexpr std::size_t kMaxFrameBody = kMaxTransfer + kMaxSense + 64;

enum class Function : std::uint8_t { open = 1, miniport = 2, pass_through = 3, get_address = 4 };

enum class Status : std::uint8_t {
    ok = 0,
    malformed = 1,           // a length or field does not fit the bytes received
    bad_version = 2,
    unknown_function = 3,
    not_open = 4,            // a device request before open
    no_such_device = 5,      // open of a port or drive this host does not serve
    too_large = 6,           // frame longer than any valid message; the host closes the connection
    shutting_down = 7,
    already_open = 8,
    invalid_for_device = 9,  // e.g. get-address on a port device
};
std::string_view describe(Status status);

enum class DeviceKind : std::uint8_t { port = 1, drive = 2 };
enum class Direction : std::uint8_t { none = 0, in = 1, out = 2 };

struct OpenRequest {
    DeviceKind kind = DeviceKind::port;
    std::uint8_t port = 0;
    std::uint8_t bus = 0;
    std::uint8_t target = 0;
    std::uint8_t lun = 0;
};

struct MiniportRequest {
    std::uint32_t output_length = 0;
    std::vector<std::uint8_t> buffer;  // 28-byte control header, then data
};

struct PassThroughRequest {
    std::uint8_t bus = 0;
    std::uint8_t target = 0;
    std::uint8_t lun = 0;
    std::uint8_t cdb_length = 0;
    std::array<std::uint8_t, kMaxCdb> cdb{};
    Direction direction = Direction::none;
    std::uint8_t sense_length = 0;
    std::uint32_t timeout_seconds = 0;  // 0: no limit
    std::uint32_t data_length = 0;
    std::vector<std::uint8_t> data_out;
};

struct GetAddressRequest {};

using RequestBody = std::variant<OpenRequest, MiniportRequest, PassThroughRequest, GetAddressRequest>;

struct MiniportReply {
    std::uint8_t srb_status = 0;
    std::vector<std::uint8_t> output;
};

struct PassThroughReply {
    std::uint8_t srb_status = 0;
    std::uint8_t scsi_status = 0;
    std::vector<std::uint8_t> sense;
    std::uint32_t transferred = 0;
    std::vector<std::uint8_t> data_in;  // `transferred` bytes for data-in, else none
};

struct AddressReply {
    std::uint8_t port = 0;
    std::uint8_t bus = 0;
    std::uint8_t target = 0;
    std::uint8_t lun = 0;
};

using ReplyBody = std::variant<std::monostate, MiniportReply, PassThroughReply, AddressReply>;

struct Reply {
    Function function = Function::open;
    Status status = Status::ok;
    ReplyBody body;
};

Function function_of(const RequestBody& request);

std::vector<std::uint8_t> encode_request(const RequestBody& request);
// Decodes a request body. On failure `status` says why and `function` is
// the function byte as received (0 when the body was too short for it).
struct DecodedRequest {
    Status status = Status::ok;
    std::uint8_t function = 0;
    RequestBody body;
};
DecodedRequest decode_request(std::span<const std::uint8_t> body);

std::vector<std::uint8_t> encode_reply(const Reply& reply);
// Encodes a reply that carries only a status (errors, open).
std::vector<std::uint8_t> encode_status_reply(std::uint8_t function, Status status);
// Decodes a reply to a request of `expected`; false for anything that does
// not fit: another function, lengths beyond the body, bytes left over.
bool decode_reply(std::span<const std::uint8_t> body, Function expected, Reply& out);

}  // namespace qpx::devices::protocol
