// READ CD, READ CD MSF and READ(12): cooked, raw and audio sectors against
// their sources (wave files made by sox, raw sectors encoded by the test
// support), and the refusals and short reads with their sense.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "container_fixtures.h"
#include "core_harness.h"
#include "qpx/container_writer/container_writer.h"
#include "support/iso_fixture.h"
#include "support/raw_sector_encoder.h"
#include "support/temp_dir.h"

namespace qpx::driver::test {
namespace {

using container::ContainerType;
using container::kRawSectorSize;
using container::kUserSectorSize;
using container::Storage;
using container_writer::audio_track;
using container_writer::ContainerPlan;
using container_writer::data_track;
using Bytes = std::vector<std::uint8_t>;

constexpr std::uint32_t kAudioStart = 100;  // track 2: sectors 100..162
constexpr std::uint32_t kAudioEnd = 163;
constexpr std::uint32_t kWaveSectors = 60;  // the wave ends 300 frames into sector 60 of the track

Cdb read_cd_cdb(std::uint32_t lba, std::uint32_t count, std::uint8_t byte9, std::uint8_t type = 0) {
    return {0xBE, static_cast<std::uint8_t>(type << 2), static_cast<std::uint8_t>(lba >> 24),
            static_cast<std::uint8_t>(lba >> 16), static_cast<std::uint8_t>(lba >> 8), static_cast<std::uint8_t>(lba),
            static_cast<std::uint8_t>(count >> 16), static_cast<std::uint8_t>(count >> 8),
            static_cast<std::uint8_t>(count), byte9, 0, 0};
}

Cdb read_cd_msf_cdb(std::uint32_t lba, std::uint32_t end_lba, std::uint8_t byte9) {
    const std::uint32_t a = lba + 150, b = end_lba + 150;
    return {0xB9, 0, 0, static_cast<std::uint8_t>(a / 4500), static_cast<std::uint8_t>(a / 75 % 60),
            static_cast<std::uint8_t>(a % 75), static_cast<std::uint8_t>(b / 4500),
            static_cast<std::uint8_t>(b / 75 % 60), static_cast<std::uint8_t>(b % 75), byte9, 0, 0};
}

Cdb read12_cdb(std::uint32_t lba, std::uint32_t blocks) {
    return {0xA8, 0, static_cast<std::uint8_t>(lba >> 24), static_cast<std::uint8_t>(lba >> 16),
            static_cast<std::uint8_t>(lba >> 8), static_cast<std::uint8_t>(lba), static_cast<std::uint8_t>(blocks >> 24),
            static_cast<std::uint8_t>(blocks >> 16), static_cast<std::uint8_t>(blocks >> 8),
            static_cast<std::uint8_t>(blocks), 0, 0};
}

struct Reply {
    Answer answer;
    Bytes sense;
    bool information_valid() const { return (sense[0] & 0x80) != 0; }
    std::uint32_t information() const {
        return (std::uint32_t{sense[3]} << 24) | (sense[4] << 16) | (sense[5] << 8) | sense[6];
    }
};

Bytes slice(const Bytes& b, std::size_t at, std::size_t n) {
    return Bytes(b.begin() + static_cast<std::ptrdiff_t>(at), b.begin() + static_cast<std::ptrdiff_t>(at + n));
}

// The PCM of a wave as sox decodes it: 16-bit signed little-endian samples.
Bytes pcm_of(const std::filesystem::path& wave) {
    const auto raw = wave.string() + ".pcm";
    const std::string command = "sox -D '" + wave.string() + "' -t raw -e signed -b 16 -L '" + raw + "' 2>&1";
    if (qpx::testing::run_command(command) != 0) throw std::runtime_error("sox failed");
    std::ifstream in(raw, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

// Data track 1 (0..99, compressed), audio track 2 (100..162) whose wave
// ends inside its sector 60.
class ReadCd : public ::testing::Test {
protected:
    void SetUp() override {
        // 60 sectors and 300 frames.
        make_wave(dir / "source.wav", "-b 16");
        ContainerPlan plan;
        plan.type = ContainerType::track_table;
        plan.disc_format = container::disc_format::mixed_mode;
        plan.tracks = {data_track(0, kAudioStart, Storage::normal, sectors),
                       audio_track(kAudioStart, kAudioEnd, "Track 02.wav", dir / "source.wav")};
        container_writer::write_container(plan, dir / "mixed.qim");
        core.insert(0, dir / "mixed.qim");
        pcm = pcm_of(dir / "Track 02.wav");
        ASSERT_EQ(pcm.size(), kWaveSectors * kRawSectorSize + 300 * 4);
    }

    void make_wave(const std::filesystem::path& wave, const std::string& encoding) {
        const double seconds = (kWaveSectors * 588.0 + 300) / 44100;
        const std::string command = "sox -D -n -r 44100 -c 2 " + encoding + " '" + wave.string() + "' synth " +
                                    std::to_string(seconds) + " sine 440 sine 1000 gain -3 2>&1";
        ASSERT_EQ(qpx::testing::run_command(command), 0);
    }

    Reply send(const Cdb& cdb, std::size_t length) {
        PendingRequest& p = core.start(0, cdb, length);
        Reply r{core.collect(p), p.sense};
        return r;
    }

    // Sectors 0..15 of a track at sector 0 are not stored and read as zeros.
    Bytes raw_mode1(std::uint32_t lba) {
        const Bytes user = lba < 16 ? Bytes(2048, 0) : sector_bytes(sectors, lba);
        const auto raw = qpx::testing::encode_mode1_sector(lba, user);
        return Bytes(raw.begin(), raw.end());
    }

    qpx::testing::TempDir dir{"readcd"};
    container_writer::MemorySectorSource sectors = numbered_sectors(kAudioStart);
    Bytes pcm;
    CoreHarness core;
};

TEST_F(ReadCd, CookedSectorsGiveTheFieldsByte9Selects) {
    const Bytes raw = raw_mode1(40);
    struct Case {
        std::uint8_t byte9;
        std::size_t at, length;  // the slice of the raw mode 1 sector expected
    };
    const Case cases[] = {
        {0x10, 16, 2048},   // user data
        {0xF8, 0, 2352},    // everything
        {0xB8, 0, 2352},    // sync, header, user data, EDC/ECC: mode 1 has no sub-header
        {0x30, 12, 2052},   // header and user data
        {0x18, 16, 2336},   // user data and EDC/ECC
        {0x80, 0, 12},      // sync alone
        {0x20, 12, 4},      // header alone
        {0x40, 0, 0},       // sub-header alone: none in mode 1
    };
    for (const Case& c : cases) {
        const Reply r = send(read_cd_cdb(40, 1, c.byte9), 2352);
        ASSERT_TRUE(r.answer.good()) << int(c.byte9);
        EXPECT_EQ(r.answer.data, slice(raw, c.at, c.length)) << int(c.byte9);
    }
    // Several sectors, by LBA and by MSF, and sectors 0..15 that are not stored.
    Bytes expected;
    for (std::uint32_t s = 10; s < 20; ++s) {
        const Bytes one = raw_mode1(s);
        expected.insert(expected.end(), one.begin(), one.end());
    }
    EXPECT_EQ(send(read_cd_cdb(10, 10, 0xF8), 10 * 2352).answer.data, expected);
    EXPECT_EQ(send(read_cd_msf_cdb(10, 20, 0xF8), 10 * 2352).answer.data, expected);
    EXPECT_EQ(send(read_cd_cdb(17, 3, 0x10, 2), 3 * 2048).answer.data, sector_bytes(sectors, 17, 3));
    EXPECT_EQ(send(read_cd_cdb(15, 1, 0x10), 2048).answer.data, Bytes(2048, 0));
}

TEST_F(ReadCd, AudioSectorsAreTheWavePcm) {
    for (const std::uint8_t byte9 : {std::uint8_t{0x10}, std::uint8_t{0xF8}}) {
        const Reply r = send(read_cd_cdb(kAudioStart + 5, 20, byte9, 1), 20 * kRawSectorSize);
        ASSERT_TRUE(r.answer.good());
        EXPECT_EQ(r.answer.data, slice(pcm, 5 * kRawSectorSize, 20 * kRawSectorSize));
    }
    // The sector the wave ends inside is padded with silence.
    Reply r = send(read_cd_msf_cdb(kAudioStart + 58, kAudioStart + 61, 0x10), 3 * kRawSectorSize);
    ASSERT_TRUE(r.answer.good());
    Bytes expected = slice(pcm, 58 * kRawSectorSize, pcm.size() - 58 * kRawSectorSize);
    expected.resize(3 * kRawSectorSize, 0);
    EXPECT_EQ(r.answer.data, expected);
    // A read crossing from the data track into the audio track.
    r = send(read_cd_cdb(kAudioStart - 1, 2, 0xF8), 2 * kRawSectorSize);
    ASSERT_TRUE(r.answer.good());
    EXPECT_EQ(slice(r.answer.data, 0, kRawSectorSize), raw_mode1(kAudioStart - 1));
    EXPECT_EQ(slice(r.answer.data, kRawSectorSize, kRawSectorSize), slice(pcm, 0, kRawSectorSize));
}

TEST_F(ReadCd, WavesOfOtherEncodingsAreConvertedAndOtherRatesRefused) {
    const Bytes pcm16 = pcm;
    for (const char* encoding : {"-e floating-point -b 32", "-e signed -b 24"}) {
        make_wave(dir / "Track 02.wav", encoding);
        core.insert(0, dir / "mixed.qim");
        const Reply r = send(read_cd_cdb(kAudioStart, 10, 0x10), 10 * kRawSectorSize);
        ASSERT_TRUE(r.answer.good()) << encoding;
        // Converters round differently: a sample may differ by one step, no more.
        int worst = 0;
        for (std::size_t i = 0; i + 1 < r.answer.data.size(); i += 2) {
            const auto got = static_cast<std::int16_t>(r.answer.data[i] | (r.answer.data[i + 1] << 8));
            const auto want = static_cast<std::int16_t>(pcm16[i] | (pcm16[i + 1] << 8));
            worst = std::max(worst, std::abs(got - want));
        }
        EXPECT_LE(worst, 1) << encoding;
    }
    ASSERT_EQ(qpx::testing::run_command("sox -n -r 48000 -c 2 -b 16 '" + (dir / "Track 02.wav").string() +
                                        "' synth 2 sine 440 2>&1"),
              0);
    core.insert(0, dir / "mixed.qim");
    const Reply r = send(read_cd_cdb(kAudioStart + 2, 1, 0x10), kRawSectorSize);
    EXPECT_TRUE(r.answer.check(sense::kMediumError, 0x11));
    EXPECT_EQ(r.information(), kAudioStart + 2);
}

TEST_F(ReadCd, RefusalsAndShortReads) {
    struct Case {
        const char* what;
        Cdb cdb;
        std::uint8_t key, asc;
        std::size_t delivered;
        std::int64_t information;  // -1: none
    };
    const std::uint8_t cd_da = 1, mode1 = 2, form2 = 5;
    Cdb subchannel = read_cd_cdb(10, 1, 0x10);
    subchannel[10] = 0x02;
    Cdb c2 = read_cd_cdb(10, 1, 0x10);
    c2[9] |= 0x02;
    const Case cases[] = {
        {"CD-DA expected on data", read_cd_cdb(98, 2, 0x10, cd_da), 5, 0x64, 0, 98},
        {"mode 1 expected on audio", read_cd_cdb(98, 3, 0x10, mode1), 5, 0x64, 2 * 2048, 100},
        {"mode 2 form 2 on mode 1", read_cd_cdb(10, 1, 0x10, form2), 5, 0x64, 0, 10},
        {"sector type 6", read_cd_cdb(10, 1, 0x10, 6), 5, 0x24, 0, -1},
        {"sub-channel", subchannel, 5, 0x24, 0, -1},
        {"C2 errors", c2, 5, 0x24, 0, -1},
        {"MSF end before start", read_cd_msf_cdb(20, 10, 0x10), 5, 0x24, 0, -1},
        {"past the disc", read_cd_cdb(kAudioEnd, 1, 0x10), 5, 0x21, 0, -1},
        {"past the wave", read_cd_cdb(kAudioStart + 59, 3, 0x10), 3, 0x11, 2 * kRawSectorSize, kAudioStart + 61},
        {"READ(12) past the disc", read12_cdb(kAudioEnd, 1), 5, 0x21, 0, -1},
        {"READ(12) into audio", read12_cdb(97, 5), 3, 0x11, 3 * 2048, 100},
    };
    for (const Case& c : cases) {
        const Reply r = send(c.cdb, 4 * kRawSectorSize);
        EXPECT_TRUE(r.answer.check(c.key, c.asc)) << c.what << ": " << int(r.answer.key) << "/" << int(r.answer.asc);
        EXPECT_EQ(r.answer.transferred, c.delivered) << c.what;
        EXPECT_EQ(r.information_valid(), c.information >= 0) << c.what;
        if (c.information >= 0) {
            EXPECT_EQ(r.information(), c.information) << c.what;
        }
    }
    // Nothing asked, nothing read; READ(12) reads what its transfer length says.
    EXPECT_TRUE(send(read_cd_cdb(10, 0, 0x10), 2048).answer.good());
    const Reply r = send(read12_cdb(30, 2), 4 * 2048);
    ASSERT_TRUE(r.answer.good());
    EXPECT_EQ(r.answer.data, sector_bytes(sectors, 30, 2));
}

TEST(ReadCdRaw, StoredRawSectorsAreServedAsTheyAre) {
    qpx::testing::TempDir dir{"readcd-raw"};
    container_writer::MemorySectorSource sectors = numbered_sectors(100);
    container_writer::RawSectorAdapter mode1(sectors, 0, 1);
    container_writer::RawSectorAdapter mode2(sectors, 50, 2);
    ContainerPlan plan;
    plan.type = ContainerType::track_table;
    plan.disc_format = container::disc_format::cdi_bridge;
    plan.tracks = {data_track(0, 50, Storage::raw, mode1), data_track(50, 100, Storage::raw, mode2)};
    container_writer::write_container(plan, dir / "raw.qim");
    CoreHarness core;
    core.insert(0, dir / "raw.qim");

    Answer a = core.send_drive(0, read_cd_cdb(60, 2, 0xF8, 4), 2 * kRawSectorSize);
    ASSERT_TRUE(a.good());
    EXPECT_EQ(a.data, sector_bytes(mode2, 10, 2));
    a = core.send_drive(0, read_cd_cdb(60, 2, 0x10), 2 * 2048);  // form 1 user data behind the sub-header
    ASSERT_TRUE(a.good());
    EXPECT_EQ(a.data, sector_bytes(sectors, 10, 2));
    a = core.send_drive(0, read_cd_cdb(20, 1, 0xF8, 2), kRawSectorSize);
    ASSERT_TRUE(a.good());
    EXPECT_EQ(a.data, sector_bytes(mode1, 20));
}

TEST(ReadCdDefects, ASectorOfTheDefectMapEndsTheRead) {
    qpx::testing::TempDir dir{"readcd-defect"};
    container_writer::MemorySectorSource sectors = numbered_sectors(64);
    write_single_track(dir / "k1.qim", ContainerType::plain, sectors, container::disc_format::korrektur1, {40});
    CoreHarness core;
    core.insert(0, dir / "k1.qim");
    PendingRequest& p = core.start(0, read_cd_cdb(38, 4, 0x10), 4 * 2048);
    const Answer a = core.collect(p);
    EXPECT_TRUE(a.check(sense::kMediumError, 0x11));
    EXPECT_EQ(a.data, sector_bytes(sectors, 38, 2));
    EXPECT_EQ(p.sense[6], 40);
}

}  // namespace
}  // namespace qpx::driver::test
