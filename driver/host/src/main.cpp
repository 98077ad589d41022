// qpxmport: the port host of the emulated CD-ROM drives.
//
//   qpxmport            runs in the foreground and logs to standard error
//   qpxmport --daemon   detaches, logs to syslog and writes run/qpxmport.pid
//
// Ends cleanly on SIGTERM or SIGINT, withdrawing its ports and letters.
#include <fcntl.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <string>

#include "devices/frame_io.h"
#include "host_config.h"
#include "instance_lock.h"
#include "log.h"
#include "machine/machine_root.h"
#include "port_host.h"
#include "publication.h"

namespace {

using namespace qpx::host;

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

// Tells the parent of a daemon how start-up went; in the foreground only logs.
class StartupReport {
public:
    explicit StartupReport(int fd = -1) : fd_(fd) {}
    int fail(const std::string& message) {
        log_error(message);
        send("error: " + message);
        return kExitFailure;
    }
    void ready() { send("ok"); }

private:
    void send(const std::string& text) {
        if (fd_ < 0) return;
        [[maybe_unused]] ssize_t n = ::write(fd_, text.data(), text.size());
        ::close(fd_);
        fd_ = -1;
    }
    int fd_;
};

int serve(StartupReport& report, int stop_fd) {
    std::string error;
    const auto config = read_host_config(error);
    if (!config) return report.fail(error);

    InstanceLock lock;
    if (!lock.acquire(error)) return report.fail(error);
    remove_stale_publication();

    const std::size_t adapters = adapter_count(*config);
    const std::vector<int> numbers = free_port_numbers(adapters);
    if (numbers.size() < adapters) return report.fail("no free SCSI port numbers left");

    try {
        PortHost host(*config, numbers);
        host.listen(qpx::devices::port_socket_path());
        host.start();

        Publication publication;
        std::vector<PublishedPort> published;
        for (const auto& p : host.ports()) published.push_back({p->port(), p->drive_count()});
        if (!publication.publish(published, config->first_letter, error)) return report.fail(error);
        if (!lock.write_pid_file(error)) return report.fail(error);

        std::string summary = std::to_string(config->drive_count) + " drives on port";
        summary += host.ports().size() > 1 ? "s" : "";
        for (const auto& p : host.ports())
            summary += " " + std::to_string(p->port()) + " (" + std::to_string(p->drive_count()) + " drives, " +
                       std::to_string(p->bus_count()) + " buses, " + std::to_string(p->buffer_set_count()) +
                       " buffer sets)";
        std::string letters(publication.letters().begin(), publication.letters().end());
        summary += letters.empty() ? ", no letters" : ", letters " + letters;
        log_info(summary);
        report.ready();

        host.serve(stop_fd);
        log_info("stopping");
        publication.withdraw();
        host.stop();
        lock.remove_pid_file();
        return 0;
    } catch (const std::exception& e) {
        return report.fail(e.what());
    }
}

// Forks; the parent waits for the child's start-up report and exits with it.
// Returns in the child with the write end of the report pipe.
int detach() {
    int pipe_fds[2];
    if (::pipe2(pipe_fds, O_CLOEXEC) != 0) {
        std::perror("qpxmport: pipe");
        std::exit(kExitFailure);
    }
    const pid_t child = ::fork();
    if (child < 0) {
        std::perror("qpxmport: fork");
        std::exit(kExitFailure);
    }
    if (child > 0) {
        ::close(pipe_fds[1]);
        std::string message;
        char buf[512];
        ssize_t n;
        while ((n = ::read(pipe_fds[0], buf, sizeof buf)) > 0) message.append(buf, static_cast<std::size_t>(n));
        if (message == "ok") std::exit(0);
        std::fprintf(stderr, "qpxmport: %s\n", message.empty() ? "the daemon ended during start-up" : message.c_str());
        std::exit(kExitFailure);
    }
    ::close(pipe_fds[0]);
    ::setsid();
    const int null = ::open("/dev/null", O_RDWR);
    if (null >= 0) {
        ::dup2(null, STDIN_FILENO);
        ::dup2(null, STDOUT_FILENO);
        ::dup2(null, STDERR_FILENO);
        if (null > STDERR_FILENO) ::close(null);
    }
    log_to_syslog("qpxmport");
    return pipe_fds[1];
}

void usage(std::FILE* out) {
    std::fprintf(out,
                 "usage: qpxmport [--daemon]\n"
                 "Serves the emulated CD-ROM drives of the machine root $QPX_ROOT.\n"
                 "  --daemon   detach, log to syslog and write run/qpxmport.pid\n");
}

}  // namespace

int main(int argc, char** argv) {
    bool daemon = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--daemon" || arg == "-d") {
            daemon = true;
        } else if (arg == "--help" || arg == "-h") {
            usage(stdout);
            return 0;
        } else {
            std::fprintf(stderr, "qpxmport: unknown argument \"%s\"\n", arg.c_str());
            usage(stderr);
            return kExitUsage;
        }
    }

    // The root stays the same after a daemon leaves its start folder.
    try {
        ::setenv("QPX_ROOT", std::filesystem::absolute(qpx::machine::root()).c_str(), 1);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "qpxmport: no machine root: %s\n", e.what());
        return kExitFailure;
    }

    ::signal(SIGPIPE, SIG_IGN);
    ::signal(SIGHUP, SIG_IGN);
    sigset_t stop_signals;
    sigemptyset(&stop_signals);
    sigaddset(&stop_signals, SIGTERM);
    sigaddset(&stop_signals, SIGINT);
    // Every thread inherits the mask; the signals arrive through the signalfd.
    pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);

    StartupReport report(daemon ? detach() : -1);
    if (daemon && ::chdir("/") != 0) return report.fail("cannot change to /");
    const int stop_fd = ::signalfd(-1, &stop_signals, SFD_CLOEXEC);
    if (stop_fd < 0) return report.fail(std::string("signalfd: ") + std::strerror(errno));
    return serve(report, stop_fd);
}
