// zlib streams (RFC 1950) for "maximal" blocks: compress2 / uncompress with
// size_t lengths. uLong may be narrower than size_t (LLP64); a capacity that
// does not fit is clamped (zlib then simply uses less of the buffer), an input
// that does not fit is refused with Z_BUF_ERROR before zlib sees it.
//
// Decoding runs through libdeflate, several times faster than zlib's inflate
// on whole blocks; a stream it does not accept is handed to zlib, so callers
// get zlib's own result code for every failure.
#include <libdeflate.h>
#include <zlib.h>

#include <limits>

#include "qpx/codec/codec.h"

namespace qpx::codec {
namespace {

constexpr std::size_t kULongMax = std::numeric_limits<uLong>::max();

inline uLong clamp_capacity(std::size_t n) {
    return static_cast<uLong>(n > kULongMax ? kULongMax : n);
}

// One decompressor per thread, made on first use and kept.
libdeflate_decompressor* thread_decompressor() {
    struct Holder {
        libdeflate_decompressor* d = libdeflate_alloc_decompressor();
        ~Holder() { libdeflate_free_decompressor(d); }
    };
    thread_local Holder holder;
    return holder.d;
}

}  // namespace

int zlib_compress(std::uint8_t* out, std::size_t* out_len, const std::uint8_t* in,
                  std::size_t in_len, int level) {
    if (out_len == nullptr) return Z_STREAM_ERROR;
    if ((out == nullptr && *out_len != 0) || (in == nullptr && in_len != 0)) return Z_STREAM_ERROR;
    if (in_len > kULongMax) return Z_BUF_ERROR;
    // zlib refuses null buffer pointers even for zero lengths.
    std::uint8_t dummy_out = 0;
    const std::uint8_t dummy_in = 0;
    uLongf dest_len = clamp_capacity(*out_len);
    const int rc = compress2(out != nullptr ? out : &dummy_out, &dest_len,
                             in != nullptr ? in : &dummy_in, static_cast<uLong>(in_len), level);
    if (rc == Z_OK) *out_len = static_cast<std::size_t>(dest_len);
    return rc;
}

int zlib_uncompress(std::uint8_t* out, std::size_t* out_len, const std::uint8_t* in,
                    std::size_t in_len) {
    if (out_len == nullptr) return Z_STREAM_ERROR;
    if ((out == nullptr && *out_len != 0) || (in == nullptr && in_len != 0)) return Z_STREAM_ERROR;
    if (in_len > kULongMax) return Z_BUF_ERROR;
    if (out != nullptr && in != nullptr && in_len != 0) {
        if (libdeflate_decompressor* d = thread_decompressor()) {
            std::size_t in_used = 0, produced = 0;
            if (libdeflate_zlib_decompress_ex(d, in, in_len, out, *out_len, &in_used, &produced) ==
                LIBDEFLATE_SUCCESS) {
                *out_len = produced;
                return Z_OK;
            }
        }
    }
    std::uint8_t dummy_out = 0;
    const std::uint8_t dummy_in = 0;
    uLongf dest_len = clamp_capacity(*out_len);
    const int rc = uncompress(out != nullptr ? out : &dummy_out, &dest_len,
                              in != nullptr ? in : &dummy_in, static_cast<uLong>(in_len));
    if (rc == Z_OK) *out_len = static_cast<std::size_t>(dest_len);
    return rc;
}

}  // namespace qpx::codec
