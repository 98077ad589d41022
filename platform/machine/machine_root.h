// The folder that holds the whole emulated machine: registry hives, the
// runtime folder (sockets, lock files) and the data folder.
#pragma once

#include <filesystem>

namespace qpx::machine {

// $QPX_ROOT, else $XDG_STATE_HOME/quoplex, else ~/.local/state/quoplex.
// Read anew on every call so a process (or a test) may switch roots.
std::filesystem::path root();

// Sub-folders of the root; created (with their parents) on first use.
std::filesystem::path registry_dir();
std::filesystem::path run_dir();
std::filesystem::path data_dir();

}  // namespace qpx::machine
