// Damaged and hostile containers: every case ends in a typed error, never in
// data that was not stored and never in a crash.
#include <gtest/gtest.h>

#include <unistd.h>

#include <array>
#include <functional>
#include <vector>

#include "qpx/container/byte_order.h"
#include "qpx/container/errors.h"
#include "qpx/container/sector_reader.h"
#include "qpx/container_writer/container_writer.h"
#include "support/temp_dir.h"
#include "test_sectors.h"

namespace qpx::container {
namespace {

namespace fs = std::filesystem;
using container_writer::ContainerPlan;
using container_writer::MemorySectorSource;
using container_writer::audio_track;
using container_writer::data_track;
using container_writer::TrackPlan;
using container_writer::write_container;

using Sector = std::array<std::uint8_t, 2048>;

class BadInput : public ::testing::Test {
protected:
    // Type 1 (normal blocks), 64 sectors: index at 512 with 4 entries
    // (3 blocks: sectors 16..31, 32..47, 48..63).
    fs::path make_blocks(ContainerType type = ContainerType::normal_blocks) {
        const fs::path path = dir_ / ("blocks" + std::to_string(int(type)) + ".qim");
        ContainerPlan plan;
        plan.type = type;
        plan.sectors = &source_;
        write_container(plan, path);
        return path;
    }

    std::error_code read(const fs::path& path, std::uint32_t sector) {
        std::shared_ptr<const Container> c;
        if (const std::error_code ec = Container::open(path, c)) return ec;
        BlockCache cache;
        Sector out{};
        return c->read_sector(sector, out, cache);
    }

