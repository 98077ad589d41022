#include "log.h"

#include <syslog.h>

#include <atomic>
#include <cstdio>
#include <mutex>

namespace qpx::host {
namespace {

std::atomic<bool> g_syslog{false};
std::mutex g_stderr_mutex;

const char* label(LogLevel level) {
    switch (level) {
        case LogLevel::error: return "error";
        case LogLevel::warning: return "warning";
        case LogLevel::info: return "info";
        case LogLevel::debug: return "debug";
    }
    return "";
}

int priority(LogLevel level) {
    switch (level) {
        case LogLevel::error: return LOG_ERR;
        case LogLevel::warning: return LOG_WARNING;
        case LogLevel::info: return LOG_INFO;
        case LogLevel::debug: return LOG_DEBUG;
    }
    return LOG_INFO;
}

}  // namespace

void log_to_syslog(const char* ident) {
    openlog(ident, LOG_PID, LOG_DAEMON);
    g_syslog = true;
}

void log_message(LogLevel level, const std::string& text) {
    if (g_syslog) {
        syslog(priority(level), "%s", text.c_str());
        return;
    }
    std::lock_guard lock(g_stderr_mutex);
    std::fprintf(stderr, "qpxmport: %s: %s\n", label(level), text.c_str());
    std::fflush(stderr);
}

}  // namespace qpx::host
