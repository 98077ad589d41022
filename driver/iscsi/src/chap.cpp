#include "chap.h"

#include <openssl/evp.h>
#include <sys/random.h>

#include <sstream>
#include <stdexcept>

namespace qpx::iscsi {
namespace {

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

ChapChallenge make_chap_challenge() {
    std::array<std::uint8_t, kChapChallengeBytes + 1> random{};
    std::size_t got = 0;
    while (got < random.size()) {
        const ssize_t n = ::getrandom(random.data() + got, random.size() - got, 0);
        if (n <= 0) throw std::runtime_error("no random bytes for a CHAP challenge");
        got += static_cast<std::size_t>(n);
    }
    ChapChallenge c;
    c.identifier = random[0];
    std::copy(random.begin() + 1, random.end(), c.challenge.begin());
    return c;
}

std::array<std::uint8_t, 16> chap_md5_response(std::uint8_t identifier, const std::string& secret,
                                               const std::vector<std::uint8_t>& challenge) {
    std::array<std::uint8_t, 16> digest{};
    EVP_MD_CTX* ctx = EVP_MD_CTX_new();
    if (!ctx) throw std::runtime_error("MD5 context unavailable");
    unsigned int length = 0;
    const bool ok = EVP_DigestInit_ex(ctx, EVP_md5(), nullptr) == 1 &&
                    EVP_DigestUpdate(ctx, &identifier, 1) == 1 &&
                    EVP_DigestUpdate(ctx, secret.data(), secret.size()) == 1 &&
                    EVP_DigestUpdate(ctx, challenge.data(), challenge.size()) == 1 &&
                    EVP_DigestFinal_ex(ctx, digest.data(), &length) == 1 && length == digest.size();
    EVP_MD_CTX_free(ctx);
    if (!ok) throw std::runtime_error("MD5 failed");
    return digest;
}

std::string to_hex_value(const std::uint8_t* bytes, std::size_t n) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out = "0x";
    for (std::size_t i = 0; i < n; ++i) {
        out.push_back(kDigits[bytes[i] >> 4]);
        out.push_back(kDigits[bytes[i] & 0x0F]);
    }
    return out;
}

std::optional<std::vector<std::uint8_t>> parse_hex_value(const std::string& value, std::size_t max_bytes) {
    if (value.size() < 3 || value[0] != '0' || (value[1] != 'x' && value[1] != 'X')) return std::nullopt;
    const std::string digits = value.substr(2);
    if (digits.size() % 2 != 0 || digits.size() / 2 > max_bytes) return std::nullopt;
    std::vector<std::uint8_t> out;
    for (std::size_t i = 0; i < digits.size(); i += 2) {
        const int high = hex_digit(digits[i]);
        const int low = hex_digit(digits[i + 1]);
        if (high < 0 || low < 0) return std::nullopt;
        out.push_back(static_cast<std::uint8_t>(high << 4 | low));
    }
    return out;
}

bool chap_response_matches(const ChapChallenge& challenge, const std::string& secret, const std::string& response) {
    const auto given = parse_hex_value(response, 16);
    if (!given || given->size() != 16) return false;
    const auto expected = chap_md5_response(
        challenge.identifier, secret, std::vector<std::uint8_t>(challenge.challenge.begin(), challenge.challenge.end()));
    std::uint8_t difference = 0;
    for (std::size_t i = 0; i < expected.size(); ++i) difference |= static_cast<std::uint8_t>(expected[i] ^ (*given)[i]);
    return difference == 0;
}

bool chap_offers_md5(const std::string& algorithms) {
    std::stringstream items(algorithms);
    std::string item;
    while (std::getline(items, item, ','))
        if (item == "5") return true;
    return false;
}

}  // namespace qpx::iscsi
