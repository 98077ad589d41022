// Running a piece of a test in a child process (a second program on the
// same machine).
#pragma once

#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

namespace qpx::testing {

// Runs fn in a forked child; the child exits with fn's result.
template <typename Fn>
pid_t spawn_child(Fn fn) {
    pid_t pid = fork();
    if (pid == 0) _exit(fn());
    return pid;
}

// Waits for a child: its exit code, or 128 + the signal that ended it.
inline int child_exit_code(pid_t pid) {
    int status = 0;
    if (waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace qpx::testing
