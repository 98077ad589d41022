// iSCSI PDUs: the 48-byte basic header segment, additional header segments
// and the data segment padded to four bytes. No digests are negotiated.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace qpx::iscsi {

inline constexpr std::size_t kBhsSize = 48;
inline constexpr std::uint32_t kNoTag = 0xFFFFFFFF;

namespace opcode {
// Initiator to target.
inline constexpr std::uint8_t nop_out = 0x00;
inline constexpr std::uint8_t scsi_command = 0x01;
inline constexpr std::uint8_t task_management = 0x02;
inline constexpr std::uint8_t login = 0x03;
inline constexpr std::uint8_t text = 0x04;
inline constexpr std::uint8_t data_out = 0x05;
inline constexpr std::uint8_t logout = 0x06;
inline constexpr std::uint8_t snack = 0x10;
// Target to initiator.
inline constexpr std::uint8_t nop_in = 0x20;
inline constexpr std::uint8_t scsi_response = 0x21;
inline constexpr std::uint8_t task_management_response = 0x22;
inline constexpr std::uint8_t login_response = 0x23;
inline constexpr std::uint8_t text_response = 0x24;
inline constexpr std::uint8_t data_in = 0x25;
inline constexpr std::uint8_t logout_response = 0x26;
inline constexpr std::uint8_t reject = 0x3F;
}  // namespace opcode

struct Pdu {
    std::array<std::uint8_t, kBhsSize> bhs{};
    std::vector<std::uint8_t> ahs;   // whole additional header segments, length a multiple of 4
    std::vector<std::uint8_t> data;  // the data segment without its padding

    std::uint8_t opcode() const { return bhs[0] & 0x3F; }
    bool immediate() const { return (bhs[0] & 0x40) != 0; }
    bool final_bit() const { return (bhs[1] & 0x80) != 0; }
    std::uint64_t lun() const;
    std::uint32_t task_tag() const;
    std::uint32_t field32(std::size_t at) const;

    void set_opcode(std::uint8_t code) { bhs[0] = code & 0x3F; }
    void set_field32(std::size_t at, std::uint32_t value);
    void set_lun(std::uint64_t lun);
    void set_task_tag(std::uint32_t tag) { set_field32(16, tag); }
};

// Lengths a header declares, read from its BHS.
std::size_t declared_ahs_bytes(std::span<const std::uint8_t, kBhsSize> bhs);
std::uint32_t declared_data_bytes(std::span<const std::uint8_t, kBhsSize> bhs);

// The whole PDU as it goes on the wire: BHS with the AHS and data segment
// lengths filled in, the AHS, the data and its padding.
std::vector<std::uint8_t> encode_pdu(const Pdu& pdu);

inline constexpr std::size_t padded(std::size_t n) { return (n + 3) & ~std::size_t{3}; }

}  // namespace qpx::iscsi
