#include "qpx/container_writer/block_encoder.h"

#include <algorithm>
#include <stdexcept>

#include "qpx/container/byte_order.h"
#include "qpx/container/format.h"

namespace qpx::container_writer {
namespace {

constexpr int kMaximalLevel = 6;
constexpr std::size_t kNormalSlack = 298;

}  // namespace

BlockEncoder::BlockEncoder(BlockCodec codec)
    : codec_(codec),
      scratch_(container::kUserBlockSize + kNormalSlack + 1024),
      stored_(container::kBlockHeadSize + container::kUserBlockSize + kNormalSlack + 1024) {}

std::span<const std::uint8_t> BlockEncoder::encode(std::span<const std::uint8_t> block) {
    if (block.empty() || block.size() > container::kUserBlockSize)
        throw std::invalid_argument("a stored block holds 1 to 32,768 bytes");
    std::size_t packed = block.size();
    if (codec_ == BlockCodec::normal) {
        packed = normal_.compress(block, scratch_);
    } else {
        std::size_t len = scratch_.size();
        if (codec::zlib_compress(scratch_.data(), &len, block.data(), block.size(), kMaximalLevel) == 0)
            packed = len;
    }
    std::span<std::uint8_t> out(stored_);
    if (packed < block.size()) {
        container::store_le16(out, 0, static_cast<std::uint16_t>(container::kHeadCompressed | packed));
        std::copy_n(scratch_.begin(), packed, out.begin() + container::kBlockHeadSize);
        return out.first(container::kBlockHeadSize + packed);
    }
    container::store_le16(out, 0, static_cast<std::uint16_t>(block.size() - 1));
    std::copy(block.begin(), block.end(), out.begin() + container::kBlockHeadSize);
    return out.first(container::kBlockHeadSize + block.size());
}

}  // namespace qpx::container_writer
