// Every sector of a real ISO image (made by xorriso) read through READ(10)
// in 64 KB requests, as Linux reads, from containers of each layout.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "container_fixtures.h"
#include "core_harness.h"
#include "qpx/container/file_io.h"
#include "qpx/container_writer/image_container.h"
#include "qpx/container_writer/sector_source.h"
#include "support/container_layouts.h"
#include "support/iso_fixture.h"
#include "support/temp_dir.h"

namespace qpx::driver::test {
namespace {

namespace fs = std::filesystem;
using container::ContainerType;
using container::kRawSectorSize;
using container::kUserSectorSize;
using container::Storage;
using container_writer::FileSectorSource;
using container_writer::RawSectorAdapter;

using Layout = qpx::testing::ContainerLayout;

class IsoThroughTheDrive : public ::testing::TestWithParam<Layout> {};

TEST_P(IsoThroughTheDrive, EverySectorReadsAsTheIsoHoldsIt) {
    const Layout layout = GetParam();
    const fs::path& iso_path = qpx::testing::shared_iso_image();
    FileSectorSource iso(iso_path, kUserSectorSize);
    const std::uint32_t sectors = iso.sector_count();

    qpx::testing::TempDir dir("drive-iso");
    const fs::path path = dir / "disc.qim";
    container_writer::write_image_container(iso_path, layout.type, layout.storage, path);

    CoreHarness core;
    core.insert(0, path);

    std::error_code io;
    container::FileHandle image = container::open_for_reading(iso_path, io);
    ASSERT_TRUE(image.is_open());
    constexpr std::uint32_t kRun = 32;  // 64 KB
    std::vector<std::uint8_t> expected(kRun * kUserSectorSize);
    for (std::uint32_t first = 0; first < sectors; first += kRun) {
        const std::uint32_t n = std::min(kRun, sectors - first);
        const auto want = std::span(expected).first(n * kUserSectorSize);
        ASSERT_EQ(container::pread_full(image.get(), want, std::uint64_t{first} * kUserSectorSize, io), want.size());
        // Sectors 0..15 are never stored and read as zeros; the same request
        // still carries the real sectors from 16 on (the volume descriptors).
        if (first == 0) std::fill_n(want.begin(), 16 * kUserSectorSize, std::uint8_t{0});
        const Answer got = core.read10(0, first, want.size());
        ASSERT_TRUE(got.good()) << "sector " << first << " key " << int(got.key) << " asc " << int(got.asc);
        ASSERT_EQ(got.transferred, want.size());
        ASSERT_TRUE(std::equal(want.begin(), want.end(), got.data.begin())) << "run at sector " << first;
    }

    const Answer past = core.read10(0, sectors - 1, 2 * kUserSectorSize);
    EXPECT_TRUE(past.check(sense::kNoSense, 0x00)) << "a read over the end is short";
    EXPECT_EQ(past.transferred, kUserSectorSize);

    if (layout.type == ContainerType::track_table && layout.storage == Storage::raw) {
        // A raw track answers 2,352-byte reads with the stored sectors.
        const RawSectorAdapter raw(iso, 0, 1);
        const std::uint32_t at = sectors / 2;
        const Answer got = core.read10(0, at, 3 * kRawSectorSize);
        ASSERT_TRUE(got.good());
        EXPECT_EQ(got.data, sector_bytes(raw, at, 3));
    }
}

INSTANTIATE_TEST_SUITE_P(AllLayouts, IsoThroughTheDrive, ::testing::ValuesIn(qpx::testing::kDataTrackLayouts),
                         qpx::testing::LayoutName());

}  // namespace
}  // namespace qpx::driver::test
