#include "pdu.h"

#include "big_endian.h"

namespace qpx::iscsi {

std::uint64_t Pdu::lun() const { return get_be64(bhs, 8); }
std::uint32_t Pdu::task_tag() const { return get_be32(bhs, 16); }
std::uint32_t Pdu::field32(std::size_t at) const { return get_be32(bhs, at); }
void Pdu::set_field32(std::size_t at, std::uint32_t value) { put_be32(bhs, at, value); }
void Pdu::set_lun(std::uint64_t lun) { put_be64(bhs, 8, lun); }

std::size_t declared_ahs_bytes(std::span<const std::uint8_t, kBhsSize> bhs) { return std::size_t{bhs[4]} * 4; }
std::uint32_t declared_data_bytes(std::span<const std::uint8_t, kBhsSize> bhs) { return get_be24(bhs, 5); }

std::vector<std::uint8_t> encode_pdu(const Pdu& pdu) {
    std::vector<std::uint8_t> wire(kBhsSize + pdu.ahs.size() + padded(pdu.data.size()), 0);
    std::copy(pdu.bhs.begin(), pdu.bhs.end(), wire.begin());
    wire[4] = static_cast<std::uint8_t>(pdu.ahs.size() / 4);
    put_be24(wire, 5, static_cast<std::uint32_t>(pdu.data.size()));
    std::copy(pdu.ahs.begin(), pdu.ahs.end(), wire.begin() + kBhsSize);
    std::copy(pdu.data.begin(), pdu.data.end(), wire.begin() + static_cast<std::ptrdiff_t>(kBhsSize + pdu.ahs.size()));
    return wire;
}

}  // namespace qpx::iscsi
