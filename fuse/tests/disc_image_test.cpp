// image.cue + image.bin through the mounted view: the whole disc as raw
// sectors, which cd-info reads as the container's tracks, whose data
// sectors carry the source ISO and whose audio sectors are the waves' PCM.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>

#include "mounted_view.h"
#include "qpx/container_writer/container_writer.h"
#include "qpxdrv.h"
#include "support/cd_info.h"
#include "support/cue_bin_fixture.h"
#include "support/iso_fixture.h"

namespace qpx::testing {
namespace {

namespace fs = std::filesystem;
using namespace qpx::container_writer;

constexpr std::size_t kRaw = 2352;
constexpr std::size_t kUser = 2048;

// The 16-bit little-endian stereo PCM of a wave, as sox decodes it.
std::vector<std::uint8_t> pcm_of(const fs::path& wave, const fs::path& pcm) {
    std::string log;
    if (run_command("sox '" + wave.string() + "' -t raw -e signed -b 16 -L '" + pcm.string() + "' 2>&1", &log) != 0)
        throw std::runtime_error("sox failed: " + log);
    return file_bytes(pcm);
}

struct AudioTrack {
    fs::path wave;
    std::uint32_t start = 0;
    std::uint32_t sectors = 0;
};

// A mixed-mode container: the ISO as data track 1, then (after a gap the
// container does not hold) two sox tones as audio tracks 2 and 3.
class DiscImage : public ::testing::Test {
protected:
    void SetUp() override {
        if (!view.ready()) GTEST_SKIP() << view.error();
        iso = make_small_iso(dir.path());
        iso_sectors = static_cast<std::uint32_t>(fs::file_size(iso) / kUser);
        audio = {{dir / "Track 02.wav", iso_sectors + kGap, 150}, {dir / "Track 03.wav", 0, 75}};
        audio[1].start = audio[0].start + audio[0].sectors;
        make_wave_file(audio[0].wave, 2.0, 440);
        make_wave_file(audio[1].wave, 1.0, 1000);

        FileSectorSource sectors(iso, kUser);
        ContainerPlan plan;
        plan.type = container::ContainerType::track_table;
        plan.disc_format = container::disc_format::mixed_mode;
        plan.tracks = {data_track(0, iso_sectors, container::Storage::normal, sectors)};
        for (const auto& a : audio)
            plan.tracks.push_back(audio_track(a.start, a.start + a.sectors, a.wave.filename().string()));
        write_container(plan, dir / "mixed.qim");
        ASSERT_NE(QPXInsert(0, (dir / "mixed.qim").c_str()), 0);
    }

    static constexpr std::uint32_t kGap = 150;
    MountedView view;
    TempDir dir{"fuse-image"};
    fs::path iso;
    std::uint32_t iso_sectors = 0;
    std::vector<AudioTrack> audio;
};

TEST_F(DiscImage, CdInfoListsTheTracksAtTheirStarts) {
    const auto tracks = cd_info_tracks(view.file(0, "image.cue"));
    ASSERT_EQ(tracks.size(), 4u) << view.logs();
    EXPECT_EQ(tracks[0].number, 1);
    EXPECT_EQ(tracks[0].lsn, 0u);
    EXPECT_EQ(tracks[0].type, "data");
    for (std::size_t i = 0; i < audio.size(); ++i) {
        EXPECT_EQ(tracks[i + 1].number, static_cast<int>(i + 2));
        EXPECT_EQ(tracks[i + 1].lsn, audio[i].start);
        EXPECT_EQ(tracks[i + 1].type, "audio");
    }
    EXPECT_EQ(tracks[3].number, 170);
    EXPECT_EQ(tracks[3].lsn, audio[1].start + audio[1].sectors);
}

TEST_F(DiscImage, SectorsCarryTheIsoAndTheWavesPcm) {
    const auto bin = file_bytes(view.file(0, "image.bin"));
    ASSERT_EQ(bin.size(), std::size_t{audio[1].start + audio[1].sectors} * kRaw) << view.logs();

    // Mode 1 sectors around the ISO's sectors; data.iso ends with the data
    // the container holds, not at the next track.
    const auto source = file_bytes(iso);
    for (std::uint32_t s = 0; s < iso_sectors; ++s) {
        const auto* raw = bin.data() + std::size_t{s} * kRaw;
        ASSERT_EQ(raw[15], 1) << "sector " << s;
        ASSERT_TRUE(std::equal(raw + 16, raw + 16 + kUser, source.begin() + std::ptrdiff_t{s} * kUser)) << "sector " << s;
    }
    EXPECT_EQ(fs::file_size(view.file(0, "data.iso")), source.size());
    const auto gap_begin = bin.begin() + std::ptrdiff_t{iso_sectors} * kRaw;
    EXPECT_TRUE(std::all_of(gap_begin, gap_begin + kGap * kRaw, [](std::uint8_t b) { return b == 0; }));

    for (const auto& a : audio) {
        const auto pcm = pcm_of(a.wave, dir / (a.wave.stem().string() + ".pcm"));
        ASSERT_EQ(pcm.size(), std::size_t{a.sectors} * kRaw) << a.wave;
        EXPECT_TRUE(std::equal(pcm.begin(), pcm.end(), bin.begin() + std::ptrdiff_t{a.start} * kRaw)) << a.wave;
    }
}

TEST(AudioDisc, HasNoDataIso) {
    MountedView view;
    if (!view.ready()) GTEST_SKIP() << view.error();
    TempDir dir("fuse-audio");
    make_wave_file(dir / "01.wav", 1.0, 500);
    ContainerPlan plan;
    plan.type = container::ContainerType::track_table;
    plan.disc_format = container::disc_format::audio;
    plan.tracks = {audio_track(0, 75, "01.wav")};
    write_container(plan, dir / "audio.qim");
    ASSERT_NE(QPXInsert(0, (dir / "audio.qim").c_str()), 0);

    struct stat st;
    EXPECT_EQ(::stat(view.file(0, "image.bin").c_str(), &st), 0) << view.logs();
    EXPECT_EQ(st.st_size, 75 * 2352);
    EXPECT_EQ(::stat(view.file(0, "data.iso").c_str(), &st), -1);
    EXPECT_EQ(errno, ENOENT);
    std::string listing;
    run_command("ls '" + view.file(0, "").string() + "'", &listing);
    EXPECT_EQ(listing, "image.bin\nimage.cue\n");
}

}  // namespace
}  // namespace qpx::testing
