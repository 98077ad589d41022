// The player reads the records the driver core writes: in order, all of
// them at each poll, across the wrap, and whole while the writer runs.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "qpx/driver/player_ring.h"
#include "ring_reader.h"

namespace qpx::player::test {
namespace {

using driver::PlayerCommand;
using driver::PlayerCommandCode;

PlayerCommand play_command(std::uint32_t i) {
    return {PlayerCommandCode::play, 8 + i % 4, i, "/discs/" + std::string(i % 100, 'n') + std::to_string(i) + ".wav"};
}

void expect_play(const PlayerRecord& r, std::uint32_t i) {
    const PlayerCommand c = play_command(i);
    EXPECT_EQ(r.command, 0u) << i;
    EXPECT_EQ(r.unit, c.unit) << i;
    EXPECT_EQ(r.frame_offset, c.frame_offset) << i;
    EXPECT_EQ(r.path, c.wave_path) << i;
}

TEST(RingReader, TakesEveryRecordWrittenSinceTheLastPollAcrossTheWrap) {
    std::vector<std::uint8_t> bytes(ring_layout::kSize);
    driver::player_ring::RingWriter writer(bytes);
    ASSERT_TRUE(has_ring_signature(bytes));
    RingReader reader(bytes);
    EXPECT_TRUE(reader.take_available().empty()) << "a fresh ring is empty";

    // Bursts of 1, 40, 112 and 70 records between polls: the 223 records
    // wrap the ring once; the largest burst fills every slot but the mark.
    std::uint32_t next = 0;
    for (std::uint32_t burst : {1u, 40u, 112u, 70u}) {
        const std::uint32_t first = next;
        for (std::uint32_t i = 0; i < burst; ++i) writer.send(play_command(next++));
        const auto records = reader.take_available();
        ASSERT_EQ(records.size(), burst);
        for (std::uint32_t i = 0; i < burst; ++i) expect_play(records[i], first + i);
        EXPECT_EQ(reader.read_offset(), writer.write_offset());
    }

    writer.send({PlayerCommandCode::stop, 0, 0, {}});
    writer.send({PlayerCommandCode::pause, 9, 0, {}});
    const auto records = reader.take_available();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].command, 1u);
    EXPECT_TRUE(records[0].path.empty()) << "only play records carry a path";
    EXPECT_EQ(records[1].command, 2u);
    EXPECT_EQ(records[1].unit, 9u);
}

TEST(RingReader, RefusesRingsWithoutTheSignature) {
    std::vector<std::uint8_t> bytes(ring_layout::kSize, 0xFE);
    EXPECT_FALSE(has_ring_signature(bytes));
    driver::player_ring::initialise(bytes);
    EXPECT_TRUE(has_ring_signature(bytes));
    EXPECT_FALSE(has_ring_signature(std::span(bytes).first(4096)));
}

TEST(RingReader, SeesWholeRecordsWhileTheWriterRuns) {
    std::vector<std::uint8_t> bytes(ring_layout::kSize);
    driver::player_ring::RingWriter writer(bytes);
    RingReader reader(bytes);
    constexpr std::uint32_t kCount = 20000;
    std::atomic<std::uint32_t> taken{0};
    std::thread writing([&] {
        for (std::uint32_t i = 0; i < kCount; ++i) {
            // Never lap the reader: at most 100 records ahead of it.
            while (i - taken.load() >= 100) std::this_thread::yield();
            writer.send(play_command(i));
        }
    });
    std::uint32_t expected = 0;
    bool intact = true;
    while (expected < kCount && intact) {
        for (const PlayerRecord& r : reader.take_available()) {
            const PlayerCommand c = play_command(expected);
            intact = intact && r.unit == c.unit && r.frame_offset == c.frame_offset && r.path == c.wave_path;
            ++expected;
        }
        taken = expected;
    }
    taken = kCount;  // lets the writer finish should the reader have stopped early
    writing.join();
    EXPECT_TRUE(intact) << "record " << expected - 1 << " was read incomplete or out of order";
    EXPECT_EQ(expected, kCount);
}

}  // namespace
}  // namespace qpx::player::test
