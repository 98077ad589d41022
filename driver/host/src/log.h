// The port host's log: standard error in the foreground, syslog as a daemon.
#pragma once

#include <string>

namespace qpx::host {

enum class LogLevel { error, warning, info, debug };

void log_to_syslog(const char* ident);
void log_message(LogLevel level, const std::string& text);

inline void log_error(const std::string& text) { log_message(LogLevel::error, text); }
inline void log_warning(const std::string& text) { log_message(LogLevel::warning, text); }
inline void log_info(const std::string& text) { log_message(LogLevel::info, text); }

}  // namespace qpx::host
