#include "port_job.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <system_error>

namespace qpx::host {
namespace {

constexpr std::size_t kFullSense = 18;

}  // namespace

Waker::Waker() : fd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    if (!fd_.valid()) throw std::system_error(errno, std::generic_category(), "eventfd");
}

void Waker::signal() {
    const std::uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(fd_.get(), &one, sizeof one);
}

void Waker::clear() {
    std::uint64_t count;
    [[maybe_unused]] ssize_t n = ::read(fd_.get(), &count, sizeof count);
}

void PortJob::finish() {
    done_.store(true, std::memory_order_release);
    if (waker) waker->signal();
}

std::shared_ptr<PortJob> make_scsi_job(ConnectionId connection, const devices::protocol::PassThroughRequest& wire,
                                       const driver::ScsiAddress& address) {
    auto job = std::make_shared<PortJob>();
    job->kind = PortJob::Kind::scsi;
    job->connection = connection;
    job->request.address = address;
    std::copy_n(wire.cdb.begin(), wire.cdb_length, job->request.cdb.begin());
    if (wire.direction == devices::protocol::Direction::out)
        job->data = wire.data_out;
    else
        job->data.assign(wire.data_length, 0);
    job->direction = wire.direction;
    job->sense_wanted = wire.sense_length;
    job->sense.assign(std::max<std::size_t>(wire.sense_length, kFullSense), 0);
    job->request.data = job->data;
    job->request.sense = job->sense;
    job->timeout_seconds = wire.timeout_seconds;
    return job;
}

std::shared_ptr<PortJob> make_control_job(ConnectionId connection, const devices::protocol::MiniportRequest& wire) {
    auto job = std::make_shared<PortJob>();
    job->kind = PortJob::Kind::control;
    job->connection = connection;
    job->input_length = wire.buffer.size();
    job->output_length = wire.output_length;
    job->control = wire.buffer;
    // Input and output share one buffer, as buffered control calls do.
    job->control.resize(std::max(job->input_length, job->output_length), 0);
    return job;
}

}  // namespace qpx::host
