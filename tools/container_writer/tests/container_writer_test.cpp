// The container writer: block index reservation, all-or-nothing files, plans
// it refuses, and the qpx-mkcontainer program on an ISO made by genisoimage.
#include <gtest/gtest.h>

#include <array>
#include <stdexcept>
#include <vector>

#include "qpx/container/byte_order.h"
#include "qpx/container/container.h"
#include "qpx/container/errors.h"
#include "qpx/container/file_io.h"
#include "qpx/container_writer/container_writer.h"
#include "support/iso_fixture.h"
#include "support/temp_dir.h"

namespace qpx::container_writer {
namespace {

namespace fs = std::filesystem;
using namespace qpx::container;

std::vector<std::uint8_t> counting_sectors(std::uint32_t count) {
    std::vector<std::uint8_t> out(count * std::size_t{2048});
    for (std::uint32_t s = 0; s < count; ++s)
        for (std::size_t b = 0; b < 2048; b += 4) store_le32(out, s * 2048 + b, s * 1000 + static_cast<std::uint32_t>(b));
    return out;
}

std::vector<std::uint8_t> file_bytes(const fs::path& path, std::uint64_t offset, std::size_t n) {
    std::error_code ec;
    FileHandle f = open_for_reading(path, ec);
    std::vector<std::uint8_t> out(n);
    if (!f.is_open() || pread_full(f.get(), out, offset, ec) != n) throw std::runtime_error("short file");
    return out;
}

// A source that fails after a number of sectors, as a failing disc would.
class FailingSource final : public SectorSource {
public:
    FailingSource(const SectorSource& inner, std::uint32_t fail_at) : inner_(inner), fail_at_(fail_at) {}
    std::size_t sector_bytes() const override { return inner_.sector_bytes(); }
    std::uint32_t sector_count() const override { return inner_.sector_count(); }
    void read(std::uint32_t first, std::span<std::uint8_t> out) const override {
        if (first + out.size() / sector_bytes() > fail_at_) throw std::runtime_error("unreadable sector");
        inner_.read(first, out);
    }

private:
    const SectorSource& inner_;
    std::uint32_t fail_at_;
};

class ContainerWriter : public ::testing::Test {
protected:
    qpx::testing::TempDir dir_{"writer"};
};

TEST_F(ContainerWriter, IndexIsRewrittenAndSpareEntriesStayUnused) {
    MemorySectorSource source(counting_sectors(16 + 40), 2048);  // 40 stored sectors: 3 blocks
    ContainerPlan plan;
    plan.type = ContainerType::normal_blocks;
    plan.sectors = &source;
    plan.spare_index_entries = 5;
    write_container(plan, dir_ / "c.qim");

    const auto index = file_bytes(dir_ / "c.qim", 512, 9 * 4);
    EXPECT_EQ(load_le32(index, 0), 512u + 9 * 4);
    for (int k = 1; k <= 3; ++k) EXPECT_GT(load_le32(index, k * 4), load_le32(index, (k - 1) * 4)) << k;
    EXPECT_EQ(load_le32(index, 3 * 4), fs::file_size(dir_ / "c.qim"));
    for (int k = 4; k < 9; ++k) EXPECT_EQ(load_le32(index, k * 4), 0xFFFFFFFFu) << k;

    std::shared_ptr<const Container> c;
    ASSERT_FALSE(Container::open(dir_ / "c.qim", c));
    BlockCache cache;
    std::array<std::uint8_t, 2048> out{};
    ASSERT_FALSE(c->read_sector(55, out, cache));
    EXPECT_EQ(load_le32(out, 4), 55u * 1000 + 4);
    EXPECT_EQ(c->read_sector(56, out, cache), Errc::medium_error);
}

TEST_F(ContainerWriter, FailedWriteLeavesNoFileAndKeepsTheOldOne) {
    MemorySectorSource good(counting_sectors(100), 2048);
    FailingSource failing(good, 70);
    for (ContainerType type : {ContainerType::plain, ContainerType::maximal_blocks}) {
        const fs::path target = dir_ / ("t" + std::to_string(int(type)) + ".qim");
        ContainerPlan plan;
        plan.type = type;
        plan.sectors = &failing;
        EXPECT_THROW(write_container(plan, target), std::runtime_error);
        EXPECT_FALSE(fs::exists(target));

        plan.sectors = &good;
        write_container(plan, target);
        const auto size = fs::file_size(target);
        plan.sectors = &failing;
        EXPECT_THROW(write_container(plan, target), std::runtime_error);
        EXPECT_EQ(fs::file_size(target), size) << "the complete container stays";
    }
    std::size_t entries = 0;
    for (const auto& e : fs::directory_iterator(dir_.path())) {
        ++entries;
        EXPECT_EQ(e.path().extension(), ".qim") << e.path();
    }
    EXPECT_EQ(entries, 2u) << "no temporary files left";
}

TEST_F(ContainerWriter, RefusesPlansItCannotLayOut) {
    MemorySectorSource user(counting_sectors(40), 2048);
    RawSectorAdapter raw(user, 0, 1);
    struct Case {
        const char* what;
        ContainerPlan plan;
    };
    std::vector<Case> cases;
    {
        ContainerPlan p;
        p.type = ContainerType::track_table;
        p.disc_format = disc_format::cdi_bridge;
        p.tracks.push_back(data_track(0, 40, Storage::normal, raw));
        cases.push_back({"compressed raw sectors", p});
    }
    {
        ContainerPlan p;
        p.type = ContainerType::track_table;
        p.tracks.push_back(data_track(0, 40, Storage::plain, raw));
        cases.push_back({"raw sectors where 2,048 are counted", p});
    }
    {
        ContainerPlan p;
        p.type = ContainerType::track_table;
        p.tracks.push_back(audio_track(0, 40, "../Track 01.wav"));
        cases.push_back({"wave name outside the folder", p});
    }
    {
        ContainerPlan p;
        p.disc_format = disc_format::korrektur1;
        p.sectors = &user;
        p.defective_sectors = {400};
        cases.push_back({"defect beyond the map", p});
    }
    {
        ContainerPlan p;
        p.type = ContainerType{4};
        p.sectors = &user;
        cases.push_back({"unknown type", p});
    }
    for (const Case& c : cases) {
        EXPECT_THROW(write_container(c.plan, dir_ / "x.qim"), std::invalid_argument) << c.what;
        EXPECT_FALSE(fs::exists(dir_ / "x.qim")) << c.what;
    }
}

TEST_F(ContainerWriter, MkcontainerMakesReadableContainersFromAnIso) {
    // A small tree of real files and one incompressible file, made into an
    // ISO by genisoimage / xorriso.
    const fs::path tree = dir_ / "tree";
    fs::create_directories(tree / "doc");
    int copied = 0;
    for (const auto& e : fs::directory_iterator("/usr/share/doc")) {
        const fs::path copyright = e.path() / "copyright";
        std::error_code ec;
        if (copied < 40 && fs::is_regular_file(copyright, ec) &&
            fs::copy_file(copyright, tree / "doc" / (e.path().filename().string() + ".txt"), ec))
            ++copied;
    }
    qpx::testing::write_incompressible_file(tree / "noise.bin", 300 * 1024, 5);
    const fs::path iso = dir_ / "small.iso";
    qpx::testing::make_iso_image(tree, iso);
    FileSectorSource image(iso, 2048);

    const fs::path program = qpx::testing::program_path("qpx-mkcontainer");
    struct Case {
        const char* args;
        bool raw_track;
    };
    for (const Case& c : {Case{"--type 1", false}, Case{"--type 6", false}, Case{"--type 5 --storage 3", true},
                          Case{"--type 5 --storage 5 --defect 20", false}}) {
        const fs::path out = dir_ / "made.qim";
        ASSERT_EQ(qpx::testing::run_command(program.string() + " " + c.args + " --description Demo '" +
                                            iso.string() + "' '" + out.string() + "'"),
                  0)
            << c.args;
        std::shared_ptr<const Container> container;
        ASSERT_FALSE(Container::open(out, container)) << c.args;
        EXPECT_EQ(container->header().description_text(), "Demo");
        BlockCache cache;
        std::array<std::uint8_t, 2048> got{};
        std::vector<std::uint8_t> want(2048);
        for (std::uint32_t s = 16; s < image.sector_count(); ++s) {
            image.read(s, want);
            const std::error_code ec = container->read_sector(s, got, cache);
            if (s == 20 && container->has_defect_map()) {
                EXPECT_EQ(ec, Errc::defective_sector);
                continue;
            }
            ASSERT_FALSE(ec) << c.args << " sector " << s;
            ASSERT_TRUE(std::equal(want.begin(), want.end(), got.begin())) << c.args << " sector " << s;
        }
        if (c.raw_track) {
            std::array<std::uint8_t, 2352> raw{};
            ASSERT_FALSE(container->read_raw_sector(16, raw, cache));
            EXPECT_EQ(raw[15], 1);
            EXPECT_EQ(raw[12], 0x00);  // 00:02:16 in BCD
            EXPECT_EQ(raw[13], 0x02);
            EXPECT_EQ(raw[14], 0x16);
        }
        fs::remove(out);
    }
    EXPECT_EQ(qpx::testing::run_command(program.string() + " --type 4 a b 2>/dev/null"), 2);
    EXPECT_EQ(qpx::testing::run_command(program.string() + " '" + (dir_ / "none.iso").string() + "' '" +
                                        (dir_ / "o.qim").string() + "' 2>/dev/null"),
              1);
    EXPECT_FALSE(fs::exists(dir_ / "o.qim"));
}

}  // namespace
}  // namespace qpx::container_writer
