// The login phase of one connection: identity, CHAP when configured and the
// operational keys, one login request at a time.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "chap.h"
#include "operational_parameters.h"
#include "pdu.h"
#include "target_context.h"

namespace qpx::iscsi {

namespace login_status {
inline constexpr std::uint16_t success = 0x0000;
inline constexpr std::uint16_t initiator_error = 0x0200;
inline constexpr std::uint16_t authentication_failure = 0x0201;
inline constexpr std::uint16_t not_found = 0x0203;
inline constexpr std::uint16_t unsupported_version = 0x0205;
inline constexpr std::uint16_t missing_parameter = 0x0207;
inline constexpr std::uint16_t invalid_during_login = 0x020B;
}  // namespace login_status

enum class LoginState { negotiating, full_feature, failed };

class LoginExchange {
public:
    explicit LoginExchange(TargetContext& target) : target_(target) {}

    // Answers one login request. `stat_sn` is the StatSN the response
    // carries; the caller advances it. After `failed` the caller sends the
    // response and closes the connection.
    Pdu answer(const Pdu& request, std::uint32_t stat_sn, std::uint32_t exp_cmd_sn, std::uint32_t max_cmd_sn);

    LoginState state() const { return state_; }
    bool discovery() const { return discovery_; }
    const OfferedDrive* drive() const { return drive_; }
    const SessionParameters& parameters() const { return parameters_; }
    const std::string& failure() const { return failure_; }

private:
    std::uint16_t check_identity(const std::vector<TextPair>& keys);
    std::uint16_t security_keys(const std::vector<TextPair>& keys, std::vector<TextPair>& answers);
    Pdu fail(const Pdu& request, std::uint16_t status, std::string reason, std::uint32_t stat_sn);

    TargetContext& target_;
    LoginState state_ = LoginState::negotiating;
    int requests_ = 0;
    bool identified_ = false;
    bool discovery_ = false;
    const OfferedDrive* drive_ = nullptr;
    bool declared_limits_ = false;
    // CHAP progress.
    bool authenticated_ = false;
    bool chap_chosen_ = false;
    std::optional<ChapChallenge> challenge_;
    SessionParameters parameters_;
    std::string failure_;
    std::uint16_t session_handle_ = 0;
};

}  // namespace qpx::iscsi
