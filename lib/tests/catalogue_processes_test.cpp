// Two programs changing the catalogue at the same time.
#include <sys/wait.h>
#include <unistd.h>

#include <map>
#include <set>

#include "lib_fixture.h"
#include "support/child_process.h"

namespace qpx::testing {
namespace {

using qpx::testing::child_exit_code;
using qpx::testing::spawn_child;

std::string record_text(int n) {
    char buf[600];
    return QPXGetContainerIndex(n, buf, sizeof buf) == 0 ? std::string(buf) : std::string();
}

using CatalogueProcesses = LibraryTest;

TEST_F(CatalogueProcesses, ConcurrentAdditionsGetDistinctNumbers) {
    auto adder = [](char who) {
        return [who] {
            for (int i = 0; i < 200; ++i) {
                std::string record = "/c/" + std::string(1, who) + std::to_string(i) + ".qim,,,,";
                if (QPXAddContainer(record.c_str()) < 1) return 1;
            }
            return 0;
        };
    };
    pid_t a = spawn_child(adder('a')), b = spawn_child(adder('b'));
    ASSERT_EQ(child_exit_code(a), 0);
    ASSERT_EQ(child_exit_code(b), 0);

    ASSERT_EQ(QPXGetNumberOfContainers(), 400);
    std::set<std::string> records;
    for (int n = 1; n <= 400; ++n) records.insert(record_text(n));
    EXPECT_EQ(records.size(), 400u) << "every number holds one of the 400 records";
    EXPECT_FALSE(records.count(""));
}

TEST_F(CatalogueProcesses, DeletingAndAddingUnderLoadNeverSharesANumber) {
    for (int i = 0; i < 20; ++i) ASSERT_GE(QPXAddContainer(("/seed/" + std::to_string(i) + ",,,,").c_str()), 1);
    // Each process keeps the numbers it was given and checks, at the end,
    // that every one of them still holds its own record.
    auto churn = [](char who) {
        return [who] {
            std::map<int, std::string> mine;
            for (int i = 0; i < 150; ++i) {
                std::string record = "/c/" + std::string(1, who) + std::to_string(i) + ".qim,,,,";
                int n = QPXAddContainer(record.c_str());
                if (n < 1 || mine.count(n)) return 1;
                mine[n] = record;
                if (i % 3 == 2) {  // give one back now and then
                    auto victim = mine.begin();
                    if (QPXDeleteContainer(victim->first) != 0) return 2;
                    mine.erase(victim);
                }
            }
            for (const auto& [n, record] : mine)
                if (record_text(n) != record) return 3;
            return 0;
        };
    };
    pid_t a = spawn_child(churn('a')), b = spawn_child(churn('b'));
    EXPECT_EQ(child_exit_code(a), 0);
    EXPECT_EQ(child_exit_code(b), 0);

    // The free list names only numbers without records, each once.
    std::string free_text = catalogue_text("ContainerFreeSlots");
    std::set<int> freed;
    for (std::size_t pos = 0; pos < free_text.size();) {
        std::size_t comma = free_text.find(',', pos);
        if (comma == std::string::npos) comma = free_text.size();
        int n = std::stoi(free_text.substr(pos, comma - pos));
        EXPECT_TRUE(freed.insert(n).second) << n << " freed twice";
        EXPECT_EQ(record_text(n), "") << n << " is free but has a record";
        pos = comma + 1;
    }
}

}  // namespace
}  // namespace qpx::testing
