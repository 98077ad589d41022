// Disc images read through libcdio, checked against the files they were made
// from and against cd-info's reading of the same image.
#include <gtest/gtest.h>

#include <fstream>
#include <vector>

#include "cdrom/cdio_image_source.h"
#include "support/cd_info.h"
#include "support/temp_dir.h"
#include "support/test_discs.h"

namespace qpx::cdrom {
namespace {

using testing::test_discs;

std::vector<std::uint8_t> file_bytes(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::unique_ptr<CdioImageSource> open_image(const std::filesystem::path& image) {
    std::string error;
    auto source = CdioImageSource::open(image, error);
    EXPECT_TRUE(source) << error;
    return source;
}

TEST(ImageSource, TocAgreesWithCdInfo) {
    for (const auto* disc : {&test_discs().mixed, &test_discs().cd_extra}) {
        auto source = open_image(disc->cue);
        ASSERT_TRUE(source);
        Toc toc;
        ASSERT_EQ(source->read_toc(toc), ReadStatus::Ok);
        const auto expected = testing::cd_info_tracks(disc->cue);
        ASSERT_EQ(toc.descriptors.size(), expected.size());
        EXPECT_EQ(toc.first_track, 1);
        EXPECT_EQ(toc.last_track, expected.size() - 1);
        for (std::size_t i = 0; i < expected.size(); ++i) {
            SCOPED_TRACE(i);
            EXPECT_EQ(toc.descriptors[i].track, expected[i].number == 170 ? kLeadOutTrack : expected[i].number);
            EXPECT_EQ(toc.descriptors[i].address, expected[i].lsn);
            if (expected[i].type != "leadout") {
                EXPECT_EQ((toc.descriptors[i].adr_control & 0x04) != 0, expected[i].type == "data");
            }
            EXPECT_EQ(toc.descriptors[i].adr_control >> 4, 1);  // ADR 1
        }
    }
}

TEST(ImageSource, SectorsInEachFormEqualTheirSources) {
    const auto& disc = test_discs().mixed;
    auto source = open_image(disc.cue);
    ASSERT_TRUE(source);

    const auto iso = file_bytes(test_discs().iso);
    const auto& data = disc.tracks[0];
    std::vector<std::uint8_t> user(data.sectors * kUserDataSize);
    ASSERT_EQ(source->read(0, data.sectors, SectorForm::UserData, user), ReadStatus::Ok);
    EXPECT_TRUE(user == iso);
    EXPECT_EQ(std::string(user.begin() + 16 * 2048 + 1, user.begin() + 16 * 2048 + 6), "CD001");

    std::vector<std::uint8_t> raw(kRawSectorSize);
    for (std::uint32_t lba : {0u, 16u, data.sectors - 1}) {
        SCOPED_TRACE(lba);
        ASSERT_EQ(source->read(lba, 1, SectorForm::RawData, raw), ReadStatus::Ok);
        const std::vector<std::uint8_t> sync = {0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0};
        EXPECT_TRUE(std::equal(sync.begin(), sync.end(), raw.begin()));
        const std::uint32_t f = lba + 150;
        auto bcd = [](std::uint32_t v) { return static_cast<std::uint8_t>((v / 10) << 4 | v % 10); };
        EXPECT_EQ(raw[12], bcd(f / 4500));
        EXPECT_EQ(raw[13], bcd(f / 75 % 60));
        EXPECT_EQ(raw[14], bcd(f % 75));
        EXPECT_EQ(raw[15], 1);  // mode 1
        EXPECT_TRUE(std::equal(raw.begin() + 16, raw.begin() + 2064, iso.begin() + lba * 2048));
    }

    for (std::size_t t = 1; t < disc.tracks.size(); ++t) {
        const auto& audio = disc.tracks[t];
        const auto pcm = file_bytes(audio.source);
        std::vector<std::uint8_t> frames(audio.sectors * kRawSectorSize);
        ASSERT_EQ(source->read(audio.start, audio.sectors, SectorForm::Audio, frames), ReadStatus::Ok);
        ASSERT_GE(frames.size(), pcm.size());
        EXPECT_TRUE(std::equal(pcm.begin(), pcm.end(), frames.begin())) << "track " << t + 1;
        EXPECT_TRUE(std::all_of(frames.begin() + pcm.size(), frames.end(), [](auto b) { return b == 0; }));
    }
}

TEST(ImageSource, ReadsADriveWouldRefuseFail) {
    const auto& disc = test_discs().mixed;
    auto source = open_image(disc.cue);
    ASSERT_TRUE(source);
    std::vector<std::uint8_t> buffer(4 * kRawSectorSize);
    struct Case {
        const char* what;
        std::uint32_t lba, count;
        SectorForm form;
        ReadStatus expected;
    } cases[] = {
        {"last sector", disc.lead_out - 1, 1, SectorForm::Audio, ReadStatus::Ok},
        {"at the lead-out", disc.lead_out, 1, SectorForm::Audio, ReadStatus::OutOfRange},
        {"past the lead-out", disc.lead_out + 100, 1, SectorForm::RawData, ReadStatus::OutOfRange},
        {"across the lead-out", disc.lead_out - 2, 3, SectorForm::Audio, ReadStatus::OutOfRange},
        {"far beyond, where 32-bit byte offsets would wrap", 0x200010, 1, SectorForm::UserData, ReadStatus::OutOfRange},
        {"user data of an audio sector", disc.tracks[1].start, 1, SectorForm::UserData, ReadStatus::WrongTrackType},
    };
    for (const Case& c : cases) EXPECT_EQ(source->read(c.lba, c.count, c.form, buffer), c.expected) << c.what;
}

TEST(ImageSource, BadImagesAreRefusedWithAReason) {
    testing::TempDir dir("badcue");
    std::ofstream(dir / "nobin.cue") << "FILE \"missing.bin\" BINARY\n  TRACK 01 MODE1/2352\n    INDEX 01 00:00:00\n";
    std::ofstream(dir / "garbage.cue") << "this is not\x01 a cue sheet\n";
    std::ofstream(dir / "empty.cue") << "";
    std::ofstream(dir / "disc.img") << "whatever";
    struct Case {
        std::filesystem::path image;
        const char* reason;
    } cases[] = {
        {dir / "nobin.cue", "cannot be read"},
        {dir / "garbage.cue", "cannot be read"},
        {dir / "empty.cue", "cannot be read"},
        {dir / "disc.img", "not a disc image"},
        {dir / "absent.cue", "no such image file"},
        // libcdio would read this ISO as 2352-byte sectors and return wrong bytes.
        {test_discs().cooked_cue, "MODE1/2048 cannot be read"},
    };
    for (const Case& c : cases) {
        std::string error;
        EXPECT_FALSE(CdioImageSource::open(c.image, error)) << c.image;
        EXPECT_NE(error.find(c.image.string()), std::string::npos) << error;
        EXPECT_NE(error.find(c.reason), std::string::npos) << error;
    }
}

}  // namespace
}  // namespace qpx::cdrom
