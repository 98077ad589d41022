// The store across processes: concurrent read-modify-write transactions and
// a writer killed in the middle of its work.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <vector>

#include "registry/registry.h"
#include "support/child_process.h"
#include "support/temp_dir.h"

namespace qpx::reg {
namespace {

constexpr const char* kKey = "SOFTWARE\\Test";

// Runs fn in a child process; returns its pid. The child exits with fn's result.
using qpx::testing::child_exit_code;
using qpx::testing::spawn_child;

TEST(RegistryProcesses, ConcurrentIncrementsInTransactionsLoseNothing) {
    qpx::testing::ScopedMachineRoot root;
    Key k;
    ASSERT_EQ(Key::create(Hive::LocalMachine, kKey, k), kSuccess);
    ASSERT_EQ(k.set_dword("Counter", 0), kSuccess);

    constexpr int kPerProcess = 300;
    auto worker = [] {
        for (int i = 0; i < kPerProcess; ++i) {
            Transaction tx(Hive::LocalMachine);
            Key key;
            std::uint32_t n = 0;
            if (tx.status() != kSuccess || Key::open(Hive::LocalMachine, kKey, Access::ReadWrite, key) != kSuccess ||
                key.query_dword("Counter", n) != kSuccess || key.set_dword("Counter", n + 1) != kSuccess ||
                tx.commit() != kSuccess)
                return 1;
        }
        return 0;
    };
    pid_t a = spawn_child(worker), b = spawn_child(worker);
    EXPECT_EQ(child_exit_code(a), 0);
    EXPECT_EQ(child_exit_code(b), 0);
    std::uint32_t n = 0;
    ASSERT_EQ(k.query_dword("Counter", n), kSuccess);
    EXPECT_EQ(n, 2u * kPerProcess);
}

TEST(RegistryProcesses, AWriterKilledMidWriteLeavesOldOrNewValue) {
    qpx::testing::ScopedMachineRoot root;
    Key k;
    ASSERT_EQ(Key::create(Hive::LocalMachine, kKey, k), kSuccess);

    for (int round = 0; round < 4; ++round) {
        int fds[2];
        ASSERT_EQ(pipe(fds), 0);
        pid_t child = spawn_child([&] {
            close(fds[0]);
            Key key;
            if (Key::open(Hive::LocalMachine, kKey, Access::ReadWrite, key) != kSuccess) return 1;
            for (std::uint32_t i = 1;; ++i) {
                std::vector<std::uint8_t> blob(256 * 1024, static_cast<std::uint8_t>(i));
                Transaction tx(Hive::LocalMachine);
                key.set("Blob", ValueType::Binary, blob);
                key.set_dword("Tag", i & 0xFF);
                tx.commit();
                if (i == static_cast<std::uint32_t>(3 + round)) (void)!write(fds[1], "x", 1);  // parent kills from here on
            }
        });
        close(fds[1]);
        char c;
        ASSERT_EQ(read(fds[0], &c, 1), 1);
        kill(child, SIGKILL);
        child_exit_code(child);
        close(fds[0]);

        Value blob;
        std::uint32_t tag = 0;
        ASSERT_EQ(k.query("Blob", blob), kSuccess);
        ASSERT_EQ(k.query_dword("Tag", tag), kSuccess);
        ASSERT_EQ(blob.data.size(), 256u * 1024);
        for (std::uint8_t byte : blob.data) ASSERT_EQ(byte, tag) << "value and tag come from one transaction";
        // The store takes new writes after the crash.
        ASSERT_EQ(k.set_dword("Tag", 0), kSuccess);
    }
}

}  // namespace
}  // namespace qpx::reg
