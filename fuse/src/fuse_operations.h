// The view's calls as FUSE takes them. The DriveView travels as the file
// system's private data; open files as the handle of their FUSE file.
#pragma once

#include <fuse.h>

namespace qpx::fuse_view {

fuse_operations view_operations();

}  // namespace qpx::fuse_view
