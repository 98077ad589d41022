// Test helpers: temporary folders, private machine roots, shell commands.
#pragma once

#include <filesystem>
#include <string>

namespace qpx::testing {

// A fresh, empty folder below $QPX_TEST_TMP (else the system's temp folder),
// removed with everything in it when the object goes.
class TempDir {
public:
    explicit TempDir(const std::string& tag = "t");
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

// Points QPX_ROOT at a fresh folder for the lifetime of the object, so each
// test case has its own emulated machine; restores the old value afterwards.
class ScopedMachineRoot {
public:
    ScopedMachineRoot();
    ~ScopedMachineRoot();
    const std::filesystem::path& path() const { return dir_.path(); }

private:
    TempDir dir_;
    std::string old_;
    bool had_old_ = false;
};

// Runs a command through /bin/sh; returns its exit status (-1 when it could
// not be run or was killed by a signal). Output is captured into *out when given.
int run_command(const std::string& command, std::string* out = nullptr);

// Path of a built program (from $QPX_BIN_DIR).
std::filesystem::path program_path(const std::string& name);

}  // namespace qpx::testing
