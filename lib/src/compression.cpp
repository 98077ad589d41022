// The library's block compression calls. Thin wrappers over the
// codec's zlib calls: level 6, zlib's result codes, 32-bit lengths converted
// to size_t at the boundary. Null length pointers, and null buffers with a
// non-zero length, return Z_STREAM_ERROR (-2) without touching anything.
#include <zlib.h>

#include "qpx/codec/codec.h"
#include "qpxdrv.h"

namespace {
constexpr int kCompressLevel = 6;
}

extern "C" QPX_API int Compress(uint8_t* out, uint32_t* out_len, const uint8_t* in, uint32_t in_len) {
    if (out_len == nullptr) return Z_STREAM_ERROR;
    std::size_t n = *out_len;
    const int rc = qpx::codec::zlib_compress(out, &n, in, in_len, kCompressLevel);
    // n <= the capacity given, so it fits in 32 bits.
    if (rc == Z_OK) *out_len = static_cast<uint32_t>(n);
    return rc;
}

extern "C" QPX_API int Uncompress(uint8_t* out, uint32_t* out_len, const uint8_t* in, uint32_t in_len) {
    if (out_len == nullptr) return Z_STREAM_ERROR;
    std::size_t n = *out_len;
    const int rc = qpx::codec::zlib_uncompress(out, &n, in, in_len);
    if (rc == Z_OK) *out_len = static_cast<uint32_t>(n);
    return rc;
}