    qpx::testing::TempDir dir_{"bad"};
    std::vector<std::uint8_t> disc_ = test::numbered_sectors(64);
    MemorySectorSource source_{disc_, 2048};
};

TEST_F(BadInput, MissingAndTooShortFiles) {
    std::shared_ptr<const Container> c;
    EXPECT_EQ(Container::open(dir_ / "none.qim", c), Errc::not_found);
    EXPECT_EQ(Container::open(dir_ / "none" / "x.qim", c), Errc::not_found);
    EXPECT_FALSE(c);
    EXPECT_EQ(Container::open(dir_.path(), c), Errc::open_failed);
    const fs::path path = make_blocks();
    for (std::uintmax_t size : {0u, 1u, 151u, 511u}) {
        fs::resize_file(path, size);
        EXPECT_EQ(Container::open(path, c), Errc::bad_container) << size;
    }
}

TEST_F(BadInput, SignatureIsCheckedUnlessTheCallerServesAnyHeader) {
    const fs::path path = make_blocks();
    test::patch_file(path, 140, std::array<std::uint8_t, 8>{'Q', 'I', 'M', ' ', 'V', '2', '.', '0'});
    std::shared_ptr<const Container> c;
    EXPECT_EQ(Container::open(path, c), Errc::bad_container);
    ASSERT_FALSE(Container::open(path, c, {.check_signature = false}));
    BlockCache cache;
    Sector out{};
    ASSERT_FALSE(c->read_sector(20, out, cache));
    EXPECT_EQ(load_le32(out, 0), 20u);
    test::patch_file(path, 140, std::array<std::uint8_t, 8>{'Q', 'I', 'M', ' ', 'V', '3', '.', '0'});
    EXPECT_FALSE(Container::open(path, c));
}

TEST_F(BadInput, TruncatedData) {
    struct Case {
        const char* what;
        ContainerType type;
        std::function<std::uintmax_t(const fs::path&)> cut;  // new file size
        std::uint32_t sector;
        Errc read_error;
        bool sector_20_readable;
    };
    const Case cases[] = {
        {"plain data ends inside a sector", ContainerType::plain,
         [](const fs::path& p) { return fs::file_size(p) - 100; }, 63, Errc::medium_error, true},
        {"index cut", ContainerType::normal_blocks, [](const fs::path&) { return 514u; }, 20, Errc::medium_error, false},
        {"last block cut", ContainerType::normal_blocks,
         [](const fs::path& p) { return fs::file_size(p) - 1; }, 50, Errc::medium_error, true},
        {"zlib block cut", ContainerType::maximal_blocks,
         [](const fs::path& p) { return fs::file_size(p) - 1; }, 50, Errc::medium_error, true},
    };
    for (const Case& c : cases) {
        const fs::path path = make_blocks(c.type);
        fs::resize_file(path, c.cut(path));
        std::shared_ptr<const Container> container;
        ASSERT_FALSE(Container::open(path, container)) << c.what << ": damage shows only when read";
        EXPECT_EQ(read(path, c.sector), c.read_error) << c.what;
        EXPECT_EQ(!read(path, 20), c.sector_20_readable) << c.what;
    }
}

TEST_F(BadInput, TruncatedTablesAndDefectMaps) {
    ContainerPlan plan;
    plan.type = ContainerType::track_table;
    plan.disc_format = disc_format::korrektur1;
    plan.tracks.push_back(data_track(0, 64, Storage::plain, source_));
    const fs::path path = dir_ / "table.qim";
    write_container(plan, path);
    std::shared_ptr<const Container> c;
    for (std::uintmax_t size : {514u, 520u, 516u + 9 + 9589}) {
        write_container(plan, path);
        fs::resize_file(path, size);
        EXPECT_EQ(Container::open(path, c), Errc::medium_error) << size;
    }
    ContainerPlan toc;
    toc.type = ContainerType::toc_plain;
    toc.sectors = &source_;
    write_container(toc, path);
    fs::resize_file(path, 512 + 803);
    EXPECT_EQ(Container::open(path, c), Errc::medium_error);
}

TEST_F(BadInput, ContainersBeyondTheLargestDiscAreRefused) {
    // Defect map: 449,850 sectors need 56,232 bytes.
    ContainerPlan plan;
    plan.disc_format = disc_format::korrektur1;
    plan.sectors = &source_;
    plan.defect_map_bytes = 56232;
    write_container(plan, dir_ / "map.qim");
    EXPECT_FALSE(read(dir_ / "map.qim", 40));
    plan.defect_map_bytes = 56233;
    write_container(plan, dir_ / "map.qim");
    EXPECT_EQ(read(dir_ / "map.qim", 40), Errc::bad_container);
    test::patch_le32(dir_ / "map.qim", 512, 0xFFFFFFFF);
    EXPECT_EQ(read(dir_ / "map.qim", 40), Errc::bad_container);

    // Block index: 28,117 entries (28,116 blocks) at most.
    ContainerPlan blocks;
    blocks.type = ContainerType::normal_blocks;
    blocks.sectors = &source_;
    blocks.spare_index_entries = 28117 - 4;
    write_container(blocks, dir_ / "index.qim");
    EXPECT_FALSE(read(dir_ / "index.qim", 40));
    blocks.spare_index_entries = 28117 - 3;
    write_container(blocks, dir_ / "index.qim");
    EXPECT_EQ(read(dir_ / "index.qim", 40), Errc::bad_container);
}

TEST_F(BadInput, DamagedIndexEntries) {
    struct Case {
        const char* what;
        std::uint64_t entry;  // index entry overwritten
        std::function<std::uint32_t(const fs::path&)> value;
        std::uint32_t bad_sector;
    };
    auto entry = [](const fs::path& p, int k) { return test::read_le32(p, 512 + 4 * k); };
    const Case cases[] = {
        {"entry 0 unused", 0, [](const fs::path&) { return 0xFFFFFFFFu; }, 20},
        {"entry 0 inside the index", 0, [](const fs::path&) { return 514u; }, 20},
        {"entry 0 not a whole entry", 0, [&](const fs::path& p) { return entry(p, 0) + 1; }, 20},
        {"end entry unused", 3, [](const fs::path&) { return 0xFFFFFFFFu; }, 50},
        {"block length beyond the largest block", 2,
         [&](const fs::path& p) { return entry(p, 1) + 40000; }, 40},
        {"block ends before it starts", 2, [&](const fs::path& p) { return entry(p, 1) - 1; }, 40},
        {"block holds only its head", 2, [&](const fs::path& p) { return entry(p, 1) + 2; }, 40},
        {"block beyond the file", 3, [](const fs::path&) { return 0x7FFFFFFFu; }, 50},
    };
    for (const Case& c : cases) {
        const fs::path path = make_blocks();
        test::patch_le32(path, 512 + 4 * c.entry, c.value(path));
        EXPECT_NE(read(path, c.bad_sector), std::error_code()) << c.what;
        const std::error_code ec = read(path, c.bad_sector);
        EXPECT_TRUE(ec == Errc::medium_error || ec == Errc::bad_container) << c.what << ": " << ec.message();
    }
}

TEST_F(BadInput, BlockBeyondTheIndex) {
    // A track of 64 sectors at 100 (4 blocks), whose index is then shortened
    // to two entries: only block 0 has an entry pair.
    ContainerPlan plan;
    plan.type = ContainerType::track_table;
    plan.tracks.push_back(data_track(100, 164, Storage::normal, source_));
    const fs::path path = dir_ / "short_index.qim";
    write_container(plan, path);
    auto c = test::open_or_fail(path);
    const std::uint32_t index_at = c->track_nodes()[0].data_offset();
    // Entry 0 gives the index length: pointing it at entry 2 leaves two entries.
    test::patch_le32(path, index_at, index_at + 8);
    EXPECT_EQ(read(path, 120), Errc::medium_error);  // block 1 has no entry pair
    EXPECT_EQ(read(path, 163), Errc::medium_error);
}

TEST_F(BadInput, BlockHeadsThatDoNotMatchThePayload) {
    struct Case {
        const char* what;
        std::uint16_t head;
    };
    const Case cases[] = {
        {"compressed length beyond the payload", 0x8000 | 0x7FFF},
        {"stored length beyond the payload", 0x7FFF},
        {"compressed stream of zero bytes", 0x8000},
    };
    for (ContainerType type : {ContainerType::normal_blocks, ContainerType::maximal_blocks}) {
        for (const Case& c : cases) {
            const fs::path path = make_blocks(type);
            const std::uint32_t block0 = test::read_le32(path, 512);
            test::patch_le16(path, block0, c.head);
            EXPECT_EQ(read(path, 20), Errc::medium_error) << int(type) << ": " << c.what;
            EXPECT_FALSE(read(path, 40)) << "the next block is untouched";
        }
    }
}

TEST_F(BadInput, DecoderErrorsAreMediumErrors) {
    for (ContainerType type : {ContainerType::normal_blocks, ContainerType::maximal_blocks}) {
        const fs::path path = make_blocks(type);
        const std::uint32_t block0 = test::read_le32(path, 512);
        const std::uint32_t block1 = test::read_le32(path, 516);
        ASSERT_NE(test::read_le16(path, block0) & 0x8000, 0);
        // Overwrite the compressed stream with bytes no decoder accepts in full.
        std::vector<std::uint8_t> junk(block1 - block0 - 2, 0xFF);
        test::patch_file(path, block0 + 2, junk);
        EXPECT_EQ(read(path, 20), Errc::medium_error) << int(type);
    }
}

TEST_F(BadInput, LastBlockHoldsFewerSectorsThanAsked) {
    // A track of 20 sectors at 100: block 1 holds 4 sectors, so sector 120
    // (the end) and a forged position past it never return bytes.
    ContainerPlan plan;
    plan.type = ContainerType::track_table;
    plan.tracks.push_back(data_track(100, 120, Storage::maximal, source_));
    const fs::path path = dir_ / "twenty.qim";
    write_container(plan, path);
    EXPECT_FALSE(read(path, 119));
    EXPECT_EQ(read(path, 120), Errc::not_found);
    // Stretch the node's end: sector 121 now lies in block 1 past its 4 sectors.
    test::patch_le32(path, 512 + 4, 130);
    EXPECT_EQ(read(path, 121), Errc::medium_error);
}

TEST_F(BadInput, WrongBufferSizesAndUnknownTypes) {
    const fs::path path = make_blocks();
    auto c = test::open_or_fail(path);
    BlockCache cache;
    std::array<std::uint8_t, 2047> small{};
    std::array<std::uint8_t, 2048> user{};
    EXPECT_EQ(c->read_sector(20, small, cache), Errc::invalid_argument);
    EXPECT_EQ(c->read_raw_sector(20, user, cache), Errc::invalid_argument);
    std::vector<std::uint8_t> odd(3000);
    EXPECT_EQ(c->read_sectors(20, odd, cache), Errc::invalid_argument);

    test::patch_le16(path, 0, 4);
    EXPECT_EQ(read(path, 20), Errc::bad_container);
    test::patch_le16(path, 0, 1);
    test::patch_le32(path, 4, 16384);  // block size not 16 sectors
    EXPECT_EQ(read(path, 20), Errc::bad_container);
}

}  // namespace
}  // namespace qpx::container
