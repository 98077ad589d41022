#include "devices/port_protocol.h"

#include <algorithm>

#include "devices/byte_fields.h"

namespace qpx::devices::protocol {
namespace {

constexpr std::size_t kPassThroughFields = 32;  // bytes before the data-out bytes

bool valid_direction(std::uint8_t d) { return d <= static_cast<std::uint8_t>(Direction::out); }

Status decode_open(FieldReader& r, RequestBody& out) {
    OpenRequest o;
    const std::uint8_t kind = r.u8();
    o.port = r.u8();
    o.bus = r.u8();
    o.target = r.u8();
    o.lun = r.u8();
    if (!r.ok() || r.remaining() != 0) return Status::malformed;
    if (kind != static_cast<std::uint8_t>(DeviceKind::port) && kind != static_cast<std::uint8_t>(DeviceKind::drive))
        return Status::malformed;
    o.kind = static_cast<DeviceKind>(kind);
    out = o;
    return Status::ok;
}

Status decode_miniport(FieldReader& r, RequestBody& out) {
    MiniportRequest m;
    m.output_length = r.le32();
    if (!r.ok()) return Status::malformed;
    if (m.output_length > kMaxControlBuffer || r.remaining() > kMaxControlBuffer) return Status::malformed;
    auto rest = r.bytes(r.remaining());
    m.buffer.assign(rest.begin(), rest.end());
    out = std::move(m);
    return Status::ok;
}

Status decode_pass_through(FieldReader& r, RequestBody& out) {
    PassThroughRequest p;
    p.bus = r.u8();
    p.target = r.u8();
    p.lun = r.u8();
    p.cdb_length = r.u8();
    auto cdb = r.bytes(kMaxCdb);
    const std::uint8_t direction = r.u8();
    p.sense_length = r.u8();
    r.le16();  // reserved
    p.timeout_seconds = r.le32();
    p.data_length = r.le32();
    if (!r.ok()) return Status::malformed;
    if (p.cdb_length == 0 || p.cdb_length > kMaxCdb || !valid_direction(direction) ||
        p.data_length > kMaxTransfer)
        return Status::malformed;
    std::copy(cdb.begin(), cdb.end(), p.cdb.begin());
    p.direction = static_cast<Direction>(direction);
    if (p.direction == Direction::none && p.data_length != 0) return Status::malformed;
    const std::size_t carried = p.direction == Direction::out ? p.data_length : 0;
    if (r.remaining() != carried) return Status::malformed;
    auto data = r.bytes(carried);
    p.data_out.assign(data.begin(), data.end());
    out = std::move(p);
    return Status::ok;
}

}  // namespace

std::string_view describe(Status status) {
    switch (status) {
        case Status::ok: return "ok";
        case Status::malformed: return "malformed request";
        case Status::bad_version: return "unsupported protocol version";
        case Status::unknown_function: return "unknown function";
        case Status::not_open: return "no device opened on this connection";
        case Status::no_such_device: return "no such device on this port host";
        case Status::too_large: return "request too large";
        case Status::shutting_down: return "the port host is shutting down";
        case Status::already_open: return "a device is already open on this connection";
        case Status::invalid_for_device: return "request not supported by this device";
    }
    return "unknown status";
}

Function function_of(const RequestBody& request) {
    struct {
        Function operator()(const OpenRequest&) const { return Function::open; }
        Function operator()(const MiniportRequest&) const { return Function::miniport; }
        Function operator()(const PassThroughRequest&) const { return Function::pass_through; }
        Function operator()(const GetAddressRequest&) const { return Function::get_address; }
    } visitor;
    return std::visit(visitor, request);
}

std::vector<std::uint8_t> encode_request(const RequestBody& request) {
    std::vector<std::uint8_t> out;
    FieldWriter w(out);
    w.u8(kVersion);
    w.u8(static_cast<std::uint8_t>(function_of(request)));
    if (const auto* o = std::get_if<OpenRequest>(&request)) {
        w.u8(static_cast<std::uint8_t>(o->kind));
        w.u8(o->port);
        w.u8(o->bus);
        w.u8(o->target);
        w.u8(o->lun);
    } else if (const auto* m = std::get_if<MiniportRequest>(&request)) {
        w.le32(m->output_length);
        w.bytes(m->buffer);
    } else if (const auto* p = std::get_if<PassThroughRequest>(&request)) {
        w.u8(p->bus);
        w.u8(p->target);
        w.u8(p->lun);
        w.u8(p->cdb_length);
        w.bytes(p->cdb);
        w.u8(static_cast<std::uint8_t>(p->direction));
        w.u8(p->sense_length);
        w.le16(0);
        w.le32(p->timeout_seconds);
        w.le32(p->data_length);
        w.bytes(p->data_out);
    }
    return out;
}

DecodedRequest decode_request(std::span<const std::uint8_t> body) {
    DecodedRequest d;
    FieldReader r(body);
    const std::uint8_t version = r.u8();
    d.function = r.u8();
    if (!r.ok()) {
        d.status = Status::malformed;
        return d;
    }
    if (version != kVersion) {
        d.status = Status::bad_version;
        return d;
    }
    switch (static_cast<Function>(d.function)) {
        case Function::open: d.status = decode_open(r, d.body); break;
        case Function::miniport: d.status = decode_miniport(r, d.body); break;
        case Function::pass_through: d.status = decode_pass_through(r, d.body); break;
        case Function::get_address:
            d.body = GetAddressRequest{};
            d.status = r.remaining() == 0 ? Status::ok : Status::malformed;
            break;
        default: d.status = Status::unknown_function; break;
    }
    return d;
}

std::vector<std::uint8_t> encode_status_reply(std::uint8_t function, Status status) {
    return {kVersion, function, static_cast<std::uint8_t>(status)};
}

std::vector<std::uint8_t> encode_reply(const Reply& reply) {
    std::vector<std::uint8_t> out = encode_status_reply(static_cast<std::uint8_t>(reply.function), reply.status);
    if (reply.status != Status::ok) return out;
    FieldWriter w(out);
    if (const auto* m = std::get_if<MiniportReply>(&reply.body)) {
        w.u8(m->srb_status);
        w.le32(static_cast<std::uint32_t>(m->output.size()));
        w.bytes(m->output);
    } else if (const auto* p = std::get_if<PassThroughReply>(&reply.body)) {
        w.u8(p->srb_status);
        w.u8(p->scsi_status);
        w.u8(static_cast<std::uint8_t>(p->sense.size()));
        w.u8(0);
        w.le32(p->transferred);
        w.bytes(p->sense);
        w.bytes(p->data_in);
    } else if (const auto* a = std::get_if<AddressReply>(&reply.body)) {
        w.le32(8);
        w.u8(a->port);
        w.u8(a->bus);
        w.u8(a->target);
        w.u8(a->lun);
    }
    return out;
}

bool decode_reply(std::span<const std::uint8_t> body, Function expected, Reply& out) {
    FieldReader r(body);
    const std::uint8_t version = r.u8();
    const std::uint8_t function = r.u8();
    const std::uint8_t status = r.u8();
    if (!r.ok() || version != kVersion) return false;
    out = Reply{};
    out.function = static_cast<Function>(function);
    out.status = static_cast<Status>(status);
    if (out.status != Status::ok) return r.remaining() == 0 && status <= static_cast<std::uint8_t>(Status::invalid_for_device);
    if (out.function != expected) return false;
    switch (expected) {
        case Function::open: out.body = std::monostate{}; break;
        case Function::miniport: {
            MiniportReply m;
            m.srb_status = r.u8();
            const std::uint32_t n = r.le32();
            if (!r.ok() || n > kMaxControlBuffer) return false;
            auto bytes = r.bytes(n);
            m.output.assign(bytes.begin(), bytes.end());
            out.body = std::move(m);
            break;
        }
        case Function::pass_through: {
            PassThroughReply p;
            p.srb_status = r.u8();
            p.scsi_status = r.u8();
            const std::uint8_t sense_length = r.u8();
            r.u8();
            p.transferred = r.le32();
            auto sense = r.bytes(sense_length);
            if (!r.ok() || p.transferred > kMaxTransfer) return false;
            p.sense.assign(sense.begin(), sense.end());
            // Data-in bytes, if any, are all that is left.
            auto data = r.bytes(r.remaining());
            p.data_in.assign(data.begin(), data.end());
            out.body = std::move(p);
            break;
        }
        case Function::get_address: {
            AddressReply a;
            const std::uint32_t length = r.le32();
            a.port = r.u8();
            a.bus = r.u8();
            a.target = r.u8();
            a.lun = r.u8();
            if (!r.ok() || length != 8) return false;
            out.body = a;
            break;
        }
        default: return false;
    }
    return r.ok() && r.remaining() == 0;
}

}  // namespace qpx::devices::protocol
