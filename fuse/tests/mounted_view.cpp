#include "mounted_view.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>

#include <fstream>
#include <sstream>
#include <thread>

#include "qpxdrv.h"

namespace qpx::testing {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

std::string quoted(const fs::path& p) { return "'" + p.string() + "'"; }

}  // namespace

std::string fuse_unavailable_reason() {
    const int fd = ::open("/dev/fuse", O_RDWR | O_CLOEXEC);
    if (fd < 0) return "/dev/fuse cannot be opened: " + std::string(std::strerror(errno));
    ::close(fd);
    if (run_command("command -v fusermount3 >/dev/null") != 0) return "fusermount3 is not installed (package fuse3)";
    return {};
}

bool is_mounted(const fs::path& dir) {
    // Field 5 of mountinfo is the mount point, with blanks, tabs, new lines
    // and backslashes written as octal escapes.
    std::string wanted;
    for (char c : dir.string()) {
        if (c == ' ' || c == '\t' || c == '\n' || c == '\\') {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\%03o", static_cast<unsigned char>(c));
            wanted += escaped;
        } else {
            wanted += c;
        }
    }
    std::ifstream in("/proc/self/mountinfo");
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string id, parent, dev, root, point;
        fields >> id >> parent >> dev >> root >> point;
        if (point == wanted) return true;
    }
    return false;
}

bool wait_mounted(const fs::path& dir, bool want, std::chrono::milliseconds limit) {
    const auto until = Clock::now() + limit;
    while (is_mounted(dir) != want) {
        if (Clock::now() >= until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

void unmount(const fs::path& dir) {
    if (is_mounted(dir)) run_command("fusermount3 -u " + quoted(dir) + " 2>/dev/null || fusermount3 -uz " + quoted(dir));
}

fs::path make_container(const fs::path& iso, const fs::path& container, int type) {
    std::string log;
    const std::string command = program_path("qpx-mkcontainer").string() + " --type " + std::to_string(type) + " " +
                                quoted(iso) + " " + quoted(container) + " 2>&1";
    if (run_command(command, &log) != 0) throw std::runtime_error("qpx-mkcontainer failed: " + log);
    return container;
}

std::vector<std::uint8_t> file_bytes(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + file.string());
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// ---- qpxfuse as a child -------------------------------------------------------

ViewProcess::ViewProcess(std::vector<std::string> args) {
    const fs::path program = program_path("qpxfuse");
    static int counter = 0;
    log_ = machine::root() / ("qpxfuse-" + std::to_string(++counter) + ".log");
    pid_ = ::fork();
    if (pid_ < 0) throw std::runtime_error("fork failed");
    if (pid_ == 0) {
        const int log = ::open(log_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (log >= 0) {
            ::dup2(log, STDERR_FILENO);
            ::dup2(log, STDOUT_FILENO);
        }
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
}

bool ViewProcess::reap(bool block) {
    if (pid_ <= 0) return true;
    int status = 0;
    if (::waitpid(pid_, &status, block ? 0 : WNOHANG) != pid_) return false;
    status_ = WIFEXITED(status) ? std::optional<int>(WEXITSTATUS(status)) : std::nullopt;
    pid_ = -1;
    return true;
}

bool ViewProcess::running() { return !reap(false); }

std::optional<int> ViewProcess::wait_exit(std::chrono::milliseconds limit) {
    const auto until = Clock::now() + limit;
    while (!reap(false)) {
        if (Clock::now() >= until) return std::nullopt;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return status_;
}

std::optional<int> ViewProcess::stop() {
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        if (!wait_exit()) {
            ::kill(pid_, SIGKILL);
            reap(true);
        }
    }
    return status_;
}

std::string ViewProcess::log() const {
    std::ifstream in(log_);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// ---- The whole set-up ------------------------------------------------------------

MountedView::MountedView(std::uint32_t drives) {
    error_ = fuse_unavailable_reason();
    if (!error_.empty()) return;
    mount_point_ = root_.path() / "view";
    fs::create_directories(mount_point_);
    configure_port_host(drives);
    host_ = std::make_unique<PortHostProcess>();
    if (!host_->wait_ready()) {
        error_ = "the port host did not start: " + host_->log();
        return;
    }
    char letters[32] = {};
    if (QPXGetDriveLetters(letters, 2) == -1 || QPXSetContainerFiles(std::string(drives, ';').c_str()) != 0) {
        error_ = "the port host published no drives";
        return;
    }
    letters_ = letters;
    view_ = std::make_unique<ViewProcess>(std::vector<std::string>{mount_point_.string()});
    if (!wait_mounted(mount_point_)) error_ = "the view was not mounted: " + view_->log();
}

MountedView::~MountedView() {
    if (!mount_point_.empty()) unmount(mount_point_);
    if (view_) view_->stop();
    if (host_) host_->stop();
}

void MountedView::restart_host() {
    host_->stop();
    host_ = std::make_unique<PortHostProcess>();
    if (!host_->wait_ready()) throw std::runtime_error("the port host did not start again: " + host_->log());
}

std::string MountedView::logs() const {
    return "--- qpxfuse:\n" + (view_ ? view_->log() : std::string()) + "--- qpxmport:\n" +
           (host_ ? host_->log() : std::string());
}

}  // namespace qpx::testing
