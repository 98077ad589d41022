// Reading CDs through drive letters: the three read modes on cue/bin discs
// made by real tools, retries, waits and the track-end search on discs with
// faults, and free space against df.
#include <gtest/gtest.h>

#include <array>
#include <cstring>

#include "cd_test_drives.h"
#include "qpxdrv.h"

namespace qpx::testing {
namespace {

constexpr std::size_t kUser = 2048;
constexpr std::size_t kRaw = 2352;

class PhysicalCd : public CdLibraryTest {};

TEST_F(PhysicalCd, EachModeReturnsTheBytesTheDiscWasMadeOf) {
    const auto& disc = test_discs().mixed;
    const char d = attach(disc.cue);
    const auto iso = file_bytes(test_discs().iso);

    std::vector<std::uint8_t> user(20 * kUser);
    ASSERT_EQ(QPXReadSectorsFromCD(d, 10, 20, user.data(), 1), 1);
    EXPECT_TRUE(std::equal(user.begin(), user.end(), iso.begin() + 10 * kUser));
    EXPECT_EQ(std::string(user.begin() + 6 * kUser + 1, user.begin() + 6 * kUser + 6), "CD001");
    // Only the low 24 bits of the sector number count.
    std::vector<std::uint8_t> pvd(kUser);
    ASSERT_EQ(QPXReadSectorsFromCD(d, 0x7F000010, 1, pvd.data(), 1), 1);
    EXPECT_EQ(std::string(pvd.begin() + 1, pvd.begin() + 6), "CD001");

    std::vector<std::uint8_t> raw(3 * kRaw);
    ASSERT_EQ(QPXReadSectorsFromCD(d, 15, 3, raw.data(), 4), 1);
    for (int i = 0; i < 3; ++i) {
        const std::uint8_t* s = raw.data() + i * kRaw;
        EXPECT_EQ(s[0], 0x00);
        EXPECT_TRUE(std::all_of(s + 1, s + 11, [](auto b) { return b == 0xFF; }));
        EXPECT_EQ(s[11], 0x00);
        EXPECT_EQ(s[12], 0x00);  // 00:02:15 + i in BCD
        EXPECT_EQ(s[13], 0x02);
        EXPECT_EQ(s[14], 0x15 + i);
        EXPECT_EQ(s[15], 1);
        EXPECT_EQ(std::memcmp(s + 16, iso.data() + (15 + i) * kUser, kUser), 0);
    }

    const auto& audio = disc.tracks[2];
    const auto pcm = file_bytes(audio.source);
    std::vector<std::uint8_t> frames(audio.sectors * kRaw);
    ASSERT_EQ(QPXReadSectorsFromCD(d, audio.start, audio.sectors, frames.data(), 2), 1);
    EXPECT_TRUE(std::equal(pcm.begin(), pcm.end(), frames.begin()));
    // CD-DA reads take a data sector whole.
    std::vector<std::uint8_t> whole(kRaw);
    ASSERT_EQ(QPXReadSectorsFromCD(d, 16, 1, whole.data(), 2), 1);
    EXPECT_EQ(whole, std::vector<std::uint8_t>(raw.begin() + kRaw, raw.begin() + 2 * kRaw));
}

TEST_F(PhysicalCd, ReadsThatCannotBeServedFail) {
    const auto& disc = test_discs().mixed;
    const char d = attach(disc.cue);
    drives::DriveEntry fixed{'C', drives::DriveType::Fixed, std::nullopt, "/dev/sda1"};
    ASSERT_EQ(drives::publish(fixed), reg::kSuccess);
    std::vector<std::uint8_t> buffer(4 * kRaw);
    struct Case {
        const char* what;
        char drive;
        std::uint32_t sector, count;
        int mode;
    } cases[] = {
        {"at the lead-out", d, disc.lead_out, 1, 2},
        {"past the lead-out", d, disc.lead_out + 10, 1, 4},
        {"across the lead-out", d, disc.lead_out - 1, 2, 2},
        {"user data of an audio track", d, disc.tracks[1].start, 1, 1},
        {"user data across into audio", d, disc.tracks[1].start - 1, 2, 1},
        {"a sector whose byte offset passes 4 GiB", d, 0x200010, 1, 1},
        {"a letter without a drive", 'Q', 16, 1, 1},
        {"a letter of a hard disk", 'C', 16, 1, 1},
        {"not a letter", '#', 16, 1, 1},
    };
    for (const Case& c : cases) EXPECT_EQ(QPXReadSectorsFromCD(c.drive, c.sector, c.count, buffer.data(), c.mode), 0) << c.what;
    EXPECT_EQ(QPXReadSectorsFromCD(d, 16, 1, nullptr, 1), 0);
    EXPECT_EQ(QPXReadSectorsFromCD(d, 16, 0, buffer.data(), 1), 1);  // nothing asked, nothing missing
}

TEST_F(PhysicalCd, RawSectorsGetThreeTriesUserDataOne) {
    const auto iso = file_bytes(test_discs().iso);
    std::vector<std::uint8_t> buffer(2 * kRaw);
    struct Case {
        const char* faults;
        int mode;
        int expected;
        std::size_t reads_of_20;
    } cases[] = {
        {"fails 20 2", 4, 1, 3},
        {"fails 20 3", 4, 0, 3},
        {"fails 20 2", 2, 1, 3},
        {"fails 20 1", 1, 0, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.faults) + " mode " + std::to_string(c.mode));
        const char d = attach_faulty(c.faults);
        const auto before = journal().size();
        EXPECT_EQ(QPXReadSectorsFromCD(d, 19, 2, buffer.data(), c.mode), c.expected);
        const auto lines = journal_since(before);
        std::size_t reads = 0;
        for (const auto& l : lines) reads += l.starts_with(c.mode == 1 ? "read 19 2 " : "read 20 1 ");
        EXPECT_EQ(reads, c.reads_of_20);
        if (c.expected && c.mode == 4) {
            EXPECT_EQ(std::memcmp(buffer.data() + kRaw + 16, iso.data() + 20 * kUser, kUser), 0);
        }
    }
}

TEST_F(PhysicalCd, DiscChangedDuringARawReadFailsIt) {
    // Retrying after the change would fill the buffer from two discs.
    const char d = attach_faulty("swap-after 2 " + test_discs().other.cue.string());
    std::vector<std::uint8_t> buffer(4 * kRaw);
    EXPECT_EQ(QPXReadSectorsFromCD(d, 16, 4, buffer.data(), 4), 0);
    EXPECT_EQ(journal().back(), "read 18 1 raw-data medium changed");
}

TEST_F(PhysicalCd, TrackEndSearch) {
    const auto& data = test_discs().mixed.tracks[0];
    const std::int32_t last = static_cast<std::int32_t>(data.sectors) - 1;
    const auto unreadable_tail = [&](int n) {
        return "unreadable " + std::to_string(data.sectors - n) + " " + std::to_string(last);
    };
    struct Case {
        std::string faults;
        int mode;
        std::int32_t expected;
    } cases[] = {
        {"", 1, last},                                           // the end itself reads
        {unreadable_tail(150), 1, last - 149},                   // the first unreadable sector
        {unreadable_tail(150), 4, last - 149},
        {unreadable_tail(150), 2, last - 149},
        {unreadable_tail(10), 1, last - 9},                      // the probes read; the search finds it
        {unreadable_tail(74), 1, last - 74},                     // a probe fails: the sector before it
    };
    for (const Case& c : cases) {
        const char d = attach_faulty(c.faults);
        EXPECT_EQ(QPXBinSrchSize(d, 0, last, c.mode), c.expected) << c.faults << " mode " << c.mode;
    }
    // A data track after audio tracks, searched up to 900000 as the wizard does.
    const auto& extra = test_discs().cd_extra;
    const char e = attach(extra.cue);
    EXPECT_EQ(QPXBinSrchSize(e, static_cast<std::int32_t>(extra.tracks[12].start), 900000, 1),
              static_cast<std::int32_t>(extra.lead_out));
}

// A table of records with the data track at record `data_index`.
std::vector<std::uint8_t> records_with_data_track(int data_index, std::uint32_t start) {
    std::vector<std::uint8_t> records(QPX_TRACK_TABLE_SIZE, 0);
    for (int i = 0; i <= data_index; ++i) {
        std::uint8_t* r = records.data() + i * QPX_TRACK_NODE_SIZE;
        const std::uint32_t s = i == data_index ? start : 1000u * i;
        for (int b = 0; b < 4; ++b) r[b] = static_cast<std::uint8_t>(s >> (8 * b));
        r[8] = i == data_index ? 0x41 : 0x01;
    }
    return records;
}

TEST_F(PhysicalCd, WaitForDiscReadyRetriesForAMinuteThenSettles) {
    const auto records = records_with_data_track(0, 16);
    struct Case {
        int not_ready;
        int expected;
        std::size_t waits_of_a_second;
        std::size_t settle_waits;
    } cases[] = {{0, 1, 0, 0}, {59, 1, 59, 1}, {60, 0, 59, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.not_ready);
        const char drive[] = {attach_faulty("not-ready " + std::to_string(c.not_ready)), 0};
        const auto before = journal().size();
        EXPECT_EQ(QPXWaitForDiscReady(drive, 0, 1, records.data()), c.expected);
        const auto lines = journal_since(before);
        EXPECT_EQ(count_of(lines, "wait 1000"), c.waits_of_a_second);
        EXPECT_EQ(count_of(lines, "wait 10000"), c.settle_waits);
        EXPECT_EQ(count_of(lines, "read 16 1 user-data not ready"), static_cast<std::size_t>(c.not_ready));
    }
}

TEST_F(PhysicalCd, WaitForDiscReadyReadsTheFirstDataTrackOnly) {
    const char drive[] = {attach_faulty(""), 0};
    const auto table = records_with_data_track(2, 20);
    EXPECT_EQ(QPXWaitForDiscReady(drive, 1, 3, table.data()), 1);
    EXPECT_EQ(journal(), std::vector<std::string>{"read 20 1 user-data ok"});

    const auto audio_only = records_with_data_track(2, 20);
    EXPECT_EQ(QPXWaitForDiscReady(drive, 0, 2, audio_only.data()), 1);  // the data record is beyond the count
    EXPECT_EQ(QPXWaitForDiscReady(drive, 2, 3, table.data()), 1);       // audio CDs are ready at once
    EXPECT_EQ(journal().size(), 1u);
    EXPECT_EQ(QPXWaitForDiscReady("Q", 0, 3, table.data()), 0);
    EXPECT_EQ(QPXWaitForDiscReady(nullptr, 0, 3, table.data()), 0);
}

TEST_F(PhysicalCd, WaitForAudioReadyMakesSixteenAttempts) {
    // Each attempt is a CD-DA read with its three tries.
    const std::uint32_t audio = test_discs().mixed.tracks[1].start;
    const std::string not_ready_line = "read " + std::to_string(audio) + " 1 audio not ready";
    struct Case {
        int not_ready;
        int expected;
        std::size_t waits;
    } cases[] = {{0, 1, 0}, {45, 1, 15}, {48, 0, 15}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.not_ready);
        const char d = attach_faulty("not-ready " + std::to_string(c.not_ready));
        const auto before = journal().size();
        EXPECT_EQ(QPXWaitForAudioReady(d, audio), c.expected);
        const auto lines = journal_since(before);
        EXPECT_EQ(count_of(lines, "wait 1000"), c.waits);
        EXPECT_EQ(count_of(lines, not_ready_line), static_cast<std::size_t>(c.not_ready));
    }
}

