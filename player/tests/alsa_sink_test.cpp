// The ALSA sink on ALSA's "null" device (no sound card needed): the stream
// is set up as CD audio, takes what it is given, survives pause and resume,
// and a device that does not exist is a clear error.
#include <gtest/gtest.h>

#include <vector>

#include "alsa_sink.h"

namespace qpx::player::test {
namespace {

TEST(AlsaSink, PlaysIntoTheNullDeviceAndNamesADeviceItCannotOpen) {
    AlsaSink sink("null");
    std::string why;
    ASSERT_TRUE(sink.start(why)) << why;
    const std::vector<std::int16_t> samples(2 * 4410, 7);
    std::uint64_t written = 0;
    for (int i = 0; i < 4; ++i) {
        const std::size_t room = sink.writable_frames();
        ASSERT_GT(room, 0u);
        written += sink.write(std::span<const std::int16_t>(samples).first(std::min<std::size_t>(room, 4410) * 2));
    }
    EXPECT_EQ(written, 4u * 4410);
    sink.pause();
    EXPECT_EQ(sink.writable_frames(), 0u) << "nothing is taken while paused";
    EXPECT_EQ(sink.write(samples), 0u);
    sink.resume();
    written += sink.write(samples);
    sink.end_of_stream();
    EXPECT_LE(sink.played_frames(), written);
    sink.finish();
    EXPECT_EQ(sink.writable_frames(), 0u) << "a finished stream takes nothing";

    AlsaSink missing("qpx_no_such_device");
    EXPECT_FALSE(missing.start(why));
    EXPECT_NE(why.find("qpx_no_such_device"), std::string::npos) << why;
}

}  // namespace
}  // namespace qpx::player::test
