#include "cd_sector_layout.h"

#include <algorithm>

namespace qpx::driver {
namespace {

constexpr std::size_t kModeByteAt = 15;
constexpr std::size_t kSubmodeAt = 18;
constexpr std::uint8_t kSubmodeForm2 = 0x20;

struct Field {
    std::size_t at = 0;
    std::size_t length = 0;
};

struct Layout {
    Field sync{0, 12};
    Field header{12, 4};
    Field subheader;
    Field user;
    Field edc_ecc;
};

Layout layout_of(SectorKind kind) {
    switch (kind) {
        case SectorKind::audio: return {{}, {}, {}, {0, kCdSectorBytes}, {}};
        case SectorKind::mode1: return {{0, 12}, {12, 4}, {}, {16, 2048}, {2064, 288}};
        case SectorKind::mode2_formless: return {{0, 12}, {12, 4}, {}, {16, 2336}, {}};
        case SectorKind::mode2_form1: return {{0, 12}, {12, 4}, {16, 8}, {24, 2048}, {2072, 280}};
        case SectorKind::mode2_form2: return {{0, 12}, {12, 4}, {16, 8}, {24, 2324}, {2348, 4}};
    }
    return {};
}

}  // namespace

bool matches_expected(SectorKind kind, std::uint8_t expected) {
    switch (expected) {
        case expected_sector::any: return true;
        case expected_sector::cd_da: return kind == SectorKind::audio;
        case expected_sector::mode1: return kind == SectorKind::mode1;
        case expected_sector::mode2_formless: return kind == SectorKind::mode2_formless;
        case expected_sector::mode2_form1: return kind == SectorKind::mode2_form1;
        case expected_sector::mode2_form2: return kind == SectorKind::mode2_form2;
        default: return false;
    }
}

SectorKind kind_of_raw_data_sector(std::span<const std::uint8_t> sector) {
    if (sector[kModeByteAt] != 2) return SectorKind::mode1;
    return (sector[kSubmodeAt] & kSubmodeForm2) ? SectorKind::mode2_form2 : SectorKind::mode2_form1;
}

FieldSelection FieldSelection::from_cdb_byte9(std::uint8_t byte9) {
    FieldSelection f;
    f.sync = (byte9 & 0x80) != 0;
    const std::uint8_t header_code = (byte9 >> 5) & 0x03;
    f.header = (header_code & 0x01) != 0;
    f.subheader = (header_code & 0x02) != 0;
    f.user_data = (byte9 & 0x10) != 0;
    f.edc_ecc = (byte9 & 0x08) != 0;
    return f;
}

std::size_t select_fields(std::span<const std::uint8_t> sector, SectorKind kind, const FieldSelection& fields,
                          std::span<std::uint8_t> out, std::size_t at) {
    const Layout layout = layout_of(kind);
    const bool audio = kind == SectorKind::audio;
    // A CD-DA sector has only its 2,352 bytes of samples; the other fields do not exist.
    const Field picked[] = {
        audio || !fields.sync ? Field{} : layout.sync,
        audio || !fields.header ? Field{} : layout.header,
        audio || !fields.subheader ? Field{} : layout.subheader,
        fields.user_data ? layout.user : Field{},
        audio || !fields.edc_ecc ? Field{} : layout.edc_ecc,
    };
    std::size_t contributed = 0;
    for (const Field& f : picked) {
        if (f.length == 0) continue;
        const std::size_t from = at + contributed;
        if (from < out.size()) {
            const std::size_t n = std::min(f.length, out.size() - from);
            std::copy_n(sector.begin() + static_cast<std::ptrdiff_t>(f.at), n,
                        out.begin() + static_cast<std::ptrdiff_t>(from));
        }
        contributed += f.length;
    }
    return contributed;
}

}  // namespace qpx::driver