TEST_F(PhysicalCd, RawCdTestReadsSectorSixteenRaw) {
    EXPECT_EQ(QPXRawCDTest(attach(test_discs().mixed.cue)), 1);
    EXPECT_EQ(QPXRawCDTest(attach_faulty("unreadable 16")), 0);
    EXPECT_EQ(QPXRawCDTest('Q'), 0);
}

TEST_F(PhysicalCd, FreeDiskSpaceAgreesWithDf) {
    TempDir dir("space");
    const auto df = [&] {
        std::string out;
        EXPECT_EQ(run_command("df -B1 --output=avail '" + dir.path().string() + "' | tail -1", &out), 0);
        return std::stoll(out);
    };
    // Others write to this volume meanwhile: allow what changed between the
    // two df calls and a margin.
    const long long before = df();
    const std::int64_t ours = QPXGetFreeDiskSpace(dir.path().c_str());
    const std::int64_t not_yet_written = QPXGetFreeDiskSpace((dir.path() / "new" / "disc.qim").c_str());
    const long long after = df();
    constexpr long long margin = 64ll << 20;
    EXPECT_GE(ours, std::min(before, after) - margin);
    EXPECT_LE(ours, std::max(before, after) + margin);
    EXPECT_GE(not_yet_written, std::min(before, after) - margin);
    EXPECT_LE(not_yet_written, std::max(before, after) + margin);
    EXPECT_GT(ours, 0);
    EXPECT_EQ(QPXGetFreeDiskSpace(""), 0);
    EXPECT_EQ(QPXGetFreeDiskSpace(nullptr), 0);
}

}  // namespace
}  // namespace qpx::testing
