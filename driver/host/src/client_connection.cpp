#include "client_connection.h"

#include <poll.h>
#include <sys/socket.h>

#include <cerrno>

#include "devices/frame_io.h"
#include "qpx/driver/adapter_layout.h"

namespace qpx::host {
namespace {

namespace proto = devices::protocol;
using driver::SrbStatus;

constexpr std::size_t kFixedSenseFields = 14;

}  // namespace

ClientConnection::ClientConnection(devices::UniqueFd socket, ConnectionId id, PortDirectory ports)
    : socket_(std::move(socket)), id_(id), ports_(ports), waker_(std::make_shared<Waker>()) {}

void ClientConnection::shut_down() { ::shutdown(socket_.get(), SHUT_RDWR); }

void ClientConnection::serve() {
    std::vector<std::uint8_t> body;
    for (;;) {
        const devices::FrameRead read = devices::read_frame(socket_.get(), body, proto::kMaxFrameBody);
        if (read == devices::FrameRead::too_large) {
            // The rest of the stream cannot be framed any more.
            reply_status(0, proto::Status::too_large);
            break;
        }
        if (read != devices::FrameRead::ok) break;
        proto::DecodedRequest request = proto::decode_request(body);
        if (request.status != proto::Status::ok) {
            if (!reply_status(request.function, request.status)) break;
            continue;
        }
        if (!handle(request.function, request.body)) break;
    }
    if (port_) port_->detach(id_);
    // The client sees the end at once; the descriptor goes with the object.
    ::shutdown(socket_.get(), SHUT_RDWR);
}

bool ClientConnection::handle(std::uint8_t function, proto::RequestBody& body) {
    if (const auto* o = std::get_if<proto::OpenRequest>(&body)) return reply_status(function, open(*o));
    if (!port_) return reply_status(function, proto::Status::not_open);
    if (std::holds_alternative<proto::GetAddressRequest>(body)) {
        if (!drive_) return reply_status(function, proto::Status::invalid_for_device);
        proto::Reply r{proto::Function::get_address, proto::Status::ok,
                       proto::AddressReply{static_cast<std::uint8_t>(port_->port()), drive_->bus, drive_->target,
                                           drive_->lun}};
        return reply(r);
    }
    if (const auto* m = std::get_if<proto::MiniportRequest>(&body)) return miniport(*m);
    return pass_through(std::get<proto::PassThroughRequest>(body));
}

proto::Status ClientConnection::open(const proto::OpenRequest& request) {
    if (port_) return proto::Status::already_open;
    PortDispatcher* port = ports_.find(request.port);
    if (!port) return proto::Status::no_such_device;
    if (request.kind == proto::DeviceKind::drive) {
        const driver::ScsiAddress address{request.bus, request.target, request.lun};
        const std::uint32_t unit = driver::unit_of(address);
        if (request.lun != 0 || request.target >= driver::kTargetsPerBus || !driver::is_drive_unit(unit) ||
            driver::drive_of_unit(unit) >= port->drive_count())
            return proto::Status::no_such_device;
        drive_ = address;
    }
    port_ = port;
    port_->attach(id_);
    return proto::Status::ok;
}

bool ClientConnection::miniport(const proto::MiniportRequest& request) {
    auto job = make_control_job(id_, request);
    job->waker = waker_;
    port_->submit(job);
    if (!wait_for(*job)) return false;
    if (job->wire_status != proto::Status::ok)
        return reply_status(static_cast<std::uint8_t>(proto::Function::miniport), job->wire_status);
    proto::MiniportReply answer;
    answer.srb_status = static_cast<std::uint8_t>(job->status);
    answer.output.assign(job->control.begin(),
                         job->control.begin() + static_cast<std::ptrdiff_t>(job->output_length));
    return reply({proto::Function::miniport, proto::Status::ok, std::move(answer)}, job->ring_fd.get());
}

bool ClientConnection::pass_through(const proto::PassThroughRequest& request) {
    const driver::ScsiAddress address = drive_ ? *drive_ : driver::ScsiAddress{request.bus, request.target, request.lun};
    auto job = make_scsi_job(id_, request, address);
    job->waker = waker_;
    port_->submit(job);
    if (!wait_for(*job)) return false;
    if (job->wire_status != proto::Status::ok)
        return reply_status(static_cast<std::uint8_t>(proto::Function::pass_through), job->wire_status);

    proto::PassThroughReply answer;
    answer.srb_status = static_cast<std::uint8_t>(job->status);
    answer.scsi_status = job->request.scsi_status;
    if (job->status == SrbStatus::error_with_sense) {
        if (job->sense_wanted >= kFixedSenseFields)
            answer.sense.assign(job->sense.begin(), job->sense.begin() + static_cast<std::ptrdiff_t>(job->sense_wanted));
        else
            answer.srb_status = static_cast<std::uint8_t>(SrbStatus::error);  // no room for the sense data
    }
    answer.transferred = static_cast<std::uint32_t>(std::min(job->request.transferred, job->data.size()));
    if (job->direction == proto::Direction::in)
        answer.data_in.assign(job->data.begin(), job->data.begin() + answer.transferred);
    return reply({proto::Function::pass_through, proto::Status::ok, std::move(answer)});
}

bool ClientConnection::wait_for(const PortJob& job) {
    pollfd fds[2] = {{socket_.get(), POLLRDHUP, 0}, {waker_->fd(), POLLIN, 0}};
    while (!job.done()) {
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (fds[1].revents & POLLIN) waker_->clear();
        if (job.done()) break;
        if (fds[0].revents & (POLLRDHUP | POLLHUP | POLLERR | POLLNVAL)) return false;
    }
    return true;
}

bool ClientConnection::reply(const proto::Reply& r, int pass_fd) {
    return devices::send_frame(socket_.get(), proto::encode_reply(r), pass_fd);
}

bool ClientConnection::reply_status(std::uint8_t function, proto::Status status) {
    return devices::send_frame(socket_.get(), proto::encode_status_reply(function, status));
}

}  // namespace qpx::host
