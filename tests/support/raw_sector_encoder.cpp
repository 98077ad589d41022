#include "support/raw_sector_encoder.h"

#include <algorithm>
#include <stdexcept>

namespace qpx::testing {
namespace {

constexpr std::size_t kHeaderAt = 12;
constexpr std::size_t kDataAt = 16;
constexpr std::size_t kEdcAt = 2064;
constexpr std::size_t kPParityAt = 2076;
constexpr std::size_t kQParityAt = 2248;

struct Tables {
    std::array<std::uint32_t, 256> edc{};
    std::array<std::uint8_t, 256> times_alpha{};    // x -> x * alpha in GF(2^8), x^8 + x^4 + x^3 + x^2 + 1
    std::array<std::uint8_t, 256> divide_alpha1{};  // (x * (1 + alpha)) -> x

    Tables() {
        for (std::uint32_t i = 0; i < 256; ++i) {
            // EDC: CRC over (x^16 + x^15 + x^2 + 1)(x^16 + x^2 + x + 1), least significant bit first.
            std::uint32_t crc = i;
            for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (crc & 1 ? 0xD8018001u : 0);
            edc[i] = crc;
            const std::uint32_t doubled = (i << 1) ^ (i & 0x80 ? 0x11Du : 0);
            times_alpha[i] = static_cast<std::uint8_t>(doubled);
            divide_alpha1[i ^ doubled] = static_cast<std::uint8_t>(i);
        }
    }
};

const Tables& tables() {
    static const Tables t;
    return t;
}

std::uint8_t bcd(std::uint32_t v) { return static_cast<std::uint8_t>((v / 10) << 4 | v % 10); }

// Reed-Solomon product code over the 2340 bytes after the sync (header,
// data, EDC, zeros, then P parity for Q): `vectors` code words of `length`
// bytes each; word w starts at (w / 2) * start_step + (w % 2) and walks
// `step` bytes at a time around the area it covers. Two parity bytes per
// word, the first of all words, then the second of all words.
void parity(std::span<std::uint8_t> sector, std::size_t vectors, std::size_t length, std::size_t start_step,
            std::size_t step, std::size_t parity_at) {
    const Tables& t = tables();
    const std::span<std::uint8_t> area = sector.subspan(kHeaderAt);
    const std::size_t size = vectors * length;
    for (std::size_t w = 0; w < vectors; ++w) {
        std::size_t index = (w / 2) * start_step + (w % 2);
        std::uint8_t weighted = 0, sum = 0;
        for (std::size_t i = 0; i < length; ++i) {
            const std::uint8_t byte = area[index];
            index += step;
            if (index >= size) index -= size;
            weighted = t.times_alpha[weighted ^ byte];
            sum ^= byte;
        }
        weighted = t.divide_alpha1[t.times_alpha[weighted] ^ sum];
        sector[parity_at + w] = weighted;
        sector[parity_at + w + vectors] = static_cast<std::uint8_t>(weighted ^ sum);
    }
}

}  // namespace

std::array<std::uint8_t, kRawSectorBytes> encode_mode1_sector(std::uint32_t lba,
                                                              std::span<const std::uint8_t> user_data) {
    if (user_data.size() != kUserDataBytes) throw std::invalid_argument("a mode 1 sector holds 2048 bytes");
    std::array<std::uint8_t, kRawSectorBytes> s{};
    std::fill(s.begin() + 1, s.begin() + 11, 0xFF);
    const std::uint32_t frames = lba + 150;
    s[kHeaderAt] = bcd(frames / 4500);
    s[kHeaderAt + 1] = bcd(frames / 75 % 60);
    s[kHeaderAt + 2] = bcd(frames % 75);
    s[kHeaderAt + 3] = 1;
    std::copy(user_data.begin(), user_data.end(), s.begin() + kDataAt);
    std::uint32_t edc = 0;
    for (std::size_t i = 0; i < kEdcAt; ++i) edc = (edc >> 8) ^ tables().edc[(edc ^ s[i]) & 0xFF];
    for (int b = 0; b < 4; ++b) s[kEdcAt + b] = static_cast<std::uint8_t>(edc >> (8 * b));
    parity(s, 86, 24, 2, 86, kPParityAt);  // P: 86 columns of 24 bytes
    parity(s, 52, 43, 86, 88, kQParityAt);  // Q: 52 diagonals of 43 bytes
    return s;
}

}  // namespace qpx::testing
