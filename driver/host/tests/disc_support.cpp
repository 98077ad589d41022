#include "disc_support.h"

#include <fstream>
#include <iterator>
#include <memory>

#include "qpx/container_writer/container_writer.h"
#include "support/iso_fixture.h"
#include "support/temp_dir.h"

namespace qpx::testing {
namespace {

DiscImage make_disc(const std::filesystem::path& iso, container::ContainerType type, const std::filesystem::path& at) {
    container_writer::FileSectorSource source(iso, 2048);
    container_writer::ContainerPlan plan;
    plan.type = type;
    plan.sectors = &source;
    container_writer::write_container(plan, at);
    DiscImage disc;
    disc.container = at;
    std::ifstream in(iso, std::ios::binary);
    disc.sectors.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    std::fill_n(disc.sectors.begin(), std::min<std::size_t>(disc.sectors.size(), 16 * 2048), std::uint8_t{0});
    return disc;
}

TempDir& discs_folder() {
    static TempDir dir("port-host-discs");
    return dir;
}

}  // namespace

const DiscImage& large_plain_disc() {
    static const DiscImage disc =
        make_disc(shared_iso_image(), container::ContainerType::plain, discs_folder() / "large.qim");
    return disc;
}

const DiscImage& small_compressed_disc() {
    static const DiscImage disc = [] {
        const auto tree = discs_folder() / "small-tree";
        std::filesystem::create_directories(tree / "docs");
        write_incompressible_file(tree / "noise.bin", 300 * 1024, 7);
        std::ofstream(tree / "docs" / "readme.txt") << std::string(200000, 'q');
        const auto iso = discs_folder() / "small.iso";
        make_iso_image(tree, iso);
        return make_disc(iso, container::ContainerType::normal_blocks, discs_folder() / "small.qim");
    }();
    return disc;
}

}  // namespace qpx::testing
