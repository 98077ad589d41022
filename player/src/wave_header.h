// The RIFF layout of a wave file, checked before any decoder sees it: the
// "RIFF"/"WAVE" header, a "fmt " chunk whose sizes agree with each other
// and with the file, and a "data" chunk.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace qpx::player {

struct WaveFormat {
    std::uint16_t tag = 0;
    std::uint16_t channels = 0;
    std::uint32_t sample_rate = 0;
    std::uint32_t bytes_per_second = 0;
    std::uint16_t block_align = 0;
    std::uint16_t bits_per_sample = 0;
    std::uint16_t extra_size = 0;  // bytes after the 18-byte header (tags other than 1)
};

struct WaveLayout {
    WaveFormat format;
    std::uint64_t data_offset = 0;  // first byte of the data chunk's contents
    std::uint64_t data_size = 0;    // as the chunk says; may run past the end of a truncated file
};

// Checks the first bytes of a file of `file_size` bytes (`head` holds at
// least the chunks up to the "data" chunk's header, or the whole file when
// it is smaller). Nothing, with `why` set, when the layout is refused.
std::optional<WaveLayout> parse_wave_header(std::span<const std::uint8_t> head, std::uint64_t file_size,
                                            std::string& why);

}  // namespace qpx::player
