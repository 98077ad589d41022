#include "messages/message_box.h"

#include <cstdio>
#include <cstdlib>

namespace qpx::ui {

void StderrMessageSink::show(std::string_view text, Severity) {
    std::fwrite(text.data(), 1, text.size(), stderr);
    if (text.empty() || text.back() != '\n') std::fputc('\n', stderr);
    std::fflush(stderr);
}

bool display_available() {
    const char* x = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x && *x) || (wayland && *wayland);
}

}  // namespace qpx::ui
