#include "qpx/container/header.h"

#include <algorithm>
#include <cstring>

#include "qpx/container/byte_order.h"

namespace qpx::container {
namespace {

std::string_view text_field(std::span<const std::uint8_t> field) {
    const auto* chars = reinterpret_cast<const char*>(field.data());
    return {chars, ::strnlen(chars, field.size())};
}

// Length of the longest prefix of `text` of at most `limit` bytes that does
// not end inside a UTF-8 sequence.
std::size_t utf8_prefix(std::string_view text, std::size_t limit) {
    if (text.size() <= limit) return text.size();
    std::size_t n = limit;
    while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
    return n;
}

void parse_start_fields(std::span<const std::uint8_t> b, Header& h) {
    h.type = load_le16(b, kOffType);
    h.disc_format = load_le16(b, kOffDiscFormat);
    h.block_size = load_le32(b, kOffBlockSize);
    h.total_bytes = load_le32(b, kOffTotalBytes);
    std::copy_n(b.begin() + kOffDescription, kDescriptionSize, h.description.begin());
    std::copy_n(b.begin() + kOffSignature, kSignatureSize, h.signature.begin());
}

}  // namespace

std::string Header::description_text() const { return std::string(text_field(description)); }

void Header::set_description(std::string_view text) {
    description.fill(0);
    const std::size_t n = utf8_prefix(text.substr(0, text.find('\0')), kDescriptionSize - 1);
    std::memcpy(description.data(), text.data(), n);
}

std::string_view Header::signature_text() const { return text_field(signature); }

void Header::set_signature(std::string_view text) {
    signature.fill(0);
    std::memcpy(signature.data(), text.data(), std::min(text.size(), kSignatureSize - 1));
}

bool is_accepted_signature(std::span<const std::uint8_t> signature_field) {
    const std::string_view text = text_field(signature_field.first(
        std::min(signature_field.size(), kSignatureSize)));
    return text == kSignatureV1 || text == kSignatureV3;
}

Header parse_header_start(std::span<const std::uint8_t, kHeaderStartSize> start) {
    Header h;
    parse_start_fields(start, h);
    return h;
}

Header parse_header(std::span<const std::uint8_t, kHeaderBlockSize> b) {
    Header h;
    parse_start_fields(b, h);
    h.last_track_start = load_le32(b, kOffLastTrackStart);
    h.first_track = b[kOffFirstTrack];
    h.last_track = b[kOffLastTrack];
    h.lead_out = load_le32(b, kOffLeadOut);
    for (std::size_t i = 0; i < kTrackEntryCount; ++i) {
        const std::size_t at = kOffTrackEntries + i * kTrackEntrySize;
        h.tracks[i].address = load_le32(b, at);
        h.tracks[i].control = b[at + 4];
    }
    return h;
}

void serialize_header(const Header& h, std::span<std::uint8_t, kHeaderBlockSize> b) {
    std::fill(b.begin(), b.end(), std::uint8_t{0});
    store_le16(b, kOffType, h.type);
    store_le16(b, kOffDiscFormat, h.disc_format);
    store_le32(b, kOffBlockSize, h.block_size);
    store_le32(b, kOffTotalBytes, h.total_bytes);
    std::copy(h.description.begin(), h.description.end(), b.begin() + kOffDescription);
    std::copy(h.signature.begin(), h.signature.end(), b.begin() + kOffSignature);
    store_le32(b, kOffLastTrackStart, h.last_track_start);
    b[kOffFirstTrack] = h.first_track;
    b[kOffLastTrack] = h.last_track;
    store_le32(b, kOffLeadOut, h.lead_out);
    for (std::size_t i = 0; i < kTrackEntryCount; ++i) {
        const std::size_t at = kOffTrackEntries + i * kTrackEntrySize;
        store_le32(b, at, h.tracks[i].address);
        b[at + 4] = h.tracks[i].control;
    }
}

Header make_header(ContainerType type, std::uint16_t disc_format) {
    Header h;
    h.type = static_cast<std::uint16_t>(type);
    h.disc_format = disc_format;
    h.set_signature(kSignatureV1);
    return h;
}

}  // namespace qpx::container
