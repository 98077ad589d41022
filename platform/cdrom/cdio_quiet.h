// libcdio reports problems through a process-wide log handler that prints
// to standard error. The platform layer reports every failure to its caller
// instead, so libcdio's own messages are kept quiet.
#pragma once

namespace qpx::cdrom {

// Installs the quiet handler once; safe to call from any thread.
void quiet_libcdio();

}  // namespace qpx::cdrom
