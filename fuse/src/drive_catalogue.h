// The emulated drives the view shows: their letters, read anew from the
// machine on every call, and one session per letter, made on first use.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "drive_session.h"

namespace qpx::fuse_view {

class DriveCatalogue {
public:
    using Reporter = std::function<void(const std::string&)>;
    explicit DriveCatalogue(Reporter report) : report_(std::move(report)) {}

    // The letters of the port host's drives in letter order; empty when it
    // publishes none.
    std::string letters() const;

    // The session of `letter`; null when the letter is no emulated drive.
    DriveSession* session(char letter);

private:
    DriveHooks hooks_for(char letter) const;

    Reporter report_;
    std::mutex mutex_;
    std::map<char, std::unique_ptr<DriveSession>> sessions_;
};

}  // namespace qpx::fuse_view
