// libFuzzer target for the normal-compression codec (Parts 2.4 and 5.7).
//
// 1. The input as a stream: normal_expand must never read past it or write
//    past its output (ASan watches exact-size heap buffers), and must return a
//    length, -1 or -2. Decoding into a smaller output gives the same bytes
//    when they fit, otherwise an error.
// 2. The input as a block (<= 32,768 bytes): compress then expand must give
//    the input back; two compressor objects give the same stream.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "qpx/codec/codec.h"

namespace {

[[noreturn]] void fail(const char* what) {
    __builtin_printf("fuzz_normal_decoder: %s\n", what);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using qpx::codec::kNormalMaxOutput;
    // Exact-size copy of the input: a read behind it is caught.
    std::vector<std::uint8_t> in(data, data + size);

    // ---- decode --------------------------------------------------------------
    std::vector<std::uint8_t> full(kNormalMaxOutput + 300);
    const int r = qpx::codec::normal_expand(in, full);
    if (r < -2 || r > static_cast<int>(kNormalMaxOutput)) fail("result out of range");

    const std::size_t cap = size >= 2 ? (static_cast<std::size_t>(data[0]) << 8 | data[1]) % (kNormalMaxOutput + 1) : 0;
    std::unique_ptr<std::uint8_t[]> small(new std::uint8_t[cap == 0 ? 1 : cap]);
    const int rs = qpx::codec::normal_expand(in, std::span(small.get(), cap));
    if (r >= 0 && static_cast<std::size_t>(r) <= cap) {
        if (rs != r) fail("smaller output changed the result");
        if (std::memcmp(small.get(), full.data(), static_cast<std::size_t>(r)) != 0) fail("smaller output changed the bytes");
    } else if (rs >= 0) {
        fail("smaller output decoded a stream that does not fit");
    }

    // ---- compress, expand ----------------------------------------------------
    if (size <= kNormalMaxOutput) {
        static qpx::codec::NormalCompressor a;  // reused: no dependency on earlier calls
        qpx::codec::NormalCompressor b;
        std::vector<std::uint8_t> za(size + 298), zb(size + 298);
        const std::size_t na = a.compress(in, za);
        const std::size_t nb = b.compress(in, zb);
        if (na > size) fail("compressed size above the block size");
        if (na != nb || std::memcmp(za.data(), zb.data(), na < size ? na : 0) != 0) fail("not deterministic");
        if (na < size) {
            za.resize(na);  // exact size: the decoder must not read behind the stream
            const int back = qpx::codec::normal_expand(za, full);
            if (back != static_cast<int>(size)) fail("round trip: wrong length");
            if (std::memcmp(full.data(), data, size) != 0) fail("round trip: wrong bytes");
        }
    }
    return 0;
}
