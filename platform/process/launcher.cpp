#include "process/launcher.h"

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>

#include <cerrno>
#include <cstdlib>

extern char** environ;

namespace qpx::process {
namespace {

int result_of_errno(int err) {
    switch (err) {
        case ENOMEM:
        case EAGAIN:
            return kOutOfMemory;
        case ENOENT:
            return kFileNotFound;
        case ENOTDIR:
            return kPathNotFound;
        case EACCES:
        case EPERM:
            return kAccessDenied;
        default:
            return kOtherFailure;
    }
}

// Starts argv detached: the child is reaped by a short-lived middle process
// so the program never leaves zombies behind. Returns errno of the start.
int spawn_detached(const std::vector<std::string>& args, bool search_path) {
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return errno;
    pid_t middle = fork();
    if (middle < 0) {
        close(fds[0]);
        close(fds[1]);
        return errno;
    }
    if (middle == 0) {
        setsid();
        pid_t child = 0;
        int err = search_path ? posix_spawnp(&child, argv[0], nullptr, nullptr, argv.data(), environ)
                              : posix_spawn(&child, argv[0], nullptr, nullptr, argv.data(), environ);
        (void)!write(fds[1], &err, sizeof err);
        _exit(0);
    }
    close(fds[1]);
    int err = ECHILD;
    if (read(fds[0], &err, sizeof err) != static_cast<ssize_t>(sizeof err)) err = ECHILD;
    close(fds[0]);
    waitpid(middle, nullptr, 0);
    return err;
}

}  // namespace

std::vector<std::string> split_arguments(std::string_view line) {
    std::vector<std::string> out;
    std::string current;
    bool in_quotes = false, have = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        char c = line[i];
        if (c == '\\' && i + 1 < line.size() && line[i + 1] == '"') {
            current += '"';
            have = true;
            ++i;
        } else if (c == '"') {
            in_quotes = !in_quotes;
            have = true;
        } else if ((c == ' ' || c == '\t') && !in_quotes) {
            if (have) out.push_back(std::move(current));
            current.clear();
            have = false;
        } else {
            current += c;
            have = true;
        }
    }
    if (have) out.push_back(std::move(current));
    return out;
}

int Launcher::open(std::string_view command_line) const {
    std::vector<std::string> args = split_arguments(command_line);
    if (args.empty()) return kFileNotFound;
    const std::string& first = args[0];
    const bool has_slash = first.find('/') != std::string::npos;
    struct stat st {};
    if (has_slash || stat(first.c_str(), &st) == 0) {
        if (stat(first.c_str(), &st) != 0) return result_of_errno(errno);
        if (S_ISDIR(st.st_mode) || access(first.c_str(), X_OK) != 0) {
            // A document (or a folder): the desktop's default application.
            if (access(first.c_str(), R_OK) != 0) return kAccessDenied;
            int err = spawn_detached({opener_, first}, true);
            if (err == ENOENT) return kNoAssociation;
            return err ? result_of_errno(err) : kStarted;
        }
        int err = spawn_detached(args, false);
        return err ? result_of_errno(err) : kStarted;
    }
    int err = spawn_detached(args, true);
    return err ? result_of_errno(err) : kStarted;
}

}  // namespace qpx::process
