// qpxfuse: the port host's emulated drives as a read-only file system.
#include <fuse.h>
#include <syslog.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "command_line.h"
#include "drive_catalogue.h"
#include "drive_view.h"
#include "fuse_operations.h"
#include "mount_config.h"

namespace {

using namespace qpx::fuse_view;

bool g_to_syslog = false;

void report(const std::string& message) {
    if (g_to_syslog)
        syslog(LOG_WARNING, "%s", message.c_str());
    else
        std::fprintf(stderr, "qpxfuse: %s\n", message.c_str());
}

// A daemon leaves its working folder; a relative machine root must not
// change meaning then.
void make_machine_root_absolute() {
    const char* root = std::getenv("QPX_ROOT");
    if (!root || !*root) return;
    std::error_code ec;
    const auto absolute = std::filesystem::absolute(root, ec);
    if (!ec) setenv("QPX_ROOT", absolute.c_str(), 1);
}

// Mounts the view at `mount_point` and serves it until unmounted or told to stop.
int serve(const Options& options, const std::filesystem::path& mount_point) {
    DriveCatalogue drives(report);
    DriveView view(drives);
    const fuse_operations ops = view_operations();

    std::vector<std::string> words = {"qpxfuse", "-o", "ro,default_permissions,fsname=qpxfuse,subtype=qpxfuse"};
    if (options.debug) words.push_back("-d");
    std::vector<char*> argv;
    for (auto& w : words) argv.push_back(w.data());
    fuse_args args = FUSE_ARGS_INIT(static_cast<int>(argv.size()), argv.data());

    fuse* fs = fuse_new(&args, &ops, sizeof ops, &view);
    fuse_opt_free_args(&args);
    if (!fs) {
        report("the file system could not be set up");
        return 1;
    }
    if (fuse_mount(fs, mount_point.c_str()) != 0) {
        report("cannot mount the view at " + mount_point.string() + " (is /dev/fuse there and usable?)");
        fuse_destroy(fs);
        return 1;
    }
    if (fuse_daemonize(options.daemon ? 0 : 1) != 0) {
        report("cannot run in the background");
        fuse_unmount(fs);
        fuse_destroy(fs);
        return 1;
    }
    if (options.daemon) {
        openlog("qpxfuse", LOG_PID, LOG_DAEMON);
        g_to_syslog = true;
    }
    fuse_session* session = fuse_get_session(fs);
    if (fuse_set_signal_handlers(session) != 0) {
        report("cannot install the signal handlers");
        fuse_unmount(fs);
        fuse_destroy(fs);
        return 1;
    }
    fuse_loop_config* loop = fuse_loop_cfg_create();
    fuse_loop_cfg_set_max_threads(loop, 16);
    const int result = fuse_loop_mt(fs, loop);
    fuse_loop_cfg_destroy(loop);
    fuse_remove_signal_handlers(session);
    fuse_unmount(fs);
    fuse_destroy(fs);
    // The loop ends with 0 when unmounted, the signal's number when told to
    // stop, and a negative errno when it failed.
    return result >= 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    std::string error;
    const auto options = parse_command_line(args, error);
    if (!options) {
        std::fprintf(stderr, "qpxfuse: %s\n%s", error.c_str(), usage_text());
        return 2;
    }
    if (options->help) {
        std::fputs(usage_text(), stdout);
        return 0;
    }
    make_machine_root_absolute();
    const auto mount_point = resolve_mount_point(options->mount_point, error);
    if (!mount_point) {
        std::fprintf(stderr, "qpxfuse: %s\n", error.c_str());
        return 2;
    }
    std::error_code ec;
    std::filesystem::create_directories(*mount_point, ec);
    if (ec) {
        std::fprintf(stderr, "qpxfuse: cannot create the mount point %s: %s\n", mount_point->c_str(),
                     ec.message().c_str());
        return 1;
    }
    return serve(*options, *mount_point);
}
