// The exported container file accessors: header start and track table, read
// and rewritten in place. Containers are laid out byte by byte here, so the
// offsets are checked independently of the container module.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "qpxdrv.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

void put_le16(Bytes& b, std::size_t at, std::uint16_t v) {
    b[at] = static_cast<std::uint8_t>(v);
    b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

void put_le32(Bytes& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

struct Layout {
    std::uint16_t type = 5;
    std::uint16_t disc_format = 0;
    std::string signature = "QIM V1.0";
    std::uint32_t defect_map_bytes = 0;  // written only for formats 0x70 / 0x71
};

bool has_map(std::uint16_t format) { return format == 0x70 || format == 0x71; }

std::size_t table_offset(const Layout& l) { return has_map(l.disc_format) ? 516 + l.defect_map_bytes : 512; }

// Header block, defect map, a patterned track table and 4 KB of data behind it.
Bytes container_bytes(const Layout& l) {
    Bytes b(table_offset(l) + QPX_TRACK_TABLE_SIZE + 4096);
    for (std::size_t i = 0; i < b.size(); ++i) b[i] = static_cast<std::uint8_t>(i * 31 + 7);
    std::fill(b.begin(), b.begin() + 512, std::uint8_t{0});
    put_le16(b, 0, l.type);
    put_le16(b, 2, l.disc_format);
    put_le32(b, 4, 32768);
    std::memcpy(&b[12], "Sammlung", 8);
    std::memcpy(&b[140], l.signature.data(), l.signature.size());
    b[156] = 1;
    b[157] = 2;
    if (has_map(l.disc_format)) {
        put_le32(b, 512, l.defect_map_bytes);
        std::fill_n(b.begin() + 516, l.defect_map_bytes, std::uint8_t{0});
    }
    return b;
}

void write_file(const fs::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

Bytes read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class ContainerAccess : public ::testing::Test {
protected:
    qpx::testing::TempDir dir_{"access"};
    fs::path path_ = dir_ / "disc.qim";
};

TEST_F(ContainerAccess, ReadsTheHeaderStartOfAcceptedSignatures) {
    for (const char* signature : {"QIM V1.0", "QIM V3.0"}) {
        const Bytes file = container_bytes({.type = 0, .signature = signature});
        write_file(path_, file);
        std::array<std::uint8_t, QPX_CONTAINER_HEADER_SIZE> header{};
        ASSERT_EQ(QPXReadContainerHeader(path_.c_str(), header.data()), 1) << signature;
        EXPECT_TRUE(std::equal(header.begin(), header.end(), file.begin())) << signature;
    }
}

TEST_F(ContainerAccess, HeaderReadFailsUnlessAWholeContainerHeaderIsThere) {
    struct Case {
        const char* what;
        std::string signature;
        std::size_t size;  // bytes of the file kept
    };
    const Case cases[] = {
        {"signature QIM V2.0", "QIM V2.0", 600},
        {"no signature", "", 600},
        {"151 bytes", "QIM V1.0", 151},
        {"one byte", "QIM V1.0", 1},
        {"empty file", "QIM V1.0", 0},
    };
    for (const Case& c : cases) {
        Bytes file = container_bytes({.type = 0, .signature = c.signature});
        file.resize(c.size);
        write_file(path_, file);
        std::array<std::uint8_t, QPX_CONTAINER_HEADER_SIZE> header;
        header.fill(0xAB);
        EXPECT_EQ(QPXReadContainerHeader(path_.c_str(), header.data()), 0) << c.what;
        EXPECT_EQ(header[0], 0xAB) << c.what << ": buffer left alone";
    }
    std::array<std::uint8_t, QPX_CONTAINER_HEADER_SIZE> header{};
    EXPECT_EQ(QPXReadContainerHeader((dir_ / "missing.qim").c_str(), header.data()), 0);
    EXPECT_EQ(QPXReadContainerHeader("", header.data()), 0);
    EXPECT_EQ(QPXReadContainerHeader(nullptr, header.data()), 0);
    write_file(path_, container_bytes({.type = 0}));
    EXPECT_EQ(QPXReadContainerHeader(path_.c_str(), nullptr), 0);
}

TEST_F(ContainerAccess, HeaderWriteChangesOnlyTheFirst152Bytes) {
    const Bytes before = container_bytes({.type = 0});
    write_file(path_, before);
    std::array<std::uint8_t, QPX_CONTAINER_HEADER_SIZE> header{};
    ASSERT_EQ(QPXReadContainerHeader(path_.c_str(), header.data()), 1);
    std::memset(&header[12], 0, 128);
    std::memcpy(&header[12], "Neue Beschreibung", 17);
    ASSERT_EQ(QPXWriteContainerHeader(path_.c_str(), header.data()), 1);

    const Bytes after = read_file(path_);
    ASSERT_EQ(after.size(), before.size());
    EXPECT_TRUE(std::equal(header.begin(), header.end(), after.begin()));
    EXPECT_TRUE(std::equal(before.begin() + 152, before.end(), after.begin() + 152));
}

TEST_F(ContainerAccess, HeaderWriteRefusesWhatIsNoContainer) {
    std::array<std::uint8_t, QPX_CONTAINER_HEADER_SIZE> good{};
    std::memcpy(&good[140], "QIM V1.0", 8);
    std::array<std::uint8_t, QPX_CONTAINER_HEADER_SIZE> bad_signature = good;
    std::memcpy(&bad_signature[140], "QIM V2.0", 8);

    struct Case {
        const char* what;
        Bytes file;
        const std::uint8_t* header;
    };
    Bytes short_file = container_bytes({.type = 0});
    short_file.resize(300);
    const Case cases[] = {
        {"file signed QIM V2.0", container_bytes({.type = 0, .signature = "QIM V2.0"}), good.data()},
        {"new header signed QIM V2.0", container_bytes({.type = 0}), bad_signature.data()},
        {"file shorter than a header block", short_file, good.data()},
    };
    for (const Case& c : cases) {
        write_file(path_, c.file);
        EXPECT_EQ(QPXWriteContainerHeader(path_.c_str(), c.header), 0) << c.what;
        EXPECT_EQ(read_file(path_), c.file) << c.what << ": file unchanged";
    }
    EXPECT_EQ(QPXWriteContainerHeader((dir_ / "new.qim").c_str(), good.data()), 0);
    EXPECT_FALSE(fs::exists(dir_ / "new.qim"));
    EXPECT_EQ(QPXWriteContainerHeader(path_.c_str(), nullptr), 0);
}

TEST_F(ContainerAccess, TrackTableIsFoundBehindTheDefectMap) {
    const Layout layouts[] = {
        {.disc_format = 0},
        {.disc_format = 2},
        {.disc_format = 0x71, .defect_map_bytes = 0},  // "Korrektur 1", L = 0: table at 516
        {.disc_format = 0x70, .defect_map_bytes = 5},
        {.disc_format = 0x0171, .defect_map_bytes = 0},  // high byte set: no map
    };
    for (const Layout& l : layouts) {
        const Bytes file = container_bytes(l);
        write_file(path_, file);
        std::vector<std::uint8_t> nodes(QPX_TRACK_TABLE_SIZE);
        ASSERT_EQ(QPXReadTrackTableNodes(path_.c_str(), nodes.data()), 1) << l.disc_format;
        const std::size_t at = table_offset(l);
        EXPECT_TRUE(std::equal(nodes.begin(), nodes.end(), file.begin() + static_cast<std::ptrdiff_t>(at)))
            << "format " << l.disc_format << " table at " << at;
    }
}

TEST_F(ContainerAccess, TrackTableReadNeedsTypeFiveAndTheWholeTable) {
    struct Case {
        const char* what;
        Layout layout;
        long cut;  // bytes kept after the table's start, -1 all
    };
    const Case cases[] = {
        {"type 0 holds no table", {.type = 0}, -1},
        {"type 1 holds no table", {.type = 1}, -1},
        {"signature QIM V2.0", {.signature = "QIM V2.0"}, -1},
        {"table one byte short", {}, QPX_TRACK_TABLE_SIZE - 1},
        {"file ends at the table", {}, 0},
        {"defect map length cut", {.disc_format = 0x71}, -514},
    };
    for (const Case& c : cases) {
        Bytes file = container_bytes(c.layout);
        if (c.cut < -1) file.resize(static_cast<std::size_t>(-c.cut));
        else if (c.cut >= 0) file.resize(table_offset(c.layout) + static_cast<std::size_t>(c.cut));
        write_file(path_, file);
        std::vector<std::uint8_t> nodes(QPX_TRACK_TABLE_SIZE, 0xAB);
        EXPECT_EQ(QPXReadTrackTableNodes(path_.c_str(), nodes.data()), 0) << c.what;
        EXPECT_EQ(nodes[0], 0xAB) << c.what;
    }
}

TEST_F(ContainerAccess, TrackTableWriteReplacesExactlyTheTable) {
    const Layout l{.disc_format = 0x71, .defect_map_bytes = 3};
    const Bytes before = container_bytes(l);
    write_file(path_, before);
    std::vector<std::uint8_t> nodes(QPX_TRACK_TABLE_SIZE, 0);
    // Node 1: an audio track renamed.
    nodes[137 + 8] = 2;
    std::memcpy(&nodes[137 + 9], "Titel 2.wav", 11);
    ASSERT_EQ(QPXWriteTrackTableNodes(path_.c_str(), nodes.data()), 1);

    const Bytes after = read_file(path_);
    ASSERT_EQ(after.size(), before.size());
    const std::size_t at = table_offset(l);
    EXPECT_TRUE(std::equal(before.begin(), before.begin() + static_cast<std::ptrdiff_t>(at), after.begin()));
    EXPECT_TRUE(std::equal(nodes.begin(), nodes.end(), after.begin() + static_cast<std::ptrdiff_t>(at)));
    const std::size_t tail = at + QPX_TRACK_TABLE_SIZE;
    EXPECT_TRUE(std::equal(before.begin() + static_cast<std::ptrdiff_t>(tail), before.end(),
                           after.begin() + static_cast<std::ptrdiff_t>(tail)));

    std::vector<std::uint8_t> back(QPX_TRACK_TABLE_SIZE);
    ASSERT_EQ(QPXReadTrackTableNodes(path_.c_str(), back.data()), 1);
    EXPECT_EQ(back, nodes);
}

TEST_F(ContainerAccess, TrackTableWriteRefusesAndLeavesTheFileAlone) {
    std::vector<std::uint8_t> nodes(QPX_TRACK_TABLE_SIZE, 0);
    std::vector<std::uint8_t> escaping(QPX_TRACK_TABLE_SIZE, 0);
    escaping[8] = 2;
    std::memcpy(&escaping[9], "../../x.wav", 11);

    Bytes short_table = container_bytes({});
    short_table.resize(512 + QPX_TRACK_TABLE_SIZE - 1);
    struct Case {
        const char* what;
        Bytes file;
        const std::vector<std::uint8_t>* table;
    };
    const Case cases[] = {
        {"file too short for the table", short_table, &nodes},
        {"type 0", container_bytes({.type = 0}), &nodes},
        {"signature QIM V2.0", container_bytes({.signature = "QIM V2.0"}), &nodes},
        {"wave name leaving the folder", container_bytes({}), &escaping},
    };
    for (const Case& c : cases) {
        write_file(path_, c.file);
        EXPECT_EQ(QPXWriteTrackTableNodes(path_.c_str(), c.table->data()), 0) << c.what;
        EXPECT_EQ(read_file(path_), c.file) << c.what << ": file unchanged";
    }
    EXPECT_EQ(QPXWriteTrackTableNodes("", nodes.data()), 0);
    EXPECT_EQ(QPXWriteTrackTableNodes(path_.c_str(), nullptr), 0);
}

}  // namespace
