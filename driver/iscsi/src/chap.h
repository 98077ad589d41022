// One-way CHAP with MD5 (algorithm 5): the target sends an identifier and a
// random challenge; the initiator answers MD5(identifier, secret, challenge).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qpx::iscsi {

inline constexpr std::size_t kChapChallengeBytes = 16;

struct ChapChallenge {
    std::uint8_t identifier = 0;
    std::array<std::uint8_t, kChapChallengeBytes> challenge{};
};

// A fresh challenge from the system's random source.
ChapChallenge make_chap_challenge();

// MD5(identifier || secret || challenge).
std::array<std::uint8_t, 16> chap_md5_response(std::uint8_t identifier, const std::string& secret,
                                               const std::vector<std::uint8_t>& challenge);

// "0x" followed by lower-case hex digits.
std::string to_hex_value(const std::uint8_t* bytes, std::size_t n);
// Bytes of a "0x"/"0X" hex value of at most `max_bytes`; nullopt otherwise.
std::optional<std::vector<std::uint8_t>> parse_hex_value(const std::string& value, std::size_t max_bytes);

// True when `response` (a CHAP_R value) is the answer to `challenge` for
// `secret`; compares in constant time.
bool chap_response_matches(const ChapChallenge& challenge, const std::string& secret, const std::string& response);

// True when the algorithm list of a CHAP_A offer contains MD5 (5).
bool chap_offers_md5(const std::string& algorithms);

}  // namespace qpx::iscsi
