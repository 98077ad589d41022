// Header block and track node layouts, field by field.
#include <gtest/gtest.h>

#include <array>
#include <cstring>

#include "qpx/container/byte_order.h"
#include "qpx/container/header.h"
#include "qpx/container/track_node.h"

namespace qpx::container {
namespace {

TEST(HeaderLayout, DecodesEveryFieldAtItsOffset) {
    std::array<std::uint8_t, kHeaderBlockSize> b{};
    store_le16(b, 0, 5);
    store_le16(b, 2, 0x0071);
    store_le32(b, 4, 37632);
    store_le32(b, 8, 123456789);
    std::memcpy(&b[12], "Spiele 1998", 11);
    std::memcpy(&b[140], "QIM V1.0", 8);
    store_le32(b, 152, 18000);
    b[156] = 5;
    b[157] = 4;
    store_le32(b, 158, 0x00453A10);
    store_le32(b, 162, 0x00000200);
    b[166] = 0x01;
    store_le32(b, 162 + 69 * 5, 0x00112233);
    b[166 + 69 * 5] = 0x41;

    const Header h = parse_header(b);
    EXPECT_EQ(h.type, 5);
    EXPECT_EQ(h.disc_format, 0x71);
    EXPECT_EQ(h.block_size, 37632u);
    EXPECT_EQ(h.total_bytes, 123456789u);
    EXPECT_EQ(h.description_text(), "Spiele 1998");
    EXPECT_EQ(h.signature_text(), "QIM V1.0");
    EXPECT_EQ(h.last_track_start, 18000u);
    EXPECT_EQ(h.first_track, 5);
    EXPECT_EQ(h.last_track, 4);
    EXPECT_TRUE(h.is_two_session());
    EXPECT_EQ(h.lead_out, 0x00453A10u);
    EXPECT_EQ(h.tracks[0].address, 0x200u);
    EXPECT_EQ(h.tracks[0].control, 0x01);
    EXPECT_EQ(h.tracks[69].address, 0x00112233u);
    EXPECT_EQ(h.tracks[69].control, 0x41);

    std::array<std::uint8_t, kHeaderBlockSize> again{};
    serialize_header(h, again);
    EXPECT_EQ(again, b);

    const Header start = parse_header_start(std::span(b).first<kHeaderStartSize>());
    EXPECT_EQ(start.disc_format, 0x71);
    EXPECT_EQ(start.signature_text(), "QIM V1.0");
}

TEST(HeaderLayout, HighByteOfTheDiscFormatCounts) {
    std::array<std::uint8_t, kHeaderBlockSize> b{};
    store_le16(b, 2, 0x0171);
    const Header h = parse_header(b);
    EXPECT_EQ(h.disc_format, 0x0171);
    EXPECT_FALSE(has_defect_map(h.disc_format));
    EXPECT_TRUE(has_defect_map(0x0071));
    EXPECT_TRUE(has_defect_map(0x0070));
}

TEST(HeaderLayout, FreshHeaderHasSignatureAndUnusedEntries) {
    const Header h = make_header(ContainerType::normal_blocks, 0);
    std::array<std::uint8_t, kHeaderBlockSize> b{};
    serialize_header(h, b);
    EXPECT_EQ(std::memcmp(&b[140], "QIM V1.0\0\0\0\0", 12), 0);
    EXPECT_EQ(load_le32(b, 162 + 5 * 5), 0x200u);
    EXPECT_EQ(b[166 + 5 * 5], 0);
}

TEST(HeaderSignature, AcceptsVersionsOneAndThreeOnly) {
    struct Case {
        const char* text;
        bool accepted;
    };
    const Case cases[] = {{"QIM V1.0", true}, {"QIM V3.0", true},  {"QIM V2.0", false},
                          {"", false},        {"QIM V1.0 ", false}, {"qim v1.0", false}};
    for (const Case& c : cases) {
        std::array<std::uint8_t, kSignatureSize> field{};
        std::memcpy(field.data(), c.text, std::strlen(c.text));
        EXPECT_EQ(is_accepted_signature(field), c.accepted) << c.text;
    }
    std::array<std::uint8_t, kSignatureSize> unterminated{};
    std::memset(unterminated.data(), 'Q', unterminated.size());
    EXPECT_FALSE(is_accepted_signature(unterminated));
}

TEST(HeaderDescription, KeepsAtMost127BytesOnACharacterBoundary) {
    Header h;
    h.set_description(std::string(200, 'a'));
    EXPECT_EQ(h.description_text().size(), 127u);
    EXPECT_EQ(h.description[127], 0);

    // "ä" is two bytes; 126 ASCII bytes plus "ä" would end at byte 128.
    h.set_description(std::string(126, 'b') + "\xC3\xA4" + "c");
    EXPECT_EQ(h.description_text(), std::string(126, 'b'));

    std::array<std::uint8_t, kDescriptionSize> full{};
    std::memset(full.data(), 'x', full.size());
    h.description = full;
    EXPECT_EQ(h.description_text().size(), 128u);
}

TEST(TrackNodeLayout, DecodesFieldsAndOffsets) {
    std::array<std::uint8_t, kTrackTableSize> table{};
    auto node = std::span(table).subspan(3 * kTrackNodeSize, kTrackNodeSize);
    store_le32(node, 0, 100);
    store_le32(node, 4, 133);
    node[8] = 1;
    store_le32(node, 9, 0x01020304);
    auto audio = std::span(table).subspan(4 * kTrackNodeSize, kTrackNodeSize);
    audio[8] = 2;
    std::memcpy(&audio[9], "Track 05.wav", 12);

    const TrackTable nodes = parse_track_table(table);
    EXPECT_TRUE(nodes[0].is_unused());
    EXPECT_EQ(nodes[3].start, 100u);
    EXPECT_EQ(nodes[3].end, 133u);
    EXPECT_EQ(nodes[3].storage_kind(), Storage::normal);
    EXPECT_EQ(nodes[3].data_offset(), 0x01020304u);
    EXPECT_EQ(nodes[4].storage_kind(), Storage::wave);
    EXPECT_EQ(nodes[4].location_text(), "Track 05.wav");
    EXPECT_EQ(nodes[4].safe_wave_file_name().value_or(""), "Track 05.wav");

    std::array<std::uint8_t, kTrackTableSize> again{};
    serialize_track_table(nodes, again);
    EXPECT_EQ(again, table);
}

TEST(TrackNodeLayout, WaveNamesThatLeaveTheFolderAreRefused) {
    for (const char* name : {"../x.wav", "/etc/passwd", "a/b.wav", "..", ".", "", "a\\b.wav"}) {
        TrackNode node;
        node.set_location_text(name);
        EXPECT_FALSE(node.safe_wave_file_name().has_value()) << name;
    }
}

}  // namespace
}  // namespace qpx::container
