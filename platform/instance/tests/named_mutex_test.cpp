#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "instance/named_mutex.h"
#include "support/temp_dir.h"

namespace qpx::instance {
namespace {

using namespace std::chrono_literals;

// Runs fn in a child; returns its exit code.
template <typename Fn>
int in_child(Fn fn) {
    pid_t pid = fork();
    if (pid == 0) _exit(fn());
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(NamedMutex, OneHolderAtATimeAcrossProcesses) {
    testing::ScopedMachineRoot root;
    auto held = NamedMutex::acquire("QPX_BUILD_WRITER", 0ms);
    ASSERT_TRUE(held);
    // Another process gives up after its time-out; the wait is counted, not slept.
    EXPECT_EQ(in_child([] {
                  std::chrono::milliseconds slept{0};
                  auto m = NamedMutex::acquire("QPX_BUILD_WRITER", 3000ms, nullptr,
                                               [&](std::chrono::milliseconds d) { slept += d; });
                  return !m && slept == 3000ms ? 0 : 1;
              }),
              0);
    EXPECT_EQ(in_child([] { return NamedMutex::acquire("QPX_BUILD_WIZARD", 0ms) ? 0 : 1; }), 0)
        << "other names are independent";
    held.reset();
    EXPECT_EQ(in_child([] { return NamedMutex::acquire("QPX_BUILD_WRITER", 0ms) ? 0 : 1; }), 0);
}

TEST(NamedMutex, AKilledHolderFreesItAndChildrenDoNotInheritIt) {
    testing::ScopedMachineRoot root;
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    pid_t holder = fork();
    if (holder == 0) {
        auto m = NamedMutex::acquire("QPX_BUILD_WIZARD", 0ms);
        // A program it starts must not keep the lock alive.
        pid_t program = fork();
        if (program == 0) {
            execlp("sleep", "sleep", "30", static_cast<char*>(nullptr));
            _exit(127);
        }
        char report[16] = {};
        std::snprintf(report, sizeof report, "%c%d", m ? 'y' : 'n', static_cast<int>(program));
        (void)!write(fds[1], report, sizeof report);
        pause();
        _exit(0);
    }
    close(fds[1]);
    char report[16] = {};
    ASSERT_EQ(read(fds[0], report, sizeof report), static_cast<ssize_t>(sizeof report));
    ASSERT_EQ(report[0], 'y');
    const pid_t program = std::atoi(report + 1);
    EXPECT_FALSE(NamedMutex::acquire("QPX_BUILD_WIZARD", 0ms));
    kill(holder, SIGKILL);
    waitpid(holder, nullptr, 0);
    EXPECT_TRUE(NamedMutex::acquire("QPX_BUILD_WIZARD", 2000ms)) << "the started program must not hold it";
    kill(program, SIGKILL);
    close(fds[0]);
}

TEST(NamedMutex, RefusesNamesThatAreNoFileNames) {
    testing::ScopedMachineRoot root;
    std::string error;
    EXPECT_FALSE(NamedMutex::acquire("../escape", 0ms, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(NamedMutex::acquire("", 0ms));
}

}  // namespace
}  // namespace qpx::instance
