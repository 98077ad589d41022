#include "wave_header.h"

#include <string_view>

#include "byte_fields.h"

namespace qpx::player {
namespace {

constexpr std::size_t kChunkHeader = 8;
constexpr std::uint32_t kPcmSizes = 16;
constexpr std::uint32_t kExtendedSizes = 18;
constexpr std::uint16_t kTagPcm = 1;

bool id_is(std::span<const std::uint8_t> b, std::size_t at, std::string_view id) {
    return b.size() >= at + 4 && std::string_view(reinterpret_cast<const char*>(b.data() + at), 4) == id;
}

std::optional<WaveLayout> refuse(std::string& why, std::string text) {
    why = std::move(text);
    return std::nullopt;
}

}  // namespace

std::optional<WaveLayout> parse_wave_header(std::span<const std::uint8_t> head, std::uint64_t file_size,
                                            std::string& why) {
    if (head.size() < 12 || !id_is(head, 0, "RIFF") || !id_is(head, 8, "WAVE"))
        return refuse(why, "not a RIFF WAVE file");

    std::optional<WaveFormat> format;
    std::uint64_t at = 12;
    while (at + kChunkHeader <= head.size()) {
        const std::uint32_t size = load_le32(head, at + 4);
        const std::uint64_t body = at + kChunkHeader;
        if (id_is(head, at, "data")) {
            if (!format) return refuse(why, "the \"data\" chunk comes before the \"fmt \" chunk");
            return WaveLayout{*format, body, size};
        }
        if (id_is(head, at, "fmt ")) {
            if (size < kPcmSizes) return refuse(why, "the \"fmt \" chunk is shorter than 16 bytes");
            if (body + size > file_size) return refuse(why, "the \"fmt \" chunk runs past the end of the file");
            if (body + size > head.size()) return refuse(why, "the \"fmt \" chunk is too large");
            const auto fmt = head.subspan(body, size);
            WaveFormat f;
            f.tag = load_le16(fmt, 0);
            f.channels = load_le16(fmt, 2);
            f.sample_rate = load_le32(fmt, 4);
            f.bytes_per_second = load_le32(fmt, 8);
            f.block_align = load_le16(fmt, 12);
            f.bits_per_sample = load_le16(fmt, 14);
            if (f.tag != kTagPcm && size >= kExtendedSizes) {
                f.extra_size = load_le16(fmt, 16);
                if (kExtendedSizes + std::uint64_t{f.extra_size} > size)
                    return refuse(why, "the \"fmt \" chunk's extra bytes run past the chunk");
            }
            if (f.channels == 0 || f.sample_rate == 0 || f.block_align == 0)
                return refuse(why, "the \"fmt \" chunk names no channels, rate or block size");
            if (f.tag == kTagPcm &&
                (f.bits_per_sample == 0 || f.block_align != f.channels * ((f.bits_per_sample + 7u) / 8u)))
                return refuse(why, "the \"fmt \" chunk's block size does not match its channels and bits");
            format = f;
        }
        // Chunks are padded to an even length.
        at = body + size + (size & 1u);
    }
    return refuse(why, format ? "no \"data\" chunk" : "no \"fmt \" chunk");
}

}  // namespace qpx::player
