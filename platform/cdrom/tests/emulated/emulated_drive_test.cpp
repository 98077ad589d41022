// The library's CD calls on an emulated drive of the real port host: the
// container's TOC and sectors come back as from any CD-ROM drive.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <thread>
#include <vector>

#include "port_host_process.h"
#include "qpxdrv.h"
#include "support/cue_bin_fixture.h"
#include "support/temp_dir.h"

namespace qpx::testing {
namespace {

std::vector<std::uint8_t> file_bytes(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::uint32_t le32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

TEST(EmulatedDrive, TocAndSectorsOfTheInsertedContainer) {
    ScopedMachineRoot root;
    TempDir dir("emulated");
    const auto iso = make_small_iso(dir.path());
    const auto container = dir / "disc.qim";
    std::string log;
    ASSERT_EQ(run_command(program_path("qpx-mkcontainer").string() + " '" + iso.string() + "' '" +
                              container.string() + "' 2>&1",
                          &log),
              0)
        << log;

    configure_port_host(1);
    PortHostProcess host;
    ASSERT_TRUE(host.wait_ready()) << host.log();
    char letters[32] = {};
    ASSERT_NE(QPXGetDriveLetters(letters, 0), -1);
    const char g = letters[0];
    ASSERT_EQ(QPXSetContainerFiles(";"), 0);  // one drive, empty
    ASSERT_NE(QPXInsert(0, container.c_str()), 0);

    // The drive answers "not ready" and then "medium changed" while it opens
    // the container; the TOC comes once it serves it.
    std::uint16_t count = 0;
    std::uint8_t summary[QPX_TOC_SUMMARY_SIZE] = {};
    std::vector<std::uint8_t> records(QPX_TRACK_TABLE_SIZE, 0);
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    int result = 0;
    while (!(result = QPXGetTOCInfo(g, &count, summary, records.data())) && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_EQ(result, 1) << host.log();

    const auto bytes = file_bytes(iso);
    const std::uint32_t sectors = static_cast<std::uint32_t>(bytes.size() / 2048);
    EXPECT_EQ(count, 1);
    EXPECT_EQ(summary[0], 1);
    EXPECT_EQ(summary[1], 1);
    EXPECT_EQ(le32(summary + 2), sectors);
    EXPECT_EQ(le32(records.data()), 0u);
    EXPECT_EQ(records[8] & 0x40, 0x40);
    char text[64];
    EXPECT_EQ(QPXGetTOC(g, text, sizeof text), 1);
    EXPECT_EQ(std::string(text), "0 " + std::to_string(sectors));

    std::vector<std::uint8_t> user(bytes.size());
    ASSERT_EQ(QPXReadSectorsFromCD(g, 0, sectors, user.data(), 1), 1);
    EXPECT_TRUE(user == bytes);
    EXPECT_EQ(std::string(user.begin() + 16 * 2048 + 1, user.begin() + 16 * 2048 + 6), "CD001");
    EXPECT_EQ(QPXReadSectorsFromCD(g, sectors, 1, user.data(), 1), 0);
    EXPECT_EQ(QPXBinSrchSize(g, 0, static_cast<std::int32_t>(sectors) + 500, 1), static_cast<std::int32_t>(sectors));
}

}  // namespace
}  // namespace qpx::testing
