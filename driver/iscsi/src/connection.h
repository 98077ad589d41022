// One initiator connection (a session of one connection): its login, then
// SCSI commands, task management, NOP, text and logout until it ends.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>

#include "login_exchange.h"
#include "pdu.h"
#include "scsi_task.h"
#include "target_context.h"

namespace qpx::iscsi {

class Connection {
public:
    Connection(TargetContext& target, int socket, std::uint64_t id);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Serves the connection until the initiator leaves, breaks the protocol
    // or the socket is shut down; returns once every command it started has
    // finished. Does not close the socket.
    void serve();

private:
    bool log_in();
    void full_feature_phase();
    bool handle(const Pdu& pdu);  // false: end the connection
    void scsi_command(const Pdu& pdu);
    void task_management(const Pdu& pdu);
    void nop_out(const Pdu& pdu);
    void text_request(const Pdu& pdu);
    void logout(const Pdu& pdu);
    void reject(const Pdu& pdu, std::uint8_t reason);

    void start(ScsiTask& task);
    void finish(ScsiTask& task);
    void respond(ScsiTask& task);
    // How running commands end when their tasks are ended.
    enum class Ending { wait, abort_read, reset_unit };
    // Ends tasks (all, or the one tagged `tag`): queued ones are withdrawn,
    // running ones end as `ending` says and are waited for; none answers.
    void end_tasks(bool only_one, std::uint32_t tag, Ending ending);
    void note_command_sn(const Pdu& pdu);

    // Sends a target PDU stamped with StatSN (advanced when `advance`),
    // ExpCmdSN and MaxCmdSN.
    void send(Pdu& pdu, bool advance_stat_sn = true, bool carries_stat_sn = true);

    TargetContext& target_;
    const int socket_;
    const std::uint64_t id_;
    std::unique_ptr<LoginExchange> login_;
    bool discovery_ = false;
    std::uint32_t drive_ = 0;
    SessionParameters parameters_;

    std::mutex write_mutex_;
    std::uint32_t stat_sn_ = 0;
    bool write_failed_ = false;

    std::mutex tasks_mutex_;
    std::condition_variable task_ended_;
    std::map<std::uint32_t, std::unique_ptr<ScsiTask>> tasks_;
    std::atomic<std::uint32_t> exp_cmd_sn_{0};
};

}  // namespace qpx::iscsi
