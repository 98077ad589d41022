// The player ring as the driver writes it: signature, slot positions and the
// wrap, record fields, and paths that do not fit.
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "qpx/container/byte_order.h"
#include "qpx/driver/player_ring.h"

namespace qpx::driver::test {
namespace {

namespace ring = player_ring;
using container::load_le32;

PlayerCommand play(std::uint32_t unit, std::uint32_t offset, std::string path) {
    return {PlayerCommandCode::play, unit, offset, std::move(path)};
}

class PlayerRing : public ::testing::Test {
protected:
    std::vector<std::uint8_t> bytes = std::vector<std::uint8_t>(ring::kSize, 0x55);
    ring::RingWriter writer{bytes};
    std::uint32_t word(std::size_t at) const { return load_le32(bytes, at); }
    std::string path_at(std::size_t slot) const {
        return std::string(reinterpret_cast<const char*>(bytes.data() + slot + ring::kPathField));
    }
};

TEST_F(PlayerRing, StartsWithTheSignatureAndTheFirstRecordAtSixteen) {
    EXPECT_EQ(std::string_view(reinterpret_cast<const char*>(bytes.data()), 9), std::string_view("qpxmport\0", 9));
    for (std::size_t i = 9; i < ring::kSize; ++i) ASSERT_EQ(bytes[i], 0xFE) << i;

    writer.send(play(9, 750, "/discs/Track 01.wav"));
    EXPECT_EQ(word(16), 0u) << "play";
    EXPECT_EQ(word(20), 9u);
    EXPECT_EQ(path_at(16), "/discs/Track 01.wav");
    for (std::size_t i = 8 + 20; i < 136; ++i) EXPECT_EQ(bytes[16 + i], 0) << "path field padded with NULs at " << i;
    EXPECT_EQ(word(16 + 136), 750u);
    EXPECT_EQ(word(160), 0xFEFEFEFEu) << "the next slot is marked empty";
    EXPECT_EQ(writer.write_offset(), 160u);
}

TEST_F(PlayerRing, TheHundredThirteenthRecordIsTheLastBeforeTheWrap) {
    std::vector<std::size_t> slots;
    for (int i = 0; i < 114; ++i) {
        slots.push_back(writer.write_offset());
        writer.send({PlayerCommandCode::pause, static_cast<std::uint32_t>(8 + i), 0, {}});
    }
    EXPECT_EQ(slots[112], 16144u);
    EXPECT_EQ(slots[113], 16u);
    EXPECT_EQ(word(16144 + 4), 8u + 112);
    EXPECT_EQ(word(16 + 4), 8u + 113) << "the 114th overwrote the first";
    EXPECT_EQ(word(160), 0xFEFEFEFEu);
    for (std::size_t i = 16288; i < ring::kSize; ++i) ASSERT_EQ(bytes[i], 0xFE) << "tail stays unused at " << i;
}

TEST_F(PlayerRing, CommandsOtherThanPlayKeepTheSlotsPath) {
    writer.send(play(8, 0, "/a/one.wav"));
    for (int i = 0; i < 112; ++i) writer.send({PlayerCommandCode::resume, 8, 0, {}});
    writer.send({PlayerCommandCode::stop, 0, 0, {}});  // lands on the first slot again
    EXPECT_EQ(word(16), 1u);
    EXPECT_EQ(word(20), 0u);
    EXPECT_EQ(word(16 + 136), 0u);
    EXPECT_EQ(path_at(16), "/a/one.wav");
}

TEST_F(PlayerRing, APathThatDoesNotFitIsNeverCut) {
    const std::vector<std::uint8_t> before = bytes;
    std::size_t offset = 16;
    EXPECT_FALSE(ring::write_record(bytes, offset, play(8, 0, std::string(128, 'x'))));
    EXPECT_EQ(bytes, before);
    EXPECT_EQ(offset, 16u);

    EXPECT_TRUE(ring::write_record(bytes, offset, play(8, 0, std::string(127, 'y'))));
    EXPECT_EQ(path_at(16), std::string(127, 'y'));
    std::size_t misplaced = 17;
    EXPECT_FALSE(ring::write_record(bytes, misplaced, play(8, 0, "a.wav")));
}

}  // namespace
}  // namespace qpx::driver::test
