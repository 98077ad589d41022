#include "login_exchange.h"

#include "big_endian.h"

namespace qpx::iscsi {
namespace {

constexpr int kMaxLoginRequests = 16;
constexpr std::uint8_t kStageSecurity = 0;
constexpr std::uint8_t kStageOperational = 1;
constexpr std::uint8_t kStageFullFeature = 3;
constexpr std::uint8_t kTransit = 0x80;
constexpr std::uint8_t kContinue = 0x40;

const std::string* find_key(const std::vector<TextPair>& keys, const std::string& name) {
    for (const auto& [k, v] : keys)
        if (k == name) return &v;
    return nullptr;
}

bool list_has(const std::string& list, const std::string& item) {
    std::size_t start = 0;
    while (start <= list.size()) {
        const std::size_t comma = list.find(',', start);
        const std::size_t end = comma == std::string::npos ? list.size() : comma;
        if (list.compare(start, end - start, item) == 0) return true;
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return false;
}

Pdu response_to(const Pdu& request, std::uint32_t stat_sn) {
    Pdu r;
    r.set_opcode(opcode::login_response);
    std::copy(request.bhs.begin() + 8, request.bhs.begin() + 14, r.bhs.begin() + 8);  // ISID
    r.set_task_tag(request.task_tag());
    r.set_field32(24, stat_sn);
    return r;
}

}  // namespace

Pdu LoginExchange::fail(const Pdu& request, std::uint16_t status, std::string reason, std::uint32_t stat_sn) {
    state_ = LoginState::failed;
    failure_ = std::move(reason);
    Pdu r = response_to(request, stat_sn);
    put_be16(r.bhs, 36, status);
    return r;
}

std::uint16_t LoginExchange::check_identity(const std::vector<TextPair>& keys) {
    const std::string* initiator = find_key(keys, "InitiatorName");
    if (!initiator || initiator->empty()) {
        failure_ = "no InitiatorName";
        return login_status::missing_parameter;
    }
    const std::string* type = find_key(keys, "SessionType");
    if (type && *type != "Normal" && *type != "Discovery") {
        failure_ = "unknown SessionType";
        return login_status::initiator_error;
    }
    discovery_ = type && *type == "Discovery";
    if (!discovery_) {
        const std::string* name = find_key(keys, "TargetName");
        if (!name) {
            failure_ = "no TargetName";
            return login_status::missing_parameter;
        }
        drive_ = target_.drive_named(*name);
        if (!drive_) {
            failure_ = "no target " + *name;
            return login_status::not_found;
        }
    }
    identified_ = true;
    return login_status::success;
}

std::uint16_t LoginExchange::security_keys(const std::vector<TextPair>& keys, std::vector<TextPair>& answers) {
    const bool chap_required = target_.config.chap.has_value();
    if (const std::string* methods = find_key(keys, "AuthMethod")) {
        if (chap_required && list_has(*methods, "CHAP")) {
            chap_chosen_ = true;
            answers.emplace_back("AuthMethod", "CHAP");
        } else if (!chap_required && list_has(*methods, "None")) {
            answers.emplace_back("AuthMethod", "None");
        } else {
            failure_ = chap_required ? "initiator does not offer CHAP" : "initiator does not offer AuthMethod None";
            return login_status::authentication_failure;
        }
    }
    if (const std::string* algorithms = find_key(keys, "CHAP_A")) {
        if (!chap_chosen_ || challenge_ || !chap_offers_md5(*algorithms)) {
            failure_ = "CHAP_A out of turn or without MD5";
            return login_status::authentication_failure;
        }
        challenge_ = make_chap_challenge();
        answers.emplace_back("CHAP_A", "5");
        answers.emplace_back("CHAP_I", std::to_string(challenge_->identifier));
        answers.emplace_back("CHAP_C", to_hex_value(challenge_->challenge.data(), challenge_->challenge.size()));
    }
    const std::string* user = find_key(keys, "CHAP_N");
    const std::string* response = find_key(keys, "CHAP_R");
    if (find_key(keys, "CHAP_I") || find_key(keys, "CHAP_C")) {
        failure_ = "mutual CHAP is not offered";
        return login_status::authentication_failure;
    }
    if (user || response) {
        if (!challenge_ || !user || !response || *user != target_.config.chap->user ||
            !chap_response_matches(*challenge_, target_.config.chap->secret, *response)) {
            failure_ = "CHAP response refused";
            return login_status::authentication_failure;
        }
        authenticated_ = true;
        challenge_.reset();
    }
    return login_status::success;
}

Pdu LoginExchange::answer(const Pdu& request, std::uint32_t stat_sn, std::uint32_t exp_cmd_sn,
                          std::uint32_t max_cmd_sn) {
    if (request.opcode() != opcode::login) return fail(request, login_status::invalid_during_login, "not a login request", stat_sn);
    if (++requests_ > kMaxLoginRequests) return fail(request, login_status::initiator_error, "too many login requests", stat_sn);
    const std::uint8_t flags = request.bhs[1];
    if (request.bhs[3] != 0) return fail(request, login_status::unsupported_version, "version above 0", stat_sn);
    if (flags & kContinue) return fail(request, login_status::initiator_error, "login text across PDUs", stat_sn);
    const std::uint8_t current = (flags >> 2) & 0x03;
    const std::uint8_t next = flags & 0x03;
    const bool transit = (flags & kTransit) != 0;
    if (current == 2 || (transit && (next == 2 || next <= current)))
        return fail(request, login_status::initiator_error, "bad login stages", stat_sn);

    const auto keys = parse_text(request.data);
    if (!keys) return fail(request, login_status::initiator_error, "malformed login text", stat_sn);

    std::vector<TextPair> answers;
    const bool first = !identified_;
    if (first) {
        if (const std::uint16_t status = check_identity(*keys); status != login_status::success)
            return fail(request, status, failure_, stat_sn);
        if (!discovery_) answers.emplace_back("TargetPortalGroupTag", "1");
    }

    const bool chap_required = target_.config.chap.has_value();
    if (current == kStageSecurity) {
        if (const std::uint16_t status = security_keys(*keys, answers); status != login_status::success)
            return fail(request, status, failure_, stat_sn);
    } else if (chap_required && !authenticated_) {
        return fail(request, login_status::authentication_failure, "login without CHAP", stat_sn);
    }

    NegotiationAnswer negotiated = negotiate_operational(*keys, parameters_);
    if (!negotiated.refusal.empty()) return fail(request, login_status::initiator_error, negotiated.refusal, stat_sn);
    answers.insert(answers.end(), negotiated.answers.begin(), negotiated.answers.end());
    if (current == kStageOperational && !declared_limits_) {
        answers.emplace_back("MaxRecvDataSegmentLength", std::to_string(kTargetMaxRecvDataSegment));
        declared_limits_ = true;
    }

    // Leaving the security stage needs a finished CHAP when one is required.
    bool transit_now = transit;
    if (current == kStageSecurity && chap_required && !authenticated_) transit_now = false;
    if (transit && current == kStageSecurity && chap_required && !authenticated_ && !chap_chosen_)
        return fail(request, login_status::authentication_failure, "login without CHAP", stat_sn);

    Pdu r = response_to(request, stat_sn);
    r.bhs[1] = static_cast<std::uint8_t>((transit_now ? kTransit : 0) | current << 2 | (transit_now ? next : 0));
    r.set_field32(28, exp_cmd_sn);
    r.set_field32(32, max_cmd_sn);
    for (const auto& [k, v] : answers) append_text(r.data, k, v);
    if (transit_now && next == kStageFullFeature) {
        if (!declared_limits_) {
            append_text(r.data, "MaxRecvDataSegmentLength", std::to_string(kTargetMaxRecvDataSegment));
            declared_limits_ = true;
        }
        session_handle_ = target_.next_session_handle.fetch_add(1);
        if (session_handle_ == 0) session_handle_ = target_.next_session_handle.fetch_add(1);
        put_be16(r.bhs, 14, session_handle_);
        state_ = LoginState::full_feature;
    }
    return r;
}

}  // namespace qpx::iscsi
