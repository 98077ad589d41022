// Starting programs and opening documents, as a user's start application
// asks: an executable is started with its arguments (split without a shell),
// anything else is opened with the desktop's default application. Results
// are the shell's result codes: above 32 means started.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace qpx::process {

// Shell result codes a failure maps onto.
inline constexpr int kOutOfMemory = 8;
inline constexpr int kFileNotFound = 2;
inline constexpr int kPathNotFound = 3;
inline constexpr int kAccessDenied = 5;
inline constexpr int kNoAssociation = 31;
inline constexpr int kOtherFailure = 1;
inline constexpr int kStarted = 42;  // any value above 32 means success

// Splits a command line into arguments: blanks separate them, double quotes
// group (and are dropped), a backslash before a quote keeps the quote.
std::vector<std::string> split_arguments(std::string_view command_line);

class Launcher {
public:
    // `opener` is the program that opens documents (xdg-open).
    explicit Launcher(std::string opener = "xdg-open") : opener_(std::move(opener)) {}

    // Starts `command_line` detached (the program's first word is a path or
    // a name searched in PATH); a first word naming an existing file that is
    // not executable is opened as a document. Returns a shell result code.
    int open(std::string_view command_line) const;

private:
    std::string opener_;
};

}  // namespace qpx::process
