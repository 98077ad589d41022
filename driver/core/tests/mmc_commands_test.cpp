// The MMC answers an initiator's class driver and udev ask for: INQUIRY
// pages, REPORT LUNS, REQUEST SENSE, MODE SENSE, GET CONFIGURATION, event
// status, disc and track information, eject and the accepted no-ops.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "container_fixtures.h"
#include "core_harness.h"
#include "qpx/container_writer/container_writer.h"
#include "support/temp_dir.h"

namespace qpx::driver::test {
namespace {

using container::ContainerType;
using container::Storage;
using container_writer::ContainerPlan;
using Bytes = std::vector<std::uint8_t>;

std::uint16_t be16(const Bytes& b, std::size_t at) { return static_cast<std::uint16_t>((b.at(at) << 8) | b.at(at + 1)); }
std::uint32_t be32(const Bytes& b, std::size_t at) { return (std::uint32_t{be16(b, at)} << 16) | be16(b, at + 2); }

Cdb cdb10(std::uint8_t op, std::uint8_t b1, std::uint8_t b2, std::uint16_t allocation, std::uint32_t b2to5 = 0) {
    Cdb c{op, b1, b2, 0, 0, 0, 0, static_cast<std::uint8_t>(allocation >> 8), static_cast<std::uint8_t>(allocation), 0};
    if (b2to5) {
        c[2] = static_cast<std::uint8_t>(b2to5 >> 24);
        c[3] = static_cast<std::uint8_t>(b2to5 >> 16);
        c[4] = static_cast<std::uint8_t>(b2to5 >> 8);
        c[5] = static_cast<std::uint8_t>(b2to5);
    }
    return c;
}
Cdb inquiry_cdb(bool evpd, std::uint8_t page, std::uint16_t allocation) {
    return {0x12, std::uint8_t(evpd ? 1 : 0), page, static_cast<std::uint8_t>(allocation >> 8),
            static_cast<std::uint8_t>(allocation), 0};
}
Cdb gesn_cdb(std::uint8_t classes) { return {0x4A, 0x01, 0, 0, classes, 0, 0, 0, 64, 0}; }

// Data track 1 (0..299), audio tracks 2 (300..449) and 3 (450..599).
class Mmc : public ::testing::Test {
protected:
    void SetUp() override {
        ContainerPlan plan;
        plan.type = ContainerType::track_table;
        plan.disc_format = container::disc_format::mixed_mode;
        plan.tracks = {container_writer::data_track(0, 300, Storage::plain, sectors),
                       container_writer::audio_track(300, 450, "2.wav"), container_writer::audio_track(450, 600, "3.wav")};
        container_writer::write_container(plan, path);
    }
    qpx::testing::TempDir dir{"mmc"};
    container_writer::MemorySectorSource sectors = numbered_sectors(300);
    std::filesystem::path path = dir / "mixed.qim";
    CoreHarness core;
};

TEST_F(Mmc, InquiryReportsARemovableDriveAndItsVitalProductData) {
    Answer a = core.send_drive(0, inquiry_cdb(false, 0, 96), 96);
    ASSERT_TRUE(a.good());
    EXPECT_EQ(a.data[0], 0x05);
    EXPECT_EQ(a.data[1], 0x80);
    EXPECT_EQ(a.data[4], 31);
    EXPECT_EQ(std::string(a.data.begin() + 8, a.data.begin() + 36), "ORN     Plexor          1.00");
    a = core.send({0, 3, 0}, inquiry_cdb(false, 0, 36), 36);
    EXPECT_EQ(a.data[0], 0x1C);
    EXPECT_EQ(a.data[1], 0x00);

    a = core.send_drive(0, inquiry_cdb(true, 0x00, 255), 255);
    ASSERT_TRUE(a.good());
    EXPECT_EQ(a.data, (Bytes{0x05, 0x00, 0x00, 3, 0x00, 0x80, 0x83}));
    a = core.send_drive(0, inquiry_cdb(true, 0x80, 255), 255);
    ASSERT_TRUE(a.good());
    const std::string serial(a.data.begin() + 4, a.data.end());
    EXPECT_EQ(a.data[3], serial.size());
    EXPECT_EQ(serial, "QPX0008");
    EXPECT_NE(core.send({1, 1, 0}, inquiry_cdb(true, 0x80, 255), 255).data, a.data) << "serials differ per drive";
    a = core.send_drive(0, inquiry_cdb(true, 0x83, 255), 255);
    ASSERT_TRUE(a.good());
    EXPECT_EQ(be16(a.data, 2), a.data.size() - 4);
    EXPECT_EQ(a.data[4] & 0x0F, 2);  // ASCII
    EXPECT_EQ(a.data[5] & 0x0F, 1);  // T10 vendor ID
    EXPECT_EQ(std::string(a.data.begin() + 8, a.data.end()), "ORN     Plexor          " + serial);
    // Cut to the allocation length.
    EXPECT_EQ(core.send_drive(0, inquiry_cdb(true, 0x83, 6), 255).transferred, 6u);

    EXPECT_TRUE(core.send_drive(0, inquiry_cdb(true, 0xB0, 255), 255).check(5, 0x24));
    EXPECT_TRUE(core.send_drive(0, inquiry_cdb(false, 0x80, 255), 255).check(5, 0x24));
}

TEST_F(Mmc, ReportLunsModeSenseAndRequestSense) {
    Answer a = core.send_drive(0, {0xA0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0}, 256);
    ASSERT_TRUE(a.good());
    EXPECT_EQ(a.data, (Bytes{0, 0, 0, 8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_TRUE(core.send_drive(0, {0xA0, 0, 0, 0, 0, 0, 0, 0, 0, 8, 0, 0}, 256).check(5, 0x24));

    a = core.send_drive(0, {0x1A, 0x08, 0x2A, 0, 255, 0}, 255);
    ASSERT_TRUE(a.good());
    ASSERT_EQ(a.data.size(), 4u + 22u);
    EXPECT_EQ(a.data[0], a.data.size() - 1);
    EXPECT_EQ(a.data[3], 0);  // no block descriptor
    EXPECT_EQ(a.data[4], 0x2A);
    EXPECT_EQ(a.data[5], 20);
    EXPECT_EQ(a.data[10] & 0x08, 0x08) << "eject";
    a = core.send_drive(0, cdb10(0x5A, 0x08, 0x3F, 255), 255);
    ASSERT_TRUE(a.good());
    ASSERT_EQ(a.data.size(), 8u + 22u);
    EXPECT_EQ(be16(a.data, 0), a.data.size() - 2);
    EXPECT_EQ(a.data[8], 0x2A);
    EXPECT_TRUE(core.send_drive(0, {0x1A, 0, 0x01, 0, 255, 0}, 255).check(5, 0x24));
    EXPECT_TRUE(core.send_drive(0, {0x1A, 0, 0xEA, 0, 255, 0}, 255).check(5, 0x39));

    // REQUEST SENSE tells what the readiness check has to say, with GOOD
    // status: a fresh drive reports its (empty) medium once, then no medium.
    for (const std::uint8_t asc : {0x28, 0x3A}) {
        a = core.send_drive(0, cdb6(0x03, 18), 18);
        ASSERT_TRUE(a.good());
        EXPECT_EQ(a.data[0], 0x70);
        EXPECT_EQ(a.data[2] & 0x0F, asc == 0x28 ? 6 : 2);
        EXPECT_EQ(a.data[12], asc);
    }
    core.insert(0, path);
    a = core.send_drive(0, cdb6(0x03, 18), 18);
    ASSERT_TRUE(a.good());
    EXPECT_EQ(a.data[2] & 0x0F, 0);
    EXPECT_EQ(a.data[12], 0);
}

TEST_F(Mmc, ConfigurationAndEventsFollowTheMedium) {
    auto features_of = [](const Bytes& d) {
        std::vector<std::uint16_t> codes;
        for (std::size_t at = 8; at + 4 <= d.size(); at += 4 + d[at + 3]) codes.push_back(be16(d, at));
        return codes;
    };
    Answer a = core.send_drive(0, cdb10(0x46, 0, 0, 512), 512);
    ASSERT_TRUE(a.good());
    EXPECT_EQ(be32(a.data, 0), a.data.size() - 4);
    EXPECT_EQ(be16(a.data, 6), 0) << "no current profile without a medium";
    EXPECT_EQ(features_of(a.data), (std::vector<std::uint16_t>{0x0000, 0x0001, 0x0002, 0x0003, 0x0010, 0x001E}));
    EXPECT_EQ(features_of(core.send_drive(0, cdb10(0x46, 1, 0, 512), 512).data),
              (std::vector<std::uint16_t>{0x0000, 0x0001, 0x0002, 0x0003}));
    EXPECT_TRUE(a.data[12] == 0x00 && a.data[13] == 0x08 && a.data[14] == 0x00) << "CD-ROM profile, not current";

    // GET EVENT STATUS agrees with TEST UNIT READY through an insertion.
    auto media_event = [&] {
        const Answer e = core.send_drive(0, gesn_cdb(0x10), 64);
        EXPECT_TRUE(e.good());
        EXPECT_EQ(e.data.size(), 8u);
        EXPECT_EQ(e.data[2], 4);
        return std::pair<int, bool>{e.data.at(4), (e.data.at(5) & 0x02) != 0};
    };
    EXPECT_EQ(media_event(), (std::pair<int, bool>{0, false}));
    EXPECT_TRUE(core.test_unit_ready(0).check(6, 0x28));  // the fresh drive's first check
    core.set_drive_list({path.string()});
    core.update(0);
    core.work.hold();
    EXPECT_TRUE(core.test_unit_ready(0).check(2, 0x3A));  // opening
    EXPECT_EQ(media_event(), (std::pair<int, bool>{0, false}));
    core.work.release_all();
    EXPECT_EQ(media_event(), (std::pair<int, bool>{2, true})) << "new media before the UNIT ATTENTION";
    EXPECT_TRUE(core.test_unit_ready(0).check(6, 0x28));
    EXPECT_EQ(media_event(), (std::pair<int, bool>{0, true}));
    EXPECT_TRUE(core.test_unit_ready(0).good());
    const Answer other = core.send_drive(0, gesn_cdb(0x02), 64);
    ASSERT_TRUE(other.good());
    EXPECT_EQ(other.data, (Bytes{0, 2, 0x80, 0x10}));
    EXPECT_TRUE(core.send_drive(0, {0x4A, 0, 0, 0, 0x10, 0, 0, 0, 64, 0}, 64).check(5, 0x24)) << "not polled";

    a = core.send_drive(0, cdb10(0x46, 2, 0, 512, 0x00100000), 512);
    EXPECT_EQ(be16(a.data, 6), 0x0008);
    ASSERT_EQ(features_of(a.data), (std::vector<std::uint16_t>{0x0010}));
    EXPECT_EQ(a.data[10] & 0x01, 1) << "random readable is current with a medium";
    EXPECT_EQ(be32(a.data, 12), 2048u);
}

TEST_F(Mmc, DiscAndTrackInformationFollowTheToc) {
    EXPECT_TRUE(core.send_drive(0, cdb10(0x51, 0, 0, 34), 34).check(2, 0x3A));
    core.insert(0, path);
    Answer a = core.send_drive(0, cdb10(0x51, 0, 0, 64), 64);
    ASSERT_TRUE(a.good());
    ASSERT_EQ(a.data.size(), 34u);
    EXPECT_EQ(be16(a.data, 0), 32);
    EXPECT_EQ(a.data[2] & 0x03, 2) << "complete disc";
    EXPECT_EQ(a.data[3], 1);
    EXPECT_EQ(a.data[4], 1);
    EXPECT_EQ(a.data[5], 1);
    EXPECT_EQ(a.data[6], 3);

    struct Case {
        std::uint8_t by;
        std::uint32_t number;
        std::uint8_t track;
        std::uint32_t start, size;
        std::uint8_t mode;
    };
    const Case cases[] = {
        {1, 1, 1, 0, 300, 4}, {1, 3, 3, 450, 150, 0}, {0, 299, 1, 0, 300, 4},
        {0, 300, 2, 300, 150, 0}, {0, 599, 3, 450, 150, 0}, {2, 1, 1, 0, 300, 4},
    };
    for (const Case& c : cases) {
        a = core.send_drive(0, cdb10(0x52, c.by, 0, 64, c.number), 64);
        ASSERT_TRUE(a.good()) << int(c.by) << " " << c.number;
        ASSERT_EQ(a.data.size(), 36u);
        EXPECT_EQ(a.data[2], c.track) << c.number;
        EXPECT_EQ(a.data[5] & 0x0F, c.mode) << c.number;
        EXPECT_EQ(be32(a.data, 8), c.start) << c.number;
        EXPECT_EQ(be32(a.data, 24), c.size) << c.number;
    }
    for (const Cdb& bad : {cdb10(0x52, 1, 0, 64, 4), cdb10(0x52, 0, 0, 64, 600), cdb10(0x52, 1, 0, 64, 0xFF)})
        EXPECT_TRUE(core.send_drive(0, bad, 64).check(5, 0x24));
}

TEST_F(Mmc, EjectGoesThroughTheHostAndOtherCommandsAreAccepted) {
    core.insert(0, path);
    EXPECT_TRUE(core.send_drive(0, cdb6(0x1B, 0x03), 0).good()) << "load";
    EXPECT_TRUE(core.eject.drives.empty());
    EXPECT_TRUE(core.send_drive(0, cdb6(0x1B, 0x02), 0).good());
    EXPECT_EQ(core.eject.drives, (std::vector<std::uint32_t>{0}));
    ASSERT_FALSE(core.player.commands.empty());
    EXPECT_EQ(core.player.commands.back().code, PlayerCommandCode::stop);
    EXPECT_TRUE(core.send({0, 2, 0}, cdb6(0x1B, 0x02), 0).check(5, 0x24)) << "controller units hold no medium";

    EXPECT_TRUE(core.send_drive(0, {0xBB, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0}, 0).good());
    const Answer m = core.send_drive(0, {0xBD, 0, 0, 0, 0, 0, 0, 0, 0, 8, 0, 0}, 8);
    ASSERT_TRUE(m.good());
    EXPECT_EQ(m.data, Bytes(8, 0));
}

}  // namespace
}  // namespace qpx::driver::test
