// READ TOC as the drives are asked it and their answers read.
#include <gtest/gtest.h>

#include <vector>

#include "cdrom/read_toc_answer.h"

namespace qpx::cdrom {
namespace {

// An answer for `tracks` audio tracks 1000 sectors apart and the lead-out.
std::vector<std::uint8_t> answer_for(int tracks) {
    std::vector<std::uint8_t> a(4 + 8 * (tracks + 1));
    const std::size_t length = a.size() - 2;
    a[0] = static_cast<std::uint8_t>(length >> 8);
    a[1] = static_cast<std::uint8_t>(length);
    a[2] = 1;
    a[3] = static_cast<std::uint8_t>(tracks);
    for (int i = 0; i <= tracks; ++i) {
        std::uint8_t* d = &a[4 + 8 * i];
        d[1] = 0x10;
        d[2] = i == tracks ? 0xAA : static_cast<std::uint8_t>(i + 1);
        const std::uint32_t lba = 1000u * i;
        d[4] = static_cast<std::uint8_t>(lba >> 24);
        d[5] = static_cast<std::uint8_t>(lba >> 16);
        d[6] = static_cast<std::uint8_t>(lba >> 8);
        d[7] = static_cast<std::uint8_t>(lba);
    }
    return a;
}

TEST(ReadTocAnswer, CommandAsksForLbaAndRoomForNinetyNineTracks) {
    const auto cdb = read_toc_command();
    EXPECT_EQ(cdb[0], 0x43);
    EXPECT_EQ(cdb[1] & 0x02, 0);  // MSF bit clear
    EXPECT_EQ(cdb[6], 1);
    EXPECT_EQ(cdb[7] << 8 | cdb[8], 804);
}

TEST(ReadTocAnswer, NinetyNineTracksKeepTheirLeadOut) {
    const auto answer = answer_for(99);
    ASSERT_EQ(answer.size(), kReadTocAnswerSize);
    Toc toc;
    ASSERT_TRUE(parse_read_toc_answer(answer, toc));
    EXPECT_EQ(toc.last_track, 99);
    ASSERT_EQ(toc.descriptors.size(), 100u);
    EXPECT_EQ(toc.descriptors.back(), (TocDescriptor{0x10, 0xAA, 99000}));
    EXPECT_EQ(toc.descriptors[41], (TocDescriptor{0x10, 42, 41000}));

    // The same answer cut to 792 bytes has lost the lead-out and the last track.
    Toc cut;
    ASSERT_TRUE(parse_read_toc_answer(std::span(answer).first(792), cut));
    EXPECT_EQ(cut.descriptors.size(), 98u);
}

TEST(ReadTocAnswer, ReadsOnlyWhatTheAnswerHolds) {
    auto answer = answer_for(3);
    Toc toc;
    ASSERT_TRUE(parse_read_toc_answer(answer, toc));
    EXPECT_EQ(toc.descriptors.size(), 4u);
    answer[1] = 2 + 8;  // the drive says one descriptor follows
    ASSERT_TRUE(parse_read_toc_answer(answer, toc));
    EXPECT_EQ(toc.descriptors.size(), 1u);
    EXPECT_FALSE(parse_read_toc_answer(std::span(answer).first(3), toc));
    answer[0] = answer[1] = 0;
    EXPECT_FALSE(parse_read_toc_answer(answer, toc));
}

}  // namespace
}  // namespace qpx::cdrom
