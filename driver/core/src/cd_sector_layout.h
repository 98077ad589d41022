// The fields of a 2,352-byte CD sector by its kind, and which of them a
// READ CD asks for (CDB byte 9: sync, header codes, user data, EDC/ECC).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace qpx::driver {

inline constexpr std::size_t kCdSectorBytes = 2352;

enum class SectorKind : std::uint8_t { audio, mode1, mode2_formless, mode2_form1, mode2_form2 };

// The expected sector type of READ CD (CDB byte 1, bits 4..2).
namespace expected_sector {
inline constexpr std::uint8_t any = 0;
inline constexpr std::uint8_t cd_da = 1;
inline constexpr std::uint8_t mode1 = 2;
inline constexpr std::uint8_t mode2_formless = 3;
inline constexpr std::uint8_t mode2_form1 = 4;
inline constexpr std::uint8_t mode2_form2 = 5;
}  // namespace expected_sector

bool matches_expected(SectorKind kind, std::uint8_t expected);

// The kind of a stored raw data sector, from its mode byte and sub-header.
SectorKind kind_of_raw_data_sector(std::span<const std::uint8_t> sector);

struct FieldSelection {
    bool sync = false;
    bool header = false;
    bool subheader = false;
    bool user_data = false;
    bool edc_ecc = false;

    static FieldSelection from_cdb_byte9(std::uint8_t byte9);
    bool user_data_only() const { return user_data && !sync && !header && !subheader && !edc_ecc; }
};

// Appends the selected fields of `sector` (of `kind`) to `out` from `at`,
// as far as `out` reaches; returns the bytes the sector contributes in full
// (what the read transfers for it when `out` is large enough).
std::size_t select_fields(std::span<const std::uint8_t> sector, SectorKind kind, const FieldSelection& fields,
                          std::span<std::uint8_t> out, std::size_t at);

}  // namespace qpx::driver
