// READ TOC (format 0, addresses as LBA): the command block and its answer.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "cdrom/disc_source.h"

namespace qpx::cdrom {

// Four header bytes and 100 descriptors of 8 bytes: 99 tracks and the
// lead-out, the most a disc can have.
inline constexpr std::size_t kMaxTocDescriptors = 100;
inline constexpr std::size_t kReadTocAnswerSize = 4 + 8 * kMaxTocDescriptors;  // 804

// CDB 0x43 with the MSF bit clear, starting track 1, allocation length 804.
std::array<std::uint8_t, 10> read_toc_command();

// Reads the answer's header and descriptors, at most as many as the answer
// says it holds and the buffer carries. False when it is too short to hold
// a header.
bool parse_read_toc_answer(std::span<const std::uint8_t> answer, Toc& out);

}  // namespace qpx::cdrom
