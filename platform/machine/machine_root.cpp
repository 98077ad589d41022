#include "machine/machine_root.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>
#include <system_error>

namespace qpx::machine {
namespace fs = std::filesystem;

namespace {

fs::path home_dir() {
    if (const char* home = std::getenv("HOME"); home && *home) return home;
    if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir) return pw->pw_dir;
    throw std::runtime_error("cannot find the home folder (HOME is not set)");
}

fs::path ensured(const fs::path& dir) {
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (ec) throw std::system_error(ec, "cannot create " + dir.string());
    return dir;
}

}  // namespace

fs::path root() {
    if (const char* r = std::getenv("QPX_ROOT"); r && *r) return fs::path(r);
    if (const char* s = std::getenv("XDG_STATE_HOME"); s && *s) return fs::path(s) / "quoplex";
    return home_dir() / ".local" / "state" / "quoplex";
}

fs::path registry_dir() { return ensured(root() / "registry"); }
fs::path run_dir() { return ensured(root() / "run"); }
fs::path data_dir() { return ensured(root() / "data"); }

}  // namespace qpx::machine
