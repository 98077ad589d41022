// Bounds-checked little-endian field readers and writers for the port
// protocol's messages. A reader that runs past its bytes stays failed and
// answers zeros, so a decoder checks ok() once at the end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace qpx::devices {

class FieldWriter {
public:
    explicit FieldWriter(std::vector<std::uint8_t>& out) : out_(out) {}
    void u8(std::uint8_t v) { out_.push_back(v); }
    void le16(std::uint16_t v) {
        u8(static_cast<std::uint8_t>(v));
        u8(static_cast<std::uint8_t>(v >> 8));
    }
    void le32(std::uint32_t v) {
        le16(static_cast<std::uint16_t>(v));
        le16(static_cast<std::uint16_t>(v >> 16));
    }
    void bytes(std::span<const std::uint8_t> b) { out_.insert(out_.end(), b.begin(), b.end()); }

private:
    std::vector<std::uint8_t>& out_;
};

class FieldReader {
public:
    explicit FieldReader(std::span<const std::uint8_t> in) : in_(in) {}
    std::uint8_t u8() { return take(1) ? in_[pos_ - 1] : 0; }
    std::uint16_t le16() {
        const std::uint16_t lo = u8();
        return static_cast<std::uint16_t>(lo | (u8() << 8));
    }
    std::uint32_t le32() {
        const std::uint32_t lo = le16();
        return lo | (static_cast<std::uint32_t>(le16()) << 16);
    }
    // The next n bytes; empty (and failed) when fewer remain.
    std::span<const std::uint8_t> bytes(std::size_t n) {
        if (!take(n)) return {};
        return in_.subspan(pos_ - n, n);
    }
    std::size_t remaining() const { return ok_ ? in_.size() - pos_ : 0; }
    bool ok() const { return ok_; }

private:
    bool take(std::size_t n) {
        if (!ok_ || in_.size() - pos_ < n) {
            ok_ = false;
            return false;
        }
        pos_ += n;
        return true;
    }
    std::span<const std::uint8_t> in_;
    std::size_t pos_ = 0;
    bool ok_ = true;
};

// Fields of a buffer at a fixed offset (the miniport control header).
inline std::uint32_t load_le32(std::span<const std::uint8_t> b, std::size_t at) {
    return static_cast<std::uint32_t>(b[at]) | static_cast<std::uint32_t>(b[at + 1]) << 8 |
           static_cast<std::uint32_t>(b[at + 2]) << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}
inline void store_le32(std::span<std::uint8_t> b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
}

}  // namespace qpx::devices
