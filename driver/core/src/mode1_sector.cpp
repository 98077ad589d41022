#include "mode1_sector.h"

#include <algorithm>
#include <array>

#include "msf.h"

namespace qpx::driver {
namespace {

constexpr std::size_t kSyncBytes = 12;
constexpr std::size_t kPParityAt = 2076;
constexpr std::size_t kQParityAt = 2248;
constexpr std::uint8_t kMode1 = 1;

// Arithmetic in GF(2^8) with the field polynomial x^8 + x^4 + x^3 + x^2 + 1,
// and the EDC's CRC table (generator (x^16 + x^15 + x^2 + 1)(x^16 + x^2 + x + 1),
// bits taken least significant first).
struct CodeTables {
    std::array<std::uint32_t, 256> crc{};
    std::array<std::uint8_t, 256> mul_alpha{};
    std::array<std::uint8_t, 256> div_one_plus_alpha{};

    CodeTables() {
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t r = i;
            for (int bit = 0; bit < 8; ++bit) r = (r & 1) ? (r >> 1) ^ 0xD8018001u : r >> 1;
            crc[i] = r;
            const std::uint32_t times = (i & 0x80) ? ((i << 1) ^ 0x11Du) : (i << 1);
            mul_alpha[i] = static_cast<std::uint8_t>(times);
            // x * (1 + alpha) = x ^ (x * alpha): invert that map.
            div_one_plus_alpha[(i ^ times) & 0xFF] = static_cast<std::uint8_t>(i);
        }
    }
};

const CodeTables& code_tables() {
    static const CodeTables tables;
    return tables;
}

std::uint8_t to_bcd(std::uint32_t value) { return static_cast<std::uint8_t>(((value / 10) << 4) | (value % 10)); }

std::uint32_t edc_of(std::span<const std::uint8_t> bytes) {
    const CodeTables& t = code_tables();
    std::uint32_t edc = 0;
    for (const std::uint8_t b : bytes) edc = (edc >> 8) ^ t.crc[(edc ^ b) & 0xFF];
    return edc;
}

// One family of parity words over the 2,340 bytes after the sync. Word w
// starts at (w / 2) * first_step + w % 2 and takes `length` bytes `step`
// apart, wrapping around the covered area; its two parity bytes p0 and p1
// (stored `words` apart) make the word's syndromes at 1 and alpha vanish.
void add_parity(std::span<std::uint8_t, 2352> sector, std::size_t words, std::size_t length,
                std::size_t first_step, std::size_t step, std::size_t parity_at) {
    const CodeTables& t = code_tables();
    const auto area = sector.subspan(kSyncBytes);
    const std::size_t covered = words * length;
    for (std::size_t w = 0; w < words; ++w) {
        std::size_t at = (w / 2) * first_step + (w % 2);
        std::uint8_t horner = 0;  // sum of byte_i * alpha^(length - i)
        std::uint8_t sum = 0;
        for (std::size_t i = 0; i < length; ++i) {
            const std::uint8_t b = area[at];
            sum ^= b;
            horner = t.mul_alpha[horner ^ b];
            at += step;
            if (at >= covered) at -= covered;
        }
        const std::uint8_t p0 = t.div_one_plus_alpha[t.mul_alpha[horner] ^ sum];
        sector[parity_at + w] = p0;
        sector[parity_at + words + w] = static_cast<std::uint8_t>(p0 ^ sum);
    }
}

}  // namespace

void build_mode1_sector(std::uint32_t lba, std::span<const std::uint8_t, 2048> user_data,
                        std::span<std::uint8_t, 2352> out) {
    std::fill(out.begin(), out.end(), std::uint8_t{0});
    std::fill(out.begin() + 1, out.begin() + 11, std::uint8_t{0xFF});
    const Msf at = msf_of_frames(std::uint64_t{lba} + kLbaZeroFrames);
    out[kMode1HeaderAt] = to_bcd(at.minute % 100);
    out[kMode1HeaderAt + 1] = to_bcd(at.second);
    out[kMode1HeaderAt + 2] = to_bcd(at.frame);
    out[kMode1HeaderAt + 3] = kMode1;
    std::copy(user_data.begin(), user_data.end(), out.begin() + kMode1DataAt);
    const std::uint32_t edc = edc_of(std::span<const std::uint8_t>(out.data(), kMode1EdcAt));
    for (std::size_t i = 0; i < 4; ++i) out[kMode1EdcAt + i] = static_cast<std::uint8_t>(edc >> (8 * i));
    add_parity(out, 86, 24, 2, 86, kPParityAt);  // P: 86 columns of 24 bytes
    add_parity(out, 52, 43, 86, 88, kQParityAt);  // Q: 52 diagonals of 43 bytes
}

}  // namespace qpx::driver
