#include "drive_catalogue.h"

#include "cdrom/pass_through_channel.h"
#include "qpxdrv.h"

namespace qpx::fuse_view {
namespace {

// Letters the library lists: 0 every emulated drive, 1 those holding a container.
std::string library_letters(int mode) {
    char buffer[32] = {};
    if (QPXGetDriveLetters(buffer, mode) == -1) return {};
    return buffer;
}

}  // namespace

std::string DriveCatalogue::letters() const { return library_letters(0); }

DriveHooks DriveCatalogue::hooks_for(char letter) const {
    DriveHooks hooks;
    hooks.connect = [letter](std::string& error) -> std::unique_ptr<cdrom::ScsiChannel> {
        // One attempt: a file system call must not wait for a port host that is not there.
        devices::OpenRetry once;
        once.attempts = 1;
        return cdrom::PassThroughChannel::open(letter, once, error);
    };
    hooks.expects_medium = [letter] { return library_letters(1).find(letter) != std::string::npos; };
    hooks.report = report_;
    return hooks;
}

DriveSession* DriveCatalogue::session(char letter) {
    if (letters().find(letter) == std::string::npos) return nullptr;
    std::lock_guard lock(mutex_);
    auto& slot = sessions_[letter];
    if (!slot) slot = std::make_unique<DriveSession>(letter, hooks_for(letter));
    return slot.get();
}

}  // namespace qpx::fuse_view
