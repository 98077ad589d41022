#include "qpx/container/block_decoder.h"

#include <algorithm>

#include "qpx/codec/codec.h"
#include "qpx/container/byte_order.h"
#include "qpx/container/errors.h"
#include "qpx/container/format.h"

namespace qpx::container {

std::error_code decode_block(std::span<const std::uint8_t> stored, BlockCompression compression,
                             std::span<std::uint8_t> out, std::size_t& decoded) {
    decoded = 0;
    if (stored.size() < kBlockHeadSize) return Errc::medium_error;
    const std::uint16_t head = load_le16(stored, 0);
    const auto payload = stored.subspan(kBlockHeadSize);

    if ((head & kHeadCompressed) == 0) {
        const std::size_t length = static_cast<std::size_t>(head) + 1;
        if (length > payload.size() || length > out.size()) return Errc::medium_error;
        std::copy_n(payload.begin(), length, out.begin());
        decoded = length;
        return {};
    }

    const std::size_t length = head & kHeadLengthMask;
    if (length > payload.size()) return Errc::medium_error;
    const auto compressed = payload.first(length);
    if (compression == BlockCompression::normal) {
        const int n = codec::normal_expand(compressed, out);
        if (n < 0) return Errc::medium_error;
        decoded = static_cast<std::size_t>(n);
        return {};
    }
    std::size_t out_len = out.size();
    if (codec::zlib_uncompress(out.data(), &out_len, compressed.data(), compressed.size()) != 0)
        return Errc::medium_error;
    decoded = out_len;
    return {};
}

}  // namespace qpx::container
