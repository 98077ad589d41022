// Block codecs of container data areas: the "normal" LZ format with token
// distances, and zlib streams for "maximal" blocks.
//
// A container block decodes to at most one block size (32,768 bytes of
// 2048-byte sectors, 37,632 bytes of raw sectors). All functions here are
// reentrant: no process-wide state.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace qpx::codec {

// Largest output a normal-compression stream may decode to.
inline constexpr std::size_t kNormalMaxOutput = 32768;

// Results of normal_expand besides a decoded length (>= 0).
inline constexpr int kExpandLimitExceeded = -1;  // output, input or history limit
inline constexpr int kExpandBadDistance = -2;    // a match points outside the output

// Decodes one normal-compression payload (the block after its 2-byte head).
// Never reads past `payload` and never writes past `out`; a stream that
// would do either fails with kExpandLimitExceeded. Returns the decoded length.
int normal_expand(std::span<const std::uint8_t> payload, std::span<std::uint8_t> out);

// Compresses one block of at most kNormalMaxOutput bytes into the normal
// format. Returns the stream length when it is shorter than the block,
// otherwise block.size() (store the block uncompressed). `out` must hold at
// least block.size() + 298 bytes. Deterministic: the same block always gives
// the same bytes, whatever was compressed before. Reads only `block` (the
// Part's two bytes behind it are not needed). A block above kNormalMaxOutput,
// or an `out` below block.size() + 298 bytes, gives block.size() (store it).
class NormalCompressor {
public:
    NormalCompressor();
    std::size_t compress(std::span<const std::uint8_t> block, std::span<std::uint8_t> out);

private:
    std::vector<std::uint16_t> hash_;    // 8192 x {newest, previous}
    std::vector<std::uint16_t> tokens_;  // token number per input position
};

// zlib (RFC 1950) streams. Results are zlib's codes: Z_OK (0),
// Z_BUF_ERROR (-5), Z_MEM_ERROR (-4), Z_DATA_ERROR (-3).
// On entry *out_len is the capacity of `out`; on success the bytes written.
int zlib_compress(std::uint8_t* out, std::size_t* out_len, const std::uint8_t* in,
                  std::size_t in_len, int level);
int zlib_uncompress(std::uint8_t* out, std::size_t* out_len, const std::uint8_t* in,
                    std::size_t in_len);

}  // namespace qpx::codec
