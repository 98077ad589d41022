#include "connection.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>

#include "big_endian.h"
#include "pdu_stream.h"
#include "qpx/driver/adapter_layout.h"
#include "qpx/driver/srb_status.h"
#include "text_keys.h"
#include "wire_status.h"

namespace qpx::iscsi {
namespace {

namespace sense = driver::sense;

constexpr std::uint32_t kCommandWindow = 16;

namespace reject_reason {
constexpr std::uint8_t protocol_error = 0x04;
constexpr std::uint8_t command_not_supported = 0x05;
constexpr std::uint8_t invalid_pdu_field = 0x09;
}  // namespace reject_reason

namespace tmf {
constexpr std::uint8_t abort_task = 1;
constexpr std::uint8_t abort_task_set = 2;
constexpr std::uint8_t clear_task_set = 4;
constexpr std::uint8_t logical_unit_reset = 5;
constexpr std::uint8_t complete = 0;
constexpr std::uint8_t no_such_task = 1;
constexpr std::uint8_t no_such_lun = 2;
constexpr std::uint8_t not_supported = 5;
}  // namespace tmf

constexpr std::uint8_t kOpInquiry = 0x12;
constexpr std::uint8_t kOpRequestSense = 0x03;
constexpr std::uint8_t kOpReportLuns = 0xA0;
constexpr std::uint8_t kOpEventStatus = 0x4A;
constexpr std::uint8_t kAscWriteProtected = 0x27;
constexpr std::uint8_t kAscLunNotSupported = 0x25;
constexpr std::uint8_t kDataProtect = 0x07;

constexpr std::uint8_t kCommandWrite = 0x20;
constexpr std::uint8_t kDataInFinal = 0x80;
constexpr std::uint8_t kDataInStatus = 0x01;
constexpr std::uint8_t kResidualUnderflow = 0x02;

// Commands a pending UNIT ATTENTION does not hold back.
bool passes_unit_attention(std::uint8_t op) {
    return op == kOpInquiry || op == kOpRequestSense || op == kOpReportLuns || op == kOpEventStatus;
}

// Answers the target gives itself, written into the task as a drive would.
void answer_check_condition(ScsiTask& t, const std::vector<std::uint8_t>& sense_bytes) {
    t.request.status = driver::SrbStatus::error_with_sense;
    t.request.scsi_status = driver::kScsiCheckCondition;
    t.request.transferred = 0;
    std::copy(sense_bytes.begin(), sense_bytes.end(), t.sense.begin());
}

bool serial_before(std::uint32_t a, std::uint32_t b) { return a != b && static_cast<std::int32_t>(a - b) < 0; }

}  // namespace

Connection::Connection(TargetContext& target, int socket, std::uint64_t id)
    : target_(target), socket_(socket), id_(id), login_(std::make_unique<LoginExchange>(target)) {}

Connection::~Connection() { target_.attentions.leave(id_); }

void Connection::serve() {
    if (!log_in()) return;
    if (!discovery_) target_.attentions.join(id_, drive_, Attention{sense::kAscResetOccurred});
    full_feature_phase();
    // Reads of a vanished initiator run to their end: aborting would close
    // the medium under the drive's other connections.
    end_tasks(false, 0, Ending::wait);
}

bool Connection::log_in() {
    bool first = true;
    for (;;) {
        Pdu request;
        if (read_pdu(socket_, kTargetMaxRecvDataSegment, request) != ReadResult::ok) return false;
        if (first) {
            stat_sn_ = request.field32(28);
            exp_cmd_sn_ = request.field32(24);
            first = false;
        }
        Pdu response = login_->answer(request, stat_sn_, exp_cmd_sn_, exp_cmd_sn_ + kCommandWindow - 1);
        ++stat_sn_;
        if (!write_pdu(socket_, response)) return false;
        if (login_->state() == LoginState::failed) return false;
        if (login_->state() == LoginState::full_feature) break;
    }
    discovery_ = login_->discovery();
    if (!discovery_) drive_ = login_->drive()->drive;
    parameters_ = login_->parameters();
    return true;
}

void Connection::full_feature_phase() {
    for (;;) {
        Pdu pdu;
        const ReadResult got = read_pdu(socket_, kTargetMaxRecvDataSegment, pdu);
        if (got != ReadResult::ok) return;  // a segment beyond our limit ends the connection too
        if (!handle(pdu)) return;
        std::lock_guard lock(write_mutex_);
        if (write_failed_) return;
    }
}

void Connection::note_command_sn(const Pdu& pdu) {
    if (pdu.immediate()) return;
    std::uint32_t expected = exp_cmd_sn_;
    if (pdu.field32(24) == expected) exp_cmd_sn_.compare_exchange_strong(expected, expected + 1);
}

bool Connection::handle(const Pdu& pdu) {
    switch (pdu.opcode()) {
        case opcode::scsi_command:
            note_command_sn(pdu);
            if (discovery_) {
                reject(pdu, reject_reason::protocol_error);
                return true;
            }
            scsi_command(pdu);
            return true;
        case opcode::task_management:
            note_command_sn(pdu);
            if (discovery_) {
                reject(pdu, reject_reason::protocol_error);
                return true;
            }
            task_management(pdu);
            return true;
        case opcode::nop_out:
            note_command_sn(pdu);
            nop_out(pdu);
            return true;
        case opcode::text:
            note_command_sn(pdu);
            text_request(pdu);
            return true;
        case opcode::data_out:
            // No R2T is ever sent and immediate data is off: unsolicited data is dropped.
            return true;
        case opcode::logout:
            note_command_sn(pdu);
            logout(pdu);
            return false;
        case opcode::login:
            reject(pdu, reject_reason::protocol_error);
            return false;
        default:
            reject(pdu, reject_reason::command_not_supported);
            return true;
    }
}

void Connection::send(Pdu& pdu, bool advance_stat_sn, bool carries_stat_sn) {
    std::lock_guard lock(write_mutex_);
    if (write_failed_) return;
    if (carries_stat_sn) pdu.set_field32(24, stat_sn_);
    const std::uint32_t expected = exp_cmd_sn_;
    pdu.set_field32(28, expected);
    pdu.set_field32(32, expected + kCommandWindow - 1);
    if (advance_stat_sn) ++stat_sn_;
    if (!write_pdu(socket_, pdu)) {
        write_failed_ = true;
        ::shutdown(socket_, SHUT_RDWR);
    }
}

void Connection::reject(const Pdu& pdu, std::uint8_t reason) {
    Pdu r;
    r.set_opcode(opcode::reject);
    r.bhs[1] = 0x80;
    r.bhs[2] = reason;
    r.set_task_tag(kNoTag);
    r.data.assign(pdu.bhs.begin(), pdu.bhs.end());
    send(r);
}

void Connection::scsi_command(const Pdu& pdu) {
    const std::uint32_t tag = pdu.task_tag();
    auto task = std::make_unique<ScsiTask>();
    ScsiTask& t = *task;
    t.tag = tag;
    t.lun = pdu.lun();
    t.expected_length = pdu.field32(20);
    std::copy(pdu.bhs.begin() + 32, pdu.bhs.begin() + 48, t.request.cdb.begin());
    t.request.address = driver::address_of_drive(drive_);
    t.request.sense = t.sense;
    {
        std::lock_guard lock(tasks_mutex_);
        if (tasks_.size() >= kCommandWindow * 2 || tasks_.count(tag) != 0) {
            reject(pdu, tasks_.count(tag) ? reject_reason::invalid_pdu_field : reject_reason::protocol_error);
            return;
        }
        tasks_.emplace(tag, std::move(task));
    }

    const std::uint8_t op = t.request.opcode();
    if ((pdu.bhs[1] & kCommandWrite) != 0) {
        answer_check_condition(t, fixed_sense(kDataProtect, kAscWriteProtected));
    } else if (t.lun != 0) {
        if (op == kOpInquiry && t.expected_length > 0) {
            // No logical unit here: peripheral qualifier 3, type 0x1F.
            t.data.assign(std::min<std::uint32_t>(t.expected_length, 36), 0);
            t.data[0] = 0x7F;
            t.request.data = t.data;
            t.request.transferred = t.data.size();
            t.request.status = driver::SrbStatus::success;
            t.request.scsi_status = driver::kScsiGood;
        } else {
            answer_check_condition(t, fixed_sense(sense::kIllegalRequest, kAscLunNotSupported));
        }
    } else if (!pdu.ahs.empty()) {
        answer_check_condition(t, fixed_sense(sense::kIllegalRequest, sense::kAscInvalidFieldInCdb));
    } else if (t.expected_length > driver::kMaxTransferBytes) {
        answer_check_condition(t, fixed_sense(sense::kIllegalRequest, sense::kAscInvalidFieldInCdb));
    } else if (const auto attention = passes_unit_attention(op) ? std::nullopt : target_.attentions.take(id_)) {
        answer_check_condition(t, fixed_sense(sense::kUnitAttention, attention->asc));
    } else {
        t.data.assign(t.expected_length, 0);
        t.request.data = t.data;
        start(t);
        return;
    }
    respond(t);
    std::lock_guard lock(tasks_mutex_);
    tasks_.erase(tag);
}

void Connection::start(ScsiTask& t) {
    {
        std::lock_guard lock(tasks_mutex_);
        t.queued = true;
    }
    target_.queue.submit(drive_, t.request, [this, &t] { finish(t); });
}

void Connection::finish(ScsiTask& t) {
    {
        std::lock_guard lock(tasks_mutex_);
        if (t.aborted) {
            t.queued = false;
            task_ended_.notify_all();
            return;
        }
    }
    // A medium change or reset the drive reports is news for the other connections too.
    if (t.request.status == driver::SrbStatus::error_with_sense && t.sense[12] != 0 &&
        (t.sense[2] & 0x0F) == sense::kUnitAttention)
        target_.attentions.raise_for_others(drive_, id_, Attention{t.sense[12]});
    respond(t);
    std::lock_guard lock(tasks_mutex_);
    t.queued = false;
    tasks_.erase(t.tag);
    task_ended_.notify_all();
}

void Connection::respond(ScsiTask& t) {
    const WireStatus wire = wire_status_of(t.request);

    const std::size_t total = wire.data_bytes;
    const std::uint32_t residual = t.expected_length - static_cast<std::uint32_t>(total);
    const bool status_in_data = wire.status == driver::kScsiGood && total > 0;
    const std::size_t segment = std::max<std::size_t>(parameters_.initiator_max_recv_data_segment, 512);
    std::uint32_t data_sn = 0;
    for (std::size_t offset = 0; offset < total;) {
        const std::size_t n = std::min(segment, total - offset);
        const bool last = offset + n == total;
        Pdu d;
        d.set_opcode(opcode::data_in);
        const bool burst_end = (offset + n) % parameters_.max_burst == 0;
        d.bhs[1] = static_cast<std::uint8_t>((last || burst_end) ? kDataInFinal : 0);
        d.set_task_tag(t.tag);
        d.set_field32(20, kNoTag);
        d.set_field32(36, data_sn++);
        d.set_field32(40, static_cast<std::uint32_t>(offset));
        if (last && status_in_data) {
            d.bhs[1] |= kDataInStatus | (residual ? kResidualUnderflow : 0);
            d.bhs[3] = wire.status;
            d.set_field32(44, residual);
        }
        d.data.assign(t.data.begin() + static_cast<std::ptrdiff_t>(offset),
                      t.data.begin() + static_cast<std::ptrdiff_t>(offset + n));
        const bool carries_status = last && status_in_data;
        send(d, carries_status, carries_status);
        offset += n;
    }
    if (status_in_data) return;

    Pdu r;
    r.set_opcode(opcode::scsi_response);
    r.bhs[1] = static_cast<std::uint8_t>(0x80 | (residual ? kResidualUnderflow : 0));
    r.bhs[2] = 0;  // command completed at target
    r.bhs[3] = wire.status;
    r.set_task_tag(t.tag);
    r.set_field32(36, data_sn);
    r.set_field32(44, residual);
    if (!wire.sense.empty()) {
        r.data.resize(2);
        put_be16(r.data, 0, static_cast<std::uint16_t>(wire.sense.size()));
        r.data.insert(r.data.end(), wire.sense.begin(), wire.sense.end());
    }
    send(r);
}

void Connection::end_tasks(bool only_one, std::uint32_t tag, Ending ending) {
    bool any_running = false;
    {
        std::lock_guard lock(tasks_mutex_);
        for (auto it = tasks_.begin(); it != tasks_.end();) {
            ScsiTask& t = *it->second;
            if (only_one && t.tag != tag) {
                ++it;
                continue;
            }
            t.aborted = true;
            if (t.queued && target_.queue.withdraw(drive_, t.request)) t.queued = false;
            any_running = any_running || t.queued;
            ++it;
        }
    }
    if (ending == Ending::reset_unit) target_.queue.runner().reset();
    else if (ending == Ending::abort_read && any_running) target_.queue.runner().abort(drive_);
    std::unique_lock lock(tasks_mutex_);
    task_ended_.wait(lock, [&] {
        return std::none_of(tasks_.begin(), tasks_.end(), [](const auto& e) { return e.second->aborted && e.second->queued; });
    });
    std::erase_if(tasks_, [](const auto& e) { return e.second->aborted; });
}

void Connection::task_management(const Pdu& pdu) {
    const std::uint8_t function = pdu.bhs[1] & 0x7F;
    const std::uint32_t referenced = pdu.field32(20);
    std::uint8_t response = tmf::complete;
    if (pdu.lun() != 0 && function != tmf::abort_task) {
        response = tmf::no_such_lun;
    } else if (function == tmf::abort_task) {
        bool known;
        {
            std::lock_guard lock(tasks_mutex_);
            known = tasks_.count(referenced) != 0;
        }
        if (known) end_tasks(true, referenced, Ending::abort_read);
        else if (!serial_before(pdu.field32(32), exp_cmd_sn_)) response = tmf::no_such_task;
    } else if (function == tmf::abort_task_set || function == tmf::clear_task_set) {
        end_tasks(false, 0, Ending::abort_read);
    } else if (function == tmf::logical_unit_reset) {
        end_tasks(false, 0, Ending::reset_unit);
        target_.attentions.raise_for_others(drive_, id_, Attention{sense::kAscResetOccurred});
    } else {
        response = tmf::not_supported;
    }
    Pdu r;
    r.set_opcode(opcode::task_management_response);
    r.bhs[1] = 0x80;
    r.bhs[2] = response;
    r.set_task_tag(pdu.task_tag());
    send(r);
}

void Connection::nop_out(const Pdu& pdu) {
    if (pdu.task_tag() == kNoTag) return;  // no answer wanted
    Pdu r;
    r.set_opcode(opcode::nop_in);
    r.bhs[1] = 0x80;
    r.set_lun(pdu.lun());
    r.set_task_tag(pdu.task_tag());
    r.set_field32(20, kNoTag);
    const std::size_t echoed = std::min<std::size_t>(pdu.data.size(), parameters_.initiator_max_recv_data_segment);
    r.data.assign(pdu.data.begin(), pdu.data.begin() + static_cast<std::ptrdiff_t>(echoed));
    send(r);
}

void Connection::text_request(const Pdu& pdu) {
    const auto keys = parse_text(pdu.data);
    if (!keys || (pdu.bhs[1] & 0x40) != 0) {
        reject(pdu, reject_reason::invalid_pdu_field);
        return;
    }
    Pdu r;
    r.set_opcode(opcode::text_response);
    r.bhs[1] = 0x80;
    r.set_task_tag(pdu.task_tag());
    r.set_field32(20, kNoTag);

    sockaddr_storage local{};
    socklen_t local_length = sizeof local;
    std::string portal = target_.config.address + ":" + std::to_string(target_.config.port);
    if (::getsockname(socket_, reinterpret_cast<sockaddr*>(&local), &local_length) == 0 && local.ss_family == AF_INET) {
        const auto* in = reinterpret_cast<const sockaddr_in*>(&local);
        const auto* a = reinterpret_cast<const std::uint8_t*>(&in->sin_addr);
        portal = std::to_string(a[0]) + "." + std::to_string(a[1]) + "." + std::to_string(a[2]) + "." +
                 std::to_string(a[3]) + ":" + std::to_string(ntohs(in->sin_port));
    }
    for (const auto& [key, value] : *keys) {
        if (key != "SendTargets") {
            append_text(r.data, key, "NotUnderstood");
            continue;
        }
        for (const OfferedDrive& d : target_.config.drives) {
            const std::string name = target_name(target_.config.name_prefix, d);
            const bool wanted = value == "All" ? discovery_
                                : value.empty() ? !discovery_ && d.drive == drive_
                                                : value == name && (discovery_ || d.drive == drive_);
            if (!wanted) continue;
            append_text(r.data, "TargetName", name);
            append_text(r.data, "TargetAddress", portal + ",1");
        }
    }
    if (r.data.size() > parameters_.initiator_max_recv_data_segment) r.data.clear();
    send(r);
}

void Connection::logout(const Pdu& pdu) {
    end_tasks(false, 0, Ending::wait);
    Pdu r;
    r.set_opcode(opcode::logout_response);
    r.bhs[1] = 0x80;
    r.bhs[2] = 0;  // closed successfully
    r.set_task_tag(pdu.task_tag());
    send(r);
}

}  // namespace qpx::iscsi
