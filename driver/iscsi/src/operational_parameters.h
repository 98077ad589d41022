// The operational keys of the login stage: what the initiator offers, what
// the target answers, and the values the connection then works with.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "text_keys.h"

namespace qpx::iscsi {

// What the target receives and allows at most.
inline constexpr std::uint32_t kTargetMaxRecvDataSegment = 8192;
inline constexpr std::uint32_t kTargetMaxBurst = 262144;
inline constexpr std::uint32_t kTargetFirstBurst = 65536;

struct SessionParameters {
    // Largest data segment the initiator accepts: what Data-In PDUs carry at most.
    std::uint32_t initiator_max_recv_data_segment = 8192;
    std::uint32_t max_burst = kTargetMaxBurst;
    std::uint32_t first_burst = kTargetFirstBurst;
};

struct NegotiationAnswer {
    std::vector<TextPair> answers;  // the keys to send back
    std::string refusal;            // non-empty: the login fails (the reason)
};

// Answers the operational keys of `offers` and updates `parameters`. Keys of
// the security and identity stage (InitiatorName, TargetName, SessionType,
// AuthMethod, CHAP_*) are not handled here and get no answer; unknown keys
// are answered NotUnderstood.
NegotiationAnswer negotiate_operational(const std::vector<TextPair>& offers, SessionParameters& parameters);

// True for the keys negotiate_operational leaves to the login.
bool is_login_identity_key(const std::string& key);

}  // namespace qpx::iscsi
