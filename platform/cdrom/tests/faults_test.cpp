// Fault plans and the disc with faults they describe.
#include <gtest/gtest.h>

#include <vector>

#include "cdrom/cdio_image_source.h"
#include "cdrom/fault_plan.h"
#include "cdrom/faulty_disc_source.h"
#include "support/test_discs.h"

namespace qpx::cdrom {
namespace {

using testing::test_discs;

TEST(FaultPlan, ReadsEveryDirective) {
    FaultPlan plan;
    std::string error;
    ASSERT_TRUE(parse_fault_plan("# a disc that fights back\n"
                                 "disc  images/my disc.cue\n"
                                 "unreadable 100 249   # run-out\n"
                                 "unreadable 7\n"
                                 "fails 20 2\n"
                                 "not-ready 5\r\n"
                                 "swap-after 3 /abs/other.cue\n"
                                 "journal log.txt\n",
                                 "/plans", plan, error))
        << error;
    EXPECT_EQ(plan.disc, "/plans/images/my disc.cue");
    ASSERT_EQ(plan.unreadable.size(), 2u);
    EXPECT_EQ(plan.unreadable[0].first, 100u);
    EXPECT_EQ(plan.unreadable[0].last, 249u);
    EXPECT_EQ(plan.unreadable[1].first, 7u);
    EXPECT_EQ(plan.unreadable[1].last, 7u);
    ASSERT_EQ(plan.flaky.size(), 1u);
    EXPECT_EQ(plan.flaky[0].sector, 20u);
    EXPECT_EQ(plan.flaky[0].failures, 2);
    EXPECT_EQ(plan.not_ready_accesses, 5);
    ASSERT_TRUE(plan.swap);
    EXPECT_EQ(plan.swap->after_accesses, 3);
    EXPECT_EQ(plan.swap->disc, "/abs/other.cue");
    EXPECT_EQ(plan.journal, "/plans/log.txt");
}

TEST(FaultPlan, MalformedPlansNameTheLine) {
    struct Case {
        const char* text;
        const char* reason;
    } cases[] = {
        {"unreadable 1\n", "names no disc"},
        {"disc a.cue\nunreadable x\n", "line 2"},
        {"disc a.cue\nunreadable 9 3\n", "line 2"},
        {"disc a.cue\nfails 20\n", "line 2"},
        {"disc a.cue\nfails 20 -1\n", "line 2"},
        {"disc a.cue\n\nnot-ready many\n", "line 3"},
        {"disc a.cue\nswap-after 2\n", "line 2"},
        {"disc a.cue\nexplode 3\n", "unknown directive 'explode'"},
        {"disc\n", "line 1"},
        {"disc a.cue\nunreadable 4294967296\n", "line 2"},
    };
    for (const Case& c : cases) {
        FaultPlan plan;
        std::string error;
        EXPECT_FALSE(parse_fault_plan(c.text, "/p", plan, error)) << c.text;
        EXPECT_NE(error.find(c.reason), std::string::npos) << c.text << " -> " << error;
    }
}

class FaultyDisc : public ::testing::Test {
protected:
    static std::unique_ptr<DiscSource> image(const std::filesystem::path& cue) {
        std::string error;
        auto source = CdioImageSource::open(cue, error);
        EXPECT_TRUE(source) << error;
        return source;
    }
    std::vector<std::uint8_t> buffer_ = std::vector<std::uint8_t>(8 * kRawSectorSize);
};

TEST_F(FaultyDisc, SectorFaultsFailReadsThatTouchThem) {
    Faults faults;
    faults.unreadable = {{100, 102}};
    faults.flaky = {{20, 2}};
    FaultyDiscSource disc(image(test_discs().mixed.cue), faults);
    EXPECT_EQ(disc.read(98, 2, SectorForm::UserData, buffer_), ReadStatus::Ok);
    EXPECT_EQ(disc.read(99, 2, SectorForm::UserData, buffer_), ReadStatus::ReadError);
    EXPECT_EQ(disc.read(102, 1, SectorForm::RawData, buffer_), ReadStatus::ReadError);
    EXPECT_EQ(disc.read(103, 1, SectorForm::RawData, buffer_), ReadStatus::Ok);
    // Sector 20 fails twice, whatever form the reads take, then reads.
    EXPECT_EQ(disc.read(18, 4, SectorForm::UserData, buffer_), ReadStatus::ReadError);
    EXPECT_EQ(disc.read(20, 1, SectorForm::RawData, buffer_), ReadStatus::ReadError);
    EXPECT_EQ(disc.read(20, 1, SectorForm::RawData, buffer_), ReadStatus::Ok);
    EXPECT_EQ(buffer_[15], 1);  // a real raw sector arrived
    EXPECT_EQ(disc.accesses(), 7);
    EXPECT_EQ(disc.journal().lines()[1], "read 99 2 user-data read error");
}

TEST_F(FaultyDisc, NotReadyThenSwappedUnderTheCaller) {
    Faults faults;
    faults.not_ready_accesses = 2;
    faults.swap_after_accesses = 3;
    FaultyDiscSource disc(image(test_discs().mixed.cue), faults, image(test_discs().other.cue));
    Toc toc;
    EXPECT_EQ(disc.read_toc(toc), ReadStatus::NotReady);
    EXPECT_EQ(disc.read(16, 1, SectorForm::UserData, buffer_), ReadStatus::NotReady);
    ASSERT_EQ(disc.read_toc(toc), ReadStatus::Ok);
    EXPECT_EQ(toc.descriptors.back().address, test_discs().mixed.lead_out);
    // The first access after the change reports it; then the other disc answers.
    EXPECT_EQ(disc.read_toc(toc), ReadStatus::MediumChanged);
    ASSERT_EQ(disc.read_toc(toc), ReadStatus::Ok);
    EXPECT_EQ(toc.descriptors.back().address, test_discs().other.lead_out);
    const std::vector<std::string> expected = {"toc not ready", "read 16 1 user-data not ready", "toc ok",
                                               "toc medium changed", "toc ok"};
    EXPECT_EQ(disc.journal().lines(), expected);
}

}  // namespace
}  // namespace qpx::cdrom
