// Every sector of a real ISO image (made by xorriso over real files) read
// back byte-identical from containers of each single-track type and of type 5
// with each data storage.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "qpx/container/errors.h"
#include "qpx/container/file_io.h"
#include "qpx/container/sector_reader.h"
#include "qpx/container_writer/image_container.h"
#include "qpx/container_writer/sector_source.h"
#include "support/container_layouts.h"
#include "support/iso_fixture.h"
#include "support/temp_dir.h"
#include "test_sectors.h"

namespace qpx::container {
namespace {

namespace fs = std::filesystem;
using container_writer::FileSectorSource;

using Layout = qpx::testing::ContainerLayout;

class IsoRoundTrip : public ::testing::TestWithParam<Layout> {};

TEST_P(IsoRoundTrip, EverySectorReadsBackIdentical) {
    const Layout layout = GetParam();
    const fs::path& iso_path = qpx::testing::shared_iso_image();
    FileSectorSource iso(iso_path, kUserSectorSize);
    const std::uint32_t sectors = iso.sector_count();
    ASSERT_GE(std::uint64_t{sectors} * kUserSectorSize, 50ull << 20);

    qpx::testing::TempDir dir("iso");
    const fs::path path = dir / "image.qim";
    container_writer::ImageContainerOptions options;
    options.description = layout.name;
    container_writer::write_image_container(iso_path, layout.type, layout.storage, path, options);

    std::shared_ptr<const Container> container;
    ASSERT_FALSE(Container::open(path, container));
    EXPECT_EQ(container->header().description_text(), layout.name);
    SectorReader reader(container);

    // Compare in runs of 64 sectors: the container through read_many, the
    // ISO through plain reads of the file xorriso wrote.
    std::error_code io;
    FileHandle image = open_for_reading(iso_path, io);
    ASSERT_TRUE(image.is_open());
    constexpr std::uint32_t kRun = 64;
    std::vector<std::uint8_t> expected(kRun * kUserSectorSize);
    std::vector<std::uint8_t> actual(kRun * kUserSectorSize);
    for (std::uint32_t first = 0; first < sectors; first += kRun) {
        const std::uint32_t n = std::min(kRun, sectors - first);
        const auto want = std::span(expected).first(n * kUserSectorSize);
        const auto got = std::span(actual).first(n * kUserSectorSize);
        ASSERT_EQ(pread_full(image.get(), want, std::uint64_t{first} * kUserSectorSize, io), want.size());
        // Sectors 0..15 are never stored: they read as zeros.
        if (first == 0) std::fill_n(want.begin(), 16 * kUserSectorSize, std::uint8_t{0});
        std::uint32_t done = 0;
        ASSERT_FALSE(reader.read_many(first, got, &done)) << "sector " << first + done;
        ASSERT_TRUE(std::equal(want.begin(), want.end(), got.begin())) << "run at sector " << first;
    }
    std::array<std::uint8_t, kUserSectorSize> past{};
    EXPECT_TRUE(reader.read(sectors, past)) << "the sector after the image holds nothing";
}

INSTANTIATE_TEST_SUITE_P(AllLayouts, IsoRoundTrip, ::testing::ValuesIn(qpx::testing::kDataTrackLayouts),
                         qpx::testing::LayoutName());

}  // namespace
}  // namespace qpx::container
