#include "support/temp_dir.h"

#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

namespace qpx::testing {
namespace fs = std::filesystem;

TempDir::TempDir(const std::string& tag) {
    const char* base = std::getenv("QPX_TEST_TMP");
    fs::path parent = base && *base ? fs::path(base) : fs::temp_directory_path();
    fs::create_directories(parent);
    std::string templ = (parent / ("qpx-" + tag + "-XXXXXX")).string();
    if (!mkdtemp(templ.data())) throw std::runtime_error("mkdtemp failed for " + templ);
    path_ = templ;
}

TempDir::~TempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
}

ScopedMachineRoot::ScopedMachineRoot() : dir_("root") {
    if (const char* old = std::getenv("QPX_ROOT")) {
        old_ = old;
        had_old_ = true;
    }
    setenv("QPX_ROOT", dir_.path().c_str(), 1);
}

ScopedMachineRoot::~ScopedMachineRoot() {
    if (had_old_)
        setenv("QPX_ROOT", old_.c_str(), 1);
    else
        unsetenv("QPX_ROOT");
}

int run_command(const std::string& command, std::string* out) {
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return -1;
    std::array<char, 4096> buf{};
    std::size_t n;
    while ((n = fread(buf.data(), 1, buf.size(), pipe)) > 0)
        if (out) out->append(buf.data(), n);
    int status = pclose(pipe);
    if (status == -1 || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

fs::path program_path(const std::string& name) {
    const char* dir = std::getenv("QPX_BIN_DIR");
    return fs::path(dir && *dir ? dir : ".") / name;
}

}  // namespace qpx::testing
